// T-SQL types with the server's rules (SQL Server 2008, default settings:
// us_english, DATEFORMAT mdy, ANSI_PADDING on): names, precedence, common
// types, and the collation's order.
#include "tsql/types.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tsql/types_detail.h"

namespace xr::tsql {
namespace detail {

// ---------------------------------------------------------------------------
// Type names in the server's messages.

const char* ServerName(TypeKind k) {
    switch (k) {
        case TypeKind::Bit:
            return "bit";
        case TypeKind::TinyInt:
            return "tinyint";
        case TypeKind::SmallInt:
            return "smallint";
        case TypeKind::Int:
            return "int";
        case TypeKind::BigInt:
            return "bigint";
        case TypeKind::Money:
            return "money";
        case TypeKind::SmallMoney:
            return "smallmoney";
        case TypeKind::Decimal:
            return "numeric";
        case TypeKind::Real:
            return "real";
        case TypeKind::Float:
            return "float";
        case TypeKind::DateTime:
            return "datetime";
        case TypeKind::SmallDateTime:
            return "smalldatetime";
        case TypeKind::Char:
            return "char";
        case TypeKind::VarChar:
            return "varchar";
        case TypeKind::Text:
            return "text";
        case TypeKind::Binary:
            return "binary";
        case TypeKind::VarBinary:
            return "varbinary";
        case TypeKind::Image:
            return "image";
        case TypeKind::Unknown:
            break;
    }
    return "int";
}

int DecPrecision(const TypeSpec& t) { return t.precision == 0 ? 18 : t.precision; }

int ScaleOf(const TypeSpec& t) {
    if (t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney) return 4;
    if (t.kind == TypeKind::Decimal) return std::min<int>(t.scale, kMaxDigits);
    return 0;
}

// Type codes arrive through SQL text: a DECIMAL beyond the server's limits is refused.
void CheckTarget(const TypeSpec& t) {
    if (t.kind == TypeKind::Decimal && (DecPrecision(t) > kMaxDigits || t.scale > DecPrecision(t)))
        Fail("Invalid data type " + t.ToString() + ".");
}

int32_t EffectiveLength(const TypeSpec& t) {
    switch (t.kind) {
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            return t.length > 0 ? t.length : kCastDefaultLength;
        default:
            return kLongLength;
    }
}

int IntegerWidth(TypeKind k) {
    switch (k) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
            return 1;
        case TypeKind::SmallInt:
            return 2;
        case TypeKind::Int:
        case TypeKind::SmallMoney:
            return 4;
        default:
            return 8;
    }
}

bool IntegerInRange(TypeKind k, i128 v) {
    switch (k) {
        case TypeKind::TinyInt:
            return v >= 0 && v <= 255;
        case TypeKind::SmallInt:
            return v >= INT16_MIN && v <= INT16_MAX;
        case TypeKind::Int:
            return v >= INT32_MIN && v <= INT32_MAX;
        case TypeKind::BigInt:
            return v >= INT64_MIN && v <= INT64_MAX;
        case TypeKind::Bit:
            return true;
        default:
            return false;
    }
}

struct TypeName {
    const char* name;
    TypeKind kind;
    int maxLength;  // for CHAR-like types: the largest n
};

const TypeName kTypeNames[] = {
    {"INTEGER", TypeKind::Int, 0},
    {"INT", TypeKind::Int, 0},
    {"SMALLINT", TypeKind::SmallInt, 0},
    {"TINYINT", TypeKind::TinyInt, 0},
    {"BIGINT", TypeKind::BigInt, 0},
    {"BIT", TypeKind::Bit, 0},
    {"MONEY", TypeKind::Money, 0},
    {"SMALLMONEY", TypeKind::SmallMoney, 0},
    {"DECIMAL", TypeKind::Decimal, 0},
    {"DEC", TypeKind::Decimal, 0},
    {"NUMERIC", TypeKind::Decimal, 0},
    {"FLOAT", TypeKind::Float, 0},
    {"REAL", TypeKind::Real, 0},
    {"DATETIME", TypeKind::DateTime, 0},
    {"SMALLDATETIME", TypeKind::SmallDateTime, 0},
    {"CHAR", TypeKind::Char, kMaxLength},
    {"CHARACTER", TypeKind::Char, kMaxLength},
    {"VARCHAR", TypeKind::VarChar, kMaxLength},
    {"TEXT", TypeKind::Text, 0},
    {"NCHAR", TypeKind::Char, 4000},
    {"NVARCHAR", TypeKind::VarChar, 4000},
    {"NTEXT", TypeKind::Text, 0},
    {"BINARY", TypeKind::Binary, kMaxLength},
    {"VARBINARY", TypeKind::VarBinary, kMaxLength},
    {"IMAGE", TypeKind::Image, 0},
};

// Ranks of the server's data type precedence (higher wins).
int Precedence(TypeKind k) {
    switch (k) {
        case TypeKind::DateTime:
            return 22;
        case TypeKind::SmallDateTime:
            return 21;
        case TypeKind::Float:
            return 20;
        case TypeKind::Real:
            return 19;
        case TypeKind::Decimal:
            return 18;
        case TypeKind::Money:
            return 17;
        case TypeKind::SmallMoney:
            return 16;
        case TypeKind::BigInt:
            return 15;
        case TypeKind::Int:
            return 14;
        case TypeKind::SmallInt:
            return 13;
        case TypeKind::TinyInt:
            return 12;
        case TypeKind::Bit:
            return 11;
        case TypeKind::Text:
            return 10;
        case TypeKind::Image:
            return 9;
        case TypeKind::VarChar:
            return 8;
        case TypeKind::Char:
            return 7;
        case TypeKind::VarBinary:
            return 6;
        case TypeKind::Binary:
            return 5;
        case TypeKind::Unknown:
            return 0;
    }
    return 0;
}

// The DECIMAL(p,s) an exact type takes part in arithmetic as.
void AsDecimal(const TypeSpec& t, int* p, int* s) {
    switch (t.kind) {
        case TypeKind::Bit:
            *p = 1;
            *s = 0;
            return;
        case TypeKind::TinyInt:
            *p = 3;
            *s = 0;
            return;
        case TypeKind::SmallInt:
            *p = 5;
            *s = 0;
            return;
        case TypeKind::Int:
            *p = 10;
            *s = 0;
            return;
        case TypeKind::BigInt:
            *p = 19;
            *s = 0;
            return;
        case TypeKind::Money:
            *p = 19;
            *s = 4;
            return;
        case TypeKind::SmallMoney:
            *p = 10;
            *s = 4;
            return;
        default:
            *p = DecPrecision(t);
            *s = t.scale;
            return;
    }
}

}  // namespace detail

