#include "ArchiveTestSupport.h"

#include "archive/ArchiverInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

std::wstring RealArchiverDir() {
    const char* dir = std::getenv("VELTRIMOX_7ZIP_DIR");
    EXPECT_TRUE(dir && *dir) << "VELTRIMOX_7ZIP_DIR is not set: run the tests through the test command";
    return dir && *dir ? WindowsPathOfUnixPath(dir) : L"";
}

std::wstring MakeFakeArchiverDir(const std::wstring& parent) {
    std::wstring fake(MAX_PATH, L'\0');
    fake.resize(GetModuleFileNameW(nullptr, &fake[0], MAX_PATH));
    fake = fake.substr(0, fake.find_last_of(L'\\') + 1) + L"fake_archiver.exe";
    MakeFolder(parent);
    EXPECT_TRUE(CopyFileW(fake.c_str(), (parent + L"\\7z.exe").c_str(), FALSE)) << Utf8(fake);
    WriteTestFile(parent + L"\\7z.dll", "");
    return parent;
}

void MakeArchive(const std::wstring& archive, const std::wstring& type, const std::wstring& workingFolder,
                 const std::wstring& items) {
    const std::wstring line = L"\"" + RealArchiverDir() + L"\\7z.exe\" a -t" + type + L" \"" + archive + L"\" " + items;
    std::wstring previous(MAX_PATH, L'\0');
    previous.resize(GetCurrentDirectoryW(MAX_PATH, &previous[0]));
    DWORD code = 1;  // the archiver takes the items relative to the current folder, which it inherits
    EXPECT_TRUE(SetCurrentDirectoryW(workingFolder.c_str()) && RunArchiver(line, nullptr, code) && code == 0) << Utf8(line);
    SetCurrentDirectoryW(previous.c_str());
}
