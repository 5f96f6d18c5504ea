// The connection and statement exports and CUseConnection. Each is a thin call
// into the library object; none lets an exception reach the caller.
#include "frame/app.h"
#include "frame/shield.h"
#include "platform/text.h"
#include "xrdb8/frame.h"

using xr::AsLastError;
using xr::Shielded;
using xr::TheApp;

int DBConnect(const char* connect, const char* user, const char* password, const char* database) {
    return Shielded(0, AsLastError{}, [&] {
        return TheApp().Connect(xr::SafeText(connect), xr::SafeText(user), xr::SafeText(password),
                                xr::SafeText(database));
    });
}

int DBOpen(const char* connect, const char* database) {
    return Shielded(0, AsLastError{}, [&] {
        return TheApp().Connect(xr::SafeText(connect), {}, {}, xr::SafeText(database));
    });
}

int DBClose() {
    return Shielded(0, AsLastError{}, [&] { return TheApp().Close(); });
}

int DBSetDefaultDB(const char* database) {
    return Shielded(0, AsLastError{},
                    [&] { return TheApp().SetDefaultDB(xr::SafeText(database)); });
}

int DBExec(const char* sql) {
    return Shielded(0, AsLastError{}, [&] { return TheApp().Exec(xr::SafeText(sql)); });
}

int DBBeginTrans() {
    return Shielded(0, AsLastError{}, [&] { return TheApp().BeginTrans(); });
}

int DBCommitTrans() {
    return Shielded(0, AsLastError{}, [&] { return TheApp().CommitTrans(); });
}

int DBRollbackTrans() {
    return Shielded(0, AsLastError{}, [&] { return TheApp().RollbackTrans(); });
}

void DBSetServer(int version) {
    Shielded(AsLastError{}, [&] { xr::SetServerDataFolder(version); });
}

int DBSetupPassword(int32_t) { return 0; }

int DBRemoveMyConnection() {
    return Shielded(0, AsLastError{}, [&] { return TheApp().RemoveMyConnection(); });
}

DBLogFn DBSetLog(DBLogFn sink) {
    xr::g_dbLog.store(sink);
    return sink;
}

void DBGetError(int& code, std::string& text) {
    Shielded(AsLastError{}, [&] { TheApp().GetLastError(code, text); });
}

int DBIsNew() { return TheApp().m_isNew.load(); }

void DBRelease() {}

// ---- CUseConnection ----------------------------------------------------------

CUseConnection::CUseConnection(const char* server) : m_pushed(0), m_ok(0) {
    Shielded(AsLastError{}, [&] {
        xr::CXRDB5App& app = TheApp();
        std::string_view name = xr::SafeText(server);
        xr::CDBConn* current = app.GetConnection(0, nullptr);
        // Already on that server (an empty name: on the connection string's own).
        if (current && xr::IEquals(current->m_server, name)) {
            m_ok = current->m_connected;
            return;
        }
        if (xr::CDBConn* pushed = app.PushConnection(server)) {
            m_pushed = 1;
            m_ok = pushed->m_connected;
        }
    });
}

CUseConnection::~CUseConnection() { Pop(); }

CUseConnection& CUseConnection::operator=(const CUseConnection& other) {
    m_pushed = other.m_pushed;
    m_ok = other.m_ok;
    return *this;
}

int CUseConnection::IsConnOK() { return m_ok; }

void CUseConnection::Pop() {
    Shielded(AsLastError{}, [&] {
        if (m_pushed) {
            TheApp().PopConnection();
            m_pushed = 0;
        }
        TheApp().ClearLastErrorCode();
    });
}
