#include "tsql/binder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>

#include "platform/error.h"
#include "platform/text.h"

namespace xr::tsql {

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

// A table or view that does not exist: the provider reports it as DB_E_NOTABLE.
[[noreturn]] void FailNoTable(const std::string& written) {
    if (!written.empty() && written[0] == '@')
        throw ComError(DB_E_ERRORSINCOMMAND,
                       "Must declare the table variable \"" + written + "\".");
    throw ComError(DB_E_NOTABLE, "Invalid object name '" + written + "'.");
}

bool IsUnknown(const TypeSpec& t) { return t.kind == TypeKind::Unknown; }

// A type exactly as given (no defaults filled in): the codes of these types
// are what conversions and results carry.
TypeSpec Raw(TypeKind k, int32_t length = 0, uint8_t precision = 0, uint8_t scale = 0) {
    TypeSpec t;
    t.kind = k;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
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

// Whether a constant of type `c` may be converted to the column type `t`
// for comparing without changing the result.
bool Fits(const TypeSpec& c, const TypeSpec& t) {
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

std::string TypeName(const TypeSpec& t) {
    std::string s = ToLower(t.ToString());
    size_t p = s.find('(');
    s = p == std::string::npos ? s : s.substr(0, p);
    return s == "integer" ? "int" : s;
}

std::string OpText(const Expr& e) {
    if (const char* text = OperatorText(e.op)) return text;
    return e.name.empty() ? "expression" : e.name;
}

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

// The name a table is looked up by: the views of INFORMATION_SCHEMA keep
// their owner's name ("INFORMATION_SCHEMA.COLUMNS"); other owners are dbo.
std::string LookupName(const ObjectName& n) {
    if (IEquals(n.schema, "INFORMATION_SCHEMA")) return "INFORMATION_SCHEMA." + n.name;
    if (IEquals(n.schema, "sys")) return "sys." + n.name;
    return n.name;
}

std::string DatePartName(const Expr& e) {
    if (e.kind == ExprKind::Column && e.qualifier.empty()) return ToLower(e.name);
    if (e.kind == ExprKind::Literal && e.literal == LiteralKind::String) return ToLower(e.text);
    Fail("Invalid parameter 1 specified for datepart.");
}

BoundExprPtr Node(BoundKind kind, const TypeSpec& type = {}) {
    auto e = std::make_unique<BoundExpr>();
    e->kind = kind;
    e->type = type;
    return e;
}

BoundExprPtr PredicateNode(BoundKind kind) {
    BoundExprPtr e = Node(kind);
    e->predicate = true;
    return e;
}

// The names a query sees: its FROM's sources, then the enclosing queries'.
struct Scope {
    std::vector<const BoundSource*> sources;
    const Scope* outer = nullptr;
};

class Binder {
public:
    Binder(BindCatalog& catalog, BoundStatement& out, bool inlineConstants = false)
        : m_catalog(catalog), m_out(out), m_inline(inlineConstants) {}

    // ---- expressions ------------------------------------------------------

    BoundExprPtr Value(const Expr& e, const Scope& scope) {
        BoundExprPtr r = Bind(e, scope);
        if (r->predicate) Fail("Incorrect syntax near '" + OpText(e) + "'.");
        return r;
    }

    BoundExprPtr Predicate(const Expr& e, const Scope& scope) {
        BoundExprPtr r = Bind(e, scope);
        if (!r->predicate) {
            Fail(
                "An expression of non-boolean type specified in a context where a condition is "
                "expected.");
        }
        return r;
    }

    BoundExprPtr ConvertTo(BoundExprPtr e, const TypeSpec& to, bool storing) {
        if (e->param >= 0) {
            // A parameter converts once, when it is bound: the last
            // conversion asked of it is the one it gets.
            BoundParam& p = m_out.params[static_cast<size_t>(e->param)];
            p.convert = true;
            p.storing = storing;
            p.target = to;
            if (e->kind == BoundKind::Convert && e->atBind && !e->explicitCast) {
                e->type = to;
                e->storing = storing;
                return e;
            }
            BoundExprPtr c = Node(BoundKind::Convert, to);
            c->atBind = true;
            c->path = ConvertPath::Full;
            c->storing = storing;
            c->param = e->param;
            c->args.push_back(std::move(e));
            return c;
        }
        if (IsUnknown(e->type)) {
            // Only NULL has no type: it is NULL of any type.
            e->type = to;
            return e;
        }
        if (e->type == to && !(storing && to.IsText())) return e;
        BoundExprPtr c = Node(BoundKind::Convert, to);
        c->path = ConversionPath(e->type, to, storing);
        c->storing = storing;
        if (c->path != ConvertPath::Full) KeepOrigin(*c, *e);
        c->args.push_back(std::move(e));
        return c;
    }

    // The same stored value seen as a wider type (INT as BIGINT): no
    // conversion is done, and a parameter stays one.
    BoundExprPtr Widen(BoundExprPtr e, const TypeSpec& to) {
        if (e->type == to) return e;
        BoundExprPtr c = Node(BoundKind::Convert, to);
        c->path = ConvertPath::Same;
        c->param = e->param;
        KeepOrigin(*c, *e);
        c->args.push_back(std::move(e));
        return c;
    }

    static void KeepOrigin(BoundExpr& to, const BoundExpr& from) {
        to.origin = from.origin;
        to.originTable = from.originTable;
        to.derivedOrigin = from.derivedOrigin;
        to.nullable = from.nullable;
    }

    // Brings two operands to one type: a constant takes the other side's type
    // when it can (so a key column is compared as it is stored, and its index
    // serves); otherwise both go to the server's common type. With `changeA`
    // false, `a` stays as it is (it is compared again), though a parameter
    // still takes the conversion.
    void Unify(BoundExprPtr& a, BoundExprPtr& b, bool changeA = true) {
        auto convertA = [&](const TypeSpec& t) {
            if (changeA) {
                a = ConvertTo(std::move(a), t, false);
            } else if (a->param >= 0) {
                BoundParam& p = m_out.params[static_cast<size_t>(a->param)];
                p.convert = true;
                p.storing = false;
                p.target = t;
            }
        };
        if (IsUnknown(a->type) && IsUnknown(b->type)) return;
        if (IsUnknown(a->type)) {
            if (changeA) a->type = b->type;
            return;
        }
        if (IsUnknown(b->type)) {
            b->type = a->type;
            return;
        }
        if (b->param >= 0 && a->param < 0 && Fits(b->type, a->type)) {
            b = ConvertTo(std::move(b), a->type, false);
            return;
        }
        if (a->param >= 0 && b->param < 0 && Fits(a->type, b->type)) {
            convertA(b->type);
            return;
        }
        if (SameStorage(a->type, b->type)) {
            if (a->type.IsInteger() && IntegerRank(b->type.kind) > IntegerRank(a->type.kind)) {
                if (changeA) a = Widen(std::move(a), b->type);
            } else if (b->type.IsInteger()) {
                b = Widen(std::move(b), a->type);
            }
            return;
        }
        TypeSpec t = CommonType(a->type, b->type);
        convertA(t);
        b = ConvertTo(std::move(b), t, false);
    }

    BoundExprPtr Bind(const Expr& e, const Scope& scope) {
        switch (e.kind) {
            case ExprKind::Literal:
                return Literal(e);
            case ExprKind::Variable:
                return Variable(e.name);
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
            case ExprKind::Cast:
                return Cast(e, scope);
            case ExprKind::Subquery: {
                BoundExprPtr r = Node(BoundKind::Subquery);
                r->query = Query(*e.select, &scope, nullptr);
                if (r->query->Items().size() != 1) {
                    Fail(
                        "Only one expression can be specified in the select list when the "
                        "subquery is not introduced with EXISTS.");
                }
                r->type = r->query->Items()[0].column.type;
                return r;
            }
            case ExprKind::Exists: {
                BoundExprPtr r = PredicateNode(BoundKind::Exists);
                r->query = Query(*e.select, &scope, nullptr);
                return r;
            }
            case ExprKind::InList: {
                BoundExprPtr r = PredicateNode(BoundKind::InList);
                r->negated = e.negated;
                BoundExprPtr a = Value(*e.args.at(0), scope);
                std::vector<BoundExprPtr> items;
                for (size_t i = 1; i < e.args.size(); ++i) {
                    BoundExprPtr b = Value(*e.args[i], scope);
                    Unify(a, b, i == 1);
                    items.push_back(std::move(b));
                }
                r->args.push_back(std::move(a));
                for (BoundExprPtr& b : items) r->args.push_back(std::move(b));
                return r;
            }
            case ExprKind::InSelect: {
                BoundExprPtr r = PredicateNode(BoundKind::InQuery);
                r->negated = e.negated;
                r->args.push_back(Value(*e.args.at(0), scope));
                r->query = Query(*e.select, &scope, nullptr);
                return r;
            }
            case ExprKind::Between: {
                BoundExprPtr a = Value(*e.args.at(0), scope);
                BoundExprPtr lo = Value(*e.args.at(1), scope);
                BoundExprPtr hi = Value(*e.args.at(2), scope);
                Unify(a, lo);
                Unify(a, hi);
                BoundExprPtr r = PredicateNode(BoundKind::Between);
                r->negated = e.negated;
                r->args.push_back(std::move(a));
                r->args.push_back(std::move(lo));
                r->args.push_back(std::move(hi));
                return r;
            }
            case ExprKind::Like: {
                BoundExprPtr r = PredicateNode(BoundKind::Like);
                r->negated = e.negated;
                r->args.push_back(
                    ConvertTo(Value(*e.args.at(0), scope), Raw(TypeKind::VarChar, 8000), false));
                r->args.push_back(
                    ConvertTo(Value(*e.args.at(1), scope), Raw(TypeKind::VarChar, 8000), false));
                if (e.args.size() > 2) {
                    r->args.push_back(
                        ConvertTo(Value(*e.args[2], scope), Raw(TypeKind::VarChar, 1), false));
                }
                return r;
            }
            case ExprKind::IsNull: {
                BoundExprPtr r = PredicateNode(BoundKind::IsNull);
                r->negated = e.negated;
                r->args.push_back(Value(*e.args.at(0), scope));
                return r;
            }
            case ExprKind::Case:
                return Case(e, scope);
        }
        Fail("Unsupported expression.");
    }

    // CONVERT's style: a whole number written in the statement (a plan made
    // for one style serves only statements with that style); -1 for NULL.
    int Style(const Expr& s) {
        if (s.kind == ExprKind::Literal && s.literal == LiteralKind::Null) return -1;
        if (s.kind != ExprKind::Literal || s.literal != LiteralKind::Integer || s.text.size() > 6)
            Fail(
                "A CONVERT style other than a whole number written in the statement is not "
                "supported.");
        if (s.paramIndex >= 0) m_out.inlined.emplace_back(s.paramIndex, s.text);
        return std::atoi(s.text.c_str());
    }

    BoundExprPtr Cast(const Expr& e, const Scope& scope) {
        BoundExprPtr v = Value(*e.args.at(0), scope);
        // Without a length CAST gives 30 characters (or bytes).
        const TypeSpec to = e.type.Sized(30);
        BoundExprPtr r;
        if (e.args.size() > 1) {
            const int style = Style(*e.args[1]);
            if (style < 0) {  // a NULL style gives NULL
                BoundExprPtr null = Node(BoundKind::Null);
                null->type = to;
                return null;
            }
            if (StyleApplies(v->type, to)) {
                std::string text;
                if (v->type.IsDate() && !FormatDateTimeStyle(2.0, style, &text))
                    Fail(std::to_string(style) +
                         " is not a valid style number when converting from datetime to a "
                         "character string.");
                BoundExprPtr c = Node(BoundKind::Convert, to);
                c->path = ConvertPath::Full;
                c->style = style;
                c->explicitCast = true;
                c->args.push_back(std::move(v));
                return c;
            }
        }
        if (v->param >= 0) {
            // Converted when bound (ConvertTo gives an atBind Convert); the
            // value is no longer a constant whose type a later operation may
            // choose: CAST(2.56 AS INT) stays 2.
            r = ConvertTo(std::move(v), to, false);
        } else if (IsUnknown(v->type)) {
            v->type = to;
            return v;
        } else {
            BoundExprPtr c = Node(BoundKind::Convert, to);
            c->path = ConversionPath(v->type, to, false, true);
            if (c->path != ConvertPath::Full) KeepOrigin(*c, *v);
            c->args.push_back(std::move(v));
            r = std::move(c);
        }
        r->explicitCast = true;
        r->param = -1;
        return r;
    }

    // ---- SELECT -----------------------------------------------------------

    // A query; `targets`, when given, converts each result column to the
    // type of the column it is written into (INSERT ... SELECT).
    std::unique_ptr<BoundQuery> Query(const SelectStmt& s, const Scope* outer,
                                      const std::vector<TypeSpec>* targets) {
        auto q = std::make_unique<BoundQuery>();
        Scope scope;
        q->parts.emplace_back();
        Core(s, outer, targets, &scope, q->parts.back());
        // A recursive member reads the columns its anchor gives.
        if (m_cteBinding && &s == m_cteAst->select.get())
            CteColumns(*m_cteBinding, *m_cteAst, q->parts.front().items);
        for (const SelectStmt *u = s.unionNext.get(), *prev = &s; u;
             prev = u, u = u->unionNext.get()) {
            Scope uscope;
            q->parts.emplace_back();
            Core(*u, outer, targets, &uscope, q->parts.back());
            if (q->parts.back().items.size() != q->parts.front().items.size()) {
                Fail(
                    "All queries combined using a UNION, INTERSECT or EXCEPT operator must have "
                    "an equal number of expressions in their target lists.");
            }
            q->unionAll.push_back(prev->unionAll);
        }
        if (q->parts.size() > 1) UnionTypes(*q);
        for (const OrderItem& o : s.orderBy)
            q->order.push_back(OrderTerm(o, q->Items(), scope, s.unionNext != nullptr));
        if (s.top) {
            q->topPercent = s.topPercent;
            q->topWithTies = s.topWithTies;
            q->top = ConvertTo(Value(*s.top, scope),
                               Raw(s.topPercent ? TypeKind::Float : TypeKind::BigInt), false);
            if (s.topWithTies && s.orderBy.empty())
                Fail(
                    "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY "
                    "clause.");
            if (s.topWithTies && (q->parts.size() > 1 || s.distinct))
                Fail("TOP ... WITH TIES with UNION or DISTINCT is not supported.");
        }
        return q;
    }

    // Each column of a UNION takes the type of higher precedence among its
    // queries' (text and binary of one kind: the longest length; DECIMAL:
    // room for the most digits on either side of the point), and every
    // query's value is converted to it.
    void UnionTypes(BoundQuery& q) {
        for (size_t i = 0; i < q.parts.front().items.size(); ++i) {
            TypeSpec t;
            for (const BoundSelect& part : q.parts) t = CommonType(t, part.items[i].column.type);
            for (BoundSelect& part : q.parts) {
                BoundItem& item = part.items[i];
                if (item.column.type == t) continue;
                item.expr = ConvertTo(std::move(item.expr), t, false);
                item.column.type = t;
            }
        }
    }

    BoundOrder OrderTerm(const OrderItem& o, const std::vector<BoundItem>& items,
                         const Scope& scope, bool isUnion) {
        const Expr& e = *o.expr;
        BoundOrder key;
        key.descending = o.descending;
        if (e.kind == ExprKind::Literal && e.literal == LiteralKind::Integer) {
            // ORDER BY n names the n-th column of the select list.
            int n = std::atoi(e.text.c_str());
            if (n < 1 || static_cast<size_t>(n) > items.size()) {
                Fail("The ORDER BY position number " + e.text +
                     " is out of range of the number of items in the select list.");
            }
            if (e.paramIndex >= 0) m_out.inlined.emplace_back(e.paramIndex, e.text);
            key.item = n - 1;
            return key;
        }
        if (e.kind == ExprKind::Column && e.qualifier.empty()) {
            for (size_t i = 0; i < items.size(); ++i) {
                int ignored = -1;
                if (IEquals(items[i].column.name, e.name) &&
                    !FindInScope(scope, "", e.name, &ignored)) {
                    key.item = static_cast<int>(i);
                    return key;
                }
            }
        }
        if (isUnion)
            Fail(
                "ORDER BY items must appear in the select list if the statement contains a UNION.");
        key.expr = WindowsAllowed(true, [&] { return Value(e, scope); });
        return key;
    }

    void Core(const SelectStmt& s, const Scope* outer, const std::vector<TypeSpec>* targets,
              Scope* scopeOut, BoundSelect& out) {
        Scope& scope = *scopeOut;
        scope.outer = outer;
        out.distinct = s.distinct;
        WindowsAllowed(false, [&] {
            for (const TableRefPtr& ref : s.from) out.from.push_back(TableRef(*ref, scope));
            return 0;
        });
        auto addColumn = [&](BoundExprPtr r, BoundColumn c) {
            size_t i = out.items.size();
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
            out.items.push_back(BoundItem{std::move(r), std::move(c)});
        };
        for (const SelectItem& item : s.items) {
            const Expr& e = *item.expr;
            if (e.kind == ExprKind::Star) {
                bool any = false;
                for (const BoundSource* src : scope.sources) {
                    if (!e.qualifier.empty() && !IEquals(src->alias, LastPart(e.qualifier)))
                        continue;
                    any = true;
                    size_t n = src->table ? src->table->columns.size() : src->columns.size();
                    for (size_t i = 0; i < n; ++i) {
                        BoundColumn c;
                        if (src->table) {
                            const ColumnDef& def = src->table->columns[i];
                            c.name = def.name;
                            c.type = def.type;
                            c.baseTable = src->table->name;
                            c.baseColumn = def.name;
                            c.nullable = !def.notNull;
                        } else {
                            c = src->columns[i];
                        }
                        BoundExprPtr r = Node(BoundKind::Column, c.type);
                        r->source = src;
                        r->column = static_cast<int>(i);
                        r->nullable = c.nullable;
                        addColumn(std::move(r), std::move(c));
                    }
                }
                if (!any) {
                    if (e.qualifier.empty()) Fail("Must specify table to select from.");
                    Fail("The object name '" + e.qualifier + "' is not valid.");
                }
                continue;
            }
            BoundExprPtr r = WindowsAllowed(true, [&] { return Value(e, scope); });
            BoundColumn c;
            c.type = r->type;
            if (!item.alias.empty()) {
                c.name = item.alias;
            } else if (r->origin) {
                c.name = r->origin->name;
            }
            if (r->origin) {
                c.baseColumn = r->origin->name;
                c.baseTable = r->originTable;
                c.nullable = !r->origin->notNull;
            } else if (const BoundColumn* d = r->derivedOrigin) {
                // A derived table's column keeps its name, as it does under "*".
                if (c.name.empty()) c.name = d->name;
                c.baseColumn = d->baseColumn;
                c.baseTable = d->baseTable;
                c.nullable = d->nullable;
            }
            if (!item.assignTo.empty() && c.name.empty()) c.name = item.assignTo;
            addColumn(std::move(r), std::move(c));
        }
        if (targets && out.items.size() != targets->size()) {
            Fail(
                "The select list for the INSERT statement contains fewer items than the insert "
                "list. The number of SELECT values must match the number of INSERT columns.");
        }
        WindowsAllowed(false, [&] {
            if (s.where) out.where = Predicate(*s.where, scope);
            for (const ExprPtr& g : s.groupBy) out.groupBy.push_back(Value(*g, scope));
            if (s.having) out.having = Predicate(*s.having, scope);
            return 0;
        });
        MatchGroups(out);
        CheckGrouping(out);
    }

    // A grouped select (GROUP BY, HAVING or an aggregate in the select list)
    // shows one row a group: each column of its own tables in the select
    // list must be in an aggregate or in a GROUP BY expression (error 8120).
    void CheckGrouping(const BoundSelect& out) {
        bool grouped = !out.groupBy.empty() || out.having;
        for (const BoundItem& item : out.items)
            grouped = grouped || (item.expr && Aggregates(*item.expr));
        if (!grouped) return;
        std::vector<const BoundSource*> own;
        for (const BoundTableRefPtr& ref : out.from) Sources(*ref, &own);
        for (const BoundItem& item : out.items)
            if (item.expr) Covered(*item.expr, out.groupBy, own);
    }

    static bool IsAggregate(const BoundExpr& e) {
        return e.kind == BoundKind::Function && !e.window &&
               (e.name == "COUNT" || e.name == "COUNT_BIG" || e.name == "SUM" || e.name == "AVG" ||
                e.name == "MIN" || e.name == "MAX");
    }

    static bool Aggregates(const BoundExpr& e) {
        if (IsAggregate(e)) return true;
        for (const BoundExprPtr& a : e.args)
            if (a && Aggregates(*a)) return true;
        return false;
    }

    static void Sources(const BoundTableRef& ref, std::vector<const BoundSource*>* out) {
        if (ref.join == JoinType::None) {
            if (ref.source) out->push_back(ref.source.get());
            return;
        }
        if (ref.left) Sources(*ref.left, out);
        if (ref.right) Sources(*ref.right, out);
    }

    void Covered(const BoundExpr& e, const std::vector<BoundExprPtr>& groups,
                 const std::vector<const BoundSource*>& own) const {
        for (const BoundExprPtr& g : groups)
            if (g && SameExpr(e, *g)) return;
        if (IsAggregate(e) || e.window) return;
        if (e.kind == BoundKind::Column) {
            if (std::find(own.begin(), own.end(), e.source) == own.end()) return;  // an outer one
            const BoundSource& src = *e.source;
            const std::string owner = src.table && !src.cte ? src.table->name : src.alias;
            Fail("Column '" + owner + "." + src.ColumnName(e.column) +
                 "' is invalid in the select list because it is not contained in either an "
                 "aggregate function or the GROUP BY clause.");
        }
        for (const BoundExprPtr& a : e.args)
            if (a) Covered(*a, groups, own);
    }

    // Select-list items that are a GROUP BY expression as written (a CASE
    // over a column, say) are marked with it, so that an engine that checks
    // grouping itself sees the same expression in both places. The match
    // holds for these literals only: a plan with other values is made anew.
    void MatchGroups(BoundSelect& out) {
        if (out.groupBy.empty()) return;
        for (BoundItem& item : out.items) {
            if (!item.expr || item.expr->kind == BoundKind::Column) continue;
            for (size_t g = 0; g < out.groupBy.size(); ++g) {
                if (!out.groupBy[g] || !SameExpr(*item.expr, *out.groupBy[g])) continue;
                InlineLiterals(*item.expr);
                InlineLiterals(*out.groupBy[g]);
                item.group = static_cast<int>(g);
                break;
            }
        }
    }

    bool SameParam(int a, int b) const {
        const BoundParam& x = m_out.params.at(static_cast<size_t>(a));
        const BoundParam& y = m_out.params.at(static_cast<size_t>(b));
        if (x.source != y.source || x.negate != y.negate || x.convert != y.convert ||
            x.valueType.ToString() != y.valueType.ToString() ||
            x.target.ToString() != y.target.ToString())
            return false;
        if (x.source == BoundParam::Source::Variable) return IEquals(x.variable, y.variable);
        if (x.source != BoundParam::Source::Literal) return false;
        auto i = m_literalParams.find(a), j = m_literalParams.find(b);
        return i != m_literalParams.end() && j != m_literalParams.end() &&
               i->second.second == j->second.second;
    }

    bool SameExpr(const BoundExpr& a, const BoundExpr& b) const {
        if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.name != b.name ||
            a.part != b.part || a.star != b.star || a.distinct != b.distinct || a.window ||
            b.window || a.hasOperand != b.hasOperand || a.hasElse != b.hasElse ||
            a.path != b.path || a.style != b.style || a.explicitCast != b.explicitCast ||
            a.exact != b.exact || a.query || b.query || a.args.size() != b.args.size() ||
            a.type.ToString() != b.type.ToString())
            return false;
        switch (a.kind) {
            case BoundKind::Param:
                if (!SameParam(a.param, b.param)) return false;
                break;
            case BoundKind::Column:
                if (a.source != b.source || a.column != b.column) return false;
                break;
            case BoundKind::Constant:
                return false;
            default:
                break;
        }
        for (size_t i = 0; i < a.args.size(); ++i) {
            if (!a.args[i] || !b.args[i]) {
                if (a.args[i] || b.args[i]) return false;
                continue;
            }
            if (!SameExpr(*a.args[i], *b.args[i])) return false;
        }
        return true;
    }

    void InlineLiterals(const BoundExpr& e) {
        if (e.kind == BoundKind::Param) {
            auto it = m_literalParams.find(e.param);
            if (it != m_literalParams.end())
                m_out.inlined.emplace_back(it->second.first, it->second.second);
        }
        for (const BoundExprPtr& a : e.args)
            if (a) InlineLiterals(*a);
    }

    // Window functions stand only in a select list and an ORDER BY (not in
    // their own arguments, nor in WHERE, GROUP BY, HAVING, ON or a SET).
    template <typename F>
    auto WindowsAllowed(bool allowed, F&& f) -> decltype(f()) {
        const bool saved = m_windows;
        m_windows = allowed;
        auto r = f();
        m_windows = saved;
        return r;
    }

    BoundExprPtr Window(const Expr& e, const Scope& scope);

    // ---- WITH ---------------------------------------------------------------

    // Binds the statement's common tables, each seeing those before it
    // and, once its anchor is bound, itself.
    void With(const std::vector<CommonTable>& with, int64_t maxRecursion) {
        m_out.maxRecursion = maxRecursion < 0 ? 100 : maxRecursion;
        for (size_t i = 0; i < with.size(); ++i) {
            const CommonTable& c = with[i];
            for (size_t j = 0; j < i; ++j) {
                if (IEquals(with[j].name, c.name))
                    Fail("Duplicate common table expression name '" + c.name + "' was specified.");
            }
            auto cte = std::make_unique<BoundCte>();
            cte->name = c.name;
            cte->sqlName = "xr_cte" + std::to_string(i);
            BoundCte* bound = cte.get();
            m_out.ctes.push_back(std::move(cte));
            NestedOrder(*c.select);
            m_cteBinding = bound;
            m_cteAst = &c;
            bound->query = Query(*c.select, nullptr, nullptr);
            m_cteBinding = nullptr;
            m_cteAst = nullptr;
            // The columns take the types the whole query gives.
            const std::vector<BoundItem>& items = bound->query->Items();
            for (size_t k = 0; k < items.size() && k < bound->columns.size(); ++k)
                bound->columns[k].type = items[k].column.type;
            if (bound->recursive) {
                for (const BoundSelect& part : bound->query->parts) RecursivePart(part, *bound);
                for (bool all : bound->query->unionAll) {
                    if (!all)
                        Fail("Recursive common table expression '" + c.name +
                             "' does not contain a top-level UNION ALL operator.");
                }
                if (bound->query->parts.size() < 2)
                    Fail("Recursive common table expression '" + c.name +
                         "' does not contain a top-level UNION ALL operator.");
            }
        }
    }

    void CteColumns(BoundCte& cte, const CommonTable& c, const std::vector<BoundItem>& items) {
        if (!c.columns.empty() && c.columns.size() < items.size())
            Fail("'" + c.name + "' has more columns than were specified in the column list.");
        if (!c.columns.empty() && c.columns.size() > items.size())
            Fail("'" + c.name + "' has fewer columns than were specified in the column list.");
        for (size_t i = 0; i < items.size(); ++i) {
            BoundColumn col = items[i].column;
            if (!c.columns.empty()) col.name = c.columns[i];
            if (col.name.empty())
                Fail("No column name was specified for column " + std::to_string(i + 1) + " of '" +
                     c.name + "'.");
            for (const BoundColumn& other : cte.columns) {
                if (IEquals(other.name, col.name))
                    Fail("The column '" + col.name + "' was specified multiple times for '" +
                         c.name + "'.");
            }
            cte.columns.push_back(std::move(col));
        }
        cte.ready = true;
    }

    // TOP (n) [PERCENT] of an INSERT, UPDATE or DELETE.
    void WriteTop(const Stmt& stmt) {
        if (!stmt.top) return;
        Scope none;
        m_out.topPercent = stmt.topPercent;
        m_out.top = ConvertTo(Value(*stmt.top, none),
                              Raw(stmt.topPercent ? TypeKind::Float : TypeKind::BigInt), false);
    }

    static bool Refers(const BoundTableRef& ref, const BoundCte& cte, bool* outer) {
        if (ref.join == JoinType::None) return ref.source->cte == &cte;
        // Both sides, so that an outer join anywhere in the tree is noted.
        const bool left = Refers(*ref.left, cte, outer);
        const bool right = Refers(*ref.right, cte, outer);
        const bool here = left || right;
        if (ref.join == JoinType::Left || ref.join == JoinType::Right || ref.join == JoinType::Full)
            *outer = true;
        return here;
    }

    // What the server refuses in a member that reads its own common table.
    static void RecursivePart(const BoundSelect& part, const BoundCte& cte) {
        bool refers = false, outer = false;
        for (const BoundTableRefPtr& ref : part.from) refers |= Refers(*ref, cte, &outer);
        if (!refers) return;
        const std::string in =
            " not allowed in the recursive part of a recursive common table expression '" +
            cte.name + "'.";
        if (part.distinct) Fail("DISTINCT operator is" + in);
        if (!part.groupBy.empty() || part.having)
            Fail("GROUP BY, HAVING, or aggregate functions are" + in);
        if (outer) Fail("Outer join is" + in);
    }

    // A query inside another orders its rows only to choose its TOP ones.
    static void NestedOrder(const SelectStmt& s) {
        if (!s.orderBy.empty() && !s.top)
            Fail(
                "The ORDER BY clause is invalid in views, inline functions, derived tables, "
                "subqueries, and common table expressions, unless TOP, OFFSET or FOR XML is also "
                "specified.");
    }

    // The common table a name in a FROM stands for, if any.
    BoundCte* FindCte(const ObjectName& name) {
        if (!name.db.empty() || !name.schema.empty()) return nullptr;
        for (const std::unique_ptr<BoundCte>& c : m_out.ctes) {
            if (!IEquals(c->name, name.name)) continue;
            if (c.get() == m_cteBinding && !c->ready)
                Fail("Recursive common table expression '" + c->name +
                     "' does not contain a top-level UNION ALL operator.");
            return c.get();
        }
        return nullptr;
    }

    BoundTableRefPtr TableRef(const TableRef& ref, Scope& scope) {
        auto out = std::make_unique<BoundTableRef>();
        if (ref.join != JoinType::None) {
            const size_t first = scope.sources.size();
            out->join = ref.join;
            out->left = TableRef(*ref.left, scope);
            out->right = TableRef(*ref.right, scope);
            if (ref.on) {
                if (first == 0) {
                    out->on = Predicate(*ref.on, scope);
                } else {
                    // An ON sees the tables of its own join, not those listed
                    // before it with commas.
                    Scope own;
                    own.outer = scope.outer;
                    own.sources.assign(scope.sources.begin() + static_cast<std::ptrdiff_t>(first),
                                       scope.sources.end());
                    out->on = Predicate(*ref.on, own);
                }
            }
            return out;
        }
        auto src = std::make_unique<BoundSource>();
        if (ref.derived) {
            NestedOrder(*ref.derived);
            src->derived = Query(*ref.derived, scope.outer, nullptr);
            for (const BoundItem& item : src->derived->Items()) src->columns.push_back(item.column);
            src->alias = ref.alias;
            src->explicitAlias = true;
        } else if (BoundCte* cte = FindCte(ref.table)) {
            if (cte == m_cteBinding) cte->recursive = true;
            src->cte = cte;
            src->columns = cte->columns;
            src->alias = ref.alias.empty() ? cte->name : ref.alias;
            src->explicitAlias = !ref.alias.empty();
        } else {
            std::string schema = SchemaOf(ref.table);
            const TableDef* t = m_catalog.FindTable(schema, LookupName(ref.table));
            if (!t) FailNoTable(WrittenName(ref.table));
            src->table = t;
            src->schema = schema;
            src->alias = ref.alias.empty() ? t->name : ref.alias;
            src->explicitAlias = !ref.alias.empty();
        }
        for (const BoundSource* other : scope.sources) {
            if (IEquals(other->alias, src->alias)) {
                Fail("The objects \"" + other->alias + "\" and \"" + src->alias +
                     "\" in the FROM clause have the same exposed names. Use correlation names "
                     "to distinguish them.");
            }
        }
        scope.sources.push_back(src.get());
        out->source = std::move(src);
        return out;
    }

    std::string SchemaOf(const ObjectName& name) {
        return name.Database().empty() ? m_catalog.CurrentSchema()
                                       : m_catalog.SchemaFor(name.Database());
    }

    // Finds a column in this scope only; null when absent. Fails when ambiguous.
    static const BoundSource* FindInScope(const Scope& scope, std::string_view qualifier,
                                          std::string_view name, int* index) {
        const BoundSource* hit = nullptr;
        for (const BoundSource* src : scope.sources) {
            if (!qualifier.empty()) {
                std::string q = LastPart(qualifier);
                bool match = IEquals(src->alias, q) ||
                             (!src->explicitAlias && src->table && IEquals(src->table->name, q));
                if (!match) continue;
            }
            int found = -1;
            if (src->table) {
                found = src->table->ColumnIndex(name);
            } else {
                for (size_t i = 0; i < src->columns.size(); ++i) {
                    if (IEquals(src->columns[i].name, name)) {
                        found = static_cast<int>(i);
                        break;
                    }
                }
            }
            if (found >= 0) {
                if (hit) Fail("Ambiguous column name '" + std::string(name) + "'.");
                hit = src;
                *index = found;
            }
        }
        return hit;
    }

    BoundExprPtr Column(const Expr& e, const Scope& scope) {
        for (const Scope* s = &scope; s; s = s->outer) {
            int index = -1;
            if (const BoundSource* src = FindInScope(*s, e.qualifier, e.name, &index)) {
                BoundExprPtr r = Node(BoundKind::Column);
                r->source = src;
                r->column = index;
                if (src->table) {
                    const ColumnDef& def = src->table->columns[static_cast<size_t>(index)];
                    r->type = def.type;
                    r->origin = &def;
                    r->originTable = src->table->name;
                    r->nullable = !def.notNull;
                } else {
                    // Its name and base column describe a select-list item.
                    r->derivedOrigin = &src->columns[static_cast<size_t>(index)];
                    r->type = r->derivedOrigin->type;
                }
                return r;
            }
        }
        if (!e.qualifier.empty()) {
            bool known = false;
            for (const Scope* s = &scope; s && !known; s = s->outer) {
                for (const BoundSource* src : s->sources) {
                    if (IEquals(src->alias, LastPart(e.qualifier))) known = true;
                }
            }
            if (!known) {
                Fail("The multi-part identifier \"" + e.qualifier + "." + e.name +
                     "\" could not be bound.");
            }
        }
        Fail("Invalid column name '" + e.name + "'.");
    }

    // ISNULL(x, ''): a NULL operand of a concatenation taken as empty text.
    static BoundExprPtr BlankIfNull(BoundExprPtr x) {
        BoundExprPtr empty = Node(BoundKind::Constant, Raw(TypeKind::VarChar, 1));
        empty->value = tsql::Value::Text("");
        BoundExprPtr f = Node(BoundKind::Function, x->type);
        f->name = "ISNULL";
        f->args.push_back(std::move(x));
        f->args.push_back(std::move(empty));
        return f;
    }

    BoundExprPtr Literal(const Expr& e) {
        if (e.literal == LiteralKind::Null) return Node(BoundKind::Null);
        if (m_inline) {
            BoundExprPtr r = Node(BoundKind::Constant, LiteralTypeOf(e));
            r->value = LiteralValueOf(e);
            return r;
        }
        BoundParam p;
        if (e.paramIndex >= 0) {
            p.source = BoundParam::Source::Literal;
            p.literal = e.paramIndex;
        } else {
            p.source = BoundParam::Source::Constant;
            p.value = LiteralValueOf(e);
        }
        p.valueType = LiteralTypeOf(e);
        BoundExprPtr r = Param(std::move(p));
        if (e.paramIndex >= 0) m_literalParams[r->param] = {e.paramIndex, e.text};
        return r;
    }

    BoundExprPtr Param(BoundParam p) {
        BoundExprPtr r = Node(BoundKind::Param, p.valueType);
        r->param = static_cast<int>(m_out.params.size());
        m_out.params.push_back(std::move(p));
        return r;
    }

    BoundExprPtr Variable(const std::string& name) {
        const TypeSpec* t = m_catalog.VariableType(name);
        if (!t) Fail("Must declare the scalar variable \"" + name + "\".");
        if (IEquals(name, "@@IDENTITY") || IEquals(name, "@@SCOPE_IDENTITY"))
            m_out.readsIdentity = true;
        BoundParam p;
        p.source = BoundParam::Source::Variable;
        p.variable = name;
        p.valueType = *t;
        return Param(std::move(p));
    }

    BoundExprPtr Unary(const Expr& e, const Scope& scope) {
        if (e.op == Op::Not) {
            BoundExprPtr r = PredicateNode(BoundKind::Not);
            r->args.push_back(Predicate(*e.args.at(0), scope));
            return r;
        }
        BoundExprPtr a = Value(*e.args.at(0), scope);
        if (a->type.IsText() || a->type.IsBinary()) {
            Fail("Operand data type " + TypeName(a->type) + " is invalid for " +
                 (e.op == Op::Neg      ? "minus"
                  : e.op == Op::BitNot ? "~"
                                       : "plus") +
                 " operator.");
        }
        a->origin = nullptr;
        a->originTable.clear();
        a->derivedOrigin = nullptr;
        a->nullable = true;
        if (e.op == Op::Neg && a->param >= 0) {
            BoundParam& p = m_out.params[static_cast<size_t>(a->param)];
            if (p.source == BoundParam::Source::Literal && !p.convert && a->type.IsNumeric()) {
                // The sign belongs to the constant: -922337203685477.5808 is a
                // valid amount although its digits alone are not.
                p.negate = !p.negate;
                return a;
            }
            if (IsUnknown(a->type)) return a;
        }
        if (e.op == Op::Plus) return a;
        BoundExprPtr r = Node(e.op == Op::Neg ? BoundKind::Negate : BoundKind::BitNot, a->type);
        r->args.push_back(std::move(a));
        return r;
    }

    BoundExprPtr Binary(const Expr& e, const Scope& scope) {
        switch (e.op) {
            case Op::Eq:
            case Op::Ne:
            case Op::Lt:
            case Op::Le:
            case Op::Gt:
            case Op::Ge: {
                if ((e.op == Op::Eq || e.op == Op::Ne) && !m_catalog.AnsiNulls()) {
                    // Against the NULL literal: IS [NOT] NULL of the other side.
                    auto isNullLiteral = [](const Expr& x) {
                        return x.kind == ExprKind::Literal && x.literal == LiteralKind::Null;
                    };
                    const Expr* other = isNullLiteral(*e.args.at(1))   ? e.args.at(0).get()
                                        : isNullLiteral(*e.args.at(0)) ? e.args.at(1).get()
                                                                       : nullptr;
                    if (other) {
                        BoundExprPtr r = PredicateNode(BoundKind::IsNull);
                        r->negated = e.op == Op::Ne;
                        r->args.push_back(Value(*other, scope));
                        return r;
                    }
                }
                BoundExprPtr a = Value(*e.args.at(0), scope);
                BoundExprPtr b = Value(*e.args.at(1), scope);
                Unify(a, b);
                BoundExprPtr r = PredicateNode(BoundKind::Compare);
                r->op = e.op;
                r->args.push_back(std::move(a));
                r->args.push_back(std::move(b));
                return r;
            }
            case Op::And:
            case Op::Or: {
                BoundExprPtr r = PredicateNode(BoundKind::Logic);
                r->op = e.op;
                r->args.push_back(Predicate(*e.args.at(0), scope));
                r->args.push_back(Predicate(*e.args.at(1), scope));
                return r;
            }
            default:
                break;
        }
        BoundExprPtr a = Value(*e.args.at(0), scope);
        BoundExprPtr b = Value(*e.args.at(1), scope);
        auto binary = [&](BoundKind kind, const TypeSpec& t) {
            BoundExprPtr r = Node(kind, t);
            r->op = e.op;
            r->args.push_back(std::move(a));
            r->args.push_back(std::move(b));
            return r;
        };
        const bool aText = a->type.IsText() || (IsUnknown(a->type) && b->type.IsText());
        const bool bText = b->type.IsText() || (IsUnknown(b->type) && a->type.IsText());
        if (e.op == Op::Add && aText && bText) {
            // Text + text concatenates; NULL + text is NULL in both dialects,
            // unless the session set CONCAT_NULL_YIELDS_NULL OFF.
            if (!m_catalog.ConcatNullYieldsNull()) {
                a = BlankIfNull(std::move(a));
                b = BlankIfNull(std::move(b));
            }
            return binary(BoundKind::Concat,
                          Raw(TypeKind::VarChar, std::min(8000, a->type.length + b->type.length)));
        }
        if (a->type.IsBinary() && b->type.IsBinary() && e.op == Op::Add) {
            return binary(BoundKind::Concat, Raw(TypeKind::VarBinary,
                                                 std::min(8000, a->type.length + b->type.length)));
        }
        if (e.op == Op::BitAnd || e.op == Op::BitOr || e.op == Op::BitXor) {
            TypeSpec t = CommonType(a->type, b->type);
            if (!t.IsInteger()) t = Raw(TypeKind::BigInt);
            a = ConvertTo(std::move(a), t, false);
            b = ConvertTo(std::move(b), t, false);
            return binary(BoundKind::Bitwise, t);
        }
        if ((a->type.IsDate() || b->type.IsDate()) && (e.op == Op::Add || e.op == Op::Sub)) {
            // datetime +/- a number of days; the date stands first.
            const bool aDate = a->type.IsDate();
            TypeSpec d = aDate ? a->type : b->type;
            BoundExprPtr days =
                ConvertTo(aDate ? std::move(b) : std::move(a), Raw(TypeKind::Float), false);
            BoundExprPtr date =
                ConvertTo(aDate ? std::move(a) : std::move(b), Raw(TypeKind::DateTime), false);
            BoundExprPtr r = Node(BoundKind::DateShift, d);
            r->op = e.op;
            r->args.push_back(std::move(date));
            r->args.push_back(std::move(days));
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
        if (a->type.IsText() && b->type.IsNumeric()) a = ConvertTo(std::move(a), b->type, false);
        if (b->type.IsText() && a->type.IsNumeric()) b = ConvertTo(std::move(b), a->type, false);
        TypeSpec ta = IsUnknown(a->type) ? b->type : a->type;
        TypeSpec tb = IsUnknown(b->type) ? a->type : b->type;
        if (!ta.IsNumeric() && !tb.IsNumeric() && !IsUnknown(ta)) {
            ta = tb = Raw(TypeKind::Float);
            a = ConvertTo(std::move(a), ta, false);
            b = ConvertTo(std::move(b), tb, false);
        }
        TypeSpec t = ArithmeticType(op, ta, tb);
        if (t.kind == TypeKind::Bit) t = Raw(TypeKind::Int);
        const bool approx = t.kind == TypeKind::Float || t.kind == TypeKind::Real;
        if (op == '%' && approx) {
            Fail("The data types " + TypeName(ta) + " and " + TypeName(tb) +
                 " are incompatible in the modulo operator.");
        }
        if (IsUnknown(t)) return Node(BoundKind::Null);
        const bool narrow = t.kind == TypeKind::TinyInt || t.kind == TypeKind::SmallInt;
        if (approx || (t.IsInteger() && !narrow)) {
            a = ConvertTo(std::move(a), t, false);
            b = ConvertTo(std::move(b), t, false);
            return binary(BoundKind::Arith, t);
        }
        // Exact results (MONEY, DECIMAL, TINYINT, SMALLINT) are worked out
        // from the operands as they are: a NULL operand takes the other's type.
        if (IsUnknown(a->type)) a->type = ta;
        if (IsUnknown(b->type)) b->type = tb;
        BoundExprPtr r = binary(BoundKind::Arith, t);
        r->exact = true;
        return r;
    }

    BoundExprPtr Case(const Expr& e, const Scope& scope) {
        // args: [operand or null], then WHEN/THEN pairs, then ELSE.
        const size_t n = e.args.size();
        const size_t pairsEnd = e.hasElse ? n - 1 : n;
        const Expr* operand = e.args.at(0).get();
        BoundExprPtr r = Node(BoundKind::Case);
        r->hasOperand = operand != nullptr;
        r->hasElse = e.hasElse;
        std::vector<BoundExprPtr> whens, results;
        if (operand) r->args.push_back(Value(*operand, scope));
        for (size_t i = 1; i + 1 <= pairsEnd; i += 2) {
            if (operand) {
                // Each WHEN compares the operand anew, converted as that WHEN needs.
                const BoundExpr& op = *r->args[0];
                BoundExprPtr x = Node(BoundKind::CaseOperand, op.type);
                x->param = op.param;
                BoundExprPtr w = Value(*e.args[i], scope);
                Unify(x, w);
                BoundExprPtr c = PredicateNode(BoundKind::Compare);
                c->op = Op::Eq;
                c->args.push_back(std::move(x));
                c->args.push_back(std::move(w));
                whens.push_back(std::move(c));
            } else {
                whens.push_back(Predicate(*e.args[i], scope));
            }
            results.push_back(Value(*e.args[i + 1], scope));
        }
        if (e.hasElse) results.push_back(Value(*e.args[n - 1], scope));
        TypeSpec t;
        for (const BoundExprPtr& x : results)
            t = IsUnknown(t) ? x->type : IsUnknown(x->type) ? t : CommonType(t, x->type);
        for (size_t i = 0; i < whens.size(); ++i) {
            r->args.push_back(std::move(whens[i]));
            r->args.push_back(ConvertTo(std::move(results[i]), t, false));
        }
        if (e.hasElse) r->args.push_back(ConvertTo(std::move(results.back()), t, false));
        r->type = t;
        return r;
    }

    BoundExprPtr Function(const Expr& e, const Scope& scope);

    BindCatalog& m_catalog;
    BoundStatement& m_out;
    // The literal (index, text) each literal parameter stands for.
    std::unordered_map<int, std::pair<int, std::string>> m_literalParams;
    bool m_inline;                     // literals become Constant nodes (filtered index conditions)
    bool m_windows = false;            // a window function may stand here
    BoundCte* m_cteBinding = nullptr;  // the common table being bound
    const CommonTable* m_cteAst = nullptr;
    bool m_windowCall = false;   // binding the function of an OVER clause
    bool m_inAggregate = false;  // binding an aggregate's (or a window function's) argument
};

BoundExprPtr Binder::Window(const Expr& e, const Scope& scope) {
    const std::string name = ToUpper(e.name);
    if (m_inAggregate)
        Fail(
            "Windowed functions cannot be used in the context of another windowed function or "
            "aggregate.");
    if (!m_windows) Fail("Windowed functions can only appear in the SELECT or ORDER BY clauses.");
    const WindowSpec& over = *e.over;
    return WindowsAllowed(false, [&] {
        BoundExprPtr r;
        if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK" || name == "NTILE") {
            const size_t n = name == "NTILE" ? 1 : 0;
            if (e.args.size() != n)
                Fail("The " + name + " function requires " + std::to_string(n) + " argument(s).");
            if (over.orderBy.empty())
                Fail("The function '" + e.name + "' must have an OVER clause with ORDER BY.");
            r = Node(BoundKind::Function, Raw(TypeKind::BigInt));
            r->name = name;
            if (n) {
                m_inAggregate = true;
                BoundExprPtr a = Value(*e.args[0], scope);
                m_inAggregate = false;
                r->args.push_back(ConvertTo(std::move(a), Raw(TypeKind::BigInt), false));
            }
        } else if (name == "COUNT" || name == "COUNT_BIG" || name == "SUM" || name == "AVG" ||
                   name == "MIN" || name == "MAX") {
            if (e.distinct) Fail("Use of DISTINCT is not allowed with the OVER clause.");
            m_windowCall = true;
            r = Function(e, scope);
        } else {
            Fail("The function '" + e.name +
                 "' is not a valid windowing function, and cannot be used with the OVER clause.");
        }
        r->window = true;
        for (const ExprPtr& p : over.partitionBy) r->partition.push_back(Value(*p, scope));
        for (const OrderItem& o : over.orderBy) {
            r->windowOrder.push_back(Value(*o.expr, scope));
            r->windowDescending.push_back(o.descending);
        }
        return r;
    });
}

BoundExprPtr Binder::Function(const Expr& e, const Scope& scope) {
    std::string name = ToUpper(e.name);
    if (e.over && !m_windowCall) return Window(e, scope);
    m_windowCall = false;
    if (name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK" || name == "NTILE")
        Fail("The function '" + e.name + "' must have an OVER clause.");
    // An aggregate's argument takes no window function.
    struct AggregateArgs {
        bool& flag;
        bool saved;
        AggregateArgs(bool& f, bool on) : flag(f), saved(f) { flag = flag || on; }
        ~AggregateArgs() { flag = saved; }
    } aggregateArgs(m_inAggregate, name == "COUNT" || name == "COUNT_BIG" || name == "SUM" ||
                                       name == "AVG" || name == "MIN" || name == "MAX");
    auto arity = [&](size_t lo, size_t hi) {
        if (e.args.size() < lo || e.args.size() > hi) {
            Fail("The " + name + " function requires " + std::to_string(lo) + " argument(s).");
        }
    };
    auto arg = [&](size_t i) { return Value(*e.args.at(i), scope); };
    auto text = [&](size_t i) { return ConvertTo(arg(i), Raw(TypeKind::VarChar, 8000), false); };
    auto number = [&](size_t i, TypeKind k) { return ConvertTo(arg(i), Raw(k), false); };
    // The part is written into the statement: a plan made for one part
    // serves only statements with that part.
    auto part = [&](const Expr& p) {
        if (p.kind == ExprKind::Literal && p.paramIndex >= 0)
            m_out.inlined.emplace_back(p.paramIndex, p.text);
        return DatePartName(p);
    };
    BoundExprPtr r = Node(BoundKind::Function);
    r->name = name;
    r->distinct = e.distinct;
    auto done = [&](TypeSpec t) {
        r->type = t;
        return std::move(r);
    };
    if (name == "COUNT" || name == "COUNT_BIG") {
        arity(1, 1);
        if (e.args[0]->kind == ExprKind::Star)
            r->star = true;
        else
            r->args.push_back(arg(0));
        return done(Raw(name == "COUNT" ? TypeKind::Int : TypeKind::BigInt));
    }
    if (name == "SUM" || name == "MIN" || name == "MAX" || name == "AVG") {
        arity(1, 1);
        BoundExprPtr a = arg(0);
        TypeSpec t = a->type;
        const bool money = t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney;
        if (name == "AVG" && money) {
            t = Raw(TypeKind::Money);  // AVG and SUM of MONEY and SMALLMONEY are MONEY
            t.precision = 19;
            t.scale = 4;
        } else if (name == "AVG") {
            if (a->type.IsScaled()) a = ConvertTo(std::move(a), Raw(TypeKind::Float), false);
            t = a->type.IsInteger() ? Raw(TypeKind::Int) : Raw(TypeKind::Float);
        } else if (name == "SUM") {
            if (money) {
                t = Raw(TypeKind::Money);
                t.precision = 19;
                t.scale = 4;
            }
            if (a->type.IsInteger() && a->type.kind != TypeKind::BigInt) t = Raw(TypeKind::Int);
            if (a->type.kind == TypeKind::Decimal) t.precision = 38;
        }
        r->args.push_back(std::move(a));
        return done(t);
    }
    if (name == "ISNULL") {
        arity(2, 2);
        BoundExprPtr a = arg(0);
        BoundExprPtr b = ConvertTo(arg(1), a->type, false);
        TypeSpec t = IsUnknown(a->type) ? b->type : a->type;
        r->args.push_back(std::move(a));
        r->args.push_back(std::move(b));
        return done(t);
    }
    if (name == "COALESCE") {
        if (e.args.empty()) arity(1, 1);
        std::vector<BoundExprPtr> xs;
        TypeSpec t;
        for (size_t i = 0; i < e.args.size(); ++i) {
            xs.push_back(arg(i));
            t = IsUnknown(t)                 ? xs.back()->type
                : IsUnknown(xs.back()->type) ? t
                                             : CommonType(t, xs.back()->type);
        }
        for (BoundExprPtr& x : xs) r->args.push_back(ConvertTo(std::move(x), t, false));
        return done(t);
    }
    if (name == "NULLIF") {
        arity(2, 2);
        BoundExprPtr a = arg(0);
        BoundExprPtr b = arg(1);
        Unify(a, b);
        TypeSpec t = a->type;
        r->args.push_back(std::move(a));
        r->args.push_back(std::move(b));
        return done(t);
    }
    if (name == "LEN") {
        arity(1, 1);
        r->args.push_back(text(0));
        return done(Raw(TypeKind::Int));
    }
    if (name == "DATALENGTH") {
        arity(1, 1);
        r->args.push_back(arg(0));
        return done(Raw(TypeKind::Int));
    }
    if (name == "UPPER" || name == "LOWER" || name == "LTRIM" || name == "RTRIM") {
        arity(1, 1);
        r->args.push_back(text(0));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "SUBSTRING") {
        arity(3, 3);
        r->args.push_back(text(0));
        r->args.push_back(number(1, TypeKind::BigInt));
        r->args.push_back(number(2, TypeKind::BigInt));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "LEFT" || name == "RIGHT") {
        arity(2, 2);
        r->args.push_back(text(0));
        r->args.push_back(number(1, TypeKind::BigInt));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "REPLACE") {
        arity(3, 3);
        for (size_t i = 0; i < 3; ++i) r->args.push_back(text(i));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "CHARINDEX") {
        arity(2, 3);
        r->args.push_back(text(0));
        r->args.push_back(text(1));
        if (e.args.size() == 3) r->args.push_back(number(2, TypeKind::BigInt));
        return done(Raw(TypeKind::Int));
    }
    if (name == "PATINDEX") {
        arity(2, 2);
        r->args.push_back(text(0));
        r->args.push_back(text(1));
        return done(Raw(TypeKind::Int));
    }
    if (name == "STUFF") {
        arity(4, 4);
        r->args.push_back(text(0));
        r->args.push_back(number(1, TypeKind::BigInt));
        r->args.push_back(number(2, TypeKind::BigInt));
        r->args.push_back(text(3));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "REPLICATE") {
        arity(2, 2);
        r->args.push_back(text(0));
        r->args.push_back(number(1, TypeKind::BigInt));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "SPACE") {
        arity(1, 1);
        r->args.push_back(number(0, TypeKind::BigInt));
        return done(Raw(TypeKind::VarChar, 8000));
    }
    if (name == "ABS" || name == "SIGN" || name == "FLOOR" || name == "CEILING" ||
        name == "ROUND" || name == "POWER") {
        // The result keeps the argument's type (text is read as a float; a
        // DECIMAL's FLOOR and CEILING have no places, its POWER 38 digits;
        // all but ABS and POWER give INT for the narrow integers and FLOAT
        // for a REAL).
        if (name == "ROUND")
            arity(2, 3);
        else if (name == "POWER")
            arity(2, 2);
        else
            arity(1, 1);
        BoundExprPtr a = arg(0);
        TypeSpec t = a->type;
        if (!t.IsNumeric() || t.kind == TypeKind::Bit) {
            if (!IsUnknown(t) && !t.IsText() && t.kind != TypeKind::Bit)
                Fail("Operand data type " + TypeName(t) + " is invalid for " + ToLower(name) +
                     " function.");
            t = Raw(TypeKind::Float);
            a = ConvertTo(std::move(a), t, false);
        }
        if (t.kind == TypeKind::TinyInt || t.kind == TypeKind::SmallInt) {
            if (name != "ABS" && name != "POWER") {
                t = Raw(TypeKind::Int);
                a = ConvertTo(std::move(a), t, false);
            }
        }
        if (t.kind == TypeKind::Decimal) {
            if (name == "FLOOR" || name == "CEILING") {
                t.scale = 0;
            } else if (name == "POWER") {
                t.precision = 38;
            }
        }
        if (t.kind == TypeKind::SmallMoney && name == "POWER") t = Raw(TypeKind::Money);
        if (t.kind == TypeKind::Real && name != "ABS" && name != "POWER") {
            t = Raw(TypeKind::Float);  // ROUND, SIGN, FLOOR and CEILING of a REAL are FLOAT
            a = ConvertTo(std::move(a), t, false);
        }
        r->args.push_back(std::move(a));
        if (name == "ROUND") {
            r->args.push_back(number(1, TypeKind::Int));
            if (e.args.size() == 3) r->args.push_back(number(2, TypeKind::Int));
        }
        if (name == "POWER") r->args.push_back(number(1, TypeKind::Float));
        return done(t);
    }
    if (name == "ISNUMERIC" || name == "ISDATE") {
        arity(1, 1);
        BoundExprPtr a = arg(0);
        // ISDATE reads a number as the text it converts to ('20080101').
        if (name == "ISDATE" && a->type.IsNumeric())
            a = ConvertTo(std::move(a), Raw(TypeKind::VarChar, 8000), false);
        if (!a->type.IsText() && !IsUnknown(a->type)) {
            // A number is numeric and no date; a date is a date and not numeric.
            const bool yes = name == "ISNUMERIC" ? a->type.IsNumeric() : a->type.IsDate();
            r->name = yes ? "XR_ONE" : "XR_ZERO";
        }
        r->args.push_back(std::move(a));
        return done(Raw(TypeKind::Int));
    }
    if (name == "DATENAME") {
        arity(2, 2);
        r->part = part(*e.args[0]);
        r->args.push_back(ConvertTo(arg(1), Raw(TypeKind::DateTime), false));
        return done(Raw(TypeKind::VarChar, 30));
    }
    if (name == "USER_NAME" || name == "HOST_NAME") {
        arity(0, 0);
        return Variable(name == "USER_NAME" ? "@@USER_NAME" : "@@HOST_NAME");
    }
    if (name == "GETDATE" || name == "CURRENT_TIMESTAMP" || name == "GETUTCDATE") {
        arity(0, 0);
        return done(Raw(TypeKind::DateTime));
    }
    if (name == "YEAR" || name == "MONTH" || name == "DAY") {
        arity(1, 1);
        r->part = ToLower(name);
        r->args.push_back(ConvertTo(arg(0), Raw(TypeKind::DateTime), false));
        return done(Raw(TypeKind::Int));
    }
    if (name == "DATEPART") {
        arity(2, 2);
        r->part = part(*e.args[0]);
        r->args.push_back(ConvertTo(arg(1), Raw(TypeKind::DateTime), false));
        return done(Raw(TypeKind::Int));
    }
    if (name == "DATEADD") {
        arity(3, 3);
        r->part = part(*e.args[0]);
        r->args.push_back(number(1, TypeKind::BigInt));
        r->args.push_back(ConvertTo(arg(2), Raw(TypeKind::DateTime), false));
        return done(Raw(TypeKind::DateTime));
    }
    if (name == "DATEDIFF") {
        arity(3, 3);
        r->part = part(*e.args[0]);
        r->args.push_back(ConvertTo(arg(1), Raw(TypeKind::DateTime), false));
        r->args.push_back(ConvertTo(arg(2), Raw(TypeKind::DateTime), false));
        return done(Raw(TypeKind::Int));
    }
    if (name == "IDENT_CURRENT") {
        arity(1, 1);
        r->args.push_back(text(0));
        return done(Raw(TypeKind::BigInt));
    }
    if (name == "OBJECT_ID") {
        arity(1, 2);
        r->args.push_back(text(0));
        if (e.args.size() > 1) r->args.push_back(text(1));
        return done(Raw(TypeKind::Int));
    }
    // The catalog's metadata functions: NULL for an object, column, index or
    // property there is none of.
    if (name == "OBJECTPROPERTY") {
        arity(2, 2);
        r->args.push_back(number(0, TypeKind::Int));
        r->args.push_back(text(1));
        return done(Raw(TypeKind::Int));
    }
    if (name == "COLUMNPROPERTY" || name == "INDEXPROPERTY") {
        arity(3, 3);
        r->args.push_back(number(0, TypeKind::Int));
        r->args.push_back(text(1));
        r->args.push_back(text(2));
        return done(Raw(TypeKind::Int));
    }
    if (name == "COL_LENGTH") {
        arity(2, 2);
        r->args.push_back(text(0));
        r->args.push_back(text(1));
        return done(Raw(TypeKind::SmallInt));
    }
    if (name == "COL_NAME") {
        arity(2, 2);
        r->args.push_back(number(0, TypeKind::Int));
        r->args.push_back(number(1, TypeKind::Int));
        return done(Raw(TypeKind::VarChar, 128));
    }
    if (name == "OBJECT_NAME") {
        arity(1, 2);
        r->args.push_back(number(0, TypeKind::Int));
        if (e.args.size() > 1) r->args.push_back(number(1, TypeKind::Int));
        return done(Raw(TypeKind::VarChar, 128));
    }
    if (name == "SCOPE_IDENTITY") {
        arity(0, 0);
        return Variable("@@SCOPE_IDENTITY");
    }
    if (name == "DB_NAME") {
        arity(0, 1);
        if (e.args.empty()) return Variable("@@DB_NAME");
        r->args.push_back(number(0, TypeKind::Int));
        return done(Raw(TypeKind::VarChar, 128));
    }
    if (name == "DB_ID") {
        // Without a name, the current database's.
        arity(0, 1);
        r->args.push_back(e.args.empty() ? Variable("@@DB_NAME") : text(0));
        return done(Raw(TypeKind::SmallInt));
    }
    if (name == "XACT_STATE") {
        // The session's transaction state, kept as a system variable.
        arity(0, 0);
        return Variable("@@XACT_STATE");
    }
    if (name == "ERROR_NUMBER" || name == "ERROR_MESSAGE" || name == "ERROR_SEVERITY" ||
        name == "ERROR_STATE" || name == "ERROR_LINE" || name == "ERROR_PROCEDURE") {
        // The error a CATCH block handles, kept by the session.
        arity(0, 0);
        return Variable("@@" + name);
    }
    if (name == "CHAR") {
        // Scripts write line breaks inside text as CHAR(13) and CHAR(10). The
        // code is folded here into a one-byte text (the server's char(1));
        // it is written into the statement, so a plan made for one code
        // serves only statements with that code.
        arity(1, 1);
        const Expr* n = e.args[0].get();
        const bool negative = n->kind == ExprKind::Unary && n->op == Op::Neg;
        if (negative) n = n->args.at(0).get();
        if (n->kind != ExprKind::Literal || n->literal != LiteralKind::Integer)
            Fail("CHAR of anything but a whole number written in the statement is not supported.");
        if (n->paramIndex >= 0) m_out.inlined.emplace_back(n->paramIndex, n->text);
        const TypeSpec t = Raw(TypeKind::Char, 1);
        errno = 0;
        const unsigned long long code = std::strtoull(n->text.c_str(), nullptr, 10);
        // Outside 0 to 255 the server gives NULL.
        if (errno != 0 || code > 255 || (negative && code != 0)) {
            BoundExprPtr null = Node(BoundKind::Null);
            null->type = t;
            return null;
        }
        tsql::Value one = tsql::Value::Text(std::string(1, static_cast<char>(code)));
        if (m_inline) {
            BoundExprPtr c = Node(BoundKind::Constant, t);
            c->value = std::move(one);
            return c;
        }
        BoundParam p;
        p.source = BoundParam::Source::Constant;
        p.value = std::move(one);
        p.valueType = t;
        return Param(std::move(p));
    }
    if (name == "STR") {
        // The length (10 unless given) is written into the statement: it is
        // the result's type.
        arity(1, 3);
        r->args.push_back(number(0, TypeKind::Float));
        int32_t length = 10;
        if (e.args.size() > 1) {
            const Expr& n = *e.args[1];
            if (n.kind == ExprKind::Literal && n.literal == LiteralKind::Integer &&
                n.text.size() < 6) {
                if (n.paramIndex >= 0) m_out.inlined.emplace_back(n.paramIndex, n.text);
                length = std::max(1, std::min(8000, std::atoi(n.text.c_str())));
            } else {
                length = 8000;
            }
            r->args.push_back(number(1, TypeKind::Int));
        }
        if (e.args.size() > 2) r->args.push_back(number(2, TypeKind::Int));
        return done(Raw(TypeKind::VarChar, length));
    }
    Fail("'" + e.name + "' is not a recognized built-in function name.");
}

// ---- INSERT / UPDATE / DELETE -----------------------------------------------

std::unique_ptr<BoundSource> OwnSource(const std::string& schema, const TableDef* table) {
    auto src = std::make_unique<BoundSource>();
    src->table = table;
    src->schema = schema;
    src->alias = table->name;
    return src;
}

[[noreturn]] void FailNoRowIds(const std::string& view) {
    Fail("View or function '" + view + "' cannot be updated here: its rows are not its table's.");
}

[[noreturn]] void FailDerivedField(const std::string& view) {
    Fail("Update or insert of view or function '" + view +
         "' failed because it contains a derived or constant field.");
}

// The server's refusal of a write through a view that cannot take one.
void CheckWritable(const TableDef& view, const std::string& written) {
    if (view.id == 0) Fail("Ad hoc updates to system catalogs are not allowed.");
    if (view.viewRefusal == "4403") {
        Fail("Cannot update the view or function '" + written +
             "' because it contains aggregates, or a DISTINCT or GROUP BY clause, or PIVOT or "
             "UNPIVOT operator.");
    }
    if (view.viewRefusal == "4405") {
        Fail("View or function '" + written +
             "' is not updatable because the modification affects multiple base tables.");
    }
    if (view.viewRefusal == "4426") {
        Fail("View '" + written +
             "' is not updatable because the definition contains a UNION operator.");
    }
}

// Follows a view (through the views it reads) to the one table a write
// through it changes; `columns` gets, for each column of the view, the
// table's column it shows ("" for an expression).
const TableDef* WrittenTable(const TableDef* view, const std::string& written, BindCatalog& catalog,
                             std::string* schema, std::vector<std::string>* columns) {
    *columns = view->viewBaseColumns;
    const TableDef* at = view;
    for (int depth = 0; !at->viewSql.empty(); ++depth) {
        CheckWritable(*at, at == view ? written : at->name);
        if (at->viewBaseName.empty()) FailNoRowIds(at == view ? written : at->name);
        if (depth >= 32) {
            Fail(
                "Maximum stored procedure, function, trigger, or view nesting level exceeded "
                "(limit 32).");
        }
        const TableDef* next = catalog.FindTable(at->viewBaseSchema, at->viewBaseName);
        if (!next) FailNoTable(at->viewBaseName);
        if (!next->viewSql.empty()) {
            for (std::string& c : *columns) {
                const int i = c.empty() ? -1 : next->ColumnIndex(c);
                c = i < 0 || static_cast<size_t>(i) >= next->viewBaseColumns.size()
                        ? std::string()
                        : next->viewBaseColumns[static_cast<size_t>(i)];
            }
        }
        *schema = at->viewBaseSchema;
        at = next;
    }
    return at;
}

// The table an INSERT, UPDATE or DELETE names. A view is written through to
// its table: `view` gets the view and `columns` the table's column behind
// each of the view's (null `view` refuses a view).
void ResolveTarget(const ObjectName& name, BindCatalog& catalog, BoundTarget& t,
                   const TableDef** view = nullptr, std::vector<std::string>* columns = nullptr) {
    t.schema =
        name.Database().empty() ? catalog.CurrentSchema() : catalog.SchemaFor(name.Database());
    t.table = catalog.FindTable(t.schema, LookupName(name));
    if (!t.table) FailNoTable(WrittenName(name));
    if (!t.table->viewSql.empty()) {
        CheckWritable(*t.table, WrittenName(name));
        if (!view) Fail("View or function '" + WrittenName(name) + "' cannot be written here.");
        *view = t.table;
        t.table = WrittenTable(t.table, WrittenName(name), catalog, &t.schema, columns);
    }
}

// The table an UPDATE or DELETE changes, bound against its FROM as the
// server binds it: a source of the FROM exposed under the target's name is
// the target; else the one reference to the target's table (the unaliased
// one when there are several); else the target joins the FROM as one more
// table, exposed under its own name. Gives the names SET and WHERE see.
Scope BindTarget(const Stmt& stmt, Binder& binder, BindCatalog& catalog, BoundStatement& out) {
    BoundTarget& t = out.target;
    Scope scope;
    if (stmt.from.empty()) {
        ResolveTarget(stmt.table, catalog, t, &t.view, &t.viewColumns);
        if (t.view) {
            if (t.view->viewRowIdSql.empty()) FailNoRowIds(WrittenName(stmt.table));
            // Through a view: its rows (with the table's row ids) are the
            // FROM, exposed under the view's name, and hold the target.
            auto src = std::make_unique<BoundSource>();
            src->table = t.view;
            src->schema = stmt.table.Database().empty() ? catalog.CurrentSchema()
                                                        : catalog.SchemaFor(stmt.table.Database());
            src->alias = stmt.table.name;
            src->writeThrough = true;
            t.inFrom = src.get();
            scope.sources.push_back(src.get());
            auto ref = std::make_unique<BoundTableRef>();
            ref->source = std::move(src);
            out.from.push_back(std::move(ref));
            return scope;
        }
        t.own = OwnSource(t.schema, t.table);
        scope.sources.push_back(t.own.get());
        return scope;
    }
    Scope from;
    for (const TableRefPtr& ref : stmt.from) out.from.push_back(binder.TableRef(*ref, from));
    const BoundSource* hit = nullptr;
    if (stmt.table.db.empty() && stmt.table.schema.empty()) {
        for (const BoundSource* s : from.sources) {
            if (IEquals(s->alias, stmt.table.name)) hit = s;
        }
        if (hit && !hit->table) FailNoTable(stmt.table.name);
    }
    if (hit) {
        t.schema = hit->schema;
        t.table = hit->table;
        if (!t.table->viewSql.empty()) {
            CheckWritable(*t.table, stmt.table.name);
            t.view = t.table;
            t.table = WrittenTable(t.view, stmt.table.name, catalog, &t.schema, &t.viewColumns);
            if (t.view->viewRowIdSql.empty()) FailNoRowIds(stmt.table.name);
            hit->writeThrough = true;
        }
    } else {
        ResolveTarget(stmt.table, catalog, t, &t.view, &t.viewColumns);
        if (t.view) {
            // A view named by the FROM under another name is the target.
            for (const BoundSource* s : from.sources) {
                if (s->table == t.view) hit = s;
            }
            if (!hit) {
                Fail("View or function '" + WrittenName(stmt.table) +
                     "' is written here only when the FROM names it.");
            }
            if (t.view->viewRowIdSql.empty()) FailNoRowIds(WrittenName(stmt.table));
            hit->writeThrough = true;
            t.inFrom = hit;
            return from;
        }
        int refs = 0, unaliased = 0;
        const BoundSource* bare = nullptr;
        for (const BoundSource* s : from.sources) {
            if (s->table != t.table || s->schema != t.schema) continue;
            ++refs;
            hit = s;
            if (!s->explicitAlias) {
                ++unaliased;
                bare = s;
            }
        }
        if (refs > 1) {
            if (unaliased != 1) Fail("The table '" + stmt.table.name + "' is ambiguous.");
            hit = bare;
        }
    }
    if (hit) {
        t.inFrom = hit;
        return from;
    }
    t.own = OwnSource(t.schema, t.table);
    scope.sources.push_back(t.own.get());
    for (const BoundSource* s : from.sources) scope.sources.push_back(s);
    return scope;
}

// Whether `qualifier` (of a SET column) names the target.
bool NamesTarget(const BoundTarget& t, const std::string& qualifier) {
    std::string q = LastPart(qualifier);
    if (!t.inFrom) return IEquals(q, t.table->name);
    return IEquals(q, t.inFrom->alias) || (!t.inFrom->explicitAlias && IEquals(q, t.table->name));
}

}  // namespace

ConvertPath ConversionPath(const TypeSpec& from, const TypeSpec& to, bool storing,
                           bool explicitCast) {
    if (IsUnknown(from)) return ConvertPath::Same;
    if (explicitCast && from.IsText() &&
        (to.kind == TypeKind::Char || to.kind == TypeKind::VarChar) &&
        (from.kind == TypeKind::Text || from.length <= 0 || from.length > to.length ||
         to.kind == TypeKind::Char)) {
        // Text that may be longer is cut (or CHAR padded) by the conversion.
        return ConvertPath::Full;
    }
    if (explicitCast && from.IsBinary() &&
        (to.kind == TypeKind::Binary || to.kind == TypeKind::VarBinary) &&
        (from.kind == TypeKind::Image || from.length <= 0 || from.length > to.length ||
         to.kind == TypeKind::Binary)) {
        // So are bytes: cut, or BINARY padded with zeros.
        return ConvertPath::Full;
    }
    // A REAL holds less than a FLOAT: the value is rounded, or overflows.
    if (to.kind == TypeKind::Real && from.kind != TypeKind::Real && !from.IsInteger() &&
        !from.IsScaled())
        return ConvertPath::Full;
    if (from == to && !(storing && to.IsText())) return ConvertPath::Same;
    const bool ints = from.IsInteger() && to.IsInteger();
    const bool wider = ints && IntegerRank(to.kind) >= IntegerRank(from.kind);
    if (!storing || (wider && from.kind != TypeKind::Bit)) {
        // Integers share one storage: only a narrowing write (or a number
        // becoming BIT) checks the value.
        if (ints && (wider || !storing) &&
            (storing || to.kind != TypeKind::Bit || from.kind == TypeKind::Bit)) {
            return ConvertPath::Same;
        }
        if (!storing) {
            if (SameStorage(from, to) && to.kind != TypeKind::Bit &&
                !(to.kind == TypeKind::Char && from.kind != TypeKind::Char) &&
                !(ints && IntegerRank(to.kind) < IntegerRank(from.kind))) {
                return ConvertPath::Same;
            }
            if (from.IsInteger() && from.kind != TypeKind::Bit && to.IsScaled())
                return ConvertPath::Scale;
            if (from.IsScaled() && to.kind == TypeKind::Float) return ConvertPath::Unscale;
        }
    }
    return ConvertPath::Full;
}

BoundStatement BindSelect(const SelectStmt& select, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Select;
    Binder b(catalog, out);
    b.With(select.with, select.maxRecursion);
    out.query = b.Query(select, nullptr, nullptr);
    return out;
}

BoundStatement BindInsert(const Stmt& stmt, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Insert;
    Binder b(catalog, out);
    b.With(stmt.with, stmt.maxRecursion);
    const TableDef* view = nullptr;
    std::vector<std::string> viewColumns;
    ResolveTarget(stmt.table, catalog, out.target, &view, &viewColumns);
    out.target.view = view;
    const TableDef& def = *out.target.table;
    const ColumnDef* identity = def.IdentityColumn();
    const bool identityOn = identity && catalog.IdentityInsertOn(out.target.schema, def.name);
    out.setsIdentity = identity != nullptr;
    // Through a view: the view's columns named (all of them when none is),
    // each the table's column behind it.
    std::vector<std::string> named = stmt.columns;
    if (view) {
        if (named.empty() && !stmt.defaultValues) {
            for (const ColumnDef& c : view->columns) named.push_back(c.name);
        }
        for (std::string& name : named) {
            const int v = view->ColumnIndex(name);
            if (v < 0) Fail("Invalid column name '" + name + "'.");
            name = viewColumns[static_cast<size_t>(v)];
            if (name.empty()) FailDerivedField(WrittenName(stmt.table));
        }
    }
    if (named.empty()) {
        if (identityOn && !stmt.defaultValues) {
            Fail("An explicit value for the identity column in table '" + def.name +
                 "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
        }
        for (size_t i = 0; i < def.columns.size(); ++i) {
            if (!def.columns[i].identity) out.columns.push_back(static_cast<int>(i));
        }
    } else {
        bool hasIdentity = false;
        for (const std::string& name : named) {
            const int c = def.ColumnIndex(name);
            if (c < 0) Fail("Invalid column name '" + name + "'.");
            const ColumnDef& col = def.columns[static_cast<size_t>(c)];
            if (std::find(out.columns.begin(), out.columns.end(), c) != out.columns.end()) {
                Fail("The column name '" + col.name +
                     "' is specified more than once in the SET clause or column list of an "
                     "INSERT. A column cannot be assigned more than one value in the same "
                     "clause. Modify the clause to make sure that a column is updated only "
                     "once. If this statement updates or inserts columns into a view, column "
                     "aliasing can conceal the duplication in your code.");
            }
            out.columns.push_back(c);
            hasIdentity |= col.identity;
        }
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
    if (stmt.defaultValues) {
        if (identityOn) {
            Fail("Explicit value must be specified for identity column in table '" + def.name +
                 "' either when IDENTITY_INSERT is set to ON or when a replication user is "
                 "inserting into a NOT FOR REPLICATION identity column.");
        }
        out.defaultValues = true;
        return out;
    }
    std::vector<TypeSpec> targets;
    for (int c : out.columns) targets.push_back(def.columns[static_cast<size_t>(c)].type);
    if (stmt.select) {
        out.query = b.Query(*stmt.select, nullptr, &targets);
        b.WriteTop(stmt);
        return out;
    }
    if (stmt.top) Fail("TOP in an INSERT with VALUES is not supported.");
    Scope empty;
    for (const auto& values : stmt.values) {
        if (values.size() != targets.size()) {
            if (stmt.columns.empty())
                Fail("Column name or number of supplied values does not match table definition.");
            if (values.size() < targets.size()) {
                Fail(
                    "There are more columns in the INSERT statement than values specified in "
                    "the VALUES clause. The number of values in the VALUES clause must match "
                    "the number of columns specified in the INSERT statement.");
            }
            Fail(
                "There are fewer columns in the INSERT statement than values specified in the "
                "VALUES clause. The number of values in the VALUES clause must match the number "
                "of columns specified in the INSERT statement.");
        }
        std::vector<BoundExprPtr> row;
        for (size_t i = 0; i < values.size(); ++i)
            row.push_back(b.ConvertTo(b.Value(*values[i], empty), targets[i], true));
        out.rows.push_back(std::move(row));
    }
    return out;
}

BoundStatement BindUpdate(const Stmt& stmt, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Update;
    Binder b(catalog, out);
    b.With(stmt.with, stmt.maxRecursion);
    Scope scope = BindTarget(stmt, b, catalog, out);
    const TableDef& def = *out.target.table;
    const TableDef* view = out.target.view;
    for (size_t i = 0; i < stmt.sets.size(); ++i) {
        const auto& [name, expr] = stmt.sets[i];
        const std::string& qualifier =
            i < stmt.setQualifiers.size() ? stmt.setQualifiers[i] : std::string();
        if (!qualifier.empty() && !NamesTarget(out.target, qualifier)) {
            Fail("The multi-part identifier \"" + qualifier + "." + name +
                 "\" could not be bound.");
        }
        int c = -1;
        if (view) {
            // The view's column, and the table's behind it.
            const int v = view->ColumnIndex(name);
            if (v < 0) Fail("Invalid column name '" + name + "'.");
            const std::string& base = out.target.viewColumns[static_cast<size_t>(v)];
            if (base.empty()) FailDerivedField(WrittenName(stmt.table));
            c = def.ColumnIndex(base);
        } else {
            c = def.ColumnIndex(name);
        }
        if (c < 0) Fail("Invalid column name '" + name + "'.");
        const ColumnDef& col = def.columns[static_cast<size_t>(c)];
        if (col.identity) Fail("Cannot update identity column '" + col.name + "'.");
        out.sets.emplace_back(c, b.ConvertTo(b.Value(*expr, scope), col.type, true));
    }
    if (stmt.where) out.expr = b.Predicate(*stmt.where, scope);
    b.WriteTop(stmt);
    return out;
}

BoundStatement BindDelete(const Stmt& stmt, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Delete;
    Binder b(catalog, out);
    b.With(stmt.with, stmt.maxRecursion);
    Scope scope = BindTarget(stmt, b, catalog, out);
    if (stmt.where) out.expr = b.Predicate(*stmt.where, scope);
    b.WriteTop(stmt);
    return out;
}

BoundStatement BindScalar(const Expr& expr, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Scalar;
    Binder b(catalog, out);
    out.expr = b.Value(expr, Scope{});
    return out;
}

BoundStatement BindCondition(const Expr& condition, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Condition;
    Binder b(catalog, out);
    out.expr = b.Predicate(condition, Scope{});
    return out;
}

BoundStatement BindIndexFilter(const Expr& condition, const TableDef& table, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Condition;
    Binder b(catalog, out, true);
    out.target.table = &table;
    out.target.own = std::make_unique<BoundSource>();
    out.target.own->table = &table;
    out.target.own->alias = table.name;
    Scope scope;
    scope.sources.push_back(out.target.own.get());
    out.expr = b.Predicate(condition, scope);
    if (!out.params.empty())
        Fail("A filtered index condition may hold only columns and constants.");
    return out;
}

BoundStatement BindView(const SelectStmt& select, BindCatalog& catalog) {
    BoundStatement out;
    out.kind = BoundStatement::Kind::Select;
    Binder b(catalog, out, true);
    out.query = b.Query(select, nullptr, nullptr);
    for (const BoundParam& p : out.params) {
        if (p.source != BoundParam::Source::Variable) continue;
        // The session values (@@SPID, ...) are bound when a statement runs,
        // which a view's text inside another statement cannot take part in.
        if (p.variable.rfind("@@", 0) == 0)
            Fail("A view cannot read " + p.variable + " here; select it where the view is read.");
        Fail("Must declare the scalar variable \"" + p.variable + "\".");
    }
    if (!out.params.empty()) Fail("A view may hold only columns and constants.");
    return out;
}

TypeSpec LiteralTypeOf(const Expr& lit) {
    switch (lit.literal) {
        case LiteralKind::Null:
            return {};
        case LiteralKind::Integer: {
            errno = 0;
            char* end = nullptr;
            unsigned long long v = std::strtoull(lit.text.c_str(), &end, 10);
            if (errno == 0 && v <= 2147483647ULL) return Raw(TypeKind::Int);
            if (errno == 0 && v <= 9223372036854775807ULL) return Raw(TypeKind::BigInt);
            uint8_t p = static_cast<uint8_t>(std::min<size_t>(38, lit.text.size()));
            return Raw(TypeKind::Decimal, 0, p, 0);
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
            return Raw(TypeKind::Decimal, 0, static_cast<uint8_t>(std::min<size_t>(38, p)),
                       static_cast<uint8_t>(std::min<size_t>(38, scale)));
        }
        case LiteralKind::Float:
            return Raw(TypeKind::Float, 0, 53);
        case LiteralKind::Money:
            return Raw(TypeKind::Money, 0, 19, 4);
        case LiteralKind::String:
            return Raw(TypeKind::VarChar,
                       std::max<int32_t>(1, static_cast<int32_t>(lit.text.size())));
        case LiteralKind::Hex:
            return Raw(TypeKind::VarBinary,
                       std::max<int32_t>(1, static_cast<int32_t>((lit.text.size() + 1) / 2)));
    }
    return {};
}

Value LiteralValueOf(const Expr& lit) {
    switch (lit.literal) {
        case LiteralKind::Null:
            return Value::Null();
        case LiteralKind::Integer: {
            TypeSpec t = LiteralTypeOf(lit);
            if (t.kind == TypeKind::Decimal)
                return Value::Real(std::strtod(lit.text.c_str(), nullptr));
            return Value::Int(static_cast<int64_t>(std::strtoull(lit.text.c_str(), nullptr, 10)));
        }
        case LiteralKind::Decimal: {
            TypeSpec t = LiteralTypeOf(lit);
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
            return Convert(v, Raw(TypeKind::VarChar, static_cast<int32_t>(lit.text.size())),
                           Raw(TypeKind::Money, 0, 19, 4));
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
            for (size_t i = 0; i < hex.size(); i += 2)
                bytes += static_cast<char>(nib(hex[i]) * 16 + nib(hex[i + 1]));
            return Value::Blob(std::move(bytes));
        }
    }
    return Value::Null();
}

}  // namespace xr::tsql
