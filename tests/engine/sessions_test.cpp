// Two sessions of one server and a view one of them makes, changes or drops:
// the other reads it as it now is and writes through it (on the server
// engine; the embedded engine does not yet see another connection's ALTER or
// DROP VIEW: a view's rows change, not the file's schema version it watches).
// The sessions' tables and indexes: tsql/conformance/engine_sessions.test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"

namespace {

using xr::engine::Connection;
using xrtest::Engine;
using xrtest::ErrorOf;
using Rows = std::vector<std::string>;

// Sessions a and b in database Shop, whose Items table holds 1 Tea, 2 Coffee.
class ViewSessions : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        a.Open(m_server.ConnectString());
        a.Execute("CREATE DATABASE Shop USE Shop");
        a.Execute("CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) NULL)");
        a.Execute("INSERT Items VALUES (1, 'Tea') INSERT Items VALUES (2, 'Coffee')");
        b.Open(m_server.ConnectString());
        b.Execute("USE Shop");
    }
    xrtest::TestServer m_server{GetParam()};
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
                         [](const auto& info) { return xrtest::EngineName(info.param); });

}  // namespace
