#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// An event that releases one waiter and clears itself, as the engine's threads expect.
class AutoResetEvent
{
public:
    explicit AutoResetEvent(bool initiallySet = false) : m_bSet(initiallySet) {}

    void Set();
    void Reset();
    // Waits until set or the time runs out; true when it was set (and is now clear again).
    bool Wait(uint32_t timeoutMs);
    void Wait();

private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_bSet; // guarded by m_Lock
};
