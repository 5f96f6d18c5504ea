// The exports that create and upgrade the trading and user databases, write
// the back-office administrator, and DBSetupDB, which sets up the
// configuration and trading databases in one call.
#include <exception>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "frame/shield.h"
#include "setup/pass23.h"
#include "xrdb8/frame.h"
#include "xrdb8/setup.h"

namespace xr::setup {

std::string CreateDatabaseStatement(const std::string& name, int serverVersion,
                                    const std::string& dataFolder) {
    if (serverVersion >= 10) return "CREATE DATABASE " + name;
    // Older servers were told where the database file goes.
    return "CREATE DATABASE " + name + " ON (NAME=" + name + ",FILENAME='C:\\" + dataFolder +
           "\\DATA\\" + name + ".MDF')";
}

std::vector<Step> OpenDatabaseSteps(const std::string& name) {
    std::vector<Step> s(3);
    s[0].sql = "USE Master";
    s[1].sql = CreateDatabaseStatement(name, TheApp().m_serverVersion.load(), g_sqlDataFolder);
    s[1].tag = name + ".create";
    s[2].sql = "USE " + name;
    for (Step& step : s) step.label = name;
    return s;
}

void RestoreDefaultDatabase() {
    // The lookup takes the library's lock; the switch itself runs without it.
    CDBConn* conn = TheApp().GetConnection(0, nullptr);
    if (!conn || !conn->m_pConn) return;
    try {
        conn->m_pConn->SetDefaultDatabase(conn->m_database);
    } catch (const std::exception&) {
        // The connection stays where the pass left it; the next statement
        // that needs its own database will fail and be reported.
    }
}

void RunAndRestore(const std::vector<Step>& steps) {
    Shielded(Logged{"Set-up stopped: %s", "Set-up stopped"},
             [&] { RunSteps(steps, PassObserver()); });
    RestoreDefaultDatabase();
}

namespace {

// A pass that opens its database itself and tests none of the opening
// statements: if the database cannot be made or entered, the statements run
// wherever the connection is and fail or succeed one by one.
//
// A database made just now gets its tables inside one transaction, as pass
// 1's do (see SetupDB1), once the pass is in it: the files are written once,
// and a second set-up started at the same time waits for this one's tables
// instead of dropping a key between this one's steps. Should the commit
// find the transaction undone, the tables' steps run again one by one.
int RunPass(const char* database, std::vector<Step> tableSteps) {
    std::vector<Step> steps = OpenDatabaseSteps(database);
    const std::string created = steps[1].tag;
    const size_t opening = steps.size();
    steps.insert(steps.end(), tableSteps.begin(), tableSteps.end());
    CXRDB5App& app = TheApp();
    bool isNew = false, inTransaction = false;
    const StepObserver& observer = PassObserver();
    Shielded(Logged{"Set-up stopped: %s", "Set-up stopped"}, [&] {
        RunSteps(steps, [&](const StepResult& r, size_t done, size_t total) {
            if (r.step && r.step->tag == created) isNew = r.ok && !r.skipped;
            if (done == opening && isNew && r.ok) inTransaction = app.BeginTrans() == 1;
            if (observer) observer(r, done, total);
        });
    });
    if (inTransaction && !app.CommitTrans()) {
        Log("Set-up: the pass is run again without a transaction");
        RunAndRestore(tableSteps);
        return 1;
    }
    RestoreDefaultDatabase();
    return 1;
}

}  // namespace

}  // namespace xr::setup

using namespace xr::setup;

int DBSetupDB2() {
    return Shielded(0, kSetupFailed, [] { return RunPass(kTradingDb, Pass2Steps()); });
}

int DBSetupDB3() {
    return Shielded(0, kSetupFailed, [] { return RunPass(kUserDb, Pass3Steps()); });
}

int DBSetupDB() {
    return Shielded(0, kSetupFailed, [] {
        if (!DBSetupDB1()) return 0;
        DBSetupDB2();  // the trading database's answer is always 1
        return 1;
    });
}

int DBSetupInitialAccess() {
    return Shielded(0, kSetupFailed, [] {
        if (!xr::TheApp().GetConnection(1, nullptr)) return 0;
        RunAndRestore(InitialAccessSteps());
        return 1;
    });
}

int Test2() {
    // A server reached through another provider: this build has none, so the
    // open fails and is reported like any failed connect. The answer is 1
    // whatever happened; both exports are shielded themselves.
    DBOpen("provider=SQLOLEDB;User Id=sa;Password=;", "");
    DBClose();
    return 1;
}
