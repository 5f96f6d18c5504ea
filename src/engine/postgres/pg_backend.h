// The server engine behind the interpreter: one libpq connection to the
// PostgreSQL database of a server, each T-SQL database a schema in it (see
// pg_session.h).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/backend.h"
#include "engine/connection_string.h"
#include "engine/postgres/pg_catalog.h"

struct pg_conn;
struct pg_result;

namespace xr::engine::postgres {

class PgStatement;

// The connection, and the round trips every part of the engine makes on it.
class PgLink {
public:
    // Connects as the connection string says; throws ComError with a text
    // that never holds the password. With `create`, a missing server
    // database is made first.
    PgLink(const ConnectionString& cs, bool create);
    ~PgLink();
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    // The connection, with any read sent ahead collected (Settle).
    pg_conn* Handle() const {
        Settle();
        return m_conn;
    }
    // A read sent ahead of its caller (PgStatement::SendAhead) is collected
    // before anything else uses the connection, so that answers come back in
    // the order they were asked for and the transaction's state is known.
    void Settle() const;
    void SetPending(PgStatement* statement) { m_pending = statement; }
    // Nothing waits to go out or to come back.
    bool Idle() const { return !m_pending && m_deferred.empty(); }
    // Runs a fixed text; throws ComError(DB_E_ERRORSINCOMMAND) with the
    // server's message.
    void Exec(const std::string& sql);
    // Runs a fixed text; false (and `error`) when the server refused.
    bool TryExec(const std::string& sql, EngineError* error = nullptr);
    // The rows of a query with text parameters, each value as text ("" for
    // NULL); throws as Exec.
    std::vector<std::vector<std::string>> Select(const std::string& sql,
                                                 const std::vector<std::string>& params = {});
    // Throws the ComError of a failure: the server's message, or that the
    // connection is lost.
    [[noreturn]] void Raise(const EngineError& e);
    static std::string LostText(const std::string& why);
    // The failure of a result as an EngineError (SQLSTATE as its code).
    static EngineError ErrorOf(pg_result* result, pg_conn* conn);
    // A name for a new prepared statement of the connection.
    std::string NextStatementName() { return "xs" + std::to_string(++m_statements); }
    // The server's schema mark (xr.ddl) that this session's caches match;
    // -1 when unknown. Every DDL moves it, every statement checks it.
    int64_t SchemaMark() const { return m_schemaMark; }
    void SetSchemaMark(int64_t mark) { m_schemaMark = mark; }
    // Whether the connection still works.
    bool Alive() const;
    // A connection the server dropped is opened again (false when it works
    // or cannot be reopened); each reopening is a new generation, whose
    // session has none of the old one's prepared statements or settings.
    bool Revive();
    uint64_t Generation() const { return m_generation; }
    // Whether another session's committed writes were announced since the
    // last call (kWritesChannel; no round trip).
    bool OthersWrote();
    // The commands run through Exec/TryExec so far.
    uint64_t Commands() const { return m_commands; }
    std::string ServerVersion() const;

    // A command whose result nothing waits for (a catalog row, a mark, a
    // savepoint taken or released on success): it goes out with the link's
    // next round trip, all that wait in one pipeline, so that a DDL step
    // costs no round trip of its own for its bookkeeping. One the server
    // refuses fails that next call; a ROLLBACK still runs after it.
    void Defer(std::string sql, std::vector<std::string> params = {});
    // Sends what waits; false (and `error`) when the server refused one.
    // With `last`, the result of the last command that waited (the caller's
    // query riding with the rest) is handed back there.
    bool Flush(EngineError* error = nullptr, pg_result** last = nullptr);
    // Inside a transaction that has not failed.
    bool InTransaction() const;
    // A count that moves whenever a transaction of the session ends.
    uint64_t Transactions() const { return m_transactions; }
    // A count that moves whenever the names of objects may have changed
    // otherwise than by rows added to sysobjects: a rollback, a command
    // that failed, or one that deletes or renames rows of sysobjects.
    uint64_t NamesMoved() const { return m_namesMoved; }

