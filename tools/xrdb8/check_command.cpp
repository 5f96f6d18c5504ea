#include "check_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "data_folder.h"
#include "engine/connection_string.h"
#include "engine/sqlite/check.h"
#include "engine/sqlite/server.h"
#include "platform/error.h"

namespace xrdb8tool {

namespace {

using xr::engine::sqlite::CheckDepth;
using xr::engine::sqlite::CheckServerFiles;
using xr::engine::sqlite::FileCheck;

std::string Folder(const std::string& dataDir) {
    return xr::engine::sqlite::ServerFolder(
        xr::engine::ConnectionString::Parse(DataFolderConnectString(dataDir)));
}

}  // namespace

int RunCheck(const std::string& dataDir, bool quick, std::ostream& out) {
    const std::vector<FileCheck> checks =
        CheckServerFiles(Folder(dataDir), quick ? CheckDepth::Quick : CheckDepth::Integrity);
    size_t damaged = 0;
    for (const FileCheck& c : checks) {
        if (c.faults.empty()) {
            out << c.file << ": ok\n";
            continue;
        }
        ++damaged;
        for (const std::string& fault : c.faults) out << c.file << ": " << fault << "\n";
    }
    out << "check: " << checks.size() << " database files, " << damaged << " with faults\n";
    if (checks.empty()) {
        std::cerr << "xrdb8: error: no database files in " << Folder(dataDir) << "\n";
        return 1;
    }
    return damaged == 0 ? 0 : 1;
}

bool DatabaseFilesOpen(const std::string& dataDir, std::ostream& err) {
    bool sound = true;
    for (const FileCheck& c : CheckServerFiles(Folder(dataDir), CheckDepth::Opens)) {
        for (const std::string& fault : c.faults) {
            err << "xrdb8: error: the database file " << c.file << " " << fault << "\n";
            sound = false;
        }
    }
    return sound;
}

void AddCheckCommand(CLI::App& app, const std::string& dataDir, int& status) {
    auto* sub = app.add_subcommand(
        "check",
        "Check every database file: integrity, and the library's catalog against the tables; "
        "exits 1 on any fault");
    auto quick = std::make_shared<bool>(false);
    sub->add_flag("--quick", *quick, "a quicker integrity check that leaves out the indexes");
    sub->callback([&dataDir, &status, quick] {
        try {
            status = RunCheck(dataDir, *quick, std::cout);
        } catch (const xr::ComError& e) {
            std::cerr << "xrdb8: error: " << e.Description() << "\n";
            status = 1;
        } catch (const std::exception& e) {
            std::cerr << "xrdb8: error: " << e.what() << "\n";
            status = 1;
        }
    });
}

}  // namespace xrdb8tool
