// Small RAII owners for Win32 handles, so every early return releases what it opened.
#pragma once

#include <windows.h>

#include <utility>

// Owns a kernel handle closed with CloseHandle. Both null and INVALID_HANDLE_VALUE mean "none".
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : h_(h) {}
    ScopedHandle(ScopedHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ScopedHandle& operator=(ScopedHandle&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Reset(); }

    [[nodiscard]] bool IsValid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    [[nodiscard]] HANDLE Get() const { return h_; }
    void Reset(HANDLE h = nullptr) {
        if (IsValid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// Owns a search handle from FindFirstFileW.
class ScopedFindHandle {
public:
    explicit ScopedFindHandle(HANDLE h) : h_(h) {}
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;
    ~ScopedFindHandle() {
        if (IsValid()) FindClose(h_);
    }
    [[nodiscard]] bool IsValid() const { return h_ != INVALID_HANDLE_VALUE; }
    [[nodiscard]] HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

// Turns a window's redrawing off for its lifetime, back on (and repaints) on every way out.
class ScopedRedrawOff {
public:
    explicit ScopedRedrawOff(HWND hwnd) : hwnd_(hwnd) { SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0); }
    ScopedRedrawOff(const ScopedRedrawOff&) = delete;
    ScopedRedrawOff& operator=(const ScopedRedrawOff&) = delete;
    ~ScopedRedrawOff() {
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }

private:
    HWND hwnd_;
};