    // The schema mark's row lock (pg_serialize.h) taken in the open
    // transaction, and the mark as the lock found it (moved by this
    // session's DDL since). The lock lasts until the transaction ends or a
    // rollback to a savepoint may have undone it.
    bool MarkLocked() const;
    void MarkLockTaken(int64_t mark) {
        m_markLocked = true;
        m_lockedMark = mark;
        m_moved.clear();
    }
    // Whether `counter` (a database's DDL counter, or "" for the server's
    // mark) is yet to move in the transaction holding the lock; it counts
    // as moved from then on. Other sessions see one move as well as many.
    bool FirstMove(const std::string& counter) { return m_moved.insert(counter).second; }
    int64_t LockedMark() const { return m_lockedMark; }
    void MoveLockedMark() { ++m_lockedMark; }

private:
    friend class PgStatement;
    pg_conn* m_conn = nullptr;
    mutable PgStatement* m_pending = nullptr;  // Settle
    void Configure();
    // Forgets what the end of a transaction or a rollback undoes.
    void Undone(const std::string& sql);
    struct Deferred {
        std::string sql;
        std::vector<std::string> params;
    };
    std::vector<Deferred> m_deferred;
    static std::vector<Deferred> Batched(std::vector<Deferred> pending, bool keepLast);
    bool m_markLocked = false;
    uint64_t m_transactions = 0;
    uint64_t m_namesMoved = 0;
    void Noticed(const std::string& sql) {
        if (sql.find("sysobjects") != std::string::npos && sql.rfind("INSERT", 0) != 0 &&
            sql.rfind("SELECT", 0) != 0)
            ++m_namesMoved;
    }
    std::set<std::string> m_moved;  // FirstMove
    int64_t m_lockedMark = -1;

    uint64_t m_statements = 0;
    int64_t m_schemaMark = -1;
    uint64_t m_generation = 0;
    uint64_t m_commands = 0;
};

class PgBackend;

// The channel every session's committed writes are announced on, and the
// announcement.
inline constexpr const char* kWritesChannel = "xr_data";
inline constexpr const char* kNotifyWrites = "NOTIFY xr_data";

// The prepared check that the server's schema mark is the one a statement
// was rendered for (xr.ddl, moved by every DDL).
inline constexpr const char* kCheckStatement = "xr_check";

// How an insert of explicit identity values begins (pg_renderer.cpp).
inline constexpr const char* kKeptInsert = "WITH xr_ins AS (INSERT ";

// The schema of the ##tables every session of the server shares (a name in
// lower case: no database's schema can take it).
inline constexpr const char* kGlobalTempSchema = "xr_tempdb";

// One prepared statement: prepared on the server when it first runs, again
// whenever the types of its parameters change; all its rows are fetched in
// one round trip, in binary.
class PgStatement final : public engine::Statement {
public:
    PgStatement(PgBackend& backend, std::string sql);
    ~PgStatement() override;

    void BindNull(int i) override;
    void BindNull(int i, const tsql::TypeSpec& type) override;
    void BindInt(int i, int64_t v) override;
    void BindReal(int i, double v) override;
    void Bind(int i, const Value& v) override;
    void BindTextRef(int i, std::string_view text) override;
    void BindBlobRef(int i, std::string_view bytes) override;
    void ClearBindings() override;
    Step Next() override;
    const EngineError& Error() const override { return m_error; }
    void Reset() override;
    bool SendAhead() override;
    int ColumnCount() const override;
    bool IsNull(int i) override;
    int64_t Int(int i) override;
    Value Column(int i, const TypeSpec& type) override;
    void ColumnInto(int i, const TypeSpec& type, Variant* out) override;
    void RawInto(int i, Variant* out) override;
    void RowInto(int first, size_t keys, const std::vector<TypeSpec>& types,
                 const std::vector<uint8_t>* columns, SourceRow* row) override;

private:
    struct Param {
        uint32_t type = 0;  // the PostgreSQL type oid; 0 for a NULL
        std::string bytes;  // binary form
        bool null = true;
    };
    friend class PgLink;
    Param& At(int i);
    bool Run(bool guard);
    // Sends the statement behind its check (RunChecked); false when the
    // connection would not take it.
    bool Send(bool guard);
    // Takes the answer of what Send sent: the statement's result, or null
    // with m_error set.
    pg_result* Collect();
    // The bookkeeping of a statement that ran (m_result): its rows, what it
    // wrote; false with m_error when the server refused it.
    bool Ran(bool guard);
    // Fails the statement that ran under `guard`.
    Step Failed(bool guard);

    // What Send sent, for Collect: the commands of the round trip, which of
    // them is the check and which the statement.
    struct Sent {
        bool sent = false;
        bool guard = false;
        std::string prepare;  // the name it is being prepared under, if it is
        std::vector<uint32_t> types;
        int count = 0, check = 0, statement = 0;
    };
    Value Raw(int i) const;
    // ColumnInto for the forms columns are stored in; false for the others.
    bool FastInto(int i, const TypeSpec& t, Variant* out);

