// xrdb8 sql: batches read from the command line, a file or standard input
// (ended by GO lines, as the server's own command-line tool reads them), run
// on one connection, their result sets printed as they stream from the
// engine. The text of a value comes from its column's type, as the server
// shows it (bit 0/1, money with four decimals, datetime to the
// millisecond), not from the field's generic text.
//
// Output goes through one buffer written with write(2), so that a pipe
// closed by its reader (EPIPE) or a terminal that went away (EIO, SIGHUP)
// ends the shell quietly after the batch in flight instead of killing it
// mid-statement: what the engine committed stays committed, a transaction
// left open is rolled back when the connection closes.
#include "sql_shell.h"

#include <editline/readline.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "platform/calendar.h"
#include "platform/error.h"
#include "platform/variant.h"
#include "xrdb8/xrdb8.h"

namespace xrdb8tool {

namespace {

using xr::Variant;
using xr::engine::ColumnInfo;

enum class Format { Aligned, Csv, Tsv };

struct SqlOptions {
    std::string statement;
    bool hasStatement = false;  // given, even empty: then nothing is read
    std::string database;
    std::string inputFile;
    bool csv = false;
    bool tsv = false;
    int headers = 0;  // -h: -1 drops the header lines
    bool stopOnError = false;
};

volatile sig_atomic_t g_hangup = 0;

extern "C" void OnHangup(int) { g_hangup = 1; }

// ---- output ---------------------------------------------------------------

// A buffered writer on a file descriptor. After a failed write (the reader
// closed the pipe, the terminal is gone) it drops everything that follows.
class Output {
public:
    explicit Output(int fd) : m_fd(fd) { m_buf.reserve(kSize + 4096); }
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // The buffer itself, for appending in place; Spill after.
    std::string& Buf() { return m_buf; }
    void Spill() {
        if (m_buf.size() >= kSize) Flush();
    }
    void Write(std::string_view s) {
        m_buf.append(s);
        Spill();
    }
    void Flush() {
        size_t at = 0;
        while (!m_failed && at < m_buf.size()) {
            ssize_t n = ::write(m_fd, m_buf.data() + at, m_buf.size() - at);
            if (n < 0) {
                if (errno == EINTR) continue;
                m_failed = true;
                break;
            }
            at += static_cast<size_t>(n);
        }
        m_buf.clear();
    }
    bool Failed() const { return m_failed; }

private:
    static constexpr size_t kSize = 64 * 1024;
    int m_fd;
    std::string m_buf;
    bool m_failed = false;
};

// ---- values ---------------------------------------------------------------

// How a column's values are written, from its type.
enum class Form {
    Text,
    Int,
    UInt,
    Bit,
    Money,
    Decimal,
    Float,
    Real,
    DateTime,
    SmallDateTime,
    Binary
};

Form FormOf(const ColumnInfo& c) {
    switch (c.adoType) {
        case xr::adSmallInt:
        case xr::adInteger:
        case xr::adBigInt:
        case xr::adUnsignedTinyInt:
            return Form::Int;
        case xr::adUnsignedBigInt:
            return Form::UInt;
        case xr::adBoolean:
            return Form::Bit;
        case xr::adCurrency:
            return Form::Money;
        case xr::adDecimal:
        case xr::adNumeric:
            return Form::Decimal;
        case xr::adDouble:
            return Form::Float;
        case xr::adSingle:
            return Form::Real;
        case xr::adDBTimeStamp:
            return c.typeName.rfind("SMALLDATETIME", 0) == 0 ? Form::SmallDateTime : Form::DateTime;
        case xr::adBinary:
        case xr::adVarBinary:
        case xr::adLongVarBinary:
            return Form::Binary;
        default:
            return Form::Text;
    }
}

bool RightAligned(Form f) {
    switch (f) {
        case Form::Int:
        case Form::UInt:
        case Form::Bit:
        case Form::Money:
        case Form::Decimal:
        case Form::Float:
        case Form::Real:
            return true;
        default:
            return false;
    }
}

template <typename T>
void AppendNumber(std::string& out, T v) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, r.ptr);
}

