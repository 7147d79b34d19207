#include "scan/Crc32.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::vector<std::wstring> Names(const EntryList& entries) {
    std::vector<std::wstring> names;
    for (const FileEntry& e : entries) names.push_back(e.displayName);
    return names;
}

size_t IndexOf(const std::vector<std::wstring>& names, const std::wstring& name) {
    return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

EntryList Scan(const std::wstring& root, const std::wstring& ignore = L"") {
    return LooseEntries(ScanFolder(ScanContext{root, ignore}, root));
}

// Names of a folder in the order the file system lists them.
std::vector<std::wstring> ListingOrder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

}  // namespace

TEST(FolderScan, FilesComeBeforeSubfoldersAndEachSubtreeIsWalkedWhole) {
    const std::wstring root = MakeTempFolder(L"order");
    WriteTestFile(root + L"\\a.txt", "a");
    WriteTestFile(root + L"\\b.txt", "b");
    WriteTestFile(root + L"\\s\\c.txt", "c");
    WriteTestFile(root + L"\\s\\t\\d.txt", "d");
    WriteTestFile(root + L"\\u\\e.txt", "e");
    MakeFolder(root + L"\\empty");

    const std::vector<std::wstring> names = Names(Scan(root));
    ASSERT_EQ(names.size(), 5u);
    std::vector<std::wstring> firstTwo(names.begin(), names.begin() + 2);
    std::sort(firstTwo.begin(), firstTwo.end());
    EXPECT_EQ(firstTwo, (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    const size_t c = IndexOf(names, L"s\\c.txt"), d = IndexOf(names, L"s\\t\\d.txt"), e = IndexOf(names, L"u\\e.txt");
    EXPECT_EQ(d, c + 1) << "a folder's files, then its subfolders, before the next sibling";
    EXPECT_TRUE(e == 2 || e == 4) << "u is walked before or after the whole of s";
    // Siblings follow the listing order of their parent.
    const std::vector<std::wstring> listing = ListingOrder(root);
    EXPECT_EQ(e < c, IndexOf(listing, L"u") < IndexOf(listing, L"s"));
}

TEST(FolderScan, IgnoreNameSkipsFoldersAtEveryDepthButNeverTheRootOrFiles) {
    const std::wstring root = MakeTempFolder(L"cache");
    WriteTestFile(root + L"\\keep.txt", "1");
    WriteTestFile(root + L"\\cache", "a file named like the ignored folder");
    WriteTestFile(root + L"\\Cache2\\in.txt", "2");
    WriteTestFile(root + L"\\sub\\CACHE\\x.txt", "3");
    WriteTestFile(root + L"\\sub\\deeper\\cache\\y.txt", "4");
    WriteTestFile(root + L"\\sub\\z.txt", "5");

    std::vector<std::wstring> names = Names(Scan(root, L"cache"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Cache2\\in.txt", L"cache", L"keep.txt", L"sub\\z.txt"}));

    EXPECT_EQ(Scan(root, L"").size(), 6u) << "an empty name skips nothing";

    // The dropped folder itself is walked even when its name is the ignored one.
    const std::wstring named = root + L"\\sub\\CACHE";
    EXPECT_EQ(Names(Scan(named, L"cache")), (std::vector<std::wstring>{L"x.txt"}));
}

TEST(FolderScan, HiddenAndSystemFilesAreCatalogued) {
    const std::wstring root = MakeTempFolder(L"hidden");
    WriteTestFile(root + L"\\h.txt", "h");
    WriteTestFile(root + L"\\s.txt", "s");
    SetFileAttributesW((root + L"\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((root + L"\\s.txt").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Scan(root).size(), 2u);
}

TEST(FolderScan, UnreadableFilesAndUnlistableFoldersArePassedOverSilently) {
    const std::wstring root = MakeTempFolder(L"locked");
    WriteTestFile(root + L"\\locked.txt", "busy");
    WriteTestFile(root + L"\\free.txt", "free");
    WriteTestFile(root + L"\\closed\\inside.txt", "inside");
    WriteTestFile(root + L"\\open\\visible.txt", "visible");

    HANDLE file = CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A folder held without sharing cannot be listed by anyone else.
    HANDLE folder = CreateFileW((root + L"\\closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAW probe{};
    ASSERT_EQ(FindFirstFileW((root + L"\\closed\\*").c_str(), &probe), INVALID_HANDLE_VALUE)
        << "the folder must really be unlistable for this test";

    std::vector<std::wstring> names = Names(Scan(root));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"free.txt", L"open\\visible.txt"}));

    CloseHandle(folder);
    CloseHandle(file);
}

TEST(FolderScan, ARootThatCannotBeListedGivesNothing) {
    EXPECT_TRUE(Scan(MakeTempFolder(L"missing") + L"\\not-there").empty());
}

TEST(FolderScan, PathsLongerThanTheLimitAreSkippedAndTheRestIsWalked) {
    const std::wstring root = MakeTempFolder(L"long");
    const std::wstring folder = root + L"\\" + std::wstring(150 - (root.size() % 50), L'f');
    ASSERT_LT(folder.size() + 10, kMaxPathChars);
    const std::wstring fits = folder + L"\\" + std::wstring(kMaxPathChars - folder.size() - 1, L'a');
    const std::wstring tooLong = folder + L"\\" + std::wstring(kMaxPathChars - folder.size(), L'b');
    ASSERT_EQ(fits.size(), kMaxPathChars);
    WriteTestFile(L"\\\\?\\" + fits, "fits");
    WriteTestFile(L"\\\\?\\" + tooLong, "too long");
    // A folder whose own path fits but whose files' paths cannot.
    const std::wstring deepFolder = folder + L"\\" + std::wstring(kMaxPathChars - folder.size() - 3, L'd');
    WriteTestFile(L"\\\\?\\" + deepFolder + L"\\x.txt", "deep");
    WriteTestFile(root + L"\\z.txt", "sibling");

    const EntryList entries = Scan(root);
    std::vector<std::wstring> paths;
    for (const FileEntry& e : entries) paths.push_back(e.containerPath);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::wstring>{fits, root + L"\\z.txt"}));
}

TEST(FolderScan, NamesThePlatformOpensAsDevicesOrOtherFilesArePassedOver) {
    for (const wchar_t* name : {L"report.", L"notes ", L"CON", L"prn", L"Aux", L"nul.txt", L"Aux.tar.gz", L"con .txt",
                                L"COM0", L"com9.log", L"LPT1", L"lpt0", L"COM\u00B9", L"lpt\u00B2.x", L"LPT\u00B3"}) {
        EXPECT_TRUE(IsUnaddressableName(name)) << Utf8(name);
    }
    for (const wchar_t* name : {L"report", L"a.b", L"console", L"auxiliary", L"nul_.txt", L" nul", L"x.con", L"com10",
                                L"COM", L"lpt1x", L"com\u2074", L"COM\u00BA"}) {
        EXPECT_FALSE(IsUnaddressableName(name)) << Utf8(name);
    }

    // A tree holding such files, made on the Unix side: the scan ends, and only the others count.
    const char* tree = std::getenv("VELTRIMOX_DEVICE_TREE");
    ASSERT_TRUE(tree && *tree) << "run through ctest: the fixture makes the tree";
    const EntryList entries = Scan(WindowsPathOfUnixPath(tree));
    std::vector<std::wstring> names = Names(entries);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.txt", L"auxiliary", L"com10.txt", L"sub\\b.txt"}));
    for (const FileEntry& e : entries) EXPECT_EQ(e.crcText, FormatCrcText(Crc32Reference(0, "same", 4)));
}

TEST(FolderScan, ADriveRootGivesNamesWithoutALeadingSeparator) {
    const char* drive = std::getenv("VELTRIMOX_TEST_DRIVE");
    ASSERT_TRUE(drive && *drive) << "run through ctest: the fixture maps a drive letter to a test folder";
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(drive[0])) + L":\\";
    const EntryList entries = Scan(root);
    std::vector<std::wstring> names = Names(entries);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"old\\set.txt", L"top.txt"}));
    EXPECT_EQ(entries[IndexOf(Names(entries), L"top.txt")].containerPath, root + L"top.txt");
}

