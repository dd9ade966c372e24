// The sound-buffer device played through SDL's disk driver, which writes what the device plays
// to a file in real time; the tests read the file back.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"
#include "engine/output/audio_out.h"
#include "engine/output/ds_sound_ring.h"
#include "tests/engine/output/recording_clock.h"
#include "tests/support/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kPi = 3.14159265358979323846;
constexpr int16_t kAmplitude = 16000;

// What the device wrote: one channel of the file, and the span where the tone is.
struct Recording
{
    std::vector<int16_t> samples;
    size_t nFirst = 0;
    size_t nLast = 0; // one past the last loud sample

    double Seconds(int32_t nRate) const { return double(nLast - nFirst) / nRate; }
};

Recording ReadChannel(const std::string &path, int32_t nChannels, int32_t nChannel)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    Recording r;
    const size_t frames = bytes.size() / (2 * nChannels);
    const int16_t *pcm = reinterpret_cast<const int16_t *>(bytes.data());
    for (size_t i = 0; i < frames; ++i)
        r.samples.push_back(pcm[i * nChannels + nChannel]);
    bool bFound = false;
    for (size_t i = 0; i < r.samples.size(); ++i)
        if (std::abs(r.samples[i]) > 1000) {
            if (!bFound)
                r.nFirst = i;
            bFound = true;
            r.nLast = i + 1;
        }
    return r;
}

// Frequency from the rising zero crossings between two sample offsets.
double ToneFrequency(const Recording &r, size_t begin, size_t end, int32_t nRate)
{
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = begin + 1; i < end; ++i)
        if (r.samples[i - 1] < 0 && r.samples[i] >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    if (crossings < 2)
        return 0.0;
    return double(crossings - 1) * nRate / double(last - first);
}

double Rms(const Recording &r, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double(r.samples[i]) * r.samples[i];
    return std::sqrt(sum / double(end - begin));
}

class DsAudioOutTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_Path = (std::filesystem::temp_directory_path() /
                  ("roadlog_audio_" + std::to_string(getpid()) + "_" + name + ".raw"))
                     .string();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_Path.c_str(), 1);
    }
    void TearDown() override
    {
        m_Out.reset();
        std::filesystem::remove(m_Path);
    }

    void Open(int32_t nRate, int32_t nChannels)
    {
        m_nRate = nRate;
        m_nChannels = nChannels;
        AudioOut *raw = nullptr;
        const AudioStreamFormat format{nRate, nChannels, 16, 1024};
        ASSERT_EQ(AudioOutCreate(&format, &m_Clock, &raw), VANTOR_OK);
        m_Out.reset(raw);
        ASSERT_EQ(AudioOutSelectDevice(m_Out.get(), VANTOR_AUDIO_OUT_DSOUND), VANTOR_OK);
    }

    // Writes a sine tone in blocks of nBlock frames, carrying on from the frames written so far;
    // a block's time is its first frame's time plus nTimeOffset.
    void WriteTone(double frequency, double seconds, uint32_t nBlock = 2048,
                   int32_t nTimeOffset = 0)
    {
        const uint64_t end = m_nFramesWritten + uint64_t(seconds * m_nRate);
        std::vector<int16_t> samples;
        while (m_nFramesWritten < end) {
            const uint32_t frames = uint32_t(std::min<uint64_t>(nBlock, end - m_nFramesWritten));
            samples.resize(size_t(frames) * m_nChannels);
            for (uint32_t i = 0; i < frames; ++i) {
                const double t = double(m_nFramesWritten + i) / m_nRate;
                const auto v = int16_t(std::lround(kAmplitude * std::sin(2 * kPi * frequency * t)));
                for (int32_t c = 0; c < m_nChannels; ++c)
                    samples[size_t(i) * m_nChannels + c] = v;
            }
            const int32_t time = int32_t(m_nFramesWritten * 1000 / m_nRate) + nTimeOffset;
            const AudioPcmBlock block{samples.data(), nullptr, nullptr, frames, time};
            ASSERT_EQ(AudioOutWrite(m_Out.get(), &block), 1);
            m_nFramesWritten += frames;
        }
    }

    uint64_t BytesWritten() const { return m_nFramesWritten * m_nChannels * 2; }

    int32_t RingCount()
    {
        std::lock_guard<std::mutex> lock(m_Out->ringLock);
        return m_Out->ring.nCount;
    }

    uint32_t DeviceFreeSpace() { return m_Out->pDevice->FreeSpace(m_Out->pDeviceState); }

    // Lets the queued sound play out, closes the output and reads what was played.
    Recording Played(int32_t nChannel = 0)
    {
        if (m_Out) {
            EXPECT_TRUE(WaitUntil([this] { return AudioOutIsDrained(m_Out.get()) != 0; }, 5000));
        }
        m_Out.reset();
        return ReadChannel(m_Path, m_nChannels, nChannel);
    }

    std::string m_Path;
    int32_t m_nRate = 0;
    int32_t m_nChannels = 0;
    uint64_t m_nFramesWritten = 0;
    RecordingClock m_Clock;
    AudioOutPtr m_Out;
};

