#include <string>

#include <gtest/gtest.h>

#include "engine/core/vantor_errors.h"
#include "engine/output/memory_surface.h"
#include "engine/output/oem_dev_out.h"
#include "engine/output/video_renderer.h"
#include "tests/engine/output/test_picture.h"

namespace {

struct DisplayCase
{
    const char *name;
    DisplayArea area;
    DisplayRect expected;
};

// window w, h; source w, h; aspect mode, ratio w, h; orientation
const DisplayCase kDisplay[] = {
    {"source ratio cuts the height to 16s", {480, 360, 640, 480, 1, 0, 0, 0}, {0, 4, 480, 352}},
    {"fit without enlarging centres", {640, 480, 320, 240, 0, 0, 0, 0}, {160, 120, 320, 240}},
    {"fill takes the window", {640, 480, 320, 240, 2, 0, 0, 0}, {0, 0, 640, 480}},
    {"wide source in a 4:3 window", {640, 480, 1280, 720, 1, 0, 0, 0}, {0, 64, 640, 352}},
    {"4:3 in a wider window", {700, 500, 720, 480, 3, 0, 0, 0}, {22, 2, 656, 496}},
    {"16:9", {640, 480, 720, 576, 4, 0, 0, 0}, {0, 64, 640, 352}},
    {"turned window exchanges width and height",
     {480, 640, 640, 480, 1, 0, 0, 1},
     {0, 0, 640, 480}},
    {"orientation 4 keeps them", {480, 640, 640, 480, 1, 0, 0, 4}, {0, 144, 480, 352}},
    {"window under 16 pixels is empty", {15, 200, 640, 480, 2, 0, 0, 0}, {7, 4, 0, 192}},
    {"huge custom ratio stays in the window",
     {640, 480, 640, 480, 7, 1, 4000000000u, 0},
     {320, 0, 0, 480}},
    {"very wide strip grows to show more", {640, 480, 640, 480, 7, 30, 1, 0}, {0, 224, 640, 32}},
    {"very wide strip stays in a low window", {640, 40, 640, 480, 7, 30, 1, 0}, {0, 4, 640, 32}},
};

TEST(VideoRenderer, DisplayRectangle)
{
    for (const DisplayCase &c : kDisplay) {
        const DisplayRect r = ComputeDisplayRect(c.area);
        EXPECT_EQ(r.x, c.expected.x) << c.name;
        EXPECT_EQ(r.y, c.expected.y) << c.name;
        EXPECT_EQ(r.width, c.expected.width) << c.name;
        EXPECT_EQ(r.height, c.expected.height) << c.name;
    }
}

struct RendererFixture : ::testing::Test
{
    // The window outlives the renderer's device output, as the application's windows do.
    MemorySurface window{640, 480, {FOURCC_I420}};
    VideoRenderer *renderer = nullptr;

