// The compressed video decoders: MPEG-4 Part 2 / H.263 / DivX 3, JPEG, H.264 and HEVC through
// libavcodec, one decoder thread each. Pictures are handed over in place when libavcodec's planes
// are already I420 with chroma rows half a luma row apart, and copied into an I420 picture of
// the decoder's own otherwise.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "engine/codecs/av_input.h"
#include "engine/codecs/decoder_ops.h"
#include "engine/codecs/video_classify.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

// Larger pictures are refused at init, so every plane size below stays well inside 64 bits and
// no stream record can make the decoder allocate without bound.
constexpr uint32_t kMaxPictureSide = 16384;

enum class Family
{
    Mpeg4,
    Jpeg,
    H264,
    Hevc
};

struct AvVideoState
{
    AvCodecContextPtr context;
    AvFramePtr frame; // the picture handed out last; valid until the next call
    PaddedPacket packet;
    std::vector<uint8_t> planes; // I420 picture built when the frame cannot be shown in place
    bool msMpeg4 = false;        // DivX 3 rather than MPEG-4 Part 2
    int lengthSize = 0;          // H.264 or HEVC NAL length size, 0 for Annex B
    bool draining = false;       // end of stream sent to libavcodec
};

AvVideoState *State(VideoDecoder *decoder)
{
    return static_cast<AvVideoState *>(decoder->pInstance);
}

// MPEG-4 Part 2 start codes: visual object sequence, VO, VOL, GOV or VOP.
bool HasMpeg4StartCode(const uint8_t *data, uint32_t length)
{
    for (uint32_t i = 0; data && i + 3 < length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 &&
            (data[i + 3] <= 0x2F || data[i + 3] == 0xB0 || data[i + 3] == 0xB3 ||
             data[i + 3] == 0xB5 || data[i + 3] == 0xB6))
            return true;
    }
    return false;
}

AVCodecID CodecFor(Family family, uint32_t fourcc, const uint8_t *sample, uint32_t length,
                   const VIDEO_STREAM_INFO *info, bool *msMpeg4)
{
    *msMpeg4 = false;
    switch (family) {
    case Family::Jpeg:
        return AV_CODEC_ID_MJPEG;
    case Family::H264:
        return AV_CODEC_ID_H264;
    case Family::Hevc:
        return AV_CODEC_ID_HEVC;
    case Family::Mpeg4:
        break;
    }
    if (fourcc == MakeFourcc("H263") || fourcc == MakeFourcc("S263"))
        return AV_CODEC_ID_H263;
    // "DIV4" names DivX 3, which is MS-MPEG4 v3 and has no MPEG-4 start codes; a stream that
    // does carry them is decoded as MPEG-4 Part 2 like the other codes of this decoder.
    if (fourcc == MakeFourcc("DIV4") && !HasMpeg4StartCode(sample, length) &&
        !HasMpeg4StartCode(info->byExtraData, std::min(info->nExtraDataLength, kMaxExtraData))) {
        *msMpeg4 = true;
        return AV_CODEC_ID_MSMPEG4V3;
    }
    return AV_CODEC_ID_MPEG4;
}

// The stream's dimensions as libavcodec sees them after one sample, for records that leave them
// out. The decoder is flushed again, so the sample is decoded anew by the first Decode.
void LearnDimensions(AvVideoState *state, const uint8_t *sample, uint32_t length)
{
    if (!sample || length == 0)
        return;
    if (avcodec_send_packet(state->context.get(), state->packet.Fill(sample, length, 0)) == 0)
        avcodec_receive_frame(state->context.get(), state->frame.get());
    av_frame_unref(state->frame.get());
    avcodec_flush_buffers(state->context.get());
}

