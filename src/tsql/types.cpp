// T-SQL types and conversions with the server's rules (SQL Server 2008,
// default settings: us_english, DATEFORMAT mdy, ANSI_PADDING on).
#include "tsql/types.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/calendar.h"
#include "platform/error.h"

namespace xr::tsql {

namespace {

using i128 = __int128;

constexpr int kMaxDigits = 38;
constexpr int64_t kTicksPerDay = 25920000;  // the server keeps time in 1/300 seconds
constexpr int64_t kTicksPerMinute = 18000;
constexpr int32_t kCastDefaultLength = 30;
constexpr int32_t kMaxLength = 8000;
constexpr int32_t kLongLength = 2147483647;
constexpr const char* kTruncated = "String or binary data would be truncated.";
constexpr const char* kMultiStep =
    "Multiple-step OLE DB operation generated errors. Check each OLE DB status value, if "
    "available. No work was done.";

[[noreturn]] void Fail(std::string message) {
    throw ComError(DB_E_ERRORSINCOMMAND, std::move(message));
}

[[noreturn]] void FailWrite() { throw ComError(DB_E_ERRORSOCCURRED, kMultiStep); }

i128 Pow10(int n) {
    n = std::clamp(n, 0, kMaxDigits);  // callers keep within 38 digits
    i128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

i128 Abs(i128 v) { return v < 0 ? -v : v; }

int DigitCount(i128 v) {
    v = Abs(v);
    int n = 0;
    while (v != 0) {
        v /= 10;
        ++n;
    }
    return n;
}

// m / 10^by, half away from zero.
i128 DivRound(i128 m, int by) {
    if (by <= 0) return m;
    if (by > kMaxDigits) return 0;
    i128 d = Pow10(by);
    i128 q = m / d;
    i128 r = Abs(m % d);
    if (2 * r >= d) q += m < 0 ? -1 : 1;
    return q;
}

// An exact number: m / 10^scale.
struct Exact {
    i128 m = 0;
    int scale = 0;
};

// Brings `e` to `scale` digits (half away from zero); false when more than 38 digits result.
bool Rescale(const Exact& e, int scale, i128* out) {
    if (e.m == 0) {
        *out = 0;
        return true;
    }
    if (scale >= e.scale) {
        int up = scale - e.scale;
        if (e.m != 0 && DigitCount(e.m) + up > kMaxDigits) return false;
        *out = e.m * Pow10(up);
    } else {
        *out = DivRound(e.m, e.scale - scale);
    }
    return true;
}

i128 Truncate(const Exact& e) {
    if (e.scale > kMaxDigits) return 0;
    return e.scale <= 0 ? e.m : e.m / Pow10(e.scale);
}

std::string I128ToText(i128 v) {
    if (v == 0) return "0";
    char buf[48];
    int n = 0;
    bool negative = v < 0;
    i128 a = Abs(v);
    while (a != 0) {
        buf[n++] = static_cast<char>('0' + static_cast<int>(a % 10));
        a /= 10;
    }
    std::string s;
    s.reserve(n + 1);
    if (negative) s.push_back('-');
    while (n > 0) s.push_back(buf[--n]);
    return s;
}

// "-1.50" for (-150, 2): always `scale` digits after the point.
std::string ExactToText(i128 m, int scale) {
    if (scale <= 0) return I128ToText(m);
    std::string digits = I128ToText(Abs(m));
    if (static_cast<int>(digits.size()) <= scale)
        digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
    if (m < 0) digits.insert(0, 1, '-');
    return digits;
}

double ExactToDouble(const Exact& e) {
    constexpr i128 kExactLimit = i128(1) << 53;
    if (Abs(e.m) < kExactLimit && e.scale >= 0 && e.scale <= 22) {
        // Both operands are exact doubles, so the quotient is correctly rounded.
        double r = static_cast<double>(static_cast<int64_t>(e.m));
        return e.scale == 0 ? r : r / std::pow(10.0, e.scale);
    }
    std::string text = ExactToText(e.m, e.scale);
    return std::strtod(text.c_str(), nullptr);
}

// The double's first `sig` significant digits, rounded half away from zero to
// `scale` places. False when the result needs more than 38 digits.
bool DoubleToExact(double d, int sig, int scale, i128* out) {
    if (!std::isfinite(d)) return false;
    if (d == 0) {
        *out = 0;
        return true;
    }
    if (std::fabs(d) >= 1e38) return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", sig - 1, d);
    i128 digits = 0;
    const char* p = buf;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    for (; *p != 'e' && *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '9') digits = digits * 10 + (*p - '0');
    }
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    if (negative) digits = -digits;
    // value = digits * 10^(exponent - sig + 1); wanted: value * 10^scale
    int shift = exponent - (sig - 1) + scale;
    if (shift >= 0) {
        if (digits != 0 && DigitCount(digits) + shift > kMaxDigits) return false;
        *out = digits * Pow10(shift);
    } else {
        *out = DivRound(digits, -shift);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Dates: a serial day (0 = 1899-12-30) and the time of day in 1/300 seconds.

struct DateParts {
    int64_t serial = 0;
    int64_t ticks = 0;
};

// Milliseconds to the server's 1/300 s, to the nearest tick.
int64_t TicksFromMs(int64_t ms) { return (ms * 3 + 5) / 10; }
// 1/300 s to the milliseconds the server shows for them: .000, .003, .007.
int64_t MsFromTicks(int64_t ticks) { return (ticks * 10 + 1) / 3; }

using calendar::Civil;
using calendar::CivilDate;
using calendar::DayNumber;
using calendar::DaysInMonth;

constexpr int64_t kMinDateSerial = DayNumber(1753, 1, 1);
constexpr int64_t kMaxDateSerial = DayNumber(9999, 12, 31);
constexpr int64_t kMinSmallSerial = DayNumber(1900, 1, 1);
constexpr int64_t kMaxSmallSerial = DayNumber(2079, 6, 6);

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

const char* const kMonthShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[] = {"january",   "february", "march",    "april",
                                  "may",       "june",     "july",     "august",
                                  "september", "october",  "november", "december"};

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

enum class DateParse { Ok, Bad, OutOfRange };

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
DateParse ParseDatePart(std::string_view s, int* year, int* month, int* day) {
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
                if (numbers[0].size() > 2 || numbers[1].size() > 2) return DateParse::Bad;
                if (numbers[2].size() != 2 && numbers[2].size() != 4) return DateParse::Bad;
                *month = ToInt(numbers[0]);
                *day = ToInt(numbers[1]);
                *year = ExpandYear(numbers[2]);
            }
        }
    }
    if (*month < 1 || *month > 12 || *day < 1) return DateParse::Bad;
    if (*year < 1 || *year > 9999 || *day > DaysInMonth(*year, *month)) return DateParse::Bad;
    if (*year < 1753) return DateParse::OutOfRange;
    return DateParse::Ok;
}

DateParse ParseDateTimeParts(std::string_view text, DateParts* out) {
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
    DateParse r = ParseDatePart(datePart, &y, &m, &d);
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

// ---------------------------------------------------------------------------
// Type names in the server's messages.

const char* ServerName(TypeKind k) {
    switch (k) {
        case TypeKind::Bit:
            return "bit";
        case TypeKind::TinyInt:
            return "tinyint";
        case TypeKind::SmallInt:
            return "smallint";
        case TypeKind::Int:
            return "int";
        case TypeKind::BigInt:
            return "bigint";
        case TypeKind::Money:
            return "money";
        case TypeKind::SmallMoney:
            return "smallmoney";
        case TypeKind::Decimal:
            return "numeric";
        case TypeKind::Real:
            return "real";
        case TypeKind::Float:
            return "float";
        case TypeKind::DateTime:
            return "datetime";
        case TypeKind::SmallDateTime:
            return "smalldatetime";
        case TypeKind::Char:
            return "char";
        case TypeKind::VarChar:
            return "varchar";
        case TypeKind::Text:
            return "text";
        case TypeKind::Binary:
            return "binary";
        case TypeKind::VarBinary:
            return "varbinary";
        case TypeKind::Image:
            return "image";
        case TypeKind::Unknown:
            break;
    }
    return "int";
}

int DecPrecision(const TypeSpec& t) { return t.precision == 0 ? 18 : t.precision; }

int ScaleOf(const TypeSpec& t) {
    if (t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney) return 4;
    if (t.kind == TypeKind::Decimal) return std::min<int>(t.scale, kMaxDigits);
    return 0;
}

// Type codes arrive through SQL text: a DECIMAL beyond the server's limits is refused.
void CheckTarget(const TypeSpec& t) {
    if (t.kind == TypeKind::Decimal && (DecPrecision(t) > kMaxDigits || t.scale > DecPrecision(t)))
        Fail("Invalid data type " + t.ToString() + ".");
}

int32_t EffectiveLength(const TypeSpec& t) {
    switch (t.kind) {
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            return t.length > 0 ? t.length : kCastDefaultLength;
        default:
            return kLongLength;
    }
}

int IntegerWidth(TypeKind k) {
    switch (k) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
            return 1;
        case TypeKind::SmallInt:
            return 2;
        case TypeKind::Int:
        case TypeKind::SmallMoney:
            return 4;
        default:
            return 8;
    }
}

bool IntegerInRange(TypeKind k, i128 v) {
    switch (k) {
        case TypeKind::TinyInt:
            return v >= 0 && v <= 255;
        case TypeKind::SmallInt:
            return v >= INT16_MIN && v <= INT16_MAX;
        case TypeKind::Int:
            return v >= INT32_MIN && v <= INT32_MAX;
        case TypeKind::BigInt:
            return v >= INT64_MIN && v <= INT64_MAX;
        case TypeKind::Bit:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------
// Text to numbers, as the server reads them.

enum class NumParse { Ok, Bad, Overflow };

// Integer text: blanks, one sign, digits. "" and a lone sign read as 0.
NumParse ParseIntegerText(std::string_view text, i128* out) {
    std::string_view s = TrimSpaces(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    i128 v = 0;
    bool overflow = false;
    for (char c : s) {
        if (!IsDigit(c)) return NumParse::Bad;
        if (!overflow) {
            v = v * 10 + (c - '0');
            if (v > Pow10(20)) overflow = true;
        }
    }
    if (overflow) return NumParse::Overflow;
    *out = negative ? -v : v;
    return NumParse::Ok;
}

// Decimal text: blanks, sign, digits with one point. MONEY also takes a
// leading '$' and thousands separators.
NumParse ParseDecimalText(std::string_view text, bool money, Exact* out) {
    std::string_view s = TrimSpaces(text);
    if (money && !s.empty() && s[0] == '$') s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (money && !s.empty() && s[0] == '$') s.remove_prefix(1);
    i128 m = 0;
    int scale = 0;
    int significant = 0;
    bool anyDigit = false;
    bool point = false;
    bool roundUp = false;
    bool cut = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (cut) continue;
            if (m == 0 && c == '0' && !point) continue;
            if (significant == kMaxDigits) {
                if (!point) return NumParse::Overflow;
                roundUp = c >= '5';
                cut = true;
                continue;
            }
            m = m * 10 + (c - '0');
            if (m != 0) ++significant;
            if (point) ++scale;
        } else if (c == '.' && !point) {
            point = true;
        } else if (c == ',' && money && !point && anyDigit) {
            continue;
        } else {
            return NumParse::Bad;
        }
    }
    if (!anyDigit) return NumParse::Bad;
    if (roundUp) ++m;
    out->m = negative ? -m : m;
    out->scale = scale;
    return NumParse::Ok;
}

// FLOAT text: blanks, sign, digits, point, exponent. "" reads as 0.
NumParse ParseFloatText(std::string_view text, double* out) {
    std::string_view s = TrimSpaces(text);
    if (s.empty()) {
        *out = 0;
        return NumParse::Ok;
    }
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !(IsDigit(s[0]) || s[0] == '.')) return NumParse::Bad;
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ptr != s.data() + s.size()) return NumParse::Bad;
    if (r.ec == std::errc::result_out_of_range) {
        if (std::fabs(v) > 1) return NumParse::Overflow;
        v = 0;
    } else if (r.ec != std::errc()) {
        return NumParse::Bad;
    }
    *out = negative ? -v : v;
    return NumParse::Ok;
}

