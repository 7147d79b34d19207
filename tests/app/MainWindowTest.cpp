// The main window driven through its real messages and message loop, as a user drives it.
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/resource.h"

#include "../archive/ArchiveTestSupport.h"
#include "DialogWatcher.h"
#include "ProgramWindow.h"
#include "TestSupport.h"

#include "common/ScopedWin.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace {

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

class MainWindowTest : public testing::Test {
protected:
    void Drop(const std::vector<std::wstring>& paths) { program_.Drop(paths); }
    void PressF5(HWND target) { program_.PressF5(target); }
    Rows ListRows() const { return program_.ListRows(); }
    int ColumnWidth(int column) const { return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, column, 0)); }

    static std::wstring FolderWithDuplicates(const wchar_t* hint) {
        const std::wstring folder = MakeTempFolder(hint);
        WriteTestFile(folder + L"\\a.txt", "same");
        WriteTestFile(folder + L"\\b.txt", "same");
        WriteTestFile(folder + L"\\c.txt", "different");
        return folder;
    }

    ProgramWindow program_;
    HWND window_ = program_.Window();
    HWND list_ = program_.List();
};

}  // namespace

TEST_F(MainWindowTest, StartsWithTheDefaultsAndAnEmptyTwoColumnList) {
    EXPECT_EQ(WindowText(window_), L"Veltrimox");
    RECT r{};
    GetWindowRect(window_, &r);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(r.left, 10 + work.left);
    EXPECT_EQ(r.top, 10 + work.top);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 360);

    ASSERT_NE(list_, nullptr);
    EXPECT_EQ(GetWindowLongW(list_, GWL_STYLE) & 0xFFFF00FF, 0x50000005) << "report view, single selection";
    EXPECT_TRUE(SendMessageW(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(ColumnWidth(0), client.right / 2);
    EXPECT_EQ(ColumnWidth(1), client.right / 2);
    RECT listRect{};
    GetClientRect(list_, &listRect);
    EXPECT_EQ(listRect.right, client.right) << "the list fills the client area";
    wchar_t title[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 32;
    SendMessageW(list_, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(title, L"file2");
    EXPECT_TRUE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_NE(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_TRUE(ApplicationState().rootFolder.empty());

    // Every resource is Japanese (1041): both icon groups, the menu and the manifest.
    for (const auto& [type, id] : {std::pair{RT_GROUP_ICON, IDI_APP_LARGE}, {RT_GROUP_ICON, IDI_APP_SMALL},
                                   {RT_MENU, IDR_CONTEXT_MENU}, {RT_MANIFEST, 1}}) {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(nullptr, type, MAKEINTRESOURCEW(id), CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{1041}) << "resource " << id;
    }
}

TEST_F(MainWindowTest, AStoredPlacementIsAppliedAtTheNextStart) {
    program_.Reopen("[SystemSetting]\r\nx= -8\r\ny= 30\r\nwidth= 500\r\nheight= 300\r\n");
    window_ = program_.Window();
    RECT r{};
    GetWindowRect(window_, &r);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(r.left, -8 + work.left);
    EXPECT_EQ(r.top, 30 + work.top);
    EXPECT_EQ(r.right - r.left, 500);
    EXPECT_EQ(r.bottom - r.top, 300);
}

TEST_F(MainWindowTest, ADropScansOnlyTheFirstItem) {
    const std::wstring first = FolderWithDuplicates(L"first");
    const std::wstring second = MakeTempFolder(L"second");
    WriteTestFile(second + L"\\x.txt", "x");
    WriteTestFile(second + L"\\y.txt", "x");

    Drop({first, second});
    EXPECT_EQ(WindowText(window_), first);
    EXPECT_EQ(ListRows(), (Rows{{L"a.txt", L"b.txt"}, {L"b.txt", L"a.txt"}}));
    EXPECT_EQ(ApplicationState().entries.size(), 3u);

    // A file first: nothing is scanned, only the dropped path is kept, and F5 then does nothing.
    const std::wstring file = first + L"\\c.txt";
    DialogAnswerer answerer(window_, {IDOK});
    Drop({file, second});
    PressF5(list_);
    EXPECT_TRUE(answerer.Finish().empty()) << "no scan, so no message";
    EXPECT_EQ(WindowText(window_), first);
    EXPECT_EQ(ListRows().size(), 2u);
    EXPECT_EQ(ApplicationState().rootFolder, file);
    EXPECT_EQ(ApplicationState().entries.size(), 3u);
}

TEST_F(MainWindowTest, F5BeforeAnyDropDoesNothing) {
    DialogAnswerer answerer(window_, {IDOK});
    PressF5(window_);
    EXPECT_TRUE(answerer.Finish().empty());
    EXPECT_TRUE(ApplicationState().entries.empty());
}

TEST_F(MainWindowTest, NoDuplicatesIsSaidOnceWithAnOkButtonAndNoIcon) {
    const std::wstring empty = MakeTempFolder(L"empty");
    {
        DialogAnswerer answerer(window_, {IDOK, IDOK});
        Drop({empty});
        const auto seen = answerer.Finish();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].caption, L"Veltrimox");
        EXPECT_EQ(seen[0].text, L"重複はありませんでした。");
        EXPECT_EQ(seen[0].buttons, (std::vector<std::wstring>{L"OK"}));
        EXPECT_FALSE(seen[0].hasIcon);
    }
    DialogAnswerer again(window_, {IDOK, IDOK});
    SetFocus(list_);
    PressF5(list_);
    EXPECT_EQ(again.Finish().size(), 1u) << "F5 on the same folder says it again, once";
}

TEST_F(MainWindowTest, F5RescansAlsoWithTheListFocused) {
    const std::wstring folder = FolderWithDuplicates(L"rescan");
    Drop({folder});
    const Rows before = ListRows();
    SetFocus(list_);
    PressF5(list_);
    EXPECT_EQ(ListRows(), before) << "an unchanged folder gives the same rows in the same order";

    WriteTestFile(folder + L"\\d.txt", "different");
    PressF5(list_);
    EXPECT_EQ(ListRows().size(), 4u);
    EXPECT_EQ(WindowText(window_), folder);

    // A folder that is gone since: F5 does nothing and the rows stay.
    const std::wstring moved = folder + L"-moved";
    ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    PressF5(list_);
    EXPECT_EQ(ListRows().size(), 4u);
}

TEST_F(MainWindowTest, ARightClickOpensTheFourCommandsAtTheCursorAlsoOnAnEmptyList) {
    SetCursorPos(200, 150);
    MenuWatcher watcher;
    NMHDR header{list_, ID_RESULT_LIST, static_cast<UINT>(NM_RCLICK)};
    SendMessageW(window_, WM_NOTIFY, ID_RESULT_LIST, reinterpret_cast<LPARAM>(&header));
    POINT topLeft{};
    EXPECT_EQ(watcher.Finish(&topLeft), (std::vector<std::wstring>{L"file1削除", L"file2削除", L"file1移動", L"file2移動"}));
    EXPECT_EQ(topLeft.x, 200);
    EXPECT_EQ(topLeft.y, 150);

    MenuWatcher other;
    NMHDR elsewhere{list_, 1002, static_cast<UINT>(NM_RCLICK)};
    SendMessageW(window_, WM_NOTIFY, 1002, reinterpret_cast<LPARAM>(&elsewhere));
    EXPECT_TRUE(other.Finish().empty()) << "only the result list has the menu";
}

TEST_F(MainWindowTest, ColumnsKeepTheirWidthWhenTheWindowGrows) {
    const int width = ColumnWidth(0);
    SetWindowPos(window_, nullptr, 0, 0, 1000, 600, SWP_NOZORDER | SWP_NOMOVE);
    RECT client{}, listRect{};
    GetClientRect(window_, &client);
    GetClientRect(list_, &listRect);
    EXPECT_EQ(listRect.right, client.right);
    EXPECT_EQ(listRect.bottom, client.bottom);
    EXPECT_EQ(ColumnWidth(0), width);
    EXPECT_EQ(ColumnWidth(1), width);
}

// The archiver takes its time while another thread asks the window, as the system does, whether
// it still answers. Each row drops `first` and then, with a run under way, does one thing.
TEST_F(MainWindowTest, ALongScanKeepsTheWindowAnsweringShowsProgressAndStops) {
    program_.Reopen("[UserSetting]\r\ndir=" + Utf8(MakeFakeArchiverDir(MakeTempFolder(L"slow7z"))) + "\r\n");
    window_ = program_.Window();
    list_ = program_.List();
    const std::wstring first = FolderWithDuplicates(L"slow");
    const std::wstring second = MakeTempFolder(L"second");
    WriteTestFile(second + L"\\x.txt", "x");
    WriteTestFile(second + L"\\y.txt", "x");

    std::atomic<bool> stop{false};
    std::atomic<int> unanswered{0}, hung{0};
    std::mutex titlesMutex;
    std::set<std::wstring> titles;
    std::thread prober([&] {
        while (!stop) {
            std::wstring title(1024, L'\0');
            DWORD_PTR length = 0;
            if (IsHungAppWindow(window_)) ++hung;
            if (!SendMessageTimeoutW(window_, WM_GETTEXT, title.size(), reinterpret_cast<LPARAM>(title.data()),
                                     SMTO_ABORTIFHUNG, 100, &length)) {
                if (IsWindow(window_)) ++unanswered;
            } else {
                std::lock_guard<std::mutex> lock(titlesMutex);
                titles.insert(title.substr(0, length));
            }
            Sleep(20);
        }
    });
    const auto pumpUntil = [&](auto done, DWORD limit) {
        const DWORD start = GetTickCount();
        for (MSG message; !done() && GetTickCount() - start < limit; Sleep(5)) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (TranslateAcceleratorW(window_, program_.Keys(), &message)) continue;
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return GetTickCount() - start;
    };
    const auto archiverRunning = [] {
        ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
            if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"7z.exe") == 0) return true;
        }
        return false;
    };

    enum class Then { Waits, PressesEsc, DropsSecond, Closes };
    const struct {
        Then then;
        const wchar_t* delay;  // each archiver run's
        std::wstring title;
        Rows rows;
    } rows[] = {
        {Then::Waits, L"300", first, {{L"a.txt", L"b.txt"}, {L"b.txt", L"a.txt"}}},
        {Then::PressesEsc, L"5000", first, {}},
        {Then::DropsSecond, L"5000", second, {{L"x.txt", L"y.txt"}, {L"y.txt", L"x.txt"}}},
        {Then::Closes, L"5000", L"", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.then));
        SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", row.delay);  // the archiver's, inherited
        SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first})), 0);
        pumpUntil([] { return false; }, 600);
        EXPECT_TRUE(ScanRunning());
        EXPECT_TRUE(row.then == Then::Waits || archiverRunning());
        SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", L"0");
        SetWindowPos(window_, nullptr, 33, 44, 555, 333, SWP_NOZORDER);
        if (row.then == Then::PressesEsc) PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        if (row.then == Then::DropsSecond) SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({second})), 0);
        if (row.then == Then::Closes) {
            const DWORD start = GetTickCount();
            PostMessageW(window_, WM_CLOSE, 0, 0);
            EXPECT_EQ(RunMessageLoop(window_, program_.Keys()), 0);
            EXPECT_LT(GetTickCount() - start, 1500u) << "the archiver's run is ended, not waited for";
            EXPECT_FALSE(IsWindow(window_));
        }
        const DWORD took = pumpUntil([] { return !ScanRunning(); }, 10000);
        EXPECT_LT(took, row.then == Then::PressesEsc ? 1500u : 10000u);
        EXPECT_FALSE(archiverRunning());
        if (row.then == Then::Closes) break;
        EXPECT_EQ(WindowText(window_), row.title);
        EXPECT_EQ(ListRows(), row.rows);
        EXPECT_EQ(ApplicationState().entries.size(), row.rows.empty() ? 0u : 2u + (row.then == Then::Waits));
    }
    stop = true;
    prober.join();
    EXPECT_EQ(unanswered, 0) << "slower than 100 ms";
    EXPECT_EQ(hung, 0);
    // Every file is hashed before the archiver looks into any of them.
    const std::wstring progress = first + L" — 3 個のファイルを調べました（";
    EXPECT_TRUE(std::any_of(titles.begin(), titles.end(), [&](const std::wstring& title) {
        return title.compare(0, progress.size(), progress) == 0 && title.size() > progress.size() + 5 &&
               title.compare(title.size() - 5, 5, L"を検査中）") == 0;
    })) << "the archive under test in the title";

    const Settings stored = LoadSettings(SettingsFilePath());
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(stored.x, 33 - work.left);
    EXPECT_EQ(stored.y, 44 - work.top);
    EXPECT_EQ(stored.width, 555);
    EXPECT_EQ(stored.height, 333);
    wchar_t keys[256] = {};
    const DWORD length = GetPrivateProfileSectionW(L"SystemSetting", keys, 256, SettingsFilePath().c_str());
    int count = 0;
    for (DWORD i = 0; i < length; i += static_cast<DWORD>(wcslen(keys + i)) + 1) ++count;
    EXPECT_EQ(count, 4) << "x, y, width and height, each once";
}

TEST_F(MainWindowTest, APathTooLongForTheScanCountsAsANonFolder) {
    const std::wstring base = FolderWithDuplicates(L"long");
    const std::wstring deep = base + L"\\" + std::wstring(120, L'x') + L"\\" + std::wstring(120, L'y');
    ASSERT_GT(deep.size(), 259u);
    MakeFolder(L"\\\\?\\" + deep);
    WriteTestFile(L"\\\\?\\" + deep + L"\\a.txt", "same");

    DialogAnswerer answerer(window_, {IDOK});
    Drop({deep});
    EXPECT_TRUE(answerer.Finish().empty());
    EXPECT_EQ(WindowText(window_), L"Veltrimox");
    EXPECT_TRUE(ListRows().empty());
    EXPECT_EQ(ApplicationState().rootFolder, deep) << "the whole path is read, never a cut one";
}
