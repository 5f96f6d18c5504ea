// A procedure making its own #table while the caller has a recordset open on
// the caller's table of that name: what a conformance file cannot show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using xr::Variant;
using xr::engine::Connection;
using xr::engine::Recordset;

class TempProceduresTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE DATABASE SHOP");
        m_conn.Execute("USE SHOP");
        m_conn.Execute(
            "CREATE PROCEDURE MakeOwn AS CREATE TABLE #t (Code VARCHAR(5)) INSERT INTO #t "
            "VALUES ('own') SELECT Code FROM #t");
        m_conn.Execute(
            "CREATE TABLE #t (A INT PRIMARY KEY, B VARCHAR(10)) INSERT INTO #t VALUES (1, 'one') "
            "INSERT INTO #t VALUES (2, 'two') INSERT INTO #t VALUES (3, 'three')");
    }
};

// A forward-only recordset read halfway goes on with the caller's rows after
// the procedure has made and dropped its own #t.
TEST_P(TempProceduresTest, AnOpenReaderKeepsReadingTheCallersTable) {
    Recordset rs;
    rs.Open(m_conn, "SELECT A, B FROM #t ORDER BY A", xr::engine::adOpenForwardOnly,
            xr::engine::adLockReadOnly);
    EXPECT_EQ(rs.Value(0).ToI4(), 1);
    rs.MoveNext();
    EXPECT_EQ(xrtest::Rows(m_conn, "EXEC MakeOwn"), (std::vector<std::string>{"own"}));
    EXPECT_EQ(rs.Value(0).ToI4(), 2);
    rs.MoveNext();
    EXPECT_EQ(rs.Value(1).ToText(), "three");
    rs.MoveNext();
    EXPECT_TRUE(rs.EndOfFile());
    rs.Close();
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM #t"), (std::vector<std::string>{"3"}));
}

// An updatable recordset opened before the call writes to the caller's table
// after it.
TEST_P(TempProceduresTest, AnUpdatableRecordsetWritesToTheCallersTableAfterTheCall) {
    Recordset rs;
    rs.Open(m_conn, "SELECT A, B FROM #t ORDER BY A", xr::engine::adOpenKeyset,
            xr::engine::adLockOptimistic);
    EXPECT_EQ(xrtest::Rows(m_conn, "EXEC MakeOwn"), (std::vector<std::string>{"own"}));
    rs.SetValue("B", Variant::Text("uno"));
    rs.Update();
    rs.AddNew();
    rs.SetValue("A", Variant::I4(4));
    rs.SetValue("B", Variant::Text("four"));
    rs.Update();
    rs.Close();
    EXPECT_EQ(Rows("SELECT B FROM #t ORDER BY A"),
              (std::vector<std::string>{"uno", "two", "three", "four"}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM tempdb..sysobjects WHERE name LIKE '#t[_]%'"),
              (std::vector<std::string>{"1"}));
}

// sp_help in tempdb shows a #table by the padded name tempdb's catalog has
// for it, a user table of dbo's.
TEST_P(TempProceduresTest, HelpInTempdbShowsThePaddedName) {
    m_conn.Execute("USE tempdb");
    std::vector<std::string> rows = xrtest::Rows(m_conn, "EXEC sp_help '#t'");
    ASSERT_EQ(rows.size(), 1u);
    const std::string name = rows[0].substr(0, rows[0].find('|'));
    EXPECT_EQ(name.size(), 128u);
    EXPECT_EQ(name.rfind("#t___", 0), 0u);
    EXPECT_NE(rows[0].find("|dbo|user table|"), std::string::npos) << rows[0];
    m_conn.Execute("USE SHOP");
}

XRTEST_ON_EVERY_ENGINE(TempProceduresTest);

}  // namespace
