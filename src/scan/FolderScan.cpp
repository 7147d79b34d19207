#include "scan/FolderScan.h"

#include "common/PathText.h"
#include "common/ScopedWin.h"
#include "common/Workers.h"
#include "scan/FileChecksum.h"

#include <wchar.h>
#include <winioctl.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// A file the walk met, with its file id as the listing gave it.
struct MetFile {
    WalkedFile file;
    uint64_t fileId;
};

// Files are handed over and taken a few at a time: every wait and wake-up is a call to the
// system (a round trip to the server under Wine), too dear to make for every small file.
constexpr size_t kHandOver = 64;
constexpr size_t kTake = 8;

// The files the walk has met, in its order, shared with the threads that hash them meanwhile.
struct HashQueue {
    HashQueue(const ScanContext& walked, const StepControl& steps) : context(walked), control(steps) {}
    const ScanContext& context;
    const StepControl& control;
    std::mutex lock;
    std::condition_variable more;
    std::deque<MetFile> files;  // a deque: a file keeps its place while more are added
    size_t next = 0;            // the first file no thread has taken yet
    bool walkEnded = false;
    std::atomic<size_t> hashed{0};
    std::vector<MetFile> met;  // the walking thread's, not handed over yet
    LeftOut leftOut;           // the walking thread's own
};

void HandOver(HashQueue& queue, bool walkEnded) {
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        std::move(queue.met.begin(), queue.met.end(), std::back_inserter(queue.files));
        queue.walkEnded = walkEnded;
    }
    queue.met.clear();
    queue.more.notify_all();
}

// Takes files in walk order and hashes them until the walk has ended and none is left.
DWORD WINAPI HashFiles(void* parameter) {
    HashQueue& queue = *static_cast<HashQueue*>(parameter);
    std::vector<MetFile> taken;
    std::vector<std::optional<FileEntry>> entries;
    std::unique_lock<std::mutex> hold(queue.lock);
    while (!queue.control.Cancelled()) {
        if (queue.next == queue.files.size()) {
            if (queue.walkEnded) break;
            // Woken by each hand-over; a stop is seen within the time limit.
            queue.more.wait_for(hold, std::chrono::milliseconds(20));
            continue;
        }
        const size_t first = queue.next;
        queue.next = std::min(queue.files.size(), first + kTake);
        taken.clear();
        for (size_t at = first; at < queue.next; ++at) {
            taken.push_back(MetFile{WalkedFile{queue.files[at].file.path, std::nullopt}, queue.files[at].fileId});
        }
        hold.unlock();
        entries.clear();
        for (const MetFile& met : taken) {
            entries.push_back(LooseFileEntry(queue.context.rootFolder, met.file.path, queue.control, met.fileId));
            queue.control.Report(++queue.hashed, 0);
        }
        hold.lock();
        for (size_t i = 0; i < entries.size(); ++i) queue.files[first + i].file.entry = std::move(entries[i]);
    }
    return 0;
}

