// The frame tests connect for themselves; worker threads keep their
// connections while a test runs.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "library.h"
#include "platform/text.h"

namespace xrtest {

// A thread that stays alive (and keeps its thread id and connection) until
// destroyed, running what it is given one task at a time.
class Worker {
public:
    Worker() : m_thread([this] { Loop(); }) {}
    ~Worker() {
        Post(nullptr);  // the end of the thread
        m_thread.join();
    }

    // Runs `task` on the worker's thread and waits for its end.
    void Run(std::function<void()> task) {
        std::unique_lock<std::mutex> lock = Post(std::move(task));
        m_cv.wait(lock, [&] { return !m_posted; });
    }

    uint32_t Tid() {
        uint32_t tid = 0;
        Run([&] { tid = xr::ThreadId(); });
        return tid;
    }

private:
    std::unique_lock<std::mutex> Post(std::function<void()> task) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_task = std::move(task);
        m_posted = true;
        m_cv.notify_all();
        return lock;
    }
    // Each task runs under the lock, its poster waiting meanwhile.
    void Loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [&] { return m_posted; });
            if (!m_task) return;
            m_task();
            m_posted = false;
            m_cv.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::function<void()> m_task;
    bool m_posted = false;
    std::thread m_thread;
};

class FrameTest : public LibraryTest {
protected:
    FrameTest() : LibraryTest(Start::Closed) {}

    void SetUp() override {
        xr::g_maxConnCount = 4;
        LibraryTest::SetUp();
    }

    static xr::CDBConn* Current() { return xr::TheApp().GetConnection(0, nullptr); }
};

}  // namespace xrtest
