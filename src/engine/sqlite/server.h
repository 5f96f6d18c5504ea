// The embedded engine's server: a folder of database files. MASTER.db holds
// server-wide state; every other database NAME is the file NAME.db (name in
// upper case). One SQLite handle per session, with MASTER.db as its main
// schema and the databases it uses attached under their upper-case names.
#pragma once

#include <string>
#include <string_view>

#include "engine/connection_string.h"

struct sqlite3;

namespace xr::engine::sqlite {

// The folder a connection string designates: Data Source (else $XRDB8_DATA,
// else ./data), with Server=<name> as a sub-folder ("\" read as "/").
std::string ServerFolder(const ConnectionString& cs);

// The SQLite schema name of a database: "main" for master, else the upper-case name.
std::string SchemaName(std::string_view database);
// The file of a database in a server folder.
std::string DatabaseFile(const std::string& folder, std::string_view database);
// The schema tempdb is attached as: a memory database of each connection.
inline constexpr const char kTempSchema[] = "TEMPDB";
// The schema the shared part of tempdb (the ##tables) is attached as.
inline constexpr const char kGlobalTempSchema[] = "TEMPDB##";

bool IsSystemDatabase(std::string_view database);  // master, model, msdb, tempdb

}  // namespace xr::engine::sqlite
