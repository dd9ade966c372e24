#include "engine/play/pcm_accumulator.h"

#include <cstddef>

uint32_t PcmAccumulator::CapacityFor(uint32_t samplesPerFrame, uint32_t sampleRate)
{
    if (samplesPerFrame == 0)
        return 0;
    return samplesPerFrame * (sampleRate / (samplesPerFrame * 20) + 1);
}

bool PcmAccumulator::Create(uint32_t samplesPerFrame, uint32_t sampleRate, uint32_t channels)
{
    if (samplesPerFrame == 0 || samplesPerFrame > 65536 || sampleRate == 0 || sampleRate > 384000 ||
        channels == 0 || channels > 2)
        return false;
    m_nFrame = samplesPerFrame;
    m_nCapacity = CapacityFor(samplesPerFrame, sampleRate);
    m_nChannels = channels;
    for (uint32_t c = 0; c < 2; ++c)
        m_Planes[c].assign(c < channels ? m_nCapacity : 0, 0);
    Clear();
    return true;
}

void PcmAccumulator::Clear()
{
    m_nCount = 0;
    m_nFirstTime = 0;
    m_bEndMark = false;
}

bool PcmAccumulator::Append(const int16_t *interleaved, uint32_t count, int32_t timeMs)
{
    if (count > m_nCapacity - m_nCount)
        return false;
    if (m_nCount == 0)
        m_nFirstTime = timeMs;
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t c = 0; c < m_nChannels; ++c)
            m_Planes[c][m_nCount + i] = interleaved[i * m_nChannels + c];
    }
    m_nCount += count;
    return true;
}

void PcmAccumulator::Interleave(std::vector<int16_t> *out) const
{
    out->resize(static_cast<size_t>(m_nCount) * m_nChannels);
    for (uint32_t i = 0; i < m_nCount; ++i) {
        for (uint32_t c = 0; c < m_nChannels; ++c)
            (*out)[static_cast<size_t>(i) * m_nChannels + c] = m_Planes[c][i];
    }
}
