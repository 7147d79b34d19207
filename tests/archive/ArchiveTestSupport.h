// Helpers of the tests that need an archiver: the real 7-Zip and the fake one.
#pragma once

#include <string>

// The folder of the real 7-Zip for Windows (7z.exe, 7z.dll) that the test command built.
std::wstring RealArchiverDir();

// A new folder holding the fake archiver as 7z.exe (with a 7z.dll beside it).
std::wstring MakeFakeArchiverDir(const std::wstring& parent);

// Packs `items` (relative to `workingFolder`, separated by blanks, each quoted by the caller)
// into `archive` with the real 7-Zip.
void MakeArchive(const std::wstring& archive, const std::wstring& type, const std::wstring& workingFolder,
                 const std::wstring& items);
