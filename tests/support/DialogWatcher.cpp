#include "DialogWatcher.h"

#include <chrono>

namespace {

constexpr auto kGiveUpAfter = std::chrono::seconds(60);

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct FindContext {
    HWND owner;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindOwned(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<FindContext*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != context->className) return TRUE;
    if (context->owner && GetWindow(window, GW_OWNER) != context->owner) return TRUE;
    context->found = window;
    return FALSE;
}

HWND FindTopLevel(HWND owner, const wchar_t* className) {
    FindContext context{owner, className, nullptr};
    EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    auto* seen = reinterpret_cast<SeenDialog*>(param);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring cls = ClassOf(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        seen->buttons.push_back(WindowText(child));
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageW(child, STM_GETICON, 0, 0) != 0) seen->hasIcon = true;
        } else {
            const std::wstring text = WindowText(child);
            if (!text.empty() && seen->text.empty()) seen->text = text;
        }
    }
    return TRUE;
}

}  // namespace

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

DialogAnswerer::DialogAnswerer(HWND owner, std::vector<int> answers, Action beforeAnswer, void* context)
    : owner_(owner), answers_(std::move(answers)), beforeAnswer_(beforeAnswer), context_(context) {
    thread_ = std::thread([this] { Run(); });
}

DialogAnswerer::~DialogAnswerer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void DialogAnswerer::Run() {
    const auto start = std::chrono::steady_clock::now();
    size_t answered = 0;
    while (answered < answers_.size() && !stop_ && std::chrono::steady_clock::now() - start < kGiveUpAfter) {
        HWND dialog = FindTopLevel(owner_, L"#32770");
        if (!dialog) {
            Sleep(20);
            continue;
        }
        Sleep(50);  // let it finish laying out its controls
        SeenDialog seen;
        seen.caption = WindowText(dialog);
        EnumChildWindows(dialog, ReadChild, reinterpret_cast<LPARAM>(&seen));
        const int instead = beforeAnswer_ ? beforeAnswer_(dialog, context_) : 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(seen);
        }
        const int planned = answers_[answered++];
        const int id = instead != 0 ? instead : planned;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        while (IsWindow(dialog) && !stop_ && std::chrono::steady_clock::now() - start < kGiveUpAfter) Sleep(10);
    }
}

std::vector<SeenDialog> DialogAnswerer::Finish() {
    // Gives the thread time to see a dialog that should have come, then stops it.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) Sleep(10);
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

MenuWatcher::MenuWatcher() {
    thread_ = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        while (!stop_ && std::chrono::steady_clock::now() - start < kGiveUpAfter) {
            HWND menuWindow = FindTopLevel(nullptr, L"#32768");
            if (!menuWindow) {
                Sleep(20);
                continue;
            }
            Sleep(50);
            HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, 0x01E1 /* MN_GETHMENU */, 0, 0));
            for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
                wchar_t text[256] = {};
                GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
                items_.push_back(text);
            }
            RECT r{};
            GetWindowRect(menuWindow, &r);
            topLeft_ = {r.left, r.top};
            PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
            while (IsWindowVisible(menuWindow) && std::chrono::steady_clock::now() - start < kGiveUpAfter) Sleep(10);
            return;
        }
    });
}

MenuWatcher::~MenuWatcher() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<std::wstring> MenuWatcher::Finish(POINT* topLeft) {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (topLeft) *topLeft = topLeft_;
    return items_;
}
