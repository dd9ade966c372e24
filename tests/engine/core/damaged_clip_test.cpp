// Clips a power cut or a full card leaves behind, made from one clean AVI clip of the demo
// card's kind: each opens (or is refused) quickly, gives back every sample it still holds
// whole, plays, and stops quickly without holding on to memory.

#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/source/source_object.h"
#include "tests/engine/core/damaged_avi.h"
#include "tests/engine/core/player_harness.h"
#include "tests/support/resident_memory.h"
#include "tools/mkcard/demo_clip.h"

namespace {

using namespace damaged_avi;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point begin)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
}

struct ReadSample
{
    std::vector<uint8_t> data;
    uint32_t nTime;
};

// Every sample of a kind, retrying a read that handed back its slice; bounded in time so a
// reader that loops fails the test instead of hanging it.
std::vector<ReadSample> ReadKind(SourceObject *source, int32_t kind)
{
    std::vector<ReadSample> samples;
    std::vector<uint8_t> buffer(4u << 20);
    const auto begin = Clock::now();
    while (MsSince(begin) < 10000) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = uint32_t(buffer.size());
        request.nKind = kind;
        int32_t readerResult = 0;
        const int32_t result = SourceRead(source, &request, &readerResult);
        if (result == VANTOR_E_AGAIN)
            continue;
        if (result != VANTOR_OK)
            return samples;
        samples.push_back({{buffer.begin(), buffer.begin() + request.nLength}, request.nTime});
    }
    ADD_FAILURE() << "reading did not end";
    return samples;
}

std::vector<std::vector<uint8_t>> ExpectedData(const CleanAvi &clip, const DamagedClip &damaged,
                                               uint32_t stream)
{
    std::vector<std::vector<uint8_t>> data;
    for (const Chunk &c : damaged.intact)
        if (c.StreamNumber() == stream && c.nSize)
            data.push_back(clip.DataOf(c));
    return data;
}

std::vector<std::vector<uint8_t>> DataOf(const std::vector<ReadSample> &samples)
{
    std::vector<std::vector<uint8_t>> data;
    for (const ReadSample &s : samples)
        data.push_back(s.data);
    return data;
}

// What libavformat's own demuxer makes of the file: duration and the last video packet's time.
struct LavfView
{
    int64_t nDurationMs = -1;
    int64_t nLastVideoMs = -1;
};

LavfView ViewOf(const std::string &path)
{
    LavfView view;
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return view;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> fc(
        raw, [](AVFormatContext *c) { avformat_close_input(&c); });
    if (avformat_find_stream_info(fc.get(), nullptr) < 0)
        return view;
    view.nDurationMs = fc->duration == AV_NOPTS_VALUE ? -1 : fc->duration / 1000;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(fc.get(), packet) >= 0) {
        const AVStream *st = fc->streams[packet->stream_index];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && packet->pts != AV_NOPTS_VALUE)
            view.nLastVideoMs = std::max<int64_t>(
                view.nLastVideoMs, av_rescale_q(packet->pts, st->time_base, {1, 1000}));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return view;
}

struct DamageCase
{
    const char *name;
    DamagedClip (*make)(const CleanAvi &);
};

const DamageCase kCases[] = {
    {"zero-filled tail of 200 MB", ZeroTail},
    {"stale movi size", StaleMoviSize},
    {"last chunk cut in half", ChunkCutInHalf},
    {"idx1 naming chunks past the end", Idx1PastTheEnd},
    {"32 MB chunk size in the middle", HugeChunkSizeInTheMiddle},
    {"5 GiB OpenDML clip, second RIFF past 4 GiB", OpenDml5GiB},
};

// Test lists show the case by its name.
void PrintTo(const DamageCase &c, std::ostream *os)
{
    *os << c.name;
}

