// Loading 100,000 products from a CSV file (with every change scripted, as
// the back office runs it) and from an XML file, against raw SQLite inserting
// the same rows from values parsed beforehand into a table of the same shape
// (same columns, defaults and indexes). Both sides commit row by row, as the
// imports do, on files with Synchronous=OFF.
//
// Counters: rows_per_second of each (wall clock, the fastest run), and ratio =
// raw rows per second / import rows per second (how many times slower the
// import is).
// XRDB8_BENCH_ROWS sets another row count.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

// XRDB8_BENCH_ROWS overrides the count (for profiling runs).
const int kRows = [] {
    const char* env = std::getenv("XRDB8_BENCH_ROWS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 100000;
}();

// One product as the raw side inserts it.
struct Row {
    int64_t plu;
    std::string description;
    int64_t prices[4];  // hundredths
    int dept;
    char vat;
    int prodType, prodCat, listMenu, discount, priceType, mmOffer;
    int dsp[9];
    char bucket;
};

Row RowOf(int i) {
    Row r{};
    r.plu = 1000000 + i;
    r.description = "Product " + std::to_string(i);
    for (int p = 0; p < 4; ++p) r.prices[p] = 100 + i % 900 + p * 10;
    r.dept = 1 + i % 20;
    r.vat = static_cast<char>('A' + i % 3);
    r.prodType = 0;
    r.prodCat = i % 50;
    r.listMenu = i % 7;
    r.discount = 1;
    r.priceType = 2;
    r.mmOffer = 0;
    for (int d = 0; d < 9; ++d) r.dsp[d] = (i + d) % 2;
    r.bucket = static_cast<char>('a' + i % 26);
    return r;
}

// The CSV line of a row in four-band mode.
std::string CsvLine(const Row& r) {
    std::string line = std::to_string(r.plu) + "," + r.description;
    for (int64_t p : r.prices) line += "," + std::to_string(p);
    line += "," + std::to_string(r.dept) + "," + r.vat + ",0," + std::to_string(r.prodCat + 1) +
            "," + std::to_string(r.listMenu) + ",0,0";
    for (int d : r.dsp) line += "," + std::to_string(d);
    line += ",1,0,2,0," + std::string(1, r.bucket) + ",0\n";
    return line;
}

std::string XmlElement(const Row& r) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "<Products PLU=\"%lld\" Description=\"%s\" Price1=\"%.2f\" Price2=\"%.2f\" "
                  "Price3=\"%.2f\" Price4=\"%.2f\" Dept=\"%d\" VAT=\"%c\" ProdCat=\"%d\" "
                  "ListMenu=\"%d\" Dsp1=\"%d\" Dsp2=\"%d\" MMBucket=\"%c\"/>\n",
                  static_cast<long long>(r.plu), r.description.c_str(), r.prices[0] / 100.0,
                  r.prices[1] / 100.0, r.prices[2] / 100.0, r.prices[3] / 100.0, r.dept, r.vat,
                  r.prodCat, r.listMenu, r.dsp[0], r.dsp[1], r.bucket);
    return buffer;
}

struct Site {
    xrtest::TempDir dir;
    std::string csv, xml;
    std::vector<Row> rows;

    Site() {
        const std::string cs = "Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF";
        DBSetLog(nullptr);
        DBOpen(cs.c_str(), "LORIMDB81");
        DBSetupDB1();
        csv = (dir.Path() / "products.csv").string();
        xml = (dir.Path() / "products.xml").string();
        std::ofstream c(csv), x(xml);
        x << "<Data>\n";
        for (int i = 0; i < kRows; ++i) {
            rows.push_back(RowOf(i));
            c << CsvLine(rows.back());
            x << XmlElement(rows.back());
        }
        x << "</Data>\n";
    }
};

Site& TheSite() {
    static Site site;
    return site;
}

double g_rawRate = 0;

// The machine's speed drifts between runs: each side counts its fastest run.
double Fastest(double best, double seconds) { return best == 0 || seconds < best ? seconds : best; }

