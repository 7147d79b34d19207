// Answers the modal dialogs a window opens while the test thread is inside them: a second
// thread finds each one, records what it shows and presses its real button, as a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct SeenDialog {
    std::wstring caption;
    std::wstring text;                  // a message box's message
    std::vector<std::wstring> buttons;  // visible buttons, in creation order
    std::vector<int> ids;               // their control ids
    bool hasIcon = false;
    std::wstring icon;  // the system's icon it shows: "error", "warning", "question", "info"
    HWND tree = nullptr;     // the folder picker's tree
};

class DialogAnswerer {
public:
    // Clicks, on each dialog owned by `owner` in turn, the button of the next id in `answers`;
    // in the folder picker it first selects the folder `pick`. A dialog without that button, one
    // that comes when no answer is left, or a pick that never shows is closed and fails the test.
    DialogAnswerer(HWND owner, std::vector<int> answers, std::wstring pick = L"");
    ~DialogAnswerer() { Finish(); }
    // Gives a dialog still to come a moment, stops the thread and returns what it saw.
    std::vector<SeenDialog> Finish();

private:
    void Answer(HWND dialog);
    HWND owner_;
    std::vector<int> answers_;
    std::wstring pick_;
    std::atomic<bool> stop_{false};
    std::vector<SeenDialog> seen_;
    std::vector<std::string> failures_;
    std::thread thread_;
};

// Reads the popup menu that opens while the test thread is inside TrackPopupMenu, then closes it.
class MenuWatcher {
public:
    MenuWatcher();
    ~MenuWatcher() { Finish(); }
    // Item texts (empty when no menu opened) and the menu window's top-left corner.
    std::vector<std::wstring> Finish(POINT* topLeft = nullptr);

private:
    std::atomic<bool> stop_{false};
    std::vector<std::wstring> items_;
    POINT topLeft_{};
    std::thread thread_;
};

std::wstring WindowText(HWND window);
