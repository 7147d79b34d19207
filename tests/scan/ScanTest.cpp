// Checksums, the catalogue, the walk of a real tree and the pairing of a catalogue.
#include "scan/Crc32.h"
#include "scan/DuplicatePairing.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>

TEST(Crc32, EveryPathGivesTheCheckValueAndTheReferenceAtEveryLengthAlignmentAndSplit) {
    std::vector<uint32_t (*)(uint32_t, const void*, size_t)> paths = {&Crc32Reference, &Crc32SliceBy8, &Crc32Update};
    if (Crc32ClmulAvailable()) paths.push_back(&Crc32Clmul);
    std::string data(4096 + 64, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 % 251);
    for (const auto crc : paths) {
        EXPECT_EQ(FormatCrcText(crc(0, "123456789", 9)) + FormatCrcText(0xABCDu), L"CBF439260000ABCD") << "as the archiver prints it";
        // Every length up to a few folding blocks at every alignment; chained: a piece, then the rest.
        for (size_t offset = 0; offset < 16; ++offset)
            for (size_t length = 0; length <= 600; ++length)
                ASSERT_EQ(crc(crc(0, data.data(), offset), data.data() + offset, length),
                          Crc32Reference(0, data.data(), offset + length)) << offset << " " << length;
    }
}

// A read that gives fewer bytes than asked is not the end (a redirector may do it), a failed
// read fails the file, and a stop ends the hash between pieces of a file that never ends.
TEST(FileChecksum, OnlyAnEmptyReadEndsAFileAndAStopEndsItBetweenPieces) {
    const std::string data = "123456789";
    std::atomic<bool> stop{false};
    for (const int most : {1, 2, 4, 9, 16, -3, 0}) {  // the most a read gives; -3: the third fails; 0: endless
        size_t at = 0, calls = 0;
        const PieceReader read = [&](unsigned char* buffer, DWORD size, DWORD& got) {
            got = most > 0 ? static_cast<DWORD>(std::min<size_t>({size, size_t(most), data.size() - at})) : calls < 1000 ? size : 0;
            if (most > 0) std::copy_n(data.data() + at, got, buffer);
            at += got;
            stop = most == 0 && ++calls == 10;
            return most != -3 || ++calls < 3;
        };
        uint32_t crc = 0;
        const bool whole = CrcOfPieces(read, 16, crc, StepControl{{}, {}, &stop});
        EXPECT_EQ(whole && crc == 0xCBF43926u, most > 0) << most;
        EXPECT_LE(calls, 10u) << "a stop is seen before the next piece";
    }
}

// Drive Q: holds folder links and names opened as devices or as other files (see the fixture
// script); here the ignored folder name, a file larger than one read and path limits are added.
TEST(FolderScan, EachFolderOnceAndEveryFileThatCanBeReadAndAddressed) {
    const std::wstring root = L"Q:\\";
    const std::string big((2u << 20) + 4099, 'b');  // more than one read chunk
    WriteTestFile(root + L"big.bin", big);
    for (const wchar_t* name : {L"cache", L"Cache2\\in.txt", L"u\\CACHE\\x.txt"})
        WriteTestFile(root + name, "123456789");
    // Paths of exactly the limit, one over it, and a folder whose files' paths cannot fit.
    const std::wstring deep = L"long\\" + std::wstring(150, L'f');
    const size_t room = kMaxPathChars - root.size() - deep.size() - 1;
    const std::wstring fits = deep + L"\\" + std::wstring(room, L'a');
    for (const std::wstring& name : {fits, deep + L"\\" + std::wstring(room + 1, L'b')})
        WriteTestFile(L"\\\\?\\" + root + name, "long");
    std::atomic<bool> stop{false};  // a walk that meets more than 100 files is stopped there
    const StepControl control{[&](size_t done, size_t) { stop = stop || done > 100; }, {}, &stop};
    // A file whose data is only in the cloud is not read (Wine keeps no such attribute: "console" stands in).
    for (const DWORD attributes : {0x400000ul, 0x40000ul, DWORD{FILE_ATTRIBUTE_OFFLINE}, DWORD{FILE_ATTRIBUTE_SPARSE_FILE}})
        EXPECT_EQ(IsCloudOnly(attributes | FILE_ATTRIBUTE_ARCHIVE), attributes != FILE_ATTRIBUTE_SPARSE_FILE) << attributes;
    ScanContext context{root, L"cache"};
    context.cloudOnly = [](const WIN32_FIND_DATAW& found) { return wcscmp(found.cFileName, L"console") == 0; };
    size_t cloudOnly = 0;
    const WalkedFiles files = ScanFolder(context, root, control, &cloudOnly);
    EXPECT_EQ(cloudOnly, 1u);

    const EntryList got = LooseEntries(files);
    std::vector<std::wstring> names;
    for (const FileEntry& e : got) names.push_back(FileNameOf(e.displayName));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L" nul", L"COM", L"a.txt", std::wstring(room, L'a'), L"auxiliary", L"b.txt", L"big.bin", L"c.txt",
                            L"cache", L"com10.txt", L"com\u2074", L"in.txt", L"o.txt", L"x.con"}));
    EXPECT_EQ(files.size(), got.size()) << "every file met is read; the rest are passed over";
    EXPECT_EQ(got.at(FindEntryByName(got, L"big.bin")).crcText, FormatCrcText(Crc32Reference(0, big.data(), big.size())));
}

