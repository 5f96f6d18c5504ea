#include "engine/connection_string.h"

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

constexpr const char* kMalformed = kMalformedConnectionText;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where one "key=value" pair lies in the text. Offsets are into the original
// text so that MaskPasswords can rewrite the value and keep everything else.
struct PairSpan {
    size_t keyBegin = 0, keyEnd = 0;      // trimmed key
    size_t valueBegin = 0, valueEnd = 0;  // trimmed value, quotes included
    bool hasEquals = false;
    bool quoted = false;
    bool wellFormed = true;  // false: unterminated quote or text after the closing quote
    std::string value;       // the value with quotes removed and doubled quotes undone
};

// Reads the pair that starts at `pos` (not at a ';' or a blank) and leaves
// `pos` on the ';' that ends it or at the end of the text.
PairSpan ReadPair(std::string_view text, size_t& pos) {
    PairSpan span;
    const size_t n = text.size();
    span.keyBegin = pos;
    while (pos < n && text[pos] != '=' && text[pos] != ';') ++pos;
    span.keyEnd = pos;
    while (span.keyEnd > span.keyBegin && IsBlank(text[span.keyEnd - 1])) --span.keyEnd;
    if (pos >= n || text[pos] != '=') {
        span.valueBegin = span.valueEnd = pos;
        return span;
    }
    span.hasEquals = true;
    ++pos;
    while (pos < n && IsBlank(text[pos])) ++pos;
    span.valueBegin = pos;
    if (pos < n && (text[pos] == '\'' || text[pos] == '"')) {
        const char quote = text[pos++];
        span.quoted = true;
        bool closed = false;
        while (pos < n) {
            char c = text[pos];
            if (c == quote) {
                if (pos + 1 < n && text[pos + 1] == quote) {  // a doubled quote stands for itself
                    span.value += quote;
                    pos += 2;
                    continue;
                }
                ++pos;
                closed = true;
                break;
            }
            span.value += c;
            ++pos;
        }
        span.valueEnd = pos;
        if (!closed) {
            span.wellFormed = false;
            return span;
        }
        while (pos < n && IsBlank(text[pos])) ++pos;
        if (pos < n && text[pos] != ';') {
            span.wellFormed = false;
            while (pos < n && text[pos] != ';') ++pos;
            span.valueEnd = pos;
        }
        return span;
    }
    while (pos < n && text[pos] != ';') ++pos;
    span.valueEnd = pos;
    while (span.valueEnd > span.valueBegin && IsBlank(text[span.valueEnd - 1])) --span.valueEnd;
    span.value.assign(text.substr(span.valueBegin, span.valueEnd - span.valueBegin));
    return span;
}

bool IsPasswordKey(std::string_view key) { return IEquals(key, "Password") || IEquals(key, "Pwd"); }

constexpr std::string_view kMask = "***";

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// What may stand before a password key for it to count as one.
bool KeyAfterAnyNonWord(char before) { return !IsWordChar(before); }
bool KeyAfterBlank(char before) { return IsBlank(before); }

// The length of the password key (Password or Pwd, any case) at `pos`,
// followed by optional blanks and '='; 0 when there is none.
size_t PasswordKeyAt(std::string_view text, size_t pos, bool (*boundary)(char)) {
    if (pos > 0 && !boundary(text[pos - 1])) return 0;
    for (std::string_view key : {std::string_view("Password"), std::string_view("Pwd")}) {
        if (!IEquals(text.substr(pos, key.size()), key)) continue;
        size_t p = pos + key.size();
        while (p < text.size() && IsBlank(text[p])) ++p;
        if (p < text.size() && text[p] == '=') return p + 1 - pos;
    }
    return 0;
}

// Where the first password value in `text` from `from` on begins (after its
// key, '=' and blanks); npos when there is none.
size_t FirstPasswordValue(std::string_view text, size_t from, bool (*boundary)(char)) {
    for (size_t pos = from; pos < text.size(); ++pos) {
        if (size_t length = PasswordKeyAt(text, pos, boundary)) {
            pos += length;
            while (pos < text.size() && IsBlank(text[pos])) ++pos;
            return pos;
        }
    }
    return std::string_view::npos;
}

