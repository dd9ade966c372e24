#include "tools/mkcard/demo_clip.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/source/clf_writer.h"
#include "tools/mkcard/av_owners.h"
#include "tools/mkcard/test_picture.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace {

constexpr int kAudioRate = 16000; // 1024-sample AAC frames last exactly 64 ms
constexpr int kAudioBitRate = 32000;
constexpr double kPi = 3.14159265358979323846;

struct EncodedSample
{
    int32_t kind;
    uint32_t timeMs;
    uint32_t durationMs;
    bool key;
    std::vector<uint8_t> data;
    uint32_t stream = 0; // index among the streams of its kind
};

std::string AvError(const char *what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

// Moves every packet the encoder has ready into out; false on an encoder failure.
bool DrainPackets(AVCodecContext *ctx, AVPacket *packet, int32_t kind,
                  std::vector<EncodedSample> *out, std::string *error)
{
    for (;;) {
        const int rc = avcodec_receive_packet(ctx, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            *error = AvError("encoding", rc);
            return false;
        }
        EncodedSample s{kind, 0, 0, (packet->flags & AV_PKT_FLAG_KEY) != 0,
                        std::vector<uint8_t>(packet->data, packet->data + packet->size)};
        out->push_back(std::move(s));
        av_packet_unref(packet);
    }
}

// Hands one frame (nullptr: the end) to the encoder and collects what it gives back.
bool EncodeFrame(AVCodecContext *ctx, const AVFrame *frame, AVPacket *packet, int32_t kind,
                 std::vector<EncodedSample> *out, std::string *error)
{
    if (const int rc = avcodec_send_frame(ctx, frame); rc < 0) {
        *error = AvError("encoding", rc);
        return false;
    }
    return DrainPackets(ctx, packet, kind, out, error);
}

template <class Setup>
AvCodecContextPtr OpenEncoder(const char *name, AVCodecID id, const Setup &setup,
                              std::string *error)
{
    const AVCodec *codec = name ? avcodec_find_encoder_by_name(name) : avcodec_find_encoder(id);
    if (!codec) {
        *error = std::string("no encoder for ") + avcodec_get_name(id);
        return nullptr;
    }
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) {
        *error = "out of memory";
        return nullptr;
    }
    // Same bytes on every run: no version strings, no threads racing for slices.
    ctx->flags |= AV_CODEC_FLAG_BITEXACT;
    ctx->thread_count = 1;
    setup(ctx.get());
    const int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        *error = AvError(avcodec_get_name(id), rc);
        return nullptr;
    }
    return ctx;
}

bool EncodeVideo(const DemoClipSpec &spec, std::vector<EncodedSample> *out,
                 std::vector<uint8_t> *extraData, std::string *error)
{
    AvCodecContextPtr ctx = OpenEncoder(
        nullptr, AV_CODEC_ID_MPEG4,
        [&spec](AVCodecContext *c) {
            c->width = spec.width;
            c->height = spec.height;
            c->pix_fmt = AV_PIX_FMT_YUV420P;
            c->time_base = AVRational{1, spec.fps};
            c->framerate = AVRational{spec.fps, 1};
            c->gop_size = spec.fps; // a key picture every second, so seeks land near their aim
            c->max_b_frames = 0;    // decode order is display order, as the recorder writes
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * 6;
            c->codec_tag = MKTAG('X', 'V', 'I', 'D');
        },
        error);
    if (!ctx)
        return false;

    AvFramePtr frame(av_frame_alloc());
    AvPacketPtr packet(av_packet_alloc());
    if (!frame || !packet) {
        *error = "out of memory";
        return false;
    }
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = spec.width;
    frame->height = spec.height;
    if (const int rc = av_frame_get_buffer(frame.get(), 0); rc < 0) {
        *error = AvError("picture buffer", rc);
        return false;
    }

    const size_t first = out->size();
    const uint32_t frames = uint32_t(uint64_t(spec.durationMs) * uint32_t(spec.fps) / 1000);
    for (uint32_t i = 0; i < frames; ++i) {
        if (const int rc = av_frame_make_writable(frame.get()); rc < 0) {
            *error = AvError("picture buffer", rc);
            return false;
        }
        const uint32_t positionMs = uint32_t(uint64_t(i) * 1000 / uint32_t(spec.fps));
        const time_t wall = spec.startUtc + positionMs / 1000;
        tm t{};
        gmtime_r(&wall, &t);
        const PicturePlanes planes{frame->data[0],     frame->data[1],     frame->data[2],
                                   frame->linesize[0], frame->linesize[1], frame->linesize[2],
                                   spec.width,         spec.height};
        DrawTestPicture(planes, PictureClock{t.tm_hour, t.tm_min, t.tm_sec, positionMs, i,
                                             spec.tintU, spec.tintV});
        frame->pts = i;
        frame->quality = ctx->global_quality;
        if (!EncodeFrame(ctx.get(), frame.get(), packet.get(), kClfKindVideo, out, error))
            return false;
    }
    if (!EncodeFrame(ctx.get(), nullptr, packet.get(), kClfKindVideo, out, error))
        return false;
    if (out->size() - first != frames) {
        *error = "the video encoder dropped pictures";
        return false;
    }
    for (size_t i = first; i < out->size(); ++i) {
        const uint32_t n = uint32_t(i - first);
        (*out)[i].timeMs = uint32_t(uint64_t(n) * 1000 / uint32_t(spec.fps));
        (*out)[i].durationMs =
            uint32_t(uint64_t(n + 1) * 1000 / uint32_t(spec.fps)) - (*out)[i].timeMs;
    }

    // The recorder repeats the stream headers before every key picture and also lists them as
    // the stream's extra data: everything in front of the first group or picture start code.
    extraData->clear();
    if (frames > 0) {
        const std::vector<uint8_t> &key = (*out)[first].data;
        size_t end = 0;
        while (end + 3 < key.size() && !(key[end] == 0 && key[end + 1] == 0 && key[end + 2] == 1 &&
                                         (key[end + 3] == 0xB3 || key[end + 3] == 0xB6)))
            ++end;
        if (end == 0 || end + 3 >= key.size()) {
            *error = "the first picture carries no stream headers";
            return false;
        }
        extraData->assign(key.begin(), key.begin() + long(end));
    }
    return true;
}

