#pragma once

// The records the libavformat readers' files share: how a container is opened, one demuxer
// reading one kind, and the reader that holds them. Everything here is used under the source
// lock only, except the session deadline, which libavformat's interrupt callback reads.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>

#include "engine/codecs/av_owners.h"
#include "engine/source/byte_stream.h"
#include "engine/source/lavf_reader.h"
#include "engine/source/media_info.h"

namespace lavf {

// How one container is opened: the demuxer libavformat must use, or null for the elementary
// audio probe.
struct LavfFormat
{
    const char *szDemuxer;
    uint32_t nMediaType;
};

// A live network session's format: one input, no seeking.
inline constexpr LavfFormat kSession = {"rtsp", kRtspMediaType};

// One demuxer reading one kind. It reads the byte stream's sequential position, so the source's
// buffering report sees how far the first demuxer has read.
struct Demuxer
{
    ByteStreamPtr pClone; // when not on the source's stream
    AvIoContextPtr pIo;
    AvInputPtr pInput; // closed before the I/O context it reads through
    AvBsfPtr pFilter;  // rewrites the packets for our decoders, or null
    AvPacketPtr pRead;
    AvPacketPtr pPending; // the next sample, read ahead
    bool bPending = false;
    bool bEnded = false;
    int32_t nKind = 0;
    int nStream = -1;
    AVRational timeBase = {1, 1000};
    int64_t nPendingTs = 0; // in timeBase
    int64_t nLastTs = AV_NOPTS_VALUE;
    int64_t nLastDuration = 0;
    // A session's two kinds share one input (the video's): each keeps the packets of the other
    // that arrive while it reads.
    Demuxer *pSibling = nullptr;
    std::deque<AvPacketPtr> queued;
    std::atomic<int64_t> *pDeadline = nullptr; // a session's read limit, ms of the steady clock
};

struct LavfReader
{
    const LavfFormat *pFormat = nullptr;
    ByteStream *pStream = nullptr; // the source's, not owned
    std::unique_ptr<Demuxer> pFirst;
    std::unique_ptr<Demuxer> pSecond; // audio, when the first reads video
    Demuxer *pVideo = nullptr;
    Demuxer *pAudio = nullptr;
    int64_t nOriginMs = 0; // the container's start: time 0 of every sample
    bool bInfoDone = false;
    // A session's deadline, ms of the steady clock: written by the source-lock holder, read by
    // libavformat's interrupt callback on the same thread; atomic so a read never tears.
    std::atomic<int64_t> nDeadlineMs{0};
    MediaInfo info{};
};

inline bool AllocatePackets(Demuxer *d)
{
    d->pRead.reset(av_packet_alloc());
    d->pPending.reset(av_packet_alloc());
    return d->pRead && d->pPending;
}

// The input the demuxer reads: its own, or a session's shared one.
inline AVFormatContext *Input(const Demuxer *d)
{
    return d->pInput ? d->pInput.get() : d->pSibling->pInput.get();
}

inline int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline bool IsSession(const LavfReader *r)
{
    return r->pFormat == &kSession;
}

// Takes the kind's stream for the demuxer: its time base, the streams left undemuxed and the
// packet filter its codec needs. 0 or a negative engine code.
int32_t Prepare(Demuxer *d, int32_t kind, int stream);

} // namespace lavf
