// CSV import: the field splitter, the six line layouts with their rules, the
// change log written alongside, and files that are not what they should be.
#include <cstring>
#include <tuple>

#include "interchange/import_report.h"
#include "library.h"

namespace {

using xr::interchange::ImportReport;
using xr::interchange::ReportScope;
using xrtest::ConfigTest;

struct Splitter : CXRTable {
    using CXRTable::CSVParse;
};

// Every field CSVParse gives for `line`, joined with "|".
std::string Fields(const char* line) {
    std::string out, field;
    int pos = 0;
    for (int n = 0; Splitter::CSVParse(line, pos, field); ++n) out += (n ? "|" : "") + field;
    return out;
}

TEST(CsvParse, SplitsAtEveryCommaStripsOneMatchingPairOfQuotesAndReadsNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        {"1,Bar,3", "1|Bar|3"},
        {"1,,3", "1||3"},
        {"1,Bar,", "1|Bar"},  // no final empty field
        {"'Bar'", "Bar"},
        {"\"Bar\"", "Bar"},
        {"'Bar\"", "'Bar\""},  // two different ends stay
        {"'Wine, red',4", "'Wine| red'|4"},
        {"\"O\"\"Brien\"", "O\"\"Brien"},  // doubled quotes stay doubled
        {"'", "'"},
        {"''", ""},
        {",", ""},
        {"", ""},
    };
    for (const auto& [line, fields] : cases) EXPECT_EQ(Fields(line), fields) << line;
    // Text that is no number reads as 0; a number too big is held at the 32-bit limit.
    int pos = 0, value = 77;
    for (int expected : {12, 0, -3, 2147483647}) {
        EXPECT_EQ(Splitter::CSVParse("12,x,-3,99999999999,", pos, value), 1) << expected;
        EXPECT_EQ(value, expected);
    }
    value = 5;
    EXPECT_EQ(Splitter::CSVParse("12,x,-3,99999999999,", pos, value), 0);
    EXPECT_EQ(value, 5) << "no field leaves the value alone";

    std::string field = "kept";
    pos = -4;
    EXPECT_EQ(Splitter::CSVParse("a,b", pos, field), 0);
    EXPECT_EQ(Splitter::CSVParse(nullptr, pos = 0, field), 0);
    EXPECT_EQ(field, "kept");
}

class CsvTest : public ConfigTest {
protected:
    // Imports `text` as a CSV file into `table`; the report is in m_report.
    int Import(CXRTable& table, const std::string& text, int replace = 0) {
        xrtest::WriteFile(PathOf("in.csv"), text);
        m_report = ImportReport();
        ReportScope scope(&m_report);
        return table.ImportCSV(PathOf("in.csv").c_str(), PathOf("changes.sql").c_str(), replace);
    }
    std::string Script() { return xrtest::ReadFile(PathOf("changes.sql")); }

    ImportReport m_report;
};

TEST_P(CsvTest, DepartmentLinesFollowTheirRules) {
    Exec("INSERT Depts (DptNo, GrpNo, Name) VALUES (12, 2, 'Old')");
    CDept dept;
    // Each line with the departments it leaves (DptNo|GrpNo|Name), in order.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"5,Bar", {"12|2|Old"}},
        {"5,Bar,0", {"12|2|Old"}},
        {"5,Bar,100", {"12|2|Old"}},
        {"0,Bar,3", {"12|2|Old"}},
        {"1000,Bar,3", {"12|2|Old"}},
        {"5,Bar,3", {"5|3|Bar", "12|2|Old"}},
        {"12,New name,7", {"5|3|Bar", "12|7|New name"}},
        {"13,delete", {"5|3|Bar", "12|7|New name"}},
        {"12,DELETE", {"5|3|Bar"}},
        {"6,'Wine, red',4", {"5|3|Bar"}},  // the group field is " red'": 0
        {"6,'Red wine',4", {"5|3|Bar", "6|4|Red wine"}},
        {"7,ABCDEFGHIJKLMNOPQRSTUVWXYZ,4",
         {"5|3|Bar", "6|4|Red wine", "7|4|ABCDEFGHIJKLMNOPQRSTUV"}},
    };
    for (const auto& [line, depts] : cases) {
        EXPECT_EQ(Import(dept, std::string(line) + "\n"), 1) << line;
        EXPECT_EQ(Rows("SELECT DptNo, GrpNo, Name FROM Depts ORDER BY DptNo"), depts) << line;
    }
}

