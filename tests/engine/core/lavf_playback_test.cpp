// The whole engine with its built-in decoders on clips of other containers, from files and over
// HTTP from a local server.

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/engine/core/player_harness.h"
#include "tests/engine/source/lavf_clips.h"
#include "tests/support/local_http_server.h"

namespace {

// Presentation times of the clip's pictures, in the order they are shown.
std::vector<int32_t> PictureTimes(const std::string &path)
{
    std::vector<int32_t> times;
    for (const DemuxedPacket &p : DemuxPackets(path, AVMEDIA_TYPE_VIDEO))
        times.push_back(static_cast<int32_t>(p.ms));
    std::sort(times.begin(), times.end());
    return times;
}

class LavfPlayback : public ::testing::Test
{
protected:
    std::string Clip(const char *name, const char *arguments)
    {
        const std::string path = m_Player.Folder() / name;
        EXPECT_TRUE(MakeClip(path, arguments)) << name;
        return path;
    }
    // Plays the locator to its end, recording afresh; the last error the status reports on the
    // way.
    int32_t PlayToTheEnd(const std::string &locator, std::vector<VantorStatus> *statuses = nullptr)
    {
        m_Player.Record().Clear();
        m_Player.Record().nEnded = 0;
        int32_t lastError = 0;
        EXPECT_EQ(m_Player.Play(locator), 1);
        const bool ended = WaitUntil(
            [&] {
                const VantorStatus status = m_Player.Status();
                if (status.nLastError)
                    lastError = status.nLastError;
                if (statuses && status.nState != VS_IDLE)
                    statuses->push_back(status);
                return m_Player.Record().nEnded.load() == 1;
            },
            20000);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(m_Player.WaitForState(VS_IDLE));
        const VantorStatus status = m_Player.Status();
        return status.nLastError ? status.nLastError : lastError;
    }

    PlayerHarness m_Player{BuiltinDecoders()};
};

TEST_F(LavfPlayback, Mp4AndTransportStreamClipsShowEveryPictureOnce)
{
    const char *const clips[][2] = {
        {"clip.mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mp4"},
        {"clip.ts",
         "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mpegts"},
    };
    for (const auto &row : clips) {
        SCOPED_TRACE(row[0]);
        const std::string clip = Clip(row[0], row[1]);
        EXPECT_EQ(PlayToTheEnd(clip), 0);
        const std::vector<int32_t> expected = PictureTimes(clip);
        ASSERT_EQ(expected.size(), 50u);
        EXPECT_EQ(m_Player.Record().Presented(), expected);
    }
}

// Sound the decoders do not know: with video the pictures play and the code is reported; a
// WAVE file, which has nothing else, ends with it.
TEST_F(LavfPlayback, AnUnknownSoundFormatIsReportedAsDesigned)
{
    const std::string mp3 =
        Clip("mp3.mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a libmp3lame -f mp4");
    EXPECT_EQ(PlayToTheEnd(mp3), VANTOR_E_UNSUPPORTED_AUDIO);
    EXPECT_EQ(m_Player.Record().Presented(), PictureTimes(mp3));

    const std::string wave = Clip("pcm.wav", "-vn -c:a pcm_s16le -f wav");
    EXPECT_EQ(PlayToTheEnd(wave), VANTOR_E_UNSUPPORTED_AUDIO);
    EXPECT_TRUE(m_Player.Record().Presented().empty());
}

// Over a link of 15 kB a second, half the speed the clip plays at, the player reads up to the
// download and waits for it; the status words rise from below 100 to 100.
TEST_F(LavfPlayback, OverHttpTheBufferingWordsRiseTo100)
{
    const std::string clip =
        Clip("clip.ts", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -c:a aac -f mpegts");
    LocalHttpServer server;
    ASSERT_TRUE(server.Start(m_Player.Folder().Path(), 15000));
    std::vector<VantorStatus> statuses;
    EXPECT_EQ(PlayToTheEnd(server.Url("clip.ts"), &statuses), 0);
    EXPECT_EQ(m_Player.Record().Presented(), PictureTimes(clip));

    std::vector<uint32_t> fills, downloads;
    for (const VantorStatus &s : statuses) {
        // From the open source's first report to the end of the media (closing leaves 0).
        if (s.nState >= VS_BUFFER_START && s.nState != VS_ENDING && s.nState != VS_STOPPING) {
            fills.push_back(s.nBufferFill);
            downloads.push_back(s.nDownload);
        }
    }
    ASSERT_FALSE(fills.empty());
    EXPECT_LT(*std::min_element(fills.begin(), fills.end()), 100u);
    EXPECT_LT(downloads.front(), 100u);
    EXPECT_EQ(fills.back(), 100u);
    EXPECT_EQ(downloads.back(), 100u);
    EXPECT_TRUE(std::is_sorted(downloads.begin(), downloads.end()));
}

} // namespace
