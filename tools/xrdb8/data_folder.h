// The server every command works on: the one whose files are in the data
// folder (the embedded engine), or the one a connection string names
// (--connect, a PostgreSQL server shared by a site's tills), opened through
// the library's own provider on the configuration database; and the
// library's last error as the operator reads it.
#pragma once

#include <string>
#include <utility>

namespace xrdb8tool {

// Where the server is. A folder converts to one, so that a caller holding
// only a data folder's path passes it as it stands.
struct Server {
    Server(std::string folder = {}) : dataDir(std::move(folder)) {}  // NOLINT: a folder is one

    std::string dataDir;  // the embedded engine's folder, when `connect` is empty
    std::string connect;  // a whole connection string (--connect)

    bool IsFolder() const { return connect.empty(); }
    // The connection string the library opens.
    std::string ConnectString() const;
    // How messages name the server: the folder, or the connection string
    // with its passwords hidden.
    std::string Name() const;
};

// A value for the connection string, quoted when it holds a ';' or a quote,
// or blanks at either end that the parser would drop; a quote inside the
// quotes is doubled.
std::string ConnectionValue(const std::string& value);

// The connection string of the server in `dataDir`.
std::string DataFolderConnectString(const std::string& dataDir);

// Connects the calling thread to the server (DBOpen's answer as a bool).
bool OpenDataFolder(const Server& server);

// A message as the operator may see it: any password in it hidden.
std::string Masked(const std::string& text);

// DBGetError's text, or the code's message when the text is empty; never a
// password.
std::string LastErrorText();

}  // namespace xrdb8tool
