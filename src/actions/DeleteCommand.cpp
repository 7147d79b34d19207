#include "actions/CommandSupport.h"
#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"

#include <shellapi.h>

#include <algorithm>

namespace {

const wchar_t kAskLoose[] = L"%sを削除します。\nよろしいですか？";
const wchar_t kAskWholeArchive[] = L"%sを削除します。\nよろしいですか？\n※書庫を削除します。";
const wchar_t kAskMember[] = L"書庫内%sを削除します。\nよろしいですか？";
const wchar_t kCannotDelete[] = L"%sを削除できませんでした。";

// The archiver also takes the name as a folder and removes everything under it, and cannot
// tell apart two items listed alike (a file and a folder "a"): only a name listed once, with
// nothing listed under it, names one member alone.
bool NamesOneItemAlone(const std::vector<std::wstring>& paths, const std::wstring& innerPath) {
    const auto under = [&](const std::wstring& path) {
        return path.size() > innerPath.size() && IsPathSeparator(path[innerPath.size()]) &&
               path.compare(0, innerPath.size(), innerPath) == 0;
    };
    return std::count(paths.begin(), paths.end(), innerPath) == 1 && std::none_of(paths.begin(), paths.end(), under);
}

}  // namespace

int RecycleFile(HWND owner, const std::wstring& path) {
    // Already gone counts as done; unreachable (an offline share, a denied access) does not.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return IsNotFoundError(GetLastError()) ? 1 : 0;

    std::wstring from = path;
    from.push_back(L'\0');  // the shell takes a list of paths ended by an empty one
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    // FOF_WANTNUKEWARNING: where the Recycle Bin cannot take the item, the shell asks before
    // deleting it for good instead of doing so silently.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) return 0;
    return IsGone(path) ? 1 : 0;
}

bool DeleteArchiveMember(const std::wstring& archiverPath, const std::wstring& archive, const std::wstring& innerPath) {
    // The archiver would create a new, empty archive in place of a missing one.
    if (IsGone(archive)) return true;
    // An empty name cannot be named; one with a quote would split into other names on the
    // archiver's command line.
    if (archiverPath.empty() || innerPath.empty() || innerPath.find(L'"') != std::wstring::npos) return false;

    std::vector<std::wstring> before;
    if (!ListArchivePaths(archiverPath, archive, before) || !NamesOneItemAlone(before, innerPath)) return false;

    DWORD exitCode = 0;
    if (!RunArchiver(DeleteCommandLine(archiverPath, archive, innerPath), nullptr, exitCode) || exitCode != 0) {
        return false;
    }
    // The archiver reports success even when nothing matched: only a fresh listing tells, and it
    // must be the old one less exactly this member (in any order).
    std::vector<std::wstring> after;
    if (!ListArchivePaths(archiverPath, archive, after)) return false;
    before.erase(std::find(before.begin(), before.end(), innerPath));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    return after == before;
}

void DeleteSelectedFile(const CommandContext& context, int column) {
    size_t position = 0;
    if (!FindSelectedEntry(context.list, context.entries, column, position)) return;
    const FileEntry entry = context.entries[position];
    const std::wstring fileName = FileNameOf(entry.containerPath);

    bool deleted = false;
    bool recycled = true;  // otherwise the archiver rewrote the archive
    std::wstring failureName = fileName;
    if (entry.inArchive == 0) {
        if (!AskYes(context, Format(kAskLoose, fileName), MB_YESNO)) return;
        deleted = RecycleFile(context.owner, entry.containerPath) == 1;
    } else if (CountArchiveMembers(context.entries, entry.containerPath) == 1) {
        if (!AskYes(context, Format(kAskWholeArchive, entry.displayName), MB_ICONWARNING | MB_YESNO)) return;
        deleted = RecycleFile(context.owner, entry.containerPath) == 1;
    } else {
        if (!AskYes(context, Format(kAskMember, entry.innerPath), MB_YESNO)) return;
        deleted = DeleteArchiveMember(context.archiverPath, entry.containerPath, entry.innerPath);
        recycled = false;
        failureName = entry.innerPath;
    }
    if (!deleted) {
        ShowError(context, Format(kCannotDelete, failureName));
        return;
    }
    // A recycled file takes every entry in it along (an archive's own and its members'); a
    // rewritten archive's own entry no longer has the CRC it was paired by.
    std::vector<size_t> stale{position};
    for (size_t i = 0; i < context.entries.size(); ++i) {
        const FileEntry& other = context.entries[i];
        if (i != position && other.containerPath == entry.containerPath && (recycled || other.inArchive == 0)) {
            stale.push_back(i);
        }
    }
    if (recycled) {
        RemoveRowsByContainer(context.list, context.entries, entry.containerPath);
    } else {
        for (size_t i : stale) RemoveRowsByName(context.list, context.entries[i].displayName);
    }
    EraseEntries(context.entries, stale);
}
