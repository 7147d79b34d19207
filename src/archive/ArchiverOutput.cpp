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

}  // namespace

bool ListingParser::Take(const std::wstring& line, ListedMember& member) {
    if (!pending_) {
        if (!StartsWithIgnoringCase(line, L"Path = ", 7)) return false;
        path_ = RestOfLine(line, 7);
        pending_ = true;
        return false;
    }
    // Everything up to the first CRC line belongs to the pending member, further paths included.
    if (!StartsWithIgnoringCase(line, L"CRC = ", 6)) return false;
    pending_ = false;
    std::wstring crc = RestOfLine(line, 6);
    if (crc.empty()) return false;
    member.innerPath = std::move(path_);
    member.crcText = std::move(crc);
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