TEST_P(CsvTest, EveryChangeIsScriptedAndTheScriptReplaysIt) {
    Exec("INSERT Depts (DptNo, GrpNo, Name) VALUES (12, 2, 'Old')");
    CDept dept;
    ASSERT_EQ(Import(dept, "12,delete\n5,Bar,3\n5,Bar's,4\n"), 1);
    const std::string script = Script();
    EXPECT_PRED2(xrtest::StartsWith, script,
                 "-->TABLE: Depts\nDELETE FROM Depts WHERE DptNo=12\n--->GO\n");
    EXPECT_PRED2(xrtest::Has, script, " INSERT Depts\n([DptNo],[GrpNo],[Name]");
    EXPECT_PRED2(xrtest::Has, script, " SET [GrpNo]=4, [Name]='Bar''s'");
    EXPECT_EQ(std::tie(m_report.added, m_report.changed, m_report.deleted),
              std::make_tuple(1, 1, 1));

    // Replayed on a table holding the state before the import.
    const auto after = Rows("SELECT * FROM Depts ORDER BY DptNo");
    Exec("DELETE FROM Depts");
    Exec("INSERT Depts (DptNo, GrpNo, Name) VALUES (12, 2, 'Old')");
    ASSERT_EQ(DBExecSQLFile(PathOf("changes.sql").c_str()), 1);
    EXPECT_EQ(Rows("SELECT * FROM Depts ORDER BY DptNo"), after);
}

