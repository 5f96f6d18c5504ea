// Variant conversions as the record classes and the T-SQL layer rely on them:
// each table row is one input and the result OLE Automation gives for it.
#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_util.h"

using namespace xr;
using xrtest::ErrorOf;

namespace {

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

void ExpectDecimal(const Decimal& d, uint64_t mantissa, int scale, bool negative) {
    EXPECT_TRUE(d.mantissa == mantissa) << d.ToString();
    EXPECT_EQ(d.scale, scale) << d.ToString();
    EXPECT_EQ(d.negative, negative) << d.ToString();
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

TEST(VariantGeneral, EmptyReadsAsZero) {
    Variant empty;
    EXPECT_EQ(empty.ToI2(), 0);
    EXPECT_EQ(empty.ToI4(), 0);
    EXPECT_EQ(empty.ToR8(), 0.0);
    EXPECT_EQ(empty.ToCY(), 0);
    EXPECT_EQ(empty.ToDate(), 0.0);
    EXPECT_FALSE(empty.ToBool());
    EXPECT_TRUE(empty.ToDecimal().mantissa == 0);
    Variant text = empty.ChangeType(VT_BSTR);
    EXPECT_EQ(text.Type(), VT_BSTR);
    EXPECT_EQ(text.TextValue(), "");
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

TEST(VariantGeneral, BoolIsMinusOne) {
    Variant t = Variant::Bool(true), f = Variant::Bool(false);
    EXPECT_EQ(t.IntValue(), -1);
    EXPECT_EQ(t.ToI2(), -1);
    EXPECT_EQ(t.ToI4(), -1);
    EXPECT_EQ(t.ToR8(), -1.0);
    EXPECT_EQ(t.ToCY(), -10000);
    EXPECT_EQ(f.ToI4(), 0);
    ExpectDecimal(t.ToDecimal(), 1, 0, false);  // +1 through ChangeType
    EXPECT_EQ(t.ToText(), "-1");
    EXPECT_EQ(f.ToText(), "0");
    EXPECT_TRUE(Variant::I4(5).ToBool());
    EXPECT_TRUE(Variant::R8(0.1).ToBool());
    EXPECT_TRUE(Variant::Currency(1).ToBool());
    EXPECT_FALSE(Variant::R8(0).ToBool());
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
// Floating point, currency, decimal and dates to integers: half to even,
// range test on the rounded value.

struct RealToIntRow {
    double input;
    VARTYPE target;
    int64_t expected;
    HRESULT error;
};

TEST(VariantRounding, RealToInteger) {
    const RealToIntRow rows[] = {
        {0.5, VT_I4, 0, 0},
        {-0.5, VT_I4, 0, 0},
        {0.6, VT_I4, 1, 0},
        {1.5, VT_I4, 2, 0},
        {-1.5, VT_I4, -2, 0},
        {2.5, VT_I2, 2, 0},
        {3.5, VT_I2, 4, 0},
        {2147483647.49, VT_I4, 2147483647, 0},
        {2147483647.5, VT_I4, 0, DISP_E_OVERFLOW_},
        {2147483648.0, VT_I4, 0, DISP_E_OVERFLOW_},
        {32767.49, VT_I2, 32767, 0},
        {32767.5, VT_I2, 0, DISP_E_OVERFLOW_},
        {-32768.5, VT_I2, -32768, 0},
        {-32768.51, VT_I2, 0, DISP_E_OVERFLOW_},
        {-0.5, VT_UI1, 0, 0},
        {-0.5, VT_UI8, 0, 0},
        {-0.51, VT_UI1, 0, DISP_E_OVERFLOW_},
        {-0.6, VT_UI8, 0, DISP_E_OVERFLOW_},
        {255.5, VT_UI1, 0, DISP_E_OVERFLOW_},
        {9.3e18, VT_I8, 0, DISP_E_OVERFLOW_},
        {NAN, VT_I4, 0, DISP_E_OVERFLOW_},
    };
    for (const RealToIntRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.input << " -> vt " << row.target);
        for (Variant source : {Variant::R8(row.input), Variant::Date(row.input)}) {
            if (row.error) {
                EXPECT_EQ(ErrorOf([&] { source.ChangeType(row.target); }), row.error);
            } else {
                Variant v = source.ChangeType(row.target);
                EXPECT_EQ(v.Type(), row.target);
                EXPECT_EQ(v.IntValue(), row.expected);
            }
        }
    }
}

TEST(VariantRounding, CurrencyAndDecimalToInteger) {
    EXPECT_EQ(Variant::Currency(15000).ToI4(), 2);
    EXPECT_EQ(Variant::Currency(5000).ToI4(), 0);
    EXPECT_EQ(Variant::Currency(-15000).ToI4(), -2);
    EXPECT_EQ(Variant::Currency(-25000).ToI4(), -2);
    EXPECT_EQ(Variant::Currency(-5001).ToI4(), -1);
    EXPECT_EQ(ErrorOf([] { Variant::Currency(21474836480000LL).ToI4(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(Variant::Currency(-10000).ToI8(), -1);
    EXPECT_EQ(Variant::Currency(-5000).ToI8(), 0);

    struct Row {
        Decimal input;
        int64_t expected;
        HRESULT error;
    } rows[] = {
        {Dec(1, 0), 1, 0},
        {Dec(1, 0, true), -1, 0},
        {Dec(2147483647, 0), 2147483647, 0},
        {Dec(2147483648, 0), 0, DISP_E_OVERFLOW_},
        {Dec(2147483648, 0, true), -2147483648LL, 0},
        {Dec(2147483649, 0, true), 0, DISP_E_OVERFLOW_},
        {Dec(214748364700, 2), 2147483647, 0},
        {Dec(214748364800, 2), 0, DISP_E_OVERFLOW_},
        {Dec(214748364800, 2, true), -2147483648LL, 0},
        {Dec(25, 1), 2, 0},
        {Dec(35, 1), 4, 0},
        {Dec(2501, 3), 3, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input.ToString());
        if (row.error) {
            EXPECT_EQ(ErrorOf([&] { Variant::Dec(row.input).ToI4(); }), row.error);
        } else {
            EXPECT_EQ(Variant::Dec(row.input).ToI4(), row.expected);
        }
    }
}

// ---------------------------------------------------------------------------
// Text to number

struct TextRow {
    const char* text;
    VARTYPE target;
    double expected;  // R8 value, or the integer; ignored on error
    HRESULT error;
};

TEST(VariantText, ToNumber) {
    const TextRow rows[] = {
        {" 42 ", VT_I4, 42, 0},
        {"\t42\r\n", VT_I4, 42, 0},
        {"42-", VT_I4, -42, 0},
        {"(42)", VT_I4, -42, 0},
        {"(42", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"42)", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"--42", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"1,000", VT_I4, 1000, 0},
        {"1,0,0", VT_I4, 100, 0},
        {"1.5", VT_R8, 1.5, 0},
        {".25", VT_R8, 0.25, 0},
        {"1.1.", VT_R8, 0, DISP_E_TYPEMISMATCH_},
        {"1e3", VT_I4, 1000, 0},
        {"1e-1", VT_R8, 0.1, 0},
        {"1e", VT_R8, 0, DISP_E_TYPEMISMATCH_},
        {"$11", VT_I4, 11, 0},
        {"$1,234", VT_I4, 1234, 0},
        {"-$5", VT_I4, -5, 0},
        {"&HF800", VT_I4, 0xF800, 0},
        {"&h0abcdef", VT_I4, 0xabcdef, 0},
        {"&HFFFF", VT_I2, -1, 0},
        {"&HFFFFFFFF", VT_I4, -1, 0},
        {"&H10000", VT_I2, 0, DISP_E_OVERFLOW_},
        {"&H", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"0x1F", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"", VT_R8, 0, DISP_E_TYPEMISMATCH_},
        {"abc", VT_R8, 0, DISP_E_TYPEMISMATCH_},
        {"12abc", VT_I4, 0, DISP_E_TYPEMISMATCH_},
        {"2147483648", VT_I4, 0, DISP_E_OVERFLOW_},
        {"32768", VT_I2, 0, DISP_E_OVERFLOW_},
        {"-1", VT_UI4, 0, DISP_E_OVERFLOW_},
        {"1e400", VT_R8, 0, DISP_E_OVERFLOW_},
        {"1.5", VT_I4, 2, 0},
        {"0.5", VT_I4, 0, 0},
        {"-1.5", VT_I4, -2, 0},
        {"2.5000000000000000000000000000000000000000000000001", VT_I4, 3, 0},
        {"9223372036854775807", VT_I8, 9223372036854775807.0, 0},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.text << "\" -> vt " << row.target);
        Variant source = Variant::Text(row.text);
        if (row.error) {
            EXPECT_EQ(ErrorOf([&] { source.ChangeType(row.target); }), row.error);
        } else if (row.target == VT_R8) {
            EXPECT_EQ(source.ToR8(), row.expected);
        } else {
            EXPECT_EQ(static_cast<double>(source.ChangeType(row.target).IntValue()), row.expected);
        }
    }
    EXPECT_EQ(Variant::Text("9223372036854775807").ToI8(), INT64_MAX);
    EXPECT_EQ(Variant::Text("18446744073709551615").ToUI8(), UINT64_MAX);
}

TEST(VariantText, ToDecimalAndCurrency) {
    ExpectDecimal(Variant::Text("-1").ToDecimal(), 1, 0, true);
    ExpectDecimal(Variant::Text("0.5").ToDecimal(), 5, 1, false);
    ExpectDecimal(Variant::Text("4294967296").ToDecimal(), 4294967296ULL, 0, false);
    EXPECT_EQ(Variant::Text("18446744073709551616").ToDecimal().ToString(), "18446744073709551616");
    EXPECT_EQ(Variant::Text("79228162514264337593543950335").ToText(),
              "79228162514264337593543950335");
    EXPECT_EQ(ErrorOf([] { Variant::Text("79228162514264337593543950336").ToDecimal(); }),
              DISP_E_OVERFLOW_);
    // More places than 28 are rounded off, half to even.
    EXPECT_EQ(Variant::Text("0.12345678901234567890123456785").ToDecimal().ToString(),
              "0.1234567890123456789012345678");
    ExpectDecimal(Variant::Text("1.5e-3").ToDecimal(), 15, 4, false);

    EXPECT_EQ(Variant::Text("19.99").ToCY(), 199900);
    EXPECT_EQ(Variant::Text("$1,234.50").ToCY(), 12345000);
    EXPECT_EQ(Variant::Text("0.00005").ToCY(), 0);
    // From the digits, not a double: 0.00015 is exactly the half, which goes to even.
    EXPECT_EQ(Variant::Text("0.00015").ToCY(), 2);
}

TEST(VariantText, ToBool) {
    struct Row {
        const char* text;
        bool expected;
        HRESULT error;
    } rows[] = {
        {"#TRUE#", true, 0},
        {"#FALSE#", false, 0},
        {"true", true, 0},
        {"-1", true, 0},
        {"0.1", true, 0},
        {"0", false, 0},
        {"Yes", false, DISP_E_TYPEMISMATCH_},
        {"#False#", false, DISP_E_TYPEMISMATCH_},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        if (row.error) {
            EXPECT_EQ(ErrorOf([&] { Variant::Text(row.text).ToBool(); }), row.error);
        } else {
            EXPECT_EQ(Variant::Text(row.text).ToBool(), row.expected);
        }
    }
}

TEST(VariantText, ParseNumberText) {
    Decimal d;
    ASSERT_TRUE(ParseNumberText(" (1,234.50) ", &d));
    EXPECT_EQ(d.ToString(), "-1234.5");
    EXPECT_FALSE(ParseNumberText("12abc", &d));
    EXPECT_FALSE(ParseNumberText("1e40", &d));
}

// ---------------------------------------------------------------------------
// Number to text

TEST(VariantFormat, NumbersToText) {
    struct Row {
        Variant input;
        const char* expected;
    } rows[] = {
        {Variant::I4(20), "20"},
        {Variant::I8(INT64_MIN), "-9223372036854775808"},
        {Variant::UI8(UINT64_MAX), "18446744073709551615"},
        {Variant::R8(2.5), "2.5"},
        {Variant::R8(20.0), "20"},
        {Variant::R8(0.1 + 0.2), "0.3"},
        {Variant::R8(1.0 / 3), "0.333333333333333"},
        {Variant::R8(123456789012345678.0), "1.23456789012346E+17"},
        {Variant::R8(-0.0), "0"},
        {Variant::R4(0.1f), "0.1"},
        {Variant::Currency(0), "0"},
        {Variant::Currency(15000), "1.5"},
        {Variant::Currency(199900), "19.99"},
        {Variant::Currency(9), "0.0009"},
        {Variant::Currency(4294967295LL), "429496.7295"},
        {Variant::Currency(INT64_MAX), "922337203685477.5807"},
        {Variant::Currency(INT64_MIN), "-922337203685477.5808"},
        {Variant::Dec(Dec(100, 2)), "1"},
        {Variant::Dec(Dec(15, 1, true)), "-1.5"},
        {Variant::Dec(Dec(9, 4)), "0.0009"},
        {Variant::Dec(Dec(9000, 7)), "0.0009"},
        {Variant::Dec(Dec(0, 3, true)), "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        Variant text = row.input.ChangeType(VT_BSTR);
        EXPECT_EQ(text.Type(), VT_BSTR);
        EXPECT_EQ(text.TextValue(), row.expected);
    }
    Decimal max;
    max.mantissa = (static_cast<unsigned __int128>(1) << 96) - 1;
    EXPECT_EQ(Variant::Dec(max).ToText(), "79228162514264337593543950335");
}

// ---------------------------------------------------------------------------
// Between floating point, currency and decimal

TEST(VariantMoney, RealAndCurrency) {
    EXPECT_EQ(Variant::Currency(15000).ToR8(), 1.5);
    EXPECT_EQ(Variant::Currency(-6000).ToR8(), -0.6);
    struct Row {
        Variant input;
        int64_t expected;
    } rows[] = {
        {Variant::R4(1.00009f), 10001},
        {Variant::R4(0.00005f), 0},
        {Variant::R4(0.00009f), 1},
        {Variant::R8(0.03125), 312},
        {Variant::R8(19.99), 199900},
        {Variant::Date(1.5), 15000},
        {Variant::I4(-3), -30000},
        {Variant::Dec(Dec(999, 2)), 99900},
        {Variant::Dec(Dec(1, 2, true)), -100},
        {Variant::Dec(Dec(123455, 5)), 12346},  // four places, half to even
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        Variant cy = row.input.ChangeType(VT_CY);
        EXPECT_EQ(cy.Type(), VT_CY);
        EXPECT_EQ(cy.IntValue(), row.expected);
    }
    EXPECT_EQ(ErrorOf([] { Variant::R8(4611686018427387648.0).ToCY(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(ErrorOf([] { Variant::I8(INT64_MAX).ToCY(); }), DISP_E_OVERFLOW_);
}

TEST(VariantMoney, DecimalConversions) {
    ExpectDecimal(Variant::Currency(10000).ToDecimal(), 10000, 4, false);
    ExpectDecimal(Variant::Currency(5000).ToDecimal(), 5000, 4, false);
    ExpectDecimal(Variant::R8(0.6).ToDecimal(), 6, 1, false);
    ExpectDecimal(Variant::R8(0.4).ToDecimal(), 4, 1, false);
    ExpectDecimal(Variant::R8(-0.5).ToDecimal(), 5, 1, true);
    ExpectDecimal(Variant::R8(19.99).ToDecimal(), 1999, 2, false);
    ExpectDecimal(Variant::R8(1e18).ToDecimal(), 1000000000000000000ULL, 0, false);
    EXPECT_EQ(ErrorOf([] { Variant::R8(1e30).ToDecimal(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(Variant::Dec(Dec(3276700, 2)).ToR8(), 32767.0);
    Decimal big;
    big.mantissa = static_cast<unsigned __int128>(1) << 64;
    EXPECT_EQ(Variant::Dec(big).ToR8(), 18446744073709551616.0);
    EXPECT_EQ(Variant::Dec(Dec(1999, 2)).ToR8(), 19.99);
}

// Money columns as the record classes use them: hundredths in, currency
// stored, hundredths out.
TEST(VariantMoney, Hundredths) {
    EXPECT_EQ(HundredthsToMoney(1999), 199900);
    EXPECT_EQ(HundredthsToMoney(-250), -25000);
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
    EXPECT_EQ(HundredthsToMoney(INT32_MIN), int64_t{INT32_MIN} * 100);

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

// ---------------------------------------------------------------------------
// Decimal

TEST(DecimalValue, ParseAndPrint) {
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

TEST(DecimalValue, Compare) {
    auto parse = [](const char* s) {
        Decimal d;
        EXPECT_TRUE(Decimal::Parse(s, &d)) << s;
        return d;
    };
    EXPECT_EQ(parse("1.50").Compare(parse("1.5")), 0);
    EXPECT_EQ(parse("-0").Compare(parse("0.000")), 0);
    EXPECT_LT(parse("-1").Compare(parse("0")), 0);
    EXPECT_LT(parse("-2").Compare(parse("-1.99")), 0);
    EXPECT_GT(
        parse("79228162514264337593543950335").Compare(parse("0.0000000000000000000000000001")), 0);
    EXPECT_LT(
        parse("0.0000000000000000000000000001").Compare(parse("7922816251426433759354395033")), 0);
}