// A tone that steps up a major scale once a second of wall-clock time, so consecutive clips
// carry on the tune.
bool EncodeAudio(const DemoClipSpec &spec, std::vector<EncodedSample> *out,
                 std::vector<uint8_t> *extraData, std::string *error)
{
    AvCodecContextPtr ctx = OpenEncoder(
        "aac", AV_CODEC_ID_AAC,
        [](AVCodecContext *c) {
            c->sample_fmt = AV_SAMPLE_FMT_FLTP;
            c->sample_rate = kAudioRate;
            av_channel_layout_default(&c->ch_layout, 1);
            c->bit_rate = kAudioBitRate;
            c->time_base = AVRational{1, kAudioRate};
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER; // AudioSpecificConfig as extra data, no ADTS
        },
        error);
    if (!ctx)
        return false;
    extraData->assign(ctx->extradata, ctx->extradata + ctx->extradata_size);

    AvFramePtr frame(av_frame_alloc());
    AvPacketPtr packet(av_packet_alloc());
    if (!frame || !packet) {
        *error = "out of memory";
        return false;
    }
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 1024;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = kAudioRate;
    frame->nb_samples = frameSize;
    if (const int rc = av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout); rc < 0) {
        *error = AvError("sound buffer", rc);
        return false;
    }
    if (const int rc = av_frame_get_buffer(frame.get(), 0); rc < 0) {
        *error = AvError("sound buffer", rc);
        return false;
    }

    static const int kScale[] = {0, 2, 4, 5, 7, 9, 11, 12};
    const size_t first = out->size();
    const uint64_t total = uint64_t(spec.durationMs) * kAudioRate / 1000;
    double phase = 0;
    for (uint64_t done = 0; done < total; done += uint64_t(frameSize)) {
        if (const int rc = av_frame_make_writable(frame.get()); rc < 0) {
            *error = AvError("sound buffer", rc);
            return false;
        }
        auto *samples = reinterpret_cast<float *>(frame->data[0]);
        for (int i = 0; i < frameSize; ++i) {
            const uint64_t n = done + uint64_t(i);
            if (n >= total) {
                samples[i] = 0;
                continue;
            }
            const uint64_t second = uint64_t(spec.startUtc) + n / kAudioRate;
            const double hz = 440.0 * std::pow(2.0, kScale[second % 8] / 12.0);
            phase = std::fmod(phase + 2 * kPi * hz / kAudioRate, 2 * kPi);
            samples[i] = float(0.25 * std::sin(phase));
        }
        frame->pts = int64_t(done);
        if (!EncodeFrame(ctx.get(), frame.get(), packet.get(), kClfKindAudio, out, error))
            return false;
    }
    if (!EncodeFrame(ctx.get(), nullptr, packet.get(), kClfKindAudio, out, error))
        return false;

    // Frames follow each other without gaps; the encoder's lead-in frame is kept so the
    // decoder's delay is primed, and frames that would outlast the picture are dropped.
    const uint32_t frameMs = uint32_t(frameSize * 1000 / kAudioRate);
    size_t kept = first;
    for (size_t i = first; i < out->size(); ++i) {
        const uint32_t timeMs = uint32_t(i - first) * frameMs;
        if (uint64_t(timeMs) + frameMs > spec.durationMs)
            break;
        (*out)[i].timeMs = timeMs;
        (*out)[i].durationMs = frameMs;
        ++kept;
    }
    out->resize(kept);
    return true;
}

