// The archiver's output read line by line, and the catalogue of archives built through the real
// 7-Zip for Windows and through a fake archiver that prints scripted output.
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// Heap bytes in use by this test program, and the most since the last reset.
std::atomic<size_t> g_heapInUse{0};
std::atomic<size_t> g_heapPeak{0};
constexpr size_t kHeader = 16;  // keeps the caller's block aligned as malloc's

}  // namespace

void* operator new(size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    const size_t now = g_heapInUse += size;
    size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void operator delete(void* pointer) noexcept {
    if (!pointer) return;
    char* block = static_cast<char*>(pointer) - kHeader;
    g_heapInUse -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }

namespace {

using Lines = std::vector<std::wstring>;
using Members = std::vector<std::pair<std::wstring, std::wstring>>;

OutputLineSink Collect(Lines& lines) {
    return [&lines](const std::wstring& line) { return lines.push_back(line), true; };
}

Members Parsed(const Lines& lines) {
    Members out;
    ListingParser parser;
    ListedMember member;
    for (const std::wstring& line : lines) {
        if (parser.Take(line, member)) out.emplace_back(member.innerPath, member.crcText);
    }
    return out;
}

std::string Describe(const FileEntry& e) {
    return Utf8(e.displayName + L" | " + e.innerPath + L" | " + e.containerPath + L" | " + e.crcText) + " | " +
           std::to_string(e.inArchive);
}

}  // namespace

TEST(ArchiveOutput, LinesInAnyPiecesTheTestGateAndListings) {
    const std::string bytes = "Path = \xE6\x97\xA5\xC3\xA9.txt\r\nCRC = 1\r\na\rb\n\nlast";
    for (size_t piece : {1, 2, 3, 1000}) {
        Lines lines;
        OutputLines reader;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            ASSERT_TRUE(reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at), Collect(lines)));
        }
        ASSERT_TRUE(reader.Finish(Collect(lines)));
        EXPECT_EQ(lines, (Lines{L"Path = 日é.txt\n", L"CRC = 1\n", L"a\rb\n", L"\n", L"last"})) << "pieces of " << piece;
    }
    OutputLines reader;
    int calls = 0;
    EXPECT_FALSE(reader.Feed("a\nb\n", 4, [&](const std::wstring&) { return ++calls > 5; }));
    EXPECT_EQ(calls, 1) << "a sink that asks to stop gets no further line";

    for (const auto& [line, passed] : std::vector<std::pair<const wchar_t*, bool>>{
             {L"Everything is Ok\n", true}, {L"EVERYTHING IS OK\n", true}, {L"Everything is Ok", false},
             {L"Everything is Ok \n", false}}) {
        EXPECT_EQ(IsTestPassedLine(line), passed) << Utf8(line);
    }

    const struct {
        Lines lines;
        Members members;
    } listings[] = {
        {{L"Path = d\\a.txt\n", L"Size = 5\n", L"CRC = 1A2B3C4D\n", L"path = b\n", L"crc = 0000ABCD\n"},
         {{L"d\\a.txt", L"1A2B3C4D"}, {L"b", L"0000ABCD"}}},
        {{L"Path = dir\n", L"CRC = \n", L"Path = f\n", L"CRC = 00000001\n"}, {{L"f", L"00000001"}}},  // a folder
        {{L"Path = first\n", L"Path = second\n", L"CRC = 00000002\n"}, {{L"first", L"00000002"}}},
        {{L"Path = ", L"CRC = 00000003\n"}, {}},
        {{L"Path = pending\n", L"Size = 1\n"}, {}},
        {{L"CRC = 00000004\n"}, {}},
    };
    for (const auto& l : listings) EXPECT_EQ(Parsed(l.lines), l.members) << Utf8(l.lines[0]);
}

