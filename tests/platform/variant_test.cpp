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
#include <string>

#include "platform/error.h"
#include "platform/systemtime.h"
#include "platform/text.h"

using namespace xr;

namespace {

// The HRESULT a call throws as ComError, or S_OK_ when it returns.
HRESULT ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ComError& e) {
        return e.Error();
    }
    return S_OK_;
}

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
    // The rest of text to currency: engine MoneyExact.TextToCurrencyKeepsEveryDigit.
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

// ---------------------------------------------------------------------------
// Dates

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
    struct Row {
        double date;
        int y, mo, d, h, mi, s;
    } rows[] = {
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.date);
        SYSTEMTIME st;
        ASSERT_TRUE(VariantTimeToSystemTime(row.date, &st));
        EXPECT_EQ(st.wYear, row.y);
        EXPECT_EQ(st.wMonth, row.mo);
        EXPECT_EQ(st.wDay, row.d);
        EXPECT_EQ(st.wHour, row.h);
        EXPECT_EQ(st.wMinute, row.mi);
        EXPECT_EQ(st.wSecond, row.s);
        EXPECT_EQ(st.wMilliseconds, 0);
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
    };
    for (const auto& [date, text] : rows) {
        EXPECT_EQ(FormatDate(date), text) << date;
        EXPECT_EQ(Variant::Date(date).ToText(), text) << date;
    }
    EXPECT_EQ(ErrorOf([] { Variant::Date(2958466).ToText(); }), E_INVALIDARG_);
}

TEST(DateText, ParseEnUs) {
    // Each text with the date it reads as; NAN: no date (a type mismatch).
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
        {"0", NAN},
        {"1", NAN},
        {"0.0", NAN},
        {"True", NAN},
        {"1.1.1.1", NAN},
        {"02.01.1970", NAN},
        {"", NAN},
        {"1/2/1970 25:00", NAN},
        {"2/30/1970", NAN},
        {"1/2/3/4", NAN},
        {"1//2", NAN},
        {"32 49", NAN},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        double d = -99;
        bool ok = ParseDateText(text, &d);
        if (std::isnan(expected)) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(ErrorOf([&] { Variant::Text(text).ToDate(); }), DISP_E_TYPEMISMATCH_);
        } else {
            ASSERT_TRUE(ok);
            EXPECT_NEAR(d, expected, 1e-9);
            Variant v = Variant::Text(text).ChangeType(VT_DATE);
            EXPECT_EQ(v.Type(), VT_DATE);
            EXPECT_EQ(v.RealValue(), d);
        }
    }
    // Two numbers alone are a month and a day of the current year.
    double d;
    ASSERT_TRUE(ParseDateText("1 2", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 2)));
    ASSERT_TRUE(ParseDateText("14 1", &d));
    EXPECT_EQ(d, DateOf(Make(ThisYear(), 1, 14)));
}

TEST(DateText, RoundTripThroughText) {
    for (double date : {36525.25, 3.34, 25570.0, -49192.5, 0.5}) {
        double back;
        ASSERT_TRUE(ParseDateText(FormatDate(date), &back)) << FormatDate(date);
        EXPECT_NEAR(back, date, 1e-9);
    }
}

TEST(DateVariant, NumbersToDates) {
    EXPECT_EQ(Variant::R8(25570.5).ToDate(), 25570.5);
    EXPECT_EQ(Variant::I4(25570).ChangeType(VT_DATE).RealValue(), 25570.0);
    EXPECT_EQ(Variant::Currency(15000).ToDate(), 1.5);
    EXPECT_EQ(ErrorOf([] { Variant::R8(2958466.0).ToDate(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(ErrorOf([] { Variant::I4(-657435).ToDate(); }), DISP_E_OVERFLOW_);
    EXPECT_EQ(Variant::Date(2.5).ToI4(), 2);
    EXPECT_EQ(Variant::Date(3.5).ToR8(), 3.5);
}

// ---------------------------------------------------------------------------
// Error texts and text helpers

TEST(ErrorText, MessageText) {
    struct Row {
        uint32_t code;
        const char* text;
    } rows[] = {
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
    for (const Row& row : rows) {
        EXPECT_EQ(ComError::MessageText(Hr(row.code)), row.text) << std::hex << row.code;
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

TEST(TextHelpers, CaseFolding) {
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
}

TEST(TextHelpers, Trimming) {
    EXPECT_EQ(TrimRight("ab \t  "), "ab \t");
    EXPECT_EQ(TrimRight("   "), "");
    EXPECT_EQ(Trim("\t ab c \r\n"), "ab c");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(SafeText(nullptr), "");
    EXPECT_EQ(SafeText("x"), "x");
}

TEST(TextHelpers, FormatAndQuote) {
    EXPECT_EQ(Format("Thread %x Error %08lx %s", 0x1a, 0x80004005UL, "x"),
              "Thread 1a Error 80004005 x");
    std::string longText(5000, 'q');
    std::string formatted = Format("[%s]%d", longText.c_str(), 42);
    EXPECT_EQ(formatted, "[" + longText + "]42");
    EXPECT_EQ(QuoteSql("O'Malley's"), "O''Malley''s");
    EXPECT_EQ(QuoteSql(""), "");
}
