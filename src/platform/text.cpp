#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace xr {

namespace {

// ASCII folding only: the server's default collation ignores the case of
// letters and leaves every other byte alone.
inline unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
inline unsigned char FoldLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

inline bool IsTrimBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldUpper(static_cast<unsigned char>(a[i])) !=
            FoldUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

int ICompare(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = FoldUpper(static_cast<unsigned char>(a[i]));
        int cb = FoldUpper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    return out;
}

std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(FoldLower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view TrimRight(std::string_view s) {
    size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ') --end;
    return s.substr(0, end);
}

std::string_view Trim(std::string_view s) {
    size_t begin = 0, end = s.size();
    while (begin < end && IsTrimBlank(s[begin])) ++begin;
    while (end > begin && IsTrimBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = VFormat(fmt, args);
    va_end(args);
    return out;
}

std::string VFormat(const char* fmt, va_list args) {
    if (!fmt) return std::string();
    // Most log lines and statements fit the stack buffer; longer ones are
    // formatted a second time into a string of the exact size.
    char buffer[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(buffer, sizeof buffer, fmt, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    va_copy(copy, args);
    std::vsnprintf(out.data(), out.size() + 1, fmt, copy);
    va_end(copy);
    return out;
}

std::string QuoteSql(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
    }
    return out;
}

namespace {

// Joins pieces with " + ". A long run is grouped in parentheses, at most
// kGroup terms to a chain at any level, so that a value with many line breaks
// never makes an expression deeper than a reader takes (each level of
// grouping holds kGroup times more).
std::string JoinPieces(const std::vector<std::string>& pieces, size_t from, size_t to) {
    constexpr size_t kGroup = 32;
    const size_t n = to - from;
    std::string out;
    if (n <= kGroup) {
        for (size_t i = from; i < to; ++i) {
            if (i > from) out += " + ";
            out += pieces[i];
        }
        return out;
    }
    const size_t step = (n + kGroup - 1) / kGroup;
    for (size_t at = from; at < to; at += step) {
        if (at > from) out += " + ";
        out += '(' + JoinPieces(pieces, at, std::min(to, at + step)) + ')';
    }
    return out;
}

}  // namespace

std::string SqlTextLiteral(std::string_view s) {
    if (s.find_first_of("\r\n") == std::string_view::npos) return "'" + QuoteSql(s) + "'";
    std::vector<std::string> pieces;
    bool open = false;  // a quoted piece is being written
    for (char c : s) {
        if (c == '\r' || c == '\n') {
            if (open) pieces.back() += '\'';
            open = false;
            pieces.emplace_back(c == '\r' ? "CHAR(13)" : "CHAR(10)");
            continue;
        }
        if (!open) pieces.emplace_back("'");
        open = true;
        pieces.back() += c;
        if (c == '\'') pieces.back() += '\'';
    }
    if (open) pieces.back() += '\'';
    return JoinPieces(pieces, 0, pieces.size());
}

}  // namespace xr
