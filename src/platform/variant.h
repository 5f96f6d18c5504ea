// The value type of fields and parameters, with the type codes and the
// conversion rules of OLE Automation variants: record classes depend on the
// exact results (money in hundredths, text to number, dates).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xr {

using VARTYPE = uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYTES = VT_ARRAY | VT_UI1;  // one-dimensional byte array

// A 96-bit scaled decimal: value = (negative ? -1 : 1) * mantissa / 10^scale.
struct Decimal {
    unsigned __int128 mantissa = 0;  // below 2^96
    uint8_t scale = 0;               // 0..28
    bool negative = false;

    static Decimal FromInt(int64_t v);
    // Exact decimal text ("-12.500"); false when it does not fit 96 bits.
    static bool Parse(std::string_view text, Decimal* out);
    std::string ToString() const;  // exact digits, trailing fractional zeros dropped
    double ToDouble() const;
    // Rounds half away from zero to `scale` digits; false on overflow.
    bool Rescale(uint8_t scale, Decimal* out) const;
    int Compare(const Decimal& other) const;
};

class Variant {
public:
    Variant() = default;  // VT_EMPTY
    static Variant Null();
    static Variant I2(int16_t v);
    static Variant I4(int32_t v);
    static Variant I8(int64_t v);
    static Variant UI1(uint8_t v);
    static Variant UI8(uint64_t v);
    static Variant R4(float v);
    static Variant R8(double v);
    static Variant Bool(bool v);              // stored as VARIANT_TRUE (-1) / VARIANT_FALSE (0)
    static Variant Currency(int64_t scaled);  // value * 10000
    static Variant Date(double oleDate);
    static Variant Dec(const Decimal& d);
    static Variant Text(std::string_view s);
    static Variant Bytes(const void* data, size_t length);

    // In-place forms for a value read over and over into the same place
    // (a text keeps its room): an integer type with its raw member, a real
    // or date, a text.
    void SetInt(VARTYPE vt, int64_t i) {
        m_vt = vt;
        m_i = i;
    }
    void SetReal(VARTYPE vt, double d) {
        m_vt = vt;
        m_d = d;
    }
    void SetText(std::string_view s) {
        m_vt = VT_BSTR;
        m_s.assign(s.data(), s.size());
    }
    void SetNull() { m_vt = VT_NULL; }
    void SetEmpty() { m_vt = VT_EMPTY; }

    VARTYPE Type() const { return m_vt; }
    bool IsEmpty() const { return m_vt == VT_EMPTY; }
    bool IsNull() const { return m_vt == VT_NULL; }
    bool IsEmptyOrNull() const { return m_vt == VT_EMPTY || m_vt == VT_NULL; }

    // Raw members; valid only for the matching type.
    int64_t IntValue() const { return m_i; }  // I1 I2 I4 I8 UI1..UI4 BOOL(-1/0) CY(scaled)
    uint64_t UIntValue() const { return static_cast<uint64_t>(m_i); }             // UI8
    double RealValue() const { return m_d; }                                      // R4 R8 DATE
    const Decimal& DecValue() const { return m_dec; }                             // DECIMAL
    const std::string& TextValue() const { return m_s; }                          // BSTR
    std::vector<uint8_t> BytesValue() const { return {m_s.begin(), m_s.end()}; }  // VT_BYTES
    std::string_view BytesView() const { return m_s; }                            // VT_BYTES

    // VariantChangeType with flags 0 in the fixed locale (en-US: '.', ',',
    // '$', M/d/yyyy h:mm:ss AM/PM). Throws ComError with DISP_E_TYPEMISMATCH
    // or DISP_E_OVERFLOW as OLE Automation does.
    Variant ChangeType(VARTYPE vt) const;

    // Shorthands for ChangeType(...).<member>.
    int16_t ToI2() const;
    int32_t ToI4() const;
    int64_t ToI8() const;
    uint64_t ToUI8() const;
    double ToR8() const;
    int64_t ToCY() const;  // scaled by 10000
    double ToDate() const;
    bool ToBool() const;
    Decimal ToDecimal() const;
    std::string ToText() const;

    bool operator==(const Variant& o) const;  // same type and same value
    bool operator!=(const Variant& o) const { return !(*this == o); }

private:
    VARTYPE m_vt = VT_EMPTY;
    int64_t m_i = 0;
    double m_d = 0;
    Decimal m_dec;
    std::string m_s;  // BSTR text, or the bytes of VT_BYTES
};

// Text <-> number parsing of the Var*FromStr family, exposed for the T-SQL
// layer's implicit conversions.
bool ParseNumberText(std::string_view text, Decimal* out);  // false: type mismatch
// "12/31/1999 6:00:00 AM" and the other VarDateFromStr forms; false: mismatch.
bool ParseDateText(std::string_view text, double* oleDate);
std::string FormatDate(double oleDate);  // VT_DATE -> text as above
std::string FormatDouble(double v);      // "%.15G" rules of R8 -> text

// FormatDate throws ComError(E_INVALIDARG) for a date outside 1 Jan 100 ..
// 31 Dec 9999. ParseNumberText also refuses a value that does not fit 96 bits;
// digits beyond 28 decimal places are rounded half to even.

// Money in the record structures: whole hundredths in 32-bit integers.
// Currency -> hundredths: through a double, times 100, half away from zero,
// truncated; a result outside 32 bits gives INT32_MIN.
int32_t MoneyToHundredths(int64_t cy);
int32_t RealToHundredths(double value);  // the same rule for a value read as R8
// Hundredths -> currency: h / 100.0 converted as R8 -> CY; exactly h * 100.
int64_t HundredthsToMoney(int32_t hundredths);

// ADO DataTypeEnum values the field types map to.
enum AdoType : uint16_t {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adBoolean = 11,
    adDecimal = 14,
    adUnsignedTinyInt = 17,
    adBigInt = 20,
    adUnsignedBigInt = 21,
    adBinary = 128,
    adChar = 129,
    adNumeric = 131,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

}  // namespace xr
