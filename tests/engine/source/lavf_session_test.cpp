// Live sessions without a network: what each locator is opened as, the bounded queue of the
// kind not being read, and local servers that stay silent (one never answers, one sets the
// session up and then sends nothing): the open and the reads end within their time-outs
// instead of holding the caller.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/core/vantor_errors.h"
#include "engine/source/lavf_reader.h"
#include "engine/source/lavf_reader_internal.h"
#include "engine/source/lavf_session.h"
#include "engine/source/reader_ops.h"
#include "platform/wide_text.h"

namespace {

struct TargetCase
{
    const char *locator;
    const char *url;
    const char *demuxer;
    const char *transport; // null: libavformat's choice
};

TEST(LavfSession, EachLocatorOpensAsPlainRtspWithItsTransportOrAsAnSdpFile)
{
    const TargetCase cases[] = {
        {"rtsp://cam.local/live", "rtsp://cam.local/live", "rtsp", nullptr},
        {"rtspt://10.0.0.7:554/a?b=1", "rtsp://10.0.0.7:554/a?b=1", "rtsp", "tcp"},
        {"rtspu://10.0.0.7/a", "rtsp://10.0.0.7/a", "rtsp", "udp"},
        {"rtsph://10.0.0.7/a", "rtsp://10.0.0.7/a", "rtsp", "http"},
        {"rtspm://239.0.0.1/a", "rtsp://239.0.0.1/a", "rtsp", "udp_multicast"},
        {"rtspr://10.0.0.7/a", "rtsp://10.0.0.7/a", "rtsp", nullptr},
        {"/media/card/session.sdp", "/media/card/session.sdp", "sdp", nullptr},
        // A prefix that only looks like one, and one in capitals, stay file names.
        {"rtspx://10.0.0.7/a", "rtspx://10.0.0.7/a", "sdp", nullptr},
        {"RTSP://10.0.0.7/a", "RTSP://10.0.0.7/a", "sdp", nullptr},
    };
    for (const TargetCase &c : cases) {
        SCOPED_TRACE(c.locator);
        const LavfSessionTarget target = LavfSessionTargetOf(c.locator);
        EXPECT_EQ(target.strUrl, c.url);
        EXPECT_STREQ(target.szDemuxer, c.demuxer);
        if (c.transport) {
            EXPECT_STREQ(target.szTransport, c.transport);
        } else {
            EXPECT_EQ(target.szTransport, nullptr) << target.szTransport;
        }
        EXPECT_NE(av_find_input_format(target.szDemuxer), nullptr);
    }
}

// The kind not being read keeps the newest packets, in order, up to the bound; what it keeps is
// moved out of the packet handed in.
TEST(LavfSession, TheOtherKindsQueueKeepsTheNewestPacketsInOrder)
{
    lavf::Demuxer sibling;
    AvPacketPtr packet(av_packet_alloc());
    const int64_t count = static_cast<int64_t>(kLavfMaxQueuedPackets) + 40;
    for (int64_t i = 0; i < count; ++i) {
        ASSERT_EQ(av_new_packet(packet.get(), 8), 0);
        packet->pts = i;
        LavfKeepForSibling(&sibling, packet.get());
        EXPECT_EQ(packet->data, nullptr);
        EXPECT_EQ(packet->size, 0);
        av_packet_unref(packet.get());
    }
    ASSERT_EQ(sibling.queued.size(), kLavfMaxQueuedPackets);
    for (size_t i = 0; i < sibling.queued.size(); ++i) {
        ASSERT_EQ(sibling.queued[i]->pts,
                  count - static_cast<int64_t>(kLavfMaxQueuedPackets) + static_cast<int64_t>(i))
            << i;
        ASSERT_EQ(sibling.queued[i]->size, 8);
    }
}

int64_t MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// A loopback TCP port that accepts connections (the system completes them) and never answers.
class SilentServer
{
public:
    SilentServer()
    {
        m_nFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_nFd < 0 || ::bind(m_nFd, reinterpret_cast<sockaddr *>(&address), length) < 0 ||
            ::listen(m_nFd, 4) < 0 ||
            ::getsockname(m_nFd, reinterpret_cast<sockaddr *>(&address), &length) < 0)
            return;
        m_nPort = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;
    int Port() const { return m_nPort; }
    int Fd() const { return m_nFd; }

private:
    int m_nFd = -1;
    int m_nPort = 0;
};

// Opens a session on the loopback port the way the source does, timing the open.
int32_t OpenTimed(const char *scheme, int port, void **instance, int64_t *tookMs)
{
    const std::wstring wide =
        Utf8ToWide(std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/live");
    SourceOpenRequest request{wide.c_str(), nullptr, 0, 0};
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = g_RtspReaderOps.OpenOnRequest(&request, instance);
    *tookMs = MsSince(start);
    return result;
}

// A wait that ended by a time-out: not before it, and not long after.
void ExpectEndedByTimeOut(int64_t tookMs, int64_t timeOutMs)
{
    EXPECT_GE(tookMs, timeOutMs - 100);
    EXPECT_LT(tookMs, timeOutMs + 2000);
}

TEST(LavfSession, AServerThatNeverAnswersEndsTheOpenWithinItsTimeOut)
{
    SilentServer server;
    ASSERT_GT(server.Port(), 0);
    void *instance = nullptr;
    int64_t took = 0;
    EXPECT_EQ(OpenTimed("rtsp", server.Port(), &instance, &took), VANTOR_E_TIME_OUT);
    EXPECT_EQ(instance, nullptr);
    if (instance)
        g_RtspReaderOps.Close(instance);
    ExpectEndedByTimeOut(took, kLavfSessionOpenTimeoutMs);
}

// An RTSP server for one client on a loopback port: it describes one H.264 stream, sets it up
// interleaved on the connection and starts it, and then sends nothing at all, not even an
// answer to the goodbye.
class MuteRtspServer
{
public:
    MuteRtspServer()
    {
        if (m_listener.Port() > 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~MuteRtspServer()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int Port() const { return m_listener.Port(); }

private:
    void Serve()
    {
        pollfd wait{m_listener.Fd(), POLLIN, 0};
        while (!m_bStop && ::poll(&wait, 1, 100) == 0) {
        }
        if (m_bStop)
            return;
        const int client = ::accept(m_listener.Fd(), nullptr, nullptr);
        if (client < 0)
            return;
        std::string pending;
        char chunk[2048];
        pollfd in{client, POLLIN, 0};
        while (!m_bStop) {
            if (::poll(&in, 1, 100) <= 0)
                continue;
            const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            pending.append(chunk, static_cast<size_t>(got));
            for (size_t end; (end = pending.find("\r\n\r\n")) != std::string::npos;) {
                const std::string reply = Answer(pending.substr(0, end));
                pending.erase(0, end + 4);
                if (!reply.empty())
                    ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        }
        ::close(client);
    }

    std::string Answer(const std::string &request) const
    {
        std::string cseq = "0";
        if (const size_t at = request.find("CSeq:"); at != std::string::npos)
            cseq = std::to_string(std::atoi(request.c_str() + at + 5));
        const std::string head = "RTSP/1.0 200 OK\r\nCSeq: " + cseq + "\r\n";
        const std::string base = "rtsp://127.0.0.1:" + std::to_string(Port()) + "/live/";
        if (request.rfind("OPTIONS", 0) == 0)
            return head + "Public: DESCRIBE, SETUP, PLAY, TEARDOWN\r\n\r\n";
        if (request.rfind("DESCRIBE", 0) == 0) {
            const std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=mute\r\n"
                                    "c=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                                    "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
                                    "a=control:track1\r\n";
            return head + "Content-Base: " + base +
                   "\r\nContent-Type: application/sdp\r\nContent-Length: " +
                   std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
        }
        if (request.rfind("SETUP", 0) == 0)
            return head + "Session: 4711;timeout=60\r\n"
                          "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n\r\n";
        if (request.rfind("PLAY", 0) == 0)
            return head + "Session: 4711\r\n\r\n";
        return {}; // the goodbye stays unanswered
    }

    SilentServer m_listener;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// Set up, then silence: the stream information takes what the description gives once the
// open's time-out has passed, a read ends after the read time-out, and closing does not wait for
// the server's answer to the goodbye.
TEST(LavfSession, ASessionThatSendsNothingEndsAndClosesPromptly)
{
    MuteRtspServer server;
    ASSERT_GT(server.Port(), 0);
    void *instance = nullptr;
    int64_t took = 0;
    ASSERT_EQ(OpenTimed("rtspt", server.Port(), &instance, &took), VANTOR_OK);
    EXPECT_LT(took, 2000);

    auto start = std::chrono::steady_clock::now();
    MediaInfo info{};
    const int32_t result = g_RtspReaderOps.GetInfo(instance, &info);
    ExpectEndedByTimeOut(MsSince(start), kLavfSessionOpenTimeoutMs);
    EXPECT_EQ(result, VANTOR_OK);
    EXPECT_EQ(info.nMediaType, kRtspMediaType);
    EXPECT_EQ(info.nVideoCount, 1u);

    if (result == VANTOR_OK) {
        uint8_t buffer[4096];
        SampleRequest sample{};
        sample.pBuffer = buffer;
        sample.nBufferSize = sizeof buffer;
        sample.nKind = SAMPLE_KIND_VIDEO;
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(g_RtspReaderOps.ReadSample(instance, &sample), VANTOR_E_READ);
        ExpectEndedByTimeOut(MsSince(start), kLavfSessionReadTimeoutMs);
    }

    start = std::chrono::steady_clock::now();
    g_RtspReaderOps.Close(instance);
    EXPECT_LT(MsSince(start), 1500);
}

} // namespace