using namespace detail;

// ---------------------------------------------------------------------------
// TypeSpec

TypeSpec TypeSpec::Make(TypeKind kind, int32_t length, uint8_t precision, uint8_t scale) {
    TypeSpec t;
    t.kind = kind;
    switch (kind) {
        case TypeKind::Money:
            t.precision = 19;
            t.scale = 4;
            break;
        case TypeKind::SmallMoney:
            t.precision = 10;
            t.scale = 4;
            break;
        case TypeKind::Decimal:
            t.precision = precision == 0 ? 18 : precision;
            t.scale = scale;
            break;
        case TypeKind::Real:
            t.precision = 24;
            break;
        case TypeKind::Float:
            t.precision = 53;
            break;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            t.length = length;
            break;
        default:
            break;
    }
    return t;
}

TypeSpec TypeSpec::Sized(int32_t defaultLength) const {
    TypeSpec t = *this;
    if (t.length == 0 && (kind == TypeKind::Char || kind == TypeKind::VarChar ||
                          kind == TypeKind::Binary || kind == TypeKind::VarBinary))
        t.length = defaultLength;
    return t;
}

bool TypeSpec::Parse(std::string_view text, TypeSpec* out) {
    std::string_view s = TrimBlanks(text);
    size_t i = 0;
    while (i < s.size() && (IsAlpha(s[i]) || s[i] == '_')) ++i;
    std::string_view name = s.substr(0, i);
    std::string_view rest = TrimBlanks(s.substr(i));
    // Two-word spellings.
    bool varying = false;
    if (IEq(name, "CHAR") || IEq(name, "CHARACTER") || IEq(name, "BINARY")) {
        if (rest.size() >= 7 && IEq(rest.substr(0, 7), "VARYING") &&
            (rest.size() == 7 || !IsAlpha(rest[7]))) {
            varying = true;
            rest = TrimBlanks(rest.substr(7));
        }
    } else if (IEq(name, "DOUBLE")) {
        if (!(rest.size() >= 9 && IEq(rest.substr(0, 9), "PRECISION"))) return false;
        rest = TrimBlanks(rest.substr(9));
        name = "FLOAT";
        if (!rest.empty()) return false;
    }
    const TypeName* entry = nullptr;
    for (const TypeName& tn : kTypeNames) {
        if (IEq(name, tn.name)) {
            entry = &tn;
            break;
        }
    }
    if (entry == nullptr) return false;
    TypeKind kind = entry->kind;
    if (varying) kind = kind == TypeKind::Binary ? TypeKind::VarBinary : TypeKind::VarChar;

    // Arguments: "(a)" or "(a, b)" or "(MAX)".
    int args[2] = {0, 0};
    int argCount = 0;
    bool isMax = false;
    if (!rest.empty()) {
        if (rest.front() != '(' || rest.back() != ')') return false;
        std::string_view inner = rest.substr(1, rest.size() - 2);
        size_t start = 0;
        while (true) {
            size_t comma = inner.find(',', start);
            std::string_view arg = TrimBlanks(
                inner.substr(start, comma == std::string_view::npos ? inner.npos : comma - start));
            if (argCount == 2) return false;
            if (IEq(arg, "MAX")) {
                isMax = true;
                args[argCount++] = 0;
            } else {
                if (arg.empty() || arg.size() > 9 || !std::all_of(arg.begin(), arg.end(), IsDigit))
                    return false;
                args[argCount++] = ToInt(arg);
            }
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
        if (isMax && argCount != 1) return false;
    }

    TypeSpec t;
    t.kind = kind;
    t.national =
        IEq(entry->name, "NCHAR") || IEq(entry->name, "NVARCHAR") || IEq(entry->name, "NTEXT");
    switch (kind) {
        case TypeKind::Decimal: {
            if (isMax) return false;
            int p = argCount >= 1 ? args[0] : 18;
            int sc = argCount >= 2 ? args[1] : 0;
            if (p < 1 || p > 38 || sc > p) return false;
            t.precision = static_cast<uint8_t>(p);
            t.scale = static_cast<uint8_t>(sc);
            break;
        }
        case TypeKind::Float: {
            if (isMax || argCount > 1) return false;
            int n = argCount == 1 ? args[0] : 53;
            if (n < 1 || n > 53) return false;
            if (n <= 24) {
                t.kind = TypeKind::Real;
                t.precision = 24;
            } else {
                t.precision = 53;
            }
            break;
        }
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            if (argCount > 1) return false;
            if (isMax) {
                if (kind == TypeKind::VarChar) {
                    t.kind = TypeKind::Text;
                } else if (kind == TypeKind::VarBinary) {
                    t.kind = TypeKind::Image;
                } else {
                    return false;
                }
                break;
            }
            if (argCount == 1) {
                if (args[0] < 1 || args[0] > entry->maxLength) return false;
                t.length = args[0];
            }
            break;
        default:
            if (argCount != 0) return false;
            t = Make(kind);
            t.national = kind == TypeKind::Text && IEq(entry->name, "NTEXT");
            break;
    }
    *out = t;
    return true;
}

std::string TypeSpec::ToString() const {
    auto sized = [this](const char* name) {
        return length > 0 ? std::string(name) + "(" + std::to_string(length) + ")"
                          : std::string(name);
    };
    switch (kind) {
        case TypeKind::Unknown:
            return {};
        case TypeKind::Bit:
            return "BIT";
        case TypeKind::TinyInt:
            return "TINYINT";
        case TypeKind::SmallInt:
            return "SMALLINT";
        case TypeKind::Int:
            return "INTEGER";
        case TypeKind::BigInt:
            return "BIGINT";
        case TypeKind::Money:
            return "MONEY";
        case TypeKind::SmallMoney:
            return "SMALLMONEY";
        case TypeKind::Decimal:
            return "DECIMAL(" + std::to_string(DecPrecision(*this)) + "," + std::to_string(scale) +
                   ")";
        case TypeKind::Real:
            return "FLOAT(24)";
        case TypeKind::Float:
            return "FLOAT";
        case TypeKind::DateTime:
            return "DATETIME";
        case TypeKind::SmallDateTime:
            return "SMALLDATETIME";
        case TypeKind::Char:
            return sized(national ? "NCHAR" : "CHAR");
        case TypeKind::VarChar:
            return sized(national ? "NVARCHAR" : "VARCHAR");
        case TypeKind::Text:
            return national ? "NTEXT" : "TEXT";
        case TypeKind::Binary:
            return sized("BINARY");
        case TypeKind::VarBinary:
            return sized("VARBINARY");
        case TypeKind::Image:
            return "IMAGE";
    }
    return {};
}

bool TypeSpec::IsInteger() const {
    return kind == TypeKind::Bit || kind == TypeKind::TinyInt || kind == TypeKind::SmallInt ||
           kind == TypeKind::Int || kind == TypeKind::BigInt;
}

bool TypeSpec::IsScaled() const {
    return kind == TypeKind::Money || kind == TypeKind::SmallMoney ||
           (kind == TypeKind::Decimal && DecPrecision(*this) <= 18);
}

bool TypeSpec::IsNumeric() const {
    return IsInteger() || kind == TypeKind::Money || kind == TypeKind::SmallMoney ||
           kind == TypeKind::Decimal || kind == TypeKind::Real || kind == TypeKind::Float;
}

bool TypeSpec::IsText() const {
    return kind == TypeKind::Char || kind == TypeKind::VarChar || kind == TypeKind::Text;
}

bool TypeSpec::IsBinary() const {
    return kind == TypeKind::Binary || kind == TypeKind::VarBinary || kind == TypeKind::Image;
}

bool TypeSpec::IsDate() const {
    return kind == TypeKind::DateTime || kind == TypeKind::SmallDateTime;
}

uint16_t TypeSpec::AdoType() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
            return adInteger;
        case TypeKind::Bit:
            return adBoolean;
        case TypeKind::TinyInt:
            return adUnsignedTinyInt;
        case TypeKind::SmallInt:
            return adSmallInt;
        case TypeKind::BigInt:
            return adBigInt;
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return adCurrency;
        case TypeKind::Decimal:
            return adNumeric;
        case TypeKind::Real:
            return adSingle;
        case TypeKind::Float:
            return adDouble;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return adDBTimeStamp;
        case TypeKind::Char:
            return adChar;
        case TypeKind::VarChar:
            return adVarChar;
        case TypeKind::Text:
            return adLongVarChar;
        case TypeKind::Binary:
            return adBinary;
        case TypeKind::VarBinary:
            return adVarBinary;
        case TypeKind::Image:
            return adLongVarBinary;
    }
    return adEmpty;
}

