#include <algorithm>

#include <QImage>
#include <gtest/gtest.h>

#include "snaplet/resample.h"

namespace {

// Columns alternating black and white, one pixel wide.
QImage Stripes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, x % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

int Spread(const QImage &image)
{
    int lo = 255, hi = 0;
    for (int x = 0; x < image.width(); ++x) {
        const int g = qGreen(image.pixel(x, image.height() / 2));
        lo = std::min(lo, g);
        hi = std::max(hi, g);
    }
    return hi - lo;
}

const RESAMPLE_MODE kEveryMode[] = {
    {ResampleFilter::Nearest, false}, {ResampleFilter::Bilinear, false},
    {ResampleFilter::Bicubic, false}, {ResampleFilter::Bilinear, true},
    {ResampleFilter::Bicubic, true},
};

} // namespace

TEST(Resample, EveryFilterKeepsAFlatColourAtAnySize)
{
    QImage flat(37, 23, QImage::Format_RGB32);
    flat.fill(qRgb(200, 100, 30));
    for (const RESAMPLE_MODE mode : kEveryMode) {
        for (const QSize size : {QSize(185, 115), QSize(18, 11), QSize(37, 23), QSize(1, 1)}) {
            const QImage out =
                ResampleRegion(flat, size.width(), size.height(), QRect(QPoint(0, 0), size), mode);
            ASSERT_EQ(out.size(), size);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    ASSERT_EQ(out.pixel(x, y), qRgb(200, 100, 30))
                        << int(mode.filter) << mode.bPrefilter << " at " << x << "," << y;
        }
    }
}

TEST(Resample, PrefilteredShrinkingAveragesInsteadOfAliasing)
{
    const QImage stripes = Stripes(300, 8);
    const QRect all(0, 0, 100, 8);
    // Plain filters sample every third column and keep full black/white contrast.
    EXPECT_GT(Spread(ResampleRegion(stripes, 100, 8, all, {ResampleFilter::Bilinear, false})), 200);
    EXPECT_GT(Spread(ResampleRegion(stripes, 100, 8, all, {ResampleFilter::Nearest, false})), 200);
    // The prefiltered forms see all three and give an even grey.
    EXPECT_LT(Spread(ResampleRegion(stripes, 100, 8, all, {ResampleFilter::Bilinear, true})), 60);
    EXPECT_LT(Spread(ResampleRegion(stripes, 100, 8, all, {ResampleFilter::Bicubic, true})), 60);
}

TEST(Resample, AVisiblePartEqualsThatPartOfTheWholePicture)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) % 256));
    const QRect part(37, 51, 80, 40);
    for (const RESAMPLE_MODE mode : kEveryMode) {
        const QImage whole = ResampleRegion(picture, 320, 240, QRect(0, 0, 320, 240), mode);
        const QImage piece = ResampleRegion(picture, 320, 240, part, mode);
        EXPECT_EQ(piece, whole.copy(part)) << int(mode.filter) << mode.bPrefilter;
    }
}

TEST(Resample, NearestEnlargesPixelsIntoBlocks)
{
    QImage tiny(2, 1, QImage::Format_RGB32);
    tiny.setPixel(0, 0, qRgb(255, 0, 0));
    tiny.setPixel(1, 0, qRgb(0, 0, 255));
    const QImage out =
        ResampleRegion(tiny, 10, 5, QRect(0, 0, 10, 5), {ResampleFilter::Nearest, false});
    EXPECT_EQ(out.pixel(4, 2), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(5, 2), qRgb(0, 0, 255));
}

TEST(Resample, InterpolationChoicesMapToDistinctFilters)
{
    EXPECT_EQ(ResampleModeFor(5).filter, ResampleFilter::Nearest);
    EXPECT_EQ(ResampleModeFor(3).filter, ResampleFilter::Bilinear);
    EXPECT_FALSE(ResampleModeFor(3).bPrefilter);
    EXPECT_EQ(ResampleModeFor(4).filter, ResampleFilter::Bicubic);
    EXPECT_TRUE(ResampleModeFor(6).bPrefilter);
    EXPECT_EQ(ResampleModeFor(7).filter, ResampleFilter::Bicubic);
    EXPECT_TRUE(ResampleModeFor(7).bPrefilter);
    EXPECT_EQ(ResampleModeFor(99).filter, ResampleFilter::Bilinear);
}
