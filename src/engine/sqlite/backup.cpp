#include "engine/sqlite/backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "engine/sqlite/functions.h"
#include "engine/sqlite/server.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

// Pages copied per step of SQLite's backup: large enough that the steps
// cost nothing, small enough that progress moves on a large file.
constexpr int kStepPages = 2048;
// SQLite attaches at most ten files to a connection.
constexpr size_t kFilesPerConnection = 10;
// How long a backup or a restore waits for a file another session holds.
constexpr auto kQuietWait = std::chrono::seconds(120);
// How long the backup waits for a moment when no writer holds any file: an
// import in one long transaction holds its files until it commits.
constexpr auto kLockWait = std::chrono::minutes(15);

[[noreturn]] void Fail(const std::string& text) { throw ComError(E_FAIL_, text); }

// A file as a URI, so that flags (mode=rw, immutable) can go with it.
std::string FileUri(const std::string& path, const char* query) {
    std::error_code ec;
    std::string full = std::filesystem::absolute(path, ec).string();
    if (ec) full = path;
    std::string uri = "file:";
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : full) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri + "?" + query;
}

class Handle {
public:
    Handle() = default;
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : m_db(o.m_db) { o.m_db = nullptr; }

    // Opens `target` (a path or a URI); throws with `what` naming it.
    void Open(const std::string& target, int flags, const std::string& what) {
        int rc = sqlite3_open_v2(target.c_str(), &m_db, flags | SQLITE_OPEN_URI, nullptr);
        if (rc != SQLITE_OK) {
            std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
            Close();
            Fail(what + " cannot be opened: " + why);
        }
        sqlite3_extended_result_codes(m_db, 1);
    }
    void Close() {
        if (m_db) sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3* Db() const { return m_db; }
    std::string Error() const { return sqlite3_errmsg(m_db); }

    int TryExec(const std::string& sql) {
        return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    void Exec(const std::string& sql, const std::string& what) {
        if (TryExec(sql) != SQLITE_OK) Fail(what + ": " + Error());
    }
    // The first column of the first row of a statement as a number.
    int64_t Number(const std::string& sql, const std::string& what) {
        sqlite3_stmt* st = nullptr;
        int64_t value = 0;
        int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) value = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(what + ": " + Error());
        return value;
    }

private:
    sqlite3* m_db = nullptr;
};

bool IsBusy(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

// Forces a written file to the disk: the copies are written without
// syncing each step, and made durable once at the end.
void SyncFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) Fail("the file '" + path + "' cannot be opened to flush it");
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) Fail("the file '" + path + "' cannot be flushed to the disk");
}

// Copies the open schema `schema` of `source` into `dest` (main) step by
// step; `done` counts the pages copied so far of `total`.
void CopyPages(sqlite3* dest, sqlite3* source, const std::string& schema, const std::string& what,
               uint64_t& done, uint64_t total, const BackupProgress& progress) {
    sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, schema.c_str());
    if (!backup) Fail(what + ": " + sqlite3_errmsg(dest));
    const uint64_t start = done;
    const auto deadline = std::chrono::steady_clock::now() + kQuietWait;
    int rc;
    while ((rc = sqlite3_backup_step(backup, kStepPages)) == SQLITE_OK || IsBusy(rc)) {
        if (IsBusy(rc)) {
            // Held by a session beyond the busy timeout: wait on, within reason.
            if (std::chrono::steady_clock::now() > deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const int count = sqlite3_backup_pagecount(backup);
        const int remaining = sqlite3_backup_remaining(backup);
        done = start + static_cast<uint64_t>(std::max(0, count - remaining));
        if (progress) progress(std::min(done, total), total);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        Fail(what + ": " +
             (IsBusy(rc) ? std::string("the database stayed in use by another session")
                         : std::string(sqlite3_errstr(rc))));
    }
}

// A database's file and what SQLite keeps beside it: nothing of an earlier
// file of the name may be read as the log of a new one.
void RemoveDatabaseFile(const std::string& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    std::filesystem::remove(file + "-wal", ec);
    std::filesystem::remove(file + "-shm", ec);
    std::filesystem::remove(file + "-journal", ec);
}

// Up to ten files of the server attached to one connection as f0..f9.
struct FileGroup {
    Handle locker;  // takes the write locks of every file for a moment
    Handle reader;  // holds one read snapshot of every file while copying
    std::vector<std::string> databases;
};

void AttachAll(Handle& h, const std::string& folder, const std::vector<std::string>& databases) {
    h.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, "a connection");
    for (size_t i = 0; i < databases.size(); ++i) {
        const std::string file = DatabaseFile(folder, databases[i]);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(h.Db(), "ATTACH DATABASE ?1 AS ?2", -1, &st, nullptr);
        const std::string uri = FileUri(file, "mode=rw");
        const std::string schema = "f" + std::to_string(i);
        sqlite3_bind_text(st, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            Fail("the database file '" + file + "' cannot be opened: " + h.Error());
    }
}

// Whether SQLite cannot read a file as a database at all (its header or
// schema damaged): such a file is replaced rather than written into.
bool Unreadable(const std::string& file) {
    Handle h;
    try {
        h.Open(FileUri(file, "mode=ro"), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, "the file");
    } catch (const ComError&) {
        return true;
    }
    sqlite3_busy_timeout(h.Db(), 30000);
    const int rc = h.TryExec("SELECT count(*) FROM sqlite_schema") & 0xff;
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

// Restores the database `source` holds into the file `target` (made when
// it is not there) in one transaction of its own: a session that has the
// file open sees the old database or the restored one. SQLITE_DONE, or the
// failure's code with `why`.
int RestoreFile(const std::string& target, sqlite3* source, int& pages, std::string& why) {
    std::error_code ec;
    if (!std::filesystem::exists(target, ec)) RemoveDatabaseFile(target);
    Handle dest;
    try {
        dest.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                  "the file");
    } catch (const ComError& e) {
        why = e.Description();
        return SQLITE_CANTOPEN;
    }
    sqlite3_busy_timeout(dest.Db(), 30000);
    sqlite3_backup* backup = sqlite3_backup_init(dest.Db(), "main", source, "main");
    if (!backup) {
        why = dest.Error();
        return sqlite3_errcode(dest.Db());
    }
    int rc;
    const auto deadline = std::chrono::steady_clock::now() + kQuietWait;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_OK ||
           (IsBusy(rc) && std::chrono::steady_clock::now() < deadline)) {
        if (IsBusy(rc)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pages = sqlite3_backup_pagecount(backup);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        why = IsBusy(rc) ? std::string("another session kept it in use")
                         : std::string(sqlite3_errstr(rc));
        return rc & 0xff;
    }
    // The engine keeps every database in write-ahead-log mode.
    if (dest.TryExec("PRAGMA journal_mode=WAL") != SQLITE_OK) {
        why = dest.Error();
        return SQLITE_ERROR;
    }
    return SQLITE_DONE;
}

}  // namespace

