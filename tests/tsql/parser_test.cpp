// The T-SQL front end against what the set-up passes, the script runner and
// callers send: statement boundaries without separators, the fields the
// interpreter reads, literal numbering, and the server's error texts.
#include "tsql/parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tsql/lexer.h"

namespace xr::tsql {
namespace {

using SK = StmtKind;

// A compact rendering of an expression tree, so that structure and
// precedence can be compared as text.
std::string Dump(const Expr* e);

std::string DumpSelectHead(const SelectStmt& s) {
    std::string out = "select";
    for (const SelectItem& item : s.items) out.append(" ").append(Dump(item.expr.get()));
    return out;
}

std::string Dump(const Expr* e) {
    if (!e) return "_";
    static const char* kOps[] = {"neg", "pos", "not", "~",  "+", "-",  "*", "/",  "%",   "&",
                                 "|",   "^",   "=",   "<>", "<", "<=", ">", ">=", "and", "or"};
    std::string args;
    for (const ExprPtr& a : e->args) args += " " + Dump(a.get());
    switch (e->kind) {
        case ExprKind::Literal:
            switch (e->literal) {
                case LiteralKind::Null:
                    return "NULL";
                case LiteralKind::String:
                    return "'" + e->text + "'";
                case LiteralKind::Hex:
                    return "0x" + e->text;
                case LiteralKind::Money:
                    return "$" + e->text;
                default:
                    return e->text;
            }
        case ExprKind::Variable:
            return e->name;
        case ExprKind::Column:
            return e->qualifier.empty() ? e->name : e->qualifier + "." + e->name;
        case ExprKind::Star:
            return e->qualifier.empty() ? "*" : e->qualifier + ".*";
        case ExprKind::Unary:
        case ExprKind::Binary:
            return "(" + std::string(kOps[static_cast<int>(e->op)]) + args + ")";
        case ExprKind::Function:
            return e->name + "(" + (e->distinct ? "distinct" : "") + args + ")";
        case ExprKind::Cast:
            return "cast(" + e->typeText + args + ")";
        case ExprKind::Subquery:
            return "(" + DumpSelectHead(*e->select) + ")";
        case ExprKind::Exists:
            return "(exists " + DumpSelectHead(*e->select) + ")";
        case ExprKind::InList:
            return std::string(e->negated ? "(notin" : "(in") + args + ")";
        case ExprKind::InSelect:
            return std::string(e->negated ? "(notin" : "(in") + args + " " +
                   DumpSelectHead(*e->select) + ")";
        case ExprKind::Between:
            return std::string(e->negated ? "(notbetween" : "(between") + args + ")";
        case ExprKind::Like:
            return std::string(e->negated ? "(notlike" : "(like") + args + ")";
        case ExprKind::IsNull:
            return std::string(e->negated ? "(isnotnull" : "(isnull") + args + ")";
        case ExprKind::Case:
            return std::string(e->hasElse ? "(case/else" : "(case") + args + ")";
    }
    return "?";
}

std::string Slice(const Batch& b, const Stmt& s) {
    return b.text.substr(s.pos.offset, s.endOffset - s.pos.offset);
}

std::string ErrorOf(std::string_view text) {
    try {
        Parse(text);
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
        return e.Description();
    }
    return "(parsed)";
}

// ---- Statement boundaries of the special batches -----------------------------

const char kLoyalty5[] =
    "DROP TABLE BLA SELECT syscolumns.name, object_name(sysconstraints.constid) AS Constname INTO "
    "BLA FROM sysconstraints INNER JOIN syscolumns  ON (sysconstraints.id = object_id('Loyalty5') "
    "AND sysconstraints.id = syscolumns.id AND sysconstraints.colid = syscolumns.colid AND "
    "sysconstraints.status = 133141) WHERE syscolumns.name='LogType' DECLARE @V1 AS VARCHAR(100) "
    "DEALLOCATE C1 DECLARE C1 CURSOR SCROLL FOR SELECT ConstName FROM BLA OPEN C1 FETCH FIRST FROM "
    "c1 INTO @V1 EXEC ('ALTER TABLE Loyalty5 DROP Constraint ' +  @V1) ALTER TABLE Loyalty5 DROP "
    "COLUMN LogType";

TEST(TsqlParserBatch, Loyalty5StatementsEndWhereTheNextKeywordBegins) {
    Batch b = Parse(kLoyalty5);
    const std::vector<std::pair<SK, std::string>> expected = {
        {SK::DropTable, "DROP TABLE BLA"},
        {SK::Select, std::string(kLoyalty5).substr(15, 320)},
        {SK::Declare, "DECLARE @V1 AS VARCHAR(100)"},
        {SK::DeallocateCursor, "DEALLOCATE C1"},
        {SK::DeclareCursor, "DECLARE C1 CURSOR SCROLL FOR SELECT ConstName FROM BLA"},
        {SK::OpenCursor, "OPEN C1"},
        {SK::FetchCursor, "FETCH FIRST FROM c1 INTO @V1"},
        {SK::Exec, "EXEC ('ALTER TABLE Loyalty5 DROP Constraint ' +  @V1)"},
        {SK::AlterTable, "ALTER TABLE Loyalty5 DROP COLUMN LogType"},
    };
    ASSERT_EQ(b.statements.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(b.statements[i]->kind, expected[i].first) << i;
        EXPECT_EQ(Slice(b, *b.statements[i]), expected[i].second) << i;
    }
    const Stmt& cursor = *b.statements[4];
    EXPECT_EQ(cursor.cursor, "C1");
    EXPECT_TRUE(cursor.scroll);
    EXPECT_EQ(cursor.select->from[0]->table.name, "BLA");
    const Stmt& fetch = *b.statements[6];
    EXPECT_EQ(fetch.direction, FetchDirection::First);
    EXPECT_EQ(fetch.cursor, "c1");
    EXPECT_EQ(fetch.intoVars, std::vector<std::string>{"@V1"});
    EXPECT_EQ(Dump(b.statements[7]->value.get()),
              "(+ 'ALTER TABLE Loyalty5 DROP Constraint ' @V1)");
    EXPECT_EQ(b.statements[8]->alter, AlterAction::DropColumn);
    EXPECT_EQ(b.statements[8]->names, std::vector<std::string>{"LogType"});
}

// ---- Single statements of the inventory, by kind and key fields -----------------

struct Case {
    const char* text;
    SK kind;
    const char* check;  // a summary of the fields the case is about
};

std::string Summary(const Stmt& s) {
    std::string out;
    auto add = [&out](const std::string& part) { out += (out.empty() ? "" : " ") + part; };
    switch (s.kind) {
        case SK::Select: {
            const SelectStmt& q = *s.select;
            add(DumpSelectHead(q));
            for (const SelectItem& i : q.items) {
                if (!i.alias.empty()) add("as:" + i.alias);
                if (!i.assignTo.empty()) add("to:" + i.assignTo);
            }
            if (q.top) add(std::string("top:") + Dump(q.top.get()) + (q.topPercent ? "%" : ""));
            if (q.distinct) add("distinct");
            for (const TableRefPtr& f : q.from) {
                if (f->join != JoinType::None) {
                    add("join:" + std::to_string(static_cast<int>(f->join)) + ":" +
                        f->left->table.name + "/" + f->right->alias + ":" + Dump(f->on.get()));
                } else {
                    add("from:" + f->table.db + "." + f->table.schema + "." + f->table.name +
                        (f->alias.empty() ? "" : "/" + f->alias) + (f->derived ? "(derived)" : ""));
                }
            }
            if (q.where) add("where:" + Dump(q.where.get()));
            for (const ExprPtr& g : q.groupBy) add("group:" + Dump(g.get()));
            if (q.having) add("having:" + Dump(q.having.get()));
            for (const OrderItem& o : q.orderBy)
                add("order:" + Dump(o.expr.get()) + (o.descending ? "-" : ""));
            if (q.unionNext)
                add(std::string(q.unionAll ? "unionall:" : "union:") +
                    DumpSelectHead(*q.unionNext));
            return out;
        }
        case SK::Insert:
            add(s.table.name);
            for (const std::string& c : s.columns) add("c:" + c);
            for (const auto& row : s.values) {
                std::string r = "row:";
                for (const ExprPtr& v : row) r += Dump(v.get()) + ",";
                add(r);
            }
            if (s.select) add(DumpSelectHead(*s.select));
            if (s.defaultValues) add("default");
            return out;
        case SK::Update:
            add(s.table.name);
            for (const auto& [c, v] : s.sets) add(c + "=" + Dump(v.get()));
            if (s.where) add("where:" + Dump(s.where.get()));
            return out;
        case SK::Delete:
            add(s.table.name);
            if (s.where) add("where:" + Dump(s.where.get()));
            return out;
        case SK::CreateTable:
        case SK::AlterTable:
            add(s.table.db + "." + s.table.name);
            if (s.kind == SK::AlterTable) add("a" + std::to_string(static_cast<int>(s.alter)));
            for (const ColumnDefAst& c : s.columnDefs) {
                std::string d = c.name + ":" + c.typeText;
                if (c.identity)
                    d += ":id" + std::to_string(c.identitySeed) + "," +
                         std::to_string(c.identityIncrement);
                if (c.nullable) d += *c.nullable ? ":null" : ":notnull";
                if (c.defaultExpr)
                    d += ":def" + (c.defaultName.empty() ? "" : "[" + c.defaultName + "]") + "=" +
                         Dump(c.defaultExpr.get());
                if (c.primaryKey) d += ":pk[" + c.keyName + "]";
                if (c.unique) d += ":unique";
                add(d);
            }
            for (const ConstraintAst& c : s.constraints) {
                std::string d = "k" + std::to_string(static_cast<int>(c.kind)) + "[" + c.name + "]";
                for (const std::string& col : c.columns) d += ":" + col;
                if (c.defaultExpr) d += "=" + Dump(c.defaultExpr.get());
                add(d);
            }
            for (const std::string& n : s.names) add("drop:" + n);
            return out;
        case SK::CreateIndex:
            add(std::string(s.unique ? "unique " : "") + s.indexName + " on " + s.table.name);
            for (size_t i = 0; i < s.columns.size(); ++i)
                add(s.columns[i] + (s.descending[i] ? "-" : ""));
            if (s.where) add("where:" + Dump(s.where.get()));
            return out;
        case SK::DropTable:
        case SK::DropIndex:
            for (size_t i = 0; i < s.names.size(); ++i) add(s.objects[i].name + "/" + s.names[i]);
            return out;
        case SK::CreateDatabase:
        case SK::DropDatabase:
        case SK::Use:
            return s.database;
        case SK::ExecProc:
            add(s.procedure.db + "." + s.procedure.name);
            if (!s.returnVar.empty()) add("rc:" + s.returnVar);
            for (const ProcArg& a : s.args)
                add(a.paramName + (a.paramName.empty() ? "" : "=") + Dump(a.value.get()) +
                    (a.output ? ":out" : ""));
            return out;
        case SK::SetOption:
            for (const std::string& n : s.names) add(n);
            add(s.value ? Dump(s.value.get()) : s.on ? "ON" : "OFF");
            if (!s.table.empty()) add(s.table.name);
            return out;
        case SK::SetVariable:
            return s.variable + " " + std::to_string(static_cast<int>(s.setOp)) + " " +
                   Dump(s.value.get());
        case SK::FetchCursor:
            add(std::to_string(static_cast<int>(s.direction)) + ":" + s.cursor);
            if (s.fetchOffset) add(Dump(s.fetchOffset.get()));
            for (const std::string& v : s.intoVars) add(v);
            return out;
        case SK::DeclareCursor:
            return s.cursor + (s.scroll ? " scroll" : "") + (s.localCursor ? " local" : "") + " " +
                   DumpSelectHead(*s.select);
        case SK::Print:
        case SK::Return:
        case SK::Exec:
            return Dump(s.value.get());
        default:
            return out;
    }
}

class TsqlParserStatement : public ::testing::TestWithParam<Case> {};

TEST_P(TsqlParserStatement, Fields) {
    const Case& c = GetParam();
    Batch b = Parse(c.text);
    ASSERT_EQ(b.statements.size(), 1u) << c.text;
    EXPECT_EQ(b.statements[0]->kind, c.kind) << c.text;
    EXPECT_EQ(Summary(*b.statements[0]), c.check) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Inventory, TsqlParserStatement,
    ::testing::Values(
        // Database level and CREATE TABLE.
        Case{"CREATE DATABASE LORIMDB82 ON "
             "(NAME=LORIMDB82,FILENAME='C:\\MSSQL7\\DATA\\LORIMDB82.MDF')",
             SK::CreateDatabase, "LORIMDB82"},
        Case{"CREATE DATABASE X ON PRIMARY (NAME=a, FILENAME='a'), (NAME=b) LOG ON (NAME=c)",
             SK::CreateDatabase, "X"},
        Case{
            "CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(40) DEFAULT "
            "'Description' NOT NULL\n, Price1 MONEY DEFAULT 0 NOT NULL\n, [FreeText] BIT DEFAULT 0 "
            "NOT NULL, V$SoldOut BIT DEFAULT 0 NOT NULL, KPImage IMAGE)",
            SK::CreateTable,
            ".Products PLU:BIGINT:notnull Description:VARCHAR(40):notnull:def='Description' "
            "Price1:MONEY:notnull:def=0 FreeText:BIT:notnull:def=0 V$SoldOut:BIT:notnull:def=0 "
            "KPImage:IMAGE"},
        Case{
            "CREATE TABLE Customers (ID INTEGER IDENTITY, Info INTEGER DEFAULT -1 NOT NULL, "
            "C CHAR(20) DEFAULT '00.00.00 00:00:00' NOT NULL, D DATETIME DEFAULT 0 NOT NULL, "
            "K BINARY(8) DEFAULT 0xFFFFFFFFFFFFFFFF NOT NULL, B INTEGER DEFAULT 0x00FF00 NOT NULL, "
            "P DECIMAL(5,2) DEFAULT 15 NOT NULL, F FLOAT(24) NULL)",
            SK::CreateTable,
            ".Customers ID:INTEGER:id1,1 Info:INTEGER:notnull:def=(neg 1) "
            "C:CHAR(20):notnull:def='00.00.00 00:00:00' D:DATETIME:notnull:def=0 "
            "K:BINARY(8):notnull:def=0xFFFFFFFFFFFFFFFF B:INTEGER:notnull:def=0x00FF00 "
            "P:DECIMAL(5,2):notnull:def=15 F:FLOAT(24):null"},
        Case{"create table t (a int identity(10, -2) constraint pk primary key clustered, b int "
             "constraint df default (5) unique, constraint pk2 primary key nonclustered (a desc, "
             "b), "
             "unique (b),)",
             SK::CreateTable, ".t a:int:id10,-2:pk[pk] b:int:def[df]=5:unique k0[pk2]:a:b k1[]:b"},
        // ALTER TABLE.
        Case{"ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU)",
             SK::AlterTable, ".Products a1 k0[ProductsPrimary]:PLU"},
        Case{
            "ALTER TABLE CfgTills ADD  CONSTRAINT KPAggregate1Dflt DEFAULT 0 FOR KPAggregate1, "
            "CONSTRAINT KPAggregate2Dflt DEFAULT 0 FOR KPAggregate2",
            SK::AlterTable,
            ".CfgTills a1 k2[KPAggregate1Dflt]:KPAggregate1=0 k2[KPAggregate2Dflt]:KPAggregate2=0"},
        Case{"ALTER TABLE FlexTextHdrs ALTER COLUMN [Default] VARCHAR(100) NOT NULL",
             SK::AlterTable, ".FlexTextHdrs a2 Default:VARCHAR(100):notnull"},
        Case{"ALTER TABLE Tillvars DROP CONSTRAINT TillVarsPrimary", SK::AlterTable,
             ".Tillvars a3 drop:TillVarsPrimary"},
        Case{"ALTER TABLE Loyalty5 DROP Constraint DF__Loyalty5__LogType__1A2B3C4D", SK::AlterTable,
             ".Loyalty5 a3 drop:DF__Loyalty5__LogType__1A2B3C4D"},
        Case{"ALTER TABLE t DROP COLUMN a, b", SK::AlterTable, ".t a4 drop:a drop:b"},
        // Indexes and DROP.
        Case{"CREATE UNIQUE INDEX ProductsIX1 ON Products  (Description, PLU)", SK::CreateIndex,
             "unique ProductsIX1 on Products Description PLU"},
        Case{"CREATE INDEX TranHistoryIX2 ON TranHistory (BookingId DESC) WHERE BookingId <> 0",
             SK::CreateIndex, "TranHistoryIX2 on TranHistory BookingId- where:(<> BookingId 0)"},
        Case{"DROP TABLE BLA, db..Other", SK::DropTable, "BLA/BLA Other/Other"},
        Case{"DROP INDEX Products.ProductsIX1, IX2 ON Barcodes", SK::DropIndex,
             "Products/ProductsIX1 Barcodes/IX2"},
        // SELECT.
        Case{"SELECT * FROM Products WHERE PLU=18446744073709551615", SK::Select,
             "select * from:..Products where:(= PLU 18446744073709551615)"},
        Case{
            "SELECT * FROM Printers WHERE TillNo=3 AND Name='it''s' ORDER BY Description DESC, PLU",
            SK::Select,
            "select * from:..Printers where:(and (= TillNo 3) (= Name 'it's')) "
            "order:Description- order:PLU"},
        Case{"SELECT IDENT_CURRENT('Customers') AS 'LastID'", SK::Select,
             "select IDENT_CURRENT( 'Customers') as:LastID"},
        Case{"SELECT DISTINCT TOP (5) PERCENT t.*, x = COUNT(*), @v = LEN(a) FROM T t", SK::Select,
             "select t.* COUNT( *) LEN( a) as:x to:@v top:5% distinct from:..T/t"},
        Case{"SELECT TOP 10 a.x c, \"b\".y AS [d e], 'z' 'f' FROM a LEFT OUTER JOIN b bb ON a.k = "
             "bb.k, (SELECT 1 AS one) AS dt",
             SK::Select,
             "select a.x b.y 'z' as:c as:d e as:f top:10 join:2:a/bb:(= a.k bb.k) "
             "from:../dt(derived)"},
        Case{"SELECT a, COUNT(DISTINCT b) FROM db.dbo.t GROUP BY a HAVING COUNT(*) > 1 UNION ALL "
             "SELECT 1, 2 ORDER BY 1",
             SK::Select,
             "select a COUNT(distinct b) from:db.dbo.t group:a having:(> COUNT( *) 1) order:1 "
             "unionall:select 1 2"},
        // INSERT, UPDATE, DELETE.
        Case{"INSERT INTO TimePlans VALUES (1, 'Auto entry for 1'), (2, N'x')", SK::Insert,
             "TimePlans row:1,'Auto entry for 1', row:2,'x',"},
        Case{"INSERT T([a],[b]) SELECT x, y FROM u", SK::Insert, "T c:a c:b select x y"},
        Case{"INSERT T DEFAULT VALUES", SK::Insert, "T default"},
        Case{"UPDATE Functions SET [Auth]=(SELECT [Auth] FROM Functions WHERE FuncNo=40) WHERE "
             "FuncNo=47",
             SK::Update, "Functions Auth=(select Auth) where:(= FuncNo 47)"},
        Case{"DELETE FROM FlexTextHdrs WHERE [TextName] LIKE 'TestText%'", SK::Delete,
             "FlexTextHdrs where:(like TextName 'TestText%')"},
        // Procedures, options, cursors.
        Case{"EXEC sp_addlogin 'BrantUK', 'marigold','LorimDB81'", SK::ExecProc,
             ".sp_addlogin 'BrantUK' 'marigold' 'LorimDB81'"},
        Case{"sp_rename 'CfgTills.[KPAggregate1]', 'KPLayout1', 'COLUMN'", SK::ExecProc,
             ".sp_rename 'CfgTills.[KPAggregate1]' 'KPLayout1' 'COLUMN'"},
        Case{"EXECUTE @rc = master..p @a = -1, @b = @x OUTPUT, NULL, [Name], 0x1F", SK::ExecProc,
             "master.p rc:@rc @a=(neg 1) @b=@x:out NULL 'Name' 0x1F"},
        Case{"SET DATEFORMAT dmy", SK::SetOption, "DATEFORMAT 'dmy'"},
        Case{"SET ANSI_NULLS, QUOTED_IDENTIFIER OFF", SK::SetOption,
             "ANSI_NULLS QUOTED_IDENTIFIER OFF"},
        Case{"SET IDENTITY_INSERT dbo.Customers OFF", SK::SetOption,
             "IDENTITY_INSERT OFF Customers"},
        Case{"SET TRANSACTION ISOLATION LEVEL read committed", SK::SetOption,
             "TRANSACTION ISOLATION LEVEL 'READ COMMITTED'"},
        Case{"SET @KPI += 2", SK::SetVariable, "@KPI 4 2"},
        Case{"FETCH NEXT FROM GLOBAL c INTO @a, @b", SK::FetchCursor, "0:c @a @b"},
        Case{"FETCH ABSOLUTE -2 FROM c", SK::FetchCursor, "4:c (neg 2)"},
        Case{"DECLARE c INSENSITIVE SCROLL CURSOR LOCAL STATIC READ_ONLY FOR SELECT a FROM t FOR "
             "READ "
             "ONLY",
             SK::DeclareCursor, "c scroll local select a"},
        Case{"PRINT 'x' + CONVERT(VARCHAR(10), GETDATE(), 121)", SK::Print,
             "(+ 'x' cast(VARCHAR(10) GETDATE() 121))"},
        Case{"RETURN", SK::Return, "_"}, Case{"EXEC ('SELECT 1')", SK::Exec, "'SELECT 1'"}));

// ---- Expressions ------------------------------------------------------------------

TEST(TsqlParserExpr, PrecedenceAndForms) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 + 2 * 3 - 4", "(- (+ 1 (* 2 3)) 4)"},
        {"-a * b + ~c * -d", "(+ (neg (* a b)) (* (~ c) (neg d)))"},
        {"a | b & c ^ d", "(^ (& (| a b) c) d)"},
        {"a = 1 OR b = 2 AND NOT c <> 3", "(or (= a 1) (and (= b 2) (not (<> c 3))))"},
        {"a !< 1 AND b !> 2 AND c != 3", "(and (and (>= a 1) (<= b 2)) (<> c 3))"},
        {"x NOT IN (1, 2) AND y IN (SELECT z FROM t)", "(and (notin x 1 2) (in y select z))"},
        {"x NOT BETWEEN 1 AND 2 AND y LIKE 'a!%' ESCAPE '!'",
         "(and (notbetween x 1 2) (like y 'a!%' '!'))"},
        {"a IS NOT NULL OR b IS NULL", "(or (isnotnull a) (isnull b))"},
        {"NOT EXISTS (SELECT 1)", "(not (exists select 1))"},
        {"CASE x WHEN 1 THEN 'a' ELSE 'b' END", "(case/else x 1 'a' 'b')"},
        {"CASE WHEN a > 1 THEN 2 END", "(case _ (> a 1) 2)"},
        {"ISNULL(@v, '') + object_name(id)", "(+ ISNULL( @v '') object_name( id))"},
        {"DATEPART(year, d) + YEAR(GETDATE())", "(+ DATEPART( year d) YEAR( GETDATE()))"},
        {"db..t.c + [t].[c] + @@IDENTITY + SCOPE_IDENTITY()",
         "(+ (+ (+ db..t.c t.c) @@IDENTITY) SCOPE_IDENTITY())"},
        {"$12.5 + 1e3 + .5 + 12. + 0x + NULL", "(+ (+ (+ (+ (+ $12.5 1e3) .5) 12.) 0x) NULL)"},
        {"LEFT(a, 2) + COALESCE(b, c) + CURRENT_TIMESTAMP",
         "(+ (+ LEFT( a 2) COALESCE( b c)) CURRENT_TIMESTAMP())"},
        {"((1))", "1"},
    };
    for (const auto& [text, expected] : cases) {
        Batch b = Parse(std::string("SELECT 0 WHERE ") + text);
        ASSERT_EQ(b.statements.size(), 1u) << text;
        EXPECT_EQ(Dump(b.statements[0]->select->where.get()), expected) << text;
    }
}

