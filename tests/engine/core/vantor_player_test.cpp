// The player's commands, states and callbacks, driven through the real status thread and tasks
// with scripted decoders (tests/engine/play/scripted_decoders.h), a memory surface and SDL's
// disk sound driver.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "tests/engine/core/player_harness.h"
#include "tests/engine/play/scripted_decoders.h"
#include "tests/engine/source/avi_file_builder.h"

namespace {

using scripted::ClipSpec;

class VantorPlayerTest : public ::testing::Test
{
protected:
    std::string Clip(const std::string &name, const ClipSpec &spec)
    {
        const std::string path = m_Player.Folder() / name;
        EXPECT_EQ(scripted::WriteClip(path, spec), VANTOR_OK);
        return path;
    }

    PlayerHarness m_Player{&scripted::kFactory};
};

// The longest run of zero samples between the first and the last sound in the file.
size_t LongestSilence(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    auto first = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
    auto last = std::find_if(samples.rbegin(), samples.rend(), [](int16_t s) { return s != 0; });
    size_t longest = 0, run = 0;
    for (auto it = first; it != samples.end() && it < last.base(); ++it) {
        run = *it == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST_F(VantorPlayerTest, PlaysEveryPictureOnceInTimeOrderWithSoundAndEnds)
{
    const std::string clip = Clip("clip.avi", ClipSpec{});
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 10000));
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(m_Player.WaitForState(VS_IDLE));

    std::vector<int32_t> expected;
    for (int32_t t = 0; t < 2000; t += 40)
        expected.push_back(t);
    EXPECT_EQ(m_Player.Record().Presented(), expected);
    // No picture is put up before the clock reaches it.
    const std::vector<int32_t> dueBy = m_Player.Record().DueBy();
    ASSERT_FALSE(dueBy.empty());
    EXPECT_GE(*std::min_element(dueBy.begin(), dueBy.end()), 0);
    EXPECT_EQ(m_Player.Record().nStarted.load(), 1);
    EXPECT_GT(m_Player.Record().nStatus.load(), 10);
    // The clock set the pace: two seconds of media take about two seconds.
    EXPECT_GE(elapsed, std::chrono::milliseconds(1800));
    EXPECT_LT(elapsed, std::chrono::milliseconds(6000));

    // Two seconds of 8 kHz mono sound, without gaps.
    const std::vector<uint8_t> sound = ReadBytes(m_Player.SoundFile());
    EXPECT_GE(sound.size(), 2u * 8000 * 2 * 8 / 10);
    EXPECT_LT(LongestSilence(sound), 80u);
    EXPECT_EQ(m_Player.Status().nLastError, 0);
}

// The sync record a soak run reads: filled while the clip plays with sound, close to the sound
// heard, still while paused; nothing for no player.
TEST_F(VantorPlayerTest, SyncRecordComparesPresentedPicturesWithTheSoundHeard)
{
    VantorAvSync sync{};
    EXPECT_EQ(VantorGetAvSync(nullptr, &sync), 0);
    EXPECT_EQ(VantorGetAvSync(m_Player.Player(), nullptr), 0);
    ASSERT_EQ(VantorGetAvSync(m_Player.Player(), &sync), 1);
    EXPECT_EQ(sync.nCount, 0u);

    const std::string clip = Clip("clip.avi", ClipSpec{4000});
    ASSERT_EQ(m_Player.Play(clip), 1);
    VantorPlayer *player = m_Player.Player();
    ASSERT_TRUE(WaitUntil(
        [&] {
            VantorGetAvSync(player, &sync);
            return sync.nCount >= 10;
        },
        5000));
    EXPECT_LT(std::abs(sync.nPictureMs - sync.nHeardMs), 200)
        << sync.nPictureMs << " " << sync.nHeardMs;

    ASSERT_EQ(VantorPause(player), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    ASSERT_EQ(VantorGetAvSync(player, &sync), 1);
    const uint32_t paused = sync.nCount;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(VantorGetAvSync(player, &sync), 1);
    EXPECT_EQ(sync.nCount, paused);
    EXPECT_EQ(VantorStop(player), 1);
}

TEST_F(VantorPlayerTest, CommandsAreTakenOnlyInTheirStates)
{
    const std::string clip = Clip("clip.avi", ClipSpec{4000});
    VantorPlayer *player = m_Player.Player();
    EXPECT_EQ(VantorStop(player), 0); // idle: nothing to stop, at once
    EXPECT_EQ(VantorPause(player), 0);

    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(VantorResume(player), 0);
    EXPECT_EQ(VantorTrick(player, 0, 4), 0); // a step needs a pause first
    ASSERT_EQ(VantorPause(player), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    EXPECT_EQ(VantorPause(player), 0);
    // Paused: a new open is refused and nothing changes.
    EXPECT_EQ(m_Player.Play(clip), 0);
    EXPECT_EQ(m_Player.State(), VS_PAUSED);
    EXPECT_EQ(m_Player.Record().nStarted.load(), 1);

    ASSERT_EQ(VantorResume(player), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    // Playing: the current playback is stopped and the clip opened again.
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nStarted.load() == 2; }, 5000));
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(m_Player.Record().nEnded.load(), 0);

    EXPECT_EQ(VantorStop(player), 1);
    EXPECT_EQ(m_Player.State(), VS_IDLE);
    EXPECT_EQ(m_Player.Record().nEnded.load(), 0); // a stop is not an end
    EXPECT_EQ(VantorStop(player), 0);
}

TEST(VantorPlayerNull, EveryOperationOnNoPlayerReturnsZero)
{
    VantorStatus status{};
    VantorAudioParams audio{};
    VantorVideoOutConfig video{};
    uint8_t buffer[8];
    int32_t length = 8;
    uint32_t time = 0;
    const VantorOpenParams params{L"/nowhere", nullptr, 0, 0, 0, 0, nullptr, 0};
    EXPECT_EQ(VantorPlay(nullptr, &params), 0);
    EXPECT_EQ(VantorStop(nullptr), 0);
    EXPECT_EQ(VantorPause(nullptr), 0);
    EXPECT_EQ(VantorResume(nullptr), 0);
    EXPECT_EQ(VantorSeek(nullptr, 0, 0), 0);
    EXPECT_EQ(VantorTrick(nullptr, 0, 1), 0);
    EXPECT_EQ(VantorSetSpeed(nullptr, 100), 0);
    EXPECT_EQ(VantorSetAudioParams(nullptr, &audio), 0);
    EXPECT_EQ(VantorSetVideoOut(nullptr, 0, &video), 0);
    EXPECT_EQ(VantorGetStatus(nullptr, &status), 0);
    EXPECT_EQ(VantorReadText(nullptr, buffer, &length, &time), 0);
    VantorDestroy(nullptr);
}

TEST_F(VantorPlayerTest, OutOfRangeArgumentsAreRefused)
{
    VantorVideoOutConfig video{};
    EXPECT_EQ(VantorSetVideoOut(m_Player.Player(), 2, &video), 0);
    EXPECT_EQ(VantorSetVideoOut(m_Player.Player(), -1, &video), 0);
    const VantorOpenParams noLocator{};
    EXPECT_EQ(VantorPlay(m_Player.Player(), &noLocator), 0);
    EXPECT_EQ(m_Player.State(), VS_IDLE);
    EXPECT_EQ(VantorSetSpeed(m_Player.Player(), 50), 1); // nothing open: nothing to change
}

TEST_F(VantorPlayerTest, AFailedOpenEndsWithItsCode)
{
    ASSERT_EQ(m_Player.Play(m_Player.Folder() / "missing.avi"), 1);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 5000));
    ASSERT_TRUE(m_Player.WaitForState(VS_IDLE));
    EXPECT_EQ(m_Player.Status().nLastError, VANTOR_E_FILE_NOT_FOUND);
    EXPECT_EQ(m_Player.Record().nStarted.load(), 0);
}

