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

// The positions of the entries the selected row names: `position` in `column`, `partner` in
// the other; false when no row is selected.
[[nodiscard]] bool SelectedEntries(const ResultList& list, int column, size_t& position, size_t& partner);

// The step through context.runLong, or here when there is none.
[[nodiscard]] bool RunLong(const CommandContext& context, const std::function<bool(const StepControl&)>& step);

// Asks a question; true only for Yes (a box that failed or was closed otherwise is no consent).
[[nodiscard]] bool AskYes(const CommandContext& context, const std::wstring& text, UINT style);

void ShowError(const CommandContext& context, const std::wstring& text);

// The shell's folder picker (see CommandDialogs::pickFolder).
[[nodiscard]] std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& rootFolder);

// True when the path is not there at all; an unreachable or denied path is not "gone".
[[nodiscard]] bool IsGone(const std::wstring& path);
[[nodiscard]] bool IsNotFoundError(DWORD error);
