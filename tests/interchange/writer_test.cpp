// The SQL script writer's texts, byte for byte: statement shapes, line
// breaking, value forms, V$DIRTY, keys, and the cases where the old writer
// produced SQL no server runs.
#include <cmath>
#include <functional>
#include <limits>

#include "../table/table_fixture.h"

namespace {

using xr::Variant;
using xrtest::CAnyTable;
using xrtest::TableTest;

// What `write` puts into a stream.
std::string Written(const std::function<void(std::FILE*)>& write) {
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* f = open_memstream(&buffer, &length);
    write(f);
    std::fclose(f);
    std::string text(buffer, length);
    std::free(buffer);
    return text;
}

class WriterTest : public TableTest {
protected:
    // The row `sql` selects, as the writer writes it in `mode` (2: upsert).
    std::string Script(CXRTable& t, const std::string& sql, int mode, int go = 1) {
        EXPECT_EQ(t.MoveFirst(sql.c_str()), 1) << sql;
        return Written([&](std::FILE* f) {
            if (mode == 2)
                EXPECT_EQ(t.AAScriptRecord(f), 1);
            else
                EXPECT_EQ(t.AAScriptRecord(f, mode, go), 1);
        });
    }
};

std::string Hex(int from, int count) {
    std::string s;
    for (int i = from; i < from + count; ++i) s += xr::Format("%02X", i & 255);
    return s;
}

// The statements of each mode (2: upsert) for the row of a table that `sql`
// makes or changes first; `go` 0 leaves the GO line out.
TEST_P(WriterTest, StatementShapesAndValueForms) {
    const std::string bin100 = "0x" + Hex(0, 34) + "\n" + Hex(34, 35) + "\n" + Hex(69, 31) + "\n";
    const struct {
        std::string sql, table, key;
        int mode, go;
        std::string text;
    } cases[] = {
        {"CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER, Name VARCHAR(20)) "
         "INSERT Depts VALUES (3, 1, 'Bar')",
         "Depts", "DptNo", 2, 1,
         " IF EXISTS (SELECT [DptNo] FROM Depts WHERE [DptNo]=3)\n UPDATE Depts\n"
         " SET [GrpNo]=1, [Name]='Bar'\n WHERE DptNo=3\n ELSE\n INSERT Depts\n"
         "([DptNo],[GrpNo],[Name])\n VALUES (3, 1, 'Bar')\n--->GO\n"},
        {"", "Depts", "DptNo", 1, 0,
         " INSERT Depts\n([DptNo],[GrpNo],[Name])\n VALUES (3, 1, 'Bar')\n"},
        {"", "Depts", "DptNo", 0, 1,
         " UPDATE Depts\n SET [GrpNo]=1, [Name]='Bar'\n WHERE DptNo=3\n--->GO\n"},
        {"", "Depts", "DptNo", -1, 1, "DELETE FROM Depts WHERE DptNo=3\n--->GO\n"},
        // A first column that is NULL: the lists still open without a separator.
        {"CREATE TABLE Grps (GrpNo INTEGER, Name VARCHAR(20)) INSERT Grps VALUES (NULL, 'Food')",
         "Grps", "Name", 1, 1, " INSERT Grps\n([Name])\n VALUES ('Food')\n--->GO\n"},
        {"", "Grps", "Name", 0, 1, ""},  // nothing to assign
        // A table without keys updates and deletes without WHERE.
        {"CREATE TABLE Cfg (Numb INTEGER, Vatr VARCHAR(10)) INSERT Cfg VALUES (1, 'x')", "Cfg", "",
         2, 1,
         " IF EXISTS (SELECT * FROM Cfg)\n UPDATE Cfg\n SET [Numb]=1, [Vatr]='x'\n ELSE\n"
         " INSERT Cfg\n([Numb],[Vatr])\n VALUES (1, 'x')\n--->GO\n"},
        {"", "Cfg", "", -1, 1, "DELETE FROM Cfg\n--->GO\n"},
        // Binary values break after 34 and then 35 bytes.
        {"CREATE TABLE Pics (ID INTEGER NOT NULL, Pic IMAGE) INSERT Pics VALUES (1, 0x" +
             Hex(0, 34) + ")",
         "Pics", "ID", 1, 1,
         " INSERT Pics\n([ID],[Pic])\n VALUES (1, 0x" + Hex(0, 34) + "\n)\n--->GO\n"},
        {"UPDATE Pics SET Pic = 0x" + Hex(0, 100), "Pics", "ID", 1, 1,
         " INSERT Pics\n([ID],[Pic])\n VALUES (1, " + bin100 + ")\n--->GO\n"},
        // Mode 5 assigns the binary column; mode 0 leaves it, and with nothing
        // else to assign writes no UPDATE at all.
        {"", "Pics", "ID", 5, 1, " UPDATE Pics\n SET [Pic]=" + bin100 + "\n WHERE ID=1\n--->GO\n"},
        {"", "Pics", "ID", 0, 1, ""},
        // In an upsert the UPDATE's line ends after the value.
        {"UPDATE Pics SET Pic = 0x0102", "Pics", "ID", 2, 1,
         " IF EXISTS (SELECT [ID] FROM Pics WHERE [ID]=1)\n UPDATE Pics\n SET [Pic]=0x0102\n\n"
         " WHERE ID=1\n ELSE\n INSERT Pics\n([ID],[Pic])\n VALUES (1, 0x0102\n)\n--->GO\n"},
        // V$Dirty is forced in inserts and left out of updates; NULL there
        // too, so that both lists name the column.
        {"CREATE TABLE Lists (ListNo INTEGER NOT NULL, Name VARCHAR(10), V$Dirty INTEGER, "
         "V$SoldOut INTEGER) INSERT Lists VALUES (1, 'a', 0, 5)",
         "Lists", "ListNo", 1, 1,
         " INSERT Lists\n([ListNo],[Name],[V$Dirty],[V$SoldOut])\n VALUES (1, 'a', 1, "
         "5)\n--->GO\n"},
        {"", "Lists", "ListNo", 0, 1, " UPDATE Lists\n SET [Name]='a'\n WHERE ListNo=1\n--->GO\n"},
        {"UPDATE Lists SET V$Dirty = NULL, V$SoldOut = NULL", "Lists", "ListNo", 1, 1,
         " INSERT Lists\n([ListNo],[Name],[V$Dirty])\n VALUES (1, 'a', 1)\n--->GO\n"},
        // Bigint keys are written in full.
        {"CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(20)) "
         "INSERT Products VALUES (12345678901, 'Ale')",
         "Products", "PLU", 2, 1,
         " IF EXISTS (SELECT [PLU] FROM Products WHERE [PLU]=12345678901)\n UPDATE Products\n"
         " SET [Description]='Ale'\n WHERE PLU=12345678901\n ELSE\n INSERT Products\n"
         "([PLU],[Description])\n VALUES (12345678901, 'Ale')\n--->GO\n"},
        {"", "Products", "PLU", -1, 1, "DELETE FROM Products WHERE PLU=12345678901\n--->GO\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table + " mode " + std::to_string(c.mode) + " after " + c.sql);
        if (!c.sql.empty()) Exec(c.sql);
        CAnyTable t(c.table, c.key);
        EXPECT_EQ(Script(t, "SELECT * FROM " + c.table, c.mode, c.go), c.text);
    }
    // Dates are days since 1900 with six decimals.
    Exec("CREATE TABLE Stamps (ID INTEGER NOT NULL, At DATETIME) INSERT Stamps VALUES (1, NULL)");
    CAnyTable stamps("Stamps", "ID");
    const std::pair<std::string, std::string> dates[] = {
        {"19000101", "0.000000"},  {"19000101 12:00", "0.500000"},  {"20000101", "36524.000000"},
        {"18991230", "-2.000000"}, {"18991229 06:00", "-2.750000"},
    };
    for (const auto& [at, days] : dates) {
        Exec("UPDATE Stamps SET At = '" + at + "'");
        EXPECT_EQ(Script(stamps, "SELECT * FROM Stamps", 1),
                  " INSERT Stamps\n([ID],[At])\n VALUES (1, " + days + ")\n--->GO\n")
            << at;
    }
    // Only the four modes, an open object and a stream write anything.
    CAnyTable closed("Depts", "DptNo"), d("Depts", "DptNo");
    ASSERT_EQ(d.MoveFirst("SELECT * FROM Depts"), 1);
    EXPECT_EQ(Written([&](std::FILE* f) {
                  EXPECT_EQ(closed.AAScriptRecord(f, 1, 1), 0);
                  EXPECT_EQ(closed.AAScriptRecord(f), 0);
                  EXPECT_EQ(d.AAScriptRecord(f, 2, 1), 0);
                  EXPECT_EQ(d.AAScriptRecord(nullptr, 1, 1), 0);
                  EXPECT_EQ(d.AAScriptRecord(nullptr), 0);
              }),
              "");
    EXPECT_EQ(Written([](std::FILE* f) { CXRTable::AAScriptGo(f); }), "--->GO\n");
    // A deleted row is not upserted.
    ASSERT_EQ(d.OpenTable(), 1);
    ASSERT_EQ(d.Delete(), 1);
    EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_EQ(d.AAScriptRecord(f), 1); }), "");
}

