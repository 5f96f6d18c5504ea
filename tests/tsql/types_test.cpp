// T-SQL types: spellings, conversions with the server's results and error
// texts, the collation, and field values as the recordset hands them out.
#include "tsql/types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/session.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::tsql {
namespace {

TypeSpec T(const char* text) {
    TypeSpec t;
    if (*text != '\0') {
        EXPECT_TRUE(TypeSpec::Parse(text, &t)) << text;
    }
    return t;
}

Value I(int64_t v) { return Value::Int(v); }
Value R(double v) { return Value::Real(v); }
Value S(std::string v) { return Value::Text(std::move(v)); }
Value B(std::string v) { return Value::Blob(std::move(v)); }
Value N() { return Value::Null(); }

std::string Show(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return "NULL";
        case Value::Kind::Int:
            return "int " + std::to_string(v.i);
        case Value::Kind::Real:
            return Format("real %.17g", v.d);
        case Value::Kind::Text:
            return "text '" + v.s + "'";
        case Value::Kind::Blob: {
            std::string s = "blob 0x";
            for (unsigned char c : v.s) s += Format("%02X", c);
            return s;
        }
    }
    return "?";
}

TEST(TypeSpecTest, ParsesEverySpellingToItsCanonicalForm) {
    const std::tuple<const char*, TypeKind, int32_t, int, int, const char*> rows[] = {
        {"INTEGER", TypeKind::Int, 0, 0, 0, "INTEGER"},
        {"int", TypeKind::Int, 0, 0, 0, "INTEGER"},
        {"SmallInt", TypeKind::SmallInt, 0, 0, 0, "SMALLINT"},
        {"TINYINT", TypeKind::TinyInt, 0, 0, 0, "TINYINT"},
        {"bigint", TypeKind::BigInt, 0, 0, 0, "BIGINT"},
        {"BIT", TypeKind::Bit, 0, 0, 0, "BIT"},
        {"MONEY", TypeKind::Money, 0, 19, 4, "MONEY"},
        {"smallmoney", TypeKind::SmallMoney, 0, 10, 4, "SMALLMONEY"},
        {"DECIMAL(5,2)", TypeKind::Decimal, 0, 5, 2, "DECIMAL(5,2)"},
        {"decimal ( 10 , 3 )", TypeKind::Decimal, 0, 10, 3, "DECIMAL(10,3)"},
        {"DECIMAL(7)", TypeKind::Decimal, 0, 7, 0, "DECIMAL(7,0)"},
        {"DECIMAL", TypeKind::Decimal, 0, 18, 0, "DECIMAL(18,0)"},
        {"NUMERIC(38,38)", TypeKind::Decimal, 0, 38, 38, "DECIMAL(38,38)"},
        {"FLOAT(24)", TypeKind::Real, 0, 24, 0, "FLOAT(24)"},
        {"float(1)", TypeKind::Real, 0, 24, 0, "FLOAT(24)"},
        {"REAL", TypeKind::Real, 0, 24, 0, "FLOAT(24)"},
        {"FLOAT", TypeKind::Float, 0, 53, 0, "FLOAT"},
        {"FLOAT(25)", TypeKind::Float, 0, 53, 0, "FLOAT"},
        {"DATETIME", TypeKind::DateTime, 0, 0, 0, "DATETIME"},
        {"smalldatetime", TypeKind::SmallDateTime, 0, 0, 0, "SMALLDATETIME"},
        {"CHAR(20)", TypeKind::Char, 20, 0, 0, "CHAR(20)"},
        {"CHAR", TypeKind::Char, 0, 0, 0, "CHAR"},
        {"VARCHAR(1000)", TypeKind::VarChar, 1000, 0, 0, "VARCHAR(1000)"},
        {" varchar ", TypeKind::VarChar, 0, 0, 0, "VARCHAR"},
        {"VARCHAR(MAX)", TypeKind::Text, 0, 0, 0, "TEXT"},
        {"TEXT", TypeKind::Text, 0, 0, 0, "TEXT"},
        {"NCHAR(3)", TypeKind::Char, 3, 0, 0, "NCHAR(3)"},
        {"nvarchar(40)", TypeKind::VarChar, 40, 0, 0, "NVARCHAR(40)"},
        {"NTEXT", TypeKind::Text, 0, 0, 0, "NTEXT"},
        {"BINARY(8)", TypeKind::Binary, 8, 0, 0, "BINARY(8)"},
        {"VARBINARY(16)", TypeKind::VarBinary, 16, 0, 0, "VARBINARY(16)"},
        {"VARBINARY(max)", TypeKind::Image, 0, 0, 0, "IMAGE"},
        {"IMAGE", TypeKind::Image, 0, 0, 0, "IMAGE"},
        {"CHAR(8000)", TypeKind::Char, 8000, 0, 0, "CHAR(8000)"},
    };
    for (const auto& [text, kind, length, precision, scale, canonical] : rows) {
        SCOPED_TRACE(text);
        TypeSpec t;
        ASSERT_TRUE(TypeSpec::Parse(text, &t));
        EXPECT_EQ(t.kind, kind);
        EXPECT_EQ(t.length, length);
        EXPECT_EQ(t.precision, precision);
        EXPECT_EQ(t.scale, scale);
        EXPECT_EQ(t.ToString(), canonical);
        TypeSpec again;
        ASSERT_TRUE(TypeSpec::Parse(t.ToString(), &again));
        EXPECT_EQ(again, t);
        EXPECT_EQ(TypeSpec::FromCode(t.Code()), t);
    }
}

