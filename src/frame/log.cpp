#include "frame/log.h"

#include <sys/types.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/text.h"

namespace xr {

std::atomic<DBLogFn> g_dbLog{&FileSink};
std::atomic<bool> g_fileLogOn{false};

std::string FileSinkPath() {
    const char* data = std::getenv("XRDB8_DATA");
    std::filesystem::path folder = (data && *data) ? data : "./data";
    return (folder / "Log" / "DBLog.txt").string();
}

void FileSink(const char* format, ...) {
    if (!g_fileLogOn.load() || !format) return;
    std::filesystem::path path = FileSinkPath();
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    FILE* f = std::fopen(path.c_str(), "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fclose(f);
}

void LogFormatted(const char* format, ...) {
    DBLogFn sink = g_dbLog.load(std::memory_order_relaxed);
    if (!sink) return;
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    sink("%s", text.c_str());
}

void ShowMessage(const std::string& text) { Log("%s", text.c_str()); }

uint32_t ThreadId() { return static_cast<uint32_t>(gettid()); }

std::string ComputerName() {
    char name[300] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return {};
    return name;
}

}  // namespace xr
