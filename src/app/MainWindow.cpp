#include "app/MainWindow.h"

#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "app/CommandRun.h"
#include "app/ScanRun.h"
#include "app/Settings.h"
#include "app/resource.h"
#include "archive/ArchiverInterface.h"
#include "common/PathText.h"
#include "common/ScopedWin.h"
#include "scan/FolderScan.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <clocale>
#include <utility>
#include <vector>

namespace {

const wchar_t kClassName[] = L"Veltrimox";
const wchar_t kTitle[] = L"Veltrimox";
const wchar_t kBusyReason[] = L"ファイルを書き換えています。終わるまでお待ちください。";

AppState g_app;

HICON LoadAppIcon(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_LOADTRANSPARENT));
}

// Applies the stored placement. The stored numbers are workspace coordinates (what
// GetWindowPlacement reports); SetWindowPos takes screen coordinates, so the work area's
// origin is added, or a taskbar at the top or left would move the window at every start.
// A placement that no monitor's work area shows any more (a monitor unplugged, a laptop
// undocked) goes onto the nearest monitor, keeping its size where it fits.
void ApplyPlacement(HWND hwnd, const Settings& settings) {
    // Restored the way it was stored (GetWindowPlacement's coordinates, relative to the work area
    // of the window's own monitor): a window on a monitor whose taskbar lies elsewhere than the
    // primary one's opens where it closed.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (GetWindowPlacement(hwnd, &placement)) {
        placement.flags = 0;
        placement.showCmd = SW_HIDE;  // shown afterwards, as the start asks
        placement.rcNormalPosition = RECT{settings.x, settings.y, settings.x + settings.width, settings.y + settings.height};
        SetWindowPlacement(hwnd, &placement);
    }
    // A placement off every screen (a monitor since unplugged) opens on the nearest one.
    RECT wanted{};
    GetWindowRect(hwnd, &wanted);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT shown{};
    if (GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &monitor) &&
        !IntersectRect(&shown, &wanted, &monitor.rcWork)) {
        const RECT& work = monitor.rcWork;
        const LONG width = std::min(wanted.right - wanted.left, work.right - work.left);
        const LONG height = std::min(wanted.bottom - wanted.top, work.bottom - work.top);
        const LONG left = std::clamp(wanted.left, work.left, work.right - width);
        const LONG top = std::clamp(wanted.top, work.top, work.bottom - height);
        SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The whole path of the first dropped item; empty when it cannot be read.
std::wstring FirstDroppedPath(HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) return L"";
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    if (DragQueryFileW(drop, 0, buffer.data(), length + 1) != length) return L"";
    return std::wstring(buffer.data(), length);
}

BOOL OnCreate(HWND hwnd, LPCREATESTRUCTW create) {
    const HINSTANCE instance = create->hInstance;
    g_app = AppState{};
    g_app.mainWindow = hwnd;
    g_app.settingsFile = SettingsFilePath();
    g_app.roamingSettingsFile = RoamingSettingsPath();
    const Settings settings = LoadSettings(g_app.settingsFile, g_app.roamingSettingsFile);
    g_app.archiverDir = settings.archiverDir;
    SweepTemporaryFiles();  // list files a run that ended otherwise could not remove
    g_app.ignoreName = settings.ignoreName;
    DragAcceptFiles(hwnd, TRUE);
    // An elevated window gets no drop from a normal Explorer unless these messages may come in.
    for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, UINT{0x0049} /* WM_COPYGLOBALDATA */}) {
        ChangeWindowMessageFilterEx(hwnd, message, MSGFLT_ALLOW, nullptr);
    }
    g_app.menuResource = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_CONTEXT_MENU));
    g_app.contextMenu = GetSubMenu(g_app.menuResource, 0);
    ApplyPlacement(hwnd, settings);
    g_app.resultList = CreateResultList(hwnd, ID_RESULT_LIST);
    return TRUE;
}

void OnSize(HWND, UINT, int width, int height) { MoveWindow(g_app.resultList, 0, 0, width, height, TRUE); }

LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) {
    if (controlId != ID_RESULT_LIST) return 0;
    if (header->code == LVN_GETDISPINFOW) AnswerDisplayInfo(g_app.rows, *reinterpret_cast<NMLVDISPINFOW*>(header));
    // Typing a letter in the list looks for a row; no row is offered rather than row 0.
    if (header->code == LVN_ODFINDITEMW) return -1;
    if (header->code == static_cast<UINT>(NM_RCLICK)) {
        POINT cursor{};
        GetCursorPos(&cursor);
        TrackPopupMenu(g_app.contextMenu, TPM_LEFTBUTTON, cursor.x, cursor.y, 0, hwnd, nullptr);
    }
    return 0;
}

// A folder dropped or given at start: scanned, its path in the title. A file changes nothing.
void OpenFolder(HWND hwnd, const std::wstring& path) {
    g_app.rootFolder = path;
    if (!IsScannableFolder(g_app.rootFolder)) return;
    StopScan(hwnd);
    SetWindowTextW(hwnd, g_app.rootFolder.c_str());
    StartScan(hwnd);
}

void OnDropFiles(HWND hwnd, HDROP drop) {
    if (g_app.commandRunning) {
        // A scan now would rebuild the catalogue under the entry the command is acting on.
        DragFinish(drop);
        return;
    }
    const std::wstring path = FirstDroppedPath(drop);
    DragFinish(drop);
    OpenFolder(hwnd, path);
}

void OnOpenStartFolder(HWND hwnd) {
    if (!g_app.commandRunning && !g_app.startFolder.empty()) OpenFolder(hwnd, std::exchange(g_app.startFolder, L""));
}

// The scan's thread has ended; the timer looks too, in case this message was lost.
void OnScanDone(HWND hwnd) { FinishScan(hwnd); }

void OnTimer(HWND hwnd, UINT id) {
    if (id == ID_SCAN_PROGRESS_TIMER) ShowScanProgress(hwnd);
}

BOOL OnSetCursor(HWND hwnd, HWND cursorWindow, UINT hitTest, UINT mouseMessage) {
    if ((ScanRunning() || g_app.commandWorking) && hitTest == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    }
    return FORWARD_WM_SETCURSOR(hwnd, cursorWindow, hitTest, mouseMessage, DefWindowProcW);
}

void OnCommand(HWND hwnd, int id, HWND, UINT) {
    switch (id) {
        case ID_QUIT:
            SendMessageW(hwnd, WM_CLOSE, 0, 0);
            break;
        case ID_RESCAN:
            if (!g_app.commandRunning && !ScanRunning() && IsScannableFolder(g_app.rootFolder)) StartScan(hwnd);
            break;
        case ID_STOP_SCAN:
            StopScan(hwnd);
            break;
        case ID_MOVE_FILE1:
        case ID_MOVE_FILE2:
        case ID_DELETE_FILE1:
        case ID_DELETE_FILE2:
            if (!g_app.commandRunning && !ScanRunning()) RunFileCommand(hwnd, id);
            break;
        default:
            break;
    }
}

void OnClose(HWND hwnd) {
    // Never in the middle of a command: the archiver may be rewriting an archive.
    if (g_app.commandRunning) {
        g_app.closePending = true;
        StopCommandStep();
        return;
    }
    StopScan(hwnd);
    (void)SavePlacement(hwnd, g_app.settingsFile, g_app.roamingSettingsFile);  // nowhere left to say it at the end
    DestroyWindow(hwnd);
}

// While a command's step runs (an archive rewritten, a file copied to another drive), the
// session waits for it, with a word to the user.
BOOL OnQueryEndSession(HWND hwnd) {
    if (!g_app.commandWorking) return TRUE;
    ShutdownBlockReasonCreate(hwnd, kBusyReason);
    return FALSE;
}

// Windows is ending the session: the scan stops, and its archiver runs with it; the placement
// is kept as at a close.
void OnEndSession(HWND hwnd, BOOL ending) {
    if (!ending) return;
    StopScan(hwnd);
    (void)SavePlacement(hwnd, g_app.settingsFile, g_app.roamingSettingsFile);  // nowhere left to say it at the end
}

