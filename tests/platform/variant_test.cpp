// Variant conversions as the record classes and the T-SQL layer rely on them
// (each table row is one input and the result OLE Automation gives for it),
// date numbers, the calendar structure and date text in the fixed en-US form,
// error texts and the shared text helpers.
#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <span>
#include <string>

#include "platform/error.h"
#include "platform/systemtime.h"
#include "platform/text.h"

using namespace xr;

namespace {

using V = Variant;

// The HRESULT a call throws as ComError, or S_OK_ when it returns.
HRESULT ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ComError& e) {
        return e.Error();
    }
    return S_OK_;
}

constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH_;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW_;

constexpr VARTYPE kAllScalars[] = {VT_I1,  VT_I2,   VT_I4,   VT_I8,   VT_UI1,
                                   VT_UI2, VT_UI4,  VT_UI8,  VT_R4,   VT_R8,
                                   VT_CY,  VT_DATE, VT_BOOL, VT_BSTR, VT_DECIMAL};

Decimal Dec(uint64_t mantissa, uint8_t scale, bool negative = false) {
    Decimal d;
    d.mantissa = mantissa;
    d.scale = scale;
    d.negative = negative;
    return d;
}

Decimal DecOf(const char* text) {
    Decimal d;
    EXPECT_TRUE(Decimal::Parse(text, &d)) << text;
    return d;
}

void ExpectDecimal(const Decimal& d, uint64_t mantissa, int scale, bool negative) {
    EXPECT_TRUE(d.mantissa == mantissa) << d.ToString();
    EXPECT_EQ(d.scale, scale) << d.ToString();
    EXPECT_EQ(d.negative, negative) << d.ToString();
}

// A value as a failure message shows it: its type and, where it has one, its text.
std::string Show(const Variant& v) {
    std::string text = "vt " + std::to_string(v.Type());
    try {
        return text + " \"" + v.ToText() + "\"";
    } catch (const ComError&) {
        return text;
    }
}

// One conversion: the value, the type asked for, and what ChangeType gives
// (the same type and the same value) or the error it fails with.
struct Conversion {
    Variant input;
    VARTYPE target;
    Variant expected;
    HRESULT error = 0;
};

void ExpectConversions(std::span<const Conversion> rows) {
    for (const Conversion& row : rows) {
        SCOPED_TRACE(Show(row.input) + " -> vt " + std::to_string(row.target));
        if (row.error) {
            EXPECT_EQ(ErrorOf([&] { row.input.ChangeType(row.target); }), row.error);
        } else {
            Variant v = row.input.ChangeType(row.target);
            EXPECT_TRUE(v == row.expected) << Show(v) << ", not " << Show(row.expected);
        }
    }
}

}  // namespace

TEST(VariantGeneral, NullConvertsOnlyToNull) {
    for (VARTYPE vt : kAllScalars) {
        SCOPED_TRACE(vt);
        EXPECT_EQ(ErrorOf([&] { Variant::Null().ChangeType(vt); }), DISP_E_TYPEMISMATCH_);
    }
    EXPECT_EQ(ErrorOf([] { Variant::Null().ChangeType(VT_EMPTY); }), DISP_E_TYPEMISMATCH_);
    EXPECT_TRUE(Variant::Null().ChangeType(VT_NULL).IsNull());
    EXPECT_EQ(ErrorOf([] { Variant::Null().ToCY(); }), DISP_E_TYPEMISMATCH_);
    EXPECT_EQ(ErrorOf([] { Variant::Null().ToR8(); }), DISP_E_TYPEMISMATCH_);
}

TEST(VariantGeneral, InvalidDecimalIsInvalidArgument) {
    Decimal badScale = Dec(1, 29);
    Decimal tooWide;
    tooWide.mantissa = static_cast<unsigned __int128>(1) << 96;
    for (const Decimal& d : {badScale, tooWide}) {
        EXPECT_EQ(ErrorOf([&] { Variant::Dec(d).ToI4(); }), E_INVALIDARG_);
        EXPECT_EQ(ErrorOf([&] { Variant::Dec(d).ToText(); }), E_INVALIDARG_);
        EXPECT_EQ(ErrorOf([&] { Variant::Dec(d).ToR8(); }), E_INVALIDARG_);
    }
}

TEST(VariantGeneral, BytesAndTextAreRawBytes) {
    const char raw[] = {'a', '\0', '\xff', 'z'};
    Variant bytes = Variant::Bytes(raw, sizeof raw);
    EXPECT_EQ(bytes.Type(), VT_BYTES);
    std::string text = bytes.ToText();
    EXPECT_EQ(text, std::string(raw, sizeof raw));
    Variant back = Variant::Text(text).ChangeType(VT_BYTES);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(ErrorOf([&] { bytes.ToI4(); }), DISP_E_TYPEMISMATCH_);
    EXPECT_EQ(ErrorOf([] { Variant::I4(1).ChangeType(VT_BYTES); }), DISP_E_TYPEMISMATCH_);
    EXPECT_EQ(ErrorOf([] { Variant::I4(1).ChangeType(VT_ARRAY | VT_I4); }), DISP_E_TYPEMISMATCH_);
    EXPECT_EQ(ErrorOf([] { Variant::I4(1).ChangeType(9); }), DISP_E_BADVARTYPE_);
}