int32_t TypeSpec::DefinedSize() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
        case TypeKind::Real:
        case TypeKind::SmallMoney:
            return 4;
        case TypeKind::Bit:
        case TypeKind::SmallInt:
            return 2;
        case TypeKind::TinyInt:
            return 1;
        case TypeKind::BigInt:
        case TypeKind::Money:
        case TypeKind::Float:
            return 8;
        case TypeKind::Decimal:
            return 19;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return 16;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Binary:
        case TypeKind::VarBinary:
            return EffectiveLength(*this);
        case TypeKind::Text:
        case TypeKind::Image:
            return kLongLength;
    }
    return 0;
}

VARTYPE TypeSpec::VariantType() const {
    switch (kind) {
        case TypeKind::Unknown:
        case TypeKind::Int:
            return VT_I4;
        case TypeKind::Bit:
            return VT_BOOL;
        case TypeKind::TinyInt:
            return VT_UI1;
        case TypeKind::SmallInt:
            return VT_I2;
        case TypeKind::BigInt:
            return VT_I8;
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return VT_CY;
        case TypeKind::Decimal:
            return VT_DECIMAL;
        case TypeKind::Real:
            return VT_R4;
        case TypeKind::Float:
            return VT_R8;
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return VT_DATE;
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Text:
            return VT_BSTR;
        case TypeKind::Binary:
        case TypeKind::VarBinary:
        case TypeKind::Image:
            return VT_BYTES;
    }
    return VT_EMPTY;
}

