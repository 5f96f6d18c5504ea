#include "engine/postgres/pg_backend.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "engine/postgres/pg_functions.h"
#include "engine/postgres/pg_logins.h"
#include "engine/postgres/pg_renderer.h"
#include "engine/postgres/pg_session.h"
#include "engine/postgres/pg_system_views.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

// The type oids of the values bound and read (pg_type.h).
enum : Oid {
    kBool = 16,
    kBytea = 17,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpchar = 1042,
    kVarchar = 1043,
    kNumeric = 1700,
};

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

uint64_t ReadBig(const char* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

void WriteBig(std::string& out, uint64_t v, int n) {
    out.resize(static_cast<size_t>(n));
    for (int i = n - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<char>(v & 0xff);
        v >>= 8;
    }
}

// A NUMERIC in binary: digit count, weight, sign and scale, then base-10000
// digits. Whole numbers that fit come back as integers.
Value DecodeNumeric(const char* p, int len) {
    if (len < 8) return Value::Null();
    const int ndigits = static_cast<int16_t>(ReadBig(p, 2));
    const int weight = static_cast<int16_t>(ReadBig(p + 2, 2));
    const uint16_t sign = static_cast<uint16_t>(ReadBig(p + 4, 2));
    const int dscale = static_cast<int16_t>(ReadBig(p + 6, 2));
    if (sign == 0xC000) return Value::Real(std::numeric_limits<double>::quiet_NaN());
    bool whole = true;
    __int128 iv = 0;
    double dv = 0;
    for (int k = 0; k < ndigits && 8 + 2 * k + 1 < len; ++k) {
        const int digit = static_cast<int16_t>(ReadBig(p + 8 + 2 * k, 2));
        const int power = weight - k;
        double scale = 1;
        for (int e = 0; e < (power < 0 ? -power : power); ++e) scale *= 10000;
        dv += power >= 0 ? digit * scale : digit / scale;
        if (power < 0 && digit != 0) whole = false;
        // Beyond 10^20 it is no 64-bit integer: only the real is kept.
        if (power > 4) whole = false;
        if (power >= 0 && whole) {
            __int128 term = digit;
            for (int e = 0; e < power; ++e) term *= 10000;
            iv += term;
        }
    }
    if (sign == 0x4000) {
        dv = -dv;
        iv = -iv;
    }
    if (whole && dscale == 0 && iv >= INT64_MIN && iv <= INT64_MAX)
        return Value::Int(static_cast<int64_t>(iv));
    return Value::Real(dv);
}

// The highest $n a statement names, outside its quoted texts and names.
int ParameterCount(const std::string& sql) {
    int most = 0;
    char quote = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '$' && i + 1 < sql.size() &&
                   std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
            int n = 0;
            size_t j = i + 1;
            while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j])))
                n = n * 10 + (sql[j++] - '0');
            most = std::max(most, n);
            i = j - 1;
        }
    }
    return most;
}

// A message of libpq with the password taken out, whatever it says.
std::string Scrub(std::string text, const std::string& password) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (password.size() >= 3) {
        for (size_t at; (at = text.find(password)) != std::string::npos;)
            text.replace(at, password.size(), "***");
    }
    return MaskPasswords(text, MaskAs::kMessage);
}

struct ConnectParams {
    std::string host, port, dbname, user, password;
};

ConnectParams ParamsOf(const ConnectionString& cs) {
    ConnectParams p;
    auto get = [&](std::initializer_list<const char*> keys) -> std::string {
        for (const char* k : keys)
            if (auto v = cs.Get(k)) return std::string(Trim(*v));
        return {};
    };
    p.host = get({"Data Source", "Server", "Host", "Address"});
    // "host,port" as SQL Server's clients write it.
    if (size_t comma = p.host.rfind(','); comma != std::string::npos && p.host[0] != '/') {
        p.port = std::string(Trim(p.host.substr(comma + 1)));
        p.host = std::string(Trim(p.host.substr(0, comma)));
    }
    if (std::string port = get({"Port"}); !port.empty()) p.port = port;
    p.dbname = get({"Initial Catalog", "Database"});
    if (p.dbname.empty()) p.dbname = kDefaultServerDatabase;
    p.user = get({"User Id", "User ID", "Uid", "User"});
    if (auto pw = cs.Get("Password"))
        p.password = *pw;
    else if (auto pwd = cs.Get("Pwd"))
        p.password = *pwd;
    return p;
}

PGconn* Connect(const ConnectParams& p, const std::string& dbname) {
    std::vector<const char*> keys, values;
    auto add = [&](const char* k, const std::string& v) {
        if (v.empty()) return;
        keys.push_back(k);
        values.push_back(v.c_str());
    };
    add("host", p.host);
    add("port", p.port);
    add("dbname", dbname);
    add("user", p.user);
    add("password", p.password);
    const std::string app = "xrdb8", timeout = "10";
    add("application_name", app);
    add("connect_timeout", timeout);
    keys.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keys.data(), values.data(), 0);
}

void IgnoreNotice(void*, const PGresult*) {}

}  // namespace

// ---- the connection -------------------------------------------------------

PgLink::PgLink(const ConnectionString& cs, bool create) {
    const ConnectParams p = ParamsOf(cs);
    const std::string where = p.host.empty() ? std::string("(default)") : p.host;
    auto failure = [&](PGconn* c) {
        return Scrub(c ? PQerrorMessage(c) : "out of memory", p.password);
    };
    m_conn = Connect(p, p.dbname);
    if (PQstatus(m_conn) != CONNECTION_OK && create) {
        const std::string why = failure(m_conn);
        if (why.find("database \"" + p.dbname + "\" does not exist") != std::string::npos) {
            PQfinish(m_conn);
            m_conn = nullptr;
            // A server used for the first time: its database is made, as the
            // embedded engine makes its folder.
            PGconn* admin = Connect(p, "postgres");
            if (PQstatus(admin) == CONNECTION_OK) {
                PGresult* r = PQexec(admin, ("CREATE DATABASE " + Quote(p.dbname) +
                                             " TEMPLATE template0 "
                                             "ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'")
                                                .c_str());
                PQclear(r);  // made meanwhile by another session: as good
            }
            PQfinish(admin);
            m_conn = Connect(p, p.dbname);
        }
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string why = failure(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw ComError(E_FAIL_, "Cannot connect to the PostgreSQL server '" + where + "': " + why);
    }
    Configure();
}

void PgLink::Configure() {
    PQsetNoticeReceiver(m_conn, IgnoreNotice, nullptr);
    Exec("SET client_min_messages = warning; SET search_path = pg_catalog; LISTEN " +
         std::string(kWritesChannel));
}

bool PgLink::OthersWrote() {
    if (!m_conn || PQconsumeInput(m_conn) == 0) return false;
    bool wrote = false;
    const int own = PQbackendPID(m_conn);
    while (PGnotify* n = PQnotifies(m_conn)) {
        if (n->be_pid != own) wrote = true;
        PQfreemem(n);
    }
    return wrote;
}

bool PgLink::Revive() {
    Settle();
    if (!m_conn || PQstatus(m_conn) == CONNECTION_OK) return false;
    m_deferred.clear();  // the lost session's transaction's
    m_markLocked = false;
    ++m_transactions;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) return false;
    ++m_generation;
    try {
        Configure();
    } catch (const ComError&) {
        return false;
    }
    return true;
}

PgLink::~PgLink() {
    if (m_conn) PQfinish(m_conn);
}

bool PgLink::Alive() const { return m_conn && PQstatus(m_conn) == CONNECTION_OK; }

