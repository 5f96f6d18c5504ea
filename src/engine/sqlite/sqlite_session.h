// A session of the embedded engine: one SQLite handle over a server folder,
// with the T-SQL layer in front of it.
#pragma once

#include <memory>
#include <string>

#include "engine/connection_string.h"
#include "engine/session.h"

struct sqlite3;

namespace xr::engine {
class Interpreter;
}

namespace xr::engine::sqlite {

class SqliteSession final : public Session {
public:
    // Throws ComError when the folder cannot be created or opened.
    explicit SqliteSession(const ConnectionString& cs);
    ~SqliteSession() override;

    void Execute(std::string_view batch, std::vector<ErrorRecord>& errors) override;
    std::unique_ptr<Rows> Query(std::string_view batch, std::vector<ErrorRecord>& errors) override;
    void Stream(std::string_view batch, std::vector<ErrorRecord>& errors,
                ResultSink& sink) override;
    std::unique_ptr<RecordSource> OpenSource(std::string_view source, bool isTable,
                                             std::vector<ErrorRecord>& errors) override;
    void BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    std::string DefaultDatabase() const override;
    void SetDefaultDatabase(std::string_view name) override;
    std::string DbmsVersion() const override;

    sqlite3* Handle() const { return m_db; }
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    sqlite3* m_db = nullptr;
    std::unique_ptr<Interpreter> m_interp;
};

}  // namespace xr::engine::sqlite
