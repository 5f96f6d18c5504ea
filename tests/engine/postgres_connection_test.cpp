// The server engine's connection: clear errors when the server is not there
// or goes, the password kept out of every text, sessions opening a new server
// together, and sessions the server ends or cancels. Logins are the server's
// own roles: a read-only login connecting with its own User Id and Password
// reads and is refused every write with the server's error 229; and two
// sessions that deadlock end with one of them the deadlock victim (1205), its
// batch ended and its transaction rolled back. Skipped when the test
// command's PostgreSQL server is not there. (Statements through the T-SQL
// layer: the conformance files listed in tsql/conformance/postgres.list.)
#include <gtest/gtest.h>
#include <unistd.h>

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
using xrtest::Has;
using xrtest::OpenError;
using xrtest::TestServer;
using xrtest::ValueOf;
using xrtest::With;
using Lines = std::vector<std::string>;

// Runs `sql` on the server database `cs` names, as its operator would.
void ServerExec(const std::string& cs, const std::string& sql) {
    xr::engine::postgres::PgLink(xr::engine::ConnectionString::Parse(cs), false).Exec(sql);
}

// Roles belong to the whole PostgreSQL cluster, which other tests share:
// each test's logins have names of their own and go when it ends.
class PostgresServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    }
    void TearDown() override {
        if (m_roles.empty()) return;
        xr::engine::postgres::PgLink admin(
            xr::engine::ConnectionString::Parse(m_server.ConnectString()), false);
        for (const std::string& role : m_roles) {
            admin.Exec("DROP OWNED BY \"" + role + "\"");
            admin.Exec("DROP ROLE \"" + role + "\"");
        }
    }
    // A login name no other test of the cluster uses.
    std::string NewLogin(const char* what) {
        static int counter = 0;
        m_roles.push_back(std::string("xrt_") + what + "_" + std::to_string(getpid()) + "_" +
                          std::to_string(++counter));
        return m_roles.back();
    }
    std::string LoginString(const std::string& login, const std::string& password) {
        return With(With(m_server.ConnectString(), "User Id", login), "Password", password);
    }
    // A new login of the database Shop with kPassword, a member of `roles`.
    std::string AddLogin(Connection& admin, const char* what,
                         std::initializer_list<const char*> roles) {
        const std::string login = NewLogin(what);
        admin.Execute("EXEC sp_addlogin '" + login + "', '" + kPassword + "', 'Shop' " +
                      "EXEC sp_grantdbaccess '" + login + "'");
        for (const char* role : roles)
            admin.Execute("EXEC sp_addrolemember '" + std::string(role) + "', '" + login + "'");
        return login;
    }
    // `conn` opened as `login`, in Shop.
    void Connect(Connection& conn, const std::string& login) {
        conn.Open(LoginString(login, kPassword));
        conn.Execute("USE Shop");
    }

    static constexpr const char* kPassword = "Till-Pass-7319";
    TestServer m_server{Engine::Postgres};
    std::vector<std::string> m_roles;
};

class PostgresConnection : public PostgresServerTest {};
class PostgresLogins : public PostgresServerTest {};

// A port nothing listens on, or a socket folder where no server listens: a
// clear error naming the server, never the password.
TEST_F(PostgresConnection, AServerNotThereIsAClearError) {
    const std::string cs = m_server.ConnectString();
    EXPECT_EQ(OpenError(With(cs, "Port", ValueOf(cs, "Port"))), "");
    std::string error = OpenError(With(cs, "Port", "1"));
    EXPECT_NE(error.find("Cannot connect to the PostgreSQL server"), std::string::npos) << error;
    error = OpenError(With(cs, "Data Source", m_server.Dir().Str()));
    EXPECT_PRED2(Has, error,
                 "Cannot connect to the PostgreSQL server '" + m_server.Dir().Str() + "'");
    EXPECT_EQ(error.find(ValueOf(cs, "Password")), std::string::npos) << error;
}

TEST_F(PostgresConnection, ServerGoneMidSessionIsAClearError) {
    Connection conn;
    conn.Open(m_server.ConnectString());
    conn.Execute("CREATE DATABASE Gone CREATE TABLE Gone..T (A INT NULL)");
    ASSERT_TRUE(xr::engine::postgres::DropServer(
        xr::engine::ConnectionString::Parse(m_server.ConnectString())));
    EXPECT_PRED2(Has, ErrorOf(conn, "INSERT Gone..T VALUES (1)"),
                 "connection to the PostgreSQL server was lost");
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
    EXPECT_PRED2(Has, ErrorOf(conn, "INSERT T VALUES (3)"),
                 "connection to the PostgreSQL server was lost");
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
    EXPECT_PRED2(Has, ErrorOf(conn, "SELECT COUNT(*) FROM N a, N b, N c, N d, N e, N f"),
                 "The statement was cancelled");
    EXPECT_EQ(xrtest::Rows(conn, "SELECT COUNT(*) FROM N"), Lines{"16"});
}

