// The operator's shell writing a whole table as CSV, against the stock sqlite3
// shell doing the same on the same file in the same run: 100,000 products,
// `xrdb8 sql --csv "SELECT * FROM Products"` and `sqlite3 -csv <file>
// "SELECT * FROM <the table as stored>"`, both to /dev/null. Reports the
// best of three runs of each and xrdb8 / sqlite3 (the target is at most 2).
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 3;

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The best wall time of a shell command over kRuns runs; negative when it failed.
double Best(const std::string& command) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto t = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) return -1;
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
    }
    return best;
}

// The name SQLite holds the products under (the T-SQL name as stored).
std::string StoredTable(const std::string& file) {
    sqlite3* db = nullptr;
    std::string name;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT name FROM sqlite_master WHERE type = 'table' AND "
                           "lower(name) = 'products'",
                           -1, &st, nullptr);
        if (st && sqlite3_step(st) == SQLITE_ROW)
            name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return name;
}

}  // namespace

int main() {
    xrtest::TempDir dir;
    const std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
    bool ok = DBOpen(cs.c_str(), "LORIMDB81") == 1 && DBSetupDB1() == 1;
    DBBeginTrans();
    for (int i = 1; i <= kRows && ok; ++i) {
        const std::string sql =
            "INSERT INTO Products (PLU, Description, Price1, Dept, VAT, Dsp3, V$StockID) "
            "VALUES (" +
            std::to_string(i) + ", 'Item, \"" + std::to_string(i) + "\"', 1.25, " +
            std::to_string(i % 40) + ", 'B', 1, 7)";
        ok = DBExec(sql.c_str()) == 1;
    }
    DBCommitTrans();
    DBClose();
    if (!ok) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    const std::string file = dir.Str() + "/LORIMDB81.db";
    const std::string table = StoredTable(file);
    if (table.empty()) {
        std::fprintf(stderr, "no Products table in %s\n", file.c_str());
        return 1;
    }
    const double tool = Best(Quoted(XRDB8_TOOL_PATH) + " --data " + Quoted(dir.Str()) +
                             " sql --csv \"SELECT * FROM Products\" >/dev/null");
    const double raw = Best("sqlite3 -csv " + Quoted(file) + " " +
                            Quoted("SELECT * FROM \"" + table + "\"") + " >/dev/null");
    if (tool < 0 || raw < 0) {
        std::fprintf(stderr, "a command failed (xrdb8 %.3f, sqlite3 %.3f)\n", tool, raw);
        return 1;
    }
    std::printf("%-44s %8.3f s vs sqlite3 %8.3f s   ratio %.2f\n",
                "100,000 products as CSV to /dev/null", tool, raw, tool / raw);
    return 0;
}
