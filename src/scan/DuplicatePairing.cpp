#include "scan/DuplicatePairing.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace {

constexpr size_t kPiece = size_t{1} << 16;  // entries sorted or visited between looks at a stop

// std::sort in pieces, merged two by two, with a look at a stop between them. False when stopped.
template <typename T, typename Less>
bool SortUnlessStopped(std::vector<T>& items, Less less, const StepControl& control) {
    for (size_t at = 0; at < items.size(); at += kPiece) {
        if (control.Cancelled()) return false;
        std::sort(items.begin() + static_cast<std::ptrdiff_t>(at), items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), at + kPiece)), less);
    }
    for (size_t width = kPiece; width < items.size(); width *= 2) {
        for (size_t at = 0; at + width < items.size(); at += 2 * width) {
            if (control.Cancelled()) return false;
            const auto begin = items.begin() + static_cast<std::ptrdiff_t>(at);
            std::inplace_merge(begin, begin + static_cast<std::ptrdiff_t>(width),
                               items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), at + 2 * width)), less);
        }
    }
    return !control.Cancelled();
}

// Eight uppercase hexadecimal digits, as the walk and the archiver write a CRC, fit a 32-bit key
// exactly; any other text gets a key above them, one per text.
bool CrcKey(const std::wstring& text, uint32_t& key) {
    if (text.size() != 8) return false;
    key = 0;
    for (const wchar_t c : text) {
        const bool digit = c >= L'0' && c <= L'9', letter = c >= L'A' && c <= L'F';
        if (!digit && !letter) return false;
        key = key << 4 | static_cast<uint32_t>(digit ? c - L'0' : c - L'A' + 10);
    }
    return true;
}

// What decides an entry's class. Kinds: 0 loose, then members by SizeKind (1 size known, 2
// unknown), so a CRC's loose classes come first.
struct ClassKey {
    uint64_t crc;
    uint8_t kind;
    uint64_t size;
    uint64_t hash0, hash1;
    uint32_t position;
    auto Tied() const { return std::tie(crc, kind, size, hash0, hash1); }
};

ClassKey KeyOf(const FileEntry& e, uint64_t crc, uint32_t position) {
    if (e.inArchive == 0) return ClassKey{crc, 0, e.size, e.strongHash[0], e.strongHash[1], position};
    const bool known = e.sizeKind == SizeKind::kExact;
    return ClassKey{crc, static_cast<uint8_t>(known ? 1 : 2), known ? e.size : 0, 0, 0, position};
}

// Two classes of one CRC whose members may hold the same bytes.
bool ClassesMeet(const ClassKey& a, const ClassKey& b) {
    if (a.kind == 2 || b.kind == 2) return true;
    if (a.kind == 0 && b.kind == 0) return a.Tied() == b.Tied();
    return a.size == b.size;
}

const size_t* ShownBegin(const ShownGroups& groups, size_t g) { return groups.members.data() + groups.first[g]; }

// Shown members of group g at or below `position`.
size_t ShownUpTo(const ShownGroups& groups, size_t g, size_t position) {
    const size_t* begin = ShownBegin(groups, g);
    return static_cast<size_t>(std::upper_bound(begin, begin + groups.shown[g], position) - begin);
}

// Runs of `sorted` (positions) become groups, all shown; joins(k): sorted[k] is in sorted[k - 1]'s.
template <typename Joins>
void Gather(ShownGroups& groups, std::vector<uint32_t>& groupOf, const std::vector<uint32_t>& sorted, Joins joins) {
    for (size_t k = 0; k < sorted.size(); ++k) {
        if (k == 0 || !joins(k)) groups.first.push_back(groups.members.size());
        groupOf[sorted[k]] = static_cast<uint32_t>(groups.first.size() - 1);
        groups.members.push_back(sorted[k]);
    }
    groups.first.push_back(groups.members.size());
    for (size_t g = 0; g + 1 < groups.first.size(); ++g) groups.shown.push_back(groups.first[g + 1] - groups.first[g]);
}

// Each shown entry has a row with every shown member of its class's partners, less the
// entries of its own file (itself included).
void Recount(PairRows& rows) {
    std::vector<uint64_t> partnersShown(rows.classes.shown.size(), 0);
    for (size_t c = 0; c < partnersShown.size(); ++c) {
        for (size_t p = rows.firstPartner[c]; p < rows.firstPartner[c + 1]; ++p) {
            partnersShown[c] += rows.classes.shown[rows.partners[p]];
        }
    }
    rows.firstRow.assign(rows.entries.size() + 1, 0);
    for (size_t i = 0; i < rows.entries.size(); ++i) {
        const uint32_t file = rows.fileOf[i];
        const uint64_t own = file == PairRows::kOwnFile ? 1 : rows.files.shown[file];
        rows.firstRow[i + 1] = rows.firstRow[i] + (rows.shown[i] ? partnersShown[rows.classOf[i]] - own : 0);
    }
}