TEST_P(WriterTest, AnUpsertWithNothingToAssignStillRuns) {
    Exec("CREATE TABLE Keys (A INTEGER NOT NULL, B INTEGER NOT NULL) INSERT Keys VALUES (1, 2)");
    CAnyTable k("Keys", "A");
    k.m_keys[1] = "B";
    const std::string upsert = Script(k, "SELECT * FROM Keys", 2);
    EXPECT_EQ(upsert,
              " IF EXISTS (SELECT [A] FROM Keys WHERE [A]=1 AND [B]=2)\n PRINT ''\n ELSE\n"
              " INSERT Keys\n([A],[B])\n VALUES (1, 2)\n--->GO\n");
    const std::string path = PathOf("keys.sql");
    xrtest::WriteFile(path, upsert);
    ASSERT_EQ(DBExecSQLFile(path.c_str()), 1);  // the row is there: nothing happens
    Exec("DELETE FROM Keys");
    xrtest::ClearLog();
    ASSERT_EQ(DBExecSQLFile(path.c_str()), 1);  // now the INSERT runs
    EXPECT_TRUE(xrtest::g_log.empty()) << xrtest::g_log.front();
    EXPECT_EQ(Scalar("SELECT B FROM Keys WHERE A=1"), "2");
    EXPECT_EQ(Script(k, "SELECT * FROM Keys", -1), "DELETE FROM Keys WHERE A=1 AND B=2\n--->GO\n");
}

