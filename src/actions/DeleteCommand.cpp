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

size_t CountListed(const std::vector<ListedMember>& members, const std::wstring& innerPath) {
    return static_cast<size_t>(std::count_if(members.begin(), members.end(),
                                             [&](const ListedMember& m) { return m.innerPath == innerPath; }));
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

    // A name listed twice cannot be named alone.
    std::vector<ListedMember> members;
    if (!ListArchive(archiverPath, archive, members) || CountListed(members, innerPath) > 1) return false;

    DWORD exitCode = 0;
    if (!RunArchiver(DeleteCommandLine(archiverPath, archive, innerPath), nullptr, exitCode) || exitCode != 0) {
        return false;
    }
    // The archiver reports success even when no member matched: only a fresh listing tells.
    return ListArchive(archiverPath, archive, members) && CountListed(members, innerPath) == 0;
}

void DeleteSelectedFile(const CommandContext& context, int column) {
    size_t position = 0;
    if (!FindSelectedEntry(context.list, context.entries, column, position)) return;
    const FileEntry entry = context.entries[position];
    const std::wstring fileName = FileNameOf(entry.containerPath);

    bool deleted = false;
    std::wstring failureName = fileName;
    if (entry.inArchive == 0) {
        if (!AskYes(context.owner, Format(kAskLoose, fileName), MB_YESNO)) return;
        deleted = RecycleFile(context.owner, entry.containerPath) == 1;
    } else if (CountArchiveMembers(context.entries, entry.containerPath) == 1) {
        if (!AskYes(context.owner, Format(kAskWholeArchive, entry.displayName), MB_ICONWARNING | MB_YESNO)) return;
        deleted = RecycleFile(context.owner, entry.containerPath) == 1;
    } else {
        if (!AskYes(context.owner, Format(kAskMember, entry.innerPath), MB_YESNO)) return;
        deleted = DeleteArchiveMember(context.archiverPath, entry.containerPath, entry.innerPath);
        failureName = entry.innerPath;
    }
    if (!deleted) {
        ShowError(context.owner, Format(kCannotDelete, failureName));
        return;
    }
    RemoveRowsByName(context.list, entry.displayName);
    EraseEntry(context.entries, position);
}
