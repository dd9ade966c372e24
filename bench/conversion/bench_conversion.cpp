// Colour conversion and scaling of 4:2:0 pictures: ours (each instruction set) against
// libswscale and libyuv given the closest job they have. Rates count the pixels each job writes.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>

#include "engine/output/picture_convert.h"
#include "engine/output/picture_convert_kernels.h"

namespace {

struct Picture
{
    int width, height, stride;
    std::vector<uint8_t> y, u, v;

    Picture(int w, int h) : width(w), height(h), stride((w + 31) & ~31)
    {
        std::mt19937 rng(5);
        y.resize(static_cast<size_t>(stride) * h);
        u.resize(static_cast<size_t>(stride / 2) * ((h + 1) / 2));
        v.resize(u.size());
        // A smooth picture with some noise, like decoded video rather than white noise.
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                y[static_cast<size_t>(r) * stride + c] = static_cast<uint8_t>(c + r + rng() % 8);
        for (size_t i = 0; i < u.size(); ++i) {
            u[i] = static_cast<uint8_t>(96 + rng() % 64);
            v[i] = static_cast<uint8_t>(160 - rng() % 64);
        }
    }
};

struct SwsDeleter
{
    void operator()(SwsContext *c) const { sws_freeContext(c); }
};

struct Job
{
    int sw, sh, dw, dh;
};

const Job kConvertJobs[] = {{1920, 1080, 1920, 1080}, {1280, 720, 1280, 720}, {640, 480, 640, 480}};
const Job kScaleJobs[] = {{1920, 1080, 1280, 720}, {1280, 720, 640, 352}, {640, 480, 960, 720}};

void SetRate(benchmark::State &state, const Job &job)
{
    const double pixels = static_cast<double>(job.dw) * job.dh;
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::to_string(job.sw) + "x" + std::to_string(job.sh) + "->" +
                   std::to_string(job.dw) + "x" + std::to_string(job.dh));
}

enum class Kind
{
    Rgb565,
    Bgr24,
    Scale,
};

