#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/free_with.h"
#include "engine/output/video_renderer.h"
#include "engine/source/media_info.h"

// Decoders are objects with a table of operations, chosen by fourcc or format code from the
// built-in tables (engine/codecs). Every operation runs on the task thread that owns the
// decoder; creation and reset may also run on the status thread while that task is idle.
// Compressed samples come from a SampleQueue and are followed by zero padding, so decoders may
// read a little past their end.

struct VideoDecoder;

struct VideoDecoderOps
{
    // First compressed sample and the stream record; may read codec configuration from the
    // record's extra data or the sample. Sets the decoder's output format, width and height,
    // which the caller copies back into the record. 0 or 0x80000034.
    int32_t (*Init)(VideoDecoder *decoder, const uint8_t *sample, uint32_t length,
                    VIDEO_STREAM_INFO *info);
    // Frees the decoder's state (not the VideoDecoder itself).
    void (*Close)(VideoDecoder *decoder);
    // Optional; while the decoder waits for a synchronisation point: 1 it is one, decode it;
    // 2 it is not one (skip before the first, decode after); 3 skip it; any other value:
    // decode it and stop classifying.
    int32_t (*Classify)(VideoDecoder *decoder, const uint8_t *sample, uint32_t length);
    // Decodes one sample taken at timeMs. A length of 0 drains the pictures the decoder still
    // holds (end of stream). *used: bytes of the sample consumed (the rest is put back).
    // When a picture comes out, *picture points into the decoder's own frame (valid until the
    // next Decode, Reset or Close) and *pictureMs is its time; picture->pY is null otherwise.
    // 0, or a negative code for a sample that could not be decoded (the stream goes on).
    int32_t (*Decode)(VideoDecoder *decoder, const uint8_t *sample, uint32_t length, int32_t timeMs,
                      VideoPicture *picture, int32_t *pictureMs, uint32_t *used);
    // Forgets reference pictures; the decoder waits for a synchronisation point again.
    void (*Reset)(VideoDecoder *decoder);
};

struct VideoDecoder
{
    const VideoDecoderOps *pOps;
    void *pInstance;         // the decoder's own state
    uint32_t dwFourcc;       // the stream's upper-cased fourcc
    uint32_t dwOutputFormat; // fourcc of the pictures: "I420" by default, "YV12" for YV12 input
    int32_t nWidth;
    int32_t nHeight; // 16-aligned where the decoder says so
    int32_t nBitCount;
    int32_t nFrameRate; // frames per second x 1000
    int32_t bInitialised;
    int32_t bWaitingForSync; // classify samples until a synchronisation point
    int32_t bSyncSeen;
};

// By the stream's fourcc: 0 and a decoder, or 0x80000031 for a fourcc no decoder takes.
int32_t VideoDecoderCreate(uint32_t fourcc, VideoDecoder **decoder);
void VideoDecoderDestroy(VideoDecoder *decoder);

struct AudioDecoder;

struct AudioDecoderOps
{
    // First compressed sample and the stream record. Sets sample rate, channels (at most 2 are
    // reported) and samples per frame F. 0 or 0x80000033.
    int32_t (*Init)(AudioDecoder *decoder, const uint8_t *sample, uint32_t length,
                    AUDIO_STREAM_INFO *info);
    void (*Close)(AudioDecoder *decoder);
    // Decodes from one compressed sample into at most F interleaved 16-bit samples per channel
    // at out (room for F x channels values). *used: bytes consumed; *produced: samples per
    // channel written (0 when no frame came out). 0 or a negative code (the stream goes on).
    int32_t (*Decode)(AudioDecoder *decoder, const uint8_t *sample, uint32_t length, int16_t *out,
                      uint32_t *produced, uint32_t *used);
    void (*Reset)(AudioDecoder *decoder);
};

struct AudioDecoder
{
    const AudioDecoderOps *pOps;
    void *pInstance;
    uint32_t dwFormat; // the stream's format code or fourcc
    uint32_t nSampleRate;
    uint32_t nChannels;        // 1 or 2
    uint32_t nBitsPerSample;   // from the stream record
    uint32_t nBitRateK;        // bit rate / 1000, from the stream record
    uint32_t nSamplesPerFrame; // F
    int32_t bRestart;          // the next sample's time becomes the time base
    int32_t nTimeBase;         // ms
    uint64_t nSamplesSinceBase;
    uint64_t nBytesConsumed;
    uint32_t nPerSampleTime; // the stream record's decoder word (the AVI reader sets 1)
};

// By the stream's format code: 0 and a decoder, or 0x80000030 for a format no decoder takes.
int32_t AudioDecoderCreate(uint32_t format, AudioDecoder **decoder);
void AudioDecoderDestroy(AudioDecoder *decoder);

// What a text sample becomes for the renderer of slot 0: lines of text shown from its time.
struct TEXT_LAYOUT
{
    int32_t nTime; // ms
    std::vector<std::string> lines;
};

struct TextDecoder
{
    uint32_t dwCodec;
};

// "T140", "SAMI" and "TRVX" are accepted; anything else gives 0x80000035 (the samples can still
// be read as text).
int32_t TextDecoderCreate(uint32_t codec, TextDecoder **decoder);
void TextDecoderDestroy(TextDecoder *decoder);
// A "TRVX" sample becomes one line holding its bytes unchanged.
int32_t TextDecoderDecode(TextDecoder *decoder, const uint8_t *sample, uint32_t length,
                          int32_t timeMs, TEXT_LAYOUT *layout);

// Owners that free a decoder with the destroy function of whoever created it.
using VideoDecoderPtr = std::unique_ptr<VideoDecoder, DestroyBy<VideoDecoder>>;
using AudioDecoderPtr = std::unique_ptr<AudioDecoder, DestroyBy<AudioDecoder>>;
using TextDecoderPtr = std::unique_ptr<TextDecoder, DestroyBy<TextDecoder>>;
