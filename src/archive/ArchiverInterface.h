// Running the external console archiver (7z.exe, which needs 7z.dll beside it) as a hidden
// child process.
#pragma once

#include <windows.h>

#include <string>

// "<dir>\7z.exe" when both 7z.exe and 7z.dll are in `dir`; empty otherwise (archives off).
[[nodiscard]] std::wstring LocateArchiver(const std::wstring& dir);

// Command lines. The archiver's path is always quoted: unquoted, a path with a blank such as
// C:\Program Files\7-Zip would make the platform try C:\Program.exe first. Output is asked
// for in UTF-8 so that every member name comes back exactly.
[[nodiscard]] std::wstring TestCommandLine(const std::wstring& archiverPath, const std::wstring& archive);
[[nodiscard]] std::wstring ListCommandLine(const std::wstring& archiverPath, const std::wstring& archive);
// Names the member literally (-spd: no wildcards), with its exact letter case (-ssc), and after
// "--" so that a name beginning with "-" or "@" is never read as a switch or a list file.
[[nodiscard]] std::wstring DeleteCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                                             const std::wstring& innerPath);

// Runs `commandLine` without a window or console, standard input and error at NUL and standard output
// to `output` (NUL when null), and waits for it without a time limit. False when it could not be
// started (a command line beyond the platform's limit included); `exitCode` is set otherwise.
// When `cancel` (an event; may be null) is set first, the archiver is ended at once and the
// result is false: a scan being stopped never waits for a long run.
[[nodiscard]] bool RunArchiver(const std::wstring& commandLine, HANDLE output, DWORD& exitCode,
                               HANDLE cancel = nullptr);
