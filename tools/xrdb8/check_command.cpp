#include "check_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data_folder.h"
#include "engine/connection.h"
#include "engine/connection_string.h"
#include "engine/sqlite/check.h"
#include "engine/sqlite/server.h"
#include "frame/app.h"
#include "platform/error.h"
#include "setup/pass23.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

namespace {

using xr::engine::sqlite::CheckDepth;
using xr::engine::sqlite::CheckServerFiles;
using xr::engine::sqlite::FileCheck;

std::string Folder(const std::string& dataDir) {
    return xr::engine::sqlite::ServerFolder(
        xr::engine::ConnectionString::Parse(DataFolderConnectString(dataDir)));
}

// A server reached by a connection string keeps no files of ours to check:
// each database the set-up makes must be there, and every table its catalog
// lists must answer a query.
int CheckConnectedServer(const Server& server, std::ostream& out) {
    if (!OpenDataFolder(server)) {
        std::cerr << "xrdb8: error: " << LastErrorText() << "\n";
        return 1;
    }
    xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
    if (!conn) {
        std::cerr << "xrdb8: error: " << LastErrorText() << "\n";
        DBClose();
        return 1;
    }
    const char* databases[] = {"LORIMDB81", xr::setup::kTradingDb, xr::setup::kUserDb};
    size_t damaged = 0;
    for (const char* db : databases) {
        std::vector<std::string> faults;
        std::vector<std::string> tables;
        try {
            auto rows = conn->m_pConn->Query(std::string("SELECT name FROM ") + db +
                                             "..sysobjects WHERE xtype = 'U' ORDER BY name");
            while (rows && rows->Next()) tables.push_back(rows->Value(0).ToText());
        } catch (const std::exception& e) {
            faults.push_back("cannot be read: " + Masked(e.what()));
        }
        for (const std::string& table : tables) {
            try {
                auto rows = conn->m_pConn->Query("SELECT COUNT(*) FROM " + std::string(db) + "..[" +
                                                 table + "]");
                while (rows && rows->Next()) {
                }
            } catch (const std::exception& e) {
                faults.push_back("table " + table + ": " + Masked(e.what()));
            }
        }
        if (faults.empty()) out << db << ": ok (" << tables.size() << " tables)\n";
        for (const std::string& fault : faults) out << db << ": " << fault << "\n";
        if (!faults.empty()) ++damaged;
    }
    DBClose();
    out << "check: " << std::size(databases) << " databases, " << damaged << " with faults\n";
    return damaged == 0 ? 0 : 1;
}

}  // namespace

int RunCheck(const Server& server, bool quick, std::ostream& out) {
    if (!server.IsFolder()) return CheckConnectedServer(server, out);
    const std::string& dataDir = server.dataDir;
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

bool DatabaseFilesOpen(const Server& server, std::ostream& err) {
    if (!server.IsFolder()) return true;  // the server keeps its own files
    const std::string& dataDir = server.dataDir;
    bool sound = true;
    for (const FileCheck& c : CheckServerFiles(Folder(dataDir), CheckDepth::Opens)) {
        for (const std::string& fault : c.faults) {
            err << "xrdb8: error: the database file " << c.file << " " << fault << "\n";
            sound = false;
        }
    }
    return sound;
}

void AddCheckCommand(CLI::App& app, const Server& server, int& status) {
    auto* sub = app.add_subcommand(
        "check",
        "Check every database file: integrity, and the library's catalog against the tables "
        "(with --connect: every table each database's catalog lists answers a query); "
        "exits 1 on any fault");
    auto quick = std::make_shared<bool>(false);
    sub->add_flag("--quick", *quick, "a quicker integrity check that leaves out the indexes");
    sub->callback([&server, &status, quick] {
        try {
            status = RunCheck(server, *quick, std::cout);
        } catch (const xr::ComError& e) {
            std::cerr << "xrdb8: error: " << Masked(e.Description()) << "\n";
            status = 1;
        } catch (const std::exception& e) {
            std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
            status = 1;
        }
    });
}

}  // namespace xrdb8tool
