#include "platform/systemtime.h"

#include <cmath>

namespace xr {

namespace {

// Day numbers of the first and last representable days (1 Jan 100 and
// 31 Dec 9999); 1 Jan 1970 is day 25569.
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;
constexpr int64_t kDayOf1970 = 25569;
constexpr int64_t kSecondsPerDay = 86400;

// Days since 1 Jan 1970 of a date in the proleptic Gregorian calendar, which
// OLE date numbers use for every year.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

}  // namespace

bool VariantTimeToSystemTime(double date, SYSTEMTIME* st) {
    if (!st) return false;
    // The negation also refuses NaN.
    if (!(date > static_cast<double>(kFirstDay - 1) && date < static_cast<double>(kLastDay + 1)))
        return false;
    // For negative numbers the day is the integer part towards zero and the
    // time is the absolute fraction: -1.25 is 29 Dec 1899 06:00.
    double dayPart = std::trunc(date);
    double fraction = std::fabs(date - dayPart);
    int64_t day = static_cast<int64_t>(dayPart);
    int64_t seconds = static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
    if (seconds >= kSecondsPerDay) {  // 23:59:59.6 and later round into the next day
        seconds -= kSecondsPerDay;
        ++day;
    }
    if (day > kLastDay) return false;

    int64_t y, m, d;
    CivilFromDays(day - kDayOf1970, &y, &m, &d);
    st->wYear = static_cast<uint16_t>(y);
    st->wMonth = static_cast<uint16_t>(m);
    st->wDay = static_cast<uint16_t>(d);
    // Day 0 (30 Dec 1899) was a Saturday.
    st->wDayOfWeek = static_cast<uint16_t>(((day + 6) % 7 + 7) % 7);
    st->wHour = static_cast<uint16_t>(seconds / 3600);
    st->wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    st->wSecond = static_cast<uint16_t>(seconds % 60);
    st->wMilliseconds = 0;
    return true;
}

bool SystemTimeToVariantTime(const SYSTEMTIME& st, double* date) {
    if (!date) return false;
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay > 31) return false;
    int64_t year = st.wYear;
    if (year < 30) {
        year += 2000;
    } else if (year < 100) {
        year += 1900;
    }
    if (year > 9999) return false;
    // Day 0 and days past the month's end roll into the neighbouring months
    // simply by counting from the first of the month; hours, minutes and
    // seconds past their ranges roll the same way.
    int64_t day = DaysFromCivil(year, st.wMonth, 1) + kDayOf1970 + st.wDay - 1;
    int64_t seconds = int64_t{st.wHour} * 3600 + int64_t{st.wMinute} * 60 + st.wSecond;
    day += seconds / kSecondsPerDay;
    seconds %= kSecondsPerDay;
    if (day < kFirstDay || day > kLastDay) return false;
    double fraction = static_cast<double>(seconds) / kSecondsPerDay;
    *date = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
    return true;
}

}  // namespace xr
