// Uncompressed pictures: planar ones shown where they lie, packed 4:2:2 converted to I420.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/codecs/decoder_ops.h"
#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

struct RawDecoder
{
    VideoDecoder *decoder = nullptr;
    int32_t init = 0;
    RawDecoder(const char (&fourcc)[5], uint32_t width, uint32_t height)
    {
        EXPECT_EQ(VideoDecoderCreate(MakeFourcc(fourcc), &decoder), VANTOR_OK);
        VIDEO_STREAM_INFO info{};
        info.nFourcc = MakeFourcc(fourcc);
        info.nWidth = width;
        info.nHeight = height;
        info.nFrameRate = 25000;
        init = decoder->pOps->Init(decoder, nullptr, 0, &info);
    }
    ~RawDecoder() { VideoDecoderDestroy(decoder); }
    int32_t Decode(const std::vector<uint8_t> &sample, VideoPicture *picture, int32_t *ms)
    {
        uint32_t used = 0;
        return decoder->pOps->Decode(decoder, sample.data(), uint32_t(sample.size()), 480,
                                     picture, ms, &used);
    }
};

std::vector<uint8_t> Plane(const VideoPicture &p, const uint8_t *plane, int width, int height,
                           int stride)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y)
        out.insert(out.end(), plane + y * stride, plane + y * stride + width);
    (void)p;
    return out;
}

TEST(RawVideoDecoder, PlanarPicturesAreShownInPlace)
{
    // 4 x 2: Y 8 bytes, then two 2 x 1 chroma planes.
    const std::vector<uint8_t> sample = {1, 2, 3, 4, 5, 6, 7, 8, 20, 21, 30, 31};
    for (const char *fourcc : {"I420", "YV12"}) {
        SCOPED_TRACE(fourcc);
        char code[5];
        std::memcpy(code, fourcc, 5);
        RawDecoder raw(code, 4, 2);
        ASSERT_EQ(raw.init, VANTOR_OK);
        EXPECT_EQ(raw.decoder->nWidth, 4);
        EXPECT_EQ(raw.decoder->nHeight, 2);
        VideoPicture picture{};
        int32_t ms = 0;
        ASSERT_EQ(raw.Decode(sample, &picture, &ms), VANTOR_OK);
        EXPECT_EQ(ms, 480);
        EXPECT_EQ(picture.pY, sample.data());
        EXPECT_EQ(picture.nStride, 4);
        const bool yv12 = std::strcmp(fourcc, "YV12") == 0;
        // Cb and Cr wherever the layout keeps them: YV12 stores Cr first.
        EXPECT_EQ(picture.pU, sample.data() + (yv12 ? 10 : 8));
        EXPECT_EQ(picture.pV, sample.data() + (yv12 ? 8 : 10));
    }
}

TEST(RawVideoDecoder, OddWidthIsCopiedToAnEvenStride)
{
    // 3 x 2: chroma 2 x 1.
    const std::vector<uint8_t> sample = {1, 2, 3, 4, 5, 6, 20, 21, 30, 31};
    RawDecoder raw("I420", 3, 2);
    ASSERT_EQ(raw.init, VANTOR_OK);
    VideoPicture p{};
    int32_t ms = 0;
    ASSERT_EQ(raw.Decode(sample, &p, &ms), VANTOR_OK);
    ASSERT_EQ(p.nStride, 4);
    EXPECT_EQ(Plane(p, p.pY, 3, 2, 4), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Plane(p, p.pU, 2, 1, 2), (std::vector<uint8_t>{20, 21}));
    EXPECT_EQ(Plane(p, p.pV, 2, 1, 2), (std::vector<uint8_t>{30, 31}));
}

struct PackedCase
{
    const char *fourcc;
    // One 4 x 2 picture: pixel pairs as (Y0, Y1, U, V) for rows 0 and 1.
    std::vector<uint8_t> sample;
};

