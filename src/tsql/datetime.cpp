// Dates and times as the server keeps, reads, shows and computes them
// (us_english, DATEFORMAT mdy).
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "tsql/types.h"
#include "tsql/types_detail.h"

namespace xr::tsql {
namespace detail {

// ---------------------------------------------------------------------------
// Dates: a serial day (0 = 1899-12-30) and the time of day in 1/300 seconds.

// Milliseconds to the server's 1/300 s, to the nearest tick.
int64_t TicksFromMs(int64_t ms) { return (ms * 3 + 5) / 10; }
// 1/300 s to the milliseconds the server shows for them: .000, .003, .007.
int64_t MsFromTicks(int64_t ticks) { return (ticks * 10 + 1) / 3; }

// OLE dates below zero count the day towards zero and the time upwards.
DateParts OleToParts(double ole) {
    if (!(std::fabs(ole) < 1e7)) {  // no date at all; every range check refuses it
        DateParts far;
        far.serial = std::isnan(ole) || ole > 0 ? INT32_MAX : INT32_MIN;
        return far;
    }
    const calendar::DayTime split = calendar::SplitOleDate(ole, kTicksPerDay);
    DateParts p;
    p.serial = split.day;
    p.ticks = split.time;
    return p;
}

double PartsToOle(const DateParts& p) { return calendar::OleDate(p.serial, p.ticks, kTicksPerDay); }

// Days since 1900-01-01 as one continuous number (what CAST(date AS FLOAT) gives).
double PartsToDays1900(const DateParts& p) {
    return static_cast<double>(p.serial - calendar::kDayOf1900) +
           static_cast<double>(p.ticks) / static_cast<double>(kTicksPerDay);
}

DateParts Days1900ToParts(double days) {
    DateParts p;
    if (!(std::fabs(days) < 1e7)) {  // far outside any date; caught by the range check
        p.serial = std::isnan(days) || days > 0 ? INT32_MAX : INT32_MIN;
        return p;
    }
    double day = std::floor(days);
    p.serial = static_cast<int64_t>(day) + calendar::kDayOf1900;
    p.ticks = std::llround((days - day) * kTicksPerDay);
    if (p.ticks >= kTicksPerDay) {
        p.ticks -= kTicksPerDay;
        ++p.serial;
    }
    return p;
}

bool DateInRange(const DateParts& p, TypeKind kind) {
    if (kind == TypeKind::SmallDateTime)
        return p.serial >= kMinSmallSerial && p.serial <= kMaxSmallSerial;
    return p.serial >= kMinDateSerial && p.serial <= kMaxDateSerial;
}

// SMALLDATETIME keeps whole minutes (29.998 seconds and above round up).
DateParts RoundForType(DateParts p, TypeKind kind) {
    if (kind == TypeKind::SmallDateTime) {
        p.ticks = (p.ticks + kTicksPerMinute / 2) / kTicksPerMinute * kTicksPerMinute;
        if (p.ticks >= kTicksPerDay) {
            p.ticks -= kTicksPerDay;
            ++p.serial;
        }
    }
    return p;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IEq(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

int MonthFromName(std::string_view w) {
    for (int i = 0; i < 12; ++i) {
        if (IEq(w, kMonthShort[i]) || IEq(w, kMonthLong[i])) return i + 1;
    }
    return 0;
}

int ToInt(std::string_view digits) {
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

int ExpandYear(std::string_view digits) {
    int y = ToInt(digits);
    if (digits.size() <= 2) y = calendar::FullYear(y, 2049);  // two-digit year cutoff 2049
    return y;
}

// "hh:mm[:ss[.fff|:mmm]] [AM|PM]" or "hh AM".
bool ParseTimeText(std::string_view s, int64_t* ticks) {
    size_t i = 0;
    auto number = [&](int maxDigits, int* out) {
        size_t start = i;
        while (i < s.size() && IsDigit(s[i]) && static_cast<int>(i - start) < maxDigits) ++i;
        if (i == start) return false;
        *out = ToInt(s.substr(start, i - start));
        return true;
    };
    int h = 0, m = 0, sec = 0;
    int64_t ms = 0;
    if (!number(2, &h)) return false;
    bool hasMinutes = false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!number(2, &m)) return false;
        hasMinutes = true;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!number(2, &sec)) return false;
            if (i < s.size() && (s[i] == '.' || s[i] == ':')) {
                bool millis = s[i] == ':';
                ++i;
                size_t start = i;
                while (i < s.size() && IsDigit(s[i])) ++i;
                std::string_view f = s.substr(start, i - start);
                if (f.empty() && millis) return false;
                if (millis) {
                    if (f.size() > 3) return false;
                    ms = ToInt(f);
                } else {
                    // A fraction of a second: round to milliseconds.
                    int64_t num = 0, den = 1;
                    for (size_t k = 0; k < f.size() && k < 9; ++k) {
                        num = num * 10 + (f[k] - '0');
                        den *= 10;
                    }
                    ms = (num * 1000 * 2 + den) / (2 * den);
                }
            }
        }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    std::string_view rest = s.substr(i);
    if (!rest.empty()) {
        bool pm;
        if (IEq(rest, "AM")) {
            pm = false;
        } else if (IEq(rest, "PM")) {
            pm = true;
        } else {
            return false;
        }
        if (h > 12) return false;
        if (h == 12) h = 0;
        if (pm) h += 12;
    } else if (!hasMinutes) {
        return false;  // a bare number is no time
    }
    if (h > 23 || m > 59 || sec > 59 || ms > 999) return false;
    int64_t totalMs = ((static_cast<int64_t>(h) * 60 + m) * 60 + sec) * 1000 + ms;
    *ticks = TicksFromMs(totalMs);
    return true;
}

// A date without time: "yyyymmdd", "yymmdd", "yyyy", "mm/dd/yyyy", "yyyy-mm-dd",
// "Jan 1 2000", "1 January 2000", "Jan 1, 2000".
namespace {
// The thread's SET DATEFORMAT; the server's default for us_english.
thread_local char t_dateFormat[4] = "mdy";
}  // namespace

DateParse ParseDatePart(std::string_view s, int* year, int* month, int* day, char order) {
    if (s.empty()) {
        *year = 1900;
        *month = 1;
        *day = 1;
        return DateParse::Ok;
    }
    bool allDigits = std::all_of(s.begin(), s.end(), IsDigit);
    if (allDigits) {
        if (s.size() == 8) {
            *year = ToInt(s.substr(0, 4));
            *month = ToInt(s.substr(4, 2));
            *day = ToInt(s.substr(6, 2));
        } else if (s.size() == 6) {
            *year = ExpandYear(s.substr(0, 2));
            *month = ToInt(s.substr(2, 2));
            *day = ToInt(s.substr(4, 2));
        } else if (s.size() == 4) {
            *year = ToInt(s);
            *month = 1;
            *day = 1;
        } else {
            return DateParse::Bad;
        }
    } else {
        // Tokens: numbers, words and separators.
        std::string_view numbers[3];
        int numberCount = 0;
        int monthWord = 0;
        char sep = 0;
        bool mixedSeparators = false;
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (IsDigit(c)) {
                size_t start = i;
                while (i < s.size() && IsDigit(s[i])) ++i;
                if (numberCount == 3) return DateParse::Bad;
                numbers[numberCount++] = s.substr(start, i - start);
            } else if (IsAlpha(c)) {
                size_t start = i;
                while (i < s.size() && IsAlpha(s[i])) ++i;
                if (monthWord != 0) return DateParse::Bad;
                monthWord = MonthFromName(s.substr(start, i - start));
                if (monthWord == 0) return DateParse::Bad;
            } else if (c == '/' || c == '-' || c == '.') {
                if (sep != 0 && sep != c) mixedSeparators = true;
                sep = c;
                ++i;
            } else if (c == ' ' || c == ',') {
                ++i;
            } else {
                return DateParse::Bad;
            }
        }
        if (monthWord != 0) {
            *month = monthWord;
            if (numberCount == 2) {
                if (numbers[0].size() >= 3) {
                    *year = ExpandYear(numbers[0]);
                    *day = ToInt(numbers[1]);
                } else {
                    *day = ToInt(numbers[0]);
                    *year = ExpandYear(numbers[1]);
                }
            } else if (numberCount == 1 && numbers[0].size() == 4) {
                *year = ToInt(numbers[0]);
                *day = 1;
            } else {
                return DateParse::Bad;
            }
        } else {
            if (numberCount != 3 || sep == 0 || mixedSeparators) return DateParse::Bad;
            if (numbers[0].size() == 4) {
                *year = ToInt(numbers[0]);
                *month = ToInt(numbers[1]);
                *day = ToInt(numbers[2]);
            } else {
                // The parts in the order given: "yy.mm.dd" with 'y', else the
                // session's DATEFORMAT. A year last has two or four digits;
                // elsewhere, as every other part, at most two.
                const char* parts = order == 'y'   ? "ymd"
                                    : order == 'd' ? "dmy"
                                    : order == 'm' ? "mdy"
                                                   : t_dateFormat;
                for (int k = 0; k < 3; ++k) {
                    const size_t n = numbers[k].size();
                    if (parts[k] == 'y' && k == 2 ? n != 2 && n != 4 : n > 2) {
                        return DateParse::Bad;
                    }
                    const int value = ToInt(numbers[k]);
                    if (parts[k] == 'y') {
                        *year = ExpandYear(numbers[k]);
                    } else if (parts[k] == 'm') {
                        *month = value;
                    } else {
                        *day = value;
                    }
                }
            }
        }
    }
    if (*month < 1 || *month > 12 || *day < 1) return DateParse::Bad;
    if (*year < 1 || *year > 9999 || *day > DaysInMonth(*year, *month)) return DateParse::Bad;
    if (*year < 1753) return DateParse::OutOfRange;
    return DateParse::Ok;
}

DateParse ParseDateTimeParts(std::string_view text, DateParts* out, char order) {
    std::string_view s = TrimBlanks(text);
    // The time starts at the digits before the first ':'; or it is "hh AM" at the end.
    size_t timeStart = std::string_view::npos;
    size_t colon = s.find(':');
    if (colon != std::string_view::npos) {
        timeStart = colon;
        while (timeStart > 0 && IsDigit(s[timeStart - 1])) --timeStart;
    } else if (s.size() >= 2 &&
               (IEq(s.substr(s.size() - 2), "AM") || IEq(s.substr(s.size() - 2), "PM"))) {
        size_t k = s.size() - 2;
        while (k > 0 && s[k - 1] == ' ') --k;
        size_t end = k;
        while (k > 0 && IsDigit(s[k - 1])) --k;
        if (k == end) return DateParse::Bad;
        timeStart = k;
    }
    std::string_view datePart = s;
    int64_t ticks = 0;
    if (timeStart != std::string_view::npos) {
        if (!ParseTimeText(s.substr(timeStart), &ticks)) return DateParse::Bad;
        datePart = s.substr(0, timeStart);
        // "yyyy-mm-ddThh:mm:ss": the T joins date and time.
        if (!datePart.empty() && (datePart.back() == 'T' || datePart.back() == 't') &&
            datePart.size() >= 2 && IsDigit(datePart[datePart.size() - 2])) {
            datePart.remove_suffix(1);
        }
        datePart = TrimBlanks(datePart);
    }
    int y = 0, m = 0, d = 0;
    DateParse r = ParseDatePart(datePart, &y, &m, &d, order);
    if (r != DateParse::Ok) return r;
    out->serial = DayNumber(y, m, d);
    out->ticks = ticks;
    if (ticks >= kTicksPerDay) {  // 23:59:59.999 rounds to the next day
        out->ticks -= kTicksPerDay;
        ++out->serial;
    }
    if (out->serial > kMaxDateSerial) return DateParse::OutOfRange;
    return DateParse::Ok;
}

void FormatParts(const DateParts& p, Civil* c, int* h, int* mi, int* s, int* ms) {
    *c = CivilDate(p.serial);
    int64_t totalMs = MsFromTicks(p.ticks);
    *ms = static_cast<int>(totalMs % 1000);
    int64_t secs = totalMs / 1000;
    *s = static_cast<int>(secs % 60);
    *mi = static_cast<int>(secs / 60 % 60);
    *h = static_cast<int>(secs / 3600);
}

}  // namespace detail

