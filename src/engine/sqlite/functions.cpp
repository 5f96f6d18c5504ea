// The collation and the SQL functions the rendered statements call. They run
// once per value written or compared, so values that need no change are
// handed back to SQLite as they came, without a copy.
#include "engine/sqlite/functions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// xr_convert(x, fromCode, toCode, style): CONVERT with a style.
void ConvertStyleFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    Guarded(ctx, [&] {
        SetResult(
            ctx, ConvertStyled(ReadValue(argv[0]), TypeSpec::FromCode(sqlite3_value_int64(argv[1])),
                               TypeSpec::FromCode(sqlite3_value_int64(argv[2])),
                               sqlite3_value_int(argv[3])));
    });
}

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

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
    return false;
}

// Text compares without case, as the collation does.
inline char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameChar(char x, char y) { return Fold(x) == Fold(y); }

// The first place of `needle` in `hay` at or after `from`, without case; npos when absent.
size_t FindFolded(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty() || from >= hay.size() || needle.size() > hay.size() - from)
        return std::string_view::npos;
    auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(from), hay.end(),
                          needle.begin(), needle.end(), SameChar);
    return it == hay.end() ? std::string_view::npos : static_cast<size_t>(it - hay.begin());
}

// An empty text must not be handed over as a null pointer, which SQLite reads as NULL.
void ResultText(sqlite3_context* ctx, std::string_view s) {
    sqlite3_result_text64(ctx, s.empty() ? "" : s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// CHARINDEX: 1-based position of `needle` in `hay` from `start`, without case; 0 when absent.
void CharIndexFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string_view needle = TextOf(argv[0]);
    std::string_view hay = TextOf(argv[1]);
    int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
    if (start < 1) start = 1;
    if (static_cast<uint64_t>(start - 1) >= hay.size()) return sqlite3_result_int(ctx, 0);
    size_t at = FindFolded(hay, needle, static_cast<size_t>(start - 1));
    sqlite3_result_int64(ctx, at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// SUBSTRING(s, start, length): the characters from `start` to start + length - 1
// that exist; a start before the first character shortens what is left.
void SubstringFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
    const int64_t start = sqlite3_value_int64(argv[1]);
    const int64_t length = sqlite3_value_int64(argv[2]);
    if (length < 0)
        return sqlite3_result_error(
            ctx, "Invalid length parameter passed to the substring function.", -1);
    std::string_view s = TextOf(argv[0]);
    const int64_t n = static_cast<int64_t>(s.size());
    int64_t first = std::max<int64_t>(start, 1);
    int64_t end = start > INT64_MAX - length ? INT64_MAX : start + length;  // one past the last
    end = std::min(end, n + 1);
    if (end <= first) return ResultText(ctx, std::string_view());
    ResultText(ctx, s.substr(static_cast<size_t>(first - 1), static_cast<size_t>(end - first)));
}

// LEFT(s, n): the first n characters; a negative n is the server's error.
void LeftFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(2, argv)) return sqlite3_result_null(ctx);
    const int64_t n = sqlite3_value_int64(argv[1]);
    if (n < 0)
        return sqlite3_result_error(ctx, "Invalid length parameter passed to the left function.",
                                    -1);
    std::string_view s = TextOf(argv[0]);
    if (static_cast<uint64_t>(n) >= s.size()) return sqlite3_result_value(ctx, argv[0]);
    ResultText(ctx, s.substr(0, static_cast<size_t>(n)));
}

// REPLACE: every occurrence found without case, as the collation compares.
void ReplaceFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
    std::string_view s = TextOf(argv[0]);
    std::string_view from = TextOf(argv[1]);
    size_t at = FindFolded(s, from, 0);
    if (at == std::string_view::npos) return sqlite3_result_value(ctx, argv[0]);
    std::string_view to = TextOf(argv[2]);
    Guarded(ctx, [&] {
        std::string out;
        out.reserve(s.size() + to.size());
        size_t done = 0;
        // The result is a VARCHAR(8000): what lies beyond is never built.
        while (at != std::string_view::npos && out.size() <= 8000) {
            out.append(s.substr(done, at - done));
            out.append(to);
            done = at + from.size();
            at = FindFolded(s, from, done);
        }
        if (out.size() <= 8000) out.append(s.substr(done));
        if (out.size() > 8000) out.resize(8000);
        ResultText(ctx, out);
    });
}

