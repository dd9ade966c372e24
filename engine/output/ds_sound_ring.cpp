#include "engine/output/ds_sound_ring.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/output/audio_out.h"

DsPeriodFigures DsPeriodFiguresFor(int32_t nRate, int32_t nChannels, uint32_t nBufferTarget)
{
    DsPeriodFigures f{};
    f.nPeriodFrames = std::max<uint32_t>(1, static_cast<uint32_t>(nRate) * DS_PERIOD_MS / 1000);
    f.nPeriodBytes = f.nPeriodFrames * static_cast<uint32_t>(nChannels) * 2;
    f.nPeriodCount = std::max<uint32_t>(2, (f.nPeriodBytes / 2 + nBufferTarget) / f.nPeriodBytes);
    f.nBufferBytes = f.nPeriodCount * f.nPeriodBytes;
    f.nHalfBuffer = f.nBufferBytes / 2;
    return f;
}

int32_t DsPlayingFrequency(int32_t nRate, int32_t nPercent)
{
    const int64_t frequency = static_cast<int64_t>(nRate) * nPercent / 100;
    if (frequency < DS_FREQUENCY_MIN || frequency > DS_FREQUENCY_MAX)
        return -1;
    return static_cast<int32_t>(frequency);
}

int32_t DsVolumeAttenuation(uint32_t dwWord)
{
    const uint32_t level = dwWord & 0xFFFF;
    if (level == 0)
        return -10000;
    const double a = 10000.0 * std::log(level / 65535.0) / std::log(65535.0);
    return static_cast<int32_t>(std::clamp(a, -10000.0, 0.0)); // cut towards zero
}

uint32_t DsLevelFromAttenuation(int32_t nAttenuation)
{
    const double level = std::pow(65535.0, 1.0 + nAttenuation / 10000.0);
    // Cut, not rounded: the level then maps back onto the same attenuation.
    return static_cast<uint32_t>(std::clamp(level, 0.0, 65535.0));
}

float DsAttenuationGain(int32_t nAttenuation)
{
    if (nAttenuation <= -10000)
        return 0.0f;
    if (nAttenuation >= 0)
        return 1.0f;
    return static_cast<float>(std::pow(10.0, nAttenuation / 2000.0));
}

void DsApplyVolume(DsVolumeState *state, uint32_t dwWord)
{
    state->dwVolume = dwWord;
    // While muted the new level only waits for the mute to be lifted.
    if (!state->bMuted)
        state->nAttenuation = DsVolumeAttenuation(dwWord);
}

void DsApplyMute(DsVolumeState *state, bool bOn)
{
    if (bOn) {
        // Muting twice must not replace the remembered level by the silence of the first mute.
        if (state->bMuted)
            return;
        const uint32_t level = DsLevelFromAttenuation(state->nAttenuation);
        state->dwVolume = level | (level << 16);
        state->bMuted = true;
        state->nAttenuation = -10000;
        return;
    }
    state->bMuted = false;
    state->nAttenuation = DsVolumeAttenuation(state->dwVolume);
}

DsSoundRing::DsSoundRing(const DsPeriodFigures &figures, int32_t nChannels)
    : m_nPeriodFrames(figures.nPeriodFrames),
      m_nBufferFrames(figures.nPeriodFrames * figures.nPeriodCount),
      m_nHalfFrames(figures.nPeriodFrames * figures.nPeriodCount / 2), m_nChannels(nChannels),
      m_Samples(static_cast<size_t>(m_nBufferFrames) * nChannels, 0)
{
}

void DsSoundRing::Write(const AudioPcmBlock &block, int32_t nInChannels)
{
    const uint32_t frames = std::min(block.nFrames, m_nBufferFrames - m_nQueued);
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t run = std::min(frames - done, m_nBufferFrames - m_nWriteCursor);
        AudioConvertFrames(block, done, run, nInChannels, m_nChannels,
                           &m_Samples[static_cast<size_t>(m_nWriteCursor) * m_nChannels]);
        m_nWriteCursor = (m_nWriteCursor + run) % m_nBufferFrames;
        done += run;
    }
    m_nQueued += frames;
    if (!m_bPlaying && !m_bPaused && m_nQueued >= m_nHalfFrames)
        m_bPlaying = true;
}

bool DsSoundRing::Render(int16_t *out, uint32_t nFrames, double step, float gain)
{
    bool bPeriodEnded = false;
    for (uint32_t i = 0; i < nFrames; ++i) {
        int16_t *frame = out + static_cast<size_t>(i) * m_nChannels;
        const uint32_t available = m_nQueued - m_nConsumed;
        if (!m_bPlaying || available == 0) {
            std::fill(frame, frame + m_nChannels, int16_t{0});
            continue;
        }
        const uint32_t at = (m_nPlayCursor + m_nConsumed) % m_nBufferFrames;
        const uint32_t next = available > 1 ? (at + 1) % m_nBufferFrames : at;
        for (int32_t c = 0; c < m_nChannels; ++c) {
            const float s0 = m_Samples[static_cast<size_t>(at) * m_nChannels + c];
            const float s1 = m_Samples[static_cast<size_t>(next) * m_nChannels + c];
            const float v = (s0 + (s1 - s0) * static_cast<float>(m_dPhase)) * gain;
            frame[c] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
        }
        m_dPhase += step;
        while (m_dPhase >= 1.0 && m_nConsumed < m_nQueued) {
            m_dPhase -= 1.0;
            ++m_nConsumed;
            if ((m_nPlayCursor + m_nConsumed) % m_nPeriodFrames == 0)
                bPeriodEnded = true;
        }
        if (m_nConsumed == m_nQueued)
            m_dPhase = 0.0; // ran dry: new sound starts on its first frame
    }
    return bPeriodEnded;
}

uint32_t DsSoundRing::Reclaim()
{
    const uint32_t frames = std::min(m_nConsumed, m_nQueued);
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t run = std::min(frames - done, m_nBufferFrames - m_nPlayCursor);
        std::fill_n(&m_Samples[static_cast<size_t>(m_nPlayCursor) * m_nChannels],
                    static_cast<size_t>(run) * m_nChannels, int16_t{0});
        m_nPlayCursor = (m_nPlayCursor + run) % m_nBufferFrames;
        done += run;
    }
    m_nQueued -= frames;
    m_nConsumed -= frames;
    return frames * FrameBytes();
}

void DsSoundRing::Pause()
{
    m_bPaused = true;
    m_bPlaying = false;
}

void DsSoundRing::Restart()
{
    m_bPaused = false;
    m_bPlaying = true;
}

void DsSoundRing::Reset()
{
    std::fill(m_Samples.begin(), m_Samples.end(), int16_t{0});
    m_nPlayCursor = m_nWriteCursor = m_nQueued = m_nConsumed = 0;
    m_dPhase = 0.0;
    m_bPlaying = false;
}
