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

std::string MaskPasswords(std::string_view text) {
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
        if (!span.hasEquals) continue;
        if (!IsPasswordKey(text.substr(span.keyBegin, span.keyEnd - span.keyBegin))) continue;
        out.append(text.substr(copied, span.valueBegin - copied));
        out += "***";
        copied = span.valueEnd;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace xr::engine