// ---------------------------------------------------------------------------
// A source value, decoded by its type.

enum class SrcClass { Null, Exact, Approx, Date, Text, Bytes };

struct Source {
    SrcClass cls = SrcClass::Null;
    TypeSpec type;
    Exact ex;
    double d = 0;        // Approx: the value; Date: the OLE date
    std::string_view s;  // Text, Bytes
};

Source Decode(const Value& v, const TypeSpec& from) {
    Source src;
    switch (v.kind) {
        case Value::Kind::Null:
            return src;
        case Value::Kind::Text:
            src.cls = SrcClass::Text;
            src.s = v.s;
            src.type = from.IsText() ? from : NaturalType(v);
            return src;
        case Value::Kind::Blob:
            src.cls = SrcClass::Bytes;
            src.s = v.s;
            src.type = from.IsBinary() ? from : NaturalType(v);
            return src;
        case Value::Kind::Int:
        case Value::Kind::Real:
            break;
    }
    bool isInt = v.kind == Value::Kind::Int;
    TypeSpec t = from;
    if (!(t.IsNumeric() || t.IsDate())) {
        t = NaturalType(v);
        if (isInt && t.kind == TypeKind::Int) t.kind = TypeKind::BigInt;
    }
    src.type = t;
    if (t.IsDate()) {
        src.cls = SrcClass::Date;
        src.d = isInt ? static_cast<double>(v.i) : v.d;
    } else if (t.IsInteger()) {
        if (isInt) {
            src.cls = SrcClass::Exact;
            src.ex = Exact{v.i, 0};
        } else {
            // A real in an integer expression (an average, say): a FLOAT.
            src.cls = SrcClass::Approx;
            src.d = v.d;
            src.type = TypeSpec::Make(TypeKind::Float);
        }
    } else if (t.IsScaled()) {
        src.cls = SrcClass::Exact;
        src.ex.scale = ScaleOf(t);
        if (isInt) {
            src.ex.m = v.i;
        } else if (std::isfinite(v.d) && std::fabs(v.d) < 9e18) {
            src.ex.m = std::llround(v.d);  // a scaled value computed in real arithmetic
        } else {
            src.cls = SrcClass::Approx;
            src.d = v.d / std::pow(10.0, src.ex.scale);
            src.type = TypeSpec::Make(TypeKind::Float);
        }
    } else {  // Real, Float, DECIMAL(p > 18)
        src.cls = SrcClass::Approx;
        src.d = isInt ? static_cast<double>(v.i) : v.d;
    }
    return src;
}

// Significant digits a floating value carries into exact types.
int SignificantDigits(const TypeSpec& t) { return t.kind == TypeKind::Real ? 7 : 15; }

std::string SourceTextName(const Source& src) {
    return src.type.kind == TypeKind::Char ? "char" : "varchar";
}

// ---------------------------------------------------------------------------
// Conversions by target class.