// Folder links: every folder is walked at most once, whatever paths lead to it.
TEST(FolderScanLinks, EachFolderIsWalkedOnceAndTheFirstPathWins) {
    const char* tree = std::getenv("VELTRIMOX_LINK_TREE");
    ASSERT_TRUE(tree && *tree) << "run through ctest: the fixture makes the link tree";
    const std::wstring root = WindowsPathOfUnixPath(tree) + L"\\root";

    const EntryList entries = Scan(root);
    const std::vector<std::wstring> names = Names(entries);
    std::wstring all;
    for (const std::wstring& name : names) all += name + L" | ";
    ASSERT_EQ(entries.size(), 4u) << "each of the four files once: " << Utf8(all);

    // The first of the three paths to "sub" in the root's listing is the one walked.
    const std::vector<std::wstring> listing = ListingOrder(root);
    std::wstring subPath;
    for (const std::wstring& name : listing) {
        if (name == L"sub" || name == L"again" || name == L"more") {
            subPath = name;
            break;
        }
    }
    EXPECT_EQ(entries[0].displayName, L"a.txt");
    EXPECT_LT(IndexOf(names, subPath + L"\\b.txt"), names.size());
    EXPECT_LT(IndexOf(names, subPath + L"\\deep\\c.txt"), names.size());
    const bool subBeforeOut = IndexOf(listing, subPath) < IndexOf(listing, L"out");
    EXPECT_LT(IndexOf(names, subBeforeOut ? subPath + L"\\out2\\o.txt" : L"out\\o.txt"), names.size())
        << "the folder outside the tree is walked once, by the path met first: " << Utf8(all);
}

TEST(FolderScanLinks, UnknownIdentitiesAreAlwaysWalked) {
    VisitedFolders visited;
    EXPECT_TRUE(MarkFolderVisited(visited, std::nullopt));
    EXPECT_TRUE(MarkFolderVisited(visited, std::nullopt));
    EXPECT_TRUE(MarkFolderVisited(visited, FileIdentity{7, 42}));
    EXPECT_FALSE(MarkFolderVisited(visited, FileIdentity{7, 42}));
    EXPECT_TRUE(MarkFolderVisited(visited, FileIdentity{8, 42})) << "another volume";
    EXPECT_FALSE(ReadFileIdentity(MakeTempFolder(L"id") + L"\\missing").has_value());

    const std::wstring folder = MakeTempFolder(L"id");
    const auto first = ReadFileIdentity(folder);
    const auto again = ReadFileIdentity(folder + L"\\.");
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(again.has_value());
    EXPECT_FALSE(*first < *again || *again < *first) << "two spellings of one folder share an identity";
}

TEST(FolderScanLinks, FileSymbolicLinksArePassedOverOtherReparsePointsAreFiles) {
    WIN32_FIND_DATAW found{};
    found.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    found.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    EXPECT_TRUE(IsFileSymbolicLink(found));
    found.dwReserved0 = 0x9000001Au;  // a cloud placeholder
    EXPECT_FALSE(IsFileSymbolicLink(found));
    found.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    found.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_FALSE(IsFileSymbolicLink(found)) << "the tag counts only with the reparse attribute";
    found.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_FALSE(IsFileSymbolicLink(found)) << "folder links are followed";
}
