// Schema changes and set-ups beside other processes that write: each waits
// its turn (the busy timeout) instead of failing with "database is locked".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "library.h"
#include "second_process.h"

namespace {

using xrtest::ConnectString;

// Writes to `table` of LORIMDB82 on its own connection, one row at a time,
// until told to stop; counts the writes that failed.
class Writer {
public:
    Writer(const std::string& folder, const std::string& sql) {
        m_thread = std::thread([this, folder, sql] {
            if (DBOpen(ConnectString(folder).c_str(), "LORIMDB82") != 1) {
                ++m_failed;
                return;
            }
            while (!m_stop) {
                if (DBExec(sql.c_str()) != 1) ++m_failed;
                ++m_writes;
                // A till writes a sale now and then, not without pause.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            DBRemoveMyConnection();
        });
    }
    ~Writer() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    int Failed() const { return m_failed; }
    int Writes() const { return m_writes; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failed{0};
    std::atomic<int> m_writes{0};
    std::thread m_thread;
};

TEST(ConcurrentWritersTest, AlterTableWaitsForAnotherProcessThatWrites) {
    xrtest::TempDir dir;
    ASSERT_EQ(xrtest::ToolSql(dir.Str(), "CREATE DATABASE LORIMDB82"), 0);
    ASSERT_EQ(xrtest::ToolSql(dir.Str(),
                              "CREATE TABLE LORIMDB82..Busy (n INT NOT NULL) "
                              "CREATE TABLE LORIMDB82..Grown (a INT NOT NULL)"),
              0);
    Writer writer(dir.Str(), "INSERT INTO Busy (n) VALUES (1) DELETE FROM Busy");
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        xrtest::ToolResult r = xrtest::Tool(
            dir.Str(), {"sql", "ALTER TABLE LORIMDB82..Grown ADD c" + std::to_string(i) +
                                   " INT NULL CREATE INDEX ix" + std::to_string(i) +
                                   " ON LORIMDB82..Grown (c" + std::to_string(i) + ")"});
        EXPECT_EQ(r.status, 0) << r.output;
    }
    writer.Stop();
    EXPECT_EQ(writer.Failed(), 0);
    EXPECT_GT(writer.Writes(), 0);
}

TEST(ConcurrentWritersTest, ThreeSetupsAtOnceAllComplete) {
    xrtest::TempDir dir;
    pid_t pids[3];
    std::string outputs[3];
    for (int i = 0; i < 3; ++i) {
        outputs[i] = dir.Str() + "/setup" + std::to_string(i) + ".txt";
        pids[i] = xrtest::StartTool(dir.Str() + "/site", {"setup"}, outputs[i]);
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        xrtest::ToolResult r = xrtest::WaitTool(pids[i], outputs[i]);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(xrtest::SetupFailures(r.output), "") << r.output;
    }
    xrtest::ToolResult check = xrtest::Tool(dir.Str() + "/site", {"check", "--quick"});
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST(ConcurrentWritersTest, SetupDuringTradingCompletes) {
    xrtest::TempDir dir;
    ASSERT_EQ(xrtest::Tool(dir.Str(), {"setup"}).status, 0);
    // An older site: tables of the trading database the set-up makes again.
    for (const char* table : {"TillTotals", "TillVars", "TillStates", "ProdSales", "DeptSales",
                              "GrpSales", "SrvrSales", "MoreTotals"})
        ASSERT_EQ(xrtest::ToolSql(dir.Str(), std::string("DROP TABLE LORIMDB82..") + table), 0);
    ASSERT_EQ(xrtest::ToolSql(dir.Str(), "CREATE TABLE LORIMDB82..Trade (n INT NOT NULL)"), 0);
    Writer writer(dir.Str(), "INSERT INTO Trade (n) VALUES (1) UPDATE Trade SET n = n + 1");
    xrtest::ToolResult r = xrtest::Tool(dir.Str(), {"setup"});
    writer.Stop();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(xrtest::SetupFailures(r.output), "") << r.output;
    EXPECT_EQ(writer.Failed(), 0);
}

}  // namespace