int32_t InitFamily(Family family, VideoDecoder *decoder, const uint8_t *sample, uint32_t length,
                   VIDEO_STREAM_INFO *info)
{
    if (!info || info->nWidth > kMaxPictureSide || info->nHeight > kMaxPictureSide)
        return VANTOR_E_VIDEO_DECODER_INIT;
    auto *state = new (std::nothrow) AvVideoState;
    if (!state)
        return VANTOR_E_VIDEO_DECODER_INIT;
    std::unique_ptr<AvVideoState> owner(state);

    const AVCodec *codec = avcodec_find_decoder(
        CodecFor(family, decoder->dwFourcc, sample, length, info, &state->msMpeg4));
    if (!codec)
        return VANTOR_E_VIDEO_DECODER_INIT;
    state->context.reset(avcodec_alloc_context3(codec));
    state->frame.reset(av_frame_alloc());
    if (!state->context || !state->frame || !state->packet.Allocate())
        return VANTOR_E_VIDEO_DECODER_INIT;
    AVCodecContext *context = state->context.get();
    // The tag as the container stored it: libavcodec picks workarounds and its IDCT by it.
    context->codec_tag = info->nFourcc;
    context->thread_count = 1;
    context->width = int(info->nWidth);
    context->height = int(info->nHeight);
    context->pkt_timebase = AVRational{1, 1000};
    const uint32_t extraLength = std::min(info->nExtraDataLength, kMaxExtraData);
    if (!SetCodecExtraData(context, info->byExtraData, extraLength) ||
        avcodec_open2(context, codec, nullptr) < 0)
        return VANTOR_E_VIDEO_DECODER_INIT;
    if (family == Family::H264)
        state->lengthSize = H264LengthSizeFromExtraData(info->byExtraData, extraLength);
    else if (family == Family::Hevc)
        state->lengthSize = HevcLengthSizeFromExtraData(info->byExtraData, extraLength);

    int width = int(info->nWidth), height = int(info->nHeight);
    if (width == 0 || height == 0) {
        LearnDimensions(state, sample, length);
        width = context->width;
        height = context->height;
    }
    if (width <= 0 || height <= 0 || uint32_t(width) > kMaxPictureSide ||
        uint32_t(height) > kMaxPictureSide)
        return VANTOR_E_VIDEO_DECODER_INIT;

    if (decoder->pInstance)
        decoder->pOps->Close(decoder);
    decoder->pInstance = owner.release();
    decoder->dwOutputFormat = MakeFourcc("I420");
    decoder->nWidth = width;
    decoder->nHeight = height;
    decoder->nBitCount = 12;
    decoder->nFrameRate = int32_t(info->nFrameRate);
    decoder->bInitialised = 1;
    return VANTOR_OK;
}

int32_t InitMpeg4(VideoDecoder *d, const uint8_t *s, uint32_t n, VIDEO_STREAM_INFO *i)
{
    return InitFamily(Family::Mpeg4, d, s, n, i);
}
int32_t InitJpeg(VideoDecoder *d, const uint8_t *s, uint32_t n, VIDEO_STREAM_INFO *i)
{
    return InitFamily(Family::Jpeg, d, s, n, i);
}
int32_t InitH264(VideoDecoder *d, const uint8_t *s, uint32_t n, VIDEO_STREAM_INFO *i)
{
    return InitFamily(Family::H264, d, s, n, i);
}
int32_t InitHevc(VideoDecoder *d, const uint8_t *s, uint32_t n, VIDEO_STREAM_INFO *i)
{
    return InitFamily(Family::Hevc, d, s, n, i);
}

void AvClose(VideoDecoder *decoder)
{
    delete State(decoder);
    decoder->pInstance = nullptr;
    decoder->bInitialised = 0;
}

bool ShowableInPlace(const AVFrame *frame, int width, int height)
{
    const bool i420 = frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P;
    return i420 && frame->width == width && frame->height == height && frame->linesize[0] > 0 &&
           frame->linesize[0] % 2 == 0 && frame->linesize[1] == frame->linesize[0] / 2 &&
           frame->linesize[2] == frame->linesize[1];
}

// Reads one plane of an 8- to 16-bit planar frame as 8-bit samples. Deeper samples lose their
// low bits, as an undithered conversion does (ffmpeg's with -sws_dither none).
class PlaneReader
{
public:
    PlaneReader(const AVFrame *frame, int plane, int depth)
        : m_pData(frame->data[plane]), m_nPitch(frame->linesize[plane]), m_nShift(depth - 8)
    {
    }
    uint8_t At(int x, int y) const
    {
        const uint8_t *row = m_pData + ptrdiff_t(y) * m_nPitch;
        if (m_nShift == 0)
            return row[x];
        uint16_t word;
        std::memcpy(&word, row + 2 * ptrdiff_t(x), sizeof word);
        return uint8_t(word >> m_nShift);
    }
    const uint8_t *Row(int y) const { return m_pData + ptrdiff_t(y) * m_nPitch; }
    bool Is8Bit() const { return m_nShift == 0; }

private:
    const uint8_t *m_pData;
    int m_nPitch;
    int m_nShift;
};

