// The binder alone, over a catalog of table definitions: what running SQL
// cannot show, the conversions it makes explicit and the base columns of
// select-list items.
#include "tsql/binder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"
#include "tsql/parser.h"

namespace xr::tsql {
namespace {

ColumnDef Col(const char* name, const char* type, bool notNull = false, bool identity = false) {
    ColumnDef c;
    c.name = name;
    EXPECT_TRUE(TypeSpec::Parse(type, &c.type)) << type;
    c.type = c.type.Sized(1);
    c.notNull = notNull;
    c.identity = identity;
    return c;
}

// Table definitions of one database, and the session's variables.
class DefinitionCatalog : public BindCatalog {
public:
    DefinitionCatalog() {
        Add("T",
            {Col("I", "INT", true), Col("S", "SMALLINT"), Col("D", "DECIMAL(5,2)"),
             Col("E", "DECIMAL(10,4)"), Col("M", "MONEY"), Col("F", "FLOAT"),
             Col("V", "VARCHAR(10)"), Col("C", "CHAR(4)"), Col("DT", "DATETIME"), Col("B", "BIT")});
        Add("U", {Col("I", "INT", true), Col("W", "VARCHAR(20)")});
        Add("Ids", {Col("ID", "INT", true, true), Col("N", "VARCHAR(5)")});
        TypeSpec::Parse("INT", &m_int);
    }
    std::string SchemaFor(std::string_view database) override {
        if (!IEquals(database, "DB")) throw ComError(DB_E_ERRORSINCOMMAND, "no database");
        return "DB";
    }
    std::string CurrentSchema() override { return "DB"; }
    const TableDef* FindTable(const std::string& schema, std::string_view name) override {
        auto it = m_tables.find(ToUpper(name));
        return schema == "DB" && it != m_tables.end() ? &it->second : nullptr;
    }
    const TypeSpec* VariableType(std::string_view name) override {
        return IEquals(name, "@n") ? &m_int : nullptr;
    }
    bool IdentityInsertOn(const std::string&, std::string_view) override { return false; }

private:
    void Add(const char* name, std::vector<ColumnDef> columns) {
        TableDef t;
        t.db = "DB";
        t.name = name;
        t.columns = std::move(columns);
        m_tables[ToUpper(name)] = std::move(t);
    }
    std::map<std::string, TableDef> m_tables;
    TypeSpec m_int;
};

// Binds a SELECT, keeping its parse tree alive in *keep.
BoundStatement Bind(const std::string& sql, BindCatalog& catalog, Batch* keep) {
    *keep = Parse(sql);
    return BindSelect(*keep->statements.at(0)->select, catalog);
}

std::string TypeText(const TypeSpec& t) {
    if (t.kind == TypeKind::Decimal)
        return "DECIMAL(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    return t.ToString();
}

// A compact form of a bound value: columns as table.column, parameters as
// ?(type->target), conversions done by the statement as {value->type}.
std::string Show(const BoundExpr& e, const BoundStatement& b) {
    switch (e.kind) {
        case BoundKind::Column:
            return e.source->alias + "." + e.source->ColumnName(e.column);
        case BoundKind::Param: {
            const BoundParam& p = b.params[static_cast<size_t>(e.param)];
            return "?(" + TypeText(p.valueType) + (p.convert ? "->" + TypeText(p.target) : "") +
                   ")";
        }
        case BoundKind::Convert:
            if (e.atBind || e.path == ConvertPath::Same) return Show(*e.args[0], b);
            return "{" + Show(*e.args[0], b) + "->" + TypeText(e.type) + "}";
        case BoundKind::Compare:
            return Show(*e.args[0], b) + " = " + Show(*e.args[1], b);
        default:
            return "expr";
    }
}

// The types of expressions over columns run in conformance/arithmetic.test and
// union.test; BIT arithmetic is this engine's own.
TEST(Binder, SelectListItemsAreNamedAndTypedAfterTheColumnsTheyRead) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"SELECT I FROM T", "I", "T.I", "INTEGER"},
        {"SELECT x.I FROM T x", "I", "T.I", "INTEGER"},
        {"SELECT d.W FROM (SELECT W FROM U) d", "W", "U.W", "VARCHAR(20)"},
        {"SELECT d.v FROM (SELECT W AS v FROM U) d", "v", "U.W", "VARCHAR(20)"},
        {"SELECT I AS z FROM T", "z", "T.I", "INTEGER"},
        {"SELECT I + 1 FROM T", "", ".", "INTEGER"},
        {"SELECT B + B FROM T", "", ".", "INTEGER"},
    };
    DefinitionCatalog catalog;
    for (const auto& [sql, name, base, type] : cases) {
        SCOPED_TRACE(sql);
        Batch batch;
        BoundStatement b = Bind(sql, catalog, &batch);
        const BoundColumn& col = b.query->Items().at(0).column;
        EXPECT_EQ(col.name, name);
        EXPECT_EQ(col.baseTable + "." + col.baseColumn, base);
        EXPECT_EQ(TypeText(col.type), type);
    }
}

TEST(Binder, ComparisonsConvertTheConstantToTheColumnOrBothToTheCommonType) {
    const std::pair<const char*, const char*> cases[] = {
        // A constant that fits takes the column's type, so an index on it serves.
        {"I = 1", "T.I = ?(INTEGER->INTEGER)"},
        {"D = 1.5", "T.D = ?(DECIMAL(2,1)->DECIMAL(5,2))"},
        {"V = 'ab'", "T.V = ?(VARCHAR(2)->VARCHAR(10))"},
        {"DT = '20000101'", "T.DT = ?(VARCHAR(8)->DATETIME)"},
        {"I = @n", "T.I = ?(INTEGER->INTEGER)"},
        // One that does not fit: both go to the type of higher precedence.
        {"D = 1.234", "{T.D->DECIMAL(6,3)} = ?(DECIMAL(4,3)->DECIMAL(6,3))"},
        {"I = 2.5", "{T.I->DECIMAL(11,1)} = ?(DECIMAL(2,1)->DECIMAL(11,1))"},
        // Two columns: the same storage compares as it is; text against a
        // number is read as the number.
        {"S = I", "T.S = T.I"},
        {"V = I", "{T.V->INTEGER} = T.I"},
        {"M = F", "{T.M->FLOAT} = T.F"},
    };
    DefinitionCatalog catalog;
    for (const auto& [where, bound] : cases) {
        Batch batch;
        BoundStatement b = Bind(std::string("SELECT I FROM T WHERE ") + where, catalog, &batch);
        EXPECT_EQ(Show(*b.query->parts[0].where, b), bound) << where;
    }
}

}  // namespace
}  // namespace xr::tsql
