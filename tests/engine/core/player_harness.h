#pragma once

// A player wired to a memory surface and SDL's disk sound driver, with what its callbacks and
// its presentations did recorded for the tests.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_player_internal.h"
#include "engine/output/memory_surface.h"
#include "platform/wide_text.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"

struct PlayerRecord
{
    std::atomic<int> nStarted{0};
    std::atomic<int> nEnded{0};
    std::atomic<int> nStatus{0};
    std::mutex lock;
    std::vector<int32_t> presented;  // pictures presented in their turn; guarded by lock
    std::vector<int32_t> shownAgain; // forced presentations, each new time once; guarded by lock
    // Clock minus picture time at each presentation in turn (negative: shown early); guarded
    // by lock.
    std::vector<int32_t> dueBy;
    std::vector<int32_t> workingAt;  // the working position at each of those; guarded by lock
    Playback *pPlayback = nullptr;   // whose clock the presentations are compared with
    std::function<void()> onStarted; // runs on the status thread

    std::vector<int32_t> Presented()
    {
        std::lock_guard<std::mutex> guard(lock);
        return presented;
    }
    std::vector<int32_t> ShownAgain()
    {
        std::lock_guard<std::mutex> guard(lock);
        return shownAgain;
    }
    std::vector<int32_t> DueBy()
    {
        std::lock_guard<std::mutex> guard(lock);
        return dueBy;
    }
    // The pictures presented in their turn while the working position was workingMs.
    std::vector<int32_t> PresentedAt(int32_t workingMs)
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<int32_t> at;
        for (size_t i = 0; i < presented.size(); ++i)
            if (workingAt[i] == workingMs)
                at.push_back(presented[i]);
        return at;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        presented.clear();
        shownAgain.clear();
        dueBy.clear();
        workingAt.clear();
    }
};

class PlayerHarness
{
public:
    explicit PlayerHarness(const DecoderFactory *decoders) : m_Surface(64, 32, {MakeFourcc("I420")})
    {
        m_strSound = m_Folder / "sound.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_strSound.c_str(), 1);
        VantorCallbacks callbacks{};
        callbacks.pfnStarted = [](void *user) {
            auto *record = static_cast<PlayerRecord *>(user);
            if (record->onStarted)
                record->onStarted();
            ++record->nStarted;
        };
        callbacks.pfnEnded = [](void *user) { ++static_cast<PlayerRecord *>(user)->nEnded; };
        callbacks.pfnStatus = [](void *user) { ++static_cast<PlayerRecord *>(user)->nStatus; };
        callbacks.pUserData = &m_Record;
        m_pPlayer = VantorCreateWithDecoders(&callbacks, decoders);
        Playback *pb = VantorPlayback(m_pPlayer);
        m_Record.pPlayback = pb;
        pb->pPresentedContext = &m_Record;
        pb->pfnPresented = [](void *context, int32_t, int32_t pictureMs, bool forced) {
            auto *record = static_cast<PlayerRecord *>(context);
            // The clock takes no lock; the callback runs on the video task while it plays.
            const int32_t clockMs = forced ? 0 : record->pPlayback->clock->Position();
            const int32_t working = record->pPlayback->nWorkingPosition.load();
            std::lock_guard<std::mutex> guard(record->lock);
            if (!forced) {
                record->presented.push_back(pictureMs);
                record->dueBy.push_back(clockMs - pictureMs);
                record->workingAt.push_back(working);
            } else if (record->shownAgain.empty() || record->shownAgain.back() != pictureMs)
                record->shownAgain.push_back(pictureMs);
        };
        VantorVideoOutConfig config{};
        config.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW;
        config.dwOutputType = VIDEO_OUT_TYPE_OEM;
        config.pWindow = &m_Surface;
        config.nWidth = 64;
        config.nHeight = 32;
        VantorSetVideoOut(m_pPlayer, 0, &config);
        VantorAudioParams audio{};
        audio.dwMask = VANTOR_AUDIO_OUTPUT_TYPE | VANTOR_AUDIO_VOLUME;
        audio.nOutputType = VANTOR_AUDIO_OUT_DSOUND;
        audio.dwVolume = 0xFFFFFFFFu;
        VantorSetAudioParams(m_pPlayer, &audio);
    }
    ~PlayerHarness() { VantorDestroy(m_pPlayer); }
    PlayerHarness(const PlayerHarness &) = delete;
    PlayerHarness &operator=(const PlayerHarness &) = delete;

