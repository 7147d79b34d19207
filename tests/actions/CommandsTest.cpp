// The delete and move commands and the result list, on real files, the real Recycle Bin (Wine's
// trash under a throw-away XDG_DATA_HOME) and the real 7-Zip. Most questions are answered in
// process through the commands' dialogs; a few go through the real boxes and the real picker.
#include "actions/FileCommands.h"
#include "app/resource.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/FolderScan.h"

#include "DialogWatcher.h"
#include "ProgramWindow.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace {

using Asked = std::vector<std::pair<std::wstring, UINT>>;  // each box's text and style; the picker as "pick"
const auto D = DeleteSelectedFile;
const auto M = MoveSelectedFile;
std::pair<std::wstring, UINT> Box(const std::wstring& text, UINT style) { return {text, style}; }
const auto kPick = Box(L"pick", 0);
const auto kOverwrite = Box(L"移動先に同名ファイルが存在します。\n上書きしますか？", MB_ICONWARNING | MB_YESNO);

std::wstring FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    EXPECT_TRUE(value && *value) << name << ": run through ctest";
    return WindowsPathOfUnixPath(value ? value : "");
}

bool InTrash(const std::wstring& name) {
    return PathExists(FromEnvironment("XDG_DATA_HOME") + L"\\Trash\\files\\" + name);
}

// `rows` less every row with a cell that `goes`; the rest keep their order.
template <typename Goes>
Rows Without(Rows rows, Goes goes) {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const auto& r) { return goes(r.first) || goes(r.second); }),
               rows.end());
    return rows;
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* rows = reinterpret_cast<const PairRows*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message != WM_NOTIFY || !rows || reinterpret_cast<NMHDR*>(lParam)->code != LVN_GETDISPINFOW) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return AnswerDisplayInfo(*rows, *reinterpret_cast<NMLVDISPINFOW*>(lParam)), 0;
}

// A window with the result list, answering for `rows` as the main window does.
struct ListWindow {
    explicit ListWindow(PairRows& shown) : rows(shown) {
        WNDCLASSW owner{};
        owner.lpfnWndProc = OwnerProc;
        owner.hInstance = GetModuleHandleW(nullptr);
        owner.lpszClassName = L"ListOwner";
        RegisterClassW(&owner);  // fails harmlessly from the second time on
        window = CreateWindowExW(0, L"ListOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&rows));
        view = CreateResultList(window, 1);
    }
    ~ListWindow() { DestroyWindow(window); }
    ResultList List() const { return ResultList{view, rows}; }
    Rows Shown() const { return ReadListRows(view); }
    void Select(int row, UINT state = LVIS_SELECTED | LVIS_FOCUSED) const {
        LVITEMW item{};
        item.state = state;
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    int Next(UINT which) const { return static_cast<int>(SendMessageW(view, LVM_GETNEXTITEM, WPARAM(-1), which)); }
    PairRows& rows;
    HWND window, view;
};

struct Step {
    void (*command)(const CommandContext&, int);
    std::wstring file1, file2;  // the row to select: empty file2 the first of file1, empty file1 none
    int column;
    std::vector<int> answers;          // in turn for each box and the picker; 0 (a failed box) after them
    std::optional<std::wstring> pick;  // the picker's answer: nullopt cancelled, "" a pick without a path
    Asked asked;
    std::vector<std::wstring> gone;  // whose rows and entries leave ("~name": only its rows)
};

class Commands : public testing::Test {
protected:
    void Scan(const std::wstring& name) {
        root = FromEnvironment("VELTRIMOX_ACTIONS_FIXTURE") + L"\\" + name;
        rows = BuildPairs(entries = ExpandArchives({archiver, root}, ScanFolder({root, L""}, root)).entries);
        ShowRows(window.List());
    }
    void Walk(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            const Rows before = window.Shown();
            const auto at = std::find_if(before.begin(), before.end(), [&](const auto& r) {
                return r.first == step.file1 && (step.file2.empty() || r.second == step.file2);
            });
            ASSERT_EQ(at == before.end(), step.file1.empty()) << Utf8(step.file1 + L" / " + step.file2);
            window.Select(at == before.end() ? -1 : static_cast<int>(at - before.begin()), at == before.end() ? 0 : 3);
            asked.clear();
            current = &step;
            step.command(CommandContext{window.window, window.List(), entries, root, archiver, dialogs}, step.column);
            EXPECT_EQ(asked, step.asked) << Utf8(step.file1);
            std::vector<std::wstring> gone;
            for (const auto& name : step.gone) gone.push_back(name[0] == L'~' ? name.substr(1) : name);
            const auto named = [&](const std::wstring& cell) { return std::count(gone.begin(), gone.end(), cell) > 0; };
            EXPECT_EQ(window.Shown(), Without(before, named)) << Utf8(step.file1);
            for (size_t i = 0; i < gone.size(); ++i) {
                EXPECT_EQ(FindEntryByName(entries, gone[i]) < entries.size(), step.gone[i][0] == L'~') << Utf8(gone[i]);
            }
        }
    }
    std::wstring archiver = LocateArchiver(FromEnvironment("VELTRIMOX_7ZIP_DIR")), root;
    EntryList entries;
    PairRows rows;
    ListWindow window{rows};
    Asked asked;
    const Step* current = nullptr;
    // Each box and the picker answered in turn, all owned by the window.
    int Answer(HWND owner, const std::wstring& text, UINT style) {
        EXPECT_EQ(owner, window.window);
        asked.emplace_back(text, style);
        return asked.size() <= current->answers.size() ? current->answers[asked.size() - 1] : 0;
    }
    CommandDialogs dialogs{[this](HWND owner, const std::wstring& text, UINT style) {
                               return Answer(owner, text, style);
                           },
                           [this](HWND owner, const std::wstring& at) {
                               return Answer(owner, at == root ? L"pick" : at, 0), current->pick;  // opened at the root
                           }};
};

}  // namespace

