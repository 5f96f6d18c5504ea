// Connections and statements: the exports a till or back-office program calls
// to connect, run statements and transactions on its thread's connection, and
// read the last error; and CUseConnection, which points the calling thread at
// another server for as long as it lives.
//
// Every integer result is 1 for success and 0 for failure unless stated. A null
// text pointer counts as empty text. No export throws.
//
// Threads: each thread works on its own connection, opened on first use with
// the connection string of the last DBConnect/DBOpen. Connect before starting
// other threads, and call DBClose only when no other thread uses the library.
// The last error and the log sink are process-wide.
#pragma once

#include <cstdint>
#include <string>

#include "xrdb8/export.h"

// The log sink: printf-shaped. Lines carry no newline of their own except the
// table error line.
typedef void (*DBLogFn)(const char* format, ...);

// Stores the connection string (with ";User Id=user" and ";Password=pwd;"
// appended when given) and opens the calling thread's connection; a non-empty
// database becomes its default database. A thread that is already connected
// keeps its connection; the new string applies to connections opened later.
XRDB8_EXPORT int DBConnect(const char* connect, const char* user, const char* password,
                           const char* database);
// DBConnect with empty user and password.
XRDB8_EXPORT int DBOpen(const char* connect, const char* database);
// Closes every thread's connection. The next operation on any thread opens a
// new one with the last connection string.
XRDB8_EXPORT int DBClose();
// Makes `database` the default database of the calling thread's connection.
XRDB8_EXPORT int DBSetDefaultDB(const char* database);
// Runs a statement batch on the calling thread's connection.
XRDB8_EXPORT int DBExec(const char* sql);
XRDB8_EXPORT int DBBeginTrans();
XRDB8_EXPORT int DBCommitTrans();
XRDB8_EXPORT int DBRollbackTrans();
// Picks the server's data folder for new database files: 7 and 2000 name a
// folder, any other version leaves it as it is.
XRDB8_EXPORT void DBSetServer(int version);
// Kept for old callers: ignores its argument and returns 0.
XRDB8_EXPORT int DBSetupPassword(int32_t value);
// Closes the calling thread's connection: 1 when it had one, else 0.
XRDB8_EXPORT int DBRemoveMyConnection();
// Installs the log sink (null switches logging off) and returns it.
XRDB8_EXPORT DBLogFn DBSetLog(DBLogFn sink);
// The code and description of the last error reported on any thread.
XRDB8_EXPORT void DBGetError(int& code, std::string& text);
// 1 when the last database set-up created a new database.
XRDB8_EXPORT int DBIsNew();
// Does nothing; kept for old callers.
XRDB8_EXPORT void DBRelease();

// Points the calling thread at the server `server` while the object lives: a
// connection to that server is pushed over the thread's current one, unless
// the current one already goes there (a null or empty name: the connection
// string's own server). Destruction (or Pop) restores the previous connection
// and clears the last error code. Keep it on the stack of the thread that made it.
class XRDB8_API CUseConnection {
public:
    CUseConnection(const char* server);
    ~CUseConnection();
    CUseConnection(const CUseConnection&) = default;
    // Copies both members, as the till programs expect.
    CUseConnection& operator=(const CUseConnection& other);

    // 1 when the thread's connection to the server is open.
    int IsConnOK();
    // Restores the previous connection now; the destructor then does nothing more.
    void Pop();

private:
    int m_pushed;  // 1: this object pushed a connection that Pop must remove
    int m_ok;
};
