// Rows written through a recordset meet the foreign keys and checks of
// their tables on every engine, with the server's texts, and a key turned
// off by NOCHECK lets them in (skipped on PostgreSQL without the test
// command's server).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using namespace xr::engine;
using xr::ComError;
using xr::Variant;
using xrtest::Engine;

class EngineConstraints : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        m_conn.Open(m_server.ConnectString());
        m_conn.Execute(
            "CREATE DATABASE R USE R CREATE TABLE Depts (DptNo INT NOT NULL CONSTRAINT PK_Depts "
            "PRIMARY KEY, Name VARCHAR(20) NULL)");
        m_conn.Execute(
            "CREATE TABLE Products (PLU INT NOT NULL, DptNo INT NULL CONSTRAINT "
            "FK_Products_Depts REFERENCES Depts (DptNo), Price MONEY NULL CONSTRAINT "
            "CK_Products_Price CHECK (Price >= 0))");
        m_conn.Execute("INSERT Depts VALUES (1, 'Bar') INSERT Depts VALUES (2, 'Food')");
        m_conn.Execute("INSERT Products VALUES (10, 1, 2.5)");
    }

    // The text the recordset's Update fails with, empty when it stores the row.
    static std::string UpdateFailure(Recordset& rs) {
        try {
            rs.Update();
        } catch (const ComError& e) {
            rs.CancelUpdate();
            return e.Description();
        }
        return {};
    }

    xrtest::TestServer m_server{GetParam()};
    Connection m_conn;
};

TEST_P(EngineConstraints, WritesMeetKeysAndChecksWithTheServersTextsUntilNocheck) {
    Recordset rs;
    rs.Open(m_conn, "Products", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(11));
    rs.SetValue("DptNo", Variant::I4(7));
    EXPECT_EQ(UpdateFailure(rs),
              "The INSERT statement conflicted with the FOREIGN KEY constraint "
              "\"FK_Products_Depts\". The conflict occurred in database \"R\", table "
              "\"dbo.Depts\", column 'DptNo'.");
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(12));
    rs.SetValue("DptNo", Variant::I4(2));
    EXPECT_EQ(UpdateFailure(rs), "");
    rs.Close();

    rs.Open(m_conn, "SELECT PLU, DptNo, Price FROM Products WHERE PLU = 10", adOpenKeyset,
            adLockOptimistic);
    ASSERT_FALSE(rs.EndOfFile());
    rs.SetValue("Price", Variant::I4(-1));
    EXPECT_EQ(UpdateFailure(rs),
              "The UPDATE statement conflicted with the CHECK constraint \"CK_Products_Price\". "
              "The conflict occurred in database \"R\", table \"dbo.Products\", column 'Price'.");
    rs.SetValue("DptNo", Variant::I4(9));
    EXPECT_EQ(UpdateFailure(rs),
              "The UPDATE statement conflicted with the FOREIGN KEY constraint "
              "\"FK_Products_Depts\". The conflict occurred in database \"R\", table "
              "\"dbo.Depts\", column 'DptNo'.");
    rs.Close();
    Recordset depts;
    depts.Open(m_conn, "SELECT DptNo, Name FROM Depts WHERE DptNo = 1", adOpenKeyset,
               adLockOptimistic);
    ASSERT_FALSE(depts.EndOfFile());
    std::string text;
    try {
        depts.Delete();
    } catch (const ComError& e) {
        text = e.Description();
    }
    EXPECT_EQ(text,
              "The DELETE statement conflicted with the REFERENCE constraint "
              "\"FK_Products_Depts\". The conflict occurred in database \"R\", table "
              "\"dbo.Products\", column 'DptNo'.");
    depts.Close();
    EXPECT_EQ(xrtest::Rows(m_conn, "SELECT COUNT(*) FROM Depts"), (std::vector<std::string>{"2"}));

    // Keys turned off let the records in, until checked again.
    m_conn.Execute("ALTER TABLE Products NOCHECK CONSTRAINT ALL");
    rs.Open(m_conn, "Products", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(13));
    rs.SetValue("DptNo", Variant::I4(8));
    rs.SetValue("Price", Variant::I4(-3));
    EXPECT_EQ(UpdateFailure(rs), "");
    rs.Close();
    m_conn.Execute("DELETE FROM Depts WHERE DptNo = 1");
    m_conn.Execute("ALTER TABLE Products CHECK CONSTRAINT ALL");
    rs.Open(m_conn, "Products", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(14));
    rs.SetValue("DptNo", Variant::I4(8));
    EXPECT_NE(UpdateFailure(rs).find("FOREIGN KEY constraint \"FK_Products_Depts\""),
              std::string::npos);
    rs.Close();
    EXPECT_EQ(xrtest::Rows(m_conn, "SELECT PLU, DptNo, Price FROM Products ORDER BY PLU"),
              (std::vector<std::string>{"10|1|2.5", "12|2|NULL", "13|8|-3"}));
}

XRTEST_ON_EVERY_ENGINE(EngineConstraints);

}  // namespace
