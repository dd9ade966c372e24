// The built-in decoder tables: which decoder class takes a stream, by fourcc or format code.
#include <new>

#include "engine/codecs/decoder_ops.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

struct VideoCodecEntry
{
    uint32_t dwFourcc; // upper-cased
    const VideoDecoderOps *pOps;
};

constexpr VideoCodecEntry kVideoCodecs[] = {
    {0, &g_RawVideoDecoderOps},
    {MakeFourcc("I420"), &g_RawVideoDecoderOps},
    {MakeFourcc("YV12"), &g_RawVideoDecoderOps},
    {MakeFourcc("YUY2"), &g_RawVideoDecoderOps},
    {MakeFourcc("UYVY"), &g_RawVideoDecoderOps},
    {MakeFourcc("YVYU"), &g_RawVideoDecoderOps},
    {MakeFourcc("MP4V"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("MP4S"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("DIVX"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("DIV4"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("DIV5"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("DX50"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("XVID"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("FMP4"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("H263"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("S263"), &g_Mpeg4VideoDecoderOps},
    {MakeFourcc("JPEG"), &g_JpegVideoDecoderOps},
    {MakeFourcc("PGJP"), &g_JpegVideoDecoderOps},
    // Motion JPEG as recorders and capture cards label it.
    {MakeFourcc("MJPG"), &g_JpegVideoDecoderOps},
    {MakeFourcc("AVRN"), &g_JpegVideoDecoderOps},
    {MakeFourcc("LJPG"), &g_JpegVideoDecoderOps},
    {MakeFourcc("JPGL"), &g_JpegVideoDecoderOps},
    {MakeFourcc("DMB1"), &g_JpegVideoDecoderOps},
    {MakeFourcc("H264"), &g_H264VideoDecoderOps},
    {MakeFourcc("AVC1"), &g_H264VideoDecoderOps},
    {MakeFourcc("WVC1"), &g_H264VideoDecoderOps},
    // H.264 under the names of the encoders that wrote it.
    {MakeFourcc("X264"), &g_H264VideoDecoderOps},
    {MakeFourcc("DAVC"), &g_H264VideoDecoderOps},
    {MakeFourcc("VSSH"), &g_H264VideoDecoderOps},
    {MakeFourcc("HEVC"), &g_HevcVideoDecoderOps},
    {MakeFourcc("H265"), &g_HevcVideoDecoderOps},
    {MakeFourcc("HVC1"), &g_HevcVideoDecoderOps},
    {MakeFourcc("HEV1"), &g_HevcVideoDecoderOps},
};

struct AudioCodecEntry
{
    uint32_t dwFormat; // WAVE format code, or a fourcc as it is stored
    uint32_t nSamplesPerFrame;
    const AudioDecoderOps *pOps;
};

constexpr AudioCodecEntry kAudioCodecs[] = {
    {0xFF, 1024, &g_AacAudioDecoderOps},
    {0xFD, 2048, &g_AacAudioDecoderOps},
    {0xFE, 2048, &g_AacAudioDecoderOps},
    {MakeFourcc("raac"), 1024, &g_AacAudioDecoderOps},
    {MakeFourcc("racp"), 2048, &g_AacAudioDecoderOps},
};

constexpr uint32_t kTextCodecs[] = {MakeFourcc("T140"), MakeFourcc("SAMI"), MakeFourcc("TRVX")};

} // namespace

int32_t VideoDecoderCreate(uint32_t fourcc, VideoDecoder **decoder)
{
    if (!decoder)
        return VANTOR_E_INVALID_ARG;
    *decoder = nullptr;
    const uint32_t upper = FourccUpperCase(fourcc);
    for (const VideoCodecEntry &entry : kVideoCodecs) {
        if (entry.dwFourcc != upper)
            continue;
        auto *created = new (std::nothrow) VideoDecoder{};
        if (!created)
            return VANTOR_E_OUT_OF_MEMORY;
        created->pOps = entry.pOps;
        created->dwFourcc = upper;
        created->dwOutputFormat = upper == MakeFourcc("YV12") ? upper : MakeFourcc("I420");
        created->bWaitingForSync = entry.pOps->Classify ? 1 : 0;
        *decoder = created;
        return VANTOR_OK;
    }
    return VANTOR_E_UNSUPPORTED_VIDEO;
}

void VideoDecoderDestroy(VideoDecoder *decoder)
{
    if (!decoder)
        return;
    if (decoder->pInstance)
        decoder->pOps->Close(decoder);
    delete decoder;
}

int32_t AudioDecoderCreate(uint32_t format, AudioDecoder **decoder)
{
    if (!decoder)
        return VANTOR_E_INVALID_ARG;
    *decoder = nullptr;
    for (const AudioCodecEntry &entry : kAudioCodecs) {
        if (entry.dwFormat != format)
            continue;
        auto *created = new (std::nothrow) AudioDecoder{};
        if (!created)
            return VANTOR_E_OUT_OF_MEMORY;
        created->pOps = entry.pOps;
        created->dwFormat = format;
        created->nSamplesPerFrame = entry.nSamplesPerFrame;
        created->bRestart = 1;
        *decoder = created;
        return VANTOR_OK;
    }
    return VANTOR_E_UNSUPPORTED_AUDIO;
}

void AudioDecoderDestroy(AudioDecoder *decoder)
{
    if (!decoder)
        return;
    if (decoder->pInstance)
        decoder->pOps->Close(decoder);
    delete decoder;
}

int32_t TextDecoderCreate(uint32_t codec, TextDecoder **decoder)
{
    if (!decoder)
        return VANTOR_E_INVALID_ARG;
    *decoder = nullptr;
    for (const uint32_t known : kTextCodecs) {
        if (known != codec)
            continue;
        auto *created = new (std::nothrow) TextDecoder{codec};
        if (!created)
            return VANTOR_E_OUT_OF_MEMORY;
        *decoder = created;
        return VANTOR_OK;
    }
    return VANTOR_E_TEXT_DECODER_INIT;
}

void TextDecoderDestroy(TextDecoder *decoder)
{
    delete decoder;
}
