#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/output/jpeg_writer.h"
#include "engine/output/memory_surface.h"
#include "engine/output/oem_dev_out.h"
#include "engine/output/picture_convert.h"
#include "platform/wide_text.h"
#include "tests/engine/output/test_picture.h"
#include "tests/support/jpeg_file.h"

namespace {

namespace fs = std::filesystem;

DecodedJpeg DecodeJpeg(const fs::path &path)
{
    return DecodeJpegFile(path.string());
}

struct CaptureFixture : ::testing::Test
{
    fs::path folder;
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("roadlog-capture-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::wstring WidePath(const char *name) const { return Utf8ToWide((folder / name).string()); }
};

// An output with a video task presenting the test picture every 10 ms.
struct PresentingOutput
{
    MemorySurface window{320, 240, {FOURCC_I420}};
    TestPicture picture;
    OemDevOut *out;
    std::atomic<bool> stop{false};
    std::thread task;

    PresentingOutput(int32_t width, int32_t height, bool present)
        : picture(MakeTestPicture(width, height)),
          out(DevOutVideoOEMOpen(nullptr, &window, width, height))
    {
        if (present)
            task = std::thread([this] {
                while (!stop) {
                    DevOutVideoOEMPresent(out, picture.Y(), picture.U(), picture.V(),
                                          picture.nStride);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
    }
    ~PresentingOutput() { Close(); }
    void Close()
    {
        stop = true;
        if (task.joinable())
            task.join();
        DevOutVideoOEMClose(out);
        out = nullptr;
    }
};

TEST_F(CaptureFixture, WritesTheNextPictureAsJfifAtNinetySixDpi)
{
    PresentingOutput small(96, 64, true);
    ASSERT_EQ(DevOutVideoOEMCapture(WidePath("shot.jpg").c_str(), 1), 1);
    const DecodedJpeg d = DecodeJpeg(folder / "shot.jpg");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 96);
    EXPECT_EQ(d.height, 64);
    EXPECT_TRUE(d.jfif);
    EXPECT_EQ(d.densityUnit, 1);
    EXPECT_EQ(d.xDensity, 96);
    EXPECT_EQ(d.yDensity, 96);
    EXPECT_EQ(d.quantTables, LibjpegQualityTables(90));

    std::vector<uint8_t> bgr(96 * 64 * 3);
    YuvToBgr24(bgr.data(), 96, 64, 96 * 3, small.picture.Y(), small.picture.U(), small.picture.V(),
               small.picture.nStride);
    // Away from the bars' edges, where JPEG's own chroma subsampling blurs, the file holds the
    // converted picture closely.
    for (int bar = 0; bar < 8; ++bar)
        for (int row : {8, 30}) {
            const size_t i = (static_cast<size_t>(row) * 96 + bar * 12 + 6) * 3;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(d.rgb[i + c], bgr[i + 2 - c], 8) << "bar " << bar << " row " << row;
        }
    // Rows top first: the top-left pixel is the white bar, the bottom-left the ramp's black.
    EXPECT_GT(d.rgb[0], 230);
    EXPECT_LT(d.rgb[(63 * 96) * 3], 25);
}

TEST_F(CaptureFixture, SelectorPicksTheSizeClass)
{
    PresentingOutput large(656, 64, true);
    EXPECT_EQ(DevOutVideoOEMCapture(WidePath("small.jpg").c_str(), 1), 0);
    EXPECT_FALSE(fs::exists(folder / "small.jpg"));
    ASSERT_EQ(DevOutVideoOEMCapture(WidePath("large.jpg").c_str(), 0), 1);
    EXPECT_EQ(DecodeJpeg(folder / "large.jpg").width, 656);
}

TEST_F(CaptureFixture, GivesUpAfterTwoSecondsWithoutAPicture)
{
    PresentingOutput paused(96, 64, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DevOutVideoOEMCapture(WidePath("none.jpg").c_str(), 1), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1900));
    EXPECT_LT(waited, std::chrono::milliseconds(3500));
    EXPECT_FALSE(fs::exists(folder / "none.jpg"));
}

TEST_F(CaptureFixture, EndsAtOnceWhenTheOutputCloses)
{
    auto paused = std::make_unique<PresentingOutput>(96, 64, false);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        paused->Close();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DevOutVideoOEMCapture(WidePath("closed.jpg").c_str(), 1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    closer.join();
}

TEST_F(CaptureFixture, UnwritablePathFailsWithoutAFile)
{
    const std::vector<uint8_t> pixels(16 * 16 * 3, 128);
    EXPECT_FALSE(
        WriteBgr24Jpeg((folder / "missing" / "x.jpg").string(), pixels.data(), 16, 16, 48));
    EXPECT_TRUE(WriteBgr24Jpeg((folder / "x.jpg").string(), pixels.data(), 16, 16, 48));
    EXPECT_EQ(DecodeJpeg(folder / "x.jpg").height, 16);
}

} // namespace
