#include "actions/ResultList.h"

#include "TestSupport.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

void Fill(HWND list, const Rows& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(rows[i].first.c_str());
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 1;
        item.pszText = const_cast<wchar_t*>(rows[i].second.c_str());
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

FileEntry Entry(const std::wstring& name, const std::wstring& container, int32_t inArchive = 0) {
    return FileEntry{name, L"", container, L"00000001", inArchive};
}

}  // namespace

TEST(ResultList, RemovingOneOfThreeEqualFilesKeepsThePairOfTheOtherTwoInOrder) {
    TestListView list;
    Fill(list.Handle(), {{L"A", L"B"}, {L"A", L"C"}, {L"B", L"A"}, {L"B", L"C"}, {L"C", L"A"}, {L"C", L"B"}});
    RemoveRowsByName(list.Handle(), L"A");
    EXPECT_EQ(list.Rows(), (Rows{{L"B", L"C"}, {L"C", L"B"}}));

    RemoveRowsByName(list.Handle(), L"b");
    RemoveRowsByName(list.Handle(), L"B ");
    EXPECT_EQ(list.Rows().size(), 2u) << "names compare exactly";
    RemoveRowsByName(list.Handle(), L"C");
    EXPECT_TRUE(list.Rows().empty());
    RemoveRowsByName(list.Handle(), L"C");  // an empty list: nothing to do
}

TEST(ResultList, WholeTextsAreReadAndCompared) {
    const std::wstring longName = L"sub\\" + std::wstring(600, L'n') + L".txt";
    TestListView list;
    Fill(list.Handle(), {{longName, L"short"}, {L"short", longName}, {longName.substr(0, 259), L"other"}});
    EXPECT_EQ(ReadCellText(list.Handle(), 0, 0), longName);
    EXPECT_EQ(ReadCellText(list.Handle(), 1, 1), longName);
    RemoveRowsByName(list.Handle(), longName);
    EXPECT_EQ(list.Rows(), (Rows{{longName.substr(0, 259), L"other"}})) << "a cut name is another name";
}

TEST(ResultList, RemovingByContainerTakesAnArchiveWithItsMembers) {
    EntryList entries;
    AppendEntry(entries, Entry(L"a.txt", L"D:\\d\\a.txt"));
    AppendEntry(entries, Entry(L"x.zip", L"D:\\d\\x.zip"));
    AppendEntry(entries, Entry(L"x.zip【a.txt】", L"D:\\d\\x.zip", 1));
    AppendEntry(entries, Entry(L"x.zip【b.txt】", L"D:\\d\\x.zip", 1));
    AppendEntry(entries, Entry(L"b.txt", L"D:\\d\\b.txt"));
    AppendEntry(entries, Entry(L"dup", L"D:\\d\\x.zip", 1));  // shares its name with the next
    AppendEntry(entries, Entry(L"dup", L"D:\\d\\dup"));
    TestListView list;
    Fill(list.Handle(), {{L"a.txt", L"x.zip【a.txt】"},
                         {L"x.zip【a.txt】", L"a.txt"},
                         {L"b.txt", L"x.zip【b.txt】"},
                         {L"a.txt", L"b.txt"},
                         {L"b.txt", L"x.zip"},
                         {L"a.txt", L"no such entry"},
                         {L"dup", L"a.txt"}});
    RemoveRowsByContainer(list.Handle(), entries, L"D:\\d\\x.zip");
    EXPECT_EQ(list.Rows(), (Rows{{L"a.txt", L"b.txt"}, {L"a.txt", L"no such entry"}}))
        << "the first entry of a name decides; a name without entry keeps its row";
    EXPECT_EQ(entries.size(), 7u) << "the catalogue is left alone";
}