TEST(VariantGeneral, SameTypeAndEquality) {
    EXPECT_EQ(Variant::I4(7).ChangeType(VT_I4), Variant::I4(7));
    EXPECT_NE(Variant::I4(7), Variant::I2(7));
    EXPECT_EQ(Variant::Dec(Dec(150, 2)), Variant::Dec(Dec(15, 1)));
    EXPECT_EQ(Variant::Text("abc"), Variant::Text("abc"));
    EXPECT_TRUE(Variant().ChangeType(VT_NULL).IsNull());
}

// ---------------------------------------------------------------------------
// Conversions between the scalar types: integers are rounded half to even
// and range tested on the rounded value.

TEST(VariantConvert, EmptyReadsAsZeroAndTrueAsMinusOne) {
    for (VARTYPE vt : kAllScalars) {
        SCOPED_TRACE(vt);
        EXPECT_EQ(V().ChangeType(vt), vt == VT_BSTR ? V::Text("") : V::I4(0).ChangeType(vt));
    }
    // True converts as -1, except to decimal.
    const Conversion rows[] = {
        {V::Bool(true), VT_I2, V::I2(-1)},        {V::Bool(true), VT_I4, V::I4(-1)},
        {V::Bool(true), VT_R8, V::R8(-1)},        {V::Bool(true), VT_CY, V::Currency(-10000)},
        {V::Bool(false), VT_I4, V::I4(0)},        {V::Bool(true), VT_DECIMAL, V::Dec(Dec(1, 0))},
        {V::Bool(true), VT_BSTR, V::Text("-1")},  {V::Bool(false), VT_BSTR, V::Text("0")},
        {V::I4(5), VT_BOOL, V::Bool(true)},       {V::R8(0.1), VT_BOOL, V::Bool(true)},
        {V::Currency(1), VT_BOOL, V::Bool(true)}, {V::R8(0), VT_BOOL, V::Bool(false)},
    };
    ExpectConversions(rows);
    EXPECT_EQ(Variant::Bool(true).IntValue(), -1);
}

TEST(VariantConvert, RealAndDateToInteger) {
    const std::tuple<double, VARTYPE, int64_t, HRESULT> rows[] = {
        {0.5, VT_I4, 0, 0},
        {-0.5, VT_I4, 0, 0},
        {0.6, VT_I4, 1, 0},
        {1.5, VT_I4, 2, 0},
        {-1.5, VT_I4, -2, 0},
        {2.5, VT_I2, 2, 0},
        {3.5, VT_I2, 4, 0},
        {2147483647.49, VT_I4, 2147483647, 0},
        {2147483647.5, VT_I4, 0, kOverflow},
        {2147483648.0, VT_I4, 0, kOverflow},
        {32767.49, VT_I2, 32767, 0},
        {32767.5, VT_I2, 0, kOverflow},
        {-32768.5, VT_I2, -32768, 0},
        {-32768.51, VT_I2, 0, kOverflow},
        {-0.5, VT_UI1, 0, 0},
        {-0.5, VT_UI8, 0, 0},
        {-0.51, VT_UI1, 0, kOverflow},
        {-0.6, VT_UI8, 0, kOverflow},
        {255.5, VT_UI1, 0, kOverflow},
        {9.3e18, VT_I8, 0, kOverflow},
        {NAN, VT_I4, 0, kOverflow},
    };
    for (const auto& [input, target, expected, error] : rows) {
        SCOPED_TRACE(testing::Message() << input << " -> vt " << target);
        for (Variant source : {Variant::R8(input), Variant::Date(input)}) {
            if (error) {
                EXPECT_EQ(ErrorOf([&] { source.ChangeType(target); }), error);
            } else {
                Variant v = source.ChangeType(target);
                EXPECT_EQ(v.Type(), target);
                EXPECT_EQ(v.IntValue(), expected);
            }
        }
    }
}

