// Typed field access: the conversions per type, with the edge cases the till
// programs depend on (money in hundredths, trimmed buffers, NULL rules, dates
// to the second, 64-bit item numbers).

#include "table_fixture.h"

namespace {

using xrtest::CAnyTable;
using xrtest::TableTest;

class FieldsTest : public TableTest {
protected:
    void SetUp() override {
        TableTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec(
            "CREATE TABLE Vals (ID INTEGER NOT NULL, I INTEGER, S SMALLINT, B BIGINT, M MONEY, "
            "D52 DECIMAL(5,2), F FLOAT(24), T VARCHAR(20), C CHAR(5), DT DATETIME, IMG IMAGE, "
            "BIN BINARY(8), BT BIT)");
    }

    // The one row of Vals with `sets` applied ("I = 7, T = 'x'"), and the
    // table object standing on it.
    void Row(const std::string& sets) {
        Exec("DELETE FROM Vals");
        Exec("INSERT Vals (ID) VALUES (1)");
        if (!sets.empty()) Exec("UPDATE Vals SET " + sets);
        ASSERT_EQ(m_t.MoveFirst(), 1);
        xrtest::ClearLog();
    }

    CAnyTable m_t{"Vals", "ID"};
};

// The rounding itself is the platform's (VariantMoney.Hundredths); here each
// column type reaches it.
TEST_P(FieldsTest, MoneyReadsAsHundredthsRoundedHalfAwayFromZero) {
    const struct {
        const char* sets;
        const char* column;
        int32_t hundredths;  // -7: the read fails and leaves the target
    } cases[] = {{"M = -0.005", "M", -1},
                 {"M = 2.675", "M", 268},
                 {"M = NULL", "M", -7},
                 {"D52 = 2.5", "D52", 250},
                 {"F = 0.25", "F", 25}};
    for (const auto& c : cases) {
        Row(c.sets);
        int32_t h = -7;
        EXPECT_EQ(m_t.GetFieldAmt(c.column, h), c.hundredths == -7 ? 0 : 1) << c.sets;
        EXPECT_EQ(h, c.hundredths) << c.sets;
    }
    Row("");
    for (int32_t h : {-250, 1, INT32_MAX, 1999}) {
        ASSERT_EQ(m_t.SetFieldAmt("M", h), 1);
        ASSERT_EQ(m_t.Update(), 1);
        long back = 0;
        ASSERT_EQ(m_t.GetFieldAmt("M", back), 1);
        EXPECT_EQ(back, h);
    }
    EXPECT_EQ(Scalar("SELECT M FROM Vals"), "19.99");
}

TEST_P(FieldsTest, IntegerReadsAndBitsGatherIntoFlags) {
    const struct {
        const char* sets;
        const char* column;
        int result;
        int32_t value;  // stored when result is 1
    } cases[] = {
        {"I = NULL", "I", 1, 0},      {"I = -2147483648", "I", 1, INT32_MIN},
        {"T = ' 42 '", "T", 1, 42},   {"T = 'abc'", "T", 0, 0},
        {"D52 = 2.5", "D52", 1, 2},   {"D52 = 3.5", "D52", 1, 4},
        {"D52 = -2.5", "D52", 1, -2}, {"M = 1.5", "M", 1, 2},
        {"BT = 1", "BT", 1, -1},      {"B = 5000000000", "B", 0, 0},
        {"I = 7", "i", 1, 7},         {"I = 7", "Eye", 0, 0},
    };
    for (const auto& c : cases) {
        Row(c.sets);
        int32_t v = 99;
        EXPECT_EQ(m_t.GetField(c.column, v), c.result) << c.sets;
        EXPECT_EQ(v, c.result ? c.value : 99) << c.sets;
        EXPECT_EQ(m_t.IsSet(c.column), c.result ? c.value : 0) << c.sets;
    }
    Row("BT = 0");
    int flags = 1;
    ASSERT_EQ(m_t.GetFieldBit("BT", 2, flags), 1);
    EXPECT_EQ(flags, 1) << "a zero leaves the flags";
    // Narrow reads keep the low bits; wide ones the whole value.
    Row("I = 65601, B = 5000000000, S = 300, BT = 1");
    unsigned short us = 0;
    char ch = 0;
    short s = 0;
    long wide = 0;
    uint64_t item = 0;
    EXPECT_EQ(m_t.GetField("I", us) + m_t.GetField("I", ch) + m_t.GetField("S", s), 3);
    EXPECT_EQ(xr::Format("%d|%c|%d", us, ch, s), "65|A|300");
    EXPECT_EQ(m_t.GetField("I", s), 0) << "65601 does not fit 16 bits";
    EXPECT_EQ(m_t.GetField("B", wide) + m_t.GetField("B", item), 2);
    EXPECT_EQ(xr::Format("%ld|%llu", wide, static_cast<unsigned long long>(item)),
              "5000000000|5000000000");
    EXPECT_EQ(m_t.GetField("D52", item = 77), 0) << "NULL";
    EXPECT_EQ(item, 77u);
    ASSERT_EQ(m_t.GetFieldBit("BT", 2, flags), 1);
    EXPECT_EQ(flags, 3);
    EXPECT_EQ(m_t.GetFieldBit("Monday", 4, flags), 0);
    EXPECT_EQ(flags, 3);
}

TEST_P(FieldsTest, AMisspeltColumnIsReportedAndLeavesTheTarget) {
    Row("I = 7");
    int32_t v = 5;
    EXPECT_EQ(m_t.GetField("Eye", v), 0);
    EXPECT_EQ(v, 5);
    ASSERT_EQ(xrtest::g_log.size(), 1u);
    EXPECT_EQ(xrtest::g_log[0], "Table [Vals] error 800a0cc1 Unknown error 0x800A0CC1\n");
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::adErrItemNotFound));
    EXPECT_EQ(xr::Format("%d|%d", m_t.IsNull("Eye"), m_t.GetFieldType("Eye")), "1|-1");
    EXPECT_EQ(m_t.SetField("Eye", 1), 0);
    EXPECT_EQ(m_t.GetField(nullptr, v), 0);
    // And the same on a closed object.
    CAnyTable closed("Vals");
    std::string text = "kept";
    EXPECT_EQ(closed.GetField("T", text), 0);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::adErrObjectClosed));
}