// Any planar YUV or grey frame of 8 to 16 bits (little-endian words past 8) into the decoder's
// I420 picture of width x height: chroma averaged down to 4:2:0, rows and columns the frame
// lacks filled with black. False for other pixel formats.
bool CopyToI420(const AVFrame *frame, int width, int height, std::vector<uint8_t> *planes,
                VideoPicture *picture)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL |
                                 AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                                 AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT)))
        return false;
    const bool grey = desc->nb_components <= 2;
    if (!(desc->flags & AV_PIX_FMT_FLAG_PLANAR) && !grey)
        return false;
    const int depth = desc->comp[0].depth;
    for (int c = 0; c < (grey ? 1 : 3); ++c) {
        const int step = depth > 8 ? 2 : 1;
        if (desc->comp[c].depth != depth || depth < 8 || depth > 16 ||
            desc->comp[c].step != step || desc->comp[c].plane != c || desc->comp[c].shift != 0)
            return false;
    }
    const size_t stride = size_t((width + 1) & ~1);
    const size_t chromaStride = stride / 2;
    const size_t chromaRows = size_t((height + 1) / 2);
    planes->resize(stride * size_t(height) + 2 * chromaStride * chromaRows);
    uint8_t *y = planes->data();
    uint8_t *u = y + stride * size_t(height);
    uint8_t *v = u + chromaStride * chromaRows;

    const int copyWidth = std::min(width, frame->width);
    const int copyHeight = std::min(height, frame->height);
    const PlaneReader luma(frame, 0, depth);
    for (int row = 0; row < height; ++row) {
        uint8_t *out = y + size_t(row) * stride;
        int done = 0;
        if (row < copyHeight) {
            if (luma.Is8Bit()) {
                std::memcpy(out, luma.Row(row), size_t(copyWidth));
            } else {
                for (int x = 0; x < copyWidth; ++x)
                    out[x] = luma.At(x, row);
            }
            done = copyWidth;
        }
        std::memset(out + done, 16, stride - size_t(done));
    }
    const int sx = desc->log2_chroma_w, sy = desc->log2_chroma_h;
    const int sourceChromaWidth = -((-frame->width) >> sx);
    const int sourceChromaHeight = -((-frame->height) >> sy);
    // Source chroma samples covering one 2x2 block of luma.
    const int spanX = sx >= 1 ? 1 : 2, spanY = sy >= 1 ? 1 : 2;
    for (int plane = 1; plane <= 2; ++plane) {
        uint8_t *outPlane = plane == 1 ? u : v;
        const PlaneReader chroma(frame, grey ? 0 : plane, depth);
        for (size_t row = 0; row < chromaRows; ++row) {
            uint8_t *out = outPlane + row * chromaStride;
            for (size_t x = 0; x < chromaStride; ++x) {
                const int lumaX = int(x) * 2, lumaY = int(row) * 2;
                if (grey || lumaX >= copyWidth || lumaY >= copyHeight) {
                    out[x] = 128;
                    continue;
                }
                const int cx = lumaX >> sx, cy = lumaY >> sy;
                unsigned sum = 0, count = 0;
                for (int dy = 0; dy < spanY && cy + dy < sourceChromaHeight; ++dy)
                    for (int dx = 0; dx < spanX && cx + dx < sourceChromaWidth; ++dx, ++count)
                        sum += chroma.At(cx + dx, cy + dy);
                out[x] = uint8_t(count ? (sum + count / 2) / count : 128);
            }
        }
    }
    *picture = VideoPicture{y, u, v, int32_t(stride)};
    return true;
}

