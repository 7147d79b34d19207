// The delete and move commands on real files, the real Recycle Bin (Wine's trash under a
// throw-away XDG_DATA_HOME) and the real 7-Zip, with their dialogs answered by the test.
#include "actions/FileCommands.h"
#include "app/MainWindow.h"
#include "app/resource.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"

#include "../archive/ArchiveTestSupport.h"
#include "DialogWatcher.h"
#include "ProgramWindow.h"
#include "TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <tuple>

namespace {

std::string SettingsWithArchiver() {
    return "[UserSetting]\r\ndir=" + Utf8(RealArchiverDir()) + "\r\n";
}

std::wstring TrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    return data ? WindowsPathOfUnixPath(data) + L"\\Trash\\files" : L"";
}

bool InTrash(const std::wstring& name) { return PathExists(TrashFolder() + L"\\" + name); }

int RowOf(const Rows& rows, const std::wstring& a, const std::wstring& b) {
    const auto at = std::find(rows.begin(), rows.end(), std::make_pair(a, b));
    return at == rows.end() ? -1 : static_cast<int>(at - rows.begin());
}

bool Names(const Rows& rows, const std::wstring& name) {
    return std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return r.first == name || r.second == name; });
}

// Every path the archive lists, folders included.
std::vector<std::wstring> MembersOf(const std::wstring& archive) {
    std::vector<std::wstring> names;
    EXPECT_TRUE(ListArchivePaths(LocateArchiver(RealArchiverDir()), archive, names));
    std::sort(names.begin(), names.end());
    return names;
}

// `rows` less every row that names one of `names`; the others keep their order.
Rows Without(Rows rows, const std::vector<std::wstring>& names) {
    const auto stale = [&](const auto& row) {
        return std::any_of(names.begin(), names.end(), [&](const std::wstring& name) { return Names({row}, name); });
    };
    rows.erase(std::remove_if(rows.begin(), rows.end(), stale), rows.end());
    return rows;
}

BOOL CALLBACK FindTree(HWND child, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (std::wstring(name) != L"SysTreeView32") return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

std::wstring SelectedTreeText(HWND tree) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (item.hItem) SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

struct PickerChoice {
    std::wstring folder;
    bool missed = false;  // the picker never showed the folder selected
};

// Picks the folder in the folder picker when the picker is the dialog being answered, once its
// tree shows the folder selected. Wine's picker now and then ignores every selection for a
// while (it stays on "Desktop"): the pick is then cancelled, so nothing moves anywhere unmeant.
int ChooseFolder(HWND dialog, void* context) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (!tree) return 0;
    auto* choice = static_cast<PickerChoice*>(context);
    const std::wstring name = choice->folder.substr(choice->folder.find_last_of(L'\\') + 1);
    for (int attempt = 0; attempt < 20; ++attempt) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(choice->folder.c_str()));
        Sleep(100);
        if (SelectedTreeText(tree) == name) return 0;
    }
    choice->missed = true;
    return IDCANCEL;
}

// A new destination folder on drive P:, which the test session maps to a folder of its own.
std::wstring MakeDestination(const wchar_t* hint) {
    static int counter = 0;
    const std::wstring folder = L"P:\\" + std::wstring(hint) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(counter++);
    MakeFolder(folder);
    return folder;
}

class CommandsTest : public testing::Test {
protected:
    // Runs a command while `answers` are given to its dialogs in turn; returns what they showed.
    std::vector<SeenDialog> Run(int command, std::vector<int> answers, DialogAnswerer::Action action = nullptr,
                                void* context = nullptr) {
        DialogAnswerer answerer(program_.Window(), std::move(answers), action, context);
        program_.Command(command);
        return answerer.Finish();
    }

    void DropAndSelect(const std::wstring& folder, const std::wstring& file1, const std::wstring& file2) {
        program_.Drop({folder});
        const int row = RowOf(program_.ListRows(), file1, file2);
        ASSERT_GE(row, 0) << Utf8(file1) << " / " << Utf8(file2);
        program_.Select(row);
    }

