// The server-side functions of the server engine: what a rendered statement
// calls that PostgreSQL has no builtin for (IDENT_CURRENT, the identity kept
// after explicit values), installed once per server database in its schema
// "xr" and replaced when the library brings newer ones.
#pragma once

#include <vector>

namespace xr::engine::postgres {

class PgLink;

// Installs the functions when the server lacks this version of them.
void InstallFunctions(PgLink& link);

// The catalog's metadata functions (pg_meta_functions.cpp), installed with
// the others.
std::vector<const char*> MetaFunctions();

}  // namespace xr::engine::postgres
