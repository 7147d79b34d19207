#include "archive/ArchiveExpansion.h"

#include "archive/ArchiverInterface.h"
#include "common/PathText.h"
#include "common/ScopedWin.h"
#include "common/Workers.h"
#include "scan/Crc32.h"
#include "scan/FileChecksum.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <unordered_map>

namespace {

// Enough files per run that a run's start costs little against its work, few enough that a
// run that has to be redone file by file costs little too.
constexpr size_t kMaxRunFiles = 1000;
constexpr size_t kMaxRunListBytes = 4u << 20;
// A run's expected cost in bytes read: each file's size, and for opening it about what the
// archiver reads in the same time. Each worker gets a few runs, none below a start's worth.
constexpr uint64_t kFileCost = 64u << 10;
constexpr uint64_t kMinRunCost = 4u << 20;
constexpr uint64_t kRunsPerWorker = 4;

std::wstring ParentFolder(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) return L"";
    if (last == 2 && path[1] == L':') return path.substr(0, 3);  // a drive root keeps its separator
    return path.substr(0, last);
}

// False for a name that is not valid UTF-16 (a lone surrogate), which no list file can carry.
bool EncodeUtf8(const std::wstring& text, std::string& bytes) {
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    bytes.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, &bytes[0], size, nullptr, nullptr);
    return true;
}

// A list file of its own name in the temporary folder, removed when done with.
class ListFile {
public:
    explicit ListFile(const std::string& content) : path_(MakeTemporaryFile()) {
        if (path_.empty()) return;
        ScopedHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        DWORD written = 0;
        written_ = file.IsValid() && WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                                               nullptr) &&
                   written == content.size();
    }
    ListFile(const ListFile&) = delete;
    ListFile& operator=(const ListFile&) = delete;
    ~ListFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    [[nodiscard]] bool Ready() const { return written_; }
    [[nodiscard]] const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    bool written_ = false;
};

enum class FileState { Pending, Settled, Redo };

struct Batch {
    const ExpansionRequest& request;
    const WalkedFiles& files;
    std::vector<std::string> utf8;  // each file's path as a list file carries it; empty: none can
    std::vector<std::vector<ListedMember>> members;
    std::vector<FileState> states;
    std::vector<char> passed;  // the file passed the archiver's test
    std::atomic<size_t> batchRuns{0};  // runs over many files
    std::atomic<size_t> singleRuns{0};  // runs over one file
    std::atomic<size_t> done{0};        // files whose run has ended
};

// Test and list of one file alone.
void ExpandOne(Batch& batch, size_t file) {
    const std::wstring& archiver = batch.request.archiverPath;
    const std::wstring path = SystemPath(batch.files[file].path);
    bool passed = false;
    DWORD exitCode = 0;
    ++batch.singleRuns;
    batch.request.control.Testing(path);
    const auto gate = [&](const std::wstring& line) {
        passed = passed || IsTestPassedLine(line);
        return true;
    };
    // The archive's comment is printed too and may say "Everything is Ok": only an exit code
    // without errors (1: warnings) confirms it.
    if (!RunArchiver(TestCommandLine(archiver, path), gate, exitCode, batch.request.control) || !passed ||
        exitCode > 1) {
        return;
    }
    batch.passed[file] = 1;

    ListingParser parser;
    ListedMember member;
    std::vector<ListedMember>& found = batch.members[file];
    const auto list = [&](const std::wstring& line) {
        if (parser.Take(line, member)) found.push_back(std::move(member));
        return true;
    };
    ++batch.singleRuns;
    // A file that changed since its test may list only part of its members: an error there
    // catalogues none of them.
    if (!RunArchiver(ListCommandLine(archiver, path), list, exitCode, batch.request.control) || exitCode > 1) found.clear();
}

