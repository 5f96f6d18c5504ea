// The server engine: PostgreSQL 15 behind the same T-SQL layer, selected by
// Provider=postgresql, for sites whose tills share one server.
//
// Connection string: Data Source=host[,port] or a Unix socket folder, Port=,
// User Id=, Password=, and Initial Catalog= the PostgreSQL database that
// holds the server (default "xrdb8", made on first use as the embedded engine
// makes its data folder). The password goes to libpq alone: no log line and
// no error text carries it.
//
// One PostgreSQL database is one server; each T-SQL database is a schema in
// it, named as the database in upper case (master is "MASTER"). A session
// then reaches every database of its server over one connection, so USE is a
// change of the current schema, db.dbo.table and db..table are plain
// schema-qualified names, and one transaction spans several databases as on
// the server. A PostgreSQL database per T-SQL database could do none of this
// without a connection per database and two-phase commits.
//
// Values are stored as the embedded engine stores them (tsql/types.h): MONEY
// and small DECIMAL as integers scaled by 10^scale (exact, integer arithmetic
// serves), dates as the OLE day number, text as text. Both engines then read,
// bind, convert and compare the same values, and the binder's folding of
// constants holds for both.
//
// Text compares as the server's default collation does: without case and
// with trailing blanks ignored. Every comparison, ORDER BY, GROUP BY and key
// of text goes through one normal form, lower(rtrim(x)) under the "C"
// collation (ASCII case folding, byte order: the embedded engine's order
// exactly); unique keys and indexes on text are expression indexes over that
// same form, so that a lookup by a key uses its index. A nondeterministic
// ICU collation would order differently from the embedded engine, keeps
// trailing blanks significant and is refused by LIKE in PostgreSQL 15;
// citext keeps trailing blanks significant too.
//
// Statements are prepared once per shape of their parameters and run with
// binary parameters and results: no text is parsed or escaped per value.
#pragma once

#include <memory>
#include <string>

#include "engine/connection_string.h"
#include "engine/session.h"

namespace xr::engine {
class Interpreter;
}

namespace xr::engine::postgres {

inline constexpr const char* kProviderName = "postgresql";
// The PostgreSQL database a connection string names as its server.
inline constexpr const char* kDefaultServerDatabase = "xrdb8";

class PgLink;

class PgSession final : public Session {
public:
    // Throws ComError when the server cannot be reached or refuses the login.
    explicit PgSession(const ConnectionString& cs);
    ~PgSession() override;

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

private:
    std::unique_ptr<PgLink> m_link;
    std::unique_ptr<Interpreter> m_interp;
};

// Removes the whole server a connection string names (its PostgreSQL
// database); false when it could not. For tests and for an operator taking a
// server down; the server must have no other session.
bool DropServer(const ConnectionString& cs, std::string* why = nullptr);

// Makes the server `copy` names a copy of the server `source` names, the
// server's own copy of its files (CREATE DATABASE ... TEMPLATE): far quicker
// than building it again. False when it could not (the source missing, a
// session on the source, the copy's name taken). For tests and for an
// operator cloning a server.
bool CopyServer(const ConnectionString& source, const ConnectionString& copy,
                std::string* why = nullptr);

}  // namespace xr::engine::postgres
