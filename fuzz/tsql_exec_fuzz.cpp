// Any batch run through the T-SQL layer against a real database fails
// cleanly or runs: no crash, no hang, no exception other than ComError, and
// the session stays usable. Run with the seeds in corpus/tsql:
//   tsql_exec_fuzz -max_len=2048 -timeout=10 fuzz/corpus/tsql
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "engine/connection.h"
#include "engine/interpreter.h"
#include "platform/error.h"

namespace {

// Loops are bounded so that one input runs for a moment, not for minutes: a
// WHILE stops after a few thousand iterations, and an input with more than
// two loops (nested loops multiply) is not run.
constexpr long kLoopLimit = 2000;
constexpr int kMaxLoops = 2;

int LoopCount(std::string_view text) {
    int n = 0;
    for (size_t i = 0; i + 5 <= text.size(); ++i) {
        bool match = true;
        for (size_t k = 0; k < 5 && match; ++k) match = (text[i + k] | 0x20) == "while"[k];
        if (match) ++n;
    }
    return n;
}

// One server folder for the whole run, with a few tables to work on; each
// input runs in a transaction that is rolled back, so inputs do not pile up.
xr::engine::Connection& Session() {
    static std::unique_ptr<xr::engine::Connection> conn = [] {
        auto dir =
            std::filesystem::temp_directory_path() / ("xrdb8-fuzz-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        xr::engine::SetLoopLimit(kLoopLimit);
        auto c = std::make_unique<xr::engine::Connection>();
        c->Open("Provider=sqlite;Synchronous=OFF;Data Source=" + dir.string());
        c->Execute(
            "CREATE DATABASE F USE F "
            "CREATE TABLE Depts (DptNo INTEGER DEFAULT 0 NOT NULL, Name VARCHAR(20) DEFAULT '' NOT "
            "NULL, "
            "Tare MONEY DEFAULT 0 NOT NULL, D DATETIME NULL, B BIT DEFAULT 0 NOT NULL) "
            "ALTER TABLE Depts ADD CONSTRAINT DeptsPrimary PRIMARY KEY (DptNo) "
            "CREATE TABLE Customers (ID INTEGER IDENTITY, LastName VARCHAR(40) DEFAULT '' NOT "
            "NULL) "
            "INSERT Depts VALUES (1, 'Bar', 1.5, '20000101', 1)");
        return c;
    }();
    return *conn;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xr::engine::Connection& c = Session();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (LoopCount(text) > kMaxLoops) return 0;
    try {
        c.BeginTrans();
    } catch (const xr::ComError&) {
        __builtin_trap();  // a previous input left the session unusable
    }
    try {
        c.Execute(text);
    } catch (const xr::ComError&) {
    }
    try {
        c.RollbackTrans();
    } catch (const xr::ComError&) {
        // the input ended the transaction itself (COMMIT, ROLLBACK)
    }
    try {
        c.SetDefaultDatabase("F");
    } catch (const xr::ComError&) {
        // the input may have dropped it (and committed)
    }
    try {
        auto rows = c.Query("SELECT 1");
        if (!rows || !rows->Next()) __builtin_trap();
    } catch (const xr::ComError&) {
        __builtin_trap();  // the session must survive whatever it was given
    }
    // The catalog and the file agree on every table that is left, whatever
    // was added, deferred, undone or committed.
    for (const char* table : {"Depts", "Customers"}) {
        try {
            auto listed = c.Query(std::string("SELECT COUNT(*) FROM syscolumns WHERE id = "
                                              "object_id('") +
                                  table + "')");
            if (!listed || !listed->Next()) __builtin_trap();
            const int64_t columns = listed->Value(0).ToI8();
            if (columns == 0) continue;  // dropped by a committed input
            auto stored = c.Query(std::string("SELECT * FROM ") + table);
            if (!stored || static_cast<int64_t>(stored->ColumnCount()) != columns) __builtin_trap();
        } catch (const xr::ComError&) {
            __builtin_trap();
        }
    }
    return 0;
}
