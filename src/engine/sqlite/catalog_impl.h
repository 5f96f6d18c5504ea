// Inside the catalog: the statement helper, the per-database cache and the
// storage of the metadata tables. Shared by catalog.cpp (lookups, cache,
// logins) and catalog_ddl.cpp (the DDL); not part of the layer's interface.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/sqlite/catalog.h"
#include "engine/system_tables.h"
#include "platform/error.h"

namespace xr::engine::sqlite::detail {

// Names compare without case (ASCII), as the server compares identifiers.
struct ILess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// "name" quoted for SQLite.
std::string Quote(std::string_view name);
// 'text' with quotes doubled.
std::string QuoteText(std::string_view text);
// Names of the engine's and the catalog's own tables (sqlite_..., xr_...).
bool IsReservedName(std::string_view name);
// The error every failing operation throws.
[[noreturn]] void Fail(std::string message);

struct CatalogState;

// A prepared statement kept for reuse.
struct KeptStatement {
    sqlite3_stmt* stmt = nullptr;
    bool busy = false;  // in use: a nested use of the same text prepares its own
};

// One statement on the handle. Statements with a fixed text are prepared once
// and kept; the helper resets the statement when it goes out of scope so that
// no statement stays active (an active one would block a DROP TABLE).
class Sql {
public:
    // `keep`: prepare once and reuse (texts without literal names in them).
    Sql(CatalogState& state, const std::string& text, bool keep = true);
    ~Sql();
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;

    Sql& Bind(int index, int64_t value);
    Sql& Bind(int index, std::string_view text);
    Sql& Bind(int index, const Value& value);
    Sql& BindNull(int index);

    bool Step();  // true while there is a row; throws on error
    void Run();   // steps to the end

    bool IsNull(int column) const;
    int64_t Int(int column) const;
    std::string Text(int column) const;
    Value Get(int column) const;

private:
    CatalogState& m_state;
    sqlite3_stmt* m_stmt = nullptr;
    KeptStatement* m_kept = nullptr;  // the kept statement in use, else a one-off
};

// A database's cached definitions, good while the file's schema version and
// catalog stamp are the ones they were read at.
struct DbCache {
    bool validated = false;
    int64_t schemaVersion = -1;
    int64_t stamp = 0;
    int hasCatalog = -1;      // -1 unknown, 0 no system tables, 1 initialised
    int hasConstraints = -1;  // xr_constraints: -1 unknown, 0 not made yet, 1 there
    // Null entries remember tables that do not exist.
    std::map<std::string, std::unique_ptr<TableDef>, ILess> tables;
};

struct CatalogState {
    explicit CatalogState(sqlite3* handle);
    ~CatalogState();

    sqlite3* handle;
    std::unordered_map<std::string, KeptStatement> statements;
    std::map<std::string, DbCache, ILess> caches;
    // Definitions handed out before a DDL dropped them from the cache; freed on
    // the next Validate so that a caller's pointer survives its own statement.
    std::vector<std::unique_ptr<TableDef>> retired;
    std::mt19937 random;
    // Empty tables altered inside a transaction whose stored form lags their
    // definition (kept here, the definition to read them by), by DeferKey.
    std::map<std::string, std::shared_ptr<const TableDef>> deferred;
    static std::string DeferKey(const std::string& db, std::string_view table);

    DbCache& Cache(const std::string& db);
    void Retire(DbCache& cache);
    // Forgets what is known about `db` after a DDL; the next lookup reads afresh.
    void Forget(const std::string& db);
    // Caches the definition a successful DDL left `def`'s table with, as a
    // lookup would read it; the database's other definitions stay.
    void Install(const std::string& db, TableDef def);
    // The file's schema moved by this connection's own hand without changing
    // any definition cached: the cache takes the new version and stamp.
    void KeepCache(const std::string& db);

    // Reads the file's version and stamp; drops the cache when they moved.
    void Validate(const std::string& db);
    int64_t SchemaVersion(const std::string& db);
    int64_t ReadStamp(const std::string& db);
    bool HasCatalog(const std::string& db);
    // Writes a new random stamp: another connection's cache built on the old
    // state can no longer match, even if a rollback brings the schema version back.
    void Stamp(const std::string& db);