// `magnitude` with `scale` digits after the point (at least one before it).
void AppendScaled(std::string& out, bool negative, unsigned __int128 magnitude, int scale) {
    char digits[48];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0 && n < 46);
    while (n <= scale) digits[n++] = '0';
    if (negative) out += '-';
    for (int i = n - 1; i >= scale; --i) out += digits[i];
    if (scale > 0) {
        out += '.';
        for (int i = scale - 1; i >= 0; --i) out += digits[i];
    }
}

void Append2(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
}

// yyyy-mm-dd hh:mm:ss.mmm (datetime, to the server's 1/300 s) or
// yyyy-mm-dd hh:mm:ss (smalldatetime).
void AppendDateTime(std::string& out, double ole, bool small) {
    constexpr int64_t kTicksPerDay = 300LL * 86400;
    const xr::calendar::DayTime split =
        xr::calendar::SplitOleDate(ole, small ? 1440 : kTicksPerDay);
    const xr::calendar::Civil civil = xr::calendar::CivilDate(split.day);
    const int64_t seconds = small ? split.time * 60 : split.time / 300;
    char year[8];
    std::snprintf(year, sizeof year, "%04d", civil.year);
    out += year;
    out += '-';
    Append2(out, civil.month);
    out += '-';
    Append2(out, civil.day);
    out += ' ';
    Append2(out, static_cast<int>(seconds / 3600));
    out += ':';
    Append2(out, static_cast<int>(seconds / 60 % 60));
    out += ':';
    Append2(out, static_cast<int>(seconds % 60));
    if (small) return;
    // The milliseconds the server shows for its ticks: .000, .003, .007.
    const int ms = static_cast<int>((split.time % 300 * 10 + 1) / 3);
    out += '.';
    out += static_cast<char>('0' + ms / 100);
    Append2(out, ms % 100);
}

void AppendHex(std::string& out, std::string_view bytes) {
    static const char* kDigits = "0123456789ABCDEF";
    out += "0x";
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
}

void AppendGeneric(std::string& out, const Variant& v) {
    if (v.Type() == xr::VT_BYTES) return AppendHex(out, v.BytesView());
    try {
        out += v.ToText();
    } catch (const std::exception&) {
        out += '?';
    }
}

// The text of a value that is not NULL, as the server shows its type.
void AppendValue(std::string& out, const Variant& v, Form form, int scale) {
    const xr::VARTYPE vt = v.Type();
    switch (form) {
        case Form::Text:
            if (vt == xr::VT_BSTR) return (void)out.append(v.TextValue());
            break;
        case Form::Int:
            if (vt == xr::VT_I2 || vt == xr::VT_I4 || vt == xr::VT_I8 || vt == xr::VT_UI1 ||
                vt == xr::VT_I1 || vt == xr::VT_UI2 || vt == xr::VT_UI4)
                return AppendNumber(out, v.IntValue());
            break;
        case Form::UInt:
            if (vt == xr::VT_UI8) return AppendNumber(out, v.UIntValue());
            break;
        case Form::Bit:
            // The field's true is -1; the server's bit is 1.
            try {
                out += v.ToBool() ? '1' : '0';
                return;
            } catch (const std::exception&) {
            }
            break;
        case Form::Money:
            if (vt == xr::VT_CY) {
                const int64_t cy = v.IntValue();
                const unsigned __int128 magnitude =
                    cy < 0 ? static_cast<unsigned __int128>(-(cy + 1)) + 1
                           : static_cast<unsigned __int128>(cy);
                return AppendScaled(out, cy < 0, magnitude, 4);
            }
            break;
        case Form::Decimal:
            if (vt == xr::VT_DECIMAL) {
                xr::Decimal d = v.DecValue();
                if (scale >= 0 && scale <= 28 && d.scale != scale) {
                    xr::Decimal rescaled;
                    if (d.Rescale(static_cast<uint8_t>(scale), &rescaled)) d = rescaled;
                }
                return AppendScaled(out, d.negative && d.mantissa != 0, d.mantissa, d.scale);
            }
            break;
        case Form::Float:
            if (vt == xr::VT_R8) return (void)out.append(xr::FormatDouble(v.RealValue()));
            break;
        case Form::Real:
            if (vt == xr::VT_R4 || vt == xr::VT_R8) {
                char text[40];
                int n = std::snprintf(text, sizeof text, "%.7G", v.RealValue());
                return (void)out.append(text, static_cast<size_t>(n));
            }
            break;
        case Form::DateTime:
        case Form::SmallDateTime:
            if (vt == xr::VT_DATE)
                return AppendDateTime(out, v.RealValue(), form != Form::DateTime);
            break;
        case Form::Binary:
            if (vt == xr::VT_BYTES || vt == xr::VT_BSTR) return AppendHex(out, v.BytesView());
            break;
    }
    AppendGeneric(out, v);
}

