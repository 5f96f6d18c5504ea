#include "platform/variant.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/calendar.h"
#include "platform/error.h"
#include "platform/systemtime.h"
#include "platform/text.h"

namespace xr {

namespace {

using u128 = unsigned __int128;
using i128 = __int128;

constexpr u128 kDecimalLimit = u128{1} << 96;
constexpr int kMaxScale = 28;
// Valid date numbers lie strictly between these (1 Jan 100 .. 31 Dec 9999,
// whole last day included).
constexpr double kDateLow = static_cast<double>(calendar::kFirstDay - 1);
constexpr double kDateHigh = static_cast<double>(calendar::kLastDay + 1);

struct Pow10Table {
    u128 v[39];
    constexpr Pow10Table() : v() {
        u128 r = 1;
        for (int i = 0; i < 39; ++i) {
            v[i] = r;
            r *= 10;
        }
    }
};
constexpr Pow10Table kPow10;

constexpr double kPow10Double[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

[[noreturn]] void Fail(HRESULT hr) { throw ComError(hr); }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Round to nearest, an exact half to the even neighbour.
double RoundHalfEven(double x) {
    double r = std::floor(x);
    double diff = x - r;  // exact
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return r;
}

// m / 10^n, rounded half to even or half away from zero.
u128 DivPow10Rounded(u128 m, int n, bool halfEven) {
    if (n <= 0) return m;
    if (n > 38) return 0;  // m < 2^128 is below half of 10^39
    u128 p = kPow10.v[n];
    u128 q = m / p;
    u128 r = m % p;
    u128 half = p / 2;
    if (r > half || (r == half && (!halfEven || (q & 1)))) ++q;
    return q;
}

// Writes the decimal digits of v so that they end at `end`; returns the first.
char* WriteDigits(u128 v, char* end) {
    do {
        *--end = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v);
    return end;
}

void CheckDecimal(const Decimal& d) {
    if (d.scale > kMaxScale || d.mantissa >= kDecimalLimit) Fail(E_INVALIDARG_);
}

// ---------------------------------------------------------------------------
// Number text (the Var*FromStr grammar in the fixed en-US locale)

constexpr int kMaxDigits = 40;

struct ParsedNumber {
    bool negative = false;
    bool radix = false;  // &H or &O form
    bool radixOverflow = false;
    uint64_t radixValue = 0;
    int count = 0;        // significant digits kept, the first one non-zero
    bool sticky = false;  // non-zero digits dropped past kMaxDigits
    int exponent = 0;     // value = digits * 10^exponent
    char digits[kMaxDigits];
};

bool ParseNumber(std::string_view s, ParsedNumber* out) {
    size_t i = 0;
    const size_t n = s.size();
    bool sign = false, parens = false, currency = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (IsBlank(c)) continue;
        if ((c == '+' || c == '-') && !sign && !parens) {
            sign = true;
            out->negative = c == '-';
        } else if (c == '(' && !parens && !sign) {
            parens = true;
            out->negative = true;
        } else if (c == '$' && !currency) {
            currency = true;
        } else {
            break;
        }
    }

    if (i < n && s[i] == '&') {  // VB-style &H / &O only; C-style 0x is refused
        if (sign || parens || currency || i + 1 >= n) return false;
        unsigned base;
        char k = s[i + 1];
        if (k == 'H' || k == 'h') {
            base = 16;
        } else if (k == 'O' || k == 'o') {
            base = 8;
        } else {
            return false;
        }
        i += 2;
        size_t start = i;
        uint64_t v = 0;
        for (; i < n; ++i) {
            char c = s[i];
            unsigned d;
            if (IsDigit(c)) {
                d = static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                d = static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                d = static_cast<unsigned>(c - 'A' + 10);
            } else {
                break;
            }
            if (d >= base) break;
            if (v > (UINT64_MAX - d) / base) out->radixOverflow = true;
            v = v * base + d;
        }
        if (i == start) return false;
        for (; i < n; ++i) {
            if (!IsBlank(s[i])) return false;
        }
        out->radix = true;
        out->radixValue = v;
        return true;
    }

    bool anyDigit = false, point = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (IsDigit(c)) {
            anyDigit = true;
            int d = c - '0';
            if (out->count == 0 && d == 0) {
                if (point) --out->exponent;
            } else if (out->count < kMaxDigits) {
                out->digits[out->count++] = c;
                if (point) --out->exponent;
            } else {
                if (d) out->sticky = true;
                if (!point) ++out->exponent;
            }
        } else if (c == ',' && !point && i > 0 && IsDigit(s[i - 1]) && i + 1 < n &&
                   IsDigit(s[i + 1])) {
            // Thousands separators between digits; grouping is not checked.
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;

    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < n && (s[j] == '+' || s[j] == '-')) {
            negativeExponent = s[j] == '-';
            ++j;
        }
        size_t start = j;
        int e = 0;
        for (; j < n && IsDigit(s[j]); ++j) {
            if (e < 100000) e = e * 10 + (s[j] - '0');
        }
        if (j == start) return false;
        out->exponent += negativeExponent ? -e : e;
        i = j;
    }

