#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// Without any server: a missing socket, and one that takes connections but never answers.
TEST(SystemMuteNoServer, InitReadAndSetFailWithinTheBound)
{
    CTempFolder folder;
    const std::string silent = folder / "silent";
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(silent.size(), sizeof address.sun_path);
    silent.copy(address.sun_path, silent.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    setenv("PULSE_COOKIE", (folder / "cookie").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
    struct Case
    {
        const char *name;
        std::string server;
    } const cases[] = {{"missing socket", "unix:" + folder / "none"},
                       {"server that never answers", "unix:" + silent}};
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
    close(listener);
}

} // namespace
