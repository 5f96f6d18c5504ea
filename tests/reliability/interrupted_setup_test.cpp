// A set-up killed at any moment leaves a site that the next set-up completes:
// the result equals a set-up that was never interrupted. The library's
// catalog in each file is made whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "kill_at_sync.h"
#include "second_process.h"
#include "site_dump.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

std::string ConnectString(const std::string& folder) {
    return "Provider=sqlite;Data Source=" + folder;
}

// What `xrdb8 setup` runs, through the exports.
void FullSetup(const std::string& folder) {
    if (DBOpen(ConnectString(folder).c_str(), "LORIMDB81") != 1) return;
    DBSetupDB();
    DBSetupDB3();
    DBSetupInitialAccess();
    DBSetFixedData();
    DBSetMustHaveData();
    DBClose();
}

// A new database with a table, keyed and with a default: each step makes catalog rows.
void NewDatabase(const std::string& folder) {
    if (DBOpen(ConnectString(folder).c_str(), "") != 1) return;
    DBExec("CREATE DATABASE LORIMDAX");
    DBExec(
        "CREATE TABLE LORIMDAX..Users (UserName VARCHAR(20) NOT NULL, Pwd VARCHAR(20) "
        "DEFAULT '', CONSTRAINT PK_Users PRIMARY KEY (UserName))");
    DBExec("INSERT INTO LORIMDAX..Users (UserName) VALUES ('lm')");
    DBClose();
}

// Runs `work` killed at each chosen sync of a whole run of it in a fresh
// folder, then `runs` times to its end: the site must be the one `runs`
// whole runs leave. `every`: every sync, else the first four and five more
// spread over the run.
void KilledAndCompleted(const std::function<void(const std::string&)>& work, int runs, bool every) {
    xrtest::TempDir clean;
    const xrtest::ChildRun whole = xrtest::RunKilledAt(0, [&] { work(clean.Str()); });
    ASSERT_FALSE(whole.killed);
    ASSERT_GT(whole.syncs, 0);
    for (int run = 1; run < runs; ++run)
        ASSERT_FALSE(xrtest::RunKilledAt(0, [&] { work(clean.Str()); }).killed);
    const std::vector<std::string> expected = xrtest::SiteDump(clean.Str());
    std::vector<long> points = {1, 2, 3, 4};
    for (long n = 1; n <= 5; ++n) points.push_back(whole.syncs * n / 6);
    if (every) {
        points.clear();
        for (long at = 1; at <= whole.syncs; ++at) points.push_back(at);
    }
    for (long at : points) {
        SCOPED_TRACE("killed at sync " + std::to_string(at) + " of " + std::to_string(whole.syncs));
        xrtest::TempDir dir;
        ASSERT_TRUE(xrtest::RunKilledAt(at, [&] { work(dir.Str()); }).killed);
        for (int run = 0; run < runs; ++run)
            ASSERT_FALSE(xrtest::RunKilledAt(0, [&] { work(dir.Str()); }).killed);
        const std::vector<std::string> got = xrtest::SiteDump(dir.Str());
        auto [x, y] = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << (x == got.end() ? "<end>" : *x) << "  vs  "
                                 << (y == expected.end() ? "<end>" : *y);
    }
}

TEST(InterruptedSetupTest, KilledAtEverySyncOfANewDatabaseTheNextRunCompletesIt) {
    KilledAndCompleted(NewDatabase, 1, true);
}

// A set-up run again over a site upgrades what an earlier one made (old
// kitchen-printer columns are converted), so the site a clean set-up reaches
// on its second run is the one an interrupted site must reach too. The first
// syncs of a new site make the catalogs; later ones are sampled.
TEST(InterruptedSetupTest, ASetupKilledAnywhereIsCompletedByTheNextOnes) {
    KilledAndCompleted(FullSetup, 2, false);
}

// A file whose catalog an older release left incomplete (killed while it
// made it) is completed when it is opened.
TEST(InterruptedSetupTest, AnIncompleteCatalogIsCompletedWhenItsFileIsOpened) {
    xrtest::TempDir dir;
    NewDatabase(dir.Str());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.Str() + "/LORIMDAX.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "DROP TABLE sysconstraints; DELETE FROM syscolumns WHERE id = 2; "
                           "DROP INDEX xr_sysobjects_name",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(DBOpen(ConnectString(dir.Str()).c_str(), "LORIMDAX"), 1);
    EXPECT_EQ(DBExec("CREATE TABLE Profiles (Name VARCHAR(20) NOT NULL DEFAULT 'x', "
                     "CONSTRAINT PK_Profiles PRIMARY KEY (Name))"),
              1);
    DBClose();
    xrtest::ToolResult check = xrtest::Tool(dir.Str(), {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

}  // namespace
