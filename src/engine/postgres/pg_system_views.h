// The server's read-only views of the catalog on the server engine
// (INFORMATION_SCHEMA, sysindexes, systypes, syscomments, sys.objects, the
// database and file lists): queries over the catalog tables of a database
// schema, in PostgreSQL's dialect and in storage representation. Nothing is
// stored for them: a statement that names one reads its query in place of a
// table.
#pragma once

#include <string>
#include <string_view>

#include "tsql/catalog.h"

namespace xr::engine::postgres {

class PgLink;

// Fills `out` with view `name`'s columns and its query over the database of
// schema `schema`, whose T-SQL name is `database`; false when `name` is no
// view or the schema has no catalog. The catalog tables that come with later
// features (constraints, views, procedures) are read when the schema has them.
bool SystemView(PgLink& link, std::string_view name, const std::string& schema,
                const std::string& database, tsql::TableDef* out);

}  // namespace xr::engine::postgres
