#pragma once

#include <cstdint>
#include <vector>

// Decoded 16-bit audio waiting for the output: about 50 ms in whole decoder frames plus one
// frame, planar (one buffer per channel). Audio task only.
class PcmAccumulator
{
public:
    // B = F x (rate / (F x 20) + 1) samples per channel, F the decoder's samples per frame.
    static uint32_t CapacityFor(uint32_t samplesPerFrame, uint32_t sampleRate);

    // False for impossible figures (no frame size, no rate, not 1 or 2 channels).
    bool Create(uint32_t samplesPerFrame, uint32_t sampleRate, uint32_t channels);
    void Clear();

    // Room for one more frame of F samples.
    bool HasRoomForFrame() const { return m_nCapacity - m_nCount >= m_nFrame; }
    // Appends interleaved samples (channels x count values); the time of the first sample is
    // remembered when the accumulator was empty. False when there is no room for them.
    bool Append(const int16_t *interleaved, uint32_t count, int32_t timeMs);
    // Offers its contents once fewer than F samples of room remain, or after the end mark.
    bool Offers() const
    {
        return m_nCount > 0 && (m_nCapacity - m_nCount < m_nFrame || m_bEndMark);
    }
    void SetEndMark() { m_bEndMark = true; }
    bool EndMark() const { return m_bEndMark; }

    uint32_t Count() const { return m_nCount; }
    uint32_t Capacity() const { return m_nCapacity; }
    uint32_t Channels() const { return m_nChannels; }
    int32_t FirstTime() const { return m_nFirstTime; }
    const int16_t *Channel(uint32_t channel) const { return m_Planes[channel].data(); }
    // The contents interleaved, as the sound device takes them.
    void Interleave(std::vector<int16_t> *out) const;

private:
    uint32_t m_nFrame = 0;
    uint32_t m_nCapacity = 0;
    uint32_t m_nChannels = 0;
    uint32_t m_nCount = 0;
    int32_t m_nFirstTime = 0;
    bool m_bEndMark = false;
    std::vector<int16_t> m_Planes[2];
};
