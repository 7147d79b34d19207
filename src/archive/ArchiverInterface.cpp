#include "archive/ArchiverInterface.h"

#include "common/PathText.h"
#include "common/ScopedWin.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// CreateProcessW takes at most 32,767 code units, terminator included.
constexpr size_t kMaxCommandLine = 32766;
constexpr DWORD kReadBytes = 64 * 1024;
// How long the reader waits for more output before it looks again.
constexpr DWORD kPollMs = 10;
// Decoding in pieces keeps every count far below what an int holds.
constexpr size_t kDecodePiece = 1u << 20;

// A password nobody uses: an encrypted archive then fails its test at once. Without one the
// archiver would ask, and a prompt that meets the end of its input ends a whole run.
const wchar_t kSwitches[] = L" -slt -sccUTF-8 -p0";

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
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

// "vlx<pid>-<n>.tmp" in `folder`, each time another n.
std::wstring TemporaryName(const std::wstring& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + L"vlx" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
}

// The process a temporary file's name says made it: 0 for another name; `old` for a name an
// earlier version made ("vlx" and one to four hexadecimal digits).
DWORD OwnerOfTemporaryName(const std::wstring& name, bool& old) {
    old = false;
    if (name.size() < 8 || _wcsnicmp(name.c_str(), L"vlx", 3) != 0 || _wcsicmp(name.c_str() + name.size() - 4, L".tmp") != 0) return 0;
    const std::wstring middle = name.substr(3, name.size() - 7);
    const size_t dash = middle.find(L'-');
    const auto digits = [](const std::wstring& text, const wchar_t* set) {
        return !text.empty() && text.size() <= 10 && text.find_first_not_of(set) == std::wstring::npos;
    };
    if (dash == std::wstring::npos) {
        old = middle.size() <= 4 && digits(middle, L"0123456789ABCDEFabcdef");
        return 0;
    }
    if (!digits(middle.substr(0, dash), L"0123456789") || !digits(middle.substr(dash + 1), L"0123456789")) return 0;
    return static_cast<DWORD>(std::stoul(middle.substr(0, dash)));
}

bool IsProcessRunning(DWORD pid) {
    const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    DWORD code = 0;
    // A process that cannot be opened may be another user's: it counts as running.
    if (!process.IsValid()) return GetLastError() == ERROR_ACCESS_DENIED;
    return GetExitCodeProcess(process.Get(), &code) && code == STILL_ACTIVE;
}