// A folder whose listing the system gives in several pieces: every file of every piece is read.
TEST(FolderScan, AFolderListedInSeveralPieces) {
    const std::wstring folder = MakeTempFolder(L"pieces");
    for (int i = 0; i < 400; ++i) WriteTestFile(folder + L"\\" + std::wstring(180, L'n') + std::to_wstring(i), std::to_string(i));
    std::set<std::wstring> crcs;
    for (const FileEntry& e : LooseEntries(ScanFolder(ScanContext{folder, L""}, folder))) crcs.insert(e.crcText);
    EXPECT_EQ(crcs.size(), 400u);
}

// Rows against the double loop, and after each removal against a stored list that deletes the
// rows it matches: by a name, or by the container of the first entry a cell's name finds.
// CRC texts that differ in case never pair.
TEST(DuplicatePairing, RandomCataloguesGiveTheRowsOfTheDoubleLoopAndOfAStoredList) {
    std::mt19937 random(1234);
    const std::wstring names[] = {L"a", L"A", L"a ", L"ab", L"x.zip【a】"};
    const std::wstring containers[] = {L"D:\\a", L"D:\\A", L"D:\\x.zip", L"D:\\y.zip"};
    for (int round = 0; round < 60; ++round) {
        EntryList entries(random() % 80);
        for (FileEntry& e : entries) {
            e.displayName = names[random() % 5];
            e.containerPath = containers[random() % 4];
            // Eight hexadecimal digits in upper case (most texts), in lower case, shorter and longer.
            e.crcText = std::wstring(L"0000000a").substr(0, 6 + random() % 3) + L"aA0123"[random() % (1 + round % 6)];
        }
        PairRows rows = BuildPairs(entries);
        std::vector<std::pair<size_t, size_t>> stored = PairRowsByDoubleLoop(entries);
        for (int step = 0; step < 4 && !entries.empty(); ++step) {
            std::vector<std::pair<size_t, size_t>> shown;
            for (uint64_t row = 0; row < RowCount(rows); ++row) shown.push_back(RowEntries(rows, row));
            ASSERT_EQ(shown, stored) << "round " << round << ", step " << step;
            const FileEntry by = entries[random() % entries.size()];
            const bool byName = random() % 2;
            const auto goes = [&](size_t i) {
                const size_t first = FindEntryByName(entries, entries[i].displayName);
                return byName ? entries[i].displayName == by.displayName : entries[first].containerPath == by.containerPath;
            };
            stored.erase(std::remove_if(stored.begin(), stored.end(), [&](const auto& r) { return goes(r.first) || goes(r.second); }),
                         stored.end());
            byName ? HideEntriesNamed(rows, {by.displayName}) : HideEntriesInContainers(rows, entries, {by.containerPath});
        }
    }
}
