#include "TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdlib>

std::wstring WindowsPathOfUnixPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

namespace {

std::wstring ScratchRoot() {
    static const std::wstring root = [] {
        const char* scratch = std::getenv("VELTRIMOX_SCRATCH");
        if (scratch && *scratch) return WindowsPathOfUnixPath(scratch);
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        std::wstring fallback = temp;
        fallback += L"veltrimox-tests";
        CreateDirectoryW(fallback.c_str(), nullptr);
        return fallback;
    }();
    return root;
}

}  // namespace

std::wstring MakeTempFolder(const std::wstring& hint) {
    static std::atomic<int> counter{0};
    const std::wstring path = ScratchRoot() + L"\\" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter++);
    MakeFolder(path);
    return path;
}

void MakeFolder(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

void WriteTestFile(const std::wstring& path, const std::string& content) {
    MakeFolder(path.substr(0, path.find_last_of(L'\\')));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
    DWORD written = 0;
    if (!content.empty()) WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, content.size());
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

bool RunningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::vector<std::pair<std::wstring, std::wstring>> RowTexts(const PairRows& rows) {
    std::vector<std::pair<std::wstring, std::wstring>> texts;
    for (uint64_t row = 0; row < RowCount(rows); ++row) {
        const auto [file1, file2] = RowEntries(rows, row);
        texts.emplace_back(rows.entries[file1].displayName, rows.entries[file2].displayName);
    }
    return texts;
}

std::vector<std::pair<std::wstring, std::wstring>> ReadListRows(HWND list, HANDLE process) {
    struct Cell {
        LVITEMW item;
        wchar_t text[1024];
    };
    Cell here{};
    Cell* cell = process ? static_cast<Cell*>(VirtualAllocEx(process, nullptr, sizeof(Cell), MEM_COMMIT, PAGE_READWRITE))
                         : &here;
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; cell && i < count; ++i) {
        std::wstring cells[2];
        for (int c = 0; c < 2; ++c) {
            Cell asked{};
            asked.item.iSubItem = c;
            asked.item.pszText = cell->text;
            asked.item.cchTextMax = 1024;
            if (process) WriteProcessMemory(process, cell, &asked, sizeof(Cell), nullptr);
            else here = asked;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&cell->item));
            if (process) ReadProcessMemory(process, cell, &asked, sizeof(Cell), nullptr);
            else asked = here;
            cells[c] = asked.text;
        }
        rows.emplace_back(cells[0], cells[1]);
    }
    if (process && cell) VirtualFreeEx(process, cell, 0, MEM_RELEASE);
    return rows;
}

PROCESS_INFORMATION StartWorker(const std::wstring& test) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + test + L" --gtest_also_run_disabled_tests";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << Utf8(line);
    }
    return process;
}

std::string ReadTextFile(const std::wstring& path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}
