// Renders plain T-SQL statements (SELECT, INSERT, UPDATE, DELETE) and
// expressions into PostgreSQL's dialect over the storage the server engine's
// catalog keeps (pg_catalog.h): the same values as the embedded engine, text
// compared in its normal form, parameters as $n. What the dialect cannot yet
// express fails with an error naming it, never half rendered.
#pragma once

#include <string>

#include "engine/plan.h"
#include "tsql/ast.h"
#include "tsql/binder.h"

namespace xr::engine::postgres {

using namespace xr::tsql;

Plan RenderSelect(const SelectStmt& select, RenderContext& ctx);
Plan RenderInsert(const Stmt& stmt, RenderContext& ctx);
Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx);
Plan RenderDelete(const Stmt& stmt, RenderContext& ctx);
Plan RenderScalar(const Expr& expr, RenderContext& ctx);
Plan RenderCondition(const Expr& condition, RenderContext& ctx);
Plan RenderView(const SelectStmt& select, RenderContext& ctx);
std::string RenderIndexFilter(const Expr& condition, const TableDef& table, RenderContext& ctx);
// A storage value as a PostgreSQL literal of its storage type.
std::string InlineValue(const Value& v);

}  // namespace xr::engine::postgres