TEST(VariantConvert, CurrencyAndDecimalToInteger) {
    const Conversion rows[] = {
        {V::Currency(15000), VT_I4, V::I4(2)},
        {V::Currency(5000), VT_I4, V::I4(0)},
        {V::Currency(-15000), VT_I4, V::I4(-2)},
        {V::Currency(-25000), VT_I4, V::I4(-2)},
        {V::Currency(-5001), VT_I4, V::I4(-1)},
        {V::Currency(21474836480000LL), VT_I4, {}, kOverflow},
        {V::Currency(-10000), VT_I8, V::I8(-1)},
        {V::Currency(-5000), VT_I8, V::I8(0)},
        {V::Dec(Dec(1, 0)), VT_I4, V::I4(1)},
        {V::Dec(Dec(1, 0, true)), VT_I4, V::I4(-1)},
        {V::Dec(Dec(2147483647, 0)), VT_I4, V::I4(2147483647)},
        {V::Dec(Dec(2147483648, 0)), VT_I4, {}, kOverflow},
        {V::Dec(Dec(2147483648, 0, true)), VT_I4, V::I4(INT32_MIN)},
        {V::Dec(Dec(2147483649, 0, true)), VT_I4, {}, kOverflow},
        {V::Dec(Dec(214748364700, 2)), VT_I4, V::I4(2147483647)},
        {V::Dec(Dec(214748364800, 2)), VT_I4, {}, kOverflow},
        {V::Dec(Dec(214748364800, 2, true)), VT_I4, V::I4(INT32_MIN)},
        {V::Dec(Dec(25, 1)), VT_I4, V::I4(2)},
        {V::Dec(Dec(35, 1)), VT_I4, V::I4(4)},
        {V::Dec(Dec(2501, 3)), VT_I4, V::I4(3)},
    };
    ExpectConversions(rows);
}

TEST(VariantConvert, TextToNumberAndBool) {
    const auto T = [](const char* text) { return Variant::Text(text); };
    const Conversion rows[] = {
        {T(" 42 "), VT_I4, V::I4(42)},
        {T("\t42\r\n"), VT_I4, V::I4(42)},
        {T("42-"), VT_I4, V::I4(-42)},
        {T("(42)"), VT_I4, V::I4(-42)},
        {T("1,000"), VT_I4, V::I4(1000)},
        {T("1,0,0"), VT_I4, V::I4(100)},
        {T("1.5"), VT_R8, V::R8(1.5)},
        {T(".25"), VT_R8, V::R8(0.25)},
        {T("1e3"), VT_I4, V::I4(1000)},
        {T("1e-1"), VT_R8, V::R8(0.1)},
        {T("$11"), VT_I4, V::I4(11)},
        {T("$1,234"), VT_I4, V::I4(1234)},
        {T("-$5"), VT_I4, V::I4(-5)},
        {T("&HF800"), VT_I4, V::I4(0xF800)},
        {T("&h0abcdef"), VT_I4, V::I4(0xabcdef)},
        {T("&HFFFF"), VT_I2, V::I2(-1)},
        {T("&HFFFFFFFF"), VT_I4, V::I4(-1)},
        {T("&H10000"), VT_I2, {}, kOverflow},
        {T("2147483648"), VT_I4, {}, kOverflow},
        {T("32768"), VT_I2, {}, kOverflow},
        {T("-1"), VT_UI4, {}, kOverflow},
        {T("1e400"), VT_R8, {}, kOverflow},
        {T("1.5"), VT_I4, V::I4(2)},
        {T("0.5"), VT_I4, V::I4(0)},
        {T("-1.5"), VT_I4, V::I4(-2)},
        {T("2.5000000000000000000000000000000000000000000000001"), VT_I4, V::I4(3)},
        {T("9223372036854775807"), VT_I8, V::I8(INT64_MAX)},
        {T("18446744073709551615"), VT_UI8, V::UI8(UINT64_MAX)},
        {T("18446744073709551616"), VT_DECIMAL, V::Dec(DecOf("18446744073709551616"))},
        {T("79228162514264337593543950335"), VT_DECIMAL,
         V::Dec(DecOf("79228162514264337593543950335"))},
        {T("79228162514264337593543950336"), VT_DECIMAL, {}, kOverflow},
        // More places than 28 are rounded off, half to even.
        {T("0.12345678901234567890123456785"), VT_DECIMAL,
         V::Dec(DecOf("0.1234567890123456789012345678"))},
        // Text to currency keeps every digit; a fifth place rounds half to even.
        {T("19.99"), VT_CY, V::Currency(199900)},
        {T("22337203685477.5807"), VT_CY, V::Currency(223372036854775807LL)},
        {T("922337203685477.5807"), VT_CY, V::Currency(INT64_MAX)},
        {T("-922337203685477.5808"), VT_CY, V::Currency(INT64_MIN)},
        {T("1.5e3"), VT_CY, V::Currency(15000000)},
        {T("0.00025"), VT_CY, V::Currency(2)},
        {T("0.000251"), VT_CY, V::Currency(3)},
        {T("-0.00005"), VT_CY, V::Currency(0)},
        {T("1e-30"), VT_CY, V::Currency(0)},
        {T("922337203685477.5808"), VT_CY, {}, kOverflow},
        {T("1e30"), VT_CY, {}, kOverflow},
        {T("#TRUE#"), VT_BOOL, V::Bool(true)},
        {T("#FALSE#"), VT_BOOL, V::Bool(false)},
        {T("true"), VT_BOOL, V::Bool(true)},
        {T("-1"), VT_BOOL, V::Bool(true)},
        {T("0.1"), VT_BOOL, V::Bool(true)},
        {T("0"), VT_BOOL, V::Bool(false)},
        {T("Yes"), VT_BOOL, {}, kMismatch},
        {T("#False#"), VT_BOOL, {}, kMismatch},
    };
    ExpectConversions(rows);
    // Text that is no number, whatever number is asked for.
    for (const char* text :
         {"(42", "42)", "--42", "1.1.", "1e", "&H", "0x1F", "", "abc", "12abc"}) {
        for (VARTYPE vt : {VT_I4, VT_R8, VT_DECIMAL}) {
            EXPECT_EQ(ErrorOf([&] { Variant::Text(text).ChangeType(vt); }), kMismatch) << text;
        }
    }
}

