// What the interpreter asks of an engine's catalog: the table definitions of
// its databases (in the T-SQL layer's terms) and the DDL on them, done as the
// server does it whatever the engine can do in place. `db` is the engine's
// schema name of a database (Backend::Attach).
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
#include <utility>
#include <vector>

#include "tsql/catalog.h"

namespace xr::engine {

class Catalog {
public:
    virtual ~Catalog() = default;

    // Creates the system tables in a new (empty) database.
    virtual void InitDatabase(const std::string& db) = 0;
    // Drops cached definitions when another connection or a rollback changed
    // the schema of `db`.
    virtual void Validate(const std::string& db) = 0;
    virtual void InvalidateAll() = 0;

    // Null when there is no such table (names compare without case). The
    // definition stays valid until the next Validate or InvalidateAll, even
    // across DDL (which makes the next lookup read the changed table afresh).
    virtual const tsql::TableDef* FindTable(const std::string& db, std::string_view name) = 0;
    // A table, constraint or index.
    virtual bool ObjectExists(const std::string& db, std::string_view name) = 0;

    virtual void CreateTable(const std::string& db, std::string_view name,
                             std::vector<tsql::ColumnDef> columns) = 0;
    virtual void DropTable(const std::string& db, std::string_view name) = 0;
    // Adds all columns or none; existing rows take the defaults. With
    // `deferRemake` (inside the caller's transaction) an empty table may keep
    // its stored form until FlushDeferred.
    virtual void AddColumns(const std::string& db, std::string_view table,
                            std::vector<tsql::ColumnDef> columns, bool deferRemake = false) = 0;
    // Tables whose columns the catalog has but the stored table has not yet.
    using Deferred = std::map<std::string, std::shared_ptr<const tsql::TableDef>>;
    virtual bool HasDeferred() const = 0;
    // Makes every deferred table as the catalog has it; the databases touched.
    virtual std::vector<std::string> FlushDeferred() = 0;
    virtual Deferred SaveDeferred() const = 0;         // for a savepoint
    virtual void RestoreDeferred(Deferred saved) = 0;  // after rolling back to it
    virtual void DropDeferred() = 0;                   // the transaction was undone
    // Whether new tables, their keys and indexes may wait too (then made
    // with all their columns at once), and whether the statement about to
    // run lets them: set before each statement, inside the caller's
    // transaction only, whose COMMIT makes them.
    virtual bool DefersTables() const { return false; }
    // Makes those waiting of `tables` (schema, name) only; the databases
    // touched.
    virtual std::vector<std::string> FlushDeferredOf(
        const std::vector<std::pair<std::string, std::string>>& /*tables*/) {
        return FlushDeferred();
    }
    virtual void DeferWithin(bool /*statementDefers*/) {}
    // Whether the table waits to be made on the server at all: made in the
    // open transaction, nothing has written it, so it holds no rows.
    virtual bool YetToBeMade(const std::string& /*db*/, std::string_view /*table*/) {
        return false;
    }
    // Type, length and nullability; rows are converted, failing as the server would.
    virtual void AlterColumn(const std::string& db, std::string_view table,
                             const tsql::ColumnDef& column) = 0;
    virtual void DropColumn(const std::string& db, std::string_view table,
                            std::string_view column) = 0;
    virtual void AddPrimaryKey(const std::string& db, std::string_view table, std::string_view name,
                               const std::vector<std::string>& columns) = 0;
    virtual void AddDefault(const std::string& db, std::string_view table, std::string_view column,
                            tsql::DefaultDef def) = 0;
    // A default or a key by name ("ALTER TABLE t DROP [CONSTRAINT] name").
    virtual void DropConstraint(const std::string& db, std::string_view table,
                                std::string_view name) = 0;
    virtual void CreateIndex(const std::string& db, std::string_view table,
                             tsql::IndexDef index) = 0;
    // FOREIGN KEY and CHECK constraints, enforced by the engine. With
    // `checkExisting` the rows already there must meet them (WITH CHECK).
    virtual void AddForeignKey(const std::string& db, std::string_view table,
                               tsql::ForeignKeyDef fk, bool checkExisting) = 0;
    virtual void AddCheck(const std::string& db, std::string_view table, tsql::CheckDef check,
                          bool checkExisting) = 0;
    // CHECK | NOCHECK CONSTRAINT: `names` empty means every foreign key and check.
    virtual void EnableConstraints(const std::string& db, std::string_view table,
                                   const std::vector<std::string>& names, bool enable,
                                   bool checkExisting) = 0;
    virtual void DropIndex(const std::string& db, std::string_view table,
                           std::string_view name) = 0;
    // TRUNCATE TABLE: every row goes and the identity starts again at its seed.
    virtual void Truncate(const std::string& db, std::string_view table) = 0;
    // The identity counter of `table` moved up to `value` when it is below
    // (values a rolled-back transaction took stay used).
    virtual void KeepIdentity(const std::string& db, std::string_view table, int64_t value) = 0;
    // Whether the database may hold foreign keys or checks (cheap: no query once known).
    virtual bool HasForeignKeys(const std::string& db) = 0;
    // Whether DDL remakes tables (so that the engine's foreign keys must be
    // off meanwhile); false where tables change in place.
    virtual bool RemakesTables() const { return true; }
    // DBCC CHECKIDENT ... RESEED [, value].
    virtual void Reseed(const std::string& db, std::string_view table,
                        std::optional<int64_t> value) = 0;
    // sp_rename 'table.column', 'new', 'COLUMN': keeps position, default, keys and indexes.
    virtual void RenameColumn(const std::string& db, std::string_view table,
                              std::string_view column, std::string_view newName) = 0;
    virtual void RenameTable(const std::string& db, std::string_view table,
                             std::string_view newName) = 0;

