// A whole site's set-up on each engine: a new server gets the same databases,
// tables, columns and default rows as on the embedded engine, a second run
// changes nothing, and the operator's tool reaches a server by its connection
// string (--connect) as well as by its data folder.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "second_process.h"
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

struct Site {
    std::map<std::string, std::vector<std::string>> columns;
    std::map<std::string, std::vector<std::string>> contents;
};

Site Read() {
    Site site;
    for (const char* db : kDatabases) {
        site.columns[db] = Columns(db);
        site.contents[db] = Dump(db);
    }
    return site;
}

// The site the embedded engine sets up, read once: what every engine must
// give.
const Site& Reference() {
    static const Site site = [] {
        Site read;
        if (DBOpen(ConnectString(SiteTemplate::Get().Path()).c_str(), "LORIMDB81") != 1)
            return read;
        read = Read();
        DBClose();
        return read;
    }();
    return site;
}

// The lines only one of two lists holds, each marked with the list's sign:
// empty when they hold the same lines.
std::vector<std::string> Differences(const std::vector<std::string>& got,
                                     const std::vector<std::string>& expected) {
    std::multiset<std::string> only(got.begin(), got.end());
    std::vector<std::string> result;
    for (const std::string& line : expected) {
        const auto found = only.find(line);
        if (found == only.end())
            result.push_back("- " + line);
        else
            only.erase(found);
    }
    for (const std::string& line : only) result.push_back("+ " + line);
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
        const std::vector<std::string>& columns = site.columns.at(db);
        const std::vector<std::string>& expected = reference.columns.at(db);
        EXPECT_EQ(Differences(Unplaced(columns), Unplaced(expected)), std::vector<std::string>{})
            << db;
        if (inOrder) {
            EXPECT_EQ(columns, expected) << db << ": column places";
        }
        EXPECT_EQ(Differences(site.contents.at(db), reference.contents.at(db)),
                  std::vector<std::string>{})
            << db;
    }
}

// The tool's place of the test's server: its folder on the embedded engine,
// its connection string on PostgreSQL.
std::string Where(const TestServer& server) {
    return server.GetEngine() == Engine::Sqlite ? server.Dir().Str() : server.ConnectString();
}
const char* Place(const TestServer& server) {
    return server.GetEngine() == Engine::Sqlite ? "--data" : "--connect";
}

ToolResult ToolOn(const TestServer& server, const std::vector<std::string>& args) {
    return Tool(Where(server), args, Place(server));
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

// Only what a new server cannot have fails: the inserts kept for older
// releases, which the newest tables refuse. A second run creates no table
// and changes nothing.
TEST_P(SiteOnEveryEngine, ANewServerGetsTheWholeSiteAndASecondRunChangesNothing) {
    const Site& reference = Reference();
    // The suite's three databases hold 1,233 columns between them.
    size_t columns = 0;
    for (const auto& entry : reference.columns) columns += entry.second.size();
    ASSERT_EQ(columns, 1233u);
    Open();
    Observe(m_seen);
    for (const bool again : {false, true}) {
        SCOPED_TRACE(again ? "the second run" : "the first run");
        m_seen.clear();
        xr::TheApp().m_isNew = 0;
        // Everything a site needs, in the order the set-up tool runs it.
        DBSetupDB();
        DBSetupDB3();
        DBSetupInitialAccess();
        DBSetFixedData();
        DBSetMustHaveData();
        EXPECT_EQ(DBIsNew(), again ? 0 : 1);
        for (const Seen& s : m_seen) {
            if (again) {
                EXPECT_FALSE(xr::setup::CreatesTable({s.sql}) && s.outcome == Outcome::Done)
                    << s.sql;
            }
            if (s.outcome == Outcome::Failed) {
                EXPECT_NE(s.tag.find(".byPosition"), std::string::npos) << s.sql << ": " << s.error;
            }
        }
        ExpectSameSite(Read(), reference);
    }
}

TEST_P(SiteOnEveryEngine, TheToolSetsUpTheServerAndQueriesIt) {
    const ToolResult setup = ToolOn(m_server, {"setup"});
    ASSERT_EQ(setup.status, 0) << setup.output;
    EXPECT_NE(setup.output.find("tables created: 63"), std::string::npos) << setup.output;
    const ToolResult query =
        ToolOn(m_server, {"sql", "SELECT Name FROM Functions WHERE FuncNo = 47"});
    EXPECT_EQ(query.status, 0) << query.output;
    EXPECT_NE(query.output.find("EFT Manager"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("(1 row affected)"), std::string::npos) << query.output;
    const ToolResult check = ToolOn(m_server, {"check", "--quick"});
    EXPECT_EQ(check.status, 0) << check.output;
    if (GetParam() == Engine::Postgres) {
        // The password reaches the server, never the operator's screen.
        const std::string password = xr::engine::ConnectionString::Parse(m_server.ConnectString())
                                         .Get("Password")
                                         .value_or("");
        ASSERT_FALSE(password.empty());
        for (const ToolResult* r : {&setup, &query, &check})
            EXPECT_EQ(r->output.find(password), std::string::npos);
        const ToolResult bad = ToolOn(m_server, {"sql", "SELECT * FROM NoSuchTable"});
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
    std::vector<std::pair<pid_t, std::string>> runs;
    for (const char* name : {"first.out", "second.out"}) {
        const std::string output = (m_server.Dir().Path() / name).string();
        runs.emplace_back(StartTool(Where(m_server), {"setup"}, output, Place(m_server)), output);
    }
    for (const auto& [pid, output] : runs) {
        const ToolResult ran = WaitTool(pid, output);
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_EQ(SetupFailures(ran.output), "") << ran.output;
    }
    Open();
    ExpectSameSite(Read(), reference, false);
}

// A server that cannot be reached, or a folder and a server both named: a
// clear error, never the password.
TEST(SiteTool, RefusesWhatItCannotReachWithoutThePassword) {
    TempDir dir;
    const std::string connect = "Provider=postgresql;Data Source=" + dir.Str() +
                                ";Port=1;User Id=nobody;Password=hidden9;Initial Catalog=none";
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"sql", "SELECT 1"}, "xrdb8: error:"},
        {{"setup"}, "xrdb8: error:"},
        {{"check"}, "xrdb8: error:"},
        {{"exec", "/nonexistent.sql"}, "xrdb8: error:"},
        {{"--data", "/nonexistent", "sql", "SELECT 1"}, "--data excludes --connect"},
    };
    for (const auto& [args, expected] : cases) {
        SCOPED_TRACE(args[0]);
        const ToolResult ran = Tool(connect, args, "--connect");
        EXPECT_EQ(ran.status, 1) << ran.output;
        EXPECT_NE(ran.output.find(expected), std::string::npos) << ran.output;
        EXPECT_EQ(ran.output.find("hidden9"), std::string::npos) << ran.output;
    }
}

XRTEST_ON_EVERY_ENGINE(SiteOnEveryEngine);

}  // namespace
}  // namespace xrtest
