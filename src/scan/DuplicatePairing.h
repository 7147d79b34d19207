// Result rows: one per ordered pair of distinct entries whose crcText is equal, computed when
// asked for rather than stored, so memory grows with the entries, not with the rows.
#pragma once

#include "scan/Catalogue.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// Entry positions grouped by equal crcText, each group in ascending position order.
struct CrcGroups {
    std::vector<uint32_t> groupOf;   // group of each position
    std::vector<size_t> firstMember; // group g's members are members[firstMember[g] .. firstMember[g + 1])
    std::vector<size_t> members;
};

[[nodiscard]] CrcGroups GroupByCrc(const EntryList& entries);

// The rows of one pairing. Row order is that of the plain double loop over positions (file1
// ascending, then file2 ascending), over the entries still shown.
struct PairRows {
    EntryList entries;             // the catalogue as it was paired
    CrcGroups groups;              // a group's shown members come first in its share of members
    std::vector<size_t> shownInGroup;
    std::vector<uint8_t> shown;    // per entry: 0 once its rows have gone
    std::vector<uint64_t> firstRow;  // entry i's rows are [firstRow[i], firstRow[i + 1])
};

[[nodiscard]] PairRows BuildPairs(EntryList entries);

[[nodiscard]] uint64_t RowCount(const PairRows& rows);

// Positions (file1, file2) in rows.entries of a row below RowCount.
[[nodiscard]] std::pair<size_t, size_t> RowEntries(const PairRows& rows, uint64_t row);

// Takes away every row that names an entry for which `hide` is true; the rest keep their order.
void HideEntries(PairRows& rows, const std::function<bool(const FileEntry&)>& hide);

using TextSet = std::unordered_set<std::wstring>;

// Takes away every row that shows one of `names` in either column.
void HideEntriesNamed(PairRows& rows, const TextSet& names);

// Takes away every row whose file1 or file2 entry (the first entry of that display name in
// `entries`, the one a cell's text finds) lies in one of `containerPaths`: a loose file's own
// path, or an archive's, which takes its members' rows too. A cell that names no entry keeps its
// row. One pass over the entries however many containers there are.
void HideEntriesInContainers(PairRows& rows, const EntryList& entries, const TextSet& containerPaths);

// Compares every ordered pair; quadratic. The definition the rows answer to.
[[nodiscard]] std::vector<std::pair<size_t, size_t>> PairRowsByDoubleLoop(const EntryList& entries);
