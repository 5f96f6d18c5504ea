// The server engine against raw libpq doing the same work over the same
// socket in the same run: 100,000 key queries and 100,000 single-row inserts
// in one transaction, each pair reporting library / raw. The raw side uses
// prepared statements with binary parameters, as a careful client would.
//
// The server comes from XRDB8_TEST_POSTGRES (scripts/pg_cluster.sh starts
// one), or the first argument: a connection string of the library's form.
// The benchmark makes a database of its own on it and drops it afterwards.
#include <arpa/inet.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "xrdb8/xrdb8.h"

namespace {

int kRows = 100000;  // a second argument sets fewer, to look at one run

double Seconds(const std::function<void()>& work) {
    const auto t = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The connection string's keys (case-insensitive names, trimmed values).
std::map<std::string, std::string> Keys(const std::string& cs) {
    std::map<std::string, std::string> out;
    size_t at = 0;
    while (at < cs.size()) {
        size_t end = cs.find(';', at);
        if (end == std::string::npos) end = cs.size();
        const std::string pair = cs.substr(at, end - at);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos) {
            std::string key = pair.substr(0, eq);
            for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            out[key] = pair.substr(eq + 1);
        }
        at = end + 1;
    }
    return out;
}

// libpq's connection of the same server database the library uses.
PGconn* OpenRaw(const std::map<std::string, std::string>& keys, const std::string& database) {
    auto get = [&](const char* k) {
        auto it = keys.find(k);
        return it == keys.end() ? std::string() : it->second;
    };
    std::string host = get("data source"), port = get("port");
    if (size_t comma = host.find(','); comma != std::string::npos) {
        port = host.substr(comma + 1);
        host.resize(comma);
    }
    const char* names[] = {"host", "port", "user", "password", "dbname", nullptr};
    const std::string user = get("user id"), password = get("password");
    const char* values[] = {host.c_str(),     port.empty() ? nullptr : port.c_str(),
                            user.c_str(),     password.c_str(),
                            database.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(names, values, 0);
    if (PQstatus(conn) != CONNECTION_OK) {
        std::fprintf(stderr, "pg_bench: raw connection failed: %s", PQerrorMessage(conn));
        std::exit(2);
    }
    return conn;
}

void Run(PGconn* conn, const char* sql) {
    PGresult* r = PQexec(conn, sql);
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "pg_bench: %s: %s", sql, PQerrorMessage(conn));
        std::exit(2);
    }
    PQclear(r);
}

void Prepare(PGconn* conn, const char* name, const char* sql, int n, const Oid* types) {
    PQclear(PQprepare(conn, name, sql, n, types));
}

uint64_t Net64(int64_t v) {
    uint64_t u = static_cast<uint64_t>(v), out = 0;
    for (int i = 0; i < 8; ++i) out = (out << 8) | ((u >> (8 * i)) & 0xff);
    return out;
}

// Reads every field of every row, as the library's rows are read.
void Drain(PGresult* r) {
    volatile size_t sink = 0;
    for (int row = 0; row < PQntuples(r); ++row)
        for (int col = 0; col < PQnfields(r); ++col) sink = sink + PQgetlength(r, row, col);
    PQclear(r);
}

