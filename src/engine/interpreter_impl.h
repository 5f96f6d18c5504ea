// The session state of the T-SQL interpreter, shared by the files that
// implement it (interpreter.cpp: batches and statements; record_source.cpp:
// the rows behind recordsets). Internal to the interpreter.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <list>
#include <map>
#include <optional>
#include <unordered_map>

#include "engine/backend.h"
#include "engine/interpreter.h"
#include "engine/procedures.h"
#include "engine/rows.h"
#include "engine/system_procs.h"
#include "platform/text.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"

namespace xr::engine {

namespace detail {

// The interpreter is written in the T-SQL layer's terms.
using namespace xr::tsql;
using engine::ErrorRecord;

inline constexpr int kMaxNesting = 32;  // EXEC inside EXEC, as the server allows
// A WHILE that never ends is stopped after this many iterations; the fuzz
// targets lower it (SetLoopLimit) so that no input runs for minutes.
inline long kMaxLoopIterations = 10'000'000;
inline constexpr size_t kMaxCachedPlans = 256;
// A batch keeps this many of its errors and messages; the rest are counted.
inline constexpr size_t kMaxBatchMessages = 100;

[[noreturn]] inline void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

// This machine's name (HOST_NAME()).
std::string LocalHostName();

inline TypeSpec Make(TypeKind k, int32_t length = 0) {
    TypeSpec t;
    t.kind = k;
    t.length = length;
    return t;
}

struct Variable {
    TypeSpec type;
    Value value;
};

// Variables live for one batch (EXEC runs its string with a scope of its own).
struct Env {
    std::unordered_map<std::string, Variable> vars;  // upper-case names
    std::vector<std::string> tables;                 // table variables declared, dropped at the end
};

struct Cursor {
    std::shared_ptr<const Batch> batch;  // keeps the declaring statement alive
    const Stmt* decl = nullptr;
    bool scroll = false;
    bool open = false;
    std::vector<std::vector<Value>> rows;
    std::vector<TypeSpec> types;
    long pos = -1;
};

// Control flow out of a statement.
enum class Flow { Next, Break, Continue, Return };

// How much of the running work an error ends: its statement, the batch or
// EXEC string it is in (a name not found when the statement runs), or the
// whole batch with every EXEC around it (a failed conversion, a deadlock,
// any error under XACT_ABORT).
enum class Reach { Statement, Scope, Batch };

// Thrown past the statements an error ends, once the error is recorded.
struct BatchEnded {
    Reach reach;
};

// Thrown from a failed statement inside TRY to its CATCH block.
struct TryJump {};

// Thrown when a plan met another connection's schema change before any of
// it ran (kSchemaMoved), up to the statement that runs it again.
struct SchemaMoved {};

// The error a CATCH block handles (ERROR_NUMBER() and the others).
struct CaughtError {
    int number = 0;
    std::string message;
    int severity = 16;
    int state = 1;
    int line = 1;
    std::string procedure;  // the procedure it happened in (ERROR_PROCEDURE()), or none
};

// An error raised by RAISERROR: its own number, severity and state.
class RaisedError : public ComError {
public:
    RaisedError(std::string text, int number, int severity, int state)
        : ComError(DB_E_ERRORSINCOMMAND, std::move(text)),
          number(number),
          severity(severity),
          state(state) {}
    int number, severity, state;
};

struct CachedPlan {
    Plan plan;
    std::unique_ptr<engine::Statement> st;
    // The variables the rendering read and their types then: the plan serves
    // only a scope whose variables of those names have the same types.
    std::vector<std::pair<std::string, TypeSpec>> variableTypes;
};

// What of a literal decides how a statement renders: its kind, and for
// numbers the type class (an integer beyond INT, a decimal's scale).
inline void AppendLiteralShape(std::string& key, LiteralKind kind, std::string_view text) {
    key += '\x1e';
    key += static_cast<char>('0' + static_cast<int>(kind));
    if (kind == LiteralKind::Integer) {
        // INT, BIGINT or DECIMAL, as the literal's value decides.
        while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
        auto atMost = [&](std::string_view max) {
            return text.size() < max.size() || (text.size() == max.size() && text <= max);
        };
        key += atMost("2147483647") ? 'i' : atMost("9223372036854775807") ? 'I' : 'D';
    } else if (kind == LiteralKind::Decimal) {
        size_t dot = text.find('.');
        size_t scale = dot == std::string_view::npos ? 0 : text.size() - dot - 1;
        key += static_cast<char>('0' + std::min<size_t>(scale, 60));
        key += text.size() > 18 ? 'D' : 'd';
    }
}

inline std::string ShapeKey(const Batch& batch, const Stmt& s, const std::string& schema) {
    std::string key = schema;
    key += '\x1f';
    uint32_t at = s.pos.offset;
    for (const Expr* lit : s.literals) {
        if (lit->pos.offset < at || lit->pos.offset + lit->length > s.endOffset) continue;
        key.append(batch.text, at, lit->pos.offset - at);
        AppendLiteralShape(key, lit->literal, lit->text);
        at = lit->pos.offset + lit->length;
    }
    key.append(batch.text, at, s.endOffset > at ? s.endOffset - at : 0);
    return key;
}

}  // namespace detail

using namespace detail;

struct Interpreter::Impl final : RenderContext, BackendHost {
    // First, so that it goes last: every statement below is its.
    std::unique_ptr<Backend> backend;
    engine::Catalog& catalog;
    std::string current = "master";  // the current database
    std::string currentSchema = "main";
    std::string identityInsertSchema, identityInsertTable;
    std::unordered_map<std::string, Cursor> cursors;  // upper-case names
    int tranCount = 0;
    std::string tranName;  // the outermost BEGIN TRAN's name
    // SAVE TRAN points of the open transaction, oldest first.
    struct SavePoint {
        std::string name;        // as written: names compare with case
        std::string engineName;  // the engine's savepoint
        Catalog::Deferred deferred;
    };
    std::vector<SavePoint> savepoints;
    int savepointSeq = 0;
    bool xactAbort = false;             // SET XACT_ABORT ON
    bool noCount = false;               // SET NOCOUNT ON: no "rows affected" counts
    engine::ResultSink* streaming = nullptr;  // the sink of the batch being streamed
    std::vector<int> tryLevels;         // the EXEC nesting of each TRY being run
    CaughtError caught;                 // the error on its way to a CATCH block
    std::vector<CaughtError> handling;  // the errors of the CATCH blocks being run
    // Messages of the running batch past kMaxBatchMessages; whether an error
    // was among them.
    size_t droppedMessages = 0;
    bool droppedError = false;
    // The engine ended the caller's transaction on its own (a full disk, an
    // I/O error): @@TRANCOUNT stays as the caller left it, nothing more may
    // be written, and only a rollback ends it.
    bool doomed = false;
    int nesting = 0;
    std::vector<std::string> liveTableVariables;  // declared by the batches now running
    std::unordered_map<std::string, const Stmt*> tableDeclarations;  // upper-case names
    bool remaking = false;  // a table variable's table made again after a rollback
    int64_t lastIdentity = 0;
    bool haveIdentity = false;
    // SCOPE_IDENTITY(): the last identity of this scope (an EXEC's string is
    // a scope of its own).
    std::optional<int64_t> scopeIdentity;
    int64_t rowCount = 0;
    int fetchStatus = -1;
    int lastErrorNumber = 0;

    // Plans keyed by statement shape, most recent first.
    std::list<std::pair<std::string, CachedPlan>> lru;
    std::unordered_map<std::string, std::list<std::pair<std::string, CachedPlan>>::iterator> plans;

    // System tables read through the engine's own schema, not the catalog.
    std::unordered_map<std::string, std::unique_ptr<TableDef>> systemTables;
    std::unordered_map<std::string, std::unique_ptr<TableDef>> userViews;  // bound views
    int viewDepth = 0;                 // views being bound, one inside another
    std::string dateFormat = "mdy";    // SET DATEFORMAT, in force while a batch runs
    bool quotedIdentifier = true;      // SET QUOTED_IDENTIFIER, for the batches parsed next
    bool concatNullYieldsNull = true;  // SET CONCAT_NULL_YIELDS_NULL
    bool ansiNulls = true;             // SET ANSI_NULLS

    Env* env = nullptr;  // the running batch's variables

    // Stored procedures (procedures.cpp): the parsed ones, the calls in
    // progress, innermost last, and SET ROWCOUNT (0: no limit).
    ProcedureCache procedureCache;
    std::vector<CallFrame> frames;
    int64_t rowcountLimit = 0;
    // While a plan renders: the variables it reads, with their types.
    std::vector<std::pair<std::string, TypeSpec>>* typeLog = nullptr;

    struct Run;
    void CreateProcedure(const Stmt& s);
    void DropProcedures(const Stmt& s);
    // Runs the user procedure `s` names; false when there is none.
    bool RunProcedure(const Stmt& s, Run& run);
    void HelpText(const Stmt& s, Run& run);
    // A #table made by the procedure running now goes when it returns.
    void NoteTempTable(const ObjectName& name) {
        if (!frames.empty() && frames.back().level == nesting && !name.name.empty() &&
            name.name[0] == '#' && name.db.empty())
            frames.back().tempTables.push_back(name.name);
    }
    // A procedure making a #table named as one of its callers' makes its own:
    // the caller's is set aside until the procedure's goes.
    bool HideCallersTempTable(const std::string& schema, const ObjectName& name);
    // Puts the caller's #table back when making the procedure's fails.
    struct HidingTempTable {
        Impl& impl;
        std::string schema, name;
        bool hid;
        int unwinding = std::uncaught_exceptions();
        ~HidingTempTable() {
            if (!hid || std::uncaught_exceptions() <= unwinding || impl.frames.empty()) return;
            try {
                impl.RestoreCallersTempTables(schema, impl.frames.back(), name);
            } catch (...) {
                // Put back when the procedure ends.
            }
        }
    };
    // After DROP TABLE: a #table the procedure made is no longer its own, and
    // the caller's of that name, if it set one aside, is back.
    void ForgetTempTable(const std::string& schema, const std::string& name);
    // Puts back the callers' #tables the frame set aside (those named `name`,
    // or all when it is empty).
    void RestoreCallersTempTables(const std::string& schema, CallFrame& f, const std::string& name);
    // Whether statements run as a procedure's own (not an EXEC string's).
    bool InProcedureBody() const { return !frames.empty() && frames.back().level == nesting; }

    // Record sources still open on this session: they let go of the handle
    // when the session closes before them.
    std::vector<class SourceBase*> sources;
    ~Impl() override;

    explicit Impl(std::unique_ptr<Backend> b)
        : backend(std::move(b)), catalog(backend->Catalog()) {}

    // ---- BackendHost ------------------------------------------------------

    bool SchemaInUse(const std::string& schema) override {
        return schema == currentSchema || schema == identityInsertSchema;
    }
    // A database opened or let go: what was rendered over the others (the
    // system tables' views among it) is rendered again.
    void Closing(const std::string&) override {
        ClearPlans();
        systemTables.clear();
    }

    // ---- RenderContext ----------------------------------------------------

    std::string SchemaFor(std::string_view database) override { return Attach(database); }
    // Also the backend's: the schema of unqualified names.
    std::string CurrentSchema() override { return currentSchema; }

    const TableDef* FindTable(const std::string& schema, std::string_view name) override {
        // A table variable is seen only by the batch that declared it.
        if (!name.empty() && name[0] == '@' && !DeclaredHere(name)) return nullptr;
        // The system tables are read through the engine's views of them,
        // which show every column the server has.
        if (IsSystemName(name)) {
            if (const TableDef* t = SystemTable(schema, name)) return t;
        }
        if (const TableDef* t = catalog.FindTable(schema, name)) return t;
        if (const TableDef* t = UserView(schema, name)) return t;
        return SystemTable(schema, name);
    }

    // A view as a table whose rows come from its query: the definition is
    // bound and rendered afresh after every change of the schema, so a view
    // follows its tables as they are now (and fails as the server does when
    // what it names is gone). Statements reading it embed the rendering as a
    // derived table: SQLite plans it as the SELECT written out.
    const TableDef* UserView(const std::string& schema, std::string_view name) {
        std::string key = schema + "." + ToLower(name);
        if (auto it = userViews.find(key); it != userViews.end()) return it->second.get();
        std::optional<Catalog::ViewDef> view = catalog.FindView(schema, name);
        if (!view) return nullptr;
        if (viewDepth >= 32) {
            Fail(
                "Maximum stored procedure, function, trigger, or view nesting level exceeded "
                "(limit 32).");
        }
        auto def = std::make_unique<TableDef>(ViewTable(schema, *view, ParseView(*view)));
        const TableDef* out = def.get();
        userViews[key] = std::move(def);
        return out;
    }

    static tsql::Batch ParseView(const Catalog::ViewDef& view) {
        tsql::Batch batch = Parse(view.query, view.quotedIdentifier);
        if (batch.statements.size() != 1 || batch.statements[0]->kind != StmtKind::Select)
            Fail("The definition of view '" + view.name + "' is not a single SELECT.");
        return batch;
    }

    // Binds the view's query in `schema` (its own database) and gives the
    // view's columns: the names given with the view, else the query's.
    TableDef ViewTable(const std::string& schema, const Catalog::ViewDef& view,
                       const tsql::Batch& query) {
        Plan plan;
        {
            struct Depth {
                int& n;
                explicit Depth(int& d) : n(++d) {}
                ~Depth() { --n; }
            } depth(viewDepth);
            std::string saved = currentSchema;
            currentSchema = schema;
            try {
                plan = backend->RenderView(*query.statements[0]->select, *this);
            } catch (...) {
                currentSchema = saved;
                throw;
            }
            currentSchema = saved;
        }
        TableDef def;
        def.db = schema;
        def.name = view.name;
        def.id = view.id;
        if (!view.columns.empty() && view.columns.size() != plan.columns.size()) {
            Fail("'" + view.name + "' has " +
                 (view.columns.size() < plan.columns.size() ? "more" : "fewer") +
                 " columns than were specified in the column list.");
        }
        bool renamed = false;
        for (size_t i = 0; i < plan.columns.size(); ++i) {
            ColumnDef c;
            c.name = view.columns.empty() ? plan.columns[i].name : view.columns[i];
            if (c.name.empty()) {
                Fail(
                    "Create View or Function failed because no column name was specified for "
                    "column " +
                    std::to_string(i + 1) + ".");
            }
            for (const ColumnDef& other : def.columns) {
                if (IEquals(other.name, c.name)) {
                    Fail("Column names in each view or function must be unique. Column name '" +
                         c.name + "' in view or function '" + view.name +
                         "' is specified more than once.");
                }
            }
            if (c.name != plan.columns[i].name) renamed = true;
            c.type = plan.columns[i].type;
            c.notNull = !plan.columns[i].nullable;
            def.columns.push_back(std::move(c));
        }
        def.viewSql = plan.sql;
        std::string rowIds = WriteThrough(schema, *query.statements[0]->select, plan.sql, def);
        if (def.viewRefusal.empty() && !rowIds.empty() && HasCheckOption(view.definition)) {
            // Written through, but only with rows of its own (RunWrite).
            def.viewRefusal = "550";
        }
        if (renamed) {
            // The names the view gives its columns, by position.
            std::string names;
            for (const ColumnDef& c : def.columns)
                names += (names.empty() ? "" : ", ") + backend->QuoteIdent(c.name);
            def.viewSql = "WITH xr_view(" + names + ") AS (" + plan.sql + ") SELECT * FROM xr_view";
            if (!rowIds.empty()) {
                rowIds = "WITH xr_view(\"xr_rowid\", " + names + ") AS (" + rowIds +
                         ") SELECT * FROM xr_view";
            }
        }
        def.viewRowIdSql = std::move(rowIds);
        return def;
    }

    // Whether a view's definition (as written) ends WITH CHECK OPTION.
    static bool HasCheckOption(std::string_view definition) {
        while (!definition.empty() &&
               (std::isspace(static_cast<unsigned char>(definition.back())) ||
                definition.back() == ';')) {
            definition.remove_suffix(1);
        }
        constexpr std::string_view kOption = "OPTION", kCheck = "CHECK", kWith = "WITH";
        for (std::string_view word : {kOption, kCheck, kWith}) {
            if (definition.size() < word.size() ||
                !IEquals(definition.substr(definition.size() - word.size()), word)) {
                return false;
            }
            definition.remove_suffix(word.size());
            const size_t before = definition.size();
            while (!definition.empty() &&
                   std::isspace(static_cast<unsigned char>(definition.back())))
                definition.remove_suffix(1);
            if (word != kWith && definition.size() == before) return false;
        }
        return true;
    }

    static bool HasAggregate(const tsql::Expr& e) {
        if (e.kind == tsql::ExprKind::Function && !e.over) {
            static const char* const kAggregates[] = {
                "COUNT",  "COUNT_BIG", "SUM",  "AVG",      "MIN",          "MAX",       "STDEV",
                "STDEVP", "VAR",       "VARP", "GROUPING", "CHECKSUM_AGG", "STRING_AGG"};
            for (const char* name : kAggregates) {
                if (IEquals(e.name, name)) return true;
            }
        }
        for (const tsql::ExprPtr& a : e.args) {
            if (a && HasAggregate(*a)) return true;
        }
        return false;
    }

