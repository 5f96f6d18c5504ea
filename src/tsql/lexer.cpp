#include "tsql/lexer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace xr::tsql {

namespace {

struct KeywordEntry {
    std::string_view text;
    Keyword keyword;
    bool reserved;
};

constexpr std::string_view KwName(std::string_view enumName) {
    // NULL_ stands for NULL (a macro name of the C library).
    return enumName.back() == '_' ? enumName.substr(0, enumName.size() - 1) : enumName;
}

constexpr KeywordEntry kEntries[] = {
#define XR_TSQL_KW_RESERVED(k) {KwName(#k), Keyword::k, true},
#define XR_TSQL_KW_CONTEXT(k) {KwName(#k), Keyword::k, false},
    XR_TSQL_RESERVED_KEYWORDS(XR_TSQL_KW_RESERVED) XR_TSQL_CONTEXT_KEYWORDS(XR_TSQL_KW_CONTEXT)
#undef XR_TSQL_KW_RESERVED
#undef XR_TSQL_KW_CONTEXT
};
constexpr size_t kKeywordCount = sizeof(kEntries) / sizeof(kEntries[0]);

constexpr size_t kHashSlots = 1024;  // a power of two, well above the keyword count

constexpr uint32_t HashUpper(std::string_view upper) {
    uint32_t h = 2166136261u;
    for (char ch : upper) h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
    return h;
}

// Every word of a batch is looked up, so the keywords sit in an open-addressing
// hash table; KeywordText indexes them by enum.
struct KeywordTables {
    std::array<const KeywordEntry*, kHashSlots> slots{};
    std::array<const KeywordEntry*, kKeywordCount + 1> byKeyword{};
    KeywordTables() {
        for (const KeywordEntry& e : kEntries) {
            size_t i = HashUpper(e.text) & (kHashSlots - 1);
            while (slots[i]) i = (i + 1) & (kHashSlots - 1);
            slots[i] = &e;
            byKeyword[static_cast<size_t>(e.keyword)] = &e;
        }
    }
};
static_assert(kKeywordCount < kHashSlots / 2);

const KeywordTables& Tables() {
    static const KeywordTables tables;
    return tables;
}

// Character classes, one table lookup per byte.
enum : uint8_t { kBlank = 1, kDigit = 2, kIdentStart = 4, kIdentPart = 8, kHexDigit = 16 };

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> c{};
    for (int i = 0; i < 256; ++i) {
        uint8_t v = 0;
        if (i == ' ' || i == '\t' || i == '\r' || i == '\n' || i == '\v' || i == '\f') v |= kBlank;
        if (i >= '0' && i <= '9') v |= kDigit | kIdentPart | kHexDigit;
        if ((i >= 'a' && i <= 'f') || (i >= 'A' && i <= 'F')) v |= kHexDigit;
        // Bytes of 0x80 and up are taken as letters: names in UTF-8 pass through.
        if ((i >= 'a' && i <= 'z') || (i >= 'A' && i <= 'Z') || i == '_' || i == '#' || i >= 0x80)
            v |= kIdentStart | kIdentPart;
        if (i == '$' || i == '@') v |= kIdentPart;
        c[static_cast<size_t>(i)] = v;
    }
    return c;
}
constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

inline bool Is(char ch, uint8_t cls) {
    return (kClasses[static_cast<unsigned char>(ch)] & cls) != 0;
}

// Error texts quote what the batch holds; very long quotes are cut, as the
// server's messages are.
constexpr size_t kMaxQuote = 4000;

}  // namespace

Keyword LookupKeyword(std::string_view word) {
    constexpr size_t kLongest = 30;  // SEMANTICSIMILARITYDETAILSTABLE
    if (word.empty() || word.size() > kLongest) return Keyword::None;
    char upper[kLongest];
    for (size_t i = 0; i < word.size(); ++i) {
        char ch = word[i];
        upper[i] = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
    }
    std::string_view key(upper, word.size());
    const auto& slots = Tables().slots;
    for (size_t i = HashUpper(key) & (kHashSlots - 1); slots[i]; i = (i + 1) & (kHashSlots - 1)) {
        if (slots[i]->text == key) return slots[i]->keyword;
    }
    return Keyword::None;
}

std::string_view KeywordText(Keyword k) {
    const KeywordEntry* e = Tables().byKeyword[static_cast<size_t>(k)];
    return e ? e->text : std::string_view();
}

bool IsReserved(Keyword k) {
    const KeywordEntry* e = Tables().byKeyword[static_cast<size_t>(k)];
    return e && e->reserved;
}

SourcePos Lexer::PosAt(size_t offset) const {
    return SourcePos{static_cast<uint32_t>(offset), m_line,
                     static_cast<uint32_t>(offset - m_lineStart + 1)};
}

void Lexer::Fail(std::string message, size_t offset) const {
    // Called at the token's start, before any line break inside it was passed.
    throw LexError(std::move(message), PosAt(offset));
}

