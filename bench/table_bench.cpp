// The table engine against raw SQLite doing the same work in the same run:
// walking 100,000 products reading every column through the typed reads,
// the peak memory of walking 1,000,000 rows, and adding 100,000 rows with
// AddNew/Update in one transaction. Each pair reports library / raw, the
// fastest of nine runs of each.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

constexpr int kRows = 100000;
constexpr int kBigRows = 1000000;

#pragma pack(push, 1)
struct item_def {
    uint64_t PLU;
    char Description[41];
    int32_t Price[10];
    int32_t Flags;
    int32_t Dept;
    char VAT;
};
#pragma pack(pop)

const char* kPrice[10] = {"Price1", "Price2", "Price3", "Price4", "Price5",
                          "Price6", "Price7", "Price8", "Price9", "Price10"};
const char* kDsp[9] = {"Dsp1", "Dsp2", "Dsp3", "Dsp4", "Dsp5", "Dsp6", "Dsp7", "Dsp8", "Dsp9"};

// A record class as the suite writes them: every column by name.
class CItem : public CXRTable {
public:
    CItem() {
        m_name = "Products";
        m_keys[0] = "PLU";
        m_orderBy = "PLU";
    }
    item_def def{};
    int StructureTo() override {
        GetField("PLU", def.PLU);
        GetField("Description", def.Description, sizeof def.Description);
        for (int i = 0; i < 10; ++i) GetFieldAmt(kPrice[i], def.Price[i]);
        def.Flags = 0;
        for (int i = 0; i < 9; ++i) GetFieldBit(kDsp[i], 1 << i, def.Flags);
        GetField("Dept", def.Dept);
        char vat[2];
        GetField("VAT", vat, sizeof vat);
        def.VAT = vat[0];
        return 1;
    }
    int StructureFrom() override {
        SetField("PLU", def.PLU);
        SetField("Description", def.Description);
        for (int i = 0; i < 10; ++i) SetFieldAmt(kPrice[i], def.Price[i]);
        SetField("Dept", def.Dept);
        return 1;
    }
};

struct Fixture {
    xrtest::TempDir dir;
    std::string file;
    Fixture() {
        std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
        DBOpen(cs.c_str(), "");
        DBExec("CREATE DATABASE LORIMDB81");
        DBSetDefaultDB("LORIMDB81");
        std::string create =
            "CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(40) DEFAULT "
            "'Description' NOT NULL";
        for (auto p : kPrice) create += std::string(", ") + p + " MONEY DEFAULT 0 NOT NULL";
        for (auto d : kDsp) create += std::string(", ") + d + " BIT DEFAULT 0 NOT NULL";
        create += ", Dept INTEGER DEFAULT 1 NOT NULL, VAT CHAR(1) DEFAULT 'A' NOT NULL)";
        DBExec(create.c_str());
        DBExec("ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU)");
        DBExec(
            "CREATE TABLE Big (ID INTEGER NOT NULL, Name VARCHAR(40) NOT NULL, Amount MONEY NOT "
            "NULL)");
        DBExec(("CREATE TABLE Added (" + create.substr(create.find('(') + 1)).c_str());
        DBBeginTrans();
        for (int i = 1; i <= kRows; ++i) {
            std::string sql = "INSERT Products (PLU, Description, Price1, Price2, Dsp3) VALUES (" +
                              std::to_string(i) + ", 'Item " + std::to_string(i) +
                              "', 1.25, 2.5, 1)";
            DBExec(sql.c_str());
        }
        for (int i = 1; i <= kBigRows; ++i) {
            std::string sql = "INSERT Big VALUES (" + std::to_string(i) + ", 'Row " +
                              std::to_string(i) + "', 9.99)";
            DBExec(sql.c_str());
        }
        DBCommitTrans();
        file = dir.Str() + "/LORIMDB81.db";
    }
};

Fixture& Fix() {
    static Fixture f;
    return f;
}

std::map<std::string, double> g_value;

double Since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    }
    return 0;
}

