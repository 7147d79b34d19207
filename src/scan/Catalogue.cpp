#include "scan/Catalogue.h"

void AppendEntry(EntryList& entries, const FileEntry& entry) { entries.push_back(entry); }

void AppendEntry(EntryList& entries, FileEntry&& entry) { entries.push_back(std::move(entry)); }

size_t FindEntryByName(const EntryList& entries, std::wstring_view name) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].displayName == name) return i;
    }
    return entries.size();
}

bool IsKnownFileId(uint64_t fileId) { return fileId != 0 && fileId != UINT64_MAX; }

bool IsSameFile(const FileEntry& a, const FileEntry& b) {
    const FileIdentity &x = a.identity, &y = b.identity;
    return a.inArchive == 0 && b.inArchive == 0 && IsKnownFileId(x.fileId) && x.fileId == y.fileId &&
           x.volumeSerial == y.volumeSerial;
}

namespace {

bool SizesAgree(const FileEntry& a, const FileEntry& b) {
    return a.sizeKind == SizeKind::kUnknown || b.sizeKind == SizeKind::kUnknown || a.size == b.size;
}

}  // namespace

bool IsSameContent(const FileEntry& a, const FileEntry& b) {
    if (a.crcText != b.crcText || IsSameFile(a, b) || !SizesAgree(a, b)) return false;
    if (a.inArchive != 0 || b.inArchive != 0) return true;
    return a.strongHash[0] == b.strongHash[0] && a.strongHash[1] == b.strongHash[1];
}
