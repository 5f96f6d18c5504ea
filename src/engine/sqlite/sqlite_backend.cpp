#include "engine/sqlite/sqlite_backend.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

#include "engine/sqlite/catalog_views.h"
#include "engine/sqlite/renderer.h"
#include "engine/sqlite/server.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

// What is wrong with a database file, from the engine's message.
std::string FileFault(const std::string& why) {
    if (why.find("not a database") != std::string::npos ||
        why.find("malformed") != std::string::npos) {
        return "is damaged (" + why + ").";
    }
    return "cannot be used (" + why + ").";
}

}  // namespace

// ---- statements -----------------------------------------------------------

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_st); }

void SqliteStatement::BindNull(int i) { sqlite3_bind_null(m_st, i); }
void SqliteStatement::BindInt(int i, int64_t v) { sqlite3_bind_int64(m_st, i, v); }
void SqliteStatement::BindReal(int i, double v) { sqlite3_bind_double(m_st, i, v); }

void SqliteStatement::Bind(int i, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            sqlite3_bind_null(m_st, i);
            break;
        case Value::Kind::Int:
            sqlite3_bind_int64(m_st, i, v.i);
            break;
        case Value::Kind::Real:
            sqlite3_bind_double(m_st, i, v.d);
            break;
        case Value::Kind::Text:
            sqlite3_bind_text(m_st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Blob:
            sqlite3_bind_blob(m_st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
    }
}

void SqliteStatement::BindTextRef(int i, std::string_view text) {
    sqlite3_bind_text(m_st, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void SqliteStatement::BindBlobRef(int i, std::string_view bytes) {
    sqlite3_bind_blob(m_st, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
}

void SqliteStatement::ClearBindings() { sqlite3_clear_bindings(m_st); }

engine::Statement::Step SqliteStatement::Next() {
    int rc = sqlite3_step(m_st);
    if (rc == SQLITE_ROW) return Step::Row;
    if (rc == SQLITE_DONE) return Step::Done;
    m_error.message = sqlite3_errmsg(m_db);
    m_error.code = sqlite3_extended_errcode(m_db);
    sqlite3_reset(m_st);
    return Step::Failed;
}

void SqliteStatement::Reset() { sqlite3_reset(m_st); }
int SqliteStatement::ColumnCount() const { return sqlite3_column_count(m_st); }
bool SqliteStatement::IsNull(int i) { return sqlite3_column_type(m_st, i) == SQLITE_NULL; }
int64_t SqliteStatement::Int(int i) { return sqlite3_column_int64(m_st, i); }

Value SqliteStatement::Column(int i, const TypeSpec& type) {
    switch (sqlite3_column_type(m_st, i)) {
        case SQLITE_INTEGER: {
            int64_t v = sqlite3_column_int64(m_st, i);
            if (type.kind == TypeKind::DateTime || type.kind == TypeKind::SmallDateTime ||
                type.kind == TypeKind::Float || type.kind == TypeKind::Real ||
                (type.kind == TypeKind::Decimal && !type.IsScaled())) {
                return Value::Real(static_cast<double>(v));
            }
            return Value::Int(v);
        }
        case SQLITE_FLOAT:
            return Value::Real(sqlite3_column_double(m_st, i));
        case SQLITE_TEXT:
            return Value::Text(
                std::string(reinterpret_cast<const char*>(sqlite3_column_text(m_st, i)),
                            static_cast<size_t>(sqlite3_column_bytes(m_st, i))));
        case SQLITE_BLOB: {
            const void* p = sqlite3_column_blob(m_st, i);
            int n = sqlite3_column_bytes(m_st, i);
            return Value::Blob(p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n))
                                 : std::string());
        }
        default:
            return Value::Null();
    }
}

// A field value straight from the engine's column, written in place, for
// the forms the layer stores (one copy of a text, none of a number); anything
// else goes the general way through ToVariant.
void SqliteStatement::ColumnInto(int i, const TypeSpec& t, Variant* out) {
    // One call into the statement per field; the value's own accessors are
    // cheap.
    sqlite3_value* value = sqlite3_column_value(m_st, i);
    int ct = sqlite3_value_type(value);
    if (ct == SQLITE_NULL) return out->SetNull();
    switch (t.kind) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
        case TypeKind::SmallInt:
        case TypeKind::Int:
        case TypeKind::BigInt:
            if (ct == SQLITE_INTEGER) {
                int64_t v = sqlite3_value_int64(value);
                // A sum or product SQLite worked out in 64 bits that the
                // column's type cannot hold is the server's overflow, not a
                // value cut to fit.
                if ((t.kind == TypeKind::Int && (v < INT32_MIN || v > INT32_MAX)) ||
                    (t.kind == TypeKind::SmallInt && (v < INT16_MIN || v > INT16_MAX)) ||
                    (t.kind == TypeKind::TinyInt && (v < 0 || v > 255)))
                    throw ComError(DB_E_ERRORSINCOMMAND,
                                   std::string("Arithmetic overflow error converting expression "
                                               "to data type ") +
                                       (t.kind == TypeKind::Int        ? "int"
                                        : t.kind == TypeKind::SmallInt ? "smallint"
                                                                       : "tinyint") +
                                       ".");
                switch (t.kind) {
                    case TypeKind::Bit:
                        return out->SetInt(VT_BOOL, v != 0 ? -1 : 0);
                    case TypeKind::TinyInt:
                        return out->SetInt(VT_UI1, static_cast<uint8_t>(v));
                    case TypeKind::SmallInt:
                        return out->SetInt(VT_I2, static_cast<int16_t>(v));
                    case TypeKind::Int:
                        return out->SetInt(VT_I4, static_cast<int32_t>(v));
                    default:
                        return out->SetInt(VT_I8, v);
                }
            }
            break;
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            if (ct == SQLITE_INTEGER) return out->SetInt(VT_CY, sqlite3_value_int64(value));
            break;
        case TypeKind::Float:
            if (ct == SQLITE_INTEGER || ct == SQLITE_FLOAT)
                return out->SetReal(VT_R8, sqlite3_value_double(value));
            break;
        case TypeKind::Real:
            if (ct == SQLITE_INTEGER || ct == SQLITE_FLOAT) {
                return out->SetReal(VT_R4, static_cast<float>(sqlite3_value_double(value)));
            }
            break;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            if (ct == SQLITE_INTEGER || ct == SQLITE_FLOAT)
                return out->SetReal(VT_DATE, sqlite3_value_double(value));
            break;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Text:
            if (ct == SQLITE_TEXT) {
                const char* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
                size_t n = static_cast<size_t>(sqlite3_value_bytes(value));
                // A CHAR shorter than its length (written around the layer) is padded the general
                // way.
                if (t.kind != TypeKind::Char || n >= static_cast<size_t>(t.length)) {
                    return out->SetText(std::string_view(p, n));
                }
            }
            break;
        default:
            break;
    }
    *out = ToVariant(Column(i, t), t);
}

void SqliteStatement::RawInto(int i, Variant* out) {
    switch (sqlite3_column_type(m_st, i)) {
        case SQLITE_INTEGER:
            return out->SetInt(VT_I8, sqlite3_column_int64(m_st, i));
        case SQLITE_FLOAT:
            return out->SetReal(VT_R8, sqlite3_column_double(m_st, i));
        case SQLITE_TEXT:
            return out->SetText(
                std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(m_st, i)),
                                 static_cast<size_t>(sqlite3_column_bytes(m_st, i))));
        case SQLITE_BLOB:
            *out = Variant::Bytes(sqlite3_column_blob(m_st, i),
                                  static_cast<size_t>(sqlite3_column_bytes(m_st, i)));
            return;
        default:
            return out->SetNull();
    }
}

