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
using xr::engine::Recordset;

class TempProceduresTest : public xrtest::EngineTest {
protected:
    void SetUp() override {
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
TEST_F(TempProceduresTest, AnOpenReaderKeepsReadingTheCallersTable) {
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
TEST_F(TempProceduresTest, AnUpdatableRecordsetWritesToTheCallersTableAfterTheCall) {
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

}  // namespace