TEST(VariantConvert, NumbersToText) {
    Decimal max;
    max.mantissa = (static_cast<unsigned __int128>(1) << 96) - 1;
    const auto T = [](const char* text) { return Variant::Text(text); };
    const Conversion rows[] = {
        {V::I4(20), VT_BSTR, T("20")},
        {V::I8(INT64_MIN), VT_BSTR, T("-9223372036854775808")},
        {V::UI8(UINT64_MAX), VT_BSTR, T("18446744073709551615")},
        {V::R8(2.5), VT_BSTR, T("2.5")},
        {V::R8(20.0), VT_BSTR, T("20")},
        {V::R8(0.1 + 0.2), VT_BSTR, T("0.3")},
        {V::R8(1.0 / 3), VT_BSTR, T("0.333333333333333")},
        {V::R8(123456789012345678.0), VT_BSTR, T("1.23456789012346E+17")},
        {V::R8(-0.0), VT_BSTR, T("0")},
        {V::R4(0.1f), VT_BSTR, T("0.1")},
        {V::Currency(0), VT_BSTR, T("0")},
        {V::Currency(15000), VT_BSTR, T("1.5")},
        {V::Currency(199900), VT_BSTR, T("19.99")},
        {V::Currency(9), VT_BSTR, T("0.0009")},
        {V::Currency(4294967295LL), VT_BSTR, T("429496.7295")},
        {V::Currency(INT64_MIN), VT_BSTR, T("-922337203685477.5808")},
        {V::Dec(Dec(100, 2)), VT_BSTR, T("1")},
        {V::Dec(Dec(15, 1, true)), VT_BSTR, T("-1.5")},
        {V::Dec(Dec(9, 4)), VT_BSTR, T("0.0009")},
        {V::Dec(Dec(9000, 7)), VT_BSTR, T("0.0009")},
        {V::Dec(Dec(0, 3, true)), VT_BSTR, T("0")},
        {V::Dec(max), VT_BSTR, T("79228162514264337593543950335")},
    };
    ExpectConversions(rows);
}

TEST(VariantConvert, BetweenRealCurrencyDecimalAndDate) {
    const Conversion rows[] = {
        {V::Currency(15000), VT_R8, V::R8(1.5)},
        {V::Currency(-6000), VT_R8, V::R8(-0.6)},
        {V::R4(1.00009f), VT_CY, V::Currency(10001)},
        {V::R4(0.00005f), VT_CY, V::Currency(0)},
        {V::R4(0.00009f), VT_CY, V::Currency(1)},
        {V::R8(0.03125), VT_CY, V::Currency(312)},
        {V::R8(19.99), VT_CY, V::Currency(199900)},
        {V::Date(1.5), VT_CY, V::Currency(15000)},
        {V::I4(-3), VT_CY, V::Currency(-30000)},
        {V::Dec(Dec(999, 2)), VT_CY, V::Currency(99900)},
        {V::Dec(Dec(1, 2, true)), VT_CY, V::Currency(-100)},
        {V::Dec(Dec(123455, 5)), VT_CY, V::Currency(12346)},  // four places, half to even
        {V::R8(4611686018427387648.0), VT_CY, {}, kOverflow},
        {V::I8(INT64_MAX), VT_CY, {}, kOverflow},
        {V::R8(1e30), VT_DECIMAL, {}, kOverflow},
        {V::Dec(Dec(3276700, 2)), VT_R8, V::R8(32767)},
        {V::Dec(DecOf("18446744073709551616")), VT_R8, V::R8(18446744073709551616.0)},
        {V::Dec(Dec(1999, 2)), VT_R8, V::R8(19.99)},
        {V::R8(25570.5), VT_DATE, V::Date(25570.5)},
        {V::I4(25570), VT_DATE, V::Date(25570)},
        {V::Currency(15000), VT_DATE, V::Date(1.5)},
        {V::R8(2958466.0), VT_DATE, {}, kOverflow},
        {V::I4(-657435), VT_DATE, {}, kOverflow},
        {V::Date(2.5), VT_I4, V::I4(2)},
        {V::Date(3.5), VT_R8, V::R8(3.5)},
    };
    ExpectConversions(rows);
}

