// XML import of products: document shapes, the record name, the log
// messages with their progress values, V$ columns, and keys beyond 32 bits.
#include <sys/resource.h>

#include <tuple>

#include "interchange/import_report.h"
#include "interchange/xml_import.h"
#include "library.h"

namespace {

using Lines = std::vector<std::string>;

using xrtest::ConfigTest;
using xrtest::LinesWith;

class XmlTest : public ConfigTest {
protected:
    int Load(const std::string& xml, const char* record = nullptr) {
        xrtest::WriteFile(PathOf("in.xml"), xml);
        xrtest::ClearLog();
        return CXRTable::XmlLoadFile(PathOf("in.xml").c_str(), record);
    }
    std::string Failure(int node, const char* name, int at) {
        return xr::Format("CXRTable::XmlLoadFile %s node=%d %s fail at %d",
                          PathOf("in.xml").c_str(), node, name, at);
    }
    static std::string Product(const std::string& attributes, const char* name = "Products") {
        return std::string("<") + name + " " + attributes + "/>";
    }
};

TEST_P(XmlTest, ATopElementAloneIsTheOneProduct) {
    EXPECT_EQ(Load(Product("PLU=\"17\" Description=\"Lemonade\" Price1=\"1.25\"")), 1);
    EXPECT_EQ(Rows("SELECT PLU, Description, Price1 FROM Products"), Lines{"17|Lemonade|1.25"});
    // Loaded again with another description: the same row changes.
    EXPECT_EQ(Load(Product("PLU=\"17\" Description=\"Still lemonade\"")), 1);
    EXPECT_EQ(Rows("SELECT PLU, Description, Price1 FROM Products"),
              Lines{"17|Still lemonade|1.25"});
    EXPECT_TRUE(xrtest::g_log.empty());
    // Keys beyond 32 bits find their own row: 5000000001 cut to 32 bits is
    // 705032705.
    Exec("INSERT Products (PLU, Description) VALUES (705032705, 'Small'), (5000000001, 'Big')");
    EXPECT_EQ(Load(Product("PLU=\"5000000001\" Description=\"Big, changed\"")), 1);
    EXPECT_EQ(Rows("SELECT PLU, Description FROM Products ORDER BY PLU"),
              (Lines{"17|Still lemonade", "705032705|Small", "5000000001|Big, changed"}));
}

struct ProductFilter : CProduct {
    using CProduct::FieldFilter;
};

TEST_P(XmlTest, TillColumnsAreNeverLoadedAndOneRecordLoadsOnItsOwn) {
    ProductFilter filter;
    std::string value = "1";
    for (const char* column : {"V$SoldOut", "V$StockID", "V$x"})
        EXPECT_EQ(filter.FieldFilter(column, value), 0) << column;
    for (const char* column :
         {"V$", "v$SoldOut", "Description", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(filter.FieldFilter(column, value), 1) << (column ? column : "null");
    // "$" is no XML name character: pugixml refuses a document that uses it
    // in an attribute name, so such a file loads nothing at all.
    EXPECT_EQ(Load(Product("PLU=\"3\" V$SoldOut=\"1\" Description=\"Pie\"")), 0);
    EXPECT_EQ(LinesWith("(Error parsing element attribute@").size(), 1u);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "0");
    // One record on its own.
    CProduct product;
    std::string bad = "<Products PLU=";
    EXPECT_EQ(xr::interchange::LoadXmlRecord(product, bad, nullptr), 0);
    EXPECT_EQ(product.m_xmlCount, 0) << "progress unchanged when the text does not parse";
    std::string good = "<Products PLU=\"-5\" Description=\"Minus\"/>";
    bool added = false;
    EXPECT_EQ(xr::interchange::LoadXmlRecord(product, good, &added), 1);
    EXPECT_TRUE(added);
    EXPECT_EQ(product.m_xmlCount, 500);
    EXPECT_EQ(xr::interchange::LoadXmlRecord(product, good, &added), 1);
    EXPECT_FALSE(added);

    // A value the column refuses: reported against the table, nothing written.
    std::string refused = "<Products PLU=\"6\" Dept=\"not a number\"/>";
    EXPECT_EQ(xr::interchange::LoadXmlRecord(product, refused, nullptr), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products WHERE PLU=6"), "0");
}

TEST_P(XmlTest, RecordsThatFailAreLoggedWithTheirProgressAndTheRestLoad) {
    std::string xml = "<Data>";
    for (int i = 0; i < 10; ++i) {
        if (i == 3)
            xml += Product("Description=\"no key\"");
        else
            xml += Product(xr::Format("PLU=\"%d\" Description=\"P%d\"", 100 + i, i));
    }
    xml += Product("PLU=\"200\" NoSuchColumn=\"1\"", "products");
    xml += "<Other PLU=\"300\"/></Data>";
    xr::interchange::ImportReport report;
    {
        xr::interchange::ReportScope scope(&report);
        EXPECT_EQ(Load(xml, "Products"), 1);
    }
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "9");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products WHERE PLU IN (200, 300)"), "0");
    // 20 + the first key column: the PLU attribute is missing.
    EXPECT_EQ(LinesWith(Failure(3, "Products", 21)).size(), 1u);
    // An attribute that names no column: the walk stops and progress is 500.
    EXPECT_EQ(LinesWith(Failure(10, "products", 500)).size(), 1u);
    EXPECT_EQ(LinesWith("node=11").size(), 0u) << "other element names are passed over";
    EXPECT_EQ(std::tie(report.added, report.failed, report.skipped), std::make_tuple(9, 2, 1));
}

TEST_P(XmlTest, DocumentsThatCannotBeWalkedOrAreNestedTooDeep) {
    const std::string file = PathOf("in.xml");
    EXPECT_EQ(Load("<Data><Products PLU=\"1\"></Data>"), 0);
    ASSERT_EQ(xrtest::g_log.size(), 1u);
    EXPECT_PRED2(xrtest::StartsWith, xrtest::g_log[0],
                 "CXRTable::XmlLoadFile doc load " + file + " failed (");
    EXPECT_PRED2(xrtest::Has, xrtest::g_log[0], "@");

    EXPECT_EQ(Load(""), 0);
    EXPECT_EQ(LinesWith("doc load").size(), 1u) << "an empty file does not parse";

    // pugixml refuses a document without an element, so this is a load error.
    EXPECT_EQ(Load("<!-- nothing but a comment -->"), 0);
    EXPECT_EQ(LinesWith("doc load").size(), 1u);

    EXPECT_EQ(Load("<Data/>", "Products"), 0);
    EXPECT_EQ(xrtest::g_log, Lines{"CXRTable::XmlLoadFile doc root first " + file + " error"});

    // With a record name the first child must match it exactly.
    EXPECT_EQ(Load("<Data>" + Product("PLU=\"1\"", "products") + "</Data>", "Products"), 0);
    EXPECT_EQ(xrtest::g_log, Lines{"CXRTable::XmlLoadFile doc " + file +
                                   " root element (Products) bad name (products)"});
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "0");

    EXPECT_EQ(CXRTable::XmlLoadFile(PathOf("missing.xml").c_str(), nullptr), 0);
    EXPECT_EQ(CXRTable::XmlLoadFile(nullptr, nullptr), 0);
    // Elements nested 20,000 deep: printed with indents they would take
    // memory by the square of the depth. The file is refused whole, before
    // its first product, with a line that names it and the depth.
    const auto nested = [](int levels) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) {
            open += "<x>";
            close += "</x>";
        }
        return open + close;
    };
    const auto peakKb = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKb();
    xr::interchange::ImportReport report;
    {
        xr::interchange::ReportScope scope(&report);
        EXPECT_EQ(Load("<Data>" + Product("PLU=\"1\"") + nested(19999) + "</Data>", "Products"), 0);
    }
    EXPECT_EQ(xrtest::g_log, Lines{"CXRTable::XmlLoadFile doc " + file +
                                   " nested 20000 elements deep (at most 64)"});
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "0");
    EXPECT_EQ(report.lines, 0);
    EXPECT_LT(peakKb() - before, 64 * 1024) << "kB more at the peak";

    // Without a record name the top element is the one record.
    EXPECT_EQ(Load(nested(20000)), 0);
    EXPECT_EQ(LinesWith("nested 20000 elements deep").size(), 1u);

    // 64 levels is a record file still; 65 is not.
    const std::string product = "<Data><Products PLU=\"5\">";
    EXPECT_EQ(Load(product + nested(63) + "</Products></Data>", "Products"), 0);
    EXPECT_EQ(LinesWith("nested 65 elements deep (at most 64)").size(), 1u);
    EXPECT_EQ(Load(product + nested(62) + "</Products></Data>", "Products"), 1);
    EXPECT_TRUE(xrtest::g_log.empty());
    EXPECT_EQ(Rows("SELECT PLU FROM Products"), Lines{"5"});
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(XmlTest);
