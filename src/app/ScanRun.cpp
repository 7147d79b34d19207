#include "app/ScanRun.h"

#include "app/AppState.h"
#include "app/ScanControl.h"
#include "app/resource.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "common/ScopedWin.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace {

// How long a stop waits for the thread before the window goes on without it.
constexpr DWORD kStopWaitMs = 50;
constexpr UINT kProgressIntervalMs = 250;
constexpr DWORD kReleaseDelayMs = 100;
const wchar_t kNoDuplicates[] = L"重複はありませんでした。";
const wchar_t kCannotStart[] = L"スキャンを開始できませんでした。";
const wchar_t kCloudFiles[] = L"%u 個のファイルはクラウドにだけあるため、調べませんでした。";
const wchar_t kCloudFolders[] = L"%u 個のフォルダーはクラウドにだけあるため、調べませんでした。";
const wchar_t kUnreadFiles[] = L"%u 個のファイルは読めなかったため、調べませんでした。";
const wchar_t kUnopenedFolders[] = L"%u 個のフォルダーは開けなかったため、調べませんでした。";
const wchar_t kNoArchiver[] = L"7-Zip が見つからないため、書庫の中は調べませんでした。";
bool g_toldNoArchiver = false;  // said once a run, not after every scan

// Shared by the window and the thread, which keeps it alive as long as it runs.
struct ScanJob {
    HWND window = nullptr;  // told of the end by WM_SCAN_DONE
    ScanRequest request;
    ScanSteps steps;
    ScanControl control;
    ScopedHandle thread;
    std::wstring shownTitle;  // the progress last shown
    std::mutex lock;          // guards the two below
    bool ended = false;
    std::optional<ScanOutcome> outcome;  // a finished, unstopped scan's
};

std::shared_ptr<ScanJob> g_scan;  // the running scan; null when none

DWORD WINAPI ScanThread(void* parameter) {
    const std::unique_ptr<std::shared_ptr<ScanJob>> held(static_cast<std::shared_ptr<ScanJob>*>(parameter));
    ScanJob& job = **held;
    ScanOutcome outcome;
    job.steps(job.request, StepsOf(job.control), outcome);
    {
        std::lock_guard<std::mutex> hold(job.lock);
        if (!job.control.cancelled) job.outcome = std::move(outcome);
        job.ended = true;
    }
    // The window also looks at the job on its timer, so a message that cannot be posted
    // (a full queue) loses nothing.
    PostMessageW(job.window, WM_SCAN_DONE, 0, 0);
    return 0;
}

// Starts the steps on a thread of their own; null when no thread could be started.
std::shared_ptr<ScanJob> StartScanJob(HWND window, ScanRequest request, ScanSteps steps, const ThreadStarter& start) {
    auto job = std::make_shared<ScanJob>();
    job->window = window;
    job->request = std::move(request);
    job->steps = std::move(steps);
    auto held = std::make_unique<std::shared_ptr<ScanJob>>(job);
    job->thread.Reset(start(ScanThread, held.get()));
    if (!job->thread.IsValid()) return nullptr;
    held.release();  // the thread's now
    return job;
}

// Asks the scan to stop and gives its thread at most a moment to end; it ends by itself later.
void StopScanJob(ScanJob& job) {
    CancelScan(job.control);
    WaitForSingleObject(job.thread.Get(), kStopWaitMs);
}

// True once the thread has finished its steps; `outcome` then holds what a scan that was not
// stopped found (taken: a second call finds none).
bool TakeScanOutcome(ScanJob& job, std::optional<ScanOutcome>& outcome) {
    std::lock_guard<std::mutex> hold(job.lock);
    if (!job.ended) return false;
    outcome = std::move(job.outcome);
    job.outcome.reset();
    return true;
}

// Frees a catalogue on a thread of its own: a million entries are millions of frees, which the
// window's thread must not wait for. Freed here only when no thread can be made.
void ReleaseOnWorker(PairRows&& rows) {
    auto* held = new PairRows(std::move(rows));
    const auto release = [](void* parameter) -> DWORD {
        // Millions of frees take the heap's lock as often: the window finishes what it is doing
        // (starting the next scan) first, and the frees yield to it.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
        Sleep(kReleaseDelayMs);
        delete static_cast<PairRows*>(parameter);
        return 0;
    };
    const HANDLE thread = CreateThread(nullptr, 0, release, held, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
    } else {
        delete held;
    }
}

// "D:\data — 120 個のファイルを調べました（old\set.zip を検査中）"
std::wstring ProgressTitle(ScanJob& job) {
    const std::wstring& root = job.request.rootFolder;
    std::wstring title = root + L" — " + std::to_wstring(job.control.filesHashed.load()) + L" 個のファイルを調べました";
    const std::wstring archive = ArchiveUnderTest(job.control);
    if (!archive.empty()) title += L"（" + RelativeDisplayName(root, archive) + L" を検査中）";
    return title;
}

}  // namespace

