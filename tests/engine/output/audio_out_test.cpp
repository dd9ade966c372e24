#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "engine/output/audio_out.h"
#include "tests/engine/output/recording_clock.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct RetireCase
{
    const char *name;
    std::vector<uint32_t> entries; // frames of the blocks pushed, times 100, 200, ...
    uint32_t nFrames;              // frames played
    std::vector<int32_t> synced;   // times reported
    std::vector<uint32_t> left;    // frames of the entries left
    uint32_t nPlayedOfOldest;      // frames of the entry left oldest this call played
};

const RetireCase kRetire[] = {
    {"two whole blocks and part of the third", {1024, 1024, 2048}, 2205, {200, 300}, {1891}, 157},
    {"part of the first block", {1024, 1024}, 1000, {}, {24, 1024}, 1000},
    {"exactly the first block", {1024, 1024}, 1024, {200}, {1024}, 0},
    {"0 means the whole first block", {1024, 512}, 0, {200}, {512}, 0},
    {"more than everything: the last retirement reports nothing", {100, 100}, 5000, {200}, {}, 0},
};

TEST(AudioRing, RetiresPlayedFramesAndReportsTheNextBlocksTime)
{
    for (const RetireCase &c : kRetire) {
        SCOPED_TRACE(c.name);
        AudioRing ring;
        AudioRingClear(&ring);
        for (size_t i = 0; i < c.entries.size(); ++i)
            ASSERT_TRUE(AudioRingPush(&ring, c.entries[i], static_cast<int32_t>(100 * (i + 1))));
        std::vector<int32_t> synced;
        EXPECT_EQ(AudioRingRetire(
                      &ring, c.nFrames,
                      [](void *context, int32_t t) {
                          static_cast<std::vector<int32_t> *>(context)->push_back(t);
                      },
                      &synced),
                  c.nPlayedOfOldest);
        EXPECT_EQ(synced, c.synced);
        std::vector<uint32_t> left;
        for (int32_t i = 0; i < ring.nCount; ++i)
            left.push_back(ring.entries[(ring.nRead + i) % AUDIO_RING_ENTRIES].nFrames);
        EXPECT_EQ(left, c.left);
    }
}

TEST(AudioHeardTime, IsTheBlocksTimePlusWhatWasTakenLessWhatTheDeviceStillHolds)
{
    struct Case
    {
        int32_t entryMs;
        uint32_t played, delay;
        int32_t rate, speed, heardMs;
    };
    const Case cases[] = {
        {1000, 0, 0, 48000, 100, 1000},     // the block has just begun, nothing held
        {1000, 480, 0, 48000, 100, 1010},   // 10 ms of it taken
        {1000, 480, 1024, 48000, 100, 989}, // two 512-frame buffers still to be heard
        {1000, 0, 1024, 48000, 150, 968},   // at 150 % those buffers hold 32 ms of the clip
        {1000, 0, 1024, 48000, 50, 990},    // at 50 % only 10 ms
        {40, 0, 2048, 44100, 100, -6},      // before the clip's start: the clock may wait
        {1000, 157, 0, 44100, 100, 1003},
        {1000, 500, 500, 0, 100, 1000}, // no rate: the block's own time
    };
    for (const Case &c : cases)
        EXPECT_EQ(AudioHeardTime(c.entryMs, c.played, c.delay, c.rate, c.speed), c.heardMs)
            << c.entryMs << " " << c.played << " " << c.delay << " " << c.rate << " " << c.speed;
}

TEST(AudioRing, HoldsAHundredBlocksAndWraps)
{
    AudioRing ring;
    AudioRingClear(&ring);
    for (int i = 0; i < AUDIO_RING_ENTRIES; ++i)
        ASSERT_TRUE(AudioRingPush(&ring, 10, i + 1));
    EXPECT_FALSE(AudioRingPush(&ring, 10, 999));
    std::vector<int32_t> synced;
    auto record = [](void *context, int32_t t) {
        static_cast<std::vector<int32_t> *>(context)->push_back(t);
    };
    AudioRingRetire(&ring, 30, record, &synced);
    EXPECT_EQ(synced, (std::vector<int32_t>{2, 3, 4}));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(AudioRingPush(&ring, 10, 1000 + i));
    synced.clear();
    AudioRingRetire(&ring, 10 * 97, record, &synced);
    EXPECT_EQ(synced.back(), 1000) << "the entries written after the wrap come next";
    EXPECT_EQ(ring.nCount, 3);
}

