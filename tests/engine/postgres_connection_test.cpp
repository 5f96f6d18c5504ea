// The server engine's connection: the keys of its connection string, clear
// errors when the server refuses or is not there, the password kept out of
// every text, and the basic round trip through the T-SQL layer. Skipped when
// the test command's PostgreSQL server is not there.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/connection.h"
#include "engine/connection_string.h"
#include "connect_keys.h"
#include "library.h"

namespace {

using xr::engine::Connection;
using xrtest::Engine;
using xrtest::TestServer;

using xrtest::ValueOf;
using xrtest::With;

// The error of opening `cs`, "" when it opened.
std::string OpenError(const std::string& cs) {
    Connection conn;
    try {
        conn.Open(cs);
    } catch (const xr::ComError& e) {
        return e.Description();
    }
    return "";
}

class PostgresConnection : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    }
    TestServer m_server{Engine::Postgres};
};

TEST_F(PostgresConnection, RunsStatementsThroughTheTsqlLayer) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute("CREATE DATABASE Shop");
    conn.Execute("USE shop");
    conn.Execute("CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) NULL, Price MONEY NULL)");
    conn.Execute("INSERT Items VALUES (1, 'Tea', 1.25)");
    conn.Execute("INSERT INTO items (no, name) VALUES (2, 'coffee')");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT No, Name, Price FROM Items ORDER BY No"),
              (std::vector<std::string>{"1|Tea|1.25", "2|coffee|NULL"}));
    EXPECT_EQ(xrtest::Rows(conn, "SELECT No FROM shop..ITEMS WHERE Name = 'TEA  '"),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(conn.DefaultDatabase(), "SHOP");  // as the embedded engine names it
}

// A second session of the same server sees the same databases and tables.
TEST_F(PostgresConnection, SessionsShareTheServer) {
    Connection a, b;
    a.Open(m_server.ConnectString());
    a.Execute("CREATE DATABASE Shared");
    a.Execute("CREATE TABLE Shared..T (A INT NULL)");
    a.Execute("INSERT Shared..T VALUES (7)");
    b.Open(m_server.ConnectString());
    EXPECT_EQ(xrtest::Rows(b, "SELECT A FROM Shared.dbo.T"), (std::vector<std::string>{"7"}));
}

TEST_F(PostgresConnection, PortKeyReachesTheSameServer) {
    const std::string cs = m_server.ConnectString();
    const std::string port = ValueOf(cs, "Port");
    ASSERT_FALSE(port.empty());
    EXPECT_EQ(OpenError(With(cs, "Port", port)), "");
    // A port nothing listens on is a clear error naming the server.
    const std::string error = OpenError(With(cs, "Port", "1"));
    EXPECT_NE(error.find("Cannot connect to the PostgreSQL server"), std::string::npos) << error;
}

TEST_F(PostgresConnection, WrongPasswordIsRefusedWithoutShowingIt) {
    const std::string wrong = "Wr0ngSecret-4711";
    const std::string error = OpenError(With(m_server.ConnectString(), "Password", wrong));
    EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
    EXPECT_EQ(error.find(wrong), std::string::npos) << error;
    const std::string right = ValueOf(m_server.ConnectString(), "Password");
    EXPECT_EQ(error.find(right), std::string::npos) << error;
}

TEST_F(PostgresConnection, ServerNotThereIsAClearError) {
    // A socket folder where no server listens.
    const std::string cs = With(m_server.ConnectString(), "Data Source", m_server.Dir().Str());
    const std::string error = OpenError(cs);
    EXPECT_NE(error.find("Cannot connect to the PostgreSQL server '" + m_server.Dir().Str() + "'"),
              std::string::npos)
        << error;
    EXPECT_EQ(error.find(ValueOf(cs, "Password")), std::string::npos) << error;
}

TEST_F(PostgresConnection, ServerGoneMidSessionIsAClearError) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute("CREATE DATABASE Gone");
    conn.Execute("CREATE TABLE Gone..T (A INT NULL)");
    // The server's database goes from under the session.
    ASSERT_TRUE(xr::engine::postgres::DropServer(
        xr::engine::ConnectionString::Parse(m_server.ConnectString())));
    std::string error;
    try {
        conn.Execute("INSERT Gone..T VALUES (1)");
    } catch (const xr::ComError& e) {
        error = e.Description();
    }
    EXPECT_NE(error.find("connection to the PostgreSQL server was lost"), std::string::npos)
        << error;
}

// On the server a failed statement ends only itself, also inside a
// transaction; the transaction's other work commits.
TEST_F(PostgresConnection, FailedStatementLeavesTheTransactionUsable) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute("CREATE DATABASE Tx");
    conn.Execute("USE Tx");
    conn.Execute("CREATE TABLE T (A INT NOT NULL, B VARCHAR(5) NULL)");
    conn.Execute("ALTER TABLE T ADD CONSTRAINT TKey PRIMARY KEY (A)");
    conn.Execute("INSERT T VALUES (1, 'x')");
    std::string error;
    try {
        conn.Execute(
            "BEGIN TRAN INSERT T VALUES (2, 'y') INSERT T VALUES (1, 'dup') "
            "INSERT T VALUES (3, 'z') COMMIT TRAN");
    } catch (const xr::ComError& e) {
        error = e.Description();
    }
    EXPECT_EQ(error,
              "Violation of PRIMARY KEY constraint 'TKey'. Cannot insert duplicate key in "
              "object 'dbo.T'.");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT A FROM T ORDER BY A"),
              (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(xrtest::Rows(conn, "SELECT @@TRANCOUNT"), (std::vector<std::string>{"0"}));
}

}  // namespace

