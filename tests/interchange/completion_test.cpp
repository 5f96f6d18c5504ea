// xrdb8 completion bash: the script bash reads, asked what it offers for the
// words typed so far, as bash asks it when the operator presses Tab.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tool_run.h"

namespace {

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

class CompletionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const xrtest::ToolResult run = xrtest::RunTool({"completion", "bash"});
        ASSERT_EQ(run.status, 0) << run.output;
        m_script = (m_dir.Path() / "xrdb8.bash").string();
        std::ofstream(m_script) << run.output;
    }

    // What the script offers when the command line holds `words` and the
    // cursor is at the end of the last one, sorted, one blank between.
    std::string Offered(const std::vector<std::string>& words) {
        std::string line = "COMP_WORDS=(xrdb8";
        for (const std::string& w : words) line += " '" + w + "'";
        line += ")";
        const std::string session = (m_dir.Path() / "session.bash").string();
        std::ofstream(session) << "set -u\nsource '" << m_script << "'\ncd '" << m_dir.Str()
                               << "/files'\n"
                               << line << "\nCOMP_CWORD=" << words.size()
                               << "\nCOMP_LINE=\"${COMP_WORDS[*]}\"\nCOMP_POINT=${#COMP_LINE}\n"
                                  "COMPREPLY=()\n_xrdb8\n"
                                  "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | "
                                  "tr '\\n' ' '\n";
        std::filesystem::create_directories(m_dir.Path() / "files");
        std::string text =
            xrtest::ShellRun("bash --noprofile --norc '" + session + "' 2>&1").output;
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }

    xrtest::TempDir m_dir;
    std::string m_script;
};

// Commands from their beginning, the options of the command typed, the
// values an argument is limited to, and the names of files where a file goes.
TEST_F(CompletionTest, CompletesCommandsOptionsValuesAndFileNames) {
    std::filesystem::create_directories(m_dir.Path() / "files");
    std::ofstream(m_dir.Path() / "files" / "items.csv") << "1,x\n";
    std::ofstream(m_dir.Path() / "files" / "items.xml") << "<a/>\n";
    std::ofstream(m_dir.Path() / "files" / "other.sql") << "\n";
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"imp"}, "import-csv import-xml"},
        {{"se"}, "setup"},
        {{"--data", "/srv/shop", "li"}, "lists"},
        {{"lists", "export-"}, "export-all"},
        {{"import-csv", "--"}, "--all-bands --help --replace --script"},
        {{"--"}, "--connect --data --help --version"},
        {{"lists", "export-all", "--c"}, "--classic"},
        {{"check", "--q"}, "--quick"},
        {{"import-csv", ""}, "barcodes depts groups products servers tables"},
        {{"import-csv", "--replace", "pro"}, "products"},
        {{"colours", ""}, "export import"},
        {{"setup", "--only", ""}, "access databases fixed-data must-have-data users"},
        {{"completion", ""}, "bash"},
        {{"import-csv", "products", "it"}, "items.csv items.xml"},
        {{"exec", "o"}, "other.sql"},
        {{"import-csv", "depts", "items.csv", "--script", "ot"}, "other.sql"},
        {{"import-xml", "--record", "Products", "items.x"}, "items.xml"},
        {{"--data", "ot"}, "other.sql"},
        // Values that name no file get none: a statement, a connection
        // string, an element's name.
        {{"sql", "it"}, ""},
        {{"--connect", "it"}, ""},
        {{"import-xml", "--record", "it"}, ""},
        // Every word after the kind and the file is an option: no more files.
        {{"import-csv", "products", "items.csv", "it"}, ""},
    };
    for (const auto& [words, offered] : cases) EXPECT_EQ(Offered(words), offered) << Joined(words);
    // Every command help lists.
    std::vector<std::string> names = xrtest::HelpOf({}).commands;
    ASSERT_FALSE(names.empty());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Offered({""}), Joined(names));
    std::vector<std::string> lists = xrtest::HelpOf({"lists"}).commands;
    std::sort(lists.begin(), lists.end());
    EXPECT_EQ(Offered({"lists", ""}), Joined(lists));
}

}  // namespace
