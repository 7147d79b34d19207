// What proving a row costs: the strong hash in the scan's read, what a second read of the files
// that meet another by size and CRC would cost instead, and the byte comparison before a delete.
#include "Benches.h"

#include "BenchSupport.h"
#include "actions/ContentProof.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"
#include "scan/FolderScan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace {

constexpr int kRuns = 3;
constexpr uint64_t kMemberBytes = 64ull << 20;

// Reads a file whole and does nothing with its bytes: the floor of any comparison of it.
void ReadOnce(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open " + Utf8(path));
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1u << 20]);
    for (DWORD got = 1; got > 0;) {
        if (!ReadFile(file, buffer.get(), 1u << 20, &got, nullptr)) Fail("cannot read " + Utf8(path));
    }
    CloseHandle(file);
}

FileEntry Loose(const std::wstring& path) { return FileEntry{L"", L"", path, L"", 0}; }

// The share of bytes a second read would take again: those of the files whose size and CRC meet
// another file's.
double ConfirmReadShare(const std::wstring& root) {
    const EntryList entries = LooseEntries(ScanFolder(ScanContext{root, L""}, root));
    std::map<std::pair<uint64_t, std::wstring>, size_t> met;
    for (const FileEntry& e : entries) ++met[{e.size, e.crcText}];
    double all = 0, twice = 0;
    for (const FileEntry& e : entries) {
        all += static_cast<double>(e.size);
        if (met[{e.size, e.crcText}] > 1) twice += static_cast<double>(e.size);
    }
    Print("  %-40s: %zu files, %.1f MB, %.1f MB of them in a size and CRC another file has\n", Utf8(root).c_str(),
          entries.size(), all / 1e6, twice / 1e6);
    return all > 0 ? twice / all : 0;
}

}  // namespace

ProofFigures BenchProof(const Workspace& workspace, const CrcFiles& files) {
    ProofFigures figures;
    // The strong hash in the same pass: the cost of both hashes over the CRC alone, from memory.
    {
        std::vector<unsigned char> data(kMemberBytes);
        Random random(0x5EED0007);
        random.Fill(data.data(), data.size());
        std::vector<double> crcOnly, both;
        for (int run = 0; run < kRuns; ++run) {
            const Stopwatch crcClock;
            volatile uint32_t crc = Crc32Update(0, data.data(), data.size());
            crcOnly.push_back(crcClock.Seconds());
            size_t at = 0;
            const PieceReader read = [&](unsigned char* buffer, DWORD size, DWORD& got) {
                got = static_cast<DWORD>(std::min<size_t>(size, data.size() - at));
                std::memcpy(buffer, data.data() + at, got);
                at += got;
                return true;
            };
            ContentHashes hashes;
            const Stopwatch bothClock;
            if (!HashPieces(read, 1u << 20, hashes, StepControl{}) || hashes.crc != crc) Fail("HashPieces gave another CRC");
            both.push_back(bothClock.Seconds());
        }
        figures.strongHashCost = Median(both) / Median(crcOnly);
        Print("  CRC-32 alone over 64 MiB in memory        : %.4f s  (%s)\n", Median(crcOnly), RunsText(crcOnly).c_str());
        Print("  CRC-32 and XXH3-128 in one pass (copied)  : %.4f s  (%s)\n", Median(both), RunsText(both).c_str());
        Print("  strong_hash_cost, both over the CRC alone : %.2f\n", figures.strongHashCost);
    }
    // A second read instead would take again the bytes of the files that meet another.
    {
        Random random(0x5EED0008);
        const std::wstring tree = Join(workspace.folder, L"confirm-tree");
        const std::vector<std::wstring> folders = MakeTreeFolders(tree, 10, 9);
        size_t n = 0;
        for (const std::wstring& folder : folders) {
            for (int f = 0; f < 20; ++f) WriteRandomFile(Join(folder, L"f" + std::to_wstring(n++)), 200 + random.Below(3900), random);
        }
        figures.confirmShareTree = ConfirmReadShare(tree);
        RemoveTree(tree);
        const std::wstring python = WindowsPathOfUnixPath(L"/root/.pyenv/versions/3.11.7/lib/python3.11");
        figures.confirmShareDuplicates = GetFileAttributesW(python.c_str()) != INVALID_FILE_ATTRIBUTES ? ConfirmReadShare(python) : -1;
        Print("  confirm_read_share, this tree / a tree of many duplicates: %.3f / %.3f%s\n", figures.confirmShareTree,
              figures.confirmShareDuplicates, figures.confirmShareDuplicates < 0 ? " (no Python library folder here)" : "");
    }
    // The comparison before a delete: a 1 GiB loose pair against reading both once.
    {
        const std::wstring copy = Join(workspace.folder, L"random-1GiB-copy.bin");
        if (!CopyFileW(files.big.c_str(), copy.c_str(), FALSE)) Fail("cannot copy the 1 GiB file");
        std::vector<double> compare, reads;
        for (int run = 0; run < kRuns; ++run) {
            const Stopwatch readClock;
            ReadOnce(files.big);
            ReadOnce(copy);
            reads.push_back(readClock.Seconds());
            const Stopwatch compareClock;
            if (!HaveSameBytes(L"", Loose(files.big), Loose(copy))) Fail("the 1 GiB copies compare unequal");
            compare.push_back(compareClock.Seconds());
        }
        DeleteFileW(copy.c_str());
        figures.verify1GiB = Median(compare);
        figures.verify1GiBRatio = Median(compare) / Median(reads);
        Print("  reading both 1 GiB files once           : %.3f s  (%s)\n", Median(reads), RunsText(reads).c_str());
        Print("  verify_1gib_s, comparing them           : %.3f s  (%s; %.2f x the reads, hoped for <= 1.5)\n",
              figures.verify1GiB, RunsText(compare).c_str(), figures.verify1GiBRatio);
    }
    // A 64 MiB member against its loose copy, against 7-Zip's test of the archive and one read.
    {
        const std::wstring folder = Join(workspace.folder, L"member");
        MakeFolders(folder);
        const std::wstring loose = Join(folder, L"m.bin"), archive = Join(folder, L"m.zip");
        Random random(0x5EED0009);
        WriteRandomFile(loose, kMemberBytes, random);
        if (RunChild(workspace.sevenZip, {L"a", L"-tzip", L"-mx1", archive, loose}, Join(folder, L"out.txt")).exitCode != 0) {
            Fail("7-Zip could not make the member's archive");
        }
        const std::wstring sevenZip = workspace.sevenZip;
        const FileEntry member{L"", L"m.bin", archive, L"", 1};
        std::vector<double> compare, floor;
        for (int run = 0; run < kRuns; ++run) {
            const Stopwatch floorClock;
            if (RunChild(sevenZip, {L"t", archive}, Join(folder, L"out.txt")).exitCode != 0) Fail("7-Zip's test failed");
            ReadOnce(loose);
            floor.push_back(floorClock.Seconds());
            const Stopwatch compareClock;
            if (!HaveSameBytes(sevenZip, member, Loose(loose))) Fail("the member and its copy compare unequal");
            compare.push_back(compareClock.Seconds());
        }
        RemoveTree(folder);
        figures.verifyMember = Median(compare);
        figures.verifyMemberRatio = Median(compare) / Median(floor);
        Print("  7-Zip's test of the archive + one read  : %.3f s  (%s)\n", Median(floor), RunsText(floor).c_str());
        Print("  verify_member_64mib_s                   : %.3f s  (%s; %.2f x that, hoped for <= 1.5)\n",
              figures.verifyMember, RunsText(compare).c_str(), figures.verifyMemberRatio);
    }
    return figures;
}