    bool closed = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (IsBlank(c)) continue;
        if ((c == '+' || c == '-') && !sign && !parens) {
            sign = true;
            out->negative = c == '-';
        } else if (c == ')' && parens && !closed) {
            closed = true;
        } else {
            return false;
        }
    }
    return !parens || closed;
}

void ParseOrFail(std::string_view s, ParsedNumber* p) {
    if (!ParseNumber(s, p)) Fail(DISP_E_TYPEMISMATCH_);
}

// The first `keep` digits as an integer (zeros appended when `keep` exceeds
// the digits), the rest rounded half to even. Needs keep <= 38.
u128 LeadingDigits(const ParsedNumber& p, int keep) {
    u128 m = 0;
    for (int k = 0; k < keep && k < p.count; ++k)
        m = m * 10 + static_cast<unsigned>(p.digits[k] - '0');
    if (keep > p.count) m *= kPow10.v[keep - p.count];
    if (keep < 0 || keep >= p.count) return m;  // below a tenth of a unit, or nothing dropped
    int first = p.digits[keep] - '0';
    bool rest = p.sticky;
    for (int k = keep + 1; k < p.count && !rest; ++k) rest = p.digits[k] != '0';
    if (first > 5 || (first == 5 && (rest || (m & 1)))) ++m;
    return m;
}

// Value of &H/&O text as an integer of `bits` bits: the digits fill the width
// as a two's complement pattern, so "&HFFFF" is -1 as a 16-bit integer.
bool RadixForWidth(uint64_t v, int bits, bool isSigned, i128* out) {
    if (bits < 64 && (v >> bits) != 0) return false;
    if (isSigned && ((v >> (bits - 1)) & 1)) {
        *out = static_cast<i128>(v) - (i128{1} << bits);
    } else {
        *out = v;
    }
    return true;
}

// For targets that are not integers the text takes the smallest of 16, 32
// and 64 bits that holds it, as the VB literal does.
int64_t RadixValue(uint64_t v) {
    if (v <= 0xFFFF) return static_cast<int16_t>(v);
    if (v <= 0xFFFFFFFF) return static_cast<int32_t>(v);
    return static_cast<int64_t>(v);
}

double ParsedToDouble(const ParsedNumber& p) {
    if (p.radix) {
        if (p.radixOverflow) Fail(DISP_E_OVERFLOW_);
        return static_cast<double>(RadixValue(p.radixValue));
    }
    if (p.count == 0) return p.negative ? -0.0 : 0.0;
    char buf[kMaxDigits + 16];
    std::memcpy(buf, p.digits, static_cast<size_t>(p.count));
    int len = p.count;
    int exponent = p.exponent;
    if (p.sticky) {  // keeps the value strictly above the kept digits
        buf[len++] = '1';
        --exponent;
    }
    buf[len++] = 'e';
    char* end = std::to_chars(buf + len, buf + sizeof buf, exponent).ptr;
    double v = 0;
    auto result = std::from_chars(buf, end, v);
    if (result.ec == std::errc::result_out_of_range) {
        if (p.count + p.exponent > 0) Fail(DISP_E_OVERFLOW_);
        v = 0;
    }
    return p.negative ? -v : v;
}

Decimal ParsedToDecimal(const ParsedNumber& p) {
    Decimal d;
    if (p.radix) {
        if (p.radixOverflow) Fail(DISP_E_OVERFLOW_);
        return Decimal::FromInt(RadixValue(p.radixValue));
    }
    if (p.count == 0) {
        d.scale = static_cast<uint8_t>(std::clamp(-p.exponent, 0, kMaxScale));
        return d;
    }
    d.negative = p.negative;
    int intDigits = p.count + p.exponent;
    if (intDigits > 29) Fail(DISP_E_OVERFLOW_);
    if (p.exponent >= 0) {
        d.mantissa = LeadingDigits(p, intDigits);
        if (d.mantissa >= kDecimalLimit) Fail(DISP_E_OVERFLOW_);
        return d;
    }
    // Too many places for 28, or too many digits for 96 bits: round off
    // fractional digits, half to even, until the value fits.
    int scale = -p.exponent;
    int drop = std::max(0, scale - kMaxScale);
    drop = std::max(drop, p.count - 29);
    for (; drop <= scale; ++drop) {
        u128 m = LeadingDigits(p, p.count - drop);
        if (m < kDecimalLimit) {
            d.mantissa = m;
            d.scale = static_cast<uint8_t>(scale - drop);
            if (m == 0) d.negative = false;
            return d;
        }
    }
    Fail(DISP_E_OVERFLOW_);
}

// ---------------------------------------------------------------------------
// Number -> text

std::string FormatReal(double v, int precision) {
    if (v == 0) return "0";  // negative zero too
    char buf[48];
    auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    for (char* p = buf; p < result.ptr; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);  // "E+17", "INF", "NAN"
    }
    return std::string(buf, result.ptr);
}

