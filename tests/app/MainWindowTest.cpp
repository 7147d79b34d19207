// The main window driven through its real messages and message loop, as a user drives it, and
// the settings file it starts from.
#include "app/MainWindow.h"
#include "app/ScanControl.h"
#include "app/ScanRun.h"
#include "app/Settings.h"
#include "app/resource.h"
#include "common/ScopedWin.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "TestSupport.h"
#include "WindowSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

const Rows kAB{{L"a.txt", L"b.txt"}, {L"b.txt", L"a.txt"}};
const Rows kABC{{L"a.txt", L"b.txt"}, {L"a.txt", L"c.txt"}, {L"b.txt", L"a.txt"},
                {L"b.txt", L"c.txt"}, {L"c.txt", L"a.txt"}, {L"c.txt", L"b.txt"}};

// a.txt and b.txt the same; c.txt holds `c`.
static std::wstring FolderOf(const wchar_t* hint, const std::string& c = "other") {
    const std::wstring folder = MakeTempFolder(hint);
    for (const auto& [name, content] : {std::pair<const wchar_t*, std::string>{L"a", "same"}, {L"b", "same"}, {L"c", c}})
        WriteTestFile(folder + L"\\" + name + L".txt", content);
    return folder;
}

// One window through a run of drops and F5 presses; the no-duplicates box is read and answered.
TEST(MainWindow, DropsAndF5) {
    ProgramWindow program;
    const std::wstring first = FolderOf(L"first"), second = FolderOf(L"second"), empty = MakeTempFolder(L"empty");
    const std::wstring kNone = L"Veltrimox||重複はありませんでした。", kCloud = L"Veltrimox|info|2 個のファイルはクラウドにだけあるため、調べませんでした。";
    const std::wstring kCloudNo7z = kCloud + L"\n7-Zip が見つからないため、書庫の中は調べませんでした。";  // said once a run
    UseScanSteps([&](const ScanRequest& request, const StepControl& control, ScanOutcome& outcome) {
        RunScanSteps(request, control, outcome);
        outcome.leftOut.cloudFiles = request.rootFolder == empty ? 2 : 0;  // as if two files there had their data in the cloud
    });
    // A folder whose path is longer than MAX_PATH.
    const std::wstring longRoot = MakeTempFolder(L"long") + L"\\" + std::wstring(250, L'x') + L"\\" + std::wstring(50, L'y');
    WriteTestFile(L"\\\\?\\" + longRoot + L"\\a.txt", "same");
    const struct {
        std::vector<std::wstring> drop;  // none: F5, on the focused list
        std::wstring title;
        Rows rows;
        std::vector<std::wstring> boxes;  // caption|icon|text, each with an OK button alone
    } steps[] = {
        {{first + L"\\a.txt", first}, L"Veltrimox", {}, {}},  // a file first: nothing
        {{first}, first, {}, {L"Veltrimox|error|スキャンを開始できませんでした。"}},  // no thread for the scan
        {{empty}, empty, {}, {kCloudNo7z, kNone}},
        {{}, empty, {}, {kCloud, kNone}},
        {{longRoot}, longRoot, {}, {kNone}},
        {{first, second}, first, kAB, {}},  // only the first item counts
        {{}, first, kABC, {}},              // after c.txt became a copy
        {{second}, second, kAB, {}},        // its end message lost (a full queue): the end is seen all the same
    };
    const ThreadStarter systemThreads = ApplicationState().startThread;
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        UseThreadStarter(i == 1 ? ThreadStarter([](LPTHREAD_START_ROUTINE, void*) { return HANDLE{}; }) : systemThreads);
        if (i == 6) WriteTestFile(first + L"\\c.txt", "same");
        const auto seen = AnswerDialogs(program.window, {IDOK, IDOK}, [&] {
            if (i == 7) {
                SendMessageW(program.window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(steps[i].drop)), 0);
                Sleep(1000);
                MSG lost;
                EXPECT_TRUE(PeekMessageW(&lost, program.window, WM_SCAN_DONE, WM_SCAN_DONE, PM_REMOVE));
                program.Run(3000);
            } else if (steps[i].drop.empty()) {
                SetFocus(program.list);
                PostMessageW(program.list, WM_KEYDOWN, VK_F5, 0x003F0001);
                program.Run(20000);
            } else {
                EXPECT_EQ(GlobalSize(program.Drop(steps[i].drop)), 0u) << "the drop handle is freed";
            }
        });
        EXPECT_EQ(WindowText(program.window), steps[i].title);
        EXPECT_EQ(ReadListRows(program.list), steps[i].rows);
        std::vector<std::wstring> boxes;
        for (const SeenDialog& box : seen) boxes.push_back(Describe(box) + (box.ids == std::vector<int>{IDOK} ? L"" : L"|buttons?"));
        EXPECT_EQ(boxes, steps[i].boxes);
    }
    // A placement stored off every screen (a monitor since unplugged) opens on the nearest one;
    // the settings file the program makes is UTF-16.
    SetWindowPos(program.window, nullptr, 30000, -30000, 300, 200, SWP_NOZORDER);
    SendMessageW(program.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(ReadTextFile(SettingsFilePath()).substr(0, 2), "\xFF\xFE");
    ProgramWindow again(ReadTextFile(SettingsFilePath()));
    EXPECT_NE(MonitorFromWindow(again.window, MONITOR_DEFAULTTONULL), nullptr) << "the window is on no screen";
}