// The mantissa and scale a decimal gets, which the text of the value hides.
TEST(VariantConvert, DecimalsKeepTheirScale) {
    const std::pair<Variant, Decimal> rows[] = {
        {V::Text("-1"), Dec(1, 0, true)},
        {V::Text("0.5"), Dec(5, 1)},
        {V::Text("4294967296"), Dec(4294967296ULL, 0)},
        {V::Text("1.5e-3"), Dec(15, 4)},
        {V::Currency(10000), Dec(10000, 4)},
        {V::Currency(5000), Dec(5000, 4)},
        {V::R8(0.6), Dec(6, 1)},
        {V::R8(0.4), Dec(4, 1)},
        {V::R8(-0.5), Dec(5, 1, true)},
        {V::R8(19.99), Dec(1999, 2)},
        {V::R8(1e18), Dec(1000000000000000000ULL, 0)},
        {V::Bool(true), Dec(1, 0)},
        {V(), Dec(0, 0)},
    };
    for (const auto& [input, expected] : rows) {
        SCOPED_TRACE(Show(input));
        ExpectDecimal(input.ToDecimal(), static_cast<uint64_t>(expected.mantissa), expected.scale,
                      expected.negative);
    }
}

// Money columns as the record classes use them: hundredths in, currency
// stored, hundredths out.
TEST(VariantMoney, Hundredths) {
    for (int64_t h = INT32_MIN; h <= INT32_MAX; h += 9973) {
        int32_t v = static_cast<int32_t>(h);
        ASSERT_EQ(HundredthsToMoney(v), h * 100) << h;
        // The written rule (hundredths / 100.0 taken to currency) gives the same.
        ASSERT_EQ(Variant::R8(static_cast<double>(v) / 100.0).ToCY(), h * 100) << h;
        ASSERT_EQ(MoneyToHundredths(h * 100), v) << h;
        // ... and so does the floating rule for currency to hundredths.
        ASSERT_EQ(RealToHundredths(static_cast<double>(h * 100) / 10000.0), v) << h;
    }
    EXPECT_EQ(HundredthsToMoney(INT32_MAX), int64_t{INT32_MAX} * 100);

    const std::pair<int64_t, int32_t> rows[] = {
        {25000, 250},
        {40, 0},
        {50, 1},
        {10050, 100},
        {26750, 268},
        {199900, 1999},
        {int64_t{1} << 50, INT32_MIN},  // beyond 32 bits
        {(int64_t{INT32_MAX} + 1) * 100, INT32_MIN},
        {int64_t{INT32_MIN} * 100, INT32_MIN},
    };
    for (const auto& [cy, expected] : rows) {
        EXPECT_EQ(MoneyToHundredths(cy), expected) << cy;
    }
}

TEST(DecimalValue, ParsePrintAndCompare) {
    Decimal d;
    ASSERT_TRUE(Decimal::Parse("-12.500", &d));
    ExpectDecimal(d, 12500, 3, true);
    EXPECT_EQ(d.ToString(), "-12.5");
    ASSERT_TRUE(Decimal::Parse("79228162514264337593543950335", &d));
    EXPECT_FALSE(Decimal::Parse("79228162514264337593543950336", &d));
    EXPECT_FALSE(Decimal::Parse("0.00000000000000000000000000001", &d));  // 29 places
    for (const char* bad : {"", "-", ".", "1e3", " 1", "1,0", "1.2.3", "abc"}) {
        EXPECT_FALSE(Decimal::Parse(bad, &d)) << bad;
    }
    EXPECT_EQ(Decimal::FromInt(INT64_MIN).ToString(), "-9223372036854775808");
    ASSERT_TRUE(Decimal::Parse("0.0000000000000000000000000001", &d));
    EXPECT_EQ(d.ToDouble(), 1e-28);
    ASSERT_TRUE(ParseNumberText(" (1,234.50) ", &d));
    EXPECT_EQ(d.ToString(), "-1234.5");
    EXPECT_FALSE(ParseNumberText("12abc", &d));
    EXPECT_FALSE(ParseNumberText("1e40", &d));

    EXPECT_EQ(DecOf("1.50").Compare(DecOf("1.5")), 0);
    EXPECT_EQ(DecOf("-0").Compare(DecOf("0.000")), 0);
    EXPECT_LT(DecOf("-1").Compare(DecOf("0")), 0);
    EXPECT_LT(DecOf("-2").Compare(DecOf("-1.99")), 0);
    EXPECT_GT(
        DecOf("79228162514264337593543950335").Compare(DecOf("0.0000000000000000000000000001")), 0);
    EXPECT_LT(
        DecOf("0.0000000000000000000000000001").Compare(DecOf("7922816251426433759354395033")), 0);
}

