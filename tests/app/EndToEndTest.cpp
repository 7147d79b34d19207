// The built program as its own process: it starts, shows its window, closes on request,
// stores its placement beside itself and exits with 0.
#include "app/Settings.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

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
