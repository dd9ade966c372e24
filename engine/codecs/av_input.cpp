#include "engine/codecs/av_input.h"

#include <cstring>

bool SetCodecExtraData(AVCodecContext *context, const uint8_t *data, uint32_t length)
{
    if (length == 0)
        return true;
    context->extradata = static_cast<uint8_t *>(av_mallocz(length + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context->extradata)
        return false;
    std::memcpy(context->extradata, data, length);
    context->extradata_size = int(length);
    return true;
}

bool PaddedPacket::Allocate()
{
    m_pPacket.reset(av_packet_alloc());
    return m_pPacket != nullptr;
}

AVPacket *PaddedPacket::Fill(const uint8_t *sample, uint32_t length, int64_t pts)
{
    m_Bytes.resize(size_t(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(m_Bytes.data(), sample, length);
    std::memset(m_Bytes.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    AVPacket *packet = m_pPacket.get();
    packet->data = m_Bytes.data();
    packet->size = int(length);
    packet->pts = pts;
    packet->dts = AV_NOPTS_VALUE;
    return packet;
}