// The same rows into a plain SQLite table of the Products shape.
void BM_RawSqliteInsert(benchmark::State& state) {
    Site& site = TheSite();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = (site.dir.Path() / "raw.db").string();
        std::filesystem::remove(path);
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        const std::string pragmas = std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=") +
                                    (state.range(0) ? "FULL;" : "OFF;");
        sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr);
        // The configuration table's own statement, with a built-in collation.
        sqlite3* config = nullptr;
        sqlite3_open((site.dir.Path() / "LORIMDB81.db").string().c_str(), &config);
        sqlite3_stmt* ddl = nullptr;
        sqlite3_prepare_v2(
            config, "SELECT sql FROM sqlite_master WHERE tbl_name='Products' AND sql IS NOT NULL",
            -1, &ddl, nullptr);
        while (sqlite3_step(ddl) == SQLITE_ROW) {
            std::string sql = reinterpret_cast<const char*>(sqlite3_column_text(ddl, 0));
            for (size_t at; (at = sql.find("COLLATE TSQL")) != std::string::npos;)
                sql.replace(at, 12, "COLLATE NOCASE");
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        }
        sqlite3_finalize(ddl);
        sqlite3_close(config);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO Products (PLU, Description, Price1, Price2, Price3, Price4, "
            "Dept, VAT, ProdType, ProdCat, ListMenu, Discount, PriceType, MMOffer, "
            "Dsp1, Dsp2, Dsp3, Dsp4, Dsp5, Dsp6, Dsp7, Dsp8, Dsp9, MMBucket) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
            -1, &insert, nullptr);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (const Row& r : site.rows) {
            int n = 1;
            sqlite3_bind_int64(insert, n++, r.plu);
            sqlite3_bind_text(insert, n++, r.description.c_str(), -1, SQLITE_STATIC);
            for (int64_t p : r.prices) sqlite3_bind_int64(insert, n++, p * 100);
            sqlite3_bind_int(insert, n++, r.dept);
            sqlite3_bind_text(insert, n++, &r.vat, 1, SQLITE_STATIC);
            for (int v : {r.prodType, r.prodCat, r.listMenu, r.discount, r.priceType, r.mmOffer})
                sqlite3_bind_int(insert, n++, v);
            for (int d : r.dsp) sqlite3_bind_int(insert, n++, d);
            sqlite3_bind_text(insert, n++, &r.bucket, 1, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        seconds = Fastest(
            seconds,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        sqlite3_finalize(insert);
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    const double rate = kRows / seconds;
    if (!state.range(0)) g_rawRate = rate;
    state.counters["rows_per_second"] = rate;
}

// Rows per second of `run`, timed by hand so that the ratio can be reported.
template <typename Fn>
void Measure(benchmark::State& state, Fn&& run) {
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DBExec("DELETE FROM Products");
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        run();
        seconds = Fastest(
            seconds,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double rate = kRows / seconds;
    state.counters["rows_per_second"] = rate;
    if (g_rawRate > 0) state.counters["ratio"] = g_rawRate / rate;
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_CsvImportProducts(benchmark::State& state) {
    Site& site = TheSite();
    const std::string script = (site.dir.Path() / "changes.sql").string();
    Measure(state, [&] {
        std::filesystem::remove(script);
        CProduct product;
        if (product.ImportCSV(site.csv.c_str(), script.c_str(), 0) != 1)
            state.SkipWithError("the import failed");
    });
}

void BM_XmlLoadProducts(benchmark::State& state) {
    Site& site = TheSite();
    Measure(state, [&] {
        if (CXRTable::XmlLoadFile(site.xml.c_str(), "Products") != 1)
            state.SkipWithError("the load failed");
    });
}

// Argument 0: synchronous OFF, the setting the imports run with (the ratio is
// taken against it); 1: FULL, to show what syncing every commit costs.
BENCHMARK(BM_RawSqliteInsert)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawSqliteInsert)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CsvImportProducts)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_XmlLoadProducts)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