TEST_P(FieldsTest, WritesKeepTheirWidth) {
    Row("");
    ASSERT_EQ(m_t.SetField("B", uint64_t{9007199254740993ULL}), 1);
    ASSERT_EQ(m_t.SetFieldDec("D52", 12.345), 1);
    ASSERT_EQ(m_t.SetField("T", std::string("O'Brien")), 1);
    ASSERT_EQ(m_t.SetField("I", 12L), 1);
    ASSERT_EQ(m_t.Update(), 1);
    EXPECT_EQ(Scalar("SELECT B, D52, T FROM Vals"), "9007199254740993|12.35|O'Brien");
    // A long beyond 32 bits is refused by an INTEGER column, not cut.
    m_t.SetField("I", 5000000000L);
    EXPECT_EQ(m_t.Update(), 0);
    EXPECT_EQ(Scalar("SELECT I FROM Vals"), "12");
    ASSERT_EQ(m_t.SetFieldNull("B"), 1);
    ASSERT_EQ(m_t.Update(), 1) << LastError().second;
    EXPECT_EQ(m_t.IsNull("B"), 1);
    EXPECT_EQ(m_t.GetFieldType("T"), xr::VT_BSTR);
    double d = 8;
    EXPECT_EQ(m_t.GetField("B", d), 0) << "NULL as floating point";
    EXPECT_EQ(d, 8);
}