TEST_P(WriterTest, LongLogicalLinesBreakBeforeTheNextColumn) {
    std::string create = "CREATE TABLE Wide (ID INTEGER NOT NULL";
    for (int i = 1; i <= 12; ++i) create += xr::Format(", C%02d VARCHAR(10)", i);
    Exec(create + ")");
    std::string insert = "INSERT Wide VALUES (1";
    for (int i = 1; i <= 12; ++i) insert += ", 'abcdefghij'";
    Exec(insert + ")");
    CAnyTable w("Wide", "ID");
    const std::string v = "'abcdefghij'", five = v + ", " + v + ", " + v + ", " + v + ", " + v;
    EXPECT_EQ(Script(w, "SELECT * FROM Wide", 1, 0),
              " INSERT Wide\n([ID],[C01],[C02],[C03],[C04],[C05],[C06],[C07],[C08],[C09]\n"
              " ,[C10],[C11],[C12])\n VALUES (1, " +
                  five + "\n , " + five + "\n , " + v + ", " + v + ")\n");
    EXPECT_EQ(Script(w, "SELECT * FROM Wide", 0, 0),
              " UPDATE Wide\n SET [C01]=" + v + ", [C02]=" + v + ", [C03]=" + v +
                  "\n , [C04]=" + v + ", [C05]=" + v + ", [C06]=" + v + ", [C07]=" + v +
                  "\n , [C08]=" + v + ", [C09]=" + v + ", [C10]=" + v + ", [C11]=" + v +
                  "\n , [C12]=" + v + "\n WHERE ID=1\n");
}

