#pragma once

#include <cstdint>

#include "engine/source/clf_format.h"
#include "engine/source/media_info.h"
#include "engine/source/reader_ops.h"

constexpr uint32_t kClfMediaType = 12;
// Tag, time, size and an unused word precede every record's data.
constexpr uint32_t kClfRecordHeaderSize = 16;

// One stream of a CLF file, reading through a clone of the file's stream.
struct ClfStream
{
    ByteStreamPtr stream; // clone
    int32_t nCursor;      // unbuffered
    int32_t nKind;        // SAMPLE_KIND_*
    uint32_t nTag;
    int64_t nFoundPosition; // record found by the last position search
};

constexpr uint32_t kClfMaxStreams = kMaxVideoStreams + kMaxAudioStreams + kMaxTextStreams;

struct ClfReader
{
    ByteStream *pStream; // the source's, not owned
    int32_t nMainCursor; // unbuffered
    int64_t nFileSize;
    ClfStream *streams[kClfMaxStreams]; // video first, then audio, then text, in header order
    uint32_t nStreamCount;
    ClfStream *pVideo; // the first of each kind, null when there is none
    ClfStream *pAudio;
    ClfStream *pText;
    int64_t nDataStart;
};

// Open on stream, close, get info, read sample, seek and seek to key frame.
extern const ReaderOps g_ClfReaderOps;
