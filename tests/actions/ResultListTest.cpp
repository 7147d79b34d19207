// The result list as its readers see it: rows read back through the list control, from this
// process and from another one, against the rows a stored list would hold.
#include "actions/ResultList.h"

#include "DialogWatcher.h"
#include "TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <random>

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* rows = reinterpret_cast<const PairRows*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NOTIFY && rows && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
        AnswerDisplayInfo(*rows, *reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A hidden window with the result list, answering for its rows as the main window does.
struct ListWindow {
    explicit ListWindow(PairRows& shown) : rows(shown) {
        static const ATOM registered = [] {
            WNDCLASSW owner{};
            owner.lpfnWndProc = OwnerProc;
            owner.hInstance = GetModuleHandleW(nullptr);
            owner.lpszClassName = L"ResultListTestOwner";
            return RegisterClassW(&owner);
        }();
        EXPECT_NE(registered, 0);
        owner = CreateWindowExW(0, L"ResultListTestOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&rows));
        view = CreateResultList(owner, 1001);
    }
    ~ListWindow() { DestroyWindow(owner); }
    ResultList List() const { return ResultList{view, rows}; }
    int Row(UINT which) const {
        return static_cast<int>(SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), which));
    }

    PairRows& rows;
    HWND owner = nullptr;
    HWND view = nullptr;
};

Rows StoredRows(const EntryList& entries) {
    Rows rows;
    for (const auto& [j, k] : PairRowsByDoubleLoop(entries)) {
        rows.emplace_back(entries[j].displayName, entries[k].displayName);
    }
    return rows;
}

// Each cell as UTF-8, a tab after file1 and a line feed after file2.
std::string RowsText(const Rows& rows) {
    std::wstring text;
    for (const auto& [file1, file2] : rows) text += file1 + L"\t" + file2 + L"\n";
    return Utf8(text);
}

}  // namespace

// Each removal as a command makes it (the rows, then the entry), on the rows and on the stored
// rows they stand for, with a row selected before it; names repeat, differ in case or by a
// blank, and one is longer than any path buffer.
TEST(ResultList, RemovalsLeaveTheRowsAStoredListKeepsAndNoSelection) {
    std::mt19937 random(77);
    const std::vector<std::wstring> names = {L"a", L"A", L"a ", L"b", L"x.zip【a】", L"sub\\" + std::wstring(600, L'n')};
    const std::vector<std::wstring> containers = {L"D:\\a", L"D:\\A", L"D:\\x.zip", L"D:\\y.zip"};
    for (int round = 0; round < 30; ++round) {
        EntryList entries;
        const size_t count = random() % 30;
        for (size_t i = 0; i < count; ++i) {
            AppendEntry(entries, FileEntry{names[random() % names.size()], L"", containers[random() % containers.size()],
                                           std::to_wstring(random() % 3), static_cast<int32_t>(random() % 2)});
        }
        PairRows rows = BuildPairs(entries);
        const ListWindow window(rows);
        ShowRows(window.List());
        Rows stored = StoredRows(entries);
        ASSERT_EQ(ReadListRows(window.view), stored) << "round " << round;
        for (int step = 0; step < 4 && !entries.empty(); ++step) {
            if (!stored.empty()) {
                LVITEMW select{};
                select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                select.state = step % 2 ? select.stateMask : LVIS_SELECTED;  // focus may be elsewhere
                SendMessageW(window.view, LVM_SETITEMSTATE, random() % stored.size(), reinterpret_cast<LPARAM>(&select));
            }
            const size_t position = random() % entries.size();
            const FileEntry entry = entries[position];
            std::function<bool(const std::wstring&)> goes;
            if (random() % 2) {
                RemoveRowsByName(window.List(), entry.displayName);
                goes = [&](const std::wstring& cell) { return cell == entry.displayName; };
            } else {
                RemoveRowsByContainer(window.List(), entries, entry.containerPath);
                goes = [&](const std::wstring& cell) {
                    const size_t at = FindEntryByName(entries, cell);
                    return at < entries.size() && entries[at].containerPath == entry.containerPath;
                };
            }
            stored.erase(std::remove_if(stored.begin(), stored.end(),
                                        [&](const auto& row) { return goes(row.first) || goes(row.second); }),
                         stored.end());
            EraseEntry(entries, position);
            ASSERT_EQ(ReadListRows(window.view), stored) << "round " << round << ", step " << step;
            EXPECT_EQ(window.Row(LVNI_SELECTED), -1);
            EXPECT_EQ(window.Row(LVNI_FOCUSED), -1);
        }
    }
}

