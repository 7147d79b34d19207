#include "archive/ArchiverInterface.h"

#include "common/ScopedWin.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// CreateProcessW takes at most 32,767 code units, terminator included.
constexpr size_t kMaxCommandLine = 32766;
constexpr DWORD kReadBytes = 64 * 1024;
// Decoding in pieces keeps every count far below what an int holds.
constexpr size_t kDecodePiece = 1u << 20;

// A password nobody uses: an encrypted archive then fails its test at once. Without one the
// archiver would ask, and a prompt that meets the end of its input ends a whole run.
const wchar_t kSwitches[] = L" -slt -sccUTF-8 -p0";

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

std::wstring BatchLine(const std::wstring& archiverPath, const wchar_t* command, const std::wstring& listFile) {
    // -an: no names on the command line; -scs: the list file's character set.
    return Quoted(archiverPath) + command + L" -an -ai@" + Quoted(listFile) + L" -scsUTF-8" + kSwitches;
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
    return Quoted(archiverPath) + L" t " + Quoted(archive) + L" -ba" + kSwitches;
}

std::wstring ListCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" l " + Quoted(archive) + L" -ba" + kSwitches;
}

std::wstring BatchTestCommandLine(const std::wstring& archiverPath, const std::wstring& listFile) {
    return BatchLine(archiverPath, L" t -ba", listFile);
}

std::wstring BatchListCommandLine(const std::wstring& archiverPath, const std::wstring& listFile) {
    return BatchLine(archiverPath, L" l", listFile);
}

std::wstring DeleteCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                               const std::wstring& innerPath) {
    return Quoted(archiverPath) + L" d -spd -ssc " + Quoted(archive) + L" -- " + Quoted(innerPath);
}

bool IsLiteralMemberName(const std::wstring& innerPath) {
    if (innerPath.find_first_of(L"\":") != std::wstring::npos) return false;
    for (size_t start = 0;;) {
        const size_t end = std::min(innerPath.find_first_of(L"\\/", start), innerPath.size());
        const std::wstring part = innerPath.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..") return false;
        if (end == innerPath.size()) return true;
        start = end + 1;
    }
}

std::wstring DecodeUtf8(const std::string& bytes) {
    std::wstring text;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = std::min(bytes.size(), start + kDecodePiece);
        // Never cut a character: step back over continuation bytes (at most three).
        for (int back = 0; end < bytes.size() && back < 3 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80;
             ++back) {
            --end;
        }
        const int count = static_cast<int>(end - start);
        const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, count, nullptr, 0);
        const size_t at = text.size();
        text.resize(at + static_cast<size_t>(size));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, count, &text[at], size);
        start = end;
    }
    return text;
}

bool OutputLines::Deliver(const OutputLineSink& sink) {
    line_ = DecodeUtf8(pending_);
    pending_.clear();
    return sink(line_);
}

bool OutputLines::Feed(const char* bytes, size_t count, const OutputLineSink& sink) {
    const char* end = bytes + count;
    while (bytes < end) {
        const char* feed = std::find(bytes, end, '\n');
        pending_.append(bytes, feed);
        if (feed == end) break;
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        pending_.push_back('\n');
        if (!Deliver(sink)) return false;
        bytes = feed + 1;
    }
    return true;
}

bool OutputLines::Finish(const OutputLineSink& sink) { return pending_.empty() || Deliver(sink); }

bool RunArchiver(const std::wstring& commandLine, const OutputLineSink& sink, DWORD& exitCode,
                 const StepControl& control) {
    if (commandLine.size() > kMaxCommandLine) return false;

    // Input and error at NUL: a prompt fails at once instead of waiting for an answer on a
    // console nobody sees.
    ScopedHandle nul = OpenNul();
    if (!nul.IsValid()) return false;

    // Only the child's end of the pipe is inheritable: the parent's end, inherited, would keep
    // the pipe open after the child has ended. Runs started at once from several threads take
    // turns from here until the child's end is closed, or a child would inherit another's end.
    static std::mutex starting;
    std::unique_lock<std::mutex> turn(starting);
    ScopedHandle readEnd, writeEnd;
    if (sink) {
        HANDLE read = nullptr, write = nullptr;
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(&read, &write, &inherit, 0)) return false;
        readEnd.Reset(read);
        writeEnd.Reset(write);
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = sink ? writeEnd.Get() : nul.Get();
    startup.hStdError = nul.Get();

    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION process{};
    // Detached rather than given a hidden console: a console host can hold the child's standard
    // handles after the child has ended (seen under Wine), which would keep the pipe from ever
    // reporting its end; without one nothing outlives the child.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    writeEnd.Reset();  // from now on the pipe ends when the child does
    turn.unlock();

    // A stop must not wait for output that may be long in coming: the child is ended as soon
    // as the caller asks, and the read below then sees the pipe's end.
    std::thread watcher;
    if (control.cancelEvent) {
        watcher = std::thread([&processHandle, &control] {
            const HANDLE waits[] = {processHandle.Get(), control.cancelEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
                TerminateProcess(processHandle.Get(), 1);
            }
        });
    }

    bool stopped = false;
    if (sink) {
        OutputLines lines;
        std::vector<char> buffer(kReadBytes);
        DWORD got = 0;
        while (!stopped && ReadFile(readEnd.Get(), buffer.data(), kReadBytes, &got, nullptr) && got > 0) {
            stopped = control.Cancelled() || !lines.Feed(buffer.data(), got, sink);
        }
        if (!stopped) stopped = !lines.Finish(sink);
        if (stopped) TerminateProcess(processHandle.Get(), 1);
    }
    WaitForSingleObject(processHandle.Get(), INFINITE);
    if (watcher.joinable()) watcher.join();
    DWORD code = 0;
    if (stopped || control.Cancelled() || !GetExitCodeProcess(processHandle.Get(), &code)) return false;
    exitCode = code;
    return true;
}
