// The server engine's connection: clear errors when the server is not there
// or goes, the password kept out of every text, sessions opening a new server
// together, and sessions the server ends or cancels. Skipped when the test
// command's PostgreSQL server is not there. (Statements through the T-SQL
// layer: the conformance files listed in tsql/conformance/postgres.list.)
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "connect_keys.h"
#include "engine/connection.h"
#include "engine/connection_string.h"
#include "engine/postgres/pg_backend.h"
#include "library.h"

namespace {

using xr::engine::Connection;
using xrtest::Engine;
using xrtest::ErrorOf;
using xrtest::OpenError;
using xrtest::TestServer;
using xrtest::ValueOf;
using xrtest::With;
using Lines = std::vector<std::string>;

// Runs `sql` on the server database `cs` names, as its operator would.
void ServerExec(const std::string& cs, const std::string& sql) {
    xr::engine::postgres::PgLink(xr::engine::ConnectionString::Parse(cs), false).Exec(sql);
}

class PostgresConnection : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    }
    TestServer m_server{Engine::Postgres};
};

// A port nothing listens on, or a socket folder where no server listens: a
// clear error naming the server, never the password.
TEST_F(PostgresConnection, AServerNotThereIsAClearError) {
    const std::string cs = m_server.ConnectString();
    EXPECT_EQ(OpenError(With(cs, "Port", ValueOf(cs, "Port"))), "");
    std::string error = OpenError(With(cs, "Port", "1"));
    EXPECT_NE(error.find("Cannot connect to the PostgreSQL server"), std::string::npos) << error;
    error = OpenError(With(cs, "Data Source", m_server.Dir().Str()));
    EXPECT_NE(error.find("Cannot connect to the PostgreSQL server '" + m_server.Dir().Str() + "'"),
              std::string::npos)
        << error;
    EXPECT_EQ(error.find(ValueOf(cs, "Password")), std::string::npos) << error;
}

TEST_F(PostgresConnection, ServerGoneMidSessionIsAClearError) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute("CREATE DATABASE Gone CREATE TABLE Gone..T (A INT NULL)");
    ASSERT_TRUE(xr::engine::postgres::DropServer(
        xr::engine::ConnectionString::Parse(m_server.ConnectString())));
    EXPECT_NE(ErrorOf(conn, "INSERT Gone..T VALUES (1)")
                  .find("connection to the PostgreSQL server was lost"),
              std::string::npos);
}

// Through the library's exports: neither a refused login nor a failing
// statement writes the password into the log or the last error.
TEST_F(PostgresConnection, PasswordStaysOutOfTheLogAndTheLastError) {
    const std::string right = ValueOf(m_server.ConnectString(), "Password");
    const std::string wrong = "An0therSecret-0815";
    xrtest::ClearLog();
    DBSetLog(&xrtest::CaptureLog);
    EXPECT_NE(DBOpen(With(m_server.ConnectString(), "Password", wrong).c_str(), ""), 1);
    const std::string refused = xrtest::LastError().second;
    ASSERT_EQ(DBOpen(m_server.ConnectString().c_str(), ""), 1);
    EXPECT_NE(DBExec("SELECT * FROM NoSuchTable"), 1);
    const std::string failed = xrtest::LastError().second;
    DBClose();
    DBSetLog(&xr::FileSink);
    EXPECT_NE(refused.find("password authentication failed"), std::string::npos) << refused;
    for (const std::string& secret : {right, wrong}) {
        EXPECT_EQ(refused.find(secret), std::string::npos) << refused;
        EXPECT_EQ(failed.find(secret), std::string::npos) << failed;
        EXPECT_TRUE(xrtest::LinesWith(secret).empty()) << xrtest::LinesWith(secret)[0];
    }
    EXPECT_FALSE(xrtest::Captured().empty());  // the log was written
}

// Sessions that reach a new server at the same moment: one makes its
// database and catalog, the others find them.
TEST_F(PostgresConnection, SessionsOpeningANewServerTogetherAllWork) {
    std::vector<std::string> errors(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < errors.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                Connection conn;
                conn.Open(m_server.ConnectString());
                conn.Execute("SELECT COUNT(*) FROM sysobjects");
            } catch (const xr::ComError& e) {
                errors[i] = e.Description();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (const std::string& e : errors) EXPECT_EQ(e, "");
}

// The server ends a session (an operator's pg_terminate_backend, a restart):
// the call that meets it fails clearly, the next one works on a new session,
// and nothing of the lost transaction is kept.
TEST_F(PostgresConnection, ASessionTheServerEndedFailsOnceThenReconnects) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute(
        "CREATE DATABASE Rv USE Rv CREATE TABLE T (A INT NOT NULL PRIMARY KEY) INSERT T VALUES (1) "
        "BEGIN TRAN INSERT T VALUES (2)");
    // Every other session of the test's server database goes.
    ServerExec(m_server.ConnectString(),
               "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
               "current_database() AND pid <> pg_backend_pid()");
    EXPECT_NE(
        ErrorOf(conn, "INSERT T VALUES (3)").find("connection to the PostgreSQL server was lost"),
        std::string::npos);
    // A new session: the database as it was before the transaction, which
    // the server undid. As with a transaction the embedded engine lost, the
    // caller's writes are refused until it rolls back, so that none of its
    // later work is taken for part of the transaction.
    conn.Execute("USE Rv");
    EXPECT_EQ(conn.DefaultDatabase(), "RV");  // as the embedded engine names it
    EXPECT_EQ(xrtest::Rows(conn, "SELECT A FROM T ORDER BY A"), Lines{"1"});
    EXPECT_NE(ErrorOf(conn, "INSERT T VALUES (4)"), "");
    conn.Execute("ROLLBACK");
    conn.Execute("INSERT T VALUES (4)");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT COUNT(*), @@TRANCOUNT FROM T"), Lines{"2|0"});
}

// A statement the server cancels (its statement_timeout here) fails with
// the server's reason; the session goes on.
TEST_F(PostgresConnection, AStatementTheServerCancelsFailsAndTheSessionGoesOn) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute(
        "CREATE DATABASE Cx USE Cx CREATE TABLE N (A INT NOT NULL) INSERT N VALUES (1) INSERT N "
        "SELECT A + 1 FROM N INSERT N SELECT A + 2 FROM N INSERT N SELECT A + 4 FROM N INSERT N "
        "SELECT A + 8 FROM N");
    conn.Close();  // the server's limit holds for the sessions that start after it
    ServerExec(m_server.ConnectString(),
               "DO $$BEGIN EXECUTE format('ALTER DATABASE %I SET statement_timeout = 50', "
               "current_database()); END$$");
    conn.Open(m_server.ConnectString());
    conn.Execute("USE Cx");
    // 16^6 rows: far longer than the server allows.
    EXPECT_NE(ErrorOf(conn, "SELECT COUNT(*) FROM N a, N b, N c, N d, N e, N f")
                  .find("The statement was cancelled"),
              std::string::npos);
    EXPECT_EQ(xrtest::Rows(conn, "SELECT COUNT(*) FROM N"), Lines{"16"});
}

}  // namespace
