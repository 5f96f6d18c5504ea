// The process-wide log sink and the few operating-system services the frame
// needs (thread id, computer name, message boxes).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "xrdb8/frame.h"

namespace xr {

// The installed sink; null switches logging off. Read without a lock by any
// thread, hence atomic.
extern std::atomic<DBLogFn> g_dbLog;

// The library's own sink: appends to the data folder's Log/DBLog.txt while
// g_fileLogOn is set, which nothing in the library does.
void FileSink(const char* format, ...);
extern std::atomic<bool> g_fileLogOn;
// The file FileSink writes to.
std::string FileSinkPath();

// Hands format and arguments to the sink unchanged.
template <typename... Args>
void Log(const char* format, Args... args) {
    if (DBLogFn sink = g_dbLog.load(std::memory_order_relaxed)) sink(format, args...);
}

// Formats first and hands the sink "%s" and the text (the lock's messages).
void LogFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What the terminals showed in a message box goes to the log.
void ShowMessage(const std::string& text);

// The calling thread's operating-system id.
uint32_t ThreadId();

// The computer's name, empty when it cannot be had.
std::string ComputerName();

}  // namespace xr
