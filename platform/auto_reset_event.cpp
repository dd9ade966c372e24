#include "platform/auto_reset_event.h"

#include <chrono>

void AutoResetEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bSet = true;
    }
    m_Changed.notify_one();
}

void AutoResetEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_bSet = false;
}

bool AutoResetEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Lock);
    if (!m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bSet; }))
        return false;
    m_bSet = false;
    return true;
}

void AutoResetEvent::Wait()
{
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Changed.wait(lock, [this] { return m_bSet; });
    m_bSet = false;
}