void SqliteStatement::RowInto(int first, size_t keys, const std::vector<TypeSpec>& types,
                              const std::vector<uint8_t>* columns, SourceRow* row) {
    ReadSourceRow(*this, first, keys, types, columns, row);
}

// ---- session functions ----------------------------------------------------

namespace {

SqliteBackend* BackendOf(sqlite3_context* ctx) {
    return static_cast<SqliteBackend*>(sqlite3_user_data(ctx));
}

std::string TextArg(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

// 'db..table', 'db.dbo.table', 'dbo.table', '[table]' -> schema and table.
std::pair<std::string, std::string> SplitObject(SqliteBackend* backend, const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    bool br = false;
    for (char c : text) {
        if (c == '[')
            br = true;
        else if (c == ']')
            br = false;
        else if (c == '.' && !br) {
            parts.push_back(cur);
            cur.clear();
        } else
            cur += c;
    }
    parts.push_back(cur);
    std::string schema = backend->Host().CurrentSchema();
    if (parts.size() >= 3 && !parts[0].empty()) schema = backend->Attach(parts[0]);
    return {schema, parts.back()};
}

// A catalog number looked up by an object name given as text ('db..t',
// 'dbo.t', '[t]'); NULL when there is none.
template <class Lookup>
void NumberByName(sqlite3_context* ctx, sqlite3_value* arg, Lookup lookup) {
    auto* backend = BackendOf(ctx);
    if (sqlite3_value_type(arg) == SQLITE_NULL) return sqlite3_result_null(ctx);
    try {
        auto [schema, name] = SplitObject(backend, TextArg(arg));
        if (auto v = lookup(backend->Tables(), schema, name)) return sqlite3_result_int64(ctx, *v);
    } catch (const ComError&) {
    }
    sqlite3_result_null(ctx);
}

void IdentCurrentFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    NumberByName(ctx, argv[0], [](Catalog& c, const std::string& schema, const std::string& table) {
        return c.IdentCurrent(schema, table);
    });
}

// xr_databases(): the server's databases as a JSON array of names, the
// system ones first in the order of their ids; read when the statement runs,
// so a database made by any connection is seen at once.
void DatabasesFn(sqlite3_context* ctx, int, sqlite3_value**) {
    std::vector<std::string> names = {"master", "tempdb", "model", "msdb"};
    for (std::string& db : BackendOf(ctx)->Databases()) {
        bool system = false;
        for (size_t i = 0; i < 4; ++i) system = system || IEquals(names[i], db);
        if (!system) names.push_back(std::move(db));
    }
    std::string json = "[";
    for (const std::string& n : names) {
        if (json.size() > 1) json += ",";
        json += "\"";
        for (char c : n) {
            if (c == '"' || c == '\\') json += '\\';
            json += c;
        }
        json += "\"";
    }
    json += "]";
    sqlite3_result_text(ctx, json.c_str(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

std::string JsonText(const std::string& text) {
    std::string json = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') json += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        json += c;
    }
    return json + "\"";
}

// xr_database_files(): the files of the server's databases as a JSON array
// of [dbid, fileid, logical name, path, size in 8-KB pages, 1 for a log],
// in the order of sysdatabases. A user database is its file and the file's
// write-ahead log. The system databases show the server's own file names in
// the data folder (scripts find the folder by looking for "master.mdf");
// the embedded engine keeps master in MASTER.db and the others nowhere.
void DatabaseFilesFn(sqlite3_context* ctx, int, sqlite3_value**) {
    SqliteBackend* backend = BackendOf(ctx);
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(backend->Folder(), ec);
    if (ec) folder = backend->Folder();
    const std::string dir = folder.lexically_normal().string();
    auto pages = [&](const std::string& file) {
        std::error_code e;
        const auto bytes = std::filesystem::file_size(file, e);
        return e ? 0 : static_cast<int64_t>((bytes + 8191) / 8192);
    };
    std::string json = "[";
    auto add = [&](int dbid, int fileid, const std::string& name, const std::string& path,
                   int64_t size, bool log) {
        if (json.size() > 1) json += ",";
        json += "[" + std::to_string(dbid) + "," + std::to_string(fileid) + "," + JsonText(name) +
                "," + JsonText(path) + "," + std::to_string(size) + "," + (log ? "1" : "0") + "]";
    };
    const std::string master = DatabaseFile(backend->Folder(), "MASTER");
    const char* const kSystem[4][4] = {{"master", "master.mdf", "mastlog", "mastlog.ldf"},
                                       {"tempdev", "tempdb.mdf", "templog", "templog.ldf"},
                                       {"modeldev", "model.mdf", "modellog", "modellog.ldf"},
                                       {"MSDBData", "MSDBData.mdf", "MSDBLog", "MSDBLog.ldf"}};
    for (int i = 0; i < 4; ++i) {
        add(i + 1, 1, kSystem[i][0], dir + "/" + kSystem[i][1], i == 0 ? pages(master) : 1, false);
        add(i + 1, 2, kSystem[i][2], dir + "/" + kSystem[i][3], i == 0 ? pages(master + "-wal") : 1,
            true);
    }
    int dbid = 5;
    for (const std::string& db : backend->Databases()) {
        const std::string file = dir + "/" + db + ".db";
        add(dbid, 1, db, file, pages(file), false);
        add(dbid, 2, db + "_log", file + "-wal", pages(file + "-wal"), true);
        ++dbid;
    }
    json += "]";
    sqlite3_result_text(ctx, json.c_str(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
}

// OBJECT_NAME(id [, database]): the database comes as its name (NULL for an
// id no database has). tempdb shows a #table by the padded name its catalog
// has for it.
void ObjectNameFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto* backend = BackendOf(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    try {
        const auto id = static_cast<int32_t>(sqlite3_value_int64(argv[0]));
        const std::string schema =
            argc > 1 ? backend->Attach(TextArg(argv[1])) : backend->Host().CurrentSchema();
        auto v = backend->Tables().ObjectName(schema, id);
        if (v && schema == kTempSchema && v->size() > 1 && (*v)[0] == '#' && (*v)[1] != '#' &&
            v->size() < 116) {
            char number[16];
            std::snprintf(number, sizeof number, "%012X", static_cast<unsigned>(id));
            *v += std::string(116 - v->size(), '_') + number;
        }
        if (v)
            sqlite3_result_text(ctx, v->c_str(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_result_null(ctx);
    } catch (const ComError&) {
        sqlite3_result_null(ctx);
    }
}

// xr_identity_next(schema, table id, seed, increment): the next value of an
// identity the catalog counts (ColumnDef::CountedIdentity), taken for good.
void IdentityNextFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    const std::string schema = QuoteIdent(TextArg(argv[0]));
    const std::string key = "ident:" + std::to_string(sqlite3_value_int64(argv[1]));
    const int64_t seed = sqlite3_value_int64(argv[2]);
    const int64_t step = sqlite3_value_int64(argv[3]);
    int64_t next = seed;
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT value FROM " + schema + ".xr_meta WHERE name = ?1";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    }
    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) next = sqlite3_column_int64(st, 0) + step;
    sqlite3_finalize(st);
    if (next > INT32_MAX || next < INT32_MIN) {
        return sqlite3_result_error(ctx,
                                    "Arithmetic overflow error converting IDENTITY to data type "
                                    "int.",
                                    -1);
    }
    sql = "INSERT OR REPLACE INTO " + schema + ".xr_meta (name, value) VALUES (?1, ?2)";
    st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    }
    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, next);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    sqlite3_result_int64(ctx, next);
}

void NonZeroFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    int t = sqlite3_value_type(v);
    if ((t == SQLITE_INTEGER && sqlite3_value_int64(v) == 0) ||
        (t == SQLITE_FLOAT && sqlite3_value_double(v) == 0.0)) {
        sqlite3_result_error(ctx, "Divide by zero error encountered.", -1);
        return;
    }
    sqlite3_result_value(ctx, v);
}

// xr_top(n): the row count of TOP n, which may not be negative (SQLite
// would read a negative LIMIT as none).
void TopFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_error(ctx,
                             "The number of rows provided for a TOP or FETCH clauses row count "
                             "parameter must be an integer.",
                             -1);
        return;
    }
    if (sqlite3_value_int64(argv[0]) < 0) {
        sqlite3_result_error(ctx, "A TOP N or FETCH rows count value may not be negative.", -1);
        return;
    }
    sqlite3_result_value(ctx, argv[0]);
}

