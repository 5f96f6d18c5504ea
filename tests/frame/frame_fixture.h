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
