#include "backup_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/connection_string.h"
#include "engine/postgres/pg_backup.h"
#include "engine/sqlite/backup.h"
#include "engine/sqlite/server.h"
#include "frame/app.h"
#include "platform/error.h"
#include "platform/text.h"
#include "progress.h"

namespace xrdb8tool {

namespace {

namespace fs = std::filesystem;
namespace pg = xr::engine::postgres;
namespace lite = xr::engine::sqlite;

constexpr const char* kManifest = "xrdb8-backup.txt";
constexpr const char* kFormat = "xrdb8 backup\t1";
constexpr const char* kSqlite = "sqlite";
constexpr const char* kPostgres = "postgresql";
constexpr const char* kScript = "server.sql";

[[noreturn]] void Fail(const std::string& text) { throw std::runtime_error(text); }

// A file's size and a checksum of its bytes, so that a restore tells a
// truncated or altered copy from the one the backup wrote.
struct FileMark {
    uint64_t size = 0;
    std::string sum;  // 16 hex digits
};

FileMark Mark(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("the file '" + path + "' cannot be read");
    std::vector<char> buffer(1 << 20);
    uint64_t h = 0xcbf29ce484222325ull;
    FileMark mark;
    for (;;) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<size_t>(in.gcount());
        if (n == 0) break;
        mark.size += n;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, buffer.data() + i, 8);
            h = (h ^ w) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        }
        for (; i < n; ++i) h = (h ^ static_cast<unsigned char>(buffer[i])) * 0x100000001b3ull;
        if (n < buffer.size()) break;
    }
    if (in.bad()) Fail("the file '" + path + "' cannot be read");
    h ^= mark.size;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    mark.sum = text;
    return mark;
}

void SyncPath(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// The backup's list of what it holds: one tab-separated record a line.
struct Manifest {
    std::string engine, library, time, source;
    std::vector<std::string> databases;
    std::map<std::string, FileMark> files;  // file name in the folder -> its mark
    std::vector<pg::PgLoginRole> roles;
    std::string serverVersion;
    int dumpMajor = 0;
};

std::string Field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

void WriteManifest(const std::string& folder, const Manifest& m) {
    std::ostringstream text;
    text << kFormat << "\n";
    text << "engine\t" << m.engine << "\n";
    text << "library\t" << Field(m.library) << "\n";
    text << "time\t" << m.time << "\n";
    text << "source\t" << Field(m.source) << "\n";
    if (!m.serverVersion.empty()) text << "server\t" << m.serverVersion << "\n";
    if (m.dumpMajor) text << "dump\t" << m.dumpMajor << "\n";
    for (const std::string& db : m.databases) text << "database\t" << Field(db) << "\n";
    for (const auto& [name, mark] : m.files)
        text << "file\t" << name << "\t" << mark.size << "\t" << mark.sum << "\n";
    for (const auto& role : m.roles)
        text << "role\t" << Field(role.name) << "\t" << Field(role.verifier) << "\n";
    text << "end\n";
    const std::string path = (fs::path(folder) / kManifest).string();
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary);
        out << text.str();
        if (!out.flush()) Fail("the file '" + part + "' cannot be written");
    }
    SyncPath(part);
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) Fail("the file '" + path + "' cannot be written: " + ec.message());
    SyncPath(folder);
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

Manifest ReadManifest(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Fail("'" + folder + "' is not a backup folder");
    const std::string path = (fs::path(folder) / kManifest).string();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("'" + folder + "' is not a complete backup: it has no list of its files (" +
             kManifest + ")");
    }
    auto bad = [&](const std::string& why) -> void {
        Fail("the backup's list '" + path + "' is damaged (" + why + "); nothing was restored");
    };
    Manifest m;
    std::string line;
    if (!std::getline(in, line) || line != kFormat) bad("it is not a list of an xrdb8 backup");
    bool ended = false;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = Split(line);
        if (f[0] == "end" && f.size() == 1) {
            ended = true;
            break;
        }
        if (f.size() < 2) bad("a line without a value");
        if (f[0] == "engine") {
            m.engine = f[1];
        } else if (f[0] == "library") {
            m.library = f[1];
        } else if (f[0] == "time") {
            m.time = f[1];
        } else if (f[0] == "source") {
            m.source = f[1];
        } else if (f[0] == "server") {
            m.serverVersion = f[1];
        } else if (f[0] == "dump") {
            m.dumpMajor = std::atoi(f[1].c_str());
        } else if (f[0] == "database") {
            m.databases.push_back(f[1]);
        } else if (f[0] == "file" && f.size() == 4) {
            if (f[1].find('/') != std::string::npos || f[1] == "." || f[1] == "..")
                bad("a file outside the folder");
            FileMark mark;
            try {
                mark.size = std::stoull(f[2]);
            } catch (const std::exception&) {
                bad("a file's size is not a number");
            }
            mark.sum = f[3];
            m.files[f[1]] = mark;
        } else if (f[0] == "role" && f.size() == 3) {
            m.roles.push_back({f[1], f[2]});
        }
        // A record of a later version is passed over.
    }
    if (!ended) bad("it ends too soon");
    if (m.engine != kSqlite && m.engine != kPostgres) bad("no engine it knows: '" + m.engine + "'");
    if (m.databases.empty()) bad("no databases");
    return m;
}