// xr_top_percent(p, rows): the rows TOP p PERCENT takes of `rows`, a part
// of a row counting as a whole one.
void TopPercentFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const double p = sqlite3_value_double(argv[0]);
    if (p < 0 || p > 100) {
        sqlite3_result_error(ctx, "Percent values must be between 0 and 100.", -1);
        return;
    }
    const double rows = static_cast<double>(sqlite3_value_int64(argv[1])) * p / 100.0;
    sqlite3_result_int64(ctx, static_cast<int64_t>(std::ceil(rows)));
}

// xr_recursion(level, max): the level of a recursive common table's row,
// which may not pass the statement's limit.
void RecursionFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int64_t level = sqlite3_value_int64(argv[0]);
    const int64_t max = sqlite3_value_int64(argv[1]);
    if (level > max) {
        const std::string message = "The statement terminated. The maximum recursion " +
                                    std::to_string(max) +
                                    " has been exhausted before statement completion.";
        sqlite3_result_error(ctx, message.c_str(), -1);
        return;
    }
    sqlite3_result_int64(ctx, level);
}

void RightFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        return sqlite3_result_null(ctx);
    }
    std::string s = TextArg(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    if (n < 0) {
        sqlite3_result_error(ctx, "Invalid length parameter passed to the right function.", -1);
        return;
    }
    if (static_cast<size_t>(n) < s.size()) s = s.substr(s.size() - static_cast<size_t>(n));
    sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

}  // namespace

