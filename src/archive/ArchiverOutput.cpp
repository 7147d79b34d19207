#include "archive/ArchiverOutput.h"

#include "archive/ArchiverInterface.h"

#include <cwchar>

namespace {

// A property whose text holds a line break (a comment) is printed raw between "{" and "}"
// lines; every other property and member line is printed on one line, line breaks replaced.
const wchar_t kFreeTextBegins[] = L"{\n";

bool StartsWithIgnoringCase(const std::wstring& line, const wchar_t* prefix, size_t length) {
    return line.size() > length && _wcsnicmp(line.c_str(), prefix, length) == 0;
}

// Everything after the prefix, less the last code unit (the line feed).
std::wstring RestOfLine(const std::wstring& line, size_t prefixLength) {
    return line.substr(prefixLength, line.size() - prefixLength - 1);
}

// The decimal number after `prefix`, up to the line feed; false for anything else.
bool ParseNumberLine(const std::wstring& line, const wchar_t* prefix, size_t length, uint64_t& number) {
    if (!StartsWithIgnoringCase(line, prefix, length) || line.size() < length + 2 || line.back() != L'\n') return false;
    uint64_t value = 0;
    for (size_t i = length; i + 1 < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c < L'0' || c > L'9' || value > (UINT64_MAX - 9) / 10) return false;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    number = value;
    return true;
}

}  // namespace

bool ParseSizeLine(const std::wstring& line, uint64_t& size) { return ParseNumberLine(line, L"Size = ", 7, size); }

bool ListingParser::Take(const std::wstring& line, ListedMember& member) {
    if (!pending_) {
        if (!StartsWithIgnoringCase(line, L"Path = ", 7)) return false;
        next_ = ListedMember{RestOfLine(line, 7), L"", 0, false};
        pending_ = true;
        return false;
    }
    // Everything up to the first CRC line belongs to the pending member, further paths included.
    uint64_t size = 0;
    if (ParseSizeLine(line, size)) {
        next_.size = size;
        next_.sizeListed = true;
    }
    if (!StartsWithIgnoringCase(line, L"CRC = ", 6)) return false;
    pending_ = false;
    next_.crcText = RestOfLine(line, 6);
    if (next_.crcText.empty()) return false;
    member = std::move(next_);
    return true;
}

bool IsTestPassedLine(const std::wstring& line) { return _wcsicmp(line.c_str(), L"Everything is Ok\n") == 0; }

SectionSplitter::SectionSplitter(std::wstring header, const std::vector<std::wstring>& paths)
    : header_(std::move(header)), seen_(paths.size(), 0), freeText_(paths.size(), 0) {
    for (size_t i = 0; i < paths.size(); ++i) files_.emplace(paths[i], i);
}

size_t SectionSplitter::Take(const std::wstring& line) {
    const size_t length = header_.size();
    if (line.size() > length && line.compare(0, length, header_) == 0 && line.back() == L'\n') {
        // The archiver prints each file's header once, with the path as the list file gave it.
        const auto found = files_.find(RestOfLine(line, length));
        current_ = found != files_.end() && !seen_[found->second] ? found->second : kNone;
        if (current_ == kNone) {
            forged_ = true;
        } else {
            seen_[current_] = 1;
        }
        return kNone;
    }
    if (current_ != kNone && line == kFreeTextBegins) freeText_[current_] = 1;
    return current_;
}

bool SectionSplitter::Complete(size_t file, bool runFinished) const {
    return seen_[file] && !freeText_[file] && !forged_ && (file != current_ || runFinished);
}

bool ListArchiveItems(const std::wstring& archiverPath, const std::wstring& archive, std::vector<ListedMember>& items) {
    if (archiverPath.empty()) return false;
    // With -ba no archive property is printed: every line is an item's, one property a line.
    std::vector<ListedMember> found;
    const auto sink = [&](const std::wstring& line) {
        if (StartsWithIgnoringCase(line, L"Path = ", 7)) {
            found.push_back(ListedMember{RestOfLine(line, 7), L""});
        } else if (!found.empty() && found.back().crcText.empty() && StartsWithIgnoringCase(line, L"CRC = ", 6)) {
            found.back().crcText = RestOfLine(line, 6);
        }
        return true;
    };
    DWORD exitCode = 0;
    if (!RunArchiver(ListCommandLine(archiverPath, archive), sink, exitCode) || exitCode != 0) return false;
    items = std::move(found);
    return true;
}

bool IsWholeFileOfOneItem(const ArchiveShape& shape, const std::wstring& item, uint64_t fileSize, bool sizeProven) {
    const bool sized = shape.physicalSizeListed ? shape.physicalSize == fileSize : sizeProven;
    return shape.items.size() == 1 && shape.items[0] == item && shape.offset == 0 && !shape.tail && !shape.warnings &&
           !shape.freeText && sized;
}

void ShapeParser::Take(const std::wstring& line) {
    if (line == kFreeTextBegins) shape_.freeText = true;
    if (inItems_) {
        if (StartsWithIgnoringCase(line, L"Path = ", 7)) shape_.items.push_back(RestOfLine(line, 7));
        if (StartsWithIgnoringCase(line, L"Warnings: ", 10) || StartsWithIgnoringCase(line, L"Errors: ", 8)) {
            shape_.warnings = true;
        }
        return;
    }
    if (line == kMembersBegin) {
        inItems_ = true;
        return;
    }
    uint64_t value = 0;
    if (StartsWithIgnoringCase(line, L"WARNINGS:", 8) || StartsWithIgnoringCase(line, L"ERRORS:", 6) ||
        StartsWithIgnoringCase(line, L"WARNING = ", 10) || StartsWithIgnoringCase(line, L"ERROR = ", 8)) {
        shape_.warnings = true;
    } else if (StartsWithIgnoringCase(line, L"Tail Size = ", 12)) {
        shape_.tail = true;
    } else if (!offsetSeen_ && ParseNumberLine(line, L"Offset = ", 9, value)) {
        offsetSeen_ = true;
        shape_.offset = value;
    } else if (!shape_.physicalSizeListed && ParseNumberLine(line, L"Physical Size = ", 16, value)) {
        shape_.physicalSizeListed = true;
        shape_.physicalSize = value;
    }
}

bool ListArchiveShape(const std::wstring& archiverPath, const std::wstring& archive, ArchiveShape& shape) {
    if (archiverPath.empty()) return false;
    ShapeParser parser;
    const auto sink = [&](const std::wstring& line) {
        parser.Take(line);
        return true;
    };
    DWORD exitCode = 0;
    if (!RunArchiver(ShapeCommandLine(archiverPath, archive), sink, exitCode) || exitCode != 0) return false;
    shape = parser.Shape();
    return true;
}
