// The connection object as the library sees it (ADO's Connection): open with a
// connection string, execute, transactions, default database, the property
// "DBMS Version" and the errors collection. The provider named in the string
// picks the engine (the embedded one by default).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"

namespace xr::engine {

// ADO's error for a Provider= name no engine answers to.
inline constexpr HRESULT adErrProviderNotFound = Hr(0x800A0E7A);

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Throws ComError; an open connection is closed first.
    void Open(std::string_view connectionString);
    void Close();  // never throws
    bool IsOpen() const { return m_session != nullptr; }

    // Runs a batch; throws the first error, with every error of the batch in
    // Errors(). Throws adErrObjectClosed when not open.
    void Execute(std::string_view sql);
    // Runs a batch and returns its first result set (null when none).
    std::unique_ptr<Rows> Query(std::string_view sql);
    // Runs a batch and hands each of its result sets to `sink` as it comes;
    // throws the first error, as Execute.
    void Stream(std::string_view sql, ResultSink& sink);

    // The rows of a statement or of a whole table, for a recordset.
    std::unique_ptr<RecordSource> OpenSource(std::string_view source, bool isTable);

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    std::string DefaultDatabase() const;
    void SetDefaultDatabase(std::string_view name);
    // Provider properties; "DBMS Version" is the one the library reads.
    std::string Property(std::string_view name) const;

    std::vector<ErrorRecord>& Errors() { return m_errors; }
    Session* GetSession() { return m_session.get(); }  // null when closed

private:
    void Raise();  // throws the first error in m_errors
    Session& Require() const;

    std::unique_ptr<Session> m_session;
    std::vector<ErrorRecord> m_errors;
};

}  // namespace xr::engine
