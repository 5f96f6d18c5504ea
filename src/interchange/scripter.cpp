// The scripter: the back office's change script. While a script is open the
// caller appends single rows (by table selector and key values) or whole
// tables to it, and free text lines; ScriptAll scripts a whole table of any
// database on a connection of its own. The flat exports keep one active
// scripter for the process.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "frame/shield.h"
#include "platform/text.h"
#include "table/xrtable.h"
#include "xrdb8/interchange.h"
#include "xrdb8/lists.h"
#include "xrdb8/records_config.h"
#include "xrdb8/records_customers.h"
#include "xrdb8/records_master.h"
#include "xrdb8/records_payment.h"
#include "xrdb8/records_products.h"
#include "xrdb8/records_sysvalues.h"
#include "xrdb8/records_tables.h"

namespace {

constexpr int kSelectors = 37;

template <typename T>
std::unique_ptr<CXRTable> Make() {
    return std::make_unique<T>();
}

// The record class of each selector, 1 to 37 (slot 0 stays empty).
constexpr std::unique_ptr<CXRTable> (*kMake[kSelectors + 1])() = {
    nullptr,
    &Make<CProduct>,           // 1
    &Make<CCfgTill>,           // 2
    &Make<CCfgSys>,            // 3
    &Make<CBarc>,              // 4
    &Make<CPrinter>,           // 5
    &Make<CPromo>,             // 6
    &Make<CPayMeth>,           // 7
    &Make<CFunction>,          // 8
    &Make<CTimePlan>,          // 9
    &Make<CTimePlanHdr>,       // 10
    &Make<CServer>,            // 11
    &Make<CTable>,             // 12
    &Make<CDept>,              // 13
    &Make<CGroup>,             // 14
    &Make<CPreset>,            // 15
    &Make<CMixMatchPlus>,      // 16
    &Make<CForex>,             // 17
    &Make<CLoyalty>,           // 18
    &Make<CPLUModifier>,       // 19
    &Make<CTableGroupAreas>,   // 20
    &Make<CScreenMode>,        // 21
    &Make<CListHdr>,           // 22
    &Make<CListItem>,          // 23
    &Make<CMacro>,             // 24
    &Make<CSysValue>,          // 25
    &Make<CPresetSrvr>,        // 26
    &Make<COfferGroup>,        // 27
    &Make<COfferGroupEntry>,   // 28
    &Make<CLoyalty5>,          // 29
    &Make<CTableStatusLevel>,  // 30
    &Make<CFlexTextHdrs>,      // 31
    &Make<CFlexTextLines>,     // 32
    &Make<CCustomer>,          // 33
    &Make<CRoom>,              // 34
    &Make<CPromoPackage>,      // 35
    &Make<CTableAreas>,        // 36
    &Make<CAllergies>,         // 37
};

// The arguments of Write as the condition takes them. A text argument is
// the address of a zero-terminated text; a missing one, or one that is not a
// whole number where the text goes into the condition unquoted, makes the
// condition fail rather than put the caller's text into the statement as SQL.
class Args {
public:
    Args(intptr_t a, intptr_t b, intptr_t c) : m_values{a, b, c} {}

    std::string Int(int i) const { return xr::Format("%d", static_cast<int>(m_values[i])); }

    // The text as a quoted literal; line breaks as CHAR(13) and CHAR(10), as
    // the writer writes them, since a DELETE's condition goes into the script.
    std::string Quoted(int i) {
        const char* text = Text(i);
        return text ? xr::SqlTextLiteral(text) : std::string();
    }

    std::string Digits(int i) {
        const char* text = Text(i);
        if (!text) return {};
        const char* p = text;
        if (*p == '+' || *p == '-') ++p;
        if (!*p) m_ok = false;
        for (; *p; ++p)
            if (!std::isdigit(static_cast<unsigned char>(*p))) m_ok = false;
        return text;
    }

