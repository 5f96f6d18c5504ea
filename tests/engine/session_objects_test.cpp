// #tables, ##tables and procedures where a conformance file cannot show them:
// a connection closed while another goes on, the files of the folder, another
// server, and recordsets open on EXEC or across a procedure's own #table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/postgres/pg_backend.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using xr::Variant;
using namespace xr::engine;
using xrtest::Engine;
using xrtest::ErrorOf;
using Lines = std::vector<std::string>;

class ShopTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE DATABASE SHOP USE SHOP");
    }
};

// The database files of the folder, and any file named after tempdb.
Lines DatabaseFiles(const std::filesystem::path& folder) {
    Lines names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        std::string upper = e.path().filename().string();
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("TEMP") != std::string::npos || e.path().extension() == ".db")
            names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(ShopTest, TempTableEndsWithItsConnectionAndLeavesNoFile) {
    const Lines before = DatabaseFiles(m_server.Dir().Path());
    m_conn.Execute("CREATE TABLE #t (ID INT IDENTITY PRIMARY KEY, Name VARCHAR(20))");
    m_conn.Execute("CREATE INDEX IX_t ON #t (Name)");
    m_conn.Execute("INSERT INTO #t (Name) SELECT 'a' INSERT INTO #t (Name) SELECT 'b'");
    m_conn.Execute("SELECT * INTO #copy FROM #t");
    // Another connection's #t of the same name goes with that connection only.
    Connection other;
    other.Open(ConnectString());
    other.Execute("CREATE TABLE #t (A INT) INSERT INTO #t VALUES (2)");
    other.Close();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #copy"), "2");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #t"), "2");
    m_conn.Close();
    // Nothing of tempdb reached the folder, and the database files hold no trace.
    EXPECT_EQ(DatabaseFiles(m_server.Dir().Path()), before);
    m_conn.Open(ConnectString());
    m_conn.Execute("USE SHOP");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM #t"), "Invalid object name '#t'.");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name LIKE '#%'"), "0");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM tempdb..sysobjects WHERE name LIKE '#%'"), "0");
    // The name is free again.
    m_conn.Execute("CREATE TABLE #t (Other INT)");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #t"), "0");
}

// ---- procedures --------------------------------------------------------------

TEST_P(ShopTest, RecordsetOnExecReadsTheFirstResultSetAndHelpTextGivesALineARow) {
    m_conn.Execute("CREATE TABLE Item (ID INT NOT NULL PRIMARY KEY, Name VARCHAR(20))");
    m_conn.Execute(
        "INSERT INTO Item VALUES (1, 'Tea') INSERT INTO Item VALUES (2, 'Coffee') INSERT "
        "INTO Item VALUES (3, 'Cake')");
    m_conn.Execute(
        "CREATE PROCEDURE Lists @min INT AS SELECT ID, Name FROM Item WHERE ID >= @min ORDER BY "
        "ID SELECT COUNT(*) AS Total FROM Item");
    Recordset rs;
    rs.Open(m_conn, "EXEC Lists 2", adOpenStatic, adLockReadOnly);
    ASSERT_EQ(rs.FieldCount(), 2u);
    EXPECT_EQ(rs.FieldName(1), "Name");
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Value("Name").ToText(), "Coffee");
    rs.MoveNext();
    EXPECT_EQ(rs.Value(0).ToI4(), 3);
    rs.MoveNext();
    EXPECT_TRUE(rs.EndOfFile());
    rs.Close();
    // A procedure whose first statement gives no rows: the first result set
    // is still the first SELECT's.
    m_conn.Execute(
        "CREATE PROCEDURE Later AS DECLARE @n INT SET @n = 1 UPDATE Item SET Name = Name WHERE "
        "ID = @n SELECT Name FROM Item WHERE ID = 3");
    rs.Open(m_conn, "Later", adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs.Value(0).ToText(), "Cake");
    m_conn.Execute("-- header\r\nCREATE PROCEDURE Lines AS\r\nSELECT 1\nSELECT 2");
    auto result = m_conn.Query("EXEC sp_helptext 'Lines'");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Column(0).name, "Text");
    Lines rows;
    while (result->Next()) rows.push_back(result->Value(0).ToText());
    EXPECT_EQ(rows,
              (Lines{"-- header\r\n", "CREATE PROCEDURE Lines AS\r\n", "SELECT 1\n", "SELECT 2"}));
}

