#include "actions/CommandSupport.h"

#include "actions/ResultList.h"

#include <algorithm>
#include <functional>

bool FindEntryInRow(const ResultList& list, const EntryList& entries, int row, int column, size_t& position) {
    if (row < 0) return false;
    position = FindEntryByName(entries, ReadCellText(list.view, row, column));
    return position < entries.size();
}

CommandDialogs SystemDialogs() {
    return CommandDialogs{[](HWND owner, const std::wstring& text, UINT style) {
                              return MessageBoxW(owner, text.c_str(), kCaption, style);
                          },
                          PickFolder};
}

bool RunLong(const CommandContext& context, const std::function<bool()>& step) {
    return context.runLong ? context.runLong(step) : step();
}

bool AskYes(const CommandContext& context, const std::wstring& text, UINT style) {
    return context.dialogs.messageBox(context.owner, text, style) == IDYES;
}

void ShowError(const CommandContext& context, const std::wstring& text) {
    context.dialogs.messageBox(context.owner, text, MB_ICONERROR);
}

bool IsNotFoundError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsGone(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError());
}
