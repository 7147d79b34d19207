#include "WindowSupport.h"

#include "actions/ResultList.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/resource.h"

#include "TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    auto& seen = *reinterpret_cast<SeenDialog*>(param);
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    const bool isStatic = _wcsicmp(name, L"Static") == 0;
    if (!IsWindowVisible(child)) return TRUE;
    if (_wcsicmp(name, L"Button") == 0) seen.ids.push_back(GetDlgCtrlID(child));
    if (isStatic && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        const std::pair<LPCWSTR, const wchar_t*> system[] = {{IDI_ERROR, L"error"}, {IDI_WARNING, L"warning"}, {IDI_INFORMATION, L"info"}};
        for (const auto& [id, text] : system) seen.icon = icon && icon == LoadIconW(nullptr, id) ? text : seen.icon;
    } else if (isStatic && seen.text.empty()) {
        seen.text = WindowText(child);
    }
    return TRUE;
}

struct Answering {
    HWND owner;
    std::vector<int> answers;
    std::wstring pick;
    std::vector<HWND> answered;
    std::vector<SeenDialog> seen;
} g_answering;

void Answer(HWND dialog) {
    Answering& a = g_answering;
    if (std::count(a.answered.begin(), a.answered.end(), dialog) > 0) return;
    a.answered.push_back(dialog);
    SeenDialog seen;
    seen.caption = WindowText(dialog);
    EnumChildWindows(dialog, ReadChild, reinterpret_cast<LPARAM>(&seen));
    a.seen.push_back(seen);
    int id = a.seen.size() <= a.answers.size() ? a.answers[a.seen.size() - 1] : 0;
    if (!id || !GetDlgItem(dialog, id) || GetWindow(dialog, GW_OWNER) != a.owner) {
        ADD_FAILURE() << "dialog " << a.seen.size() << " not answered as planned: closed";
        for (int close : {IDOK, IDCANCEL, IDNO}) id = GetDlgItem(dialog, close) ? close : id;
    }
    if (!a.pick.empty()) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(a.pick.c_str()));
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// A modal dialog's own loop runs the thread's timers: each tick answers the dialogs it shows.
void CALLBACK OnAnswerTick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM) {
        wchar_t name[8] = {};
        GetClassNameW(window, name, 8);
        if (IsWindowVisible(window) && wcscmp(name, L"#32770") == 0) Answer(window);
        return TRUE;
    }, 0);
}

struct { HWND window; DWORD deadline; bool untilIdle; } g_run;  // of the loop that runs now

// A message box's own loop runs timers too, and a quit there would close the box: while a
// modal box disables the window, only the deadline ends the loop.
void CALLBACK QuitWhenDone(HWND, UINT, UINT_PTR, DWORD) {
    const bool idle = g_run.untilIdle && !ScanRunning() && (!IsWindow(g_run.window) || IsWindowEnabled(g_run.window));
    if (idle || static_cast<LONG>(GetTickCount() - g_run.deadline) >= 0) PostQuitMessage(idle ? 0 : 99);
}

}  // namespace

Rows ReadListRows(HWND list) {
    Rows rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) rows.emplace_back(ReadCellText(list, i, 0), ReadCellText(list, i, 1));
    return rows;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    std::wstring text;
    for (const std::wstring& p : paths) text += p + L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (text.size() + 1) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));  // movable, so that a freed handle is known
    *drop = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
    std::copy(text.begin(), text.end(), reinterpret_cast<wchar_t*>(drop + 1));
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
    EXPECT_TRUE(registered) << "the window class";
    keys = CreateKeyTable();
    DeleteFileW(SettingsFilePath().c_str());
    if (!settings.empty()) WriteTestFile(SettingsFilePath(), settings);
    window = CreateMainWindow(GetModuleHandleW(nullptr));
    EXPECT_NE(window, nullptr) << "is there an X display?";
    ShowMainWindow(window, GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    list = GetDlgItem(window, ID_RESULT_LIST);
}

ProgramWindow::~ProgramWindow() {
    if (IsWindow(window)) DestroyWindow(window);
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) continue;
    DestroyAcceleratorTable(keys);
}

int ProgramWindow::Run(DWORD limitMs, bool untilIdle) {
    g_run = {window, GetTickCount() + limitMs, untilIdle};
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, QuitWhenDone);
    const int code = RunMessageLoop(window, keys);
    KillTimer(nullptr, timer);
    return code;
}

HDROP ProgramWindow::Drop(const std::vector<std::wstring>& paths) {
    const HDROP drop = MakeDrop(paths);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    Run(20000);
    return drop;
}

std::vector<SeenDialog> AnswerDialogs(HWND owner, std::vector<int> answers, const std::function<void()>& act,
                                      const std::wstring& pick) {
    g_answering = Answering{owner, std::move(answers), pick, {}, {}};
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, OnAnswerTick);
    act();
    KillTimer(nullptr, timer);
    return std::move(g_answering.seen);
}
