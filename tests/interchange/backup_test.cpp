// xrdb8 backup / xrdb8 restore, run as the operator runs them (the tool as a
// process of its own) on both engines: a backup taken while another process
// keeps committing sales that each write two databases restores to a moment
// that existed (every sale whole in both, the same rows as the source had);
// a live server is replaced only when forced, and sessions open on it see
// the restored rows; a damaged backup is refused before anything is touched.
#include "engine/sqlite/backup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/connection.h"
#include "engine/postgres/pg_backup.h"
#include "library.h"
#include "second_process.h"

namespace {

namespace fs = std::filesystem;
using xr::engine::Connection;
using xrtest::Engine;
using xrtest::TestServer;

constexpr int kFirstSales = 300;  // committed before the backup starts

// `xrdb8 --data|--connect <server> args...` to its end.
xrtest::ToolResult RunTool(const TestServer& server, const std::vector<std::string>& args) {
    if (server.GetEngine() == Engine::Sqlite) return xrtest::Tool(server.Dir().Str(), args);
    return xrtest::Tool(server.ConnectString(), args, "--connect");
}

std::string SaleSql(int id) {
    return xr::Format(
        "SET XACT_ABORT ON BEGIN TRAN INSERT ShopA..Sales (Id, Amount, Note) VALUES (%d, %d.25, "
        "'sale %d') INSERT ShopB..Ledger (Id, Amount) VALUES (%d, -%d.25) COMMIT TRAN",
        id, id, id, id, id);
}

// A shop with two databases; each sale writes both.
void MakeShop(const TestServer& server) {
    Connection setup;
    setup.Open(server.ConnectString());
    setup.Execute("CREATE DATABASE ShopA CREATE DATABASE ShopB");
    setup.Execute(
        "CREATE TABLE ShopA..Sales (Id int NOT NULL PRIMARY KEY, Amount money NOT NULL, "
        "Note varchar(40) NULL) "
        "CREATE TABLE ShopB..Ledger (Id int NOT NULL PRIMARY KEY, Amount money NOT NULL)");
    setup.Execute("BEGIN TRAN");
    for (int id = 1; id <= kFirstSales; ++id) setup.Execute(SaleSql(id));
    setup.Execute("COMMIT TRAN");
}

std::vector<std::string> Sales(Connection& conn) {
    return xrtest::Rows(conn, "SELECT Id, Amount, Note FROM ShopA..Sales ORDER BY Id");
}
std::vector<std::string> Ledger(Connection& conn) {
    return xrtest::Rows(conn, "SELECT Id, Amount FROM ShopB..Ledger ORDER BY Id");
}

// A process of its own that commits sales one after the other, each its own
// transaction over both databases, until the file `stop` appears; `report`
// says "running" after its first twenty, "done" at its end.
pid_t StartWriter(std::string connect, const std::string& stop, const std::string& report) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Each file's commit synced to the disk: a sale's commit of its first
    // database comes well before that of its second, the moment a backup
    // that copied the files one by one would tear the sale apart.
    if (const size_t at = connect.find(";Synchronous=OFF"); at != std::string::npos)
        connect.replace(at, 16, ";Synchronous=FULL");
    Connection conn;
    conn.Open(connect);
    int id = kFirstSales;
    std::error_code ec;
    while (!fs::exists(stop, ec)) {
        conn.Execute(SaleSql(++id));
        if (id == kFirstSales + 20) std::ofstream(report) << "running\n";
    }
    std::ofstream(report) << "done " << id << "\n";
    _exit(0);
}

class BackupRestore : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        MakeShop(m_server);
    }
    std::string BackupDir(const std::string& name) { return m_server.Dir().Str() + "/" + name; }

    TestServer m_server{GetParam()};
};

