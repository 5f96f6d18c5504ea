// A till's work on a site whose server is PostgreSQL, against raw libpq doing
// the same over the same socket in the same run:
//   - the configuration database's set-up on an empty server, against
//     replaying its final schema (pg_dump --schema-only of the result);
//   - 100,000 products added with AddNew/Update in one transaction, against
//     prepared inserts in one transaction;
//   - 100,000 lookups with CProduct::Equ, against a prepared SELECT by key;
//   - a walk of the products with ProdFirst/ProdNext, against one query.
// The server comes from XRDB8_TEST_POSTGRES or the first argument (a
// connection string of the library's form); a second argument sets fewer
// rows. The benchmark's server databases are dropped afterwards.
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "connect_keys.h"
#include "xrdb8/xrdb8.h"

namespace {

int g_rows = 100000;

double Seconds(const std::function<void()>& work) {
    const auto t = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

struct Server {
    std::string host, port, user, password;
    explicit Server(const std::string& cs) {
        host = xrtest::ValueOf(cs, "Data Source");
        port = xrtest::ValueOf(cs, "Port");
        if (size_t comma = host.find(','); comma != std::string::npos) {
            port = host.substr(comma + 1);
            host.resize(comma);
        }
        user = xrtest::ValueOf(cs, "User Id");
        password = xrtest::ValueOf(cs, "Password");
    }
    PGconn* Open(const std::string& database) const {
        const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
        const char* values[] = {host.c_str(),     port.empty() ? nullptr : port.c_str(),
                                user.c_str(),     password.c_str(),
                                database.c_str(), nullptr};
        PGconn* conn = PQconnectdbParams(keys, values, 0);
        if (PQstatus(conn) != CONNECTION_OK) {
            std::fprintf(stderr, "pg_site_bench: %s", PQerrorMessage(conn));
            std::exit(2);
        }
        return conn;
    }
};

void Run(PGconn* conn, const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "pg_site_bench: %.200s: %s", sql.c_str(), PQerrorMessage(conn));
        std::exit(2);
    }
    PQclear(r);
}

void Check(int ok, const char* what) {
    if (ok) return;
    int code = 0;
    std::string text;
    DBGetError(code, text);
    std::fprintf(stderr, "pg_site_bench: %s: %s\n", what, text.c_str());
    std::exit(2);
}

// The schema of `schema` in `database` as pg_dump writes it.
std::string DumpSchema(const Server& s, const std::string& database, const std::string& schema) {
    const char* bin = std::getenv("XRDB8_PG_BIN");
    const std::string tool = std::string(bin ? bin : "/usr/lib/postgresql/15/bin") + "/pg_dump";
    setenv("PGPASSWORD", s.password.c_str(), 1);
    const std::string command = tool + " --schema-only --no-owner --no-privileges -h '" + s.host +
                                "'" + (s.port.empty() ? "" : " -p " + s.port) + " -U '" + s.user +
                                "' -n '\"" + schema + "\"' '" + database + "'";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    // psql's own commands (\restrict ...) are no SQL.
    std::string sql;
    for (size_t at = 0; at < out.size();) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        if (out[at] != '\\') sql.append(out, at, end - at + 1);
        at = end + 1;
    }
    out = sql;
    if (out.empty()) {
        std::fprintf(stderr, "pg_site_bench: pg_dump gave nothing\n");
        std::exit(2);
    }
    return out;
}

void Ratio(const char* what, double library, double raw) {
    std::printf("%-40s %8.3f s vs raw libpq %8.3f s   ratio %.2f\n", what, library, raw,
                library / raw);
}

}  // namespace

