#include "scan/FileChecksum.h"

#include "common/ScopedWin.h"
#include "scan/Crc32.h"

#include <windows.h>

#include <memory>

namespace {

constexpr DWORD kChunkBytes = 1u << 20;  // memory per file stays bounded whatever its size

}  // namespace

bool ReadFileCrc(const std::wstring& path, uint32_t& crc) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) return false;

    LARGE_INTEGER size{};
    DWORD bufferBytes = kChunkBytes;
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart < kChunkBytes) {
        // Small files get a small buffer; one more byte lets the read see the end at once.
        bufferBytes = static_cast<DWORD>(size.QuadPart) + 1;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferBytes]);

    uint32_t value = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.get(), bufferBytes, &got, nullptr)) return false;
        value = Crc32Update(value, buffer.get(), got);
        // A disk file reads short only at its end: no extra call just to read nothing.
        if (got < bufferBytes) break;
    }
    crc = value;
    return true;
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

std::optional<FileEntry> LooseFileEntry(const std::wstring& rootFolder, const std::wstring& path) {
    uint32_t crc = 0;
    if (!ReadFileCrc(path, crc)) return std::nullopt;
    FileEntry entry;
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
