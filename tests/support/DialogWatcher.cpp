#include "DialogWatcher.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

// Every wait is bounded: a test thread stuck in a dialog is freed and told, never waited on.
template <typename Done>
bool WaitUntil(int milliseconds, Done done) {
    for (int waited = 0; waited < milliseconds && !done(); waited += 20) Sleep(20);
    return done();
}

HWND FindOwned(HWND owner, const wchar_t* className) {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, className, nullptr)) != nullptr) {
        if (IsWindowVisible(w) && (!owner || GetWindow(w, GW_OWNER) == owner)) return w;
    }
    return nullptr;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    auto& seen = *reinterpret_cast<SeenDialog*>(param);
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (!IsWindowVisible(child)) return TRUE;
    if (_wcsicmp(name, L"Button") == 0) {
        seen.buttons.push_back(WindowText(child));
        seen.ids.push_back(GetDlgCtrlID(child));
    } else if (_wcsicmp(name, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        const auto icon = reinterpret_cast<HICON>(Send(child, STM_GETICON, 0, 0));
        seen.hasIcon = icon != nullptr;
        const std::pair<LPCWSTR, const wchar_t*> system[] = {
            {IDI_ERROR, L"error"}, {IDI_WARNING, L"warning"}, {IDI_QUESTION, L"question"}, {IDI_INFORMATION, L"info"}};
        for (const auto& [id, name] : system) seen.icon = icon && icon == LoadIconW(nullptr, id) ? name : seen.icon;
    } else if (_wcsicmp(name, L"Static") == 0 && seen.text.empty()) {
        seen.text = WindowText(child);
    } else if (wcscmp(name, WC_TREEVIEWW) == 0) {
        seen.tree = child;
    }
    return TRUE;
}

// The text of the tree's selected item: the picker shows a folder by its name.
std::wstring SelectedName(HWND tree) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (item.hItem) Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

}  // namespace

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

DialogAnswerer::DialogAnswerer(HWND owner, std::vector<int> answers, std::wstring pick)
    : owner_(owner), answers_(std::move(answers)), pick_(std::move(pick)) {
    thread_ = std::thread([this] {
        for (int waited = 0; !stop_ && waited < 60000; waited += 20, Sleep(20)) {
            if (HWND dialog = FindOwned(owner_, L"#32770")) Answer(dialog);
        }
    });
}

void DialogAnswerer::Answer(HWND dialog) {
    Sleep(100);  // let it lay out its controls
    SeenDialog seen;
    seen.caption = WindowText(dialog);
    EnumChildWindows(dialog, ReadChild, reinterpret_cast<LPARAM>(&seen));
    seen_.push_back(seen);
    const size_t number = seen_.size();
    int id = number <= answers_.size() ? answers_[number - 1] : 0;
    if (seen.tree && !pick_.empty() && !WaitUntil(5000, [&] {
            Send(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(pick_.c_str()));
            return SelectedName(seen.tree) == pick_.substr(pick_.find_last_of(L'\\') + 1);
        })) {
        id = 0;
    }
    if (!id || !GetDlgItem(dialog, id)) {
        failures_.push_back("dialog " + std::to_string(number) + " not answered as planned: closed");
        for (int close : {IDOK, IDCANCEL, IDNO}) id = GetDlgItem(dialog, close) ? close : id;
    }
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    if (!WaitUntil(10000, [&] { return !IsWindow(dialog); })) failures_.push_back("a dialog stayed open");
}

std::vector<SeenDialog> DialogAnswerer::Finish() {
    Sleep(300);  // a dialog that should not come gets the time to show
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (const std::string& failure : failures_) ADD_FAILURE() << failure;
    failures_.clear();
    return seen_;
}

MenuWatcher::MenuWatcher() {
    thread_ = std::thread([this] {
        HWND menu = nullptr;
        WaitUntil(60000, [&] { return stop_ || (menu = FindOwned(nullptr, L"#32768")) != nullptr; });
        if (!menu) return;
        Sleep(50);
        const auto handle = reinterpret_cast<HMENU>(Send(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
        for (int i = 0; handle && i < GetMenuItemCount(handle); ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(handle, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            items_.push_back(text);
        }
        RECT r{};
        GetWindowRect(menu, &r);
        topLeft_ = {r.left, r.top};
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        WaitUntil(10000, [&] { return !IsWindowVisible(menu); });
    });
}

std::vector<std::wstring> MenuWatcher::Finish(POINT* topLeft) {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (topLeft) *topLeft = topLeft_;
    return items_;
}