    bool Ok() const { return m_ok; }

private:
    const char* Text(int i) {
        const char* text = reinterpret_cast<const char*>(m_values[i]);
        if (!text) m_ok = false;
        return text;
    }

    intptr_t m_values[3];
    bool m_ok = true;
};

// The row condition of a selector; false when the selector has none or an
// argument does not fit it.
bool Condition(int selector, Args& x, std::string& out) {
    switch (selector) {
        case 1:
            out = "PLU=" + x.Digits(0);
            break;
        case 2:
            out = "TillNo=" + x.Int(0);
            break;
        case 3:
            out = "1=1";
            break;
        case 4:
            out = "Barcode=" + x.Quoted(0);
            break;
        case 5:
            out = "TillNo=" + x.Int(0) + " AND Name=" + x.Quoted(1);
            break;
        case 6:
            out = "PromNo=" + x.Int(0);
            break;
        case 7:
            out = "PymNo=" + x.Int(0);
            break;
        case 8:
            out = "FuncNo=" + x.Int(0);
            break;
        case 9:
            out = "PlanNo=" + x.Int(0) + " AND EntryNo=" + x.Int(1);
            break;
        case 10:
            out = "PlanNo=" + x.Int(0);
            break;
        case 11:
            out = "SrvNo=" + x.Int(0);
            break;
        case 12:
            out = "TblNo=" + x.Int(0);
            break;
        case 13:
            out = "DptNo=" + x.Int(0);
            break;
        case 14:
            out = "GrpNo=" + x.Int(0);
            break;
        case 15:
            out = "ScrnNo=" + x.Int(0) + " AND PresetNo=" + x.Int(1);
            break;
        case 16:
            out = "MMNo=" + x.Int(0);
            break;
        case 17:
            out = "ForexNo=" + x.Int(0);
            break;
        case 18:
            out = "TillNo=" + x.Int(0);
            break;
        case 19:
            out = "ModNo=" + x.Int(0);
            break;
        case 20:
            out = "AreaID=" + x.Int(0);
            break;
        case 21:
            out = "ScrnNo=" + x.Int(0);
            break;
        case 22:
            out = "ListNo=" + x.Int(0);
            break;
        case 23:
            // b 0: the whole list; c 0: one page; else one item.
            out = "ListNo=" + x.Int(0);
            if (x.Int(1) != "0") {
                out += " AND PageNo=" + x.Int(1);
                if (x.Int(2) != "0") out += " AND ItemNo=" + x.Int(2);
            }
            break;
        case 24:
            out = "MacNo=" + x.Int(0);
            break;
        case 25:
            out = "FieldName=" + x.Quoted(0) + " AND FieldIndex=" + x.Int(1);
            break;
        case 26:
            out = "TillNo=" + x.Int(0) + " AND Preset=" + x.Int(1);
            break;
        case 27:
            out = "OfferGroupID=" + x.Int(0);
            break;
        case 28:
            out = "OfferGroupID=" + x.Int(0) + " AND OfferGroupType=" + x.Int(1) +
                  " AND ID=" + x.Digits(2);
            break;
        case 29:
            out = "SchemeNo=" + x.Int(0);
            break;
        case 30:
            out = "SchemeNo=" + x.Int(0) + " AND LevelNo=" + x.Int(1);
            break;
        case 31:
            out = "[TextName]=" + x.Quoted(0);
            break;
        case 32:
            out = "[SchemeNo]=" + x.Int(0) + " AND [TextName]=" + x.Quoted(1);
            break;
        case 33:
            out = "[ID]=" + x.Int(0);
            break;
        case 34:
            out = "[RoomNo]=" + x.Int(0);
            break;
        case 35:
            out = "[PackageNo]=" + x.Int(0);
            break;
        case 36:
            out = "[AreaID]=" + x.Int(0);
            break;
        default:
            return false;  // 37 (Allergies) is scripted whole only
    }
    return x.Ok();
}

void Put(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

}  // namespace

// ---- CScripter ---------------------------------------------------------------

CScripter::CScripter() = default;

CScripter::~CScripter() { Stop(); }

int CScripter::Start(const std::string& path) {
    m_path = path;
    if (m_script) std::fclose(m_script);
    m_script = path.empty() ? nullptr : std::fopen(path.c_str(), "a");
    return m_script ? 1 : 0;
}

int CScripter::Stop() {
    for (auto& table : m_tables) table.reset();
    if (m_script) std::fclose(m_script);
    m_script = nullptr;
    return 1;
}

int CScripter::Print(const std::string& text) {
    if (!m_script) return 0;
    std::fprintf(m_script, "%s\n", text.c_str());
    return 1;
}

int CScripter::Setup(int selector) {
    if (selector < 1 || selector > kSelectors) return 0;
    if (!m_tables[selector]) m_tables[selector] = kMake[selector]();
    return m_tables[selector] ? 1 : 0;
}

int CScripter::Write(int selector, int mode, intptr_t a, intptr_t b, intptr_t c) {
    if (!m_script || !Setup(selector)) return 0;
    Args args(a, b, c);
    std::string condition;
    if (!Condition(selector, args, condition)) return 0;
    CXRTable& table = *m_tables[selector];
    const std::string& name = table.m_name;
    if (mode == -1) {
        std::fprintf(m_script, "%s\n", ("DELETE FROM " + name + " WHERE " + condition).c_str());
        Put(m_script, "--->GO\n");
        return 1;
    }
    if (mode == -2) {
        std::fprintf(m_script, "%s\n", ("DELETE FROM " + name).c_str());
        Put(m_script, "--->GO\n");
        return 1;
    }
    const std::string sql = "SELECT * FROM " + name + " WHERE " + condition;
    if (!table.OpenRS(sql.c_str()) || table.EndOfFile() != 0) return 0;
    // Only the first matching row.
    return table.AAScriptRecord(m_script, mode, 1);
}

int CScripter::CopyAll(int selector) {
    if (!m_script || !Setup(selector)) return 0;
    CXRTable& table = *m_tables[selector];
    const std::string& name = table.m_name;
    Put(m_script, "-->TABLE: " + name + "\n");
    Put(m_script, "DELETE FROM " + name + "\n--->GO\n\n");
    const std::string sql = "SELECT * FROM " + name;
    for (int onRow = table.MoveFirst(sql.c_str()); onRow; onRow = table.MoveNext())
        table.AAScriptRecord(m_script, 1, 1);
    return 1;
}

int CScripter::GetTableName(int selector, std::string& name) {
    if (!Setup(selector)) return 0;
    name = m_tables[selector]->m_name;
    return 1;
}

// ---- CXRTableUtil and ScriptAll -------------------------------------------------

namespace xr::interchange {

// A table object with no table of its own: it scripts whatever statement it
// is given, on a connection it is handed rather than the thread's.
class CXRTableUtil : public CXRTable {
public:
    int OpenOn(CDBConn& conn, const std::string& sql) {
        return table::Guarded(m_name, 6, 0, [&] {
            CloseRS();
            m_pRS->Open(*conn.m_pConn, sql, engine::adOpenDynamic, engine::adLockOptimistic);
            m_isOpen = IsOpen() ? 1 : 0;
            m_newRecord = 0;
            return m_isOpen;
        });
    }

