#include "export/clip_remux.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <unistd.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include "engine/codecs/av_owners.h"
#include "engine/codecs/video_classify.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"

namespace {

struct VideoCodecName
{
    uint32_t dwFourcc; // upper-cased
    AVCodecID id;
};

// The names the decoder tables take, with the compressed format each stands for.
constexpr VideoCodecName kVideoCodecs[] = {
    {MakeFourcc("XVID"), AV_CODEC_ID_MPEG4},     {MakeFourcc("DIVX"), AV_CODEC_ID_MPEG4},
    {MakeFourcc("DX50"), AV_CODEC_ID_MPEG4},     {MakeFourcc("DIV5"), AV_CODEC_ID_MPEG4},
    {MakeFourcc("MP4V"), AV_CODEC_ID_MPEG4},     {MakeFourcc("MP4S"), AV_CODEC_ID_MPEG4},
    {MakeFourcc("FMP4"), AV_CODEC_ID_MPEG4},     {MakeFourcc("DIV3"), AV_CODEC_ID_MSMPEG4V3},
    {MakeFourcc("DIV4"), AV_CODEC_ID_MSMPEG4V3}, {MakeFourcc("H263"), AV_CODEC_ID_H263},
    {MakeFourcc("S263"), AV_CODEC_ID_H263},      {MakeFourcc("H264"), AV_CODEC_ID_H264},
    {MakeFourcc("AVC1"), AV_CODEC_ID_H264},      {MakeFourcc("X264"), AV_CODEC_ID_H264},
    {MakeFourcc("DAVC"), AV_CODEC_ID_H264},      {MakeFourcc("VSSH"), AV_CODEC_ID_H264},
    {MakeFourcc("HEVC"), AV_CODEC_ID_HEVC},      {MakeFourcc("H265"), AV_CODEC_ID_HEVC},
    {MakeFourcc("HVC1"), AV_CODEC_ID_HEVC},      {MakeFourcc("HEV1"), AV_CODEC_ID_HEVC},
    {MakeFourcc("MJPG"), AV_CODEC_ID_MJPEG},     {MakeFourcc("JPEG"), AV_CODEC_ID_MJPEG},
    {MakeFourcc("PGJP"), AV_CODEC_ID_MJPEG},     {MakeFourcc("AVRN"), AV_CODEC_ID_MJPEG},
    {MakeFourcc("LJPG"), AV_CODEC_ID_MJPEG},     {MakeFourcc("JPGL"), AV_CODEC_ID_MJPEG},
    {MakeFourcc("DMB1"), AV_CODEC_ID_MJPEG},
};

// "DIV4" is DivX 3 unless its stream carries MPEG-4 Part 2 headers, as the decoder decides.
bool HasMpeg4Headers(const uint8_t *data, uint32_t length)
{
    for (uint32_t i = 0; i + 3 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 &&
            (data[i + 3] <= 0x2F || data[i + 3] == 0xB0 || data[i + 3] == 0xB5))
            return true;
    }
    return false;
}

struct AudioCodecName
{
    uint32_t dwFormat; // WAVE format code or a fourcc as stored
    AVCodecID id;
};

constexpr AudioCodecName kAudioCodecs[] = {
    {0xFF, AV_CODEC_ID_AAC},
    {0xFD, AV_CODEC_ID_AAC},
    {0xFE, AV_CODEC_ID_AAC},
    {MakeFourcc("raac"), AV_CODEC_ID_AAC},
    {MakeFourcc("racp"), AV_CODEC_ID_AAC},
    {0x55, AV_CODEC_ID_MP3},
    {0x50, AV_CODEC_ID_MP2},
    {0x06, AV_CODEC_ID_PCM_ALAW},
    {0x07, AV_CODEC_ID_PCM_MULAW},
    {0x11, AV_CODEC_ID_ADPCM_IMA_WAV},
    {0x2000, AV_CODEC_ID_AC3},
};