Value ToInteger(const Source& src, const TypeSpec& to) {
    TypeKind k = to.kind;
    const std::string overflow =
        std::string("Arithmetic overflow error converting expression to data type ") +
        ServerName(k) + ".";
    i128 v = 0;
    switch (src.cls) {
        case SrcClass::Exact:
            if (k == TypeKind::Bit) return Value::Int(src.ex.m != 0 ? 1 : 0);
            // MONEY rounds to whole units; DECIMAL truncates.
            v = src.type.kind == TypeKind::Money || src.type.kind == TypeKind::SmallMoney
                    ? DivRound(src.ex.m, src.ex.scale)
                    : Truncate(src.ex);
            break;
        case SrcClass::Approx: {
            if (k == TypeKind::Bit) return Value::Int(src.d != 0 ? 1 : 0);
            double t = std::trunc(src.d);
            if (!(t > -9.3e18 && t < 9.3e18)) Fail(overflow);
            v = static_cast<i128>(t);
            break;
        }
        case SrcClass::Date: {
            double days = PartsToDays1900(OleToParts(src.d));
            if (k == TypeKind::Bit) return Value::Int(days != 0 ? 1 : 0);
            v = static_cast<i128>(std::round(days));
            break;
        }
        case SrcClass::Text: {
            if (k == TypeKind::Bit) {
                std::string_view t = TrimSpaces(src.s);
                if (IEq(t, "true")) return Value::Int(1);
                if (IEq(t, "false")) return Value::Int(0);
                Exact e;
                if (t.empty()) return Value::Int(0);
                NumParse r = ParseDecimalText(t, false, &e);
                if (r == NumParse::Overflow) return Value::Int(1);
                if (r != NumParse::Ok)
                    Fail("Conversion failed when converting the " + SourceTextName(src) +
                         " value '" + std::string(src.s) + "' to data type bit.");
                return Value::Int(e.m != 0 ? 1 : 0);
            }
            NumParse r = ParseIntegerText(src.s, &v);
            if (r == NumParse::Bad)
                Fail("Conversion failed when converting the " + SourceTextName(src) + " value '" +
                     std::string(src.s) + "' to data type " + ServerName(k) + ".");
            if (r == NumParse::Overflow || !IntegerInRange(k, v)) {
                std::string name = SourceTextName(src);
                switch (k) {
                    case TypeKind::Int:
                        Fail("The conversion of the " + name + " value '" + std::string(src.s) +
                             "' overflowed an int column.");
                    case TypeKind::SmallInt:
                    case TypeKind::TinyInt:
                        Fail("The conversion of the " + name + " value '" + std::string(src.s) +
                             "' overflowed an " + (k == TypeKind::SmallInt ? "INT2" : "INT1") +
                             " column. Use a larger integer column.");
                    default:
                        Fail("Error converting data type " + name + " to bigint.");
                }
            }
            return Value::Int(static_cast<int64_t>(v));
        }
        case SrcClass::Bytes: {
            // The rightmost bytes, most significant first.
            int width = IntegerWidth(k);
            std::string_view b = src.s;
            if (static_cast<int>(b.size()) > width) b.remove_prefix(b.size() - width);
            uint64_t u = 0;
            for (char c : b) u = (u << 8) | static_cast<unsigned char>(c);
            int64_t r;
            switch (k) {
                case TypeKind::Bit:
                    return Value::Int(u != 0 ? 1 : 0);
                case TypeKind::TinyInt:
                    r = static_cast<int64_t>(u & 0xFF);
                    break;
                case TypeKind::SmallInt:
                    r = static_cast<int16_t>(u & 0xFFFF);
                    break;
                case TypeKind::Int:
                    r = static_cast<int32_t>(u & 0xFFFFFFFFu);
                    break;
                default:
                    r = static_cast<int64_t>(u);
                    break;
            }
            return Value::Int(r);
        }
        case SrcClass::Null:
            return Value::Null();
    }
    if (!IntegerInRange(k, v)) Fail(overflow);
    return Value::Int(static_cast<int64_t>(v));
}

// MONEY, SMALLMONEY and DECIMAL(p,s): rounded half away from zero to the scale.
Value ToExactType(const Source& src, const TypeSpec& to) {
    const bool money = to.kind == TypeKind::Money || to.kind == TypeKind::SmallMoney;
    const int scale = ScaleOf(to);
    const int precision = money ? 19 : DecPrecision(to);
    auto overflowFrom = [&](const char* sourceName) -> std::string {
        if (money)
            return std::string("Arithmetic overflow error converting expression to data type ") +
                   ServerName(to.kind) + ".";
        return std::string("Arithmetic overflow error converting ") + sourceName +
               " to data type numeric.";
    };
    i128 m = 0;
    const char* sourceName = ServerName(src.type.kind);
    switch (src.cls) {
        case SrcClass::Null:
            return Value::Null();
        case SrcClass::Exact:
            if (!Rescale(src.ex, scale, &m)) Fail(overflowFrom(sourceName));
            break;
        case SrcClass::Approx:
            if (!DoubleToExact(src.d, SignificantDigits(src.type), scale, &m))
                Fail(overflowFrom(sourceName));
            break;
        case SrcClass::Date:
            sourceName = "expression";
            if (!DoubleToExact(PartsToDays1900(OleToParts(src.d)), 15, scale, &m))
                Fail(overflowFrom(sourceName));
            break;
        case SrcClass::Text: {
            Exact e;
            std::string_view t = src.s;
            if (money && TrimSpaces(t).empty()) {
                m = 0;
                break;
            }
            NumParse r = ParseDecimalText(t, money, &e);
            if (r == NumParse::Bad) {
                if (money)
                    Fail(
                        "Cannot convert a char value to money. The char value has incorrect "
                        "syntax.");
                Fail("Error converting data type " + SourceTextName(src) + " to numeric.");
            }
            if (r == NumParse::Overflow || !Rescale(e, scale, &m)) {
                if (money) Fail(overflowFrom(""));
                Fail("Arithmetic overflow error converting " + SourceTextName(src) +
                     " to data type numeric.");
            }
            break;
        }
        case SrcClass::Bytes: {
            if (!money)
                Fail("Explicit conversion from data type " + std::string(sourceName) +
                     " to numeric is not allowed.");
            // The money's own eight (or four) bytes, most significant first.
            int width = IntegerWidth(to.kind);
            std::string_view b = src.s;
            if (static_cast<int>(b.size()) > width) b.remove_prefix(b.size() - width);
            uint64_t u = 0;
            for (char c : b) u = (u << 8) | static_cast<unsigned char>(c);
            m = to.kind == TypeKind::SmallMoney ? static_cast<int32_t>(u & 0xFFFFFFFFu)
                                                : static_cast<int64_t>(u);
            break;
        }
    }
    bool inRange;
    if (to.kind == TypeKind::Money) {
        inRange = m >= INT64_MIN && m <= INT64_MAX;
    } else if (to.kind == TypeKind::SmallMoney) {
        inRange = m >= INT32_MIN && m <= INT32_MAX;
    } else {
        inRange = DigitCount(m) <= precision;
    }
    if (!inRange) {
        if (src.cls == SrcClass::Text && !money)
            Fail("Arithmetic overflow error converting " + SourceTextName(src) +
                 " to data type numeric.");
        Fail(overflowFrom(sourceName));
    }
    if (to.IsScaled()) return Value::Int(static_cast<int64_t>(m));
    return Value::Real(ExactToDouble(Exact{m, scale}));  // DECIMAL(p > 18) is kept as a real
}

Value ToApprox(const Source& src, const TypeSpec& to) {
    double d = 0;
    switch (src.cls) {
        case SrcClass::Null:
            return Value::Null();
        case SrcClass::Exact:
            d = ExactToDouble(src.ex);
            break;
        case SrcClass::Approx:
            d = src.d;
            break;
        case SrcClass::Date:
            d = PartsToDays1900(OleToParts(src.d));
            break;
        case SrcClass::Text: {
            NumParse r = ParseFloatText(src.s, &d);
            if (r == NumParse::Bad)
                Fail("Error converting data type " + SourceTextName(src) + " to " +
                     ServerName(to.kind) + ".");
            if (r == NumParse::Overflow)
                Fail(std::string("Arithmetic overflow error converting expression to data type ") +
                     ServerName(to.kind) + ".");
            break;
        }
        case SrcClass::Bytes:
            Fail("Explicit conversion from data type " + std::string(ServerName(src.type.kind)) +
                 " to " + ServerName(to.kind) + " is not allowed.");
    }
    if (to.kind == TypeKind::Real) {
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            Fail("Arithmetic overflow error converting expression to data type real.");
        d = static_cast<double>(static_cast<float>(d));
    }
    return Value::Real(d);
}

