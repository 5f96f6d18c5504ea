// The table tests start in a database T of their own; CDept is a small
// record class over "Depts" in the way the till's record classes are written.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library.h"
#include "platform/text.h"
#include "table/xrtable.h"

namespace xrtest {

struct dept_def {
    int32_t DptNo;
    int32_t GrpNo;
    char Name[21];
    int32_t Price;  // hundredths
    int32_t Days;   // Monday 1, Tuesday 2
};
// Not packed: the typed reads take references, which must be aligned.

inline const char* kDeptsTable =
    "CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER DEFAULT 0 NOT NULL, "
    "Name VARCHAR(20), Price MONEY DEFAULT 0 NOT NULL, Monday BIT DEFAULT 0 NOT NULL, "
    "Tuesday BIT DEFAULT 0 NOT NULL) "
    "ALTER TABLE Depts ADD CONSTRAINT DeptsPrimary PRIMARY KEY (DptNo)";

// The record class of the tests: it counts its StructureTo and StructureFrom
// runs and notes the m_vOnly that StructureFrom saw.
class CDept : public CXRTable {
public:
    CDept() {
        m_name = "Depts";
        m_keys[0] = "DptNo";
        m_orderBy = "DptNo";
        std::memset(&m_def, 0, sizeof m_def);
    }

    int StructureTo() override {
        ++m_toCalls;
        GetField("DptNo", m_def.DptNo);
        GetField("GrpNo", m_def.GrpNo);
        GetField("Name", m_def.Name, sizeof m_def.Name);
        GetFieldAmt("Price", m_def.Price);
        m_def.Days = 0;
        GetFieldBit("Monday", 1, m_def.Days);
        GetFieldBit("Tuesday", 2, m_def.Days);
        return 1;
    }

    int StructureFrom() override {
        ++m_fromCalls;
        m_vOnlySeen = m_vOnly;
        SetField("DptNo", m_def.DptNo);
        SetField("GrpNo", m_def.GrpNo);
        SetField("Name", m_def.Name);
        SetFieldAmt("Price", m_def.Price);
        SetField("Monday", (m_def.Days & 1) ? 1 : 0);
        SetField("Tuesday", (m_def.Days & 2) ? 1 : 0);
        return 1;
    }

    // Protected operations the tests reach.
    using CXRTable::Clone;
    using CXRTable::CloseRS;
    using CXRTable::CopyFromClone;

    dept_def m_def;
    int m_toCalls = 0;
    int m_fromCalls = 0;
    int m_vOnlySeen = -1;
};

// A plain table object over any table: the tests' general-purpose reader.
class CAnyTable : public CXRTable {
public:
    explicit CAnyTable(const std::string& name, const std::string& key = "") {
        m_name = name;
        m_keys[0] = key;
    }
    // The writers' and the round trip's tests reach these directly.
    using CXRTable::PutField;
    using CXRTable::SetField;
};

class TableTest : public LibraryTest {
protected:
    TableTest() : LibraryTest(Start::Database, "T") {}

    // Depts with departments 1..n (group i % 2, name as given, price i.50).
    static void MakeDepts(const std::vector<std::string>& names = {"Bar", "Food", "Wine"}) {
        Exec(kDeptsTable);
        for (size_t i = 0; i < names.size(); ++i)
            Exec(xr::Format(
                "INSERT Depts (DptNo, GrpNo, Name, Price) VALUES (%zu, %zu, '%s', %zu.50)", i + 1,
                (i + 1) % 2, xr::QuoteSql(names[i]).c_str(), i + 1));
    }
};

}  // namespace xrtest