TEST_P(WriterTest, IdentityInsertsAreWrapped) {
    Exec("CREATE TABLE Customers (ID INTEGER IDENTITY, LastName VARCHAR(40))");
    Exec("INSERT Customers (LastName) VALUES ('Smith')");
    CAnyTable c("Customers", "ID");
    c.m_scriptFlag = 1;
    const std::string insert = Script(c, "SELECT * FROM Customers", 1);
    EXPECT_EQ(insert,
              " BEGIN\n SET IDENTITY_INSERT Customers ON\n INSERT Customers\n([ID],[LastName])\n"
              " VALUES (1, 'Smith')\n SET IDENTITY_INSERT Customers OFF\n END\n--->GO\n");
    const std::string upsert = Script(c, "SELECT * FROM Customers", 2);
    EXPECT_PRED2(xrtest::Has, upsert, " ELSE\n BEGIN\n SET IDENTITY_INSERT Customers ON\n");
    // Run back into the emptied table, the row keeps its identity value.
    Exec("DELETE FROM Customers");
    const std::string path = PathOf("customers.sql");
    xrtest::WriteFile(path, upsert);
    ASSERT_EQ(DBExecSQLFile(path.c_str()), 1);
    EXPECT_EQ(Scalar("SELECT LastName FROM Customers WHERE ID=1"), "Smith");
}

TEST_P(WriterTest, ValueFormsAndValuesNoServerCouldRead) {
    const struct {
        Variant value;
        const char* text;
        int count = -1;  // what PutField gives when not the text's length
    } cases[] = {
        {Variant::Null(), "NULL"},
        {Variant::I2(-5), "-5"},
        {Variant::UI1(200), "200"},
        {Variant::I8(-5000000000LL), "-5000000000"},
        {Variant::UI8(18446744073709551615ULL), "18446744073709551615"},
        {Variant::R8(12.5), "12.500000"},
        {Variant::R4(0.1f), "0.100000"},
        {Variant::R4(1.0000001f), "1.0000001"},  // six decimals would lose it
        {Variant::R8(0.1 + 0.2), "0.30000000000000004"},
        {Variant::Dec(xr::Decimal{15, 1, true}), "-1.500000"},
        {Variant::Currency(199900), "19.99"},
        {Variant::Currency(-25000), "-2.5"},
        {Variant::Currency(0), "0"},
        {Variant::Bool(true), "1"},
        {Variant::Bool(false), "0"},
        {Variant::Text("it's  "), "'it''s'"},
        {Variant::Text(""), "''"},
        {Variant::Bytes("\x01\xAB", 2), "0x01AB\n", 0},
        {Variant::Bytes("", 0), "0x\n", 0},  // an empty image is no NULL: the empty literal
    };
    for (const auto& c : cases) {
        int count = -1;
        const std::string text =
            Written([&](std::FILE* f) { count = CAnyTable::PutField(f, c.value); });
        EXPECT_EQ(text, c.text) << c.text;
        EXPECT_EQ(count, c.count < 0 ? static_cast<int>(text.size()) : c.count) << c.text;
    }
    // Values no server could read are refused and reported.
    for (const Variant& v : {Variant(), Variant::R8(std::numeric_limits<double>::infinity()),
                             Variant::R8(std::nan(""))}) {
        EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_EQ(CAnyTable::PutField(f, v), 0); }), "");
        EXPECT_NE(LastErrorCode(), 0);
    }
    // In a row: the statement is not written at all.
    Exec("CREATE TABLE Rates (ID INTEGER NOT NULL, Rate FLOAT(24)) INSERT Rates VALUES (1, 0.5)");
    CAnyTable r("Rates", "ID");
    ASSERT_EQ(r.OpenRS("SELECT * FROM Rates"), 1);
    ASSERT_EQ(r.AddNew(), 1);  // a new row before it is stored: every value empty
    xrtest::ClearLog();
    EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_EQ(r.AAScriptRecord(f, -1, 1), 0); }), "");
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::DISP_E_BADVARTYPE_));
    EXPECT_EQ(xrtest::LinesStarting("Table [Rates] error 80020008").size(), 1u);
    r.CancelUpdate();
}