std::string PgLink::ServerVersion() const {
    const int v = m_conn ? PQserverVersion(m_conn) : 0;
    return std::to_string(v / 10000) + "." + std::to_string(v % 10000);
}

EngineError PgLink::ErrorOf(PGresult* result, PGconn* conn) {
    EngineError e;
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (state && std::strlen(state) == 5) {
        // The SQLSTATE's five characters, packed: the mapping goes by them.
        e.code = static_cast<int>(ReadBig(state, 4)) ^ (state[4] << 1);
        e.message = std::string(state) + ":" + (primary ? primary : "");
    } else {
        e.code = -1;
        std::string text = conn ? PQerrorMessage(conn) : "";
        while (!text.empty() && text.back() == '\n') text.pop_back();
        e.message = "08006:" + (text.empty() ? std::string("the connection was lost") : text);
    }
    // The names the server reports with a constraint failure.
    if (result) {
        for (int field : {PG_DIAG_SCHEMA_NAME, PG_DIAG_TABLE_NAME, PG_DIAG_COLUMN_NAME,
                          PG_DIAG_CONSTRAINT_NAME}) {
            const char* v = PQresultErrorField(result, field);
            e.message += '\x1f';
            e.message += v ? v : "";
        }
    }
    return e;
}

std::string PgLink::LostText(const std::string& why) {
    std::string text = why;
    // libpq's first line says it; the rest is advice for its own tools.
    if (size_t nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return "The connection to the PostgreSQL server was lost: " + text;
}

void PgLink::Raise(const EngineError& e) {
    std::string text = e.message.substr(0, e.message.find('\x1f'));
    const std::string state = text.substr(0, 5);
    text = text.size() > 6 ? text.substr(6) : text;
    if (!Alive() || state.rfind("08", 0) == 0 || state.rfind("57P0", 0) == 0)
        throw ComError(E_FAIL_, LostText(text));
    Fail(text);
}

void PgLink::Exec(const std::string& sql) {
    EngineError e;
    if (!TryExec(sql, &e)) Raise(e);
}

bool PgLink::TryExec(const std::string& sql, EngineError* error) {
    Settle();
    Noticed(sql);
    const bool rollback = sql.rfind("ROLLBACK", 0) == 0;
    if (rollback && sql.rfind("ROLLBACK TO", 0) != 0) {
        m_deferred.clear();  // the transaction's: undone anyway
    } else if (!m_deferred.empty() && !rollback && sql.find(';') == std::string::npos) {
        // One command rides with what waits (a pipeline takes one per query).
        Undone(sql);
        ++m_commands;
        m_deferred.push_back({sql, {}});
        return Flush(error);
    } else if (!Flush(error) && !rollback) {
        return false;
    }
    Undone(sql);
    ++m_commands;
    PGresult* r = PQexec(m_conn, sql.c_str());
    const ExecStatusType st = PQresultStatus(r);
    const bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok) ++m_namesMoved;
    if (!ok && error) *error = ErrorOf(r, m_conn);
    PQclear(r);
    return ok;
}

std::vector<std::vector<std::string>> PgLink::Select(const std::string& sql,
                                                     const std::vector<std::string>& params) {
    Settle();
    Noticed(sql);
    PGresult* r = nullptr;
    if (!m_deferred.empty()) {
        // The query rides with what waits, its rows kept.
        m_deferred.push_back({sql, params});
        if (EngineError e; !Flush(&e, &r)) Raise(e);
    } else {
        std::vector<const char*> values;
        for (const std::string& p : params) values.push_back(p.c_str());
        r = PQexecParams(m_conn, sql.c_str(), static_cast<int>(params.size()), nullptr,
                         values.data(), nullptr, nullptr, 0);
    }
    if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK) {
        ++m_namesMoved;
        EngineError e = ErrorOf(r, m_conn);
        PQclear(r);
        Raise(e);
    }
    std::vector<std::vector<std::string>> rows(static_cast<size_t>(PQntuples(r)));
    for (int i = 0; i < PQntuples(r); ++i) {
        for (int c = 0; c < PQnfields(r); ++c)
            rows[static_cast<size_t>(i)].emplace_back(PQgetvalue(r, i, c),
                                                      static_cast<size_t>(PQgetlength(r, i, c)));
    }
    PQclear(r);
    return rows;
}

void PgLink::Defer(std::string sql, std::vector<std::string> params) {
    Settle();
    Noticed(sql);
    if (PQtransactionStatus(m_conn) != PQTRANS_INTRANS) {
        // Nothing to ride with: outside a transaction it runs as it comes.
        Select(sql, params);
        return;
    }
    ++m_commands;
    m_deferred.push_back({std::move(sql), std::move(params)});
    // A pipeline whose results are not read while it is sent could fill both
    // sides' buffers: it goes out in bounded pieces.
    if (m_deferred.size() >= 256) {
        if (EngineError e; !Flush(&e)) Raise(e);
    }
}

namespace {

// Where the parameter list of an INSERT of one row begins ("(" after
// " VALUES "), when the rest is only its parameters, each once and in order
// ($1, $2::int::bool, ...); npos otherwise.
size_t RowValuesAt(const std::string& sql, size_t params) {
    if (params == 0 || sql.rfind("INSERT INTO ", 0) != 0 || sql.back() != ')')
        return std::string::npos;
    const size_t at = sql.rfind(" VALUES (");
    if (at == std::string::npos || sql.find('$') < at) return std::string::npos;
    size_t next = 1;
    for (size_t i = at + 9; i + 1 < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '$') {
            size_t k = 0, j = i + 1;
            while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j])))
                k = k * 10 + static_cast<size_t>(sql[j++] - '0');
            if (k != next++) return std::string::npos;
            i = j - 1;
        } else if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != ',' &&
                   c != ' ' && c != '_') {
            return std::string::npos;
        }
    }
    return next - 1 == params ? at + 8 : std::string::npos;
}

// `row` (a parameter list as RowValuesAt found it) with its parameters
// numbered from `first` + 1.
void AppendRow(std::string& out, std::string_view row, size_t first) {
    for (size_t i = 0; i < row.size(); ++i) {
        if (row[i] != '$') {
            out += row[i];
            continue;
        }
        size_t k = 0, j = i + 1;
        while (j < row.size() && std::isdigit(static_cast<unsigned char>(row[j])))
            k = k * 10 + static_cast<size_t>(row[j++] - '0');
        out += '$' + std::to_string(first + k);
        i = j - 1;
    }
}

}  // namespace

