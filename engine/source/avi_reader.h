#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/avi_index.h"
#include "engine/source/media_info.h"
#include "engine/source/reader_ops.h"

constexpr uint32_t kAviMediaType = 5;
constexpr uint32_t kAviMaxStreams = 10;
// More than this many empty chunk headers in a row end the header parse.
constexpr uint32_t kAviMaxZeroRun = 2048;
// Largest piece of a sample-size stream handed out by one read.
constexpr uint32_t kAviMaxPiece = 16384;
// A chunk found by scanning that claims more than this is a damaged header: no recorder
// writes a sample this large, and taking it would swallow the chunks after it.
constexpr uint32_t kAviMaxScannedChunk = 16u << 20;

struct AviSuperEntry
{
    uint64_t qwOffset;
    uint32_t dwSize;
    uint32_t dwDuration;
};

// One registered stream, reading through a clone of the file's stream. Every field but the
// index list is used under the source lock only.
struct AviStream
{
    ByteStreamPtr stream;    // clone
    int32_t nCursor = -1;    // unbuffered
    int32_t nKind = 0;       // SAMPLE_KIND_AUDIO or SAMPLE_KIND_VIDEO
    uint32_t nNumber = 0;    // index in the stream table, the "NN" of its chunk ids
    uint32_t nStartTime = 0; // ms
    uint32_t nFourcc = 0;
    uint32_t dwScale = 1, dwRate = 1, dwLength = 0;
    uint32_t dwSampleSize = 0; // 0: one sample per chunk
    // The stream header's own sample size, kept when a complete index switched the stream to
    // one sample per chunk: its times still count bytes, not chunks.
    uint32_t nByteSampleSize = 0;
    uint32_t nDuration = 0;      // ms
    uint32_t nSampleCounter = 0; // chunks passed so far
    uint64_t nBytePosition = 0;  // bytes delivered so far
    uint32_t nRemaining = 0;     // bytes of the current chunk not yet delivered
    bool bPadPending = false;
    int64_t nMoviEnd = 0; // end of the movi list the scan stands in (the file end once stale)
    AviIndexList index;
    AviIndexNode *pCurrent = nullptr; // next node to read (complete index)
    int64_t nNextReadPosition = 0;
    AviIndexNode *pFoundNode = nullptr; // result of the last position search
    uint32_t nFoundFrame = 0;
    uint64_t nFoundSample = 0;
    uint32_t nFoundTime = 0;
    std::vector<AviSuperEntry> superIndex; // until the OpenDML indexes are loaded
    std::vector<uint8_t> scanSpan;         // the chunk search's bytes, once it first runs
};

struct AviReader
{
    ByteStream *pStream = nullptr; // the source's, not owned
    int32_t nMainCursor = -1;      // unbuffered: header parse and the index thread
    int32_t nIdx1Cursor = -1;      // 4096-byte read-ahead
    int64_t nFileSize = 0;
    AviStream *streams[kAviMaxStreams] = {};
    uint32_t nStreamCount = 0;
    // Table number of each chunk-id stream number (-1: not registered). Header order counts
    // every stream, registered or not, as the chunk ids do.
    int32_t streamOfNumber[100];
    int32_t nSelectedAudio = -1;
    int32_t nSelectedVideo = -1;
    int64_t nMoviPosition = 0;     // the "movi" list-type field
    int64_t nMoviDataPosition = 0; // first chunk of the first movi list; 0 without one
    int64_t nMoviEnd = 0;          // end of the first movi list
    int64_t nIdx1Position = 0;     // idx1 data; 0 without idx1
    bool bIndexComplete = false;   // set in get info, before the index thread starts
    bool bAvix = false;
    bool bOpenDml = false;
    bool bMenu = false;
    bool bParsed = false;
    uint32_t dwMicroSecPerFrame = 0;
    // Index thread's own: where its scan stands and which movi list it is in.
    bool bScanStarted = false;
    int64_t nScanMoviEnd = 0;
    std::vector<uint8_t> scanSpan;
};

// Header parse and index loading of get info: fills the stream table and the media
// information; the index lists hold what idx1 or the OpenDML indexes name.
int32_t AviParseHeaders(AviReader *r, MediaInfo *info);

// Open on stream, close, get info, make index, read sample, seek and seek to key frame.
extern const ReaderOps g_AviReaderOps;

// ms of ticks of a stream's time base, in 64 bits and saturated to 32.
uint32_t AviTicksToMs(uint64_t ticks, uint32_t dwScale, uint32_t dwRate);
