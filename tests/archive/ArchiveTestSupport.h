// The fake archiver (tests/archive/FakeArchiver.cpp) for the tests that need one.
#pragma once

#include <string>

// A new folder holding the fake archiver as 7z.exe (with a 7z.dll beside it).
std::wstring MakeFakeArchiverDir(const std::wstring& parent);