    VantorPlayer *Player() { return m_pPlayer; }
    Playback *Machinery() { return VantorPlayback(m_pPlayer); }
    PlayerRecord &Record() { return m_Record; }
    const CTempFolder &Folder() const { return m_Folder; }
    const std::string &SoundFile() const { return m_strSound; }

    int32_t Play(const std::string &path, int32_t pauseAtEnd = 0, int32_t rewindAtEnd = 0,
                 uint32_t startMs = 0)
    {
        m_Locator = Utf8ToWide(path);
        VantorOpenParams params{};
        params.szLocator = m_Locator.c_str();
        params.nStartPosition = startMs;
        params.bPauseAtEnd = pauseAtEnd;
        params.bRewindAtEnd = rewindAtEnd;
        return VantorPlay(m_pPlayer, &params);
    }

    VantorStatus Status()
    {
        VantorStatus status{};
        VantorGetStatus(m_pPlayer, &status);
        return status;
    }
    int32_t State()
    {
        // Reading the status clears the last error; the state alone comes from the mirror.
        return Machinery()->nState.load();
    }
    bool WaitForState(int32_t state, int timeoutMs = 5000)
    {
        return WaitUntil([&] { return State() == state; }, timeoutMs);
    }

private:
    CTempFolder m_Folder;
    std::string m_strSound;
    MemorySurface m_Surface;
    PlayerRecord m_Record;
    VantorPlayer *m_pPlayer = nullptr;
    std::wstring m_Locator;
};

// Plays the clip, seeks to targetMs and returns what was presented once the seek had set the
// working position (both tasks stood still by then): until the end of the clip (untilEnd) or
// for half a second.
inline std::vector<int32_t> PresentedAfterSeek(PlayerHarness &player, const std::string &clip,
                                               uint32_t targetMs, bool untilEnd)
{
    EXPECT_EQ(player.Play(clip), 1);
    EXPECT_TRUE(player.WaitForState(VS_PLAYING));
    EXPECT_EQ(VantorSeek(player.Player(), targetMs, 1), 1);
    EXPECT_TRUE(WaitUntil(
        [&] { return player.Machinery()->nWorkingPosition.load() == int32_t(targetMs); }, 3000));
    EXPECT_TRUE(player.WaitForState(VS_PLAYING));
    if (untilEnd)
        EXPECT_TRUE(WaitUntil([&] { return player.Record().nEnded.load() == 1; }, 8000));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return player.Record().PresentedAt(int32_t(targetMs));
}

// Plays the clip for playMs, pauses and steps three times: the three pictures that follow the
// paused one are shown in turn and the clock stands at the third.
inline void ExpectThreeConsecutiveSteps(PlayerHarness &player, const std::string &clip, int playMs)
{
    VantorPlayer *vantor = player.Player();
    ASSERT_EQ(player.Play(clip), 1);
    ASSERT_TRUE(player.WaitForState(VS_PLAYING));
    std::this_thread::sleep_for(std::chrono::milliseconds(playMs));
    ASSERT_EQ(VantorPause(vantor), 1);
    ASSERT_TRUE(player.WaitForState(VS_PAUSED));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<int32_t> before = player.Record().ShownAgain();
    ASSERT_FALSE(before.empty());
    const int32_t paused = before.back();
    for (int step = 0; step < 3; ++step) {
        ASSERT_EQ(VantorTrick(vantor, 0, 4), 1);
        ASSERT_TRUE(player.WaitForState(VS_PAUSED));
    }
    std::vector<int32_t> shown = player.Record().ShownAgain();
    shown.erase(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(before.size()));
    EXPECT_EQ(shown, (std::vector<int32_t>{paused + 40, paused + 80, paused + 120}));
    EXPECT_EQ(player.State(), VS_PAUSED);
    EXPECT_EQ(static_cast<int32_t>(player.Status().nPosition), paused + 120);
}
