// Catalogue entries for the members of archives, as the external archiver lists them: the step
// of a scan after the walk (scan/FolderScan.h) and before the pairing. Nothing is extracted.
#pragma once

#include "common/StepControl.h"
#include "scan/Catalogue.h"
#include "scan/FolderScan.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct ExpansionRequest {
    std::wstring archiverPath;  // 7z.exe; empty: archives are not looked into
    std::wstring rootFolder;    // member display names are relative to it
    StepControl control{};      // progress in files done of all; a stop leaves the catalogue unfinished
};

struct Expansion {
    EntryList entries;
    size_t batchRuns = 0;   // archiver runs over many files
    size_t singleRuns = 0;  // archiver runs over one file
};

// The catalogue of a walk: each file's loose entry directly followed by one entry per member
// that the archiver lists with a CRC, when the file passes the archiver's test; walk order kept.
// Files are tested and listed many at a time; whatever a run over many files leaves unsettled
// is done again file by file, so the result is always that of runs over each file alone.
[[nodiscard]] Expansion ExpandArchives(const ExpansionRequest& request, const WalkedFiles& files);

struct ListedMember {
    std::wstring innerPath;
    std::wstring crcText;
};

// Reads a listing line by line: each "Path = " line with the first "CRC = " line after it
// (further "Path = " lines before it are skipped). Members with an empty CRC text (folders)
// are left out.
class ListingParser {
public:
    // True when the line completed a member, now in `member`.
    [[nodiscard]] bool Take(const std::wstring& line, ListedMember& member);

private:
    bool pending_ = false;
    std::wstring path_;
};

// True for a line equal to "Everything is Ok\n", ignoring case: the test passed.
[[nodiscard]] bool IsTestPassedLine(const std::wstring& line);

// Tells which file each line of a run over many files belongs to, by the path in the header
// line that begins each file's section ("Testing archive: PATH"). The archiver sorts the
// names, so a section's position says nothing. An archive's comment (or an executable's
// version text) is printed raw inside its section, so it may imitate any line, a header
// included: such free text taints its file, and a header that names no file of the run, or
// one already seen, taints the whole run. A tainted file is done again alone.
class SectionSplitter {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    SectionSplitter(std::wstring header, const std::vector<std::wstring>& paths);
    // The file's position in `paths`; kNone for a header itself, before the first one, and
    // after a header that could not be the archiver's own.
    [[nodiscard]] size_t Take(const std::wstring& line);
    // A section is whole once another began, or once the run ended by itself; it is to be
    // believed when neither it nor the run is tainted.
    [[nodiscard]] bool Complete(size_t file, bool runFinished) const;

private:
    std::wstring header_;
    std::unordered_map<std::wstring, size_t> files_;  // by exact path: a folder may tell case apart
    std::vector<char> seen_;
    std::vector<char> freeText_;
    bool forged_ = false;
    size_t current_ = kNone;
};

// Splits `paths` into runs, in order, of at most `maxFiles` files, `maxBytes` bytes of names
// and `maxCost` of `costs` (a file's own, none when not given; a costlier file runs alone), never
// two names that differ only in letter case in one run (the archiver would refuse the whole
// run), nor two folders that do (it would print one spelling for both). Each run holds
// positions in `paths`.
[[nodiscard]] std::vector<std::vector<size_t>> PlanRuns(const std::vector<std::wstring>& paths, size_t maxFiles,
                                                        size_t maxBytes, const std::vector<uint64_t>& costs = {},
                                                        uint64_t maxCost = UINT64_MAX);

// "set.zip【docs\a.txt】" for an archive in the root, "old\set.zip【docs\a.txt】" below it.
[[nodiscard]] std::wstring MemberDisplayName(const std::wstring& rootFolder, const std::wstring& archivePath,
                                             const std::wstring& innerPath);

// The list command on one archive: every item it names, folders and members without a CRC
// included (their crcText empty). False when the archiver could not be started, was stopped
// or failed: nothing listed is then no proof that a member is gone.
[[nodiscard]] bool ListArchiveItems(const std::wstring& archiverPath, const std::wstring& archive,
                                    std::vector<ListedMember>& items);