    // What a write through the view needs (TableDef::viewRefusal ...): the
    // server's refusal, or its one table and the column behind each of its
    // own; gives the view's query (`sql`, as rendered) with that table's row
    // id first, empty when there is none.
    std::string WriteThrough(const std::string& schema, const tsql::SelectStmt& q,
                             const std::string& sql, TableDef& def) {
        if (q.unionNext) {
            def.viewRefusal = "4426";
            return {};
        }
        bool aggregate = q.distinct || !q.groupBy.empty() || q.having != nullptr;
        for (const tsql::SelectItem& item : q.items) aggregate |= HasAggregate(*item.expr);
        if (aggregate) {
            def.viewRefusal = "4403";
            return {};
        }
        if (q.from.size() != 1 || q.from[0]->join != tsql::JoinType::None || q.from[0]->derived ||
            !q.with.empty()) {
            def.viewRefusal = "4405";
            return {};
        }
        const tsql::TableRef& ref = *q.from[0];
        std::string baseSchema =
            ref.table.Database().empty() ? schema : Attach(ref.table.Database());
        const TableDef* base = FindTable(baseSchema, ref.table.name);
        if (!base) return {};
        const std::string alias = ref.alias.empty() ? base->name : ref.alias;
        auto names = [&](const std::string& qualifier) {
            return qualifier.empty() || IEquals(qualifier, alias) ||
                   (ref.alias.empty() && IEquals(qualifier, ref.table.name));
        };
        std::vector<std::string> columns;
        for (const tsql::SelectItem& item : q.items) {
            const tsql::Expr& e = *item.expr;
            if (e.kind == tsql::ExprKind::Star && names(e.qualifier)) {
                for (const ColumnDef& c : base->columns) columns.push_back(c.name);
            } else if (e.kind == tsql::ExprKind::Column && names(e.qualifier) &&
                       base->FindColumn(e.name)) {
                columns.push_back(base->FindColumn(e.name)->name);
            } else {
                columns.push_back({});
            }
        }
        columns.resize(def.columns.size());
        def.viewBaseSchema = baseSchema;
        def.viewBaseName = base->name;
        def.viewBaseColumns = std::move(columns);
        // The row id: the table's own, or the one the view it reads hands out.
        const std::string quoted = backend->QuoteIdent(alias);
        std::string out = sql;
        if (!base->viewSql.empty()) {
            if (base->viewRowIdSql.empty()) return {};
            const std::string inner = "(" + base->viewSql + ") AS " + quoted;
            const size_t at = out.find(inner);
            if (at == std::string::npos) return {};
            out.replace(at, inner.size(), "(" + base->viewRowIdSql + ") AS " + quoted);
        }
        if (out.rfind("SELECT ", 0) != 0) return {};
        out.insert(7, (base->viewSql.empty() ? backend->RowId(quoted) : quoted + ".\"xr_rowid\"") +
                          " AS \"xr_rowid\",");
        return out;
    }

    // CREATE VIEW / ALTER VIEW: the query must bind now; the definition kept
    // is the query as written.
    void CreateView(const Stmt& s) {
        std::string schema = SchemaOf(s.table);
        const bool replace = s.kind == StmtKind::AlterView;
        Catalog::ViewDef view;
        view.name = s.table.name;
        view.query = s.queryText;
        view.columns = s.columns;
        view.encrypted = s.encrypted;
        view.quotedIdentifier = quotedIdentifier;
        const std::string& text = (**currentBatch).text;
        if (s.endOffset <= text.size() && s.pos.offset < s.endOffset)
            view.definition = text.substr(s.pos.offset, s.endOffset - s.pos.offset);
        if (replace && !catalog.FindView(schema, s.table.name))
            Fail("Invalid object name '" + s.table.name + "'.");
        if (!replace && catalog.ObjectExists(schema, s.table.name))
            Fail("There is already an object named '" + s.table.name + "' in the database.");
        TableDef def = ViewTable(schema, view, ParseView(view));
        Atomically([&] { catalog.CreateView(schema, s.table.name, view, def.columns, replace); });
        OwnSchemaChange(schema);
    }

    void DropViews(const Stmt& s) {
        for (const ObjectName& name : s.objects) {
            std::string schema = SchemaOf(name);
            if (s.ifExists &&
                (s.kind == StmtKind::DropProcedure || !catalog.FindView(schema, name.name))) {
                continue;
            }
            if (s.kind == StmtKind::DropProcedure) {
                // None is ever made here: the server's own procedures are no
                // objects of the database.
                Fail("Cannot drop the " + s.option + " '" + name.name +
                     "', because it does not exist or you do not have permission.");
            }
            Atomically([&] { catalog.DropView(schema, name.name); });
            OwnSchemaChange(schema);
        }
    }

    bool ConcatNullYieldsNull() override { return concatNullYieldsNull; }
    bool AnsiNulls() override { return ansiNulls; }

    const TypeSpec* VariableType(std::string_view name) override {
        static const TypeSpec kInt = Make(TypeKind::Int);
        static const TypeSpec kBig = Make(TypeKind::BigInt);
        static const TypeSpec kName = Make(TypeKind::VarChar, 128);
        std::string up = ToUpper(name);
        if (up.rfind("@@", 0) == 0) {
            if (up == "@@IDENTITY" || up == "@@SCOPE_IDENTITY") return &kBig;
            if (up == "@@ROWCOUNT" || up == "@@FETCH_STATUS" || up == "@@ERROR" ||
                up == "@@TRANCOUNT" || up == "@@NESTLEVEL" || up == "@@SPID" || up == "@@PROCID") {
                return &kInt;
            }
            static const TypeSpec kSmall = Make(TypeKind::SmallInt);
            if (up == "@@XACT_STATE") return &kSmall;
            static const TypeSpec kMessage = Make(TypeKind::VarChar, 4000);
            if (up == "@@ERROR_NUMBER" || up == "@@ERROR_SEVERITY" || up == "@@ERROR_STATE" ||
                up == "@@ERROR_LINE") {
                return &kInt;
            }
            if (up == "@@ERROR_MESSAGE") return &kMessage;
            if (up == "@@ERROR_PROCEDURE") return &kName;
            if (up == "@@VERSION" || up == "@@SERVERNAME" || up == "@@DB_NAME" ||
                up == "@@USER_NAME" || up == "@@HOST_NAME")
                return &kName;
            return nullptr;
        }
        if (!env) return nullptr;
        auto it = env->vars.find(up);
        if (it == env->vars.end()) return nullptr;
        if (typeLog) typeLog->emplace_back(up, it->second.type);
        return &it->second.type;
    }

    bool IdentityInsertOn(const std::string& schema, std::string_view table) override {
        return !identityInsertTable.empty() && schema == identityInsertSchema &&
               IEquals(identityInsertTable, table);
    }

    Value GlobalValue(const std::string& up) {
        if (up == "@@IDENTITY") return haveIdentity ? Value::Int(lastIdentity) : Value::Null();
        if (up == "@@SCOPE_IDENTITY")
            return scopeIdentity ? Value::Int(*scopeIdentity) : Value::Null();
        if (up == "@@ROWCOUNT") return Value::Int(rowCount);
        if (up == "@@FETCH_STATUS") return Value::Int(fetchStatus);
        if (up == "@@ERROR") return Value::Int(lastErrorNumber);
        if (up == "@@TRANCOUNT") return Value::Int(tranCount);
        // XACT_STATE(): 1 in a transaction that can commit, -1 in one that
        // can only be rolled back, 0 outside.
        if (up == "@@XACT_STATE") return Value::Int(tranCount == 0 ? 0 : doomed ? -1 : 1);
        if (up.rfind("@@ERROR_", 0) == 0) {
            // Outside a CATCH block these are NULL.
            if (handling.empty()) return Value::Null();
            const CaughtError& c = handling.back();
            if (up == "@@ERROR_PROCEDURE")
                return c.procedure.empty() ? Value::Null() : Value::Text(c.procedure);
            if (up == "@@ERROR_NUMBER") return Value::Int(c.number);
            if (up == "@@ERROR_MESSAGE") return Value::Text(c.message);
            if (up == "@@ERROR_SEVERITY") return Value::Int(c.severity);
            if (up == "@@ERROR_STATE") return Value::Int(c.state);
            if (up == "@@ERROR_LINE") return Value::Int(c.line);
        }
        if (up == "@@NESTLEVEL") return Value::Int(nesting);
        if (up == "@@PROCID") return Value::Int(InProcedureBody() ? frames.back().procId : 0);
        if (up == "@@SPID") return Value::Int(51);
        if (up == "@@VERSION")
            return Value::Text(
                "Microsoft SQL Server 2008 R2 (RTM) - 10.50.1600.1 (xrdb8 embedded engine)");
        if (up == "@@SERVERNAME") return Value::Text("LOCAL");
        if (up == "@@DB_NAME") return Value::Text(current);
        // USER_NAME() and HOST_NAME(): every session works as the owner, from this machine.
        if (up == "@@USER_NAME") return Value::Text("dbo");
        if (up == "@@HOST_NAME") return Value::Text(LocalHostName());
        return Value::Null();
    }

    // ---- databases --------------------------------------------------------

    bool InTransaction() const { return backend->InTransaction(); }

    // A mark that moves whenever data of database `schema` may have changed:
    // a commit by any connection or a write of this one.
    uint64_t DataMark(const std::string& schema) { return backend->DataMark(schema); }

    std::string Attach(std::string_view database) { return backend->Attach(database); }

    void Use(std::string_view database) {
        std::string schema = Attach(database);
        currentSchema = schema;
        current = backend->DatabaseName(schema);
    }

    void Exec(const std::string& sql) { backend->Exec(sql); }

    // Another connection's DDL (or a rollback) makes cached shapes stale.
    void CheckSchemaVersions() {
        if (backend->SchemaChanged()) SchemaChanged();
    }

    void SchemaChanged() {
        ClearPlans();
        procedureCache.Clear();
        catalog.InvalidateAll();
        systemTables.clear();
        userViews.clear();
        backend->ForgetSchemaVersions();
    }

    // Tables whose new columns wait in the catalog (see Catalog::AddColumns)
    // are made before anything else uses them. Outside a transaction there
    // can be none left: the transaction that deferred them was undone.
    void FlushDeferred() {
        if (!catalog.HasDeferred()) return;
        if (!InTransaction()) {
            catalog.DropDeferred();
            return;
        }
        for (const std::string& schema : catalog.FlushDeferred()) OwnSchemaChange(schema);
    }

    // A table of the open transaction that waits to be made on the server
    // holds no rows: reading it need not make it.
    bool YetToBeMade(const std::string& schema, const std::string& table) {
        return catalog.HasDeferred() && InTransaction() && catalog.YetToBeMade(schema, table);
    }

    // An UPDATE or DELETE of one table, of the open transaction and not yet
    // made on the server, meets no rows: it neither makes the table nor runs.
    bool MeetsNoRows(const Stmt& s) {
        if ((s.kind != StmtKind::Update && s.kind != StmtKind::Delete) || !s.from.empty() ||
            !s.with.empty() || s.table.IsTableVariable() || !catalog.HasDeferred())
            return false;
        try {
            return YetToBeMade(SchemaOf(s.table), s.table.name);
        } catch (const ComError&) {
            return false;
        }
    }

    // Before a statement that reads or writes rows: where the engine can tell
    // (Catalog::DefersTables), only the tables it names are made; any other
    // statement, or one whose tables cannot all be named, makes them all.
    void FlushDeferredFor(const Stmt& s) {
        if (!catalog.HasDeferred()) return;
        std::vector<const ObjectName*> names;
        // OPEN reads what its cursor's query names.
        const Stmt* reads = &s;
        if (s.kind == StmtKind::OpenCursor) {
            auto it = cursors.find(ToUpper(s.cursor));
            if (it != cursors.end() && it->second.decl) reads = it->second.decl;
        }
        if (!catalog.DefersTables() || !InTransaction() || !TablesOf(*reads, names))
            return FlushDeferred();
        std::vector<std::pair<std::string, std::string>> tables;
        try {
            for (const ObjectName* n : names) tables.emplace_back(SchemaOf(*n), n->name);
        } catch (const ComError&) {
            return FlushDeferred();
        }
        for (const std::string& schema : catalog.FlushDeferredOf(tables)) OwnSchemaChange(schema);
    }

    // The tables a SELECT, INSERT, UPDATE or DELETE names anywhere in it
    // (common tables and views by their own names), the tables a change of
    // a table's shape acts on, or those the batch's flow reads; false for
    // any other statement.
    static bool TablesOf(const Stmt& s, std::vector<const ObjectName*>& out) {
        struct Walk {
            std::vector<const ObjectName*>& out;
            void Of(const Expr* e) {
                if (!e) return;
                if (e->select) Of(*e->select);
                for (const ExprPtr& a : e->args) Of(a.get());
                if (e->over) {
                    for (const ExprPtr& p : e->over->partitionBy) Of(p.get());
                    for (const OrderItem& o : e->over->orderBy) Of(o.expr.get());
                }
            }
            void Of(const TableRef& r) {
                if (!r.table.empty()) out.push_back(&r.table);
                if (r.derived) Of(*r.derived);
                if (r.left) Of(*r.left);
                if (r.right) Of(*r.right);
                Of(r.on.get());
            }
            void Of(const std::vector<CommonTable>& with) {
                for (const CommonTable& c : with) Of(*c.select);
            }
            void Of(const SelectStmt& q) {
                // SELECT INTO makes its new table at once: only what it reads counts.
                Of(q.top.get());
                for (const SelectItem& i : q.items) Of(i.expr.get());
                for (const TableRefPtr& r : q.from) Of(*r);
                Of(q.where.get());
                for (const ExprPtr& g : q.groupBy) Of(g.get());
                Of(q.having.get());
                for (const OrderItem& o : q.orderBy) Of(o.expr.get());
                if (q.unionNext) Of(*q.unionNext);
                Of(q.with);
            }
        } walk{out};
        switch (s.kind) {
            case StmtKind::Select:
            case StmtKind::DeclareCursor:
                if (!s.select) return false;
                walk.Of(*s.select);
                break;
            case StmtKind::Insert:
            case StmtKind::Update:
            case StmtKind::Delete:
                walk.out.push_back(&s.table);
                walk.Of(s.with);
                walk.Of(s.top.get());
                for (const auto& row : s.values) {
                    for (const ExprPtr& v : row) walk.Of(v.get());
                }
                for (const auto& set : s.sets) walk.Of(set.second.get());
                for (const TableRefPtr& r : s.from) walk.Of(*r);
                walk.Of(s.where.get());
                if (s.select) walk.Of(*s.select);
                break;
            case StmtKind::AlterTable:
                // Its own table, and the one a foreign key refers to.
                out.push_back(&s.table);
                for (const ConstraintAst& c : s.constraints) {
                    if (!c.refTable.empty()) out.push_back(&c.refTable);
                }
                for (const ColumnDefAst& a : s.columnDefs) {
                    for (const ConstraintAst& c : a.constraints) {
                        if (!c.refTable.empty()) out.push_back(&c.refTable);
                    }
                }
                break;
            case StmtKind::CreateIndex:
            case StmtKind::Truncate:
            case StmtKind::CheckIdent:
                out.push_back(&s.table);
                break;
            case StmtKind::DropTable:
            case StmtKind::DropIndex:
                for (const ObjectName& o : s.objects) out.push_back(&o);
                break;
            // The batch's flow reads tables in its conditions and values only
            // (the statements inside run as statements of their own).
            case StmtKind::If:
            case StmtKind::While:
                walk.Of(s.condition.get());
                break;
            case StmtKind::Declare:
                for (const Stmt::Variable& v : s.variables) walk.Of(v.init.get());
                break;
            case StmtKind::SetVariable:
            case StmtKind::Print:
            case StmtKind::Return:
                walk.Of(s.value.get());
                break;
            default:
                return false;
        }
        return true;
    }

    // This session's own DDL on `schema` succeeded: shapes are rendered
    // afresh, but the catalog keeps what its DDL left it knowing, and the new
    // schema version is not taken for another connection's change.
    void OwnSchemaChange(const std::string& schema) {
        ClearPlans();
        systemTables.clear();
        userViews.clear();
        backend->OwnSchemaChange(schema);
    }

    static bool IsSystemName(std::string_view name) {
        if (name.size() < 3 ||
            (name[0] != 's' && name[0] != 'S' && name[0] != 'i' && name[0] != 'I')) {
            return false;  // most names, at no cost
        }
        constexpr std::string_view kViews = "information_schema.";
        return IEquals(name, "sysobjects") || IEquals(name, "syscolumns") ||
               IEquals(name, "sysconstraints") || IEquals(name, "syscomments") ||
               IEquals(name, "sysindexes") || IEquals(name, "systypes") ||
               IEquals(name, "sysdatabases") || IEquals(name, "sysaltfiles") ||
               (name.size() > 4 && IEquals(name.substr(0, 4), "sys.")) ||
               (name.size() > kViews.size() && IEquals(name.substr(0, kViews.size()), kViews));
    }

