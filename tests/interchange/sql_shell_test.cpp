// xrdb8 sql as an operator's shell: the tool run as its own process, fed
// batches through a pipe or typed at a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library.h"
#include "second_process.h"
#include "tool_run.h"

namespace {

using xrtest::Engine;
using xrtest::TestServer;

struct Ran {
    int status = -1;  // exit status; -1 when the tool did not exit by itself
    std::string out;
    std::string err;
};

using xrtest::ShellWord;

// `xrdb8 --data|--connect <server> <args...>` as a shell command.
std::string ToolCommand(const TestServer& server, const std::vector<std::string>& args) {
    std::string command =
        "HOME=" + ShellWord(server.Dir().Str()) + " " + ShellWord(XRDB8_TOOL_PATH);
    command += server.GetEngine() == Engine::Sqlite
                   ? " --data " + ShellWord(server.Dir().Str())
                   : " --connect " + ShellWord(server.ConnectString());
    for (const std::string& a : args) command += " " + ShellWord(a);
    return command;
}

// Runs the tool with `input` on its standard input (a pipe), to its end.
Ran Shell(const TestServer& server, const std::vector<std::string>& args,
          const std::string& input = "") {
    const std::string dir = server.Dir().Str();
    xrtest::WriteFile(dir + "/stdin.sql", input);
    const xrtest::ToolResult run =
        xrtest::ShellRun("cat " + ShellWord(dir + "/stdin.sql") + " | " +
                         ToolCommand(server, args) + " 2>" + ShellWord(dir + "/stderr.txt"));
    return {run.status, run.output, xrtest::ReadFile(dir + "/stderr.txt")};
}

using xrtest::Has;

// A run of the tool on a pipe and what it must give: `out` and `err` whole,
// or, when they begin with "~", a part of them.
struct PipeCase {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out, err;
};

void Expect(const std::string& text, const std::string& expected, const char* what) {
    if (expected.rfind("~", 0) == 0)
        EXPECT_TRUE(Has(text, expected.substr(1))) << what << ": " << text;
    else
        EXPECT_EQ(text, expected) << what;
}

void RunCases(const TestServer& server, const std::vector<PipeCase>& cases) {
    for (const PipeCase& c : cases) {
        SCOPED_TRACE(c.input.empty() ? c.args.back() : c.input);
        const Ran ran = Shell(server, c.args, c.input);
        EXPECT_EQ(ran.status, c.status) << ran.err;
        Expect(ran.out, c.out, "stdout");
        Expect(ran.err, c.err, "stderr");
    }
}

const char* kItems =
    "CREATE DATABASE Shop\nGO\nUSE Shop\n"
    "CREATE TABLE Items (No INT NOT NULL PRIMARY KEY, Name VARCHAR(30) NULL, "
    "IsOpen BIT NULL, Price MONEY NULL, Sold DATETIME NULL, Small SMALLDATETIME NULL, "
    "Rate DECIMAL(9,3) NULL, Code VARBINARY(4) NULL)\nGO\n"
    "INSERT Items VALUES (1, 'Tea', 1, 12.5, '2024-01-02 03:04:05.123', "
    "'2024-01-02 03:04:00', 2.5, 0x0AFF)\n"
    "INSERT Items VALUES (2, NULL, 0, -0.01, NULL, NULL, NULL, NULL)\nGO\n";

class SqlShell : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
        const Ran made = Shell(m_server, {"sql"}, kItems);
        ASSERT_EQ(made.status, 0) << made.out << made.err;
    }

    TestServer m_server{GetParam()};
};

