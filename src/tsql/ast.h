// The syntax tree of a T-SQL batch. The parser builds it, the interpreter
// runs control flow and session state from it, the binder (binder.h) types
// its plain statements, and a renderer turns those into the engine's own
// dialect.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tsql/types.h"

namespace xr::tsql {

struct SourcePos {
    uint32_t offset = 0;  // byte offset in the batch text
    uint32_t line = 1;
    uint32_t column = 1;
};

// The database a ##table lies in: the part of tempdb every connection to the
// server shares (the engine decides where that is).
inline constexpr const char kGlobalTempDatabase[] = "tempdb##";

// A name as written: [db].[schema].name, db..name, schema.name or name.
// Brackets and double quotes are removed; case is kept.
struct ObjectName {
    std::string db;
    std::string schema;
    std::string name;
    bool empty() const { return name.empty(); }
    bool IsTableVariable() const { return !name.empty() && name[0] == '@'; }
    // The database the name lies in: a #table named without one lies in
    // tempdb, and so does a table variable; a ##table in the shared part of
    // tempdb, however named.
    std::string Database() const {
        if (name.size() > 1 && name[0] == '#' && name[1] == '#' && (db.empty() || IsTempdb(db)))
            return kGlobalTempDatabase;
        if (db.empty() && !name.empty() && (name[0] == '#' || name[0] == '@')) return "tempdb";
        return db;
    }
    static bool IsTempdb(const std::string& d) {
        static constexpr char kName[] = "tempdb";
        if (d.size() != 6) return false;
        for (size_t i = 0; i < 6; ++i) {
            if ((d[i] | 0x20) != kName[i]) return false;
        }
        return true;
    }
};

struct SelectStmt;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
struct WindowSpec;

enum class ExprKind : uint8_t {
    Literal,   // literal, text
    Variable,  // name ("@V1")
    Column,    // qualifier ("" or a table, alias or db..table text), name
    Star,      // "*" or "t.*" in a select list or COUNT(*); qualifier
    Unary,     // op, args[0]
    Binary,    // op, args[0], args[1]
    Function,  // name (as written), args; distinct for COUNT(DISTINCT x)
    Cast,      // CAST(args[0] AS type) / CONVERT(type, args[0] [, args[1] = style])
    Subquery,  // (select) as a scalar
    Exists,    // EXISTS (select)
    InList,    // args[0] [NOT] IN (args[1..])
    InSelect,  // args[0] [NOT] IN (select)
    Between,   // args[0] [NOT] BETWEEN args[1] AND args[2]
    Like,      // args[0] [NOT] LIKE args[1] [ESCAPE args[2]]
    IsNull,    // args[0] IS [NOT] NULL
    Case,  // CASE [args[0] = operand, or null] WHEN args[2i+1] THEN args[2i+2] ... [ELSE last]; see
           // hasElse
};

enum class LiteralKind : uint8_t {
    Null,     // NULL
    Integer,  // 42, 9223372036854775807 (text holds the digits)
    Decimal,  // 12.500000, .5 (text as written)
    Float,    // 1e3, 1.5E-2
    Money,    // $12.50 (text without the sign)
    String,   // 'it''s' -> text "it's"; N'...' too
    Hex,      // 0x00FF00 -> text "00FF00" (upper or lower as written); "0x" alone -> ""
};

enum class Op : uint8_t {
    // unary
    Neg,
    Plus,
    Not,
    BitNot,
    // binary
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    BitAnd,
    BitOr,
    BitXor,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,  // "!=" is Ne, "!<" is Ge, "!>" is Le
    And,
    Or,
};

// The written form of a comparison or logical operator ("=", "<>", ...,
// "AND", "OR"); null for the others.
inline const char* OperatorText(Op op) {
    static constexpr const char* kTexts[] = {"=", "<>", "<", "<=", ">", ">=", "AND", "OR"};
    return op >= Op::Eq ? kTexts[static_cast<int>(op) - static_cast<int>(Op::Eq)] : nullptr;
}

struct Expr {
    ExprKind kind = ExprKind::Literal;
    SourcePos pos;

