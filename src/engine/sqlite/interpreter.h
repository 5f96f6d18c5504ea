// Runs T-SQL batches on one SQLite handle: control flow and session state
// (variables, cursors, the current database, IDENTITY_INSERT) here; plain
// statements are rendered into SQLite's dialect by the renderer; DDL goes to
// the catalog.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"

struct sqlite3;

namespace xr::engine::sqlite {

class Interpreter {
public:
    // `folder` is the server folder holding the database files; `handle` has
    // MASTER.db as its main schema.
    Interpreter(sqlite3* handle, std::string folder);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs a batch; every error is appended to `errors`.
    void Execute(std::string_view batch, std::vector<engine::ErrorRecord>& errors);
    // Runs a batch and returns its first result set (null when none).
    std::unique_ptr<engine::Rows> Query(std::string_view batch,
                                        std::vector<engine::ErrorRecord>& errors);

    // The rows of a statement or a whole table, for a recordset.
    std::unique_ptr<engine::RecordSource> OpenSource(std::string_view source, bool isTable,
                                                     std::vector<engine::ErrorRecord>& errors);

    std::string CurrentDatabase() const;
    void Use(std::string_view database);  // throws ComError

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    struct Impl;  // public so the engine's SQL functions can reach the session

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace xr::engine::sqlite
