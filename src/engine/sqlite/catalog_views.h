// The server's read-only views of a database's catalog (INFORMATION_SCHEMA,
// sysindexes, systypes), written as queries over the tables the catalog keeps
// in each file. Nothing is stored for them: a statement that names one reads
// its query in place of a table, so other statements pay nothing.
#pragma once

#include <string>
#include <string_view>

#include "tsql/catalog.h"

struct sqlite3;

namespace xr::engine::sqlite {

class SqliteBackend;

// Whether `name` ("INFORMATION_SCHEMA.COLUMNS", "sysindexes", ...; any case)
// is one of the views.
bool IsSystemView(std::string_view name);

// Fills `out` with the view's columns and its query over the database of
// SQLite schema `schema`, whose T-SQL name is `database`; false when `name`
// is not a view or the database has no catalog.
bool SystemView(sqlite3* handle, std::string_view name, const std::string& schema,
                const std::string& database, tsql::TableDef* out);

// sysdatabases and sys.databases over the server's databases, as the SQL
// function xr_databases() lists them when the statement runs. False when
// `name` is neither. Also sysaltfiles and sys.master_files, the files of
// those databases (xr_database_files()).
bool DatabasesView(std::string_view name, tsql::TableDef* out);

// The metadata functions rendered statements call (xr_object_id,
// xr_objectproperty, xr_columnproperty, xr_indexproperty, xr_col_length,
// xr_col_name), on the session's handle.
void RegisterCatalogFunctions(sqlite3* db, SqliteBackend* backend);

}  // namespace xr::engine::sqlite