TEST(DecimalValue, RescaleRoundsHalfAwayFromZero) {
    // A null result: the value does not fit the scale.
    const std::tuple<const char*, uint8_t, const char*> rows[] = {
        {"2.345", 2, "2.35"}, {"-2.345", 2, "-2.35"},
        {"2.344", 2, "2.34"}, {"2.5", 0, "3"},
        {"-2.5", 0, "-3"},    {"1.5", 4, "1.5"},
        {"-0.001", 2, "0"},   {"79228162514264337593543950335", 1, nullptr},
        {"1", 29, nullptr},
    };
    for (const auto& [input, scale, expected] : rows) {
        SCOPED_TRACE(input);
        Decimal in, out;
        ASSERT_TRUE(Decimal::Parse(input, &in));
        bool ok = in.Rescale(scale, &out);
        ASSERT_EQ(ok, expected != nullptr);
        if (!ok) continue;
        EXPECT_EQ(out.scale, scale);
        EXPECT_EQ(out.ToString(), expected);
        EXPECT_FALSE(out.negative && out.mantissa == 0);
    }
}

namespace {

using U = uint16_t;
SYSTEMTIME Make(U y, U mo, U d, U h = 0, U mi = 0, U s = 0, U ms = 0) {
    return {y, mo, 0, d, h, mi, s, ms};
}

double DateOf(const SYSTEMTIME& st) {
    double d = -1;
    EXPECT_TRUE(SystemTimeToVariantTime(st, &d));
    return d;
}

int ThisYear() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

}  // namespace

