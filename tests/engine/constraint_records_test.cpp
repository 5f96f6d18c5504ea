// Records written through a recordset meet the same keys and identities as
// T-SQL statements: an identity with its own seed and step numbers new rows,
// and a row a foreign key refuses fails the update with the server's text.
#include <gtest/gtest.h>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "temp_dir.h"

namespace {

using xr::ComError;
using xr::Variant;
using namespace xr::engine;

class ConstraintRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_conn.Open("Provider=sqlite;Data Source=" + m_dir.Str());
        m_conn.Execute("CREATE DATABASE R");
        m_conn.Execute("USE R");
    }

    xrtest::TempDir m_dir;
    Connection m_conn;
};

TEST_F(ConstraintRecordsTest, AddNewNumbersAnIdentityWithItsOwnSeedAndStep) {
    m_conn.Execute("CREATE TABLE Countdown (N INT IDENTITY(50, -10) NOT NULL, Note VARCHAR(10))");
    m_conn.Execute("INSERT Countdown (Note) VALUES ('sql')");
    Recordset rs;
    rs.Open(m_conn, "Countdown", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("Note", Variant::Text("record"));
    rs.Update();
    EXPECT_EQ(rs.Value("N").ToI4(), 40);
    rs.Close();
    auto rows = m_conn.Query("SELECT N FROM Countdown ORDER BY N DESC");
    std::vector<int> seen;
    while (rows->Next()) seen.push_back(static_cast<int>(rows->Value(0).ToI4()));
    EXPECT_EQ(seen, (std::vector<int>{50, 40}));
    m_conn.Execute("INSERT Countdown (Note) VALUES ('sql again')");
    rows = m_conn.Query("SELECT IDENT_CURRENT('Countdown')");
    ASSERT_TRUE(rows->Next());
    EXPECT_EQ(rows->Value(0).ToI4(), 30);
}

TEST_F(ConstraintRecordsTest, AnOrphanRowFailsItsUpdateWithTheServersMessage) {
    m_conn.Execute("CREATE TABLE Depts (DptNo INT NOT NULL PRIMARY KEY)");
    m_conn.Execute(
        "CREATE TABLE Products (PLU INT NOT NULL, DptNo INT NULL CONSTRAINT FK_Products_Depts "
        "REFERENCES Depts (DptNo))");
    m_conn.Execute("INSERT Depts VALUES (1)");
    Recordset rs;
    rs.Open(m_conn, "Products", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(1));
    rs.SetValue("DptNo", Variant::I4(2));
    std::string text;
    try {
        rs.Update();
    } catch (const ComError& e) {
        text = e.Description();
    }
    EXPECT_NE(text.find("The INSERT statement conflicted with the FOREIGN KEY constraint "
                        "\"FK_Products_Depts\". The conflict occurred in database \"R\", table "
                        "\"dbo.Depts\", column 'DptNo'."),
              std::string::npos)
        << text;
    rs.CancelUpdate();
    rs.AddNew();
    rs.SetValue("PLU", Variant::I4(2));
    rs.SetValue("DptNo", Variant::I4(1));
    rs.Update();
    rs.Close();
    auto rows = m_conn.Query("SELECT COUNT(*) FROM Products");
    ASSERT_TRUE(rows->Next());
    EXPECT_EQ(rows->Value(0).ToI4(), 1);
}

}  // namespace
