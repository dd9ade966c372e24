#pragma once

#include <atomic>
#include <cstdint>

// The engine's time base in ms. Audio moves it (through AudioSync from the sound device's
// notification thread) while the tasks and the status thread read it and the status thread
// pauses, starts and positions it. It takes no lock: every field is one 32-bit word, read and
// written whole (relaxed atomics), and a reader at worst sees the base of one update earlier.
class PlaybackClock
{
public:
    using TickSource = uint32_t (*)();

    // Paused at the start position, rate 100. The tick source defaults to GetTickCount.
    explicit PlaybackClock(int32_t startMs = 0, TickSource ticks = nullptr);

    void Pause();
    // freeRunning: no audio drives the clock (none, or it has ended), so it runs at once;
    // otherwise it waits paused for the first audio sync.
    void Start(bool freeRunning);
    void SetPosition(int32_t ms);
    void SetRate(int32_t percent);
    // The audio output reports the time of the block now playing.
    void AudioSync(int32_t audioMs);
    // The current position; adopts a pending base.
    int32_t Position();

    int32_t Rate() const { return m_nRate.load(std::memory_order_relaxed); }
    bool IsPaused() const { return m_nPaused.load(std::memory_order_relaxed) != 0; }
    bool IsStarted() const { return m_nStarted.load(std::memory_order_relaxed) != 0; }
    int32_t LastAudioTime() const { return m_nLastAudio.load(std::memory_order_relaxed); }

private:
    using Word = std::atomic<int32_t>;
    uint32_t Now() const;
    // The value the clock would hand out now, without adopting anything.
    int32_t Peek(uint32_t now) const;
    int32_t HeldValue() const;
    void SetNextBase(int32_t value, uint32_t tick);
    static int32_t Advance(int32_t value, uint32_t from, uint32_t to, int32_t rate);

    TickSource m_pTicks;
    Word m_nStarted{0};
    Word m_nPaused{1};
    Word m_nPending{0};
    Word m_nLastAudio{0};
    Word m_nHeld{0}; // ahead of the audio: the value stays until the audio catches up
    std::atomic<uint32_t> m_nLastSyncTick{0};
    Word m_nPrevious{0};
    Word m_nCurrent{0};
    Word m_nNextBaseValue{0};
    std::atomic<uint32_t> m_nNextBaseTick{0};
    Word m_nRate{100};
    Word m_nBaseValue{0};
    std::atomic<uint32_t> m_nBaseTick{0};
    Word m_nBaseRate{100};
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
