#include "actions/CommandSupport.h"

#include "actions/ResultList.h"
#include "common/PathText.h"

#include <algorithm>
#include <functional>

bool SelectedEntries(const ResultList& list, int column, size_t& position, size_t& partner) {
    const int row = SelectedRow(list.view);
    if (row < 0 || static_cast<uint64_t>(row) >= RowCount(list.rows)) return false;
    const auto [file1, file2] = RowEntries(list.rows, static_cast<uint64_t>(row));
    position = column == 0 ? file1 : file2;
    partner = column == 0 ? file2 : file1;
    return true;
}

CommandDialogs SystemDialogs() {
    return CommandDialogs{[](HWND owner, const std::wstring& text, UINT style) {
                              return MessageBoxW(owner, text.c_str(), kCaption, style);
                          },
                          PickFolder};
}

bool RunLong(const CommandContext& context, const std::function<bool(const StepControl&)>& step) {
    return context.runLong ? context.runLong(step) : step(StepControl{});
}

bool AskYes(const CommandContext& context, const std::wstring& text, UINT style) {
    return context.dialogs.messageBox(context.owner, text, style) == IDYES;
}

void ShowError(const CommandContext& context, const std::wstring& text) {
    context.dialogs.messageBox(context.owner, text, MB_ICONERROR);
}

bool IsNotFoundError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsGone(const std::wstring& path) {
    return GetFileAttributesW(SystemPath(path).c_str()) == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError());
}
