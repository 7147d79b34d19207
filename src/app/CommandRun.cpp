#include "app/CommandRun.h"

#include "actions/FileCommands.h"
#include "app/AppState.h"
#include "app/resource.h"
#include "common/ScopedWin.h"

#include <atomic>
#include <functional>
#include <utility>

namespace {

// While a command runs (its own dialogs and the shell's included), drops, F5 and the other
// commands wait their turn: they would rebuild or shrink the catalogue under the entry the
// command is acting on.
class CommandGuard {
public:
    CommandGuard() { App().commandRunning = true; }
    ~CommandGuard() { App().commandRunning = false; }
    CommandGuard(const CommandGuard&) = delete;
    CommandGuard& operator=(const CommandGuard&) = delete;
};

// Set by Esc or a close while a command's step runs: a comparison stops, nothing is deleted.
std::atomic<bool> g_stopStep{false};
const HANDLE g_stepStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// A command's long step on a thread of its own, while this thread keeps the window answering
// (the command still counts as running: drops, F5 and other commands wait, a close too). While
// it runs, the session does not end without the user's word.
bool RunLongStep(const std::function<bool(const StepControl&)>& step) {
    g_stopStep = false;
    ResetEvent(g_stepStopped);
    const StepControl control{{}, {}, &g_stopStep, g_stepStopped};
    struct Call {
        const std::function<bool(const StepControl&)>& step;
        const StepControl& control;
        bool result;
    } call{step, control, false};
    const auto body = [](void* parameter) -> DWORD {
        Call& c = *static_cast<Call*>(parameter);
        c.result = c.step(c.control);
        return 0;
    };
    ScopedHandle thread(CreateThread(nullptr, 0, body, &call, 0, nullptr));
    if (!thread.IsValid()) return step(control);
    App().commandWorking = true;
    RefreshCursor(App().mainWindow);
    const HANDLE ends = thread.Get();
    int quit = -1;  // a WM_QUIT met meanwhile is passed on afterwards
    while (MsgWaitForMultipleObjects(1, &ends, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (quit < 0 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = static_cast<int>(message.wParam);
                break;
            }
            if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) StopCommandStep();
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (quit >= 0) WaitForSingleObject(ends, INFINITE);
    }
    if (quit >= 0) PostQuitMessage(quit);
    App().commandWorking = false;
    ShutdownBlockReasonDestroy(App().mainWindow);
    RefreshCursor(App().mainWindow);
    return call.result;
}

}  // namespace

void RunFileCommand(HWND hwnd, int commandId) {
    {
        CommandGuard guard;
        const CommandContext context{hwnd, ResultList{App().resultList, App().rows}, App().rootFolder, App().archiverPath,
                                     App().dialogs, RunLongStep};
        switch (commandId) {
            case ID_DELETE_FILE1: DeleteSelectedFile(context, 0); break;
            case ID_DELETE_FILE2: DeleteSelectedFile(context, 1); break;
            case ID_MOVE_FILE1: MoveSelectedFile(context, 0); break;
            case ID_MOVE_FILE2: MoveSelectedFile(context, 1); break;
            default: break;
        }
    }
    if (std::exchange(App().closePending, false)) SendMessageW(hwnd, WM_CLOSE, 0, 0);
}

void StopCommandStep() {
    g_stopStep = true;
    SetEvent(g_stepStopped);
}
