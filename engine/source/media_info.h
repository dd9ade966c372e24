#pragma once

#include <cstdint>

// Limits of one source; readers refuse a file that declares more.
constexpr uint32_t kMaxAudioStreams = 2;
constexpr uint32_t kMaxVideoStreams = 2;
constexpr uint32_t kMaxTextStreams = 3;
constexpr uint32_t kMaxExtraData = 512;

// Sample kinds of a read request.
constexpr int32_t SAMPLE_KIND_AUDIO = 1;
constexpr int32_t SAMPLE_KIND_VIDEO = 2;
constexpr int32_t SAMPLE_KIND_TEXT = 3;

struct AUDIO_STREAM_INFO
{
    uint32_t nFormat;     // WAVE format tag, or a fourcc for other containers
    uint32_t nSampleRate; // Hz
    uint32_t nChannels;
    uint32_t nBitsPerSample;
    uint32_t nSamplesPerFrame; // set when the decoder is created
    uint32_t nBlockAlign;
    uint32_t nBitRate; // bits/s
    uint8_t byExtraData[kMaxExtraData];
    uint32_t nExtraDataLength; // at most kMaxExtraData
    uint32_t nMaxSampleSize;   // bytes
    uint32_t nOutputBlockSize; // samples per channel; set when the decoder is created
    uint32_t nDuration;        // ms
    uint32_t nSampleTime;      // per-sample-time word handed to the decoder
};

struct VIDEO_STREAM_INFO
{
    uint32_t nFourcc;
    uint32_t nOutputFormat; // set when the decoder is created
    uint32_t nWidth;
    uint32_t nHeight;
    uint32_t nFrameRate; // thousandths of a frame per second
    uint32_t nBitCount;
    uint32_t nExtraValue; // copied to the engine's public media information
    uint8_t byExtraData[kMaxExtraData];
    uint32_t nExtraDataLength; // at most kMaxExtraData
    uint32_t nMaxSampleSize;   // bytes
    uint32_t nDuration;        // ms
};

struct TEXT_STREAM_INFO
{
    uint32_t nCodec;
    uint32_t nParam1;
    uint32_t nParam2;
    uint32_t nMaxSampleSize; // bytes
    uint32_t nDuration;      // ms
    uint32_t nLastWord;
};

// What a reader's get-info fills; the source then applies its defaults to the zero fields.
struct MediaInfo
{
    uint32_t nMediaType; // chosen by the reader (AVI 5, CLF 12)
    uint32_t nMediaFlags;
    uint32_t nDuration;      // ms, the longest stream
    uint32_t nBufferingTime; // ms; 0 means 1000
    uint32_t nAudioCount;
    uint32_t nVideoCount;
    uint32_t nTextCount;
    AUDIO_STREAM_INFO audio[kMaxAudioStreams];
    VIDEO_STREAM_INFO video[kMaxVideoStreams];
    TEXT_STREAM_INFO text[kMaxTextStreams];
    void *pTagRecord; // input: where readers that carry tags write them
};

// One read: the caller owns the buffer.
struct SampleRequest
{
    uint8_t *pBuffer;
    uint32_t nLength;     // out: bytes delivered
    uint32_t nBufferSize; // in; out: the size needed when the sample did not fit
    uint32_t nTime;       // out: ms
    uint32_t nDuration;   // out: ms
    uint32_t nStream;     // in: stream index
    int32_t nKind;        // in: SAMPLE_KIND_*
};