// The frame just received, as the picture of this call.
int32_t HandOver(VideoDecoder *decoder, AvVideoState *state, int32_t timeMs, VideoPicture *picture,
                 int32_t *pictureMs)
{
    const AVFrame *frame = state->frame.get();
    if (ShowableInPlace(frame, decoder->nWidth, decoder->nHeight)) {
        *picture = VideoPicture{frame->data[0], frame->data[1], frame->data[2],
                                int32_t(frame->linesize[0])};
    } else if (!CopyToI420(frame, decoder->nWidth, decoder->nHeight, &state->planes, picture)) {
        return VANTOR_E_UNSUPPORTED_VIDEO;
    }
    int64_t pts = frame->pts;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->best_effort_timestamp;
    *pictureMs = pts == AV_NOPTS_VALUE ? timeMs : int32_t(pts);
    return VANTOR_OK;
}

int32_t AvDecode(VideoDecoder *decoder, const uint8_t *sample, uint32_t length, int32_t timeMs,
                 VideoPicture *picture, int32_t *pictureMs, uint32_t *used)
{
    *picture = VideoPicture{};
    *used = 0;
    AvVideoState *state = State(decoder);
    if (!state)
        return VANTOR_E_VIDEO_DECODER_INIT;
    AVCodecContext *context = state->context.get();
    AVFrame *frame = state->frame.get();
    av_frame_unref(frame);

    if (length == 0 || !sample) {
        // End of stream: each call hands out one of the pictures still held back.
        if (!state->draining) {
            avcodec_send_packet(context, nullptr);
            state->draining = true;
        }
        if (avcodec_receive_frame(context, frame) == 0)
            return HandOver(decoder, state, timeMs, picture, pictureMs);
        return VANTOR_OK;
    }
    if (state->draining) {
        // Samples after the end of stream start a new one.
        avcodec_flush_buffers(context);
        state->draining = false;
    }

    AVPacket *packet = state->packet.Fill(sample, length, timeMs);
    int result = avcodec_send_packet(context, packet);
    if (result == AVERROR(EAGAIN)) {
        // A picture is waiting to come out first; the sample is offered again.
        if (avcodec_receive_frame(context, frame) == 0)
            return HandOver(decoder, state, timeMs, picture, pictureMs);
        return VANTOR_OK;
    }
    *used = length;
    if (result < 0)
        return VANTOR_E_STREAM_SYNTAX;
    result = avcodec_receive_frame(context, frame);
    if (result == 0)
        return HandOver(decoder, state, timeMs, picture, pictureMs);
    if (result == AVERROR(EAGAIN))
        return VANTOR_OK;
    return VANTOR_E_STREAM_SYNTAX;
}

void AvReset(VideoDecoder *decoder)
{
    if (AvVideoState *state = State(decoder)) {
        av_frame_unref(state->frame.get());
        avcodec_flush_buffers(state->context.get());
        state->draining = false;
    }
    decoder->bWaitingForSync = decoder->pOps->Classify ? 1 : 0;
    decoder->bSyncSeen = 0;
}

int32_t ClassifyMpeg4(VideoDecoder *decoder, const uint8_t *sample, uint32_t length)
{
    const AvVideoState *state = State(decoder);
    if (state && state->msMpeg4)
        return ClassifyMsMpeg4Sample(sample, length);
    return ClassifyMpeg4Sample(sample, length);
}

int32_t ClassifyH264(VideoDecoder *decoder, const uint8_t *sample, uint32_t length)
{
    const AvVideoState *state = State(decoder);
    return ClassifyH264Sample(sample, length, state ? state->lengthSize : 0);
}

int32_t ClassifyHevc(VideoDecoder *decoder, const uint8_t *sample, uint32_t length)
{
    const AvVideoState *state = State(decoder);
    return ClassifyHevcSample(sample, length, state ? state->lengthSize : 0);
}

} // namespace

const VideoDecoderOps g_Mpeg4VideoDecoderOps = {InitMpeg4, AvClose, ClassifyMpeg4, AvDecode,
                                                AvReset};
const VideoDecoderOps g_JpegVideoDecoderOps = {InitJpeg, AvClose, nullptr, AvDecode, AvReset};
const VideoDecoderOps g_H264VideoDecoderOps = {InitH264, AvClose, ClassifyH264, AvDecode, AvReset};
const VideoDecoderOps g_HevcVideoDecoderOps = {InitHevc, AvClose, ClassifyHevc, AvDecode, AvReset};
