// T-SQL data types as the layer stores them in the embedded engine, and the
// conversions between them with the server's rules and error texts.
//
// Storage representation (what the SQLite files hold):
//   INT, INTEGER, SMALLINT, TINYINT, BIGINT, BIT  integer (BIT: 0 or 1)
//   MONEY, SMALLMONEY                             integer, value * 10000 (exact)
//   DECIMAL(p,s), NUMERIC(p,s)                    integer, value * 10^s (p <= 18); real otherwise
//   FLOAT(n), REAL                                real (n <= 24: single precision)
//   DATETIME, SMALLDATETIME                       real, OLE date (days since 1899-12-30)
//   CHAR(n), VARCHAR(n), TEXT                     text (CHAR padded with blanks to n)
//   BINARY(n), VARBINARY(n), IMAGE                blob (BINARY padded with zero bytes to n)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/variant.h"

namespace xr::tsql {

enum class TypeKind : uint8_t {
    Unknown,  // the type of a bare NULL
    Bit,
    TinyInt,
    SmallInt,
    Int,
    BigInt,
    Money,
    SmallMoney,
    Decimal,
    Real,   // FLOAT(1..24), REAL
    Float,  // FLOAT, FLOAT(25..53)
    DateTime,
    SmallDateTime,
    Char,
    VarChar,
    Text,
    Binary,
    VarBinary,
    Image,
};

struct TypeSpec {
    TypeKind kind = TypeKind::Unknown;
    int32_t length =
        0;  // CHAR/VARCHAR/BINARY/VARBINARY: n (VARCHAR without n: 30 in CAST, 1 in DECLARE)
    uint8_t precision = 0;  // DECIMAL p (default 18), FLOAT n
    uint8_t scale = 0;      // DECIMAL s; 4 for MONEY
    // NCHAR, NVARCHAR, NTEXT: stored and compared as their narrow twins, but
    // described as the server's Unicode types (two bytes a character).
    bool national = false;

    // Length 0 on CHAR/VARCHAR/BINARY/VARBINARY means "not written": Parse
    // keeps it so, Convert reads it as 30 (CAST); a DECLARE or a column
    // definition makes it 1 with Sized(1). VARCHAR(MAX) parses as TEXT and
    // VARBINARY(MAX) as IMAGE; NCHAR/NVARCHAR/NTEXT as their narrow twins,
    // marked national.
    // FLOAT(1..24) and REAL are Real (precision 24), FLOAT and FLOAT(25..53)
    // Float (precision 53). MONEY is precision 19, SMALLMONEY 10, both scale 4;
    // the conversions go by the kind, so a hand-made {Money} works as well.

    // A type with the defaults Parse gives (MONEY 19/4, DECIMAL 18/0, FLOAT 53, REAL 24).
    static TypeSpec Make(TypeKind kind, int32_t length = 0, uint8_t precision = 0,
                         uint8_t scale = 0);
    // This type with a length that was not written replaced by `defaultLength`.
    TypeSpec Sized(int32_t defaultLength) const;

    // "VARCHAR(40)", "decimal (5, 2)", "INTEGER", "float(24)"; false for an unknown type.
    static bool Parse(std::string_view text, TypeSpec* out);
    // The canonical spelling, e.g. "VARCHAR(40)", "DECIMAL(5,2)", "INTEGER",
    // "FLOAT(24)" (REAL); empty for Unknown.
    std::string ToString() const;

    bool IsInteger() const;  // BIT TINYINT SMALLINT INT BIGINT
    bool IsScaled() const;   // stored as a scaled integer: MONEY, SMALLMONEY, DECIMAL(p<=18)
    bool IsNumeric() const;  // any number, BIT included
    bool IsText() const;
    bool IsBinary() const;
    bool IsDate() const;

    uint16_t AdoType() const;     // engine::AdoType code of a field of this type
    int32_t DefinedSize() const;  // ADO DefinedSize
    VARTYPE VariantType() const;  // the variant type values of this type are read as

    // A compact code for passing a type through SQL functions, and back.
    int64_t Code() const;
    static TypeSpec FromCode(int64_t code);

    bool operator==(const TypeSpec&) const = default;
};

// A value in storage representation.
struct Value {
    enum class Kind : uint8_t { Null, Int, Real, Text, Blob };
    Kind kind = Kind::Null;
    int64_t i = 0;
    double d = 0;
    std::string s;  // text, or the bytes of a blob

