#include "engine/sql_writer.h"

namespace xr::engine {

using namespace xr::tsql;

std::string SqlWriter::Expr(const BoundExpr& e) {
    switch (e.kind) {
        case BoundKind::Null:
            return "NULL";
        case BoundKind::Param:
            return Param(e.param);
        case BoundKind::Constant:
            return Constant(e.value);
        case BoundKind::Column:
            return Ident(e.source->alias) + "." + Ident(e.source->ColumnName(e.column));
        case BoundKind::CaseOperand:
            return m_operand;
        case BoundKind::Convert:
            return Convert(e);
        case BoundKind::Negate:
            return "(-" + Expr(*e.args[0]) + ")";
        case BoundKind::BitNot:
            return "(~" + Expr(*e.args[0]) + ")";
        case BoundKind::Arith:
            return Arith(e);
        case BoundKind::Concat:
            return "(" + Expr(*e.args[0]) + "||" + Expr(*e.args[1]) + ")";
        case BoundKind::Bitwise:
            return Bitwise(e);
        case BoundKind::DateShift:
            return "(" + Expr(*e.args[0]) + (e.op == Op::Add ? "+" : "-") + Expr(*e.args[1]) + ")";
        case BoundKind::Compare:
            return Compare(e);
        case BoundKind::Logic:
            return "(" + Expr(*e.args[0]) + (e.op == Op::And ? " AND " : " OR ") +
                   Expr(*e.args[1]) + ")";
        case BoundKind::Not:
            return "(NOT " + Expr(*e.args[0]) + ")";
        case BoundKind::IsNull:
            return "(" + Expr(*e.args[0]) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
        case BoundKind::Like:
            return Like(e);
        case BoundKind::Between:
            return Between(e);
        case BoundKind::InList:
            return InList(e);
        case BoundKind::InQuery:
            return InQuery(e);
        case BoundKind::Exists:
            return "EXISTS (" + Query(*e.query, nullptr) + ")";
        case BoundKind::Subquery:
            return "(" + Query(*e.query, nullptr) + ")";
        case BoundKind::Case:
            return Case(e);
        case BoundKind::Function:
            return Function(e);
    }
    return "NULL";
}

std::string SqlWriter::Case(const BoundExpr& e) {
    size_t i = 0;
    std::string saved = m_operand;
    if (e.hasOperand) m_operand = Expr(*e.args[i++]);
    const size_t pairsEnd = e.hasElse ? e.args.size() - 1 : e.args.size();
    std::string sql = "(CASE";
    for (; i + 1 < pairsEnd; i += 2)
        sql += " WHEN " + Expr(*e.args[i]) + " THEN " + Expr(*e.args[i + 1]);
    if (e.hasElse) sql += " ELSE " + Expr(*e.args.back());
    m_operand = std::move(saved);
    return sql + " END)";
}

std::string SqlWriter::TableRef(const BoundTableRef& ref) {
    if (ref.join != JoinType::None) {
        const char* kw = " JOIN ";
        switch (ref.join) {
            case JoinType::Inner:
                kw = " INNER JOIN ";
                break;
            case JoinType::Left:
                kw = " LEFT JOIN ";
                break;
            case JoinType::Right:
                kw = " RIGHT JOIN ";
                break;
            case JoinType::Full:
                kw = " FULL JOIN ";
                break;
            case JoinType::Cross:
                kw = " CROSS JOIN ";
                break;
            default:
                break;
        }
        std::string sql = TableRef(*ref.left) + kw + TableRef(*ref.right);
        if (ref.on) sql += " ON " + Expr(*ref.on);
        return sql;
    }
    const BoundSource& src = *ref.source;
    if (src.cte) return CommonTable(src);
    std::string sql = src.derived        ? "(" + Query(*src.derived, nullptr) + ")"
                      : src.writeThrough ? "(" + src.table->viewRowIdSql + ")"
                      : !src.table->viewSql.empty()
                          ? "(" + src.table->viewSql + ")"
                          : Ident(src.schema) + "." + Ident(src.table->name);
    return sql + " AS " + Ident(src.alias);
}

std::string SqlWriter::From(const std::vector<BoundTableRefPtr>& from) {
    std::string sql;
    for (const BoundTableRefPtr& ref : from) {
        if (!sql.empty()) sql += ",";
        sql += TableRef(*ref);
    }
    return sql;
}

OutColumn SqlWriter::ItemColumn(const BoundItem& item) {
    OutColumn c;
    c.expr = Expr(*item.expr);
    c.name = item.column.name;
    c.type = item.column.type;
    c.baseTable = item.column.baseTable;
    c.baseColumn = item.column.baseColumn;
    c.nullable = item.column.nullable;
    return c;
}

std::string SqlWriter::BaseColumn(const tsql::BoundExpr& e) {
    return e.kind == tsql::BoundKind::Column && e.origin ? e.origin->name : std::string();
}

std::string SqlWriter::With(const tsql::BoundStatement& b) {
    if (b.ctes.empty()) return "";
    std::string sql = "WITH RECURSIVE ";
    for (size_t i = 0; i < b.ctes.size(); ++i) {
        const tsql::BoundCte& c = *b.ctes[i];
        sql += (i ? "," : "") + Ident(c.sqlName) + "(";
        for (size_t k = 0; k < c.columns.size(); ++k)
            sql += (k ? "," : "") + Ident(c.columns[k].name);
        if (c.recursive) {
            sql += ",\"xr_level\"";
            m_levelOf = &c;
            m_maxRecursion = b.maxRecursion;
        }
        sql += ") AS (" + Query(*c.query, nullptr) + ")";
    }
    return sql + " ";
}

const tsql::BoundSource* SqlWriter::FindCteSource(const tsql::BoundTableRef& ref,
                                                  const tsql::BoundCte& c) {
    if (ref.join != tsql::JoinType::None) {
        const tsql::BoundSource* s = FindCteSource(*ref.left, c);
        return s ? s : FindCteSource(*ref.right, c);
    }
    return ref.source->cte == &c ? ref.source.get() : nullptr;
}

}  // namespace xr::engine