std::string FormatInteger(int64_t v) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string FormatCurrency(int64_t cy) {
    char buf[32];
    char* p = buf;
    uint64_t magnitude = cy < 0 ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
    if (cy < 0) *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, magnitude / 10000).ptr;
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction) {
        *p++ = '.';
        for (unsigned div = 1000; fraction; div /= 10) {
            *p++ = static_cast<char>('0' + fraction / div);
            fraction %= div;
        }
    }
    return std::string(buf, p);
}

// ---------------------------------------------------------------------------
// Conversions by target type

i128 RoundCurrencyToInteger(int64_t cy) {
    int64_t q = cy / 10000;
    int64_t r = cy % 10000;
    if (r > 5000 || (r == 5000 && (q & 1))) ++q;
    if (r < -5000 || (r == -5000 && (q & 1))) --q;
    return q;
}

i128 ToInteger(const Variant& v, int bits, bool isSigned) {
    i128 r;
    switch (v.Type()) {
        case VT_EMPTY:
            return 0;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
            r = v.IntValue();
            break;
        case VT_UI8:
            r = v.UIntValue();
            break;
        case VT_BOOL:
            // True is all bits set: -1 signed, the maximum unsigned.
            if (!v.IntValue()) return 0;
            return isSigned ? i128{-1} : (i128{1} << bits) - 1;
        case VT_R4:
        case VT_R8:
        case VT_DATE: {
            double x = RoundHalfEven(v.RealValue());
            if (!(std::fabs(x) < 0x1p100)) Fail(DISP_E_OVERFLOW_);  // NaN too
            r = static_cast<i128>(x);
            break;
        }
        case VT_CY:
            r = RoundCurrencyToInteger(v.IntValue());
            break;
        case VT_DECIMAL: {
            const Decimal& d = v.DecValue();
            CheckDecimal(d);
            u128 m = DivPow10Rounded(d.mantissa, d.scale, true);
            r = d.negative ? -static_cast<i128>(m) : static_cast<i128>(m);
            break;
        }
        case VT_BSTR: {
            ParsedNumber p;
            ParseOrFail(v.TextValue(), &p);
            if (p.radix) {
                if (p.radixOverflow || !RadixForWidth(p.radixValue, bits, isSigned, &r))
                    Fail(DISP_E_OVERFLOW_);
                return r;
            }
            int keep = p.count + p.exponent;
            if (keep > 38) Fail(DISP_E_OVERFLOW_);
            u128 m = LeadingDigits(p, keep);
            r = p.negative ? -static_cast<i128>(m) : static_cast<i128>(m);
            break;
        }
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
    // The range test is on the rounded value: -0.5 still fits an unsigned byte.
    i128 lo = isSigned ? -(i128{1} << (bits - 1)) : 0;
    i128 hi = isSigned ? (i128{1} << (bits - 1)) - 1 : (i128{1} << bits) - 1;
    if (r < lo || r > hi) Fail(DISP_E_OVERFLOW_);
    return r;
}

double ToReal(const Variant& v) {
    switch (v.Type()) {
        case VT_EMPTY:
            return 0;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_BOOL:
            return static_cast<double>(v.IntValue());
        case VT_UI8:
            return static_cast<double>(v.UIntValue());
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return v.RealValue();
        case VT_CY:
            return static_cast<double>(v.IntValue()) / 10000.0;
        case VT_DECIMAL:
            CheckDecimal(v.DecValue());
            return v.DecValue().ToDouble();
        case VT_BSTR: {
            ParsedNumber p;
            ParseOrFail(v.TextValue(), &p);
            return ParsedToDouble(p);
        }
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
}

int64_t CurrencyFromReal(double x) {
    double r = RoundHalfEven(x * 10000.0);
    if (!(r >= -0x1p63 && r < 0x1p63)) Fail(DISP_E_OVERFLOW_);
    return static_cast<int64_t>(r);
}

int64_t CurrencyFromInteger(i128 x) {
    i128 r = x * 10000;
    if (r < INT64_MIN || r > INT64_MAX) Fail(DISP_E_OVERFLOW_);
    return static_cast<int64_t>(r);
}

// Text to four places straight from its digits: a double carries only 15
// or 16 of the 19 digits a currency holds, so the last places of a large
// amount would change on the way. Rounds half to even, as from a double.
int64_t CurrencyFromParsed(const ParsedNumber& p) {
    if (p.count == 0) return 0;
    const int keep = p.count + p.exponent + 4;  // digits at or above 1/10000
    if (keep > 20) Fail(DISP_E_OVERFLOW_);
    u128 m = LeadingDigits(p, keep);
    i128 r = p.negative ? -static_cast<i128>(m) : static_cast<i128>(m);
    if (r < INT64_MIN || r > INT64_MAX) Fail(DISP_E_OVERFLOW_);
    return static_cast<int64_t>(r);
}

int64_t ToCurrency(const Variant& v) {
    switch (v.Type()) {
        case VT_EMPTY:
            return 0;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_BOOL:
            return CurrencyFromInteger(v.IntValue());
        case VT_UI8:
            return CurrencyFromInteger(v.UIntValue());
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return CurrencyFromReal(v.RealValue());
        case VT_CY:
            return v.IntValue();
        case VT_DECIMAL: {
            const Decimal& d = v.DecValue();
            CheckDecimal(d);
            u128 m = d.scale <= 4 ? d.mantissa * kPow10.v[4 - d.scale]
                                  : DivPow10Rounded(d.mantissa, d.scale - 4, true);
            i128 r = d.negative ? -static_cast<i128>(m) : static_cast<i128>(m);
            if (r < INT64_MIN || r > INT64_MAX) Fail(DISP_E_OVERFLOW_);
            return static_cast<int64_t>(r);
        }
        case VT_BSTR: {
            ParsedNumber p;
            ParseOrFail(v.TextValue(), &p);
            if (p.radix) {
                if (p.radixOverflow) Fail(DISP_E_OVERFLOW_);
                return CurrencyFromInteger(RadixValue(p.radixValue));
            }
            return CurrencyFromParsed(p);
        }
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
}

double ToDateNumber(const Variant& v) {
    if (v.Type() == VT_DATE) return v.RealValue();
    if (v.Type() == VT_BSTR) {
        double date;
        if (!ParseDateText(v.TextValue(), &date)) Fail(DISP_E_TYPEMISMATCH_);
        return date;
    }
    double d = ToReal(v);
    if (!(d > kDateLow && d < kDateHigh)) Fail(DISP_E_OVERFLOW_);
    return d;
}

bool BoolFromText(const std::string& s) {
    if (IEquals(s, "true") || s == "#TRUE#") return true;
    if (IEquals(s, "false") || s == "#FALSE#") return false;
    ParsedNumber p;
    ParseOrFail(s, &p);
    if (p.radix) return p.radixValue != 0;
    return p.count != 0;
}

bool ToBoolean(const Variant& v) {
    switch (v.Type()) {
        case VT_EMPTY:
            return false;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_BOOL:
        case VT_CY:
            return v.IntValue() != 0;
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return v.RealValue() != 0;
        case VT_DECIMAL:
            CheckDecimal(v.DecValue());
            return v.DecValue().mantissa != 0;
        case VT_BSTR:
            return BoolFromText(v.TextValue());
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
}

// A double becomes a decimal through its text with `digits` significant
// digits: 0.6 is exactly 6 tenths, not the binary value's expansion.
Decimal DecimalFromReal(double x, int digits) {
    if (!std::isfinite(x)) Fail(DISP_E_OVERFLOW_);
    char buf[48];
    auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits);
    ParsedNumber p;
    ParseNumber(std::string_view(buf, static_cast<size_t>(result.ptr - buf)), &p);
    return ParsedToDecimal(p);
}

Decimal FromUnsigned(uint64_t v) {
    Decimal d;
    d.mantissa = v;
    return d;
}

Decimal ToDecimalValue(const Variant& v) {
    switch (v.Type()) {
        case VT_EMPTY:
            return Decimal();
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
            return Decimal::FromInt(v.IntValue());
        case VT_UI8:
            return FromUnsigned(v.UIntValue());
        case VT_BOOL:
            return Decimal::FromInt(v.IntValue() ? 1 : 0);  // +1, not -1
        case VT_R4:
            return DecimalFromReal(v.RealValue(), 7);
        case VT_R8:
        case VT_DATE:
            return DecimalFromReal(v.RealValue(), 15);
        case VT_CY: {
            int64_t cy = v.IntValue();
            Decimal d;
            d.mantissa = cy < 0 ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
            d.scale = 4;
            d.negative = cy < 0;
            return d;
        }
        case VT_DECIMAL:
            CheckDecimal(v.DecValue());
            return v.DecValue();
        case VT_BSTR: {
            ParsedNumber p;
            ParseOrFail(v.TextValue(), &p);
            return ParsedToDecimal(p);
        }
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
}

std::string ToTextValue(const Variant& v) {
    switch (v.Type()) {
        case VT_EMPTY:
            return std::string();
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_BOOL:  // as the 16-bit integer: "-1" / "0"
            return FormatInteger(v.IntValue());
        case VT_UI8: {
            char buf[24];
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, v.UIntValue()).ptr);
        }
        case VT_R4:
            return FormatReal(v.RealValue(), 7);
        case VT_R8:
            return FormatDouble(v.RealValue());
        case VT_DATE:
            return FormatDate(v.RealValue());
        case VT_CY:
            return FormatCurrency(v.IntValue());
        case VT_DECIMAL:
            CheckDecimal(v.DecValue());
            return v.DecValue().ToString();
        case VT_BSTR:
            return v.TextValue();
        case VT_BYTES:
            return std::string(v.BytesView());
        default:
            Fail(DISP_E_TYPEMISMATCH_);
    }
}

// ---------------------------------------------------------------------------
// Date text (VarDateFromStr in en-US)

struct DateToken {
    enum Kind : uint8_t { kNumber, kMonth, kMeridiem } kind;
    char sepBefore;  // '/', '-', ':', '.' or 0 (blanks only)
    int value;       // number, month 1..12, or 0 = AM / 1 = PM
    int digits;
};

constexpr const char* kMonthNames[] = {"january",   "february", "march",    "april",
                                       "may",       "june",     "july",     "august",
                                       "september", "october",  "november", "december"};
constexpr const char* kDayNames[] = {"sunday",   "monday", "tuesday", "wednesday",
                                     "thursday", "friday", "saturday"};

int MonthFromName(std::string_view word) {
    for (int m = 0; m < 12; ++m) {
        std::string_view full = kMonthNames[m];
        if (IEquals(word, full) || IEquals(word, full.substr(0, 3))) return m + 1;
    }
    return IEquals(word, "sept") ? 9 : 0;
}

bool IsDayName(std::string_view word) {
    for (std::string_view full : kDayNames) {
        if (IEquals(word, full) || IEquals(word, full.substr(0, 3))) return true;
    }
    return false;
}

struct DatePart {
    int value;
    int digits;
};

bool ValidDate(int y, int m, int d) {
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= calendar::DaysInMonth(y, m);
}

// Month and day must be written with at most two digits; a longer number can
// only be the year.
bool TryDate(const DatePart& month, const DatePart& day, const DatePart& year, int* y, int* m,
             int* d) {
    if (month.digits > 2 || day.digits > 2) return false;
    // Two-digit years: 0..29 are 2000..2029, 30..99 are 1900..1999.
    int fullYear = calendar::FullYear(year.value, 2029);
    if (!ValidDate(fullYear, month.value, day.value)) return false;
    *y = fullYear;
    *m = month.value;
    *d = day.value;
    return true;
}

int CurrentYear() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

bool ResolveDate(const DatePart* nums, int count, int month, int* y, int* m, int* d) {
    if (month) {
        const DatePart monthPart{month, 1};
        if (count == 1) {
            // "Jan 2" is a day of this year unless it cannot be: "Jan 35" is 1935.
            DatePart thisYear{CurrentYear(), 4};
            if (TryDate(monthPart, nums[0], thisYear, y, m, d)) return true;
            return TryDate(monthPart, DatePart{1, 1}, nums[0], y, m, d);
        }
        if (count == 2) {
            bool firstIsYear = nums[0].digits > 2 || nums[0].value > 31;
            return firstIsYear ? TryDate(monthPart, nums[1], nums[0], y, m, d)
                               : TryDate(monthPart, nums[0], nums[1], y, m, d);
        }
        return false;
    }
    if (count == 2) {
        // Month and day of this year in either order, else year and month.
        DatePart thisYear{CurrentYear(), 4};
        const DatePart first{1, 1};
        return TryDate(nums[0], nums[1], thisYear, y, m, d) ||
               TryDate(nums[1], nums[0], thisYear, y, m, d) ||
               TryDate(nums[1], first, nums[0], y, m, d) ||
               TryDate(nums[0], first, nums[1], y, m, d);
    }
    if (count == 3) {
        // The locale's order (M/D/Y) first, then Y/M/D, then D/M/Y.
        return TryDate(nums[0], nums[1], nums[2], y, m, d) ||
               TryDate(nums[1], nums[2], nums[0], y, m, d) ||
               TryDate(nums[1], nums[0], nums[2], y, m, d);
    }
    return false;
}

bool IsTimeSep(char c) { return c == ':' || c == '.'; }
}  // namespace

// ---------------------------------------------------------------------------
// Decimal

Decimal Decimal::FromInt(int64_t v) {
    Decimal d;
    d.negative = v < 0;
    d.mantissa = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    return d;
}

bool Decimal::Parse(std::string_view text, Decimal* out) {
    size_t i = 0;
    Decimal d;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        d.negative = text[i] == '-';
        ++i;
    }
    bool anyDigit = false, point = false;
    int scale = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            d.mantissa = d.mantissa * 10 + static_cast<unsigned>(c - '0');
            if (d.mantissa >= kDecimalLimit) return false;
            if (point && ++scale > kMaxScale) return false;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!anyDigit) return false;
    d.scale = static_cast<uint8_t>(scale);
    if (d.mantissa == 0) d.negative = false;
    if (out) *out = d;
    return true;
}

