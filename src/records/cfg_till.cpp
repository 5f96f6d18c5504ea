// CCfgTill: one till's configuration, "CfgTills" through cfgtill_def and the
// two extended messages.
#include <cstring>

#include "platform/text.h"
#include "records/column_map.h"
#include "table/xrtable.h"
#include "xrdb8/records_config.h"

using namespace xr::records;

namespace {

// Blocks: 0 the structure, 1 and 2 the sixth receipt and bill messages.
constexpr uint8_t kRct6 = 1;
constexpr uint8_t kBill6 = 2;
constexpr FieldRef kMess6Rct{0, 41, kRct6};
constexpr FieldRef kMess6Bill{0, 41, kBill6};

constexpr Column kCfgTillMap[] = {
    Col("TillNo", XR_FIELD(cfgtill_def, TillNo), Kind::kU16),
    Col("Name", XR_FIELD(cfgtill_def, Name), Kind::kText),
    Col("RMess1", XR_FIELD(cfgtill_def, RMess[0]), Kind::kText),
    Col("RMess2", XR_FIELD(cfgtill_def, RMess[1]), Kind::kText),
    Col("RMess3", XR_FIELD(cfgtill_def, RMess[2]), Kind::kText),
    Col("RMess4", XR_FIELD(cfgtill_def, RMess[3]), Kind::kText),
    Col("RMess5", XR_FIELD(cfgtill_def, RMess[4]), Kind::kText),
    Col("BMess1", XR_FIELD(cfgtill_def, BMess[0]), Kind::kText),
    Col("BMess2", XR_FIELD(cfgtill_def, BMess[1]), Kind::kText),
    Col("BMess3", XR_FIELD(cfgtill_def, BMess[2]), Kind::kText),
    Col("BMess4", XR_FIELD(cfgtill_def, BMess[3]), Kind::kText),
    Col("BMess5", XR_FIELD(cfgtill_def, BMess[4]), Kind::kText),
    Col("Mode", XR_FIELD(cfgtill_def, Mode), Kind::kU16),
    Col("PrRct", XR_FIELD(cfgtill_def, PrRct), Kind::kText),
    Col("PrSlp", XR_FIELD(cfgtill_def, PrSlp), Kind::kText),
    Col("PrAud", XR_FIELD(cfgtill_def, PrAud), Kind::kText),
    Col("PrRpt", XR_FIELD(cfgtill_def, PrRpt), Kind::kText),
    Col("prDsp1", XR_FIELD(cfgtill_def, PrDsp[0]), Kind::kText),
    Col("prDsp2", XR_FIELD(cfgtill_def, PrDsp[1]), Kind::kText),
    Col("prDsp3", XR_FIELD(cfgtill_def, PrDsp[2]), Kind::kText),
    Col("prDsp4", XR_FIELD(cfgtill_def, PrDsp[3]), Kind::kText),
    Col("prDsp5", XR_FIELD(cfgtill_def, PrDsp[4]), Kind::kText),
    Col("prDsp6", XR_FIELD(cfgtill_def, PrDsp[5]), Kind::kText),
    Col("prDsp7", XR_FIELD(cfgtill_def, PrDsp[6]), Kind::kText),
    Col("prDsp8", XR_FIELD(cfgtill_def, PrDsp[7]), Kind::kText),
    Col("prDsp9", XR_FIELD(cfgtill_def, PrDsp[8]), Kind::kText),
    Col("PrChq", XR_FIELD(cfgtill_def, PrChq), Kind::kText),
    Col("PrEft", XR_FIELD(cfgtill_def, PrEft), Kind::kText),
    Col("PrBil", XR_FIELD(cfgtill_def, PrBil), Kind::kText),
    Col("PrVch", XR_FIELD(cfgtill_def, PrVch), Kind::kText),
    Col("PrRsv", XR_FIELD(cfgtill_def, PrRsv), Kind::kText),
    Col("TblMin", XR_FIELD(cfgtill_def, TblMin), Kind::kU16),
    Col("TblMax", XR_FIELD(cfgtill_def, TblMax), Kind::kU16),
    Col("PrcVip", XR_FIELD(cfgtill_def, PrcVip), Kind::kU16),
    Col("PrcDflt", XR_FIELD(cfgtill_def, PrcDflt), Kind::kU16),
    Col("QtyMax", XR_FIELD(cfgtill_def, QtyMax), Kind::kI32),
    Col("LogSize", XR_FIELD(cfgtill_def, LogSize), Kind::kU16),
    Col("LogMode", XR_FIELD(cfgtill_def, LogMode), Kind::kU16),
    // The audit and log settings of transactions and items are two bits wide.
    Bits("AuditTrn", XR_FIELD(cfgtill_def, AuditFlags), 0x0003),
    Bits("LogitTrn", XR_FIELD(cfgtill_def, AuditFlags), 0x000C),
    Bits("AuditItm", XR_FIELD(cfgtill_def, AuditFlags), 0x0030),
    Bits("LogitItm", XR_FIELD(cfgtill_def, AuditFlags), 0x00C0),
    Bits("AuditFnc", XR_FIELD(cfgtill_def, AuditFlags), 0x0100),
    Bits("LogitFnc", XR_FIELD(cfgtill_def, AuditFlags), 0x0200),
    Bits("AuditAll", XR_FIELD(cfgtill_def, AuditFlags), 0x0400),
    Bits("LogitAll", XR_FIELD(cfgtill_def, AuditFlags), 0x0800),
    Col("CashDecl", XR_FIELD(cfgtill_def, CashDecl), Kind::kU16),
    Bits("AutoRect", XR_FIELD(cfgtill_def, Options), 0x0001),
    Bits("Valid", XR_FIELD(cfgtill_def, Options), 0x0002),
    Bits("BillProg", XR_FIELD(cfgtill_def, Options), 0x0004),
    Bits("AutoRelease", XR_FIELD(cfgtill_def, Options), 0x0008),
    Bits("StayDown", XR_FIELD(cfgtill_def, Options), 0x0010),
    Bits("VatRct", XR_FIELD(cfgtill_def, Options), 0x0020),
    Bits("ItmRct", XR_FIELD(cfgtill_def, Options), 0x0040),
    Bits("StayDownVoid", XR_FIELD(cfgtill_def, Options), 0x0100),
    Bits("AutoLoyalty", XR_FIELD(cfgtill_def, Options), 0x0200),
    Col("KbNo", XR_FIELD(cfgtill_def, KbNo), Kind::kU16),
    Col("Drawers", XR_FIELD(cfgtill_def, Drawers), Kind::kU16, kAsShort),
    Col("ScanPort", XR_FIELD(cfgtill_def, ScanPort), Kind::kU16),
    Col("ScrType", XR_FIELD(cfgtill_def, ScrType), Kind::kU16),
    Col("ScrlTime", XR_FIELD(cfgtill_def, ScrlTime), Kind::kU16),
    Col("ScrlText", XR_FIELD(cfgtill_def, ScrlText), Kind::kText),
    Col("ConsolPrt", XR_FIELD(cfgtill_def, ConsolPrt), Kind::kI32),
    Col("TimePlan", XR_FIELD(cfgtill_def, TimePlan), Kind::kI32),
    // Came later than the other options, and so stands apart from them.
    Bits("ForexAllow", XR_FIELD(cfgtill_def, Options), 0x0400),
    // The sixth messages are kept for the tills that print them; this class
    // does not write them, so a till saving its configuration cannot clear them.
    Col("RMess6", kMess6Rct, Kind::kText, kReadOnly),
    Col("BMess6", kMess6Bill, Kind::kText, kReadOnly),
};
static_assert(FitsIn(kCfgTillMap, sizeof(cfgtill_def)));

// Call-site code of Copy.
constexpr int kCopy = 543;

const char* Message(const char (&five)[5][41], const char (&sixth)[41], int n) {
    if (n >= 0 && n < 5) return five[n];
    if (n == 5) return sixth;
    return "";
}

}  // namespace