TEST(TypeSpecTest, RejectsNonsense) {
    for (const char* text :
         {"",           "CHAR(0)",      "CHAR(9000)", "NVARCHAR(4001)", "DECIMAL(5,6)",
          "DECIMAL(0)", "DECIMAL(39)",  "FLOAT(0)",   "FLOAT(54)",      "INT(4)",
          "MONEY(2)",   "VARCHAR(",     "VARCHAR(10", "VARCHAR(-1)",    "VARCHAR(1,2)",
          "CHAR(MAX)",  "DECIMAL(MAX)", "WIDGET",     "INT4",           "VARCHAR(10) X",
          "DATETIME2",  "VARCHAR(a)"}) {
        TypeSpec t;
        EXPECT_FALSE(TypeSpec::Parse(text, &t)) << text;
    }
    EXPECT_EQ(TypeSpec::FromCode(-1).kind, TypeKind::Unknown);
    EXPECT_EQ(TypeSpec::FromCode(200).kind, TypeKind::Unknown);
}

TEST(TypeSpecTest, FieldTypesAsTheRecordsetReportsThem) {
    using namespace engine;
    const std::tuple<const char*, uint16_t, int32_t, VARTYPE> rows[] = {
        {"INTEGER", adInteger, 4, VT_I4},
        {"SMALLINT", adSmallInt, 2, VT_I2},
        {"TINYINT", adUnsignedTinyInt, 1, VT_UI1},
        {"BIGINT", adBigInt, 8, VT_I8},
        {"BIT", adBoolean, 2, VT_BOOL},
        {"MONEY", adCurrency, 8, VT_CY},
        {"DECIMAL(5,2)", adNumeric, 19, VT_DECIMAL},
        {"FLOAT(24)", adSingle, 4, VT_R4},
        {"FLOAT", adDouble, 8, VT_R8},
        {"DATETIME", adDBTimeStamp, 16, VT_DATE},
        {"CHAR(10)", adChar, 10, VT_BSTR},
        {"VARCHAR(40)", adVarChar, 40, VT_BSTR},
        {"TEXT", adLongVarChar, 2147483647, VT_BSTR},
        {"BINARY(8)", adBinary, 8, VT_BYTES},
        {"VARBINARY(3)", adVarBinary, 3, VT_BYTES},
        {"IMAGE", adLongVarBinary, 2147483647, VT_BYTES},
    };
    for (const auto& [type, ado, size, vt] : rows) {
        SCOPED_TRACE(type);
        TypeSpec t = T(type);
        EXPECT_EQ(t.AdoType(), ado);
        EXPECT_EQ(t.DefinedSize(), size);
        EXPECT_EQ(t.VariantType(), vt);
    }
    EXPECT_EQ(T("VARCHAR").DefinedSize(), 30);
    EXPECT_EQ(T("VARCHAR").Sized(1).length, 1);
    EXPECT_EQ(T("VARCHAR(5)").Sized(1).length, 5);
}