void RunScanSteps(const ScanRequest& request, const StepControl& control, ScanOutcome& outcome) {
    // On a disk that seeks, one file is read at a time, by the hash and by the archiver.
    const size_t readers = request.seekPenalty && request.seekPenalty(request.rootFolder) ? 1 : 0;
    ScanContext context{request.rootFolder, request.ignoreName};
    context.readers = readers;
    const WalkedFiles files = ScanFolder(context, request.rootFolder, control, &outcome.leftOut);
    if (control.Cancelled()) return;
    // Sought on this thread, once a run for each folder set: trying a candidate starts it,
    // which may take long.
    static std::mutex seeking;
    static std::map<std::wstring, std::wstring> found;
    if (!request.archiverPath.empty()) {
        outcome.archiverPath = request.archiverPath;
    } else {
        std::lock_guard<std::mutex> hold(seeking);
        const auto known = found.find(request.archiverDir);
        outcome.archiverPath = known != found.end() ? known->second : found[request.archiverDir] = FindArchiver(request.archiverDir);
    }
    Expansion expansion = ExpandArchives(ExpansionRequest{outcome.archiverPath, request.rootFolder, control, readers}, files);
    outcome.leftOut.unreadFiles += expansion.unexamined;
    if (!control.Cancelled()) outcome.rows = BuildPairs(std::move(expansion.entries), control);
}

// The window as it is between scans: no timer, the scanned folder alone in the title.
void EndScan(HWND hwnd) {
    KillTimer(hwnd, ID_SCAN_PROGRESS_TIMER);
    SetWindowTextW(hwnd, g_scan->request.rootFolder.c_str());
    g_scan.reset();
    RefreshCursor(hwnd);
}

void StopScan(HWND hwnd) {
    if (!g_scan) return;
    StopScanJob(*g_scan);
    // A scan that ended just before the stop has handed over a whole catalogue.
    std::optional<ScanOutcome> unused;
    if (TakeScanOutcome(*g_scan, unused) && unused) ReleaseOnWorker(std::move(unused->rows));
    EndScan(hwnd);
}

// Scans the root folder afresh on a thread of its own; the list and the catalogue stay empty
// until it hands its outcome over (FinishScan).
void StartScan(HWND hwnd) {
    StopScan(hwnd);
    // No rows, no selection, no focus. Deleting all items instead walks every row of an
    // owner-data list (14 ms for two million under Wine).
    SendMessageW(App().resultList, LVM_SETITEMCOUNT, 0, 0);
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(App().resultList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    ReleaseOnWorker(std::move(App().rows));  // the last scan's model goes now, and not on this thread
    App().rows = PairRows{};
    g_scan = StartScanJob(hwnd, ScanRequest{App().rootFolder, App().ignoreName, App().archiverPath, App().archiverDir},
                          App().scanSteps, App().startThread);
    if (!g_scan) {
        App().dialogs.messageBox(hwnd, kCannotStart, MB_ICONERROR);
        return;
    }
    SetTimer(hwnd, ID_SCAN_PROGRESS_TIMER, kProgressIntervalMs, nullptr);
    RefreshCursor(hwnd);
}

void FinishScan(HWND hwnd) {
    std::optional<ScanOutcome> outcome;
    if (!g_scan || !TakeScanOutcome(*g_scan, outcome)) return;
    EndScan(hwnd);
    if (!outcome) return;
    App().rows = std::move(outcome->rows);
    if (!outcome->archiverPath.empty()) App().archiverPath = outcome->archiverPath;
    ShowRows(ResultList{App().resultList, App().rows});
    const bool archiverMissing = App().archiverPath.empty() && !g_toldNoArchiver;
    g_toldNoArchiver = g_toldNoArchiver || archiverMissing;
    const std::wstring note = LeftOutNote(outcome->leftOut, archiverMissing);
    if (!note.empty()) App().dialogs.messageBox(hwnd, note, MB_ICONINFORMATION);
    if (SendMessageW(App().resultList, LVM_GETITEMCOUNT, 0, 0) == 0) {
        App().dialogs.messageBox(hwnd, kNoDuplicates, MB_OK);
    }
}

std::wstring LeftOutNote(const LeftOut& leftOut, bool archiverMissing) {
    const std::pair<const wchar_t*, size_t> counts[] = {{kCloudFiles, leftOut.cloudFiles},
                                                        {kCloudFolders, leftOut.cloudFolders},
                                                        {kUnreadFiles, leftOut.unreadFiles},
                                                        {kUnopenedFolders, leftOut.unopenedFolders}};
    std::wstring note;
    for (const auto& [text, count] : counts) {
        if (count == 0) continue;
        std::wstring line = text;
        line.replace(line.find(L"%u"), 2, std::to_wstring(count));
        note += (note.empty() ? L"" : L"\n") + line;
    }
    if (archiverMissing) note += (note.empty() ? L"" : L"\n") + std::wstring(kNoArchiver);
    return note;
}

void ShowScanProgress(HWND hwnd) {
    FinishScan(hwnd);  // in case the thread's message was lost
    if (!g_scan) return;
    std::wstring title = ProgressTitle(*g_scan);
    if (title == g_scan->shownTitle) return;
    SetWindowTextW(hwnd, title.c_str());
    g_scan->shownTitle = std::move(title);
}

bool ScanRunning() { return g_scan != nullptr; }
