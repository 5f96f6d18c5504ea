// xrdb8 check: the health of every database file of the data folder.
#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "check" on `app`; `status` receives the command's exit status.
void AddCheckCommand(CLI::App& app, const std::string& dataDir, int& status);

// Checks every file of the data folder; prints one line per file ("FILE: ok"
// or its faults) and a summary line. 0 when every file is sound, else 1.
int RunCheck(const std::string& dataDir, bool quick, std::ostream& out);

// Before a set-up: every database file opens and reads. Prints on `err` each
// file that does not, naming it; false when there is any.
bool DatabaseFilesOpen(const std::string& dataDir, std::ostream& err);

}  // namespace xrdb8tool