// Opens that cannot play end with their own code, never with 0.
TEST_F(VantorPlayerTest, AnOpenThatCannotPlayEndsWithItsCode)
{
    ClipSpec textOnly{2000};
    textOnly.video = textOnly.audio = false;
    textOnly.text = true;
    // Without an index the clip cannot be positioned anywhere but at its start.
    AviLayout layout;
    layout.bIdx1 = false;
    layout.streams = {VideoStream(1, 25, 50)};
    for (uint32_t i = 0; i < 50; ++i)
        layout.chunks.push_back({0, "dc", 5, true});
    const std::string unindexed = m_Player.Folder() / "unindexed.avi";
    WriteBytes(unindexed, BuildAvi(layout).bytes);
    struct Case
    {
        const char *name;
        std::string clip;
        uint32_t startMs;
        int32_t error;
    };
    const Case cases[] = {
        {"no audio or video stream", Clip("text.avi", textOnly), 0, VANTOR_E_UNSUPPORTED_FILE},
        {"a start position the clip cannot reach", unindexed, 1000, VANTOR_E_RANDOM_ACCESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_Player.Record().Clear();
        const int ended = m_Player.Record().nEnded.load();
        ASSERT_EQ(m_Player.Play(c.clip, 0, 0, c.startMs), 1);
        ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == ended + 1; }, 5000));
        ASSERT_TRUE(m_Player.WaitForState(VS_IDLE));
        EXPECT_EQ(m_Player.Status().nLastError, c.error);
        EXPECT_EQ(m_Player.Record().nStarted.load(), 0);
    }
}

