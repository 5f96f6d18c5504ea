// The manual page: written by the tool from its own commands, so it names
// every command and option --help names, and groff reads it without a
// complaint.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library.h"
#include "tool_run.h"

namespace {

// A name as the page writes it: troff's minus signs.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

// The page with anything the tool writes to stderr.
std::string Page() {
    const xrtest::ToolResult run = xrtest::RunTool({"man"});
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

TEST(ManPage, TheBuildWroteThePageWithItsSectionsAndEveryCommandAndOptionHelpNames) {
    const std::string page = Page();
    EXPECT_PRED2(xrtest::StartsWith, page, ".TH XRDB8 1 ") << page.substr(0, 80);
    size_t at = 0;
    for (const char* section : {".SH NAME\nxrdb8 \\- ", ".SH SYNOPSIS\n", ".SH DESCRIPTION\n",
                                ".SH OPTIONS\n", ".SH COMMANDS\n", ".SH ENVIRONMENT\n",
                                ".TP\n\\fBXRDB8_DATA\\fR\n", ".SH EXIT STATUS\n"}) {
        const size_t found = page.find(section, at);
        EXPECT_NE(found, std::string::npos) << section;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(xrtest::ReadFile(XRDB8_MAN_PAGE), page);

    const xrtest::Help top = xrtest::HelpOf({});
    ASSERT_GE(top.commands.size(), 8u);
    for (const std::string& option : top.options)
        EXPECT_PRED2(xrtest::Has, page, "\\fB" + Roff(option) + "\\fR") << option;
    // Commands, and the commands under them, each with their options.
    std::vector<std::vector<std::string>> pending;
    for (const std::string& c : top.commands) pending.push_back({c});
    while (!pending.empty()) {
        const std::vector<std::string> command = pending.back();
        pending.pop_back();
        std::string path;
        for (const std::string& word : command) path += (path.empty() ? "" : " ") + word;
        const size_t section = page.find(".SS " + Roff(path) + "\n");
        EXPECT_NE(section, std::string::npos) << path;
        if (section == std::string::npos) continue;
        const size_t end = page.find(".SS ", section + 1);
        const std::string text = page.substr(section, end - section);
        const xrtest::Help help = xrtest::HelpOf(command);
        for (const std::string& option : help.options) {
            if (option == "-h" || option == "--help") continue;  // every command has it
            EXPECT_PRED2(xrtest::Has, text, "\\fB" + Roff(option) + "\\fR")
                << path << " " << option;
        }
        for (const std::string& sub : help.commands) {
            std::vector<std::string> deeper = command;
            deeper.push_back(sub);
            pending.push_back(deeper);
        }
    }
    // The values an option is limited to are spelled out where its
    // description does not name them.
    EXPECT_PRED2(xrtest::Has, page, "One of \\fBdatabases\\fR, \\fBusers\\fR");
    // A required option is no option in the synopsis.
    EXPECT_PRED2(xrtest::Has, page,
                 "\\fBscript\\fR \\fB\\-\\-out\\fR \\fITEXT\\fR [\\fB\\-\\-append");
}

TEST(ManPage, GroffReadsItWithoutWarnings) {
    if (std::system("command -v groff >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "groff is not installed: the page's structure is checked above";
    xrtest::TempDir dir;
    const std::string path = (dir.Path() / "xrdb8.1").string();
    xrtest::WriteFile(path, Page());
    const xrtest::ToolResult groff =
        xrtest::ShellRun("groff -man -Tutf8 -ww -z '" + path + "' 2>&1");
    EXPECT_EQ(groff.output, "");  // no warning
    EXPECT_EQ(groff.status, 0);
}

}  // namespace
