// What the measurements share: a clock, a fast random source, work files and folders, and
// child processes timed from the outside.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Wall-clock time since construction.
class Stopwatch {
public:
    Stopwatch();
    [[nodiscard]] double Seconds() const;

private:
    LARGE_INTEGER start_{};
};

[[nodiscard]] double Median(std::vector<double> values);
// Every run's seconds, e.g. "runs 0.151 0.146 0.160", so the spread behind a median shows.
[[nodiscard]] std::string RunsText(const std::vector<double>& seconds);

// xoshiro256**, seeded through splitmix64: cheap next to the disk writes it feeds, and the
// same seed gives the same data on every run.
class Random {
public:
    explicit Random(uint64_t seed);
    uint64_t Next();
    // In [0, bound); the modulo bias is irrelevant at the bounds used here.
    uint64_t Below(uint64_t bound) { return Next() % bound; }
    void Fill(unsigned char* data, size_t size);

private:
    uint64_t s_[4] = {};
};

// Aborts the run: main reports the reason, and the work folder is still removed.
[[noreturn]] void Fail(const std::string& what);

// printf to standard output, flushed at once so progress shows while a long step runs.
void Print(const char* format, ...);

[[nodiscard]] std::string Utf8(const std::wstring& text);
[[nodiscard]] std::wstring EnvironmentVariable(const wchar_t* name);  // empty when unset
// Wine shows the Unix root as drive Z:.
[[nodiscard]] std::wstring WindowsPathOfUnixPath(const std::wstring& unixPath);
[[nodiscard]] std::wstring Join(const std::wstring& folder, const std::wstring& name);
[[nodiscard]] std::wstring ModulePath();
[[nodiscard]] uint64_t FreeBytes(const std::wstring& folder);

// Creates the folder and any missing parents; fails the run when it cannot.
void MakeFolders(const std::wstring& path);
// Makes `top` folders dirN under `root`, each with `subEach` subfolders subN, and returns them
// all, each top folder before its subfolders.
[[nodiscard]] std::vector<std::wstring> MakeTreeFolders(const std::wstring& root, int top, int subEach);
// Removes a folder and everything below it, as far as it can.
void RemoveTree(const std::wstring& path);

// Writes `size` bytes from `random` in bounded chunks, so the file never has to fit in memory.
void WriteRandomFile(const std::wstring& path, uint64_t size, Random& random);
[[nodiscard]] std::string ReadTextFile(const std::wstring& path);
// The word after `label` in a listing or report, e.g. the sum after 7-Zip's "CRC32  for data:".
[[nodiscard]] std::string ListingValue(const std::string& listing, const std::string& label);

struct ChildRun {
    DWORD exitCode = 0;
    double seconds = 0;          // from just before creation to the end of the wait
    SIZE_T peakWorkingSet = 0;   // bytes, read after the process ended
};

// Quoted so that the child's command-line parser gives back exactly `argument`.
[[nodiscard]] std::wstring QuoteArgument(const std::wstring& argument);

// Runs `program` with `arguments` and waits for it; its standard output and error go to the
// file `outputPath`, its input is NUL. Output goes to a real file, not to NUL, because under
// Wine every write to NUL is a slow round trip that would be charged to the child.
// Fails the run when the child cannot start.
ChildRun RunChild(const std::wstring& program, const std::vector<std::wstring>& arguments,
                  const std::wstring& outputPath);
