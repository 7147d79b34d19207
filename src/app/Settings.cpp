#include "app/Settings.h"

#include "common/ScopedWin.h"

#include <climits>
#include <cstdint>
#include <cwchar>
#include <vector>

namespace {

const wchar_t kUserSection[] = L"UserSetting";
const wchar_t kSystemSection[] = L"SystemSetting";
const wchar_t kDefaultArchiverDir[] = L"C:\\Program Files\\7-Zip";

// The whole value, however long: a value cut to fit the buffer fills it to one unit short.
std::wstring ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, const std::wstring& file) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(section, key, fallback, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                      file.c_str());
        if (length + 1 < buffer.size() || buffer.size() >= (1u << 20)) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// Read as text: the platform's integer read is documented to give 0 for a negative value,
// and a window left of the screen stores " -8".
int ReadInt(const wchar_t* key, int fallback, const std::wstring& file) {
    const std::wstring fallbackText = std::to_wstring(fallback);
    return ParseProfileInt(ReadText(kSystemSection, key, fallbackText.c_str(), file), fallback);
}

bool WriteInt(const wchar_t* key, int value, const std::wstring& file) {
    wchar_t text[16];
    swprintf(text, 16, L" %d", value);
    return WritePrivateProfileStringW(kSystemSection, key, text, file.c_str()) != FALSE;
}

bool IsExistingFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Writes the four values to `file`, made first when missing. The profile functions make a
// missing file in the ANSI code page, which garbles any name outside it; one that begins as
// UTF-16 stays so, as the shipped one does. An existing file keeps its encoding.
bool WritePlacement(const RECT& r, const std::wstring& file) {
    ScopedHandle made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (made.IsValid() && !WriteFile(made.Get(), "\xFF\xFE", 2, &written, nullptr)) return false;
    made.Reset();
    // Each is written, whatever the one before did.
    const bool x = WriteInt(L"x", r.left, file), y = WriteInt(L"y", r.top, file);
    const bool width = WriteInt(L"width", r.right - r.left, file), height = WriteInt(L"height", r.bottom - r.top, file);
    return x && y && width && height;
}

}  // namespace

std::wstring SettingsFilePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return L"";
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            const size_t dot = path.find_last_of(L'.');
            const size_t separator = path.find_last_of(L"\\/");
            if (dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator)) path.erase(dot);
            return path + L".ini";
        }
        buffer.resize(buffer.size() * 2);
    }
}

int ParseProfileInt(const std::wstring& text, int fallback) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i == text.size()) return fallback;
    bool negative = false;
    if (text[i] == L'-' || text[i] == L'+') negative = text[i++] == L'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

std::wstring RoamingSettingsPath() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", &folder[0], static_cast<DWORD>(folder.size()));
        if (length == 0) return L"";
        if (length < folder.size()) {
            folder.resize(length);
            return folder + L"\\Veltrimox\\Veltrimox.ini";
        }
        folder.resize(length);
    }
}

Settings LoadSettings(const std::wstring& settingsFile, const std::wstring& roamingFile) {
    Settings settings;
    settings.archiverDir = ReadText(kUserSection, L"dir", kDefaultArchiverDir, settingsFile);
    settings.ignoreName = ReadText(kUserSection, L"ignore", L"", settingsFile);
    const std::wstring& placement = !roamingFile.empty() && IsExistingFile(roamingFile) ? roamingFile : settingsFile;
    settings.x = ReadInt(L"x", 10, placement);
    settings.y = ReadInt(L"y", 10, placement);
    settings.width = ReadInt(L"width", 640, placement);
    settings.height = ReadInt(L"height", 360, placement);
    return settings;
}

bool SavePlacement(HWND window, const std::wstring& settingsFile, const std::wstring& roamingFile) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return false;
    const RECT& r = placement.rcNormalPosition;
    // Once the placement has gone to the user's own folder, it stays there.
    const bool roaming = !roamingFile.empty() && IsExistingFile(roamingFile);
    if (!roaming && WritePlacement(r, settingsFile)) return true;
    if (roamingFile.empty()) return false;
    CreateDirectoryW(roamingFile.substr(0, roamingFile.find_last_of(L'\\')).c_str(), nullptr);
    return WritePlacement(r, roamingFile);
}
