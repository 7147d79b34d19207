#include "scan/Crc32.h"
#include "scan/FileChecksum.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

TEST(FileChecksum, EntryOfALooseFile) {
    const std::wstring root = MakeTempFolder(L"crc");
    WriteTestFile(root + L"\\check.txt", "123456789");
    WriteTestFile(root + L"\\sub\\empty.bin", "");

    EntryList entries;
    ComputeFileCrc(root, root + L"\\check.txt", entries);
    ComputeFileCrc(root, root + L"\\sub\\empty.bin", entries);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].displayName, L"check.txt");
    EXPECT_EQ(entries[0].innerPath, L"");
    EXPECT_EQ(entries[0].containerPath, root + L"\\check.txt");
    EXPECT_EQ(entries[0].crcText, L"CBF43926");
    EXPECT_EQ(entries[0].inArchive, 0);
    EXPECT_EQ(entries[1].displayName, L"sub\\empty.bin");
    EXPECT_EQ(entries[1].crcText, L"00000000");
}

TEST(FileChecksum, FilesLargerThanOneChunkAreHashedWhole) {
    std::mt19937 random(5);
    std::string content((2u << 20) + 4099, '\0');
    for (char& c : content) c = static_cast<char>(random());
    const std::wstring root = MakeTempFolder(L"crc-big");
    WriteTestFile(root + L"\\big.bin", content);

    EntryList entries;
    ComputeFileCrc(root, root + L"\\big.bin", entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].crcText, FormatCrcText(Crc32Reference(0, content.data(), content.size())));
}

TEST(FileChecksum, UnreadableAndMissingFilesAddNothing) {
    const std::wstring root = MakeTempFolder(L"crc-locked");
    const std::wstring locked = root + L"\\locked.txt";
    WriteTestFile(locked, "busy");
    // Held open without sharing, as by a program writing it.
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    EntryList entries;
    ComputeFileCrc(root, locked, entries);
    ComputeFileCrc(root, root + L"\\gone.txt", entries);
    EXPECT_TRUE(entries.empty());

    CloseHandle(holder);
    ComputeFileCrc(root, locked, entries);
    EXPECT_EQ(entries.size(), 1u) << "readable again once released";
}

TEST(FileChecksum, DisplayNameIsRelativeToTheRoot) {
    EXPECT_EQ(RelativeDisplayName(L"D:\\data", L"D:\\data\\a.txt"), L"a.txt");
    EXPECT_EQ(RelativeDisplayName(L"D:\\data", L"D:\\data\\sub\\a.txt"), L"sub\\a.txt");
    EXPECT_EQ(RelativeDisplayName(L"C:\\", L"C:\\a.txt"), L"a.txt");
    EXPECT_EQ(RelativeDisplayName(L"C:\\", L"C:\\old\\a.txt"), L"old\\a.txt");
}
