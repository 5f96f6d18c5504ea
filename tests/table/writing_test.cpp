// Record writing: adding, storing, cancelling and deleting rows, statements,
// identity values, and copying rows between table objects.
#include "table_fixture.h"

namespace {

using xrtest::CAnyTable;
using xrtest::CDept;
using xrtest::TableTest;

class WritingTest : public TableTest {};

TEST_P(WritingTest, AddNewAndUpdateStoreANewRowCancelUpdateDropsItAndAKeyViolationIsLogged) {
    MakeDepts({"Bar"});
    CDept d;
    EXPECT_EQ(d.AddNew(), 0) << "not open";
    ASSERT_EQ(d.OpenRS("SELECT * FROM Depts"), 1);
    ASSERT_EQ(d.AddNew(), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d", d.m_toCalls, d.m_newRecord, d.m_def.DptNo), "1|1|0")
        << "a new row, read once, as zeros";
    d.m_def = {.DptNo = 7, .GrpNo = 2, .Name = "Cellar", .Price = 1999, .Days = 2};
    ASSERT_EQ(d.Update(1), 1);
    EXPECT_EQ(d.m_vOnlySeen, 1) << "m_vOnly is set before StructureFrom runs";
    EXPECT_EQ(d.m_vOnly, 1);
    EXPECT_EQ(d.m_newRecord, 1) << "stays until the next open";
    EXPECT_EQ(Scalar("SELECT Name, Price, Tuesday FROM Depts WHERE DptNo=7"), "Cellar|19.99|-1");
    ASSERT_EQ(d.OpenRS("SELECT * FROM Depts"), 1);
    EXPECT_EQ(d.m_newRecord, 0);
    // CancelUpdate drops only a new row.
    CDept c;
    EXPECT_EQ(c.CancelUpdate(), 0);
    ASSERT_EQ(c.MoveFirst(), 1);
    EXPECT_EQ(c.CancelUpdate(), 0) << "no new row pending";
    ASSERT_EQ(c.AddNew(), 1);
    c.SetField("DptNo", 9);
    EXPECT_EQ(c.CancelUpdate(), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "2");
    // A key violation is logged and the pending row dropped.
    ASSERT_EQ(d.AddNew(), 1);
    d.m_def = {.DptNo = 7, .Name = "Again"};
    xrtest::ClearLog();
    EXPECT_EQ(d.Update(), 0);
    const auto lines = xrtest::LinesStarting("Table [Depts] error ");
    ASSERT_EQ(lines.size(), 1u);
    const int code = LastErrorCode();
    EXPECT_EQ(lines[0], xr::Format("Table [Depts] error %08x %s\n", static_cast<unsigned>(code),
                                   xr::ComError::MessageText(code).c_str()));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "2");
    EXPECT_EQ(Scalar("SELECT Name FROM Depts WHERE DptNo=7"), "Cellar");
    // The object goes on working.
    ASSERT_EQ(d.MoveFirst(), 1);
    EXPECT_EQ(d.m_def.DptNo, 1);
}

TEST_P(WritingTest, DeleteAllExecAndGetIdentityLeaveTheObjectClosed) {
    Exec("CREATE TABLE Barcodes (Barcode VARCHAR(20) NOT NULL, PLU BIGINT)");
    Exec("INSERT Barcodes VALUES ('1', 1) INSERT Barcodes VALUES ('2', 2)");
    CAnyTable b("Barcodes", "Barcode");
    ASSERT_EQ(b.MoveFirst(), 1);
    EXPECT_EQ(b.DeleteAll(), 1);
    EXPECT_FALSE(b.IsOpen());
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Barcodes"), "0");
    EXPECT_EQ(CAnyTable("").DeleteAll(), 0);
    xrtest::ClearLog();
    EXPECT_EQ(b.Exec("INSERT Barcodes VALUES ('3', 3)"), 1);
    EXPECT_EQ(b.Exec("INSERT NoSuchTable VALUES (1)"), 0);
    EXPECT_FALSE(xrtest::LinesStarting("Error at 21").empty());
    // GetIdentity gives the last generated value, and closes the object too.
    Exec("CREATE TABLE Customers (ID INTEGER IDENTITY, LastName VARCHAR(40))");
    CAnyTable c("Customers", "ID");
    ASSERT_EQ(c.OpenRS("SELECT * FROM Customers"), 1);
    for (const char* name : {"Smith", "Jones"}) {
        ASSERT_EQ(c.AddNew(), 1);
        ASSERT_EQ(c.SetField("LastName", name), 1);
        ASSERT_EQ(c.Update(), 1);
    }
    EXPECT_EQ(c.GetIdentity(), 2);
    EXPECT_FALSE(c.IsOpen());
    MakeDepts({"Bar"});
    CDept d;
    ASSERT_EQ(d.MoveFirst(), 1);
    xrtest::ClearLog();
    EXPECT_EQ(d.GetIdentity(), 0) << "no identity column";
    EXPECT_FALSE(d.IsOpen());
    EXPECT_EQ(xrtest::LinesStarting("Table [Depts] error").size(), 1u);
    CAnyTable quoted("O'Neil");  // a name with a quote makes no broken statement
    EXPECT_EQ(quoted.GetIdentity(), 0);
}

TEST_P(WritingTest, CopyFromKeepsNullsOutAndCopyFromCloneCopiesThem) {
    MakeDepts({"Bar", "Food"});
    Exec("UPDATE Depts SET Name = NULL WHERE DptNo = 2");
    CDept source;
    ASSERT_EQ(source.MoveFirst("SELECT * FROM Depts WHERE DptNo=2"), 1);
    CDept target;
    ASSERT_EQ(target.OpenRS("SELECT * FROM Depts"), 1);
    ASSERT_EQ(target.AddNew(), 1);
    ASSERT_EQ(target.SetField("Name", "Keep"), 1);
    const int calls = target.m_toCalls;
    ASSERT_EQ(target.CopyFrom(source), 1);
    EXPECT_EQ(target.m_toCalls, calls + 1);
    EXPECT_STREQ(target.m_def.Name, "Keep") << "NULL in the source leaves the target";
    ASSERT_EQ(target.SetField("DptNo", 5), 1);
    target.m_def.DptNo = 5;
    ASSERT_EQ(target.Update(), 1);
    EXPECT_EQ(Scalar("SELECT Price FROM Depts WHERE DptNo=5"), "2.5");

    // Duplicating a row through the clone overwrites with NULL as well.
    CDept d;
    ASSERT_EQ(d.OpenTable(), 1);
    EXPECT_EQ(d.CopyFromClone(), 0) << "no clone yet";
    ASSERT_EQ(d.Clone(), 1);
    d.m_pClone->MoveNext();  // the clone on DptNo 2, whose Name is NULL
    ASSERT_EQ(d.AddNew(), 1);
    ASSERT_EQ(d.SetField("Name", "Gone"), 1);
    const int before = d.m_toCalls;
    ASSERT_EQ(d.CopyFromClone(), 1);
    EXPECT_EQ(d.m_toCalls, before) << "no StructureTo after copying from the clone";
    EXPECT_EQ(xr::Format("%d|%d", d.IsNull("Name"), d.IsSet("GrpNo")), "1|0");
}

// The script forms are the writer's (interchange WriterTest) and replaying a
// change log is LineBreakTest's; here: the log follows the object's writes
// until it is stopped.
TEST_P(WritingTest, ScriptingFollowsEveryChangeUntilStopped) {
    MakeDepts({"Bar"});
    const std::string path = PathOf("changes.sql");
    CDept d;
    ASSERT_EQ(d.AAScriptAuto(path.c_str()), 1);
    ASSERT_NE(d.m_script, nullptr);
    ASSERT_EQ(d.MoveFirst("SELECT * FROM Depts WHERE DptNo=1"), 1);
    d.m_def.GrpNo = 3;
    ASSERT_EQ(d.Update(), 1);
    ASSERT_EQ(d.Delete(), 1);
    ASSERT_EQ(d.AAScriptAuto(static_cast<std::FILE*>(nullptr)), 1);
    EXPECT_EQ(d.m_script, nullptr);
    ASSERT_EQ(d.OpenRS("SELECT * FROM Depts"), 1);
    ASSERT_EQ(d.AddNew(), 1);
    d.m_def.DptNo = 4;
    ASSERT_EQ(d.Update(), 1);  // no longer scripted
    EXPECT_EQ(xrtest::ReadFile(path),
              "-->TABLE: Depts\n"
              " UPDATE Depts\n"
              " SET [GrpNo]=3, [Name]='Bar', [Price]=1.5, [Monday]=0, [Tuesday]=0\n"
              " WHERE DptNo=1\n"
              "--->GO\n"
              "DELETE FROM Depts WHERE DptNo=1\n"
              "--->GO\n");
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(WritingTest);