// No data access and full sharing: a folder that others hold open still answers.
ScopedHandle OpenToQuery(const std::wstring& path, DWORD access = FILE_READ_ATTRIBUTES) {
    return ScopedHandle(CreateFileW(SystemPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A file's index on its volume, alone: reading the volume's serial too, as a whole identity
// does, costs several times more (under Wine a call to the mount manager for every folder), so
// the walk reads more only for an index it has met before. 0 when it cannot be read.
uint64_t ReadFileIndex(HANDLE handle) {
    static const auto query = reinterpret_cast<decltype(&NtQueryInformationFile)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IO_STATUS_BLOCK status{};
    LARGE_INTEGER index{};
    constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
    if (!query || query(handle, &status, &index, sizeof(index), kFileInternalInformation) < 0) return 0;
    return static_cast<uint64_t>(index.QuadPart);
}

// FILE_ID_INFO: the volume's 64-bit serial and the file's 128-bit id, unique where the 64-bit
// index is not (ReFS).
struct FullFileId {
    uint64_t volume = 0;
    unsigned char id[16] = {};
    friend bool operator<(const FullFileId& a, const FullFileId& b) {
        return a.volume != b.volume ? a.volume < b.volume : std::memcmp(a.id, b.id, sizeof(a.id)) < 0;
    }
};

// Nullopt when the file system cannot give it, or gives an id that means "unknown".
std::optional<FullFileId> ReadFullFileId(HANDLE handle) {
    FullFileId full;
    constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
    if (!GetFileInformationByHandleEx(handle, kFileIdInfo, &full, sizeof(full))) return std::nullopt;
    const bool zeros = std::all_of(std::begin(full.id), std::end(full.id), [](unsigned char b) { return b == 0; });
    const bool ones = std::all_of(std::begin(full.id), std::end(full.id), [](unsigned char b) { return b == 0xFF; });
    if (zeros || ones) return std::nullopt;
    return full;
}

// The folders a walk has entered: by 64-bit index where that is known and new, else by full id.
struct VisitedFolders {
    std::map<uint64_t, std::vector<std::wstring>> byIndex;
    std::set<FullFileId> byFullId;
};

// True when this folder has not been walked yet in this scan under any path (and records it).
// A folder whose identity cannot be read is always walked, so it can never hide part of the tree.
bool MarkFolderVisited(const ScanContext& context, VisitedFolders& visited, const std::wstring& folder, HANDLE opened) {
    const uint64_t index = context.folderIndex ? context.folderIndex(opened) : ReadFileIndex(opened);
    if (IsKnownFileId(index)) {
        std::vector<std::wstring>& sameIndex = visited.byIndex[index];
        sameIndex.push_back(folder);
        if (sameIndex.size() == 1) return true;
        if (sameIndex.size() == 2) {  // the first folder of this index is compared by its full id from now on
            const ScopedHandle first = OpenToQuery(sameIndex[0]);
            const std::optional<FullFileId> full = first.IsValid() ? ReadFullFileId(first.Get()) : std::nullopt;
            if (full) visited.byFullId.insert(*full);
        }
    }
    const std::optional<FullFileId> full = ReadFullFileId(opened);
    return !full || visited.byFullId.insert(*full).second;
}

// FILE_ID_FULL_DIR_INFORMATION: the full listing with each entry's file id and no short name
// (making short names costs the file system more than the rest of the listing).
struct ListedEntry {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
};

enum class Listing { kPiece, kEnd, kFailed };

// The next piece of a folder's listing.
Listing ReadListing(HANDLE folder, std::vector<unsigned char>& piece) {
    using QueryDirectory = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS,
                                        BOOLEAN, UNICODE_STRING*, BOOLEAN);
    static const auto query = reinterpret_cast<QueryDirectory>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryDirectoryFile")));
    constexpr auto kFileIdFullDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(38);
    constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);
    IO_STATUS_BLOCK status{};
    const LONG result = query ? query(folder, nullptr, nullptr, nullptr, &status, piece.data(), static_cast<ULONG>(piece.size()),
                                      kFileIdFullDirectoryInformation, FALSE, nullptr, FALSE)
                              : kNoMoreFiles - 1;
    if (result == kNoMoreFiles) return Listing::kEnd;
    return result >= 0 && status.Information > 0 ? Listing::kPiece : Listing::kFailed;
}

// An entry of a folder's listing as the Find functions give it: the reparse tag of a link is in
// dwReserved0. False for a name no WIN32_FIND_DATAW holds.
bool ToFindData(const ListedEntry& info, WIN32_FIND_DATAW& found) {
    const size_t nameChars = info.FileNameLength / sizeof(wchar_t);
    if (nameChars == 0 || nameChars >= MAX_PATH) return false;
    found = WIN32_FIND_DATAW{};
    found.dwFileAttributes = info.FileAttributes;
    const auto time = [](const LARGE_INTEGER& t) {
        return FILETIME{static_cast<DWORD>(t.QuadPart), static_cast<DWORD>(static_cast<uint64_t>(t.QuadPart) >> 32)};
    };
    found.ftCreationTime = time(info.CreationTime);
    found.ftLastAccessTime = time(info.LastAccessTime);
    found.ftLastWriteTime = time(info.LastWriteTime);
    found.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.EndOfFile.QuadPart) >> 32);
    found.nFileSizeLow = static_cast<DWORD>(info.EndOfFile.QuadPart);
    if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) found.dwReserved0 = info.EaSize;
    std::copy_n(info.FileName, nameChars, found.cFileName);
    return true;
}

// The entry of a piece of a listing at `at`, or null when it would not lie whole in the piece.
const ListedEntry* EntryAt(const std::vector<unsigned char>& piece, size_t at) {
    const size_t nameAt = at + offsetof(ListedEntry, FileName);
    if (nameAt > piece.size()) return nullptr;
    const auto* info = reinterpret_cast<const ListedEntry*>(piece.data() + at);
    return nameAt + info->FileNameLength <= piece.size() ? info : nullptr;
}

const ListedEntry* NextEntry(const std::vector<unsigned char>& piece, const ListedEntry* info) {
    if (info->NextEntryOffset == 0) return nullptr;
    return EntryAt(piece, static_cast<size_t>(reinterpret_cast<const unsigned char*>(info) - piece.data()) +
                              info->NextEntryOffset);
}

