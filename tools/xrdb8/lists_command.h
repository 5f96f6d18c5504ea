// xrdb8 lists: screen lists between the configuration database and the list
// files and screen-definition files of older tills.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "lists" with its subcommands import, export and export-all on
// `app`. `dataDir` is read when a command runs (after the options are
// parsed); `status` receives the command's exit status.
void AddListsCommand(CLI::App& app, const std::string& dataDir, int& status);

}  // namespace xrdb8tool
