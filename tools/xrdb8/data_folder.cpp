#include "data_folder.h"

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

bool OpenDataFolder(const std::string& dataDir) {
    return DBOpen(DataFolderConnectString(dataDir).c_str(), "LORIMDB81") != 0;
}

std::string LastErrorText() {
    int code = 0;
    std::string text;
    DBGetError(code, text);
    return text.empty() ? xr::ComError::MessageText(code) : text;
}

}  // namespace xrdb8tool