// Folders the system keeps directly under a volume's root: the Recycle Bin, whose files would
// pair with the ones they were deleted for, and restore points, which it refuses to list.
bool IsVolumeHousekeeping(const std::wstring& folder, const std::wstring& name) {
    if (_wcsicmp(name.c_str(), L"$Recycle.Bin") != 0 && _wcsicmp(name.c_str(), L"System Volume Information") != 0) return false;
    std::wstring parent = SystemPath(folder), volume(parent.size() + 2, L'\0');
    if (!GetVolumePathNameW(parent.c_str(), &volume[0], static_cast<DWORD>(volume.size()))) return false;
    volume.resize(wcslen(volume.c_str()));
    if (parent.empty() || !IsPathSeparator(parent.back())) parent += L'\\';
    return _wcsicmp(volume.c_str(), parent.c_str()) == 0 || _wcsicmp(volume.c_str(), (folder + L"\\").c_str()) == 0;
}

// Sorts one listed entry: a file to hash, a subfolder to walk afterwards, or neither.
void MeetEntry(HashQueue& queue, const std::wstring& folder, const WIN32_FIND_DATAW& found, uint64_t fileId,
               std::vector<std::wstring>& subfolders) {
    const ScanContext& context = queue.context;
    if (IsDotEntry(found.cFileName)) return;
    const std::wstring name = found.cFileName;
    if (IsUnaddressableName(name)) return;
    std::optional<std::wstring> child = JoinPath(folder, name);
    if (!child) return;
    const bool cloudOnly = context.cloudOnly && context.cloudOnly(found);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (_wcsicmp(name.c_str(), context.ignoreName.c_str()) == 0 || IsVolumeHousekeeping(folder, name)) return;
        if (cloudOnly) {  // listing it would download its contents, and offline it lists nothing
            ++queue.leftOut.cloudFolders;
            return;
        }
        subfolders.push_back(std::move(*child));
        return;
    }
    if (IsFileSymbolicLink(found)) return;
    if (cloudOnly) {
        ++queue.leftOut.cloudFiles;
        return;
    }
    queue.met.push_back(MetFile{WalkedFile{std::move(*child), std::nullopt}, fileId});
    if (queue.met.size() >= kHandOver) HandOver(queue, false);
}

// Lists one folder: its files go to the hashers, its subfolders to `subfolders` in listing order.
void ListFolder(HashQueue& queue, const std::wstring& folder, VisitedFolders& visited, std::vector<std::wstring>& subfolders) {
    // One open of the folder serves both its index and its listing: every open and close is a
    // call to the system (a round trip to the server under Wine), and a tree has thousands.
    const ScopedHandle opened = OpenToQuery(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    if (!opened.IsValid()) {
        ++queue.leftOut.unopenedFolders;
        return;
    }
    if (!MarkFolderVisited(queue.context, visited, folder, opened.Get())) return;
    // Large pieces, no short names: less work for the file system.
    std::vector<unsigned char> listing(64 * 1024);
    WIN32_FIND_DATAW found{};
    Listing got = Listing::kPiece;
    while (!queue.control.Cancelled() && (got = ReadListing(opened.Get(), listing)) == Listing::kPiece) {
        for (const ListedEntry* info = EntryAt(listing, 0); info; info = NextEntry(listing, info)) {
            if (ToFindData(*info, found)) MeetEntry(queue, folder, found, static_cast<uint64_t>(info->FileId.QuadPart), subfolders);
        }
    }
    if (got == Listing::kFailed) ++queue.leftOut.unopenedFolders;
    if (!queue.met.empty()) HandOver(queue, false);
}

// Depth-first, with a stack of its own rather than a call per level (a tree may be deeper than
// a thread's stack allows): a folder's files, then each subfolder walked whole before the next.
void WalkTree(HashQueue& queue, const std::wstring& root) {
    VisitedFolders visited;
    std::vector<std::wstring> pending{root}, subfolders;
    while (!pending.empty() && !queue.control.Cancelled()) {
        const std::wstring folder = std::move(pending.back());
        pending.pop_back();
        subfolders.clear();
        ListFolder(queue, folder, visited, subfolders);
        std::move(subfolders.rbegin(), subfolders.rend(), std::back_inserter(pending));
    }
}

}  // namespace

std::optional<std::wstring> JoinPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring path = folder;
    if (path.empty() || !(path.back() == L'\\' || path.back() == L'/')) path += L'\\';
    path += name;
    if (folder.empty() || name.empty() || path.size() > kMaxPathChars) return std::nullopt;
    return path;
}

