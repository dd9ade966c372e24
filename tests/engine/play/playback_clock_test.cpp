#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "engine/play/playback_clock.h"

namespace {

uint32_t g_nFakeTick = 0;
uint32_t FakeTicks()
{
    return g_nFakeTick;
}

class ClockTest : public ::testing::Test
{
protected:
    void SetUp() override { g_nFakeTick = 100000; }
    static void Wait(uint32_t ms) { g_nFakeTick += ms; }
};

} // namespace

TEST_F(ClockTest, FreeRunningClockAdvancesWithTicksAndHoldsWhenPaused)
{
    PlaybackClock clock(2000, &FakeTicks);
    Wait(500);
    EXPECT_EQ(clock.Position(), 2000); // created paused
    clock.Start(true);
    Wait(250);
    EXPECT_EQ(clock.Position(), 2250);
    clock.Pause();
    Wait(1000);
    EXPECT_EQ(clock.Position(), 2250);
    clock.Start(true);
    Wait(10);
    EXPECT_EQ(clock.Position(), 2260);
}

TEST_F(ClockTest, WithAudioTheClockWaitsForTheFirstPlayedBlock)
{
    PlaybackClock clock(5000, &FakeTicks);
    clock.Start(false);
    Wait(200);
    EXPECT_EQ(clock.Position(), 5000);
    EXPECT_TRUE(clock.IsPaused());

    // The first block plays at the paused position: the clock runs from there.
    clock.AudioSync(5002);
    Wait(100);
    EXPECT_EQ(clock.Position(), 5100);
    EXPECT_EQ(clock.LastAudioTime(), 5002);
}

