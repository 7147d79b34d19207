#include "scan/FileChecksum.h"

#include "common/ScopedWin.h"
#include "scan/Crc32.h"

#include "common/PathText.h"

#include <windows.h>
#include <winternl.h>

#define XXH_INLINE_ALL
#include "xxhash/xxhash.h"

#include <algorithm>
#include <memory>

#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

void StrongHashUpdateWide(void* state, const void* data, size_t size);  // StrongHashWide.cpp

namespace {

// AVX2 in the processor (CPUID leaf 7) and its registers saved by the system.
bool DetectWideHash() {
    unsigned ebx = 0;
#if defined(_MSC_VER)
    int regs[4] = {};
    __cpuidex(regs, 7, 0);
    ebx = static_cast<unsigned>(regs[1]);
#else
    unsigned eax = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
#endif
    return (ebx & (1u << 5)) != 0 && (GetEnabledXStateFeatures() & XSTATE_MASK_AVX) != 0;
}

void StrongHashUpdate(XXH3_state_t& state, const unsigned char* data, size_t size) {
    static const bool wide = DetectWideHash();
    if (wide) {
        StrongHashUpdateWide(&state, data, size);
    } else {
        (void)XXH3_128bits_update(&state, data, size);
    }
}

constexpr DWORD kChunkBytes = 1u << 20;  // memory per file stays bounded whatever its size

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// Both hashes take each stretch while it is still in the processor's cache.
constexpr DWORD kCacheBytes = 64u << 10;

// The hashes of an open file of about `size` bytes. A small one gets a buffer of its own size:
// one read takes it whole and the next finds the end (a larger buffer costs a read more under
// Wine, which looks for the end itself after a short read).
bool ReadOpenFileHashes(HANDLE file, uint64_t size, ContentHashes& hashes, const StepControl& control) {
    const DWORD bufferBytes = size < kChunkBytes ? std::max<DWORD>(static_cast<DWORD>(size), 1) : kChunkBytes;
    const auto read = [file](unsigned char* buffer, DWORD room, DWORD& got) {
        return ReadFile(file, buffer, room, &got, nullptr) != FALSE;
    };
    return HashPieces(read, bufferBytes, hashes, control);
}

ScopedHandle OpenToRead(const std::wstring& path, DWORD share = FILE_SHARE_READ) {
    return ScopedHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// First as the archiver opens a file (sharing reading only), which fails while another program
// holds it open for writing (a workbook, a mail store, a database); then sharing writing and
// deletion too, so such a file is read all the same: what it may change meanwhile is checked after.
ScopedHandle OpenSharedToRead(const std::wstring& path, bool& heldOpen) {
    ScopedHandle file = OpenToRead(path);
    heldOpen = !file.IsValid() && GetLastError() == ERROR_SHARING_VIOLATION;
    if (heldOpen) file = OpenToRead(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    return file;
}

// FILE_NETWORK_OPEN_INFORMATION: times and size in one call, without the volume query that
// GetFileInformationByHandle makes (a call to the mount manager under Wine).
struct OpenFileStamp {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, allocationSize, endOfFile;
    ULONG fileAttributes;
};

// The size and last-write time of an open file, as its handle gives them.
bool ReadStamp(HANDLE file, uint64_t& size, uint64_t& writeTime) {
    using Query = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr auto kFileNetworkOpenInformation = static_cast<FILE_INFORMATION_CLASS>(34);
    IO_STATUS_BLOCK status{};
    OpenFileStamp stamp{};
    if (!query || query(file, &status, &stamp, sizeof(stamp), kFileNetworkOpenInformation) < 0) return false;
    size = static_cast<uint64_t>(stamp.endOfFile.QuadPart);
    writeTime = static_cast<uint64_t>(stamp.lastWriteTime.QuadPart);
    return true;
}

}  // namespace

bool HashPieces(const PieceReader& read, DWORD bufferBytes, ContentHashes& hashes, const StepControl& control) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferBytes]);
    XXH3_state_t strong;
    XXH3_INITSTATE(&strong);
    XXH3_128bits_reset(&strong);
    uint32_t crc = 0;
    size_t leading = 0;
    // Only a read of nothing is the end: a redirector or filter may give less than asked before it.
    for (DWORD got = 0;;) {
        if (control.Cancelled() || !read(buffer.get(), bufferBytes, got)) return false;
        if (got == 0) break;
        hashes.bytes += got;
        for (DWORD at = 0; leading < sizeof(hashes.leading) && at < got; ++at) hashes.leading[leading++] = buffer[at];
        for (DWORD at = 0; at < got; at += kCacheBytes) {
            const DWORD stretch = std::min(kCacheBytes, got - at);
            crc = Crc32Update(crc, buffer.get() + at, stretch);
            StrongHashUpdate(strong, buffer.get() + at, stretch);
        }
    }
    const XXH128_hash_t digest = XXH3_128bits_digest(&strong);
    hashes.crc = crc;
    hashes.strong[0] = digest.low64;
    hashes.strong[1] = digest.high64;
    return true;
}

