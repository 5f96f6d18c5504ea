// Recursive-descent parser for the T-SQL the suite sends: batches of
// statements with no separators (a statement ends where the next keyword
// cannot continue it), bracketed and quoted names, db..table, variables,
// string, number, hex and money literals, comments.
#pragma once

#include <string_view>

#include "tsql/ast.h"

namespace xr::tsql {

// Parses a whole batch. A batch that does not parse throws
// ComError(DB_E_ERRORSINCOMMAND) whose description is the server's message
// ("Incorrect syntax near 'x'.", "Unclosed quotation mark after the character
// string 'abc'.") followed by the construct and position, e.g.
// " (in CREATE TABLE, line 1, column 27)"; nothing of the batch runs then.
// Constructs outside the supported subset fail the same way, naming the
// construct ("'MERGE' is not supported").
Batch Parse(std::string_view text);

}  // namespace xr::tsql