std::string Decimal::ToString() const {
    char buf[48];
    char* end = buf + sizeof buf;
    char* first = WriteDigits(mantissa, end);
    size_t n = static_cast<size_t>(end - first);
    std::string out;
    out.reserve(n + 4);
    if (negative && mantissa != 0) out.push_back('-');
    size_t places = scale;
    // Trailing zeros of the fraction are not shown.
    while (places > 0 && n > 1 && first[n - 1] == '0') {
        --n;
        --places;
    }
    if (mantissa == 0) places = 0;
    if (places == 0) {
        out.append(first, n);
    } else if (n > places) {
        out.append(first, n - places);
        out.push_back('.');
        out.append(first + n - places, places);
    } else {
        out.append("0.");
        out.append(places - n, '0');
        out.append(first, n);
    }
    return out;
}

double Decimal::ToDouble() const {
    double v;
    if (mantissa < (u128{1} << 53) && scale <= 22) {
        // Both operands are exact, so the quotient is the nearest double.
        v = static_cast<double>(static_cast<uint64_t>(mantissa)) / kPow10Double[scale];
    } else {
        char buf[64];
        char* end = buf + 40;
        char* first = WriteDigits(mantissa, end);
        *end++ = 'e';
        end = std::to_chars(end, buf + sizeof buf, -static_cast<int>(scale)).ptr;
        std::from_chars(first, end, v);
    }
    return negative ? -v : v;
}

