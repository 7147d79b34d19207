#include "actions/CommandSupport.h"

#include "actions/ContentProof.h"
#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "common/PathText.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>

namespace {

const wchar_t kAskLoose[] = L"%sを削除します。\nよろしいですか？";
const wchar_t kAskWholeArchive[] = L"%sを削除します。\nよろしいですか？\n※書庫を削除します。";
const wchar_t kAskMember[] = L"書庫内%sを削除します。\nよろしいですか？";
const wchar_t kCannotDelete[] = L"%sを削除できませんでした。";
const wchar_t kNoOtherCopy[] = L"%sと同じ内容のファイルが見つからないため、削除しませんでした。";

// The archiver also takes the name as a folder and removes everything under it, and cannot
// tell apart two items listed alike (a file and a folder "a"): only a name listed once, with
// nothing listed under it, names one member alone.
bool NamesOneItemAlone(const std::vector<ListedMember>& items, const std::wstring& innerPath) {
    size_t named = 0;
    for (const ListedMember& item : items) {
        const std::wstring& path = item.innerPath;
        named += path == innerPath;
        if (path.size() > innerPath.size() && IsPathSeparator(path[innerPath.size()]) &&
            path.compare(0, innerPath.size(), innerPath) == 0) {
            return false;
        }
    }
    return named == 1;
}

bool IsListedWithCrc(const std::vector<ListedMember>& items, const FileEntry& member) {
    return std::any_of(items.begin(), items.end(), [&](const ListedMember& item) {
        return item.innerPath == member.innerPath && item.crcText == member.crcText;
    });
}

// What the archiver lists in each archive a command looks at, each archive listed once: the
// checks of a member and of a partner in the same archive, and the delete, share one listing.
class ArchiveListings {
public:
    explicit ArchiveListings(const std::wstring& archiverPath) : archiverPath_(archiverPath) {}
    // Null when the archive cannot be listed.
    const std::vector<ListedMember>* Of(const std::wstring& archive) {
        const auto [at, added] = listed_.try_emplace(archive);
        if (added) {
            std::vector<ListedMember> items;
            if (ListArchiveItems(archiverPath_, archive, items)) at->second = std::move(items);
        }
        return at->second ? &*at->second : nullptr;
    }

private:
    const std::wstring& archiverPath_;
    std::map<std::wstring, std::optional<std::vector<ListedMember>>> listed_;
};

// True when the entry still stands for the content it was paired by: a loose file of the same
// size and last-write time, a member listed by its archive with the same CRC.
bool IsStillAsCatalogued(ArchiveListings& listings, const FileEntry& entry) {
    if (entry.inArchive == 0) return IsUnchangedFile(entry);
    const std::vector<ListedMember>* items = listings.Of(entry.containerPath);
    return items && IsListedWithCrc(*items, entry);
}

}  // namespace

