#include "engine/sqlite/sqlite_session.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "engine/interpreter.h"
#include "engine/provider.h"
#include "engine/sqlite/functions.h"
#include "engine/sqlite/server.h"
#include "engine/sqlite/sqlite_backend.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

std::unique_ptr<Session> OpenSession(const ConnectionString& cs) {
    return std::make_unique<SqliteSession>(cs);
}

// The embedded engine is there as soon as the library is loaded.
[[maybe_unused]] const bool kRegistered = RegisterProvider(kDefaultProvider, &OpenSession);

// The version the suite reads from "DBMS Version": 10 or later, so database
// creation uses its short form.
constexpr const char* kDbmsVersion = "10.50.1600";

[[noreturn]] void FailOpen(const std::string& folder, const std::string& why) {
    throw ComError(E_FAIL_, "Cannot open the data folder '" + folder + "': " + why);
}

void ExecOrThrow(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        throw ComError(E_FAIL_, text);
    }
}

}  // namespace

SqliteSession::SqliteSession(const ConnectionString& cs) : m_folder(ServerFolder(cs)) {
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    if (ec) FailOpen(m_folder, ec.message());
    if (!std::filesystem::is_directory(m_folder, ec)) FailOpen(m_folder, "not a folder");

    std::string master = DatabaseFile(m_folder, "master");
    int rc = sqlite3_open_v2(
        master.c_str(), &m_db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
        nullptr);
    if (rc != SQLITE_OK) {
        std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        FailOpen(m_folder, why);
    }
    try {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, 30000);
        ExecOrThrow(m_db, "PRAGMA journal_mode=WAL");
        std::string sync = "FULL";
        if (auto s = cs.Get("Synchronous"); s && !s->empty()) {
            if (IEquals(*s, "off") || IEquals(*s, "normal") || IEquals(*s, "full")) {
                sync = ToUpper(*s);
            } else {
                throw ComError(E_FAIL_,
                               "Synchronous must be OFF, NORMAL or FULL, not '" + *s + "'");
            }
        }
        ExecOrThrow(m_db, ("PRAGMA synchronous=" + sync).c_str());
        // FOREIGN KEY constraints are the engine's to enforce.
        ExecOrThrow(m_db, "PRAGMA foreign_keys=ON");
        RegisterSqlFunctions(m_db);
        m_interp = std::make_unique<Interpreter>(std::make_unique<SqliteBackend>(m_db, m_folder));
    } catch (const ComError& e) {
        m_interp.reset();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        const std::string& why = e.Description();
        if (why.find("not a database") != std::string::npos ||
            why.find("malformed") != std::string::npos) {
            FailOpen(m_folder, "the file '" + master + "' is damaged (" + why + ")");
        }
        FailOpen(m_folder, why);
    }
}

SqliteSession::~SqliteSession() {
    m_interp.reset();
    if (m_db) sqlite3_close_v2(m_db);
}

void SqliteSession::Execute(std::string_view batch, std::vector<ErrorRecord>& errors) {
    m_interp->Execute(batch, errors);
}

std::unique_ptr<Rows> SqliteSession::Query(std::string_view batch,
                                           std::vector<ErrorRecord>& errors) {
    return m_interp->Query(batch, errors);
}

void SqliteSession::Stream(std::string_view batch, std::vector<ErrorRecord>& errors,
                           ResultSink& sink) {
    m_interp->Stream(batch, errors, sink);
}

std::unique_ptr<RecordSource> SqliteSession::OpenSource(std::string_view source, bool isTable,
                                                        std::vector<ErrorRecord>& errors) {
    return m_interp->OpenSource(source, isTable, errors);
}

void SqliteSession::BeginTrans() { m_interp->BeginTrans(); }
void SqliteSession::CommitTrans() { m_interp->CommitTrans(); }
void SqliteSession::RollbackTrans() { m_interp->RollbackTrans(); }
std::string SqliteSession::DefaultDatabase() const { return m_interp->CurrentDatabase(); }
void SqliteSession::SetDefaultDatabase(std::string_view name) { m_interp->Use(name); }
std::string SqliteSession::DbmsVersion() const { return kDbmsVersion; }

}  // namespace xr::engine::sqlite