// Every statement of the library must succeed: a failure would time nothing.
void Exec(const std::string& sql) {
    if (DBExec(sql.c_str())) return;
    int code = 0;
    std::string text;
    DBGetError(code, text);
    std::fprintf(stderr, "pg_bench: %s: %s\n", sql.c_str(), text.c_str());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    const char* env = argc > 1 ? argv[1] : std::getenv("XRDB8_TEST_POSTGRES");
    if (!env || !*env) {
        std::fprintf(stderr, "pg_bench: no server (XRDB8_TEST_POSTGRES or an argument)\n");
        return 2;
    }
    if (argc > 2) kRows = std::atoi(argv[2]);
    const std::string serverDb = "xrbench_" + std::to_string(getpid());
    const std::string cs = std::string(env) + ";Initial Catalog=" + serverDb;
    if (!DBOpen(cs.c_str(), "")) {
        std::fprintf(stderr, "pg_bench: the library could not connect\n");
        return 2;
    }
    Exec("CREATE DATABASE LORIMDB81");
    DBSetDefaultDB("LORIMDB81");
    std::string create =
        "CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(40) DEFAULT "
        "'Description' NOT NULL";
    for (int i = 1; i <= 10; ++i)
        create += ", Price" + std::to_string(i) + " MONEY DEFAULT 0 NOT NULL";
    create += ", Dept INTEGER DEFAULT 1 NOT NULL, VAT CHAR(1) DEFAULT 'A' NOT NULL)";
    Exec(create);
    Exec("ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU)");
    Exec("CREATE TABLE Log (ID INTEGER NOT NULL, Name VARCHAR(40) NOT NULL, Amount MONEY)");
    DBBeginTrans();
    for (int i = 1; i <= kRows; ++i) {
        Exec("INSERT Products (PLU, Description, Price1) VALUES (" + std::to_string(i) +
             ", 'Item " + std::to_string(i) + "', 1.25)");
    }
    DBCommitTrans();

    PGconn* raw = OpenRaw(Keys(env), serverDb);
    Run(raw, "ANALYZE \"LORIMDB81\".\"Products\"");

    const double libKey = Seconds([] {
        for (int i = 1; i <= kRows; ++i)
            Exec("SELECT * FROM Products WHERE PLU=" + std::to_string(i));
    });
    const Oid int8Type = 20, int4Type = 23, textType = 25;
    Prepare(raw, "key", "SELECT * FROM \"LORIMDB81\".\"Products\" WHERE \"PLU\" = $1", 1,
            &int8Type);
    const double rawKey = Seconds([&] {
        for (int i = 1; i <= kRows; ++i) {
            const uint64_t plu = Net64(i);
            const char* values[] = {reinterpret_cast<const char*>(&plu)};
            const int lengths[] = {8}, formats[] = {1};
            Drain(PQexecPrepared(raw, "key", 1, values, lengths, formats, 1));
        }
    });

    const double libInsert = Seconds([] {
        DBBeginTrans();
        for (int i = 1; i <= kRows; ++i) {
            Exec("INSERT Log (ID, Name, Amount) VALUES (" + std::to_string(i) + ", 'Name " +
                 std::to_string(i) + "', 12.5)");
        }
        DBCommitTrans();
    });
    Run(raw,
        "CREATE TABLE \"LORIMDB81\".\"RawLog\" (\"ID\" integer NOT NULL, \"Name\" text NOT "
        "NULL, \"Amount\" bigint)");
    const Oid insertTypes[] = {int4Type, textType, int8Type};
    Prepare(raw, "insert",
            "INSERT INTO \"LORIMDB81\".\"RawLog\" (\"ID\", \"Name\", \"Amount\") VALUES ($1, $2, "
            "$3)",
            3, insertTypes);
    const double rawInsert = Seconds([&] {
        Run(raw, "BEGIN");
        for (int i = 1; i <= kRows; ++i) {
            uint32_t id = htonl(static_cast<uint32_t>(i));
            const std::string name = "Name " + std::to_string(i);
            const uint64_t amount = Net64(125000);
            const char* values[] = {reinterpret_cast<const char*>(&id), name.c_str(),
                                    reinterpret_cast<const char*>(&amount)};
            const int lengths[] = {4, static_cast<int>(name.size()), 8};
            const int formats[] = {1, 0, 1};
            PQclear(PQexecPrepared(raw, "insert", 3, values, lengths, formats, 1));
        }
        Run(raw, "COMMIT");
    });
    // The floor of statement-level errors in a transaction on PostgreSQL: the
    // same inserts, each under a savepoint of its own sent with it.
    Run(raw, "TRUNCATE \"LORIMDB81\".\"RawLog\"");
    const double rawSavepoint = Seconds([&] {
        Run(raw, "BEGIN");
        PQenterPipelineMode(raw);
        for (int i = 1; i <= kRows; ++i) {
            uint32_t id = htonl(static_cast<uint32_t>(i));
            const std::string name = "Name " + std::to_string(i);
            const uint64_t amount = Net64(125000);
            const char* values[] = {reinterpret_cast<const char*>(&id), name.c_str(),
                                    reinterpret_cast<const char*>(&amount)};
            const int lengths[] = {4, static_cast<int>(name.size()), 8};
            const int formats[] = {1, 0, 1};
            PQsendQueryParams(raw, "SAVEPOINT s", 0, nullptr, nullptr, nullptr, nullptr, 0);
            PQsendQueryPrepared(raw, "insert", 3, values, lengths, formats, 1);
            PQsendQueryParams(raw, "RELEASE s", 0, nullptr, nullptr, nullptr, nullptr, 0);
            PQpipelineSync(raw);
            for (;;) {
                PGresult* r = PQgetResult(raw);
                if (!r) continue;
                const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
                PQclear(r);
                if (sync) break;
            }
        }
        PQexitPipelineMode(raw);
        Run(raw, "COMMIT");
    });
    PQfinish(raw);
    DBClose();

    const std::string drop = std::string(env) + ";Initial Catalog=postgres";
    PGconn* admin = OpenRaw(Keys(drop), "postgres");
    Run(admin, ("DROP DATABASE IF EXISTS " + serverDb).c_str());
    PQfinish(admin);

    std::printf("%-28s %8.3f s vs raw libpq %8.3f s   ratio %.2f (limit 2)\n",
                "100,000 key queries", libKey, rawKey, libKey / rawKey);
    std::printf("%-28s %8.3f s vs raw libpq %8.3f s   ratio %.2f (limit 2)\n",
                "100,000 single-row inserts", libInsert, rawInsert, libInsert / rawInsert);
    std::printf("%-28s %8.3f s vs raw libpq %8.3f s   ratio %.2f (savepoint per row)\n",
                "100,000 single-row inserts", libInsert, rawSavepoint, libInsert / rawSavepoint);
    return 0;
}