TEST_F(Commands, DeleteTakesTheFileOrMemberAndEveryRowItChangedAndOnlyOnYes) {
    const auto loose = [](const std::wstring& name) { return Box(name + L"を削除します。\nよろしいですか？", MB_YESNO); };
    const auto member = [](const std::wstring& name) { return Box(L"書庫内" + name + L"を削除します。\nよろしいですか？", MB_YESNO); };
    const auto failed = [](const std::wstring& name) { return Box(name + L"を削除できませんでした。", MB_ICONERROR); };
    Scan(L"delete");
    ASSERT_TRUE(DeleteFileW((root + L"\\gone.txt").c_str()) && DeleteFileW((root + L"\\held.zip").c_str()));
    std::vector<Step> steps{{D, L"", L"", 0, {IDYES}, {}, {}, {}}};
    for (int answer : {IDNO, IDOK, IDCANCEL, 0}) {
        steps.push_back({D, L"k1.txt", L"k2.txt", 0, {answer}, {}, {loose(L"k1.txt")}, {}});
    }
    steps.insert(steps.end(), {
        {D, L"k1.txt", L"k2.txt", 0, {IDYES}, {}, {loose(L"k1.txt")}, {L"k1.txt"}},
        {D, L"one.txt", L"set.zip【one.txt】", 1, {IDYES}, {}, {member(L"one.txt")}, {L"set.zip【one.txt】", L"set.zip"}},
        {D, L"solo.zip【two.txt】", L"two.txt", 0, {IDYES}, {},
         {Box(L"solo.zip【two.txt】を削除します。\nよろしいですか？\n※書庫を削除します。", MB_ICONWARNING | MB_YESNO)},
         {L"solo.zip【two.txt】", L"solo.zip"}},
        {D, L"gone.txt", L"here.txt", 0, {IDYES}, {}, {loose(L"gone.txt")}, {L"gone.txt"}},
        {D, L"m1.txt", L"held.zip【m1.txt】", 1, {IDYES}, {}, {member(L"m1.txt")}, {L"held.zip【m1.txt】", L"held.zip"}}});
    for (const std::wstring name : {L"q?.txt", L"-x.txt", L"@x.txt", L"Readme.txt"}) {
        const std::wstring display = L"names.zip【" + name + L"】";
        steps.push_back({D, display, L"", 0, {IDYES}, {}, {member(name)}, {display, L"names.zip"}});
    }
    for (const std::wstring name : {L"names.zip【a\" \"b】", L"clash.zip【a】", L"clash.zip【c】"}) {
        const std::wstring inner = name.substr(name.find(L'【') + 1, name.size() - name.find(L'【') - 2);
        steps.push_back({D, name, L"", 0, {IDYES}, {}, {member(inner), failed(inner)}, {}});
    }
    Walk(steps);
    // The Recycle Bin cannot take a file held open: the shell asks before deleting it for good,
    // and No there is a failed delete.
    HANDLE holder = CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DialogAnswerer shell(window.window, {IDNO});
    Walk({{D, L"locked.txt", L"", 0, {IDYES}, {}, {loose(L"locked.txt"), failed(L"locked.txt")}, {}}});
    CloseHandle(holder);
    EXPECT_EQ(shell.Finish().size(), 1u);
    EXPECT_TRUE(InTrash(L"k1.txt") && InTrash(L"solo.zip") && !PathExists(root + L"\\held.zip"));
    const auto members = [&](const std::wstring& archive) {
        std::vector<std::wstring> paths;
        EXPECT_TRUE(ListArchivePaths(archiver, root + L"\\" + archive, paths));
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    EXPECT_EQ(members(L"set.zip"), std::vector<std::wstring>{L"two.txt"});
    EXPECT_EQ(members(L"names.zip"), (std::vector<std::wstring>{L"README.TXT", L"a", L"a\" \"b", L"b", L"qa.txt"}));
    EXPECT_EQ(members(L"clash.zip"), (std::vector<std::wstring>{L"a", L"a", L"c", L"c\\x.txt"}));

    // The real boxes: a question with Yes and No and no icon, an error with OK and the error
    // icon, the whole-archive question with the warning icon.
    dialogs = SystemDialogs();
    DialogAnswerer answerer(window.window, {IDYES, IDOK, IDNO});
    Walk({{D, L"clash.zip【a】", L"", 0, {}, {}, {}, {}}, {D, L"solo-copy.zip【two.txt】", L"", 0, {}, {}, {}, {}}});
    const auto seen = answerer.Finish();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].caption, L"Veltrimox");
    EXPECT_EQ(seen[1].text, L"aを削除できませんでした。");
    const std::vector<std::pair<std::vector<int>, std::wstring>> shown{
        {{IDYES, IDNO}, L""}, {{IDOK}, L"error"}, {{IDYES, IDNO}, L"warning"}};
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(std::make_pair(seen[i].ids, seen[i].icon), shown[i]) << i;
}

