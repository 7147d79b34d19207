// Catalogue entries for the members of archives, as the external archiver lists them: the step
// of a scan after the walk (scan/FolderScan.h) and before the pairing. Nothing is extracted.
#pragma once

#include "archive/ArchiverOutput.h"
#include "archive/RunPlan.h"
#include "common/StepControl.h"
#include "scan/Catalogue.h"
#include "scan/FolderScan.h"

#include <string>
#include <vector>

struct ExpansionRequest {
    std::wstring archiverPath;  // 7z.exe; empty: archives are not looked into
    std::wstring rootFolder;    // member display names are relative to it
    StepControl control{};      // progress in files done of all; a stop leaves the catalogue unfinished
    size_t workers = 0;         // archiver runs at a time; 0: one a core
};

struct Expansion {
    EntryList entries;
    size_t batchRuns = 0;   // archiver runs over many files
    size_t singleRuns = 0;  // archiver runs over one file
    // Files another program held open for writing that the archiver could not test: whether
    // they hold members is unknown.
    size_t unexamined = 0;
};

// The catalogue of a walk: each file's loose entry directly followed by one entry per member
// that the archiver lists with a CRC, when the file passes the archiver's test; walk order kept.
// Files are tested and listed many at a time; whatever a run over many files leaves unsettled
// is done again file by file, so the result is always that of runs over each file alone.
[[nodiscard]] Expansion ExpandArchives(const ExpansionRequest& request, const WalkedFiles& files);

// "set.zip【docs\a.txt】" for an archive in the root, "old\set.zip【docs\a.txt】" below it.
[[nodiscard]] std::wstring MemberDisplayName(const std::wstring& rootFolder, const std::wstring& archivePath,
                                             const std::wstring& innerPath);
