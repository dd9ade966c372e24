// Demuxing cost only: a 1080p, 60 s AVI (MPEG-4 video at 25 fps and 16-bit stereo PCM) made once
// by repeating a few encoded pictures through libavformat's muxer; then every sample is read by
// the engine's reader loop (as roadlog-probe reads) and every packet by av_read_frame.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/source_object.h"
#include "tools/mkcard/av_owners.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 60 * 25;
constexpr int kEncodedPictures = 25; // one GOP, repeated
constexpr int kPcmChunk = 7056;      // 40 ms of 44.1 kHz 16-bit stereo

struct EncodedPicture
{
    std::vector<uint8_t> data;
    bool bKey;
};

bool EncodePictures(std::vector<EncodedPicture> *pictures, AVCodecParameters *parameters)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AvCodecContextPtr c(avcodec_alloc_context3(codec));
    c->width = kWidth;
    c->height = kHeight;
    c->time_base = {1, 25};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->bit_rate = 4000000;
    c->gop_size = kEncodedPictures;
    c->max_b_frames = 0;
    if (avcodec_open2(c.get(), codec, nullptr) < 0)
        return false;
    AvFramePtr frame(av_frame_alloc());
    frame->format = c->pix_fmt;
    frame->width = kWidth;
    frame->height = kHeight;
    av_frame_get_buffer(frame.get(), 0);
    AvPacketPtr packet(av_packet_alloc());
    for (int i = 0; i <= kEncodedPictures; ++i) {
        AVFrame *in = nullptr;
        if (i < kEncodedPictures) {
            av_frame_make_writable(frame.get());
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x)
                    frame->data[0][y * frame->linesize[0] + x] =
                        static_cast<uint8_t>(x * 3 + y + i * 7);
            }
            for (int p = 1; p < 3; ++p) {
                for (int y = 0; y < kHeight / 2; ++y)
                    std::fill_n(frame->data[p] + y * frame->linesize[p], kWidth / 2,
                                static_cast<uint8_t>(y + i));
            }
            frame->pts = i;
            in = frame.get();
        }
        avcodec_send_frame(c.get(), in);
        while (avcodec_receive_packet(c.get(), packet.get()) == 0) {
            pictures->push_back({{packet->data, packet->data + packet->size},
                                 (packet->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(packet.get());
        }
    }
    return avcodec_parameters_from_context(parameters, c.get()) >= 0;
}

bool WriteMinute(const std::string &path)
{
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str()) < 0)
        return false;
    AvOutputPtr oc(raw);
    AVStream *video = avformat_new_stream(oc.get(), nullptr);
    std::vector<EncodedPicture> pictures;
    if (!EncodePictures(&pictures, video->codecpar) || pictures.empty())
        return false;
    video->time_base = {1, 25};
    AVStream *audio = avformat_new_stream(oc.get(), nullptr);
    AVCodecParameters *a = audio->codecpar;
    a->codec_type = AVMEDIA_TYPE_AUDIO;
    a->codec_id = AV_CODEC_ID_PCM_S16LE;
    a->sample_rate = 44100;
    a->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    a->bits_per_coded_sample = 16;
    a->block_align = 4;
    a->bit_rate = 44100 * 32;
    audio->time_base = {1, 44100};
    if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(oc.get(), nullptr) < 0)
        return false;
    AvPacketPtr packet(av_packet_alloc());
    std::vector<uint8_t> pcm(kPcmChunk, 0x11);
    for (int i = 0; i < kFrames; ++i) {
        const EncodedPicture &p = pictures[i % pictures.size()];
        av_new_packet(packet.get(), static_cast<int>(p.data.size()));
        std::copy(p.data.begin(), p.data.end(), packet->data);
        packet->flags = p.bKey ? AV_PKT_FLAG_KEY : 0;
        packet->stream_index = video->index;
        packet->pts = packet->dts = av_rescale_q(i, {1, 25}, video->time_base);
        if (av_interleaved_write_frame(oc.get(), packet.get()) < 0)
            return false;
        av_new_packet(packet.get(), kPcmChunk);
        std::copy(pcm.begin(), pcm.end(), packet->data);
        packet->flags = AV_PKT_FLAG_KEY;
        packet->stream_index = audio->index;
        packet->pts = packet->dts = av_rescale_q(int64_t{i} * 1764, {1, 44100}, audio->time_base);
        if (av_interleaved_write_frame(oc.get(), packet.get()) < 0)
            return false;
    }
    return av_write_trailer(oc.get()) == 0;
}

