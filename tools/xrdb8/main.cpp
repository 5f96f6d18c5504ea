// xrdb8: the operators' command-line tool over the library. Each subcommand is
// one Add...Command function that registers its options and one Run...
// function that does the work; failures end in one "xrdb8: error:" line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup_command.h"
#include "check_command.h"
#include "cli_docs.h"
#include "data_folder.h"
#include "engine/connection.h"
#include "frame/app.h"
#include "interchange_commands.h"
#include "lists_command.h"
#include "platform/error.h"
#include "platform/text.h"
#include "setup_command.h"
#include "sql_shell.h"
#include "xrdb8/xrdb8.h"

namespace {

using xrdb8tool::Masked;

// What every subcommand shares: the server it works on.
struct GlobalOptions {
    xrdb8tool::Server server;
};

std::string DefaultDataDir() {
    const char* env = std::getenv("XRDB8_DATA");
    return (env && *env) ? env : "./data";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"xrdb8: set up, fill and query the point-of-sale databases"};
    GlobalOptions options;
    options.server.dataDir = DefaultDataDir();
    app.set_version_flag("--version", "xrdb8 " + xr::TheApp().m_vers.m_version);
    auto* data = app.add_option(
        "--data", options.server.dataDir,
        "folder of the embedded engine's databases (default: $XRDB8_DATA, else ./data)");
    app.add_option("--connect", options.server.connect,
                   "connection string of a shared server instead of a data folder, e.g. "
                   "\"Provider=postgresql;Data Source=host;User Id=xrdb8;Password=...;"
                   "Initial Catalog=shop\"")
        ->excludes(data);
    app.require_subcommand(1);

    int status = 0;
    xrdb8tool::AddSqlCommand(app, options.server, status);
    xrdb8tool::AddSetupCommand(app, options.server, status);
    xrdb8tool::AddCheckCommand(app, options.server, status);
    xrdb8tool::AddInterchangeCommands(app, options.server, status);
    xrdb8tool::AddListsCommand(app, options.server, status);
    xrdb8tool::AddBackupCommands(app, options.server, status);
    xrdb8tool::AddCompletionCommand(app, status);
    xrdb8tool::AddManCommand(app, status);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << " (see --help)\n";
        return 1;
    }
    std::cout.flush();
    return status;
}
