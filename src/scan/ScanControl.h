// What a running scan shares with the thread that watches it: a way to stop it, and how far it
// has come. The scan's steps take it through ScanContext; none of them needs it to be there.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct ScanControl {
    std::atomic<bool> cancelled{false};
    // Set together with `cancelled`, for the steps that wait (the archiver's runs).
    ScopedHandle cancelEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<uint32_t> filesHashed{0};
    std::mutex archiveMutex;
    std::wstring archiveUnderTest;  // guarded by archiveMutex; empty while the archiver is idle
};

void CancelScan(ScanControl& control);
// False without a control: a scan nobody watches runs to its end.
[[nodiscard]] bool ScanCancelled(const ScanControl* control);
// The event a wait should also end on; null without a control.
[[nodiscard]] HANDLE CancelEventOf(const ScanControl* control);

void CountFileHashed(ScanControl* control);
// The file the archiver is now testing; empty when it is done with it.
void SetArchiveUnderTest(ScanControl* control, const std::wstring& path);
[[nodiscard]] std::wstring ArchiveUnderTest(ScanControl& control);
