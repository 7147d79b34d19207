// Hashing files from disk: our scan code against 7-Zip's own CRC-32 hashing of the same files.
#include "Benches.h"

#include "BenchSupport.h"
#include "archive/ArchiveExpansion.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include <psapi.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr uint64_t kBigFileBytes = 1ull << 30;
constexpr int kRuns = 3;
constexpr double kMB = 1e6;
constexpr double kMiB = 1024.0 * 1024.0;

constexpr int kTopFolders = 10;
constexpr int kSubfoldersEach = 19;  // 10 + 10 * 19 = 200 folders
constexpr int kFilesPerFolder = 100;  // 200 * 100 = 20,000 files
constexpr int kTreeFiles = (kTopFolders + kTopFolders * kSubfoldersEach) * kFilesPerFolder;

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::vector<std::wstring> SevenZipHashArguments(const std::wstring& target, bool recurse) {
    std::vector<std::wstring> arguments = {L"h", L"-scrcCRC32"};
    if (recurse) arguments.push_back(L"-r");
    arguments.push_back(target);
    return arguments;
}

std::wstring SevenZipOutput(const Workspace& workspace) { return Join(workspace.folder, L"7z-output.txt"); }

double RunSevenZip(const Workspace& workspace, const std::wstring& target, bool recurse) {
    const ChildRun run = RunChild(workspace.sevenZip, SevenZipHashArguments(target, recurse), SevenZipOutput(workspace));
    if (run.exitCode != 0) Fail("7-Zip failed on " + Utf8(target) + " (exit " + std::to_string(run.exitCode) + ")");
    return run.seconds;
}

// 7-Zip's own listing, for checking once that it hashed what we hashed.
std::string SevenZipListing(const Workspace& workspace, const std::wstring& target, bool recurse) {
    RunSevenZip(workspace, target, recurse);
    return ReadTextFile(SevenZipOutput(workspace));
}

std::string Narrow(const std::wstring& ascii) {
    std::string text;
    for (wchar_t c : ascii) text += static_cast<char>(c);
    return text;
}

// 7-Zip prints the sum of all CRCs: low 32 bits, then the carried-out part after a dash.
std::string CrcSumText(const EntryList& entries) {
    uint64_t sum = 0;
    for (const FileEntry& e : entries) sum += std::wcstoul(e.crcText.c_str(), nullptr, 16);
    return Narrow(FormatCrcText(static_cast<uint32_t>(sum))) + "-" +
           Narrow(FormatCrcText(static_cast<uint32_t>(sum >> 32)));
}

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / kMiB; }

}  // namespace

CrcFiles MakeCrcFiles(const Workspace& workspace) {
    CrcFiles files{Join(workspace.folder, L"random-1GiB.bin"), Join(workspace.folder, L"empty.bin")};
    Random random(0x5EED0001);
    const Stopwatch clock;
    WriteRandomFile(files.big, kBigFileBytes, random);
    WriteRandomFile(files.empty, 0, random);
    Print("  wrote %s (%llu bytes) in %.1f s\n", Utf8(files.big).c_str(),
          static_cast<unsigned long long>(kBigFileBytes), clock.Seconds());
    return files;
}

