#pragma once

// For tests that run a window thread's events while they wait for something to happen.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include <QCoreApplication>

// Runs the events until the condition holds; false after the limit.
inline bool PumpUntil(const std::function<bool()> &condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void Pump(std::chrono::milliseconds time)
{
    PumpUntil([] { return false; }, time);
}

// Ends the program with a message when a test has not finished in time, so a deadlock fails
// instead of hanging the suite.
class CWatchdog
{
public:
    explicit CWatchdog(std::chrono::seconds limit)
        : m_thread([this, limit] {
              std::unique_lock<std::mutex> guard(m_lock);
              if (!m_changed.wait_for(guard, limit, [this] { return m_bDone; })) {
                  std::fprintf(stderr, "watchdog: the test hung\n");
                  std::_Exit(3);
              }
          })
    {
    }
    ~CWatchdog()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bDone = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    CWatchdog(const CWatchdog &) = delete;
    CWatchdog &operator=(const CWatchdog &) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_bDone = false;
    std::thread m_thread;
};
