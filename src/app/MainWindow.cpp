#include "app/MainWindow.h"

#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "app/Settings.h"
#include "app/resource.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/DuplicatePairing.h"
#include "scan/FolderScan.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <windowsx.h>

#include <clocale>
#include <vector>

namespace {

const wchar_t kClassName[] = L"Veltrimox";
const wchar_t kTitle[] = L"Veltrimox";
const wchar_t kNoDuplicates[] = L"重複はありませんでした。";

AppState g_app;

HICON LoadAppIcon(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_LOADTRANSPARENT));
}

// Applies the stored placement. The stored numbers are workspace coordinates (what
// GetWindowPlacement reports); SetWindowPos takes screen coordinates, so the work area's
// origin is added, or a taskbar at the top or left would move the window at every start.
void ApplyPlacement(HWND hwnd, const Settings& settings) {
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    SetWindowPos(hwnd, nullptr, settings.x + workArea.left, settings.y + workArea.top, settings.width, settings.height,
                 SWP_NOZORDER);
}

// Scans the root folder afresh and fills the list; says so when there is no pair.
void RunScan(HWND hwnd) {
    SendMessageW(g_app.resultList, LVM_DELETEALLITEMS, 0, 0);
    ClearEntries(g_app.entries);
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // The steps of a scan, each using only what the one before it produced.
    const WalkedFiles files = ScanFolder(ScanContext{g_app.rootFolder, g_app.ignoreName}, g_app.rootFolder);
    g_app.entries = ExpandArchives(ExpansionRequest{g_app.archiverPath, g_app.rootFolder}, files).entries;
    g_app.rows = BuildPairs(g_app.entries);
    SetCursor(previous);
    ShowRows(ResultList{g_app.resultList, g_app.rows});
    if (SendMessageW(g_app.resultList, LVM_GETITEMCOUNT, 0, 0) == 0) {
        MessageBoxW(hwnd, kNoDuplicates, kTitle, MB_OK);
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

// While a command runs (its own dialogs and the shell's included), drops, F5 and the other
// commands wait their turn: they would rebuild or shrink the catalogue under the entry the
// command is acting on.
class CommandGuard {
public:
    CommandGuard() { g_app.commandRunning = true; }
    ~CommandGuard() { g_app.commandRunning = false; }
    CommandGuard(const CommandGuard&) = delete;
    CommandGuard& operator=(const CommandGuard&) = delete;
};

void RunFileCommand(HWND hwnd, int commandId) {
    CommandGuard guard;
    const CommandContext context{hwnd, ResultList{g_app.resultList, g_app.rows}, g_app.entries, g_app.rootFolder,
                                 g_app.archiverPath, SystemDialogs()};
    switch (commandId) {
        case ID_DELETE_FILE1: DeleteSelectedFile(context, 0); break;
        case ID_DELETE_FILE2: DeleteSelectedFile(context, 1); break;
        case ID_MOVE_FILE1: MoveSelectedFile(context, 0); break;
        case ID_MOVE_FILE2: MoveSelectedFile(context, 1); break;
        default: break;
    }
}

BOOL OnCreate(HWND hwnd, LPCREATESTRUCTW create) {
    const HINSTANCE instance = create->hInstance;
    g_app = AppState{};
    g_app.mainWindow = hwnd;
    g_app.settingsFile = SettingsFilePath();
    const Settings settings = LoadSettings(g_app.settingsFile);
    g_app.archiverPath = LocateArchiver(settings.archiverDir);
    g_app.ignoreName = settings.ignoreName;
    DragAcceptFiles(hwnd, TRUE);
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

void OnDropFiles(HWND hwnd, HDROP drop) {
    if (g_app.commandRunning) {
        // A scan now would rebuild the catalogue under the entry the command is acting on.
        DragFinish(drop);
        return;
    }
    g_app.rootFolder = FirstDroppedPath(drop);
    DragFinish(drop);
    if (!IsScannableFolder(g_app.rootFolder)) return;
    SetWindowTextW(hwnd, g_app.rootFolder.c_str());
    RunScan(hwnd);
}

void OnCommand(HWND hwnd, int id, HWND, UINT) {
    switch (id) {
        case ID_QUIT:
            SendMessageW(hwnd, WM_CLOSE, 0, 0);
            break;
        case ID_RESCAN:
            if (!g_app.commandRunning && IsScannableFolder(g_app.rootFolder)) RunScan(hwnd);
            break;
        case ID_MOVE_FILE1:
        case ID_MOVE_FILE2:
        case ID_DELETE_FILE1:
        case ID_DELETE_FILE2:
            if (!g_app.commandRunning) RunFileCommand(hwnd, id);
            break;
        default:
            break;
    }
}

void OnClose(HWND hwnd) {
    SavePlacement(hwnd, g_app.settingsFile);
    DestroyWindow(hwnd);
}

void OnDestroy(HWND) { PostQuitMessage(0); }

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(hwnd, WM_CREATE, OnCreate);
        HANDLE_MSG(hwnd, WM_SIZE, OnSize);
        HANDLE_MSG(hwnd, WM_NOTIFY, OnNotify);
        HANDLE_MSG(hwnd, WM_DROPFILES, OnDropFiles);
        HANDLE_MSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_MSG(hwnd, WM_CLOSE, OnClose);
        HANDLE_MSG(hwnd, WM_DESTROY, OnDestroy);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

const AppState& ApplicationState() { return g_app; }

bool IsScannableFolder(const std::wstring& path) {
    if (path.empty() || path.size() > kMaxPathChars) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HACCEL CreateKeyTable() {
    ACCEL keys[] = {{FVIRTKEY, VK_F5, ID_RESCAN}};
    return CreateAcceleratorTableW(keys, 1);
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
    const int exitCode = RunMessageLoop(window, keys);
    DestroyAcceleratorTable(keys);
    OleUninitialize();
    return exitCode;
}
