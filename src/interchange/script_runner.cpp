// The script runner: scripts written by the script writer (and hand-written
// upgrade scripts in the same format) run back batch by batch; so do the
// install scripts of SQL Server's own tools, whose batches end at "GO" lines.
#include "interchange/script_runner.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "frame/app.h"
#include "frame/shield.h"
#include "platform/error.h"
#include "xrdb8/interchange.h"
#include "xrdb8/xrtable.h"

namespace xr {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void Note(RunStats& stats, int ran, long lineNumber, const CStdioFile& file) {
    ++stats.batches;
    if (!ran) {
        ++stats.failed;
        if (stats.firstFailures.size() < stats.keep) {
            int code = 0;
            std::string text;
            TheApp().GetLastError(code, text);
            if (text.empty()) text = ComError::MessageText(code);
            stats.firstFailures.push_back("line " + std::to_string(lineNumber) + ": " + text);
        }
    }
    if (stats.progress && stats.progressEvery > 0 && stats.batches % stats.progressEvery == 0) {
        stats.position = file.GetPosition();
        stats.progress(stats.batches);
    }
}

// A "GO" line of SQL Server's tools: GO alone on its line in any case, with
// blanks around it, an optional count of runs and an optional comment. The
// count of runs goes to `count` (1 without one).
bool IsGoLine(const std::string& line, long& count) {
    size_t at = 0;
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (line.size() - at < 2 || std::toupper(static_cast<unsigned char>(line[at])) != 'G' ||
        std::toupper(static_cast<unsigned char>(line[at + 1])) != 'O') {
        return false;
    }
    at += 2;
    size_t blanks = at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    count = 1;
    if (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) {
        if (at == blanks) return false;  // "GO2" is a name, not a separator
        const size_t digits = at;
        while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
        if (at - digits > 9) return false;
        count = std::strtol(line.c_str() + digits, nullptr, 10);
        if (count < 1) return false;
        while (at < line.size() && IsBlank(line[at])) ++at;
    }
    return at == line.size() || line.compare(at, 2, "--") == 0;
}

bool IsSuiteSeparator(const std::string& line) {
    return line.size() >= 6 && line.compare(0, 6, "--->GO") == 0;
}

// The separator the file's batches end at: the first separator line met
// decides; a file with neither is read in the suite's format.
ScriptFormat DetectFormat(CStdioFile& file) {
    std::string line;
    long count = 0;
    ScriptFormat format = ScriptFormat::Suite;
    while (file.ReadString(line)) {
        if (IsSuiteSeparator(line)) break;
        if (IsGoLine(line, count)) {
            format = ScriptFormat::Go;
            break;
        }
    }
    return format;
}

// Runs `batch` (blanks before it dropped) unless it is blank.
void RunBatch(const std::string& batch, long lineNumber, long times, RunStats* stats,
              const CStdioFile& file) {
    size_t first = 0;
    while (first < batch.size() && IsBlank(batch[first])) ++first;
    if (first == batch.size()) return;
    // The result is not looked at: a failed batch is reported and logged by
    // Exec, and the script goes on.
    for (long i = 0; i < times; ++i) {
        const int ran = TheApp().Exec(std::string_view(batch).substr(first));
        if (stats) Note(*stats, ran, lineNumber, file);
    }
}

}  // namespace

int ExecSQLFile(const char* path) { return ExecSQLFile(path, nullptr); }

int ExecSQLFile(const char* path, RunStats* stats) {
    if (!TheApp().GetConnection(1, nullptr)) return 0;
    CStdioFile file;
    if (!file.Open(path, "r")) return 0;
    const ScriptFormat format = DetectFormat(file);
    if (file.Failed() || !file.Seek(0)) return 0;
    if (stats) stats->format = format;

    std::string batch;
    std::string line;
    long lineNumber = 0;
    long times = 1;
    while (file.ReadString(line)) {
        ++lineNumber;
        if (format == ScriptFormat::Go) {
            // Lines keep their breaks: a comment ends at its line's end.
            if (IsGoLine(line, times)) {
                RunBatch(batch, lineNumber, times, stats, file);
                batch.clear();
            } else {
                batch.append(line).append("\n");
            }
        } else if (line.size() < 2 || line[0] != '-' || line[1] != '-') {
            // Lines join with nothing between them: continuation lines carry
            // their own leading blank, hex digits of a binary value do not.
            batch += line;
        } else if (IsSuiteSeparator(line)) {
            RunBatch(batch, lineNumber, 1, stats, file);
            batch.clear();
        }
        // Any other line beginning with "--" is a comment, such as the
        // "-->TABLE:" header.
    }
    // After the last terminator: SQL Server's tools run what follows the last
    // GO; the suite's format leaves it unrun.
    if (format == ScriptFormat::Go) RunBatch(batch, lineNumber, 1, stats, file);
    return file.Failed() ? 0 : 1;
}

}  // namespace xr

int DBExecSQLFile(const char* path) {
    // Reported as a failed statement (21); an exception without a text is not.
    return xr::Shielded(0, xr::Reported{21, nullptr}, [&] { return xr::ExecSQLFile(path); });
}
