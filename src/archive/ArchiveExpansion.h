// Catalogue entries for the members of archives, as the external archiver lists them, and the
// scratch folder where its output is captured.
#pragma once

#include "scan/Catalogue.h"
#include "scan/FolderScan.h"

#include <string>
#include <vector>

// Appends one entry per member that the archiver lists with a CRC, when `path` is an archive
// that passes the archiver's test; does nothing when context.archiverPath is empty.
void ExpandArchive(const ScanContext& context, const std::wstring& path, EntryList& entries);

// Empties `folder` (it stays) without following links: a link inside is removed, never its target.
void ClearFolder(const std::wstring& folder);

// Removes the scratch folder when it is empty (at close).
void RemoveScratchFolder();

// "<temporary folder>\Veltrimox\"; empty when the temporary folder is unknown or not absolute.
[[nodiscard]] std::wstring ScratchFolderPath();

// The capture of one archiver run, decoded from UTF-8 into lines that end in "\n" (a carriage
// return before it dropped) except perhaps the last; lines have no length limit.
[[nodiscard]] std::vector<std::wstring> SplitCaptureLines(const std::string& utf8);

// True when a line equals "Everything is Ok\n", ignoring case.
[[nodiscard]] bool PassesTestGate(const std::vector<std::wstring>& lines);

struct ListedMember {
    std::wstring innerPath;
    std::wstring crcText;
};

// Each "Path = " line with the first "CRC = " line after it; members with an empty CRC text
// (folders) are left out.
[[nodiscard]] std::vector<ListedMember> ParseListing(const std::vector<std::wstring>& lines);

// "set.zip【docs\a.txt】" for an archive in the root, "old\set.zip【docs\a.txt】" below it.
[[nodiscard]] std::wstring MemberDisplayName(const std::wstring& rootFolder, const std::wstring& archivePath,
                                             const std::wstring& innerPath);

// The inner path of every "Path = " line, folders and members without a CRC included.
[[nodiscard]] std::vector<std::wstring> ParseListedPaths(const std::vector<std::wstring>& lines);

// Runs the list command on `archive` into the scratch folder and gives every listed path
// (ParseListedPaths). False when the archiver could not be started, failed, or its output could
// not be read. A member delete is checked by it.
[[nodiscard]] bool ListArchivePaths(const std::wstring& archiverPath, const std::wstring& archive,
                                    std::vector<std::wstring>& paths);
