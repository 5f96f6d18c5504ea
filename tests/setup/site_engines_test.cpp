// A whole site's set-up on each engine: a new server gets the same databases,
// tables, columns and default rows as on the embedded engine, a second run
// changes nothing, and the operator's tool reaches a server by its connection
// string (--connect) as well as by its data folder.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "setup_fixture.h"

namespace xrtest {
namespace {

using xr::setup::Outcome;

const char* const kDatabases[] = {"LORIMDB81", "LORIMDB82", "LORIMDAX"};

// Every table and column of a database as its catalog describes them, one
// line per column; BLA is pass 1's scratch table. The scale counts for the
// exact numbers only (the engines' system views differ on the others').
std::vector<std::string> Columns(const std::string& db) {
    return Rows(
        "SELECT o.name, c.colid, c.name, c.xtype, c.length, c.prec, "
        "CASE WHEN c.xtype IN (106, 108) THEN c.scale ELSE 0 END, c.isnullable FROM " +
        db + "..sysobjects o INNER JOIN " + db +
        "..syscolumns c ON c.id = o.id WHERE o.xtype = 'U' AND o.name <> 'BLA' "
        "ORDER BY o.name, c.colid");
}

// Every row of every user table of `db`, in key order where there is no
// other: the engines may hand out a table's rows in another order.
std::vector<std::string> Contents(const std::string& db) {
    std::vector<std::string> result;
    for (const std::string& table :
         Rows("SELECT name FROM " + db +
              "..sysobjects WHERE xtype = 'U' AND name <> 'BLA' ORDER BY name")) {
        result.push_back("-- " + table);
        std::vector<std::string> rows = Rows("SELECT * FROM " + db + "..[" + table + "]");
        std::sort(rows.begin(), rows.end());
        result.insert(result.end(), rows.begin(), rows.end());
    }
    return result;
}

struct Site {
    std::map<std::string, std::vector<std::string>> columns;
    std::map<std::string, std::vector<std::string>> contents;
};

Site Read() {
    Site site;
    for (const char* db : kDatabases) {
        site.columns[db] = Columns(db);
        site.contents[db] = Contents(db);
    }
    return site;
}

// Everything a site needs, in the order the tool runs it.
void SetUpSite() {
    DBSetupDB();
    DBSetupDB3();
    DBSetupInitialAccess();
    DBSetFixedData();
    DBSetMustHaveData();
}

// The site the embedded engine sets up, read once: what every engine must
// give.
const Site& Reference() {
    static const Site site = [] {
        TestServer server(Engine::Sqlite);
        Site read;
        if (DBOpen(server.ConnectString().c_str(), "LORIMDB81") != 1) return read;
        xr::TheApp().m_isNew = 0;
        SetUpSite();
        read = Read();
        DBClose();
        return read;
    }();
    return site;
}

// The lines only one of two lists holds, each marked with the list's sign:
// empty when they hold the same lines.
std::vector<std::string> Differences(std::vector<std::string> got,
                                     std::vector<std::string> expected) {
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> only;
    std::vector<std::string> result;
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                        std::back_inserter(only));
    for (const std::string& line : only) result.push_back("+ " + line);
    only.clear();
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                        std::back_inserter(only));
    for (const std::string& line : only) result.push_back("- " + line);
    return result;
}

// The column lines without their positions.
std::vector<std::string> Unplaced(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        const size_t first = line.find('|');
        const size_t second = line.find('|', first + 1);
        if (first != std::string::npos && second != std::string::npos)
            line.erase(first, second - first);
    }
    return lines;
}

// `inOrder`: each table's columns in the same places too.
void ExpectSameSite(const Site& site, const Site& reference, bool inOrder = true) {
    for (const char* db : kDatabases) {
        if (inOrder) {
            EXPECT_EQ(Differences(site.columns.at(db), reference.columns.at(db)),
                      std::vector<std::string>{})
                << db;
            EXPECT_EQ(site.columns.at(db), reference.columns.at(db)) << db << ": column order";
        } else {
            EXPECT_EQ(
                Differences(Unplaced(site.columns.at(db)), Unplaced(reference.columns.at(db))),
                std::vector<std::string>{})
                << db;
        }
        EXPECT_EQ(Differences(site.contents.at(db), reference.contents.at(db)),
                  std::vector<std::string>{})
            << db;
    }
}

