// The library's log as the tests read it: every line written, captured in
// order (single-threaded tests; the frame tests keep a locked one of their own).
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace xrtest {

inline std::vector<std::string> g_log;

inline void CaptureLog(const char* format, ...) {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    g_log.emplace_back(buffer);
}

}  // namespace xrtest
