#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

// One owner for each FFmpeg object the decoders hold. Private to engine/codecs: no public engine
// header includes FFmpeg.
template <auto Free>
struct FreeWith
{
    template <class T>
    void operator()(T *p) const
    {
        Free(&p);
    }
};
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, FreeWith<avcodec_free_context>>;
using AvFramePtr = std::unique_ptr<AVFrame, FreeWith<av_frame_free>>;
using AvPacketPtr = std::unique_ptr<AVPacket, FreeWith<av_packet_free>>;
