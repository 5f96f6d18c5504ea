// xrdb8 script, exec, import-csv, import-xml and colours: moving data in and
// out of the configuration database. The command bodies live in
// interchange_commands.cpp, their options in interchange_cli.cpp.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "data_folder.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers the data interchange commands on `app`. `server` is read when a
// command runs (after the options are parsed); `status` receives the
// command's exit status.
void AddInterchangeCommands(CLI::App& app, const Server& server, int& status);

// The command bodies, for callers (and tests) that have their options
// already. Each prints its summary to `out` and its errors, one line each, to
// `err`, and returns the exit status.
int RunScript(const Server& server, const std::vector<std::string>& tables,
              const std::string& outPath, bool append, bool identityInsert, std::ostream& out,
              std::ostream& err);
int RunExec(const Server& server, const std::string& path, std::ostream& out, std::ostream& err);
// The kinds import-csv takes: products, barcodes, depts, groups, servers, tables.
const std::vector<std::string>& CsvKinds();
int RunImportCsv(const Server& server, const std::string& kind, const std::string& path,
                 bool replace, const std::string& scriptPath, bool allBands, std::ostream& out,
                 std::ostream& err);
int RunImportXml(const Server& server, const std::string& path, const std::string& record,
                 bool hasRecord, std::ostream& out, std::ostream& err);
int RunColours(const Server& server, const std::string& direction, const std::string& path,
               std::ostream& out, std::ostream& err);

}  // namespace xrdb8tool
