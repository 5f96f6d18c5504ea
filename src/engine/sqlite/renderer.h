// Renders plain T-SQL statements (SELECT, INSERT, UPDATE, DELETE) and
// expressions into SQLite SQL over the storage layout of the catalog. The
// binder (tsql/binder.h) resolves every name and types every expression; the
// renderer writes the typed tree in SQLite's terms and hands out the T-SQL
// type of every result column. Literals and variables become bound
// parameters, so one rendering serves every statement of the same shape.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/sqlite/catalog.h"
#include "tsql/ast.h"
#include "tsql/binder.h"

namespace xr::engine::sqlite {

// One bound parameter (?1, ?2, ...).
struct Slot {
    enum class Source : uint8_t { Literal, Variable, Constant };
    Source source = Source::Constant;
    int literal = -1;      // Literal: index into the statement's literals
    std::string variable;  // Variable: its name
    Value value;           // Constant: the value, in storage representation of valueType
    TypeSpec valueType;
    bool convert = false;  // convert to `target` when binding
    bool storing = false;  // ... with the strict rules of a column write
    bool negate = false;   // a literal with a minus sign before it (-1, -922337203685477.5808)
    TypeSpec target;
};

struct OutColumn {
    std::string name;
    std::string expr;  // the item as rendered, without its alias
    TypeSpec type;
    std::string baseTable;
    std::string baseColumn;
    bool nullable = true;
};

// One term of a query's ORDER BY as an expression over its FROM (a position
// or an alias stands for the item it names).
struct OrderKey {
    std::string sql;
    bool descending = false;
    bool nullable = true;  // false only for a column declared NOT NULL
};

struct Plan {
    std::string sql;
    std::vector<Slot> slots;
    std::vector<OutColumn> columns;  // result columns of a query
    // Literals written into the SQL text itself (ORDER BY positions): a cached
    // plan serves only statements with the same values there.
    std::vector<std::pair<int, std::string>> inlined;
    // INSERT into a table with an identity column: @@IDENTITY follows it.
    bool setsIdentity = false;
    // Statement reads or writes the session's identity value (@@IDENTITY).
    bool readsIdentity = false;
    // The outermost query's clauses, so that it can be read again from a row
    // on: where its WHERE condition stands in `sql` (npos: none), where its
    // ORDER BY begins (the end of its last clause before it), its ORDER BY
    // terms, and whether a TOP limits it.
    size_t whereAt = std::string::npos, whereEnd = std::string::npos;
    size_t orderAt = std::string::npos;
    std::vector<OrderKey> order;
    bool hasTop = false;
};

// What the renderer asks of the session: what the binder asks (the renderer
// binds every statement before it writes SQLite SQL from the typed tree).
class RenderContext : public BindCatalog {
public:
    ~RenderContext() override = default;
    // The SQLite schema of a database name (attaching it); throws when missing.
    std::string SchemaFor(std::string_view database) override = 0;
    std::string CurrentSchema() override = 0;
    // The table or system table; null when there is none.
    const TableDef* FindTable(const std::string& schema, std::string_view name) override = 0;
    // Null when the variable is not declared.
    const TypeSpec* VariableType(std::string_view name) override = 0;
    bool IdentityInsertOn(const std::string& schema, std::string_view table) override = 0;
};

Plan RenderSelect(const SelectStmt& select, RenderContext& ctx);
Plan RenderInsert(const Stmt& stmt, RenderContext& ctx);
Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx);
Plan RenderDelete(const Stmt& stmt, RenderContext& ctx);
// "SELECT <expr>": one result column typed as the expression.
Plan RenderScalar(const Expr& expr, RenderContext& ctx);
// "SELECT CASE WHEN <condition> THEN 1 ELSE 0 END" (unknown counts as false).
Plan RenderCondition(const Expr& condition, RenderContext& ctx);
// The condition of a filtered index over `table`, with constants written in.
std::string RenderIndexFilter(const Expr& condition, const TableDef& table, RenderContext& ctx);

// The natural type and storage value of a literal.
TypeSpec LiteralType(const Expr& literal);
Value LiteralValue(const Expr& literal);  // throws ComError for a number out of range

// A storage value as an SQLite literal.
std::string InlineValue(const Value& v);

// "name" quoted for SQLite.
std::string QuoteIdent(std::string_view name);

}  // namespace xr::engine::sqlite