CrcFigures BenchCrcThroughput(const Workspace& workspace, const CrcFiles& files) {
    // An untimed pass first: it checks both sides agree, and both then read from the same warm cache.
    EntryList check;
    ComputeFileCrc(FolderOf(files.big), files.big, check);
    if (check.size() != 1) Fail("ComputeFileCrc could not read " + Utf8(files.big));
    const std::string ours = Narrow(check[0].crcText);
    const std::string theirs = ListingValue(SevenZipListing(workspace, files.big, false), "CRC32  for data:");
    if (theirs != ours && theirs != ours + "-00000000") Fail("CRC mismatch: ours " + ours + ", 7-Zip " + theirs);
    Print("  CRC-32 %s on both sides\n", ours.c_str());

    std::vector<double> oursSeconds, sevenZipSeconds, startupSeconds;
    const std::wstring root = FolderOf(files.big);
    for (int run = 0; run < kRuns; ++run) {
        EntryList entries;
        const Stopwatch clock;
        ComputeFileCrc(root, files.big, entries);
        oursSeconds.push_back(clock.Seconds());
        if (entries.size() != 1 || Narrow(entries[0].crcText) != ours) Fail("ComputeFileCrc gave another result");

        sevenZipSeconds.push_back(RunSevenZip(workspace, files.big, false));
        startupSeconds.push_back(RunSevenZip(workspace, files.empty, false));
    }

    CrcFigures figures;
    figures.sevenZipStartup = Median(startupSeconds);
    const double oursMedian = Median(oursSeconds);
    const double sevenZipWhole = Median(sevenZipSeconds);
    const double sevenZipHashing = sevenZipWhole - figures.sevenZipStartup;
    if (sevenZipHashing <= 0) Fail("7-Zip's hashing time is not above its start-up time");
    const double oursRate = static_cast<double>(kBigFileBytes) / oursMedian / kMB;
    const double sevenZipRate = static_cast<double>(kBigFileBytes) / sevenZipHashing / kMB;
    figures.ratio = oursRate / sevenZipRate;

    Print("  ComputeFileCrc, in process              : %.3f s  %.0f MB/s  (%s)\n", oursMedian, oursRate,
          RunsText(oursSeconds).c_str());
    Print("  7z h -scrcCRC32 FILE, whole process     : %.3f s  (%s)\n", sevenZipWhole, RunsText(sevenZipSeconds).c_str());
    Print("  7z h -scrcCRC32 EMPTY (start-up)        : %.3f s  (%s)\n", figures.sevenZipStartup,
          RunsText(startupSeconds).c_str());
    Print("  7-Zip hashing (whole minus start-up)    : %.3f s  %.0f MB/s\n", sevenZipHashing, sevenZipRate);
    Print("  crc_ratio, ours / 7-Zip                 : %.2f  (hoped for >= 1.5)\n", figures.ratio);
    return figures;
}

int HashOneFile(const std::wstring& path) {
    EntryList entries;
    ComputeFileCrc(FolderOf(path), path, entries);
    // Wine forgets a process's counters once it has ended, so the child also reports its own.
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
        Print("peak_working_set=%llu\n", static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    }
    return entries.size() == 1 ? 0 : 3;
}

namespace {

struct PeakReading {
    SIZE_T bytes = 0;
    bool fromOutside = false;  // read by the parent after the child ended, rather than reported by the child
};

PeakReading HashingChildPeak(const Workspace& workspace, const std::wstring& file) {
    const std::wstring report = Join(workspace.folder, L"hash-child.txt");
    const ChildRun child = RunChild(workspace.self, {L"--hash", file}, report);
    if (child.exitCode != 0) Fail("the hashing child failed on " + Utf8(file));
    if (child.peakWorkingSet != 0) return PeakReading{child.peakWorkingSet, true};
    const std::string reported = ListingValue(ReadTextFile(report), "peak_working_set=");
    const unsigned long long bytes = std::strtoull(reported.c_str(), nullptr, 10);
    if (bytes == 0) Fail("no peak working set for the hashing child");
    return PeakReading{static_cast<SIZE_T>(bytes), false};
}

}  // namespace

double BenchCrcPeak(const Workspace& workspace, const CrcFiles& files) {
    std::vector<double> bigPeaks, emptyPeaks;
    bool fromOutside = true;
    for (int run = 0; run < kRuns; ++run) {
        const PeakReading big = HashingChildPeak(workspace, files.big);
        const PeakReading empty = HashingChildPeak(workspace, files.empty);
        bigPeaks.push_back(MiB(big.bytes));
        emptyPeaks.push_back(MiB(empty.bytes));
        fromOutside = fromOutside && big.fromOutside && empty.fromOutside;
    }
    const double big = Median(bigPeaks);
    const double empty = Median(emptyPeaks);
    Print("  PeakWorkingSetSize as %s\n",
          fromOutside ? "read by this process after the child ended"
                      : "the child read it on itself just before exiting (Wine keeps none after the end)");
    Print("  child hashing the 1 GiB file            : %.2f MiB\n", big);
    Print("  child hashing the empty file (baseline) : %.2f MiB\n", empty);
    Print("  crc_peak_mib, difference                : %.2f MiB  (hoped for <= 16)\n", big - empty);
    return big - empty;
}

