#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

#include "engine/core/free_with.h"

// One owner for each FFmpeg object the engine, the tools and the tests hold. No public engine
// header includes this one: it brings in FFmpeg's headers.
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, FreeWith<avcodec_free_context>>;
using AvFramePtr = std::unique_ptr<AVFrame, FreeWith<av_frame_free>>;
using AvPacketPtr = std::unique_ptr<AVPacket, FreeWith<av_packet_free>>;
using AvBsfPtr = std::unique_ptr<AVBSFContext, FreeWith<av_bsf_free>>;

// A file opened for reading by libavformat. With a custom I/O context the context stays the
// caller's: close this one first.
using AvInputPtr = std::unique_ptr<AVFormatContext, FreeWith<avformat_close_input>>;

// A custom I/O context with its buffer (which libavformat may have replaced by a larger one).
struct AvIoContextClose
{
    void operator()(AVIOContext *io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
using AvIoContextPtr = std::unique_ptr<AVIOContext, AvIoContextClose>;

// An I/O context libavformat opened on a URL itself.
using AvIoOpenedPtr = std::unique_ptr<AVIOContext, FreeWith<avio_closep>>;

// Options handed to libavformat's opens, which take the dictionary by address.
struct AvOptions
{
    AVDictionary *p = nullptr;
    AvOptions() = default;
    ~AvOptions() { av_dict_free(&p); }
    AvOptions(const AvOptions &) = delete;
    AvOptions &operator=(const AvOptions &) = delete;
};

// An output file and its muxer, closed together.
struct AvOutputClose
{
    void operator()(AVFormatContext *ctx) const
    {
        if (ctx->pb)
            avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
using AvOutputPtr = std::unique_ptr<AVFormatContext, AvOutputClose>;
