// The trading database (pass 2) and the back-office user database (pass 3):
// their statement lists, the database-level statements that open a pass, and
// the builder the lists are written with.
#pragma once

#include <string>
#include <vector>

#include "frame/shield.h"
#include "setup/pass.h"

namespace xr::setup {

inline constexpr const char* kTradingDb = "LORIMDB82";
inline constexpr const char* kUserDb = "LORIMDAX";

// The statements of one table in the order they are run, each a step of its
// own labelled with the table. `prefix` goes in front of the table name in the
// statements ("LORIMDAX.." for the user database); constraint and index names
// are always the bare table name followed by "Primary" or "IX<n>".
class TableSchema {
public:
    TableSchema(std::vector<Step>& out, std::string table, std::string prefix = "");

    // CREATE TABLE with the columns the table was introduced with; tagged
    // "<table>.create".
    TableSchema& Create(const std::string& columns);
    // ALTER TABLE ... ADD: columns that came later, together or not at all.
    TableSchema& Add(const std::string& columns);
    TableSchema& AlterColumn(const std::string& column);
    TableSchema& PrimaryKey(const std::string& columns);
    // CREATE INDEX <table>IX<n>, filtered when `where` is given.
    TableSchema& Index(int n, const std::string& columns, const std::string& where = "");
    TableSchema& UniqueIndex(int n, const std::string& columns);
    // A statement given as it stands.
    TableSchema& Statement(const std::string& sql);

private:
    TableSchema& Push(std::string sql, std::string tag = "");

    std::vector<Step>& m_out;
    std::string m_table;  // bare name, for constraint and index names
    std::string m_name;   // as written in the statements
};

// Every statement of the 22 trading tables, in order.
std::vector<Step> Pass2Steps();
// Every statement of the 3 user tables, in order.
std::vector<Step> Pass3Steps();

// The statement that creates database `name`: the plain form for servers of
// version 10 or later, otherwise with the file clause naming the server's data
// folder.
std::string CreateDatabaseStatement(const std::string& name, int serverVersion,
                                    const std::string& dataFolder);
// "USE Master", the creating statement and "USE <name>": the untested steps
// that open passes 2 and 3.
std::vector<Step> OpenDatabaseSteps(const std::string& name);

// The categories of the back-office programs the administrator profile is
// made for, in the order written.
const std::vector<std::string>& AdministratorCategories();
// Everything DBSetupInitialAccess sends after it has a connection.
std::vector<Step> InitialAccessSteps();

// Runs `steps` through the engine with the observer the caller installed,
// then points the thread's connection at its own database again (the passes
// move it with USE). Never throws.
void RunAndRestore(const std::vector<Step>& steps);
// Points the calling thread's connection back at the database it was opened
// or set for, when the thread has one.
void RestoreDefaultDatabase();

// How the set-up exports end on an exception: one "Set-up failed" line.
inline constexpr Logged kSetupFailed{"Set-up failed: %s", "Set-up failed"};

}  // namespace xr::setup
