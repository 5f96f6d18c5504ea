// A batch's result sets streamed to a sink, its errors in the server's terms
// (number, severity, state, line of the failing statement) and its messages,
// on every engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"

namespace {

using namespace xr::engine;

// Writes what it is handed as lines: "begin a,b", "row 1|x", "end 2".
class Recorder final : public ResultSink {
public:
    void Begin(const std::vector<ColumnInfo>& columns) override {
        std::string line = "begin ";
        for (size_t i = 0; i < columns.size(); ++i) line += (i ? "," : "") + columns[i].name;
        lines.push_back(line);
    }
    void Row(const std::vector<xr::Variant>& values) override {
        std::string line = "row ";
        for (size_t i = 0; i < values.size(); ++i)
            line +=
                (i ? "|" : "") + (values[i].IsNull() ? std::string("NULL") : values[i].ToText());
        lines.push_back(line);
    }
    void End(int64_t rows) override { lines.push_back("end " + std::to_string(rows)); }
    void Affected(int64_t rows) override { lines.push_back("affected " + std::to_string(rows)); }
    void Message(const ErrorRecord& m) override { lines.push_back("message " + m.description); }

    std::vector<std::string> lines;
};

class ResultStream : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute(
            "CREATE DATABASE S USE S CREATE TABLE Items (No INT NOT NULL PRIMARY KEY, Name "
            "VARCHAR(20) NULL) INSERT Items VALUES (1, 'Tea') INSERT Items VALUES (2, NULL)");
    }

    // The connection's errors collection, each as "<native>/<severity> <text>",
    // "(info)" for a message.
    std::vector<std::string> Errors() {
        std::vector<std::string> lines;
        for (const ErrorRecord& e : m_conn.Errors()) {
            lines.push_back(e.informational ? "(info) " + e.description
                                            : xr::Format("%d/%d %s", e.native, e.severity,
                                                         e.description.c_str()));
        }
        return lines;
    }
};

TEST_P(ResultStream, EveryResultSetMessageAndWriteCountComesInOrder) {
    Recorder sink;
    m_conn.Stream(
        "SELECT No, Name FROM Items ORDER BY No\n"
        "UPDATE Items SET Name = 'Milk' WHERE No = 2\n"
        "SELECT COUNT(*) AS n FROM Items WHERE Name IS NOT NULL",
        sink);
    const std::vector<std::string> expected = {"begin No,Name", "row 1|Tea", "row 2|NULL", "end 2",
                                               "affected 1",    "begin n",   "row 2",      "end 1"};
    EXPECT_EQ(sink.lines, expected);
    // Messages and write counts come in order with the rows.
    sink.lines.clear();
    m_conn.Stream(
        "PRINT 'first'\n"
        "SELECT No FROM Items WHERE No = 1\n"
        "UPDATE Items SET Name = 'Milk'\n"
        "PRINT 'then'\n"
        "SET NOCOUNT ON\n"
        "DELETE Items WHERE No = 2",
        sink);
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"message first", "begin No", "row 1", "end 1",
                                                    "affected 2", "message then"}));
}

TEST_P(ResultStream, AFailedStatementEndsItsResultSetWithoutItsEnd) {
    // Division by zero ends its statement only: the batch goes on.
    Recorder sink;
    EXPECT_THROW(m_conn.Stream("SELECT No FROM Items\nSELECT 1 / 0 AS x\nSELECT 5 AS y", sink),
                 xr::ComError);
    const std::vector<std::string> expected = {
        "begin No", "row 1",   "row 2",
        "end 2",    "begin x", "message Divide by zero error encountered.",
        "begin y",  "row 5",   "end 1"};
    EXPECT_EQ(sink.lines, expected);
    ASSERT_FALSE(m_conn.Errors().empty());
    EXPECT_EQ(m_conn.Errors()[0].native, 8134);
    EXPECT_EQ(m_conn.Errors()[0].line, 2);
}

TEST_P(ResultStream, ErrorsCarryTheServersNumberSeverityStateLineAndFollowingMessage) {
    m_conn.Execute("CREATE PROCEDURE Closing AS\nSELECT 1 AS a\nRAISERROR('Till closed', 16, 2)");
    const struct {
        const char* batch;
        int native, severity, state, line;
        const char* procedure;
        const char* description;  // null: any text
    } cases[] = {
        {"SELECT 1 AS a\n\nSELECT * FROM NoSuchTable", 208, 16, 1, 3, "",
         "Invalid object name 'NoSuchTable'."},
        {"SELECT 1\nSELECT * FROMM Items WHERE", 102, 15, 1, 2, "", nullptr},
        {"PRINT 'x'\nRAISERROR('Till closed', 16, 5)", 50000, 16, 5, 2, "", "Till closed"},
        {"EXEC Closing", 50000, 16, 2, 3, "Closing", "Till closed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.batch);
        Recorder sink;
        EXPECT_THROW(m_conn.Stream(c.batch, sink), xr::ComError);
        ErrorRecord e;
        for (const ErrorRecord& r : m_conn.Errors()) {
            if (!r.informational && e.native == 0) e = r;
        }
        EXPECT_EQ(xr::Format("%d/%d/%d line %d in '%s'", e.native, e.severity, e.state, e.line,
                             e.procedure.c_str()),
                  xr::Format("%d/%d/%d line %d in '%s'", c.native, c.severity, c.state, c.line,
                             c.procedure));
        if (c.description) {
            EXPECT_EQ(e.description, c.description);
        }
    }
    Recorder sink;
    EXPECT_THROW(m_conn.Stream("INSERT Items VALUES (1, 'Again')", sink), xr::ComError);
    const std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("2627/14 Violation of PRIMARY KEY constraint", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1], "3621/0 The statement has been terminated.");
}

// Informational messages (PRINT, RAISERROR at severity 10 or less) reach the
// caller in the connection's errors collection without making the call
// fail; an error after them still fails it, with the error's own text.
TEST_P(ResultStream, MessagesDoNotFailTheCallAnErrorAfterThemDoesAndALoopOfThemIsBounded) {
    EXPECT_NO_THROW(m_conn.Execute("PRINT 'hello' RAISERROR('note %d', 10, 1, 7)"));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"(info) hello", "(info) note 7"}));

    std::unique_ptr<xr::engine::Rows> rows;
    ASSERT_NO_THROW(rows = m_conn.Query("PRINT 'first' SELECT 42"));
    ASSERT_TRUE(rows && rows->Next());
    EXPECT_EQ(rows->Value(0).ToText(), "42");
    EXPECT_EQ(Errors(), std::vector<std::string>{"(info) first"});

    EXPECT_EQ(xrtest::ErrorOf(m_conn, "PRINT 'before' RAISERROR('went wrong', 16, 1)"),
              "went wrong");
    EXPECT_EQ(Errors(), (std::vector<std::string>{"(info) before", "50000/16 went wrong"}));

    EXPECT_NO_THROW(m_conn.Execute(
        "DECLARE @i INT SET @i = 0 WHILE @i < 5000 BEGIN SET @i = @i + 1 PRINT 'turn' END"));
    ASSERT_EQ(m_conn.Errors().size(), 101u);
    EXPECT_EQ(Errors().back(), "(info) 4900 further messages of the batch were not kept.");
}

XRTEST_ON_EVERY_ENGINE(ResultStream);

}  // namespace
