// The catalog views take every constraint the catalog keeps, whichever DDL
// wrote it: here the rows a foreign key, a UNIQUE and a CHECK constraint
// leave in the system tables (in the server's own shape: sysobjects rows of
// type F, UQ and C under their table, sysforeignkeys and sysreferences) are
// written straight into the file, as the DDL making them would.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <cstdio>

#include "engine/connection.h"
#include "temp_dir.h"

namespace {

using xr::engine::Connection;

std::vector<std::string> Lines(Connection& c, const std::string& sql) {
    std::vector<std::string> out;
    auto rows = c.Query(sql);
    while (rows && rows->Next()) {
        std::string line;
        for (size_t i = 0; i < rows->ColumnCount(); ++i) {
            xr::Variant v = rows->Value(i);
            line += (i ? "|" : "") + (v.IsNull() ? std::string("NULL") : v.ToText());
        }
        out.push_back(line);
    }
    return out;
}

// The library's text collation, near enough for the index of sysobjects.name.
int CompareText(void*, int n1, const void* a, int n2, const void* b) {
    auto trim = [](const char* p, int n) {
        while (n > 0 && p[n - 1] == ' ') --n;
        return n;
    };
    const char* x = static_cast<const char*>(a);
    const char* y = static_cast<const char*>(b);
    n1 = trim(x, n1);
    n2 = trim(y, n2);
    for (int i = 0; i < n1 && i < n2; ++i) {
        int cx = std::tolower(static_cast<unsigned char>(x[i]));
        int cy = std::tolower(static_cast<unsigned char>(y[i]));
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return n1 == n2 ? 0 : n1 < n2 ? -1 : 1;
}

void Write(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << "\n"
        << sql;
}

TEST(CatalogViews, ConstraintRowsOfEveryKindShowInTheViewsAndProperties) {
    xrtest::TempDir dir;
    const std::string connect = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
    int64_t orders = 0, lines = 0, ordersKey = 0;
    {
        Connection c;
        c.Open(connect);
        c.Execute(
            "CREATE DATABASE CATV USE CATV "
            "CREATE TABLE Orders (ID INTEGER NOT NULL, Code VARCHAR(10) NOT NULL) "
            "ALTER TABLE Orders ADD CONSTRAINT OrdersPrimary PRIMARY KEY (ID) "
            "CREATE UNIQUE INDEX OrdersCode ON Orders (Code) "
            "CREATE TABLE Lines (OrderID INTEGER NOT NULL, Qty INTEGER NOT NULL)");
        auto ids = Lines(c,
                         "SELECT OBJECT_ID('Orders'), OBJECT_ID('Lines'), "
                         "OBJECT_ID('OrdersPrimary')");
        ASSERT_EQ(ids.size(), 1u);
        ASSERT_EQ(std::sscanf(ids[0].c_str(), "%ld|%ld|%ld", &orders, &lines, &ordersKey), 3);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.Str() + "/CATV.db").c_str(), &db), SQLITE_OK);
    sqlite3_create_collation(db, "TSQL", SQLITE_UTF8, nullptr, CompareText);
    const std::string o = std::to_string(orders), l = std::to_string(lines),
                      k = std::to_string(ordersKey);
    Write(db,
          "INSERT INTO sysobjects (id, name, xtype, type, uid, parent_obj, crdate, status) "
          "VALUES (901, 'LinesOrder', 'F ', 'F ', 1, " +
              l +
              ", 0, 0), "
              "(902, 'OrdersCodeUnique', 'UQ', 'K ', 1, " +
              o +
              ", 0, 0), "
              "(903, 'LinesQtyCheck', 'C ', 'C ', 1, " +
              l + ", 0, 0)");
    Write(db, "UPDATE xr_indexes SET constid = 902 WHERE name = 'OrdersCode'");
    Write(db,
          "CREATE TABLE sysforeignkeys (constid INT, fkeyid INT, rkeyid INT, fkey SMALLINT, "
          "rkey SMALLINT, keyno SMALLINT)");
    Write(db, "INSERT INTO sysforeignkeys VALUES (901, " + l + ", " + o + ", 1, 1, 1)");
    Write(db,
          "CREATE TABLE sysreferences (constid INT, fkeyid INT, rkeyid INT, rkeyindid SMALLINT)");
    Write(db, "INSERT INTO sysreferences VALUES (901, " + l + ", " + o + ", 1)");
    sqlite3_close(db);

    Connection c;
    c.Open(connect);
    c.SetDefaultDatabase("CATV");
    EXPECT_EQ(Lines(c,
                    "SELECT CONSTRAINT_NAME, TABLE_NAME, CONSTRAINT_TYPE FROM "
                    "INFORMATION_SCHEMA.TABLE_CONSTRAINTS ORDER BY CONSTRAINT_NAME"),
              (std::vector<std::string>{"LinesOrder|Lines|FOREIGN KEY", "LinesQtyCheck|Lines|CHECK",
                                        "OrdersCodeUnique|Orders|UNIQUE",
                                        "OrdersPrimary|Orders|PRIMARY KEY"}));
    EXPECT_EQ(
        Lines(c,
              "SELECT CONSTRAINT_NAME, TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION FROM "
              "INFORMATION_SCHEMA.KEY_COLUMN_USAGE ORDER BY CONSTRAINT_NAME"),
        (std::vector<std::string>{"LinesOrder|Lines|OrderID|1", "OrdersCodeUnique|Orders|Code|1",
                                  "OrdersPrimary|Orders|ID|1"}));
    EXPECT_EQ(Lines(c,
                    "SELECT CONSTRAINT_NAME, UNIQUE_CONSTRAINT_NAME, MATCH_OPTION, "
                    "UPDATE_RULE, DELETE_RULE FROM INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS"),
              (std::vector<std::string>{"LinesOrder|OrdersPrimary|SIMPLE|NO ACTION|NO ACTION"}));
    EXPECT_EQ(Lines(c,
                    "SELECT OBJECTPROPERTY(OBJECT_ID('LinesOrder', 'F'), 'IsForeignKey'), "
                    "OBJECTPROPERTY(OBJECT_ID('LinesQtyCheck'), 'IsCheckCnst'), "
                    "OBJECTPROPERTY(OBJECT_ID('OrdersCodeUnique'), 'IsUniqueCnst'), "
                    "OBJECTPROPERTY(OBJECT_ID('Lines'), 'TableHasForeignKey'), "
                    "OBJECTPROPERTY(OBJECT_ID('Lines'), 'TableHasCheckCnst'), "
                    "OBJECTPROPERTY(OBJECT_ID('Orders'), 'TableHasUniqueCnst')"),
              (std::vector<std::string>{"1|1|1|1|1|1"}));
    EXPECT_EQ(Lines(c,
                    "SELECT name, indid FROM sysindexes WHERE id = OBJECT_ID('Orders') "
                    "ORDER BY indid"),
              (std::vector<std::string>{"OrdersPrimary|1", "OrdersCode|2"}));
}

}  // namespace
