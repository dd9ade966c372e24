#pragma once

// Compressed fixtures made with libavcodec's own encoders, in memory: a moving picture as
// MPEG-4 Part 2, H.264 or JPEG, and tones as AAC.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "engine/codecs/av_owners.h"

struct EncodedSample
{
    std::vector<uint8_t> data;
    int64_t pts = 0; // in frames (video) or samples (audio)
    bool key = false;
};

struct EncodedStream
{
    std::vector<uint8_t> extra; // global header: VOL, SPS/PPS or AudioSpecificConfig
    std::vector<EncodedSample> samples;
    int width = 0, height = 0;
    int sampleRate = 0, channels = 0;
    bool ok = false;
};

// The test picture of frame i: a diagonal luma ramp moving 3 px per frame; chroma in bands of 16
// luma columns (U, rising with the frame) and 16 luma rows (V), whatever the subsampling.
inline void FillTestPicture(AVFrame *frame, int i)
{
    for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x)
            frame->data[0][y * frame->linesize[0] + x] = uint8_t((x + y + 3 * i) * 2);
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    const int sx = desc->log2_chroma_w, sy = desc->log2_chroma_h;
    const int chromaRows = -((-frame->height) >> sy), chromaCols = -((-frame->width) >> sx);
    for (int y = 0; y < chromaRows; ++y)
        for (int x = 0; x < chromaCols; ++x) {
            frame->data[1][y * frame->linesize[1] + x] = uint8_t(64 + ((x << sx) / 16) * 16 + i);
            frame->data[2][y * frame->linesize[2] + x] = uint8_t(192 - ((y << sy) / 16) * 16);
        }
}

inline void Collect(AVCodecContext *context, AVPacket *packet, EncodedStream *out)
{
    while (avcodec_receive_packet(context, packet) == 0) {
        EncodedSample sample;
        sample.data.assign(packet->data, packet->data + packet->size);
        sample.pts = packet->pts;
        sample.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        out->samples.push_back(std::move(sample));
        av_packet_unref(packet);
    }
}

// Frames in decode order. options: "key=value" pairs for the encoder's private options.
inline EncodedStream EncodeVideo(const char *encoder, int width, int height, int frames,
                                 int gop, int bFrames, bool globalHeader,
                                 AVPixelFormat format = AV_PIX_FMT_YUV420P,
                                 const char *preset = nullptr, int fps = 25)
{
    EncodedStream out;
    out.width = width;
    out.height = height;
    const AVCodec *codec = avcodec_find_encoder_by_name(encoder);
    if (!codec)
        return out;
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    context->width = width;
    context->height = height;
    context->pix_fmt = format;
    context->time_base = AVRational{1, fps};
    context->framerate = AVRational{fps, 1};
    context->gop_size = gop;
    context->max_b_frames = bFrames;
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (globalHeader)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P)
        context->color_range = AVCOL_RANGE_JPEG;
    AVDictionary *options = nullptr;
    if (preset)
        av_dict_set(&options, "preset", preset, 0);
    const int opened = avcodec_open2(context.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0)
        return out;
    if (context->extradata_size > 0)
        out.extra.assign(context->extradata, context->extradata + context->extradata_size);
    AvFramePtr frame(av_frame_alloc());
    AvPacketPtr packet(av_packet_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return out;
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame.get());
        FillTestPicture(frame.get(), i);
        frame->pts = i;
        avcodec_send_frame(context.get(), frame.get());
        Collect(context.get(), packet.get(), &out);
    }
    avcodec_send_frame(context.get(), nullptr);
    Collect(context.get(), packet.get(), &out);
    out.ok = !out.samples.empty();
    return out;
}

// A tone per channel (channel c at frequency hz * (c + 1)) as raw AAC frames with the
// AudioSpecificConfig as extra data.
inline EncodedStream EncodeAacTone(int sampleRate, int channels, double hz, int frames)
{
    EncodedStream out;
    out.sampleRate = sampleRate;
    out.channels = channels;
    const AVCodec *codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return out;
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    context->sample_rate = sampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = 64000 * channels;
    context->time_base = AVRational{1, sampleRate};
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_BITEXACT;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return out;
    out.extra.assign(context->extradata, context->extradata + context->extradata_size);
    AvFramePtr frame(av_frame_alloc());
    AvPacketPtr packet(av_packet_alloc());
    frame->nb_samples = context->frame_size;
    frame->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    frame->sample_rate = sampleRate;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return out;
    int64_t position = 0;
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame.get());
        for (int c = 0; c < channels; ++c) {
            float *data = reinterpret_cast<float *>(frame->extended_data[c]);
            for (int s = 0; s < frame->nb_samples; ++s)
                data[s] = float(0.5 * std::sin(2 * M_PI * hz * (c + 1) * double(position + s) /
                                               sampleRate));
        }
        frame->pts = position;
        position += frame->nb_samples;
        avcodec_send_frame(context.get(), frame.get());
        Collect(context.get(), packet.get(), &out);
    }
    avcodec_send_frame(context.get(), nullptr);
    Collect(context.get(), packet.get(), &out);
    out.ok = !out.samples.empty();
    return out;
}
