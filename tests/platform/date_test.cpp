// Date numbers, the calendar structure and date text in the fixed en-US form,
// as the till records and the T-SQL layer use them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/systemtime.h"
#include "platform/variant.h"
#include "test_util.h"

using namespace xr;
using xrtest::ErrorOf;

namespace {

using U = uint16_t;
SYSTEMTIME Make(U y, U mo, U d, U h = 0, U mi = 0, U s = 0, U ms = 0) {
    return {y, mo, 0, d, h, mi, s, ms};
}

double DateOf(const SYSTEMTIME& st) {
    double d = -1;
    EXPECT_TRUE(SystemTimeToVariantTime(st, &d));
    return d;
}

int ThisYear() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

}  // namespace

TEST(SystemTime, FromDateNumber) {
    struct Row {
        double date;
        int y, mo, d, h, mi, s;
    } rows[] = {
        {0.0, 1899, 12, 30, 0, 0, 0},
        {1.0, 1899, 12, 31, 0, 0, 0},
        {2.0, 1900, 1, 1, 0, 0, 0},
        {2.5, 1900, 1, 1, 12, 0, 0},
        {3.25, 1900, 1, 2, 6, 0, 0},
        {25569, 1970, 1, 1, 0, 0, 0},
        {25570, 1970, 1, 2, 0, 0, 0},
        {29221, 1980, 1, 1, 0, 0, 0},
        {33238, 1990, 12, 31, 0, 0, 0},
        {36526, 2000, 1, 1, 0, 0, 0},
        {-1.25, 1899, 12, 29, 6, 0, 0},
        {-49192.24, 1765, 4, 24, 5, 45, 36},
        {-657434, 100, 1, 1, 0, 0, 0},
        {2958465, 9999, 12, 31, 0, 0, 0},
        {29221.25, 1980, 1, 1, 6, 0, 0},
        {29221.33333333, 1980, 1, 1, 8, 0, 0},
        {29221.9888884444, 1980, 1, 1, 23, 44, 0},
        {29221.7508765432, 1980, 1, 1, 18, 1, 16},
        {29221.99999999, 1980, 1, 2, 0, 0, 0},  // carries into the next day
        {-1.99999999, 1899, 12, 30, 0, 0, 0},
        {59.0, 1900, 2, 27, 0, 0, 0},
        {61.0, 1900, 3, 1, 0, 0, 0},  // 1900 is no leap year
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.date);
        SYSTEMTIME st;
        ASSERT_TRUE(VariantTimeToSystemTime(row.date, &st));
        EXPECT_EQ(st.wYear, row.y);
        EXPECT_EQ(st.wMonth, row.mo);
        EXPECT_EQ(st.wDay, row.d);
        EXPECT_EQ(st.wHour, row.h);
        EXPECT_EQ(st.wMinute, row.mi);
        EXPECT_EQ(st.wSecond, row.s);
        EXPECT_EQ(st.wMilliseconds, 0);
    }
    SYSTEMTIME st;
    ASSERT_TRUE(VariantTimeToSystemTime(29221, &st));
    EXPECT_EQ(st.wDayOfWeek, 2);  // Tuesday
    ASSERT_TRUE(VariantTimeToSystemTime(0, &st));
    EXPECT_EQ(st.wDayOfWeek, 6);  // Saturday
    for (double bad : {-657435.0, 2958466.0, 2958465.99999999, double(NAN), double(INFINITY)}) {
        EXPECT_FALSE(VariantTimeToSystemTime(bad, &st)) << bad;
    }
}

TEST(SystemTime, ToDateNumber) {
    EXPECT_EQ(DateOf(Make(1980, 1, 1)), 29221.0);
    EXPECT_EQ(DateOf(Make(1980, 1, 0)), 29220.0);
    EXPECT_EQ(DateOf(Make(90, 12, 31)), 33238.0);
    EXPECT_EQ(DateOf(Make(5, 1, 1)), DateOf(Make(2005, 1, 1)));
    EXPECT_EQ(DateOf(Make(2001, 2, 29)), DateOf(Make(2001, 3, 1)));
    EXPECT_DOUBLE_EQ(DateOf(Make(1980, 1, 1, 18, 1, 16)), 29221.75087962963);
    EXPECT_EQ(DateOf(Make(1980, 1, 1, 18, 1, 16, 999)), DateOf(Make(1980, 1, 1, 18, 1, 16)));
    EXPECT_EQ(DateOf(Make(1899, 12, 29, 6)), -1.25);
    double d;
    EXPECT_FALSE(SystemTimeToVariantTime(Make(1980, 13, 1), &d));
    EXPECT_FALSE(SystemTimeToVariantTime(Make(1980, 0, 1), &d));
    EXPECT_FALSE(SystemTimeToVariantTime(Make(10000, 1, 1), &d));
}