TEST(TsqlParserExpr, SourceExtentOfEveryExpression) {
    Batch b = Parse("SELECT 1 WHERE (a + 2) * 3 = -4");
    const Expr& cmp = *b.statements[0]->select->where;
    EXPECT_EQ(b.text.substr(cmp.pos.offset, cmp.length), "(a + 2) * 3 = -4");
    const Expr& mul = *cmp.args[0];
    EXPECT_EQ(b.text.substr(mul.pos.offset, mul.length), "(a + 2) * 3");
    const Expr& neg = *cmp.args[1];
    EXPECT_EQ(b.text.substr(neg.pos.offset, neg.length), "-4");
}

// ---- Literal numbering ------------------------------------------------------------

TEST(TsqlParserLiterals, NumberedPerOwningStatementInSourceOrder) {
    Batch b = Parse(
        "IF (SELECT [Name] FROM Functions WHERE FuncNo=135) = 'Set Room'\n"
        "  BEGIN DELETE FROM Functions WHERE [FuncNo]=135 END\n"
        "ELSE INSERT T VALUES (N'it''s', -7, 0x0A, $3, 1.5e2, NULL)");
    const Stmt& test = *b.statements[0];
    ASSERT_EQ(test.literals.size(), 2u);
    EXPECT_EQ(test.literals[0]->text, "135");
    EXPECT_EQ(test.literals[1]->text, "Set Room");
    EXPECT_EQ(test.thenStmt->literals.size(), 0u);
    EXPECT_EQ(test.thenStmt->body[0]->literals.size(), 1u);

    const Stmt& insert = *test.elseStmt;
    const std::vector<std::pair<LiteralKind, std::string>> expected = {
        {LiteralKind::String, "N'it''s'"}, {LiteralKind::Integer, "7"},
        {LiteralKind::Hex, "0x0A"},        {LiteralKind::Money, "$3"},
        {LiteralKind::Float, "1.5e2"},     {LiteralKind::Null, "NULL"}};
    ASSERT_EQ(insert.literals.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expr& lit = *insert.literals[i];
        EXPECT_EQ(lit.paramIndex, static_cast<int>(i));
        EXPECT_EQ(lit.literal, expected[i].first);
        EXPECT_EQ(b.text.substr(lit.pos.offset, lit.length), expected[i].second);
    }
    EXPECT_EQ(insert.literals[0]->text, "it's");
    EXPECT_EQ(insert.pos.line, 3u);
    EXPECT_EQ(insert.pos.column, 6u);
    EXPECT_EQ(insert.literals[1]->pos.column, 34u);
}