    // A command whose dialogs include the folder picker, choosing `folder` there; tried again
    // when Wine's picker would not show the folder (the command was then cancelled).
    std::vector<SeenDialog> RunWithPicker(int command, const std::vector<int>& answers, const std::wstring& folder) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            PickerChoice choice{folder};
            const std::vector<SeenDialog> seen = Run(command, answers, ChooseFolder, &choice);
            if (!choice.missed) return seen;
        }
        ADD_FAILURE() << "the folder picker never showed " << Utf8(folder);
        return {};
    }

    const EntryList& Entries() const { return ApplicationState().entries; }
    bool Catalogued(const std::wstring& name) const { return FindEntryByName(Entries(), name) < Entries().size(); }

    ProgramWindow program_{SettingsWithArchiver()};
};

}  // namespace

TEST_F(CommandsTest, OnlyYesActsNoAClosedBoxOrNoSelectionChangeNothing) {
    const std::wstring root = MakeTempFolder(L"consent");
    WriteTestFile(root + L"\\keep1.txt", "same");
    WriteTestFile(root + L"\\keep2.txt", "same");
    DropAndSelect(root, L"keep1.txt", L"keep2.txt");

    EXPECT_EQ(Run(ID_DELETE_FILE1, {IDNO}).size(), 1u);
    EXPECT_EQ(Run(ID_DELETE_FILE1, {IDCANCEL}).size(), 1u) << "a box closed without an answer";
    EXPECT_TRUE(PathExists(root + L"\\keep1.txt"));
    EXPECT_EQ(program_.ListRows().size(), 2u);
    EXPECT_EQ(Entries().size(), 2u);

    program_.Select(-1);  // every row unselected
    EXPECT_TRUE(Run(ID_DELETE_FILE1, {IDYES}).empty()) << "no selected row: no question";
    EXPECT_TRUE(Run(ID_MOVE_FILE2, {IDOK}).empty());
    EXPECT_TRUE(PathExists(root + L"\\keep1.txt"));
}

TEST_F(CommandsTest, AVanishedFileOrArchiveLeavesItsRowsWithoutAnErrorAndIsNotRecreated) {
    const std::wstring root = MakeTempFolder(L"vanished");
    WriteTestFile(root + L"\\gone.txt", "same");
    WriteTestFile(root + L"\\here.txt", "same");
    WriteTestFile(root + L"\\m1.txt", "m1");
    WriteTestFile(root + L"\\m2.txt", "m2");
    MakeArchive(root + L"\\held.zip", L"zip", root, L"m1.txt m2.txt");
    DropAndSelect(root, L"gone.txt", L"here.txt");
    ASSERT_TRUE(DeleteFileW((root + L"\\gone.txt").c_str()));
    ASSERT_TRUE(DeleteFileW((root + L"\\held.zip").c_str()));

    EXPECT_EQ(Run(ID_DELETE_FILE1, {IDYES, IDOK}).size(), 1u) << "the question only, no error";
    EXPECT_FALSE(Names(program_.ListRows(), L"gone.txt"));
    EXPECT_FALSE(Catalogued(L"gone.txt"));
    program_.Select(RowOf(program_.ListRows(), L"m1.txt", L"held.zip【m1.txt】"));
    EXPECT_EQ(Run(ID_DELETE_FILE2, {IDYES, IDOK}).size(), 1u) << "a vanished archive's member counts as gone";
    EXPECT_FALSE(PathExists(root + L"\\held.zip")) << "no new archive in its place";
    EXPECT_FALSE(Catalogued(L"held.zip【m1.txt】"));
}