TEST(ArchiveOutput, SectionsByTheirHeaderPathAndRunsWithoutTwoNamesOfOneCase) {
    SectionSplitter sections(L"Testing archive: ", {L"C:\\b.zip", L"C:\\a.zip", L"C:\\c.zip", L"C:\\d.zip"});
    constexpr size_t kNone = SectionSplitter::kNone;
    const std::pair<const wchar_t*, size_t> lines[] = {
        {L"7-Zip banner\n", kNone},         {L"Testing archive: C:\\A.ZIP\n", kNone}, {L"Everything is Ok\n", 1},
        {L"Testing archive: C:\\b.zip\n", kNone}, {L"--\n", 0},
        {L"Testing archive: C:\\b.zip\n", kNone}, {L"Everything is Ok\n", kNone},  // a second time: nobody's
        {L"Testing archive: C:\\other.zip\n", kNone}, {L"x\n", kNone},
        {L"Testing archive: C:\\c.zip", kNone}, {L"Testing archive: C:\\c.zip\n", kNone}, {L"Archives: 3\n", 2},
    };
    for (const auto& [line, file] : lines) EXPECT_EQ(sections.Take(line), file) << Utf8(line);
    const bool complete[][2] = {{true, true}, {true, true}, {false, true}, {false, false}};
    for (size_t file = 0; file < 4; ++file) {
        for (bool finished : {false, true}) EXPECT_EQ(sections.Complete(file, finished), complete[file][finished]) << file;
    }

    using Runs = std::vector<std::vector<size_t>>;
    const Lines paths = {L"C:\\a", L"C:\\b", L"C:\\A", L"C:\\c", L"C:\\d", L"C:\\é", L"C:\\É"};
    EXPECT_EQ(PlanRuns(paths, 1000, 1 << 20), (Runs{{0, 1}, {2, 3, 4, 5}, {6}}));
    EXPECT_EQ(PlanRuns(paths, 3, 1 << 20), (Runs{{0, 1}, {2, 3, 4}, {5}, {6}}));
    EXPECT_EQ(PlanRuns({L"C:\\a", L"C:\\b", L"C:\\c"}, 1000, 30), (Runs{{0, 1}, {2}})) << "14 bytes a name at most";
}

TEST(ArchiveOutput, MemberNamesAreRelativeToTheRootAndTheArchiverNeedsItsLibrary) {
    const wchar_t* names[][4] = {{L"D:\\data", L"D:\\data\\old\\set.zip", L"a", L"old\\set.zip【a】"},
                                 {L"D:\\data", L"D:\\data\\set.zip", L"d\\a", L"set.zip【d\\a】"},
                                 {L"D:\\", L"D:\\set.zip", L"a", L"set.zip【a】"},
                                 {L"D:\\", L"D:\\old\\set.zip", L"a", L"old\\set.zip【a】"},
                                 {L"D:\\Data", L"D:\\data\\set.zip", L"", L"set.zip【】"}};
    for (const auto& n : names) EXPECT_EQ(MemberDisplayName(n[0], n[1], n[2]), n[3]) << Utf8(n[1]);

    const std::wstring dir = MakeTempFolder(L"only-exe");
    WriteTestFile(dir + L"\\7z.exe", "not a program");
    EXPECT_EQ(LocateArchiver(dir), L"") << "7z.dll is missing";
    WriteTestFile(dir + L"\\7z.dll", "");
    EXPECT_EQ(LocateArchiver(dir + L"\\"), dir + L"\\7z.exe");
    DWORD exitCode = 0;
    EXPECT_FALSE(RunArchiver(L"\"" + dir + L"\\7z.exe\" t x", nullptr, exitCode)) << "it cannot start";
    const WalkedFiles files = {{dir + L"\\7z.dll", FileEntry{L"7z.dll", L"", dir + L"\\7z.dll", L"1", 0}}};
    EXPECT_EQ(ExpandArchives(ExpansionRequest{LocateArchiver(dir), dir}, files).entries.size(), 1u) << "loose alone";
}

