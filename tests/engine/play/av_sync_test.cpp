#include <gtest/gtest.h>

#include "engine/play/av_sync.h"

namespace {

struct HEARD_CASE
{
    const char *name;
    int32_t nAudibleMs;
    uint32_t nAudibleTick;
    uint32_t nPresentTick;
    int32_t nRate;
    int32_t nHeardMs;
};

} // namespace

// The sound heard at a presentation is the audible block's time carried on by the ticks since.
TEST(AvSyncRecord, HeardTimeFollowsTheTicksSinceTheBlockBecameAudible)
{
    const HEARD_CASE cases[] = {
        {"same tick", 1000, 5000, 5000, 100, 1000},
        {"later tick", 1000, 5000, 5023, 100, 1023},
        {"double speed", 1000, 5000, 5020, 200, 1040},
        {"half speed", 1000, 5000, 5020, 50, 1010},
        {"tick counter wrapped", 2000, 0xFFFFFFF0u, 0x10u, 100, 2032},
    };
    for (const HEARD_CASE &c : cases) {
        AvSyncRecord record;
        record.Audible(c.nAudibleMs, c.nAudibleTick);
        record.Presented(1234, 1200, c.nPresentTick, c.nRate);
        const AvSyncRecord::PRESENTED last = record.Last();
        EXPECT_EQ(last.nCount, 1u) << c.name;
        EXPECT_EQ(last.nPictureMs, 1234) << c.name;
        EXPECT_EQ(last.nClockMs, 1200) << c.name;
        EXPECT_EQ(last.nHeardMs, c.nHeardMs) << c.name;
    }
}

// Without an audible block (none yet, or the sound stopped) a picture says nothing about sync
// and must not be compared with a stale block; a new open also clears the count.
TEST(AvSyncRecord, PicturesWithoutAudibleSoundAreNotCompared)
{
    AvSyncRecord record;
    record.Presented(40, 40, 100, 100);
    EXPECT_EQ(record.Last().nCount, 0u);

    record.Audible(500, 1000);
    record.Presented(520, 520, 1010, 100);
    record.Silence();
    record.Presented(9000, 9000, 60000, 100); // after a pause: the old tick would say 59510
    AvSyncRecord::PRESENTED last = record.Last();
    EXPECT_EQ(last.nCount, 1u);
    EXPECT_EQ(last.nPictureMs, 520);
    EXPECT_EQ(last.nHeardMs, 510);

    record.Audible(9000, 60000);
    record.Presented(9010, 9010, 60005, 100);
    EXPECT_EQ(record.Last().nCount, 2u);
    record.Reset();
    record.Presented(9040, 9040, 60030, 100);
    EXPECT_EQ(record.Last().nCount, 0u);
}
