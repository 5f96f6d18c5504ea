#include "engine/postgres/pg_backup.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "platform/error.h"
#include "platform/text.h"

extern char** environ;

namespace xr::engine::postgres {

namespace {

constexpr const char* kLoginMark = "xrdb8 login";  // as pg_logins.cpp marks its roles

[[noreturn]] void Fail(const std::string& text) { throw ComError(E_FAIL_, text); }

// The schemas PostgreSQL itself keeps in every database.
constexpr const char* kOwnSchemas =
    "n.nspname NOT LIKE 'pg\\_%' AND n.nspname NOT IN ('information_schema', 'public')";

// A program of PostgreSQL's client: in $XRDB8_PG_BIN when that is set, else
// on PATH. Empty when there is none.
std::string FindProgram(const std::string& name) {
    auto runnable = [](const std::filesystem::path& p) {
        return ::access(p.c_str(), X_OK) == 0 && !std::filesystem::is_directory(p);
    };
    if (const char* bin = std::getenv("XRDB8_PG_BIN"); bin && *bin) {
        const auto p = std::filesystem::path(bin) / name;
        return runnable(p) ? p.string() : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && runnable(std::filesystem::path(dir) / name))
            return (std::filesystem::path(dir) / name).string();
        start = end + 1;
    }
    return {};
}

std::string NeedProgram(const std::string& name, const std::string& task) {
    std::string found = FindProgram(name);
    if (found.empty()) {
        Fail(task + " needs PostgreSQL's program " + name +
             ", which is not installed here (none on PATH" +
             (std::getenv("XRDB8_PG_BIN") ? std::string(" nor in $XRDB8_PG_BIN") : "") +
             "): install PostgreSQL's client programs, or set XRDB8_PG_BIN to their folder");
    }
    return found;
}

struct Outcome {
    int status = -1;                 // exit status; -1 when it did not exit
    std::vector<std::string> lines;  // what it wrote on stdout and stderr
};

// Runs a program to its end with the password in its environment alone
// (never on its command line, which other users can list); `onLine` sees
// each line it writes as it comes.
Outcome Run(const std::vector<std::string>& args, const std::string& password,
            const std::function<void(const std::string&)>& onLine = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("PGPASSWORD=", 0) != 0) env.emplace_back(*e);
    if (!password.empty()) env.push_back("PGPASSWORD=" + password);
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe(fds) != 0) Fail("cannot run " + args[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    Outcome out;
    if (rc != 0) {
        ::close(fds[0]);
        Fail("cannot run " + args[0] + ": " +
             std::error_code(rc, std::generic_category()).message());
    }
    std::string pending;
    char buffer[4096];
    ssize_t n;
    auto take = [&](std::string line) {
        if (onLine) onLine(line);
        out.lines.push_back(std::move(line));
        if (out.lines.size() > 400) out.lines.erase(out.lines.begin(), out.lines.begin() + 200);
    };
    while ((n = ::read(fds[0], buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t at; (at = pending.find('\n')) != std::string::npos;) {
            take(pending.substr(0, at));
            pending.erase(0, at + 1);
        }
    }
    if (!pending.empty()) take(pending);
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// What a failed program said: its error lines, else its last lines.
std::string Said(const Outcome& o) {
    std::string text;
    for (const std::string& line : o.lines) {
        if (line.find("error") == std::string::npos && line.find("ERROR") == std::string::npos &&
            line.find("FATAL") == std::string::npos && line.find("DETAIL") == std::string::npos &&
            line.find("detail:") == std::string::npos)
            continue;
        if (!text.empty()) text += " ";
        text += std::string(Trim(line));
        if (text.size() > 600) break;
    }
    if (text.empty()) {
        for (size_t i = o.lines.size() > 3 ? o.lines.size() - 3 : 0; i < o.lines.size(); ++i)
            text += (text.empty() ? "" : " ") + std::string(Trim(o.lines[i]));
    }
    if (text.empty()) text = "exit status " + std::to_string(o.status);
    return MaskPasswords(text, MaskAs::kMessage);
}

// The major version a program reports ("psql (PostgreSQL) 15.4 ...": 15).
int MajorVersion(const std::string& program) {
    const Outcome o = Run({program, "--version"}, "");
    for (const std::string& line : o.lines) {
        const size_t at = line.find("(PostgreSQL) ");
        if (at == std::string::npos) continue;
        return std::atoi(line.c_str() + at + 13);
    }
    Fail("cannot tell the version of " + program + ": " + Said(o));
}

// A value of a libpq connection string.
std::string ConnValue(const char* value) {
    std::string quoted = "'";
    for (const char* c = value; *c; ++c) {
        if (*c == '\'' || *c == '\\') quoted += '\\';
        quoted += *c;
    }
    return quoted + "'";
}

// How the programs reach the server the link reached (the password apart).
std::string ChildConnInfo(PGconn* conn) {
    std::string info;
    auto add = [&](const char* key, const char* value) {
        if (value && *value)
            info += std::string(info.empty() ? "" : " ") + key + "=" + ConnValue(value);
    };
    add("host", PQhost(conn));
    add("port", PQport(conn));
    add("dbname", PQdb(conn));
    add("user", PQuser(conn));
    add("application_name", "xrdb8");
    return info;
}

std::string Password(PGconn* conn) {
    const char* pw = PQpass(conn);
    return pw ? pw : "";
}

std::vector<std::string> OwnSchemas(PgLink& link) {
    std::vector<std::string> names;
    for (const auto& row : link.Select(std::string("SELECT n.nspname FROM pg_catalog.pg_namespace "
                                                   "n WHERE ") +
                                       kOwnSchemas + " ORDER BY 1"))
        names.push_back(row[0]);
    return names;
}

std::string TempFile(const std::string& stem) {
    std::random_device rd;
    return (std::filesystem::temp_directory_path() /
            (stem + "-" + std::to_string(getpid()) + "-" + std::to_string(rd()) + ".sql"))
        .string();
}

}  // namespace

PgBackupInfo BackupServer(const ConnectionString& cs, const std::string& scriptFile,
                          const BackupProgress& progress) {
    const std::string pgDump = NeedProgram("pg_dump", "Backing up a PostgreSQL server");
    PgLink link(cs, false);
    PgBackupInfo info;
    const int serverVersion = PQserverVersion(link.Handle());
    info.serverVersion = link.ServerVersion();
    info.dumpMajor = MajorVersion(pgDump);
    if (info.dumpMajor < serverVersion / 10000) {
        Fail(pgDump + " is of PostgreSQL " + std::to_string(info.dumpMajor) +
             " and cannot read this server, which runs PostgreSQL " + info.serverVersion +
             ": install the client programs of version " + std::to_string(serverVersion / 10000) +
             " or later, or set XRDB8_PG_BIN to their folder");
    }
    for (const std::string& schema : OwnSchemas(link))
        if (schema != "xr") info.databases.push_back(schema == "main" ? "master" : schema);
    if (info.databases.empty()) Fail("the server holds no databases: there is nothing to back up");
    for (const auto& row :
         link.Select("SELECT r.rolname FROM pg_catalog.pg_roles r JOIN pg_catalog.pg_shdescription "
                     "d ON d.objoid = r.oid AND d.classoid = 'pg_catalog.pg_authid'::regclass "
                     "WHERE d.description = $1 ORDER BY 1",
                     {kLoginMark})) {
        PgLoginRole role{row[0], {}};
        // Readable by a superuser only; without it the role comes back
        // without a password, to be set again.
        try {
            auto pw = link.Select(
                "SELECT coalesce(rolpassword, '') FROM pg_catalog.pg_authid WHERE rolname = $1",
                {role.name});
            if (!pw.empty()) role.verifier = pw[0][0];
        } catch (const ComError&) {
        }
        info.roles.push_back(std::move(role));
    }
    const auto tables = static_cast<uint64_t>(std::stoll(
        link.Select(std::string("SELECT count(*) FROM pg_catalog.pg_class c JOIN "
                                "pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE "
                                "c.relkind IN ('r', 'p') AND ") +
                    kOwnSchemas)[0][0]));
    if (progress) progress(0, tables);

    // pg_dump reads the whole database in one REPEATABLE READ transaction:
    // one snapshot, one instant, while the tills go on writing. Owners are
    // left out (the restoring login owns what it makes); grants stay.
    uint64_t dumped = 0;
    const Outcome o = Run({pgDump, "--dbname=" + ChildConnInfo(link.Handle()),
                           "--file=" + scriptFile, "--format=plain", "--no-owner", "--verbose"},
                          Password(link.Handle()), [&](const std::string& line) {
                              if (line.find("dumping contents of table") == std::string::npos)
                                  return;
                              ++dumped;
                              if (progress) progress(std::min(dumped, tables), tables);
                          });
    if (o.status != 0) Fail("pg_dump failed: " + Said(o));
    if (progress) progress(tables, tables);
    return info;
}

bool ServerHoldsDatabases(const ConnectionString& cs, std::vector<std::string>* names) {
    PgLink link(cs, true);
    std::vector<std::string> schemas = OwnSchemas(link);
    if (names) {
        names->clear();
        for (const std::string& schema : schemas)
            if (schema != "xr") names->push_back(schema == "main" ? "master" : schema);
    }
    return !schemas.empty();
}

void RestoreServer(const ConnectionString& cs, const std::string& scriptFile,
                   const std::vector<PgLoginRole>& roles, int dumpMajor, bool replace,
                   const BackupProgress& progress) {
    const std::string psql = NeedProgram("psql", "Restoring a PostgreSQL server");
    if (const int major = MajorVersion(psql); major < dumpMajor) {
        Fail(psql + " is of PostgreSQL " + std::to_string(major) +
             " and cannot run a backup written by pg_dump " + std::to_string(dumpMajor) +
             ": install the client programs of version " + std::to_string(dumpMajor) +
             " or later, or set XRDB8_PG_BIN to their folder");
    }
    PgLink link(cs, true);
    const std::vector<std::string> existing = OwnSchemas(link);
    if (!existing.empty() && !replace)
        Fail("the server holds databases already: a restore replaces them only when forced");
    if (progress) progress(0, 1);

    // What runs first in the restore's transaction: the server's schemas
    // gone (forced), the login roles the backup's grants name made.
    std::string prelude = "SET client_min_messages = warning;\n";
    for (const std::string& schema : existing)
        prelude += "DROP SCHEMA IF EXISTS " + Quote(schema) + " CASCADE;\n";
    for (const PgLoginRole& role : roles) {
        if (!link.Select("SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1", {role.name})
                 .empty())
            continue;
        prelude +=
            "CREATE ROLE " + Quote(role.name) + " LOGIN" +
            (role.verifier.empty() ? std::string() : " PASSWORD " + QuoteText(role.verifier)) +
            ";\nCOMMENT ON ROLE " + Quote(role.name) + " IS " + QuoteText(kLoginMark) + ";\n";
    }
    // Sessions open on a replaced server hold its catalog as of its schema
    // mark: the restored mark is set past it, so that they read it again.
    std::string postlude = "SELECT 1;\n";
    if (!existing.empty()) {
        std::string mark = "0";
        try {
            auto rows = link.Select("SELECT max(v) FROM xr.ddl");
            if (!rows.empty() && !rows[0][0].empty() &&
                rows[0][0].find_first_not_of("-0123456789") == std::string::npos)
                mark = rows[0][0];
        } catch (const ComError&) {
        }
        postlude =
            "DO $$ BEGIN IF pg_catalog.to_regclass('xr.ddl') IS NOT NULL THEN "
            "UPDATE xr.ddl SET v = GREATEST(v, " +
            mark + "::bigint) + 1; END IF; END $$;\n";
    }
    const std::string preludeFile = TempFile("xrdb8-restore");
    const std::string postludeFile = preludeFile + ".end.sql";
    auto write = [](const std::string& file, const std::string& text) {
        // Readable by this user alone: it may hold the roles' verifiers.
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        const bool written =
            fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0) ::close(fd);
        if (!written) Fail("cannot write the file '" + file + "'");
    };
    auto removeFiles = [&] {
        std::error_code ec;
        std::filesystem::remove(preludeFile, ec);
        std::filesystem::remove(postludeFile, ec);
    };
    // One transaction around the prelude, the whole script and the mark,
    // stopping at the first error: the server has all of the backup or none
    // of it.
    Outcome o;
    try {
        write(preludeFile, prelude);
        write(postludeFile, postlude);
        o = Run({psql, "--dbname=" + ChildConnInfo(link.Handle()), "--no-psqlrc", "--quiet",
                 "--single-transaction", "--set=ON_ERROR_STOP=1", "--output=/dev/null",
                 "--file=" + preludeFile, "--file=" + scriptFile, "--file=" + postludeFile},
                Password(link.Handle()));
    } catch (...) {
        removeFiles();
        throw;
    }
    removeFiles();
    if (o.status != 0) Fail("the restore was undone: psql failed: " + Said(o));
    if (progress) progress(1, 1);
}

}  // namespace xr::engine::postgres
