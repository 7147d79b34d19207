#include "actions/ContentProof.h"

#include "archive/ArchiverInterface.h"
#include "common/PathText.h"
#include "common/ScopedWin.h"
#include "scan/FolderScan.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr DWORD kPieceBytes = 1u << 20;

// One side's bytes as they are now.
class Side {
public:
    [[nodiscard]] bool Open(const std::wstring& archiverPath, const FileEntry& entry) {
        if (entry.inArchive == 0) {
            file_.Reset(CreateFileW(SystemPath(entry.containerPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            return file_.IsValid();
        }
        // A name the archiver would read as another (a folder's would extract all under it).
        if (archiverPath.empty() || !IsLiteralMemberName(entry.innerPath)) return false;
        member_ = std::make_unique<ArchiverStream>();
        return member_->Start(ExtractCommandLine(archiverPath, SystemPath(entry.containerPath), entry.innerPath));
    }
    // Fills `buffer` with `size` bytes, less only at the end.
    [[nodiscard]] bool ReadFull(unsigned char* buffer, DWORD size, DWORD& got) {
        got = 0;
        while (got < size) {
            DWORD piece = 0;
            const bool read = member_ ? member_->Read(buffer + got, size - got, piece)
                                      : ReadFile(file_.Get(), buffer + got, size - got, &piece, nullptr) != FALSE;
            if (!read) return false;
            if (piece == 0) break;
            got += piece;
        }
        return true;
    }
    // An extraction that ended with an error (a CRC that failed, no such member) proves nothing.
    [[nodiscard]] bool EndedWell() {
        DWORD exitCode = 1;
        return !member_ || (member_->Finish(exitCode) && exitCode == 0);
    }

private:
    ScopedHandle file_;
    std::unique_ptr<ArchiverStream> member_;
};

ScopedHandle OpenShared(const std::wstring& path, DWORD share) {
    return ScopedHandle(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

bool AreOneFile(const std::wstring& a, const std::wstring& b) {
    const std::optional<FileIdentity> first = ReadFileIdentity(a), second = ReadFileIdentity(b);
    if (first && second) return *first == *second;
    // Some shares answer no id: hold one side alone, and the other cannot be opened if it is the same.
    const ScopedHandle held = OpenShared(a, 0);
    if (!held.IsValid()) return true;
    const ScopedHandle other = OpenShared(b, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    return !other.IsValid();
}

bool HaveSameBytes(const std::wstring& archiverPath, const FileEntry& a, const FileEntry& b, const StepControl& control) {
    Side first, second;
    if (!first.Open(archiverPath, a) || !second.Open(archiverPath, b)) return false;
    std::unique_ptr<unsigned char[]> one(new unsigned char[kPieceBytes]), two(new unsigned char[kPieceBytes]);
    for (;;) {
        DWORD got = 0, gotToo = 0;
        if (control.Cancelled() || !first.ReadFull(one.get(), kPieceBytes, got) ||
            !second.ReadFull(two.get(), kPieceBytes, gotToo) || got != gotToo ||
            std::memcmp(one.get(), two.get(), got) != 0) {
            return false;
        }
        if (got < kPieceBytes) break;
    }
    return first.EndedWell() && second.EndedWell();
}