// A device whose room and calls the test controls.
struct ScriptedDevice
{
    AudioOut *pOut = nullptr;
    std::mutex lock;
    uint32_t nCapacity = 4000; // bytes; guarded by lock
    uint32_t nQueued = 0;      // guarded by lock
    int nFlushes = 0, nPauses = 0, nRestarts = 0;
    int32_t nSpeedAsked = 0;
    bool bRefuseSpeed = false;
    uint32_t dwVolume = 0;
    int32_t nMute = -1;
    std::vector<int16_t> written;
    bool bClosed = false;

    void Free(uint32_t nBytes)
    {
        std::lock_guard<std::mutex> guard(lock);
        nQueued -= nBytes;
    }
};

ScriptedDevice *g_pNextDevice = nullptr;

ScriptedDevice *Scripted(void *device)
{
    return static_cast<ScriptedDevice *>(device);
}

AudioDeviceOps ScriptedOps(bool bWithMute)
{
    AudioDeviceOps ops{};
    ops.Open = [](AudioOut *out, void **device) {
        g_pNextDevice->pOut = out;
        *device = g_pNextDevice;
        return VANTOR_OK;
    };
    ops.Close = [](void *device) { Scripted(device)->bClosed = true; };
    ops.FreeSpace = [](void *device) {
        std::lock_guard<std::mutex> guard(Scripted(device)->lock);
        return Scripted(device)->nCapacity - Scripted(device)->nQueued;
    };
    ops.Write = [](void *device, const AudioPcmBlock *block, int32_t nInChannels) {
        ScriptedDevice *d = Scripted(device);
        const int32_t channels = d->pOut->nOutputChannels;
        std::vector<int16_t> frames(static_cast<size_t>(block->nFrames) * channels);
        AudioConvertFrames(*block, 0, block->nFrames, nInChannels, channels, frames.data());
        std::lock_guard<std::mutex> guard(d->lock);
        d->written.insert(d->written.end(), frames.begin(), frames.end());
        d->nQueued += static_cast<uint32_t>(frames.size() * 2);
    };
    ops.Pause = [](void *device) { ++Scripted(device)->nPauses; };
    ops.Restart = [](void *device) { ++Scripted(device)->nRestarts; };
    ops.Flush = [](void *device) {
        ScriptedDevice *d = Scripted(device);
        std::lock_guard<std::mutex> guard(d->lock);
        ++d->nFlushes;
        d->nQueued = 0;
    };
    ops.SetSpeed = [](void *device, int32_t nPercent) {
        Scripted(device)->nSpeedAsked = nPercent;
        return Scripted(device)->bRefuseSpeed ? 0 : 1;
    };
    ops.SetVolume = [](void *device, uint32_t dwWord) {
        Scripted(device)->dwVolume = dwWord;
        return 1;
    };
    if (bWithMute)
        ops.SetMute = [](void *device, int32_t bOn) {
            Scripted(device)->nMute = bOn;
            return 1;
        };
    return ops;
}

class AudioOutTest : public testing::Test
{
protected:
    void SetUp() override { Open(ScriptedOps(true)); }

    void Open(const AudioDeviceOps &ops)
    {
        m_Ops = ops;
        AudioOut *raw = nullptr;
        const AudioStreamFormat format{8000, 1, 16, 1024};
        ASSERT_EQ(AudioOutCreate(&format, &m_Clock, &raw), VANTOR_OK);
        m_Out.reset(raw);
        g_pNextDevice = &m_Device;
        ASSERT_EQ(AudioOutBindDevice(m_Out.get(), 4, &m_Ops), VANTOR_OK);
    }

