// The scripter and its exports: result codes, every selector's table and row
// condition, the exact texts of Write, CopyAll and Print, text arguments that
// must not become SQL, and ScriptAll on a connection of its own.
#include <cstring>

#include "library.h"

namespace {

using xrtest::ConfigTest;

intptr_t Text(const char* s) { return reinterpret_cast<intptr_t>(s); }

class ScripterTest : public ConfigTest {
protected:
    void TearDown() override {
        ScriptStop();  // whatever a failed expectation left active
        ConfigTest::TearDown();
    }
    std::string Script() { return xrtest::ReadFile(m_script); }

    const std::string m_script = PathOf("script.sql");
};

TEST_P(ScripterTest, ResultCodesWithAndWithoutAScripterAndOfWritesThatCannotBeMade) {
    char buffer[8];
    EXPECT_EQ(ScriptStop(), 501);
    EXPECT_EQ(ScriptPrint("x"), 501);
    EXPECT_EQ(ScriptWrite(13, 1, 1, 0, 0), 501);
    EXPECT_EQ(ScriptCopyAll(13), 501);
    EXPECT_EQ(ScriptGetName(13, buffer, sizeof buffer), 501);

    EXPECT_EQ(ScriptStart(m_script.c_str()), 0);
    EXPECT_EQ(ScriptStart(PathOf("other.sql").c_str()), 555);
    EXPECT_EQ(ScriptPrint("-- first"), 0);
    EXPECT_EQ(ScriptStop(), 0);
    EXPECT_EQ(ScriptStop(), 501);
    EXPECT_EQ(Script(), "-- first\n") << "the second start changed nothing";
    EXPECT_FALSE(std::filesystem::exists(PathOf("other.sql")));

    // A script that does not open: the scripter is active but writes nothing.
    EXPECT_EQ(ScriptStart(PathOf("no/such/folder/x.sql").c_str()), 1);
    EXPECT_EQ(ScriptStart(m_script.c_str()), 555);
    EXPECT_EQ(ScriptPrint("x"), 1);
    EXPECT_EQ(ScriptCopyAll(13), 1);
    EXPECT_EQ(ScriptWrite(13, -2, 0, 0, 0), 1);
    EXPECT_EQ(ScriptGetName(13, buffer, sizeof buffer), 0) << "needs no script";
    EXPECT_EQ(ScriptStop(), 0);

    ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
    for (int selector : {37, 0, 38, -1, 40}) EXPECT_EQ(ScriptWrite(selector, -1, 1, 0, 0), 1);
    // Text pasted unquoted must be a whole number; anything else fails the
    // write instead of reaching the server as SQL.
    for (const char* text : {"1; DELETE FROM Products", "", "-", "12a", " 12", "1.5"}) {
        EXPECT_EQ(ScriptWrite(1, -1, Text(text), 0, 0), 1) << text;
        EXPECT_EQ(ScriptWrite(28, -1, 1, 2, Text(text)), 1) << text;
    }
    EXPECT_EQ(ScriptWrite(1, -1, 0, 0, 0), 1) << "a null text";
    EXPECT_EQ(ScriptWrite(4, -1, 0, 0, 0), 1);
    EXPECT_EQ(ScriptWrite(13, 1, 999, 0, 0), 1) << "no such row";
    EXPECT_EQ(ScriptWrite(13, 7, 999, 0, 0), 1) << "no such mode";
    EXPECT_EQ(ScriptStop(), 0);
    EXPECT_EQ(Script(), "-- first\n") << "nothing written since";
}

TEST_P(ScripterTest, EverySelectorsTableAndCondition) {
    const struct {
        int selector;
        intptr_t a, b, c;
        const char* text;  // the DELETE mode -1 writes, without its line end
    } cases[] = {
        {1, Text("-12"), 0, 0, "DELETE FROM Products WHERE PLU=-12"},
        {2, 3, 0, 0, "DELETE FROM CfgTills WHERE TillNo=3"},
        {3, 0, 0, 0, "DELETE FROM CfgSys WHERE 1=1"},
        {4, Text("O'Brien"), 0, 0, "DELETE FROM Barcodes WHERE Barcode='O''Brien'"},
        {5, 2, Text("Kitchen"), 0, "DELETE FROM Printers WHERE TillNo=2 AND Name='Kitchen'"},
        {6, 6, 0, 0, "DELETE FROM Promos WHERE PromNo=6"},
        {7, 7, 0, 0, "DELETE FROM PayMeths WHERE PymNo=7"},
        {8, 8, 0, 0, "DELETE FROM Functions WHERE FuncNo=8"},
        {9, 1, 2, 0, "DELETE FROM TimePlanEntrys WHERE PlanNo=1 AND EntryNo=2"},
        {10, 10, 0, 0, "DELETE FROM TimePlans WHERE PlanNo=10"},
        {11, 11, 0, 0, "DELETE FROM Servers WHERE SrvNo=11"},
        {12, 12, 0, 0, "DELETE FROM Tables WHERE TblNo=12"},
        {13, 13, 0, 0, "DELETE FROM Depts WHERE DptNo=13"},
        {14, -14, 0, 0, "DELETE FROM Groups WHERE GrpNo=-14"},
        {15, 1, 5, 0, "DELETE FROM Presets WHERE ScrnNo=1 AND PresetNo=5"},
        {16, 16, 0, 0, "DELETE FROM MixMatchPlus WHERE MMNo=16"},
        {17, 17, 0, 0, "DELETE FROM Forex WHERE ForexNo=17"},
        {18, 18, 0, 0, "DELETE FROM Loyalty WHERE TillNo=18"},
        {19, 19, 0, 0, "DELETE FROM PLUModifiers WHERE ModNo=19"},
        {20, 20, 0, 0, "DELETE FROM TableGroupAreas WHERE AreaID=20"},
        {21, 21, 0, 0, "DELETE FROM ScreenModes WHERE ScrnNo=21"},
        {22, 7, 0, 0, "DELETE FROM ListHdrs WHERE ListNo=7"},
        {23, 7, 0, 9, "DELETE FROM ListItems WHERE ListNo=7"},
        {23, 7, 2, 0, "DELETE FROM ListItems WHERE ListNo=7 AND PageNo=2"},
        {23, 7, 2, 3, "DELETE FROM ListItems WHERE ListNo=7 AND PageNo=2 AND ItemNo=3"},
        {24, 24, 0, 0, "DELETE FROM Macros WHERE MacNo=24"},
        {25, Text("Colour"), 4, 0,
         "DELETE FROM SysValues WHERE FieldName='Colour' AND FieldIndex=4"},
        {26, 1, 2, 0, "DELETE FROM PresetSrvrs WHERE TillNo=1 AND Preset=2"},
        {27, 27, 0, 0, "DELETE FROM OfferGroups WHERE OfferGroupID=27"},
        {28, 1, 2, Text("5000000001"),
         "DELETE FROM OfferGroupEntries WHERE OfferGroupID=1 AND OfferGroupType=2 AND "
         "ID=5000000001"},
        {29, 29, 0, 0, "DELETE FROM Loyalty5 WHERE SchemeNo=29"},
        {30, 1, 2, 0, "DELETE FROM TableStatusLevels WHERE SchemeNo=1 AND LevelNo=2"},
        {31, Text("Hdr"), 0, 0, "DELETE FROM FlexTextHdrs WHERE [TextName]='Hdr'"},
        {32, 1, Text("It's"), 0,
         "DELETE FROM FlexTextLines WHERE [SchemeNo]=1 AND [TextName]='It''s'"},
        {33, 33, 0, 0, "DELETE FROM Customers WHERE [ID]=33"},  // customer mode 0
        {34, 34, 0, 0, "DELETE FROM Rooms WHERE [RoomNo]=34"},
        {35, 35, 0, 0, "DELETE FROM PromoPackages WHERE [PackageNo]=35"},
        {36, 36, 0, 0, "DELETE FROM TableAreas WHERE [AreaID]=36"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(m_script);
        ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
        EXPECT_EQ(ScriptWrite(c.selector, -1, c.a, c.b, c.c), 0) << c.text;
        EXPECT_EQ(ScriptStop(), 0);
        EXPECT_EQ(Script(), std::string(c.text) + "\n--->GO\n") << c.selector;
    }
}

TEST_P(ScripterTest, RowsTablesAndTextLines) {
    Exec("INSERT Groups (GrpNo, Name) VALUES (3, 'Bar'), (4, 'Food')");
    ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
    EXPECT_EQ(ScriptPrint("-- back office change 17"), 0);
    EXPECT_EQ(ScriptWrite(14, 1, 3, 0, 0), 0);
    EXPECT_EQ(ScriptWrite(14, 0, 4, 0, 0), 0);
    EXPECT_EQ(ScriptWrite(14, -2, 0, 0, 0), 0);
    EXPECT_EQ(ScriptCopyAll(14), 0);
    EXPECT_EQ(ScriptCopyAll(37), 0) << "an empty table";
    EXPECT_EQ(ScriptStop(), 0);
    EXPECT_EQ(Script(),
              "-- back office change 17\n"
              " INSERT Groups\n([GrpNo],[Name])\n VALUES (3, 'Bar')\n--->GO\n"
              " UPDATE Groups\n SET [Name]='Food'\n WHERE GrpNo=4\n--->GO\n"
              "DELETE FROM Groups\n--->GO\n"
              "-->TABLE: Groups\nDELETE FROM Groups\n--->GO\n\n"
              " INSERT Groups\n([GrpNo],[Name])\n VALUES (3, 'Bar')\n--->GO\n"
              " INSERT Groups\n([GrpNo],[Name])\n VALUES (4, 'Food')\n--->GO\n"
              "-->TABLE: Allergies\nDELETE FROM Allergies\n--->GO\n\n");

    // The script puts the table back as it was.
    Exec("DELETE FROM Groups");
    Exec("INSERT Groups (GrpNo, Name) VALUES (9, 'Gone')");
    ASSERT_EQ(DBExecSQLFile(m_script.c_str()), 1);
    EXPECT_EQ(Rows("SELECT GrpNo, Name FROM Groups ORDER BY GrpNo"),
              (std::vector<std::string>{"3|Bar", "4|Food"}));
}

// A DELETE condition puts line breaks as CHAR(10): a barcode argument gives
// the runner no line. (Rows go through the table writer, whose line breaks
// LineBreakTest runs back.)
TEST_P(ScripterTest, LineBreaksInConditionsRunAsText) {
    Exec("INSERT Products (PLU, Description) VALUES (1, 'Water')");
    ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
    EXPECT_EQ(ScriptWrite(4, -1, Text("5\n--->GO\nDELETE FROM Products --"), 0, 0), 0);
    EXPECT_EQ(ScriptStop(), 0);
    EXPECT_EQ(Script(),
              "DELETE FROM Barcodes WHERE Barcode='5' + CHAR(10) + '--->GO' + CHAR(10) + "
              "'DELETE FROM Products --'\n--->GO\n");
    xrtest::ClearLog();
    ASSERT_EQ(DBExecSQLFile(m_script.c_str()), 1);
    EXPECT_TRUE(xrtest::g_log.empty()) << xrtest::g_log.front();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "1");
}

TEST_P(ScripterTest, OnlyTheFirstListItemOfAListAndTableNames) {
    Exec("INSERT ListItems (ListNo, PageNo, ItemNo) VALUES (7, 1, 1), (7, 1, 2)");
    ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
    EXPECT_EQ(ScriptWrite(23, 1, 7, 0, 0), 0);
    EXPECT_EQ(ScriptStop(), 0);
    const std::string script = Script();
    EXPECT_PRED2(xrtest::StartsWith, script, " INSERT ListItems\n");
    EXPECT_EQ(script.find("INSERT", 2), std::string::npos) << "a second INSERT: " << script;
    // GetName fills at most the buffer.
    ASSERT_EQ(ScriptStart(m_script.c_str()), 0);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ScriptGetName(13, buffer, 6), 0);
    EXPECT_STREQ(buffer, "Depts");
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ScriptGetName(13, buffer, 3), 0);
    EXPECT_EQ(std::string(buffer, 4), "Depx") << "a name that does not fit is not terminated";
    EXPECT_EQ(ScriptGetName(38, buffer, 6), 1);
    EXPECT_EQ(ScriptGetName(13, nullptr, 6), 1);
    // The customer table follows the customer mode in force when the
    // selector's object is made.
    CScripter scripter;
    std::string name;
    EXPECT_EQ(scripter.GetTableName(33, name), 1);
    EXPECT_EQ(name, "Customers");
    CustomersSetMode(1);
    CScripter other;
    EXPECT_EQ(other.GetTableName(33, name), 1);
    CustomersSetMode(0);
    EXPECT_EQ(name, "Customers2");
    EXPECT_EQ(scripter.Write(13, -1, 1, 0, 0), 0) << "no script open";
}