// Sound that never reports (one block left after a seek near the end, a clip whose sound is
// one block long) must not keep the picture still.
TEST_F(ClockTest, AStartedClockWaitsForTheAudioOnlySoLong)
{
    struct Case
    {
        const char *name;
        bool bAudioEnds;     // the audio task tells the clock its sound has ended
        uint32_t nWaitedMs;  // since the start, without an audio sync
        bool bRunsAfterWait; // the clock moves 100 ms in the next 100 ms
    };
    const Case cases[] = {
        {"within the bound it waits", false, 250, false},
        {"past the bound it runs from where it was", false, 251, true},
        {"the audio's end lets it run at once", true, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackClock clock(5000, &FakeTicks);
        clock.Start(false);
        if (c.bAudioEnds)
            clock.AudioEnded();
        Wait(c.nWaitedMs);
        EXPECT_EQ(clock.Position(), 5000);
        Wait(100);
        EXPECT_EQ(clock.Position(), c.bRunsAfterWait ? 5100 : 5000);
    }
    // A paused clock (not started) stays paused whatever the audio does.
    PlaybackClock paused(7000, &FakeTicks);
    paused.AudioEnded();
    Wait(1000);
    EXPECT_EQ(paused.Position(), 7000);
}

// A pause or a seek that comes while a started clock still waits for its first audio sync ends
// the wait: the bound for that wait, or the sound's end, must not set a paused clip running.
TEST_F(ClockTest, PausingAClockThatWaitsForTheAudioKeepsItStill)
{
    struct Case
    {
        const char *name;
        bool bSeek;      // a seek (pause, then a new position) rather than a plain pause
        bool bAudioEnds; // the audio task reports the sound's end while paused
    };
    const Case cases[] = {
        {"pause", false, false},
        {"seek", true, false},
        {"pause, then the sound ends", false, true},
        {"seek, then the sound ends", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackClock clock(1000, &FakeTicks);
        clock.Start(false);
        Wait(100);
        clock.Pause();
        const int32_t still = c.bSeek ? 2080 : 1000;
        if (c.bSeek)
            clock.SetPosition(still);
        if (c.bAudioEnds)
            clock.AudioEnded();
        for (int i = 0; i < 4; ++i) {
            Wait(150);
            EXPECT_EQ(clock.Position(), still);
        }
        EXPECT_TRUE(clock.IsPaused());
        EXPECT_FALSE(clock.IsStarted());

        // Played again, it waits for the audio anew, for the whole bound.
        clock.Start(false);
        Wait(250);
        EXPECT_EQ(clock.Position(), still);
        Wait(1); // past the bound it runs from where it was
        EXPECT_EQ(clock.Position(), still);
        Wait(100);
        EXPECT_EQ(clock.Position(), still + 100);
    }
}

// The clock's value is the tick count itself when every new position is the tick at which it
// is set: a reader that paired the base value of one update with the tick of another would
// see a value outside the ticks around its read.
std::atomic<uint32_t> g_nSharedTick{1000};
uint32_t SharedTicks()
{
    return g_nSharedTick.load();
}

TEST(ClockThreads, ReadersNeverSeeAValueOfOneUpdateWithTheTickOfAnother)
{
    PlaybackClock clock(1000, &SharedTicks);
    clock.Start(true);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread writer([&] {
        for (int i = 0; i < 3000000; ++i) {
            const uint32_t tick = g_nSharedTick.fetch_add(1000) + 1000;
            if (i % 2)
                clock.SetPosition(static_cast<int32_t>(tick));
            else
                clock.AudioSync(static_cast<int32_t>(tick)); // a jump forward to the audio
        }
        done = true;
    });
    std::vector<std::thread> readers;
    // More readers than cores: reads that adopt a new base race each other as well.
    for (int r = 0; r < 6; ++r)
        readers.emplace_back([&] {
            while (!done.load()) {
                const uint32_t before = g_nSharedTick.load();
                const int32_t value = clock.Position();
                const uint32_t after = g_nSharedTick.load();
                if (static_cast<uint32_t>(value) < before || static_cast<uint32_t>(value) > after)
                    ++torn;
            }
        });
    writer.join();
    for (std::thread &t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST_F(ClockTest, FirstBlockLaterThanThePausedPositionMovesTheClockToIt)
{
    PlaybackClock clock(9600, &FakeTicks);
    clock.Start(false);
    clock.AudioSync(10400);
    Wait(40);
    EXPECT_EQ(clock.Position(), 10440);
}

TEST_F(ClockTest, AudioSyncFollowsTheAudioWithinItsTolerance)
{
    struct Case
    {
        const char *name;
        int32_t audioOffset; // audio time minus the clock at the sync
        int32_t expectedAfter100;
    } const cases[] = {
        {"within 5 ms ahead: unchanged", 5, 1100},
        {"within 5 ms behind: unchanged", -5, 1100},
        {"audio ahead: jump to it", 30, 1130},
        {"clock ahead: holds the last value handed out", -30, 1000},
    };
    for (const Case &c : cases) {
        SetUp();
        PlaybackClock clock(0, &FakeTicks);
        clock.Start(true);
        Wait(1000);
        ASSERT_EQ(clock.Position(), 1000) << c.name;
        clock.AudioSync(1000 + c.audioOffset);
        Wait(100);
        EXPECT_EQ(clock.Position(), c.expectedAfter100) << c.name;
    }
}

// Ahead of the audio the clock neither goes back nor runs on: it holds the value it last handed
// out until the audio has caught up, then runs from the audio's time.
TEST_F(ClockTest, ClockAheadOfTheAudioHoldsUntilTheAudioCatchesUp)
{
    PlaybackClock clock(0, &FakeTicks);
    clock.Start(true);
    Wait(1000);
    const int32_t handedOut = clock.Position();
    Wait(20); // 1020 now, audio reports 900
    clock.AudioSync(900);
    EXPECT_EQ(clock.Position(), handedOut);
    Wait(50);
    EXPECT_EQ(clock.Position(), handedOut);
    clock.AudioSync(990); // still behind
    Wait(50);
    EXPECT_EQ(clock.Position(), handedOut);
    clock.AudioSync(1010); // past the held value
    EXPECT_EQ(clock.Position(), 1010);
    Wait(30);
    EXPECT_EQ(clock.Position(), 1040);

    // A new position ends a hold; so does audio that stops reporting (its stream ended).
    clock.AudioSync(900);
    EXPECT_EQ(clock.Position(), 1040);
    clock.SetPosition(5000);
    Wait(40);
    EXPECT_EQ(clock.Position(), 5040);
    clock.AudioSync(4900);
    Wait(200);
    EXPECT_EQ(clock.Position(), 5040);
    Wait(100); // 300 ms without audio
    EXPECT_EQ(clock.Position(), 5040);
    Wait(50);
    EXPECT_EQ(clock.Position(), 5090);
}

TEST_F(ClockTest, RateChangesKeepThePositionContinuous)
{
    PlaybackClock clock(0, &FakeTicks);
    clock.Start(true);
    Wait(1000);
    clock.SetRate(150);
    Wait(1000);
    EXPECT_EQ(clock.Position(), 2500);
    clock.SetRate(50);
    Wait(1000);
    EXPECT_EQ(clock.Position(), 3000);
}

TEST_F(ClockTest, RateSetWhilePausedAppliesAfterResume)
{
    PlaybackClock clock(0, &FakeTicks);
    clock.Start(true);
    Wait(4000);
    clock.Pause();
    clock.SetRate(50);
    Wait(700);
    EXPECT_EQ(clock.Position(), 4000);
    clock.Start(true);
    Wait(1000);
    EXPECT_EQ(clock.Position(), 4500);
}

TEST_F(ClockTest, PausingWithAPendingBaseKeepsTheNewerBase)
{
    PlaybackClock clock(0, &FakeTicks);
    clock.Start(true);
    Wait(100);
    clock.SetPosition(30000); // pending until someone reads the clock
    Wait(40);
    clock.Pause();
    EXPECT_EQ(clock.Position(), 30040);
}

TEST_F(ClockTest, SetPositionWhilePausedIsImmediate)
{
    PlaybackClock clock(0, &FakeTicks);
    clock.SetPosition(10400);
    Wait(500);
    EXPECT_EQ(clock.Position(), 10400);
    clock.Start(true);
    Wait(100);
    EXPECT_EQ(clock.Position(), 10500);
}

TEST_F(ClockTest, TickCounterWrapIsHarmless)
{
    g_nFakeTick = 0xFFFFFF00u;
    PlaybackClock clock(0, &FakeTicks);
    clock.Start(true);
    Wait(0x200);
    EXPECT_EQ(clock.Position(), 0x200);
}

TEST(PictureLateness, ClassesByDistanceFromTheClock)
{
    const struct
    {
        int32_t clock, picture;
        Lateness lateness;
        int32_t code;
    } cases[] = {
        {1000, 1035, Lateness::OnTime, 0}, // 35 ms ahead is shown at once
        {1000, 1040, Lateness::OnTime, 0},
        {1000, 1041, Lateness::Early, 0},
        {1000, 1045, Lateness::Early, 0}, // 45 ms ahead waits
        {1300, 1000, Lateness::OnTime, 0},
        {1301, 1000, Lateness::Late, VANTOR_E_LATE_CLASS_1},
        {1600, 1000, Lateness::Late, VANTOR_E_LATE_CLASS_1},
        {1601, 1000, Lateness::Later, VANTOR_E_LATE_CLASS_2},
        {2000, 1000, Lateness::Later, VANTOR_E_LATE_CLASS_2},
        {6000, 1000, Lateness::VeryLate, VANTOR_E_LATE_CLASS_3}, // 5 s behind, still shown
        {INT32_MAX, INT32_MIN, Lateness::VeryLate, VANTOR_E_LATE_CLASS_3},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PictureLateness(c.clock, c.picture), c.lateness) << c.clock << " " << c.picture;
        EXPECT_EQ(LatenessCode(PictureLateness(c.clock, c.picture)), c.code);
    }
}
