// xrdb8 lists: screen lists between the configuration database and the list
// files and screen-definition files of older tills.
#pragma once

#include <string>

#include "data_folder.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "lists" with its subcommands import, export and export-all on
// `app`. `server` is read when a command runs (after the options are
// parsed); `status` receives the command's exit status.
void AddListsCommand(CLI::App& app, const Server& server, int& status);

}  // namespace xrdb8tool