// Entries known to be one file: each group's first entry stands for all of them.
bool GatherFiles(PairRows& rows, const StepControl& control) {
    const EntryList& entries = rows.entries;
    std::vector<uint32_t> named;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].inArchive == 0 && IsKnownFileId(entries[i].identity.fileId)) named.push_back(static_cast<uint32_t>(i));
    }
    const auto id = [&](uint32_t i) { return std::make_pair(entries[i].identity.fileId, entries[i].identity.volumeSerial); };
    if (!SortUnlessStopped(named, [&](uint32_t a, uint32_t b) { return std::make_pair(id(a), a) < std::make_pair(id(b), b); }, control)) {
        return false;
    }
    std::vector<uint32_t> shared;
    for (size_t k = 0; k < named.size(); ++k) {
        const bool withPrevious = k > 0 && id(named[k - 1]) == id(named[k]);
        const bool withNext = k + 1 < named.size() && id(named[k + 1]) == id(named[k]);
        if (withPrevious || withNext) shared.push_back(named[k]);
    }
    rows.fileOf.assign(entries.size(), PairRows::kOwnFile);
    Gather(rows.files, rows.fileOf, shared, [&](size_t k) { return id(shared[k - 1]) == id(shared[k]); });
    return true;
}

}  // namespace

PairRows BuildPairs(EntryList entries, const StepControl& control) {
    PairRows rows;
    rows.entries = std::move(entries);
    const EntryList& all = rows.entries;
    if (!GatherFiles(rows, control)) return PairRows{};
    // Every class key comes from the first entry of its file, so one file is never split.
    std::unordered_map<std::wstring_view, uint64_t> otherTexts;
    std::vector<ClassKey> keys;
    keys.reserve(all.size());
    for (size_t i = 0; i < all.size() && i < UINT32_MAX; ++i) {
        if (i % kPiece == 0 && control.Cancelled()) return PairRows{};
        const uint32_t file = rows.fileOf[i];
        const FileEntry& stand = all[file == PairRows::kOwnFile ? i : rows.files.members[rows.files.first[file]]];
        uint32_t key = 0;
        const uint64_t crc = CrcKey(stand.crcText, key) ? key : (uint64_t{1} << 32) + otherTexts.emplace(stand.crcText, otherTexts.size()).first->second;
        keys.push_back(KeyOf(stand, crc, static_cast<uint32_t>(i)));
    }
    const auto order = [](const ClassKey& a, const ClassKey& b) {
        return std::make_tuple(a.crc, a.kind, a.size, a.hash0, a.hash1, a.position) <
               std::make_tuple(b.crc, b.kind, b.size, b.hash0, b.hash1, b.position);
    };
    if (!SortUnlessStopped(keys, order, control)) return PairRows{};
    std::vector<uint32_t> sorted(keys.size());
    std::vector<ClassKey> classKeys;  // each class's own
    for (size_t k = 0; k < keys.size(); ++k) sorted[k] = keys[k].position;
    rows.classOf.assign(all.size(), 0);
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k == 0 || keys[k - 1].Tied() != keys[k].Tied()) classKeys.push_back(keys[k]);
    }
    Gather(rows.classes, rows.classOf, sorted, [&](size_t k) { return keys[k - 1].Tied() == keys[k].Tied(); });

    // Partners within each CRC: a loose class meets members only, a member class every class.
    rows.firstPartner.push_back(0);
    for (size_t begin = 0; begin < classKeys.size();) {
        size_t end = begin + 1;
        while (end < classKeys.size() && classKeys[end].crc == classKeys[begin].crc) ++end;
        size_t firstMemberClass = begin;
        while (firstMemberClass < end && classKeys[firstMemberClass].kind == 0) ++firstMemberClass;
        for (size_t c = begin; c < end; ++c) {
            const bool loose = c < firstMemberClass;  // itself, then the member classes it meets
            if (loose) rows.partners.push_back(static_cast<uint32_t>(c));
            for (size_t d = loose ? firstMemberClass : begin; d < end; ++d) {
                if (d == c || ClassesMeet(classKeys[c], classKeys[d])) rows.partners.push_back(static_cast<uint32_t>(d));
            }
            rows.firstPartner.push_back(rows.partners.size());
        }
        begin = end;
    }
    rows.shown.assign(all.size(), 1);
    rows.live.assign(all.size(), 1);
    Recount(rows);
    return rows;
}