TEST_P(BackupRestore, BackupWhileWritingRestoresOneInstant) {
    const std::string stop = m_server.Dir().Str() + "/stop";
    const std::string report = m_server.Dir().Str() + "/writer.txt";
    const pid_t writer = StartWriter(m_server.ConnectString(), stop, report);
    ASSERT_GT(writer, 0);
    // Once it is writing, a backup, and another one a moment later.
    for (int i = 0; i < 6000 && xrtest::ReadFile(report).find("running") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto first = RunTool(m_server, {"backup", BackupDir("b1")});
    const auto second = RunTool(m_server, {"backup", BackupDir("b2")});
    std::ofstream(stop) << "stop\n";
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_PRED2(xrtest::Has, xrtest::ReadFile(report), "done")
        << "the writer did not write: " << xrtest::ReadFile(report);
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_PRED2(xrtest::Has, first.output, "SHOPA");

    Connection source;
    source.Open(m_server.ConnectString());
    const std::vector<std::string> sales = Sales(source), ledger = Ledger(source);
    size_t restoredSales = 0;
    for (const char* name : {"b1", "b2"}) {
        TestServer target(GetParam());
        const auto restored = RunTool(target, {"restore", BackupDir(name)});
        ASSERT_EQ(restored.status, 0) << restored.output;
        Connection copy;
        copy.Open(target.ConnectString());
        const std::vector<std::string> copySales = Sales(copy), copyLedger = Ledger(copy);
        // Every sale whole: as many sales as ledger lines, and each is the
        // source's row of the same place, the first K of the source's rows.
        ASSERT_EQ(copySales.size(), copyLedger.size()) << name;
        ASSERT_GE(copySales.size(), static_cast<size_t>(kFirstSales)) << name;
        ASSERT_LE(copySales.size(), sales.size()) << name;
        for (size_t i = 0; i < copySales.size(); ++i) {
            ASSERT_EQ(copySales[i], sales[i]) << name;
            ASSERT_EQ(copyLedger[i], ledger[i]) << name;
        }
        EXPECT_GE(copySales.size(), restoredSales) << "the later backup holds fewer sales";
        restoredSales = copySales.size();
        // What the engine keeps beside the tables came back too.
        EXPECT_EQ(xrtest::Rows(copy, "SELECT COUNT(*) FROM ShopA..sysobjects WHERE name = 'Sales'"),
                  (std::vector<std::string>{"1"}));
    }
}

TEST_P(BackupRestore, LiveServerIsReplacedOnlyWhenForcedAndBackupsGoIntoEmptyFolders) {
    const std::string backup = BackupDir("b");
    const auto made = RunTool(m_server, {"backup", backup});
    ASSERT_EQ(made.status, 0) << made.output;
    // A session that stays open through the restore, as a till does.
    Connection till;
    till.Open(m_server.ConnectString());
    const std::vector<std::string> before = Sales(till);
    till.Execute(SaleSql(kFirstSales + 1));
    till.Execute("CREATE TABLE ShopA..Later (Id int NOT NULL)");
    ASSERT_EQ(Sales(till).size(), before.size() + 1);

    const auto refused = RunTool(m_server, {"restore", backup});
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_PRED2(xrtest::Has, refused.output, "--force");
    EXPECT_EQ(Sales(till).size(), before.size() + 1);

    const auto forced = RunTool(m_server, {"restore", backup, "--force"});
    ASSERT_EQ(forced.status, 0) << forced.output;
    // The open session reads the restored databases (on the embedded engine
    // the restored files, not unlinked ones), and knows their tables anew.
    EXPECT_EQ(Sales(till), before);
    EXPECT_EQ(Ledger(till).size(), before.size());
    EXPECT_EQ(xrtest::Rows(till, "SELECT COUNT(*) FROM ShopA..sysobjects WHERE name = 'Later'"),
              (std::vector<std::string>{"0"}));
    EXPECT_THROW(till.Execute("INSERT ShopA..Later (Id) VALUES (1)"), xr::ComError);
    // A backup goes only into a new or empty folder.
    const std::string dest = BackupDir("taken");
    fs::create_directories(dest);
    std::ofstream(dest + "/keep.txt") << "mine\n";
    const auto r = RunTool(m_server, {"backup", dest});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(xrtest::ReadFile(dest + "/keep.txt"), "mine\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 1);
}

TEST_P(BackupRestore, DamagedBackupIsRefusedAndNothingIsTouched) {
    const std::string backup = BackupDir("b");
    const auto made = RunTool(m_server, {"backup", backup});
    ASSERT_EQ(made.status, 0) << made.output;
    std::string file;
    for (const auto& entry : fs::directory_iterator(backup)) {
        const std::string name = entry.path().filename().string();
        if (name == "SHOPA.db" || name == "server.sql") file = entry.path().string();
    }
    ASSERT_FALSE(file.empty());
    Connection live;
    live.Open(m_server.ConnectString());
    live.Execute(SaleSql(kFirstSales + 1));
    const std::vector<std::string> liveSales = Sales(live);

    auto refusedEverywhere = [&](const std::string& what) {
        // Into an empty server: it stays empty.
        TestServer target(GetParam());
        const auto r = RunTool(target, {"restore", backup});
        EXPECT_EQ(r.status, 1) << what << ": " << r.output;
        EXPECT_PRED2(xrtest::Has, r.output, "xrdb8: error:") << what << ": " << r.output;
        if (GetParam() == Engine::Sqlite) {
            EXPECT_TRUE(xr::engine::sqlite::FolderDatabases(target.Dir().Str()).empty()) << what;
        } else {
            EXPECT_FALSE(xr::engine::postgres::ServerHoldsDatabases(
                xr::engine::ConnectionString::Parse(target.ConnectString())))
                << what;
        }
        // Into the live server, even forced: it keeps its rows.
        const auto forced = RunTool(m_server, {"restore", backup, "--force"});
        EXPECT_EQ(forced.status, 1) << what << ": " << forced.output;
        EXPECT_EQ(Sales(live), liveSales) << what;
    };

    const auto size = fs::file_size(file);
    fs::resize_file(file, size / 2);
    refusedEverywhere("truncated");
    fs::resize_file(file, size);  // the right length, garbage in the middle
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size / 3));
    f.write(std::string(512, '\x5a').c_str(), 512);
    f.close();
    refusedEverywhere("garbage");
    fs::remove(fs::path(backup) / "xrdb8-backup.txt");  // a backup that never ended
    refusedEverywhere("no list");
}

