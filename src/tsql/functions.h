// The collation and SQL functions the rendered statements call, registered on
// every SQLite handle of the embedded engine.
#pragma once

struct sqlite3;

namespace xr::tsql {

// Registers the collation kCollation and the functions:
//   xr_cast(x, fromCode, toCode)   Convert(x, from, to) (CAST, CONVERT, implicit conversions)
//   xr_store(x, fromCode, toCode)  the same for a value written into a column (strict lengths)
//   xr_len(x)                      LEN: characters without trailing blanks
//   xr_datepart(part, x)           YEAR/MONTH/DAY/DATEPART on an OLE date
//   xr_getdate()                   GETDATE() as an OLE date
//   xr_compare(a, b)               CollateCompare for values of any type (text with the collation)
// Errors of these functions carry the server's message text.
void RegisterSqlFunctions(sqlite3* handle);

}  // namespace xr::tsql
