// Input the tool cannot use as given is refused line by line with its reason,
// never stored as something else, and the exit status says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "second_process.h"
#include "site_dump.h"
#include "temp_dir.h"

namespace {

using xrtest::Has;

class BadInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_site = new xrtest::TempDir();
        ASSERT_EQ(xrtest::Tool(s_site->Str(), {"setup", "--only", "databases"}).status, 0);
    }
    static void TearDownTestSuite() {
        delete s_site;
        s_site = nullptr;
    }

    std::string Site() const { return s_site->Str(); }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = m_dir.Str() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::vector<std::string> Rows(const std::string& sql) {
        return xrtest::FileLines(Site() + "/LORIMDB81.db", sql);
    }

    static xrtest::TempDir* s_site;
    xrtest::TempDir m_dir;
};

xrtest::TempDir* BadInputTest::s_site = nullptr;

const char* kProductTail = ",1,A,0,1,0,0,0,1,1,1,1,1,1,1,1,1,0,0,0,0,A\n";

TEST_F(BadInputTest, KeysValuesAndListLinesThatAreNoNumbersOrTooLargeAreNamed) {
    const std::string csv =
        Write("depts.csv", "1,Bar,1\n1e3,Food,1\n12abc,Wine,1\n3,Beer,1x\n70000,Big,1\n");
    xrtest::ToolResult r = xrtest::Tool(Site(), {"import-csv", "depts", csv});
    EXPECT_PRED2(Has, r.output, "skipped: 4");
    EXPECT_PRED2(Has, r.output, "line 3: department number 12abc is not a whole number");
    EXPECT_PRED2(Has, r.output, "line 4: group number 1x is not a whole number");
    EXPECT_PRED2(Has, r.output, "line 2: department number 1e3 is not a whole number");
    EXPECT_EQ(Rows("SELECT DptNo, Name FROM Depts WHERE DptNo IN (1, 3, 12) ORDER BY DptNo"),
              (std::vector<std::string>{"1|Bar"}));
    // A number too large for its column fails its line.
    const std::string products =
        Write("products.csv", std::string("71,Fits,100,200,300,400") + kProductTail +
                                  "72,Too dear,99999999999,200,300,400" + kProductTail +
                                  "73,Bad dept,1,2,3,4,70000,A,0,1,0,0,0,1,1,1,1,1,1,1,1,1,0,0,0,"
                                  "0,A\n" +
                                  "99999999999999999999,Huge PLU,1,2,3,4" + kProductTail);
    r = xrtest::Tool(Site(), {"import-csv", "products", products});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_PRED2(Has, r.output, "added: 1\n");
    EXPECT_PRED2(Has, r.output, "failed: 2");
    EXPECT_PRED2(Has, r.output, "skipped: 1");
    EXPECT_PRED2(Has, r.output, "line 2: Price1 99999999999 does not fit its column");
    EXPECT_PRED2(Has, r.output, "line 3: Dept 70000 does not fit its column");
    EXPECT_PRED2(Has, r.output, "line 4: PLU 99999999999999999999 is not a whole number");
    EXPECT_EQ(Rows("SELECT PLU FROM Products WHERE PLU BETWEEN 71 AND 73 OR PLU > 2000000000"),
              (std::vector<std::string>{"71"}));
    // A product value that is not a number is named.
    const std::string xml =
        Write("p.xml", "<Products PLU=\"91\" Description=\"x\" Price1=\"NaN\"/>\n");
    r = xrtest::Tool(Site(), {"import-xml", xml});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_PRED2(Has, r.output,
                 "element 1: attribute Price1=\"NaN\" is not a value its column can "
                 "hold (not a number, or out of its range)");
    EXPECT_FALSE(xrtest::Has(r.output, "Multiple-step")) << r.output;
    EXPECT_EQ(Rows("SELECT PLU FROM Products WHERE PLU = 91"), std::vector<std::string>{});
    // A list file of garbage fails.
    std::filesystem::create_directories(m_dir.Str() + "/lists");
    Write("lists/L00012.LST", "[FLIST]\nP\nIxyz\nI garbage <a>\nIhello\nsomething else\n");
    r = xrtest::Tool(Site(), {"lists", "import", m_dir.Str() + "/lists", "12"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_PRED2(Has, r.output, "lines not understood: 4");
    EXPECT_PRED2(Has, r.output,
                 "line 3: a key whose function type and value are not numbers: Ixyz");
}

TEST_F(BadInputTest, ASetupWithStatementsThatFailExitsNonZero) {
    xrtest::TempDir dir;
    // A table of the configuration database whose columns cannot take the
    // rows the set-up writes.
    ASSERT_EQ(xrtest::ToolSql(dir.Str(), "CREATE DATABASE LORIMDB81"), 0);
    ASSERT_EQ(xrtest::ToolSql(dir.Str(),
                              "CREATE TABLE LORIMDB81..Functions (FuncNo VARCHAR(1) NOT "
                              "NULL, Name VARCHAR(1) NULL, Auth VARCHAR(1) NULL)"),
              0);
    xrtest::ToolResult r = xrtest::Tool(dir.Str(), {"setup"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_PRED2(Has, r.output, "xrdb8: error: the set-up is incomplete: ");
    EXPECT_NE(xrtest::SetupFailures(r.output), "") << r.output;
}

}  // namespace
