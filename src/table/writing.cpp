// Record writing of CXRTable: adding, storing, cancelling and deleting rows,
// running statements, the identity of the last insert, and copying a row from
// another table object or from this object's clone. While a change log is
// open (m_script) every stored change is appended to it.
#include <cstdio>

#include "engine/connection.h"
#include "frame/app.h"
#include "platform/text.h"
#include "table/xrtable.h"

using xr::ComError;
using xr::Variant;
using xr::engine::Recordset;
using xr::table::Guarded;

namespace xr::table {

namespace {
// Constant-initialized, so a writer may hang itself on it from any static
// initializer.
RecordScripter g_scripter = nullptr;
}  // namespace

bool SetRecordScripter(RecordScripter render) {
    g_scripter = render;
    return true;
}

void ScriptChange(CXRTable& table, std::string& out, int mode) {
    if (!g_scripter) return;
    const size_t start = out.size();
    (table.*g_scripter)(out, mode);
    if (out.size() > start) out += "--->GO\n";
}

}  // namespace xr::table

namespace {

constexpr int kAddNew = 11;
constexpr int kUpdate = 12;
constexpr int kCancelUpdate = 18;
constexpr int kDelete = 19;
constexpr int kCopyFrom = 167;
constexpr int kIdentity = 798;

}  // namespace

int CXRTable::AddNew() {
    if (!IsOpen()) return 0;
    return Guarded(m_name, kAddNew, 0, [&] {
        m_pRS->AddNew();
        // Marked at once, so that CancelUpdate can drop the row even when
        // loading it into the structure fails.
        m_newRecord = 1;
        CallStructureTo();
        return 1;
    });
}

int CXRTable::Update(int vOnly) {
    if (!IsOpen()) return 0;
    m_vOnly = vOnly;
    try {
        {
            StrictReads strict(*this);
            StructureFrom();
        }
        m_pRS->Update();
        if (m_script) {
            std::string statement;
            xr::table::ScriptChange(*this, statement, m_newRecord);
            std::fwrite(statement.data(), 1, statement.size(), m_script);
        }
        return 1;
    } catch (...) {
        const ComError error = xr::table::CurrentError();
        try {
            // A row the server refused stays in edit mode until cancelled.
            if (m_pRS->EditMode() != xr::engine::adEditNone) m_pRS->CancelUpdate();
        } catch (...) {
        }
        xr::table::ReportTable(m_name, error, kUpdate);
    }
    return 0;
}

int CXRTable::CancelUpdate() {
    if (!IsOpen() || m_newRecord != 1) return 0;
    return Guarded(m_name, kCancelUpdate, 0, [&] {
        m_pRS->CancelUpdate();
        return 1;
    });
}

int CXRTable::Delete() {
    if (!IsOpen()) return 0;
    return Guarded(m_name, kDelete, 0, [&] {
        // The statement is made while the row can still be read: a deleted
        // row has no values to give.
        std::string statement;
        if (m_script) xr::table::ScriptChange(*this, statement, -1);
        m_pRS->Delete();
        if (m_script) std::fwrite(statement.data(), 1, statement.size(), m_script);
        return 1;
    });
}

int CXRTable::DeleteAll() {
    if (m_name.empty()) return 0;
    return Exec("DELETE FROM " + m_name);
}

int CXRTable::Exec(const std::string& sql) {
    if (IsOpen() || m_isOpen) CloseRS();
    if (m_script) {
        std::fwrite(sql.data(), 1, sql.size(), m_script);
        std::fputs("\n--->GO\n", m_script);
    }
    try {
        return xr::TheApp().Exec(sql);
    } catch (...) {
        xr::table::ReportLibrary(xr::table::CurrentError(), 21);
    }
    return 0;
}

long CXRTable::GetIdentity() {
    CloseRS();
    return Guarded(m_name, kIdentity, 0L, [&] {
        xr::CDBConn* conn = xr::TheApp().GetConnection(0, nullptr);
        if (!conn || !conn->m_pConn) return 0L;
        Recordset rs;
        rs.Open(*conn->m_pConn, "SELECT IDENT_CURRENT('" + xr::QuoteSql(m_name) + "') AS 'LastID'",
                xr::engine::adOpenDynamic, xr::engine::adLockOptimistic);
        if (rs.EndOfFile()) return 0L;
        Variant id = rs.Value("LastID");
        rs.Close();
        // NULL (no identity column, or none generated yet) fails here and is
        // reported, as the server's answer is "there is none".
        return static_cast<long>(id.ToI4());
    });
}

int CXRTable::CopyColumns(Recordset& source, bool copyNulls) {
    const size_t count = source.FieldCount();
    for (size_t i = 0; i < count; ++i) {
        const std::string& name = source.FieldName(i);
        if (!SQLFieldFilter(name.c_str())) continue;
        Variant value = source.Value(i);
        if (value.IsEmptyOrNull()) {
            if (!copyNulls) continue;
        } else {
            // Positions match between two objects of one table; a target with
            // fewer columns takes the value as it comes.
            int type = -1;
            try {
                type = m_pRS->FieldType(i);
            } catch (const ComError&) {
            }
            if (type == xr::engine::adBigInt)
                value = Variant::I8(value.ToI8());
            else if (type == xr::engine::adUnsignedBigInt)
                value = Variant::UI8(value.ToUI8());
        }
        SetField(name.c_str(), value);  // a refused column is reported and skipped
    }
    return 1;
}

int CXRTable::CopyFrom(CXRTable& source) {
    return Guarded(m_name, kCopyFrom, 0, [&] {
        if (!source.m_pRS) throw ComError(xr::adErrObjectClosed);
        CopyColumns(*source.m_pRS, false);
        CallStructureTo();
        return 1;
    });
}

int CXRTable::CopyFromClone() {
    return Guarded(m_name, kCopyFrom, 0, [&] {
        if (!m_pClone) throw ComError(xr::adErrObjectClosed);
        CopyColumns(*m_pClone, true);
        return 1;
    });
}