    // One block of mono samples at the given time.
    int32_t Write(uint32_t nFrames, int32_t nTime, int16_t value = 100)
    {
        std::vector<int16_t> samples(nFrames, value);
        const AudioPcmBlock block{samples.data(), nullptr, nullptr, nFrames, nTime};
        return AudioOutWrite(m_Out.get(), &block);
    }

    // With the device empty: fills it, then writes one more block, which has to wait until the
    // device frees space; that block must get in, not be dropped.
    void ExpectAWaitingBlockGetsIn(int32_t nTime, int16_t value)
    {
        ASSERT_EQ(Write(2000, nTime), 1);
        const int flushes = m_Device.nFlushes;
        std::thread device([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            m_Device.Free(800);
            AudioOutPlayed(m_Out.get(), 800);
        });
        const auto start = Clock::now();
        EXPECT_EQ(Write(400, nTime + 250, value), 1);
        device.join();
        EXPECT_LT(MsSince(start), 900);
        EXPECT_EQ(m_Device.nFlushes, flushes);
        EXPECT_EQ(m_Device.written.back(), value);
    }

    AudioDeviceOps m_Ops{};
    ScriptedDevice m_Device;
    RecordingClock m_Clock;
    AudioOutPtr m_Out;
};

TEST_F(AudioOutTest, PlayedBytesOfAStereoStreamRetireBlocksAndSyncTheClock)
{
    m_Out.reset();
    AudioOut *raw = nullptr;
    const AudioStreamFormat format{44100, 2, 16, 1024};
    ASSERT_EQ(AudioOutCreate(&format, &m_Clock, &raw), VANTOR_OK);
    m_Out.reset(raw);
    g_pNextDevice = &m_Device;
    m_Device.nCapacity = 100000;
    ASSERT_EQ(AudioOutBindDevice(m_Out.get(), 4, &m_Ops), VANTOR_OK);
    std::vector<int16_t> samples(2048 * 2, 0);
    const uint32_t frames[] = {1024, 1024, 2048};
    const int32_t times[] = {1000, 1023, 1046};
    for (int i = 0; i < 3; ++i) {
        const AudioPcmBlock block{samples.data(), nullptr, nullptr, frames[i], times[i]};
        ASSERT_EQ(AudioOutWrite(m_Out.get(), &block), 1);
    }
    // 2205 frames: the first two blocks and 157 frames of the third, whose time the clock
    // gets, moved on by those frames and back by what the device still holds.
    m_Out->nDelayFrames = 441; // 10 ms
    AudioOutPlayed(m_Out.get(), 8820);
    EXPECT_EQ(m_Clock.Times(), (std::vector<int32_t>{1046 + 3 - 10}));
    EXPECT_EQ(m_Clock.Bytes(), 8820u);
    EXPECT_EQ(m_Out->ring.nCount, 1);
    EXPECT_EQ(m_Out->ring.entries[m_Out->ring.nRead].nFrames, 1891u);
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 0);
    AudioOutPlayed(m_Out.get(), 1891 * 4);
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 1);
}

TEST_F(AudioOutTest, WriteHandsTheBlockToTheDeviceAndRemembersIt)
{
    EXPECT_EQ(Write(0, 10), 0) << "an empty block";
    const AudioPcmBlock noSamples{nullptr, nullptr, nullptr, 10, 0};
    EXPECT_EQ(AudioOutWrite(m_Out.get(), &noSamples), 0);
    EXPECT_EQ(Write(400, 50, 7), 1);
    EXPECT_EQ(m_Device.written, std::vector<int16_t>(400, 7));
    EXPECT_EQ(m_Out->ring.nCount, 1);
    EXPECT_EQ(m_Out->ring.entries[0].nTime, 50);
}