TEST(SystemTime, RoundTripToTheSecond) {
    // Whole seconds spread over the whole range, both signs of date number.
    for (int64_t step = 0; step < 4000; ++step) {
        double seconds = static_cast<double>((step * 7919 * 86400 + step * 4099) % 86400);
        double day = -657434 + static_cast<double>(step) * 903.7;
        SYSTEMTIME st;
        ASSERT_TRUE(
            VariantTimeToSystemTime(std::trunc(day) + (day < 0 ? -1 : 1) * seconds / 86400.0, &st));
        double back;
        ASSERT_TRUE(SystemTimeToVariantTime(st, &back));
        SYSTEMTIME again;
        ASSERT_TRUE(VariantTimeToSystemTime(back, &again));
        ASSERT_EQ(0, std::memcmp(&st, &again, sizeof st)) << day;
    }
}

TEST(DateText, FormatEnUs) {
    const std::pair<double, const char*> rows[] = {
        {0.0, "12:00:00 AM"},
        {3.34, "1/2/1900 8:09:36 AM"},
        {365.0, "12/30/1900"},
        {365.25, "12/30/1900 6:00:00 AM"},
        {1461.5, "12/31/1903 12:00:00 PM"},
        {25570, "1/2/1970"},
        {-657434, "1/1/100"},
        {2958465, "12/31/9999"},
        {0.75, "6:00:00 PM"},
    };
    for (const auto& [date, text] : rows) {
        EXPECT_EQ(FormatDate(date), text) << date;
        EXPECT_EQ(Variant::Date(date).ToText(), text) << date;
    }
    EXPECT_EQ(ErrorOf([] { Variant::Date(2958466).ToText(); }), E_INVALIDARG_);
}

TEST(DateText, ParseEnUs) {
    // Each text with the date it reads as; NAN: no date (a type mismatch).
    const std::pair<const char*, double> rows[] = {
        {"1/2/1970", 25570},
        {"1-2-1970", 25570},
        {"1 2 1970", 25570},
        {"2 January 1970", 25570},
        {"2 Jan 1970", 25570},
        {"2-Jan-1970", 25570},
        {"2/Jan/1970", 25570},
        {"January 2, 1970", 25570},
        {"13-1-1970", 25581},
        {"1970-1-13", 25581},
        {"1 am", 1.0 / 24},
        {"12:59 PM", (12 * 60 + 59) / 1440.0},
        {"13:00 AM", 13 / 24.0},
        {"12:00 AM", 0},
        {"0.1", 1 / 1440.0},
        {"2.5", (2 * 60 + 5) / 1440.0},
        {"12/31/1999 6:00:00 AM", 36525.25},
        {"1999-12-31 18:30:15", 36525 + (18 * 3600 + 30 * 60 + 15) / 86400.0},
        {"30 2", 10990},    // cannot be month and day: February 1930
        {"Jan 35", 12785},  // cannot be a day: 1 January 1935
        {"0", NAN},
        {"1", NAN},
        {"0.0", NAN},
        {"True", NAN},
        {"1.1.1.1", NAN},
        {"02.01.1970", NAN},
        {"", NAN},
        {"1/2/1970 25:00", NAN},
        {"2/30/1970", NAN},
        {"1/2/3/4", NAN},
        {"1//2", NAN},
        {"32 49", NAN},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        double d = -99;
        bool ok = ParseDateText(text, &d);
        if (std::isnan(expected)) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(ErrorOf([&] { Variant::Text(text).ToDate(); }), DISP_E_TYPEMISMATCH_);
        } else {
            ASSERT_TRUE(ok);
            EXPECT_NEAR(d, expected, 1e-9);
            Variant v = Variant::Text(text).ChangeType(VT_DATE);
            EXPECT_EQ(v.Type(), VT_DATE);
            EXPECT_EQ(v.RealValue(), d);
        }
    }
    // Two numbers alone are a month and a day of the current year.
    double d;
    ASSERT_TRUE(ParseDateText("1 2", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 2)));
    ASSERT_TRUE(ParseDateText("14 1", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 14)));
}

TEST(DateText, RoundTripThroughText) {
    for (double date : {36525.25, 3.34, 25570.0, -49192.5, 0.5}) {
        double back;
        ASSERT_TRUE(ParseDateText(FormatDate(date), &back)) << FormatDate(date);
        EXPECT_NEAR(back, date, 1e-9);
    }
}

TEST(DateVariant, NumbersToDates) {
    EXPECT_EQ(Variant::R8(25570.5).ToDate(), 25570.5);
    EXPECT_EQ(Variant::I4(25570).ChangeType(VT_DATE).RealValue(), 25570.0);
    EXPECT_EQ(Variant::Currency(15000).ToDate(), 1.5);
    EXPECT_EQ(ErrorOf([] { Variant::R8(2958466.0).ToDate(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(ErrorOf([] { Variant::I4(-657435).ToDate(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(Variant::Date(2.5).ToI4(), 2);
    EXPECT_EQ(Variant::Date(3.5).ToR8(), 3.5);
}
