#include "archive/ArchiverInterface.h"

#include "common/ScopedWin.h"

#include <vector>

namespace {

// CreateProcessW takes at most 32,767 code units, terminator included.
constexpr size_t kMaxCommandLine = 32766;

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

ScopedHandle OpenNul() {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return ScopedHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    OPEN_EXISTING, 0, nullptr));
}

// False when `cancel` came first: the archiver is then ended, and gone (its hold on the output
// file with it) before this returns.
bool WaitForArchiver(HANDLE process, HANDLE cancel) {
    const HANDLE waits[] = {process, cancel};
    if (WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, INFINITE) == WAIT_OBJECT_0) return true;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, INFINITE);
    return false;
}

}  // namespace

std::wstring LocateArchiver(const std::wstring& dir) {
    if (dir.empty()) return L"";
    std::wstring folder = dir;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring exe = folder + L"7z.exe";
    if (!IsFile(exe) || !IsFile(folder + L"7z.dll")) return L"";
    return exe;
}

std::wstring TestCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" t " + Quoted(archive) + L" -slt -ba -sccUTF-8";
}

std::wstring ListCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" l " + Quoted(archive) + L" -slt -ba -sccUTF-8";
}

std::wstring DeleteCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                               const std::wstring& innerPath) {
    return Quoted(archiverPath) + L" d -spd -ssc " + Quoted(archive) + L" -- " + Quoted(innerPath);
}

bool RunArchiver(const std::wstring& commandLine, HANDLE output, DWORD& exitCode, HANDLE cancel) {
    if (commandLine.size() > kMaxCommandLine) return false;

    // Input and error at NUL: a prompt (a password, say) fails at once instead of waiting for
    // an answer on a console nobody sees.
    ScopedHandle nul = OpenNul();
    if (!nul.IsValid()) return false;

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = output ? output : nul.Get();
    startup.hStdError = nul.Get();

    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    PROCESS_INFORMATION process{};
    // Detached rather than given a hidden console: a console host can hold the child's standard
    // handles after the child has ended (seen under Wine), which would keep the capture from
    // being read and deleted; without one nothing outlives the child, and no host is started
    // for each of the many runs a scan makes.
    if (!CreateProcessW(nullptr, line.data(), &inherit, &inherit, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    if (!WaitForArchiver(processHandle.Get(), cancel)) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(processHandle.Get(), &code)) return false;
    exitCode = code;
    return true;
}
