#pragma once

#include <cstdint>
#include <mutex>

// How far the picture put on screen is from the sound heard at that moment, for long runs that
// measure it; playback itself does not read it. The audio output's played reports give the
// time of the block that has become audible and the tick it did; a picture presented later is
// compared with that block's time carried forward by the ticks since, at the playback rate.
// Written from the sound device's notification thread and the video task, read by anyone; the
// lock is a leaf (nothing else is taken under it).
class AvSyncRecord
{
public:
    struct PRESENTED
    {
        uint32_t nCount;    // pictures compared since the open
        int32_t nPictureMs; // of the last one
        int32_t nHeardMs;   // sound time heard when it was presented
        int32_t nClockMs;   // the playback clock it was presented against
    };

    // A block with time audioMs became audible at tick.
    void Audible(int32_t audioMs, uint32_t tick);
    // Forget the last audible block: the sound stopped (pause, seek, a new open) and its tick
    // no longer tells what is heard.
    void Silence();
    // A picture was presented at tick against clockMs with the sound playing at ratePercent;
    // ignored while no block is audible.
    void Presented(int32_t pictureMs, int32_t clockMs, uint32_t tick, int32_t ratePercent);
    PRESENTED Last() const;
    // Also clears the count (a new open).
    void Reset();

private:
    mutable std::mutex m_lock;
    bool m_bAudible = false;
    int32_t m_nAudibleMs = 0;
    uint32_t m_nAudibleTick = 0;
    PRESENTED m_last{};
};
