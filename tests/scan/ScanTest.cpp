// Checksums, display names, the walk of real trees and the pairing of a catalogue.
#include "scan/Crc32.h"
#include "scan/DuplicatePairing.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>

namespace {

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

std::wstring CrcText(const std::string& bytes) { return FormatCrcText(Crc32Reference(0, bytes.data(), bytes.size())); }

// Display names in walk order; a walk that meets more than `limit` files is stopped there.
std::vector<std::wstring> Walk(const std::wstring& root, const std::wstring& ignore = L"", size_t limit = 100) {
    std::atomic<bool> stop{false};
    const StepControl control{[&](size_t done, size_t) { stop = stop || done > limit; }, &stop};
    std::vector<std::wstring> names;
    for (const FileEntry& e : LooseEntries(ScanFolder(ScanContext{root, ignore}, root, control))) {
        names.push_back(e.displayName);
    }
    return names;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring Fixture(const char* variable) {
    const char* path = std::getenv(variable);
    EXPECT_TRUE(path && *path) << variable << ": run through ctest, whose fixture makes the tree";
    return WindowsPathOfUnixPath(path ? path : "");
}

}  // namespace

TEST(Crc32, FastPathsGiveTheCheckValueAndTheReferenceAtEveryLengthAlignmentAndSplit) {
    using CrcFunction = uint32_t (*)(uint32_t, const void*, size_t);
    std::vector<CrcFunction> paths = {&Crc32Reference, &Crc32SliceBy8, &Crc32Update};
    if (Crc32ClmulAvailable()) paths.push_back(&Crc32Clmul);
    const std::string data = RandomBytes(4096 + 64, 7);
    std::mt19937 random(11);
    for (size_t path = 0; path < paths.size(); ++path) {
        const CrcFunction crc = paths[path];
        EXPECT_EQ(crc(0, "123456789", 9), 0xCBF43926u) << "path " << path;
        EXPECT_EQ(crc(0, "", 0), 0u) << "path " << path;
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t length = 0; length <= 600; ++length) {
                ASSERT_EQ(crc(0, data.data() + offset, length), Crc32Reference(0, data.data() + offset, length))
                    << "path " << path << " offset " << offset << " length " << length;
            }
        }
        for (int round = 0; round < 100; ++round) {
            const size_t length = random() % 4096, split = length ? random() % length : 0;
            ASSERT_EQ(crc(crc(0, data.data(), split), data.data() + split, length - split),
                      Crc32Reference(0, data.data(), length)) << "path " << path << " split " << split;
        }
    }
}

TEST(FileChecksum, CrcTextsAndDisplayNames) {
    EXPECT_EQ(FormatCrcText(0xCBF43926u), L"CBF43926");
    EXPECT_EQ(FormatCrcText(0x0000ABCDu), L"0000ABCD");
    EXPECT_EQ(FormatCrcText(0u), L"00000000");
    const wchar_t* names[][3] = {{L"D:\\data", L"D:\\data\\a.txt", L"a.txt"},
                                 {L"D:\\data", L"D:\\data\\sub\\a.txt", L"sub\\a.txt"},
                                 {L"C:\\", L"C:\\a.txt", L"a.txt"},
                                 {L"C:\\", L"C:\\old\\a.txt", L"old\\a.txt"}};
    for (const auto& n : names) EXPECT_EQ(RelativeDisplayName(n[0], n[1]), n[2]) << Utf8(n[1]);
}

TEST(Catalogue, ExactNamesAndTheOnlyMemberOfAnArchive) {
    EntryList entries = {{L"set.zip", L"", L"D:\\set.zip", L"1", 0}, {L"set.zip【a】", L"a", L"D:\\set.zip", L"2", 1},
                         {L"x.zip【a】", L"a", L"D:\\x.zip", L"2", 1}};
    EXPECT_EQ(FindEntryByName(entries, L"set.zip【a】"), 1u);
    EXPECT_EQ(FindEntryByName(entries, L"SET.zip"), 3u) << "letter case counts";
    EXPECT_EQ(FindEntryByName(entries, L"set.zi"), 3u) << "a prefix is no match";
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\set.zip"), 1) << "the archive's own loose entry never counts";
    entries.push_back({L"set.zip【b】", L"b", L"D:\\set.zip", L"3", 1});
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\set.zip"), 0) << "two members";
    EraseEntry(entries, 1);
    EXPECT_EQ(entries[1].displayName, L"x.zip【a】");
}

