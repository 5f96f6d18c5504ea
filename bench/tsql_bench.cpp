// Statements through DBExec against raw SQLite doing the same work in the
// same run: 100,000 key queries, 100,000 single-row inserts and pages
// numbered by ROW_NUMBER() over 100,000 rows. Each pair reports the ratio
// library / raw. A stored procedure's key query is measured against the same
// query sent as a batch (library / batch); key queries through a view against
// the same SELECT written out, both through DBExec.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

constexpr int kRows = 100000;

struct Fixture {
    xrtest::TempDir dir;
    std::string dbFile;
    Fixture() {
        std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
        DBOpen(cs.c_str(), "");
        DBExec("CREATE DATABASE LORIMDB81");
        DBSetDefaultDB("LORIMDB81");
        std::string create =
            "CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(40) DEFAULT "
            "'Description' NOT NULL";
        for (int i = 1; i <= 10; ++i)
            create += ", Price" + std::to_string(i) + " MONEY DEFAULT 0 NOT NULL";
        for (int i = 1; i <= 9; ++i)
            create += ", Dsp" + std::to_string(i) + " BIT DEFAULT 0 NOT NULL";
        create += ", Dept INTEGER DEFAULT 1 NOT NULL, VAT CHAR(1) DEFAULT 'A' NOT NULL)";
        DBExec(create.c_str());
        DBExec("ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU)");
        DBExec(
            "CREATE TABLE Log (ID INTEGER NOT NULL, Name VARCHAR(40) NOT NULL, Amount MONEY NOT "
            "NULL)");
        dbFile = dir.Str() + "/LORIMDB81.db";
    }
    ~Fixture() { DBClose(); }
};

Fixture& Fix() {
    static Fixture f;
    return f;
}

std::map<std::string, double> g_seconds;

double Seconds(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

sqlite3* OpenRaw() {
    sqlite3* db = nullptr;
    sqlite3_open(Fix().dbFile.c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    return db;
}

void Fill() {
    static bool done = false;
    if (done) return;
    done = true;
    Fix();  // the connection the rows go through
    DBBeginTrans();
    for (int i = 1; i <= kRows; ++i) {
        std::string sql = "INSERT Products (PLU, Description, Price1) VALUES (" +
                          std::to_string(i) + ", 'Item " + std::to_string(i) + "', 1.25)";
        DBExec(sql.c_str());
    }
    DBCommitTrans();
}

void BM_KeyQuery_Raw(benchmark::State& state) {
    Fill();
    sqlite3* db = OpenRaw();
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        for (int i = 1; i <= kRows; ++i) {
            std::string sql = "SELECT * FROM \"Products\" WHERE \"PLU\"=" + std::to_string(i);
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW) {
            }
            sqlite3_finalize(st);
        }
        g_seconds["key query raw"] = Seconds(t);
    }
    sqlite3_close(db);
}

void BM_KeyQuery_DBExec(benchmark::State& state) {
    Fill();
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        for (int i = 1; i <= kRows; ++i) {
            std::string sql = "SELECT * FROM Products WHERE PLU=" + std::to_string(i);
            DBExec(sql.c_str());
        }
        g_seconds["key query DBExec"] = Seconds(t);
    }
}

void BM_Insert_Raw(benchmark::State& state) {
    sqlite3* db = OpenRaw();
    for (auto _ : state) {
        sqlite3_exec(db, "DELETE FROM \"Log\"", nullptr, nullptr, nullptr);
        auto t = std::chrono::steady_clock::now();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (int i = 1; i <= kRows; ++i) {
            std::string sql = "INSERT INTO \"Log\" (\"ID\", \"Name\", \"Amount\") VALUES (" +
                              std::to_string(i) + ", 'Name " + std::to_string(i) + "', 12500)";
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
            sqlite3_step(st);
            sqlite3_finalize(st);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        g_seconds["insert raw"] = Seconds(t);
    }
    sqlite3_close(db);
}

void BM_Insert_DBExec(benchmark::State& state) {
    for (auto _ : state) {
        DBExec("DELETE FROM Log");
        auto t = std::chrono::steady_clock::now();
        DBBeginTrans();
        for (int i = 1; i <= kRows; ++i) {
            std::string sql = "INSERT INTO Log (ID, Name, Amount) VALUES (" + std::to_string(i) +
                              ", 'Name " + std::to_string(i) + "', 1.25)";
            DBExec(sql.c_str());
        }
        DBCommitTrans();
        g_seconds["insert DBExec"] = Seconds(t);
    }
}

// Paging: pages of 20 rows numbered by ROW_NUMBER() over all 100,000.
constexpr int kPages = 50;

void BM_Paging_Raw(benchmark::State& state) {
    Fill();
    sqlite3* db = OpenRaw();
    // The table's text columns name the library's collation.
    sqlite3_create_collation(
        db, "TSQL", SQLITE_UTF8, nullptr, [](void*, int n1, const void* a, int n2, const void* b) {
            const int c = std::memcmp(a, b, static_cast<size_t>(n1 < n2 ? n1 : n2));
            return c != 0 ? c : n1 - n2;
        });
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        for (int p = 0; p < kPages; ++p) {
            const int first = p * (kRows / kPages) + 1;
            std::string sql =
                "SELECT * FROM (SELECT row_number() OVER (ORDER BY \"PLU\") AS rn, \"PLU\", "
                "\"Description\" FROM \"Products\") AS x WHERE rn BETWEEN " +
                std::to_string(first) + " AND " + std::to_string(first + 19);
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW) {
            }
            sqlite3_finalize(st);
        }
        g_seconds["paging raw"] = Seconds(t);
    }
    sqlite3_close(db);
}