sqlite3* OpenRaw() {
    sqlite3* db = nullptr;
    sqlite3_open(Fix().file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    return db;
}

// The machine's speed drifts between runs: each pair is measured several
// times, raw and library in turn, and the fastest of each is compared.
void Keep(const std::string& key, double seconds) {
    auto it = g_value.find(key);
    if (it == g_value.end() || seconds < it->second) g_value[key] = seconds;
}

double WalkRaw(sqlite3* db, int64_t& sum) {
    auto t = std::chrono::steady_clock::now();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM Products ORDER BY PLU", -1, &st, nullptr);
    item_def d{};
    while (sqlite3_step(st) == SQLITE_ROW) {
        d.PLU = static_cast<uint64_t>(sqlite3_column_int64(st, 0));
        std::snprintf(d.Description, sizeof d.Description, "%s", sqlite3_column_text(st, 1));
        for (int i = 0; i < 10; ++i)
            d.Price[i] = static_cast<int32_t>(sqlite3_column_int64(st, 2 + i) / 100);
        d.Flags = 0;
        for (int i = 0; i < 9; ++i) d.Flags |= sqlite3_column_int(st, 12 + i) ? 1 << i : 0;
        d.Dept = sqlite3_column_int(st, 21);
        d.VAT = reinterpret_cast<const char*>(sqlite3_column_text(st, 22))[0];
        sum += d.Price[0];
    }
    sqlite3_finalize(st);
    return Since(t);
}

double WalkTable(int64_t& sum) {
    auto t = std::chrono::steady_clock::now();
    CItem item;
    for (int ok = item.MoveFirst(); ok; ok = item.MoveNext()) sum += item.def.Price[0];
    return Since(t);
}

void BM_Walk(benchmark::State& state) {
    Fix();
    sqlite3* db = OpenRaw();
    int64_t sum = 0;
    for (auto _ : state) {
        Keep("walk raw", WalkRaw(db, sum));
        Keep("walk table", WalkTable(sum));
    }
    benchmark::DoNotOptimize(sum);
    sqlite3_close(db);
}

void BM_Walk_Million_Memory(benchmark::State& state) {
    Fix();
    for (auto _ : state) {
        long before = StatusKb("VmRSS:");
        CXRTable* big = nullptr;
        struct CBig : CXRTable {
            int32_t id = 0;
            CBig() { m_name = "Big"; }
            int StructureTo() override { return GetField("ID", id); }
            int StructureFrom() override { return 1; }
        } b;
        big = &b;
        long n = 0;
        for (int ok = big->MoveFirst(); ok; ok = big->MoveNext()) ++n;
        g_value["walk 1M rows"] = static_cast<double>(n);
        g_value["walk 1M peak MiB over start"] = (StatusKb("VmHWM:") - before) / 1024.0;
    }
}

double AddRaw(sqlite3* db) {
    sqlite3_exec(db, "DELETE FROM Added", nullptr, nullptr, nullptr);
    auto t = std::chrono::steady_clock::now();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string sql = "INSERT INTO Added (PLU, Description";
    for (auto p : kPrice) sql += std::string(",") + p;
    sql += ", Dept) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    for (int i = 1; i <= kRows; ++i) {
        std::string desc = "Added " + std::to_string(i);
        sqlite3_bind_int64(st, 1, i);
        sqlite3_bind_text(st, 2, desc.c_str(), -1, SQLITE_TRANSIENT);
        for (int p = 0; p < 10; ++p) sqlite3_bind_int64(st, 3 + p, 125 * 100);
        sqlite3_bind_int(st, 13, 4);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return Since(t);
}

double AddTable() {
    DBExec("DELETE FROM Added");
    auto t = std::chrono::steady_clock::now();
    DBBeginTrans();
    CItem item;
    item.m_name = "Added";
    item.OpenTable();
    for (int i = 1; i <= kRows; ++i) {
        item.AddNew();
        item.def.PLU = static_cast<uint64_t>(i);
        std::snprintf(item.def.Description, sizeof item.def.Description, "Added %d", i);
        for (int p = 0; p < 10; ++p) item.def.Price[p] = 125;
        item.def.Dept = 4;
        item.Update();
    }
    DBCommitTrans();
    return Since(t);
}

void BM_Add(benchmark::State& state) {
    Fix();
    for (auto _ : state) {
        sqlite3* db = OpenRaw();
        Keep("add raw", AddRaw(db));
        sqlite3_close(db);  // the library's writes must not wait on this handle
        Keep("add table", AddTable());
    }
}

BENCHMARK(BM_Walk)->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Add)->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Million_Memory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto ratio = [](const char* what, const char* lib, const char* raw) {
        if (!g_value.count(lib) || !g_value.count(raw)) return;
        std::printf("%-44s %8.3f s vs raw %8.3f s   ratio %.2f\n", what, g_value[lib], g_value[raw],
                    g_value[lib] / g_value[raw]);
    };
    ratio("walk 100,000 products (MoveFirst/MoveNext)", "walk table", "walk raw");
    ratio("add 100,000 rows (AddNew/Update)", "add table", "add raw");
    if (g_value.count("walk 1M rows")) {
        std::printf("walk 1,000,000 rows: %.0f rows, peak %.1f MiB over the start\n",
                    g_value["walk 1M rows"], g_value["walk 1M peak MiB over start"]);
    }
    return 0;
}
