// The archiver's output: lines as they come, the test gate, listings, sections of runs over
// many files, how files are split into runs, display names, and what reaches the archiver's
// command line (through a fake archiver that prints scripted output).
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"

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

// The lines of `bytes` fed in pieces of `piece` bytes.
Lines LinesOf(const std::string& bytes, size_t piece) {
    Lines lines;
    OutputLines reader;
    const OutputLineSink sink = [&](const std::wstring& line) {
        lines.push_back(line);
        return true;
    };
    for (size_t at = 0; at < bytes.size(); at += piece) {
        EXPECT_TRUE(reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at), sink));
    }
    EXPECT_TRUE(reader.Finish(sink));
    return lines;
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

size_t CountLines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(Listing, OutputIsCutIntoUtf8LinesWhateverPiecesItComesIn) {
    const std::string bytes = "Path = \xE6\x97\xA5\xC3\xA9.txt\r\nCRC = 1\r\na\rb\n\nlast";
    for (size_t piece : {1, 2, 3, 1000}) {
        EXPECT_EQ(LinesOf(bytes, piece), (Lines{L"Path = 日é.txt\n", L"CRC = 1\n", L"a\rb\n", L"\n", L"last"}))
            << "pieces of " << piece;
    }
    EXPECT_TRUE(LinesOf("", 1).empty());
    const std::string longLine = "Path = " + std::string(3000000, 'x') + "\xC3\xA9\r\n";
    EXPECT_EQ(LinesOf(longLine, 65536)[0].size(), 3000009u) << "lines are never cut, nor characters across pieces";

    // A sink that asks to stop gets no further line.
    OutputLines reader;
    int calls = 0;
    EXPECT_FALSE(reader.Feed("a\nb\n", 4, [&](const std::wstring&) { return ++calls > 5; }));
    EXPECT_EQ(calls, 1);
}

TEST(Listing, TestGateWantsAWholeLineIgnoringCase) {
    EXPECT_TRUE(IsTestPassedLine(L"Everything is Ok\n"));
    EXPECT_TRUE(IsTestPassedLine(L"EVERYTHING IS OK\n"));
    EXPECT_FALSE(IsTestPassedLine(L"Everything is Ok")) << "a last line without line feed";
    EXPECT_FALSE(IsTestPassedLine(L"Everything is Ok \n"));
}

TEST(Listing, PathLinesTakeTheFirstCrcLineAfterThem) {
    EXPECT_EQ(Parsed({L"Path = docs\\a.txt\n", L"Size = 5\n", L"CRC = 1A2B3C4D\n", L"path = b.txt\n", L"crc = 0000ABCD\n"}),
              (Members{{L"docs\\a.txt", L"1A2B3C4D"}, {L"b.txt", L"0000ABCD"}}));
    // A folder's empty CRC adds nothing; the next path starts afresh.
    EXPECT_EQ(Parsed({L"Path = dir\n", L"CRC = \n", L"Path = f\n", L"CRC = 00000001\n"}), (Members{{L"f", L"00000001"}}));
    // A second path before the CRC line is skipped; the first member takes that CRC.
    EXPECT_EQ(Parsed({L"Path = first\n", L"Path = second\n", L"CRC = 00000002\n"}), (Members{{L"first", L"00000002"}}));
    // "Path = " alone is no member line; with a line feed it gives an empty inner path.
    EXPECT_TRUE(Parsed({L"Path = ", L"CRC = 00000003\n"}).empty());
    EXPECT_EQ(Parsed({L"Path = \n", L"CRC = 00000003\n"}), (Members{{L"", L"00000003"}}));
    EXPECT_TRUE(Parsed({L"Path = pending\n", L"Size = 1\n"}).empty()) << "no CRC line before the end";
    EXPECT_TRUE(Parsed({L"CRC = 00000004\n"}).empty());
}

