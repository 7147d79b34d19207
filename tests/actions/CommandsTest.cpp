// The delete and move commands and the result list, on real files, the real Recycle Bin (Wine's
// trash under a throw-away XDG_DATA_HOME) and the real 7-Zip, through the program's window. The
// questions are answered in process through the window's dialogs; the shell's own box and the
// real folder picker are answered on screen.
#include "actions/ContentProof.h"
#include "app/MainWindow.h"
#include "app/resource.h"
#include "archive/ArchiveExpansion.h"

#include "TestSupport.h"
#include "WindowSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Box = std::pair<std::wstring, UINT>;  // a box's text and style; the picker as "pick"
const Box kPick{L"pick", 0}, kOverwrite{L"移動先に同名ファイルが存在します。\n上書きしますか？", MB_ICONWARNING | MB_YESNO};
enum { D1 = ID_DELETE_FILE1, D2 = ID_DELETE_FILE2, M1 = ID_MOVE_FILE1, M2 = ID_MOVE_FILE2 };

bool InTrash(const std::wstring& name) { return PathExists(FromEnvironment("XDG_DATA_HOME") + L"\\Trash\\files\\" + name); }

struct Step {
    int command;
    std::wstring file1, file2;         // the row to select: empty file2 the first of file1, empty file1 none
    std::vector<int> answers;          // in turn for each box and the picker; 0 (a failed box) after them
    std::optional<std::wstring> pick;  // the picker's answer: nullopt cancelled, "" a pick without a path
    std::vector<Box> asked;
    std::vector<std::wstring> gone;  // whose rows and entries leave ("~name": only its rows)
    bool meanwhile = false;          // while the first box is open, a drop and another command come
    Rows kept = {};                  // rows that stay though they name one of `gone` (another entry of that label)
};

class Commands : public testing::Test {
protected:
    void Scan(const std::wstring& name) {
        root = FromEnvironment("VELTRIMOX_ACTIONS_FIXTURE") + L"\\" + name;
        program.Drop({root});
        UseDialogs(dialogs);
    }
    void Walk(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            const Rows before = ReadListRows(program.list);
            const auto at = std::find_if(before.begin(), before.end(), [&](const auto& r) {
                return r.first == step.file1 && (step.file2.empty() || r.second == step.file2);
            });
            ASSERT_EQ(at == before.end(), step.file1.empty()) << Utf8(step.file1 + L" / " + step.file2);
            const int row = at == before.end() ? -1 : static_cast<int>(at - before.begin());  // -1: every row, unselected
            ListView_SetItemState(program.list, row, row < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            asked.clear();
            current = &step;
            SendMessageW(program.window, WM_COMMAND, static_cast<WPARAM>(step.command), 0);
            EXPECT_EQ(asked, step.asked) << Utf8(step.file1);
            std::vector<std::wstring> gone;
            for (const auto& name : step.gone) gone.push_back(name[0] == L'~' ? name.substr(1) : name);
            Rows after = before;  // less every row that names one of them; the rest keep their order
            after.erase(std::remove_if(after.begin(), after.end(), [&](const auto& r) {
                return std::count(gone.begin(), gone.end(), r.first) + std::count(gone.begin(), gone.end(), r.second) > 0 &&
                       std::count(step.kept.begin(), step.kept.end(), r) == 0;
            }), after.end());
            EXPECT_EQ(ReadListRows(program.list), after) << Utf8(step.file1);
            EXPECT_TRUE(gone.empty() || SelectedRow(program.list) == -1) << "rows that moved up are not selected";
            const PairRows& rows = ApplicationState().rows;
            for (size_t i = 0; i < gone.size(); ++i) {  // "~name": an entry of that label is still there
                bool live = false;
                for (size_t e = 0; e < rows.entries.size(); ++e) live = live || (rows.live[e] && rows.entries[e].displayName == gone[i]);
                EXPECT_EQ(live, step.gone[i][0] == L'~') << Utf8(gone[i]);
            }
        }
    }
    // Each box and the picker answered in turn, all owned by the window.
    int Answer(HWND owner, const std::wstring& text, UINT style) {
        EXPECT_EQ(owner, program.window);
        asked.emplace_back(text, style);
        if (current->meanwhile && asked.size() == 1) {  // handled inside the box's own loop
            PostMessageW(program.window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({root})), 0);
            PostMessageW(program.window, WM_COMMAND, ID_DELETE_FILE2, 0);
            program.Run(300, false);
        }
        return asked.size() <= current->answers.size() ? current->answers[asked.size() - 1] : 0;
    }
    std::wstring archiver = FromEnvironment("VELTRIMOX_7ZIP_DIR"), root;
    ProgramWindow program{"[UserSetting]\r\ndir=" + Utf8(archiver) + "\r\n"};
    std::vector<Box> asked;
    const Step* current = nullptr;
    CommandDialogs dialogs{[this](HWND owner, const std::wstring& text, UINT style) { return Answer(owner, text, style); },
                           [this](HWND owner, const std::wstring& at) {
                               return Answer(owner, at == root ? L"pick" : at, 0), current->pick;  // opened at the root
                           }};
};

}  // namespace