Value ToDate(const Source& src, const TypeSpec& to) {
    const std::string overflow =
        std::string("Arithmetic overflow error converting expression to data type ") +
        ServerName(to.kind) + ".";
    DateParts p;
    switch (src.cls) {
        case SrcClass::Null:
            return Value::Null();
        case SrcClass::Exact:
            p = Days1900ToParts(ExactToDouble(src.ex));
            break;
        case SrcClass::Approx:
            if (!std::isfinite(src.d) || std::fabs(src.d) > 1e7) Fail(overflow);
            p = Days1900ToParts(src.d);
            break;
        case SrcClass::Date:
            if (!std::isfinite(src.d) || std::fabs(src.d) > 1e7) Fail(overflow);
            p = OleToParts(src.d);
            break;
        case SrcClass::Text: {
            DateParse r = ParseDateTimeParts(src.s, &p);
            if (r == DateParse::Bad)
                Fail("Conversion failed when converting date and/or time from character string.");
            if (r == DateParse::OutOfRange || !DateInRange(RoundForType(p, to.kind), to.kind))
                Fail("The conversion of a " + SourceTextName(src) + " data type to a " +
                     ServerName(to.kind) + " data type resulted in an out-of-range value.");
            break;
        }
        case SrcClass::Bytes: {
            // The server's eight bytes: days since 1900, then 1/300 seconds.
            std::string b(src.s.substr(0, 8));
            if (b.size() < 8) b.insert(0, 8 - b.size(), '\0');
            uint32_t days = 0, ticks = 0;
            for (int i = 0; i < 4; ++i) days = (days << 8) | static_cast<unsigned char>(b[i]);
            for (int i = 4; i < 8; ++i) ticks = (ticks << 8) | static_cast<unsigned char>(b[i]);
            if (ticks >= kTicksPerDay) Fail(overflow);
            p.serial = static_cast<int32_t>(days) + 2;
            p.ticks = ticks;
            break;
        }
    }
    p = RoundForType(p, to.kind);
    if (!DateInRange(p, to.kind)) Fail(overflow);
    return Value::Real(PartsToOle(p));
}

std::string FloatToText(double d) {
    if (d == 0 || !std::isfinite(d)) return "0";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6g", d);
    std::string s = buf;
    // The server prints at least three exponent digits ("1.23457e+006").
    size_t e = s.find('e');
    if (e != std::string::npos && e + 2 < s.size()) {
        size_t digits = s.size() - (e + 2);
        if (digits < 3) s.insert(e + 2, 3 - digits, '0');
    }
    return s;
}

// The text CAST gives a value, and whether cutting it short is an overflow
// (numbers) rather than a silent cut (text, binary, dates).
std::string SourceAsText(const Source& src, bool* numeric) {
    *numeric = false;
    switch (src.cls) {
        case SrcClass::Null:
            return {};
        case SrcClass::Exact: {
            *numeric = true;
            TypeKind k = src.type.kind;
            if (k == TypeKind::Money || k == TypeKind::SmallMoney)
                return ExactToText(DivRound(src.ex.m, src.ex.scale - 2), 2);
            if (k == TypeKind::Bit) return src.ex.m != 0 ? "1" : "0";
            return ExactToText(src.ex.m, src.ex.scale);
        }
        case SrcClass::Approx: {
            *numeric = true;
            if (src.type.kind == TypeKind::Decimal) {
                i128 m = 0;
                if (DoubleToExact(src.d, 15, src.type.scale, &m))
                    return ExactToText(m, src.type.scale);
            }
            return FloatToText(src.d);
        }
        case SrcClass::Date: {
            DateParts p = OleToParts(src.d);
            return FormatDateTimeDefault(PartsToOle(p));
        }
        case SrcClass::Text:
        case SrcClass::Bytes:
            return std::string(src.s);
    }
    return {};
}

Value ToTextType(const Source& src, const TypeSpec& to, bool storing) {
    if (src.cls == SrcClass::Null) return Value::Null();
    bool numeric = false;
    std::string s = SourceAsText(src, &numeric);
    if (to.kind != TypeKind::Text) {
        size_t n = static_cast<size_t>(EffectiveLength(to));
        if (s.size() > n) {
            bool blanksOnly = std::all_of(s.begin() + static_cast<std::ptrdiff_t>(n), s.end(),
                                          [](char c) { return c == ' '; });
            if (blanksOnly) {
                s.resize(n);
            } else if (storing) {
                Fail(kTruncated);
            } else if (numeric) {
                TypeKind k = src.type.kind;
                if (src.cls == SrcClass::Exact && k != TypeKind::Decimal && k != TypeKind::Money &&
                    k != TypeKind::SmallMoney) {
                    s = "*";  // an integer that does not fit
                } else {
                    Fail(std::string("Arithmetic overflow error converting ") +
                         (k == TypeKind::Money || k == TypeKind::SmallMoney ? "expression"
                                                                            : ServerName(k)) +
                         " to data type " + ServerName(to.kind) + ".");
                }
            } else {
                s.resize(n);
            }
        }
        if (to.kind == TypeKind::Char && s.size() < n) s.append(n - s.size(), ' ');
    }
    return Value::Text(std::move(s));
}

Value ToBinaryType(const Source& src, const TypeSpec& to, bool storing) {
    std::string b;
    bool number = false;  // numbers keep their low bytes and pad on the left
    switch (src.cls) {
        case SrcClass::Null:
            return Value::Null();
        case SrcClass::Text:
        case SrcClass::Bytes:
            b.assign(src.s);
            break;
        case SrcClass::Exact: {
            TypeKind k = src.type.kind;
            if (k == TypeKind::Decimal)
                Fail("Explicit conversion from data type numeric to " +
                     std::string(ServerName(to.kind)) + " is not allowed.");
            int width = IntegerWidth(k);
            uint64_t u = static_cast<uint64_t>(static_cast<int64_t>(src.ex.m));
            for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<char>(u >> (8 * i)));
            number = true;
            break;
        }
        case SrcClass::Approx: {
            if (src.type.kind == TypeKind::Decimal)
                Fail("Explicit conversion from data type numeric to " +
                     std::string(ServerName(to.kind)) + " is not allowed.");
            uint64_t u;
            if (src.type.kind == TypeKind::Real) {
                float f = static_cast<float>(src.d);
                uint32_t w;
                std::memcpy(&w, &f, 4);
                for (int i = 3; i >= 0; --i) b.push_back(static_cast<char>(w >> (8 * i)));
            } else {
                std::memcpy(&u, &src.d, 8);
                for (int i = 7; i >= 0; --i) b.push_back(static_cast<char>(u >> (8 * i)));
            }
            number = true;
            break;
        }
        case SrcClass::Date: {
            DateParts p = OleToParts(src.d);
            uint32_t days = static_cast<uint32_t>(static_cast<int32_t>(p.serial - 2));
            uint32_t ticks = static_cast<uint32_t>(p.ticks);
            for (int i = 3; i >= 0; --i) b.push_back(static_cast<char>(days >> (8 * i)));
            for (int i = 3; i >= 0; --i) b.push_back(static_cast<char>(ticks >> (8 * i)));
            number = true;
            break;
        }
    }
    if (to.kind != TypeKind::Image) {
        size_t n = static_cast<size_t>(EffectiveLength(to));
        if (b.size() > n) {
            if (storing) Fail(kTruncated);
            if (number) {
                b.erase(0, b.size() - n);
            } else {
                b.resize(n);
            }
        }
        if (to.kind == TypeKind::Binary && b.size() < n) {
            if (number) {
                b.insert(0, n - b.size(), '\0');
            } else {
                b.append(n - b.size(), '\0');
            }
        }
    }
    return Value::Blob(std::move(b));
}

