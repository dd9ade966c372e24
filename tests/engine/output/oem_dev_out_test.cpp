#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "engine/output/memory_surface.h"
#include "engine/output/oem_dev_out.h"
#include "engine/output/picture_convert.h"
#include "tests/engine/output/test_picture.h"

namespace {

// A renderer on a memory surface, configured the way the player wrapper does it.
struct Screen
{
    MemorySurface window;
    VideoRenderer *renderer = nullptr;
    TestPicture picture;

    Screen(int32_t width, int32_t height, std::vector<uint32_t> layouts, int32_t windowWidth = 640,
           int32_t windowHeight = 480)
        : window(windowWidth, windowHeight, std::move(layouts)),
          picture(MakeTestPicture(width, height))
    {
        const VideoStreamFormat format = {FOURCC_I420, 12, width, height, nullptr, 0};
        VideoRendererCreate(&format, &renderer);
        VantorVideoOutConfig c{};
        c.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW | VIDEO_OUT_ASPECT;
        c.dwOutputType = VIDEO_OUT_TYPE_OEM;
        c.pWindow = &window;
        c.dwAspectMode = 1;
        VideoRendererConfigure(renderer, &c);
    }
    ~Screen() { VideoRendererClose(renderer); }

    OemDevOut *Device() const { return static_cast<OemDevOut *>(renderer->pDevice); }
    int32_t Present()
    {
        const VideoPicture frame = {picture.Y(), picture.U(), picture.V(), picture.nStride};
        return VideoRendererPresent(renderer, &frame);
    }
    uint8_t Y(int32_t x, int32_t y) const { return picture.y[y * picture.nStride + x]; }
    uint8_t U(int32_t i, int32_t j) const { return picture.u[j * (picture.nStride / 2) + i]; }
    uint8_t V(int32_t i, int32_t j) const { return picture.v[j * (picture.nStride / 2) + i]; }
};

struct Sample
{
    uint8_t y, u, v;
};
using FrameReader = std::function<Sample(const MemorySurface::Record &, int32_t x, int32_t y,
                                         int32_t w, int32_t h)>;

Sample ReadPlanar(const MemorySurface::Record &f, int32_t x, int32_t y, int32_t h, bool crFirst)
{
    const int32_t p = f.nFramePitch;
    const size_t first = static_cast<size_t>(p) * h, second = first + (p / 2) * (h / 2);
    const size_t c = (y / 2) * (p / 2) + x / 2;
    return {f.frame[y * p + x], f.frame[(crFirst ? second : first) + c],
            f.frame[(crFirst ? first : second) + c]};
}

struct LayoutCase
{
    uint32_t fourcc;
    FrameReader read;
    bool quarterChroma;
};

const LayoutCase kLayouts[] = {
    {FOURCC_I420,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t h) {
         return ReadPlanar(f, x, y, h, false);
     },
     false},
    {FOURCC_YV12,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t h) { return ReadPlanar(f, x, y, h, true); },
     false},
    {FOURCC_NV12,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t h) {
         const int32_t p = f.nFramePitch;
         const size_t c = static_cast<size_t>(p) * h + (y / 2) * p + (x / 2) * 2;
         return Sample{f.frame[y * p + x], f.frame[c], f.frame[c + 1]};
     },
     false},
    {FOURCC_YUY2,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t) {
         const uint8_t *g = &f.frame[y * f.nFramePitch + (x / 2) * 4];
         return Sample{g[(x & 1) * 2], g[1], g[3]};
     },
     false},
    {FOURCC_UYVY,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t) {
         const uint8_t *g = &f.frame[y * f.nFramePitch + (x / 2) * 4];
         return Sample{g[1 + (x & 1) * 2], g[0], g[2]};
     },
     false},
    {FOURCC_YVU9,
     [](auto &f, int32_t x, int32_t y, int32_t, int32_t h) {
         const int32_t p = f.nFramePitch;
         const size_t cr = static_cast<size_t>(p) * h, cb = cr + (p / 4) * (h / 4);
         const size_t c = (y / 4) * (p / 4) + x / 4;
         return Sample{f.frame[y * p + x], f.frame[cb + c], f.frame[cr + c]};
     },
     true},
};

TEST(OemDevOut, WritesThePictureInEveryFrameLayout)
{
    for (const LayoutCase &c : kLayouts) {
        const std::string name(reinterpret_cast<const char *>(&c.fourcc), 4);
        SCOPED_TRACE(name);
        // Odd sizes: the layouts keep whole chroma samples (and YVU9 whole 4 x 4 blocks).
        Screen screen(70, 38, {c.fourcc});
        ASSERT_EQ(DevOutVideoOEMSurfaceFormat(screen.Device()), c.fourcc);
        ASSERT_EQ(screen.Present(), 1);
        const MemorySurface::Record f = screen.window.Snapshot();
        ASSERT_TRUE(f.bFrameGuardsIntact);
        const int32_t w = c.quarterChroma ? 68 : 70, h = c.quarterChroma ? 36 : 38;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const Sample s = c.read(f, x, y, 70, 38);
                ASSERT_EQ(s.y, screen.Y(x, y)) << x << "," << y;
                uint8_t u = screen.U(x / 2, y / 2), v = screen.V(x / 2, y / 2);
                if (c.quarterChroma) {
                    const int32_t i = (x / 4) * 2, j = (y / 4) * 2;
                    u = static_cast<uint8_t>((screen.U(i, j) + screen.U(i + 1, j) +
                                              screen.U(i, j + 1) + screen.U(i + 1, j + 1) + 2) /
                                             4);
                    v = static_cast<uint8_t>((screen.V(i, j) + screen.V(i + 1, j) +
                                              screen.V(i, j + 1) + screen.V(i + 1, j + 1) + 2) /
                                             4);
                }
                ASSERT_EQ(s.u, u) << x << "," << y;
                ASSERT_EQ(s.v, v) << x << "," << y;
            }
    }
}

