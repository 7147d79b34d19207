#include "TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

std::wstring WindowsPathOfUnixPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring MakeTempFolder(const std::wstring& hint) {
    static std::atomic<int> counter{0};
    const char* scratch = std::getenv("VELTRIMOX_SCRATCH");  // set by the wrapper; else the user's temp folder
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring root = scratch && *scratch ? WindowsPathOfUnixPath(scratch) : temp + std::wstring(L"veltrimox-tests");
    const std::wstring path = root + L"\\" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
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
    DWORD written = 0;
    if (!content.empty()) WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, content.size()) << Utf8(path);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::vector<std::pair<std::wstring, std::wstring>> ReadListRows(HWND list, HANDLE process) {
    struct Cell {
        LVITEMW item;
        wchar_t text[1024];
    };
    process = process ? process : GetCurrentProcess();  // one way for both: the buffer lives in the list's process
    auto* remote = static_cast<Cell*>(VirtualAllocEx(process, nullptr, sizeof(Cell), MEM_COMMIT, PAGE_READWRITE));
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK, 20000, &count);
    for (int i = 0; remote && i < static_cast<int>(count); ++i) {
        std::wstring cells[2];
        for (int c = 0; c < 2; ++c) {
            Cell cell{};
            cell.item.iSubItem = c;
            cell.item.pszText = remote->text;
            cell.item.cchTextMax = 1024;
            WriteProcessMemory(process, remote, &cell, sizeof(Cell), nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&remote->item));
            ReadProcessMemory(process, remote, &cell, sizeof(Cell), nullptr);
            cells[c] = cell.text;
        }
        rows.emplace_back(cells[0], cells[1]);
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return rows;
}

std::string ReadTextFile(const std::wstring& path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return text;
}
