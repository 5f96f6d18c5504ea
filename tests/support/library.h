// The one fixture of the library's tests: a fresh data folder per test, the
// library opened on it (empty, with a database of the test's own, or with
// the configuration database the set-up pass builds), the captured log, and
// plain-SQL looks at the stored rows through the thread's connection.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/connection.h"
#include "engine/connection_string.h"
#include "engine/postgres/pg_session.h"
#include "frame/app.h"
#include "frame/log.h"
#include "platform/text.h"
#include "platform/variant.h"
#include "temp_dir.h"
#include "text_has.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

// ---- the captured log ------------------------------------------------------

// Every line the library wrote since the test began (the text), and the
// format it was written with; worker threads log too, hence the lock.
inline std::mutex g_logMutex;
inline std::vector<std::string> g_log;
inline std::vector<std::string> g_logFormats;

// A printf-shaped sink, like a till program's.
inline void CaptureLog(const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_log.emplace_back(buffer);
    g_logFormats.emplace_back(format);
}

inline void ClearLog() {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_log.clear();
    g_logFormats.clear();
}

struct LogLine {
    std::string format;
    std::string text;
};

// Every captured line with the format it was written with.
inline std::vector<LogLine> Captured() {
    std::lock_guard<std::mutex> guard(g_logMutex);
    std::vector<LogLine> lines;
    for (size_t i = 0; i < g_log.size(); ++i) lines.push_back({g_logFormats[i], g_log[i]});
    return lines;
}

// The captured lines that begin with `text` (or, `anywhere`, that hold it).
inline std::vector<std::string> LinesStarting(const std::string& text, bool anywhere = false) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    std::vector<std::string> result;
    for (const auto& line : g_log) {
        const size_t at = line.find(text);
        if (at == 0 || (anywhere && at != std::string::npos)) result.push_back(line);
    }
    return result;
}
inline std::vector<std::string> LinesWith(const std::string& part) {
    return LinesStarting(part, true);
}

// ---- files -----------------------------------------------------------------

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// ---- the stored rows -------------------------------------------------------

// The rows `sql` gives on `conn`, each as "a|b|c" ("NULL" for a null), or
// one "<error> ..." line.
inline std::vector<std::string> Rows(xr::engine::Connection& conn, const std::string& sql,
                                     char separator = '|') {
    std::vector<std::string> result;
    try {
        auto rows = conn.Query(sql);
        while (rows && rows->Next()) {
            std::string line;
            for (size_t c = 0; c < rows->ColumnCount(); ++c) {
                if (c) line += separator;
                xr::Variant v = rows->Value(c);
                line += v.IsNull() ? "NULL" : v.ToText();
            }
            result.push_back(line);
        }
    } catch (const std::exception& e) {
        result.push_back(std::string("<error> ") + e.what());
    }
    return result;
}

// The same on the calling thread's connection.
inline std::vector<std::string> Rows(const std::string& sql, char separator = '|') {
    xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
    if (!conn) return {"<no connection>"};
    return Rows(*conn->m_pConn, sql, separator);
}

// The first row of `sql` (on `conn`, or the thread's connection), or "<no row>".
inline std::string Scalar(xr::engine::Connection& conn, const std::string& sql) {
    std::vector<std::string> rows = Rows(conn, sql);
    return rows.empty() ? "<no row>" : rows[0];
}
inline std::string Scalar(const std::string& sql) {
    std::vector<std::string> rows = Rows(sql);
    return rows.empty() ? "<no row>" : rows[0];
}

// The text of the error `sql` fails with on `conn`, "" when it runs.
inline std::string ErrorOf(xr::engine::Connection& conn, const std::string& sql) {
    try {
        conn.Execute(sql);
    } catch (const xr::ComError& e) {
        return e.Description().empty() ? "(no text)" : e.Description();
    }
    return "";
}

inline std::pair<int, std::string> LastError() {
    int code = 0;
    std::string text;
    DBGetError(code, text);
    return {code, text};
}
inline int LastErrorCode() { return LastError().first; }

