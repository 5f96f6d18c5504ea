// What every engine's renderer writes alike: the walk over a bound tree and
// the parts of it that read the same in any SQL dialect (NULL, columns,
// negation, AND/OR/NOT, IS NULL, EXISTS, subqueries, CASE, concatenation,
// date shifts, joins and FROM lists, select items). An engine's generator
// derives from it and writes the rest in its dialect: parameters, literals,
// comparisons of text, conversions, arithmetic, LIKE, IN, functions and
// whole queries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/plan.h"
#include "tsql/binder.h"

namespace xr::engine {

class SqlWriter {
public:
    explicit SqlWriter(Plan& plan) : m_plan(plan) {}
    virtual ~SqlWriter() = default;
    SqlWriter(const SqlWriter&) = delete;
    SqlWriter& operator=(const SqlWriter&) = delete;

    std::string Expr(const tsql::BoundExpr& e);
    std::string Case(const tsql::BoundExpr& e);
    // The tables of a FROM, joined and separated by commas.
    std::string From(const std::vector<tsql::BoundTableRefPtr>& from);
    std::string TableRef(const tsql::BoundTableRef& ref);
    // A select item as a result column (its expression rendered).
    OutColumn ItemColumn(const tsql::BoundItem& item);
    // The table column an expression is, unchanged; "" for anything else.
    static std::string BaseColumn(const tsql::BoundExpr& e);

    virtual std::string Query(const tsql::BoundQuery& q, std::vector<OutColumn>* out) = 0;

    // "WITH RECURSIVE name(columns) AS (query), ... " before a statement
    // reading common tables. A recursive one carries a column more, its
    // rows' level of recursion (0 for the anchor's), which the dialect checks
    // against the statement's limit as each level's rows are made.
    std::string With(const tsql::BoundStatement& b);

protected:
    virtual std::string Ident(std::string_view name) = 0;
    virtual std::string Param(int index) = 0;  // from 0
    virtual std::string Constant(const tsql::Value& v) = 0;
    virtual std::string Convert(const tsql::BoundExpr& e) = 0;
    virtual std::string Arith(const tsql::BoundExpr& e) = 0;
    virtual std::string Bitwise(const tsql::BoundExpr& e) = 0;
    virtual std::string Compare(const tsql::BoundExpr& e) = 0;
    virtual std::string Like(const tsql::BoundExpr& e) = 0;
    virtual std::string Between(const tsql::BoundExpr& e) = 0;
    virtual std::string InList(const tsql::BoundExpr& e) = 0;
    virtual std::string InQuery(const tsql::BoundExpr& e) = 0;
    virtual std::string Function(const tsql::BoundExpr& e) = 0;
    // A FROM entry that is a common table expression.
    virtual std::string CommonTable(const tsql::BoundSource& src) = 0;

    // The source in a FROM that is the common table `c`, or null.
    static const tsql::BoundSource* FindCteSource(const tsql::BoundTableRef& ref,
                                                  const tsql::BoundCte& c);

    Plan& m_plan;
    std::string m_operand;  // the operand of the simple CASE being written
    const tsql::BoundCte* m_levelOf = nullptr;  // the next query rendered makes this recursive table
    int64_t m_maxRecursion = 100;
};

// The plans every dialect makes alike around its generator G: a scalar
// read as a one-column row, a condition as 1 or 0, a view's query, and a
// partial index's condition naming the table's columns unqualified (each
// written `qualifier` + name by G).
template <class G>
Plan WriteScalar(const tsql::BoundStatement& b) {
    Plan plan;
    TakeBinding(b, plan);
    G g(plan);
    plan.sql = "SELECT " + g.Expr(*b.expr);
    OutColumn c;
    c.type = b.expr->type;
    plan.columns.push_back(std::move(c));
    return plan;
}

template <class G>
Plan WriteCondition(const tsql::BoundStatement& b) {
    Plan plan;
    TakeBinding(b, plan);
    G g(plan);
    plan.sql = "SELECT CASE WHEN " + g.Expr(*b.expr) + " THEN 1 ELSE 0 END";
    OutColumn c;
    c.type.kind = tsql::TypeKind::Int;
    plan.columns.push_back(std::move(c));
    return plan;
}

template <class G>
Plan WriteView(const tsql::BoundStatement& b) {
    Plan plan;
    G g(plan);
    plan.sql = g.Query(*b.query, &plan.columns);
    return plan;
}

// INSERT or UPDATE through a view made WITH CHECK OPTION, or through one
// reading such a view: the rows written must be rows of that view. Fills
// the plan's check, whose query `checkSql` makes from the view's row-id
// query, counting the written rows (a JSON array, parameter 1) it lacks;
// false when no view on the way checks.
template <class F>
bool WriteCheckOption(const tsql::BoundStatement& b, RenderContext& ctx, Plan& plan,
                      F checkSql) {
    const tsql::TableDef* v = b.target.view;
    for (int depth = 0; v && !v->viewSql.empty() && depth < 32; ++depth) {
        if (v->viewRefusal == "550") {
            plan.checkSchema = b.target.schema;
            plan.checkTable = b.target.table->name;
            plan.checkSql = checkSql(v->viewRowIdSql);
            return true;
        }
        v = ctx.FindTable(v->viewBaseSchema, v->viewBaseName);
    }
    return false;
}

template <class G>
std::string WriteIndexFilter(const tsql::BoundStatement& b, const std::string& qualifier) {
    Plan plan;
    G g(plan);
    std::string sql = g.Expr(*b.expr);
    for (size_t p; (p = sql.find(qualifier)) != std::string::npos;) sql.erase(p, qualifier.size());
    return sql;
}

}  // namespace xr::engine