    const TableDef* SystemTable(const std::string& schema, std::string_view name) {
        if (!IsSystemName(name)) return nullptr;
        std::string lname = ToLower(name);
        std::string key = schema + "." + lname;
        if (auto it = systemTables.find(key); it != systemTables.end()) return it->second.get();
        auto def = std::make_unique<TableDef>();
        def->db = schema;
        if (!backend->SystemTable(schema, lname, def.get())) return nullptr;
        // A view of INFORMATION_SCHEMA is known by its own name ("COLUMNS").
        size_t dot = lname.find('.');
        // One of the sys schema keeps its lower-case name ("objects").
        def->name = dot == std::string::npos      ? lname
                    : lname.rfind("sys.", 0) == 0 ? lname.substr(dot + 1)
                                                  : ToUpper(lname.substr(dot + 1));
        const TableDef* out = def.get();
        systemTables[key] = std::move(def);
        return out;
    }

    // ---- plans ------------------------------------------------------------

    // A write statement of a record source for one set of assigned columns.
    struct SourceWrite {
        std::string sql;
        std::unique_ptr<engine::Statement> st;
        std::vector<std::pair<size_t, TypeSpec>> bound;  // column index, its type
        bool identity = false;                           // writes the identity column
    };

    // What every record source of one statement shape shares: the rendering,
    // the columns and the base columns behind them.
    // Each row read carries the row id and the ORDER BY terms (its key) before
    // its columns, so that a read can go on after (or before) any row.
    struct SourceShape {
        Plan plan;  // "SELECT rowid, keys..., columns... FROM ... [WHERE ...] ORDER BY ..."
        std::vector<engine::ColumnInfo> columns;
        std::vector<TypeSpec> types;
        std::vector<std::string> baseNames;  // "" for an item that is not a column
        bool hasIdentity = false;
        bool resumable = false;  // a read can go on from a row's key
        // The keys are unique by themselves: no row id breaks their ties.
        bool uniqueKeys = false;
        std::string fetchSql;    // one row (key and columns) by its row id
        std::string rowid;       // the row id as the query names it
        // The query up to its ORDER BY, with room for one more condition.
        std::string head, where;
        // Reads from a row on, by direction and which key values are NULL.
        mutable std::unordered_map<std::string, std::string> readSql;
        size_t KeyCount() const { return plan.order.size(); }
    };

    // Record sources of one shape share their shape and reuse the statements
    // of sources that have closed (a key lookup per row is common, and a
    // wide table's statements are dear to prepare).
    struct SourcePlan {
        std::shared_ptr<const SourceShape> shape;
        using Statements = std::vector<std::unique_ptr<engine::Statement>>;
        std::unordered_map<std::string, Statements> idle;                      // reads, by kind
        Statements idleFetch;                                                  // row-id reads
        std::unordered_map<std::string, std::vector<SourceWrite>> idleWrites;  // by assigned set
    };
    std::unordered_map<std::string, SourcePlan> sourcePlans;
    uint64_t sourcePlanGeneration = 1;  // moves on whenever cached shapes go stale

    // The pool of a shape still current, or null (statements then go).
    SourcePlan* PoolOf(const std::string& key, uint64_t generation) {
        if (key.empty() || generation != sourcePlanGeneration) return nullptr;
        auto it = sourcePlans.find(key);
        return it == sourcePlans.end() ? nullptr : &it->second;
    }

    // Takes back a statement of a closed source into `idle` (a few are kept).
    static void KeepIdle(SourcePlan::Statements* idle, std::unique_ptr<engine::Statement> st) {
        if (!st) return;
        if (idle && idle->size() < 4) {
            st->Reset();
            st->ClearBindings();
            idle->push_back(std::move(st));
        }
    }

    // Plans being run. A statement can clear the cache while it runs (a
    // database it names is opened and another let go): its plan and those of
    // the statements around it are kept until the outermost run ends.
    int running = 0;
    std::list<std::pair<std::string, CachedPlan>> retired;
    struct Running {
        Impl& impl;
        explicit Running(Impl& i) : impl(i) { ++impl.running; }
        ~Running() {
            if (--impl.running == 0) impl.retired.clear();
        }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;
    };

    void ClearPlans() {
        if (running > 0)
            retired.splice(retired.end(), lru);
        else
            lru.clear();
        plans.clear();
        fast.clear();
        sourcePlans.clear();
        ++sourcePlanGeneration;
    }

    std::unique_ptr<engine::Statement> Prepare(const std::string& sql) {
        return backend->Prepare(sql);
    }

    // A cached plan for a plain statement; `render` makes it on a miss.
    std::string lastPlanKey;  // the shape GetPlan served last, when it is cached
    template <class RenderFn>
    CachedPlan& GetPlan(const Batch& batch, const Stmt& s, RenderFn render) {
        std::string key = ShapeKey(batch, s, currentSchema);
        lastPlanKey.clear();
        auto it = plans.find(key);
        if (it != plans.end()) {
            CachedPlan& cp = it->second->second;
            bool same = true;
            for (const auto& [index, text] : cp.plan.inlined) {
                if (index >= static_cast<int>(s.literals.size()) ||
                    s.literals[static_cast<size_t>(index)]->text != text) {
                    same = false;
                }
            }
            for (const auto& [name, type] : cp.variableTypes) {
                const Variable* v = nullptr;
                if (env) {
                    auto found = env->vars.find(name);
                    if (found != env->vars.end()) v = &found->second;
                }
                if (!v || !(v->type == type)) same = false;
            }
            if (same) {
                lru.splice(lru.begin(), lru, it->second);
                lastPlanKey = key;
                return cp;
            }
            lru.erase(it->second);
            plans.erase(it);
        }
        CachedPlan cp;
        {
            // The variables' types are part of the rendering: kept with it.
            struct Log {
                Impl& impl;
                std::vector<std::pair<std::string, TypeSpec>>* saved;
                Log(Impl& i, std::vector<std::pair<std::string, TypeSpec>>* mine)
                    : impl(i), saved(i.typeLog) {
                    impl.typeLog = mine;
                }
                ~Log() { impl.typeLog = saved; }
            } log(*this, &cp.variableTypes);
            cp.plan = render();
        }
        cp.st = Prepare(cp.plan.sql);
        lru.emplace_front(key, std::move(cp));
        plans[key] = lru.begin();
        lastPlanKey = key;
        if (lru.size() > kMaxCachedPlans) {
            auto last = std::prev(lru.end());
            plans.erase(last->first);
            lru.erase(last);
        }
        return lru.front().second;
    }
    std::list<CachedPlan> scratch;  // uncached plans of the running batch

    // Statements that run one plan and hold no other statement.
    static bool IsPlain(StmtKind k) {
        return k == StmtKind::Select || k == StmtKind::Insert || k == StmtKind::Update ||
               k == StmtKind::Delete;
    }

    void ReleaseScratch() { scratch.clear(); }

    void Bind(engine::Statement& st, const Plan& plan, const std::vector<const Expr*>& literals) {
        BindSlots(st, plan, SlotValues(plan, literals));
    }
    static void BindSlots(engine::Statement& st, const Plan& plan,
                          const std::vector<Value>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            const int n = static_cast<int>(i + 1);
            if (!values[i].IsNull() || i >= plan.slots.size()) {
                st.Bind(n, values[i]);
                continue;
            }
            const Slot& slot = plan.slots[i];
            st.BindNull(n, slot.convert ? slot.target : slot.valueType);
        }
    }

    // The values a plan's parameters take, in order.
    std::vector<Value> SlotValues(const Plan& plan, const std::vector<const Expr*>& literals) {
        std::vector<Value> values;
        values.reserve(plan.slots.size());
        for (const Slot& slot : plan.slots) {
            Value v;
            TypeSpec vt = slot.valueType;
            switch (slot.source) {
                case Slot::Source::Literal: {
                    const Expr* lit = literals.at(static_cast<size_t>(slot.literal));
                    v = LiteralValueOf(*lit);
                    vt = LiteralTypeOf(*lit);
                    break;
                }
                case Slot::Source::Variable: {
                    std::string up = ToUpper(slot.variable);
                    if (up.rfind("@@", 0) == 0) {
                        v = GlobalValue(up);
                    } else {
                        auto it = env->vars.find(up);
                        if (it == env->vars.end())
                            Fail("Must declare the scalar variable \"" + slot.variable + "\".");
                        v = it->second.value;
                        vt = it->second.type;
                    }
                    break;
                }
                case Slot::Source::Constant:
                    v = slot.value;
                    break;
            }
            bool negated = false;
            if (slot.negate && !v.IsNull()) {
                const TypeKind k = slot.target.kind;
                bool viaText =
                    slot.convert && slot.source == Slot::Source::Literal &&
                    (vt.kind == TypeKind::Decimal || vt.kind == TypeKind::BigInt) &&
                    (k == TypeKind::Money || k == TypeKind::SmallMoney || k == TypeKind::Decimal);
                if (!viaText) {
                    if (v.kind == Value::Kind::Int)
                        v.i = -v.i;
                    else if (v.kind == Value::Kind::Real)
                        v.d = -v.d;
                    negated = true;
                }
            }
            (void)negated;
            if (slot.convert && !v.IsNull()) {
                const TypeKind k = slot.target.kind;
                if (slot.source == Slot::Source::Literal &&
                    (vt.kind == TypeKind::Decimal || vt.kind == TypeKind::BigInt) &&
                    (k == TypeKind::Money || k == TypeKind::SmallMoney || k == TypeKind::Decimal)) {
                    // Exact from the digits as written: a double would lose
                    // the last places of a large amount.
                    std::string digits = literals.at(static_cast<size_t>(slot.literal))->text;
                    if (slot.negate) digits.insert(digits.begin(), '-');
                    TypeSpec text;
                    text.kind = TypeKind::VarChar;
                    text.length = static_cast<int32_t>(digits.size());
                    v = Convert(Value::Text(digits), text, slot.target, slot.storing);
                } else {
                    v = Convert(v, vt, slot.target, slot.storing);
                }
            }
            values.push_back(std::move(v));
        }
        return values;
    }

    // The server's message for an engine failure of a statement.
    ComError MapError(const EngineError& e, std::string_view sql) {
        NoteLostTransaction();
        return backend->MapError(e, sql, current);
    }

    // Runs a plan to its end; rows are passed to `onRow` when given.
    template <class RowFn>
    void RunPlan(CachedPlan& cp, const Stmt* owner, RowFn onRow) {
        RunPlan(cp, owner->literals, onRow);
    }
    template <class RowFn>
    void RunPlan(CachedPlan& cp, const std::vector<const Expr*>& literals, RowFn onRow) {
        engine::Statement& st = *cp.st;
        st.Reset();
        Bind(st, cp.plan, literals);
        engine::Statement::Step step;
        while ((step = st.Next()) == engine::Statement::Step::Row) onRow(st);
        if (step == engine::Statement::Step::Failed) {
            st.ClearBindings();
            if (st.Error().code == kSchemaMoved) throw SchemaMoved{};
            throw MapError(st.Error(), cp.plan.sql);
        }
        rowCount = backend->Changes();
        if (cp.plan.setsIdentity && rowCount > 0) {
            lastIdentity = backend->LastInsertId();
            haveIdentity = true;
            scopeIdentity = lastIdentity;
        }
        st.Reset();
        st.ClearBindings();
    }

    // ---- values -----------------------------------------------------------

    // The value of `e` for the variable `name`: a number of more than 18
    // digits written into a MONEY or DECIMAL variable goes by its digits, as
    // a double would lose the last places of a large amount.
    std::pair<Value, TypeSpec> EvalForVariable(const Expr& e, const Stmt& owner,
                                               const std::string& name) {
        const bool negative = e.kind == ExprKind::Unary && e.op == Op::Neg && e.args.size() == 1 &&
                              e.args[0]->kind == ExprKind::Literal;
        const Expr& lit = negative ? *e.args[0] : e;
        const Variable* var = nullptr;
        if (env) {
            auto it = env->vars.find(ToUpper(name));
            if (it != env->vars.end()) var = &it->second;
        }
        if (var && lit.kind == ExprKind::Literal &&
            (lit.literal == LiteralKind::Decimal || lit.literal == LiteralKind::Integer)) {
            const TypeKind k = var->type.kind;
            const TypeSpec t = LiteralTypeOf(lit);
            if ((k == TypeKind::Money || k == TypeKind::SmallMoney || k == TypeKind::Decimal) &&
                t.kind == TypeKind::Decimal && !t.IsScaled()) {
                std::string digits = (negative ? "-" : "") + lit.text;
                return {Value::Text(digits),
                        Make(TypeKind::VarChar, static_cast<int32_t>(digits.size()))};
            }
        }
        return EvalScalar(e, owner);
    }

    std::pair<Value, TypeSpec> EvalScalar(const Expr& e, const Stmt& owner) {
        if (e.kind == ExprKind::Literal) return {LiteralValueOf(e), LiteralTypeOf(e)};
        if (e.kind == ExprKind::Variable) {
            std::string up = ToUpper(e.name);
            if (up.rfind("@@", 0) == 0) {
                const TypeSpec* t = VariableType(up);
                if (!t) Fail("Must declare the scalar variable \"" + e.name + "\".");
                return {GlobalValue(up), *t};
            }
            auto it = env->vars.find(up);
            if (it == env->vars.end()) Fail("Must declare the scalar variable \"" + e.name + "\".");
            return {it->second.value, it->second.type};
        }
        CachedPlan cp;
        cp.plan = RenderScalar(e, *this);
        cp.st = Prepare(cp.plan.sql);
        Value out;
        RunPlan(cp, &owner,
                [&](engine::Statement& st) { out = st.Column(0, cp.plan.columns[0].type); });
        return {out, cp.plan.columns[0].type};
    }

    bool EvalCondition(const Expr& e, const Stmt& owner) {
        CachedPlan cp;
        cp.plan = RenderCondition(e, *this);
        cp.st = Prepare(cp.plan.sql);
        bool out = false;
        RunPlan(cp, &owner, [&](engine::Statement& st) { out = st.Int(0) != 0; });
        return out;
    }

    void Assign(const std::string& name, Value v, const TypeSpec& from) {
        auto it = env->vars.find(ToUpper(name));
        if (it == env->vars.end()) Fail("Must declare the scalar variable \"" + name + "\".");
        it->second.value = v.IsNull() ? Value::Null() : Convert(v, from, it->second.type, false);
    }

    // ---- statements -------------------------------------------------------

    struct Run {
        std::vector<ErrorRecord>* errors;
        std::unique_ptr<engine::Rows>* capture;  // the first result set, when wanted
        const std::shared_ptr<const Batch>* batch;
        engine::ResultSink* sink = nullptr;  // takes every result set, when given
    };

    void RunBatch(const std::shared_ptr<const Batch>& batch, Run& run) {
        // The table variables of the batch go with it, however it ends.
        struct TableVariables {
            Impl& self;
            Env* env;
            ~TableVariables() { self.DropTableVariables(*env); }
        } tables{*this, env};
        for (const StmtPtr& s : batch->statements) {
            if (RunStatement(*s, run) == Flow::Return) break;
        }
    }

    bool DeclaredHere(std::string_view name) const {
        if (!env) return false;
        for (const std::string& t : env->tables) {
            if (IEquals(t, name)) return true;
        }
        return false;
    }

    void DropTableVariables(Env& e) noexcept {
        for (const std::string& name : e.tables) {
            auto live = std::find_if(liveTableVariables.begin(), liveTableVariables.end(),
                                     [&](const std::string& t) { return IEquals(t, name); });
            if (live != liveTableVariables.end()) liveTableVariables.erase(live);
            tableDeclarations.erase(ToUpper(name));
            try {
                const std::string schema = Attach("tempdb");
                if (catalog.FindTable(schema, name)) catalog.DropTable(schema, name);
            } catch (...) {
                // A table left behind is dropped when the name is declared again.
            }
        }
        e.tables.clear();
    }

    // A statement whose plan met another connection's schema change runs
    // again with the catalog read afresh, when nothing of it was written yet
    // (a block's own statements retry each for itself; a procedure's, with
    // the EXEC of the batch).
    Flow DispatchAfresh(const Stmt& s, Run& run) {
        for (int attempt = 1;; ++attempt) {
            const int64_t changes = backend->TotalChanges();
            try {
                return Dispatch(s, run);
            } catch (const SchemaMoved&) {
                // Inside a procedure or an EXEC string the whole call runs
                // again: its text may be what changed.
                if (nesting > 0) throw;
                SchemaChanged();
                if (attempt == 3 || backend->TotalChanges() != changes) {
                    Fail(kSchemaChangedText);
                }
            }
        }
    }

