// Reading what the archiver prints: which file a line of a run over many belongs to, whether a
// test passed, the members a listing names, and the listing of one archive.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// The header line that begins each file's section of a run over many files.
inline constexpr wchar_t kTestHeader[] = L"Testing archive: ";
inline constexpr wchar_t kListHeader[] = L"Listing archive: ";
// In a list run without -ba, this line ends an archive's own properties; its members follow.
inline constexpr wchar_t kMembersBegin[] = L"----------\n";

struct ListedMember {
    std::wstring innerPath;
    std::wstring crcText;
};

// Reads a listing line by line: each "Path = " line with the first "CRC = " line after it
// (further "Path = " lines before it are skipped). Members with an empty CRC text (folders)
// are left out.
class ListingParser {
public:
    // True when the line completed a member, now in `member`.
    [[nodiscard]] bool Take(const std::wstring& line, ListedMember& member);

private:
    bool pending_ = false;
    std::wstring path_;
};

// True for a line equal to "Everything is Ok\n", ignoring case: the test passed.
[[nodiscard]] bool IsTestPassedLine(const std::wstring& line);

// Tells which file each line of a run over many files belongs to, by the path in the header
// line that begins each file's section ("Testing archive: PATH"). The archiver sorts the
// names, so a section's position says nothing. An archive's comment (or an executable's
// version text) is printed raw inside its section, so it may imitate any line, a header
// included: such free text taints its file, and a header that names no file of the run, or
// one already seen, taints the whole run. A tainted file is done again alone.
class SectionSplitter {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    SectionSplitter(std::wstring header, const std::vector<std::wstring>& paths);
    // The file's position in `paths`; kNone for a header itself, before the first one, and
    // after a header that could not be the archiver's own.
    [[nodiscard]] size_t Take(const std::wstring& line);
    // A section is whole once another began, or once the run ended by itself; it is to be
    // believed when neither it nor the run is tainted.
    [[nodiscard]] bool Complete(size_t file, bool runFinished) const;

private:
    std::wstring header_;
    std::unordered_map<std::wstring, size_t> files_;  // by exact path: a folder may tell case apart
    std::vector<char> seen_;
    std::vector<char> freeText_;
    bool forged_ = false;
    size_t current_ = kNone;
};

// The list command on one archive: every item it names, folders and members without a CRC
// included (their crcText empty). False when the archiver could not be started, was stopped
// or failed: nothing listed is then no proof that a member is gone.
[[nodiscard]] bool ListArchiveItems(const std::wstring& archiverPath, const std::wstring& archive,
                                    std::vector<ListedMember>& items);