// What waits is sent in fewer commands, with the same outcome when all of
// them succeed (when one fails, the transaction is lost either way):
// - a savepoint taken and released within what waits is left out;
// - catalog rows come one INSERT at a time, several tables' in turn: a run
//   of such INSERTs goes out as one INSERT of many rows per table, which the
//   server parses and plans once (INSERTs into different tables commute).
std::vector<PgLink::Deferred> PgLink::Batched(std::vector<Deferred> pending, bool keepLast) {
    const size_t rider = keepLast ? pending.size() - 1 : pending.size();
    std::vector<bool> dropped(pending.size(), false);
    std::map<std::string, std::vector<size_t>> open;  // savepoint name -> where taken
    for (size_t i = 0; i < rider; ++i) {
        const std::string& sql = pending[i].sql;
        if (sql.rfind("SAVEPOINT ", 0) == 0) {
            open[sql.substr(10)].push_back(i);
        } else if (sql.rfind("RELEASE ", 0) == 0) {
            auto it = open.find(sql.substr(8));
            if (it != open.end() && !it->second.empty()) {
                dropped[it->second.back()] = dropped[i] = true;
                it->second.pop_back();
            }
        }
    }
    std::vector<Deferred> out;
    for (size_t i = 0; i < pending.size();) {
        if (dropped[i]) {
            ++i;
            continue;
        }
        // A run of single-row INSERTs (savepoints left out do not end it).
        size_t end = i;
        while (end < rider &&
               (dropped[end] ||
                RowValuesAt(pending[end].sql, pending[end].params.size()) != std::string::npos))
            ++end;
        if (end == i) {
            out.push_back(std::move(pending[i++]));
            continue;
        }
        std::vector<std::pair<std::string, std::vector<size_t>>> tables;  // sql -> rows, in order
        for (size_t r = i; r < end; ++r) {
            if (dropped[r]) continue;
            auto t = std::find_if(tables.begin(), tables.end(),
                                  [&](const auto& e) { return e.first == pending[r].sql; });
            if (t == tables.end()) {
                tables.push_back({pending[r].sql, {}});
                t = tables.end() - 1;
            }
            t->second.push_back(r);
        }
        std::vector<Deferred> pieces;
        for (const auto& [sql, rows] : tables) {
            const size_t at = RowValuesAt(sql, pending[rows[0]].params.size());
            const std::string_view row = std::string_view(sql).substr(at);
            // At most 256 rows a command: well inside the server's limit on
            // parameters.
            for (size_t first = 0; first < rows.size(); first += 256) {
                Deferred many;
                many.sql = sql.substr(0, at);
                size_t n = 0;
                for (size_t k = first; k < rows.size() && k < first + 256; ++k) {
                    if (k > first) many.sql += ", ";
                    AppendRow(many.sql, row, n);
                    for (std::string& p : pending[rows[k]].params) {
                        many.params.push_back(std::move(p));
                        ++n;
                    }
                }
                pieces.push_back(std::move(many));
            }
        }
        // The tables' INSERTs go as one command, the others as its common
        // tables (the server runs each once, whether or not it is read).
        size_t params = 0;
        for (const Deferred& d : pieces) params += d.params.size();
        if (pieces.size() > 1 && params <= 30000) {
            Deferred one;
            for (size_t k = 0; k < pieces.size(); ++k) {
                if (k + 1 < pieces.size())
                    one.sql += (k ? ", xr_b" : "WITH xr_b") + std::to_string(k) + " AS (";
                else
                    one.sql += ' ';
                AppendRow(one.sql, pieces[k].sql, one.params.size());
                if (k + 1 < pieces.size()) one.sql += ')';
                for (std::string& p : pieces[k].params) one.params.push_back(std::move(p));
            }
            pieces.clear();
            pieces.push_back(std::move(one));
        }
        for (Deferred& d : pieces) out.push_back(std::move(d));
        i = end;
    }
    return out;
}

bool PgLink::Flush(EngineError* error, pg_result** last) {
    Settle();
    if (m_deferred.empty()) return true;
    std::vector<Deferred> pending = Batched(std::move(m_deferred), last != nullptr);
    m_deferred.clear();
    if (!PQenterPipelineMode(m_conn)) {
        if (error) *error = ErrorOf(nullptr, m_conn);
        return false;
    }
    bool sent = true;
    for (const Deferred& d : pending) {
        std::vector<const char*> values;
        for (const std::string& p : d.params) values.push_back(p.c_str());
        sent = sent && PQsendQueryParams(m_conn, d.sql.c_str(), static_cast<int>(values.size()),
                                         nullptr, values.data(), nullptr, nullptr, 0) != 0;
    }
    sent = sent && PQpipelineSync(m_conn) != 0;
    EngineError failure;
    bool failed = !sent;
    if (!sent) failure = ErrorOf(nullptr, m_conn);
    // Each command's results end with a null; the sync ends the pipeline.
    size_t ended = 0;
    while (sent) {
        PGresult* r = PQgetResult(m_conn);
        if (!r) {
            if (++ended > pending.size() || PQstatus(m_conn) != CONNECTION_OK) break;
            continue;
        }
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        if (!failed && st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            failed = true;
            failure = ErrorOf(st == PGRES_PIPELINE_ABORTED ? nullptr : r, m_conn);
        }
        if (last && !failed && ended + 1 == pending.size() && !*last) {
            *last = r;  // the caller's query: its rows
        } else {
            PQclear(r);
        }
    }
    PQexitPipelineMode(m_conn);
    if (failed) ++m_namesMoved;
    if (failed && last && *last) {
        PQclear(*last);
        *last = nullptr;
    }
    if (failed && error) *error = failure;
    if (!failed && last && !*last) {
        failed = true;  // the connection ended before the answer came
        if (error) *error = ErrorOf(nullptr, m_conn);
    }
    return !failed;
}

bool PgLink::InTransaction() const {
    Settle();
    return m_conn && PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
}

bool PgLink::MarkLocked() const {
    Settle();
    return m_markLocked && PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
}

// A lock taken in a savepoint that is rolled back goes with it: after any
// rollback the lock is taken again.
void PgLink::Undone(const std::string& sql) {
    const size_t rollback = sql.find("ROLLBACK");
    const bool commit = sql.find("COMMIT") != std::string::npos;
    if (rollback != std::string::npos || commit) m_markLocked = false;
    if (rollback != std::string::npos) ++m_namesMoved;
    if (commit || (rollback != std::string::npos && sql.compare(rollback, 11, "ROLLBACK TO") != 0))
        ++m_transactions;
}

// ---- statements -----------------------------------------------------------

PgStatement::PgStatement(PgBackend& backend, std::string sql)
    : m_backend(backend), m_sql(std::move(sql)) {
    m_params.resize(static_cast<size_t>(ParameterCount(m_sql)));
    // An insert hands back the row id of each row (the identity value when
    // its table has one), read as the last insert's id.
    const bool insert = m_sql.rfind("INSERT ", 0) == 0;
    if (insert && m_sql.find(" RETURNING ") == std::string::npos)
        m_sql += " RETURNING \"xr_rowid\"";
    // (An insert of explicit identity values hands them back through the
    // function that keeps the counter beyond them, as a query.)
    m_insert = (insert && m_sql.find(" RETURNING ") != std::string::npos) ||
               m_sql.rfind(kKeptInsert, 0) == 0;
    m_callsFunctions = m_sql.find("xr.") != std::string::npos;
    m_write = m_sql.rfind("SELECT ", 0) != 0;
}

PgStatement::~PgStatement() {
    Reset();
    if (!m_name.empty() && m_backend.m_link.Alive() &&
        m_generation == m_backend.m_link.Generation())
        m_backend.m_link.TryExec("DEALLOCATE " + m_name);
}

PgStatement::Param& PgStatement::At(int i) {
    if (i < 1) i = 1;
    if (static_cast<size_t>(i) > m_params.size()) m_params.resize(static_cast<size_t>(i));
    return m_params[static_cast<size_t>(i - 1)];
}

void PgStatement::BindNull(int i) {
    Param& p = At(i);
    p.null = true;
    p.type = 0;
    p.bytes.clear();
}

// Typed as the value would be stored; text when the type is not known.
void PgStatement::BindNull(int i, const tsql::TypeSpec& type) {
    BindNull(i);
    if (type.IsInteger() || type.IsScaled())
        At(i).type = kInt8;
    else if (type.IsNumeric() || type.IsDate())
        At(i).type = kFloat8;
    else if (type.IsBinary())
        At(i).type = kBytea;
}

