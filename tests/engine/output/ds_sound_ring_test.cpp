#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/output/audio_out.h"
#include "engine/output/ds_sound_ring.h"

namespace {

struct FiguresCase
{
    const char *name;
    int32_t nRate;
    int32_t nChannels;
    int32_t nFrameBlock;
    uint32_t nTargetBytes;
    uint32_t nPeriodFrames;
    uint32_t nPeriodBytes;
    uint32_t nPeriodCount;
    uint32_t nBufferBytes;
    uint32_t nHalfBuffer;
};

const FiguresCase kFigures[] = {
    {"44100 stereo", 44100, 2, 1024, 90112, 2205, 8820, 10, 88200, 44100},
    {"8000 mono", 8000, 1, 1024, 8192, 400, 800, 10, 8000, 4000},
    // Two frame blocks are more than half a second: the target follows the blocks.
    {"8000 mono, big blocks", 8000, 1, 4096, 16384, 400, 800, 20, 16000, 8000},
    // The target is 10.24 periods: the buffer holds 10.
    {"48000 stereo, 2048", 48000, 2, 2048, 98304, 2400, 9600, 10, 96000, 48000},
    // A tiny rate still gets two periods.
    {"100 mono", 100, 1, 1024, 4096, 5, 10, 410, 4100, 2050},
};

TEST(SoundBufferFigures, FollowTheRateChannelsAndFrameBlock)
{
    for (const FiguresCase &c : kFigures) {
        SCOPED_TRACE(c.name);
        const uint32_t target = AudioBufferTargetBytes(c.nRate, c.nChannels, c.nFrameBlock);
        EXPECT_EQ(target, c.nTargetBytes);
        const DsPeriodFigures f = DsPeriodFiguresFor(c.nRate, c.nChannels, target);
        EXPECT_EQ(f.nPeriodFrames, c.nPeriodFrames);
        EXPECT_EQ(f.nPeriodBytes, c.nPeriodBytes);
        EXPECT_EQ(f.nPeriodCount, c.nPeriodCount);
        EXPECT_EQ(f.nBufferBytes, c.nBufferBytes);
        EXPECT_EQ(f.nHalfBuffer, c.nHalfBuffer);
    }
}

TEST(SoundBufferFigures, NeverFewerThanTwoPeriods)
{
    EXPECT_EQ(DsPeriodFiguresFor(8000, 1, 100).nPeriodCount, 2u);
}

TEST(PlayingFrequency, IsRateTimesSpeedAndRefusedOutsideTheDeviceRange)
{
    struct Case
    {
        int32_t nRate, nPercent, nFrequency;
    };
    const Case cases[] = {
        {44100, 100, 44100},
        {44100, 200, 88200},
        {44100, 50, 22050},
        {44100, 150, 66150},
        {8000, 133, 10640},
        {44100, 453, 199773},
        {44100, 454, -1},
        {44100, 0, -1},
        {44100, -100, -1},
        {1000, 10, 100},
        {1000, 9, -1},
        // Large speeds must not wrap around into the accepted range.
        {44100, 2000000000, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.nRate << " Hz at " << c.nPercent << " %");
        EXPECT_EQ(DsPlayingFrequency(c.nRate, c.nPercent), c.nFrequency);
    }
}

TEST(VolumeWord, GivesAttenuationInHundredthsOfADecibel)
{
    struct Case
    {
        uint32_t dwWord;
        int32_t nAttenuation;
    };
    const Case cases[] = {
        {0x7FFF7FFF, -625},   {0xFFFFFFFF, 0},      {0, -10000},
        {0x0000FFFF, 0},      {0xFFFF0000, -10000}, // only the low (left) level counts
        {0x00000001, -10000}, {0x00003FFF, -1250},  {0x0000FFFE, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.dwWord);
        EXPECT_EQ(DsVolumeAttenuation(c.dwWord), c.nAttenuation);
    }
}

TEST(VolumeWord, LevelAndGainOfAnAttenuation)
{
    EXPECT_EQ(DsLevelFromAttenuation(0), 65535u);
    EXPECT_EQ(DsLevelFromAttenuation(-10000), 1u);
    EXPECT_NEAR(static_cast<double>(DsLevelFromAttenuation(-625)), 32767.0, 20.0);
    EXPECT_EQ(DsAttenuationGain(0), 1.0f);
    EXPECT_EQ(DsAttenuationGain(-10000), 0.0f);
    EXPECT_NEAR(DsAttenuationGain(-625), 0.4870, 0.0005);
    EXPECT_NEAR(DsAttenuationGain(-2000), 0.1, 1e-6);
}

TEST(VolumeState, MuteKeepsTheLevelForUnmute)
{
    struct Step
    {
        enum Kind
        {
            Volume,
            Mute
        } kind;
        uint32_t dwValue;
        int32_t nAttenuation; // afterwards
    };
    struct Case
    {
        const char *name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"mute and unmute at half",
         {{Step::Volume, 0x7FFF7FFF, -625}, {Step::Mute, 1, -10000}, {Step::Mute, 0, -625}}},
        {"unmute without a mute keeps full volume", {{Step::Mute, 0, 0}}},
        {"muting twice keeps the level",
         {{Step::Volume, 0x7FFF7FFF, -625},
          {Step::Mute, 1, -10000},
          {Step::Mute, 1, -10000},
          {Step::Mute, 0, -625}}},
        {"volume while muted stays silent until unmute",
         {{Step::Mute, 1, -10000}, {Step::Volume, 0x3FFF3FFF, -10000}, {Step::Mute, 0, -1250}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DsVolumeState state;
        for (const Step &s : c.steps) {
            if (s.kind == Step::Volume)
                DsApplyVolume(&state, s.dwValue);
            else
                DsApplyMute(&state, s.dwValue != 0);
            EXPECT_EQ(state.nAttenuation, s.nAttenuation);
        }
    }
}

// A small buffer: 4 periods of 10 mono frames.
DsPeriodFigures SmallFigures()
{
    return DsPeriodFigures{10, 20, 4, 80, 40};
}

std::vector<int16_t> Ramp(uint32_t frames, int16_t first)
{
    std::vector<int16_t> v(frames);
    for (uint32_t i = 0; i < frames; ++i)
        v[i] = static_cast<int16_t>(first + static_cast<int16_t>(i));
    return v;
}

void WriteMono(DsSoundRing &ring, const std::vector<int16_t> &samples)
{
    const AudioPcmBlock block{samples.data(), nullptr, nullptr,
                              static_cast<uint32_t>(samples.size()), 0};
    ring.Write(block, 1);
}

TEST(SoundRing, StartsPlayingAtHalfBufferAndPlaysTheSamplesInOrder)
{
    DsSoundRing ring(SmallFigures(), 1);
    WriteMono(ring, Ramp(19, 100));
    EXPECT_FALSE(ring.IsPlaying());
    std::vector<int16_t> out(5, -1);
    ring.Render(out.data(), 5, 1.0, 1.0f);
    EXPECT_EQ(out, std::vector<int16_t>(5, 0)) << "silence before half the buffer is queued";

    WriteMono(ring, Ramp(1, 119));
    EXPECT_TRUE(ring.IsPlaying());
    out.assign(25, -1);
    const bool bPeriodEnded = ring.Render(out.data(), 25, 1.0, 1.0f);
    EXPECT_TRUE(bPeriodEnded);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(out[i], 100 + i);
    for (int i = 20; i < 25; ++i)
        EXPECT_EQ(out[i], 0) << "ran dry: silence, not old sound";
    EXPECT_EQ(ring.Reclaim(), 40u);
    EXPECT_EQ(ring.QueuedBytes(), 0u);
    EXPECT_EQ(ring.Reclaim(), 0u);
}

TEST(SoundRing, WrapsAroundAndSilencesReclaimedSound)
{
    DsSoundRing ring(SmallFigures(), 1);
    WriteMono(ring, Ramp(30, 1));
    std::vector<int16_t> out(30);
    ring.Render(out.data(), 30, 1.0, 1.0f);
    EXPECT_EQ(ring.Reclaim(), 60u);
    // The next write wraps past the end of the buffer.
    WriteMono(ring, Ramp(40, 1000));
    EXPECT_EQ(ring.FreeBytes(), 0u);
    ring.Render(out.data(), 30, 1.0, 1.0f);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(out[i], 1000 + i);
    EXPECT_EQ(ring.Reclaim(), 60u);
    ring.Render(out.data(), 10, 1.0, 1.0f);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[i], 1030 + i);
    ring.Reclaim();
    // Everything queued was played: a restart on the empty buffer renders silence.
    ring.Restart();
    ring.Render(out.data(), 30, 1.0, 1.0f);
    EXPECT_EQ(out, std::vector<int16_t>(30, 0));
}

TEST(SoundRing, SpeedStepsThroughTheBufferAndInterpolates)
{
    struct Case
    {
        double step;
        std::vector<int16_t> expected;
        uint32_t nConsumedBytes;
    };
    const Case cases[] = {
        {2.0, {0, 20, 40, 60}, 16}, // every other frame
        {0.5, {0, 5, 10, 15}, 4},   // halfway values in between
        {1.5, {0, 15, 30, 45}, 12}, // 1.5 frames a step
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        DsSoundRing ring(SmallFigures(), 1);
        std::vector<int16_t> samples(40);
        for (int i = 0; i < 40; ++i)
            samples[i] = static_cast<int16_t>(i * 10);
        WriteMono(ring, samples);
        std::vector<int16_t> out(4);
        ring.Render(out.data(), 4, c.step, 1.0f);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(ring.Reclaim(), c.nConsumedBytes);
    }
}

TEST(SoundRing, GainScalesAndClips)
{
    DsSoundRing ring(SmallFigures(), 2);
    const std::vector<int16_t> stereo = {1000, -1000, 32767, -32768};
    std::vector<int16_t> fill(36 * 2, 0);
    const AudioPcmBlock first{stereo.data(), nullptr, nullptr, 2, 0};
    const AudioPcmBlock rest{fill.data(), nullptr, nullptr, 36, 0};
    ring.Write(first, 2);
    ring.Write(rest, 2);
    std::vector<int16_t> out(4);
    ring.Render(out.data(), 1, 1.0, 0.5f);
    ring.Render(out.data() + 2, 1, 1.0, 2.0f);
    EXPECT_EQ(out, (std::vector<int16_t>{500, -500, 32767, -32768}));
}

TEST(SoundRing, PauseHoldsThePlayPositionAndBlocksTheAutomaticStart)
{
    DsSoundRing ring(SmallFigures(), 1);
    ring.Pause();
    WriteMono(ring, Ramp(40, 1));
    EXPECT_FALSE(ring.IsPlaying()) << "a paused buffer does not start when half full";
    std::vector<int16_t> out(10);
    ring.Render(out.data(), 10, 1.0, 1.0f);
    EXPECT_EQ(ring.Reclaim(), 0u);
    ring.Restart();
    ring.Render(out.data(), 10, 1.0, 1.0f);
    EXPECT_EQ(out[0], 1);
    ring.Pause();
    ring.Render(out.data(), 10, 1.0, 1.0f);
    EXPECT_EQ(out, std::vector<int16_t>(10, 0));
    EXPECT_EQ(ring.Reclaim(), 20u);
    ring.Restart();
    ring.Render(out.data(), 1, 1.0, 1.0f);
    EXPECT_EQ(out[0], 11) << "playing goes on where it stopped";
}

TEST(SoundRing, ResetLeavesASilentEmptyStoppedBuffer)
{
    DsSoundRing ring(SmallFigures(), 1);
    WriteMono(ring, Ramp(30, 1));
    std::vector<int16_t> out(10);
    ring.Render(out.data(), 10, 1.0, 1.0f);
    ring.Reset();
    EXPECT_EQ(ring.FreeBytes(), ring.BufferBytes());
    EXPECT_FALSE(ring.IsPlaying());
    EXPECT_EQ(ring.Reclaim(), 0u);
    ring.Restart();
    ring.Render(out.data(), 10, 1.0, 1.0f);
    EXPECT_EQ(out, std::vector<int16_t>(10, 0));
}

TEST(ConvertFrames, InterleavesSeparateRunsAndNarrowsWideStreams)
{
    const int16_t left[] = {1, 2, 3};
    const int16_t right[] = {-1, -2, -3};
    int16_t out[8] = {};
    AudioConvertFrames(AudioPcmBlock{nullptr, left, right, 3, 0}, 1, 2, 2, 2, out);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{2, -2, 3, -3}));

    const int16_t six[] = {10, 11, 12, 13, 14, 15, 20, 21, 22, 23, 24, 25};
    AudioConvertFrames(AudioPcmBlock{six, nullptr, nullptr, 2, 0}, 0, 2, 6, 2, out);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{10, 11, 20, 21}));
}

} // namespace