TEST_F(PostgresLogins, ReadOnlyLoginReadsEveryOnesTablesAndIsRefusedEveryWrite) {
    Connection admin, ro, rw, own;
    admin.Open(m_server.ConnectString());
    admin.Execute(
        "CREATE DATABASE Shop USE Shop CREATE TABLE Items (No INT NOT NULL, Name VARCHAR(20) "
        "NULL) INSERT Items VALUES (1, 'Tea')");
    const std::string reader = AddLogin(admin, "reader", {"db_datareader"});
    const std::string writer = AddLogin(admin, "writer", {"db_datareader", "db_datawriter"});
    // A table made after the grants is covered by them too.
    admin.Execute(
        "CREATE TABLE Sales (Id INT IDENTITY(1,1) NOT NULL, Item INT NOT NULL) "
        "INSERT Sales (Item) VALUES (1)");
    Connect(ro, reader);
    EXPECT_EQ(xrtest::Rows(ro, "SELECT No, Name FROM Items"), Lines{"1|Tea"});
    EXPECT_EQ(xrtest::Rows(ro, "SELECT Id, Item FROM Sales"), Lines{"1|1"});
    const char* const writes[][3] = {
        {"INSERT Items VALUES (2, 'Coffee')", "INSERT", "Items"},
        {"INSERT Sales (Item) VALUES (2)", "INSERT", "Sales"},
        {"UPDATE Items SET Name = 'x'", "UPDATE", "Items"},
        {"DELETE Items", "DELETE", "Items"},
    };
    for (const auto& [sql, what, table] : writes) {
        EXPECT_EQ(ErrorOf(ro, sql),
                  xr::Format("The %s permission was denied on the object '%s', database 'SHOP', "
                             "schema 'dbo'.",
                             what, table));
    }
    // The refusal is the server's error 229 at severity 14, which CATCH takes.
    EXPECT_EQ(xrtest::Rows(ro,
                           "BEGIN TRY INSERT Items VALUES (3, 'x') END TRY BEGIN CATCH "
                           "SELECT ERROR_NUMBER(), ERROR_SEVERITY() END CATCH"),
              Lines{"229|14"});
    EXPECT_EQ(xrtest::Rows(admin, "SELECT COUNT(*) FROM Items"), Lines{"1"});

    Connect(rw, writer);
    EXPECT_EQ(ErrorOf(rw,
                      "INSERT Items VALUES (2, 'Coffee') INSERT Sales (Item) VALUES (2) "
                      "UPDATE Items SET Name = 'Green tea' WHERE No = 1"),
              "");
    EXPECT_EQ(xrtest::Rows(admin, "SELECT No, Name FROM Items ORDER BY No"),
              (Lines{"1|Green tea", "2|Coffee"}));
    EXPECT_EQ(xrtest::Rows(admin, "SELECT Id, Item FROM Sales ORDER BY Id"), (Lines{"1|1", "2|2"}));

    // A db_owner login makes tables; the readers read them, whoever made them.
    Connect(own, AddLogin(admin, "owner", {"db_owner"}));
    EXPECT_EQ(ErrorOf(own,
                      "CREATE TABLE Shifts (Id INT IDENTITY(1,1) NOT NULL PRIMARY KEY, "
                      "Till INT NOT NULL) INSERT Shifts (Till) VALUES (4)"),
              "");
    EXPECT_EQ(xrtest::Rows(own, "SELECT Id, Till FROM Shifts"), Lines{"1|4"});
    EXPECT_EQ(xrtest::Rows(ro, "SELECT Id, Till FROM Shifts"), Lines{"1|4"});
    EXPECT_EQ(ErrorOf(ro, "DELETE Shifts"),
              "The DELETE permission was denied on the object 'Shifts', database 'SHOP', "
              "schema 'dbo'.");
    EXPECT_EQ(xrtest::Rows(admin, "SELECT Till FROM Shifts"), Lines{"4"});

    // A wrong password is refused without being shown.
    const std::string error = OpenError(LoginString(reader, std::string("not-") + kPassword));
    EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
    EXPECT_EQ(error.find(kPassword), std::string::npos) << error;
    for (Connection* c : {&ro, &rw, &own, &admin}) c->Close();
    // Nor does the server's own log hold it (when the test may read it).
    const std::string log =
        xrtest::ReadFile(ValueOf(m_server.ConnectString(), "Data Source") + "/server.log");
    EXPECT_EQ(log.find(kPassword), std::string::npos);
}

