// The program's entry point. The main window comes with the application shell; until then the
// program has nothing to show and says so instead of pretending to run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxW(nullptr, L"The main window is not built yet.", L"Veltrimox", MB_OK | MB_ICONINFORMATION);
    return 1;
}
