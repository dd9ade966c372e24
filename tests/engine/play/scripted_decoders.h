#pragma once

// Small decoders and clips for driving the player without the built-in codecs. A video sample
// is [key flag, picture number (4 bytes, little-endian)]; the decoder's picture is a 32 x 16
// frame whose luma holds the low byte of the number. An audio sample gives one 400-sample frame
// (50 ms at 8 kHz). Text samples become one line each.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/play/playback.h"
#include "engine/source/clf_writer.h"

namespace scripted {

constexpr uint32_t kVideoFourcc = MakeFourcc("SCRV");
constexpr uint32_t kUnknownFourcc = MakeFourcc("NOPE");
constexpr uint32_t kAudioFormat = 0x7A7A;
constexpr int32_t kWidth = 32, kHeight = 16;
constexpr uint32_t kAudioRate = 8000, kAudioFrame = 400;

struct VideoState
{
    std::vector<uint8_t> frame = std::vector<uint8_t>(kWidth * kHeight * 3 / 2);
};

inline int32_t VideoInit(VideoDecoder *d, const uint8_t *, uint32_t, VIDEO_STREAM_INFO *)
{
    d->pInstance = new VideoState;
    d->dwOutputFormat = MakeFourcc("I420");
    d->nWidth = kWidth;
    d->nHeight = kHeight;
    d->nBitCount = 12;
    return VANTOR_OK;
}

inline void VideoClose(VideoDecoder *d)
{
    delete static_cast<VideoState *>(d->pInstance);
    d->pInstance = nullptr;
}

inline int32_t VideoClassify(VideoDecoder *, const uint8_t *sample, uint32_t length)
{
    return length > 0 && sample[0] ? 1 : 2;
}

inline int32_t VideoDecode(VideoDecoder *d, const uint8_t *sample, uint32_t length, int32_t timeMs,
                           VideoPicture *picture, int32_t *pictureMs, uint32_t *used)
{
    *picture = VideoPicture{};
    *used = length;
    if (length < 5)
        return VANTOR_OK; // nothing held back at the end
    uint32_t number;
    std::memcpy(&number, sample + 1, 4);
    auto *state = static_cast<VideoState *>(d->pInstance);
    std::memset(state->frame.data(), static_cast<uint8_t>(number), kWidth * kHeight);
    std::memset(state->frame.data() + kWidth * kHeight, 128, kWidth * kHeight / 2);
    uint8_t *y = state->frame.data();
    *picture = VideoPicture{y, y + kWidth * kHeight, y + kWidth * kHeight * 5 / 4, kWidth};
    *pictureMs = timeMs;
    return VANTOR_OK;
}

inline void VideoReset(VideoDecoder *) {}

inline const VideoDecoderOps kVideoOps = {VideoInit, VideoClose, VideoClassify, VideoDecode,
                                          VideoReset};

inline int32_t CreateVideo(uint32_t fourcc, VideoDecoder **decoder)
{
    if (fourcc != kVideoFourcc)
        return VANTOR_E_UNSUPPORTED_VIDEO;
    *decoder = new VideoDecoder{};
    (*decoder)->pOps = &kVideoOps;
    (*decoder)->dwFourcc = fourcc;
    return VANTOR_OK;
}

inline void DestroyVideo(VideoDecoder *decoder)
{
    if (decoder && decoder->pOps && decoder->pInstance)
        decoder->pOps->Close(decoder);
    delete decoder;
}

inline int32_t AudioInit(AudioDecoder *d, const uint8_t *, uint32_t, AUDIO_STREAM_INFO *)
{
    d->nSampleRate = kAudioRate;
    d->nChannels = 1;
    d->nSamplesPerFrame = kAudioFrame;
    return VANTOR_OK;
}

inline void AudioClose(AudioDecoder *) {}

inline int32_t AudioDecode(AudioDecoder *, const uint8_t *, uint32_t length, int16_t *out,
                           uint32_t *produced, uint32_t *used)
{
    for (uint32_t i = 0; i < kAudioFrame; ++i)
        out[i] = static_cast<int16_t>((i % 40) * 400 - 8000);
    *produced = kAudioFrame;
    *used = length;
    return VANTOR_OK;
}

inline void AudioReset(AudioDecoder *) {}

inline const AudioDecoderOps kAudioOps = {AudioInit, AudioClose, AudioDecode, AudioReset};

inline int32_t CreateAudio(uint32_t format, AudioDecoder **decoder)
{
    if (format != kAudioFormat)
        return VANTOR_E_UNSUPPORTED_AUDIO;
    *decoder = new AudioDecoder{};
    (*decoder)->pOps = &kAudioOps;
    (*decoder)->dwFormat = format;
    return VANTOR_OK;
}

inline void DestroyAudio(AudioDecoder *decoder)
{
    delete decoder;
}

inline int32_t CreateText(uint32_t codec, TextDecoder **decoder)
{
    if (codec != MakeFourcc("TRVX"))
        return VANTOR_E_TEXT_DECODER_INIT;
    *decoder = new TextDecoder{codec};
    return VANTOR_OK;
}

inline void DestroyText(TextDecoder *decoder)
{
    delete decoder;
}

inline int32_t DecodeText(TextDecoder *, const uint8_t *sample, uint32_t length, int32_t timeMs,
                          TEXT_LAYOUT *layout)
{
    layout->nTime = timeMs;
    layout->lines = {std::string(reinterpret_cast<const char *>(sample), length)};
    return VANTOR_OK;
}

inline const DecoderFactory kFactory = {CreateVideo, DestroyVideo, CreateAudio, DestroyAudio,
                                        CreateText,  DestroyText,  DecodeText};

struct ClipSpec
{
    uint32_t durationMs = 2000;
    bool video = true;
    uint32_t videoFourcc = kVideoFourcc;
    bool audio = true;
    bool text = false;
    char textCodec[5] = "TRVX";     // CreateText takes only this one
    uint32_t keyEveryPictures = 25; // one key picture a second at 25 pictures a second
};

// Pictures every 40 ms, audio frames every 50 ms, one text line a second. Returns 0 or the
// writer's code.
inline int32_t WriteClip(const std::string &path, const ClipSpec &spec)
{
    ClfLayout layout;
    if (spec.video) {
        ClfVideoEntry v;
        v.dwFourcc = FourccFromBigEndianWord(spec.videoFourcc); // the header's order
        v.nWidth = kWidth;
        v.nHeight = kHeight;
        v.nFrameRate1000 = 25000;
        layout.video.push_back(v);
    }
    if (spec.audio)
        layout.audio.push_back(ClfAudioEntry{kAudioFormat, kAudioRate, 1, 16, 128000, {}});
    if (spec.text)
        layout.text.push_back(ClfTextEntry{ClfFourcc(spec.textCodec), 0, 0});
    ClfWriter writer;
    int32_t result = writer.Open(path, layout);
    for (uint32_t t = 0; result == VANTOR_OK && t < spec.durationMs; t += 10) {
        if (spec.text && t % 1000 == 0) {
            const std::string line = "line " + std::to_string(t / 1000);
            result = writer.WriteSample(kClfKindText, t, line.data(), line.size(), 1000);
        }
        if (spec.video && t % 40 == 0 && result == VANTOR_OK) {
            const uint32_t number = t / 40;
            uint8_t sample[5] = {static_cast<uint8_t>(number % spec.keyEveryPictures == 0)};
            std::memcpy(sample + 1, &number, 4);
            result = writer.WriteSample(kClfKindVideo, t, sample, sizeof sample, 40, sample[0]);
        }
        if (spec.audio && t % 50 == 0 && result == VANTOR_OK) {
            const uint32_t sample = t;
            result = writer.WriteSample(kClfKindAudio, t, &sample, sizeof sample, 50);
        }
    }
    return result == VANTOR_OK ? writer.Finish() : result;
}

} // namespace scripted
