// The table record engine as the record classes, the flat interface and the
// interchange code see it: CXRTable with the recordset and variant types it is
// built on, and the error plumbing its operations share.
#pragma once

#include <string>

#include "engine/recordset.h"
#include "frame/shield.h"
#include "platform/error.h"
#include "platform/variant.h"
#include "xrdb8/xrtable.h"

// While a positioning operation runs StructureTo, a value that cannot be
// converted ends the operation instead of giving 0 from the single read.
class CXRTable::StrictReads {
public:
    explicit StrictReads(CXRTable& table) : m_table(table) { ++m_table.m_strict; }
    ~StrictReads() { --m_table.m_strict; }
    StrictReads(const StrictReads&) = delete;
    StrictReads& operator=(const StrictReads&) = delete;

private:
    CXRTable& m_table;
};

namespace xr::table {

// Call-site codes of the table operations, as the log and DBGetError show them.
inline constexpr int kFieldRead = 9;
inline constexpr int kFieldWrite = 10;
inline constexpr int kDateRead = 791;
inline constexpr int kDateWrite = 792;

// The error being handled, as the library's error type. Call from a catch block.
ComError CurrentError() noexcept;

// ReportTableError (or its quiet twin) that cannot throw.
void ReportTable(const std::string& table, const ComError& e, int where,
                 bool quiet = false) noexcept;
// ReportError that cannot throw.
void ReportLibrary(const ComError& e, int where) noexcept;

// Runs one table operation: whatever it throws is reported against the table
// with the operation's code and gives `failure`.
template <typename R, typename Fn>
R Guarded(const std::string& table, int where, R failure, Fn&& fn) noexcept {
    return Shielded(
        failure, [&] { ReportTable(table, CaughtError(), where); }, fn);
}

// The script writer renders the statement that scripts a table's current
// record (mode as for AAScriptRecord); a table calls it for each change it
// stores while a script file is open (m_script). The writer hangs itself on
// this hook while the library loads, so the table does not call up into it.
using RecordScripter = void (CXRTable::*)(std::string& out, int mode);
bool SetRecordScripter(RecordScripter render);
// Appends the statement (and its GO) to `out`; nothing when no writer is hooked.
void ScriptChange(CXRTable& table, std::string& out, int mode);

}  // namespace xr::table
