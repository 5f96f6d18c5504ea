// What the sources of the T-SQL type system share: exact numbers of up to
// 38 digits, dates as the server keeps them (a serial day and 1/300 seconds),
// and a value decoded by its type. Not for use outside them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/calendar.h"
#include "platform/error.h"
#include "tsql/types.h"

namespace xr::tsql::detail {

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
// An exact number: m / 10^scale.
struct Exact {
    i128 m = 0;
    int scale = 0;
};
enum class NumParse { Ok, Bad, Overflow };
struct DateParts {
    int64_t serial = 0;
    int64_t ticks = 0;
};
using calendar::Civil;
using calendar::CivilDate;
using calendar::DayNumber;
using calendar::DaysInMonth;
constexpr int64_t kMinDateSerial = DayNumber(1753, 1, 1);
constexpr int64_t kMaxDateSerial = DayNumber(9999, 12, 31);
constexpr int64_t kMinSmallSerial = DayNumber(1900, 1, 1);
constexpr int64_t kMaxSmallSerial = DayNumber(2079, 6, 6);
const char* const kMonthShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[] = {"january",   "february", "march",    "april",
                                  "may",       "june",     "july",     "august",
                                  "september", "october",  "november", "december"};
enum class DateParse { Ok, Bad, OutOfRange };
enum class SrcClass { Null, Exact, Approx, Date, Text, Bytes };
struct Source {
    SrcClass cls = SrcClass::Null;
    TypeSpec type;
    Exact ex;
    double d = 0;        // Approx: the value; Date: the OLE date
    std::string_view s;  // Text, Bytes
};

// Errors with the server's messages; exact numbers and numbers read from
// text (numbers.cpp).
[[noreturn]] void Fail(std::string message);
[[noreturn]] void FailWrite();
i128 Pow10(int n);
i128 Abs(i128 v);
int DigitCount(i128 v);
i128 DivRound(i128 m, int by);
bool Rescale(const Exact& e, int scale, i128* out);
i128 Truncate(const Exact& e);
std::string I128ToText(i128 v);
std::string ExactToText(i128 m, int scale);
double ExactToDouble(const Exact& e);
bool DoubleToExact(double d, int sig, int scale, i128* out);
NumParse ParseIntegerText(std::string_view text, i128* out);
NumParse ParseDecimalText(std::string_view text, bool money, Exact* out);
NumParse ParseFloatText(std::string_view text, double* out);
// Dates: parts, ranges, text (datetime.cpp).
int64_t TicksFromMs(int64_t ms);
int64_t MsFromTicks(int64_t ticks);
DateParts OleToParts(double ole);
double PartsToOle(const DateParts& p);
double PartsToDays1900(const DateParts& p);
DateParts Days1900ToParts(double days);
bool DateInRange(const DateParts& p, TypeKind kind);
DateParts RoundForType(DateParts p, TypeKind kind);
char Lower(char c);
bool IEq(std::string_view a, std::string_view b);
bool IsDigit(char c);
bool IsAlpha(char c);
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view s);
std::string_view TrimSpaces(std::string_view s);
int MonthFromName(std::string_view w);
int ToInt(std::string_view digits);
int ExpandYear(std::string_view digits);
bool ParseTimeText(std::string_view s, int64_t* ticks);
// `order` is how three numbers of a date are read: 'm' month/day/year (the
// server's default), 'd' day/month/year, 'y' year/month/day with a two-digit
// year; 0 the thread's SET DATEFORMAT. Four digits first always read as
// year/month/day.
DateParse ParseDatePart(std::string_view s, int* year, int* month, int* day, char order = 0);
DateParse ParseDateTimeParts(std::string_view text, DateParts* out, char order = 0);
void FormatParts(const DateParts& p, Civil* c, int* h, int* mi, int* s, int* ms);
double CurrentTime(bool utc);
// Type names, limits and precedence (types.cpp).
const char* ServerName(TypeKind k);
int DecPrecision(const TypeSpec& t);
int ScaleOf(const TypeSpec& t);
void CheckTarget(const TypeSpec& t);
int32_t EffectiveLength(const TypeSpec& t);
int IntegerWidth(TypeKind k);
bool IntegerInRange(TypeKind k, i128 v);
// Conversions by target class (convert.cpp).
Source Decode(const Value& v, const TypeSpec& from);
int SignificantDigits(const TypeSpec& t);
std::string SourceTextName(const Source& src);
Value ToInteger(const Source& src, const TypeSpec& to);
Value ToExactType(const Source& src, const TypeSpec& to);
Value ToApprox(const Source& src, const TypeSpec& to);
Value ToDate(const Source& src, const TypeSpec& to);
std::string FloatToText(double d);
std::string SourceAsText(const Source& src, bool* numeric);
Value ToTextType(const Source& src, const TypeSpec& to, bool storing);
Value FitText(std::string s, const Source& src, bool numeric, const TypeSpec& to, bool storing);
Value ToBinaryType(const Source& src, const TypeSpec& to, bool storing);
// Precedence and decimal shape of a type (types.cpp).
int Precedence(TypeKind k);
void AsDecimal(const TypeSpec& t, int* p, int* s);

}  // namespace xr::tsql::detail
