#include "app/ScanControl.h"

void CancelScan(ScanControl& control) {
    control.cancelled = true;
    SetEvent(control.cancelEvent.Get());
}

StepControl StepsOf(ScanControl& control) {
    StepControl steps;
    steps.cancel = &control.cancelled;
    steps.cancelEvent = control.cancelEvent.Get();
    // The walk reports files hashed so far (no total); archive expansion reports files done of all.
    // Hashing threads report in any order: the count shown only grows.
    steps.progress = [&control](size_t done, size_t total) {
        size_t shown = control.filesHashed;
        while (total == 0 && done > shown && !control.filesHashed.compare_exchange_weak(shown, done)) {
        }
    };
    steps.testing = [&control](const std::wstring& path) {
        std::lock_guard<std::mutex> lock(control.archiveMutex);
        control.archiveUnderTest = path;
    };
    return steps;
}

std::wstring ArchiveUnderTest(ScanControl& control) {
    std::lock_guard<std::mutex> lock(control.archiveMutex);
    return control.archiveUnderTest;
}
