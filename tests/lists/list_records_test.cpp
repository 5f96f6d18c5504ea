// The list records, the converter's small operations and the slot exports.
#include <chrono>
#include <cstring>

#include "lists_fixture.h"

namespace xrtest {
namespace {

using ListRecordsTest = ListsTest;

plist_def SampleHeader(int list) {
    return {.ListNo = static_cast<int16_t>(list),
            .NPages = 3,
            .Rows = 5,
            .Cols = 6,
            .LayoutName = "LIST5X6",
            .Description = "Drinks",
            .Staydown = 1,
            .Link = -4,
            .SelMin = 2,
            .SelMax = 9,
            .ScrNo = 7,
            .Location = "F"};
}

TEST_P(ListRecordsTest, HeaderIsStoredAndReadBackColumnByColumnStaydownAsZeroOrOne) {
    CListHdr hdr;
    ASSERT_EQ(hdr.OpenRS("SELECT * FROM ListHdrs"), 1);
    plist_def def = SampleHeader(12);
    ASSERT_EQ(hdr.Add(def), 1);
    EXPECT_EQ(Header(12), "Drinks|5|6|3|1|-4|2|9|7|F");

    CListHdr back;
    ASSERT_EQ(back.MoveFirst("SELECT * FROM ListHdrs WHERE ListNo=12"), 1);
    // ListNo|NPages|Link|ScrNo|Description|Location|LayoutName (not stored)
    EXPECT_EQ(xr::Format("%d|%d|%d|%d|%s|%s|%s", back.m_def.ListNo, back.m_def.NPages,
                         back.m_def.Link, back.m_def.ScrNo, back.m_def.Description,
                         back.m_def.Location, back.m_def.LayoutName),
              "12|3|-4|7|Drinks|F|");
    def = SampleHeader(13);
    def.Staydown = 2;  // a value whose lowest bit is clear still means "stay down"
    ASSERT_EQ(hdr.OpenRS("SELECT * FROM ListHdrs"), 1);
    ASSERT_EQ(hdr.Add(def), 1);
    EXPECT_EQ(Scalar("SELECT Staydown FROM ListHdrs WHERE ListNo=13"), "1");

    Exec("UPDATE ListHdrs SET Staydown=5 WHERE ListNo=13");
    ASSERT_EQ(back.MoveFirst("SELECT * FROM ListHdrs WHERE ListNo=13"), 1);
    EXPECT_EQ(+back.m_def.Staydown, 1);
}

TEST_P(ListRecordsTest, ItemKeepsUnsignedBytesNegativeValuesAndTwoBitSizeAndAddKeepsDefaults) {
    CListItem item;
    ASSERT_EQ(item.OpenRS("SELECT * FROM ListItems"), 1);
    ASSERT_EQ(item.AddNew(), 1);
    item.m_listNo = 40000;  // list numbers of the items table are 32-bit
    item.m_pageNo = 2;
    item.m_itemNo = 3;
    item.m_funcType = 200;
    item.m_foreground = 250;
    item.m_background = 131;
    item.m_size = 3;
    item.m_itemText = "Cola|Zero";
    item.m_funcValue = -5000000000LL;
    item.m_mx = -1;
    item.m_my = 70000;
    ASSERT_EQ(item.Update(0), 1);
    EXPECT_EQ(
        Rows("SELECT FuncType, Foreground, Background, Size, FuncValue, mx, my FROM ListItems"),
        std::vector<std::string>{"200|250|131|3|-5000000000|-1|70000"});

    CListItem back;
    ASSERT_EQ(back.MoveFirst("SELECT * FROM ListItems WHERE ListNo=40000"), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d|%d|%lld|%s|%d", back.m_funcType, back.m_foreground,
                         back.m_background, back.m_size, static_cast<long long>(back.m_funcValue),
                         back.m_itemText.c_str(), back.m_my),
              "200|250|131|3|-5000000000|Cola|Zero|70000");