TEST_F(AudioOutTest, AFullDeviceIsResetAfterASecondAndTheBlockDropped)
{
    ASSERT_EQ(Write(1000, 0), 1);
    ASSERT_EQ(Write(1000, 250), 1);
    const auto start = Clock::now();
    EXPECT_EQ(Write(400, 500), 1);
    const int64_t waited = MsSince(start);
    EXPECT_GE(waited, 950);
    EXPECT_LT(waited, 1600);
    EXPECT_EQ(m_Device.nFlushes, 1);
    EXPECT_EQ(m_Device.written.size(), 2000u) << "the pending block was dropped";
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 1);
    // Nothing retired before the reset comes back: sound played from here on syncs the clock
    // to the new blocks only.
    ASSERT_EQ(Write(400, 900), 1);
    ASSERT_EQ(Write(400, 950), 1);
    AudioOutPlayed(m_Out.get(), 800);
    EXPECT_EQ(m_Clock.Times(), std::vector<int32_t>{950});

    // The reset leaves no abort behind: the next block that waits gets in once space comes.
    m_Device.Free(1600);
    ExpectAWaitingBlockGetsIn(1000, 6);
}

TEST_F(AudioOutTest, AFullRingWaitsLikeAFullDevice)
{
    m_Device.nCapacity = 1u << 30;
    for (int i = 0; i < AUDIO_RING_ENTRIES; ++i)
        ASSERT_EQ(Write(1, i + 1), 1);
    const auto start = Clock::now();
    EXPECT_EQ(Write(1, 1000), 1);
    EXPECT_GE(MsSince(start), 950);
    EXPECT_EQ(m_Device.nFlushes, 1);
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 1);
}

TEST_F(AudioOutTest, SpaceFreedWhileWaitingLetsTheBlockIn)
{
    ExpectAWaitingBlockGetsIn(0, 9);
    EXPECT_EQ(m_Device.written.size(), 2400u);
}

TEST_F(AudioOutTest, FlushEndsAWaitAndDoesNotDropTheNextBlock)
{
    ASSERT_EQ(Write(2000, 0), 1);
    std::thread status([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        AudioOutFlush(m_Out.get());
    });
    const auto start = Clock::now();
    EXPECT_EQ(Write(400, 500), 1);
    EXPECT_LT(MsSince(start), 900) << "the flush ended the wait";
    status.join();
    EXPECT_EQ(m_Device.written.size(), 2000u) << "the waiting block was dropped";
    EXPECT_EQ(m_Device.nFlushes, 1);
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 1);

    ExpectAWaitingBlockGetsIn(600, 5);
}

TEST_F(AudioOutTest, AFlushWithNoWriterLeavesNoAbortBehind)
{
    AudioOutFlush(m_Out.get());
    ExpectAWaitingBlockGetsIn(0, 3);
}

TEST_F(AudioOutTest, PauseWakesTheWriterWhichTriesAgain)
{
    ASSERT_EQ(Write(2000, 0), 1);
    std::thread status([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Room appears before the pause wakes the writer: the retry takes it.
        {
            std::lock_guard<std::mutex> guard(m_Device.lock);
            m_Device.nQueued -= 800;
        }
        AudioOutPause(m_Out.get());
    });
    const auto start = Clock::now();
    EXPECT_EQ(Write(400, 500, 4), 1);
    EXPECT_LT(MsSince(start), 900);
    status.join();
    EXPECT_EQ(m_Device.written.back(), 4);
    EXPECT_EQ(m_Device.nPauses, 1);
    AudioOutRestart(m_Out.get());
    EXPECT_EQ(m_Device.nRestarts, 1);
}

TEST_F(AudioOutTest, ADroppingPauseEndsAWaitAtOnceAndLeavesNoAbortBehind)
{
    ASSERT_EQ(Write(2000, 0), 1);
    std::thread status([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        AudioOutPauseDropping(m_Out.get());
    });
    const auto start = Clock::now();
    EXPECT_EQ(Write(400, 500), 1);
    EXPECT_LT(MsSince(start), 900) << "the pause ended the wait";
    status.join();
    EXPECT_EQ(m_Device.written.size(), 2000u) << "the waiting block was dropped";
    EXPECT_EQ(m_Device.nPauses, 1);
    EXPECT_EQ(m_Device.nFlushes, 0);
    AudioOutRestart(m_Out.get());
    ExpectAWaitingBlockGetsIn(600, 5);
}

