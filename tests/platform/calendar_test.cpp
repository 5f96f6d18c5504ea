// The calendar every date conversion shares: day numbers against dates whose
// numbers are known independently, every day of the OLE range in order, and
// the split of OLE dates into day and time with the edges each caller relies on.
#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace xr::calendar;

TEST(Calendar, KnownDays) {
    const std::tuple<int, int, int, int64_t, int> rows[] = {
        // The other days follow from these through EveryDayInOrder and the
        // month lengths of MonthsAndYears.
        {100, 1, 1, -657434, 5},  // the first OLE day
        {1899, 12, 30, 0, 6},
        {1900, 3, 1, 61, 4},  // 1900 is no leap year
        {9999, 12, 31, 2958465, 5},
    };
    for (const auto& [y, m, d, day, weekday] : rows) {
        SCOPED_TRACE(testing::Message() << y << "-" << m << "-" << d);
        EXPECT_EQ(DayNumber(y, m, d), day);
        const Civil c = CivilDate(day);
        EXPECT_EQ(std::tie(c.year, c.month, c.day), std::tie(y, m, d));
        EXPECT_EQ(DayOfWeek(day), weekday);  // 0 = Sunday
    }
    EXPECT_EQ(DayNumber(1970, 1, 1), kDayOf1970);
    EXPECT_EQ(DayNumber(1900, 1, 1), kDayOf1900);
    EXPECT_EQ(DayNumber(100, 1, 1), kFirstDay);
    EXPECT_EQ(DayNumber(9999, 12, 31), kLastDay);
}

// Every day of the range follows the one before it: the next day of the month
// or the first of the next, the next weekday, and its number comes back.
TEST(Calendar, EveryDayInOrder) {
    Civil prev = CivilDate(kFirstDay - 1);
    ASSERT_EQ(prev.year, 99);
    for (int64_t day = kFirstDay; day <= kLastDay; ++day) {
        const Civil c = CivilDate(day);
        const bool nextInMonth =
            c.year == prev.year && c.month == prev.month && c.day == prev.day + 1;
        const bool firstOfNext = c.day == 1 && prev.day == DaysInMonth(prev.year, prev.month) &&
                                 (c.month == prev.month + 1 ? c.year == prev.year
                                                            : c.month == 1 && prev.month == 12 &&
                                                                  c.year == prev.year + 1);
        ASSERT_TRUE(nextInMonth || firstOfNext) << day;
        ASSERT_EQ(DayNumber(c.year, c.month, c.day), day);
        ASSERT_EQ(DayOfWeek(day), (DayOfWeek(day - 1) + 1) % 7) << day;
        prev = c;
    }
}

TEST(Calendar, MonthsAndYears) {
    for (int y : {1600, 2000, 2004, 1996, 4}) EXPECT_TRUE(IsLeapYear(y)) << y;
    for (int y : {1700, 1800, 1900, 2100, 2001, 100}) EXPECT_FALSE(IsLeapYear(y)) << y;
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2001, 4), 30);
    EXPECT_EQ(DaysInMonth(2001, 12), 31);
    // Days outside the month count on from its first.
    EXPECT_EQ(DayNumber(1980, 1, 0), DayNumber(1979, 12, 31));
    EXPECT_EQ(DayNumber(1980, 1, 32), DayNumber(1980, 2, 1));
    EXPECT_EQ(DayNumber(2001, 2, 29), DayNumber(2001, 3, 1));

    const std::tuple<int, int, int> rows[] = {
        {0, 2029, 2000},  {29, 2029, 2029},   {30, 2029, 1930}, {99, 2029, 1999},
        {49, 2049, 2049}, {50, 2049, 1950},   {100, 2029, 100}, {1753, 2049, 1753},
        {5, 2049, 2005},  {9999, 2029, 9999},
    };
    for (const auto& [written, lastYear, full] : rows) {
        EXPECT_EQ(FullYear(written, lastYear), full) << written;
    }
}

TEST(Calendar, OleDateSplitsAndJoins) {
    constexpr int64_t kSeconds = 86400;
    constexpr int64_t kTicks = 25920000;  // 1/300 s
    const std::tuple<double, int64_t, int64_t, int64_t> rows[] = {
        {2.5, kSeconds, 2, 43200},
        {-1.25, kSeconds, -1, 21600},          // the time counts forwards from the day's midnight
        {-0.5, kSeconds, 0, 43200},            // the day counts towards zero: 30 Dec 1899 12:00
        {29221.99999999, kSeconds, 29222, 0},  // rounds up into the next day
        {-1.99999999, kSeconds, 0, 0},         // below zero too
        {1 + 86399.999 / 86400, kSeconds, 2, 0},
        {1 + 86399.999 / 86400, kTicks, 2, 0},  // 23:59:59.999 is the next day's 00:00
        {1 + 86399.996 / 86400, kTicks, 1, kTicks - 1},
        {1 + 150.0 / kTicks, kTicks, 1, 150},  // half a second
        {-657434, kSeconds, kFirstDay, 0},
        {2958465.5, kSeconds, kLastDay, 43200},
    };
    for (const auto& [date, units, day, time] : rows) {
        SCOPED_TRACE(testing::Message() << date << " in " << units);
        const DayTime t = SplitOleDate(date, units);
        EXPECT_EQ(t.day, day);
        EXPECT_EQ(t.time, time);
        const DayTime back = SplitOleDate(OleDate(t.day, t.time, units), units);
        EXPECT_EQ(back.day, t.day);
        EXPECT_EQ(back.time, t.time);
    }
    EXPECT_EQ(OleDate(-1, 21600, kSeconds), -1.25);
    EXPECT_EQ(OleDate(0, 21600, kSeconds), 0.25);
    EXPECT_EQ(OleDate(kLastDay, 0, kTicks), 2958465.0);

    // On a straight line of days the time always counts forwards.
    EXPECT_EQ(ContinuousDays(-1.25), -0.75);
    EXPECT_EQ(ContinuousDays(-0.5), 0.5);
    EXPECT_EQ(ContinuousDays(-2.0), -2.0);
    EXPECT_EQ(ContinuousDays(2.25), 2.25);
}
