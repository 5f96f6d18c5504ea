// The script runner: how lines become batches, and what it does with files
// that are missing, binary or very long.
#include <random>

#include "../table/table_fixture.h"
#include "interchange/script_runner.h"

namespace {

using xrtest::TableTest;

class RunnerTest : public TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec("CREATE TABLE Notes (No INTEGER NOT NULL, Text VARCHAR(100))");
    }

    // Runs `text` as a script file; the runner's result.
    int Run(const std::string& text) {
        const std::string path = PathOf("script.sql");
        xrtest::WriteFile(path, text);
        return DBExecSQLFile(path.c_str());
    }

    // "no:text;" for each note.
    static std::string Notes() {
        std::string all;
        for (const std::string& row : Rows("SELECT No, Text FROM Notes ORDER BY No", ':'))
            all += row + ";";
        return all;
    }
};

// Batches of the suite's --->GO scripts and of GO-separated files.
TEST_P(RunnerTest, BatchRules) {
    const struct {
        const char* name;
        const char* script;
        const char* notes;
    } cases[] = {
        {"no terminator runs nothing", "INSERT Notes VALUES (1, 'a')\n", ""},
        {"the last batch needs its terminator",
         "INSERT Notes VALUES (1, 'a')\n--->GO\nINSERT Notes VALUES (2, 'b')\n", "1:a;"},
        {"two terminators in a row", "INSERT Notes VALUES (1, 'a')\n--->GO\n--->GO\n", "1:a;"},
        {"a blank batch is not run", "   \n\t\n--->GO\nINSERT Notes VALUES (1, 'a')\n--->GO\n",
         "1:a;"},
        {"comment lines are dropped",
         "-->TABLE: Notes\n-- a comment\nINSERT Notes VALUES (1, 'a')\n--\n--->GO\n", "1:a;"},
        {"words after the terminator",
         "INSERT Notes VALUES (1, 'a')\n--->GO and more\nINSERT Notes VALUES (2, 'b')\n--->GO\n",
         "1:a;2:b;"},
        {"lines join with nothing between them",
         "INSERT Notes VALUES (1, 'ab\ncd')\n INSERT Notes\n VALUES (2, 'e')\n--->GO\n",
         "1:abcd;2:e;"},
        {"a blank before the dashes makes no comment: it ends the batch's SQL",
         "INSERT Notes VALUES (1, 'a')\n -- note\nINSERT Notes VALUES (2, 'b')\n--->GO\n", "1:a;"},
        {"a failed batch does not stop the script",
         "INSERT Nowhere VALUES (1)\n--->GO\nINSERT Notes VALUES (3, 'c')\n--->GO\n", "3:c;"},
        {"Windows line ends",
         "INSERT Notes\r\n VALUES (1, 'a')\r\n--->GO\r\nINSERT Notes VALUES (2, 'b')\r\n--->GO\r\n",
         "1:a;2:b;"},
        {"a last line without a line end", "INSERT Notes VALUES (1, 'a')\n--->GO", "1:a;"},
        {"a single dash is text", "INSERT Notes VALUES (\n-\n1, 'a')\n--->GO\n", "-1:a;"},
        // Install scripts of SQL Server's tools end their batches at GO lines.
        {"the text after the last GO runs too",
         "INSERT Notes VALUES (1, 'a')\nGO\nINSERT Notes VALUES (2, 'b')\n", "1:a;2:b;"},
        {"any case, blanks around, a comment after",
         "INSERT Notes VALUES (1, 'a')\n  go  -- first\nINSERT Notes VALUES (2, 'b')\r\nGo\r\n",
         "1:a;2:b;"},
        {"lines keep their breaks, so comments end at the line's end",
         "INSERT Notes -- the notes\nVALUES (1, 'a\nb')\nGO\n", "1:a\nb;"},
        {"GO n runs the batch n times", "INSERT Notes SELECT COUNT(*), 'x' FROM Notes\nGO 3\n",
         "0:x;1:x;2:x;"},
        {"a name that begins with GO is no separator", "INSERT Notes SELECT 1, 'a' AS\nGONE\nGO\n",
         "1:a;"},
        {"a failed batch does not stop the script",
         "INSERT Nowhere VALUES (1)\nGO\nINSERT Notes VALUES (3, 'c')\nGO\n", "3:c;"},
        {"the first separator decides: a --->GO file keeps its rules",
         "INSERT Notes VALUES (1, 'a')\n--->GO\nGO\nINSERT Notes VALUES (2, 'b')\n", "1:a;"},
    };
    for (const auto& c : cases) {
        Exec("DELETE FROM Notes");
        EXPECT_EQ(Run(c.script), 1) << c.name;
        EXPECT_EQ(Notes(), c.notes) << c.name;
    }
    const std::string path = PathOf("install.sql");
    xrtest::WriteFile(path, "INSERT Notes VALUES (1, 'a')\nGO 2\nINSERT Nowhere VALUES (1)\n");
    xr::RunStats stats;
    ASSERT_EQ(xr::ExecSQLFile(path.c_str(), &stats), 1);
    EXPECT_EQ(stats.format, xr::ScriptFormat::Go);
    EXPECT_EQ(stats.batches, 3);
    EXPECT_EQ(stats.failed, 1);
}

