#include "scan/DuplicatePairing.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

EntryList Catalogue(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> nameAndCrc) {
    EntryList entries;
    for (const auto& [name, crc] : nameAndCrc) AppendEntry(entries, FileEntry{name, L"", name, crc, 0});
    return entries;
}

Rows Fill(const EntryList& entries) {
    TestListView list;
    BuildPairs(list.Handle(), entries);
    return list.Rows();
}

}  // namespace

TEST(DuplicatePairing, GroupsOfTwoAndThreeInTheirExactOrder) {
    const EntryList entries = Catalogue({{L"a", L"00000001"},
                                         {L"x", L"0000000F"},
                                         {L"b", L"00000001"},
                                         {L"lonely", L"12345678"},
                                         {L"y", L"0000000F"},
                                         {L"c", L"00000001"}});
    EXPECT_EQ(Fill(entries), (Rows{{L"a", L"b"},
                                   {L"a", L"c"},
                                   {L"x", L"y"},
                                   {L"b", L"a"},
                                   {L"b", L"c"},
                                   {L"y", L"x"},
                                   {L"c", L"a"},
                                   {L"c", L"b"}}));
}

TEST(DuplicatePairing, OnlyIdenticalTextsPair) {
    EXPECT_TRUE(Fill(Catalogue({{L"a", L"abcd1234"}, {L"b", L"ABCD1234"}, {L"c", L"0ABCD123"}, {L"d", L"ABCD123"}}))
                    .empty());
    EXPECT_TRUE(Fill(EntryList{}).empty());
    EXPECT_EQ(Fill(Catalogue({{L"same name", L"1"}, {L"same name", L"1"}})),
              (Rows{{L"same name", L"same name"}, {L"same name", L"same name"}}))
        << "pairs are formed by position, not by name";
}

TEST(DuplicatePairing, RandomCataloguesGiveTheRowsOfTheDoubleLoop) {
    std::mt19937 random(1234);
    for (int round = 0; round < 20; ++round) {
        EntryList entries;
        const size_t count = random() % 400;
        const unsigned distinct = 1 + random() % 60;
        for (size_t i = 0; i < count; ++i) {
            const std::wstring crc = std::to_wstring(random() % distinct);
            AppendEntry(entries, FileEntry{L"e" + std::to_wstring(i), L"", L"", crc, static_cast<int32_t>(i % 2)});
        }
        const auto expected = PairRowsByDoubleLoop(entries);

        std::vector<std::pair<size_t, size_t>> fast;
        const CrcGroups groups = GroupByCrc(entries);
        EXPECT_TRUE(ForEachPairRow(groups, [&](size_t j, size_t k) {
            fast.emplace_back(j, k);
            return true;
        }));
        ASSERT_EQ(fast, expected) << "round " << round;
        EXPECT_EQ(CountPairRows(groups), expected.size());

        if (round < 3) {
            Rows expectedRows;
            for (const auto& [j, k] : expected) expectedRows.emplace_back(entries[j].displayName, entries[k].displayName);
            EXPECT_EQ(Fill(entries), expectedRows) << "round " << round;
        }
    }
}

TEST(DuplicatePairing, EmittingStopsWhenAsked) {
    const EntryList entries = Catalogue({{L"a", L"1"}, {L"b", L"1"}, {L"c", L"1"}});
    size_t seen = 0;
    EXPECT_FALSE(ForEachPairRow(GroupByCrc(entries), [&](size_t, size_t) { return ++seen < 4; }));
    EXPECT_EQ(seen, 4u);
}
