// Work spread over threads: the scan's steps use every core the machine has.
#pragma once

#include "common/ScopedWin.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

// As many workers as the machine has cores, within reason.
[[nodiscard]] inline size_t WorkerCount() {
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
}

// Calls work(i) for every i below `count`, on up to `workers` threads, the caller's among them;
// each thread takes the next i when it is free. A thread that cannot be started leaves its share
// to the others, so the work is done whatever the system allows.
inline void RunOnWorkers(size_t workers, size_t count, const std::function<void(size_t)>& work) {
    struct Shared {
        std::atomic<size_t> next{0};
        size_t count;
        const std::function<void(size_t)>& work;
    } shared{{0}, count, work};
    const auto take = [](void* parameter) -> DWORD {
        Shared& s = *static_cast<Shared*>(parameter);
        for (size_t i = s.next++; i < s.count; i = s.next++) s.work(i);
        return 0;
    };
    std::vector<ScopedHandle> threads;
    for (size_t w = 1; w < workers && w < count; ++w) {
        ScopedHandle thread(CreateThread(nullptr, 0, take, &shared, 0, nullptr));
        if (thread.IsValid()) threads.push_back(std::move(thread));
    }
    take(&shared);
    for (const ScopedHandle& thread : threads) WaitForSingleObject(thread.Get(), INFINITE);
}
