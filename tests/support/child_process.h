#pragma once

// Programs a test runs in the background, stopped at the end; every wait is bounded.

#include <chrono>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// SIGTERM, then SIGKILL when the child has not gone within the grace time.
inline void StopChildProcess(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(2))
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + grace;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A shell command running until the object goes.
class BackgroundCommand
{
public:
    explicit BackgroundCommand(const std::string &command)
    {
        m_nPid = ::fork();
        if (m_nPid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
    }
    ~BackgroundCommand() { StopChildProcess(m_nPid); }
    BackgroundCommand(const BackgroundCommand &) = delete;
    BackgroundCommand &operator=(const BackgroundCommand &) = delete;

private:
    pid_t m_nPid = -1;
};
