// The bodies of xrdb8 script, exec, import-csv, import-xml and colours. Each
// connects to the server in the data folder (database LORIMDB81), shows how
// far it has got on stderr while it runs (only on a terminal), and ends with a
// summary of what it did; a failure is one "xrdb8: error:" line and exit
// status 1.
#include "interchange_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "data_folder.h"
#include "interchange/colour_file.h"
#include "interchange/import_report.h"
#include "interchange/script_runner.h"
#include "platform/error.h"
#include "platform/text.h"
#include "progress.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

namespace {

// The last line the library logged while a command ran: the reason of an
// export that gives only 0.
std::string g_lastLogLine;

void KeepLastLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_lastLogLine = xr::VFormat(format, args);
    va_end(args);
}

// Connects for the command's lifetime and keeps the library's log lines.
class Session {
public:
    Session() : m_previous(DBSetLog(&KeepLastLine)) { g_lastLogLine.clear(); }
    ~Session() {
        if (m_connected) DBClose();
        DBSetLog(m_previous);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Connect(const Server& server, std::ostream& err) {
        if (OpenDataFolder(server)) {
            m_connected = true;
            return true;
        }
        err << "xrdb8: error: cannot connect to the server " << (server.IsFolder() ? "in " : "at ")
            << server.Name() << ": " << LastErrorText() << "\n";
        return false;
    }

private:
    DBLogFn m_previous;
    bool m_connected = false;
};

// The size of the file a command reads, for its percentage; 0 when unknown.
uint64_t FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

// How often the library's loops report: each report costs a look at the
// clock, and the line is redrawn at most ten times a second anyway.
constexpr long kReportEvery = 64;

bool Readable(const std::string& path, std::ostream& err) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        err << "xrdb8: error: " << path << " is a folder, not a file\n";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        err << "xrdb8: error: cannot open " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    std::fclose(f);
    return true;
}

// Checks that `path` can be appended to (or created), without changing it.
bool Appendable(const std::string& path, std::ostream& err) {
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) {
        err << "xrdb8: error: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    std::fclose(f);
    if (!existed) std::filesystem::remove(path, ec);
    return true;
}

// A plain table object over any table, for scripting whole tables.
class AnyTable : public CXRTable {
public:
    explicit AnyTable(const std::string& name) { m_name = name; }
};

void PrintSkipped(const std::vector<xr::interchange::SkippedLine>& lines, long total,
                  const char* what, std::ostream& out) {
    if (lines.empty()) return;
    out << "  first " << what << "s not used:\n";
    for (const auto& s : lines)
        out << "    " << what << " " << s.number << ": " << s.reason << ": " << s.text << "\n";
    if (total > static_cast<long>(lines.size()))
        out << "    ... and " << (total - static_cast<long>(lines.size())) << " more\n";
}

}  // namespace

// ---- script -------------------------------------------------------------------

int RunScript(const Server& server, const std::vector<std::string>& tables,
              const std::string& outPath, bool append, bool identityInsert, std::ostream& out,
              std::ostream& err) {
    Session session;
    if (!session.Connect(server, err)) return 1;
    // Names go into statements as they stand: only plain table names.
    for (const std::string& name : tables) {
        const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
        });
        if (!plain) {
            err << "xrdb8: error: " << name << " is not a table name\n";
            return 1;
        }
    }
    // Every table must be readable before the script is touched: a script
    // that empties a table it then cannot fill must not be written.
    for (const std::string& name : tables) {
        AnyTable table(name);
        if (!table.OpenRS(("SELECT * FROM " + name).c_str())) {
            err << "xrdb8: error: cannot read table " << name << ": " << LastErrorText() << "\n";
            return 1;
        }
    }
    std::FILE* f = std::fopen(outPath.c_str(), append ? "a" : "w");
    if (!f) {
        err << "xrdb8: error: cannot write " << outPath << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(f, &std::fclose);
    long totalRows = 0;
    for (const std::string& name : tables) {
        AnyTable table(name);
        const long count = table.Count();
        Progress progress("script " + name, Units::Things, "rows");
        std::fprintf(f, "-->TABLE: %s\nDELETE FROM %s\n--->GO\n", name.c_str(), name.c_str());
        if (identityInsert) std::fprintf(f, "SET IDENTITY_INSERT %s ON\n--->GO\n", name.c_str());
        long rows = 0;
        progress(0, count > 0 ? static_cast<uint64_t>(count) : 0);
        const std::string sql = "SELECT * FROM " + name;
        for (int onRow = table.MoveFirst(sql.c_str()); onRow; onRow = table.MoveNext()) {
            if (!table.AAScriptRecord(f, 1, 1)) {
                progress.Clear();
                err << "xrdb8: error: table " << name << ", row " << rows + 1
                    << " cannot be scripted: " << LastErrorText() << "\n";
                return 1;
            }
            if (++rows % kReportEvery == 0)
                progress(static_cast<uint64_t>(rows), count > 0 ? static_cast<uint64_t>(count) : 0);
        }
        if (identityInsert) std::fprintf(f, "SET IDENTITY_INSERT %s OFF\n--->GO\n", name.c_str());
        progress.Clear();
        out << name << ": " << rows << " rows\n";
        totalRows += rows;
    }
    if (std::fflush(f) != 0 || std::ferror(f)) {
        err << "xrdb8: error: writing " << outPath << " failed\n";
        return 1;
    }
    out << "script " << outPath << ": " << tables.size() << " tables, " << totalRows << " rows\n";
    return 0;
}