using namespace detail;

bool SetDateFormat(std::string_view order) {
    static const char* const kOrders[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
    for (const char* o : kOrders) {
        if (IEq(order, o)) {
            std::copy(o, o + 4, t_dateFormat);
            return true;
        }
    }
    return false;
}

std::string DateFormat() { return t_dateFormat; }

bool ParseDateTimeText(std::string_view text, double* oleDate) {
    DateParts p;
    if (ParseDateTimeParts(text, &p) != DateParse::Ok) return false;
    *oleDate = PartsToOle(p);
    return true;
}

std::string FormatDateTime121(double oleDate) {
    Civil c;
    int h, mi, s, ms;
    FormatParts(OleToParts(oleDate), &c, &h, &mi, &s, &ms);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, h,
                  mi, s, ms);
    return buf;
}

std::string FormatDateTimeDefault(double oleDate) {
    Civil c;
    int h, mi, s, ms;
    FormatParts(OleToParts(oleDate), &c, &h, &mi, &s, &ms);
    int h12 = h % 12 == 0 ? 12 : h % 12;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d%s", kMonthShort[c.month - 1], c.day, c.year,
                  h12, mi, h < 12 ? "AM" : "PM");
    return buf;
}

bool FormatDateTimeStyle(double oleDate, int style, std::string* out) {
    Civil c;
    int h, mi, sec, ms;
    FormatParts(OleToParts(oleDate), &c, &h, &mi, &sec, &ms);
    const bool century = style >= 100;
    const int y = century ? c.year : c.year % 100;
    const int h12 = h % 12 == 0 ? 12 : h % 12;
    const char* ampm = h < 12 ? "AM" : "PM";
    const char* mon = kMonthShort[c.month - 1];
    char buf[80];
    auto ymd = [&](const char* order, char sep) {
        // order: the three parts as letters, e.g. "mdy"
        std::string out;
        for (const char* k = order; *k; ++k) {
            if (k != order && sep) out += sep;
            char part[16];
            if (*k == 'y')
                std::snprintf(part, sizeof part, century ? "%04d" : "%02d", y);
            else
                std::snprintf(part, sizeof part, "%02d", *k == 'm' ? c.month : c.day);
            out += part;
        }
        return out;
    };
    switch (style) {
        case 0:
        case 100:
            *out = FormatDateTimeDefault(oleDate);
            return true;
        case 1:
        case 101:
            *out = ymd("mdy", '/');
            return true;
        case 2:
        case 102:
            *out = ymd("ymd", '.');
            return true;
        case 3:
        case 103:
            *out = ymd("dmy", '/');
            return true;
        case 4:
        case 104:
            *out = ymd("dmy", '.');
            return true;
        case 5:
        case 105:
            *out = ymd("dmy", '-');
            return true;
        case 6:
        case 106:
            std::snprintf(buf, sizeof buf, "%02d %s %0*d", c.day, mon, century ? 4 : 2, y);
            break;
        case 7:
        case 107:
            std::snprintf(buf, sizeof buf, "%s %02d, %0*d", mon, c.day, century ? 4 : 2, y);
            break;
        case 8:
        case 108:
        case 24:
            std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, sec);
            break;
        case 9:
        case 109:
            std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d:%02d:%03d%s", mon, c.day, c.year,
                          h12, mi, sec, ms, ampm);
            break;
        case 10:
        case 110:
            *out = ymd("mdy", '-');
            return true;
        case 11:
        case 111:
            *out = ymd("ymd", '/');
            return true;
        case 12:
        case 112:
            *out = ymd("ymd", 0);
            return true;
        case 13:
        case 113:
            std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d:%03d", c.day, mon, c.year,
                          h, mi, sec, ms);
            break;
        case 14:
        case 114:
            std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", h, mi, sec, ms);
            break;
        case 20:
        case 120:
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                          h, mi, sec);
            break;
        case 21:
        case 25:
        case 121:
            *out = FormatDateTime121(oleDate);
            return true;
        case 22:
            std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %2d:%02d:%02d %s", c.month, c.day,
                          c.year % 100, h12, mi, sec, ampm);
            break;
        case 23:
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
            break;
        case 126:
        case 127:
            // The milliseconds are left out when they are zero; a DATETIME
            // has no zone for 127 to show.
            if (ms != 0) {
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", c.year,
                              c.month, c.day, h, mi, sec, ms);
            } else {
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month,
                              c.day, h, mi, sec);
            }
            break;
        default:
            return false;
    }
    *out = buf;
    return true;
}