TEST_P(FieldsTest, TextIntoABufferIsCutAndTrimmed) {
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"T = 'ab   '", "T", 5, "ab"}, {"T = 'abcdefg'", "T", 5, "abcd"}, {"T = NULL", "T", 5, ""},
        {"C = 'xy'", "C", 6, "xy"},    {"T = 'a b '", "T", 20, "a b"},    {"T = 'abc'", "T", 1, ""},
        {"I = -12", "I", 8, "-12"},    {"M = 19.9", "M", 8, "19.9"},
    };
    for (const auto& [sets, column, size, expected] : cases) {
        Row(sets);
        char buffer[32];
        std::memset(buffer, 'Z', sizeof buffer);
        ASSERT_EQ(m_t.GetField(column, buffer, size), 1) << sets;
        EXPECT_STREQ(buffer, expected) << sets;
        EXPECT_EQ(buffer[size], 'Z') << sets << ": written past the buffer";
    }
    Row("C = 'q'");
    std::string s;
    ASSERT_EQ(m_t.GetField("C", s), 1);
    EXPECT_EQ(s, "q    ") << "a string is not trimmed";
    char* none = nullptr;
    EXPECT_EQ(m_t.GetField("T", none, 5), 0);
}

TEST_P(FieldsTest, ByteArrays) {
    Row("BIN = 0x0102030405060708");
    uint8_t buffer[8] = {};
    int length = 4;
    ASSERT_EQ(m_t.GetField("BIN", buffer, length), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d", length, buffer[3], buffer[4]), "4|4|0");
    int size = 0;
    ASSERT_EQ(m_t.GetFieldSize("BIN", size), 1);
    EXPECT_EQ(size, 8);
    length = 6;
    EXPECT_EQ(m_t.GetField("IMG", buffer, length), 0) << "NULL";
    EXPECT_EQ(length, 6);
    EXPECT_EQ(m_t.GetField("I", buffer, length), 0) << "not an array";
    length = -1;
    EXPECT_EQ(m_t.GetField("BIN", buffer, length), 0);

    const uint8_t image[] = {0, 255, 16, 32, 0};
    ASSERT_EQ(m_t.SetField("IMG", image, 5), 1);
    ASSERT_EQ(m_t.Update(), 1);
    uint8_t back[100];
    length = 100;
    ASSERT_EQ(m_t.GetField("IMG", back, length), 1);
    ASSERT_EQ(length, 5);
    EXPECT_EQ(std::memcmp(back, image, 5), 0);
    EXPECT_EQ(m_t.SetField("IMG", image, -1), 0);
    EXPECT_EQ(m_t.SetField("IMG", nullptr, 3), 0);
}

TEST_P(FieldsTest, DatesComeBackToTheSecond) {
    Row("");
    const SYSTEMTIME written{2024, 2, 0, 29, 13, 45, 7, 480};
    ASSERT_EQ(m_t.SetField("DT", written), 1);
    ASSERT_EQ(m_t.Update(), 1);
    SYSTEMTIME read{};
    ASSERT_EQ(m_t.GetField("DT", read), 1);
    EXPECT_EQ(
        xr::Format("%d-%d-%d %d:%d:%d.%d dow %d", read.wYear, read.wMonth, read.wDay, read.wHour,
                   read.wMinute, read.wSecond, read.wMilliseconds, read.wDayOfWeek),
        "2024-2-29 13:45:7.0 dow 4");

    // NULL and invalid dates are reported by the library, not as table errors.
    Row("");
    EXPECT_EQ(m_t.GetField("DT", read), 0);
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::DISP_E_TYPEMISMATCH_));
    ASSERT_FALSE(xrtest::g_log.empty());
    EXPECT_EQ(xrtest::g_log[0].rfind("Thread", 0), 0u) << xrtest::g_log[0];
    const SYSTEMTIME bad{2024, 13, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(m_t.SetField("DT", bad), 0);
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::E_INVALIDARG_));
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(FieldsTest);
