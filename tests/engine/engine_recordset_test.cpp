// Recordsets over the same rows on every engine: the cursor types, their
// order with NULL first, Find, record counts and AddNew, with the same
// results on the embedded engine and on PostgreSQL (skipped without the
// test command's server).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using namespace xr::engine;
using xrtest::Engine;

class EngineRecordset : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        m_conn.Open(m_server.ConnectString());
        m_conn.Execute(
            "CREATE DATABASE T USE T CREATE TABLE Depts (DptNo INT NOT NULL CONSTRAINT PK_Depts "
            "PRIMARY KEY, Name VARCHAR(20) NULL, Price MONEY NULL)");
        m_conn.Execute(
            "INSERT Depts VALUES (1, 'Bar', 1.5) INSERT Depts VALUES (2, NULL, 2.5) "
            "INSERT Depts VALUES (3, 'wine', NULL) INSERT Depts VALUES (4, 'Food  ', 4)");
    }

    // DptNo of every row from the current one on.
    static std::string Walk(Recordset& rs) {
        std::string seen;
        while (!rs.EndOfFile()) {
            seen += rs.Value("DptNo").ToText() + ",";
            rs.MoveNext();
        }
        return seen;
    }

    xrtest::TestServer m_server{GetParam()};
    Connection m_conn;
};

TEST_P(EngineRecordset, CursorsReadInTheQuerysOrderWithNullFirst) {
    for (int cursor : {adOpenKeyset, adOpenDynamic, adOpenStatic, adOpenForwardOnly}) {
        Recordset rs;
        rs.Open(m_conn, "SELECT DptNo, Name FROM Depts ORDER BY Name", cursor, adLockOptimistic);
        EXPECT_EQ(Walk(rs), "2,1,4,3,") << cursor;
        Recordset down;
        down.Open(m_conn, "SELECT DptNo, Name FROM Depts ORDER BY Name DESC", cursor,
                  adLockReadOnly);
        EXPECT_EQ(Walk(down), "3,4,1,2,") << cursor;
    }
}

TEST_P(EngineRecordset, FindAndCountIgnoreCaseAndTrailingBlanks) {
    Recordset rs;
    rs.Open(m_conn, "Depts", adOpenKeyset, adLockOptimistic, true);
    EXPECT_EQ(rs.RecordCount(), 4);
    rs.Find("Name = 'FOOD'");
    ASSERT_FALSE(rs.EndOfFile());
    EXPECT_EQ(rs.Value("DptNo").ToText(), "4");
    EXPECT_EQ(rs.Value("Price").ToText(), "4");
}

TEST_P(EngineRecordset, AddNewStoresTheRow) {
    Recordset rs;
    rs.Open(m_conn, "Depts", adOpenDynamic, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("DptNo", xr::Variant::I4(9));
    rs.SetValue("Name", xr::Variant::Text("Spirits"));
    rs.Update();
    EXPECT_EQ(xrtest::Rows(m_conn, "SELECT Name, Price FROM Depts WHERE DptNo = 9"),
              (std::vector<std::string>{"Spirits|NULL"}));
}

XRTEST_ON_EVERY_ENGINE(EngineRecordset);

}  // namespace
