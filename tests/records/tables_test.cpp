// Tables and their limits, table areas, status levels of scheme 0, rooms,
// screen modes and their list numbers, flexible texts through field access.
#include <cstring>

#include "records_fixture.h"
#include "setup_tables.h"

namespace {

using xrtest::RecordsTest;

class FloorTest : public RecordsTest {};

TEST_P(FloorTest, TablesCarryTheirLimitOutsideTheStructure) {
    xrtest::CreateSetupTables({"Tables"});
    table_def def{};
    def.TblNo = 12;
    def.Flags = TABLE_ACCOUNT | 0x8000;
    std::memcpy(def.Name, "A table name of 22 chr", 22);  // no terminator
    CTable fresh;
    ASSERT_EQ(fresh.AddUpdate(def), 1);
    EXPECT_EQ(RowText("SELECT Name, Account, LimitEnable, Limit FROM Tables"),
              "Name=A table name of 22 chr;Account=-1;LimitEnable=0;Limit=0;\n");

    CTable read;
    read.m_def.Flags = 0x8000;
    ASSERT_EQ(read.Equ(12), 1);
    EXPECT_STREQ(read.m_def.Name, "A table name of 22 ch");
    EXPECT_EQ(+read.m_def.Flags, TABLE_ACCOUNT | 0x8000) << "other bits are kept";
    EXPECT_EQ(read.Equ(13), 0);

    // The limit of a table the object has read goes back with any structure.
    Exec("UPDATE Tables SET Limit=5000, LimitEnable=1");
    ASSERT_EQ(read.Equ(12), 1);
    EXPECT_EQ(read.m_limit, 5000);
    EXPECT_EQ(read.m_limitEnable, -1);
    def.Flags = 0;
    std::strcpy(def.Name, "Window");
    ASSERT_EQ(read.AddUpdate(def), 1);
    EXPECT_EQ(RowText("SELECT Name, Account, Limit FROM Tables"),
              "Name=Window;Account=0;Limit=5000;\n");
    EXPECT_NE(Scalar("SELECT LimitEnable FROM Tables"), "0");
    // A new table takes the limit the object holds.
    read.m_limit = 250;
    read.m_limitEnable = 0;
    def.TblNo = 14;
    ASSERT_EQ(read.AddUpdate(def), 1);
    EXPECT_EQ(RowText("SELECT Limit, LimitEnable FROM Tables WHERE TblNo=14"),
              "Limit=250;LimitEnable=0;\n");
}

TEST_P(FloorTest, AreasRoomsAndStatusLevels) {
    xrtest::CreateSetupTables({"TableAreas", "TableStatusLevels", "Rooms"});
    Exec(
        "INSERT INTO TableAreas (AreaID, AreaName, TblnoLo, TblnoHi, TableOpenMacro) VALUES "
        "(3, 'Terrace', 40, 59, 12)");
    CTableAreas area;
    ASSERT_EQ(area.Equ(3), 1);
    EXPECT_EQ(area.m_areaName, "Terrace");
    EXPECT_EQ(area.m_tblnoHi, 59);
    EXPECT_EQ(area.m_tableOpenMacro, 12);
    area.m_areaName = "Garden terrace";
    area.m_tblnoHi = 69;
    ASSERT_EQ(area.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AreaName + '/' + CAST(TblnoHi AS VARCHAR) FROM TableAreas"),
              "Garden terrace/69");
    EXPECT_EQ(area.Equ(4), 0);

    Exec("INSERT INTO TableStatusLevels (SchemeNo, LevelNo, Text) VALUES (1, 3, 'Other')");
    Exec("INSERT INTO TableStatusLevels (SchemeNo, LevelNo, Text) VALUES (0, 3, 'Mains')");
    Exec("INSERT INTO TableStatusLevels (SchemeNo, LevelNo, Text) VALUES (2, 5, 'Dessert')");
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
    EXPECT_EQ(read.getRoomNo(), 101);
    EXPECT_EQ(read.m_description, "Double, sea view");
    EXPECT_EQ(read.Equ(102), 0);
}

TEST_P(FloorTest, ANewScreenModeStoresTheStandardLists) {
    xrtest::CreateSetupTables({"ScreenModes"});
    CScreenMode mode;
    ASSERT_EQ(mode.OpenRS("SELECT * FROM ScreenModes"), 1);
    ASSERT_EQ(mode.AddNew(), 1);
    mode.SetScrnNo(2);
    ASSERT_EQ(mode.Update(0), 1);
    EXPECT_EQ(RowText("SELECT ScrnNo, ListTop, FListTrading, ListLoggedOff, FListLoggedOff, "
                      "FListPayment, ListTopPayment, Description FROM ScreenModes"),
              "ScrnNo=2;ListTop=2000;FListTrading=2002;ListLoggedOff=0;FListLoggedOff=2001;"
              "FListPayment=2003;ListTopPayment=0;Description=;\n");

    Exec(
        "UPDATE ScreenModes SET ListTop=3000, FListTrading=3002, ListLoggedOff=3004, "
        "FListLoggedOff=3001, FListPayment=3003, ListTopPayment=3005, Description='Bar'");
    CScreenMode read;
    ASSERT_EQ(read.Equ(2), 1);
    EXPECT_EQ(read.GetScrnNo(), 2);
    EXPECT_EQ(read.GetListTop(), 3000);
    EXPECT_EQ(read.GetFListTrading(), 3002);
    EXPECT_EQ(read.GetListLoggedOff(), 3004);
    EXPECT_EQ(read.GetFListLoggedOff(), 3001);
    EXPECT_EQ(read.GetFListPayment(), 3003);
    EXPECT_EQ(read.GetListPayment(), 3005);
    EXPECT_EQ(read.GetDescription(), "Bar");
    EXPECT_EQ(read.Equ(3), 0);
}

TEST_P(FloorTest, FlexibleTextsAndGroupAreasGoThroughFieldAccess) {
    xrtest::CreateSetupTables({"FlexTextHdrs", "FlexTextLines", "TableGroupAreas"});
    CFlexTextHdrs hdrs;
    ASSERT_EQ(hdrs.OpenTable(), 1);
    ASSERT_EQ(hdrs.AddNew(), 1);
    ASSERT_EQ(hdrs.SetField("TextName", "BillFooter"), 1);
    ASSERT_EQ(hdrs.SetField("Default", "Thank you, come again"), 1);
    ASSERT_EQ(hdrs.SetField("Description", std::string(300, 'd')), 1);
    ASSERT_EQ(hdrs.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT [Default], LEN(Description) FROM FlexTextHdrs"),
              "Thank you, come again|300");

    for (const char* sql : {"INSERT INTO FlexTextLines VALUES (1, 'BillFooter', 'Merci')",
                            "INSERT INTO FlexTextLines VALUES (0, 'BillHeader', 'Welcome')",
                            "INSERT INTO FlexTextLines VALUES (0, 'BillFooter', 'Thanks')"})
        Exec(sql);
    CFlexTextLines lines;
    std::string walked;
    for (int more = lines.MoveFirst(); more == 1; more = lines.MoveNext()) {
        std::string text;
        ASSERT_EQ(lines.GetField("Text", text), 1);
        walked += text + ";";
    }
    EXPECT_EQ(walked, "Thanks;Welcome;Merci;") << "by scheme, then by name";

    CTableGroupAreas groups;
    ASSERT_EQ(groups.OpenTable(), 1);
    ASSERT_EQ(groups.AddNew(), 1);
    ASSERT_EQ(groups.SetField("AreaID", 1), 1);
    ASSERT_EQ(groups.Update(0), 1);
    EXPECT_EQ(RowText("SELECT AreaName, TblnoLo, TblnoHi FROM TableGroupAreas"),
              "AreaName=Table Group Area;TblnoLo=1;TblnoHi=60;\n");
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(FloorTest);