// ---- the backend ----------------------------------------------------------

SqliteBackend::SqliteBackend(sqlite3* handle, std::string folder)
    : m_db(handle), m_folder(std::move(folder)), m_catalog(handle) {}

SqliteBackend::~SqliteBackend() {
    DropGlobalTables();
    DropVersionStatements();
}

void SqliteBackend::Open(BackendHost& host) {
    m_host = &host;
    sqlite3_create_function(m_db, "xr_ident_current", 1, SQLITE_UTF8, this, IdentCurrentFn, nullptr,
                            nullptr);
    RegisterCatalogFunctions(m_db, this);
    sqlite3_create_function(m_db, "xr_databases", 0, SQLITE_UTF8, this, DatabasesFn, nullptr,
                            nullptr);
    sqlite3_create_function(m_db, "xr_database_files", 0, SQLITE_UTF8, this, DatabaseFilesFn,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_object_name", 1, SQLITE_UTF8, this, ObjectNameFn, nullptr,
                            nullptr);
    sqlite3_create_function(m_db, "xr_object_name", 2, SQLITE_UTF8, this, ObjectNameFn, nullptr,
                            nullptr);
    sqlite3_create_function(m_db, "xr_identity_next", 4, SQLITE_UTF8, nullptr, IdentityNextFn,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_nonzero", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            NonZeroFn, nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_top", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, TopFn,
                            nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_top_percent", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            TopPercentFn, nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_recursion", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            RecursionFn, nullptr, nullptr);
    sqlite3_create_function(m_db, "xr_right", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            RightFn, nullptr, nullptr);
    m_catalog.InitDatabase("main");
    // tempdb is private to the connection and held in memory: its #tables are
    // seen by every batch of the session, never reach a file and end with it.
    // It is opened up front, as an attach is refused inside a transaction.
    AttachFile(":memory:", kTempSchema, "tempdb");
    m_attached[kTempSchema] = "tempdb";
    m_catalog.InitDatabase(kTempSchema);
    // Databases already on the server are opened up front: a file cannot be
    // attached inside a transaction.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() < 4 || name.substr(name.size() - 3) != ".db") continue;
        std::string db = name.substr(0, name.size() - 3);
        if (IEquals(db, "MASTER") || db != ToUpper(db)) continue;
        try {
            Attach(db);
        } catch (const ComError&) {
            // a file that does not open is reported when it is used
        }
        if (m_attached.size() >= 9) break;
    }
}

std::vector<std::string> SqliteBackend::Databases() const {
    std::vector<std::string> databases;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, ec)) {
        std::string file = entry.path().filename().string();
        if (file.size() < 4 || file.substr(file.size() - 3) != ".db") continue;
        std::string db = file.substr(0, file.size() - 3);
        if (db == ToUpper(db) && !IEquals(db, "MASTER")) databases.push_back(std::move(db));
    }
    std::sort(databases.begin(), databases.end());
    return databases;
}

sqlite3_stmt* SqliteBackend::PrepareRaw(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        EngineError e{rc, sqlite3_errmsg(m_db)};
        sqlite3_finalize(st);
        throw MapError(e, {}, {});
    }
    return st;
}

std::unique_ptr<engine::Statement> SqliteBackend::Prepare(const std::string& sql) {
    return std::make_unique<SqliteStatement>(m_db, PrepareRaw(sql));
}

void SqliteBackend::Exec(const std::string& sql) {
    char* msg = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errmsg(m_db);
        sqlite3_free(msg);
        Fail(text);
    }
}

ComError SqliteBackend::MapError(const EngineError& error, std::string_view sql,
                                 const std::string& database) {
    const int rc = error.code;
    const std::string& msg = error.message;
    int primary = rc & 0xff;
    if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        return ComError(DB_E_INTEGRITYVIOLATION, DuplicateKeyMessage(msg));
    }
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY || rc == SQLITE_CONSTRAINT_CHECK) {
        return ComError(DB_E_INTEGRITYVIOLATION,
                        m_catalog.ConflictMessage(rc == SQLITE_CONSTRAINT_CHECK, msg, sql));
    }
    if (rc == SQLITE_CONSTRAINT_NOTNULL) {
        std::string what = msg.substr(msg.find(':') == std::string::npos ? 0 : msg.find(':') + 2);
        size_t dot = what.find('.');
        std::string table = dot == std::string::npos ? what : what.substr(0, dot);
        std::string column = dot == std::string::npos ? what : what.substr(dot + 1);
        bool update = sql.rfind("UPDATE", 0) == 0;
        return ComError(DB_E_INTEGRITYVIOLATION, "Cannot insert the value NULL into column '" +
                                                     column + "', table '" + database + ".dbo." +
                                                     table + "'; column does not allow nulls. " +
                                                     (update ? "UPDATE" : "INSERT") + " fails.");
    }
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        return ComError(E_FAIL_, "The database is busy: " + msg);
    }
    if (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR ||
        primary == SQLITE_FULL || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        return ComError(E_FAIL_, msg);
    }
    // SQLite's sum() of 64-bit integers that leaves their range.
    if (msg == "integer overflow") {
        return ComError(DB_E_ERRORSINCOMMAND,
                        "Arithmetic overflow error converting expression to data type bigint.");
    }
    return ComError(DB_E_ERRORSINCOMMAND, msg);
}

