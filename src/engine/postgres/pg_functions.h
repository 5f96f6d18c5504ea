// The server-side functions of the server engine: what a rendered statement
// calls that PostgreSQL has no builtin for (IDENT_CURRENT, the identity kept
// after explicit values), installed once per server database in its schema
// "xr" and replaced when the library brings newer ones.
#pragma once

namespace xr::engine::postgres {

class PgLink;

// Installs the functions when the server lacks this version of them.
void InstallFunctions(PgLink& link);

}  // namespace xr::engine::postgres