// A whole table's script and the change log both open with the table's header.
TEST_P(WriterTest, AWholeTableScriptAndTheChangeLog) {
    Exec("CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER, Name VARCHAR(20))");
    Exec("INSERT Depts VALUES (3, 1, 'Bar') INSERT Depts VALUES (4, 2, 'Food')");
    Exec("CREATE TABLE Grps (GrpNo INTEGER NOT NULL)");
    const std::string path = PathOf("all.sql");
    xrtest::WriteFile(path, "-- kept\n");
    CAnyTable d("Depts", "DptNo");
    ASSERT_EQ(d.AAScriptAll(path.c_str()), 1);
    EXPECT_EQ(d.m_script, nullptr);
    CAnyTable g("Grps", "GrpNo");
    ASSERT_EQ(g.AAScriptAll(path.c_str()), 1);
    EXPECT_EQ(xrtest::ReadFile(path),
              "-- kept\n"
              "-->TABLE: Depts\nDELETE FROM Depts\n--->GO\n"
              " INSERT Depts\n([DptNo],[GrpNo],[Name])\n VALUES (3, 1, 'Bar')\n--->GO\n"
              " INSERT Depts\n([DptNo],[GrpNo],[Name])\n VALUES (4, 2, 'Food')\n--->GO\n"
              "-->TABLE: Grps\nDELETE FROM Grps\n--->GO\n");
    EXPECT_EQ(d.AAScriptAll(PathOf("no/such/folder/all.sql").c_str()), 0);
    EXPECT_EQ(d.AAScriptAll(nullptr), 0);

    ASSERT_EQ(d.AAScriptAuto(PathOf("no/such/folder/log.sql").c_str()), 1);
    EXPECT_EQ(d.m_script, nullptr);
    const std::string log = PathOf("log.sql");
    ASSERT_EQ(d.AAScriptAuto(log.c_str()), 1);
    {
        CAnyTable copy(d);  // shares the log
        copy.Exec("DELETE FROM Nothing");
    }
    ASSERT_EQ(d.Exec("DELETE FROM Nowhere"), 0);  // the statements go in even when they fail
    ASSERT_EQ(d.AAScriptAuto(static_cast<const char*>(nullptr)), 1);
    EXPECT_EQ(xrtest::ReadFile(log),
              "-->TABLE: Depts\nDELETE FROM Nothing\n--->GO\nDELETE FROM Nowhere\n--->GO\n");
}

// Text without CR or LF keeps the form scripts have always had, other control
// characters and a "--->GO" inside the quotes included; CR and LF alone are
// written as CHAR(13) and CHAR(10) between quoted pieces.
TEST_P(WriterTest, LineBreaksGoAsCharAndOtherTextAsBefore) {
    Exec("CREATE TABLE Notes (No INTEGER NOT NULL, Text VARCHAR(60))");
    CAnyTable n("Notes", "No");
    ASSERT_EQ(n.OpenRSAll(), 1);
    ASSERT_EQ(n.AddNew(), 1);
    ASSERT_EQ(n.SetField("No", 1), 1);
    ASSERT_EQ(n.SetField("Text", std::string("O'Brien\t\x01--->GO\f  ")), 1);
    ASSERT_EQ(n.Update(), 1);
    EXPECT_EQ(Script(n, "SELECT * FROM Notes", 1),
              " INSERT Notes\n([No],[Text])\n VALUES (1, 'O''Brien\t\x01--->GO\f')\n--->GO\n");

    Exec(
        "UPDATE Notes SET Text='a' + CHAR(10) + '--->GO' + CHAR(13) + CHAR(10) + "
        "'DELETE FROM Notes' + CHAR(13) + CHAR(13)");
    EXPECT_EQ(Script(n, "SELECT * FROM Notes", 0),
              " UPDATE Notes\n SET [Text]='a' + CHAR(10) + '--->GO' + CHAR(13) + CHAR(10) + "
              "'DELETE FROM Notes' + CHAR(13) + CHAR(13)\n WHERE No=1\n--->GO\n");
    EXPECT_EQ(Written([](std::FILE* f) { CAnyTable::PutField(f, Variant::Text("\nit's")); }),
              "CHAR(10) + 'it''s'");
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(WriterTest);
