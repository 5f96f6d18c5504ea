// Backups of the embedded engine's server folder: every database file copied
// at one instant while tills keep trading, each copy checked before a restore,
// and a restore into the folder's files as they stand, so that sessions that
// have them open see the restored content.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/backup.h"
#include "engine/connection_string.h"

namespace xr::engine::sqlite {

// The databases of a server folder as their files hold them: MASTER first,
// then the others in name order (upper case, as the files are named).
std::vector<std::string> FolderDatabases(const std::string& folder);

// Copies every database of the folder `cs` designates into `destFolder` as
// NAME.db (no file of that name may be there), the copies together showing
// the server as it was at one instant. Returns the databases copied, in
// FolderDatabases' order. Throws ComError naming the file that failed; the
// caller removes what was written.
std::vector<std::string> BackupServer(const ConnectionString& cs, const std::string& destFolder,
                                      const BackupProgress& progress);

// Whether a copy made by BackupServer is a sound database: it opens, reads
// and passes SQLite's quick check. Empty when it is, else what is wrong.
// Reads only: the copy may be on a medium that cannot be written.
std::string CheckCopy(const std::string& file);

// Puts each copy (database name, file) into the folder `cs` designates:
// into the database's file through SQLite itself when the file is there
// (sessions holding it open see the new content at their next statement),
// else into a new file. Each database is replaced whole or not at all.
void RestoreServer(const ConnectionString& cs,
                   const std::vector<std::pair<std::string, std::string>>& copies,
                   const BackupProgress& progress);

}  // namespace xr::engine::sqlite
