// roadlog-probe on clips of other containers: its samples are libavformat's packets, its
// pictures are those the ffmpeg program decodes from the same file, and its information names
// the codecs.
#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lavf_clips.h"
#include "tests/support/frame_md5.h"
#include "tests/support/local_http_server.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace {

struct Clip
{
    const char *file;
    const char *arguments;
};

const Clip kClips[] = {
    {"clip.mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mp4"},
    {"clip.ts", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -bf 2 -c:a aac -f mpegts"},
    {"clip.flv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 10 -c:a aac -f flv"},
    {"mpeg4.mp4", "-c:v mpeg4 -g 12 -bf 1 -c:a aac -f mp4"},
    {"mpeg4.ts", "-c:v mpeg4 -g 12 -c:a aac -f mpegts"},
    {"clip.asf", "-c:v msmpeg4 -c:a wmav2 -f asf"},
    {"clip.ogg", "-c:v libtheora -c:a libvorbis -f ogg"},
    {"clip.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg"},
    {"clip.wav", "-vn -c:a pcm_s16le -f wav"},
    {"clip.mp3", "-vn -c:a libmp3lame -f mp3"},
};

using LavfProbe = CClipTableTest<kClips>;

std::vector<std::pair<uint32_t, uint32_t>> ProbeSamples(const std::string &path, const char *kind,
                                                        int *exitCode)
{
    const CommandRun run = RunCommand(std::string(ROADLOG_PROBE) + " samples " + Quoted(path) +
                                      " --kind " + kind + " 2>/dev/null");
    *exitCode = run.exitCode;
    std::vector<std::pair<uint32_t, uint32_t>> samples;
    std::istringstream lines(run.out);
    uint32_t ms = 0, size = 0;
    while (lines >> ms >> size)
        samples.push_back({ms, size});
    return samples;
}

TEST_F(LavfProbe, SamplesAreTheDemuxersPacketsInOrderSizeAndTime)
{
    for (const Clip &clip : kClips) {
        for (AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
            const char *kind = type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
            SCOPED_TRACE(std::string(clip.file) + " " + kind);
            std::vector<std::pair<uint32_t, uint32_t>> expected;
            for (const DemuxedPacket &p : DemuxPackets(Path(clip.file), type))
                expected.push_back({p.ms, p.size});
            int exitCode = -1;
            const auto ours = ProbeSamples(Path(clip.file), kind, &exitCode);
            if (expected.empty()) {
                EXPECT_EQ(exitCode, 1); // "no video stream"
                continue;
            }
            EXPECT_EQ(exitCode, 0);
            EXPECT_EQ(ours, expected);
        }
    }
}

// The pictures of H.264 (with B-frames, avcC in MP4, Annex B in the transport stream and FLV)
// and MPEG-4 Part 2, bit for bit and in the same order as ffmpeg's.
TEST_F(LavfProbe, DecodedPicturesAreFfmpegsPictures)
{
    for (const char *file : {"clip.mp4", "clip.ts", "clip.flv", "mpeg4.mp4", "mpeg4.ts"}) {
        SCOPED_TRACE(file);
        int exitCode = -1;
        const Hashed ours = ProbeDecode(ROADLOG_PROBE, Path(file), &exitCode);
        EXPECT_EQ(exitCode, 0);
        const Hashed theirs = FfmpegFrameMd5(Path(file), 25);
        ASSERT_EQ(theirs.md5.size(), 50u);
        EXPECT_EQ(ours.md5, theirs.md5);
        // ffmpeg moves its pictures to start at 0; ours keep the times of their samples, which
        // keep the sound's distance.
        std::vector<int64_t> times;
        for (const DemuxedPacket &p : DemuxPackets(Path(file), AVMEDIA_TYPE_VIDEO))
            times.push_back(p.ms);
        std::sort(times.begin(), times.end());
        EXPECT_EQ(ours.times, times);
    }
}

TEST_F(LavfProbe, DecodingOverHttpGivesTheFilesPictures)
{
    LocalHttpServer server;
    ASSERT_TRUE(server.Start(s_folder->Path()));
    int exitCode = -1;
    const Hashed local = ProbeDecode(ROADLOG_PROBE, Path("clip.mp4"), &exitCode);
    ASSERT_EQ(local.md5.size(), 50u);
    const Hashed remote = ProbeDecode(ROADLOG_PROBE, server.Url("clip.mp4"), &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(remote.md5, local.md5);
    EXPECT_EQ(remote.times, local.times);
}

TEST_F(LavfProbe, InfoNamesSizeDurationAndCodecs)
{
    const CommandRun run =
        RunCommand(std::string(ROADLOG_PROBE) + " info " + Quoted(Path("clip.mp4")) + " 2>&1");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const char *expected :
         {"\"media_type\":1,", "\"fourcc_text\":\"H264\"", "\"width\":160", "\"height\":96",
          "\"frame_rate_milli\":25000", "\"format\":255", "\"sample_rate\":16000"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    const size_t at = run.out.find("\"duration_ms\":");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::atof(run.out.c_str() + at + 14), 2000.0, 100.0);
}

TEST_F(LavfProbe, MatroskaIsAnUnsupportedFile)
{
    ASSERT_TRUE(MakeClip(Path("clip.mkv"),
                         "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska"));
    const CommandRun run =
        RunCommand(std::string(ROADLOG_PROBE) + " info " + Quoted(Path("clip.mkv")) + " 2>&1");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Unsupported file\n");
}

} // namespace