// ---- Lexical details -----------------------------------------------------------------

TEST(TsqlParserLexer, NamesNumbersAndComments) {
    Batch b = Parse(
        "/* a /* nested */ comment */ SELECT [a]]b], \"q\"\"x\", V$Dirty#@ -- to the end\n"
        "FROM #tmp WHERE x = 00000000000000000000012345678901234567890123456789012345678");
    const SelectStmt& q = *b.statements[0]->select;
    EXPECT_EQ(q.items[0].expr->name, "a]b");
    EXPECT_EQ(q.items[1].expr->name, "q\"x");
    EXPECT_EQ(q.items[2].expr->name, "V$Dirty#@");
    EXPECT_EQ(q.from[0]->table.name, "#tmp");
    EXPECT_EQ(q.where->args[1]->literal, LiteralKind::Integer);

    // 38 significant digits pass, 39 do not; a name of 128 characters passes, 129 do not.
    EXPECT_NO_THROW(Parse("SELECT " + std::string(38, '9')));
    EXPECT_NO_THROW(Parse("SELECT 1." + std::string(37, '9')));
    EXPECT_EQ(ErrorOf("SELECT " + std::string(39, '9')),
              "The number '" + std::string(39, '9') +
                  "' is out of the range for numeric representation (maximum precision 38). "
                  "(in SELECT, line 1, column 8)");
    EXPECT_NO_THROW(Parse("SELECT " + std::string(128, 'a')));
    EXPECT_EQ(ErrorOf("SELECT [" + std::string(129, 'a') + "]"),
              "The identifier that starts with '" + std::string(128, 'a') +
                  "' is too long. Maximum length is 128. (in SELECT, line 1, column 8)");
    EXPECT_EQ(LookupKeyword("Select"), Keyword::SELECT);
    EXPECT_TRUE(IsReserved(Keyword::FREETEXT));
    EXPECT_FALSE(IsReserved(Keyword::SCROLL));
    EXPECT_EQ(KeywordText(Keyword::NULL_), "NULL");
}

