// The catalogue of a real tree through the real 7-Zip for Windows, built with runs over many
// files and with runs over each file alone: the two must agree entry by entry.
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::wstring CrcOf(const std::string& content) {
    return FormatCrcText(Crc32Reference(0, content.data(), content.size()));
}

std::string Describe(const FileEntry& e) {
    return Utf8(e.displayName + L" | " + e.innerPath + L" | " + e.containerPath + L" | " + e.crcText) + " | " +
           std::to_string(e.inArchive);
}

}  // namespace

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

    // What the catalogue holds: every archive's loose entry followed directly by its members.
    const std::wstring packed = L"sub\\日本語.7z【";
    const std::wstring longInner = std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                                   std::wstring(94, L'f') + L".txt";
    const struct {
        std::wstring name;
        std::wstring crc;
    } expected[] = {
        {L"set.zip【docs\\a.txt】", CrcOf("alpha")},  {L"set.zip【docs\\c2.txt】", CrcOf("gamma")},
        {packed + L"é.txt】", CrcOf("accent")},       {packed + L"日本.txt】", CrcOf("japan")},
        {packed + longInner + L"】", CrcOf("long")},  {L"sub\\g.txt.gz【g.txt】", CrcOf("zipped text\n")},
        {L"sub\\Case.zip【docs\\c1.txt】", CrcOf("gamma")}, {L"sub\\case.zip【docs\\a.txt】", CrcOf("alpha")},
    };
    std::wstring members;
    for (const FileEntry& e : batched.entries) {
        if (e.inArchive) members += e.displayName + L"\n";
    }
    for (const auto& e : expected) {
        const size_t at = FindEntryByName(batched.entries, e.name);
        ASSERT_LT(at, batched.entries.size()) << Utf8(e.name) << " missing from:\n" << Utf8(members);
        EXPECT_EQ(batched.entries[at].crcText, e.crc) << Utf8(e.name);
        size_t loose = at;
        while (loose > 0 && batched.entries[loose].inArchive) --loose;
        EXPECT_EQ(batched.entries[loose].containerPath, batched.entries[at].containerPath) << Utf8(e.name);
    }
    // set.zip: 3 files (its empty folder has no CRC); 日本語.7z: 3; g.txt.gz, Case.zip,
    // case.zip: 1 each; x.7z.001: 1. Nothing from the tar (no CRC lines), the fake, the damaged
    // and the encrypted archives, the second volume and the held file.
    EXPECT_EQ(members.empty() ? 0 : std::count(members.begin(), members.end(), L'\n'), 10) << Utf8(members);
    EXPECT_NE(FindEntryByName(batched.entries, L"sub\\deeper\\x.7z.001【big.bin】"), batched.entries.size());
    EXPECT_EQ(FindEntryByName(batched.entries, L"sub\\held.zip"), batched.entries.size()) << "the held file is unread";
}
