// What the SQL files cannot show: several connections at once, and a schema
// change that fails half way.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sqlite3.h>

#include <set>
#include <thread>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "engine/sqlite/sqlite_session.h"
#include "library.h"
#include "tsql/parser.h"

namespace {

using xr::engine::Connection;

using xrtest::ConnectString;
using Table = std::vector<std::string>;
using xrtest::Rows;

class OnEveryEngine : public xrtest::AnyEngineTest {};

TEST_P(OnEveryEngine, ConnectionsOnSeveralThreadsLoseNoWriteAndShareIdentities) {
    m_conn.Open(ConnectString());
    m_conn.Execute(
        "CREATE DATABASE T USE T CREATE TABLE Events (ID INTEGER IDENTITY, Who INTEGER NOT NULL)");
    constexpr int kThreads = 4, kRows = 150;
    std::vector<std::set<long>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Connection c;
            c.Open(ConnectString());
            c.SetDefaultDatabase("T");
            for (int i = 0; i < kRows; ++i) {
                c.Execute("INSERT Events (Who) VALUES (" + std::to_string(t) + ")");
                seen[t].insert(std::stol(xrtest::Scalar(c, "SELECT @@IDENTITY")));
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(Rows("SELECT COUNT(*), COUNT(DISTINCT ID), MAX(ID) FROM Events"),
              (Table{"600|600|600"}));
    std::set<long> all;
    for (const auto& s : seen) {
        EXPECT_EQ(s.size(), static_cast<size_t>(kRows));  // each thread saw its own identities
        all.insert(s.begin(), s.end());
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kRows));
    EXPECT_EQ(Rows("SELECT IDENT_CURRENT('Events')"), (Table{"600"}));
}

// Interrupts the engine after a number of steps, as a full disk or a crash
// would stop a rebuild in the middle.
int StopAfter(void* left) {
    int& n = *static_cast<int*>(left);
    return --n == -1 ? 1 : 0;  // once: the rollback that follows must run
}

// A missing table comes back as the provider's DB_E_NOTABLE, other names
// that do not bind as errors in the command; the server's numbers reach @@ERROR.
TEST_P(OnEveryEngine, NamesThatDoNotBindCarryTheProvidersCodeAndTheServersNumber) {
    m_conn.Open(ConnectString());
    m_conn.Execute("CREATE DATABASE N USE N CREATE TABLE T (A INTEGER NULL)");
    const std::tuple<const char*, xr::HRESULT, const char*> cases[] = {
        {"SELECT * FROM Missing", xr::DB_E_NOTABLE, "208"},
        {"UPDATE Missing SET A = 1", xr::DB_E_NOTABLE, "208"},
        {"DELETE t9 FROM T", xr::DB_E_NOTABLE, "208"},
        {"SELECT Nope FROM T", xr::DB_E_ERRORSINCOMMAND, "207"},
        {"SELECT A FROM T x, T y", xr::DB_E_ERRORSINCOMMAND, "209"},
        {"SELECT t9.A FROM T", xr::DB_E_ERRORSINCOMMAND, "4104"},
    };
    for (const auto& [sql, code, number] : cases) {
        SCOPED_TRACE(sql);
        EXPECT_THROW(m_conn.Execute(sql), xr::ComError);
        ASSERT_EQ(m_conn.Errors().size(), 1u);
        EXPECT_EQ(m_conn.Errors()[0].number, code);
        EXPECT_EQ(Rows("SELECT @@ERROR"), (Table{number}));
        EXPECT_EQ(Rows("SELECT @@ERROR"), (Table{"0"}));
    }
}

XRTEST_ON_EVERY_ENGINE(OnEveryEngine);

TEST(Engine, ASchemaChangeStoppedHalfWayLeavesTheTableAsItWas) {
    xrtest::TempDir dir;
    Connection c;
    c.Open(ConnectString(dir));
    c.Execute(
        "CREATE DATABASE T USE T CREATE TABLE Items (No INTEGER NOT NULL, Name VARCHAR(10) DEFAULT "
        "'x' NOT NULL, ID INTEGER IDENTITY)");
    c.Execute("ALTER TABLE Items ADD CONSTRAINT ItemsPrimary PRIMARY KEY (No)");
    for (int i = 1; i <= 50; ++i)
        c.Execute("INSERT Items (No, Name) VALUES (" + std::to_string(i) + ", 'n" +
                  std::to_string(i) + "')");
    c.Execute("DELETE FROM Items WHERE No = 50");
    auto before = Rows(c, "SELECT * FROM Items ORDER BY No");
    auto* session = dynamic_cast<xr::engine::sqlite::SqliteSession*>(c.GetSession());
    ASSERT_NE(session, nullptr);

    // Stop the rebuild at every depth in turn; each attempt must leave no trace.
    bool completed = false;
    for (int steps = 50; steps < 200000 && !completed; steps = steps * 3 / 2) {
        int left = steps;
        sqlite3_progress_handler(session->Handle(), 1, StopAfter, &left);
        try {
            c.Execute("ALTER TABLE Items ALTER COLUMN Name VARCHAR(20) NOT NULL");
            completed = true;
        } catch (const xr::ComError&) {
        }
        sqlite3_progress_handler(session->Handle(), 0, nullptr, nullptr);
        if (!completed) {
            EXPECT_EQ(Rows(c, "SELECT * FROM Items ORDER BY No"), before)
                << "stopped after " << steps;
            auto cols = c.Query("SELECT Name FROM Items WHERE No = 1");
            EXPECT_EQ(cols->Column(0).typeName, "VARCHAR(10)");
        }
    }
    ASSERT_TRUE(completed);
    EXPECT_EQ(Rows(c, "SELECT * FROM Items ORDER BY No"), before);
    c.Execute("INSERT Items (No) VALUES (100)");
    EXPECT_EQ(Rows(c, "SELECT ID FROM Items WHERE No = 100"), (Table{"51"}));
    EXPECT_THROW(c.Execute("INSERT Items (No) VALUES (1)"), xr::ComError);  // the key survived
}

// Columns added to an empty table inside a transaction reach the file's table
// before anything uses it and before the commit; a rollback, whole or to a
// failed statement's start, leaves catalog and file agreeing.
TEST(Engine, ColumnsAddedInsideATransactionAreThereForEveryUseAndTheCommit) {
    xrtest::TempDir dir;
    Connection c;
    c.Open(ConnectString(dir));
    c.Execute(
        "CREATE DATABASE T USE T CREATE TABLE Old (No INTEGER NOT NULL, ID INTEGER IDENTITY)");
    c.Execute("INSERT Old (No) VALUES (1) INSERT Old (No) VALUES (2) DELETE FROM Old");
    // The table's columns as another connection reads them from the file,
    // and as the catalog lists them.
    auto stored = [&](const std::string& table) {
        Connection other;
        other.Open(ConnectString(dir));
        other.SetDefaultDatabase("T");
        Table names;
        auto rows = other.Query("SELECT * FROM " + table);
        for (size_t i = 0; i < rows->ColumnCount(); ++i) names.push_back(rows->Column(i).name);
        EXPECT_EQ(names, Rows(other, "SELECT name FROM syscolumns WHERE id = object_id('" + table +
                                         "') ORDER BY colid"));
        return names;
    };

    c.BeginTrans();
    c.Execute("CREATE TABLE Tills (TillNo INTEGER NOT NULL)");
    c.Execute("ALTER TABLE Tills ADD ReceiptType INTEGER DEFAULT 5 NOT NULL");
    c.Execute("ALTER TABLE Tills ADD Name VARCHAR(10) NULL");
    EXPECT_THROW(c.Execute("ALTER TABLE Tills ADD Name INTEGER NULL"), xr::ComError);
    c.Execute("ALTER TABLE Old ADD Extra INTEGER DEFAULT 7 NOT NULL");
    c.Execute("INSERT Tills (TillNo) VALUES (1)");
    EXPECT_EQ(Rows(c, "SELECT TillNo, ReceiptType, Name FROM Tills"), (Table{"1|5|NULL"}));
    c.Execute("ALTER TABLE Tills ADD Later BIT DEFAULT 1 NOT NULL");
    // A statement that fails after changing things goes back to its start.
    EXPECT_THROW(c.Execute("ALTER TABLE Old ADD Gone INTEGER NULL, CONSTRAINT PK_Old PRIMARY KEY "
                           "(NoSuchColumn)"),
                 xr::ComError);
    c.Execute("CREATE TABLE Fresh (A INTEGER NULL)");
    c.Execute("ALTER TABLE Fresh ADD B INTEGER NULL");
    c.Execute("ALTER TABLE Fresh ADD C CHAR(2) DEFAULT 'AB' NOT NULL");
    // A recordset opened before the columns came writes into the table made.
    c.Execute("CREATE TABLE Late (A INTEGER NULL)");
    xr::engine::Recordset late;
    late.Open(c, "Late", xr::engine::adOpenKeyset, xr::engine::adLockOptimistic, true);
    c.Execute("ALTER TABLE Late ADD B INTEGER DEFAULT 3 NOT NULL");
    late.AddNew();
    late.SetValue("A", xr::Variant::I4(1));
    late.Update();
    late.Close();
    c.CommitTrans();
    EXPECT_EQ(Rows(c, "SELECT A, B FROM Late"), (Table{"1|3"}));
    EXPECT_EQ(stored("Fresh"), (Table{"A", "B", "C"}));
    EXPECT_EQ(stored("Tills"), (Table{"TillNo", "ReceiptType", "Name", "Later"}));
    // (BIT reads as a variant boolean.)
    EXPECT_EQ(Rows(c, "SELECT * FROM Tills"), (Table{"1|5|NULL|-1"}));
    EXPECT_EQ(stored("Old"), (Table{"No", "ID", "Extra"}));
    // The identity counter went through the remake: values are not reused.
    c.Execute("INSERT Old (No) VALUES (3)");
    EXPECT_EQ(Rows(c, "SELECT No, ID, Extra FROM Old"), (Table{"3|3|7"}));

    // Undone whole: the table is as it was, in the catalog and in the file.
    c.Execute("CREATE TABLE Kept (A INTEGER NULL)");
    c.BeginTrans();
    c.Execute("ALTER TABLE Kept ADD B INTEGER NULL");
    c.RollbackTrans();
    EXPECT_THROW(c.Execute("SELECT B FROM Kept"), xr::ComError);
    c.Execute("INSERT Kept (A) VALUES (1)");
    EXPECT_EQ(stored("Kept"), (Table{"A"}));
}

// A database can hold only so many files open; one that a running statement
// names (OBJECT_ID of a table in a tenth database) is opened while it runs
// and another is let go, without pulling the running statement's plan away.
TEST(Engine, AStatementThatOpensADatabaseWhileItRunsKeepsItsPlan) {
    xrtest::TempDir dir;
    constexpr int kDatabases = 12;  // more than the files a session holds open
    {
        Connection setup;
        setup.Open(ConnectString(dir));
        for (int i = 1; i <= kDatabases; ++i) {
            const std::string db = "D" + std::to_string(i);
            setup.Execute("CREATE DATABASE " + db + " USE " + db +
                          " CREATE TABLE T (A INTEGER NULL)");
        }
        setup.Execute("USE D1 INSERT T VALUES (1) INSERT T VALUES (2) INSERT T VALUES (3)");
    }
    // Each statement names another database: some are not open and are
    // opened while the statement runs, letting one of the others go.
    Connection c;
    c.Open(ConnectString(dir));
    c.Execute("USE D1");
    for (int i = 2; i <= kDatabases; ++i) {
        SCOPED_TRACE(i);
        const auto rows = Rows(c, "SELECT OBJECT_ID('D" + std::to_string(i) + "..T') FROM T");
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_NE(rows[0], "NULL");
        EXPECT_EQ(rows[2], rows[0]);
    }
}

// Runs f on a thread with a 1 MiB stack, the smallest any caller of the
// library gives its worker threads; an overflow there fails the whole run.
// AddressSanitizer's frames take several times the room (its red zones), so
// the sanitized build gives the thread as many times more.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kSmallStack = size_t{8} << 20;
#else
constexpr size_t kSmallStack = size_t{1} << 20;
#endif

template <class F>
void OnSmallStack(F f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kSmallStack);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<F*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &f), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

