// The program's main window in the test process, driven through its real messages and loop.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

// A real drop: a DROPFILES block with the paths, as the shell hands it over.
HDROP MakeDrop(const std::vector<std::wstring>& paths);

class ProgramWindow {
public:
    // Registers the class once per process; `settings` (may be empty) is written to the
    // settings file beside the test program before the window is created.
    explicit ProgramWindow(const std::string& settings = "");
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    [[nodiscard]] HWND Window() const { return window_; }
    [[nodiscard]] HWND List() const { return list_; }

    // The program's own loop for at most `limitMs`; with `untilIdle` it ends sooner, once no scan
    // runs and no modal box is open. Returns the loop's exit code (kTimedOut when cut short).
    static constexpr int kTimedOut = 99;
    int Run(DWORD limitMs, bool untilIdle = true);
    // Both run the loop (at most 20 s) until the scan they start has filled the list. Drop
    // returns the drop handle it sent, which the window should have freed.
    HDROP Drop(const std::vector<std::wstring>& paths);
    // F5 as a key press, which reaches the window through the key table.
    void PressF5(HWND target);
    // A context-menu command, as the menu sends it.
    void Command(int id);
    void Select(int row);
    [[nodiscard]] Rows ListRows() const;

private:
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HACCEL keys_ = nullptr;
};
