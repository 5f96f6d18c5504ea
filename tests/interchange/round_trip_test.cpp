// A table scripted with AAScriptAll and run back with DBExecSQLFile into an
// empty copy of the table comes back value for value, for every column type
// of the schema.
#include "../table/table_fixture.h"
#include "platform/systemtime.h"

namespace {

using xr::Variant;
using xrtest::CAnyTable;
using xrtest::TableTest;

const char* kAllTypes =
    "CREATE TABLE AllTypes (ID INTEGER NOT NULL, Big BIGINT, Flag BIT, Amount MONEY, "
    "D52 DECIMAL(5,2), D103 DECIMAL(10,3), F24 FLOAT(24), Txt VARCHAR(40), Fixed CHAR(10), "
    "Stamp DATETIME, Pic IMAGE, Bin BINARY(8)) "
    "ALTER TABLE AllTypes ADD CONSTRAINT AllTypesPrimary PRIMARY KEY (ID)";

using Table = std::vector<std::vector<Variant>>;  // rows of values

Table ReadAll() {
    Table rows;
    CAnyTable t("AllTypes", "ID");
    t.m_orderBy = "ID";
    for (int on = t.MoveFirst(); on; on = t.MoveNext()) {
        std::vector<Variant> row;
        for (size_t i = 0; i < t.m_pRS->FieldCount(); ++i) row.push_back(t.m_pRS->Value(i));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

double OleDate(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, int ms) {
    double date = 0;
    xr::SystemTimeToVariantTime(SYSTEMTIME{y, mo, 0, d, h, mi, s, 0}, &date);
    return date + ms / 86400000.0;
}

std::string Second(double oleDate) {
    SYSTEMTIME st{};
    if (!xr::VariantTimeToSystemTime(oleDate, &st)) return "invalid";
    return xr::Format("%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                      st.wMinute, st.wSecond);
}

class RoundTripTest : public TableTest {};

TEST_P(RoundTripTest, EveryColumnTypeComesBackValueForValue) {
    Exec(kAllTypes);
    struct Source {
        const char* values;  // ID .. Fixed, in T-SQL
        double stamp;        // 0: NULL
        int picture;         // bytes, -1: NULL
        bool binary;
    } sources[] = {
        {"1, 5000000000, 1, 19.99, 123.45, 1234567.891, 12.5, 'O''Brien  ', 'ab'",
         OleDate(2024, 2, 29, 13, 45, 7, 480), 0, true},
        {"2, -9000000000000000000, 0, -2.5, -999.99, -0.001, -0.1, 'it''s a \"test\" 100%', "
         "'abcdefghij'",
         OleDate(1900, 1, 1, 0, 0, 0, 0), 1, true},
        {"3, 2147483648, 1, 0.0001, 0.5, 0.125, 1.0000001, '--->GO', ' x'",
         OleDate(2000, 1, 1, 23, 59, 59, 700), 34, false},
        {"4, -1, 0, 214748364.7999, 999.99, 9999999.999, 123456.78, '', ''",
         OleDate(1753, 1, 1, 6, 30, 0, 0), 35, true},
        {"5, 0, 1, -92233720368.5477, 0, 0, 0.000123, 'x', 'y'",
         OleDate(9999, 12, 31, 23, 59, 59, 0), 1000, false},
        {"6, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL", 0, -1, false},
    };
    CAnyTable t("AllTypes", "ID");
    for (const auto& s : sources) {
        Exec(std::string("INSERT AllTypes (ID, Big, Flag, Amount, D52, D103, F24, Txt, Fixed) "
                         "VALUES (") +
             s.values + ")");
        ASSERT_EQ(t.MoveLast(), 1);
        if (s.stamp) {
            ASSERT_EQ(t.SetField("Stamp", Variant::Date(s.stamp)), 1);
        }
        if (s.picture >= 0) {
            const auto pic = Bytes(static_cast<size_t>(s.picture));
            ASSERT_EQ(t.SetField("Pic", pic.data(), s.picture), 1);
        }
        if (s.binary) {
            const uint8_t bin[8] = {0, 1, 0x7F, 0x80, 0xAB, 0xCD, 0xEF, 0xFF};
            ASSERT_EQ(t.SetField("Bin", bin, 8), 1);
        }
        ASSERT_EQ(t.Update(), 1);
    }
    const Table before = ReadAll();
    ASSERT_EQ(before.size(), 6u);

    const std::string path = PathOf("alltypes.sql");
    ASSERT_EQ(t.AAScriptAll(path.c_str()), 1);

    Exec("CREATE DATABASE U");
    ASSERT_EQ(DBSetDefaultDB("U"), 1);
    Exec(kAllTypes);
    Exec("INSERT AllTypes (ID) VALUES (99)");  // the script's DELETE clears it
    xrtest::ClearLog();
    ASSERT_EQ(DBExecSQLFile(path.c_str()), 1);
    EXPECT_TRUE(xrtest::g_log.empty()) << xrtest::g_log.front() << xrtest::ReadFile(path);
    const Table after = ReadAll();
    ASSERT_EQ(after.size(), before.size());

    const char* names[] = {"ID",  "Big", "Flag",  "Amount", "D52", "D103",
                           "F24", "Txt", "Fixed", "Stamp",  "Pic", "Bin"};
    for (size_t r = 0; r < before.size(); ++r) {
        ASSERT_EQ(after[r].size(), 12u);
        for (size_t c = 0; c < 12; ++c) {
            const Variant& a = before[r][c];
            const Variant& b = after[r][c];
            const std::string where = xr::Format("row %zu, %s", r + 1, names[c]);
            if (a.Type() == xr::VT_DATE && b.Type() == xr::VT_DATE) {
                EXPECT_EQ(Second(a.RealValue()), Second(b.RealValue())) << where;
            } else if (a.Type() == xr::VT_BSTR && b.Type() == xr::VT_BSTR) {
                // Text compares as the server compares it: trailing blanks
                // do not count (and the script does not carry them).
                EXPECT_EQ(xr::TrimRight(a.TextValue()), xr::TrimRight(b.TextValue())) << where;
            } else {
                EXPECT_TRUE(a == b) << where << ": " << (a.IsNull() ? "NULL" : a.ToText())
                                    << " became " << (b.IsNull() ? "NULL" : b.ToText());
            }
        }
    }
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(RoundTripTest);
