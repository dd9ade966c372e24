// Every picture of a 1080p 30 s clip decoded by the engine (reader, decoder, the probe's decode
// loop without hashing) and by `ffmpeg -threads 1 -f null -` on the same bitstream in an AVI
// file. The clips are encoded once at start-up: MPEG-4 Part 2 by libavcodec's mpeg4 encoder and,
// when libavcodec has it, H.264 by libx264. The ratio engine / ffmpeg is printed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include "avi_remux.h"
#include "encode_fixture.h"
#include "engine/codecs/decode_file.h"
#include "engine/core/fourcc.h"
#include "engine/source/clf_writer.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFps = 30, kSeconds = 30;

struct BenchClip
{
    std::string clf, avi;
    int pictures = 0;
};

std::map<std::string, BenchClip> g_clips;
// Best wall-clock and CPU seconds by "engine NAME" / "ffmpeg NAME". CPU time is the fairer
// figure on a shared machine: the decoder's own process time, ffmpeg's as a child's.
struct Timing
{
    double wall = 0, cpu = 0;
};
std::map<std::string, Timing> g_best;

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Camera-like content for the encoder: the moving ramp with a moving texture on it, so pictures
// carry real residuals.
void Texture(AVFrame *frame, int i)
{
    FillTestPicture(frame, i);
    for (int y = 0; y < frame->height; ++y) {
        uint8_t *row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            uint32_t h = uint32_t(x + 4 * i) * 73856093u ^ uint32_t(y) * 19349663u;
            h ^= h >> 13;
            row[x] = uint8_t(row[x] / 2 + (h & 63));
        }
    }
}

bool MakeClip(const std::string &name, const char *encoder, uint32_t fourcc, AVCodecID codec,
              const std::string &folder)
{
    const EncodedStream encoded =
        EncodeVideo(encoder, kWidth, kHeight, kFps * kSeconds, kFps, 0, true, AV_PIX_FMT_YUV420P,
                    codec == AV_CODEC_ID_H264 ? "veryfast" : nullptr, kFps,
                    8000000 /* a recorder's 1080p rate */, Texture);
    if (!encoded.ok)
        return false;
    RemuxStream stream;
    stream.codec = codec;
    stream.fourcc = fourcc;
    stream.width = kWidth;
    stream.height = kHeight;
    stream.fps = kFps;
    stream.extra = encoded.extra;
    for (const EncodedSample &s : encoded.samples)
        stream.samples.push_back({s.data, s.key});

    BenchClip clip;
    clip.clf = folder + name + ".clf";
    clip.avi = folder + name + ".avi";
    clip.pictures = int(stream.samples.size());
    ClfLayout layout;
    layout.video.push_back({FourccFromBigEndianWord(fourcc), uint32_t(kWidth), uint32_t(kHeight),
                            uint32_t(kFps * 1000), 0, stream.extra});
    ClfWriter writer;
    if (writer.Open(clip.clf, layout) != 0)
        return false;
    for (size_t i = 0; i < stream.samples.size(); ++i) {
        const RemuxSample &s = stream.samples[i];
        if (writer.WriteSample(kClfKindVideo, uint32_t(i * 1000 / kFps), s.data.data(),
                               s.data.size(), 1000 / kFps, s.key) != 0)
            return false;
    }
    if (writer.Finish() != 0 || !WriteAvi(clip.avi, stream))
        return false;
    g_clips[name] = clip;
    return true;
}

void Record(const std::string &name, double wall, double cpu)
{
    auto it = g_best.find(name);
    if (it == g_best.end()) {
        g_best[name] = Timing{wall, cpu};
        return;
    }
    it->second.wall = std::min(it->second.wall, wall);
    it->second.cpu = std::min(it->second.cpu, cpu);
}

void BM_EngineDecode(benchmark::State &state, std::string clipName)
{
    const BenchClip &clip = g_clips.at(clipName);
    for (auto _ : state) {
        int pictures = 0;
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = DecodeVideoFile(
            clip.clf, [&](const VideoDecoder &, const VideoPicture &picture, int32_t) {
                benchmark::DoNotOptimize(picture.pY);
                ++pictures;
            });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (result != 0 || pictures != clip.pictures) {
            state.SkipWithError("the engine did not decode every picture");
            return;
        }
        Record("engine " + clipName, seconds, ProcessCpuSeconds() - cpuStart);
    }
    state.counters["pictures"] = clip.pictures;
}

void BM_FfmpegDecode(benchmark::State &state, std::string clipName)
{
    const BenchClip &clip = g_clips.at(clipName);
    const std::string command =
        "ffmpeg -nostdin -v error -threads 1 -i '" + clip.avi + "' -an -f null - 2>/dev/null";
    for (auto _ : state) {
        const double cpuStart = ChildrenCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (status != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        Record("ffmpeg " + clipName, seconds, ChildrenCpuSeconds() - cpuStart);
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    CTempFolder folder;
    std::fprintf(stderr, "encoding the %d s 1080p clips...\n", kSeconds);
    const struct
    {
        const char *name, *encoder;
        uint32_t fourcc;
        AVCodecID codec;
    } kinds[] = {
        {"mpeg4", "mpeg4", MakeFourcc("XVID"), AV_CODEC_ID_MPEG4},
        {"h264", "libx264", MakeFourcc("H264"), AV_CODEC_ID_H264},
    };
    // Further arguments name the clips to measure (mpeg4, h264); all of them without any.
    auto wanted = [&](const char *name) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::string(argv[i]) == name)
                return true;
        return false;
    };
    for (const auto &kind : kinds) {
        if (!wanted(kind.name))
            continue;
        if (!MakeClip(kind.name, kind.encoder, kind.fourcc, kind.codec, folder.Path())) {
            std::fprintf(stderr, "no %s clip: encoder %s missing or failing\n", kind.name,
                         kind.encoder);
            continue;
        }
        // Alternating, so a busy machine weighs on both alike.
        for (int round = 0; round < 3; ++round) {
            benchmark::RegisterBenchmark(("engine/" + std::string(kind.name)).c_str(),
                                         BM_EngineDecode, std::string(kind.name))
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("ffmpeg/" + std::string(kind.name)).c_str(),
                                         BM_FfmpegDecode, std::string(kind.name))
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    for (const auto &[name, clip] : g_clips) {
        const auto engine = g_best.find("engine " + name);
        const auto ffmpeg = g_best.find("ffmpeg " + name);
        if (engine == g_best.end() || ffmpeg == g_best.end())
            continue;
        std::printf("%s: %d pictures; wall engine %.3f s, ffmpeg %.3f s, ratio %.3f; "
                    "cpu engine %.3f s, ffmpeg %.3f s, ratio %.3f\n",
                    name.c_str(), clip.pictures, engine->second.wall, ffmpeg->second.wall,
                    engine->second.wall / ffmpeg->second.wall, engine->second.cpu,
                    ffmpeg->second.cpu, engine->second.cpu / ffmpeg->second.cpu);
    }
    benchmark::Shutdown();
    return 0;
}
