// Conversions between T-SQL types with the server's rules (CAST, CONVERT,
// implicit conversions, writes into columns) and to and from variants.
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

// ---------------------------------------------------------------------------
// A source value, decoded by its type.

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
    return FitText(std::move(s), src, numeric, to, storing);
}

// The text a value gives, fitted to the length of `to`.
Value FitText(std::string s, const Source& src, bool numeric, const TypeSpec& to, bool storing) {
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

}  // namespace detail

using namespace detail;

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

namespace {

// Digits of a whole number with a comma between each group of three.
std::string GroupThousands(const std::string& text) {
    std::string s = text;
    size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
    size_t point = s.find('.');
    if (point == std::string::npos) point = s.size();
    for (size_t i = point; i > start + 3; i -= 3) s.insert(i - 3, 1, ',');
    return s;
}

// A float in scientific notation with `digits` after the point and the
// server's three exponent digits: "1.2345600e+004".
std::string FloatScientific(double d, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits, d);
    std::string s = buf;
    size_t e = s.find('e');
    if (e != std::string::npos && e + 2 < s.size()) {
        size_t n = s.size() - (e + 2);
        if (n < 3) s.insert(e + 2, 3 - n, '0');
    }
    return s;
}

// The day, month and year order a style reads dates in.
char DateOrder(int style) {
    switch (style) {
        case 3:
        case 4:
        case 5:
        case 103:
        case 104:
        case 105:
            return 'd';
        case 2:
        case 11:
            return 'y';
        case 1:
        case 10:
        case 101:
        case 110:
            return 'm';
        default:
            return 0;  // the session's DATEFORMAT
    }
}

}  // namespace

bool IsNumericText(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    if (s.empty()) return false;
    Exact e;
    if (ParseDecimalText(s, true, &e) != NumParse::Bad) return true;
    double d = 0;
    if (ParseFloatText(s, &d) == NumParse::Ok) return true;
    int signs = 0, dollars = 0, points = 0;
    for (char c : s) {
        if (c == '+' || c == '-')
            ++signs;
        else if (c == '$')
            ++dollars;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return signs <= 1 && dollars <= 1 && points <= 1;
}

bool IsDateText(std::string_view text) {
    DateParts p;
    return ParseDateTimeParts(text, &p) == DateParse::Ok &&
           DateInRange(RoundForType(p, TypeKind::DateTime), TypeKind::DateTime);
}

bool StyleApplies(const TypeSpec& from, const TypeSpec& to) {
    if (to.IsText())
        return from.IsDate() || from.kind == TypeKind::Money || from.kind == TypeKind::SmallMoney ||
               from.kind == TypeKind::Float || from.kind == TypeKind::Real;
    return to.IsDate() && from.IsText();
}

Value ConvertStyled(const Value& v, const TypeSpec& from, const TypeSpec& to, int style) {
    if (v.IsNull()) return Value::Null();
    if (!StyleApplies(from, to)) return Convert(v, from, to);
    CheckTarget(to);
    if (to.IsDate()) {
        if (v.kind != Value::Kind::Text) return Convert(v, from, to);
        DateParts p;
        DateParse r = ParseDateTimeParts(v.s, &p, DateOrder(style));
        if (r == DateParse::Bad)
            Fail("Conversion failed when converting date and/or time from character string.");
        if (r == DateParse::OutOfRange || !DateInRange(RoundForType(p, to.kind), to.kind))
            Fail("The conversion of a " +
                 std::string(from.kind == TypeKind::Char ? "char" : "varchar") +
                 " data type to a " + ServerName(to.kind) +
                 " data type resulted in an out-of-range value.");
        return Value::Real(PartsToOle(RoundForType(p, to.kind)));
    }
    Source src = Decode(v, from);
    std::string s;
    bool numeric = true;
    switch (src.cls) {
        case SrcClass::Date:
            if (!FormatDateTimeStyle(PartsToOle(OleToParts(src.d)), style, &s))
                Fail(std::to_string(style) +
                     " is not a valid style number when converting from datetime to a character "
                     "string.");
            numeric = false;
            break;
        case SrcClass::Exact:  // MONEY, SMALLMONEY
            if (style == 2 || style == 126) {
                s = ExactToText(src.ex.m, src.ex.scale);
            } else {
                s = ExactToText(DivRound(src.ex.m, src.ex.scale - 2), 2);
                if (style == 1) s = GroupThousands(s);
            }
            break;
        case SrcClass::Approx:
            if (src.d == 0 || !std::isfinite(src.d)) {
                s = FloatToText(src.d);
            } else if (style == 1 || (style == 126 && src.type.kind == TypeKind::Real)) {
                s = FloatScientific(src.d, 7);
            } else if (style == 2 || style == 126) {
                s = FloatScientific(src.d, 15);
            } else if (style == 3) {
                s = FloatScientific(src.d, 16);
            } else {
                s = FloatToText(src.d);
            }
            break;
        default:
            return Convert(v, from, to);
    }
    return FitText(std::move(s), src, numeric, to, false);
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
            // A result SQLite worked out in 64 bits beyond the type is the server's overflow.
            if (type.kind != TypeKind::Bit && !IntegerInRange(type.kind, i))
                Fail(std::string("Arithmetic overflow error converting expression to data type ") +
                     ServerName(type.kind) + ".");
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

}  // namespace xr::tsql
