#include "engine/sqlite/renderer.h"

#include <algorithm>

#include "engine/sql_writer.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

int64_t Pow10(int n) {
    int64_t v = 1;
    while (n-- > 0) v *= 10;
    return v;
}

const char* Collate(const TypeSpec& t) { return t.IsText() ? " COLLATE TSQL" : ""; }

// A comparison as written ("=" for anything else, which never reaches here).
const char* CompareText(Op op) {
    const char* text = op == Op::And || op == Op::Or ? nullptr : OperatorText(op);
    return text ? text : "=";
}

char ArithChar(Op op) {
    switch (op) {
        case Op::Sub:
            return '-';
        case Op::Mul:
            return '*';
        case Op::Div:
            return '/';
        case Op::Mod:
            return '%';
        default:
            return '+';
    }
}

// Writes a bound statement in SQLite's dialect over the catalog's storage
// layout (types.h): scaled integers for MONEY and DECIMAL, the xr_* functions
// for what SQLite cannot do itself, COLLATE TSQL on every text comparison.
class Generator final : public SqlWriter {
public:
    explicit Generator(Plan& plan) : SqlWriter(plan) {}

    void MarkTop() { m_markTop = true; }

    std::string Ident(std::string_view name) override { return QuoteIdent(name); }
    std::string Param(int index) override { return "?" + std::to_string(index + 1); }
    std::string Constant(const Value& v) override { return InlineValue(v); }

    std::string Bitwise(const BoundExpr& e) override {
        std::string a = Expr(*e.args[0]), b = Expr(*e.args[1]);
        if (e.op == Op::BitAnd) return "(" + a + "&" + b + ")";
        if (e.op == Op::BitOr) return "(" + a + "|" + b + ")";
        return "((" + a + "|" + b + ")-(" + a + "&" + b + "))";
    }

    std::string Compare(const BoundExpr& e) override {
        const bool text = e.args[0]->type.IsText() && e.args[1]->type.IsText();
        return "(" + Expr(*e.args[0]) + " " + CompareText(e.op) + " " + Expr(*e.args[1]) +
               (text ? " COLLATE TSQL" : "") + ")";
    }

    std::string Like(const BoundExpr& e) override {
        // SQLite's LIKE knows no [a-c] sets and minds trailing blanks.
        std::string sql = std::string(e.negated ? "(NOT " : "(") + "xr_like(" + Expr(*e.args[0]) +
                          "," + Expr(*e.args[1]);
        if (e.args.size() > 2) sql += "," + Expr(*e.args[2]);
        return sql + "))";
    }

    std::string Between(const BoundExpr& e) override {
        const char* coll = Collate(e.args[0]->type);
        return "(" + Expr(*e.args[0]) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") +
               Expr(*e.args[1]) + coll + " AND " + Expr(*e.args[2]) + coll + ")";
    }

    std::string InList(const BoundExpr& e) override {
        std::string list;
        for (size_t i = 1; i < e.args.size(); ++i) {
            if (i > 1) list += ",";
            list += Expr(*e.args[i]) + Collate(e.args[i]->type);
        }
        return "(" + Expr(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (") + list + "))";
    }

