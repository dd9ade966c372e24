#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/devices/mute_worker.h"
#include "app/devices/system_mute.h"
#include "tests/support/private_pulse.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Slack over the call bound for a machine that is busy with other builds.
constexpr auto kBoundWithSlack = std::chrono::milliseconds(CSystemMute::kCallBoundMs + 400);

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class SystemMute : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        if (!m_pulse.Start(why))
            GTEST_SKIP() << "no private PulseAudio for the mute tests: " << why;
    }

    CTempFolder m_folder;
    CPrivatePulse m_pulse{m_folder};
};

TEST_F(SystemMute, SetAndReadFollowTheServersDefaultSink)
{
    CSystemMute mute;
    ASSERT_TRUE(mute.Init());
    EXPECT_TRUE(mute.IsConnected());

    ASSERT_TRUE(mute.Set(true));
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute @DEFAULT_SINK@"), "Mute: yes\n");
    bool bMuted = false;
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_TRUE(bMuted);

    // Changes made by someone else (the desktop's volume control) are what Read reports.
    CPrivatePulse::Pactl("set-sink-mute @DEFAULT_SINK@ 0");
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_FALSE(bMuted);
    CPrivatePulse::Pactl("set-sink-mute @DEFAULT_SINK@ 1");
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_TRUE(bMuted);

    ASSERT_TRUE(mute.Set(false));
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute @DEFAULT_SINK@"), "Mute: no\n");
}

TEST_F(SystemMute, FollowsAChangeOfTheDefaultSink)
{
    CSystemMute mute;
    ASSERT_TRUE(mute.Init());
    ASSERT_NE(CPrivatePulse::Pactl("load-module module-null-sink sink_name=other"), "");
    CPrivatePulse::Pactl("set-sink-mute test 1");
    CPrivatePulse::Pactl("set-sink-mute other 0");
    bool bMuted = false;
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_TRUE(bMuted);

    CPrivatePulse::Pactl("set-default-sink other");
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_FALSE(bMuted);
    ASSERT_TRUE(mute.Set(true));
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute other"), "Mute: yes\n");
    ASSERT_TRUE(mute.Set(false));
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute other"), "Mute: no\n");
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute test"), "Mute: yes\n");
}

TEST_F(SystemMute, ServerKilledWhileConnectedFailsInTimeAndIsFoundAgain)
{
    CSystemMute mute;
    bool bMuted = true;
    ASSERT_TRUE(mute.Read(bMuted)); // connects without Init
    EXPECT_FALSE(bMuted);

    m_pulse.Kill();
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(mute.Read(bMuted));
    EXPECT_FALSE(mute.Set(true));
    EXPECT_LT(MsSince(start), 2 * kBoundWithSlack.count());
    EXPECT_FALSE(mute.IsConnected());

    std::string why;
    ASSERT_TRUE(m_pulse.Start(why)) << why;
    ASSERT_TRUE(mute.Set(true));
    EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute @DEFAULT_SINK@"), "Mute: yes\n");
    ASSERT_TRUE(mute.Read(bMuted));
    EXPECT_TRUE(bMuted);
}

TEST_F(SystemMute, ServerThatStopsAnsweringFailsWithinTheBound)
{
    CSystemMute mute;
    ASSERT_TRUE(mute.Init());
    m_pulse.Signal(SIGSTOP);
    for (int call = 0; call < 2; ++call) {
        SCOPED_TRACE(call == 0 ? "on the open connection" : "reconnecting");
        const Clock::time_point start = Clock::now();
        bool bMuted = false;
        EXPECT_FALSE(mute.Read(bMuted));
        EXPECT_LT(MsSince(start), kBoundWithSlack.count());
    }
    m_pulse.Signal(SIGCONT);
    bool bMuted = true;
    EXPECT_TRUE(mute.Read(bMuted));
    EXPECT_FALSE(bMuted);
}

// The answers of a mute worker, waited for with a bound.
class CAnswers
{
public:
    CMuteWorker::ReadAnswer Callback()
    {
        return [this](bool bRead, bool bMuted) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_answers.push_back({bRead, bMuted});
            m_changed.notify_all();
        };
    }
    // The count-th answer (from 1), or {false, false} with bArrived false after the limit.
    std::pair<bool, bool> Wait(size_t count, bool *bArrived)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        *bArrived = m_changed.wait_for(guard, std::chrono::seconds(5),
                                       [&] { return m_answers.size() >= count; });
        return *bArrived ? m_answers[count - 1] : std::pair<bool, bool>{};
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::pair<bool, bool>> m_answers;
};

