#include "scan/DuplicatePairing.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

CrcGroups GroupByCrc(const EntryList& entries) {
    CrcGroups groups;
    groups.groupOf.resize(entries.size());

    std::unordered_map<std::wstring_view, uint32_t> groupOfText;
    groupOfText.reserve(entries.size());
    std::vector<size_t> sizes;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto [it, added] = groupOfText.try_emplace(entries[i].crcText, static_cast<uint32_t>(sizes.size()));
        if (added) sizes.push_back(0);
        groups.groupOf[i] = it->second;
        ++sizes[it->second];
    }

    // Counting sort: visiting positions in ascending order keeps each group ascending.
    groups.firstMember.assign(sizes.size() + 1, 0);
    for (size_t g = 0; g < sizes.size(); ++g) groups.firstMember[g + 1] = groups.firstMember[g] + sizes[g];
    std::vector<size_t> next(groups.firstMember.begin(), groups.firstMember.end() - 1);
    groups.members.resize(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) groups.members[next[groups.groupOf[i]]++] = i;
    return groups;
}

namespace {

// Each shown entry has a row with every other shown member of its group.
void Recount(PairRows& rows) {
    rows.firstRow.assign(rows.entries.size() + 1, 0);
    for (size_t i = 0; i < rows.entries.size(); ++i) {
        const size_t partners = rows.shown[i] ? rows.shownInGroup[rows.groups.groupOf[i]] - 1 : 0;
        rows.firstRow[i + 1] = rows.firstRow[i] + partners;
    }
}

}  // namespace

PairRows BuildPairs(EntryList entries) {
    PairRows rows;
    rows.groups = GroupByCrc(entries);
    rows.entries = std::move(entries);
    rows.shown.assign(rows.entries.size(), 1);
    const std::vector<size_t>& first = rows.groups.firstMember;
    for (size_t g = 0; g + 1 < first.size(); ++g) rows.shownInGroup.push_back(first[g + 1] - first[g]);
    Recount(rows);
    return rows;
}

uint64_t RowCount(const PairRows& rows) { return rows.firstRow.empty() ? 0 : rows.firstRow.back(); }

std::pair<size_t, size_t> RowEntries(const PairRows& rows, uint64_t row) {
    // The last entry whose rows start at or before `row`; entries without rows share its start.
    const auto after = std::upper_bound(rows.firstRow.begin(), rows.firstRow.end(), row);
    const size_t file1 = static_cast<size_t>(after - rows.firstRow.begin()) - 1;
    const uint64_t offset = row - rows.firstRow[file1];
    const uint32_t g = rows.groups.groupOf[file1];
    const size_t* shown = rows.groups.members.data() + rows.groups.firstMember[g];
    const size_t* end = shown + rows.shownInGroup[g];
    // Its partners are the group's shown members less itself, in ascending order.
    const uint64_t self = static_cast<uint64_t>(std::lower_bound(shown, end, file1) - shown);
    return {file1, shown[offset < self ? offset : offset + 1]};
}

void HideEntries(PairRows& rows, const std::function<bool(const FileEntry&)>& hide) {
    bool hidden = false;
    for (size_t i = 0; i < rows.entries.size(); ++i) {
        // An entry without a partner names no row: asking about it would change nothing.
        if (!rows.shown[i] || rows.shownInGroup[rows.groups.groupOf[i]] < 2 || !hide(rows.entries[i])) continue;
        rows.shown[i] = 0;
        hidden = true;
    }
    if (!hidden) return;
    CrcGroups& groups = rows.groups;
    for (size_t g = 0; g < rows.shownInGroup.size(); ++g) {
        const auto begin = groups.members.begin() + static_cast<std::ptrdiff_t>(groups.firstMember[g]);
        const auto end = begin + static_cast<std::ptrdiff_t>(rows.shownInGroup[g]);
        const auto kept = std::stable_partition(begin, end, [&](size_t i) { return rows.shown[i] != 0; });
        rows.shownInGroup[g] = static_cast<size_t>(kept - begin);
    }
    Recount(rows);
}

// A row names two entries of the pairing by their display names, so a rule on the name takes
// every row of every entry of that name: hiding those entries leaves the very rows that
// deleting the matching rows one by one would leave.
void HideEntriesNamed(PairRows& rows, const TextSet& names) {
    HideEntries(rows, [&](const FileEntry& e) { return names.count(e.displayName) != 0; });
}

void HideEntriesInContainers(PairRows& rows, const EntryList& entries, const TextSet& containerPaths) {
    // The names of the entries in the containers, each taken when the first entry of that name
    // (the one a cell finds) lies in one: the answers of a catalogue walk per cell, in two passes.
    const auto inside = [&](const FileEntry& e) { return containerPaths.count(e.containerPath) != 0; };
    std::unordered_map<std::wstring_view, int> taken;  // -1 until the name's first entry is met
    for (const FileEntry& e : entries) {
        if (inside(e)) taken.emplace(e.displayName, -1);
    }
    if (taken.empty()) return;
    for (const FileEntry& e : entries) {
        const auto found = taken.find(e.displayName);
        if (found != taken.end() && found->second < 0) found->second = inside(e);
    }
    HideEntries(rows, [&](const FileEntry& e) {
        const auto found = taken.find(e.displayName);
        return found != taken.end() && found->second == 1;
    });
}

std::vector<std::pair<size_t, size_t>> PairRowsByDoubleLoop(const EntryList& entries) {
    std::vector<std::pair<size_t, size_t>> rows;
    for (size_t j = 0; j < entries.size(); ++j) {
        for (size_t k = 0; k < entries.size(); ++k) {
            if (j != k && entries[j].crcText == entries[k].crcText) rows.emplace_back(j, k);
        }
    }
    return rows;
}
