#include "engine/postgres/pg_renderer.h"

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "engine/sql_writer.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

int64_t Pow10(int n) {
    int64_t v = 1;
    while (n-- > 0) v *= 10;
    return v;
}

[[noreturn]] void NotYet(const std::string& what) {
    throw ComError(DB_E_ERRORSINCOMMAND, what + " is not supported by the PostgreSQL engine yet.");
}

const char* CompareText(Op op) {
    const char* text = op == Op::And || op == Op::Or ? nullptr : OperatorText(op);
    if (text && std::string_view(text) == "!=") return "<>";
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

// The integer type a value of `t` is checked against when it is worked out.
const char* IntCast(const TypeSpec& t) {
    switch (t.kind) {
        case TypeKind::Int:
            return "::int4";
        case TypeKind::SmallInt:
            return "::int2";
        default:
            return "";
    }
}

// A scaled integer (MONEY, DECIMAL) worked out in exact numerics and checked
// against the range of its type, for the server's overflow error.
// `from`: the type converted from, which the message of a DECIMAL names.
std::string Scaled(const std::string& sql, const TypeSpec& t, const char* from = "expression") {
    std::string lo, hi;
    const char* name = "numeric";
    if (t.kind == TypeKind::Money) {
        lo = "-9223372036854775808";
        hi = "9223372036854775807";
        name = "money";
    } else if (t.kind == TypeKind::SmallMoney) {
        lo = "-2147483648";
        hi = "2147483647";
        name = "smallmoney";
    } else {
        hi = std::string(t.precision ? t.precision : 18, '9');
        lo = "-" + hi;
    }
    const std::string message =
        t.kind == TypeKind::Decimal
            ? std::string("Arithmetic overflow error converting ") + from + " to data type numeric."
            : std::string("Arithmetic overflow error converting expression to data type ") + name +
                  ".";
    return "xr.scaled(" + sql + "," + lo + "," + hi + "," + QuoteText(message) + ")";
}

// Writes a bound statement in PostgreSQL's dialect: the storage values of
// the embedded engine, text compared in its normal form (TextKey), NULL
// first in an ascending order as on the server.
class Generator final : public SqlWriter {
public:
    explicit Generator(Plan& plan) : SqlWriter(plan) {}

    void MarkTop() { m_markTop = true; }
    // The statement's rows go to the caller (not into a table): a MONEY sum
    // or difference of its select list is handed over unchecked, and one
    // beyond the type fails when the row is read, as the server's does
    // after the rows before it.
    void RowsToCaller() { m_rowsToCaller = true; }

    // A value compared as text when `t` is text.
    std::string Key(const std::string& sql, const TypeSpec& t) {
        return t.IsText() ? TextKey(sql) : sql;
    }

    std::string Ident(std::string_view name) override { return Quote(name); }
    std::string Param(int index) override { return "$" + std::to_string(index + 1); }
    std::string Constant(const Value& v) override { return InlineValue(v); }

    std::string Bitwise(const BoundExpr& e) override {
        std::string a = Expr(*e.args[0]), b = Expr(*e.args[1]);
        if (e.op == Op::BitAnd) return "(" + a + "&" + b + ")";
        if (e.op == Op::BitOr) return "(" + a + "|" + b + ")";
        return "(" + a + "#" + b + ")";
    }

    std::string Compare(const BoundExpr& e) override {
        const bool text = e.args[0]->type.IsText() && e.args[1]->type.IsText();
        std::string a = Expr(*e.args[0]), b = Expr(*e.args[1]);
        if (text) {
            a = TextKey(a);
            b = TextKey(b);
        }
        return "(" + a + " " + CompareText(e.op) + " " + b + ")";
    }

    // The server's patterns, without case (xr.like_regex).
    std::string Like(const BoundExpr& e) override {
        const std::string esc = e.args.size() > 2 ? Expr(*e.args[2]) : "NULL";
        return std::string(e.negated ? "(NOT " : "(") + "(lower(" + Expr(*e.args[0]) +
               " COLLATE \"C\") ~ xr.like_regex(" + Expr(*e.args[1]) + "," + esc + ")))";
    }

    std::string Between(const BoundExpr& e) override {
        const TypeSpec& t = e.args[0]->type;
        return "(" + Key(Expr(*e.args[0]), t) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") +
               Key(Expr(*e.args[1]), t) + " AND " + Key(Expr(*e.args[2]), t) + ")";
    }

    std::string InList(const BoundExpr& e) override {
        const TypeSpec& t = e.args[0]->type;
        std::string list;
        for (size_t i = 1; i < e.args.size(); ++i) {
            if (i > 1) list += ",";
            list += Key(Expr(*e.args[i]), t);
        }
        return "(" + Key(Expr(*e.args[0]), t) + (e.negated ? " NOT IN (" : " IN (") + list + "))";
    }

    std::string InQuery(const BoundExpr& e) override {
        if (e.args[0]->type.IsText()) {
            std::vector<OutColumn> cols;
            std::string q = Query(*e.query, &cols);
            return "(" + TextKey(Expr(*e.args[0])) + (e.negated ? " NOT IN (" : " IN (") +
                   "SELECT " + TextKey("xr_in.x") + " FROM (" + q + ") AS xr_in(x)))";
        }
        return "(" + Expr(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (") +
               Query(*e.query, nullptr) + "))";
    }

    std::string CommonTable(const BoundSource& src) override {
        // In one of several recursive members: the row of the level before.
        if (src.cte == m_previousOf) return "(SELECT \"xr_prev\".*) AS " + Quote(src.alias);
        return Quote(src.cte->sqlName) + " AS " + Quote(src.alias);
    }

    std::string Convert(const BoundExpr& e) override {
        std::string x = Expr(*e.args[0]);
        if (e.atBind) return x;
        const TypeSpec& from = e.args[0]->type;
        const TypeSpec& to = e.type;
        switch (e.path) {
            case ConvertPath::Same:
                return x;
            case ConvertPath::Scale:
                return "(" + x + "*" + std::to_string(Pow10(to.scale)) + ")";
            case ConvertPath::Unscale:
                return "(" + x + "/" + std::to_string(Pow10(from.scale)) + "::float8)";
            case ConvertPath::Full:
                break;
        }
        if (to.IsText() &&
            (from.kind == TypeKind::DateTime || from.kind == TypeKind::SmallDateTime)) {
            std::string sql =
                "xr.date_text(" + x + "," + std::to_string(std::max(e.style, 0)) + ")";
            if (to.length > 0) sql = "left(" + sql + "," + std::to_string(to.length) + ")";
            if (to.kind == TypeKind::Char && to.length > 0)
                sql = "rpad(" + sql + "," + std::to_string(to.length) + ")";
            return sql;
        }
        if (from.IsText() && (to.kind == TypeKind::DateTime || to.kind == TypeKind::SmallDateTime))
            return "xr.text_date(" + x + "," + std::to_string(std::max(e.style, 0)) + "," +
                   (to.kind == TypeKind::SmallDateTime ? "true" : "false") + ")";
        if (e.style >= 0 && to.IsText() && from.IsScaled() && e.style <= 2)
            return FitNumber(ScaledText(x, from, from.kind == TypeKind::Decimal ? 0 : e.style),
                             from, to);
        if (e.style >= 0 && to.IsText() &&
            (from.kind == TypeKind::Float || from.kind == TypeKind::Real))
            return FitNumber(
                "xr.float_text(" + x + "," + std::to_string(e.style <= 2 ? e.style : 0) + ")", from,
                to);
        if (e.style < 0) {
            const bool fromInt = from.IsInteger() || from.kind == TypeKind::Unknown;
            // Bytes are cut to the length, and BINARY padded with zeros.
            if (from.IsBinary() &&
                (to.kind == TypeKind::Binary || to.kind == TypeKind::VarBinary)) {
                const int n = to.length > 0 ? to.length : 30;
                if (to.kind == TypeKind::Binary)
                    x = "(" + x + " || decode(repeat('00'," + std::to_string(n) + "),'hex'))";
                return "substring(" + x + " from 1 for " + std::to_string(n) + ")";
            }
            if (to.kind == TypeKind::Real && !from.IsScaled() && !from.IsText() && !from.IsDate() &&
                !from.IsBinary())
                return "xr.to_real((" + x + ")::float8)";
            if (to.IsInteger() && fromInt) {
                if (to.kind == TypeKind::Bit) return "(CASE WHEN " + x + "<>0 THEN 1 ELSE 0 END)";
                return "(" + x + ")" + (to.kind == TypeKind::BigInt ? "::int8" : IntCast(to));
            }
            // A DECIMAL of more than 18 digits is stored as a real.
            if ((to.kind == TypeKind::Float || to.kind == TypeKind::Real ||
                 (to.kind == TypeKind::Decimal && !to.IsScaled())) &&
                (fromInt || from.kind == TypeKind::Float || from.kind == TypeKind::Real))
                return "(" + x + ")::float8";
            if ((to.kind == TypeKind::Float || (to.kind == TypeKind::Decimal && !to.IsScaled())) &&
                from.IsScaled())
                return "((" + x + ")::float8/" + std::to_string(Pow10(from.scale)) + ")";
            if (to.IsText() && from.IsText()) {
                if (to.kind == TypeKind::Char && to.length > 0)
                    return "rpad(" + x + "," + std::to_string(to.length) + ")";
                if (to.kind == TypeKind::VarChar && to.length > 0)
                    return "left(" + x + "," + std::to_string(to.length) + ")";
                return x;
            }
            if (to.IsScaled() && from.IsInteger()) {
                const char* name = from.kind == TypeKind::TinyInt    ? "tinyint"
                                   : from.kind == TypeKind::SmallInt ? "smallint"
                                   : from.kind == TypeKind::Int      ? "int"
                                   : from.kind == TypeKind::Bit      ? "bit"
                                                                     : "bigint";
                return Scaled("(" + x + ")::numeric*" + std::to_string(Pow10(to.scale)), to, name);
            }
            if (to.IsScaled() && from.IsScaled())
                return Scaled("round((" + x + ")::numeric*" + std::to_string(Pow10(to.scale)) +
                                  "/" + std::to_string(Pow10(from.scale)) + ")",
                              to,
                              from.kind == TypeKind::Money        ? "money"
                              : from.kind == TypeKind::SmallMoney ? "smallmoney"
                                                                  : "numeric");
            // A real (or a DECIMAL of more than 18 digits) rounds to the places kept.
            if (to.IsScaled() && (from.kind == TypeKind::Float || from.kind == TypeKind::Real ||
                                  (from.kind == TypeKind::Decimal && !from.IsScaled())))
                return Scaled("round((" + x + ")::numeric*" + std::to_string(Pow10(to.scale)) + ")",
                              to, from.kind == TypeKind::Decimal ? "numeric" : "float");
            if (to.IsText() && from.IsInteger() && from.kind != TypeKind::Bit)
                return FitNumber("(" + x + ")::text", from, to);
            if (to.IsText() && from.IsScaled()) return FitNumber(ScaledText(x, from, 0), from, to);
            if (to.IsText() && from.kind == TypeKind::Decimal)
                return FitNumber(
                    "((" + x + ")::numeric(38," + std::to_string(from.scale) + "))::text", from,
                    to);
            if (to.IsText() && (from.kind == TypeKind::Float || from.kind == TypeKind::Real))
                return FitNumber("xr.float_text(" + x + ",0)", from, to);
            if (to.IsInteger() && to.kind != TypeKind::Bit && from.IsText())
                return "(" + x + ")::int8" + IntCast(to);
            // MONEY rounds to whole units; DECIMAL truncates.
            if (to.IsInteger() && from.IsScaled()) {
                if (to.kind == TypeKind::Bit) return "(CASE WHEN " + x + "<>0 THEN 1 ELSE 0 END)";
                const bool money =
                    from.kind == TypeKind::Money || from.kind == TypeKind::SmallMoney;
                return "(" + std::string(money ? "round" : "trunc") + "((" + x + ")::numeric/" +
                       std::to_string(Pow10(from.scale)) + ")::int8)" + IntCast(to);
            }
        }
        NotYet("CONVERT from " + from.ToString() + " to " + to.ToString());
    }

    // A number written as text fitted to the length of `to`: a whole number
    // that does not fit is a star, any other the server's overflow; CHAR
    // pads with blanks.
    static std::string FitNumber(const std::string& sql, const TypeSpec& from, const TypeSpec& to) {
        if (to.length <= 0 || to.kind == TypeKind::Text) return sql;
        const bool whole = from.IsInteger();
        const char* name = from.kind == TypeKind::Float  ? "float"
                           : from.kind == TypeKind::Real ? "real"
                           : from.kind == TypeKind::Money || from.kind == TypeKind::SmallMoney
                               ? "expression"
                               : "numeric";
        const std::string toName =
            std::string(to.national ? "n" : "") + (to.kind == TypeKind::Char ? "char" : "varchar");
        const std::string message =
            whole ? std::string("NULL")
                  : QuoteText(std::string("Arithmetic overflow error converting ") + name +
                              " to data type " + toName + ".");
        std::string out =
            "xr.fit_number(" + sql + "," + std::to_string(to.length) + "," + message + ")";
        if (to.kind == TypeKind::Char) out = "rpad(" + out + "," + std::to_string(to.length) + ")";
        return out;
    }

    // A MONEY or DECIMAL as the server writes it as text: a DECIMAL with all
    // its places; MONEY rounded to two places (style 0), with thousands
    // separated too (1), or with its four places (2).
    std::string ScaledText(const std::string& x, const TypeSpec& from, int style) {
        const std::string value =
            "((" + x + ")::numeric/" + std::to_string(Pow10(from.scale)) + ")";
        if (from.kind == TypeKind::Decimal)
            return "(" + value + ")::numeric(38," + std::to_string(from.scale) + ")::text";
        if (style == 2) return "(" + value + ")::numeric(38,4)::text";
        const std::string two = "round(" + value + ",2)";
        if (style == 1) return "ltrim(to_char(" + two + ",'FM999,999,999,999,999,999,990.00'))";
        return "(" + two + ")::numeric(38,2)::text";
    }

    std::string Arith(const BoundExpr& e) override {
        const bool unchecked = m_unchecked;  // for this node only, not its operands
        m_unchecked = false;
        const char op = ArithChar(e.op);
        const std::string a = Expr(*e.args[0]), b = Expr(*e.args[1]);
        auto apply = [&](const std::string& x, const std::string& y) {
            return "(" + x + op + y + ")";
        };
        if (!e.exact) {
            // Whole numbers are worked out in 64 bits and checked against
            // their type, for the server's overflow error.
            if (e.type.kind == TypeKind::Int || e.type.kind == TypeKind::SmallInt)
                return "(" + apply(a, b) + ")" + IntCast(e.type);
            if (e.type.kind == TypeKind::TinyInt) NotYet("TINYINT arithmetic");
            return apply(a, b);
        }
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
            if ((op == '+' || op == '-') && sa <= st && sb <= st) {
                const std::string sum =
                    apply("(" + rescaled(a, st - sa) + ")::numeric", rescaled(b, st - sb));
                return unchecked ? sum : Scaled(sum, t);
            }
            if (op == '%' && sa <= st && sb <= st)
                return apply(rescaled(a, st - sa), rescaled(b, st - sb));
            if (op == '*' && sa + sb == st) return Scaled(apply("(" + a + ")::numeric", b), t);
            if (op == '/' && sa == st && tb.IsInteger()) return apply(a, b);
        }
        // Whole numbers of the narrow types: worked out in 64 bits and
        // checked against the result's type.
        if (t.IsInteger() && t.kind != TypeKind::Bit && ta.IsInteger() && tb.IsInteger()) {
            const std::string r = apply("(" + a + ")::int8", "(" + b + ")::int8");
            if (t.kind == TypeKind::TinyInt)
                return "(CASE WHEN " + r + " BETWEEN 0 AND 255 THEN " + r +
                       " ELSE xr.overflow('Arithmetic overflow error converting expression to "
                       "data type tinyint.') END)";
            if (t.kind == TypeKind::BigInt) return r;
            return "(" + r + ")" + IntCast(t);
        }
        // The rest in exact numerics: the operands' values, then the result
        // at its scale, a quotient cut there and anything else rounded, as
        // the server does; a DECIMAL of more than 18 digits is stored as a
        // real.
        auto exactValue = [&](const std::string& x, const TypeSpec& xt) -> std::string {
            if (xt.IsScaled())
                return "((" + x + ")::numeric(60,20)/" + std::to_string(Pow10(xt.scale)) + ")";
            if (xt.IsInteger() && xt.kind != TypeKind::Unknown)
                return "(" + x + ")::numeric(60,20)";
            if (xt.kind == TypeKind::Decimal) return "(" + x + ")::numeric";
            return "";
        };
        const std::string va = exactValue(a, ta), vb = exactValue(b, tb);
        if (!va.empty() && !vb.empty() && op != '%') {
            const std::string v = apply(va, vb);
            if (t.IsScaled()) {
                const std::string p = std::to_string(Pow10(t.scale));
                return Scaled(
                    op == '/' ? "trunc(" + v + "*" + p + ")" : "round(" + v + "*" + p + ")", t);
            }
            if (t.kind == TypeKind::Decimal)
                return "(" + (op == '/' ? "trunc(" + v + "," + std::to_string(t.scale) + ")" : v) +
                       ")::float8";
        }
        NotYet("This arithmetic on " + ta.ToString() + " and " + tb.ToString());
    }

    std::string Order(const std::string& key, bool descending) {
        return key + (descending ? " DESC NULLS LAST" : " NULLS FIRST");
    }

    std::string Over(const BoundExpr& e) {
        std::string sql = " OVER (";
        for (size_t i = 0; i < e.partition.size(); ++i) {
            sql += i ? "," : "PARTITION BY ";
            sql += Key(Expr(*e.partition[i]), e.partition[i]->type);
        }
        for (size_t i = 0; i < e.windowOrder.size(); ++i) {
            sql += i ? "," : e.partition.empty() ? "ORDER BY " : " ORDER BY ";
            sql +=
                Order(Key(Expr(*e.windowOrder[i]), e.windowOrder[i]->type), e.windowDescending[i]);
        }
        return sql + ")";
    }

    std::string Function(const BoundExpr& e) override {
        const std::string& name = e.name;
        auto arg = [&](size_t i) { return Expr(*e.args.at(i)); };
        const std::string d = e.distinct ? "DISTINCT " : "";
        const std::string over = e.window ? Over(e) : "";
        if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK")
            return ToLower(name) + "()" + over;
        if (name == "NTILE") return "ntile((" + arg(0) + ")::int4)" + over;
        if (name == "COUNT")
            return "(" + (e.star ? "count(*)" : "count(" + d + arg(0) + ")") + over + ")::int4";
        if (name == "COUNT_BIG")
            return e.star ? "count(*)" + over : "count(" + d + arg(0) + ")" + over;
        if (name == "SUM") {
            const TypeSpec& a = e.args[0]->type;
            const std::string sum = "sum(" + d + arg(0) + ")" + over;
            if (a.IsInteger() || a.IsScaled()) {
                if (e.type.kind == TypeKind::Int) return "(" + sum + ")::int4";
                if (e.type.kind == TypeKind::BigInt) return "(" + sum + ")::int8";
                if (e.type.IsScaled()) return Scaled(sum, e.type);
                // A DECIMAL of more than 18 digits is stored as a real.
                if (e.type.kind == TypeKind::Decimal && a.IsScaled())
                    return "((" + sum + ")::float8/" + std::to_string(Pow10(a.scale)) + ")";
            }
            if (a.kind == TypeKind::Float || a.kind == TypeKind::Real) return sum;
            NotYet("SUM of " + a.ToString());
        }
        if (name == "AVG") {
            const TypeSpec& a = e.args[0]->type;
            if (a.IsInteger()) return "trunc(avg(" + d + arg(0) + ")" + over + ")::int8";
            if (a.kind == TypeKind::Float || a.kind == TypeKind::Real)
                return "avg(" + d + arg(0) + ")" + over;
            if (e.type.kind == TypeKind::Money)
                return "trunc(avg(" + d + arg(0) + ")" + over + ")::int8";
            NotYet("AVG of " + a.ToString());
        }
        if (name == "MIN" || name == "MAX") {
            if (e.args[0]->type.IsText()) {
                // The least (greatest) in the normal form of text.
                const std::string x = arg(0);
                const char* dir = name == "MIN" ? "" : " DESC";
                if (e.window) {
                    // The first of the partition in that order, NULL only
                    // when all are.
                    if (!e.windowOrder.empty()) NotYet(name + " of text over an ordered window");
                    std::string sql = "first_value(" + x + ") OVER (";
                    for (size_t i = 0; i < e.partition.size(); ++i) {
                        sql += i ? "," : "PARTITION BY ";
                        sql += Key(Expr(*e.partition[i]), e.partition[i]->type);
                    }
                    return sql + " ORDER BY " + TextKey(x) + dir + " NULLS LAST," + x + dir +
                           " ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)";
                }
                return "(array_agg(" + x + " ORDER BY " + TextKey(x) + dir + "," + x + dir +
                       ") FILTER (WHERE " + x + " IS NOT NULL))[1]";
            }
            return ToLower(name) + "(" + arg(0) + ")" + over;
        }
        if (name == "ISNULL") return "coalesce(" + arg(0) + "," + arg(1) + ")";
        if (name == "COALESCE") {
            std::string sql = "coalesce(";
            for (size_t i = 0; i < e.args.size(); ++i) sql += (i ? "," : "") + arg(i);
            return sql + ")";
        }
        if (name == "NULLIF") {
            const std::string a = arg(0);
            const bool text = e.args[0]->type.IsText() && e.args[1]->type.IsText();
            if (!text) return "nullif(" + a + "," + arg(1) + ")";
            return "(CASE WHEN " + TextKey(a) + "=" + TextKey(arg(1)) + " THEN NULL ELSE " + a +
                   " END)";
        }
        if (name == "LEN") return "length(rtrim(" + arg(0) + ",' '))";
        if (name == "DATALENGTH") return "octet_length(" + arg(0) + ")";
        if (name == "LTRIM") return "ltrim(" + arg(0) + ",' ')";
        if (name == "RTRIM") return "rtrim(" + arg(0) + ",' ')";
        if (name == "UPPER" || name == "LOWER")
            return ToLower(name) + "(" + arg(0) + " COLLATE \"C\")";
        if (name == "SUBSTRING")
            return "xr.substring(" + arg(0) + ",(" + arg(1) + ")::int8,(" + arg(2) + ")::int8)";
        if (name == "STR")
            return "xr.str(" + arg(0) + "," + (e.args.size() > 1 ? arg(1) : std::string("10")) +
                   "," + (e.args.size() > 2 ? arg(2) : std::string("0")) + ")";
        if (name == "PATINDEX") return "xr.patindex(" + arg(0) + "," + arg(1) + ")";
        if (name == "LEFT" || name == "RIGHT")
            return "xr." + ToLower(name) + "(" + arg(0) + ",(" + arg(1) + ")::int8)";
        if (name == "REPLACE") return "xr.replace(" + arg(0) + "," + arg(1) + "," + arg(2) + ")";
        if (name == "CHARINDEX")
            return "xr.charindex(" + arg(0) + "," + arg(1) + "," +
                   (e.args.size() > 2 ? "(" + arg(2) + ")::int8" : std::string("1")) + ")";
        if (name == "STUFF")
            return "xr.stuff(" + arg(0) + ",(" + arg(1) + ")::int8,(" + arg(2) + ")::int8," +
                   arg(3) + ")";
        if (name == "REPLICATE") return "xr.replicate(" + arg(0) + ",(" + arg(1) + ")::int8)";
        if (name == "SPACE") return "xr.replicate(' ',(" + arg(0) + ")::int8)";
        if (name == "ABS") {
            const TypeSpec& t = e.type;
            if (t.IsScaled()) return Scaled("abs((" + arg(0) + ")::numeric)", t);
            if (t.kind == TypeKind::Int || t.kind == TypeKind::SmallInt)
                return "abs((" + arg(0) + ")" + IntCast(t) + ")";
            if (t.kind == TypeKind::BigInt) return "abs((" + arg(0) + ")::int8)";
            if (t.kind == TypeKind::Float || t.kind == TypeKind::Real)
                return "abs((" + arg(0) + ")::float8)";
            NotYet("ABS of " + t.ToString());
        }
        if (name == "SIGN") {
            const TypeSpec& t = e.type;
            const std::string a = arg(0);
            std::string one = "1", zero = "0";
            if (t.IsScaled()) {
                one = std::to_string(Pow10(t.scale)) + "::int8";
                zero = "0::int8";
            } else if (t.kind == TypeKind::BigInt) {
                one = "1::int8";
                zero = "0::int8";
            } else if (!t.IsInteger()) {
                one = "1::float8";
                zero = "0::float8";
            }
            return "(CASE WHEN " + a + ">0 THEN " + one + " WHEN " + a + "<0 THEN -" + one +
                   " WHEN " + a + "=0 THEN " + zero + " END)";
        }
        if (name == "FLOOR" || name == "CEILING") {
            const TypeSpec& t = e.type;
            const TypeSpec& from = e.args[0]->type;
            const char* fn = name == "FLOOR" ? "floor(" : "ceil(";
            if (t.IsInteger() && from.IsInteger()) return arg(0);
            if (!t.IsScaled() && !from.IsScaled() && !t.IsInteger())
                return std::string(fn) + "(" + arg(0) + ")::float8)";
            if (t.IsScaled() && from.IsScaled())
                return Scaled(std::string(fn) + "(" + arg(0) + ")::numeric/" +
                                  std::to_string(Pow10(from.scale)) + ")*" +
                                  std::to_string(Pow10(t.scale)),
                              t);
            NotYet(name + " of " + from.ToString());
        }
        if (name == "ROUND") {
            const TypeSpec& t = e.type;
            const TypeSpec& from = e.args[0]->type;
            const std::string places = "(" + arg(1) + ")::int4";
            const std::string truncate = e.args.size() > 2 ? arg(2) : std::string("0");
            auto rounded = [&](const std::string& v) {
                return "(CASE WHEN (" + truncate + ")<>0 THEN trunc(" + v + "," + places +
                       ") ELSE round(" + v + "," + places + ") END)";
            };
            if (t.IsScaled() && from.IsScaled() && t.scale == from.scale) {
                const std::string p = std::to_string(Pow10(t.scale));
                return Scaled(rounded("(" + arg(0) + ")::numeric/" + p) + "*" + p, t);
            }
            if (t.IsInteger() && from.IsInteger() && t.kind != TypeKind::Bit &&
                t.kind != TypeKind::TinyInt) {
                const std::string r = "(" + rounded("(" + arg(0) + ")::numeric") + ")";
                if (t.kind == TypeKind::BigInt) return r + "::int8";
                return r + IntCast(t);
            }
            if ((t.kind == TypeKind::Float || t.kind == TypeKind::Real) &&
                (from.kind == TypeKind::Float || from.kind == TypeKind::Real))
                return "(" + rounded("(" + arg(0) + ")::numeric") + ")::float8";
            NotYet("ROUND of " + from.ToString());
        }
        if (name == "POWER") {
            const TypeSpec& t = e.type;
            const TypeSpec& from = e.args[0]->type;
            const TypeSpec& by = e.args[1]->type;
            auto real = [&](const std::string& x, const TypeSpec& xt) {
                if (xt.IsScaled())
                    return "((" + x + ")::float8/" + std::to_string(Pow10(xt.scale)) + ")";
                return "(" + x + ")::float8";
            };
            const std::string r = "power(" + real(arg(0), from) + "," + real(arg(1), by) + ")";
            // A DECIMAL of more than 18 digits is stored as a real.
            if (t.kind == TypeKind::Float || t.kind == TypeKind::Real ||
                (t.kind == TypeKind::Decimal && !t.IsScaled()))
                return r;
            if (t.IsScaled())
                return Scaled("round((" + r + ")::numeric*" + std::to_string(Pow10(t.scale)) + ")",
                              t);
            if (t.kind == TypeKind::BigInt) return "trunc(" + r + ")::int8";
            if (t.kind == TypeKind::Int || t.kind == TypeKind::SmallInt)
                return "(trunc(" + r + ")::int8)" + IntCast(t);
            NotYet("POWER of " + from.ToString());
        }
        if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "DATEPART")
            return "xr.datepart(" + QuoteText(e.part) + "," + arg(0) + ")";
        if (name == "DATENAME") return "xr.datename(" + QuoteText(e.part) + "," + arg(0) + ")";
        if (name == "DATEADD")
            return "xr.dateadd(" + QuoteText(e.part) + ",(" + arg(0) + ")::int8," + arg(1) + ")";
        if (name == "DATEDIFF")
            return "xr.datediff(" + QuoteText(e.part) + "," + arg(0) + "," + arg(1) + ")";
        if (name == "IDENT_CURRENT") return "xr.ident_current(" + arg(0) + ")";
        if (name == "OBJECT_ID")
            return "xr.object_id(" + arg(0) + "," + (e.args.size() > 1 ? arg(1) : "NULL") + ")";
        if (name == "OBJECT_NAME")
            return "xr.object_name(" + arg(0) + (e.args.size() > 1 ? "," + arg(1) : "") + ")";
        if (name == "OBJECTPROPERTY")
            return "xr.objectproperty((" + arg(0) + ")::int8," + arg(1) + ")";
        if (name == "COLUMNPROPERTY" || name == "INDEXPROPERTY")
            return "xr." + ToLower(name) + "((" + arg(0) + ")::int8," + arg(1) + "," + arg(2) + ")";
        if (name == "COL_LENGTH") return "xr.col_length(" + arg(0) + "," + arg(1) + ")";
        if (name == "COL_NAME") return "xr.col_name((" + arg(0) + ")::int8,(" + arg(1) + ")::int8)";
        if (name == "ISNUMERIC" || name == "ISDATE")
            return "xr." + ToLower(name) + "((" + arg(0) + ")::text)";
        if (name == "DB_ID")
            return "(SELECT d.dbid FROM xr.databases() d WHERE lower(d.name COLLATE \"C\") = "
                   "lower((" +
                   arg(0) + ") COLLATE \"C\"))";
        if (name == "DB_NAME")
            return "(SELECT d.name FROM xr.databases() d WHERE d.dbid = " + arg(0) + ")";
        if (name == "XR_ONE") return "(CASE WHEN " + arg(0) + " IS NOT NULL THEN 1 ELSE 0 END)";
        if (name == "XR_ZERO") return "0";
        if (name == "GETDATE" || name == "CURRENT_TIMESTAMP")
            return "(extract(epoch from localtimestamp)::float8/86400+25569)";
        if (name == "GETUTCDATE") return "(extract(epoch from now())::float8/86400+25569)";
        NotYet("The function " + name);
    }

    // ---- queries ----------------------------------------------------------

    // The level column of a part of a recursive common table's query.
    std::string LevelColumn(const BoundSelect& part, const BoundCte& c) {
        const BoundSource* self = nullptr;
        for (const BoundTableRefPtr& ref : part.from)
            if (!self) self = FindCteSource(*ref, c);
        if (!self) return ",0::int8";
        const std::string next = "(" + Quote(self->alias) + ".\"xr_level\"+1)";
        if (m_maxRecursion == 0) return "," + next;
        const std::string message = "The statement terminated. The maximum recursion " +
                                    std::to_string(m_maxRecursion) +
                                    " has been exhausted before statement completion.";
        return ",CASE WHEN " + next + ">" + std::to_string(m_maxRecursion) + " THEN xr.fail(" +
               QuoteText(message) + "," + next + ") ELSE " + next + " END";
    }

    // Whether a part of the query of `c` reads `c` (a recursive member).
    static bool ReadsItself(const BoundSelect& part, const BoundCte& c) {
        for (const BoundTableRefPtr& ref : part.from)
            if (FindCteSource(*ref, c)) return true;
        return false;
    }

    // The recursive members of `c` from part `from` on, when there are
    // several: PostgreSQL's recursion has one recursive part, which reads
    // the rows of the level before once and hands each of them to every
    // member.
    std::string Members(const BoundQuery& q, size_t from, const BoundCte& c) {
        std::string inner;
        m_previousOf = &c;
        for (size_t k = from; k < q.parts.size(); ++k) {
            std::vector<OutColumn> cols;
            inner += (k > from ? " UNION ALL " : "") +
                     Select(q.parts[k], &cols, false, &c, LevelColumn(q.parts[k], c));
        }
        m_previousOf = nullptr;
        return "SELECT \"xr_m\".* FROM " + Quote(c.sqlName) +
               " AS \"xr_prev\" CROSS JOIN LATERAL (" + inner + ") AS \"xr_m\"";
    }

    std::string Query(const BoundQuery& q, std::vector<OutColumn>* out) override {
        const bool top = m_markTop;
        m_markTop = false;
        const BoundCte* levelOf = m_levelOf;
        m_levelOf = nullptr;
        std::vector<OutColumn> cols;
        std::string sql = Select(q.parts[0], &cols, top, levelOf,
                                 levelOf ? LevelColumn(q.parts[0], *levelOf) : "");
        const std::vector<std::string> grouped = m_lastGrouped;
        if (top) m_plan.orderAt = sql.size();
        for (size_t i = 1; i < q.parts.size(); ++i) {
            if (levelOf && i + 1 < q.parts.size() && ReadsItself(q.parts[i], *levelOf) &&
                ReadsItself(q.parts[i + 1], *levelOf)) {
                sql += " UNION ALL " + Members(q, i, *levelOf);
                break;
            }
            std::vector<OutColumn> ucols;
            // UNION drops duplicates by PostgreSQL's equality of text, not
            // the server's: refused until it goes through the normal form.
            if (!q.unionAll[i - 1]) {
                for (const OutColumn& c : cols)
                    if (c.type.IsText()) NotYet("UNION of text");
            }
            sql += q.unionAll[i - 1] ? " UNION ALL " : " UNION ";
            sql += Select(q.parts[i], &ucols, false, levelOf,
                          levelOf ? LevelColumn(q.parts[i], *levelOf) : "");
        }
        const std::string core = sql;
        // A UNION ordered by a text column is ordered by the column's normal
        // form: the union goes in a derived table whose columns the keys name.
        bool wrapped = false;
        if (q.parts.size() > 1) {
            for (const BoundOrder& o : q.order)
                wrapped =
                    wrapped || (o.item >= 0 && cols[static_cast<size_t>(o.item)].type.IsText());
            if (wrapped) {
                // Named as the union's columns are (an unnamed one by its place).
                std::string names;
                for (size_t i = 0; i < cols.size(); ++i)
                    names += (i ? "," : "") + ColumnAlias(cols, i);
                sql = "SELECT * FROM (" + core + ") AS xr_union(" + names + ")";
                // Nothing is added to a union's conditions or order from outside.
                if (top) m_plan.whereAt = m_plan.whereEnd = m_plan.orderAt = std::string::npos;
            }
        }
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
                    if (wrapped) {
                        key.sql = Key("xr_union." + ColumnAlias(cols, static_cast<size_t>(o.item)),
                                      c.type);
                    } else if (q.parts.size() > 1 || c.expr.empty()) {
                        if (c.type.IsText()) NotYet("ORDER BY a text column of a UNION");
                        key.sql = std::to_string(o.item + 1);
                    } else {
                        key.sql = Key(c.expr, c.type);
                        key.column = c.baseColumn;
                    }
                    key.nullable = c.nullable;
                } else {
                    key.sql = Key(Grouped(Expr(*o.expr), grouped, *o.expr), o.expr->type);
                    key.nullable = o.expr->nullable;
                    key.column = BaseColumn(*o.expr);
                }
                sql += Order(key.sql, o.descending);
                if (top) m_plan.order.push_back(std::move(key));
            }
        }
        if (top) m_plan.hasTop = q.top != nullptr;
        if (q.top) {
            // n rows, or p percent of the query's rows rounded up; WITH TIES
            // the last row's peers in the query's order too.
            const std::string n = q.topPercent
                                      ? "(SELECT xr.top_percent((" + Expr(*q.top) +
                                            ")::float8,count(*)) FROM (" + core + ") AS xr_all)"
                                      : "xr.top((" + Expr(*q.top) + ")::int8)";
            if (q.topWithTies) {
                if (q.order.empty()) NotYet("TOP WITH TIES without ORDER BY");
                sql += " FETCH FIRST (" + n + ") ROWS WITH TIES";
            } else {
                sql += " LIMIT " + n;
            }
        }
        if (out) *out = std::move(cols);
        return sql;
    }

    // Column `i` of a query as a derived table names it: by its name when
    // that names it alone, else by its place.
    static std::string ColumnAlias(const std::vector<OutColumn>& cols, size_t i) {
        int seen = 0;
        for (const OutColumn& c : cols) seen += IEquals(c.name, cols[i].name) ? 1 : 0;
        return cols[i].name.empty() || seen > 1 ? "xr_c" + std::to_string(i + 1)
                                                : Quote(cols[i].name);
    }

    // A text grouped by: the groups are those of its normal form, and an
    // item that is the grouped text itself gives one of its group's values.
    // (An expression over it without aggregates has it in each place.)
    static std::string Grouped(const std::string& sql, const std::vector<std::string>& grouped,
                               const BoundExpr& e) {
        for (const std::string& g : grouped)
            if (g == sql) return "min(" + sql + ")";
        if (grouped.empty() || HasAggregate(e)) return sql;
        std::string out = sql;
        for (const std::string& g : grouped) {
            const std::string by = "min(" + g + ")";
            for (size_t at = out.find(g); at != std::string::npos; at = out.find(g, at + by.size()))
                out.replace(at, g.size(), by);
        }
        return out;
    }

    // Whether DISTINCT over text can be had by grouping: items without
    // aggregates or window functions, text among them.
    static bool DistinctByGroups(const BoundSelect& s) {
        bool text = false;
        for (const BoundItem& item : s.items) {
            if (!item.expr || HasAggregate(*item.expr) || HasWindow(*item.expr)) return false;
            if (item.expr->type.IsText()) text = true;
        }
        return text;
    }

    static bool HasWindow(const BoundExpr& e) {
        if (e.window) return true;
        for (const auto& a : e.args)
            if (a && HasWindow(*a)) return true;
        return false;
    }

    static bool HasAggregate(const BoundExpr& e) {
        if (e.kind == BoundKind::Function && !e.window &&
            (e.name == "COUNT" || e.name == "COUNT_BIG" || e.name == "SUM" || e.name == "AVG" ||
             e.name == "MIN" || e.name == "MAX"))
            return true;
        for (const auto& a : e.args)
            if (a && HasAggregate(*a)) return true;
        return false;
    }

    // `cte`: a part of that recursive common table's query, whose columns
    // are cast to its own and followed by `extra` (the level).
    std::string Select(const BoundSelect& s, std::vector<OutColumn>* cols, bool top,
                       const BoundCte* cte = nullptr, const std::string& extra = "") {
        std::string from = From(s.from);
        std::vector<std::string> groupBy;
        std::vector<std::string> groupedText;
        for (const auto& g : s.groupBy) {
            groupBy.push_back(Expr(*g));
            if (g->type.IsText()) groupedText.push_back(groupBy.back());
        }
        // DISTINCT over text tells rows apart by the normal form of their
        // text, as the server's collation does: the rows are grouped by
        // every item that is not a constant.
        std::vector<TypeSpec> distinctTypes;
        const bool distinctGroups = s.distinct && s.groupBy.empty() && DistinctByGroups(s);
        if (distinctGroups) {
            for (const BoundItem& item : s.items) {
                const BoundKind k = item.expr->kind;
                if (k == BoundKind::Param || k == BoundKind::Constant || k == BoundKind::Null)
                    continue;
                groupBy.push_back(Expr(*item.expr));
                distinctTypes.push_back(item.expr->type);
                if (item.expr->type.IsText()) groupedText.push_back(groupBy.back());
            }
        }
        std::string list;
        for (const BoundItem& item : s.items) {
            m_unchecked = top && m_rowsToCaller && !s.distinct && s.groupBy.empty() && !s.having &&
                          item.expr->kind == BoundKind::Arith && item.expr->exact &&
                          (item.expr->type.kind == TypeKind::Money ||
                           item.expr->type.kind == TypeKind::SmallMoney) &&
                          !HasAggregate(*item.expr);
            OutColumn c = ItemColumn(item);
            m_unchecked = false;
            // An item that is a GROUP BY expression is written as the
            // GROUP BY has it, which PostgreSQL's check of grouping needs.
            if (item.group >= 0 && static_cast<size_t>(item.group) < groupBy.size())
                c.expr = groupBy[static_cast<size_t>(item.group)];
            c.expr = Grouped(c.expr, groupedText, *item.expr);
            if (!list.empty()) list += ",";
            const size_t k = cols->size();
            list += cte && k < cte->columns.size() ? Cast(c.expr, cte->columns[k].type) : c.expr;
            if (!c.name.empty()) list += " AS " + Quote(c.name);
            cols->push_back(std::move(c));
        }
        list += extra;
        if (s.distinct && !distinctGroups) {
            for (const OutColumn& c : *cols)
                if (c.type.IsText()) NotYet("DISTINCT over text");
        }
        // (Constants alone are told apart as they are.)
        std::string sql = s.distinct && distinctTypes.empty() ? "SELECT DISTINCT " : "SELECT ";
        sql += list;
        if (!from.empty()) sql += " FROM " + from;
        if (s.where) {
            sql += " WHERE ";
            if (top) m_plan.whereAt = sql.size();
            sql += Expr(*s.where);
            if (top) m_plan.whereEnd = sql.size();
        }
        if (!s.groupBy.empty()) {
            sql += " GROUP BY ";
            for (size_t i = 0; i < s.groupBy.size(); ++i)
                sql += (i ? "," : "") + Key(groupBy[i], s.groupBy[i]->type);
        }
        if (!distinctTypes.empty()) {
            sql += " GROUP BY ";
            for (size_t i = 0; i < groupBy.size(); ++i)
                sql += (i ? "," : "") + Key(groupBy[i], distinctTypes[i]);
        }
        if (s.having) sql += " HAVING " + Grouped(Expr(*s.having), groupedText, *s.having);
        // The query's ORDER BY sees this select's groups.
        m_lastGrouped = std::move(groupedText);
        return sql;
    }

    // The row count of TOP (n) [PERCENT] of a write whose rows are those of
    // "SELECT ... <tail>".
    std::string WriteTop(const BoundStatement& b, const std::string& tail) {
        if (!b.topPercent) return "xr.top((" + Expr(*b.top) + ")::int8)";
        return "(SELECT xr.top_percent((" + Expr(*b.top) + ")::float8,count(*)) " + tail + ")";
    }