void Lexer::SkipBlanksAndComments() {
    const size_t n = m_text.size();
    while (m_pos < n) {
        char ch = m_text[m_pos];
        if (ch == '\n') {
            ++m_pos;
            ++m_line;
            m_lineStart = m_pos;
        } else if (Is(ch, kBlank)) {
            ++m_pos;
        } else if (ch == '-' && m_pos + 1 < n && m_text[m_pos + 1] == '-') {
            size_t eol = m_text.find('\n', m_pos);
            m_pos = eol == std::string_view::npos ? n : eol;
        } else if (ch == '/' && m_pos + 1 < n && m_text[m_pos + 1] == '*') {
            // Block comments nest, as on the server.
            const size_t start = m_pos;
            const SourcePos startPos = PosAt(start);
            int depth = 0;
            while (true) {
                if (m_pos + 1 >= n) {
                    throw LexError("Missing end comment mark '*/'.", startPos);
                }
                char c0 = m_text[m_pos], c1 = m_text[m_pos + 1];
                if (c0 == '/' && c1 == '*') {
                    ++depth;
                    m_pos += 2;
                } else if (c0 == '*' && c1 == '/') {
                    m_pos += 2;
                    if (--depth == 0) break;
                } else {
                    ++m_pos;
                    if (c0 == '\n') {
                        ++m_line;
                        m_lineStart = m_pos;
                    }
                }
            }
        } else {
            break;
        }
    }
}

Token Lexer::Make(TokenKind kind, size_t start, size_t end) {
    Token t;
    t.kind = kind;
    t.pos = PosAt(start);
    t.length = static_cast<uint32_t>(end - start);
    t.text = m_text.substr(start, end - start);
    m_pos = end;
    return t;
}

std::string_view Lexer::CheckName(std::string_view name, size_t start) {
    if (name.size() > kMaxIdentifierLength) {
        Fail("The identifier that starts with '" +
                 std::string(name.substr(0, kMaxIdentifierLength)) +
                 "' is too long. Maximum length is 128.",
             start);
    }
    return name;
}

void Lexer::CheckDigits(std::string_view number, size_t start) {
    size_t digits = 0;
    bool leading = true;
    for (char ch : number) {
        if (ch == 'e' || ch == 'E') break;
        if (!Is(ch, kDigit)) continue;
        if (leading && ch == '0') continue;
        leading = false;
        ++digits;
    }
    if (digits > kMaxNumericDigits) {
        Fail("The number '" + std::string(number.substr(0, kMaxQuote)) +
                 "' is out of the range for numeric representation (maximum precision 38).",
             start);
    }
}

Token Lexer::LexWord(size_t start) {
    size_t end = start + 1;
    while (end < m_text.size() && Is(m_text[end], kIdentPart)) ++end;
    Token t = Make(TokenKind::Identifier, start, end);
    CheckName(t.text, start);
    t.keyword = LookupKeyword(t.text);
    t.reserved = IsReserved(t.keyword);
    return t;
}

Token Lexer::LexVariable(size_t start) {
    size_t end = start + 1;
    if (end < m_text.size() && m_text[end] == '@') ++end;  // @@IDENTITY
    const size_t nameStart = end;
    while (end < m_text.size() && Is(m_text[end], kIdentPart)) ++end;
    if (end == nameStart) Fail("Incorrect syntax near '@'.", start);
    Token t = Make(TokenKind::Variable, start, end);
    CheckName(t.text, start);
    return t;
}

Token Lexer::LexNumber(size_t start) {
    const size_t n = m_text.size();
    size_t end = start;
    TokenKind kind = TokenKind::Integer;
    while (end < n && Is(m_text[end], kDigit)) ++end;
    if (end < n && m_text[end] == '.') {
        kind = TokenKind::Decimal;
        ++end;
        while (end < n && Is(m_text[end], kDigit)) ++end;
    }
    if (end < n && (m_text[end] == 'e' || m_text[end] == 'E')) {
        kind = TokenKind::Float;
        ++end;
        if (end < n && (m_text[end] == '+' || m_text[end] == '-') && end + 1 < n &&
            Is(m_text[end + 1], kDigit))
            ++end;
        while (end < n && Is(m_text[end], kDigit)) ++end;
    }
    if (kind != TokenKind::Float) CheckDigits(m_text.substr(start, end - start), start);
    return Make(kind, start, end);
}

Token Lexer::LexMoney(size_t start) {
    const size_t n = m_text.size();
    size_t end = start + 1;
    while (end < n && Is(m_text[end], kDigit)) ++end;
    if (end < n && m_text[end] == '.') {
        ++end;
        while (end < n && Is(m_text[end], kDigit)) ++end;
    }
    CheckDigits(m_text.substr(start + 1, end - start - 1), start);
    Token t = Make(TokenKind::Money, start, end);
    t.text.remove_prefix(1);
    return t;
}

Token Lexer::LexHex(size_t start) {
    size_t end = start + 2;
    while (end < m_text.size() && Is(m_text[end], kHexDigit)) ++end;
    Token t = Make(TokenKind::Hex, start, end);
    t.text.remove_prefix(2);
    return t;
}

