#include "actions/ResultList.h"

#include "common/Messages.h"

#include <algorithm>
#include <vector>

namespace {

const wchar_t kTooManyRows[] = L"重複の組が%s件見つかりました。\n一覧には先頭の%s件だけを表示します。";

// 100010000 -> "100,010,000"
std::wstring GroupDigits(uint64_t value) {
    std::wstring digits = std::to_wstring(value);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, L',');
    return digits;
}

// Single selection holds one row at most, normally the focused one. Clearing "all rows" at
// once would visit every row of the control (seconds for millions under Wine).
void ClearSelection(HWND view) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    const LRESULT focused = SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
    if (focused >= 0) SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&none));
    if (SendMessageW(view, LVM_GETSELECTEDCOUNT, 0, 0) > 0) {
        const int selected = SelectedRow(view);
        SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&none));
    }
    SendMessageW(view, LVM_SETSELECTIONMARK, 0, -1);
}

// Gives the control the rows' count, as far as it takes it; returns the count it holds.
uint64_t SetRowCount(const ResultList& list) {
    ClearSelection(list.view);
    const uint64_t rows = std::min(RowCount(list.rows), kMaxListRows);
    SendMessageW(list.view, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows), LVSICF_NOSCROLL);
    return static_cast<uint64_t>(SendMessageW(list.view, LVM_GETITEMCOUNT, 0, 0));
}

}  // namespace

HWND CreateResultList(HWND parent, int controlId) {
    // Owner data: the list asks its parent for each row's texts when it shows them, so a list
    // of millions of rows costs no more than its catalogue.
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDATA,
                                0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), instance,
                                nullptr);
    const LRESULT extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended | LVS_EX_FULLROWSELECT);

    RECT client{};
    GetClientRect(parent, &client);
    const wchar_t* titles[] = {L"file1", L"file2"};
    for (int c = 0; c < 2; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = (client.right - client.left) / 2;
        column.pszText = const_cast<wchar_t*>(titles[c]);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    return list;
}

void ShowRows(const ResultList& list) {
    const uint64_t shown = SetRowCount(list);
    const uint64_t rows = RowCount(list.rows);
    if (shown >= rows) return;
    const std::wstring text = Format(Format(kTooManyRows, GroupDigits(rows)).c_str(), GroupDigits(shown));
    MessageBoxW(GetParent(list.view), text.c_str(), kCaption, MB_ICONWARNING);
}

void AnswerDisplayInfo(const PairRows& rows, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    std::wstring_view text;
    const bool known = item.iItem >= 0 && static_cast<uint64_t>(item.iItem) < RowCount(rows);
    if (known && (item.iSubItem == 0 || item.iSubItem == 1)) {
        const auto [file1, file2] = RowEntries(rows, static_cast<uint64_t>(item.iItem));
        text = rows.entries[item.iSubItem == 0 ? file1 : file2].displayName;
    }
    const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    std::copy_n(text.data(), length, item.pszText);
    item.pszText[length] = L'\0';
}

int SelectedRow(HWND list) {
    // Asking for the next selected row makes the control look at every row (seconds for
    // millions under Wine). With one row selected at most, it is normally the focused one or
    // the selection mark: those are asked about first.
    const LRESULT candidates[] = {SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED),
                                  SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0)};
    for (const LRESULT row : candidates) {
        if (row >= 0 && SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0) {
            return static_cast<int>(row);
        }
    }
    if (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 0) return -1;
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

void RemoveRows(const ResultList& list, const std::vector<size_t>& positions) {
    HideEntries(list.rows, positions, true);
    SetRowCount(list);
}