int KindRank(int32_t kind)
{
    return kind == kClfKindText ? 0 : kind == kClfKindVideo ? 1 : 2;
}

bool SetExtraData(AVCodecParameters *par, const std::vector<uint8_t> &extra)
{
    par->extradata =
        static_cast<uint8_t *>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        return false;
    std::copy(extra.begin(), extra.end(), par->extradata);
    par->extradata_size = int(extra.size());
    return true;
}

bool WriteAvi(const DemoClipSpec &spec, const ClfLayout &layout,
              const std::vector<EncodedSample> &samples, std::string *error)
{
    AVFormatContext *raw = nullptr;
    if (const int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", spec.path.c_str());
        rc < 0) {
        *error = AvError("AVI muxer", rc);
        return false;
    }
    AvOutputPtr out(raw);
    out->flags |= AVFMT_FLAG_BITEXACT; // no muxer version text in the file

    // Video streams first, in camera order, then the sound.
    std::vector<AVStream *> videos;
    for (const ClfVideoEntry &v : layout.video) {
        AVStream *video = avformat_new_stream(out.get(), nullptr);
        if (!video) {
            *error = "out of memory";
            return false;
        }
        video->time_base = AVRational{1, spec.fps};
        video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        video->codecpar->codec_id = AV_CODEC_ID_MPEG4;
        video->codecpar->codec_tag = MKTAG('X', 'V', 'I', 'D');
        video->codecpar->width = int(v.nWidth);
        video->codecpar->height = int(v.nHeight);
        if (!SetExtraData(video->codecpar, v.extraData)) {
            *error = "out of memory";
            return false;
        }
        videos.push_back(video);
    }
    AVStream *audio = avformat_new_stream(out.get(), nullptr);
    if (!audio) {
        *error = "out of memory";
        return false;
    }
    const ClfAudioEntry &a = layout.audio[0];
    audio->time_base = AVRational{1, int(a.nSampleRate)};
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codecpar->codec_id = AV_CODEC_ID_AAC;
    audio->codecpar->codec_tag = 0xFF;
    audio->codecpar->sample_rate = int(a.nSampleRate);
    audio->codecpar->bit_rate = a.nBitRate;
    audio->codecpar->frame_size = 1024;
    av_channel_layout_default(&audio->codecpar->ch_layout, int(a.nChannels));
    if (!SetExtraData(audio->codecpar, a.extraData)) {
        *error = "out of memory";
        return false;
    }
    if (const int rc = avio_open(&out->pb, spec.path.c_str(), AVIO_FLAG_WRITE); rc < 0) {
        *error = AvError("cannot create the file", rc);
        return false;
    }
    if (const int rc = avformat_write_header(out.get(), nullptr); rc < 0) {
        *error = AvError("AVI header", rc);
        return false;
    }

    AvPacketPtr packet(av_packet_alloc());
    if (!packet) {
        *error = "out of memory";
        return false;
    }
    std::vector<int64_t> pictures(videos.size(), 0);
    int64_t frames = 0;
    for (const EncodedSample &s : samples) {
        if (s.kind == kClfKindText)
            continue; // AVI clips carry no GPS stream
        if (const int rc = av_new_packet(packet.get(), int(s.data.size())); rc < 0) {
            *error = AvError("packet", rc);
            return false;
        }
        std::copy(s.data.begin(), s.data.end(), packet->data);
        const bool isVideo = s.kind == kClfKindVideo;
        const AVStream *stream = isVideo ? videos[s.stream] : audio;
        packet->stream_index = stream->index;
        // Counted in each stream's own units (frames, samples) and rescaled to what the muxer
        // chose as time base.
        const int64_t pts = isVideo ? pictures[s.stream]++ : 1024 * frames++;
        const AVRational from =
            isVideo ? AVRational{1, spec.fps} : AVRational{1, int(a.nSampleRate)};
        packet->pts = packet->dts = av_rescale_q(pts, from, stream->time_base);
        packet->duration = av_rescale_q(isVideo ? 1 : 1024, from, stream->time_base);
        packet->flags = s.key ? AV_PKT_FLAG_KEY : 0;
        if (const int rc = av_interleaved_write_frame(out.get(), packet.get()); rc < 0) {
            *error = AvError("writing", rc);
            return false;
        }
    }
    if (const int rc = av_write_trailer(out.get()); rc < 0) {
        *error = AvError("AVI index", rc);
        return false;
    }
    // Closing flushes the last buffered bytes; a failure there is a failed write.
    if (const int rc = avio_closep(&out->pb); rc < 0) {
        *error = AvError("writing", rc);
        return false;
    }
    return true;
}