TEST_P(ScripterTest, ScriptAllUsesAConnectionOfItsOwn) {
    Exec("INSERT Groups (GrpNo, Name) VALUES (5, 'Wine')");
    // The thread's connection stands in another database; ScriptAll reaches
    // LORIMDB81 on its own connection and leaves the thread's as it was.
    Exec("CREATE DATABASE OTHERDB");
    ASSERT_EQ(DBSetDefaultDB("OTHERDB"), 1);
    EXPECT_EQ(ScriptAll("LORIMDB81", ConnectString().c_str(), "Groups", m_script.c_str(), 1), 1);
    EXPECT_EQ(Script(),
              "-->TABLE: Groups\nDELETE FROM Groups\n--->GO\n"
              "SET IDENTITY_INSERT Groups ON\n--->GO\n"
              " INSERT Groups\n([GrpNo],[Name])\n VALUES (5, 'Wine')\n--->GO\n"
              "SET IDENTITY_INSERT Groups OFF\n--->GO\n");
    EXPECT_EQ(DBExec("SELECT * FROM Groups"), 0) << "the thread's connection is still in OTHERDB";

    std::filesystem::remove(m_script);
    EXPECT_EQ(ScriptAll("LORIMDB81", ConnectString().c_str(), "NoSuchTable", m_script.c_str(), 0),
              0);
    EXPECT_EQ(ScriptAll("LORIMDB81", ConnectString().c_str(), "Groups",
                        PathOf("no/such/folder.sql").c_str(), 0),
              0);
    EXPECT_EQ(ScriptAll("LORIMDB81", ConnectString().c_str(), nullptr, m_script.c_str(), 0), 0);
    EXPECT_FALSE(std::filesystem::exists(m_script));
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ScripterTest);
