// What the SQL files cannot show: several connections at once, and a schema
// change that fails half way.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>
#include <thread>

#include "engine/connection.h"
#include "engine/sqlite/sqlite_session.h"
#include "temp_dir.h"

namespace {

using xr::engine::Connection;

std::string ConnectString(const xrtest::TempDir& dir) {
    return "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
}

std::vector<std::vector<std::string>> Rows(Connection& c, const std::string& sql) {
    std::vector<std::vector<std::string>> out;
    auto rows = c.Query(sql);
    while (rows && rows->Next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < rows->ColumnCount(); ++i) {
            xr::Variant v = rows->Value(i);
            row.push_back(v.IsNull() ? "NULL" : v.ToText());
        }
        out.push_back(std::move(row));
    }
    return out;
}

TEST(Engine, ConnectionsOnSeveralThreadsLoseNoWriteAndShareIdentities) {
    xrtest::TempDir dir;
    {
        Connection c;
        c.Open(ConnectString(dir));
        c.Execute(
            "CREATE DATABASE T USE T CREATE TABLE Events (ID INTEGER IDENTITY, Who INTEGER NOT "
            "NULL)");
    }
    constexpr int kThreads = 4, kRows = 150;
    std::vector<std::set<long>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Connection c;
            c.Open(ConnectString(dir));
            c.SetDefaultDatabase("T");
            for (int i = 0; i < kRows; ++i) {
                c.Execute("INSERT Events (Who) VALUES (" + std::to_string(t) + ")");
                auto r = Rows(c, "SELECT @@IDENTITY");
                seen[t].insert(std::stol(r.at(0).at(0)));
            }
        });
    }
    for (auto& th : threads) th.join();
    Connection c;
    c.Open(ConnectString(dir));
    c.SetDefaultDatabase("T");
    EXPECT_EQ(Rows(c, "SELECT COUNT(*), COUNT(DISTINCT ID), MAX(ID) FROM Events"),
              (std::vector<std::vector<std::string>>{{"600", "600", "600"}}));
    std::set<long> all;
    for (const auto& s : seen) {
        EXPECT_EQ(s.size(), static_cast<size_t>(kRows));  // each thread saw its own identities
        all.insert(s.begin(), s.end());
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kRows));
    EXPECT_EQ(Rows(c, "SELECT IDENT_CURRENT('Events')"),
              (std::vector<std::vector<std::string>>{{"600"}}));
}

// Interrupts the engine after a number of steps, as a full disk or a crash
// would stop a rebuild in the middle.
int StopAfter(void* left) {
    int& n = *static_cast<int*>(left);
    return --n == -1 ? 1 : 0;  // once: the rollback that follows must run
}

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
    EXPECT_EQ(Rows(c, "SELECT ID FROM Items WHERE No = 100"),
              (std::vector<std::vector<std::string>>{{"51"}}));
    EXPECT_THROW(c.Execute("INSERT Items (No) VALUES (1)"), xr::ComError);  // the key survived
}

}  // namespace
