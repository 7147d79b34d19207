// The released program as a Windows user runs it, as its own process: tests/package/release-test.sh
// unpacks it alone into an empty folder of a fresh Wine prefix and runs these there.
#include "TestSupport.h"
#include "Version.h"
#include "app/resource.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

std::wstring ReleaseExe() {
    const char* exe = std::getenv("VELTRIMOX_EXE");
    return exe && *exe ? WindowsPathOfUnixPath(exe) : L"";
}

std::wstring Title(HWND window) {
    wchar_t title[MAX_PATH] = {};
    GetWindowTextW(window, title, MAX_PATH);
    return title;
}

// Memory inside the program: a drop handle and the list view's item records must live there.
// A fixed block is its own handle, so the program's DragQueryFileW reads the drop from it.
struct RemoteMemory {
    HANDLE process;
    char* base = static_cast<char*>(VirtualAllocEx(process, nullptr, 65536, MEM_COMMIT, PAGE_READWRITE));
    void Write(size_t offset, const void* data, size_t size) const {
        WriteProcessMemory(process, base + offset, data, size, nullptr);
    }
};

const size_t kTextOffset = 4096;

Rows ReadRemoteRows(const RemoteMemory& remote, HWND list) {
    Rows rows;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK, 20000, &count);
    for (int i = 0; i < static_cast<int>(count); ++i) {
        std::wstring cells[2];
        for (int c = 0; c < 2; ++c) {
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = reinterpret_cast<wchar_t*>(remote.base + kTextOffset);
            item.cchTextMax = 1024;
            remote.Write(0, &item, sizeof(item));
            remote.Write(kTextOffset, L"", sizeof(wchar_t));
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.base));
            std::wstring text(1024, L'\0');
            ReadProcessMemory(remote.process, item.pszText, text.data(), text.size() * sizeof(wchar_t), nullptr);
            cells[c] = text.c_str();
        }
        rows.emplace_back(cells[0], cells[1]);
    }
    return rows;
}

}  // namespace

// What Explorer's properties show, in the program's resource language.
TEST(Release, TheVersionResourceCarriesTheProjectVersion) {
    const std::wstring exe = ReleaseExe();
    ASSERT_FALSE(exe.empty()) << "run through tests/package/release-test.sh";
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    // Looking one language up may fall back to another: list them.
    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        image, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)});
    FreeLibrary(image);

    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    void* value = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &size));
    EXPECT_EQ(*static_cast<DWORD*>(value), static_cast<DWORD>(MAKELONG(0x0411, 1200)));
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &size));
    const auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    const WORD numbers[] = {VELTRIMOX_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(numbers[1], numbers[0])));
    EXPECT_EQ(fixed->dwProductVersionLS, static_cast<DWORD>(MAKELONG(numbers[3], numbers[2])));

    const std::pair<const wchar_t*, const wchar_t*> texts[] = {
        {L"FileVersion", L"" VELTRIMOX_VERSION_TEXT},     {L"ProductVersion", L"" VELTRIMOX_VERSION_TEXT},
        {L"FileDescription", L"" VELTRIMOX_DESCRIPTION}, {L"OriginalFilename", L"Veltrimox.exe"},
        {L"ProductName", L"Veltrimox"},
    };
    for (const auto& [key, expected] : texts) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + key;
        ASSERT_TRUE(VerQueryValueW(info.data(), path.c_str(), &value, &size)) << Utf8(key);
        EXPECT_STREQ(static_cast<const wchar_t*>(value), expected) << Utf8(key);
    }
}

TEST(Release, TheProgramListsADroppedFolderAndStoresItsPlacementOnClose) {
    const std::wstring exe = ReleaseExe();
    ASSERT_FALSE(exe.empty()) << "run through tests/package/release-test.sh";
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    const std::wstring dropped = MakeTempFolder(L"dropped");
    WriteTestFile(dropped + L"\\a.txt", "same");
    WriteTestFile(dropped + L"\\sub\\b.txt", "same");
    WriteTestFile(dropped + L"\\c.txt", "other");

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &process));

    // Nothing else in the fresh prefix has a window of this class.
    HWND window = nullptr;
    for (int i = 0; i < 400 && !(window = FindWindowW(L"Veltrimox", nullptr)); ++i) Sleep(50);
    ASSERT_NE(window, nullptr) << "the main window never appeared";
    EXPECT_EQ(Title(window), L"Veltrimox");

    const RemoteMemory remote{process.hProcess};
    ASSERT_NE(remote.base, nullptr);
    const DROPFILES drop{sizeof(DROPFILES), {}, FALSE, TRUE};
    remote.Write(0, &drop, sizeof(drop));
    remote.Write(sizeof(drop), (dropped + L'\0').c_str(), (dropped.size() + 2) * sizeof(wchar_t));
    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote.base), 0);
    for (int i = 0; i < 200 && Title(window) != dropped; ++i) Sleep(50);
    EXPECT_EQ(Title(window), dropped);
    EXPECT_EQ(ReadRemoteRows(remote, GetDlgItem(window, ID_RESULT_LIST)),
              (Rows{{L"a.txt", L"sub\\b.txt"}, {L"sub\\b.txt", L"a.txt"}}));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
    // Only the placement is written (release-test.sh compares it with the shipped defaults).
    std::wstring sections(64, L'\0');
    GetPrivateProfileSectionNamesW(sections.data(), 64, (folder + L"\\Veltrimox.ini").c_str());
    EXPECT_EQ(sections, L"SystemSetting" + std::wstring(51, L'\0'));
}
