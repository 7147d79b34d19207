// The measurements. Each prints its own details and returns its headline figure.
#pragma once

#include <string>

struct Workspace {
    std::wstring folder;    // every work file goes below it; removed at the end
    std::wstring sevenZip;  // 7z.exe
    std::wstring self;      // this program, run again as the hashing child
};

struct CrcFiles {
    std::wstring big;    // 1 GiB of random data
    std::wstring empty;  // 0 bytes: what a child costs before it hashes anything
};

[[nodiscard]] CrcFiles MakeCrcFiles(const Workspace& workspace);

struct CrcFigures {
    double ratio = 0;            // our MB/s over 7-Zip's
    double sevenZipStartup = 0;  // seconds, 7-Zip hashing the empty file
};

[[nodiscard]] CrcFigures BenchCrcThroughput(const Workspace& workspace, const CrcFiles& files);
// MiB our hashing child adds to its peak working set over the same child hashing nothing.
[[nodiscard]] double BenchCrcPeak(const Workspace& workspace, const CrcFiles& files);
// 7-Zip's time over ours on the same tree of small files.
[[nodiscard]] double BenchTree(const Workspace& workspace, double sevenZipStartup);
struct ArchiverScanFigures {
    double msPerFile = 0;   // a scan with the archiver on, per file of the tree
    double onOffRatio = 0;  // the same scan's time over its time with the archiver off
    double floorRatio = 0;  // the same scan's time over the archiver's own cost on the same files
};
// A tree of 5,000 small files in 1,000 folders, a third of them archives, scanned with the
// archiver on and off.
[[nodiscard]] ArchiverScanFigures BenchArchiverScan(const Workspace& workspace);
// 200 zips of 400 small members among 2,000 plain files: the scan with the archiver on over the
// archiver's own cost (one test run over all, one list run over those that passed).
[[nodiscard]] double BenchMemberRichScan(const Workspace& workspace);
// Seconds to pair 1,000,000 entries; `grouping1m` gets the grouping's share alone.
[[nodiscard]] double BenchPairing(double* grouping1m = nullptr);
// Seconds for a delete, through its loose row, of an archive with 50,000 catalogued members to
// take their rows and entries away.
[[nodiscard]] double BenchRemoveArchive();

// The longest the program's window thread is busy from F5 until the new scan runs, after a scan
// that left 1,000,000 entries (ms).
[[nodiscard]] double BenchRescanAfterMillion(const Workspace& workspace);

struct ListFigures {
    double listSeconds = 0;    // pairing and showing about 10,000,000 rows
    double removeSeconds = 0;  // a move's row removal on them
    double peakMiB = 0;        // the peak working set of the process showing them
};

// Medians over fresh child processes, each running ShowTenMillionRows.
[[nodiscard]] ListFigures BenchTenMillionRows(const Workspace& workspace);

struct ProofFigures {
    double strongHashCost = 0;          // CRC-32 and XXH3-128 in one pass over the CRC-32 alone
    double confirmShareTree = 0;        // bytes a second read of the files meeting another would take again
    double confirmShareDuplicates = 0;  // the same on a real tree of many duplicates; -1: none here
    double verify1GiB = 0, verify1GiBRatio = 0;      // comparing a 1 GiB loose pair; over reading both once
    double verifyMember = 0, verifyMemberRatio = 0;  // a 64 MiB member against its copy; over 7-Zip's test and a read
};
// Needs files.big.
[[nodiscard]] ProofFigures BenchProof(const Workspace& workspace, const CrcFiles& files);

// The child side of BenchCrcPeak: hashes one file as the scan does; 0 when it was read.
int HashOneFile(const std::wstring& path);
// The child side of BenchTenMillionRows: prints its figures; 0 when the rows were right.
int ShowTenMillionRows();