TEST_F(AudioOutTest, SpeedIsStoredOnlyWhenTheDeviceTakesIt)
{
    EXPECT_EQ(AudioOutSetSpeed(m_Out.get(), 100), 1);
    EXPECT_EQ(m_Device.nSpeedAsked, 0) << "the same speed is not asked for again";
    EXPECT_EQ(AudioOutSetSpeed(m_Out.get(), 200), 1);
    EXPECT_EQ(m_Out->nSpeed, 200);
    m_Device.bRefuseSpeed = true;
    EXPECT_EQ(AudioOutSetSpeed(m_Out.get(), 5000), 0);
    EXPECT_EQ(m_Out->nSpeed, 200);
}

TEST_F(AudioOutTest, ParametersApplyTheSelectedGroups)
{
    struct Case
    {
        const char *name;
        VantorAudioParams params;
        int32_t nResult;
        uint32_t dwDeviceVolume;
        int32_t nDeviceMute;
    };
    const Case cases[] = {
        {"volume", {VANTOR_AUDIO_VOLUME, 0, 0x7FFF7FFF, 0, 0, 0, 0, {}, {}, 0}, 1, 0x7FFF7FFF, -1},
        {"mute", {VANTOR_AUDIO_MUTE, 0, 0, 1, 0, 0, 0, {}, {}, 0}, 1, 0xFFFFFFFF, 1},
        {"format left as it is",
         {VANTOR_AUDIO_OUTPUT_FORMAT, 0, 0, 0, 0, 2, 0, {}, {}, 0},
         1,
         0xFFFFFFFF,
         -1},
        {"same format",
         {VANTOR_AUDIO_OUTPUT_FORMAT, 0, 0, 0, 8000, 1, 0, {}, {}, 0},
         1,
         0xFFFFFFFF,
         -1},
        {"another format is not applied",
         {VANTOR_AUDIO_OUTPUT_FORMAT, 0, 0, 0, 44100, 2, 0, {}, {}, 0},
         0,
         0xFFFFFFFF,
         -1},
        {"effects are only stored",
         {0xFF0, 0, 0, 0, 0, 0, 3, {1, 2}, {5, 6, 7, 8, 9}, 1},
         1,
         0xFFFFFFFF,
         -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_Device.dwVolume = 0xFFFFFFFF;
        m_Device.nMute = -1;
        EXPECT_EQ(AudioOutSetParams(m_Out.get(), &c.params), c.nResult);
        EXPECT_EQ(m_Device.dwVolume, c.dwDeviceVolume);
        EXPECT_EQ(m_Device.nMute, c.nDeviceMute);
    }
    EXPECT_EQ(m_Out->effects.nPreset, 3);
    EXPECT_EQ(m_Out->effects.bandLevels[1], 2);
    EXPECT_EQ(m_Out->effects.nSwitch[4], 9);
    EXPECT_EQ(m_Out->nMute, 1);
}

TEST_F(AudioOutTest, AnOutputTypeWithoutDeviceFailsAndLeavesNoDevice)
{
    for (int32_t type : {0, 1, 2, 3, 5, -1}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(FindAudioDevice(type), nullptr);
        EXPECT_EQ(AudioOutSelectDevice(m_Out.get(), type), VANTOR_E_AUDIO_OUTPUT_INIT);
        EXPECT_EQ(m_Out->pDevice, nullptr);
    }
    EXPECT_TRUE(m_Device.bClosed) << "the old device was closed first";
    EXPECT_NE(FindAudioDevice(4), nullptr);
    const VantorAudioParams waveOut{
        VANTOR_AUDIO_OUTPUT_TYPE, VANTOR_AUDIO_OUT_WAVEOUT, 0, 0, 0, 0, 0, {}, {}, 0};
    EXPECT_EQ(AudioOutSetParams(m_Out.get(), &waveOut), 0);
    EXPECT_EQ(Write(100, 0), 1) << "without a device the sound is dropped";
}

TEST_F(AudioOutTest, AMutedDeviceWithoutItsOwnMuteIsFedSilence)
{
    m_Out.reset();
    Open(ScriptedOps(false));
    const VantorAudioParams mute{VANTOR_AUDIO_MUTE, 0, 0, 1, 0, 0, 0, {}, {}, 0};
    EXPECT_EQ(AudioOutSetParams(m_Out.get(), &mute), 1);
    ASSERT_EQ(Write(50, 0, 1234), 1);
    EXPECT_EQ(m_Device.written, std::vector<int16_t>(50, 0));
}

TEST(AudioOutCreate, RefusesFormatsItCannotPlay)
{
    struct Case
    {
        AudioStreamFormat format;
        int32_t nResult;
        int32_t nOutputChannels;
    };
    const Case cases[] = {
        {{44100, 2, 16, 1024}, VANTOR_OK, 2},
        {{48000, 6, 16, 1024}, VANTOR_OK, 2},
        {{8000, 1, 16, 2048}, VANTOR_OK, 1},
        {{0, 2, 16, 1024}, VANTOR_E_AUDIO_OUTPUT_INIT, 0},
        {{44100, 0, 16, 1024}, VANTOR_E_AUDIO_OUTPUT_INIT, 0},
        {{44100, 2, 16, 0}, VANTOR_E_AUDIO_OUTPUT_INIT, 0},
        {{44100, 2, 16, 1 << 20}, VANTOR_E_AUDIO_OUTPUT_INIT, 0},
        {{1 << 30, 2, 16, 1024}, VANTOR_E_AUDIO_OUTPUT_INIT, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.format.nRate << " Hz " << c.format.nChannels);
        AudioOut *raw = nullptr;
        EXPECT_EQ(AudioOutCreate(&c.format, nullptr, &raw), c.nResult);
        AudioOutPtr out(raw);
        EXPECT_EQ(raw != nullptr, c.nResult == VANTOR_OK);
        if (raw) {
            EXPECT_EQ(raw->nOutputChannels, c.nOutputChannels);
        }
    }
}

} // namespace