// A procedure making its own #t while the caller has a recordset open on the
// caller's #t.
class TempProcedures : public ShopTest {
protected:
    void SetUp() override {
        ShopTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Execute(
            "CREATE PROCEDURE MakeOwn AS CREATE TABLE #t (Code VARCHAR(5)) INSERT INTO #t "
            "VALUES ('own') SELECT Code FROM #t");
        m_conn.Execute(
            "CREATE TABLE #t (A INT PRIMARY KEY, B VARCHAR(10)) INSERT INTO #t VALUES (1, 'one') "
            "INSERT INTO #t VALUES (2, 'two') INSERT INTO #t VALUES (3, 'three')");
    }
};

TEST_P(TempProcedures, OpenRecordsetsKeepUsingTheCallersTableWhichHelpShowsPadded) {
    Recordset rs;
    rs.Open(m_conn, "SELECT A, B FROM #t ORDER BY A", adOpenForwardOnly, adLockReadOnly);
    EXPECT_EQ(rs.Value(0).ToI4(), 1);
    rs.MoveNext();
    EXPECT_EQ(Rows("EXEC MakeOwn"), Lines{"own"});
    EXPECT_EQ(rs.Value(0).ToI4(), 2);
    rs.MoveNext();
    EXPECT_EQ(rs.Value(1).ToText(), "three");
    rs.MoveNext();
    EXPECT_TRUE(rs.EndOfFile());
    rs.Close();
    // An updatable one writes to the caller's table after the call.
    rs.Open(m_conn, "SELECT A, B FROM #t ORDER BY A", adOpenKeyset, adLockOptimistic);
    EXPECT_EQ(Rows("EXEC MakeOwn"), Lines{"own"});
    rs.SetValue("B", Variant::Text("uno"));
    rs.AddNew();  // stores the change first
    rs.SetValue("A", Variant::I4(4));
    rs.SetValue("B", Variant::Text("four"));
    rs.Update();
    rs.Close();
    EXPECT_EQ(Rows("SELECT B FROM #t ORDER BY A"), (Lines{"uno", "two", "three", "four"}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM tempdb..sysobjects WHERE name LIKE '#t[_]%'"), Lines{"1"});
    // sp_help in tempdb shows the #table by the padded name tempdb's catalog
    // has for it, a user table of dbo's.
    m_conn.Execute("USE tempdb");
    Lines rows = Rows("EXEC sp_help '#t'");
    ASSERT_EQ(rows.size(), 1u);
    const std::string name = rows[0].substr(0, rows[0].find('|'));
    EXPECT_EQ(name.size(), 128u);
    EXPECT_EQ(name.rfind("#t___", 0), 0u);
    EXPECT_NE(rows[0].find("|dbo|user table|"), std::string::npos) << rows[0];
}

// A ##table goes when its creator closes, not when another connection does.
TEST_P(ShopTest, AGlobalTableGoesWithItsCreatorOnlyAndAnotherServerHasItsOwn) {
    Connection creator;
    creator.Open(ConnectString());
    creator.Execute("CREATE TABLE ##work (A INT) INSERT INTO ##work VALUES (7)");
    creator.Execute("SELECT * INTO ##copy FROM ##work");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##copy"), "1");
    // The other connection keeps using it while the creator is open.
    m_conn.Execute("INSERT INTO ##work VALUES (8)");
    creator.Close();
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM ##work"), "Invalid object name '##work'.");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM ##copy"), "Invalid object name '##copy'.");
    EXPECT_EQ(Scalar("SELECT CASE WHEN OBJECT_ID('tempdb..##work') IS NULL THEN 'gone' END"),
              "gone");
    // The name is free again.
    m_conn.Execute("CREATE TABLE ##work (B VARCHAR(5))");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##work"), "0");

    Connection reader;
    reader.Open(ConnectString());
    m_conn.Execute("CREATE TABLE ##kept (A INT) INSERT INTO ##kept VALUES (3)");
    EXPECT_EQ(xrtest::Rows(reader, "SELECT A FROM ##kept"), Lines{"3"});
    reader.Close();
    EXPECT_EQ(Scalar("SELECT A FROM ##kept"), "3");
    // Dropped by another connection, it is not dropped again at close.
    Connection dropper;
    dropper.Open(ConnectString());
    dropper.Execute("DROP TABLE ##kept");
    dropper.Execute("CREATE TABLE ##kept (Other INT) INSERT INTO ##kept VALUES (4)");
    xrtest::TestServer elsewhere{GetParam()};
    Connection other;
    other.Open(elsewhere.ConnectString());
    m_conn.Execute("CREATE TABLE ##mine (A INT)");
    EXPECT_EQ(ErrorOf(other, "SELECT * FROM ##mine"), "Invalid object name '##mine'.");
    other.Execute("CREATE TABLE ##mine (B INT)");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##mine"), "0");
    m_conn.Close();
    EXPECT_EQ(xrtest::Rows(dropper, "SELECT Other FROM ##kept"), Lines{"4"});
}

// On the server engine a ##table is a table of the server: when the session
// that made it dies without closing (its process killed), the next session
// that names a ##table drops it.
TEST(GlobalTempServer, TableOfADeadSessionGoes) {
    xrtest::TestServer server{xrtest::Engine::Postgres};
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    Connection creator;
    creator.Open(server.ConnectString());
    creator.Execute("CREATE TABLE ##orphan (A INT) INSERT INTO ##orphan VALUES (1)");
    {
        // The creator's server process ends from under it, as when its
        // process is killed: it never gets to drop the table.
        xr::engine::postgres::PgLink admin(
            xr::engine::ConnectionString::Parse(server.ConnectString()), false);
        auto killed = admin.Select(
            "SELECT count(*) FILTER (WHERE pg_terminate_backend(pid, 10000)) FROM "
            "pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid() AND "
            "application_name = 'xrdb8'");
        ASSERT_EQ(killed.at(0).at(0), "1");
    }
    Connection next;
    next.Open(server.ConnectString());
    EXPECT_EQ(ErrorOf(next, "SELECT * FROM ##orphan"), "Invalid object name '##orphan'.");
    next.Execute("CREATE TABLE ##orphan (B VARCHAR(5))");
    EXPECT_EQ(xrtest::Rows(next, "SELECT COUNT(*) FROM ##orphan"), Lines{"0"});
    // The dead session's connection fails clearly and closes.
    EXPECT_NE(ErrorOf(creator, "SELECT 1"), "");
    creator.Close();
    EXPECT_EQ(xrtest::Rows(next, "SELECT COUNT(*) FROM ##orphan"), Lines{"0"});
}

// ---- views of another session -------------------------------------------------
// On the server engine; the embedded engine does not yet see another
// connection's ALTER or DROP VIEW (a view's rows change, not the file's schema
// version it watches). The sessions' tables and indexes:
// tsql/conformance/engine_sessions.test.

// Sessions a (the test's connection) and b in SHOP, whose Items holds 1 Tea, 2 Coffee.
class ViewSessions : public ShopTest {
protected:
    void SetUp() override {
        ShopTest::SetUp();
        if (IsSkipped()) return;
        a.Execute("CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) NULL)");
        a.Execute("INSERT Items VALUES (1, 'Tea') INSERT Items VALUES (2, 'Coffee')");
        b.Open(ConnectString());
        b.Execute("USE SHOP");
    }
    Connection& a = m_conn;
    Connection b;
};

TEST_P(ViewSessions, AnotherSessionReadsAndWritesTheViewAsItNowIs) {
    a.Execute("CREATE VIEW Cheap AS SELECT No, Name FROM Items WHERE No < 2");
    EXPECT_EQ(xrtest::Rows(b, "SELECT Name FROM Cheap"), (Lines{"Tea"}));
    a.Execute("ALTER VIEW Cheap AS SELECT No, Name FROM Items WHERE No > 1");
    EXPECT_EQ(xrtest::Rows(b, "SELECT Name FROM Cheap"), (Lines{"Coffee"}));
    a.Execute("DROP VIEW Cheap");
    EXPECT_EQ(ErrorOf(b, "SELECT Name FROM Cheap"), "Invalid object name 'Cheap'.");
    // The name is free again for either session.
    b.Execute("CREATE TABLE Cheap (A INT NULL)");
    EXPECT_EQ(xrtest::Rows(a, "SELECT COUNT(*) FROM Cheap"), (Lines{"0"}));

    // It writes through a view as it now is too.
    a.Execute(
        "CREATE VIEW Named AS SELECT No, Name FROM Items WHERE Name IS NOT NULL WITH CHECK "
        "OPTION");
    b.Execute("UPDATE Named SET Name = 'Green tea' WHERE No = 1");
    EXPECT_PRED2(xrtest::Has, ErrorOf(b, "INSERT INTO Named (No) VALUES (3)"), "WITH CHECK OPTION");
    EXPECT_EQ(xrtest::Rows(a, "SELECT No, Name FROM Items ORDER BY No"),
              (Lines{"1|Green tea", "2|Coffee"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ViewSessions, ::testing::Values(Engine::Postgres),
                         [](const auto& info) { return xrtest::EngineName(info.param); });

XRTEST_ON_EVERY_ENGINE(ShopTest);
XRTEST_ON_EVERY_ENGINE(TempProcedures);

}  // namespace
