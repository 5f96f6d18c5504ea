#include "tsql/parser.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

#include "platform/error.h"
#include "tsql/lexer.h"

namespace xr::tsql {

namespace {

// Past this depth of parentheses, subqueries, operators or nested statements
// the batch is refused instead of risking the stack.
constexpr int kMaxDepth = 200;

using K = Keyword;
using T = TokenKind;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Statements the layer runs.
bool IsSupportedStatementKeyword(Keyword k) {
    switch (k) {
        case K::SELECT:
        case K::INSERT:
        case K::UPDATE:
        case K::DELETE:
        case K::TRUNCATE:
        case K::CREATE:
        case K::ALTER:
        case K::DROP:
        case K::USE:
        case K::IF:
        case K::WHILE:
        case K::BEGIN:
        case K::DECLARE:
        case K::SET:
        case K::EXEC:
        case K::EXECUTE:
        case K::OPEN:
        case K::FETCH:
        case K::CLOSE:
        case K::DEALLOCATE:
        case K::PRINT:
        case K::RETURN:
        case K::BREAK:
        case K::CONTINUE:
        case K::COMMIT:
        case K::ROLLBACK:
        case K::SAVE:
        case K::RAISERROR:
            return true;
        default:
            return false;
    }
}

// Statements of the server's language the layer refuses by name.
bool IsUnsupportedStatementKeyword(Keyword k) {
    switch (k) {
        case K::MERGE:
        case K::WITH:
        case K::GRANT:
        case K::REVOKE:
        case K::DENY:
        case K::GOTO:
        case K::WAITFOR:
        case K::BACKUP:
        case K::RESTORE:
        case K::DBCC:
        case K::KILL:
        case K::CHECKPOINT:
        case K::SHUTDOWN:
        case K::RECONFIGURE:
        case K::BULK:
        case K::READTEXT:
        case K::WRITETEXT:
        case K::UPDATETEXT:
        case K::SETUSER:
        case K::REVERT:
        case K::DUMP:
        case K::LOAD:
            return true;
        default:
            return false;
    }
}

bool ComparisonOp(TokenKind kind, Op* op) {
    switch (kind) {
        case T::Eq:
            *op = Op::Eq;
            return true;
        case T::Ne:
            *op = Op::Ne;
            return true;
        case T::Lt:
            *op = Op::Lt;
            return true;
        case T::Gt:
            *op = Op::Gt;
            return true;
        case T::Le:
            *op = Op::Le;
            return true;
        case T::Ge:
            *op = Op::Ge;
            return true;
        case T::NotLt:
            *op = Op::Ge;
            return true;  // !< is >=
        case T::NotGt:
            *op = Op::Le;
            return true;  // !> is <=
        default:
            return false;
    }
}

class Parser {
public:
    Parser(std::string_view text, bool quotedIdentifier) : m_text(text), m_lexer(text) {
        m_lexer.SetQuotedIdentifier(quotedIdentifier);
    }

    std::vector<StmtPtr> ParseBatch();

private:
    // ---- Tokens ------------------------------------------------------------
    const Token& Peek(size_t ahead = 0) {
        return ahead < m_ahead ? m_ring[(m_head + ahead) % kRing] : Fill(ahead);
    }
    const Token& Fill(size_t ahead);
    Token Take();
    bool At(T kind, size_t ahead = 0) { return Peek(ahead).kind == kind; }
    bool AtKw(K kw, size_t ahead = 0) {
        const Token& t = Peek(ahead);
        return t.kind == T::Identifier && t.keyword == kw;
    }
    bool Accept(T kind) {
        if (!At(kind)) return false;
        Take();
        return true;
    }
    bool AcceptKw(K kw) {
        if (!AtKw(kw)) return false;
        Take();
        return true;
    }
    Token Expect(T kind) {
        if (!At(kind)) SyntaxError();
        return Take();
    }
    void ExpectKw(K kw) {
        if (!AtKw(kw)) SyntaxError();
        Take();
    }
    // A token that can serve as a name: a quoted name or a word that is not reserved.
    bool AtName(size_t ahead = 0) {
        const Token& t = Peek(ahead);
        return t.kind == T::QuotedIdentifier || (t.kind == T::Identifier && !t.reserved);
    }
    bool AtStatementStart() {
        const Token& t = Peek();
        return t.kind == T::Identifier &&
               (IsSupportedStatementKeyword(t.keyword) || IsUnsupportedStatementKeyword(t.keyword));
    }
    bool AtContextWord(std::string_view word, size_t ahead = 0) {
        const Token& t = Peek(ahead);
        return t.kind == T::Identifier && EqualsNoCase(t.text, word);
    }

    // ---- Errors ------------------------------------------------------------
    [[noreturn]] void Fail(const std::string& message, SourcePos pos);
    [[noreturn]] void SyntaxError();
    [[noreturn]] void Unsupported(std::string_view what, SourcePos pos);
    [[noreturn]] void TooDeep();
    [[noreturn]] void StackLimit();

    // Every later pass (binder, renderer, evaluation, even the tree's
    // destructor) recurses once per level, so no tree taller than
    // kMaxExprHeight is ever handed out: a chain built in a loop (a + b + c,
    // x OR y OR z, joins, unions) counts each link here.
    void Grow(uint32_t height) {
        if (height > kMaxExprHeight) StackLimit();
        if (height > m_height) m_height = height;
    }

    struct DepthGuard {
        Parser& parser;
        explicit DepthGuard(Parser& p) : parser(p) {
            if (++parser.m_depth > kMaxDepth) parser.TooDeep();
        }
        ~DepthGuard() { --parser.m_depth; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;
    };

    // ---- Names -------------------------------------------------------------
    std::string ParseName();
    std::vector<std::string> ParseNameParts();
    ObjectName ToObjectName(const std::vector<std::string>& parts, SourcePos pos);
    ObjectName ParseObjectName();
    ObjectName ParseTableName();
    std::string ParseColumnName();
    std::string ParseAlias();
    void ParseKeyColumns(std::vector<std::string>* columns, std::vector<bool>* descending);
    void SkipParenthesized();
    void SkipFilegroup();
    void SkipTableHints();

    // ---- Types -------------------------------------------------------------
    enum class TypeUse { Column, Variable, Cast };
    void ParseType(TypeSpec* type, std::string* typeText, TypeUse use, size_t ordinal);
    int64_t ParseSignedInteger();

    // ---- Expressions -------------------------------------------------------
    ExprPtr NewExpr(ExprKind kind, SourcePos pos) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->pos = pos;
        return e;
    }
    ExprPtr Finish(ExprPtr e) {
        e->length = m_lastEnd - e->pos.offset;
        uint32_t below = e->select ? m_selectHeight : 0;
        for (const ExprPtr& arg : e->args) {
            if (arg && arg->height > below) below = arg->height;
        }
        e->height = below + 1;
        Grow(e->height);
        return e;
    }
    ExprPtr MakeLiteral(const Token& t, LiteralKind kind);
    ExprPtr MakeUnary(Op op, SourcePos pos, ExprPtr operand);
    ExprPtr MakeBinary(Op op, SourcePos pos, ExprPtr left, ExprPtr right);
    bool CanStartExpr(size_t ahead = 0);

    ExprPtr ParseExpr();
    ExprPtr ParseOr();
    ExprPtr ParseAnd();
    ExprPtr ParseNot();
    ExprPtr ParsePredicate();
    ExprPtr ParseAdditive();
    ExprPtr ParseSigned();
    ExprPtr ParseMultiplicative();
    ExprPtr ParseFactor();
    ExprPtr ParsePrimary();
    ExprPtr ParseNameExpr();
    ExprPtr ParseFunctionArgs(ExprPtr call);
    ExprPtr ParseOver(ExprPtr call);
    ExprPtr ParseCase();
    ExprPtr ParseCast();
    ExprPtr ParseConvert();

    // ---- SELECT ------------------------------------------------------------
    std::unique_ptr<SelectStmt> ParseSelect();
    std::unique_ptr<SelectStmt> ParseSelectCore();
    std::unique_ptr<SelectStmt> ParseParenthesizedSelect();
    SelectItem ParseSelectItem();
    std::vector<TableRefPtr> ParseFrom();
    TableRefPtr ParseTableSource();
    TableRefPtr ParseTablePrimary();

    // ---- Statements --------------------------------------------------------
    StmtPtr ParseStatement(bool batchStart);
    StmtPtr ParseNestedStatement();
    void ParseStatementBody(Stmt& s, bool batchStart);
    void ParseInsert(Stmt& s);
    void ParseWith(Stmt& s);
    void ParseWriteTop(Stmt& s);
    int64_t ParseQueryOption();
    void ParseUpdate(Stmt& s);
    void ParseDelete(Stmt& s);
    void ParseCreate(Stmt& s);
    void ParseCreateTable(Stmt& s);
    void ParseTableBody(Stmt& s);
    void ParseCreateIndex(Stmt& s);
    void ParseCreateDatabase(Stmt& s);
    void ParseAlter(Stmt& s);
    void ParseDrop(Stmt& s);
    void ParseView(Stmt& s, bool batchStart);
    void ParseBlock(Stmt& s);
    void ParseBegin(Stmt& s);
    void ParseDeclare(Stmt& s);
    void ParseDeclareCursor(Stmt& s);
    void ParseSet(Stmt& s);
    void ParseExec(Stmt& s);
    void ParseProcCall(Stmt& s);
    ProcArg ParseProcArg();
    void ParseProcedure(Stmt& s, bool batchStart);
    void ParseCursorName(Stmt& s);
    void ParseFetch(Stmt& s);
    void ParseTranEnd(Stmt& s, StmtKind kind);
    void ParseDropList(Stmt& s);
    void ParseRaisError(Stmt& s);
    void ParseTryCatch(Stmt& s);
    ColumnDefAst ParseColumnDef(size_t ordinal);
    ConstraintAst ParseTableConstraint(bool allowDefault);
    void ParseReferences(ConstraintAst& c);
    void ParseCheckCondition(ConstraintAst& c);
    void SkipNotForReplication();
    void SkipIndexOptions();
    bool AtTableConstraint() {
        return AtKw(K::CONSTRAINT) || AtKw(K::PRIMARY) || AtKw(K::UNIQUE) || AtKw(K::FOREIGN) ||
               AtKw(K::CHECK);
    }

    void SetConstruct(const char* name) { m_construct = name; }