void PgStatement::BindInt(int i, int64_t v) {
    Param& p = At(i);
    p.null = false;
    p.type = kInt8;
    WriteBig(p.bytes, static_cast<uint64_t>(v), 8);
}

void PgStatement::BindReal(int i, double v) {
    Param& p = At(i);
    p.null = false;
    p.type = kFloat8;
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    WriteBig(p.bytes, bits, 8);
}

void PgStatement::Bind(int i, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return BindNull(i);
        case Value::Kind::Int:
            return BindInt(i, v.i);
        case Value::Kind::Real:
            return BindReal(i, v.d);
        case Value::Kind::Text:
            return BindTextRef(i, v.s);
        case Value::Kind::Blob:
            return BindBlobRef(i, v.s);
    }
}

// The bytes are copied: a statement's parameters go out in one message.
void PgStatement::BindTextRef(int i, std::string_view text) {
    Param& p = At(i);
    p.null = false;
    p.type = kText;
    p.bytes.assign(text.data(), text.size());
}

void PgStatement::BindBlobRef(int i, std::string_view bytes) {
    Param& p = At(i);
    p.null = false;
    p.type = kBytea;
    p.bytes.assign(bytes.data(), bytes.size());
}

void PgStatement::ClearBindings() {
    for (size_t i = 0; i < m_params.size(); ++i) BindNull(static_cast<int>(i + 1));
}

void PgStatement::Reset() {
    if (m_ahead) {
        m_backend.m_link.Settle();  // its answer comes, and goes unread
        m_ahead = false;
    }
    if (m_result) PQclear(m_result);
    m_result = nullptr;
    m_row = -1;
    m_rows = 0;
    m_ran = false;
    m_collected = false;
}

bool PgStatement::Run(bool guard) {
    if (!m_backend.m_link.Flush(&m_error)) return false;
    if (!Send(guard)) {
        PQexitPipelineMode(m_backend.m_link.Handle());
        m_error = PgLink::ErrorOf(nullptr, m_backend.m_link.Handle());
        return false;
    }
    m_result = Collect();
    return Ran(guard);
}

// A read of rows only, sent while nothing else waits on the connection; its
// answer waits in libpq until Next, or until anything else uses the
// connection (PgLink::Settle).
bool PgStatement::SendAhead() {
    PgLink& link = m_backend.m_link;
    if (m_ran || m_write || m_insert || m_callsFunctions || !link.Idle() || !link.Alive())
        return false;
    const bool guard = m_backend.InTransaction();
    if (!Send(guard)) {
        PQexitPipelineMode(link.Handle());
        return false;
    }
    m_ran = true;
    m_ahead = true;
    m_collected = false;
    link.SetPending(this);
    return true;
}

void PgLink::Settle() const {
    if (!m_pending) return;
    PgStatement* s = m_pending;
    m_pending = nullptr;
    s->m_result = s->Collect();
    s->m_collected = true;
    // A read that failed in a transaction leaves its savepoint to undo; the
    // statement runs again when its rows are asked for.
    if (!s->m_result && s->m_sent.guard && PQstatus(m_conn) == CONNECTION_OK)
        const_cast<PgLink*>(this)->TryExec("ROLLBACK TO SAVEPOINT xr_row; RELEASE xr_row");
}

