#include "frame/app.h"

#include <cstdlib>
#include <filesystem>

#include "engine/connection.h"
#include "engine/connection_string.h"
#include "frame/shield.h"
#include "platform/text.h"

namespace xr {

int g_maxConnCount = 4;
std::string g_computerName;
std::string g_sqlDataFolder = "MSSQL7";

namespace {

constexpr const char* kFolder2000 = "Program Files\\Microsoft SQL Server\\MSSQL$LORIMSQL";
constexpr const char* kFolder2000Wow64 =
    "Program Files (x86)\\Microsoft SQL Server\\MSSQL$LORIMSQL";

// A 32-bit build under 64-bit Windows put SQL Server 2000 under "Program
// Files (x86)"; there is no such thing here.
bool IsWow64() { return false; }

unsigned long CodeArg(HRESULT code) { return static_cast<uint32_t>(code); }

}  // namespace

void SetServerDataFolder(int version) {
    if (version == 7)
        g_sqlDataFolder = "MSSQL7";
    else if (version == 2000)
        g_sqlDataFolder = IsWow64() ? kFolder2000Wow64 : kFolder2000;
}

int ServerVersionFromText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > 100000) break;  // no server has such a version; stop before overflow
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DataFolderVersion(int serverVersion) {
    if (serverVersion >= 10) return serverVersion;
    if (serverVersion >= 8) return 2000;
    return 7;
}

CXRDB5App& TheApp() {
    // Never destroyed: at process exit the engine may already be gone, and a
    // connection closed after it would crash the till on its way out.
    static CXRDB5App* app = [] {
        auto* created = new CXRDB5App;
        created->InitInstance();
        return created;
    }();
    return *app;
}

namespace {
// The library object exists from the moment the library is loaded.
[[maybe_unused]] const bool g_loaded = (TheApp(), true);
}  // namespace

CXRDB5App::CXRDB5App() { g_dbLog.store(&FileSink); }

int CXRDB5App::InitInstance() {
    m_vers.m_module = "XRDB8";
    m_vers.m_version = "2.1.460";
    const char* data = std::getenv("XRDB8_DATA");
    m_vers.m_folder = (data && *data) ? data : "./data";
    // The companion version module is not part of this build; the result
    // stays 0, as nothing reads it.
    return 1;
}

void CXRDB5App::GetLastError(int& code, std::string& text) {
    std::lock_guard<std::mutex> guard(m_errorMutex);
    code = m_lastError;
    text = m_lastErrorText;
}

void CXRDB5App::SetLastError(HRESULT code, std::string text) {
    std::lock_guard<std::mutex> guard(m_errorMutex);
    m_lastError = code;
    m_lastErrorText = std::move(text);
}

void CXRDB5App::ClearLastErrorCode() {
    std::lock_guard<std::mutex> guard(m_errorMutex);
    m_lastError = 0;
}

// ---- connections ----------------------------------------------------------

void CXRDB5App::CountCheck() {
    int count = static_cast<int>(m_connMap.size());
    if (count > g_maxConnCount) {
        Log("Thread %x DBConn count %d", ThreadId(), count);
        g_maxConnCount = count;
    }
}

void CXRDB5App::Orphan(CDBConn* conn) {
    if (conn) m_orphans.push_back(conn);
}

CDBConn* CXRDB5App::GetConnection(int create, const char* server) {
    CDBLockGuard guard(m_lock);
    const uint32_t tid = ThreadId();
    auto it = m_connMap.find(tid);
    if (it != m_connMap.end()) return it->second;
    if (!create) return nullptr;
    auto conn = std::make_unique<CDBConn>();
    if (!conn->Connect(m_connectString, server)) return nullptr;
    CDBConn* result = conn.release();
    m_connMap[tid] = result;
    CountCheck();
    return result;
}

CDBConn* CXRDB5App::PushConnection(const char* server) {
    CDBLockGuard guard(m_lock);
    const uint32_t tid = ThreadId();
    auto it = m_connMap.find(tid);
    CDBConn* below = it != m_connMap.end() ? it->second : nullptr;
    auto conn = std::make_unique<CDBConn>();
    if (!conn->Connect(m_connectString, server)) {
        Log("CXRDB5App::PushConnection connect fail %s %s %d",
            engine::MaskPasswords(m_connectString).c_str(), server ? server : "",
            static_cast<int>(tid));
        return nullptr;
    }
    conn->m_prev = below;
    conn->m_pushed = true;
    CDBConn* result = conn.release();
    m_connMap[tid] = result;
    CountCheck();
    return result;
}

void CXRDB5App::PopConnection() {
    CDBLockGuard guard(m_lock);
    auto it = m_connMap.find(ThreadId());
    if (it == m_connMap.end() || !it->second->m_pushed) return;
    CDBConn* top = it->second;
    if (top->m_prev)
        it->second = top->m_prev;
    else
        m_connMap.erase(it);
    delete top;
}

int CXRDB5App::RemoveMyConnection() {
    CDBLockGuard guard(m_lock);
    auto it = m_connMap.find(ThreadId());
    if (it == m_connMap.end()) return 0;
    CDBConn* top = it->second;
    m_connMap.erase(it);
    Orphan(top->m_prev);
    delete top;
    return 1;
}

