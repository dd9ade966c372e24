// AVI files written by libavformat's own muxer (and a few cut or rebuilt from them): what
// roadlog-probe delivers must be the packets libavformat's demuxer reads, in order and size,
// timed by the stream's time base.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "avi_file_builder.h"
#include "source_test_util.h"
#include "tests/support/demo_card.h"
#include "tools/mkcard/av_owners.h"

namespace {

struct ClipSpec
{
    const char *name;
    const char *videoEncoder;
    const char *audioEncoder;
};

struct Encoder
{
    AvCodecContextPtr context;
    AVStream *stream = nullptr;
};

bool OpenEncoder(AVFormatContext *oc, const char *name, Encoder *e)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        return false;
    e->context.reset(avcodec_alloc_context3(codec));
    AVCodecContext *c = e->context.get();
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        c->width = 160;
        c->height = 96;
        c->time_base = {1, 25};
        c->framerate = {25, 1};
        c->gop_size = 12;
        c->bit_rate = 200000;
        c->pix_fmt = codec->id == AV_CODEC_ID_MJPEG ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
        if (codec->id == AV_CODEC_ID_H264)
            av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    } else {
        c->sample_rate = 44100;
        c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
        c->sample_fmt = codec->sample_fmts[0];
        c->bit_rate = 64000;
        c->time_base = {1, 44100};
    }
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0)
        return false;
    e->stream = avformat_new_stream(oc, nullptr);
    e->stream->time_base = c->time_base;
    return avcodec_parameters_from_context(e->stream->codecpar, c) >= 0;
}

bool Drain(AVFormatContext *oc, Encoder &e, AVFrame *frame)
{
    if (avcodec_send_frame(e.context.get(), frame) < 0)
        return false;
    AvPacketPtr packet(av_packet_alloc());
    while (avcodec_receive_packet(e.context.get(), packet.get()) == 0) {
        av_packet_rescale_ts(packet.get(), e.context->time_base, e.stream->time_base);
        packet->stream_index = e.stream->index;
        if (av_interleaved_write_frame(oc, packet.get()) < 0)
            return false;
    }
    return true;
}

// Two seconds of moving picture and a tone. PCM frames are 1024 samples (4096 bytes), the
// size libavformat's demuxer splits raw PCM chunks into, so both sides count the same packets.
bool WriteClip(const std::string &path, const ClipSpec &spec)
{
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str()) < 0)
        return false;
    AvOutputPtr oc(raw);
    Encoder video, audio;
    if (!OpenEncoder(oc.get(), spec.videoEncoder, &video) ||
        !OpenEncoder(oc.get(), spec.audioEncoder, &audio))
        return false;
    if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(oc.get(), nullptr) < 0)
        return false;
    AvFramePtr picture(av_frame_alloc());
    picture->format = video.context->pix_fmt;
    picture->width = video.context->width;
    picture->height = video.context->height;
    av_frame_get_buffer(picture.get(), 0);
    AvFramePtr sound(av_frame_alloc());
    const int samplesPerFrame = audio.context->frame_size ? audio.context->frame_size : 1024;
    sound->format = audio.context->sample_fmt;
    sound->nb_samples = samplesPerFrame;
    av_channel_layout_copy(&sound->ch_layout, &audio.context->ch_layout);
    sound->sample_rate = 44100;
    av_frame_get_buffer(sound.get(), 0);
    int64_t samples = 0;
    for (int i = 0; i < 50; ++i) {
        av_frame_make_writable(picture.get());
        for (int y = 0; y < picture->height; ++y) {
            for (int x = 0; x < picture->width; ++x)
                picture->data[0][y * picture->linesize[0] + x] =
                    static_cast<uint8_t>(x + y + i * 5);
        }
        for (int p = 1; p < 3; ++p)
            std::memset(picture->data[p], 128 + i, picture->linesize[p] * picture->height / 2);
        picture->pts = i;
        if (!Drain(oc.get(), video, picture.get()))
            return false;
        while (samples * 25 < (i + 1) * 44100LL) {
            av_frame_make_writable(sound.get());
            for (int ch = 0; ch < 2; ++ch) {
                for (int k = 0; k < samplesPerFrame; ++k) {
                    const double v = 0.3 * std::sin((samples + k) * 2 * M_PI * 440 / 44100);
                    if (sound->format == AV_SAMPLE_FMT_FLTP)
                        reinterpret_cast<float *>(sound->data[ch])[k] = static_cast<float>(v);
                    else
                        reinterpret_cast<int16_t *>(sound->data[0])[2 * k + ch] =
                            static_cast<int16_t>(v * 32767);
                }
            }
            sound->pts = samples;
            samples += samplesPerFrame;
            if (!Drain(oc.get(), audio, sound.get()))
                return false;
        }
    }
    return Drain(oc.get(), video, nullptr) && Drain(oc.get(), audio, nullptr) &&
           av_write_trailer(oc.get()) == 0;
}

struct Packet
{
    uint32_t nTime;
    uint32_t nSize;
    bool operator==(const Packet &) const = default;
};

