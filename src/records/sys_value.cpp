// System values: CSysValue over "SysValues" and the till programs' three
// exports over four slots of it.
#include <cstring>
#include <string>

#include "frame/log.h"
#include "frame/shield.h"
#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_sysvalues.h"

using namespace xr::records;

namespace {

// Blocks: 0 field name, 1 field index, 2 integer, 3 floating, 4 text value.
constexpr Column kSysValueMap[] = {
    Col("FieldName", Whole<std::string>(0), Kind::kString),
    Col("FieldIndex", Whole<int32_t>(1), Kind::kI32),
    Col("iValue", Whole<int32_t>(2), Kind::kI32),
    Col("fValue", Whole<double>(3), Kind::kDouble),
    Col("sValue", Whole<std::string>(4), Kind::kString),
};

}  // namespace

CSysValue::CSysValue() : m_iValue(0), m_fValue(0.0), m_fieldIndex(0) {
    m_name = "SysValues";
    m_orderBy = "FieldName, FieldIndex";
    m_keys[0] = "FieldName";
    m_keys[1] = "FieldIndex";
}

CSysValue::CSysValue(const CSysValue& other) = default;
CSysValue& CSysValue::operator=(const CSysValue& other) = default;
CSysValue::~CSysValue() = default;

int CSysValue::StructureTo() {
    ReadRow(*this, kSysValueMap, m_columns,
            {&m_fieldName, &m_fieldIndex, &m_iValue, &m_fValue, &m_sValue});
    return 1;
}

int CSysValue::StructureFrom() {
    WriteRow(*this, kSysValueMap, m_columns,
             {&m_fieldName, &m_fieldIndex, &m_iValue, &m_fValue, &m_sValue});
    return 1;
}

int CSysValue::Equ(const char* name, int index) {
    // Field names come from the callers' own settings; a quote in one must
    // stay part of the name and cannot end the statement.
    return OpenKey(*this, "SELECT * FROM SysValues WHERE FieldName='" +
                              xr::QuoteSql(xr::SafeText(name)) +
                              xr::Format("' AND FieldIndex=%d", index));
}

bool CSysValue::Locate(const char* name, int index) {
    if (Equ(name, index)) return true;
    // A new value takes the values the object holds for what the caller does
    // not give; AddNew loads the new row's defaults over them, so keep them.
    const int32_t iValue = m_iValue;
    const double fValue = m_fValue;
    std::string sValue = m_sValue;
    if (!AddNew()) return false;
    m_iValue = iValue;
    m_fValue = fValue;
    m_sValue = std::move(sValue);
    m_fieldName = xr::SafeText(name);
    m_fieldIndex = index;
    return true;
}

int CSysValue::AddUpdate(const char* name, int index, int iValue) {
    if (!Locate(name, index)) return 0;
    m_iValue = iValue;
    return Update(0);
}

int CSysValue::AddUpdate(const char* name, int index, double fValue) {
    if (!Locate(name, index)) return 0;
    m_fValue = fValue;
    return Update(0);
}

int CSysValue::AddUpdate(const char* name, int index, const char* sValue) {
    if (!Locate(name, index)) return 0;
    m_sValue = xr::SafeText(sValue);
    return Update(0);
}

int CSysValue::AddUpdate(const char* name, int index, const char* sValue, int iValue,
                         double fValue) {
    if (!Locate(name, index)) return 0;
    m_sValue = xr::SafeText(sValue);
    m_iValue = iValue;
    m_fValue = fValue;
    return Update(0);
}

// ---- the exports ------------------------------------------------------------------------

namespace {

constexpr int kSlots = 4;

// Owned by the slots until SysValueClose; like the till programs' other
// slots they are left to the process's end otherwise.
CSysValue* g_slots[kSlots] = {};

// The slot's object, made on first use; null for a slot that does not exist.
CSysValue* Slot(int slot, const char* function) {
    if (slot < 0 || slot >= kSlots) {
        xr::Log("%s: slot %d does not exist (0 to 3)", function, slot);
        return nullptr;
    }
    if (!g_slots[slot]) g_slots[slot] = new CSysValue;
    return g_slots[slot];
}

}  // namespace

XRDB8_EXPORT int SysValueAdd(int slot, const char* name, int index, const char* text, int iValue,
                             double fValue) {
    return xr::Shielded(1, xr::Quietly{}, [&] {
        CSysValue* value = Slot(slot, "SysValueAdd");
        if (!value) return 1;
        return value->AddUpdate(name, index, text, iValue, fValue) ? 0 : 1;
    });
}

XRDB8_EXPORT int SysValueGet(int slot, const char* name, int index, char** text, int* iValue,
                             double* fValue) {
    return xr::Shielded(1, xr::Quietly{}, [&] {
        CSysValue* value = Slot(slot, "SysValueGet");
        if (!value || !value->Equ(name, index)) return 1;
        if (text && *text) std::memcpy(*text, value->m_sValue.c_str(), value->m_sValue.size() + 1);
        if (iValue) *iValue = value->m_iValue;
        if (fValue) *fValue = value->m_fValue;
        return 0;
    });
}

XRDB8_EXPORT int SysValueClose(int slot) {
    if (slot < 0 || slot >= kSlots) return 0;
    delete g_slots[slot];
    g_slots[slot] = nullptr;
    return 0;
}
