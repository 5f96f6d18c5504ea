// CXRTable: construction, copies, opening, navigation, searching, counting
// and cloning of the one recordset a table object holds.
#include "table/xrtable.h"

#include "engine/connection.h"
#include "frame/app.h"
#include "platform/text.h"

using xr::ComError;
using xr::engine::Recordset;

namespace xr::table {

ComError CurrentError() noexcept { return CaughtError(); }

void ReportTable(const std::string& table, const ComError& e, int where, bool quiet) noexcept {
    try {
        if (quiet)
            TheApp().ReportTableErrorQuiet(table, e, where);
        else
            TheApp().ReportTableError(table, e, where);
    } catch (...) {
        // Reporting must never take the till down with it.
    }
}

void ReportLibrary(const ComError& e, int where) noexcept {
    try {
        TheApp().ReportError(e, where);
    } catch (...) {
    }
}

}  // namespace xr::table

using xr::table::Guarded;

namespace {

// Call-site codes of this file's operations.
constexpr int kMoveFirst = 1;
constexpr int kMoveSql = 2;
constexpr int kMoveNext = 3;
constexpr int kMoveLast = 4;
constexpr int kMovePrevious = 5;
constexpr int kOpenRS = 6;
constexpr int kOpenStatic = 7;  // also Count
constexpr int kCloseRS = 8;
constexpr int kOpenTable = 26;
constexpr int kClone = 99;
constexpr int kMoveFind = 1034;
constexpr int kEndOfFile = 4500;

}  // namespace

CXRTable::CXRTable() : m_pRS(std::make_shared<Recordset>()) {}

CXRTable::CXRTable(const CXRTable& other) { *this = other; }

CXRTable& CXRTable::operator=(const CXRTable& other) {
    if (this == &other) return *this;
    m_name = other.m_name;
    m_script = other.m_script;
    m_vOnly = other.m_vOnly;
    for (int i = 0; i < 7; ++i) m_keys[i] = other.m_keys[i];
    m_orderBy = other.m_orderBy;
    m_dirty = other.m_dirty;
    m_pRS = other.m_pRS;
    m_pClone = other.m_pClone;
    m_isOpen = other.m_isOpen;
    m_scriptFlag = other.m_scriptFlag;
    m_newRecord = other.m_newRecord;
    m_xmlCount = other.m_xmlCount;
    m_scriptHold = other.m_scriptHold;
    m_strict = 0;
    return *this;
}

CXRTable::~CXRTable() {
    // A copy that still shares the cursor keeps it open: closing it here would
    // pull the row from under the other object.
    if (m_pRS && m_pRS.use_count() == 1) CloseRS();
}

int CXRTable::ImportCSVBody(CStdioFile& /*file*/, int /*flags*/) { return 0; }
int CXRTable::StructureTo() { return 1; }
int CXRTable::StructureFrom() { return 1; }
int CXRTable::FieldFilter(const char* /*column*/, std::string& /*value*/) { return 1; }
int CXRTable::SQLFieldFilter(const char* /*column*/) { return 1; }

bool CXRTable::IsOpen() const { return m_pRS && m_pRS->IsOpen(); }

int CXRTable::CallStructureTo() {
    StrictReads strict(*this);
    return StructureTo();
}

// ---- opening ----------------------------------------------------------------

int CXRTable::OpenWith(const char* source, int cursorType, bool isTable, bool clearNew, int where) {
    CloseRS();
    if (clearNew) m_newRecord = 0;
    return Guarded(m_name, where, 0, [&] {
        if (xr::SafeText(source).empty())
            throw ComError(xr::adErrInvalidArgument, "There is no statement or table to open.");
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn || !conn->m_pConn) return 0;
        m_pRS->Open(*conn->m_pConn, xr::SafeText(source), cursorType, xr::engine::adLockOptimistic,
                    isTable);
        m_isOpen = 1;
        return 1;
    });
}

int CXRTable::OpenTable() {
    return OpenWith(m_name.c_str(), xr::engine::adOpenKeyset, true, true, kOpenTable);
}

int CXRTable::OpenRS(const char* sql) {
    return OpenWith(sql, xr::engine::adOpenDynamic, false, true, kOpenRS);
}

