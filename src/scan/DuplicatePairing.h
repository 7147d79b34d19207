// Result rows: one per ordered pair of entries that hold the same bytes as far as the scan can
// tell (IsSameContent), computed when asked for rather than stored, so memory grows with the
// entries, not with the rows.
#pragma once

#include "common/StepControl.h"
#include "scan/Catalogue.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Entry positions in groups, each group's shown members first, both parts in ascending order.
struct ShownGroups {
    std::vector<size_t> first;    // group g's members are members[first[g] .. first[g + 1])
    std::vector<size_t> members;
    std::vector<size_t> shown;    // how many of group g's members are shown
};

// The rows of one pairing. Row order is that of the plain double loop over positions (file1
// ascending, then file2 ascending), over the entries still shown.
struct PairRows {
    EntryList entries;           // the catalogue as it was paired: commands act on its positions
    std::vector<uint8_t> live;   // per entry: 0 once a command has taken its file away
    std::vector<uint8_t> shown;  // per entry: 0 once its rows have gone
    // Content classes: entries of one CRC, kind and size (and strong hash for loose files).
    // A class pairs with itself and with its partner classes (a member of unknown size with
    // every class of its CRC, a member of known size with the loose classes of that size).
    ShownGroups classes;
    std::vector<uint32_t> classOf;
    std::vector<size_t> firstPartner;  // class c's partners (itself included, ascending):
    std::vector<uint32_t> partners;    // partners[firstPartner[c] .. firstPartner[c + 1])
    // Entries that are one file under several names, which never pair among themselves.
    static constexpr uint32_t kOwnFile = UINT32_MAX;
    ShownGroups files;
    std::vector<uint32_t> fileOf;  // kOwnFile: no other entry is this file
    std::vector<uint64_t> firstRow;  // entry i's rows are [firstRow[i], firstRow[i + 1])
};

// Takes the catalogue over: it is the list's from now on. A stop is seen between pieces of about
// ten milliseconds of work on a million entries; stopped, it gives no rows.
[[nodiscard]] PairRows BuildPairs(EntryList entries, const StepControl& control = {});

[[nodiscard]] uint64_t RowCount(const PairRows& rows);

// Positions (file1, file2) in rows.entries of a row below RowCount.
[[nodiscard]] std::pair<size_t, size_t> RowEntries(const PairRows& rows, uint64_t row);

// Takes away every row that names an entry at one of `positions` (those not below the count are
// passed over); the rest keep their order. With `gone`, the entries also leave the catalogue.
void HideEntries(PairRows& rows, const std::vector<size_t>& positions, bool gone);

// Positions of the live entries whose file lies at `containerPath` (a loose file's own path, or
// an archive's, which takes its members too).
[[nodiscard]] std::vector<size_t> LiveEntriesIn(const PairRows& rows, const std::wstring& containerPath);

// 1 when exactly one live archive member lies in `containerPath`, otherwise 0.
[[nodiscard]] int CountArchiveMembers(const PairRows& rows, const std::wstring& containerPath);

// Compares every ordered pair; quadratic. The definition the rows answer to.
[[nodiscard]] std::vector<std::pair<size_t, size_t>> PairRowsByDoubleLoop(const EntryList& entries);