// LIKE's pattern language: % any run, _ any one character, [abc] [a-c] one of a
// set, [^a] one not in it, the escape character taking the next one as it is.
// Without case; blanks at the end of the value are ignored.
class LikePattern {
public:
    LikePattern(std::string_view p, int escape) : m_p(p), m_escape(escape) {}

    // Whether `s` from its start matches the pattern from `pi`.
    bool Match(std::string_view s, size_t pi = 0) const {
        size_t si = 0;
        size_t starP = std::string_view::npos, starS = 0;
        for (;;) {
            if (pi == m_p.size() && Blanks(s, si)) return true;
            if (pi < m_p.size() && m_p[pi] == '%') {
                starP = ++pi;
                starS = si;
                continue;
            }
            if (si < s.size() && pi < m_p.size()) {
                size_t next = 0;
                if (One(s[si], pi, &next)) {
                    ++si;
                    pi = next;
                    continue;
                }
            }
            if (starP == std::string_view::npos || starS >= s.size()) return false;
            pi = starP;
            si = ++starS;
        }
    }

    bool StartsWithAny() const { return !m_p.empty() && m_p[0] == '%'; }

private:
    static bool Blanks(std::string_view s, size_t from) {
        for (size_t i = from; i < s.size(); ++i)
            if (s[i] != ' ') return false;
        return true;
    }

    // Whether `c` matches the one-character element at `pi`; `next` is the element after it.
    bool One(char c, size_t pi, size_t* next) const {
        const char p = m_p[pi];
        if (m_escape >= 0 && p == static_cast<char>(m_escape) && pi + 1 < m_p.size()) {
            *next = pi + 2;
            return SameChar(c, m_p[pi + 1]);
        }
        if (p == '_') {
            *next = pi + 1;
            return true;
        }
        if (p == '[') {
            size_t close = m_p.find(']', pi + 2);
            if (close != std::string_view::npos) {
                *next = close + 1;
                size_t i = pi + 1;
                bool negate = false;
                if (m_p[i] == '^' && i + 1 < close) {
                    negate = true;
                    ++i;
                }
                bool in = false;
                const auto f = static_cast<unsigned char>(Fold(c));
                auto at = [&](size_t k) { return static_cast<unsigned char>(Fold(m_p[k])); };
                for (; i < close; ++i) {
                    if (i + 2 < close && m_p[i + 1] == '-') {
                        in = in || (f >= at(i) && f <= at(i + 2));
                        i += 2;
                    } else {
                        in = in || f == at(i);
                    }
                }
                return in != negate;
            }
        }
        *next = pi + 1;
        return SameChar(c, p);
    }

    std::string_view m_p;
    int m_escape;
};

int EscapeOf(int argc, sqlite3_value** argv) {
    if (argc < 3) return -1;
    std::string_view e = TextOf(argv[2]);
    return e.empty() ? -1 : static_cast<unsigned char>(e[0]);
}

void LikeFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    LikePattern p(TextOf(argv[1]), EscapeOf(argc, argv));
    sqlite3_result_int(ctx, p.Match(TextOf(argv[0])) ? 1 : 0);
}

// PATINDEX: where the pattern first matches (a leading % lets it start
// anywhere); 0 when it does not.
void PatIndexFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(2, argv)) return sqlite3_result_null(ctx);
    std::string_view pattern = TextOf(argv[0]);
    std::string_view s = TextOf(argv[1]);
    LikePattern p(pattern, -1);
    if (!p.StartsWithAny()) return sqlite3_result_int(ctx, p.Match(s) ? 1 : 0);
    for (size_t i = 0; i < s.size(); ++i) {
        if (p.Match(s.substr(i), 1)) return sqlite3_result_int64(ctx, static_cast<int64_t>(i) + 1);
    }
    sqlite3_result_int(ctx, 0);
}

// STUFF(s, start, length, insert): NULL for a start outside the text or a
// negative length; a length past the end deletes to the end.
void StuffFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
    std::string_view s = TextOf(argv[0]);
    const int64_t start = sqlite3_value_int64(argv[1]);
    const int64_t length = sqlite3_value_int64(argv[2]);
    const int64_t n = static_cast<int64_t>(s.size());
    if (start < 1 || start > n || length < 0) return sqlite3_result_null(ctx);
    const size_t cut = static_cast<size_t>(std::min(length, n - start + 1));
    Guarded(ctx, [&] {
        std::string out(s.substr(0, static_cast<size_t>(start - 1)));
        out.append(TextOf(argv[3]));
        out.append(s.substr(static_cast<size_t>(start - 1) + cut));
        if (out.size() > 8000) out.resize(8000);
        ResultText(ctx, out);
    });
}

