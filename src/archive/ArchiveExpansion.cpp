#include "archive/ArchiveExpansion.h"

void ExpandArchive(const ScanContext& context, const std::wstring& path, EntryList& entries) {
    // Archive support is not wired in yet: every file is catalogued as a loose file only.
    (void)context;
    (void)path;
    (void)entries;
}