bool WriteClf(const DemoClipSpec &spec, const ClfLayout &layout,
              const std::vector<EncodedSample> &samples, std::string *error)
{
    ClfWriter writer;
    int32_t rc = writer.Open(spec.path, layout);
    for (size_t i = 0; rc == 0 && i < samples.size(); ++i) {
        const EncodedSample &s = samples[i];
        rc =
            writer.WriteSample(s.kind, s.timeMs, s.data.data(), s.data.size(), s.durationMs, s.key);
    }
    if (rc == 0)
        rc = writer.Finish();
    if (rc != 0) {
        *error = "cannot write " + spec.path;
        return false;
    }
    return true;
}

} // namespace

bool WriteDemoClip(const DemoClipSpec &spec, std::string *error)
{
    if (spec.width <= 0 || spec.height <= 0 || spec.width % 2 || spec.height % 2 || spec.fps <= 0) {
        *error = "bad picture size or rate";
        return false;
    }
    const bool twoCameras = spec.secondWidth != 0 || spec.secondHeight != 0;
    if (twoCameras && (spec.container != ClipContainer::Avi || spec.secondWidth <= 0 ||
                       spec.secondHeight <= 0 || spec.secondWidth % 2 || spec.secondHeight % 2)) {
        // A CLF record names only its kind, so a second stream of a kind would never be read.
        *error = "a second camera needs an AVI clip and an even picture size";
        return false;
    }
    std::vector<DemoClipSpec> cameras{spec};
    if (twoCameras) {
        DemoClipSpec second = spec;
        second.width = spec.secondWidth;
        second.height = spec.secondHeight;
        second.tintU = uint8_t(255 - spec.tintU);
        second.tintV = uint8_t(255 - spec.tintV);
        cameras.push_back(second);
    }
    std::vector<EncodedSample> samples;
    ClfLayout layout;
    for (const DemoClipSpec &camera : cameras)
        layout.video.push_back({ClfFourcc("XVID"),
                                uint32_t(camera.width),
                                uint32_t(camera.height),
                                uint32_t(spec.fps) * 1000,
                                0,
                                {}});
    layout.audio.push_back({0xFF, kAudioRate, 1, 16, kAudioBitRate, {}});
    layout.text.push_back({ClfFourcc("TRVX"), 0, 0});
    for (size_t c = 0; c < cameras.size(); ++c) {
        const size_t first = samples.size();
        if (!EncodeVideo(cameras[c], &samples, &layout.video[c].extraData, error))
            return false;
        for (size_t i = first; i < samples.size(); ++i)
            samples[i].stream = uint32_t(c);
    }
    if (!EncodeAudio(spec, &samples, &layout.audio[0].extraData, error))
        return false;
    for (size_t i = 0; i < spec.textSamples.size(); ++i) {
        const std::string &text = spec.textSamples[i];
        if (!text.empty())
            samples.push_back({kClfKindText, uint32_t(i * 1000), 1000, true,
                               std::vector<uint8_t>(text.begin(), text.end())});
    }
    // Records in time order, as the recorder interleaves them.
    std::stable_sort(samples.begin(), samples.end(),
                     [](const EncodedSample &a, const EncodedSample &b) {
                         if (a.timeMs != b.timeMs)
                             return a.timeMs < b.timeMs;
                         return KindRank(a.kind) < KindRank(b.kind);
                     });
    return spec.container == ClipContainer::Avi ? WriteAvi(spec, layout, samples, error)
                                                : WriteClf(spec, layout, samples, error);
}