// One stream of the clip being copied, with the next sample read ahead so that the streams
// can be merged in time order.
struct Cursor
{
    int32_t nKind = 0;
    uint32_t nStream = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int nLengthSize = 0; // H.264 NAL length size, 0 for Annex B
    AVStream *pOut = nullptr;
    std::vector<uint8_t> buffer;
    bool bPending = false;
    bool bEnded = false;
    uint32_t nTime = 0, nDuration = 0, nLength = 0;
    int64_t nLastDts = -1;
};

struct Held
{
    size_t nCursor;
    std::vector<uint8_t> data;
    uint32_t nTime, nDuration;
    bool bKey;
};

struct SourceCloser
{
    void operator()(SourceObject *source) const { SourceClose(source); }
};

bool ReadAhead(SourceObject *source, Cursor &c)
{
    if (c.buffer.empty())
        c.buffer.resize(64 * 1024);
    for (;;) {
        SampleRequest request{};
        request.pBuffer = c.buffer.data();
        request.nBufferSize = uint32_t(c.buffer.size());
        request.nKind = c.nKind;
        request.nStream = c.nStream;
        int32_t readerResult = 0;
        if (SourceRead(source, &request, &readerResult) == VANTOR_OK) {
            c.nTime = request.nTime;
            c.nDuration = request.nDuration;
            c.nLength = request.nLength;
            c.bPending = true;
            return true;
        }
        // A sample larger than any the header announced: read again with room for it.
        if (readerResult == VANTOR_E_BUFFER_TOO_SMALL && request.nBufferSize > c.buffer.size() &&
            request.nBufferSize <= 64u * 1024 * 1024) {
            c.buffer.resize(request.nBufferSize);
            continue;
        }
        c.bPending = false;
        c.bEnded = true;
        return false;
    }
}

bool IsKeySample(const Cursor &c)
{
    const uint8_t *data = c.buffer.data();
    switch (c.codec) {
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_H263:
        return ClassifyMpeg4Sample(data, c.nLength) == kClassifySyncPoint;
    case AV_CODEC_ID_MSMPEG4V3:
        return ClassifyMsMpeg4Sample(data, c.nLength) == kClassifySyncPoint;
    case AV_CODEC_ID_H264:
        return ClassifyH264Sample(data, c.nLength, c.nLengthSize) == kClassifySyncPoint;
    case AV_CODEC_ID_HEVC:
        return ClassifyHevcSample(data, c.nLength, c.nLengthSize) == kClassifySyncPoint;
    default:
        return true; // intra-only pictures and all sound
    }
}

