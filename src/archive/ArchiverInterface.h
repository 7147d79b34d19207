// Running the external console archiver (7z.exe, which needs 7z.dll beside it) as a hidden
// child process, its standard output read as it comes.
#pragma once

#include "common/ScopedWin.h"
#include "common/StepControl.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// "<dir>\7z.exe" when both 7z.exe and 7z.dll are in `dir`; empty otherwise (archives off).
[[nodiscard]] std::wstring LocateArchiver(const std::wstring& dir);

// The folders 7-Zip may be in, in the order they are tried: `dir` (the settings'), the values
// Path64 and Path of SOFTWARE\7-Zip in the registry (the machine's 64-bit view, its 32-bit
// view, then the user's), then %ProgramFiles%\7-Zip and %ProgramFiles(x86)%\7-Zip.
[[nodiscard]] std::vector<std::wstring> ArchiverFolders(const std::wstring& dir);

// The 7z.exe of the first of those folders that holds 7z.dll too and runs this program's own
// command lines (one too old for their switches does not); empty when none does.
[[nodiscard]] std::wstring FindArchiver(const std::wstring& dir);

// The temporary folder, ending in a separator; nullopt when there is none that fits MAX_PATH.
[[nodiscard]] std::optional<std::wstring> TempFolder();

// Makes a new empty file "vlx<pid>-<n>.tmp" of this process in the temporary folder and returns
// its path (empty when none can be made). The archiver opens its list files by name and shares
// no deletion, so they cannot delete themselves on close: a crash leaves them, and the names
// tell whose they were.
[[nodiscard]] std::wstring MakeTemporaryFile();

// Deletes the temporary files of processes that have ended ("vlx<pid>-<n>.tmp"), and those an
// earlier version named "vlxXXXX.tmp"; a running process's files stay. Returns how many went.
size_t SweepTemporaryFiles();

// Command lines. The archiver's path is always quoted: unquoted, a path with a blank such as
// C:\Program Files\7-Zip would make the platform try C:\Program.exe first. Output is asked
// for in UTF-8 so that every member name comes back exactly. A password is always given, so
// that an encrypted archive fails at once instead of asking for one.
[[nodiscard]] std::wstring TestCommandLine(const std::wstring& archiverPath, const std::wstring& archive);
[[nodiscard]] std::wstring ListCommandLine(const std::wstring& archiverPath, const std::wstring& archive);
// The list command without -ba: the archive's own properties come first.
[[nodiscard]] std::wstring ShapeCommandLine(const std::wstring& archiverPath, const std::wstring& archive);
// The same over every file named in `listFile` (UTF-8, one full path a line). The list run
// keeps its headers: "Listing archive: PATH" is what tells one archive's members from the next.
[[nodiscard]] std::wstring BatchTestCommandLine(const std::wstring& archiverPath, const std::wstring& listFile);
[[nodiscard]] std::wstring BatchListCommandLine(const std::wstring& archiverPath, const std::wstring& listFile);
// Names the member literally (-spd: no wildcards), with its exact letter case (-ssc), and after
// "--" so that a name beginning with "-" or "@" is never read as a switch or a list file. The
// archive is left as it is: the result goes to `newArchive`, which must not exist yet.
[[nodiscard]] std::wstring DeleteCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                                             const std::wstring& innerPath, const std::wstring& newArchive);
// Extracts `innerPath` (empty: every item, which for a gzip is its one) to standard output,
// named as the delete command names it.
[[nodiscard]] std::wstring ExtractCommandLine(const std::wstring& archiverPath, const std::wstring& archive,
                                              const std::wstring& innerPath);
// False for a member name that the delete command would not take as it stands: the archiver
// drops a leading separator or drive ("\b.txt", "c:\b.txt"), folds "." and ".." components
// ("x\..\docs" is "docs"; a last "." or ".." matches everything), and reads an empty component
// as a folder; a quote would end the name on the command line.
[[nodiscard]] bool IsLiteralMemberName(const std::wstring& innerPath);

// Gets each line of the output as it comes: decoded from UTF-8, ending in "\n" (a carriage
// return before it dropped) except perhaps the last. Returning false stops the archiver.
using OutputLineSink = std::function<bool(const std::wstring& line)>;

// Cuts a byte stream into lines for a sink, holding no more than the longest line.
class OutputLines {
public:
    // False once the sink has asked to stop.
    [[nodiscard]] bool Feed(const char* bytes, size_t count, const OutputLineSink& sink);
    // Hands over a last line that has no line feed.
    [[nodiscard]] bool Finish(const OutputLineSink& sink);

private:
    [[nodiscard]] bool Deliver(const OutputLineSink& sink);
    std::string pending_;
    std::wstring line_;
};

// UTF-8 to UTF-16 of any length (decoded in pieces, so no count overflows).
[[nodiscard]] std::wstring DecodeUtf8(const std::string& bytes);

// How much room the disk of a folder has left (a test answers for a full disk); returns the one
// used until now.
using FreeSpaceProbe = std::function<uint64_t(const std::wstring& folder)>;
FreeSpaceProbe UseFreeSpaceProbe(FreeSpaceProbe probe);

// Runs `commandLine` without a window or console, standard input and error at NUL, and hands
// its standard output line by line to `sink` as it comes (output to NUL when the sink is
// empty); waits without a time limit. True when it ran to its end, with `exitCode` set; false
// when it could not be started (a command line beyond the platform's limit included), was
// stopped, by the sink or by control.cancel (the child is then ended at once), or its output's
// disk ran out of room (the output may have been cut short).
[[nodiscard]] bool RunArchiver(const std::wstring& commandLine, const OutputLineSink& sink, DWORD& exitCode,
                               const StepControl& control = {});

// An archiver run whose standard output is read as a stream of bytes, as the caller asks for
// them; ending it early (destroyed before Finish) ends the child.
class ArchiverStream {
public:
    ArchiverStream() = default;
    ArchiverStream(const ArchiverStream&) = delete;
    ArchiverStream& operator=(const ArchiverStream&) = delete;
    ~ArchiverStream();
    [[nodiscard]] bool Start(const std::wstring& commandLine);
    // `got` 0 at the end of the output; false when the read failed.
    [[nodiscard]] bool Read(unsigned char* buffer, DWORD size, DWORD& got);
    // Waits for the child to end; true with its exit code.
    [[nodiscard]] bool Finish(DWORD& exitCode);

private:
    ScopedHandle reader_, process_;
};
