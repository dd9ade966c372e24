// When the video task puts a picture up: once the clock has reached it, waiting in short steps
// until then, at the playback rate.

#include <cstdint>

#include <gtest/gtest.h>

#include "engine/play/playback_tasks.h"

namespace {

TEST(PictureWait, APictureIsShownWhenTheClockReachesItAndNotBefore)
{
    struct Case
    {
        int32_t clock, picture, rate, waitMs;
    };
    const Case cases[] = {
        {1000, 1000, 100, 0}, // due now
        {1300, 1000, 100, 0}, // late: at once
        {6000, 1000, 100, 0}, // 5 s behind: still shown, at once
        {1000, 1001, 100, 1}, // 1 ms ahead is not due yet
        {1000, 1005, 100, 5},
        {1000, 1035, 100, kMaxPictureWaitMs}, // most of a frame ahead: the clock is read again
        {1000, 1009, 150, 6},                 // 9 clock ms at 150 % are 6 wall ms
        {1000, 1010, 150, 7},                 // 6.7 rounded up: never shown early
        {1000, 1003, 50, 6},                  // half speed doubles the wait
        {1000, 1001, 200, 1},                 // half a ms still waits
        {1000, 1040, 0, kMaxPictureWaitMs},   // a clock not running
        {INT32_MIN, INT32_MAX, 100, kMaxPictureWaitMs},
        {INT32_MAX, INT32_MIN, 100, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PictureWaitMs(c.clock, c.picture, c.rate), c.waitMs)
            << c.clock << " " << c.picture << " at " << c.rate;
}

} // namespace