    static Value Null() { return {}; }
    static Value Int(int64_t v) {
        Value x;
        x.kind = Kind::Int;
        x.i = v;
        return x;
    }
    static Value Real(double v) {
        Value x;
        x.kind = Kind::Real;
        x.d = v;
        return x;
    }
    static Value Text(std::string v) {
        Value x;
        x.kind = Kind::Text;
        x.s = std::move(v);
        return x;
    }
    static Value Blob(std::string v) {
        Value x;
        x.kind = Kind::Blob;
        x.s = std::move(v);
        return x;
    }
    bool IsNull() const { return kind == Kind::Null; }
    bool operator==(const Value&) const = default;
};

// The type a value of storage kind `v` has when nothing else is known
// (integer -> INT or BIGINT, real -> FLOAT, text -> VARCHAR(len), blob -> VARBINARY(len)).
TypeSpec NaturalType(const Value& v);

// Converts `v` (of type `from`) to type `to`, as CAST/CONVERT and the implicit
// conversions of assignment do: text to numbers and dates, numbers to text,
// rounding of DECIMAL to its scale, MONEY to four places, BIT from any number
// (non-zero gives 1, '' gives 0), CHAR padding, integer range checks.
// When `storing` is true (a value written into a column) over-long text or
// binary fails instead of being cut. Throws ComError(DB_E_ERRORSINCOMMAND)
// with the server's message ("String or binary data would be truncated.",
// "Arithmetic overflow error converting expression to data type int.",
// "Conversion failed when converting the varchar value 'abc' to data type int.").
Value Convert(const Value& v, const TypeSpec& from, const TypeSpec& to, bool storing = false);

// CONVERT(to, v, style): DATETIME to text in the style's layout (error 281
// for a style that does not exist), text to DATETIME read in the style's
// order (103: day first), MONEY to text with thousands separators (1) or
// four places (2, 126), FLOAT to text in scientific notation (1, 2, 3).
// Any other pair converts as Convert does.
Value ConvertStyled(const Value& v, const TypeSpec& from, const TypeSpec& to, int style);
// Whether CONVERT of `from` to `to` reads the style (else the style is ignored).
bool StyleApplies(const TypeSpec& from, const TypeSpec& to);
// The text of a date in CONVERT's style `style`; false for a style that does not exist.
bool FormatDateTimeStyle(double oleDate, int style, std::string* out);

// The type two operands of a comparison or arithmetic are brought to
// (the server's data type precedence).
TypeSpec CommonType(const TypeSpec& a, const TypeSpec& b);

// The type of `a op b` for two numbers, `op` one of '+', '-', '*', '/', '%':
// the operand of the higher precedence decides; a DECIMAL result takes the
// server's precision and scale (e1 * e2: p1 + p2 + 1 and s1 + s2; e1 / e2:
// scale max(6, s1 + p2 + 1); ...), cut to 38 digits at the cost of scale.
TypeSpec ArithmeticType(char op, const TypeSpec& a, const TypeSpec& b);

// `a op b` in exact arithmetic for a result of an exact type (an integer,
// MONEY, SMALLMONEY or DECIMAL, from ArithmeticType): division truncates at
// the result's scale, the other operations round half away from zero.
// Throws ComError with the server's message for a division by zero and for
// a result out of the type's range.
Value Arithmetic(char op, const Value& a, const TypeSpec& ta, const Value& b, const TypeSpec& tb,
                 const TypeSpec& result);

// Field values as the recordset hands them out, and values written through a
// recordset (with the OLE DB conversion rules: " 12 " into INT gives 12).
Variant ToVariant(const Value& v, const TypeSpec& type);
Value FromVariant(const Variant& v, const TypeSpec& to);  // throws ComError(DB_E_ERRORSOCCURRED)

// Dates: 'yyyymmdd', 'yyyy-mm-dd[ hh:mm[:ss[.fff]]]', 'yyyy-mm-ddThh:mm:ss', 'mm/dd/yyyy',
// 'Mon dd yyyy hh:mmAM' and the other forms the server reads with its
// default settings. False when the text is no date.
bool ParseDateTimeText(std::string_view text, double* oleDate);
// SET DATEFORMAT: the order ("mdy", "dmy", "ymd", "ydm", "myd", "dym") in
// which a date written as three numbers is read when no CONVERT style says.
// Kept per thread; the interpreter sets its session's order for the
// statements it runs. False (nothing changed) for any other text.
bool SetDateFormat(std::string_view order);
std::string DateFormat();
// A number in T-SQL text counts days from 1900-01-01.
inline double DaysSince1900ToOle(double days) { return days + 2.0; }
inline double OleToDaysSince1900(double ole) { return ole - 2.0; }
// "2000-01-01 00:00:00.000" (CONVERT(VARCHAR, d, 121)), and the default text
// form "Jan  1 2000 12:00AM" used by CAST(date AS VARCHAR).
std::string FormatDateTime121(double oleDate);
std::string FormatDateTimeDefault(double oleDate);

// DATEPART, DATEDIFF and DATEADD on OLE dates with the server's rules (weeks
// start on Sunday, DATEDIFF counts boundaries crossed, DATEADD of months keeps
// the day or the last day of a shorter month). `part` as written: "year",
// "yy", "yyyy", "quarter", "month", "dayofyear", "day", "week", "weekday",
// "hour", "minute", "second", "millisecond" and their abbreviations. Throw
// ComError(DB_E_ERRORSINCOMMAND) for an unknown part, an overflow or a date
// outside 1753-01-01 .. 9999-12-31.
int64_t DatePart(std::string_view part, double oleDate);
int64_t DateDiff(std::string_view part, double fromOle, double toOle);
double DateAdd(std::string_view part, int64_t n, double oleDate);
// DATENAME: the month's and the weekday's English names, the other parts as numbers.
std::string DateName(std::string_view part, double oleDate);
// GETDATE(): the local time now, to the server's 1/300 second; GETUTCDATE(): the same in UTC.
double CurrentDateTime();
double CurrentUtcDateTime();

// ISNUMERIC of a text: it reads as an INT, MONEY, DECIMAL or FLOAT (blanks,
// a sign, '$' and thousands separators allowed), or it is a lone sign,
// currency symbol or point, which the server counts as numeric too.
bool IsNumericText(std::string_view text);
// ISDATE of a text: it reads as a DATETIME between 1753 and 9999.
bool IsDateText(std::string_view text);

// The one collation of every text comparison, key and index: without case,
// trailing blanks ignored, accent-sensitive.
int CollateCompare(std::string_view a, std::string_view b);

}  // namespace xr::tsql
