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

HWND g_quitAfter = nullptr;

// Ends the message loop once the messages posted before have been handled and a scan they
// started has handed its rows over. A message box's own loop handles posted messages too, and
// a quit there would close the box: while the main window is disabled by a modal box the quit
// waits.
LRESULT CALLBACK QuitWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (IsWindow(g_quitAfter) && (!IsWindowEnabled(g_quitAfter) || ScanRunning())) {
        Sleep(5);
        PostMessageW(hwnd, WM_APP, 0, 0);
    } else {
        PostQuitMessage(0);
    }
    return 0;
}

HWND QuitWindow() {
    static HWND window = [] {
        WNDCLASSW quitClass{};
        quitClass.lpfnWndProc = QuitWindowProc;
        quitClass.hInstance = GetModuleHandleW(nullptr);
        quitClass.lpszClassName = L"QuitAfterQueuedMessages";
        RegisterClassW(&quitClass);
        return CreateWindowExW(0, quitClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }();
    return window;
}

void DrainQueue() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& p : paths) chars += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
    for (const std::wstring& p : paths) {
        std::copy(p.begin(), p.end(), text);
        text += p.size() + 1;
    }
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
    Open(settings);
}

ProgramWindow::~ProgramWindow() {
    Close();
    DestroyAcceleratorTable(keys_);
    DeleteFileW(SettingsFilePath().c_str());
}

void ProgramWindow::Open(const std::string& settings) {
    DeleteFileW(SettingsFilePath().c_str());
    if (!settings.empty()) WriteTestFile(SettingsFilePath(), settings);
    window_ = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window_, nullptr) << "is there an X display?";
    ShowMainWindow(window_, GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    list_ = GetDlgItem(window_, ID_RESULT_LIST);
}

void ProgramWindow::Close() {
    if (IsWindow(window_)) DestroyWindow(window_);
    DrainQueue();
}

void ProgramWindow::Reopen(const std::string& settings) {
    Close();
    Open(settings);
}

void ProgramWindow::Drop(const std::vector<std::wstring>& paths) {
    SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
    RunUntilIdle();
}

void ProgramWindow::PressF5(HWND target) {
    PostMessageW(target, WM_KEYDOWN, VK_F5, 0x003F0001);
    PostMessageW(target, WM_KEYUP, VK_F5, static_cast<LPARAM>(0xC03F0001u));
    RunUntilIdle();
}

void ProgramWindow::RunUntilIdle() {
    g_quitAfter = window_;
    PostMessageW(QuitWindow(), WM_APP, 0, 0);
    RunMessageLoop(window_, keys_);
}

void ProgramWindow::Command(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ProgramWindow::Select(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row >= 0 ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

Rows ProgramWindow::ListRows() const { return ReadListRows(list_); }