struct ConvertRow {
    Value in;
    const char* from;
    const char* to;
    Value out;  // expected, when `error` is null
    const char* error = nullptr;
    bool storing = false;
};

// The conversions a column write makes (storing), and the few a query cannot
// show; the rest run as SQL in conformance/conversions.test.
TEST(ConvertTest, StoringIntoColumns) {
    const char* truncated = "String or binary data would be truncated.";
    const std::string ones(8, '\xFF');
    const std::vector<ConvertRow> rows = {
        {I(123456), "INTEGER", "VARCHAR(3)", {}, truncated, true},
        {S("abcdef"), "VARCHAR(6)", "VARCHAR(3)", {}, truncated, true},
        {S("ab    "), "VARCHAR(6)", "VARCHAR(3)", S("ab "), nullptr, true},
        {S("ab    "), "VARCHAR(6)", "CHAR(3)", S("ab "), nullptr, true},
        {S("ab"), "VARCHAR(2)", "CHAR(4)", S("ab  "), nullptr, true},
        {S(""), "VARCHAR(1)", "CHAR(1)", S(" "), nullptr, true},
        {S(std::string(9000, 'x')), "TEXT", "TEXT", S(std::string(9000, 'x')), nullptr, true},
        {S("00.00.00 00:00:00"), "VARCHAR(17)", "CHAR(20)", S("00.00.00 00:00:00   "), nullptr,
         true},
        {B(ones), "VARBINARY(8)", "BINARY(8)", B(ones), nullptr, true},
        {B("12345"), "VARBINARY(5)", "BINARY(4)", {}, truncated, true},
        {B(std::string(9000, 'x')), "IMAGE", "IMAGE", B(std::string(9000, 'x')), nullptr, true},
        {B("\x01"), "VARBINARY(1)", "IMAGE", B("\x01"), nullptr, true},
        {R(0.1), "FLOAT", "FLOAT(24)", R(static_cast<double>(0.1f))},
        {S("1.5"), "VARCHAR(3)", "DECIMAL(20,2)", R(1.5)},  // wide decimals are kept as reals
        {I(1), "DECIMAL(5,2)", "BINARY(4)", {}, ""},
    };
    for (const ConvertRow& r : rows) {
        SCOPED_TRACE(Show(r.in) + " " + r.from + " -> " + r.to + (r.storing ? " (storing)" : ""));
        try {
            Value got = Convert(r.in, T(r.from), T(r.to), r.storing);
            if (r.error) ADD_FAILURE() << "gave " << Show(got) << ", want error " << r.error;
            EXPECT_TRUE(r.error || got == r.out) << "got " << Show(got) << ", want " << Show(r.out);
        } catch (const ComError& e) {
            if (!r.error) ADD_FAILURE() << "failed: " << e.Description();
            EXPECT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
            if (r.error && *r.error) {
                EXPECT_EQ(e.Description(), r.error);
            }
        }
    }
}