// Characters a terminal shows for UTF-8 text (continuation bytes take none).
size_t Width(std::string_view s) {
    size_t w = 0;
    for (unsigned char c : s) w += (c & 0xC0) != 0x80;
    return w;
}

// ---- result sets ----------------------------------------------------------

// Prints the result sets of a batch as they stream. The aligned form needs
// its columns' widths, so it holds up to kMaxHeld rows of a result set
// before it prints them; rows after those are printed at the widths found
// so far. CSV and TSV rows go straight out.
class Printer final : public xr::engine::ResultSink {
public:
    static constexpr size_t kMaxHeld = 10000;

    using Notes = std::function<void(const xr::engine::ErrorRecord&)>;

    Printer(Output& out, Format format, bool headers, int terminalWidth, Notes notes)
        : m_out(out),
          m_format(format),
          m_headers(headers),
          m_terminalWidth(terminalWidth),
          m_notes(std::move(notes)) {}

    void Begin(const std::vector<ColumnInfo>& columns) override {
        Finish();
        m_open = true;
        m_columns = columns;
        m_forms.clear();
        for (const ColumnInfo& c : columns) m_forms.push_back(FormOf(c));
        if (m_format == Format::Aligned) {
            m_widths.assign(columns.size(), 0);
            for (size_t i = 0; i < columns.size(); ++i)
                m_widths[i] = m_headers ? Width(columns[i].name) : 0;
            m_cells.clear();
            m_ends.clear();
            m_nulls.clear();
            m_held = 0;
            m_streaming = false;
            m_expanded = false;
            m_number = 0;
            return;
        }
        if (!m_headers) return;
        std::string& b = m_out.Buf();
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) b += m_format == Format::Csv ? ',' : '\t';
            AppendField(b, columns[i].name, false);
        }
        b += '\n';
        m_out.Spill();
    }

    void Row(const std::vector<Variant>& values) override {
        if (m_out.Failed()) return;
        if (m_format != Format::Aligned) return WriteDelimited(values);
        for (size_t i = 0; i < values.size() && i < m_forms.size(); ++i) {
            const bool null = values[i].IsEmptyOrNull();
            const size_t start = m_cells.size();
            if (null)
                m_cells += "NULL";
            else
                AppendValue(m_cells, values[i], m_forms[i], m_columns[i].scale);
            m_ends.push_back(m_cells.size());
            m_nulls.push_back(null);
            if (!m_streaming)
                m_widths[i] = std::max(m_widths[i], Width(std::string_view(m_cells).substr(start)));
        }
        ++m_held;
        if (m_streaming || m_held >= kMaxHeld) PrintHeld();
    }

    void End(int64_t rows) override { Affected(rows); }

    // "(N rows affected)" after a result set or a write, as the server's
    // tool prints it; not in CSV or TSV, whose readers are programs.
    void Affected(int64_t rows) override {
        Finish();
        if (m_format != Format::Aligned) return;
        std::string& b = m_out.Buf();
        b += "\n(";
        AppendNumber(b, rows);
        b += rows == 1 ? " row affected)\n" : " rows affected)\n";
        m_out.Spill();
    }

    void SetTerminalWidth(int width) { m_terminalWidth = width; }

    // A message comes out in order with the rows around it.
    void Message(const xr::engine::ErrorRecord& message) override {
        Finish();
        m_notes(message);
    }

    // Prints what is held of a result set that has not ended (its statement
    // failed part-way); call after the batch.
    void Finish() {
        if (!m_open) return;
        m_open = false;
        if (m_format == Format::Aligned) PrintHeld();
    }