int main(int argc, char** argv) {
    const char* env = argc > 1 ? argv[1] : std::getenv("XRDB8_TEST_POSTGRES");
    if (!env || !*env) {
        std::fprintf(stderr, "pg_site_bench: no server (XRDB8_TEST_POSTGRES or an argument)\n");
        return 2;
    }
    if (argc > 2) g_rows = std::atoi(argv[2]);
    const Server server(env);
    const std::string siteDb = "xrsite_" + std::to_string(getpid());
    const std::string rawDb = siteDb + "_raw";

    // The set-up of the configuration database on an empty server, and the
    // replay of its schema: each the fastest of three, each time into a
    // new database (a few DDL statements' time swings with the server's
    // housekeeping).
    PGconn* admin = server.Open("postgres");
    double setup = 0, replay = 0;
    for (int round = 2; round >= 0; --round) {
        const std::string db = round ? siteDb + "_" + std::to_string(round) : siteDb;
        const std::string connect = std::string(env) + ";Initial Catalog=" + db;
        Check(DBOpen(connect.c_str(), "LORIMDB81"), "connecting");
        const double took = Seconds([] { Check(DBSetupDB1(), "set-up"); });
        setup = setup == 0 ? took : std::min(setup, took);
        if (round) {
            DBClose();
            Run(admin, "DROP DATABASE IF EXISTS " + db + " WITH (FORCE)");
        }
    }
    const std::string schema = DumpSchema(server, siteDb, "LORIMDB81");
    for (int round = 0; round < 3; ++round) {
        Run(admin, "DROP DATABASE IF EXISTS " + rawDb + " WITH (FORCE)");
        Run(admin, "CREATE DATABASE " + rawDb + " TEMPLATE template0");
        PGconn* rawSchema = server.Open(rawDb);
        const double took = Seconds([&] { Run(rawSchema, schema); });
        replay = replay == 0 ? took : std::min(replay, took);
        PQfinish(rawSchema);
    }

    // Products added in one transaction.
    const double add = Seconds([] {
        Check(DBBeginTrans(), "begin");
        CProduct p;
        Check(p.OpenTable(), "OpenTable");
        for (int i = 1; i <= g_rows; ++i) {
            Check(p.AddNew(), "AddNew");
            p.m_def = prod_def{};
            p.m_def.PLU = static_cast<uint64_t>(i);
            std::snprintf(p.m_def.Description, sizeof p.m_def.Description, "Item %d", i);
            p.m_def.Dept = static_cast<uint16_t>(i % 40);
            p.setPrice(0, 125);
            Check(p.Update(0), "Update");
        }
        Check(DBCommitTrans(), "commit");
    });
    PGconn* raw = server.Open(siteDb);
    Run(raw,
        "CREATE TABLE \"LORIMDB81\".\"RawProducts\" (LIKE \"LORIMDB81\".\"Products\" "
        "INCLUDING ALL)");
    PQclear(PQprepare(raw, "add",
                      "INSERT INTO \"LORIMDB81\".\"RawProducts\" (\"PLU\", \"Description\", "
                      "\"Dept\", \"Price1\") VALUES ($1::bigint, $2, $3::int, $4::bigint)",
                      4, nullptr));
    const double rawAdd = Seconds([&] {
        Run(raw, "BEGIN");
        for (int i = 1; i <= g_rows; ++i) {
            const std::string plu = std::to_string(i), name = "Item " + std::to_string(i),
                              dept = std::to_string(i % 40);
            const char* values[] = {plu.c_str(), name.c_str(), dept.c_str(), "12500"};
            PQclear(PQexecPrepared(raw, "add", 4, values, nullptr, nullptr, 0));
        }
        Run(raw, "COMMIT");
    });

    // Lookups by key.
    const double equ = Seconds([] {
        CProduct p;
        for (int i = 1; i <= g_rows; ++i) Check(p.Equ(static_cast<uint64_t>(i)), "Equ");
    });
    PQclear(PQprepare(raw, "equ",
                      "SELECT * FROM \"LORIMDB81\".\"Products\" WHERE \"PLU\" = $1::bigint", 1,
                      nullptr));
    const double rawEqu = Seconds([&] {
        for (int i = 1; i <= g_rows; ++i) {
            const std::string plu = std::to_string(i);
            const char* values[] = {plu.c_str()};
            PQclear(PQexecPrepared(raw, "equ", 1, values, nullptr, nullptr, 1));
        }
    });

    // The walk.
    long walked = 0;
    const double walk = Seconds([&] {
        prod_def d{};
        for (int rc = ProdFirst(0, &d); rc == FLAT_OK; rc = ProdNext(0, &d)) ++walked;
        ProdClose(0);
    });
    const double rawWalk = Seconds([&] {
        PQclear(PQexecParams(raw, "SELECT * FROM \"LORIMDB81\".\"Products\" ORDER BY \"PLU\"", 0,
                             nullptr, nullptr, nullptr, nullptr, 1));
    });
    PQfinish(raw);
    DBClose();
    Run(admin, "DROP DATABASE IF EXISTS " + rawDb + " WITH (FORCE)");
    Run(admin, "DROP DATABASE IF EXISTS " + siteDb + " WITH (FORCE)");
    PQfinish(admin);
    if (walked != g_rows) {
        std::fprintf(stderr, "pg_site_bench: the walk met %ld products of %d\n", walked, g_rows);
        return 2;
    }

    Ratio("set-up of the configuration database", setup, replay);
    Ratio("AddNew/Update of the products, one tran", add, rawAdd);
    Ratio("CProduct::Equ of every product", equ, rawEqu);
    Ratio("ProdFirst/ProdNext walk", walk, rawWalk);
    return 0;
}
