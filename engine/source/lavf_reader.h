#pragma once

#include <cstdint>

#include "engine/source/reader_ops.h"

// The containers libavformat reads for us. Detection chooses the reader, and the reader asks
// libavformat for that container's demuxer only, so content never ends up in a demuxer that
// detection did not pick. Each kind has its own table; the operations are shared: open on
// stream, close, get info, read sample, seek and seek to key frame. All run under the source
// lock.
extern const ReaderOps g_Mp4ReaderOps;
extern const ReaderOps g_AsfReaderOps;
extern const ReaderOps g_FlvReaderOps;
extern const ReaderOps g_ProgramStreamReaderOps;
extern const ReaderOps g_OggReaderOps;
extern const ReaderOps g_RealMediaReaderOps;
extern const ReaderOps g_TransportStreamReaderOps;
extern const ReaderOps g_WaveReaderOps;
extern const ReaderOps g_QcelpReaderOps;
extern const ReaderOps g_JpegReaderOps;
// Only MPEG audio (layers 1 to 3) and AMR; any other content answers 0x80000019.
extern const ReaderOps g_ElementaryAudioReaderOps;

// Live sessions, opened on the request: "rtsp://" (and rtspt/rtspu/rtsph/rtspm/rtspr, which
// choose the transport) through libavformat's RTSP client, or a local ".sdp" file describing
// RTP streams. Both kinds come from one connection; there is no seeking. A session that sends
// nothing for 5 s ends.
extern const ReaderOps g_RtspReaderOps;

// The session locators' prefixes; each is opened as plain "rtsp://" with its transport
// (null: libavformat's choice).
struct SessionScheme
{
    const char *szPrefix;
    const char *szTransport;
};
inline constexpr SessionScheme kSessionSchemes[] = {
    {"rtsp://", nullptr}, {"rtspt://", "tcp"},           {"rtspu://", "udp"},
    {"rtsph://", "http"}, {"rtspm://", "udp_multicast"}, {"rtspr://", nullptr},
};

// Media types these readers report (AVI is 5 and CLF 12).
constexpr uint32_t kMp4MediaType = 1;
constexpr uint32_t kAsfMediaType = 2;
constexpr uint32_t kFlvMediaType = 3;
constexpr uint32_t kProgramStreamMediaType = 4;
constexpr uint32_t kOggMediaType = 6;
constexpr uint32_t kRealMediaMediaType = 7;
constexpr uint32_t kTransportStreamMediaType = 8;
constexpr uint32_t kWaveMediaType = 9;
constexpr uint32_t kQcelpMediaType = 10;
constexpr uint32_t kJpegMediaType = 11;
constexpr uint32_t kElementaryAudioMediaType = 13;
constexpr uint32_t kRtspMediaType = 14;

// Packets the seek's forward scan reads at most, looking for its key frames.
constexpr uint32_t kLavfSeekScanPackets = 4096;
