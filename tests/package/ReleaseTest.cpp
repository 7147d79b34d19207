// The released program as a Windows user runs it, as its own process: tests/package/release-test.sh
// unpacks it alone into an empty folder of a fresh Wine prefix and runs this there.
#include "TestSupport.h"
#include "common/ScopedWin.h"

#include <gtest/gtest.h>

TEST(Release, TheProgramStartsAndEndsWhenClosed) {
    const std::wstring exe = FromEnvironment("VELTRIMOX_EXE"), folder = exe.substr(0, exe.find_last_of(L'\\'));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process));
    const ScopedHandle thread(process.hThread), program(process.hProcess);
    HWND window = nullptr;  // nothing else in the fresh prefix has a window of this class
    for (int i = 0; i < 400 && !(window = FindWindowW(L"Veltrimox", nullptr)); ++i) Sleep(50);
    ASSERT_NE(window, nullptr) << "the main window never appeared";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    // release-test.sh compares what it stored with the shipped settings.
}
