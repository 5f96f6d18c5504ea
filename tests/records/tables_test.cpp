// Tables and their limits, table areas, status levels of scheme 0, rooms,
// screen modes and their list numbers, flexible texts through field access.
#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class FloorTest : public RecordsTest {};

TEST_P(FloorTest, TablesCarryTheirLimitOutsideTheStructure) {
    xrtest::CreateSetupTables({"Tables"});
    table_def def{};
    def.TblNo = 12;
    def.Flags = TABLE_ACCOUNT | 0x8000;
    std::memcpy(def.Name, "A table name of 22 chr", 22);  // no terminator
    ASSERT_EQ(CTable().AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Name, Account, LimitEnable, Limit FROM Tables"),
              "A table name of 22 chr|-1|0|0");
    CTable read;
    read.m_def.Flags = 0x8000;
    ASSERT_EQ(read.Equ(12), 1);
    EXPECT_STREQ(read.m_def.Name, "A table name of 22 ch");
    EXPECT_EQ(+read.m_def.Flags, TABLE_ACCOUNT | 0x8000) << "other bits are kept";
    EXPECT_EQ(read.Equ(13), 0);
    // The limit of a table the object has read goes back with any structure.
    Exec("UPDATE Tables SET Limit=5000, LimitEnable=1");
    ASSERT_EQ(read.Equ(12), 1);
    EXPECT_EQ(xr::Format("%d|%d", read.m_limit, read.m_limitEnable), "5000|-1");
    def.Flags = 0;
    std::strcpy(def.Name, "Window");
    ASSERT_EQ(read.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Name, Account, Limit FROM Tables"), "Window|0|5000");
    EXPECT_NE(Scalar("SELECT LimitEnable FROM Tables"), "0");
    // A new table takes the limit the object holds.
    read.m_limit = 250;
    read.m_limitEnable = 0;
    def.TblNo = 14;
    ASSERT_EQ(read.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Limit, LimitEnable FROM Tables WHERE TblNo=14"), "250|0");
}

TEST_P(FloorTest, AreasRoomsStatusLevelsAndFlexibleTextsGoThroughMembersOrFieldAccess) {
    xrtest::CreateSetupTables({"TableAreas", "TableStatusLevels", "Rooms", "FlexTextHdrs",
                               "FlexTextLines", "TableGroupAreas"});
    Exec(
        "INSERT INTO TableAreas (AreaID, AreaName, TblnoLo, TblnoHi, TableOpenMacro) VALUES "
        "(3, 'Terrace', 40, 59, 12)");
    CTableAreas area;
    ASSERT_EQ(area.Equ(3), 1);
    EXPECT_EQ(
        xr::Format("%s|%d|%d", area.m_areaName.c_str(), area.m_tblnoHi, area.m_tableOpenMacro),
        "Terrace|59|12");
    area.m_areaName = "Garden terrace";
    area.m_tblnoHi = 69;
    ASSERT_EQ(area.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AreaName, TblnoHi FROM TableAreas"), "Garden terrace|69");
    EXPECT_EQ(area.Equ(4), 0);

    Exec(
        "INSERT INTO TableStatusLevels (SchemeNo, LevelNo, Text) VALUES (1, 3, 'Other'), "
        "(0, 3, 'Mains'), (2, 5, 'Dessert')");
    CTableStatusLevel level;
    ASSERT_EQ(level.Equ(3), 1);
    std::string text;
    ASSERT_EQ(level.GetField("Text", text), 1);
    EXPECT_EQ(text, "Mains");
    EXPECT_EQ(level.Equ(5), 0) << "level 5 exists only in scheme 2";

    CRoom room;
    ASSERT_EQ(room.OpenRS("SELECT * FROM Rooms"), 1);
    ASSERT_EQ(room.AddNew(), 1);
    room.m_roomNo = 101;
    room.m_description = "Double, sea view";
    ASSERT_EQ(room.Update(0), 1);
    CRoom read;
    ASSERT_EQ(read.Equ(101), 1);
    EXPECT_EQ(std::to_string(read.getRoomNo()) + "|" + read.m_description, "101|Double, sea view");
    EXPECT_EQ(read.Equ(102), 0);

    CFlexTextHdrs hdrs;
    ASSERT_EQ(hdrs.OpenTable(), 1);
    ASSERT_EQ(hdrs.AddNew(), 1);
    ASSERT_EQ(hdrs.SetField("TextName", "BillFooter"), 1);
    ASSERT_EQ(hdrs.SetField("Default", "Thank you, come again"), 1);
    ASSERT_EQ(hdrs.SetField("Description", std::string(300, 'd')), 1);
    ASSERT_EQ(hdrs.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT [Default], LEN(Description) FROM FlexTextHdrs"),
              "Thank you, come again|300");

    Exec(
        "INSERT INTO FlexTextLines VALUES (1, 'BillFooter', 'Merci'), "
        "(0, 'BillHeader', 'Welcome'), (0, 'BillFooter', 'Thanks')");
    CFlexTextLines lines;
    std::string walked;
    for (int more = lines.MoveFirst(); more == 1; more = lines.MoveNext()) {
        ASSERT_EQ(lines.GetField("Text", text), 1);
        walked += text + ";";
    }
    EXPECT_EQ(walked, "Thanks;Welcome;Merci;") << "by scheme, then by name";

    CTableGroupAreas groups;
    ASSERT_EQ(groups.OpenTable(), 1);
    ASSERT_EQ(groups.AddNew(), 1);
    ASSERT_EQ(groups.SetField("AreaID", 1), 1);
    ASSERT_EQ(groups.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AreaName, TblnoLo, TblnoHi FROM TableGroupAreas"),
              "Table Group Area|1|60");
}

TEST_P(FloorTest, ANewScreenModeStoresTheStandardLists) {
    xrtest::CreateSetupTables({"ScreenModes"});
    CScreenMode mode;
    ASSERT_EQ(mode.OpenRS("SELECT * FROM ScreenModes"), 1);
    ASSERT_EQ(mode.AddNew(), 1);
    mode.SetScrnNo(2);
    ASSERT_EQ(mode.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT ScrnNo, ListTop, FListTrading, ListLoggedOff, FListLoggedOff, "
                     "FListPayment, ListTopPayment, Description FROM ScreenModes"),
              "2|2000|2002|0|2001|2003|0|");
    Exec(
        "UPDATE ScreenModes SET ListTop=3000, FListTrading=3002, ListLoggedOff=3004, "
        "FListLoggedOff=3001, FListPayment=3003, ListTopPayment=3005, Description='Bar'");
    CScreenMode r;
    ASSERT_EQ(r.Equ(2), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d|%d|%d|%d|%d|%s", r.GetScrnNo(), r.GetListTop(),
                         r.GetFListTrading(), r.GetListLoggedOff(), r.GetFListLoggedOff(),
                         r.GetFListPayment(), r.GetListPayment(), r.GetDescription().c_str()),
              "2|3000|3002|3004|3001|3003|3005|Bar");
    EXPECT_EQ(r.Equ(3), 0);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(FloorTest);
