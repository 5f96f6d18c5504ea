// System values: what each AddUpdate overload keeps, quoted field names, and
// the till programs' three exports.
#include <cstring>
#include <functional>

#include "records_fixture.h"
#include "setup_tables.h"

namespace {

using xrtest::RecordsTest;

class SysValueTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        xrtest::CreateSetupTables({"SysValues"});
    }
    void TearDown() override {
        for (int slot = 0; slot < 4; ++slot) SysValueClose(slot);
        RecordsTest::TearDown();
    }
};

TEST_P(SysValueTest, EachOverloadChangesOnlyItsOwnValues) {
    const struct {
        const char* what;
        std::function<int(CSysValue&)> write;
        const char* row;  // iValue, fValue, sValue afterwards
    } cases[] = {
        {"int", [](CSysValue& v) { return v.AddUpdate("Till", 1, 5); }, "5|1.5|kept"},
        {"double", [](CSysValue& v) { return v.AddUpdate("Till", 1, 2.25); }, "7|2.25|kept"},
        {"text", [](CSysValue& v) { return v.AddUpdate("Till", 1, "new"); }, "7|1.5|new"},
        {"all", [](CSysValue& v) { return v.AddUpdate("Till", 1, "all", 9, 0.5); }, "9|0.5|all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Exec("DELETE FROM SysValues");
        Exec("INSERT INTO SysValues VALUES ('Till', 1, 7, 1.5, 'kept')");
        CSysValue value;
        ASSERT_EQ(c.write(value), 1);
        EXPECT_EQ(Scalar("SELECT CAST(iValue AS VARCHAR) + '|' + CAST(fValue AS VARCHAR) + '|' + "
                         "sValue FROM SysValues WHERE FieldName='Till' AND FieldIndex=1"),
                  c.row);
        EXPECT_EQ(Scalar("SELECT COUNT(*) FROM SysValues"), "1");
    }
}

TEST_P(SysValueTest, ANewValueTakesWhatTheObjectHolds) {
    CSysValue fresh;
    ASSERT_EQ(fresh.AddUpdate("Rate", 0, 2.5), 1);
    EXPECT_EQ(RowText("SELECT iValue, fValue, sValue FROM SysValues WHERE FieldName='Rate'"),
              "iValue=0;fValue=2.5;sValue=;\n");

    // An object that read another value carries that value's other fields.
    Exec("INSERT INTO SysValues VALUES ('Colour', 3, 255, 0.75, 'red')");
    CSysValue used;
    ASSERT_EQ(used.Equ("Colour", 3), 1);
    ASSERT_EQ(used.AddUpdate("Colour", 4, 128), 1);
    EXPECT_EQ(RowText("SELECT iValue, fValue, sValue FROM SysValues WHERE FieldIndex=4"),
              "iValue=128;fValue=0.75;sValue=red;\n");
    EXPECT_EQ(used.m_fieldName, "Colour");
    EXPECT_EQ(used.m_fieldIndex, 4);
}

TEST_P(SysValueTest, IndexesOfOneNameAreIndependentAndNamesMayHoldQuotes) {
    CSysValue v;
    ASSERT_EQ(v.AddUpdate("O'Brien's", 1, "first"), 1);
    ASSERT_EQ(v.AddUpdate("O'Brien's", 2, "second"), 1);
    ASSERT_EQ(v.AddUpdate("O'Brien's", 1, 10), 1);
    CSysValue read;
    ASSERT_EQ(read.Equ("O'Brien's", 2), 1);
    EXPECT_EQ(read.m_sValue, "second");
    EXPECT_EQ(read.m_iValue, 0);
    ASSERT_EQ(read.Equ("O'Brien's", 1), 1);
    EXPECT_EQ(read.m_sValue, "first");
    EXPECT_EQ(read.m_iValue, 10);
    EXPECT_EQ(read.Equ("x' OR '1'='1", 1), 0);
    EXPECT_EQ(read.Equ(nullptr, 1), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM SysValues"), "2");
}

TEST_P(SysValueTest, TheExportsAddAndGetThroughSlots) {
    EXPECT_EQ(SysValueAdd(0, "Paid out", 2, "Window cleaner", 12, 3.5), 0);
    EXPECT_EQ(SysValueAdd(3, "Paid out", 2, "Milk", 13, 4.5), 0) << "an update";
    EXPECT_EQ(Scalar("SELECT sValue FROM SysValues"), "Milk");

    char buffer[160];
    std::memset(buffer, 'x', sizeof buffer);
    char* text = buffer;
    int i = 0;
    double f = 0;
    ASSERT_EQ(SysValueGet(1, "Paid out", 2, &text, &i, &f), 0);
    EXPECT_STREQ(buffer, "Milk");
    EXPECT_EQ(i, 13);
    EXPECT_EQ(f, 4.5);

    // Outputs left null (or a null buffer) receive nothing.
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, nullptr, nullptr, nullptr), 0);
    char* noBuffer = nullptr;
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, &noBuffer, nullptr, nullptr), 0);
    // A missing value leaves the outputs alone.
    std::strcpy(buffer, "unchanged");
    i = -1;
    EXPECT_EQ(SysValueGet(1, "Paid out", 3, &text, &i, &f), 1);
    EXPECT_EQ(SysValueGet(1, "Paid out", 3, nullptr, nullptr, nullptr), 1);
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_EQ(i, -1);

    // Slots outside 0 to 3 fail without touching anything.
    EXPECT_EQ(SysValueAdd(4, "x", 0, "", 0, 0), 1);
    EXPECT_EQ(SysValueGet(-1, "Paid out", 2, &text, &i, &f), 1);
    EXPECT_EQ(SysValueClose(9), 0);
    EXPECT_EQ(SysValueClose(2), 0) << "an empty slot";
    EXPECT_EQ(SysValueClose(1), 0);
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, nullptr, &i, nullptr), 0) << "made anew";
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(SysValueTest);
