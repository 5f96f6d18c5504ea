// The progress line of the long commands: laid out to the terminal's width,
// drawn on a terminal and cleared before the summary, absent from pipes.
#include "progress.h"

#include <string>
#include <vector>

#include "library.h"
#include "second_process.h"
#include "tool_run.h"

namespace {

using xrdb8tool::ProgressState;
using xrdb8tool::ProgressText;
using xrdb8tool::Units;

ProgressState Import(uint64_t done, uint64_t total, double seconds) {
    return {"import-csv products", Units::Bytes, "", done, total, seconds};
}

TEST(ProgressLine, LaidOutToTheWidth) {
    const ProgressState setup = {"setup databases", Units::Things, "statements", 236, 405, 0};
    const struct {
        ProgressState state;
        size_t width;
        std::string line;  // whole, or after "~" a part of it, or after "!" no part of it
    } cases[] = {
        // Percentage, amount, rate and time left.
        {Import(1'200'000, 2'700'000, 4), 100, "~import-csv products   44% ["},
        {Import(1'200'000, 2'700'000, 4), 100, "~]  1.2 MB of 2.7 MB  300 kB/s  5s left"},
        // Counts show done over total.
        {setup, 100,
         "setup databases   58% [" + std::string(11, '=') + std::string(9, ' ') +
             "]  236/405 statements"},
        // Rate and time left wait for a second of work.
        {Import(100, 1000, 0.2), 100, "~10%"},
        {Import(100, 1000, 0.2), 100, "!/s"},
        {Import(100, 1000, 0.2), 100, "!left"},
        // An unknown total shows the count and no percentage.
        {{"script Products", Units::Things, "rows", 1500, 0, 3},
         80,
         "script Products  1500 rows  500 rows/s"},
        // A count beyond the total stops at a hundred.
        {Import(5000, 4000, 0), 100, "~100%"},
        {Import(5000, 4000, 0), 100, "~4.0 kB of 4.0 kB"},
        // Long durations read as hours and minutes: 1% in 60 seconds.
        {{"exec", Units::Things, "batches", 10, 1000, 60}, 120, "~1:39:00 left"},
        // A narrow terminal keeps the percentage longest.
        {Import(1'200'000, 2'700'000, 4), 40, "import-csv products   44%  5s left"},
        {Import(1'200'000, 2'700'000, 4), 25, "import-csv products   44%"},
        {Import(1'200'000, 2'700'000, 4), 12, "import   44%"},
        // A label is not cut inside a character.
        {{"script Caf\xC3\xA9s", Units::Things, "rows", 1, 2, 0}, 17, "script Caf   50%"},
    };
    for (const auto& c : cases) {
        const std::string line = ProgressText(c.state, c.width);
        if (c.line[0] == '~')
            EXPECT_PRED2(xrtest::Has, line, c.line.substr(1));
        else if (c.line[0] == '!')
            EXPECT_FALSE(xrtest::Has(line, c.line.substr(1))) << line;
        else
            EXPECT_EQ(line, c.line);
    }
    // The bar keeps its width; every width gets a line that fits it: a
    // wrapped line cannot be redrawn in place.
    const std::string early =
        ProgressText({"setup databases", Units::Things, "statements", 5, 405, 2}, 100);
    EXPECT_EQ(early.find(']'), ProgressText(setup, 100).find(']')) << early;
    const ProgressState counting = {"setup databases", Units::Things, "statements", 3, 0, 2};
    for (size_t width = 1; width <= 160; ++width) {
        EXPECT_LE(ProgressText(Import(1'200'000, 2'700'000, 4), width).size(), width) << width;
        EXPECT_LE(ProgressText(counting, width).size(), width) << width;
    }
}

// ---- the tool on a terminal and on a pipe ------------------------------------

class ProgressToolTest : public xrtest::ConfigTest {
protected:
    void SetUp() override {
        ConfigTest::SetUp();
        DBClose();  // the tool is a second process on the same server
    }
    const char* Place() const { return OnPostgres() ? "--connect" : "--data"; }
    std::string Where() const { return OnPostgres() ? ConnectString() : Folder(); }
    // The tool's arguments on a terminal.
    std::vector<std::string> Tool(std::vector<std::string> args) const {
        args.insert(args.begin(), {Place(), Where()});
        return args;
    }
    // The tool with its output (stdout and stderr together) on a pipe.
    xrtest::ToolResult Piped(const std::vector<std::string>& args) const {
        return xrtest::Tool(Where(), args, Place());
    }
};

// What the screen got, split at the last clearing of the line: the progress
// drawn before it, and what was printed after it.
struct Screen {
    std::string progress;
    std::string after;
};

Screen Split(const std::string& screen) {
    const std::string clear = "\r\033[K";
    const size_t at = screen.rfind(clear);
    if (at == std::string::npos) return {"", screen};
    return {screen.substr(0, at), screen.substr(at + clear.size())};
}

TEST_P(ProgressToolTest, ImportScriptAndExecDrawTheirProgressOnATerminalThenClearTheLine) {
    // A group file whose import gives the same summary every time it runs.
    std::string text;
    for (int n = 1; n <= 99; ++n)
        text += std::to_string(n) + ",Group number " + std::to_string(n) + "\n";
    const std::string csv = PathOf("groups.csv");
    xrtest::WriteFile(csv, text);
    const auto args = Tool({"import-csv", "groups", csv, "--replace"});
    const xrtest::ToolResult piped = Piped({"import-csv", "groups", csv, "--replace"});
    ASSERT_EQ(piped.status, 0) << piped.output;
    // On a pipe the summary comes alone, and nothing is drawn.
    EXPECT_PRED2(xrtest::StartsWith, piped.output,
                 "import-csv groups " + csv + ": 99 lines\n  added: 99\n");

    const xrtest::ToolRun shown = xrtest::RunOnTerminal(args);
    ASSERT_EQ(shown.status, 0) << shown.out;
    Screen screen = Split(shown.out);
    // One line redrawn in place: no line ends, each drawing starts at the
    // line's beginning, and the first says how far the import is.
    ASSERT_FALSE(screen.progress.empty()) << shown.out;
    EXPECT_EQ(screen.progress.find('\n'), std::string::npos) << screen.progress;
    EXPECT_PRED2(xrtest::StartsWith, screen.progress, "\rimport-csv groups    0% [");
    EXPECT_PRED2(xrtest::Has, screen.progress, " of 1.9 kB");
    // Each drawing fits the terminal's 100 columns.
    size_t start = 0;
    while ((start = screen.progress.find('\r', start)) != std::string::npos) {
        const size_t end = screen.progress.find("\033[K", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LT(end - start - 1, 100u);
        start = end;
    }
    // After the line is cleared, the summary is the one the pipe got; a dumb
    // terminal gets no progress.
    EXPECT_EQ(screen.after, piped.output);
    EXPECT_EQ(xrtest::RunOnTerminal(args, {"TERM=dumb"}).out, piped.output);
    EXPECT_EQ(xrtest::RunOnTerminal(args, {"TERM"}).out, piped.output);

    // script counts the rows of each table against its row count.
    const std::string script = PathOf("groups.sql");
    const xrtest::ToolRun scripted =
        xrtest::RunOnTerminal(Tool({"script", "Groups", "--out", script}));
    ASSERT_EQ(scripted.status, 0) << scripted.out;
    screen = Split(scripted.out);
    EXPECT_PRED2(xrtest::StartsWith, screen.progress, "\rscript Groups    0% [");
    EXPECT_PRED2(xrtest::Has, screen.progress, "  0/99 rows");
    EXPECT_EQ(screen.after, "Groups: 99 rows\nscript " + script + ": 1 tables, 99 rows\n");
    // exec reads the script's bytes against its size.
    const xrtest::ToolResult execPiped = Piped({"exec", script});
    ASSERT_EQ(execPiped.status, 0) << execPiped.output;
    const xrtest::ToolRun ran = xrtest::RunOnTerminal(Tool({"exec", script}));
    ASSERT_EQ(ran.status, 0) << ran.out;
    screen = Split(ran.out);
    EXPECT_PRED2(xrtest::StartsWith, screen.progress, "\rexec    0% [");
    EXPECT_EQ(screen.after, execPiped.output);
}

TEST_P(ProgressToolTest, SetupCountsTheStatementsOfItsStep) {
    const xrtest::ToolRun shown = xrtest::RunOnTerminal(Tool({"setup", "--only", "users"}));
    ASSERT_EQ(shown.status, 0) << shown.out;
    const Screen screen = Split(shown.out);
    EXPECT_PRED2(xrtest::StartsWith, screen.progress, "\rsetup users  ");
    EXPECT_PRED2(xrtest::Has, screen.progress, "% [");
    EXPECT_PRED2(xrtest::Has, screen.progress, " statements");
    EXPECT_EQ(screen.progress.find('\n'), std::string::npos) << screen.progress;
    // The step's summary follows on a clean line.
    EXPECT_PRED2(xrtest::StartsWith, screen.after, "user database (pass 3): ");
    EXPECT_EQ(screen.after.find('\r'), std::string::npos) << screen.after;
}

XRTEST_ON_EVERY_ENGINE(ProgressToolTest);

}  // namespace