private:
    void AppendField(std::string& b, std::string_view text, bool nullValue) {
        if (m_format == Format::Csv) {
            // RFC 4180: a field with a comma, quote or line break is quoted,
            // quotes doubled. NULL is the empty field and the empty string a
            // quoted "", so that the two stay apart.
            if (nullValue) return;
            bool quote = text.empty();
            for (char c : text) quote |= c == ',' || c == '"' || c == '\n' || c == '\r';
            if (!quote) return (void)b.append(text);
            b += '"';
            for (char c : text) {
                if (c == '"') b += '"';
                b += c;
            }
            b += '"';
            return;
        }
        // TSV: tab, line breaks and backslash escaped, NULL as \N.
        if (nullValue) return (void)b.append("\\N");
        for (char c : text) {
            switch (c) {
                case '\t':
                    b += "\\t";
                    break;
                case '\n':
                    b += "\\n";
                    break;
                case '\r':
                    b += "\\r";
                    break;
                case '\\':
                    b += "\\\\";
                    break;
                default:
                    b += c;
            }
        }
    }

    void WriteDelimited(const std::vector<Variant>& values) {
        std::string& b = m_out.Buf();
        const char separator = m_format == Format::Csv ? ',' : '\t';
        for (size_t i = 0; i < values.size() && i < m_forms.size(); ++i) {
            if (i) b += separator;
            const Variant& v = values[i];
            if (v.IsEmptyOrNull()) {
                AppendField(b, {}, true);
            } else if (m_forms[i] == Form::Text && v.Type() == xr::VT_BSTR) {
                AppendField(b, v.TextValue(), false);  // no copy of the text
            } else if (m_forms[i] != Form::Text) {
                AppendValue(b, v, m_forms[i], m_columns[i].scale);  // never needs quoting
            } else {
                m_scratch.clear();
                AppendValue(m_scratch, v, m_forms[i], m_columns[i].scale);
                AppendField(b, m_scratch, false);
            }
        }
        b += '\n';
        m_out.Spill();
    }

    size_t LineWidth() const {
        size_t w = m_widths.empty() ? 0 : m_widths.size() - 1;
        for (size_t x : m_widths) w += x;
        return w;
    }

    // The held rows, after the header when they are the first.
    void PrintHeld() {
        const size_t columns = m_columns.size();
        if (!m_streaming) {
            m_streaming = true;
            // A row wider than the terminal would wrap into an unreadable
            // grid: each row is shown as "column: value" lines instead.
            m_expanded = m_terminalWidth > 0 && columns > 1 &&
                         LineWidth() > static_cast<size_t>(m_terminalWidth);
            if (m_headers && !m_expanded) PrintHeader();
        }
        std::string& b = m_out.Buf();
        size_t cell = 0, start = 0;
        for (size_t r = 0; r < m_held; ++r) {
            ++m_number;
            if (m_expanded) {
                b += "-[ ROW ";
                AppendNumber(b, m_number);
                b += " ]-\n";
            }
            for (size_t c = 0; c < columns; ++c, ++cell) {
                std::string_view text(m_cells.data() + start, m_ends[cell] - start);
                start = m_ends[cell];
                if (m_expanded) {
                    b += m_columns[c].name;
                    b.append(NameWidth() - Width(m_columns[c].name), ' ');
                    b += ": ";
                    b += text;
                    b += '\n';
                    continue;
                }
                if (c) b += ' ';
                const size_t width = Width(text);
                const size_t pad = m_widths[c] > width ? m_widths[c] - width : 0;
                if (RightAligned(m_forms[c]) && !m_nulls[cell]) {
                    b.append(pad, ' ');
                    b += text;
                } else {
                    b += text;
                    if (c + 1 < columns) b.append(pad, ' ');
                }
            }
            if (!m_expanded) b += '\n';
            m_out.Spill();
        }
        m_cells.clear();
        m_ends.clear();
        m_nulls.clear();
        m_held = 0;
        m_out.Spill();
    }

    size_t NameWidth() const {
        size_t w = 0;
        for (const ColumnInfo& c : m_columns) w = std::max(w, Width(c.name));
        return w;
    }

    void PrintHeader() {
        std::string& b = m_out.Buf();
        const size_t columns = m_columns.size();
        for (size_t c = 0; c < columns; ++c) {
            if (c) b += ' ';
            // Names stand on the left, over numbers too, as sqlcmd has them.
            const std::string& name = m_columns[c].name;
            const size_t pad = m_widths[c] - std::min(m_widths[c], Width(name));
            b += name;
            if (c + 1 < columns) b.append(pad, ' ');
        }
        b += '\n';
        for (size_t c = 0; c < columns; ++c) {
            if (c) b += ' ';
            b.append(std::max<size_t>(m_widths[c], 1), '-');
        }
        b += '\n';
    }

    Output& m_out;
    Format m_format;
    bool m_headers;
    int m_terminalWidth;  // 0: not a terminal
    Notes m_notes;

    bool m_open = false;
    std::vector<ColumnInfo> m_columns;
    std::vector<Form> m_forms;
    std::string m_scratch;
    // The aligned form's held rows: their cells' text end to end.
    std::vector<size_t> m_widths;
    std::string m_cells;
    std::vector<size_t> m_ends;
    std::vector<bool> m_nulls;
    size_t m_held = 0;
    bool m_streaming = false;  // the header is out; widths are fixed
    bool m_expanded = false;
    int64_t m_number = 0;
};

