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

// Every value, with its default when the file, the section or the key is missing.
[[nodiscard]] Settings LoadSettings(const std::wstring& settingsFile);

// Writes the window's restored rectangle as x, y, width, height (" %d"); other keys stay.
void SavePlacement(HWND window, const std::wstring& settingsFile);

// A stored number: signed decimal, leading blanks allowed; an empty text gives `fallback`.
[[nodiscard]] int ParseProfileInt(const std::wstring& text, int fallback);
