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
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring fake = self;
    fake.erase(fake.find_last_of(L'\\') + 1);
    fake += L"fake_archiver.exe";
    MakeFolder(parent);
    EXPECT_TRUE(CopyFileW(fake.c_str(), (parent + L"\\7z.exe").c_str(), FALSE)) << Utf8(fake);
    WriteTestFile(parent + L"\\7z.dll", "");
    return parent;
}

long RunProgram(const std::wstring& commandLine, const std::wstring& workingFolder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

void MakeArchive(const std::wstring& archive, const std::wstring& type, const std::wstring& workingFolder,
                 const std::wstring& items) {
    const std::wstring line = L"\"" + RealArchiverDir() + L"\\7z.exe\" a -t" + type + L" -bso0 -bsp0 \"" + archive +
                              L"\" " + items;
    ASSERT_EQ(RunProgram(line, workingFolder), 0) << Utf8(line);
}
