// Text helpers shared by every subsystem: narrow single-byte text, compared
// without case the way the server's default collation does.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace xr {

bool IEquals(std::string_view a, std::string_view b);
// <0, 0, >0 comparing without case (ASCII letters).
int ICompare(std::string_view a, std::string_view b);
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
std::string_view TrimRight(std::string_view s);  // blanks (spaces) only
std::string_view Trim(std::string_view s);       // spaces, tabs, CR, LF
// printf into a string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string VFormat(const char* fmt, va_list args);
// Doubles every single quote, for text placed between quotes in SQL.
std::string QuoteSql(std::string_view s);
// The text as a T-SQL string expression for a script: 'text' with quotes
// doubled, but every CR and LF written as CHAR(13) and CHAR(10) joined to the
// quoted pieces with " + ", so that no line of the script, and so no batch
// separator, can stand inside a value. Text without CR or LF is exactly
// '...' as QuoteSql quotes it.
std::string SqlTextLiteral(std::string_view s);
// A null pointer counts as empty text.
inline std::string_view SafeText(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

}  // namespace xr