class DamagedClipTest : public ::testing::TestWithParam<DamageCase>
{
protected:
    static void SetUpTestSuite()
    {
        s_pFolder = new CTempFolder;
        DemoClipSpec spec;
        spec.path = *s_pFolder / "clean.avi";
        spec.container = ClipContainer::Avi;
        spec.durationMs = 4000;
        spec.width = 160;
        spec.height = 96;
        std::string error;
        ASSERT_TRUE(WriteDemoClip(spec, &error)) << error;
        s_pClean = new CleanAvi(ParseClean(ReadBytes(spec.path)));
    }
    static void TearDownTestSuite()
    {
        delete s_pClean;
        delete s_pFolder;
    }

    static CTempFolder *s_pFolder;
    static CleanAvi *s_pClean;
};

CTempFolder *DamagedClipTest::s_pFolder = nullptr;
CleanAvi *DamagedClipTest::s_pClean = nullptr;

TEST_P(DamagedClipTest, OpensQuicklyReadsEveryIntactSamplePlaysAndStopsQuickly)
{
    ASSERT_NE(s_pClean, nullptr);
    const CleanAvi &clip = *s_pClean;
    const DamagedClip damaged = GetParam().make(clip);
    const std::string path = *s_pFolder / "damaged.avi";
    damaged.Write(path);
    const int64_t residentBefore = ResidentBytes();

    SourceObject *source = nullptr;
    MediaInfo info{};
    const auto openBegin = Clock::now();
    ASSERT_EQ(SourceOpenPath(path, &source, &info), VANTOR_OK);
    const int64_t openMs = MsSince(openBegin);
    EXPECT_LT(openMs, 2000);
    const auto readBegin = Clock::now();
    const std::vector<ReadSample> video = ReadKind(source, SAMPLE_KIND_VIDEO);
    const std::vector<ReadSample> audio = ReadKind(source, SAMPLE_KIND_AUDIO);
    const int64_t readMs = MsSince(readBegin);
    SourceClose(source);
    EXPECT_EQ(DataOf(video), ExpectedData(clip, damaged, 0));
    EXPECT_EQ(DataOf(audio), ExpectedData(clip, damaged, 1));

    PlayerHarness player(BuiltinDecoders());
    ASSERT_EQ(player.Play(path), 1);
    EXPECT_TRUE(player.WaitForState(VS_PLAYING, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int64_t residentPlaying = ResidentBytes();
    const auto stopBegin = Clock::now();
    EXPECT_EQ(VantorStop(player.Player()), 1);
    const int64_t stopMs = MsSince(stopBegin);
    EXPECT_LT(stopMs, 100);
    EXPECT_TRUE(player.WaitForState(VS_IDLE, 1000));
    const int64_t growth = std::max(residentPlaying, ResidentBytes()) - residentBefore;
    EXPECT_LT(growth, 100 << 20);

    std::printf("[ figures  ] %s: open %lld ms, read %lld ms (%zu video, %zu audio samples), "
                "stop %lld ms, memory growth %lld KiB\n",
                GetParam().name, static_cast<long long>(openMs), static_cast<long long>(readMs),
                video.size(), audio.size(), static_cast<long long>(stopMs),
                static_cast<long long>(growth >> 10));
    if (GetParam().make == OpenDml5GiB) {
        // Duration and the last picture's time as libavformat sees the same file.
        const LavfView lavf = ViewOf(path);
        ASSERT_FALSE(video.empty());
        std::printf("[ figures  ] %s: duration %u ms (libavformat %lld), last picture %u ms "
                    "(libavformat %lld)\n",
                    GetParam().name, info.nDuration, static_cast<long long>(lavf.nDurationMs),
                    video.back().nTime, static_cast<long long>(lavf.nLastVideoMs));
        EXPECT_NEAR(int64_t{info.nDuration}, lavf.nDurationMs, 40);
        EXPECT_EQ(int64_t{video.back().nTime}, lavf.nLastVideoMs);
    }
}

INSTANTIATE_TEST_SUITE_P(PowerCutAndHugeClips, DamagedClipTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DamageCase> &info) {
                             std::string name;
                             for (const char *c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

} // namespace
