// Payment methods with their names and texts, foreign currencies and
// function keys.
#include <cstring>
#include <string>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_payment.h"

using namespace xr::records;

namespace {

// ---- CPayMeth -----------------------------------------------------------------------

// Blocks: 0 the structure, 1 the payment text.
constexpr uint8_t kPayText = 1;

// The name is stored whole and kept in the structure without its marker;
// "Eft" and "Cashback" together make one two-bit state.
enum : uint32_t { kPayName = 1, kEftCashback };

constexpr Column kPayMethMap[] = {
    Col("PymNo", XR_FIELD(paymeth_def, PymNo), Kind::kU16),
    Custom("Name", kPayName),
    Col("Floor", XR_FIELD(paymeth_def, Floor), Kind::kMoney),
    BitSet("Tender", XR_FIELD(paymeth_def, Flags), PYM_TENDER),
    BitSet("OverTender", XR_FIELD(paymeth_def, Flags), PYM_OVERTENDER),
    BitSet("Change", XR_FIELD(paymeth_def, Flags), PYM_CHANGE),
    BitSet("Gratuity", XR_FIELD(paymeth_def, Flags), PYM_GRATUITY),
    BitSet("Drawer", XR_FIELD(paymeth_def, Flags), PYM_DRAWER),
    Custom("Eft", kEftCashback),
    BitSet("NonBank", XR_FIELD(paymeth_def, Flags), PYM_NONBANK),
    BitSet("AltCur", XR_FIELD(paymeth_def, Flags), PYM_ALTCUR),
    BitSet("RctPrint", XR_FIELD(paymeth_def, Flags), PYM_RCTPRINT),
    BitSet("CustNP", XR_FIELD(paymeth_def, Flags), PYM_CUSTNP),
    Col("PayText", Whole<std::string>(kPayText), Kind::kString),
};
static_assert(FitsIn(kPayMethMap, sizeof(paymeth_def)));

constexpr Column kFullName = Col("Name", Whole<std::string>(0), Kind::kString);
constexpr Column kNameField = Col("Name", XR_FIELD(paymeth_def, Name), Kind::kText);
constexpr Column kEftValue = Col("Eft", Whole<int32_t>(0), Kind::kI32);
// Writing: "Eft" takes the two-bit state (1 without, 2 with cashback),
// "Cashback" its upper bit.
constexpr Column kEftBits = Bits("Eft", XR_FIELD(paymeth_def, Flags), PYM_EFT | PYM_EFTCASHBACK);
constexpr Column kCashbackBit = Bits("Cashback", XR_FIELD(paymeth_def, Flags), PYM_EFTCASHBACK);

constexpr std::string_view kNumberMarker = "${N}";

// `text` with every number marker replaced by `number`.
std::string ReplaceMarker(const std::string& text, std::string_view number) {
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at; (at = text.find(kNumberMarker, from)) != std::string::npos;
         from = at + kNumberMarker.size()) {
        out.append(text, from, at - from);
        out.append(number);
    }
    out.append(text, from, std::string::npos);
    return out;
}

// ---- CForex, CFunction ------------------------------------------------------------------

constexpr Column kForexMap[] = {
    Col("ForexNo", XR_FIELD(forex_def, ForexNo), Kind::kI32),
    Col("Description", XR_FIELD(forex_def, Description), Kind::kText),
    Col("Symbol", XR_FIELD(forex_def, Symbol), Kind::kText),
    Col("DP", XR_FIELD(forex_def, DP), Kind::kI16),
    Col("toPound", XR_FIELD(forex_def, toPound), Kind::kDouble),
    Col("EntryNoDP", XR_FIELD(forex_def, EntryNoDP), Kind::kI32),
};
static_assert(FitsIn(kForexMap, sizeof(forex_def)));

constexpr Column kFunctionMap[] = {
    Col("Name", XR_FIELD(funcctrl2_def, Name), Kind::kText),
    Col("FuncNo", XR_FIELD(funcctrl2_def, FuncNo), Kind::kI32),
    Col("Auth", XR_FIELD(funcctrl2_def, Auth), Kind::kI16),
    BitSet("Password", XR_FIELD(funcctrl2_def, Flags), FUNC_PASSWORD),
    BitSet("Audit", XR_FIELD(funcctrl2_def, Flags), FUNC_AUDIT),
    BitSet("Log", XR_FIELD(funcctrl2_def, Flags), FUNC_LOG),
    BitSet("Auditable", XR_FIELD(funcctrl2_def, Flags), FUNC_AUDITABLE),
};
static_assert(FitsIn(kFunctionMap, sizeof(funcctrl2_def)));

}  // namespace

// ---- CPayMeth -------------------------------------------------------------------------