// ---- exec -----------------------------------------------------------------------

int RunExec(const Server& server, const std::string& path, std::ostream& out, std::ostream& err) {
    if (!Readable(path, err)) return 1;
    Session session;
    if (!session.Connect(server, err)) return 1;
    xr::RunStats stats;
    const uint64_t size = FileSize(path);
    Progress progress("exec", Units::Bytes);
    progress(0, size);
    stats.progressEvery = kReportEvery / 4;  // a batch is at least one statement
    stats.progress = [&](long) {
        if (stats.position >= 0) progress(static_cast<uint64_t>(stats.position), size);
    };
    const int result = xr::ExecSQLFile(path.c_str(), &stats);
    progress.Clear();
    if (!result) {
        err << "xrdb8: error: " << path << " could not be read to its end\n";
        return 1;
    }
    out << "exec " << path << ": " << stats.batches << " batches run, "
        << (stats.batches - stats.failed) << " succeeded, " << stats.failed << " failed ("
        << (stats.format == xr::ScriptFormat::Go ? "GO" : "--->GO") << " separators)\n";
    if (!stats.firstFailures.empty()) {
        out << "  first failures:\n";
        for (const std::string& f : stats.firstFailures) out << "    " << f << "\n";
        if (stats.failed > static_cast<long>(stats.firstFailures.size()))
            out << "    ... and " << (stats.failed - static_cast<long>(stats.firstFailures.size()))
                << " more\n";
    }
    return stats.failed ? 1 : 0;
}

// ---- import-csv -------------------------------------------------------------------

namespace {

std::unique_ptr<CXRTable> CsvTable(const std::string& kind, bool allBands) {
    if (kind == "products") {
        auto product = std::make_unique<CProduct>();
        product->SetAllPriceBands(allBands ? 1 : 0);
        return product;
    }
    if (kind == "barcodes") return std::make_unique<CBarc>();
    if (kind == "depts") return std::make_unique<CDept>();
    if (kind == "groups") return std::make_unique<CGroup>();
    if (kind == "servers") return std::make_unique<CServer>();
    if (kind == "tables") return std::make_unique<CTable>();
    return nullptr;
}

}  // namespace

const std::vector<std::string>& CsvKinds() {
    static const std::vector<std::string> kinds = {"products", "barcodes", "depts",
                                                   "groups",   "servers",  "tables"};
    return kinds;
}

int RunImportCsv(const Server& server, const std::string& kind, const std::string& path,
                 bool replace, const std::string& scriptPath, bool allBands, std::ostream& out,
                 std::ostream& err) {
    std::unique_ptr<CXRTable> table = CsvTable(kind, allBands);
    if (!table) {
        err << "xrdb8: error: unknown kind " << kind
            << " (products, barcodes, depts, groups, servers or tables)\n";
        return 1;
    }
    if (allBands && kind != "products") {
        err << "xrdb8: error: --all-bands applies to products only\n";
        return 1;
    }
    if (!Readable(path, err)) return 1;
    if (!scriptPath.empty() && !Appendable(scriptPath, err)) return 1;
    Session session;
    if (!session.Connect(server, err)) return 1;

    xr::interchange::ImportReport report;
    const uint64_t size = FileSize(path);
    Progress progress("import-csv " + kind, Units::Bytes);
    report.progressEvery = kReportEvery;
    report.progress = [&](long) {
        if (report.position >= 0) progress(static_cast<uint64_t>(report.position), size);
    };
    int result = 0;
    // Emptying the table and filling it again commit together: until then
    // the tills read the old rows, and an import stopped halfway (killed, a
    // full disk) leaves them as they were.
    if (replace && !DBBeginTrans()) {
        err << "xrdb8: error: cannot begin the import: " << LastErrorText() << "\n";
        return 1;
    }
    {
        xr::interchange::ReportScope scope(&report);
        progress(0, size);
        result = table->ImportCSV(path.c_str(), scriptPath.empty() ? nullptr : scriptPath.c_str(),
                                  replace ? 1 : 0);
    }
    progress.Clear();
    if (replace && !DBCommitTrans()) {
        const std::string why = LastErrorText();
        DBRollbackTrans();
        err << "xrdb8: error: " << path << " was not imported, table " << table->m_name
            << " is as it was: " << why << "\n";
        return 1;
    }
    if (!result && report.lines == 0) {
        err << "xrdb8: error: " << path << " could not be imported\n";
        return 1;
    }
    out << "import-csv " << kind << " " << path << ": " << report.lines << " lines\n"
        << "  added: " << report.added << "\n"
        << "  changed: " << report.changed << "\n"
        << "  deleted: " << report.deleted << "\n"
        << "  skipped: " << report.skipped << "\n"
        << "  failed: " << report.failed << "\n";
    if (replace) out << "  table " << table->m_name << " was emptied first\n";
    PrintSkipped(report.firstSkipped, report.skipped + report.failed, "line", out);
    if (!scriptPath.empty()) out << "  changes scripted to " << scriptPath << "\n";
    return (result && report.failed == 0) ? 0 : 1;
}