bool Decimal::Rescale(uint8_t newScale, Decimal* out) const {
    if (newScale > kMaxScale) return false;
    Decimal d;
    if (newScale >= scale) {
        u128 factor = kPow10.v[newScale - scale];
        if (mantissa > (kDecimalLimit - 1) / factor) return false;
        d.mantissa = mantissa * factor;
    } else {
        d.mantissa = DivPow10Rounded(mantissa, scale - newScale, false);
        if (d.mantissa >= kDecimalLimit) return false;
    }
    d.scale = newScale;
    d.negative = negative && d.mantissa != 0;
    if (out) *out = d;
    return true;
}

int Decimal::Compare(const Decimal& other) const {
    int signA = mantissa == 0 ? 0 : (negative ? -1 : 1);
    int signB = other.mantissa == 0 ? 0 : (other.negative ? -1 : 1);
    if (signA != signB) return signA < signB ? -1 : 1;
    if (signA == 0) return 0;
    // Bring both to the larger scale; a product that overflows 128 bits is
    // larger than any mantissa.
    u128 a = mantissa, b = other.mantissa;
    int magnitude;
    bool overflow = false;
    if (scale < other.scale) {
        int diff = other.scale - scale;
        overflow = diff > 38 || __builtin_mul_overflow(a, kPow10.v[diff], &a);
        magnitude = overflow ? 1 : (a < b ? -1 : a > b);
    } else {
        int diff = scale - other.scale;
        overflow = diff > 38 || __builtin_mul_overflow(b, kPow10.v[diff], &b);
        magnitude = overflow ? -1 : (a < b ? -1 : a > b);
    }
    return signA > 0 ? magnitude : -magnitude;
}

