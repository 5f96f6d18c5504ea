// The collation and the SQL functions the rendered statements call. They run
// once per value written or compared, so values that need no change are
// handed back to SQLite as they came, without a copy.
#include "engine/sqlite/functions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "engine/sqlite/catalog.h"
#include "platform/error.h"
#include "tsql/types.h"

namespace xr::engine::sqlite {

namespace {

std::string_view TextOf(sqlite3_value* v) {
    const unsigned char* p = sqlite3_value_text(v);
    int n = sqlite3_value_bytes(v);
    return p == nullptr ? std::string_view()
                        : std::string_view(reinterpret_cast<const char*>(p), n);
}

std::string_view BlobOf(sqlite3_value* v) {
    const void* p = sqlite3_value_blob(v);
    int n = sqlite3_value_bytes(v);
    return p == nullptr ? std::string_view() : std::string_view(static_cast<const char*>(p), n);
}

Value ReadValue(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return Value::Int(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return Value::Real(sqlite3_value_double(v));
        case SQLITE_TEXT:
            return Value::Text(std::string(TextOf(v)));
        case SQLITE_BLOB:
            return Value::Blob(std::string(BlobOf(v)));
        default:
            return Value::Null();
    }
}

void SetResult(sqlite3_context* ctx, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            sqlite3_result_null(ctx);
            break;
        case Value::Kind::Int:
            sqlite3_result_int64(ctx, v.i);
            break;
        case Value::Kind::Real:
            sqlite3_result_double(ctx, v.d);
            break;
        case Value::Kind::Text:
            sqlite3_result_text64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        case Value::Kind::Blob:
            sqlite3_result_blob64(ctx, v.s.data(), v.s.size(), SQLITE_TRANSIENT);
            break;
    }
}

// Runs `f`, turning the server's errors into SQLite function errors that
// carry the server's message unchanged.
template <typename F>
void Guarded(sqlite3_context* ctx, F&& f) {
    try {
        f();
    } catch (const ComError& e) {
        sqlite3_result_error(ctx, e.Description().c_str(), -1);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

bool FitsInteger(TypeKind k, int64_t v) {
    switch (k) {
        case TypeKind::Bit:
            return v == 0 || v == 1;
        case TypeKind::TinyInt:
            return v >= 0 && v <= 255;
        case TypeKind::SmallInt:
            return v >= INT16_MIN && v <= INT16_MAX;
        case TypeKind::Int:
            return v >= INT32_MIN && v <= INT32_MAX;
        case TypeKind::BigInt:
            return true;
        default:
            return false;
    }
}

int64_t LengthLimit(const TypeSpec& t) {
    if (t.kind == TypeKind::Text || t.kind == TypeKind::Image) return INT64_MAX;
    return t.length > 0 ? t.length : 30;
}

// True when `x` (of type `from`) is already what converting it to `to` gives.
bool Unchanged(sqlite3_value* x, const TypeSpec& from, const TypeSpec& to) {
    switch (sqlite3_value_type(x)) {
        case SQLITE_INTEGER:
            if (to.IsInteger())
                return (from.IsInteger() || from.kind == TypeKind::Unknown) &&
                       FitsInteger(to.kind, sqlite3_value_int64(x));
            return from == to && to.IsScaled();
        case SQLITE_FLOAT:
            return from.kind == to.kind &&
                   (to.kind == TypeKind::Float || to.kind == TypeKind::Real ||
                    to.kind == TypeKind::DateTime);
        case SQLITE_TEXT: {
            if (!(from.IsText() || from.kind == TypeKind::Unknown)) return false;
            int64_t n = sqlite3_value_bytes(x);
            if (to.kind == TypeKind::Char) return n == LengthLimit(to);
            return (to.kind == TypeKind::VarChar || to.kind == TypeKind::Text) &&
                   n <= LengthLimit(to);
        }
        case SQLITE_BLOB: {
            if (!(from.IsBinary() || from.kind == TypeKind::Unknown)) return false;
            int64_t n = sqlite3_value_bytes(x);
            if (to.kind == TypeKind::Binary) return n == LengthLimit(to);
            return (to.kind == TypeKind::VarBinary || to.kind == TypeKind::Image) &&
                   n <= LengthLimit(to);
        }
        default:
            return false;
    }
}

void ConvertFn(sqlite3_context* ctx, sqlite3_value** argv, bool storing) {
    sqlite3_value* x = argv[0];
    if (sqlite3_value_type(x) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    TypeSpec from = TypeSpec::FromCode(sqlite3_value_int64(argv[1]));
    TypeSpec to = TypeSpec::FromCode(sqlite3_value_int64(argv[2]));
    if (to.kind == TypeKind::Unknown || Unchanged(x, from, to)) {
        sqlite3_result_value(ctx, x);
        return;
    }
    Guarded(ctx, [&] { SetResult(ctx, Convert(ReadValue(x), from, to, storing)); });
}

void CastFn(sqlite3_context* ctx, int, sqlite3_value** argv) { ConvertFn(ctx, argv, false); }
void StoreFn(sqlite3_context* ctx, int, sqlite3_value** argv) { ConvertFn(ctx, argv, true); }

// xr_arith(op, a, aCode, b, bCode, resultCode): exact arithmetic for
// MONEY and DECIMAL results that plain SQLite integers cannot carry.
void ArithFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[3]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const char op = static_cast<char>(sqlite3_value_int(argv[0]));
    Guarded(ctx, [&] {
        SetResult(ctx, Arithmetic(
                           op, ReadValue(argv[1]), TypeSpec::FromCode(sqlite3_value_int64(argv[2])),
                           ReadValue(argv[3]), TypeSpec::FromCode(sqlite3_value_int64(argv[4])),
                           TypeSpec::FromCode(sqlite3_value_int64(argv[5]))));
    });
}

// xr_int(x, bytes): an INT (4) or BIGINT (8) result of SQLite's integer
// arithmetic, refused as the server refuses it when it does not fit (SQLite
// turns a 64-bit overflow into a real).
void IntFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* x = argv[0];
    const bool big = sqlite3_value_int(argv[1]) == 8;
    bool fits = true;
    switch (sqlite3_value_type(x)) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 v = sqlite3_value_int64(x);
            fits = big || (v >= INT32_MIN && v <= INT32_MAX);
            break;
        }
        case SQLITE_FLOAT:
            fits = false;
            break;
        default:
            break;
    }
    if (!fits) {
        sqlite3_result_error(ctx,
                             big ? "Arithmetic overflow error converting expression to data type "
                                   "bigint."
                                 : "Arithmetic overflow error converting expression to data type "
                                   "int.",
                             -1);
        return;
    }
    sqlite3_result_value(ctx, x);
}

void LenFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* x = argv[0];
    switch (sqlite3_value_type(x)) {
        case SQLITE_NULL:
            sqlite3_result_null(ctx);
            return;
        case SQLITE_TEXT: {
            std::string_view s = TextOf(x);
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
            sqlite3_result_int64(ctx, static_cast<int64_t>(s.size()));
            return;
        }
        case SQLITE_BLOB:
            sqlite3_result_int64(ctx, sqlite3_value_bytes(x));
            return;
        default:
            // A number counts the characters of its text form.
            Guarded(ctx, [&] {
                Value v = ReadValue(x);
                Value text = Convert(v, NaturalType(v), TypeSpec::Make(TypeKind::VarChar, 8000));
                sqlite3_result_int64(ctx, static_cast<int64_t>(text.s.size()));
            });
    }
}

// An OLE date from a function argument: numbers are OLE dates, text is read
// as the server reads dates. False for NULL.
bool DateArg(sqlite3_value* v, double* ole) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return false;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            *ole = sqlite3_value_double(v);
            return true;
        default:
            if (!ParseDateTimeText(TextOf(v), ole))
                throw ComError(DB_E_ERRORSINCOMMAND,
                               "Conversion failed when converting date and/or time from character "
                               "string.");
            return true;
    }
}

void DatePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Guarded(ctx, [&] {
        double d = 0;
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL || !DateArg(argv[1], &d)) {
            sqlite3_result_null(ctx);
            return;
        }
        sqlite3_result_int64(ctx, DatePart(TextOf(argv[0]), d));
    });
}

void DateDiffFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Guarded(ctx, [&] {
        double a = 0, b = 0;
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL || !DateArg(argv[1], &a) ||
            !DateArg(argv[2], &b)) {
            sqlite3_result_null(ctx);
            return;
        }
        sqlite3_result_int64(ctx, DateDiff(TextOf(argv[0]), a, b));
    });
}

void DateAddFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Guarded(ctx, [&] {
        double d = 0;
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL ||
            sqlite3_value_type(argv[1]) == SQLITE_NULL || !DateArg(argv[2], &d)) {
            sqlite3_result_null(ctx);
            return;
        }
        // DATEADD takes the whole part of a fractional number.
        int64_t n = sqlite3_value_type(argv[1]) == SQLITE_INTEGER
                        ? sqlite3_value_int64(argv[1])
                        : static_cast<int64_t>(
                              std::trunc(std::clamp(sqlite3_value_double(argv[1]), -1e15, 1e15)));
        sqlite3_result_double(ctx, DateAdd(TextOf(argv[0]), n, d));
    });
}

void GetDateFn(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_double(ctx, CurrentDateTime());
}