int RecycleFile(HWND owner, const std::wstring& path) {
    // Already gone counts as done; unreachable (an offline share, a denied access) does not.
    if (GetFileAttributesW(SystemPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) return IsNotFoundError(GetLastError()) ? 1 : 0;
    // The shell takes no path of MAX_PATH units or more, and deleting it otherwise would bypass
    // the Recycle Bin: such a file is not deleted, and the user is told so.
    if (path.size() >= MAX_PATH) return 0;

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

namespace {

bool FlushWritten(const std::wstring& path) {
    const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return file.IsValid() && FlushFileBuffers(file.Get());
}

// The archive less the member, written beside it under a name of this run's own.
std::wstring RewriteName(const std::wstring& archive) {
    static std::atomic<unsigned> counter{0};
    return archive + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".vlx";
}

bool ListsOldLessMember(const std::vector<ListedMember>& before, const std::vector<ListedMember>& after,
                        const std::wstring& innerPath) {
    std::vector<std::pair<std::wstring, std::wstring>> expected, listed;
    for (const ListedMember& item : before) {
        if (item.innerPath != innerPath) expected.emplace_back(item.innerPath, item.crcText);
    }
    for (const ListedMember& item : after) listed.emplace_back(item.innerPath, item.crcText);
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    return listed == expected;
}

}  // namespace

bool DeleteArchiveMember(const std::wstring& archiverPath, const FileEntry& member,
                         const std::vector<ListedMember>* listedBefore) {
    const std::wstring archive = SystemPath(member.containerPath);  // the form every call below takes
    const std::wstring& innerPath = member.innerPath;
    if (IsGone(archive)) return true;
    if (archiverPath.empty() || !IsLiteralMemberName(innerPath)) return false;

    std::vector<ListedMember> own;
    if (!listedBefore && ListArchiveItems(archiverPath, archive, own)) listedBefore = &own;
    if (!listedBefore) return false;
    const std::vector<ListedMember>& before = *listedBefore;
    if (!NamesOneItemAlone(before, innerPath) || !IsListedWithCrc(before, member)) return false;

    // The archiver reports success even when nothing matched: only a listing of what it wrote
    // tells, and it must be the old one less exactly this member (in any order).
    const std::wstring rewritten = SystemPath(RewriteName(member.containerPath));
    DWORD exitCode = 0;
    std::vector<ListedMember> listed;
    const bool written = RunArchiver(DeleteCommandLine(archiverPath, archive, innerPath, rewritten), nullptr, exitCode) &&
                         exitCode == 0 && ListArchiveItems(archiverPath, rewritten, listed) && ListsOldLessMember(before, listed, innerPath);
    // The new archive reaches the disk before it takes the old one's name. Flushed here, on the
    // command's own thread: MOVEFILE_WRITE_THROUGH flushes inside the rename, which under Wine is
    // a call every thread of the program waits for (180 ms for 300 MB, the window included).
    if (written && FlushWritten(rewritten) && MoveFileExW(rewritten.c_str(), archive.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DeleteFileW(rewritten.c_str());
    return false;
}

bool IsArchiveItsMemberAlone(const std::wstring& archiverPath, const FileEntry& member) {
    ArchiveShape shape;
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (!ListArchiveShape(archiverPath, SystemPath(member.containerPath), shape) ||
        !GetFileAttributesExW(SystemPath(member.containerPath).c_str(), GetFileExInfoStandard, &file)) {
        return false;
    }
    const uint64_t size = (static_cast<uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    // A gzip names no physical size; its CRC was proven by extracting it whole, and data after
    // its end would have failed that proof.
    const bool gzip = !shape.physicalSizeListed && ReadLeadingFormat(member.containerPath) == LeadingFormat::kGzip;
    return IsWholeFileOfOneItem(shape, member.innerPath, size, gzip);
}

void DeleteSelectedFile(const CommandContext& context, int column) {
    size_t position = 0, partner = 0;
    if (!SelectedEntries(context.list, column, position, partner)) return;
    const PairRows& rows = context.list.rows;
    const FileEntry entry = rows.entries[position];
    const FileEntry copy = rows.entries[partner];
    const std::wstring fileName = FileNameOf(entry.containerPath);

    const bool wholeFile = entry.inArchive == 0 || CountArchiveMembers(rows, entry.containerPath) == 1;
    if (entry.inArchive == 0) {
        if (!AskYes(context, Format(kAskLoose, fileName), MB_YESNO)) return;
    } else if (wholeFile) {
        if (!AskYes(context, Format(kAskWholeArchive, entry.displayName), MB_ICONWARNING | MB_YESNO)) return;
    } else if (!AskYes(context, Format(kAskMember, entry.innerPath), MB_YESNO)) {
        return;
    }
    // The row said the two were equal when the list was made. The other copy must still be
    // there, a file of its own, not inside what goes, and hold the same bytes now, or this would
    // take the last one. Size and time (or the listed CRC) tell most changes at once.
    ArchiveListings listings(context.archiverPath);
    const auto proven = [&](const StepControl& control) {
        return !(wholeFile && copy.containerPath == entry.containerPath) && IsStillAsCatalogued(listings, entry) &&
               IsStillAsCatalogued(listings, copy) &&
               !(entry.inArchive == 0 && copy.inArchive == 0 && AreOneFile(entry.containerPath, copy.containerPath)) &&
               HaveSameBytes(context.archiverPath, entry, copy, control);
    };
    if (!RunLong(context, proven)) {
        ShowError(context, Format(kNoOtherCopy, entry.displayName));
        return;
    }
    // A whole file goes to the Recycle Bin (an archive only when it holds nothing but the
    // member); otherwise the archiver rewrites the archive.
    bool deleted = false;
    if (entry.inArchive == 0) {
        deleted = RecycleFile(context.owner, entry.containerPath) == 1;
    } else if (wholeFile) {
        deleted = RunLong(context, [&](const StepControl&) { return IsArchiveItsMemberAlone(context.archiverPath, entry); }) &&
                  RecycleFile(context.owner, entry.containerPath) == 1;
    } else {
        deleted = RunLong(context, [&](const StepControl&) {
            return DeleteArchiveMember(context.archiverPath, entry, listings.Of(entry.containerPath));
        });
    }
    if (!deleted) {
        ShowError(context, Format(kCannotDelete, wholeFile ? fileName : entry.innerPath));
        return;
    }
    ForgetDeletedFile(context, position, wholeFile);
}

void ForgetDeletedFile(const CommandContext& context, size_t position, bool recycled) {
    // A recycled file takes every entry in it along (an archive's own and its members'); a
    // rewritten archive's own entry no longer has the CRC it was paired by.
    const PairRows& rows = context.list.rows;
    std::vector<size_t> stale{position};
    for (const size_t i : LiveEntriesIn(rows, rows.entries[position].containerPath)) {
        if (i != position && (recycled || rows.entries[i].inArchive == 0)) stale.push_back(i);
    }
    RemoveRows(context.list, stale);
}
