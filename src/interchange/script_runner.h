// The script runner: a script file run batch by batch on the calling thread's
// connection (the operation behind DBExecSQLFile).
#pragma once

namespace xr {

// Lines are gathered into a batch until a line that begins with "--->GO"; the
// batch then runs (failures are reported and the run goes on). Other lines
// that begin with "--" are comments. 1 when the file was read to its end; 0
// when there is no connection or the file cannot be read.
int ExecSQLFile(const char* path);

}  // namespace xr