void Ours(benchmark::State &state, Kind kind, ConvertPath path, Job job)
{
    if (!ConvertKernelsFor(path)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const Picture src(job.sw, job.sh);
    const int bpp = kind == Kind::Rgb565 ? 2 : 3;
    std::vector<uint8_t> rgb(static_cast<size_t>(job.dw) * job.dh * bpp);
    Picture dst(job.dw, job.dh);
    const Yuv420Source s = {src.y.data(), src.u.data(), src.v.data(),
                            src.width,    src.height,   src.stride};
    const Yuv420Target t = {dst.y.data(), dst.u.data(), dst.v.data(),
                            dst.width,    dst.height,   dst.stride};
    for (auto _ : state) {
        switch (kind) {
        case Kind::Rgb565:
            YuvToRgb565On(path, rgb.data(), job.sw, job.sh, job.sw * 2, s.pY, s.pU, s.pV,
                          s.nStride);
            break;
        case Kind::Bgr24:
            YuvToBgr24On(path, rgb.data(), job.sw, job.sh, job.sw * 3, s.pY, s.pU, s.pV, s.nStride);
            break;
        case Kind::Scale:
            ScaleYuv420On(path, &s, &t);
            break;
        }
        benchmark::DoNotOptimize(rgb.data());
        benchmark::DoNotOptimize(dst.y.data());
        benchmark::ClobberMemory();
    }
    SetRate(state, job);
}

void Swscale(benchmark::State &state, Kind kind, int flags, Job job)
{
    const Picture src(job.sw, job.sh);
    const AVPixelFormat out = kind == Kind::Rgb565  ? AV_PIX_FMT_RGB565LE
                              : kind == Kind::Bgr24 ? AV_PIX_FMT_BGR24
                                                    : AV_PIX_FMT_YUV420P;
    std::unique_ptr<SwsContext, SwsDeleter> context(sws_getContext(
        job.sw, job.sh, AV_PIX_FMT_YUV420P, job.dw, job.dh, out, flags, nullptr, nullptr, nullptr));
    if (!context) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    Picture dst(job.dw, job.dh);
    std::vector<uint8_t> rgb(static_cast<size_t>(job.dw) * job.dh * 3 + 64);
    const uint8_t *const in[3] = {src.y.data(), src.u.data(), src.v.data()};
    const int inStride[3] = {src.stride, src.stride / 2, src.stride / 2};
    uint8_t *outPlanes[3] = {dst.y.data(), dst.u.data(), dst.v.data()};
    int outStride[3] = {dst.stride, dst.stride / 2, dst.stride / 2};
    if (kind != Kind::Scale) {
        outPlanes[0] = rgb.data();
        outStride[0] = job.dw * (kind == Kind::Rgb565 ? 2 : 3);
    }
    for (auto _ : state) {
        sws_scale(context.get(), in, inStride, 0, job.sh, outPlanes, outStride);
        benchmark::ClobberMemory();
    }
    SetRate(state, job);
}

// libyuv with its own choice of instruction set; its RGB24 is blue, green, red in memory.
void Libyuv(benchmark::State &state, Kind kind, Job job)
{
    const Picture src(job.sw, job.sh);
    Picture dst(job.dw, job.dh);
    std::vector<uint8_t> rgb(static_cast<size_t>(job.dw) * job.dh * 3 + 64);
    for (auto _ : state) {
        int result = 0;
        switch (kind) {
        case Kind::Rgb565:
            result = libyuv::I420ToRGB565Matrix(
                src.y.data(), src.stride, src.u.data(), src.stride / 2, src.v.data(),
                src.stride / 2, rgb.data(), job.dw * 2, &libyuv::kYuvF709Constants, job.sw, job.sh);
            break;
        case Kind::Bgr24:
            result = libyuv::I420ToRGB24Matrix(
                src.y.data(), src.stride, src.u.data(), src.stride / 2, src.v.data(),
                src.stride / 2, rgb.data(), job.dw * 3, &libyuv::kYuvF709Constants, job.sw, job.sh);
            break;
        case Kind::Scale:
            result = libyuv::I420Scale(src.y.data(), src.stride, src.u.data(), src.stride / 2,
                                       src.v.data(), src.stride / 2, job.sw, job.sh, dst.y.data(),
                                       dst.stride, dst.u.data(), dst.stride / 2, dst.v.data(),
                                       dst.stride / 2, job.dw, job.dh, libyuv::kFilterBilinear);
            break;
        }
        if (result != 0) {
            state.SkipWithError("libyuv refused the job");
            return;
        }
        benchmark::ClobberMemory();
    }
    SetRate(state, job);
}

void Register()
{
    struct Subject
    {
        const char *name;
        Kind kind;
        const Job *jobs;
    };
    const Subject subjects[] = {{"YuvToRgb565", Kind::Rgb565, kConvertJobs},
                                {"YuvToBgr24", Kind::Bgr24, kConvertJobs},
                                {"ScaleYuv420", Kind::Scale, kScaleJobs}};
    for (const Subject &subject : subjects)
        for (int j = 0; j < 3; ++j) {
            const Job job = subject.jobs[j];
            const std::string size = std::to_string(job.sw) + "x" + std::to_string(job.sh);
            for (ConvertPath path : {ConvertPath::Scalar, ConvertPath::Sse2, ConvertPath::Avx2})
                benchmark::RegisterBenchmark(
                    (std::string(subject.name) + "/" + size + "/ours_" + ConvertPathName(path))
                        .c_str(),
                    Ours, subject.kind, path, job);
            benchmark::RegisterBenchmark(
                (std::string(subject.name) + "/" + size + "/swscale_bilinear").c_str(), Swscale,
                subject.kind, SWS_BILINEAR, job);
            benchmark::RegisterBenchmark(
                (std::string(subject.name) + "/" + size + "/swscale_fast_bilinear").c_str(),
                Swscale, subject.kind, SWS_FAST_BILINEAR, job);
            benchmark::RegisterBenchmark(
                (std::string(subject.name) + "/" + size + "/libyuv_bilinear").c_str(), Libyuv,
                subject.kind, job);
        }
}

} // namespace

int main(int argc, char **argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