// ---- import-xml -------------------------------------------------------------------

int RunImportXml(const Server& server, const std::string& path, const std::string& record,
                 bool hasRecord, std::ostream& out, std::ostream& err) {
    if (!Readable(path, err)) return 1;
    Session session;
    if (!session.Connect(server, err)) return 1;
    xr::interchange::ImportReport report;
    const uint64_t size = FileSize(path);
    Progress progress("import-xml", Units::Bytes);
    progress(0, size);
    report.progressEvery = kReportEvery;
    report.progress = [&](long) {
        if (report.position >= 0) progress(static_cast<uint64_t>(report.position), size);
    };
    int result = 0;
    {
        xr::interchange::ReportScope scope(&report);
        g_lastLogLine.clear();
        result = CXRTable::XmlLoadFile(path.c_str(), hasRecord ? record.c_str() : nullptr);
    }
    progress.Clear();
    if (!result) {
        err << "xrdb8: error: " << path << " was not loaded";
        if (!g_lastLogLine.empty()) err << ": " << g_lastLogLine;
        err << "\n";
        return 1;
    }
    out << "import-xml " << path << ": " << report.lines << " elements\n"
        << "  products added: " << report.added << "\n"
        << "  products changed: " << report.changed << "\n"
        << "  products failed: " << report.failed << "\n"
        << "  other elements passed over: " << report.skipped << "\n";
    PrintSkipped(report.firstSkipped, report.skipped + report.failed, "element", out);
    return report.failed ? 1 : 0;
}

// ---- colours ------------------------------------------------------------------------

int RunColours(const Server& server, const std::string& direction, const std::string& path,
               std::ostream& out, std::ostream& err) {
    if (direction != "export" && direction != "import") {
        err << "xrdb8: error: colours takes export or import, not " << direction << "\n";
        return 1;
    }
    if (direction == "import" && !Readable(path, err)) return 1;
    Session session;
    if (!session.Connect(server, err)) return 1;
    xr::interchange::ColourReport report;
    if (direction == "export") {
        AnyTable palette("SysValues");
        if (palette.Count("SELECT * FROM SysValues WHERE FieldName='Colour'") <= 0) {
            err << "xrdb8: error: the database holds no palette (no SysValues rows named "
                   "Colour); nothing written\n";
            return 1;
        }
        if (!xr::interchange::ColoursToFile(path.c_str(), &report)) {
            err << "xrdb8: error: cannot write " << path << "\n";
            return 1;
        }
        out << "colours export " << path << ": " << report.colours << " colours written";
        if (report.missing) out << ", " << report.missing << " missing colours written as 0";
        out << "\n";
        return 0;
    }
    if (!xr::interchange::ColoursFromFile(path.c_str(), &report)) {
        err << "xrdb8: error: cannot open " << path << "\n";
        return 1;
    }
    out << "colours import " << path << ": " << report.colours << " colours stored, "
        << report.comments << " comment lines\n";
    if (report.ignored)
        out << "  " << report.ignored << " lines after the 64th colour were not read\n";
    if (!report.garbage.empty()) {
        out << "  lines that are not a colour (eight hexadecimal digits):\n";
        for (const std::string& g : report.garbage) out << "    " << g << "\n";
    }
    return 0;
}

}  // namespace xrdb8tool