// ---- servers ---------------------------------------------------------------

inline std::string ConnectString(const std::filesystem::path& folder) {
    return "Provider=sqlite;Data Source=" + folder.string() + ";Synchronous=OFF";
}

inline std::string ConnectString(const TempDir& dir) { return ConnectString(dir.Path()); }

// ---- engines ---------------------------------------------------------------

// The engines a test that touches a database runs on: a parameter of the
// test, never a copy of it.
enum class Engine { Sqlite, Postgres };

inline const char* EngineName(Engine e) { return e == Engine::Sqlite ? "sqlite" : "postgres"; }
inline void PrintTo(Engine e, std::ostream* out) { *out << EngineName(e); }

// The connection string of the PostgreSQL server the test command starts
// (scripts/test.sh exports it); empty when the tests run without one.
inline std::string PostgresServer() {
    const char* text = std::getenv("XRDB8_TEST_POSTGRES");
    return text ? text : "";
}

// The reason a PostgreSQL test skips when there is no server.
inline constexpr const char* kNoPostgres =
    "XRDB8_TEST_POSTGRES is not set: scripts/test.sh starts a PostgreSQL server for the run";

// A server of its own for one test: on the embedded engine a fresh folder,
// on PostgreSQL a fresh database of the test server (removed afterwards).
// Available() is false when the engine's server is missing (the test skips).
class TestServer {
public:
    explicit TestServer(Engine engine) : m_engine(engine) {
        if (engine == Engine::Sqlite) {
            m_connect = xrtest::ConnectString(m_dir.Path());
            return;
        }
        const std::string base = PostgresServer();
        if (base.empty()) return;
        static int counter = 0;
        m_connect = base + ";Initial Catalog=xrt_" + std::to_string(getpid()) + "_" +
                    std::to_string(++counter) + "_" +
                    m_dir.Path().filename().string().substr(sizeof("xrdb8-test-") - 1);
    }
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Available() const { return !m_connect.empty(); }
    Engine GetEngine() const { return m_engine; }
    const std::string& ConnectString() const { return m_connect; }
    const TempDir& Dir() const { return m_dir; }

private:
    Engine m_engine;
    TempDir m_dir;
    std::string m_connect;
};

namespace detail {

// Where this test binary keeps the server folder the set-up pass built, so
// that the test processes CTest starts one by one build it once between them:
// beside the binary, named after its modification time, so that a rebuilt
// library (whose set-up pass may differ) builds a new one.
inline std::filesystem::path TemplateCache() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const auto stamp = std::filesystem::last_write_time(exe, ec);
    if (ec) return {};
    return exe.parent_path() /
           ("server-template-" + std::to_string(stamp.time_since_epoch().count()));
}

// Publishes a built folder as the cache: copied under a name of this
// process's own, then renamed in one step, so that no process ever copies a
// half-written cache; the caches of earlier builds go.
inline void Publish(const std::filesystem::path& built, const std::filesystem::path& cache) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path staging = cache;
    staging += "." + std::to_string(getpid());
    fs::copy(built, staging, fs::copy_options::recursive, ec);
    if (!ec) fs::rename(staging, cache, ec);
    if (ec) fs::remove_all(staging, ec);
    for (const auto& entry : fs::directory_iterator(cache.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("server-template-", 0) == 0 && entry.path() != cache &&
            name.find('.') == std::string::npos) {
            fs::remove_all(entry.path(), ec);
        }
    }
}

}  // namespace detail