// The clip, written once for all benchmarks and removed at exit.
class Minute
{
public:
    Minute()
    {
        char pattern[] = "/tmp/roadlog-bench-avi-XXXXXX";
        m_strFolder = mkdtemp(pattern);
        m_strPath = m_strFolder + "/minute.avi";
        m_bOk = WriteMinute(m_strPath);
    }
    ~Minute()
    {
        unlink(m_strPath.c_str());
        rmdir(m_strFolder.c_str());
    }
    const std::string &Path() const { return m_strPath; }
    bool Ok() const { return m_bOk; }

private:
    std::string m_strFolder, m_strPath;
    bool m_bOk;
};

const Minute &TheMinute()
{
    static const Minute minute;
    return minute;
}

// Every sample of one kind, growing the buffer as the reader asks.
uint64_t ReadKind(SourceObject *source, int32_t kind, std::vector<uint8_t> &buffer)
{
    uint64_t bytes = 0;
    for (;;) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        int32_t readerResult = 0;
        if (SourceRead(source, &request, &readerResult) == VANTOR_OK) {
            bytes += request.nLength;
            continue;
        }
        if (readerResult == VANTOR_E_BUFFER_TOO_SMALL && request.nBufferSize > buffer.size()) {
            buffer.resize(request.nBufferSize);
            continue;
        }
        return bytes;
    }
}

// The clip a benchmark reads: the minute made here, or a file named on the command line.
std::string g_strClip;

const std::string *ClipOf(benchmark::State &state)
{
    if (!g_strClip.empty())
        return &g_strClip;
    const Minute &minute = TheMinute();
    if (!minute.Ok()) {
        state.SkipWithError("could not write the clip");
        return nullptr;
    }
    return &minute.Path();
}

void BM_EngineAviReader(benchmark::State &state)
{
    const std::string *clip = ClipOf(state);
    if (!clip)
        return;
    std::vector<uint8_t> buffer(1 << 16);
    uint64_t bytes = 0;
    for (auto _ : state) {
        SourceObject *source = nullptr;
        MediaInfo info{};
        if (SourceOpenPath(*clip, &source, &info) != VANTOR_OK) {
            state.SkipWithError("open failed");
            return;
        }
        bytes = ReadKind(source, SAMPLE_KIND_VIDEO, buffer) +
                ReadKind(source, SAMPLE_KIND_AUDIO, buffer);
        // Closing waits out the index thread's fixed 10 ms farewell: not demuxing.
        state.PauseTiming();
        SourceClose(source);
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_LibavformatReadFrame(benchmark::State &state)
{
    const std::string *clip = ClipOf(state);
    if (!clip)
        return;
    AvPacketPtr packet(av_packet_alloc());
    uint64_t bytes = 0;
    for (auto _ : state) {
        AVFormatContext *raw = nullptr;
        if (avformat_open_input(&raw, clip->c_str(), nullptr, nullptr) < 0) {
            state.SkipWithError("open failed");
            return;
        }
        AvInputPtr input(raw);
        bytes = 0;
        while (av_read_frame(input.get(), packet.get()) >= 0) {
            bytes += packet->size;
            av_packet_unref(packet.get());
        }
        state.PauseTiming();
        input.reset();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

// The reader's index thread works for it too: the CPU column counts every thread of the process.
BENCHMARK(BM_EngineAviReader)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_LibavformatReadFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace

// --clip=PATH reads that file instead of the minute made here (a large OpenDML clip, say).
int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--clip=", 0) == 0) {
            g_strClip = arg.substr(7);
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            --i;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