std::string EngineText(const std::string& engine) {
    return engine == kSqlite ? "the embedded engine's data folder" : "a PostgreSQL server";
}

std::string Bytes(uint64_t n) {
    char text[32];
    if (n >= 10ull << 20)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(n) / (1 << 20));
    else
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(n) / 1024);
    return text;
}

// The destination of a backup: missing (made) or an empty folder; true when
// it was made here.
bool PrepareDestination(const std::string& dest) {
    std::error_code ec;
    if (fs::exists(dest, ec)) {
        if (!fs::is_directory(dest, ec))
            Fail("'" + dest + "' is there already: a backup goes into a new or empty folder");
        if (!fs::is_empty(dest, ec))
            Fail("the folder '" + dest +
                 "' is not empty: a backup goes into a new or empty folder");
        return false;
    }
    fs::create_directories(dest, ec);
    if (ec) Fail("the folder '" + dest + "' cannot be made: " + ec.message());
    // A backup holds every row and the logins' password verifiers: for its
    // owner's eyes.
    fs::permissions(dest, fs::perms::owner_all, ec);
    return true;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size() && i < 8; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > 8) text += ", ...";
    return text;
}

template <typename Fn>
int Report(Fn&& fn) {
    try {
        fn();
        return 0;
    } catch (const xr::ComError& e) {
        std::cerr << "xrdb8: error: "
                  << Masked(e.Description().empty() ? e.ErrorMessage() : e.Description()) << "\n";
    } catch (const std::exception& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
    }
    return 1;
}

}  // namespace

void RunBackup(const Server& server, const std::string& dest, std::ostream& out,
               const xr::engine::BackupProgress& progress) {
    const auto cs = xr::engine::ConnectionString::Parse(server.ConnectString());
    if (server.IsFolder()) {
        // Refused before a destination is made: nothing to back up.
        const std::string folder = lite::ServerFolder(cs);
        if (lite::FolderDatabases(folder).empty())
            Fail("there are no databases in the data folder '" + folder + "'");
    }
    const bool made = PrepareDestination(dest);
    Manifest m;
    m.library = xr::TheApp().m_vers.m_version;
    m.source = server.Name();
    uint64_t bytes = 0;
    try {
        if (server.IsFolder()) {
            m.engine = kSqlite;
            m.time = Now();
            m.databases = lite::BackupServer(cs, dest, progress);
            for (const std::string& db : m.databases) {
                const std::string name = db + ".db";
                m.files[name] = Mark((fs::path(dest) / name).string());
            }
        } else {
            m.engine = kPostgres;
            m.time = Now();
            const std::string script = (fs::path(dest) / kScript).string();
            pg::PgBackupInfo info = pg::BackupServer(cs, script, progress);
            SyncPath(script);
            m.databases = info.databases;
            m.roles = info.roles;
            m.serverVersion = info.serverVersion;
            m.dumpMajor = info.dumpMajor;
            m.files[kScript] = Mark(script);
        }
        for (const auto& [name, mark] : m.files) bytes += mark.size;
        WriteManifest(dest, m);
    } catch (...) {
        // Nothing of a backup that failed stays: the folder was empty.
        std::error_code ec;
        if (made) {
            fs::remove_all(dest, ec);
        } else {
            for (fs::directory_iterator it(dest, ec), end; !ec && it != end; it.increment(ec))
                fs::remove_all(it->path(), ec);
        }
        throw;
    }
    out << "backup: " << m.databases.size() << " databases of " << server.Name() << " ("
        << Joined(m.databases) << ") written to " << dest << ", " << Bytes(bytes) << "\n";
}