uint64_t RowCount(const PairRows& rows) { return rows.firstRow.empty() ? 0 : rows.firstRow.back(); }

std::pair<size_t, size_t> RowEntries(const PairRows& rows, uint64_t row) {
    // The last entry whose rows start at or before `row`; entries without rows share its start.
    const auto after = std::upper_bound(rows.firstRow.begin(), rows.firstRow.end(), row);
    const size_t file1 = static_cast<size_t>(after - rows.firstRow.begin()) - 1;
    const uint64_t offset = row - rows.firstRow[file1];
    const uint32_t c = rows.classOf[file1], file = rows.fileOf[file1];
    const uint32_t* partner = rows.partners.data() + rows.firstPartner[c];
    const size_t partnerCount = rows.firstPartner[c + 1] - rows.firstPartner[c];
    if (partnerCount == 1 && file == PairRows::kOwnFile) {
        // The class's shown members less itself, in ascending order.
        const size_t* shown = ShownBegin(rows.classes, c);
        const uint64_t self = static_cast<uint64_t>(std::lower_bound(shown, shown + rows.classes.shown[c], file1) - shown);
        return {file1, shown[offset < self ? offset : offset + 1]};
    }
    // The partners lie in several sorted lists: the lowest position with offset + 1 of them at
    // or below it, found by halving.
    const auto partnersUpTo = [&](size_t position) {
        uint64_t count = 0;
        for (size_t p = 0; p < partnerCount; ++p) count += ShownUpTo(rows.classes, partner[p], position);
        return count - (file == PairRows::kOwnFile ? (position >= file1 ? 1 : 0) : ShownUpTo(rows.files, file, position));
    };
    size_t low = 0, high = rows.entries.size() - 1;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (partnersUpTo(middle) > offset) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return {file1, low};
}

void HideEntries(PairRows& rows, const std::vector<size_t>& positions, bool gone) {
    std::vector<uint32_t> classes, files;
    for (const size_t i : positions) {
        if (i >= rows.entries.size()) continue;
        if (gone) rows.live[i] = 0;
        if (!rows.shown[i]) continue;
        rows.shown[i] = 0;
        classes.push_back(rows.classOf[i]);
        if (rows.fileOf[i] != PairRows::kOwnFile) files.push_back(rows.fileOf[i]);
    }
    const auto repartition = [&](ShownGroups& groups, const std::vector<uint32_t>& touched) {
        for (const uint32_t g : touched) {
            const auto begin = groups.members.begin() + static_cast<std::ptrdiff_t>(groups.first[g]);
            const auto end = begin + static_cast<std::ptrdiff_t>(groups.shown[g]);
            const auto kept = std::stable_partition(begin, end, [&](size_t i) { return rows.shown[i] != 0; });
            groups.shown[g] = static_cast<size_t>(kept - begin);
        }
    };
    repartition(rows.classes, classes);
    repartition(rows.files, files);
    if (!classes.empty()) Recount(rows);
}

std::vector<size_t> LiveEntriesIn(const PairRows& rows, const std::wstring& containerPath) {
    std::vector<size_t> found;
    for (size_t i = 0; i < rows.entries.size(); ++i) {
        if (rows.live[i] && rows.entries[i].containerPath == containerPath) found.push_back(i);
    }
    return found;
}

int CountArchiveMembers(const PairRows& rows, const std::wstring& containerPath) {
    size_t members = 0;
    for (const size_t i : LiveEntriesIn(rows, containerPath)) members += rows.entries[i].inArchive == 1;
    return members == 1 ? 1 : 0;
}

std::vector<std::pair<size_t, size_t>> PairRowsByDoubleLoop(const EntryList& entries) {
    // Each entry compares as the first entry of its file.
    std::vector<size_t> stand(entries.size());
    for (size_t j = 0; j < entries.size(); ++j) {
        stand[j] = j;
        for (size_t k = 0; k < j; ++k) {
            if (IsSameFile(entries[k], entries[j])) {
                stand[j] = k;
                break;
            }
        }
    }
    std::vector<std::pair<size_t, size_t>> rows;
    for (size_t j = 0; j < entries.size(); ++j) {
        for (size_t k = 0; k < entries.size(); ++k) {
            if (j != k && stand[j] != stand[k] && IsSameContent(entries[stand[j]], entries[stand[k]])) rows.emplace_back(j, k);
        }
    }
    return rows;
}
