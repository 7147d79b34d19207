// The main window: drop target, result list, context menu, F5, and the program's start-up.
#pragma once

#include "actions/FileCommands.h"
#include "app/ScanRun.h"
#include "scan/Catalogue.h"
#include "scan/DuplicatePairing.h"

#include <windows.h>

#include <string>

// Everything the program keeps for its whole run, held in one place by this module.
struct AppState {
    std::wstring rootFolder;    // the first item of the last drop
    std::wstring settingsFile;
    std::wstring ignoreName;
    std::wstring archiverPath;  // empty: archives are not handled
    EntryList entries;
    PairRows rows;  // what the result list shows
    HWND mainWindow = nullptr;
    HWND resultList = nullptr;
    HMENU menuResource = nullptr;
    HMENU contextMenu = nullptr;  // the first popup of the menu resource
    bool commandRunning = false;  // a file command (with its dialogs) is under way
    bool commandWorking = false;  // its long step runs on a thread of its own
    bool closePending = false;    // the window closes once the command has ended
    CommandDialogs dialogs = SystemDialogs();  // the window's own box and the commands' dialogs
    ScanSteps scanSteps = RunScanSteps;        // what a scan's thread does
};

[[nodiscard]] const AppState& ApplicationState();

// The dialogs the window and its commands show from now on (a test answers them itself).
void UseDialogs(CommandDialogs dialogs);
// The steps a scan's thread runs from now on (a test makes one that is slow to stop).
void UseScanSteps(ScanSteps steps);

// True while a scan runs on its own thread (the list and the catalogue stay empty meanwhile).
[[nodiscard]] bool ScanRunning();

// The F5 (scan again) and Esc (stop the scan) key table.
[[nodiscard]] HACCEL CreateKeyTable();
[[nodiscard]] bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window (WM_CREATE reads the settings and builds the list); null on failure.
[[nodiscard]] HWND CreateMainWindow(HINSTANCE instance);
// Shows the window and gives it its icons, as at start-up.
void ShowMainWindow(HWND window, HINSTANCE instance, int showCommand);
// Runs the message loop until WM_QUIT; the key table goes first, so F5 works wherever the focus is.
int RunMessageLoop(HWND mainWindow, HACCEL keys);

// A path the scan can start at: an existing folder whose path fits the walk's limit.
[[nodiscard]] bool IsScannableFolder(const std::wstring& path);

// Start-up to exit: the body of WinMain. Non-zero when the window could not be created.
int RunApplication(HINSTANCE instance, int showCommand);