// One run over the files of `run`, named in a list file. True when it ended as the archiver ends
// by itself: success, warnings, or errors in some of the files. Anything else (a stop, a refused
// command line, no memory) may have cut the last section short.
bool RunOverList(Batch& batch, std::wstring (*commandLine)(const std::wstring&, const std::wstring&),
                 const std::vector<size_t>& run, const OutputLineSink& sink) {
    if (batch.request.control.Cancelled()) return false;  // no list file, no run after a stop
    std::string names;
    for (size_t file : run) names += batch.utf8[file] + "\r\n";
    const ListFile list(names);
    if (!list.Ready()) return false;
    ++batch.batchRuns;
    DWORD exitCode = 0;
    return RunArchiver(commandLine(batch.request.archiverPath, list.Path()), sink, exitCode, batch.request.control) &&
           exitCode <= 2;
}

std::vector<std::wstring> PathsOf(const Batch& batch, const std::vector<size_t>& run) {
    std::vector<std::wstring> paths;
    for (size_t file : run) paths.push_back(SystemPath(batch.files[file].path));
    return paths;
}

// One run of the test command over `run`; files that pass go to `passed`. False when the
// archiver printed nothing of any file.
bool TestRun(Batch& batch, const std::vector<size_t>& run, std::vector<size_t>& passed) {
    const std::vector<std::wstring> paths = PathsOf(batch, run);
    SectionSplitter sections(kTestHeader, paths);
    std::vector<char> ok(run.size(), 0);
    size_t shown = SectionSplitter::kNone;
    const auto sink = [&](const std::wstring& line) {
        const size_t at = sections.Take(line);
        if (at != shown && at != SectionSplitter::kNone) batch.request.control.Testing(paths[shown = at]);
        if (at != SectionSplitter::kNone && IsTestPassedLine(line)) ok[at] = 1;
        return true;
    };
    const bool finished = RunOverList(batch, BatchTestCommandLine, run, sink);
    for (size_t i = 0; i < run.size(); ++i) {
        if (!sections.Complete(i, finished)) {
            batch.states[run[i]] = FileState::Redo;
        } else if (ok[i]) {
            passed.push_back(run[i]);
            batch.passed[run[i]] = 1;
        } else {
            batch.states[run[i]] = FileState::Settled;
        }
    }
    return shown != SectionSplitter::kNone;
}

// One run of the list command over files that passed their test. False when the archiver
// printed nothing of any file.
bool ListRun(Batch& batch, const std::vector<size_t>& run) {
    SectionSplitter sections(kListHeader, PathsOf(batch, run));
    std::vector<ListingParser> parsers(run.size());
    std::vector<char> inMembers(run.size(), 0);
    ListedMember member;
    bool reached = false;
    const auto sink = [&](const std::wstring& line) {
        const size_t at = sections.Take(line);
        if (at == SectionSplitter::kNone) return true;
        reached = true;
        if (!inMembers[at]) {
            inMembers[at] = line == kMembersBegin;
        } else if (parsers[at].Take(line, member)) {
            batch.members[run[at]].push_back(std::move(member));
        }
        return true;
    };
    const bool finished = RunOverList(batch, BatchListCommandLine, run, sink);
    for (size_t i = 0; i < run.size(); ++i) {
        const bool whole = sections.Complete(i, finished);
        if (!whole) batch.members[run[i]].clear();
        batch.states[run[i]] = whole ? FileState::Settled : FileState::Redo;
    }
    return reached;
}