    void Create(int32_t width, int32_t height)
    {
        const uint8_t extra[4] = {1, 2, 3, 4};
        const VideoStreamFormat format = {FOURCC_I420, 12, width, height, extra, 4};
        ASSERT_EQ(VideoRendererCreate(&format, &renderer), VANTOR_OK);
    }
    void TearDown() override { VideoRendererClose(renderer); }
};

VantorVideoOutConfig ScreenConfig(VideoSurface *window, uint32_t aspect)
{
    VantorVideoOutConfig c{};
    c.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW | VIDEO_OUT_ASPECT;
    c.dwOutputType = VIDEO_OUT_TYPE_OEM;
    c.pWindow = window;
    c.dwAspectMode = aspect;
    return c;
}

TEST_F(RendererFixture, CreationCopiesTheStreamAndSetsOptionOne)
{
    Create(320, 240);
    EXPECT_EQ(renderer->nWidth, 320);
    EXPECT_EQ(renderer->extra, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(renderer->dwOption1, 1u);
    EXPECT_EQ(renderer->pDevice, nullptr);
}

TEST_F(RendererFixture, OutputTypeIsAppliedAfterTheWindowInOneRecord)
{
    // The device output needs the window when it opens: the type group must come last.
    Create(320, 240);
    const VantorVideoOutConfig config = ScreenConfig(&window, 1);
    EXPECT_EQ(VideoRendererConfigure(renderer, &config), 1);
    ASSERT_NE(renderer->pDevice, nullptr);
    EXPECT_TRUE(renderer->bConfigChanged);
    TestPicture picture = MakeTestPicture(320, 240);
    const VideoPicture frame = {picture.Y(), picture.U(), picture.V(), picture.nStride};
    EXPECT_EQ(VideoRendererPresent(renderer, &frame), 1);
    const MemorySurface::Record shown = window.Snapshot();
    EXPECT_EQ(shown.nBlts, 1);
    EXPECT_EQ(shown.bltDestination.width, 640);
    EXPECT_EQ(shown.bltDestination.height, 480);
}

TEST_F(RendererFixture, AspectChangeIsReadAtTheNextPresentation)
{
    Create(320, 240);
    VantorVideoOutConfig config = ScreenConfig(&window, 2);
    ASSERT_EQ(VideoRendererConfigure(renderer, &config), 1);
    void *device = renderer->pDevice;
    config.dwMask = VIDEO_OUT_ASPECT;
    config.dwAspectMode = 0;
    ASSERT_EQ(VideoRendererConfigure(renderer, &config), 1);
    EXPECT_EQ(renderer->pDevice, device); // no new device output for an aspect change
    TestPicture picture = MakeTestPicture(320, 240);
    const VideoPicture frame = {picture.Y(), picture.U(), picture.V(), picture.nStride};
    ASSERT_EQ(VideoRendererPresent(renderer, &frame), 1);
    const SurfaceRect d = window.Snapshot().bltDestination;
    EXPECT_EQ(d.x, 160);
    EXPECT_EQ(d.width, 320);
}

TEST_F(RendererFixture, WindowMovesAreSeenWithoutNotice)
{
    Create(320, 240);
    const VantorVideoOutConfig config = ScreenConfig(&window, 1);
    ASSERT_EQ(VideoRendererConfigure(renderer, &config), 1);
    window.SetScreenPosition(100, 50);
    window.SetSize(480, 360);
    const DisplayRect r = VideoRendererGetDisplayRect(renderer);
    EXPECT_EQ(renderer->window[0], 100);
    EXPECT_EQ(renderer->window[1], 50);
    EXPECT_EQ(r.width, 480);
    EXPECT_EQ(r.height, 352);
}

TEST_F(RendererFixture, FailuresAreReported)
{
    Create(320, 240);
    TestPicture picture = MakeTestPicture(320, 240);
    const VideoPicture frame = {picture.Y(), picture.U(), picture.V(), picture.nStride};
    EXPECT_EQ(VideoRendererPresent(renderer, &frame), VANTOR_E_UNSUPPORTED_FUNCTION);

    VantorVideoOutConfig config = ScreenConfig(nullptr, 1);
    EXPECT_EQ(VideoRendererConfigure(renderer, &config), 0); // no window: open fails
    EXPECT_EQ(renderer->nLastError, VANTOR_E_OUT_OF_MEMORY);

    config = ScreenConfig(&window, 1);
    config.dwOutputType = 9;
    EXPECT_EQ(VideoRendererConfigure(renderer, &config), 0);
    EXPECT_EQ(renderer->nLastError, VANTOR_E_VIDEO_OUTPUT_INIT);
    EXPECT_EQ(renderer->pDevice, nullptr);

    config.dwOutputType = VIDEO_OUT_TYPE_OEM;
    ASSERT_EQ(VideoRendererConfigure(renderer, &config), 1);
    const VideoPicture empty = {nullptr, nullptr, nullptr, 0};
    EXPECT_EQ(VideoRendererPresent(renderer, &empty), 0);
    EXPECT_EQ(window.Snapshot().nBlts, 0);
    EXPECT_EQ(VideoRendererNotify(renderer, 0), 0); // the screen output has no notify
}

} // namespace
