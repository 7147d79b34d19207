// What a running scan shares with the window that watches it: a way to stop it, and how far it
// has come. The scan's steps see it only through the StepControl made from it.
#pragma once

#include "common/ScopedWin.h"
#include "common/StepControl.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

struct ScanControl {
    std::atomic<bool> cancelled{false};
    // Set together with `cancelled`, for the steps that wait (the archiver's runs).
    ScopedHandle cancelEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<size_t> filesHashed{0};
    std::mutex archiveMutex;
    std::wstring archiveUnderTest;  // guarded by archiveMutex; empty while the archiver is idle
};

void CancelScan(ScanControl& control);

// The control each step of the scan is handed: it stops when the scan is cancelled and
// counts into `control`.
[[nodiscard]] StepControl StepsOf(ScanControl& control);

// The file the archiver is now testing; empty when it is not testing any.
[[nodiscard]] std::wstring ArchiveUnderTest(ScanControl& control);
