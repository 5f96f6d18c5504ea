// The record class tests start in an empty LORIMDB81 and create the tables
// they name with the set-up pass's statements.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
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

// `tables`: the set-up pass's tables each test of the suite starts with.
class RecordsTest : public LibraryTest {
protected:
    explicit RecordsTest(std::vector<const char*> tables = {})
        : LibraryTest(Start::Database, "LORIMDB81"), m_tables(std::move(tables)) {}

    void SetUp() override {
        LibraryTest::SetUp();
        if (IsSkipped() || HasFatalFailure() || m_tables.empty()) return;
        CreateSetupTables(m_tables);
    }

private:
    std::vector<const char*> m_tables;
};

}  // namespace xrtest
