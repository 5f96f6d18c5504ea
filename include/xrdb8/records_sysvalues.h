// System values: "SysValues", a store of named settings. A row is found by a
// field name and an index and carries an integer, a floating-point and a text
// value, any of which the owner of the name uses. CSysValue is its record
// class; SysValueAdd, SysValueGet and SysValueClose serve the till programs
// through four slots.
#pragma once

#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

// "SysValues", ordered by "FieldName, FieldIndex" and keyed by both.
class XRDB8_API CSysValue : public CXRTable {
public:
    CSysValue();
    CSysValue(const CSysValue& other);
    CSysValue& operator=(const CSysValue& other);
    ~CSysValue() override;

    int StructureTo() override;
    int StructureFrom() override;

    // The value `name`, `index` (any text: quotes are doubled in the query):
    // 1 found, 0 not.
    int Equ(const char* name, int index);

    // Each finds the value by name and index, adds it when missing, sets the
    // values it takes and writes the row. The values an overload does not take
    // are written as the object holds them: the stored ones for an existing
    // row, the object's own (0, 0.0, "" when fresh) for a new one. 1 when the
    // row was written, 0 when adding or writing failed.
    int AddUpdate(const char* name, int index, int iValue);
    int AddUpdate(const char* name, int index, double fValue);
    int AddUpdate(const char* name, int index, const char* sValue);
    int AddUpdate(const char* name, int index, const char* sValue, int iValue, double fValue);

    int32_t m_iValue;         // "iValue"
    double m_fValue;          // "fValue"
    std::string m_sValue;     // "sValue"
    int32_t m_fieldIndex;     // "FieldIndex"
    std::string m_fieldName;  // "FieldName"

private:
    // Equ, and on a missing row AddNew with the key set: false when that fails.
    bool Locate(const char* name, int index);

    xr::records::ColumnIndex m_columns;
};

// The slots of these three are 0 to 3; another slot fails (result 1). Each
// slot holds a CSysValue made on first use, until SysValueClose.

// Adds or updates the value `name`, `index` with all three values: 0 when it
// was written, 1 when not.
XRDB8_EXPORT int SysValueAdd(int slot, const char* name, int index, const char* text, int iValue,
                             double fValue);
// Reads the value `name`, `index`: 1 when there is none. Otherwise each output
// that is not null receives its value and the result is 0; the text is copied
// with its NUL into the buffer *text points at, which must hold it (sValue
// holds at most 150 characters).
XRDB8_EXPORT int SysValueGet(int slot, const char* name, int index, char** text, int* iValue,
                             double* fValue);
// Destroys the slot's object, if any; returns 0.
XRDB8_EXPORT int SysValueClose(int slot);