std::vector<std::string> FolderDatabases(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() < 4 || name.substr(name.size() - 3) != ".db") continue;
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        std::string db = name.substr(0, name.size() - 3);
        if (db != ToUpper(db)) continue;
        names.push_back(db);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        if ((a == "MASTER") != (b == "MASTER")) return a == "MASTER";
        return a < b;
    });
    return names;
}

// One instant across files. Every database is its own SQLite file in
// write-ahead-log mode, and a transaction that writes several of them (a
// till's sale, an import) commits them one file after the other: a reader
// that opened its snapshot of each file on its own could see the sale in one
// database and not yet in the other. But such a transaction holds the write
// lock of every file it writes until all of them are committed (sessions
// begin with BEGIN IMMEDIATE, which takes the write lock of every attached
// file at once). So:
//   1. a locking connection takes the write lock of every file (BEGIN
//      IMMEDIATE over all of them, never waiting while it holds some: when a
//      file is busy it lets go of all and tries again in a moment, so that it
//      cannot deadlock with a session taking the same locks in another order);
//   2. with no writer in the middle of a commit anywhere, the copying
//      connection opens a read snapshot of every file;
//   3. the locking connection lets go. Tills waited only for steps 1-3, a
//      few milliseconds; from now on they write into the log while the
//      snapshots, which the log keeps for their readers, are copied page by
//      page through SQLite's backup interface.
// More than ten files take several pairs of connections, all locked
// together.
std::vector<std::string> BackupServer(const ConnectionString& cs, const std::string& destFolder,
                                      const BackupProgress& progress) {
    const std::string folder = ServerFolder(cs);
    const std::vector<std::string> databases = FolderDatabases(folder);
    if (databases.empty()) Fail("there are no database files in '" + folder + "'");

    std::vector<FileGroup> groups;
    for (size_t i = 0; i < databases.size(); i += kFilesPerConnection) {
        FileGroup& g = groups.emplace_back();
        g.databases.assign(databases.begin() + static_cast<std::ptrdiff_t>(i),
                           databases.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                   databases.size(), i + kFilesPerConnection)));
        AttachAll(g.locker, folder, g.databases);
        AttachAll(g.reader, folder, g.databases);
        sqlite3_busy_timeout(g.locker.Db(), 0);
        sqlite3_busy_timeout(g.reader.Db(), 30000);
    }

    // 1. Every write lock at once.
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        size_t taken = 0;
        int rc = SQLITE_OK;
        for (; taken < groups.size(); ++taken) {
            rc = groups[taken].locker.TryExec("BEGIN IMMEDIATE");
            if (rc != SQLITE_OK) break;
        }
        if (taken == groups.size()) break;
        for (size_t i = 0; i <= taken && i < groups.size(); ++i) {
            if (!sqlite3_get_autocommit(groups[i].locker.Db()))
                groups[i].locker.TryExec("ROLLBACK");
        }
        if (!IsBusy(rc)) {
            Fail("the databases of '" + folder +
                 "' cannot be locked: " + groups[taken].locker.Error());
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Fail("the databases of '" + folder +
                 "' were never all free of writers at the same moment for 15 minutes");
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(1000));
    }

    // 2. A read snapshot of every file, and its size in pages.
    uint64_t total = 0;
    std::vector<std::vector<uint64_t>> pages(groups.size());
    try {
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            FileGroup& g = groups[gi];
            g.reader.Exec("BEGIN", "the backup cannot begin");
            for (size_t i = 0; i < g.databases.size(); ++i) {
                const std::string schema = "f" + std::to_string(i);
                const std::string what =
                    "the database file '" + DatabaseFile(folder, g.databases[i]) + "'";
                g.reader.Number("SELECT count(*) FROM " + schema + ".sqlite_schema",
                                what + " cannot be read");
                const auto n = static_cast<uint64_t>(
                    g.reader.Number("PRAGMA " + schema + ".page_count", what + " cannot be read"));
                pages[gi].push_back(n);
                total += n;
            }
        }
    } catch (...) {
        for (FileGroup& g : groups) g.locker.TryExec("ROLLBACK");
        throw;
    }
    // 3. The tills go on.
    for (FileGroup& g : groups) g.locker.TryExec("ROLLBACK");
    if (progress) progress(0, total);

    uint64_t done = 0;
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        FileGroup& g = groups[gi];
        for (size_t i = 0; i < g.databases.size(); ++i) {
            const std::string target = DatabaseFile(destFolder, g.databases[i]);
            std::error_code ec;
            if (std::filesystem::exists(target, ec)) Fail("'" + target + "' is there already");
            const std::string what = "the copy '" + target + "' cannot be written";
            {
                Handle dest;
                dest.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                          "the copy '" + target + "'");
                // A copy that does not reach its end is never used (the
                // backup's list of files is written last), so it is written
                // without a journal or a sync per step, then synced once.
                dest.Exec("PRAGMA journal_mode=OFF", what);
                dest.Exec("PRAGMA synchronous=OFF", what);
                const uint64_t before = done;
                CopyPages(dest.Db(), g.reader.Db(), "f" + std::to_string(i), what, done, total,
                          progress);
                done = before + pages[gi][i];
                // A copy stands alone: one file, no write-ahead log beside it.
                dest.Exec("PRAGMA journal_mode=DELETE", what);
            }
            SyncFile(target);
        }
        g.reader.TryExec("COMMIT");
    }
    if (progress) progress(total, total);
    return databases;
}