int CompareNumbers(sqlite3_value* a, sqlite3_value* b) {
    if (sqlite3_value_type(a) == SQLITE_INTEGER && sqlite3_value_type(b) == SQLITE_INTEGER) {
        int64_t x = sqlite3_value_int64(a), y = sqlite3_value_int64(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    // long double holds every 64-bit integer exactly
    auto wide = [](sqlite3_value* v) {
        return sqlite3_value_type(v) == SQLITE_INTEGER
                   ? static_cast<long double>(sqlite3_value_int64(v))
                   : static_cast<long double>(sqlite3_value_double(v));
    };
    long double x = wide(a), y = wide(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

int CompareBytes(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void CompareFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* a = argv[0];
    sqlite3_value* b = argv[1];
    int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto isNumber = [](int t) { return t == SQLITE_INTEGER || t == SQLITE_FLOAT; };
    if (isNumber(ta) && isNumber(tb)) {
        sqlite3_result_int(ctx, CompareNumbers(a, b));
    } else if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        sqlite3_result_int(ctx, CollateCompare(TextOf(a), TextOf(b)));
    } else if (ta == SQLITE_BLOB && tb == SQLITE_BLOB) {
        sqlite3_result_int(ctx, CompareBytes(BlobOf(a), BlobOf(b)));
    } else if (isNumber(ta) || isNumber(tb)) {
        // The other side is brought to the number's type, failing as the server does.
        Guarded(ctx, [&] {
            bool numberFirst = isNumber(ta);
            Value number = ReadValue(numberFirst ? a : b);
            Value other = ReadValue(numberFirst ? b : a);
            TypeSpec type = NaturalType(number);
            Value converted = Convert(other, NaturalType(other), type);
            long double x = number.kind == Value::Kind::Int ? number.i : number.d;
            long double y = converted.kind == Value::Kind::Int ? converted.i : converted.d;
            int c = x < y ? -1 : x > y ? 1 : 0;
            sqlite3_result_int(ctx, numberFirst ? c : -c);
        });
    } else {
        // Text against binary: compared as text.
        std::string_view x = ta == SQLITE_TEXT ? TextOf(a) : BlobOf(a);
        std::string_view y = tb == SQLITE_TEXT ? TextOf(b) : BlobOf(b);
        sqlite3_result_int(ctx, CollateCompare(x, y));
    }
}

// CHARINDEX: 1-based position of `needle` in `hay` from `start`, without case; 0 when absent.
void CharIndexFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    std::string_view needle = TextOf(argv[0]);
    std::string_view hay = TextOf(argv[1]);
    int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
    if (start < 1) start = 1;
    if (needle.empty() || static_cast<uint64_t>(start - 1) >= hay.size()) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    auto it = std::search(hay.begin() + (start - 1), hay.end(), needle.begin(), needle.end(),
                          [&](char x, char y) { return fold(x) == fold(y); });
    sqlite3_result_int64(ctx, it == hay.end() ? 0 : (it - hay.begin()) + 1);
}

// STR(x[, length[, decimals]]): right-aligned, rounded; stars when the number does not fit.
void StrFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    double x = sqlite3_value_double(argv[0]);
    int64_t length = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
    int64_t decimals = argc > 2 ? sqlite3_value_int64(argv[2]) : 0;
    if (length < 1 || length > 8000 || decimals < 0) {
        sqlite3_result_null(ctx);
        return;
    }
    decimals = std::min<int64_t>(decimals, 16);
    std::string s;
    for (int64_t d = decimals; d >= 0; --d) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(d), x);
        s = buf;
        if (static_cast<int64_t>(s.size()) <= length) break;
    }
    if (static_cast<int64_t>(s.size()) > length) {
        s.assign(static_cast<size_t>(length), '*');
    } else {
        s.insert(0, static_cast<size_t>(length) - s.size(), ' ');
    }
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int Collate(void*, int na, const void* a, int nb, const void* b) {
    return CollateCompare(std::string_view(static_cast<const char*>(a), na),
                          std::string_view(static_cast<const char*>(b), nb));
}

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

void Register(sqlite3* handle, const char* name, int argc, Fn fn, bool deterministic = true) {
    int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (deterministic ? SQLITE_DETERMINISTIC : 0);
    int rc = sqlite3_create_function_v2(handle, name, argc, flags, nullptr, fn, nullptr, nullptr,
                                        nullptr);
    if (rc != SQLITE_OK)
        throw ComError(E_FAIL_, std::string("Cannot register the SQL function ") + name + ": " +
                                    sqlite3_errstr(rc));
}

}  // namespace

void RegisterSqlFunctions(sqlite3* handle) {
    if (handle == nullptr) throw ComError(E_INVALIDARG_, "No database handle.");
    int rc =
        sqlite3_create_collation_v2(handle, kCollation, SQLITE_UTF8, nullptr, Collate, nullptr);
    if (rc != SQLITE_OK)
        throw ComError(E_FAIL_,
                       std::string("Cannot register the collation: ") + sqlite3_errstr(rc));
    Register(handle, "xr_cast", 3, CastFn);
    Register(handle, "xr_store", 3, StoreFn);
    Register(handle, "xr_arith", 6, ArithFn);
    Register(handle, "xr_int", 2, IntFn);
    Register(handle, "xr_len", 1, LenFn);
    Register(handle, "xr_datepart", 2, DatePartFn);
    Register(handle, "xr_datediff", 3, DateDiffFn);
    Register(handle, "xr_dateadd", 3, DateAddFn);
    Register(handle, "xr_getdate", 0, GetDateFn, false);
    Register(handle, "xr_compare", 2, CompareFn);
    Register(handle, "xr_charindex", 2, CharIndexFn);
    Register(handle, "xr_charindex", 3, CharIndexFn);
    Register(handle, "xr_str", 1, StrFn);
    Register(handle, "xr_str", 2, StrFn);
    Register(handle, "xr_str", 3, StrFn);
}

}  // namespace xr::engine::sqlite
