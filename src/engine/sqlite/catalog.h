// The catalog of one connection: what the embedded engine does not keep
// itself (constraint names, defaults as written, the server's object ids,
// the system tables sysobjects, syscolumns and sysconstraints) and the DDL
// that SQLite cannot do in place, done by rebuilding the table.
//
// Each database is an attached SQLite file; `db` names its schema (the
// database name in upper case). The metadata lives inside each file, so every
// connection to the same files sees the same catalog.
//
// Every operation throws ComError(DB_E_ERRORSINCOMMAND) with the server's
// message when it fails, and runs inside the caller's savepoint: a failure
// leaves partial work to the caller's rollback.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "tsql/catalog.h"

struct sqlite3;

namespace xr::engine::sqlite {

// The engine is written in the T-SQL layer's terms: its types, values and
// table definitions.
using namespace xr::tsql;

class Catalog final : public engine::Catalog {
public:
    explicit Catalog(sqlite3* handle);
    ~Catalog() override;
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // Creates the system tables in a new (empty) database file, or whatever of
    // them is missing; all or nothing.
    void InitDatabase(const std::string& db) override;
    // A file just opened: completes a catalog that is there in part (a
    // creation cut short), or throws saying what is missing.
    void CheckOpened(const std::string& db);
    // Drops cached definitions when another connection or a rollback changed
    // the schema of `db` (compares the file's schema version).
    void Validate(const std::string& db) override;
    void InvalidateAll() override;

    // Null when there is no such table (names compare without case). The
    // definition stays valid until the next Validate or InvalidateAll, even
    // across DDL (which makes the next lookup read the changed table afresh).
    const TableDef* FindTable(const std::string& db, std::string_view name) override;
    bool ObjectExists(const std::string& db,
                      std::string_view name) override;  // table, constraint or index

    void CreateTable(const std::string& db, std::string_view name,
                     std::vector<ColumnDef> columns) override;
    void DropTable(const std::string& db, std::string_view name) override;
    // Adds all columns or none; existing rows take the defaults. With
    // `deferRemake` (inside the caller's transaction) an empty table keeps its
    // stored form until FlushDeferred: an upgrade adding hundreds of columns
    // to a new table one statement at a time makes it once, not each time.
    void AddColumns(const std::string& db, std::string_view table, std::vector<ColumnDef> columns,
                    bool deferRemake = false) override;
    // Tables whose columns the catalog has but the file's table has not yet.
    bool HasDeferred() const override;
    // Makes every deferred table as the catalog has it; the databases touched.
    std::vector<std::string> FlushDeferred() override;
    Deferred SaveDeferred() const override;         // for a savepoint
    void RestoreDeferred(Deferred saved) override;  // after rolling back to it
    void DropDeferred() override;                   // the transaction was undone
    // Type, length and nullability; rows are converted, failing as the server would.
    void AlterColumn(const std::string& db, std::string_view table,
                     const ColumnDef& column) override;
    void DropColumn(const std::string& db, std::string_view table,
                    std::string_view column) override;
    void AddPrimaryKey(const std::string& db, std::string_view table, std::string_view name,
                       const std::vector<std::string>& columns) override;
    void AddDefault(const std::string& db, std::string_view table, std::string_view column,
                    DefaultDef def) override;
    // A default or a key by name ("ALTER TABLE t DROP [CONSTRAINT] name").
    void DropConstraint(const std::string& db, std::string_view table,
                        std::string_view name) override;
    void CreateIndex(const std::string& db, std::string_view table, IndexDef index) override;
    // FOREIGN KEY and CHECK constraints, enforced by the engine. With
    // `checkExisting` the rows already there must meet them (WITH CHECK).
    void AddForeignKey(const std::string& db, std::string_view table, ForeignKeyDef fk,
                       bool checkExisting) override;
    void AddCheck(const std::string& db, std::string_view table, CheckDef check,
                  bool checkExisting) override;
    // CHECK | NOCHECK CONSTRAINT: `names` empty means every foreign key and check.
    void EnableConstraints(const std::string& db, std::string_view table,
                           const std::vector<std::string>& names, bool enable,
                           bool checkExisting) override;
    void DropIndex(const std::string& db, std::string_view table, std::string_view name) override;
    // TRUNCATE TABLE: every row goes and the identity starts again at its seed.
    void Truncate(const std::string& db, std::string_view table) override;
    // The identity counter of `table` moved up to `value` when it is below
    // (values a rolled-back transaction took stay used).
    void KeepIdentity(const std::string& db, std::string_view table, int64_t value) override;
    // Whether the database may hold foreign keys or checks (cheap: no query once known).
    bool HasForeignKeys(const std::string& db) override;
    // DBCC CHECKIDENT ... RESEED [, value].
    void Reseed(const std::string& db, std::string_view table,
                std::optional<int64_t> value) override;
    // sp_rename 'table.column', 'new', 'COLUMN': keeps position, default, keys and indexes.
    void RenameColumn(const std::string& db, std::string_view table, std::string_view column,
                      std::string_view newName) override;
    void RenameTable(const std::string& db, std::string_view table,
                     std::string_view newName) override;

    std::optional<int32_t> ObjectId(const std::string& db, std::string_view name) override;
    std::optional<std::string> ObjectName(const std::string& db, int32_t id) override;
    // The last identity value generated for the table; none when the table has
    // no identity column or never generated one.
    std::optional<int64_t> IdentCurrent(const std::string& db, std::string_view table) override;

    // Server-wide logins live in the master file ("main"); database users and
    // role memberships in each database. A password is never stored, not even
    // hashed: only whether one was given (an empty password counts as none).
    void AddLogin(std::string_view name, std::optional<std::string_view> password,
                  std::string_view defaultDb) override;
    void GrantDbAccess(const std::string& db, std::string_view login) override;
    // `role` is one of the fixed database roles (db_owner, db_datareader, ...);
    // `member` a user of the database.
    void AddRoleMember(const std::string& db, std::string_view role,
                       std::string_view member) override;

    // The server's message for the engine's failure of a FOREIGN KEY (or,
    // with `check`, a CHECK) constraint in the rendered statement `sql`;
    // `engineMessage` is the engine's own text.
    // The table of the index the engine knows as `storageName`; null when none.
    const TableDef* TableOfIndex(const std::string& db, std::string_view storageName);

    std::string ConflictMessage(bool check, const std::string& engineMessage, std::string_view sql);
    // A view is a sysobjects row of type 'V', its result columns in
    // syscolumns and its query as written in xr_views.
    void CreateView(const std::string& db, std::string_view name, const ViewDef& view,
                    const std::vector<ColumnDef>& columns, bool replace) override;
    void DropView(const std::string& db, std::string_view name) override;
    std::optional<ViewDef> FindView(const std::string& db, std::string_view name) override;
    // A procedure is a sysobjects row of type 'P' and its text in xr_procedures.
    void CreateProcedure(const std::string& db, const ProcedureDef& proc, bool replace) override;
    void DropProcedure(const std::string& db, std::string_view name) override;
    std::optional<ProcedureDef> FindProcedure(const std::string& db,
                                              std::string_view name) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The SQLite name of the collation every text column is declared with.
inline constexpr const char* kCollation = "TSQL";

}  // namespace xr::engine::sqlite
