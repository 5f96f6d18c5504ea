// The whole set-up of a new site and the default rows: what a new folder
// holds afterwards, what a second run does, the corrections of rows that
// older releases wrote, and the rows that older releases inserted by position.
#include "setup/default_data.h"

#include <filesystem>

#include "setup_fixture.h"

namespace xrtest {
namespace {

namespace fs = std::filesystem;
using xr::setup::Outcome;

class SiteTest : public SetupTest {
protected:
    // This test's folder becomes a copy of the set-up site.
    void FromTemplate() {
        DBClose();  // the template is made on a connection of its own
        const SiteTemplate& site = SiteTemplate::Get();
        Observe(m_seen);
        for (const auto& entry : fs::directory_iterator(site.Path()))
            fs::copy(entry.path(), m_dir.Path() / entry.path().filename(),
                     fs::copy_options::overwrite_existing | fs::copy_options::recursive);
        ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
        ASSERT_EQ(DBSetDefaultDB("LORIMDB81"), 1);
    }

    void RunDefaultData() {
        m_seen.clear();
        DBSetFixedData();
        DBSetMustHaveData();
    }
};

TEST_F(SiteTest, ANewSiteGetsThreeDatabasesEveryDefaultRowAndTheLogin) {
    FromTemplate();
    EXPECT_EQ(SiteTemplate::Get().m_isNew, 1);
    for (const char* db : {"LORIMDB81", "LORIMDB82", "LORIMDAX"})
        EXPECT_TRUE(fs::exists(m_dir.Path() / (std::string(db) + ".db"))) << db;
    const std::string tables = "sysobjects WHERE xtype='U' AND name <> 'BLA'";
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LORIMDB81.." + tables), "41");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LORIMDB82.." + tables), "22");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LORIMDAX.." + tables), "3");

    const std::pair<const char*, const char*> rows[] = {
        {"SELECT Name, Auth FROM Functions WHERE FuncNo=47", "EFT Manager|0"},
        {"SELECT iValue FROM SysValues WHERE FieldName='Colour' AND FieldIndex=48", "16777215"},
        {"SELECT Name, PayText, FuncNo, WithCashLimitDrawer, AccountAllow, CashDeclaration, "
         "ChangeAsCashback FROM PayMeths WHERE PymNo=1",
         "Cash|Check cash|18|-1|-1|-1|0"},
        {"SELECT Name, GrpNo, TicketsMode, '[' + ImageFilename + ']' FROM Depts WHERE DptNo=0",
         "Unassigned|0|0|[]"},
        {"SELECT Description, ScrNo, Location, Width86, Background86, Priority FROM ListHdrs "
         "WHERE ListNo=0",
         "-- No List --|0|L|40|-1|1"},
        {"SELECT Description FROM PromoPackages WHERE PackageNo=1", "Package #1"},
        // Families: how many rows, which indexes, and a telling value.
        {"SELECT COUNT(*), MIN(FieldIndex), MAX(FieldIndex) FROM SysValues WHERE "
         "FieldName='PluType'",
         "12|0|90"},
        {"SELECT sValue FROM SysValues WHERE FieldName='PriceBand' AND FieldIndex=10",
         "Price band 10"},
        {"SELECT COUNT(*), SUM(iValue) FROM SysValues WHERE FieldName='ColourInitial'",
         "32|296473482"},
        {"SELECT iValue FROM SysValues WHERE FieldName='Colour' AND FieldIndex=2", "11010048"},
        {"SELECT COUNT(*), MIN(iValue), MAX(iValue) FROM SysValues WHERE FieldName='Category'",
         "101|3|3"},
        {"SELECT COUNT(*), SUM(iValue) FROM SysValues WHERE FieldName='AgeVerify'", "4|80"},
        // The numbered families, each from its first number to its last.
        {"SELECT COUNT(*), MAX(sValue) FROM SysValues WHERE FieldName='TextScheme'", "6|Scheme 5"},
        {"SELECT COUNT(*) FROM SysValues WHERE FieldName='Colour'", "48"},
        {"SELECT COUNT(*) FROM SysValues WHERE FieldName='TableStatusAutoAnalysis'", "99"},
        {"SELECT COUNT(*) FROM SysValues WHERE FieldName LIKE 'PAIDIO.%'", "40"},
        {"SELECT COUNT(*), MAX(AreaName) FROM TableGroupAreas", "6|Area 6"},
        {"SELECT COUNT(*) FROM TableStatusLevels WHERE SchemeNo=0", "31"},
        {"SELECT Text FROM TableStatusLevels WHERE LevelNo=30", "Status 30"},
        {"SELECT [Default] FROM FlexTextHdrs WHERE TextName='AgeVerifyPrompt'",
         "Is the customer %d or more?"},
        {"SELECT '[' + [Default] + ']' FROM FlexTextHdrs WHERE TextName='HotelVoucherAcc'",
         "[ ACC  :]"},
        {"SELECT [Default] FROM FlexTextHdrs WHERE TextName='CR_VoidsAfter'", "Voids after${D}"},
        // Functions: a row for every number that stands in the table, none for the gaps.
        {"SELECT COUNT(*) FROM Functions", "211"},
        {"SELECT COUNT(*) FROM Functions WHERE FuncNo IN (37, 69, 135, 152, 199, 216, 314, 407, "
         "410, 422, 423, 428, 429, 434, 439, 443, 8999)",
         "0"},
        {"SELECT Auth FROM Functions WHERE FuncNo=431", "8"},
        {"SELECT Name, Auth, Password, Audit, Log, Auditable FROM Functions WHERE FuncNo=9001",
         "User Function 2|0|0|0|0|-1"},
        {"SELECT Name FROM Functions WHERE FuncNo=106", "Table Grouping"},
    };
    for (const auto& [query, expected] : rows) EXPECT_EQ(Scalar(query), expected) << query;

