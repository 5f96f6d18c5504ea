// Runs T-SQL batches on one engine: control flow and session state
// (variables, cursors, the current database, IDENTITY_INSERT) here; plain
// statements are rendered into the engine's dialect by its backend; DDL goes
// to the backend's catalog.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/backend.h"
#include "engine/session.h"

namespace xr::engine {

class Interpreter {
public:
    // Opens the session on `backend` (Backend::Open); throws ComError.
    explicit Interpreter(std::unique_ptr<Backend> backend);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Runs a batch; every error is appended to `errors`.
    void Execute(std::string_view batch, std::vector<engine::ErrorRecord>& errors);
    // Runs a batch and returns its first result set (null when none).
    std::unique_ptr<engine::Rows> Query(std::string_view batch,
                                        std::vector<engine::ErrorRecord>& errors);

    // Runs a batch and hands every result set to `sink` as it is produced.
    void Stream(std::string_view batch, std::vector<engine::ErrorRecord>& errors,
                engine::ResultSink& sink);

    // The rows of a statement or a whole table, for a recordset.
    std::unique_ptr<engine::RecordSource> OpenSource(std::string_view source, bool isTable,
                                                     std::vector<engine::ErrorRecord>& errors);

    std::string CurrentDatabase() const;
    void Use(std::string_view database);  // throws ComError

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    struct Impl;  // public so the record sources can reach the session

private:
    std::unique_ptr<Impl> m_impl;
};

// The most iterations one WHILE runs before it is stopped with an error, for
// every interpreter of the process (10,000,000 unless set): a program that
// runs untrusted batches lowers it.
void SetLoopLimit(long iterations);

}  // namespace xr::engine
