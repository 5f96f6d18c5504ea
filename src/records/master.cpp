// Barcodes, departments, groups, price modifiers and mix-and-match offers:
// the plain record classes, each a structure, a map and a key.
#include <cstring>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_master.h"

using namespace xr::records;

namespace {

constexpr Column kBarcMap[] = {
    Col("PLU", XR_FIELD(barc_def, PLU), Kind::kU64),
    Col("Barcode", XR_FIELD(barc_def, Barcode), Kind::kText),
};
static_assert(FitsIn(kBarcMap, sizeof(barc_def)));

constexpr Column kDeptMap[] = {
    Col("DptNo", XR_FIELD(dept_def, DptNo), Kind::kU16),
    Col("GrpNo", XR_FIELD(dept_def, GrpNo), Kind::kU16),
    Col("Name", XR_FIELD(dept_def, Name), Kind::kText),
    Col("Tickets", XR_FIELD(dept_def, Tickets), Kind::kU16),
    Bits("QtyDP", XR_FIELD(dept_def, Flags), 0x0001),
    Bits("ValNeg", XR_FIELD(dept_def, Flags), 0x0002),
};
static_assert(FitsIn(kDeptMap, sizeof(dept_def)));

constexpr Column kGroupMap[] = {
    Col("GrpNo", XR_FIELD(group_def, GrpNo), Kind::kU16),
    Col("Name", XR_FIELD(group_def, Name), Kind::kText),
};
static_assert(FitsIn(kGroupMap, sizeof(group_def)));

constexpr Column kPLUModifierMap[] = {
    Col("ModNo", XR_FIELD(plumod2_def, ModNo), Kind::kI32),
    Col("Name", XR_FIELD(plumod2_def, Name), Kind::kText),
    Col("Mult", XR_FIELD(plumod2_def, Mult), Kind::kDouble),
};
static_assert(FitsIn(kPLUModifierMap, sizeof(plumod2_def)));

constexpr Column kMixMatchMap[] = {
    Col("MMNo", XR_FIELD(mixmatch2_def, MMNo), Kind::kI32),
    Col("Plu", XR_FIELD(mixmatch2_def, Plu), Kind::kU64),
    Col("MMValue", XR_FIELD(mixmatch2_def, MMValue), Kind::kMoney),
    Col("Enable", XR_FIELD(mixmatch2_def, Enable), Kind::kU16),
    Col("DateStart", XR_FIELD(mixmatch2_def, DateStart), Kind::kDate8),
    Col("DateEnd", XR_FIELD(mixmatch2_def, DateEnd), Kind::kDate8),
    Col("Count1", XR_FIELD(mixmatch2_def, Count[0]), Kind::kI16),
    Col("Count2", XR_FIELD(mixmatch2_def, Count[1]), Kind::kI16),
    Col("Count3", XR_FIELD(mixmatch2_def, Count[2]), Kind::kI16),
    Col("Count4", XR_FIELD(mixmatch2_def, Count[3]), Kind::kI16),
    Col("Count5", XR_FIELD(mixmatch2_def, Count[4]), Kind::kI16),
};
static_assert(FitsIn(kMixMatchMap, sizeof(mixmatch2_def)));

}  // namespace

// ---- CBarc ------------------------------------------------------------------------

CBarc::CBarc() {
    m_name = "Barcodes";
    m_orderBy = "Barcode";
    m_keys[0] = "Barcode";
    std::memset(&m_def, 0, sizeof m_def);
}

CBarc::CBarc(const CBarc& other) = default;
CBarc& CBarc::operator=(const CBarc& other) = default;
CBarc::~CBarc() = default;

int CBarc::StructureTo() {
    ReadRow(*this, kBarcMap, m_columns, {&m_def});
    return 1;
}

int CBarc::StructureFrom() {
    WriteRow(*this, kBarcMap, m_columns, {&m_def});
    return 1;
}

int CBarc::Equ(const char* barcode) {
    // The barcode is the caller's text: its quotes are doubled so that it
    // stays a value and cannot end the statement.
    return OpenKey(*this, "SELECT * FROM Barcodes WHERE Barcode='" +
                              xr::QuoteSql(xr::SafeText(barcode)) + "'");
}

