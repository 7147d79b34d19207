// Reading what the archiver prints: which file a line of a run over many belongs to, whether a
// test passed, the members a listing names, and the listing of one archive.
#pragma once

#include <cstddef>
#include <cstdint>
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
    uint64_t size = 0;
    bool sizeListed = false;  // a "Size = " line with a number came between the path and the CRC
};

// Reads a listing line by line: each "Path = " line with the first "CRC = " line after it
// (further "Path = " lines before it are skipped), and the last "Size = " line between them.
// Members with an empty CRC text (folders) are left out.
class ListingParser {
public:
    // True when the line completed a member, now in `member`.
    [[nodiscard]] bool Take(const std::wstring& line, ListedMember& member);

private:
    bool pending_ = false;
    ListedMember next_;
};

// The number of a "Size = N" line; false for any other line.
[[nodiscard]] bool ParseSizeLine(const std::wstring& line, uint64_t& size);

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

// An archive as a listing without -ba describes it: what decides whether the archive is its
// one member and nothing else, so that recycling it loses nothing.
struct ArchiveShape {
    std::vector<std::wstring> items;  // every item's path (folders included)
    uint64_t offset = 0;              // where the archive begins in the file
    bool physicalSizeListed = false;
    uint64_t physicalSize = 0;
    bool tail = false;      // data after its end
    bool warnings = false;  // warnings or errors of any kind
    bool freeText = false;  // a comment printed raw, which could imitate any of the above
};

// True when the archive is its file whole (nothing before or after it) and holds `item` alone,
// with no warning and no comment. `sizeProven`: the file's size is known to be the archive's
// although the listing names no physical size.
[[nodiscard]] bool IsWholeFileOfOneItem(const ArchiveShape& shape, const std::wstring& item, uint64_t fileSize, bool sizeProven);

// Reads the lines of one archive's listing without -ba: the archive's own properties (the first
// of each, as the archiver prints its own before a comment), then after "----------" its items.
class ShapeParser {
public:
    void Take(const std::wstring& line);
    [[nodiscard]] const ArchiveShape& Shape() const { return shape_; }

private:
    ArchiveShape shape_;
    bool inItems_ = false, offsetSeen_ = false;
};

// Lists `archive` without -ba; false when the archiver could not run it or failed.
[[nodiscard]] bool ListArchiveShape(const std::wstring& archiverPath, const std::wstring& archive, ArchiveShape& shape);

// The list command on one archive: every item it names, folders and members without a CRC
// included (their crcText empty). False when the archiver could not be started, was stopped
// or failed: nothing listed is then no proof that a member is gone.
[[nodiscard]] bool ListArchiveItems(const std::wstring& archiverPath, const std::wstring& archive,
                                    std::vector<ListedMember>& items);