TEST_P(CsvTest, ReplaceEmptiesTheTableEvenWhenNoLineIsUsable) {
    Exec("INSERT Groups (GrpNo, Name) VALUES (1, 'Drinks')");
    CGroup group;
    EXPECT_EQ(Import(group, "100,Too high\n0,Too low\nx\n", 1), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Groups"), "0");
    EXPECT_EQ(Script(), "-->TABLE: Groups\nDELETE FROM Groups\n--->GO\n");
    EXPECT_EQ(m_report.skipped, 3);
    ASSERT_EQ(m_report.firstSkipped.size(), 3u);
    EXPECT_EQ(m_report.firstSkipped[2].reason, "group number x is not a whole number");
}

TEST_P(CsvTest, ServersTablesAndBarcodes) {
    Exec("INSERT Servers (SrvNo, Name, Auth, Password, Drawer) VALUES (2, 'Ann', 1, 11, 1)");
    CServer server;
    EXPECT_EQ(Import(server, "1,Bob,3,1234\n2,Anne,4\n3,Cy,2,99,2,ignored\n"), 1);
    EXPECT_EQ(Rows("SELECT SrvNo, Name, Auth, Password, Drawer FROM Servers ORDER BY SrvNo"),
              (std::vector<std::string>{"2|Ann|1|11|1", "3|Cy|2|99|2"}));
    EXPECT_EQ(m_report.firstSkipped.at(0).reason, "no drawer");
    EXPECT_EQ(m_report.firstSkipped.at(1).reason, "no password");

    CTable table;
    EXPECT_EQ(Import(table, "4,Window,1\n5,Door\n6,Bar,0\n4,Window seat,0\n"), 1);
    EXPECT_EQ(Rows("SELECT TblNo, Name, Account FROM Tables ORDER BY TblNo"),
              (std::vector<std::string>{"4|Window seat|0", "6|Bar|0"}));
    EXPECT_EQ(std::tie(m_report.added, m_report.changed, m_report.skipped),
              std::make_tuple(2, 1, 1));
    CBarc barcode;
    EXPECT_EQ(Import(barcode,
                     "5012345678900,101\n,102\n123456789012345678,103\n"
                     "5012345678900,9000000000\n777,delete\n888\n"),
              1);
    EXPECT_EQ(Rows("SELECT Barcode, PLU FROM Barcodes ORDER BY Barcode"),
              (std::vector<std::string>{"123456789012345|103", "5012345678900|9000000000"}));
    EXPECT_EQ(std::tie(m_report.added, m_report.changed, m_report.skipped),
              std::make_tuple(2, 1, 3));
    EXPECT_EQ(Import(barcode, "5012345678900,Delete\n"), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Barcodes"), "1");
}

// A product line in four-band mode: PLU, description, four prices, then the
// fields from Dept on.
std::string ProductLine(const std::string& start, const std::string& rest) {
    return start + ",3," + "B,2,0,11,12,13,1,0,1,0,0,0,0,0,1,5,6,7,8," + rest;
}

TEST_P(CsvTest, ProductFieldsPriceBandsSupplementaryMarkersAndShortLines) {
    CProduct product;
    ASSERT_EQ(Import(product, ProductLine("42,Cola,150,160,170,180", "c,1") + "\n"), 1);
    ASSERT_EQ(product.Equ(42), 1);
    EXPECT_EQ(product.GetDescription(), "Cola");
    EXPECT_EQ(product.getPrice(0), 150);
    EXPECT_EQ(product.getPrice(3), 180);
    EXPECT_EQ(Scalar("SELECT VAT FROM Products WHERE PLU=42"), "B");
    // ProdType 20 is index 2 of the product types; category 0 is stored as 255 (-1).
    const auto& d = product.m_def;
    EXPECT_EQ(xr::Format("Dept %d ProdType %d ProdCat %d ListMenu %d ListExtra %d DspFlags %d "
                         "Discount %d DspPriority %d PriceType %d MMOffer %d MMBucket %c",
                         d.Dept, d.ProdType, d.ProdCat, d.ListMenu, d.ListExtra, d.DspFlags,
                         d.Discount, d.DspPriority, d.PriceType, d.MMOffer, d.MMBucket),
              xr::Format("Dept 3 ProdType 20 ProdCat -1 ListMenu 11 ListExtra 13 DspFlags %d "
                         "Discount 5 DspPriority 6 PriceType 7 MMOffer 8 MMBucket c",
                         (1 << 1) | (1 << 3) | (1 << 9)));
    EXPECT_EQ(product.m_def.Flags & PROD_FREETEXT, PROD_FREETEXT);

    // Another pass: ProdType out of range counts as 0, ProdCat 101 keeps 255,
    // a numeric bucket keeps its low byte, no FreeText field keeps the flag.
    const std::string changed = "42,Cola,1,2,3,4,3,A,12,101,0,0,0,1,1,1,1,1,1,1,1,1,0,0,0,0,322";
    ASSERT_EQ(Import(product, changed + "\n"), 1);
    ASSERT_EQ(product.Equ(42), 1);
    EXPECT_EQ(xr::Format("ProdType %d ProdCat %d MMBucket %c", d.ProdType, d.ProdCat, d.MMBucket),
              "ProdType 0 ProdCat -1 MMBucket B");  // B: the low byte of 322
    EXPECT_EQ(product.m_def.Flags & PROD_FREETEXT, PROD_FREETEXT);
    EXPECT_EQ(m_report.changed, 1);

    ASSERT_EQ(Import(product, ProductLine("9,Crisps,1,2,3,4", "A") + "\n"), 1);
    Exec("UPDATE Products SET Description='Changed elsewhere' WHERE PLU=9");
    ASSERT_EQ(Import(product, "9,$$SUPP1=1\n10,$$supp1=1\n9,$$supp2=1\n9,$$supp1\n"), 1);
    ASSERT_EQ(product.Equ(9), 1);
    EXPECT_EQ(product.GetDescription(), "Changed elsewhere");
    EXPECT_EQ(product.m_def.Flags & PROD_SOLDOUT, PROD_SOLDOUT);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products WHERE PLU=10"), "0");
    EXPECT_EQ(std::tie(m_report.changed, m_report.skipped), std::make_tuple(1, 3));
    ASSERT_EQ(Import(product, "9,$$supp1=0\n"), 1);
    ASSERT_EQ(product.Equ(9), 1);
    EXPECT_EQ(product.m_def.Flags & PROD_SOLDOUT, 0);
    // Ten prices in four-band mode: everything after the fourth shifts.
    const std::string ten = "7,Tea,1,2,3,4,5,6,7,8,9,10,3,B,0,1,0,0,0,0,0,0,0,0,0,0,0,0,1,2,0,0,x";
    ASSERT_EQ(Import(product, ten + "\n"), 1);
    ASSERT_EQ(product.Equ(7), 1);
    EXPECT_EQ(product.m_def.Dept, 5) << "the fifth price read as the department";
    EXPECT_EQ(product.getPrice(4), 0);

    product.SetAllPriceBands(1);
    ASSERT_EQ(Import(product, ten + "\n"), 1);
    ASSERT_EQ(product.Equ(7), 1);
    EXPECT_EQ(product.m_def.Dept, 3);
    EXPECT_EQ(product.getPrice(9), 10);
    EXPECT_EQ(product.m_def.MMBucket, 'x');

    // A line that stops before MMBucket: a new product is not added and an
    // existing one is left as it was.
    product.SetAllPriceBands(0);
    const auto before = Rows("SELECT * FROM Products WHERE PLU=7");
    ASSERT_EQ(Import(product, "8,Short,1,2,3,4,5,A\n7,Short,1,2,3,4,5,A,0,1\n"), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products WHERE PLU=8"), "0");
    EXPECT_EQ(Rows("SELECT * FROM Products WHERE PLU=7"), before);
    EXPECT_EQ(m_report.firstSkipped.at(0).reason, "no ProdType");
    EXPECT_EQ(m_report.firstSkipped.at(1).reason, "no ListMenu");
}

// Embedded engine only: a PostgreSQL server in UTF-8 refuses text that is
// not UTF-8 (the byte 0xFF of a name), which the embedded engine keeps.
TEST_F(CsvTest, FilesThatAreNotWhatTheyShouldBe) {
    CDept dept;
    // Windows and old Macintosh line ends, binary bytes and a very long name.
    const std::string longName(1 << 20, 'n');
    std::string text = "1,Crlf,2\r\n2,Cr,3\r3,Also cr,4\r";
    text += std::string("4,Bin\x01\xff") + ",5\n";
    text += std::string("5,Nul", 5) + '\0' + "x,6\n";
    text += "6," + longName + ",7\n";
    text += "\x89PNG\x1a\n";
    ASSERT_EQ(Import(dept, text), 1);
    EXPECT_EQ(Rows("SELECT DptNo, GrpNo FROM Depts ORDER BY DptNo"),
              (std::vector<std::string>{"1|2", "2|3", "3|4", "4|5", "6|7"}));
    EXPECT_EQ(Scalar("SELECT Name FROM Depts WHERE DptNo=6"), std::string(22, 'n'));
    EXPECT_EQ(m_report.lines, 7);
    EXPECT_EQ(m_report.skipped, 2) << "the line cut by its NUL byte and the binary one";

    // A file that cannot be opened: 0, and the change log is closed again.
    EXPECT_EQ(dept.ImportCSV(PathOf("missing.csv").c_str(), PathOf("log.sql").c_str(), 1), 0);
    EXPECT_EQ(dept.m_script, nullptr);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "5") << "replace needs a file first";
    EXPECT_EQ(dept.ImportCSV(Folder().c_str(), nullptr, 0), 0) << "a folder";
    // A change log that cannot be opened: the import runs without one.
    xrtest::WriteFile(PathOf("in.csv"), "9,Nine,1\n");
    EXPECT_EQ(dept.ImportCSV(PathOf("in.csv").c_str(), PathOf("no/such/folder.sql").c_str(), 0), 1);
    EXPECT_EQ(Scalar("SELECT Name FROM Depts WHERE DptNo=9"), "Nine");
}

TEST_P(CsvTest, ARefusedRowIsReportedAndTheImportGoesOn) {
    // A column the department class does not write and the server will not
    // leave empty: new departments are refused, existing ones change.
    Exec("DROP TABLE Depts");
    Exec(
        "CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER, Name VARCHAR(40), "
        "Tickets INTEGER, QtyDP BIT, ValNeg BIT, Extra INTEGER NOT NULL)");
    Exec("INSERT Depts (DptNo, GrpNo, Name, Extra) VALUES (2, 1, 'Old', 1)");
    CDept dept;
    EXPECT_EQ(Import(dept, "1,A,3\n2,B,3\n"), 1);
    EXPECT_EQ(Rows("SELECT DptNo, Name FROM Depts"), std::vector<std::string>{"2|B"});
    EXPECT_EQ(std::tie(m_report.failed, m_report.changed), std::make_tuple(1, 1));
    ASSERT_EQ(m_report.firstSkipped.size(), 1u);
    EXPECT_PRED2(xrtest::StartsWith, m_report.firstSkipped[0].reason, "not written: ");
    EXPECT_EQ(xrtest::LinesWith("CXRTable::ImportCSV Depts line not written: 1,A,3").size(), 1u);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(CsvTest);