int CBarc::AddUpdate(barc_def& def) {
    const barc_def given = def;
    // A barcode that fills all 15 bytes has no terminator.
    const std::string barcode(given.Barcode, strnlen(given.Barcode, sizeof given.Barcode));
    return StoreRecord(*this, Equ(barcode.c_str()) == 1, &m_def, &given, sizeof given);
}

// ---- CDept ------------------------------------------------------------------------

CDept::CDept() {
    m_name = "Depts";
    m_orderBy = "DptNo";
    m_keys[0] = "DptNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CDept::CDept(const CDept& other) = default;
CDept& CDept::operator=(const CDept& other) = default;
CDept::~CDept() = default;

int CDept::StructureTo() {
    ReadRow(*this, kDeptMap, m_columns, {&m_def});
    return 1;
}

int CDept::StructureFrom() {
    WriteRow(*this, kDeptMap, m_columns, {&m_def});
    return 1;
}

int CDept::Equ(int dptNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Depts WHERE DptNo=%d", dptNo));
}

int CDept::AddUpdate(dept_def& def) {
    const dept_def given = def;
    return StoreRecord(*this, Equ(given.DptNo) == 1, &m_def, &given, sizeof given);
}

// ---- CGroup -----------------------------------------------------------------------

CGroup::CGroup() {
    m_name = "Groups";
    m_orderBy = "GrpNo";
    m_keys[0] = "GrpNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CGroup::CGroup(const CGroup& other) = default;
CGroup& CGroup::operator=(const CGroup& other) = default;
CGroup::~CGroup() = default;

int CGroup::StructureTo() {
    ReadRow(*this, kGroupMap, m_columns, {&m_def});
    return 1;
}

int CGroup::StructureFrom() {
    WriteRow(*this, kGroupMap, m_columns, {&m_def});
    return 1;
}

int CGroup::Equ(int grpNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Groups WHERE GrpNo=%d", grpNo));
}

int CGroup::AddUpdate(group_def& def) {
    const group_def given = def;
    return StoreRecord(*this, Equ(given.GrpNo) == 1, &m_def, &given, sizeof given);
}

// ---- CPLUModifier -------------------------------------------------------------------

CPLUModifier::CPLUModifier() {
    m_name = "PLUModifiers";
    m_orderBy = "ModNo";
    m_keys[0] = "ModNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CPLUModifier::CPLUModifier(const CPLUModifier& other) = default;
CPLUModifier& CPLUModifier::operator=(const CPLUModifier& other) = default;
CPLUModifier::~CPLUModifier() = default;

int CPLUModifier::StructureTo() {
    ReadRow(*this, kPLUModifierMap, m_columns, {&m_def});
    return 1;
}

int CPLUModifier::StructureFrom() {
    WriteRow(*this, kPLUModifierMap, m_columns, {&m_def});
    return 1;
}

int CPLUModifier::Equ(int modNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM PLUModifiers WHERE ModNo=%d", modNo));
}

int CPLUModifier::AddUpdate(plumod2_def& def) {
    const plumod2_def given = def;
    return StoreRecord(*this, Equ(given.ModNo) == 1, &m_def, &given, sizeof given);
}

// ---- CMixMatch ------------------------------------------------------------------------

CMixMatch::CMixMatch() {
    m_name = "MixMatch";
    m_orderBy = "MMNo";
    m_keys[0] = "MMNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CMixMatch::CMixMatch(const CMixMatch& other) = default;
CMixMatch& CMixMatch::operator=(const CMixMatch& other) = default;
CMixMatch::~CMixMatch() = default;

int CMixMatch::StructureTo() {
    ReadRow(*this, kMixMatchMap, m_columns, {&m_def});
    return 1;
}

int CMixMatch::StructureFrom() {
    WriteRow(*this, kMixMatchMap, m_columns, {&m_def});
    return 1;
}

int CMixMatch::Equ(int mmNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM MixMatch WHERE MMNo=%d", mmNo));
}

int CMixMatch::AddUpdate(mixmatch2_def& def) {
    const mixmatch2_def given = def;
    return StoreRecord(*this, Equ(given.MMNo) == 1, &m_def, &given, sizeof given);
}

// ---- CMixMatchPlus: no structure ------------------------------------------------------

CMixMatchPlus::CMixMatchPlus() {
    m_name = "MixMatchPlus";
    m_orderBy = "MMNo";
    m_keys[0] = "MMNo";
}

int CMixMatchPlus::Equ(int mmNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM MixMatchPlus WHERE [MMNo]=%d", mmNo));
}
