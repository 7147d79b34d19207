// Stands in for 7z.exe in tests: prints scripted output no real archive gives. For the
// command "t" it copies "<archive>.test" to standard output, for "l" "<archive>.list" (failing
// without one), byte for byte; "d" makes "<archive>.deleted", if any, the next listing. Every
// call's command line is appended to "calls.log" beside this program. With
// VELTRIMOX_FAKE_DELAY_MS in its environment it takes that long before answering, as 7-Zip
// does on a large archive.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void AppendToFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool CopyToOutput(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        DWORD written = 0;
        WriteFile(out, buffer, got, &written, nullptr);
    }
    CloseHandle(file);
    return true;
}

}  // namespace

int main() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    folder.erase(folder.find_last_of(L'\\') + 1);
    AppendToFile(folder + L"calls.log", Utf8(GetCommandLineW()) + "\n");

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    const std::wstring command = argv[1];
    const std::wstring archive = argv[command == L"d" && argc > 4 ? 4 : 2];
    int code = 0;
    wchar_t delay[16] = {};
    if (GetEnvironmentVariableW(L"VELTRIMOX_FAKE_DELAY_MS", delay, 16)) Sleep(static_cast<DWORD>(_wtoi(delay)));
    if (command == L"t") CopyToOutput(archive + L".test");
    if (command == L"l" && !CopyToOutput(archive + L".list")) code = 2;
    if (command == L"d") {
        DeleteFileW((archive + L".list").c_str());
        MoveFileW((archive + L".deleted").c_str(), (archive + L".list").c_str());
    }
    LocalFree(argv);
    return code;
}
