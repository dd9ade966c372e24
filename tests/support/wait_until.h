#pragma once

// Bounded waits of tests that run no event loop.

#include <chrono>
#include <functional>
#include <thread>

// Asks done every 5 ms until it answers true (true) or the time is up (false).
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
