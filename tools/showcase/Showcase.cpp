// Shows the main window with the rows of a dropped folder, for tools/screenshot: the folder
// comes as the first argument, and the file named by the second appears once the picture
// can be taken. The settings file beside this program places the window and names 7-Zip.
#include "app/MainWindow.h"
#include "app/resource.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

namespace {

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(20);
    }
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 3) return 2;
    const std::wstring folder = arguments[1];
    const std::wstring ready = arguments[2];

    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterMainWindowClass(GetModuleHandleW(nullptr))) return 1;
    HWND window = CreateMainWindow(GetModuleHandleW(nullptr));
    if (!window) return 1;
    ShowMainWindow(window, GetModuleHandleW(nullptr), SW_SHOWNORMAL);

    // A drop as the shell makes it.
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (folder.size() + 2) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(folder.begin(), folder.end(), reinterpret_cast<wchar_t*>(drop + 1));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    while (ScanRunning()) Pump(50);
    ListView_SetItemState(GetDlgItem(window, ID_RESULT_LIST), 1, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);

    Pump(1000);
    HANDLE signal = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(signal);
    Pump(4000);
    DestroyWindow(window);
    LocalFree(arguments);
    return 0;
}