TEST_F(CommandsTest, AFileThatCannotBeRecycledIsReportedAndStays) {
    const std::wstring root = MakeTempFolder(L"locked");
    WriteTestFile(root + L"\\held.txt", "same");
    WriteTestFile(root + L"\\other.txt", "same");
    DropAndSelect(root, L"held.txt", L"other.txt");
    HANDLE holder = CreateFileW((root + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    // The Recycle Bin cannot take it: the shell asks before deleting it for good, and No there
    // is a failed delete, never a silent permanent one.
    const auto seen = Run(ID_DELETE_FILE1, {IDYES, IDNO, IDOK});
    CloseHandle(holder);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[1].caption, L"Veltrimox") << "the shell's own question";
    EXPECT_EQ(seen[2].text, L"held.txtを削除できませんでした。");
    EXPECT_TRUE(seen[2].hasIcon);
    EXPECT_TRUE(PathExists(root + L"\\held.txt"));
    EXPECT_EQ(program_.ListRows().size(), 2u);
    EXPECT_TRUE(Catalogued(L"held.txt"));
}

// Each delete takes the rows and entries of everything it changed: the file, a rewritten
// archive's own entry, a recycled archive's members.
TEST_F(CommandsTest, ALooseFileOrLastMemberGoesToTheRecycleBinAnotherMemberThroughTheArchiver) {
    const std::wstring root = MakeTempFolder(L"members");
    WriteTestFile(root + L"\\one.txt", "one");
    WriteTestFile(root + L"\\two.txt", "two");
    MakeArchive(root + L"\\set.zip", L"zip", root, L"one.txt two.txt");
    MakeArchive(root + L"\\solo.zip", L"zip", root, L"two.txt");
    MakeFolder(root + L"\\sub");
    // Copies pair with each archive's own entry.
    for (const auto& [from, to] : {std::pair{L"set.zip", L"set-copy.zip"}, {L"solo.zip", L"sub\\solo-copy.zip"},
                                   {L"solo.zip", L"solo-copy2.zip"}}) {
        ASSERT_TRUE(CopyFileW((root + L"\\" + from).c_str(), (root + L"\\" + to).c_str(), FALSE));
    }
    program_.Drop({root});
    // Deletes the file of (file1, file2) in `column`: exactly the rows naming `gone` leave.
    const auto deleteIn = [&](const std::wstring& file1, const std::wstring& file2, int column,
                              const std::vector<std::wstring>& gone) {
        program_.Select(RowOf(program_.ListRows(), file1, file2));
        const Rows before = program_.ListRows();
        const auto seen = Run(column == 0 ? ID_DELETE_FILE1 : ID_DELETE_FILE2, {IDYES, IDOK});
        EXPECT_EQ(program_.ListRows(), Without(before, gone));
        for (const std::wstring& name : gone) EXPECT_FALSE(Catalogued(name)) << Utf8(name);
        return seen;
    };

    // A member among others: the archiver removes it, and the rewritten archive's own entry goes.
    auto seen = deleteIn(L"one.txt", L"set.zip【one.txt】", 1, {L"set.zip【one.txt】", L"set.zip"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"書庫内one.txtを削除します。\nよろしいですか？");
    EXPECT_FALSE(seen[0].hasIcon);
    EXPECT_EQ(MembersOf(root + L"\\set.zip"), (std::vector<std::wstring>{L"two.txt"}));

    // The only catalogued member: the whole archive goes, after the warning, with its own entry.
    seen = deleteIn(L"solo.zip【two.txt】", L"two.txt", 0, {L"solo.zip【two.txt】", L"solo.zip"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"solo.zip【two.txt】を削除します。\nよろしいですか？\n※書庫を削除します。");
    EXPECT_TRUE(seen[0].hasIcon);
    EXPECT_TRUE(InTrash(L"solo.zip"));
    EXPECT_FALSE(PathExists(root + L"\\solo.zip"));

    // A loose file (an archive in a subfolder): asked with its bare name, recycled with its members.
    seen = deleteIn(L"sub\\solo-copy.zip", L"solo-copy2.zip", 0, {L"sub\\solo-copy.zip", L"sub\\solo-copy.zip【two.txt】"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Veltrimox");
    EXPECT_EQ(seen[0].text, L"solo-copy.zipを削除します。\nよろしいですか？");
    EXPECT_EQ(seen[0].buttons.size(), 2u);
    EXPECT_FALSE(seen[0].hasIcon);
    EXPECT_TRUE(InTrash(L"solo-copy.zip"));
    EXPECT_FALSE(PathExists(root + L"\\sub\\solo-copy.zip"));
    EXPECT_TRUE(Catalogued(L"set-copy.zip【one.txt】"));
}

TEST_F(CommandsTest, MembersAreNamedLiterallyExactlyAndAlone) {
    const char* fixture = std::getenv("VELTRIMOX_ACTIONS_FIXTURE");
    ASSERT_TRUE(fixture && *fixture) << "run through ctest";
    const std::wstring root = MakeTempFolder(L"names");
    for (const wchar_t* archive : {L"\\names.zip", L"\\clash.zip"}) {
        ASSERT_TRUE(CopyFileW((WindowsPathOfUnixPath(fixture) + archive).c_str(), (root + archive).c_str(), FALSE));
    }
    program_.Drop({root});
    std::vector<std::wstring> remaining{L"-x.txt", L"@x.txt", L"README.TXT", L"Readme.txt", L"a",
                                        L"a\" \"b",   L"b",      L"q?.txt",     L"qa.txt"};
    ASSERT_EQ(MembersOf(root + L"\\names.zip"), remaining);
    const auto deleteFirst = [&](const std::wstring& display) {
        const Rows rows = program_.ListRows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == display; });
        EXPECT_NE(row, rows.end()) << Utf8(display);
        program_.Select(static_cast<int>(row - rows.begin()));
        return Run(ID_DELETE_FILE1, {IDYES, IDOK});
    };

    for (const std::wstring name : {L"q?.txt", L"-x.txt", L"@x.txt", L"Readme.txt"}) {
        const auto seen = deleteFirst(L"names.zip【" + name + L"】");
        EXPECT_EQ(seen.size(), 1u) << Utf8(name) << ": " << (seen.size() > 1 ? Utf8(seen[1].text) : "");
        remaining.erase(std::find(remaining.begin(), remaining.end(), name));
        EXPECT_EQ(MembersOf(root + L"\\names.zip"), remaining) << "after deleting " << Utf8(name);
    }

    // Refused, as the archiver would take other members along: a quote inside a quoted name
    // names "a" and "b"; "a" is listed twice (a file and a folder); "c" has "c\x.txt" under it.
    for (const auto& [archive, name] : {std::pair{L"names.zip", L"a\" \"b"}, {L"clash.zip", L"a"}, {L"clash.zip", L"c"}}) {
        const std::wstring display = archive + (L"【" + std::wstring(name)) + L"】";
        const auto seen = deleteFirst(display);
        ASSERT_EQ(seen.size(), 2u) << Utf8(name);
        EXPECT_EQ(seen[1].text, std::wstring(name) + L"を削除できませんでした。");
        EXPECT_TRUE(Catalogued(display) && Names(program_.ListRows(), display)) << "rows and entry stay";
    }
    EXPECT_EQ(MembersOf(root + L"\\names.zip"), remaining);
    EXPECT_EQ(MembersOf(root + L"\\clash.zip"), (std::vector<std::wstring>{L"a", L"a", L"c", L"c\\x.txt"}));
}

// A delete counts only when the archiver's fresh listing is the old one less exactly the member:
// cases the real archiver does not give, through the fake one.
TEST(MemberDelete, OnlyTheOldListingLessExactlyTheMemberConfirmsIt) {
    const std::wstring archiver = LocateArchiver(MakeFakeArchiverDir(MakeTempFolder(L"fake-delete") + L"\\7z"));
    const std::wstring archive = MakeTempFolder(L"fake-delete-data") + L"\\a.zip";
    const std::string m = "Path = m\r\nCRC = 00000001\r\n", n = "Path = n\r\nCRC = 00000002\r\n";
    // The listing before, the one after the delete (none: it fails), and whether that confirms it.
    const std::tuple<std::string, std::optional<std::string>, bool> cases[] = {
        {n + m, n, true},
        {m, std::nullopt, false},  // even where nothing listed would be "m less m"
        {m + n, "", false},        // n went along
        {m + n, m + n, false},     // the archiver ended with 0, m is still there
        {n, n, false},             // m is not listed at all
    };
    for (const auto& [before, after, deleted] : cases) {
        WriteTestFile(archive, "bytes");
        WriteTestFile(archive + L".list", before);
        if (after) WriteTestFile(archive + L".deleted", *after);
        EXPECT_EQ(DeleteArchiveMember(archiver, archive, L"m"), deleted) << before << " -> " << after.value_or("?");
        DeleteFileW((archive + L".deleted").c_str());
    }
}

TEST_F(CommandsTest, ADropAndF5DuringAQuestionAreIgnoredAndTheRightEntryGoes) {
    const std::wstring root = MakeTempFolder(L"reentry");
    WriteTestFile(root + L"\\r1.txt", "same");
    WriteTestFile(root + L"\\r2.txt", "same");
    const std::wstring other = MakeTempFolder(L"other");
    WriteTestFile(other + L"\\o1.txt", "x");
    WriteTestFile(other + L"\\o2.txt", "x");
    DropAndSelect(root, L"r2.txt", L"r1.txt");

    static std::wstring otherFolder;
    otherFolder = other;
    const auto interfere = [](HWND dialog, void*) {
        HWND main = GetWindow(dialog, GW_OWNER);
        PostMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({otherFolder})), 0);
        PostMessageW(main, WM_COMMAND, ID_RESCAN, 0);
        PostMessageW(main, WM_COMMAND, ID_DELETE_FILE2, 0);
        Sleep(300);
        return 0;
    };
    const auto seen = Run(ID_DELETE_FILE1, {IDYES, IDYES}, interfere);
    EXPECT_EQ(seen.size(), 1u) << "no second command started inside the first";
    EXPECT_EQ(WindowText(program_.Window()), root);
    EXPECT_FALSE(PathExists(root + L"\\r2.txt"));
    EXPECT_TRUE(PathExists(root + L"\\r1.txt"));
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].displayName, L"r1.txt");
}

