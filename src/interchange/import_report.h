// What an import did, line by line, for whoever started it: the operator's
// tool shows counts, progress and the first lines it could not use. The
// library's own results stay as they are (a body answers 1 or 0); the report
// is filled on the side, only while a caller has one in place on its thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xr::interchange {

// One line (or XML record) that was not used, with why.
struct SkippedLine {
    long number = 0;  // 1 for the first line of the file
    std::string reason;
    std::string text;  // the line, cut to a readable length
};

struct ImportReport {
    long lines = 0;  // lines (or records) looked at
    long added = 0;
    long changed = 0;
    long deleted = 0;
    long skipped = 0;  // malformed or nothing to do
    long failed = 0;   // well formed, but the database refused the write
    // The first skipped or failed lines, at most `keep` of them.
    std::vector<SkippedLine> firstSkipped;
    size_t keep = 10;
    // Called now and then while the import runs, with the lines done so far;
    // `position` then holds how far into the file the reader has got (bytes,
    // -1 when it cannot tell), which it notes only when a call is due.
    std::function<void(long lines)> progress;
    long progressEvery = 1000;
    int64_t position = -1;
    bool ProgressDue() const {
        return progress && progressEvery > 0 && (lines + 1) % progressEvery == 0;
    }

    void Skip(long number, std::string reason, std::string_view text);
    void Fail(long number, std::string reason, std::string_view text);
    void Line();  // counts a line and calls progress when due
};

// The report of the calling thread's running import; null when none.
ImportReport* CurrentReport();

// Puts a report in place on the calling thread for its lifetime.
class ReportScope {
public:
    explicit ReportScope(ImportReport* report);
    ~ReportScope();
    ReportScope(const ReportScope&) = delete;
    ReportScope& operator=(const ReportScope&) = delete;

private:
    ImportReport* m_previous;
};

}  // namespace xr::interchange