TEST(Listing, SectionsOfARunBelongToTheFileTheirHeaderNames) {
    SectionSplitter sections(L"Testing archive: ", {L"C:\\b.zip", L"C:\\a.zip", L"C:\\c.zip", L"C:\\d.zip"});
    const struct {
        const wchar_t* line;
        size_t file;
    } lines[] = {
        {L"7-Zip banner\n", SectionSplitter::kNone},
        {L"Testing archive: C:\\A.ZIP\n", SectionSplitter::kNone},  // letter case aside
        {L"Everything is Ok\n", 1},
        {L"Testing archive: C:\\b.zip\n", SectionSplitter::kNone},
        {L"--\n", 0},
        {L"Testing archive: C:\\b.zip\n", SectionSplitter::kNone},  // a second time: nobody's
        {L"Everything is Ok\n", SectionSplitter::kNone},
        {L"Testing archive: C:\\other.zip\n", SectionSplitter::kNone},
        {L"x\n", SectionSplitter::kNone},
        {L"Testing archive: C:\\c.zip", SectionSplitter::kNone},  // cut short: no header
        {L"Testing archive: C:\\c.zip\n", SectionSplitter::kNone},
        {L"Archives: 3\n", 2},
    };
    for (const auto& l : lines) EXPECT_EQ(sections.Take(l.line), l.file) << Utf8(l.line);
    EXPECT_TRUE(sections.Complete(0, false));
    EXPECT_TRUE(sections.Complete(1, false));
    EXPECT_FALSE(sections.Complete(2, false)) << "the last section of a run that did not end by itself";
    EXPECT_TRUE(sections.Complete(2, true));
    EXPECT_FALSE(sections.Complete(3, true)) << "no section at all";
}

TEST(Listing, RunsAreBoundedAndNeverHoldNamesThatDifferOnlyInCase) {
    using Runs = std::vector<std::vector<size_t>>;
    const Lines paths = {L"C:\\a", L"C:\\b", L"C:\\A", L"C:\\c", L"C:\\d", L"C:\\é", L"C:\\É"};
    EXPECT_EQ(PlanRuns(paths, 1000, 1 << 20), (Runs{{0, 1}, {2, 3, 4, 5}, {6}}));
    EXPECT_EQ(PlanRuns(paths, 3, 1 << 20), (Runs{{0, 1}, {2, 3, 4}, {5}, {6}}));
    EXPECT_EQ(PlanRuns({L"C:\\a", L"C:\\b", L"C:\\c"}, 1000, 30), (Runs{{0, 1}, {2}})) << "14 bytes a name at most";
    EXPECT_TRUE(PlanRuns({}, 1000, 1 << 20).empty());
}

TEST(Listing, MemberDisplayNamesAreRelativeToTheRoot) {
    EXPECT_EQ(MemberDisplayName(L"D:\\data", L"D:\\data\\old\\set.zip", L"docs\\a.txt"), L"old\\set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\data", L"D:\\data\\set.zip", L"docs\\a.txt"), L"set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\", L"D:\\set.zip", L"docs\\a.txt"), L"set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\", L"D:\\old\\set.zip", L"docs\\a.txt"), L"old\\set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\Data", L"D:\\data\\set.zip", L""), L"set.zip【】") << "the root compares ignoring case";
}

TEST(Listing, TheArchiverIsFoundOnlyWithItsLibrary) {
    const std::wstring dir = MakeTempFolder(L"only-exe");
    WriteTestFile(dir + L"\\7z.exe", "");
    EXPECT_EQ(LocateArchiver(dir), L"") << "7z.dll is missing";
    WriteTestFile(dir + L"\\7z.dll", "");
    EXPECT_EQ(LocateArchiver(dir), dir + L"\\7z.exe");
    EXPECT_EQ(LocateArchiver(dir + L"\\"), dir + L"\\7z.exe");
    EXPECT_EQ(LocateArchiver(L""), L"");
}

