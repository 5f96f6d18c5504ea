// CCfgSys: the system's configuration, the one row of "CfgSys".
#include <cstring>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_config.h"

using namespace xr::records;

namespace {

// Block 1: the object's own copy of the whole "SysFlags" column. The set-up
// keeps markers in its upper bits that the tills' 16-bit field cannot carry.
constexpr uint8_t kSysFlags = 1;

constexpr Column kCfgSysMap[] = {
    Col("Numb", XR_FIELD(cfgsys_def, Numb), Kind::kI16),
    Col("Name1", XR_FIELD(cfgsys_def, Name[0]), Kind::kText),
    Col("Name2", XR_FIELD(cfgsys_def, Name[1]), Kind::kText),
    Col("Name3", XR_FIELD(cfgsys_def, Name[2]), Kind::kText),
    Col("Name4", XR_FIELD(cfgsys_def, Name[3]), Kind::kText),
    Col("Name5", XR_FIELD(cfgsys_def, Name[4]), Kind::kText),
    Col("Vatr", XR_FIELD(cfgsys_def, Vatr), Kind::kText),
    Col("Vatv1", XR_FIELD(cfgsys_def, Vatv[0]), Kind::kFloatDec),
    Col("Vatv2", XR_FIELD(cfgsys_def, Vatv[1]), Kind::kFloatDec),
    Col("Vatv3", XR_FIELD(cfgsys_def, Vatv[2]), Kind::kFloatDec),
    Col("Vatv4", XR_FIELD(cfgsys_def, Vatv[3]), Kind::kFloatDec),
    Col("Vatv5", XR_FIELD(cfgsys_def, Vatv[4]), Kind::kFloatDec),
    Col("Vatv6", XR_FIELD(cfgsys_def, Vatv[5]), Kind::kFloatDec),
    Col("Tills", XR_FIELD(cfgsys_def, Tills), Kind::kU16),
    Col("EowDay", XR_FIELD(cfgsys_def, EowDay), Kind::kU16),
    Col("PluMax", XR_FIELD(cfgsys_def, PluMax), Kind::kU16),
    Col("SrvMax", XR_FIELD(cfgsys_def, SrvMax), Kind::kU16),
    Col("TblMax", XR_FIELD(cfgsys_def, TblMax), Kind::kU16),
    Col("Master", XR_FIELD(cfgsys_def, Master), Kind::kI16),
    Col("WkCnt", XR_FIELD(cfgsys_def, WkCnt), Kind::kI16),
    Col("DayCnt", XR_FIELD(cfgsys_def, DayCnt), Kind::kI16),
    Col("SysFlags", Whole<int32_t>(kSysFlags), Kind::kI32),
    Col("RepFlags", XR_FIELD(cfgsys_def, RepFlags), Kind::kU16),
    Col("Eft", XR_FIELD(cfgsys_def, Eft), Kind::kU16),
    Col("Loyalty", XR_FIELD(cfgsys_def, Loyalty), Kind::kU16),
};
static_assert(FitsIn(kCfgSysMap, sizeof(cfgsys_def)));

}  // namespace

CCfgSys::CCfgSys() : m_sysFlags(0) {
    m_name = "CfgSys";
    std::memset(&m_def, 0, sizeof m_def);
}

CCfgSys::CCfgSys(const CCfgSys& other)
    : CXRTable(other),
      m_def(other.m_def),
      m_sysFlags(other.m_sysFlags),
      m_columns(other.m_columns) {}

CCfgSys& CCfgSys::operator=(const CCfgSys& other) {
    if (this == &other) return *this;
    CXRTable::operator=(other);
    m_def = other.m_def;
    m_columns = other.m_columns;
    return *this;
}

CCfgSys::~CCfgSys() = default;

int CCfgSys::StructureTo() {
    ReadRow(*this, kCfgSysMap, m_columns, {&m_def, &m_sysFlags});
    m_def.SysFlags = static_cast<uint16_t>(m_sysFlags);
    return 1;
}

int CCfgSys::StructureFrom() {
    WriteRow(*this, kCfgSysMap, m_columns, {&m_def, &m_sysFlags});
    return 1;
}

int CCfgSys::Load() { return OpenKey(*this, "SELECT * FROM CfgSys"); }

int CCfgSys::Equ(int numb) {
    return OpenKey(*this, xr::Format("SELECT * FROM CfgSys WHERE [Numb]=%d", numb));
}

int CCfgSys::AddUpdate(cfgsys_def& def) {
    const cfgsys_def given = def;
    return StoreRecord(*this, Load() == 1, &m_def, &given, sizeof given);
}
