#include "actions/ResultList.h"

#include "common/ScopedWin.h"

#include <commctrl.h>

#include <string_view>
#include <unordered_map>
#include <vector>

int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::wstring ReadCellText(HWND list, int row, int column) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const size_t length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        // A text that filled the buffer may have been cut: ask again with more room.
        if (length + 1 < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

// Walks the rows from the last to the first, so a removal moves only rows already looked at.
template <typename Matches>
void RemoveRowsWhere(HWND list, Matches&& matches) {
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count <= 0) return;
    ScopedRedrawOff redrawOff(list);
    for (int row = count - 1; row >= 0; --row) {
        if (matches(ReadCellText(list, row, 0)) || matches(ReadCellText(list, row, 1))) {
            SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
        }
    }
}

}  // namespace

void RemoveRowsByName(HWND list, std::wstring name) {
    RemoveRowsWhere(list, [&](const std::wstring& cell) { return cell == name; });
}

void RemoveRowsByContainer(HWND list, const EntryList& entries, std::wstring containerPath) {
    // Display name -> first entry of that name, built once: the same answers as a walk of the
    // catalogue per cell, without the walk.
    std::unordered_map<std::wstring_view, size_t> firstEntry;
    firstEntry.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) firstEntry.try_emplace(entries[i].displayName, i);

    RemoveRowsWhere(list, [&](const std::wstring& cell) {
        const auto found = firstEntry.find(cell);
        return found != firstEntry.end() && entries[found->second].containerPath == containerPath;
    });
}