TEST(ResultList, MoreRowsThanTheControlHoldsShowTheFirstOnesAndSaySoOnce) {
    EntryList entries;  // one group of 10,001: 100,010,000 rows
    for (int i = 0; i <= 10000; ++i) AppendEntry(entries, FileEntry{L"f" + std::to_wstring(i), L"", L"", L"1", 0});
    entries[1].displayName += std::wstring(300, L'x');  // longer than the first buffer ReadCellText tries
    PairRows rows = BuildPairs(entries);
    const ListWindow window(rows);
    DialogAnswerer answerer(window.owner, {IDOK, IDOK});
    ShowRows(window.List());
    const auto seen = answerer.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Veltrimox");
    EXPECT_EQ(seen[0].text, L"重複の組が100,010,000件見つかりました。\n一覧には先頭の100,000,000件だけを表示します。");
    EXPECT_TRUE(seen[0].hasIcon);
    EXPECT_EQ(SendMessageW(window.view, LVM_GETITEMCOUNT, 0, 0), 100000000);
    EXPECT_EQ(ReadCellText(window.view, 99999999, 0), L"f9999");
    EXPECT_EQ(ReadCellText(window.view, 99999999, 1), L"f10000");
    EXPECT_EQ(ReadCellText(window.view, 0, 1), entries[1].displayName);
}

// Screen readers and automation read the rows from their own process, through a buffer they
// place in this one.
TEST(ResultList, AnotherProcessReadsTheSameTexts) {
    EntryList entries;
    for (const std::wstring& name : {std::wstring(L"a.txt"), std::wstring(L"日本\\b.txt"), std::wstring(L"x.zip【c.txt】"),
                                     L"s\\" + std::wstring(400, L'n')}) {
        AppendEntry(entries, FileEntry{name, L"", L"", L"7", 0});
    }
    PairRows rows = BuildPairs(entries);
    const ListWindow window(rows);
    ShowRows(window.List());
    const std::wstring out = MakeTempFolder(L"reader") + L"\\rows.txt";
    SetEnvironmentVariableW(L"VELTRIMOX_READ_LIST", std::to_wstring(reinterpret_cast<uintptr_t>(window.view)).c_str());
    SetEnvironmentVariableW(L"VELTRIMOX_READER_OUT", out.c_str());
    const PROCESS_INFORMATION reader = StartWorker(L"ResultList.DISABLED_Reader");
    // The reader's messages reach the list only while this thread takes messages.
    while (MsgWaitForMultipleObjects(1, &reader.hProcess, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(reader.hThread);
    CloseHandle(reader.hProcess);
    EXPECT_EQ(ReadTextFile(out), RowsText(StoredRows(entries)));
}

TEST(ResultList, DISABLED_Reader) {
    wchar_t handle[32] = {}, out[MAX_PATH] = {};
    GetEnvironmentVariableW(L"VELTRIMOX_READ_LIST", handle, 32);
    GetEnvironmentVariableW(L"VELTRIMOX_READER_OUT", out, MAX_PATH);
    const HWND list = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(handle, nullptr, 10)));
    DWORD owner = 0;
    GetWindowThreadProcessId(list, &owner);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
    ASSERT_NE(process, nullptr);
    const Rows rows = ReadListRows(list, process);
    CloseHandle(process);
    WriteTestFile(out, RowsText(rows));
}
