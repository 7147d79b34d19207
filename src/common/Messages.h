// What every message box of the program shares: its caption, and texts made from a format.
#pragma once

#include <string>

inline constexpr wchar_t kCaption[] = L"Veltrimox";

// "%s" in `format` replaced by `value`.
[[nodiscard]] inline std::wstring Format(const wchar_t* format, const std::wstring& value) {
    std::wstring text = format;
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, value);
    return text;
}