// A name that no longer exists makes the archiver refuse a whole run ("file not found") before
// it looks at any file. Such files are settled as they are (nothing in them can be listed now)
// and false is returned when none was gone or none is left; the rest are to run again.
bool DropVanished(Batch& batch, std::vector<size_t>& run) {
    const auto there = [&](size_t file) {
        return GetFileAttributesW(SystemPath(batch.files[file].path).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    const auto gone = std::stable_partition(run.begin(), run.end(), there);
    if (gone == run.end()) return false;
    for (auto file = gone; file != run.end(); ++file) batch.states[*file] = FileState::Settled;
    run.erase(gone, run.end());
    for (size_t file : run) batch.states[file] = FileState::Pending;
    return !run.empty();
}

// Test, then list what passed, of the files of one run.
void ExpandRun(Batch& batch, std::vector<size_t> run) {
    const size_t count = run.size();
    std::vector<size_t> passed;
    while (!TestRun(batch, run, passed) && DropVanished(batch, run)) passed.clear();
    while (!passed.empty() && !ListRun(batch, passed) && DropVanished(batch, passed)) {
    }
    batch.request.control.Report(batch.done += count, batch.files.size());
}

void ExpandInRuns(Batch& batch) {
    // Only names a list file can carry go into runs; the rest are done one by one.
    std::vector<size_t> listable;
    std::vector<std::wstring> paths;
    std::vector<uint64_t> costs;
    uint64_t total = 0;
    for (size_t file = 0; file < batch.files.size(); ++file) {
        if (!EncodeUtf8(SystemPath(batch.files[file].path), batch.utf8[file])) {
            batch.states[file] = FileState::Redo;
            continue;
        }
        listable.push_back(file);
        paths.push_back(batch.files[file].path);
        const std::optional<FileEntry>& entry = batch.files[file].entry;
        costs.push_back(kFileCost + (entry ? entry->size : 0));
        total += costs.back();
    }
    // A test reads every archive whole, so a run costs about the bytes it holds. Runs of a share
    // of the whole, the costliest first, keep every worker busy until the end.
    const size_t workers = batch.request.workers ? batch.request.workers : WorkerCount();
    const uint64_t runCost = std::max<uint64_t>(kMinRunCost, total / (workers * kRunsPerWorker));
    std::vector<std::vector<size_t>> runs = PlanRuns(paths, kMaxRunFiles, kMaxRunListBytes, costs, runCost);
    std::vector<uint64_t> runCosts;
    for (std::vector<size_t>& run : runs) {
        runCosts.push_back(0);
        for (size_t& at : run) {
            runCosts.back() += costs[at];
            at = listable[at];
        }
    }
    std::vector<size_t> order(runs.size());
    for (size_t r = 0; r < order.size(); ++r) order[r] = r;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return runCosts[a] > runCosts[b]; });
    RunOnWorkers(workers, order.size(), [&](size_t r) {
        if (!batch.request.control.Cancelled()) ExpandRun(batch, std::move(runs[order[r]]));
    });
    std::vector<size_t> redo;
    for (size_t file = 0; file < batch.files.size(); ++file) {
        if (batch.states[file] == FileState::Redo) redo.push_back(file);
    }
    RunOnWorkers(workers, redo.size(), [&](size_t at) {
        if (!batch.request.control.Cancelled()) ExpandOne(batch, redo[at]);
    });
}

// A block-compressed gzip (BGZF, as genomics tools write) names its first member's size in its
// header: when that is not the whole file, there are more members.
bool IsSeveralBlocks(const std::wstring& path) {
    const ScopedHandle file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    unsigned char h[18] = {};
    DWORD got = 0;
    LARGE_INTEGER size{};
    if (!file.IsValid() || !ReadFile(file.Get(), h, sizeof(h), &got, nullptr) || got != sizeof(h) ||
        !GetFileSizeEx(file.Get(), &size)) {
        return false;
    }
    const bool blocked = (h[3] & 4) && h[12] == 'B' && h[13] == 'C' && h[14] == 2 && h[15] == 0;
    return blocked && (h[16] | h[17] << 8) + 1 != size.QuadPart;
}

// A gzip lists the CRC and size (modulo 2^32) of its last member, while its content is all its
// members: its listed CRC is the content's only when extracting it whole gives that CRC and size.
// Then `member` gets the whole size, which the listing gave only modulo 2^32.
bool ProveGzipWhole(const ExpansionRequest& request, const std::wstring& path, ListedMember& member) {
    if (IsSeveralBlocks(path) || request.control.Cancelled()) return false;
    ArchiverStream stream;
    if (!stream.Start(ExtractCommandLine(request.archiverPath, SystemPath(path), L""))) return false;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1u << 20]);
    uint32_t crc = 0;
    uint64_t size = 0;
    for (DWORD got = 0;; size += got, crc = Crc32Update(crc, buffer.get(), got)) {
        if (request.control.Cancelled() || !stream.Read(buffer.get(), 1u << 20, got)) return false;
        if (got == 0) break;
    }
    DWORD exitCode = 1;
    if (!stream.Finish(exitCode) || exitCode != 0 || FormatCrcText(crc) != member.crcText ||
        static_cast<uint32_t>(size) != static_cast<uint32_t>(member.size)) {
        return false;
    }
    member.size = size;
    return true;
}