// The statement goes out in one round trip (libpq's pipeline) behind the
// check that the server's schema is still the one the statement was rendered
// for (PgBackend::m_ddlSeen): when another session's DDL moved it, the
// statement does not run (the check fails its implicit transaction, or its
// savepoint) and fails with kSchemaMoved, for the interpreter to render it
// afresh. In a transaction a savepoint and its release go in the same round
// trip: a failed statement ends only itself, as on the server, and costs
// what it costs outside one. After a failure in a transaction the savepoint
// is left for the caller to roll back to.
bool PgStatement::Send(bool guard) {
    PGconn* conn = m_backend.m_link.Handle();
    const int n = static_cast<int>(m_params.size());
    std::vector<Oid> types(m_params.size());
    std::vector<const char*> values(m_params.size());
    std::vector<int> lengths(m_params.size()), formats(m_params.size(), 1);
    for (size_t i = 0; i < m_params.size(); ++i) {
        const Param& p = m_params[i];
        types[i] = p.null && p.type == 0 ? kText : p.type;
        values[i] = p.null ? nullptr : p.bytes.data();
        lengths[i] = static_cast<int>(p.bytes.size());
    }
    if (m_generation != m_backend.m_link.Generation()) m_name.clear();  // a new connection
    Sent& sent = m_sent;
    sent = Sent{};
    sent.guard = guard;
    sent.types.assign(types.begin(), types.end());
    if (m_name.empty() || m_preparedFor != sent.types) {
        if (!m_name.empty()) m_backend.m_link.TryExec("DEALLOCATE " + m_name);
        m_name.clear();
        sent.prepare = m_backend.m_link.NextStatementName();
    }
    if (!PQenterPipelineMode(conn)) return false;
    const std::string seen = std::to_string(m_backend.m_link.SchemaMark());
    const char* checkValues[] = {seen.c_str()};
    auto command = [&](const char* sql) {
        return PQsendQueryParams(conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    };
    // A write outside a transaction tells the other sessions at its commit
    // (a transaction's writes tell them with its COMMIT).
    const bool notify = !guard && m_write;
    const int made = sent.prepare.empty() ? 0 : 1;
    sent.check = guard ? 1 : 0;
    sent.statement = sent.check + 1 + made;
    sent.count = sent.statement + 1 + (notify ? 1 : 0) + (guard ? 1 : 0);
    const std::string& name = made ? sent.prepare : m_name;
    // `prepare`: the statement is prepared in the same round trip, after the
    // check (a table another session dropped fails the check, not the preparing).
    sent.sent =
        (!guard || command("SAVEPOINT xr_row")) &&
        PQsendQueryPrepared(conn, kCheckStatement, 1, checkValues, nullptr, nullptr, 0) &&
        (!made || PQsendPrepare(conn, sent.prepare.c_str(), m_sql.c_str(), n, types.data())) &&
        PQsendQueryPrepared(conn, name.c_str(), n, values.data(), lengths.data(), formats.data(),
                            1) &&
        (!notify || command(kNotifyWrites)) && (!guard || command("RELEASE xr_row")) &&
        PQpipelineSync(conn);
    if (!sent.sent) m_error = PgLink::ErrorOf(nullptr, conn);
    return sent.sent;
}

PGresult* PgStatement::Collect() {
    PGconn* conn = m_backend.m_link.m_conn;
    const Sent& sent = m_sent;
    PGresult* results[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    // Each query's results end with a null; the sync ends the pipeline.
    int query = 0;
    while (sent.sent) {
        PGresult* r = PQgetResult(conn);
        if (!r) {
            if (++query > sent.count || PQstatus(conn) != CONNECTION_OK) break;
            continue;
        }
        if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        if (query < sent.count && !results[query]) {
            results[query] = r;
        } else {
            PQclear(r);
        }
    }
    PQexitPipelineMode(conn);
    auto ok = [](PGresult* r) {
        const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    };
    int failed = -1;
    for (int i = 0; i < sent.count && failed < 0; ++i) {
        if (!ok(results[i])) failed = i;
    }
    if (!sent.prepare.empty() && (failed < 0 || failed > sent.check + 1)) {
        m_name = sent.prepare;
        m_generation = m_backend.m_link.Generation();
        m_preparedFor = sent.types;
    }
    if (!sent.sent || failed >= 0) {
        PGresult* r = failed >= 0 ? results[failed] : nullptr;
        m_error =
            PgLink::ErrorOf(r && PQresultStatus(r) != PGRES_PIPELINE_ABORTED ? r : nullptr, conn);
        if (failed == sent.check && PQstatus(conn) == CONNECTION_OK) m_error.code = kSchemaMoved;
        for (PGresult* each : results) PQclear(each);
        return nullptr;
    }
    PGresult* out = results[sent.statement];
    for (int i = 0; i < sent.count; ++i) {
        if (i != sent.statement) PQclear(results[i]);
    }
    return out;
}

bool PgStatement::Ran(bool guard) {
    if (!m_result) return false;
    PGconn* conn = m_backend.m_link.m_conn;
    const ExecStatusType st = PQresultStatus(m_result);
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
        m_error = PgLink::ErrorOf(m_result, conn);
        PQclear(m_result);
        m_result = nullptr;
        return false;
    }
    m_rows = PQntuples(m_result);
    const char* status = PQcmdStatus(m_result);
    const bool write = m_insert || std::strncmp(status, "INSERT", 6) == 0 ||
                       std::strncmp(status, "UPDATE", 6) == 0 ||
                       std::strncmp(status, "DELETE", 6) == 0;
    if (write) {
        const int64_t changes = m_insert ? m_rows : std::atoll(PQcmdTuples(m_result));
        int64_t lastId = 0;
        if (m_insert && m_rows > 0) {
            m_row = m_rows - 1;
            const Value v = Raw(0);
            lastId = v.kind == Value::Kind::Int ? v.i : 0;
        }
        m_backend.Ran(changes, m_insert, lastId);
        if (guard) m_backend.m_wroteInTransaction = true;
        if (m_backend.m_watching) {
            if (const int col = PQfnumber(m_result, "xr_written"); col >= 0) {
                for (m_row = 0; m_row < m_rows; ++m_row) {
                    const Value v = Raw(col);
                    if (v.kind == Value::Kind::Int) m_backend.m_written.push_back(v.i);
                }
                m_rows = 0;
            }
        }
        if (m_insert) m_rows = 0;  // the ids are the engine's, not rows of the statement
    }
    m_row = -1;
    return true;
}

engine::Statement::Step PgStatement::Failed(bool guard) {
    if (guard) m_backend.m_link.TryExec("ROLLBACK TO SAVEPOINT xr_row; RELEASE xr_row");
    Reset();
    m_ran = false;
    return Step::Failed;
}

engine::Statement::Step PgStatement::Next() {
    if (m_ahead) {
        // Sent ahead: its answer is taken now (unless something else on the
        // connection took it first). One that failed runs again, so that
        // its failure is the statement's own, reported as any other.
        m_ahead = false;
        m_backend.m_link.Settle();
        if (!m_collected || !Ran(m_sent.guard)) {
            if (m_result) PQclear(m_result);
            m_result = nullptr;
            m_ran = false;
        }
        m_collected = false;
    }
    if (!m_ran) {
        m_ran = true;
        // Inside a transaction a failed statement would doom the whole
        // transaction on PostgreSQL; on the server it ends only the
        // statement, so each one runs under a savepoint of its own.
        if (m_callsFunctions && !m_backend.SyncSchema(&m_error)) return Step::Failed;
        const bool guard = m_backend.InTransaction();
        if (!Run(guard)) return Failed(guard);
    }
    if (++m_row < m_rows) return Step::Row;
    return Step::Done;
}

int PgStatement::ColumnCount() const { return m_result ? PQnfields(m_result) : 0; }

bool PgStatement::IsNull(int i) {
    return !m_result || m_row < 0 || m_row >= m_rows || PQgetisnull(m_result, m_row, i);
}

Value PgStatement::Raw(int i) const {
    if (!m_result || m_row < 0 || m_row >= PQntuples(m_result) || PQgetisnull(m_result, m_row, i))
        return Value::Null();
    const char* p = PQgetvalue(m_result, m_row, i);
    const int len = PQgetlength(m_result, m_row, i);
    switch (PQftype(m_result, i)) {
        case kBool:
            return Value::Int(len > 0 && p[0] ? 1 : 0);
        case kInt2:
            return Value::Int(static_cast<int16_t>(ReadBig(p, 2)));
        case kInt4:
            return Value::Int(static_cast<int32_t>(ReadBig(p, 4)));
        case kOid:
            return Value::Int(static_cast<uint32_t>(ReadBig(p, 4)));
        case kInt8:
            return Value::Int(static_cast<int64_t>(ReadBig(p, 8)));
        case kFloat4: {
            uint32_t bits = static_cast<uint32_t>(ReadBig(p, 4));
            float f;
            std::memcpy(&f, &bits, 4);
            return Value::Real(f);
        }
        case kFloat8: {
            uint64_t bits = ReadBig(p, 8);
            double d;
            std::memcpy(&d, &bits, 8);
            return Value::Real(d);
        }
        case kNumeric:
            return DecodeNumeric(p, len);
        case kBytea:
            return Value::Blob(std::string(p, static_cast<size_t>(len)));
        default:
            // text, varchar, bpchar, name, unknown: the bytes as they are.
            return Value::Text(std::string(p, static_cast<size_t>(len)));
    }
}

int64_t PgStatement::Int(int i) {
    Value v = Raw(i);
    return v.kind == Value::Kind::Int    ? v.i
           : v.kind == Value::Kind::Real ? static_cast<int64_t>(v.d)
                                         : 0;
}

Value PgStatement::Column(int i, const TypeSpec& type) {
    Value v = Raw(i);
    if (v.kind == Value::Kind::Int &&
        (type.kind == TypeKind::DateTime || type.kind == TypeKind::SmallDateTime ||
         type.kind == TypeKind::Float || type.kind == TypeKind::Real ||
         (type.kind == TypeKind::Decimal && !type.IsScaled()))) {
        return Value::Real(static_cast<double>(v.i));
    }
    return v;
}

void PgStatement::ColumnInto(int i, const TypeSpec& t, Variant* out) {
    // The forms columns are stored in go straight into the variant, as on
    // the embedded engine: a walk reads every column of every row this way.
    if (m_result && m_row >= 0 && m_row < m_rows && FastInto(i, t, out)) return;
    Value v = Column(i, t);
    if (v.kind == Value::Kind::Null) return out->SetNull();
    if (v.kind == Value::Kind::Int &&
        ((t.kind == TypeKind::Int && (v.i < INT32_MIN || v.i > INT32_MAX)) ||
         (t.kind == TypeKind::SmallInt && (v.i < INT16_MIN || v.i > INT16_MAX)) ||
         (t.kind == TypeKind::TinyInt && (v.i < 0 || v.i > 255)))) {
        throw ComError(
            DB_E_ERRORSINCOMMAND,
            std::string("Arithmetic overflow error converting expression to data type ") +
                (t.kind == TypeKind::Int        ? "int"
                 : t.kind == TypeKind::SmallInt ? "smallint"
                                                : "tinyint") +
                ".");
    }
    *out = ToVariant(v, t);
}

bool PgStatement::FastInto(int i, const TypeSpec& t, Variant* out) {
    if (PQgetisnull(m_result, m_row, i)) {
        out->SetNull();
        return true;
    }
    const char* p = PQgetvalue(m_result, m_row, i);
    const int len = PQgetlength(m_result, m_row, i);
    const Oid type = PQftype(m_result, i);
    double d = 0;
    const bool real = type == kFloat8 && len == 8;
    if (real) {
        const uint64_t bits = ReadBig(p, 8);
        std::memcpy(&d, &bits, 8);
    }
    switch (t.kind) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
        case TypeKind::SmallInt:
        case TypeKind::Int:
        case TypeKind::BigInt: {
            if (!(type == kInt2 && len == 2) && !(type == kInt4 && len == 4) &&
                !(type == kInt8 && len == 8))
                return false;
            const int64_t v = type == kInt2   ? static_cast<int16_t>(ReadBig(p, 2))
                              : type == kInt4 ? static_cast<int32_t>(ReadBig(p, 4))
                                              : static_cast<int64_t>(ReadBig(p, 8));
            switch (t.kind) {
                case TypeKind::Bit:
                    out->SetInt(VT_BOOL, v != 0 ? -1 : 0);
                    return true;
                case TypeKind::TinyInt:
                    if (v < 0 || v > 255) return false;  // the general way names the overflow
                    out->SetInt(VT_UI1, static_cast<uint8_t>(v));
                    return true;
                case TypeKind::SmallInt:
                    if (v < INT16_MIN || v > INT16_MAX) return false;
                    out->SetInt(VT_I2, static_cast<int16_t>(v));
                    return true;
                case TypeKind::Int:
                    if (v < INT32_MIN || v > INT32_MAX) return false;
                    out->SetInt(VT_I4, static_cast<int32_t>(v));
                    return true;
                default:
                    out->SetInt(VT_I8, v);
                    return true;
            }
        }
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            if (type != kInt8 || len != 8) return false;
            out->SetInt(VT_CY, static_cast<int64_t>(ReadBig(p, 8)));
            return true;
        case TypeKind::Float:
            if (!real) return false;
            out->SetReal(VT_R8, d);
            return true;
        case TypeKind::Real:
            if (!real) return false;
            out->SetReal(VT_R4, static_cast<float>(d));
            return true;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            if (!real) return false;
            out->SetReal(VT_DATE, d);
            return true;
        case TypeKind::VarChar:
        case TypeKind::Text:
            if (type != kText && type != kVarchar) return false;
            out->SetText(std::string_view(p, static_cast<size_t>(len)));
            return true;
        default:
            return false;  // CHAR (padded the general way), decimals, binary
    }
}