// The device output of a slot that cannot open (here: no window) is the failed video output,
// whatever the renderer noted; the sound plays on.
TEST_F(VantorPlayerTest, AVideoOutputThatCannotOpenIsReportedAsTheOutputError)
{
    VantorVideoOutConfig config{};
    config.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW;
    config.dwOutputType = VIDEO_OUT_TYPE_OEM;
    config.pWindow = nullptr;
    VantorSetVideoOut(m_Player.Player(), 0, &config);
    ASSERT_EQ(m_Player.Play(Clip("clip.avi", ClipSpec{1000})), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(m_Player.Status().nLastError, VANTOR_E_VIDEO_OUTPUT_INIT);
    EXPECT_TRUE(m_Player.Record().Presented().empty());
    EXPECT_EQ(VantorStop(m_Player.Player()), 1);
}

// A text decoder that cannot be made drops the text for the open: reported once, not again at
// the Start after every seek.
TEST_F(VantorPlayerTest, AFailedTextDecoderIsReportedOnce)
{
    ClipSpec spec{2000};
    spec.text = true;
    std::memcpy(spec.textCodec, "XXXX", 5);
    ASSERT_EQ(m_Player.Play(Clip("clip.avi", spec)), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(m_Player.Status().nLastError, VANTOR_E_TEXT_DECODER_INIT);
    ASSERT_EQ(VantorSeek(m_Player.Player(), 1000, 1), 1);
    // The seek sets the working position after both tasks stood still; the video task may
    // leave Seeking again sooner than a poll of its state would see.
    ASSERT_TRUE(
        WaitUntil([&] { return m_Player.Machinery()->nWorkingPosition.load() == 1000; }, 3000));
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(m_Player.Status().nLastError, 0);
    EXPECT_EQ(VantorStop(m_Player.Player()), 1);
}

struct EndCase
{
    const char *name;
    int32_t pauseAtEnd, rewindAtEnd;
    int32_t lowestPosition, highestPosition;
};

TEST_F(VantorPlayerTest, PauseOrRewindAtTheEndLeavesThePlayerPaused)
{
    const EndCase cases[] = {
        {"pause at end", 1, 0, 900, 1000},
        {"rewind at end", 0, 1, 0, 100},
    };
    const std::string clip = Clip("clip.avi", ClipSpec{1000});
    for (const EndCase &c : cases) {
        SCOPED_TRACE(c.name);
        m_Player.Record().Clear();
        ASSERT_EQ(m_Player.Play(clip, c.pauseAtEnd, c.rewindAtEnd), 1);
        ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
        ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED, 6000));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(m_Player.State(), VS_PAUSED);
        const VantorStatus status = m_Player.Status();
        EXPECT_GE(static_cast<int32_t>(status.nPosition), c.lowestPosition);
        EXPECT_LE(static_cast<int32_t>(status.nPosition), c.highestPosition);
        const std::vector<int32_t> presented = m_Player.Record().Presented();
        ASSERT_FALSE(presented.empty());
        EXPECT_EQ(presented.back(), c.pauseAtEnd ? 960 : presented.back());
        if (c.pauseAtEnd) {
            // The last picture stays on screen.
            const std::vector<int32_t> again = m_Player.Record().ShownAgain();
            ASSERT_FALSE(again.empty());
            EXPECT_EQ(again.back(), 960);
        }
        EXPECT_EQ(m_Player.Record().nEnded.load(), 0);
        ASSERT_EQ(VantorStop(m_Player.Player()), 1);
    }
}

TEST_F(VantorPlayerTest, AnUnsupportedVideoCodecPlaysTheSoundAndReportsItOnce)
{
    ClipSpec spec{1000};
    spec.videoFourcc = scripted::kUnknownFourcc;
    const std::string clip = Clip("clip.avi", spec);
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    EXPECT_EQ(m_Player.Status().nLastError, VANTOR_E_UNSUPPORTED_VIDEO);
    EXPECT_EQ(m_Player.Status().nLastError, 0);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 6000));
    EXPECT_TRUE(m_Player.Record().Presented().empty());
    EXPECT_GE(ReadBytes(m_Player.SoundFile()).size(), 8000u * 2 * 8 / 10);
    EXPECT_EQ(VantorTrick(m_Player.Player(), 0, 3), 0); // no video to resynchronise
}

