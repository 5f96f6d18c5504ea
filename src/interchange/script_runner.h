// The script runner: a script file run batch by batch on the calling thread's
// connection (the operation behind DBExecSQLFile).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace xr {

// Where a script's batches end: at the suite's "--->GO" lines, or at the
// "GO" lines of SQL Server's tools.
enum class ScriptFormat { Suite, Go };

// What a run did, for the operator's tool.
struct RunStats {
    ScriptFormat format = ScriptFormat::Suite;
    long batches = 0;  // batches sent to the server
    long failed = 0;   // of them, refused
    // The first refused batches: "line N: error" (N is the terminator's line).
    std::vector<std::string> firstFailures;
    size_t keep = 10;
    // Called every `progressEvery` batches with the batches run so far;
    // `position` then holds how far into the file the runner has read (bytes).
    std::function<void(long batches)> progress;
    long progressEvery = 100;
    int64_t position = -1;
};

// Lines are gathered into a batch until a line that begins with "--->GO"; the
// batch then runs (failures are reported and the run goes on). Other lines
// that begin with "--" are comments. A file whose first separator is a "GO"
// line (SQL Server's tools) is read their way instead: lines keep their
// breaks, "GO n" runs the batch n times, and the text after the last GO runs
// too. 1 when the file was read to its end; 0 when there is no connection or
// the file cannot be read.
int ExecSQLFile(const char* path);
// The same, noting in `stats` (when not null) what each batch gave.
int ExecSQLFile(const char* path, RunStats* stats);

}  // namespace xr
