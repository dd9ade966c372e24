#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/devices/system_mute.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Slack over the call bound for a machine that is busy with other builds.
constexpr auto kBoundWithSlack = std::chrono::milliseconds(CSystemMute::kCallBoundMs + 400);

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A PulseAudio of the test's own: its socket, runtime folder and home lie in a temporary folder,
// and this process's libpulse and pactl are pointed at it alone, so no other server is met.
class CPrivatePulse
{
public:
    explicit CPrivatePulse(const CTempFolder &folder)
        : m_strFolder(folder.Path()), m_strSocket(folder / "run/native")
    {
        MakeFolders(folder / "run");
        MakeFolders(folder / "xdg");
        setenv("PULSE_SERVER", ("unix:" + m_strSocket).c_str(), 1);
        setenv("PULSE_COOKIE", (folder / "cookie").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
    }
    ~CPrivatePulse() { Stop(); }
    CPrivatePulse(const CPrivatePulse &) = delete;
    CPrivatePulse &operator=(const CPrivatePulse &) = delete;

    const std::string &Socket() const { return m_strSocket; }

    // Starts the server and waits until it answers; false (with the reason) when it cannot run.
    bool Start(std::string &why)
    {
        Stop();
        std::vector<std::string> env = {"HOME=" + m_strFolder,
                                        "XDG_RUNTIME_DIR=" + m_strFolder + "xdg",
                                        "PULSE_RUNTIME_PATH=" + m_strFolder + "run"};
        for (char **e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) != 0 && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
                entry.rfind("PULSE_RUNTIME_PATH=", 0) != 0)
                env.push_back(entry);
        }
        std::vector<std::string> args = {"pulseaudio",
                                         "-n",
                                         "--daemonize=no",
                                         "--system=false",
                                         "--disallow-exit",
                                         "--exit-idle-time=-1",
                                         "--use-pid-file=no",
                                         "--realtime=no",
                                         "--high-priority=no",
                                         "--log-target=file:" + m_strFolder + "pulse.log",
                                         "-L",
                                         "module-null-sink sink_name=test",
                                         "-L",
                                         "module-native-protocol-unix auth-anonymous=1 socket=" +
                                             m_strSocket};
        std::vector<char *> argv, envp;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error =
            posix_spawnp(&m_nPid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            m_nPid = -1;
            why = "pulseaudio cannot be started here";
            return false;
        }
        const Clock::time_point start = Clock::now();
        while (MsSince(start) < 5000) {
            if (Pactl("get-default-sink") == "test\n")
                return true;
            int status = 0;
            if (waitpid(m_nPid, &status, WNOHANG) == m_nPid) {
                m_nPid = -1;
                why = "pulseaudio exited at start; see its log " + m_strFolder + "pulse.log";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why = "pulseaudio did not answer within 5 s";
        Stop();
        return false;
    }

    void Signal(int sig)
    {
        if (m_nPid > 0)
            kill(m_nPid, sig);
    }

    // Kills the server at once, as a crash would, and reaps it.
    void Kill()
    {
        if (m_nPid <= 0)
            return;
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
        m_nPid = -1;
    }

    void Stop()
    {
        if (m_nPid <= 0)
            return;
        kill(m_nPid, SIGCONT);
        kill(m_nPid, SIGTERM);
        for (int i = 0; i < 40; ++i) {
            if (waitpid(m_nPid, nullptr, WNOHANG) == m_nPid) {
                m_nPid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        Kill();
    }

    static std::string Pactl(const std::string &args)
    {
        return RunCommand("pactl " + args + " 2>/dev/null").out;
    }

private:
    std::string m_strFolder;
    std::string m_strSocket;
    pid_t m_nPid = -1;
};

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
