#include "engine/sqlite/server.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

// The folder of one part of a server name below `parent`. Server names
// ignore case, as computer names do: an existing folder is found whatever
// its case (its own spelling first, then upper case, then the first in
// order); a new one is made in upper case.
std::string ServerPart(const std::string& parent, std::string_view part) {
    std::string upper = ToUpper(part);
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(parent.empty() ? "." : parent, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (IEquals(name, part) && it->is_directory(ec)) found.push_back(std::move(name));
    }
    if (found.empty()) return upper;
    for (const std::string& name : found)
        if (name == part) return name;
    for (const std::string& name : found)
        if (name == upper) return name;
    return *std::min_element(found.begin(), found.end());
}

}  // namespace

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
        // "HOST\INSTANCE" is a folder per part. A server name is never a
        // path: a part that would climb out of the data folder is refused.
        std::string_view rest = *server;
        while (!rest.empty()) {
            size_t cut = rest.find_first_of("\\/");
            std::string_view part = rest.substr(0, cut);
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
            if (part.empty()) continue;
            if (part == "." || part == "..") {
                throw ComError(E_FAIL_, "'" + *server + "' is not a valid server name.");
            }
            while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            const std::string parent = folder;
            if (!folder.empty() && folder.back() != '/') folder += '/';
            folder += ServerPart(parent, part);
        }
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