struct TypeName {
    const char* name;
    TypeKind kind;
    int maxLength;  // for CHAR-like types: the largest n
};

const TypeName kTypeNames[] = {
    {"INTEGER", TypeKind::Int, 0},
    {"INT", TypeKind::Int, 0},
    {"SMALLINT", TypeKind::SmallInt, 0},
    {"TINYINT", TypeKind::TinyInt, 0},
    {"BIGINT", TypeKind::BigInt, 0},
    {"BIT", TypeKind::Bit, 0},
    {"MONEY", TypeKind::Money, 0},
    {"SMALLMONEY", TypeKind::SmallMoney, 0},
    {"DECIMAL", TypeKind::Decimal, 0},
    {"DEC", TypeKind::Decimal, 0},
    {"NUMERIC", TypeKind::Decimal, 0},
    {"FLOAT", TypeKind::Float, 0},
    {"REAL", TypeKind::Real, 0},
    {"DATETIME", TypeKind::DateTime, 0},
    {"SMALLDATETIME", TypeKind::SmallDateTime, 0},
    {"CHAR", TypeKind::Char, kMaxLength},
    {"CHARACTER", TypeKind::Char, kMaxLength},
    {"VARCHAR", TypeKind::VarChar, kMaxLength},
    {"TEXT", TypeKind::Text, 0},
    {"NCHAR", TypeKind::Char, 4000},
    {"NVARCHAR", TypeKind::VarChar, 4000},
    {"NTEXT", TypeKind::Text, 0},
    {"BINARY", TypeKind::Binary, kMaxLength},
    {"VARBINARY", TypeKind::VarBinary, kMaxLength},
    {"IMAGE", TypeKind::Image, 0},
};

// Ranks of the server's data type precedence (higher wins).
int Precedence(TypeKind k) {
    switch (k) {
        case TypeKind::DateTime:
            return 22;
        case TypeKind::SmallDateTime:
            return 21;
        case TypeKind::Float:
            return 20;
        case TypeKind::Real:
            return 19;
        case TypeKind::Decimal:
            return 18;
        case TypeKind::Money:
            return 17;
        case TypeKind::SmallMoney:
            return 16;
        case TypeKind::BigInt:
            return 15;
        case TypeKind::Int:
            return 14;
        case TypeKind::SmallInt:
            return 13;
        case TypeKind::TinyInt:
            return 12;
        case TypeKind::Bit:
            return 11;
        case TypeKind::Text:
            return 10;
        case TypeKind::Image:
            return 9;
        case TypeKind::VarChar:
            return 8;
        case TypeKind::Char:
            return 7;
        case TypeKind::VarBinary:
            return 6;
        case TypeKind::Binary:
            return 5;
        case TypeKind::Unknown:
            return 0;
    }
    return 0;
}

// The DECIMAL(p,s) an exact type takes part in arithmetic as.
void AsDecimal(const TypeSpec& t, int* p, int* s) {
    switch (t.kind) {
        case TypeKind::Bit:
            *p = 1;
            *s = 0;
            return;
        case TypeKind::TinyInt:
            *p = 3;
            *s = 0;
            return;
        case TypeKind::SmallInt:
            *p = 5;
            *s = 0;
            return;
        case TypeKind::Int:
            *p = 10;
            *s = 0;
            return;
        case TypeKind::BigInt:
            *p = 19;
            *s = 0;
            return;
        case TypeKind::Money:
            *p = 19;
            *s = 4;
            return;
        case TypeKind::SmallMoney:
            *p = 10;
            *s = 4;
            return;
        default:
            *p = DecPrecision(t);
            *s = t.scale;
            return;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TypeSpec

TypeSpec TypeSpec::Make(TypeKind kind, int32_t length, uint8_t precision, uint8_t scale) {
    TypeSpec t;
    t.kind = kind;
    switch (kind) {
        case TypeKind::Money:
            t.precision = 19;
            t.scale = 4;
            break;
        case TypeKind::SmallMoney:
            t.precision = 10;
            t.scale = 4;
            break;
        case TypeKind::Decimal:
            t.precision = precision == 0 ? 18 : precision;
            t.scale = scale;
            break;
        case TypeKind::Real:
            t.precision = 24;
            break;
        case TypeKind::Float:
            t.precision = 53;
            break;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            t.length = length;
            break;
        default:
            break;
    }
    return t;
}

TypeSpec TypeSpec::Sized(int32_t defaultLength) const {
    TypeSpec t = *this;
    if (t.length == 0 && (kind == TypeKind::Char || kind == TypeKind::VarChar ||
                          kind == TypeKind::Binary || kind == TypeKind::VarBinary))
        t.length = defaultLength;
    return t;
}

bool TypeSpec::Parse(std::string_view text, TypeSpec* out) {
    std::string_view s = TrimBlanks(text);
    size_t i = 0;
    while (i < s.size() && (IsAlpha(s[i]) || s[i] == '_')) ++i;
    std::string_view name = s.substr(0, i);
    std::string_view rest = TrimBlanks(s.substr(i));
    // Two-word spellings.
    bool varying = false;
    if (IEq(name, "CHAR") || IEq(name, "CHARACTER") || IEq(name, "BINARY")) {
        if (rest.size() >= 7 && IEq(rest.substr(0, 7), "VARYING") &&
            (rest.size() == 7 || !IsAlpha(rest[7]))) {
            varying = true;
            rest = TrimBlanks(rest.substr(7));
        }
    } else if (IEq(name, "DOUBLE")) {
        if (!(rest.size() >= 9 && IEq(rest.substr(0, 9), "PRECISION"))) return false;
        rest = TrimBlanks(rest.substr(9));
        name = "FLOAT";
        if (!rest.empty()) return false;
    }
    const TypeName* entry = nullptr;
    for (const TypeName& tn : kTypeNames) {
        if (IEq(name, tn.name)) {
            entry = &tn;
            break;
        }
    }
    if (entry == nullptr) return false;
    TypeKind kind = entry->kind;
    if (varying) kind = kind == TypeKind::Binary ? TypeKind::VarBinary : TypeKind::VarChar;

    // Arguments: "(a)" or "(a, b)" or "(MAX)".
    int args[2] = {0, 0};
    int argCount = 0;
    bool isMax = false;
    if (!rest.empty()) {
        if (rest.front() != '(' || rest.back() != ')') return false;
        std::string_view inner = rest.substr(1, rest.size() - 2);
        size_t start = 0;
        while (true) {
            size_t comma = inner.find(',', start);
            std::string_view arg = TrimBlanks(
                inner.substr(start, comma == std::string_view::npos ? inner.npos : comma - start));
            if (argCount == 2) return false;
            if (IEq(arg, "MAX")) {
                isMax = true;
                args[argCount++] = 0;
            } else {
                if (arg.empty() || arg.size() > 9 || !std::all_of(arg.begin(), arg.end(), IsDigit))
                    return false;
                args[argCount++] = ToInt(arg);
            }
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
        if (isMax && argCount != 1) return false;
    }

    TypeSpec t;
    t.kind = kind;
    switch (kind) {
        case TypeKind::Decimal: {
            if (isMax) return false;
            int p = argCount >= 1 ? args[0] : 18;
            int sc = argCount >= 2 ? args[1] : 0;
            if (p < 1 || p > 38 || sc > p) return false;
            t.precision = static_cast<uint8_t>(p);
            t.scale = static_cast<uint8_t>(sc);
            break;
        }
        case TypeKind::Float: {
            if (isMax || argCount > 1) return false;
            int n = argCount == 1 ? args[0] : 53;
            if (n < 1 || n > 53) return false;
            if (n <= 24) {
                t.kind = TypeKind::Real;
                t.precision = 24;
            } else {
                t.precision = 53;
            }
            break;
        }
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            if (argCount > 1) return false;
            if (isMax) {
                if (kind == TypeKind::VarChar) {
                    t.kind = TypeKind::Text;
                } else if (kind == TypeKind::VarBinary) {
                    t.kind = TypeKind::Image;
                } else {
                    return false;
                }
                break;
            }
            if (argCount == 1) {
                if (args[0] < 1 || args[0] > entry->maxLength) return false;
                t.length = args[0];
            }
            break;
        default:
            if (argCount != 0) return false;
            t = Make(kind);
            break;
    }
    *out = t;
    return true;
}

std::string TypeSpec::ToString() const {
    auto sized = [this](const char* name) {
        return length > 0 ? std::string(name) + "(" + std::to_string(length) + ")"
                          : std::string(name);
    };
    switch (kind) {
        case TypeKind::Unknown:
            return {};
        case TypeKind::Bit:
            return "BIT";
        case TypeKind::TinyInt:
            return "TINYINT";
        case TypeKind::SmallInt:
            return "SMALLINT";
        case TypeKind::Int:
            return "INTEGER";
        case TypeKind::BigInt:
            return "BIGINT";
        case TypeKind::Money:
            return "MONEY";
        case TypeKind::SmallMoney:
            return "SMALLMONEY";
        case TypeKind::Decimal:
            return "DECIMAL(" + std::to_string(DecPrecision(*this)) + "," + std::to_string(scale) +
                   ")";
        case TypeKind::Real:
            return "FLOAT(24)";
        case TypeKind::Float:
            return "FLOAT";
        case TypeKind::DateTime:
            return "DATETIME";
        case TypeKind::SmallDateTime:
            return "SMALLDATETIME";
        case TypeKind::Char:
            return sized("CHAR");
        case TypeKind::VarChar:
            return sized("VARCHAR");
        case TypeKind::Text:
            return "TEXT";
        case TypeKind::Binary:
            return sized("BINARY");
        case TypeKind::VarBinary:
            return sized("VARBINARY");
        case TypeKind::Image:
            return "IMAGE";
    }
    return {};
}

bool TypeSpec::IsInteger() const {
    return kind == TypeKind::Bit || kind == TypeKind::TinyInt || kind == TypeKind::SmallInt ||
           kind == TypeKind::Int || kind == TypeKind::BigInt;
}

bool TypeSpec::IsScaled() const {
    return kind == TypeKind::Money || kind == TypeKind::SmallMoney ||
           (kind == TypeKind::Decimal && DecPrecision(*this) <= 18);
}

bool TypeSpec::IsNumeric() const {
    return IsInteger() || kind == TypeKind::Money || kind == TypeKind::SmallMoney ||
           kind == TypeKind::Decimal || kind == TypeKind::Real || kind == TypeKind::Float;
}

bool TypeSpec::IsText() const {
    return kind == TypeKind::Char || kind == TypeKind::VarChar || kind == TypeKind::Text;
}

bool TypeSpec::IsBinary() const {
    return kind == TypeKind::Binary || kind == TypeKind::VarBinary || kind == TypeKind::Image;
}

bool TypeSpec::IsDate() const {
    return kind == TypeKind::DateTime || kind == TypeKind::SmallDateTime;
}

uint16_t TypeSpec::AdoType() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
            return adInteger;
        case TypeKind::Bit:
            return adBoolean;
        case TypeKind::TinyInt:
            return adUnsignedTinyInt;
        case TypeKind::SmallInt:
            return adSmallInt;
        case TypeKind::BigInt:
            return adBigInt;
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return adCurrency;
        case TypeKind::Decimal:
            return adNumeric;
        case TypeKind::Real:
            return adSingle;
        case TypeKind::Float:
            return adDouble;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return adDBTimeStamp;
        case TypeKind::Char:
            return adChar;
        case TypeKind::VarChar:
            return adVarChar;
        case TypeKind::Text:
            return adLongVarChar;
        case TypeKind::Binary:
            return adBinary;
        case TypeKind::VarBinary:
            return adVarBinary;
        case TypeKind::Image:
            return adLongVarBinary;
    }
    return adEmpty;
}

int32_t TypeSpec::DefinedSize() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
        case TypeKind::Real:
        case TypeKind::SmallMoney:
            return 4;
        case TypeKind::Bit:
        case TypeKind::SmallInt:
            return 2;
        case TypeKind::TinyInt:
            return 1;
        case TypeKind::BigInt:
        case TypeKind::Money:
        case TypeKind::Float:
            return 8;
        case TypeKind::Decimal:
            return 19;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return 16;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            return EffectiveLength(*this);
        case TypeKind::Text:
        case TypeKind::Image:
            return kLongLength;
    }
    return 0;
}