// ---- input ----------------------------------------------------------------

// What a line that starts with GO asks for.
struct GoLine {
    bool isGo = false;
    bool valid = true;
    long count = 1;
};

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool IEq(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// GO on a line of its own, optionally with a count and a -- comment.
GoLine ParseGo(std::string_view line) {
    GoLine g;
    std::string_view s = TrimView(line);
    if (s.size() < 2 || !IEq(s.substr(0, 2), "go")) return g;
    std::string_view rest = s.substr(2);
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t' && rest.substr(0, 2) != "--")
        return g;  // GOTO, GOODS...: not the separator
    g.isGo = true;
    const size_t comment = rest.find("--");
    if (comment != std::string_view::npos) rest = rest.substr(0, comment);
    rest = TrimView(rest);
    if (rest.empty()) return g;
    long count = 0;
    auto r = std::from_chars(rest.data(), rest.data() + rest.size(), count);
    g.valid = r.ec == std::errc() && r.ptr == rest.data() + rest.size() && count > 0;
    g.count = g.valid ? count : 0;
    return g;
}

bool IsQuit(std::string_view line) {
    std::string_view s = TrimView(line);
    return IEq(s, ":quit") || IEq(s, "quit") || IEq(s, "exit");
}

bool Blank(std::string_view s) {
    for (char c : s) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
    }
    return true;
}

class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line without its end; false at the end of the input.
    virtual bool Next(std::string& line, const std::string& prompt) = 0;
};

class FileLines final : public LineSource {
public:
    explicit FileLines(FILE* f) : m_file(f) {}
    ~FileLines() override { std::free(m_buf); }
    bool Next(std::string& line, const std::string&) override {
        ssize_t n = getline(&m_buf, &m_size, m_file);
        if (n < 0) return false;
        line.assign(m_buf, static_cast<size_t>(n));
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    FILE* m_file;
    char* m_buf = nullptr;
    size_t m_size = 0;
};

// A terminal: libedit's line editing and history, kept between sessions in
// ~/.xrdb8_history.
class TerminalLines final : public LineSource {
public:
    TerminalLines() {
        const char* home = std::getenv("HOME");
        if (home && *home) m_history = std::string(home) + "/.xrdb8_history";
        using_history();
        stifle_history(1000);
        if (!m_history.empty()) read_history(m_history.c_str());
    }
    ~TerminalLines() override {
        if (!m_history.empty()) write_history(m_history.c_str());
    }
    bool Next(std::string& line, const std::string& prompt) override {
        errno = 0;
        char* text = readline(prompt.c_str());
        if (!text) {
            m_lost = errno == EIO || g_hangup;
            return false;
        }
        line = text;
        std::free(text);
        if (!Blank(line)) add_history(line.c_str());
        return true;
    }
    // The end came from a terminal that went away, not from the operator.
    bool Lost() const { return m_lost; }

private:
    std::string m_history;
    bool m_lost = false;
};

// ---- the shell --------------------------------------------------------------

class Shell {
public:
    Shell(xr::engine::Connection& conn, const SqlOptions& o)
        : m_conn(conn),
          m_options(o),
          m_out(STDOUT_FILENO),
          m_err(STDERR_FILENO),
          m_format(o.csv   ? Format::Csv
                   : o.tsv ? Format::Tsv
                           : Format::Aligned),
          m_printer(m_out, m_format, o.headers != -1, TerminalWidth(),
                    [this](const xr::engine::ErrorRecord& e) { Note(e); }) {}