TEST(ConvertTest, NullAndUntypedValues) {
    for (const char* to : {"INTEGER", "MONEY", "DATETIME", "CHAR(3)", "BINARY(2)", "BIT"}) {
        EXPECT_TRUE(Convert(N(), T("VARCHAR(3)"), T(to), true).IsNull()) << to;
    }
    // Without a source type the value's own storage kind decides.
    EXPECT_TRUE(Convert(S("7"), TypeSpec(), T("INTEGER")) == I(7));
    EXPECT_TRUE(Convert(I(7), TypeSpec(), T("VARCHAR(3)")) == S("7"));
    EXPECT_TRUE(Convert(I(7), T("INTEGER"), TypeSpec()) == I(7));
}

// Every value into every type either converts or fails with the server's
// error; nothing else escapes (and the sanitizer build sees no undefined arithmetic).
TEST(ConvertTest, AnyPairConvertsOrFailsCleanly) {
    const std::vector<Value> values = {
        I(0),
        I(1),
        I(-1),
        I(INT64_MAX),
        I(INT64_MIN),
        R(0.5),
        R(-1e308),
        R(1e-300),
        R(std::nan("")),
        R(HUGE_VAL),
        S(""),
        S(" "),
        S("12"),
        S("-1.5e3"),
        S("$1,0.5"),
        S("20000101 25:00"),
        S("99999999999999999999999999999999999999999"),
        S("\xff\x00"),
        B(""),
        B(std::string(9, '\xFF')),
        B(std::string(1, '\x00')),
    };
    std::vector<TypeSpec> types;
    for (const char* t :
         {"BIT",       "TINYINT",    "SMALLINT",     "INTEGER",        "BIGINT",
          "MONEY",     "SMALLMONEY", "DECIMAL(5,2)", "DECIMAL(38,30)", "DECIMAL(38,0)",
          "FLOAT(24)", "FLOAT",      "DATETIME",     "SMALLDATETIME",  "CHAR(3)",
          "VARCHAR",   "TEXT",       "BINARY(2)",    "VARBINARY(4)",   "IMAGE"}) {
        types.push_back(T(t));
    }
    types.push_back(TypeSpec());
    types.push_back(
        TypeSpec::FromCode(TypeSpec::Make(TypeKind::Decimal).Code() | (255 << 8) | (255 << 16)));
    types.push_back(
        TypeSpec::FromCode(TypeSpec::Make(TypeKind::VarChar).Code() | (0xFFFFFFFFLL << 24)));
    int converted = 0;
    for (const Value& v : values) {
        for (const TypeSpec& from : types) {
            for (const TypeSpec& to : types) {
                for (bool storing : {false, true}) {
                    try {
                        Value out = Convert(v, from, to, storing);
                        (void)ToVariant(out, to);
                        ++converted;
                    } catch (const ComError& e) {
                        EXPECT_FALSE(e.Description().empty());
                    }
                }
            }
        }
    }
    EXPECT_GT(converted, 1000);
}

TEST(CommonTypeTest, FollowsTheServersPrecedence) {
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"INTEGER", "BIGINT", "BIGINT"},
        {"INTEGER", "FLOAT", "FLOAT"},
        {"MONEY", "INTEGER", "MONEY"},
        {"BIT", "TINYINT", "TINYINT"},
        {"VARCHAR(10)", "INTEGER", "INTEGER"},
        {"CHAR(3)", "VARCHAR(10)", "VARCHAR(10)"},
        {"CHAR(3)", "CHAR(5)", "CHAR(5)"},
        {"DATETIME", "INTEGER", "DATETIME"},
        {"DATETIME", "SMALLDATETIME", "DATETIME"},
        {"BINARY(8)", "VARCHAR(3)", "VARCHAR(3)"},
        {"", "INTEGER", "INTEGER"},
        {"INTEGER", "DECIMAL(5,2)", "DECIMAL(12,2)"},
        {"DECIMAL(5,2)", "DECIMAL(10,3)", "DECIMAL(10,3)"},
        {"MONEY", "DECIMAL(5,2)", "DECIMAL(19,4)"},
        {"FLOAT(24)", "DECIMAL(5,2)", "FLOAT(24)"},
        {"FLOAT", "FLOAT(24)", "FLOAT"},
    };
    for (const auto& [a, b, result] : rows) {
        EXPECT_EQ(CommonType(T(a), T(b)).ToString(), result) << a << " vs " << b;
        EXPECT_EQ(CommonType(T(b), T(a)).ToString(), result) << b << " vs " << a;
    }
}