TEST(SystemTime, FromDateNumber) {
    const std::tuple<double, int, int, int, int, int, int> rows[] = {
        {0.0, 1899, 12, 30, 0, 0, 0},
        {2.5, 1900, 1, 1, 12, 0, 0},
        {3.25, 1900, 1, 2, 6, 0, 0},
        {25569, 1970, 1, 1, 0, 0, 0},
        {29221, 1980, 1, 1, 0, 0, 0},
        {-1.25, 1899, 12, 29, 6, 0, 0},
        {-49192.24, 1765, 4, 24, 5, 45, 36},
        {-657434, 100, 1, 1, 0, 0, 0},
        {2958465, 9999, 12, 31, 0, 0, 0},
        {29221.25, 1980, 1, 1, 6, 0, 0},
        {29221.33333333, 1980, 1, 1, 8, 0, 0},
        {29221.9888884444, 1980, 1, 1, 23, 44, 0},
        {29221.7508765432, 1980, 1, 1, 18, 1, 16},
        {29221.99999999, 1980, 1, 2, 0, 0, 0},  // carries into the next day
        {-1.99999999, 1899, 12, 30, 0, 0, 0},
        {61.0, 1900, 3, 1, 0, 0, 0},  // 1900 is no leap year
    };
    for (const auto& [date, y, mo, d, h, mi, s] : rows) {
        SCOPED_TRACE(date);
        SYSTEMTIME st;
        ASSERT_TRUE(VariantTimeToSystemTime(date, &st));
        EXPECT_EQ(Format("%d-%d-%d %d:%d:%d.%d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                         st.wSecond, st.wMilliseconds),
                  Format("%d-%d-%d %d:%d:%d.0", y, mo, d, h, mi, s));
    }
    SYSTEMTIME st;
    ASSERT_TRUE(VariantTimeToSystemTime(29221, &st));
    EXPECT_EQ(st.wDayOfWeek, 2);  // Tuesday
    ASSERT_TRUE(VariantTimeToSystemTime(0, &st));
    EXPECT_EQ(st.wDayOfWeek, 6);  // Saturday
    for (double bad : {-657435.0, 2958466.0, 2958465.99999999, double(NAN), double(INFINITY)}) {
        EXPECT_FALSE(VariantTimeToSystemTime(bad, &st)) << bad;
    }
}

TEST(SystemTime, ToDateNumber) {
    EXPECT_EQ(DateOf(Make(1980, 1, 1)), 29221.0);
    EXPECT_EQ(DateOf(Make(1980, 1, 0)), 29220.0);
    EXPECT_EQ(DateOf(Make(90, 12, 31)), 33238.0);
    EXPECT_EQ(DateOf(Make(5, 1, 1)), DateOf(Make(2005, 1, 1)));
    EXPECT_EQ(DateOf(Make(2001, 2, 29)), DateOf(Make(2001, 3, 1)));
    EXPECT_DOUBLE_EQ(DateOf(Make(1980, 1, 1, 18, 1, 16)), 29221.75087962963);
    EXPECT_EQ(DateOf(Make(1980, 1, 1, 18, 1, 16, 999)), DateOf(Make(1980, 1, 1, 18, 1, 16)));
    EXPECT_EQ(DateOf(Make(1899, 12, 29, 6)), -1.25);
    double d;
    EXPECT_FALSE(SystemTimeToVariantTime(Make(1980, 13, 1), &d));
    EXPECT_FALSE(SystemTimeToVariantTime(Make(1980, 0, 1), &d));
    EXPECT_FALSE(SystemTimeToVariantTime(Make(10000, 1, 1), &d));
}

TEST(SystemTime, RoundTripToTheSecond) {
    // Whole seconds spread over the whole range, both signs of date number.
    for (int64_t step = 0; step < 4000; ++step) {
        double seconds = static_cast<double>((step * 7919 * 86400 + step * 4099) % 86400);
        double day = -657434 + static_cast<double>(step) * 903.7;
        SYSTEMTIME st;
        ASSERT_TRUE(
            VariantTimeToSystemTime(std::trunc(day) + (day < 0 ? -1 : 1) * seconds / 86400.0, &st));
        double back;
        ASSERT_TRUE(SystemTimeToVariantTime(st, &back));
        SYSTEMTIME again;
        ASSERT_TRUE(VariantTimeToSystemTime(back, &again));
        ASSERT_EQ(0, std::memcmp(&st, &again, sizeof st)) << day;
    }
}

TEST(DateText, FormatEnUs) {
    const std::pair<double, const char*> rows[] = {
        {0.0, "12:00:00 AM"},
        {3.34, "1/2/1900 8:09:36 AM"},
        {365.0, "12/30/1900"},
        {365.25, "12/30/1900 6:00:00 AM"},
        {1461.5, "12/31/1903 12:00:00 PM"},
        {25570, "1/2/1970"},
        {-657434, "1/1/100"},
        {2958465, "12/31/9999"},
        {0.75, "6:00:00 PM"},
        {-49192.5, "4/24/1765 12:00:00 PM"},
    };
    for (const auto& [date, text] : rows) {
        SCOPED_TRACE(date);
        EXPECT_EQ(FormatDate(date), text);
        EXPECT_EQ(Variant::Date(date).ToText(), text);
        // The text reads back as the same date.
        double back;
        ASSERT_TRUE(ParseDateText(text, &back));
        EXPECT_NEAR(back, date, 1e-9);
    }
    EXPECT_EQ(ErrorOf([] { Variant::Date(2958466).ToText(); }), E_INVALIDARG_);
}

TEST(DateText, ParseEnUs) {
    // Each text with the date it reads as.
    const std::pair<const char*, double> rows[] = {
        {"1/2/1970", 25570},
        {"1-2-1970", 25570},
        {"1 2 1970", 25570},
        {"2 January 1970", 25570},
        {"2 Jan 1970", 25570},
        {"2-Jan-1970", 25570},
        {"2/Jan/1970", 25570},
        {"January 2, 1970", 25570},
        {"13-1-1970", 25581},
        {"1970-1-13", 25581},
        {"1 am", 1.0 / 24},
        {"12:59 PM", (12 * 60 + 59) / 1440.0},
        {"13:00 AM", 13 / 24.0},
        {"12:00 AM", 0},
        {"0.1", 1 / 1440.0},
        {"2.5", (2 * 60 + 5) / 1440.0},
        {"12/31/1999 6:00:00 AM", 36525.25},
        {"1999-12-31 18:30:15", 36525 + (18 * 3600 + 30 * 60 + 15) / 86400.0},
        {"30 2", 10990},    // cannot be month and day: February 1930
        {"Jan 35", 12785},  // cannot be a day: 1 January 1935
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        double d = -99;
        ASSERT_TRUE(ParseDateText(text, &d));
        EXPECT_NEAR(d, expected, 1e-9);
        Variant v = Variant::Text(text).ChangeType(VT_DATE);
        EXPECT_EQ(v.Type(), VT_DATE);
        EXPECT_EQ(v.RealValue(), d);
    }
    // Texts that are no date: a type mismatch.
    for (const char* text : {"0", "1", "0.0", "True", "1.1.1.1", "02.01.1970", "", "1/2/1970 25:00",
                             "2/30/1970", "1/2/3/4", "1//2", "32 49"}) {
        double d;
        EXPECT_FALSE(ParseDateText(text, &d)) << text;
        EXPECT_EQ(ErrorOf([&] { Variant::Text(text).ToDate(); }), DISP_E_TYPEMISMATCH_) << text;
    }
    // Two numbers alone are a month and a day of the current year.
    double d;
    ASSERT_TRUE(ParseDateText("1 2", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 2)));
    ASSERT_TRUE(ParseDateText("14 1", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 14)));
}

