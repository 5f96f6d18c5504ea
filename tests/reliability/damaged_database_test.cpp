// A database file that cannot be used is refused, by name, never replaced by
// master; `xrdb8 check` finds damaged files and a catalog that disagrees with
// the tables.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "library.h"
#include "second_process.h"
#include "site_dump.h"

namespace {

using xrtest::Has;

class DamagedDatabaseTest : public xrtest::LibraryTest {
protected:
    DamagedDatabaseTest() : LibraryTest(xrtest::Start::Closed) {}

    std::string File(const std::string& name) const { return m_dir.Str() + "/" + name + ".db"; }

    // Garbage in place of database `name` (or of the file of that path).
    void Garble(const std::string& name) {
        const std::string file = name.find('/') == std::string::npos ? File(name) : name;
        std::error_code ec;
        std::filesystem::remove(file + "-wal", ec);
        std::filesystem::remove(file + "-shm", ec);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 7919 + 13) & 0xff));
    }
};

// A missing database still leaves the connection open for the set-up; a
// damaged one fails the login, and USE of one names its file.
TEST_F(DamagedDatabaseTest, MissingAndDamagedDatabases) {
    EXPECT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
    EXPECT_EQ(DBExec("CREATE DATABASE LORIMDB81"), 1);
    EXPECT_EQ(DBExec("USE LORIMDB81"), 1);
    Exec("CREATE DATABASE LORIMDB82");
    Exec("CREATE TABLE LORIMDB82..Things (Id INT NOT NULL, Name VARCHAR(20))");
    DBClose();
    Garble("LORIMDB81");
    Garble("LORIMDB82");

    EXPECT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 0);
    EXPECT_EQ(LastError(),
              std::make_pair(static_cast<int>(0x80040E4Du),
                             std::string("Cannot open database \"LORIMDB81\" requested by the "
                                         "login. The login failed.")));
    // Nothing was left open on master for the statements that follow.
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 0u);

    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    EXPECT_EQ(DBExec("USE LORIMDB82"), 0);
    EXPECT_PRED2(Has, LastError().second, File("LORIMDB82"));
    EXPECT_PRED2(Has, LastError().second, "damaged");
    EXPECT_EQ(Scalar("SELECT DB_NAME()"), "master");
}

TEST_F(DamagedDatabaseTest, SetupNamesTheDamagedFileAndFails) {
    for (const char* name : {"LORIMDB81", "LORIMDB82"}) {
        SCOPED_TRACE(name);
        xrtest::TempDir dir;
        ASSERT_EQ(xrtest::Tool(dir.Str(), {"setup"}).status, 0);
        const std::string file = dir.Str() + "/" + name + ".db";
        Garble(file);
        xrtest::ToolResult r = xrtest::Tool(dir.Str(), {"setup"});
        EXPECT_NE(r.status, 0) << r.output;
        EXPECT_PRED2(Has, r.output, file + " is damaged");
        // Nothing went into master instead.
        EXPECT_EQ(xrtest::FileLines(dir.Str() + "/MASTER.db",
                                    "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND "
                                    "name NOT LIKE 'xr%' AND name NOT LIKE 'sys%'"),
                  std::vector<std::string>{"0"});
    }
}

TEST_F(DamagedDatabaseTest, CheckPassesASoundSiteAndFindsEachFault) {
    ASSERT_EQ(xrtest::Tool(m_dir.Str(), {"setup"}).status, 0);
    xrtest::ToolResult sound = xrtest::Tool(m_dir.Str(), {"check"});
    EXPECT_EQ(sound.status, 0) << sound.output;
    EXPECT_PRED2(Has, sound.output, File("LORIMDAX") + ": ok");
    EXPECT_PRED2(Has, sound.output, "check: 4 database files, 0 with faults");

    // A table dropped and one made behind the library's back.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(File("LORIMDB82").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE TillTotals; CREATE TABLE Stray (a)", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    xrtest::ToolResult disagree = xrtest::Tool(m_dir.Str(), {"check", "--quick"});
    EXPECT_EQ(disagree.status, 1) << disagree.output;
    EXPECT_PRED2(Has, disagree.output,
                 File("LORIMDB82") + ": table TillTotals is in the catalog but not in the file");
    EXPECT_PRED2(Has, disagree.output, File("LORIMDB82") + ": table Stray is not in the catalog");

    Garble("LORIMDAX");
    xrtest::ToolResult damaged = xrtest::Tool(m_dir.Str(), {"check"});
    EXPECT_EQ(damaged.status, 1) << damaged.output;
    EXPECT_PRED2(Has, damaged.output, File("LORIMDAX") + ": is damaged");
}

}  // namespace
