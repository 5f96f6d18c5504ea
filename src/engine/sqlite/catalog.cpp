// The catalog's storage and lookups: the statement helper, the cache of table
// definitions, the system tables of each database file, object ids and names,
// identity counters, and the server's logins. The DDL is in catalog_ddl.cpp.
#include "engine/sqlite/catalog.h"

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "engine/sqlite/catalog_impl.h"
#include "platform/text.h"

namespace xr::engine::sqlite {
namespace detail {

bool ILess::operator()(std::string_view a, std::string_view b) const { return ICompare(a, b) < 0; }

std::string Quote(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string QuoteText(std::string_view text) { return "'" + QuoteSql(text) + "'"; }

bool IsReservedName(std::string_view name) {
    return (name.size() >= 3 && IEquals(name.substr(0, 3), "xr_")) ||
           (name.size() >= 7 && IEquals(name.substr(0, 7), "sqlite_"));
}

void Fail(std::string message) { throw ComError(DB_E_ERRORSINCOMMAND, std::move(message)); }

namespace {

[[noreturn]] void FailSqlite(sqlite3* handle) {
    const char* message = sqlite3_errmsg(handle);
    Fail(message ? message : "The embedded engine reported an error.");
}

}  // namespace

// ---- Sql ---------------------------------------------------------------------

Sql::Sql(CatalogState& state, const std::string& text, bool keep) : m_state(state) {
    if (keep) {
        auto it = state.statements.find(text);
        if (it != state.statements.end() && !it->second.busy) {
            m_kept = &it->second;
            m_kept->busy = true;
            m_stmt = m_kept->stmt;
            return;
        }
        if (it == state.statements.end()) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v3(state.handle, text.c_str(), static_cast<int>(text.size()),
                                   SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
                FailSqlite(state.handle);
            }
            m_kept = &state.statements[text];
            m_kept->stmt = stmt;
            m_kept->busy = true;
            m_stmt = stmt;
            return;
        }
    }
    if (sqlite3_prepare_v2(state.handle, text.c_str(), static_cast<int>(text.size()), &m_stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        FailSqlite(state.handle);
    }
}

Sql::~Sql() {
    if (!m_stmt) return;
    if (m_kept) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_kept->busy = false;
    } else {
        sqlite3_finalize(m_stmt);
    }
}

Sql& Sql::Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Sql& Sql::Bind(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Sql& Sql::Bind(int index, const Value& value) {
    switch (value.kind) {
        case Value::Kind::Null:
            sqlite3_bind_null(m_stmt, index);
            break;
        case Value::Kind::Int:
            sqlite3_bind_int64(m_stmt, index, value.i);
            break;
        case Value::Kind::Real:
            sqlite3_bind_double(m_stmt, index, value.d);
            break;
        case Value::Kind::Text:
            sqlite3_bind_text(m_stmt, index, value.s.data(), static_cast<int>(value.s.size()),
                              SQLITE_TRANSIENT);
            break;
        case Value::Kind::Blob:
            sqlite3_bind_blob(m_stmt, index, value.s.data(), static_cast<int>(value.s.size()),
                              SQLITE_TRANSIENT);
            break;
    }
    return *this;
}

Sql& Sql::BindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Sql::Step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string message = sqlite3_errmsg(m_state.handle);
    sqlite3_reset(m_stmt);
    Fail(message);
}

void Sql::Run() {
    while (Step()) {
    }
}

bool Sql::IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

int64_t Sql::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string Sql::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

Value Sql::Get(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_INTEGER:
            return Value::Int(sqlite3_column_int64(m_stmt, column));
        case SQLITE_FLOAT:
            return Value::Real(sqlite3_column_double(m_stmt, column));
        case SQLITE_TEXT:
            return Value::Text(Text(column));
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(m_stmt, column);
            int size = sqlite3_column_bytes(m_stmt, column);
            return Value::Blob(
                data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                     : std::string());
        }
        default:
            return Value::Null();
    }
}

// ---- Cache -------------------------------------------------------------------

CatalogState::CatalogState(sqlite3* h) : handle(h), random(std::random_device{}()) {
    if (!handle) Fail("The catalog needs an open database connection.");
}

CatalogState::~CatalogState() {
    for (auto& entry : statements) sqlite3_finalize(entry.second.stmt);
}

DbCache& CatalogState::Cache(const std::string& db) {
    auto it = caches.find(db);
    if (it != caches.end()) return it->second;
    return caches.emplace(db, DbCache{}).first->second;
}

void CatalogState::Retire(DbCache& cache) {
    for (auto& entry : cache.tables) {
        if (entry.second) retired.push_back(std::move(entry.second));
    }
    cache.tables.clear();
}

void CatalogState::Forget(const std::string& db) {
    DbCache& cache = Cache(db);
    Retire(cache);
    cache.validated = false;
    cache.hasCatalog = -1;
    cache.hasConstraints = -1;
}

void CatalogState::Install(const std::string& db, TableDef def) {
    // Read first: nothing changes when a read fails.
    const int64_t version = SchemaVersion(db);
    const int64_t stamp = ReadStamp(db);
    auto made = std::make_unique<TableDef>(std::move(def));
    DbCache& cache = Cache(db);
    if (!cache.validated) Retire(cache);  // the others' state is unknown
    auto it = cache.tables.find(made->name);
    if (it != cache.tables.end()) {
        if (it->second) retired.push_back(std::move(it->second));
        cache.tables.erase(it);
    }
    const std::string name = made->name;
    cache.tables.emplace(name, std::move(made));
    cache.validated = true;
    cache.schemaVersion = version;
    cache.stamp = stamp;
    cache.hasCatalog = 1;
}

void CatalogState::KeepCache(const std::string& db) {
    DbCache& cache = Cache(db);
    if (!cache.validated) return;
    const int64_t version = SchemaVersion(db);
    cache.stamp = cache.hasCatalog == 1 ? ReadStamp(db) : 0;
    cache.schemaVersion = version;
}

