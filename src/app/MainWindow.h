// The main window: drop target, result list, context menu, F5, and the program's start-up.
#pragma once

#include "app/AppState.h"

#include <windows.h>

#include <string>

[[nodiscard]] const AppState& ApplicationState();

// The dialogs the window and its commands show from now on (a test answers them itself).
void UseDialogs(CommandDialogs dialogs);
// The steps a scan's thread runs from now on (a test makes one that is slow to stop).
void UseScanSteps(ScanSteps steps);
// How a scan's thread is made from now on (a test makes one that fails).
void UseThreadStarter(ThreadStarter start);


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

// The folder a command line names ("Veltrimox.exe FOLDER": a folder dropped on the program's
// icon, "Send to", a shortcut's argument): its first argument made full, a trailing quote left
// by the `"D:\data\"` form taken off; empty when there is none.
[[nodiscard]] std::wstring FolderFromCommandLine(const std::wstring& commandLine);
// Opens the folder `commandLine` names once the window's loop runs, exactly as a drop of it.
void OpenStartFolder(HWND window, const std::wstring& commandLine);

// Start-up to exit: the body of WinMain. Non-zero when the window could not be created.
int RunApplication(HINSTANCE instance, int showCommand);
