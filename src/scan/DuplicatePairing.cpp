#include "scan/DuplicatePairing.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace {

// Eight uppercase hexadecimal digits, as the walk and the archiver write a CRC, fit a 32-bit key
// exactly; any other text is compared as text.
bool CrcKey(const std::wstring& text, uint32_t& key) {
    if (text.size() != 8) return false;
    key = 0;
    for (const wchar_t c : text) {
        const bool digit = c >= L'0' && c <= L'9', letter = c >= L'A' && c <= L'F';
        if (!digit && !letter) return false;
        key = key << 4 | static_cast<uint32_t>(digit ? c - L'0' : c - L'A' + 10);
    }
    return true;
}

}  // namespace

CrcGroups GroupByCrc(const EntryList& entries) {
    CrcGroups groups;
    groups.groupOf.resize(entries.size());
    groups.members.reserve(entries.size());
    // (key, position) pairs sorted: each group's members come together, in ascending position.
    std::vector<uint64_t> keyed;
    std::vector<size_t> others;
    keyed.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        uint32_t key = 0;
        if (i <= UINT32_MAX && CrcKey(entries[i].crcText, key)) {
            keyed.push_back(static_cast<uint64_t>(key) << 32 | i);
        } else {
            others.push_back(i);
        }
    }
    std::sort(keyed.begin(), keyed.end());
    std::stable_sort(others.begin(), others.end(),
                     [&](size_t a, size_t b) { return entries[a].crcText < entries[b].crcText; });
    const auto add = [&](size_t position, bool sameGroup) {
        if (!sameGroup) groups.firstMember.push_back(groups.members.size());
        groups.groupOf[position] = static_cast<uint32_t>(groups.firstMember.size() - 1);
        groups.members.push_back(position);
    };
    for (size_t k = 0; k < keyed.size(); ++k) add(keyed[k] & UINT32_MAX, k > 0 && keyed[k] >> 32 == keyed[k - 1] >> 32);
    for (size_t k = 0; k < others.size(); ++k) {
        add(others[k], k > 0 && entries[others[k]].crcText == entries[others[k - 1]].crcText);
    }
    groups.firstMember.push_back(groups.members.size());
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
