#include "engine/sqlite/check.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/sqlite/backup.h"
#include "engine/sqlite/functions.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

// At most this many faults are listed per file; the rest are counted.
constexpr size_t kMaxFaults = 20;

const char* const kCatalogTables[] = {"xr_meta",    "xr_defaults",     "xr_indexes",
                                      "xr_users",   "xr_role_members", "sysobjects",
                                      "syscolumns", "sysconstraints"};

bool IsCatalogTable(std::string_view name) {
    for (const char* t : kCatalogTables)
        if (IEquals(name, t)) return true;
    return false;
}

bool IsReserved(std::string_view name) {
    return IsCatalogTable(name) || (name.size() >= 3 && IEquals(name.substr(0, 3), "xr_")) ||
           (name.size() >= 7 && IEquals(name.substr(0, 7), "sqlite_"));
}

class Handle {
public:
    explicit Handle(const std::string& file) {
        m_rc = sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                               nullptr);
        if (m_rc == SQLITE_OK) {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_timeout(m_db, 30000);
        }
    }
    ~Handle() { sqlite3_close_v2(m_db); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool Opened() const { return m_rc == SQLITE_OK; }
    sqlite3* Db() const { return m_db; }
    std::string Error() const { return m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_rc); }

    // Rows of a statement as texts; false (with the error) when it fails.
    bool Rows(const std::string& sql, std::vector<std::vector<std::string>>& out,
              std::string& error) const {
        out.clear();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            error = Error();
            sqlite3_finalize(st);
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
            }
            out.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) error = Error();
        sqlite3_finalize(st);
        return rc == SQLITE_DONE;
    }

private:
    sqlite3* m_db = nullptr;
    int m_rc = SQLITE_OK;
};

std::string Quote(std::string_view name) {
    std::string q = "\"";
    for (char c : name) {
        q += c;
        if (c == '"') q += '"';
    }
    return q + "\"";
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

// The catalog against the tables: every table the catalog lists is there with
// the columns it lists, in order; every table is listed.
void CheckCatalog(const Handle& h, std::vector<std::string>& faults) {
    std::vector<std::vector<std::string>> rows;
    std::string error;
    if (!h.Rows("SELECT type, name FROM sqlite_schema WHERE type IN ('table', 'index')", rows,
                error)) {
        faults.push_back("the schema cannot be read: " + error);
        return;
    }
    std::vector<std::string> tables, catalog, indexes;
    for (const auto& r : rows) {
        if (r[0] == "index") {
            indexes.push_back(r[1]);
        } else if (IsCatalogTable(r[1])) {
            catalog.push_back(r[1]);
        } else if (!IsReserved(r[1])) {
            tables.push_back(r[1]);
        }
    }
    if (catalog.empty()) {
        if (!tables.empty())
            faults.push_back("the library's catalog is missing; tables: " + Joined(tables));
        return;
    }
    std::vector<std::string> missing;
    for (const char* t : kCatalogTables) {
        bool found = std::find(catalog.begin(), catalog.end(), t) != catalog.end();
        if (!found) missing.emplace_back(t);
    }
    if (!missing.empty()) {
        faults.push_back("the library's catalog is incomplete: no table " + Joined(missing));
        return;
    }
    std::vector<std::vector<std::string>> objects;
    if (!h.Rows("SELECT id, name FROM sysobjects WHERE xtype = 'U' ORDER BY name", objects,
                error)) {
        faults.push_back("sysobjects cannot be read: " + error);
        return;
    }
    for (const auto& o : objects) {
        const std::string& id = o[0];
        const std::string& name = o[1];
        auto real = std::find_if(tables.begin(), tables.end(),
                                 [&](const std::string& t) { return IEquals(t, name); });
        if (real == tables.end()) {
            faults.push_back("table " + name + " is in the catalog but not in the file");
            continue;
        }
        std::vector<std::vector<std::string>> listed, stored;
        if (!h.Rows("SELECT name FROM syscolumns WHERE id = " + id + " ORDER BY colid", listed,
                    error) ||
            !h.Rows("PRAGMA table_info(" + Quote(*real) + ")", stored, error)) {
            faults.push_back("table " + name + ": columns cannot be read: " + error);
            continue;
        }
        std::vector<std::string> a, b;
        for (const auto& r : listed) a.push_back(r[0]);
        for (const auto& r : stored) b.push_back(r[1]);
        bool same = a.size() == b.size();
        for (size_t i = 0; same && i < a.size(); ++i) same = IEquals(a[i], b[i]);
        if (!same) {
            faults.push_back("table " + name + ": the catalog lists the columns (" + Joined(a) +
                             ") but the table has (" + Joined(b) + ")");
        }
    }
    for (const std::string& t : tables) {
        bool listed = std::any_of(objects.begin(), objects.end(),
                                  [&](const auto& o) { return IEquals(o[1], t); });
        if (!listed) faults.push_back("table " + t + " is not in the catalog");
    }
    std::vector<std::vector<std::string>> keys;
    if (!h.Rows("SELECT i.name, i.storage_name, o.name FROM xr_indexes i JOIN sysobjects o ON "
                "o.id = i.table_id WHERE i.is_pk <> 1",
                keys, error)) {
        faults.push_back("xr_indexes cannot be read: " + error);
        return;
    }
    for (const auto& k : keys) {
        bool found = std::any_of(indexes.begin(), indexes.end(),
                                 [&](const std::string& i) { return IEquals(i, k[1]); });
        if (!found) faults.push_back("index " + k[0] + " of table " + k[2] + " is not in the file");
    }
}

void CheckFile(const std::string& file, CheckDepth depth, std::vector<std::string>& faults) {
    Handle h(file);
    if (!h.Opened()) {
        faults.push_back("cannot be opened: " + h.Error());
        return;
    }
    try {
        RegisterSqlFunctions(h.Db());  // the indexes are ordered by the library's collation
    } catch (const ComError& e) {
        faults.push_back("cannot be checked: " + e.Description());
        return;
    }
    std::vector<std::vector<std::string>> rows;
    std::string error;
    if (!h.Rows("SELECT count(*) FROM sqlite_schema", rows, error)) {
        faults.push_back("is damaged: " + error);
        return;
    }
    if (depth == CheckDepth::Opens) return;
    const char* pragma =
        depth == CheckDepth::Integrity ? "PRAGMA integrity_check(100)" : "PRAGMA quick_check(100)";
    if (!h.Rows(pragma, rows, error)) {
        faults.push_back("is damaged: " + error);
        return;
    }
    for (const auto& r : rows)
        if (r.empty() || r[0] != "ok") faults.push_back("is damaged: " + (r.empty() ? "" : r[0]));
    if (!faults.empty()) return;
    CheckCatalog(h, faults);
}

}  // namespace

std::vector<FileCheck> CheckServerFiles(const std::string& folder, CheckDepth depth) {
    const std::vector<std::string> names = FolderDatabases(folder);
    std::vector<FileCheck> result;
    for (const std::string& db : names) {
        FileCheck check;
        check.file = folder + "/" + db + ".db";
        CheckFile(check.file, depth, check.faults);
        if (check.faults.size() > kMaxFaults) {
            size_t more = check.faults.size() - kMaxFaults;
            check.faults.resize(kMaxFaults);
            check.faults.push_back("and " + std::to_string(more) + " more");
        }
        result.push_back(std::move(check));
    }
    return result;
}

}  // namespace xr::engine::sqlite