struct TextRead
{
    int32_t size;
    bool nullBuffer, nullTime;
    int32_t result;
    int32_t length; // out
    const char *text;
};

TEST_F(VantorPlayerTest, ReadTextAnswersWithTheReadersCodes)
{
    ClipSpec spec{2000};
    spec.text = true;
    const std::string withText = Clip("text.avi", spec);
    const std::string withoutText = Clip("plain.avi", ClipSpec{1000});
    const TextRead reads[] = {
        {0, false, false, VANTOR_E_INVALID_ARG, 0, ""},
        {16, true, false, VANTOR_E_INVALID_ARG, 16, ""},
        {16, false, true, VANTOR_E_INVALID_ARG, 16, ""},
        {3, false, false, VANTOR_E_BUFFER_TOO_SMALL, 6, ""}, // the size it needs
        {16, false, false, VANTOR_OK, 6, "line 0"},          // the same sample again
        {16, false, false, VANTOR_OK, 6, "line 1"},
        {16, false, false, VANTOR_E_END_OF_STREAM, 16, ""},
    };
    std::vector<std::string> failures;
    VantorPlayer *player = m_Player.Player();
    m_Player.Record().onStarted = [&] {
        for (const TextRead &r : reads) {
            uint8_t buffer[16] = {};
            int32_t length = r.size;
            uint32_t time = 0;
            const int32_t result = VantorReadText(player, r.nullBuffer ? nullptr : buffer, &length,
                                                  r.nullTime ? nullptr : &time);
            const std::string text(reinterpret_cast<char *>(buffer), result == 0 ? length : 0);
            if (result != r.result || length != r.length || text != r.text)
                failures.push_back(std::to_string(result) + " " + std::to_string(length) + " " +
                                   text);
        }
    };
    ASSERT_EQ(m_Player.Play(withText), 1);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nStarted.load() == 1; }, 5000));
    EXPECT_TRUE(failures.empty()) << failures.front();
    ASSERT_EQ(VantorStop(player), 1);

    int32_t noStream = 0;
    m_Player.Record().onStarted = [&] {
        uint8_t buffer[16];
        int32_t length = 16;
        uint32_t time = 0;
        noStream = VantorReadText(player, buffer, &length, &time);
    };
    ASSERT_EQ(m_Player.Play(withoutText), 1);
    ASSERT_TRUE(WaitUntil([&] { return m_Player.Record().nStarted.load() == 2; }, 5000));
    EXPECT_EQ(noStream, VANTOR_E_NO_STREAM);
}

TEST_F(VantorPlayerTest, ASeekBeyondTheEndGoesNoFurtherThanTheDuration)
{
    const std::string clip = Clip("clip.avi", ClipSpec{2000});
    ASSERT_EQ(m_Player.Play(clip), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorPause(m_Player.Player()), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    ASSERT_EQ(VantorSeek(m_Player.Player(), 0xFFFFFFF0u, 1), 1);
    ASSERT_TRUE(m_Player.WaitForState(VS_PAUSED));
    EXPECT_LE(m_Player.Status().nPosition, 2000u);
    // Still playable afterwards, to its end.
    ASSERT_EQ(VantorResume(m_Player.Player()), 1);
    EXPECT_TRUE(WaitUntil([&] { return m_Player.Record().nEnded.load() == 1; }, 6000));
}

TEST_F(VantorPlayerTest, AfterASeekNoEarlierPictureIsShown)
{
    ClipSpec spec{12000};
    spec.keyEveryPictures = 1;
    const std::vector<int32_t> presented =
        PresentedAfterSeek(m_Player, Clip("long.avi", spec), 10400, false);
    ASSERT_GE(presented.size(), 5u);
    EXPECT_EQ(presented.front(), 10400);
    EXPECT_TRUE(std::is_sorted(presented.begin(), presented.end()));
    EXPECT_GE(m_Player.Status().nPosition, 10400u);
}

TEST_F(VantorPlayerTest, ThreeStepsFromPausedShowThreeConsecutivePictures)
{
    ExpectThreeConsecutiveSteps(m_Player, Clip("clip.avi", ClipSpec{3000}), 300);
}

} // namespace
