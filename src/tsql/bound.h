// The typed tree the binder makes of a plain statement: every name resolved
// to the table reference and column it stands for, every expression typed
// with the server's rules, every conversion an explicit Convert node. An
// engine turns it into its own dialect without resolving or typing anything.
//
// Literals and variables are parameters (BoundParam): one tree serves every
// statement of the same shape. A conversion of a parameter happens when its
// value is bound; the parameter records it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tsql/ast.h"
#include "tsql/catalog.h"
#include "tsql/types.h"

namespace xr::tsql {

struct BoundQuery;
struct BoundSource;
struct BoundColumn;
struct BoundExpr;
using BoundExprPtr = std::unique_ptr<BoundExpr>;

// How a conversion changes a value in storage representation (types.h).
enum class ConvertPath : uint8_t {
    Same,     // the stored value stays as it is; only the type changes
    Scale,    // an integer becomes a scaled integer: times 10^scale of the target
    Unscale,  // a scaled integer becomes a float: divided by 10^scale of the source
    Full,     // Convert() of types.h (strict when storing)
};

// One literal or variable, bound when the statement runs.
struct BoundParam {
    enum class Source : uint8_t { Literal, Variable, Constant };
    Source source = Source::Constant;
    int literal = -1;      // Literal: index into the statement's literals
    std::string variable;  // Variable: its name
    Value value;           // Constant: the value, in storage representation of valueType
    TypeSpec valueType;
    bool negate = false;   // a literal with a minus sign before it
    bool convert = false;  // converted to `target` when bound ...
    bool storing = false;  // ... with the strict rules of a column write
    TypeSpec target;
};

enum class BoundKind : uint8_t {
    Null,         // NULL; typed by its context (Unknown when nothing gives it a type)
    Param,        // param
    Constant,     // value written into the statement (conditions of filtered indexes)
    Column,       // source->column `column`
    CaseOperand,  // the operand of the enclosing simple CASE (each WHEN compares it anew)
    Convert,      // args[0] to `type`; see path, storing, explicitCast, atBind
    Negate,       // -args[0]
    BitNot,       // ~args[0]
    Arith,        // args[0] op args[1]; see exact
    Concat,       // text or binary args[0] + args[1]
    Bitwise,      // args[0] op args[1] (BitAnd, BitOr, BitXor), both of `type`
    DateShift,    // args[0] (DATETIME) op args[1] (FLOAT days), op Add or Sub
    Compare,      // args[0] op args[1], both of one type
    Logic,        // args[0] op args[1], op And or Or
    Not,          // NOT args[0]
    IsNull,       // args[0] IS [NOT] NULL
    Like,         // args[0] [NOT] LIKE args[1] [ESCAPE args[2]], all text
    Between,      // args[0] [NOT] BETWEEN args[1] AND args[2], all of one type
    InList,       // args[0] [NOT] IN (args[1..]), each item of args[0]'s type
    InQuery,      // args[0] [NOT] IN (query)
    Exists,       // EXISTS (query)
    Subquery,     // (query), one column
    Case,         // CASE [args[0] = operand] WHEN .. THEN .. [ELSE]; see hasOperand, hasElse
    Function,     // name (upper case), args converted to what the function takes; see part, star
};

struct BoundExpr {
    BoundKind kind = BoundKind::Null;
    TypeSpec type;           // Unknown for a bare NULL and for predicates
    bool predicate = false;  // a truth value (no type)
    bool nullable = true;    // false only for a column declared NOT NULL
    Op op = Op::Add;
    bool negated = false;  // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL
    std::vector<BoundExprPtr> args;

    int param = -1;  // Param, and any node whose value is that parameter's as bound
    Value value;     // Constant

    const BoundSource* source = nullptr;  // Column
    int column = -1;
    // The table column the value is, unchanged in storage (names and
    // describes a select-list item); null for anything computed.
    const ColumnDef* origin = nullptr;
    std::string originTable;
    // Or the column of a derived table it is, unchanged.
    const BoundColumn* derivedOrigin = nullptr;

    // Convert
    ConvertPath path = ConvertPath::Same;
    bool storing = false;       // into a column: over-long text fails instead of being cut
    bool explicitCast = false;  // CAST / CONVERT as written
    bool atBind = false;        // done to the parameter when it is bound
    int style = -1;             // CONVERT's style, when it changes the result (StyleApplies)

    // Arith: true when the result is exact (integer, MONEY, DECIMAL) and the
    // operands keep their own types (exact arithmetic of types.h works on
    // both); false when both operands were converted to the (float or
    // integer) result type.
    bool exact = false;

    // Case
    bool hasOperand = false;
    bool hasElse = false;
    // Function
    std::string name;
    std::string part;   // DATEPART/DATEADD/DATEDIFF: the part, lower case
    bool star = false;  // COUNT(*)
    bool distinct = false;
    // A window function: f(...) OVER (PARTITION BY partition ORDER BY windowOrder)
    bool window = false;
    std::vector<BoundExprPtr> partition;
    std::vector<BoundExprPtr> windowOrder;
    std::vector<bool> windowDescending;

