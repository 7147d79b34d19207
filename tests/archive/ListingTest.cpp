// The archiver's output: lines, the test gate, the listing, display names, and what reaches
// the archiver's command line (through a fake archiver that prints scripted output).
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::wstring>;

std::vector<std::pair<std::wstring, std::wstring>> Parsed(const Lines& lines) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    for (const ListedMember& m : ParseListing(lines)) out.emplace_back(m.innerPath, m.crcText);
    return out;
}

size_t CountLines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(Listing, CaptureLinesAreDecodedFromUtf8WithCarriageReturnsBeforeLineFeedsDropped) {
    EXPECT_EQ(SplitCaptureLines("Path = \xC3\xA9.txt\r\nCRC = 1\r\n"), (Lines{L"Path = é.txt\n", L"CRC = 1\n"}));
    EXPECT_EQ(SplitCaptureLines("a\rb\nlast"), (Lines{L"a\rb\n", L"last"}));
    EXPECT_EQ(SplitCaptureLines("\n\n"), (Lines{L"\n", L"\n"}));
    EXPECT_TRUE(SplitCaptureLines("").empty());
    const std::string longLine = "Path = " + std::string(5000, 'x') + "\r\n";
    EXPECT_EQ(SplitCaptureLines(longLine)[0].size(), 5008u) << "lines are never cut";
}

TEST(Listing, TestGateWantsAWholeLineIgnoringCase) {
    EXPECT_TRUE(PassesTestGate({L"Testing archive: x\n", L"Everything is Ok\n"}));
    EXPECT_TRUE(PassesTestGate({L"EVERYTHING IS OK\n"}));
    EXPECT_FALSE(PassesTestGate({L"Everything is Ok"})) << "a last line without line feed";
    EXPECT_FALSE(PassesTestGate({L"Everything is Ok \n", L"ERROR: x\n"}));
    EXPECT_FALSE(PassesTestGate({}));
}

TEST(Listing, PathLinesTakeTheFirstCrcLineAfterThem) {
    EXPECT_EQ(Parsed({L"Path = docs\\a.txt\n", L"Size = 5\n", L"CRC = 1A2B3C4D\n", L"path = b.txt\n", L"crc = 0000ABCD\n"}),
              (std::vector<std::pair<std::wstring, std::wstring>>{{L"docs\\a.txt", L"1A2B3C4D"}, {L"b.txt", L"0000ABCD"}}));
    // A folder's empty CRC adds nothing; the next path starts afresh.
    EXPECT_EQ(Parsed({L"Path = dir\n", L"CRC = \n", L"Path = f\n", L"CRC = 00000001\n"}),
              (std::vector<std::pair<std::wstring, std::wstring>>{{L"f", L"00000001"}}));
    // A second path before the CRC line is skipped; the first member takes that CRC.
    EXPECT_EQ(Parsed({L"Path = first\n", L"Path = second\n", L"CRC = 00000002\n"}),
              (std::vector<std::pair<std::wstring, std::wstring>>{{L"first", L"00000002"}}));
    // "Path = " alone is no member line; with a line feed it gives an empty inner path.
    EXPECT_TRUE(Parsed({L"Path = ", L"CRC = 00000003\n"}).empty());
    EXPECT_EQ(Parsed({L"Path = \n", L"CRC = 00000003\n"}),
              (std::vector<std::pair<std::wstring, std::wstring>>{{L"", L"00000003"}}));
    EXPECT_TRUE(Parsed({L"Path = pending\n", L"Size = 1\n"}).empty()) << "no CRC line before the end";
    EXPECT_TRUE(Parsed({L"CRC = 00000004\n"}).empty());
}

TEST(Listing, MemberDisplayNamesAreRelativeToTheRoot) {
    EXPECT_EQ(MemberDisplayName(L"D:\\data", L"D:\\data\\old\\set.zip", L"docs\\a.txt"), L"old\\set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\data", L"D:\\data\\set.zip", L"docs\\a.txt"), L"set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\", L"D:\\set.zip", L"docs\\a.txt"), L"set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\", L"D:\\old\\set.zip", L"docs\\a.txt"), L"old\\set.zip【docs\\a.txt】");
    EXPECT_EQ(MemberDisplayName(L"D:\\Data", L"D:\\data\\set.zip", L""), L"set.zip【】") << "the root compares ignoring case";
}