int64_t CatalogState::SchemaVersion(const std::string& db) {
    Sql q(*this, "PRAGMA " + Quote(db) + ".schema_version");
    return q.Step() ? q.Int(0) : 0;
}

int64_t CatalogState::ReadStamp(const std::string& db) {
    Sql q(*this, "SELECT value FROM " + Quote(db) + ".xr_meta WHERE name = 'stamp'");
    return q.Step() ? q.Int(0) : 0;
}

void CatalogState::Validate(const std::string& db) {
    DbCache& cache = Cache(db);
    const int64_t version = SchemaVersion(db);
    if (!cache.validated || version != cache.schemaVersion) {
        Retire(cache);
        cache.validated = true;
        cache.schemaVersion = version;
        cache.hasCatalog = -1;
        cache.hasConstraints = -1;
        cache.stamp = HasCatalog(db) ? ReadStamp(db) : 0;
        return;
    }
    if (cache.hasCatalog != 1) return;
    const int64_t stamp = ReadStamp(db);
    if (stamp != cache.stamp) {
        Retire(cache);
        cache.stamp = stamp;
    }
}

bool CatalogState::HasCatalog(const std::string& db) {
    DbCache& cache = Cache(db);
    if (!cache.validated) Validate(db);
    if (cache.hasCatalog < 0) {
        Sql q(*this,
              "SELECT count(*) FROM " + Quote(db) +
                  ".sqlite_schema WHERE type = 'table' AND name IN ('sysobjects', 'xr_meta')");
        cache.hasCatalog = q.Step() && q.Int(0) == 2 ? 1 : 0;
    }
    return cache.hasCatalog == 1;
}

void CatalogState::Stamp(const std::string& db) {
    std::uniform_int_distribution<int64_t> dist(1, INT64_MAX);
    Sql q(*this,
          "INSERT OR REPLACE INTO " + Quote(db) + ".xr_meta (name, value) VALUES ('stamp', ?1)");
    q.Bind(1, dist(random)).Run();
}

void CatalogState::Exec(const std::string& sql) {
    Sql q(*this, sql, false);
    q.Run();
}