LeadingFormat FormatOfLeadingBytes(const unsigned char (&b)[8]) {
    if (b[0] == 0x1F && b[1] == 0x8B) return LeadingFormat::kGzip;
    // A frame, or a skippable frame before one.
    if ((b[0] == 0x28 && b[1] == 0xB5 && b[2] == 0x2F && b[3] == 0xFD) ||
        ((b[0] & 0xF0) == 0x50 && b[1] == 0x2A && b[2] == 0x4D && b[3] == 0x18)) {
        return LeadingFormat::kZstd;
    }
    // A header size, its checksum, then a method such as "-lh5-" or "-lzs-".
    if (b[2] == '-' && b[3] == 'l' && (b[4] == 'h' || b[4] == 'z') && b[6] == '-') return LeadingFormat::kLzh;
    return LeadingFormat::kOther;
}

LeadingFormat ReadLeadingFormat(const std::wstring& path) {
    unsigned char leading[8] = {};
    DWORD got = 0;
    const ScopedHandle file = OpenToRead(path);
    if (!file.IsValid() || !ReadFile(file.Get(), leading, sizeof(leading), &got, nullptr)) return LeadingFormat::kOther;
    return FormatOfLeadingBytes(leading);
}

bool IsUnchangedFile(const FileEntry& entry) {
    WIN32_FILE_ATTRIBUTE_DATA now{};
    if (!GetFileAttributesExW(SystemPath(entry.containerPath).c_str(), GetFileExInfoStandard, &now)) return false;
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
                                        const StepControl& control, uint64_t fileId) {
    FileEntry entry;
    const ScopedHandle file = OpenSharedToRead(path, entry.heldOpen);
    ContentHashes hashes;
    uint64_t sizeAfter = 0, timeAfter = 0;
    // A file that changed while it was read, or gave fewer or more bytes than its size, has no
    // one content to catalogue.
    if (!file.IsValid() || !ReadStamp(file.Get(), entry.size, entry.writeTime) ||
        !ReadOpenFileHashes(file.Get(), entry.size, hashes, control) || !ReadStamp(file.Get(), sizeAfter, timeAfter) ||
        sizeAfter != entry.size || timeAfter != entry.writeTime || hashes.bytes != entry.size) {
        return std::nullopt;
    }
    entry.displayName = RelativeDisplayName(rootFolder, path);
    entry.containerPath = path;
    entry.crcText = FormatCrcText(hashes.crc);
    entry.inArchive = 0;
    entry.strongHash[0] = hashes.strong[0];
    entry.strongHash[1] = hashes.strong[1];
    entry.identity.fileId = fileId;
    entry.format = FormatOfLeadingBytes(hashes.leading);
    return entry;
}

void ComputeFileCrc(const std::wstring& rootFolder, const std::wstring& path, EntryList& entries) {
    std::optional<FileEntry> entry = LooseFileEntry(rootFolder, path);
    if (entry) AppendEntry(entries, std::move(*entry));
}
