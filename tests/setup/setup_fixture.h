// The set-up tests connect naming LORIMDB81 as the tool does and see every
// step's outcome as the pass observer saw it; the database files are read
// straight with SQLite (the shapes) or through the engine's catalog.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/sqlite/catalog.h"
#include "engine/sqlite/functions.h"
#include "library.h"
#include "platform/text.h"
#include "setup/pass.h"
#include "setup/pass1.h"
#include "sqlite_rows.h"

namespace xrtest {

// One step as the observer saw it (the step itself lives only while its pass runs).
struct Seen {
    std::string sql;
    std::string label;
    std::string tag;
    std::string error;
    bool conversion = false;
    xr::setup::Outcome outcome = xr::setup::Outcome::Done;
};

// The passes' steps go to `seen` from now on.
inline void Observe(std::vector<Seen>& seen) {
    xr::setup::SetPassObserver([&seen](const xr::setup::StepResult& r, size_t, size_t) {
        seen.push_back({r.step->sql, r.step->label, r.step->tag, r.error, bool(r.step->conversion),
                        xr::setup::OutcomeOf(r)});
    });
}

// A folder after the whole set-up on the embedded engine, made once: copied
// for every test that starts from a set-up site, and the site every engine
// must give. It keeps what the set-up answered and its default data's steps.
class SiteTemplate {
public:
    static const SiteTemplate& Get() {
        static SiteTemplate instance;
        return instance;
    }
    const std::filesystem::path& Path() const { return m_dir.Path(); }

    int m_isNew = 0;
    std::vector<Seen> m_defaultData;

private:
    SiteTemplate() {
        DBOpen(ConnectString(m_dir.Path()).c_str(), "LORIMDB81");
        xr::TheApp().m_isNew = 0;
        std::vector<Seen> passes;
        Observe(passes);
        DBSetupDB();
        DBSetupDB3();
        DBSetupInitialAccess();
        Observe(m_defaultData);
        DBSetFixedData();
        DBSetMustHaveData();
        xr::setup::SetPassObserver({});
        m_isNew = DBIsNew();
        DBClose();
    }
    TempDir m_dir;
};

// Every row of every user table of `db`, for comparing runs, each table's
// rows sorted: the engines may hand them out in another order. BLA is pass
// 1's scratch table, refilled by every run.
inline std::vector<std::string> Dump(const std::string& db) {
    std::vector<std::string> result;
    for (const std::string& table :
         Rows("SELECT name FROM " + db +
              "..sysobjects WHERE xtype = 'U' AND name <> 'BLA' ORDER BY name")) {
        result.push_back("-- " + table);
        std::vector<std::string> rows = Rows("SELECT * FROM " + db + "..[" + table + "]");
        std::sort(rows.begin(), rows.end());
        result.insert(result.end(), rows.begin(), rows.end());
    }
    return result;
}

class SetupTest : public LibraryTest {
protected:
    SetupTest() : LibraryTest(Start::Server, "LORIMDB81") {}

    void SetUp() override {
        LibraryTest::SetUp();
        xr::TheApp().m_isNew = 0;
        Observe(m_seen);
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
    void MakeConfigurationDb() {
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

    std::vector<Seen> With(xr::setup::Outcome outcome) const {
        std::vector<Seen> result;
        for (const Seen& s : m_seen)
            if (s.outcome == outcome) result.push_back(s);
        return result;
    }

    // A database file as SQLite sees it, read only: its rows straight, its
    // tables as the engine's catalog keeps them.
    class File {
    public:
        explicit File(const TempDir& dir, const std::string& db = "LORIMDB81") {
            sqlite3_open_v2((dir.Path() / (db + ".db")).string().c_str(), &m_db,
                            SQLITE_OPEN_READONLY, nullptr);
            sqlite3_busy_timeout(m_db, 2000);
            xr::engine::sqlite::RegisterSqlFunctions(m_db);
            m_catalog = std::make_unique<xr::engine::sqlite::Catalog>(m_db);
        }
        ~File() {
            m_catalog.reset();
            sqlite3_close(m_db);
        }
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        // Rows of a query on the file, each as "a|b|c".
        std::vector<std::string> Query(const std::string& sql) { return SqlLines(m_db, sql); }

        // "TYPE =default" of a column as SQLite keeps it, or "<missing>".
        std::string Column(const std::string& table, const std::string& name) {
            std::vector<std::string> rows = Query(
                "SELECT type || ' =' || coalesce(dflt_value, '') "
                "FROM pragma_table_info('" +
                table + "') WHERE name = '" + name + "'");
            return rows.empty() ? "<missing>" : rows[0];
        }

        const xr::tsql::TableDef* Table(const std::string& name) {
            return m_catalog->FindTable("main", name);
        }

    private:
        sqlite3* m_db = nullptr;
        std::unique_ptr<xr::engine::sqlite::Catalog> m_catalog;
    };

    std::vector<Seen> m_seen;
};

class Pass1Test : public SetupTest {};

}  // namespace xrtest