// ---------------------------------------------------------------------------
// Variant

Variant Variant::Null() {
    Variant v;
    v.m_vt = VT_NULL;
    return v;
}

Variant Variant::I2(int16_t x) {
    Variant v;
    v.m_vt = VT_I2;
    v.m_i = x;
    return v;
}

Variant Variant::I4(int32_t x) {
    Variant v;
    v.m_vt = VT_I4;
    v.m_i = x;
    return v;
}

Variant Variant::I8(int64_t x) {
    Variant v;
    v.m_vt = VT_I8;
    v.m_i = x;
    return v;
}

Variant Variant::UI1(uint8_t x) {
    Variant v;
    v.m_vt = VT_UI1;
    v.m_i = x;
    return v;
}

Variant Variant::UI8(uint64_t x) {
    Variant v;
    v.m_vt = VT_UI8;
    v.m_i = static_cast<int64_t>(x);
    return v;
}

Variant Variant::R4(float x) {
    Variant v;
    v.m_vt = VT_R4;
    v.m_d = x;
    return v;
}

Variant Variant::R8(double x) {
    Variant v;
    v.m_vt = VT_R8;
    v.m_d = x;
    return v;
}

Variant Variant::Bool(bool x) {
    Variant v;
    v.m_vt = VT_BOOL;
    v.m_i = x ? -1 : 0;
    return v;
}

Variant Variant::Currency(int64_t scaled) {
    Variant v;
    v.m_vt = VT_CY;
    v.m_i = scaled;
    return v;
}

Variant Variant::Date(double oleDate) {
    Variant v;
    v.m_vt = VT_DATE;
    v.m_d = oleDate;
    return v;
}

Variant Variant::Dec(const Decimal& d) {
    Variant v;
    v.m_vt = VT_DECIMAL;
    v.m_dec = d;
    return v;
}

Variant Variant::Text(std::string_view s) {
    Variant v;
    v.m_vt = VT_BSTR;
    v.m_s.assign(s.data(), s.size());
    return v;
}

Variant Variant::Bytes(const void* data, size_t length) {
    Variant v;
    v.m_vt = VT_BYTES;
    if (length) {
        v.m_s.assign(static_cast<const char*>(data), length);
    }
    return v;
}

Variant Variant::ChangeType(VARTYPE vt) const {
    if (vt == m_vt) return *this;
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    Variant r;
    r.m_vt = vt;
    switch (vt) {
        case VT_EMPTY:
            break;
        case VT_NULL:
            if (m_vt != VT_EMPTY) Fail(DISP_E_TYPEMISMATCH_);
            break;
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8: {
            // The width and sign of the integer type asked for.
            const bool isSigned = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8;
            const int bits = vt == VT_I1 || vt == VT_UI1   ? 8
                             : vt == VT_I2 || vt == VT_UI2 ? 16
                             : vt == VT_I4 || vt == VT_UI4 ? 32
                                                           : 64;
            r.m_i = static_cast<int64_t>(ToInteger(*this, bits, isSigned));
            break;
        }
        case VT_R4: {
            double d = ToReal(*this);
            if (std::fabs(d) > FLT_MAX) Fail(DISP_E_OVERFLOW_);
            r.m_d = static_cast<float>(d);
            break;
        }
        case VT_R8:
            r.m_d = ToReal(*this);
            break;
        case VT_CY:
            r.m_i = ToCurrency(*this);
            break;
        case VT_DATE:
            r.m_d = ToDateNumber(*this);
            break;
        case VT_BOOL:
            r.m_i = ToBoolean(*this) ? -1 : 0;
            break;
        case VT_DECIMAL:
            r.m_dec = ToDecimalValue(*this);
            break;
        case VT_BSTR:
            r.m_s = ToTextValue(*this);
            break;
        case VT_BYTES:
            // Text becomes its raw bytes; nothing else converts to an array.
            if (m_vt != VT_BSTR) Fail(DISP_E_TYPEMISMATCH_);
            r.m_s = m_s;
            break;
        default:
            Fail((vt & VT_ARRAY) ? DISP_E_TYPEMISMATCH_ : DISP_E_BADVARTYPE_);
    }
    return r;
}