TEST(FakeArchiver, ABlankInTheArchiverPathNeverStartsAnotherProgram) {
    const std::wstring top = MakeTempFolder(L"quote");
    const std::wstring dir = MakeFakeArchiverDir(top + L"\\Program Files\\7-Zip");
    // What an unquoted command line would start first.
    ASSERT_TRUE(CopyFileW((dir + L"\\7z.exe").c_str(), (top + L"\\Program.exe").c_str(), FALSE));
    const std::wstring archive = MakeTempFolder(L"data") + L"\\x y.zip";
    WriteTestFile(archive, "zip bytes");
    WriteTestFile(archive + L".test", "Testing archive\r\nEverything is Ok\r\n");
    WriteTestFile(archive + L".list", "Path = m\xC3\xA9.txt\r\nCRC = 0000ABCD\r\n");

    EntryList entries;
    const std::wstring root = archive.substr(0, archive.find_last_of(L'\\'));
    ExpandArchive(ScanContext{root, L"", LocateArchiver(dir)}, archive, entries);

    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].displayName, L"x y.zip【mé.txt】");
    EXPECT_EQ(entries[0].crcText, L"0000ABCD");
    EXPECT_FALSE(PathExists(top + L"\\calls.log")) << "C:\\Program.exe-style decoy was started";
    const std::string calls = ReadTextFile(dir + L"\\calls.log");
    EXPECT_EQ(CountLines(calls), 2u) << calls;
    EXPECT_NE(calls.find(" t \"" + Utf8(archive) + "\" -slt -ba -sccUTF-8"), std::string::npos) << calls;
}

TEST(FakeArchiver, AFailedGateRunsNoListAndLeavesNoCapture) {
    const std::wstring dir = MakeFakeArchiverDir(MakeTempFolder(L"gate") + L"\\7z");
    const std::wstring folder = MakeTempFolder(L"gate-data");
    EntryList entries;
    for (const char* output : {"Everything is Ok", "ERROR: not an archive\r\n", ""}) {
        const std::wstring archive = folder + L"\\a" + std::to_wstring(CountLines(ReadTextFile(dir + L"\\calls.log")));
        WriteTestFile(archive, "bytes");
        WriteTestFile(archive + L".test", output);
        WriteTestFile(archive + L".list", "Path = x\r\nCRC = 00000001\r\n");
        ExpandArchive(ScanContext{folder, L"", LocateArchiver(dir)}, archive, entries);
    }
    EXPECT_TRUE(entries.empty());
    const std::string calls = ReadTextFile(dir + L"\\calls.log");
    EXPECT_EQ(CountLines(calls), 3u) << "only test commands: " << calls;
    EXPECT_EQ(calls.find(" l "), std::string::npos) << calls;
    EXPECT_FALSE(PathExists(ScratchFolderPath() + L"Veltrimox.txt"));

    // Letter case does not matter to the gate.
    const std::wstring archive = folder + L"\\upper";
    WriteTestFile(archive, "bytes");
    WriteTestFile(archive + L".test", "EVERYTHING IS OK\n");
    WriteTestFile(archive + L".list", "PATH = y\nCRC = 00000002\n");
    ExpandArchive(ScanContext{folder, L"", LocateArchiver(dir)}, archive, entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].innerPath, L"y");
}

TEST(FakeArchiver, AnArchiverThatCannotStartAddsNothing) {
    const std::wstring dir = MakeTempFolder(L"broken");
    WriteTestFile(dir + L"\\7z.exe", "not a program");
    WriteTestFile(dir + L"\\7z.dll", "");
    const std::wstring folder = MakeTempFolder(L"broken-data");
    WriteTestFile(folder + L"\\a.zip", "bytes");
    EntryList entries;
    ExpandArchive(ScanContext{folder, L"", LocateArchiver(dir)}, folder + L"\\a.zip", entries);
    EXPECT_TRUE(entries.empty());

    DWORD exitCode = 0;
    EXPECT_FALSE(RunArchiver(L"\"" + dir + L"\\7z.exe\" t x", nullptr, exitCode));
    EXPECT_FALSE(RunArchiver(L"\"" + dir + L"\\7z.exe\" " + std::wstring(40000, L'x'), nullptr, exitCode))
        << "a command line beyond the platform's limit is a failed start";
}

TEST(FakeArchiver, ACaptureFileThatCannotBeCreatedRunsNoArchiver) {
    const std::wstring dir = MakeFakeArchiverDir(MakeTempFolder(L"capture") + L"\\7z");
    const std::wstring folder = MakeTempFolder(L"capture-data");
    WriteTestFile(folder + L"\\a.zip", "bytes");
    WriteTestFile(folder + L"\\a.zip.test", "Everything is Ok\n");

    const std::wstring capture = ScratchFolderPath() + L"Veltrimox.txt";
    MakeFolder(ScratchFolderPath().substr(0, ScratchFolderPath().size() - 1));
    WriteTestFile(capture, "");
    HANDLE holder = CreateFileW(capture.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EntryList entries;
    ExpandArchive(ScanContext{folder, L"", LocateArchiver(dir)}, folder + L"\\a.zip", entries);
    CloseHandle(holder);

    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(PathExists(dir + L"\\calls.log")) << "the archiver ran without a capture";
}