TEST(RawVideoDecoder, PackedPicturesBecomeI420WithRowPairsAveraged)
{
    // Pairs: row 0 (Y 10,11 U 100 V 200) (Y 12,13 U 110 V 210);
    //        row 1 (Y 20,21 U 103 V 201) (Y 22,23 U 115 V 220).
    const PackedCase cases[] = {
        {"YUY2", {10, 100, 11, 200, 12, 110, 13, 210, 20, 103, 21, 201, 22, 115, 23, 220}},
        {"UYVY", {100, 10, 200, 11, 110, 12, 210, 13, 103, 20, 201, 21, 115, 22, 220, 23}},
        {"YVYU", {10, 200, 11, 100, 12, 210, 13, 110, 20, 201, 21, 103, 22, 220, 23, 115}},
    };
    for (const PackedCase &c : cases) {
        SCOPED_TRACE(c.fourcc);
        char code[5];
        std::memcpy(code, c.fourcc, 5);
        RawDecoder raw(code, 4, 2);
        ASSERT_EQ(raw.init, VANTOR_OK);
        EXPECT_EQ(raw.decoder->dwOutputFormat, MakeFourcc("I420"));
        VideoPicture p{};
        int32_t ms = 0;
        ASSERT_EQ(raw.Decode(c.sample, &p, &ms), VANTOR_OK);
        ASSERT_NE(p.pY, nullptr);
        EXPECT_EQ(Plane(p, p.pY, 4, 2, p.nStride),
                  (std::vector<uint8_t>{10, 11, 12, 13, 20, 21, 22, 23}));
        // Rounded means: (100+103+1)/2 = 102, (110+115+1)/2 = 113, (200+201+1)/2 = 201.
        EXPECT_EQ(Plane(p, p.pU, 2, 1, p.nStride / 2), (std::vector<uint8_t>{102, 113}));
        EXPECT_EQ(Plane(p, p.pV, 2, 1, p.nStride / 2), (std::vector<uint8_t>{201, 215}));
    }
}

TEST(RawVideoDecoder, OddHeightTakesTheLastRowAlone)
{
    // 2 x 3 YUY2: the last chroma row comes from row 2 only.
    const std::vector<uint8_t> sample = {1, 50, 2, 60, 3, 52, 4, 62, 5, 90, 6, 91};
    RawDecoder raw("YUY2", 2, 3);
    ASSERT_EQ(raw.init, VANTOR_OK);
    VideoPicture p{};
    int32_t ms = 0;
    ASSERT_EQ(raw.Decode(sample, &p, &ms), VANTOR_OK);
    EXPECT_EQ(Plane(p, p.pY, 2, 3, p.nStride), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Plane(p, p.pU, 1, 2, p.nStride / 2), (std::vector<uint8_t>{51, 90}));
    EXPECT_EQ(Plane(p, p.pV, 1, 2, p.nStride / 2), (std::vector<uint8_t>{61, 91}));
}

TEST(RawVideoDecoder, ShortSampleIsRefusedWithoutPicture)
{
    for (const char *fourcc : {"I420", "YUY2"}) {
        char code[5];
        std::memcpy(code, fourcc, 5);
        RawDecoder raw(code, 4, 2);
        ASSERT_EQ(raw.init, VANTOR_OK);
        const std::vector<uint8_t> sample(11, 0); // one byte short for either layout
        VideoPicture p{};
        int32_t ms = 0;
        EXPECT_LT(raw.Decode(sample, &p, &ms), 0) << fourcc;
        EXPECT_EQ(p.pY, nullptr);
    }
}

TEST(RawVideoDecoder, ImpossibleSizesFailInit)
{
    const uint32_t sizes[][2] = {{0, 2}, {4, 0}, {100000, 2}, {4, 0x80000000u}};
    for (const auto &size : sizes) {
        RawDecoder raw("YUY2", size[0], size[1]);
        EXPECT_EQ(raw.init, VANTOR_E_VIDEO_DECODER_INIT) << size[0] << "x" << size[1];
    }
}

} // namespace
