// Exact numbers of up to 38 digits and numbers read from text, as the
// server reads them.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tsql/types.h"
#include "tsql/types_detail.h"

namespace xr::tsql {
namespace detail {

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
// Text to numbers, as the server reads them.

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

}  // namespace detail

using namespace detail;

}  // namespace xr::tsql
