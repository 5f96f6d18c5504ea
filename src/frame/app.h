// The library object: the connection string, one connection stack per calling
// thread, the last error, and the error reports and log lines every subsystem
// uses. Other parts reach it through TheApp().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "frame/lock.h"
#include "frame/log.h"
#include "platform/error.h"

namespace xr::engine {
class Connection;
}

namespace xr {

// The version record of the library.
class CVers {
public:
    virtual ~CVers() = default;

    std::string m_module;
    std::string m_version;
    std::string m_folder;
    int m_result = 0;
};

// One engine connection of one thread. Pushed connections link down to the
// one they cover through m_prev.
class CDBConn {
public:
    CDBConn();
    virtual ~CDBConn();
    CDBConn(const CDBConn&) = delete;
    CDBConn& operator=(const CDBConn&) = delete;

    // Opens with `connectString`, redirected to `server` when that names
    // another computer. 1 when open; 0 when it failed (already reported).
    int Connect(const std::string& connectString, const char* server);

    std::unique_ptr<engine::Connection> m_pConn;
    std::string m_database;  // made the default database after opening
    int m_connected = 0;
    CDBConn* m_prev = nullptr;
    std::string m_server;  // the server this connection was redirected to
    // Made by PushConnection: only such a connection is popped, so a scope
    // whose connection DBClose or DBRemoveMyConnection already took leaves
    // the thread's later connection alone.
    bool m_pushed = false;
};

class CXRDB5App {
public:
    CXRDB5App();
    CXRDB5App(const CXRDB5App&) = delete;
    CXRDB5App& operator=(const CXRDB5App&) = delete;

    int InitInstance();

    // The calling thread's connection; with `create`, opened on first use.
    // Null when there is none or it could not be opened (reported).
    CDBConn* GetConnection(int create, const char* server);
    CDBConn* PushConnection(const char* server);
    void PopConnection();
    int RemoveMyConnection();
    // How many threads hold a connection.
    size_t ConnectionCount();

    void ReportError(const ComError& e, int where);
    void ReportTableError(const std::string& table, const ComError& e, int where);
    // ReportTableError that leaves the last error as it was.
    void ReportTableErrorQuiet(const std::string& table, const ComError& e, int where);

    // The connection-level operations behind the exports.
    int Connect(std::string_view connect, std::string_view user, std::string_view password,
                std::string_view database);
    int Close();
    int SetDefaultDB(std::string_view database);
    int Exec(std::string_view sql);
    int BeginTrans();
    int CommitTrans();
    int RollbackTrans();

    // Sets m_serverVersion from the server's version text and picks the data
    // folder for new database files from it.
    void ApplyServerVersion(std::string_view versionText);

    void GetLastError(int& code, std::string& text);
    void SetLastError(HRESULT code, std::string text);
    void ClearLastErrorCode();

    CVers m_vers;
    int m_comInit = 0;
    std::atomic<int> m_isNew{0};
    std::atomic<int> m_serverVersion{7};
    std::string m_connectString;  // written under m_lock
    CDBLock m_lock{0};            // guards m_connMap

private:
    void ReportLines(const ComError& e, int where, const std::string* table);
    void CountCheck();
    // Keeps the connections below a deleted top one: they stay open, as the
    // till programs expect, and are never freed while the process runs.
    void Orphan(CDBConn* conn);

    std::unordered_map<uint32_t, CDBConn*> m_connMap;
    std::vector<CDBConn*> m_orphans;
    std::mutex m_errorMutex;  // two threads reporting at once must not tear the text
    HRESULT m_lastError = 0;
    std::string m_lastErrorText;
};

// The process-wide library object, created when the library loads and never
// destroyed: connections are not closed behind the engine's back at exit.
CXRDB5App& TheApp();

// Process-wide values outside the library object.
extern int g_maxConnCount;  // highest number of threads with a connection seen
extern std::string g_computerName;
extern std::string g_sqlDataFolder;  // below the system drive, for new database files

// DBSetServer: the data folder for server version 7 or 2000; others change nothing.
void SetServerDataFolder(int version);
// The leading decimal number of a server version text ("09.00.3042" -> 9).
int ServerVersionFromText(std::string_view text);
// The argument Connect hands DBSetServer for a server major version.
int DataFolderVersion(int serverVersion);
// The text to open a connection with when a thread is redirected to `server`:
// the host part of an existing Server= clause replaced, or a Server= clause
// put in front.
std::string RedirectConnectString(const std::string& connectString, const std::string& server);

}  // namespace xr
