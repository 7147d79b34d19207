// Shows the main window with the rows of a folder, for tools/screenshot and tools/run: the
// folder comes as the first argument and is opened as the program opens one given at start;
// the file named by the second appears, holding the number of rows, once the picture can be
// taken. The settings file beside this program places the window and names 7-Zip.
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

    UseDialogs({[](HWND, const std::wstring&, UINT) { return IDOK; }, {}});  // a note would hide the rows
    OpenStartFolder(window, L"Veltrimox.exe \"" + folder + L"\"");
    Pump(200);
    while (ScanRunning()) Pump(50);
    const HWND list = GetDlgItem(window, ID_RESULT_LIST);
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const std::string rows = std::to_string(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));

    Pump(1000);
    HANDLE signal = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(signal, rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
    CloseHandle(signal);
    Pump(4000);
    DestroyWindow(window);
    LocalFree(arguments);
    return 0;
}
