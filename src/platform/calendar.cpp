#include "platform/calendar.h"

#include <cmath>

namespace xr::calendar {

DayTime SplitOleDate(double date, int64_t unitsPerDay) {
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    DayTime t;
    t.day = static_cast<int64_t>(whole);
    t.time = std::llround(fraction * static_cast<double>(unitsPerDay));
    if (t.time >= unitsPerDay) {
        t.time -= unitsPerDay;
        ++t.day;
    }
    return t;
}

double OleDate(int64_t day, int64_t time, int64_t unitsPerDay) {
    const double fraction = static_cast<double>(time) / static_cast<double>(unitsPerDay);
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

double ContinuousDays(double date) { return date < 0 ? 2 * std::trunc(date) - date : date; }

}  // namespace xr::calendar