    Flow RunStatement(const Stmt& s, Run& run) {
        Running scope(*this);
        try {
            if (tranCount > 0) {
                NoteLostTransaction();
                if (doomed && Writes(s)) FailDoomed();
            }
            const bool defers = DefersRemake(s) || MeetsNoRows(s) ||
                                (catalog.DefersTables() && (DefersMaking(s) || TouchesNoTable(s)));
            if (!defers) FlushDeferredFor(s);
            catalog.DeferWithin(defers && tranCount > 0);
            struct EndDeferring {
                Catalog& catalog;
                ~EndDeferring() { catalog.DeferWithin(false); }
            } endDeferring{catalog};
            Flow f = DispatchAfresh(s, run);
            if (run.sink && !noCount &&
                (s.kind == StmtKind::Insert || s.kind == StmtKind::Update ||
                 s.kind == StmtKind::Delete)) {
                run.sink->Affected(rowCount);
            }
            if (!scratch.empty() && IsPlain(s.kind)) ReleaseScratch();
            // @@ERROR reads the previous statement's outcome, so it is cleared
            // once a statement has run; a block, a loop, an IF or an EXEC
            // leaves what its last statement set.
            if (s.kind != StmtKind::If && s.kind != StmtKind::While && s.kind != StmtKind::Block &&
                s.kind != StmtKind::Exec && s.kind != StmtKind::RaisError) {
                lastErrorNumber = 0;
            }
            return f;
        } catch (const ComError& e) {
            if (!scratch.empty() && IsPlain(s.kind)) ReleaseScratch();
            const Reach reach = Failed(e, *run.errors, &s);
            if (reach != Reach::Statement) throw BatchEnded{reach};
            return Flow::Next;
        }
    }

    // Keeps a message of the batch, up to kMaxBatchMessages of them: a loop
    // that fails on every turn does not grow the list without end.
    void Report(std::vector<ErrorRecord>& errors, ErrorRecord r) {
        if (errors.size() < kMaxBatchMessages) {
            errors.push_back(std::move(r));
            if (streaming) streaming->Message(errors.back());
            return;
        }
        ++droppedMessages;
        droppedError |= !r.informational;
    }

    // After the batch: one line for what was not kept.
    void ReportDropped(std::vector<ErrorRecord>& errors) {
        if (droppedMessages == 0) return;
        ErrorRecord r{
            droppedError ? DB_E_ERRORSINCOMMAND : S_OK_,
            std::to_string(droppedMessages) + " further messages of the batch were not kept."};
        r.informational = !droppedError;
        errors.push_back(std::move(r));
        if (streaming) streaming->Message(errors.back());
        droppedMessages = 0;
        droppedError = false;
    }

    // Records a statement's error, sets @@ERROR and returns how much of the
    // work the error ends; the transaction goes when the error takes it.
    // `s` is null for a statement of the fast path (a plain DML statement).
    Reach Failed(const ComError& e, std::vector<ErrorRecord>& errors, const Stmt* s) {
        NoteLostTransaction();
        const auto* raised = dynamic_cast<const RaisedError*>(&e);
        const int number = raised ? raised->number : ServerErrorNumber(e.Description());
        const Reach reach = ReachOf(raised, number, s);
        lastErrorNumber = number;
        // Inside TRY the CATCH block takes the error instead of the caller,
        // but not a name not found in the TRY's own batch or EXEC string, nor
        // an error that closes the connection.
        if (!tryLevels.empty() && !(raised && raised->severity >= 20) &&
            !(reach == Reach::Scope && tryLevels.back() == nesting)) {
            caught = CaughtError{number,
                                 e.Description(),
                                 raised ? raised->severity : SeverityOf(number),
                                 raised ? raised->state : 1,
                                 LineOf(s),
                                 InProcedureBody() ? frames.back().procName : std::string()};
            if (!raised && number == 1205) {
                RollbackQuietly(errors);
            } else if (!raised && xactAbort && tranCount > 0) {
                doomed = true;  // only a rollback can end it now
            }
            throw TryJump{};
        }
        ErrorRecord record{e.Error(), e.Description()};
        record.native = number;
        record.severity = raised ? raised->severity : SeverityOf(number);
        record.state = raised ? raised->state : 1;
        record.line = LineOf(s);
        if (InProcedureBody()) record.procedure = frames.back().procName;
        Report(errors, std::move(record));
        if (e.Error() == DB_E_INTEGRITYVIOLATION) {
            // The server's message 3621 follows, at severity 0.
            ErrorRecord ended{e.Error(), "The statement has been terminated."};
            ended.native = 3621;
            ended.line = LineOf(s);
            Report(errors, std::move(ended));
        }
        // The deadlock victim's transaction is rolled back, and so is any
        // transaction under XACT_ABORT (RAISERROR does not heed it).
        if (!raised && (number == 1205 || number == 217 || xactAbort)) RollbackQuietly(errors);
        return reach;
    }

    // The line a statement's error names: its first line within its batch
    // (a statement of the fast path is its batch's only one).
    static int LineOf(const Stmt* s) { return s ? static_cast<int>(s->pos.line) : 1; }

    // The server's terms for an error met outside any statement (the batch
    // did not parse, or the engine failed around it).
    static ErrorRecord BatchError(const ComError& e, int line) {
        ErrorRecord record{e.Error(), e.Description()};
        record.native = ServerErrorNumber(e.Description());
        record.severity = SeverityOf(record.native);
        record.state = 1;
        record.line = line;
        return record;
    }

    void RollbackQuietly(std::vector<ErrorRecord>& errors) {
        if (tranCount == 0) return;
        try {
            RollbackTran();
        } catch (const ComError& r) {
            Report(errors, {r.Error(), r.Description()});
        }
    }

    // The server's severity of an error it raises.
    static int SeverityOf(int number) {
        switch (number) {
            case 1205:
                return 13;
            case 2627:
            case 2601:
            case 229:
                return 14;
            case 102:
            case 137:
            case 1087:
                return 15;
            case 3701:
                return 11;
            default:
                return 16;
        }
    }

    Reach ReachOf(const RaisedError* raised, int number, const Stmt* s) const {
        // RAISERROR ends the batch only at the severities that close the
        // connection on the server; XACT_ABORT does not apply to it.
        if (raised) return raised->severity >= 20 ? Reach::Batch : Reach::Statement;
        // Past the deepest nesting the whole chain of calls ends, and the
        // transaction with it.
        if (number == 1205 || number == 217 || xactAbort) return Reach::Batch;
        // Errors of names and conversions are met in statements that
        // evaluate expressions; a DDL statement or a procedure that fails on
        // a name ends only itself (the set-up's batches carry on past them).
        if (s && !EvaluatesExpressions(s->kind)) return Reach::Statement;
        switch (number) {
            case 241:   // date conversion
            case 245:   // conversion
            case 8114:  // conversion to a number
                return Reach::Batch;
            case 207:   // invalid column name
            case 208:   // invalid object name
            case 137:   // undeclared variable
            case 1087:  // undeclared table variable
            case 4104:
                return Reach::Scope;
            default:
                return Reach::Statement;
        }
    }

    static bool EvaluatesExpressions(StmtKind k) {
        switch (k) {
            case StmtKind::Select:
            case StmtKind::Insert:
            case StmtKind::Update:
            case StmtKind::Delete:
            case StmtKind::If:
            case StmtKind::While:
            case StmtKind::Declare:
            case StmtKind::SetVariable:
            case StmtKind::Exec:
            case StmtKind::OpenCursor:
            case StmtKind::FetchCursor:
            case StmtKind::Print:
            case StmtKind::Return:
            case StmtKind::RaisError:
                return true;
            default:
                return false;
        }
    }

    // The server's number of an error, known by its message (@@ERROR).
    static int ServerErrorNumber(const std::string& message) {
        if (message.find(" has too many arguments specified.") != std::string::npos) return 8144;
        if (message.find(" is not a parameter for procedure ") != std::string::npos) return 8145;
        static const struct {
            const char* text;
            int number;
        } kNumbers[] = {
            {"Invalid column name ", 207},
            {"Invalid object name ", 208},
            {"Ambiguous column name ", 209},
            {"The multi-part identifier ", 4104},
            {"Divide by zero error encountered.", 8134},
            {"Arithmetic overflow error", 8115},
            {"Conversion failed when converting date and/or time", 241},
            {"Conversion failed when converting", 245},
            {"Error converting data type", 8114},
            {"Transaction (Process ID ", 1205},
            {"The SELECT permission was denied on the object", 229},
            {"The INSERT permission was denied on the object", 229},
            {"The UPDATE permission was denied on the object", 229},
            {"The DELETE permission was denied on the object", 229},
            {"Cannot drop the table ", 3701},
            {"Cannot drop the view ", 3701},
            {"Cannot drop the procedure ", 3701},
            {"Cannot drop the function ", 3701},
            {"Cannot drop the trigger ", 3701},
            {"Create View or Function failed because no column name", 4511},
            {"Column names in each view or function must be unique", 4506},
            {"The ORDER BY clause is invalid in views", 1033},
            {"Cannot use DROP ", 3705},
            {"'CREATE VIEW' must be the first statement", 111},
            {"'ALTER VIEW' must be the first statement", 111},
            {"'CREATE PROCEDURE' must be the first statement", 111},
            {"'ALTER PROCEDURE' must be the first statement", 111},
            {"Could not find stored procedure ", 2812},
            {"Procedure or function ", 201},
            {"Procedure ", 8146},
            {"Parameter '", 8143},
            {"Must pass parameter number ", 119},
            {"The formal parameter \"", 8162},
            {"Cannot use the OUTPUT option when passing a constant", 179},
            {"A RETURN statement with a return value cannot be used", 178},
            {"CREATE PROCEDURE contains no statements.", 124},
            {"a USE database statement is not allowed", 154},
            {"Transaction count after EXECUTE indicates", 266},
            {"Maximum stored procedure, function, trigger, or view nesting level", 217},
            {"Cannot issue SAVE TRANSACTION when there is no active transaction.", 628},
            {"Cannot roll back ", 6401},
            {"The current transaction cannot be committed and cannot be rolled back", 3931},
            {"Error severity levels greater than 18", 2754},
            {"Statement(s) could not be prepared", 8180},
            {"String or binary data would be truncated", 8152},
            {"Violation of PRIMARY KEY constraint", 2627},
            {"Violation of UNIQUE KEY constraint", 2627},
            {"Cannot insert the value NULL into column", 515},
            {"Incorrect syntax near", 102},
            {"Must declare the scalar variable", 137},
            {"Must declare the table variable", 1087},
            {"The variable name '", 134},
            {"Cannot insert explicit value for identity column", 544},
            {"Cannot update identity column", 8102},
            {"There is already an object named", 2714},
            {"The INSERT statement conflicted with the", 547},
            {"The UPDATE statement conflicted with the", 547},
            {"The DELETE statement conflicted with the", 547},
            {"The ALTER TABLE statement conflicted with the", 547},
            {"Introducing FOREIGN KEY constraint", 1785},
            {"There are no primary or candidate keys", 1776},
            {"Could not drop object", 3726},
            {"Cannot truncate table", 4712},
            {"The current transaction cannot be committed", 3930},
            {"The COMMIT TRANSACTION request has no corresponding", 3902},
            {"The ROLLBACK TRANSACTION request has no corresponding", 3903},
            {"Internal error: Server stack limit has been reached.", 8631},
            {"Some part of your SQL statement is nested too deeply.", 191},
        };
        for (const auto& n : kNumbers) {
            if (message.rfind(n.text, 0) == 0) return n.number;
        }
        if (message.rfind("The table '", 0) == 0 && message.size() > 15 &&
            message.compare(message.size() - 15, 15, "' is ambiguous.") == 0)
            return 8154;
        return 50000;
    }

    // Statements done in several engine steps are all-or-nothing. Outside a
    // transaction such a statement takes the write lock before it reads
    // anything: one that read first could not wait for another process's
    // write (what it read would be stale) and would fail at once with
    // "database is locked" instead of waiting out the busy timeout.
    template <class F>
    void Atomically(F f) {
        if (backend->InTransaction()) return AtomicallyWithin(f);
        backend->BeginTransaction();
        bool done = false;
        try {
            AtomicallyWithin(f);
            done = true;
            backend->Commit();
        } catch (...) {
            if (backend->InTransaction()) backend->AbandonTransaction();
            if (done) {
                // The commit failed: nothing of the statement is in the file.
                catalog.DropDeferred();
                SchemaChanged();
            }
            throw;
        }
    }

    template <class F>
    void AtomicallyWithin(F f) {
        backend->Savepoint("xr_stmt");
        const int64_t changes = backend->TotalChanges();
        Catalog::Deferred deferred = catalog.SaveDeferred();
        try {
            f();
        } catch (...) {
            if (backend->TotalChanges() == changes && backend->TryReleaseSavepoint("xr_stmt")) {
                // Refused before anything changed (an "already there" on a
                // re-run): nothing to undo, every cache still holds.
                throw;
            }
            if (!backend->RollbackToSavepoint("xr_stmt") && backend->InTransaction()) {
                // The statement cannot be undone alone: undo the whole
                // transaction rather than keep half of a schema change. The
                // caller's transaction is then lost (NoteLostTransaction).
                backend->AbandonTransaction();
            }
            // The tables deferred are again those of the savepoint (none
            // when the transaction itself is gone).
            if (!backend->InTransaction()) {
                catalog.DropDeferred();
            } else {
                catalog.RestoreDeferred(std::move(deferred));
            }
            SchemaChanged();
            throw;
        }
        backend->ReleaseSavepoint("xr_stmt");
    }

    // SET ROWCOUNT n: an INSERT ... SELECT, UPDATE or DELETE changes at most
    // n rows, as TOP (n) would; one with a TOP of its own ignores the limit,
    // and so may VALUES of n rows or fewer. False when the statement runs as
    // usual.
    bool RunLimitedWrite(const Stmt& s) {
        if (s.top) return false;
        if (s.kind == StmtKind::Insert && !s.select) {
            if (static_cast<int64_t>(s.values.size()) <= rowcountLimit) return false;
            rowCount = 0;
            Fail("SET ROWCOUNT " + std::to_string(rowcountLimit) +
                 " is in force: an INSERT of more VALUES rows does not run under it here; SET "
                 "ROWCOUNT 0 first.");
        }
        // The limit as the statement's TOP, for this run alone (not cached).
        auto top = std::make_unique<Expr>();
        top->kind = ExprKind::Literal;
        top->literal = LiteralKind::Integer;
        top->text = std::to_string(rowcountLimit);
        Stmt& limited = const_cast<Stmt&>(s);
        limited.top = std::move(top);
        struct Restore {
            Stmt& s;
            ~Restore() { s.top.reset(); }
        } restore{limited};
        CachedPlan cp;
        cp.plan = s.kind == StmtKind::Insert   ? RenderInsert(s, *this)
                  : s.kind == StmtKind::Update ? RenderUpdate(s, *this)
                                               : RenderDelete(s, *this);
        cp.st = Prepare(cp.plan.sql);
        RunWrite(cp, s);
        if (cp.plan.setsIdentity && rowCount > 0 && tranCount > 0) {
            int64_t& used = usedIdentities[{SchemaOf(s.table), ToUpper(s.table.name)}];
            used = std::max(used, lastIdentity);
        }
        return true;
    }

    // An INSERT or UPDATE; through a view made WITH CHECK OPTION, every row
    // it writes must be a row of the view, else the statement is undone.
    void RunWrite(CachedPlan& cp, const Stmt& s) {
        if (cp.plan.checkSql.empty()) return RunPlan(cp, &s, [](engine::Statement&) {});
        Atomically([&] {
            backend->WatchWrites(cp.plan.checkSchema, cp.plan.checkTable);
            try {
                RunPlan(cp, &s, [](engine::Statement&) {});
            } catch (...) {
                backend->WrittenRows();
                throw;
            }
            const std::vector<int64_t> rows = backend->WrittenRows();
            if (rows.empty()) return;
            std::string ids = "[";
            for (int64_t id : rows) ids += (ids.size() > 1 ? "," : "") + std::to_string(id);
            ids += "]";
            auto st = Prepare(cp.plan.checkSql);
            st->Bind(1, Value::Text(ids));
            if (st->Next() == engine::Statement::Step::Row && st->Int(0) > 0) {
                Fail(
                    "The attempted insert or update failed because the target view either "
                    "specifies WITH CHECK OPTION or spans a view that specifies WITH CHECK OPTION "
                    "and one or more rows resulting from the operation did not qualify under the "
                    "CHECK OPTION constraint.");
            }
        });
    }

