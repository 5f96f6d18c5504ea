// The catalog of a server engine session: the T-SQL definitions of the tables
// of each database schema (types as written, identity, defaults with their
// names, keys), kept in tables of the schema itself so that every session of
// the server sees the same catalog, and the DDL done on them.
//
//   sysobjects     the server's object rows (id, name, xtype, ...)
//   xr_columns     each column's T-SQL definition
//   xr_indexes     keys and indexes with their storage names
//   xr_version     a counter every DDL moves, so that other sessions notice
//
// A DDL step runs inside the caller's savepoint, as on the embedded engine.
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

namespace xr::engine::postgres {

using namespace xr::tsql;

class PgLink;
struct ViewCatalog;

// "name" quoted for PostgreSQL.
std::string Quote(std::string_view name);
// 'text' with quotes doubled.
std::string QuoteText(std::string_view text);
// The normal form text is compared in: without case, trailing blanks ignored.
std::string TextKey(const std::string& sql);
// The column type that holds values of `type` (tsql/types.h storage).
std::string StorageType(const TypeSpec& type);
// The table a database keeps its procedures' text in (pg_procedures.cpp).
void CreateProcedureTable(PgLink& link, const std::string& db);

class Catalog final : public engine::Catalog {
public:
    explicit Catalog(PgLink& link);
    ~Catalog() override;

    void InitDatabase(const std::string& db) override;
    bool HasCatalog(const std::string& db);
    void Validate(const std::string& db) override;
    void InvalidateAll() override;
    // The DDL counter of `db` (xr_version), -1 when it has none.
    int64_t Version(const std::string& db);

    const TableDef* FindTable(const std::string& db, std::string_view name) override;
    bool ObjectExists(const std::string& db, std::string_view name) override;
    // The table and index whose storage name is `storage`, for the messages
    // of key violations.
    const TableDef* TableOfIndex(const std::string& db, std::string_view storage,
                                 const IndexDef** index);

    void CreateTable(const std::string& db, std::string_view name,
                     std::vector<ColumnDef> columns) override;
    void DropTable(const std::string& db, std::string_view name) override;
    void AddColumns(const std::string& db, std::string_view table, std::vector<ColumnDef> columns,
                    bool deferRemake = false) override;
    // Columns added inside a transaction wait, and each table's go out
    // together as one ALTER TABLE when something else needs the table: an
    // upgrade adds hundreds of columns one statement at a time.
    bool HasDeferred() const override;
    bool YetToBeMade(const std::string& db, std::string_view table) override;
    std::vector<std::string> FlushDeferred() override;
    std::vector<std::string> FlushDeferredOf(
        const std::vector<std::pair<std::string, std::string>>& tables) override;
    Deferred SaveDeferred() const override;
    void RestoreDeferred(Deferred saved) override;
    void DropDeferred() override;
    bool DefersTables() const override;
    void DeferWithin(bool statementDefers) override;
    void AlterColumn(const std::string& db, std::string_view table,
                     const ColumnDef& column) override;
    void DropColumn(const std::string& db, std::string_view table,
                    std::string_view column) override;
    void AddPrimaryKey(const std::string& db, std::string_view table, std::string_view name,
                       const std::vector<std::string>& columns) override;
    void AddDefault(const std::string& db, std::string_view table, std::string_view column,
                    DefaultDef def) override;
    void DropConstraint(const std::string& db, std::string_view table,
                        std::string_view name) override;
    void CreateIndex(const std::string& db, std::string_view table, IndexDef index) override;
    void AddForeignKey(const std::string& db, std::string_view table, ForeignKeyDef fk,
                       bool checkExisting) override;
    void AddCheck(const std::string& db, std::string_view table, CheckDef check,
                  bool checkExisting) override;
    void EnableConstraints(const std::string& db, std::string_view table,
                           const std::vector<std::string>& names, bool enable,
                           bool checkExisting) override;
    void DropIndex(const std::string& db, std::string_view table, std::string_view name) override;
    void Truncate(const std::string& db, std::string_view table) override;
    void KeepIdentity(const std::string& db, std::string_view table, int64_t value) override;
    bool HasForeignKeys(const std::string& db) override;
    bool RemakesTables() const override { return false; }
    void Reseed(const std::string& db, std::string_view table,
                std::optional<int64_t> value) override;
    void RenameColumn(const std::string& db, std::string_view table, std::string_view column,
                      std::string_view newName) override;
    void RenameTable(const std::string& db, std::string_view table,
                     std::string_view newName) override;

    std::optional<int32_t> ObjectId(const std::string& db, std::string_view name) override;
    std::optional<std::string> ObjectName(const std::string& db, int32_t id) override;
    std::optional<int64_t> IdentCurrent(const std::string& db, std::string_view table) override;

    void AddLogin(std::string_view name, std::optional<std::string_view> password,
                  std::string_view defaultDb) override;
    void GrantDbAccess(const std::string& db, std::string_view login) override;
    void AddRoleMember(const std::string& db, std::string_view role,
                       std::string_view member) override;

    void CreateView(const std::string& db, std::string_view name, const ViewDef& view,
                    const std::vector<ColumnDef>& columns, bool replace) override;
    void DropView(const std::string& db, std::string_view name) override;
    std::optional<ViewDef> FindView(const std::string& db, std::string_view name) override;

    // For the parts of the catalog kept in other files (pg_constraints.cpp).
    PgLink& Link();
    // The catalog changes this session made: a statement that made some
    // changed the database even when no row of a table changed.
    int64_t DdlSteps() const;
    int32_t NewObjectId(const std::string& db);
    // The end of a DDL step: cached definitions go, other sessions notice.
    void Changed(const std::string& db);
    // The start of a DDL step: waits for other sessions' catalog changes
    // (LockSchemaMark, pg_serialize.h).
    void Serialize(const std::string& db);
    // A constraint's sysobjects and sysconstraints rows.
    void InsertObjectRows(const std::string& db, int32_t id, std::string_view name,
                          const char* xtype, int32_t parent, int colid, int64_t status);
    // The server's message for a row a foreign key or a check refused, from
    // the name PostgreSQL reports (xr_fk_..., xr_ck_...); empty when unknown.
    std::string ConflictMessage(const std::string& db, std::string_view constraint,
                                const std::string& statement, const std::string& database);

    // Stored procedures (pg_procedures.cpp).
    void CreateProcedure(const std::string& db, const ProcedureDef& proc, bool replace) override;
    void DropProcedure(const std::string& db, std::string_view name) override;
    std::optional<ProcedureDef> FindProcedure(const std::string& db,
                                              std::string_view name) override;

    // A rollback may have undone the session's tempdb catalog or tables in
    // it: they are read afresh at the next use.
    void ForgetTemp();
    // A count that moves with every change of the session's tempdb (its
    // catalog has no stored version: no other session changes it).
    uint64_t TempVersion() const;

private:
    // What the views' part of the catalog (pg_views.h) works with.
    ViewCatalog Views(const std::string& db);

    struct Impl;
    std::unique_ptr<Impl> m_impl;

    // What the procedures' part of the catalog (pg_procedures.cpp) builds on.
    bool NameTaken(const std::string& db, std::string_view name);
    void InsertObject(const std::string& db, int32_t id, std::string_view name, const char* xtype);
    // Whether the table `name` of the server's own exists in `db` (its
    // presence once seen is kept).
    bool HasOwnTable(const std::string& db, const char* name);
};

}  // namespace xr::engine::postgres
