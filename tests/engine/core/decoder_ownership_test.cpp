// Every decoder the player makes goes back to the factory that made it exactly once: when the
// open closes, whether it played to the end, was seeked, stopped, opened again, or failed half
// way with a decoder already made.

#include <mutex>
#include <set>

#include <gtest/gtest.h>

#include "tests/engine/core/player_harness.h"
#include "tests/engine/play/scripted_decoders.h"

namespace {

using scripted::ClipSpec;

// The decoders alive and the destroy calls for anything not alive (a second destroy, or a
// decoder some other factory made). The status thread makes and destroys, the test reads.
struct Census
{
    std::mutex lock;
    std::set<const void *> live;
    int32_t nUnknownDestroys = 0;
    bool bVideoMade = false, bAudioMade = false, bTextMade = false;
    bool bFailVideoInit = false, bFailAudioInit = false;

    void Made(const void *decoder, bool *kindMade)
    {
        std::lock_guard<std::mutex> guard(lock);
        live.insert(decoder);
        *kindMade = true;
    }
    // True when the decoder was alive: only then is it freed.
    bool Given(const void *decoder)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (live.erase(decoder) == 1)
            return true;
        ++nUnknownDestroys;
        return false;
    }
    bool NoneLive()
    {
        std::lock_guard<std::mutex> guard(lock);
        return live.empty();
    }
};
Census g_Census;

int32_t FailingVideoInit(VideoDecoder *, const uint8_t *, uint32_t, VIDEO_STREAM_INFO *)
{
    return VANTOR_E_VIDEO_DECODER_INIT;
}
int32_t FailingAudioInit(AudioDecoder *, const uint8_t *, uint32_t, AUDIO_STREAM_INFO *)
{
    return VANTOR_E_AUDIO_DECODER_INIT;
}
const VideoDecoderOps kFailingVideoOps = {FailingVideoInit, scripted::VideoClose,
                                          scripted::VideoClassify, scripted::VideoDecode,
                                          scripted::VideoReset};
const AudioDecoderOps kFailingAudioOps = {FailingAudioInit, scripted::AudioClose,
                                          scripted::AudioDecode, scripted::AudioReset};

// A decoder the scripted factory made goes into the census.
template <class Decoder> int32_t Counted(int32_t result, Decoder *const *decoder, bool *kindMade)
{
    if (result == VANTOR_OK)
        g_Census.Made(*decoder, kindMade);
    return result;
}

// Only a decoder alive is handed on to be freed.
template <auto Destroy, class Decoder> void GiveBack(Decoder *decoder)
{
    if (g_Census.Given(decoder))
        Destroy(decoder);
}

int32_t CreateVideo(uint32_t fourcc, VideoDecoder **decoder)
{
    const int32_t result = scripted::CreateVideo(fourcc, decoder);
    if (result == VANTOR_OK && g_Census.bFailVideoInit)
        (*decoder)->pOps = &kFailingVideoOps;
    return Counted(result, decoder, &g_Census.bVideoMade);
}
int32_t CreateAudio(uint32_t format, AudioDecoder **decoder)
{
    const int32_t result = scripted::CreateAudio(format, decoder);
    if (result == VANTOR_OK && g_Census.bFailAudioInit)
        (*decoder)->pOps = &kFailingAudioOps;
    return Counted(result, decoder, &g_Census.bAudioMade);
}
int32_t CreateText(uint32_t codec, TextDecoder **decoder)
{
    return Counted(scripted::CreateText(codec, decoder), decoder, &g_Census.bTextMade);
}

const DecoderFactory kCensusFactory = {CreateVideo,         GiveBack<scripted::DestroyVideo>,
                                       CreateAudio,         GiveBack<scripted::DestroyAudio>,
                                       CreateText,          GiveBack<scripted::DestroyText>,
                                       scripted::DecodeText};

void PlayToTheEnd(PlayerHarness &player, const std::string &clip)
{
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(WaitUntil([&] { return player.Record().nEnded.load() == 1; }, 10000));
    ASSERT_TRUE(player.WaitForState(VS_IDLE));
}

void SeekThenStop(PlayerHarness &player, const std::string &clip)
{
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorSeek(player.Player(), 1000, 1), 1);
    ASSERT_TRUE(
        WaitUntil([&] { return player.Machinery()->nWorkingPosition.load() == 1000; }, 3000));
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorStop(player.Player()), 1);
}

void PauseThenStop(PlayerHarness &player, const std::string &clip)
{
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorPause(player.Player()), 1);
    ASSERT_TRUE(player.WaitForState(VS_PAUSED));
    ASSERT_EQ(VantorStop(player.Player()), 1);
}

// The first open's decoders are gone when it stops, not only when the player goes.
void StopThenPlayAgain(PlayerHarness &player, const std::string &clip)
{
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorStop(player.Player()), 1);
    ASSERT_TRUE(player.WaitForState(VS_IDLE));
    EXPECT_TRUE(g_Census.NoneLive());
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    ASSERT_EQ(VantorStop(player.Player()), 1);
}

// The player is destroyed while it plays.
void LeavePlaying(PlayerHarness &player, const std::string &clip)
{
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
}

struct OwnershipCase
{
    const char *name;
    bool text;
    bool failVideoInit, failAudioInit;
    void (*run)(PlayerHarness &player, const std::string &clip);
    bool endsIdle; // the run leaves the player idle, with the open closed
};

const OwnershipCase kOwnership[] = {
    {"played to the end", true, false, false, PlayToTheEnd, true},
    {"seeked, then stopped", true, false, false, SeekThenStop, true},
    {"paused, then stopped", false, false, false, PauseThenStop, true},
    {"stopped, then played again", true, false, false, StopThenPlayAgain, true},
    {"destroyed while playing", true, false, false, LeavePlaying, false},
    {"video decoder made but not initialised", false, true, false, SeekThenStop, true},
    {"audio decoder made but not initialised", false, false, true, SeekThenStop, true},
    {"both made but not initialised", false, true, true, PlayToTheEnd, true},
};

TEST(DecoderOwnership, EveryDecoderMadeIsDestroyedOnceByItsFactory)
{
    for (const OwnershipCase &c : kOwnership) {
        SCOPED_TRACE(c.name);
        g_Census.bVideoMade = g_Census.bAudioMade = g_Census.bTextMade = false;
        g_Census.nUnknownDestroys = 0;
        g_Census.bFailVideoInit = c.failVideoInit;
        g_Census.bFailAudioInit = c.failAudioInit;
        {
            PlayerHarness player(&kCensusFactory);
            ClipSpec spec{2000};
            spec.text = c.text;
            const std::string clip = player.Folder() / "clip.avi";
            ASSERT_EQ(scripted::WriteClip(clip, spec), VANTOR_OK);
            c.run(player, clip);
            if (c.endsIdle) {
                EXPECT_EQ(player.State(), VS_IDLE);
                EXPECT_TRUE(g_Census.NoneLive()) << "still alive after the open closed";
            }
        }
        EXPECT_TRUE(g_Census.NoneLive());
        EXPECT_EQ(g_Census.nUnknownDestroys, 0);
        // The case went through the paths it names.
        EXPECT_TRUE(g_Census.bVideoMade);
        EXPECT_TRUE(g_Census.bAudioMade);
        EXPECT_EQ(g_Census.bTextMade, c.text);
    }
}

} // namespace