    std::string_view m_text;
    Lexer m_lexer;
    // Tokens lexed ahead and not yet consumed, in a small ring: the grammar
    // looks at most two tokens ahead, and a slot stays intact for a while
    // after its token is consumed.
    static constexpr size_t kRing = 8;
    Token m_ring[kRing];
    size_t m_head = 0;   // slot of the current token
    size_t m_ahead = 0;  // tokens lexed from m_head on
    Token m_last;        // the last token consumed
    bool m_hasLast = false;
    uint32_t m_lastEnd = 0;  // offset just past the last token consumed
    const char* m_construct = nullptr;
    const char* m_lastConstruct = nullptr;
    Stmt* m_stmt = nullptr;      // the statement that owns the literals being parsed
    bool m_inProcedure = false;  // parsing a procedure's body: RETURN may give a value
    int m_depth = 0;
    uint32_t m_height = 0;        // the tallest tree finished so far in the select being parsed
    uint32_t m_selectHeight = 0;  // the height of the select parsed last
};

// ---- Tokens and errors ----------------------------------------------------

const Token& Parser::Fill(size_t ahead) {
    while (m_ahead <= ahead) {
        const Token& last = m_ring[(m_head + m_ahead - 1) % kRing];
        if (m_ahead > 0 && last.kind == T::End) return last;
        try {
            m_ring[(m_head + m_ahead) % kRing] = m_lexer.Next();
        } catch (const LexError& e) {
            Fail(e.Message(), e.Pos());
        }
        ++m_ahead;
    }
    return m_ring[(m_head + ahead) % kRing];
}

Token Parser::Take() {
    Token t = Peek();
    if (t.kind == T::End) return t;
    m_head = (m_head + 1) % kRing;
    --m_ahead;
    m_last = t;
    m_hasLast = true;
    m_lastEnd = t.pos.offset + t.length;
    return t;
}

void Parser::Fail(const std::string& message, SourcePos pos) {
    std::string text = message;
    text += " (";
    if (m_construct) {
        text += "in ";
        text += m_construct;
        text += ", ";
    }
    text += "line " + std::to_string(pos.line) + ", column " + std::to_string(pos.column) + ")";
    throw ParseError(std::move(text), pos.line);
}

void Parser::SyntaxError() {
    const Token* t = &Peek();
    if (t->kind == T::End && m_hasLast) t = &m_last;
    std::string message;
    if (t->kind == T::Identifier && t->reserved) {
        message =
            "Incorrect syntax near the keyword '" + std::string(KeywordText(t->keyword)) + "'.";
    } else {
        std::string_view near = t->text;
        if (t->kind != T::String && t->kind != T::QuotedIdentifier && t->kind != T::End)
            near = m_text.substr(t->pos.offset, t->length);
        message = "Incorrect syntax near '" + std::string(near.substr(0, 4000)) + "'.";
    }
    Fail(message, t->pos);
}

void Parser::Unsupported(std::string_view what, SourcePos pos) {
    // Named by itself: the construct is the whole message.
    m_construct = nullptr;
    Fail("'" + std::string(what) + "' is not supported", pos);
}

void Parser::StackLimit() {
    Fail(
        "Internal error: Server stack limit has been reached. Please look for potentially deep "
        "nesting in your query, and try to simplify it.",
        Peek().pos);
}

void Parser::TooDeep() {
    Fail(
        "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
        "into smaller queries.",
        Peek().pos);
}

// ---- Names ------------------------------------------------------------------

std::string Parser::ParseName() {
    if (!AtName()) SyntaxError();
    Token t = Take();
    if (t.text.empty()) Fail("An object or column name is missing or empty.", t.pos);
    return std::string(t.text);
}

// name, a.b, a.b.c, a..c, a.b.c.d: the parts as written, empty where two dots meet.
std::vector<std::string> Parser::ParseNameParts() {
    std::vector<std::string> parts;
    parts.push_back(ParseName());
    while (At(T::Dot)) {
        if (parts.size() == 4) SyntaxError();
        Take();
        if (At(T::Dot)) {
            parts.emplace_back();
            continue;
        }
        // After a dot the server takes any word as a name.
        if (At(T::Identifier) || At(T::QuotedIdentifier)) {
            parts.emplace_back(Take().text);
        } else {
            SyntaxError();
        }
    }
    if (parts.back().empty()) SyntaxError();
    return parts;
}

ObjectName Parser::ToObjectName(const std::vector<std::string>& parts, SourcePos pos) {
    ObjectName n;
    switch (parts.size()) {
        case 1:
            n.name = parts[0];
            break;
        case 2:
            n.schema = parts[0];
            n.name = parts[1];
            break;
        case 3:
            n.db = parts[0];
            n.schema = parts[1];
            n.name = parts[2];
            break;
        default:
            Unsupported("server.database.schema.object names", pos);
    }
    return n;
}

ObjectName Parser::ParseObjectName() {
    SourcePos pos = Peek().pos;
    return ToObjectName(ParseNameParts(), pos);
}

// A table read or written: a table variable may stand where a table is named.
ObjectName Parser::ParseTableName() {
    if (!At(T::Variable)) return ParseObjectName();
    ObjectName n;
    n.name = std::string(Take().text);
    return n;
}

// A column as named in a column list or SET: t.c and [c] both give c.
std::string Parser::ParseColumnName() {
    std::vector<std::string> parts = ParseNameParts();
    return std::move(parts.back());
}

// AS name, AS [name], AS 'text', or a bare name or text.
std::string Parser::ParseAlias() {
    if (AcceptKw(K::AS)) {
        if (!At(T::String) && !AtName()) SyntaxError();
        return std::string(Take().text);
    }
    if (At(T::String) || AtName()) return std::string(Take().text);
    return {};
}

void Parser::ParseKeyColumns(std::vector<std::string>* columns, std::vector<bool>* descending) {
    Expect(T::LParen);
    do {
        columns->push_back(ParseColumnName());
        bool desc = false;
        if (AcceptKw(K::DESC)) {
            desc = true;
        } else {
            AcceptKw(K::ASC);
        }
        if (descending) descending->push_back(desc);
    } while (Accept(T::Comma));
    Expect(T::RParen);
}

// Options whose content the layer ignores: ( ... ) with nesting.
void Parser::SkipParenthesized() {
    Expect(T::LParen);
    int depth = 1;
    while (depth > 0) {
        if (At(T::End)) SyntaxError();
        Token t = Take();
        if (t.kind == T::LParen) ++depth;
        if (t.kind == T::RParen) --depth;
    }
}

// ON [PRIMARY] / ON "default" after a table or index: the server's file groups
// have no meaning here.
void Parser::SkipFilegroup() {
    SkipIndexOptions();
    while (AtKw(K::ON) || AtKw(K::TEXTIMAGE_ON)) {
        Take();
        if (AtKw(K::PRIMARY) || AtKw(K::DEFAULT) || At(T::String) || AtName()) {
            Take();
        } else {
            SyntaxError();
        }
    }
}

// WITH FILLFACTOR = n and WITH (PAD_INDEX = OFF, ...) of a key or index: how
// the server lays out its pages, which means nothing here.
void Parser::SkipIndexOptions() {
    if (AtKw(K::WITH) && At(T::LParen, 1)) {
        Take();
        SkipParenthesized();
    } else if (AtKw(K::WITH) && AtKw(K::FILLFACTOR, 1)) {
        Take();
        Take();
        Expect(T::Eq);
        if (!At(T::Integer)) SyntaxError();
        Take();
    }
}

// NOT FOR REPLICATION: the server's replication agents are not a concern here.
void Parser::SkipNotForReplication() {
    if (AtKw(K::NOT) && AtKw(K::FOR, 1)) {
        Take();
        Take();
        ExpectKw(K::REPLICATION);
    }
}

// REFERENCES table [(columns)] [ON DELETE action] [ON UPDATE action] [NOT FOR REPLICATION]
void Parser::ParseReferences(ConstraintAst& c) {
    ExpectKw(K::REFERENCES);
    c.kind = ConstraintKind::ForeignKey;
    c.refTable = ParseObjectName();
    if (At(T::LParen)) ParseKeyColumns(&c.refColumns, nullptr);
    while (AtKw(K::ON) && (AtKw(K::DELETE, 1) || AtKw(K::UPDATE, 1))) {
        Take();
        bool del = AcceptKw(K::DELETE);
        if (!del) ExpectKw(K::UPDATE);
        RefActionAst action = RefActionAst::NoAction;
        if (AcceptKw(K::CASCADE)) {
            action = RefActionAst::Cascade;
        } else if (AtKw(K::SET) && AtKw(K::NULL_, 1)) {
            Take();
            Take();
            action = RefActionAst::SetNull;
        } else if (AtKw(K::SET) && AtKw(K::DEFAULT, 1)) {
            Take();
            Take();
            action = RefActionAst::SetDefault;
        } else if (AtContextWord("NO") && AtContextWord("ACTION", 1)) {
            Take();
            Take();
        } else {
            SyntaxError();
        }
        (del ? c.onDelete : c.onUpdate) = action;
    }
    SkipNotForReplication();
}

// CHECK [NOT FOR REPLICATION] (condition)
void Parser::ParseCheckCondition(ConstraintAst& c) {
    ExpectKw(K::CHECK);
    c.kind = ConstraintKind::Check;
    SkipNotForReplication();
    Expect(T::LParen);
    c.checkExpr = ParseExpr();
    Expect(T::RParen);
}

// WITH (NOLOCK) and the like after a table name.
void Parser::SkipTableHints() {
    if (AtKw(K::WITH) && At(T::LParen, 1)) {
        Take();
        SkipParenthesized();
    }
}

// ---- Types ------------------------------------------------------------------

void Parser::ParseType(TypeSpec* type, std::string* typeText, TypeUse use, size_t ordinal) {
    const Token first = Peek();
    std::string name;
    if (first.kind == T::QuotedIdentifier || (first.kind == T::Identifier && !first.reserved)) {
        name = std::string(Take().text);
    } else if (AtKw(K::DOUBLE) && AtKw(K::PRECISION, 1)) {
        Take();
        Take();
        name = "DOUBLE PRECISION";
    } else {
        SyntaxError();
    }
    if (AtKw(K::VARYING) && (EqualsNoCase(name, "CHAR") || EqualsNoCase(name, "CHARACTER") ||
                             EqualsNoCase(name, "BINARY"))) {
        Take();
        name += " VARYING";
    }
    if (At(T::LParen)) {
        Take();
        for (int i = 0;; ++i) {
            if (i == 2) SyntaxError();
            if (!At(T::Integer) && !AtKw(K::MAX)) SyntaxError();
            Take();
            if (!Accept(T::Comma)) break;
        }
        Expect(T::RParen);
    }
    *typeText = std::string(m_text.substr(first.pos.offset, m_lastEnd - first.pos.offset));
    bool ok;
    if (first.kind == T::QuotedIdentifier) {
        std::string plain = std::string(first.text) +
                            std::string(m_text.substr(first.pos.offset + first.length,
                                                      m_lastEnd - first.pos.offset - first.length));
        ok = TypeSpec::Parse(plain, type);
    } else {
        ok = TypeSpec::Parse(*typeText, type);
    }
    if (ok) {
        // Without a length a variable or column holds one character (or byte).
        if (use != TypeUse::Cast) *type = type->Sized(1);
        return;
    }
    if (use == TypeUse::Cast) Fail("Type " + name + " is not a defined system type.", first.pos);
    Fail("Column, parameter, or variable #" + std::to_string(ordinal) + ": Cannot find data type " +
             name + ".",
         first.pos);
}

int64_t Parser::ParseSignedInteger() {
    bool negative = false;
    if (At(T::Minus) || At(T::Plus)) negative = Take().kind == T::Minus;
    if (!At(T::Integer)) SyntaxError();
    Token t = Take();
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (ec != std::errc() || v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        Fail("Arithmetic overflow error converting expression to data type bigint.", t.pos);
    }
    (void)ptr;
    return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

// ---- Expressions ------------------------------------------------------------

ExprPtr Parser::MakeLiteral(const Token& t, LiteralKind kind) {
    ExprPtr e = NewExpr(ExprKind::Literal, t.pos);
    e->literal = kind;
    e->length = t.length;
    e->text = std::string(t.text);
    e->paramIndex = static_cast<int>(m_stmt->literals.size());
    m_stmt->literals.push_back(e.get());
    return e;
}

ExprPtr Parser::MakeUnary(Op op, SourcePos pos, ExprPtr operand) {
    ExprPtr e = NewExpr(ExprKind::Unary, pos);
    e->op = op;
    e->args.push_back(std::move(operand));
    return Finish(std::move(e));
}

ExprPtr Parser::MakeBinary(Op op, SourcePos pos, ExprPtr left, ExprPtr right) {
    ExprPtr e = NewExpr(ExprKind::Binary, pos);
    e->op = op;
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return Finish(std::move(e));
}

bool Parser::CanStartExpr(size_t ahead) {
    const Token& t = Peek(ahead);
    switch (t.kind) {
        case T::Variable:
        case T::String:
        case T::Integer:
        case T::Decimal:
        case T::Float:
        case T::Money:
        case T::Hex:
        case T::LParen:
        case T::Plus:
        case T::Minus:
        case T::Tilde:
        case T::QuotedIdentifier:
            return true;
        case T::Identifier:
            if (!t.reserved) return true;
            switch (t.keyword) {
                case K::NULL_:
                case K::CASE:
                case K::CONVERT:
                case K::COALESCE:
                case K::NULLIF:
                case K::LEFT:
                case K::RIGHT:
                case K::CURRENT_TIMESTAMP:
                case K::CURRENT_USER:
                case K::SESSION_USER:
                case K::SYSTEM_USER:
                case K::USER:
                case K::NOT:
                case K::EXISTS:
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

ExprPtr Parser::ParseExpr() {
    DepthGuard guard(*this);
    return ParseOr();
}

ExprPtr Parser::ParseOr() {
    SourcePos start = Peek().pos;
    ExprPtr left = ParseAnd();
    while (AtKw(K::OR)) {
        Take();
        left = MakeBinary(Op::Or, start, std::move(left), ParseAnd());
    }
    return left;
}

ExprPtr Parser::ParseAnd() {
    SourcePos start = Peek().pos;
    ExprPtr left = ParseNot();
    while (AtKw(K::AND)) {
        Take();
        left = MakeBinary(Op::And, start, std::move(left), ParseNot());
    }
    return left;
}

ExprPtr Parser::ParseNot() {
    if (AtKw(K::NOT)) {
        DepthGuard guard(*this);
        SourcePos pos = Take().pos;
        return MakeUnary(Op::Not, pos, ParseNot());
    }
    return ParsePredicate();
}

ExprPtr Parser::ParsePredicate() {
    SourcePos start = Peek().pos;
    if (AtKw(K::EXISTS)) {
        Take();
        ExprPtr e = NewExpr(ExprKind::Exists, start);
        e->select = ParseParenthesizedSelect();
        return Finish(std::move(e));
    }
    ExprPtr left = ParseAdditive();
    Op cmp;
    if (ComparisonOp(Peek().kind, &cmp)) {
        Take();
        if (AtKw(K::ALL) || AtKw(K::ANY) || AtKw(K::SOME)) {
            Unsupported(std::string(KeywordText(Peek().keyword)) + " (subquery)", Peek().pos);
        }
        return MakeBinary(cmp, start, std::move(left), ParseAdditive());
    }
    bool negated = false;
    if (AtKw(K::NOT) && (AtKw(K::IN, 1) || AtKw(K::BETWEEN, 1) || AtKw(K::LIKE, 1))) {
        Take();
        negated = true;
    }
    if (AtKw(K::IN)) {
        Take();
        if (At(T::LParen) && AtKw(K::SELECT, 1)) {
            ExprPtr e = NewExpr(ExprKind::InSelect, start);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->select = ParseParenthesizedSelect();
            return Finish(std::move(e));
        }
        ExprPtr e = NewExpr(ExprKind::InList, start);
        e->negated = negated;
        e->args.push_back(std::move(left));
        Expect(T::LParen);
        do {
            e->args.push_back(ParseExpr());
        } while (Accept(T::Comma));
        Expect(T::RParen);
        return Finish(std::move(e));
    }
    if (AtKw(K::BETWEEN)) {
        Take();
        ExprPtr e = NewExpr(ExprKind::Between, start);
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(ParseAdditive());
        ExpectKw(K::AND);
        e->args.push_back(ParseAdditive());
        return Finish(std::move(e));
    }
    if (AtKw(K::LIKE)) {
        Take();
        ExprPtr e = NewExpr(ExprKind::Like, start);
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(ParseAdditive());
        if (AcceptKw(K::ESCAPE)) e->args.push_back(ParseAdditive());
        return Finish(std::move(e));
    }
    if (AtKw(K::IS)) {
        Take();
        ExprPtr e = NewExpr(ExprKind::IsNull, start);
        e->negated = AcceptKw(K::NOT);
        ExpectKw(K::NULL_);
        e->args.push_back(std::move(left));
        return Finish(std::move(e));
    }
    return left;
}

// + - & ^ | and the signs that begin a term: "-a * b" is -(a * b).
ExprPtr Parser::ParseAdditive() {
    SourcePos start = Peek().pos;
    ExprPtr left = ParseSigned();
    while (true) {
        Op op;
        switch (Peek().kind) {
            case T::Plus:
                op = Op::Add;
                break;
            case T::Minus:
                op = Op::Sub;
                break;
            case T::Amp:
                op = Op::BitAnd;
                break;
            case T::Caret:
                op = Op::BitXor;
                break;
            case T::Pipe:
                op = Op::BitOr;
                break;
            default:
                return left;
        }
        Take();
        left = MakeBinary(op, start, std::move(left), ParseSigned());
    }
}

ExprPtr Parser::ParseSigned() {
    if (At(T::Plus) || At(T::Minus)) {
        DepthGuard guard(*this);
        Token t = Take();
        return MakeUnary(t.kind == T::Minus ? Op::Neg : Op::Plus, t.pos, ParseSigned());
    }
    return ParseMultiplicative();
}

ExprPtr Parser::ParseMultiplicative() {
    SourcePos start = Peek().pos;
    ExprPtr left = ParseFactor();
    while (true) {
        Op op;
        switch (Peek().kind) {
            case T::Star:
                op = Op::Mul;
                break;
            case T::Slash:
                op = Op::Div;
                break;
            case T::Percent:
                op = Op::Mod;
                break;
            default:
                return left;
        }
        Take();
        left = MakeBinary(op, start, std::move(left), ParseFactor());
    }
}

// ~x, and a sign right after * / % or ~ ("2 * -3").
ExprPtr Parser::ParseFactor() {
    if (At(T::Tilde) || At(T::Plus) || At(T::Minus)) {
        DepthGuard guard(*this);
        Token t = Take();
        Op op = t.kind == T::Tilde ? Op::BitNot : t.kind == T::Minus ? Op::Neg : Op::Plus;
        return MakeUnary(op, t.pos, ParseFactor());
    }
    return ParsePrimary();
}

ExprPtr Parser::ParsePrimary() {
    const Token t = Peek();
    switch (t.kind) {
        case T::Integer:
            return MakeLiteral(Take(), LiteralKind::Integer);
        case T::Decimal:
            return MakeLiteral(Take(), LiteralKind::Decimal);
        case T::Float:
            return MakeLiteral(Take(), LiteralKind::Float);
        case T::Money:
            return MakeLiteral(Take(), LiteralKind::Money);
        case T::Hex:
            return MakeLiteral(Take(), LiteralKind::Hex);
        case T::String:
            return MakeLiteral(Take(), LiteralKind::String);
        case T::Variable: {
            Token v = Take();
            ExprPtr e = NewExpr(ExprKind::Variable, v.pos);
            e->name = std::string(v.text);
            return Finish(std::move(e));
        }
        case T::Star: {
            ExprPtr e = NewExpr(ExprKind::Star, Take().pos);
            return Finish(std::move(e));
        }
        case T::LParen: {
            if (AtKw(K::SELECT, 1)) {
                ExprPtr e = NewExpr(ExprKind::Subquery, t.pos);
                e->select = ParseParenthesizedSelect();
                return Finish(std::move(e));
            }
            Take();
            ExprPtr e = ParseExpr();
            Expect(T::RParen);
            return e;
        }
        case T::QuotedIdentifier:
            return ParseNameExpr();
        case T::Identifier:
            break;
        default:
            SyntaxError();
    }
    if (!t.reserved) {
        if (t.keyword == K::CAST && At(T::LParen, 1)) return ParseCast();
        return ParseNameExpr();
    }
    switch (t.keyword) {
        case K::NULL_:
            return MakeLiteral(Take(), LiteralKind::Null);
        case K::CASE:
            return ParseCase();
        case K::CONVERT:
            return ParseConvert();
        case K::TRY_CONVERT:
            Unsupported("TRY_CONVERT", t.pos);
        case K::COALESCE:
        case K::NULLIF:
        case K::LEFT:
        case K::RIGHT: {
            if (!At(T::LParen, 1)) SyntaxError();
            Token name = Take();
            ExprPtr call = NewExpr(ExprKind::Function, name.pos);
            call->name = std::string(name.text);
            return ParseFunctionArgs(std::move(call));
        }
        case K::CURRENT_TIMESTAMP:
        case K::CURRENT_USER:
        case K::SESSION_USER:
        case K::SYSTEM_USER:
        case K::USER: {
            Token name = Take();
            ExprPtr call = NewExpr(ExprKind::Function, name.pos);
            call->name = std::string(name.text);
            return Finish(std::move(call));
        }
        default:
            SyntaxError();
    }
}

// c, t.c, db..t.c, t.*, f(...), dbo.f(...).
ExprPtr Parser::ParseNameExpr() {
    SourcePos pos = Peek().pos;
    std::vector<std::string> parts;
    parts.push_back(ParseName());
    while (At(T::Dot)) {
        if (parts.size() == 4) SyntaxError();
        Take();
        if (At(T::Dot)) {
            parts.emplace_back();
            continue;
        }
        if (At(T::Star)) {
            Take();
            ExprPtr e = NewExpr(ExprKind::Star, pos);
            for (size_t i = 0; i < parts.size(); ++i) {
                if (i) e->qualifier += '.';
                e->qualifier += parts[i];
            }
            return Finish(std::move(e));
        }
        if (At(T::Identifier) || At(T::QuotedIdentifier)) {
            parts.emplace_back(Take().text);
        } else {
            SyntaxError();
        }
    }
    if (parts.back().empty()) SyntaxError();
    if (At(T::LParen)) {
        ExprPtr call = NewExpr(ExprKind::Function, pos);
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i) call->name += '.';
            call->name += parts[i];
        }
        return ParseFunctionArgs(std::move(call));
    }
    ExprPtr e = NewExpr(ExprKind::Column, pos);
    e->name = std::move(parts.back());
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (i) e->qualifier += '.';
        e->qualifier += parts[i];
    }
    return Finish(std::move(e));
}

ExprPtr Parser::ParseFunctionArgs(ExprPtr call) {
    DepthGuard guard(*this);
    Expect(T::LParen);
    if (!At(T::RParen)) {
        if (AcceptKw(K::DISTINCT)) {
            call->distinct = true;
        } else {
            AcceptKw(K::ALL);
        }
        do {
            call->args.push_back(ParseExpr());
        } while (Accept(T::Comma));
    }
    Expect(T::RParen);
    if (AtKw(K::OVER)) return ParseOver(std::move(call));
    return Finish(std::move(call));
}

// f(...) OVER ([PARTITION BY e, ...] [ORDER BY e [ASC|DESC], ...]); a frame
// (ROWS, RANGE) is refused by name.
ExprPtr Parser::ParseOver(ExprPtr call) {
    DepthGuard guard(*this);
    ExpectKw(K::OVER);
    Expect(T::LParen);
    auto over = std::make_unique<WindowSpec>();
    uint32_t below = 0;
    if (AtContextWord("PARTITION")) {
        Take();
        ExpectKw(K::BY);
        do {
            over->partitionBy.push_back(ParseExpr());
            below = std::max(below, over->partitionBy.back()->height);
        } while (Accept(T::Comma));
    }
    if (AtKw(K::ORDER)) {
        Take();
        ExpectKw(K::BY);
        do {
            OrderItem item;
            item.expr = ParseExpr();
            below = std::max(below, item.expr->height);
            if (AcceptKw(K::DESC)) {
                item.descending = true;
            } else {
                AcceptKw(K::ASC);
            }
            over->orderBy.push_back(std::move(item));
        } while (Accept(T::Comma));
    }
    if (AtContextWord("ROWS") || AtContextWord("RANGE"))
        Unsupported("a window frame (ROWS or RANGE)", Peek().pos);
    Expect(T::RParen);
    call->over = std::move(over);
    ExprPtr e = Finish(std::move(call));
    if (below + 1 > e->height) {
        e->height = below + 1;
        Grow(e->height);
    }
    return e;
}

ExprPtr Parser::ParseCase() {
    DepthGuard guard(*this);
    ExprPtr e = NewExpr(ExprKind::Case, Take().pos);
    e->args.push_back(AtKw(K::WHEN) ? nullptr : ParseExpr());
    if (!AtKw(K::WHEN)) SyntaxError();
    while (AcceptKw(K::WHEN)) {
        e->args.push_back(ParseExpr());
        ExpectKw(K::THEN);
        e->args.push_back(ParseExpr());
    }
    if (AcceptKw(K::ELSE)) {
        e->args.push_back(ParseExpr());
        e->hasElse = true;
    }
    ExpectKw(K::END);
    return Finish(std::move(e));
}

ExprPtr Parser::ParseCast() {
    DepthGuard guard(*this);
    Token name = Take();
    ExprPtr e = NewExpr(ExprKind::Cast, name.pos);
    e->name = std::string(name.text);
    Expect(T::LParen);
    e->args.push_back(ParseExpr());
    ExpectKw(K::AS);
    ParseType(&e->type, &e->typeText, TypeUse::Cast, 0);
    Expect(T::RParen);
    return Finish(std::move(e));
}

ExprPtr Parser::ParseConvert() {
    DepthGuard guard(*this);
    Token name = Take();
    ExprPtr e = NewExpr(ExprKind::Cast, name.pos);
    e->name = std::string(name.text);
    Expect(T::LParen);
    ParseType(&e->type, &e->typeText, TypeUse::Cast, 0);
    Expect(T::Comma);
    e->args.push_back(ParseExpr());
    if (Accept(T::Comma)) e->args.push_back(ParseExpr());
    Expect(T::RParen);
    return Finish(std::move(e));
}

// ---- SELECT -----------------------------------------------------------------

std::unique_ptr<SelectStmt> Parser::ParseSelect() {
    DepthGuard guard(*this);
    const uint32_t outer = m_height;
    m_height = 0;
    std::unique_ptr<SelectStmt> head = ParseSelectCore();
    SelectStmt* tail = head.get();
    uint32_t unions = 0;
    while (AtKw(K::UNION)) {
        Grow(++unions);  // the chain of unionNext links
        Take();
        tail->unionAll = AcceptKw(K::ALL);
        tail->unionNext = At(T::LParen) ? ParseParenthesizedSelect() : ParseSelectCore();
        tail = tail->unionNext.get();
    }
    if (AtKw(K::EXCEPT) || AtKw(K::INTERSECT)) {
        Unsupported(KeywordText(Peek().keyword), Peek().pos);
    }
    if (AtKw(K::ORDER)) {
        Take();
        ExpectKw(K::BY);
        do {
            OrderItem item;
            item.expr = ParseExpr();
            if (AcceptKw(K::DESC)) {
                item.descending = true;
            } else {
                AcceptKw(K::ASC);
            }
            head->orderBy.push_back(std::move(item));
        } while (Accept(T::Comma));
    }
    if (AtKw(K::FOR) && AtContextWord("XML", 1)) Unsupported("FOR XML", Peek().pos);
    m_selectHeight = m_height;
    m_height = outer;
    Grow(m_selectHeight + 1);  // a derived table or subquery adds its height to the outer select
    return head;
}

std::unique_ptr<SelectStmt> Parser::ParseParenthesizedSelect() {
    Expect(T::LParen);
    std::unique_ptr<SelectStmt> s = ParseSelect();
    Expect(T::RParen);
    return s;
}

std::unique_ptr<SelectStmt> Parser::ParseSelectCore() {
    auto s = std::make_unique<SelectStmt>();
    ExpectKw(K::SELECT);
    if (AcceptKw(K::DISTINCT)) {
        s->distinct = true;
    } else {
        AcceptKw(K::ALL);
    }
    if (AcceptKw(K::TOP)) {
        if (At(T::LParen)) {
            Take();
            s->top = ParseExpr();
            Expect(T::RParen);
        } else if (At(T::Integer) || At(T::Decimal) || At(T::Float)) {
            s->top = ParsePrimary();
        } else {
            SyntaxError();
        }
        s->topPercent = AcceptKw(K::PERCENT);
        if (AtKw(K::WITH) && AtContextWord("TIES", 1)) {
            Take();
            Take();
            s->topWithTies = true;
        }
    }
    do {
        s->items.push_back(ParseSelectItem());
    } while (Accept(T::Comma));
    if (AcceptKw(K::INTO)) s->into = ParseObjectName();
    if (AcceptKw(K::FROM)) s->from = ParseFrom();
    if (AcceptKw(K::WHERE)) s->where = ParseExpr();
    if (AtKw(K::GROUP)) {
        Take();
        ExpectKw(K::BY);
        do {
            s->groupBy.push_back(ParseExpr());
        } while (Accept(T::Comma));
    }
    if (AcceptKw(K::HAVING)) s->having = ParseExpr();
    return s;
}

SelectItem Parser::ParseSelectItem() {
    SelectItem item;
    const Token& t = Peek();
    if (At(T::Eq, 1)) {
        if (t.kind == T::Variable) {
            item.assignTo = std::string(Take().text);
            Take();
            item.expr = ParseExpr();
            return item;
        }
        if (t.kind == T::String || AtName()) {
            item.alias = std::string(Take().text);
            Take();
            item.expr = ParseExpr();
            return item;
        }
    }
    item.expr = ParseExpr();
    item.alias = ParseAlias();
    return item;
}

std::vector<TableRefPtr> Parser::ParseFrom() {
    std::vector<TableRefPtr> from;
    do {
        from.push_back(ParseTableSource());
    } while (Accept(T::Comma));
    return from;
}

TableRefPtr Parser::ParseTableSource() {
    DepthGuard guard(*this);
    TableRefPtr left = ParseTablePrimary();
    uint32_t joins = 0;
    while (true) {
        const Token joinToken = Peek();
        JoinType type;
        if (AtKw(K::JOIN)) {
            type = JoinType::Inner;
        } else if (AtKw(K::INNER)) {
            Take();
            type = JoinType::Inner;
        } else if (AtKw(K::LEFT) || AtKw(K::RIGHT) || AtKw(K::FULL)) {
            K kw = Take().keyword;
            type = kw == K::LEFT    ? JoinType::Left
                   : kw == K::RIGHT ? JoinType::Right
                                    : JoinType::Full;
            AcceptKw(K::OUTER);
        } else if (AtKw(K::CROSS)) {
            Take();
            if (AtContextWord("APPLY")) Unsupported("CROSS APPLY", joinToken.pos);
            type = JoinType::Cross;
        } else {
            break;
        }
        ExpectKw(K::JOIN);
        Grow(++joins);  // the left-deep chain of joins
        auto join = std::make_unique<TableRef>();
        join->pos = left->pos;
        join->join = type;
        join->left = std::move(left);
        join->right = ParseTablePrimary();
        if (type != JoinType::Cross) {
            ExpectKw(K::ON);
            join->on = ParseExpr();
        }
        left = std::move(join);
    }
    return left;
}

TableRefPtr Parser::ParseTablePrimary() {
    auto ref = std::make_unique<TableRef>();
    ref->pos = Peek().pos;
    if (At(T::LParen)) {
        if (AtKw(K::SELECT, 1)) {
            ref->derived = ParseParenthesizedSelect();
            ref->alias = ParseAlias();
            return ref;
        }
        DepthGuard guard(*this);
        Take();
        TableRefPtr inner = ParseTableSource();
        Expect(T::RParen);
        return inner;
    }
    ref->table = ParseTableName();
    if (At(T::LParen)) Unsupported("table-valued functions", Peek().pos);
    ref->alias = ParseAlias();
    SkipTableHints();
    return ref;
}

// ---- Statements -------------------------------------------------------------

std::vector<StmtPtr> Parser::ParseBatch() {
    if (m_text.size() >= std::numeric_limits<uint32_t>::max()) {
        throw ComError(DB_E_ERRORSINCOMMAND, "The batch is too large.");
    }
    std::vector<StmtPtr> statements;
    while (true) {
        while (Accept(T::Semicolon)) {
        }
        if (At(T::End)) break;
        if (!statements.empty() && !AtStatementStart()) {
            // The previous statement could not take this token.
            m_construct = m_lastConstruct;
            SyntaxError();
        }
        statements.push_back(ParseStatement(statements.empty()));
    }
    return statements;
}

StmtPtr Parser::ParseStatement(bool batchStart) {
    DepthGuard guard(*this);
    auto stmt = std::make_unique<Stmt>();
    stmt->pos = Peek().pos;
    Stmt* outerStmt = m_stmt;
    const char* outerConstruct = m_construct;
    m_stmt = stmt.get();
    ParseStatementBody(*stmt, batchStart);
    stmt->endOffset = m_lastEnd;
    m_lastConstruct = m_construct;
    m_stmt = outerStmt;
    m_construct = outerConstruct;
    return stmt;
}

// The statement after IF, ELSE or WHILE.
StmtPtr Parser::ParseNestedStatement() {
    if (!AtStatementStart()) SyntaxError();
    return ParseStatement(false);
}

void Parser::ParseStatementBody(Stmt& s, bool batchStart) {
    const Token t = Peek();
    if (AtName()) {
        // A procedure named by itself opens a batch: "sp_rename 'a.[b]', 'c', 'COLUMN'".
        if (!batchStart) SyntaxError();
        s.kind = StmtKind::ExecProc;
        SetConstruct("EXEC");
        ParseProcCall(s);
        return;
    }
    if (t.kind != T::Identifier) SyntaxError();
    switch (t.keyword) {
        case K::SELECT:
            s.kind = StmtKind::Select;
            SetConstruct("SELECT");
            s.select = ParseSelect();
            s.select->maxRecursion = ParseQueryOption();
            return;
        case K::INSERT:
            ParseInsert(s);
            s.maxRecursion = ParseQueryOption();
            return;
        case K::UPDATE:
            ParseUpdate(s);
            s.maxRecursion = ParseQueryOption();
            return;
        case K::DELETE:
            ParseDelete(s);
            s.maxRecursion = ParseQueryOption();
            return;
        case K::WITH:
            ParseWith(s);
            return;
        case K::TRUNCATE:
            s.kind = StmtKind::Truncate;
            SetConstruct("TRUNCATE TABLE");
            Take();
            ExpectKw(K::TABLE);
            s.table = ParseObjectName();
            return;
        case K::CREATE:
        case K::ALTER:
            if (AtKw(K::VIEW, 1)) {
                ParseView(s, batchStart);
            } else if (AtKw(K::PROC, 1) || AtKw(K::PROCEDURE, 1)) {
                ParseProcedure(s, batchStart);
            } else if (t.keyword == K::CREATE) {
                ParseCreate(s);
            } else {
                ParseAlter(s);
            }
            return;
        case K::DROP:
            ParseDrop(s);
            return;
        case K::USE:
            s.kind = StmtKind::Use;
            SetConstruct("USE");
            if (m_inProcedure) {
                Fail("a USE database statement is not allowed in a procedure, function or trigger.",
                     t.pos);
            }
            Take();
            s.database = ParseName();
            return;
        case K::IF:
            s.kind = StmtKind::If;
            SetConstruct("IF");
            Take();
            s.condition = ParseExpr();
            s.thenStmt = ParseNestedStatement();
            if (AcceptKw(K::ELSE)) s.elseStmt = ParseNestedStatement();
            return;
        case K::WHILE:
            s.kind = StmtKind::While;
            SetConstruct("WHILE");
            Take();
            s.condition = ParseExpr();
            s.thenStmt = ParseNestedStatement();
            return;
        case K::BEGIN:
            ParseBegin(s);
            return;
        case K::DECLARE:
            ParseDeclare(s);
            return;
        case K::SET:
            ParseSet(s);
            return;
        case K::EXEC:
        case K::EXECUTE:
            ParseExec(s);
            return;
        case K::OPEN:
            s.kind = StmtKind::OpenCursor;
            SetConstruct("OPEN");
            Take();
            ParseCursorName(s);
            return;
        case K::CLOSE:
            s.kind = StmtKind::CloseCursor;
            SetConstruct("CLOSE");
            Take();
            ParseCursorName(s);
            return;
        case K::DEALLOCATE:
            s.kind = StmtKind::DeallocateCursor;
            SetConstruct("DEALLOCATE");
            Take();
            ParseCursorName(s);
            return;
        case K::FETCH:
            ParseFetch(s);
            return;
        case K::PRINT:
            s.kind = StmtKind::Print;
            SetConstruct("PRINT");
            Take();
            s.value = ParseExpr();
            return;
        case K::RETURN:
            s.kind = StmtKind::Return;
            SetConstruct("RETURN");
            Take();
            if (CanStartExpr()) {
                // Only a procedure returns a value (its return status).
                if (!m_inProcedure) {
                    Fail("A RETURN statement with a return value cannot be used in this context.",
                         t.pos);
                }
                s.value = ParseExpr();
            }
            return;
        case K::BREAK:
            s.kind = StmtKind::Break;
            SetConstruct("BREAK");
            Take();
            return;
        case K::CONTINUE:
            s.kind = StmtKind::Continue;
            SetConstruct("CONTINUE");
            Take();
            return;
        case K::COMMIT:
            ParseTranEnd(s, StmtKind::CommitTran);
            return;
        case K::ROLLBACK:
            ParseTranEnd(s, StmtKind::RollbackTran);
            return;
        case K::SAVE:
            s.kind = StmtKind::SaveTran;
            SetConstruct("SAVE TRANSACTION");
            Take();
            if (!AcceptKw(K::TRAN)) ExpectKw(K::TRANSACTION);
            if (!AtName() && !At(T::Variable)) SyntaxError();
            s.tranName = std::string(Take().text);
            return;
        case K::RAISERROR:
            ParseRaisError(s);
            return;
        case K::DBCC: {
            if (!AtContextWord("CHECKIDENT", 1)) Unsupported("DBCC", t.pos);
            s.kind = StmtKind::CheckIdent;
            SetConstruct("DBCC CHECKIDENT");
            Take();
            Take();
            Expect(T::LParen);
            if (At(T::String)) {
                // 'table', 'dbo.table' or 'db.dbo.table'
                std::string text(Take().text);
                size_t dot = text.rfind('.');
                std::string name = dot == std::string::npos ? text : text.substr(dot + 1);
                if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
                    name = name.substr(1, name.size() - 2);
                s.table.name = name;
            } else {
                s.table = ParseObjectName();
            }
            if (Accept(T::Comma)) {
                if (AtContextWord("NORESEED")) {
                    Take();
                    s.option = "NORESEED";
                } else if (AtContextWord("RESEED")) {
                    Take();
                    s.option = "RESEED";
                    if (Accept(T::Comma)) s.value = ParseExpr();
                } else {
                    SyntaxError();
                }
            }
            Expect(T::RParen);
            if (AtKw(K::WITH) && AtContextWord("NO_INFOMSGS", 1)) {
                Take();
                Take();
            }
            return;
        }
        default:
            if (IsUnsupportedStatementKeyword(t.keyword))
                Unsupported(KeywordText(t.keyword), t.pos);
            SyntaxError();
    }
}

// WITH name [(columns)] AS (select) [, ...] then the SELECT, INSERT, UPDATE
// or DELETE that reads them.
void Parser::ParseWith(Stmt& s) {
    SetConstruct("WITH");
    Take();
    std::vector<CommonTable> ctes;
    do {
        CommonTable c;
        c.pos = Peek().pos;
        if (!AtName()) SyntaxError();
        c.name = ParseName();
        if (Accept(T::LParen)) {
            do {
                c.columns.push_back(ParseColumnName());
            } while (Accept(T::Comma));
            Expect(T::RParen);
        }
        ExpectKw(K::AS);
        c.select = ParseParenthesizedSelect();
        ctes.push_back(std::move(c));
    } while (Accept(T::Comma));
    if (AtKw(K::SELECT)) {
        s.kind = StmtKind::Select;
        SetConstruct("SELECT");
        s.select = ParseSelect();
        s.select->with = std::move(ctes);
        s.select->maxRecursion = ParseQueryOption();
        return;
    }
    if (AtKw(K::INSERT)) {
        ParseInsert(s);
    } else if (AtKw(K::UPDATE)) {
        ParseUpdate(s);
    } else if (AtKw(K::DELETE)) {
        ParseDelete(s);
    } else {
        SyntaxError();
    }
    s.with = std::move(ctes);
    s.maxRecursion = ParseQueryOption();
}

// TOP (n) [PERCENT] of an INSERT, UPDATE or DELETE: the parentheses are
// required there.
void Parser::ParseWriteTop(Stmt& s) {
    if (!AcceptKw(K::TOP)) return;
    Expect(T::LParen);
    s.top = ParseExpr();
    Expect(T::RParen);
    s.topPercent = AcceptKw(K::PERCENT);
}

// OPTION (MAXRECURSION n) after a statement; -1 when there is none.
int64_t Parser::ParseQueryOption() {
    if (!AtKw(K::OPTION) || !At(T::LParen, 1)) return -1;
    const SourcePos pos = Peek().pos;
    Take();
    Take();
    if (!AtContextWord("MAXRECURSION")) Unsupported("OPTION", pos);
    Take();
    if (!At(T::Integer)) SyntaxError();
    const Token n = Take();
    int64_t value = 0;
    auto [end, ec] = std::from_chars(n.text.data(), n.text.data() + n.text.size(), value);
    if (ec != std::errc() || value > 32767)
        Fail("The MAXRECURSION option exceeds the allowed maximum of 32767.", n.pos);
    Expect(T::RParen);
    return value;
}

void Parser::ParseInsert(Stmt& s) {
    s.kind = StmtKind::Insert;
    SetConstruct("INSERT");
    Take();
    ParseWriteTop(s);
    AcceptKw(K::INTO);
    s.table = ParseTableName();
    SkipTableHints();
    if (At(T::LParen) && !AtKw(K::SELECT, 1)) {
        Take();
        do {
            s.columns.push_back(ParseColumnName());
        } while (Accept(T::Comma));
        Expect(T::RParen);
    }
    if (AcceptKw(K::VALUES)) {
        do {
            Expect(T::LParen);
            std::vector<ExprPtr> row;
            do {
                if (AtKw(K::DEFAULT)) Unsupported("DEFAULT in VALUES", Peek().pos);
                row.push_back(ParseExpr());
            } while (Accept(T::Comma));
            Expect(T::RParen);
            s.values.push_back(std::move(row));
        } while (Accept(T::Comma));
    } else if (AtKw(K::SELECT)) {
        s.select = ParseSelect();
    } else if (At(T::LParen) && AtKw(K::SELECT, 1)) {
        s.select = ParseParenthesizedSelect();
    } else if (AtKw(K::DEFAULT)) {
        Take();
        ExpectKw(K::VALUES);
        s.defaultValues = true;
    } else if (AtKw(K::EXEC) || AtKw(K::EXECUTE)) {
        Unsupported("INSERT ... EXEC", Peek().pos);
    } else {
        SyntaxError();
    }
}

void Parser::ParseUpdate(Stmt& s) {
    s.kind = StmtKind::Update;
    SetConstruct("UPDATE");
    Take();
    ParseWriteTop(s);
    s.table = ParseTableName();
    SkipTableHints();
    ExpectKw(K::SET);
    do {
        if (At(T::Variable)) Unsupported("SET @variable in UPDATE", Peek().pos);
        std::vector<std::string> parts = ParseNameParts();
        std::string column = std::move(parts.back());
        parts.pop_back();
        std::string qualifier;
        for (const std::string& p : parts) qualifier += (qualifier.empty() ? "" : ".") + p;
        Expect(T::Eq);
        s.sets.emplace_back(std::move(column), ParseExpr());
        s.setQualifiers.push_back(std::move(qualifier));
    } while (Accept(T::Comma));
    if (AcceptKw(K::FROM)) s.from = ParseFrom();
    if (AcceptKw(K::WHERE)) {
        if (AtKw(K::CURRENT) && AtKw(K::OF, 1)) Unsupported("WHERE CURRENT OF", Peek().pos);
        s.where = ParseExpr();
    }
}

void Parser::ParseDelete(Stmt& s) {
    s.kind = StmtKind::Delete;
    SetConstruct("DELETE");
    Take();
    ParseWriteTop(s);
    AcceptKw(K::FROM);
    s.table = ParseTableName();
    SkipTableHints();
    if (AcceptKw(K::FROM)) s.from = ParseFrom();
    if (AcceptKw(K::WHERE)) {
        if (AtKw(K::CURRENT) && AtKw(K::OF, 1)) Unsupported("WHERE CURRENT OF", Peek().pos);
        s.where = ParseExpr();
    }
}

void Parser::ParseCreate(Stmt& s) {
    const Token create = Take();
    SetConstruct("CREATE");
    if (AtKw(K::TABLE)) {
        Take();
        ParseCreateTable(s);
    } else if (AtKw(K::UNIQUE) || AtKw(K::CLUSTERED) || AtKw(K::NONCLUSTERED) || AtKw(K::INDEX)) {
        ParseCreateIndex(s);
    } else if (AtKw(K::DATABASE)) {
        Take();
        ParseCreateDatabase(s);
    } else if (At(T::Identifier)) {
        Unsupported("CREATE " + Upper(Peek().text), create.pos);
    } else {
        SyntaxError();
    }
}

void Parser::ParseCreateTable(Stmt& s) {
    s.kind = StmtKind::CreateTable;
    SetConstruct("CREATE TABLE");
    s.table = ParseObjectName();
    ParseTableBody(s);
}

// The columns and table constraints of CREATE TABLE or DECLARE @t TABLE.
void Parser::ParseTableBody(Stmt& s) {
    Expect(T::LParen);
    do {
        if (At(T::RParen) && !s.columnDefs.empty()) break;  // the server allows a trailing comma
        if (AtTableConstraint()) {
            s.constraints.push_back(ParseTableConstraint(false));
        } else {
            s.columnDefs.push_back(ParseColumnDef(s.columnDefs.size() + 1));
        }
    } while (Accept(T::Comma));
    Expect(T::RParen);
    SkipFilegroup();
}

ColumnDefAst Parser::ParseColumnDef(size_t ordinal) {
    ColumnDefAst col;
    col.pos = Peek().pos;
    col.name = ParseName();
    if (AtKw(K::AS)) Unsupported("computed columns", Peek().pos);
    ParseType(&col.type, &col.typeText, TypeUse::Column, ordinal);
    std::string constraintName;
    bool named = false;
    while (true) {
        const Token t = Peek();
        if (t.kind != T::Identifier) break;
        if (named && !(AtKw(K::DEFAULT) || AtKw(K::PRIMARY) || AtKw(K::UNIQUE) || AtKw(K::CHECK) ||
                       AtKw(K::FOREIGN) || AtKw(K::REFERENCES))) {
            SyntaxError();
        }
        switch (t.keyword) {
            case K::NULL_:
                Take();
                col.nullable = true;
                continue;
            case K::NOT:
                Take();
                ExpectKw(K::NULL_);
                col.nullable = false;
                continue;
            case K::IDENTITY:
                Take();
                col.identity = true;
                if (Accept(T::LParen)) {
                    col.identitySeed = ParseSignedInteger();
                    Expect(T::Comma);
                    col.identityIncrement = ParseSignedInteger();
                    Expect(T::RParen);
                }
                SkipNotForReplication();
                continue;
            case K::CONSTRAINT:
                Take();
                constraintName = ParseName();
                named = true;
                continue;
            case K::DEFAULT:
                if (col.defaultExpr) SyntaxError();  // one default per column
                Take();
                // Additive level: "DEFAULT 0 NOT NULL" leaves NOT NULL to the column.
                col.defaultExpr = ParseAdditive();
                col.defaultName = std::move(constraintName);
                constraintName.clear();
                named = false;
                if (AtKw(K::WITH) && AtKw(K::VALUES, 1)) {
                    Take();
                    Take();
                    col.withValues = true;
                }
                continue;
            case K::PRIMARY:
            case K::UNIQUE:
                Take();
                if (t.keyword == K::PRIMARY) {
                    ExpectKw(K::KEY);
                    col.primaryKey = true;
                } else {
                    col.unique = true;
                }
                if (!AcceptKw(K::CLUSTERED)) AcceptKw(K::NONCLUSTERED);
                SkipFilegroup();
                col.keyName = std::move(constraintName);
                constraintName.clear();
                named = false;
                continue;
            case K::COLLATE:
                Take();
                ParseName();
                continue;
            case K::CHECK:
            case K::FOREIGN:
            case K::REFERENCES: {
                ConstraintAst c;
                c.pos = t.pos;
                c.name = std::move(constraintName);
                constraintName.clear();
                named = false;
                c.columnLevel = true;
                c.columns.push_back(col.name);
                if (t.keyword == K::CHECK) {
                    ParseCheckCondition(c);
                } else {
                    if (AcceptKw(K::FOREIGN)) ExpectKw(K::KEY);
                    ParseReferences(c);
                }
                col.constraints.push_back(std::move(c));
                continue;
            }
            case K::ROWGUIDCOL:
                Unsupported(KeywordText(t.keyword), t.pos);
            default:
                break;
        }
        break;
    }
    if (named) SyntaxError();
    return col;
}

ConstraintAst Parser::ParseTableConstraint(bool allowDefault) {
    ConstraintAst c;
    c.pos = Peek().pos;
    if (AcceptKw(K::CONSTRAINT)) c.name = ParseName();
    if (AcceptKw(K::PRIMARY)) {
        ExpectKw(K::KEY);
        c.kind = ConstraintKind::PrimaryKey;
        if (!AcceptKw(K::CLUSTERED)) AcceptKw(K::NONCLUSTERED);
        ParseKeyColumns(&c.columns, nullptr);
    } else if (AcceptKw(K::UNIQUE)) {
        c.kind = ConstraintKind::Unique;
        if (!AcceptKw(K::CLUSTERED)) AcceptKw(K::NONCLUSTERED);
        ParseKeyColumns(&c.columns, nullptr);
    } else if (allowDefault && AcceptKw(K::DEFAULT)) {
        c.kind = ConstraintKind::Default;
        c.defaultExpr = ParseAdditive();
        ExpectKw(K::FOR);
        c.columns.push_back(ParseName());
        if (AtKw(K::WITH) && AtKw(K::VALUES, 1)) {
            Take();
            Take();
            c.withValues = true;
        }
        return c;
    } else if (AtKw(K::CHECK)) {
        ParseCheckCondition(c);
        return c;
    } else if (AcceptKw(K::FOREIGN)) {
        ExpectKw(K::KEY);
        ParseKeyColumns(&c.columns, nullptr);
        ParseReferences(c);
        return c;
    } else {
        SyntaxError();
    }
    SkipFilegroup();
    return c;
}

void Parser::ParseCreateIndex(Stmt& s) {
    s.kind = StmtKind::CreateIndex;
    SetConstruct("CREATE INDEX");
    s.unique = AcceptKw(K::UNIQUE);
    if (!AcceptKw(K::CLUSTERED)) AcceptKw(K::NONCLUSTERED);
    ExpectKw(K::INDEX);
    s.indexName = ParseName();
    ExpectKw(K::ON);
    s.table = ParseObjectName();
    ParseKeyColumns(&s.columns, &s.descending);
    if (AtContextWord("INCLUDE")) Unsupported("INCLUDE", Peek().pos);
    if (AcceptKw(K::WHERE)) s.where = ParseExpr();
    SkipFilegroup();
}

void Parser::ParseCreateDatabase(Stmt& s) {
    s.kind = StmtKind::CreateDatabase;
    SetConstruct("CREATE DATABASE");
    s.database = ParseName();
    // ON [PRIMARY] (NAME=..., FILENAME='...'), ... [LOG ON (...), ...]: files are
    // the layer's own business, so the clause is read and dropped.
    auto fileList = [this] {
        AcceptKw(K::PRIMARY);
        do {
            SkipParenthesized();
        } while (Accept(T::Comma));
    };
    if (AcceptKw(K::ON)) fileList();
    if (AtKw(K::LOG) && AtKw(K::ON, 1)) {
        Take();
        Take();
        fileList();
    }
    if (AcceptKw(K::COLLATE)) ParseName();
}

void Parser::ParseAlter(Stmt& s) {
    const Token alter = Take();
    SetConstruct("ALTER");
    if (!AtKw(K::TABLE)) {
        if (At(T::Identifier)) Unsupported("ALTER " + Upper(Peek().text), alter.pos);
        SyntaxError();
    }
    Take();
    s.kind = StmtKind::AlterTable;
    SetConstruct("ALTER TABLE");
    s.table = ParseObjectName();
    // WITH CHECK | WITH NOCHECK: whether rows already there must meet what is added or enabled.
    if (AtKw(K::WITH) && (AtKw(K::CHECK, 1) || AtKw(K::NOCHECK, 1))) {
        Take();
        s.noCheck = Take().keyword == K::NOCHECK;
        s.withCheck = !s.noCheck;
    }
    if ((AtKw(K::CHECK) || AtKw(K::NOCHECK)) && AtKw(K::CONSTRAINT, 1)) {
        s.alter = AlterAction::CheckConstraints;
        s.on = Take().keyword == K::CHECK;
        Take();
        if (AcceptKw(K::ALL)) return;
        do {
            s.names.push_back(ParseName());
        } while (Accept(T::Comma));
        return;
    }
    if (AcceptKw(K::ADD)) {
        do {
            if (AtTableConstraint() || AtKw(K::DEFAULT)) {
                s.constraints.push_back(ParseTableConstraint(true));
            } else {
                s.columnDefs.push_back(ParseColumnDef(s.columnDefs.size() + 1));
            }
        } while (Accept(T::Comma));
        s.alter = s.columnDefs.empty() ? AlterAction::AddConstraints : AlterAction::AddColumns;
    } else if (AtKw(K::ALTER)) {
        Take();
        ExpectKw(K::COLUMN);
        s.alter = AlterAction::AlterColumn;
        ColumnDefAst col;
        col.pos = Peek().pos;
        col.name = ParseName();
        ParseType(&col.type, &col.typeText, TypeUse::Column, 1);
        if (AcceptKw(K::COLLATE)) ParseName();
        if (AcceptKw(K::NULL_)) {
            col.nullable = true;
        } else if (AcceptKw(K::NOT)) {
            ExpectKw(K::NULL_);
            col.nullable = false;
        }
        s.columnDefs.push_back(std::move(col));
    } else if (AcceptKw(K::DROP)) {
        // DROP COLUMN c[, c]; DROP CONSTRAINT n[, n]; DROP n, which the server
        // reads as a constraint.
        s.alter = AcceptKw(K::COLUMN) ? AlterAction::DropColumn : AlterAction::DropConstraint;
        if (s.alter == AlterAction::DropConstraint) AcceptKw(K::CONSTRAINT);
        do {
            if (s.alter == AlterAction::DropColumn) {
                AcceptKw(K::COLUMN);
            } else {
                AcceptKw(K::CONSTRAINT);
            }
            if (AtKw(K::IF) && AtKw(K::EXISTS, 1)) Unsupported("DROP ... IF EXISTS", Peek().pos);
            s.names.push_back(ParseName());
        } while (Accept(T::Comma));
    } else if (At(T::Identifier)) {
        Unsupported("ALTER TABLE ... " + Upper(Peek().text), Peek().pos);
    } else {
        SyntaxError();
    }
}

void Parser::ParseDrop(Stmt& s) {
    const Token drop = Take();
    SetConstruct("DROP");
    if (AcceptKw(K::TABLE)) {
        s.kind = StmtKind::DropTable;
        SetConstruct("DROP TABLE");
        ParseDropList(s);
    } else if (AcceptKw(K::INDEX)) {
        s.kind = StmtKind::DropIndex;
        SetConstruct("DROP INDEX");
        do {
            SourcePos pos = Peek().pos;
            std::vector<std::string> parts = ParseNameParts();
            ObjectName table;
            if (AcceptKw(K::ON)) {
                if (parts.size() != 1) SyntaxError();
                table = ParseObjectName();
            } else {
                // table.index: the name before the last dot is the table's.
                if (parts.size() < 2) SyntaxError();
                std::vector<std::string> tableParts(parts.begin(), parts.end() - 1);
                table = ToObjectName(tableParts, pos);
            }
            s.names.push_back(parts.back());
            s.objects.push_back(std::move(table));
        } while (Accept(T::Comma));
        s.indexName = s.names.front();
        s.table = s.objects.front();
    } else if (AtKw(K::VIEW) || AtKw(K::PROC) || AtKw(K::PROCEDURE) || AtKw(K::FUNCTION) ||
               AtKw(K::TRIGGER)) {
        const bool view = AtKw(K::VIEW);
        // The kind of object, as messages name it.
        s.option = AtKw(K::FUNCTION) ? "function" : AtKw(K::TRIGGER) ? "trigger" : "procedure";
        Take();
        s.kind = view ? StmtKind::DropView : StmtKind::DropProcedure;
        SetConstruct(view ? "DROP VIEW" : "DROP PROCEDURE");
        ParseDropList(s);
    } else if (AcceptKw(K::DATABASE)) {
        s.kind = StmtKind::DropDatabase;
        SetConstruct("DROP DATABASE");
        do {
            s.names.push_back(ParseName());
        } while (Accept(T::Comma));
        s.database = s.names.front();
    } else if (At(T::Identifier)) {
        Unsupported("DROP " + Upper(Peek().text), drop.pos);
    } else {
        SyntaxError();
    }
}

// CREATE VIEW / ALTER VIEW name [(column, ...)] [WITH option, ...] AS select
// [WITH CHECK OPTION]: the only statement of its batch.
void Parser::ParseView(Stmt& s, bool batchStart) {
    const Token verb = Take();
    Take();  // VIEW
    const bool create = verb.keyword == K::CREATE;
    s.kind = create ? StmtKind::CreateView : StmtKind::AlterView;
    SetConstruct(create ? "CREATE VIEW" : "ALTER VIEW");
    if (!batchStart) {
        Fail(std::string(create ? "'CREATE VIEW'" : "'ALTER VIEW'") +
                 " must be the first statement in a query batch.",
             verb.pos);
    }
    s.table = ParseObjectName();
    if (Accept(T::LParen)) {
        do {
            s.columns.push_back(ParseName());
        } while (Accept(T::Comma));
        Expect(T::RParen);
    }
    if (AcceptKw(K::WITH)) {
        // ENCRYPTION (the definition is not shown), SCHEMABINDING, VIEW_METADATA.
        do {
            if (!AtContextWord("ENCRYPTION") && !AtContextWord("SCHEMABINDING") &&
                !AtContextWord("VIEW_METADATA")) {
                SyntaxError();
            }
            if (AtContextWord("ENCRYPTION")) s.encrypted = true;
            Take();
        } while (Accept(T::Comma));
    }
    ExpectKw(K::AS);
    const uint32_t start = Peek().pos.offset;
    SetConstruct("SELECT");
    s.select = ParseSelect();
    s.queryText = std::string(m_text.substr(start, m_lastEnd - start));
    if (!s.select->orderBy.empty() && !s.select->top) {
        Fail(
            "The ORDER BY clause is invalid in views, inline functions, derived tables, "
            "subqueries, and common table expressions, unless TOP, OFFSET or FOR XML is also "
            "specified.",
            verb.pos);
    }
    if (AtKw(K::WITH) && AtKw(K::CHECK, 1) && AtKw(K::OPTION, 2)) {
        Take();
        Take();
        Take();
    }
    while (Accept(T::Semicolon)) {
    }
    if (!At(T::End)) SyntaxError();
}

// CREATE | ALTER PROC[EDURE] name [;number] [(] @p [AS] type [= default] [OUT[PUT]]
// [READONLY], ... [)] [WITH option, ...] [FOR REPLICATION] AS statements: the
// procedure's body runs to the end of the batch, which the statement opens.
void Parser::ParseProcedure(Stmt& s, bool batchStart) {
    const Token verb = Take();
    Take();  // PROC | PROCEDURE
    const bool create = verb.keyword == K::CREATE;
    s.kind = create ? StmtKind::CreateProcedure : StmtKind::AlterProcedure;
    SetConstruct(create ? "CREATE PROCEDURE" : "ALTER PROCEDURE");
    if (!batchStart) {
        Fail(std::string(create ? "'CREATE PROCEDURE'" : "'ALTER PROCEDURE'") +
                 " must be the first statement in a query batch.",
             verb.pos);
    }
    s.procedure = ParseObjectName();
    if (Accept(T::Semicolon)) {
        // A numbered procedure of a group: only the group's first is kept.
        if (!At(T::Integer)) SyntaxError();
        if (Take().text != "1") Unsupported("numbered procedures", verb.pos);
    }
    const bool parenthesized = Accept(T::LParen);
    if (At(T::Variable)) {
        do {
            if (!At(T::Variable)) SyntaxError();
            Stmt::Variable v;
            v.name = std::string(Take().text);
            for (const Stmt::Variable& other : s.variables) {
                if (EqualsNoCase(other.name, v.name)) {
                    Fail("The variable name '" + v.name +
                             "' has already been declared. Variable names must be unique within "
                             "a query batch or stored procedure.",
                         Peek().pos);
                }
            }
            AcceptKw(K::AS);
            if (AtKw(K::CURSOR) || AtKw(K::TABLE))
                Unsupported("cursor and table parameters", Peek().pos);
            ParseType(&v.type, &v.typeText, TypeUse::Variable, s.variables.size() + 1);
            if (AtContextWord("VARYING")) Unsupported("cursor parameters", Peek().pos);
            if (Accept(T::Eq)) {
                // A constant or NULL.
                if (AtKw(K::NULL_)) {
                    v.init = MakeLiteral(Take(), LiteralKind::Null);
                } else if (At(T::String) || At(T::Integer) || At(T::Decimal) || At(T::Float) ||
                           At(T::Money) || At(T::Hex) || At(T::Minus) || At(T::Plus)) {
                    v.init = ParseSigned();
                } else if (AtName()) {
                    v.init = MakeLiteral(Take(), LiteralKind::String);
                } else {
                    SyntaxError();
                }
            }
            if (AcceptKw(K::OUTPUT) || AcceptKw(K::OUT)) v.output = true;
            if (AtContextWord("READONLY")) Take();
            s.variables.push_back(std::move(v));
        } while (Accept(T::Comma));
    }
    if (parenthesized) Expect(T::RParen);
    if (AcceptKw(K::WITH)) {
        // RECOMPILE, ENCRYPTION, EXECUTE AS ...: nothing changes how it runs here.
        do {
            if (AtContextWord("RECOMPILE") || AtContextWord("ENCRYPTION")) {
                if (AtContextWord("ENCRYPTION")) s.encrypted = true;
                Take();
            } else if (AtKw(K::EXEC) || AtKw(K::EXECUTE)) {
                Take();
                ExpectKw(K::AS);
                if (!At(T::String) && !AtName()) SyntaxError();
                Take();
            } else {
                SyntaxError();
            }
        } while (Accept(T::Comma));
    }
    if (AtKw(K::FOR) && AtContextWord("REPLICATION", 1)) {
        Take();
        Take();
    }
    ExpectKw(K::AS);
    const uint32_t start = Peek().pos.offset;
    const bool outer = m_inProcedure;
    m_inProcedure = true;
    Stmt* owner = m_stmt;
    while (true) {
        while (Accept(T::Semicolon)) {
        }
        if (At(T::End)) break;
        if (!s.body.empty() && !AtStatementStart()) {
            m_construct = m_lastConstruct;
            SyntaxError();
        }
        s.body.push_back(ParseStatement(false));
    }
    m_stmt = owner;
    m_inProcedure = outer;
    if (s.body.empty()) Fail("CREATE PROCEDURE contains no statements.", verb.pos);
    s.queryText = std::string(m_text.substr(start, m_lastEnd - start));
}

void Parser::ParseBegin(Stmt& s) {
    if (AtKw(K::TRAN, 1) || AtKw(K::TRANSACTION, 1)) {
        s.kind = StmtKind::BeginTran;
        SetConstruct("BEGIN TRANSACTION");
        Take();
        Take();
        if (AtName() || At(T::Variable)) s.tranName = std::string(Take().text);
        return;
    }
    if (AtContextWord("TRY", 1)) {
        ParseTryCatch(s);
        return;
    }
    for (std::string_view word : {"CATCH", "DISTRIBUTED", "CONVERSATION", "DIALOG"}) {
        if (AtContextWord(word, 1)) {
            Unsupported("BEGIN " + std::string(word), Peek().pos);
        }
    }
    ParseBlock(s);
}

// BEGIN TRY statements END TRY BEGIN CATCH [statements] END CATCH: the two
// parts become blocks of the statement.
void Parser::ParseTryCatch(Stmt& s) {
    s.kind = StmtKind::TryCatch;
    SetConstruct("BEGIN TRY");
    auto part = [&](std::string_view word, bool needOne) {
        auto block = std::make_unique<Stmt>();
        block->kind = StmtKind::Block;
        block->pos = Peek().pos;
        Take();  // BEGIN
        Take();  // TRY or CATCH
        while (true) {
            while (Accept(T::Semicolon)) {
            }
            if (AtKw(K::END) && AtContextWord(word, 1)) break;
            if (!AtStatementStart()) SyntaxError();
            block->body.push_back(ParseStatement(false));
        }
        if (needOne && block->body.empty()) SyntaxError();
        Take();  // END
        Take();  // TRY or CATCH
        block->endOffset = m_lastEnd;
        return block;
    };
    s.thenStmt = part("TRY", true);
    while (Accept(T::Semicolon)) {
    }
    // The CATCH block must follow at once.
    if (!AtKw(K::BEGIN) || !AtContextWord("CATCH", 1)) SyntaxError();
    SetConstruct("BEGIN CATCH");
    s.elseStmt = part("CATCH", false);
}

void Parser::ParseBlock(Stmt& s) {
    s.kind = StmtKind::Block;
    SetConstruct("BEGIN ... END");
    Take();
    while (true) {
        while (Accept(T::Semicolon)) {
        }
        if (AtKw(K::END)) break;
        if (!AtStatementStart()) {
            if (!s.body.empty()) m_construct = m_lastConstruct;
            SyntaxError();
        }
        s.body.push_back(ParseStatement(false));
    }
    Take();
}

void Parser::ParseDeclare(Stmt& s) {
    Take();
    if (AtName()) {
        ParseDeclareCursor(s);
        return;
    }
    s.kind = StmtKind::Declare;
    SetConstruct("DECLARE");
    do {
        if (!At(T::Variable)) SyntaxError();
        Stmt::Variable v;
        v.name = std::string(Take().text);
        AcceptKw(K::AS);
        if (AtKw(K::TABLE)) {
            // A table variable is declared alone; it is a table of the
            // session's tempdb that lives as long as the batch.
            if (!s.variables.empty()) SyntaxError();
            Take();
            s.kind = StmtKind::CreateTable;
            SetConstruct("DECLARE");
            s.table.name = std::move(v.name);
            ParseTableBody(s);
            return;
        }
        if (AtKw(K::CURSOR)) Unsupported("cursor variables", Peek().pos);
        ParseType(&v.type, &v.typeText, TypeUse::Variable, s.variables.size() + 1);
        if (Accept(T::Eq)) v.init = ParseExpr();
        s.variables.push_back(std::move(v));
    } while (Accept(T::Comma));
}

void Parser::ParseDeclareCursor(Stmt& s) {
    s.kind = StmtKind::DeclareCursor;
    SetConstruct("DECLARE CURSOR");
    s.cursor = ParseName();
    // The ISO form: DECLARE c [INSENSITIVE] [SCROLL] CURSOR FOR ...
    AcceptKw(K::INSENSITIVE);
    if (AcceptKw(K::SCROLL)) s.scroll = true;
    ExpectKw(K::CURSOR);
    for (bool option = true; option;) {
        switch (Peek().kind == T::Identifier ? Peek().keyword : K::None) {
            case K::LOCAL:
                s.localCursor = true;
                break;
            case K::GLOBAL:
                s.localCursor = false;
                break;
            case K::SCROLL:
                s.scroll = true;
                break;
            case K::FORWARD_ONLY:
                s.scroll = false;
                break;
            case K::STATIC:
            case K::KEYSET:
            case K::DYNAMIC:
            case K::FAST_FORWARD:
            case K::READ_ONLY:
            case K::SCROLL_LOCKS:
            case K::OPTIMISTIC:
            case K::TYPE_WARNING:
                break;
            default:
                option = false;
                continue;
        }
        Take();
    }
    ExpectKw(K::FOR);
    s.select = ParseSelect();
    if (AtKw(K::FOR)) {
        // FOR READ ONLY / FOR UPDATE [OF c, ...]: the layer's cursors only read.
        Take();
        if (AcceptKw(K::READ)) {
            if (!AtContextWord("ONLY")) SyntaxError();
            Take();
        } else if (AcceptKw(K::UPDATE)) {
            if (AcceptKw(K::OF)) {
                do {
                    ParseColumnName();
                } while (Accept(T::Comma));
            }
        } else {
            SyntaxError();
        }
    }
}

void Parser::ParseSet(Stmt& s) {
    Take();
    SetConstruct("SET");
    if (At(T::Variable)) {
        s.kind = StmtKind::SetVariable;
        const SourcePos at = Peek().pos;
        s.variable = std::string(Take().text);
        s.setOp = Op::Eq;
        if (!At(T::Eq)) {
            // += -= *= /= %= &= |= ^=
            switch (Peek().kind) {
                case T::Plus:
                    s.setOp = Op::Add;
                    break;
                case T::Minus:
                    s.setOp = Op::Sub;
                    break;
                case T::Star:
                    s.setOp = Op::Mul;
                    break;
                case T::Slash:
                    s.setOp = Op::Div;
                    break;
                case T::Percent:
                    s.setOp = Op::Mod;
                    break;
                case T::Amp:
                    s.setOp = Op::BitAnd;
                    break;
                case T::Pipe:
                    s.setOp = Op::BitOr;
                    break;
                case T::Caret:
                    s.setOp = Op::BitXor;
                    break;
                default:
                    SyntaxError();
            }
            Take();
        }
        Expect(T::Eq);
        if (AtKw(K::CURSOR)) Unsupported("cursor variables", Peek().pos);
        s.value = ParseExpr();
        if (s.setOp != Op::Eq) {
            // SET @v += x is SET @v = @v + x.
            ExprPtr self = NewExpr(ExprKind::Variable, at);
            self->name = s.variable;
            s.value = MakeBinary(s.setOp, at, Finish(std::move(self)), std::move(s.value));
        }
        return;
    }
    s.kind = StmtKind::SetOption;
    if (AtKw(K::IDENTITY_INSERT)) {
        Take();
        s.option = "IDENTITY_INSERT";
        s.names.push_back(s.option);
        s.table = ParseObjectName();
    } else if (AtKw(K::TRANSACTION)) {
        // SET TRANSACTION ISOLATION LEVEL READ COMMITTED: value is the level's text.
        Take();
        ExpectKw(K::ISOLATION);
        ExpectKw(K::LEVEL);
        s.option = "TRANSACTION ISOLATION LEVEL";
        s.names.push_back(s.option);
        // READ UNCOMMITTED | READ COMMITTED | REPEATABLE READ | SNAPSHOT | SERIALIZABLE
        if (!At(T::Identifier)) SyntaxError();
        const Token first = Take();
        if (first.keyword == K::READ || EqualsNoCase(first.text, "REPEATABLE")) {
            if (!At(T::Identifier)) SyntaxError();
            Take();
        }
        Token level = first;
        level.kind = T::String;
        level.length = m_lastEnd - first.pos.offset;
        level.text = m_text.substr(first.pos.offset, level.length);
        s.value = MakeLiteral(level, LiteralKind::String);
        s.value->text = Upper(s.value->text);
        return;
    } else {
        do {
            const Token& t = Peek();
            if (t.kind != T::Identifier) SyntaxError();
            if (t.reserved && t.keyword != K::ROWCOUNT && t.keyword != K::TEXTSIZE &&
                t.keyword != K::OFFSETS && t.keyword != K::STATISTICS) {
                SyntaxError();
            }
            std::string name = Upper(Take().text);
            if (name == "STATISTICS") {
                if (!At(T::Identifier)) SyntaxError();
                name += " " + Upper(Take().text);
            }
            s.names.push_back(std::move(name));
        } while (Accept(T::Comma));
        s.option = s.names.front();
    }
    if (AcceptKw(K::ON)) {
        s.on = true;
    } else if (AcceptKw(K::OFF)) {
        s.on = false;
    } else if (s.option != "IDENTITY_INSERT") {
        // SET ROWCOUNT 10, SET DATEFORMAT dmy, SET LANGUAGE 'us_english', SET LOCK_TIMEOUT -1
        if (At(T::Minus) || At(T::Plus) || At(T::Integer) || At(T::Variable) || At(T::String) ||
            At(T::Decimal) || At(T::Hex)) {
            s.value = ParseSigned();
        } else if (AtName()) {
            s.value = MakeLiteral(Take(), LiteralKind::String);
        } else {
            SyntaxError();
        }
    } else {
        SyntaxError();
    }
    // The setting is the parser's: the statements after it read "text" by it.
    for (const std::string& name : s.names) {
        if (name == "QUOTED_IDENTIFIER") m_lexer.SetQuotedIdentifier(s.on);
    }
}

void Parser::ParseExec(Stmt& s) {
    Take();
    SetConstruct("EXEC");
    if (At(T::LParen)) {
        s.kind = StmtKind::Exec;
        Take();
        s.value = ParseExpr();
        Expect(T::RParen);
        if (AtKw(K::AS) || AtContextWord("AT")) Unsupported("EXEC (...) AS/AT", Peek().pos);
        return;
    }
    s.kind = StmtKind::ExecProc;
    ParseProcCall(s);
}

// [@rc =] proc [arg, ...]
void Parser::ParseProcCall(Stmt& s) {
    if (At(T::Variable)) {
        if (!At(T::Eq, 1)) Unsupported("EXEC @variable", Peek().pos);
        s.returnVar = std::string(Take().text);
        Take();
        if (At(T::Variable)) Unsupported("EXEC @variable", Peek().pos);
    }
    s.procedure = ParseObjectName();
    const auto canStartArg = [this] {
        const Token& t = Peek();
        switch (t.kind) {
            case T::Variable:
            case T::String:
            case T::Integer:
            case T::Decimal:
            case T::Float:
            case T::Money:
            case T::Hex:
            case T::Plus:
            case T::Minus:
            case T::QuotedIdentifier:
                return true;
            case T::Identifier:
                return !t.reserved || t.keyword == K::NULL_ || t.keyword == K::DEFAULT;
            default:
                return false;
        }
    };
    if (canStartArg()) {
        do {
            s.args.push_back(ParseProcArg());
        } while (Accept(T::Comma));
    }
    if (AtKw(K::WITH) && AtContextWord("RECOMPILE", 1)) {
        Take();
        Take();
    }
}

ProcArg Parser::ParseProcArg() {
    ProcArg arg;
    if (At(T::Variable) && At(T::Eq, 1)) {
        arg.paramName = std::string(Take().text);
        Take();
    }
    const Token t = Peek();
    switch (t.kind) {
        case T::Variable:
        case T::String:
        case T::Integer:
        case T::Decimal:
        case T::Float:
        case T::Money:
        case T::Hex:
            arg.value = ParsePrimary();
            break;
        case T::Plus:
        case T::Minus: {
            Token sign = Take();
            if (!At(T::Integer) && !At(T::Decimal) && !At(T::Float) && !At(T::Money)) {
                SyntaxError();
            }
            arg.value =
                MakeUnary(sign.kind == T::Minus ? Op::Neg : Op::Plus, sign.pos, ParsePrimary());
            break;
        }
        case T::QuotedIdentifier:
            // A bare name passes as text: "EXEC sp_grantdbaccess BrantUK".
            arg.value = MakeLiteral(Take(), LiteralKind::String);
            break;
        case T::Identifier:
            if (t.keyword == K::NULL_) {
                arg.value = MakeLiteral(Take(), LiteralKind::Null);
                break;
            }
            if (t.keyword == K::DEFAULT) {
                Take();
                arg.isDefault = true;
                return arg;
            }
            if (t.reserved) SyntaxError();
            arg.value = MakeLiteral(Take(), LiteralKind::String);
            break;
        default:
            SyntaxError();
    }
    if (AcceptKw(K::OUTPUT) || AcceptKw(K::OUT)) arg.output = true;
    return arg;
}

void Parser::ParseCursorName(Stmt& s) {
    if (AtKw(K::GLOBAL) && AtName(1)) Take();
    if (At(T::Variable)) Unsupported("cursor variables", Peek().pos);
    s.cursor = ParseName();
}

void Parser::ParseFetch(Stmt& s) {
    s.kind = StmtKind::FetchCursor;
    SetConstruct("FETCH");
    Take();
    const Token& t = Peek();
    const bool directionWord =
        t.kind == T::Identifier &&
        (t.keyword == K::NEXT || t.keyword == K::PRIOR || t.keyword == K::FIRST ||
         t.keyword == K::LAST || t.keyword == K::ABSOLUTE || t.keyword == K::RELATIVE);
    // "FETCH next" with nothing after it names a cursor called next.
    if (directionWord && (AtKw(K::FROM, 1) || AtName(1) || At(T::Variable, 1) ||
                          At(T::Integer, 1) || At(T::Minus, 1) || At(T::Plus, 1))) {
        K kw = Take().keyword;
        switch (kw) {
            case K::NEXT:
                s.direction = FetchDirection::Next;
                break;
            case K::PRIOR:
                s.direction = FetchDirection::Prior;
                break;
            case K::FIRST:
                s.direction = FetchDirection::First;
                break;
            case K::LAST:
                s.direction = FetchDirection::Last;
                break;
            case K::ABSOLUTE:
                s.direction = FetchDirection::Absolute;
                break;
            default:
                s.direction = FetchDirection::Relative;
                break;
        }
        if (kw == K::ABSOLUTE || kw == K::RELATIVE) s.fetchOffset = ParseSigned();
        AcceptKw(K::FROM);
    } else {
        AcceptKw(K::FROM);
    }
    ParseCursorName(s);
    if (AcceptKw(K::INTO)) {
        do {
            if (!At(T::Variable)) SyntaxError();
            s.intoVars.emplace_back(Take().text);
        } while (Accept(T::Comma));
    }
}

// RAISERROR (msg_id | msg_str | @var, severity, state [, argument ...])
// [WITH LOG | NOWAIT | SETERROR, ...]
void Parser::ParseRaisError(Stmt& s) {
    s.kind = StmtKind::RaisError;
    SetConstruct("RAISERROR");
    Take();
    Expect(T::LParen);
    do {
        ProcArg arg;
        arg.value = ParseExpr();
        s.args.push_back(std::move(arg));
    } while (Accept(T::Comma));
    Expect(T::RParen);
    // The message, its severity and its state are all required.
    if (s.args.size() < 3) SyntaxError();
    if (AcceptKw(K::WITH)) {
        do {
            if (!At(T::Identifier)) SyntaxError();
            std::string option = Upper(Peek().text);
            if (option != "LOG" && option != "NOWAIT" && option != "SETERROR") SyntaxError();
            Take();
            s.names.push_back(std::move(option));
        } while (Accept(T::Comma));
    }
}

// [IF EXISTS] name [, name ...] of a DROP TABLE, VIEW or PROCEDURE.
void Parser::ParseDropList(Stmt& s) {
    if (AtKw(K::IF) && AtKw(K::EXISTS, 1)) {
        Take();
        Take();
        s.ifExists = true;
    }
    do {
        s.objects.push_back(ParseObjectName());
        s.names.push_back(s.objects.back().name);
    } while (Accept(T::Comma));
    s.table = s.objects.front();
}

void Parser::ParseTranEnd(Stmt& s, StmtKind kind) {
    s.kind = kind;
    SetConstruct(kind == StmtKind::CommitTran ? "COMMIT" : "ROLLBACK");
    Take();
    if (AcceptKw(K::TRAN) || AcceptKw(K::TRANSACTION)) {
        if (AtName() || At(T::Variable)) s.tranName = std::string(Take().text);
    } else {
        AcceptKw(K::WORK);
    }
}

}  // namespace

Batch Parse(std::string_view text, bool quotedIdentifier) {
    Batch batch;
    batch.text = std::string(text);
    Parser parser(batch.text, quotedIdentifier);
    batch.statements = parser.ParseBatch();
    return batch;
}

}  // namespace xr::tsql
