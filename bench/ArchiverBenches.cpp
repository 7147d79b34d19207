// Scans with the archiver on, against the archiver's own cost over the same files.
#include "Benches.h"

#include "BenchSupport.h"
#include "archive/ArchiveExpansion.h"
#include "archive/ArchiverInterface.h"
#include "scan/FolderScan.h"

#include <fstream>
#include <sstream>

namespace {

constexpr int kRuns = 3;
constexpr int kScanTopFolders = 10;
constexpr int kScanSubfoldersEach = 99;  // 10 + 10 * 99 = 1,000 folders
constexpr int kScanFilesPerFolder = 5;   // 5,000 files, every third an archive
constexpr int kScanFiles = (kScanTopFolders + kScanTopFolders * kScanSubfoldersEach) * kScanFilesPerFolder;
const wchar_t* const kArchiveTypes[] = {L"zip", L"7z", L"gz"};
constexpr int kTemplatesEach = 4;

void MakeArchive(const Workspace& workspace, const std::wstring& archive, const std::wstring& type,
                 const std::vector<std::wstring>& members) {
    std::vector<std::wstring> arguments = {L"a", L"-t" + type, archive};
    arguments.insert(arguments.end(), members.begin(), members.end());
    if (RunChild(workspace.sevenZip, arguments, Join(workspace.folder, L"7z-output.txt")).exitCode != 0) {
        Fail("7-Zip could not make " + Utf8(archive));
    }
}

// Small archives of each kind, made by 7-Zip once and copied into the tree.
std::vector<std::wstring> MakeArchiveTemplates(const Workspace& workspace, Random& random) {
    const std::wstring folder = Join(workspace.folder, L"archive-templates");
    MakeFolders(folder);
    std::vector<std::wstring> templates;
    for (int t = 0; t < kTemplatesEach; ++t) {
        std::vector<std::wstring> members;
        for (int m = 0; m < 3; ++m) {
            members.push_back(Join(folder, L"m" + std::to_wstring(t) + L"-" + std::to_wstring(m) + L".txt"));
            WriteRandomFile(members.back(), 200 + random.Below(3897), random);
        }
        for (const std::wstring type : kArchiveTypes) {
            const std::wstring archive = Join(folder, L"t" + std::to_wstring(t) + L"." + type);
            const bool gz = type == L"gz";
            MakeArchive(workspace, archive, gz ? L"gzip" : type, gz ? std::vector<std::wstring>{members[0]} : members);
            templates.push_back(archive);
        }
    }
    return templates;
}

void WriteText(const std::wstring& path, const std::string& text) {
    std::ofstream file(path.c_str(), std::ios::binary);
    if (!file.write(text.data(), static_cast<std::streamsize>(text.size())).flush()) Fail("cannot write " + Utf8(path));
}

std::string ListFileText(const std::vector<std::wstring>& paths) {
    std::string text;
    for (const std::wstring& path : paths) text += Utf8(path) + "\r\n";
    return text;
}

// The archiver's own cost over a walk's files: one test run over all of them, then one list run
// over those that passed, each with its output written straight to a file. Seconds.
double ArchiverFloor(const Workspace& workspace, const WalkedFiles& files, size_t& passedCount) {
    std::vector<std::wstring> paths;
    for (const WalkedFile& file : files) paths.push_back(file.path);
    const std::wstring list = Join(workspace.folder, L"floor-list.txt"), output = Join(workspace.folder, L"floor-out.txt");
    const auto run = [&](const wchar_t* command, const std::vector<std::wstring>& names) {
        WriteText(list, ListFileText(names));
        const ChildRun child = RunChild(workspace.sevenZip, {command, L"-ba", L"-an", L"-ai@" + list, L"-scsUTF-8",
                                                             L"-slt", L"-sccUTF-8", L"-p0"}, output);
        if (child.exitCode > 2) Fail("7-Zip could not run over the tree");
        return child.seconds;
    };
    double seconds = run(L"t", paths);
    SectionSplitter sections(L"Testing archive: ", paths);
    std::vector<char> ok(paths.size(), 0);
    std::istringstream lines(ReadTextFile(output));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::wstring text = DecodeUtf8(line) + L"\n";
        const size_t at = sections.Take(text);
        if (at != SectionSplitter::kNone && IsTestPassedLine(text)) ok[at] = 1;
    }
    std::vector<std::wstring> passed;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (ok[i]) passed.push_back(paths[i]);
    }
    passedCount = passed.size();
    return seconds + run(L"l", passed);
}

struct Timing {
    double off = 0, on = 0, floor = 0;  // medians, seconds
    Expansion last;                     // the last scan with the archiver on
};

