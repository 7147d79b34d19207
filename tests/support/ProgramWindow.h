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
    [[nodiscard]] HACCEL Keys() const { return keys_; }

    // Both run the program's own loop until the scan they start has filled the list.
    void Drop(const std::vector<std::wstring>& paths);
    // F5 as a key press, which reaches the window through the key table.
    void PressF5(HWND target);
    // A context-menu command, as the menu sends it.
    void Command(int id);
    void Select(int row);
    [[nodiscard]] Rows ListRows() const;
    // Closes and reopens the window, as a new start of the program would.
    void Reopen(const std::string& settings);

private:
    void RunUntilIdle();
    void Open(const std::string& settings);
    void Close();

    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HACCEL keys_ = nullptr;
};