double BenchTree(const Workspace& workspace, double sevenZipStartup) {
    const std::wstring root = Join(workspace.folder, L"tree");
    Random random(0x5EED0002);
    const Stopwatch makeClock;
    uint64_t totalBytes = 0;
    for (const std::wstring& folder : MakeTreeFolders(root, kTopFolders, kSubfoldersEach)) {
        for (int f = 0; f < kFilesPerFolder; ++f) {
            const uint64_t size = 200 + random.Below(4096 - 200 + 1);
            WriteRandomFile(Join(folder, L"file" + std::to_wstring(f) + L".dat"), size, random);
            totalBytes += size;
        }
    }
    Print("  wrote %d files, %llu bytes, in %d folders in %.1f s\n", kTreeFiles,
          static_cast<unsigned long long>(totalBytes), kTopFolders + kTopFolders * kSubfoldersEach,
          makeClock.Seconds());

    const ScanContext context{root, std::wstring()};
    const std::wstring sevenZipTarget = Join(root, L"*");
    const EntryList check = LooseEntries(ScanFolder(context, root));
    const std::string listing = SevenZipListing(workspace, sevenZipTarget, true);
    const std::string listedFiles = ListingValue(listing, "Files:");
    const std::string listedSum = ListingValue(listing, "CRC32  for data:");
    if (check.size() != static_cast<size_t>(kTreeFiles) || listedFiles != std::to_string(kTreeFiles) ||
        listedSum != CrcSumText(check)) {
        Fail("the two sides disagree on the tree: ScanFolder " + std::to_string(check.size()) + " files, sum " +
             CrcSumText(check) + "; 7-Zip " + listedFiles + " files, sum " + listedSum);
    }
    Print("  both sides: %d files, CRC sum %s\n", kTreeFiles, listedSum.c_str());

    std::vector<double> oursSeconds, sevenZipSeconds;
    for (int run = 0; run < kRuns; ++run) {
        const Stopwatch clock;
        const WalkedFiles entries = ScanFolder(context, root);
        oursSeconds.push_back(clock.Seconds());
        if (entries.size() != static_cast<size_t>(kTreeFiles)) Fail("ScanFolder missed files");
        sevenZipSeconds.push_back(RunSevenZip(workspace, sevenZipTarget, true));
    }
    const double ours = Median(oursSeconds);
    const double sevenZipWhole = Median(sevenZipSeconds);
    const double sevenZipWalk = sevenZipWhole - sevenZipStartup;
    if (sevenZipWalk <= 0) Fail("7-Zip's tree time is not above its start-up time");
    const double ratio = sevenZipWalk / ours;
    Print("  ScanFolder, archives off, in process    : %.3f s  %.0f files/s  (%s)\n", ours, kTreeFiles / ours,
          RunsText(oursSeconds).c_str());
    Print("  7z h -scrcCRC32 -r TREE\\*, whole process: %.3f s  (%s)\n", sevenZipWhole, RunsText(sevenZipSeconds).c_str());
    Print("  7-Zip minus its start-up (%.3f s)       : %.3f s  %.0f files/s\n", sevenZipStartup, sevenZipWalk,
          kTreeFiles / sevenZipWalk);
    Print("  tree_ratio, 7-Zip minus start-up / ours : %.2f  (hoped for >= 1.0; %.2f with start-up kept)\n", ratio,
          sevenZipWhole / ours);
    return ratio;
}
