// Views on the server engine are objects of the server, not of a session:
// one made, changed or dropped by a session is read as it now is by every
// other session of the same server. Skipped when the test command's
// PostgreSQL server is not there.
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

class ViewSessions : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        a.Open(m_server.ConnectString());
        a.Execute("CREATE DATABASE Shop");
        a.Execute("USE Shop");
        a.Execute("CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) NULL)");
        a.Execute("INSERT Items VALUES (1, 'Tea')");
        a.Execute("INSERT Items VALUES (2, 'Coffee')");
        b.Open(m_server.ConnectString());
        b.Execute("USE Shop");
    }
    TestServer m_server{GetParam()};
    Connection a, b;
};

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

INSTANTIATE_TEST_SUITE_P(Engines, ViewSessions, ::testing::Values(Engine::Postgres),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(xrtest::EngineName(info.param));
                         });

}  // namespace
