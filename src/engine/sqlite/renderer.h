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

#include "engine/plan.h"
#include "engine/sqlite/catalog.h"
#include "tsql/ast.h"
#include "tsql/binder.h"

namespace xr::engine::sqlite {

Plan RenderSelect(const SelectStmt& select, RenderContext& ctx);
// The value an insert gives an identity the engine's counter cannot
// (ColumnDef::CountedIdentity); "" for any other table.
std::string CountedIdentity(const std::string& schema, const TableDef& table);
Plan RenderInsert(const Stmt& stmt, RenderContext& ctx);
Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx);
Plan RenderDelete(const Stmt& stmt, RenderContext& ctx);
// "SELECT <expr>": one result column typed as the expression.
Plan RenderScalar(const Expr& expr, RenderContext& ctx);
// "SELECT CASE WHEN <condition> THEN 1 ELSE 0 END" (unknown counts as false).
Plan RenderCondition(const Expr& condition, RenderContext& ctx);
// The condition of a filtered index over `table`, with constants written in.
std::string RenderIndexFilter(const Expr& condition, const TableDef& table, RenderContext& ctx);

// The query of a view, constants written in: `sql` and `columns` only.
Plan RenderView(const SelectStmt& select, RenderContext& ctx);

// A storage value as an SQLite literal.
std::string InlineValue(const Value& v);

// "name" quoted for SQLite.
std::string QuoteIdent(std::string_view name);

}  // namespace xr::engine::sqlite
