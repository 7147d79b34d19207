// What a caller hands each step of a scan: optional reports of progress and an optional way to
// ask the step to stop. All may be used from another thread than the step's, and a step may
// report from helper threads of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

struct StepControl {
    std::function<void(size_t done, size_t total)> progress;  // empty: nobody listens
    std::function<void(const std::wstring& path)> testing;    // the file the archiver is now testing
    const std::atomic<bool>* cancel = nullptr;                // null: the step runs to its end
    HANDLE cancelEvent = nullptr;  // set together with *cancel, so that waits end at once; may be null

    [[nodiscard]] bool Cancelled() const { return cancel != nullptr && cancel->load(); }
    void Report(size_t done, size_t total) const {
        if (progress) progress(done, total);
    }
    void Testing(const std::wstring& path) const {
        if (testing) testing(path);
    }
};