TEST_F(DsAudioOutTest, PlaysAToneAtItsFrequencyAndTheVolumeWordsLevel)
{
    Open(44100, 2);
    WriteTone(1000.0, 1.0);
    const VantorAudioParams half{VANTOR_AUDIO_VOLUME, 0, 0x7FFF7FFF, 0, 0, 0, 0, {}, {}, 0};
    ASSERT_EQ(AudioOutSetParams(m_Out.get(), &half), 1);
    WriteTone(1000.0, 1.0);
    const uint64_t written = BytesWritten();

    const Recording left = Played(0);
    ASSERT_GT(left.nLast, left.nFirst);
    const double seconds = left.Seconds(44100);
    const double frequency = ToneFrequency(left, left.nFirst, left.nLast, 44100);
    const double full = Rms(left, left.nFirst + 4410, left.nFirst + 17640); // 0.1 .. 0.4 s
    const double halved = Rms(left, left.nLast - 22050, left.nLast - 4410); // last 0.5 .. 0.1 s
    std::printf("tone: %.2f s at %.2f Hz, rms full %.1f, half %.1f, ratio %.4f\n", seconds,
                frequency, full, halved, halved / full);
    EXPECT_NEAR(seconds, 2.0, 0.02);
    EXPECT_NEAR(frequency, 1000.0, 2.0);
    EXPECT_NEAR(full, kAmplitude / std::sqrt(2.0), 60.0);
    EXPECT_NEAR(halved / full, DsAttenuationGain(-625), 0.005);

    const Recording right = Played(1);
    EXPECT_EQ(right.samples, left.samples) << "both channels carry the tone";
    EXPECT_EQ(m_Clock.Bytes(), written) << "every byte written was reported played";
    const std::vector<int32_t> times = m_Clock.Times();
    ASSERT_FALSE(times.empty());
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(times[i - 1], times[i]);
    EXPECT_GT(times.back(), 1900);
}

TEST_F(DsAudioOutTest, MutePlaysSilenceAndUnmuteRestoresTheLevel)
{
    Open(44100, 2);
    const VantorAudioParams halfAndMuted{
        VANTOR_AUDIO_VOLUME | VANTOR_AUDIO_MUTE, 0, 0x7FFF7FFF, 1, 0, 0, 0, {}, {}, 0};
    ASSERT_EQ(AudioOutSetParams(m_Out.get(), &halfAndMuted), 1);
    WriteTone(1000.0, 0.4);
    std::this_thread::sleep_for(milliseconds(600)); // all of it played, silently
    const VantorAudioParams unmute{VANTOR_AUDIO_MUTE, 0, 0, 0, 0, 0, 0, {}, {}, 0};
    ASSERT_EQ(AudioOutSetParams(m_Out.get(), &unmute), 1);
    WriteTone(1000.0, 0.8);
    const uint64_t written = BytesWritten();

    const Recording r = Played();
    ASSERT_GT(r.nLast, r.nFirst);
    const double seconds = r.Seconds(44100);
    const double level = Rms(r, r.nFirst + 4410, r.nLast - 4410);
    std::printf("mute: %.3f s audible at rms %.1f\n", seconds, level);
    EXPECT_NEAR(seconds, 0.8, 0.02) << "only the sound after the unmute is heard";
    EXPECT_NEAR(level, kAmplitude / std::sqrt(2.0) * DsAttenuationGain(-625), 60.0);
    EXPECT_EQ(m_Clock.Bytes(), written) << "muted sound still plays and is reported";
}

