// Identifiers shared by the code and the resource script.
#pragma once

#define IDI_APP_LARGE 103
#define IDI_APP_SMALL 104
#define IDR_CONTEXT_MENU 106

#define ID_QUIT 27
#define ID_RESCAN 116
#define ID_MOVE_FILE1 40018
#define ID_MOVE_FILE2 40020
#define ID_DELETE_FILE1 40021
#define ID_DELETE_FILE2 40022
#define ID_STOP_SCAN 40030

// A finished scan's catalogue handed from its thread to the window's (lParam: the result).
#define WM_SCAN_DONE (WM_APP + 1)
// The folder given on the command line, opened once the window is shown and answering.
#define WM_OPEN_START_FOLDER (WM_APP + 2)
#define ID_SCAN_PROGRESS_TIMER 1

#define ID_RESULT_LIST 1001