void PgStatement::RawInto(int i, Variant* out) {
    Value v = Raw(i);
    switch (v.kind) {
        case Value::Kind::Null:
            return out->SetNull();
        case Value::Kind::Int:
            return out->SetInt(VT_I8, v.i);
        case Value::Kind::Real:
            return out->SetReal(VT_R8, v.d);
        case Value::Kind::Text:
            return out->SetText(v.s);
        case Value::Kind::Blob:
            *out = Variant::Bytes(v.s.data(), v.s.size());
            return;
    }
}

void PgStatement::RowInto(int first, size_t keys, const std::vector<TypeSpec>& types,
                          const std::vector<uint8_t>* columns, SourceRow* row) {
    ReadSourceRow(*this, first, keys, types, columns, row);
}

// ---- the backend ----------------------------------------------------------

namespace {

// The schema of a T-SQL database: master is the interpreter's "main", a
// session's tempdb PostgreSQL's own temporary schema, any other database its
// name in upper case.
std::string SchemaOf(std::string_view database) {
    if (IEquals(database, "master")) return "main";
    if (IEquals(database, "tempdb")) return "pg_temp";
    return ToUpper(database);
}

bool IsSystemDatabase(std::string_view name) {
    return IEquals(name, "master") || IEquals(name, "tempdb") || IEquals(name, "model") ||
           IEquals(name, "msdb");
}

// The parts of an engine message: SQLSTATE, text, then the names the server
// gave with it (schema, table, column, constraint).
struct Reported {
    std::string state, text, schema, table, column, constraint;
};

Reported Parse(const EngineError& e) {
    Reported r;
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        size_t sep = e.message.find('\x1f', at);
        parts.push_back(e.message.substr(at, sep == std::string::npos ? sep : sep - at));
        if (sep == std::string::npos) break;
        at = sep + 1;
    }
    const std::string& head = parts[0];
    r.state = head.substr(0, 5);
    r.text = head.size() > 6 ? head.substr(6) : head;
    if (parts.size() > 4) {
        r.schema = parts[1];
        r.table = parts[2];
        r.column = parts[3];
        r.constraint = parts[4];
    }
    return r;
}

}  // namespace

PgBackend::PgBackend(PgLink& link) : m_link(link), m_catalog(link) {}

PgBackend::~PgBackend() { DropGlobalTables(); }

void PgBackend::Open(BackendHost& host) {
    m_host = &host;
    m_databases["main"] = "master";
    m_databases["pg_temp"] = "tempdb";
    InstallFunctions(m_link);
    Configure();
    if (!m_catalog.HasCatalog("main")) {
        // A server used for the first time: one session makes master's
        // catalog, the others wait for it.
        Exec("BEGIN");
        try {
            Exec("SELECT pg_advisory_xact_lock(7478012)");
            m_catalog.InitDatabase("main");
            Exec("COMMIT");
        } catch (...) {
            m_link.TryExec("ROLLBACK");
            m_catalog.InvalidateAll();
            throw;
        }
    }
}

std::unique_ptr<engine::Statement> PgBackend::Prepare(const std::string& sql) {
    return std::make_unique<PgStatement>(*this, sql);
}

void PgBackend::Exec(const std::string& sql) { m_link.Exec(sql); }

// The functions that take an object name read it in the current database.
bool PgBackend::SyncSchema(EngineError* error) {
    const std::string schema = m_host->CurrentSchema();
    if (schema == m_functionSchema) return true;
    if (!m_link.TryExec(
            "SELECT pg_catalog.set_config('xr.schema', " + QuoteText(schema) + ", false)", error))
        return false;
    m_functionSchema = schema;
    return true;
}

void PgBackend::Ran(int64_t changes, bool inserted, int64_t lastId) {
    m_changes = changes;
    m_totalChanges += changes;
    ++m_writes;
    if (inserted && changes > 0) m_lastInsertId = lastId;
}

