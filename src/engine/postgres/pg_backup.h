// Backups of a PostgreSQL server (one PostgreSQL database holding every
// T-SQL database as a schema, the helper functions of schema xr, triggers,
// views, procedures and the grants to the logins' roles) through
// PostgreSQL's own programs: pg_dump writes the whole database as one SQL
// script taken in one snapshot, psql runs it back in one transaction.
//
// Why pg_dump rather than a script of the library's own: the server holds
// objects the library does not itself enumerate anywhere in one place
// (functions of schema xr, trigger functions, sequences, expression indexes,
// grants), and pg_dump knows every kind of object of its server's version,
// reads them all in one REPEATABLE READ snapshot (one instant, while tills
// keep writing) and orders them so that the script runs back. A script of
// our own would have to follow every object kind the engine ever makes. The
// price is that the programs must be installed, and be of the server's
// version or later; both are checked first, with a message saying what to
// install. Logins are roles of the whole PostgreSQL cluster, outside the
// database: the engine's own login roles are listed beside the dump and made
// on restore where missing.
#pragma once

#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/connection_string.h"

namespace xr::engine::postgres {

// A login role the engine made: its name and its password's verifier as
// the server stores it (empty when the backup could not read it).
struct PgLoginRole {
    std::string name;
    std::string verifier;
};

struct PgBackupInfo {
    std::vector<std::string> databases;  // the schemas of T-SQL databases
    std::vector<PgLoginRole> roles;
    std::string serverVersion;  // "15.4"
    int dumpMajor = 0;          // pg_dump's major version
};

// Writes the server `cs` names to `scriptFile` (which must not be there) as
// pg_dump's SQL script. Throws ComError: the server cannot be reached, a
// program is missing or too old, or pg_dump failed (its message).
PgBackupInfo BackupServer(const ConnectionString& cs, const std::string& scriptFile,
                          const BackupProgress& progress);

// Whether the server `cs` names holds databases (schemas of its own beyond
// PostgreSQL's); its PostgreSQL database is made when it is not there.
// `names` receives them.
bool ServerHoldsDatabases(const ConnectionString& cs, std::vector<std::string>* names = nullptr);

// Runs a script BackupServer wrote into the server `cs` names, in one
// transaction: on any failure nothing of it stays. With `replace`, the
// server's own schemas are dropped first in the same transaction. Makes the
// login roles that are missing. `dumpMajor` is the version that wrote it.
void RestoreServer(const ConnectionString& cs, const std::string& scriptFile,
                   const std::vector<PgLoginRole>& roles, int dumpMajor, bool replace,
                   const BackupProgress& progress);

}  // namespace xr::engine::postgres
