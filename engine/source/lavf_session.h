#pragma once

// Live sessions over libavformat: an rtsp-family locator through its RTSP client, or a local SDP
// file describing RTP streams. Both kinds read one input; the audio's demuxer keeps the packets
// that arrive for it while the video reads, and the other way round. Everything runs under the
// source lock; libavformat calls the interrupt callback on that same thread.

#include <cstddef>
#include <cstdint>
#include <string>

struct AVPacket;
struct SourceOpenRequest;
namespace lavf {
struct Demuxer;
struct LavfReader;
} // namespace lavf

// A session gives up when opening (connection and stream information) takes this long, or a
// read waits this long for a packet.
constexpr int64_t kLavfSessionOpenTimeoutMs = 10000;
constexpr int64_t kLavfSessionReadTimeoutMs = 5000;
// Packets a session keeps for the kind that is not being read, the oldest dropped beyond.
constexpr size_t kLavfMaxQueuedPackets = 1024;

// What a session locator (UTF-8) is opened as.
struct LavfSessionTarget
{
    std::string strUrl;      // handed to libavformat
    const char *szDemuxer;   // "rtsp", or "sdp" for anything without a session prefix
    const char *szTransport; // the RTSP transport the prefix chooses, or null
};
LavfSessionTarget LavfSessionTargetOf(const std::string &locator);

// The session reader's open on request: the instance is a lavf::LavfReader, freed by the
// readers' Close. Failures give the HTTP back-end's codes (HttpErrorCode), and the time-out
// code when the server has not answered within kLavfSessionOpenTimeoutMs.
int32_t LavfOpenSession(SourceOpenRequest *request, void **instance);

// Moves a packet that arrived on the sibling's stream into its queue, dropping the oldest one
// beyond kLavfMaxQueuedPackets. The packet is left empty (kept as it was when no memory is left
// for the queue's entry); the caller unreferences it either way.
void LavfKeepForSibling(lavf::Demuxer *sibling, AVPacket *packet);

// A session's audio reads the video's input: a second demuxer on r->pFirst's input for the
// stream, in r->pSecond and r->pAudio. 0 or a negative engine code.
int32_t LavfShareInput(lavf::LavfReader *r, int audioStream);
