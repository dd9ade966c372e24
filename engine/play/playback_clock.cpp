#include "engine/play/playback_clock.h"

#include <cstdlib>

#include "engine/core/vantor_errors.h"
#include "platform/tick_count.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kSyncToleranceMs = 5;
// A hold ends when the audio stops reporting (its stream ended) for this long.
constexpr uint32_t kHoldLimitMs = 250;
} // namespace

PlaybackClock::PlaybackClock(int32_t startMs, TickSource ticks)
    : m_pTicks(ticks != nullptr ? ticks : &GetTickCount)
{
    const uint32_t now = Now();
    m_nBaseValue.store(startMs, kRelaxed);
    m_nNextBaseValue.store(startMs, kRelaxed);
    m_nCurrent.store(startMs, kRelaxed);
    m_nPrevious.store(startMs, kRelaxed);
    m_nBaseTick.store(now, kRelaxed);
    m_nNextBaseTick.store(now, kRelaxed);
}

uint32_t PlaybackClock::Now() const
{
    return m_pTicks();
}

int32_t PlaybackClock::Advance(int32_t value, uint32_t from, uint32_t to, int32_t rate)
{
    // Tick differences wrap like the 32-bit counter; the product is taken in 64 bits.
    const auto elapsed = static_cast<int64_t>(static_cast<uint32_t>(to - from));
    return static_cast<int32_t>(value + elapsed * rate / 100);
}

// The value a hold keeps: the newest base.
int32_t PlaybackClock::HeldValue() const
{
    return m_nPending.load(kRelaxed) != 0 ? m_nNextBaseValue.load(kRelaxed)
                                          : m_nBaseValue.load(kRelaxed);
}

int32_t PlaybackClock::Peek(uint32_t now) const
{
    if (m_nPaused.load(kRelaxed) != 0)
        return m_nCurrent.load(kRelaxed);
    if (m_nHeld.load(kRelaxed) != 0)
        return HeldValue();
    if (m_nPending.load(kRelaxed) != 0)
        return Advance(m_nNextBaseValue.load(kRelaxed), m_nNextBaseTick.load(kRelaxed), now,
                       m_nRate.load(kRelaxed));
    return Advance(m_nBaseValue.load(kRelaxed), m_nBaseTick.load(kRelaxed), now,
                   m_nBaseRate.load(kRelaxed));
}

void PlaybackClock::SetNextBase(int32_t value, uint32_t tick)
{
    m_nNextBaseValue.store(value, kRelaxed);
    m_nNextBaseTick.store(tick, kRelaxed);
    m_nPending.store(1, kRelaxed);
}

void PlaybackClock::Pause()
{
    if (m_nPaused.load(kRelaxed) != 0)
        return;
    // A base still pending is the newer truth; freezing the older one would make the paused
    // picture jump back.
    const uint32_t now = Now();
    const int32_t value = Peek(now);
    m_nBaseValue.store(value, kRelaxed);
    m_nBaseTick.store(now, kRelaxed);
    m_nNextBaseValue.store(value, kRelaxed);
    m_nNextBaseTick.store(now, kRelaxed);
    m_nPending.store(0, kRelaxed);
    m_nCurrent.store(value, kRelaxed);
    m_nStarted.store(0, kRelaxed);
    m_nHeld.store(0, kRelaxed);
    m_nPaused.store(1, kRelaxed);
}

void PlaybackClock::Start(bool freeRunning)
{
    if (m_nPaused.load(kRelaxed) == 0)
        return;
    m_nHeld.store(0, kRelaxed);
    if (freeRunning) {
        SetNextBase(m_nBaseValue.load(kRelaxed), Now());
        m_nPaused.store(0, kRelaxed);
    }
    m_nStarted.store(1, kRelaxed);
}

void PlaybackClock::SetPosition(int32_t ms)
{
    const uint32_t now = Now();
    m_nHeld.store(0, kRelaxed);
    if (m_nPaused.load(kRelaxed) != 0) {
        m_nBaseValue.store(ms, kRelaxed);
        m_nNextBaseValue.store(ms, kRelaxed);
        m_nCurrent.store(ms, kRelaxed);
        m_nBaseTick.store(now, kRelaxed);
        m_nNextBaseTick.store(now, kRelaxed);
        m_nPending.store(0, kRelaxed);
        return;
    }
    SetNextBase(ms, now);
}