// The archiver takes its time while another thread asks the window, as the system does, whether
// it still answers. Each row drops `first` and then, with an archiver run under way, does one thing.
// The window's placement is restored as it was stored (no drift from one start to the next) and,
// at the close, stored again with a work area that does not start at the screen's corner.
TEST(MainWindow, ALongScanKeepsTheWindowAnsweringShowsProgressAndStops) {
    RECT saved{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    RECT shifted{saved.left + 50, saved.top + 40, saved.right, saved.bottom};
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &shifted, 0));
    const std::wstring archiver = MakeFakeArchiverDir(MakeTempFolder(L"slow7z"));
    // UTF-16 (as shipped), with a folder name outside the ANSI code page to pass over.
    const std::wstring settings = L"\xFEFF[UserSetting]\r\nignore=日本語\r\ndir=" + archiver +
                                  L"\r\n[SystemSetting]\r\nx= -8\r\ny=+30\r\nwidth= 500\r\nheight= 300\r\n[Other]\r\nkey=7\r\n";
    ProgramWindow program(std::string(reinterpret_cast<const char*>(settings.data()), settings.size() * sizeof(wchar_t)));
    const HWND window = program.window;
    // A stopped scan that takes long to stop, as a read from a slow share would.
    UseScanSteps([](const ScanRequest& request, const StepControl& control, ScanOutcome& outcome) {
        RunScanSteps(request, control, outcome);
        if (control.Cancelled()) Sleep(3000);
    });
    WINDOWPLACEMENT opened{sizeof(opened)};  // as stored, so nothing drifts from one start to the next
    GetWindowPlacement(window, &opened);
    const RECT& r = opened.rcNormalPosition;
    EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right - r.left, r.bottom - r.top}), std::vector<LONG>({-8, 30, 500, 300}));
    const std::wstring first = FolderOf(L"slow"), second = FolderOf(L"second", "same"), third = FolderOf(L"member");
    WriteTestFile(first + L"\\日本語\\d.txt", "same");
    std::atomic<bool> stop{false}, deleting{false};
    std::atomic<int> late{0};
    std::atomic<LRESULT> mayEnd{-1};  // the answer to the session's end while the delete's archiver runs
    const auto archiverRunning = [] { return ScopedHandle(OpenMutexW(SYNCHRONIZE, FALSE, L"VeltrimoxFakeArchiverRunning")).Get() != nullptr; };
    std::thread prober([&] {
        for (DWORD_PTR answer = 0; !stop; Sleep(20)) {
            const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &answer);
            late += IsHungAppWindow(window) || (!answered && IsWindow(window));
            if (deleting && mayEnd < 0 && archiverRunning() &&
                SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 100, &answer)) {
                mayEnd = static_cast<LRESULT>(answer);
            }
        }
    });
    // A member delete whose archiver runs take their time: the window answers meanwhile.
    const uint32_t same = Crc32Reference(0, "same", 4);  // a.txt's
    const std::string other = "Path = n\nCRC = 00000001\n";
    for (const auto& [suffix, text] : std::vector<std::pair<std::wstring, std::string>>{{L"", "zip"},
             {L".test", "Everything is Ok\n"}, {L".list", "Path = m\nCRC = " + Utf8(FormatCrcText(same)) + "\n" + other}, {L".deleted", other}}) {
        WriteTestFile(third + L"\\x.zip" + suffix, text);
    }
    program.Drop({third});
    ASSERT_EQ(ReadListRows(program.list).at(1), std::make_pair(std::wstring(L"a.txt"), std::wstring(L"x.zip【m】")));
    ListView_SetItemState(program.list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    WriteTestFile(third + L"\\x.zip.extract", "same");  // the member's bytes, as the fake extracts them
    UseDialogs({[](HWND, const std::wstring&, UINT) { return IDYES; }, {}});
    SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", L"700");
    deleting = true;
    SendMessageW(window, WM_COMMAND, ID_DELETE_FILE2, 0);
    deleting = false;
    EXPECT_EQ(ReadListRows(program.list), kAB);
    EXPECT_TRUE(mayEnd == FALSE && SendMessageW(window, WM_QUERYENDSESSION, 0, 0) == TRUE) << "the session waits only for the command";
    WritePrivateProfileStringW(L"SystemSetting", L"width", L"1", SettingsFilePath().c_str());
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(LoadSettings(SettingsFilePath()).width, 500) << "the session's end keeps the placement";
    const auto calls = [&] { return static_cast<long>(ReadTextFile(archiver + L"\\calls.log").size() / 4); };  // "run\n" a run
    enum Then { Waits, PressesF5, PressesEsc, DropsSecond, Closes };
    const struct {
        Then then;
        std::wstring title;
        Rows rows;
    } rows[] = {{Waits, first, kAB}, {PressesF5, first, kAB}, {PressesEsc, first, {}}, {DropsSecond, second, kABC}, {Closes, L"", {}}};
    long runs[2] = {};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.then);
        if (row.then == Closes) {  // what is stored is the restored rectangle
            ShowWindow(window, SW_MAXIMIZE);
            GetWindowPlacement(window, &placement);
        }
        const long before = calls();
        SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", row.then <= PressesF5 ? L"1000" : L"5000");  // inherited
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first})), 0);
        program.Run(600, false);
        EXPECT_TRUE(ScanRunning() && archiverRunning());
        EXPECT_EQ(WindowText(window).rfind(first + L" — 3 個のファイルを調べました", 0), 0u) << "the progress in the title";
        // The archive is named in the title only in the runs on one file each, after the first.
        if (row.then > PressesF5) SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", L"0");
        const DWORD start = GetTickCount();
        const UINT message[] = {WM_NULL, WM_KEYDOWN, WM_KEYDOWN, WM_DROPFILES, WM_CLOSE};
        const WPARAM wParam[] = {0, VK_F5, VK_ESCAPE, reinterpret_cast<WPARAM>(MakeDrop({second})), 0};
        PostMessageW(window, message[row.then], wParam[row.then], 1);
        EXPECT_EQ(program.Run(10000), 0);
        EXPECT_LT(GetTickCount() - start, row.then >= PressesEsc && row.then != DropsSecond ? 1500u : 10000u);
        EXPECT_FALSE(ScanRunning() || archiverRunning());
        if (row.then == Closes) break;
        EXPECT_EQ(WindowText(window), row.title);
        EXPECT_EQ(ReadListRows(program.list), row.rows);
        if (row.then <= PressesF5) runs[row.then] = calls() - before;
    }
    stop = true;
    prober.join();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(runs[Waits] > 0 && runs[PressesF5] == runs[Waits]) << "F5 during a scan starts none: " << runs[Waits] << "/" << runs[PressesF5];
    EXPECT_EQ(late, 0) << "hung, or slower than 100 ms";
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    // As the platform reports the restored rectangle (Windows: relative to the work area, so -8
    // and 30 again; Wine: the screen's); the other keys stay as they were.
    const Settings stored = LoadSettings(SettingsFilePath());
    const RECT& n = placement.rcNormalPosition;
    EXPECT_EQ(std::vector<LONG>({stored.x, stored.y, stored.width, stored.height}), std::vector<LONG>({n.left, n.top, 500, 300}));
    EXPECT_EQ(GetPrivateProfileIntW(L"Other", L"key", 0, SettingsFilePath().c_str()), 7u);
}