TEST(CollateTest, IgnoresCaseAndTrailingBlanks) {
    const std::tuple<const char*, const char*, int> rows[] = {
        {"a", "A  ", 0}, {"abc", "ABD", -1},  {"", "   ", 0},   {"Groups ", "groups", 0},
        {"b", "A", 1},   {"a", "ab", -1},     {"a\t", "a", -1}, {"_", "a", -1},
        {"Z", "_", 1},   {"\xE9", "\xC9", 1}, {"\xE9", "e", 1}, {"ab ", "ab\x01", 1},
    };
    for (const auto& [a, b, sign] : rows) {
        int c = CollateCompare(a, b);
        EXPECT_EQ((c > 0) - (c < 0), sign) << "'" << a << "' vs '" << b << "'";
        int back = CollateCompare(b, a);
        EXPECT_EQ((back > 0) - (back < 0), -sign) << "'" << b << "' vs '" << a << "'";
    }
}

TEST(VariantTest, FieldValuesHaveTheColumnsVariantType) {
    const std::tuple<Value, const char*, Variant> rows[] = {
        {I(1), "BIT", Variant::Bool(true)},
        {I(0), "BIT", Variant::Bool(false)},
        {I(199900), "MONEY", Variant::Currency(199900)},
        {I(-2), "SMALLINT", Variant::I2(-2)},
        {I(7), "INTEGER", Variant::I4(7)},
        {I(1LL << 40), "BIGINT", Variant::I8(1LL << 40)},
        {I(200), "TINYINT", Variant::UI1(200)},
        {R(static_cast<double>(0.1f)), "FLOAT(24)", Variant::R4(0.1f)},
        {R(36526.5), "DATETIME", Variant::Date(36526.5)},
        {S("ab"), "CHAR(4)", Variant::Text("ab  ")},
        {B(std::string("\x00\xFF", 2)), "BINARY(2)", Variant::Bytes("\x00\xFF", 2)},
        {N(), "INTEGER", Variant::Null()},
        // A number kept in a text column still reads as text.
        {I(12), "VARCHAR(5)", Variant::Text("12")},
    };
    for (const auto& [value, type, expected] : rows) {
        const Variant got = ToVariant(value, T(type));
        EXPECT_TRUE(got == expected) << type << " gave vt " << got.Type();
    }
    // A decimal keeps the column's scale, which equality does not look at.
    Variant v = ToVariant(I(-1500), T("DECIMAL(5,2)"));
    ASSERT_EQ(v.Type(), VT_DECIMAL);
    EXPECT_EQ(static_cast<int64_t>(v.DecValue().mantissa), 1500);
    EXPECT_EQ(v.DecValue().scale, 2);
    EXPECT_TRUE(v.DecValue().negative);
}

