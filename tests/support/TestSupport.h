// Shared helpers of the test programs: throw-away folders and files, a real list view.
#pragma once

#include "scan/DuplicatePairing.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// A Windows path for a Unix path under Wine's Z: drive.
std::wstring WindowsPathOfUnixPath(const std::string& unixPath);

// A new empty folder below this run's scratch folder; the wrapper removes everything afterwards.
std::wstring MakeTempFolder(const std::wstring& hint);

// Creates parent folders as needed. Content is written as given (bytes).
void WriteTestFile(const std::wstring& path, const std::string& content);
void MakeFolder(const std::wstring& path);
[[nodiscard]] bool PathExists(const std::wstring& path);

std::string Utf8(const std::wstring& text);

// Every row of a two-column list view. With `process`, the list's own, the cells are read as
// another process reads them: through a buffer placed in that process.
[[nodiscard]] std::vector<std::pair<std::wstring, std::wstring>> ReadListRows(HWND list, HANDLE process = nullptr);

// A file's bytes; empty when it cannot be read.
[[nodiscard]] std::string ReadTextFile(const std::wstring& path);

