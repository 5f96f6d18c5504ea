// xrdb8 check: the health of every database file of the data folder.
#pragma once

#include <iosfwd>
#include <string>

#include "data_folder.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "check" on `app`; `status` receives the command's exit status.
void AddCheckCommand(CLI::App& app, const Server& server, int& status);

// Checks every file of the data folder; prints one line per file ("FILE: ok"
// or its faults) and a summary line. 0 when every file is sound, else 1.
int RunCheck(const Server& server, bool quick, std::ostream& out);

// Before a set-up: every database file opens and reads. Prints on `err` each
// file that does not, naming it; false when there is any.
bool DatabaseFilesOpen(const Server& server, std::ostream& err);

}  // namespace xrdb8tool