    virtual std::optional<int32_t> ObjectId(const std::string& db, std::string_view name) = 0;
    virtual std::optional<std::string> ObjectName(const std::string& db, int32_t id) = 0;
    // The last identity value generated for the table; none when the table has
    // no identity column or never generated one.
    virtual std::optional<int64_t> IdentCurrent(const std::string& db, std::string_view table) = 0;

    // Server-wide logins, database users and role memberships. A password is
    // never stored, not even hashed: only whether one was given.
    virtual void AddLogin(std::string_view name, std::optional<std::string_view> password,
                          std::string_view defaultDb) = 0;
    virtual void GrantDbAccess(const std::string& db, std::string_view login) = 0;
    virtual void AddRoleMember(const std::string& db, std::string_view role,
                               std::string_view member) = 0;

    // Views: the query as written is the definition; each use binds it afresh.
    struct ViewDef {
        int32_t id = 0;
        std::string name;                  // as created
        std::string query;                 // the SELECT after AS
        std::vector<std::string> columns;  // the names given after the view's name, if any
        std::string definition;            // the whole statement, as INFORMATION_SCHEMA shows it
        bool encrypted = false;            // WITH ENCRYPTION: the definition is not shown
        bool quotedIdentifier = true;      // SET QUOTED_IDENTIFIER when it was made
    };
    // Creates the view, or (`replace`, ALTER VIEW) changes the definition of
    // an existing one keeping its id. `columns` are the result columns as
    // bound when the statement ran, shown in syscolumns.
    virtual void CreateView(const std::string& db, std::string_view name, const ViewDef& view,
                            const std::vector<tsql::ColumnDef>& columns, bool replace) = 0;
    virtual void DropView(const std::string& db, std::string_view name) = 0;
    virtual std::optional<ViewDef> FindView(const std::string& db, std::string_view name) = 0;

    // Stored procedures: the CREATE PROCEDURE statement as written is the
    // definition; a session parses it when it first runs the procedure. An
    // engine without them refuses to make one and finds none.
    struct ProcedureDef {
        int32_t id = 0;
        std::string name;              // as created
        std::string text;              // the whole CREATE PROCEDURE statement
        bool quotedIdentifier = true;  // SET QUOTED_IDENTIFIER when it was made
        bool ansiNulls = true;         // SET ANSI_NULLS when it was made
        bool encrypted = false;        // WITH ENCRYPTION: the text is not shown
    };
    // Creates the procedure, or (`replace`, ALTER PROCEDURE) changes the
    // text of an existing one keeping its id.
    virtual void CreateProcedure(const std::string& db, const ProcedureDef& proc, bool replace);
    virtual void DropProcedure(const std::string& db, std::string_view name);
    virtual std::optional<ProcedureDef> FindProcedure(const std::string& db, std::string_view name);
};

}  // namespace xr::engine