// Through the library's exports: neither a refused login, a failing
// statement, nor a login made and made again (refused) writes a password into
// the log or the last error; the server's own role of a name is not taken over.
TEST_F(PostgresLogins, PasswordsStayOutOfTheLogAndTheLastError) {
    const std::string right = ValueOf(m_server.ConnectString(), "Password");
    const std::string wrong = "An0therSecret-0815";
    const std::string login = NewLogin("logged");
    const std::string password = "Secret-Till-5521";
    xrtest::ClearLog();
    DBSetLog(&xrtest::CaptureLog);
    EXPECT_NE(DBOpen(With(m_server.ConnectString(), "Password", wrong).c_str(), ""), 1);
    const std::string refused = xrtest::LastError().second;
    ASSERT_EQ(DBOpen(m_server.ConnectString().c_str(), ""), 1);
    EXPECT_NE(DBExec("SELECT * FROM NoSuchTable"), 1);
    const std::string failed = xrtest::LastError().second;
    const std::string add = "EXEC sp_addlogin '" + login + "', '" + password + "', 'master'";
    EXPECT_EQ(DBExec(add.c_str()), 1);
    EXPECT_NE(DBExec(add.c_str()), 1);
    const std::string again = xrtest::LastError().second;
    DBClose();
    DBSetLog(&xr::FileSink);
    EXPECT_NE(refused.find("password authentication failed"), std::string::npos) << refused;
    EXPECT_EQ(again, "The server principal '" + login + "' already exists.");
    for (const std::string& secret : {right, wrong, password}) {
        EXPECT_EQ(refused.find(secret), std::string::npos) << refused;
        EXPECT_EQ(failed.find(secret), std::string::npos) << failed;
        EXPECT_TRUE(xrtest::LinesWith(secret).empty()) << xrtest::LinesWith(secret)[0];
    }
    EXPECT_FALSE(xrtest::Captured().empty());  // the log was written
    // The login works with that password.
    Connection conn;
    EXPECT_NO_THROW(conn.Open(LoginString(login, password)));
    // A role of the same name that the engine did not make is not taken
    // over: its password is as it was.
    const std::string owner = ValueOf(m_server.ConnectString(), "User Id");
    Connection admin;
    admin.Open(m_server.ConnectString());
    EXPECT_EQ(ErrorOf(admin, "EXEC sp_addlogin '" + owner + "', 'x', 'master'"),
              "The server principal '" + owner + "' already exists.");
    EXPECT_NO_THROW(Connection().Open(m_server.ConnectString()));
}

// Two sessions each hold the row the other wants next: the server picks
// one as the deadlock victim; its batch ends there and its transaction is
// rolled back, the other's goes on and commits.
TEST_F(PostgresLogins, DeadlockVictimGetsError1205AndLosesItsTransaction) {
    Connection setup, a, b;
    setup.Open(m_server.ConnectString());
    setup.Execute(
        "CREATE DATABASE Locks USE Locks CREATE TABLE Stock (No INT NOT NULL PRIMARY KEY, Qty INT "
        "NOT NULL) INSERT Stock VALUES (1, 10) INSERT Stock VALUES (2, 20) CREATE TABLE Marks "
        "(Who INT NOT NULL)");
    a.Open(m_server.ConnectString());
    b.Open(m_server.ConnectString());
    a.Execute("USE Locks BEGIN TRAN UPDATE Stock SET Qty = Qty - 1 WHERE No = 1");
    b.Execute("USE Locks BEGIN TRAN UPDATE Stock SET Qty = Qty - 1 WHERE No = 2");
    std::string errors[2];
    auto second = [&](Connection& c, int who, int row, std::string* error) {
        *error = ErrorOf(c, "UPDATE Stock SET Qty = Qty - 1 WHERE No = " + std::to_string(row) +
                                " INSERT Marks VALUES (" + std::to_string(who) + ") COMMIT TRAN");
    };
    std::thread ta(second, std::ref(a), 1, 2, &errors[0]);
    std::thread tb(second, std::ref(b), 2, 1, &errors[1]);
    ta.join();
    tb.join();
    const int victim = errors[0].empty() ? 1 : 0;
    ASSERT_NE(errors[0].empty(), errors[1].empty()) << errors[0] << " / " << errors[1];
    const std::string& text = errors[victim];
    EXPECT_EQ(text.rfind("Transaction (Process ID ", 0), 0u) << text;
    EXPECT_PRED2(Has, text,
                 ") was deadlocked on lock resources with another process and has been chosen as "
                 "the deadlock victim. Rerun the transaction.");
    Connection& lost = victim == 0 ? a : b;
    EXPECT_EQ(xrtest::Rows(lost, "SELECT @@TRANCOUNT"), Lines{"0"});
    // Only the survivor's work is there: its batch went on past the update.
    EXPECT_EQ(xrtest::Rows(setup, "SELECT Who, (SELECT SUM(Qty) FROM Stock) FROM Marks"),
              Lines{std::to_string(2 - victim) + "|28"});
    // The victim's session works on.
    EXPECT_EQ(ErrorOf(lost, "UPDATE Stock SET Qty = Qty + 1 WHERE No = 1"), "");
}

}  // namespace
