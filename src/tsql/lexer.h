// The T-SQL lexer: turns a batch into tokens one at a time, in a single pass
// over the text. Names and strings that need no unescaping point into the
// batch text; the others are decoded once into storage the lexer keeps.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <string_view>

#include "tsql/ast.h"

namespace xr::tsql {

// Reserved keywords are the server's own list: they never serve as a bare
// name or alias, which is how statements without separators find their ends.
// Contextual keywords are plain identifiers that some statements look for.
// clang-format off
#define XR_TSQL_RESERVED_KEYWORDS(X)                                                               \
    X(ADD) X(ALL) X(ALTER) X(AND) X(ANY) X(AS) X(ASC) X(AUTHORIZATION) X(BACKUP) X(BEGIN)          \
    X(BETWEEN) X(BREAK) X(BROWSE) X(BULK) X(BY) X(CASCADE) X(CASE) X(CHECK) X(CHECKPOINT)         \
    X(CLOSE) X(CLUSTERED) X(COALESCE) X(COLLATE) X(COLUMN) X(COMMIT) X(COMPUTE) X(CONSTRAINT)     \
    X(CONTAINS) X(CONTAINSTABLE) X(CONTINUE) X(CONVERT) X(CREATE) X(CROSS) X(CURRENT)             \
    X(CURRENT_DATE) X(CURRENT_TIME) X(CURRENT_TIMESTAMP) X(CURRENT_USER) X(CURSOR) X(DATABASE)    \
    X(DBCC) X(DEALLOCATE) X(DECLARE) X(DEFAULT) X(DELETE) X(DENY) X(DESC) X(DISK) X(DISTINCT)     \
    X(DISTRIBUTED) X(DOUBLE) X(DROP) X(DUMP) X(ELSE) X(END) X(ERRLVL) X(ESCAPE) X(EXCEPT) X(EXEC) \
    X(EXECUTE) X(EXISTS) X(EXIT) X(EXTERNAL) X(FETCH) X(FILE) X(FILLFACTOR) X(FOR) X(FOREIGN)     \
    X(FREETEXT) X(FREETEXTTABLE) X(FROM) X(FULL) X(FUNCTION) X(GOTO) X(GRANT) X(GROUP) X(HAVING)  \
    X(HOLDLOCK) X(IDENTITY) X(IDENTITY_INSERT) X(IDENTITYCOL) X(IF) X(IN) X(INDEX) X(INNER)       \
    X(INSERT) X(INTERSECT) X(INTO) X(IS) X(JOIN) X(KEY) X(KILL) X(LEFT) X(LIKE) X(LINENO) X(LOAD) \
    X(MERGE) X(NATIONAL) X(NOCHECK) X(NONCLUSTERED) X(NOT) X(NULL_) X(NULLIF) X(OF) X(OFF)        \
    X(OFFSETS) X(ON) X(OPEN) X(OPENDATASOURCE) X(OPENQUERY) X(OPENROWSET) X(OPENXML) X(OPTION)    \
    X(OR) X(ORDER) X(OUTER) X(OVER) X(PERCENT) X(PIVOT) X(PLAN) X(PRECISION) X(PRIMARY) X(PRINT)  \
    X(PROC) X(PROCEDURE) X(PUBLIC) X(RAISERROR) X(READ) X(READTEXT) X(RECONFIGURE) X(REFERENCES)  \
    X(REPLICATION) X(RESTORE) X(RESTRICT) X(RETURN) X(REVERT) X(REVOKE) X(RIGHT) X(ROLLBACK)      \
    X(ROWCOUNT) X(ROWGUIDCOL) X(RULE) X(SAVE) X(SCHEMA) X(SECURITYAUDIT) X(SELECT)                \
    X(SEMANTICKEYPHRASETABLE) X(SEMANTICSIMILARITYDETAILSTABLE) X(SEMANTICSIMILARITYTABLE)        \
    X(SESSION_USER) X(SET) X(SETUSER) X(SHUTDOWN) X(SOME) X(STATISTICS) X(SYSTEM_USER) X(TABLE)   \
    X(TABLESAMPLE) X(TEXTSIZE) X(THEN) X(TO) X(TOP) X(TRAN) X(TRANSACTION) X(TRIGGER)             \
    X(TRUNCATE) X(TRY_CONVERT) X(TSEQUAL) X(UNION) X(UNIQUE) X(UNPIVOT) X(UPDATE) X(UPDATETEXT)   \
    X(USE) X(USER) X(VALUES) X(VARYING) X(VIEW) X(WAITFOR) X(WHEN) X(WHERE) X(WHILE) X(WITH)      \
    X(WITHIN) X(WRITETEXT)

#define XR_TSQL_CONTEXT_KEYWORDS(X)                                                                \
    X(ABSOLUTE) X(CAST) X(DYNAMIC) X(FAST_FORWARD) X(FILENAME) X(FIRST) X(FORWARD_ONLY)           \
    X(GLOBAL) X(INSENSITIVE) X(ISOLATION) X(KEYSET) X(LAST) X(LEVEL) X(LOCAL) X(LOG) X(MAX)       \
    X(NAME) X(NEXT) X(OPTIMISTIC) X(OUT) X(OUTPUT) X(PRIOR) X(READ_ONLY) X(RELATIVE) X(SCROLL)    \
    X(SCROLL_LOCKS) X(STATIC) X(TEXTIMAGE_ON) X(TYPE_WARNING) X(VALUE) X(WORK)

// clang-format on

enum class Keyword : uint16_t {
    None,
#define XR_TSQL_KW_ENUM(k) k,
    XR_TSQL_RESERVED_KEYWORDS(XR_TSQL_KW_ENUM) XR_TSQL_CONTEXT_KEYWORDS(XR_TSQL_KW_ENUM)
#undef XR_TSQL_KW_ENUM
};

// The keyword a word spells (any case), or None.
Keyword LookupKeyword(std::string_view word);
// The keyword in upper case ("NULL" for NULL_).
std::string_view KeywordText(Keyword k);
bool IsReserved(Keyword k);

enum class TokenKind : uint8_t {
    End,
    Identifier,        // a plain word; `keyword` tells whether it spells one
    QuotedIdentifier,  // [name] or "name"; text is the name without delimiters
    Variable,          // @name or @@NAME; text includes the @ signs
    String,            // 'text' or N'text'; text is unescaped
    Integer,           // text: the digits
    Decimal,           // text as written: "12.500000", ".5", "12."
    Float,             // text as written: "1e3", "1.5E-2"
    Money,             // text without the $ sign
    Hex,               // text: the digits after 0x (possibly none)
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    NotLt,
    NotGt,  // "<>" and "!=" are both Ne
    Amp,
    Pipe,
    Caret,
    Tilde,
    LParen,
    RParen,
    Comma,
    Dot,
    Semicolon,
};

struct Token {
    TokenKind kind = TokenKind::End;
    Keyword keyword = Keyword::None;  // Identifier only
    bool reserved = false;            // Identifier spelling a reserved keyword
    bool national = false;            // N'...'
    SourcePos pos;
    uint32_t length = 0;    // bytes of source text from pos.offset
    std::string_view text;  // see TokenKind
};

// A lexical error, with the server's message text and where it happened. The
// parser turns it into the batch's ComError.
class LexError : public std::exception {
public:
    LexError(std::string message, SourcePos pos) : m_message(std::move(message)), m_pos(pos) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const noexcept { return m_message; }
    SourcePos Pos() const noexcept { return m_pos; }

private:
    std::string m_message;
    SourcePos m_pos;
};

inline constexpr size_t kMaxIdentifierLength = 128;
inline constexpr size_t kMaxNumericDigits = 38;

class Lexer {
public:
    // `text` must outlive the lexer and every token it hands out.
    explicit Lexer(std::string_view text) : m_text(text) {}