TEST(OemDevOut, TakesTheFirstAcceptedLayoutInOrder)
{
    Screen screen(64, 48, {FOURCC_YVU9, FOURCC_NV12, FOURCC_YUY2});
    EXPECT_EQ(DevOutVideoOEMSurfaceFormat(screen.Device()), FOURCC_YUY2);
}

TEST(OemDevOut, ShowsTheSourceCutToMultiplesOfEight)
{
    Screen screen(1278, 718, {FOURCC_I420}, 640, 480);
    ASSERT_EQ(screen.Present(), 1);
    const MemorySurface::Record f = screen.window.Snapshot();
    EXPECT_EQ(f.bltSource.width, 1272);
    EXPECT_EQ(f.bltSource.height, 712);
    EXPECT_EQ(f.bltDestination.y, 64); // 640 x 359 -> 352 high, centred
    EXPECT_EQ(f.bltDestination.height, 352);
}

TEST(OemDevOut, BusyOrLostSurfaceDropsOnlyThatPicture)
{
    Screen screen(64, 48, {FOURCC_I420});
    screen.window.SetLockBusy(true);
    EXPECT_EQ(screen.Present(), 0);
    screen.window.SetLockBusy(false);
    screen.window.SetBltFails(true);
    EXPECT_EQ(screen.Present(), 0);
    screen.window.SetBltFails(false);
    EXPECT_EQ(screen.Present(), 1);
    EXPECT_EQ(screen.window.Snapshot().nBlts, 1);
}

TEST(OemDevOut, RefusesPicturesItCannotHold)
{
    MemorySurface window(640, 480, {FOURCC_I420});
    for (auto [w, h] : {std::pair{0, 480}, std::pair{640, -2}, std::pair{100000, 100000}})
        EXPECT_EQ(DevOutVideoOEMOpen(nullptr, &window, w, h), nullptr) << w << "x" << h;
    EXPECT_EQ(DevOutVideoOEMOpen(nullptr, nullptr, 640, 480), nullptr);
}

TEST(OemDevOut, RegistersBySourceWidthTheLatestWinning)
{
    {
        Screen small(640, 480, {FOURCC_I420});
        Screen large(641, 480, {FOURCC_I420});
        EXPECT_EQ(g_pOemOutSmall, small.Device());
        EXPECT_EQ(g_pOemOutLarge, large.Device());
        Screen later(320, 240, {FOURCC_I420});
        EXPECT_EQ(g_pOemOutSmall, later.Device());
    }
    EXPECT_EQ(g_pOemOutSmall, nullptr);
    EXPECT_EQ(g_pOemOutLarge, nullptr);
}

TEST(OemDevOut, WithoutYuvLayoutsConvertsToRgb565)
{
    Screen screen(64, 48, {}, 320, 240);
    ASSERT_EQ(DevOutVideoOEMSurfaceFormat(screen.Device()), FOURCC_RGBA);
    ASSERT_EQ(screen.Present(), 1);
    const MemorySurface::Record f = screen.window.Snapshot();
    ASSERT_EQ(f.nDraws, 1);
    EXPECT_EQ(f.drawDestination.width, 320);
    EXPECT_EQ(f.drawDestination.height, 240);
    // The first bar is white, the last black; the ramp's ends are black and white.
    EXPECT_EQ(f.window[10 * 320 + 5], 0xFFFF);
    EXPECT_EQ(f.window[10 * 320 + 314], 0x0000);
    EXPECT_EQ(f.window[230 * 320 + 0], 0x0000);
    EXPECT_EQ(f.window[230 * 320 + 319], 0xFFFF);
    // Red bar: full red, no green or blue.
    const uint16_t red = f.window[10 * 320 + 5 * 40 + 20];
    EXPECT_GE(red >> 11, 30);
    EXPECT_LE((red >> 5) & 0x3F, 2);
    EXPECT_LE(red & 0x1F, 1);
}

TEST(OemDevOut, SkipFramesLeavesTenRgbPicturesUndrawn)
{
    Screen rgb(64, 48, {}, 320, 240);
    Screen yuv(64, 48, {FOURCC_I420}, 320, 240);
    EXPECT_EQ(DevOutVideoOEMSkipFrames(), 1);
    EXPECT_EQ(DevOutVideoOEMSkipFrames(), 1); // already counting: stays at 10
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(yuv.Present(), 1);
        EXPECT_EQ(rgb.Present(), 1);
    }
    EXPECT_EQ(rgb.window.Snapshot().nDraws, 0);
    EXPECT_EQ(yuv.window.Snapshot().nBlts, 10);
    EXPECT_EQ(rgb.Present(), 1);
    EXPECT_EQ(rgb.window.Snapshot().nDraws, 1);
    EXPECT_EQ(g_nOemSkipFrames.load(), 0);
}

TEST(OemDevOut, EmptyDisplayRectangleDrawsNothing)
{
    Screen yuv(64, 48, {FOURCC_I420}, 12, 200);
    Screen rgb(64, 48, {}, 12, 200);
    EXPECT_EQ(yuv.Present(), 1);
    EXPECT_EQ(rgb.Present(), 1);
    EXPECT_EQ(yuv.window.Snapshot().nBlts, 0);
    EXPECT_EQ(rgb.window.Snapshot().nDraws, 0);
}

} // namespace
