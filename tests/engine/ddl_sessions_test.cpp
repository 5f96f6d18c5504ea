// Two sessions changing one server's tables: each change is checked against
// what the other has committed, never against the definitions a session read
// before it, so a name or column the other took is refused as taken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"

namespace {

using xr::engine::Connection;
using xrtest::Engine;
using xrtest::TestServer;

using Rows = std::vector<std::string>;

std::string ErrorOf(Connection& conn, const std::string& sql) {
    try {
        conn.Execute(sql);
    } catch (const xr::ComError& e) {
        return e.Description();
    }
    return "";
}

class DdlSessions : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        a.Open(m_server.ConnectString());
        a.Execute("CREATE DATABASE Shop");
        a.Execute("USE Shop");
        a.Execute("CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) NULL)");
        a.Execute("INSERT Items VALUES (1, 'Tea')");
        b.Open(m_server.ConnectString());
        b.Execute("USE Shop");
        // The second session has read the table as it was.
        EXPECT_EQ(xrtest::Rows(b, "SELECT No, Name FROM Items"), (Rows{"1|Tea"}));
    }
    TestServer m_server{GetParam()};
    Connection a, b;
};

TEST_P(DdlSessions, AColumnTheOtherSessionAddedIsThere) {
    a.Execute("ALTER TABLE Items ADD Price INT NULL");
    EXPECT_EQ(ErrorOf(b, "ALTER TABLE Items ADD Price INT NULL"),
              "Column names in each table must be unique. Column name 'Price' in table 'Items' "
              "is specified more than once.");
    b.Execute("ALTER TABLE Items ADD Stock INT NULL");
    EXPECT_EQ(xrtest::Rows(a, "SELECT COUNT(*) FROM syscolumns WHERE id = OBJECT_ID('Items')"),
              (Rows{"4"}));
    a.Execute("INSERT Items (No, Name, Price, Stock) VALUES (2, 'Coffee', 3, 4)");
    EXPECT_EQ(xrtest::Rows(b, "SELECT Price, Stock FROM Items WHERE No = 2"), (Rows{"3|4"}));
}

TEST_P(DdlSessions, AnIndexTheOtherSessionMadeIsThere) {
    a.Execute("CREATE INDEX ItemsName ON Items (Name)");
    EXPECT_EQ(ErrorOf(b, "CREATE INDEX ItemsName ON Items (No)"),
              "The operation failed because an index or statistics with name 'ItemsName' already "
              "exists on table 'Items'.");
    b.Execute("CREATE UNIQUE INDEX ItemsNo ON Items (No)");
    EXPECT_NE(ErrorOf(a, "INSERT Items VALUES (1, 'Again')"), "");
    // Each session removes the index the other made, once.
    a.Execute("DROP INDEX Items.ItemsNo");
    b.Execute("DROP INDEX Items.ItemsName");
    EXPECT_NE(ErrorOf(a, "DROP INDEX Items.ItemsName"), "");
    a.Execute("INSERT Items VALUES (1, 'Again')");
}

TEST_P(DdlSessions, ATableTheOtherSessionMadeIsThere) {
    a.Execute("CREATE TABLE Stock (No INT NOT NULL)");
    EXPECT_EQ(ErrorOf(b, "CREATE TABLE Stock (No INT NOT NULL, Extra INT NULL)"),
              "There is already an object named 'Stock' in the database.");
    a.Execute("DROP TABLE Stock");
    b.Execute("CREATE TABLE Stock (No INT NOT NULL, Extra INT NULL)");
    EXPECT_EQ(xrtest::Rows(a, "SELECT COUNT(*) FROM Stock"), (Rows{"0"}));
}

XRTEST_ON_EVERY_ENGINE(DdlSessions);

}  // namespace
