// What the T-SQL interpreter needs of a database engine: prepared statements,
// transactions and savepoints, its databases and catalog, the rendering of
// statements into its dialect and the mapping of its errors to the server's.
// The interpreter (engine/interpreter.h) is written against this alone; an
// engine implements it and hands an instance to the interpreter of each
// session it opens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "engine/plan.h"
#include "engine/session.h"
#include "platform/error.h"
#include "platform/variant.h"
#include "tsql/ast.h"
#include "tsql/types.h"

namespace xr::engine {

// A failure as the engine reported it, before it becomes the server's error
// (Backend::MapError).
struct EngineError {
    int code = 0;  // the engine's own code
    std::string message;
};

// The code of a statement refused, before any of it ran, because another
// connection changed the schema it was rendered for: the interpreter reads
// the catalog afresh and runs the statement again.
inline constexpr int kSchemaMoved = -0x5c4e;
// What the caller reads when the statement could not simply run again.
inline constexpr const char* kSchemaChangedText =
    "The schema of the database changed while the statement ran; run it again.";

// One prepared statement. Parameters count from 1, as rendered SQL numbers
// them. Reading a row costs one call per column and allocates only for the
// text of a value that is copied out.
class Statement {
public:
    virtual ~Statement() = default;

    enum class Step : uint8_t { Row, Done, Failed };

    virtual void BindNull(int i) = 0;
    // A NULL of a known type: a server that types its parameters needs it
    // where nothing else in the statement tells (NULL + 1).
    virtual void BindNull(int i, const tsql::TypeSpec& /*type*/) { BindNull(i); }
    virtual void BindInt(int i, int64_t v) = 0;
    virtual void BindReal(int i, double v) = 0;
    // A copy of the value is bound.
    virtual void Bind(int i, const tsql::Value& v) = 0;
    // The bytes are bound in place: they stay the caller's until the
    // statement is reset and the parameter bound again.
    virtual void BindTextRef(int i, std::string_view text) = 0;
    virtual void BindBlobRef(int i, std::string_view bytes) = 0;
    virtual void ClearBindings() = 0;

    // The next row. On Failed the statement has been reset and Error()
    // holds what the engine said.
    virtual Step Next() = 0;
    virtual const EngineError& Error() const = 0;
    // Back to before the first row; bindings stay.
    virtual void Reset() = 0;
    // Starts the statement with its bindings without waiting for its rows,
    // which Next then takes: a server engine's query runs while the caller
    // works on. False when the engine does not (the statement runs at Next).
    virtual bool SendAhead() { return false; }

    virtual int ColumnCount() const = 0;
    virtual bool IsNull(int i) = 0;
    virtual int64_t Int(int i) = 0;
    // A column as a value of the T-SQL type `type` is stored in.
    virtual tsql::Value Column(int i, const tsql::TypeSpec& type) = 0;
    // A column as a field value of `type`, into `out` (reusing its room).
    virtual void ColumnInto(int i, const tsql::TypeSpec& type, Variant* out) = 0;
    // A column exactly as the engine holds it, so that binding it back
    // compares as the stored value does.
    virtual void RawInto(int i, Variant* out) = 0;
    // Column `first` on into `row`, whose storage is reused: `keys` columns
    // raw (RawInto) as its key, then one field value (ColumnInto) per type,
    // of the columns marked in `columns` (null: all; the others empty). One
    // call per row: the walk of a recordset reads rows this way.
    virtual void RowInto(int first, size_t keys, const std::vector<tsql::TypeSpec>& types,
                         const std::vector<uint8_t>* columns, SourceRow* row) = 0;
};

// What the engine asks of the session above it.
class BackendHost {
public:
    virtual ~BackendHost() = default;
    // The schema unqualified names are in.
    virtual std::string CurrentSchema() = 0;
    // Whether the session still needs `schema` open (its current database,
    // a table with IDENTITY_INSERT on).
    virtual bool SchemaInUse(const std::string& schema) = 0;
    // `schema` is about to be closed: statements on it must go.
    virtual void Closing(const std::string& schema) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;

    // Starts the session's use of the engine: the master database's catalog,
    // the databases opened up front, the functions that call back into the
    // session. Throws ComError.
    virtual void Open(BackendHost& host) = 0;

    // ---- statements -------------------------------------------------------

    // Throws the mapped ComError when the engine refuses the text.
    virtual std::unique_ptr<Statement> Prepare(const std::string& sql) = 0;
    // Runs a fixed text; throws ComError(DB_E_ERRORSINCOMMAND) with the
    // engine's message.
    virtual void Exec(const std::string& sql) = 0;
    // The server's error for an engine failure of statement `sql` while
    // `database` is current.
    virtual ComError MapError(const EngineError& error, std::string_view sql,
                              const std::string& database) = 0;

    // Rows changed by the last statement; by the session in all.
    virtual int64_t Changes() = 0;
    virtual int64_t TotalChanges() = 0;
    // The row id of the last row inserted.
    virtual int64_t LastInsertId() = 0;

    // ---- transactions -----------------------------------------------------

