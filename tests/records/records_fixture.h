// Shared pieces of the record class tests: a fresh server folder with the
// configuration database LORIMDB81 per test, the tables a test names created
// with the set-up pass's statements, a capturing log sink, and helpers that
// look at the stored rows with plain SQL.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "log_capture.h"
#include "platform/text.h"
#include "platform/variant.h"
#include "setup_tables.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

// The log lines that report an error of table `table`.
inline size_t TableErrors(const std::string& table) {
    size_t n = 0;
    const std::string mark = "Table [" + table + "] error ";
    for (const auto& line : g_log)
        if (line.rfind(mark, 0) == 0) ++n;
    return n;
}

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XRDB8_DATA", m_dir.Str().c_str(), 1);
        g_log.clear();
        DBSetLog(&CaptureLog);
        const std::string connect =
            "Provider=sqlite;Data Source=" + m_dir.Str() + ";Synchronous=OFF";
        ASSERT_EQ(DBOpen(connect.c_str(), ""), 1);
        ASSERT_EQ(DBExec("CREATE DATABASE LORIMDB81"), 1);
        ASSERT_EQ(DBSetDefaultDB("LORIMDB81"), 1);
    }

    void TearDown() override {
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    static void Exec(const std::string& sql) { ASSERT_EQ(DBExec(sql.c_str()), 1) << sql; }

    // The single value `sql` gives, as text ("<null>" for NULL).
    static std::string Scalar(const std::string& sql) {
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn) return "<no connection>";
        auto rows = conn->m_pConn->Query(sql);
        if (!rows || !rows->Next()) return "<no row>";
        xr::Variant v = rows->Value(0);
        return v.IsNull() ? "<null>" : v.ToText();
    }

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

    static int LastErrorCode() {
        int code = 0;
        std::string text;
        DBGetError(code, text);
        return code;
    }

    TempDir m_dir;
};

}  // namespace xrtest
