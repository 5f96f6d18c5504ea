// Everything a site's files hold, as sorted lines of text, for comparing two
// sites: the schema of each file, every row of every table, and the catalog
// with the object ids (drawn at random) and creation times left out.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "sqlite_rows.h"

namespace xrtest {

// The rows `sql` gives on the database file `path`, as SqlLines gives them.
inline std::vector<std::string> FileLines(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::vector<std::string> lines = SqlLines(db, sql);
    sqlite3_close(db);
    return lines;
}

inline std::vector<std::string> SiteDump(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        if (name.size() > 3 && name.substr(name.size() - 3) == ".db") files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> dump;
    for (const std::string& file : files) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2((folder + "/" + file).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            dump.push_back(file + ": cannot open");
            sqlite3_close(db);
            continue;
        }
        // The names the server gives defaults end in the object's id.
        static const std::regex kGivenName("(DF__[^|]*__)[0-9A-F]{8}");
        auto add = [&](const std::string& sql, const std::string& what) {
            std::vector<std::string> lines = SqlLines(db, sql, file + " " + what + ": ");
            for (std::string& line : lines) line = std::regex_replace(line, kGivenName, "$1*");
            std::sort(lines.begin(), lines.end());
            dump.insert(dump.end(), lines.begin(), lines.end());
        };
        add("SELECT type, name, tbl_name, sql FROM sqlite_schema", "schema");
        const std::string name = "(SELECT name FROM sysobjects o WHERE o.id = ";
        add("SELECT name, xtype, " + name + "x.parent_obj) FROM sysobjects x", "sysobjects");
        add("SELECT " + name +
                "c.id), colid, name, xtype, length, prec, scale, isnullable, cdefault <> 0, status "
                "FROM syscolumns c",
            "syscolumns");
        add("SELECT " + name + "c.id), " + name + "c.constid), colid, status FROM sysconstraints c",
            "sysconstraints");
        add("SELECT " + name + "d.id), text, value, value_type FROM xr_defaults d", "defaults");
        add("SELECT " + name +
                "i.table_id), seq, name, storage_name, is_unique, is_pk, constid <> 0, columns, "
                "descending, filter FROM xr_indexes i",
            "indexes");
        for (const std::string& table :
             SqlLines(db,
                      "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT IN "
                      "('sysobjects', 'syscolumns', 'sysconstraints', 'xr_defaults', "
                      "'xr_indexes', 'xr_meta')",
                      "")) {
            add("SELECT * FROM \"" + table + "\"", table);
        }
        sqlite3_close(db);
    }
    return dump;
}

}  // namespace xrtest