void PlaybackClock::SetRate(int32_t percent)
{
    if (m_nPaused.load(kRelaxed) == 0) {
        const uint32_t now = Now();
        SetNextBase(Peek(now), now);
    }
    m_nRate.store(percent, kRelaxed);
}

void PlaybackClock::AudioSync(int32_t audioMs)
{
    const uint32_t now = Now();
    if (m_nStarted.load(kRelaxed) != 0 && m_nPaused.load(kRelaxed) != 0) {
        // The first played block starts the clock from where it was paused.
        SetNextBase(m_nCurrent.load(kRelaxed), now);
        m_nPaused.store(0, kRelaxed);
    }
    m_nLastAudio.store(audioMs, kRelaxed);
    m_nLastSyncTick.store(now, kRelaxed);
    const int32_t clock = Peek(now);
    if (m_nHeld.load(kRelaxed) != 0) {
        // Held ahead of the audio: it runs again once the audio has caught up, from the audio's
        // time when that has passed the held value.
        if (audioMs < clock - kSyncToleranceMs)
            return;
        SetNextBase(audioMs > clock ? audioMs : clock, now);
        m_nHeld.store(0, kRelaxed);
        return;
    }
    if (std::abs(audioMs - clock) <= kSyncToleranceMs)
        return;
    // Behind the audio: jump to it. Ahead of it: hold at the value last handed out until the
    // audio catches up (running on from there would keep the lead for the rest of the clip).
    if (audioMs > clock) {
        SetNextBase(audioMs, now);
        return;
    }
    SetNextBase(m_nCurrent.load(kRelaxed), now);
    m_nHeld.store(1, kRelaxed);
}

int32_t PlaybackClock::Position()
{
    if (m_nPaused.load(kRelaxed) != 0 && m_nPending.load(kRelaxed) == 0)
        return m_nCurrent.load(kRelaxed);
    const uint32_t now = Now();
    if (m_nHeld.load(kRelaxed) != 0 &&
        static_cast<uint32_t>(now - m_nLastSyncTick.load(kRelaxed)) > kHoldLimitMs) {
        // The audio has stopped reporting: the clock runs on from where it held.
        const int32_t held = HeldValue();
        m_nHeld.store(0, kRelaxed);
        SetNextBase(held, now);
    }
    if (m_nPending.exchange(0, kRelaxed) != 0) {
        m_nBaseValue.store(m_nNextBaseValue.load(kRelaxed), kRelaxed);
        m_nBaseTick.store(m_nNextBaseTick.load(kRelaxed), kRelaxed);
        m_nBaseRate.store(m_nRate.load(kRelaxed), kRelaxed);
    }
    m_nPrevious.store(m_nCurrent.load(kRelaxed), kRelaxed);
    const int32_t value = m_nPaused.load(kRelaxed) != 0 || m_nHeld.load(kRelaxed) != 0
                              ? m_nBaseValue.load(kRelaxed)
                              : Advance(m_nBaseValue.load(kRelaxed), m_nBaseTick.load(kRelaxed),
                                        now, m_nBaseRate.load(kRelaxed));
    m_nCurrent.store(value, kRelaxed);
    return value;
}

Lateness PictureLateness(int32_t clockMs, int32_t pictureMs)
{
    const int64_t d = static_cast<int64_t>(clockMs) - pictureMs;
    if (d < -40)
        return Lateness::Early;
    if (d <= 300)
        return Lateness::OnTime;
    if (d <= 600)
        return Lateness::Late;
    if (d <= 1000)
        return Lateness::Later;
    return Lateness::VeryLate;
}

int32_t LatenessCode(Lateness lateness)
{
    switch (lateness) {
    case Lateness::Late:
        return VANTOR_E_LATE_CLASS_1;
    case Lateness::Later:
        return VANTOR_E_LATE_CLASS_2;
    case Lateness::VeryLate:
        return VANTOR_E_LATE_CLASS_3;
    default:
        return VANTOR_OK;
    }
}
