// Checksums, the catalogue, the walk of a real tree and the pairing of a catalogue.
#include "common/PathText.h"
#include "common/ScopedWin.h"
#include "scan/Crc32.h"
#include "scan/DuplicatePairing.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include "xxhash/xxhash.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
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
        ContentHashes hashes;
        const bool whole = HashPieces(read, 16, hashes, StepControl{{}, {}, &stop});
        const XXH128_hash_t strong = XXH3_128bits(data.data(), data.size());  // in one piece
        EXPECT_EQ(whole && hashes.crc == 0xCBF43926u && hashes.strong[0] == strong.low64 && hashes.strong[1] == strong.high64 &&
                      std::string(hashes.leading, hashes.leading + 8) == "12345678", most > 0) << most;
        EXPECT_LE(calls, 10u) << "a stop is seen before the next piece";
    }
}

// A file written while it is read has no one content, nor has one that gives other than its size
// (a Linux pseudo-file reads as text at size 0); once it rests it is catalogued.
TEST(FileChecksum, AFileChangedWhileReadOrNotItsSizeIsNotCatalogued) {
    EXPECT_FALSE(LooseFileEntry(L"Z:\\", L"Z:\\proc\\version").has_value());
    const std::wstring folder = MakeTempFolder(L"changing"), path = folder + L"\\big.bin";
    WriteTestFile(path, std::string(64u << 20, 'x'));
    std::atomic<bool> reading{true}, writing{false};
    std::thread writer([&] {  // the first byte, again and again
        const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        for (DWORD written = 0; reading && WriteFile(file.Get(), "y", 1, &written, nullptr); writing = true) SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    });
    while (!writing) Sleep(1);
    const bool refused = !LooseFileEntry(folder, path).has_value();
    reading = false;
    writer.join();
    EXPECT_TRUE(refused);
    std::string now(64u << 20, 'x');  // read in pieces of several of the stretches both hashes take at a time
    now[0] = 'y';
    const std::optional<FileEntry> rests = LooseFileEntry(folder, path);
    const XXH128_hash_t strong = XXH3_128bits(now.data(), now.size());
    EXPECT_TRUE(rests && rests->strongHash[0] == strong.low64 && rests->strongHash[1] == strong.high64 &&
                rests->crcText == FormatCrcText(Crc32Reference(0, now.data(), now.size())));
}

// The formats whose listed member CRCs are not the CRC-32 of the content, told by the first bytes.
TEST(FileChecksum, LeadingBytesTellGzipZstdAndLzh) {
    using F = LeadingFormat;
    const std::pair<const char*, F> cases[] = {
        {"\x1f\x8b\x08\0\0\0\0", F::kGzip}, {"\x28\xb5\x2f\xfd\0\0\0", F::kZstd}, {"\x5e\x2a\x4d\x18\0\0\0", F::kZstd},
        {"\x1a\x17-lh5-\0", F::kLzh}, {"\x1a\x17-lzs-\0", F::kLzh}, {"PK\x03\x04\0\0\0", F::kOther},
        {"\x1f\x8a\x08\0\0\0\0", F::kOther}, {"\x1a\x17-lh5x\0", F::kOther}, {"\x28\xb5\x2f\xfc\0\0\0", F::kOther}};
    for (const auto& [bytes, format] : cases) {
        unsigned char leading[8];
        std::copy_n(bytes, 8, leading);
        EXPECT_EQ(FormatOfLeadingBytes(leading), format) << bytes + 2;
    }
}

