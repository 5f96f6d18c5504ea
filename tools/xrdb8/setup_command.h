// xrdb8 setup: creates or upgrades the site's databases.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "setup" on `app`. `dataDir` is read when the command runs (after
// the options are parsed); `status` receives the command's exit status.
void AddSetupCommand(CLI::App& app, const std::string& dataDir, int& status);

}  // namespace xrdb8tool
