#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/output/audio_out.h"

// Records what the output reports, as the playback clock would receive it.
class RecordingClock : public AudioPlayedListener
{
public:
    void AudioSync(int32_t nTimeMs) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Times.push_back(nTimeMs);
    }
    void AudioBytesPlayed(uint32_t nBytes) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_nBytes += nBytes;
    }
    std::vector<int32_t> Times()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Times;
    }
    uint64_t Bytes()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nBytes;
    }

private:
    std::mutex m_Lock;
    std::vector<int32_t> m_Times;
    uint64_t m_nBytes = 0;
};