std::string AvErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool SetExtraData(AVCodecParameters *par, const uint8_t *data, uint32_t length)
{
    length = std::min(length, kMaxExtraData);
    if (length == 0)
        return true;
    par->extradata = static_cast<uint8_t *>(av_mallocz(length + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        return false;
    std::memcpy(par->extradata, data, length);
    par->extradata_size = int(length);
    return true;
}

class Remuxer
{
public:
    Remuxer(const REMUX_REQUEST &request, const RemuxProgress &progress)
        : m_request(request), m_progress(progress)
    {
    }

    REMUX_RESULT Run();

private:
    bool OpenSource();
    bool PlanStreams();
    bool OpenOutput(bool matroska);
    // The output is opened at the first sample, when the creation time is known.
    bool OpenOutputOnce();
    bool Copy();
    bool WriteSample(size_t cursor, const uint8_t *data, uint32_t length, uint32_t time,
                     uint32_t duration, bool key);
    Cursor *NextCursor();
    bool Fail(const std::string &why)
    {
        m_result.error = why;
        return false;
    }

    const REMUX_REQUEST &m_request;
    const RemuxProgress &m_progress;
    REMUX_RESULT m_result;
    std::unique_ptr<SourceObject, SourceCloser> m_source;
    MediaInfo m_info{};
    std::vector<Cursor> m_cursors;
    AvOutputPtr m_out;
    AvPacketPtr m_packet;
    std::string m_partPath;
    bool m_bFirstWritten = false;
};

bool Remuxer::OpenSource()
{
    SourceObject *source = nullptr;
    if (const int32_t result = SourceOpenPath(m_request.source, &source, &m_info); result < 0)
        return Fail(std::string("The clip cannot be read: ") + VantorErrorText(result));
    m_source.reset(source);
    return true;
}

bool Remuxer::PlanStreams()
{
    for (uint32_t i = 0; i < m_info.nVideoCount && i < kMaxVideoStreams; ++i) {
        const VIDEO_STREAM_INFO &v = m_info.video[i];
        Cursor c;
        c.nKind = SAMPLE_KIND_VIDEO;
        c.nStream = i;
        c.codec = AVCodecID(VideoCodecIdForFourcc(v.nFourcc));
        if (c.codec == AV_CODEC_ID_NONE)
            return Fail("The clip's picture format (" + FourccText(v.nFourcc) +
                        ") cannot be copied.");
        const uint32_t extra = std::min(v.nExtraDataLength, kMaxExtraData);
        if (c.codec == AV_CODEC_ID_MSMPEG4V3 && FourccUpperCase(v.nFourcc) == MakeFourcc("DIV4") &&
            HasMpeg4Headers(v.byExtraData, extra))
            c.codec = AV_CODEC_ID_MPEG4;
        if (c.codec == AV_CODEC_ID_H264)
            c.nLengthSize = H264LengthSizeFromExtraData(v.byExtraData, extra);
        if (c.codec == AV_CODEC_ID_HEVC)
            c.nLengthSize = HevcLengthSizeFromExtraData(v.byExtraData, extra);
        m_cursors.push_back(std::move(c));
    }
    for (uint32_t i = 0; i < m_info.nAudioCount && i < kMaxAudioStreams; ++i) {
        const AUDIO_STREAM_INFO &a = m_info.audio[i];
        Cursor c;
        c.nKind = SAMPLE_KIND_AUDIO;
        c.nStream = i;
        c.codec = AVCodecID(AudioCodecIdForFormat(a.nFormat, a.nBitsPerSample));
        // Sound the muxers cannot name is left out rather than the whole copy refused.
        if (c.codec != AV_CODEC_ID_NONE)
            m_cursors.push_back(std::move(c));
    }
    if (m_cursors.empty())
        return Fail("The clip has no picture or sound to copy.");
    return true;
}

bool Remuxer::OpenOutput(bool matroska)
{
    m_out.reset();
    m_result.bMatroska = matroska;
    m_result.path = matroska ? WithExtension(m_request.target, "mkv") : m_request.target;
    m_partPath = m_result.path + ".part";
    AVFormatContext *ctx = nullptr;
    if (avformat_alloc_output_context2(&ctx, nullptr, matroska ? "matroska" : "mp4",
                                       m_partPath.c_str()) < 0 ||
        !ctx)
        return Fail("The video file cannot be prepared.");
    m_out.reset(ctx);
    for (Cursor &c : m_cursors) {
        AVStream *st = avformat_new_stream(ctx, nullptr);
        if (!st)
            return Fail("Out of memory.");
        AVCodecParameters *par = st->codecpar;
        par->codec_id = c.codec;
        if (c.nKind == SAMPLE_KIND_VIDEO) {
            const VIDEO_STREAM_INFO &v = m_info.video[c.nStream];
            par->codec_type = AVMEDIA_TYPE_VIDEO;
            par->width = int(v.nWidth);
            par->height = int(v.nHeight);
            if (!SetExtraData(par, v.byExtraData, v.nExtraDataLength))
                return Fail("Out of memory.");
            if (v.nFrameRate > 0)
                st->avg_frame_rate = AVRational{int(v.nFrameRate), 1000};
        } else {
            const AUDIO_STREAM_INFO &a = m_info.audio[c.nStream];
            par->codec_type = AVMEDIA_TYPE_AUDIO;
            par->sample_rate = int(a.nSampleRate);
            av_channel_layout_default(&par->ch_layout, int(std::max<uint32_t>(a.nChannels, 1)));
            par->bits_per_coded_sample = int(a.nBitsPerSample);
            par->block_align = int(a.nBlockAlign);
            par->bit_rate = a.nBitRate;
            if (par->codec_id == AV_CODEC_ID_AAC)
                par->frame_size = 1024;
            if (!SetExtraData(par, a.byExtraData, a.nExtraDataLength))
                return Fail("Out of memory.");
        }
        st->time_base = AVRational{1, 1000};
        c.pOut = st;
    }
    if (m_request.nClipStartUtcMs >= 0) {
        // libavformat reads creation_time as ISO 8601 in UTC.
        const int64_t utc = m_request.nClipStartUtcMs + m_result.nFirstMs;
        const time_t seconds = time_t(utc / 1000);
        tm t{};
        gmtime_r(&seconds, &t);
        char text[80];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                      int(utc % 1000) * 1000);
        av_dict_set(&ctx->metadata, "creation_time", text, 0);
    }
    if (const int result = avio_open(&ctx->pb, m_partPath.c_str(), AVIO_FLAG_WRITE); result < 0)
        return Fail("The video file cannot be written: " + AvErrorText(result));
    AvOptions options;
    if (!matroska)
        av_dict_set(&options.p, "movflags", "+faststart", 0);
    if (const int result = avformat_write_header(ctx, &options.p); result < 0) {
        avio_closep(&ctx->pb);
        ::unlink(m_partPath.c_str());
        return Fail("The video file cannot be started: " + AvErrorText(result));
    }
    return true;
}

bool Remuxer::OpenOutputOnce()
{
    const AVOutputFormat *mp4 = av_guess_format("mp4", nullptr, nullptr);
    bool matroska = false;
    for (const Cursor &c : m_cursors) {
        if (!mp4 || avformat_query_codec(mp4, c.codec, FF_COMPLIANCE_NORMAL) != 1)
            matroska = true;
    }
    if (OpenOutput(matroska))
        return true;
    if (matroska)
        return false;
    // MP4 refused a stream the query let through: Matroska takes almost anything.
    const std::string mp4Error = m_result.error;
    if (OpenOutput(true))
        return true;
    m_result.error = mp4Error;
    return false;
}

Cursor *Remuxer::NextCursor()
{
    Cursor *next = nullptr;
    for (Cursor &c : m_cursors) {
        if (!c.bPending && !c.bEnded)
            ReadAhead(m_source.get(), c);
        if (!c.bPending)
            continue;
        // Video first at equal times: the key frame opens the span before its sound.
        if (!next || c.nTime < next->nTime)
            next = &c;
    }
    return next;
}

bool Remuxer::WriteSample(size_t cursor, const uint8_t *data, uint32_t length, uint32_t time,
                          uint32_t duration, bool key)
{
    Cursor &c = m_cursors[cursor];
    if (!m_bFirstWritten) {
        m_bFirstWritten = true;
        m_result.nFirstMs = time;
        if (!OpenOutputOnce())
            return false;
    }
    m_result.nLastMs = std::max(m_result.nLastMs, time);
    if (av_new_packet(m_packet.get(), int(length)) < 0)
        return Fail("Out of memory.");
    std::memcpy(m_packet->data, data, length);
    int64_t ts = int64_t(time) - int64_t(m_result.nFirstMs);
    // Two samples of one stream on the same millisecond would stop the muxer.
    if (ts <= c.nLastDts)
        ts = c.nLastDts + 1;
    c.nLastDts = ts;
    m_packet->pts = m_packet->dts = ts;
    m_packet->duration = duration;
    m_packet->stream_index = c.pOut->index;
    m_packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(m_packet.get(), AVRational{1, 1000}, c.pOut->time_base);
    if (const int result = av_interleaved_write_frame(m_out.get(), m_packet.get()); result < 0)
        return Fail("The video file cannot be written: " + AvErrorText(result));
    ++m_result.nPackets;
    return true;
}

bool Remuxer::Copy()
{
    // The span opens at the last key frame of the first picture stream at or before the start
    // (the first one after it when there is none), so the first picture decodes. Samples from
    // that key frame on are held until the start is reached.
    const size_t anchor = 0;
    const uint32_t from = m_request.nFromMs, to = m_request.nToMs;
    std::vector<Held> held;
    bool keySeen = false, started = false;
    int lastPercent = -1;
    while (Cursor *c = NextCursor()) {
        const size_t index = size_t(c - m_cursors.data());
        c->bPending = false;
        if (c->nTime >= to) {
            c->bEnded = true; // the rest of this stream lies after the span
            continue;
        }
        const int percent =
            int(std::min<uint64_t>(100, uint64_t(c->nTime) * 100 / std::max(to, 1u)));
        if (percent != lastPercent) {
            lastPercent = percent;
            if (m_progress && !m_progress(percent))
                return Fail("Cancelled.");
        }
        const bool key = IsKeySample(*c);
        if (started) {
            if (!WriteSample(index, c->buffer.data(), c->nLength, c->nTime, c->nDuration, key))
                return false;
            continue;
        }
        if (index == anchor && key && (c->nTime <= from || !keySeen)) {
            held.clear();
            keySeen = true;
        }
        if (!keySeen)
            continue;
        held.push_back({index,
                        std::vector<uint8_t>(c->buffer.begin(), c->buffer.begin() + c->nLength),
                        c->nTime, c->nDuration, key});
        if (c->nTime >= from) {
            started = true;
            for (const Held &h : held) {
                if (!WriteSample(h.nCursor, h.data.data(), uint32_t(h.data.size()), h.nTime,
                                 h.nDuration, h.bKey))
                    return false;
            }
            held.clear();
        }
    }
    if (m_result.nPackets == 0)
        return Fail("The chosen span lies after the end of the clip.");
    if (const int result = av_write_trailer(m_out.get()); result < 0)
        return Fail("The video file cannot be finished: " + AvErrorText(result));
    if (const int result = avio_closep(&m_out->pb); result < 0)
        return Fail("The video file cannot be finished: " + AvErrorText(result));
    if (::rename(m_partPath.c_str(), m_result.path.c_str()) != 0)
        return Fail(std::string("The video file cannot be named: ") + std::strerror(errno));
    if (m_progress)
        m_progress(100);
    return true;
}

REMUX_RESULT Remuxer::Run()
{
    m_packet.reset(av_packet_alloc());
    if (!m_packet) {
        m_result.error = "Out of memory.";
        return m_result;
    }
    if (m_request.nToMs <= m_request.nFromMs) {
        m_result.error = "The end of the span must lie after its start.";
        return m_result;
    }
    if (!OpenSource() || !PlanStreams())
        return m_result;
    m_result.bOk = Copy();
    if (!m_result.bOk) {
        if (m_out && m_out->pb)
            avio_closep(&m_out->pb);
        ::unlink(m_partPath.c_str());
    }
    return m_result;
}

} // namespace

