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

std::wstring ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, const std::wstring& file) {
    wchar_t buffer[MAX_PATH] = {};
    GetPrivateProfileStringW(section, key, fallback, buffer, MAX_PATH, file.c_str());
    return buffer;
}

// Read as text: the platform's integer read is documented to give 0 for a negative value,
// and a window left of the screen stores " -8".
int ReadInt(const wchar_t* key, int fallback, const std::wstring& file) {
    const std::wstring fallbackText = std::to_wstring(fallback);
    return ParseProfileInt(ReadText(kSystemSection, key, fallbackText.c_str(), file), fallback);
}

void WriteInt(const wchar_t* key, int value, const std::wstring& file) {
    wchar_t text[16];
    swprintf(text, 16, L" %d", value);
    WritePrivateProfileStringW(kSystemSection, key, text, file.c_str());
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

Settings LoadSettings(const std::wstring& settingsFile) {
    Settings settings;
    settings.archiverDir = ReadText(kUserSection, L"dir", kDefaultArchiverDir, settingsFile);
    settings.ignoreName = ReadText(kUserSection, L"ignore", L"", settingsFile);
    settings.x = ReadInt(L"x", 10, settingsFile);
    settings.y = ReadInt(L"y", 10, settingsFile);
    settings.width = ReadInt(L"width", 640, settingsFile);
    settings.height = ReadInt(L"height", 360, settingsFile);
    return settings;
}

void SavePlacement(HWND window, const std::wstring& settingsFile) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return;
    // The profile functions make a missing file in the ANSI code page, which garbles any name
    // outside it; one that begins as UTF-16 stays so. An existing file keeps its encoding.
    ScopedHandle made(CreateFileW(settingsFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (made.IsValid()) WriteFile(made.Get(), "\xFF\xFE", 2, &written, nullptr);
    made.Reset();
    const RECT& r = placement.rcNormalPosition;
    WriteInt(L"x", r.left, settingsFile);
    WriteInt(L"y", r.top, settingsFile);
    WriteInt(L"width", r.right - r.left, settingsFile);
    WriteInt(L"height", r.bottom - r.top, settingsFile);
}
