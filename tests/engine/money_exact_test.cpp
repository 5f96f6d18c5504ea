// Money written and read through variants keeps all four places: text to
// currency is read digit by digit, not through a double, and the recordset
// hands the stored scaled integer out as it is.
#include <gtest/gtest.h>

#include "engine/connection.h"
#include "engine/recordset.h"
#include "library.h"

namespace {

using xr::Variant;
using namespace xr::engine;

TEST(MoneyExact, TextToCurrencyKeepsEveryDigit) {
    EXPECT_EQ(Variant::Text("22337203685477.5807").ToCY(), 223372036854775807LL);
    EXPECT_EQ(Variant::Text("922337203685477.5807").ToCY(), INT64_MAX);
    EXPECT_EQ(Variant::Text("-922337203685477.5808").ToCY(), INT64_MIN);
    EXPECT_EQ(Variant::Text("1.5e3").ToCY(), 15000000);
    EXPECT_EQ(Variant::Text("0.00025").ToCY(), 2);   // half to even
    EXPECT_EQ(Variant::Text("0.000251").ToCY(), 3);  // above half
    EXPECT_EQ(Variant::Text("-0.00005").ToCY(), 0);
    EXPECT_EQ(Variant::Text("0").ToCY(), 0);
    EXPECT_THROW(Variant::Text("922337203685477.5808").ToCY(), xr::ComError);
    EXPECT_THROW(Variant::Text("1e30").ToCY(), xr::ComError);
    EXPECT_EQ(Variant::Text("1e-30").ToCY(), 0);
    // And back to text unchanged.
    EXPECT_EQ(Variant::Text("22337203685477.5807").ChangeType(xr::VT_CY).ToText(),
              "22337203685477.5807");
}

class MoneyExactTest : public xrtest::AnyEngineTest {};

TEST_P(MoneyExactTest, RecordsetWritesAndReadsEveryDigit) {
    Connection& conn = m_conn;
    conn.Open(ConnectString());
    conn.Execute("CREATE DATABASE T");
    conn.Execute("USE T");
    conn.Execute("CREATE TABLE P (K INT NOT NULL PRIMARY KEY, M MONEY NULL)");
    conn.Execute("INSERT INTO P VALUES (1, 0)");
    {
        Recordset rs;
        rs.Open(conn, "P", adOpenKeyset, adLockOptimistic, true);
        rs.SetValue("M", Variant::Text("22337203685477.5807"));
        rs.Update();
        rs.AddNew();
        rs.SetValue("K", Variant::I4(2));
        rs.SetValue("M", Variant::Currency(INT64_MAX));
        rs.Update();
    }
    Recordset rs;
    rs.Open(conn, "SELECT M FROM P ORDER BY K", adOpenForwardOnly, adLockReadOnly, false);
    ASSERT_FALSE(rs.EndOfFile());
    EXPECT_EQ(rs.Value("M").Type(), xr::VT_CY);
    EXPECT_EQ(rs.Value("M").ToText(), "22337203685477.5807");
    rs.MoveNext();
    EXPECT_EQ(rs.Value("M").ToText(), "922337203685477.5807");
    // Read as text by the server, four places on request.
    auto rows = conn.Query("SELECT CONVERT(VARCHAR(30), M, 2) FROM P WHERE K = 1");
    ASSERT_TRUE(rows->Next());
    EXPECT_EQ(rows->Value(0).ToText(), "22337203685477.5807");
}

XRTEST_ON_EVERY_ENGINE(MoneyExactTest);

}  // namespace