// The real tree through the real 7-Zip, with runs over many files and over each file alone.
TEST(ArchiveExpansion, RunsOverManyFilesGiveTheCatalogueOfRunsOverEachFileAlone) {
    const char* tree = std::getenv("VELTRIMOX_EXPANSION_TREE");
    ASSERT_TRUE(tree && *tree) << "run through ctest: the fixture makes the tree";
    const std::wstring root = WindowsPathOfUnixPath(tree);
    const std::wstring archiver = LocateArchiver(RealArchiverDir());
    ASSERT_FALSE(archiver.empty());

    // Held without sharing: neither this program nor the archiver can open it.
    HANDLE held = CreateFileW((root + L"\\sub\\held.zip").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const WalkedFiles files = ScanFolder(ScanContext{root, L""}, root);
    const Expansion batched = ExpandArchives(ExpansionRequest{archiver, root}, files);
    const Expansion alone = ExpandArchives(ExpansionRequest{archiver, root, true}, files);
    CloseHandle(held);

    ASSERT_EQ(batched.entries.size(), alone.entries.size());
    for (size_t i = 0; i < alone.entries.size(); ++i) {
        EXPECT_EQ(Describe(batched.entries[i]), Describe(alone.entries[i])) << "entry " << i;
    }
    // A test run and a list run for each of at most three runs of files (two cores, and the
    // pair of names that differ only in case apart); a second volume, taken in by the first
    // volume's run, is done again alone.
    EXPECT_LE(batched.batchRuns, 6u);
    EXPECT_LE(batched.singleRuns, 4u);

    // Every member with a CRC, directly after its archive's loose entry. Nothing from the tar
    // (no CRC lines), the fake, damaged and encrypted archives, the second volume, the held file.
    const std::wstring packed = L"sub\\日本語.7z【";
    const std::wstring longInner = std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                                   std::wstring(94, L'f') + L".txt";
    const std::pair<std::wstring, std::string> expected[] = {
        {L"set.zip【docs\\a.txt】", "alpha"}, {L"set.zip【docs\\c1.txt】", "gamma"}, {L"set.zip【docs\\c2.txt】", "gamma"},
        {packed + L"é.txt】", "accent"},      {packed + L"日本.txt】", "japan"},     {packed + longInner + L"】", "long"},
        {L"sub\\g.txt.gz【g.txt】", "zipped text\n"}, {L"sub\\Case.zip【docs\\c1.txt】", "gamma"},
        {L"sub\\case.zip【docs\\a.txt】", "alpha"},   {L"sub\\deeper\\x.7z.001【big.bin】", ""},
    };
    std::wstring members;
    for (const FileEntry& e : batched.entries) members += e.inArchive ? e.displayName + L"\n" : L"";
    EXPECT_EQ(std::count(members.begin(), members.end(), L'\n'), 10) << Utf8(members);
    for (const auto& [name, content] : expected) {
        const size_t at = FindEntryByName(batched.entries, name);
        ASSERT_LT(at, batched.entries.size()) << Utf8(name) << " missing from:\n" << Utf8(members);
        if (!content.empty()) {
            EXPECT_EQ(batched.entries[at].crcText, FormatCrcText(Crc32Reference(0, content.data(), content.size())));
        }
        size_t loose = at;
        while (loose > 0 && batched.entries[loose].inArchive) --loose;
        EXPECT_EQ(batched.entries[loose].containerPath, batched.entries[at].containerPath) << Utf8(name);
    }
    EXPECT_EQ(FindEntryByName(batched.entries, L"sub\\held.zip"), batched.entries.size()) << "the held file is unread";
}

// The fake knows no list files: a run over many files settles nothing, so each file is done
// again alone, through the quoted path of an archiver in a folder with a blank.
TEST(FakeArchiver, WhatARunLeavesUnsettledIsDoneAgainFileByFileAndAFailedListingIsNoListing) {
    const std::wstring top = MakeTempFolder(L"quote");
    const std::wstring archiver = LocateArchiver(MakeFakeArchiverDir(top + L"\\Program Files\\7-Zip"));
    ASSERT_TRUE(CopyFileW(archiver.c_str(), (top + L"\\Program.exe").c_str(), FALSE));  // what no quotes would start
    const std::wstring folder = MakeTempFolder(L"data");
    const std::wstring archive = folder + L"\\x y.zip", upper = folder + L"\\upper", cut = folder + L"\\cut";
    const char* scripts[][2] = {{"Testing\r\nEverything is Ok\r\n", "Path = m\xC3\xA9.txt\r\nCRC = 0000ABCD\r\n"},
                                {"EVERYTHING IS OK\n", "PATH = y\nCRC = 00000002\n"},
                                {"ERROR: not an archive\r\nEverything is Ok", "Path = x\r\nCRC = 00000001\r\n"}};
    WalkedFiles files;
    for (size_t i = 0; i < 3; ++i) {
        const std::wstring& path = i == 0 ? archive : i == 1 ? upper : cut;
        WriteTestFile(path, "bytes");
        WriteTestFile(path + L".test", scripts[i][0]);
        WriteTestFile(path + L".list", scripts[i][1]);
        files.push_back({path, std::nullopt});
    }
    const Expansion expansion = ExpandArchives(ExpansionRequest{archiver, folder}, files);

    ASSERT_EQ(expansion.entries.size(), 2u);
    EXPECT_EQ(Describe(expansion.entries[0]), Utf8(L"x y.zip【mé.txt】 | mé.txt | " + archive + L" | 0000ABCD") + " | 1");
    EXPECT_EQ(expansion.entries[1].displayName, L"upper【y】");
    EXPECT_FALSE(PathExists(top + L"\\calls.log")) << "the decoy Program.exe was started";
    const std::string calls = ReadTextFile(top + L"\\Program Files\\7-Zip\\calls.log");
    EXPECT_EQ(expansion.singleRuns, 5u) << "three tests, two lists";
    EXPECT_EQ(static_cast<size_t>(std::count(calls.begin(), calls.end(), '\n')), expansion.batchRuns + 5) << calls;
    EXPECT_EQ(calls.find(" l \"" + Utf8(cut) + "\""), std::string::npos) << "no list after a failed test: " << calls;

    std::vector<ListedMember> listed;
    EXPECT_TRUE(ListArchive(archiver, archive, listed) && listed.size() == 1);
    DeleteFileW((archive + L".list").c_str());  // the fake now prints nothing and exits with 2
    std::vector<std::wstring> paths;
    EXPECT_FALSE(ListArchive(archiver, archive, listed)) << "a failed listing says nothing about the members";
    EXPECT_FALSE(ListArchivePaths(archiver, archive, paths));
}

// 200,000 members, about 56 MiB of listing: what reading and parsing it costs beyond the
// members themselves.
TEST(FakeArchiver, AHugeListingIsReadInMemoryBoundedByItsLongestLine) {
    const std::wstring archiver = LocateArchiver(MakeFakeArchiverDir(MakeTempFolder(L"huge") + L"\\7z"));
    const std::wstring archive = MakeTempFolder(L"huge-data") + L"\\big.zip";
    WriteTestFile(archive, "bytes");
    const std::string filler = "Size = 1234\r\nPacked Size = 1000\r\nModified = 2024-01-01 00:00:00\r\n"
                               "Attributes = A\r\nEncrypted = -\r\nComment = \r\nMethod = Deflate\r\n"
                               "Characteristics = NTFS\r\nHost OS = FAT\r\nVersion = 20\r\nVolume Index = 0\r\n"
                               "Offset = 123456\r\n";
    constexpr size_t kMembers = 200000;
    FILE* out = _wfopen((archive + L".list").c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    size_t bytes = 0;
    for (size_t i = 0; i < kMembers; ++i) {
        const std::string member = "Path = folder\\member" + std::to_string(i) + ".txt\r\n" + filler + "CRC = 0000ABCD\r\n\r\n";
        bytes += std::fwrite(member.data(), 1, member.size(), out);
    }
    std::fclose(out);

    size_t members = 0;
    ListingParser parser;
    ListedMember member;
    DWORD exitCode = 1;
    const OutputLineSink count = [&](const std::wstring& line) { return members += parser.Take(line, member), true; };
    g_heapPeak = g_heapInUse.load();
    const size_t base = g_heapInUse;
    ASSERT_TRUE(RunArchiver(ListCommandLine(archiver, archive), count, exitCode));
    const double peakKiB = static_cast<double>(g_heapPeak - base) / 1024;
    EXPECT_EQ(members, kMembers);
    std::printf("listing of %.1f MiB, %zu members: reading and parsing took at most %.1f KiB of heap\n",
                static_cast<double>(bytes) / (1 << 20), members, peakKiB);
    EXPECT_LT(peakKiB, 256.0);

    // A 3 MB line with a character across the read pieces, and a command line beyond the limit.
    WriteTestFile(archive + L".list", "Path = " + std::string(3000000, 'x') + "\xC3\xA9\r\nCRC = 00000001\r\n");
    std::vector<ListedMember> listed;
    ASSERT_TRUE(ListArchive(archiver, archive, listed));
    EXPECT_EQ(listed.at(0).innerPath.size(), 3000001u);
    EXPECT_EQ(listed.at(0).innerPath.back(), L'é');
    EXPECT_FALSE(RunArchiver(L"\"" + archiver + L"\" " + std::wstring(40000, L'x'), nullptr, exitCode));
}