    // The default data's steps each made their row, except the inserts kept
    // for older releases, which the newest tables refuse.
    const std::vector<Seen>& seen = SiteTemplate::Get().m_defaultData;
    ASSERT_FALSE(seen.empty());
    std::vector<std::string> failed;
    for (const Seen& s : seen) {
        if (s.outcome == Outcome::Done) continue;
        if (s.outcome == Outcome::AlreadyThere) {
            // List A wrote function 106 first.
            EXPECT_EQ(s.sql, "INSERT Functions VALUES (106, 'Table Grouping', 0, 0, 0, 0, 1)");
            continue;
        }
        EXPECT_NE(s.tag.find(".byPosition"), std::string::npos) << s.sql << ": " << s.error;
        EXPECT_NE(s.error.find("number of supplied values"), std::string::npos) << s.error;
        failed.push_back(s.label);
    }
    EXPECT_EQ(failed, (std::vector<std::string>{"ListHdrs", "PayMeths", "Depts"}));

    // The read-only login is there, its password nowhere.
    EXPECT_EQ(DBExec("EXEC sp_addlogin 'BrantUK', 'other','LorimDB81'"), 0);
    EXPECT_NE(LastError().second.find("already exists"), std::string::npos) << LastError().second;
    EXPECT_EQ(DBExec("EXEC sp_addrolemember 'db_datareader',BrantUK"), 0);  // a member already

    DBClose();
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
        EXPECT_EQ(ReadFile(entry.path()).find("marigold"), std::string::npos) << entry.path();
}

// Rows written or changed by older releases, and what every run does to them.
TEST_F(SiteTest, RowsOfOlderReleasesAreCorrected) {
    FromTemplate();
    const char* const before[] = {
        "UPDATE Functions SET Name='Table release' WHERE FuncNo=8",
        "INSERT Functions VALUES (37, 'Old key', 0, 0, 0, 0, 1), "
        "(407, 'Old utility', 0, 0, 0, 0, 1), (135, 'Set Room', 0, 0, 0, 0, 1)",
        "UPDATE Functions SET Name='Hotel', Auth=4 WHERE FuncNo=41",
        "UPDATE Functions SET Auth=6 WHERE FuncNo=40",
        "UPDATE SysValues SET iValue=17 WHERE FieldName='AgeVerify' AND FieldIndex=1",
        "UPDATE SysValues SET iValue=30 WHERE FieldName='AgeVerify' AND FieldIndex=4",
        "UPDATE SysValues SET sValue='Extra' WHERE FieldName='PluType' AND FieldIndex=20",
        "UPDATE SysValues SET sValue='Mine' WHERE FieldName='PluType' AND FieldIndex=40",
        "UPDATE SysValues SET sValue='Mine' WHERE FieldName='Category' AND FieldIndex=100",
        "INSERT FlexTextHdrs VALUES ('TestText7', 'x', 'x', 0)",
        "INSERT FlexTextLines VALUES (0, 'TestText7', 'x'), (0, 'DrawerExport', 'x')",
        "UPDATE FlexTextHdrs SET Description='Old', [Default]='SITE' WHERE TextName='BILL_Server'",
        "INSERT CfgTills (TillNo, PrcDflt) VALUES (4, 0)",
        "UPDATE Depts SET Name='Misc', GrpNo=3 WHERE DptNo=0",
    };
    for (const char* sql : before) Exec(sql);
    RunDefaultData();
    const std::pair<const char*, const char*> after[] = {
        {"SELECT Name FROM Functions WHERE FuncNo=8", "Table Release"},
        {"SELECT COUNT(*) FROM Functions WHERE FuncNo IN (37, 135, 407)", "0"},
        {"SELECT Name, Auth FROM Functions WHERE FuncNo=41", "HOTEL ROOM MANUAL ENTRY|4"},
        {"SELECT Auth FROM Functions WHERE FuncNo=47", "0"},
        {"SELECT iValue FROM SysValues WHERE FieldName='AgeVerify' AND FieldIndex=1", "16"},
        {"SELECT iValue FROM SysValues WHERE FieldName='AgeVerify' AND FieldIndex=4", "30"},
        {"SELECT sValue FROM SysValues WHERE FieldName='PluType' AND FieldIndex=20", "Condiment"},
        {"SELECT sValue FROM SysValues WHERE FieldName='PluType' AND FieldIndex=40", "Mine"},
        {"SELECT sValue FROM SysValues WHERE FieldName='Category' AND FieldIndex=100",
         "System default"},
        {"SELECT COUNT(*) FROM FlexTextHdrs WHERE TextName LIKE 'TestText%'", "0"},
        {"SELECT COUNT(*) FROM FlexTextLines", "0"},
        {"SELECT Description, [Default] FROM FlexTextHdrs WHERE TextName='BILL_Server'",
         "Word for Server on bill|SITE"},
        {"SELECT PrcDflt FROM CfgTills WHERE TillNo=4", "1"},
        {"SELECT Name, GrpNo FROM Depts WHERE DptNo=0", "Unassigned|0"},
    };
    for (const auto& [query, expected] : after) EXPECT_EQ(Scalar(query), expected) << query;

    // Function 47 was once a second 'SYSTEM' key: while it still is, it takes
    // the manager's level; a 'Set Room' 135 goes, any other 135 stays.
    Exec("UPDATE Functions SET Auth=6 WHERE FuncNo=40");
    Exec("UPDATE Functions SET Name='SYSTEM', Auth=2 WHERE FuncNo=47");
    Exec("INSERT Functions VALUES (135, 'Guest folio', 0, 0, 0, 0, 1)");
    DBSetMustHaveData();
    EXPECT_EQ(Scalar("SELECT Name, Auth FROM Functions WHERE FuncNo=47"), "SYSTEM|6");
    EXPECT_EQ(Scalar("SELECT Name FROM Functions WHERE FuncNo=135"), "Guest folio");

    Exec("UPDATE Functions SET Name='Tips', Auth=2 WHERE FuncNo=47");
    DBSetMustHaveData();
    EXPECT_EQ(Scalar("SELECT Name, Auth FROM Functions WHERE FuncNo=47"), "Tips|2");
}