namespace {

std::optional<std::string> IndexMessage(const TableDef& t, const std::vector<std::string>& cols) {
    auto same = [&](const IndexDef& ix) {
        if (ix.columns.size() != cols.size()) return false;
        for (size_t i = 0; i < cols.size(); ++i) {
            if (!IEquals(ix.columns[i], cols[i])) return false;
        }
        return true;
    };
    for (const IndexDef& ix : t.indexes) {
        if (!same(ix) || !ix.unique) continue;
        if (ix.primaryKey || ix.uniqueKey) {
            return std::string("Violation of ") + (ix.primaryKey ? "PRIMARY" : "UNIQUE") +
                   " KEY constraint '" + ix.name +
                   "'. Cannot insert duplicate key in object 'dbo." + t.name + "'.";
        }
        return "Cannot insert duplicate key row in object 'dbo." + t.name +
               "' with unique index '" + ix.name + "'.";
    }
    if (const ColumnDef* id = t.IdentityColumn();
        id && cols.size() == 1 && IEquals(id->name, cols[0])) {
        return "Cannot insert duplicate key row in object 'dbo." + t.name +
               "' with unique index on the identity column '" + id->name + "'.";
    }
    return std::nullopt;
}

}  // namespace

std::string SqliteBackend::DuplicateKeyMessage(const std::string& msg) {
    // "UNIQUE constraint failed: T.a, T.b"
    size_t colon = msg.find(": ");
    std::string list = colon == std::string::npos ? "" : msg.substr(colon + 2);
    std::string table;
    std::vector<std::string> columns;
    // "index 'IX$null'": the index that lets one key with NULLs in.
    if (list.rfind("index '", 0) == 0 && list.size() > 8) {
        std::string storage = list.substr(7, list.size() - 8);
        if (storage.size() > 5 && storage.compare(storage.size() - 5, 5, "$null") == 0)
            storage.resize(storage.size() - 5);
        std::vector<std::string> schemas{"main"};
        for (const auto& [schema, name] : m_attached) schemas.push_back(schema);
        for (const std::string& schema : schemas) {
            try {
                const TableDef* t = m_catalog.TableOfIndex(schema, storage);
                if (!t) continue;
                for (const IndexDef& ix : t->indexes) {
                    if (ix.storageName != storage) continue;
                    if (auto m = IndexMessage(*t, ix.columns)) return *m;
                }
            } catch (const ComError&) {
            }
        }
    }
    size_t at = 0;
    while (at < list.size()) {
        size_t comma = list.find(", ", at);
        std::string item =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        size_t dot = item.find('.');
        if (dot != std::string::npos) {
            table = item.substr(0, dot);
            columns.push_back(item.substr(dot + 1));
        }
        if (comma == std::string::npos) break;
        at = comma + 2;
    }
    for (const auto& [schema, name] : m_attached) {
        if (const TableDef* t = m_catalog.FindTable(schema, table)) {
            if (auto m = IndexMessage(*t, columns)) return *m;
        }
    }
    if (const TableDef* t = m_catalog.FindTable("main", table)) {
        if (auto m = IndexMessage(*t, columns)) return *m;
    }
    return "Cannot insert duplicate key row in object 'dbo." + table + "'.";
}

int64_t SqliteBackend::Changes() { return sqlite3_changes64(m_db); }
int64_t SqliteBackend::TotalChanges() { return sqlite3_total_changes64(m_db); }
int64_t SqliteBackend::LastInsertId() { return sqlite3_last_insert_rowid(m_db); }

// ---- transactions ---------------------------------------------------------

bool SqliteBackend::InTransaction() { return !sqlite3_get_autocommit(m_db); }
void SqliteBackend::BeginTransaction() { Exec("BEGIN IMMEDIATE"); }
void SqliteBackend::Commit() { Exec("COMMIT"); }
void SqliteBackend::Rollback() { Exec("ROLLBACK"); }

