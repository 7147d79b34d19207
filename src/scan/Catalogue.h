// The catalogue: one record per file found by the last scan, loose files and archive members alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How far a member's listed size can be trusted.
enum class SizeKind : uint8_t {
    kExact,    // the whole size (every loose file)
    kUnknown,  // not listed: the member's rows rest on its CRC alone
};

// A file on its volume. Two names of one file (hard links, a link the file system follows)
// share it. The walk reads the volume only where two files meet with one id (it costs a call
// to the system a file); elsewhere it stays 0, and so does a volume that could not be read.
struct FileIdentity {
    uint64_t fileId = 0;  // 0: unknown (so is all ones, which some file systems answer)
    uint32_t volumeSerial = 0;
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.fileId == b.fileId && a.volumeSerial == b.volumeSerial;
    }
};

[[nodiscard]] bool IsKnownFileId(uint64_t fileId);

// What a loose file's first bytes say it is, where that decides whether the CRCs the archiver
// lists for its members are the CRC-32 of their content: LZH lists a 16-bit CRC, zstd a part
// of another hash, and a gzip the CRC of its last member only.
enum class LeadingFormat : uint8_t { kOther, kGzip, kZstd, kLzh };

struct FileEntry {
    std::wstring displayName;    // shown in the result list: a label, never a key
    std::wstring innerPath;      // archive member: its path inside the archive; loose file: empty
    std::wstring containerPath;  // loose file: its own full path; member: the archive's full path
    std::wstring crcText;        // eight uppercase digits as the list shows it
    int32_t inArchive = 0;       // 0 loose file, 1 archive member
    // Loose file: its size and last-write time when it was read (a quick first check before a
    // command); member: its listed size.
    uint64_t size = 0;
    uint64_t writeTime = 0;
    SizeKind sizeKind = SizeKind::kExact;
    // Loose file: XXH3-128 of its bytes, read in the same pass as the CRC, and its identity.
    uint64_t strongHash[2] = {0, 0};
    FileIdentity identity;
    LeadingFormat format = LeadingFormat::kOther;
    // Another program held it open for writing: the archiver, which shares reading only,
    // cannot open it.
    bool heldOpen = false;
};

// Ordered by the scan; nothing makes entries unique.
using EntryList = std::vector<FileEntry>;

void AppendEntry(EntryList& entries, const FileEntry& entry);
void AppendEntry(EntryList& entries, FileEntry&& entry);

// Position of the first entry whose displayName equals `name` exactly; entries.size() when none
// does. A label may be shared, so no command goes by it.
[[nodiscard]] size_t FindEntryByName(const EntryList& entries, std::wstring_view name);

// True when both are loose entries known to be one file (the same id on the same volume).
[[nodiscard]] bool IsSameFile(const FileEntry& a, const FileEntry& b);

// Two entries that may hold the same bytes: equal CRCs, and for two loose files also equal
// sizes and strong hashes; a member's listed size agrees where it is known. Never one file
// under two names.
[[nodiscard]] bool IsSameContent(const FileEntry& a, const FileEntry& b);
