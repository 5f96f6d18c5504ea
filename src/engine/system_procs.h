// The catalog's system procedures that return rows (sp_help, sp_columns,
// sp_tables, sp_pkeys, sp_dboption), written as T-SQL queries over the system tables and
// the INFORMATION_SCHEMA views, so that any engine with those runs them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace xr::engine {

// A procedure's arguments by the position of its parameters: named ones
// (@table_name = 'T') in their place; none for a NULL or missing one.
using ProcParams = std::vector<std::optional<std::string>>;

// The parameter names of a system procedure of this kind, in order; empty
// when `proc` (lower case) is none of them.
std::vector<const char*> SystemProcParams(const std::string& proc);

struct SystemProcCall {
    std::string query;          // T-SQL; its first result is the procedure's
    std::string mustExist;      // an object the procedure fails without
    std::string database = {};  // a database the procedure fails without
};

// What a system procedure runs; `database` is the current database's name.
// Throws the server's error for arguments it refuses.
SystemProcCall SystemProcQuery(const std::string& proc, const ProcParams& params,
                               const std::string& database);

}  // namespace xr::engine