bool SqliteBackend::AbandonTransaction() {
    return sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteBackend::Savepoint(const char* name) { Exec(std::string("SAVEPOINT ") + name); }

void SqliteBackend::ReleaseSavepoint(const char* name) { Exec(std::string("RELEASE ") + name); }

bool SqliteBackend::TryReleaseSavepoint(const char* name) {
    return sqlite3_exec(m_db, (std::string("RELEASE ") + name).c_str(), nullptr, nullptr,
                        nullptr) == SQLITE_OK;
}

bool SqliteBackend::RollbackToSavepoint(const char* name) {
    std::string sql = std::string("ROLLBACK TO ") + name + "; RELEASE " + name;
    return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// ---- databases ------------------------------------------------------------

std::string SqliteBackend::Attach(std::string_view database) {
    if (database.empty()) return m_host->CurrentSchema();
    if (database == tsql::kGlobalTempDatabase) return AttachGlobal();
    std::string schema = SchemaName(database);
    if (schema == "main" || m_attached.count(schema)) return schema;
    if (IsSystemDatabase(database)) {
        Fail("Database '" + std::string(database) + "' is not available on this server.");
    }
    std::string file = DatabaseFile(m_folder, database);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        Fail("Database '" + std::string(database) +
             "' does not exist. Make sure that the name is entered correctly.");
    }
    AttachFile(file, schema, std::string(database));
    m_attached[schema] = ToUpper(database);
    // A catalog left in part by a creation cut short is completed before use.
    try {
        m_catalog.CheckOpened(schema);
    } catch (const ComError& e) {
        m_attached.erase(schema);
        sqlite3_exec(m_db, ("DETACH DATABASE " + QuoteIdent(schema)).c_str(), nullptr, nullptr,
                     nullptr);
        m_catalog.InvalidateAll();
        throw ComError(E_FILECORRUPT_, e.Description());
    }
    return schema;
}

// The ##tables lie in one in-memory database per server folder that every
// connection of this process to the folder attaches (SQLite's memdb, shared
// by name within a process, with the usual locks): the embedded engine's
// server is the folder as this process sees it. A session attaches it when
// it first names a ##table, so sessions that do not use them never wait on
// its locks; it lives while any connection has it attached.
std::string SqliteBackend::AttachGlobal() {
    if (m_attached.count(kGlobalTempSchema)) return kGlobalTempSchema;
    if (InTransaction()) {
        Fail(
            "Global temporary tables are used by this connection for the first time inside a "
            "transaction: name one before BEGIN TRANSACTION.");
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::weakly_canonical(m_folder, ec);
    if (ec) folder = std::filesystem::absolute(m_folder, ec);
    char name[32];
    std::snprintf(name, sizeof name, "%016llx",
                  static_cast<unsigned long long>(std::hash<std::string>{}(folder.string())));
    const std::string uri = std::string("file:/xrdb8-tempdb-") + name + "?vfs=memdb";
    if (m_attached.size() + 1 >= 10) DetachIdle();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS ?2", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, kGlobalTempSchema, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) Fail(std::string("tempdb cannot be opened: ") + sqlite3_errmsg(m_db));
    m_attached[kGlobalTempSchema] = "tempdb";
    try {
        m_catalog.InitDatabase(kGlobalTempSchema);
    } catch (...) {
        m_attached.erase(kGlobalTempSchema);
        sqlite3_exec(m_db, "DETACH DATABASE \"TEMPDB##\"", nullptr, nullptr, nullptr);
        m_catalog.InvalidateAll();
        throw;
    }
    if (m_host) m_host->Closing(kGlobalTempSchema);  // tempdb's views now show its ##tables
    return kGlobalTempSchema;
}

void SqliteBackend::TableMade(const std::string& schema, const std::string& name) {
    if (schema != kGlobalTempSchema) return;
    if (auto id = m_catalog.ObjectId(schema, name)) m_globalMade.emplace_back(name, *id);
}

// The ##tables the session made go with it, each once no statement of
// another connection reads it (the drop waits for their locks).
void SqliteBackend::DropGlobalTables() noexcept {
    if (m_globalMade.empty() || !m_attached.count(kGlobalTempSchema)) return;
    try {
        if (InTransaction()) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_catalog.InvalidateAll();
        for (const auto& [name, id] : m_globalMade) {
            auto now = m_catalog.ObjectId(kGlobalTempSchema, name);
            if (!now || *now != id) continue;  // dropped, or another table of that name since
            Exec("BEGIN IMMEDIATE");
            try {
                m_catalog.DropTable(kGlobalTempSchema, name);
                Exec("COMMIT");
            } catch (...) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
        }
    } catch (...) {
        // The table stays until the last connection lets go of tempdb.
    }
    m_globalMade.clear();
}

// SQLite's update hook, set only while a statement is watched: the row ids
// the watched table gets or changes.
void SqliteBackend::WatchWrites(const std::string& schema, const std::string& table) {
    m_watch = {schema, table, {}};
    sqlite3_update_hook(
        m_db,
        [](void* self, int op, const char* db, const char* name, sqlite3_int64 rowid) {
            WriteWatch& w = static_cast<SqliteBackend*>(self)->m_watch;
            if (op != SQLITE_DELETE && db && name && IEquals(w.schema, db) &&
                IEquals(w.table, name))
                w.rows.push_back(rowid);
        },
        this);
}

std::vector<int64_t> SqliteBackend::WrittenRows() {
    sqlite3_update_hook(m_db, nullptr, nullptr);
    std::vector<int64_t> rows = std::move(m_watch.rows);
    m_watch = {};
    return rows;
}

std::string SqliteBackend::DatabaseName(const std::string& schema) {
    if (schema == "main") return "master";
    auto it = m_attached.find(schema);
    return it == m_attached.end() ? schema : it->second;
}

void SqliteBackend::AttachFile(const std::string& file, const std::string& schema,
                               const std::string& database) {
    if (InTransaction()) {
        Fail("Database '" + schema + "' cannot be opened inside a transaction.");
    }
    if (m_attached.size() + 1 >= 10) DetachIdle();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS ?2", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        throw ComError(E_FILECORRUPT_, "Database '" + database + "' cannot be opened: its file '" +
                                           file + "' " + FileFault(sqlite3_errmsg(m_db)));
    }
    // The schema is read now, so that a file that is no database (or whose
    // first pages are damaged) is refused here rather than taken for empty.
    const std::string checks[] = {
        "SELECT count(*) FROM " + QuoteIdent(schema) + ".sqlite_schema",
        "PRAGMA " + QuoteIdent(schema) + ".journal_mode=WAL",
        // Every database of the session syncs as the connection string asked
        // (the setting is per file; the session set it on master).
        "PRAGMA " + QuoteIdent(schema) + ".synchronous=" + std::to_string(MainSynchronous()),
    };
    for (const std::string& sql : checks) {
        char* msg = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &msg) == SQLITE_OK) continue;
        std::string why = msg ? msg : sqlite3_errmsg(m_db);
        sqlite3_free(msg);
        sqlite3_exec(m_db, ("DETACH DATABASE " + QuoteIdent(schema)).c_str(), nullptr, nullptr,
                     nullptr);
        throw ComError(E_FILECORRUPT_, "Database '" + database + "' cannot be opened: its file '" +
                                           file + "' " + FileFault(why));
    }
}

