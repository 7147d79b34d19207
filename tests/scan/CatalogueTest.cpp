#include "scan/Catalogue.h"

#include <gtest/gtest.h>

namespace {

FileEntry Loose(const std::wstring& name, const std::wstring& crc = L"00000001") {
    return FileEntry{name, L"", L"D:\\data\\" + name, crc, 0};
}

FileEntry Member(const std::wstring& archive, const std::wstring& inner) {
    return FileEntry{archive + L"【" + inner + L"】", inner, L"D:\\data\\" + archive, L"1A2B3C4D", 1};
}

std::vector<std::wstring> Names(const EntryList& entries) {
    std::vector<std::wstring> names;
    for (const FileEntry& e : entries) names.push_back(e.displayName);
    return names;
}

}  // namespace

TEST(Catalogue, FindEntryByNameMatchesExactTextOnlyAndPrefersTheFirst) {
    EntryList entries;
    EXPECT_EQ(FindEntryByName(entries, L"a.txt"), 0u) << "an empty list answers with its count";

    AppendEntry(entries, Loose(L"sub\\a.txt"));
    AppendEntry(entries, Loose(L"b.txt"));
    AppendEntry(entries, Loose(L"b.txt", L"00000002"));
    EXPECT_EQ(FindEntryByName(entries, L"b.txt"), 1u);
    EXPECT_EQ(entries[FindEntryByName(entries, L"b.txt")].crcText, L"00000001");
    EXPECT_EQ(FindEntryByName(entries, L"B.TXT"), 3u) << "letter case counts";
    EXPECT_EQ(FindEntryByName(entries, L"sub/a.txt"), 3u) << "separators are not normalised";
    EXPECT_EQ(FindEntryByName(entries, L"b.tx"), 3u) << "a prefix is not a match";
    EXPECT_EQ(FindEntryByName(entries, L""), 3u);
}

TEST(Catalogue, CountArchiveMembersIsOneOnlyForASingleMember) {
    EntryList entries;
    AppendEntry(entries, Loose(L"set.zip"));
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\data\\set.zip"), 0) << "the archive's own loose entry never counts";

    AppendEntry(entries, Member(L"set.zip", L"a.txt"));
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\data\\set.zip"), 1);
    EXPECT_EQ(CountArchiveMembers(entries, L"d:\\data\\SET.zip"), 0) << "paths compare exactly";

    AppendEntry(entries, Member(L"other.zip", L"a.txt"));
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\data\\set.zip"), 1) << "members of another archive do not count";

    AppendEntry(entries, Member(L"set.zip", L"b.txt"));
    EXPECT_EQ(CountArchiveMembers(entries, L"D:\\data\\set.zip"), 0) << "two members";
}

TEST(Catalogue, EraseEntryKeepsTheOrderOfTheRest) {
    EntryList entries;
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) AppendEntry(entries, Loose(name));
    EraseEntry(entries, 0);
    EXPECT_EQ(Names(entries), (std::vector<std::wstring>{L"b", L"c", L"d"}));
    EraseEntry(entries, 2);
    EXPECT_EQ(Names(entries), (std::vector<std::wstring>{L"b", L"c"}));
    EraseEntry(entries, 5);  // past the end: nothing to erase
    EXPECT_EQ(Names(entries), (std::vector<std::wstring>{L"b", L"c"}));
}

TEST(Catalogue, AWholeCopyIsIndependentAndClearStartsAfresh) {
    EntryList entries;
    AppendEntry(entries, Member(L"set.zip", L"docs\\a.txt"));
    EntryList copy = entries;
    copy[0].displayName = L"changed";
    copy[0].crcText = L"0";
    EXPECT_EQ(entries[0].displayName, L"set.zip【docs\\a.txt】");
    EXPECT_EQ(entries[0].crcText, L"1A2B3C4D");

    ClearEntries(entries);
    EXPECT_TRUE(entries.empty());
    AppendEntry(entries, Loose(L"x"));
    EXPECT_EQ(FindEntryByName(entries, L"x"), 0u);
    EXPECT_EQ(copy.size(), 1u);
}