    virtual bool InTransaction() = 0;
    virtual void BeginTransaction() = 0;  // throws
    virtual void Commit() = 0;            // throws
    virtual void Rollback() = 0;          // throws
    // Undoes the whole transaction without a word (false when it could not).
    virtual bool AbandonTransaction() = 0;
    virtual void Savepoint(const char* name) = 0;         // throws
    virtual void ReleaseSavepoint(const char* name) = 0;  // throws
    // False when the engine refused.
    virtual bool TryReleaseSavepoint(const char* name) = 0;
    // Undoes the work since the savepoint and releases it.
    virtual bool RollbackToSavepoint(const char* name) = 0;

    // ---- databases --------------------------------------------------------

    // The schema of a database (opening it when it is not yet); throws the
    // server's error when there is no such database.
    virtual std::string Attach(std::string_view database) = 0;
    // The database a schema holds ("master" for the main one).
    virtual std::string DatabaseName(const std::string& schema) = 0;
    virtual void CreateDatabase(const std::string& name) = 0;
    virtual void DropDatabase(const std::string& name) = 0;

    // A mark that moves whenever data of `schema` may have changed: a commit
    // by any connection or a write of this one. Cheap enough for every move
    // of a recordset; it starts no transaction.
    virtual uint64_t DataMark(const std::string& schema) = 0;
    // Whether another connection (or a rollback) changed the schema of an
    // open database since the last check.
    virtual bool SchemaChanged() = 0;
    // This session's own DDL changed `schema`: not another's change.
    virtual void OwnSchemaChange(const std::string& schema) = 0;
    // This session made table `name` in `schema` (CREATE TABLE, SELECT INTO):
    // a table of the shared part of tempdb goes when the session closes.
    virtual void TableMade(const std::string& /*schema*/, const std::string& /*name*/) {}
    // The row ids of `table` in `schema` that statements insert or update
    // from now on, until WrittenRows() hands them over and stops watching.
    virtual void WatchWrites(const std::string& /*schema*/, const std::string& /*table*/) {}
    virtual std::vector<int64_t> WrittenRows() { return {}; }
    // The schemas are all read afresh at the next check.
    virtual void ForgetSchemaVersions() = 0;

    virtual engine::Catalog& Catalog() = 0;
    // The columns of a system table the engine keeps itself (sysobjects,
    // syscolumns, ...); false when `schema` has none of that name.
    virtual bool SystemTable(const std::string& schema, const std::string& name,
                             tsql::TableDef* out) = 0;

    // ---- the engine's dialect --------------------------------------------

    virtual Plan RenderSelect(const tsql::SelectStmt& select, RenderContext& ctx) = 0;
    virtual Plan RenderInsert(const tsql::Stmt& stmt, RenderContext& ctx) = 0;
    virtual Plan RenderUpdate(const tsql::Stmt& stmt, RenderContext& ctx) = 0;
    virtual Plan RenderDelete(const tsql::Stmt& stmt, RenderContext& ctx) = 0;
    // "SELECT <expr>": one result column typed as the expression.
    virtual Plan RenderScalar(const tsql::Expr& expr, RenderContext& ctx) = 0;
    // One column, 1 when the condition holds, else 0.
    virtual Plan RenderCondition(const tsql::Expr& condition, RenderContext& ctx) = 0;
    // The condition of a filtered index over `table`, with constants written in.
    // A view's query with its constants written in: `sql` and `columns` only.
    virtual Plan RenderView(const tsql::SelectStmt& select, RenderContext& ctx) = 0;
    virtual std::string RenderIndexFilter(const tsql::Expr& condition, const tsql::TableDef& table,
                                          RenderContext& ctx) = 0;
    // A storage value as a literal of the dialect.
    virtual std::string InlineValue(const tsql::Value& v) = 0;
    virtual std::string QuoteIdent(std::string_view name) = 0;
    // Parameter `n` (from 1) as the dialect writes it. Record sources add
    // conditions and ORDER BY terms to a rendered query with these, so an
    // engine must sort NULL first in an ascending order, as the server does.
    virtual std::string Parameter(int n) = 0;
    // Parameter `n` as the value a record source writes into a column of
    // type `t`: a NULL names no type of its own, the column's serves.
    virtual std::string ColumnParameter(int n, const tsql::TypeSpec& t) {
        (void)t;
        return Parameter(n);
    }
    // A term of an ORDER BY that a record source adds, NULL first in an
    // ascending order (last in a descending one) as on the server.
    virtual std::string OrderTerm(const std::string& key, bool descending) {
        return descending ? key + " DESC" : key;
    }
    // A condition that never holds.
    virtual std::string NoRows() { return "0"; }
    // Whether a statement hands over all its rows at once (a server's
    // result) rather than as they are stepped through: a record source's
    // window read then names its size, as the LIMIT parameter after its
    // others.
    virtual bool ReadsWhole() { return false; }
    // The row id of the rows of `alias` (quoted; empty: of the one table of
    // the statement) as a query names it.
    virtual std::string RowId(const std::string& alias) = 0;
    // The value an insert into `table` (of `schema`) gives its identity column
    // when the engine's own counter cannot; "" when it can.
    virtual std::string CountedIdentity(const std::string& schema, const tsql::TableDef& table) = 0;
};

}  // namespace xr::engine