int VideoCodecIdForFourcc(uint32_t fourcc)
{
    const uint32_t upper = FourccUpperCase(fourcc);
    for (const VideoCodecName &entry : kVideoCodecs) {
        if (entry.dwFourcc == upper)
            return entry.id;
    }
    return AV_CODEC_ID_NONE;
}

int AudioCodecIdForFormat(uint32_t format, uint32_t bitsPerSample)
{
    if (format == 1) // WAVE PCM: 8-bit is unsigned, wider is signed little-endian
        return bitsPerSample == 8    ? AV_CODEC_ID_PCM_U8
               : bitsPerSample == 24 ? AV_CODEC_ID_PCM_S24LE
               : bitsPerSample == 32 ? AV_CODEC_ID_PCM_S32LE
                                     : AV_CODEC_ID_PCM_S16LE;
    for (const AudioCodecName &entry : kAudioCodecs) {
        if (entry.dwFormat == format)
            return entry.id;
    }
    return AV_CODEC_ID_NONE;
}

std::string WithExtension(const std::string &path, const std::string &ext)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + "." + ext;
    return path.substr(0, dot + 1) + ext;
}

REMUX_RESULT RemuxClip(const REMUX_REQUEST &request, const RemuxProgress &progress)
{
    return Remuxer(request, progress).Run();
}