int64_t TypeSpec::Code() const {
    return static_cast<int64_t>(kind) | (static_cast<int64_t>(precision) << 8) |
           (static_cast<int64_t>(scale) << 16) |
           (static_cast<int64_t>(static_cast<uint32_t>(length)) << 24) |
           (national ? int64_t{1} << 56 : 0);
}

TypeSpec TypeSpec::FromCode(int64_t code) {
    TypeSpec t;
    int64_t kind = code & 0xFF;
    if (code < 0 || kind > static_cast<int64_t>(TypeKind::Image)) return t;
    t.kind = static_cast<TypeKind>(kind);
    t.precision = static_cast<uint8_t>((code >> 8) & 0xFF);
    t.scale = static_cast<uint8_t>((code >> 16) & 0xFF);
    t.length = static_cast<int32_t>(static_cast<uint32_t>(code >> 24));
    t.national = ((code >> 56) & 1) != 0;
    return t;
}

// ---------------------------------------------------------------------------

TypeSpec NaturalType(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return {};
        case Value::Kind::Int:
            return TypeSpec::Make(v.i >= INT32_MIN && v.i <= INT32_MAX ? TypeKind::Int
                                                                       : TypeKind::BigInt);
        case Value::Kind::Real:
            return TypeSpec::Make(TypeKind::Float);
        case Value::Kind::Text:
            if (v.s.size() > static_cast<size_t>(kMaxLength)) return TypeSpec::Make(TypeKind::Text);
            return TypeSpec::Make(TypeKind::VarChar,
                                  std::max<int32_t>(1, static_cast<int32_t>(v.s.size())));
        case Value::Kind::Blob:
            if (v.s.size() > static_cast<size_t>(kMaxLength))
                return TypeSpec::Make(TypeKind::Image);
            return TypeSpec::Make(TypeKind::VarBinary,
                                  std::max<int32_t>(1, static_cast<int32_t>(v.s.size())));
    }
    return {};
}