TEST(VariantTest, WritesFollowTheProvidersRules) {
    const std::tuple<Variant, const char*, Value> ok[] = {
        {Variant::Text(" 12 "), "INTEGER", I(12)},
        {Variant::Text("2.5"), "INTEGER", I(2)},
        {Variant::Text("19.99"), "MONEY", I(199900)},
        {Variant::R8(19.99), "MONEY", I(199900)},
        {Variant::Text("123.456"), "DECIMAL(5,2)", I(12346)},
        {Variant::Bool(true), "BIT", I(1)},
        {Variant::I4(-1), "BIT", I(1)},
        {Variant::Text("ab"), "CHAR(3)", S("ab ")},
        {Variant::Text("abc"), "VARCHAR(3)", S("abc")},
        {Variant::I4(42), "VARCHAR(5)", S("42")},
        {Variant::R8(36526.5), "DATETIME", R(36526.5)},
        {Variant::Date(36526.25), "DATETIME", R(36526.25)},
        {Variant::Text("12/31/1999"), "DATETIME", R(36525)},
        {Variant::Text("20000101"), "DATETIME", R(36526)},
        {Variant::R8(0.1), "FLOAT(24)", R(static_cast<double>(0.1f))},
        {Variant::Bytes("\x01\x02", 2), "BINARY(3)", B(std::string("\x01\x02\x00", 3))},
        {Variant::I4(70000), "INTEGER", I(70000)},
        {Variant::Null(), "INTEGER", N()},
        {Variant(), "VARCHAR(3)", N()},
    };
    for (const auto& [in, to, out] : ok) {
        SCOPED_TRACE(to);
        try {
            Value got = FromVariant(in, T(to));
            EXPECT_TRUE(got == out) << "got " << Show(got) << ", want " << Show(out);
        } catch (const ComError& e) {
            ADD_FAILURE() << e.Description();
        }
    }

    const std::pair<Variant, const char*> bad[] = {
        {Variant::Text("abc"), "INTEGER"},     {Variant::Text(""), "INTEGER"},
        {Variant::I4(70000), "SMALLINT"},      {Variant::I4(256), "TINYINT"},
        {Variant::Text("abcd"), "VARCHAR(3)"}, {Variant::Text("1234.5"), "DECIMAL(5,2)"},
        {Variant::I4(300000), "SMALLMONEY"},   {Variant::Text("not a date"), "DATETIME"},
        {Variant::R8(-100000), "DATETIME"},    {Variant::Bytes("\x01\x02\x03", 3), "BINARY(2)"},
        {Variant::I4(1), "VARBINARY(4)"},
    };
    for (const auto& [in, to] : bad) {
        SCOPED_TRACE(to);
        try {
            Value got = FromVariant(in, T(to));
            ADD_FAILURE() << "gave " << Show(got);
        } catch (const ComError& e) {
            EXPECT_EQ(e.Error(), DB_E_ERRORSOCCURRED);
            EXPECT_EQ(e.Description(),
                      "Multiple-step OLE DB operation generated errors. Check each OLE DB status "
                      "value, if available. No work was done.");
        }
    }
}

TEST(VariantTest, AnyWriteStoresOrFailsAsMultipleStep) {
    Decimal big;
    big.mantissa = (static_cast<unsigned __int128>(1) << 96) - 1;
    big.scale = 3;
    const std::vector<Variant> values = {
        Variant::I2(-1),           Variant::I4(INT32_MIN),
        Variant::I8(INT64_MAX),    Variant::UI1(255),
        Variant::UI8(UINT64_MAX),  Variant::R4(1e30f),
        Variant::R8(std::nan("")), Variant::R8(-1e308),
        Variant::Bool(true),       Variant::Currency(INT64_MIN),
        Variant::Date(2958466.0),  Variant::Dec(big),
        Variant::Text(""),         Variant::Text("12/31/9999 11:59:59 PM"),
        Variant::Text("x"),        Variant::Bytes("\x00", 1),
    };
    for (const char* type : {"BIT",   "TINYINT",    "SMALLINT",      "INTEGER",        "BIGINT",
                             "MONEY", "SMALLMONEY", "DECIMAL(5,2)",  "DECIMAL(38,10)", "FLOAT(24)",
                             "FLOAT", "DATETIME",   "SMALLDATETIME", "CHAR(3)",        "VARCHAR(2)",
                             "TEXT",  "BINARY(1)",  "VARBINARY(4)",  "IMAGE",          ""}) {
        for (const Variant& v : values) {
            try {
                (void)FromVariant(v, T(type));
            } catch (const ComError& e) {
                EXPECT_EQ(e.Error(), DB_E_ERRORSOCCURRED) << type;
            }
        }
    }
}

}  // namespace
}  // namespace xr::tsql
