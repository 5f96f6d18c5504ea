// Shared pieces of the frame tests: a capturing log sink, worker threads that
// keep their connections while a test runs, and a fixture with a fresh data
// folder per test.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "platform/text.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

struct LogLine {
    std::string format;
    std::string text;
};

inline std::mutex g_logMutex;
inline std::vector<LogLine> g_logLines;

// A printf-shaped sink, like a till program's.
inline void CaptureSink(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logLines.push_back({format, buffer});
}

inline std::vector<LogLine> Captured() {
    std::lock_guard<std::mutex> guard(g_logMutex);
    return g_logLines;
}

inline void ClearCaptured() {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logLines.clear();
}

// The captured texts that begin with `prefix`.
inline std::vector<std::string> CapturedStarting(const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& line : Captured())
        if (line.text.rfind(prefix, 0) == 0) result.push_back(line.text);
    return result;
}

// A thread that stays alive (and keeps its thread id and connection) until
// destroyed, running what it is given one task at a time.
class Worker {
public:
    Worker() : m_thread([this] { Loop(); }) {}
    ~Worker() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

    void Run(std::function<void()> task) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_task = std::move(task);
        m_done = false;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_done; });
    }

    uint32_t Tid() {
        uint32_t tid = 0;
        Run([&] { tid = xr::ThreadId(); });
        return tid;
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [&] { return m_stop || m_task; });
            if (m_task) {
                auto task = std::move(m_task);
                m_task = nullptr;
                lock.unlock();
                task();
                lock.lock();
                m_done = true;
                m_cv.notify_all();
            } else if (m_stop) {
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::function<void()> m_task;
    bool m_done = false;
    bool m_stop = false;
    std::thread m_thread;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Nothing may fall back to a data folder outside the test's own.
        setenv("XRDB8_DATA", m_dir.Str().c_str(), 1);
        xr::g_maxConnCount = 4;
        ClearCaptured();
        DBSetLog(&CaptureSink);
    }
    void TearDown() override {
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    std::string ConnectString() const { return "Provider=sqlite;Data Source=" + m_dir.Str(); }

    static xr::CDBConn* Current() { return xr::TheApp().GetConnection(0, nullptr); }

    // The single value `sql` returns on the thread's connection.
    static int64_t Scalar(const std::string& sql) {
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn) return -1;
        auto rows = conn->m_pConn->Query(sql);
        if (!rows || !rows->Next()) return -1;
        return rows->Value(0).ToI8();
    }

    static std::pair<int, std::string> LastError() {
        int code = 0;
        std::string text;
        DBGetError(code, text);
        return {code, text};
    }

    TempDir m_dir;
};

}  // namespace xrtest
