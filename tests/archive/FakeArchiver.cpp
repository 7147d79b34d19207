// Stands in for 7z.exe in tests, printing scripted output no real archive gives: "t ARCHIVE"
// copies ARCHIVE.test to standard output (first waiting, for at most ten seconds, while
// ARCHIVE.hold exists), "l ARCHIVE" copies ARCHIVE.list (exit code 2 without one), "d ... ARCHIVE
// -- MEMBER" makes ARCHIVE.deleted, if any, the next listing. Started with a console, it fails.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3 || GetConsoleCP() != 0) return 2;  // with a console it was not started detached
    const std::wstring command = argv[1], archive = argv[command == L"d" && argc > 4 ? 4 : 2];
    const std::wstring hold = archive + L".hold";
    for (int i = 0; command == L"t" && i < 200 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    if (command == L"d") {
        DeleteFileW((archive + L".list").c_str());
        MoveFileW((archive + L".deleted").c_str(), (archive + L".list").c_str());
        return 0;
    }
    FILE* in = _wfopen((archive + (command == L"t" ? L".test" : L".list")).c_str(), L"rb");
    if (!in) return command == L"l" ? 2 : 0;
    char buffer[4096];
    DWORD written = 0;
    for (size_t got; (got = fread(buffer, 1, sizeof(buffer), in)) > 0;) {
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, static_cast<DWORD>(got), &written, nullptr);
    }
    return 0;
}
