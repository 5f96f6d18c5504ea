// The T-SQL front end where running SQL cannot show it: source extents,
// literal numbering, lexical limits and the server's error texts with the
// construct and position. Statement and expression forms run in
// conformance/syntax.test and special_batches.test.
#include "tsql/parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tsql/lexer.h"

namespace xr::tsql {
namespace {

std::string ErrorOf(std::string_view text) {
    try {
        Parse(text);
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
        return e.Description();
    }
    return "(parsed)";
}

TEST(TsqlParserExpr, SourceExtentOfEveryExpression) {
    Batch b = Parse("SELECT 1 WHERE (a + 2) * 3 = -4");
    auto extent = [&](const Expr& e) { return b.text.substr(e.pos.offset, e.length); };
    const Expr& cmp = *b.statements[0]->select->where;
    EXPECT_EQ(extent(cmp), "(a + 2) * 3 = -4");
    EXPECT_EQ(extent(*cmp.args[0]), "(a + 2) * 3");
    EXPECT_EQ(extent(*cmp.args[1]), "-4");
}

TEST(TsqlParserLiterals, NumberedPerOwningStatementInSourceOrder) {
    Batch b = Parse(
        "IF (SELECT [Name] FROM Functions WHERE FuncNo=135) = 'Set Room'\n"
        "  BEGIN DELETE FROM Functions WHERE [FuncNo]=135 END\n"
        "ELSE INSERT T VALUES (N'it''s', -7, 0x0A, $3, 1.5e2, NULL)");
    const Stmt& test = *b.statements[0];
    ASSERT_EQ(test.literals.size(), 2u);
    EXPECT_EQ(test.literals[0]->text, "135");
    EXPECT_EQ(test.literals[1]->text, "Set Room");
    EXPECT_EQ(test.thenStmt->literals.size(), 0u);
    EXPECT_EQ(test.thenStmt->body[0]->literals.size(), 1u);

    const Stmt& insert = *test.elseStmt;
    const std::vector<std::pair<LiteralKind, std::string>> expected = {
        {LiteralKind::String, "N'it''s'"}, {LiteralKind::Integer, "7"},
        {LiteralKind::Hex, "0x0A"},        {LiteralKind::Money, "$3"},
        {LiteralKind::Float, "1.5e2"},     {LiteralKind::Null, "NULL"}};
    ASSERT_EQ(insert.literals.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expr& lit = *insert.literals[i];
        EXPECT_EQ(lit.paramIndex, static_cast<int>(i));
        EXPECT_EQ(lit.literal, expected[i].first);
        EXPECT_EQ(b.text.substr(lit.pos.offset, lit.length), expected[i].second);
    }
    EXPECT_EQ(insert.literals[0]->text, "it's");
    EXPECT_EQ(insert.pos.line, 3u);
    EXPECT_EQ(insert.pos.column, 6u);
    EXPECT_EQ(insert.literals[1]->pos.column, 34u);
}

TEST(TsqlParserLexer, NamesNumbersAndComments) {
    Batch b = Parse(
        "/* a /* nested */ comment */ SELECT [a]]b], \"q\"\"x\", V$Dirty#@ -- to the end\n"
        "FROM #tmp WHERE x = 00000000000000000000012345678901234567890123456789012345678");
    const SelectStmt& q = *b.statements[0]->select;
    EXPECT_EQ(q.items[0].expr->name, "a]b");
    EXPECT_EQ(q.items[1].expr->name, "q\"x");
    EXPECT_EQ(q.items[2].expr->name, "V$Dirty#@");
    EXPECT_EQ(q.from[0]->table.name, "#tmp");
    EXPECT_EQ(q.where->args[1]->literal, LiteralKind::Integer);

    // 38 significant digits pass, 39 do not; a name of 128 characters passes, 129 do not.
    EXPECT_NO_THROW(Parse("SELECT " + std::string(38, '9')));
    EXPECT_NO_THROW(Parse("SELECT 1." + std::string(37, '9')));
    EXPECT_EQ(ErrorOf("SELECT " + std::string(39, '9')),
              "The number '" + std::string(39, '9') +
                  "' is out of the range for numeric representation (maximum precision 38). "
                  "(in SELECT, line 1, column 8)");
    EXPECT_NO_THROW(Parse("SELECT " + std::string(128, 'a')));
    EXPECT_EQ(ErrorOf("SELECT [" + std::string(129, 'a') + "]"),
              "The identifier that starts with '" + std::string(128, 'a') +
                  "' is too long. Maximum length is 128. (in SELECT, line 1, column 8)");
    EXPECT_EQ(LookupKeyword("Select"), Keyword::SELECT);
    EXPECT_TRUE(IsReserved(Keyword::FREETEXT));
    EXPECT_FALSE(IsReserved(Keyword::SCROLL));
    EXPECT_EQ(KeywordText(Keyword::NULL_), "NULL");
}

TEST(TsqlParserLexer, CommentEndsTheJoinedBatch) {
    // The runner joins lines: a "--" line comments out all that follows.
    EXPECT_EQ(Parse(" DELETE FROM T WHERE K=1 --->GO DELETE FROM U").statements.size(), 1u);
    EXPECT_TRUE(Parse("  ;; -- nothing\n/* at all */").statements.empty());
    EXPECT_EQ(Parse("SELECT 1; SELECT 2;").statements.size(), 2u);
}

TEST(TsqlParserErrors, ServerTextsWithConstructAndPosition) {
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT 'abc",
         "Unclosed quotation mark after the character string 'abc'. "
         "(in SELECT, line 1, column 8)"},
        {"SELECT 1\nFROM [t",
         "Unclosed quotation mark after the character string 't'. "
         "(in SELECT, line 2, column 6)"},
        {"SELECT 1 /* x /* y */", "Missing end comment mark '*/'. (in SELECT, line 1, column 10)"},
        {"CREATE TABLE T (a INTEGER,\n b INTEGER DEFAULT (1 NOT NULL)",
         "Incorrect syntax near the keyword 'NOT'. (in CREATE TABLE, line 2, column 23)"},
        {"SELECT (1 + 2", "Incorrect syntax near '2'. (in SELECT, line 1, column 13)"},
        {"SELECT 1 + 2)", "Incorrect syntax near ')'. (in SELECT, line 1, column 13)"},
        {"SELECT 1 * FROM t",
         "Incorrect syntax near the keyword 'FROM'. (in SELECT, line 1, column 12)"},
        {"UPDATE T SET WHERE a=1",
         "Incorrect syntax near the keyword 'WHERE'. (in UPDATE, line 1, column 14)"},
        {"INSERT T VALUES (1,)", "Incorrect syntax near ')'. (in INSERT, line 1, column 20)"},
        {"IF 1=1", "Incorrect syntax near '1'. (in IF, line 1, column 6)"},
        {"BEGIN SELECT 1", "Incorrect syntax near '1'. (in SELECT, line 1, column 14)"},
        {"SELECT 1 foo bar", "Incorrect syntax near 'bar'. (in SELECT, line 1, column 14)"},
        {"DELETE FROM T sp_who", "Incorrect syntax near 'sp_who'. (in DELETE, line 1, column 15)"},
        {"ELSE SELECT 1", "Incorrect syntax near the keyword 'ELSE'. (line 1, column 1)"},
        {"ALTER TABLE T DROP Constraint ",
         "Incorrect syntax near the keyword 'CONSTRAINT'. "
         "(in ALTER TABLE, line 1, column 20)"},
        {"SELECT 1 ! 2", "Incorrect syntax near '!'. (in SELECT, line 1, column 10)"},
        {"SELECT CAST(1 AS foo)",
         "Type foo is not a defined system type. (in SELECT, line 1, column 18)"},
        {"DECLARE @a INT, @b bogus(3)",
         "Column, parameter, or variable #2: Cannot find data type bogus. (in DECLARE, line 1, "
         "column 20)"},
        {"MERGE T USING U ON 1=1", "'MERGE' is not supported (line 1, column 1)"},
        {"SELECT 1 CREATE VIEW v AS SELECT 1",
         "'CREATE VIEW' must be the first statement in a query batch. (in CREATE VIEW, line 1, "
         "column 10)"},
        {"BEGIN CATCH SELECT 1 END CATCH", "'BEGIN CATCH' is not supported (line 1, column 1)"},
        {"BEGIN TRY SELECT 1 END TRY",
         "Incorrect syntax near 'TRY'. (in BEGIN TRY, line 1, column 24)"},
        {"SELECT 1 OPTION (FAST 1)", "'OPTION' is not supported (line 1, column 10)"},
        {"CREATE TABLE T (a INT DEFAULT 1 DEFAULT 2)",
         "Incorrect syntax near the keyword 'DEFAULT'. (in CREATE TABLE, line 1, column 33)"},
        {"SELECT [] FROM t",
         "An object or column name is missing or empty. (in SELECT, line 1, column 8)"},
        // Keywords are named in upper case whatever their spelling.
        {"select * from",
         "Incorrect syntax near the keyword 'FROM'. (in SELECT, line 1, column 10)"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ErrorOf(text), expected) << text;
}

// Whatever arrives, the parser answers with a tree or a ComError.
TEST(TsqlParserErrors, GarbageNeverCrashes) {
    std::mt19937 rng(12345);
    // The pieces, '|'-separated, and a NUL.
    std::vector<std::string> fragments = {std::string(1, '\0')};
    const std::string kPieces =
        "SELECT|FROM|WHERE|(|)|,|'|''|[|]|\"|/*|*/|--|\n| "
        "|@|@@x|0x|1e|.|..|$|N'|IF|ELSE|BEGIN|END|CASE|WHEN|THEN|NOT|IN|BETWEEN|AND|EXEC|=|<>|!|-|+"
        "|*|DECLARE|CURSOR|FOR|CREATE TABLE|ALTER "
        "TABLE|ADD|DROP|DEFAULT|INSERT|VALUES|SET|ON|OFF|FETCH|INTO|t|x|1|12.5|;|\xff|\x80";
    for (size_t at = 0, bar; at <= kPieces.size(); at = bar + 1) {
        bar = std::min(kPieces.find('|', at), kPieces.size());
        fragments.push_back(kPieces.substr(at, bar - at));
    }
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = static_cast<int>(rng() % 40);
        for (int i = 0; i < pieces; ++i) {
            if (rng() % 8 == 0) {
                text += static_cast<char>(rng() % 256);
            } else {
                text += fragments[rng() % fragments.size()];
                text += ' ';
            }
        }
        try {
            Batch b = Parse(text);
            for (const StmtPtr& s : b.statements) {
                ASSERT_LE(s->pos.offset, s->endOffset);
                ASSERT_LE(s->endOffset, b.text.size());
            }
        } catch (const ComError& e) {
            ASSERT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
            ASSERT_FALSE(e.Description().empty());
        }
    }
}

}  // namespace
}  // namespace xr::tsql