void OnDestroy(HWND hwnd) {
    StopScan(hwnd);  // its thread must not outlive the window it reports to
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(hwnd, WM_CREATE, OnCreate);
        HANDLE_MSG(hwnd, WM_SIZE, OnSize);
        HANDLE_MSG(hwnd, WM_NOTIFY, OnNotify);
        HANDLE_MSG(hwnd, WM_DROPFILES, OnDropFiles);
        HANDLE_MSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_MSG(hwnd, WM_CLOSE, OnClose);
        HANDLE_MSG(hwnd, WM_DESTROY, OnDestroy);
        HANDLE_MSG(hwnd, WM_TIMER, OnTimer);
        HANDLE_MSG(hwnd, WM_SETCURSOR, OnSetCursor);
        HANDLE_MSG(hwnd, WM_QUERYENDSESSION, OnQueryEndSession);
        HANDLE_MSG(hwnd, WM_ENDSESSION, OnEndSession);
        case WM_SCAN_DONE:
            OnScanDone(hwnd);
            return 0;
        case WM_OPEN_START_FOLDER:
            OnOpenStartFolder(hwnd);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

AppState& App() { return g_app; }

const AppState& ApplicationState() { return g_app; }

void UseDialogs(CommandDialogs dialogs) { g_app.dialogs = std::move(dialogs); }

void UseScanSteps(ScanSteps steps) { g_app.scanSteps = std::move(steps); }

void UseThreadStarter(ThreadStarter start) { g_app.startThread = std::move(start); }

std::wstring FolderFromCommandLine(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    std::wstring folder = arguments && count >= 2 ? arguments[1] : L"";
    LocalFree(arguments);
    // "D:\data\" reaches the program as D:\data" (a backslash before a quote escapes it): the
    // backslash meant, as in "D:\" for a drive.
    if (!folder.empty() && folder.back() == L'"') folder.back() = L'\\';
    if (folder.empty()) return L"";
    std::wstring full(MAX_PATH, L'\0');
    for (DWORD length = 0;;) {
        length = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0) return L"";
        if (length < full.size()) {
            full.resize(length);
            if (full.size() > 3 && full.back() == L'\\') full.pop_back();  // as a drop names it; "D:\" stays
            return full;
        }
        full.resize(length);
    }
}

void OpenStartFolder(HWND window, const std::wstring& commandLine) {
    g_app.startFolder = FolderFromCommandLine(commandLine);
    if (!g_app.startFolder.empty()) PostMessageW(window, WM_OPEN_START_FOLDER, 0, 0);
}

bool IsScannableFolder(const std::wstring& path) {
    if (path.empty() || path.size() > kMaxPathChars) return false;
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HACCEL CreateKeyTable() {
    ACCEL keys[] = {{FVIRTKEY, VK_F5, ID_RESCAN}, {FVIRTKEY, VK_ESCAPE, ID_STOP_SCAN}};
    return CreateAcceleratorTableW(keys, 2);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadAppIcon(instance, IDI_APP_LARGE, 32);
    windowClass.hIconSm = LoadAppIcon(instance, IDI_APP_SMALL, 16);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

void ShowMainWindow(HWND window, HINSTANCE instance, int showCommand) {
    ShowWindow(window, showCommand);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadAppIcon(instance, IDI_APP_LARGE, 32)));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadAppIcon(instance, IDI_APP_SMALL, 16)));
}

int RunMessageLoop(HWND mainWindow, HACCEL keys) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (TranslateAcceleratorW(mainWindow, keys, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int RunApplication(HINSTANCE instance, int showCommand) {
    // The folder picker's new dialog style needs OLE; the runtime's letter-case rules (the
    // ignored folder name) follow the user's locale from the first scan on.
    OleInitialize(nullptr);
    setlocale(LC_ALL, "");
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    HACCEL keys = CreateKeyTable();
    if (!RegisterMainWindowClass(instance)) return 1;
    HWND window = CreateMainWindow(instance);
    if (!window) return 1;  // nothing could ever end a message loop without its window
    ShowMainWindow(window, instance, showCommand);
    OpenStartFolder(window, GetCommandLineW());
    const int exitCode = RunMessageLoop(window, keys);
    DestroyAcceleratorTable(keys);
    OleUninitialize();
    return exitCode;
}
