// The context menu's commands, run for the main window: while one runs (its dialogs and its long
// steps included) it counts as running, so that drops, F5, other commands and a close wait.
#pragma once

#include <windows.h>

// ID_DELETE_FILE1 and the like: deletes or moves the file the selected row names. A close asked
// for meanwhile follows when it ends.
void RunFileCommand(HWND hwnd, int commandId);

// Stops a command's comparison under way (Esc, a close): the command then changes nothing.
void StopCommandStep();