bool CatalogState::TableExists(const std::string& db, std::string_view name) {
    Sql q(*this, "SELECT 1 FROM " + Quote(db) +
                     ".sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    return q.Bind(1, name).Step();
}

bool CatalogState::IndexNameUsed(const std::string& db, std::string_view name) {
    Sql q(*this, "SELECT 1 FROM " + Quote(db) + ".sqlite_schema WHERE name = ?1 COLLATE NOCASE");
    return q.Bind(1, name).Step();
}

bool CatalogState::ObjectNameTaken(const std::string& db, std::string_view name) {
    if (!HasCatalog(db)) return false;
    Sql q(*this, "SELECT 1 FROM " + Quote(db) + ".sysobjects WHERE name = ?1");
    return q.Bind(1, name).Step();
}

int32_t CatalogState::NewObjectId(const std::string& db) {
    // Spread like the server's ids; the low range is left to the system tables.
    std::uniform_int_distribution<int32_t> dist(0x00100000, INT32_MAX);
    for (;;) {
        int32_t id = dist(random);
        Sql q(*this, "SELECT 1 FROM " + Quote(db) + ".sysobjects WHERE id = ?1");
        if (!q.Bind(1, id).Step()) return id;
    }
}

std::optional<int64_t> CatalogState::ReadSequence(const std::string& db, std::string_view table) {
    if (!TableExists(db, "sqlite_sequence")) return std::nullopt;
    Sql q(*this,
          "SELECT seq FROM " + Quote(db) + ".sqlite_sequence WHERE name = ?1 COLLATE NOCASE");
    if (!q.Bind(1, table).Step() || q.IsNull(0)) return std::nullopt;
    return q.Int(0);
}

const TableDef* CatalogState::Find(const std::string& db, std::string_view name) {
    DbCache& cache = Cache(db);
    if (!cache.validated) Validate(db);
    auto it = cache.tables.find(name);
    if (it != cache.tables.end()) return it->second.get();
    std::unique_ptr<TableDef> def = Load(db, name);
    const TableDef* result = def.get();
    cache.tables.emplace(std::string(name), std::move(def));
    return result;
}

namespace {

TypeSpec ParseDeclared(const std::string& declared) {
    TypeSpec type;
    if (!TypeSpec::Parse(declared, &type)) type = TypeSpec{};
    return type;
}

}  // namespace

std::string CatalogState::DeferKey(const std::string& db, std::string_view table) {
    return ToUpper(db) + '.' + ToUpper(table);
}

std::unique_ptr<TableDef> CatalogState::Load(const std::string& db, std::string_view name) {
    // A deferred table's stored form is behind: its definition is the one kept.
    auto deferredDef = deferred.find(DeferKey(db, name));
    if (deferredDef != deferred.end()) return std::make_unique<TableDef>(*deferredDef->second);
    if (!HasCatalog(db)) return LoadUnregistered(db, name);
    auto def = std::make_unique<TableDef>();
    {
        Sql q(*this, "SELECT id, name FROM " + Quote(db) +
                         ".sysobjects WHERE name = ?1 AND xtype IN ('U', 'S')");
        if (!q.Bind(1, name).Step()) return LoadUnregistered(db, name);
        def->id = static_cast<int32_t>(q.Int(0));
        def->name = q.Text(1);
    }
    def->db = db;
    ReadStoredColumns(*def);
    if (def->columns.empty()) return nullptr;  // registered but gone from the file
    std::map<int64_t, int> byColid;
    {
        Sql q(*this, "SELECT colid, name, status FROM " + Quote(db) + ".syscolumns WHERE id = ?1");
        q.Bind(1, def->id);
        while (q.Step()) {
            int index = def->ColumnIndex(q.Text(1));
            if (index < 0) continue;
            byColid[q.Int(0)] = index;
            if (q.Int(2) & kColumnIdentity) {
                def->columns[static_cast<size_t>(index)].identity = true;
                def->columns[static_cast<size_t>(index)].notNull = true;
            }
        }
    }
    {
        Sql q(*this, "SELECT c.colid, o.id, o.name, c.status, d.text, d.value, d.value_type FROM " +
                         Quote(db) + ".sysconstraints c JOIN " + Quote(db) +
                         ".sysobjects o ON o.id = c.constid JOIN " + Quote(db) +
                         ".xr_defaults d ON d.id = c.constid WHERE c.id = ?1");
        q.Bind(1, def->id);
        while (q.Step()) {
            auto it = byColid.find(q.Int(0));
            if (it == byColid.end()) continue;
            DefaultDef dflt;
            dflt.id = static_cast<int32_t>(q.Int(1));
            dflt.name = q.Text(2);
            dflt.systemNamed = q.Int(3) == kStatusSystemDefault;
            dflt.text = q.Text(4);
            dflt.value = q.Get(5);
            dflt.valueType = TypeSpec::FromCode(q.Int(6));
            def->columns[static_cast<size_t>(it->second)].def = std::move(dflt);
        }
    }
    {
        Sql q(*this,
              "SELECT name, storage_name, is_unique, is_pk, constid, columns, descending, "
              "filter FROM " +
                  Quote(db) + ".xr_indexes WHERE table_id = ?1 ORDER BY seq");
        q.Bind(1, def->id);
        while (q.Step()) {
            IndexDef index;
            index.name = q.Text(0);
            index.storageName = q.Text(1);
            index.unique = q.Int(2) != 0;
            index.primaryKey = q.Int(3) == 1;
            index.uniqueKey = q.Int(3) == 2;
            index.id = static_cast<int32_t>(q.Int(4));
            index.columns = SplitNames(q.Text(5));
            std::string descending = q.Text(6);
            for (size_t i = 0; i < index.columns.size(); ++i) {
                index.descending.push_back(i < descending.size() && descending[i] == '1');
            }
            index.filterSql = q.Text(7);
            def->indexes.push_back(std::move(index));
        }
    }
    if (const ColumnDef* identity = def->IdentityColumn()) {
        ColumnDef* column = const_cast<ColumnDef*>(identity);
        Sql q(*this, "SELECT name, value FROM " + Quote(db) + ".xr_meta WHERE name IN (?1, ?2)");
        q.Bind(1, "seed:" + std::to_string(def->id)).Bind(2, "incr:" + std::to_string(def->id));
        while (q.Step()) {
            if (q.Text(0)[0] == 's')
                column->identitySeed = q.Int(1);
            else
                column->identityIncrement = q.Int(1);
        }
    }
    if (HasConstraintTable(*this, db)) {
        Sql q(*this,
              "SELECT c.id, c.kind, c.name, c.columns, c.ref_table_id, o.name, c.ref_columns, "
              "c.on_delete, c.on_update, c.enabled, c.column_level, c.text, c.sql FROM " +
                  Quote(db) + ".xr_constraints c LEFT JOIN " + Quote(db) +
                  ".sysobjects o ON o.id = c.ref_table_id WHERE c.table_id = ?1 ORDER BY c.rowid");
        q.Bind(1, def->id);
        while (q.Step()) {
            if (q.Text(1) == "F") {
                ForeignKeyDef fk;
                fk.id = static_cast<int32_t>(q.Int(0));
                fk.name = q.Text(2);
                fk.columns = SplitNames(q.Text(3));
                fk.refTableId = static_cast<int32_t>(q.Int(4));
                fk.refTable = q.IsNull(5) ? def->name : q.Text(5);
                fk.refColumns = SplitNames(q.Text(6));
                fk.onDelete = static_cast<RefAction>(q.Int(7));
                fk.onUpdate = static_cast<RefAction>(q.Int(8));
                fk.enabled = q.Int(9) != 0;
                fk.columnLevel = q.Int(10) != 0;
                def->foreignKeys.push_back(std::move(fk));
            } else {
                CheckDef check;
                check.id = static_cast<int32_t>(q.Int(0));
                check.name = q.Text(2);
                check.column = q.Text(3);
                check.enabled = q.Int(9) != 0;
                check.text = q.Text(11);
                check.sql = q.Text(12);
                def->checks.push_back(std::move(check));
            }
        }
    }
    return def;
}

// A table the catalog did not create (made by plain SQL): its columns as the
// engine declares them, without defaults, keys or an object id.
std::unique_ptr<TableDef> CatalogState::LoadUnregistered(const std::string& db,
                                                         std::string_view name) {
    if (IsReservedName(name)) return nullptr;
    auto def = std::make_unique<TableDef>();
    {
        Sql q(*this, "SELECT name FROM " + Quote(db) +
                         ".sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
        if (!q.Bind(1, name).Step()) return nullptr;
        def->name = q.Text(0);
    }
    def->db = db;
    ReadStoredColumns(*def);
    return def;
}

// The columns of the file's table, as the engine declares them.
void CatalogState::ReadStoredColumns(TableDef& def) {
    Sql q(*this,
          "SELECT name, type, \"notnull\" FROM pragma_table_xinfo(?1, ?2) "
          "WHERE hidden = 0 ORDER BY cid");
    q.Bind(1, def.name).Bind(2, def.db);
    while (q.Step()) {
        ColumnDef column;
        column.name = q.Text(0);
        column.type = ParseDeclared(q.Text(1));
        column.notNull = q.Int(2) != 0;
        def.columns.push_back(std::move(column));
    }
}

// ---- Storage -----------------------------------------------------------------

std::string DefaultLiteral(const DefaultDef& def, const TypeSpec& type) {
    Value v = Convert(def.value, def.valueType, type);
    switch (v.kind) {
        case Value::Kind::Null:
            return {};
        case Value::Kind::Int:
            return std::to_string(v.i);
        case Value::Kind::Real: {
            if (!std::isfinite(v.d)) return {};
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", v.d);
            std::string text = buffer;
            if (text.find_first_of(".eE") == std::string::npos) text += ".0";
            return text;
        }
        case Value::Kind::Text:
            return QuoteText(v.s);
        case Value::Kind::Blob: {
            static const char* digits = "0123456789ABCDEF";
            std::string text = "X'";
            for (unsigned char c : v.s) {
                text += digits[c >> 4];
                text += digits[c & 15];
            }
            return text + "'";
        }
    }
    return {};
}

std::string ColumnDeclaration(const ColumnDef& column) {
    // The identity column is the rowid: never reused, counted in sqlite_sequence
    // where every connection sees it.
    if (column.identity) return Quote(column.name) + " INTEGER PRIMARY KEY AUTOINCREMENT";
    std::string text = Quote(column.name) + " " + column.type.ToString();
    if (column.type.IsText()) text += std::string(" COLLATE ") + kCollation;
    if (column.notNull) text += " NOT NULL";
    if (column.def) {
        std::string literal = DefaultLiteral(*column.def, column.type);
        if (!literal.empty()) text += " DEFAULT " + literal;
    }
    return text;
}

std::string CreateTableSql(const std::string& db, std::string_view name,
                           const std::vector<ColumnDef>& columns) {
    std::string sql = "CREATE TABLE " + Quote(db) + "." + Quote(name) + " (";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ", ";
        sql += ColumnDeclaration(columns[i]);
    }
    return sql + ")";
}

namespace {

const char* ActionSql(RefAction action) {
    switch (action) {
        case RefAction::Cascade:
            return "CASCADE";
        case RefAction::SetNull:
            return "SET NULL";
        case RefAction::SetDefault:
            return "SET DEFAULT";
        case RefAction::NoAction:
            break;
    }
    return "NO ACTION";
}

std::string QuoteList(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + Quote(names[i]);
    return text;
}

}  // namespace

std::string CreateTableSql(const std::string& db, std::string_view name, const TableDef& def) {
    std::string sql = CreateTableSql(db, name, def.columns);
    sql.pop_back();  // the closing parenthesis
    // The engine enforces what is enabled; a self-reference names the table
    // as it will be called once made.
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        if (!fk.enabled) continue;
        std::string parent = fk.refTableId == def.id ? def.name : fk.refTable;
        sql += ", CONSTRAINT " + Quote(fk.name) + " FOREIGN KEY (" + QuoteList(fk.columns) +
               ") REFERENCES " + Quote(parent) + " (" + QuoteList(fk.refColumns) + ") ON DELETE " +
               ActionSql(fk.onDelete) + " ON UPDATE " + ActionSql(fk.onUpdate);
    }
    for (const CheckDef& check : def.checks) {
        if (!check.enabled) continue;
        sql += ", CONSTRAINT " + Quote(check.name) + " CHECK (" + check.sql + ")";
    }
    return sql + ")";
}