TypeSpec CommonType(const TypeSpec& a, const TypeSpec& b) {
    if (a.kind == TypeKind::Unknown) return b;
    if (b.kind == TypeKind::Unknown) return a;
    const TypeSpec& hi = Precedence(a.kind) >= Precedence(b.kind) ? a : b;
    const TypeSpec& lo = &hi == &a ? b : a;
    if (hi.kind == TypeKind::Decimal &&
        (lo.kind == TypeKind::Decimal || lo.IsInteger() || lo.kind == TypeKind::Money ||
         lo.kind == TypeKind::SmallMoney)) {
        // Room for the larger integer part and the larger scale.
        int p1, s1, p2, s2;
        AsDecimal(hi, &p1, &s1);
        AsDecimal(lo, &p2, &s2);
        int s = std::max(s1, s2);
        int p = std::max(p1 - s1, p2 - s2) + s;
        if (p > 38) {
            s = std::max(0, s - (p - 38));
            p = 38;
        }
        return TypeSpec::Make(TypeKind::Decimal, 0, static_cast<uint8_t>(p),
                              static_cast<uint8_t>(s));
    }
    if (hi.kind == lo.kind || (hi.kind == TypeKind::VarChar && lo.kind == TypeKind::Char) ||
        (hi.kind == TypeKind::VarBinary && lo.kind == TypeKind::Binary)) {
        TypeSpec t = hi;
        if (hi.kind == TypeKind::Char || hi.kind == TypeKind::VarChar ||
            hi.kind == TypeKind::Binary || hi.kind == TypeKind::VarBinary) {
            t.length = std::max(EffectiveLength(hi), EffectiveLength(lo));
        }
        return t;
    }
    return hi;
}

int CollateCompare(std::string_view a, std::string_view b) {
    // Lower-case folding puts '_' and the other marks between 'Z' and 'a'
    // before the letters, as the server sorts them.
    auto fold = [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
    };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = fold(a[i]), cb = fold(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    // The shorter text counts as padded with blanks.
    for (size_t i = n; i < a.size(); ++i) {
        unsigned char c = fold(a[i]);
        if (c != ' ') return c < ' ' ? -1 : 1;
    }
    for (size_t i = n; i < b.size(); ++i) {
        unsigned char c = fold(b[i]);
        if (c != ' ') return c < ' ' ? 1 : -1;
    }
    return 0;
}

}  // namespace xr::tsql
