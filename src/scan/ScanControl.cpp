#include "scan/ScanControl.h"

void CancelScan(ScanControl& control) {
    control.cancelled = true;
    SetEvent(control.cancelEvent.Get());
}

bool ScanCancelled(const ScanControl* control) { return control && control->cancelled; }

HANDLE CancelEventOf(const ScanControl* control) { return control ? control->cancelEvent.Get() : nullptr; }

void CountFileHashed(ScanControl* control) {
    if (control) ++control->filesHashed;
}

void SetArchiveUnderTest(ScanControl* control, const std::wstring& path) {
    if (!control) return;
    std::lock_guard<std::mutex> lock(control->archiveMutex);
    control->archiveUnderTest = path;
}

std::wstring ArchiveUnderTest(ScanControl& control) {
    std::lock_guard<std::mutex> lock(control.archiveMutex);
    return control.archiveUnderTest;
}