// A block the audio task took before a pause and writes after it: the paused device is full and
// takes nothing until it restarts, which is no stuck device. The block waits for the restart
// instead of being dropped a second later with the half second of sound before it.
TEST_F(AudioOutTest, ABlockWrittenAfterAPauseWaitsForTheRestartAndKeepsTheSoundBeforeIt)
{
    for (auto pause : {&AudioOutPause, &AudioOutPauseDropping}) {
        m_Device.Free(m_Device.nQueued);
        ASSERT_EQ(Write(2000, 0), 1);
        pause(m_Out.get());
        const int flushes = m_Device.nFlushes;
        std::atomic<bool> written{false};
        std::thread task([&] {
            EXPECT_EQ(Write(400, 500, 8), 1);
            written = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        EXPECT_FALSE(written.load());
        EXPECT_EQ(m_Device.nFlushes, flushes) << "the sound before the block stays";
        m_Device.Free(800);
        AudioOutRestart(m_Out.get());
        task.join();
        EXPECT_EQ(m_Device.written.back(), 8);
        EXPECT_EQ(m_Device.nFlushes, flushes);
    }
}

// The writer waits for room without the output's lock: the window thread's volume, speed and
// pause calls and the status thread's close do not wait for it.
TEST_F(AudioOutTest, OtherCallsDoNotWaitForAWaitingWriter)
{
    ASSERT_EQ(Write(2000, 0), 1);
    std::thread task([&] { EXPECT_EQ(Write(400, 500), 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    const VantorAudioParams volume{VANTOR_AUDIO_VOLUME, 0, 0x7FFF7FFF, 0, 0, 0, 0, {}, {}, 0};
    EXPECT_EQ(AudioOutSetParams(m_Out.get(), &volume), 1);
    EXPECT_EQ(AudioOutSetSpeed(m_Out.get(), 100), 1);
    AudioOutPause(m_Out.get());
    AudioOutRestart(m_Out.get());
    EXPECT_LT(MsSince(start), 100);
    AudioOutClose(m_Out.release());
    EXPECT_LT(MsSince(start), 200) << "closing ended the wait";
    task.join();
}
