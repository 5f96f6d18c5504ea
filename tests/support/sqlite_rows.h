// Rows of a query straight on an SQLite handle, each as "a|b|c" ("NULL" for
// a null) after `prefix`; a statement that does not prepare gives one
// "<error> ..." line.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace xrtest {

inline std::vector<std::string> SqlLines(sqlite3* db, const std::string& sql,
                                         const std::string& prefix = "") {
    std::vector<std::string> lines;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        lines.push_back(prefix + "<error> " + sqlite3_errmsg(db));
        return lines;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::string line = prefix;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const unsigned char* t = sqlite3_column_text(st, i);
            line += (i ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : "NULL");
        }
        lines.push_back(line);
    }
    sqlite3_finalize(st);
    return lines;
}

}  // namespace xrtest