CCfgTill::CCfgTill() : m_rctMess6{}, m_billMess6{} {
    m_name = "CfgTills";
    m_orderBy = "TillNo";
    m_keys[0] = "TillNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CCfgTill::CCfgTill(const CCfgTill& other) : CXRTable(other), m_def(other.m_def) {
    std::memcpy(m_rctMess6, other.m_rctMess6, sizeof m_rctMess6);
    std::memcpy(m_billMess6, other.m_billMess6, sizeof m_billMess6);
    m_columns = other.m_columns;
}

CCfgTill& CCfgTill::operator=(const CCfgTill& other) {
    if (this == &other) return *this;
    CXRTable::operator=(other);
    m_def = other.m_def;
    std::memcpy(m_rctMess6, other.m_rctMess6, sizeof m_rctMess6);
    std::memcpy(m_billMess6, other.m_billMess6, sizeof m_billMess6);
    m_columns = other.m_columns;
    return *this;
}

CCfgTill::~CCfgTill() = default;

int CCfgTill::StructureTo() {
    ReadRow(*this, kCfgTillMap, m_columns, {&m_def, m_rctMess6, m_billMess6});
    return 1;
}

int CCfgTill::StructureFrom() {
    WriteRow(*this, kCfgTillMap, m_columns, {&m_def, m_rctMess6, m_billMess6});
    return 1;
}

int CCfgTill::Equ(int tillNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM CfgTills WHERE Tillno=%d", tillNo));
}

int CCfgTill::AddUpdate(cfgtill_def& def) {
    const cfgtill_def given = def;
    return StoreRecord(*this, Equ(given.TillNo) == 1, &m_def, &given, sizeof given);
}

const char* CCfgTill::GetRctMess(int n) { return Message(m_def.RMess, m_rctMess6, n); }

const char* CCfgTill::GetBillMess(int n) { return Message(m_def.BMess, m_billMess6, n); }

int CCfgTill::IsExtendedRctMess() {
    return GetRctMess(3)[0] || GetRctMess(4)[0] || GetRctMess(5)[0] ? 1 : 0;
}

int CCfgTill::IsExtendedBillMess() {
    return GetBillMess(3)[0] || GetBillMess(4)[0] || GetBillMess(5)[0] ? 1 : 0;
}

int CCfgTill::Copy(int fromTill, int toTill) {
    CloseRS();
    if (!OpenRSStatic(xr::Format("SELECT * FROM CfgTills WHERE Tillno=%d", fromTill).c_str()))
        return 0;
    if (!Clone()) return 0;
    if (!AddNew()) return 0;
    // From here on a new row is pending: every way out that fails drops it.
    auto dropNewRow = [this] {
        try {
            m_pRS->CancelUpdate();
        } catch (...) {
        }
    };
    if (!CopyFromClone()) {
        dropNewRow();
        return 0;
    }
    if (!SetField(GetKeyName(0), static_cast<int32_t>(toTill))) {
        dropNewRow();
        return 0;
    }
    try {
        if (m_pClone) m_pClone->Close();
        // The recordset's own update: the row is a copy, not the structure.
        m_pRS->Update();
        return 1;
    } catch (...) {
        const xr::ComError error = xr::table::CurrentError();
        dropNewRow();
        xr::table::ReportTable(m_name, error, kCopy);
    }
    return 0;
}