// Scans `root` with the archiver off and on, and measures the archiver's own cost, each kRuns times.
Timing TimeScans(const Workspace& workspace, const std::wstring& root, size_t expectedFiles) {
    const ScanContext context{root, std::wstring()};
    std::vector<double> offSeconds, onSeconds, floorSeconds;
    Timing timing;
    size_t passed = 0;
    for (int run = 0; run < kRuns; ++run) {
        const Stopwatch offClock;
        const Expansion off = ExpandArchives(ExpansionRequest{std::wstring(), root}, ScanFolder(context, root));
        offSeconds.push_back(offClock.Seconds());
        if (off.entries.size() != expectedFiles) Fail("the scan without the archiver missed files");
        const Stopwatch onClock;
        timing.last = ExpandArchives(ExpansionRequest{workspace.sevenZip, root}, ScanFolder(context, root));
        onSeconds.push_back(onClock.Seconds());
        floorSeconds.push_back(ArchiverFloor(workspace, ScanFolder(context, root), passed));
    }
    timing.off = Median(offSeconds);
    timing.on = Median(onSeconds);
    timing.floor = Median(floorSeconds);
    Print("  archives off                            : %.2f s  (%s)\n", timing.off, RunsText(offSeconds).c_str());
    Print("  archives on                             : %.2f s  (%s)\n", timing.on, RunsText(onSeconds).c_str());
    Print("  the archiver alone: t over all, l over the %zu that passed: %.2f s  (%s)\n", passed, timing.floor,
          RunsText(floorSeconds).c_str());
    Print("  archiver runs of the last scan: %zu over many files, %zu over one\n", timing.last.batchRuns,
          timing.last.singleRuns);
    return timing;
}

}  // namespace

ArchiverScanFigures BenchArchiverScan(const Workspace& workspace) {
    const std::wstring root = Join(workspace.folder, L"archiver-scan");
    Random random(0x5EED0007);
    const std::vector<std::wstring> templates = MakeArchiveTemplates(workspace, random);
    int made = 0, archives = 0;
    for (const std::wstring& folder : MakeTreeFolders(root, kScanTopFolders, kScanSubfoldersEach)) {
        for (int f = 0; f < kScanFilesPerFolder; ++f, ++made) {
            if (made % 3 != 0) {
                WriteRandomFile(Join(folder, L"file" + std::to_wstring(f) + L".dat"), 200 + random.Below(3897), random);
                continue;
            }
            const std::wstring& from = templates[static_cast<size_t>(archives++) % templates.size()];
            const std::wstring to = Join(folder, L"file" + std::to_wstring(f) + from.substr(from.find_last_of(L'.')));
            if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("cannot copy to " + Utf8(to));
        }
    }
    Print("  wrote %d files (%d of them archives: zip, 7z, gz) in %d folders\n", kScanFiles, archives,
          kScanTopFolders + kScanTopFolders * kScanSubfoldersEach);
    const Timing timing = TimeScans(workspace, root, kScanFiles);
    // Templates alternate zip, 7z, gz: three members in a zip or 7z, one in a gz.
    const size_t members = timing.last.entries.size() - kScanFiles;
    const int gz = archives / 3;
    if (members != static_cast<size_t>((archives - gz) * 3 + gz)) Fail("the scan found " + std::to_string(members) + " members");
    ArchiverScanFigures figures;
    figures.msPerFile = timing.on * 1000 / kScanFiles;
    figures.onOffRatio = timing.on / timing.off;
    figures.floorRatio = timing.on / timing.floor;
    Print("  archiver_on_off_ratio                   : %.1f  (hoped for <= 15)\n", figures.onOffRatio);
    Print("  archiver_scan_ms_per_file               : %.2f  (hoped for <= 10)\n", figures.msPerFile);
    Print("  archiver_floor_ratio (on / the archiver alone): %.2f  (hoped for <= 0.6)\n", figures.floorRatio);
    return figures;
}

double BenchMemberRichScan(const Workspace& workspace) {
    constexpr int kFolders = 20, kPlainEach = 100, kZipsEach = 10, kMembers = 400;
    const std::wstring root = Join(workspace.folder, L"member-rich");
    Random random(0x5EED0008);
    std::vector<std::wstring> templates;
    for (int t = 0; t < kTemplatesEach; ++t) {
        const std::wstring folder = Join(workspace.folder, L"member-template" + std::to_wstring(t));
        MakeFolders(folder);
        for (int m = 0; m < kMembers; ++m) WriteRandomFile(Join(folder, L"m" + std::to_wstring(m) + L".txt"), 100 + random.Below(900), random);
        templates.push_back(Join(workspace.folder, L"members" + std::to_wstring(t) + L".zip"));
        MakeArchive(workspace, templates.back(), L"zip", {Join(folder, L"*")});
    }
    for (int f = 0; f < kFolders; ++f) {
        const std::wstring folder = Join(root, L"folder" + std::to_wstring(f));
        MakeFolders(folder);
        for (int p = 0; p < kPlainEach; ++p) WriteRandomFile(Join(folder, L"plain" + std::to_wstring(p) + L".dat"), 200 + random.Below(3897), random);
        for (int z = 0; z < kZipsEach; ++z) {
            const std::wstring to = Join(folder, L"archive" + std::to_wstring(z) + L".zip");
            if (!CopyFileW(templates[static_cast<size_t>(f * kZipsEach + z) % templates.size()].c_str(), to.c_str(), FALSE)) Fail("cannot copy to " + Utf8(to));
        }
    }
    const size_t files = kFolders * (kPlainEach + kZipsEach);
    Print("  wrote %zu files: %d zips of %d members among %d plain files\n", files, kFolders * kZipsEach, kMembers,
          kFolders * kPlainEach);
    const Timing timing = TimeScans(workspace, root, files);
    if (timing.last.entries.size() != files + kFolders * kZipsEach * kMembers) Fail("the scan missed members");
    const double ratio = timing.on / timing.floor;
    Print("  archiver_floor_ratio (on / the archiver alone): %.2f  (hoped for <= 0.6)\n", ratio);
    return ratio;
}