TEST(TsqlParserLexer, CommentEndsTheJoinedBatch) {
    // The runner joins lines: a "--" line comments out all that follows.
    Batch b = Parse(" DELETE FROM T WHERE K=1 --->GO DELETE FROM U");
    ASSERT_EQ(b.statements.size(), 1u);
    EXPECT_TRUE(Parse("  ;; -- nothing\n/* at all */").statements.empty());
    EXPECT_EQ(Parse("SELECT 1; SELECT 2;").statements.size(), 2u);
}

// ---- Errors -----------------------------------------------------------------------

TEST(TsqlParserErrors, ServerTextsWithConstructAndPosition) {
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT 'abc",
         "Unclosed quotation mark after the character string 'abc'. "
         "(in SELECT, line 1, column 8)"},
        {"SELECT 1\nFROM [t",
         "Unclosed quotation mark after the character string 't'. "
         "(in SELECT, line 2, column 6)"},
        {"SELECT 1 /* x /* y */", "Missing end comment mark '*/'. (in SELECT, line 1, column 10)"},
        {"CREATE TABLE T (a INTEGER,\n b INTEGER DEFAULT (1 NOT NULL)",
         "Incorrect syntax near the keyword 'NOT'. (in CREATE TABLE, line 2, column 23)"},
        {"SELECT (1 + 2", "Incorrect syntax near '2'. (in SELECT, line 1, column 13)"},
        {"SELECT 1 + 2)", "Incorrect syntax near ')'. (in SELECT, line 1, column 13)"},
        {"SELECT 1 * FROM t",
         "Incorrect syntax near the keyword 'FROM'. (in SELECT, line 1, column 12)"},
        {"UPDATE T SET WHERE a=1",
         "Incorrect syntax near the keyword 'WHERE'. (in UPDATE, line 1, column 14)"},
        {"INSERT T VALUES (1,)", "Incorrect syntax near ')'. (in INSERT, line 1, column 20)"},
        {"IF 1=1", "Incorrect syntax near '1'. (in IF, line 1, column 6)"},
        {"BEGIN SELECT 1", "Incorrect syntax near '1'. (in SELECT, line 1, column 14)"},
        {"SELECT 1 foo bar", "Incorrect syntax near 'bar'. (in SELECT, line 1, column 14)"},
        {"DELETE FROM T sp_who", "Incorrect syntax near 'sp_who'. (in DELETE, line 1, column 15)"},
        {"ELSE SELECT 1", "Incorrect syntax near the keyword 'ELSE'. (line 1, column 1)"},
        {"ALTER TABLE T DROP Constraint ",
         "Incorrect syntax near the keyword 'CONSTRAINT'. "
         "(in ALTER TABLE, line 1, column 20)"},
        {"SELECT 1 ! 2", "Incorrect syntax near '!'. (in SELECT, line 1, column 10)"},
        {"SELECT CAST(1 AS foo)",
         "Type foo is not a defined system type. (in SELECT, line 1, column 18)"},
        {"DECLARE @a INT, @b bogus(3)",
         "Column, parameter, or variable #2: Cannot find data type bogus. (in DECLARE, line 1, "
         "column 20)"},
        {"MERGE T USING U ON 1=1", "'MERGE' is not supported (line 1, column 1)"},
        {"SELECT 1 CREATE VIEW v AS SELECT 1",
         "'CREATE VIEW' must be the first statement in a query batch. (in CREATE VIEW, line 1, "
         "column 10)"},
        {"BEGIN CATCH SELECT 1 END CATCH", "'BEGIN CATCH' is not supported (line 1, column 1)"},
        {"BEGIN TRY SELECT 1 END TRY",
         "Incorrect syntax near 'TRY'. (in BEGIN TRY, line 1, column 24)"},
        {"SELECT 1 OPTION (FAST 1)", "'OPTION' is not supported (line 1, column 10)"},
        {"CREATE TABLE T (a INT DEFAULT 1 DEFAULT 2)",
         "Incorrect syntax near the keyword 'DEFAULT'. (in CREATE TABLE, line 1, column 33)"},
        {"SELECT [] FROM t",
         "An object or column name is missing or empty. (in SELECT, line 1, column 8)"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ErrorOf(text), expected) << text;
}

