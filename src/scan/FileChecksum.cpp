#include "scan/FileChecksum.h"

#include "common/ScopedWin.h"
#include "scan/Crc32.h"

#include <windows.h>

#include <algorithm>
#include <memory>

namespace {

constexpr DWORD kChunkBytes = 1u << 20;  // memory per file stays bounded whatever its size

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// The CRC of an open file of about `size` bytes. A small one gets a buffer of its own size:
// one read takes it whole and the next finds the end (a larger buffer costs a read more under
// Wine, which looks for the end itself after a short read).
bool ReadOpenFileCrc(HANDLE file, uint64_t size, uint32_t& crc, const StepControl& control) {
    const DWORD bufferBytes = size < kChunkBytes ? std::max<DWORD>(static_cast<DWORD>(size), 1) : kChunkBytes;
    const auto read = [file](unsigned char* buffer, DWORD room, DWORD& got) {
        return ReadFile(file, buffer, room, &got, nullptr) != FALSE;
    };
    return CrcOfPieces(read, bufferBytes, crc, control);
}

ScopedHandle OpenToRead(const std::wstring& path) {
    return ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

bool CrcOfPieces(const PieceReader& read, DWORD bufferBytes, uint32_t& crc, const StepControl& control) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferBytes]);
    uint32_t value = 0;
    // Only a read of nothing is the end: a redirector or filter may give less than asked before it.
    for (DWORD got = 0;; value = Crc32Update(value, buffer.get(), got)) {
        if (control.Cancelled() || !read(buffer.get(), bufferBytes, got)) return false;
        if (got == 0) break;
    }
    crc = value;
    return true;
}

bool IsUnchangedFile(const FileEntry& entry) {
    WIN32_FILE_ATTRIBUTE_DATA now{};
    if (!GetFileAttributesExW(entry.containerPath.c_str(), GetFileExInfoStandard, &now)) return false;
    return !(now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Join(now.nFileSizeHigh, now.nFileSizeLow) == entry.size &&
           Join(now.ftLastWriteTime.dwHighDateTime, now.ftLastWriteTime.dwLowDateTime) == entry.writeTime;
}

std::wstring FormatCrcText(uint32_t crc) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, crc >>= 4) text[static_cast<size_t>(i)] = kDigits[crc & 0xFu];
    return text;
}

std::wstring RelativeDisplayName(const std::wstring& rootFolder, const std::wstring& path) {
    if (path.compare(0, rootFolder.size(), rootFolder) != 0) return path;
    size_t start = rootFolder.size();
    const bool rootEndsInSeparator = !rootFolder.empty() && IsPathSeparator(rootFolder.back());
    if (!rootEndsInSeparator && start < path.size() && IsPathSeparator(path[start])) ++start;
    return path.substr(start);
}

std::optional<FileEntry> LooseFileEntry(const std::wstring& rootFolder, const std::wstring& path,
                                        const StepControl& control, const WIN32_FILE_ATTRIBUTE_DATA* met) {
    WIN32_FILE_ATTRIBUTE_DATA own{};
    if (!met && !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &own)) return std::nullopt;
    const WIN32_FILE_ATTRIBUTE_DATA& stamp = met ? *met : own;
    uint32_t crc = 0;
    FileEntry entry;
    entry.size = Join(stamp.nFileSizeHigh, stamp.nFileSizeLow);
    entry.writeTime = Join(stamp.ftLastWriteTime.dwHighDateTime, stamp.ftLastWriteTime.dwLowDateTime);
    ScopedHandle file = OpenToRead(path);
    if (!file.IsValid() || !ReadOpenFileCrc(file.Get(), entry.size, crc, control)) return std::nullopt;
    entry.displayName = RelativeDisplayName(rootFolder, path);
    entry.containerPath = path;
    entry.crcText = FormatCrcText(crc);
    entry.inArchive = 0;
    return entry;
}

void ComputeFileCrc(const std::wstring& rootFolder, const std::wstring& path, EntryList& entries) {
    std::optional<FileEntry> entry = LooseFileEntry(rootFolder, path);
    if (entry) AppendEntry(entries, std::move(*entry));
}
