// "key=value;key=value" connection texts: keys compare without case, values
// may be quoted with ' or " to hold a ';'. Unknown keys are kept and ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xr::engine {

// OLE DB's own text for a malformed connection string, as callers see it.
inline constexpr const char* kMalformedConnectionText =
    "Format of the initialization string does not conform to the OLE DB specification.";

class ConnectionString {
public:
    // Throws ComError (E_FAIL, the OLE DB initialisation-string text) when the
    // text is malformed.
    static ConnectionString Parse(std::string_view text);

    std::optional<std::string> Get(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& Pairs() const { return m_pairs; }

private:
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

// `value` written so that Parse reads it back whole: as it stands when it
// can, else in double quotes with its own double quotes doubled.
std::string QuoteValue(std::string_view value);

// How MaskPasswords reads its text.
enum class MaskAs {
    // A connection string. When it parses, only the values of Password and
    // Pwd keys are hidden (and a password left inside an unquoted value for
    // want of a ';'); when it does not, the value after every Password= or
    // Pwd= wherever it stands, to its closing quote or the end of the text
    // when the quote never closes, an unquoted one to the next ';'.
    kConnectionString,
    // Any other text that may quote a piece of one (an error description
    // naming a data folder): the value after every Password= or Pwd=.
    kMessage,
};

// The text with password values replaced by "***", for anything written to
// the log, kept as the last error or shown. Nothing else changes.
std::string MaskPasswords(std::string_view text, MaskAs as = MaskAs::kConnectionString);

}  // namespace xr::engine