ComError PgBackend::MapError(const EngineError& error, std::string_view sql,
                             const std::string& database) {
    if (error.code == kSchemaMoved) {
        // Met outside a statement that could run again (a recordset's read):
        // the next batch reads the catalog afresh.
        m_ddlUndone = true;
        return ComError(DB_E_ERRORSINCOMMAND, kSchemaChangedText);
    }
    const Reported r = Parse(error);
    const std::string& s = r.state;
    // Two sessions changing the same object's definition at once: the one
    // that lost ran nothing and may simply run again.
    if (s == "XX000" && r.text.find("tuple concurrently") != std::string::npos)
        return ComError(DB_E_ERRORSINCOMMAND, kSchemaChangedText);
    if (s == "23505")
        return ComError(DB_E_INTEGRITYVIOLATION, DuplicateKeyMessage(r.constraint, r.schema));
    if (s == "23502") {
        const bool update = sql.rfind("UPDATE", 0) == 0;
        return ComError(DB_E_INTEGRITYVIOLATION, "Cannot insert the value NULL into column '" +
                                                     r.column + "', table '" + database + ".dbo." +
                                                     r.table + "'; column does not allow nulls. " +
                                                     (update ? "UPDATE" : "INSERT") + " fails.");
    }
    if (s == "23503" || s == "23514") {
        // The statement as the server names it; a foreign key's trigger says
        // which operation it caught when the statement's text does not.
        std::string statement = r.text.rfind("The ", 0) == 0 ? r.text.substr(4) : "INSERT";
        statement = statement.substr(0, statement.find(' '));
        for (const char* verb : {"INSERT", "UPDATE", "DELETE"}) {
            if (sql.rfind(verb, 0) == 0 || (sql.rfind(kKeptInsert, 0) == 0 && verb[0] == 'I'))
                statement = verb;
        }
        std::string text;
        try {
            text = m_catalog.ConflictMessage(r.schema, r.constraint, statement, database);
        } catch (const ComError&) {
        }
        if (!text.empty()) return ComError(DB_E_INTEGRITYVIOLATION, text);
    }
    if (s == "23503")
        return ComError(DB_E_INTEGRITYVIOLATION,
                        "The statement conflicted with the FOREIGN KEY constraint \"" +
                            r.constraint + "\". The conflict occurred in database \"" + database +
                            "\", table \"dbo." + r.table + "\".");
    if (s == "23514")
        return ComError(DB_E_INTEGRITYVIOLATION,
                        "The statement conflicted with the CHECK constraint \"" + r.constraint +
                            "\". The conflict occurred in database \"" + database +
                            "\", table \"dbo." + r.table + "\".");
    if (s == "42501") {
        std::string denied = PermissionDenied(r.text, sql, database);
        if (!denied.empty()) return ComError(DB_SEC_E_PERMISSIONDENIED, denied);
    }
    if (s == "22012") return ComError(DB_E_ERRORSINCOMMAND, "Divide by zero error encountered.");
    if (s == "22003" && r.text.rfind("Arithmetic overflow error", 0) == 0)
        return ComError(DB_E_ERRORSINCOMMAND, r.text);
    if (s == "22003") {
        const char* type = r.text.find("smallint") != std::string::npos  ? "smallint"
                           : r.text.find("bigint") != std::string::npos  ? "bigint"
                           : r.text.find("integer") != std::string::npos ? "int"
                                                                         : "numeric";
        return ComError(
            DB_E_ERRORSINCOMMAND,
            std::string("Arithmetic overflow error converting expression to data type ") + type +
                ".");
    }
    if (s == "40001" || s == "40P01")
        return ComError(E_FAIL_,
                        "Transaction (Process ID " + std::to_string(PQbackendPID(m_link.Handle())) +
                            ") was deadlocked on lock resources with another process and has been "
                            "chosen as the deadlock victim. Rerun the transaction.");
    if (s == "42P01") {
        // relation "X" does not exist
        size_t a = r.text.find('"'), b = r.text.rfind('"');
        std::string name =
            a != std::string::npos && b > a ? r.text.substr(a + 1, b - a - 1) : r.text;
        return ComError(DB_E_ERRORSINCOMMAND, "Invalid object name '" + name + "'.");
    }
    if (s == "42703") {
        size_t a = r.text.find('"'), b = r.text.find('"', a + 1);
        std::string name =
            a != std::string::npos && b > a ? r.text.substr(a + 1, b - a - 1) : r.text;
        if (size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
        return ComError(DB_E_ERRORSINCOMMAND, "Invalid column name '" + name + "'.");
    }
    if (s.rfind("08", 0) == 0 || s == "57P01" || s == "57P02" || s == "57P03" || !m_link.Alive())
        return ComError(E_FAIL_, PgLink::LostText(r.text));
    if (s == "57014") return ComError(E_FAIL_, "The statement was cancelled: " + r.text);
    if (s == "55P03") return ComError(E_FAIL_, "The database is busy: " + r.text);
    return ComError(DB_E_ERRORSINCOMMAND, r.text);
}

std::string PgBackend::DuplicateKeyMessage(const std::string& constraint,
                                           const std::string& schema) {
    const IndexDef* ix = nullptr;
    const TableDef* t = nullptr;
    try {
        // A table of tempdb is reported in the connection's own temporary schema.
        t = m_catalog.TableOfIndex(schema.rfind("pg_temp_", 0) == 0 ? "pg_temp" : schema,
                                   constraint, &ix);
    } catch (const ComError&) {
    }
    if (!t || !ix) return "Cannot insert duplicate key row in object '" + constraint + "'.";
    if (ix->primaryKey || ix->uniqueKey)
        return std::string("Violation of ") + (ix->primaryKey ? "PRIMARY" : "UNIQUE") +
               " KEY constraint '" + ix->name + "'. Cannot insert duplicate key in object 'dbo." +
               t->name + "'.";
    return "Cannot insert duplicate key row in object 'dbo." + t->name + "' with unique index '" +
           ix->name + "'.";
}

// ---- transactions ---------------------------------------------------------

bool PgBackend::InTransaction() {
    return PQtransactionStatus(m_link.Handle()) != PQTRANS_IDLE &&
           PQtransactionStatus(m_link.Handle()) != PQTRANS_UNKNOWN;
}

void PgBackend::BeginTransaction() {
    Exec("BEGIN");
    m_openedBy.clear();
}

// A COMMIT that fails has undone the transaction on PostgreSQL.
void PgBackend::Commit() {
    try {
        Exec(CommitSql());
    } catch (...) {
        TransactionEnded(true);
        throw;
    }
    TransactionEnded(false);
}

void PgBackend::Rollback() {
    TempRolledBack();
    TransactionEnded(true);
    Exec("ROLLBACK");
}

bool PgBackend::AbandonTransaction() {
    TempRolledBack();
    TransactionEnded(true);
    return m_link.TryExec("ROLLBACK");
}

// A savepoint outside a transaction begins one, which its release commits,
// as on the embedded engine.
void PgBackend::Savepoint(const char* name) {
    if (!InTransaction()) {
        Exec(std::string("BEGIN; SAVEPOINT ") + name);
        m_openedBy = name;
        return;
    }
    // Taken with the statement's first round trip, and released with the
    // next one after it: a DDL step's bookkeeping needs none of its own.
    m_link.Defer(std::string("SAVEPOINT ") + name);
}

void PgBackend::ReleaseSavepoint(const char* name) {
    if (m_openedBy == name) return Commit();
    if (PQtransactionStatus(m_link.Handle()) == PQTRANS_INERROR) {
        Exec(std::string("RELEASE ") + name);  // fails now, as it must
        return;
    }
    m_link.Defer(std::string("RELEASE ") + name);
}

bool PgBackend::TryReleaseSavepoint(const char* name) {
    if (m_openedBy == name) {
        const bool committed = m_link.TryExec(CommitSql());
        TransactionEnded(!committed);
        return committed;
    }
    return m_link.TryExec(std::string("RELEASE ") + name);
}

bool PgBackend::RollbackToSavepoint(const char* name) {
    TempRolledBack();
    if (m_openedBy == name) return AbandonTransaction();
    if (m_ddlInTransaction) m_ddlUndone = true;
    return m_link.TryExec(std::string("ROLLBACK TO ") + name + "; RELEASE " + name);
}

// ---- databases ------------------------------------------------------------

std::string PgBackend::Attach(std::string_view database) {
    if (database.empty()) return m_host->CurrentSchema();
    if (database == tsql::kGlobalTempDatabase) return AttachGlobal();
    const std::string schema = SchemaOf(database);
    if (m_databases.count(schema)) {
        if (schema == "pg_temp") m_catalog.InitDatabase(schema);
        return schema;
    }
    if (IsSystemDatabase(database))
        Fail("Database '" + std::string(database) + "' is not available on this server.");
    if (!m_catalog.HasCatalog(schema))
        Fail("Database '" + std::string(database) +
             "' does not exist. Make sure that the name is entered correctly.");
    m_databases[schema] = ToUpper(database);
    return schema;
}

std::string PgBackend::DatabaseName(const std::string& schema) {
    auto it = m_databases.find(schema);
    return it == m_databases.end() ? schema : it->second;
}

void PgBackend::CreateDatabase(const std::string& name) {
    if (InTransaction())
        Fail("CREATE DATABASE statement not allowed within multi-statement transaction.");
    if (name.empty() || name.size() > 63 ||
        name.find_first_of("/\\:*?\"<>|") != std::string::npos) {
        Fail("'" + name + "' is not a valid database name.");
    }
    const std::string schema = SchemaOf(name);
    if (IsSystemDatabase(name) || m_catalog.HasCatalog(schema))
        Fail("Database '" + name + "' already exists. Choose a different database name.");
    // The schema and its catalog appear together or not at all.
    Exec("BEGIN");
    try {
        // Another session may have made it since the look above.
        m_catalog.Serialize(schema);
        if (m_catalog.HasCatalog(schema))
            Fail("Database '" + name + "' already exists. Choose a different database name.");
        Exec("CREATE SCHEMA " + Quote(schema));
        m_catalog.InitDatabase(schema);
        Exec("COMMIT");
    } catch (...) {
        m_link.TryExec("ROLLBACK");
        m_catalog.InvalidateAll();
        throw;
    }
    m_databases[schema] = ToUpper(name);
}

void PgBackend::DropDatabase(const std::string& name) {
    if (InTransaction()) Fail("DROP DATABASE statement cannot be used inside a user transaction.");
    if (IsSystemDatabase(name))
        Fail("Cannot drop the database '" + name + "', because it is a system database.");
    const std::string schema = SchemaOf(name);
    if (schema == m_host->CurrentSchema())
        Fail("Cannot drop database \"" + name + "\" because it is currently in use.");
    if (!m_catalog.HasCatalog(schema))
        Fail("Cannot drop the database '" + name +
             "', because it does not exist or you do not have permission.");
    m_host->Closing(schema);
    Exec("DROP SCHEMA " + Quote(schema) + " CASCADE");
    m_databases.erase(schema);
    m_catalog.InvalidateAll();
}

// Moves with this session's writes and commands (DDL, savepoints, ...)
// and with other sessions' committed writes, which arrive as notifications
// on the socket: no round trip, so that a recordset's window of rows read
// ahead serves a walk until something changed. Writes made by other clients
// than this library are not seen until this session's next own statement.
uint64_t PgBackend::DataMark(const std::string&) {
    if (m_link.OthersWrote()) ++m_othersWrote;
    return m_writes + m_othersWrote + m_link.Commands();
}

// Another session's DDL is caught by each statement's check (RunChecked);
// this session's own DDL undone by a rollback is caught here.
bool PgBackend::SchemaChanged() {
    // Other sessions' announcements are taken at every batch too, so that
    // libpq's queue of them never grows in a session that opens no recordset.
    if (m_link.OthersWrote()) ++m_othersWrote;
    // The session's own tempdb also changes by its catalog's work the
    // interpreter was not told of (a batch's table variables going).
    bool changed = m_ddlUndone || m_tempUndone || m_catalog.TempVersion() != m_tempSeen;
    m_ddlUndone = false;
    m_tempUndone = false;
    if (m_generation != m_link.Generation()) {
        // The connection was opened again: a new session on the server,
        // with a tempdb of its own, empty.
        Configure();
        m_openedBy.clear();
        m_ddlInTransaction = false;
        m_functionSchema.clear();
        m_catalog.ForgetTemp();
        m_globalMade.clear();  // the old session's: dropped as a dead session's
        m_databases.erase(kGlobalTempSchema);
        changed = true;
    }
    m_tempSeen = m_catalog.TempVersion();
    return changed;
}

void PgBackend::Configure() {
    m_generation = m_link.Generation();
    PGresult* r = PQprepare(m_link.Handle(), kCheckStatement,
                            "SELECT 1 / (CASE WHEN v = $1::bigint THEN 1 ELSE 0 END) FROM xr.ddl",
                            1, nullptr);
    PQclear(r);
    ReadSchemaMark();
}

// The catalog moved the schema mark with the DDL (Catalog's Touch).
void PgBackend::OwnSchemaChange(const std::string& schema) {
    if (schema == "pg_temp") m_tempSeen = m_catalog.TempVersion();
    if (InTransaction()) m_ddlInTransaction = true;
}

void PgBackend::ForgetSchemaVersions() { ReadSchemaMark(); }

// A mark that cannot be read (the transaction failed) is one no check
// matches: the next statement is rendered afresh.
void PgBackend::ReadSchemaMark() {
    try {
        auto rows = m_link.Select("SELECT v FROM xr.ddl");
        m_link.SetSchemaMark(rows.empty() ? -1 : std::stoll(rows[0][0]));
    } catch (const ComError&) {
        m_link.SetSchemaMark(-1);
    }
}

// A transaction that wrote tells the other sessions as it commits.
std::string PgBackend::CommitSql() const {
    return m_wroteInTransaction ? std::string(kNotifyWrites) + "; COMMIT" : "COMMIT";
}

void PgBackend::TransactionEnded(bool undone) {
    m_openedBy.clear();
    m_wroteInTransaction = false;
    if (undone && m_ddlInTransaction) m_ddlUndone = true;
    m_ddlInTransaction = false;
}

bool PgBackend::SystemTable(const std::string& schema, const std::string& name, TableDef* out) {
    if (!SystemView(m_link, name, schema, DatabaseName(schema), out)) return false;
    AddGlobalTables(schema, name, out);
    return true;
}

// ---- the dialect ----------------------------------------------------------

Plan PgBackend::RenderSelect(const SelectStmt& select, RenderContext& ctx) {
    return postgres::RenderSelect(select, ctx);
}
Plan PgBackend::RenderInsert(const Stmt& stmt, RenderContext& ctx) {
    return postgres::RenderInsert(stmt, ctx);
}
Plan PgBackend::RenderUpdate(const Stmt& stmt, RenderContext& ctx) {
    return postgres::RenderUpdate(stmt, ctx);
}
Plan PgBackend::RenderDelete(const Stmt& stmt, RenderContext& ctx) {
    return postgres::RenderDelete(stmt, ctx);
}
Plan PgBackend::RenderScalar(const Expr& expr, RenderContext& ctx) {
    return postgres::RenderScalar(expr, ctx);
}
Plan PgBackend::RenderCondition(const Expr& condition, RenderContext& ctx) {
    return postgres::RenderCondition(condition, ctx);
}
Plan PgBackend::RenderView(const SelectStmt& select, RenderContext& ctx) {
    return postgres::RenderView(select, ctx);
}
std::string PgBackend::RenderIndexFilter(const Expr& condition, const TableDef& table,
                                         RenderContext& ctx) {
    return postgres::RenderIndexFilter(condition, table, ctx);
}
std::string PgBackend::InlineValue(const Value& v) { return postgres::InlineValue(v); }
std::string PgBackend::QuoteIdent(std::string_view name) { return Quote(name); }
std::string PgBackend::Parameter(int n) { return "$" + std::to_string(n); }

// A NULL goes out as text: cast, it fits a column of any type.
std::string PgBackend::ColumnParameter(int n, const TypeSpec& t) {
    if (t.IsText() || t.kind == TypeKind::Unknown) return Parameter(n);
    return Parameter(n) + "::" + StorageType(t);
}
std::string PgBackend::CountedIdentity(const std::string&, const TableDef&) { return {}; }
std::string PgBackend::RowId(const std::string& alias) {
    return alias.empty() ? "\"xr_rowid\"" : alias + ".\"xr_rowid\"";
}

}  // namespace xr::engine::postgres
