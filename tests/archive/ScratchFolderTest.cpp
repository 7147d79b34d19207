// The scratch folder: cleared without following links, removed at close when empty, and
// shared safely by two copies of the program scanning at once.
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/FolderScan.h"

#include "ArchiveTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

}  // namespace

TEST(ScratchFolder, ClearingRemovesEverythingButNeverALinksTarget) {
    const char* fixture = std::getenv("VELTRIMOX_SCRATCH_FIXTURE");
    ASSERT_TRUE(fixture && *fixture) << "run through ctest: the fixture makes the folder with a link";
    const std::wstring top = WindowsPathOfUnixPath(fixture);
    const std::wstring scratch = top + L"\\scratch";
    ASSERT_TRUE(SetFileAttributesW((scratch + L"\\nested\\deeper\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD link = GetFileAttributesW((scratch + L"\\link").c_str());
    ASSERT_NE(link, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(link & FILE_ATTRIBUTE_REPARSE_POINT) << "the platform shows the link as a reparse point";

    ClearFolder(scratch);

    EXPECT_TRUE(PathExists(scratch)) << "the folder itself stays";
    EXPECT_FALSE(PathExists(scratch + L"\\Veltrimox.txt"));
    EXPECT_FALSE(PathExists(scratch + L"\\nested")) << "nested folders and read-only files go";
    EXPECT_EQ(ReadTextFile(top + L"\\outside\\keep.txt"), "must survive");
    // Windows removes the link itself; Wine 8 cannot remove a Unix folder link from the Windows
    // side at all, so there it stays, pointing at the untouched folder.
    if (!RunningUnderWine()) {
        EXPECT_FALSE(PathExists(scratch + L"\\link"));
    }
}

TEST(ScratchFolder, AScratchFolderThatIsALinkIsNeverCleared) {
    const char* fixture = std::getenv("VELTRIMOX_SCRATCH_FIXTURE");
    ASSERT_TRUE(fixture && *fixture) << "run through ctest";
    const std::wstring top = WindowsPathOfUnixPath(fixture);
    const std::wstring dir = MakeFakeArchiverDir(MakeTempFolder(L"linked") + L"\\7z");
    const std::wstring archive = MakeTempFolder(L"linked-data") + L"\\a.zip";
    WriteTestFile(archive, "bytes");
    WriteTestFile(archive + L".test", "Everything is Ok\n");
    WriteTestFile(archive + L".list", "Path = m.txt\nCRC = 00000001\n");

    const std::wstring previous = Env(L"TMP");
    SetEnvironmentVariableW(L"TMP", (top + L"\\linked-temp").c_str());
    EntryList entries;
    ExpandArchive(ScanContext{L"", L"", LocateArchiver(dir)}, archive, entries);
    SetEnvironmentVariableW(L"TMP", previous.c_str());

    EXPECT_EQ(ReadTextFile(top + L"\\linked-target\\precious.txt"), "not scratch");
    EXPECT_TRUE(entries.empty()) << "no archive support through a linked scratch folder";
}

TEST(ScratchFolder, RemovedAtCloseOnlyWhenEmpty) {
    const std::wstring scratch = ScratchFolderPath();
    ASSERT_FALSE(scratch.empty());
    ASSERT_EQ(scratch.back(), L'\\');
    MakeFolder(scratch.substr(0, scratch.size() - 1));
    WriteTestFile(scratch + L"Veltrimox.txt", "left behind");
    RemoveScratchFolder();
    EXPECT_TRUE(PathExists(scratch + L"Veltrimox.txt")) << "a capture left behind keeps the folder";

    DeleteFileW((scratch + L"Veltrimox.txt").c_str());
    RemoveScratchFolder();
    EXPECT_FALSE(PathExists(scratch));
}

// Run by the test below in two processes at once, never on its own.
TEST(ScratchFolder, DISABLED_ScanWorker) {
    const std::wstring root = Env(L"VELTRIMOX_WORKER_TREE");
    const std::wstring out = Env(L"VELTRIMOX_WORKER_OUT");
    ASSERT_FALSE(root.empty() || out.empty());
    EntryList entries;
    ScanFolder(ScanContext{root, L"", LocateArchiver(RealArchiverDir())}, root, entries);
    size_t members = 0;
    for (const FileEntry& e : entries) members += static_cast<size_t>(e.inArchive);
    WriteTestFile(out, std::to_string(members));
}

TEST(ScratchFolder, TwoProcessesScanningAtOnceEachGetEveryMember) {
    const std::wstring root = MakeTempFolder(L"shared");
    const int archives = 12;
    for (int i = 0; i < archives; ++i) {
        const std::wstring name = L"m" + std::to_wstring(i) + L".txt";
        WriteTestFile(root + L"\\" + name, "member " + std::to_string(i));
        WriteTestFile(root + L"\\n" + std::to_wstring(i) + L".txt", "other " + std::to_string(i));
        MakeArchive(root + L"\\a" + std::to_wstring(i) + L".zip", L"zip", root,
                    name + L" n" + std::to_wstring(i) + L".txt");
    }

    // Both copies get the same temporary folder, as two copies run by one user do.
    const std::wstring results = MakeTempFolder(L"results");
    std::vector<PROCESS_INFORMATION> workers;
    SetEnvironmentVariableW(L"VELTRIMOX_WORKER_TREE", root.c_str());
    SetEnvironmentVariableW(L"VELTRIMOX_SHARED_TEMP", (MakeTempFolder(L"shared-temp")).c_str());
    for (int w = 0; w < 2; ++w) {
        SetEnvironmentVariableW(L"VELTRIMOX_WORKER_OUT", (results + L"\\worker" + std::to_wstring(w)).c_str());
        workers.push_back(StartWorker(L"ScratchFolder.DISABLED_ScanWorker"));
    }
    SetEnvironmentVariableW(L"VELTRIMOX_SHARED_TEMP", nullptr);
    for (PROCESS_INFORMATION& p : workers) {
        WaitForSingleObject(p.hProcess, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(p.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(p.hThread);
        CloseHandle(p.hProcess);
    }
    for (int w = 0; w < 2; ++w) {
        EXPECT_EQ(ReadTextFile(results + L"\\worker" + std::to_wstring(w)), std::to_string(2 * archives))
            << "worker " << w << " lost members to the other's clearing";
    }
}
