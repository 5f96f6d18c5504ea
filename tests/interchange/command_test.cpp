// The operator's commands: summaries and exit statuses of script, exec,
// import-csv, import-xml and colours, run as the tool runs them.
#include <filesystem>
#include <sstream>

#include "interchange_commands.h"
#include "library.h"
#include "second_process.h"

namespace {

using xrtest::ConfigTest;

class CommandTest : public ConfigTest {
protected:
    // The commands connect on their own and close every connection when done.
    void SetUp() override {
        ConfigTest::SetUp();
        DBClose();
    }
    void Reconnect() { ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1); }

    std::ostringstream m_out, m_err;
};

TEST_F(CommandTest, ImportCsvCountsWhatEachLineDidAndRefusesWhatItCannotDo) {
    const std::string csv = PathOf("groups.csv");
    xrtest::WriteFile(csv, "1,Drinks\n2,Food\n100,Bad\n1,Soft drinks\n3,delete\n");
    EXPECT_EQ(xrdb8tool::RunImportCsv(Folder(), "groups", csv, false, PathOf("g.sql"), false, m_out,
                                      m_err),
              0)
        << m_err.str();
    EXPECT_EQ(m_out.str(), "import-csv groups " + csv +
                               ": 5 lines\n"
                               "  added: 2\n  changed: 1\n  deleted: 0\n  skipped: 2\n  failed: 0\n"
                               "  first lines not used:\n"
                               "    line 3: group number 100 is outside 1 to 99: 100,Bad\n"
                               "    line 5: nothing to delete: no such record: 3,delete\n"
                               "  changes scripted to " +
                               PathOf("g.sql") + "\n");
    EXPECT_EQ(m_err.str(), "");
    Reconnect();
    EXPECT_EQ(Rows("SELECT GrpNo, Name FROM Groups ORDER BY GrpNo"),
              (std::vector<std::string>{"1|Soft drinks", "2|Food"}));
    DBClose();
    const struct {
        std::string kind, file, script;
        bool allBands;
        std::string error;
    } cases[] = {
        {"customers", csv, "", false, "unknown kind customers"},
        {"depts", csv, "", true, "--all-bands applies to products only"},
        {"depts", PathOf("missing.csv"), "", false, "cannot open " + PathOf("missing.csv")},
        {"depts", Folder(), "", false, "is a folder"},
        {"depts", csv, PathOf("no/such/dir.sql"), false, "cannot write"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(xrdb8tool::RunImportCsv(Folder(), c.kind, c.file, false, c.script, c.allBands,
                                          out, err),
                  1);
        EXPECT_PRED2(xrtest::Has, err.str(), "xrdb8: error: ") << c.error;
        EXPECT_PRED2(xrtest::Has, err.str(), c.error);
        EXPECT_EQ(out.str(), "");
    }
}

TEST_F(CommandTest, ScriptThenExecPutTablesBackAndReportTheirFailures) {
    Reconnect();
    Exec("INSERT Groups (GrpNo, Name) VALUES (1, 'Drinks')");
    Exec("INSERT Depts (DptNo, GrpNo, Name) VALUES (4, 1, 'Bar')");
    DBClose();
    const std::string script = PathOf("tables.sql");
    EXPECT_EQ(
        xrdb8tool::RunScript(Folder(), {"Groups", "Depts"}, script, false, false, m_out, m_err), 0)
        << m_err.str();
    EXPECT_EQ(m_out.str(),
              "Groups: 1 rows\nDepts: 1 rows\nscript " + script + ": 2 tables, 2 rows\n");
    EXPECT_PRED2(xrtest::StartsWith, xrtest::ReadFile(script),
                 "-->TABLE: Groups\nDELETE FROM Groups\n--->GO\n");

    Reconnect();
    Exec("DELETE FROM Groups");
    Exec("UPDATE Depts SET Name='Changed'");
    DBClose();
    std::ostringstream out, err;
    EXPECT_EQ(xrdb8tool::RunExec(Folder(), script, out, err), 0) << err.str();
    EXPECT_EQ(out.str(),
              "exec " + script + ": 4 batches run, 4 succeeded, 0 failed (--->GO separators)\n");
    Reconnect();
    EXPECT_EQ(Rows("SELECT Name FROM Groups"), std::vector<std::string>{"Drinks"});
    DBClose();

    // A table that cannot be read: no script is written at all.
    const std::string failed = PathOf("s.sql");
    std::ostringstream out1, err1;
    EXPECT_EQ(
        xrdb8tool::RunScript(Folder(), {"Groups", "NoSuchTable"}, failed, false, false, out1, err1),
        1);
    EXPECT_PRED2(xrtest::Has, err1.str(), "cannot read table NoSuchTable");
    EXPECT_FALSE(std::filesystem::exists(failed));
    std::ostringstream out2, err2;
    EXPECT_EQ(xrdb8tool::RunScript(Folder(), {"Groups; DELETE FROM Depts"}, failed, false, false,
                                   out2, err2),
              1);
    EXPECT_PRED2(xrtest::Has, err2.str(), "is not a table name");

    xrtest::WriteFile(failed, "SELECT 1\n--->GO\nINSERT NoSuchTable VALUES (1)\n--->GO\n");
    std::ostringstream out3, err3;
    EXPECT_EQ(xrdb8tool::RunExec(Folder(), failed, out3, err3), 1);
    EXPECT_PRED2(xrtest::StartsWith, out3.str(),
                 "exec " + failed +
                     ": 2 batches run, 1 succeeded, 1 failed (--->GO separators)\n"
                     "  first failures:\n    line 4: ");
    std::ostringstream out4, err4;
    EXPECT_EQ(xrdb8tool::RunExec(Folder(), PathOf("missing.sql"), out4, err4), 1);
    EXPECT_PRED2(xrtest::Has, err4.str(), "cannot open");
}

TEST_F(CommandTest, ImportXmlSummaryAndErrors) {
    const std::string xml = PathOf("p.xml");
    xrtest::WriteFile(xml,
                      "<Data><Products PLU=\"1\" Description=\"One\"/>"
                      "<Products Description=\"No key\"/><Note/></Data>");
    EXPECT_EQ(xrdb8tool::RunImportXml(Folder(), xml, "Products", true, m_out, m_err), 1);
    EXPECT_EQ(m_out.str(),
              "import-xml " + xml +
                  ": 3 elements\n"
                  "  products added: 1\n  products changed: 0\n  products failed: 1\n"
                  "  other elements passed over: 1\n"
                  "  first elements not used:\n"
                  "    element 2: no PLU attribute: <Products Description=\"No key\" />\n"
                  "    element 3: element Note is not a product: <Note />\n");

    xrtest::WriteFile(xml, "<Data><Products PLU=\"1\"></Data>");
    std::ostringstream out, err;
    EXPECT_EQ(xrdb8tool::RunImportXml(Folder(), xml, "", false, out, err), 1);
    EXPECT_PRED2(xrtest::Has, err.str(), "was not loaded: CXRTable::XmlLoadFile doc load");
}

TEST_F(CommandTest, ColoursBothWays) {
    const std::string file = PathOf("c.txt");
    EXPECT_EQ(xrdb8tool::RunColours(Folder(), "export", file, m_out, m_err), 1);
    EXPECT_PRED2(xrtest::Has, m_err.str(), "no palette");
    xrtest::WriteFile(file, "# 1\n00FF00\nzz\n");
    std::ostringstream out, err;
    EXPECT_EQ(xrdb8tool::RunColours(Folder(), "import", file, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "colours import " + file +
                             ": 2 colours stored, 1 comment lines\n"
                             "  lines that are not a colour (eight hexadecimal digits):\n"
                             "    colour 2: \"zz\" stored as 00000000\n");
    std::ostringstream out2, err2;
    EXPECT_EQ(xrdb8tool::RunColours(Folder(), "export", PathOf("d.txt"), out2, err2), 0);
    EXPECT_EQ(out2.str(), "colours export " + PathOf("d.txt") + ": 2 colours written\n");
    EXPECT_EQ(xrtest::ReadFile(PathOf("d.txt")), "# 1\n0000FF00\n00000000\n");
}

// A data folder whose name would break the connection string unquoted: a ';'
// ends the value, quotes open one, blanks at the ends are dropped.
TEST_F(CommandTest, CommandsReachTheServerInAFolderOfAnyName) {
    for (const std::string name : {"pos;site 1", "it's \"here\"", " padded "}) {
        SCOPED_TRACE(name);
        const std::filesystem::path folder = std::filesystem::path(Folder()) / name;
        std::filesystem::create_directory(folder);
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            if (entry.is_regular_file())
                std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        const std::string csv = PathOf("groups.csv");
        xrtest::WriteFile(csv, "7,Seven\n");
        std::ostringstream out, err;
        EXPECT_EQ(
            xrdb8tool::RunImportCsv(folder.string(), "groups", csv, false, "", false, out, err), 0)
            << err.str();
        EXPECT_PRED2(xrtest::Has, out.str(), "added: 1");
    }
    // The rows went to the copies, not to the folder the names were cut from.
    Reconnect();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Groups WHERE GrpNo=7"), "0");
}

TEST_F(CommandTest, TheToolRejectsBadArguments) {
    const std::vector<std::string> refused[] = {{"import-csv", "customers", "x.csv"},
                                                {"colours", "sideways", "x.txt"},
                                                {"script", "--out", "x.sql"}};
    for (const auto& args : refused) EXPECT_EQ(xrtest::Tool(Folder(), args).status, 1) << args[0];
}

}  // namespace
