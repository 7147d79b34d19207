#include "actions/CommandSupport.h"

#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "common/PathText.h"
#include "scan/FolderScan.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cwchar>
#include <optional>

namespace {

const wchar_t kAskMoveArchive[] = L"%sを移動します。\nよろしいですか？\n※書庫を移動します。";
const wchar_t kAskOverwrite[] = L"移動先に同名ファイルが存在します。\n上書きしますか？";
const wchar_t kCannotMove[] = L"%sを移動できませんでした。";
const wchar_t kPickerTitle[] = L"移動先";

// Set while the picker's first selection change is still to come: that change selects the root
// folder again and scrolls it into view, which the tree does not always do by itself.
int ReselectPending = 0;

BOOL CALLBACK FindTreeControl(HWND child, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (lstrcmpW(name, WC_TREEVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// True when `destination` is `source` itself or a folder that holds it: clearing it to make
// room would throw the source away. Identities decide first (a link or another spelling of the
// same folder), then the paths, ignoring case.
bool WouldClearSource(const std::wstring& source, const std::wstring& destination) {
    const std::optional<FileIdentity> target = ReadFileIdentity(destination);
    for (std::wstring path = source;;) {
        if (target && ReadFileIdentity(path) == target) return true;
        if (_wcsicmp(path.c_str(), destination.c_str()) == 0) return true;
        const size_t last = path.find_last_of(L"\\/");
        if (last == std::wstring::npos || last < 3) return false;
        path.erase(last);
    }
}

enum class Outcome { kMoved, kFailed, kDeclined };

// Moves `source` into `folder` under its own name, asking before it replaces what stands there;
// `cleared` is set to what went to the Recycle Bin for it. An empty `folder` is a pick without a
// file-system path.
Outcome MoveInto(const CommandContext& context, const std::wstring& source, const std::wstring& folder,
                 std::wstring& cleared) {
    const std::optional<std::wstring> destination = folder.empty() ? std::nullopt : JoinPath(folder, FileNameOf(source));
    if (!destination || WouldClearSource(source, *destination)) return Outcome::kFailed;
    if (GetFileAttributesW(SystemPath(*destination).c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (!AskYes(context, kAskOverwrite, MB_ICONWARNING | MB_YESNO)) return Outcome::kDeclined;
        if (!RecycleFile(context.owner, *destination)) return Outcome::kFailed;
        cleared = *destination;
    }
    // Across volumes a move copies the whole file.
    const bool moved =
        RunLong(context, [&](const StepControl&) { return MoveFileW(SystemPath(source).c_str(), SystemPath(*destination).c_str()) != FALSE; });
    return moved ? Outcome::kMoved : Outcome::kFailed;
}

// Live entries that lie at `path` or below it, ignoring case as the file system does: a loose
// file, an archive with its members, or the contents of a folder.
std::vector<size_t> EntriesAt(const PairRows& rows, const std::wstring& path) {
    std::vector<size_t> found;
    for (size_t i = 0; i < rows.entries.size(); ++i) {
        const std::wstring& container = rows.entries[i].containerPath;
        if (rows.live[i] && container.size() >= path.size() && _wcsnicmp(container.c_str(), path.c_str(), path.size()) == 0 &&
            (container.size() == path.size() || IsPathSeparator(container[path.size()]))) {
            found.push_back(i);
        }
    }
    return found;
}

}  // namespace

std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& rootFolder) {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = kPickerTitle;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = FolderPickerCallback;
    browse.lParam = reinterpret_cast<LPARAM>(rootFolder.c_str());
    PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&browse);
    if (!picked) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    const bool resolved = SHGetPathFromIDListW(picked, path) != FALSE;
    CoTaskMemFree(picked);
    if (!resolved || !IsAbsolutePath(path)) return std::wstring();
    return std::wstring(path);
}

int CALLBACK FolderPickerCallback(HWND picker, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        // Pending before the selection: some pickers report that selection's change at once,
        // and that change, not the user's first click, is the one to follow up.
        ReselectPending = 1;
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED && ReselectPending != 0) {
        ReselectPending = 0;  // before selecting again, whose own change must not come back here
        SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, data);
        // The tree is a child of the picker (a grandchild in the new dialog style).
        HWND tree = nullptr;
        EnumChildWindows(picker, FindTreeControl, reinterpret_cast<LPARAM>(&tree));
        if (tree) {
            const LRESULT caret = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
            SendMessageW(tree, TVM_ENSUREVISIBLE, 0, caret);
        }
        Sleep(0);
    }
    return 0;
}

void MoveSelectedFile(const CommandContext& context, int column) {
    size_t position = 0, partner = 0;
    if (!SelectedEntries(context.list, column, position, partner)) return;
    const PairRows& rows = context.list.rows;
    const FileEntry entry = rows.entries[position];
    const std::wstring fileName = FileNameOf(entry.containerPath);

    if (entry.inArchive == 1 &&
        !AskYes(context, Format(kAskMoveArchive, entry.displayName), MB_ICONWARNING | MB_YESNO)) {
        return;
    }
    const std::optional<std::wstring> folder = context.dialogs.pickFolder(context.owner, context.rootFolder);
    if (!folder) return;
    std::wstring cleared;
    const Outcome outcome = MoveInto(context, entry.containerPath, *folder, cleared);
    if (outcome == Outcome::kDeclined) return;
    // What stood at the destination is in the Recycle Bin now, whether or not the move followed;
    // a moved file takes everything in it along.
    std::vector<size_t> stale = cleared.empty() ? std::vector<size_t>() : EntriesAt(rows, cleared);
    if (outcome == Outcome::kMoved) {
        const std::vector<size_t> moved = LiveEntriesIn(rows, entry.containerPath);
        stale.insert(stale.end(), moved.begin(), moved.end());
    }
    RemoveRows(context.list, stale);
    if (outcome == Outcome::kFailed) ShowError(context, Format(kCannotMove, fileName));
}
