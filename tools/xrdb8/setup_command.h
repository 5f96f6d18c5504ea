// xrdb8 setup: creates or upgrades the site's databases.
#pragma once

#include <string>

#include "data_folder.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "setup" on `app`. `server` is read when the command runs (after
// the options are parsed); `status` receives the command's exit status.
void AddSetupCommand(CLI::App& app, const Server& server, int& status);

}  // namespace xrdb8tool
