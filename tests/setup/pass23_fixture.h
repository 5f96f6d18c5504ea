// The tests of passes 2 and 3, initial access and the default data connect
// as the tool does and see the steps' outcomes as the pass observer sees
// them, and the engine's own table definitions read from the files.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/sqlite/catalog.h"
#include "engine/sqlite/functions.h"
#include "library.h"
#include "platform/text.h"
#include "setup/pass.h"

namespace xrtest {

// One step as the observer saw it (the step itself lives only while its pass runs).
struct Seen {
    std::string sql;
    std::string label;
    std::string tag;
    std::string error;
    xr::setup::Outcome outcome;
};

// The passes' steps go to `seen` from now on.
inline void Observe(std::vector<Seen>& seen) {
    xr::setup::SetPassObserver([&seen](const xr::setup::StepResult& r, size_t, size_t) {
        seen.push_back({r.step->sql, r.step->label, r.step->tag, r.error, xr::setup::OutcomeOf(r)});
    });
}

class SetupTest : public LibraryTest {
protected:
    SetupTest() : LibraryTest(Start::Closed) {}

    void SetUp() override {
        LibraryTest::SetUp();
        xr::TheApp().m_isNew = 0;
        Observe(m_seen);
        ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
    }
    void TearDown() override {
        xr::setup::SetPassObserver({});
        LibraryTest::TearDown();
    }

    // The configuration database as a till site has it before passes 2 and 3.
    void MakeConfigurationDb() {
        ASSERT_EQ(DBExec("CREATE DATABASE LORIMDB81"), 1);
        ASSERT_EQ(DBSetDefaultDB("LORIMDB81"), 1);
    }

    // The database the thread's connection is in.
    static std::string CurrentDb() {
        xr::CDBConn* conn = xr::TheApp().GetConnection(0, nullptr);
        return conn ? conn->m_pConn->DefaultDatabase() : "<no connection>";
    }

    // Every row of every user table of `db` (file <db>.db), for comparing runs.
    std::vector<std::string> Dump(const std::string& db) {
        std::vector<std::string> result;
        const std::string prefix = db + "..";
        // BLA is pass 1's scratch table, refilled by every run.
        for (const std::string& table : Rows("SELECT name FROM " + prefix +
                                             "sysobjects WHERE xtype = 'U' AND name <> 'BLA' "
                                             "ORDER BY name")) {
            result.push_back("-- " + table);
            for (const std::string& row : Rows("SELECT * FROM " + prefix + table))
                result.push_back(row);
        }
        return result;
    }

    // Reads table definitions straight from the database files, as the
    // engine keeps them.
    class Files {
    public:
        Files(const TempDir& dir, const std::vector<std::string>& databases) {
            sqlite3_open_v2((dir.Path() / "MASTER.db").string().c_str(), &m_handle,
                            SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_busy_timeout(m_handle, 2000);
            xr::engine::sqlite::RegisterSqlFunctions(m_handle);
            for (const std::string& db : databases) {
                std::string attach = "ATTACH DATABASE '" + (dir.Path() / (db + ".db")).string() +
                                     "' AS \"" + db + "\"";
                sqlite3_exec(m_handle, attach.c_str(), nullptr, nullptr, nullptr);
            }
            m_catalog = std::make_unique<xr::engine::sqlite::Catalog>(m_handle);
        }
        ~Files() {
            m_catalog.reset();
            sqlite3_close(m_handle);
        }
        const xr::tsql::TableDef* Table(const std::string& db, const std::string& name) {
            return m_catalog->FindTable(db, name);
        }

    private:
        sqlite3* m_handle = nullptr;
        std::unique_ptr<xr::engine::sqlite::Catalog> m_catalog;
    };

    std::vector<Seen> m_seen;
};

}  // namespace xrtest
