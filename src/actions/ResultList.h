// The result list: an owner-data list control whose rows come from a pairing when the control
// asks for them; reading it, and removing the rows an action made stale.
#pragma once

#include "scan/Catalogue.h"
#include "scan/DuplicatePairing.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

// The control (created with LVS_OWNERDATA) and the rows it shows.
struct ResultList {
    HWND view;
    PairRows& rows;
};

// The most rows an owner-data list control takes (LVM_SETITEMCOUNT refuses one more).
constexpr uint64_t kMaxListRows = 100000000;

// The list control, a child of `parent`: report view, single and full-row selection, owner
// data, and the columns "file1" and "file2", each half the parent's client width.
[[nodiscard]] HWND CreateResultList(HWND parent, int controlId);

// Shows the rows of a new pairing, with no row selected. When there are more than the control
// holds, it shows the first ones and says so in a message box owned by the control's parent.
void ShowRows(const ResultList& list);

// The control's parent answers LVN_GETDISPINFOW with this: the cell's text, cut to the
// asker's buffer (the asker may be another process reading the list).
void AnswerDisplayInfo(const PairRows& rows, NMLVDISPINFOW& info);

// The selected row, or -1 when none is.
[[nodiscard]] int SelectedRow(HWND list);

// A cell's whole text, however long.
[[nodiscard]] std::wstring ReadCellText(HWND list, int row, int column);

// Takes the entries at `positions` out of the catalogue and their rows off the control: the rest
// of the rows keep their order and move up, so no row stays selected.
void RemoveRows(const ResultList& list, const std::vector<size_t>& positions);
