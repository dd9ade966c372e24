#pragma once

// Python's http.server on 127.0.0.1 serving one folder, on a port the system chose, stopped at
// the end. Every wait is bounded.

#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "tests/support/child_process.h"

class LocalHttpServer
{
public:
    LocalHttpServer() = default;
    ~LocalHttpServer() { Stop(); }
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    // bytesPerSecond 0 runs `python3 -m http.server`; otherwise the same module's handler
    // sends the body in slices, at most that many bytes a second.
    bool Start(const std::string &folder, int bytesPerSecond = 0, int timeoutMs = 10000)
    {
        // Nothing is allocated after the fork: other threads may hold the allocator's lock.
        const std::string rate = std::to_string(bytesPerSecond);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        m_nPid = ::fork();
        if (m_nPid == 0) {
            ::dup2(out[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            if (bytesPerSecond == 0) {
                ::execlp("python3", "python3", "-u", "-m", "http.server", "0", "--bind",
                         "127.0.0.1", "--directory", folder.c_str(), nullptr);
            } else {
                ::execlp("python3", "python3", "-u", "-c", kSlowServer, folder.c_str(),
                         rate.c_str(), nullptr);
            }
            ::_exit(127);
        }
        ::close(out[1]);
        if (m_nPid < 0) {
            ::close(out[0]);
            return false;
        }
        m_nPort = ReadPort(out[0], timeoutMs);
        ::close(out[0]);
        return m_nPort > 0;
    }

    void Stop()
    {
        StopChildProcess(m_nPid);
        m_nPid = -1;
    }

    int Port() const { return m_nPort; }
    std::string Url(const std::string &name, const char *scheme = "http") const
    {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_nPort) + "/" + name;
    }

private:
    static constexpr const char *kSlowServer = R"(
import functools, http.server, sys, time
rate = int(sys.argv[2])
class Slow(http.server.SimpleHTTPRequestHandler):
    def copyfile(self, source, target):
        while True:
            chunk = source.read(max(rate // 20, 1))
            if not chunk:
                break
            target.write(chunk)
            target.flush()
            time.sleep(0.05)
server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", 0), functools.partial(Slow, directory=sys.argv[1]))
print("Serving HTTP on 127.0.0.1 port %d" % server.server_address[1], flush=True)
server.serve_forever()
)";

    // The port from the server's "Serving HTTP on 127.0.0.1 port N" line.
    static int ReadPort(int fd, int timeoutMs)
    {
        std::string text;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (text.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                return -1;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return -1;
            text.append(chunk, static_cast<size_t>(n));
        }
        const size_t at = text.find(" port ");
        return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 6);
    }

    pid_t m_nPid = -1;
    int m_nPort = -1;
};
