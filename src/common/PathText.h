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
