// Catalog changes of one server, one at a time.
#pragma once

#include <cstdint>

namespace xr::engine::postgres {

class PgLink;

// Locks the server's schema mark (xr.ddl) until the current transaction ends
// and answers its value. Every catalog change takes it first: a change of
// another session in progress is waited for, and what the change looks for
// (a name in use, a column, an index's number) is then read as that one
// committed it. Without it two sessions setting up one server at once both
// find a table missing and the later CREATE fails on PostgreSQL's own
// catalog, or takes the index number the other one took.
int64_t LockSchemaMark(PgLink& link);

}  // namespace xr::engine::postgres