// Keywords are named in upper case whatever their spelling in the batch.
TEST(TsqlParserErrors, KeywordNamedUpperCase) {
    EXPECT_EQ(ErrorOf("select * from"),
              "Incorrect syntax near the keyword 'FROM'. (in SELECT, line 1, column 10)");
}

// Parentheses and signs nested too deep: Engine.DeepStatementsFailWithTheServersError.
TEST(TsqlParserErrors, DeepNestingIsRefusedNotOverflowed) {
    const std::string nested[] = {
        [] {
            std::string s = "SELECT 1 WHERE ";
            for (int i = 0; i < 3000; ++i) s += "NOT ";
            return s + "1=1";
        }(),
        [] {
            std::string s;
            for (int i = 0; i < 3000; ++i) s += "IF 1=1 ";
            return s + "SELECT 1";
        }(),
        [] {
            std::string s;
            for (int i = 0; i < 3000; ++i) s += "BEGIN ";
            return s;
        }(),
        [] {
            std::string s = "SELECT 1 WHERE a IN ";
            for (int i = 0; i < 3000; ++i) s += "(SELECT a FROM t WHERE a IN ";
            return s;
        }(),
    };
    for (const std::string& text : nested) {
        EXPECT_TRUE(
            ErrorOf(text).starts_with("Some part of your SQL statement is nested too deeply."))
            << text.substr(0, 40);
    }
    // A hundred levels are fine.
    EXPECT_NO_THROW(Parse("SELECT " + std::string(100, '(') + "1" + std::string(100, ')')));
}