VARTYPE TypeSpec::VariantType() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
            return VT_I4;
        case TypeKind::Bit:
            return VT_BOOL;
        case TypeKind::TinyInt:
            return VT_UI1;
        case TypeKind::SmallInt:
            return VT_I2;
        case TypeKind::BigInt:
            return VT_I8;
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return VT_CY;
        case TypeKind::Decimal:
            return VT_DECIMAL;
        case TypeKind::Real:
            return VT_R4;
        case TypeKind::Float:
            return VT_R8;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return VT_DATE;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Text:
            return VT_BSTR;
        case TypeKind::Binary:
        case TypeKind::VarBinary:
        case TypeKind::Image:
            return VT_BYTES;
    }
    return VT_EMPTY;
}

int64_t TypeSpec::Code() const {
    return static_cast<int64_t>(kind) | (static_cast<int64_t>(precision) << 8) |
           (static_cast<int64_t>(scale) << 16) |
           (static_cast<int64_t>(static_cast<uint32_t>(length)) << 24);
}

TypeSpec TypeSpec::FromCode(int64_t code) {
    TypeSpec t;
    int64_t kind = code & 0xFF;
    if (code < 0 || kind > static_cast<int64_t>(TypeKind::Image)) return t;
    t.kind = static_cast<TypeKind>(kind);
    t.precision = static_cast<uint8_t>((code >> 8) & 0xFF);
    t.scale = static_cast<uint8_t>((code >> 16) & 0xFF);
    t.length = static_cast<int32_t>(static_cast<uint32_t>(code >> 24));
    return t;
}

// ---------------------------------------------------------------------------

TypeSpec NaturalType(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return {};
        case Value::Kind::Int:
            return TypeSpec::Make(v.i >= INT32_MIN && v.i <= INT32_MAX ? TypeKind::Int
                                                                       : TypeKind::BigInt);
        case Value::Kind::Real:
            return TypeSpec::Make(TypeKind::Float);
        case Value::Kind::Text:
            if (v.s.size() > static_cast<size_t>(kMaxLength)) return TypeSpec::Make(TypeKind::Text);
            return TypeSpec::Make(TypeKind::VarChar,
                                  std::max<int32_t>(1, static_cast<int32_t>(v.s.size())));
        case Value::Kind::Blob:
            if (v.s.size() > static_cast<size_t>(kMaxLength))
                return TypeSpec::Make(TypeKind::Image);
            return TypeSpec::Make(TypeKind::VarBinary,
                                  std::max<int32_t>(1, static_cast<int32_t>(v.s.size())));
    }
    return {};
}

Value Convert(const Value& v, const TypeSpec& from, const TypeSpec& to, bool storing) {
    if (v.IsNull()) return Value::Null();
    if (to.kind == TypeKind::Unknown) return v;
    CheckTarget(to);
    Source src = Decode(v, from);
    if (to.IsInteger()) return ToInteger(src, to);
    switch (to.kind) {
        case TypeKind::Money:
        case TypeKind::SmallMoney:
        case TypeKind::Decimal:
            return ToExactType(src, to);
        case TypeKind::Real:
        case TypeKind::Float:
            return ToApprox(src, to);
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return ToDate(src, to);
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Text:
            return ToTextType(src, to, storing);
        default:
            return ToBinaryType(src, to, storing);
    }
}

