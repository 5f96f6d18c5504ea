// Time plans: CTimePlan over the entries ("TimePlanEntrys") and CTimePlanHdr
// over the headers ("TimePlans").
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_payment.h"

using namespace xr::records;

namespace {

// Blocks: 0 the structure, 1 the times as the table holds them.
constexpr uint8_t kTimes = 1;
enum { kStartHours, kStartMins, kEndHours, kEndMins, kEndPeriod, kTimeCount };

// What the structure holds in its own way: the name lives outside it, and a
// write always stores an empty "SPam1".
enum : uint32_t { kEntryName = 1, kSPam1 };

constexpr Column kTimePlanMap[] = {
    Col("PlanNo", XR_FIELD(schedule_def, PlanNo), Kind::kI32),
    Col("EntryNo", XR_FIELD(schedule_def, EntryNo), Kind::kI32),
    BitSet("Type", XR_FIELD(schedule_def, TypeFlags), 0x1),
    BitSet("Sunday", XR_FIELD(schedule_def, Days), SCHED_SUNDAY),
    BitSet("Monday", XR_FIELD(schedule_def, Days), SCHED_MONDAY),
    BitSet("Tuesday", XR_FIELD(schedule_def, Days), SCHED_TUESDAY),
    BitSet("Wednesday", XR_FIELD(schedule_def, Days), SCHED_WEDNESDAY),
    BitSet("Thursday", XR_FIELD(schedule_def, Days), SCHED_THURSDAY),
    BitSet("Friday", XR_FIELD(schedule_def, Days), SCHED_FRIDAY),
    BitSet("Saturday", XR_FIELD(schedule_def, Days), SCHED_SATURDAY),
    Col("StartHours", Element<int32_t>(kTimes, kStartHours), Kind::kI32),
    Col("StartMins", Element<int32_t>(kTimes, kStartMins), Kind::kI32),
    Col("EndHours", Element<int32_t>(kTimes, kEndHours), Kind::kI32),
    Col("EndMins", Element<int32_t>(kTimes, kEndMins), Kind::kI32),
    Col("EndPeriod", Element<int32_t>(kTimes, kEndPeriod), Kind::kI32),
    Col("IPam1", XR_FIELD(schedule_def, IPam1), Kind::kI32),
    Col("IPam2", XR_FIELD(schedule_def, IPam2), Kind::kI32),
    Custom("SPam1", kSPam1),
    Custom("Name", kEntryName),
    Col("Active", XR_FIELD(schedule_def, Active), Kind::kI32),
};
static_assert(FitsIn(kTimePlanMap, sizeof(schedule_def)));
static_assert(FitsIn(kTimePlanMap, kTimeCount * sizeof(int32_t), kTimes));

constexpr Column kNameRead = Col("Name", FieldRef{0, 40, 0}, Kind::kText);
constexpr Column kNameWrite = Col("Name", Whole<std::string>(0), Kind::kString);
constexpr Column kSPam1Write = Col("SPam1", FieldRef{0, 1, 0}, Kind::kText);

// The name an entry without one of its own is stored with.
constexpr char kDefaultName[] = "default";

}  // namespace

// ---- CTimePlan ------------------------------------------------------------------------

CTimePlan::CTimePlan() : m_pName(nullptr), m_entryName{} {
    m_name = "TimePlanEntrys";
    m_orderBy = "PlanNo, EntryNo";
    m_keys[0] = "PlanNo";
    m_keys[1] = "EntryNo";
    std::memset(&m_def, 0, sizeof m_def);
}

// A copy's name pointer designates the copy's own name where the original's
// designated the original's.
CTimePlan::CTimePlan(const CTimePlan& other)
    : CXRTable(other), m_def(other.m_def), m_columns(other.m_columns) {
    std::memcpy(m_entryName, other.m_entryName, sizeof m_entryName);
    m_pName = other.m_pName == other.m_entryName ? m_entryName : other.m_pName;
}

CTimePlan& CTimePlan::operator=(const CTimePlan& other) {
    if (this == &other) return *this;
    CXRTable::operator=(other);
    m_def = other.m_def;
    std::memcpy(m_entryName, other.m_entryName, sizeof m_entryName);
    m_pName = other.m_pName == other.m_entryName ? m_entryName : other.m_pName;
    m_columns = other.m_columns;
    return *this;
}

CTimePlan::~CTimePlan() = default;

int CTimePlan::StructureTo() {
    int32_t times[kTimeCount] = {};
    m_def.Days = 0;  // the day columns are gathered into a clean mask
    ReadRow(*this, kTimePlanMap, m_columns, {&m_def, times}, [this](const Column& c, int32_t& pos) {
        if (c.offset != kEntryName) return;
        ReadEntry(*this, kNameRead, pos, m_entryName);
        m_pName = m_entryName;
        m_def.Name = SCHEDULE_NAMED;
    });
    // In 64 bits: hours typed in wrongly must not overflow, only give a
    // nonsense time.
    const int64_t start = int64_t{times[kStartHours]} * 60 + times[kStartMins];
    const int64_t end = int64_t{times[kEndHours]} * 60 + times[kEndMins];
    m_def.Start = static_cast<int32_t>(start);
    m_def.End = static_cast<int32_t>(end);
    m_def.EndLimit = static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{m_def.End} - times[kEndPeriod], 0, INT32_MAX));
    return 1;
}

int CTimePlan::StructureFrom() {
    int32_t times[kTimeCount];
    times[kStartHours] = m_def.Start / 60;
    times[kStartMins] = m_def.Start % 60;
    times[kEndHours] = m_def.End / 60;
    times[kEndMins] = m_def.End % 60;
    times[kEndPeriod] = 5;  // the tills' closing margin, always five minutes
    WriteRow(*this, kTimePlanMap, m_columns, {&m_def, times}, false,
             [this](const Column& c, int32_t& pos) {
                 if (c.offset == kSPam1) {
                     WriteEntry(*this, kSPam1Write, pos, "");
                     return;
                 }
                 const std::string name = m_def.Name != 0 && m_pName ? m_pName : kDefaultName;
                 WriteEntry(*this, kNameWrite, pos, &name);
             });
    return 1;
}

int CTimePlan::Equ(int planNo, int entryNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM TimePlanEntrys WHERE PlanNo=%d AND EntryNo=%d",
                                     planNo, entryNo));
}

int CTimePlan::AddUpdate(schedule_def& def) {
    // Taken before the lookup: a name pointer that designates this object's
    // name then gives the name the lookup leaves there, the stored one.
    return AddUpdate(def, def.Name != 0 ? m_pName : nullptr);
}

int CTimePlan::AddUpdate(schedule_def& def, const char* name) {
    const schedule_def given = def;
    // Every entry belongs to a plan with a header; for a plan that has one
    // already the insert fails, is logged, and changes nothing.
    Exec(xr::Format("INSERT INTO TimePlans VALUES (%d, 'Auto entry for %d')", given.PlanNo,
                    given.PlanNo));
    const bool found = Equ(given.PlanNo, given.EntryNo) == 1;
    if (!found && !AddNew()) return 0;
    m_def = given;
    m_def.Name = name ? SCHEDULE_NAMED : 0;
    m_pName = name;
    return Update(0);
}

// ---- CTimePlanHdr ---------------------------------------------------------------------

CTimePlanHdr::CTimePlanHdr() {
    m_name = "TimePlans";
    m_keys[0] = "PlanNo";
}