    Exec("UPDATE ListItems SET Size=6");  // only the low two bits are a size code
    ASSERT_EQ(back.MoveFirst("SELECT * FROM ListItems WHERE ListNo=40000"), 1);
    EXPECT_EQ(back.m_size, 2);
    // Add sets the key and keeps the column defaults.
    ASSERT_EQ(item.OpenRS("SELECT * FROM ListItems"), 1);
    ASSERT_EQ(item.Add(9, 1, 4), 1);
    EXPECT_EQ(Rows("SELECT ListNo, PageNo, ItemNo, ItemText, AlignmentH, ImageScale FROM "
                   "ListItems WHERE ListNo=9"),
              std::vector<std::string>{"9|1|4||1|90"});
    EXPECT_EQ(item.Add(9, 1, 4), 0);  // the key is taken
    EXPECT_EQ(CListItem().Add(9, 1, 5), 0);
}

TEST_P(ListRecordsTest, DirtyFlagIsWrittenAloneAndDeleteListRemovesThatListOnly) {
    Exec(
        "INSERT ListHdrs (ListNo, Description, Rows, Cols) VALUES (5, 'five', 0, 0), "
        "(6, 'six', 0, 0), (8, 'eight', 5, 6) "
        "INSERT ListItems (ListNo, PageNo, ItemNo) VALUES (5, 1, 1), (6, 1, 1)");
    EXPECT_EQ(m_db.ListDirtyGet(8), 0);
    m_db.ListDirtySet(8, 1);
    EXPECT_EQ(m_db.ListDirtyGet(8), 1);
    EXPECT_EQ(Scalar("SELECT Description, Rows, Cols FROM ListHdrs WHERE ListNo=8"), "eight|5|6");

    m_db.ListDirtySet(99, 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ListHdrs WHERE ListNo=99"), 0);
    EXPECT_EQ(m_db.ListDirtyGet(99), 0);

    // Through the header record: Update(1) writes the dirty flag alone.
    m_db.ListDirtySet(8, 0);
    EXPECT_EQ(m_db.ListDirtyGet(8), 0);
    CListHdr hdr;
    ASSERT_EQ(hdr.MoveFirst("SELECT * FROM ListHdrs WHERE ListNo=8"), 1);
    std::strcpy(hdr.m_def.Description, "changed");
    hdr.m_def.Rows = 1;
    hdr.DirtySet(1);
    ASSERT_EQ(hdr.Update(1), 1);
    EXPECT_EQ(Scalar("SELECT Description, Rows FROM ListHdrs WHERE ListNo=8"), "eight|5");
    EXPECT_EQ(m_db.ListDirtyGet(8), 1);
    hdr.DirtySet(0);
    ASSERT_EQ(hdr.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT Description, Rows FROM ListHdrs WHERE ListNo=8"), "changed|1");
    EXPECT_EQ(m_db.ListDirtyGet(8), 0);

    EXPECT_EQ(m_db.DeleteList(5), 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ListHdrs WHERE ListNo IN (5, 6)"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo IN (5, 6)"), 1);
    EXPECT_EQ(m_db.DeleteList(77), 0);  // nothing to delete is no failure
    // A failing delete tells which.
    Exec("DROP TABLE ListItems");
    EXPECT_EQ(m_db.DeleteList(5), 3);
    Exec("DROP TABLE ListHdrs");
    EXPECT_EQ(m_db.DeleteList(5), 1);
}

TEST_P(ListRecordsTest, SlotConvertersKeepTheirSettingsUntilClosedAndBadSlotsAreRefused) {
    Exec("INSERT ListHdrs (ListNo, Description) VALUES (8, 'eight'), (1010, 'screen 1')");
    EXPECT_EQ(ListClose(2), 0);  // an empty slot
    ListDirtySet(3, 8, 1);
    EXPECT_EQ(ListDirtyGet(0, 8), 1);

    for (int slot : {-1, 4, 1000}) {
        EXPECT_EQ(ListToDB(slot, Folder(), 8), kListBadSlot);
        EXPECT_EQ(ListFromDB(slot, Folder(), 8), kListBadSlot);
        EXPECT_EQ(ListsFromDB(slot, Folder()), kListBadSlot);
        EXPECT_EQ(ListDirtyGet(slot, 8), 0);
        ListDirtySet(slot, 8, 0);
        ListDBClassic(slot, 1);
        ListDBSupp(slot, "x");
        EXPECT_EQ(ListClose(slot), 0);
    }
    EXPECT_EQ(ListDirtyGet(0, 8), 1);
    // A slot's settings hold for every conversion until it is closed.
    ListDBClassic(1, 1);
    ListDBSupp(1, "SUPP DBNO 1");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ListFromDB(1, Folder(), 1010), 0);
        EXPECT_TRUE(FileExists("SCRDEF01.DEF"));
        EXPECT_EQ(ReadFile("SCRDEF01.DEF"), "#SUPP DBNO 1\n[FLOFF]\n");
        // Written from the database, so not read back: the list stays.
        EXPECT_EQ(ListToDB(1, Folder(), 1010), 0);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM ListHdrs WHERE ListNo=1010"), 1);
    }
    ListDBSupp(1, nullptr);
    EXPECT_EQ(ListFromDB(1, Folder(), 1010), 0);
    EXPECT_EQ(ReadFile("SCRDEF01.DEF"), "[FLOFF]\n");

    EXPECT_EQ(ListClose(1), 0);
    EXPECT_EQ(ListFromDB(1, Folder(), 1010), 0);  // a new converter: not classic
    EXPECT_TRUE(FileExists("L01010.LST"));
}

TEST_P(ListRecordsTest, SlotConverterPausesBeforeEachKey) {
    WriteFile("L00020.LST", "[FLIST]\nL \"x\" LIST5X6 1 0 0 0 1 1\nP\nI 1 1 <a>\nI 1 2 <b>\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ListToDB(0, Folder(), 20), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo=20"), 2);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListRecordsTest);

}  // namespace xrtest
