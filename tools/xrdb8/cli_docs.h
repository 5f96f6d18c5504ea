// xrdb8 completion and xrdb8 man: the bash completion script and the manual
// page. Both are read from the tool's own commands and options when they run,
// so neither falls behind a command added or an option changed.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "completion" and "man" on `app`, the tool's whole command line:
// they describe every command registered on it, whenever it was registered.
void AddCompletionCommand(CLI::App& app, int& status);
void AddManCommand(CLI::App& app, int& status);

// The texts the commands print.
std::string BashCompletion(const CLI::App& app);
std::string ManPage(const CLI::App& app);

}  // namespace xrdb8tool
