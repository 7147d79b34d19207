#include "ArchiveTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

std::wstring MakeFakeArchiverDir(const std::wstring& parent) {
    std::wstring fake(MAX_PATH, L'\0');
    fake.resize(GetModuleFileNameW(nullptr, &fake[0], MAX_PATH));
    fake = fake.substr(0, fake.find_last_of(L'\\') + 1) + L"fake_archiver.exe";
    WriteTestFile(parent + L"\\7z.dll", "");
    EXPECT_TRUE(CopyFileW(fake.c_str(), (parent + L"\\7z.exe").c_str(), FALSE)) << Utf8(fake);
    return parent;
}