size_t Count(const Site& site, bool columns) {
    size_t n = 0;
    for (const auto& entry : columns ? site.columns : site.contents) n += entry.second.size();
    return n;
}

// Runs `xrdb8 --connect <server> <args...>` (or --data for a folder) to its
// end: its exit status and output.
struct Ran {
    int status = -1;
    std::string output;
};

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ToolCommand(const TestServer& server, const std::vector<std::string>& args) {
    std::string command = Quoted(XRDB8_TOOL_PATH);
    command += server.GetEngine() == Engine::Sqlite
                   ? " --data " + Quoted(server.Dir().Str())
                   : " --connect " + Quoted(server.ConnectString());
    for (const std::string& a : args) command += " " + Quoted(a);
    return command;
}

// Starts the tool; Finish waits for it. Several started run at once.
FILE* Start(const TestServer& server, const std::vector<std::string>& args) {
    return popen((ToolCommand(server, args) + " 2>&1 </dev/null").c_str(), "r");
}

Ran Finish(FILE* pipe) {
    Ran ran;
    if (!pipe) return ran;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) ran.output.append(buffer, n);
    const int status = pclose(pipe);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

Ran Tool(const TestServer& server, const std::vector<std::string>& args) {
    return Finish(Start(server, args));
}

// The summary lines that count statements failed for another reason than
// "already there", when any is not 0.
std::string Failures(const std::string& output) {
    std::string found;
    size_t at = 0;
    while ((at = output.find("failed for another reason: ", at)) != std::string::npos) {
        at += 27;
        if (output[at] != '0') found += output.substr(at, output.find('\n', at) - at) + "; ";
    }
    return found;
}

class SiteOnEveryEngine : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << kNoPostgres;
        ClearLog();
        DBSetLog(&CaptureLog);
        setenv("XRDB8_DATA", m_server.Dir().Str().c_str(), 1);
    }
    void TearDown() override {
        xr::setup::SetPassObserver({});
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    void Open() {
        ASSERT_EQ(DBOpen(m_server.ConnectString().c_str(), "LORIMDB81"), 1) << LastError().second;
        xr::TheApp().m_isNew = 0;
    }

    TestServer m_server{GetParam()};
    std::vector<Seen> m_seen;
};

TEST_P(SiteOnEveryEngine, ANewServerGetsEveryTableColumnAndDefaultRow) {
    const Site& reference = Reference();
    ASSERT_EQ(Count(reference, true), 1233u);
    Open();
    Observe(m_seen);
    SetUpSite();
    xr::setup::SetPassObserver({});
    EXPECT_EQ(DBIsNew(), 1);
    // Only what a new server cannot have fails: the inserts kept for older
    // releases, which the newest tables refuse.
    for (const Seen& s : m_seen) {
        if (s.outcome == Outcome::Failed) {
            EXPECT_NE(s.tag.find(".byPosition"), std::string::npos) << s.sql << ": " << s.error;
        }
    }
    ExpectSameSite(Read(), reference);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LORIMDB81..sysobjects WHERE xtype = 'U' AND "
                     "name <> 'BLA'"),
              "41");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Functions"), "211");
}

TEST_P(SiteOnEveryEngine, ASecondRunChangesNothing) {
    Open();
    SetUpSite();
    const Site before = Read();
    Observe(m_seen);
    SetUpSite();
    xr::setup::SetPassObserver({});
    for (const Seen& s : m_seen) {
        EXPECT_FALSE(xr::setup::CreatesTable({s.sql}) && s.outcome == Outcome::Done) << s.sql;
        if (s.outcome == Outcome::Failed) {
            EXPECT_NE(s.tag.find(".byPosition"), std::string::npos) << s.sql << ": " << s.error;
        }
    }
    ExpectSameSite(Read(), before);
}