TEST_F(CommandsTest, MovingALooseFileAsksBeforeReplacingWhatStandsThere) {
    const std::wstring root = MakeDestination(L"move");
    WriteTestFile(root + L"\\mv.txt", "same");
    WriteTestFile(root + L"\\mv-copy.txt", "same");
    WriteTestFile(root + L"\\older.txt", "older");
    WriteTestFile(root + L"\\older-copy.txt", "older");
    // What stands there is a catalogued archive (named like the file), paired through its member.
    std::wstring destination = root + L"\\dest";
    MakeFolder(destination);
    MakeArchive(destination + L"\\mv.txt", L"zip", root, L"older.txt");
    DropAndSelect(root, L"mv.txt", L"mv-copy.txt");
    const Rows before = program_.ListRows();

    // Picker, then the overwrite question answered No: nothing changes.
    auto seen = RunWithPicker(ID_MOVE_FILE1, {IDOK, IDNO}, destination);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].text.find(L"移動先"), std::wstring::npos) << "the picker first, with no question before it";
    EXPECT_EQ(seen[1].text, L"移動先に同名ファイルが存在します。\n上書きしますか？");
    EXPECT_TRUE(seen[1].hasIcon);
    EXPECT_TRUE(PathExists(root + L"\\mv.txt"));
    EXPECT_EQ(program_.ListRows(), before);

    // Yes: what stood there goes to the Recycle Bin, and with it every row and entry in it.
    seen = RunWithPicker(ID_MOVE_FILE1, {IDOK, IDYES}, destination);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(PathExists(root + L"\\mv.txt"));
    EXPECT_EQ(ReadTextFile(destination + L"\\mv.txt"), "same");
    EXPECT_TRUE(InTrash(L"mv.txt")) << "what stood there went to the Recycle Bin";
    EXPECT_EQ(program_.ListRows(), Without(before, {L"mv.txt", L"dest\\mv.txt【older.txt】"}));
    for (const wchar_t* gone : {L"mv.txt", L"dest\\mv.txt", L"dest\\mv.txt【older.txt】"}) EXPECT_FALSE(Catalogued(gone));
    EXPECT_TRUE(Catalogued(L"mv-copy.txt"));
}

