// Small path-text helpers shared by the subsystems: they look at text only, never the disk.
#pragma once

#include <string>

[[nodiscard]] inline bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\..." or "\\server\...": a path that does not depend on a current folder or drive.
[[nodiscard]] inline bool IsAbsolutePath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && IsPathSeparator(path[2]);
    const bool unc = path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
    return drive || unc;
}

// The last component of a path.
[[nodiscard]] inline std::wstring FileNameOf(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

// The form of a full path that every file-system call takes: a path of MAX_PATH (260) units or
// more only in the \\?\ form (\\?\UNC\server\share\... for a share), which lifts the limit; a
// shorter one as it is, so it reads as the user knows it (the archiver prints it back, too).
[[nodiscard]] inline std::wstring SystemPath(const std::wstring& path) {
    constexpr size_t kPlainLimit = 260;
    if (path.size() < kPlainLimit || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    std::wstring plain = path;  // the \\?\ form takes no other separator
    for (wchar_t& c : plain) c = c == L'/' ? L'\\' : c;
    if (IsPathSeparator(plain[0]) && IsPathSeparator(plain[1])) return L"\\\\?\\UNC\\" + plain.substr(2);
    return L"\\\\?\\" + plain;
}
