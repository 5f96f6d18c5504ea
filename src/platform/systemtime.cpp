#include "platform/systemtime.h"

#include "platform/calendar.h"

namespace xr {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

}  // namespace

bool VariantTimeToSystemTime(double date, SYSTEMTIME* st) {
    if (!st) return false;
    // The negation also refuses NaN.
    if (!(date > static_cast<double>(calendar::kFirstDay - 1) &&
          date < static_cast<double>(calendar::kLastDay + 1)))
        return false;
    // 23:59:59.6 and later round into the next day, which may be past the last.
    const calendar::DayTime split = calendar::SplitOleDate(date, kSecondsPerDay);
    if (split.day > calendar::kLastDay) return false;

    const calendar::Civil c = calendar::CivilDate(split.day);
    st->wYear = static_cast<uint16_t>(c.year);
    st->wMonth = static_cast<uint16_t>(c.month);
    st->wDay = static_cast<uint16_t>(c.day);
    st->wDayOfWeek = static_cast<uint16_t>(calendar::DayOfWeek(split.day));
    st->wHour = static_cast<uint16_t>(split.time / 3600);
    st->wMinute = static_cast<uint16_t>(split.time / 60 % 60);
    st->wSecond = static_cast<uint16_t>(split.time % 60);
    st->wMilliseconds = 0;
    return true;
}

bool SystemTimeToVariantTime(const SYSTEMTIME& st, double* date) {
    if (!date) return false;
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay > 31) return false;
    const int64_t year = calendar::FullYear(st.wYear, 2029);
    if (year > 9999) return false;
    // Day 0 and days past the month's end roll into the neighbouring months
    // simply by counting from the first of the month; hours, minutes and
    // seconds past their ranges roll the same way.
    int64_t day = calendar::DayNumber(year, st.wMonth, 1) + st.wDay - 1;
    int64_t seconds = int64_t{st.wHour} * 3600 + int64_t{st.wMinute} * 60 + st.wSecond;
    day += seconds / kSecondsPerDay;
    seconds %= kSecondsPerDay;
    if (day < calendar::kFirstDay || day > calendar::kLastDay) return false;
    *date = calendar::OleDate(day, seconds, kSecondsPerDay);
    return true;
}

}  // namespace xr
