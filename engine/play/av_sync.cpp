#include "engine/play/av_sync.h"

void AvSyncRecord::Audible(int32_t audioMs, uint32_t tick)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bAudible = true;
    m_nAudibleMs = audioMs;
    m_nAudibleTick = tick;
}

void AvSyncRecord::Silence()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bAudible = false;
}

void AvSyncRecord::Presented(int32_t pictureMs, int32_t clockMs, uint32_t tick, int32_t ratePercent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_bAudible)
        return;
    // Unsigned difference: the tick counter wraps.
    const int64_t elapsed = static_cast<uint32_t>(tick - m_nAudibleTick);
    m_last.nPictureMs = pictureMs;
    m_last.nClockMs = clockMs;
    m_last.nHeardMs = static_cast<int32_t>(m_nAudibleMs + elapsed * ratePercent / 100);
    ++m_last.nCount;
}

AvSyncRecord::PRESENTED AvSyncRecord::Last() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_last;
}

void AvSyncRecord::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bAudible = false;
    m_last = PRESENTED{};
}