CPayMeth::CPayMeth() {
    m_name = "PayMeths";
    m_orderBy = "PymNo";
    m_keys[0] = "PymNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CPayMeth::CPayMeth(const CPayMeth& other) = default;
CPayMeth& CPayMeth::operator=(const CPayMeth& other) = default;
CPayMeth::~CPayMeth() = default;

int CPayMeth::StructureTo() {
    ReadRow(*this, kPayMethMap, m_columns, {&m_def, &m_payText},
            [this](const Column& c, int32_t& pos) {
                if (c.offset == kPayName) {
                    ReadEntry(*this, kFullName, pos, &m_fullName);
                    // The till shows the name with its number put in; the
                    // structure has room for 21 characters of the rest.
                    const std::string bare = ReplaceMarker(m_fullName, "");
                    const size_t n = std::min(bare.size(), sizeof m_def.Name - 1);
                    std::memcpy(m_def.Name, bare.data(), n);
                    m_def.Name[n] = 0;
                    return;
                }
                int32_t eft = 0;
                ReadEntry(*this, kEftValue, pos, &eft);
                m_def.Flags &= static_cast<uint16_t>(~(PYM_EFT | PYM_EFTCASHBACK));
                if (eft == 0) return;
                int32_t cashback = 0;
                GetField("Cashback", cashback);
                m_def.Flags |= cashback != 0 ? PYM_EFTCASHBACK : PYM_EFT;
            });
    return 1;
}

int CPayMeth::StructureFrom() {
    WriteRow(*this, kPayMethMap, m_columns, {&m_def, &m_payText}, false,
             [this](const Column& c, int32_t& pos) {
                 if (c.offset == kPayName) {
                     WriteEntry(*this, kNameField, pos, &m_def);
                     return;
                 }
                 WriteEntry(*this, kEftBits, pos, &m_def);
                 int32_t cashbackPos = -1;
                 WriteEntry(*this, kCashbackBit, cashbackPos, &m_def);
             });
    return 1;
}

int CPayMeth::Equ(int pymNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM PayMeths WHERE PymNo=%d", pymNo));
}

int CPayMeth::AddUpdate(paymeth_def& def) {
    const paymeth_def given = def;
    return StoreRecord(*this, Equ(given.PymNo) == 1, &m_def, &given, sizeof given);
}

const char* CPayMeth::GetName(int n) {
    if (n == 0) return m_def.Name;
    // The name is text, not a format: a percent sign in it stays as it is.
    m_numberedName = ReplaceMarker(m_fullName, std::to_string(n));
    return m_numberedName.c_str();
}

int CPayMeth::TextAdd(int pymNo, const std::string& text) {
    if (!Equ(pymNo)) return 0;
    m_payText = text;
    return Update(0);
}

int CPayMeth::TextGet(int pymNo, std::string& text) {
    if (!Equ(pymNo)) return 0;
    text = m_payText;
    return 1;
}

// ---- CForex ---------------------------------------------------------------------------

CForex::CForex() {
    m_name = "Forex";
    m_orderBy = "ForexNo";
    m_keys[0] = "ForexNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CForex::CForex(const CForex& other) = default;
CForex& CForex::operator=(const CForex& other) = default;
CForex::~CForex() = default;

int CForex::StructureTo() {
    ReadRow(*this, kForexMap, m_columns, {&m_def});
    return 1;
}

int CForex::StructureFrom() {
    WriteRow(*this, kForexMap, m_columns, {&m_def});
    return 1;
}

int CForex::Equ(int forexNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Forex WHERE ForexNo=%d", forexNo));
}

int CForex::AddUpdate(forex_def& def) {
    const forex_def given = def;
    return StoreRecord(*this, Equ(given.ForexNo) == 1, &m_def, &given, sizeof given);
}

// ---- CFunction ------------------------------------------------------------------------

CFunction::CFunction() {
    m_name = "Functions";
    m_orderBy = "FuncNo";
    m_keys[0] = "FuncNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CFunction::CFunction(const CFunction& other) = default;
CFunction& CFunction::operator=(const CFunction& other) = default;
CFunction::~CFunction() = default;

int CFunction::StructureTo() {
    ReadRow(*this, kFunctionMap, m_columns, {&m_def});
    return 1;
}

int CFunction::StructureFrom() {
    WriteRow(*this, kFunctionMap, m_columns, {&m_def});
    return 1;
}

int CFunction::Equ(int funcNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Functions WHERE FuncNo=%d", funcNo));
}

int CFunction::AddUpdate(funcctrl2_def& def) {
    const funcctrl2_def given = def;
    return StoreRecord(*this, Equ(given.FuncNo) == 1, &m_def, &given, sizeof given);
}