// The fake archiver knows no list files: every run over many files gives no section, so each
// file is done again alone.
TEST(FakeArchiver, ARunThatSettlesNothingIsDoneAgainFileByFileWithAQuotedArchiver) {
    const std::wstring top = MakeTempFolder(L"quote");
    const std::wstring dir = MakeFakeArchiverDir(top + L"\\Program Files\\7-Zip");
    // What an unquoted command line would start first.
    ASSERT_TRUE(CopyFileW((dir + L"\\7z.exe").c_str(), (top + L"\\Program.exe").c_str(), FALSE));
    const std::wstring folder = MakeTempFolder(L"data");
    const std::wstring archive = folder + L"\\x y.zip";
    const std::wstring upper = folder + L"\\upper";
    const std::wstring cut = folder + L"\\cut";
    for (const std::wstring& name : {archive, upper, cut}) WriteTestFile(name, "bytes");
    WriteTestFile(archive + L".test", "Testing archive\r\nEverything is Ok\r\n");
    WriteTestFile(archive + L".list", "Path = m\xC3\xA9.txt\r\nCRC = 0000ABCD\r\n");
    WriteTestFile(upper + L".test", "EVERYTHING IS OK\n");
    WriteTestFile(upper + L".list", "PATH = y\nCRC = 00000002\n");
    WriteTestFile(cut + L".test", "ERROR: not an archive\r\nEverything is Ok");  // no line feed: no pass
    WriteTestFile(cut + L".list", "Path = x\r\nCRC = 00000001\r\n");

    const WalkedFiles files = {{archive, std::nullopt}, {upper, std::nullopt}, {cut, std::nullopt}};
    const Expansion expansion = ExpandArchives(ExpansionRequest{LocateArchiver(dir), folder}, files);

    ASSERT_EQ(expansion.entries.size(), 2u);
    EXPECT_EQ(expansion.entries[0].displayName, L"x y.zip【mé.txt】");
    EXPECT_EQ(expansion.entries[0].crcText, L"0000ABCD");
    EXPECT_EQ(expansion.entries[1].displayName, L"upper【y】");
    EXPECT_FALSE(PathExists(top + L"\\calls.log")) << "C:\\Program.exe-style decoy was started";
    const std::string calls = ReadTextFile(dir + L"\\calls.log");
    EXPECT_GE(expansion.batchRuns, 1u);
    EXPECT_EQ(expansion.singleRuns, 5u) << "three tests, two lists";
    EXPECT_EQ(CountLines(calls), expansion.batchRuns + 5) << calls;
    EXPECT_NE(calls.find(" t \"" + Utf8(archive) + "\" -ba -slt -sccUTF-8 -p0"), std::string::npos) << calls;
    EXPECT_EQ(calls.find(" l \"" + Utf8(cut) + "\""), std::string::npos) << "no list after a failed test: " << calls;
}

TEST(FakeArchiver, AnArchiverThatCannotStartAddsNothing) {
    const std::wstring dir = MakeTempFolder(L"broken");
    WriteTestFile(dir + L"\\7z.exe", "not a program");
    WriteTestFile(dir + L"\\7z.dll", "");
    const std::wstring folder = MakeTempFolder(L"broken-data");
    WriteTestFile(folder + L"\\a.zip", "bytes");
    const WalkedFiles files = {{folder + L"\\a.zip", FileEntry{L"a.zip", L"", folder + L"\\a.zip", L"1", 0}}};
    const Expansion expansion = ExpandArchives(ExpansionRequest{LocateArchiver(dir), folder}, files);
    ASSERT_EQ(expansion.entries.size(), 1u) << "the loose entry alone";
    EXPECT_EQ(expansion.entries[0].inArchive, 0);

    DWORD exitCode = 0;
    EXPECT_FALSE(RunArchiver(L"\"" + dir + L"\\7z.exe\" t x", nullptr, exitCode));
    EXPECT_FALSE(RunArchiver(L"\"" + dir + L"\\7z.exe\" " + std::wstring(40000, L'x'), nullptr, exitCode))
        << "a command line beyond the platform's limit is a failed start";
}

// 200,000 members, about 56 MiB of listing: what reading and parsing it costs beyond the
// members themselves.
TEST(FakeArchiver, AHugeListingIsReadInMemoryBoundedByItsLongestLine) {
    const std::wstring dir = MakeFakeArchiverDir(MakeTempFolder(L"huge") + L"\\7z");
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
        const std::string member =
            "Path = folder\\member" + std::to_string(i) + ".txt\r\n" + filler + "CRC = 0000ABCD\r\n\r\n";
        bytes += std::fwrite(member.data(), 1, member.size(), out);
    }
    std::fclose(out);

    size_t members = 0;
    ListingParser parser;
    ListedMember member;
    DWORD exitCode = 1;
    const OutputLineSink count = [&](const std::wstring& line) {
        members += parser.Take(line, member) ? 1 : 0;
        return true;
    };
    g_heapPeak = g_heapInUse.load();
    const size_t base = g_heapInUse;
    ASSERT_TRUE(RunArchiver(ListCommandLine(LocateArchiver(dir), archive), count, exitCode));
    const double peakKiB = static_cast<double>(g_heapPeak - base) / 1024;

    EXPECT_EQ(members, kMembers);
    std::printf("listing of %.1f MiB, %zu members: reading and parsing took at most %.1f KiB of heap\n",
                static_cast<double>(bytes) / (1 << 20), members, peakKiB);
    EXPECT_LT(peakKiB, 256.0);

    std::vector<ListedMember> listed;
    ASSERT_TRUE(ListArchive(LocateArchiver(dir), archive, listed));
    EXPECT_EQ(listed.size(), kMembers);
    EXPECT_EQ(listed.back().innerPath, L"folder\\member199999.txt");
}