// A configuration database of an older release, whose tables still have only
// the columns these rows were written for: the inserts by position make the
// rows, and the inserts that name the columns find them there.
TEST_F(SiteTest, OnAnOlderSchemaThePositionalInsertsMakeTheRows) {
    MakeConfigurationDb();
    Exec(
        "CREATE TABLE ListHdrs (ListNo INTEGER NOT NULL, Description VARCHAR(40) DEFAULT '***' "
        "NOT NULL, Rows INTEGER DEFAULT 0 NOT NULL, Cols INTEGER DEFAULT 0 NOT NULL, NPages "
        "INTEGER DEFAULT 0 NOT NULL, Staydown INTEGER DEFAULT 0 NOT NULL, Link INTEGER DEFAULT 0 "
        "NOT NULL, SelMin INTEGER DEFAULT 0 NOT NULL, SelMax INTEGER DEFAULT 0 NOT NULL, ScrNo "
        "INTEGER DEFAULT 1 NOT NULL, Location VARCHAR(5) DEFAULT 'L' NOT NULL, V$Dirty BIT "
        "DEFAULT 0 NOT NULL)");
    Exec("ALTER TABLE ListHdrs ADD CONSTRAINT ListHdrsPrimary PRIMARY KEY (ListNo)");
    Exec(
        "CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER DEFAULT 1 NOT NULL, Name "
        "VARCHAR(40) DEFAULT 'DeptName' NOT NULL, Tickets INTEGER DEFAULT 0 NOT NULL, QtyDP BIT "
        "DEFAULT 0 NOT NULL, ValNeg BIT DEFAULT 0 NOT NULL, NonTurnover INTEGER DEFAULT 0 NOT "
        "NULL, SpecimenLearnPLU BIGINT DEFAULT 0 NOT NULL, TicketsMode INTEGER DEFAULT -1 NOT "
        "NULL)");
    Exec("ALTER TABLE Depts ADD CONSTRAINT DeptsPrimary PRIMARY KEY (DptNo)");
    RunDefaultData();

    std::vector<std::string> made;
    for (const Seen& s : m_seen) {
        if (s.label != "ListHdrs" && s.label != "Depts") continue;
        if (s.tag.find(".byPosition") != std::string::npos) {
            EXPECT_EQ(s.outcome, Outcome::Done) << s.sql << ": " << s.error;
            made.push_back(s.label);
        } else if (s.sql.rfind("INSERT", 0) == 0) {
            EXPECT_EQ(s.outcome, Outcome::AlreadyThere) << s.sql << ": " << s.error;
        }
    }
    EXPECT_EQ(made, (std::vector<std::string>{"ListHdrs", "Depts"}));
    EXPECT_EQ(Scalar("SELECT Description, ScrNo FROM ListHdrs"), "-- No List --|0");
    EXPECT_EQ(Scalar("SELECT Name, GrpNo, TicketsMode FROM Depts"), "Unassigned|0|0");
}

}  // namespace
}  // namespace xrtest
