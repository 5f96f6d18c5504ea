// A statement rendered for an engine: its SQL text in the engine's dialect,
// the values its parameters take and the T-SQL types of its result columns.
// The interpreter runs plans through a backend (engine/backend.h); each
// engine's renderer makes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tsql/binder.h"
#include "tsql/catalog.h"
#include "tsql/types.h"

namespace xr::engine {

// One bound parameter (?1, ?2, ...).
struct Slot {
    enum class Source : uint8_t { Literal, Variable, Constant };
    Source source = Source::Constant;
    int literal = -1;      // Literal: index into the statement's literals
    std::string variable;  // Variable: its name
    tsql::Value value;     // Constant: the value, in storage representation of valueType
    tsql::TypeSpec valueType;
    bool convert = false;  // convert to `target` when binding
    bool storing = false;  // ... with the strict rules of a column write
    bool negate = false;   // a literal with a minus sign before it (-1, -922337203685477.5808)
    tsql::TypeSpec target;
};

struct OutColumn {
    std::string name;
    std::string expr;  // the item as rendered, without its alias
    tsql::TypeSpec type;
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
    std::string column;    // the base column it is, "" for another expression
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
    // INSERT or UPDATE through a view made WITH CHECK OPTION: the rows the
    // statement writes in table `checkTable` of `checkSchema` must all be
    // the view's; `checkSql` counts those of them (?1: their row ids, a JSON
    // array) that are not.
    std::string checkSql, checkSchema, checkTable;
};

// The statement-level results of binding, the same for every dialect: the
// parameters become the plan's slots, with its inlined literals and whether
// it reads the session's identity value.
void TakeBinding(const tsql::BoundStatement& b, Plan& plan);

// What the renderer asks of the session: what the binder asks, since every
// statement is bound before the engine writes it in its dialect.
using RenderContext = tsql::BindCatalog;

}  // namespace xr::engine