TEST_P(SqlShell, BatchesValuesRowsMessagesAndErrors) {
    const std::vector<std::string> shop = {"sql", "-d", "Shop"};
    RunCases(m_server,
             {
                 // Batches end at GO, GO n runs one n times, the last needs no GO.
                 {shop,
                  "CREATE TABLE Counts (n INT)\ngo\nINSERT Counts VALUES (7)\nGO 3 -- three "
                  "times\nSELECT COUNT(*) AS c FROM Counts\n",
                  0, "~c\n-\n3\n\n(1 row affected)\n", ""},
                 // Values as the server shows them.
                 {{"sql", "-d", "Shop", "--tsv", "-h", "-1"},
                  "SELECT IsOpen, Price, Sold, Small, Rate, Code, Name FROM Items ORDER BY No\n",
                  0,
                  "1\t12.5000\t2024-01-02 03:04:05.123\t2024-01-02 "
                  "03:04:00\t2.500\t0x0AFF\tTea\n0\t-0.0100\t\\N\t\\N\t\\N\t\\N\t\\N\n",
                  ""},
                 // Aligned rows put numbers right and count the rows.
                 {{"sql", "-d", "Shop", "SELECT No, Name, IsOpen, Price FROM Items ORDER BY No"},
                  "",
                  0,
                  "No Name IsOpen Price\n-- ---- ------ -------\n 1 Tea       1 12.5000\n 2 NULL "
                  "     0 -0.0100\n\n(2 rows affected)\n",
                  ""},
                 // Errors are Msg lines on stderr, the exit status is 1, the next batch runs.
                 {shop, "SELECT 1 AS a\n\nSELECT * FROM NoSuchTable\nGO\nSELECT 2 AS b\nGO\n", 1,
                  "~b\n-\n2\n",
                  "Msg 208, Level 16, State 1, Line 3\nInvalid object name 'NoSuchTable'.\n"},
                 // Messages and write counts come between the rows as they happen.
                 {shop,
                  "PRINT 'before'\nSELECT No FROM Items WHERE No = 1\nUPDATE Items SET Name = "
                  "Name\nPRINT 'after'\nSET NOCOUNT ON\nUPDATE Items SET Name = Name\n",
                  0, "before\nNo\n--\n 1\n\n(1 row affected)\n\n(2 rows affected)\nafter\n", ""},
             });
}

XRTEST_ON_EVERY_ENGINE(SqlShell);

// The cases below run on the embedded engine: what they check is the tool's.
class SqlShellTool : public ::testing::Test {
protected:
    void SetUp() override {
        const Ran made =
            Shell(m_server, {"sql"}, std::string("CREATE DATABASE LORIMDB81\nGO\n") + kItems);
        ASSERT_EQ(made.status, 0) << made.out << made.err;
    }

    TestServer m_server{Engine::Sqlite};
};

TEST_F(SqlShellTool, OutputFormatsErrorsAndArgumentsItCannotUse) {
    RunCases(
        m_server,
        {
            // CSV quotes as RFC 4180 and keeps NULL apart from the empty text.
            {{"sql", "--csv"},
             "SELECT 'a,b' AS [x,y], 'say \"hi\"' AS q, 'two\nlines' AS l, '' AS e, NULL AS n, "
             "3 AS i\n",
             0,
             "\"x,y\",q,l,e,n,i\n\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"\",,3\n",
             ""},
            // -h -1 drops the header in every format.
            {{"sql", "-h", "-1", "SELECT 5 AS five"}, "", 0, "5\n\n(1 row affected)\n", ""},
            {{"sql", "--csv", "-h", "-1", "SELECT 5 AS five"}, "", 0, "5\n", ""},
            {{"sql", "--tsv", "SELECT 5 AS five"}, "", 0, "five\n5\n", ""},
            // A GO without a positive count skips its batch.
            {{"sql", "--csv", "-h", "-1"},
             "SELECT 1\nGO 0\nSELECT 2\nGO x\nSELECT 3\nGO\n",
             1,
             "3\n",
             "xrdb8: error: line 2: GO takes a positive whole count; the batch before it did not "
             "run.\nxrdb8: error: line 4: GO takes a positive whole count; the batch before it "
             "did not run.\n"},
            {{"sql", "-i", m_server.Dir().Str() + "/none.sql"},
             "",
             1,
             "",
             "xrdb8: error: cannot open '" + m_server.Dir().Str() +
                 "/none.sql': No such file or directory\n"},
            // An unknown database for -d stops before any batch.
            {{"sql", "-d", "NoSuchDb"}, "CREATE DATABASE Late\nGO\n", 1, "", "~Msg "},
            {{"sql", "USE Late"}, "", 1, "", "~Msg "},  // never made
        });
    // A syntax error mid-file is reported and the rest runs.
    const std::string file = m_server.Dir().Str() + "/script.sql";
    xrtest::WriteFile(file,
                      "USE Shop\nGO\nSELECT 1 AS one\nSELECT * FROMM Items WHERE\nGO\n"
                      "SELECT Name FROM Items WHERE No = 1\nGO\n");
    Ran ran = Shell(m_server, {"sql", "-i", file});
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(Has(ran.err, "Msg 102, Level 15, State 1, Line 2\nIncorrect syntax near"))
        << ran.err;
    EXPECT_TRUE(Has(ran.out, "Tea")) << ran.out;
    EXPECT_FALSE(Has(ran.out, "one")) << ran.out;  // nothing of the failed batch ran

    // -b: the first failing batch is the last.
    ran = Shell(m_server, {"sql", "-b", "-i", file});
    EXPECT_EQ(ran.status, 1);
    EXPECT_FALSE(Has(ran.out, "Tea")) << ran.out;
}

