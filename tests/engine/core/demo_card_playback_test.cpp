// The whole engine with its built-in decoders on the demo card's clips (MPEG-4 video, AAC
// sound, GPS text): playback paced by the sound device, seeking and frame steps.

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/engine/core/player_harness.h"
#include "tests/support/demo_card.h"
#include "tools/mkcard/demo_clip.h"

namespace {

class DemoCardPlaybackTest : public ::testing::Test
{
protected:
    // Plays one clip of a short demo card to its end: every picture once and in order, in real
    // time, with about three seconds of sound reaching the device.
    void ExpectWholePlayback(const std::string &relative, uint32_t mediaType)
    {
        const std::string card = m_Player.Folder() / "card/";
        ASSERT_TRUE(WriteDemoCard(card));
        const std::string clip = card + relative;

        VantorMediaInfo info{};
        ASSERT_EQ(VantorProbe(Utf8ToWide(clip).c_str(), nullptr, 0, &info, nullptr), VANTOR_OK);
        EXPECT_EQ(info.nMediaType, mediaType);
        ASSERT_EQ(info.nVideoCount, 1u);
        ASSERT_EQ(info.nAudioCount, 1u);
        EXPECT_EQ(FourccText(info.video[0].nFourcc), "XVID");
        EXPECT_EQ(info.audio[0].nFormat, 0xFFu);

        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(m_Player.Play(clip), 1);
        ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 15000));
        const auto elapsed = std::chrono::steady_clock::now() - begin;
        ASSERT_TRUE(m_Player.WaitForState(VS_IDLE));
        EXPECT_EQ(m_Player.Status().nLastError, 0);

        // 3 s at 25 pictures a second, each once and in order.
        std::vector<int32_t> expected;
        for (int32_t t = 0; t < 3000; t += 40)
            expected.push_back(t);
        EXPECT_EQ(m_Player.Record().Presented(), expected);
        EXPECT_GE(elapsed, std::chrono::milliseconds(2700));

        // 16 kHz mono AAC: about three seconds of sound reached the device.
        const size_t bytes = ReadBytes(m_Player.SoundFile()).size();
        EXPECT_GE(bytes, 16000u * 2 * 27 / 10);
    }

    PlayerHarness m_Player{BuiltinDecoders()};
};

TEST_F(DemoCardPlaybackTest, AShortClfClipPlaysEveryPictureOnceWithSoundToItsEnd)
{
    ExpectWholePlayback("EVENT/E_20101011_134610.avi", 12);
}

// The card's MOTION clip is a RIFF AVI written by libavformat's own muxer.
TEST_F(DemoCardPlaybackTest, AnAviClipWrittenByFfmpegPlaysEveryPictureOnceWithSound)
{
    ExpectWholePlayback("MOTION/T_20101012_021800.avi", 5);
}

// A 12-second clip of the demo card's kind, small pictures to keep it quick.
std::string LongClip(const CTempFolder &folder)
{
    DemoClipSpec spec;
    spec.path = folder / "long.avi";
    spec.startUtc = 1286804700;
    spec.durationMs = 12000;
    spec.width = 160;
    spec.height = 96;
    for (int i = 0; i < 12; ++i)
        spec.textSamples.push_back("G$GPRMC,line " + std::to_string(i));
    std::string error;
    EXPECT_TRUE(WriteDemoClip(spec, &error)) << error;
    return spec.path;
}

TEST_F(DemoCardPlaybackTest, AfterASeekTo10400NoEarlierPictureIsShown)
{
    const std::vector<int32_t> presented =
        PresentedAfterSeek(m_Player, LongClip(m_Player.Folder()), 10400, true);
    ASSERT_FALSE(presented.empty());
    // The reader lands at 10.4 s between key pictures; the decoder waits for the next one.
    EXPECT_GE(presented.front(), 10400);
    EXPECT_LE(presented.front(), 11000);
    EXPECT_TRUE(std::is_sorted(presented.begin(), presented.end()));
    EXPECT_EQ(presented.back(), 11960);
}

TEST_F(DemoCardPlaybackTest, ThreeStepsFromPausedShowThreeConsecutivePictures)
{
    ExpectThreeConsecutiveSteps(m_Player, LongClip(m_Player.Folder()), 500);
}

} // namespace
