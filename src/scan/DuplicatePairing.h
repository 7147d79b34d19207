// Result rows: one per ordered pair of distinct entries whose crcText is equal.
#pragma once

#include "scan/Catalogue.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Entry positions grouped by equal crcText, each group in ascending position order.
struct CrcGroups {
    std::vector<uint32_t> groupOf;   // group of each position
    std::vector<size_t> firstMember; // group g's members are members[firstMember[g] .. firstMember[g + 1])
    std::vector<size_t> members;
};

[[nodiscard]] CrcGroups GroupByCrc(const EntryList& entries);

// m equal entries make m * (m - 1) rows.
[[nodiscard]] uint64_t CountPairRows(const CrcGroups& groups);

// Calls emit(j, k) for each row in the order of the plain double loop over all positions
// (j ascending, then k ascending) while touching only the rows themselves. Stops early, and
// returns false, when emit returns false.
template <typename Emit>
bool ForEachPairRow(const CrcGroups& groups, Emit&& emit) {
    const size_t count = groups.groupOf.size();
    for (size_t j = 0; j < count; ++j) {
        const uint32_t g = groups.groupOf[j];
        for (size_t m = groups.firstMember[g]; m < groups.firstMember[g + 1]; ++m) {
            const size_t k = groups.members[m];
            if (k != j && !emit(j, k)) return false;
        }
    }
    return true;
}

// Compares every ordered pair; quadratic. The definition the fast path answers to.
[[nodiscard]] std::vector<std::pair<size_t, size_t>> PairRowsByDoubleLoop(const EntryList& entries);

// Appends the rows (file1, file2 display names) to a report-view list view, redraw suspended,
// until they are all in or the list takes no more.
void BuildPairs(HWND listView, EntryList entries);
