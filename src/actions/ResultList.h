// Reading the result list, and removing the rows an action made stale.
#pragma once

#include "scan/Catalogue.h"

#include <windows.h>

#include <string>

// The selected row, or -1 when none is.
[[nodiscard]] int SelectedRow(HWND list);

// A cell's whole text, however long.
[[nodiscard]] std::wstring ReadCellText(HWND list, int row, int column);

// Removes every row that shows `name` in either column; the rest keep their order.
void RemoveRowsByName(HWND list, std::wstring name);

// Removes every row whose file1 or file2 entry (the first entry of that display name) lies in
// `containerPath`: a loose file's own path, or an archive's, which takes its members' rows too.
// A cell that names no entry keeps its row.
void RemoveRowsByContainer(HWND list, const EntryList& entries, std::wstring containerPath);
