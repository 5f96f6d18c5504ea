// Intermediate rows kept in a #table against the same rows in a table of the
// database: inserts in one transaction, then reads by key and a whole scan,
// all through DBExec; raw SQLite doing the same on a table of the file is
// the baseline of both.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

constexpr int kRows = 50000;

double Seconds(const std::function<void()>& work) {
    const auto t = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Fills `table` and reads every row back by key, then all at once.
double Library(const std::string& table) {
    return Seconds([&] {
        DBExec(("CREATE TABLE " + table +
                " (ID INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(40) NOT NULL, Amount MONEY)")
                   .c_str());
        DBBeginTrans();
        for (int i = 1; i <= kRows; ++i) {
            DBExec(("INSERT " + table + " (ID, Name, Amount) VALUES (" + std::to_string(i) +
                    ", 'Name " + std::to_string(i) + "', 12.5)")
                       .c_str());
        }
        DBCommitTrans();
        for (int i = 1; i <= kRows; i += 5)
            DBExec(("SELECT * FROM " + table + " WHERE ID = " + std::to_string(i)).c_str());
        DBExec(("SELECT SUM(Amount) FROM " + table).c_str());
    });
}

double Raw(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    auto run = [&](const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
        }
        sqlite3_finalize(st);
    };
    const double s = Seconds([&] {
        run("CREATE TABLE \"RawWork\" (\"ID\" INTEGER NOT NULL PRIMARY KEY, \"Name\" TEXT NOT "
            "NULL, \"Amount\" INTEGER)");
        run("BEGIN");
        for (int i = 1; i <= kRows; ++i) {
            run("INSERT INTO \"RawWork\" (\"ID\", \"Name\", \"Amount\") VALUES (" +
                std::to_string(i) + ", 'Name " + std::to_string(i) + "', 125000)");
        }
        run("COMMIT");
        for (int i = 1; i <= kRows; i += 5)
            run("SELECT * FROM \"RawWork\" WHERE \"ID\" = " + std::to_string(i));
        run("SELECT SUM(\"Amount\") FROM \"RawWork\"");
    });
    sqlite3_close(db);
    return s;
}

}  // namespace

int main() {
    xrtest::TempDir dir;
    const std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
    DBOpen(cs.c_str(), "");
    DBExec("CREATE DATABASE WORKDB");
    DBSetDefaultDB("WORKDB");
    const double regular = Library("Work");
    const double temp = Library("#Work");
    DBClose();
    const double raw = Raw(dir.Str() + "/WORKDB.db");
    std::printf("%-36s %8.3f s vs raw %8.3f s   ratio %.2f\n", "50,000 rows into a table and back",
                regular, raw, regular / raw);
    std::printf("%-36s %8.3f s vs raw %8.3f s   ratio %.2f\n", "the same in a #table", temp, raw,
                temp / raw);
    std::printf("%-36s %8.3f s vs table %6.3f s   ratio %.2f\n", "#table against a table", temp,
                regular, temp / regular);
    return 0;
}
