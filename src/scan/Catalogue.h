// The catalogue: one record per file found by the last scan, loose files and archive members alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct FileEntry {
    std::wstring displayName;    // shown in the result list; the key a command finds the entry by
    std::wstring innerPath;      // archive member: its path inside the archive; loose file: empty
    std::wstring containerPath;  // loose file: its own full path; member: the archive's full path
    std::wstring crcText;        // only ever compared as text
    int32_t inArchive = 0;       // 0 loose file, 1 archive member
    // Loose file: its size and last-write time when it was read, so that a command can tell,
    // without reading it again, that it is still the file that was paired.
    uint64_t size = 0;
    uint64_t writeTime = 0;
};

// Ordered by the scan; nothing makes entries unique. A whole copy is the vector's copy.
using EntryList = std::vector<FileEntry>;

void AppendEntry(EntryList& entries, const FileEntry& entry);
void AppendEntry(EntryList& entries, FileEntry&& entry);
void ClearEntries(EntryList& entries);

// Position of the first entry whose displayName equals `name` exactly; entries.size() when none does.
[[nodiscard]] size_t FindEntryByName(const EntryList& entries, std::wstring_view name);

// Removes the entries at `positions` (any order; those not below the count are passed over),
// keeping the others' order, in one pass however many go.
void EraseEntries(EntryList& entries, const std::vector<size_t>& positions);

// 1 when exactly one archive member lies in `containerPath`, otherwise 0.
[[nodiscard]] int CountArchiveMembers(const EntryList& entries, std::wstring_view containerPath);