int CXRTable::OpenRSStatic(const char* sql) {
    return OpenWith(sql, xr::engine::adOpenStatic, false, false, kOpenStatic);
}

int CXRTable::OpenRSAll() {
    std::string sql = "SELECT * FROM " + m_name;
    if (!m_orderBy.empty()) sql.append(" ORDER BY ").append(m_orderBy);
    return OpenRS(sql.c_str());
}

int CXRTable::OpenGet(const char* sql) {
    if (!OpenRS(sql) || EndOfFile() != 0) return 0;
    return Guarded(m_name, kOpenRS, 0, [&] {
        CallStructureTo();
        return 1;
    });
}

int CXRTable::CloseRS() {
    if (!m_isOpen && !IsOpen()) return 1;
    return Guarded(m_name, kCloseRS, 0, [&] {
        m_isOpen = 0;
        m_pRS->Close();
        return 1;
    });
}

// ---- navigation -----------------------------------------------------------------

int CXRTable::MoveEnd(const char* sql, bool first, int where) {
    if (!(sql ? OpenRS(sql) : OpenRSAll())) return 0;
    return Guarded(m_name, where, 0, [&] {
        if (m_pRS->EndOfFile()) return 0;
        if (first)
            m_pRS->MoveFirst();
        else
            m_pRS->MoveLast();
        if (m_pRS->EndOfFile()) return 0;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::MoveFirst() { return MoveEnd(nullptr, true, kMoveFirst); }
int CXRTable::MoveFirst(const char* sql) { return MoveEnd(sql ? sql : "", true, kMoveSql); }
int CXRTable::MoveLast() { return MoveEnd(nullptr, false, kMoveLast); }
int CXRTable::MoveLast(const char* sql) { return MoveEnd(sql ? sql : "", false, kMoveSql); }

int CXRTable::MoveNext() {
    return Guarded(m_name, kMoveNext, 0, [&] {
        m_pRS->MoveNext();
        if (m_pRS->EndOfFile()) return 0;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::MovePrevious() {
    return Guarded(m_name, kMovePrevious, 0, [&] {
        m_pRS->MovePrevious();
        if (m_pRS->BOF()) return 0;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::Move(int n) {
    if (!IsOpen()) return 0;
    if (n == 0) return 1;
    return Guarded(m_name, kMoveFind, 0, [&] {
        m_pRS->Move(n);
        if (n > 0 ? m_pRS->EndOfFile() : m_pRS->BOF()) return 0;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::Find(const char* criteria, int direction) {
    if (!IsOpen()) return 0;
    return Guarded(m_name, kMoveFind, 0, [&] {
        m_pRS->Find(xr::SafeText(criteria), 0, direction);
        // Only the end is tested, also for a backward search: a caller that
        // searched backwards and missed finds itself on the first row.
        if (m_pRS->EndOfFile()) return 0;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::EndOfFile() {
    if (!IsOpen()) return 1;
    try {
        return m_pRS->EndOfFile() ? -1 : 0;
    } catch (...) {
        xr::table::ReportTable(m_name, xr::table::CurrentError(), kEndOfFile, true);
    }
    return 1;
}

int CXRTable::BOF() {
    if (!IsOpen()) return 1;
    try {
        return m_pRS->BOF() ? -1 : 0;
    } catch (...) {
    }
    return 1;
}

// ---- counting, cloning, keys ------------------------------------------------------

long CXRTable::CountOf(const std::string& sql) {
    if (!OpenRSStatic(sql.c_str())) return -1;
    return Guarded(m_name, kOpenStatic, -1L,
                   [&] { return static_cast<long>(m_pRS->RecordCount()); });
}

long CXRTable::Count() { return CountOf("SELECT * FROM " + m_name); }

long CXRTable::Count(const char* sql) { return CountOf(std::string(xr::SafeText(sql))); }

int CXRTable::Clone() {
    if (!IsOpen()) return 0;
    return Guarded(m_name, kClone, 0, [&] {
        m_pClone = std::shared_ptr<Recordset>(m_pRS->Clone(xr::engine::adLockUnspecified));
        return 1;
    });
}

const char* CXRTable::GetKeyName(int i) {
    if (i < 0 || i > 5 || m_keys[i].empty()) return nullptr;
    return m_keys[i].c_str();
}