// The end of a password value beginning at `pos`, read so as to hide too
// much rather than too little: a quoted value runs to its closing quote, or
// to the end when it never closes, and on to the ';' should more follow the
// quote; an unquoted value runs to the next ';', and over any following
// piece without '=', which can only be the rest of a password holding ';'.
size_t PasswordValueEnd(std::string_view text, size_t pos) {
    const size_t n = text.size();
    const auto nextSemicolon = [&](size_t from) {
        const size_t at = text.find(';', from);
        return at == std::string_view::npos ? n : at;
    };
    if (pos < n && (text[pos] == '\'' || text[pos] == '"')) {
        const char quote = text[pos++];
        while (pos < n) {
            if (text[pos] != quote) {
                ++pos;
            } else if (pos + 1 < n && text[pos + 1] == quote) {
                pos += 2;
            } else {
                break;
            }
        }
        if (pos >= n) return n;
        const size_t closed = ++pos;
        while (pos < n && IsBlank(text[pos])) ++pos;
        return (pos >= n || text[pos] == ';') ? closed : nextSemicolon(pos);
    }
    const size_t begin = pos;
    size_t end = nextSemicolon(pos);
    while (end < n) {
        const size_t next = nextSemicolon(end + 1);
        const std::string_view piece = text.substr(end + 1, next - end - 1);
        if (piece.find('=') != std::string_view::npos || Trim(piece).empty()) break;
        end = next;
    }
    while (end > begin && IsBlank(text[end - 1])) --end;
    return end;
}

// Masks the value after every password key that `boundary` lets stand.
std::string MaskFromEveryKey(std::string_view text, bool (*boundary)(char)) {
    std::string out;
    out.reserve(text.size());
    size_t copied = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t begin = FirstPasswordValue(text, pos, boundary);
        if (begin == std::string_view::npos) break;
        const size_t end = PasswordValueEnd(text, begin);
        out.append(text.substr(copied, begin - copied));
        out += kMask;
        copied = pos = end;
        if (end == begin) ++pos;  // an empty value: look on past it
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
    ConnectionString result;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ';' || IsBlank(text[pos])) {
            ++pos;
            continue;
        }
        PairSpan span = ReadPair(text, pos);
        if (!span.hasEquals || !span.wellFormed || span.keyEnd == span.keyBegin)
            throw ComError(E_FAIL_, kMalformed);
        result.m_pairs.emplace_back(
            std::string(text.substr(span.keyBegin, span.keyEnd - span.keyBegin)),
            std::move(span.value));
    }
    return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
    // A key given twice: the first value holds, so that a clause put in front
    // (a thread redirected to another server) overrides the stored string.
    for (const auto& pair : m_pairs)
        if (IEquals(pair.first, key)) return pair.second;
    return std::nullopt;
}

std::string MaskPasswords(std::string_view text, MaskAs as) {
    if (as == MaskAs::kMessage) return MaskFromEveryKey(text, KeyAfterAnyNonWord);
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    size_t copied = 0;  // text before this offset is already in `out`
    while (pos < text.size()) {
        if (text[pos] == ';' || IsBlank(text[pos])) {
            ++pos;
            continue;
        }
        PairSpan span = ReadPair(text, pos);
        // Text that does not parse cannot be trusted to split where the
        // parser would: a stray quote may hide a password inside some other
        // value. Every password key is looked for instead.
        if (!span.hasEquals || !span.wellFormed || span.keyEnd == span.keyBegin)
            return MaskFromEveryKey(text, KeyAfterAnyNonWord);
        const std::string_view value =
            text.substr(span.valueBegin, span.valueEnd - span.valueBegin);
        size_t maskFrom = span.valueBegin;
        if (!IsPasswordKey(text.substr(span.keyBegin, span.keyEnd - span.keyBegin))) {
            // "Data Source=/srv Password=x": a ';' left out puts the password
            // inside the value before it.
            if (span.quoted) continue;
            const size_t inValue = FirstPasswordValue(value, 0, KeyAfterBlank);
            if (inValue == std::string_view::npos) continue;
            maskFrom += inValue;
        }
        out.append(text.substr(copied, maskFrom - copied));
        out += kMask;
        copied = span.valueEnd;
    }
    out.append(text.substr(copied));
    return out;
}

std::string QuoteValue(std::string_view value) {
    const bool plain = !value.empty() && value.find(';') == std::string_view::npos &&
                       value.front() != '\'' && value.front() != '"' && !IsBlank(value.front()) &&
                       !IsBlank(value.back());
    if (plain || value.empty()) return std::string(value);
    std::string text = "\"";
    for (char c : value) {
        if (c == '"') text += '"';
        text += c;
    }
    return text + "\"";
}

}  // namespace xr::engine
