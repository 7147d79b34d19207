#include "app/ScanRun.h"

#include "app/resource.h"
#include "archive/ArchiveExpansion.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

namespace {

// How long a stop waits for the thread before the window goes on without it.
constexpr DWORD kStopWaitMs = 50;

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

}  // namespace

void RunScanSteps(const ScanRequest& request, const StepControl& control, ScanOutcome& outcome) {
    const WalkedFiles files = ScanFolder(ScanContext{request.rootFolder, request.ignoreName}, request.rootFolder, control,
                                         &outcome.cloudOnly);
    if (control.Cancelled()) return;
    outcome.entries = ExpandArchives(ExpansionRequest{request.archiverPath, request.rootFolder, control}, files).entries;
    if (!control.Cancelled()) outcome.rows = BuildPairs(outcome.entries);
}

std::shared_ptr<ScanJob> StartScanJob(HWND window, ScanRequest request, ScanSteps steps) {
    auto job = std::make_shared<ScanJob>();
    job->window = window;
    job->request = std::move(request);
    job->steps = std::move(steps);
    auto held = std::make_unique<std::shared_ptr<ScanJob>>(job);
    job->thread.Reset(CreateThread(nullptr, 0, ScanThread, held.get(), 0, nullptr));
    if (!job->thread.IsValid()) return nullptr;
    held.release();  // the thread's now
    return job;
}

void StopScanJob(ScanJob& job) {
    CancelScan(job.control);
    WaitForSingleObject(job.thread.Get(), kStopWaitMs);
}

bool TakeScanOutcome(ScanJob& job, std::optional<ScanOutcome>& outcome) {
    std::lock_guard<std::mutex> hold(job.lock);
    if (!job.ended) return false;
    outcome = std::move(job.outcome);
    job.outcome.reset();
    return true;
}

std::wstring ProgressTitle(ScanJob& job) {
    const std::wstring& root = job.request.rootFolder;
    std::wstring title = root + L" — " + std::to_wstring(job.control.filesHashed.load()) + L" 個のファイルを調べました";
    const std::wstring archive = ArchiveUnderTest(job.control);
    if (!archive.empty()) title += L"（" + RelativeDisplayName(root, archive) + L" を検査中）";
    return title;
}