// Drive Q: holds folder links and names opened as devices or as other files (see the fixture
// script); here the ignored folder name, a path far over MAX_PATH,
// the volume's own folders, files other handles hold and cloud stand-ins are added. Each way of
// reading folder ids gives the same walk: the file system's, none (all ones, as a share may
// answer) and one for all (ReFS's 64-bit index is not unique).
TEST(FolderScan, EachFolderOnceAndEveryFileThatCanBeReadAndAddressed) {
    const std::wstring root = L"Q:\\";
    for (const wchar_t* name : {L"cache", L"Cache2\\in.txt", L"u\\CACHE\\x.txt", L"$Recycle.Bin\\r.txt", L"system volume information\\s.txt",
                                L"v\\$Recycle.Bin\\t.txt", L"cloud\\inside.txt", L"held.txt", L"locked.txt"})
        WriteTestFile(root + name, "123456789");
    const std::wstring deep = L"long\\" + std::wstring(150, L'f') + L"\\" + std::wstring(200, L'g');
    WriteTestFile(root + deep + L"\\deep.txt", "long");
    // Another program writing one file and holding another for itself alone.
    const ScopedHandle writer(CreateFileW((root + L"held.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    const ScopedHandle owner(CreateFileW((root + L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsValid() && owner.IsValid());
    // A file or folder whose data is only in the cloud is not read (Wine keeps no such attribute: stand-ins).
    for (const DWORD attributes : {0x400000ul, 0x40000ul, DWORD{FILE_ATTRIBUTE_OFFLINE}, DWORD{FILE_ATTRIBUTE_SPARSE_FILE}})
        EXPECT_EQ(IsCloudOnly(attributes | FILE_ATTRIBUTE_ARCHIVE), attributes != FILE_ATTRIBUTE_SPARSE_FILE) << attributes;
    for (const uint64_t index : {uint64_t{0}, UINT64_MAX, uint64_t{5}}) {
        SCOPED_TRACE(index);
        std::atomic<bool> stop{false};  // a walk that meets more than 100 files is stopped there
        const StepControl control{[&](size_t done, size_t) { stop = stop || done > 100; }, {}, &stop};
        ScanContext context{root, L"cache"};
        context.cloudOnly = [](const WIN32_FIND_DATAW& found) { return wcscmp(found.cFileName, L"console") == 0 || wcscmp(found.cFileName, L"cloud") == 0; };
        if (index != 0) context.folderIndex = [index](HANDLE) { return index; };
        LeftOut leftOut;
        const WalkedFiles files = ScanFolder(context, root, control, &leftOut);
        EXPECT_TRUE(leftOut.cloudFiles == 1 && leftOut.cloudFolders == 1 && leftOut.unreadFiles == 1 && leftOut.unopenedFolders == 0);

        const EntryList got = LooseEntries(files);
        std::vector<std::wstring> names;
        for (const FileEntry& e : got) names.push_back(FileNameOf(e.displayName));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::wstring>{L" nul", L"COM", L"a-hard.txt", L"a-soft.txt", L"a.txt", L"auxiliary", L"b.txt",
                                L"c.txt", L"cache", L"com10.txt", L"com\u2074", L"deep.txt", L"held.txt", L"in.txt", L"o.txt", L"t.txt", L"x.con"}));
        EXPECT_EQ(files.size(), got.size() + 1) << "every file met is read but the locked one; the rest are passed over";
        EXPECT_TRUE(got.at(FindEntryByName(got, L"held.txt")).heldOpen && !got.at(FindEntryByName(got, L"a.txt")).heldOpen);
        EXPECT_EQ(got.at(FindEntryByName(got, deep + L"\\deep.txt")).crcText, FormatCrcText(Crc32Reference(0, "long", 4)));
        // A hard link and a Unix link to a file are one file: its id, its volume read, and no row.
        const size_t a = FindEntryByName(got, L"a.txt");
        for (const wchar_t* name : {L"a-hard.txt", L"a-soft.txt"}) EXPECT_TRUE(IsSameFile(got.at(FindEntryByName(got, name)), got[a])) << Utf8(name);
        DWORD serial = 0;  // stays 0 where the drive is newer than Wine's mount manager, as Q: may be
        (void)GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
        EXPECT_TRUE(IsKnownFileId(got[a].identity.fileId) && got[a].identity.volumeSerial == serial);
        const PairRows rows = BuildPairs(got);
        EXPECT_EQ(rows.firstRow[a + 1], rows.firstRow[a]) << "a.txt has no other copy";
    }
    LeftOut gone;
    EXPECT_TRUE(ScanFolder(ScanContext{root, L""}, root + L"gone", {}, &gone).empty() && gone.unopenedFolders == 1) << "a root removed since the drop";
}

// Below MAX_PATH a path stays as the user knows it (and the archiver prints it back); from there on
// only the \\?\ form lifts the limit (Wine has none, so only this shows it).
TEST(FolderScan, PathsFromMaxPathOnInTheLongForm) {
    const std::wstring d259 = L"C:\\" + std::wstring(256, L'd'), u260 = L"\\\\server\\" + std::wstring(251, L'u');
    const std::pair<std::wstring, std::wstring> cases[] = {{d259, d259}, {d259 + L"x", L"\\\\?\\" + d259 + L"x"},
        {u260, L"\\\\?\\UNC\\server\\" + std::wstring(251, L'u')}, {L"C:/a/" + std::wstring(300, L'b'), L"\\\\?\\C:\\a\\" + std::wstring(300, L'b')},
        {L"\\\\?\\" + d259 + L"x", L"\\\\?\\" + d259 + L"x"}};
    for (const auto& [path, form] : cases) EXPECT_EQ(SystemPath(path), form) << Utf8(path);
    const std::wstring longest(kMaxPathChars - 3, L'a');  // with "C:\" the longest path the walk forms
    EXPECT_TRUE(JoinPath(L"C:\\", longest) && !JoinPath(L"C:\\", longest + L"a"));
}

// A folder whose listing the system gives in several pieces: every file of every piece is read.
TEST(FolderScan, AFolderListedInSeveralPieces) {
    const std::wstring folder = MakeTempFolder(L"pieces");
    for (int i = 0; i < 400; ++i) WriteTestFile(folder + L"\\" + std::wstring(180, L'n') + std::to_wstring(i), std::to_string(i));
    std::set<std::wstring> crcs;
    for (const FileEntry& e : LooseEntries(ScanFolder(ScanContext{folder, L""}, folder))) crcs.insert(e.crcText);
    EXPECT_EQ(crcs.size(), 400u);
}

// A row is a proof of nothing but a CRC unless sizes and strong hashes agree, and never one file
// under two names.
TEST(DuplicatePairing, SameContentNeedsOneCrcEqualSizesAndStrongHashesAndTwoFiles) {
    const auto loose = [](uint64_t size, uint64_t hash, uint64_t id, uint32_t volume, const wchar_t* crc = L"0000000A") {
        FileEntry e{L"", L"", L"", crc, 0, size};
        e.strongHash[1] = hash;
        e.identity = FileIdentity{id, volume};
        return e;
    };
    const auto member = [](uint64_t size, SizeKind kind) {
        FileEntry e{L"", L"m", L"a.zip", L"0000000A", 1, size};
        e.sizeKind = kind;
        return e;
    };
    const struct { FileEntry a, b; bool same; } cases[] = {
        {loose(5, 1, 1, 7), loose(5, 1, 2, 7), true},   {loose(5, 1, 1, 7), loose(6, 1, 2, 7), false},
        {loose(5, 1, 1, 7), loose(5, 2, 2, 7), false},  {loose(5, 1, 1, 7), loose(5, 1, 1, 7), false},
        {loose(5, 1, 1, 7), loose(5, 1, 1, 8), true},   {loose(5, 1, 0, 7), loose(5, 1, 0, 7), true},
        {loose(5, 1, ~0ull, 7), loose(5, 1, ~0ull, 7), true}, {loose(5, 1, 1, 7), loose(5, 1, 2, 7, L"0000000a"), false},
        {member(5, SizeKind::kExact), loose(5, 3, 2, 7), true}, {member(5, SizeKind::kExact), loose(6, 3, 2, 7), false},
        {member(5, SizeKind::kExact), member(6, SizeKind::kExact), false}, {member(0, SizeKind::kUnknown), loose(6, 3, 2, 7), true}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(IsSameContent(cases[i].a, cases[i].b), cases[i].same) << i;
        EXPECT_EQ(IsSameContent(cases[i].b, cases[i].a), cases[i].same) << i;
    }
}

// Rows against the double loop, and after each removal against a stored list less the rows of
// the removed entries: sizes, strong hashes, members of unknown size and one file under several
// names all in play.
TEST(DuplicatePairing, RandomCataloguesGiveTheRowsOfTheDoubleLoopAndOfAStoredList) {
    std::mt19937 random(1234);
    for (int round = 0; round < 80; ++round) {
        EntryList entries(random() % 60);
        for (FileEntry& e : entries) {
            e.inArchive = random() % 3 == 0;
            e.crcText = std::wstring(L"0000000") + L"aAB"[random() % (1 + round % 3)];
            e.size = random() % 3;
            e.sizeKind = e.inArchive && random() % 2 ? SizeKind::kUnknown : SizeKind::kExact;
            e.strongHash[round % 2] = random() % 2;
            e.identity = FileIdentity{random() % 10, static_cast<uint32_t>(random() % 2)};
        }
        PairRows rows = BuildPairs(entries);
        std::vector<std::pair<size_t, size_t>> stored = PairRowsByDoubleLoop(entries);
        for (int step = 0; step < 4 && !entries.empty(); ++step) {
            std::vector<std::pair<size_t, size_t>> shown;
            for (uint64_t row = 0; row < RowCount(rows); ++row) shown.push_back(RowEntries(rows, row));
            ASSERT_EQ(shown, stored) << "round " << round << ", step " << step;
            const std::vector<size_t> gone{random() % entries.size(), random() % entries.size()};
            const auto goes = [&](size_t i) { return i == gone[0] || i == gone[1]; };
            stored.erase(std::remove_if(stored.begin(), stored.end(), [&](const auto& r) { return goes(r.first) || goes(r.second); }),
                         stored.end());
            HideEntries(rows, gone, true);
        }
    }
    // More entries than one piece of the sort: each pairs with one far off; a stop gives no rows.
    EntryList pairs(200000);
    for (size_t i = 0; i < pairs.size(); ++i) pairs[i].crcText = FormatCrcText(static_cast<uint32_t>(i % 100000) * 2654435761u);
    const std::atomic<bool> stopped{true};
    EXPECT_EQ(RowCount(BuildPairs(pairs, StepControl{{}, {}, &stopped})), 0u);
    const PairRows rows = BuildPairs(std::move(pairs));
    ASSERT_EQ(RowCount(rows), 200000u);
    for (uint64_t row = 0; row < RowCount(rows); ++row) {
        const auto [a, b] = RowEntries(rows, row);
        ASSERT_TRUE(a != b && a % 100000 == b % 100000) << row;
    }
}