std::string NullKeyIndexSql(const std::string& db, const TableDef& table, const IndexDef& index) {
    if (!index.unique || index.primaryKey || !index.filterSql.empty()) return {};
    std::string terms, anyNull;
    for (const std::string& name : index.columns) {
        const ColumnDef* column = table.FindColumn(name);
        if (!column) return {};
        if (!terms.empty()) terms += ", ";
        if (column->notNull) {
            terms += Quote(column->name);
            continue;
        }
        // NULL becomes a value of its own, told apart by the flag before it.
        terms += "(" + Quote(column->name) + " IS NULL), ifnull(" + Quote(column->name) + ", 0)";
        if (column->type.IsText()) terms += std::string(" COLLATE ") + kCollation;
        anyNull += (anyNull.empty() ? "" : " OR ") + Quote(column->name) + " IS NULL";
    }
    if (anyNull.empty()) return {};
    return "CREATE UNIQUE INDEX " + Quote(db) + "." + Quote(index.storageName + "$null") + " ON " +
           Quote(table.name) + " (" + terms + ") WHERE " + anyNull;
}

std::string CreateIndexSql(const std::string& db, std::string_view table, const IndexDef& index) {
    std::string sql = index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
    sql += Quote(db) + "." + Quote(index.storageName) + " ON " + Quote(table) + " (";
    for (size_t i = 0; i < index.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += Quote(index.columns[i]);
        if (i < index.descending.size() && index.descending[i]) sql += " DESC";
    }
    sql += ")";
    if (!index.filterSql.empty()) sql += " WHERE " + index.filterSql;
    return sql;
}

namespace {

// Today as the server's DATETIME is stored (an OLE date).
double OleNow() {
    using namespace std::chrono;
    double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return seconds / 86400.0 + 25569.0;
}

}  // namespace

void InsertObject(CatalogState& state, const std::string& db, int32_t id, std::string_view name,
                  std::string_view xtype, int32_t parent) {
    Sql q(state, "INSERT INTO " + Quote(db) +
                     ".sysobjects (id, name, xtype, type, uid, parent_obj, crdate, status) "
                     "VALUES (?1, ?2, ?3, ?4, 1, ?5, ?6, 0)");
    std::string type = ObjectType(xtype);
    q.Bind(1, id).Bind(2, name).Bind(3, PadXtype(xtype)).Bind(4, type).Bind(5, parent);
    q.Bind(6, Value::Real(OleNow())).Run();
}

