// Turning a catalogue into result rows, and showing them in the program's kind of list.
#include "Benches.h"

#include "BenchSupport.h"
#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/resource.h"
#include "scan/DuplicatePairing.h"
#include "scan/FileChecksum.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr int kRuns = 3;

struct GroupMix {
    size_t groupSize = 10;
    size_t groups = 0;   // of groupSize equal entries
    size_t pairs = 0;    // 2 rows each
    size_t singles = 0;  // no rows
    [[nodiscard]] size_t Entries() const { return groups * groupSize + pairs * 2 + singles; }
    [[nodiscard]] uint64_t Rows() const {
        return static_cast<uint64_t>(groups) * groupSize * (groupSize - 1) + static_cast<uint64_t>(pairs) * 2;
    }
};

// Half the entries alone, 30 % in pairs, 20 % in groups of ten.
GroupMix MixOf(size_t entries) { return GroupMix{10, entries / 50, entries * 3 / 20, entries / 2}; }

// 100,000 entries, 98 groups of 320 among them: 10,003,840 rows.
const GroupMix kTenMillionRows{320, 98, 0, 100000 - 98 * 320};

// Entries in random order, so a group's members lie far apart as in a real tree. Each group
// gets its own CRC text: an odd multiplier maps distinct group numbers to distinct values.
EntryList MakeEntries(const GroupMix& mix, uint64_t seed) {
    std::vector<uint32_t> groupOf;
    groupOf.reserve(mix.Entries());
    uint32_t group = 0;
    for (size_t i = 0; i < mix.groups; ++i, ++group) groupOf.insert(groupOf.end(), mix.groupSize, group);
    for (size_t i = 0; i < mix.pairs; ++i, ++group) groupOf.insert(groupOf.end(), 2, group);
    for (size_t i = 0; i < mix.singles; ++i, ++group) groupOf.push_back(group);

    Random random(seed);
    for (size_t i = groupOf.size(); i > 1; --i) std::swap(groupOf[i - 1], groupOf[random.Below(i)]);

    EntryList entries(groupOf.size());
    for (size_t i = 0; i < groupOf.size(); ++i) {
        FileEntry& e = entries[i];
        e.displayName = L"folder" + std::to_wstring(i % 200) + L"\\file" + std::to_wstring(i) + L".dat";
        e.containerPath = L"C:\\data\\" + e.displayName;
        e.crcText = FormatCrcText(groupOf[i] * 0x9E3779B1u + 0x7F4A7C15u);
        e.size = 1000 + groupOf[i] % 4096;  // equal within a group, as are the strong hashes
        e.strongHash[0] = groupOf[i];
        e.identity.fileId = i + 1;
    }
    return entries;
}

std::vector<std::pair<size_t, size_t>> AllRows(const PairRows& rows) {
    std::vector<std::pair<size_t, size_t>> all;
    for (uint64_t row = 0; row < RowCount(rows); ++row) all.push_back(RowEntries(rows, row));
    return all;
}

