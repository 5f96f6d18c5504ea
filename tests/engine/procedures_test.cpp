// Stored procedures where a conformance file cannot show it: a recordset
// opened on EXEC, and a procedure another connection changes or drops while
// this one holds its parsed form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using xr::ComError;
using xr::engine::Connection;
using xr::engine::Recordset;

class ProceduresTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE DATABASE SHOP");
        m_conn.Execute("USE SHOP");
        m_conn.Execute("CREATE TABLE Item (ID INT NOT NULL PRIMARY KEY, Name VARCHAR(20))");
        m_conn.Execute(
            "INSERT INTO Item VALUES (1, 'Tea') INSERT INTO Item VALUES (2, 'Coffee') INSERT "
            "INTO Item VALUES (3, 'Cake')");
    }

    static std::string ErrorOf(Connection& conn, const std::string& sql) {
        try {
            conn.Execute(sql);
        } catch (const ComError& e) {
            return e.Description();
        }
        return "<no error>";
    }
};

TEST_P(ProceduresTest, RecordsetOnExecReadsTheFirstResultSet) {
    m_conn.Execute(
        "CREATE PROCEDURE Lists @min INT AS SELECT ID, Name FROM Item WHERE ID >= @min ORDER BY "
        "ID SELECT COUNT(*) AS Total FROM Item");
    Recordset rs;
    rs.Open(m_conn, "EXEC Lists 2", xr::engine::adOpenStatic, xr::engine::adLockReadOnly);
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
    rs.Open(m_conn, "Later", xr::engine::adOpenStatic, xr::engine::adLockReadOnly);
    EXPECT_EQ(rs.Value(0).ToText(), "Cake");
}

TEST_P(ProceduresTest, AnotherConnectionsAlterAndDropAreSeen) {
    Connection other;
    other.Open(ConnectString());
    other.Execute("USE SHOP");
    m_conn.Execute("CREATE PROCEDURE NameOf @id INT AS SELECT Name FROM Item WHERE ID = @id");
    // Run twice here: the second run uses the parsed form kept from the first.
    EXPECT_EQ(Scalar("EXEC NameOf 1"), "Tea");
    EXPECT_EQ(Scalar("EXEC NameOf 2"), "Coffee");
    // The other connection knew nothing of it, and finds it.
    EXPECT_EQ(xrtest::Rows(other, "EXEC NameOf 3"), (std::vector<std::string>{"Cake"}));
    other.Execute("ALTER PROCEDURE NameOf @id INT AS SELECT UPPER(Name) FROM Item WHERE ID = @id");
    EXPECT_EQ(Scalar("EXEC NameOf 1"), "TEA");
    // Inside this connection's transaction the other's change is seen as well.
    m_conn.Execute("BEGIN TRAN");
    EXPECT_EQ(Scalar("EXEC NameOf 2"), "COFFEE");
    m_conn.Execute("COMMIT TRAN");
    other.Execute("DROP PROCEDURE NameOf");
    EXPECT_EQ(ErrorOf(m_conn, "EXEC NameOf 1"), "Could not find stored procedure 'NameOf'.");
    // Made again with other parameters by the other connection.
    other.Execute("CREATE PROCEDURE NameOf @a INT, @b INT AS SELECT @a + @b");
    EXPECT_EQ(Scalar("EXEC NameOf 2, 3"), "5");
    other.Close();
}

TEST_P(ProceduresTest, ARolledBackCreateLeavesNothing) {
    m_conn.Execute("BEGIN TRAN");
    m_conn.Execute("CREATE PROCEDURE Gone AS SELECT 1");
    EXPECT_EQ(Scalar("EXEC Gone"), "1");
    m_conn.Execute("ROLLBACK TRAN");
    EXPECT_EQ(ErrorOf(m_conn, "EXEC Gone"), "Could not find stored procedure 'Gone'.");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name = 'Gone'"), "0");
    // And the name is free again.
    m_conn.Execute("CREATE PROCEDURE Gone AS SELECT 2");
    EXPECT_EQ(Scalar("EXEC Gone"), "2");
}

TEST_P(ProceduresTest, HelpTextGivesARowALineWithItsLineBreak) {
    m_conn.Execute("-- header\r\nCREATE PROCEDURE Lines AS\r\nSELECT 1\nSELECT 2");
    std::vector<std::string> rows;
    auto result = m_conn.Query("EXEC sp_helptext 'Lines'");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Column(0).name, "Text");
    while (result->Next()) rows.push_back(result->Value(0).ToText());
    EXPECT_EQ(rows, (std::vector<std::string>{"-- header\r\n", "CREATE PROCEDURE Lines AS\r\n",
                                              "SELECT 1\n", "SELECT 2"}));
}

XRTEST_ON_EVERY_ENGINE(ProceduresTest);

}  // namespace
