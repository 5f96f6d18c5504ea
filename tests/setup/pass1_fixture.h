// The pass 1 tests connect naming LORIMDB81 and see the outcome of every
// step as the pass observer saw it, and the table shapes read straight from
// the database file with SQLite.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

#include "library.h"
#include "platform/text.h"
#include "setup/pass.h"
#include "setup/pass1.h"

namespace xrtest {

// A step as the observer saw it.
struct StepSeen {
    std::string sql;
    std::string label;
    std::string error;
    bool conversion = false;
    xr::setup::Outcome outcome = xr::setup::Outcome::Done;
};

// One column as SQLite keeps it: declared type, NOT NULL, default text.
struct ColumnShape {
    std::string name;
    std::string type;
    bool notNull = false;
    std::string defaultText;  // "" when none
};

class Pass1Test : public LibraryTest {
protected:
    Pass1Test() : LibraryTest(Start::Closed) {}

    void SetUp() override {
        LibraryTest::SetUp();
        xr::TheApp().m_isNew = 0;
        xr::setup::SetPassObserver([this](const xr::setup::StepResult& r, size_t, size_t total) {
            m_seen.push_back({r.step->sql, r.step->label, r.error, bool(r.step->conversion),
                              xr::setup::OutcomeOf(r)});
            m_total = total;
        });
        ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
    }
    void TearDown() override {
        xr::setup::SetPassObserver({});
        LibraryTest::TearDown();
    }

    // Runs pass 1 and forgets the steps seen before.
    int SetupDB1() {
        m_seen.clear();
        return DBSetupDB1();
    }

    // The configuration database made by hand, as an older release left it.
    void MakeDatabase() {
        ASSERT_EQ(DBExec("CREATE DATABASE LORIMDB81"), 1);
        ASSERT_EQ(DBSetDefaultDB("LORIMDB81"), 1);
    }

    // The statements pass 1 runs for `table`, numbered from 1 as they are run.
    static std::vector<std::string> StatementsOf(const std::string& table) {
        std::vector<std::string> result;
        for (const xr::setup::Step& step : xr::setup::Pass1Steps())
            if (step.label == table && !step.conversion) result.push_back(step.sql);
        return result;
    }

    // Runs statements `first`..`last` (numbered as StatementsOf) of `table`:
    // the shape an older release gave it.
    static void RunStatements(const std::string& table, int first, int last) {
        const std::vector<std::string> sql = StatementsOf(table);
        ASSERT_LE(last, static_cast<int>(sql.size()));
        for (int i = first; i <= last; ++i) Exec(sql[static_cast<size_t>(i - 1)]);
    }

    std::vector<StepSeen> With(xr::setup::Outcome outcome) const {
        std::vector<StepSeen> result;
        for (const StepSeen& s : m_seen)
            if (s.outcome == outcome) result.push_back(s);
        return result;
    }

    // The configuration database file as SQLite sees it (read only).
    class File {
    public:
        explicit File(const TempDir& dir) {
            sqlite3_open_v2((dir.Path() / "LORIMDB81.db").string().c_str(), &m_db,
                            SQLITE_OPEN_READONLY, nullptr);
            sqlite3_busy_timeout(m_db, 2000);
        }
        ~File() { sqlite3_close(m_db); }
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        // Rows of a query on the file, each as "a|b|c" (or with `separator`).
        std::vector<std::string> Query(const std::string& sql, const char* separator = "|") {
            std::vector<std::string> result;
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
                return {std::string("<error> ") + sqlite3_errmsg(m_db)};
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::string line;
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    if (c) line += separator;
                    const unsigned char* text = sqlite3_column_text(stmt, c);
                    line += text ? reinterpret_cast<const char*>(text) : "NULL";
                }
                result.push_back(line);
            }
            sqlite3_finalize(stmt);
            return result;
        }

        // The user tables (not the engine's own nor the catalog views).
        std::vector<std::string> Tables() {
            return Query(
                "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'xr\\_%' "
                "ESCAPE '\\' AND name NOT IN ('sysobjects', 'syscolumns', 'sysconstraints') "
                "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                "ORDER BY name");
        }

        std::vector<ColumnShape> Columns(const std::string& table) {
            std::vector<ColumnShape> result;
            for (const std::string& row :
                 Query("SELECT name, type, \"notnull\", coalesce(dflt_value, '') FROM "
                       "pragma_table_info('" +
                           table + "')",
                       kSeparator)) {
                std::vector<std::string> f = Split(row);
                if (f.size() == 4) result.push_back({f[0], f[1], f[2] == "1", f[3]});
            }
            return result;
        }

        // "Name U (a,b)" or "Name (a)" per index of `table`, sorted.
        std::vector<std::string> Indexes(const std::string& table) {
            std::vector<std::string> result;
            for (const std::string& row :
                 Query("SELECT name, \"unique\" FROM pragma_index_list('" + table +
                           "') WHERE name NOT LIKE 'sqlite_autoindex%' ORDER BY name",
                       kSeparator)) {
                std::vector<std::string> f = Split(row);
                std::string text = f[0] + (f[1] == "1" ? " U (" : " (");
                std::vector<std::string> cols =
                    Query("SELECT name FROM pragma_index_info('" + f[0] + "') ORDER BY seqno");
                for (size_t i = 0; i < cols.size(); ++i) text += (i ? "," : "") + cols[i];
                result.push_back(text + ")");
            }
            return result;
        }

    private:
        // Between the fields of a catalog row: defaults may hold a '|'.
        static constexpr const char* kSeparator = "\x1f";

        static std::vector<std::string> Split(const std::string& row) {
            std::vector<std::string> parts;
            size_t at = 0;
            for (;;) {
                size_t bar = row.find(kSeparator[0], at);
                parts.push_back(row.substr(at, bar == std::string::npos ? bar : bar - at));
                if (bar == std::string::npos) break;
                at = bar + 1;
            }
            return parts;
        }

        sqlite3* m_db = nullptr;
    };

    // Every table's columns and indexes, for comparing two runs.
    std::map<std::string, std::string> SchemaOnDisk() {
        File file(m_dir);
        std::map<std::string, std::string> schema;
        for (const std::string& table : file.Tables()) {
            std::string text;
            for (const ColumnShape& c : file.Columns(table))
                text += c.name + " " + c.type + (c.notNull ? " NOT NULL" : "") + " =" +
                        c.defaultText + "; ";
            for (const std::string& index : file.Indexes(table)) text += index + "; ";
            schema[table] = text;
        }
        return schema;
    }

    std::vector<StepSeen> m_seen;
    size_t m_total = 0;
};

}  // namespace xrtest
