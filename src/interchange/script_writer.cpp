// The SQL script writer: the row a table object stands on, or its whole
// table, as T-SQL text that the script runner (and SQL Server itself) can run
// on another database. Statements continue on lines that begin with a blank,
// because the runner joins a batch's lines with nothing between them; a batch
// ends with a "--->GO" line.
//
// Every statement is rendered whole before it is written, so that a value
// that cannot be scripted leaves no half statement in a change log.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/calendar.h"
#include "platform/systemtime.h"
#include "platform/text.h"
#include "table/xrtable.h"

using xr::ComError;
using xr::Variant;

namespace {

// A logical line longer than this is broken before the next column.
constexpr int kLineLimit = 70;
// A direct call of the writer that fails is reported with the field read code.
constexpr int kScriptRead = xr::table::kFieldRead;

struct ScriptColumn {
    const std::string* name;
    Variant value;
};

bool IsVColumn(const std::string& name) {
    return name.size() > 2 && (name[0] == 'V' || name[0] == 'v') && name[1] == '$';
}

bool IsArray(const Variant& v) { return (v.Type() & xr::VT_ARRAY) != 0; }

int Append(std::string& out, std::string_view text) {
    out.append(text);
    return static_cast<int>(text.size());
}

// Fixed notation with six decimals ("%f"), widened only when six decimals
// would not bring the same number back.
int AppendReal(std::string& out, double value, bool single) {
    if (!std::isfinite(value))
        throw ComError(xr::DISP_E_OVERFLOW_, "A number that is not finite cannot be scripted.");
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    double back = 0;
    std::from_chars(buf, r.ptr, back);
    const bool same =
        single ? static_cast<float>(back) == static_cast<float>(value) : back == value;
    if (!same) {
        r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(value),
                                   std::chars_format::fixed)
                   : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    }
    return Append(out, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

// The server reads a number as days since 1 January 1900, two days after the
// OLE date's day 0. The value goes at whole seconds: six decimals of a day
// are 86.4 ms, so a time that was not on a second could round to the next.
int AppendDate(std::string& out, double oleDate) {
    SYSTEMTIME st{};
    double date = oleDate;
    if (xr::VariantTimeToSystemTime(oleDate, &st)) xr::SystemTimeToVariantTime(st, &date);
    // Before 30 December 1899 an OLE date counts its day backwards but its
    // time forwards; the server's number runs straight on.
    date = xr::calendar::ContinuousDays(date);
    return AppendReal(out, date - static_cast<double>(xr::calendar::kDayOf1900), false);
}

// Line breaks go as CHAR(13) and CHAR(10) (SqlTextLiteral): the runner reads
// the script line by line, and a value must never give it a line of its own.
int AppendText(std::string& out, std::string_view text) {
    const std::string literal = xr::SqlTextLiteral(xr::TrimRight(text));
    out += literal;
    return static_cast<int>(literal.size());
}

// "0x" and two upper-case hex digits per byte, 70 characters to a line (34
// bytes on the first, 35 on the others), each line ended; the runner joins
// the lines back into one literal.
void AppendBytes(std::string& out, const std::vector<uint8_t>& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "0x";
    int line = 2;
    for (uint8_t b : bytes) {
        if (line >= kLineLimit) {
            out += '\n';
            line = 0;
        }
        out += kHex[b >> 4];
        out += kHex[b & 15];
        line += 2;
    }
    out += '\n';
}

template <typename T>
int AppendInt(std::string& out, T value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return Append(out, std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

// One value in its script form; the number of characters written, 0 after a
// binary value (which ends its own line).
int AppendValue(std::string& out, const Variant& v) {
    switch (v.Type()) {
        case xr::VT_NULL:
            return Append(out, "NULL");
        case xr::VT_I2:
            return AppendInt(out, static_cast<int16_t>(v.IntValue()));
        case xr::VT_I4:
        case xr::VT_UI4:
            return AppendInt(out, static_cast<int32_t>(v.IntValue()));
        case xr::VT_UI2:
            return AppendInt(out, static_cast<uint16_t>(v.IntValue()));
        case xr::VT_I1:
        case xr::VT_UI1:
            return AppendInt(out, static_cast<uint8_t>(v.IntValue()));
        case xr::VT_I8:
            return AppendInt(out, v.IntValue());
        case xr::VT_UI8:
            return AppendInt(out, v.UIntValue());
        case xr::VT_R4:
            return AppendReal(out, v.RealValue(), true);
        case xr::VT_R8:
            return AppendReal(out, v.RealValue(), false);
        case xr::VT_DECIMAL:
            return AppendReal(out, v.DecValue().ToDouble(), false);
        case xr::VT_CY:
            // The fixed conversion text: '.' as the point whatever the locale.
            return Append(out, v.ToText());
        case xr::VT_DATE:
            return AppendDate(out, v.RealValue());
        case xr::VT_BSTR:
            return AppendText(out, v.TextValue());
        case xr::VT_BOOL:
            return Append(out, v.IntValue() == 0 ? "0" : "1");
        case xr::VT_BYTES:
            // An empty image is not NULL, and the server keeps the two apart:
            // it goes as the empty literal "0x", so that it comes back empty.
            AppendBytes(out, v.BytesValue());
            return 0;
        default:
            // The old writer left "??<type>??" in the script, which no server
            // runs; the row is refused instead, and the caller reports it.
            throw ComError(xr::DISP_E_BADVARTYPE_,
                           xr::Format("A value of variant type %d cannot be written to a script.",
                                      static_cast<int>(v.Type())));
    }
}

}  // namespace

// ---- the row ------------------------------------------------------------------------

namespace {

// The row the recordset stands on, with 64-bit columns read as such.
std::vector<ScriptColumn> ReadRow(xr::engine::Recordset& rs) {
    std::vector<ScriptColumn> row;
    const size_t count = rs.FieldCount();
    row.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        ScriptColumn column{&rs.FieldName(i), rs.Value(i)};
        if (!column.value.IsEmptyOrNull()) {
            const uint16_t type = rs.FieldType(i);
            if (type == xr::engine::adBigInt)
                column.value = Variant::I8(column.value.ToI8());
            else if (type == xr::engine::adUnsignedBigInt)
                column.value = Variant::UI8(column.value.ToUI8());
        }
        row.push_back(std::move(column));
    }
    return row;
}

// What the writer needs to know of a table object besides its row.
struct ScriptTable {
    const std::string& name;
    const std::string* keys;  // the leading non-empty key names
    int keyCount;
    bool identityInsert;

    bool IsKey(const std::string& column) const {
        if (IsVColumn(column)) return false;
        for (int k = 0; k < keyCount; ++k)
            if (xr::IEquals(column, keys[k])) return true;
        return false;
    }

    const ScriptColumn& Column(const std::vector<ScriptColumn>& row, const std::string& key) const {
        for (const auto& c : row)
            if (xr::IEquals(*c.name, key)) return c;
        throw ComError(
            xr::adErrItemNotFound,
            xr::Format("The key column %s is not in the row of %s.", key.c_str(), name.c_str()));
    }

    // " WHERE K1=v AND K2=v" in key-slot order; names unbracketed.
    void AppendWhere(std::string& out, const std::vector<ScriptColumn>& row) const {
        bool first = true;
        for (int k = 0; k < keyCount; ++k) {
            if (IsVColumn(keys[k])) continue;
            out += first ? " WHERE " : " AND ";
            first = false;
            out += keys[k];
            out += '=';
            AppendValue(out, Column(row, keys[k]).value);
        }
    }

    void AppendInsert(std::string& out, const std::vector<ScriptColumn>& row,
                      const std::function<bool(const std::string&)>& keep) const;
    // False (and nothing appended) when there is nothing to assign.
    bool AppendUpdate(std::string& out, const std::vector<ScriptColumn>& row, bool withBinary,
                      const std::function<bool(const std::string&)>& keep) const;
    void AppendDelete(std::string& out, const std::vector<ScriptColumn>& row) const;
};

bool IsDirtyColumn(const std::string& name) { return xr::IEquals(name, "V$DIRTY"); }

void ScriptTable::AppendInsert(std::string& out, const std::vector<ScriptColumn>& row,
                               const std::function<bool(const std::string&)>& keep) const {
    // A scripted insert always arrives dirty, so V$DIRTY goes in both lists
    // (as 1) even when the row holds NULL there.
    auto takes = [&](const ScriptColumn& c) {
        if (!keep(*c.name)) return false;
        return IsDirtyColumn(*c.name) || !c.value.IsEmptyOrNull();
    };
    if (identityInsert) {
        out += " BEGIN\n";
        out += " SET IDENTITY_INSERT " + name + " ON\n";
    }
    int count = Append(out, " INSERT " + name + "\n");
    bool first = true;
    for (const auto& c : row) {
        if (count > kLineLimit) {
            out += "\n ";
            count = 1;
        }
        if (!takes(c)) continue;
        out += first ? '(' : ',';
        first = false;
        count += 1 + Append(out, "[" + *c.name + "]");
    }
    out += ")\n";
    count = Append(out, " VALUES (");
    first = true;
    for (const auto& c : row) {
        if (count > kLineLimit) {
            out += "\n ";
            count = 1;
        }
        if (!takes(c)) continue;
        if (!first) count += Append(out, ", ");
        first = false;
        count += IsDirtyColumn(*c.name) ? Append(out, "1") : AppendValue(out, c.value);
    }
    out += ")\n";
    if (identityInsert) {
        out += " SET IDENTITY_INSERT " + name + " OFF\n";
        out += " END\n";
    }
}

bool ScriptTable::AppendUpdate(std::string& out, const std::vector<ScriptColumn>& row,
                               bool withBinary,
                               const std::function<bool(const std::string&)>& keep) const {
    const size_t start = out.size();
    int count = Append(out, " UPDATE " + name + "\n");
    count += Append(out, " SET ");
    int assigned = 0;
    for (const auto& c : row) {
        if (count > kLineLimit) {
            out += "\n ";
            count = 1;
        }
        if (IsVColumn(*c.name) || !keep(*c.name) || IsKey(*c.name) || c.value.IsEmptyOrNull() ||
            (!withBinary && IsArray(c.value)))
            continue;
        if (assigned++) count += Append(out, ", ");
        count += Append(out, "[" + *c.name + "]=");
        count += AppendValue(out, c.value);
    }
    if (!assigned) {
        // "SET" with nothing after it is not SQL: no UPDATE at all.
        out.resize(start);
        return false;
    }
    out += '\n';
    if (keyCount > 0) {
        AppendWhere(out, row);
        out += '\n';
    }
    return true;
}

void ScriptTable::AppendDelete(std::string& out, const std::vector<ScriptColumn>& row) const {
    out += "DELETE FROM " + name;
    if (keyCount > 0) AppendWhere(out, row);
    out += '\n';
}

}  // namespace

// ---- members of CXRTable ---------------------------------------------------------------

namespace {

ScriptTable Describe(const std::string& name, const std::string* keys, int scriptFlag) {
    int keyCount = 0;
    while (keyCount < 6 && !keys[keyCount].empty()) ++keyCount;
    return ScriptTable{name, keys, keyCount, scriptFlag != 0};
}

void Write(std::FILE* stream, const std::string& text) {
    if (stream && !text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void CXRTable::RenderRecord(std::string& out, int mode) {
    const ScriptTable table = Describe(m_name, m_keys, m_scriptFlag);
    const std::vector<ScriptColumn> row = ReadRow(*m_pRS);
    auto keep = [&](const std::string& column) { return SQLFieldFilter(column.c_str()) != 0; };
    switch (mode) {
        case 1:
            table.AppendInsert(out, row, keep);
            break;
        case 0:
        case 5:
            table.AppendUpdate(out, row, mode == 5, keep);
            break;
        case -1:
            table.AppendDelete(out, row);
            break;
        default:
            break;
    }
}

void CXRTable::RenderUpsert(std::string& out) {
    const ScriptTable table = Describe(m_name, m_keys, m_scriptFlag);
    const std::vector<ScriptColumn> row = ReadRow(*m_pRS);
    auto keep = [&](const std::string& column) { return SQLFieldFilter(column.c_str()) != 0; };
    if (table.keyCount > 0) {
        out += " IF EXISTS (SELECT [" + m_keys[0] + "] FROM " + m_name + " WHERE ";
        bool first = true;
        for (const auto& c : row) {
            if (!table.IsKey(*c.name)) continue;
            if (!first) out += " AND ";
            first = false;
            out += "[" + *c.name + "]=";
            AppendValue(out, c.value);
        }
    } else {
        out += " IF EXISTS (SELECT * FROM " + m_name;
    }
    out += ")\n";
    // With nothing to assign the existing row is left as it is; PRINT keeps
    // the IF ... ELSE valid where the UPDATE would have stood.
    if (!table.AppendUpdate(out, row, true, keep)) out += " PRINT ''\n";
    out += " ELSE\n";
    table.AppendInsert(out, row, keep);
    out += "--->GO\n";
}

const bool CXRTable::s_scriptHooked = xr::table::SetRecordScripter(&CXRTable::RenderRecord);

void CXRTable::ScriptRecord(std::FILE* stream, int mode, int go) {
    std::string statement;
    RenderRecord(statement, mode);
    if (!statement.empty() && go) statement += "--->GO\n";
    Write(stream, statement);
}

int CXRTable::AAScriptRecord(std::FILE* stream, int mode, int go) {
    if (!IsOpen()) return 0;
    if (mode != 1 && mode != 0 && mode != 5 && mode != -1) return 0;
    if (!stream) return 0;
    try {
        ScriptRecord(stream, mode, go);
        return 1;
    } catch (...) {
        xr::table::ReportTable(m_name, xr::table::CurrentError(), kScriptRead);
    }
    return 0;
}

int CXRTable::AAScriptRecord(std::FILE* stream) {
    if (!IsOpen() || !stream) return 0;
    try {
        if (m_pRS->Status() & (xr::engine::adRecDeleted | xr::engine::adRecDBDeleted)) return 1;
        std::string statement;
        RenderUpsert(statement);
        Write(stream, statement);
        return 1;
    } catch (...) {
        xr::table::ReportTable(m_name, xr::table::CurrentError(), kScriptRead);
    }
    return 0;
}

int CXRTable::AAScriptAll(const char* path) {
    if (!path || !*path) return 0;
    std::FILE* stream = std::fopen(path, "a");
    if (!stream) return 0;
    m_script = stream;
    int result = 1;
    try {
        Write(stream, "-->TABLE: " + m_name + "\n");
        Write(stream, "DELETE FROM " + m_name + "\n");
        Write(stream, "--->GO\n");
        const std::string sql = "SELECT * FROM " + m_name;
        for (int onRow = MoveFirst(sql.c_str()); onRow; onRow = MoveNext())
            ScriptRecord(stream, 1, 1);
    } catch (...) {
        xr::table::ReportTable(m_name, xr::table::CurrentError(), kScriptRead);
        result = 0;
    }
    std::fclose(stream);
    m_script = nullptr;
    return result;
}

void CXRTable::ReplaceScript(std::FILE* stream) {
    std::FILE* old = m_script;
    if (stream && stream == old) {
        // Handed the log it already writes: keep it (closing it would leave
        // the object writing to a closed stream).
        if (!m_scriptHold || m_scriptHold.get() != stream)
            m_scriptHold.reset(stream, [](std::FILE* f) { std::fclose(f); });
        Write(stream, "-->TABLE: " + m_name + "\n");
        return;
    }
    const bool held = m_scriptHold && m_scriptHold.get() == old;
    m_script = stream;
    // A copy that shares the old log keeps it open until it lets go.
    m_scriptHold =
        stream ? std::shared_ptr<std::FILE>(stream, [](std::FILE* f) { std::fclose(f); }) : nullptr;
    if (old && !held) std::fclose(old);
    if (stream) Write(stream, "-->TABLE: " + m_name + "\n");
}

int CXRTable::AAScriptAuto(std::FILE* stream) {
    try {
        ReplaceScript(stream);
    } catch (...) {
        xr::table::ReportTable(m_name, xr::table::CurrentError(), kScriptRead);
    }
    return 1;
}

int CXRTable::AAScriptAuto(const char* path) {
    std::FILE* stream = (path && *path) ? std::fopen(path, "a") : nullptr;
    return AAScriptAuto(stream);
}

int CXRTable::AAScriptGo(std::FILE* stream) {
    if (stream) std::fputs("--->GO\n", stream);
    return 1;
}

int CXRTable::PutField(std::FILE* stream, const Variant& value) {
    try {
        std::string text;
        const int count = AppendValue(text, value);
        Write(stream, text);
        return count;
    } catch (...) {
        xr::table::ReportLibrary(xr::table::CurrentError(), kScriptRead);
    }
    return 0;
}