void BM_Paging_DBExec(benchmark::State& state) {
    Fill();
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        for (int p = 0; p < kPages; ++p) {
            const int first = p * (kRows / kPages) + 1;
            std::string sql =
                "SELECT * FROM (SELECT ROW_NUMBER() OVER (ORDER BY PLU) AS rn, PLU, Description "
                "FROM Products) AS x WHERE rn BETWEEN " +
                std::to_string(first) + " AND " + std::to_string(first + 19);
            DBExec(sql.c_str());
        }
        g_seconds["paging DBExec"] = Seconds(t);
    }
}

// 100,000 calls of a procedure holding one SELECT by key, against the same
// SELECT sent as a batch; the two run in turn three times and the fastest run
// of each counts.
void BM_ProcedureKeyQuery(benchmark::State& state) {
    Fill();
    DBExec("CREATE PROCEDURE ProductByPlu @plu BIGINT AS SELECT * FROM Products WHERE PLU = @plu");
    for (auto _ : state) {
        double batch = 1e30, proc = 1e30;
        for (int round = 0; round < 3; ++round) {
            auto t = std::chrono::steady_clock::now();
            for (int i = 1; i <= kRows; ++i) {
                std::string sql = "SELECT * FROM Products WHERE PLU = " + std::to_string(i);
                DBExec(sql.c_str());
            }
            batch = std::min(batch, Seconds(t));
            t = std::chrono::steady_clock::now();
            for (int i = 1; i <= kRows; ++i) {
                std::string sql = "EXEC ProductByPlu " + std::to_string(i);
                DBExec(sql.c_str());
            }
            proc = std::min(proc, Seconds(t));
        }
        g_seconds["key query batch"] = batch;
        g_seconds["key query procedure"] = proc;
    }
}

// Key queries through a view of one table against its SELECT written out:
// both go through DBExec, so each keeps the best of three rounds to let the
// ratio show the view's own cost rather than the machine's load.
constexpr int kViewRounds = 3;

template <class Sql>
double BestOfRounds(Sql sql) {
    double best = 1e9;
    for (int round = 0; round < kViewRounds; ++round) {
        auto t = std::chrono::steady_clock::now();
        for (int i = 1; i <= kRows; ++i) DBExec(sql(i).c_str());
        best = std::min(best, Seconds(t));
    }
    return best;
}

void BM_ViewQuery_WrittenOut(benchmark::State& state) {
    Fill();
    for (auto _ : state) {
        g_seconds["view written out"] = BestOfRounds([](int i) {
            return "SELECT PLU, Description AS Name, Price1 FROM Products WHERE Dept = 1 AND PLU=" +
                   std::to_string(i);
        });
    }
}

void BM_ViewQuery_View(benchmark::State& state) {
    Fill();
    static bool made = false;
    if (!made) {
        made = true;
        DBExec(
            "CREATE VIEW ProductNames AS SELECT PLU, Description AS Name, Price1 FROM Products "
            "WHERE Dept = 1");
    }
    for (auto _ : state) {
        g_seconds["view DBExec"] = BestOfRounds(
            [](int i) { return "SELECT * FROM ProductNames WHERE PLU=" + std::to_string(i); });
    }
}

BENCHMARK(BM_KeyQuery_Raw)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyQuery_DBExec)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Raw)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_DBExec)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paging_Raw)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paging_DBExec)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcedureKeyQuery)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewQuery_WrittenOut)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewQuery_View)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto ratio = [](const char* name, const char* lib, const char* raw,
                    const char* against = "raw") {
        if (!g_seconds.count(lib) || !g_seconds.count(raw)) return;
        std::printf("%-28s %8.3f s vs %s %8.3f s   ratio %.2f\n", name, g_seconds[lib], against,
                    g_seconds[raw], g_seconds[lib] / g_seconds[raw]);
    };
    ratio("100,000 key queries", "key query DBExec", "key query raw");
    ratio("100,000 single-row inserts", "insert DBExec", "insert raw");
    ratio("50 ROW_NUMBER pages", "paging DBExec", "paging raw");
    ratio("100,000 procedure calls", "key query procedure", "key query batch", "batch");
    // A view's "raw" is its SELECT written out, through DBExec as well.
    ratio("100,000 view key queries", "view DBExec", "view written out");
    return 0;
}