void InsertColumnRow(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                     const ColumnDef& column) {
    Sql q(state, "INSERT INTO " + Quote(db) +
                     ".syscolumns (id, colid, name, xtype, length, prec, scale, isnullable, "
                     "cdefault, status) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    TypeInfo info = DescribeType(column.type);
    int64_t status =
        (column.notNull ? 0 : kColumnNullable) | (column.identity ? kColumnIdentity : 0);
    q.Bind(1, tableId).Bind(2, colid).Bind(3, column.name).Bind(4, info.xtype);
    q.Bind(5, info.length).Bind(6, info.prec).Bind(7, info.scale);
    q.Bind(8, column.notNull ? 0 : 1).Bind(9, column.def ? column.def->id : 0).Bind(10, status);
    q.Run();
}

void InsertDefaultRows(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                       const DefaultDef& def) {
    InsertObject(state, db, def.id, def.name, "D", tableId);
    {
        Sql q(state, "INSERT INTO " + Quote(db) +
                         ".sysconstraints (constid, id, colid, status) VALUES (?1, ?2, ?3, ?4)");
        q.Bind(1, def.id).Bind(2, tableId).Bind(3, colid);
        q.Bind(4, def.systemNamed ? kStatusSystemDefault : kStatusNamedDefault).Run();
    }
    {
        Sql q(state, "INSERT INTO " + Quote(db) +
                         ".xr_defaults (id, text, value, value_type) VALUES (?1, ?2, ?3, ?4)");
        q.Bind(1, def.id).Bind(2, def.text).Bind(3, def.value).Bind(4, def.valueType.Code()).Run();
    }
    Sql q(state,
          "UPDATE " + Quote(db) + ".syscolumns SET cdefault = ?1 WHERE id = ?2 AND colid = ?3");
    q.Bind(1, def.id).Bind(2, tableId).Bind(3, colid).Run();
}

void DeleteObjectRows(CatalogState& state, const std::string& db, int32_t id) {
    Sql(state, "DELETE FROM " + Quote(db) + ".sysobjects WHERE id = ?1").Bind(1, id).Run();
    Sql(state, "DELETE FROM " + Quote(db) + ".sysconstraints WHERE constid = ?1").Bind(1, id).Run();
    Sql(state, "DELETE FROM " + Quote(db) + ".xr_defaults WHERE id = ?1").Bind(1, id).Run();
    Sql(state, "UPDATE " + Quote(db) + ".syscolumns SET cdefault = 0 WHERE cdefault = ?1")
        .Bind(1, id)
        .Run();
}

void InsertIndexRow(CatalogState& state, const std::string& db, int32_t tableId,
                    const IndexDef& index) {
    int64_t seq = 1;
    {
        Sql q(state, "SELECT coalesce(max(seq), 0) + 1 FROM " + Quote(db) +
                         ".xr_indexes WHERE table_id = ?1");
        if (q.Bind(1, tableId).Step()) seq = q.Int(0);
    }
    std::string descending;
    for (size_t i = 0; i < index.columns.size(); ++i) {
        descending += i < index.descending.size() && index.descending[i] ? '1' : '0';
    }
    Sql q(state,
          "INSERT INTO " + Quote(db) +
              ".xr_indexes (table_id, seq, name, storage_name, is_unique, is_pk, constid, "
              "columns, descending, filter) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    q.Bind(1, tableId).Bind(2, seq).Bind(3, index.name).Bind(4, index.storageName);
    q.Bind(5, index.unique ? 1 : 0).Bind(6, index.primaryKey ? 1 : index.uniqueKey ? 2 : 0);
    q.Bind(7, index.id);
    q.Bind(8, JoinNames(index.columns)).Bind(9, descending).Bind(10, index.filterSql).Run();
}

void WriteMeta(CatalogState& state, const std::string& db, const std::string& name, int64_t value) {
    Sql(state, "INSERT OR REPLACE INTO " + Quote(db) + ".xr_meta (name, value) VALUES (?1, ?2)")
        .Bind(1, name)
        .Bind(2, value)
        .Run();
}

bool HasConstraintTable(CatalogState& state, const std::string& db) {
    DbCache& cache = state.Cache(db);
    if (cache.hasConstraints < 0) {
        cache.hasConstraints = state.TableExists(db, "xr_constraints") ? 1 : 0;
    }
    return cache.hasConstraints == 1;
}

void EnsureConstraintTable(CatalogState& state, const std::string& db) {
    if (HasConstraintTable(state, db)) return;
    state.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) +
               ".xr_constraints (id INTEGER NOT NULL, table_id INTEGER NOT NULL, kind TEXT NOT "
               "NULL, name TEXT NOT NULL, columns TEXT NOT NULL, ref_table_id INTEGER NOT NULL, "
               "ref_columns TEXT NOT NULL, on_delete INTEGER NOT NULL, on_update INTEGER NOT "
               "NULL, enabled INTEGER NOT NULL, column_level INTEGER NOT NULL, text TEXT NOT NULL, "
               "sql TEXT NOT NULL)");
    state.Cache(db).hasConstraints = 1;
}

