#include "scan/DuplicatePairing.h"

#include "common/ScopedWin.h"

#include <commctrl.h>

#include <climits>
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

uint64_t CountPairRows(const CrcGroups& groups) {
    uint64_t rows = 0;
    for (size_t g = 0; g + 1 < groups.firstMember.size(); ++g) {
        const uint64_t m = groups.firstMember[g + 1] - groups.firstMember[g];
        rows += m * (m - 1);
    }
    return rows;
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

void BuildPairs(HWND listView, EntryList entries) {
    if (entries.empty()) return;
    const CrcGroups groups = GroupByCrc(entries);
    const uint64_t rows = CountPairRows(groups);
    if (rows == 0) return;

    ScopedRedrawOff redrawOff(listView);
    // Lets the control allocate once instead of growing row by row.
    SendMessageW(listView, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows < INT_MAX ? rows : INT_MAX), 0);

    uint64_t added = 0;
    ForEachPairRow(groups, [&](size_t j, size_t k) {
        if (added >= static_cast<uint64_t>(INT_MAX)) return false;  // the control's positions are int
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(added);
        item.pszText = const_cast<wchar_t*>(entries[j].displayName.c_str());
        item.lParam = 0;
        const LRESULT position = SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (position < 0) return false;

        LVITEMW second{};
        second.mask = LVIF_TEXT;
        second.iItem = static_cast<int>(position);
        second.iSubItem = 1;
        second.pszText = const_cast<wchar_t*>(entries[k].displayName.c_str());
        SendMessageW(listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&second));
        ++added;
        return true;
    });
}