TypeSpec CommonType(const TypeSpec& a, const TypeSpec& b) {
    if (a.kind == TypeKind::Unknown) return b;
    if (b.kind == TypeKind::Unknown) return a;
    const TypeSpec& hi = Precedence(a.kind) >= Precedence(b.kind) ? a : b;
    const TypeSpec& lo = &hi == &a ? b : a;
    if (hi.kind == TypeKind::Decimal &&
        (lo.kind == TypeKind::Decimal || lo.IsInteger() || lo.kind == TypeKind::Money ||
         lo.kind == TypeKind::SmallMoney)) {
        // Room for the larger integer part and the larger scale.
        int p1, s1, p2, s2;
        AsDecimal(hi, &p1, &s1);
        AsDecimal(lo, &p2, &s2);
        int s = std::max(s1, s2);
        int p = std::max(p1 - s1, p2 - s2) + s;
        if (p > 38) {
            s = std::max(0, s - (p - 38));
            p = 38;
        }
        return TypeSpec::Make(TypeKind::Decimal, 0, static_cast<uint8_t>(p),
                              static_cast<uint8_t>(s));
    }
    if (hi.kind == lo.kind || (hi.kind == TypeKind::VarChar && lo.kind == TypeKind::Char) ||
        (hi.kind == TypeKind::VarBinary && lo.kind == TypeKind::Binary)) {
        TypeSpec t = hi;
        if (hi.kind == TypeKind::Char || hi.kind == TypeKind::VarChar ||
            hi.kind == TypeKind::Binary || hi.kind == TypeKind::VarBinary) {
            t.length = std::max(EffectiveLength(hi), EffectiveLength(lo));
        }
        return t;
    }
    return hi;
}

namespace {

// A DECIMAL result cut to 38 digits: the digits before the point keep their
// room and the scale gives way, though not below 6 places when more than 32
// digits come before the point.
TypeSpec DecimalResult(int p, int s) {
    if (p > kMaxDigits) {
        const int integral = p - s;
        s = integral < 32 ? std::min(s, kMaxDigits - integral) : std::min(s, 6);
        p = kMaxDigits;
    }
    return TypeSpec::Make(TypeKind::Decimal, 0, static_cast<uint8_t>(std::max(p, 1)),
                          static_cast<uint8_t>(std::max(s, 0)));
}

// An operand of exact arithmetic; a DECIMAL kept as a real goes back to its scale.
Exact ExactOperand(const Value& v, const TypeSpec& t) {
    Source src = Decode(v, t);
    if (src.cls == SrcClass::Exact) return src.ex;
    Exact e;
    e.scale = ScaleOf(t);
    double d = src.cls == SrcClass::Approx ? src.d : 0;
    if (src.cls == SrcClass::Text) {
        Value x = Convert(v, t, TypeSpec::Make(TypeKind::Float));
        d = x.d;
    }
    if (!DoubleToExact(d, 15, e.scale, &e.m)) {
        Fail(std::string("Arithmetic overflow error converting expression to data type ") +
             ServerName(t.kind) + ".");
    }
    return e;
}

}  // namespace

TypeSpec ArithmeticType(char op, const TypeSpec& a, const TypeSpec& b) {
    const TypeSpec& x = a.kind == TypeKind::Unknown || !a.IsNumeric() ? b : a;
    const TypeSpec& y = b.kind == TypeKind::Unknown || !b.IsNumeric() ? x : b;
    TypeSpec t = CommonType(x, y);
    if (t.kind != TypeKind::Decimal || !x.IsNumeric()) return t;
    int p1, s1, p2, s2;
    AsDecimal(x, &p1, &s1);
    AsDecimal(y, &p2, &s2);
    switch (op) {
        case '+':
        case '-':
            return DecimalResult(std::max(s1, s2) + std::max(p1 - s1, p2 - s2) + 1,
                                 std::max(s1, s2));
        case '*':
            return DecimalResult(p1 + p2 + 1, s1 + s2);
        case '/': {
            const int s = std::max(6, s1 + p2 + 1);
            return DecimalResult(p1 - s1 + s2 + s, s);
        }
        default:
            return DecimalResult(std::min(p1 - s1, p2 - s2) + std::max(s1, s2), std::max(s1, s2));
    }
}

Value Arithmetic(char op, const Value& a, const TypeSpec& ta, const Value& b, const TypeSpec& tb,
                 const TypeSpec& result) {
    if (a.IsNull() || b.IsNull()) return Value::Null();
    const std::string overflow =
        std::string("Arithmetic overflow error converting expression to data type ") +
        ServerName(result.kind) + ".";
    const Exact x = ExactOperand(a, ta);
    const Exact y = ExactOperand(b, tb);
    const int scale = ScaleOf(result);
    i128 m = 0;
    switch (op) {
        case '+':
        case '-':
        case '%': {
            const int s = std::max(x.scale, y.scale);
            i128 xm, ym;
            if (!Rescale(x, s, &xm) || !Rescale(y, s, &ym)) Fail(overflow);
            if (op == '%' && ym == 0) Fail("Divide by zero error encountered.");
            Exact r{op == '+' ? xm + ym : op == '-' ? xm - ym : xm % ym, s};
            if (!Rescale(r, scale, &m)) Fail(overflow);
            break;
        }
        case '*': {
            if (x.m != 0 && y.m != 0 && DigitCount(x.m) + DigitCount(y.m) > kMaxDigits)
                Fail(overflow);
            if (!Rescale(Exact{x.m * y.m, x.scale + y.scale}, scale, &m)) Fail(overflow);
            break;
        }
        case '/': {
            if (y.m == 0) Fail("Divide by zero error encountered.");
            // x / y at `scale` places, cut (not rounded): digit by digit so
            // that no step needs more than 38 digits.
            const int shift = scale - x.scale + y.scale;
            i128 num = x.m, den = y.m;
            if (shift < 0) {
                if (DigitCount(den) - shift > kMaxDigits) {
                    m = 0;
                    break;
                }
                den *= Pow10(-shift);
            }
            m = num / den;
            i128 rest = num % den;
            for (int i = 0; i < shift; ++i) {
                if (DigitCount(m) >= kMaxDigits) Fail(overflow);
                rest *= 10;
                m = m * 10 + rest / den;
                rest %= den;
            }
            break;
        }
        default:
            Fail("Unsupported operator.");
    }
    switch (result.kind) {
        case TypeKind::Money:
            if (m < INT64_MIN || m > INT64_MAX) Fail(overflow);
            return Value::Int(static_cast<int64_t>(m));
        case TypeKind::SmallMoney:
            if (m < INT32_MIN || m > INT32_MAX) Fail(overflow);
            return Value::Int(static_cast<int64_t>(m));
        case TypeKind::Decimal:
            if (DigitCount(m) > DecPrecision(result)) Fail(overflow);
            if (result.IsScaled()) return Value::Int(static_cast<int64_t>(m));
            return Value::Real(ExactToDouble(Exact{m, scale}));
        default:
            if (!result.IsInteger() || !IntegerInRange(result.kind, m)) Fail(overflow);
            return Value::Int(static_cast<int64_t>(m));
    }
}