TEST_F(Commands, DeleteTakesTheFileOrMemberAndEveryRowItChangedAndOnlyOnYes) {
    const auto loose = [](const std::wstring& name) { return Box(name + L"を削除します。\nよろしいですか？", MB_YESNO); };
    const auto member = [](const std::wstring& name) { return Box(L"書庫内" + name + L"を削除します。\nよろしいですか？", MB_YESNO); };
    const auto failed = [](const std::wstring& name) { return Box(name + L"を削除できませんでした。", MB_ICONERROR); };
    const auto whole = [](const std::wstring& name) { return Box(name + L"を削除します。\nよろしいですか？\n※書庫を削除します。", MB_ICONWARNING | MB_YESNO); };
    const auto alone = [](const std::wstring& name) { return Box(name + L"と同じ内容のファイルが見つからないため、削除しませんでした。", MB_ICONERROR); };
    const std::wstring deep = L"long\\" + std::wstring(140, L'n') + L"\\" + std::wstring(140, L'n');  // a cell of 300
    Scan(L"delete");
    // Outside the program after the scan: removed, edited, rewritten with another content.
    ASSERT_TRUE(DeleteFileW((root + L"\\gone.txt").c_str()) && DeleteFileW((root + L"\\held.zip").c_str()));
    WIN32_FILE_ATTRIBUTE_DATA e2{};  // rewritten with the same size and last-write time
    GetFileAttributesExW((root + L"\\e2.txt").c_str(), GetFileExInfoStandard, &e2);
    WriteTestFile(root + L"\\e2.txt", "EE");
    const FILETIME touched{0x12345678, 0x01D00000};  // s2.txt only touched: the same bytes, another time
    for (const auto& [name, time] : std::vector<std::pair<std::wstring, const FILETIME*>>{{L"e2.txt", &e2.ftLastWriteTime}, {L"s2.txt", &touched}}) {
        const HANDLE edited = CreateFileW((root + L"\\" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(edited, nullptr, nullptr, time);
        CloseHandle(edited);
    }
    // Made one file since (with the same size and time): no other copy is left.
    ASSERT_TRUE(DeleteFileW((root + L"\\h2.txt").c_str()) && CreateHardLinkW((root + L"\\h2.txt").c_str(), (root + L"\\h1.txt").c_str(), nullptr));
    // No row for CRCs forged alike, nor for one file under other names.
    for (const auto& [a, b] : Rows{{L"forge1.bin", L"forge3.bin"}, {L"k2.txt", L"k2-link.txt"}, {L"k2.txt", L"k2-soft.txt"},
                                   {L"k2-soft.txt", L"k2-link.txt"}}) {
        const Rows rows = ReadListRows(program.list);
        EXPECT_EQ(std::count(rows.begin(), rows.end(), std::make_pair(a, b)) + std::count(rows.begin(), rows.end(), std::make_pair(b, a)), 0) << Utf8(a);
    }
    ASSERT_TRUE(CopyFileW((root + L"\\..\\rewritten\\mem.zip").c_str(), (root + L"\\mem.zip").c_str(), FALSE));
    std::vector<Step> steps{{D1, L"", L"", {IDYES}, {}, {}, {}}};
    for (int answer : {IDNO, IDOK, IDCANCEL, 0}) steps.push_back({D1, L"k1.txt", L"k2.txt", {answer}, {}, {loose(L"k1.txt")}, {}});
    steps.push_back({D1, L"k1.txt", L"k2.txt", {IDNO}, {}, {loose(L"k1.txt")}, {}, true});
    steps.insert(steps.end(), {
        {D1, L"k1.txt", L"k2.txt", {IDYES}, {}, {loose(L"k1.txt")}, {L"k1.txt"}},
        {D2, L"one.txt", L"set.zip【one.txt】", {IDYES}, {}, {member(L"one.txt")}, {L"set.zip【one.txt】", L"set.zip"}},
        {D1, L"solo.zip【two.txt】", L"two.txt", {IDYES}, {}, {whole(L"solo.zip【two.txt】")}, {L"solo.zip【two.txt】", L"solo.zip"}},
        {D2, L"r.txt", L"mem.zip【r.txt】", {IDYES}, {}, {member(L"r.txt"), alone(L"mem.zip【r.txt】")}, {}},
        // A loose file labelled like a member: each row acts on its own entry, and only its rows go.
        {D1, L"label.zip【u.txt】", L"l-copy.txt", {IDYES}, {}, {loose(L"label.zip【u.txt】")}, {L"~label.zip【u.txt】"}, false,
         {{L"label.zip【u.txt】", L"u-copy.txt"}, {L"u-copy.txt", L"label.zip【u.txt】"}}},
        {D1, L"label.zip【u.txt】", L"u-copy.txt", {IDYES}, {}, {whole(L"label.zip【u.txt】")}, {L"label.zip【u.txt】", L"label.zip"}},
        // An archive that holds more than its one member (a photo, data after it) never goes whole,
        // and a member forged to another file's CRC and size is no copy of it.
        {D1, L"photo.jpg【pic.txt】", L"pic.txt", {IDYES}, {}, {whole(L"photo.jpg【pic.txt】"), failed(L"photo.jpg")}, {}},
        {D1, L"tail.zip【tl.txt】", L"tl.txt", {IDYES}, {}, {whole(L"tail.zip【tl.txt】"), failed(L"tail.zip")}, {}},
        {D1, L"forge.zip【forge2.bin】", L"forge1.bin", {IDYES}, {}, {whole(L"forge.zip【forge2.bin】"), alone(L"forge.zip【forge2.bin】")}, {}}});
    // Rows whose file to delete, or whose other file, is no longer as it was: nothing goes.
    for (const auto& [command, file1, file2] : std::vector<std::tuple<int, std::wstring, std::wstring>>{{D1, L"gone.txt", L"here.txt"},
             {D2, L"gone.txt", L"here.txt"}, {D1, L"e1.txt", L"e2.txt"}, {D1, L"h1.txt", L"h2.txt"}, {D1, L"s1.txt", L"s2.txt"}, {D2, L"s1.txt", L"s2.txt"}, {D1, L"r.txt", L"mem.zip【r.txt】"}, {D1, L"m1.txt", L"held.zip【m1.txt】"}}) {
        const std::wstring& name = command == D1 ? file1 : file2;
        steps.push_back({command, file1, file2, {IDYES}, {}, {loose(name), alone(name)}, {}});
    }
    const std::wstring distant = std::wstring(150, L'l') + L"\\" + std::wstring(150, L'l') + L"\\";  // over MAX_PATH with the root
    steps.push_back({D1, distant + L"far1.txt", L"", {IDYES}, {}, {loose(L"far1.txt"), failed(L"far1.txt")}, {}});
    for (const std::wstring& name : std::vector<std::wstring>{L"q?.txt", L"-x.txt", L"@x.txt", L"Readme.txt", deep}) {
        const std::wstring display = L"names.zip【" + name + L"】";
        steps.push_back({D1, display, L"", {IDYES}, {}, {member(name)}, {display, L"names.zip"}});
    }
    // Names the archiver would not take as one member alone are not even extracted for the proof.
    for (const std::wstring name : {L"names.zip【a\" \"b】", L"clash.zip【a】", L"clash.zip【c】"}) {
        const std::wstring inner = name.substr(name.find(L'【') + 1, name.size() - name.find(L'【') - 2);
        steps.push_back({D1, name, L"", {IDYES}, {}, {member(inner), alone(name)}, {}});
    }
    Walk(steps);
    // What the archives hold now: only the members deleted are gone, and nothing beside them.
    for (const auto& [archive, left] : std::vector<std::pair<std::wstring, std::vector<std::wstring>>>{
             {L"names.zip", {L"README.TXT", L"a", L"a\" \"b", L"b", L"long", deep.substr(0, deep.rfind(L'\\')), L"qa.txt"}},
             {L"clash.zip", {L"a", L"a", L"c", L"c\\x.txt"}}}) {
        std::vector<ListedMember> items;
        EXPECT_TRUE(ListArchiveItems(archiver + L"\\7z.exe", root + L"\\" + archive, items));
        std::vector<std::wstring> paths;
        for (const ListedMember& item : items) paths.push_back(item.innerPath);
        std::sort(paths.begin(), paths.end());
        EXPECT_EQ(paths, left) << Utf8(archive);
    }
    // The Recycle Bin cannot take a file held open: the shell asks on screen before deleting it
    // for good, and No there is a failed delete.
    HANDLE holder = CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(AnswerDialogs(program.window, {IDNO}, [&] {
                  Walk({{D1, L"locked.txt", L"", {IDYES}, {}, {loose(L"locked.txt"), failed(L"locked.txt")}, {}}});
              }).size(), 1u);
    CloseHandle(holder);
    EXPECT_TRUE(InTrash(L"k1.txt") && InTrash(L"solo.zip") && InTrash(L"label.zip【u.txt】") && InTrash(L"label.zip") &&
                PathExists(root + L"\\photo.jpg") && PathExists(root + L"\\tail.zip") && !PathExists(root + L"\\held.zip"));
}

// Names the archiver would read as other members, and a member whose CRC is not the one listed,
// are refused before it runs: the archive stays byte for byte. Then what the archiver's fresh
// listing must show after a member delete: the old one less exactly the member, in cases the
// real archiver does not give, through the fake one.
TEST(MemberDelete, OnlyALiteralNameWithItsCrcIsDeletedAndOnlyTheOldListingLessItConfirmsIt) {
    const std::wstring archiver = FromEnvironment("VELTRIMOX_7ZIP_DIR") + L"\\7z.exe";
    const std::wstring archive = FromEnvironment("VELTRIMOX_ACTIONS_FIXTURE") + L"\\evil.zip";
    const std::string bytes = ReadTextFile(archive);
    std::vector<ListedMember> items;
    ASSERT_TRUE(ListArchiveItems(archiver, archive, items));
    for (const std::wstring name : {L"x\\..\\docs", L"docs\\.", L"x\\..", L"\\b.txt", L"a\\..\\b.txt", L"x\\.\\b.txt", L".\\c.txt",
                                     L"c:\\2.txt", L"docs\\\\b.txt", L"keep.txt"}) {
        const auto item = std::find_if(items.begin(), items.end(), [&](const ListedMember& i) { return i.innerPath == name; });
        ASSERT_NE(item, items.end()) << Utf8(name);
        const std::wstring crc = name == L"keep.txt" ? L"00000000" : item->crcText;  // a member since changed
        EXPECT_FALSE(DeleteArchiveMember(archiver, FileEntry{L"", name, archive, crc, 1})) << Utf8(name);
        ASSERT_EQ(ReadTextFile(archive), bytes) << Utf8(name);
    }
    const std::wstring fake = MakeFakeArchiverDir(MakeTempFolder(L"fake")), zip = fake + L"\\a.zip";
    const std::string m = "Path = m\r\nCRC = 00000001\r\n", n = "Path = n\r\nCRC = 00000002\r\n";
    // The listing before; the one after ("-": the listing fails); whether that confirms it.
    for (const auto& [before, after, deleted] : std::vector<std::tuple<std::string, std::string, bool>>{
             {n + m, n, true}, {m + n, m + n, false}, {m + n, "-", false}, {m, "-", false}, {m + n, "", false},
             {n, n, false}}) {
        WriteTestFile(zip, "bytes");
        WriteTestFile(zip + L".list", before);
        if (after != "-") WriteTestFile(zip + L".deleted", after);
        EXPECT_EQ(DeleteArchiveMember(fake + L"\\7z.exe", FileEntry{L"", L"m", zip, L"00000001", 1}), deleted) << before << " -> " << after;
        DeleteFileW((zip + L".deleted").c_str());
        // The archive less the member is written under a name of its own, gone again either way.
        WIN32_FIND_DATAW found;
        EXPECT_EQ(FindFirstFileW((zip + L".*.vlx").c_str(), &found), INVALID_HANDLE_VALUE) << before << " -> " << after;
    }
    // Names the archiver would read as others, or that name more than one item, never reach a
    // delete: nothing runs, or only the listing (the safe rewrite would catch them later).
    for (const auto& [name, listing, runs] : std::vector<std::tuple<std::wstring, std::string, size_t>>{
             {L"a\"b", "", 0}, {L"c:\\2.txt", "", 0}, {L"docs\\.", "", 0}, {L"a", "Path = a\r\nCRC = 00000001\r\nPath = a\r\n", 1},
             {L"a", "Path = a\r\nCRC = 00000001\r\nPath = a\\x.txt\r\nCRC = 00000002\r\n", 1}}) {
        WriteTestFile(zip + L".list", listing);
        const size_t before = ReadTextFile(fake + L"\\calls.log").size();
        EXPECT_FALSE(DeleteArchiveMember(fake + L"\\7z.exe", FileEntry{L"", name, zip, L"00000001", 1})) << Utf8(name);
        EXPECT_EQ((ReadTextFile(fake + L"\\calls.log").size() - before) / 4, runs) << Utf8(name);
    }
    // Bytes extracted alike are no proof when the extraction ended in an error.
    WriteTestFile(zip + L".extract", "same");
    WriteTestFile(fake + L"\\same.txt", "same");
    for (const char* code : {"0", "2"}) {
        WriteTestFile(zip + L".code", code);
        EXPECT_EQ(HaveSameBytes(fake + L"\\7z.exe", FileEntry{L"", L"m", zip, L"", 1}, FileEntry{L"", L"", fake + L"\\same.txt", L"", 0}),
                  code[0] == '0') << code;
    }
    // An archive gone meanwhile: the member is gone (and the archiver would make a new archive).
    EXPECT_TRUE(DeleteArchiveMember(fake + L"\\7z.exe", FileEntry{L"", L"m", fake + L"\\gone.zip", L"00000001", 1}));
}

TEST_F(Commands, MoveTakesTheFileOrArchiveReplacesWhatStandsThereAndNeverItsSource) {
    const auto failed = [](const std::wstring& name) { return Box(name + L"を移動できませんでした。", MB_ICONERROR); };
    const Box archive{L"pack.zip【p.txt】を移動します。\nよろしいですか？\n※書庫を移動します。", MB_ICONWARNING | MB_YESNO};
    Scan(L"move");
    const std::wstring dest = root + L"\\dest";
    std::vector<Step> steps{
        {M1, L"mv.txt", L"mv-copy.txt", {0}, std::nullopt, {kPick}, {}},
        {M1, std::wstring(150, L'l') + L"\\" + std::wstring(150, L'l') + L"\\far.txt", L"", {0}, dest, {kPick}, {std::wstring(150, L'l') + L"\\" + std::wstring(150, L'l') + L"\\far.txt"}},
        {M1, L"mv.txt", L"mv-copy.txt", {0}, L"", {kPick, failed(L"mv.txt")}, {}},
        {M1, L"mv.txt", L"mv-copy.txt", {0, IDNO}, dest, {kPick, kOverwrite}, {}},
        {M1, L"mv.txt", L"mv-copy.txt", {0, IDYES}, dest, {kPick, kOverwrite}, {L"mv.txt", L"dest\\mv.txt【older.txt】"}},
        {M2, L"p.txt", L"pack.zip【p.txt】", {IDNO}, dest, {archive}, {}},
        {M2, L"p.txt", L"pack.zip【p.txt】", {IDYES, 0, IDYES}, dest, {archive, kPick, kOverwrite},
         {L"pack.zip【p.txt】", L"pack.zip【q.txt】", L"dest\\pack.zip\\inside.txt"}}};
    // Its own folder, the folder that holds its folder, by another case and through a link.
    for (const std::wstring& into : {root + L"\\report", root, root + L"\\REPORT", root + L"\\zlink"}) {
        steps.push_back({M1, L"report\\report", L"copy", {0, IDYES}, into, {kPick, failed(L"report")}, {}});
    }
    Walk(steps);
    EXPECT_TRUE(InTrash(L"mv.txt") && InTrash(L"pack.zip") && PathExists(dest + L"\\pack.zip") && !PathExists(root + L"\\mv.txt"));
    EXPECT_EQ(ReadTextFile(dest + L"\\mv.txt") + ReadTextFile(root + L"\\report\\report") + ReadTextFile(dest + L"\\far.txt"), "mvrepfar");

    // The real picker opens at the root; the folder the user picks there is where the file goes.
    UseDialogs(SystemDialogs());
    EXPECT_EQ(AnswerDialogs(program.window, {IDOK}, [&] { Walk({{M1, L"copy", L"", {}, {}, {}, {L"copy"}}}); }, dest).size(), 1u);
    EXPECT_TRUE(PathExists(dest + L"\\copy"));
}

TEST(ResultList, MoreRowsThanTheControlHoldsShowTheFirstOnesAndSaySoOnce) {
    EntryList entries;  // one group of 10,001: 100,010,000 rows
    for (int i = 0; i <= 10000; ++i) AppendEntry(entries, FileEntry{L"f" + std::to_wstring(i), L"", L"", L"1", 0});
    PairRows rows = BuildPairs(entries);
    const HWND parent = CreateWindowW(L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    const auto seen = AnswerDialogs(parent, {IDOK}, [&] { ShowRows(ResultList{CreateResultList(parent, 1), rows}); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Describe(seen[0]), L"Veltrimox|warning|重複の組が100,010,000件見つかりました。\n一覧には先頭の100,000,000件だけを表示します。");
    EXPECT_EQ(SendMessageW(GetDlgItem(parent, 1), LVM_GETITEMCOUNT, 0, 0), 100000000);
    DestroyWindow(parent);
}
