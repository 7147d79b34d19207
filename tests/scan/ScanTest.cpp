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

using Names = std::vector<std::wstring>;

std::string RandomBytes(size_t size, std::mt19937 random) {
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

// The catalogue of a walk; one that meets more than 100 files is stopped there.
EntryList Walk(const std::wstring& root, const std::wstring& ignore = L"") {
    std::atomic<bool> stop{false};
    StepControl control;
    control.progress = [&](size_t done, size_t) { stop = stop || done > 100; };
    control.cancel = &stop;
    return LooseEntries(ScanFolder(ScanContext{root, ignore}, root, control));
}

Names NamesOf(const EntryList& entries) {
    Names names;
    for (const FileEntry& e : entries) names.push_back(e.displayName);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring Fixture(const char* variable) {  // made by the fixture script when run through ctest
    return WindowsPathOfUnixPath(std::getenv(variable) ? std::getenv(variable) : "/nonexistent");
}

}  // namespace

TEST(Crc32, FastPathsGiveTheCheckValueAndTheReferenceAtEveryLengthAlignmentAndSplit) {
    std::vector<uint32_t (*)(uint32_t, const void*, size_t)> paths = {&Crc32Reference, &Crc32SliceBy8, &Crc32Update};
    if (Crc32ClmulAvailable()) paths.push_back(&Crc32Clmul);
    const std::string data = RandomBytes(4096 + 64, std::mt19937(7));
    for (size_t path = 0; path < paths.size(); ++path) {
        EXPECT_EQ(paths[path](0, "123456789", 9), 0xCBF43926u) << "path " << path;
        // Every length up to a few folding blocks at every alignment; chained: a piece, then the rest.
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t length = 0; length <= 600; ++length) {
                ASSERT_EQ(paths[path](paths[path](0, data.data(), offset), data.data() + offset, length),
                          Crc32Reference(0, data.data(), offset + length)) << path << " " << offset << " " << length;
            }
        }
    }
}

TEST(Catalogue, CrcTextsExactNamesAndTheOnlyMemberOfAnArchive) {
    EXPECT_EQ(FormatCrcText(0xCBF43926u) + FormatCrcText(0xABCDu) + FormatCrcText(0), L"CBF439260000ABCD00000000");
    // The archive's own loose entry and another archive's member never count as its members.
    EntryList entries = {{L"s.zip", L"", L"D:\\s.zip", L"", 0}, {L"s.zip【a】", L"a", L"D:\\s.zip", L"", 1},
                         {L"x.zip【a】", L"a", L"D:\\x.zip", L"", 1}};
    EXPECT_EQ(FindEntryByName(entries, L"s.zip【a】") + FindEntryByName(entries, L"S.zip") + FindEntryByName(entries, L"s.zi"), 7u);
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\s.zip"), 1);
    entries.push_back({L"s.zip【b】", L"b", L"D:\\s.zip", L"", 1});
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\s.zip"), 0) << "two members";
}

