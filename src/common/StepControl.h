// What a caller hands each step of a scan: an optional report of progress and an optional flag
// that asks the step to stop. Both may be used from another thread than the step's, and a step
// may report from helper threads of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

struct StepControl {
    std::function<void(size_t done, size_t total)> progress;  // empty: nobody listens
    const std::atomic<bool>* cancel = nullptr;                // null: the step runs to its end

    [[nodiscard]] bool Cancelled() const { return cancel != nullptr && cancel->load(); }
    void Report(size_t done, size_t total) const {
        if (progress) progress(done, total);
    }
};
