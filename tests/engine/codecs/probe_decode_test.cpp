// roadlog-probe decode against FFmpeg's framemd5 on the same bitstreams: the same pictures, in
// the same order, bit for bit.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "avi_remux.h"
#include "encode_fixture.h"
#include "engine/core/fourcc.h"
#include "engine/source/clf_writer.h"
#include "tests/support/demo_card.h"
#include "tests/support/frame_md5.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

Hashed ProbeDecode(const std::string &path, int *exitCode)
{
    return ::ProbeDecode(ROADLOG_PROBE, path, exitCode);
}

bool StartsWith(const std::string &path, const char *magic)
{
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    return in && std::equal(head, head + 4, magic);
}

std::vector<std::string> CardClips(const std::string &root, const char *magic)
{
    std::vector<std::string> clips;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".avi" && StartsWith(entry.path().string(), magic))
            clips.push_back(entry.path().string());
    }
    std::sort(clips.begin(), clips.end());
    return clips;
}

class DemoCard : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_card = new CTempFolder;
        ASSERT_TRUE(WriteDemoCard(s_card->Path()));
    }
    static void TearDownTestSuite()
    {
        delete s_card;
        s_card = nullptr;
    }
    static CTempFolder *s_card;
};
CTempFolder *DemoCard::s_card = nullptr;

void ExpectSamePictures(const Hashed &ours, const Hashed &theirs, bool compareTimes)
{
    ASSERT_FALSE(theirs.md5.empty());
    EXPECT_EQ(ours.md5.size(), theirs.md5.size());
    EXPECT_EQ(ours.md5, theirs.md5);
    if (compareTimes) {
        EXPECT_EQ(ours.times, theirs.times);
    }
}

TEST_F(DemoCard, ClfClipsDecodeToFfmpegsPictures)
{
    const std::vector<std::string> clips = CardClips(s_card->Path(), "CLF ");
    ASSERT_GE(clips.size(), 5u);
    for (const std::string &clip : clips) {
        SCOPED_TRACE(clip);
        RemuxStream stream;
        stream.codec = AV_CODEC_ID_MPEG4;
        ASSERT_TRUE(ReadVideoSamples(clip, &stream));
        EXPECT_EQ(stream.fourcc, MakeFourcc("XVID"));
        for (RemuxSample &s : stream.samples)
            s.key = ClassifyMpeg4Sample(s.data.data(), uint32_t(s.data.size())) == 1;
        const std::string avi = s_card->Path() + "same-stream.avi";
        ASSERT_TRUE(WriteAvi(avi, stream));
        int exitCode = -1;
        const Hashed ours = ProbeDecode(clip, &exitCode);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(ours.md5.size(), stream.samples.size());
        ExpectSamePictures(ours, FfmpegFrameMd5(avi, stream.fps), true);
    }
}

TEST_F(DemoCard, AviClipsDecodeToFfmpegsPictures)
{
    const std::vector<std::string> clips = CardClips(s_card->Path(), "RIFF");
    ASSERT_GE(clips.size(), 1u);
    for (const std::string &clip : clips) {
        SCOPED_TRACE(clip);
        int exitCode = -1;
        const Hashed ours = ProbeDecode(clip, &exitCode);
        if (exitCode != 0 && ours.md5.empty()) {
            // Without an AVI reader in the engine the probe answers "unsupported file".
            RemuxStream probe;
            if (!ReadVideoSamples(clip, &probe))
                GTEST_SKIP() << "the engine reads no AVI files in this build";
        }
        EXPECT_EQ(exitCode, 0);
        ExpectSamePictures(ours, FfmpegFrameMd5(clip, 25), true);
    }
}

