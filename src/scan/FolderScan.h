// The recursive walk of the dropped folder.
#pragma once

#include "scan/Catalogue.h"
#include "scan/ScanControl.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

// What every level of the walk shares.
struct ScanContext {
    std::wstring rootFolder;    // where the walk starts; display names are relative to it
    std::wstring ignoreName;    // a folder name never entered below the root; empty: none
    std::wstring archiverPath;  // 7z.exe; empty: archives are not expanded
    ScanControl* control = nullptr;  // stop request and progress; null: runs to its end unwatched
};

// Depth-first from `folder`: in each folder its files first (each one's loose entry followed by
// its archive members), then its subfolders. Problems with single items are passed over silently.
// A cancelled scan stops before the next file or folder and leaves `entries` incomplete.
void ScanFolder(const ScanContext& context, const std::wstring& folder, EntryList& entries);

// Longest path, in code units, that the walk forms or opens.
constexpr size_t kMaxPathChars = MAX_PATH - 1;

// The folder, one separator (unless it already ends in one), the name; nullopt when the result
// would be longer than kMaxPathChars.
[[nodiscard]] std::optional<std::wstring> JoinPath(const std::wstring& folder, const std::wstring& name);

// A file's or folder's identity on its volume. Two paths to one folder (a link, a junction)
// share it.
struct FileIdentity {
    uint32_t volumeSerial = 0;
    uint64_t fileIndex = 0;
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.volumeSerial == b.volumeSerial && a.fileIndex == b.fileIndex;
    }
    friend bool operator<(const FileIdentity& a, const FileIdentity& b) {
        return std::make_pair(a.volumeSerial, a.fileIndex) < std::make_pair(b.volumeSerial, b.fileIndex);
    }
};

// nullopt when the identity cannot be read or is not meaningful (a file index of 0).
[[nodiscard]] std::optional<FileIdentity> ReadFileIdentity(const std::wstring& path);

using VisitedFolders = std::set<FileIdentity>;

// True when a folder of this identity has not been walked yet in this scan (and records it);
// an unknown identity is always walked, so it can never hide part of the tree.
[[nodiscard]] bool MarkFolderVisited(VisitedFolders& visited, const std::optional<FileIdentity>& identity);

// Entries the walk passes over: names the platform would open as another file ("report." is
// opened as "report"), and file symbolic links, whose data is their target's.
[[nodiscard]] bool IsUnaddressableName(const std::wstring& name);
[[nodiscard]] bool IsFileSymbolicLink(const WIN32_FIND_DATAW& found);
