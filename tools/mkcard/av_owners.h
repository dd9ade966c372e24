#pragma once

// The clip maker, the benchmarks and the tests use the engine's owners of FFmpeg objects, plus
// the owners of libavformat's files, which the engine itself never opens.
#include "engine/codecs/av_owners.h"

extern "C" {
#include <libavformat/avformat.h>
}

// A file opened for reading by libavformat.
using AvInputPtr = std::unique_ptr<AVFormatContext, FreeWith<avformat_close_input>>;

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
