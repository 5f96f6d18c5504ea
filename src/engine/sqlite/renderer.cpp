#include "engine/sqlite/renderer.h"

#include <cstring>
#include <limits>

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

std::string InlineValue(const Value& v);

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

// A table or view that does not exist: the provider reports it as DB_E_NOTABLE.
[[noreturn]] void FailNoTable(const std::string& written) {
    throw ComError(DB_E_NOTABLE, "Invalid object name '" + written + "'.");
}

bool IsType(const TypeSpec& t, TypeKind k) { return t.kind == k; }
bool IsUnknown(const TypeSpec& t) { return t.kind == TypeKind::Unknown; }

TypeSpec Make(TypeKind k, int32_t length = 0, uint8_t precision = 0, uint8_t scale = 0) {
    TypeSpec t;
    t.kind = k;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

int64_t Pow10(int n) {
    int64_t v = 1;
    while (n-- > 0) v *= 10;
    return v;
}

// Two types whose stored values compare and combine as they are.
bool SameStorage(const TypeSpec& a, const TypeSpec& b) {
    if (a.IsInteger() && b.IsInteger()) return true;
    if (a.IsScaled() && b.IsScaled()) return a.scale == b.scale;
    if (a.IsText() && b.IsText()) return true;
    if (a.IsBinary() && b.IsBinary()) return true;
    if (a.IsDate() && b.IsDate()) return true;
    auto isReal = [](const TypeSpec& t) {
        return t.kind == TypeKind::Real || t.kind == TypeKind::Float ||
               (t.kind == TypeKind::Decimal && !t.IsScaled());
    };
    return isReal(a) && isReal(b);
}

int IntegerRank(TypeKind k) {
    switch (k) {
        case TypeKind::Bit:
            return 0;
        case TypeKind::TinyInt:
            return 1;
        case TypeKind::SmallInt:
            return 2;
        case TypeKind::Int:
            return 3;
        case TypeKind::BigInt:
            return 4;
        default:
            return -1;
    }
}

struct RExpr {
    std::string sql;
    TypeSpec type;
    int slot = -1;           // a parameter that converts at bind time
    bool predicate = false;  // a truth value
    const ColumnDef* column = nullptr;
    std::string baseTable;
};

struct Source {
    std::string alias;  // exposed name (alias, or the table's name)
    bool explicitAlias = false;
    const TableDef* table = nullptr;
    std::string schema;              // the table's SQLite schema
    std::vector<OutColumn> derived;  // columns of a derived table
};

struct Scope {
    std::vector<Source> sources;
    const Scope* outer = nullptr;
};

std::string LastPart(std::string_view qualifier) {
    size_t dot = qualifier.rfind('.');
    std::string_view last = dot == std::string_view::npos ? qualifier : qualifier.substr(dot + 1);
    std::string out(last);
    if (out.size() >= 2 && out.front() == '[' && out.back() == ']')
        out = out.substr(1, out.size() - 2);
    return out;
}

std::string WrittenName(const ObjectName& n) {
    std::string s;
    if (!n.db.empty())
        s = n.db + "." + n.schema + ".";
    else if (!n.schema.empty())
        s = n.schema + ".";
    return s + n.name;
}

class Renderer {
public:
    Renderer(RenderContext& ctx, Plan& plan, bool inlineConstants = false)
        : m_ctx(ctx), m_plan(plan), m_inline(inlineConstants) {}

    // ---- expressions ------------------------------------------------------

    void MarkTop() { m_markTop = true; }

    RExpr Value(const Expr& e, const Scope& scope) {
        RExpr r = Render(e, scope);
        if (r.predicate) Fail("Incorrect syntax near '" + OpText(e) + "'.");
        return r;
    }

    std::string Predicate(const Expr& e, const Scope& scope) {
        RExpr r = Render(e, scope);
        if (!r.predicate) {
            Fail(
                "An expression of non-boolean type specified in a context where a condition is "
                "expected.");
        }
        return r.sql;
    }

    RExpr ConvertTo(RExpr e, const TypeSpec& to, bool storing) {
        if (e.slot >= 0) {
            Slot& s = m_plan.slots[static_cast<size_t>(e.slot)];
            s.convert = true;
            s.storing = storing;
            s.target = to;
            e.type = to;
            return e;
        }
        if (IsUnknown(e.type)) {
            e.type = to;
            return e;
        }
        const TypeSpec& from = e.type;
        if (from == to && !(storing && to.IsText())) {
            return e;
        }
        if (!storing ||
            (from.IsInteger() && to.IsInteger() && IntegerRank(to.kind) >= IntegerRank(from.kind) &&
             from.kind != TypeKind::Bit)) {
            if (from.IsInteger() && to.IsInteger() &&
                (IntegerRank(to.kind) >= IntegerRank(from.kind) || !storing)) {
                if (storing || to.kind != TypeKind::Bit || from.kind == TypeKind::Bit) {
                    e.type = to;
                    return e;
                }
            }
            if (!storing) {
                if (SameStorage(from, to) && !(to.kind == TypeKind::Bit) &&
                    !(to.IsText() && (to.kind == TypeKind::Char) && from.kind != TypeKind::Char)) {
                    if (!(from.IsInteger() && to.IsInteger() &&
                          IntegerRank(to.kind) < IntegerRank(from.kind))) {
                        e.type = to;
                        return e;
                    }
                }
                if (from.IsInteger() && from.kind != TypeKind::Bit && to.IsScaled()) {
                    e.sql = "(" + e.sql + "*" + std::to_string(Pow10(to.scale)) + ")";
                    e.type = to;
                    return e;
                }
                if (from.IsScaled() && (to.kind == TypeKind::Float)) {
                    e.sql = "(" + e.sql + "/" + std::to_string(Pow10(from.scale)) + ".0)";
                    e.type = to;
                    return e;
                }
            }
        }
        e.sql = std::string(storing ? "xr_store(" : "xr_cast(") + e.sql + "," +
                std::to_string(from.Code()) + "," + std::to_string(to.Code()) + ")";
        e.type = to;
        e.column = nullptr;
        return e;
    }

    RExpr Render(const Expr& e, const Scope& scope) {
        switch (e.kind) {
            case ExprKind::Literal:
                return Literal(e);
            case ExprKind::Variable:
                return Variable(e);
            case ExprKind::Column:
                return Column(e, scope);
            case ExprKind::Star:
                Fail("Incorrect syntax near '*'.");
            case ExprKind::Unary:
                return Unary(e, scope);
            case ExprKind::Binary:
                return Binary(e, scope);
            case ExprKind::Function:
                return Function(e, scope);
            case ExprKind::Cast: {
                RExpr v = Value(*e.args.at(0), scope);
                // Without a length CAST gives 30 characters (or bytes).
                const TypeSpec to = e.type.Sized(30);
                if (v.slot < 0 && v.type.IsText() &&
                    (to.kind == TypeKind::Char || to.kind == TypeKind::VarChar) &&
                    (v.type.kind == TypeKind::Text || v.type.length <= 0 ||
                     v.type.length > to.length || to.kind == TypeKind::Char)) {
                    // Text that may be longer is cut (or CHAR padded) by the conversion.
                    v.sql = "xr_cast(" + v.sql + "," + std::to_string(v.type.Code()) + "," +
                            std::to_string(to.Code()) + ")";
                    v.type = to;
                    v.column = nullptr;
                    return v;
                }
                v = ConvertTo(std::move(v), to, false);
                // The converted value is no longer a constant whose type a
                // later operation may choose: CAST(2.56 AS INT) stays 2.
                v.slot = -1;
                return v;
            }
            case ExprKind::Subquery: {
                std::vector<OutColumn> cols;
                std::string sql = SelectSql(*e.select, &scope, &cols, nullptr);
                if (cols.size() != 1) {
                    Fail(
                        "Only one expression can be specified in the select list when the "
                        "subquery is not introduced with EXISTS.");
                }
                RExpr r;
                r.sql = "(" + sql + ")";
                r.type = cols[0].type;
                return r;
            }
            case ExprKind::Exists: {
                RExpr r;
                r.sql = "EXISTS (" + SelectSql(*e.select, &scope, nullptr, nullptr) + ")";
                r.predicate = true;
                return r;
            }
            case ExprKind::InList: {
                RExpr a = Value(*e.args.at(0), scope);
                std::string list;
                for (size_t i = 1; i < e.args.size(); ++i) {
                    RExpr b = Value(*e.args[i], scope);
                    auto [x, y] = Unify(a, std::move(b));
                    if (i == 1) a = x;
                    if (!list.empty()) list += ",";
                    list += y.sql + (y.type.IsText() ? " COLLATE TSQL" : "");
                }
                RExpr r;
                r.sql = "(" + a.sql + (e.negated ? " NOT IN (" : " IN (") + list + "))";
                r.predicate = true;
                return r;
            }
            case ExprKind::InSelect: {
                RExpr a = Value(*e.args.at(0), scope);
                std::vector<OutColumn> cols;
                std::string sql = SelectSql(*e.select, &scope, &cols, nullptr);
                RExpr r;
                r.sql = "(" + a.sql + (e.negated ? " NOT IN (" : " IN (") + sql + "))";
                r.predicate = true;
                return r;
            }
            case ExprKind::Between: {
                RExpr a = Value(*e.args.at(0), scope);
                RExpr lo = Value(*e.args.at(1), scope);
                RExpr hi = Value(*e.args.at(2), scope);
                auto [a1, lo1] = Unify(a, std::move(lo));
                auto [a2, hi1] = Unify(a1, std::move(hi));
                std::string coll = a2.type.IsText() ? " COLLATE TSQL" : "";
                RExpr r;
                r.sql = "(" + a2.sql + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + lo1.sql +
                        coll + " AND " + hi1.sql + coll + ")";
                r.predicate = true;
                return r;
            }
            case ExprKind::Like: {
                RExpr a =
                    ConvertTo(Value(*e.args.at(0), scope), Make(TypeKind::VarChar, 8000), false);
                RExpr p =
                    ConvertTo(Value(*e.args.at(1), scope), Make(TypeKind::VarChar, 8000), false);
                std::string sql = "(" + a.sql + (e.negated ? " NOT LIKE " : " LIKE ") + p.sql;
                if (e.args.size() > 2) {
                    RExpr esc =
                        ConvertTo(Value(*e.args[2], scope), Make(TypeKind::VarChar, 1), false);
                    sql += " ESCAPE " + esc.sql;
                }
                RExpr r;
                r.sql = sql + ")";
                r.predicate = true;
                return r;
            }
            case ExprKind::IsNull: {
                RExpr a = Value(*e.args.at(0), scope);
                RExpr r;
                r.sql = "(" + a.sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
                r.predicate = true;
                return r;
            }
            case ExprKind::Case:
                return Case(e, scope);
        }
        Fail("Unsupported expression.");
    }

    // ---- SELECT -----------------------------------------------------------

    // Renders a query; `targets`, when given, converts each result column to
    // the type of the column it is written into (INSERT ... SELECT).
    std::string SelectSql(const SelectStmt& s, const Scope* outer, std::vector<OutColumn>* out,
                          const std::vector<TypeSpec>* targets) {
        // Only the outermost query's clauses are marked in the plan.
        const bool top = m_markTop;
        m_markTop = false;
        std::string sql;
        std::vector<OutColumn> cols;
        Scope scope;
        sql = CoreSql(s, outer, &cols, targets, &scope, top);
        if (top) m_plan.orderAt = sql.size();
        for (const SelectStmt *u = s.unionNext.get(), *prev = &s; u;
             prev = u, u = u->unionNext.get()) {
            std::vector<OutColumn> ucols;
            Scope uscope;
            std::string usql = CoreSql(*u, outer, &ucols, targets, &uscope);
            if (ucols.size() != cols.size()) {
                Fail(
                    "All queries combined using a UNION, INTERSECT or EXCEPT operator must have "
                    "an equal number of expressions in their target lists.");
            }
            sql += prev->unionAll ? " UNION ALL " : " UNION ";
            sql += usql;
        }
        if (!s.orderBy.empty()) {
            sql += " ORDER BY ";
            bool first = true;
            for (const OrderItem& o : s.orderBy) {
                if (!first) sql += ",";
                first = false;
                OrderKey key;
                sql += OrderTerm(o, cols, scope, s.unionNext != nullptr, &key);
                if (o.descending) sql += " DESC";
                if (top) m_plan.order.push_back(std::move(key));
            }
        }
        if (top) m_plan.hasTop = s.top != nullptr;
        if (s.top) {
            RExpr n = ConvertTo(Value(*s.top, scope), Make(TypeKind::BigInt), false);
            if (s.topPercent) Fail("TOP ... PERCENT is not supported.");
            sql += " LIMIT " + n.sql;
        }
        if (out) *out = std::move(cols);
        return sql;
    }

    // `expr` receives the term as an expression (a position or an alias
    // stands for its item's expression).
    std::string OrderTerm(const OrderItem& o, const std::vector<OutColumn>& cols,
                          const Scope& scope, bool isUnion, OrderKey* key) {
        const Expr& e = *o.expr;
        key->descending = o.descending;
        auto item = [&](size_t i) {
            const std::string& x = cols[i].expr.empty() ? std::to_string(i + 1) : cols[i].expr;
            key->sql = cols[i].type.IsText() ? x + " COLLATE TSQL" : x;
            key->nullable = cols[i].nullable;
            std::string t = std::to_string(i + 1);
            return cols[i].type.IsText() ? t + " COLLATE TSQL" : t;
        };
        if (e.kind == ExprKind::Literal && e.literal == LiteralKind::Integer) {
            // ORDER BY n names the n-th column of the select list.
            int n = std::atoi(e.text.c_str());
            if (n < 1 || static_cast<size_t>(n) > cols.size()) {
                Fail("The ORDER BY position number " + e.text +
                     " is out of range of the number of items in the select list.");
            }
            if (e.paramIndex >= 0) m_plan.inlined.emplace_back(e.paramIndex, e.text);
            return item(static_cast<size_t>(n - 1));
        }
        if (e.kind == ExprKind::Column && e.qualifier.empty()) {
            for (size_t i = 0; i < cols.size(); ++i) {
                if (IEquals(cols[i].name, e.name) && !FindInScope(scope, "", e.name))
                    return item(i);
            }
        }
        if (isUnion)
            Fail(
                "ORDER BY items must appear in the select list if the statement contains a UNION.");
        RExpr r = Value(e, scope);
        key->sql = r.type.IsText() ? r.sql + " COLLATE TSQL" : r.sql;
        key->nullable = !r.column || !r.column->notNull;
        return key->sql;
    }

    std::string CoreSql(const SelectStmt& s, const Scope* outer, std::vector<OutColumn>* cols,
                        const std::vector<TypeSpec>* targets, Scope* scopeOut, bool top = false) {
        Scope& scope = *scopeOut;
        scope.outer = outer;
        std::string from;
        for (const TableRefPtr& ref : s.from) {
            if (!from.empty()) from += ",";
            from += TableRefSql(*ref, scope);
        }
        std::string list;
        auto addColumn = [&](RExpr r, OutColumn c) {
            size_t i = cols->size();
            if (targets) {
                if (i >= targets->size()) {
                    Fail(
                        "The select list for the INSERT statement contains more items than the "
                        "insert list. The number of SELECT values must match the number of "
                        "INSERT columns.");
                }
                r = ConvertTo(std::move(r), (*targets)[i], true);
                c.type = (*targets)[i];
            }
            if (!list.empty()) list += ",";
            list += r.sql;
            c.expr = r.sql;
            if (!c.name.empty()) list += " AS " + QuoteIdent(c.name);
            cols->push_back(std::move(c));
        };
        for (const SelectItem& item : s.items) {
            const Expr& e = *item.expr;
            if (e.kind == ExprKind::Star) {
                bool any = false;
                for (const Source& src : scope.sources) {
                    if (!e.qualifier.empty() && !IEquals(src.alias, LastPart(e.qualifier)))
                        continue;
                    any = true;
                    ForEachColumn(src, [&](const OutColumn& oc) {
                        RExpr r;
                        r.sql = QuoteIdent(src.alias) + "." + QuoteIdent(oc.name);
                        r.type = oc.type;
                        addColumn(std::move(r), oc);
                    });
                }
                if (!any) {
                    if (e.qualifier.empty()) Fail("Must specify table to select from.");
                    Fail("The object name '" + e.qualifier + "' is not valid.");
                }
                continue;
            }
            RExpr r = Value(e, scope);
            OutColumn c;
            c.type = r.type;
            if (!item.alias.empty()) {
                c.name = item.alias;
            } else if (r.column) {
                c.name = r.column->name;
            }
            if (r.column) {
                c.baseColumn = r.column->name;
                c.baseTable = r.baseTable;
                c.nullable = !r.column->notNull;
            }
            if (!item.assignTo.empty() && c.name.empty()) c.name = item.assignTo;
            addColumn(std::move(r), std::move(c));
        }
        if (targets && cols->size() != targets->size()) {
            Fail(
                "The select list for the INSERT statement contains fewer items than the insert "
                "list. The number of SELECT values must match the number of INSERT columns.");
        }
        std::string sql = s.distinct ? "SELECT DISTINCT " : "SELECT ";
        sql += list;
        if (!from.empty()) sql += " FROM " + from;
        if (s.where) {
            sql += " WHERE ";
            if (top) m_plan.whereAt = sql.size();
            sql += Predicate(*s.where, scope);
            if (top) m_plan.whereEnd = sql.size();
        }
        if (!s.groupBy.empty()) {
            sql += " GROUP BY ";
            for (size_t i = 0; i < s.groupBy.size(); ++i) {
                RExpr g = Value(*s.groupBy[i], scope);
                if (i) sql += ",";
                sql += g.sql + (g.type.IsText() ? " COLLATE TSQL" : "");
            }
        }
        if (s.having) sql += " HAVING " + Predicate(*s.having, scope);
        return sql;
    }

    template <class F>
    void ForEachColumn(const Source& src, F f) {
        if (src.table) {
            for (const ColumnDef& c : src.table->columns) {
                OutColumn oc;
                oc.name = c.name;
                oc.type = c.type;
                oc.baseTable = src.table->name;
                oc.baseColumn = c.name;
                oc.nullable = !c.notNull;
                f(oc);
            }
        } else {
            for (const OutColumn& oc : src.derived) f(oc);
        }
    }

    std::string TableRefSql(const TableRef& ref, Scope& scope) {
        if (ref.join != JoinType::None) {
            const size_t first = scope.sources.size();
            std::string left = TableRefSql(*ref.left, scope);
            std::string right = TableRefSql(*ref.right, scope);
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
            std::string sql = left + kw + right;
            if (ref.on) {
                if (first == 0) {
                    sql += " ON " + Predicate(*ref.on, scope);
                } else {
                    // An ON sees the tables of its own join, not those listed
                    // before it with commas.
                    Scope own;
                    own.outer = scope.outer;
                    own.sources.assign(scope.sources.begin() + static_cast<std::ptrdiff_t>(first),
                                       scope.sources.end());
                    sql += " ON " + Predicate(*ref.on, own);
                }
            }
            return sql;
        }
        Source src;
        std::string sql;
        if (ref.derived) {
            std::vector<OutColumn> cols;
            sql = "(" + SelectSql(*ref.derived, scope.outer, &cols, nullptr) + ")";
            src.derived = std::move(cols);
            src.alias = ref.alias;
            src.explicitAlias = true;
        } else {
            std::string schema =
                ref.table.db.empty() ? m_ctx.CurrentSchema() : m_ctx.SchemaFor(ref.table.db);
            const TableDef* t = m_ctx.FindTable(schema, ref.table.name);
            if (!t) FailNoTable(WrittenName(ref.table));
            src.table = t;
            src.schema = schema;
            src.alias = ref.alias.empty() ? t->name : ref.alias;
            src.explicitAlias = !ref.alias.empty();
            sql = QuoteIdent(schema) + "." + QuoteIdent(t->name);
        }
        for (const Source& other : scope.sources) {
            if (IEquals(other.alias, src.alias)) {
                Fail("The objects \"" + other.alias + "\" and \"" + src.alias +
                     "\" in the FROM clause have the same exposed names. Use correlation names "
                     "to distinguish them.");
            }
        }
        sql += " AS " + QuoteIdent(src.alias);
        scope.sources.push_back(std::move(src));
        return sql;
    }

    // Finds a column in this scope only; null when absent. Fails when ambiguous.
    const Source* FindInScope(const Scope& scope, std::string_view qualifier, std::string_view name,
                              OutColumn* found = nullptr, const ColumnDef** def = nullptr) {
        const Source* hit = nullptr;
        for (const Source& src : scope.sources) {
            if (!qualifier.empty()) {
                std::string q = LastPart(qualifier);
                bool match = IEquals(src.alias, q) ||
                             (!src.explicitAlias && src.table && IEquals(src.table->name, q));
                if (!match) continue;
            }
            bool has = false;
            if (src.table) {
                if (const ColumnDef* c = src.table->FindColumn(name)) {
                    has = true;
                    if (!hit && def) *def = c;
                    if (!hit && found) {
                        found->name = c->name;
                        found->type = c->type;
                    }
                }
            } else {
                for (const OutColumn& oc : src.derived) {
                    if (IEquals(oc.name, name)) {
                        has = true;
                        if (!hit && found) *found = oc;
                        break;
                    }
                }
            }
            if (has) {
                if (hit) Fail("Ambiguous column name '" + std::string(name) + "'.");
                hit = &src;
            }
        }
        return hit;
    }

    RExpr Column(const Expr& e, const Scope& scope) {
        for (const Scope* s = &scope; s; s = s->outer) {
            OutColumn oc;
            const ColumnDef* def = nullptr;
            if (const Source* src = FindInScope(*s, e.qualifier, e.name, &oc, &def)) {
                RExpr r;
                r.sql = QuoteIdent(src->alias) + "." + QuoteIdent(def ? def->name : oc.name);
                r.type = oc.type;
                r.column = def;
                if (src->table) r.baseTable = src->table->name;
                return r;
            }
        }
        if (!e.qualifier.empty()) {
            bool known = false;
            for (const Scope* s = &scope; s && !known; s = s->outer) {
                for (const Source& src : s->sources) {
                    if (IEquals(src.alias, LastPart(e.qualifier))) known = true;
                }
            }
            if (!known) {
                Fail("The multi-part identifier \"" + e.qualifier + "." + e.name +
                     "\" could not be bound.");
            }
        }
        Fail("Invalid column name '" + e.name + "'.");
    }

    RExpr Literal(const Expr& e) {
        RExpr r;
        if (e.literal == LiteralKind::Null) {
            r.sql = "NULL";
            return r;
        }
        if (m_inline) {
            r.type = LiteralType(e);
            r.sql = InlineValue(LiteralValue(e));
            return r;
        }
        Slot s;
        if (e.paramIndex >= 0) {
            s.source = Slot::Source::Literal;
            s.literal = e.paramIndex;
        } else {
            s.source = Slot::Source::Constant;
            s.value = LiteralValue(e);
        }
        s.valueType = LiteralType(e);
        r.type = s.valueType;
        r.slot = static_cast<int>(m_plan.slots.size());
        m_plan.slots.push_back(std::move(s));
        r.sql = "?" + std::to_string(m_plan.slots.size());
        return r;
    }

    RExpr Variable(const Expr& e) {
        const TypeSpec* t = m_ctx.VariableType(e.name);
        if (!t) Fail("Must declare the scalar variable \"" + e.name + "\".");
        if (IEquals(e.name, "@@IDENTITY")) m_plan.readsIdentity = true;
        Slot s;
        s.source = Slot::Source::Variable;
        s.variable = e.name;
        s.valueType = *t;
        RExpr r;
        r.type = *t;
        r.slot = static_cast<int>(m_plan.slots.size());
        m_plan.slots.push_back(std::move(s));
        r.sql = "?" + std::to_string(m_plan.slots.size());
        return r;
    }

    RExpr Unary(const Expr& e, const Scope& scope) {
        RExpr r;
        if (e.op == Op::Not) {
            r.sql = "(NOT " + Predicate(*e.args.at(0), scope) + ")";
            r.predicate = true;
            return r;
        }
        RExpr a = Value(*e.args.at(0), scope);
        if (a.type.IsText() || a.type.IsBinary()) {
            Fail("Operand data type " + TypeName(a.type) + " is invalid for " +
                 (e.op == Op::Neg      ? "minus"
                  : e.op == Op::BitNot ? "~"
                                       : "plus") +
                 " operator.");
        }
        a.column = nullptr;
        if (e.op == Op::Neg && a.slot >= 0) {
            Slot& s = m_plan.slots[static_cast<size_t>(a.slot)];
            if (s.source == Slot::Source::Literal && !s.convert && a.type.IsNumeric()) {
                // The sign belongs to the constant: -922337203685477.5808 is a
                // valid amount although its digits alone are not.
                s.negate = !s.negate;
                return a;
            }
        }
        if (e.op == Op::Neg) {
            if (a.slot >= 0 && IsType(a.type, TypeKind::Unknown)) return a;
            a.sql = "(-" + a.sql + ")";
            a.slot = -1;
        } else if (e.op == Op::BitNot) {
            a.sql = "(~" + a.sql + ")";
            a.slot = -1;
        }
        return a;
    }

    static std::string TypeName(const TypeSpec& t) {
        std::string s = ToLower(t.ToString());
        size_t p = s.find('(');
        s = p == std::string::npos ? s : s.substr(0, p);
        return s == "integer" ? "int" : s;
    }

    static std::string OpText(const Expr& e) {
        switch (e.op) {
            case Op::Eq:
                return "=";
            case Op::Ne:
                return "<>";
            case Op::Lt:
                return "<";
            case Op::Le:
                return "<=";
            case Op::Gt:
                return ">";
            case Op::Ge:
                return ">=";
            case Op::And:
                return "AND";
            case Op::Or:
                return "OR";
            default:
                return e.name.empty() ? "expression" : e.name;
        }
    }

    // Brings two operands to one type: a constant takes the other side's type
    // when it can (so a key column is compared as it is stored, and its index
    // serves); otherwise both go to the server's common type.
    std::pair<RExpr, RExpr> Unify(RExpr a, RExpr b) {
        if (IsUnknown(a.type) && IsUnknown(b.type)) return {std::move(a), std::move(b)};
        if (IsUnknown(a.type)) {
            a.type = b.type;
            return {std::move(a), std::move(b)};
        }
        if (IsUnknown(b.type)) {
            b.type = a.type;
            return {std::move(a), std::move(b)};
        }
        if (b.slot >= 0 && a.slot < 0 && Fits(b.type, a.type)) {
            b = ConvertTo(std::move(b), a.type, false);
            return {std::move(a), std::move(b)};
        }
        if (a.slot >= 0 && b.slot < 0 && Fits(a.type, b.type)) {
            a = ConvertTo(std::move(a), b.type, false);
            return {std::move(a), std::move(b)};
        }
        if (SameStorage(a.type, b.type)) {
            if (a.type.IsInteger() && IntegerRank(b.type.kind) > IntegerRank(a.type.kind))
                a.type = b.type;
            else if (b.type.IsInteger())
                b.type = a.type;
            return {std::move(a), std::move(b)};
        }
        TypeSpec t = CommonType(a.type, b.type);
        a = ConvertTo(std::move(a), t, false);
        b = ConvertTo(std::move(b), t, false);
        return {std::move(a), std::move(b)};
    }

    // Whether a constant of type `c` may be converted to the column type `t`
    // for comparing without changing the result.
    static bool Fits(const TypeSpec& c, const TypeSpec& t) {
        if (t.IsText()) return c.IsText();
        if (t.IsBinary()) return c.IsBinary();
        if (t.IsDate()) return c.IsText() || c.IsDate();
        if (t.IsInteger()) {
            if (t.kind == TypeKind::Bit) return c.kind == TypeKind::Bit;
            return c.IsInteger();
        }
        if (t.IsScaled()) return c.IsInteger() || (c.IsScaled() && c.scale <= t.scale);
        if (t.kind == TypeKind::Float) return c.IsNumeric();
        return false;
    }

    RExpr Compare(const Expr& e, const Scope& scope) {
        RExpr a = Value(*e.args.at(0), scope);
        RExpr b = Value(*e.args.at(1), scope);
        auto [x, y] = Unify(std::move(a), std::move(b));
        RExpr r;
        std::string coll = x.type.IsText() && y.type.IsText() ? " COLLATE TSQL" : "";
        r.sql = "(" + x.sql + " " + OpText(e) + " " + y.sql + coll + ")";
        r.predicate = true;
        return r;
    }

    RExpr Binary(const Expr& e, const Scope& scope) {
        switch (e.op) {
            case Op::Eq:
            case Op::Ne:
            case Op::Lt:
            case Op::Le:
            case Op::Gt:
            case Op::Ge:
                return Compare(e, scope);
            case Op::And:
            case Op::Or: {
                RExpr r;
                r.sql = "(" + Predicate(*e.args.at(0), scope) +
                        (e.op == Op::And ? " AND " : " OR ") + Predicate(*e.args.at(1), scope) +
                        ")";
                r.predicate = true;
                return r;
            }
            default:
                break;
        }
        RExpr a = Value(*e.args.at(0), scope);
        RExpr b = Value(*e.args.at(1), scope);
        RExpr r;
        bool aText = a.type.IsText() || (IsUnknown(a.type) && b.type.IsText());
        bool bText = b.type.IsText() || (IsUnknown(b.type) && a.type.IsText());
        if (e.op == Op::Add && aText && bText) {
            // Text + text concatenates; NULL + text is NULL in both dialects.
            r.sql = "(" + a.sql + "||" + b.sql + ")";
            r.type = Make(TypeKind::VarChar, std::min(8000, a.type.length + b.type.length));
            return r;
        }
        if ((a.type.IsBinary() && b.type.IsBinary()) && e.op == Op::Add) {
            r.sql = "(" + a.sql + "||" + b.sql + ")";
            r.type = Make(TypeKind::VarBinary, std::min(8000, a.type.length + b.type.length));
            return r;
        }
        if (e.op == Op::BitAnd || e.op == Op::BitOr || e.op == Op::BitXor) {
            TypeSpec t = CommonType(a.type, b.type);
            if (!t.IsInteger()) t = Make(TypeKind::BigInt);
            a = ConvertTo(std::move(a), t, false);
            b = ConvertTo(std::move(b), t, false);
            if (e.op == Op::BitAnd)
                r.sql = "(" + a.sql + "&" + b.sql + ")";
            else if (e.op == Op::BitOr)
                r.sql = "(" + a.sql + "|" + b.sql + ")";
            else
                r.sql = "((" + a.sql + "|" + b.sql + ")-(" + a.sql + "&" + b.sql + "))";
            r.type = t;
            return r;
        }
        if ((a.type.IsDate() || b.type.IsDate()) && (e.op == Op::Add || e.op == Op::Sub)) {
            // datetime +/- a number of days.
            TypeSpec d = a.type.IsDate() ? a.type : b.type;
            RExpr days = ConvertTo(a.type.IsDate() ? std::move(b) : std::move(a),
                                   Make(TypeKind::Float), false);
            RExpr date = ConvertTo(a.type.IsDate() ? std::move(a) : std::move(b),
                                   Make(TypeKind::DateTime), false);
            r.sql = "(" + date.sql + (e.op == Op::Add ? "+" : "-") + days.sql + ")";
            r.type = d;
            return r;
        }
        char op = '+';
        switch (e.op) {
            case Op::Sub:
                op = '-';
                break;
            case Op::Mul:
                op = '*';
                break;
            case Op::Div:
                op = '/';
                break;
            case Op::Mod:
                op = '%';
                break;
            default:
                break;
        }
        // A text operand takes the number's type (the server's precedence);
        // two texts are read as floats.
        if (a.type.IsText() && b.type.IsNumeric()) a = ConvertTo(std::move(a), b.type, false);
        if (b.type.IsText() && a.type.IsNumeric()) b = ConvertTo(std::move(b), a.type, false);
        TypeSpec ta = IsUnknown(a.type) ? b.type : a.type;
        TypeSpec tb = IsUnknown(b.type) ? a.type : b.type;
        if (!ta.IsNumeric() && !tb.IsNumeric() && !IsUnknown(ta)) {
            ta = tb = Make(TypeKind::Float);
            a = ConvertTo(std::move(a), ta, false);
            b = ConvertTo(std::move(b), tb, false);
        }
        TypeSpec t = ArithmeticType(op, ta, tb);
        if (t.kind == TypeKind::Bit) t = Make(TypeKind::Int);
        r.type = t;
        const bool approx = t.kind == TypeKind::Float || t.kind == TypeKind::Real;
        if (op == '%' && approx) {
            Fail("The data types " + TypeName(ta) + " and " + TypeName(tb) +
                 " are incompatible in the modulo operator.");
        }
        if (IsUnknown(t)) {
            r.sql = "NULL";
            return r;
        }
        auto apply = [&](const std::string& x, const std::string& y) {
            if (op == '/' || op == '%') return "(" + x + op + "xr_nonzero(" + y + "))";
            return "(" + x + op + y + ")";
        };
        const bool narrow = t.kind == TypeKind::TinyInt || t.kind == TypeKind::SmallInt;
        if (approx || (t.IsInteger() && !narrow)) {
            a = ConvertTo(std::move(a), t, false);
            b = ConvertTo(std::move(b), t, false);
            r.sql = apply(a.sql, b.sql);
            return r;
        }
        // MONEY and DECIMAL: kept as integers scaled by 10^scale, so SQLite's
        // integer arithmetic serves where it is exact; the rest (rounding,
        // division, reals) goes through xr_arith, as do TINYINT and SMALLINT
        // results, which overflow long before SQLite's integers do.
        auto scaled = [](const TypeSpec& x) {
            return (x.IsInteger() || x.IsScaled()) && !IsUnknown(x);
        };
        auto scaleOf = [](const TypeSpec& x) { return x.IsScaled() ? int{x.scale} : 0; };
        auto rescaled = [&](const RExpr& x, int by) {
            return by == 0 ? x.sql : "(" + x.sql + "*" + std::to_string(Pow10(by)) + ")";
        };
        if (t.IsScaled() && scaled(ta) && scaled(tb)) {
            const int sa = scaleOf(ta), sb = scaleOf(tb), st = t.scale;
            if ((op == '+' || op == '-' || op == '%') && sa <= st && sb <= st) {
                r.sql = apply(rescaled(a, st - sa), rescaled(b, st - sb));
                return r;
            }
            if (op == '*' && sa + sb == st) {
                r.sql = apply(a.sql, b.sql);
                return r;
            }
            if (op == '/' && sa == st && tb.IsInteger()) {
                // Money by a whole number: SQLite's integer division cuts as the server does.
                r.sql = apply(a.sql, b.sql);
                return r;
            }
        }
        r.sql = "xr_arith(" + std::to_string(static_cast<int>(op)) + "," + a.sql + "," +
                std::to_string(ta.Code()) + "," + b.sql + "," + std::to_string(tb.Code()) + "," +
                std::to_string(t.Code()) + ")";
        return r;
    }

    RExpr Case(const Expr& e, const Scope& scope) {
        // args: [operand or null-literal placeholder], then WHEN/THEN pairs, then ELSE.
        size_t n = e.args.size();
        size_t pairsEnd = e.hasElse ? n - 1 : n;
        const Expr* operand = e.args.at(0).get();
        std::vector<RExpr> results;
        std::vector<std::string> whens;
        RExpr op;
        bool simple = operand != nullptr;
        if (simple) op = Value(*operand, scope);
        for (size_t i = 1; i + 1 < pairsEnd + 1 && i + 1 <= pairsEnd; i += 2) {
            if (simple) {
                RExpr w = Value(*e.args[i], scope);
                auto [x, y] = Unify(op, std::move(w));
                whens.push_back("(" + x.sql + " = " + y.sql +
                                (x.type.IsText() ? " COLLATE TSQL)" : ")"));
            } else {
                whens.push_back(Predicate(*e.args[i], scope));
            }
            results.push_back(Value(*e.args[i + 1], scope));
        }
        if (e.hasElse) results.push_back(Value(*e.args[n - 1], scope));
        TypeSpec t;
        for (const RExpr& r : results)
            t = IsUnknown(t) ? r.type : IsUnknown(r.type) ? t : CommonType(t, r.type);
        std::string sql = "(CASE";
        for (size_t i = 0; i < whens.size(); ++i) {
            sql += " WHEN " + whens[i] + " THEN " + ConvertTo(results[i], t, false).sql;
        }
        if (e.hasElse) sql += " ELSE " + ConvertTo(results.back(), t, false).sql;
        sql += " END)";
        RExpr r;
        r.sql = sql;
        r.type = t;
        return r;
    }

    RExpr Function(const Expr& e, const Scope& scope);

    RenderContext& m_ctx;
    Plan& m_plan;
    bool m_inline;           // constants written into the SQL (index filters)
    bool m_markTop = false;  // the next query rendered is the plan's outermost
};

std::string DatePartName(const Expr& e) {
    if (e.kind == ExprKind::Column && e.qualifier.empty()) return ToLower(e.name);
    if (e.kind == ExprKind::Literal && e.literal == LiteralKind::String) return ToLower(e.text);
    Fail("Invalid parameter 1 specified for datepart.");
}

RExpr Renderer::Function(const Expr& e, const Scope& scope) {
    std::string name = ToUpper(e.name);
    auto arity = [&](size_t lo, size_t hi) {
        if (e.args.size() < lo || e.args.size() > hi) {
            Fail("The " + name + " function requires " + std::to_string(lo) + " argument(s).");
        }
    };
    auto arg = [&](size_t i) { return Value(*e.args.at(i), scope); };
    auto text = [&](size_t i) { return ConvertTo(arg(i), Make(TypeKind::VarChar, 8000), false); };
    auto number = [&](size_t i, TypeKind k) { return ConvertTo(arg(i), Make(k), false); };
    RExpr r;
    if (name == "COUNT" || name == "COUNT_BIG") {
        arity(1, 1);
        if (e.args[0]->kind == ExprKind::Star)
            r.sql = "count(*)";
        else
            r.sql = std::string("count(") + (e.distinct ? "DISTINCT " : "") + arg(0).sql + ")";
        r.type = Make(name == "COUNT" ? TypeKind::Int : TypeKind::BigInt);
        return r;
    }
    if (name == "SUM" || name == "MIN" || name == "MAX" || name == "AVG") {
        arity(1, 1);
        RExpr a = arg(0);
        std::string d = e.distinct ? "DISTINCT " : "";
        if (name == "AVG") {
            if (a.type.IsScaled()) a = ConvertTo(std::move(a), Make(TypeKind::Float), false);
            r.sql = "avg(" + d + a.sql + ")";
            r.type = a.type.IsInteger() ? Make(TypeKind::Int) : Make(TypeKind::Float);
            if (a.type.IsInteger()) r.sql = "CAST(" + r.sql + " AS INTEGER)";
            return r;
        }
        if (name == "SUM") {
            r.sql = "sum(" + d + a.sql + ")";
            r.type = a.type;
            if (a.type.IsInteger() && a.type.kind != TypeKind::BigInt) r.type = Make(TypeKind::Int);
            if (a.type.kind == TypeKind::Decimal) r.type.precision = 38;
            return r;
        }
        std::string coll = a.type.IsText() ? " COLLATE TSQL" : "";
        r.sql = ToLower(name) + "(" + a.sql + coll + ")";
        r.type = a.type;
        return r;
    }
    if (name == "ISNULL") {
        arity(2, 2);
        RExpr a = arg(0);
        RExpr b = ConvertTo(arg(1), a.type, false);
        r.sql = "ifnull(" + a.sql + "," + b.sql + ")";
        r.type = IsUnknown(a.type) ? b.type : a.type;
        return r;
    }
    if (name == "COALESCE") {
        if (e.args.empty()) arity(1, 1);
        std::vector<RExpr> xs;
        TypeSpec t;
        for (size_t i = 0; i < e.args.size(); ++i) {
            xs.push_back(arg(i));
            t = IsUnknown(t)                ? xs.back().type
                : IsUnknown(xs.back().type) ? t
                                            : CommonType(t, xs.back().type);
        }
        r.sql = "coalesce(";
        for (size_t i = 0; i < xs.size(); ++i)
            r.sql += (i ? "," : "") + ConvertTo(xs[i], t, false).sql;
        r.sql += xs.size() == 1 ? ",NULL)" : ")";
        r.type = t;
        return r;
    }
    if (name == "NULLIF") {
        arity(2, 2);
        auto [a, b] = Unify(arg(0), arg(1));
        r.sql = "nullif(" + a.sql + "," + b.sql + ")";
        r.type = a.type;
        return r;
    }
    if (name == "LEN") {
        arity(1, 1);
        r.sql = "xr_len(" + text(0).sql + ")";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "DATALENGTH") {
        arity(1, 1);
        r.sql = "length(CAST(" + arg(0).sql + " AS BLOB))";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "UPPER" || name == "LOWER" || name == "LTRIM" || name == "RTRIM") {
        arity(1, 1);
        RExpr a = text(0);
        std::string f = ToLower(name);
        if (name == "LTRIM")
            r.sql = "ltrim(" + a.sql + ",' ')";
        else if (name == "RTRIM")
            r.sql = "rtrim(" + a.sql + ",' ')";
        else
            r.sql = f + "(" + a.sql + ")";
        r.type = Make(TypeKind::VarChar, 8000);
        return r;
    }
    if (name == "SUBSTRING") {
        arity(3, 3);
        r.sql = "substr(" + text(0).sql + "," + number(1, TypeKind::BigInt).sql + "," +
                number(2, TypeKind::BigInt).sql + ")";
        r.type = Make(TypeKind::VarChar, 8000);
        return r;
    }
    if (name == "LEFT" || name == "RIGHT") {
        arity(2, 2);
        RExpr a = text(0);
        RExpr n = number(1, TypeKind::BigInt);
        r.sql = name == "LEFT" ? "substr(" + a.sql + ",1," + n.sql + ")"
                               : "xr_right(" + a.sql + "," + n.sql + ")";
        r.type = Make(TypeKind::VarChar, 8000);
        return r;
    }
    if (name == "REPLACE") {
        arity(3, 3);
        r.sql = "replace(" + text(0).sql + "," + text(1).sql + "," + text(2).sql + ")";
        r.type = Make(TypeKind::VarChar, 8000);
        return r;
    }
    if (name == "CHARINDEX") {
        arity(2, 3);
        r.sql = "instr(lower(" + text(1).sql + "),lower(" + text(0).sql + "))";
        r.type = Make(TypeKind::Int);
        if (e.args.size() == 3) {
            Fail("CHARINDEX with a start position is not supported.");
        }
        return r;
    }
    if (name == "ABS" || name == "SIGN") {
        arity(1, 1);
        RExpr a = arg(0);
        r.sql = ToLower(name) + "(" + a.sql + ")";
        if (name == "SIGN")
            r.sql = "(CASE WHEN " + a.sql + ">0 THEN 1 WHEN " + a.sql + "<0 THEN -1 ELSE 0 END)";
        r.type = a.type;
        return r;
    }
    if (name == "ROUND") {
        arity(2, 3);
        RExpr a = ConvertTo(arg(0), Make(TypeKind::Float), false);
        r.sql = "round(" + a.sql + "," + number(1, TypeKind::Int).sql + ")";
        r.type = Make(TypeKind::Float);
        return r;
    }
    if (name == "FLOOR" || name == "CEILING") {
        arity(1, 1);
        RExpr a = ConvertTo(arg(0), Make(TypeKind::Float), false);
        r.sql =
            std::string("CAST(") + (name == "FLOOR" ? "floor(" : "ceil(") + a.sql + ") AS INTEGER)";
        r.type = Make(TypeKind::BigInt);
        return r;
    }
    if (name == "GETDATE" || name == "CURRENT_TIMESTAMP" || name == "GETUTCDATE") {
        arity(0, 0);
        r.sql = name == "GETUTCDATE" ? "xr_getutcdate()" : "xr_getdate()";
        r.type = Make(TypeKind::DateTime);
        return r;
    }
    if (name == "YEAR" || name == "MONTH" || name == "DAY") {
        arity(1, 1);
        RExpr d = ConvertTo(arg(0), Make(TypeKind::DateTime), false);
        r.sql = "xr_datepart('" + ToLower(name) + "'," + d.sql + ")";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "DATEPART") {
        arity(2, 2);
        std::string part = DatePartName(*e.args[0]);
        RExpr d = ConvertTo(arg(1), Make(TypeKind::DateTime), false);
        r.sql = "xr_datepart('" + part + "'," + d.sql + ")";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "DATEADD") {
        arity(3, 3);
        std::string part = DatePartName(*e.args[0]);
        RExpr n = number(1, TypeKind::BigInt);
        RExpr d = ConvertTo(arg(2), Make(TypeKind::DateTime), false);
        r.sql = "xr_dateadd('" + part + "'," + n.sql + "," + d.sql + ")";
        r.type = Make(TypeKind::DateTime);
        return r;
    }
    if (name == "DATEDIFF") {
        arity(3, 3);
        std::string part = DatePartName(*e.args[0]);
        RExpr a = ConvertTo(arg(1), Make(TypeKind::DateTime), false);
        RExpr b = ConvertTo(arg(2), Make(TypeKind::DateTime), false);
        r.sql = "xr_datediff('" + part + "'," + a.sql + "," + b.sql + ")";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "IDENT_CURRENT") {
        arity(1, 1);
        r.sql = "xr_ident_current(" + text(0).sql + ")";
        r.type = Make(TypeKind::Decimal, 0, 38, 0);
        r.type = Make(TypeKind::BigInt);
        return r;
    }
    if (name == "OBJECT_ID") {
        arity(1, 2);
        r.sql = "xr_object_id(" + text(0).sql + ")";
        r.type = Make(TypeKind::Int);
        return r;
    }
    if (name == "OBJECT_NAME") {
        arity(1, 1);
        r.sql = "xr_object_name(" + number(0, TypeKind::Int).sql + ")";
        r.type = Make(TypeKind::VarChar, 128);
        return r;
    }
    if (name == "SCOPE_IDENTITY") {
        arity(0, 0);
        Expr v;
        v.kind = ExprKind::Variable;
        v.name = "@@IDENTITY";
        return Variable(v);
    }
    if (name == "DB_NAME") {
        arity(0, 0);
        Expr v;
        v.kind = ExprKind::Variable;
        v.name = "@@DB_NAME";
        return Variable(v);
    }
    if (name == "STR") {
        arity(1, 1);
        r.sql = "printf('%10d'," + number(0, TypeKind::BigInt).sql + ")";
        r.type = Make(TypeKind::VarChar, 10);
        return r;
    }
    Fail("'" + e.name + "' is not a recognized built-in function name.");
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

TypeSpec LiteralType(const Expr& lit) {
    switch (lit.literal) {
        case LiteralKind::Null:
            return {};
        case LiteralKind::Integer: {
            errno = 0;
            char* end = nullptr;
            unsigned long long v = std::strtoull(lit.text.c_str(), &end, 10);
            if (errno == 0 && v <= 2147483647ULL) return Make(TypeKind::Int);
            if (errno == 0 && v <= 9223372036854775807ULL) return Make(TypeKind::BigInt);
            uint8_t p = static_cast<uint8_t>(std::min<size_t>(38, lit.text.size()));
            return Make(TypeKind::Decimal, 0, p, 0);
        }
        case LiteralKind::Decimal: {
            size_t dot = lit.text.find('.');
            size_t digits = 0, scale = 0;
            bool lead = true;
            for (size_t i = 0; i < lit.text.size(); ++i) {
                char c = lit.text[i];
                if (c < '0' || c > '9') continue;
                if (lead && c == '0' && (dot == std::string::npos || i < dot)) continue;
                lead = false;
                ++digits;
                if (dot != std::string::npos && i > dot) ++scale;
            }
            if (dot != std::string::npos) scale = lit.text.size() - dot - 1;
            size_t p = std::max<size_t>(std::max(digits, scale), 1);
            return Make(TypeKind::Decimal, 0, static_cast<uint8_t>(std::min<size_t>(38, p)),
                        static_cast<uint8_t>(std::min<size_t>(38, scale)));
        }
        case LiteralKind::Float:
            return Make(TypeKind::Float, 0, 53);
        case LiteralKind::Money:
            return Make(TypeKind::Money, 0, 19, 4);
        case LiteralKind::String:
            return Make(TypeKind::VarChar,
                        std::max<int32_t>(1, static_cast<int32_t>(lit.text.size())));
        case LiteralKind::Hex:
            return Make(TypeKind::VarBinary,
                        std::max<int32_t>(1, static_cast<int32_t>((lit.text.size() + 1) / 2)));
    }
    return {};
}

Value LiteralValue(const Expr& lit) {
    switch (lit.literal) {
        case LiteralKind::Null:
            return Value::Null();
        case LiteralKind::Integer: {
            TypeSpec t = LiteralType(lit);
            if (t.kind == TypeKind::Decimal)
                return Value::Real(std::strtod(lit.text.c_str(), nullptr));
            return Value::Int(static_cast<int64_t>(std::strtoull(lit.text.c_str(), nullptr, 10)));
        }
        case LiteralKind::Decimal: {
            TypeSpec t = LiteralType(lit);
            if (!t.IsScaled()) return Value::Real(std::strtod(lit.text.c_str(), nullptr));
            int64_t v = 0;
            for (char c : lit.text) {
                if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
            }
            return Value::Int(v);
        }
        case LiteralKind::Float:
            return Value::Real(std::strtod(lit.text.c_str(), nullptr));
        case LiteralKind::Money: {
            Value v = Value::Text(lit.text);
            return Convert(v, Make(TypeKind::VarChar, static_cast<int32_t>(lit.text.size())),
                           Make(TypeKind::Money, 0, 19, 4));
        }
        case LiteralKind::String:
            return Value::Text(lit.text);
        case LiteralKind::Hex: {
            std::string hex = lit.text;
            if (hex.size() % 2) hex.insert(hex.begin(), '0');
            std::string bytes;
            bytes.reserve(hex.size() / 2);
            auto nib = [](char c) -> int {
                if (c >= '0' && c <= '9') return c - '0';
                if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                return 0;
            };
            for (size_t i = 0; i < hex.size(); i += 2) {
                bytes += static_cast<char>(nib(hex[i]) * 16 + nib(hex[i + 1]));
            }
            return Value::Blob(std::move(bytes));
        }
    }
    return Value::Null();
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

namespace {

struct Target {
    std::string schema;
    const TableDef* table = nullptr;
};

Target ResolveTarget(const ObjectName& name, RenderContext& ctx) {
    Target t;
    t.schema = name.db.empty() ? ctx.CurrentSchema() : ctx.SchemaFor(name.db);
    t.table = ctx.FindTable(t.schema, name.name);
    if (!t.table) FailNoTable(WrittenName(name));
    return t;
}

Scope TargetScope(const Target& t, const std::string& alias) {
    Scope scope;
    Source src;
    src.table = t.table;
    src.alias = alias.empty() ? t.table->name : alias;
    src.explicitAlias = !alias.empty();
    scope.sources.push_back(std::move(src));
    return scope;
}

// The table an UPDATE or DELETE changes, bound against its FROM as the
// server binds it: a source of the FROM exposed under the target's name is
// the target; else the one reference to the target's table (the unaliased
// one when there are several); else the target joins the FROM as one more
// table, exposed under its own name.
struct Bound {
    Target target;
    Scope scope;         // the names SET and WHERE see
    std::string from;    // the FROM rendered; empty without one
    std::string alias;   // the name the rendered statement gives the target
    std::string inFrom;  // the target's name in `from` when the FROM holds it
    bool explicitAlias = false;
};

Bound BindTarget(const Stmt& stmt, Renderer& r, RenderContext& ctx) {
    Bound b;
    if (stmt.from.empty()) {
        b.target = ResolveTarget(stmt.table, ctx);
        b.scope = TargetScope(b.target, "");
        b.alias = b.target.table->name;
        return b;
    }
    Scope from;
    for (const TableRefPtr& ref : stmt.from) {
        if (!b.from.empty()) b.from += ",";
        b.from += r.TableRefSql(*ref, from);
    }
    const Source* hit = nullptr;
    if (stmt.table.db.empty() && stmt.table.schema.empty()) {
        for (const Source& s : from.sources) {
            if (IEquals(s.alias, stmt.table.name)) hit = &s;
        }
        if (hit && !hit->table) FailNoTable(stmt.table.name);
    }
    if (hit) {
        b.target.schema = hit->schema;
        b.target.table = hit->table;
    } else {
        b.target = ResolveTarget(stmt.table, ctx);
        int refs = 0, unaliased = 0;
        const Source* bare = nullptr;
        for (const Source& s : from.sources) {
            if (s.table != b.target.table || s.schema != b.target.schema) continue;
            ++refs;
            hit = &s;
            if (!s.explicitAlias) {
                ++unaliased;
                bare = &s;
            }
        }
        if (refs > 1) {
            if (unaliased != 1) Fail("The table '" + stmt.table.name + "' is ambiguous.");
            hit = bare;
        }
    }
    if (hit) {
        b.inFrom = hit->alias;
        b.explicitAlias = hit->explicitAlias;
        // The FROM's names stay inside the query the target is matched with.
        b.alias = "xr_target";
        b.scope = std::move(from);
        return b;
    }
    b.scope = TargetScope(b.target, "");
    b.alias = b.target.table->name;
    for (Source& s : from.sources) b.scope.sources.push_back(std::move(s));
    return b;
}

// Whether `qualifier` (of a SET column) names the target.
bool NamesTarget(const Bound& b, const std::string& qualifier) {
    std::string q = LastPart(qualifier);
    if (b.inFrom.empty()) return IEquals(q, b.alias);
    return IEquals(q, b.inFrom) || (!b.explicitAlias && IEquals(q, b.target.table->name));
}

}  // namespace

Plan RenderSelect(const SelectStmt& select, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    r.MarkTop();
    plan.sql = r.SelectSql(select, nullptr, &plan.columns, nullptr);
    return plan;
}

Plan RenderInsert(const Stmt& stmt, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    Target t = ResolveTarget(stmt.table, ctx);
    const TableDef& def = *t.table;
    const ColumnDef* identity = def.IdentityColumn();
    bool identityOn = identity && ctx.IdentityInsertOn(t.schema, def.name);
    std::vector<const ColumnDef*> cols;
    if (stmt.columns.empty()) {
        if (identityOn && !stmt.defaultValues) {
            Fail("An explicit value for the identity column in table '" + def.name +
                 "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
        }
        for (const ColumnDef& c : def.columns) {
            if (!c.identity) cols.push_back(&c);
        }
    } else {
        for (const std::string& name : stmt.columns) {
            const ColumnDef* c = def.FindColumn(name);
            if (!c) Fail("Invalid column name '" + name + "'.");
            for (const ColumnDef* other : cols) {
                if (other == c) {
                    Fail(
                        "The column name '" + c->name +
                        "' is specified more than once in the SET "
                        "clause or column list of an INSERT. A column cannot be assigned more than "
                        "one value in the same clause. Modify the clause to make sure that a "
                        "column "
                        "is updated only once. If this statement updates or inserts columns into a "
                        "view, column aliasing can conceal the duplication in your code.");
                }
            }
            cols.push_back(c);
        }
        bool hasIdentity = false;
        for (const ColumnDef* c : cols) hasIdentity |= c->identity;
        if (hasIdentity && !identityOn) {
            Fail("Cannot insert explicit value for identity column in table '" + def.name +
                 "' when IDENTITY_INSERT is set to OFF.");
        }
        if (identityOn && !hasIdentity) {
            Fail("Explicit value must be specified for identity column in table '" + def.name +
                 "' either when IDENTITY_INSERT is set to ON or when a replication user is "
                 "inserting into a NOT FOR REPLICATION identity column.");
        }
    }
    std::string sql = "INSERT INTO " + QuoteIdent(t.schema) + "." + QuoteIdent(def.name);
    if (stmt.defaultValues) {
        if (identityOn) {
            Fail("Explicit value must be specified for identity column in table '" + def.name +
                 "' either when IDENTITY_INSERT is set to ON or when a replication user is "
                 "inserting into a NOT FOR REPLICATION identity column.");
        }
        plan.sql = sql + " DEFAULT VALUES";
        plan.setsIdentity = identity != nullptr;
        return plan;
    }
    sql += " (";
    for (size_t i = 0; i < cols.size(); ++i) sql += (i ? "," : "") + QuoteIdent(cols[i]->name);
    sql += ")";
    if (stmt.select) {
        std::vector<TypeSpec> targets;
        for (const ColumnDef* c : cols) targets.push_back(c->type);
        sql += " " + r.SelectSql(*stmt.select, nullptr, nullptr, &targets);
    } else {
        Scope empty;
        sql += " VALUES ";
        for (size_t row = 0; row < stmt.values.size(); ++row) {
            const auto& values = stmt.values[row];
            if (values.size() != cols.size()) {
                if (stmt.columns.empty()) {
                    Fail(
                        "Column name or number of supplied values does not match table "
                        "definition.");
                }
                if (values.size() < cols.size()) {
                    Fail(
                        "There are more columns in the INSERT statement than values specified in "
                        "the VALUES clause. The number of values in the VALUES clause must match "
                        "the number of columns specified in the INSERT statement.");
                }
                Fail(
                    "There are fewer columns in the INSERT statement than values specified in the "
                    "VALUES clause. The number of values in the VALUES clause must match the "
                    "number "
                    "of columns specified in the INSERT statement.");
            }
            sql += row ? ",(" : "(";
            for (size_t i = 0; i < values.size(); ++i) {
                RExpr v = r.ConvertTo(r.Value(*values[i], empty), cols[i]->type, true);
                sql += (i ? "," : "") + v.sql;
            }
            sql += ")";
        }
    }
    plan.sql = std::move(sql);
    plan.setsIdentity = identity != nullptr;
    return plan;
}

Plan RenderUpdate(const Stmt& stmt, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    Bound b = BindTarget(stmt, r, ctx);
    const TableDef& def = *b.target.table;
    std::vector<std::pair<const ColumnDef*, std::string>> sets;
    for (size_t i = 0; i < stmt.sets.size(); ++i) {
        const auto& [name, expr] = stmt.sets[i];
        const std::string& qualifier =
            i < stmt.setQualifiers.size() ? stmt.setQualifiers[i] : std::string();
        if (!qualifier.empty() && !NamesTarget(b, qualifier)) {
            Fail("The multi-part identifier \"" + qualifier + "." + name +
                 "\" could not be bound.");
        }
        const ColumnDef* c = def.FindColumn(name);
        if (!c) Fail("Invalid column name '" + name + "'.");
        if (c->identity) Fail("Cannot update identity column '" + c->name + "'.");
        sets.emplace_back(c, r.ConvertTo(r.Value(*expr, b.scope), c->type, true).sql);
    }
    std::string where = stmt.where ? r.Predicate(*stmt.where, b.scope) : std::string();
    std::string sql = "UPDATE " + QuoteIdent(b.target.schema) + "." + QuoteIdent(def.name) +
                      " AS " + QuoteIdent(b.alias) + " SET ";
    if (b.inFrom.empty()) {
        for (size_t i = 0; i < sets.size(); ++i)
            sql += (i ? "," : "") + QuoteIdent(sets[i].first->name) + "=" + sets[i].second;
        if (!b.from.empty()) sql += " FROM " + b.from;
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // The FROM holds the target. SQLite's UPDATE ... FROM hides the row
        // ids of the FROM's tables, so the FROM becomes a query that hands
        // out the target's row id with the new values, worked out over the
        // FROM's rows; each target row takes one of the rows naming it.
        std::string values;
        for (size_t i = 0; i < sets.size(); ++i) {
            sql += (i ? "," : "") + QuoteIdent(sets[i].first->name) + "=\"xr_from\".\"xr_v" +
                   std::to_string(i) + "\"";
            values += "," + sets[i].second + " AS \"xr_v" + std::to_string(i) + "\"";
        }
        sql += " FROM (SELECT " + QuoteIdent(b.inFrom) + ".rowid AS \"xr_rowid\"" + values +
               " FROM " + b.from;
        if (!where.empty()) sql += " WHERE " + where;
        sql += ") AS \"xr_from\" WHERE " + QuoteIdent(b.alias) + ".rowid=\"xr_from\".\"xr_rowid\"";
    }
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderDelete(const Stmt& stmt, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    Bound b = BindTarget(stmt, r, ctx);
    std::string where = stmt.where ? r.Predicate(*stmt.where, b.scope) : std::string();
    std::string table = QuoteIdent(b.target.schema) + "." + QuoteIdent(b.target.table->name);
    std::string sql = "DELETE FROM " + table;
    if (b.from.empty()) {
        sql += " AS " + QuoteIdent(b.alias);
        if (!where.empty()) sql += " WHERE " + where;
    } else {
        // SQLite's DELETE has no FROM of its own: the rows go by the row ids
        // the FROM (with the target in it) finds.
        std::string from = b.from;
        std::string owner = b.inFrom;
        if (owner.empty()) {
            owner = b.alias;
            from = table + " AS " + QuoteIdent(owner) + "," + from;
        }
        sql += " WHERE rowid IN (SELECT " + QuoteIdent(owner) + ".rowid FROM " + from;
        if (!where.empty()) sql += " WHERE " + where;
        sql += ")";
    }
    plan.sql = std::move(sql);
    return plan;
}

Plan RenderScalar(const Expr& expr, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    Scope empty;
    RExpr v = r.Value(expr, empty);
    plan.sql = "SELECT " + v.sql;
    OutColumn c;
    c.type = v.type;
    plan.columns.push_back(std::move(c));
    return plan;
}

Plan RenderCondition(const Expr& condition, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan);
    Scope empty;
    plan.sql = "SELECT CASE WHEN " + r.Predicate(condition, empty) + " THEN 1 ELSE 0 END";
    OutColumn c;
    c.type = Make(TypeKind::Int);
    plan.columns.push_back(std::move(c));
    return plan;
}

std::string RenderIndexFilter(const Expr& condition, const TableDef& table, RenderContext& ctx) {
    Plan plan;
    Renderer r(ctx, plan, true);
    Scope scope;
    Source src;
    src.table = &table;
    src.alias = table.name;
    scope.sources.push_back(std::move(src));
    std::string sql = r.Predicate(condition, scope);
    // A partial index may only name the table's own columns, unqualified.
    std::string prefix = QuoteIdent(table.name) + ".";
    for (size_t p; (p = sql.find(prefix)) != std::string::npos;) sql.erase(p, prefix.size());
    if (!plan.slots.empty())
        Fail("A filtered index condition may hold only columns and constants.");
    return sql;
}

}  // namespace xr::engine::sqlite
