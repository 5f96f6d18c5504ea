// The collation and SQL functions on a real SQLite file.
#include "engine/sqlite/functions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/sqlite/catalog.h"
#include "sqlite_rows.h"
#include "temp_dir.h"

namespace xr::engine::sqlite {
namespace {

class SqlFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = m_dir.Str() + "/TEST.db";
        ASSERT_EQ(sqlite3_open(path.c_str(), &m_db), SQLITE_OK);
        RegisterSqlFunctions(m_db);
    }
    void TearDown() override { sqlite3_close(m_db); }

    // Runs SQL that must succeed.
    void Exec(const std::string& sql) {
        char* err = nullptr;
        int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err);
        EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (err ? err : "");
        sqlite3_free(err);
    }

    // Every row of a one-column query, as text ("NULL" for null).
    std::vector<std::string> Column(const std::string& sql) { return xrtest::SqlLines(m_db, sql); }

    std::string One(const std::string& sql) {
        auto col = Column(sql);
        return col.size() == 1 ? col[0] : "<" + std::to_string(col.size()) + " rows>";
    }

    // The error text of a single-value query that must fail.
    std::string Error(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return std::string("prepare: ") + sqlite3_errmsg(m_db);
        int rc = sqlite3_step(st);
        std::string msg = rc == SQLITE_ERROR ? sqlite3_errmsg(m_db) : "<no error>";
        sqlite3_finalize(st);
        return msg;
    }

    xrtest::TempDir m_dir;
    sqlite3* m_db = nullptr;
};

TEST_F(SqlFunctionsTest, CompareUsesTheCollationAndTheNumbersType) {
    EXPECT_EQ(One("SELECT xr_compare('a', 'A  ')"), "0");
    EXPECT_EQ(One("SELECT xr_compare('abc', 'ABD')"), "-1");
    EXPECT_EQ(One("SELECT xr_compare(2, 10)"), "-1");
    EXPECT_EQ(One("SELECT xr_compare(9007199254740993, 9007199254740992.0)"), "1");
    EXPECT_EQ(One("SELECT xr_compare(' 10', 9)"), "1");  // text becomes a number
    EXPECT_EQ(One("SELECT xr_compare(NULL, 1)"), "NULL");
    EXPECT_EQ(Error("SELECT xr_compare(1, 'abc')"),
              "Conversion failed when converting the varchar value 'abc' to data type int.");
}

TEST_F(SqlFunctionsTest, OnlyGetDateIsNonDeterministic) {
    Exec("CREATE TABLE d (name TEXT COLLATE TSQL)");
    Exec("CREATE INDEX dlen ON d (xr_len(name))");
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(m_db, "CREATE INDEX dnow ON d (xr_getdate())", nullptr, nullptr, &err),
              SQLITE_ERROR);
    const std::string msg = err ? err : "";
    sqlite3_free(err);
    EXPECT_NE(msg.find("non-deterministic"), std::string::npos) << msg;
}

}  // namespace
}  // namespace xr::engine::sqlite
