#include "BenchSupport.h"

#include "common/ScopedWin.h"

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

Stopwatch::Stopwatch() { QueryPerformanceCounter(&start_); }

double Stopwatch::Seconds() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string RunsText(const std::vector<double>& seconds) {
    std::string text = "runs";
    for (double s : seconds) {
        char number[32];
        std::snprintf(number, sizeof(number), " %.3f", s);
        text += number;
    }
    return text;
}

namespace {

uint64_t SplitMix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t RotateLeft(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Random::Random(uint64_t seed) {
    for (uint64_t& word : s_) word = SplitMix64(seed);
}

uint64_t Random::Next() {
    const uint64_t result = RotateLeft(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = RotateLeft(s_[3], 45);
    return result;
}

void Random::Fill(unsigned char* data, size_t size) {
    while (size >= 8) {
        const uint64_t word = Next();
        std::memcpy(data, &word, 8);
        data += 8;
        size -= 8;
    }
    if (size > 0) {
        const uint64_t word = Next();
        std::memcpy(data, &word, size);
    }
}

void Fail(const std::string& what) { throw std::runtime_error(what); }

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    std::wstring value;
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    // The variable may change between the calls; ask again until the buffer was big enough.
    while (size > 0) {
        value.resize(size);
        const DWORD got = GetEnvironmentVariableW(name, &value[0], size);
        if (got < size) {
            value.resize(got);
            return value;
        }
        size = got;
    }
    return std::wstring();
}

std::wstring WindowsPathOfUnixPath(const std::wstring& unixPath) {
    std::wstring path = L"Z:";
    for (wchar_t c : unixPath) path += (c == L'/') ? L'\\' : c;
    return path;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L'\\' + name;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (got == 0) Fail("GetModuleFileNameW failed");
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
}

uint64_t FreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return 0;
    return available.QuadPart;
}

void MakeFolders(const std::wstring& path) {
    // Each prefix in turn; those that exist already (the drive among them) just fail quietly.
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail("cannot create folder " + Utf8(path));
    }
}

std::vector<std::wstring> MakeTreeFolders(const std::wstring& root, int top, int subEach) {
    std::vector<std::wstring> folders;
    for (int t = 0; t < top; ++t) {
        folders.push_back(Join(root, L"dir" + std::to_wstring(t)));
        const std::wstring topFolder = folders.back();
        for (int s = 0; s < subEach; ++s) folders.push_back(Join(topFolder, L"sub" + std::to_wstring(s)));
    }
    for (const std::wstring& folder : folders) MakeFolders(folder);
    return folders;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    {
        ScopedFindHandle find(FindFirstFileW(Join(path, L"*").c_str(), &found));
        if (find.IsValid()) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = Join(path, name);
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTree(child);
                } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveDirectoryW(child.c_str());
                } else {
                    DeleteFileW(child.c_str());
                }
            } while (FindNextFileW(find.Get(), &found));
        }
    }
    RemoveDirectoryW(path.c_str());
}

void WriteRandomFile(const std::wstring& path, uint64_t size, Random& random) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.IsValid()) Fail("cannot create " + Utf8(path));
    constexpr size_t kChunk = 1u << 20;
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
    uint64_t left = size;
    while (left > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<uint64_t>(left, buffer.size()));
        random.Fill(buffer.data(), piece);
        DWORD written = 0;
        if (!WriteFile(file.Get(), buffer.data(), piece, &written, nullptr) || written != piece) {
            Fail("cannot write " + Utf8(path));
        }
        left -= piece;
    }
}

std::string ReadTextFile(const std::wstring& path) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) Fail("cannot open " + Utf8(path));
    std::string text;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            Fail("cannot read " + Utf8(path));
        }
        if (got == 0) break;
        text.append(buffer.data(), got);
    }
    return text;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only right before a quote.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // the closing quote must stay a quote
    quoted += L'"';
    return quoted;
}

ChildRun RunChild(const std::wstring& program, const std::vector<std::wstring>& arguments,
                  const std::wstring& outputPath) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    ScopedHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                   OPEN_EXISTING, 0, nullptr));
    if (!input.IsValid()) Fail("cannot open NUL");
    ScopedHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.IsValid()) Fail("cannot create " + Utf8(outputPath));

    std::wstring commandLine = QuoteArgument(program);
    for (const std::wstring& argument : arguments) commandLine += L' ' + QuoteArgument(argument);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION info{};

    ChildRun run;
    const Stopwatch clock;
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        Fail("cannot start " + Utf8(commandLine) + " (error " + std::to_string(GetLastError()) + ")");
    }
    ScopedHandle process(info.hProcess);
    ScopedHandle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    run.seconds = clock.Seconds();

    GetExitCodeProcess(process.Get(), &run.exitCode);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process.Get(), &memory, sizeof(memory))) run.peakWorkingSet = memory.PeakWorkingSetSize;
    return run;
}

std::string ListingValue(const std::string& listing, const std::string& label) {
    const size_t at = listing.find(label);
    if (at == std::string::npos) return std::string();
    size_t begin = listing.find_first_not_of(" \t", at + label.size());
    if (begin == std::string::npos) return std::string();
    const size_t end = listing.find_first_of(" \t\r\n", begin);
    return listing.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}