TEST_F(CommandsTest, MovingAMemberMovesItsArchiveAndReplacesAFolderOfThatName) {
    const std::wstring root = MakeDestination(L"move-archive");
    WriteTestFile(root + L"\\p.txt", "p");
    WriteTestFile(root + L"\\q.txt", "q");
    WriteTestFile(root + L"\\r.txt", "q");
    MakeArchive(root + L"\\pack.zip", L"zip", root, L"p.txt q.txt");
    std::wstring destination = root + L"\\dest";
    WriteTestFile(destination + L"\\pack.zip\\inside.txt", "p");
    DropAndSelect(root, L"p.txt", L"pack.zip【p.txt】");
    const Rows before = program_.ListRows();

    const auto seen = RunWithPicker(ID_MOVE_FILE2, {IDYES, IDOK, IDYES}, destination);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].text, L"pack.zip【p.txt】を移動します。\nよろしいですか？\n※書庫を移動します。");
    EXPECT_TRUE(seen[0].hasIcon);
    EXPECT_TRUE(InTrash(L"pack.zip")) << "the folder went to the Recycle Bin";
    EXPECT_EQ(MembersOf(destination + L"\\pack.zip"), (std::vector<std::wstring>{L"p.txt", L"q.txt"}));
    // Every row of the moved archive goes, and every row of what was in the folder.
    EXPECT_EQ(program_.ListRows(),
              Without(before, {L"pack.zip", L"pack.zip【p.txt】", L"pack.zip【q.txt】", L"dest\\pack.zip\\inside.txt"}));
    for (const wchar_t* gone : {L"pack.zip【p.txt】", L"dest\\pack.zip\\inside.txt"}) EXPECT_FALSE(Catalogued(gone));
    EXPECT_TRUE(Catalogued(L"pack.zip【q.txt】")) << "of the moved archive, only the acted-on entry leaves the catalogue";
}

