// Two sessions of one server, on every engine. Tables, indexes and views
// are objects of the server, not of a session: each change is checked
// against what the other session has committed, never against definitions
// read before it, and a view made, changed or dropped is read as it now is.
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

// The error of running `sql` on `conn`, "" when it ran.
std::string ErrorOf(Connection& conn, const std::string& sql) {
    try {
        conn.Execute(sql);
    } catch (const xr::ComError& e) {
        return e.Description();
    }
    return "";
}

// Sessions a and b in database Shop, whose Items table holds 1 Tea.
class TwoSessions : public ::testing::TestWithParam<Engine> {
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
    }
    TestServer m_server{GetParam()};
    Connection a, b;
};

// The second session has read the table as it was.
class DdlSessions : public TwoSessions {
protected:
    void SetUp() override {
        TwoSessions::SetUp();
        if (IsSkipped()) return;
        EXPECT_EQ(xrtest::Rows(b, "SELECT No, Name FROM Items"), (Rows{"1|Tea"}));
    }
};

class ViewSessions : public TwoSessions {
protected:
    void SetUp() override {
        TwoSessions::SetUp();
        if (!IsSkipped()) a.Execute("INSERT Items VALUES (2, 'Coffee')");
    }
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

TEST_P(ViewSessions, AnotherSessionReadsTheViewAsItNowIs) {
    a.Execute("CREATE VIEW Cheap AS SELECT No, Name FROM Items WHERE No < 2");
    EXPECT_EQ(xrtest::Rows(b, "SELECT Name FROM Cheap"), (Rows{"Tea"}));
    a.Execute("ALTER VIEW Cheap AS SELECT No, Name FROM Items WHERE No > 1");
    EXPECT_EQ(xrtest::Rows(b, "SELECT Name FROM Cheap"), (Rows{"Coffee"}));
    a.Execute("DROP VIEW Cheap");
    EXPECT_EQ(ErrorOf(b, "SELECT Name FROM Cheap"), "Invalid object name 'Cheap'.");
    // The name is free again for either session.
    b.Execute("CREATE TABLE Cheap (A INT NULL)");
    EXPECT_EQ(xrtest::Rows(a, "SELECT COUNT(*) FROM Cheap"), (Rows{"0"}));
}

TEST_P(ViewSessions, AnotherSessionWritesThroughTheView) {
    a.Execute(
        "CREATE VIEW Named AS SELECT No, Name FROM Items WHERE Name IS NOT NULL WITH CHECK "
        "OPTION");
    b.Execute("UPDATE Named SET Name = 'Green tea' WHERE No = 1");
    EXPECT_NE(ErrorOf(b, "INSERT INTO Named (No) VALUES (3)").find("WITH CHECK OPTION"),
              std::string::npos);
    EXPECT_EQ(xrtest::Rows(a, "SELECT No, Name FROM Items ORDER BY No"),
              (Rows{"1|Green tea", "2|Coffee"}));
}

XRTEST_ON_EVERY_ENGINE(DdlSessions);
// (The embedded engine does not yet see another connection's ALTER or DROP
// VIEW: a view's rows change, not the file's schema version it watches.)
INSTANTIATE_TEST_SUITE_P(Engines, ViewSessions, ::testing::Values(Engine::Postgres),
                         [](const auto& info) { return xrtest::EngineName(info.param); });

}  // namespace