    Flow Dispatch(const Stmt& s, Run& run) {
        currentBatch = run.batch;
        const Batch& batch = **run.batch;
        if (MeetsNoRows(s)) {
            // Still bound, so that a wrong name is refused as it would be.
            GetPlan(batch, s, [&] {
                return s.kind == StmtKind::Update ? RenderUpdate(s, *this) : RenderDelete(s, *this);
            });
            rowCount = 0;
            return Flow::Next;
        }
        if (rowcountLimit != 0 &&
            (s.kind == StmtKind::Insert || s.kind == StmtKind::Update ||
             s.kind == StmtKind::Delete) &&
            RunLimitedWrite(s))
            return Flow::Next;
        switch (s.kind) {
            case StmtKind::Select:
                Select(s, run);
                return Flow::Next;
            case StmtKind::Insert: {
                CachedPlan& cp = GetPlan(batch, s, [&] { return RenderInsert(s, *this); });
                RunWrite(cp, s);
                if (cp.plan.setsIdentity && rowCount > 0 && tranCount > 0) {
                    // A rollback does not give identity values back.
                    int64_t& used = usedIdentities[{SchemaOf(s.table), ToUpper(s.table.name)}];
                    used = std::max(used, lastIdentity);
                }
                return Flow::Next;
            }
            case StmtKind::Update: {
                CachedPlan& cp = GetPlan(batch, s, [&] { return RenderUpdate(s, *this); });
                RunWrite(cp, s);
                return Flow::Next;
            }
            case StmtKind::Delete: {
                CachedPlan& cp = GetPlan(batch, s, [&] { return RenderDelete(s, *this); });
                RunPlan(cp, &s, [](engine::Statement&) {});
                return Flow::Next;
            }
            case StmtKind::Truncate: {
                std::string schema =
                    s.table.Database().empty() ? currentSchema : Attach(s.table.Database());
                Atomically([&] { catalog.Truncate(schema, s.table.name); });
                rowCount = 0;
                return Flow::Next;
            }
            case StmtKind::CreateTable:
                CreateTable(s);
                return Flow::Next;
            case StmtKind::AlterTable:
                AlterTable(s);
                return Flow::Next;
            case StmtKind::DropTable: {
                std::string schema =
                    s.table.Database().empty() ? currentSchema : Attach(s.table.Database());
                std::vector<std::string> names = s.names;
                if (names.empty()) names.push_back(s.table.name);
                for (const std::string& n : names) {
                    if (!catalog.FindTable(schema, n) && catalog.FindView(schema, n)) {
                        Fail("Cannot use DROP TABLE with '" + n + "' because '" + n +
                             "' is a view. Use DROP VIEW.");
                    }
                    Atomically([&] { catalog.DropTable(schema, n); });
                    if (IEquals(n, identityInsertTable) && schema == identityInsertSchema) {
                        identityInsertTable.clear();
                    }
                    if (!n.empty() && n[0] == '#') ForgetTempTable(schema, n);
                }
                OwnSchemaChange(schema);
                return Flow::Next;
            }
            case StmtKind::CreateIndex:
                CreateIndex(s);
                return Flow::Next;
            case StmtKind::DropIndex: {
                for (size_t i = 0; i < s.names.size(); ++i) {
                    std::string schema = SchemaOf(s.objects[i]);
                    Atomically([&] { catalog.DropIndex(schema, s.objects[i].name, s.names[i]); });
                    OwnSchemaChange(schema);
                }
                return Flow::Next;
            }
            case StmtKind::CheckIdent: {
                std::string schema = SchemaOf(s.table);
                std::optional<int64_t> value;
                if (s.value) {
                    auto [v, t] = EvalScalar(*s.value, s);
                    if (!v.IsNull()) value = Convert(v, t, Make(TypeKind::BigInt), false).i;
                }
                if (s.option == "RESEED" || s.option.empty())
                    Atomically([&] { catalog.Reseed(schema, s.table.name, value); });
                else if (!catalog.FindTable(schema, s.table.name))
                    Fail("Cannot find a table or object with the name \"" + s.table.name +
                         "\". Check the system catalog.");
                return Flow::Next;
            }
            case StmtKind::CreateDatabase:
                CreateDatabase(s.database);
                return Flow::Next;
            case StmtKind::DropDatabase:
                DropDatabase(s.database);
                return Flow::Next;
            case StmtKind::Use:
                Use(s.database);
                return Flow::Next;
            case StmtKind::If: {
                bool c = EvalCondition(*s.condition, s);
                if (c) return s.thenStmt ? RunStatement(*s.thenStmt, run) : Flow::Next;
                return s.elseStmt ? RunStatement(*s.elseStmt, run) : Flow::Next;
            }
            case StmtKind::While: {
                long n = 0;
                while (EvalCondition(*s.condition, s)) {
                    if (++n > kMaxLoopIterations)
                        Fail("The WHILE loop was stopped after " +
                             std::to_string(kMaxLoopIterations) + " iterations.");
                    Flow f = s.thenStmt ? RunStatement(*s.thenStmt, run) : Flow::Next;
                    if (f == Flow::Break) break;
                    if (f == Flow::Return) return f;
                }
                return Flow::Next;
            }
            case StmtKind::Block:
                for (const StmtPtr& b : s.body) {
                    Flow f = RunStatement(*b, run);
                    if (f != Flow::Next) return f;
                }
                return Flow::Next;
            case StmtKind::Declare:
                for (const Stmt::Variable& v : s.variables) {
                    std::string up = ToUpper(v.name);
                    if (env->vars.count(up)) {
                        Fail("The variable name '" + v.name +
                             "' has already been declared. Variable "
                             "names must be unique within a query batch or stored procedure.");
                    }
                    env->vars[up] = Variable{v.type, Value::Null()};
                    if (v.init) {
                        auto [val, t] = EvalForVariable(*v.init, s, v.name);
                        Assign(v.name, val, t);
                    }
                }
                return Flow::Next;
            case StmtKind::DeclareCursor: {
                std::string up = ToUpper(s.cursor);
                if (cursors.count(up))
                    Fail("A cursor with the name '" + s.cursor + "' already exists.");
                Cursor c;
                c.batch = *run.batch;
                c.decl = &s;
                c.scroll = s.scroll;
                cursors[up] = std::move(c);
                return Flow::Next;
            }
            case StmtKind::SetVariable: {
                auto [val, t] = EvalForVariable(*s.value, s, s.variable);
                Assign(s.variable, val, t);
                return Flow::Next;
            }
            case StmtKind::SetOption:
                SetOption(s);
                return Flow::Next;
            case StmtKind::Exec: {
                auto [val, t] = EvalScalar(*s.value, s);
                if (val.IsNull()) return Flow::Next;  // EXEC of NULL does nothing
                Value text = Convert(val, t, Make(TypeKind::VarChar, 8000), false);
                RunNested(text.s, run);
                return Flow::Next;
            }
            case StmtKind::ExecProc:
                ExecProc(s, run);
                return Flow::Next;
            case StmtKind::OpenCursor:
                OpenCursor(s);
                return Flow::Next;
            case StmtKind::FetchCursor:
                Fetch(s);
                return Flow::Next;
            case StmtKind::CloseCursor: {
                Cursor& c = FindCursor(s.cursor);
                if (!c.open) Fail("The cursor is not open.");
                c.open = false;
                c.rows.clear();
                return Flow::Next;
            }
            case StmtKind::DeallocateCursor: {
                FindCursor(s.cursor);
                cursors.erase(ToUpper(s.cursor));
                return Flow::Next;
            }
            case StmtKind::Print: {
                auto [val, t] = EvalScalar(*s.value, s);
                std::string text = val.IsNull()
                                       ? std::string()
                                       : Convert(val, t, Make(TypeKind::VarChar, 8000), false).s;
                Message(*run.errors, std::move(text));
                return Flow::Next;
            }
            case StmtKind::RaisError:
                RaisError(s, run);
                return Flow::Next;
            case StmtKind::TryCatch:
                return TryCatch(s, run);
            case StmtKind::Return:
                if (s.value && InProcedureBody()) {
                    // The procedure's return status; NULL returns 0.
                    auto [v, t] = EvalScalar(*s.value, s);
                    frames.back().returnStatus =
                        v.IsNull() ? 0 : Convert(v, t, Make(TypeKind::Int), false).i;
                }
                return Flow::Return;
            case StmtKind::Break:
                return Flow::Break;
            case StmtKind::Continue:
                return Flow::Continue;
            case StmtKind::BeginTran:
                BeginTran(TranName(s));
                return Flow::Next;
            case StmtKind::CommitTran:
                CommitTran();
                return Flow::Next;
            case StmtKind::RollbackTran:
                RollbackTran(TranName(s));
                return Flow::Next;
            case StmtKind::SaveTran:
                SaveTran(TranName(s));
                return Flow::Next;
            case StmtKind::CreateView:
            case StmtKind::AlterView:
                CreateView(s);
                return Flow::Next;
            case StmtKind::DropView:
                DropViews(s);
                return Flow::Next;
            case StmtKind::DropProcedure:
                if (s.option == "procedure")
                    DropProcedures(s);
                else
                    DropViews(s);
                return Flow::Next;
            case StmtKind::CreateProcedure:
            case StmtKind::AlterProcedure:
                CreateProcedure(s);
                return Flow::Next;
        }
        Fail("Unsupported statement.");
    }

    // BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH.
    Flow TryCatch(const Stmt& s, Run& run) {
        tryLevels.push_back(nesting);
        const size_t depth = tryLevels.size();
        const int level = nesting;
        Env* scope = env;
        try {
            Flow f = RunStatement(*s.thenStmt, run);
            tryLevels.pop_back();
            return f;
        } catch (const TryJump&) {
            // Whatever ran inside (EXEC strings included) has unwound.
            tryLevels.resize(depth - 1);
            nesting = level;
            env = scope;
        } catch (...) {
            tryLevels.resize(depth - 1);
            throw;
        }
        handling.push_back(caught);
        try {
            Flow f = s.elseStmt ? RunStatement(*s.elseStmt, run) : Flow::Next;
            handling.pop_back();
            return f;
        } catch (...) {
            handling.pop_back();
            throw;
        }
    }

    // An informational message (PRINT, RAISERROR at severity 10 or less):
    // it joins the errors collection without making the batch fail.
    void Message(std::vector<ErrorRecord>& errors, std::string text) {
        ErrorRecord r{S_OK_, std::move(text)};
        r.informational = true;
        Report(errors, std::move(r));
    }

    void RaisError(const Stmt& s, Run& run) {
        std::vector<std::pair<Value, TypeSpec>> values;
        for (const ProcArg& a : s.args) values.push_back(EvalScalar(*a.value, s));
        auto whole = [&](size_t i) -> int64_t {
            const auto& [v, t] = values[i];
            if (v.IsNull()) return 0;
            return Convert(v, t, Make(TypeKind::BigInt), false).i;
        };
        bool log = false, setError = false;
        for (const std::string& option : s.names) {
            log |= option == "LOG";
            setError |= option == "SETERROR";
        }
        const int severity = static_cast<int>(std::clamp<int64_t>(whole(1), 0, 25));
        int64_t state = whole(2);
        if (state < 0) state = 1;
        if (severity > 18 && !log) {
            Fail(
                "Error severity levels greater than 18 can only be specified by members of the "
                "sysadmin role, using the WITH LOG option.");
        }
        const auto& [msg, msgType] = values[0];
        int number = 50000;
        std::string text;
        if (!msg.IsNull() && msgType.IsInteger()) {
            // A message number: this server keeps no user messages.
            const int64_t id = msg.i;
            if (id < 13000 || id == 50000 || id > INT32_MAX) {
                Fail("Error number " + std::to_string(id) +
                     " is invalid. The number must be from 13000 through 2147483647 and it must "
                     "not be 50000.");
            }
            throw RaisedError("Error " + std::to_string(id) + ", severity " +
                                  std::to_string(severity) + ", state " + std::to_string(state) +
                                  " was raised, but no message with that error number was found "
                                  "in sys.messages. If error is larger than 50000, make sure the "
                                  "user-defined message is added using sp_addmessage.",
                              18054, 16, 1);
        } else {
            std::string format =
                msg.IsNull() ? std::string()
                             : Convert(msg, msgType, Make(TypeKind::VarChar, 8000), false).s;
            values.erase(values.begin(), values.begin() + 3);
            text = RaisErrorText(format, values);
        }
        if (severity <= 10) {
            Message(*run.errors, std::move(text));
            lastErrorNumber = setError ? number : 0;
            return;
        }
        throw RaisedError(std::move(text), number, severity, static_cast<int>(state));
    }

