#include "archive/ArchiveExpansion.h"

#include "archive/ArchiverInterface.h"
#include "common/ScopedWin.h"
#include "scan/FileChecksum.h"

#include <clocale>
#include <cwchar>

namespace {

const wchar_t kScratchName[] = L"Veltrimox\\";
const wchar_t kCaptureName[] = L"Veltrimox.txt";

// Every copy of the program run by one user shares the scratch folder. A named mutex per
// temporary folder keeps one copy's clearing away from another's capture; a mutex abandoned
// by a crashed copy counts as acquired.
class ScratchLock {
public:
    explicit ScratchLock(const std::wstring& scratchFolder) {
        std::wstring upper = scratchFolder;
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
        uint32_t hash = 2166136261u;  // FNV-1a: mutex names may not hold backslashes
        for (wchar_t c : upper) hash = (hash ^ static_cast<uint32_t>(c)) * 16777619u;
        wchar_t name[64];
        swprintf(name, 64, L"Local\\Veltrimox.scratch.%08X", hash);
        mutex_.Reset(CreateMutexW(nullptr, FALSE, name));
        if (mutex_.IsValid()) {
            const DWORD wait = WaitForSingleObject(mutex_.Get(), INFINITE);
            held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        }
    }
    ScratchLock(const ScratchLock&) = delete;
    ScratchLock& operator=(const ScratchLock&) = delete;
    ~ScratchLock() {
        if (held_) ReleaseMutex(mutex_.Get());
    }
    [[nodiscard]] bool Held() const { return held_; }

private:
    ScopedHandle mutex_;
    bool held_ = false;
};

ScopedHandle CreateCapture(const std::wstring& capturePath) {
    // Inheritable: it becomes the archiver's standard output.
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return ScopedHandle(CreateFileW(capturePath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

[[nodiscard]] bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) return false;
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr)) return false;
        if (got == 0) return true;
        bytes.append(buffer, got);
    }
}

// One archiver run into the capture file, read back into lines. The capture is deleted once
// read, or after a failed or stopped run (so a scan stopped at close leaves the scratch folder
// empty); after a failed read it stays until the next run clears the folder. `cancel` (may be
// null) stops the run.
[[nodiscard]] bool RunCaptured(const std::wstring& commandLine, const std::wstring& capturePath,
                               std::vector<std::wstring>& lines, DWORD& exitCode, HANDLE cancel = nullptr) {
    {
        ScopedHandle capture = CreateCapture(capturePath);
        if (!capture.IsValid()) return false;
        if (!RunArchiver(commandLine, capture.Get(), exitCode, cancel)) {
            capture.Reset();
            DeleteFileW(capturePath.c_str());
            return false;
        }
    }
    // The runtime's letter-case rules follow the user's locale, as for every comparison here.
    setlocale(LC_ALL, "");
    std::string bytes;
    if (!ReadWholeFile(capturePath, bytes)) return false;
    lines = SplitCaptureLines(bytes);
    DeleteFileW(capturePath.c_str());
    return true;
}

// Whatever an earlier run or another process left behind goes before each run. A scratch path
// that is a link (or not a folder at all) is never cleared: its contents are somebody else's.
[[nodiscard]] bool PrepareScratch(const std::wstring& scratch) {
    // Asked without the final separator: with it, the answer is the link's target's.
    const std::wstring folder = scratch.substr(0, scratch.find_last_not_of(L"\\/") + 1);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(scratch.c_str(), nullptr);
        return true;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    ClearFolder(scratch);
    return true;
}

bool StartsWithIgnoringCase(const std::wstring& line, const wchar_t* prefix, size_t length) {
    return line.size() > length && _wcsnicmp(line.c_str(), prefix, length) == 0;
}

// Everything after the prefix, less the last code unit (the line feed).
std::wstring RestOfLine(const std::wstring& line, size_t prefixLength) {
    return line.substr(prefixLength, line.size() - prefixLength - 1);
}

std::wstring ParentFolder(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) return L"";
    if (last == 2 && path[1] == L':') return path.substr(0, 3);  // a drive root keeps its separator
    return path.substr(0, last);
}

}  // namespace

std::wstring ScratchFolderPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return L"";
    const std::wstring folder(temp, length);
    if (!IsAbsolutePath(folder)) return L"";
    std::optional<std::wstring> scratch = JoinPath(folder, kScratchName);
    return scratch ? *scratch : L"";
}

