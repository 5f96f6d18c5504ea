// Text holding line breaks in scripts: every writer puts CR and LF as
// CHAR(13) and CHAR(10), so that the runner, which reads a script line by
// line, never sees a separator (or any line) of a value's own, and the text
// comes back byte for byte. A description that hides "--->GO" and a DELETE
// must not delete anything on the site that runs the script.
#include "../table/table_fixture.h"

namespace {

using xrtest::CAnyTable;
using xrtest::TableTest;

const char* kNotes =
    "CREATE TABLE Notes (No INTEGER NOT NULL, Text VARCHAR(200)) "
    "ALTER TABLE Notes ADD CONSTRAINT NotesPrimary PRIMARY KEY (No)";

const char* kTags =
    "CREATE TABLE Tags (Name VARCHAR(100) NOT NULL, Uses INTEGER) "
    "ALTER TABLE Tags ADD CONSTRAINT TagsPrimary PRIMARY KEY (Name)";

const std::string kAttack = "Cola\n--->GO\nDELETE FROM Notes\n--->GO\n";

// Texts that must come back as they were: every control character, CR LF
// pairs, lone CRs, line breaks at either end, lines that are the separator.
std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    std::string all, lines;
    for (int c = 1; c < 0x20; ++c) {
        texts.push_back("a" + std::string(1, static_cast<char>(c)) + "b");
        all += static_cast<char>(c);
    }
    for (int i = 0; i < 66; ++i) lines += "a\r\n";
    // The two of many line breaks before the last: the pieces of the written
    // value must not make an expression deeper than the reader takes.
    texts.insert(
        texts.end(),
        {all, "one\r\ntwo\r\n\r\nthree", "lone\rcarriage\r", "ends in a line break\n", "\n", "\r\n",
         "\n\nstarts with two", "--->GO", "--->GO\r\n", "\n--->GO\n", "it's\n'quoted'\n''",
         "-- a comment?\n-->TABLE: Notes\n", std::string(199, '\n'), lines, kAttack});
    return texts;
}

class LineBreakTest : public TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec(kNotes);
        CAnyTable n("Notes", "No");
        ASSERT_EQ(n.OpenRSAll(), 1);
        int no = 0;
        for (const std::string& text : Texts()) {
            ASSERT_EQ(n.AddNew(), 1);
            ASSERT_EQ(n.SetField("No", ++no), 1);
            ASSERT_EQ(n.SetField("Text", text), 1);
            ASSERT_EQ(n.Update(), 1);
        }
        m_before = Rows("SELECT No, Text FROM Notes ORDER BY No");
        ASSERT_EQ(m_before.size(), Texts().size());
        ASSERT_EQ(m_before.back(), std::to_string(m_before.size()) + "|" + kAttack);
    }

    // Runs `path` on a second database, which holds `seed` first (as SQL).
    void RunOnAnotherSite(const std::string& path, const std::string& seed = "") {
        Exec("CREATE DATABASE U");
        ASSERT_EQ(DBSetDefaultDB("U"), 1);
        Exec(kNotes);
        if (!seed.empty()) Exec(seed);
        xrtest::ClearLog();
        ASSERT_EQ(DBExecSQLFile(path.c_str()), 1);
        EXPECT_TRUE(xrtest::g_log.empty()) << xrtest::g_log.front() << xrtest::ReadFile(path);
    }

    std::vector<std::string> m_before;
};

TEST_P(LineBreakTest, AWholeTableScriptComesBackByteForByteAndDeletesNothing) {
    const std::string path = PathOf("notes.sql");
    CAnyTable n("Notes", "No");
    ASSERT_EQ(n.AAScriptAll(path.c_str()), 1);
    const std::string script = xrtest::ReadFile(path);
    // The table's own DELETE is the only line that begins with one.
    EXPECT_EQ(script.find("\nDELETE"), script.rfind("\nDELETE"));
    EXPECT_EQ(script.find('\r'), std::string::npos);
    RunOnAnotherSite(path, "INSERT Notes VALUES (999, 'cleared by the script')");
    EXPECT_EQ(Rows("SELECT No, Text FROM Notes ORDER BY No"), m_before);
}

TEST_P(LineBreakTest, UpsertsInsertAndUpdateByteForByte) {
    const std::string path = PathOf("upserts.sql");
    {
        CAnyTable n("Notes", "No");
        std::FILE* f = std::fopen(path.c_str(), "w");
        for (int on = n.MoveFirst("SELECT * FROM Notes ORDER BY No"); on; on = n.MoveNext())
            EXPECT_EQ(n.AAScriptRecord(f), 1);
        std::fclose(f);
    }
    EXPECT_EQ(xrtest::ReadFile(path).find('\r'), std::string::npos);
    // Odd rows are there with other text (the UPDATE), even rows are not (the
    // INSERT).
    std::string seed;
    for (size_t no = 1; no <= m_before.size(); no += 2)
        seed += xr::Format("INSERT Notes VALUES (%zu, 'old') ", no);
    RunOnAnotherSite(path, seed);
    EXPECT_EQ(Rows("SELECT No, Text FROM Notes ORDER BY No"), m_before);
}

TEST_P(LineBreakTest, TheChangeLogOfUpdatesAndDeletesKeyedByText) {
    // A table keyed by its text: the DELETE's WHERE holds the line breaks.
    Exec(kTags);
    Exec("INSERT Tags VALUES ('keep', 1)");
    const std::string path = PathOf("changes.sql");
    {
        CAnyTable t("Tags", "Name");
        ASSERT_EQ(t.AAScriptAuto(path.c_str()), 1);
        ASSERT_EQ(t.OpenRSAll(), 1);
        ASSERT_EQ(t.AddNew(), 1);
        ASSERT_EQ(t.SetField("Name", kAttack), 1);
        ASSERT_EQ(t.SetField("Uses", 2), 1);
        ASSERT_EQ(t.Update(), 1);
        ASSERT_EQ(t.AddNew(), 1);
        ASSERT_EQ(t.SetField("Name", std::string("gone\r\n")), 1);
        ASSERT_EQ(t.SetField("Uses", 3), 1);
        ASSERT_EQ(t.Update(), 1);
        ASSERT_EQ(t.MoveFirst("SELECT * FROM Tags WHERE Uses=2"), 1);
        ASSERT_EQ(t.SetField("Uses", 4), 1);
        ASSERT_EQ(t.Update(), 1);
        ASSERT_EQ(t.MoveFirst("SELECT * FROM Tags WHERE Uses=3"), 1);
        ASSERT_EQ(t.Delete(), 1);
        ASSERT_EQ(t.AAScriptAuto(static_cast<std::FILE*>(nullptr)), 1);
    }
    RunOnAnotherSite(path, std::string(kTags) +
                               " INSERT Tags VALUES ('keep', 1) INSERT Notes VALUES (1, 'a note')");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Notes"), "1");
    EXPECT_EQ(Rows("SELECT Name, Uses FROM Tags ORDER BY Uses"),
              (std::vector<std::string>{"keep|1", kAttack + "|4"}));
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(LineBreakTest);
