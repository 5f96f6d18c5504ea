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

    // Runs SQL: its error text, "" when it succeeds.
    std::string Exec(const std::string& sql) {
        char* err = nullptr;
        int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err);
        std::string msg = rc == SQLITE_OK ? "" : err ? err : "error";
        sqlite3_free(err);
        return msg;
    }

    // The one value of a query, as text ("NULL" for null).
    std::string One(const std::string& sql) {
        auto col = xrtest::SqlLines(m_db, sql);
        return col.size() == 1 ? col[0] : "<" + std::to_string(col.size()) + " rows>";
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
    EXPECT_EQ(Exec("SELECT xr_compare(1, 'abc')"),
              "Conversion failed when converting the varchar value 'abc' to data type int.");
}

TEST_F(SqlFunctionsTest, OnlyGetDateIsNonDeterministic) {
    EXPECT_EQ(Exec("CREATE TABLE d (name TEXT COLLATE TSQL)"), "");
    EXPECT_EQ(Exec("CREATE INDEX dlen ON d (xr_len(name))"), "");
    const std::string msg = Exec("CREATE INDEX dnow ON d (xr_getdate())");
    EXPECT_NE(msg.find("non-deterministic"), std::string::npos) << msg;
}

}  // namespace
}  // namespace xr::engine::sqlite