TEST_F(CommandsTest, AMoveNeverClearsItsOwnSourceAndAFailedMoveKeepsEverything) {
    const std::wstring root = MakeDestination(L"self");
    WriteTestFile(root + L"\\report\\report", "same");
    WriteTestFile(root + L"\\copy", "same");
    DropAndSelect(root, L"report\\report", L"copy");

    // The folder that already holds it, and the parent where a folder of its name holds it.
    std::wstring same = root + L"\\report";
    auto seen = RunWithPicker(ID_MOVE_FILE1, {IDOK, IDYES, IDOK}, same);
    ASSERT_EQ(seen.size(), 2u) << "the picker, then the error: no overwrite question";
    EXPECT_EQ(seen[1].text, L"reportを移動できませんでした。");
    std::wstring parent = root;
    seen = RunWithPicker(ID_MOVE_FILE1, {IDOK, IDYES, IDOK}, parent);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, L"reportを移動できませんでした。");
    EXPECT_EQ(ReadTextFile(root + L"\\report\\report"), "same");
    EXPECT_FALSE(InTrash(L"report"));
    EXPECT_EQ(program_.ListRows().size(), 2u);

    // A source held open cannot move: reported, its rows and entry stay; what the overwrite sent
    // to the Recycle Bin before that leaves all the same.
    std::wstring destination = root + L"\\sub";
    WriteTestFile(destination + L"\\report", "same");
    DropAndSelect(root, L"report\\report", L"copy");
    const Rows before = program_.ListRows();
    HANDLE holder = CreateFileW((root + L"\\report\\report").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    seen = RunWithPicker(ID_MOVE_FILE1, {IDOK, IDYES, IDOK}, destination);
    CloseHandle(holder);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].text, L"reportを移動できませんでした。");
    EXPECT_TRUE(PathExists(root + L"\\report\\report"));
    EXPECT_EQ(program_.ListRows(), Without(before, {L"sub\\report"}));
    EXPECT_TRUE(Catalogued(L"report\\report") && !Catalogued(L"sub\\report"));
}

