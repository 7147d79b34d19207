// A scan on a thread of its own, so that the window stays alive however long it takes: walk and
// hash, look into archives, pair. The window starts it, asks how far it has come, stops it and
// takes its outcome; it never waits for the thread for more than a moment, whatever the thread
// is doing (a read from a slow share, the pairing of a million files).
#pragma once

#include "common/StepControl.h"
#include "scan/Catalogue.h"
#include "scan/DuplicatePairing.h"
#include "scan/FolderScan.h"

#include <windows.h>

#include <functional>
#include <string>

struct ScanRequest {
    std::wstring rootFolder;
    std::wstring ignoreName;
    std::wstring archiverPath;  // 7z.exe found before; empty: sought from archiverDir on
    std::wstring archiverDir;   // the settings' folder for it
    // Whether the root's disk pays for seeking, so that one reader goes at a time (a test answers).
    std::function<bool(const std::wstring&)> seekPenalty = HasSeekPenalty;
};

struct ScanOutcome {
    PairRows rows;    // holds the catalogue
    LeftOut leftOut;  // what the scan passed over, for the note after it
    std::wstring archiverPath;  // the 7z.exe the scan used; empty: none qualified
};

// How a scan's thread is made: CreateThread's answer (null when none could be).
using ThreadStarter = std::function<HANDLE(LPTHREAD_START_ROUTINE, void*)>;

// The steps of a scan; the window is given RunScanSteps, a test may give others.
using ScanSteps = std::function<void(const ScanRequest&, const StepControl&, ScanOutcome&)>;

// Walk and hash, look into archives, pair; a stopped step goes to no later one. Files the
// archiver could not open because another program holds them count as unread.
void RunScanSteps(const ScanRequest& request, const StepControl& control, ScanOutcome& outcome);

// The window's side, for the main window alone (its thread). Each takes the main window.
// Stops a running scan and scans the root folder afresh; the list and the catalogue stay empty
// until the scan hands its outcome over. When no thread can be made for it, says so and leaves
// the window ready for the next drop.
void StartScan(HWND hwnd);
// Stops the running scan, if any: it stops before its next piece of a file, an archiver run
// included (its process is ended). Its thread ends on its own; what it finds is dropped.
void StopScan(HWND hwnd);
// Once the scan's thread has ended, its catalogue becomes the catalogue and its pairs the list;
// then one note says what was passed over (and, once a run, that 7-Zip was not found), and
// another when there is no row.
void FinishScan(HWND hwnd);
// The note's lines, in their order, for the counts that are not 0; empty when there is none.
[[nodiscard]] std::wstring LeftOutNote(const LeftOut& leftOut, bool archiverMissing);
// On the window's timer: the progress in the title, or the end of a scan whose message was lost.
void ShowScanProgress(HWND hwnd);
// True while a scan runs on its own thread (the list and the catalogue stay empty meanwhile).
[[nodiscard]] bool ScanRunning();
