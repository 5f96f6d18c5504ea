// Stored procedures as a session runs them: the parsed form of each procedure
// it has run (parsed once, kept until the procedure changes) and the frame of
// each call in progress. Internal to the interpreter.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tsql/ast.h"

namespace xr::engine::detail {

// A procedure as this session last read it from its database.
struct ParsedProcedure {
    int32_t id = 0;
    std::string name;
    std::string text;  // the definition it was parsed from
    bool ansiNulls = true;
    // The CREATE PROCEDURE statement: its parameters and body. Shared with
    // the calls running it, so that an ALTER inside one cannot pull it away.
    std::shared_ptr<const tsql::Batch> batch;
    // The database's data mark when the text was last read: while it has not
    // moved, no connection can have changed the procedure.
    uint64_t mark = 0;
    const tsql::Stmt& Definition() const { return *batch->statements.front(); }
};

// The parsed procedures of a session, by database schema and name.
class ProcedureCache {
public:
    static std::string Key(const std::string& schema, std::string_view name);
    ParsedProcedure* Find(const std::string& key) {
        auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : &it->second;
    }
    ParsedProcedure& Put(const std::string& key, ParsedProcedure p);
    void Forget(const std::string& key) { m_entries.erase(key); }
    void Clear() { m_entries.clear(); }

private:
    std::unordered_map<std::string, ParsedProcedure> m_entries;
};

// One procedure call in progress: what it must put back when it ends.
struct CallFrame {
    int32_t procId = 0;
    std::string procName;
    int level = 0;                        // @@NESTLEVEL inside it
    std::optional<int64_t> returnStatus;  // RETURN n
    std::vector<std::string> tempTables;  // #tables it made, dropped when it ends
    // #tables of its callers it made one of the same name as: each kept under
    // another name while it runs (name, name kept under), put back when it ends.
    std::vector<std::pair<std::string, std::string>> hiddenTempTables;
    // The session's SET options when it was called (a procedure's SET lasts
    // until it returns).
    bool xactAbort = false;
    bool noCount = false;
    bool concatNullYieldsNull = true;
    bool ansiNulls = true;
    std::string dateFormat;
    int64_t rowcountLimit = 0;
    std::string identityInsertSchema, identityInsertTable;
};

}  // namespace xr::engine::detail
