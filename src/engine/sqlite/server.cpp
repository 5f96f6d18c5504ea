#include "engine/sqlite/server.h"

#include <cstdlib>

#include "platform/text.h"

namespace xr::engine::sqlite {

std::string ServerFolder(const ConnectionString& cs) {
    std::string folder;
    if (auto ds = cs.Get("Data Source"); ds && !ds->empty()) {
        folder = *ds;
    } else if (const char* env = std::getenv("XRDB8_DATA"); env && *env) {
        folder = env;
    } else {
        folder = "./data";
    }
    if (auto server = cs.Get("Server"); server && !server->empty()) {
        std::string sub = *server;
        for (char& c : sub) {
            if (c == '\\') c = '/';
        }
        while (!sub.empty() && sub.front() == '/') sub.erase(sub.begin());
        if (!folder.empty() && folder.back() != '/') folder += '/';
        folder += sub;
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool IsSystemDatabase(std::string_view database) {
    return IEquals(database, "master") || IEquals(database, "model") || IEquals(database, "msdb") ||
           IEquals(database, "tempdb");
}

std::string SchemaName(std::string_view database) {
    if (IEquals(database, "master")) return "main";
    return ToUpper(database);
}

std::string DatabaseFile(const std::string& folder, std::string_view database) {
    return folder + "/" + ToUpper(database) + ".db";
}

}  // namespace xr::engine::sqlite