std::string Repeat(const std::string& piece, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
}

// Each shape of deep statement: at a size that used to overflow the stack it
// fails with the server's error, just inside the limit it runs, both on a
// small stack. Long but flat lists (IN with thousands of items) keep working.
TEST(Engine, DeepStatementsFailWithTheServersErrorAndNeverOverflow) {
    xrtest::TempDir dir;
    const std::string kStack = "Internal error: Server stack limit has been reached.";
    const std::string kNested = "Some part of your SQL statement is nested too deeply.";
    struct Case {
        std::string sql;
        std::string error;  // empty: runs and gives answer
        std::string answer;
    };
    const int k = static_cast<int>(xr::tsql::kMaxExprHeight);
    const std::vector<Case> cases = {
        // A sum of n terms is n levels under its select, so k - 1 terms is one too many.
        {"SELECT 1" + Repeat("+1", 89), "", "90"},
        {"SELECT 1" + Repeat("+1", k - 1), kStack, ""},
        {"SELECT 1" + Repeat("+1", 4000), kStack, ""},
        {"SELECT 1" + Repeat("+1", 100000), kStack, ""},
        {"SELECT 'a'" + Repeat(" + 'a'", 5000), kStack, ""},
        {"SELECT 2" + Repeat("*1", 5000), kStack, ""},
        {"SELECT COUNT(*) FROM T WHERE A = 0" + Repeat(" OR A = 1", 5000), kStack, ""},
        {"SELECT COUNT(*) FROM T WHERE A = 1" + Repeat(" AND A = 1", 5000), kStack, ""},
        // a = 1 is two levels, each OR or AND one more.
        {"SELECT COUNT(*) FROM T WHERE A IN (0" + Repeat(", 1", 20000) + ")", "", "1"},
        {"SELECT CASE" + Repeat(" WHEN A = 0 THEN 0", 5000) + " ELSE 7 END FROM T", "", "7"},
        {"SELECT " + Repeat("(", 5000) + "1" + Repeat(")", 5000), kNested, ""},
        {"SELECT " + Repeat("(", 150) + "1" + Repeat(")", 150), "", "1"},
        {"SELECT " + Repeat("- ", 5000) + "1", kNested, ""},
        {"SELECT " + Repeat("- ", 150) + "1", "", "1"},
        {"SELECT " + Repeat("CASE WHEN 1 = 1 THEN ", 5000) + "1" + Repeat(" END", 5000), kNested,
         ""},

        {"SELECT " + Repeat("(SELECT ", 5000) + "1" + Repeat(")", 5000), kNested, ""},
        {"SELECT 1 WHERE A IN " + Repeat("(SELECT A FROM T WHERE A IN ", 3000), kNested, ""},
        {"SELECT 1 WHERE " + Repeat("NOT ", 3000) + "1 = 1", kNested, ""},
        {Repeat("IF 1 = 1 ", 3000) + "SELECT 1", kNested, ""},
        {Repeat("BEGIN ", 3000), kNested, ""},

        {"SELECT COUNT(*) FROM T" + Repeat(" JOIN T t2 ON 1 = 1", 5000), kStack, ""},
        {"SELECT A FROM T" + Repeat(" UNION SELECT A FROM T", 5000), kStack, ""},
        {"SELECT A FROM T" + Repeat(" UNION SELECT A FROM T", 150), "", "1"},
    };
    // The tallest tree the parser takes: k - 2 terms under the select. (SQLite's
    // own parser refuses the rendered text past about a hundred terms, cleanly.)
    EXPECT_NO_THROW(xr::tsql::Parse("SELECT 1" + Repeat("+1", k - 2)));
    EXPECT_NO_THROW(xr::tsql::Parse("SELECT 1 WHERE 1 = 0" + Repeat(" OR 1 = 1", k - 3)));
    EXPECT_NO_THROW(xr::tsql::Parse("SELECT 1 WHERE 1 = 1" + Repeat(" AND 1 = 1", k - 3)));
    EXPECT_NO_THROW(xr::tsql::Parse("SELECT " + Repeat("CASE WHEN 1 = 1 THEN ", 50) + "1" +
                                    Repeat(" END", 50)));
    EXPECT_NO_THROW(xr::tsql::Parse("SELECT " + Repeat("(SELECT ", 60) + "1" + Repeat(")", 60)));
    OnSmallStack([&] {
        Connection c;
        c.Open(ConnectString(dir));
        c.Execute("CREATE DATABASE D USE D CREATE TABLE T (A INTEGER NULL) INSERT T VALUES (1)");
        for (const Case& t : cases) {
            SCOPED_TRACE(t.sql.substr(0, 60) + " (" + std::to_string(t.sql.size()) + " chars)");
            if (t.error.empty()) {
                EXPECT_EQ(Rows(c, t.sql), (Table{t.answer}));
            } else {
                const std::string error = xrtest::ErrorOf(c, t.sql);
                EXPECT_TRUE(error.starts_with(t.error)) << "gave '" << error << "'";
            }
        }
        // The batch stopped before it ran: nothing lost, the connection goes on.
        EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM T"), (Table{"1"}));
    });
}

}  // namespace