int16_t Variant::ToI2() const {
    if (m_vt == VT_I2) return static_cast<int16_t>(m_i);
    return static_cast<int16_t>(ToInteger(*this, 16, true));
}

int32_t Variant::ToI4() const {
    if (m_vt == VT_I4) return static_cast<int32_t>(m_i);
    return static_cast<int32_t>(ToInteger(*this, 32, true));
}

int64_t Variant::ToI8() const {
    if (m_vt == VT_I8) return m_i;
    return static_cast<int64_t>(ToInteger(*this, 64, true));
}

uint64_t Variant::ToUI8() const {
    if (m_vt == VT_UI8) return static_cast<uint64_t>(m_i);
    return static_cast<uint64_t>(ToInteger(*this, 64, false));
}

double Variant::ToR8() const {
    if (m_vt == VT_R8) return m_d;
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToReal(*this);
}

int64_t Variant::ToCY() const {
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToCurrency(*this);
}

double Variant::ToDate() const {
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToDateNumber(*this);
}

bool Variant::ToBool() const {
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToBoolean(*this);
}

Decimal Variant::ToDecimal() const {
    if (m_vt == VT_DECIMAL) return m_dec;  // same type: a plain copy, as ChangeType
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToDecimalValue(*this);
}

std::string Variant::ToText() const {
    if (m_vt == VT_NULL) Fail(DISP_E_TYPEMISMATCH_);
    return ToTextValue(*this);
}

bool Variant::operator==(const Variant& o) const {
    if (m_vt != o.m_vt) return false;
    switch (m_vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return m_d == o.m_d;
        case VT_DECIMAL:
            return m_dec.Compare(o.m_dec) == 0;
        case VT_BSTR:
        case VT_BYTES:
            return m_s == o.m_s;
        default:
            return m_i == o.m_i;
    }
}

// ---------------------------------------------------------------------------
// Free functions

bool ParseNumberText(std::string_view text, Decimal* out) {
    ParsedNumber p;
    if (!ParseNumber(text, &p)) return false;
    try {
        Decimal d = ParsedToDecimal(p);
        if (out) *out = d;
        return true;
    } catch (const ComError&) {
        return false;  // does not fit 96 bits
    }
}

