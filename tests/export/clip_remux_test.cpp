#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/md5.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"
#include "export/clip_export.h"
#include "export/clip_fixes.h"
#include "export/clip_remux.h"
#include "playback/text_reading.h"
#include "telemetry/navi_track.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tools/mkcard/demo_clip.h"
#include "tools/mkcard/gps_route.h"

namespace {

// The track is read as the player wrapper reads it, through a playback without a sound device.
const int kQuietSound = setenv("SDL_AUDIODRIVER", "dummy", 0);

constexpr time_t kClipStart = 1286804700; // 2010-10-11 13:45:00 UTC

bool HaveFfprobe()
{
    return RunCommand("command -v ffprobe >/dev/null 2>&1").exitCode == 0;
}

// A recorder clip (CLF, MPEG-4 Part 2 and AAC) of 12 s with one fix a second.
std::string WriteCardClip(const CTempFolder &folder)
{
    DemoClipSpec spec;
    spec.path = folder / "R_clip.avi";
    spec.startUtc = kClipStart;
    spec.durationMs = 12000;
    spec.width = 320;
    spec.height = 180;
    for (uint32_t s = 0; s < 12; ++s)
        spec.textSamples.push_back(RmcSentence(FixAtDriveSecond(s + 60), kClipStart + s));
    std::string error;
    EXPECT_TRUE(WriteDemoClip(spec, &error)) << error;
    return spec.path;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Packet
{
    uint32_t nTimeMs;
    uint32_t nSize;
    std::string md5;
    bool operator==(const Packet &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Packet &p)
{
    return out << p.nTimeMs << "ms " << p.nSize << " " << p.md5;
}

std::string Md5Of(const uint8_t *data, uint32_t length)
{
    uint8_t digest[16];
    av_md5_sum(digest, data, int(length));
    char text[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

// The source's samples of one kind in [fromMs, toMs), times made relative to fromMs.
std::vector<Packet> SourcePackets(const std::string &path, int32_t kind, uint32_t fromMs,
                                  uint32_t toMs)
{
    std::vector<Packet> packets;
    SourceObject *source = nullptr;
    MediaInfo info{};
    EXPECT_EQ(SourceOpenPath(path, &source, &info), VANTOR_OK);
    std::vector<uint8_t> buffer(4 << 20);
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = uint32_t(buffer.size());
        request.nKind = kind;
        if (SourceRead(source, &request) != VANTOR_OK)
            break;
        if (request.nTime >= fromMs && request.nTime < toMs)
            packets.push_back(
                {request.nTime - fromMs, request.nLength, Md5Of(buffer.data(), request.nLength)});
    }
    SourceClose(source);
    return packets;
}

// What ffprobe sees in a file, per kind ("video", "audio"): the packets whose decoding time
// lies in [fromMs, toMs), times made relative to fromMs.
std::map<std::string, std::vector<Packet>>
ProbedPackets(const std::string &path, uint32_t fromMs = 0, uint32_t toMs = UINT32_MAX)
{
    std::map<std::string, std::vector<Packet>> packets;
    const CommandRun run = RunCommand("ffprobe -v error -show_data_hash MD5 -show_entries "
                                      "packet=codec_type,dts_time,size,data_hash -of csv=p=0 '" +
                                      path + "'");
    EXPECT_EQ(run.exitCode, 0);
    for (const std::string &line : Lines(run.out)) {
        char type[16] = {}, hash[64] = {};
        double ptsTime = 0;
        unsigned size = 0;
        if (std::sscanf(line.c_str(), "%15[^,],%lf,%u,MD5:%63s", type, &ptsTime, &size, hash) != 4)
            continue;
        const int64_t ms = std::llround(ptsTime * 1000);
        if (ms >= int64_t(fromMs) && ms < int64_t(toMs))
            packets[type].push_back({uint32_t(ms - fromMs), size, hash});
    }
    return packets;
}

std::string ProbeValue(const std::string &path, const std::string &entries)
{
    CommandRun run = RunCommand("ffprobe -v error -show_entries " + entries +
                                " -of default=nw=1:nk=1 '" + path + "'");
    while (!run.out.empty() && (run.out.back() == '\n' || run.out.back() == '\r'))
        run.out.pop_back();
    return run.out;
}

void ExpectSamePackets(const std::string &source, const REMUX_RESULT &result, uint32_t toMs,
                       bool withAudio)
{
    const auto probed = ProbedPackets(result.path);
    const auto video = SourcePackets(source, SAMPLE_KIND_VIDEO, result.nFirstMs, toMs);
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(probed.count("video") ? probed.at("video") : std::vector<Packet>{}, video);
    if (withAudio) {
        const auto audio = SourcePackets(source, SAMPLE_KIND_AUDIO, result.nFirstMs, toMs);
        ASSERT_FALSE(audio.empty());
        EXPECT_EQ(probed.count("audio") ? probed.at("audio") : std::vector<Packet>{}, audio);
    }
}

TEST(ClipExport, Mp4HoldsTheSourcePacketsOfTheSpan)
{
    if (!HaveFfprobe())
        GTEST_SKIP() << "ffprobe is not installed";
    CTempFolder folder;
    const std::string clip = WriteCardClip(folder);
    std::vector<int> progress;
    const CLIP_EXPORT_RESULT result =
        ExportClipSpan(clip, folder / "out/evidence.mp4", 5000, 9000, -1, 12000, [&](int p) {
            progress.push_back(p);
            return true;
        });
    ASSERT_FALSE(result.video.bOk) << "the folder does not exist yet";
    MakeFolders(folder / "out");
    progress.clear();
    const CLIP_EXPORT_RESULT done =
        ExportClipSpan(clip, folder / "out/evidence.mp4", 5000, 9000, -1, 12000, [&](int p) {
            progress.push_back(p);
            return true;
        });
    ASSERT_TRUE(done.video.bOk) << done.video.error;
    EXPECT_FALSE(done.video.bMatroska);
    EXPECT_EQ(done.video.path, folder / "out/evidence.mp4");
    EXPECT_FALSE(std::filesystem::exists(done.video.path + ".part"));
    // The copy opens on the key frame at or before the start, within one second (the demo
    // clips have a key frame a second).
    EXPECT_LE(done.video.nFirstMs, 5000u);
    EXPECT_GT(done.video.nFirstMs + 1000, 5000u);
    EXPECT_LT(done.video.nLastMs, 9000u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    ExpectSamePackets(clip, done.video, 9000, true);
    EXPECT_NE(ProbeValue(done.video.path, "format=format_name").find("mp4"), std::string::npos);
    // The wall-clock time of the first picture, from the clip's fixes.
    char expected[40];
    const time_t first = kClipStart + done.video.nFirstMs / 1000;
    tm t{};
    gmtime_r(&first, &t);
    std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%S", &t);
    EXPECT_EQ(ProbeValue(done.video.path, "format_tags=creation_time").substr(0, 19), expected);
    const std::string keyFlags = ProbeValue(done.video.path, "packet=flags -select_streams v");
    EXPECT_EQ(keyFlags.substr(0, 1), "K");

    // The GPX beside it holds the track's fixes of the same span, as the player builds them.
    ASSERT_EQ(done.gpxPath, folder / "out/evidence.gpx");
    std::vector<TEXT_SAMPLE> samples;
    ASSERT_EQ(ReadClipText(clip, &samples), VANTOR_OK);
    CTavloNaviTrack track;
    track.BuildTrack(uint32_t(samples.size()), samples.data());
    std::vector<std::string> expectedPoints;
    for (size_t i = 0; i < track.Count(); ++i) {
        const CTavloNaviInfo &fix = track.At(i);
        if (fix.dwTime < done.video.nFirstMs || fix.dwTime > 9000)
            continue;
        char text[80];
        std::snprintf(text, sizeof text, "%0.6f,%0.6f", NmeaToDegrees(fix.dLatitude),
                      NmeaToDegrees(fix.dLongitude));
        expectedPoints.push_back(text);
    }
    ASSERT_FALSE(expectedPoints.empty());
    EXPECT_EQ(done.nGpxPoints, int(expectedPoints.size()));
    const CommandRun gpx = RunCommand("xmllint --xpath '//*[local-name()=\"trkpt\"]/@*' '" +
                                      done.gpxPath + "' 2>/dev/null");
    std::vector<std::string> gpxPoints;
    double lat = 0, lon = 0;
    for (const char *p = gpx.out.c_str();
         (p = std::strstr(p, "lat=\"")) &&
         std::sscanf(p, "lat=\"%lf\" lon=\"%lf\"", &lat, &lon) == 2;
         ++p) {
        char text[80];
        std::snprintf(text, sizeof text, "%0.6f,%0.6f", lat, lon);
        gpxPoints.push_back(text);
    }
    EXPECT_EQ(gpxPoints, expectedPoints);
}

// Key-frame flags of a file's video packets as ffprobe reads them ("K" or "_" each).
std::string KeyFlags(const std::string &path)
{
    std::string flags;
    for (const std::string &line : Lines(ProbeValue(path, "packet=flags -select_streams v")))
        flags += line.substr(0, 1);
    return flags;
}

// The md5 of every decoded picture of a file whose time lies in [fromSeconds, toSeconds).
std::vector<std::string> PictureMd5s(const std::string &path, double fromSeconds, double toSeconds)
{
    const CommandRun run =
        RunCommand("ffmpeg -v error -i '" + path + "' -map 0:v -f framemd5 - 2>/dev/null");
    std::vector<std::string> md5s;
    int num = 1, den = 1;
    for (const std::string &line : Lines(run.out)) {
        long long dts = 0, pts = 0;
        int stream = 0, duration = 0, size = 0;
        char md5[40] = {};
        if (std::sscanf(line.c_str(), "#tb 0: %d/%d", &num, &den) == 2)
            continue;
        if (std::sscanf(line.c_str(), "%d, %lld, %lld, %d, %d, %39s", &stream, &dts, &pts,
                        &duration, &size, md5) == 6) {
            const double t = double(pts) * num / den;
            if (t >= fromSeconds - 1e-6 && t < toSeconds - 1e-6)
                md5s.push_back(md5);
        }
    }
    return md5s;
}

// Recorders' other formats, made by ffmpeg at test time: the container the copy goes to, its
// packets against the source's as ffprobe reads both, its key frames (found by the engine's
// classifiers: one a second here) and its pictures.
TEST(ClipExport, EachCodecGoesToTheContainerThatHoldsIt)
{
    if (!HaveFfprobe() || RunCommand("command -v ffmpeg >/dev/null 2>&1").exitCode != 0)
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    struct Case
    {
        const char *name;
        const char *source; // file name: the container
        const char *codecs; // ffmpeg's options for the picture and the sound
        bool matroska;
        bool intraOnly; // every picture a key frame: the copy starts at the span's start
        // The engine hands HEVC from MP4 on as Annex B with the parameter sets before each
        // key frame, which the copy keeps: its pictures, times and sound are the source's,
        // its key frames' bytes are not.
        bool videoBytesEqual = true;
    };
    const Case cases[] = {
        {"MPEG-4 Part 2 with PCM sound, which MP4 cannot carry", "clip.avi",
         "-c:v mpeg4 -c:a pcm_s16le", true, false},
        {"H.264 with AAC", "clip.mp4", "-c:v libx264 -bf 0 -c:a aac", false, false},
        {"HEVC with AAC", "clip.mp4", "-c:v libx265 -bf 0 -x265-params log-level=none -c:a aac",
         false, false, false},
        {"Motion JPEG without sound", "clip.avi", "-c:v mjpeg -an", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CTempFolder folder;
        const std::string clip = folder / c.source;
        const CommandRun made =
            RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i "
                       "sine=frequency=440:sample_rate=8000 -t 4 -g 10 " +
                       std::string(c.codecs) + " -fflags +bitexact '" + clip + "' 2>&1");
        if (made.exitCode != 0) {
            std::printf("[ skipped ] %s: this ffmpeg cannot make it: %s\n", c.name,
                        made.out.c_str());
            continue;
        }
        REMUX_REQUEST request;
        request.source = clip;
        request.target = folder / "out.mp4";
        request.nFromMs = 1500;
        request.nToMs = 3500;
        request.nClipStartUtcMs = int64_t(kClipStart) * 1000;
        const REMUX_RESULT result = RemuxClip(request);
        ASSERT_TRUE(result.bOk) << result.error;
        EXPECT_EQ(result.bMatroska, c.matroska);
        EXPECT_EQ(result.path, folder / (c.matroska ? "out.mkv" : "out.mp4"));
        const uint32_t first = c.intraOnly ? 1500u : 1000u;
        EXPECT_EQ(result.nFirstMs, first);
        EXPECT_NE(
            ProbeValue(result.path, "format=format_name").find(c.matroska ? "matroska" : "mp4"),
            std::string::npos);
        auto copied = ProbedPackets(result.path);
        auto source = ProbedPackets(clip, first, 3500);
        ASSERT_EQ(source.count("video"), 1u);
        ASSERT_EQ(copied.count("video"), 1u);
        if (!c.videoBytesEqual) {
            ASSERT_EQ(copied["video"].size(), source["video"].size());
            for (size_t i = 0; i < source["video"].size(); ++i)
                EXPECT_EQ(copied["video"][i].nTimeMs, source["video"][i].nTimeMs) << i;
            copied.erase("video");
            source.erase("video");
        }
        EXPECT_EQ(copied, source);
        const size_t count = (3500 - first) / 100;
        const std::vector<std::string> pictures = PictureMd5s(result.path, 0, 10);
        EXPECT_EQ(pictures.size(), count);
        EXPECT_EQ(pictures, PictureMd5s(clip, first / 1000.0, 3.5));
        std::string expectedKeys;
        for (size_t i = 0; i < count; ++i)
            expectedKeys += c.intraOnly || i % 10 == 0 ? 'K' : '_';
        EXPECT_EQ(KeyFlags(result.path), expectedKeys);
    }
}

TEST(ClipExport, FailuresLeaveNoFile)
{
    CTempFolder folder;
    const std::string clip = WriteCardClip(folder);
    WriteSized(folder / "junk.avi", 5000);
    struct Case
    {
        const char *name;
        std::string source;
        uint32_t from, to;
        bool cancel;
    };
    const Case cases[] = {
        {"end not after start", clip, 5000, 5000, false},
        {"missing clip", folder / "none.avi", 0, 5000, false},
        {"not a clip", folder / "junk.avi", 0, 5000, false},
        {"span after the clip", clip, 60000, 90000, false},
        {"cancelled", clip, 0, 12000, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        REMUX_REQUEST request;
        request.source = c.source;
        request.target = folder / "out.mp4";
        request.nFromMs = c.from;
        request.nToMs = c.to;
        const REMUX_RESULT result = RemuxClip(request, [&](int p) { return !c.cancel || p < 50; });
        EXPECT_FALSE(result.bOk);
        EXPECT_FALSE(result.error.empty());
        for (const char *name : {"out.mp4", "out.mp4.part", "out.mkv", "out.mkv.part"})
            EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    }
}

TEST(ClipExport, FastFixReaderEqualsTheTrack)
{
    CTempFolder folder;
    const std::string clip = WriteCardClip(folder);
    std::vector<FIX_POINT> points;
    ASSERT_TRUE(ReadClipFixes(clip, &points));
    std::vector<TEXT_SAMPLE> samples;
    ASSERT_EQ(ReadClipText(clip, &samples), VANTOR_OK);
    CTavloNaviTrack track;
    track.BuildTrack(uint32_t(samples.size()), samples.data());
    ASSERT_EQ(points.size(), track.Count());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].nTimeMs, track.At(i).dwTime);
        EXPECT_DOUBLE_EQ(points[i].dLatitude, NmeaToDegrees(track.At(i).dLatitude));
        // Sample i lies at i seconds and carries the fix of kClipStart + i.
        EXPECT_EQ(points[i].nUtcMs, int64_t(kClipStart) * 1000 + points[i].nTimeMs);
    }
    std::string error;
    EXPECT_FALSE(ReadClipFixes(folder / "none.avi", &points, &error));
    EXPECT_FALSE(error.empty());
}

TEST(ClipExport, DefaultSpanStaysInsideTheClip)
{
    struct Case
    {
        uint32_t position, duration, from, to;
    };
    const Case cases[] = {
        {60000, 180000, 30000, 90000}, {10000, 180000, 0, 40000}, {170000, 180000, 140000, 180000},
        {5000, 8000, 0, 8000},         {9000, 8000, 0, 8000}, // a position past the end counts as
                                                              // the end
    };
    for (const Case &c : cases) {
        const CLIP_SPAN span = DefaultExportSpan(c.position, c.duration);
        EXPECT_EQ(span.nFromMs, c.from) << c.position;
        EXPECT_EQ(span.nToMs, c.to) << c.position;
    }
}

TEST(ClipExport, CodecNames)
{
    EXPECT_EQ(VideoCodecIdForFourcc(0x44495658 /* "XVID" */), AV_CODEC_ID_MPEG4);
    EXPECT_EQ(VideoCodecIdForFourcc(0x31637661 /* "avc1" */), AV_CODEC_ID_H264);
    EXPECT_EQ(VideoCodecIdForFourcc(0x5A5A5A5A), AV_CODEC_ID_NONE);
    EXPECT_EQ(AudioCodecIdForFormat(1, 8), AV_CODEC_ID_PCM_U8);
    EXPECT_EQ(AudioCodecIdForFormat(1, 16), AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(AudioCodecIdForFormat(0xFF, 16), AV_CODEC_ID_AAC);
    EXPECT_EQ(WithExtension("/a.b/clip", "mkv"), "/a.b/clip.mkv");
    EXPECT_EQ(WithExtension("/a/clip.mp4", "gpx"), "/a/clip.gpx");
}

} // namespace