// One tree: walk order, the ignored folder name, unreadable files and folders, path limits.
TEST(FolderScan, ATreeIsWalkedFilesFirstEachSubtreeWholeSkippingWhatCannotBeRead) {
    const std::wstring root = MakeTempFolder(L"walk");
    const std::string big = RandomBytes((2u << 20) + 4099, 5);  // more than one read chunk
    WriteTestFile(root + L"\\big.bin", big);
    for (const wchar_t* name : {L"\\cache", L"\\locked.txt", L"\\s\\c.txt", L"\\s\\t\\d.txt", L"\\u\\e.txt",
                                L"\\Cache2\\in.txt", L"\\u\\CACHE\\x.txt", L"\\u\\v\\cache\\y.txt", L"\\closed\\in.txt"}) {
        WriteTestFile(root + name, "123456789");
    }
    // Paths of exactly the limit, one over it, and a folder whose files' paths cannot fit.
    const std::wstring deep = L"long\\" + std::wstring(150 - root.size() % 50, L'f');
    const size_t room = kMaxPathChars - root.size() - deep.size() - 2;
    const std::wstring fits = deep + L"\\" + std::wstring(room, L'a');
    for (const std::wstring& name : {fits, deep + L"\\" + std::wstring(room + 1, L'b'),
                                     deep + L"\\" + std::wstring(room - 2, L'd') + L"\\x.txt"}) {
        WriteTestFile(L"\\\\?\\" + root + L"\\" + name, "long");
    }
    HANDLE locked = CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE closed = CreateFileW((root + L"\\closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const EntryList entries = LooseEntries(ScanFolder(ScanContext{root, L"cache"}, root));
    const std::vector<std::wstring> names = Walk(root, L"cache");
    CloseHandle(closed);
    CloseHandle(locked);

    ASSERT_EQ(Sorted(names), Sorted({L"big.bin", L"cache", L"s\\c.txt", L"s\\t\\d.txt", L"u\\e.txt", L"Cache2\\in.txt",
                                     fits}));
    EXPECT_EQ(entries[FindEntryByName(entries, L"big.bin")].crcText, CrcText(big)) << "hashed whole";
    EXPECT_EQ(entries[FindEntryByName(entries, L"cache")].crcText, L"CBF43926");
    EXPECT_EQ(entries[FindEntryByName(entries, fits)].containerPath, root + L"\\" + fits);
    // The root's files first; then each subfolder whole, a folder's files before its subfolders.
    const auto at = [&](const std::wstring& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_LT(std::max(at(L"big.bin"), at(L"cache")), std::min({at(L"s\\c.txt"), at(L"u\\e.txt"), at(fits)}));
    EXPECT_EQ(at(L"s\\t\\d.txt"), at(L"s\\c.txt") + 1);
    EXPECT_EQ(Walk(root + L"\\u\\CACHE", L"cache"), (std::vector<std::wstring>{L"x.txt"})) << "the root is never ignored";
    EXPECT_EQ(Walk(root + L"\\u", L"").size(), 3u) << "an empty name ignores nothing";
    EXPECT_TRUE(Walk(root + L"\\missing").empty());
}

// Made on the Unix side: names the platform would open as devices or as other files.
TEST(FolderScan, NamesOpenedAsDevicesOrOtherFilesArePassedOver) {
    for (const wchar_t* name : {L"report.", L"notes ", L"CON", L"prn", L"nul.txt", L"Aux.tar.gz", L"con .txt", L"COM0",
                                L"lpt9.log", L"COM\u00B9", L"lpt\u00B2.x", L"LPT\u00B3"}) {
        EXPECT_TRUE(IsUnaddressableName(name)) << Utf8(name);
    }
    for (const wchar_t* name : {L"report", L"console", L"auxiliary", L" nul", L"x.con", L"com10", L"COM", L"com\u2074"}) {
        EXPECT_FALSE(IsUnaddressableName(name)) << Utf8(name);
    }
    EXPECT_EQ(Sorted(Walk(Fixture("VELTRIMOX_DEVICE_TREE"))),
              (std::vector<std::wstring>{L"a.txt", L"auxiliary", L"com10.txt", L"sub\\b.txt"}));
    EXPECT_EQ(Sorted(Walk(L"Q:\\")), (std::vector<std::wstring>{L"old\\set.txt", L"top.txt"})) << "a drive root";
}

// Folder links back to the root, to an ancestor, twice to one folder and twice outside the tree.
TEST(FolderScan, EveryFolderIsWalkedOnceWhateverLinksLeadToIt) {
    const std::vector<std::wstring> names = Walk(Fixture("VELTRIMOX_LINK_TREE") + L"\\root");
    std::wstring all;
    for (const std::wstring& name : names) all += name + L" | ";
    ASSERT_EQ(names.size(), 4u) << Utf8(all);
    EXPECT_EQ(names[0], L"a.txt");
    for (const wchar_t* file : {L"b.txt", L"c.txt", L"o.txt"}) {
        EXPECT_EQ(std::count_if(names.begin(), names.end(), [&](const std::wstring& n) { return FileNameOf(n) == file; }),
                  1) << Utf8(all);
    }
    VisitedFolders visited;
    EXPECT_TRUE(MarkFolderVisited(visited, std::nullopt) && MarkFolderVisited(visited, std::nullopt))
        << "an unknown identity is always walked";
}

TEST(FolderScan, OnlyFileSymbolicLinksArePassedOver) {
    WIN32_FIND_DATAW found{};
    const struct {
        DWORD attributes, tag;
        bool link;
    } cases[] = {{FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, true},
                 {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001Au, false},  // a cloud placeholder
                 {FILE_ATTRIBUTE_ARCHIVE, IO_REPARSE_TAG_SYMLINK, false},
                 {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, false}};
    for (const auto& c : cases) {
        found.dwFileAttributes = c.attributes;
        found.dwReserved0 = c.tag;
        EXPECT_EQ(IsFileSymbolicLink(found), c.link) << c.attributes << " " << c.tag;
    }
}

// Rows against the double loop, also after entries are hidden; only identical texts pair.
TEST(DuplicatePairing, RandomCataloguesGiveTheRowsOfTheDoubleLoop) {
    const wchar_t* texts[] = {L"0000000A", L"0000000a", L"000000A", L"00000001", L"FFFFFFFF"};
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round) {
        EntryList entries;
        const size_t count = random() % 300, distinct = 1 + random() % 40;
        for (size_t i = 0; i < count; ++i) {
            const size_t pick = random() % distinct;
            entries.push_back({std::to_wstring(i), L"", L"", pick < 5 ? texts[pick] : std::to_wstring(pick), 0});
        }
        std::vector<std::pair<size_t, size_t>> expected = PairRowsByDoubleLoop(entries);
        PairRows rows = BuildPairs(entries);
        for (int step = 0; step < 4; ++step) {
            std::vector<std::pair<size_t, size_t>> actual;
            for (uint64_t row = 0; row < RowCount(rows); ++row) actual.push_back(RowEntries(rows, row));
            ASSERT_EQ(actual, expected) << "round " << round << ", step " << step;
            std::vector<char> hidden(count);
            for (char& h : hidden) h = random() % 10 == 0;
            HideEntries(rows, [&](const FileEntry& e) { return hidden[std::stoul(e.displayName)] != 0; });
            expected.erase(std::remove_if(expected.begin(), expected.end(),
                                          [&](const auto& r) { return hidden[r.first] || hidden[r.second]; }),
                           expected.end());
        }
    }
}