    LiteralKind literal = LiteralKind::Null;
    int paramIndex = -1;  // literals: ordinal among the statement's literals, from 0
    uint32_t length = 0;  // literals: length of the source text (from pos.offset); other
                          // exprs: the same, so batch[pos.offset, +length) is the expr as written
    uint32_t height = 1;  // levels from here to the deepest leaf, subqueries included; the
                          // parser keeps it within kMaxExprHeight (parser.h)

    Op op = Op::Add;
    std::string name;       // variable, column, function name
    std::string qualifier;  // column or star qualifier
    std::string text;       // literal text
    bool negated = false;   // NOT IN / NOT BETWEEN / NOT LIKE / IS NOT NULL
    bool distinct = false;  // COUNT(DISTINCT x)
    bool hasElse = false;   // CASE with ELSE
    TypeSpec type;          // CAST / CONVERT target
    std::string typeText;   // the target type as written
    std::vector<ExprPtr> args;
    std::unique_ptr<SelectStmt> select;  // Subquery, Exists, InSelect
    std::unique_ptr<WindowSpec> over;    // Function: f(...) OVER (...)
};

// ---- SELECT ---------------------------------------------------------------

struct SelectItem {
    ExprPtr expr;          // Star for "*" / "t.*"
    std::string alias;     // AS name, AS 'text', or name = expr
    std::string assignTo;  // SELECT @v = expr: the variable
};

enum class JoinType : uint8_t { None, Inner, Left, Right, Full, Cross };

struct TableRef {
    ObjectName table;                     // a named table (or view)
    std::unique_ptr<SelectStmt> derived;  // or (select) AS alias
    std::string alias;
    // A join: left and right, with type and condition.
    JoinType join = JoinType::None;
    std::unique_ptr<TableRef> left, right;
    ExprPtr on;
    SourcePos pos;
};
using TableRefPtr = std::unique_ptr<TableRef>;

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

// OVER ([PARTITION BY e, ...] [ORDER BY e [ASC|DESC], ...]) of a window function.
struct WindowSpec {
    std::vector<ExprPtr> partitionBy;
    std::vector<OrderItem> orderBy;
};

// WITH name [(columns)] AS (select): one common table expression.
struct CommonTable {
    std::string name;
    std::vector<std::string> columns;
    std::unique_ptr<SelectStmt> select;
    SourcePos pos;
};

struct SelectStmt {
    bool distinct = false;
    ExprPtr top;  // TOP n / TOP (n)
    bool topPercent = false;
    bool topWithTies = false;
    std::vector<SelectItem> items;
    ObjectName into;                // SELECT ... INTO table
    std::vector<TableRefPtr> from;  // comma-separated; each may be a join tree
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;         // on the whole (union) query
    std::unique_ptr<SelectStmt> unionNext;  // UNION [ALL] next
    bool unionAll = false;
    // A SELECT statement's WITH common tables and OPTION (MAXRECURSION n)
    // (-1 when not given)
    std::vector<CommonTable> with;
    int64_t maxRecursion = -1;
};

// ---- Statements -----------------------------------------------------------

enum class StmtKind : uint8_t {
    Select,
    Insert,
    Update,
    Delete,
    Truncate,  // TRUNCATE TABLE t
    CreateTable,
    AlterTable,
    DropTable,
    CreateIndex,
    DropIndex,
    CreateDatabase,
    DropDatabase,
    Use,
    If,
    While,
    Block,          // BEGIN ... END
    Declare,        // DECLARE @a type [= expr], @b type ...
    DeclareCursor,  // DECLARE c CURSOR [options] FOR select
    SetVariable,    // SET @v = expr (also +=, -=, ...: op holds the operator)
    SetOption,      // SET IDENTITY_INSERT t ON|OFF, SET NOCOUNT ON, ...
    Exec,           // EXEC (expr [+ expr ...])
    ExecProc,       // [EXEC[UTE]] proc args; also a bare procedure call at batch start
    OpenCursor,
    FetchCursor,
    CloseCursor,
    DeallocateCursor,
    Print,
    Return,
    Break,
    Continue,
    BeginTran,
    CommitTran,
    RollbackTran,
    SaveTran,       // SAVE TRAN[SACTION] name
    RaisError,      // RAISERROR (msg, severity, state [, arg ...]) [WITH option, ...]
    TryCatch,       // BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH: thenStmt, elseStmt (blocks)
    CheckIdent,     // DBCC CHECKIDENT (table [, NORESEED | RESEED [, value]])
    CreateView,     // CREATE VIEW name [(columns)] [WITH options] AS select: table, columns, select
    AlterView,      // ALTER VIEW, as CreateView
    DropView,       // DROP VIEW v [, v ...]: objects
    DropProcedure,  // DROP PROC[EDURE] | FUNCTION | TRIGGER p [, p ...]: objects; option the kind
    // CREATE PROC[EDURE] name [@p type [= default] [OUTPUT], ...] [WITH ...] AS body: procedure,
    // variables (the parameters), body (every statement to the end of the batch)
    CreateProcedure,
    AlterProcedure,  // ALTER PROC[EDURE], as CreateProcedure
};

enum class ConstraintKind : uint8_t { PrimaryKey, Unique, Default, ForeignKey, Check };

// ON DELETE / ON UPDATE of a FOREIGN KEY.
enum class RefActionAst : uint8_t { NoAction, Cascade, SetNull, SetDefault };

struct ConstraintAst {
    std::string name;  // may be empty
    ConstraintKind kind = ConstraintKind::PrimaryKey;
    std::vector<std::string> columns;  // key columns; for Default: the FOR column
    ExprPtr defaultExpr;               // Default
    bool withValues = false;           // Default: DEFAULT ... FOR c WITH VALUES
    // ForeignKey: REFERENCES table [(columns)] [ON DELETE ...] [ON UPDATE ...]
    ObjectName refTable;
    std::vector<std::string> refColumns;
    RefActionAst onDelete = RefActionAst::NoAction;
    RefActionAst onUpdate = RefActionAst::NoAction;
    ExprPtr checkExpr;         // Check: the condition
    bool columnLevel = false;  // declared with a column
    SourcePos pos;
};

struct ColumnDefAst {
    std::string name;
    TypeSpec type;
    std::string typeText;  // as written
    bool identity = false;
    int64_t identitySeed = 1, identityIncrement = 1;
    std::optional<bool> nullable;  // explicit NULL (true) / NOT NULL (false); unset: nullable
    ExprPtr defaultExpr;           // DEFAULT expr
    std::string defaultName;       // CONSTRAINT name DEFAULT ... (empty: unnamed)
    bool primaryKey = false;       // inline PRIMARY KEY
    bool unique = false;           // inline UNIQUE
    std::string keyName;           // CONSTRAINT name PRIMARY KEY / UNIQUE
    std::vector<ConstraintAst> constraints;  // REFERENCES and CHECK declared with the column
    bool withValues = false;                 // ALTER TABLE ADD ... DEFAULT x WITH VALUES
    SourcePos pos;
};

enum class AlterAction : uint8_t {
    AddColumns,        // ADD col def, col def ...
    AddConstraints,    // ADD CONSTRAINT n PRIMARY KEY (...), CONSTRAINT n DEFAULT v FOR c, ...
    AlterColumn,       // ALTER COLUMN col type [NULL | NOT NULL]
    DropConstraint,    // DROP CONSTRAINT n, or DROP n (no keyword)
    DropColumn,        // DROP COLUMN c [, c]
    CheckConstraints,  // [WITH [NO]CHECK] CHECK | NOCHECK CONSTRAINT ALL | n [, n]
};

enum class FetchDirection : uint8_t { Next, Prior, First, Last, Absolute, Relative };

struct ProcArg {
    std::string paramName;  // @name = value, else empty
    ExprPtr value;          // a literal, variable or expression; a bare name is a String literal
    bool output = false;
    bool isDefault = false;  // the keyword DEFAULT: the parameter's own default (value null)
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;

struct Stmt {
    StmtKind kind = StmtKind::Select;
    SourcePos pos;
    uint32_t endOffset = 0;  // the statement's text is batch[pos.offset, endOffset)
    // The literals of this statement (nested statements excluded: an IF's
    // condition literals belong to the IF), in paramIndex order.
    std::vector<const Expr*> literals;