namespace {

// Through the library's exports: neither a refused login nor a failing
// statement writes the password into the log or the last error.
TEST(PostgresLog, PasswordStaysOutOfTheLogAndTheLastError) {
    TestServer server(Engine::Postgres);
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    const std::string right = ValueOf(server.ConnectString(), "Password");
    const std::string wrong = "An0therSecret-0815";
    xrtest::ClearLog();
    DBSetLog(&xrtest::CaptureLog);
    EXPECT_NE(DBOpen(With(server.ConnectString(), "Password", wrong).c_str(), ""), 1);
    const std::string refused = xrtest::LastError().second;
    ASSERT_EQ(DBOpen(server.ConnectString().c_str(), ""), 1);
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

}  // namespace

namespace {

// Sessions that reach a new server at the same moment: one makes its
// database and catalog, the others find them.
TEST(PostgresFirstUse, SessionsOpeningANewServerTogetherAllWork) {
    TestServer server(Engine::Postgres);
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    std::vector<std::string> errors(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < errors.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                Connection conn;
                conn.Open(server.ConnectString());
                conn.Execute("SELECT COUNT(*) FROM sysobjects");
            } catch (const xr::ComError& e) {
                errors[i] = e.Description();
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (const std::string& e : errors) EXPECT_EQ(e, "");
}

}  // namespace

namespace {

// libpq's own connection to the server database a connection string names.
PGconn* RawConnect(const std::string& cs) {
    auto value = [&](const std::string& k) {
        size_t at = cs.find(k + "=");
        if (at == std::string::npos) return std::string();
        at += k.size() + 1;
        return cs.substr(at, cs.find(';', at) - at);
    };
    const std::string host = value("Data Source"), port = value("Port"), user = value("User Id"),
                      password = value("Password"), db = value("Initial Catalog");
    const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
    const char* values[] = {host.c_str(),     port.c_str(), user.c_str(),
                            password.c_str(), db.c_str(),   nullptr};
    return PQconnectdbParams(keys, values, 0);
}

void RawExec(const std::string& cs, const std::string& sql) {
    PGconn* raw = RawConnect(cs);
    ASSERT_EQ(PQstatus(raw), CONNECTION_OK) << PQerrorMessage(raw);
    PGresult* r = PQexec(raw, sql.c_str());
    EXPECT_TRUE(PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK)
        << PQerrorMessage(raw);
    PQclear(r);
    PQfinish(raw);
}

// The server ends a session (an operator's pg_terminate_backend, a restart):
// the call that meets it fails clearly, the next one works on a new session,
// and nothing of the lost transaction is kept.
TEST(PostgresRevive, ASessionTheServerEndedFailsOnceThenReconnects) {
    xrtest::TestServer server(xrtest::Engine::Postgres);
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    Connection conn;
    conn.Open(server.ConnectString());
    conn.Execute("CREATE DATABASE Rv USE Rv CREATE TABLE T (A INT NOT NULL PRIMARY KEY)");
    conn.Execute("INSERT T VALUES (1)");
    conn.Execute("BEGIN TRAN INSERT T VALUES (2)");
    // Every other session of the test's server database goes.
    RawExec(server.ConnectString(),
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
            "current_database() AND pid <> pg_backend_pid()");
    std::string error;
    try {
        conn.Execute("INSERT T VALUES (3)");
    } catch (const xr::ComError& e) {
        error = e.Description();
    }
    EXPECT_NE(error.find("connection to the PostgreSQL server was lost"), std::string::npos)
        << error;
    // A new session: the database as it was before the transaction, which
    // the server undid. As with a transaction the embedded engine lost, the
    // caller's writes are refused until it rolls back, so that none of its
    // later work is taken for part of the transaction.
    conn.Execute("USE Rv");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT A FROM T ORDER BY A"), (std::vector<std::string>{"1"}));
    EXPECT_THROW(conn.Execute("INSERT T VALUES (4)"), xr::ComError);
    conn.Execute("ROLLBACK");
    conn.Execute("INSERT T VALUES (4)");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT COUNT(*), @@TRANCOUNT FROM T"),
              (std::vector<std::string>{"2|0"}));
}

// A statement the server cancels (its statement_timeout here) fails with
// the server's reason; the session goes on.
TEST(PostgresCancel, AStatementTheServerCancelsFailsAndTheSessionGoesOn) {
    xrtest::TestServer server(xrtest::Engine::Postgres);
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    {
        Connection setup;
        setup.Open(server.ConnectString());
        setup.Execute("CREATE DATABASE Cx USE Cx CREATE TABLE N (A INT NOT NULL)");
        setup.Execute("INSERT N VALUES (1) INSERT N SELECT A + 1 FROM N INSERT N SELECT A + 2 "
                      "FROM N INSERT N SELECT A + 4 FROM N INSERT N SELECT A + 8 FROM N");
    }
    RawExec(server.ConnectString(),
            "DO $$BEGIN EXECUTE format('ALTER DATABASE %I SET statement_timeout = 50', "
            "current_database()); END$$");
    Connection conn;
    conn.Open(server.ConnectString());
    conn.Execute("USE Cx");
    std::string error;
    try {
        // 16^6 rows: far longer than the server allows.
        conn.Execute("SELECT COUNT(*) FROM N a, N b, N c, N d, N e, N f");
    } catch (const xr::ComError& e) {
        error = e.Description();
    }
    EXPECT_NE(error.find("The statement was cancelled"), std::string::npos) << error;
    EXPECT_EQ(xrtest::Rows(conn, "SELECT COUNT(*) FROM N"), (std::vector<std::string>{"16"}));
}

}  // namespace
