// DBSetupDB1: creates the configuration database when it is missing and runs
// pass 1 in it. Unlike the other passes it stops early, with a message, when
// the server cannot be reached or the database cannot be entered: pass 1 must
// never build the configuration tables in some other database.
#include <string>

#include "frame/app.h"
#include "frame/log.h"
#include "platform/text.h"
#include "setup/pass1.h"
#include "setup/pass23.h"
#include "xrdb8/setup.h"

namespace xr::setup {

namespace {

int SetupDB1() {
    CXRDB5App& app = TheApp();
    if (!app.Exec("USE Master")) {
        ShowMessage("Could not do use MASTER");
        return 0;
    }
    CDBConn* conn = app.GetConnection(1, nullptr);
    if (!conn) {
        ShowMessage("Could not get connection");
        return 0;
    }
    const std::string database = conn->m_database;
    // Only a database that did not exist can be created, so success is what
    // tells the caller (DBIsNew) that this is a new site.
    const bool created =
        app.Exec(CreateDatabaseStatement(database, app.m_serverVersion.load(), g_sqlDataFolder));
    if (created) app.m_isNew = 1;
    const std::string use = "USE " + database;
    if (!app.Exec(use)) {
        ShowMessage("Error 1: " + use +
                    Format(" V=%d N=%d", app.m_serverVersion.load(), app.m_isNew.load()));
        return 0;
    }
    // In a database made just now nearly every statement succeeds: inside one
    // transaction the files are written once for the pass instead of once per
    // statement, and each statement is still its own request that succeeds or
    // fails alone. (An existing database fails most statements, which costs
    // more inside a transaction than it saves.) Should the server have had to
    // undo the transaction whole, the commit finds none and the pass runs
    // again statement by statement: it is made to be run any number of times.
    const bool inTransaction = created && app.BeginTrans() == 1;
    RunAndRestore(Pass1Steps());
    if (inTransaction && !app.CommitTrans()) {
        Log("Set-up: the pass is run again without a transaction");
        RunAndRestore(Pass1Steps());
    }
    return 1;
}

}  // namespace

}  // namespace xr::setup

int DBSetupDB1() { return xr::Shielded(0, xr::setup::kSetupFailed, xr::setup::SetupDB1); }
