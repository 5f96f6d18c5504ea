// The script runner: scripts written by the script writer (and hand-written
// upgrade scripts in the same format) run back batch by batch.
#include "interchange/script_runner.h"

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

void Note(RunStats& stats, int ran, long lineNumber) {
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
    if (stats.progress && stats.batches % 100 == 0) stats.progress(stats.batches);
}

}  // namespace

int ExecSQLFile(const char* path) { return ExecSQLFile(path, nullptr); }

int ExecSQLFile(const char* path, RunStats* stats) {
    if (!TheApp().GetConnection(1, nullptr)) return 0;
    CStdioFile file;
    if (!file.Open(path, "r")) return 0;

    std::string batch;
    std::string line;
    long lineNumber = 0;
    while (file.ReadString(line)) {
        ++lineNumber;
        if (line.size() < 2 || line[0] != '-' || line[1] != '-') {
            // Lines join with nothing between them: continuation lines carry
            // their own leading blank, hex digits of a binary value do not.
            batch += line;
        } else if (line.compare(2, 4, "->GO") == 0) {
            size_t first = 0;
            while (first < batch.size() && IsBlank(batch[first])) ++first;
            // The result is not looked at: a failed batch is reported and
            // logged by Exec, and the script goes on.
            if (first < batch.size()) {
                const int ran = TheApp().Exec(std::string_view(batch).substr(first));
                if (stats) Note(*stats, ran, lineNumber);
            }
            batch.clear();
        }
        // Any other line beginning with "--" is a comment, such as the
        // "-->TABLE:" header.
    }
    // Text after the last terminator is not run.
    return file.Failed() ? 0 : 1;
}

}  // namespace xr

int DBExecSQLFile(const char* path) {
    // Reported as a failed statement (21); an exception without a text is not.
    return xr::Shielded(0, xr::Reported{21, nullptr}, [&] { return xr::ExecSQLFile(path); });
}