// Values longer than MAX_PATH are read whole; the placement goes beside the program where that
// can be written, else to the user's own folder (made as UTF-16, as shipped), which is then read
// and written from there on. What was passed over is said in one note, in a fixed order.
TEST(Settings, LongValuesWholeAndThePlacementWhereItCanBeWritten) {
    const std::wstring folder = MakeTempFolder(L"settings"), beside = folder + L"\\Veltrimox.ini";
    const std::wstring unwritable = folder + L"\\missing\\Veltrimox.ini", roaming = folder + L"\\roaming\\Veltrimox\\Veltrimox.ini";
    const std::wstring dir = L"D:\\" + std::wstring(300, L'd'), ignore(280, L'i');
    const std::wstring text = L"\xFEFF[UserSetting]\r\ndir=" + dir + L"\r\nignore=" + ignore + L"\r\n";
    WriteTestFile(beside, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    CreateDirectoryW((folder + L"\\roaming").c_str(), nullptr);  // %APPDATA%, there before the program
    const Settings read = LoadSettings(beside, roaming);
    EXPECT_TRUE(read.archiverDir == dir && read.ignoreName == ignore && read.x == 10);
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    const auto placeAt = [&](int x) { return SetWindowPos(window, nullptr, x, 20, 300, 200, SWP_NOZORDER) != FALSE; };
    // Placed at x, saved with this file beside the program: what each file holds afterwards (10: nothing).
    const std::tuple<int, std::wstring, int, int> rows[] = {{40, beside, 40, 10}, {50, unwritable, 40, 50}, {60, beside, 40, 60}};
    for (const auto& [x, settings, besideX, roamingX] : rows) {
        EXPECT_TRUE(placeAt(x) && SavePlacement(window, settings, roaming)) << x;
        EXPECT_EQ(std::make_pair(LoadSettings(beside).x, LoadSettings(unwritable, roaming).x), std::make_pair(besideX, roamingX));
    }
    EXPECT_EQ(ReadTextFile(roaming).substr(0, 2), "\xFF\xFE");
    EXPECT_FALSE(SavePlacement(window, unwritable, folder + L"\\missing\\too\\Veltrimox.ini")) << "nowhere to write";
    DestroyWindow(window);
    EXPECT_EQ(LeftOutNote(LeftOut{1, 2, 3, 4}, true), L"1 個のファイルはクラウドにだけあるため、調べませんでした。\n2 個のフォルダーはクラウドにだけあるため、調べませんでした。\n"
              L"3 個のファイルは読めなかったため、調べませんでした。\n4 個のフォルダーは開けなかったため、調べませんでした。\n7-Zip が見つからないため、書庫の中は調べませんでした。");
    EXPECT_EQ(LeftOutNote(LeftOut{0, 0, 3, 0}, false) + L"|" + LeftOutNote(LeftOut{}, false), L"3 個のファイルは読めなかったため、調べませんでした。|");
}

// On a disk that seeks, one reader at a time: the archiver's runs never overlap (the fake notes
// a run that starts while another runs), as they do elsewhere. Hashing threads report in any
// order; the count the title shows never goes back, and the archive step's counts (of a total)
// are not files hashed.
TEST(ScanSteps, OneReaderAtATimeOnADiskThatSeeksAndACountThatOnlyGrows) {
    ScanControl control;
    const StepControl steps = StepsOf(control);
    for (const auto& [done, total] : {std::pair<size_t, size_t>{5, 0}, {9, 100}, {3, 0}}) steps.Report(done, total);
    EXPECT_EQ(control.filesHashed.load(), 5u);
    const std::wstring archiver = MakeFakeArchiverDir(MakeTempFolder(L"seek7z")), folder = MakeTempFolder(L"seek");
    for (int i = 0; i < 6; ++i) WriteTestFile(folder + L"\\" + std::to_wstring(i) + L".zip", "x");  // each run again alone too
    SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", L"200");
    for (const bool seeks : {true, false}) {
        DeleteFileW((archiver + L"\\calls.log").c_str());
        ScanOutcome outcome;
        RunScanSteps(ScanRequest{folder, L"", archiver + L"\\7z.exe", L"", [seeks](const std::wstring&) { return seeks; }}, {}, outcome);
        EXPECT_EQ(ReadTextFile(archiver + L"\\calls.log").find("ovl") != std::string::npos, !seeks) << seeks;
    }
    SetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", nullptr);
}

// A folder on the command line (dropped on the program's icon, "Send to", a shortcut) is opened
// as a drop once the window answers: only the first argument, made full; quotes, blanks and the
// "D:\data\" form (a quote left at its end) work; a file, a missing path or nothing do nothing.
TEST(MainWindow, AFolderOnTheCommandLineIsScannedAsIfDropped) {
    const std::wstring folder = FolderOf(L"start here"), parent = folder.substr(0, folder.find_last_of(L'\\'));
    SetCurrentDirectoryW(parent.c_str());
    const std::pair<std::wstring, bool> lines[] = {{L"", false}, {L" \"\"", false}, {L" \"" + folder + L"\\a.txt\"", false},
        {L" \"" + folder + L"\\gone\"", false}, {L" \"" + folder + L"\" \"" + parent + L"\"", true}, {L" \"" + folder + L"\\\"", true},
        {L" \"" + FileNameOf(folder) + L"\"", true}};
    for (const auto& [arguments, opens] : lines) {
        ProgramWindow program;
        UseDialogs({[](HWND, const std::wstring&, UINT) { return IDOK; }, {}});
        OpenStartFolder(program.window, L"Veltrimox.exe" + arguments);
        EXPECT_FALSE(ScanRunning()) << "the window is shown and answers first";
        program.Run(20000);
        EXPECT_EQ(WindowText(program.window) + L"|" + std::to_wstring(ReadListRows(program.list).size()),
                  opens ? folder + L"|2" : L"Veltrimox|0") << Utf8(arguments);
    }
}
