// The INI file beside the executable: the archiver's folder, a folder name the scan skips, and
// the main window's placement.
#pragma once

#include <windows.h>

#include <string>

struct Settings {
    std::wstring archiverDir;  // [UserSetting] dir
    std::wstring ignoreName;   // [UserSetting] ignore
    int x = 10;                // [SystemSetting] x, y, width, height: the restored outer rectangle
    int y = 10;
    int width = 640;
    int height = 360;
};

// The running executable's path with its extension replaced by ".ini".
[[nodiscard]] std::wstring SettingsFilePath();

// %APPDATA%\Veltrimox\Veltrimox.ini: the placement's home where the program's own folder may
// not be written (Program Files); empty without %APPDATA%.
[[nodiscard]] std::wstring RoamingSettingsPath();

// Every value, whole at any length, with its default when the file, the section or the key is
// missing: [UserSetting] from `settingsFile`, [SystemSetting] from `roamingFile` whenever that
// exists, else from `settingsFile` too.
[[nodiscard]] Settings LoadSettings(const std::wstring& settingsFile, const std::wstring& roamingFile = L"");

// Writes the window's restored rectangle as x, y, width, height (" %d"); other keys stay. It goes
// to `roamingFile` when that exists or when `settingsFile` cannot be written (then made in the
// same UTF-16LE form). False when neither could be written.
[[nodiscard]] bool SavePlacement(HWND window, const std::wstring& settingsFile, const std::wstring& roamingFile = L"");

// A stored number: signed decimal, leading blanks allowed; an empty text gives `fallback`.
[[nodiscard]] int ParseProfileInt(const std::wstring& text, int fallback);
