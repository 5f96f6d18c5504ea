// Shared pieces of the table and interchange tests: a fresh server folder
// with a database T per test, a capturing log sink, and CDept, a small record
// class over "Depts" in the way the till's record classes are written.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "log_capture.h"
#include "platform/text.h"
#include "table/xrtable.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

// The captured lines that begin with `prefix`.
inline std::vector<std::string> LinesStarting(const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& line : g_log)
        if (line.rfind(prefix, 0) == 0) result.push_back(line);
    return result;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

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
    using CXRTable::Clone;
    using CXRTable::CopyFromClone;
    using CXRTable::GetField;
    using CXRTable::PutField;
    using CXRTable::SetField;
};

class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XRDB8_DATA", m_dir.Str().c_str(), 1);
        g_log.clear();
        DBSetLog(&CaptureLog);
        ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
        ASSERT_EQ(DBExec("CREATE DATABASE T"), 1);
        ASSERT_EQ(DBSetDefaultDB("T"), 1);
    }
    void TearDown() override {
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    std::string ConnectString() const { return "Provider=sqlite;Data Source=" + m_dir.Str(); }
    std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }

    static void Exec(const std::string& sql) { ASSERT_EQ(DBExec(sql.c_str()), 1) << sql; }

    // Depts with departments 1..n (group i % 2, name as given, price i.50).
    static void MakeDepts(const std::vector<std::string>& names = {"Bar", "Food", "Wine"}) {
        Exec(kDeptsTable);
        for (size_t i = 0; i < names.size(); ++i)
            Exec(xr::Format(
                "INSERT Depts (DptNo, GrpNo, Name, Price) VALUES (%zu, %zu, '%s', %zu.50)", i + 1,
                (i + 1) % 2, xr::QuoteSql(names[i]).c_str(), i + 1));
    }

    // The single value `sql` gives, as text ("<null>" for NULL).
    static std::string Scalar(const std::string& sql) {
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn) return "<no connection>";
        auto rows = conn->m_pConn->Query(sql);
        if (!rows || !rows->Next()) return "<no row>";
        xr::Variant v = rows->Value(0);
        return v.IsNull() ? "<null>" : v.ToText();
    }

    static int LastErrorCode() {
        int code = 0;
        std::string text;
        DBGetError(code, text);
        return code;
    }

    TempDir m_dir;
};

}  // namespace xrtest
