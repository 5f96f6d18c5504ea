// CSV import, the part every record class shares: opening the file and the
// change log, splitting fields, reading lines, and noting what each line did.
#include "interchange/csv_import.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "frame/app.h"
#include "frame/log.h"
#include "platform/text.h"
#include "table/xrtable.h"

namespace xr::interchange {

// ---- the report -----------------------------------------------------------

namespace {

thread_local ImportReport* t_report = nullptr;

// A line as the operator will read it in a summary: printable and short.
// Line ends and tabs become blanks, other control bytes "?".
std::string Readable(std::string_view text) {
    constexpr size_t kMax = 80;
    text = Trim(text);
    std::string out;
    for (char c : text.substr(0, kMax)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r' || c == '\t')
            out += ' ';
        else
            out += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    if (text.size() > kMax) out += "...";
    return out;
}

}  // namespace

void ImportReport::Skip(long number, std::string reason, std::string_view text) {
    ++skipped;
    if (firstSkipped.size() < keep)
        firstSkipped.push_back({number, std::move(reason), Readable(text)});
}

void ImportReport::Fail(long number, std::string reason, std::string_view text) {
    ++failed;
    if (firstSkipped.size() < keep)
        firstSkipped.push_back({number, std::move(reason), Readable(text)});
}

void ImportReport::Line() {
    ++lines;
    if (progress && progressEvery > 0 && lines % progressEvery == 0) progress(lines);
}

ImportReport* CurrentReport() { return t_report; }

ReportScope::ReportScope(ImportReport* report) : m_previous(t_report) { t_report = report; }

ReportScope::~ReportScope() { t_report = m_previous; }

// ---- lines ------------------------------------------------------------------

CsvLines::CsvLines(CStdioFile& file) : m_file(file), m_report(CurrentReport()) {}

bool CsvLines::Next(std::string& line) {
    if (m_hasPending) {
        line.swap(m_pending);
        m_hasPending = false;
    } else if (!m_file.ReadString(line)) {
        return false;
    }
    const size_t cr = line.find('\r');
    if (cr != std::string::npos) {
        // A "\r" at the very end of the file's last line ends that line and
        // starts nothing.
        if (cr + 1 < line.size()) {
            m_pending.assign(line, cr + 1, std::string::npos);
            m_hasPending = true;
        }
        line.resize(cr);
    }
    ++m_number;
    m_current = line;
    if (m_report) {
        if (m_report->ProgressDue()) m_report->position = m_file.GetPosition();
        m_report->Line();
    }
    return true;
}

void CsvLines::Added() {
    if (m_report) ++m_report->added;
}

void CsvLines::Changed() {
    if (m_report) ++m_report->changed;
}

void CsvLines::Deleted() {
    if (m_report) ++m_report->deleted;
}

void CsvLines::Skip(std::string reason) {
    if (m_report) m_report->Skip(m_number, std::move(reason), m_current);
}

void CsvLines::Fail(std::string reason) {
    if (m_report) m_report->Fail(m_number, std::move(reason), m_current);
}

// ---- conversions --------------------------------------------------------------

int64_t AtoI64(std::string_view text) {
    // strtoll needs a terminated text; the fields are short.
    const std::string s(text.substr(0, text.find('\0')));
    errno = 0;
    return std::strtoll(s.c_str(), nullptr, 10);  // held at the limits on overflow
}

int32_t AtoI(std::string_view text) {
    const int64_t v = AtoI64(text);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

std::optional<int64_t> WholeNumber(std::string_view text) {
    text = Trim(text);
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return std::nullopt;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
    const std::string s(text);
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno == ERANGE) return std::nullopt;
    return static_cast<int64_t>(v);
}

std::string KeyRefused(const char* what, std::string_view field, int64_t low, int64_t high) {
    const std::optional<int64_t> n = WholeNumber(field);
    const std::string shown(Trim(field).substr(0, 40));
    if (!n) return std::string(what) + " " + shown + " is not a whole number";
    if (*n < low || *n > high) {
        return std::string(what) + " " + shown + " is outside " + std::to_string(low) + " to " +
               std::to_string(high);
    }
    return {};
}

std::string NumberRefused(const char* what, std::string_view field, int64_t low, int64_t high) {
    const std::string s(field.substr(0, field.find('\0')));
    errno = 0;
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno != ERANGE && v >= low && v <= high) return {};
    return std::string(what) + " " + std::string(Trim(s).substr(0, 40)) +
           " does not fit its column (" + std::to_string(low) + " to " + std::to_string(high) + ")";
}

void CopyField(char* field, size_t size, std::string_view text) {
    const size_t n = text.size() < size ? text.size() : size;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

std::string LastErrorText() {
    int code = 0;
    std::string text;
    TheApp().GetLastError(code, text);
    if (text.empty()) text = xr::ComError::MessageText(code);
    return text.empty() ? "the database refused the row" : text;
}

int ParseField(const char* line, int& pos, std::string& field) {
    if (!line || pos < 0) return 0;
    const size_t length = std::strlen(line);
    const auto start = static_cast<size_t>(pos);
    if (start >= length) return 0;
    const char* begin = line + start;
    const char* comma = std::strchr(begin, ',');
    const size_t n = comma ? static_cast<size_t>(comma - begin) : length - start;
    field.assign(begin, n);
    // A line too long for the position to count past it simply has no
    // further field.
    const size_t next = start + n + 1;
    pos = next > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(next);
    if (n >= 2 && (field[0] == '\'' || field[0] == '"') && field[n - 1] == field[0])
        field = field.substr(1, n - 2);
    return 1;
}

int ParseField(const char* line, int& pos, int& value) {
    std::string field;
    if (!ParseField(line, pos, field)) return 0;
    value = AtoI(field);
    return 1;
}

}  // namespace xr::interchange

// ---- CXRTable -------------------------------------------------------------------

int CXRTable::ImportCSV(const char* csvPath, const char* scriptPath, int replace) {
    // The change log first: every change of the body goes to it. A log that
    // cannot be opened leaves the import without one.
    AAScriptAuto(scriptPath);
    int result = 0;
    try {
        CStdioFile file;
        if (csvPath && *csvPath && file.Open(csvPath, "r")) {
            result = ImportCSVBody(file, replace);
            file.Close();
        }
    } catch (...) {
        // The bodies catch what they call; anything else ends the import
        // here rather than in the caller.
        xr::table::ReportTable(m_name, xr::table::CurrentError(), 0);
        result = 0;
    }
    AAScriptAuto(static_cast<std::FILE*>(nullptr));
    return result;
}

int CXRTable::ImportCSVError(const char* line) {
    xr::Log("CXRTable::ImportCSV %s line not written: %s", m_name.c_str(), line ? line : "");
    return 1;
}

int CXRTable::CSVParse(const char* line, int& pos, std::string& field) {
    return xr::interchange::ParseField(line, pos, field);
}

int CXRTable::CSVParse(const char* line, int& pos, int& value) {
    return xr::interchange::ParseField(line, pos, value);
}
