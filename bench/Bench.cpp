// Veltrimox benchmark: our scan engine against the real 7-Zip, side by side in one run.
// Usage: veltrimox_bench --7zip FOLDER [--archiver-scan]   (the folder holding 7z.exe and 7z.dll;
//        with --archiver-scan only the scan with the archiver on and off is measured)
//        veltrimox_bench --hash FILE     (internal: the child whose memory is measured)
//        veltrimox_bench --list-10m      (internal: the child that shows ten million rows)
// Work files go below %VELTRIMOX_SCRATCH% when set (a Unix path under Wine), else below the
// temporary folder, and are removed at the end.
#include "BenchSupport.h"
#include "Benches.h"

#include <windows.h>
#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    if (!argv) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

std::wstring WorkFolderBase() {
    const std::wstring scratch = EnvironmentVariable(L"VELTRIMOX_SCRATCH");
    if (!scratch.empty()) return WindowsPathOfUnixPath(scratch);
    std::wstring temp(MAX_PATH + 1, L'\0');
    const DWORD got = GetTempPathW(static_cast<DWORD>(temp.size()), &temp[0]);
    if (got == 0 || got > temp.size()) Fail("no temporary folder");
    temp.resize(got);
    return temp;
}

// Removes the work folder on every way out, failures included.
class WorkFolder {
public:
    explicit WorkFolder(std::wstring path) : path_(std::move(path)) { MakeFolders(path_); }
    ~WorkFolder() { RemoveTree(path_); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    [[nodiscard]] const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

int Usage() {
    std::fprintf(stderr, "usage: veltrimox_bench --7zip FOLDER [--archiver-scan | --tree | --pairs]\n");
    return 2;
}

int RunBench(const std::wstring& sevenZipFolder, const std::wstring& mode) {
    const bool archiverScanOnly = mode == L"--archiver-scan";
    Workspace workspace;
    workspace.sevenZip = Join(sevenZipFolder, L"7z.exe");
    workspace.self = ModulePath();
    if (GetFileAttributesW(workspace.sevenZip.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Fail("no 7z.exe at " + Utf8(workspace.sevenZip));
    }
    const WorkFolder work(Join(WorkFolderBase(), L"veltrimox-bench-" + std::to_wstring(GetCurrentProcessId())));
    workspace.folder = work.Path();
    // The 1 GiB file, the tree and 7-Zip's listing, with some room to spare.
    if (FreeBytes(workspace.folder) < (2ull << 30) + (256ull << 20)) Fail("less than 2.25 GiB free for the work files");
    Print("veltrimox bench: work folder %s, 7-Zip %s\n", Utf8(workspace.folder).c_str(),
          Utf8(workspace.sevenZip).c_str());
    Print("Times are medians of 3 runs; MB = 10^6 bytes; the files are hashed from the system cache on both sides.\n");
    Print("7-Zip runs as a child process; its output goes to a file in the work folder (under Wine a write to NUL\n"
          "costs about a millisecond, which would be charged to 7-Zip for every line it lists).\n");

    if (mode == L"--proof") {
        const CrcFiles files = MakeCrcFiles(workspace);
        const ProofFigures proof = BenchProof(workspace, files);
        Print("\nbench: strong_hash_cost=%.2f confirm_read_share=%.3f/%.3f verify_1gib_s=%.2f verify_1gib_ratio=%.2f "
              "verify_member_64mib_s=%.2f verify_member_ratio=%.2f f5_after_1m_entries_ms=%.1f\n", proof.strongHashCost, proof.confirmShareTree,
              proof.confirmShareDuplicates, proof.verify1GiB, proof.verify1GiBRatio, proof.verifyMember, proof.verifyMemberRatio);
        return 0;
    }
    if (mode == L"--pairs") {
        const double pairs = BenchPairing(), remove = BenchRemoveArchive();
        Print("\nbench: pairs_1m_s=%.2f remove_archive_50k_s=%.3f f5_after_1m_entries_ms=%.1f\n", pairs, remove,
              BenchRescanAfterMillion(workspace));
        return 0;
    }
    if (mode == L"--tree") {  // only the tree of small files, against 7-Zip's start-up on an empty file
        Random random(0x5EED0002);
        const std::wstring empty = Join(workspace.folder, L"empty.bin");
        WriteRandomFile(empty, 0, random);
        std::vector<double> startup;
        for (int run = 0; run < 3; ++run) startup.push_back(RunChild(workspace.sevenZip, {L"h", L"-scrcCRC32", empty}, Join(workspace.folder, L"out.txt")).seconds);
        Print("\nbench: tree_ratio=%.2f\n", BenchTree(workspace, Median(startup)));
        return 0;
    }
    if (archiverScanOnly) {
        Print("\n[Scanning 5,000 small files in 1,000 folders, a third of them archives, with and without the archiver]\n");
        const ArchiverScanFigures archiver = BenchArchiverScan(workspace);
        Print("\n[Scanning 200 zips of 400 members among 2,000 plain files]\n");
        const double memberRich = BenchMemberRichScan(workspace);
        Print("\nbench: archiver_scan_ms_per_file=%.2f archiver_on_off_ratio=%.1f archiver_floor_ratio=%.2f "
              "archiver_floor_ratio_5k=%.2f\n", archiver.msPerFile, archiver.onOffRatio, memberRich, archiver.floorRatio);
        return 0;
    }

    Print("\n[CRC throughput: 1 GiB of random data]\n");
    const CrcFiles files = MakeCrcFiles(workspace);
    const CrcFigures crc = BenchCrcThroughput(workspace, files);

    Print("\n[Peak working set of a child process hashing the 1 GiB file]\n");
    const double peak = BenchCrcPeak(workspace, files);

    Print("\n[Proving rows: the strong hash, a second read instead, the comparison before a delete]\n");
    const ProofFigures proof = BenchProof(workspace, files);
    DeleteFileW(files.big.c_str());  // not needed any more; frees the space before the tree is written

    Print("\n[Tree of small files: 20,000 files of 200 to 4096 bytes in 200 folders]\n");
    const double tree = BenchTree(workspace, crc.sevenZipStartup);

    Print("\n[Scanning 5,000 small files in 1,000 folders, a third of them archives, with and without the archiver]\n");
    const ArchiverScanFigures archiver = BenchArchiverScan(workspace);

    Print("\n[Scanning 200 zips of 400 members among 2,000 plain files]\n");
    const double memberRich = BenchMemberRichScan(workspace);

    Print("\n[Pairing: entries in mixed groups (50%% alone, 30%% in pairs, 20%% in groups of ten)]\n");
    double grouping = 0;
    const double pairs = BenchPairing(&grouping);

    Print("\n[Deleting an archive of 50,000 catalogued members through its loose row]\n");
    const double removeArchive = BenchRemoveArchive();

    Print("\n[Ten million rows in the result list]\n");
    const ListFigures list = BenchTenMillionRows(workspace);

    Print("\n[F5 after a scan that left a million entries]\n");
    const double rescan = BenchRescanAfterMillion(workspace);

    // Whole MiB, rounded up, so the summary never looks better than the figure above it.
    const long long peakMiB = static_cast<long long>(std::ceil(peak));
    Print("\nbench: crc_ratio=%.2f tree_ratio=%.2f pairs_1m_s=%.2f crc_peak_mib=%lld list_10m_rows_s=%.3f "
          "remove_10m_rows_s=%.4f list_10m_rows_mib=%lld archiver_scan_ms_per_file=%.2f archiver_on_off_ratio=%.1f "
          "archiver_floor_ratio=%.2f archiver_floor_ratio_5k=%.2f remove_archive_50k_s=%.3f group_1m_s=%.3f "
          "strong_hash_cost=%.2f confirm_read_share=%.3f/%.3f verify_1gib_s=%.2f verify_1gib_ratio=%.2f "
          "verify_member_64mib_s=%.2f verify_member_ratio=%.2f f5_after_1m_entries_ms=%.1f\n",
          crc.ratio, tree, pairs, peakMiB, list.listSeconds, list.removeSeconds,
          static_cast<long long>(std::ceil(list.peakMiB)), archiver.msPerFile, archiver.onOffRatio, memberRich,
          archiver.floorRatio, removeArchive, grouping, proof.strongHashCost, proof.confirmShareTree,
          proof.confirmShareDuplicates, proof.verify1GiB, proof.verify1GiBRatio, proof.verifyMember, proof.verifyMemberRatio,
          rescan);
    return 0;
}

}  // namespace

int main() {
    const std::vector<std::wstring> arguments = CommandLineArguments();
    if (arguments.size() == 2 && arguments[0] == L"--hash") return HashOneFile(arguments[1]);
    const bool listChild = arguments.size() == 1 && arguments[0] == L"--list-10m";
    if (listChild) return ShowTenMillionRows();
    const std::wstring mode = arguments.size() == 3 ? arguments[2] : L"";
    if ((arguments.size() != 2 && mode != L"--archiver-scan" && mode != L"--tree" && mode != L"--pairs" && mode != L"--proof") || arguments[0] != L"--7zip") return Usage();
    try {
        return RunBench(arguments[1], mode);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "bench: error: %s\n", e.what());
        return 1;
    }
}