// Keeps only the members whose listed CRC is the CRC-32 of their content: none of an LZH (a
// 16-bit CRC) or a zstd file (part of another hash), and a gzip's one only where it is proven,
// which is done only where the CRC meets another entry's (extracting costs a test's time).
void KeepHonestCrcs(const ExpansionRequest& request, const WalkedFiles& files,
                    std::vector<std::vector<ListedMember>>& members) {
    std::unordered_map<std::wstring, size_t> crcs;
    std::vector<size_t> gzips;
    for (size_t file = 0; file < files.size(); ++file) {
        const LeadingFormat format = files[file].entry ? files[file].entry->format : LeadingFormat::kOther;
        if (files[file].entry) ++crcs[files[file].entry->crcText];
        if (format == LeadingFormat::kLzh || format == LeadingFormat::kZstd ||
            (format == LeadingFormat::kGzip && members[file].size() != 1)) {
            std::vector<ListedMember>().swap(members[file]);
        }
        for (const ListedMember& member : members[file]) ++crcs[member.crcText];
        if (format == LeadingFormat::kGzip && !members[file].empty()) gzips.push_back(file);
    }
    RunOnWorkers(request.workers ? request.workers : WorkerCount(), gzips.size(), [&](size_t at) {
        const size_t file = gzips[at];
        ListedMember& member = members[file][0];
        request.control.Testing(files[file].path);
        if (crcs.find(member.crcText)->second < 2 || !ProveGzipWhole(request, files[file].path, member)) {
            std::vector<ListedMember>().swap(members[file]);
        }
    });
}

}  // namespace

std::wstring MemberDisplayName(const std::wstring& rootFolder, const std::wstring& archivePath,
                               const std::wstring& innerPath) {
    const std::wstring folder = ParentFolder(archivePath);
    const std::wstring member = FileNameOf(archivePath) + L"【" + innerPath + L"】";
    if (_wcsicmp(folder.c_str(), rootFolder.c_str()) == 0) return member;
    return RelativeDisplayName(rootFolder, folder) + L"\\" + member;
}

Expansion ExpandArchives(const ExpansionRequest& request, const WalkedFiles& files) {
    Expansion result;
    std::vector<std::vector<ListedMember>> members(files.size());
    if (!request.archiverPath.empty()) {
        Batch batch{request, files, std::vector<std::string>(files.size()), {}, {}, {}};
        batch.members.resize(files.size());
        batch.states.assign(files.size(), FileState::Pending);
        batch.passed.assign(files.size(), 0);
        ExpandInRuns(batch);
        members = std::move(batch.members);
        result.batchRuns = batch.batchRuns;
        result.singleRuns = batch.singleRuns;
        for (size_t file = 0; file < files.size(); ++file) {
            result.unexamined += files[file].entry && files[file].entry->heldOpen && !batch.passed[file] ? 1 : 0;
        }
        if (!request.control.Cancelled()) KeepHonestCrcs(request, files, members);
        request.control.Testing(L"");
    }
    if (request.control.Cancelled()) return result;  // unfinished: no catalogue to assemble
    for (size_t file = 0; file < files.size(); ++file) {
        if (file % 4096 == 0 && request.control.Cancelled()) return result;  // unfinished: dropped by the caller
        const std::optional<FileEntry>& own = files[file].entry;
        if (own) AppendEntry(result.entries, *own);
        for (ListedMember& member : members[file]) {
            FileEntry entry;
            entry.displayName = MemberDisplayName(request.rootFolder, files[file].path, member.innerPath);
            entry.innerPath = std::move(member.innerPath);
            entry.containerPath = files[file].path;
            entry.crcText = std::move(member.crcText);
            entry.inArchive = 1;
            entry.size = member.size;
            entry.sizeKind = member.sizeListed ? SizeKind::kExact : SizeKind::kUnknown;
            AppendEntry(result.entries, std::move(entry));
        }
        std::vector<ListedMember>().swap(members[file]);
    }
    return result;
}