TEST(ErrorText, MessageText) {
    const std::tuple<uint32_t, const char*> rows[] = {
        {0x80004005, "Unspecified error"},
        {0x80004001, "Not implemented"},
        {0x80004002, "No such interface supported"},
        {0x8000FFFF, "Catastrophic failure"},
        {0x80070057, "The parameter is incorrect."},
        {0x80070005, "Access is denied."},
        {0x80020005, "Type mismatch."},
        {0x80020008, "Bad variable type."},
        {0x80020009, "Exception occurred."},
        {0x8002000A, "Out of present range."},
        {0x80040154, "Class not registered"},
        {0x800401F0, "CoInitialize has not been called."},
        {0x80040E14, "IDispatch error #3092"},
        {0x80040E2F, "IDispatch error #3119"},
        {0x80040E21, "IDispatch error #3105"},
        {0x80040E37, "IDispatch error #3127"},
        {0x80040E4D, "IDispatch error #3149"},
        {0x80040201, "IDispatch error #1"},
        {0x8004FFFF, "IDispatch error #65023"},
        {0x80040200, "Unknown error 0x80040200"},
        {0x800A0CC1, "Unknown error 0x800A0CC1"},
        {0x800A0BCD, "Unknown error 0x800A0BCD"},
        {0x800A0E78, "Unknown error 0x800A0E78"},
        {0x00000001, "Unknown error 0x1"},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(ComError::MessageText(Hr(code)), text) << std::hex << code;
    }
}

TEST(ErrorText, StandardDescription) {
    const std::pair<HRESULT, const char*> rows[] = {
        {adErrNoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested "
         "operation requires a current record."},
        {adErrItemNotFound,
         "Item cannot be found in the collection corresponding to the requested name or "
         "ordinal."},
        {adErrObjectClosed, "Operation is not allowed when the object is closed."},
        {adErrObjectOpen, "Operation is not allowed when the object is open."},
        {adErrIllegalOperation, "Operation is not allowed in this context."},
        {adErrInvalidArgument,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
         "with one another."},
        {adErrFeatureNotAvailable,
         "Object or provider is not able to perform requested operation."},
        {adErrDataConversion,
         "Application uses a value of the wrong type for the current operation."},
        {adErrInvalidConnection,
         "The connection cannot be used to perform this operation. It is either closed or "
         "invalid in this context."},
        {E_FAIL_, "Unspecified error"},
        {DISP_E_TYPEMISMATCH_, "Type mismatch."},
        {DB_E_ERRORSINCOMMAND, ""},
        {Hr(0x800A1234), ""},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(StandardDescription(code), text) << std::hex << code;
        ComError e(code);
        EXPECT_EQ(e.Error(), code);
        EXPECT_EQ(e.Description(), text);
        EXPECT_STREQ(e.what(), text);
    }
    ComError withText(DB_E_ERRORSINCOMMAND, "Incorrect syntax near 'x'.");
    EXPECT_EQ(withText.Description(), "Incorrect syntax near 'x'.");
    EXPECT_EQ(withText.ErrorMessage(), "IDispatch error #3092");
}

TEST(TextHelpers, FoldTrimFormatAndQuote) {
    EXPECT_TRUE(IEquals("ProductID", "productid"));
    EXPECT_FALSE(IEquals("ProductID", "productid "));
    EXPECT_FALSE(IEquals("\xe9", "\xc9"));  // only ASCII letters fold
    EXPECT_EQ(ICompare("abc", "ABC"), 0);
    EXPECT_LT(ICompare("abc", "ABD"), 0);
    EXPECT_GT(ICompare("b", "A"), 0);
    EXPECT_LT(ICompare("ab", "ABC"), 0);
    EXPECT_GT(ICompare("_", "a"), 0);  // compared after folding to upper case
    EXPECT_EQ(ToUpper("Till 7-b"), "TILL 7-B");
    EXPECT_EQ(ToLower("Till 7-B"), "till 7-b");

    EXPECT_EQ(TrimRight("ab \t  "), "ab \t");
    EXPECT_EQ(TrimRight("   "), "");
    EXPECT_EQ(Trim("\t ab c \r\n"), "ab c");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(SafeText(nullptr), "");
    EXPECT_EQ(SafeText("x"), "x");

    EXPECT_EQ(Format("Thread %x Error %08lx %s", 0x1a, 0x80004005UL, "x"),
              "Thread 1a Error 80004005 x");
    const std::string longText(5000, 'q');
    EXPECT_EQ(Format("[%s]%d", longText.c_str(), 42), "[" + longText + "]42");
    EXPECT_EQ(QuoteSql("O'Malley's"), "O''Malley''s");
    EXPECT_EQ(QuoteSql(""), "");
}