TEST_P(RunnerTest, MissingFilesFoldersAndConnectionsGiveZero) {
    EXPECT_EQ(DBExecSQLFile(PathOf("missing.sql").c_str()), 0);
    EXPECT_EQ(DBExecSQLFile(m_dir.Str().c_str()), 0) << "a folder";
    EXPECT_EQ(DBExecSQLFile(nullptr), 0);
    EXPECT_EQ(DBExecSQLFile(""), 0);
    // No connection to be had: nothing runs.
    const std::string path = PathOf("ok.sql");
    xrtest::WriteFile(path, "INSERT Notes VALUES (1, 'a')\n--->GO\n");
    DBClose();
    DBOpen("Provider=nosuch", "");
    EXPECT_EQ(DBExecSQLFile(path.c_str()), 0);
    DBClose();
    ASSERT_EQ(DBOpen(ConnectString().c_str(), "T"), 1);
    EXPECT_EQ(Notes(), "");
}

TEST_P(RunnerTest, BinaryFilesAndLinesOfTenMegabytes) {
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 200000; ++i) noise += static_cast<char>(random() & 255);
    for (int i = 0; i < 20; ++i) noise.insert(random() % noise.size(), "\n--->GO\n");
    xrtest::ClearLog();
    EXPECT_EQ(Run(noise), 1);
    EXPECT_FALSE(xrtest::LinesStarting("Thread").empty()) << "the failed batches are reported";
    static const char kZero[] = "INSERT Notes VALUES (1, 'a\0b')\n--->GO\n";
    EXPECT_EQ(Run(std::string(kZero, sizeof kZero - 1)), 1);
    // The connection still serves.
    EXPECT_EQ(Run("INSERT Notes VALUES (9, 'z')\n--->GO\n"), 1);
    EXPECT_PRED2(xrtest::Has, Notes(), "9:z;");
    // A line of ten megabytes is taken whole.
    Exec("CREATE TABLE Pics (ID INTEGER NOT NULL, Pic IMAGE)");
    const size_t size = 5 * 1024 * 1024;  // 10 MB of hex digits on one line
    std::string line = "INSERT Pics VALUES (1, 0x";
    line.reserve(line.size() + 2 * size + 16);
    for (size_t i = 0; i < size; ++i) line += "A5";
    line += ")";
    ASSERT_EQ(Run(line + "\r\n--->GO\r\n"), 1);
    xrtest::CAnyTable pics("Pics", "ID");
    ASSERT_EQ(pics.MoveFirst(), 1);
    int count = 0;
    ASSERT_EQ(pics.GetFieldSize("Pic", count), 1);
    EXPECT_EQ(count, static_cast<int>(size));
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(RunnerTest);
