// Answers the modal dialogs and menus a window opens while the test thread is inside them:
// a second thread finds each one, records what it shows and presses a button, as a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenDialog {
    std::wstring caption;
    std::wstring text;                  // a message box's message
    std::vector<std::wstring> buttons;  // visible buttons, in creation order
    bool hasIcon = false;
};

class DialogAnswerer {
public:
    // Answers the dialogs owned by `owner` in turn with the given command ids (IDOK, IDYES,
    // IDNO, IDCANCEL...). A callback may act on a dialog before it is answered, and returns
    // another id to answer with instead, or 0 for the planned one.
    using Action = int (*)(HWND dialog, void* context);
    DialogAnswerer(HWND owner, std::vector<int> answers, Action beforeAnswer = nullptr, void* context = nullptr);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    // Waits for the thread (at most a few seconds) and returns what it saw.
    std::vector<SeenDialog> Finish();

private:
    void Run();

    HWND owner_;
    std::vector<int> answers_;
    Action beforeAnswer_;
    void* context_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenDialog> seen_;
    std::thread thread_;
};

// Reads the popup menu that opens while the test thread is inside TrackPopupMenu, then closes it.
class MenuWatcher {
public:
    MenuWatcher();
    ~MenuWatcher();
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;
    // Item texts (empty when no menu opened) and the menu window's top-left corner.
    std::vector<std::wstring> Finish(POINT* topLeft = nullptr);

private:
    std::atomic<bool> stop_{false};
    std::vector<std::wstring> items_;
    POINT topLeft_{};
    std::thread thread_;
};

std::wstring WindowText(HWND window);
