// Data interchange exports: SQL script files run back against the database.
//
// Results: 1 for success and 0 for failure; no export throws.
#pragma once

#include "xrdb8/export.h"

// Runs a script file (the format the script writer produces) on the calling
// thread's connection, batch by batch: lines are joined with nothing between
// them until a line that begins with "--->GO"; other lines beginning with "--"
// are comments; text after the last "--->GO" is not run. A batch that fails is
// reported and logged and the run goes on. 1 when the file was read to its
// end; 0 when there is no connection or the file cannot be opened or read.
XRDB8_EXPORT int DBExecSQLFile(const char* path);