    PgBackend& m_backend;
    std::string m_sql;
    std::string m_name;                   // on the server; empty until prepared
    std::vector<uint32_t> m_preparedFor;  // the parameter types it was prepared with
    uint64_t m_generation = 0;            // the connection's when it was prepared
    std::vector<Param> m_params;
    pg_result* m_result = nullptr;
    int m_row = -1;
    int m_rows = 0;
    bool m_ran = false;
    bool m_insert = false;          // an INSERT handing back the ids of its rows
    bool m_callsFunctions = false;  // it calls the engine's functions (pg_functions.h)
    bool m_write = false;           // it may write rows (not a SELECT)
    Sent m_sent;
    bool m_ahead = false;      // sent ahead (SendAhead), its answer not yet taken by Next
    bool m_collected = false;  // its answer taken (m_result, or m_error)
    EngineError m_error;
};

class PgBackend final : public engine::Backend {
public:
    explicit PgBackend(PgLink& link);
    ~PgBackend() override;
    PgBackend(const PgBackend&) = delete;
    PgBackend& operator=(const PgBackend&) = delete;

    void Open(BackendHost& host) override;

    std::unique_ptr<engine::Statement> Prepare(const std::string& sql) override;
    void Exec(const std::string& sql) override;
    ComError MapError(const EngineError& error, std::string_view sql,
                      const std::string& database) override;
    int64_t Changes() override { return m_changes; }
    int64_t TotalChanges() override { return m_totalChanges + m_catalog.DdlSteps(); }
    int64_t LastInsertId() override { return m_lastInsertId; }

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
    void ForgetSchemaVersions() override;
    // The written rows' ids come back as the statements' "xr_written"
    // column (pg_renderer.cpp, CHECK OPTION).
    void WatchWrites(const std::string&, const std::string&) override {
        m_watching = true;
        m_written.clear();
    }
    std::vector<int64_t> WrittenRows() override {
        m_watching = false;
        return std::move(m_written);
    }
    engine::Catalog& Catalog() override { return m_catalog; }
    bool SystemTable(const std::string& schema, const std::string& name, TableDef* out) override;
    void TableMade(const std::string& schema, const std::string& name) override;

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
    std::string ColumnParameter(int n, const tsql::TypeSpec& t) override;
    std::string RowId(const std::string& alias) override;
    std::string OrderTerm(const std::string& key, bool descending) override {
        return key + (descending ? " DESC NULLS LAST" : " NULLS FIRST");
    }
    std::string NoRows() override { return "false"; }
    bool ReadsWhole() override { return true; }
    std::string CountedIdentity(const std::string& schema, const TableDef& table) override;

    PgLink& Link() { return m_link; }
    // Tells the engine's functions the current database; false (and
    // `error`) when the server refused.
    bool SyncSchema(EngineError* error);

private:
    friend class PgStatement;
    // tempdb (pg_temp.cpp): the shared schema of the ##tables, opened when
    // the session first names one; the ##tables the session made, dropped
    // when it closes; tempdb's catalog showing them.
    std::string AttachGlobal();
    void DropGlobalTables() noexcept;
    void DropOrphanedGlobalTables();
    void AddGlobalTables(const std::string& schema, const std::string& name, TableDef* out);
    // A rollback may have undone DDL on the session's tempdb.
    void TempRolledBack();

    // A statement ran: its rows changed and the ids it handed back.
    void Ran(int64_t changes, bool inserted, int64_t lastId);
    // The transaction ended; `undone` when it was rolled back.
    void TransactionEnded(bool undone);
    void ReadSchemaMark();
    std::string CommitSql() const;
    // The session's own set-up on the server: the check, the schema mark.
    void Configure();
    std::string DuplicateKeyMessage(const std::string& constraint, const std::string& table);

    PgLink& m_link;
    postgres::Catalog m_catalog;
    BackendHost* m_host = nullptr;
    int64_t m_changes = 0;
    int64_t m_totalChanges = 0;
    int64_t m_lastInsertId = 0;
    uint64_t m_writes = 0;       // statements that wrote, for DataMark
    uint64_t m_othersWrote = 0;  // other sessions' commits announced, for DataMark
    bool m_wroteInTransaction = false;
    // The savepoint that began the transaction (a savepoint outside one
    // opens it, as on the embedded engine); empty when the transaction was
    // begun as such or there is none.
    std::string m_openedBy;
    std::unordered_map<std::string, std::string> m_databases;  // schema -> database name
    bool m_ddlInTransaction = false;  // this session's DDL in the open transaction
    bool m_ddlUndone = false;         // ... which a rollback then undid
    uint64_t m_generation = 0;        // the connection's that the session is set up on
    std::string m_functionSchema;  // what xr.schema holds on the server
    bool m_watching = false;       // WatchWrites
    std::vector<int64_t> m_written;
    uint64_t m_tempSeen = 0;    // the tempdb change the interpreter knows of
    bool m_tempUndone = false;  // a rollback may have undone some since the last check
    std::vector<std::pair<std::string, int32_t>> m_globalMade;  // name, id
};

}  // namespace xr::engine::postgres
