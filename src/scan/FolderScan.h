// The recursive walk of the dropped folder: the first step of a scan, which finds and hashes
// every file. Looking into archives is the next step's work (archive/ArchiveExpansion.h).
#pragma once

#include "common/StepControl.h"
#include "scan/Catalogue.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A file whose data lives only in the cloud (a placeholder of a synced folder): reading it
// would download it, and offline the read fails.
[[nodiscard]] bool IsCloudOnly(DWORD attributes);

// What every level of the walk shares.
struct ScanContext {
    std::wstring rootFolder;    // where the walk starts; display names are relative to it
    std::wstring ignoreName;    // a folder name never entered below the root; empty: none
    // Which files the walk passes over unread as cloud-only (a test gives its own).
    std::function<bool(const WIN32_FIND_DATAW&)> cloudOnly = [](const WIN32_FIND_DATAW& found) {
        return IsCloudOnly(found.dwFileAttributes);
    };
    // A folder's 64-bit index on its volume (a test gives what ReFS or a network share would);
    // empty: the file system's.
    std::function<uint64_t(HANDLE)> folderIndex = {};
    size_t readers = 0;  // threads that read files at once; 0: one a core
};

// True when the volume holding `folder` says it pays for seeking (a hard disk): there one
// reader at a time goes faster than several. False when it cannot tell (a share, Wine).
[[nodiscard]] bool HasSeekPenalty(const std::wstring& folder);

// What a walk passed over, for the note the user gets afterwards.
struct LeftOut {
    size_t cloudFiles = 0;       // only in the cloud: not read
    size_t cloudFolders = 0;     // only in the cloud: not listed
    size_t unreadFiles = 0;      // could not be opened or read whole, or changed while read
    size_t unopenedFolders = 0;  // could not be opened or listed
};

// One file the walk met. Every file is offered to archive expansion, read or not.
struct WalkedFile {
    std::wstring path;               // full path
    std::optional<FileEntry> entry;  // its loose entry; absent when the file could not be read
};
using WalkedFiles = std::vector<WalkedFile>;

// Depth-first from `folder`: in each folder its files first, then its subfolders, each walked
// whole before the next; the files are hashed on every core while the walk goes on. Reports
// the number of files hashed so far (total 0: unknown); stopped, it returns at once with what
// it has. Cloud-only files and folders are neither read nor listed, nor is the Recycle Bin or
// System Volume Information under a volume's root; `leftOut`, when given, gets what was passed
// over and why.
[[nodiscard]] WalkedFiles ScanFolder(const ScanContext& context, const std::wstring& folder,
                                     const StepControl& control = {}, LeftOut* leftOut = nullptr);

// The loose entries of a walk, in its order: the catalogue when archives are not looked into.
[[nodiscard]] EntryList LooseEntries(const WalkedFiles& files);

// Longest path, in code units, that the walk forms: what the system takes in the \\?\UNC\ form.
// It also ends a walk around a cycle of links whose ids the file system cannot give.
constexpr size_t kMaxPathChars = 32767 - 8;

// The folder, one separator (unless it already ends in one), the name; nullopt when the result
// would be longer than kMaxPathChars.
[[nodiscard]] std::optional<std::wstring> JoinPath(const std::wstring& folder, const std::wstring& name);

// A file's or folder's identity, volume included; nullopt when it cannot be read or is not
// meaningful (an index of 0 or all ones). Two paths to one folder (a link, a junction) share it.
[[nodiscard]] std::optional<FileIdentity> ReadFileIdentity(const std::wstring& path);

// Reads the volume of every loose entry whose file id another loose entry has too: only there
// does it tell two files apart (one call to the system a file).
void ReadVolumesWhereIdsMeet(WalkedFiles& files);

// Entries the walk passes over: names the platform would open as another file ("report." is
// opened as "report") or as a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM/LPT with a
// superscript digit, in any case, alone or before an extension: "nul.txt", "con .txt"), and file
// symbolic links, whose data is their target's.
[[nodiscard]] bool IsUnaddressableName(const std::wstring& name);
[[nodiscard]] bool IsFileSymbolicLink(const WIN32_FIND_DATAW& found);