// The statements of the session on a file go before it is detached.
void SqliteBackend::Detach(const std::string& schema) {
    if (m_host) m_host->Closing(schema);
    DropVersionStatements();
    Exec("DETACH DATABASE " + QuoteIdent(schema));
}

// SQLite holds at most ten attached files: let go of one not in use.
void SqliteBackend::DetachIdle() {
    for (auto it = m_attached.begin(); it != m_attached.end(); ++it) {
        // Detaching would lose the #tables (and perhaps the ##tables).
        if (it->first == kTempSchema || it->first == kGlobalTempSchema) continue;
        if (m_host && m_host->SchemaInUse(it->first)) continue;
        Detach(it->first);
        m_catalog.InvalidateAll();
        m_schemaVersions.erase(it->first);
        m_attached.erase(it);
        return;
    }
}

void SqliteBackend::CreateDatabase(const std::string& name) {
    if (InTransaction())
        Fail("CREATE DATABASE statement not allowed within multi-statement transaction.");
    std::string file = DatabaseFile(m_folder, name);
    std::error_code ec;
    if (IsSystemDatabase(name) || std::filesystem::exists(file, ec)) {
        Fail("Database '" + name + "' already exists. Choose a different database name.");
    }
    if (name.empty() || name.size() > 123 ||
        name.find_first_of("/\\:*?\"<>|") != std::string::npos) {
        Fail("'" + name + "' is not a valid database name.");
    }
    std::string schema = SchemaName(name);
    AttachFile(file, schema, name);
    m_attached[schema] = ToUpper(name);
    try {
        m_catalog.InitDatabase(schema);
    } catch (...) {
        sqlite3_exec(m_db, ("DETACH DATABASE " + QuoteIdent(schema)).c_str(), nullptr, nullptr,
                     nullptr);
        m_attached.erase(schema);
        std::filesystem::remove(file, ec);
        throw;
    }
}

void SqliteBackend::DropDatabase(const std::string& name) {
    if (InTransaction()) Fail("DROP DATABASE statement cannot be used inside a user transaction.");
    if (IsSystemDatabase(name))
        Fail("Cannot drop the database '" + name + "', because it is a system database.");
    std::string schema = SchemaName(name);
    if (schema == m_host->CurrentSchema())
        Fail("Cannot drop database \"" + name + "\" because it is currently in use.");
    std::string file = DatabaseFile(m_folder, name);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        Fail("Cannot drop the database '" + name +
             "', because it does not exist or you do not have permission.");
    }
    if (m_attached.count(schema)) {
        Detach(schema);
        m_attached.erase(schema);
        m_catalog.InvalidateAll();
    }
    std::filesystem::remove(file, ec);
    std::filesystem::remove(file + "-wal", ec);
    std::filesystem::remove(file + "-shm", ec);
}