    std::string InQuery(const BoundExpr& e) override {
        return "(" + Expr(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (") +
               Query(*e.query, nullptr) + "))";
    }

    std::string CommonTable(const BoundSource& src) override {
        return QuoteIdent(src.cte->sqlName) + " AS " + QuoteIdent(src.alias);
    }

    std::string Convert(const BoundExpr& e) override {
        std::string x = Expr(*e.args[0]);
        // A parameter is converted as it is bound (its slot says how).
        if (e.atBind) return x;
        const TypeSpec& from = e.args[0]->type;
        switch (e.path) {
            case ConvertPath::Same:
                return x;
            case ConvertPath::Scale:
                return "(" + x + "*" + std::to_string(Pow10(e.type.scale)) + ")";
            case ConvertPath::Unscale:
                return "(" + x + "/" + std::to_string(Pow10(from.scale)) + ".0)";
            case ConvertPath::Full:
                break;
        }
        if (e.style >= 0)
            return "xr_convert(" + x + "," + std::to_string(from.Code()) + "," +
                   std::to_string(e.type.Code()) + "," + std::to_string(e.style) + ")";
        return std::string(e.storing ? "xr_store(" : "xr_cast(") + x + "," +
               std::to_string(from.Code()) + "," + std::to_string(e.type.Code()) + ")";
    }

    std::string Arith(const BoundExpr& e) override {
        const char op = ArithChar(e.op);
        auto apply = [&](const std::string& x, const std::string& y) {
            if (op == '/' || op == '%') return "(" + x + op + "xr_nonzero(" + y + "))";
            return "(" + x + op + y + ")";
        };
        // INT and BIGINT results are checked for the server's overflow error:
        // SQLite would widen them (to 64 bits, then to a real). A chain of
        // them (a + b + c) is checked once, at its end, so that a long chain
        // stays within the depth SQLite's parser takes.
        const bool chained = m_inIntChain;
        m_inIntChain = false;
        auto operand = [&](const BoundExpr& x) {
            m_inIntChain = IntArith(x) && x.type.kind == e.type.kind;
            std::string out = Expr(x);
            m_inIntChain = false;
            return out;
        };
        const std::string a = operand(*e.args[0]), b = operand(*e.args[1]);
        if (!e.exact) {
            if (!chained && IntArith(e)) {
                return "xr_int(" + apply(a, b) + (e.type.kind == TypeKind::Int ? ",4)" : ",8)");
            }
            return apply(a, b);
        }
        // MONEY and DECIMAL are kept as integers scaled by 10^scale, so
        // SQLite's integer arithmetic serves where it is exact; the rest
        // (rounding, division, reals) goes through xr_arith, as do TINYINT
        // and SMALLINT results, which overflow long before SQLite's integers do.
        const TypeSpec& ta = e.args[0]->type;
        const TypeSpec& tb = e.args[1]->type;
        const TypeSpec& t = e.type;
        auto scaled = [](const TypeSpec& x) {
            return (x.IsInteger() || x.IsScaled()) && x.kind != TypeKind::Unknown;
        };
        auto scaleOf = [](const TypeSpec& x) { return x.IsScaled() ? int{x.scale} : 0; };
        auto rescaled = [&](const std::string& x, int by) {
            return by == 0 ? x : "(" + x + "*" + std::to_string(Pow10(by)) + ")";
        };
        if (t.IsScaled() && scaled(ta) && scaled(tb)) {
            const int sa = scaleOf(ta), sb = scaleOf(tb), st = t.scale;
            if ((op == '+' || op == '-' || op == '%') && sa <= st && sb <= st)
                return apply(rescaled(a, st - sa), rescaled(b, st - sb));
            if (op == '*' && sa + sb == st) return apply(a, b);
            // Money by a whole number: SQLite's integer division cuts as the server does.
            if (op == '/' && sa == st && tb.IsInteger()) return apply(a, b);
        }
        return "xr_arith(" + std::to_string(static_cast<int>(op)) + "," + a + "," +
               std::to_string(ta.Code()) + "," + b + "," + std::to_string(tb.Code()) + "," +
               std::to_string(t.Code()) + ")";
    }

    // " OVER (PARTITION BY ... ORDER BY ...)" of a window function.
    std::string Over(const BoundExpr& e) {
        std::string sql = " OVER (";
        for (size_t i = 0; i < e.partition.size(); ++i) {
            sql += i ? "," : "PARTITION BY ";
            sql += Expr(*e.partition[i]) + Collate(e.partition[i]->type);
        }
        for (size_t i = 0; i < e.windowOrder.size(); ++i) {
            sql += i ? "," : e.partition.empty() ? "ORDER BY " : " ORDER BY ";
            sql += Expr(*e.windowOrder[i]) + Collate(e.windowOrder[i]->type);
            if (e.windowDescending[i]) sql += " DESC";
        }
        return sql + ")";
    }

    std::string Function(const BoundExpr& e) override {
        const std::string& name = e.name;
        auto arg = [&](size_t i) { return Expr(*e.args.at(i)); };
        const std::string d = e.distinct ? "DISTINCT " : "";
        // SQLite's window functions over the same partition and order: each
        // aggregate call below is followed by it.
        const std::string over = e.window ? Over(e) : "";
        if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK")
            return ToLower(name) + "()" + over;
        if (name == "NTILE") return "ntile(" + arg(0) + ")" + over;
        if (name == "COUNT" || name == "COUNT_BIG")
            return (e.star ? "count(*)" : "count(" + d + arg(0) + ")") + over;
        // Sums of whole numbers, MONEY and scaled DECIMAL fail on overflow
        // with the server's message instead of SQLite's (over a window,
        // SQLite's own sum, which is exact on the stored integers).
        auto checkedSum = [&](const TypeSpec& t) {
            const char* fn = e.window                     ? "sum("
                             : t.kind == TypeKind::BigInt ? "xr_sum_bigint("
                             : t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney
                                 ? "xr_sum_money("
                             : t.kind == TypeKind::Decimal ? "xr_sum_numeric("
                                                           : "sum(";
            return fn + d + arg(0) + ")" + over;
        };
        if (name == "AVG") {
            const TypeSpec& a = e.args[0]->type;
            // MONEY averages to MONEY, cut at four places as its division is.
            if (e.type.kind == TypeKind::Money)
                return "(" + checkedSum(a) + "/count(" + d + arg(0) + ")" + over + ")";
            std::string sql = "avg(" + d + arg(0) + ")" + over;
            return a.IsInteger() ? "CAST(" + sql + " AS INTEGER)" : sql;
        }
        if (name == "SUM") {
            const TypeSpec& a = e.args[0]->type;
            // A DECIMAL sum has 38 digits, which are kept as a real.
            if (a.kind == TypeKind::Decimal && a.IsScaled() && !e.type.IsScaled())
                return "(" + checkedSum(a) + "/" + std::to_string(Pow10(a.scale)) + ".0)";
            // The sum of INT values is an INT: one out of range is the
            // server's overflow error, not a wider number.
            if (e.type.kind == TypeKind::Int) return "xr_int(" + checkedSum(a) + ",4)";
            return checkedSum(a);
        }
        if (name == "MIN" || name == "MAX")
            return ToLower(name) + "(" + arg(0) + Collate(e.args[0]->type) + ")" + over;
        if (name == "ISNULL") return "ifnull(" + arg(0) + "," + arg(1) + ")";
        if (name == "COALESCE") {
            std::string sql = "coalesce(";
            for (size_t i = 0; i < e.args.size(); ++i) sql += (i ? "," : "") + arg(i);
            return sql + (e.args.size() == 1 ? ",NULL)" : ")");
        }
        if (name == "NULLIF") {
            // Text is equal by the collation (without case), which nullif() does not know.
            if (!e.args[0]->type.IsText() || !e.args[1]->type.IsText())
                return "nullif(" + arg(0) + "," + arg(1) + ")";
            const std::string a = arg(0);
            return "(CASE WHEN " + a + "=" + arg(1) + " COLLATE TSQL THEN NULL ELSE " + a + " END)";
        }
        if (name == "LEN") return "xr_len(" + arg(0) + ")";
        if (name == "DATALENGTH") return "length(CAST(" + arg(0) + " AS BLOB))";
        if (name == "LTRIM") return "ltrim(" + arg(0) + ",' ')";
        if (name == "RTRIM") return "rtrim(" + arg(0) + ",' ')";
        if (name == "UPPER" || name == "LOWER") return ToLower(name) + "(" + arg(0) + ")";
        if (name == "SUBSTRING")
            return "xr_substring(" + arg(0) + "," + arg(1) + "," + arg(2) + ")";
        if (name == "LEFT") return "xr_left(" + arg(0) + "," + arg(1) + ")";
        if (name == "RIGHT") return "xr_right(" + arg(0) + "," + arg(1) + ")";
        if (name == "REPLACE") return "xr_replace(" + arg(0) + "," + arg(1) + "," + arg(2) + ")";
        if (name == "CHARINDEX") {
            std::string sql = "xr_charindex(" + arg(0) + "," + arg(1);
            if (e.args.size() > 2) sql += "," + arg(2);
            return sql + ")";
        }
        if (name == "PATINDEX") return "xr_patindex(" + arg(0) + "," + arg(1) + ")";
        if (name == "STUFF")
            return "xr_stuff(" + arg(0) + "," + arg(1) + "," + arg(2) + "," + arg(3) + ")";
        if (name == "REPLICATE") return "xr_replicate(" + arg(0) + "," + arg(1) + ")";
        if (name == "SPACE") return "xr_space(" + arg(0) + ")";
        const TypeSpec& t = e.type;
        const bool exact = (t.IsInteger() || t.IsScaled()) && t.kind != TypeKind::Unknown;
        if (name == "ABS")
            return exact ? "xr_abs(" + arg(0) + "," + std::to_string(t.Code()) + ")"
                         : "abs(" + arg(0) + ")";
        if (name == "SIGN") {
            // A MONEY or DECIMAL one is stored scaled.
            const std::string one =
                t.IsScaled() ? std::to_string(Pow10(t.kind == TypeKind::Decimal ? t.scale : 4))
                : exact      ? "1"
                             : "1.0";
            std::string a = arg(0);
            return "(CASE WHEN " + a + ">0 THEN " + one + " WHEN " + a + "<0 THEN -" + one +
                   " ELSE " + (exact ? "0" : "0.0") + " END)";
        }
        if (name == "ROUND")
            return "xr_round(" + arg(0) + "," + arg(1) + "," + (e.args.size() > 2 ? arg(2) : "0") +
                   "," + std::to_string(t.Code()) + ")";
        if (name == "FLOOR" || name == "CEILING") {
            if (t.IsInteger()) return arg(0);
            if (!exact) return std::string(name == "FLOOR" ? "floor(" : "ceil(") + arg(0) + ")";
            return "xr_floor(" + arg(0) + "," + std::to_string(e.args[0]->type.Code()) + "," +
                   std::to_string(t.Code()) + "," + (name == "FLOOR" ? "0" : "1") + ")";
        }
        if (name == "POWER")
            return "xr_power(" + arg(0) + "," + arg(1) + "," +
                   std::to_string(e.args[0]->type.Code()) + "," + std::to_string(t.Code()) + ")";
        if (name == "ISNUMERIC") return "xr_isnumeric(" + arg(0) + ")";
        if (name == "ISDATE") return "xr_isdate(" + arg(0) + ")";
        if (name == "XR_ONE") return "(" + arg(0) + " IS NOT NULL)";
        if (name == "XR_ZERO") return "0";
        if (name == "DATENAME") return "xr_datename('" + QuoteSql(e.part) + "'," + arg(0) + ")";
        if (name == "GETUTCDATE") return "xr_getutcdate()";
        if (name == "GETDATE" || name == "CURRENT_TIMESTAMP") return "xr_getdate()";
        const std::string part = "'" + QuoteSql(e.part) + "'";
        if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "DATEPART")
            return "xr_datepart(" + part + "," + arg(0) + ")";
        if (name == "DATEADD") return "xr_dateadd(" + part + "," + arg(0) + "," + arg(1) + ")";
        if (name == "DATEDIFF") return "xr_datediff(" + part + "," + arg(0) + "," + arg(1) + ")";
        if (name == "IDENT_CURRENT") return "xr_ident_current(" + arg(0) + ")";
        if (name == "OBJECT_ID")
            return "xr_object_id(" + arg(0) + (e.args.size() > 1 ? "," + arg(1) : "") + ")";
        if (name == "OBJECTPROPERTY") return "xr_objectproperty(" + arg(0) + "," + arg(1) + ")";
        if (name == "COLUMNPROPERTY")
            return "xr_columnproperty(" + arg(0) + "," + arg(1) + "," + arg(2) + ")";
        if (name == "INDEXPROPERTY")
            return "xr_indexproperty(" + arg(0) + "," + arg(1) + "," + arg(2) + ")";
        if (name == "COL_LENGTH") return "xr_col_length(" + arg(0) + "," + arg(1) + ")";
        if (name == "COL_NAME") return "xr_col_name(" + arg(0) + "," + arg(1) + ")";
        if (name == "OBJECT_NAME") {
            if (e.args.size() < 2) return "xr_object_name(" + arg(0) + ")";
            return "xr_object_name(" + arg(0) +
                   ", (SELECT d.value FROM json_each(xr_databases()) d WHERE d.key + 1 = " +
                   arg(1) + "))";
        }
        // A database's id is its place in the server's list.
        if (name == "DB_ID")
            return "(SELECT d.key + 1 FROM json_each(xr_databases()) d WHERE lower(d.value) = "
                   "lower(" +
                   arg(0) + "))";
        if (name == "DB_NAME")
            return "(SELECT d.value FROM json_each(xr_databases()) d WHERE d.key + 1 = " + arg(0) +
                   ")";
        if (name == "STR") {
            std::string sql = "xr_str(" + arg(0);
            for (size_t i = 1; i < e.args.size(); ++i) sql += "," + arg(i);
            return sql + ")";
        }
        throw ComError(DB_E_ERRORSINCOMMAND,
                       "'" + name + "' is not a recognized built-in function name.");
    }

    // ---- queries ----------------------------------------------------------

    // The level column of a part of a recursive common table's query.
    std::string LevelColumn(const BoundSelect& part, const BoundCte& c) {
        const BoundSource* self = nullptr;
        for (const BoundTableRefPtr& ref : part.from)
            if (!self) self = FindCteSource(*ref, c);
        if (!self) return ",0";
        const std::string next = QuoteIdent(self->alias) + ".\"xr_level\"+1";
        if (m_maxRecursion == 0) return "," + next;
        return ",xr_recursion(" + next + "," + std::to_string(m_maxRecursion) + ")";
    }

    std::string Query(const BoundQuery& q, std::vector<OutColumn>* out) override {
        // Only the outermost query's clauses are marked in the plan.
        const bool top = m_markTop;
        m_markTop = false;
        const BoundCte* levelOf = m_levelOf;
        m_levelOf = nullptr;
        std::vector<OutColumn> cols;
        std::string sql = Select(q.parts[0], &cols, top, nullptr,
                                 levelOf ? LevelColumn(q.parts[0], *levelOf) : "");
        if (top) m_plan.orderAt = sql.size();
        for (size_t i = 1; i < q.parts.size(); ++i) {
            std::vector<OutColumn> ucols;
            sql += q.unionAll[i - 1] ? " UNION ALL " : " UNION ";
            sql += Select(q.parts[i], &ucols, false, nullptr,
                          levelOf ? LevelColumn(q.parts[i], *levelOf) : "");
        }
        const std::string core = sql;
        std::string keys;  // the ORDER BY keys, for TOP ... WITH TIES
        if (!q.order.empty()) {
            sql += " ORDER BY ";
            bool first = true;
            for (const BoundOrder& o : q.order) {
                if (!first) sql += ",";
                first = false;
                OrderKey key;
                key.descending = o.descending;
                if (o.item >= 0) {
                    const OutColumn& c = cols[static_cast<size_t>(o.item)];
                    const std::string& x = c.expr.empty() ? std::to_string(o.item + 1) : c.expr;
                    key.sql = x + Collate(c.type);
                    key.nullable = c.nullable;
                    if (!c.expr.empty()) key.column = c.baseColumn;
                    sql += std::to_string(o.item + 1) + Collate(c.type);
                } else {
                    key.sql = Expr(*o.expr) + Collate(o.expr->type);
                    key.nullable = o.expr->nullable;
                    key.column = BaseColumn(*o.expr);
                    sql += key.sql;
                }
                if (o.descending) sql += " DESC";
                keys += (keys.empty() ? "" : ",") + key.sql + (o.descending ? " DESC" : "");
                if (top) m_plan.order.push_back(std::move(key));
            }
        }
        if (top) m_plan.hasTop = q.top != nullptr;
        if (q.top) sql += " LIMIT " + TopCount(q, core, keys);
        if (out) *out = std::move(cols);
        return sql;
    }

    // The row count of a query's TOP: n (not negative), or p PERCENT of the
    // query's rows rounded up; WITH TIES, the rows that rank within that
    // count by the query's order (rank() counts the rows before a row's
    // peers), so that the LIMIT takes the last row's peers too.
    std::string TopCount(const BoundQuery& q, const std::string& core, const std::string& keys) {
        std::string n = q.topPercent ? "(SELECT xr_top_percent(" + Expr(*q.top) +
                                           ",count(*)) FROM (" + core + "))"
                                     : "xr_top(" + Expr(*q.top) + ")";
        if (!q.topWithTies) return n;
        const std::string rank = "rank() OVER (ORDER BY " + keys + ") AS xr_rank";
        return "(SELECT count(*) FROM (" + Select(q.parts[0], nullptr, false, &rank) +
               ") WHERE xr_rank <= " + n + ")";
    }

    // The row count of TOP (n) [PERCENT] of a write, whose rows are those
    // of "SELECT ... <tail>".
    std::string WriteTop(const BoundStatement& b, const std::string& tail) {
        if (!b.topPercent) return "xr_top(" + Expr(*b.top) + ")";
        return "(SELECT xr_top_percent(" + Expr(*b.top) + ",count(*)) " + tail + ")";
    }

    // A SELECT; with `list`, that select list in place of the query's own.
    std::string Select(const BoundSelect& s, std::vector<OutColumn>* cols, bool top,
                       const std::string* ownList = nullptr, const std::string& extra = "") {
        std::string from;
        for (const BoundTableRefPtr& ref : s.from) {
            if (!from.empty()) from += ",";
            from += TableRef(*ref);
        }
        std::string list = ownList ? *ownList : "";
        for (const BoundItem& item : s.items) {
            if (ownList) break;
            OutColumn c = ItemColumn(item);
            if (!list.empty()) list += ",";
            list += c.expr;
            if (!c.name.empty()) list += " AS " + QuoteIdent(c.name);
            cols->push_back(std::move(c));
        }
        std::string sql = s.distinct ? "SELECT DISTINCT " : "SELECT ";
        sql += list + extra;
        if (!from.empty()) sql += " FROM " + from;
        if (s.where) {
            sql += " WHERE ";
            if (top) m_plan.whereAt = sql.size();
            sql += Expr(*s.where);
            if (top) m_plan.whereEnd = sql.size();
        }
        if (!s.groupBy.empty()) {
            sql += " GROUP BY ";
            for (size_t i = 0; i < s.groupBy.size(); ++i) {
                if (i) sql += ",";
                sql += Expr(*s.groupBy[i]) + Collate(s.groupBy[i]->type);
            }
        }
        if (s.having) sql += " HAVING " + Expr(*s.having);
        return sql;
    }

private:
    bool m_markTop = false;               // the next query rendered is the plan's outermost
    bool m_inIntChain = false;  // the Arith being written is an operand of one of its type

    static bool IntArith(const BoundExpr& x) {
        return x.kind == BoundKind::Arith && !x.exact &&
               (x.type.kind == TypeKind::Int || x.type.kind == TypeKind::BigInt);
    }
};

std::string TableName(const BoundTarget& t) {
    return QuoteIdent(t.schema) + "." + QuoteIdent(t.table->name);
}

}  // namespace

