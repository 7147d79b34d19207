#include "scan/Catalogue.h"


void AppendEntry(EntryList& entries, const FileEntry& entry) { entries.push_back(entry); }

void AppendEntry(EntryList& entries, FileEntry&& entry) { entries.push_back(std::move(entry)); }

void ClearEntries(EntryList& entries) { entries.clear(); }

size_t FindEntryByName(const EntryList& entries, std::wstring_view name) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].displayName == name) return i;
    }
    return entries.size();
}

void EraseEntry(EntryList& entries, size_t position) {
    if (position < entries.size()) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(position));
}

int CountArchiveMembers(const EntryList& entries, std::wstring_view containerPath) {
    size_t members = 0;
    for (const FileEntry& e : entries) {
        if (e.inArchive == 1 && e.containerPath == containerPath) ++members;
    }
    return members == 1 ? 1 : 0;
}