TEST_P(BackupRestore, BackupOfTheOtherEngineIsRefused) {
    if (GetParam() != Engine::Postgres) GTEST_SKIP() << "needs both engines";
    TestServer folder(Engine::Sqlite);
    MakeShop(folder);
    const auto made = RunTool(folder, {"backup", folder.Dir().Str() + "/b"});
    ASSERT_EQ(made.status, 0) << made.output;
    TestServer target(Engine::Postgres);
    const auto r = RunTool(target, {"restore", folder.Dir().Str() + "/b"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_PRED2(xrtest::Has, r.output, "cannot be restored into a PostgreSQL server");
}

// The engine's copy reports its pages as it copies them: never backwards,
// never past the total, and at its end all of them. The check of a copy reads
// SQLite's own structure, beyond the checksum. A forced restore mends a folder
// whose file SQLite cannot read any more; a backup is never restored into its
// own folder.
TEST(BackupRestoreFolder, CopiesAreCountedAndCheckedAndAForcedRestoreMendsAnUnreadableFile) {
    TestServer server(Engine::Sqlite);
    MakeShop(server);
    xrtest::TempDir dir;
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    const auto databases = xr::engine::sqlite::BackupServer(
        xr::engine::ConnectionString::Parse(server.ConnectString()), dir.Str(),
        [&](uint64_t done, uint64_t total) { seen.emplace_back(done, total); });
    EXPECT_EQ(databases, (std::vector<std::string>{"MASTER", "SHOPA", "SHOPB"}));
    ASSERT_FALSE(seen.empty());
    uint64_t pages = 0;
    for (const std::string& db : databases) pages += fs::file_size(dir.Str() + "/" + db + ".db");
    EXPECT_EQ(seen.back(), std::make_pair(seen.back().second, seen.back().second));
    ASSERT_GT(seen.back().second, 0u);
    EXPECT_EQ(pages % seen.back().second, 0u);  // whole pages of one size
    EXPECT_GE(pages / seen.back().second, 512u);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].first, seen[i - 1].first);
        EXPECT_LE(seen[i].first, seen[i].second);
    }

    const std::string garbage = dir.Str() + "/G.db";
    std::ofstream(garbage) << std::string(8192, 'x');
    EXPECT_FALSE(xr::engine::sqlite::CheckCopy(garbage).empty());
    EXPECT_EQ(xr::engine::sqlite::CheckCopy(dir.Str() + "/NONE.db"), "is missing");
    const std::string backup = server.Dir().Str() + "/b";
    const auto made = RunTool(server, {"backup", backup});
    ASSERT_EQ(made.status, 0) << made.output;
    const auto itself = xrtest::Tool(backup, {"restore", backup, "--force"});
    EXPECT_EQ(itself.status, 1) << itself.output;
    EXPECT_EQ(xr::engine::sqlite::CheckCopy(backup + "/SHOPA.db"), "");
    {
        std::fstream f(server.Dir().Str() + "/SHOPA.db",
                       std::ios::in | std::ios::out | std::ios::binary);
        f.write("not a database at all, not at all", 32);
    }
    const auto damaged = RunTool(server, {"check", "--quick"});
    EXPECT_EQ(damaged.status, 1) << damaged.output;
    const auto forced = RunTool(server, {"restore", backup, "--force"});
    ASSERT_EQ(forced.status, 0) << forced.output;
    Connection conn;
    conn.Open(server.ConnectString());
    EXPECT_EQ(Sales(conn).size(), static_cast<size_t>(kFirstSales));
    EXPECT_EQ(Ledger(conn).size(), static_cast<size_t>(kFirstSales));
    fs::resize_file(backup + "/SHOPA.db", fs::file_size(backup + "/SHOPA.db") / 2);
    EXPECT_FALSE(xr::engine::sqlite::CheckCopy(backup + "/SHOPA.db").empty());
}