std::string QuoteIdent(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
    return out;
}

std::string InlineValue(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return "NULL";
        case Value::Kind::Int:
            return std::to_string(v.i);
        case Value::Kind::Real:
            return Format("%.17g", v.d);
        case Value::Kind::Text:
            return "'" + QuoteSql(v.s) + "'";
        case Value::Kind::Blob: {
            static const char* hex = "0123456789ABCDEF";
            std::string out = "X'";
            for (unsigned char c : v.s) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            return out + "'";
        }
    }
    return "NULL";
}

Plan RenderSelect(const SelectStmt& select, RenderContext& ctx) {
    BoundStatement b = BindSelect(select, ctx);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const std::string with = g.With(b);
    g.MarkTop();
    plan.sql = with + g.Query(*b.query, &plan.columns);
    for (size_t* at : {&plan.whereAt, &plan.whereEnd, &plan.orderAt})
        if (*at != std::string::npos) *at += with.size();
    return plan;
}

std::string CountedIdentity(const std::string& schema, const TableDef& def) {
    const ColumnDef* id = def.IdentityColumn();
    if (!id || !id->CountedIdentity()) return {};
    std::string quoted;
    for (char c : schema) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return "xr_identity_next('" + quoted + "'," + std::to_string(def.id) + "," +
           std::to_string(id->identitySeed) + "," + std::to_string(id->identityIncrement) + ")";
}