TEST(ProbeDecode, H264WithReorderedPicturesDecodesToFfmpegsPictures)
{
    const EncodedStream encoded = EncodeVideo("libx264", 160, 96, 30, 12, 2, false);
    ASSERT_TRUE(encoded.ok) << "libx264 missing";
    CTempFolder folder;
    const std::string clip = folder / "h264.avi";
    ClfLayout layout;
    layout.video.push_back({ClfFourcc("H264"), 160, 96, 25000, 0, encoded.extra});
    ClfWriter writer;
    ASSERT_EQ(writer.Open(clip, layout), 0);
    // Decode order; the clip's times rise by 40 ms a sample.
    for (size_t i = 0; i < encoded.samples.size(); ++i)
        ASSERT_EQ(writer.WriteSample(kClfKindVideo, uint32_t(i * 40),
                                     encoded.samples[i].data.data(), encoded.samples[i].data.size(),
                                     40, encoded.samples[i].key),
                  0);
    ASSERT_EQ(writer.Finish(), 0);

    RemuxStream stream;
    stream.codec = AV_CODEC_ID_H264;
    ASSERT_TRUE(ReadVideoSamples(clip, &stream));
    ASSERT_EQ(stream.samples.size(), encoded.samples.size());
    for (size_t i = 0; i < stream.samples.size(); ++i)
        stream.samples[i].key = encoded.samples[i].key;
    const std::string avi = folder / "same-stream.avi";
    ASSERT_TRUE(WriteAvi(avi, stream));
    int exitCode = -1;
    const Hashed ours = ProbeDecode(clip, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(ours.md5.size(), 30u);
    ExpectSamePictures(ours, FfmpegFrameMd5(avi, 25), false);
    // The clip's times are in decode order, so each picture carries the time of its own sample:
    // every time once, in presentation order rather than rising.
    std::vector<int64_t> times = ours.times, expected;
    std::sort(times.begin(), times.end());
    for (int64_t i = 0; i < 30; ++i)
        expected.push_back(i * 40);
    EXPECT_EQ(times, expected);
    EXPECT_FALSE(std::is_sorted(ours.times.begin(), ours.times.end()));
}

// One clip per fourcc of the decoder table, written by the ffmpeg program as recorders write
// them. muxTag: the tag ffmpeg's muxer is given when it refuses the clip's own (then the
// header's fourcc is changed afterwards; the pictures are the same bitstream's).
struct RecorderClip
{
    const char *fourcc;
    const char *file;
    const char *encoder; // ffmpeg's output options before -tag:v
    const char *muxTag = nullptr;
};

const RecorderClip kRecorderClips[] = {
    {"MJPG", "mjpg-420.avi", "-c:v mjpeg -pix_fmt yuvj420p"},
    {"MJPG", "mjpg-422.avi", "-c:v mjpeg -pix_fmt yuvj422p"},
    {"MJPG", "mjpg-limited-420.avi", "-c:v mjpeg -pix_fmt yuv420p -strict -1"},
    {"MJPG", "mjpg-limited-422.avi", "-c:v mjpeg -pix_fmt yuv422p -strict -1"},
    {"AVRN", "avrn.avi", "-c:v mjpeg -pix_fmt yuvj422p", "MJPG"},
    {"LJPG", "ljpg.avi", "-c:v mjpeg -pix_fmt yuvj420p"},
    {"JPGL", "jpgl.avi", "-c:v mjpeg -pix_fmt yuvj422p"},
    {"DMB1", "dmb1.avi", "-c:v mjpeg -pix_fmt yuvj420p"},
    {"JPEG", "jpeg.avi", "-c:v mjpeg -pix_fmt yuvj420p"},
    {"H264", "h264.avi", "-c:v libx264 -bf 2 -g 6"},
    {"X264", "x264.avi", "-c:v libx264 -bf 2 -g 6"},
    {"DAVC", "davc.avi", "-c:v libx264 -bf 0 -g 6"},
    {"VSSH", "vssh.avi", "-c:v libx264 -bf 2 -g 6"},
    {"HEVC", "hevc.avi", "-c:v libx265 -x265-params log-level=error:bframes=2:keyint=6"},
    {"H265", "h265.avi", "-c:v libx265 -x265-params log-level=error:bframes=0:keyint=6"},
    {"HVC1", "hvc1.avi", "-c:v libx265 -x265-params log-level=error:keyint=6"},
    {"HEV1", "hev1.avi", "-c:v libx265 -x265-params log-level=error:keyint=6"},
    {"HEVC", "hevc-10bit.avi",
     "-c:v libx265 -pix_fmt yuv420p10le -x265-params log-level=error:keyint=6"},
    {"HVC1", "hvc1.mp4", "-c:v libx265 -x265-params log-level=error:bframes=2:keyint=6"},
    {"HEV1", "hev1-10bit.mp4",
     "-c:v libx265 -pix_fmt yuv420p10le -x265-params log-level=error:keyint=6"},
};

// The tag in the AVI headers (stream header and bitmap header) replaced by another.
bool RetagAvi(const std::string &path, const char *from, const char *to)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string head(4096, '\0');
    file.read(head.data(), std::streamsize(head.size()));
    head.resize(size_t(file.gcount()));
    const size_t movi = head.find("movi");
    int replaced = 0;
    for (size_t at = head.find(from); at < movi; at = head.find(from, at + 4), ++replaced)
        head.replace(at, 4, to);
    file.clear();
    file.seekp(0);
    file.write(head.data(), std::streamsize(head.size()));
    return file.good() && replaced == 2;
}

