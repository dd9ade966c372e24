#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/codecs/decoder_ops.h"
#include "engine/codecs/raw_video.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

// No stream of the recorder comes near this; it keeps every size below in 32 bits.
constexpr int32_t kMaxRawSide = 8192;

enum class RawLayout
{
    I420,
    Yv12,
    Packed
};

struct RawState
{
    RawLayout layout = RawLayout::I420;
    Packed422 packed = Packed422::Yuy2;
    int32_t width = 0, height = 0;
    int32_t stride = 0;          // even, so chroma rows are stride / 2 apart
    std::vector<uint8_t> planes; // owned picture when the sample cannot be shown in place
};

RawState *State(VideoDecoder *decoder)
{
    return static_cast<RawState *>(decoder->pInstance);
}

int32_t ChromaWidth(int32_t width)
{
    return (width + 1) / 2;
}
int32_t ChromaHeight(int32_t height)
{
    return (height + 1) / 2;
}

uint32_t PlanarSize(int32_t width, int32_t height)
{
    return uint32_t(width) * uint32_t(height) +
           2u * uint32_t(ChromaWidth(width)) * uint32_t(ChromaHeight(height));
}

uint32_t PackedSize(int32_t width, int32_t height)
{
    return uint32_t(ChromaWidth(width)) * 4u * uint32_t(height);
}

int32_t RawInit(VideoDecoder *decoder, const uint8_t *, uint32_t, VIDEO_STREAM_INFO *info)
{
    if (!info || info->nWidth == 0 || info->nHeight == 0 || info->nWidth > kMaxRawSide ||
        info->nHeight > kMaxRawSide)
        return VANTOR_E_VIDEO_DECODER_INIT;
    std::unique_ptr<RawState> state(new (std::nothrow) RawState);
    if (!state)
        return VANTOR_E_VIDEO_DECODER_INIT;
    switch (decoder->dwFourcc) {
    case MakeFourcc("YV12"):
        state->layout = RawLayout::Yv12;
        break;
    case MakeFourcc("YUY2"):
        state->layout = RawLayout::Packed;
        state->packed = Packed422::Yuy2;
        break;
    case MakeFourcc("UYVY"):
        state->layout = RawLayout::Packed;
        state->packed = Packed422::Uyvy;
        break;
    case MakeFourcc("YVYU"):
        state->layout = RawLayout::Packed;
        state->packed = Packed422::Yvyu;
        break;
    default:
        state->layout = RawLayout::I420;
        break;
    }
    state->width = int32_t(info->nWidth);
    state->height = int32_t(info->nHeight);
    state->stride = (state->width + 1) & ~1;
    // Pictures that cannot be shown in place are built here: packed input, and odd widths,
    // whose chroma rows are not half a luma row apart.
    if (state->layout == RawLayout::Packed || state->width != state->stride)
        state->planes.assign(PlanarSize(state->stride, state->height), 0);
    delete State(decoder);
    decoder->dwOutputFormat =
        state->layout == RawLayout::Yv12 ? MakeFourcc("YV12") : MakeFourcc("I420");
    decoder->nWidth = state->width;
    decoder->nHeight = state->height;
    decoder->nBitCount = 12;
    decoder->nFrameRate = int32_t(info->nFrameRate);
    decoder->bInitialised = 1;
    decoder->pInstance = state.release();
    return VANTOR_OK;
}

void RawClose(VideoDecoder *decoder)
{
    delete State(decoder);
    decoder->pInstance = nullptr;
    decoder->bInitialised = 0;
}