TEST_P(SiteOnEveryEngine, TheToolSetsUpTheServerAndQueriesIt) {
    const Ran setup = Tool(m_server, {"setup"});
    ASSERT_EQ(setup.status, 0) << setup.output;
    EXPECT_NE(setup.output.find("tables created: 63"), std::string::npos) << setup.output;
    const Ran query = Tool(m_server, {"sql", "SELECT Name FROM Functions WHERE FuncNo = 47"});
    EXPECT_EQ(query.status, 0) << query.output;
    EXPECT_NE(query.output.find("EFT Manager"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("(1 row affected)"), std::string::npos) << query.output;
    const Ran check = Tool(m_server, {"check", "--quick"});
    EXPECT_EQ(check.status, 0) << check.output;
    if (GetParam() == Engine::Postgres) {
        // The password reaches the server, never the operator's screen.
        const std::string password = xr::engine::ConnectionString::Parse(m_server.ConnectString())
                                         .Get("Password")
                                         .value_or("");
        ASSERT_FALSE(password.empty());
        for (const Ran* r : {&setup, &query, &check})
            EXPECT_EQ(r->output.find(password), std::string::npos);
        const Ran bad = Tool(m_server, {"sql", "SELECT * FROM NoSuchTable"});
        EXPECT_EQ(bad.status, 1);
        EXPECT_EQ(bad.output.find(password), std::string::npos);
    }
}

// Two set-ups started at once on one new server: each statement of the one
// that comes second finds the other's object there, and the site ends
// complete, as after one. A table's columns may stand in another order: the
// kitchen batch of one may rename the old columns the other has just added,
// which that one then adds again after the new ones.
TEST_P(SiteOnEveryEngine, TwoSetupsAtOnceBothCompleteTheSite) {
    const Site& reference = Reference();
    FILE* first = Start(m_server, {"setup"});
    FILE* second = Start(m_server, {"setup"});
    for (FILE* pipe : {first, second}) {
        const Ran ran = Finish(pipe);
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_EQ(Failures(ran.output), "") << ran.output;
    }
    Open();
    ExpectSameSite(Read(), reference, false);
}

TEST(SiteTool, TakesADataFolderOrAConnectionStringNotBoth) {
    const std::string command =
        std::string(XRDB8_TOOL_PATH) +
        " --data /nonexistent --connect 'Provider=postgresql;Password=hidden9'"
        " sql 'SELECT 1' 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const Ran ran = Finish(pipe);
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.output.find("--data excludes --connect"), std::string::npos) << ran.output;
    EXPECT_EQ(ran.output.find("hidden9"), std::string::npos) << ran.output;
}

TEST(SiteTool, AServerThatCannotBeReachedIsNamedWithoutItsPassword) {
    TempDir dir;
    const std::string connect = "Provider=postgresql;Data Source=" + dir.Str() +
                                ";Port=1;User Id=nobody;Password=hidden9;Initial Catalog=none";
    for (const char* cmd : {"sql 'SELECT 1'", "setup", "check", "exec /nonexistent.sql"}) {
        FILE* pipe = popen((std::string(XRDB8_TOOL_PATH) + " --connect '" + connect + "' " + cmd +
                            " 2>&1 </dev/null")
                               .c_str(),
                           "r");
        ASSERT_NE(pipe, nullptr);
        const Ran ran = Finish(pipe);
        EXPECT_EQ(ran.status, 1) << cmd << ": " << ran.output;
        EXPECT_NE(ran.output.find("xrdb8: error:"), std::string::npos) << cmd << ": " << ran.output;
        EXPECT_EQ(ran.output.find("hidden9"), std::string::npos) << cmd << ": " << ran.output;
    }
}

XRTEST_ON_EVERY_ENGINE(SiteOnEveryEngine);

}  // namespace
}  // namespace xrtest
