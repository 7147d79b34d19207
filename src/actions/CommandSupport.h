// What the delete and move commands share.
#pragma once

#include "actions/FileCommands.h"
#include "actions/ResultList.h"
#include "common/Messages.h"
#include "common/PathText.h"
#include "scan/Catalogue.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The entry that `row` (SelectedRow's) names in `column`; false when there is no row or no such entry.
[[nodiscard]] bool FindEntryInRow(const ResultList& list, const EntryList& entries, int row, int column, size_t& position);

// The step through context.runLong, or here when there is none.
[[nodiscard]] bool RunLong(const CommandContext& context, const std::function<bool()>& step);

// Asks a question; true only for Yes (a box that failed or was closed otherwise is no consent).
[[nodiscard]] bool AskYes(const CommandContext& context, const std::wstring& text, UINT style);

void ShowError(const CommandContext& context, const std::wstring& text);

// The shell's folder picker (see CommandDialogs::pickFolder).
[[nodiscard]] std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& rootFolder);

// True when the path is not there at all; an unreachable or denied path is not "gone".
[[nodiscard]] bool IsGone(const std::wstring& path);
[[nodiscard]] bool IsNotFoundError(DWORD error);