// A server folder whose configuration database the set-up pass built: a test
// starts from a copy of its files, far quicker than running the pass again.
// Null when the pass failed.
inline const std::filesystem::path* ConfiguredServer() {
    static TempDir scratch;  // removed when the process ends
    static const std::filesystem::path source = [] {
        namespace fs = std::filesystem;
        const fs::path cache = detail::TemplateCache();
        std::error_code ec;
        if (!cache.empty() && fs::is_directory(cache, ec)) return cache;
        const fs::path built = scratch.Path() / "server";
        fs::create_directory(built, ec);
        setenv("XRDB8_DATA", built.c_str(), 1);
        const bool ok = DBOpen(ConnectString(built).c_str(), "LORIMDB81") == 1 && DBSetupDB1() == 1;
        DBClose();
        if (!ok) return fs::path();
        if (!cache.empty()) detail::Publish(built, cache);
        return built;
    }();
    return source.empty() ? nullptr : &source;
}

namespace detail {

inline std::string ServerNamed(const std::string& database) {
    return PostgresServer() + ";Initial Catalog=" + database;
}

// The set-up pass run on a new server of the PostgreSQL test server: the
// server's connection string, or "" when the pass failed.
inline std::string BuildPostgresSite(const std::string& database) {
    static TempDir scratch;
    const std::string connect = ServerNamed(database);
    xr::engine::postgres::DropServer(xr::engine::ConnectionString::Parse(connect));
    setenv("XRDB8_DATA", scratch.Str().c_str(), 1);
    const bool ok = DBOpen(connect.c_str(), "LORIMDB81") == 1 && DBSetupDB1() == 1;
    DBClose();
    return ok ? connect : "";
}

}  // namespace detail

// Makes the PostgreSQL server `connect` names a copy of the one whose
// configuration database the set-up pass built. The built server is kept on
// the test server under the name of this binary's build, so that the test
// processes CTest starts one by one build it once between them; a copy is
// the server's own copy of its files (CREATE DATABASE ... TEMPLATE).
inline bool CopyConfiguredPostgresServer(const std::string& connect, std::string* why) {
    using xr::engine::ConnectionString;
    namespace pg = xr::engine::postgres;
    const std::string stamp = detail::TemplateCache().filename().string();
    const std::string shared =
        "xrt_site_" + stamp.substr(stamp.rfind('-') + 1);  // "server-template-<time>"
    static std::string site = detail::ServerNamed(shared);
    const auto copy = ConnectionString::Parse(connect);
    if (pg::CopyServer(ConnectionString::Parse(site), copy, why)) return true;
    // Not built yet (or built by another process meanwhile): build one of
    // this process's own, then publish it under the shared name in one step.
    const std::string own = shared + "_" + std::to_string(getpid());
    const std::string built = detail::BuildPostgresSite(own);
    if (built.empty()) {
        if (why) *why = "the set-up pass failed on PostgreSQL";
        return false;
    }
    if (pg::CopyServer(ConnectionString::Parse(built), ConnectionString::Parse(site)))
        pg::DropServer(ConnectionString::Parse(built));
    else
        site = built;  // another process's publishing won the name meanwhile
    return pg::CopyServer(ConnectionString::Parse(site), copy, why);
}

// The running test's engine: its parameter when it is a test of every engine.
inline Engine TestEngine() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info && info->value_param() ? ::testing::TestWithParam<Engine>::GetParam()
                                       : Engine::Sqlite;
}

// How a test finds its server when it starts.
enum class Start {
    Closed,      // nothing open: the test connects itself
    Server,      // connected, no database chosen
    Database,    // connected, in a new empty database of the test's naming
    Configured,  // connected to LORIMDB81 as the set-up pass leaves it
};

