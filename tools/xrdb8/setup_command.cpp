// xrdb8 setup: runs the set-up steps in order against the server in the data
// folder, shows how far each has got while it runs, and ends with what it
// did: tables created, columns added, statements whose object was there
// already, and every statement that failed for another reason with its error,
// so that an upgrade that lost a column is noticed.
#include "setup_command.h"

#include <CLI/CLI.hpp>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "check_command.h"
#include "data_folder.h"
#include "platform/error.h"
#include "platform/text.h"
#include "progress.h"
#include "setup/default_data.h"
#include "setup/pass.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

namespace {

using xr::setup::Outcome;
using xr::setup::StepResult;

// One set-up step: an export that answers 0 when it could not run to its end.
struct SetupStep {
    const char* key;  // what --only takes
    const char* name;
    int (*run)();
};

// The default data exports answer nothing: every statement stands on its own.
int FixedData() {
    DBSetFixedData();
    return 1;
}

int MustHaveData() {
    DBSetMustHaveData();
    return 1;
}

// The steps `xrdb8 setup` runs, in order: everything a new site needs. A step
// that answers 0 ends the run.
const SetupStep kSetupSteps[] = {
    {"databases", "configuration and trading databases (passes 1 and 2)", &DBSetupDB},
    {"users", "user database (pass 3)", &DBSetupDB3},
    {"access", "back-office administrator", &DBSetupInitialAccess},
    {"fixed-data", "fixed data", &FixedData},
    {"must-have-data", "rows the tills need", &MustHaveData},
};

// A statement that failed for a reason other than "already there".
struct Failure {
    std::string label;
    std::string sql;
    std::string error;
};

// What one step did, gathered from its pass's results.
struct StepSummary {
    size_t statements = 0;
    int tablesCreated = 0;
    int columnsAdded = 0;
    int alreadyThere = 0;
    int nothingToRemove = 0;
    int olderReleasesOnly = 0;
    std::vector<Failure> failures;
};

// The first line of a statement, shortened for one line of a report.
std::string ShortSql(const std::string& sql) {
    std::string text = sql.substr(0, sql.find('\n'));
    if (text.size() > 100) text = text.substr(0, 97) + "...";
    return text;
}

void Gather(StepSummary& summary, const StepResult& r) {
    if (!r.step) return;
    if (!r.step->conversion) ++summary.statements;
    switch (xr::setup::OutcomeOf(r)) {
        case Outcome::Done:
            if (xr::setup::CreatesTable(*r.step)) ++summary.tablesCreated;
            summary.columnsAdded += xr::setup::ColumnsAdded(*r.step);
            break;
        case Outcome::AlreadyThere:
            ++summary.alreadyThere;
            break;
        case Outcome::NothingToRemove:
            ++summary.nothingToRemove;
            break;
        case Outcome::Failed:
            // An insert by position kept for older releases, which the newest
            // tables refuse; the insert after it makes the row.
            if (xr::setup::IsKeptForOlderSchemas(*r.step)) {
                ++summary.olderReleasesOnly;
                break;
            }
            summary.failures.push_back(
                {r.step->label, r.step->conversion ? "(data conversion)" : ShortSql(r.step->sql),
                 r.error});
            break;
        case Outcome::Skipped:
            break;
    }
}

void PrintSummary(const char* name, const StepSummary& s, std::ostream& out) {
    out << name << ": " << s.statements << " statements\n"
        << "  tables created: " << s.tablesCreated << "\n"
        << "  columns added: " << s.columnsAdded << "\n"
        << "  already there: " << s.alreadyThere << "\n"
        << "  nothing to remove: " << s.nothingToRemove << "\n";
    if (s.olderReleasesOnly) out << "  for older releases only: " << s.olderReleasesOnly << "\n";
    out << "  failed for another reason: " << s.failures.size() << "\n";
    for (const Failure& f : s.failures)
        out << "    " << f.label << ": " << f.sql << "\n      " << f.error << "\n";
}

// The last line the library logged: the export's own message when it stops
// early ("Could not do use MASTER").
std::string g_lastLogLine;

void KeepLastLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_lastLogLine = xr::VFormat(format, args);
    va_end(args);
}

// The site's access is open until an operator changes it: say so whenever
// the steps that write it have run.
void WarnAboutAccess(bool user, bool login) {
    if (user)
        std::cerr << "xrdb8: warning: back-office user 'lm' (database LORIMDAX) has an empty "
                     "password; change it before the site goes live\n";
    if (login)
        std::cerr << "xrdb8: warning: read-only login 'BrantUK' has the suite's fixed password; "
                     "change it where the suite's tools allow\n";
}

// `only`: the key of the one step to run; empty runs them all.
int RunSetup(const Server& server, const std::string& only) {
    if (!OpenDataFolder(server)) {
        std::cerr << "xrdb8: error: " << LastErrorText() << "\n";
        DatabaseFilesOpen(server, std::cerr);  // names the file at fault
        return 1;
    }
    // A database whose file cannot be used would have its statements run in
    // another database: nothing is done until it is mended or moved away.
    if (!DatabaseFilesOpen(server, std::cerr)) {
        DBClose();
        return 1;
    }
    int status = 0;
    size_t failed = 0;  // statements that failed for another reason than "already there"
    bool wroteUser = false;
    bool wroteLogin = false;
    for (const SetupStep& step : kSetupSteps) {
        if (!only.empty() && only != step.key) continue;
        StepSummary summary;
        Progress progress(std::string("setup ") + step.key, Units::Things, "statements");
        xr::setup::SetPassObserver([&](const StepResult& r, size_t done, size_t total) {
            Gather(summary, r);
            progress(done, total);
        });
        g_lastLogLine.clear();
        DBLogFn previousSink = DBSetLog(&KeepLastLine);
        const int answer = step.run();
        DBSetLog(previousSink);
        xr::setup::SetPassObserver({});
        progress.Clear();
        PrintSummary(step.name, summary, std::cout);
        failed += summary.failures.size();
        wroteUser = wroteUser || step.run == &DBSetupInitialAccess;
        wroteLogin = wroteLogin || step.run == &FixedData;
        if (!answer) {
            // The export's reason is the last line it logged.
            std::cerr << "xrdb8: error: " << step.name << " could not run";
            if (!g_lastLogLine.empty()) std::cerr << ": " << g_lastLogLine;
            std::cerr << "\n";
            status = 1;
            break;
        }
    }
    DBClose();
    WarnAboutAccess(wroteUser, wroteLogin);
    if (status == 0 && failed > 0) {
        // The site is not what the suite needs: say so in the exit status too.
        std::cerr << "xrdb8: error: the set-up is incomplete: " << failed
                  << (failed == 1 ? " statement" : " statements")
                  << " failed for another reason (listed above)\n";
        status = 1;
    }
    return status;
}

}  // namespace

void AddSetupCommand(CLI::App& app, const Server& server, int& status) {
    auto* sub = app.add_subcommand(
        "setup", "Create the databases, or bring an existing site's tables up to date");
    auto only = std::make_shared<std::string>();
    std::vector<std::string> keys;
    for (const SetupStep& step : kSetupSteps) keys.emplace_back(step.key);
    sub->add_option("--only", *only, "run this step alone")->check(CLI::IsMember(keys));
    sub->callback([&server, &status, only] {
        try {
            status = RunSetup(server, *only);
        } catch (const std::exception& e) {
            std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
            status = 1;
        }
    });
}

}  // namespace xrdb8tool