    // Closes and lets go of the connection's recordset.
    void Release() noexcept {
        m_pRS->Close();
        m_isOpen = 0;
    }
};

namespace {

// Scripts the whole table on `conn`; the file is closed by the caller.
int ScriptWhole(CXRTableUtil& util, std::FILE* f, const std::string& table, bool identity) {
    util.m_script = f;
    Put(f, "-->TABLE: " + table + "\n");
    Put(f, "DELETE FROM " + table + "\n");
    Put(f, "--->GO\n");
    if (identity) Put(f, "SET IDENTITY_INSERT " + table + " ON\n--->GO\n");
    engine::Recordset& rs = *util.m_pRS;
    if (!rs.EndOfFile()) {
        for (rs.MoveFirst(); !rs.EndOfFile(); rs.MoveNext()) util.AAScriptRecord(f, 1, 1);
    }
    if (identity) Put(f, "SET IDENTITY_INSERT " + table + " OFF\n--->GO\n");
    util.m_script = nullptr;
    return 1;
}

}  // namespace

int ScriptAllTables(const char* database, const char* connectString, const char* table,
                    const char* path, int identityInsert) {
    if (!table || !*table || !path || !*path) return 0;
    auto conn = std::make_unique<CDBConn>();
    conn->m_database = SafeText(database);
    if (!conn->Connect(std::string(SafeText(connectString)), nullptr)) return 0;

    CXRTableUtil util;
    util.m_name = table;
    if (!util.OpenOn(*conn, Format("SELECT * FROM %s", table))) return 0;
    std::FILE* f = std::fopen(path, "a");
    if (!f) {
        util.Release();
        return 0;
    }
    int result = 0;
    try {
        result = ScriptWhole(util, f, table, identityInsert != 0);
    } catch (...) {
        table::ReportTable(util.m_name, table::CurrentError(), 2);
        util.m_script = nullptr;
    }
    std::fclose(f);
    util.Release();
    return result;
}

}  // namespace xr::interchange

// ---- the flat exports ----------------------------------------------------------------

namespace {

CScripter* g_scripter = nullptr;  // the active scripter; null when no script is open

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kNoScripter = 501;
constexpr int kScripterActive = 555;

// An export's failure is logged under its name; nothing escapes to the caller.
xr::Logged LoggedAs(const char* name) { return {"%s failed (%s)", "%s failed", name}; }

}  // namespace

int ScriptStart(const char* path) {
    return xr::Shielded(kFailed, LoggedAs("ScriptStart"), [&] {
        if (g_scripter) return kScripterActive;
        g_scripter = new CScripter();
        return g_scripter->Start(std::string(xr::SafeText(path))) ? kOk : kFailed;
    });
}

int ScriptStop() {
    return xr::Shielded(kFailed, LoggedAs("ScriptStop"), [&] {
        if (!g_scripter) return kNoScripter;
        CScripter* scripter = g_scripter;
        g_scripter = nullptr;
        scripter->Stop();
        delete scripter;
        return kOk;
    });
}

int ScriptPrint(const char* text) {
    return xr::Shielded(kFailed, LoggedAs("ScriptPrint"), [&] {
        if (!g_scripter) return kNoScripter;
        return g_scripter->Print(std::string(xr::SafeText(text))) ? kOk : kFailed;
    });
}

int ScriptWrite(int selector, int mode, intptr_t a, intptr_t b, intptr_t c) {
    return xr::Shielded(kFailed, LoggedAs("ScriptWrite"), [&] {
        if (!g_scripter) return kNoScripter;
        return g_scripter->Write(selector, mode, a, b, c) > 0 ? kOk : kFailed;
    });
}

int ScriptCopyAll(int selector) {
    return xr::Shielded(kFailed, LoggedAs("ScriptCopyAll"), [&] {
        if (!g_scripter) return kNoScripter;
        return g_scripter->CopyAll(selector) > 0 ? kOk : kFailed;
    });
}

int ScriptGetName(int selector, char* buffer, int size) {
    return xr::Shielded(kFailed, LoggedAs("ScriptGetName"), [&] {
        if (!g_scripter) return kNoScripter;
        std::string name;
        if (!g_scripter->GetTableName(selector, name) || !buffer) return kFailed;
        if (size > 0) std::strncpy(buffer, name.c_str(), static_cast<size_t>(size));
        return kOk;
    });
}

int ScriptAll(const char* database, const char* connectString, const char* table, const char* path,
              int identityInsert) {
    const xr::Logged logged{"ScriptAll failed (%s)", "ScriptAll failed"};
    return xr::Shielded(0, logged, [&] {
        return xr::interchange::ScriptAllTables(database, connectString, table, path,
                                                identityInsert);
    });
}