// The child's standard output: a temporary file of its own, read while the child writes it. A
// pipe would cost a switch to the reader for every line (about 140 µs each under Wine, where a
// large listing takes minutes). The file goes when its last handle closes, also when the
// program ends otherwise.
class CaptureFile {
public:
    CaptureFile() = default;
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    [[nodiscard]] bool Open() {
        const std::optional<std::wstring> folder = TempFolder();
        if (!folder) return false;
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        for (int attempt = 0; attempt < 100 && !child_.IsValid(); ++attempt) {
            path_ = TemporaryName(*folder);
            child_.Reset(CreateFileW(path_.c_str(), GENERIC_WRITE, share, &inherit, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
            if (!child_.IsValid() && GetLastError() != ERROR_FILE_EXISTS) return false;
        }
        reader_.Reset(CreateFileW(path_.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        return child_.IsValid() && reader_.IsValid();
    }
    [[nodiscard]] HANDLE ChildEnd() const { return child_.Get(); }
    void CloseChildEnd() { child_.Reset(); }
    [[nodiscard]] HANDLE ReaderEnd() const { return reader_.Get(); }
    [[nodiscard]] std::wstring Folder() const { return path_.substr(0, path_.find_last_of(L'\\') + 1); }

private:
    std::wstring path_;
    ScopedHandle child_, reader_;
};

// Every archiver run is in one job that ends it when the program ends, however it ends: a crash
// or a kill would otherwise leave it running with the archive open. Null when the system has
// none to give (the runs then go without).
HANDLE ArchiverJob() {
    static const HANDLE job = [] {
        const HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created && !SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
            CloseHandle(created);
            return HANDLE{};
        }
        return created;
    }();
    return job;
}

}  // namespace

std::optional<std::wstring> TempFolder() {
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(MAX_PATH + 1, &folder[0]);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    folder.resize(length);
    return folder;
}

std::wstring MakeTemporaryFile() {
    const std::optional<std::wstring> folder = TempFolder();
    for (int attempt = 0; folder && attempt < 100; ++attempt) {
        const std::wstring path = TemporaryName(*folder);
        const ScopedHandle made(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (made.IsValid()) return path;
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return L"";
}

size_t SweepTemporaryFiles() {
    const std::optional<std::wstring> folder = TempFolder();
    if (!folder) return 0;
    WIN32_FIND_DATAW found{};
    const ScopedFindHandle search(FindFirstFileW((*folder + L"vlx*.tmp").c_str(), &found));
    size_t swept = 0;
    for (bool more = search.IsValid(); more; more = FindNextFileW(search.Get(), &found) != FALSE) {
        bool old = false;
        const DWORD owner = OwnerOfTemporaryName(found.cFileName, old);
        if ((old || (owner != 0 && !IsProcessRunning(owner))) && DeleteFileW((*folder + found.cFileName).c_str())) ++swept;
    }
    return swept;
}

std::wstring LocateArchiver(const std::wstring& dir) {
    if (dir.empty()) return L"";
    std::wstring folder = dir;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring exe = folder + L"7z.exe";
    if (!IsFile(exe) || !IsFile(folder + L"7z.dll")) return L"";
    return exe;
}

namespace {

std::wstring RegistryText(HKEY root, REGSAM view, const wchar_t* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, L"SOFTWARE\\7-Zip", 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return L"";
    DWORD bytes = 0;
    std::wstring text;
    if (RegGetValueW(key, nullptr, value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) == ERROR_SUCCESS && bytes >= 2) {
        text.assign(bytes / sizeof(wchar_t), L'\0');
        if (RegGetValueW(key, nullptr, value, RRF_RT_REG_SZ, nullptr, &text[0], &bytes) != ERROR_SUCCESS) text.clear();
        text.resize(wcslen(text.c_str()));
    }
    RegCloseKey(key);
    return text;
}

std::wstring EnvironmentText(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return L"";
    std::wstring text(size, L'\0');
    text.resize(GetEnvironmentVariableW(name, &text[0], size));
    return text;
}

// A run of the batch test over a list that names only itself: a 7z.exe that knows every switch
// this program gives ends with 0 to 2 (the list is no archive); one that does not, with 7.
bool RunsOwnCommandLines(const std::wstring& exe) {
    const std::wstring name = MakeTemporaryFile();
    if (name.empty()) return false;
    char utf8[4 * MAX_PATH] = {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
    DWORD written = 0, exitCode = 7;
    bool ran = false;
    {
        ScopedHandle list(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING, 0, nullptr));
        ran = list.IsValid() && bytes > 1 && WriteFile(list.Get(), utf8, static_cast<DWORD>(bytes - 1), &written, nullptr);
    }
    ran = ran && RunArchiver(BatchTestCommandLine(exe, name), [](const std::wstring&) { return true; }, exitCode);
    DeleteFileW(name.c_str());
    return ran && exitCode <= 2;
}

}  // namespace

std::vector<std::wstring> ArchiverFolders(const std::wstring& dir) {
    std::vector<std::wstring> folders{dir};
    const std::pair<HKEY, REGSAM> keys[] = {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}, {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
                                            {HKEY_CURRENT_USER, 0}};
    for (const auto& [root, view] : keys) {
        for (const wchar_t* value : {L"Path64", L"Path"}) folders.push_back(RegistryText(root, view, value));
    }
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)"}) {
        const std::wstring programs = EnvironmentText(name);
        folders.push_back(programs.empty() ? L"" : programs + L"\\7-Zip");
    }
    folders.erase(std::remove(folders.begin(), folders.end(), std::wstring()), folders.end());
    return folders;
}

std::wstring FindArchiver(const std::wstring& dir) {
    for (const std::wstring& folder : ArchiverFolders(dir)) {
        const std::wstring exe = LocateArchiver(folder);
        if (!exe.empty() && RunsOwnCommandLines(exe)) return exe;
    }
    return L"";
}

std::wstring TestCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" t " + Quoted(archive) + L" -ba" + kSwitches;
}

std::wstring ListCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" l " + Quoted(archive) + L" -ba" + kSwitches;
}

std::wstring ShapeCommandLine(const std::wstring& archiverPath, const std::wstring& archive) {
    return Quoted(archiverPath) + L" l " + Quoted(archive) + kSwitches;
}

std::wstring BatchTestCommandLine(const std::wstring& archiverPath, const std::wstring& listFile) {
    return BatchLine(archiverPath, L" t -ba", listFile);
}

std::wstring BatchListCommandLine(const std::wstring& archiverPath, const std::wstring& listFile) {
    return BatchLine(archiverPath, L" l", listFile);
}

