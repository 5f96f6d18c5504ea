// xrdb8 backup DEST / xrdb8 restore SRC [--force]: a copy of every database
// of the server at one instant, taken while tills keep trading, and its
// return into an empty data folder or server (or, forced, a live one).
//
// A backup is a folder: the databases' copies (NAME.db on the embedded
// engine; server.sql, pg_dump's script, on PostgreSQL) and the list
// xrdb8-backup.txt naming the engine, the databases, the time, the
// library's version and each file's size and checksum. The list is written
// last, so a backup that did not reach its end has none and is refused.
#pragma once

#include <iosfwd>
#include <string>

#include "data_folder.h"
#include "engine/backup.h"

namespace CLI {
class App;
}

namespace xrdb8tool {

// Registers "backup" and "restore" on `app`; `status` receives the exit status.
void AddBackupCommands(CLI::App& app, const Server& server, int& status);

// Writes the backup of `server` into `dest` (missing, or an empty folder).
// Throws std::exception with the operator's message; writes nothing when
// it fails.
void RunBackup(const Server& server, const std::string& dest, std::ostream& out,
               const xr::engine::BackupProgress& progress = {});

// Checks the whole backup in `source`, then puts it into `server`: an empty
// one, or with `force` one that holds databases. Throws as RunBackup; the
// server is not touched when the backup is not sound.
void RunRestore(const Server& server, const std::string& source, bool force, std::ostream& out,
                const xr::engine::BackupProgress& progress = {});

}  // namespace xrdb8tool