std::string CheckCopy(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return "is missing";
    Handle h;
    try {
        // immutable: no lock, no log, nothing written beside the copy.
        h.Open(FileUri(file, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
               "the file");
    } catch (const ComError& e) {
        return e.Description();
    }
    RegisterSqlFunctions(h.Db());  // the indexes are ordered by the library's collation
    sqlite3_stmt* st = nullptr;
    std::string fault;
    int rc = sqlite3_prepare_v2(h.Db(), "PRAGMA quick_check(5)", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            std::string line = t ? reinterpret_cast<const char*>(t) : "";
            if (line != "ok") fault += (fault.empty() ? "" : "; ") + line;
        }
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ROW && fault.empty()) fault = h.Error();
    sqlite3_finalize(st);
    if (!fault.empty()) return "is damaged: " + fault;
    return {};
}

void RestoreServer(const ConnectionString& cs,
                   const std::vector<std::pair<std::string, std::string>>& copies,
                   const BackupProgress& progress) {
    const std::string folder = ServerFolder(cs);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) Fail("the folder '" + folder + "' cannot be made: " + ec.message());

    std::vector<Handle> sources;
    uint64_t total = 0;
    for (const auto& [database, file] : copies) {
        Handle& h = sources.emplace_back();
        h.Open(FileUri(file, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
               "the backup's file '" + file + "'");
        total += static_cast<uint64_t>(
            h.Number("PRAGMA page_count", "the backup's file '" + file + "' cannot be read"));
    }
    if (progress) progress(0, total);
    uint64_t done = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        const std::string target = DatabaseFile(folder, copies[i].first);
        const std::string what = "the database file '" + target + "' cannot be restored";
        int pagesCopied = 0;
        std::string why;
        int rc = RestoreFile(target, sources[i].Db(), pagesCopied, why);
        if ((rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) && Unreadable(target)) {
            // The file in the folder is damaged past SQLite's reading it (a
            // forced restore is how such a folder is mended): it goes, and
            // the database is restored into a new file of its name.
            RemoveDatabaseFile(target);
            rc = RestoreFile(target, sources[i].Db(), pagesCopied, why);
        }
        if (rc != SQLITE_DONE) Fail(what + ": " + why);
        done += static_cast<uint64_t>(std::max(0, pagesCopied));
        if (progress) progress(std::min(done, total), total);
    }
    if (progress) progress(total, total);
}

}  // namespace xr::engine::sqlite
