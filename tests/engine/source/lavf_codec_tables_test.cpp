// libavformat's codec descriptions in our terms: the video fourccs and audio format tags our
// decoders are found by, the configuration bytes copied into a record, and the packet filter
// chosen for a stream.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

#include "engine/codecs/av_owners.h"
#include "engine/core/fourcc.h"
#include "engine/source/lavf_codec_tables.h"
#include "engine/source/media_info.h"

namespace {

using AvParametersPtr = std::unique_ptr<AVCodecParameters, FreeWith<avcodec_parameters_free>>;

// Parameters of a codec with a container tag, a picture layout and extra data of the given
// size (its first byte as given, the rest numbered).
AvParametersPtr Parameters(AVCodecID id, uint32_t tag = 0, int format = -1, int extraSize = 0,
                           uint8_t firstExtraByte = 1)
{
    AvParametersPtr par(avcodec_parameters_alloc());
    par->codec_id = id;
    par->codec_tag = tag;
    par->format = format;
    if (extraSize > 0) {
        par->extradata = static_cast<uint8_t *>(
            av_mallocz(static_cast<size_t>(extraSize) + AV_INPUT_BUFFER_PADDING_SIZE));
        par->extradata_size = extraSize;
        for (int i = 0; i < extraSize; ++i)
            par->extradata[i] = static_cast<uint8_t>(i * 7 + 3);
        par->extradata[0] = firstExtraByte;
    }
    return par;
}

struct VideoCase
{
    const char *name;
    AVCodecID id;
    uint32_t tag;
    int format;
    uint32_t fourcc;
};

TEST(LavfCodecTables, VideoFourccsAreTheOnesOurDecodersAreFoundBy)
{
    const VideoCase cases[] = {
        {"H.264 from MP4", AV_CODEC_ID_H264, MakeFourcc("avc1"), -1, MakeFourcc("H264")},
        {"H.264 without a tag", AV_CODEC_ID_H264, 0, -1, MakeFourcc("H264")},
        {"HEVC from MP4", AV_CODEC_ID_HEVC, MakeFourcc("hvc1"), -1, MakeFourcc("HEVC")},
        {"H.263", AV_CODEC_ID_H263, MakeFourcc("s263"), -1, MakeFourcc("H263")},
        {"motion JPEG", AV_CODEC_ID_MJPEG, MakeFourcc("MJPG"), -1, MakeFourcc("JPEG")},
        // MPEG-4 keeps the container's code of a known encoder: it picks the decoder's
        // workarounds. The code is kept as the container wrote it.
        {"MPEG-4 from XviD", AV_CODEC_ID_MPEG4, MakeFourcc("XVID"), -1, MakeFourcc("XVID")},
        {"MPEG-4 from DivX", AV_CODEC_ID_MPEG4, MakeFourcc("DIVX"), -1, MakeFourcc("DIVX")},
        {"MPEG-4 from DivX 5", AV_CODEC_ID_MPEG4, MakeFourcc("DX50"), -1, MakeFourcc("DX50")},
        {"MPEG-4 lower-case xvid", AV_CODEC_ID_MPEG4, MakeFourcc("xvid"), -1, MakeFourcc("xvid")},
        {"MPEG-4 from MP4", AV_CODEC_ID_MPEG4, MakeFourcc("mp4v"), -1, MakeFourcc("mp4v")},
        {"MPEG-4 of an unknown encoder", AV_CODEC_ID_MPEG4, MakeFourcc("3IV2"), -1,
         MakeFourcc("MP4V")},
        {"MPEG-4 without a tag", AV_CODEC_ID_MPEG4, 0, -1, MakeFourcc("MP4V")},
        {"raw I420", AV_CODEC_ID_RAWVIDEO, 0, AV_PIX_FMT_YUV420P, MakeFourcc("I420")},
        {"raw YUY2", AV_CODEC_ID_RAWVIDEO, MakeFourcc("YUY2"), AV_PIX_FMT_YUYV422,
         MakeFourcc("YUY2")},
        {"raw UYVY", AV_CODEC_ID_RAWVIDEO, 0, AV_PIX_FMT_UYVY422, MakeFourcc("UYVY")},
        {"raw RGB, which no decoder takes", AV_CODEC_ID_RAWVIDEO, 0, AV_PIX_FMT_RGB24,
         MakeFourcc("RAWV")},
        // Codecs we do not decode get a code the decoder table refuses by name, never 0 (raw).
        {"VP8 with its tag", AV_CODEC_ID_VP8, MakeFourcc("VP80"), -1, MakeFourcc("VP80")},
        {"VP8 without a tag", AV_CODEC_ID_VP8, 0, -1, MakeFourcc("VP8 ")},
        {"Theora, unprintable tag", AV_CODEC_ID_THEORA, 0x00000001, -1, MakeFourcc("THEO")},
        {"MS MPEG-4 v3", AV_CODEC_ID_MSMPEG4V3, MakeFourcc("MP43"), -1, MakeFourcc("MP43")},
    };
    for (const VideoCase &c : cases) {
        SCOPED_TRACE(c.name);
        const AvParametersPtr par = Parameters(c.id, c.tag, c.format);
        EXPECT_EQ(FourccText(LavfVideoFourcc(par.get())), FourccText(c.fourcc));
    }
}

struct AudioCase
{
    const char *name;
    AVCodecID id;
    uint32_t tag;
    uint32_t format;
};

TEST(LavfCodecTables, AudioFormatsAreWaveTagsAndOnlyAacGetsAnAacCode)
{
    const AudioCase cases[] = {
        {"AAC from MP4", AV_CODEC_ID_AAC, MakeFourcc("mp4a"), kLavfWaveFormatAac},
        {"AAC from ADTS", AV_CODEC_ID_AAC, 0, kLavfWaveFormatAac},
        {"AAC from RealMedia", AV_CODEC_ID_AAC, MakeFourcc("raac"), kLavfWaveFormatAac},
        {"MP3", AV_CODEC_ID_MP3, 0, 0x55},
        {"MP2", AV_CODEC_ID_MP2, 0, 0x50},
        {"PCM", AV_CODEC_ID_PCM_S16LE, 0, 0x01},
        {"A-law", AV_CODEC_ID_PCM_ALAW, 0, 0x06},
        {"WMA 2", AV_CODEC_ID_WMAV2, 0, 0x161},
        {"AC-3", AV_CODEC_ID_AC3, 0, 0x2000},
        {"AMR-NB", AV_CODEC_ID_AMR_NB, 0, 0x38},
        // Without a WAVE tag: the container's printable code, else one from the codec's name.
        {"Cook with its tag", AV_CODEC_ID_COOK, MakeFourcc("cook"), MakeFourcc("cook")},
        {"Cook without a tag", AV_CODEC_ID_COOK, 0, MakeFourcc("COOK")},
        // A container code that would find the AAC decoder is not handed to another codec.
        {"Cook tagged raac", AV_CODEC_ID_COOK, MakeFourcc("raac"), MakeFourcc("COOK")},
        {"Cook tagged racp", AV_CODEC_ID_COOK, MakeFourcc("racp"), MakeFourcc("COOK")},
    };
    for (const AudioCase &c : cases) {
        SCOPED_TRACE(c.name);
        const AvParametersPtr par = Parameters(c.id, c.tag);
        EXPECT_EQ(LavfAudioFormat(par.get()), c.format)
            << std::hex << LavfAudioFormat(par.get()) << " " << FourccText(c.format);
    }
}

struct ExtraCase
{
    const char *name;
    int size;
    bool nullData; // a size without bytes behind it
    uint32_t copied;
};

TEST(LavfCodecTables, ConfigurationIsCopiedWholeOrNotAtAll)
{
    const ExtraCase cases[] = {
        {"none", 0, false, 0},
        {"two bytes", 2, false, 2},
        {"exactly what the record holds", static_cast<int>(kMaxExtraData), false, kMaxExtraData},
        {"one byte too many", static_cast<int>(kMaxExtraData) + 1, false, 0},
        {"far too many", 5000, false, 0},
        {"a size without data", 16, true, 0},
    };
    constexpr size_t kGuard = 16;
    for (const ExtraCase &c : cases) {
        SCOPED_TRACE(c.name);
        AvParametersPtr par = Parameters(AV_CODEC_ID_H264, 0, -1, c.size);
        std::vector<uint8_t> record(kMaxExtraData + 2 * kGuard, 0xA5);
        uint32_t length = 12345;
        if (c.nullData) {
            av_freep(&par->extradata);
            par->extradata_size = c.size;
        }
        LavfCopyExtraData(par.get(), record.data() + kGuard, &length);
        EXPECT_EQ(length, c.copied);
        if (c.copied) {
            EXPECT_EQ(0, std::memcmp(record.data() + kGuard, par->extradata, c.copied));
        }
        for (size_t i = 0; i < record.size(); ++i) {
            if (i < kGuard || i >= kGuard + c.copied) {
                ASSERT_EQ(record[i], 0xA5) << "written outside the configuration at " << i;
            }
        }
    }
}

struct FilterCase
{
    const char *name;
    AVCodecID id;
    int extraSize;
    uint8_t firstByte;
    const char *filter; // null: none
};

TEST(LavfCodecTables, FiltersTakeAdtsOffAndPutLargeConfigurationsInBand)
{
    const int over = static_cast<int>(kMaxExtraData) + 1;
    const int fits = static_cast<int>(kMaxExtraData);
    const FilterCase cases[] = {
        {"AAC with ADTS headers", AV_CODEC_ID_AAC, 0, 0, "aac_adtstoasc"},
        {"AAC with its configuration", AV_CODEC_ID_AAC, 2, 0x14, nullptr},
        {"an oversized avcC record", AV_CODEC_ID_H264, over, 1, "h264_mp4toannexb"},
        {"an avcC record that fits", AV_CODEC_ID_H264, fits, 1, nullptr},
        {"oversized Annex B configuration", AV_CODEC_ID_H264, over, 0, nullptr},
        {"H.264 without configuration", AV_CODEC_ID_H264, 0, 0, nullptr},
        {"an oversized hvcC record", AV_CODEC_ID_HEVC, over, 1, "hevc_mp4toannexb"},
        {"an hvcC record that fits", AV_CODEC_ID_HEVC, fits, 1, nullptr},
        {"oversized MPEG-4 configuration", AV_CODEC_ID_MPEG4, over, 0, nullptr},
        {"MP3", AV_CODEC_ID_MP3, 0, 0, nullptr},
    };
    for (const FilterCase &c : cases) {
        SCOPED_TRACE(c.name);
        const AvParametersPtr par = Parameters(c.id, 0, -1, c.extraSize, c.firstByte);
        const char *filter = LavfFilterFor(par.get());
        if (!c.filter) {
            EXPECT_EQ(filter, nullptr) << filter;
            continue;
        }
        ASSERT_NE(filter, nullptr);
        EXPECT_STREQ(filter, c.filter);
        EXPECT_NE(av_bsf_get_by_name(filter), nullptr) << "libavcodec has no such filter";
    }
}

} // namespace