    // The next token; End (repeatedly) once the text is used up. Throws
    // LexError on an unclosed string, name or comment, a number beyond 38
    // digits, a name beyond 128 characters or a character T-SQL has no use for.
    Token Next();

    std::string_view Text() const { return m_text; }

    // SET QUOTED_IDENTIFIER: ON (the default) reads "text" as a name, OFF as
    // a string, as the server does for the statements it parses next.
    void SetQuotedIdentifier(bool on) { m_quotedIdentifier = on; }

private:
    void SkipBlanksAndComments();
    SourcePos PosAt(size_t offset) const;
    Token Make(TokenKind kind, size_t start, size_t end);
    Token LexWord(size_t start);
    Token LexVariable(size_t start);
    Token LexNumber(size_t start);
    Token LexMoney(size_t start);
    Token LexHex(size_t start);
    Token LexQuoted(size_t start, char close, TokenKind kind, bool national);
    std::string_view CheckName(std::string_view name, size_t start);
    void CheckDigits(std::string_view number, size_t start);
    [[noreturn]] void Fail(std::string message, size_t offset) const;

    std::string_view m_text;
    size_t m_pos = 0;
    uint32_t m_line = 1;
    size_t m_lineStart = 0;
    std::deque<std::string> m_decoded;  // unescaped strings and names
    bool m_quotedIdentifier = true;
};

}  // namespace xr::tsql