    void Exec(const std::string& sql);                                 // a one-off statement (DDL)
    bool TableExists(const std::string& db, std::string_view name);    // any SQLite table
    bool IndexNameUsed(const std::string& db, std::string_view name);  // any SQLite object
    bool ObjectNameTaken(const std::string& db, std::string_view name);  // sysobjects
    int32_t NewObjectId(const std::string& db);

    // The identity counter of a table in sqlite_sequence; none when it has no row there.
    std::optional<int64_t> ReadSequence(const std::string& db, std::string_view table);

    const TableDef* Find(const std::string& db, std::string_view name);
    std::unique_ptr<TableDef> Load(const std::string& db, std::string_view name);
    std::unique_ptr<TableDef> LoadUnregistered(const std::string& db, std::string_view name);
    void ReadStoredColumns(TableDef& def);
};

// SQLite column declaration of a column (type text, collation, NOT NULL,
// DEFAULT in storage representation).
std::string ColumnDeclaration(const ColumnDef& column);
// The DEFAULT literal of `def` for a column of `type`; empty when the value is NULL.
std::string DefaultLiteral(const DefaultDef& def, const TypeSpec& type);
// "CREATE TABLE "db"."name" (...)".
std::string CreateTableSql(const std::string& db, std::string_view name,
                           const std::vector<ColumnDef>& columns);
// The same with `def`'s enabled foreign keys and checks (named as the server names them).
std::string CreateTableSql(const std::string& db, std::string_view name, const TableDef& def);
std::string CreateIndexSql(const std::string& db, std::string_view table, const IndexDef& index);
// A unique index admits one row whose key holds NULLs, not several as SQLite's
// own would: the index that says so, or "" when no key column may be NULL.
std::string NullKeyIndexSql(const std::string& db, const TableDef& table, const IndexDef& index);

// The system tables' values (engine/system_tables.h).
using engine::DescribeType;
using engine::kColumnIdentity;
using engine::kColumnNullable;
using engine::kStatusCheck;
using engine::kStatusForeignKey;
using engine::kStatusNamedDefault;
using engine::kStatusPrimaryKey;
using engine::kStatusSystemDefault;
using engine::kStatusUniqueKey;
using engine::ObjectType;
using engine::PadXtype;
using engine::TypeInfo;

// Metadata rows (the system tables and the private xr_ tables).
void InsertObject(CatalogState& state, const std::string& db, int32_t id, std::string_view name,
                  std::string_view xtype, int32_t parent);
void InsertColumnRow(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                     const ColumnDef& column);
void InsertDefaultRows(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                       const DefaultDef& def);
void DeleteObjectRows(CatalogState& state, const std::string& db, int32_t id);
void InsertIndexRow(CatalogState& state, const std::string& db, int32_t tableId,
                    const IndexDef& index);

// A value kept in xr_meta (identity seeds, steps and counted identities).
void WriteMeta(CatalogState& state, const std::string& db, const std::string& name, int64_t value);

// Foreign keys and checks (xr_constraints, made when the first is added).
void EnsureConstraintTable(CatalogState& state, const std::string& db);
bool HasConstraintTable(CatalogState& state, const std::string& db);
// `colid`: the column of a column-level constraint, else 0.
void InsertConstraintRow(CatalogState& state, const std::string& db, int32_t tableId, int colid,
                         const ForeignKeyDef* fk, const CheckDef* check);

// Column lists of xr_indexes (system_tables.h).
using engine::JoinNames;
using engine::SplitNames;

// The private tables and the system tables of a new database file.
void CreateSystemTables(CatalogState& state, const std::string& db);
// A file whose catalog is there in part gets the rest; a file without any is
// left as it is. Throws when the catalog is incomplete and cannot be completed.
void RepairSystemTables(CatalogState& state, const std::string& db);

// The SQLite schema name of the master file.
inline constexpr const char* kMasterSchema = "main";

}  // namespace xr::engine::sqlite::detail

namespace xr::engine::sqlite {

struct Catalog::Impl : detail::CatalogState {
    using CatalogState::CatalogState;
};

}  // namespace xr::engine::sqlite
