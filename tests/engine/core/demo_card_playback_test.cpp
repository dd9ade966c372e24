// The whole engine with its built-in decoders on the demo card's clips (MPEG-4 video, AAC
// sound, GPS text): playback paced by the sound device, seeking and frame steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>

#include "tests/engine/core/player_harness.h"
#include "tools/mkcard/demo_clip.h"

namespace {

class DemoCardPlaybackTest : public ::testing::Test
{
protected:
    PlayerHarness m_Player{BuiltinDecoders()};
};

TEST_F(DemoCardPlaybackTest, AShortClipPlaysEveryPictureOnceWithSoundToItsEnd)
{
    const std::string card = m_Player.Folder() / "card/";
    const std::string command = std::string(ROADLOG_MKCARD) + " --short '" + card + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string clip = card + "EVENT/E_20101011_134610.avi";

    VantorMediaInfo info{};
    ASSERT_EQ(VantorProbe(Utf8ToWide(clip).c_str(), nullptr, 0, &info, nullptr), VANTOR_OK);
    ASSERT_EQ(info.nVideoCount, 1u);
    ASSERT_EQ(info.nAudioCount, 1u);
    EXPECT_EQ(info.nTextCount, 1u);
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
    const std::string clip = LongClip(m_Player.Folder());
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorSeek(m_Player.Player(), 10400, 1), 1);
    ASSERT_TRUE(WaitUntil(
        [&] { return m_Player.Machinery()->nVideoSeen.load() == VS_SEEKING; }, 3000));
    m_Player.Record().Clear();
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 8000));
    const std::vector<int32_t> presented = m_Player.Record().Presented();
    ASSERT_FALSE(presented.empty());
    EXPECT_GE(presented.front(), 10400);
    EXPECT_TRUE(std::is_sorted(presented.begin(), presented.end()));
    EXPECT_EQ(presented.back(), 11960);
}

TEST_F(DemoCardPlaybackTest, ThreeStepsFromPausedShowThreeConsecutivePictures)
{
    const std::string clip = LongClip(m_Player.Folder());
    VantorPlayer *player = m_Player.Player();
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(VantorPause(player), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<int32_t> before = m_Player.Record().ShownAgain();
    ASSERT_FALSE(before.empty());
    const int32_t paused = before.back();
    for (int step = 0; step < 3; ++step) {
        ASSERT_EQ(VantorTrick(player, 0, 4), 1);
        ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    }
    std::vector<int32_t> shown = m_Player.Record().ShownAgain();
    shown.erase(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(before.size()));
    EXPECT_EQ(shown, (std::vector<int32_t>{paused + 40, paused + 80, paused + 120}));
    EXPECT_EQ(static_cast<int32_t>(m_Player.Status().nPosition), paused + 120);
}

} // namespace