// libavformat's packets of the first stream of the type, timed in ms of its time base.
std::vector<Packet> DemuxedPackets(const std::string &path, AVMediaType type)
{
    AVFormatContext *raw = nullptr;
    std::vector<Packet> packets;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return packets;
    AvInputPtr input(raw);
    int wanted = -1;
    for (unsigned i = 0; i < input->nb_streams && wanted < 0; ++i) {
        if (input->streams[i]->codecpar->codec_type == type)
            wanted = static_cast<int>(i);
    }
    AvPacketPtr packet(av_packet_alloc());
    while (wanted >= 0 && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == wanted && packet->size > 0) {
            const AVRational tb = input->streams[wanted]->time_base;
            // AVI stores decoding order only: the demuxer's dts is the chunk's place in it.
            const int64_t ms = packet->dts * tb.num * 1000 / tb.den;
            packets.push_back({static_cast<uint32_t>(ms), static_cast<uint32_t>(packet->size)});
        }
        av_packet_unref(packet.get());
    }
    return packets;
}

std::vector<Packet> ProbedPackets(const std::string &path, const char *kind)
{
    std::vector<Packet> packets;
    const std::string command =
        std::string(ROADLOG_PROBE) + " samples '" + path + "' --kind " + kind;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return packets;
    unsigned time = 0, size = 0;
    while (std::fscanf(pipe, "%u %u", &time, &size) == 2)
        packets.push_back({time, size});
    EXPECT_EQ(pclose(pipe), 0) << command;
    return packets;
}

void ExpectSamePackets(const std::string &path)
{
    for (auto [type, kind] :
         {std::pair{AVMEDIA_TYPE_VIDEO, "video"}, std::pair{AVMEDIA_TYPE_AUDIO, "audio"}}) {
        SCOPED_TRACE(kind);
        const std::vector<Packet> expected = DemuxedPackets(path, type);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(ProbedPackets(path, kind), expected);
    }
}

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t Idx1At(const std::vector<uint8_t> &bytes)
{
    const char id[] = "idx1";
    auto it = std::search(bytes.rbegin(), bytes.rend(), std::rbegin(id) + 1, std::rend(id));
    return it == bytes.rend() ? 0 : bytes.size() - (it - bytes.rbegin()) - 4;
}

const ClipSpec kClips[] = {
    {"mpeg4_aac", "mpeg4", "aac"},
    {"h264_aac", "libx264", "aac"},
    {"mjpeg_pcm", "mjpeg", "pcm_s16le"},
};

TEST(AviFromLibavformat, ProbeDeliversTheDemuxersPackets)
{
    TempFolder folder;
    for (const ClipSpec &spec : kClips) {
        SCOPED_TRACE(spec.name);
        const std::string path = folder.Path(std::string(spec.name) + ".avi");
        ASSERT_TRUE(WriteClip(path, spec))
            << "encoder " << spec.videoEncoder << " or " << spec.audioEncoder << " missing";
        ExpectSamePackets(path);
    }
}

TEST(AviFromLibavformat, CutAndIndexlessFilesDeliverTheSamePackets)
{
    TempFolder folder;
    for (const ClipSpec &spec : {kClips[0], kClips[2]}) {
        SCOPED_TRACE(spec.name);
        const std::string path = folder.Path(std::string(spec.name) + ".avi");
        ASSERT_TRUE(WriteClip(path, spec));
        const std::vector<uint8_t> whole = ReadFile(path);
        const size_t idx1 = Idx1At(whole);
        ASSERT_GT(idx1, 0u);
        struct Variant
        {
            const char *name;
            size_t keep;
        };
        // A recording cut inside its idx1 (mid-entry), and one whose idx1 was never written.
        for (const Variant &v : {Variant{"idx1 cut", idx1 + 8 + (whole.size() - idx1 - 8) / 2 + 7},
                                 Variant{"no idx1", idx1}}) {
            SCOPED_TRACE(v.name);
            const std::string cut = folder.Write(std::string(spec.name) + "-" + v.name + ".avi",
                                                 {whole.begin(), whole.begin() + v.keep});
            ExpectSamePackets(cut);
        }
    }
}

TEST(AviFromLibavformat, HandBuiltOpenDmlFile)
{
    TempFolder folder;
    const std::string path = folder.Write("odml.avi", OpenDmlTestClip(40));
    for (auto [type, kind] :
         {std::pair{AVMEDIA_TYPE_VIDEO, "video"}, std::pair{AVMEDIA_TYPE_AUDIO, "audio"}}) {
        SCOPED_TRACE(kind);
        const std::vector<Packet> expected = DemuxedPackets(path, type);
        ASSERT_EQ(expected.size(), 40u);
        EXPECT_EQ(ProbedPackets(path, kind), expected);
    }
}

TEST(AviFromLibavformat, DemoCardClips)
{
    TempFolder folder;
    const std::string card = folder.Path("card");
    ASSERT_TRUE(WriteDemoCard(card));
    int clips = 0;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(card)) {
        if (!entry.is_regular_file())
            continue;
        const std::vector<uint8_t> head = ReadFile(entry.path().string());
        if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0)
            continue;
        SCOPED_TRACE(entry.path().string());
        ExpectSamePackets(entry.path().string());
        ++clips;
    }
    EXPECT_EQ(clips, 2);
}

} // namespace
