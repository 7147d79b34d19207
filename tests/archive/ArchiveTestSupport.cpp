#include "ArchiveTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

std::wstring RealArchiverDir() {
    const char* dir = std::getenv("VELTRIMOX_7ZIP_DIR");
    if (!dir || !*dir) {
        ADD_FAILURE() << "VELTRIMOX_7ZIP_DIR is not set: run the tests through the test command";
        return L"";
    }
    return WindowsPathOfUnixPath(dir);
}

std::wstring MakeFakeArchiverDir(const std::wstring& parent) {
    std::wstring fake(MAX_PATH, L'\0');
    fake.resize(GetModuleFileNameW(nullptr, &fake[0], MAX_PATH));
    fake.erase(fake.find_last_of(L'\\') + 1);
    fake += L"fake_archiver.exe";
    MakeFolder(parent);
    EXPECT_TRUE(CopyFileW(fake.c_str(), (parent + L"\\7z.exe").c_str(), FALSE)) << Utf8(fake);
    WriteTestFile(parent + L"\\7z.dll", "");
    return parent;
}

void MakeArchive(const std::wstring& archive, const std::wstring& type, const std::wstring& workingFolder,
                 const std::wstring& items) {
    const std::wstring text = L"\"" + RealArchiverDir() + L"\\7z.exe\" a -t" + type + L" -bso0 -bsp0 \"" + archive +
                              L"\" " + items;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(text.begin(), text.end());
    line.push_back(0);
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               workingFolder.c_str(), &startup, &process)) << Utf8(text);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << Utf8(text);
}
