#include "engine/connection.h"

#include <exception>

#include "engine/connection_string.h"
#include "engine/provider.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

// Turns whatever an engine throws into the error the library reports, so that
// nothing but ComError leaves a connection operation.
ComError AsComError(const std::exception& e) {
    if (auto* com = dynamic_cast<const ComError*>(&e)) return *com;
    return ComError(E_FAIL_, e.what());
}

std::string ObjectClosedText() {
    std::string text = StandardDescription(adErrObjectClosed);
    return text.empty() ? "Operation is not allowed when the object is closed." : text;
}

// Runs one call on the session with the errors collection cleared first; an
// error the session throws instead of recording joins the collection.
template <typename Fn>
auto RunCollected(std::vector<ErrorRecord>& errors, Fn&& fn) -> decltype(fn()) {
    errors.clear();
    try {
        return fn();
    } catch (const std::exception& e) {
        ComError error = AsComError(e);
        bool known = false;
        for (const auto& rec : errors)
            if (rec.number == error.Error() && rec.description == error.Description()) known = true;
        if (!known) errors.insert(errors.begin(), {error.Error(), error.Description()});
        throw error;
    }
}

}  // namespace

Connection::Connection() = default;

Connection::~Connection() { Close(); }

void Connection::Open(std::string_view connectionString) {
    Close();
    m_errors.clear();
    try {
        // ADO refuses to open without a connection string: there is no server
        // to pick, and the data folder is never guessed for a caller that set
        // nothing.
        if (Trim(connectionString).empty())
            throw ComError(E_FAIL_, "Data source name not found and no default driver specified.");
        ConnectionString cs = ConnectionString::Parse(connectionString);
        auto provider = cs.Get("Provider");
        std::string_view name = provider ? Trim(*provider) : std::string_view();
        SessionFactory open = FindProvider(name.empty() ? kDefaultProvider : name);
        if (!open)
            throw ComError(adErrProviderNotFound,
                           "Provider cannot be found. It may not be properly installed.");
        m_session = open(cs);
        if (!m_session) throw ComError(E_FAIL_, "The database engine could not be started.");
    } catch (const std::exception& e) {
        m_session.reset();
        ComError error = AsComError(e);
        m_errors.push_back({error.Error(), error.Description()});
        throw error;
    }
}

void Connection::Close() { m_session.reset(); }

Session& Connection::Require() const {
    if (!m_session) throw ComError(adErrObjectClosed, ObjectClosedText());
    return *m_session;
}

// The call fails with its first error; messages before it are kept with it.
void Connection::Raise() {
    for (const ErrorRecord& e : m_errors) {
        if (!e.informational) throw ComError(e.number, e.description);
    }
}

void Connection::Execute(std::string_view sql) {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.Execute(sql, m_errors); });
    if (HasError(m_errors)) Raise();
}

void Connection::Stream(std::string_view sql, ResultSink& sink) {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.Stream(sql, m_errors, sink); });
    if (HasError(m_errors)) Raise();
}

std::unique_ptr<Rows> Connection::Query(std::string_view sql) {
    Session& session = Require();
    auto rows = RunCollected(m_errors, [&] {
        auto result = session.Query(sql, m_errors);
        // A result without columns is no result set (ADO hands back a closed
        // recordset): run it to its end so that its statement takes effect.
        if (result && result->ColumnCount() == 0) {
            while (result->Next()) {
            }
            result.reset();
        }
        return result;
    });
    if (HasError(m_errors)) Raise();
    return rows;
}

std::unique_ptr<RecordSource> Connection::OpenSource(std::string_view source, bool isTable) {
    Session& session = Require();
    auto src =
        RunCollected(m_errors, [&] { return session.OpenSource(source, isTable, m_errors); });
    if (HasError(m_errors)) Raise();
    return src;
}

void Connection::BeginTrans() {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.BeginTrans(); });
}

void Connection::CommitTrans() {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.CommitTrans(); });
}

void Connection::RollbackTrans() {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.RollbackTrans(); });
}

std::string Connection::DefaultDatabase() const { return Require().DefaultDatabase(); }

void Connection::SetDefaultDatabase(std::string_view name) {
    Session& session = Require();
    RunCollected(m_errors, [&] { session.SetDefaultDatabase(name); });
}

std::string Connection::Property(std::string_view name) const {
    Session& session = Require();
    if (IEquals(name, "DBMS Version")) return session.DbmsVersion();
    std::string text = StandardDescription(adErrItemNotFound);
    throw ComError(adErrItemNotFound,
                   text.empty() ? "Item cannot be found in the collection corresponding to the "
                                  "requested name or ordinal."
                                : text);
}

}  // namespace xr::engine