TEST_F(DsAudioOutTest, SpeedRaisesThePitchAndPlaysTheSoundInLessTime)
{
    Open(22050, 1);
    ASSERT_EQ(AudioOutSetSpeed(m_Out.get(), 150), 1);
    EXPECT_EQ(AudioOutSetSpeed(m_Out.get(), 1000), 0) << "220500 Hz is beyond the device";
    EXPECT_EQ(m_Out->nSpeed, 150);
    WriteTone(1000.0, 1.2);
    const uint64_t written = BytesWritten();

    const Recording r = Played();
    ASSERT_GT(r.nLast, r.nFirst);
    const double seconds = r.Seconds(22050);
    const double frequency = ToneFrequency(r, r.nFirst, r.nLast, 22050);
    std::printf("speed 150: %.3f s at %.2f Hz\n", seconds, frequency);
    EXPECT_NEAR(frequency, 1500.0, 3.0);
    EXPECT_NEAR(seconds, 0.8, 0.02);
    EXPECT_EQ(m_Clock.Bytes(), written);
}

// A paused buffer takes nothing until it restarts, which is no stuck device: the block that
// waits for room (the audio task's, taken before the pause) is kept, and so is the sound
// already in the buffer; after the restart every byte written plays.
TEST_F(DsAudioOutTest, AFullPausedBufferKeepsTheWaitingBlockUntilTheRestart)
{
    Open(8000, 1);
    const DsPeriodFigures figures = DsPeriodFiguresFor(8000, 1, m_Out->nBufferTarget);
    ASSERT_EQ(figures.nBufferBytes, 8000u);
    WriteTone(500.0, 0.25, 400); // half the buffer: playing starts
    AudioOutPause(m_Out.get());
    std::atomic<bool> done{false};
    std::thread task([&] {
        WriteTone(500.0, 0.6, 400); // more than the paused buffer has room for
        done = true;
    });
    std::this_thread::sleep_for(milliseconds(1300));
    EXPECT_FALSE(done.load()) << "the block waits for the restart";
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 0) << "nothing was dropped";
    AudioOutRestart(m_Out.get());
    task.join();
    const uint64_t written = BytesWritten();
    Played();
    EXPECT_EQ(m_Clock.Bytes(), written) << "every byte written was played";
}

TEST_F(DsAudioOutTest, PauseRestartAndFlushShowInThePlayedReport)
{
    Open(8000, 1);
    WriteTone(500.0, 0.4, 400);
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_GT(m_Clock.Bytes(), 0u) << "playing started at half the buffer";

    AudioOutPause(m_Out.get());
    std::this_thread::sleep_for(milliseconds(150));
    const uint64_t paused = m_Clock.Bytes();
    const int32_t blocksLeft = RingCount();
    std::this_thread::sleep_for(milliseconds(250));
    EXPECT_EQ(m_Clock.Bytes(), paused) << "nothing plays while paused";
    EXPECT_EQ(RingCount(), blocksLeft) << "nor is any block retired";
    EXPECT_GT(blocksLeft, 0);

    AudioOutRestart(m_Out.get());
    std::this_thread::sleep_for(milliseconds(150));
    const uint64_t restarted = m_Clock.Bytes();
    EXPECT_GT(restarted, paused);

    AudioOutFlush(m_Out.get());
    EXPECT_EQ(AudioOutIsDrained(m_Out.get()), 1);
    EXPECT_EQ(DeviceFreeSpace(), 8000u);
    std::this_thread::sleep_for(milliseconds(150));
    const uint64_t flushed = m_Clock.Bytes();
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(m_Clock.Bytes(), flushed) << "a flushed buffer has nothing left to play";
    EXPECT_LT(flushed, BytesWritten());
    std::printf("played bytes: %llu when paused, %llu after restart, %llu at flush of %llu\n",
                static_cast<unsigned long long>(paused), static_cast<unsigned long long>(restarted),
                static_cast<unsigned long long>(flushed),
                static_cast<unsigned long long>(BytesWritten()));
}

TEST_F(DsAudioOutTest, ADeviceThatCannotOpenFailsWithTheInitCode)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    AudioOut *raw = nullptr;
    const AudioStreamFormat format{44100, 2, 16, 1024};
    ASSERT_EQ(AudioOutCreate(&format, &m_Clock, &raw), VANTOR_OK);
    m_Out.reset(raw);
    EXPECT_EQ(AudioOutSelectDevice(m_Out.get(), VANTOR_AUDIO_OUT_DSOUND),
              VANTOR_E_AUDIO_OUTPUT_INIT);
    EXPECT_EQ(m_Out->pDevice, nullptr);
}

} // namespace