// More databases than SQLite attaches to one connection: all are copied,
// each with its own rows.
TEST(BackupRestoreFolder, EveryDatabaseOfAFolderOfMany) {
    TestServer server(Engine::Sqlite);
    {
        Connection setup;
        setup.Open(server.ConnectString());
        for (int i = 1; i <= 13; ++i) {
            const std::string db = "Branch" + std::to_string(i);
            setup.Execute("CREATE DATABASE " + db);
            setup.Execute("CREATE TABLE " + db + "..Tag (Name varchar(20) NOT NULL)");
            setup.Execute("INSERT " + db + "..Tag VALUES ('" + db + "')");
        }
    }
    const std::string backup = server.Dir().Str() + "/b";
    const auto made = RunTool(server, {"backup", backup});
    ASSERT_EQ(made.status, 0) << made.output;
    TestServer target(Engine::Sqlite);
    const auto restored = RunTool(target, {"restore", backup});
    ASSERT_EQ(restored.status, 0) << restored.output;
    EXPECT_EQ(xr::engine::sqlite::FolderDatabases(target.Dir().Str()).size(), 14u);  // and MASTER
    Connection conn;
    conn.Open(target.ConnectString());
    for (int i = 1; i <= 13; ++i) {
        const std::string db = "Branch" + std::to_string(i);
        EXPECT_EQ(xrtest::Rows(conn, "SELECT Name FROM " + db + "..Tag"),
                  (std::vector<std::string>{db}));
    }
}

XRTEST_ON_EVERY_ENGINE(BackupRestore);

}  // namespace