TEST_F(SqlShellTool, AReaderThatClosesThePipeEndsTheToolQuietly) {
    ASSERT_EQ(Shell(m_server, {"sql", "-d", "Shop"},
                    "CREATE TABLE Many (n INT)\nGO\nINSERT Many VALUES (1)\nGO 300\n")
                  .status,
              0);
    const std::string dir = m_server.Dir().Str();
    const std::string command =
        "bash -c " +
        ShellWord(ToolCommand(m_server, {"sql", "-d", "Shop", "--csv",
                                         "SELECT a.n, REPLICATE('x', 200) AS pad FROM Many a "
                                         "CROSS JOIN Many b"}) +
                  " 2>" + ShellWord(dir + "/err.txt") + " | head -1 >" +
                  ShellWord(dir + "/head.txt") + "; echo ${PIPESTATUS[0]} >" +
                  ShellWord(dir + "/status.txt"));
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(xrtest::ReadFile(dir + "/head.txt"), "n,pad\n");
    EXPECT_EQ(xrtest::ReadFile(dir + "/err.txt"), "");
    EXPECT_EQ(xrtest::ReadFile(dir + "/status.txt"), "1\n");  // exited by itself, not killed
}

// ---- on a terminal ----------------------------------------------------------

// `xrdb8 sql` on a terminal, with the test's folder as its home.
xrtest::Terminal SqlTerminal(const TestServer& server) {
    return xrtest::Terminal({"--data", server.Dir().Str(), "sql"}, {"HOME=" + server.Dir().Str()});
}

TEST_F(SqlShellTool, ThePromptFollowsUseAndWideRowsGoColumnByColumn) {
    auto t = SqlTerminal(m_server);
    ASSERT_TRUE(t.Started());
    ASSERT_TRUE(t.Expect("LORIMDB81> ")) << t.Seen();
    t.Type("USE Shop\r");
    ASSERT_TRUE(t.Expect("         > ")) << t.Seen();  // the continuation line
    t.Type("GO\r");
    ASSERT_TRUE(t.Expect("SHOP> ")) << t.Seen();  // as DB_NAME() gives it
    t.Type("SELECT Name FROM Items WHERE No = 1\rGO\r");
    for (const char* text : {"Tea", "(1 row affected)", "SHOP> "})
        ASSERT_TRUE(t.Expect(text)) << t.Seen();
    // A row wider than the terminal's 100 columns is shown column by column.
    t.Type("SELECT 1 AS n, REPLICATE('w', 120) AS wide\rGO\r");
    for (const char* text : {"-[ ROW 1 ]-", "n   : 1", "wide: www", "(1 row affected)"})
        ASSERT_TRUE(t.Expect(text)) << t.Seen();
    t.Type("SELECT 1 AS n, 'narrow' AS w\rGO\r");
    ASSERT_TRUE(t.Expect("- ------")) << t.Seen();  // rows again
    t.Type("exit\r");
    EXPECT_EQ(t.Wait(), 0) << t.Seen();
    // The lines typed are kept for the next session.
    EXPECT_TRUE(Has(xrtest::ReadFile(m_server.Dir().Str() + "/.xrdb8_history"), "Shop"));
    // ... which piped input neither reads nor disturbs.
    const Ran piped =
        Shell(m_server, {"sql", "-d", "Shop", "-h", "-1"}, "SELECT COUNT(*) FROM Items\n");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, "2\n\n(1 row affected)\n") << piped.out;
}

// quit, :quit, EXIT and a terminal that closes mid-command leave without running the
// unfinished batch; only the hangup is a failure.
TEST_F(SqlShellTool, LeavingNeverRunsTheUnfinishedBatch) {
    for (const char* word : {"quit", ":quit", "EXIT", ""}) {
        SCOPED_TRACE(*word ? word : "hangup");
        auto t = SqlTerminal(m_server);
        ASSERT_TRUE(t.Started());
        ASSERT_TRUE(t.Expect("LORIMDB81> ")) << t.Seen();
        t.Type("INSERT Shop..Items (No) VALUES (50)\r");
        ASSERT_TRUE(t.Expect("> ")) << t.Seen();
        if (*word) {
            t.Type(std::string(word) + "\r");
            EXPECT_EQ(t.Wait(), 0) << t.Seen();
        } else {
            t.Hangup();
            EXPECT_GT(t.Wait(), 0);  // exited by itself, with a failure
        }
    }
    const Ran count =
        Shell(m_server, {"sql", "-h", "-1", "--csv", "SELECT COUNT(*) FROM Shop..Items"});
    EXPECT_EQ(count.out, "2\n");
}

}  // namespace