void InsertConstraintRow(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                         const ForeignKeyDef* fk, const CheckDef* check) {
    EnsureConstraintTable(state, db);
    Sql q(state, "INSERT INTO " + Quote(db) +
                     ".xr_constraints (id, table_id, kind, name, columns, ref_table_id, "
                     "ref_columns, on_delete, on_update, enabled, column_level, text, sql) "
                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
    q.Bind(2, tableId);
    if (fk) {
        q.Bind(1, fk->id).Bind(3, "F").Bind(4, fk->name).Bind(5, JoinNames(fk->columns));
        q.Bind(6, fk->refTableId).Bind(7, JoinNames(fk->refColumns));
        q.Bind(8, static_cast<int64_t>(fk->onDelete)).Bind(9, static_cast<int64_t>(fk->onUpdate));
        q.Bind(10, fk->enabled ? 1 : 0).Bind(11, fk->columnLevel ? 1 : 0).Bind(12, "").Bind(13, "");
    } else {
        q.Bind(1, check->id).Bind(3, "C").Bind(4, check->name).Bind(5, check->column);
        q.Bind(6, 0).Bind(7, "").Bind(8, 0).Bind(9, 0).Bind(10, check->enabled ? 1 : 0);
        q.Bind(11, check->column.empty() ? 0 : 1).Bind(12, check->text).Bind(13, check->sql);
    }
    q.Run();
    InsertObject(state, db, fk ? fk->id : check->id, fk ? fk->name : check->name, fk ? "F" : "C",
                 tableId);
    const bool columnLevel = fk ? fk->columnLevel : !check->column.empty();
    Sql c(state, "INSERT INTO " + Quote(db) +
                     ".sysconstraints (constid, id, colid, status) VALUES (?1, ?2, ?3, ?4)");
    c.Bind(1, fk ? fk->id : check->id).Bind(2, tableId).Bind(3, colid);
    c.Bind(4, (fk ? kStatusForeignKey : kStatusCheck) + (columnLevel ? 16 : 32)).Run();
}


namespace {

ColumnDef SystemColumn(const char* name, const char* type) {
    ColumnDef column;
    column.name = name;
    if (!TypeSpec::Parse(type, &column.type)) Fail(std::string("Unknown system type ") + type);
    column.notNull = true;
    return column;
}

struct SystemTable {
    int32_t id;
    const char* name;
    std::vector<ColumnDef> columns;
};

std::vector<SystemTable> SystemTables() {
    return {
        {1,
         "sysobjects",
         {SystemColumn("id", "INT"), SystemColumn("name", "VARCHAR(128)"),
          SystemColumn("xtype", "CHAR(2)"), SystemColumn("type", "CHAR(2)"),
          SystemColumn("uid", "SMALLINT"), SystemColumn("parent_obj", "INT"),
          SystemColumn("crdate", "DATETIME"), SystemColumn("status", "INT")}},
        {2,
         "syscolumns",
         {SystemColumn("id", "INT"), SystemColumn("colid", "SMALLINT"),
          SystemColumn("name", "VARCHAR(128)"), SystemColumn("xtype", "TINYINT"),
          SystemColumn("length", "SMALLINT"), SystemColumn("prec", "SMALLINT"),
          SystemColumn("scale", "INT"), SystemColumn("isnullable", "INT"),
          SystemColumn("cdefault", "INT"), SystemColumn("status", "TINYINT")}},
        {3,
         "sysconstraints",
         {SystemColumn("constid", "INT"), SystemColumn("id", "INT"),
          SystemColumn("colid", "SMALLINT"), SystemColumn("status", "INT")}},
    };
}

}  // namespace

namespace {

// Every table and index of the catalog in a file.
const char* const kCatalogObjects[] = {
    "xr_meta",
    "xr_defaults",
    "xr_indexes",
    "xr_users",
    "xr_role_members",
    "sysobjects",
    "syscolumns",
    "sysconstraints",
    "xr_sysobjects_id",
    "xr_sysobjects_name",
    "xr_sysobjects_parent",
    "xr_syscolumns_id",
    "xr_sysconstraints_id",
    "xr_sysconstraints_constid",
};

// The file's catalog objects that are missing, and whether the system
// tables' own rows are all there; `none` when the file has no catalog object
// at all (an empty file, or one written around the library).
struct CatalogShape {
    std::vector<std::string> missing;
    bool rowsComplete = false;
    bool none = false;
    bool Complete() const { return missing.empty() && rowsComplete; }
};

CatalogShape ReadShape(CatalogState& state, const std::string& db,
                       const std::vector<SystemTable>& tables) {
    CatalogShape shape;
    std::string list;
    for (const char* name : kCatalogObjects)
        list += std::string(list.empty() ? "" : ", ") + "'" + name + "'";
    std::vector<std::string> present;
    {
        Sql q(state,
              "SELECT name FROM " + Quote(db) + ".sqlite_schema WHERE name IN (" + list + ")");
        while (q.Step()) present.push_back(q.Text(0));
    }
    for (const char* name : kCatalogObjects) {
        bool found = false;
        for (const std::string& p : present) found = found || p == name;
        if (!found) shape.missing.emplace_back(name);
    }
    shape.none = present.empty();
    if (!shape.missing.empty()) return shape;
    std::string ids;
    size_t columns = 0;
    for (const SystemTable& t : tables) {
        ids += (ids.empty() ? "" : ", ") + std::to_string(t.id);
        columns += t.columns.size();
    }
    Sql q(state, "SELECT (SELECT count(*) FROM " + Quote(db) + ".sysobjects WHERE id IN (" + ids +
                     ") AND xtype = 'S'), (SELECT count(*) FROM " + Quote(db) +
                     ".syscolumns WHERE id IN (" + ids + "))");
    shape.rowsComplete = q.Step() && q.Int(0) == static_cast<int64_t>(tables.size()) &&
                         q.Int(1) == static_cast<int64_t>(columns);
    return shape;
}

// Makes whatever the catalog lacks, all of it in one transaction: a process
// killed halfway leaves the file as it was, never a catalog in part.
void CompleteCatalog(CatalogState& state, const std::string& db,
                     const std::vector<SystemTable>& tables) {
    const bool own = sqlite3_get_autocommit(state.handle) != 0;
    state.Exec(own ? "BEGIN IMMEDIATE" : "SAVEPOINT xr_catalog");
    try {
        // Another connection may have completed it meanwhile.
        if (!ReadShape(state, db, tables).Complete()) {
            const std::string s = Quote(db) + ".";
            const std::string collate = std::string(" COLLATE ") + kCollation;
            // Private tables: what the server keeps and SQLite has no place for.
            state.Exec("CREATE TABLE IF NOT EXISTS " + s +
                       "xr_meta (name TEXT PRIMARY KEY NOT NULL, value)");
            state.Exec("CREATE TABLE IF NOT EXISTS " + s +
                       "xr_defaults (id INTEGER PRIMARY KEY, text TEXT NOT NULL, value, "
                       "value_type INTEGER NOT NULL)");
            state.Exec("CREATE TABLE IF NOT EXISTS " + s +
                       "xr_indexes (table_id INTEGER NOT NULL, seq INTEGER NOT NULL, name TEXT "
                       "NOT NULL" +
                       collate +
                       ", storage_name TEXT NOT NULL, is_unique INTEGER NOT NULL, is_pk INTEGER "
                       "NOT NULL, constid INTEGER NOT NULL, columns TEXT NOT NULL, descending "
                       "TEXT NOT NULL, filter TEXT NOT NULL, PRIMARY KEY (table_id, seq))");
            state.Exec("CREATE TABLE IF NOT EXISTS " + s +
                       "xr_users (name TEXT PRIMARY KEY NOT NULL" + collate +
                       ", login TEXT NOT NULL" + collate + ")");
            state.Exec("CREATE TABLE IF NOT EXISTS " + s + "xr_role_members (role TEXT NOT NULL" +
                       collate + ", member TEXT NOT NULL" + collate +
                       ", PRIMARY KEY (role, member))");
            for (const SystemTable& table : tables) {
                std::string sql = CreateTableSql(db, table.name, table.columns);
                sql.insert(std::string("CREATE TABLE ").size(), "IF NOT EXISTS ");
                state.Exec(sql);
            }
            // The lookups of the system tables by id, name and owner.
            static constexpr const char* kIndexes[] = {
                "UNIQUE INDEX IF NOT EXISTS %sxr_sysobjects_id ON sysobjects (id)",
                "INDEX IF NOT EXISTS %sxr_sysobjects_name ON sysobjects (name)",
                "INDEX IF NOT EXISTS %sxr_sysobjects_parent ON sysobjects (parent_obj)",
                "INDEX IF NOT EXISTS %sxr_syscolumns_id ON syscolumns (id, colid)",
                "INDEX IF NOT EXISTS %sxr_sysconstraints_id ON sysconstraints (id)",
                "INDEX IF NOT EXISTS %sxr_sysconstraints_constid ON sysconstraints (constid)",
            };
            for (const char* index : kIndexes) {
                std::string sql = std::string("CREATE ") + index;
                sql.replace(sql.find("%s"), 2, s);
                state.Exec(sql);
            }
            // The system tables' own rows, afresh.
            for (const SystemTable& table : tables) {
                const std::string id = std::to_string(table.id);
                state.Exec("DELETE FROM " + s + "sysobjects WHERE id = " + id);
                state.Exec("DELETE FROM " + s + "syscolumns WHERE id = " + id);
                InsertObject(state, db, table.id, table.name, "S", 0);
                for (size_t i = 0; i < table.columns.size(); ++i) {
                    InsertColumnRow(state, db, table.id, static_cast<int>(i) + 1, table.columns[i]);
                }
            }
            state.Forget(db);
            state.Stamp(db);
        }
        state.Exec(own ? "COMMIT" : "RELEASE xr_catalog");
    } catch (...) {
        state.Forget(db);
        if (own) {
            sqlite3_exec(state.handle, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            sqlite3_exec(state.handle, "ROLLBACK TO xr_catalog; RELEASE xr_catalog", nullptr,
                         nullptr, nullptr);
        }
        throw;
    }
}

}  // namespace

void CreateSystemTables(CatalogState& state, const std::string& db) {
    const std::vector<SystemTable> tables = SystemTables();
    if (ReadShape(state, db, tables).Complete()) return;
    CompleteCatalog(state, db, tables);
}

void RepairSystemTables(CatalogState& state, const std::string& db) {
    const std::vector<SystemTable> tables = SystemTables();
    CatalogShape shape = ReadShape(state, db, tables);
    if (shape.Complete() || shape.none) return;
    try {
        CompleteCatalog(state, db, tables);
    } catch (const ComError& e) {
        std::string missing;
        for (const std::string& name : shape.missing)
            missing += (missing.empty() ? "" : ", ") + name;
        if (missing.empty()) missing = "rows of sysobjects or syscolumns";
        Fail("The catalog of database '" + db + "' is incomplete (missing: " + missing +
             ") and could not be completed: " + e.Description());
    }
}

}  // namespace detail

// ---- Catalog: cache and lookups ---------------------------------------------------

using detail::Quote;
using detail::Sql;

Catalog::Catalog(sqlite3* handle) : m_impl(std::make_unique<Impl>(handle)) {}

Catalog::~Catalog() = default;

void Catalog::InitDatabase(const std::string& db) {
    detail::CreateSystemTables(*m_impl, db);
    m_impl->Forget(db);
}

void Catalog::CheckOpened(const std::string& db) {
    detail::RepairSystemTables(*m_impl, db);
    m_impl->Forget(db);
}

void Catalog::Validate(const std::string& db) {
    m_impl->retired.clear();
    m_impl->Validate(db);
}

void Catalog::InvalidateAll() {
    for (auto& entry : m_impl->caches) {
        m_impl->Retire(entry.second);
        entry.second.validated = false;
        entry.second.hasCatalog = -1;
        entry.second.hasConstraints = -1;
    }
    m_impl->retired.clear();
}

const TableDef* Catalog::FindTable(const std::string& db, std::string_view name) {
    return m_impl->Find(db, name);
}

bool Catalog::ObjectExists(const std::string& db, std::string_view name) {
    if (m_impl->ObjectNameTaken(db, name) || m_impl->TableExists(db, name)) return true;
    if (!m_impl->HasCatalog(db)) return false;
    Sql q(*m_impl, "SELECT 1 FROM " + Quote(db) + ".xr_indexes WHERE name = ?1");
    return q.Bind(1, name).Step();
}

const TableDef* Catalog::TableOfIndex(const std::string& db, std::string_view storageName) {
    if (!m_impl->HasCatalog(db)) return nullptr;
    std::string table;
    {
        Sql q(*m_impl, "SELECT o.name FROM " + Quote(db) + ".xr_indexes i JOIN " + Quote(db) +
                           ".sysobjects o ON o.id = i.table_id WHERE i.storage_name = ?1");
        if (!q.Bind(1, storageName).Step()) return nullptr;
        table = q.Text(0);
    }
    return m_impl->Find(db, table);
}

std::optional<int32_t> Catalog::ObjectId(const std::string& db, std::string_view name) {
    if (!m_impl->HasCatalog(db)) return std::nullopt;
    Sql q(*m_impl, "SELECT id FROM " + Quote(db) + ".sysobjects WHERE name = ?1");
    if (!q.Bind(1, name).Step()) return std::nullopt;
    return static_cast<int32_t>(q.Int(0));
}

std::optional<std::string> Catalog::ObjectName(const std::string& db, int32_t id) {
    if (!m_impl->HasCatalog(db)) return std::nullopt;
    Sql q(*m_impl, "SELECT name FROM " + Quote(db) + ".sysobjects WHERE id = ?1");
    if (!q.Bind(1, id).Step()) return std::nullopt;
    return q.Text(0);
}

std::optional<int64_t> Catalog::IdentCurrent(const std::string& db, std::string_view table) {
    const TableDef* def = m_impl->Find(db, table);
    if (!def || !def->IdentityColumn()) return std::nullopt;
    // Nothing generated yet (or truncated since): the server answers the seed.
    const int64_t seed = def->IdentityColumn()->identitySeed;
    if (def->IdentityColumn()->CountedIdentity()) {
        Sql q(*m_impl, "SELECT value FROM " + Quote(db) + ".xr_meta WHERE name = ?1");
        if (q.Bind(1, "ident:" + std::to_string(def->id)).Step()) return q.Int(0);
        return seed;
    }
    std::optional<int64_t> current = m_impl->ReadSequence(db, def->name);
    if (!current || *current < seed) return seed;
    return current;
}

// ---- Logins -------------------------------------------------------------------------

namespace {

const char* const kFixedRoles[] = {
    "db_owner",      "db_accessadmin",    "db_securityadmin",
    "db_ddladmin",   "db_backupoperator", "db_datareader",
    "db_datawriter", "db_denydatareader", "db_denydatawriter",
};

void CheckPrincipalName(std::string_view name, const char* what) {
    if (Trim(name).empty()) detail::Fail(std::string("A ") + what + " name must not be empty.");
    if (name.size() > 128) {
        detail::Fail("The identifier that starts with '" + std::string(name.substr(0, 128)) +
                     "' is too long. Maximum length is 128.");
    }
}

void EnsureUserTables(detail::CatalogState& state, const std::string& db) {
    if (state.TableExists(db, "xr_users") && state.TableExists(db, "xr_role_members")) return;
    const std::string collate = std::string(" COLLATE ") + kCollation;
    state.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) +
               ".xr_users (name TEXT PRIMARY KEY NOT NULL" + collate + ", login TEXT NOT NULL" +
               collate + ")");
    state.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) + ".xr_role_members (role TEXT NOT NULL" +
               collate + ", member TEXT NOT NULL" + collate + ", PRIMARY KEY (role, member))");
}

}  // namespace

