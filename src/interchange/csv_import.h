// Pieces the CSV import bodies of the record classes share: the line reader
// and the number and text conversions the old till files were written for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "interchange/import_report.h"

class CStdioFile;

namespace xr::interchange {

// Reads the lines of a CSV file for an import body. Lines end at "\n" or
// "\r\n" as CStdioFile reads them; a lone "\r" also ends a line, so a file
// saved with the old Macintosh line end is not taken as one long line. Each
// line is counted in the thread's import report, if there is one.
class CsvLines {
public:
    explicit CsvLines(CStdioFile& file);

    bool Next(std::string& line);
    long Number() const { return m_number; }

    // What became of the current line, for the report.
    void Added();
    void Changed();
    void Deleted();
    void Skip(std::string reason);
    void Fail(std::string reason);

private:
    CStdioFile& m_file;
    ImportReport* m_report;
    std::string m_pending;  // what followed a lone "\r" in the last line read
    bool m_hasPending = false;
    std::string m_current;
    long m_number = 0;
};

// C atoi as the tills' 32-bit runtime gives it: leading blanks and a sign
// taken, digits up to the first other character, 0 for no number, and a
// value beyond 32 bits held at the nearest limit.
int32_t AtoI(std::string_view text);
// _atoi64: the same for signed 64 bits.
int64_t AtoI64(std::string_view text);

// A key field as a whole number: blanks around it, an optional sign and
// digits, nothing else; none when the field is anything else or beyond 64
// bits ("1e3", "12abc", "", "99999999999999999999").
std::optional<int64_t> WholeNumber(std::string_view text);

// Why a key field is refused: "<what> <field> is not a whole number" or
// "... is outside <low> to <high>"; empty when it is a whole number in range.
std::string KeyRefused(const char* what, std::string_view field, int64_t low, int64_t high);

// Why a number field is refused: its number (read as atoi reads it) does not
// fit the column it goes to, which the old runtime would have held at a
// limit or cut to the column's bits; empty when it fits.
std::string NumberRefused(const char* what, std::string_view field, int64_t low, int64_t high);

// Copies at most `size` characters into a fixed field and fills the rest
// with zeros; a text of `size` characters or more leaves no terminator.
void CopyField(char* field, size_t size, std::string_view text);

// The next field of `line` from `pos` (CXRTable::CSVParse): up to the next
// comma or the end, one pair of matching outer quotes removed; 0 when no
// field is left. The number form reads it with AtoI.
int ParseField(const char* line, int& pos, std::string& field);
int ParseField(const char* line, int& pos, int& value);

// The last error's description, for a line the database refused.
std::string LastErrorText();

}  // namespace xr::interchange