void RunRestore(const Server& server, const std::string& source, bool force, std::ostream& out,
                const xr::engine::BackupProgress& progress) {
    const Manifest m = ReadManifest(source);
    const std::string wanted = server.IsFolder() ? kSqlite : kPostgres;
    if (m.engine != wanted) {
        Fail("'" + source + "' is a backup of " + EngineText(m.engine) +
             "; it cannot be restored into " + EngineText(wanted));
    }

    // The whole backup is checked before anything of the server is touched.
    auto damaged = [&](const std::string& file, const std::string& why) {
        Fail("the backup's file '" + file + "' " + why + "; nothing was restored");
    };
    for (const auto& [name, mark] : m.files) {
        const std::string path = (fs::path(source) / name).string();
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) damaged(path, "is missing");
        const FileMark now = Mark(path);
        if (now.size != mark.size) {
            damaged(path, "is " + std::to_string(now.size) + " bytes long where the backup wrote " +
                              std::to_string(mark.size) + " (cut short or altered)");
        }
        if (now.sum != mark.sum)
            damaged(path, "is damaged: its content is not what the backup wrote");
    }
    const auto cs = xr::engine::ConnectionString::Parse(server.ConnectString());
    if (server.IsFolder()) {
        std::vector<std::pair<std::string, std::string>> copies;
        for (const std::string& db : m.databases) {
            const std::string name = db + ".db";
            if (!m.files.count(name) || db.empty() || db.find('/') != std::string::npos ||
                db != xr::ToUpper(db))
                Fail("the backup's list in '" + source + "' is damaged (database " + db +
                     " has no file); nothing was restored");
            const std::string path = (fs::path(source) / name).string();
            if (std::string fault = lite::CheckCopy(path); !fault.empty()) damaged(path, fault);
            copies.emplace_back(db, path);
        }
        const std::string folder = lite::ServerFolder(cs);
        std::error_code ec;
        if (fs::exists(folder, ec) && fs::equivalent(folder, source, ec))
            Fail("'" + source + "' is the data folder itself: a backup is restored into another");
        const std::vector<std::string> live = lite::FolderDatabases(folder);
        if (!live.empty() && !force) {
            Fail("the data folder '" + folder + "' holds databases (" + Joined(live) +
                 "): restore replaces them only with --force");
        }
        lite::RestoreServer(cs, copies, progress);
        std::vector<std::string> kept;
        for (const std::string& db : live) {
            bool restored = false;
            for (const auto& c : copies) restored = restored || c.first == db;
            if (!restored) kept.push_back(db);
        }
        out << "restore: " << copies.size() << " databases (" << Joined(m.databases)
            << ") restored into " << folder << " from the backup of " << m.time << "\n";
        if (!kept.empty())
            out << "restore: kept " << Joined(kept) << ", which the backup does not hold\n";
        return;
    }
    if (!m.files.count(kScript))
        Fail("the backup's list in '" + source + "' is damaged (no " + kScript +
             "); nothing was restored");
    const std::string script = (fs::path(source) / kScript).string();
    {
        std::ifstream in(script, std::ios::binary);
        std::string head(64, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<size_t>(in.gcount()));
        if (head.find("PostgreSQL database dump") == std::string::npos)
            damaged(script, "is not a dump of a PostgreSQL database");
    }
    std::vector<std::string> live;
    if (pg::ServerHoldsDatabases(cs, &live) && !force) {
        Fail("the server " + server.Name() + " holds databases (" + Joined(live) +
             "): restore replaces them only with --force");
    }
    pg::RestoreServer(cs, script, m.roles, m.dumpMajor, force, progress);
    out << "restore: " << m.databases.size() << " databases (" << Joined(m.databases)
        << ") restored into " << server.Name() << " from the backup of " << m.time << "\n";
}

namespace {

// Runs `body` with the progress line as its callback; what it reports comes
// out once the line is gone.
template <typename Body>
void WithProgress(const char* label, Body&& body) {
    std::ostringstream out;
    {
        Progress progress(label);
        const xr::engine::BackupProgress hook = progress.Callback();
        body(hook, out);
    }
    std::cout << out.str();
}

}  // namespace

void AddBackupCommands(CLI::App& app, const Server& server, int& status) {
    auto* backup = app.add_subcommand(
        "backup",
        "Copy every database of the server into a new folder, all as at one instant, while "
        "tills keep working (with --connect: through PostgreSQL's pg_dump)");
    auto dest = std::make_shared<std::string>();
    backup->add_option("dest", *dest, "the folder to write (new, or empty)")->required();
    backup->callback([&server, &status, dest] {
        status = Report([&] { WithProgress("backup", [&](const auto& progress, auto& out) {
                                  RunBackup(server, *dest, out, progress);
                              }); });
    });

    auto* restore = app.add_subcommand(
        "restore",
        "Put a backup into an empty data folder or server; the whole backup is checked first "
        "(with --connect: through PostgreSQL's psql)");
    auto source = std::make_shared<std::string>();
    auto force = std::make_shared<bool>(false);
    restore->add_option("src", *source, "the backup's folder")->required();
    restore->add_flag("--force", *force,
                      "replace the databases of a data folder or server that holds some");
    restore->callback([&server, &status, source, force] {
        status = Report([&] { WithProgress("restore", [&](const auto& progress, auto& out) {
                                  RunRestore(server, *source, *force, out, progress);
                              }); });
    });
}

}  // namespace xrdb8tool