namespace {

enum class Part {
    Year,
    Quarter,
    Month,
    DayOfYear,
    Day,
    Week,
    Weekday,
    Hour,
    Minute,
    Second,
    Millisecond
};

Part ParsePart(std::string_view text) {
    struct Name {
        const char* name;
        Part part;
    };
    static const Name kNames[] = {
        {"year", Part::Year},       {"yy", Part::Year},
        {"yyyy", Part::Year},       {"quarter", Part::Quarter},
        {"qq", Part::Quarter},      {"q", Part::Quarter},
        {"month", Part::Month},     {"mm", Part::Month},
        {"m", Part::Month},         {"dayofyear", Part::DayOfYear},
        {"dy", Part::DayOfYear},    {"y", Part::DayOfYear},
        {"day", Part::Day},         {"dd", Part::Day},
        {"d", Part::Day},           {"week", Part::Week},
        {"wk", Part::Week},         {"ww", Part::Week},
        {"weekday", Part::Weekday}, {"dw", Part::Weekday},
        {"w", Part::Weekday},       {"hour", Part::Hour},
        {"hh", Part::Hour},         {"minute", Part::Minute},
        {"mi", Part::Minute},       {"n", Part::Minute},
        {"second", Part::Second},   {"ss", Part::Second},
        {"s", Part::Second},        {"millisecond", Part::Millisecond},
        {"ms", Part::Millisecond},
    };
    std::string_view t = TrimBlanks(text);
    for (const Name& n : kNames)
        if (IEq(t, n.name)) return n.part;
    Fail("'" + std::string(text) + "' is not a recognized datepart option.");
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// 1 = Sunday .. 7 = Saturday (DATEFIRST 7).
int64_t Weekday(int64_t serial) { return calendar::DayOfWeek(serial) + 1; }

DateParts CheckedParts(double ole) {
    if (!std::isfinite(ole) || std::fabs(ole) > 1e7)
        Fail("Conversion failed when converting date and/or time from character string.");
    return OleToParts(ole);
}

int64_t MsOf(const DateParts& p) { return p.serial * 86400000 + MsFromTicks(p.ticks); }

}  // namespace

int64_t DatePart(std::string_view part, double oleDate) {
    Part which = ParsePart(part);
    DateParts p = CheckedParts(oleDate);
    Civil c;
    int h, mi, s, ms;
    FormatParts(p, &c, &h, &mi, &s, &ms);
    int64_t dayOfYear = p.serial - DayNumber(c.year, 1, 1) + 1;
    switch (which) {
        case Part::Year:
            return c.year;
        case Part::Quarter:
            return (c.month - 1) / 3 + 1;
        case Part::Month:
            return c.month;
        case Part::DayOfYear:
            return dayOfYear;
        case Part::Day:
            return c.day;
        case Part::Week:
            return (dayOfYear + Weekday(DayNumber(c.year, 1, 1)) - 2) / 7 + 1;
        case Part::Weekday:
            return Weekday(p.serial);
        case Part::Hour:
            return h;
        case Part::Minute:
            return mi;
        case Part::Second:
            return s;
        case Part::Millisecond:
            return ms;
    }
    return 0;
}

int64_t DateDiff(std::string_view part, double fromOle, double toOle) {
    Part which = ParsePart(part);
    DateParts a = CheckedParts(fromOle), b = CheckedParts(toOle);
    Civil ca = CivilDate(a.serial), cb = CivilDate(b.serial);
    int64_t r = 0;
    switch (which) {
        case Part::Year:
            r = cb.year - ca.year;
            break;
        case Part::Quarter:
            r = (cb.year * 4 + (cb.month - 1) / 3) - (ca.year * 4 + (ca.month - 1) / 3);
            break;
        case Part::Month:
            r = (cb.year * 12 + cb.month) - (ca.year * 12 + ca.month);
            break;
        case Part::DayOfYear:
        case Part::Day:
        case Part::Weekday:
            r = b.serial - a.serial;
            break;
        case Part::Week:
            r = FloorDiv(b.serial - 1, 7) - FloorDiv(a.serial - 1, 7);
            break;
        case Part::Hour:
            r = (b.serial * 24 + b.ticks / 1080000) - (a.serial * 24 + a.ticks / 1080000);
            break;
        case Part::Minute:
            r = (b.serial * 1440 + b.ticks / kTicksPerMinute) -
                (a.serial * 1440 + a.ticks / kTicksPerMinute);
            break;
        case Part::Second:
            r = (b.serial * 86400 + b.ticks / 300) - (a.serial * 86400 + a.ticks / 300);
            break;
        case Part::Millisecond:
            r = MsOf(b) - MsOf(a);
            break;
    }
    if (r < INT32_MIN || r > INT32_MAX)
        Fail(
            "The datediff function resulted in an overflow. The number of dateparts separating "
            "two date/time instances is too large. Try to use datediff with a less precise "
            "datepart.");
    return r;
}

double DateAdd(std::string_view part, int64_t n, double oleDate) {
    Part which = ParsePart(part);
    DateParts p = CheckedParts(oleDate);
    const char* overflow = "Adding a value to a 'datetime' column caused an overflow.";
    if (n > 4000000000LL || n < -4000000000LL) Fail(overflow);
    switch (which) {
        case Part::Year:
        case Part::Quarter:
        case Part::Month: {
            Civil c = CivilDate(p.serial);
            int64_t months = which == Part::Year ? n * 12 : which == Part::Quarter ? n * 3 : n;
            int64_t index = static_cast<int64_t>(c.year) * 12 + (c.month - 1) + months;
            int64_t year = FloorDiv(index, 12);
            if (year < 1753 || year > 9999) Fail(overflow);
            int month = static_cast<int>(index - year * 12) + 1;
            int day = std::min(c.day, DaysInMonth(static_cast<int>(year), month));
            p.serial = DayNumber(year, month, day);
            break;
        }
        case Part::DayOfYear:
        case Part::Day:
        case Part::Weekday:
            p.serial += n;
            break;
        case Part::Week:
            p.serial += 7 * n;
            break;
        case Part::Hour:
        case Part::Minute:
        case Part::Second: {
            int64_t unit = which == Part::Hour     ? 1080000
                           : which == Part::Minute ? kTicksPerMinute
                                                   : 300;
            int64_t total = p.ticks + n * unit;
            p.serial += FloorDiv(total, kTicksPerDay);
            p.ticks = total - FloorDiv(total, kTicksPerDay) * kTicksPerDay;
            break;
        }
        case Part::Millisecond: {
            int64_t ms = MsFromTicks(p.ticks) + n;
            int64_t days = FloorDiv(ms, 86400000);
            ms -= days * 86400000;
            p.serial += days;
            p.ticks = TicksFromMs(ms);
            if (p.ticks >= kTicksPerDay) {
                p.ticks -= kTicksPerDay;
                ++p.serial;
            }
            break;
        }
    }
    if (!DateInRange(p, TypeKind::DateTime)) Fail(overflow);
    return PartsToOle(p);
}

std::string DateName(std::string_view part, double oleDate) {
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    Part which = ParsePart(part);
    if (which == Part::Month) {
        std::string name = kMonthLong[DatePart("month", oleDate) - 1];
        name[0] = static_cast<char>(name[0] - 32);
        return name;
    }
    if (which == Part::Weekday) return kDays[DatePart("weekday", oleDate) - 1];
    return std::to_string(DatePart(part, oleDate));
}

double CurrentDateTime() { return CurrentTime(false); }
double CurrentUtcDateTime() { return CurrentTime(true); }

double detail::CurrentTime(bool utc) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local;
    if (utc)
        gmtime_r(&ts.tv_sec, &local);
    else
        localtime_r(&ts.tv_sec, &local);
    DateParts p;
    p.serial = DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    int64_t ms = ((local.tm_hour * 60LL + local.tm_min) * 60 + std::min(local.tm_sec, 59)) * 1000 +
                 ts.tv_nsec / 1000000;
    p.ticks = TicksFromMs(ms);
    if (p.ticks >= kTicksPerDay) {
        p.ticks -= kTicksPerDay;
        ++p.serial;
    }
    return PartsToOle(p);
}

}  // namespace xr::tsql