TEST(ProbeDecode, EveryRecorderFourccDecodesToFfmpegsPictures)
{
    CTempFolder folder;
    std::printf("%-5s %-22s %-14s %8s  %s\n", "tag", "clip", "ffmpeg's input", "pictures",
                "framemd5");
    for (const RecorderClip &c : kRecorderClips) {
        SCOPED_TRACE(c.file);
        const std::string path = folder / c.file;
        const std::string written = c.muxTag ? folder / (std::string("muxed-") + c.file) : path;
        const std::string command =
            std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 "
                        "-frames:v 12 ") +
            c.encoder + " -tag:v " + (c.muxTag ? c.muxTag : c.fourcc) + " " + Quoted(written) +
            " </dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        if (c.muxTag) {
            fs::copy_file(written, path);
            ASSERT_TRUE(RetagAvi(path, c.muxTag, c.fourcc));
        }
        int exitCode = -1;
        const Hashed ours = ProbeDecode(path, &exitCode);
        EXPECT_EQ(exitCode, 0);
        const Hashed theirs = FfmpegFrameMd5(written, 25, kEngineI420);
        const CommandRun format = RunCommand(
            "ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 " +
            Quoted(written));
        ASSERT_EQ(theirs.md5.size(), 12u);
        EXPECT_EQ(ours.md5, theirs.md5);
        std::printf("%-5s %-22s %-14s %8zu  %s\n", c.fourcc, c.file,
                    format.out.substr(0, format.out.find('\n')).c_str(), ours.md5.size(),
                    ours.md5 == theirs.md5 ? "bit-exact" : "DIFFERENT");
    }
}

TEST(ProbeDecode, FilesWithoutVideoOrDecoderFailWithTheEnginesMessage)
{
    CTempFolder folder;
    const std::string noVideo = folder / "text.avi";
    {
        ClfLayout layout;
        layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
        ClfWriter writer;
        ASSERT_EQ(writer.Open(noVideo, layout), 0);
        ASSERT_EQ(writer.WriteSample(kClfKindText, 0, "G$GPRMC", 7), 0);
        ASSERT_EQ(writer.Finish(), 0);
    }
    const std::string unknownCodec = folder / "vp80.avi";
    {
        ClfLayout layout;
        layout.video.push_back({ClfFourcc("VP80"), 64, 48, 25000, 0, {}});
        ClfWriter writer;
        ASSERT_EQ(writer.Open(unknownCodec, layout), 0);
        ASSERT_EQ(writer.WriteSample(kClfKindVideo, 0, "abcd", 4), 0);
        ASSERT_EQ(writer.Finish(), 0);
    }
    const struct
    {
        std::string path;
        const char *message;
    } cases[] = {
        {noVideo, "no video stream"},
        {unknownCodec, "Unsupported video codec"},
        {folder / "missing.avi", ""},
    };
    for (const auto &c : cases) {
        const CommandRun run =
            RunCommand(std::string(ROADLOG_PROBE) + " decode " + Quoted(c.path) + " 2>&1");
        EXPECT_EQ(run.exitCode, 1) << c.path;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    }
}

} // namespace
