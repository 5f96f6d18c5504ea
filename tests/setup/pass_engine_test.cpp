// The pass engine: steps run in order through the library, conditional steps,
// conversions, the observer, and how a failure is classified.
#include "setup_fixture.h"

namespace xrtest {
namespace {

using xr::setup::Outcome;
using xr::setup::Step;
using xr::setup::StepResult;

Step Statement(std::string sql, std::string tag = {}, std::string onlyIf = {}) {
    Step s;
    s.sql = std::move(sql);
    s.tag = std::move(tag);
    s.onlyIfSucceeded = std::move(onlyIf);
    s.label = "T";
    return s;
}

TEST(PassStatements, ColumnsAddedAndTablesCreatedAreReadFromTheText) {
    const struct {
        const char* sql;
        bool creates;
        int columns;
    } cases[] = {
        {"CREATE TABLE T (a INT, b INT)", true, 0},
        {"create  table [T] (a INT)", true, 0},
        {"CREATE UNIQUE INDEX TIX1 ON T (a, b)", false, 0},
        {"ALTER TABLE T ADD a INT", false, 1},
        {"ALTER TABLE [Depts] ADD a DECIMAL(5,2) DEFAULT 0 NOT NULL, b MONEY DEFAULT 0 NOT NULL",
         false, 2},
        {"ALTER TABLE T ADD  a VARCHAR(9) DEFAULT 'x, y' NOT NULL, b BIT", false, 2},
        {"ALTER TABLE T ADD  CONSTRAINT D1 DEFAULT 0 FOR a, CONSTRAINT D2 DEFAULT 0 FOR b", false,
         0},
        {"ALTER TABLE T ADD CONSTRAINT TPrimary PRIMARY KEY (a, b)", false, 0},
        {"ALTER TABLE T ALTER COLUMN a VARCHAR(80) NOT NULL", false, 0},
        {"ALTER TABLE T DROP Info", false, 0},
        {"ALTER TABLE T ADD a VARCHAR(9) DEFAULT 'it''s, here' NOT NULL", false, 1},
    };
    for (const auto& c : cases) {
        Step step = Statement(c.sql);
        EXPECT_EQ(xr::setup::CreatesTable(step), c.creates) << c.sql;
        EXPECT_EQ(xr::setup::ColumnsAdded(step), c.columns) << c.sql;
    }
}

TEST(PassStatements, FailuresAreToldApartByWhatTheServerSays) {
    const struct {
        const char* sql;
        const char* error;
        Outcome outcome;
    } cases[] = {
        {"CREATE TABLE T (a INT)", "There is already an object named 'T' in the database.",
         Outcome::AlreadyThere},
        {"ALTER TABLE T ADD a INT",
         "Column names in each table must be unique. Column name 'a' in table 'T' is specified "
         "more than once.",
         Outcome::AlreadyThere},
        {"ALTER TABLE T ADD CONSTRAINT TPrimary PRIMARY KEY (a)",
         "Table 'T' already has a primary key defined on it.", Outcome::AlreadyThere},
        {"INSERT T VALUES (1)",
         "Violation of PRIMARY KEY constraint 'TPrimary'. Cannot insert duplicate key in object "
         "'dbo.T'.",
         Outcome::AlreadyThere},
        {"ALTER TABLE T DROP Info", "'Info' is not a constraint.", Outcome::NothingToRemove},
        {"DROP TABLE BLA SELECT 1", "Cannot drop the table 'BLA', because it does not exist.",
         Outcome::NothingToRemove},
        // A table that is missing is no harmless absence for a statement
        // that adds to it.
        {"ALTER TABLE T ADD a INT",
         "Cannot find the object \"T\" because it does not exist or you do not have permissions.",
         Outcome::Failed},
        {"ALTER TABLE T ADD a INT", "Arithmetic overflow error.", Outcome::Failed},
    };
    for (const auto& c : cases) {
        Step step = Statement(c.sql);
        StepResult r;
        r.step = &step;
        r.ok = false;
        r.error = c.error;
        EXPECT_EQ(xr::setup::OutcomeOf(r), c.outcome) << c.sql << ": " << c.error;
    }
    StepResult done;
    EXPECT_EQ(xr::setup::OutcomeOf(done), Outcome::Done);
}

TEST(PassStatements, NumberedFamiliesFillEveryCounter) {
    EXPECT_EQ(xr::setup::Numbered(", Type%d INTEGER, Qty%d INTEGER", 1, 2),
              ", Type1 INTEGER, Qty1 INTEGER, Type2 INTEGER, Qty2 INTEGER");
    EXPECT_EQ(xr::setup::Numbered(" KP%d BIT", 8, 10, ","), " KP8 BIT, KP9 BIT, KP10 BIT");
    EXPECT_EQ(xr::setup::Numbered("100% of %d", 3, 3), "100% of 3");
}

TEST_F(Pass1Test, StepsRunInOrderWithTheirConditionsAndConversions) {
    MakeConfigurationDb();
    std::vector<size_t> progress;
    std::vector<std::string> order;
    std::vector<Step> steps = {
        Statement("CREATE TABLE T (a INTEGER NOT NULL)", "T.create"),
        Statement("INSERT T (a) VALUES (1)", "", "T.create"),
        Statement("INSERT T (a) VALUES ('x')"),  // fails; the pass goes on
    };
    Step conversion = Statement("", "", "T.create");
    conversion.conversion = [&](xr::setup::PassContext& context) {
        order.push_back(context.Succeeded("T.create") ? "converted" : "?");
        throw std::runtime_error("no such column");
    };
    steps.push_back(conversion);
    steps.push_back(Statement("INSERT T (a) VALUES (2)"));

    auto observer = [&](const StepResult& r, size_t done, size_t total) {
        progress.push_back(done * 10 + total);
        order.push_back(r.step->sql.empty() ? "conversion" : r.step->sql.substr(0, 6));
    };
    xr::setup::PassContext first = xr::setup::RunSteps(steps, observer);
    EXPECT_EQ(progress, (std::vector<size_t>{15, 25, 35, 45, 55}));
    EXPECT_EQ(order, (std::vector<std::string>{"CREATE", "INSERT", "INSERT", "converted",
                                               "conversion", "INSERT"}));
    ASSERT_EQ(first.results.size(), 5u);
    EXPECT_EQ(OutcomeOf(first.results[2]), Outcome::Failed);
    EXPECT_NE(first.results[2].code, 0);
    EXPECT_EQ(first.results[3].error, "no such column");
    EXPECT_EQ(Rows("SELECT a FROM T ORDER BY a"), (std::vector<std::string>{"1", "2"}));

    // Again: the table is there, so its row and conversion are skipped, and
    // an observer that throws does not stop the pass.
    xr::setup::PassContext second = xr::setup::RunSteps(
        steps, [](const StepResult&, size_t, size_t) { throw std::runtime_error("observer"); });
    EXPECT_EQ(OutcomeOf(second.results[0]), Outcome::AlreadyThere);
    EXPECT_EQ(OutcomeOf(second.results[1]), Outcome::Skipped);
    EXPECT_EQ(OutcomeOf(second.results[3]), Outcome::Skipped);
    EXPECT_EQ(Rows("SELECT a FROM T ORDER BY a"), (std::vector<std::string>{"1", "2", "2"}));
}

}  // namespace
}  // namespace xrtest