// REPLICATE and SPACE: NULL for a negative count; at most 8000 characters.
void ReplicateFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(2, argv)) return sqlite3_result_null(ctx);
    const int64_t count = sqlite3_value_int64(argv[1]);
    if (count < 0) return sqlite3_result_null(ctx);
    std::string_view s = TextOf(argv[0]);
    Guarded(ctx, [&] {
        std::string out;
        if (!s.empty()) {
            const int64_t times =
                std::min<int64_t>(count, 8000 / static_cast<int64_t>(s.size()) + 1);
            out.reserve(static_cast<size_t>(times) * s.size());
            for (int64_t i = 0; i < times; ++i) out.append(s);
            if (out.size() > 8000) out.resize(8000);
        }
        ResultText(ctx, out);
    });
}

void SpaceFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(1, argv)) return sqlite3_result_null(ctx);
    const int64_t count = sqlite3_value_int64(argv[0]);
    if (count < 0) return sqlite3_result_null(ctx);
    Guarded(ctx, [&] {
        ResultText(ctx, std::string(static_cast<size_t>(std::min<int64_t>(count, 8000)), ' '));
    });
}

[[noreturn]] void Overflow(TypeKind k) {
    const char* name = k == TypeKind::BigInt       ? "bigint"
                       : k == TypeKind::Money      ? "money"
                       : k == TypeKind::SmallMoney ? "smallmoney"
                       : k == TypeKind::Decimal    ? "numeric"
                       : k == TypeKind::SmallInt   ? "smallint"
                       : k == TypeKind::TinyInt    ? "tinyint"
                                                   : "int";
    throw ComError(
        DB_E_ERRORSINCOMMAND,
        std::string("Arithmetic overflow error converting expression to data type ") + name + ".");
}

// Whether the stored integer `v` fits a value of type `t`.
bool FitsStored(const TypeSpec& t, __int128 v) {
    switch (t.kind) {
        case TypeKind::Int:
        case TypeKind::SmallMoney:
            return v >= INT32_MIN && v <= INT32_MAX;
        case TypeKind::SmallInt:
            return v >= INT16_MIN && v <= INT16_MAX;
        case TypeKind::TinyInt:
            return v >= 0 && v <= 255;
        case TypeKind::Decimal: {
            __int128 limit = 1;
            for (int i = 0; i < t.precision; ++i) limit *= 10;
            return v > -limit && v < limit;
        }
        default:
            return v >= INT64_MIN && v <= INT64_MAX;
    }
}

int ScaleOfType(const TypeSpec& t) {
    if (t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney) return 4;
    return t.kind == TypeKind::Decimal ? t.scale : 0;
}

// xr_abs(x, code): ABS of an integer, MONEY or DECIMAL, which overflows at the type's minimum.
void AbsFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* x = argv[0];
    if (sqlite3_value_type(x) != SQLITE_INTEGER) {
        if (sqlite3_value_type(x) == SQLITE_NULL) return sqlite3_result_null(ctx);
        return sqlite3_result_double(ctx, std::fabs(sqlite3_value_double(x)));
    }
    const int64_t v = sqlite3_value_int64(x);
    if (v >= 0) return sqlite3_result_value(ctx, x);
    const TypeSpec t = TypeSpec::FromCode(sqlite3_value_int64(argv[1]));
    const __int128 a = -static_cast<__int128>(v);
    if (!FitsStored(t, a)) {
        Guarded(ctx, [&] { Overflow(t.kind); });
        return;
    }
    sqlite3_result_int64(ctx, static_cast<int64_t>(a));
}

