#pragma once

#include <cstdint>
#include <mutex>

// The engine's time base in ms. Audio moves it (through AudioSync from the sound device's
// notification thread) while the tasks and the status thread read it and the status thread
// pauses, starts and positions it. One small lock of its own makes every update visible as a
// whole: a reader never pairs a new base value with an old tick. The lock is a leaf, held for a
// few instructions, and nothing else is taken under it.
class PlaybackClock
{
public:
    using TickSource = uint32_t (*)();

    // Paused at the start position, rate 100. The tick source defaults to GetTickCount.
    explicit PlaybackClock(int32_t startMs = 0, TickSource ticks = nullptr);

    void Pause();
    // freeRunning: no audio drives the clock (none, or it has ended), so it runs at once;
    // otherwise it waits paused for the first audio sync, for a bounded time: sound that never
    // reports (a last block too short to be retired) must not keep the clock still.
    void Start(bool freeRunning);
    void SetPosition(int32_t ms);
    void SetRate(int32_t percent);
    // The audio output reports the time of the block now playing.
    void AudioSync(int32_t audioMs);
    // The sound has ended: a clock still waiting for its first sync runs free.
    void AudioEnded();
    // The current position; adopts a pending base.
    int32_t Position();

    int32_t Rate() const;
    bool IsPaused() const;
    bool IsStarted() const;
    int32_t LastAudioTime() const;

private:
    uint32_t Now() const;
    // The value the clock would hand out now, without adopting anything. Lock held.
    int32_t Peek(uint32_t now) const;
    int32_t HeldValue() const;
    void SetNextBase(int32_t value, uint32_t tick);
    void RunFree(uint32_t now);
    static int32_t Advance(int32_t value, uint32_t from, uint32_t to, int32_t rate);

    TickSource m_pTicks;
    mutable std::mutex m_lock; // every field below
    bool m_bStarted = false;
    bool m_bPaused = true;
    bool m_bPending = false;
    bool m_bHeld = false; // ahead of the audio: the value stays until the audio catches up
    uint32_t m_nStartTick = 0;
    int32_t m_nLastAudio = 0;
    uint32_t m_nLastSyncTick = 0;
    int32_t m_nPrevious = 0;
    int32_t m_nCurrent = 0;
    int32_t m_nNextBaseValue = 0;
    uint32_t m_nNextBaseTick = 0;
    int32_t m_nRate = 100;
    int32_t m_nBaseValue = 0;
    uint32_t m_nBaseTick = 0;
    int32_t m_nBaseRate = 100;
};

// How late a picture is against the clock (d = clock - picture time): early pictures wait,
// every other one is presented at once; late ones are never dropped.
enum class Lateness
{
    Early,    // d < -40 ms
    OnTime,   // -40..300
    Late,     // 300 < d <= 600
    Later,    // 600 < d <= 1000
    VeryLate, // d > 1000
};
Lateness PictureLateness(int32_t clockMs, int32_t pictureMs);
// The engine's code for a lateness class, 0 for early and on time.
int32_t LatenessCode(Lateness lateness);
