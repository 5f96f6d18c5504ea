// The health of a server's database files, for the operator's tool: each
// file opens and reads, passes SQLite's integrity check, and its catalog (the
// tables the library keeps in it) agrees with the tables really there.
#pragma once

#include <string>
#include <vector>

namespace xr::engine::sqlite {

struct FileCheck {
    std::string file;                 // path of the database file
    std::vector<std::string> faults;  // empty when the file is sound
};

enum class CheckDepth {
    Opens,      // the file opens and its schema reads (cheap: before a set-up)
    Quick,      // and PRAGMA quick_check, and the catalog agrees with the tables
    Integrity,  // the same with the full PRAGMA integrity_check (indexes too)
};

// Every database file of the server folder (MASTER.db first, then NAME.db in
// name order), each checked to `depth`. Nothing is written, except that a
// write-ahead log left by a process that died is folded back as any open does.
std::vector<FileCheck> CheckServerFiles(const std::string& folder, CheckDepth depth);

}  // namespace xr::engine::sqlite