    // Select (also the source of Insert ... SELECT, DeclareCursor)
    std::unique_ptr<SelectStmt> select;

    // Insert / Update / Delete: WITH common tables before the statement, and
    // OPTION (MAXRECURSION n) after it (-1 when not given); a SELECT has its own
    std::vector<CommonTable> with;
    int64_t maxRecursion = -1;
    // Insert / Update / Delete: TOP (n) [PERCENT]
    ExprPtr top;
    bool topPercent = false;

    // Insert / Update / Delete / Truncate / CreateTable / AlterTable / CreateIndex / SetOption
    ObjectName table;
    std::string tableAlias;
    std::vector<std::string> columns;                   // INSERT column list; index columns
    std::vector<std::vector<ExprPtr>> values;           // INSERT VALUES rows
    bool defaultValues = false;                         // INSERT ... DEFAULT VALUES
    std::vector<std::pair<std::string, ExprPtr>> sets;  // UPDATE SET column = expr
    std::vector<std::string> setQualifiers;             // per SET: "t" of t.column ("" if none)
    std::vector<TableRefPtr> from;                      // UPDATE/DELETE ... FROM
    ExprPtr where;

    // CreateTable / AlterTable
    std::vector<ColumnDefAst> columnDefs;
    std::vector<ConstraintAst> constraints;
    AlterAction alter = AlterAction::AddColumns;
    std::vector<std::string> names;   // DROP CONSTRAINT / DROP COLUMN / DROP TABLE / DROP INDEX
                                      // targets (SetOption: every option named, upper-case)
    std::vector<ObjectName> objects;  // DROP TABLE: the tables; DROP INDEX: each index's table
    bool ifExists = false;            // DROP TABLE IF EXISTS
    // ALTER TABLE t WITH NOCHECK ADD ...: existing rows are not checked (also
    // WITH NOCHECK before CHECK CONSTRAINT). CheckConstraints: `on` is CHECK
    // (enforce) or NOCHECK; `names` empty means ALL.
    bool noCheck = false;
    bool withCheck = false;  // WITH CHECK written

