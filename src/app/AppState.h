// What the window's units share: the program's state for its whole run, held by the main
// window, and how the window shows the cursor it wants.
#pragma once

#include "actions/FileCommands.h"
#include "app/ScanRun.h"
#include "scan/Catalogue.h"
#include "scan/DuplicatePairing.h"

#include <windows.h>

#include <string>

// Everything the program keeps for its whole run, held in one place by the main window.
struct AppState {
    std::wstring rootFolder;    // the first item of the last drop
    std::wstring startFolder;   // the folder the command line named; empty: none
    std::wstring settingsFile;         // beside the program
    std::wstring roamingSettingsFile;  // the placement's home where the program's folder is not writable
    std::wstring ignoreName;
    std::wstring archiverDir;   // the settings' folder for 7-Zip, where it is sought first
    std::wstring archiverPath;  // the 7z.exe the first scan found; empty: none (yet)
    PairRows rows;  // the catalogue and what the result list shows
    HWND mainWindow = nullptr;
    HWND resultList = nullptr;
    HMENU menuResource = nullptr;
    HMENU contextMenu = nullptr;  // the first popup of the menu resource
    bool commandRunning = false;  // a file command (with its dialogs) is under way
    bool commandWorking = false;  // its long step runs on a thread of its own
    bool closePending = false;    // the window closes once the command has ended
    CommandDialogs dialogs = SystemDialogs();  // the window's own box and the commands' dialogs
    ScanSteps scanSteps = RunScanSteps;        // what a scan's thread does
    ThreadStarter startThread = [](LPTHREAD_START_ROUTINE routine, void* parameter) {
        return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    };
};

[[nodiscard]] AppState& App();

// Shows the cursor the window now wants without waiting for the mouse to move.
inline void RefreshCursor(HWND hwnd) {
    POINT point{};
    GetCursorPos(&point);
    HWND under = WindowFromPoint(point);
    if (under != hwnd && !IsChild(hwnd, under)) return;
    const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}
