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

void EraseEntries(EntryList& entries, const std::vector<size_t>& positions) {
    std::vector<char> erase(entries.size(), 0);
    for (size_t position : positions) {
        if (position < entries.size()) erase[position] = 1;
    }
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (erase[i]) continue;
        if (kept != i) entries[kept] = std::move(entries[i]);  // a string moved onto itself may empty
        ++kept;
    }
    entries.resize(kept);
}

int CountArchiveMembers(const EntryList& entries, std::wstring_view containerPath) {
    size_t members = 0;
    for (const FileEntry& e : entries) {
        if (e.inArchive == 1 && e.containerPath == containerPath) ++members;
    }
    return members == 1 ? 1 : 0;
}