const PairRows* g_shown = nullptr;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_shown && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFOW) {
        AnswerDisplayInfo(*g_shown, *reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A shown window with the program's result list.
HWND MakeListWindow() {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES};
    if (!InitCommonControlsEx(&init)) Fail("InitCommonControlsEx failed");
    WNDCLASSW owner{};
    owner.lpfnWndProc = OwnerProc;
    owner.hInstance = GetModuleHandleW(nullptr);
    owner.lpszClassName = L"BenchListOwner";
    RegisterClassW(&owner);
    HWND window = CreateWindowExW(0, L"BenchListOwner", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND list = window ? CreateResultList(window, 1001) : nullptr;
    if (!list) Fail("cannot create a list view (is there a display?)");
    MoveWindow(list, 0, 0, 620, 440, TRUE);
    return list;
}

// Paints what changed, so the shown rows' texts are produced within the timing.
void Repaint(HWND list) {
    UpdateWindow(GetParent(list));
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

uint64_t ListCount(HWND list) { return static_cast<uint64_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

double ReportedValue(const std::string& report, const std::string& label) {
    const std::string value = ListingValue(report, label);
    if (value.empty()) Fail("the list child reported no " + label);
    return std::strtod(value.c_str(), nullptr);
}

}  // namespace

double BenchPairing(double* grouping1m) {
    double seconds1m = 0;
    Print("  BuildPairs (grouping and row counts; rows come when shown), the catalogue moved in as the program does:\n");
    for (const size_t count : {size_t{250000}, size_t{500000}, size_t{1000000}}) {
        const GroupMix mix = MixOf(count);
        const EntryList entries = MakeEntries(mix, 0x5EED0003 + count);
        std::vector<double> seconds, copied;
        for (int run = 0; run < kRuns; ++run) {
            EntryList moved = entries;  // made before the clock starts: the scan hands its own over
            const Stopwatch clock;
            const PairRows rows = BuildPairs(std::move(moved));
            seconds.push_back(clock.Seconds());
            if (RowCount(rows) != mix.Rows() || rows.classes.members.size() != count) {
                Fail("row count " + std::to_string(RowCount(rows)) + ", expected " + std::to_string(mix.Rows()));
            }
            const Stopwatch copyClock;  // as earlier versions passed it: a copy of the whole catalogue first
            const PairRows again = BuildPairs(entries);
            copied.push_back(copyClock.Seconds());
        }
        const double median = Median(seconds);
        Print("    %8zu entries  %8llu rows  %.3f s  %.0f ns/entry  (%.3f s with a copy made first)\n", count,
              static_cast<unsigned long long>(mix.Rows()), median, median * 1e9 / static_cast<double>(count), Median(copied));
        if (count == 1000000) seconds1m = median;
    }
    if (grouping1m) *grouping1m = seconds1m;

    // The quadratic loop only at a size it finishes in seconds; both must give the same rows in the same order.
    const GroupMix small = MixOf(20000);
    const EntryList entries = MakeEntries(small, 0x5EED0004);
    std::vector<double> loopSeconds, rowSeconds;
    std::vector<std::pair<size_t, size_t>> loopRows, rows;
    for (int run = 0; run < kRuns; ++run) {
        const Stopwatch loopClock;
        loopRows = PairRowsByDoubleLoop(entries);
        loopSeconds.push_back(loopClock.Seconds());
        const Stopwatch rowClock;
        rows = AllRows(BuildPairs(entries));
        rowSeconds.push_back(rowClock.Seconds());
    }
    if (rows != loopRows) Fail("BuildPairs and PairRowsByDoubleLoop give different rows");
    Print("  20,000 entries, %llu rows, same rows in the same order on both:\n",
          static_cast<unsigned long long>(small.Rows()));
    Print("    PairRowsByDoubleLoop                  : %.3f s\n", Median(loopSeconds));
    Print("    BuildPairs + RowEntries of every row  : %.4f s\n", Median(rowSeconds));
    Print("  pairs_1m_s                              : %.3f s  (hoped for < 0.5)\n", seconds1m);
    return seconds1m;
}

int ShowTenMillionRows() {
    const EntryList catalogue = MakeEntries(kTenMillionRows, 0x5EED0005);
    const HWND list = MakeListWindow();
    PairRows rows;
    g_shown = &rows;
    const ResultList shown{list, rows};

    const Stopwatch listClock;
    rows = BuildPairs(catalogue);
    ShowRows(shown);
    Repaint(list);
    const double listSeconds = listClock.Seconds();
    if (ListCount(list) != kTenMillionRows.Rows()) Fail("the list shows " + std::to_string(ListCount(list)) + " rows");

    // A move of one file of a group of 320 takes its 638 rows away.
    size_t moved = 0;
    while (rows.classes.shown[rows.classOf[moved]] != kTenMillionRows.groupSize) ++moved;
    const Stopwatch removeClock;
    RemoveRows(shown, LiveEntriesIn(rows, rows.entries[moved].containerPath));
    const double unpaintedSeconds = removeClock.Seconds();
    Repaint(list);
    const double removeSeconds = removeClock.Seconds();
    if (ListCount(list) != kTenMillionRows.Rows() - 638) Fail("the move left " + std::to_string(ListCount(list)) + " rows");

    // Wine forgets a process's counters once it has ended, so the child reports its own.
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) return 3;
    Print("list_s= %.4f\nremove_s= %.4f\nunpainted_s= %.4f\npeak_working_set= %llu\n", listSeconds, removeSeconds,
          unpaintedSeconds,
          static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    DestroyWindow(GetParent(list));
    return 0;
}

ListFigures BenchTenMillionRows(const Workspace& workspace) {
    std::vector<double> listSeconds, removeSeconds, unpaintedSeconds, peaks;
    const std::wstring report = Join(workspace.folder, L"list-child.txt");
    for (int run = 0; run < kRuns; ++run) {
        const ChildRun child = RunChild(workspace.self, {L"--list-10m"}, report);
        if (child.exitCode != 0) Fail("the list child failed: " + ReadTextFile(report));
        const std::string text = ReadTextFile(report);
        listSeconds.push_back(ReportedValue(text, "list_s="));
        removeSeconds.push_back(ReportedValue(text, "remove_s="));
        unpaintedSeconds.push_back(ReportedValue(text, "unpainted_s="));
        peaks.push_back(ReportedValue(text, "peak_working_set=") / (1024.0 * 1024.0));
    }
    Print("  %zu entries, %llu rows; each run in a fresh process, its window shown and painted\n",
          kTenMillionRows.Entries(), static_cast<unsigned long long>(kTenMillionRows.Rows()));
    Print("  BuildPairs + ShowRows + painting        : %.3f s  (%s)\n", Median(listSeconds), RunsText(listSeconds).c_str());
    Print("  RemoveRowsByContainers after a move      : %.4f s  (%s; 638 rows removed)\n", Median(removeSeconds),
          RunsText(removeSeconds).c_str());
    Print("    of which before painting              : %.4f s  (%s)\n", Median(unpaintedSeconds),
          RunsText(unpaintedSeconds).c_str());
    Print("  peak working set of the process         : %.1f MiB  (%s)\n", Median(peaks), RunsText(peaks).c_str());
    return ListFigures{Median(listSeconds), Median(removeSeconds), Median(peaks)};
}

double BenchRemoveArchive() {
    constexpr size_t kMembers = 50000;
    // An archive with 50,000 catalogued members, each with a loose copy, among 100,000 others.
    EntryList catalogue = MakeEntries(MixOf(100000), 0x5EED0006);
    const std::wstring archive = L"C:\\data\\big.zip";
    catalogue.push_back(FileEntry{L"big.zip", L"", archive, L"ARCHIVE1", 0});
    const size_t position = catalogue.size() - 1;
    for (size_t m = 0; m < kMembers; ++m) {
        const std::wstring name = L"m" + std::to_wstring(m) + L".txt";
        const std::wstring crc = FormatCrcText(static_cast<uint32_t>(0xC0000000u + m));
        catalogue.push_back(FileEntry{L"big.zip【" + name + L"】", name, archive, crc, 1});
        catalogue.push_back(FileEntry{L"copies\\" + name, L"", L"C:\\data\\copies\\" + name, crc, 0});
    }
    const HWND list = MakeListWindow();
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        PairRows rows = BuildPairs(catalogue);
        g_shown = &rows;
        const uint64_t before = RowCount(rows);
        const CommandContext context{GetParent(list), ResultList{list, rows}, L"C:\\data", L"", SystemDialogs(), {}};
        ShowRows(context.list);
        Repaint(list);
        const Stopwatch clock;
        ForgetDeletedFile(context, position, true);
        Repaint(list);
        seconds.push_back(clock.Seconds());
        if (LiveEntriesIn(rows, archive).size() != 0 || ListCount(list) != before - 2 * kMembers) {
            Fail("the archive's rows or entries were not all removed");
        }
    }
    g_shown = nullptr;
    DestroyWindow(GetParent(list));
    Print("  %zu entries, an archive with %zu members each with a copy; its rows and entries removed\n",
          catalogue.size(), kMembers);
    Print("  remove_archive_50k_s                    : %.4f s  (%s; hoped for < 0.5)\n", Median(seconds),
          RunsText(seconds).c_str());
    return Median(seconds);
}

double BenchRescanAfterMillion(const Workspace& workspace) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterMainWindowClass(instance)) Fail("no window class");
    const HWND window = CreateMainWindow(instance);
    if (!window) Fail("no window");
    ShowMainWindow(window, instance, SW_SHOWNOACTIVATE);
    UseDialogs({[](HWND, const std::wstring&, UINT) { return IDOK; }, {}});  // the notes after a scan, unseen
    // Every other scan leaves a million entries; the ones in between (F5's) find nothing.
    std::atomic<int> scans{0};
    UseScanSteps([&](const ScanRequest&, const StepControl&, ScanOutcome& outcome) {
        if (scans++ % 2 == 0) outcome.rows = BuildPairs(MakeEntries(MixOf(1000000), 11));
    });
    const auto settle = [] {  // the window's own loop, until the scan has handed its outcome over
        for (MSG message; ScanRunning() || PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(1);
        }
    };
    std::vector<double> busy;
    for (int run = 0; run < kRuns; ++run) {
        App().rootFolder = workspace.folder;
        SendMessageW(window, WM_COMMAND, ID_RESCAN, 0);
        settle();
        if (ApplicationState().rows.entries.size() != 1000000) Fail("the first scan left no million entries");
        const Stopwatch watch;
        SendMessageW(window, WM_COMMAND, ID_RESCAN, 0);
        busy.push_back(watch.Seconds() * 1000);
        settle();
    }
    DestroyWindow(window);
    Print("  F5 after a scan of 1,000,000 entries, the window's thread busy: %.1f ms  (%s; hoped for < 20)\n", Median(busy),
          RunsText(busy).c_str());
    return Median(busy);
}