// What the picker's callback sends, seen by a picker window and tree that record it (Wine's
// picker does not always show a deep preselection).
namespace {
std::vector<std::pair<UINT, LPARAM>> g_received;
WNDPROC g_treeProc = nullptr;
void (*g_onSelect)() = nullptr;  // a picker that reports the selection's change at once
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BFFM_SETSELECTIONW) {
        g_received.emplace_back(message, lParam);
        if (g_onSelect) g_onSelect();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
LRESULT CALLBACK RecordingTreeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TVM_GETNEXTITEM || message == TVM_ENSUREVISIBLE) g_received.emplace_back(message, lParam);
    return CallWindowProcW(g_treeProc, hwnd, message, wParam, lParam);
}
}  // namespace

TEST(FolderPicker, OpensWithTheRootSelectedAndReselectsItOnce) {
    WNDCLASSW recordingClass{};
    recordingClass.lpfnWndProc = RecordingProc;
    recordingClass.hInstance = GetModuleHandleW(nullptr);
    recordingClass.lpszClassName = L"RecordingPicker";
    RegisterClassW(&recordingClass);
    HWND picker = CreateWindowExW(0, L"RecordingPicker", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 300, 300, picker, nullptr, nullptr, nullptr);
    HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD, 0, 0, 300, 300, host, nullptr, nullptr, nullptr);
    ASSERT_NE(tree, nullptr);
    g_treeProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingTreeProc)));
    const std::wstring root = L"Z:\\deep\\root\\folder";
    const LPARAM data = reinterpret_cast<LPARAM>(root.c_str());
    const auto bffm = [&](size_t at) { return g_received.at(at) == std::make_pair(static_cast<UINT>(BFFM_SETSELECTIONW), data); };

    EXPECT_EQ(FolderPickerCallback(picker, BFFM_INITIALIZED, 0, data), 0);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_TRUE(bffm(0));
    FolderPickerCallback(picker, BFFM_SELCHANGED, 0, data);
    ASSERT_EQ(g_received.size(), 4u);
    EXPECT_TRUE(bffm(1));
    EXPECT_EQ(g_received[2].first, static_cast<UINT>(TVM_GETNEXTITEM)) << "sent to the tree itself";
    EXPECT_EQ(g_received[3].first, static_cast<UINT>(TVM_ENSUREVISIBLE));
    FolderPickerCallback(picker, BFFM_SELCHANGED, 0, data);
    EXPECT_EQ(g_received.size(), 4u) << "the user's own selections are left alone";

    // A picker that reports the first selection's change while it is being made: that change
    // is the one followed up, never the user's first click, and nothing loops.
    g_received.clear();
    static HWND s_picker = picker;
    static LPARAM s_data = data;
    g_onSelect = [] { FolderPickerCallback(s_picker, BFFM_SELCHANGED, 0, s_data); };
    FolderPickerCallback(picker, BFFM_INITIALIZED, 0, data);
    g_onSelect = nullptr;
    const size_t afterOpening = g_received.size();
    EXPECT_EQ(afterOpening, 4u);
    FolderPickerCallback(picker, BFFM_SELCHANGED, 0, data);
    EXPECT_EQ(g_received.size(), afterOpening) << "the user's first click stays";
    DestroyWindow(picker);
}