private:
    // `sql` as a value of the storage type of `t`.
    static std::string Cast(const std::string& sql, const TypeSpec& t) {
        const std::string type = StorageType(t);
        const size_t collate = type.find(" COLLATE ");
        if (collate == std::string::npos) return "CAST(" + sql + " AS " + type + ")";
        return "CAST(" + sql + " AS " + type.substr(0, collate) + ")" + type.substr(collate);
    }

    bool m_markTop = false;
    bool m_rowsToCaller = false;
    bool m_unchecked = false;                // the next Arith node leaves its range to the reader
    std::vector<std::string> m_lastGrouped;  // the text grouped by in the last select, as rendered
    const BoundCte* m_previousOf = nullptr;  // its members read the level before as "xr_prev"
};

std::string TableName(const BoundTarget& t) { return Quote(t.schema) + "." + Quote(t.table->name); }

}  // namespace

std::string InlineValue(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return "NULL";
        case Value::Kind::Int:
            return std::to_string(v.i) + "::int8";
        case Value::Kind::Real:
            return "'" + Format("%.17g", v.d) + "'::float8";
        case Value::Kind::Text:
            return QuoteText(v.s) + "::text";
        case Value::Kind::Blob: {
            static const char* hex = "0123456789abcdef";
            std::string out = "'\\x";
            for (unsigned char c : v.s) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            return out + "'::bytea";
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
    if (select.into.empty()) g.RowsToCaller();
    plan.sql = with + g.Query(*b.query, &plan.columns);
    for (size_t* at : {&plan.whereAt, &plan.whereEnd, &plan.orderAt})
        if (*at != std::string::npos) *at += with.size();
    return plan;
}

namespace {

// INSERT or UPDATE through a view made WITH CHECK OPTION, or through one
// reading such a view: the rows written must be rows of that view. The
// statement hands back the row ids it wrote as "xr_written" (PgBackend
// collects them while it watches the table).
bool CheckOption(const BoundStatement& b, RenderContext& ctx, Plan& plan) {
    return WriteCheckOption(b, ctx, plan, [](const std::string& rowIds) {
        return "SELECT count(*) FROM jsonb_array_elements_text($1::text::jsonb) AS xr_w(id) "
               "WHERE xr_w.id::int8 NOT IN (SELECT \"xr_rowid\" FROM (" +
               rowIds + ") AS xr_v)";
    });
}

// The catalog's own tables (sysobjects, syscolumns, sysconstraints: the
// ids below those of the objects made) change by DDL alone.
void RefuseCatalogWrite(const BoundStatement& b) {
    const int32_t id = b.target.table->id;
    if (id > 0 && id < 0x00100000)
        throw ComError(DB_E_ERRORSINCOMMAND, "Ad hoc updates to system catalogs are not allowed.");
}

}  // namespace

Plan RenderInsert(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindInsert(stmt, ctx);
    RefuseCatalogWrite(b);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const TableDef& def = *b.target.table;
    plan.setsIdentity = b.setsIdentity;
    std::string sql = "INSERT INTO " + TableName(b.target);
    // Identity values are given explicitly only under IDENTITY_INSERT.
    const ColumnDef* id = def.IdentityColumn();
    std::string returning = " RETURNING " + (id ? Quote(id->name) : std::string("\"xr_rowid\""));
    const bool checked = CheckOption(b, ctx, plan);
    if (checked) returning += ",\"xr_rowid\" AS \"xr_written\"";
    if (b.defaultValues) {
        plan.sql = sql + " DEFAULT VALUES" + returning;
        return plan;
    }
    sql += " (";
    for (size_t i = 0; i < b.columns.size(); ++i)
        sql += (i ? "," : "") + Quote(def.columns[static_cast<size_t>(b.columns[i])].name);
    sql += ")";
    bool explicitIdentity = false;
    if (id) {
        for (int c : b.columns)
            if (&def.columns[static_cast<size_t>(c)] == id) explicitIdentity = true;
    }
    if (explicitIdentity) sql += " OVERRIDING SYSTEM VALUE";
    // The common tables go with the rows' query: the statement still
    // begins INSERT (PgStatement hands back the new rows' ids).
    const std::string with = g.With(b);
    if (b.query) {
        const std::string query = with + g.Query(*b.query, nullptr);
        if (b.top)
            sql += " SELECT * FROM (" + query + ") AS xr_rows LIMIT " +
                   g.WriteTop(b, "FROM (" + query + ") AS xr_all");
        else
            sql += " " + query;
    } else {
        sql += " " + with + "VALUES ";
        for (size_t row = 0; row < b.rows.size(); ++row) {
            sql += row ? ",(" : "(";
            for (size_t i = 0; i < b.rows[row].size(); ++i)
                sql += (i ? "," : "") + g.Expr(*b.rows[row][i]);
            sql += ")";
        }
    }
    plan.sql = sql + returning;
    if (explicitIdentity) {
        // The counter goes on beyond the values given, as on the server.
        plan.sql = std::string(kKeptInsert) + plan.sql.substr(7) + ") SELECT xr.keep_identity(" +
                   QuoteText(b.target.schema) + "," + QuoteText(def.name) + "," +
                   QuoteText(id->name) + "," + Quote(id->name) + ")" +
                   (checked ? ",\"xr_written\"" : "") + " FROM xr_ins";
    }
    return plan;
}

// The row id of a table of the FROM, which UPDATE and DELETE match their
// target's rows by: a view written through hands out its table's as a
// column of the same name.
std::string RowIdOf(const BoundSource& src) { return Quote(src.alias) + ".\"xr_rowid\""; }

Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindUpdate(stmt, ctx);
    RefuseCatalogWrite(b);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const std::string with = g.With(b);
    const TableDef& def = *b.target.table;
    const std::string from = g.From(b.from);
    std::vector<std::pair<std::string, std::string>> sets;
    for (const auto& [column, value] : b.sets)
        sets.emplace_back(Quote(def.columns[static_cast<size_t>(column)].name), g.Expr(*value));
    const std::string where = b.expr ? g.Expr(*b.expr) : std::string();
    // The FROM's names stay inside the query the target is matched with.
    const std::string alias = b.target.inFrom ? "xr_target" : def.name;
    std::string sql = with + "UPDATE " + TableName(b.target) + " AS " + Quote(alias) + " SET ";
    if (!b.target.inFrom && b.top) {
        // TOP: the first n rows the statement would change, by row id.
        for (size_t i = 0; i < sets.size(); ++i)
            sql += (i ? "," : "") + sets[i].first + "=" + sets[i].second;
        std::string tail = "FROM " + TableName(b.target) + " AS " + Quote(alias);
        if (!from.empty()) tail += "," + from;
        if (!where.empty()) tail += " WHERE " + where;
        if (!from.empty()) sql += " FROM " + from;
        sql += " WHERE " + (where.empty() ? "" : where + " AND ") + Quote(alias) +
               ".\"xr_rowid\" IN (SELECT " + Quote(alias) + ".\"xr_rowid\" " + tail + " LIMIT " +
               g.WriteTop(b, tail) + ")";
    } else if (!b.target.inFrom) {
        for (size_t i = 0; i < sets.size(); ++i)
            sql += (i ? "," : "") + sets[i].first + "=" + sets[i].second;
        if (!from.empty()) sql += " FROM " + from;
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // The FROM holds the target: a query over it hands out the target's
        // row id with the new values; each target row takes one of the rows
        // naming it.
        std::string values;
        for (size_t i = 0; i < sets.size(); ++i) {
            sql +=
                (i ? "," : "") + sets[i].first + "=\"xr_from\".\"xr_v" + std::to_string(i) + "\"";
            values += "," + sets[i].second + " AS \"xr_v" + std::to_string(i) + "\"";
        }
        sql += " FROM (SELECT " + RowIdOf(*b.target.inFrom) + " AS \"xr_id\"" + values + " FROM " +
               from;
        if (!where.empty()) sql += " WHERE " + where;
        if (b.top)
            sql += " LIMIT " +
                   g.WriteTop(b, "FROM " + from + (where.empty() ? "" : " WHERE " + where));
        sql += ") AS \"xr_from\" WHERE " + Quote(alias) + ".\"xr_rowid\"=\"xr_from\".\"xr_id\"";
    }
    if (CheckOption(b, ctx, plan))
        sql += " RETURNING " + Quote(alias) + ".\"xr_rowid\" AS \"xr_written\"";
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderDelete(const Stmt& stmt, RenderContext& ctx) {
    BoundStatement b = BindDelete(stmt, ctx);
    RefuseCatalogWrite(b);
    Plan plan;
    TakeBinding(b, plan);
    Generator g(plan);
    const std::string with = g.With(b);
    const std::string table = TableName(b.target);
    const std::string name = Quote(b.target.table->name);
    std::string from = g.From(b.from);
    const std::string where = b.expr ? g.Expr(*b.expr) : std::string();
    std::string sql = with + "DELETE FROM " + table;
    if (from.empty() && b.top) {
        // TOP: the first n rows the statement would delete, by row id.
        std::string tail = "FROM " + table + " AS " + name;
        if (!where.empty()) tail += " WHERE " + where;
        sql += " WHERE \"xr_rowid\" IN (SELECT " + name + ".\"xr_rowid\" " + tail + " LIMIT " +
               g.WriteTop(b, tail) + ")";
    } else if (from.empty()) {
        sql += " AS " + name;
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // The rows go by the row ids the FROM (with the target in it) finds.
        std::string owner;
        if (b.target.inFrom) {
            owner = RowIdOf(*b.target.inFrom);
        } else {
            owner = name + ".\"xr_rowid\"";
            from = table + " AS " + name + "," + from;
        }
        sql += " WHERE \"xr_rowid\" IN (SELECT " + owner + " FROM " + from;
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
                                       Quote(table.name) + ".");
}

}  // namespace xr::engine::postgres
