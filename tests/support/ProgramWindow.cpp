#include "ProgramWindow.h"

#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/resource.h"

#include "TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

HWND g_window = nullptr;
DWORD g_deadline = 0;
bool g_untilIdle = true;

// Ends the loop at the deadline, or once idle. A message box's own loop runs timers too, and a
// quit there would close the box: while a modal box disables the window, only the deadline ends it.
void CALLBACK QuitWhenDone(HWND, UINT, UINT_PTR, DWORD) {
    const bool idle = g_untilIdle && !ScanRunning() && (!IsWindow(g_window) || IsWindowEnabled(g_window));
    if (idle || static_cast<LONG>(GetTickCount() - g_deadline) >= 0) PostQuitMessage(idle ? 0 : ProgramWindow::kTimedOut);
}

}  // namespace

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& p : paths) chars += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& p : paths) text = std::copy(p.begin(), p.end(), text) + 1;
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

ProgramWindow::ProgramWindow(const std::string& settings) {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        OleInitialize(nullptr);
        return RegisterMainWindowClass(GetModuleHandleW(nullptr));
    }();
    EXPECT_TRUE(registered);
    keys_ = CreateKeyTable();
    DeleteFileW(SettingsFilePath().c_str());
    if (!settings.empty()) WriteTestFile(SettingsFilePath(), settings);
    window_ = CreateMainWindow(GetModuleHandleW(nullptr));
    EXPECT_NE(window_, nullptr) << "is there an X display?";
    ShowMainWindow(window_, GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    list_ = GetDlgItem(window_, ID_RESULT_LIST);
}

// Closes without the close message (no placement written), then takes what is left queued.
ProgramWindow::~ProgramWindow() {
    if (IsWindow(window_)) DestroyWindow(window_);
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
    }
    DestroyAcceleratorTable(keys_);
    DeleteFileW(SettingsFilePath().c_str());
}

int ProgramWindow::Run(DWORD limitMs, bool untilIdle) {
    g_window = window_;
    g_deadline = GetTickCount() + limitMs;
    g_untilIdle = untilIdle;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, QuitWhenDone);
    const int code = RunMessageLoop(window_, keys_);
    KillTimer(nullptr, timer);
    return code;
}

HDROP ProgramWindow::Drop(const std::vector<std::wstring>& paths) {
    const HDROP drop = MakeDrop(paths);
    SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    Run(20000);
    return drop;
}

void ProgramWindow::PressF5(HWND target) {
    PostMessageW(target, WM_KEYDOWN, VK_F5, 0x003F0001);
    PostMessageW(target, WM_KEYUP, VK_F5, static_cast<LPARAM>(0xC03F0001u));
    Run(20000);
}

void ProgramWindow::Command(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ProgramWindow::Select(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row >= 0 ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

Rows ProgramWindow::ListRows() const { return ReadListRows(list_); }
