#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/output/picture_convert.h"
#include "engine/output/picture_convert_kernels.h"
#include "tests/engine/output/guarded_buffer.h"

namespace {

std::vector<ConvertPath> AvailablePaths()
{
    std::vector<ConvertPath> paths;
    for (ConvertPath p : {ConvertPath::Scalar, ConvertPath::Sse2, ConvertPath::Avx2})
        if (ConvertKernelsFor(p))
            paths.push_back(p);
    return paths;
}

uint16_t Word(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

struct PixelCase
{
    uint8_t y, cb, cr;
    uint8_t r, g, b;
    uint16_t rgb565;
};

const PixelCase kPixels[] = {
    {0, 128, 128, 0, 0, 0, 0x0000},
    {255, 128, 128, 255, 255, 255, 0xFFFF},
    {128, 128, 255, 255, 68, 128, (0xF8 << 8) | (68 & 0xFC) << 3 | 128 >> 3},
    {16, 0, 0, 0, 100, 0, (100 & 0xFC) << 3},
    // The shift drops the fraction: R is 150.5 here.
    {100, 128, 160, 150, 85, 100, 0x92AC},
    {235, 16, 240, 255, 203, 26, 0xFE43},
};

TEST(PictureConvert, ConvertsPixelsWithTheSixtyFourthFactorsOnEveryPath)
{
    // 37 pixels wide: whole SIMD steps and a scalar remainder on the same rows.
    const int32_t width = 37, height = 2;
    for (ConvertPath path : AvailablePaths())
        for (const PixelCase &c : kPixels) {
            SCOPED_TRACE(std::string(ConvertPathName(path)) + " Y=" + std::to_string(c.y) +
                         " Cb=" + std::to_string(c.cb) + " Cr=" + std::to_string(c.cr));
            GuardedYuv picture(width, height);
            picture.Fill(c.y, c.cb, c.cr);
            GuardedRows bgr(width * 3, height), rgb(width * 2, height);
            YuvToBgr24On(path, bgr.Data(), width, height, bgr.Stride(), picture.Y(), picture.U(),
                         picture.V(), picture.Stride());
            YuvToRgb565On(path, rgb.Data(), width, height, rgb.Stride(), picture.Y(), picture.U(),
                          picture.V(), picture.Stride());
            for (int32_t row = 0; row < height; ++row)
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t *p = bgr.Row(row) + 3 * x;
                    ASSERT_EQ(p[0], c.b);
                    ASSERT_EQ(p[1], c.g);
                    ASSERT_EQ(p[2], c.r);
                    ASSERT_EQ(Word(rgb.Row(row) + 2 * x), c.rgb565);
                }
            EXPECT_TRUE(bgr.GuardsIntact());
            EXPECT_TRUE(rgb.GuardsIntact());
        }
}

TEST(PictureConvert, ChromaSampleCoversTwoPixelsOfTwoRows)
{
    GuardedYuv picture(4, 4);
    picture.Fill(128, 128, 128);
    picture.AtV(1, 1) = 255; // pixels 2..3 of rows 2..3
    GuardedRows bgr(4 * 3, 4);
    YuvToBgr24(bgr.Data(), 4, 4, bgr.Stride(), picture.Y(), picture.U(), picture.V(),
               picture.Stride());
    for (int32_t row = 0; row < 4; ++row)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(bgr.Row(row)[3 * x + 2], row >= 2 && x >= 2 ? 255 : 128)
                << "row " << row << " x " << x;
}

TEST(PictureConvert, OddHeightLeavesTheLastRowAsItWas)
{
    GuardedYuv picture(8, 3);
    picture.Fill(255, 128, 128);
    GuardedRows rgb(8 * 2, 3);
    YuvToRgb565(rgb.Data(), 8, 3, rgb.Stride(), picture.Y(), picture.U(), picture.V(),
                picture.Stride());
    EXPECT_EQ(Word(rgb.Row(1) + 14), 0xFFFF);
    for (int32_t x = 0; x < 8; ++x)
        EXPECT_EQ(Word(rgb.Row(2) + 2 * x), kGuardByte * 0x101);
}

struct PlanCase
{
    uint32_t source, target;
    ScalePlan luma, chroma;
};

const PlanCase kPlans[] = {
    {1280, 640, {0x8000, 0x20000}, {0x8000, 0x20000}},
    {640, 480, {0, 0x15582}, {0, 0x155B0}},
    {320, 640, {0, 0x7FCC}, {0, 0x7F99}},
    {1920, 640, {0x8000, 0x30000}, {0x8000, 0x30000}},
    {640, 640, {0, 0x10000}, {0, 0x10000}},
    // Sizes that would divide by zero repeat the first sample.
    {640, 1, {0x8000, 640 << 16}, {0x8000, 640 << 16}},
    {1, 1, {0, 0}, {0, 0}},
    {641, 2, {0, 640 << 16}, {0, 0}},
};

TEST(PictureConvert, ScalingPlans)
{
    for (const PlanCase &c : kPlans) {
        SCOPED_TRACE(std::to_string(c.source) + " -> " + std::to_string(c.target));
        const ScalePlan luma = LumaScalePlan(c.source, c.target);
        const ScalePlan chroma = ChromaScalePlan(c.source, c.target);
        EXPECT_EQ(luma.nStart, c.luma.nStart);
        EXPECT_EQ(luma.nStep, c.luma.nStep);
        EXPECT_EQ(chroma.nStart, c.chroma.nStart);
        EXPECT_EQ(chroma.nStep, c.chroma.nStep);
    }
}

struct SampleCase
{
    const char *name;
    std::vector<uint8_t> source; // one row, or two rows of equal length
    int32_t sourceWidth, targetWidth, targetHeight;
    std::vector<uint8_t> expected;
};

// Luma only: chroma planes are filled flat and only checked for staying flat.
const SampleCase kSamples[] = {
    {"halves a rising pair", {0, 100}, 2, 3, 1, {0, 50, 100}},
    {"floors a falling half", {1, 0}, 2, 3, 1, {1, 0, 0}},
    {"floors a rising half", {0, 1}, 2, 3, 1, {0, 0, 1}},
    {"averages groups when halving", {10, 20, 30, 41}, 4, 2, 1, {15, 35}},
    {"interpolates rows after columns",
     {0, 100, 200, 51},
     2,
     3,
     3,
     {0, 50, 100, 100, 87, 75, 200, 125, 51}},
};

TEST(PictureConvert, BilinearSamples)
{
    for (const SampleCase &c : kSamples) {
        SCOPED_TRACE(c.name);
        const int32_t sourceHeight = static_cast<int32_t>(c.source.size()) / c.sourceWidth;
        GuardedYuv source(c.sourceWidth, sourceHeight), target(c.targetWidth, c.targetHeight);
        source.Fill(0, 60, 200);
        for (size_t i = 0; i < c.source.size(); ++i)
            source.AtY(static_cast<int32_t>(i) % c.sourceWidth,
                       static_cast<int32_t>(i) / c.sourceWidth) = c.source[i];
        for (ConvertPath path : AvailablePaths()) {
            const Yuv420Source s = {source.Y(),     source.U(),      source.V(),
                                    source.Width(), source.Height(), source.Stride()};
            const Yuv420Target t = {target.Y(),     target.U(),      target.V(),
                                    target.Width(), target.Height(), target.Stride()};
            ScaleYuv420On(path, &s, &t);
            for (size_t i = 0; i < c.expected.size(); ++i)
                EXPECT_EQ(target.AtY(static_cast<int32_t>(i) % c.targetWidth,
                                     static_cast<int32_t>(i) / c.targetWidth),
                          c.expected[i])
                    << ConvertPathName(path) << " sample " << i;
            EXPECT_EQ(target.AtU(0, 0), 60);
            EXPECT_EQ(target.AtV(target.ChromaWidth() - 1, target.ChromaHeight() - 1), 200);
            EXPECT_TRUE(target.GuardsIntact());
        }
    }
}

struct Size
{
    int32_t width, height;
};

// Widths between whole SIMD steps make the last step overlap the one before it.
const Size kOddSizes[] = {{1, 1},  {2, 2},  {7, 3},  {17, 9},     {33, 17},
                          {47, 2}, {50, 6}, {64, 4}, {1921, 1081}};

template <class Convert> void ExpectPathsMatchScalar(int32_t bytesPerPixel, Convert convert)
{
    std::mt19937 rng(1234);
    for (const Size &size : kOddSizes) {
        GuardedYuv picture(size.width, size.height);
        picture.FillRandom(rng);
        GuardedRows expected(size.width * bytesPerPixel, size.height);
        convert(ConvertPath::Scalar, expected, picture, size);
        for (ConvertPath path : AvailablePaths()) {
            SCOPED_TRACE(std::string(ConvertPathName(path)) + " " + std::to_string(size.width) +
                         "x" + std::to_string(size.height));
            GuardedRows got(size.width * bytesPerPixel, size.height);
            convert(path, got, picture, size);
            ASSERT_TRUE(got.GuardsIntact());
            for (int32_t row = 0; row < size.height; ++row)
                ASSERT_EQ(0, memcmp(got.Row(row), expected.Row(row),
                                    static_cast<size_t>(size.width) * bytesPerPixel))
                    << "row " << row;
        }
    }
}

TEST(PictureConvert, SimdRgb565MatchesScalarOnRandomPictures)
{
    ExpectPathsMatchScalar(2, [](ConvertPath path, GuardedRows &out, GuardedYuv &in, Size s) {
        YuvToRgb565On(path, out.Data(), s.width, s.height, out.Stride(), in.Y(), in.U(), in.V(),
                      in.Stride());
    });
}

TEST(PictureConvert, SimdBgr24MatchesScalarOnRandomPictures)
{
    ExpectPathsMatchScalar(3, [](ConvertPath path, GuardedRows &out, GuardedYuv &in, Size s) {
        YuvToBgr24On(path, out.Data(), s.width, s.height, out.Stride(), in.Y(), in.U(), in.V(),
                     in.Stride());
    });
}

struct ScaleJob
{
    Size source, target;
};

// Upscales, whole and broken downscales, factors beyond two (the gathered path) and sizes
// that leave remainders after every SIMD step.
const ScaleJob kScaleJobs[] = {
    {{7, 3}, {17, 9}},         {{33, 17}, {7, 3}},        {{1921, 1081}, {640, 352}},
    {{1280, 720}, {640, 360}}, {{640, 480}, {1024, 768}}, {{1920, 1080}, {1280, 720}},
    {{1920, 1080}, {333, 99}}, {{17, 9}, {1, 1}},         {{1, 1}, {33, 17}},
};

TEST(PictureConvert, SimdScalingMatchesScalarOnRandomPictures)
{
    std::mt19937 rng(99);
    for (const ScaleJob &job : kScaleJobs) {
        GuardedYuv source(job.source.width, job.source.height);
        source.FillRandom(rng);
        const Yuv420Source s = {source.Y(),     source.U(),      source.V(),
                                source.Width(), source.Height(), source.Stride()};
        GuardedYuv expected(job.target.width, job.target.height);
        const Yuv420Target e = {expected.Y(),     expected.U(),      expected.V(),
                                expected.Width(), expected.Height(), expected.Stride()};
        ScaleYuv420On(ConvertPath::Scalar, &s, &e);
        ASSERT_TRUE(expected.GuardsIntact());
        for (ConvertPath path : AvailablePaths()) {
            SCOPED_TRACE(std::string(ConvertPathName(path)) + " to " +
                         std::to_string(job.target.width) + "x" +
                         std::to_string(job.target.height));
            GuardedYuv got(job.target.width, job.target.height);
            const Yuv420Target t = {got.Y(),     got.U(),      got.V(),
                                    got.Width(), got.Height(), got.Stride()};
            ScaleYuv420On(path, &s, &t);
            ASSERT_TRUE(got.GuardsIntact());
            for (int32_t row = 0; row < got.Height(); ++row)
                for (int32_t x = 0; x < got.Width(); ++x)
                    ASSERT_EQ(got.AtY(x, row), expected.AtY(x, row)) << x << "," << row;
            for (int32_t row = 0; row < got.ChromaHeight(); ++row)
                for (int32_t x = 0; x < got.ChromaWidth(); ++x) {
                    ASSERT_EQ(got.AtU(x, row), expected.AtU(x, row)) << x << "," << row;
                    ASSERT_EQ(got.AtV(x, row), expected.AtV(x, row)) << x << "," << row;
                }
        }
    }
}

TEST(PictureConvert, ScaleAndConvertGivesTheDisplaySizedPicture)
{
    // Left half black, right half white; halving keeps the split in the middle.
    GuardedYuv source(64, 32);
    source.Fill(0, 128, 128);
    for (int32_t row = 0; row < 32; ++row)
        for (int32_t x = 32; x < 64; ++x)
            source.AtY(x, row) = 255;
    GuardedRows rgb(32 * 2, 16);
    std::vector<uint8_t> scratch(ScaleScratchBytes(32, 16));
    ScaleAndConvertRgb565(rgb.Data(), 32, 16, rgb.Stride(), source.Y(), source.U(), source.V(), 64,
                          32, source.Stride(), scratch.data());
    EXPECT_TRUE(rgb.GuardsIntact());
    for (int32_t row = 0; row < 16; ++row) {
        EXPECT_EQ(Word(rgb.Row(row) + 2 * 15), 0x0000);
        EXPECT_EQ(Word(rgb.Row(row) + 2 * 16), 0xFFFF);
    }
}

TEST(PictureConvert, ScaleAndConvertStaysInsideItsScratchForOddDisplays)
{
    std::mt19937 rng(3);
    GuardedYuv source(70, 38);
    source.FillRandom(rng);
    for (const Size &display : {Size{33, 17}, Size{1, 1}, Size{17, 2}}) {
        GuardedRows scratch(static_cast<int32_t>(ScaleScratchBytes(display.width, display.height)),
                            1);
        GuardedRows rgb(display.width * 2, display.height);
        ScaleAndConvertRgb565(rgb.Data(), display.width, display.height, rgb.Stride(), source.Y(),
                              source.U(), source.V(), 70, 38, source.Stride(), scratch.Data());
        EXPECT_TRUE(scratch.GuardsIntact()) << display.width << "x" << display.height;
        EXPECT_TRUE(rgb.GuardsIntact()) << display.width << "x" << display.height;
    }
}

} // namespace
