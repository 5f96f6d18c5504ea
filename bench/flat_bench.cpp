// The flat interface against raw SQLite in the same run: walking 100,000
// products with ProdFirst/ProdNext, and stepping the same rows by hand into a
// prod_def with the SQLite C API. Reports flat / raw (the target is at most 2.5),
// and CProduct walked directly, which shows what the slots and copies add.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

constexpr int kRows = 100000;

struct Fixture {
    xrtest::TempDir dir;
    std::string file;
    bool ok = false;
    Fixture() {
        const std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
        ok = DBOpen(cs.c_str(), "LORIMDB81") == 1 && DBSetupDB1() == 1;
        DBBeginTrans();
        for (int i = 1; i <= kRows && ok; ++i) {
            const std::string sql =
                "INSERT INTO Products (PLU, Description, Price1, Dept, VAT, Dsp3, V$StockID) "
                "VALUES (" +
                std::to_string(i) + ", 'Item " + std::to_string(i) + "', 1.25, " +
                std::to_string(i % 40) + ", 'B', 1, 7)";
            ok = DBExec(sql.c_str()) == 1;
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

// The calling thread's processor time: on a shared machine the fairer measure.
double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

int Column(sqlite3_stmt* st, const char* name) {
    for (int i = 0; i < sqlite3_column_count(st); ++i)
        if (std::strcmp(sqlite3_column_name(st, i), name) == 0) return i;
    return -1;
}

int Bit(sqlite3_stmt* st, int col) { return col >= 0 && sqlite3_column_int(st, col) ? 1 : 0; }

// Every column CProduct maps, stepped by hand into a prod_def.
void BM_Walk_Raw(benchmark::State& state) {
    if (!Fix().ok) return state.SkipWithError("set-up failed");
    sqlite3* db = nullptr;
    sqlite3_open(Fix().file.c_str(), &db);
    int64_t sum = 0;
    for (auto _ : state) {
        const auto t = std::chrono::steady_clock::now();
        const double cpu = CpuNow();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM Products ORDER BY PLU", -1, &st, nullptr);
        const int cPlu = Column(st, "PLU"), cDesc = Column(st, "Description"),
                  cDept = Column(st, "Dept"), cVat = Column(st, "VAT"),
                  cType = Column(st, "ProdType"), cCat = Column(st, "ProdCat"),
                  cMenu = Column(st, "ListMenu"), cQual = Column(st, "ListQual"),
                  cExtra = Column(st, "ListExtra"), cPrio = Column(st, "DspPriority"),
                  cDisc = Column(st, "Discount"), cStaff = Column(st, "DiscountStaff"),
                  cPType = Column(st, "PriceType"), cMM = Column(st, "MMOffer"),
                  cBucket = Column(st, "MMBucket"), cFree = Column(st, "FreeText"),
                  cSold = Column(st, "V$SoldOut"), cDone = Column(st, "V$StkDone"),
                  cDirty = Column(st, "V$StkDirty"), cStock = Column(st, "V$StockID"),
                  cPos = Column(st, "V$ATpos");
        int cDsp[10], cPrice[10];
        for (int n = 1; n <= 9; ++n) cDsp[n] = Column(st, ("Dsp" + std::to_string(n)).c_str());
        for (int n = 0; n < 10; ++n)
            cPrice[n] = Column(st, ("Price" + std::to_string(n + 1)).c_str());
        prod_def d{};
        int32_t prices[10];
        std::string description;
        while (sqlite3_step(st) == SQLITE_ROW) {
            d.PLU = static_cast<uint64_t>(sqlite3_column_int64(st, cPlu));
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, cDesc));
            description = text ? text : "";
            std::snprintf(d.Description, sizeof d.Description, "%s", description.c_str());
            for (int n = 0; n < 10; ++n)
                prices[n] =
                    cPrice[n] >= 0
                        ? static_cast<int32_t>(sqlite3_column_double(st, cPrice[n]) * 100 + 0.5)
                        : 0;
            d.Dept = static_cast<uint16_t>(sqlite3_column_int(st, cDept));
            const char* vat = reinterpret_cast<const char*>(sqlite3_column_text(st, cVat));
            d.VAT = static_cast<int16_t>((vat ? vat[0] : 0) - 'A');
            d.ProdType = static_cast<int8_t>(sqlite3_column_int(st, cType));
            d.ProdCat = static_cast<int8_t>(sqlite3_column_int(st, cCat));
            d.ListMenu = static_cast<uint16_t>(sqlite3_column_int(st, cMenu));
            d.ListQual = static_cast<uint16_t>(sqlite3_column_int(st, cQual));
            d.ListExtra = static_cast<uint16_t>(sqlite3_column_int(st, cExtra));
            for (int n = 1; n <= 9; ++n) {
                if (Bit(st, cDsp[n]))
                    d.DspFlags |= 1u << n;
                else
                    d.DspFlags &= ~(1u << n);
            }
            d.DspPriority = static_cast<uint16_t>(sqlite3_column_int(st, cPrio));
            d.Discount = static_cast<uint16_t>(sqlite3_column_int(st, cDisc));
            d.PriceType = static_cast<uint16_t>(sqlite3_column_int(st, cPType));
            d.MMOffer = static_cast<int16_t>(sqlite3_column_int(st, cMM));
            const char* bucket = reinterpret_cast<const char*>(sqlite3_column_text(st, cBucket));
            d.MMBucket = bucket ? bucket[0] : 0;
            uint16_t flags = d.Flags & ~(PROD_FREETEXT | PROD_SOLDOUT | PROD_DISCOUNTSTAFF |
                                         PROD_STKDONE | PROD_STKDIRTY);
            if (Bit(st, cFree)) flags |= PROD_FREETEXT;
            if (Bit(st, cSold)) flags |= PROD_SOLDOUT;
            if (Bit(st, cStaff)) flags |= PROD_DISCOUNTSTAFF;
            if (Bit(st, cDone)) flags |= PROD_STKDONE;
            if (Bit(st, cDirty)) flags |= PROD_STKDIRTY;
            d.Flags = flags;
            d.VStockID = static_cast<int16_t>(sqlite3_column_int(st, cStock));
            d.VATpos = sqlite3_column_int(st, cPos);
            prod_def copy;
            std::memcpy(&copy, &d, sizeof copy);  // the flat interface's copy out
            benchmark::DoNotOptimize(copy);
            sum += prices[0] + copy.Dept;
        }
        sqlite3_finalize(st);
        g_value["walk raw"] = Since(t);
        g_value["walk raw cpu"] = CpuNow() - cpu;
    }
    benchmark::DoNotOptimize(sum);
    sqlite3_close(db);
}

void BM_Walk_Flat(benchmark::State& state) {
    if (!Fix().ok) return state.SkipWithError("set-up failed");
    int64_t sum = 0;
    long rows = 0;
    for (auto _ : state) {
        const auto t = std::chrono::steady_clock::now();
        const double cpu = CpuNow();
        prod_def d{};
        for (int rc = ProdFirst(0, &d); rc == FLAT_OK; rc = ProdNext(0, &d)) {
            sum += d.Dept;
            ++rows;
        }
        ProdClose(0);
        g_value["walk flat"] = Since(t);
        g_value["walk flat cpu"] = CpuNow() - cpu;
    }
    g_value["flat rows"] = static_cast<double>(rows);
    benchmark::DoNotOptimize(sum);
}

// The record class alone: what the flat layer adds is the difference.
void BM_Walk_Class(benchmark::State& state) {
    if (!Fix().ok) return state.SkipWithError("set-up failed");
    int64_t sum = 0;
    for (auto _ : state) {
        const double cpu = CpuNow();
        CProduct product;
        for (int ok = product.MoveFirst(); ok; ok = product.MoveNext()) sum += product.m_def.Dept;
        g_value["walk class cpu"] = CpuNow() - cpu;
    }
    benchmark::DoNotOptimize(sum);
}

BENCHMARK(BM_Walk_Raw)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Flat)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Class)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    DBSetLog(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_value.count("walk flat") && g_value.count("walk raw")) {
        std::printf("walk 100,000 products (ProdFirst/ProdNext), target ratio <= 2.5\n");
        std::printf("  elapsed    %8.3f s vs raw %8.3f s   ratio %.2f\n", g_value["walk flat"],
                    g_value["walk raw"], g_value["walk flat"] / g_value["walk raw"]);
        std::printf("  processor  %8.3f s vs raw %8.3f s   ratio %.2f\n", g_value["walk flat cpu"],
                    g_value["walk raw cpu"], g_value["walk flat cpu"] / g_value["walk raw cpu"]);
        std::printf("  rows walked %.0f; CProduct alone (MoveFirst/MoveNext) %.3f s processor\n",
                    g_value["flat rows"], g_value["walk class cpu"]);
    }
    return 0;
}
