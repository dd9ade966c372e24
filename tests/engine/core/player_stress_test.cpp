// Random commands against a playing clip: the player must neither hang nor break. Run under
// ThreadSanitizer and AddressSanitizer by `tools/test --tsan` / `--asan` with more commands
// (ROADLOG_STRESS_COMMANDS).

#include <condition_variable>
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "tests/engine/core/player_harness.h"
#include "tests/engine/play/scripted_decoders.h"

namespace {

// Fails the run when the test makes no progress for the given time (a deadlock would hang it
// for ever).
class Watchdog
{
public:
    explicit Watchdog(int seconds)
        : m_Thread([this, seconds] {
              std::unique_lock<std::mutex> lock(m_Lock);
              while (!m_bDone) {
                  const uint64_t seen = m_nProgress;
                  m_Done.wait_for(lock, std::chrono::seconds(seconds));
                  if (!m_bDone && m_nProgress == seen) {
                      std::fprintf(stderr, "watchdog: no progress for %d s, a deadlock?\n",
                                   seconds);
                      std::abort();
                  }
              }
          })
    {
    }
    void Progress()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        ++m_nProgress;
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_bDone = true;
        }
        m_Done.notify_all();
        m_Thread.join();
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Done;
    bool m_bDone = false;     // guarded by m_Lock
    uint64_t m_nProgress = 0; // guarded by m_Lock
    std::thread m_Thread;
};

enum class Command
{
    Pause,
    Resume,
    Seek,
    Trick,
    Speed,
    Status,
    Play,
    Stop,
};

int CommandCount()
{
    const char *text = std::getenv("ROADLOG_STRESS_COMMANDS");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 150;
}

TEST(VantorPlayerStress, RandomCommandsAgainstAPlayingClip)
{
    Watchdog watchdog(60);
    auto harness = std::make_unique<PlayerHarness>(&scripted::kFactory);
    scripted::ClipSpec spec{3000};
    spec.text = true;
    const std::string clip = harness->Folder() / "clip.avi";
    ASSERT_EQ(scripted::WriteClip(clip, spec), VANTOR_OK);
    VantorPlayer *player = harness->Player();
    ASSERT_EQ(harness->Play(clip), 1);

    std::mt19937 random(20101011);
    const int count = CommandCount();
    for (int i = 0; i < count; ++i) {
        watchdog.Progress();
        // Opens and stops are rare: closing the sound device lets its queued second play out.
        const unsigned pick = random() % 100;
        const Command command = pick < 3   ? Command::Play
                                : pick < 5 ? Command::Stop
                                           : static_cast<Command>(pick % 6);
        switch (command) {
        case Command::Play:
            harness->Play(clip, static_cast<int32_t>(random() % 2),
                          static_cast<int32_t>(random() % 2));
            break;
        case Command::Stop:
            VantorStop(player);
            break;
        case Command::Pause:
            VantorPause(player);
            break;
        case Command::Resume:
            VantorResume(player);
            break;
        case Command::Seek:
            VantorSeek(player, random() % 3500, static_cast<int32_t>(random() % 2));
            break;
        case Command::Trick:
            VantorTrick(player, random() % 1000, static_cast<int32_t>(1 + random() % 4));
            break;
        case Command::Speed:
            VantorSetSpeed(player, static_cast<int32_t>(50 + random() % 151));
            break;
        case Command::Status: {
            VantorStatus status{};
            VantorGetStatus(player, &status);
            EXPECT_LE(status.nPosition, 3000u);
            EXPECT_GE(status.nState, VS_IDLE);
            EXPECT_LE(status.nState, VS_END_WAIT);
            break;
        }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 8));
    }
    VantorStop(player);
    EXPECT_EQ(harness->State(), VS_IDLE);
    // Playable again after all that.
    harness->Record().Clear();
    ASSERT_EQ(harness->Play(clip), 1);
    EXPECT_TRUE(WaitUntil([&] { return !harness->Record().Presented().empty(); }, 10000));
    harness.reset(); // destroys a playing player
}

} // namespace
