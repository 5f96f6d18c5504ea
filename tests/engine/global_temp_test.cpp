// ##tables across connections: what a conformance file cannot show (a
// connection closed while another goes on, another server), on each engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "engine/postgres/pg_backend.h"
#include "library.h"

namespace {

using xr::ComError;
using xr::engine::Connection;

class GlobalTempTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
    }

public:
    static std::string ErrorOf(Connection& conn, const std::string& sql) {
        try {
            conn.Execute(sql);
        } catch (const ComError& e) {
            return e.Description();
        }
        return "<no error>";
    }
};

TEST_P(GlobalTempTest, EveryConnectionSeesTheTable) {
    Connection other;
    other.Open(ConnectString());
    m_conn.Execute("CREATE TABLE ##shared (A INT) INSERT INTO ##shared VALUES (1)");
    EXPECT_EQ(xrtest::Rows(other, "SELECT A FROM ##shared"), (std::vector<std::string>{"1"}));
    other.Execute("INSERT INTO ##shared VALUES (2)");
    EXPECT_EQ(Rows("SELECT A FROM ##shared ORDER BY A"), (std::vector<std::string>{"1", "2"}));
    // A #table of the same name stays each connection's own.
    other.Execute("CREATE TABLE #shared (B INT)");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM #shared"), "Invalid object name '#shared'.");
}

TEST_P(GlobalTempTest, TableGoesWhenItsCreatorCloses) {
    Connection creator;
    creator.Open(ConnectString());
    creator.Execute("CREATE TABLE ##work (A INT) INSERT INTO ##work VALUES (7)");
    creator.Execute("SELECT * INTO ##copy FROM ##work");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##copy"), "1");
    // The other connection keeps using it while the creator is open.
    m_conn.Execute("INSERT INTO ##work VALUES (8)");
    creator.Close();
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM ##work"), "Invalid object name '##work'.");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM ##copy"), "Invalid object name '##copy'.");
    EXPECT_EQ(Scalar("SELECT CASE WHEN OBJECT_ID('tempdb..##work') IS NULL THEN 'gone' END"),
              "gone");
    // The name is free again.
    m_conn.Execute("CREATE TABLE ##work (B VARCHAR(5))");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##work"), "0");
}

TEST_P(GlobalTempTest, ClosingAnotherConnectionLeavesTheTable) {
    Connection reader;
    reader.Open(ConnectString());
    m_conn.Execute("CREATE TABLE ##kept (A INT) INSERT INTO ##kept VALUES (3)");
    EXPECT_EQ(xrtest::Rows(reader, "SELECT A FROM ##kept"), (std::vector<std::string>{"3"}));
    reader.Close();
    EXPECT_EQ(Scalar("SELECT A FROM ##kept"), "3");
    // Dropped by another connection, it is not dropped again at close.
    Connection dropper;
    dropper.Open(ConnectString());
    dropper.Execute("DROP TABLE ##kept");
    dropper.Execute("CREATE TABLE ##kept (Other INT) INSERT INTO ##kept VALUES (4)");
    m_conn.Close();
    EXPECT_EQ(xrtest::Rows(dropper, "SELECT Other FROM ##kept"), (std::vector<std::string>{"4"}));
}

TEST_P(GlobalTempTest, AnotherServerFolderHasItsOwn) {
    xrtest::TestServer elsewhere{GetParam()};
    Connection other;
    other.Open(elsewhere.ConnectString());
    m_conn.Execute("CREATE TABLE ##mine (A INT)");
    EXPECT_EQ(ErrorOf(other, "SELECT * FROM ##mine"), "Invalid object name '##mine'.");
    other.Execute("CREATE TABLE ##mine (B INT)");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM ##mine"), "0");
}

// On the server engine a ##table is a table of the server: when the session
// that made it dies without closing (its process killed), the next session
// that names a ##table drops it.
TEST(GlobalTempServer, TableOfADeadSessionGoes) {
    xrtest::TestServer server{xrtest::Engine::Postgres};
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    Connection creator;
    creator.Open(server.ConnectString());
    creator.Execute("CREATE TABLE ##orphan (A INT) INSERT INTO ##orphan VALUES (1)");
    {
        // The creator's server process ends from under it, as when its
        // process is killed: it never gets to drop the table.
        xr::engine::postgres::PgLink admin(
            xr::engine::ConnectionString::Parse(server.ConnectString()), false);
        auto killed = admin.Select(
            "SELECT count(*) FILTER (WHERE pg_terminate_backend(pid, 10000)) FROM "
            "pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid() AND "
            "application_name = 'xrdb8'");
        ASSERT_EQ(killed.at(0).at(0), "1");
    }
    Connection next;
    next.Open(server.ConnectString());
    EXPECT_EQ(GlobalTempTest::ErrorOf(next, "SELECT * FROM ##orphan"),
              "Invalid object name '##orphan'.");
    next.Execute("CREATE TABLE ##orphan (B VARCHAR(5))");
    EXPECT_EQ(xrtest::Rows(next, "SELECT COUNT(*) FROM ##orphan"), (std::vector<std::string>{"0"}));
    // The dead session's connection fails clearly and closes.
    EXPECT_NE(GlobalTempTest::ErrorOf(creator, "SELECT 1"), "<no error>");
    creator.Close();
    EXPECT_EQ(xrtest::Rows(next, "SELECT COUNT(*) FROM ##orphan"), (std::vector<std::string>{"0"}));
}

XRTEST_ON_EVERY_ENGINE(GlobalTempTest);

}  // namespace
