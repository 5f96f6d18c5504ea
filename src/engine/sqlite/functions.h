// The collation and SQL functions the rendered statements call, registered on
// every SQLite handle of the embedded engine.
#pragma once

struct sqlite3;

namespace xr::engine::sqlite {

// Registers the collation kCollation and the functions:
//   xr_cast(x, fromCode, toCode)   Convert(x, from, to) (CAST, CONVERT, implicit conversions)
//   xr_store(x, fromCode, toCode)  the same for a value written into a column (strict lengths)
//   xr_arith(op, a, aCode, b, bCode, resultCode)  Arithmetic(op, ...) (op: the character code)
//   xr_len(x)                      LEN: characters without trailing blanks
//   xr_datepart(part, x)           YEAR/MONTH/DAY/DATEPART on an OLE date
//   xr_getdate()                   GETDATE() as an OLE date
//   xr_compare(a, b)               CollateCompare for values of any type (text with the collation)
//   xr_datediff(part, a, b)        DATEDIFF on OLE dates ('day', 'mm', ...): boundaries crossed
//   xr_dateadd(part, n, d)         DATEADD, an OLE date
//   xr_charindex(needle, hay[, start])  CHARINDEX without case, 1-based, 0 when absent
//   xr_str(x[, length[, decimals]])     STR: right-aligned text, stars when too long
// Type codes are TypeSpec::Code(). Dates given as text are read as the server
// reads them; NULL in gives NULL out. LIKE needs no function of ours: SQLite's
// LIKE already ignores the case of ASCII letters.
// Errors of these functions carry the server's message text.
// Throws ComError when SQLite refuses a registration.
void RegisterSqlFunctions(sqlite3* handle);

}  // namespace xr::engine::sqlite
