// The catalogue of archives through the real 7-Zip for Windows and through a fake archiver that
// prints scripted output, and the archiver's output read line by line.
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

// Heap bytes in use by this program and the most since the last reset; the header keeps blocks aligned.
static std::atomic<size_t> g_heapInUse{0}, g_heapPeak{0};
void* operator new(size_t size) {
    auto* block = static_cast<size_t*>(std::malloc(size + 16));
    if (!block) throw std::bad_alloc();
    *block = size;
    for (size_t now = g_heapInUse += size, peak = g_heapPeak; now > peak && !g_heapPeak.compare_exchange_weak(peak, now);) {}
    return reinterpret_cast<char*>(block) + 16;
}
void operator delete(void* pointer) noexcept {
    if (!pointer) return;
    char* block = static_cast<char*>(pointer) - 16;
    g_heapInUse -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }

static std::string Describe(const FileEntry& e) {
    return Utf8(e.displayName + L"|" + e.innerPath + L"|" + e.containerPath + L"|" + e.crcText) + (e.inArchive ? "|1" : "|0");
}

// The real tree through the real 7-Zip, with runs over many files and over each file alone.
TEST(ArchiveExpansion, RunsOverManyFilesGiveTheCatalogueOfRunsOverEachFileAlone) {
    const char* tree = std::getenv("VELTRIMOX_EXPANSION_TREE");  // made by the fixture script
    const std::wstring root = WindowsPathOfUnixPath(tree ? tree : "/nonexistent"), archiver = LocateArchiver(RealArchiverDir());
    // Held without sharing: neither this program nor the archiver can open it.
    HANDLE held = CreateFileW((root + L"\\sub\\held.zip").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const WalkedFiles files = ScanFolder(ScanContext{root, L""}, root);
    const Expansion batched = ExpandArchives(ExpansionRequest{archiver, root}, files);
    const Expansion alone = ExpandArchives(ExpansionRequest{archiver, root, true}, files);
    CloseHandle(held);
    ASSERT_EQ(batched.entries.size(), alone.entries.size());
    for (size_t i = 0; i < alone.entries.size(); ++i) EXPECT_EQ(Describe(batched.entries[i]), Describe(alone.entries[i]));
    // A test and a list run for each of at most three runs (two cores, and the two names that
    // differ only in case apart); a second volume, taken in by the first one's run, redone alone.
    EXPECT_LE(batched.batchRuns, 6u);
    EXPECT_LE(batched.singleRuns, 4u);

    // Every member with a CRC, directly after its archive's loose entry. Nothing from the tar
    // (no CRC lines), the fake, damaged and encrypted archives, the second volume, the held file.
    const std::wstring packed = L"sub\\日本語.7z【", longInner = std::wstring(100, L'd') + L"\\" +
                                                         std::wstring(100, L'e') + L"\\" + std::wstring(94, L'f') + L".txt";
    const std::pair<std::wstring, std::string> expected[] = {
        {L"set.zip【docs\\a.txt】", "alpha"}, {L"set.zip【docs\\c1.txt】", "gamma"}, {L"set.zip【docs\\c2.txt】", "gamma"},
        {packed + L"é.txt】", "accent"}, {packed + L"日本.txt】", "japan"}, {packed + longInner + L"】", "long"},
        {L"sub\\g.txt.gz【g.txt】", "zipped text\n"}, {L"sub\\Case.zip【docs\\c1.txt】", "gamma"},
        {L"sub\\case.zip【docs\\a.txt】", "alpha"}, {L"sub\\deeper\\x.7z.001【big.bin】", ""}};
    std::wstring members;
    for (const FileEntry& e : batched.entries) members += e.inArchive ? e.displayName + L"\n" : L"";
    EXPECT_EQ(std::count(members.begin(), members.end(), L'\n'), 10) << Utf8(members);
    for (const auto& [name, content] : expected) {
        size_t at = FindEntryByName(batched.entries, name), loose = at;
        ASSERT_LT(at, batched.entries.size()) << Utf8(name) << " missing from:\n" << Utf8(members);
        while (loose > 0 && batched.entries[loose].inArchive) --loose;
        EXPECT_EQ(batched.entries[loose].containerPath, batched.entries[at].containerPath) << Utf8(name);
        EXPECT_TRUE(content.empty() || batched.entries[at].crcText == FormatCrcText(Crc32Reference(0, content.data(), content.size())));
    }
    EXPECT_EQ(FindEntryByName(batched.entries, L"sub\\held.zip"), batched.entries.size()) << "the held file is unread";
}

// The fake knows no list files: a run over many files settles nothing, so each file is done
// again alone, through the quoted path of an archiver in a folder with a blank; the root named
// in another letter case.
TEST(FakeArchiver, WhatARunLeavesUnsettledIsDoneAgainFileByFileAndAFailedListingIsNoListing) {
    const std::wstring top = MakeTempFolder(L"quote"), folder = MakeTempFolder(L"data"), archive = folder + L"\\x y.zip";
    const std::wstring archiver = LocateArchiver(MakeFakeArchiverDir(top + L"\\Program Files\\7-Zip"));
    WriteTestFile(top + L"\\Program.exe", "not a program");  // what no quotes would start
    const char* scripts[][2] = {{"Testing\r\nEverything is Ok\r\n", "Path = m\xC3\xA9.txt\r\nCRC = 0000ABCD\r\n"},
        {"EVERYTHING IS OK\n", "PATH = y\nCRC = 00000002\n"}, {"ERROR\r\nEverything is Ok", "Path = x\r\nCRC = 00000001\r\n"}};
    WalkedFiles files = {{archive, std::nullopt}, {folder + L"\\upper", std::nullopt}, {folder + L"\\cut", std::nullopt}};
    for (size_t i = 0; i < 3; ++i) WriteTestFile(files[i].path + L".test", scripts[i][0]), WriteTestFile(files[i].path + L".list", scripts[i][1]);
    std::wstring rootInOtherCase = folder;
    rootInOtherCase[0] ^= L' ';  // the drive letter
    const Expansion expansion = ExpandArchives(ExpansionRequest{archiver, rootInOtherCase}, files);
    ASSERT_EQ(expansion.entries.size(), 2u);
    EXPECT_EQ(Describe(expansion.entries[0]), Utf8(L"x y.zip【mé.txt】|mé.txt|" + archive + L"|0000ABCD|1"));
    EXPECT_EQ(expansion.entries[1].displayName, L"upper【y】");
    EXPECT_EQ(expansion.singleRuns, 5u) << "three tests, and lists only after the two that passed";

    std::vector<ListedMember> listed;
    std::vector<std::wstring> paths;
    EXPECT_TRUE(ListArchive(archiver, archive, listed) && listed.size() == 1);
    DeleteFileW((archive + L".list").c_str());  // the fake now prints nothing and exits with 2
    EXPECT_FALSE(ListArchive(archiver, archive, listed) || ListArchivePaths(archiver, archive, paths));
}

// 200,000 members, about 56 MiB of listing: what reading it costs beyond the members. Names
// with a two-byte character: some are cut across the pieces the output comes in.
TEST(FakeArchiver, AHugeListingIsReadInMemoryBoundedByItsLongestLine) {
    const std::wstring archiver = LocateArchiver(MakeFakeArchiverDir(MakeTempFolder(L"huge") + L"\\7z"));
    const std::wstring archive = MakeTempFolder(L"huge-data") + L"\\big.zip";
    std::string listing, filler;
    for (int key = 0; key < 8; ++key) filler += "Property" + std::to_string(key) + " = 2024-01-01 00:00:00\r\n";
    for (size_t i = 0; i < 200000; ++i) listing += "Path = m\xC3\xA9" + std::to_string(i) + "\r\n" + filler + "CRC = 1\r\n\r\n";
    WriteTestFile(archive + L".list", listing);
    size_t members = 0;
    DWORD exitCode = 1;
    ListingParser parser;
    ListedMember member;
    const size_t base = g_heapPeak = g_heapInUse.load();
    ASSERT_TRUE(RunArchiver(ListCommandLine(archiver, archive), [&](const std::wstring& line) {
        return members += parser.Take(line, member) && member.innerPath.compare(0, 2, L"mé") == 0, true;
    }, exitCode));
    EXPECT_EQ(members, 200000u);
    EXPECT_LT(g_heapPeak - base, 256u << 10) << "bytes of heap";

    // A 3 MB line comes whole; a command line beyond the platform's limit is a failed start.
    WriteTestFile(archive + L".list", "Path = " + std::string(3000000, 'x') + "\xC3\xA9\r\nCRC = 00000001\r\n");
    std::vector<ListedMember> listed;
    EXPECT_TRUE(ListArchive(archiver, archive, listed) && listed.at(0).innerPath.size() == 3000001u);
    EXPECT_FALSE(RunArchiver(L"\"" + archiver + L"\" " + std::wstring(40000, L'x'), nullptr, exitCode));
}

// Which file each line of a run over many files belongs to, and how files are split into runs.
TEST(ArchiveOutput, SectionsByTheirHeaderPathAndRunsWithoutTwoNamesOfOneCase) {
    SectionSplitter sections(L"T: ", {L"C:\\b.zip", L"C:\\a.zip", L"C:\\c.zip"});
    constexpr size_t kNone = SectionSplitter::kNone;
    const std::pair<const wchar_t*, size_t> lines[] = {{L"banner\n", kNone}, {L"T: C:\\A.ZIP\n", kNone}, {L"ok\n", 1},
        {L"T: C:\\a.zip\n", kNone}, {L"ok\n", kNone}, {L"T: C:\\b.zip", kNone}, {L"T: C:\\b.zip\n", kNone}, {L"ok\n", 0}};
    for (const auto& [line, file] : lines) EXPECT_EQ(sections.Take(line), file) << Utf8(line);
    // Whole once another section began, or once the run ended by itself.
    const int whole[] = {1, 2, 0};  // runs ended otherwise, and by themselves, that hold the section whole
    for (size_t file = 0; file < 3; ++file) EXPECT_EQ(sections.Complete(file, false) + sections.Complete(file, true), whole[file]);
    using Runs = std::vector<std::vector<size_t>>;
    const std::vector<std::wstring> paths = {L"C:\\a", L"C:\\b", L"C:\\A", L"C:\\c", L"C:\\d", L"C:\\é", L"C:\\É"};
    EXPECT_EQ(PlanRuns(paths, 1000, 1 << 20), (Runs{{0, 1}, {2, 3, 4, 5}, {6}}));
    EXPECT_EQ(PlanRuns(paths, 3, 1 << 20), (Runs{{0, 1}, {2, 3, 4}, {5}, {6}}));
    EXPECT_EQ(PlanRuns(paths, 1000, 30), (Runs{{0, 1}, {2, 3}, {4, 5}, {6}})) << "14 bytes a name at most";
    EXPECT_EQ(MemberDisplayName(L"D:\\", L"D:\\o\\s.zip", L"a") + MemberDisplayName(L"D:\\", L"D:\\s.zip", L"a"), L"o\\s.zip【a】s.zip【a】");
}