int SqliteBackend::MainSynchronous() {
    sqlite3_stmt* st = nullptr;
    int level = 2;  // FULL
    if (sqlite3_prepare_v2(m_db, "PRAGMA main.synchronous", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        level = sqlite3_column_int(st, 0);
    }
    sqlite3_finalize(st);
    return level;
}

// Also forgets the files watched for changes: a detached file's handle goes.
void SqliteBackend::DropVersionStatements() {
    for (auto& [schema, st] : m_versionStatements) sqlite3_finalize(st);
    m_versionStatements.clear();
    for (auto& [schema, w] : m_walWatch) sqlite3_finalize(w.version);
    m_walWatch.clear();
}

// In write-ahead mode every commit rewrites the log's index header in shared
// memory, which is read directly; otherwise the file's data version is asked.
uint64_t SqliteBackend::DataMark(const std::string& schema) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    mix(static_cast<uint64_t>(sqlite3_total_changes64(m_db)));
    WalWatch& w = m_walWatch[schema];
    if (!w.checked) {
        w.checked = true;
        sqlite3_stmt* st = PrepareRaw("PRAGMA " + QuoteIdent(schema) + ".journal_mode");
        bool wal = sqlite3_step(st) == SQLITE_ROW &&
                   IEquals(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
        sqlite3_finalize(st);
        sqlite3_file* file = nullptr;
        if (wal &&
            sqlite3_file_control(m_db, schema.c_str(), SQLITE_FCNTL_FILE_POINTER, &file) ==
                SQLITE_OK &&
            file && file->pMethods && file->pMethods->iVersion >= 2 && file->pMethods->xShmMap) {
            w.file = file;
        }
    }
    if (w.file) {
        void volatile* region = nullptr;
        if (w.file->pMethods->xShmMap(w.file, 0, 32768, 0, &region) == SQLITE_OK && region) {
            // Both copies of the 48-byte header; a torn read only ever
            // shows a difference, which costs one needless re-read.
            const volatile uint32_t* words = static_cast<const volatile uint32_t*>(region);
            for (int i = 0; i < 24; ++i) mix(words[i]);
            return h;
        }
    }
    if (!w.version) w.version = PrepareRaw("PRAGMA " + QuoteIdent(schema) + ".data_version");
    if (sqlite3_step(w.version) == SQLITE_ROW)
        mix(static_cast<uint64_t>(sqlite3_column_int64(w.version, 0)));
    else
        mix(++w.unknown);  // no answer: count it as a change
    sqlite3_reset(w.version);
    return h;
}

bool SqliteBackend::SchemaChanged() {
    bool changed = false;
    auto check = [&](const std::string& schema) {
        sqlite3_stmt*& st = m_versionStatements[schema];
        if (!st) {
            std::string sql = "PRAGMA " + QuoteIdent(schema) + ".schema_version";
            if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st,
                                   nullptr) != SQLITE_OK) {
                sqlite3_finalize(st);
                st = nullptr;
                return;
            }
        }
        if (sqlite3_step(st) == SQLITE_ROW) {
            uint32_t v = static_cast<uint32_t>(sqlite3_column_int64(st, 0));
            auto it = m_schemaVersions.find(schema);
            if (it == m_schemaVersions.end() || it->second != v) {
                if (it != m_schemaVersions.end()) changed = true;
                m_schemaVersions[schema] = v;
            }
        }
        sqlite3_reset(st);
    };
    check("main");
    for (const auto& [schema, name] : m_attached) {
        // Only this session changes its tempdb: it is watched (for a rollback
        // of its DDL) once the session has made a table there.
        if (schema == kTempSchema && !m_tempTables) continue;
        check(schema);
    }
    return changed;
}

void SqliteBackend::OwnSchemaChange(const std::string& schema) {
    if (schema == kTempSchema) m_tempTables = true;
    auto it = m_versionStatements.find(schema);
    if (it == m_versionStatements.end() || !it->second) {
        m_schemaVersions.erase(schema);  // read at the next check
        return;
    }
    sqlite3_stmt* st = it->second;
    if (sqlite3_step(st) == SQLITE_ROW) {
        m_schemaVersions[schema] = static_cast<uint32_t>(sqlite3_column_int64(st, 0));
    } else {
        m_schemaVersions.erase(schema);
    }
    sqlite3_reset(st);
}

void SqliteBackend::ForgetSchemaVersions() { m_schemaVersions.clear(); }

bool SqliteBackend::SystemTable(const std::string& schema, const std::string& name, TableDef* out) {
    if (DatabasesView(name, out)) return true;
    if (IsSystemView(name) && SystemView(m_db, name, schema, DatabaseName(schema), out)) {
        return true;
    }
    out->columns.clear();
    sqlite3_stmt* st = nullptr;
    std::string sql = "PRAGMA " + QuoteIdent(schema) + ".table_info(" + QuoteIdent(name) + ")";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
    while (sqlite3_step(st) == SQLITE_ROW) {
        ColumnDef c;
        c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        if (!decl || !TypeSpec::Parse(decl, &c.type)) {
            c.type = TypeSpec();
            c.type.kind = TypeKind::VarChar;
            c.type.length = 256;
        }
        out->columns.push_back(std::move(c));
    }
    sqlite3_finalize(st);
    return !out->columns.empty();
}

// ---- the dialect ----------------------------------------------------------

Plan SqliteBackend::RenderSelect(const SelectStmt& select, RenderContext& ctx) {
    return sqlite::RenderSelect(select, ctx);
}
Plan SqliteBackend::RenderInsert(const Stmt& stmt, RenderContext& ctx) {
    return sqlite::RenderInsert(stmt, ctx);
}
Plan SqliteBackend::RenderUpdate(const Stmt& stmt, RenderContext& ctx) {
    return sqlite::RenderUpdate(stmt, ctx);
}
Plan SqliteBackend::RenderDelete(const Stmt& stmt, RenderContext& ctx) {
    return sqlite::RenderDelete(stmt, ctx);
}
Plan SqliteBackend::RenderScalar(const Expr& expr, RenderContext& ctx) {
    return sqlite::RenderScalar(expr, ctx);
}
Plan SqliteBackend::RenderCondition(const Expr& condition, RenderContext& ctx) {
    return sqlite::RenderCondition(condition, ctx);
}
Plan SqliteBackend::RenderView(const SelectStmt& select, RenderContext& ctx) {
    return sqlite::RenderView(select, ctx);
}
std::string SqliteBackend::RenderIndexFilter(const Expr& condition, const TableDef& table,
                                             RenderContext& ctx) {
    return sqlite::RenderIndexFilter(condition, table, ctx);
}
std::string SqliteBackend::InlineValue(const Value& v) { return sqlite::InlineValue(v); }
std::string SqliteBackend::QuoteIdent(std::string_view name) { return sqlite::QuoteIdent(name); }
std::string SqliteBackend::Parameter(int n) { return "?" + std::to_string(n); }
std::string SqliteBackend::CountedIdentity(const std::string& schema, const TableDef& table) {
    return sqlite::CountedIdentity(schema, table);
}
std::string SqliteBackend::RowId(const std::string& alias) {
    return alias.empty() ? "rowid" : alias + ".rowid";
}

}  // namespace xr::engine::sqlite