// The fixture of the tests through the library's exports. A TEST_F runs on
// the embedded engine; a TEST_P instantiated with XRTEST_ON_EVERY_ENGINE runs
// once per engine: on PostgreSQL the test's server is a database of the test
// server of its own (its folder still holds the test's files).
class LibraryTest : public ::testing::TestWithParam<Engine> {
protected:
    explicit LibraryTest(Start start = Start::Server, std::string database = "")
        : m_server(TestEngine()), m_start(start), m_database(std::move(database)) {}

    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << kNoPostgres;
        // Nothing may fall back to a data folder outside the test's own.
        ClearLog();
        DBSetLog(&CaptureLog);
        if (m_start == Start::Configured) {
            if (GetEngine() == Engine::Postgres) {
                std::string why;
                ASSERT_TRUE(CopyConfiguredPostgresServer(ConnectString(), &why)) << why;
            } else {
                const std::filesystem::path* source = ConfiguredServer();
                ASSERT_NE(source, nullptr) << "the set-up pass failed";
                std::filesystem::copy(*source, m_dir.Path(),
                                      std::filesystem::copy_options::recursive |
                                          std::filesystem::copy_options::overwrite_existing);
            }
            ClearLog();
        }
        setenv("XRDB8_DATA", m_dir.Str().c_str(), 1);
        switch (m_start) {
            case Start::Closed:
                break;
            case Start::Server:
                ASSERT_EQ(DBOpen(ConnectString().c_str(), m_database.c_str()), 1);
                break;
            case Start::Database:
                ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
                ASSERT_EQ(DBExec(("CREATE DATABASE " + m_database).c_str()), 1);
                ASSERT_EQ(DBSetDefaultDB(m_database.c_str()), 1);
                break;
            case Start::Configured:
                ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
                break;
        }
    }

    void TearDown() override {
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    Engine GetEngine() const { return m_server.GetEngine(); }
    bool OnPostgres() const { return GetEngine() == Engine::Postgres; }
    // The test's server: its folder on the embedded engine, its own database
    // of the test server on PostgreSQL.
    std::string ConnectString() const { return m_server.ConnectString(); }
    std::string Folder() const { return m_dir.Str(); }
    std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }

    static void Exec(const std::string& sql) { ASSERT_EQ(DBExec(sql.c_str()), 1) << sql; }

    // The looks at the stored rows, reachable from tests outside xrtest.
    static std::vector<std::string> Rows(const std::string& sql, char separator = '|') {
        return xrtest::Rows(sql, separator);
    }
    static std::string Scalar(const std::string& sql) { return xrtest::Scalar(sql); }
    static std::pair<int, std::string> LastError() { return xrtest::LastError(); }
    static int LastErrorCode() { return xrtest::LastErrorCode(); }

private:
    TestServer m_server;  // removed after the test's last statement

protected:
    const TempDir& m_dir = m_server.Dir();  // the test's files

private:
    Start m_start;
    std::string m_database;
};

// Tests over a copy of the configuration database the set-up pass builds: the
// tables the tills use, which no test can disturb for another.
class ConfigTest : public LibraryTest {
protected:
    ConfigTest() : LibraryTest(Start::Configured) {}
};

// The tests below the library's exports: an engine connection of their own
// on a server of their own, on the embedded engine for a TEST_F, once per
// engine for a TEST_P instantiated with XRTEST_ON_EVERY_ENGINE. A subclass's
// SetUp calls this one first and returns when the test skipped.
class AnyEngineTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (!m_server.Available()) GTEST_SKIP() << kNoPostgres;
    }
    Engine GetEngine() const { return m_server.GetEngine(); }
    const std::string& ConnectString() const { return m_server.ConnectString(); }
    std::vector<std::string> Rows(const std::string& sql) { return xrtest::Rows(m_conn, sql); }
    std::string Scalar(const std::string& sql) { return xrtest::Scalar(m_conn, sql); }

    TestServer m_server{TestEngine()};  // outlives the connection
    const TempDir& m_dir = m_server.Dir();
    xr::engine::Connection m_conn;
};

#define XRTEST_ON_EVERY_ENGINE(Suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                      \
                             ::testing::Values(xrtest::Engine::Sqlite, xrtest::Engine::Postgres), \
                             [](const auto& info) { return xrtest::EngineName(info.param); })

inline TestServer::~TestServer() {
    if (m_engine == Engine::Postgres && Available())
        xr::engine::postgres::DropServer(xr::engine::ConnectionString::Parse(m_connect));
}

}  // namespace xrtest
