#pragma once

#include <cstdint>
#include <vector>

struct AudioPcmBlock;

// The figures of the sound buffer: 50 ms periods, as many as round the buffer target to the
// nearest whole number of periods, at least two.
struct DsPeriodFigures
{
    uint32_t nPeriodFrames;
    uint32_t nPeriodBytes;
    uint32_t nPeriodCount;
    uint32_t nBufferBytes;
    uint32_t nHalfBuffer; // playing starts once this much is queued
};

constexpr uint32_t DS_PERIOD_MS = 50;

DsPeriodFigures DsPeriodFiguresFor(int32_t nRate, int32_t nChannels, uint32_t nBufferTarget);

// Frequencies the buffer can play at; a speed whose frequency lies outside is refused.
constexpr int64_t DS_FREQUENCY_MIN = 100;
constexpr int64_t DS_FREQUENCY_MAX = 200000;

// Playing frequency for a speed in percent: rate x speed / 100 (integer arithmetic); -1 when the
// device cannot play at that frequency.
int32_t DsPlayingFrequency(int32_t nRate, int32_t nPercent);

// Attenuation in hundredths of a decibel (-10000 .. 0) for a volume word; its low 16 bits are
// the level.
int32_t DsVolumeAttenuation(uint32_t dwWord);
// The level (0 .. 65535) an attenuation stands for; inverse of the above.
uint32_t DsLevelFromAttenuation(int32_t nAttenuation);
// Linear gain of an attenuation; -10000 is silence.
float DsAttenuationGain(int32_t nAttenuation);

// Volume and mute of the buffer. Muting is done by volume: the level in force is remembered and
// restored when the mute is lifted.
struct DsVolumeState
{
    uint32_t dwVolume = 0xFFFFFFFF; // level to play at when not muted
    bool bMuted = false;
    int32_t nAttenuation = 0; // what the buffer plays at now
};

void DsApplyVolume(DsVolumeState *state, uint32_t dwWord);
void DsApplyMute(DsVolumeState *state, bool bOn);

// The looping sound buffer without any device or thread: the writer fills it at the write
// cursor, the device's callback renders from the play position, the notification thread
// reclaims (and silences) what was played. Not locked: its owner holds the device lock.
class DsSoundRing
{
public:
    DsSoundRing(const DsPeriodFigures &figures, int32_t nChannels);

    uint32_t BufferBytes() const { return m_nBufferFrames * FrameBytes(); }
    uint32_t QueuedBytes() const { return m_nQueued * FrameBytes(); }
    uint32_t FreeBytes() const { return BufferBytes() - QueuedBytes(); }
    bool IsPlaying() const { return m_bPlaying; }

    // Copies the whole block in (the caller checked FreeBytes); starts playing once half the
    // buffer is queued unless paused.
    void Write(const AudioPcmBlock &block, int32_t nInChannels);
    // Fills nFrames output frames, stepping `step` buffer frames per output frame (linear
    // interpolation) at the given gain; silence when stopped or when nothing is queued.
    // True when the play position passed the end of a period.
    bool Render(int16_t *out, uint32_t nFrames, double step, float gain);
    // Bytes played since the last reclaim; they are silenced and leave the queue.
    uint32_t Reclaim();
    void Pause();
    void Restart();
    // A new silent, stopped buffer (the pause state stays).
    void Reset();

private:
    uint32_t FrameBytes() const { return static_cast<uint32_t>(m_nChannels) * 2; }

    uint32_t m_nPeriodFrames;
    uint32_t m_nBufferFrames;
    uint32_t m_nHalfFrames;
    int32_t m_nChannels;
    std::vector<int16_t> m_Samples;
    uint32_t m_nPlayCursor = 0;  // frame up to which sound was reclaimed
    uint32_t m_nWriteCursor = 0; // frame where the next write goes
    uint32_t m_nQueued = 0;      // frames written and not yet reclaimed
    uint32_t m_nConsumed = 0;    // of those, frames the callback has played
    double m_dPhase = 0.0;       // fraction of a frame between play position and the next
    bool m_bPlaying = false;
    bool m_bPaused = false;
};