Variant ToVariant(const Value& v, const TypeSpec& type) {
    if (v.IsNull()) return Variant::Null();
    if (type.kind == TypeKind::Unknown) {
        switch (v.kind) {
            case Value::Kind::Int:
                if (v.i >= INT32_MIN && v.i <= INT32_MAX)
                    return Variant::I4(static_cast<int32_t>(v.i));
                return Variant::I8(v.i);
            case Value::Kind::Real:
                return Variant::R8(v.d);
            case Value::Kind::Text:
                return Variant::Text(v.s);
            case Value::Kind::Blob:
                return Variant::Bytes(v.s.data(), v.s.size());
            case Value::Kind::Null:
                break;
        }
        return Variant::Null();
    }
    // A value stored in another form than its column's (a text in an INT column
    // written around the layer) is brought to the column's form first.
    bool matches;
    switch (v.kind) {
        case Value::Kind::Int:
            matches = type.IsInteger() || type.IsScaled() || type.IsDate() || type.IsNumeric();
            break;
        case Value::Kind::Real:
            matches = type.IsNumeric() || type.IsDate();
            break;
        case Value::Kind::Text:
            matches = type.IsText();
            break;
        case Value::Kind::Blob:
            matches = type.IsBinary();
            break;
        default:
            matches = true;
            break;
    }
    if (!matches) {
        try {
            return ToVariant(Convert(v, NaturalType(v), type), type);
        } catch (const ComError&) {
            return ToVariant(v, TypeSpec());
        }
    }
    Source src = Decode(v, type);
    switch (type.kind) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
        case TypeKind::SmallInt:
        case TypeKind::Int:
        case TypeKind::BigInt: {
            int64_t i = v.kind == Value::Kind::Int ? v.i : ToInteger(src, type).i;
            switch (type.kind) {
                case TypeKind::Bit:
                    return Variant::Bool(i != 0);
                case TypeKind::TinyInt:
                    return Variant::UI1(static_cast<uint8_t>(i));
                case TypeKind::SmallInt:
                    return Variant::I2(static_cast<int16_t>(i));
                case TypeKind::Int:
                    return Variant::I4(static_cast<int32_t>(i));
                default:
                    return Variant::I8(i);
            }
        }
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return Variant::Currency(src.cls == SrcClass::Exact ? static_cast<int64_t>(src.ex.m)
                                                                : ToExactType(src, type).i);
        case TypeKind::Decimal: {
            Decimal d;
            d.scale = type.scale;
            i128 m = 0;
            if (src.cls == SrcClass::Exact) {
                m = src.ex.m;
            } else if (!DoubleToExact(src.d, 15, type.scale, &m) || Abs(m) >= (i128(1) << 96)) {
                return Variant::R8(src.d);  // beyond what a variant decimal holds
            }
            if (d.scale > 28) {  // the most a variant decimal carries
                m = DivRound(m, d.scale - 28);
                d.scale = 28;
            }
            if (Abs(m) >= (i128(1) << 96)) return Variant::R8(ExactToDouble(Exact{m, d.scale}));
            d.negative = m < 0;
            d.mantissa = static_cast<unsigned __int128>(Abs(m));
            return Variant::Dec(d);
        }
        case TypeKind::Real:
            return Variant::R4(static_cast<float>(src.d));
        case TypeKind::Float:
            return Variant::R8(src.d);
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return Variant::Date(src.d);
        case TypeKind::Char:
            if (v.s.size() < static_cast<size_t>(EffectiveLength(type))) {
                std::string padded = v.s;
                padded.append(static_cast<size_t>(EffectiveLength(type)) - v.s.size(), ' ');
                return Variant::Text(padded);
            }
            return Variant::Text(v.s);
        case TypeKind::VarChar:
        case TypeKind::Text:
            return Variant::Text(v.s);
        default:
            return Variant::Bytes(v.s.data(), v.s.size());
    }
}

Value FromVariant(const Variant& v, const TypeSpec& to) {
    if (v.IsEmptyOrNull()) return Value::Null();
    try {
        CheckTarget(to);
        switch (to.kind) {
            case TypeKind::Unknown:
                switch (v.Type()) {
                    case VT_BSTR:
                        return Value::Text(v.TextValue());
                    case VT_BYTES: {
                        const auto& b = v.BytesValue();
                        return Value::Blob(std::string(b.begin(), b.end()));
                    }
                    case VT_R4:
                    case VT_R8:
                    case VT_DATE:
                        return Value::Real(v.ToR8());
                    default:
                        return Value::Int(v.ToI8());
                }
            case TypeKind::Bit:
                return Value::Int(v.ToBool() ? 1 : 0);
            case TypeKind::TinyInt:
                return Value::Int(v.ChangeType(VT_UI1).IntValue());
            case TypeKind::SmallInt:
                return Value::Int(v.ToI2());
            case TypeKind::Int:
                return Value::Int(v.ToI4());
            case TypeKind::BigInt:
                return Value::Int(v.ToI8());
            case TypeKind::Money:
                return Value::Int(v.ToCY());
            case TypeKind::SmallMoney: {
                int64_t cy = v.ToCY();
                if (cy < INT32_MIN || cy > INT32_MAX) FailWrite();
                return Value::Int(cy);
            }
            case TypeKind::Decimal: {
                Decimal d = v.ToDecimal();
                Decimal r;
                if (!d.Rescale(to.scale, &r)) FailWrite();
                i128 m = static_cast<i128>(r.mantissa);
                if (DigitCount(m) > DecPrecision(to)) FailWrite();
                if (r.negative) m = -m;
                if (to.IsScaled()) return Value::Int(static_cast<int64_t>(m));
                return Value::Real(ExactToDouble(Exact{m, to.scale}));
            }
            case TypeKind::Real: {
                double d = v.ToR8();
                if (std::isfinite(d) && std::fabs(d) > FLT_MAX) FailWrite();
                return Value::Real(static_cast<double>(static_cast<float>(d)));
            }
            case TypeKind::Float:
                return Value::Real(v.ToR8());
            case TypeKind::DateTime:
            case TypeKind::SmallDateTime: {
                DateParts p;
                if (v.Type() == VT_BSTR) {
                    double ole = 0;
                    if (ParseDateText(v.TextValue(), &ole)) {
                        p = OleToParts(ole);
                    } else if (ParseDateTimeParts(v.TextValue(), &p) != DateParse::Ok) {
                        FailWrite();
                    }
                } else {
                    double ole = v.ToDate();
                    if (!std::isfinite(ole) || std::fabs(ole) > 1e7) FailWrite();
                    p = OleToParts(ole);
                }
                p = RoundForType(p, to.kind);
                if (!DateInRange(p, to.kind)) FailWrite();
                return Value::Real(PartsToOle(p));
            }
            case TypeKind::Char:
            case TypeKind::VarChar:
            case TypeKind::Text: {
                std::string s;
                if (v.Type() == VT_BYTES) {
                    const auto& b = v.BytesValue();
                    s.assign(b.begin(), b.end());
                } else {
                    s = v.ToText();
                }
                if (to.kind != TypeKind::Text) {
                    size_t n = static_cast<size_t>(EffectiveLength(to));
                    if (s.size() > n) FailWrite();
                    if (to.kind == TypeKind::Char) s.append(n - s.size(), ' ');
                }
                return Value::Text(std::move(s));
            }
            case TypeKind::Binary:
            case TypeKind::VarBinary:
            case TypeKind::Image: {
                std::string b;
                if (v.Type() == VT_BYTES) {
                    const auto& bytes = v.BytesValue();
                    b.assign(bytes.begin(), bytes.end());
                } else if (v.Type() == VT_BSTR) {
                    b = v.TextValue();
                } else {
                    FailWrite();
                }
                if (to.kind != TypeKind::Image) {
                    size_t n = static_cast<size_t>(EffectiveLength(to));
                    if (b.size() > n) FailWrite();
                    if (to.kind == TypeKind::Binary) b.append(n - b.size(), '\0');
                }
                return Value::Blob(std::move(b));
            }
        }
    } catch (const ComError& e) {
        if (e.Error() == DB_E_ERRORSOCCURRED) throw;
        FailWrite();
    }
    FailWrite();
}

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

double CurrentDateTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local;
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

int CollateCompare(std::string_view a, std::string_view b) {
    // Lower-case folding puts '_' and the other marks between 'Z' and 'a'
    // before the letters, as the server sorts them.
    auto fold = [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
    };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = fold(a[i]), cb = fold(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    // The shorter text counts as padded with blanks.
    for (size_t i = n; i < a.size(); ++i) {
        unsigned char c = fold(a[i]);
        if (c != ' ') return c < ' ' ? -1 : 1;
    }
    for (size_t i = n; i < b.size(); ++i) {
        unsigned char c = fold(b[i]);
        if (c != ' ') return c < ' ' ? 1 : -1;
    }
    return 0;
}

}  // namespace xr::tsql
