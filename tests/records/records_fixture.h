// The record class tests start in an empty LORIMDB81 and create the tables
// they name with the set-up pass's statements.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "library.h"
#include "platform/text.h"
#include "setup_tables.h"

namespace xrtest {

// The log lines that report an error of table `table`.
inline size_t TableErrors(const std::string& table) {
    return LinesStarting("Table [" + table + "] error ").size();
}

// "" when `a` holds the bytes of `b`, else the first byte that differs.
template <typename T>
std::string ByteDiff(const T& a, const T& b) {
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    for (size_t i = 0; i < sizeof(T); ++i)
        if (x[i] != y[i]) return xr::Format("byte %zu is %02X, not %02X", i, x[i], y[i]);
    return "";
}

class RecordsTest : public LibraryTest {
protected:
    RecordsTest() : LibraryTest(Start::Database, "LORIMDB81") {}

    // Every column of the rows of `sql`, as one text: compares whole rows.
    static std::string RowText(const std::string& sql) {
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn) return "<no connection>";
        auto rows = conn->m_pConn->Query(sql);
        std::string text;
        while (rows && rows->Next()) {
            for (size_t i = 0; i < rows->ColumnCount(); ++i) {
                xr::Variant v = rows->Value(i);
                text += rows->Column(i).name + "=" + (v.IsNull() ? "<null>" : v.ToText()) + ";";
            }
            text += "\n";
        }
        return text;
    }
};

}  // namespace xrtest