void ClearFolder(const std::wstring& folder) {
    const std::optional<std::wstring> pattern = JoinPath(folder, L"*.*");
    if (!pattern) return;
    WIN32_FIND_DATAW found{};
    ScopedFindHandle find(FindFirstFileW(pattern->c_str(), &found));
    if (!find.IsValid()) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::optional<std::wstring> child = JoinPath(folder, name);
        if (!child) continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder) {
            // A junction or folder link is removed itself; its target is somebody's folder.
            if (!isLink) ClearFolder(*child);
            SetFileAttributesW(child->c_str(), 0);
            RemoveDirectoryW(child->c_str());
        } else {
            SetFileAttributesW(child->c_str(), FILE_ATTRIBUTE_ARCHIVE);
            DeleteFileW(child->c_str());
        }
    } while (FindNextFileW(find.Get(), &found));
}

void RemoveScratchFolder() {
    const std::wstring scratch = ScratchFolderPath();
    if (scratch.empty()) return;
    ScratchLock lock(scratch);
    if (lock.Held()) RemoveDirectoryW(scratch.c_str());
}

std::vector<std::wstring> SplitCaptureLines(const std::string& utf8) {
    std::wstring text;
    if (!utf8.empty()) {
        const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        text.resize(static_cast<size_t>(size));
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    }
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        size_t contentEnd = end;
        if (contentEnd > start && text[contentEnd - 1] == L'\r') --contentEnd;
        lines.push_back(text.substr(start, contentEnd - start) + L'\n');
        start = end + 1;
    }
    return lines;
}

bool PassesTestGate(const std::vector<std::wstring>& lines) {
    for (const std::wstring& line : lines) {
        if (_wcsicmp(line.c_str(), L"Everything is Ok\n") == 0) return true;
    }
    return false;
}

std::vector<ListedMember> ParseListing(const std::vector<std::wstring>& lines) {
    std::vector<ListedMember> members;
    size_t i = 0;
    while (i < lines.size()) {
        const std::wstring& pathLine = lines[i++];
        if (!StartsWithIgnoringCase(pathLine, L"Path = ", 7)) continue;
        // Everything up to the first CRC line belongs to this member, further paths included.
        while (i < lines.size()) {
            const std::wstring& crcLine = lines[i++];
            if (!StartsWithIgnoringCase(crcLine, L"CRC = ", 6)) continue;
            std::wstring crc = RestOfLine(crcLine, 6);
            if (!crc.empty()) members.push_back({RestOfLine(pathLine, 7), std::move(crc)});
            break;
        }
    }
    return members;
}

std::wstring MemberDisplayName(const std::wstring& rootFolder, const std::wstring& archivePath,
                               const std::wstring& innerPath) {
    const std::wstring folder = ParentFolder(archivePath);
    const std::wstring member = FileNameOf(archivePath) + L"【" + innerPath + L"】";
    if (_wcsicmp(folder.c_str(), rootFolder.c_str()) == 0) return member;
    return RelativeDisplayName(rootFolder, folder) + L"\\" + member;
}

bool ListArchive(const std::wstring& archiverPath, const std::wstring& archive, std::vector<ListedMember>& members) {
    const std::wstring scratch = ScratchFolderPath();
    if (archiverPath.empty() || scratch.empty()) return false;
    ScratchLock lock(scratch);
    if (!lock.Held() || !PrepareScratch(scratch)) return false;
    std::vector<std::wstring> lines;
    DWORD exitCode = 0;
    // Nothing listed by an archiver that failed is no proof that a member is gone.
    if (!RunCaptured(ListCommandLine(archiverPath, archive), scratch + kCaptureName, lines, exitCode) || exitCode != 0) {
        return false;
    }
    members = ParseListing(lines);
    return true;
}

void ExpandArchive(const ScanContext& context, const std::wstring& path, EntryList& entries) {
    if (context.archiverPath.empty()) return;
    const std::wstring scratch = ScratchFolderPath();
    if (scratch.empty()) return;
    ScratchLock lock(scratch);
    if (!lock.Held() || !PrepareScratch(scratch)) return;
    const std::wstring capture = scratch + kCaptureName;

    std::vector<std::wstring> lines;
    DWORD exitCode = 0;
    const HANDLE cancel = CancelEventOf(context.control);
    SetArchiveUnderTest(context.control, path);
    const bool passed = RunCaptured(TestCommandLine(context.archiverPath, path), capture, lines, exitCode, cancel) &&
                        PassesTestGate(lines);
    SetArchiveUnderTest(context.control, L"");
    if (!passed || !RunCaptured(ListCommandLine(context.archiverPath, path), capture, lines, exitCode, cancel)) return;

    for (ListedMember& member : ParseListing(lines)) {
        FileEntry entry;
        entry.displayName = MemberDisplayName(context.rootFolder, path, member.innerPath);
        entry.innerPath = std::move(member.innerPath);
        entry.containerPath = path;
        entry.crcText = std::move(member.crcText);
        entry.inArchive = 1;
        AppendEntry(entries, std::move(entry));
    }
}