    // CreateIndex
    bool unique = false;
    std::string indexName;
    std::vector<bool> descending;  // per index column

    // CreateDatabase / DropDatabase / Use
    std::string database;

    // If / While / Block
    ExprPtr condition;
    StmtPtr thenStmt;  // If: then; While: body
    StmtPtr elseStmt;
    std::vector<StmtPtr> body;  // Block

    // Declare
    struct Variable {
        std::string name;  // "@V1"
        TypeSpec type;
        std::string typeText;
        ExprPtr init;         // a procedure parameter's default
        bool output = false;  // a procedure parameter declared OUTPUT
    };
    std::vector<Variable> variables;

    // DeclareCursor / cursor statements
    std::string cursor;
    bool scroll = false;
    bool localCursor = false;  // DECLARE c CURSOR LOCAL (dropped at the end of the batch)
    FetchDirection direction = FetchDirection::Next;
    ExprPtr fetchOffset;                // ABSOLUTE n / RELATIVE n
    std::vector<std::string> intoVars;  // FETCH ... INTO @a, @b

    // SetVariable: variable, op (Add for +=, ...; Eq for plain =), value
    std::string variable;
    Op setOp = Op::Eq;
    ExprPtr value;  // also Exec's string, Print's and Return's expression

    // SetOption: option name upper-case ("IDENTITY_INSERT", "NOCOUNT", ...), on/off
    std::string option;
    bool on = false;

    // ExecProc
    ObjectName procedure;
    std::vector<ProcArg> args;
    std::string returnVar;  // EXEC @rc = proc

    // BeginTran / CommitTran / RollbackTran / SaveTran: the transaction or
    // savepoint name as written ("" when none); a @variable names it by value.
    std::string tranName;
    // CreateView / AlterView: the query as written after AS, kept as the
    // view's definition and bound afresh whenever the view is read.
    std::string queryText;
    bool encrypted = false;  // CreateView / AlterView WITH ENCRYPTION
    // RaisError: the message, severity, state and arguments are `args`; the
    // WITH options (LOG, NOWAIT, SETERROR) are in `names`, upper-case.
};

struct Batch {
    std::string text;  // the source
    std::vector<StmtPtr> statements;
};

}  // namespace xr::tsql