// One tree: walk order, the ignored folder name, unreadable files and folders, path limits.
TEST(FolderScan, ATreeIsWalkedFilesFirstEachSubtreeWholeSkippingWhatCannotBeRead) {
    const std::wstring root = MakeTempFolder(L"walk");
    const std::string big = RandomBytes((2u << 20) + 4099, std::mt19937(5));  // more than one read chunk
    WriteTestFile(root + L"\\big.bin", big);
    for (const wchar_t* name : {L"\\cache", L"\\locked.txt", L"\\s\\c.txt", L"\\s\\t\\d.txt", L"\\u\\e.txt",
                                L"\\Cache2\\in.txt", L"\\u\\CACHE\\x.txt", L"\\u\\v\\cache\\y.txt", L"\\closed\\in.txt"})
        WriteTestFile(root + name, "123456789");
    // Paths of exactly the limit, one over it, and a folder whose files' paths cannot fit.
    const std::wstring deep = L"long\\" + std::wstring(150 - root.size() % 50, L'f');
    const size_t room = kMaxPathChars - root.size() - deep.size() - 2;
    const std::wstring fits = deep + L"\\" + std::wstring(room, L'a');
    for (const std::wstring& name : {fits, deep + L"\\" + std::wstring(room + 1, L'b'),
                                     deep + L"\\" + std::wstring(room - 2, L'd') + L"\\x.txt"})
        WriteTestFile(L"\\\\?\\" + root + L"\\" + name, "long");
    HANDLE locked = CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE closed = CreateFileW((root + L"\\closed").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const EntryList entries = Walk(root, L"cache");
    CloseHandle(closed), CloseHandle(locked);

    Names expected = {L"big.bin", L"cache", L"s\\c.txt", L"s\\t\\d.txt", L"u\\e.txt", L"Cache2\\in.txt", fits};
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(NamesOf(entries), expected);
    EXPECT_EQ(entries[FindEntryByName(entries, L"big.bin")].crcText,
              FormatCrcText(Crc32Reference(0, big.data(), big.size()))) << "hashed whole";
    EXPECT_EQ(entries[FindEntryByName(entries, fits)].containerPath, root + L"\\" + fits);
    // The root's files first; then each subfolder whole, a folder's files before its subfolders.
    const auto at = [&](const wchar_t* name) { return FindEntryByName(entries, name); };
    EXPECT_LT(std::max(at(L"big.bin"), at(L"cache")), std::min({at(L"s\\c.txt"), at(L"u\\e.txt"), at(L"Cache2\\in.txt")}));
    EXPECT_EQ(at(L"s\\t\\d.txt"), at(L"s\\c.txt") + 1);
    EXPECT_EQ(NamesOf(Walk(root + L"\\u\\CACHE", L"cache")), Names{L"x.txt"}) << "the root is never ignored";
    EXPECT_EQ(Walk(root + L"\\u").size(), 3u) << "an empty name ignores nothing";
}

// Made on the Unix side: names the platform would open as devices or as other files, a drive.
TEST(FolderScan, NamesOpenedAsDevicesOrOtherFilesArePassedOver) {
    const std::wstring devices = Fixture("VELTRIMOX_DEVICE_TREE");
    EXPECT_EQ(NamesOf(Walk(devices)),
              (Names{L" nul", L"COM", L"auxiliary", L"com10.txt", L"com\u2074", L"console", L"sub\\b.txt", L"x.con"}));
    EXPECT_EQ(ScanFolder(ScanContext{devices, L""}, devices).size(), 8u) << "passed over, not just unreadable";
    EXPECT_EQ(NamesOf(Walk(L"Q:\\")), (Names{L"old\\set.txt", L"top.txt"})) << "a drive root";
}

// Folder links back to the root, to an ancestor, twice to one folder and twice outside the tree.
TEST(FolderScan, EveryFolderIsWalkedOnceWhateverLinksLeadToIt) {
    Names names;
    for (const FileEntry& e : Walk(Fixture("VELTRIMOX_LINK_TREE") + L"\\root")) names.push_back(FileNameOf(e.displayName));
    EXPECT_EQ(names.at(0), L"a.txt");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{L"a.txt", L"b.txt", L"c.txt", L"o.txt"}));
}

// Rows against the double loop, also after entries are hidden; texts that differ in case never pair.
TEST(DuplicatePairing, RandomCataloguesGiveTheRowsOfTheDoubleLoop) {
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round) {
        EntryList entries(random() % 300);
        for (size_t i = 0; i < entries.size(); ++i) {
            entries[i].displayName = std::to_wstring(i);
            entries[i].crcText = std::wstring(1, L"aA0"[random() % 3]) + std::to_wstring(random() % (1 + round));
        }
        std::vector<std::pair<size_t, size_t>> expected = PairRowsByDoubleLoop(entries);
        PairRows rows = BuildPairs(entries);
        for (int step = 0; step < 4; ++step) {
            std::vector<std::pair<size_t, size_t>> actual;
            for (uint64_t row = 0; row < RowCount(rows); ++row) actual.push_back(RowEntries(rows, row));
            ASSERT_EQ(actual, expected) << "round " << round << ", step " << step;
            std::vector<char> hidden(entries.size());
            for (char& h : hidden) h = random() % 10 == 0;
            HideEntries(rows, [&](const FileEntry& e) { return hidden[std::stoul(e.displayName)] != 0; });
            const auto gone = [&](const std::pair<size_t, size_t>& r) { return hidden[r.first] || hidden[r.second]; };
            expected.erase(std::remove_if(expected.begin(), expected.end(), gone), expected.end());
        }
    }
}
