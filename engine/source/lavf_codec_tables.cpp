#include "engine/source/lavf_codec_tables.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/core/fourcc.h"
#include "engine/source/media_info.h"

namespace {

uint32_t NameFourcc(AVCodecID id)
{
    const char *name = avcodec_get_name(id);
    char code[5] = {' ', ' ', ' ', ' ', 0};
    for (int i = 0; i < 4 && name[i]; ++i)
        code[i] = name[i];
    return FourccUpperCase(MakeFourcc(code));
}

bool IsPrintableFourcc(uint32_t tag)
{
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t c = (tag >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

struct VideoCode
{
    AVCodecID id;
    uint32_t dwFourcc;
};

// The fourccs our video decoders are found by. MPEG-4 keeps the container's own code when the
// decoders know it (it chooses libavcodec's workarounds for that encoder).
constexpr VideoCode kVideoCodes[] = {
    {AV_CODEC_ID_H264, MakeFourcc("H264")}, {AV_CODEC_ID_MPEG4, MakeFourcc("MP4V")},
    {AV_CODEC_ID_H263, MakeFourcc("H263")}, {AV_CODEC_ID_MJPEG, MakeFourcc("JPEG")},
    {AV_CODEC_ID_HEVC, MakeFourcc("HEVC")},
};

constexpr uint32_t kMpeg4Tags[] = {MakeFourcc("XVID"), MakeFourcc("DIVX"), MakeFourcc("DX50"),
                                   MakeFourcc("FMP4"), MakeFourcc("MP4V"), MakeFourcc("DIV5")};

uint32_t RawVideoFourcc(const AVCodecParameters *par)
{
    switch (par->format) {
    case AV_PIX_FMT_YUV420P:
        return MakeFourcc("I420");
    case AV_PIX_FMT_YUYV422:
        return MakeFourcc("YUY2");
    case AV_PIX_FMT_UYVY422:
        return MakeFourcc("UYVY");
    default:
        return MakeFourcc("RAWV"); // a layout the raw decoder does not take
    }
}

constexpr uint32_t kAacCodes[] = {0xFF, 0xFD, 0xFE, MakeFourcc("raac"), MakeFourcc("racp")};

bool IsAvcConfiguration(const AVCodecParameters *par)
{
    return par->codec_id == AV_CODEC_ID_H264 && par->extradata_size > 0 && par->extradata[0] == 1;
}

} // namespace

uint32_t LavfVideoFourcc(const AVCodecParameters *par)
{
    if (par->codec_id == AV_CODEC_ID_RAWVIDEO)
        return RawVideoFourcc(par);
    if (par->codec_id == AV_CODEC_ID_MPEG4) {
        const uint32_t tag = FourccUpperCase(par->codec_tag);
        for (const uint32_t known : kMpeg4Tags) {
            if (tag == known)
                return par->codec_tag;
        }
    }
    for (const VideoCode &code : kVideoCodes) {
        if (code.id == par->codec_id)
            return code.dwFourcc;
    }
    // Not one of ours: a code the decoder table refuses, never 0 (which means raw I420).
    if (par->codec_tag && IsPrintableFourcc(par->codec_tag))
        return par->codec_tag;
    return NameFourcc(par->codec_id);
}

uint32_t LavfAudioFormat(const AVCodecParameters *par)
{
    if (par->codec_id == AV_CODEC_ID_AAC)
        return kLavfWaveFormatAac;
    const AVCodecTag *const riff[] = {avformat_get_riff_audio_tags(), nullptr};
    uint32_t code = av_codec_get_tag(riff, par->codec_id);
    if (!code)
        code = par->codec_tag && IsPrintableFourcc(par->codec_tag) ? par->codec_tag
                                                                   : NameFourcc(par->codec_id);
    for (const uint32_t aac : kAacCodes) {
        if (code == aac)
            return NameFourcc(par->codec_id);
    }
    return code;
}

void LavfCopyExtraData(const AVCodecParameters *par, uint8_t *to, uint32_t *length)
{
    *length = 0;
    if (par->extradata_size <= 0 || !par->extradata ||
        static_cast<uint32_t>(par->extradata_size) > kMaxExtraData)
        return;
    std::memcpy(to, par->extradata, static_cast<size_t>(par->extradata_size));
    *length = static_cast<uint32_t>(par->extradata_size);
}

const char *LavfFilterFor(const AVCodecParameters *par)
{
    if (par->codec_id == AV_CODEC_ID_AAC && par->extradata_size == 0)
        return "aac_adtstoasc";
    if (IsAvcConfiguration(par) && par->extradata_size > static_cast<int>(kMaxExtraData))
        return "h264_mp4toannexb";
    // x265 writes its settings into the hvcC record, which makes it too large as often as not.
    if (par->codec_id == AV_CODEC_ID_HEVC && par->extradata_size > static_cast<int>(kMaxExtraData))
        return "hevc_mp4toannexb";
    return nullptr;
}
