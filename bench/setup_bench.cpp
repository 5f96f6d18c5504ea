// Pass 1 of the set-up against raw SQLite in the same run: the pass on a new
// folder (about four hundred statements, each its own request), and the pass
// again on an up-to-date folder, each against SQLite creating the final
// schema straight from the created file's own CREATE statements. Each reports
// the ratio pass / raw ("ratio", the fastest of nine runs of each); the
// targets are 5 for a new folder and 3 for a re-run. Both sides use the engine's durable default
// (WAL, full sync).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void SilentLog(const char*, ...) {}

// Runs pass 1 on a fresh connection to `dir`; 1 when it ran to its end.
int RunPass1(const xrtest::TempDir& dir) {
    const std::string cs = "Provider=sqlite;Data Source=" + dir.Str();
    DBOpen(cs.c_str(), "LORIMDB81");
    const int answer = DBSetupDB1();
    DBClose();
    return answer;
}

// The statements that make the final schema of the configuration database:
// every table and index of the file pass 1 created, the engine's own included.
const std::vector<std::string>& FinalSchema() {
    static const std::vector<std::string> statements = [] {
        xrtest::TempDir dir;
        RunPass1(dir);
        std::vector<std::string> result;
        sqlite3* db = nullptr;
        sqlite3_open_v2((dir.Path() / "LORIMDB81.db").string().c_str(), &db, SQLITE_OPEN_READONLY,
                        nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                           "'sqlite\\_%' ESCAPE '\\' ORDER BY type DESC, rowid",
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            result.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return result;
    }();
    return statements;
}

// The engine's text collation, as far as creating tables needs it.
int CompareText(void*, int aLength, const void* a, int bLength, const void* b) {
    const int n = std::memcmp(a, b, static_cast<size_t>(std::min(aLength, bLength)));
    return n != 0 ? n : aLength - bLength;
}

// Raw SQLite creating the final schema in a new file, one statement at a time.
double RawCreate() {
    xrtest::TempDir dir;
    const Clock::time_point start = Clock::now();
    sqlite3* db = nullptr;
    sqlite3_open((dir.Path() / "RAW.db").string().c_str(), &db);
    sqlite3_create_collation(db, "TSQL", SQLITE_UTF8, nullptr, &CompareText);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    for (const std::string& sql : FinalSchema())
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return Seconds(start);
}

// The machine's speed drifts between runs: pass and raw run in turn, and the
// fastest of each is compared.
void Report(benchmark::State& state, double passSeconds, double rawSeconds) {
    state.counters["pass_ms"] = 1000 * passSeconds;
    state.counters["raw_ms"] = 1000 * rawSeconds;
    state.counters["ratio"] = rawSeconds > 0 ? passSeconds / rawSeconds : 0;
}

double Fastest(double best, double seconds) { return best == 0 || seconds < best ? seconds : best; }

void BM_Pass1NewFolder(benchmark::State& state) {
    DBSetLog(&SilentLog);
    FinalSchema();
    double pass = 0, raw = 0;
    for (auto _ : state) {
        xrtest::TempDir dir;
        const Clock::time_point start = Clock::now();
        if (!RunPass1(dir)) state.SkipWithError("pass 1 did not run to its end");
        const double seconds = Seconds(start);
        state.SetIterationTime(seconds);
        pass = Fastest(pass, seconds);
        raw = Fastest(raw, RawCreate());
    }
    Report(state, pass, raw);
}
BENCHMARK(BM_Pass1NewFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

void BM_Pass1UpToDateFolder(benchmark::State& state) {
    DBSetLog(&SilentLog);
    FinalSchema();
    xrtest::TempDir dir;
    RunPass1(dir);
    double pass = 0, raw = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        if (!RunPass1(dir)) state.SkipWithError("pass 1 did not run to its end");
        const double seconds = Seconds(start);
        state.SetIterationTime(seconds);
        pass = Fastest(pass, seconds);
        raw = Fastest(raw, RawCreate());
    }
    Report(state, pass, raw);
}
BENCHMARK(BM_Pass1UpToDateFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);

}  // namespace

BENCHMARK_MAIN();
