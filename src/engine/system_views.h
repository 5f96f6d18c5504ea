// The server's read-only views of a database's catalog (INFORMATION_SCHEMA,
// sysindexes, systypes, sys.objects, the database and file lists): what every
// engine shows the same way. Each engine writes the views' queries over the
// catalog tables it keeps (sysobjects, syscolumns, xr_indexes, ...) in its
// own dialect; the columns, their types and the type names come from here.
#pragma once

#include <string>
#include <string_view>

#include "tsql/catalog.h"

namespace xr::engine {

// Whether `name` ("INFORMATION_SCHEMA.COLUMNS", "sysindexes", ...; any case)
// is a view over a database's catalog.
bool IsCatalogView(std::string_view name);

// Whether `name` is one of the server-wide views: sysdatabases,
// sys.databases, sysaltfiles, sys.master_files.
bool IsServerView(std::string_view name);

// Appends the columns the server shows for view `name` (any case; sys.tables,
// sys.views and sys.procedures have those of sys.objects) to `out`; false
// when it is no view.
bool AddViewColumns(std::string_view name, tsql::TableDef* out);

// The server's type name of a syscolumns type id held by `xtype` (an SQL
// expression), as a CASE both engines read.
std::string TypeNameSql(const std::string& xtype);

// systypes: one row a type, as a UNION ALL of constants both engines read.
std::string SystemTypesSql();

// Queries both engines share, over the catalog tables of schema prefix `s`
// ("\"DB\"."). `shown` is the SQL of an object's name as the view shows it
// (sysobjects alias o), `cat` the database's name as a quoted text.
// sysobjects: "SELECT ... FROM " waiting for its sysobjects o.
std::string SysObjectsSelect(const std::string& shown);
std::string SysConstraintsSql(const std::string& s);
// INFORMATION_SCHEMA.TABLES: "SELECT ... FROM " waiting for its sysobjects o.
std::string TablesSelect(const std::string& cat, const std::string& shown);
std::string TableConstraintsSql(const std::string& s, const std::string& cat);
// `definition`: the SQL of a procedure's shown text (sysobjects alias o).
std::string RoutinesSql(const std::string& s, const std::string& cat,
                        const std::string& definition);
// sys.objects, sys.tables, sys.views or sys.procedures (`name`).
std::string ObjectsViewSql(std::string_view name, const std::string& s, const std::string& shown);

// Type id lists for IN (...): text, binary and exact number types.
inline constexpr const char* kCharTypeIds = "(175, 167, 35, 239, 231, 99)";
inline constexpr const char* kBinaryTypeIds = "(173, 165, 34)";
inline constexpr const char* kExactTypeIds = "(48, 52, 56, 127, 60, 122, 106, 108)";

}  // namespace xr::engine