// xr_round(x, length, truncate, code): ROUND in the type of x, half away from zero.
void RoundFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
    sqlite3_value* x = argv[0];
    const int64_t length = sqlite3_value_int64(argv[1]);
    const bool truncate = sqlite3_value_int64(argv[2]) != 0;
    const TypeSpec t = TypeSpec::FromCode(sqlite3_value_int64(argv[3]));
    if (sqlite3_value_type(x) == SQLITE_INTEGER && (t.IsInteger() || t.IsScaled())) {
        const int64_t drop = ScaleOfType(t) - length;  // digits dropped from the stored integer
        if (drop <= 0) return sqlite3_result_value(ctx, x);
        const __int128 v = sqlite3_value_int64(x);
        if (drop > 19) return sqlite3_result_int(ctx, 0);
        __int128 factor = 1;
        for (int64_t i = 0; i < drop; ++i) factor *= 10;
        __int128 q = v / factor;
        const __int128 rem = v % factor;
        if (!truncate && (rem < 0 ? -rem : rem) * 2 >= factor) q += v < 0 ? -1 : 1;
        const __int128 r = q * factor;
        if (!FitsStored(t, r)) {
            Guarded(ctx, [&] { Overflow(t.kind); });
            return;
        }
        return sqlite3_result_int64(ctx, static_cast<int64_t>(r));
    }
    const double d = sqlite3_value_double(x);
    if (!std::isfinite(d) || length > 308) return sqlite3_result_double(ctx, d);
    if (length < -308) return sqlite3_result_double(ctx, 0);
    const double p = std::pow(10.0, static_cast<double>(std::llabs(length)));
    const double y = length >= 0 ? d * p : d / p;
    if (!std::isfinite(y)) return sqlite3_result_double(ctx, d);
    const double r = truncate ? std::trunc(y) : std::round(y);
    sqlite3_result_double(ctx, length >= 0 ? r / p : r * p);
}

// xr_floor(x, fromCode, toCode, ceiling): FLOOR or CEILING of a MONEY (which
// keeps its places) or a DECIMAL (which has none left); floats and integers
// are done in SQL.
void FloorFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* x = argv[0];
    if (sqlite3_value_type(x) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const bool ceiling = sqlite3_value_int(argv[3]) != 0;
    if (sqlite3_value_type(x) != SQLITE_INTEGER) {
        const double d = sqlite3_value_double(x);
        return sqlite3_result_double(ctx, ceiling ? std::ceil(d) : std::floor(d));
    }
    const TypeSpec from = TypeSpec::FromCode(sqlite3_value_int64(argv[1]));
    const TypeSpec to = TypeSpec::FromCode(sqlite3_value_int64(argv[2]));
    int64_t factor = 1;
    for (int i = 0; i < ScaleOfType(from); ++i) factor *= 10;
    const int64_t v = sqlite3_value_int64(x);
    int64_t q = v / factor;
    const int64_t rem = v % factor;
    if (ceiling && rem > 0) ++q;
    if (!ceiling && rem < 0) --q;
    __int128 r = q;
    for (int i = 0; i < ScaleOfType(to); ++i) r *= 10;
    if (!FitsStored(to, r)) {
        Guarded(ctx, [&] { Overflow(to.kind); });
        return;
    }
    sqlite3_result_int64(ctx, static_cast<int64_t>(r));
}

// xr_power(x, y, xCode, code): POWER worked out in floating point and given the type of x.
void PowerFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (AnyNull(2, argv)) return sqlite3_result_null(ctx);
    const TypeSpec from = TypeSpec::FromCode(sqlite3_value_int64(argv[2]));
    const TypeSpec t = TypeSpec::FromCode(sqlite3_value_int64(argv[3]));
    double x = sqlite3_value_double(argv[0]);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && from.IsScaled())
        x = static_cast<double>(sqlite3_value_int64(argv[0])) / std::pow(10.0, ScaleOfType(from));
    const double r = std::pow(x, sqlite3_value_double(argv[1]));
    Guarded(ctx, [&] {
        if (!std::isfinite(r))
            throw ComError(DB_E_ERRORSINCOMMAND, "An invalid floating point operation occurred.");
        SetResult(ctx, Convert(Value::Real(r), TypeSpec::Make(TypeKind::Float), t));
    });
}

void IsNumericFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
        case SQLITE_BLOB:
            return sqlite3_result_int(ctx, 0);
        case SQLITE_TEXT:
            return sqlite3_result_int(ctx, IsNumericText(TextOf(argv[0])) ? 1 : 0);
        default:
            return sqlite3_result_int(ctx, 1);
    }
}

void IsDateFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
    sqlite3_result_int(ctx, IsDateText(TextOf(argv[0])) ? 1 : 0);
}

void DateNameFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Guarded(ctx, [&] {
        double d = 0;
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL || !DateArg(argv[1], &d))
            return sqlite3_result_null(ctx);
        ResultText(ctx, DateName(TextOf(argv[0]), d));
    });
}

void GetUtcDateFn(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_double(ctx, CurrentUtcDateTime());
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
        // Halves round away from zero, where printf would go to even.
        double r = x;
        const double p = std::pow(10.0, static_cast<double>(d));
        if (std::fabs(x * p) < 0x1p52) r = std::round(x * p) / p;
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(d), r);
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

// xr_sum_money, xr_sum_bigint, xr_sum_numeric: SUM over stored integers that
// fails with the server's overflow message (the type's name is the
// function's user data) where SQLite's sum() says "integer overflow".
struct SumState {
    int64_t total;
    bool any;
    bool overflow;
};

void SumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) return;
    auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
    if (st == nullptr) return sqlite3_result_error_nomem(ctx);
    st->any = true;
    // A real here is an operand that already overflowed the integers.
    if (type != SQLITE_INTEGER ||
        __builtin_add_overflow(st->total, sqlite3_value_int64(argv[0]), &st->total))
        st->overflow = true;
}

void SumFinal(sqlite3_context* ctx) {
    auto* st = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
    if (st == nullptr || !st->any) return sqlite3_result_null(ctx);
    if (st->overflow) {
        const std::string message =
            std::string("Arithmetic overflow error converting expression to data type ") +
            static_cast<const char*>(sqlite3_user_data(ctx)) + ".";
        return sqlite3_result_error(ctx, message.c_str(), -1);
    }
    sqlite3_result_int64(ctx, st->total);
}

void RegisterSum(sqlite3* handle, const char* name, const char* typeName) {
    int rc = sqlite3_create_function_v2(handle, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                        const_cast<char*>(typeName), nullptr, SumStep, SumFinal,
                                        nullptr);
    if (rc != SQLITE_OK)
        throw ComError(E_FAIL_, std::string("Cannot register the SQL function ") + name + ": " +
                                    sqlite3_errstr(rc));
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
    Register(handle, "xr_convert", 4, ConvertStyleFn);
    Register(handle, "xr_len", 1, LenFn);
    Register(handle, "xr_datepart", 2, DatePartFn);
    Register(handle, "xr_datediff", 3, DateDiffFn);
    Register(handle, "xr_dateadd", 3, DateAddFn);
    Register(handle, "xr_getdate", 0, GetDateFn, false);
    Register(handle, "xr_compare", 2, CompareFn);
    RegisterSum(handle, "xr_sum_money", "money");
    RegisterSum(handle, "xr_sum_bigint", "bigint");
    RegisterSum(handle, "xr_sum_numeric", "numeric");
    Register(handle, "xr_getutcdate", 0, GetUtcDateFn, false);
    Register(handle, "xr_substring", 3, SubstringFn);
    Register(handle, "xr_left", 2, LeftFn);
    Register(handle, "xr_replace", 3, ReplaceFn);
    Register(handle, "xr_like", 2, LikeFn);
    Register(handle, "xr_like", 3, LikeFn);
    Register(handle, "xr_patindex", 2, PatIndexFn);
    Register(handle, "xr_stuff", 4, StuffFn);
    Register(handle, "xr_replicate", 2, ReplicateFn);
    Register(handle, "xr_space", 1, SpaceFn);
    Register(handle, "xr_abs", 2, AbsFn);
    Register(handle, "xr_round", 4, RoundFn);
    Register(handle, "xr_floor", 4, FloorFn);
    Register(handle, "xr_power", 4, PowerFn);
    Register(handle, "xr_isnumeric", 1, IsNumericFn);
    Register(handle, "xr_isdate", 1, IsDateFn);
    Register(handle, "xr_datename", 2, DateNameFn);
    Register(handle, "xr_charindex", 2, CharIndexFn);
    Register(handle, "xr_charindex", 3, CharIndexFn);
    Register(handle, "xr_str", 1, StrFn);
    Register(handle, "xr_str", 2, StrFn);
    Register(handle, "xr_str", 3, StrFn);
}

}  // namespace xr::engine::sqlite
