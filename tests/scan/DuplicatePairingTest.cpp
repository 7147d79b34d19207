#include "scan/DuplicatePairing.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

EntryList Catalogue(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> nameAndCrc) {
    EntryList entries;
    for (const auto& [name, crc] : nameAndCrc) AppendEntry(entries, FileEntry{name, L"", name, crc, 0});
    return entries;
}

}  // namespace

// Only identical texts pair: not another letter case, not without a leading zero.
TEST(DuplicatePairing, GroupsOfTwoAndThreeInTheirExactOrder) {
    const EntryList entries = Catalogue({{L"a", L"00000001"},
                                         {L"x", L"0000000F"},
                                         {L"b", L"00000001"},
                                         {L"lonely", L"12345678"},
                                         {L"y", L"0000000F"},
                                         {L"c", L"00000001"},
                                         {L"case", L"0000000f"},
                                         {L"short", L"000000F"}});
    EXPECT_EQ(RowTexts(BuildPairs(entries)), (Rows{{L"a", L"b"},
                                                   {L"a", L"c"},
                                                   {L"x", L"y"},
                                                   {L"b", L"a"},
                                                   {L"b", L"c"},
                                                   {L"y", L"x"},
                                                   {L"c", L"a"},
                                                   {L"c", L"b"}}));
    EXPECT_EQ(RowCount(BuildPairs(EntryList{})), 0u);
}

// The rows, and what is left of them after entries are hidden, against the double loop with
// the rows of hidden entries taken out.
TEST(DuplicatePairing, RandomCataloguesAndHiddenEntriesGiveTheRowsOfTheDoubleLoop) {
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round) {
        EntryList entries;
        const size_t count = random() % 300;
        const unsigned distinct = 1 + random() % 40;
        for (size_t i = 0; i < count; ++i) {
            const std::wstring crc = std::to_wstring(random() % distinct);
            AppendEntry(entries, FileEntry{L"e" + std::to_wstring(i), L"", L"", crc, static_cast<int32_t>(i % 2)});
        }
        std::vector<std::pair<size_t, size_t>> expected = PairRowsByDoubleLoop(entries);
        PairRows rows = BuildPairs(entries);
        for (int step = 0; step < 4; ++step) {
            std::vector<std::pair<size_t, size_t>> actual;
            for (uint64_t row = 0; row < RowCount(rows); ++row) actual.push_back(RowEntries(rows, row));
            ASSERT_EQ(actual, expected) << "round " << round << ", step " << step;

            // Hides about a tenth of the entries, named by their texts.
            std::vector<uint8_t> hidden(count);
            for (auto& h : hidden) h = random() % 10 == 0;
            HideEntries(rows, [&](const FileEntry& e) { return hidden[std::stoul(e.displayName.substr(1))] != 0; });
            expected.erase(std::remove_if(expected.begin(), expected.end(),
                                          [&](const auto& r) { return hidden[r.first] || hidden[r.second]; }),
                           expected.end());
        }
    }
}
