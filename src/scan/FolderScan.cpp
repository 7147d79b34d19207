#include "scan/FolderScan.h"

#include "archive/ArchiveExpansion.h"
#include "common/ScopedWin.h"
#include "scan/FileChecksum.h"

#include <wchar.h>

#include <vector>

namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

void WalkFolder(const ScanContext& context, const std::wstring& folder, EntryList& entries,
                VisitedFolders& visited) {
    if (!MarkFolderVisited(visited, ReadFileIdentity(folder))) return;

    const std::optional<std::wstring> pattern = JoinPath(folder, L"*.*");
    if (!pattern) return;

    // One listing serves both passes: files are handled as they come, subfolders afterwards
    // in the same listing order.
    std::vector<std::wstring> subfolders;
    WIN32_FIND_DATAW found{};
    {
        ScopedFindHandle find(FindFirstFileW(pattern->c_str(), &found));
        if (!find.IsValid()) return;
        do {
            if (ScanCancelled(context.control)) return;
            if (IsDotEntry(found.cFileName)) continue;
            const std::wstring name = found.cFileName;
            if (IsUnaddressableName(name)) continue;
            std::optional<std::wstring> child = JoinPath(folder, name);
            if (!child) continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (_wcsicmp(name.c_str(), context.ignoreName.c_str()) != 0) {
                    subfolders.push_back(std::move(*child));
                }
                continue;
            }
            if (IsFileSymbolicLink(found)) continue;
            ComputeFileCrc(context.rootFolder, *child, entries);
            CountFileHashed(context.control);
            ExpandArchive(context, *child, entries);
        } while (FindNextFileW(find.Get(), &found));
    }

    for (const std::wstring& sub : subfolders) {
        if (ScanCancelled(context.control)) return;
        WalkFolder(context, sub, entries, visited);
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
    // No data access and full sharing: a folder that others hold open still answers.
    ScopedHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
    const uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (index == 0) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, index};
}

bool MarkFolderVisited(VisitedFolders& visited, const std::optional<FileIdentity>& identity) {
    if (!identity) return true;
    return visited.insert(*identity).second;
}

bool IsUnaddressableName(const std::wstring& name) {
    return !name.empty() && (name.back() == L'.' || name.back() == L' ');
}

bool IsFileSymbolicLink(const WIN32_FIND_DATAW& found) {
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && found.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

void ScanFolder(const ScanContext& context, const std::wstring& folder, EntryList& entries) {
    VisitedFolders visited;
    WalkFolder(context, folder, entries, visited);
}
