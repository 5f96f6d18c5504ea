// xrdb8 sql: the operator's SQL shell. One statement from the command line,
// or batches ended by GO lines from a file or standard input, with a prompt
// and line history on a terminal; rows printed as the server shows them, or
// as CSV/TSV for other programs; errors as the server's "Msg" lines.
#pragma once

#include "data_folder.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "sql" on `app`; `status` receives the command's exit status (1
// when any batch failed).
void AddSqlCommand(CLI::App& app, const Server& server, int& status);

}  // namespace xrdb8tool