std::wstring DeleteCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                               const std::wstring& innerPath, const std::wstring& newArchive) {
    // -u-: the archive itself is not updated; -up1!NEW: what is kept goes into NEW instead.
    return Quoted(archiverPath) + L" d -spd -ssc " + Quoted(archive) + L" -u- " + Quoted(L"-up1!" + newArchive) +
           L" -- " + Quoted(innerPath);
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

namespace {

// Children that could not be put in the job (the system forbids nested jobs): ended by hand
// when their run ends otherwise and when the program ends.
std::mutex g_loose;
std::vector<HANDLE> g_looseChildren;

void EndLooseChildren() {
    std::lock_guard<std::mutex> hold(g_loose);
    for (const HANDLE child : g_looseChildren) TerminateProcess(child, 1);
}

void TrackLooseChild(HANDLE child, bool track) {
    static const bool registered = std::atexit(EndLooseChildren) == 0;
    (void)registered;
    std::lock_guard<std::mutex> hold(g_loose);
    if (track) {
        g_looseChildren.push_back(child);
    } else {
        g_looseChildren.erase(std::remove(g_looseChildren.begin(), g_looseChildren.end(), child), g_looseChildren.end());
    }
}

// What a child is started with: only its own handles (standard input and error at NUL, output
// at `output`), and, where the system can, membership of the job from its first instruction.
class ChildAttributes {
public:
    ChildAttributes(HANDLE output, HANDLE nul, HANDLE job) : handles_{nul} {
        if (output && output != nul) handles_.push_back(output);
        SIZE_T bytes = 0;
        InitializeProcThreadAttributeList(nullptr, 2, 0, &bytes);
        storage_.resize(bytes);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (bytes == 0 || !InitializeProcThreadAttributeList(list, 2, 0, &bytes)) return;
        list_ = list;
        UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(), handles_.size() * sizeof(HANDLE),
                                  nullptr, nullptr);
        constexpr DWORD_PTR kJobList = 0x2000D;  // PROC_THREAD_ATTRIBUTE_JOB_LIST, Windows 10 and later
        job_ = job;
        jobList_ = job && UpdateProcThreadAttribute(list_, 0, kJobList, &job_, sizeof(job_), nullptr, nullptr) != FALSE;
    }
    ~ChildAttributes() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    ChildAttributes(const ChildAttributes&) = delete;
    ChildAttributes& operator=(const ChildAttributes&) = delete;
    [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }
    [[nodiscard]] bool InJobFromTheStart() const { return jobList_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    HANDLE job_ = nullptr;
    bool jobList_ = false;
};

// Starts `commandLine` hidden with `output` as its standard output (input and error at NUL), in
// the job. `output` must be inheritable; only it and `nul` are handed over. Where the system
// cannot start a child in the job, it starts suspended and is put there before it runs; where
// that fails, it breaks away from the program's own job, or else is ended by hand.
bool StartArchiver(const std::wstring& commandLine, HANDLE output, HANDLE nul, ScopedHandle& process) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nul;
    startup.StartupInfo.hStdOutput = output ? output : nul;
    startup.StartupInfo.hStdError = nul;
    const ChildAttributes attributes(output, nul, ArchiverJob());
    startup.lpAttributeList = attributes.List();

    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    // Detached rather than given a hidden console: a console host can hold the child's standard
    // handles after the child has ended (seen under Wine); without one nothing outlives the child.
    const DWORD flags = DETACHED_PROCESS | CREATE_SUSPENDED | (attributes.List() ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION started{};
    bool inJob = false;
    for (const DWORD breakaway : {DWORD{0}, DWORD{CREATE_BREAKAWAY_FROM_JOB}}) {
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags | breakaway, nullptr, nullptr,
                            &startup.StartupInfo, &started)) {
            if (breakaway) return false;
            continue;
        }
        inJob = attributes.InJobFromTheStart() ||
                (ArchiverJob() && AssignProcessToJobObject(ArchiverJob(), started.hProcess) != FALSE);
        if (inJob || breakaway || !ArchiverJob()) break;
        // Not in the job: another one holds the program and forbids nesting. Try again outside it.
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, INFINITE);
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
        started = PROCESS_INFORMATION{};
    }
    if (!started.hProcess) return false;
    process.Reset(started.hProcess);
    ScopedHandle thread(started.hThread);
    if (!inJob) TrackLooseChild(process.Get(), true);
    ResumeThread(thread.Get());
    return true;
}

std::mutex g_starting;

// Below this much room on the output's disk, the archiver's last writes may have failed.
constexpr uint64_t kOutputRoom = 1u << 20;

FreeSpaceProbe g_freeBytes = [](const std::wstring& folder) {
    ULARGE_INTEGER available{};
    return GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) ? available.QuadPart : UINT64_MAX;
};

}  // namespace

