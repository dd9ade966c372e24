// AAC through libavcodec, one decoder thread. Its output (planar float) becomes interleaved
// 16-bit PCM with at most two channels; more are mixed down to stereo. A frame larger than the
// caller's F samples is handed out over several calls.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "engine/codecs/av_owners.h"
#include "engine/codecs/decoder_ops.h"
#include "engine/core/vantor_errors.h"

namespace {

struct AacState
{
    AvCodecContextPtr context;
    AvFramePtr frame;
    AvPacketPtr packet;
    std::vector<uint8_t> packetBytes; // the sample and libavcodec's zero padding
    std::vector<int16_t> pcm;         // decoded, interleaved, not yet handed out
    size_t pcmRead = 0;               // values of pcm already handed out
    std::vector<float> mix[2];        // one frame's output channels before conversion
};

AacState *State(AudioDecoder *decoder) { return static_cast<AacState *>(decoder->pInstance); }

// One input sample as a float, whatever the decoder's sample format.
float SampleAt(const AVFrame *frame, int channel, int index)
{
    const int channels = frame->ch_layout.nb_channels;
    switch (frame->format) {
    case AV_SAMPLE_FMT_FLTP:
        return reinterpret_cast<const float *>(frame->extended_data[channel])[index];
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float *>(frame->data[0])[index * channels + channel];
    case AV_SAMPLE_FMT_S16P:
        return reinterpret_cast<const int16_t *>(frame->extended_data[channel])[index] / 32768.0f;
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t *>(frame->data[0])[index * channels + channel] /
               32768.0f;
    case AV_SAMPLE_FMT_S32P:
        return float(reinterpret_cast<const int32_t *>(frame->extended_data[channel])[index] /
                     2147483648.0);
    default:
        return 0.0f;
    }
}

bool KnownSampleFormat(int format)
{
    return format == AV_SAMPLE_FMT_FLTP || format == AV_SAMPLE_FMT_FLT ||
           format == AV_SAMPLE_FMT_S16P || format == AV_SAMPLE_FMT_S16 ||
           format == AV_SAMPLE_FMT_S32P;
}

// Weights of one input channel in the left and right output when more than two are mixed down:
// centre and surrounds at -3 dB, LFE left out.
void DownmixWeights(const AVChannelLayout &layout, int index, float *left, float *right)
{
    constexpr float kHalfPower = 0.70710678f;
    *left = *right = 0.0f;
    const AVChannel channel = av_channel_layout_channel_from_index(&layout, unsigned(index));
    switch (channel) {
    case AV_CHAN_FRONT_LEFT:
    case AV_CHAN_FRONT_LEFT_OF_CENTER:
        *left = 1.0f;
        break;
    case AV_CHAN_FRONT_RIGHT:
    case AV_CHAN_FRONT_RIGHT_OF_CENTER:
        *right = 1.0f;
        break;
    case AV_CHAN_FRONT_CENTER:
        *left = *right = kHalfPower;
        break;
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SIDE_LEFT:
        *left = kHalfPower;
        break;
    case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SIDE_RIGHT:
        *right = kHalfPower;
        break;
    case AV_CHAN_LOW_FREQUENCY:
        break;
    default:
        // Unnamed order: the first two are left and right, the rest go to both.
        if (index == 0)
            *left = 1.0f;
        else if (index == 1)
            *right = 1.0f;
        else
            *left = *right = kHalfPower;
        break;
    }
}

int16_t ToPcm16(float value)
{
    const long scaled = std::lrint(double(value) * 32768.0);
    return int16_t(std::clamp<long>(scaled, -32768, 32767));
}

// Appends the frame's samples to the pending PCM, interleaved, outChannels wide.
void AppendFrame(AacState *state, const AVFrame *frame, uint32_t outChannels)
{
    const int inChannels = frame->ch_layout.nb_channels;
    const int count = frame->nb_samples;
    if (inChannels <= 0 || count <= 0 || !KnownSampleFormat(frame->format))
        return;
    const size_t base = state->pcm.size();
    state->pcm.resize(base + size_t(count) * outChannels);
    int16_t *out = state->pcm.data() + base;
    if (uint32_t(inChannels) <= outChannels || outChannels == 1) {
        // Mono and stereo as they are; a mono frame in a stereo stream goes to both sides.
        for (int i = 0; i < count; ++i) {
            for (uint32_t c = 0; c < outChannels; ++c)
                out[size_t(i) * outChannels + c] =
                    ToPcm16(SampleAt(frame, std::min<int>(int(c), inChannels - 1), i));
        }
        return;
    }
    float gainLeft = 0.0f, gainRight = 0.0f;
    std::vector<float> &left = state->mix[0], &right = state->mix[1];
    left.assign(size_t(count), 0.0f);
    right.assign(size_t(count), 0.0f);
    for (int c = 0; c < inChannels; ++c) {
        float wl = 0.0f, wr = 0.0f;
        DownmixWeights(frame->ch_layout, c, &wl, &wr);
        gainLeft += wl;
        gainRight += wr;
        for (int i = 0; i < count; ++i) {
            const float s = SampleAt(frame, c, i);
            left[size_t(i)] += wl * s;
            right[size_t(i)] += wr * s;
        }
    }
    // Scaled so that full-scale input on every channel cannot clip.
    const float scaleLeft = gainLeft > 1.0f ? 1.0f / gainLeft : 1.0f;
    const float scaleRight = gainRight > 1.0f ? 1.0f / gainRight : 1.0f;
    for (int i = 0; i < count; ++i) {
        out[size_t(i) * 2] = ToPcm16(left[size_t(i)] * scaleLeft);
        out[size_t(i) * 2 + 1] = ToPcm16(right[size_t(i)] * scaleRight);
    }
}

// Sends one sample and collects every frame it gives. False when libavcodec refused it.
bool DecodeSample(AacState *state, const uint8_t *sample, uint32_t length, uint32_t outChannels)
{
    state->packetBytes.resize(size_t(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(state->packetBytes.data(), sample, length);
    std::memset(state->packetBytes.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    AVPacket *packet = state->packet.get();
    packet->data = state->packetBytes.data();
    packet->size = int(length);
    if (avcodec_send_packet(state->context.get(), packet) < 0)
        return false;
    bool ok = true;
    for (;;) {
        const int result = avcodec_receive_frame(state->context.get(), state->frame.get());
        if (result != 0) {
            ok = result == AVERROR(EAGAIN) || result == AVERROR_EOF;
            break;
        }
        AppendFrame(state, state->frame.get(), outChannels);
        av_frame_unref(state->frame.get());
    }
    return ok;
}

int32_t AacInit(AudioDecoder *decoder, const uint8_t *sample, uint32_t length,
                AUDIO_STREAM_INFO *info)
{
    if (!info)
        return VANTOR_E_AUDIO_DECODER_INIT;
    auto *state = new (std::nothrow) AacState;
    if (!state)
        return VANTOR_E_AUDIO_DECODER_INIT;
    std::unique_ptr<AacState> owner(state);
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec)
        return VANTOR_E_AUDIO_DECODER_INIT;
    state->context.reset(avcodec_alloc_context3(codec));
    state->frame.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->context || !state->frame || !state->packet)
        return VANTOR_E_AUDIO_DECODER_INIT;
    AVCodecContext *context = state->context.get();
    context->thread_count = 1;
    context->sample_rate = int(std::min<uint32_t>(info->nSampleRate, 768000));
    if (info->nChannels > 0 && info->nChannels <= 64)
        av_channel_layout_default(&context->ch_layout, int(info->nChannels));
    const uint32_t extraLength = std::min(info->nExtraDataLength, kMaxExtraData);
    if (extraLength > 0) {
        context->extradata =
            static_cast<uint8_t *>(av_mallocz(extraLength + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata)
            return VANTOR_E_AUDIO_DECODER_INIT;
        std::memcpy(context->extradata, info->byExtraData, extraLength);
        context->extradata_size = int(extraLength);
    }
    if (avcodec_open2(context, codec, nullptr) < 0)
        return VANTOR_E_AUDIO_DECODER_INIT;

    // The first sample tells the output rate and channels for certain (SBR doubles the rate the
    // configuration names); its PCM is dropped and the sample decoded again by the first Decode.
    if (sample && length > 0) {
        state->packetBytes.assign(sample, sample + length);
        state->packetBytes.resize(size_t(length) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        state->packet->data = state->packetBytes.data();
        state->packet->size = int(length);
        if (avcodec_send_packet(context, state->packet.get()) == 0 &&
            avcodec_receive_frame(context, state->frame.get()) == 0) {
            context->sample_rate = state->frame->sample_rate;
        }
        av_frame_unref(state->frame.get());
        avcodec_flush_buffers(context);
    }
    const int channels = context->ch_layout.nb_channels;
    if (context->sample_rate <= 0 || channels <= 0)
        return VANTOR_E_AUDIO_DECODER_INIT;

    if (decoder->pInstance)
        decoder->pOps->Close(decoder);
    decoder->pInstance = owner.release();
    decoder->nSampleRate = uint32_t(context->sample_rate);
    decoder->nChannels = channels >= 2 ? 2 : 1;
    decoder->nBitsPerSample = info->nBitsPerSample;
    decoder->nBitRateK = info->nBitRate / 1000;
    decoder->nPerSampleTime = info->nSampleTime;
    decoder->bRestart = 1;
    decoder->nSamplesSinceBase = 0;
    decoder->nBytesConsumed = 0;
    info->nSamplesPerFrame = decoder->nSamplesPerFrame;
    return VANTOR_OK;
}

void AacClose(AudioDecoder *decoder)
{
    delete State(decoder);
    decoder->pInstance = nullptr;
}

int32_t AacDecode(AudioDecoder *decoder, const uint8_t *sample, uint32_t length, int16_t *out,
                  uint32_t *produced, uint32_t *used)
{
    *produced = 0;
    *used = 0;
    AacState *state = State(decoder);
    if (!state)
        return VANTOR_E_AUDIO_DECODER_INIT;
    const uint32_t channels = decoder->nChannels;
    int32_t result = VANTOR_OK;
    // PCM left over from a frame larger than F belongs to the sample given again now.
    const bool fresh = state->pcmRead >= state->pcm.size();
    if (fresh) {
        state->pcm.clear();
        state->pcmRead = 0;
        if (sample && length > 0 && !DecodeSample(state, sample, length, channels))
            result = VANTOR_E_STREAM_SYNTAX;
    }
    const size_t available = (state->pcm.size() - state->pcmRead) / channels;
    const size_t count = std::min<size_t>(available, decoder->nSamplesPerFrame);
    if (count > 0)
        std::memcpy(out, state->pcm.data() + state->pcmRead, count * channels * sizeof(int16_t));
    state->pcmRead += count * channels;
    *produced = uint32_t(count);
    // The sample counts as used once all it gave has been handed out.
    if (state->pcmRead >= state->pcm.size()) {
        *used = length;
        decoder->nBytesConsumed += length;
    }
    return result;
}

void AacReset(AudioDecoder *decoder)
{
    if (AacState *state = State(decoder)) {
        avcodec_flush_buffers(state->context.get());
        state->pcm.clear();
        state->pcmRead = 0;
    }
    decoder->bRestart = 1;
    decoder->nSamplesSinceBase = 0;
}

} // namespace

const AudioDecoderOps g_AacAudioDecoderOps = {AacInit, AacClose, AacDecode, AacReset};
