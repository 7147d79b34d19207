// The context menu's commands: delete or move the file that the selected row names.
#pragma once

#include "actions/ResultList.h"
#include "common/StepControl.h"
#include "scan/Catalogue.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ListedMember;

// The dialogs a command shows: the main window passes SystemDialogs(), a test its own answers.
struct CommandDialogs {
    // A question or an error: a message box captioned "Veltrimox"; returns the button's id.
    std::function<int(HWND owner, const std::wstring& text, UINT style)> messageBox;
    // The destination folder, starting at `rootFolder`; nullopt when cancelled, an empty path
    // for a pick without a file-system path (a library or another virtual folder).
    std::function<std::optional<std::wstring>(HWND owner, const std::wstring& rootFolder)> pickFolder;
};

// MessageBoxW, and the shell's folder picker titled "移動先".
[[nodiscard]] CommandDialogs SystemDialogs();

// What a command works on, handed over by the main window. The list's pairing holds the
// catalogue: a row names two of its positions, and a command acts on those alone.
struct CommandContext {
    HWND owner;  // the main window: owner of every message box and of the folder picker
    ResultList list;
    const std::wstring& rootFolder;
    const std::wstring& archiverPath;
    CommandDialogs dialogs;
    // Runs a long step (a comparison, an archiver run, a move to another drive) while the window
    // keeps answering; it may be stopped through the control it is given (Esc, closing). Empty:
    // the step runs right here.
    std::function<bool(const std::function<bool(const StepControl&)>& step)> runLong;
};

// Column 0 (file1) or 1 (file2). Without a selected row nothing happens.
void DeleteSelectedFile(const CommandContext& context, int column);
void MoveSelectedFile(const CommandContext& context, int column);

// After a delete of the entry at `position`: its rows and entry go, with those of everything in
// it when the whole file was recycled, or with the archive's own when a member was removed.
// Goes by positions alone: another entry of the same label keeps its rows.
void ForgetDeletedFile(const CommandContext& context, size_t position, bool recycled);

// Sends `path` (a file or a folder) to the Recycle Bin. 1 when it went there or did not exist
// at all, 0 otherwise (the shell failed or was told No, the path is unreachable, or it is still
// there). Where the Recycle Bin cannot take the item, the shell asks before deleting it for good.
[[nodiscard]] int RecycleFile(HWND owner, const std::wstring& path);

// Removes `member` from its archive with the archiver. Nothing is run for a name the archiver
// would read as another, nor unless a listing shows that name once, nothing under it, and the
// member's CRC: `listedBefore`, the archive's listing the caller has just taken, or a listing of its
// own. The archiver writes the archive less the member under a new name beside it and leaves the
// original alone; only when a listing of the new one shows the old less exactly that member does
// it replace the original, in one rename, so no kill at any moment loses the archive. True then,
// or when the archive itself is gone.
[[nodiscard]] bool DeleteArchiveMember(const std::wstring& archiverPath, const FileEntry& member,
                                       const std::vector<ListedMember>* listedBefore = nullptr);

// True when recycling `archive` for its member `member` loses nothing else: a listing without
// -ba shows that one item alone, the archive begins at the file's start and ends at its end
// (no tail, the whole file's size), and the archiver warns of nothing.
[[nodiscard]] bool IsArchiveItsMemberAlone(const std::wstring& archiverPath, const FileEntry& member);

// The folder picker's callback: opens the picker with the folder passed as `data` selected.
int CALLBACK FolderPickerCallback(HWND picker, UINT message, LPARAM parameter, LPARAM data);
