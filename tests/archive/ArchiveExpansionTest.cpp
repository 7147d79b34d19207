// Archive members through the real 7-Zip for Windows.
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/Crc32.h"
#include "scan/DuplicatePairing.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::wstring CrcOf(const std::string& content) {
    return FormatCrcText(Crc32Reference(0, content.data(), content.size()));
}

// Content whose CRC text starts with a zero: "%X" would have dropped it.
std::string ContentWithLeadingZeroCrc() {
    for (int i = 0;; ++i) {
        std::string content = "zero-" + std::to_string(i);
        if (CrcOf(content)[0] == L'0') return content;
    }
}

const FileEntry* Find(const EntryList& entries, const std::wstring& name) {
    const size_t at = FindEntryByName(entries, name);
    return at < entries.size() ? &entries[at] : nullptr;
}

bool HasRow(const std::vector<std::pair<std::wstring, std::wstring>>& rows, const std::wstring& a, const std::wstring& b) {
    return std::find(rows.begin(), rows.end(), std::make_pair(a, b)) != rows.end();
}

bool FolderIsEmpty(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") empty = false;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return empty;
}

}  // namespace

TEST(ArchiveExpansion, MembersOfRealArchivesJoinTheCatalogueAndPairBothWays) {
    const std::wstring archiver = LocateArchiver(RealArchiverDir());
    ASSERT_FALSE(archiver.empty());
    const std::wstring root = MakeTempFolder(L"real");
    const std::string zero = ContentWithLeadingZeroCrc();

    WriteTestFile(root + L"\\a.txt", "alpha");
    WriteTestFile(root + L"\\zero.txt", zero);
    WriteTestFile(root + L"\\not-an-archive.bin", "just bytes");

    const std::wstring staging = MakeTempFolder(L"staging");
    WriteTestFile(staging + L"\\docs\\a.txt", "alpha");
    WriteTestFile(staging + L"\\docs\\zero.txt", zero);
    MakeFolder(staging + L"\\emptydir");
    MakeArchive(root + L"\\set.zip", L"zip", staging, L"docs emptydir");
    MakeArchive(root + L"\\sub\\plain.tar", L"tar", staging, L"docs");

    const std::wstring names = MakeTempFolder(L"names");
    const std::wstring longInner = std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                                   std::wstring(94, L'f') + L".txt";
    ASSERT_EQ(longInner.size(), 300u);
    WriteTestFile(names + L"\\c1.txt", "gamma");
    WriteTestFile(names + L"\\c2.txt", "gamma");
    WriteTestFile(names + L"\\é.txt", "accent");
    WriteTestFile(names + L"\\日本.txt", "japan");
    WriteTestFile(L"\\\\?\\" + names + L"\\" + longInner, "long");
    MakeArchive(root + L"\\sub\\pack.7z", L"7z", names, L"*");

    EntryList entries;
    ScanFolder(ScanContext{root, L"", archiver}, root, entries);

    const FileEntry* member = Find(entries, L"set.zip【docs\\a.txt】");
    ASSERT_NE(member, nullptr);
    EXPECT_EQ(member->innerPath, L"docs\\a.txt");
    EXPECT_EQ(member->containerPath, root + L"\\set.zip");
    EXPECT_EQ(member->crcText, CrcOf("alpha"));
    EXPECT_EQ(member->inArchive, 1);
    // Each archive's own entry is followed directly by its members.
    const size_t archiveAt = FindEntryByName(entries, L"set.zip");
    ASSERT_LT(archiveAt + 2, entries.size());
    EXPECT_EQ(entries[archiveAt + 1].containerPath, root + L"\\set.zip");
    EXPECT_EQ(entries[archiveAt + 2].containerPath, root + L"\\set.zip");

    EXPECT_NE(Find(entries, L"sub\\pack.7z【é.txt】"), nullptr);
    EXPECT_NE(Find(entries, L"sub\\pack.7z【日本.txt】"), nullptr);
    const FileEntry* longMember = Find(entries, L"sub\\pack.7z【" + longInner + L"】");
    ASSERT_NE(longMember, nullptr) << "a 300-code-unit member path comes out whole";
    EXPECT_EQ(longMember->innerPath, longInner);

    for (const FileEntry& e : entries) {
        EXPECT_EQ(e.displayName.find(L"emptydir"), std::wstring::npos) << "a folder member has no CRC";
        EXPECT_EQ(e.displayName.find(L"plain.tar【"), std::wstring::npos) << "a tar listing has no CRC lines";
        EXPECT_EQ(e.displayName.find(L"not-an-archive.bin【"), std::wstring::npos);
    }
    // Loose entries: 3 files and 3 archives; members: 2 + 5.
    EXPECT_EQ(entries.size(), 13u);

    const auto rows = RowTexts(BuildPairs(entries));
    EXPECT_TRUE(HasRow(rows, L"a.txt", L"set.zip【docs\\a.txt】"));
    EXPECT_TRUE(HasRow(rows, L"set.zip【docs\\a.txt】", L"a.txt"));
    EXPECT_TRUE(HasRow(rows, L"zero.txt", L"set.zip【docs\\zero.txt】")) << "CRC texts starting with zero pair";
    EXPECT_TRUE(HasRow(rows, L"sub\\pack.7z【c1.txt】", L"sub\\pack.7z【c2.txt】"));
    EXPECT_TRUE(HasRow(rows, L"sub\\pack.7z【c2.txt】", L"sub\\pack.7z【c1.txt】"));

    EXPECT_TRUE(FolderIsEmpty(ScratchFolderPath())) << "no capture is left behind";
}

TEST(ArchiveExpansion, WithoutAnArchiverOnlyLooseFilesAndNoScratchFolder) {
    const std::wstring dir = MakeTempFolder(L"only-exe");
    WriteTestFile(dir + L"\\7z.exe", "");
    EXPECT_EQ(LocateArchiver(dir), L"") << "7z.dll is missing";
    WriteTestFile(dir + L"\\7z.dll", "");
    EXPECT_EQ(LocateArchiver(dir), dir + L"\\7z.exe");
    EXPECT_EQ(LocateArchiver(dir + L"\\"), dir + L"\\7z.exe");
    EXPECT_EQ(LocateArchiver(L""), L"");

    // A temporary folder of its own, to see that nothing is created in it.
    const std::wstring temp = MakeTempFolder(L"own-temp");
    wchar_t previous[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", previous, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temp.c_str());

    const std::wstring root = MakeTempFolder(L"loose-only");
    WriteTestFile(root + L"\\a.txt", "alpha");
    MakeArchive(root + L"\\set.zip", L"zip", root, L"a.txt");
    EntryList entries;
    ScanFolder(ScanContext{root, L"", LocateArchiver(MakeTempFolder(L"no-archiver"))}, root, entries);
    SetEnvironmentVariableW(L"TMP", previous);

    EXPECT_EQ(entries.size(), 2u);
    for (const FileEntry& e : entries) EXPECT_EQ(e.inArchive, 0);
    EXPECT_FALSE(PathExists(temp + L"\\Veltrimox"));
}