    // Runs a batch `times` times; false when the shell is to stop.
    bool Run(const std::string& batch, long times) {
        for (long i = 0; i < times && !Blank(batch); ++i) {
            bool failed = false;
            m_noted.clear();
            m_printer.SetTerminalWidth(TerminalWidth());
            try {
                m_conn.Stream(batch, m_printer);
            } catch (const xr::ComError&) {
                failed = true;  // its records are in Errors()
            } catch (const std::exception& e) {
                m_printer.Finish();
                Error(std::string("xrdb8: error: ") + e.what());
                failed = true;
            }
            m_printer.Finish();
            failed |= Messages();
            m_out.Flush();
            if (failed) m_failed = true;
            if (m_out.Failed() || g_hangup) return false;
            if (failed && m_options.stopOnError) return false;
        }
        return true;
    }

    // The batches of `source`, each ended by GO or the end of the input.
    void Read(LineSource& source, bool prompts) {
        std::string batch, line;
        long lines = 0, lineNumber = 0;
        bool ended = false;
        while (!g_hangup) {
            std::string prompt;
            if (prompts) {
                m_out.Flush();
                prompt =
                    lines == 0 ? m_database + "> " : std::string(m_database.size(), ' ') + "> ";
            }
            if (!source.Next(line, prompt)) {
                ended = true;
                break;
            }
            ++lineNumber;
            if (IsQuit(line)) return;
            const GoLine go = ParseGo(line);
            if (!go.isGo) {
                batch += line;
                batch += '\n';
                ++lines;
                continue;
            }
            bool goOn = true;
            if (!go.valid) {
                Error("xrdb8: error: line " + std::to_string(lineNumber) +
                      ": GO takes a positive whole count; the batch before it did not run.");
                m_failed = true;
                goOn = !m_options.stopOnError;
            } else {
                goOn = Run(batch, go.count);
            }
            batch.clear();
            lines = 0;
            if (prompts) m_database = Database();
            if (!goOn) return;
        }
        if (prompts && ended) m_out.Write("\n");
        // The last batch runs without its GO, unless the terminal went away.
        auto* terminal = dynamic_cast<TerminalLines*>(&source);
        if (ended && !g_hangup && !(terminal && terminal->Lost())) Run(batch, 1);
        if (terminal && terminal->Lost()) m_failed = true;
    }

    bool Use(const std::string& database) {
        std::string quoted = "USE [";
        for (char c : database) quoted += c == ']' ? std::string("]]") : std::string(1, c);
        quoted += "]";
        return Run(quoted, 1) && !m_failed;
    }

    void NoteDatabase() { m_database = Database(); }
    bool Failed() const { return m_failed || g_hangup; }
    bool OutputLost() const { return m_out.Failed(); }
    void Flush() { m_out.Flush(); }

private:
    // The width of the terminal the rows go to, read at each batch (the
    // window may have been resized); 0 when they go to a file or a pipe,
    // which always get the grid.
    static int TerminalWidth() {
        winsize ws{};
        if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return 0;
        return ws.ws_col;
    }

    // The current database as DB_NAME() names it (USE changes it): the
    // session's own, without a round trip to the server.
    std::string Database() {
        try {
            return m_conn.DefaultDatabase();
        } catch (const std::exception&) {
            return "?";
        }
    }

    void Error(const std::string& text) {
        m_out.Flush();
        m_err.Write(text);
        m_err.Write("\n");
        m_err.Flush();
    }

    // The batch's messages that did not come out with its rows (the
    // connection's own failures). True when the batch had an error.
    bool Messages() {
        bool failed = false;
        for (const xr::engine::ErrorRecord& e : m_conn.Errors()) {
            bool noted = false;
            for (const auto& n : m_noted) noted |= n.first == e.native && n.second == e.description;
            if (!noted) Note(e);
            failed |= IsError(e);
        }
        return failed;
    }

    static bool IsError(const xr::engine::ErrorRecord& e) {
        return !e.informational && !(e.native != 0 && e.severity <= 10);
    }

