// Which decoder class takes which stream, and what the tables refuse.
#include <gtest/gtest.h>

#include "engine/codecs/decoder_ops.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

struct VideoTableCase
{
    uint32_t fourcc;
    const VideoDecoderOps *ops; // null: refused
    uint32_t outputFormat;
};

const VideoTableCase kVideoTable[] = {
    {0, &g_RawVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("I420"), &g_RawVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("YV12"), &g_RawVideoDecoderOps, MakeFourcc("YV12")},
    {MakeFourcc("yv12"), &g_RawVideoDecoderOps, MakeFourcc("YV12")},
    {MakeFourcc("YUY2"), &g_RawVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("UYVY"), &g_RawVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("YVYU"), &g_RawVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("MP4V"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("MP4S"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DIVX"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DIV4"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DIV5"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DX50"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("XVID"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("xvid"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("FMP4"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("H263"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("S263"), &g_Mpeg4VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("JPEG"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("PGJP"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("H264"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("avc1"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("WVC1"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("MJPG"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("mjpg"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("AVRn"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("LJPG"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("JPGL"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("dmb1"), &g_JpegVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("x264"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DAVC"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("VSSH"), &g_H264VideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("HEVC"), &g_HevcVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("H265"), &g_HevcVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("hvc1"), &g_HevcVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("hev1"), &g_HevcVideoDecoderOps, MakeFourcc("I420")},
    {MakeFourcc("DIV3"), nullptr, 0},
    {MakeFourcc("VP80"), nullptr, 0},
    {MakeFourcc("NV12"), nullptr, 0},
    {0xFFFFFFFF, nullptr, 0},
};

TEST(VideoDecoderTable, EachFourccCreatesItsDecoderClass)
{
    for (const VideoTableCase &c : kVideoTable) {
        SCOPED_TRACE(FourccText(c.fourcc));
        VideoDecoder *decoder = reinterpret_cast<VideoDecoder *>(1);
        const int32_t result = VideoDecoderCreate(c.fourcc, &decoder);
        if (!c.ops) {
            EXPECT_EQ(result, VANTOR_E_UNSUPPORTED_VIDEO);
            EXPECT_EQ(decoder, nullptr);
            continue;
        }
        ASSERT_EQ(result, VANTOR_OK);
        ASSERT_NE(decoder, nullptr);
        EXPECT_EQ(decoder->pOps, c.ops);
        EXPECT_EQ(decoder->dwFourcc, FourccUpperCase(c.fourcc));
        EXPECT_EQ(decoder->dwOutputFormat, c.outputFormat);
        EXPECT_EQ(decoder->bInitialised, 0);
        // Playback starts at a synchronisation point wherever the decoder can tell one.
        EXPECT_EQ(decoder->bWaitingForSync, c.ops->Classify ? 1 : 0);
        VideoDecoderDestroy(decoder);
    }
}

TEST(VideoDecoderTable, JpegAndRawHaveNoClassifyTheOthersDo)
{
    EXPECT_EQ(g_RawVideoDecoderOps.Classify, nullptr);
    EXPECT_EQ(g_JpegVideoDecoderOps.Classify, nullptr);
    EXPECT_NE(g_Mpeg4VideoDecoderOps.Classify, nullptr);
    EXPECT_NE(g_H264VideoDecoderOps.Classify, nullptr);
    EXPECT_NE(g_HevcVideoDecoderOps.Classify, nullptr);
}

struct AudioTableCase
{
    uint32_t format;
    bool supported;
    uint32_t samplesPerFrame;
};

const AudioTableCase kAudioTable[] = {
    {0xFF, true, 1024},
    {0xFD, true, 2048},
    {0xFE, true, 2048},
    {MakeFourcc("raac"), true, 1024},
    {MakeFourcc("racp"), true, 2048},
    {0x01, false, 0},   // PCM
    {0x55, false, 0},   // MP3
    {0x1610, false, 0}, // AAC in ADTS from other containers
    {MakeFourcc("RAAC"), false, 0},
    {0, false, 0},
};

TEST(AudioDecoderTable, AacCodesCreateTheDecoderWithTheirFrameSize)
{
    for (const AudioTableCase &c : kAudioTable) {
        SCOPED_TRACE(c.format);
        AudioDecoder *decoder = reinterpret_cast<AudioDecoder *>(1);
        const int32_t result = AudioDecoderCreate(c.format, &decoder);
        if (!c.supported) {
            EXPECT_EQ(result, VANTOR_E_UNSUPPORTED_AUDIO);
            EXPECT_EQ(decoder, nullptr);
            continue;
        }
        ASSERT_EQ(result, VANTOR_OK);
        EXPECT_EQ(decoder->pOps, &g_AacAudioDecoderOps);
        EXPECT_EQ(decoder->dwFormat, c.format);
        EXPECT_EQ(decoder->nSamplesPerFrame, c.samplesPerFrame);
        AudioDecoderDestroy(decoder);
    }
}

TEST(TextDecoderTable, KnownCodecsOnly)
{
    const struct
    {
        uint32_t codec;
        int32_t result;
    } cases[] = {
        {MakeFourcc("T140"), VANTOR_OK}, {MakeFourcc("SAMI"), VANTOR_OK},
        {MakeFourcc("TRVX"), VANTOR_OK}, {MakeFourcc("tx3g"), VANTOR_E_TEXT_DECODER_INIT},
        {0, VANTOR_E_TEXT_DECODER_INIT},
    };
    for (const auto &c : cases) {
        TextDecoder *decoder = nullptr;
        EXPECT_EQ(TextDecoderCreate(c.codec, &decoder), c.result) << FourccText(c.codec);
        EXPECT_EQ(decoder != nullptr, c.result == VANTOR_OK);
        if (decoder) {
            EXPECT_EQ(decoder->dwCodec, c.codec);
        }
        TextDecoderDestroy(decoder);
    }
}

TEST(TextDecoder, SamplesBecomeLines)
{
    const struct
    {
        uint32_t codec;
        std::string sample;
        std::vector<std::string> lines;
    } cases[] = {
        // The GPS sentence stays byte for byte, line ends and all.
        {MakeFourcc("TRVX"), "G$GPRMC,134525.000,A*62\r\n", {"G$GPRMC,134525.000,A*62\r\n"}},
        {MakeFourcc("TRVX"), std::string("a\0b", 3), {std::string("a\0b", 3)}},
        {MakeFourcc("TRVX"), "", {""}},
        {MakeFourcc("T140"), "one\r\ntwo\nthree\rfour\n", {"one", "two", "three", "four"}},
        {MakeFourcc("T140"), "one\n\nthree", {"one", "", "three"}},
        {MakeFourcc("SAMI"),
         "<SYNC Start=0><P Class=KRCC>Hello &amp; <b>bye</b><br>next&nbsp;line",
         {"Hello & bye", "next line"}},
        {MakeFourcc("SAMI"), "<P>&lt;tag&gt;\r\nwrapped</P>", {"<tag> wrapped"}},
    };
    for (const auto &c : cases) {
        TextDecoder *decoder = nullptr;
        ASSERT_EQ(TextDecoderCreate(c.codec, &decoder), VANTOR_OK);
        TEXT_LAYOUT layout{-1, {"stale"}};
        EXPECT_EQ(TextDecoderDecode(decoder, reinterpret_cast<const uint8_t *>(c.sample.data()),
                                    uint32_t(c.sample.size()), 2500, &layout),
                  VANTOR_OK);
        EXPECT_EQ(layout.nTime, 2500);
        EXPECT_EQ(layout.lines, c.lines) << c.sample;
        TextDecoderDestroy(decoder);
    }
}

} // namespace
