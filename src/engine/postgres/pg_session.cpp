#include "engine/postgres/pg_session.h"

#include <libpq-fe.h>

#include "engine/interpreter.h"
#include "engine/postgres/pg_backend.h"
#include "engine/provider.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

std::unique_ptr<Session> OpenSession(const ConnectionString& cs) {
    return std::make_unique<PgSession>(cs);
}

[[maybe_unused]] const bool kRegistered = RegisterProvider(kProviderName, &OpenSession);

// What the suite reads from "DBMS Version", as on the embedded engine.
constexpr const char* kDbmsVersion = "10.50.1600";

}  // namespace

PgSession::PgSession(const ConnectionString& cs)
    : m_link(std::make_unique<PgLink>(cs, /*create=*/true)) {
    m_interp = std::make_unique<Interpreter>(std::make_unique<PgBackend>(*m_link));
}

PgSession::~PgSession() {
    m_interp.reset();
    m_link.reset();
}

// A connection the server dropped fails the call that meets it, with the
// server's reason; the next call opens it again, as a new session.
void PgSession::Execute(std::string_view batch, std::vector<ErrorRecord>& errors) {
    m_link->Revive();
    m_interp->Execute(batch, errors);
}

std::unique_ptr<Rows> PgSession::Query(std::string_view batch, std::vector<ErrorRecord>& errors) {
    m_link->Revive();
    return m_interp->Query(batch, errors);
}

void PgSession::Stream(std::string_view batch, std::vector<ErrorRecord>& errors, ResultSink& sink) {
    m_link->Revive();
    m_interp->Stream(batch, errors, sink);
}

std::unique_ptr<RecordSource> PgSession::OpenSource(std::string_view source, bool isTable,
                                                    std::vector<ErrorRecord>& errors) {
    m_link->Revive();
    return m_interp->OpenSource(source, isTable, errors);
}

void PgSession::BeginTrans() {
    m_link->Revive();
    m_interp->BeginTrans();
}
void PgSession::CommitTrans() { m_interp->CommitTrans(); }
void PgSession::RollbackTrans() { m_interp->RollbackTrans(); }
std::string PgSession::DefaultDatabase() const { return m_interp->CurrentDatabase(); }
void PgSession::SetDefaultDatabase(std::string_view name) { m_interp->Use(name); }
std::string PgSession::DbmsVersion() const { return kDbmsVersion; }

bool DropServer(const ConnectionString& cs, std::string* why) {
    try {
        // The maintenance database of the same server, reached as the
        // connection string says.
        std::string text;
        std::string database = kDefaultServerDatabase;
        for (const auto& [key, value] : cs.Pairs()) {
            if (IEquals(key, "Initial Catalog") || IEquals(key, "Database")) {
                database = value;
                continue;
            }
            std::string quoted;
            for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
            text += key + "='" + quoted + "';";
        }
        PgLink admin(ConnectionString::Parse(text + "Initial Catalog=postgres"), false);
        admin.Exec("DROP DATABASE IF EXISTS " + Quote(database) + " WITH (FORCE)");
        return true;
    } catch (const ComError& e) {
        if (why) *why = e.Description();
        return false;
    }
}

namespace {

// The PostgreSQL database a connection string names as its server, and the
// same connection string with the maintenance database in its place.
std::string ServerDatabase(const ConnectionString& cs, std::string* maintenance) {
    std::string database = kDefaultServerDatabase;
    for (const auto& [key, value] : cs.Pairs()) {
        if (IEquals(key, "Initial Catalog") || IEquals(key, "Database")) {
            database = value;
            continue;
        }
        std::string quoted;
        for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        *maintenance += key + "='" + quoted + "';";
    }
    *maintenance += "Initial Catalog=postgres";
    return database;
}

}  // namespace

bool CopyServer(const ConnectionString& source, const ConnectionString& copy, std::string* why) {
    try {
        std::string text, unused;
        const std::string from = ServerDatabase(source, &unused);
        const std::string to = ServerDatabase(copy, &text);
        PgLink admin(ConnectionString::Parse(text), false);
        admin.Exec("CREATE DATABASE " + Quote(to) + " TEMPLATE " + Quote(from));
        return true;
    } catch (const ComError& e) {
        if (why) *why = e.Description();
        return false;
    }
}

}  // namespace xr::engine::postgres