    std::unique_ptr<BoundQuery> query;  // InQuery, Exists, Subquery
};

// A result column of a query.
struct BoundColumn {
    std::string name;
    TypeSpec type;
    std::string baseTable;
    std::string baseColumn;
    bool nullable = true;
};

// A common table expression of the statement (WITH name AS (query)).
struct BoundCte {
    std::string name;     // as written
    std::string sqlName;  // its name in the rendered statement
    std::vector<BoundColumn> columns;
    std::unique_ptr<BoundQuery> query;
    bool recursive = false;  // the query reads the table it makes
    bool ready = false;      // columns known (a recursive member may read them)
};

// A table, view or derived table in a FROM, as a column reference names it.
struct BoundSource {
    std::string alias;  // exposed name (alias, or the table's name)
    bool explicitAlias = false;
    const TableDef* table = nullptr;      // a table
    std::string schema;                   // its database's schema
    std::unique_ptr<BoundQuery> derived;  // or a derived table
    const BoundCte* cte = nullptr;        // or a common table expression
    std::vector<BoundColumn> columns;     // the derived table's (or cte's) columns
    // A view an UPDATE or DELETE writes through: read with the row ids of
    // the table behind it (TableDef::viewRowIdSql).
    mutable bool writeThrough = false;

    // The name of column `i` as stored.
    const std::string& ColumnName(int i) const {
        return table ? table->columns[static_cast<size_t>(i)].name
                     : columns[static_cast<size_t>(i)].name;
    }
};

struct BoundTableRef;
using BoundTableRefPtr = std::unique_ptr<BoundTableRef>;

struct BoundTableRef {
    JoinType join = JoinType::None;       // None: a source
    std::unique_ptr<BoundSource> source;  // None
    BoundTableRefPtr left, right;         // a join
    BoundExprPtr on;                      // its condition, when it has one
};

struct BoundItem {
    BoundExprPtr expr;
    BoundColumn column;
    // The GROUP BY expression (its index) this item is, written the same
    // with the same literals; -1 when none is or the item is a bare column.
    int group = -1;
};

// One SELECT of a query (a UNION has several).
struct BoundSelect {
    bool distinct = false;
    std::vector<BoundTableRefPtr> from;
    std::vector<BoundItem> items;
    BoundExprPtr where;
    std::vector<BoundExprPtr> groupBy;
    BoundExprPtr having;
};

struct BoundOrder {
    int item = -1;  // the select-list item it names (a position or an alias); -1: expr
    BoundExprPtr expr;
    bool descending = false;
};

struct BoundQuery {
    std::vector<BoundSelect> parts;  // SELECT [UNION [ALL] SELECT ...]
    std::vector<bool> unionAll;      // between parts[i] and parts[i + 1]
    std::vector<BoundOrder> order;
    BoundExprPtr top;  // BIGINT; FLOAT with PERCENT
    bool topPercent = false;
    bool topWithTies = false;  // the query has an ORDER BY and a single SELECT
    // The result columns: the first SELECT's.
    const std::vector<BoundItem>& Items() const { return parts.front().items; }
};

// The table an INSERT, UPDATE or DELETE writes (for the condition of a
// filtered index: the indexed table, as its own source).
struct BoundTarget {
    std::string schema;
    const TableDef* table = nullptr;
    // UPDATE/DELETE: the source that stands for the target in `from` (the
    // FROM holds the target), else the target's own source, exposed under
    // the table's name, which SET and WHERE see before the FROM's.
    const BoundSource* inFrom = nullptr;
    std::unique_ptr<BoundSource> own;
    // Written through a view: the view, and the table's column behind each
    // of its columns ("" for an expression).
    const TableDef* view = nullptr;
    std::vector<std::string> viewColumns;
};

struct BoundStatement {
    enum class Kind : uint8_t { Select, Insert, Update, Delete, Scalar, Condition };
    Kind kind = Kind::Select;
    std::vector<BoundParam> params;
    // Literals the statement depends on by value (ORDER BY positions).
    std::vector<std::pair<int, std::string>> inlined;
    bool readsIdentity = false;  // @@IDENTITY, SCOPE_IDENTITY()

    std::unique_ptr<BoundQuery>
        query;          // Select; Insert ... SELECT (items converted to the columns)
    BoundExprPtr expr;  // Scalar, Condition; Update/Delete: WHERE
    BoundExprPtr top;   // Insert/Update/Delete: TOP (n) (BIGINT; FLOAT with PERCENT)
    bool topPercent = false;

    // WITH: the statement's common tables, in order; the recursion limit
    // of the recursive ones (0: none)
    std::vector<std::unique_ptr<BoundCte>> ctes;
    int64_t maxRecursion = 100;

    BoundTarget target;                              // Insert, Update, Delete
    std::vector<BoundTableRefPtr> from;              // Update, Delete
    std::vector<int> columns;                        // Insert: column indexes into target.table
    bool defaultValues = false;                      // INSERT ... DEFAULT VALUES
    bool setsIdentity = false;                       // INSERT into a table with an identity column
    std::vector<std::vector<BoundExprPtr>> rows;     // INSERT VALUES, converted to the columns
    std::vector<std::pair<int, BoundExprPtr>> sets;  // UPDATE: column index, value converted
};

}  // namespace xr::tsql
