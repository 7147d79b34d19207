// The built program as its own process: it starts, shows its window, closes on request (a long
// scan under way), stores its placement beside itself and exits with 0.
#include "app/Settings.h"

#include "../archive/ArchiveTestSupport.h"
#include "DialogWatcher.h"
#include "TestSupport.h"

#include <shlobj.h>

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

// The shell hands a drop over as a block in the receiving program's memory; so does this.
// (The program's DragFinish then frees a block its heap never gave out, which Wine passes over.)
void DropInto(HANDLE process, HWND window, const std::wstring& folder) {
    DROPFILES header{};
    header.pFiles = sizeof(header);
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof(header));
    block.append(reinterpret_cast<const char*>(folder.c_str()), (folder.size() + 1) * sizeof(wchar_t));
    block.append(sizeof(wchar_t), '\0');
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(remote && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr));
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

}  // namespace

TEST(EndToEnd, TheProgramStartsClosesAndStoresItsPlacement) {
    const char* built = std::getenv("VELTRIMOX_EXE");
    ASSERT_TRUE(built && *built) << "run through ctest";
    const std::wstring folder = MakeTempFolder(L"program");
    const std::wstring exe = folder + L"\\Veltrimox.exe";
    ASSERT_TRUE(CopyFileW(WindowsPathOfUnixPath(built).c_str(), exe.c_str(), FALSE));
    WriteTestFile(folder + L"\\Veltrimox.ini",
                  "[UserSetting]\r\ndir=" + Utf8(MakeFakeArchiverDir(folder + L"\\7z")) + "\r\n");
    const std::wstring data = MakeTempFolder(L"program-data");
    WriteTestFile(data + L"\\a.txt", "a");
    SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", L"20000");  // the archiver's, through the program

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

    DropInto(process.hProcess, context.found, data);
    const std::wstring progress = data + L" — 1 個のファイルを調べました（a.txt を検査中）";
    for (int i = 0; i < 100 && WindowText(context.found) != progress; ++i) Sleep(50);
    EXPECT_EQ(WindowText(context.found), progress);
    SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", nullptr);
    PostMessageW(context.found, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 3000), WAIT_OBJECT_0) << "the scan and its archiver stop";
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
    EXPECT_EQ(GetPrivateProfileStringW(L"UserSetting", L"ignore", L"", user, 16, ini.c_str()), 0u)
        << "the user's keys are never written";
}