bool ParseDateText(std::string_view text, double* oleDate) {
    constexpr int kMaxTokens = 12;
    DateToken tokens[kMaxTokens];
    int count = 0;
    char pending = 0;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (IsBlank(c) || c == ',') {
            ++i;
        } else if (c == '/' || c == '-' || c == ':' || c == '.') {
            if (pending || count == 0) return false;  // doubled or leading separator
            pending = c;
            ++i;
        } else if (IsDigit(c)) {
            int value = 0, digits = 0;
            for (; i < n && IsDigit(text[i]); ++i, ++digits) {
                if (digits < 6) value = value * 10 + (text[i] - '0');
            }
            if (digits > 5 || count == kMaxTokens) return false;
            tokens[count++] = DateToken{DateToken::kNumber, pending, value, digits};
            pending = 0;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            size_t start = i;
            while (i < n &&
                   ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z')))
                ++i;
            std::string_view word = text.substr(start, i - start);
            if (int month = MonthFromName(word)) {
                if (count == kMaxTokens) return false;
                tokens[count++] = DateToken{DateToken::kMonth, pending, month, 0};
                pending = 0;
            } else if (IEquals(word, "am") || IEquals(word, "a") || IEquals(word, "pm") ||
                       IEquals(word, "p")) {
                if (pending || count == kMaxTokens) return false;
                int pm = (word[0] == 'p' || word[0] == 'P') ? 1 : 0;
                tokens[count++] = DateToken{DateToken::kMeridiem, 0, pm, 0};
            } else if (!IsDayName(word) || count != 0 || pending) {
                return false;  // a weekday may lead ("Friday, 1/2/1970"); other words may not
            }
        } else {
            return false;
        }
    }
    if (pending || count == 0) return false;

    // The time: numbers joined by ':' or '.', or one number before AM/PM.
    int timeStart = -1, timeLen = 0, meridiem = -1;
    bool dotted = true;
    for (int t = 0; t + 1 < count; ++t) {
        if (tokens[t].kind != DateToken::kNumber || tokens[t + 1].kind != DateToken::kNumber ||
            !IsTimeSep(tokens[t + 1].sepBefore))
            continue;
        if (timeStart >= 0) return false;
        timeStart = t;
        int e = t;
        while (e + 1 < count && tokens[e + 1].kind == DateToken::kNumber &&
               IsTimeSep(tokens[e + 1].sepBefore)) {
            if (tokens[e + 1].sepBefore == ':') dotted = false;
            ++e;
        }
        timeLen = e - t + 1;
        t = e;
    }
    for (int t = 0; t < count; ++t) {
        if (tokens[t].kind != DateToken::kMeridiem) continue;
        if (meridiem >= 0 || t == 0 || tokens[t - 1].kind != DateToken::kNumber) return false;
        if (timeStart >= 0) {
            if (t - 1 != timeStart + timeLen - 1) return false;
        } else {
            timeStart = t - 1;
            timeLen = 1;
        }
        meridiem = tokens[t].value;
        dotted = false;
    }
    if (timeLen > 3) return false;

    DatePart nums[3];
    int numCount = 0, month = 0;
    for (int t = 0; t < count; ++t) {
        const DateToken& tok = tokens[t];
        bool inTime = timeStart >= 0 && t >= timeStart && t < timeStart + timeLen;
        if (inTime || tok.kind == DateToken::kMeridiem) continue;
        if (IsTimeSep(tok.sepBefore)) return false;
        if (tok.kind == DateToken::kMonth) {
            if (month) return false;
            month = tok.value;
        } else {
            if (numCount == 3) return false;
            nums[numCount++] = DatePart{tok.value, tok.digits};
        }
    }

    SYSTEMTIME st{};
    st.wYear = 1899;
    st.wMonth = 12;
    st.wDay = 30;
    if (numCount > 0 || month) {
        int y, m, d;
        if (!ResolveDate(nums, numCount, month, &y, &m, &d)) return false;
        st.wYear = static_cast<uint16_t>(y);
        st.wMonth = static_cast<uint16_t>(m);
        st.wDay = static_cast<uint16_t>(d);
    } else if (timeStart < 0) {
        return false;
    }
    if (timeStart >= 0) {
        int hour = tokens[timeStart].value;
        int minute = timeLen > 1 ? tokens[timeStart + 1].value : 0;
        int second = timeLen > 2 ? tokens[timeStart + 2].value : 0;
        if (hour > 23 || minute > 59 || second > 59) return false;
        // Text such as "0.0" is the number zero, not a time; it is refused like "0".
        if (dotted && numCount == 0 && !month && hour == 0 && minute == 0 && second == 0)
            return false;
        if (meridiem >= 0 && hour <= 12) {  // AM/PM is ignored past 12
            if (meridiem == 0 && hour == 12) hour = 0;
            if (meridiem == 1 && hour < 12) hour += 12;
        }
        st.wHour = static_cast<uint16_t>(hour);
        st.wMinute = static_cast<uint16_t>(minute);
        st.wSecond = static_cast<uint16_t>(second);
    }
    return SystemTimeToVariantTime(st, oleDate);
}

std::string FormatDouble(double v) { return FormatReal(v, 15); }

std::string FormatDate(double oleDate) {
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(oleDate, &st)) Fail(E_INVALIDARG_);
    // Day 0 shows the time alone; midnight shows the date alone.
    bool showDate = !(st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30);
    bool showTime = !showDate || st.wHour || st.wMinute || st.wSecond;
    char buf[48];
    int n = 0;
    if (showDate) {
        n = std::snprintf(buf, sizeof buf, "%u/%u/%u", unsigned{st.wMonth}, unsigned{st.wDay},
                          unsigned{st.wYear});
    }
    if (showTime) {
        unsigned hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
        n += std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "%s%u:%02u:%02u %s",
                           showDate ? " " : "", hour12, unsigned{st.wMinute}, unsigned{st.wSecond},
                           st.wHour < 12 ? "AM" : "PM");
    }
    return std::string(buf, static_cast<size_t>(n));
}

int32_t RealToHundredths(double value) {
    double product = value * 100.0;
    if (product > 0) {
        product += 0.5;
    } else if (product < 0) {
        product -= 0.5;
    }
    double whole = std::trunc(product);
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) return INT32_MIN;
    return static_cast<int32_t>(whole);
}

int32_t MoneyToHundredths(int64_t cy) {
    // Whole hundredths (every amount the tills write) come out of the
    // floating rule as themselves: taken directly.
    if (cy % 100 == 0) {
        const int64_t hundredths = cy / 100;
        return hundredths >= INT32_MIN && hundredths <= INT32_MAX ? static_cast<int32_t>(hundredths)
                                                                  : INT32_MIN;
    }
    return RealToHundredths(static_cast<double>(cy) / 10000.0);
}

// The rule is hundredths / 100.0 taken to currency; for every 32-bit amount
// that lands exactly on hundredths * 100 (the platform tests sweep the whole
// range), so the integer product is the same value without the detour.
int64_t HundredthsToMoney(int32_t hundredths) { return static_cast<int64_t>(hundredths) * 100; }

}  // namespace xr