    // A message as the server's tool shows it: an error as "Msg n, Level l,
    // State s, Line k" and its text on stderr, any other message as its
    // text.
    void Note(const xr::engine::ErrorRecord& e) {
        m_noted.emplace_back(e.native, e.description);
        if (!IsError(e)) {
            Output& to = m_format == Format::Aligned ? m_out : m_err;
            to.Write(e.description);
            to.Write("\n");
            return;
        }
        {
            std::string text;
            if (e.native != 0) {
                text = "Msg " + std::to_string(e.native) + ", Level " + std::to_string(e.severity) +
                       ", State " + std::to_string(e.state);
                if (!e.procedure.empty()) text += ", Procedure " + e.procedure;
                text += ", Line " + std::to_string(e.line) + "\n";
            }
            text += Masked(e.description);
            Error(text);
        }
    }

    xr::engine::Connection& m_conn;
    const SqlOptions& m_options;
    Output m_out;
    Output m_err;
    Format m_format;
    Printer m_printer;
    std::string m_database;
    bool m_failed = false;
    std::vector<std::pair<int, std::string>> m_noted;  // the batch's messages shown
};

class SqlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

int RunSql(const Server& server, const SqlOptions& o) {
    FILE* input = nullptr;
    if (!o.inputFile.empty()) {
        input = std::fopen(o.inputFile.c_str(), "r");
        if (!input) throw SqlError("cannot open '" + o.inputFile + "': " + std::strerror(errno));
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(input, [](FILE* f) { return f ? fclose(f) : 0; });
    if (!OpenDataFolder(server)) throw SqlError(LastErrorText());
    xr::CDBConn* db = xr::TheApp().GetConnection(1, nullptr);
    if (!db || !db->m_pConn) throw SqlError(LastErrorText());

    // A closed pipe is a failed write, not a signal that kills the shell
    // mid-batch; a hang-up is noted and ends the shell after its batch.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction hup {};
    hup.sa_handler = OnHangup;
    sigemptyset(&hup.sa_mask);
    sigaction(SIGHUP, &hup, nullptr);

    const bool interactive = !o.hasStatement && !input && isatty(STDIN_FILENO);
    Shell shell(*db->m_pConn, o);
    bool goOn = o.database.empty() || shell.Use(o.database);
    if (goOn) {
        if (o.hasStatement) {
            shell.Run(o.statement, 1);
        } else if (interactive) {
            shell.NoteDatabase();
            TerminalLines lines;
            shell.Read(lines, true);
        } else {
            FileLines lines(input ? input : stdin);
            shell.Read(lines, false);
        }
    }
    shell.Flush();
    return shell.Failed() || shell.OutputLost() || !goOn ? 1 : 0;
}

}  // namespace

void AddSqlCommand(CLI::App& app, const Server& server, int& status) {
    auto* sub = app.add_subcommand(
        "sql",
        "Run a statement, or batches ended by GO lines from a file or standard input (a "
        "prompt with line editing on a terminal; :quit, quit or exit leaves)");
    // -h is sqlcmd's header count here, not help.
    sub->set_help_flag("--help", "Print this help message and exit");
    auto o = std::make_shared<SqlOptions>();
    auto* statement = sub->add_option("statement", o->statement, "one batch to run");
    sub->add_option("-d,--database", o->database,
                    "database to use first (a USE before the batches)");
    sub->add_option("-i,--input", o->inputFile, "file of batches separated by GO lines")
        ->excludes(statement);
    auto* csv = sub->add_flag(
        "--csv", o->csv, "rows as CSV (RFC 4180; NULL is an empty field, an empty string \"\")");
    sub->add_flag("--tsv", o->tsv,
                  "rows as tab-separated values (\\t \\n \\\\ escaped, NULL as \\N)")
        ->excludes(csv);
    sub->add_option("-h,--headers", o->headers, "-1: no header lines")
        ->check(CLI::Range(-1, 1 << 30));
    sub->add_flag("-b,--stop-on-error", o->stopOnError,
                  "stop at the first batch that fails (the exit status is 1 then)");
    sub->callback([&server, &status, o, statement] {
        o->hasStatement = statement->count() > 0;
        try {
            status = RunSql(server, *o);
        } catch (const std::exception& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "xrdb8: error: %s\n", Masked(e.what()).c_str());
            status = 1;
        }
    });
}

}  // namespace xrdb8tool