// Planar input with chroma order first/second plane: Cb then Cr for I420, Cr then Cb for YV12.
void PlanarPicture(RawState *state, const uint8_t *sample, VideoPicture *picture)
{
    const uint32_t lumaSize = uint32_t(state->width) * uint32_t(state->height);
    const uint32_t chromaWidth = uint32_t(ChromaWidth(state->width));
    const uint32_t chromaSize = chromaWidth * uint32_t(ChromaHeight(state->height));
    const uint8_t *first = sample + lumaSize;
    const uint8_t *second = first + chromaSize;
    const uint8_t *cb = state->layout == RawLayout::Yv12 ? second : first;
    const uint8_t *cr = state->layout == RawLayout::Yv12 ? first : second;
    if (state->planes.empty()) {
        picture->pY = const_cast<uint8_t *>(sample);
        picture->pU = const_cast<uint8_t *>(cb);
        picture->pV = const_cast<uint8_t *>(cr);
        picture->nStride = state->width;
        return;
    }
    // Odd width: rows copied to an even stride.
    const uint32_t stride = uint32_t(state->stride);
    const uint32_t chromaStride = stride / 2;
    uint8_t *y = state->planes.data();
    uint8_t *u = y + stride * uint32_t(state->height);
    uint8_t *v = u + chromaStride * uint32_t(ChromaHeight(state->height));
    for (int32_t row = 0; row < state->height; ++row)
        std::memcpy(y + uint32_t(row) * stride, sample + uint32_t(row) * uint32_t(state->width),
                    size_t(state->width));
    for (int32_t row = 0; row < ChromaHeight(state->height); ++row) {
        std::memcpy(u + uint32_t(row) * chromaStride, cb + uint32_t(row) * chromaWidth,
                    chromaWidth);
        std::memcpy(v + uint32_t(row) * chromaStride, cr + uint32_t(row) * chromaWidth,
                    chromaWidth);
    }
    picture->pY = y;
    picture->pU = u;
    picture->pV = v;
    picture->nStride = int32_t(stride);
}

int32_t RawDecode(VideoDecoder *decoder, const uint8_t *sample, uint32_t length, int32_t timeMs,
                  VideoPicture *picture, int32_t *pictureMs, uint32_t *used)
{
    *picture = VideoPicture{};
    *used = length;
    RawState *state = State(decoder);
    if (!state || length == 0) // nothing held back to drain
        return VANTOR_OK;
    const bool packed = state->layout == RawLayout::Packed;
    const uint32_t needed =
        packed ? PackedSize(state->width, state->height) : PlanarSize(state->width, state->height);
    if (length < needed)
        return VANTOR_E_STREAM_SYNTAX;
    if (packed) {
        const uint32_t stride = uint32_t(state->stride);
        uint8_t *y = state->planes.data();
        uint8_t *u = y + stride * uint32_t(state->height);
        uint8_t *v = u + (stride / 2) * uint32_t(ChromaHeight(state->height));
        ConvertPacked422ToI420(state->packed, sample, state->width, state->height, y,
                               int32_t(stride), u, v, int32_t(stride / 2));
        *picture = VideoPicture{y, u, v, int32_t(stride)};
    } else {
        PlanarPicture(state, sample, picture);
    }
    *pictureMs = timeMs;
    return VANTOR_OK;
}

void RawReset(VideoDecoder *decoder)
{
    // Every picture stands alone.
    decoder->bWaitingForSync = 0;
    decoder->bSyncSeen = 0;
}

} // namespace

void ConvertPacked422ToI420(Packed422 order, const uint8_t *src, int32_t width, int32_t height,
                            uint8_t *y, int32_t yStride, uint8_t *u, uint8_t *v,
                            int32_t chromaStride)
{
    // Byte offsets of Y0, Y1, U and V inside one pair of pixels.
    int y0 = 0, y1 = 2, cb = 1, cr = 3;
    if (order == Packed422::Uyvy) {
        y0 = 1, y1 = 3, cb = 0, cr = 2;
    } else if (order == Packed422::Yvyu) {
        cb = 3, cr = 1;
    }
    const size_t rowBytes = size_t(ChromaWidth(width)) * 4;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t *in = src + size_t(row) * rowBytes;
        uint8_t *out = y + size_t(row) * size_t(yStride);
        for (int32_t x = 0; x < width; x += 2) {
            out[x] = in[size_t(x) * 2 + size_t(y0)];
            if (x + 1 < width)
                out[x + 1] = in[size_t(x) * 2 + size_t(y1)];
        }
    }
    for (int32_t row = 0; row < ChromaHeight(height); ++row) {
        const uint8_t *top = src + size_t(row) * 2 * rowBytes;
        const uint8_t *bottom = row * 2 + 1 < height ? top + rowBytes : top;
        uint8_t *outU = u + size_t(row) * size_t(chromaStride);
        uint8_t *outV = v + size_t(row) * size_t(chromaStride);
        for (int32_t x = 0; x < ChromaWidth(width); ++x) {
            const size_t pair = size_t(x) * 4;
            outU[x] = uint8_t((top[pair + size_t(cb)] + bottom[pair + size_t(cb)] + 1) / 2);
            outV[x] = uint8_t((top[pair + size_t(cr)] + bottom[pair + size_t(cr)] + 1) / 2);
        }
    }
}

const VideoDecoderOps g_RawVideoDecoderOps = {RawInit, RawClose, nullptr, RawDecode, RawReset};
