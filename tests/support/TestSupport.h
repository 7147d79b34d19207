// Shared helpers of the test programs: throw-away folders and files.
#pragma once

#include <windows.h>

#include <string>

// The Windows path (under Wine's Z: drive) of the Unix path that ctest gives in the environment
// variable `name`.
std::wstring FromEnvironment(const char* name);

// A new empty folder below this run's scratch folder; the wrapper removes everything afterwards.
std::wstring MakeTempFolder(const std::wstring& hint);

// Creates parent folders as needed. Content is written as given (bytes).
void WriteTestFile(const std::wstring& path, const std::string& content);
[[nodiscard]] bool PathExists(const std::wstring& path);

// A new folder holding the fake archiver (tests/archive/FakeArchiver.cpp) as 7z.exe, with a 7z.dll.
std::wstring MakeFakeArchiverDir(const std::wstring& parent);

std::string Utf8(const std::wstring& text);

// A file's bytes; empty when it cannot be read.
[[nodiscard]] std::string ReadTextFile(const std::wstring& path);
