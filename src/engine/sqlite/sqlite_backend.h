// The embedded engine behind the interpreter: one SQLite handle over a server
// folder, MASTER.db as its main schema and every other database an attached
// file (see server.h).
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/backend.h"
#include "engine/sqlite/catalog.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_file;

namespace xr::engine::sqlite {

// A statement of the handle. Sessions open their handles without a mutex,
// so a column's value is read directly.
class SqliteStatement final : public engine::Statement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* st) : m_db(db), m_st(st) {}
    ~SqliteStatement() override;

    void BindNull(int i) override;
    void BindInt(int i, int64_t v) override;
    void BindReal(int i, double v) override;
    void Bind(int i, const Value& v) override;
    void BindTextRef(int i, std::string_view text) override;
    void BindBlobRef(int i, std::string_view bytes) override;
    void ClearBindings() override;
    Step Next() override;
    const EngineError& Error() const override { return m_error; }
    void Reset() override;
    int ColumnCount() const override;
    bool IsNull(int i) override;
    int64_t Int(int i) override;
    Value Column(int i, const TypeSpec& type) override;
    void ColumnInto(int i, const TypeSpec& type, Variant* out) override;
    void RawInto(int i, Variant* out) override;
    void RowInto(int first, size_t keys, const std::vector<TypeSpec>& types,
                 const std::vector<uint8_t>* columns, SourceRow* row) override;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_st;
    EngineError m_error;
};

class SqliteBackend final : public engine::Backend {
public:
    // `handle` (the session's, with MASTER.db as its main schema) stays the
    // session's; `folder` is the server folder.
    SqliteBackend(sqlite3* handle, std::string folder);
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend&) = delete;
    SqliteBackend& operator=(const SqliteBackend&) = delete;

    void Open(BackendHost& host) override;

    std::unique_ptr<engine::Statement> Prepare(const std::string& sql) override;
    void Exec(const std::string& sql) override;
    ComError MapError(const EngineError& error, std::string_view sql,
                      const std::string& database) override;
    int64_t Changes() override;
    int64_t TotalChanges() override;
    int64_t LastInsertId() override;

    bool InTransaction() override;
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;
    bool AbandonTransaction() override;
    void Savepoint(const char* name) override;
    void ReleaseSavepoint(const char* name) override;
    bool TryReleaseSavepoint(const char* name) override;
    bool RollbackToSavepoint(const char* name) override;

    std::string Attach(std::string_view database) override;
    std::string DatabaseName(const std::string& schema) override;
    void CreateDatabase(const std::string& name) override;
    void DropDatabase(const std::string& name) override;
    uint64_t DataMark(const std::string& schema) override;
    bool SchemaChanged() override;
    void OwnSchemaChange(const std::string& schema) override;
    void TableMade(const std::string& schema, const std::string& name) override;
    void WatchWrites(const std::string& schema, const std::string& table) override;
    std::vector<int64_t> WrittenRows() override;
    void ForgetSchemaVersions() override;
    engine::Catalog& Catalog() override { return m_catalog; }
    bool SystemTable(const std::string& schema, const std::string& name, TableDef* out) override;

    Plan RenderSelect(const SelectStmt& select, RenderContext& ctx) override;
    Plan RenderInsert(const Stmt& stmt, RenderContext& ctx) override;
    Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx) override;
    Plan RenderDelete(const Stmt& stmt, RenderContext& ctx) override;
    Plan RenderScalar(const Expr& expr, RenderContext& ctx) override;
    Plan RenderCondition(const Expr& condition, RenderContext& ctx) override;
    Plan RenderView(const SelectStmt& select, RenderContext& ctx) override;
    std::string RenderIndexFilter(const Expr& condition, const TableDef& table,
                                  RenderContext& ctx) override;
    std::string InlineValue(const Value& v) override;
    std::string QuoteIdent(std::string_view name) override;
    std::string Parameter(int n) override;
    std::string RowId(const std::string& alias) override;
    std::string CountedIdentity(const std::string& schema, const TableDef& table) override;

    // For the session functions: the session above and this handle's catalog.
    BackendHost& Host() { return *m_host; }
    sqlite::Catalog& Tables() { return m_catalog; }
    // The user databases of the server: the files of its folder, in name order.
    std::vector<std::string> Databases() const;
    const std::string& Folder() const { return m_folder; }

private:
    // Attaches a database's file; throws ComError(E_FILECORRUPT_) naming the
    // file when it cannot be used.
    void AttachFile(const std::string& file, const std::string& schema,
                    const std::string& database);
    void DetachIdle();
    std::string AttachGlobal();
    void DropGlobalTables() noexcept;
    void Detach(const std::string& schema);
    void DropVersionStatements();
    int MainSynchronous();
    sqlite3_stmt* PrepareRaw(const std::string& sql);
    std::string DuplicateKeyMessage(const std::string& msg);

    sqlite3* m_db;
    std::string m_folder;
    sqlite::Catalog m_catalog;
    BackendHost* m_host = nullptr;
    std::unordered_map<std::string, std::string> m_attached;  // schema -> database name
    std::unordered_map<std::string, uint32_t> m_schemaVersions;
    bool m_tempTables = false;  // the session has made tables in its tempdb
    // The ##tables this session made, with their object ids: they go with it.
    std::vector<std::pair<std::string, int32_t>> m_globalMade;
    struct WriteWatch {
        std::string schema, table;
        std::vector<int64_t> rows;
    } m_watch;
    std::unordered_map<std::string, sqlite3_stmt*> m_versionStatements;  // PRAGMA schema_version
    struct WalWatch {
        bool checked = false;
        sqlite3_file* file = nullptr;     // the database file, when its log index can be read
        sqlite3_stmt* version = nullptr;  // PRAGMA data_version otherwise
        uint64_t unknown = 0;
    };
    std::unordered_map<std::string, WalWatch> m_walWatch;
};

}  // namespace xr::engine::sqlite
