// Stands in for 7z.exe in tests, printing scripted output no real archive gives: "t ARCHIVE"
// copies ARCHIVE.test to standard output, "l ARCHIVE" copies ARCHIVE.list (exit code 2 without
// one, or the number in ARCHIVE.code, as for "e"), "d ... ARCHIVE -u- -up1!NEW -- MEMBER" copies ARCHIVE to
// NEW and makes ARCHIVE.deleted, if any, NEW's listing, "e -so -spd -ssc ARCHIVE ..." copies
// ARCHIVE.extract. Started with a console, or outside a job that ends it with the program, it fails.
// With VELTRIMOX_FAKE_DELAY_MS in its environment it takes that long first, as 7-Zip does on a
// large archive. Beside a file "too-old" it ends as a 7-Zip too old for the switches in use does;
// with the handle VELTRIMOX_FAKE_STRAY_HANDLE names open in itself, with 3.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3 || GetConsoleCP() != 0) return 2;  // with a console it was not started detached
    // Outside the program's job it could outlive the program.
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) return 2;
    const std::wstring command = argv[1], archive = argv[command == L"d" && argc > 4 ? 4 : command == L"e" && argc > 5 ? 5 : 2];
    // Tests see a run under way by this name, and count the runs by the lines of calls.log ("ovl"
// for a run that started while another ran) (a
    // handle that only appends writes each line whole, however many runs write at once).
    CreateMutexW(nullptr, FALSE, L"VeltrimoxFakeArchiverRunning");
    const bool overlapping = GetLastError() == ERROR_ALREADY_EXISTS;  // another run has not ended yet
    const std::wstring self = argv[0];  // always started through its full path
    const std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    if (GetFileAttributesW((folder + L"too-old").c_str()) != INVALID_FILE_ATTRIBUTES) return 7;
    // A handle of the program's that is not its own to have: it must not have been handed over.
    DWORD flags = 0;
    if (const wchar_t* stray = _wgetenv(L"VELTRIMOX_FAKE_STRAY_HANDLE")) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(_wcstoui64(stray, nullptr, 10)), &flags)) return 3;
    }
    const HANDLE calls = CreateFileW((folder + L"calls.log").c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(calls, overlapping ? "ovl\n" : "run\n", 4, &written, nullptr);
    CloseHandle(calls);
    if (const wchar_t* delay = _wgetenv(L"VELTRIMOX_FAKE_DELAY_MS")) Sleep(static_cast<DWORD>(_wtoi(delay)));
    if (command == L"d" && argc > 6) {
        const std::wstring target = std::wstring(argv[6]).substr(5);  // after "-up1!"
        CopyFileW(archive.c_str(), target.c_str(), TRUE);
        MoveFileW((archive + L".deleted").c_str(), (target + L".list").c_str());
        return 0;
    }
    FILE* in = _wfopen((archive + (command == L"t" ? L".test" : command == L"e" ? L".extract" : L".list")).c_str(), L"rb");
    if (!in) return command == L"t" ? 0 : 2;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof(buffer), in)) > 0;)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, static_cast<DWORD>(got), &written, nullptr);
    FILE* code = command != L"t" ? _wfopen((archive + L".code").c_str(), L"rb") : nullptr;
    return code ? fgetc(code) - '0' : 0;
}
