// Recursive-descent parser for the T-SQL the suite sends: batches of
// statements with no separators (a statement ends where the next keyword
// cannot continue it), bracketed and quoted names, db..table, variables,
// string, number, hex and money literals, comments.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "tsql/ast.h"

namespace xr::tsql {

// How a batch that does not parse fails: the error, and the line of the
// batch it was found on.
class ParseError : public ComError {
public:
    ParseError(std::string description, uint32_t line)
        : ComError(DB_E_ERRORSINCOMMAND, std::move(description)), m_line(line) {}
    uint32_t Line() const noexcept { return m_line; }

private:
    uint32_t m_line;
};

// Parses a whole batch. A batch that does not parse throws
// ParseError (a ComError of DB_E_ERRORSINCOMMAND) whose description is the server's message
// ("Incorrect syntax near 'x'.", "Unclosed quotation mark after the character
// string 'abc'.") followed by the construct and position, e.g.
// " (in CREATE TABLE, line 1, column 27)"; nothing of the batch runs then.
// Constructs outside the supported subset fail the same way, naming the
// construct ("'MERGE' is not supported").
// `quotedIdentifier`: the session's SET QUOTED_IDENTIFIER; a SET
// QUOTED_IDENTIFIER in the batch changes it for the text after it.
Batch Parse(std::string_view text, bool quotedIdentifier = true);

// The tallest expression tree the parser hands out, counted in levels from a
// statement's select to its deepest leaf (a + b + c is three levels, each
// subquery adds its own). A taller statement fails with the server's 8631
// ("Internal error: Server stack limit has been reached. ...") before any pass
// recurses over it. The deepest pass takes about 1.1 KiB of stack a level in a
// release build, so 200 levels stay near 220 KiB: room to spare on a 1 MiB
// thread even with the sanitizers' larger frames.
constexpr uint32_t kMaxExprHeight = 200;

}  // namespace xr::tsql