size_t CXRDB5App::ConnectionCount() {
    CDBLockGuard guard(m_lock);
    return m_connMap.size();
}

// ---- error reports --------------------------------------------------------

void CXRDB5App::ReportLines(const ComError& e, int where, const std::string* table) {
    if (g_dbLog.load()) {
        std::string message = e.ErrorMessage();
        if (table)
            Log("Table [%s] error %08lx %s\n", table->c_str(), CodeArg(e.Error()), message.c_str());
        else
            Log("Thread %x Error %08lx %s", ThreadId(), CodeArg(e.Error()), message.c_str());
    }
    CDBConn* conn = GetConnection(0, nullptr);
    if (!conn) return;
    auto& errors = conn->m_pConn->Errors();
    for (size_t i = 0; i < errors.size(); ++i)
        Log("Error at %d %08x %s", where, static_cast<unsigned>(errors[i].number),
            errors[i].description.c_str());
    errors.clear();
}

void CXRDB5App::ReportError(const ComError& e, int where) {
    SetLastError(e.Error(), e.Description());
    ReportLines(e, where, nullptr);
}

void CXRDB5App::ReportTableError(const std::string& table, const ComError& e, int where) {
    SetLastError(e.Error(), e.Description());
    ReportLines(e, where, &table);
}

void CXRDB5App::ReportTableErrorQuiet(const std::string& table, const ComError& e, int where) {
    ReportLines(e, where, &table);
}

// ---- connection-level operations -------------------------------------------

void CXRDB5App::ApplyServerVersion(std::string_view versionText) {
    m_serverVersion = ServerVersionFromText(versionText);
    SetServerDataFolder(DataFolderVersion(m_serverVersion));
}

int CXRDB5App::Connect(std::string_view connect, std::string_view user, std::string_view password,
                       std::string_view database) {
    m_comInit = 1;  // nothing to initialise here; kept for the record
    {
        CDBLockGuard guard(m_lock);
        std::string text(connect);
        // A ';' or a quote in a name or password must not end it or start
        // another key.
        if (!user.empty()) text.append(";User Id=").append(engine::QuoteValue(user));
        if (!password.empty())
            text.append(";Password=").append(engine::QuoteValue(password)).append(";");
        m_connectString = std::move(text);
    }
    const bool hadConnection = GetConnection(0, nullptr) != nullptr;
    CDBConn* conn = GetConnection(1, nullptr);
    if (!conn) return 0;
    // The connection is open: failing to learn the version or to switch to a
    // database that is not there (yet: the set-up creates it) leaves it
    // usable, so the caller still gets 1.
    bool unusable = false;
    std::string previous = conn->m_database;
    Shielded(Quietly{}, [&] {
        ApplyServerVersion(conn->m_pConn->Property("DBMS Version"));
        if (!database.empty()) {
            conn->m_database = std::string(database);
            try {
                conn->m_pConn->SetDefaultDatabase(database);
            } catch (const ComError& e) {
                unusable = e.Error() == E_FILECORRUPT_;
                throw;
            }
        }
    });
    if (!unusable) return 1;
    // A database that is there but cannot be used fails the login, as on the
    // server, rather than leaving the caller in master: the log keeps the
    // engine's reason, which names the file.
    ReportError(ComError(DB_SEC_E_AUTH_FAILED, "Cannot open database \"" + std::string(database) +
                                                   "\" requested by the login. The login failed."),
                20);
    if (hadConnection) {
        conn->m_database = previous;
    } else {
        RemoveMyConnection();
    }
    return 0;
}

int CXRDB5App::Close() {
    return Shielded(0, Reported{29}, [&] {
        CDBLockGuard guard(m_lock);
        for (auto& entry : m_connMap) {
            Orphan(entry.second->m_prev);
            delete entry.second;
        }
        m_connMap.clear();
        return 1;
    });
}

int CXRDB5App::SetDefaultDB(std::string_view database) {
    CDBConn* conn = GetConnection(1, nullptr);
    if (!conn) return 0;
    // A failed switch is neither reported nor logged.
    return Shielded(0, Quietly{}, [&] {
        conn->m_pConn->SetDefaultDatabase(database);
        conn->m_database = std::string(database);
        return 1;
    });
}

int CXRDB5App::Exec(std::string_view sql) {
    return Shielded(0, Reported{21}, [&] {
        CDBConn* conn = GetConnection(1, nullptr);
        if (!conn) return 0;
        conn->m_pConn->Execute(sql);
        return 1;
    });
}

int CXRDB5App::BeginTrans() {
    return Shielded(0, Reported{50}, [&] {
        CDBConn* conn = GetConnection(1, nullptr);
        if (!conn) return 0;
        conn->m_pConn->BeginTrans();
        return 1;
    });
}

int CXRDB5App::CommitTrans() {
    return Shielded(0, Reported{51}, [&] {
        CDBConn* conn = GetConnection(1, nullptr);
        if (!conn) return 0;
        conn->m_pConn->CommitTrans();
        return 1;
    });
}

int CXRDB5App::RollbackTrans() {
    return Shielded(0, Reported{52}, [&] {
        CDBConn* conn = GetConnection(1, nullptr);
        if (!conn) return 0;
        conn->m_pConn->RollbackTrans();
        return 1;
    });
}

}  // namespace xr