std::optional<FileIdentity> ReadFileIdentity(const std::wstring& path) {
    const ScopedHandle handle = OpenToQuery(path);
    if (!handle.IsValid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
    const uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (!IsKnownFileId(index)) return std::nullopt;
    return FileIdentity{index, info.dwVolumeSerialNumber};
}

void ReadVolumesWhereIdsMeet(WalkedFiles& files) {
    std::map<uint64_t, std::vector<FileEntry*>> byId;
    for (WalkedFile& file : files) {
        if (file.entry && IsKnownFileId(file.entry->identity.fileId)) byId[file.entry->identity.fileId].push_back(&*file.entry);
    }
    for (auto& [id, entries] : byId) {
        if (entries.size() < 2) continue;
        for (FileEntry* entry : entries) {
            // Unread, it stays 0: two such files count as one, which never makes a wrong row.
            const std::optional<FileIdentity> read = ReadFileIdentity(entry->containerPath);
            entry->identity.volumeSerial = read && read->fileId == id ? read->volumeSerial : 0;
        }
    }
}

bool IsUnaddressableName(const std::wstring& name) {
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return true;
    // The platform reads the part before the first dot, less trailing blanks, as the device.
    std::wstring stem = name.substr(0, name.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    for (wchar_t& c : stem) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL") return true;
    const bool port = stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0);
    return port && ((stem[3] >= L'0' && stem[3] <= L'9') || stem[3] == L'\u00B9' || stem[3] == L'\u00B2' ||
                    stem[3] == L'\u00B3');
}

bool IsFileSymbolicLink(const WIN32_FIND_DATAW& found) {
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && found.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

bool IsCloudOnly(DWORD attributes) {
    // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS and _ON_OPEN, named only in headers for Windows 10.
    constexpr DWORD kRecallOnDataAccess = 0x00400000, kRecallOnOpen = 0x00040000;
    return (attributes & (kRecallOnDataAccess | kRecallOnOpen | FILE_ATTRIBUTE_OFFLINE)) != 0;
}

bool HasSeekPenalty(const std::wstring& folder) {
    std::wstring mount(folder.size() + 2, L'\0'), volume(64, L'\0');
    if (!GetVolumePathNameW(SystemPath(folder).c_str(), &mount[0], static_cast<DWORD>(mount.size())) ||
        !GetVolumeNameForVolumeMountPointW(mount.c_str(), &volume[0], static_cast<DWORD>(volume.size()))) {
        return false;
    }
    volume.resize(wcslen(volume.c_str()));
    if (!volume.empty() && volume.back() == L'\\') volume.pop_back();  // the volume itself, not its root folder
    const ScopedHandle device(CreateFileW(volume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer{};
    DWORD got = 0;
    return device.IsValid() &&
           DeviceIoControl(device.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &answer, sizeof(answer), &got, nullptr) &&
           got >= sizeof(answer) && answer.IncursSeekPenalty;
}

WalkedFiles ScanFolder(const ScanContext& context, const std::wstring& folder, const StepControl& control,
                       LeftOut* leftOut) {
    // Files are hashed on the other cores while the walk goes on, and the walking thread joins
    // them once it has met every file: a core each. A thread that cannot be started leaves its
    // share to the others.
    HashQueue queue(context, control);
    std::vector<ScopedHandle> hashers;
    // One reader: the walking thread hashes everything once the walk has ended.
    const size_t readers = context.readers ? context.readers : WorkerCount();
    for (size_t w = 0; readers > 1 && w < readers - 1; ++w) {
        ScopedHandle thread(CreateThread(nullptr, 0, HashFiles, &queue, 0, nullptr));
        if (thread.IsValid()) hashers.push_back(std::move(thread));
    }
    WalkTree(queue, folder);
    HandOver(queue, true);
    HashFiles(&queue);
    for (const ScopedHandle& thread : hashers) WaitForSingleObject(thread.Get(), INFINITE);
    WalkedFiles files;
    files.reserve(queue.files.size());
    for (MetFile& file : queue.files) {
        queue.leftOut.unreadFiles += file.file.entry ? 0 : 1;
        files.push_back(std::move(file.file));
    }
    if (leftOut) *leftOut = queue.leftOut;
    if (!control.Cancelled()) ReadVolumesWhereIdsMeet(files);
    return files;
}

EntryList LooseEntries(const WalkedFiles& files) {
    EntryList entries;
    for (const WalkedFile& file : files) {
        if (file.entry) AppendEntry(entries, *file.entry);
    }
    return entries;
}