void Catalog::AddLogin(std::string_view name, std::optional<std::string_view> password,
                       std::string_view defaultDb) {
    CheckPrincipalName(name, "login");
    const std::string master = detail::kMasterSchema;
    if (!m_impl->TableExists(master, "xr_logins")) {
        m_impl->Exec("CREATE TABLE IF NOT EXISTS " + Quote(master) +
                     ".xr_logins (name TEXT PRIMARY KEY NOT NULL COLLATE " + kCollation +
                     ", has_password INTEGER NOT NULL, default_db TEXT NOT NULL)");
    }
    {
        Sql q(*m_impl, "SELECT 1 FROM " + Quote(master) + ".xr_logins WHERE name = ?1");
        if (q.Bind(1, name).Step()) {
            detail::Fail("The server principal '" + std::string(name) + "' already exists.");
        }
    }
    // Only whether a password was given is kept; the password itself never
    // reaches a file.
    Sql q(*m_impl, "INSERT INTO " + Quote(master) +
                       ".xr_logins (name, has_password, default_db) VALUES (?1, ?2, ?3)");
    q.Bind(1, name).Bind(2, password && !password->empty() ? 1 : 0).Bind(3, defaultDb).Run();
}

void Catalog::GrantDbAccess(const std::string& db, std::string_view login) {
    CheckPrincipalName(login, "login");
    const std::string master = detail::kMasterSchema;
    bool known = false;
    if (m_impl->TableExists(master, "xr_logins")) {
        Sql q(*m_impl, "SELECT 1 FROM " + Quote(master) + ".xr_logins WHERE name = ?1");
        known = q.Bind(1, login).Step();
    }
    if (!known) {
        detail::Fail("'" + std::string(login) +
                     "' is not a valid login or you do not have permission.");
    }
    EnsureUserTables(*m_impl, db);
    {
        Sql q(*m_impl, "SELECT 1 FROM " + Quote(db) + ".xr_users WHERE name = ?1");
        if (q.Bind(1, login).Step()) {
            detail::Fail("User, group, or role '" + std::string(login) +
                         "' already exists in the current database.");
        }
    }
    Sql q(*m_impl, "INSERT INTO " + Quote(db) + ".xr_users (name, login) VALUES (?1, ?1)");
    q.Bind(1, login).Run();
}

