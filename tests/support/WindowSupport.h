// The program's main window in the test process, driven through its real messages and loop,
// and the answering of the modal dialogs it opens.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

[[nodiscard]] Rows ReadListRows(HWND list);
[[nodiscard]] std::wstring WindowText(HWND window);
// A real drop: a DROPFILES block with the paths, as the shell hands it over.
[[nodiscard]] HDROP MakeDrop(const std::vector<std::wstring>& paths);

struct ProgramWindow {
    // `settings` (may be empty) is written to the settings file before the window is created.
    explicit ProgramWindow(const std::string& settings = "");
    ~ProgramWindow();  // destroys the window without the close message: no placement written
    ProgramWindow(const ProgramWindow&) = delete;  // one window, destroyed once
    ProgramWindow& operator=(const ProgramWindow&) = delete;
    // The program's own loop for at most `limitMs`; with `untilIdle` it ends sooner, once no scan
    // runs and no modal box is open. Returns the loop's exit code (99 when cut short).
    int Run(DWORD limitMs, bool untilIdle = true);
    // Sends the drop and runs the loop until its scan has filled the list; returns the handle.
    HDROP Drop(const std::vector<std::wstring>& paths);

    HWND window = nullptr, list = nullptr;
    HACCEL keys = nullptr;
};

struct SeenDialog {
    std::wstring caption, text;
    std::vector<int> ids;  // its buttons' ids, in creation order
    std::wstring icon;     // the system icon it shows: "error", "warning", "info"; "" none (or another)
};
// "caption|icon|text"
[[nodiscard]] inline std::wstring Describe(const SeenDialog& box) { return box.caption + L"|" + box.icon + L"|" + box.text; }

// Runs `act` and answers each dialog it shows on this thread, in turn, with the button of the
// next id in `answers`, as a user would (BM_CLICK on the dialog's own button); in the folder
// picker it first selects the folder `pick`. A dialog without that button, not owned by `owner`,
// or one that comes when no answer is left is closed and fails the test. Returns what it saw.
std::vector<SeenDialog> AnswerDialogs(HWND owner, std::vector<int> answers, const std::function<void()>& act,
                                      const std::wstring& pick = L"");
