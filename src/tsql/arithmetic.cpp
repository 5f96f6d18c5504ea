// Arithmetic with the server's result types, precision and scale.
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

using namespace detail;

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

}  // namespace xr::tsql
