// xrdb8 completion bash: the script bash reads, asked what it offers for the
// words typed so far, as bash asks it when the operator presses Tab.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "tool_run.h"

namespace {

// The commands `xrdb8 --help` (or `xrdb8 COMMAND --help`) lists.
std::vector<std::string> HelpCommands(const std::vector<std::string>& command) {
    std::vector<std::string> args = command;
    args.push_back("--help");
    std::istringstream help(xrtest::RunTool(args).out);
    std::vector<std::string> names;
    std::string line;
    bool inCommands = false;
    while (std::getline(help, line)) {
        if (line.rfind("Subcommands:", 0) == 0) {
            inCommands = true;
        } else if (inCommands && line.rfind("  ", 0) == 0) {
            std::istringstream words(line);
            std::string name;
            words >> name;
            names.push_back(name);
        } else if (inCommands && !line.empty()) {
            inCommands = false;
        }
    }
    return names;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

class CompletionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const xrtest::ToolRun run = xrtest::RunTool({"completion", "bash"});
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(run.err, "");
        m_script = (m_dir.Path() / "xrdb8.bash").string();
        std::ofstream(m_script) << run.out;
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
        std::FILE* pipe = popen(("bash --noprofile --norc '" + session + "' 2>&1").c_str(), "r");
        std::string text;
        char buffer[512];
        size_t n;
        while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        if (pipe) pclose(pipe);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }

    xrtest::TempDir m_dir;
    std::string m_script;
};

TEST_F(CompletionTest, TheScriptIsValidBash) {
    const int status = std::system(("bash -n '" + m_script + "'").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(CompletionTest, CompletesCommandsFromTheirBeginning) {
    EXPECT_EQ(Offered({"imp"}), "import-csv import-xml");
    EXPECT_EQ(Offered({"se"}), "setup");
    EXPECT_EQ(Offered({"--data", "/srv/shop", "li"}), "lists");
    EXPECT_EQ(Offered({"lists", ""}), "export export-all import");
    EXPECT_EQ(Offered({"lists", "export-"}), "export-all");
}

TEST_F(CompletionTest, OffersEveryCommandHelpLists) {
    std::vector<std::string> names = HelpCommands({});
    ASSERT_FALSE(names.empty());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Offered({""}), Joined(names));
    std::vector<std::string> lists = HelpCommands({"lists"});
    std::sort(lists.begin(), lists.end());
    EXPECT_EQ(Offered({"lists", ""}), Joined(lists));
}

TEST_F(CompletionTest, CompletesOptionsOfTheCommandTyped) {
    EXPECT_EQ(Offered({"import-csv", "--"}), "--all-bands --help --replace --script");
    EXPECT_EQ(Offered({"--"}), "--connect --data --help --version");
    EXPECT_EQ(Offered({"lists", "export-all", "--c"}), "--classic");
    EXPECT_EQ(Offered({"check", "--q"}), "--quick");
}

TEST_F(CompletionTest, CompletesTheValuesAnArgumentIsLimitedTo) {
    EXPECT_EQ(Offered({"import-csv", ""}), "barcodes depts groups products servers tables");
    EXPECT_EQ(Offered({"import-csv", "--replace", "pro"}), "products");
    EXPECT_EQ(Offered({"colours", ""}), "export import");
    EXPECT_EQ(Offered({"setup", "--only", ""}), "access databases fixed-data must-have-data users");
    EXPECT_EQ(Offered({"completion", ""}), "bash");
}

TEST_F(CompletionTest, CompletesFileNamesForFiles) {
    std::filesystem::create_directories(m_dir.Path() / "files");
    std::ofstream(m_dir.Path() / "files" / "items.csv") << "1,x\n";
    std::ofstream(m_dir.Path() / "files" / "items.xml") << "<a/>\n";
    std::ofstream(m_dir.Path() / "files" / "other.sql") << "\n";
    EXPECT_EQ(Offered({"import-csv", "products", "it"}), "items.csv items.xml");
    EXPECT_EQ(Offered({"exec", "o"}), "other.sql");
    EXPECT_EQ(Offered({"import-csv", "depts", "items.csv", "--script", "ot"}), "other.sql");
    EXPECT_EQ(Offered({"import-xml", "--record", "Products", "items.x"}), "items.xml");
    EXPECT_EQ(Offered({"--data", "ot"}), "other.sql");
    // Values that name no file get none: a statement, a connection string,
    // an element's name.
    EXPECT_EQ(Offered({"sql", "it"}), "");
    EXPECT_EQ(Offered({"--connect", "it"}), "");
    EXPECT_EQ(Offered({"import-xml", "--record", "it"}), "");
    // Every word after the kind and the file is an option: no more files.
    EXPECT_EQ(Offered({"import-csv", "products", "items.csv", "it"}), "");
}

}  // namespace
