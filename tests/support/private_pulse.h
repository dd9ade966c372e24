#pragma once

// A PulseAudio server of a test's own, for the tests of the system mute.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/child_process.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

extern char **environ;

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
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
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
        // A server stopped by a test must run again to act on SIGTERM.
        kill(m_nPid, SIGCONT);
        StopChildProcess(m_nPid, std::chrono::seconds(1));
        m_nPid = -1;
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