bool RunArchiver(const std::wstring& commandLine, const OutputLineSink& sink, DWORD& exitCode,
                 const StepControl& control) {
    // After a stop no run starts: it would only be ended at once.
    if (commandLine.size() > kMaxCommandLine || control.Cancelled()) return false;

    // Input and error at NUL: a prompt fails at once instead of waiting for an answer on a
    // console nobody sees.
    ScopedHandle nul = OpenNul();
    if (!nul.IsValid()) return false;

    // Only the child's handle to the capture file is inheritable. Runs started at once from
    // several threads take turns from here until it is closed, or a child would inherit another
    // run's handle.
    std::unique_lock<std::mutex> turn(g_starting);
    CaptureFile capture;
    if (sink && !capture.Open()) return false;
    ScopedHandle processHandle;
    if (!StartArchiver(commandLine, sink ? capture.ChildEnd() : nullptr, nul.Get(), processHandle)) return false;
    capture.CloseChildEnd();
    turn.unlock();

    // The output is read while it grows; between reads the wait ends at once when the child
    // ends or the caller asks to stop, which ends the child.
    const HANDLE waits[] = {processHandle.Get(), control.cancelEvent};
    const DWORD waitCount = control.cancelEvent ? 2 : 1;
    OutputLines lines;
    std::vector<char> buffer(sink ? kReadBytes : 0);
    bool stopped = false;
    for (bool ended = false; !stopped;) {
        DWORD got = 0;
        if (sink && !ReadFile(capture.ReaderEnd(), buffer.data(), kReadBytes, &got, nullptr)) stopped = true;
        if (got > 0) {
            stopped = control.Cancelled() || !lines.Feed(buffer.data(), got, sink);
            continue;
        }
        if (ended || stopped) break;  // everything the child wrote before it ended has been read
        const DWORD woke = WaitForMultipleObjects(waitCount, waits, FALSE, sink ? kPollMs : INFINITE);
        ended = woke == WAIT_OBJECT_0;
        stopped = woke == WAIT_FAILED || woke == WAIT_OBJECT_0 + 1 || control.Cancelled();
    }
    if (sink && !stopped) stopped = !lines.Finish(sink);
    if (stopped) TerminateProcess(processHandle.Get(), 1);
    WaitForSingleObject(processHandle.Get(), INFINITE);
    TrackLooseChild(processHandle.Get(), false);
    DWORD code = 0;
    if (stopped || control.Cancelled() || !GetExitCodeProcess(processHandle.Get(), &code)) return false;
    // 7-Zip says nothing when its output cannot be written (a full disk: exit code 0, no error
    // line, seen with the real one): output on a disk without room may have been cut short.
    if (sink && g_freeBytes(capture.Folder()) < kOutputRoom) return false;
    exitCode = code;
    return true;
}

FreeSpaceProbe UseFreeSpaceProbe(FreeSpaceProbe probe) { return std::exchange(g_freeBytes, std::move(probe)); }

bool ArchiverStream::Start(const std::wstring& commandLine) {
    if (commandLine.size() > kMaxCommandLine) return false;
    ScopedHandle nul = OpenNul();
    if (!nul.IsValid()) return false;
    std::unique_lock<std::mutex> turn(g_starting);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    // Extraction writes large blocks, so a pipe costs little here, and holds nothing on disk.
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1u << 20)) return false;
    reader_.Reset(readEnd);
    ScopedHandle childEnd(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    return StartArchiver(commandLine, childEnd.Get(), nul.Get(), process_);
}

bool ArchiverStream::Read(unsigned char* buffer, DWORD size, DWORD& got) {
    got = 0;
    if (!reader_.IsValid()) return false;
    if (ReadFile(reader_.Get(), buffer, size, &got, nullptr)) return true;
    got = 0;
    return GetLastError() == ERROR_BROKEN_PIPE;  // the end of the output: every writer has gone
}

bool ArchiverStream::Finish(DWORD& exitCode) {
    reader_.Reset();
    if (!process_.IsValid()) return false;
    WaitForSingleObject(process_.Get(), INFINITE);
    TrackLooseChild(process_.Get(), false);
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process_.Get(), &code) != FALSE;
    process_.Reset();
    exitCode = code;
    return ended;
}

ArchiverStream::~ArchiverStream() {
    reader_.Reset();
    if (process_.IsValid()) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), INFINITE);
        TrackLooseChild(process_.Get(), false);
    }
}

std::wstring ExtractCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                                const std::wstring& innerPath) {
    std::wstring line = Quoted(archiverPath) + L" e -so -spd -ssc " + Quoted(archive) + L" -p0";
    if (!innerPath.empty()) line += L" -- " + Quoted(innerPath);
    return line;
}
