// The binder: resolves the names of a plain statement (SELECT, INSERT,
// UPDATE, DELETE, an expression) against a catalog and types it with the
// server's rules, giving the typed tree of bound.h. Every name and type error
// is raised here, before anything runs, with the server's message:
// ComError(DB_E_NOTABLE) for a table that does not exist ("Invalid object
// name 'x'."), ComError(DB_E_ERRORSINCOMMAND) for the rest.
#pragma once

#include <string>
#include <string_view>

#include "tsql/ast.h"
#include "tsql/bound.h"
#include "tsql/catalog.h"

namespace xr::tsql {

// What the binder asks of the session.
class BindCatalog {
public:
    virtual ~BindCatalog() = default;
    // The schema that holds a database's tables; throws when there is no such database.
    virtual std::string SchemaFor(std::string_view database) = 0;
    virtual std::string CurrentSchema() = 0;
    // The table or system table; null when there is none.
    virtual const TableDef* FindTable(const std::string& schema, std::string_view name) = 0;
    // Null when the variable is not declared.
    virtual const TypeSpec* VariableType(std::string_view name) = 0;
    virtual bool IdentityInsertOn(const std::string& schema, std::string_view table) = 0;
    // SET CONCAT_NULL_YIELDS_NULL: OFF reads NULL as '' when text is joined.
    virtual bool ConcatNullYieldsNull() { return true; }
    // SET ANSI_NULLS: OFF makes "x = NULL" and "x <> NULL" tell whether x is NULL.
    virtual bool AnsiNulls() { return true; }
};

BoundStatement BindSelect(const SelectStmt& select, BindCatalog& catalog);
BoundStatement BindInsert(const Stmt& stmt, BindCatalog& catalog);
BoundStatement BindUpdate(const Stmt& stmt, BindCatalog& catalog);
BoundStatement BindDelete(const Stmt& stmt, BindCatalog& catalog);
// A value (Scalar) or a truth value (Condition) outside any query.
BoundStatement BindScalar(const Expr& expr, BindCatalog& catalog);
BoundStatement BindCondition(const Expr& condition, BindCatalog& catalog);
// The condition of a filtered index over `table`: literals become Constant
// nodes; a variable fails.
BoundStatement BindIndexFilter(const Expr& condition, const TableDef& table, BindCatalog& catalog);
// The query of a view: literals become Constant nodes, so the rendering
// stands alone inside any statement that reads the view; a variable fails.
BoundStatement BindView(const SelectStmt& select, BindCatalog& catalog);

// How a value of type `from` is converted to `to` (from an Unknown type:
// Same). `explicitCast`: CAST/CONVERT, which cuts or pads text always.
ConvertPath ConversionPath(const TypeSpec& from, const TypeSpec& to, bool storing,
                           bool explicitCast = false);

// The natural type and storage value of a literal.
TypeSpec LiteralTypeOf(const Expr& literal);
Value LiteralValueOf(const Expr& literal);  // throws ComError for a number out of range

}  // namespace xr::tsql
