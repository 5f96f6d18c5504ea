// The catalog against real database files where SQL cannot look: the schema
// SQLite ends up with, the definitions it keeps, the table rebuilds, logins.
#include "engine/sqlite/catalog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "engine/sqlite/functions.h"
#include "platform/error.h"
#include "sqlite_rows.h"
#include "temp_dir.h"

namespace xr::engine::sqlite {
namespace {

const std::string kDb = "LORIMDB81";
using Lines = std::vector<std::string>;

TypeSpec T(const char* text) {
    TypeSpec type;
    EXPECT_TRUE(TypeSpec::Parse(text, &type)) << text;
    return type;
}

ColumnDef Col(const char* name, const char* type, bool notNull = false, bool identity = false) {
    ColumnDef c;
    c.name = name;
    c.type = T(type);
    c.notNull = notNull;
    c.identity = identity;
    return c;
}

DefaultDef IntDefault(int64_t v, std::string name = {}) {
    DefaultDef d;
    d.name = std::move(name);
    d.text = std::to_string(v);
    d.value = Value::Int(v);
    d.valueType = T("INT");
    return d;
}

// A default written as hex: `bytes` of the type VARBINARY(n).
DefaultDef BytesDefault(const char* text, std::string bytes) {
    DefaultDef d;
    d.text = text;
    d.valueType = T(("VARBINARY(" + std::to_string(bytes.size()) + ")").c_str());
    d.value = Value::Blob(std::move(bytes));
    return d;
}

DefaultDef TextDefault(const std::string& v) {
    DefaultDef d;
    d.text = "'" + v + "'";
    d.value = Value::Text(v);
    d.valueType.kind = TypeKind::VarChar;
    d.valueType.length = static_cast<int32_t>(v.empty() ? 1 : v.size());
    return d;
}

ColumnDef ColDefault(const char* name, const char* type, DefaultDef def) {
    ColumnDef c = Col(name, type, true);
    c.def = std::move(def);
    return c;
}

IndexDef Index(const char* name, bool unique, std::vector<std::string> columns,
               std::string filter = {}, std::vector<bool> descending = {}) {
    IndexDef index;
    index.name = name;
    index.unique = unique;
    index.columns = std::move(columns);
    index.descending = std::move(descending);
    index.filterSql = std::move(filter);
    return index;
}

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open((m_dir.Path() / "MASTER.db").string().c_str(), &m_handle),
                  SQLITE_OK);
        sqlite3_busy_timeout(m_handle, 2000);
        RegisterSqlFunctions(m_handle);
        std::string attach =
            "ATTACH DATABASE '" + (m_dir.Path() / "LORIMDB81.db").string() + "' AS \"LORIMDB81\"";
        EXPECT_EQ(sqlite3_exec(m_handle, attach.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        // Every catalog step outside a savepoint is a transaction of its own; the
        // tests need no durability.
        sqlite3_exec(m_handle,
                     "PRAGMA main.synchronous = OFF; PRAGMA \"LORIMDB81\".synchronous = OFF",
                     nullptr, nullptr, nullptr);
        m_catalog = std::make_unique<Catalog>(m_handle);
        m_catalog->InitDatabase("main");
        m_catalog->InitDatabase(kDb);
    }
    void TearDown() override {
        m_catalog.reset();
        sqlite3_close(m_handle);
    }

    void Exec(const std::string& sql, sqlite3* h = nullptr) {
        char* error = nullptr;
        int rc = sqlite3_exec(h ? h : m_handle, sql.c_str(), nullptr, nullptr, &error);
        std::string message = error ? error : "";
        sqlite3_free(error);
        ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << message;
    }

    std::vector<std::string> Rows(const std::string& sql, sqlite3* h = nullptr) {
        return xrtest::SqlLines(h ? h : m_handle, sql);
    }

    // "name type notnull default" of every column, in order.
    std::vector<std::string> Schema(const std::string& table) {
        return Rows(
            "SELECT name || ' ' || type || ' ' || \"notnull\" || ' ' || "
            "coalesce(dflt_value, '-') FROM pragma_table_xinfo('" +
            table + "', '" + kDb + "')");
    }

    std::string Failure(const std::function<void()>& action) {
        try {
            action();
        } catch (const ComError& e) {
            EXPECT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
            return e.Description();
        }
        return "(no failure)";
    }

    xrtest::TempDir m_dir;
    sqlite3* m_handle = nullptr;
    std::unique_ptr<Catalog> m_catalog;
};

TEST_F(CatalogTest, CreateTableDeclaresTheServerTypesInOrderWithSystemRows) {
    ColumnDef kp = ColDefault("KScreenHdr", "CHAR(20)", TextDefault("%d/%m/%Y"));
    DefaultDef hex = IntDefault(65280);
    hex.text = "0x00FF00";
    m_catalog->CreateTable(
        kDb, "Products",
        {Col("PLU", "BIGINT", true), ColDefault("Description", "VARCHAR(20)", TextDefault("")),
         ColDefault("Price1", "MONEY", IntDefault(0)), Col("TiedPLU1", "BIGINT"),
         ColDefault("BannerColour", "INT", hex), kp, ColDefault("Dsp1", "BIT", IntDefault(0)),
         ColDefault("KeyValue", "BINARY(8)",
                    BytesDefault("0xFFFFFFFFFFFFFFFF", std::string(8, '\xFF'))),
         ColDefault("Opened", "DATETIME", TextDefault("20000101"))});
    EXPECT_EQ(Schema("products"),
              (Lines{"PLU BIGINT 1 -", "Description VARCHAR(20) 1 ''", "Price1 MONEY 1 0",
                     "TiedPLU1 BIGINT 0 -", "BannerColour INTEGER 1 65280",
                     "KScreenHdr CHAR(20) 1 '%d/%m/%Y            '", "Dsp1 BIT 1 0",
                     "KeyValue BINARY(8) 1 X'FFFFFFFFFFFFFFFF'", "Opened DATETIME 1 36526.0"}));
    // Text columns compare with the server's collation.
    EXPECT_NE(Rows("SELECT sql FROM \"LORIMDB81\".sqlite_schema WHERE name = 'Products'")[0].find(
                  "\"Description\" VARCHAR(20) COLLATE TSQL NOT NULL"),
              std::string::npos);

    auto id = m_catalog->ObjectId(kDb, "PRODUCTS");
    ASSERT_TRUE(id);
    EXPECT_GT(*id, 0);
    EXPECT_EQ(m_catalog->ObjectName(kDb, *id), "Products");
    EXPECT_EQ(
        Rows("SELECT count(*), min(colid), max(colid) FROM \"LORIMDB81\".syscolumns WHERE id = " +
             std::to_string(*id)),
        Lines{"9|1|9"});
    // Every default is system-named, with the server's name pattern.
    auto defaults = Rows(
        "SELECT o.name, c.colid FROM \"LORIMDB81\".sysconstraints c JOIN "
        "\"LORIMDB81\".sysobjects o ON o.id = c.constid WHERE c.id = " +
        std::to_string(*id) + " AND c.status = 133141 ORDER BY c.colid");
    ASSERT_EQ(defaults.size(), 7u);
    EXPECT_TRUE(std::regex_match(defaults[0], std::regex("DF__Products__Descr__[0-9A-F]{8}\\|2")))
        << defaults[0];
    const TableDef* def = m_catalog->FindTable(kDb, "products");
    ASSERT_NE(def, nullptr);
    ASSERT_EQ(def->columns.size(), 9u);
    EXPECT_EQ(def->columns[4].def->text, "0x00FF00");
    EXPECT_TRUE(def->columns[4].def->systemNamed);
    EXPECT_EQ(def->columns[3].def, std::nullopt);
    EXPECT_EQ(def->columns[1].type, T("VARCHAR(20)"));
}

TEST_F(CatalogTest, FailuresCarryTheServerTexts) {
    m_catalog->CreateTable(
        kDb, "Loyalty5",
        {Col("SchemeNo", "INTEGER", true), ColDefault("Name", "VARCHAR(40)", TextDefault("")),
         ColDefault("LogType", "INTEGER", IntDefault(0))});
    m_catalog->CreateIndex(kDb, "Loyalty5", Index("Loyalty5IX1", false, {"Name"}));

    // The other refusals run as SQL in conformance/ddl_errors.test.
    EXPECT_EQ(Failure([&] { m_catalog->RenameTable(kDb, "Nowhere", "X"); }),
              "Invalid object name 'Nowhere'.");
    EXPECT_NE(Failure([&] { m_catalog->DropTable(kDb, "sysobjects"); }), "(no failure)");
    std::string generated = m_catalog->FindTable(kDb, "Loyalty5")->columns[2].def->name;
    EXPECT_EQ(Failure([&] { m_catalog->DropColumn(kDb, "Loyalty5", "LogType"); }),
              "The object '" + generated +
                  "' is dependent on column 'LogType'. ALTER TABLE DROP COLUMN LogType failed "
                  "because one or more objects access this column.");
    EXPECT_EQ(
        Failure([&] { m_catalog->DropColumn(kDb, "Loyalty5", "Name"); }),
        "The object '" + m_catalog->FindTable(kDb, "Loyalty5")->columns[1].def->name +
            "' is dependent on column 'Name'. The object 'Loyalty5IX1' is dependent on column "
            "'Name'. ALTER TABLE DROP COLUMN Name failed because one or more objects access "
            "this column.");
}

TEST_F(CatalogTest, RebuildKeepsRowsRowidsIndexesDefaultsAndIdentity) {
    m_catalog->CreateTable(
        kDb, "Customers",
        {Col("LastName", "VARCHAR(10)"), ColDefault("Code", "CHAR(4)", TextDefault("A")),
         Col("Postcode", "VARCHAR(8)"), Col("ID", "INTEGER", false, true)});
    m_catalog->CreateIndex(kDb, "Customers",
                           Index("CustomersIX1", true, {"Postcode", "ID"}, "", {true, false}));
    EXPECT_EQ(m_catalog->IdentCurrent(kDb, "Customers"), 1);  // nothing generated: the seed
    Exec("INSERT INTO \"LORIMDB81\".Customers (LastName) VALUES ('a'), ('b'), ('c')");
    Exec("DELETE FROM \"LORIMDB81\".Customers WHERE ID = 3");
    EXPECT_EQ(m_catalog->IdentCurrent(kDb, "customers"), 3);

    m_catalog->AlterColumn(kDb, "Customers", Col("LastName", "VARCHAR(20)", false));
    m_catalog->AlterColumn(kDb, "Customers", Col("Code", "CHAR(6)", true));
    Exec("INSERT INTO \"LORIMDB81\".Customers (LastName) VALUES ('d')");
    EXPECT_EQ(Rows("SELECT ID, LastName, Code FROM \"LORIMDB81\".Customers ORDER BY ID"),
              (Lines{"1|a|A     ", "2|b|A     ", "4|d|A     "}));
    EXPECT_EQ(m_catalog->IdentCurrent(kDb, "Customers"), 4);
    EXPECT_EQ(
        Rows("SELECT sql FROM \"LORIMDB81\".sqlite_schema WHERE name = 'CustomersIX1'"),
        Lines{"CREATE UNIQUE INDEX \"CustomersIX1\" ON \"Customers\" (\"Postcode\" DESC, \"ID\")"});
    EXPECT_EQ(Schema("Customers")[1], "Code CHAR(6) 1 'A     '");

    // A table without identity keeps its rowids through a rebuild.
    m_catalog->CreateTable(kDb, "CfgSys",
                           {Col("KSAnalysis", "CHAR(20)", true), Col("Gone", "INT")});
    Exec("INSERT INTO \"LORIMDB81\".CfgSys (rowid, KSAnalysis) VALUES (5, 'x'), (9, 'y')");
    m_catalog->AlterColumn(kDb, "CfgSys", Col("KSAnalysis", "CHAR(100)", true));
    m_catalog->DropColumn(kDb, "CfgSys", "Gone");
    EXPECT_EQ(Rows("SELECT rowid, length(KSAnalysis) FROM \"LORIMDB81\".CfgSys ORDER BY rowid"),
              (Lines{"5|100", "9|100"}));
    // Altering to the same definition changes nothing and succeeds every time.
    int64_t version = std::stoll(Rows("PRAGMA \"LORIMDB81\".schema_version")[0]);
    m_catalog->AlterColumn(kDb, "CfgSys", Col("KSAnalysis", "CHAR(100)", true));
    EXPECT_EQ(std::stoll(Rows("PRAGMA \"LORIMDB81\".schema_version")[0]), version);
    // Conversions that lose data fail with the conversion's message.
    Exec("UPDATE \"LORIMDB81\".CfgSys SET KSAnalysis = 'abcdef' WHERE rowid = 9");
    EXPECT_NE(Failure([&] {
                  m_catalog->AlterColumn(kDb, "CfgSys", Col("KSAnalysis", "CHAR(3)", true));
              }).find("truncated"),
              std::string::npos);
    // Blanks past the new length are no data: narrowing over them succeeds.
    Exec("UPDATE \"LORIMDB81\".CfgSys SET KSAnalysis = 'abc' WHERE rowid = 9");
    m_catalog->AlterColumn(kDb, "CfgSys", Col("KSAnalysis", "CHAR(3)", true));
    EXPECT_EQ(Rows("SELECT KSAnalysis FROM \"LORIMDB81\".CfgSys ORDER BY rowid"),
              (Lines{"x  ", "abc"}));
}

// ADD keeps the table's new definition instead of reading it back: it must
// be the definition a fresh read gives, for every kind of column, on empty
// tables (made again) and on tables with rows (changed in place or rebuilt).
TEST_F(CatalogTest, DefinitionKeptAfterAddIsTheOneStoredAndOthersStay) {
    m_catalog->CreateTable(kDb, "Empty", {Col("No", "INTEGER", true)});
    m_catalog->AddPrimaryKey(kDb, "Empty", "PK_Empty", {"No"});
    m_catalog->CreateTable(kDb, "Full", {Col("No", "INTEGER", true)});
    m_catalog->CreateIndex(kDb, "Full", Index("IX_Full", false, {"No"}));
    Exec("INSERT INTO \"LORIMDB81\".Full VALUES (7)");

    DefaultDef real;
    real.text = "1.5";
    real.value = Value::Real(1.5);
    real.valueType = T("FLOAT");
    const std::vector<ColumnDef> added = {
        ColDefault("Flags", "SMALLINT", IntDefault(-1)),
        ColDefault("Name", "VARCHAR(40)", TextDefault("Name")),
        ColDefault("Code", "CHAR(3)", TextDefault("")),
        ColDefault("Colour", "VARBINARY(3)", BytesDefault("0x00FF00", std::string("\0\xFF\0", 3))),
        ColDefault("Rate", "FLOAT", real),
        ColDefault("Price", "MONEY", IntDefault(0, "DF_Price")),
        Col("Note", "VARCHAR(20)"),
        Col("Since", "DATETIME"),
        Col("Ratio", "DECIMAL(5,2)"),
        Col("Id", "INTEGER", false, true),
    };
    const TableDef* empty = nullptr;
    for (const char* table : {"Empty", "Full"}) {
        empty = m_catalog->FindTable(kDb, "Empty");
        for (const ColumnDef& column : added) {
            ColumnDef c = column;
            if (c.def && !c.def->name.empty()) c.def->name += table;
            m_catalog->AddColumns(kDb, table, {c});
            const TableDef kept = *m_catalog->FindTable(kDb, table);
            Catalog fresh(m_handle);
            const TableDef* stored = fresh.FindTable(kDb, table);
            ASSERT_TRUE(stored);
            EXPECT_TRUE(kept == *stored) << table << " after " << c.name;
        }
    }
    // Changing one table left the other's definition as it was.
    EXPECT_EQ(m_catalog->FindTable(kDb, "Empty"), empty);
    EXPECT_EQ(Rows("SELECT No, Flags, Name, Id FROM \"LORIMDB81\".Full"), Lines{"7|-1|Name|1"});
}

TEST_F(CatalogTest, LoginsKeepNoPassword) {
    m_catalog->AddLogin("BrantUK", std::string_view("marigold"), "LorimDB81");
    EXPECT_EQ(Failure([&] { m_catalog->AddLogin("brantuk", std::nullopt, "LorimDB81"); }),
              "The server principal 'brantuk' already exists.");
    EXPECT_NE(Failure([&] { m_catalog->GrantDbAccess(kDb, "Nobody"); }), "(no failure)");
    m_catalog->GrantDbAccess(kDb, "BrantUK");
    EXPECT_EQ(Failure([&] { m_catalog->GrantDbAccess(kDb, "BrantUK"); }),
              "User, group, or role 'BrantUK' already exists in the current database.");
    m_catalog->AddRoleMember(kDb, "db_datareader", "BrantUK");
    EXPECT_NE(Failure([&] { m_catalog->AddRoleMember(kDb, "db_datareader", "BrantUK"); }),
              "(no failure)");
    EXPECT_NE(Failure([&] { m_catalog->AddRoleMember(kDb, "db_nosuchrole", "BrantUK"); }),
              "(no failure)");
    EXPECT_NE(Failure([&] { m_catalog->AddRoleMember(kDb, "db_owner", "Nobody"); }),
              "(no failure)");
    m_catalog->AddLogin("lm", std::string_view(""), "master");
    EXPECT_EQ(Rows("SELECT name, has_password FROM main.xr_logins ORDER BY name"),
              (Lines{"BrantUK|1", "lm|0"}));
    m_catalog.reset();
    sqlite3_close(m_handle);
    m_handle = nullptr;
    for (const char* file : {"MASTER.db", "LORIMDB81.db"}) {
        std::ifstream in(m_dir.Path() / file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find("marigold"), std::string::npos) << file;
    }
}

}  // namespace
}  // namespace xr::engine::sqlite
