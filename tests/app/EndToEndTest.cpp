// The built program as its own process: it starts, shows its window, closes on request,
// stores its placement beside itself and exits with 0.
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/resource.h"

#include "TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct FindContext {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<FindContext*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (owner == context->processId && std::wstring(cls) == L"Veltrimox" && IsWindowVisible(window)) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TEST(EndToEnd, TheProgramStartsClosesAndStoresItsPlacement) {
    const char* built = std::getenv("VELTRIMOX_EXE");
    ASSERT_TRUE(built && *built) << "run through ctest";
    const std::wstring folder = MakeTempFolder(L"program");
    const std::wstring exe = folder + L"\\Veltrimox.exe";
    ASSERT_TRUE(CopyFileW(WindowsPathOfUnixPath(built).c_str(), exe.c_str(), FALSE));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &process));

    FindContext context{process.dwProcessId, nullptr};
    for (int i = 0; i < 400 && !context.found; ++i) {
        Sleep(50);
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&context));
    }
    ASSERT_NE(context.found, nullptr) << "the main window never appeared";
    wchar_t title[64] = {};
    GetWindowTextW(context.found, title, 64);
    EXPECT_STREQ(title, L"Veltrimox");

    PostMessageW(context.found, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);

    const std::wstring ini = folder + L"\\Veltrimox.ini";
    ASSERT_TRUE(PathExists(ini));
    const Settings stored = LoadSettings(ini);
    EXPECT_EQ(stored.width, 640);
    EXPECT_EQ(stored.height, 360);
    wchar_t user[16] = {};
    EXPECT_EQ(GetPrivateProfileStringW(L"UserSetting", L"dir", L"", user, 16, ini.c_str()), 0u)
        << "the user's keys are never written";
}

// Not a test: shows the window with the rows of a dropped folder for tools/screenshot, which
// takes the picture once the file named by VELTRIMOX_SHOWCASE_READY appears.
TEST(EndToEnd, DISABLED_Showcase) {
    wchar_t folder[MAX_PATH] = {}, ready[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableW(L"VELTRIMOX_SHOWCASE", folder, MAX_PATH));
    ASSERT_TRUE(GetEnvironmentVariableW(L"VELTRIMOX_SHOWCASE_READY", ready, MAX_PATH));
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr)));
    const char* archiver = std::getenv("VELTRIMOX_7ZIP_DIR");
    WriteTestFile(SettingsFilePath(), "[UserSetting]\r\ndir=" + Utf8(WindowsPathOfUnixPath(archiver ? archiver : "")) +
                                          "\r\n[SystemSetting]\r\nx= 0\r\ny= 0\r\nwidth= 760\r\nheight= 300\r\n");
    HWND window = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    ShowMainWindow(window, GetModuleHandleW(nullptr), SW_SHOWNORMAL);

    const std::wstring path = folder;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(drop + 1));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    ListView_SetItemState(GetDlgItem(window, ID_RESULT_LIST), 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

    const auto pump = [](DWORD milliseconds) {
        const DWORD start = GetTickCount();
        MSG message;
        while (GetTickCount() - start < milliseconds) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(20);
        }
    };
    pump(1000);
    WriteTestFile(ready, "ready");
    pump(4000);
    DestroyWindow(window);
    DeleteFileW(SettingsFilePath().c_str());
}