void Catalog::AddRoleMember(const std::string& db, std::string_view role, std::string_view member) {
    const char* fixedRole = nullptr;
    for (const char* candidate : kFixedRoles) {
        if (IEquals(candidate, Trim(role))) fixedRole = candidate;
    }
    if (!fixedRole) {
        detail::Fail("Cannot alter the role '" + std::string(role) +
                     "', because it does not exist or you do not have permission.");
    }
    CheckPrincipalName(member, "user");
    EnsureUserTables(*m_impl, db);
    bool isUser = IEquals(member, "dbo");
    if (!isUser) {
        Sql q(*m_impl, "SELECT 1 FROM " + Quote(db) + ".xr_users WHERE name = ?1");
        isUser = q.Bind(1, member).Step();
    }
    if (!isUser) {
        detail::Fail("Cannot add the principal '" + std::string(member) +
                     "', because it does not exist or you do not have permission.");
    }
    {
        Sql q(*m_impl,
              "SELECT 1 FROM " + Quote(db) + ".xr_role_members WHERE role = ?1 AND member = ?2");
        if (q.Bind(1, fixedRole).Bind(2, member).Step()) {
            detail::Fail("User or role '" + std::string(member) +
                         "' is already a member of role '" + fixedRole + "'.");
        }
    }
    Sql q(*m_impl, "INSERT INTO " + Quote(db) + ".xr_role_members (role, member) VALUES (?1, ?2)");
    q.Bind(1, fixedRole).Bind(2, member).Run();
}

}  // namespace xr::engine::sqlite
