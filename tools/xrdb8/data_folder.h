// The server every command works on: the one whose files are in the data
// folder, opened through the library's own provider on the configuration
// database; and the library's last error as the operator reads it.
#pragma once

#include <string>

namespace xrdb8tool {

// A value for the connection string, quoted when it holds a ';' or a quote,
// or blanks at either end that the parser would drop; a quote inside the
// quotes is doubled.
std::string ConnectionValue(const std::string& value);

// The connection string of the server in `dataDir`.
std::string DataFolderConnectString(const std::string& dataDir);

// Connects the calling thread to that server (DBOpen's answer as a bool).
bool OpenDataFolder(const std::string& dataDir);

// DBGetError's text, or the code's message when the text is empty.
std::string LastErrorText();

}  // namespace xrdb8tool
