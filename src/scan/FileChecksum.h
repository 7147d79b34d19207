// Turns one loose file into its catalogue entry.
#pragma once

#include "common/PathText.h"
#include "common/StepControl.h"
#include "scan/Catalogue.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Reads the file in bounded chunks and appends its entry; a file that cannot be opened or read
// is passed over silently.
void ComputeFileCrc(const std::wstring& rootFolder, const std::wstring& path, EntryList& entries);
// The same entry, returned; nullopt when the file cannot be opened or read whole, when its size
// or last-write time (read through its handle) changed while it was read, or when `control`
// stops the scan (checked between pieces, so a stop never waits for a large file). Its file id
// is `fileId` (as the listing gave it; 0: unknown).
[[nodiscard]] std::optional<FileEntry> LooseFileEntry(const std::wstring& rootFolder, const std::wstring& path,
                                                      const StepControl& control = {}, uint64_t fileId = 0);

// What one pass over a file's bytes gives: its CRC-32 (what the list shows and an archive member
// can be matched by) and XXH3-128 (what tells two loose files of one CRC apart).
struct ContentHashes {
    uint32_t crc = 0;
    uint64_t strong[2] = {0, 0};
    unsigned char leading[8] = {};  // the first bytes, zeros past the end
    uint64_t bytes = 0;             // how many were read
};

[[nodiscard]] LeadingFormat FormatOfLeadingBytes(const unsigned char (&leading)[8]);
// The same of a file as it is now (kOther when it cannot be read).
[[nodiscard]] LeadingFormat ReadLeadingFormat(const std::wstring& path);

// Reads a piece at a time into a buffer of `bufferBytes` (`got` 0 only at the end) and hashes
// it all; false when a read fails or `control` stops it.
using PieceReader = std::function<bool(unsigned char* buffer, DWORD size, DWORD& got)>;
[[nodiscard]] bool HashPieces(const PieceReader& read, DWORD bufferBytes, ContentHashes& hashes,
                              const StepControl& control);

// True when `entry` (a loose file's) still names a file of the size and last-write time it
// had when it was read.
[[nodiscard]] bool IsUnchangedFile(const FileEntry& entry);

// Always eight uppercase digits, as the archiver prints a member's CRC, so that a loose file
// and an identical archive member carry the same text.
[[nodiscard]] std::wstring FormatCrcText(uint32_t crc);

// `path` relative to `rootFolder`: the root and the separator after it taken off. A root that
// already ends in a separator (a drive root) loses only itself.
[[nodiscard]] std::wstring RelativeDisplayName(const std::wstring& rootFolder, const std::wstring& path);