Token Lexer::LexQuoted(size_t start, char close, TokenKind kind, bool national) {
    const size_t n = m_text.size();
    const size_t contentStart = start + (national ? 2 : 1);
    const SourcePos startPos = PosAt(start);
    size_t p = contentStart;
    bool escaped = false;
    uint32_t line = m_line;
    size_t lineStart = m_lineStart;
    while (true) {
        size_t q = m_text.find(close, p);
        if (q == std::string_view::npos) {
            std::string_view rest = m_text.substr(contentStart, kMaxQuote);
            throw LexError(
                "Unclosed quotation mark after the character string '" + std::string(rest) + "'.",
                startPos);
        }
        if (q + 1 < n && m_text[q + 1] == close) {
            escaped = true;
            p = q + 2;
            continue;
        }
        p = q;
        break;
    }
    // Line breaks inside the quotes move the line count for later tokens.
    for (size_t i = contentStart; i < p; ++i) {
        if (m_text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    Token t;
    t.kind = kind;
    t.national = national;
    t.pos = startPos;
    t.length = static_cast<uint32_t>(p + 1 - start);
    std::string_view raw = m_text.substr(contentStart, p - contentStart);
    if (escaped) {
        std::string& decoded = m_decoded.emplace_back();
        decoded.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            decoded.push_back(raw[i]);
            if (raw[i] == close) ++i;  // the doubled delimiter
        }
        t.text = decoded;
    } else {
        t.text = raw;
    }
    if (kind == TokenKind::QuotedIdentifier) CheckName(t.text, start);
    m_pos = p + 1;
    m_line = line;
    m_lineStart = lineStart;
    return t;
}

Token Lexer::Next() {
    SkipBlanksAndComments();
    const size_t n = m_text.size();
    const size_t start = m_pos;
    if (start >= n) {
        Token t;
        t.pos = PosAt(n);
        return t;
    }
    const char ch = m_text[start];
    const char next = start + 1 < n ? m_text[start + 1] : '\0';
    switch (ch) {
        case '\'':
            return LexQuoted(start, '\'', TokenKind::String, false);
        case '[':
            return LexQuoted(start, ']', TokenKind::QuotedIdentifier, false);
        case '"':
            return LexQuoted(start, '"',
                             m_quotedIdentifier ? TokenKind::QuotedIdentifier : TokenKind::String,
                             false);
        case '@':
            return LexVariable(start);
        case '$':
            if (Is(next, kDigit) || next == '.') return LexMoney(start);
            break;
        case '.':
            if (Is(next, kDigit)) return LexNumber(start);
            return Make(TokenKind::Dot, start, start + 1);
        case '+':
            return Make(TokenKind::Plus, start, start + 1);
        case '-':
            return Make(TokenKind::Minus, start, start + 1);
        case '*':
            return Make(TokenKind::Star, start, start + 1);
        case '/':
            return Make(TokenKind::Slash, start, start + 1);
        case '%':
            return Make(TokenKind::Percent, start, start + 1);
        case '=':
            return Make(TokenKind::Eq, start, start + 1);
        case '&':
            return Make(TokenKind::Amp, start, start + 1);
        case '|':
            return Make(TokenKind::Pipe, start, start + 1);
        case '^':
            return Make(TokenKind::Caret, start, start + 1);
        case '~':
            return Make(TokenKind::Tilde, start, start + 1);
        case '(':
            return Make(TokenKind::LParen, start, start + 1);
        case ')':
            return Make(TokenKind::RParen, start, start + 1);
        case ',':
            return Make(TokenKind::Comma, start, start + 1);
        case ';':
            return Make(TokenKind::Semicolon, start, start + 1);
        case '<':
            if (next == '>') return Make(TokenKind::Ne, start, start + 2);
            if (next == '=') return Make(TokenKind::Le, start, start + 2);
            return Make(TokenKind::Lt, start, start + 1);
        case '>':
            if (next == '=') return Make(TokenKind::Ge, start, start + 2);
            return Make(TokenKind::Gt, start, start + 1);
        case '!':
            if (next == '=') return Make(TokenKind::Ne, start, start + 2);
            if (next == '<') return Make(TokenKind::NotLt, start, start + 2);
            if (next == '>') return Make(TokenKind::NotGt, start, start + 2);
            break;
        default:
            break;
    }
    if (ch == '0' && (next == 'x' || next == 'X')) return LexHex(start);
    if (Is(ch, kDigit)) return LexNumber(start);
    if ((ch == 'N' || ch == 'n') && next == '\'')
        return LexQuoted(start, '\'', TokenKind::String, true);
    if (Is(ch, kIdentStart)) return LexWord(start);
    // Control characters are shown as '?' so that the message stays printable.
    const char shown = static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
    Fail("Incorrect syntax near '" + std::string(1, shown) + "'.", start);
}

}  // namespace xr::tsql
