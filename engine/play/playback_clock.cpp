#include "engine/play/playback_clock.h"

#include <cstdlib>

#include "engine/core/vantor_errors.h"
#include "platform/tick_count.h"

namespace {
constexpr int32_t kSyncToleranceMs = 5;
// A hold ends when the audio stops reporting (its stream ended) for this long; a started clock
// that has had no audio sync for this long runs free.
constexpr uint32_t kHoldLimitMs = 250;
using Guard = std::lock_guard<std::mutex>;
} // namespace

PlaybackClock::PlaybackClock(int32_t startMs, TickSource ticks)
    : m_pTicks(ticks != nullptr ? ticks : &GetTickCount)
{
    const uint32_t now = Now();
    m_nBaseValue = m_nNextBaseValue = m_nCurrent = m_nPrevious = startMs;
    m_nBaseTick = m_nNextBaseTick = now;
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
    return m_bPending ? m_nNextBaseValue : m_nBaseValue;
}

int32_t PlaybackClock::Peek(uint32_t now) const
{
    if (m_bPaused)
        return m_nCurrent;
    if (m_bHeld)
        return HeldValue();
    if (m_bPending)
        return Advance(m_nNextBaseValue, m_nNextBaseTick, now, m_nRate);
    return Advance(m_nBaseValue, m_nBaseTick, now, m_nBaseRate);
}

void PlaybackClock::SetNextBase(int32_t value, uint32_t tick)
{
    m_nNextBaseValue = value;
    m_nNextBaseTick = tick;
    m_bPending = true;
}

// A started clock leaves its wait for the audio, from where it stands.
void PlaybackClock::RunFree(uint32_t now)
{
    SetNextBase(m_nCurrent, now);
    m_bPaused = false;
}

int32_t PlaybackClock::Rate() const
{
    Guard guard(m_lock);
    return m_nRate;
}

bool PlaybackClock::IsPaused() const
{
    Guard guard(m_lock);
    return m_bPaused;
}

bool PlaybackClock::IsStarted() const
{
    Guard guard(m_lock);
    return m_bStarted;
}

int32_t PlaybackClock::LastAudioTime() const
{
    Guard guard(m_lock);
    return m_nLastAudio;
}

void PlaybackClock::Pause()
{
    Guard guard(m_lock);
    // A clock started but still waiting for its first audio sync is paused already; the pause
    // still ends that wait, or its bound (or the sound's end) would set the paused clip running.
    m_bStarted = false;
    if (m_bPaused)
        return;
    // A base still pending is the newer truth; freezing the older one would make the paused
    // picture jump back.
    const uint32_t now = Now();
    const int32_t value = Peek(now);
    m_nBaseValue = m_nNextBaseValue = m_nCurrent = value;
    m_nBaseTick = m_nNextBaseTick = now;
    m_bPending = false;
    m_bHeld = false;
    m_bPaused = true;
}

void PlaybackClock::Start(bool freeRunning)
{
    Guard guard(m_lock);
    if (!m_bPaused)
        return;
    m_bHeld = false;
    const uint32_t now = Now();
    if (freeRunning) {
        SetNextBase(m_nBaseValue, now);
        m_bPaused = false;
    }
    m_bStarted = true;
    m_nStartTick = now;
}

void PlaybackClock::SetPosition(int32_t ms)
{
    Guard guard(m_lock);
    const uint32_t now = Now();
    m_bHeld = false;
    if (m_bPaused) {
        m_nBaseValue = m_nNextBaseValue = m_nCurrent = ms;
        m_nBaseTick = m_nNextBaseTick = now;
        m_bPending = false;
        return;
    }
    SetNextBase(ms, now);
}

void PlaybackClock::SetRate(int32_t percent)
{
    Guard guard(m_lock);
    if (!m_bPaused) {
        const uint32_t now = Now();
        SetNextBase(Peek(now), now);
    }
    m_nRate = percent;
}

void PlaybackClock::AudioSync(int32_t audioMs)
{
    Guard guard(m_lock);
    const uint32_t now = Now();
    if (m_bStarted && m_bPaused) {
        // The first played block starts the clock from where it was paused.
        RunFree(now);
    }
    m_nLastAudio = audioMs;
    m_nLastSyncTick = now;
    const int32_t clock = Peek(now);
    if (m_bHeld) {
        // Held ahead of the audio: it runs again once the audio has caught up, from the audio's
        // time when that has passed the held value.
        if (audioMs < clock - kSyncToleranceMs)
            return;
        SetNextBase(audioMs > clock ? audioMs : clock, now);
        m_bHeld = false;
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
    SetNextBase(m_nCurrent, now);
    m_bHeld = true;
}

void PlaybackClock::AudioEnded()
{
    Guard guard(m_lock);
    if (m_bStarted && m_bPaused)
        RunFree(Now());
}

int32_t PlaybackClock::Position()
{
    Guard guard(m_lock);
    const uint32_t now = Now();
    // Started and still paused: no audio sync has come since the start. After the bound the
    // picture no longer waits for sound that may never report.
    if (m_bPaused && m_bStarted && static_cast<uint32_t>(now - m_nStartTick) > kHoldLimitMs)
        RunFree(now);
    if (m_bPaused && !m_bPending)
        return m_nCurrent;
    if (m_bHeld && static_cast<uint32_t>(now - m_nLastSyncTick) > kHoldLimitMs) {
        // The audio has stopped reporting: the clock runs on from where it held.
        const int32_t held = HeldValue();
        m_bHeld = false;
        SetNextBase(held, now);
    }
    if (m_bPending) {
        m_bPending = false;
        m_nBaseValue = m_nNextBaseValue;
        m_nBaseTick = m_nNextBaseTick;
        m_nBaseRate = m_nRate;
    }
    m_nPrevious = m_nCurrent;
    const int32_t value =
        m_bPaused || m_bHeld ? m_nBaseValue : Advance(m_nBaseValue, m_nBaseTick, now, m_nBaseRate);
    m_nCurrent = value;
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