// What the archiver's fresh listing must show after a member delete: the old one less exactly
// the member. Cases the real archiver does not give, through the fake one.
TEST(MemberDelete, OnlyTheOldListingLessExactlyTheMemberConfirmsIt) {
    const std::wstring fake = FromEnvironment("VELTRIMOX_ACTIONS_FIXTURE") + L"\\fake", archive = fake + L"\\a.zip";
    const std::string m = "Path = m\r\nCRC = 00000001\r\n", n = "Path = n\r\nCRC = 00000002\r\n";
    // The listing before; the one after ("-": the listing fails); whether that confirms it.
    for (const auto& [before, after, deleted] : std::vector<std::tuple<std::string, std::string, bool>>{
             {n + m, n, true}, {m + n, m + n, false}, {m + n, "-", false}, {m, "-", false}, {m + n, "", false},
             {n, n, false}}) {
        WriteTestFile(archive, "bytes");
        WriteTestFile(archive + L".list", before);
        if (after != "-") WriteTestFile(archive + L".deleted", after);
        EXPECT_EQ(DeleteArchiveMember(fake + L"\\7z.exe", archive, L"m"), deleted) << before << " -> " << after;
        DeleteFileW((archive + L".deleted").c_str());
    }
}

TEST_F(Commands, MoveTakesTheFileOrArchiveReplacesWhatStandsThereAndNeverItsSource) {
    const auto failed = [](const std::wstring& name) { return Box(name + L"を移動できませんでした。", MB_ICONERROR); };
    const auto archive = Box(L"pack.zip【p.txt】を移動します。\nよろしいですか？\n※書庫を移動します。", MB_ICONWARNING | MB_YESNO);
    Scan(L"move");
    const std::wstring dest = root + L"\\dest";
    std::vector<Step> steps{
        {M, L"mv.txt", L"mv-copy.txt", 0, {0}, std::nullopt, {kPick}, {}},
        {M, L"mv.txt", L"mv-copy.txt", 0, {0}, L"", {kPick, failed(L"mv.txt")}, {}},
        {M, L"mv.txt", L"mv-copy.txt", 0, {0, IDNO}, dest, {kPick, kOverwrite}, {}},
        {M, L"mv.txt", L"mv-copy.txt", 0, {0, IDYES}, dest, {kPick, kOverwrite},
         {L"mv.txt", L"dest\\mv.txt【older.txt】"}},
        {M, L"p.txt", L"pack.zip【p.txt】", 1, {IDNO}, dest, {archive}, {}},
        {M, L"p.txt", L"pack.zip【p.txt】", 1, {IDYES, 0, IDYES}, dest, {archive, kPick, kOverwrite},
         {L"pack.zip【p.txt】", L"~pack.zip【q.txt】", L"dest\\pack.zip\\inside.txt"}}};
    // Its own folder, the folder that holds its folder, by another case and through a link.
    for (const std::wstring& into : {root + L"\\report", root, root + L"\\REPORT", root + L"\\zlink"}) {
        steps.push_back({M, L"report\\report", L"copy", 0, {0, IDYES}, into, {kPick, failed(L"report")}, {}});
    }
    Walk(steps);
    EXPECT_TRUE(InTrash(L"mv.txt") && InTrash(L"pack.zip") && PathExists(dest + L"\\pack.zip"));
    EXPECT_FALSE(PathExists(root + L"\\mv.txt"));
    EXPECT_EQ(ReadTextFile(dest + L"\\mv.txt"), "mv");
    EXPECT_EQ(ReadTextFile(root + L"\\report\\report"), "rep");
    // A source held open cannot move: what the overwrite sent to the Recycle Bin leaves all the same.
    HANDLE holder = CreateFileW((root + L"\\report\\report").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    Walk({{M, L"report\\report", L"copy", 0, {0, IDYES}, root + L"\\sub", {kPick, kOverwrite, failed(L"report")},
           {L"sub\\report"}}});
    CloseHandle(holder);

    // The real picker opens at the root; the folder the user picks there is where the file goes.
    dialogs = SystemDialogs();
    DialogAnswerer answerer(window.window, {IDOK}, dest);
    Walk({{M, L"copy", L"", 0, {}, {}, {}, {L"copy"}}});
    const auto seen = answerer.Finish();
    EXPECT_TRUE(seen.size() == 1 && seen[0].tree && PathExists(dest + L"\\copy"));
}

// Through the program's window and its real box: only Yes acts, and a drop, F5 or another
// command that comes meanwhile is ignored.
TEST(CommandsInTheWindow, OnlyTheRealYesActsAndNothingElseRunsMeanwhile) {
    const std::wstring root = MakeTempFolder(L"window"), other = MakeTempFolder(L"other");
    for (const wchar_t* name : {L"\\w1.txt", L"\\w2.txt"}) WriteTestFile(root + name, "same");
    ProgramWindow program;
    program.Drop({root});
    program.Select(0);
    for (int answer : {IDNO, IDYES}) {
        PostMessageW(program.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
        for (int command : {ID_RESCAN, ID_DELETE_FILE2}) PostMessageW(program.Window(), WM_COMMAND, command, 0);
        DialogAnswerer answerer(program.Window(), {answer});
        program.Command(ID_DELETE_FILE1);
        const auto seen = answerer.Finish();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, L"w1.txtを削除します。\nよろしいですか？");
        EXPECT_EQ(PathExists(root + L"\\w1.txt"), answer == IDNO);
    }
    EXPECT_EQ(WindowText(program.Window()), root);
    EXPECT_TRUE(program.ListRows().empty() && PathExists(root + L"\\w2.txt"));
}

// The rows as the list shows them against a double loop over random catalogues, and after
// removals against a stored list that deletes the matching rows; no row stays selected.
TEST(ResultList, RowsAndRemovalsAreThoseOfAStoredListAndClearTheSelection) {
    std::mt19937 random(77);
    const std::wstring names[] = {L"a", L"A", L"a ", L"b", L"x.zip【a】", L"sub\\" + std::wstring(600, L'n')};
    const std::wstring containers[] = {L"D:\\a", L"D:\\A", L"D:\\x.zip", L"D:\\y.zip"};
    for (int round = 0; round < 30; ++round) {
        EntryList entries;
        for (size_t i = random() % 30; i > 0; --i) {
            const std::wstring& name = names[random() % 6];
            AppendEntry(entries, FileEntry{name, L"", containers[random() % 4], std::to_wstring(random() % 3),
                                           static_cast<int32_t>(random() % 2)});
        }
        PairRows rows = BuildPairs(entries);
        const ListWindow window(rows);
        ShowRows(window.List());
        Rows stored;
        for (const auto& [j, k] : PairRowsByDoubleLoop(entries)) {
            stored.emplace_back(entries[j].displayName, entries[k].displayName);
        }
        ASSERT_EQ(window.Shown(), stored) << round;
        for (int step = 0; step < 4 && !entries.empty(); ++step) {
            // A row selected before, with the focus on it or elsewhere.
            if (!stored.empty()) window.Select(static_cast<int>(random() % stored.size()), step % 2 ? 3u : 2u);
            const FileEntry entry = entries[random() % entries.size()];
            const bool byName = random() % 2;
            const auto goes = [&](const std::wstring& cell) {
                const size_t at = FindEntryByName(entries, cell);
                if (byName) return cell == entry.displayName;
                return at < entries.size() && entries[at].containerPath == entry.containerPath;
            };
            stored = Without(stored, goes);
            if (byName) RemoveRowsByName(window.List(), entry.displayName);
            if (!byName) RemoveRowsByContainer(window.List(), entries, entry.containerPath);
            EraseEntry(entries, FindEntryByName(entries, entry.displayName));
            ASSERT_EQ(window.Shown(), stored) << round << " " << step;
            EXPECT_EQ(std::make_pair(window.Next(LVNI_SELECTED), window.Next(LVNI_FOCUSED)), std::make_pair(-1, -1));
        }
    }
}

TEST(ResultList, MoreRowsThanTheControlHoldsShowTheFirstOnesAndSaySoOnce) {
    EntryList entries;  // one group of 10,001: 100,010,000 rows
    for (int i = 0; i <= 10000; ++i) AppendEntry(entries, FileEntry{L"f" + std::to_wstring(i), L"", L"", L"1", 0});
    entries[1].displayName += std::wstring(300, L'x');  // longer than the first buffer a cell is read into
    PairRows rows = BuildPairs(entries);
    const ListWindow window(rows);
    DialogAnswerer answerer(window.window, {IDOK});
    ShowRows(window.List());
    const auto seen = answerer.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"重複の組が100,010,000件見つかりました。\n一覧には先頭の100,000,000件だけを表示します。");
    EXPECT_EQ(seen[0].caption + L" " + seen[0].icon, L"Veltrimox warning");
    EXPECT_EQ(SendMessageW(window.view, LVM_GETITEMCOUNT, 0, 0), 100000000);
    EXPECT_EQ(ReadCellText(window.view, 99999999, 1), L"f10000");
    EXPECT_EQ(ReadCellText(window.view, 0, 1), entries[1].displayName);
}
