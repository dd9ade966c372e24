#pragma once

#include <cstdint>
#include <vector>

#include "engine/codecs/av_owners.h"

// What the decoders hand to libavcodec, prepared the way it asks for: its bitstream readers may
// read AV_INPUT_BUFFER_PADDING_SIZE bytes past the end, which must be zero.

// A zero-padded copy of the stream record's codec extra data, owned by the context from then on.
// False when memory is short.
bool SetCodecExtraData(AVCodecContext *context, const uint8_t *data, uint32_t length);

// One compressed sample at a time, copied into a buffer kept between samples (it grows to the
// largest sample and is not allocated again) with the zero padding after it.
class PaddedPacket
{
public:
    // False when memory is short.
    bool Allocate();
    // The packet for avcodec_send_packet: the sample's copy, not reference-counted, so libavcodec
    // keeps a copy of its own when it needs one.
    AVPacket *Fill(const uint8_t *sample, uint32_t length, int64_t pts);

private:
    AvPacketPtr m_pPacket;
    std::vector<uint8_t> m_Bytes;
};