    // RAISERROR's message: printf's conversions %d %i %o %s %u %x %X with
    // flags (- + 0 # blank), a width and a precision (or * for either, taken
    // from the arguments), the size prefixes h, l and I64, and %% for a
    // percent sign. A missing or NULL argument reads "(null)".
    static std::string RaisErrorText(const std::string& format,
                                     const std::vector<std::pair<Value, TypeSpec>>& args) {
        std::string out;
        size_t next = 0;
        auto mismatch = [&]() {
            Fail("The data type of substitution parameter " + std::to_string(next) +
                 " does not match the expected type of the format specification.");
        };
        auto takeInt = [&](int* v) {
            if (next >= args.size()) return false;
            const auto& [a, t] = args[next++];
            if (a.IsNull()) return false;
            if (!t.IsInteger()) mismatch();
            *v = static_cast<int>(std::clamp<int64_t>(a.i, -4096, 4096));
            return true;
        };
        for (size_t i = 0; i < format.size(); ++i) {
            const char c = format[i];
            if (c != '%') {
                out += c;
                continue;
            }
            if (i + 1 < format.size() && format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            size_t j = i + 1;
            std::string flags;
            while (j < format.size() && std::strchr("-+0# ", format[j]) && format[j] != '\0') {
                flags += format[j++];
            }
            int width = -1, precision = -1;
            if (j < format.size() && format[j] == '*') {
                ++j;
                if (!takeInt(&width)) width = -1;
            } else {
                while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
                    width = std::max(width, 0) * 10 + (format[j++] - '0');
            }
            if (j < format.size() && format[j] == '.') {
                ++j;
                precision = 0;
                if (j < format.size() && format[j] == '*') {
                    ++j;
                    if (!takeInt(&precision)) precision = -1;
                } else {
                    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
                        precision = precision * 10 + (format[j++] - '0');
                }
            }
            bool wide = false;
            if (j < format.size() && (format[j] == 'h' || format[j] == 'l')) {
                ++j;
            } else if (format.compare(j, 3, "I64") == 0) {
                wide = true;
                j += 3;
            }
            if (j >= format.size() || !std::strchr("diosuxX", format[j]) || format[j] == '\0') {
                // A lone % or an unknown type: the server refuses the message.
                Fail("Invalid format specification: '" +
                     format.substr(i, std::min(j + 1, format.size()) - i) + "'.");
            }
            const char type = format[j];
            i = j;
            width = std::min(width, 4096);
            precision = std::min(precision, 4096);
            // '#' serves only o, x and X, and '0' only numbers: printf leaves
            // them undefined elsewhere, and the server ignores them.
            if (!std::strchr("oxX", type))
                flags.erase(std::remove(flags.begin(), flags.end(), '#'), flags.end());
            if (type == 's') flags.erase(std::remove(flags.begin(), flags.end(), '0'), flags.end());
            std::string head = "%" + flags;
            if (width >= 0) head += std::to_string(width);
            if (precision >= 0) head += "." + std::to_string(precision);
            const bool have = next < args.size();
            const Value* a = have ? &args[next].first : nullptr;
            const TypeSpec* t = have ? &args[next].second : nullptr;
            ++next;
            if (!a || a->IsNull()) {
                flags.erase(std::remove(flags.begin(), flags.end(), '0'), flags.end());
                std::string f = "%" + flags;
                if (width >= 0) f += std::to_string(width);
                out += Format((f + "s").c_str(), "(null)");
                continue;
            }
            if (type == 's') {
                if (!t->IsText()) mismatch();
                out += Format((head + "s").c_str(), a->s.c_str());
                continue;
            }
            if (!t->IsInteger() || (t->kind == TypeKind::BigInt && !wide)) mismatch();
            const int64_t v = a->i;
            if (type == 'd' || type == 'i') {
                out += Format((head + "lld").c_str(), static_cast<long long>(v));
            } else {
                // Unsigned forms read the value's 32 bits, or 64 with I64.
                const unsigned long long u =
                    wide ? static_cast<unsigned long long>(v)
                         : static_cast<unsigned long long>(static_cast<uint32_t>(v));
                const char* conv = type == 'u'   ? "llu"
                                   : type == 'o' ? "llo"
                                   : type == 'x' ? "llx"
                                                 : "llX";
                out += Format((head + conv).c_str(), u);
            }
        }
        // The server's limit: longer messages are cut and marked.
        if (out.size() > 2047) out = out.substr(0, 2044) + "...";
        return out;
    }

    void RunNested(const std::string& text, Run& run) {
        if (nesting >= kMaxNesting) {
            Fail(
                "Maximum stored procedure, function, trigger, or view nesting level exceeded "
                "(limit 32).");
        }
        auto batch = std::make_shared<const Batch>(Parse(text, quotedIdentifier));
        Env local;
        Env* saved = env;
        env = &local;
        ++nesting;
        std::optional<int64_t> outerScope = scopeIdentity;
        scopeIdentity.reset();
        Run inner{run.errors, run.capture, &batch, run.sink};
        try {
            RunBatch(batch, inner);
        } catch (const BatchEnded& end) {
            --nesting;
            env = saved;
            // A name not found ends the EXEC string alone; the caller goes on.
            if (end.reach == Reach::Scope) return;
            throw;
        } catch (...) {
            --nesting;
            env = saved;
            scopeIdentity = outerScope;
            throw;
        }
        --nesting;
        env = saved;
        scopeIdentity = outerScope;
    }

    void Select(const Stmt& s, Run& run) {
        const SelectStmt& sel = *s.select;
        if (!sel.into.empty()) {
            SelectInto(s);
            return;
        }
        bool assigns = false;
        for (const SelectItem& item : sel.items) assigns |= !item.assignTo.empty();
        CachedPlan& cp = GetPlan(**run.batch, s, [&] { return RenderSelect(sel, *this); });
        // @@ROWCOUNT after a SELECT is the rows it gave, not the last write's.
        int64_t rows = 0;
        // SET ROWCOUNT: the rows past the limit are not given.
        const int64_t limit = rowcountLimit > 0 ? rowcountLimit : INT64_MAX;
        if (assigns) {
            std::vector<std::pair<std::string, Value>> last;
            RunPlan(cp, &s, [&](engine::Statement& st) {
                if (rows >= limit) return;
                ++rows;
                last.clear();
                for (size_t i = 0; i < sel.items.size() && i < cp.plan.columns.size(); ++i) {
                    if (!sel.items[i].assignTo.empty()) {
                        last.emplace_back(sel.items[i].assignTo,
                                          st.Column(static_cast<int>(i), cp.plan.columns[i].type));
                    }
                }
            });
            rowCount = rows;
            for (size_t i = 0, k = 0; i < sel.items.size(); ++i) {
                if (sel.items[i].assignTo.empty() || k >= last.size()) continue;
                Assign(last[k].first, last[k].second, cp.plan.columns[i].type);
                ++k;
            }
            return;
        }
        if (run.sink) {
            StreamRows(cp, s, limit, *run.sink);
            return;
        }
        if (run.capture && !*run.capture) {
            auto result = std::make_unique<MaterializedRows>(ColumnInfos(cp.plan));
            RunPlan(cp, &s, [&](engine::Statement& st) {
                if (rows >= limit) return;
                ++rows;
                std::vector<Value> row;
                row.reserve(cp.plan.columns.size());
                for (size_t i = 0; i < cp.plan.columns.size(); ++i) {
                    row.push_back(st.Column(static_cast<int>(i), cp.plan.columns[i].type));
                }
                result->Add(std::move(row));
            });
            rowCount = rows;
            *run.capture = std::move(result);
            return;
        }
        RunPlan(cp, &s, [&](engine::Statement&) { rows += rows < limit; });
        rowCount = rows;
    }

    // A SELECT's rows handed to the caller's sink one at a time, each field
    // read into the same values row after row.
    void StreamRows(CachedPlan& cp, const Stmt& s, int64_t limit, engine::ResultSink& sink) {
        const std::vector<OutColumn>& columns = cp.plan.columns;
        sink.Begin(ColumnInfos(cp.plan));
        std::vector<Variant> values(columns.size());
        int64_t rows = 0;
        RunPlan(cp, &s, [&](engine::Statement& st) {
            if (rows >= limit) return;
            ++rows;
            for (size_t i = 0; i < columns.size(); ++i) {
                const int at = static_cast<int>(i);
                if (columns[i].type.kind == TypeKind::Unknown)
                    values[i] = UntypedVariant(st.Column(at, columns[i].type));
                else
                    st.ColumnInto(at, columns[i].type, &values[i]);
            }
            sink.Row(values);
        });
        rowCount = rows;
        sink.End(rows);
    }

    static std::vector<engine::ColumnInfo> ColumnInfos(const Plan& plan) {
        std::vector<engine::ColumnInfo> out;
        out.reserve(plan.columns.size());
        for (const OutColumn& c : plan.columns) out.push_back(MakeColumnInfo(c));
        return out;
    }

    void SelectInto(const Stmt& s) {
        const SelectStmt& sel = *s.select;
        std::string schema =
            sel.into.Database().empty() ? currentSchema : Attach(sel.into.Database());
        HidingTempTable hiding{*this, schema, sel.into.name,
                               HideCallersTempTable(schema, sel.into)};
        Plan plan = RenderSelect(sel, *this);
        std::vector<ColumnDef> cols;
        for (const OutColumn& oc : plan.columns) {
            if (oc.name.empty()) {
                Fail(
                    "An object or column name is missing or empty. For SELECT INTO statements, "
                    "verify each column has a name.");
            }
            ColumnDef c;
            c.name = oc.name;
            c.type = oc.type.kind == TypeKind::Unknown ? Make(TypeKind::Int) : oc.type;
            c.notNull = !oc.nullable;
            cols.push_back(std::move(c));
        }
        Atomically([&] {
            catalog.CreateTable(schema, sel.into.name, cols);
            NoteTempTable(sel.into);
            const TableDef* t = catalog.FindTable(schema, sel.into.name);
            std::string sql = "INSERT INTO " + QuoteIdent(schema) + "." +
                              QuoteIdent(t ? t->name : sel.into.name) + " " + plan.sql;
            CachedPlan cp;
            cp.plan = plan;
            cp.st = Prepare(sql);
            RunPlan(cp, &s, [](engine::Statement&) {});
        });
        OwnSchemaChange(schema);
        backend->TableMade(schema, sel.into.name);
    }

    DefaultDef MakeDefault(const Expr& e, const Stmt& owner, const std::string& name) {
        DefaultDef d;
        d.name = name;
        d.systemNamed = name.empty();
        auto [v, t] = EvalScalar(e, owner);
        d.value = v;
        d.valueType = t;
        const std::string& text = (*currentBatch)->text;
        if (e.kind == ExprKind::Literal && e.pos.offset + e.length <= text.size()) {
            d.text = text.substr(e.pos.offset, e.length);
        } else if (e.kind == ExprKind::Unary && e.op == Op::Neg &&
                   e.args[0]->kind == ExprKind::Literal) {
            const Expr& l = *e.args[0];
            d.text = "-" + text.substr(l.pos.offset, l.length);
        } else {
            d.text = v.kind == Value::Kind::Text ? "'" + QuoteSql(v.s) + "'" : InlineValue(v);
        }
        return d;
    }
    const std::shared_ptr<const Batch>* currentBatch = nullptr;

    ColumnDef MakeColumn(const ColumnDefAst& a, const Stmt& owner) {
        if (a.identity && a.identityIncrement == 0) {
            Fail("Identity column '" + a.name + "' contains invalid INCREMENT.");
        }
        ColumnDef c;
        c.name = a.name;
        c.type = a.type;
        c.identity = a.identity;
        c.identitySeed = a.identitySeed;
        c.identityIncrement = a.identityIncrement;
        c.notNull = a.identity || a.primaryKey || (a.nullable.has_value() && !*a.nullable);
        if (a.defaultExpr) c.def = MakeDefault(*a.defaultExpr, owner, a.defaultName);
        return c;
    }

    std::string SchemaOf(const ObjectName& n) {
        return n.Database().empty() ? currentSchema : Attach(n.Database());
    }

    // DDL that may remake tables runs with the engine's foreign keys off when
    // it can (outside the caller's transaction): remaking a referenced table
    // drops it, which must not delete or cascade anything.
    template <class F>
    void WithoutForeignKeys(const std::string& schema, F f) {
        if (InTransaction() || !catalog.RemakesTables() || !catalog.HasForeignKeys(schema)) {
            f();
            return;
        }
        Exec("PRAGMA foreign_keys=OFF");
        try {
            f();
        } catch (...) {
            Exec("PRAGMA foreign_keys=ON");
            throw;
        }
        Exec("PRAGMA foreign_keys=ON");
    }

    void CreateTable(const Stmt& s) {
        std::string schema = SchemaOf(s.table);
        if (s.table.IsTableVariable() && !remaking) {
            for (const std::string& t : env->tables) {
                if (IEquals(t, s.table.name))
                    Fail("The variable name '" + s.table.name +
                         "' has already been declared. Variable names must be unique within a "
                         "query batch or stored procedure.");
            }
            // The tables of the session's table variables share one tempdb:
            // a batch run by EXEC cannot reuse a name its caller holds.
            for (const std::string& t : liveTableVariables) {
                if (IEquals(t, s.table.name))
                    Fail("The table variable '" + s.table.name +
                         "' is already declared by the batch that runs this one; choose another "
                         "name.");
            }
            // One left by a batch whose drop was undone by a rollback.
            if (catalog.FindTable(schema, s.table.name)) catalog.DropTable(schema, s.table.name);
            env->tables.push_back(s.table.name);
            liveTableVariables.push_back(s.table.name);
            tableDeclarations[ToUpper(s.table.name)] = &s;
        }
        HidingTempTable hiding{*this, schema, s.table.name,
                               !s.table.IsTableVariable() && HideCallersTempTable(schema, s.table)};
        std::vector<ColumnDef> cols;
        for (const ColumnDefAst& a : s.columnDefs) cols.push_back(MakeColumn(a, s));
        // A column named in a PRIMARY KEY is NOT NULL.
        for (const ConstraintAst& c : s.constraints) {
            if (c.kind != ConstraintKind::PrimaryKey) continue;
            for (const std::string& name : c.columns) {
                for (ColumnDef& col : cols) {
                    if (IEquals(col.name, name)) col.notNull = true;
                }
            }
        }
        WithoutForeignKeys(schema, [&] {
            Atomically([&] {
                catalog.CreateTable(schema, s.table.name, cols);
                NoteTempTable(s.table);
                for (const ColumnDefAst& a : s.columnDefs) {
                    if (a.primaryKey)
                        catalog.AddPrimaryKey(
                            schema, s.table.name,
                            a.keyName.empty() ? GeneratedName("PK", s.table.name) : a.keyName,
                            {a.name});
                    if (a.unique) {
                        IndexDef ix;
                        ix.name = a.keyName.empty() ? GeneratedName("UQ", s.table.name) : a.keyName;
                        ix.unique = true;
                        ix.uniqueKey = true;
                        ix.columns = {a.name};
                        catalog.CreateIndex(schema, s.table.name, ix);
                    }
                }
                // Keys first: a foreign key may reference the table's own.
                for (const ConstraintAst& c : s.constraints) {
                    if (c.kind != ConstraintKind::ForeignKey && c.kind != ConstraintKind::Check)
                        AddConstraint(schema, s.table.name, c, s, false);
                }
                for (const ColumnDefAst& a : s.columnDefs) {
                    for (const ConstraintAst& c : a.constraints)
                        AddConstraint(schema, s.table.name, c, s, false);
                }
                for (const ConstraintAst& c : s.constraints) {
                    if (c.kind == ConstraintKind::ForeignKey || c.kind == ConstraintKind::Check)
                        AddConstraint(schema, s.table.name, c, s, false);
                }
            });
        });
        OwnSchemaChange(schema);
        backend->TableMade(schema, s.table.name);
    }

    static std::string GeneratedName(const char* prefix, std::string_view table) {
        static uint32_t counter = 0x1A2B3C00;
        ++counter;
        return std::string(prefix) + "__" + std::string(table.substr(0, 9)) + "__" +
               Format("%08X", counter);
    }

    static RefAction ToAction(RefActionAst a) {
        switch (a) {
            case RefActionAst::Cascade:
                return RefAction::Cascade;
            case RefActionAst::SetNull:
                return RefAction::SetNull;
            case RefActionAst::SetDefault:
                return RefAction::SetDefault;
            case RefActionAst::NoAction:
                break;
        }
        return RefAction::NoAction;
    }

    // Sets `column` to the constant `v` in every row (only where it is NULL
    // with `onlyNull`); NULL itself leaves the rows alone.
    void FillDefault(const std::string& schema, const std::string& table, const std::string& column,
                     const Value& v, const TypeSpec& vt, bool onlyNull) {
        const TableDef* t = catalog.FindTable(schema, table);
        const ColumnDef* col = t ? t->FindColumn(column) : nullptr;
        if (!col) return;
        std::string value = v.IsNull() ? "NULL" : InlineValue(Convert(v, vt, col->type, true));
        std::string sql = "UPDATE " + QuoteIdent(schema) + "." + QuoteIdent(t->name) + " SET " +
                          QuoteIdent(col->name) + " = " + value;
        if (onlyNull) sql += " WHERE " + QuoteIdent(col->name) + " IS NULL";
        Exec(sql);
    }

    // `noCheck`: WITH NOCHECK, rows already there are not checked.
    void AddConstraint(const std::string& schema, const std::string& table, const ConstraintAst& c,
                       const Stmt& owner, bool noCheck) {
        switch (c.kind) {
            case ConstraintKind::PrimaryKey:
                catalog.AddPrimaryKey(
                    schema, table, c.name.empty() ? GeneratedName("PK", table) : c.name, c.columns);
                break;
            case ConstraintKind::Unique: {
                IndexDef ix;
                ix.name = c.name.empty() ? GeneratedName("UQ", table) : c.name;
                ix.unique = true;
                ix.uniqueKey = true;
                ix.columns = c.columns;
                catalog.CreateIndex(schema, table, ix);
                break;
            }
            case ConstraintKind::Default: {
                if (c.columns.empty()) Fail("Incorrect syntax near 'DEFAULT'.");
                DefaultDef d = MakeDefault(*c.defaultExpr, owner, c.name);
                Value v = d.value;
                TypeSpec vt = d.valueType;
                catalog.AddDefault(schema, table, c.columns[0], std::move(d));
                // WITH VALUES: rows without a value take the default.
                if (c.withValues) FillDefault(schema, table, c.columns[0], v, vt, true);
                break;
            }
            case ConstraintKind::ForeignKey: {
                if (!c.refTable.Database().empty() && SchemaOf(c.refTable) != schema) {
                    Fail("Cross-database foreign key references are not supported. Foreign key '" +
                         c.refTable.db + ".." + c.refTable.name + "'.");
                }
                ForeignKeyDef fk;
                fk.name = c.name;
                fk.columns = c.columns;
                fk.refTable = c.refTable.name;
                fk.refColumns = c.refColumns;
                fk.onDelete = ToAction(c.onDelete);
                fk.onUpdate = ToAction(c.onUpdate);
                fk.columnLevel = c.columnLevel;
                catalog.AddForeignKey(schema, table, std::move(fk), !noCheck);
                break;
            }
            case ConstraintKind::Check: {
                const TableDef* t = catalog.FindTable(schema, table);
                if (!t)
                    Fail("Cannot find the object \"" + table +
                         "\" because it does not exist or you do not have permissions.");
                CheckDef check;
                check.name = c.name;
                if (c.columnLevel && !c.columns.empty()) check.column = c.columns[0];
                const std::string& text = (*currentBatch)->text;
                const Expr& e = *c.checkExpr;
                if (e.pos.offset + e.length <= text.size())
                    check.text = "(" + text.substr(e.pos.offset, e.length) + ")";
                check.sql = RenderIndexFilter(e, *t, *this);
                if (!check.column.empty()) {
                    // A column's own check names that column alone.
                    TableDef own = *t;
                    own.columns.clear();
                    own.indexes.clear();
                    if (const ColumnDef* col = t->FindColumn(check.column))
                        own.columns.push_back(*col);
                    try {
                        RenderIndexFilter(e, own, *this);
                    } catch (const ComError&) {
                        Fail("Column CHECK constraint for column '" + check.column +
                             "' references another column, table '" + t->name + "'.");
                    }
                }
                catalog.AddCheck(schema, table, std::move(check), !noCheck);
                break;
            }
        }
    }

    // ALTER TABLE ... ADD of columns alone: the one statement that may leave
    // an empty table's stored form behind its definition for a while.
    static bool DefersRemake(const Stmt& s) {
        if (s.kind != StmtKind::AlterTable || s.alter != AlterAction::AddColumns ||
            !s.constraints.empty())
            return false;
        for (const ColumnDefAst& a : s.columnDefs) {
            if (!a.constraints.empty() || a.primaryKey || a.unique) return false;
            // Rows already there keep NULL in such a column: it is filled
            // once it exists, so it cannot wait.
            if (a.defaultExpr && a.nullable.value_or(true) && !a.withValues) return false;
        }
        return true;
    }

    // A new table with its keys and indexes, or a key or an index added,
    // where the engine lets tables wait (Catalog::DefersTables): nothing of
    // it needs another table made.
    static bool DefersMaking(const Stmt& s) {
        auto keyOnly = [](const std::vector<ConstraintAst>& constraints) {
            for (const ConstraintAst& c : constraints) {
                if (c.kind != ConstraintKind::PrimaryKey && c.kind != ConstraintKind::Unique)
                    return false;
            }
            return true;
        };
        switch (s.kind) {
            case StmtKind::CreateTable:
                if (s.table.IsTableVariable() || !keyOnly(s.constraints)) return false;
                for (const ColumnDefAst& a : s.columnDefs) {
                    if (!a.constraints.empty()) return false;
                }
                return true;
            case StmtKind::CreateIndex:
                return true;
            case StmtKind::AlterTable: {
                // A column's type, a default added (its rows untouched) or a
                // default or key dropped change a table yet to be made in
                // the catalog alone.
                bool keysAndDefaults = true;
                for (const ConstraintAst& c : s.constraints) {
                    keysAndDefaults &= (c.kind == ConstraintKind::Default && !c.withValues) ||
                                       c.kind == ConstraintKind::PrimaryKey ||
                                       c.kind == ConstraintKind::Unique;
                }
                return (s.alter == AlterAction::AddConstraints && keysAndDefaults) ||
                       s.alter == AlterAction::AlterColumn ||
                       s.alter == AlterAction::DropConstraint || s.alter == AlterAction::DropColumn;
            }
            default:
                return false;
        }
    }

    // Whether an expression reads no table: no subquery, and no function that
    // looks at a table's rows or counter rather than the catalog.
    static bool ReadsNoTable(const Expr* e) {
        if (!e) return true;
        if (e->select || e->over) return false;
        if (e->kind == ExprKind::Function &&
            (e->name.find('.') != std::string::npos || IEquals(e->name, "IDENT_CURRENT")))
            return false;
        for (const ExprPtr& a : e->args) {
            if (!ReadsNoTable(a.get())) return false;
        }
        return true;
    }

    // A statement of the batch's flow or its variables, that reads no table
    // itself (the statements inside a block or an IF run as statements of
    // their own): tables waiting to be made may go on waiting.
    static bool TouchesNoTable(const Stmt& s) {
        switch (s.kind) {
            case StmtKind::Block:
            case StmtKind::TryCatch:
            case StmtKind::BeginTran:
            case StmtKind::SaveTran:
            case StmtKind::Break:
            case StmtKind::Continue:
            // A cursor's rows are read when it is opened; the rest keeps
            // them or lets them go.
            case StmtKind::DeclareCursor:
            case StmtKind::FetchCursor:
            case StmtKind::CloseCursor:
            case StmtKind::DeallocateCursor:
                return true;
            case StmtKind::If:
            case StmtKind::While:
                return ReadsNoTable(s.condition.get());
            case StmtKind::Declare:
                for (const Stmt::Variable& v : s.variables) {
                    if (!ReadsNoTable(v.init.get())) return false;
                }
                return true;
            case StmtKind::SetVariable:
            case StmtKind::Print:
            case StmtKind::Return:
            case StmtKind::Exec:  // the batch it runs is statements of their own
                return ReadsNoTable(s.value.get());
            default:
                return false;
        }
    }

    void AlterTable(const Stmt& s) {
        std::string schema = SchemaOf(s.table);
        const std::string& table = s.table.name;
        // Only inside the caller's transaction (the statement's own savepoint
        // does not count): its commit makes the tables first.
        const bool defer = DefersRemake(s) && tranCount > 0;
        auto addColumns = [&](bool deferRemake) {
            std::vector<ColumnDef> cols;
            for (const ColumnDefAst& a : s.columnDefs) cols.push_back(MakeColumn(a, s));
            catalog.AddColumns(schema, table, cols, deferRemake);
            for (size_t i = 0; i < cols.size(); ++i) {
                const ColumnDefAst& a = s.columnDefs[i];
                // Rows already there keep NULL in a nullable column unless WITH VALUES.
                if (cols[i].def && !cols[i].notNull && !a.withValues && !deferRemake)
                    FillDefault(schema, table, a.name, Value::Null(), TypeSpec{}, false);
                if (a.primaryKey)
                    catalog.AddPrimaryKey(
                        schema, table, a.keyName.empty() ? GeneratedName("PK", table) : a.keyName,
                        {a.name});
                if (a.unique) {
                    IndexDef ix;
                    ix.name = a.keyName.empty() ? GeneratedName("UQ", table) : a.keyName;
                    ix.unique = true;
                    ix.uniqueKey = true;
                    ix.columns = {a.name};
                    catalog.CreateIndex(schema, table, ix);
                }
                for (const ConstraintAst& c : a.constraints)
                    AddConstraint(schema, table, c, s, s.noCheck);
            }
        };
        WithoutForeignKeys(schema, [&] {
            Atomically([&] {
                switch (s.alter) {
                    case AlterAction::AddColumns:
                        addColumns(defer);
                        for (const ConstraintAst& c : s.constraints)
                            AddConstraint(schema, table, c, s, s.noCheck);
                        break;
                    case AlterAction::AddConstraints:
                        if (!s.columnDefs.empty()) addColumns(false);
                        for (const ConstraintAst& c : s.constraints)
                            AddConstraint(schema, table, c, s, s.noCheck);
                        break;
                    case AlterAction::AlterColumn:
                        for (const ColumnDefAst& a : s.columnDefs)
                            catalog.AlterColumn(schema, table, MakeColumn(a, s));
                        break;
                    case AlterAction::DropConstraint:
                        for (const std::string& n : s.names)
                            catalog.DropConstraint(schema, table, n);
                        break;
                    case AlterAction::DropColumn:
                        for (const std::string& n : s.names) catalog.DropColumn(schema, table, n);
                        break;
                    case AlterAction::CheckConstraints:
                        // Enabling checks the rows already there only WITH CHECK.
                        catalog.EnableConstraints(schema, table, s.names, s.on,
                                                  s.on && s.withCheck);
                        break;
                }
            });
        });
        OwnSchemaChange(schema);
    }

    void CreateIndex(const Stmt& s) {
        std::string schema = SchemaOf(s.table);
        IndexDef ix;
        ix.name = s.indexName;
        ix.unique = s.unique;
        ix.columns = s.columns;
        ix.descending = s.descending;
        if (s.where) {
            const TableDef* t = catalog.FindTable(schema, s.table.name);
            if (!t)
                Fail("Cannot find the object \"" + s.table.name +
                     "\" because it does not exist or you do not have permissions.");
            ix.filterSql = RenderIndexFilter(*s.where, *t, *this);
        }
        Atomically([&] { catalog.CreateIndex(schema, s.table.name, ix); });
        OwnSchemaChange(schema);
    }

    void CreateDatabase(const std::string& name) { backend->CreateDatabase(name); }
    void DropDatabase(const std::string& name) { backend->DropDatabase(name); }

    void SetOption(const Stmt& s) {
        if (!IEquals(s.option, "IDENTITY_INSERT")) {
            for (const std::string& name : s.names) {
                if (name == "XACT_ABORT") xactAbort = s.on;
                if (name == "NOCOUNT") noCount = s.on;
            }
            if (s.option == "ROWCOUNT" && s.value) {
                // SET ROWCOUNT n: a SELECT stops after n rows; 0 lifts the limit.
                auto [v, t] = EvalScalar(*s.value, s);
                int64_t n = v.IsNull() ? 0 : Convert(v, t, Make(TypeKind::BigInt), false).i;
                rowcountLimit = n < 0 ? 0 : n;
                return;
            }
            for (const std::string& name : s.names) {
                // A procedure runs with the QUOTED_IDENTIFIER and ANSI_NULLS
                // it was made with: SETs of them inside it are ignored.
                if ((name == "QUOTED_IDENTIFIER" || name == "ANSI_NULLS") && InProcedureBody())
                    continue;
                bool* setting = name == "QUOTED_IDENTIFIER"         ? &quotedIdentifier
                                : name == "CONCAT_NULL_YIELDS_NULL" ? &concatNullYieldsNull
                                : name == "ANSI_NULLS"              ? &ansiNulls
                                                                    : nullptr;
                if (!setting || *setting == s.on) continue;
                // Cached plans and views were made with the other setting.
                *setting = s.on;
                ClearPlans();
                userViews.clear();
            }
            if (s.option == "DATEFORMAT" && s.value) {
                auto [v, t] = EvalScalar(*s.value, s);
                std::string order = v.IsNull()
                                        ? std::string()
                                        : Convert(v, t, Make(TypeKind::VarChar, 8000), false).s;
                if (!tsql::SetDateFormat(order)) {
                    Fail("'" + order +
                         "' is not a date order SET DATEFORMAT knows: mdy, dmy, ymd, ydm, myd "
                         "or dym.");
                }
                dateFormat = tsql::DateFormat();
                return;
            }
            return;  // NOCOUNT, ANSI_NULLS, ...: no effect here
        }
        std::string schema = SchemaOf(s.table);
        const TableDef* t = catalog.FindTable(schema, s.table.name);
        if (!t)
            Fail("Cannot find the object \"" + s.table.name +
                 "\" because it does not exist or you do not have permissions.");
        if (!t->IdentityColumn()) {
            Fail("Table '" + t->name +
                 "' does not have the identity property. Cannot perform SET operation.");
        }
        if (s.on) {
            if (!identityInsertTable.empty() &&
                !(identityInsertSchema == schema && IEquals(identityInsertTable, t->name))) {
                std::string db = identityInsertSchema == "main" ? "master" : identityInsertSchema;
                Fail("IDENTITY_INSERT is already ON for table '" + db + ".dbo." +
                     identityInsertTable + "'. Cannot perform SET operation for table '" + t->name +
                     "'.");
            }
            identityInsertSchema = schema;
            identityInsertTable = t->name;
        } else if (identityInsertSchema == schema && IEquals(identityInsertTable, t->name)) {
            identityInsertTable.clear();
            identityInsertSchema.clear();
        }
        ClearPlans();  // INSERT shapes depend on the setting
    }

    std::vector<std::string> ProcArgs(const Stmt& s) {
        std::vector<std::string> out;
        for (const ProcArg& a : s.args) {
            auto [v, t] = EvalScalar(*a.value, s);
            out.push_back(v.IsNull() ? std::string()
                                     : Convert(v, t, Make(TypeKind::VarChar, 8000), false).s);
        }
        return out;
    }

    // The arguments of a procedure with these parameters: by position, or by
    // name (@table_name = 'T'); none for NULL.
    ProcParams NamedArgs(const Stmt& s, const std::vector<const char*>& names) {
        ProcParams out(names.size());
        for (size_t i = 0; i < s.args.size(); ++i) {
            const ProcArg& a = s.args[i];
            size_t at = i;
            if (!a.paramName.empty()) {
                at = names.size();
                for (size_t k = 0; k < names.size(); ++k) {
                    if (IEquals(names[k], a.paramName)) at = k;
                }
                if (at == names.size()) {
                    Fail(a.paramName + " is not a parameter for procedure " + s.procedure.name +
                         ".");
                }
            }
            if (at >= names.size()) {
                Fail("Procedure or function " + s.procedure.name +
                     " has too many arguments specified.");
            }
            auto [v, t] = EvalScalar(*a.value, s);
            if (!v.IsNull()) out[at] = Convert(v, t, Make(TypeKind::VarChar, 8000), false).s;
        }
        return out;
    }

    // The server's own procedures this layer has, which a user procedure of
    // the same name does not hide.
    static bool IsSystemProcedure(const std::string& lower) {
        return !SystemProcParams(lower).empty() || lower == "sp_rename" || lower == "sp_addlogin" ||
               lower == "sp_grantdbaccess" || lower == "sp_addrolemember" || lower == "sp_helptext";
    }

    void ExecProc(const Stmt& s, Run& run) {
        std::string proc = ToLower(s.procedure.name);
        if (!IsSystemProcedure(proc)) {
            if (RunProcedure(s, run)) return;
            Fail("Could not find stored procedure '" + s.procedure.name + "'.");
        }
        SystemProc(s, run, proc);
        if (!s.returnVar.empty()) Assign(s.returnVar, Value::Int(0), Make(TypeKind::Int));
    }

    void SystemProc(const Stmt& s, Run& run, const std::string& proc) {
        if (proc == "sp_helptext") {
            HelpText(s, run);
            return;
        }
        if (std::vector<const char*> names = SystemProcParams(proc); !names.empty()) {
            SystemProcCall call = SystemProcQuery(proc, NamedArgs(s, names), current);
            if (!call.mustExist.empty() && !catalog.ObjectId(currentSchema, call.mustExist)) {
                Fail("The object '" + call.mustExist + "' does not exist in database '" + current +
                     "' or is invalid for this operation.");
            }
            if (!call.database.empty()) Attach(call.database);
            if (!call.query.empty()) RunNested(call.query, run);
            return;
        }
        std::vector<std::string> args = ProcArgs(s);
        auto need = [&](size_t n) {
            if (args.size() < n) {
                Fail("Procedure or function '" + s.procedure.name +
                     "' expects parameter which was not supplied.");
            }
        };
        if (proc == "sp_rename") {
            need(2);
            std::string type = args.size() > 2 ? ToUpper(args[2]) : "";
            std::string obj = args[0];
            auto strip = [](std::string x) {
                if (x.size() >= 2 && x.front() == '[' && x.back() == ']')
                    x = x.substr(1, x.size() - 2);
                return x;
            };
            WithoutForeignKeys(currentSchema, [&] {
                Atomically([&] {
                    if (type == "COLUMN") {
                        size_t dot = obj.rfind('.');
                        if (dot == std::string::npos) {
                            Fail(
                                "Either the parameter @objname is ambiguous or the claimed "
                                "@objtype "
                                "(COLUMN) is wrong.");
                        }
                        std::string table = obj.substr(0, dot);
                        size_t tdot = table.rfind('.');
                        if (tdot != std::string::npos) table = table.substr(tdot + 1);
                        catalog.RenameColumn(currentSchema, strip(table),
                                             strip(obj.substr(dot + 1)), args[1]);
                    } else {
                        catalog.RenameTable(currentSchema, strip(obj), args[1]);
                    }
                });
            });
            OwnSchemaChange(currentSchema);
            return;
        }
        // Each looks before it writes: under the write lock, so that another
        // process doing the same at once is seen ("already exists").
        if (proc == "sp_addlogin") {
            need(1);
            Atomically([&] {
                catalog.AddLogin(args[0], args.size() > 1 ? args[1] : std::string(),
                                 args.size() > 2 ? args[2] : std::string("master"));
            });
            return;
        }
        if (proc == "sp_grantdbaccess") {
            need(1);
            Atomically([&] { catalog.GrantDbAccess(currentSchema, args[0]); });
            return;
        }
        if (proc == "sp_addrolemember") {
            need(2);
            Atomically([&] { catalog.AddRoleMember(currentSchema, args[0], args[1]); });
            return;
        }
        Fail("Could not find stored procedure '" + s.procedure.name + "'.");
    }

    Cursor& FindCursor(const std::string& name) {
        auto it = cursors.find(ToUpper(name));
        if (it == cursors.end()) Fail("A cursor with the name '" + name + "' does not exist.");
        return it->second;
    }

    void OpenCursor(const Stmt& s) {
        Cursor& c = FindCursor(s.cursor);
        if (c.open) Fail("The cursor is already open.");
        const Stmt& decl = *c.decl;
        CachedPlan cp;
        cp.plan = RenderSelect(*decl.select, *this);
        cp.st = Prepare(cp.plan.sql);
        c.rows.clear();
        c.types.clear();
        for (const OutColumn& oc : cp.plan.columns) c.types.push_back(oc.type);
        RunPlan(cp, &decl, [&](engine::Statement& st) {
            std::vector<Value> row;
            for (size_t i = 0; i < c.types.size(); ++i)
                row.push_back(st.Column(static_cast<int>(i), c.types[i]));
            c.rows.push_back(std::move(row));
        });
        c.open = true;
        c.pos = -1;
    }

    void Fetch(const Stmt& s) {
        Cursor& c = FindCursor(s.cursor);
        if (!c.open) Fail("The cursor is not open.");
        long n = static_cast<long>(c.rows.size());
        long pos = c.pos;
        if (!c.scroll && s.direction != FetchDirection::Next) {
            Fail("The fetch type cannot be used with forward only cursors.");
        }
        switch (s.direction) {
            case FetchDirection::Next:
                pos = pos < n ? pos + 1 : n;
                break;
            case FetchDirection::Prior:
                pos = pos >= 0 ? pos - 1 : -1;
                break;
            case FetchDirection::First:
                pos = 0;
                break;
            case FetchDirection::Last:
                pos = n - 1;
                break;
            case FetchDirection::Absolute:
            case FetchDirection::Relative: {
                auto [v, t] = EvalScalar(*s.fetchOffset, s);
                long k = static_cast<long>(Convert(v, t, Make(TypeKind::Int), false).i);
                if (s.direction == FetchDirection::Relative)
                    pos += k;
                else
                    pos = k > 0 ? k - 1 : k < 0 ? n + k : -1;
                break;
            }
        }
        c.pos = std::clamp(pos, -1L, n);
        if (c.pos < 0 || c.pos >= n) {
            fetchStatus = -1;
            return;
        }
        fetchStatus = 0;
        const auto& row = c.rows[static_cast<size_t>(c.pos)];
        if (!s.intoVars.empty() && s.intoVars.size() != row.size()) {
            Fail(
                "Cursorfetch: The number of variables declared in the INTO list must match that of "
                "selected columns.");
        }
        for (size_t i = 0; i < s.intoVars.size(); ++i) Assign(s.intoVars[i], row[i], c.types[i]);
    }

    // ---- transactions -----------------------------------------------------

    static constexpr const char* kDoomedMessage =
        "The current transaction cannot be committed and cannot support operations that write "
        "to the log file. Roll back the transaction.";

    // The engine rolls a transaction back by itself on some failures (a full
    // disk, an I/O error, no memory, an interrupt). Were that missed, the
    // caller's later statements would each commit on their own and half of
    // its transaction would reach the file. One cheap question to the engine,
    // asked only while the caller has a transaction open.
    void NoteLostTransaction() {
        if (tranCount == 0 || doomed || backend->InTransaction()) return;
        doomed = true;
        // What the transaction did to the schema is undone too.
        catalog.DropDeferred();
        SchemaChanged();
    }

    [[noreturn]] static void FailDoomed() { Fail(kDoomedMessage); }

    // Before a write of the caller's: refused once its transaction is lost.
    void CheckWritable() {
        if (tranCount == 0) return;
        NoteLostTransaction();
        if (doomed) FailDoomed();
    }

    // Statements that write (or end the transaction with a commit): refused
    // in a lost transaction. Reads go on, as the server lets them.
    static bool Writes(const Stmt& s) {
        switch (s.kind) {
            case StmtKind::Select:
                return !s.select->into.empty();
            case StmtKind::Insert:
            case StmtKind::Update:
            case StmtKind::Delete:
            case StmtKind::Truncate:
            case StmtKind::CreateTable:
            case StmtKind::AlterTable:
            case StmtKind::DropTable:
            case StmtKind::CreateIndex:
            case StmtKind::DropIndex:
            case StmtKind::CheckIdent:
            case StmtKind::CreateDatabase:
            case StmtKind::DropDatabase:
            case StmtKind::ExecProc:
            case StmtKind::BeginTran:
            case StmtKind::CommitTran:
            case StmtKind::CreateView:
            case StmtKind::AlterView:
            case StmtKind::DropView:
            case StmtKind::DropProcedure:
            case StmtKind::CreateProcedure:
            case StmtKind::AlterProcedure:
                return true;
            default:
                return false;
        }
    }

    void BeginTran(const std::string& name = std::string()) {
        if (tranCount == 0) {
            backend->BeginTransaction();
            tranName = name;
            savepoints.clear();
        }
        ++tranCount;
    }

    // The name a transaction statement gives: as written, or a variable's text.
    std::string TranName(const Stmt& s) {
        if (s.tranName.empty() || s.tranName[0] != '@') return s.tranName;
        Expr e;
        e.kind = ExprKind::Variable;
        e.name = s.tranName;
        auto [v, t] = EvalScalar(e, s);
        return v.IsNull() ? std::string() : Convert(v, t, Make(TypeKind::VarChar, 8000), false).s;
    }

    // SAVE TRAN name: a point of the open transaction to roll back to.
    void SaveTran(const std::string& name) {
        if (tranCount == 0)
            Fail("Cannot issue SAVE TRANSACTION when there is no active transaction.");
        CheckWritable();
        SavePoint sp;
        sp.name = name;
        sp.engineName = "xr_save" + std::to_string(++savepointSeq);
        sp.deferred = catalog.SaveDeferred();
        backend->Savepoint(sp.engineName.c_str());
        savepoints.push_back(std::move(sp));
    }

    // ROLLBACK TRAN name of a savepoint: the work since the latest point of
    // that name is undone; the transaction stays, @@TRANCOUNT unchanged.
    bool RollbackToSave(const std::string& name) {
        auto it = std::find_if(savepoints.rbegin(), savepoints.rend(),
                               [&](const SavePoint& sp) { return sp.name == name; });
        if (it == savepoints.rend()) return false;
        if (doomed) {
            Fail(
                "The current transaction cannot be committed and cannot be rolled back to a "
                "savepoint. Roll back the entire transaction.");
        }
        SavePoint& sp = *it;
        std::vector<KeptTable> kept = KeepTableVariables();
        if (!backend->RollbackToSavepoint(sp.engineName.c_str())) {
            // The engine could not undo to the point: the whole transaction goes.
            RollbackTran();
            Fail("The transaction could not be rolled back to savepoint '" + name +
                 "'; it was rolled back.");
        }
        // Later points went with it; this one stays for another rollback.
        savepoints.erase(it.base(), savepoints.end());
        backend->Savepoint(sp.engineName.c_str());
        catalog.RestoreDeferred(sp.deferred);
        SchemaChanged();
        RestoreTableVariables(kept);
        return true;
    }
    void CommitTran() {
        if (tranCount == 0) {
            Fail("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        }
        CheckWritable();
        if (tranCount == 1) FlushDeferred();  // a failure leaves the transaction open
        if (tranCount > 1) {
            --tranCount;
            return;
        }
        try {
            backend->Commit();
            savepoints.clear();
            tranName.clear();
            usedIdentities.clear();
        } catch (const ComError&) {
            // A busy file leaves the transaction open (the caller may commit
            // again or roll back); a failure that undid it leaves none.
            if (!backend->InTransaction()) {
                tranCount = 0;
                savepoints.clear();
                tranName.clear();
                catalog.DropDeferred();
                SchemaChanged();
            }
            throw;
        }
        tranCount = 0;
    }
    // Table variables stand outside transactions: their rows are read before
    // a rollback and written back after it (one that was declared within
    // the transaction is gone with it).
    struct KeptTable {
        std::string name;
        std::vector<std::vector<tsql::Value>> rows;
    };
    std::vector<KeptTable> KeepTableVariables() {
        std::vector<KeptTable> kept;
        if (liveTableVariables.empty()) return kept;
        const std::string schema = Attach("tempdb");
        for (const std::string& name : liveTableVariables) {
            const TableDef* t = catalog.FindTable(schema, name);
            if (!t) continue;
            KeptTable k{name, {}};
            std::string list;
            for (const ColumnDef& c : t->columns)
                list += (list.empty() ? "" : ", ") + QuoteIdent(c.name);
            auto st = Prepare("SELECT " + list + " FROM " + QuoteIdent(schema) + "." +
                              QuoteIdent(t->name));
            while (st->Next() == engine::Statement::Step::Row) {
                std::vector<tsql::Value> row;
                for (size_t i = 0; i < t->columns.size(); ++i)
                    row.push_back(st->Column(static_cast<int>(i), t->columns[i].type));
                k.rows.push_back(std::move(row));
            }
            kept.push_back(std::move(k));
        }
        return kept;
    }
    void RestoreTableVariables(const std::vector<KeptTable>& kept) {
        if (kept.empty()) return;
        const std::string schema = Attach("tempdb");
        for (const KeptTable& k : kept) {
            const TableDef* t = catalog.FindTable(schema, k.name);
            auto decl = tableDeclarations.find(ToUpper(k.name));
            if (!t && decl != tableDeclarations.end()) {
                // Declared within the transaction: its table is made again.
                remaking = true;
                try {
                    CreateTable(*decl->second);
                } catch (...) {
                    remaking = false;
                    throw;
                }
                remaking = false;
                t = catalog.FindTable(schema, k.name);
            }
            if (!t) continue;
            const std::string table = QuoteIdent(schema) + "." + QuoteIdent(t->name);
            std::string list, marks;
            for (size_t i = 0; i < t->columns.size(); ++i) {
                list += (i ? ", " : "") + QuoteIdent(t->columns[i].name);
                marks += (i ? ", " : "") + backend->Parameter(static_cast<int>(i + 1));
            }
            Exec("DELETE FROM " + table);
            auto st = Prepare("INSERT INTO " + table + " (" + list + ") VALUES (" + marks + ")");
            for (const auto& row : k.rows) {
                for (size_t i = 0; i < row.size(); ++i) st->Bind(static_cast<int>(i + 1), row[i]);
                if (st->Next() == engine::Statement::Step::Failed)
                    Fail("The rows of table variable '" + k.name +
                         "' could not be kept through the rollback.");
                st->Reset();
            }
        }
    }

    void RollbackTran(const std::string& name = std::string()) {
        if (tranCount == 0) {
            Fail("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        }
        // A name other than the outermost transaction's is a savepoint's.
        if (!name.empty() && name != tranName) {
            if (RollbackToSave(name)) return;
            Fail("Cannot roll back " + name +
                 ". No transaction or savepoint of that name was found.");
        }
        tranCount = 0;
        savepoints.clear();
        tranName.clear();
        doomed = false;
        catalog.DropDeferred();
        std::vector<KeptTable> kept = KeepTableVariables();
        // A transaction the engine already undid has nothing left to roll back.
        if (backend->InTransaction()) backend->Rollback();
        SchemaChanged();
        RestoreTableVariables(kept);
        // The identity values the transaction took stay used, as on the server.
        auto used = std::move(usedIdentities);
        usedIdentities.clear();
        for (const auto& [key, value] : used) {
            try {
                catalog.KeepIdentity(key.first, key.second, value);
            } catch (const ComError&) {
                // the table went with the transaction
            }
        }
    }
    std::map<std::pair<std::string, std::string>, int64_t> usedIdentities;

    // ---- the engine's dialect ---------------------------------------------

    Plan RenderSelect(const SelectStmt& sel, RenderContext& ctx) {
        return backend->RenderSelect(sel, ctx);
    }
    Plan RenderInsert(const Stmt& s, RenderContext& ctx) { return backend->RenderInsert(s, ctx); }
    Plan RenderUpdate(const Stmt& s, RenderContext& ctx) { return backend->RenderUpdate(s, ctx); }
    Plan RenderDelete(const Stmt& s, RenderContext& ctx) { return backend->RenderDelete(s, ctx); }
    Plan RenderScalar(const Expr& e, RenderContext& ctx) { return backend->RenderScalar(e, ctx); }
    Plan RenderCondition(const Expr& e, RenderContext& ctx) {
        return backend->RenderCondition(e, ctx);
    }
    std::string RenderIndexFilter(const Expr& e, const TableDef& t, RenderContext& ctx) {
        return backend->RenderIndexFilter(e, t, ctx);
    }
    std::string InlineValue(const Value& v) { return backend->InlineValue(v); }
    std::string QuoteIdent(std::string_view name) { return backend->QuoteIdent(name); }

    // ---- the hot path -----------------------------------------------------
    // A one-statement batch whose token shape ran before runs again from its
    // tokens: no parse, no render, no prepare.

    std::unordered_map<std::string, std::string> fast;  // token key -> plan key
    std::string fastKey;
    std::vector<std::unique_ptr<Expr>> fastLits;
    std::vector<const Expr*> fastLitPtrs;

    // The token key of a batch, with its literals; false on a lexical error.
    bool TokenKey(std::string_view text) {
        fastKey.clear();
        fastKey += currentSchema;
        fastKey += '\x1f';
        size_t n = 0;
        try {
            Lexer lexer(text);
            lexer.SetQuotedIdentifier(quotedIdentifier);
            for (;;) {
                Token t = lexer.Next();
                if (t.kind == TokenKind::End) break;
                LiteralKind lk = LiteralKind::Null;
                bool literal = true;
                switch (t.kind) {
                    case TokenKind::String:
                        lk = LiteralKind::String;
                        break;
                    case TokenKind::Integer:
                        lk = LiteralKind::Integer;
                        break;
                    case TokenKind::Decimal:
                        lk = LiteralKind::Decimal;
                        break;
                    case TokenKind::Float:
                        lk = LiteralKind::Float;
                        break;
                    case TokenKind::Money:
                        lk = LiteralKind::Money;
                        break;
                    case TokenKind::Hex:
                        lk = LiteralKind::Hex;
                        break;
                    case TokenKind::Identifier:
                        literal = t.keyword == Keyword::NULL_;
                        break;
                    default:
                        literal = false;
                        break;
                }
                if (literal) {
                    if (fastLits.size() <= n) fastLits.push_back(std::make_unique<Expr>());
                    Expr& e = *fastLits[n];
                    e.kind = ExprKind::Literal;
                    e.literal = lk;
                    e.text.assign(t.text.data(), t.text.size());
                    e.paramIndex = static_cast<int>(n);
                    ++n;
                    AppendLiteralShape(fastKey, lk, t.text);
                } else {
                    fastKey += static_cast<char>('a' + static_cast<int>(t.kind));
                    fastKey.append(t.text.data(), t.text.size());
                    fastKey += '\x1f';
                }
            }
        } catch (const LexError&) {
            return false;
        }
        fastLitPtrs.resize(n);
        for (size_t i = 0; i < n; ++i) fastLitPtrs[i] = fastLits[i].get();
        return true;
    }

    // Runs a known shape; false when the shape is not (or no longer) cached.
    bool RunFast(std::vector<ErrorRecord>& errors) {
        auto f = fast.find(fastKey);
        if (f == fast.end()) return false;
        auto it = plans.find(f->second);
        if (it == plans.end()) return false;
        CachedPlan& cp = it->second->second;
        if (!cp.variableTypes.empty()) return false;  // a batch alone declares no variable
        for (const auto& [index, text] : cp.plan.inlined) {
            if (index >= static_cast<int>(fastLitPtrs.size()) ||
                fastLitPtrs[static_cast<size_t>(index)]->text != text) {
                return false;
            }
        }
        lru.splice(lru.begin(), lru, it->second);
        Running scope(*this);
        try {
            RunPlan(cp, fastLitPtrs, [](engine::Statement&) {});
            lastErrorNumber = 0;
        } catch (const SchemaMoved&) {
            SchemaChanged();
            return false;  // the slow way reads the catalog afresh
        } catch (const ComError& e) {
            // One statement: whatever the error ends, the batch is over.
            Failed(e, errors, nullptr);
        }
        return true;
    }

    // After a batch ran the slow way: remember its token shape when it was
    // one plain statement served by a cached plan.
    void RememberFast(const Batch& batch, const std::string& tokenKey) {
        if (batch.statements.size() != 1 || lastPlanKey.empty()) return;
        const Stmt& s = *batch.statements[0];
        bool plain = s.kind == StmtKind::Insert || s.kind == StmtKind::Update ||
                     s.kind == StmtKind::Delete ||
                     (s.kind == StmtKind::Select && s.select->into.empty());
        if (!plain || s.literals.size() != fastLitPtrs.size()) return;
        if (s.kind == StmtKind::Select) {
            for (const SelectItem& item : s.select->items) {
                if (!item.assignTo.empty()) return;
            }
        }
        if (fast.size() > 4 * kMaxCachedPlans) fast.clear();
        fast[tokenKey] = lastPlanKey;
    }

    // ---- entry ------------------------------------------------------------

    void Execute(std::string_view text, std::vector<ErrorRecord>& errors,
                 std::unique_ptr<engine::Rows>* capture, engine::ResultSink* sink = nullptr) {
        // The session's DATEFORMAT for this batch; the thread's own again after.
        // (Most sessions keep the default: nothing to set or put back then.)
        struct DateFormatScope {
            std::string saved = tsql::DateFormat();
            explicit DateFormatScope(const std::string& order) {
                if (order != saved) tsql::SetDateFormat(order);
            }
            ~DateFormatScope() {
                if (tsql::DateFormat() != saved) tsql::SetDateFormat(saved);
            }
        } dateFormatScope(dateFormat);
        // A batch naming a ##table opens the shared part of tempdb first: it
        // cannot be opened once the batch's statements run.
        if (!InTransaction() && text.find("##") != std::string_view::npos) {
            try {
                Attach(tsql::kGlobalTempDatabase);
            } catch (const ComError&) {
                // reported where the batch names one
            }
        }
        CheckSchemaVersions();
        if (tranCount > 0) NoteLostTransaction();
        scopeIdentity.reset();  // each batch is a scope of its own
        std::string tokenKey;
        // A lost transaction's statements go the slow way, which refuses writes.
        if (!capture && !sink && nesting == 0 && !doomed && rowcountLimit == 0 &&
            !catalog.HasDeferred() && TokenKey(text)) {
            if (RunFast(errors)) return;
            tokenKey = fastKey;
        }
        std::shared_ptr<const Batch> batch;
        try {
            batch = std::make_shared<const Batch>(Parse(text, quotedIdentifier));
        } catch (const tsql::ParseError& e) {
            errors.push_back(BatchError(e, static_cast<int>(e.Line())));
            lastErrorNumber = errors.back().native;
            if (sink) sink->Message(errors.back());
            return;
        } catch (const ComError& e) {
            errors.push_back(BatchError(e, 1));
            lastErrorNumber = errors.back().native;
            if (sink) sink->Message(errors.back());
            return;
        }
        lastPlanKey.clear();
        Env local;
        env = &local;
        currentBatch = &batch;
        Run run{&errors, capture, &batch, sink};
        // Messages reach the sink as they are recorded, until the batch ends.
        struct Streaming {
            engine::ResultSink*& at;
            ~Streaming() { at = nullptr; }
        } streamingScope{streaming};
        streaming = sink;
        try {
            RunBatch(batch, run);
        } catch (const BatchEnded&) {
            // The error that ended the batch is recorded.
        } catch (const TryJump&) {
            // Never without a TRY around it; nothing more to run.
        } catch (const ComError& e) {
            Report(errors, BatchError(e, 1));
        }
        ReportDropped(errors);
        ReleaseScratch();
        env = nullptr;
        currentBatch = nullptr;
        if (!tokenKey.empty()) RememberFast(*batch, tokenKey);
    }
};

}  // namespace xr::engine
