#include "data_folder.h"

#include "engine/connection_string.h"
#include "platform/error.h"
#include "platform/text.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

std::string ConnectionValue(const std::string& value) {
    if (value.find_first_of(";'\"") == std::string::npos && value == std::string(xr::Trim(value)))
        return value;
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string DataFolderConnectString(const std::string& dataDir) {
    return "Provider=sqlite;Data Source=" + ConnectionValue(dataDir);
}

std::string Server::ConnectString() const {
    return IsFolder() ? DataFolderConnectString(dataDir) : connect;
}

std::string Server::Name() const {
    return IsFolder() ? dataDir : xr::engine::MaskPasswords(connect);
}

bool OpenDataFolder(const Server& server) {
    return DBOpen(server.ConnectString().c_str(), "LORIMDB81") != 0;
}

std::string Masked(const std::string& text) {
    return xr::engine::MaskPasswords(text, xr::engine::MaskAs::kMessage);
}

std::string LastErrorText() {
    int code = 0;
    std::string text;
    DBGetError(code, text);
    return Masked(text.empty() ? xr::ComError::MessageText(code) : text);
}

}  // namespace xrdb8tool