namespace {

// INSERT or UPDATE through a view made WITH CHECK OPTION, or through one
// reading such a view: the rows written must be rows of that view.
void CheckOption(const BoundStatement& b, RenderContext& ctx, Plan& plan) {
    WriteCheckOption(b, ctx, plan, [](const std::string& rowIds) {
        return "SELECT count(*) FROM json_each(?1) WHERE value NOT IN (SELECT \"xr_rowid\" "
               "FROM (" +
               rowIds + "))";
    });
}

// The row id of the target's rows in the FROM: a view written through hands
// out its table's as a column.
std::string RowIdOf(const BoundSource& src) {
    return QuoteIdent(src.alias) + (src.writeThrough ? ".\"xr_rowid\"" : ".rowid");
}

}  // namespace

Plan RenderInsert(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindInsert(stmt, ctx);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const TableDef& def = *b.target.table;
    plan.setsIdentity = b.setsIdentity;
    CheckOption(b, ctx, plan);
    std::string sql = g.With(b) + "INSERT INTO " + TableName(b.target);
    // An identity the engine's counter cannot give is numbered row by row
    // from the catalog's count, unless the statement gives its values.
    std::string counted;
    if (const ColumnDef* id = def.IdentityColumn(); id && id->CountedIdentity()) {
        const int index = def.ColumnIndex(id->name);
        if (std::find(b.columns.begin(), b.columns.end(), index) == b.columns.end())
            counted = CountedIdentity(b.target.schema, def);
    }
    if (b.defaultValues) {
        plan.sql = counted.empty() ? sql + " DEFAULT VALUES"
                                   : sql + " (" + QuoteIdent(def.IdentityColumn()->name) +
                                         ") VALUES (" + counted + ")";
        return plan;
    }
    sql += " (";
    for (size_t i = 0; i < b.columns.size(); ++i)
        sql += (i ? "," : "") + QuoteIdent(def.columns[static_cast<size_t>(b.columns[i])].name);
    if (!counted.empty())
        sql += (b.columns.empty() ? "" : ",") + QuoteIdent(def.IdentityColumn()->name);
    sql += ")";
    if (b.query) {
        const std::string query = g.Query(*b.query, nullptr);
        const std::string rows =
            b.top ? "SELECT * FROM (" + query + ") LIMIT " + g.WriteTop(b, "FROM (" + query + ")")
                  : query;
        if (counted.empty())
            sql += " " + rows;
        else
            sql += " SELECT *," + counted + " FROM (" + rows + ")";
    } else {
        sql += " VALUES ";
        for (size_t row = 0; row < b.rows.size(); ++row) {
            sql += row ? ",(" : "(";
            for (size_t i = 0; i < b.rows[row].size(); ++i)
                sql += (i ? "," : "") + g.Expr(*b.rows[row][i]);
            if (!counted.empty()) sql += (b.rows[row].empty() ? "" : ",") + counted;
            sql += ")";
        }
    }
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindUpdate(stmt, ctx);
    Plan plan;
    TakeBinding(b, plan);
    CheckOption(b, ctx, plan);
    Generator g(plan);
    const TableDef& def = *b.target.table;
    const std::string from = g.From(b.from);
    std::vector<std::pair<std::string, std::string>> sets;
    for (const auto& [column, value] : b.sets)
        sets.emplace_back(QuoteIdent(def.columns[static_cast<size_t>(column)].name),
                          g.Expr(*value));
    const std::string where = b.expr ? g.Expr(*b.expr) : std::string();
    // The FROM's names stay inside the query the target is matched with.
    const std::string alias = b.target.inFrom ? "xr_target" : def.name;
    std::string sql =
        g.With(b) + "UPDATE " + TableName(b.target) + " AS " + QuoteIdent(alias) + " SET ";
    if (!b.target.inFrom && b.top) {
        // TOP: the first n rows the statement would change, by row id.
        for (size_t i = 0; i < sets.size(); ++i)
            sql += (i ? "," : "") + sets[i].first + "=" + sets[i].second;
        std::string tail = "FROM " + TableName(b.target) + " AS " + QuoteIdent(alias);
        if (!from.empty()) tail += "," + from;
        if (!where.empty()) tail += " WHERE " + where;
        if (!from.empty()) sql += " FROM " + from;
        sql += " WHERE " + (where.empty() ? "" : where + " AND ") + QuoteIdent(alias) +
               ".rowid IN (SELECT " + QuoteIdent(alias) + ".rowid " + tail + " LIMIT " +
               g.WriteTop(b, tail) + ")";
    } else if (!b.target.inFrom) {
        for (size_t i = 0; i < sets.size(); ++i)
            sql += (i ? "," : "") + sets[i].first + "=" + sets[i].second;
        if (!from.empty()) sql += " FROM " + from;
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // The FROM holds the target. SQLite's UPDATE ... FROM hides the row
        // ids of the FROM's tables, so the FROM becomes a query that hands
        // out the target's row id with the new values, worked out over the
        // FROM's rows; each target row takes one of the rows naming it.
        std::string values;
        for (size_t i = 0; i < sets.size(); ++i) {
            sql +=
                (i ? "," : "") + sets[i].first + "=\"xr_from\".\"xr_v" + std::to_string(i) + "\"";
            values += "," + sets[i].second + " AS \"xr_v" + std::to_string(i) + "\"";
        }
        sql += " FROM (SELECT " + RowIdOf(*b.target.inFrom) + " AS \"xr_rowid\"" + values +
               " FROM " + from;
        if (!where.empty()) sql += " WHERE " + where;
        if (b.top)
            sql += " LIMIT " +
                   g.WriteTop(b, "FROM " + from + (where.empty() ? "" : " WHERE " + where));
        sql += ") AS \"xr_from\" WHERE " + QuoteIdent(alias) + ".rowid=\"xr_from\".\"xr_rowid\"";
    }
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderDelete(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindDelete(stmt, ctx);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const std::string table = TableName(b.target);
    std::string from = g.From(b.from);
    const std::string where = b.expr ? g.Expr(*b.expr) : std::string();
    std::string sql = g.With(b) + "DELETE FROM " + table;
    if (from.empty() && b.top) {
        // TOP: the first n rows the statement would delete, by row id.
        const std::string name = QuoteIdent(b.target.table->name);
        std::string tail = "FROM " + table + " AS " + name;
        if (!where.empty()) tail += " WHERE " + where;
        sql += " WHERE rowid IN (SELECT " + name + ".rowid " + tail + " LIMIT " +
               g.WriteTop(b, tail) + ")";
    } else if (from.empty()) {
        sql += " AS " + QuoteIdent(b.target.table->name);
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // SQLite's DELETE has no FROM of its own: the rows go by the row ids
        // the FROM (with the target in it) finds.
        std::string owner;
        if (b.target.inFrom) {
            owner = RowIdOf(*b.target.inFrom);
        } else {
            owner = QuoteIdent(b.target.table->name) + ".rowid";
            from = table + " AS " + QuoteIdent(b.target.table->name) + "," + from;
        }
        sql += " WHERE rowid IN (SELECT " + owner + " FROM " + from;
        if (!where.empty()) sql += " WHERE " + where;
        if (b.top)
            sql += " LIMIT " +
                   g.WriteTop(b, "FROM " + from + (where.empty() ? "" : " WHERE " + where));
        sql += ")";
    }
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderScalar(const Expr& expr, RenderContext& ctx) {
    return WriteScalar<Generator>(BindScalar(expr, ctx));
}

Plan RenderCondition(const Expr& condition, RenderContext& ctx) {
    return WriteCondition<Generator>(BindCondition(condition, ctx));
}

Plan RenderView(const SelectStmt& select, RenderContext& ctx) {
    return WriteView<Generator>(BindView(select, ctx));
}

std::string RenderIndexFilter(const Expr& condition, const TableDef& table, RenderContext& ctx) {
    // A partial index may only name the table's own columns, unqualified.
    return WriteIndexFilter<Generator>(BindIndexFilter(condition, table, ctx),
                                       QuoteIdent(table.name) + ".");
}

}  // namespace xr::engine::sqlite