TEST_F(SystemMute, TheWorkerSetsAndReadsOffTheCallersThread)
{
    CAnswers answers;
    CMuteWorker worker(answers.Callback());
    bool bArrived = false;
    size_t reads = 0;
    for (const bool bMuted : {true, false}) {
        SCOPED_TRACE(bMuted ? "muted" : "unmuted");
        worker.RequestSet(bMuted);
        worker.RequestRead();
        const auto answer = answers.Wait(++reads, &bArrived);
        ASSERT_TRUE(bArrived);
        EXPECT_TRUE(answer.first);
        EXPECT_EQ(answer.second, bMuted) << "the read comes after the set";
        EXPECT_EQ(CPrivatePulse::Pactl("get-sink-mute @DEFAULT_SINK@"),
                  bMuted ? "Mute: yes\n" : "Mute: no\n");
    }
}

// A socket that takes connections but never answers, as a hung sound server does.
class CSilentServer
{
public:
    explicit CSilentServer(const std::string &path)
    {
        m_nListener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_nListener < 0 || path.size() >= sizeof address.sun_path)
            return;
        path.copy(address.sun_path, path.size());
        m_bListening =
            bind(m_nListener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            listen(m_nListener, 4) == 0;
    }
    ~CSilentServer()
    {
        if (m_nListener >= 0)
            close(m_nListener);
    }
    bool IsListening() const { return m_bListening; }

private:
    int m_nListener = -1;
    bool m_bListening = false;
};

void UseServer(const CTempFolder &folder, const std::string &server)
{
    setenv("PULSE_COOKIE", (folder / "cookie").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
    setenv("PULSE_SERVER", server.c_str(), 1);
}

// A hung server costs the worker its bound, never the caller: requests return at once, the
// failed read is answered, and the worker ends within the bound.
TEST(SystemMuteNoServer, TheWorkerKeepsAHungServerOffTheCaller)
{
    CTempFolder folder;
    CSilentServer silent(folder / "silent");
    ASSERT_TRUE(silent.IsListening());
    UseServer(folder, "unix:" + folder / "silent");
    CAnswers answers;
    Clock::time_point start = Clock::now();
    {
        CMuteWorker worker(answers.Callback());
        worker.RequestRead();
        worker.RequestSet(true);
        worker.RequestRead();
        EXPECT_LT(MsSince(start), 50);
        bool bArrived = false;
        const auto answer = answers.Wait(1, &bArrived);
        ASSERT_TRUE(bArrived);
        EXPECT_FALSE(answer.first);
        start = Clock::now();
        worker.RequestRead();
    }
    EXPECT_LT(MsSince(start), kBoundWithSlack.count());
    unsetenv("PULSE_SERVER");
}

// Without any server: a missing socket, and one that takes connections but never answers.
TEST(SystemMuteNoServer, InitReadAndSetFailWithinTheBound)
{
    CTempFolder folder;
    CSilentServer silent(folder / "silent");
    ASSERT_TRUE(silent.IsListening());
    UseServer(folder, "");
    struct Case
    {
        const char *name;
        std::string server;
    } const cases[] = {{"missing socket", "unix:" + folder / "none"},
                       {"server that never answers", "unix:" + folder / "silent"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setenv("PULSE_SERVER", c.server.c_str(), 1);
        CSystemMute mute;
        bool bMuted = false;
        Clock::time_point start = Clock::now();
        EXPECT_FALSE(mute.Init());
        EXPECT_LT(MsSince(start), kBoundWithSlack.count());
        start = Clock::now();
        EXPECT_FALSE(mute.Read(bMuted));
        EXPECT_LT(MsSince(start), kBoundWithSlack.count());
        start = Clock::now();
        EXPECT_FALSE(mute.Set(true));
        EXPECT_LT(MsSince(start), kBoundWithSlack.count());
        EXPECT_FALSE(mute.IsConnected());
    }
    unsetenv("PULSE_SERVER");
}

} // namespace
