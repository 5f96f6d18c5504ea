// The library's one calendar. Days are numbered as OLE dates number them: day
// 0 is 30 December 1899, and every year follows the Gregorian rules, also
// before 1582. An OLE date is that day number with the time of day as the
// fraction; below zero the day counts towards zero while the time still
// counts forwards from its midnight (-1.25 is 29 December 1899, 06:00).
#pragma once

#include <cstdint>

namespace xr::calendar {

inline constexpr int64_t kDayOf1900 = 2;       // 1 Jan 1900, where the server's own count starts
inline constexpr int64_t kDayOf1970 = 25569;   // 1 Jan 1970, where Unix time starts
inline constexpr int64_t kFirstDay = -657434;  // 1 Jan 100, the first day an OLE date holds
inline constexpr int64_t kLastDay = 2958465;   // 31 Dec 9999, the last

struct Civil {
    int year = 1;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
};

constexpr bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// `month` is 1..12.
constexpr int DaysInMonth(int64_t year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The day number of a date (`month` 1..12). The count is linear in `day`, so a
// day past the month's end, or 0, lands in the neighbouring month.
constexpr int64_t DayNumber(int64_t year, int64_t month, int64_t day) {
    // Counted in 400-year eras of March-based years, so that the leap day
    // ends its year; 719468 is the day of 1 Mar 0 before 1 Jan 1970.
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + kDayOf1970;
}

constexpr Civil CivilDate(int64_t dayNumber) {
    const int64_t z = dayNumber - kDayOf1970 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    Civil c;
    c.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    c.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    c.year = static_cast<int>(yearOfEra + era * 400 + (c.month <= 2));
    return c;
}

// 0 = Sunday .. 6 = Saturday; day 0 was a Saturday.
constexpr int DayOfWeek(int64_t dayNumber) {
    return static_cast<int>(((dayNumber + 6) % 7 + 7) % 7);
}

// A year written with two digits (0..99) is the one of 1900..1999 or
// 2000..2099 that falls in the hundred years ending with `lastYear`; other
// years stay as they are. OLE takes 2029 as the last, the server 2049.
constexpr int FullYear(int year, int lastYear) {
    if (year >= 100) return year;
    return year + 2000 <= lastYear ? year + 2000 : year + 1900;
}

// An OLE date as its day number and its time of day in units of which a day
// has `unitsPerDay`, rounded to the nearest unit; a time that rounds up to
// midnight is the next day's. The caller keeps `date` finite and within reach
// of int64.
struct DayTime {
    int64_t day = 0;
    int64_t time = 0;  // 0 .. unitsPerDay - 1
};
DayTime SplitOleDate(double date, int64_t unitsPerDay);

// The OLE date of a day and a time of day in units of which a day has
// `unitsPerDay`.
double OleDate(int64_t day, int64_t time, int64_t unitsPerDay);

// An OLE date as one straight count of days since day 0, the time counted
// forwards on every day: -1.25 (29 Dec 1899, 06:00) is -0.75.
double ContinuousDays(double date);

}  // namespace xr::calendar