// Whatever arrives, the parser answers with a tree or a ComError.
TEST(TsqlParserErrors, GarbageNeverCrashes) {
    std::mt19937 rng(12345);
    // The pieces, '|'-separated, and a NUL.
    std::vector<std::string> fragments = {std::string(1, '\0')};
    const std::string kPieces =
        "SELECT|FROM|WHERE|(|)|,|'|''|[|]|\"|/*|*/|--|\n| "
        "|@|@@x|0x|1e|.|..|$|N'|IF|ELSE|BEGIN|END|CASE|WHEN|THEN|NOT|IN|BETWEEN|AND|EXEC|=|<>|!|-|+"
        "|*|DECLARE|CURSOR|FOR|CREATE TABLE|ALTER "
        "TABLE|ADD|DROP|DEFAULT|INSERT|VALUES|SET|ON|OFF|FETCH|INTO|t|x|1|12.5|;|\xff|\x80";
    for (size_t at = 0, bar; at <= kPieces.size(); at = bar + 1) {
        bar = std::min(kPieces.find('|', at), kPieces.size());
        fragments.push_back(kPieces.substr(at, bar - at));
    }
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = static_cast<int>(rng() % 40);
        for (int i = 0; i < pieces; ++i) {
            if (rng() % 8 == 0) {
                text += static_cast<char>(rng() % 256);
            } else {
                text += fragments[rng() % fragments.size()];
                text += ' ';
            }
        }
        try {
            Batch b = Parse(text);
            for (const StmtPtr& s : b.statements) {
                ASSERT_LE(s->pos.offset, s->endOffset);
                ASSERT_LE(s->endOffset, b.text.size());
            }
        } catch (const ComError& e) {
            ASSERT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
            ASSERT_FALSE(e.Description().empty());
        }
    }
}

}  // namespace
}  // namespace xr::tsql
