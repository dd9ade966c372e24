#include "engine/source/avi_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>

#include "engine/core/fourcc.h"
#include "engine/source/avi_chunk_scan.h"
#include "engine/source/avi_reader_internal.h"

// The reader operations: open, get info, reading from the index or by scanning, seeking, and
// the index thread's scan.

namespace {

using namespace avi;

// Bytes read for the chunk search at a time.
constexpr uint32_t kScanSpan = 64 * 1024;
// One read, and one call of the index thread, searches this long at most: a read holds the
// source lock, which the other task and a stop wait for.
constexpr auto kScanSlice = std::chrono::milliseconds(50);

using Deadline = std::chrono::steady_clock::time_point;

AviReader *Cast(void *instance)
{
    return static_cast<AviReader *>(instance);
}

// -- chunk search -------------------------------------------------------------------------

struct FoundChunk
{
    AviStream *pOwner;
    int64_t nHeader;
    uint32_t nSize;
};

// Finds the next media chunk of a registered stream from *position, only wanted's when given
// (the other streams' chunks are stepped over), reading spans through the cursor. 0 with the
// chunk (*position just after its header), 0x80000052 when the deadline passed (*position is
// where to go on), 0x80000054 at the end of the data, or the stream's read failure. A "LIST
// movi" passed on the way sets *moviEnd.
int32_t ScanForChunk(AviReader *r, ByteStream *s, int32_t cursor, std::vector<uint8_t> *span,
                     int64_t *position, int64_t *moviEnd, const AviStream *wanted,
                     Deadline deadline, FoundChunk *found)
{
    const int64_t end = std::min(Available(s), r->nFileSize);
    if (span->size() < kScanSpan) {
        try {
            span->resize(kScanSpan);
        } catch (const std::bad_alloc &) {
            return VANTOR_E_OUT_OF_MEMORY;
        }
    }
    for (;;) {
        const int64_t at = *position;
        if (at + 8 > end)
            return VANTOR_E_END_OF_STREAM;
        if (std::chrono::steady_clock::now() > deadline)
            return VANTOR_E_AGAIN;
        const uint32_t count = static_cast<uint32_t>(std::min<int64_t>(kScanSpan, end - at));
        if (const int32_t result = ReadAt(s, cursor, at, span->data(), count); result < 0)
            return result;
        const AviScanHit hit = AviFindChunkHeader(span->data(), count, at, at + count >= end);
        if (hit.kind == AviScanHit::None) {
            *position = hit.nResume;
            continue;
        }
        if (hit.kind == AviScanHit::MoviList) {
            // A list size never written (a recording cut short) reaches to the end of the file.
            *moviEnd = hit.nSize < 4 ? r->nFileSize
                                     : std::min(r->nFileSize, hit.nPosition + 8 + hit.nSize);
            *position = hit.nResume;
            continue;
        }
        const int64_t header = hit.nPosition;
        const uint32_t size = hit.nSize;
        const int64_t dataEnd = header + 8 + size;
        if (!AviIsStreamChunkId(hit.nId)) {
            // Standard indexes and a plain file's idx1 are stepped over; anything else found
            // ("JUNK", the idx1 of an AVIX file) lets the search go on after its header.
            const bool skipWhole = AviIsStdIndexId(hit.nId) || (hit.nId == kIdx1 && !r->bAvix);
            *position = skipWhole ? std::min(dataEnd + (size & 1), r->nFileSize) : header + 8;
            continue;
        }
        AviStream *owner = StreamOfNumber(r, AviStreamNumberOf(hit.nId));
        if (!owner) {
            *position = header + 8;
            continue;
        }
        if (!IsMediaType(TypeOf(hit.nId))) {
            *position = header + 1;
            continue;
        }
        // A size past the end of the data with a plausible figure is the last chunk cut by
        // the end of the recording, whose data may hold look-alike headers: the stream ends
        // there. A size no sample has, or one that leaves the movi list inside the file, is a
        // damaged header.
        if (size <= kAviMaxScannedChunk && dataEnd > end && header < *moviEnd)
            return VANTOR_E_END_OF_STREAM;
        const bool sane = size <= kAviMaxScannedChunk;
        // A movi size written before the last chunks: they go on right where it says it ends.
        if (header == *moviEnd && *moviEnd < r->nFileSize && sane)
            *moviEnd = r->nFileSize;
        if (header >= *moviEnd) {
            // Nothing outside a movi list is a sample (a cut idx1 holds look-alike headers).
            *position = header + 8;
            continue;
        }
        if (!sane || dataEnd > *moviEnd) {
            // One damaged size: the chunks after it are found by searching on from just after
            // its id, not lost with it.
            *position = header + 1;
            continue;
        }
        if (wanted && owner != wanted) {
            *position = dataEnd + (size & 1);
            continue;
        }
        *found = {owner, header, size};
        *position = header + 8;
        return VANTOR_OK;
    }
}

// Finds this stream's next chunk with data; the cursor then stands at the data. 0x80000052
// when the slice ran out first: the next read goes on from where this one stopped.
int32_t ScanNextChunk(AviReader *r, AviStream *st)
{
    ByteStream *s = st->stream.get();
    int64_t position = Tell(s, st->nCursor);
    if (position < 0)
        return static_cast<int32_t>(position);
    if (st->bPadPending) {
        st->bPadPending = false;
        if (position < r->nFileSize)
            ++position;
    }
    const Deadline deadline = std::chrono::steady_clock::now() + kScanSlice;
    for (;;) {
        FoundChunk chunk{};
        const int32_t result = ScanForChunk(r, s, st->nCursor, &st->scanSpan, &position,
                                            &st->nMoviEnd, st, deadline, &chunk);
        if (result < 0) {
            SeekTo(s, st->nCursor, std::min(position, r->nFileSize));
            return result;
        }
        ++st->nSampleCounter;
        if (chunk.nSize == 0)
            continue;
        st->nRemaining = chunk.nSize;
        st->bPadPending = chunk.nSize & 1;
        st->nNextReadPosition = chunk.nHeader + 8 + chunk.nSize;
        return SeekTo(s, st->nCursor, chunk.nHeader + 8) < 0 ? VANTOR_E_END_OF_STREAM : VANTOR_OK;
    }
}

// The next chunk from a complete index; cursor then stands at its data.
int32_t IndexNextChunk(AviReader *r, AviStream *st)
{
    ByteStream *s = st->stream.get();
    for (;;) {
        AviIndexNode *node = st->pCurrent;
        if (!node)
            return VANTOR_E_END_OF_STREAM;
        if (node->nSize == 0) {
            st->pCurrent = node->pNext.load(std::memory_order_acquire);
            ++st->nSampleCounter;
            continue;
        }
        const int64_t sizeField = int64_t{node->nPosition} + 4;
        if (sizeField >= r->nFileSize)
            return VANTOR_E_END_OF_STREAM;
        if (sizeField + 4 > Available(s))
            return VANTOR_E_NOT_YET;
        uint8_t bytes[4];
        int32_t result = SeekTo(s, st->nCursor, sizeField);
        if (result >= 0)
            result = ReadExact(s, st->nCursor, bytes, 4);
        if (result < 0)
            return VANTOR_E_END_OF_STREAM;
        const uint32_t size = Le32(bytes);
        // The size comes from the file; a chunk cut by the end of the file ends the stream.
        if (sizeField + 4 + int64_t{size} > r->nFileSize)
            return VANTOR_E_END_OF_STREAM;
        st->nNextReadPosition = sizeField + 4 + size;
        st->pCurrent = node->pNext.load(std::memory_order_acquire);
        ++st->nSampleCounter;
        if (size == 0)
            continue;
        st->nRemaining = size;
        st->bPadPending = false;
        return VANTOR_OK;
    }
}

// Time and duration of a whole chunk: by its frame number, or, for a sample-size stream that
// a complete index switched to whole chunks, by the samples before it.
void StampWholeChunk(const AviStream *st, uint32_t count, SampleRequest *request)
{
    if (st->nByteSampleSize) {
        const uint64_t sample = st->nBytePosition / st->nByteSampleSize;
        request->nTime =
            Saturate32(st->nStartTime + uint64_t{AviTicksToMs(sample, st->dwScale, st->dwRate)});
        request->nDuration = AviTicksToMs(count / st->nByteSampleSize, st->dwScale, st->dwRate);
    } else {
        request->nTime =
            Saturate32(st->nStartTime +
                       uint64_t{AviTicksToMs(st->nSampleCounter - 1, st->dwScale, st->dwRate)});
        request->nDuration = AviTicksToMs(1, st->dwScale, st->dwRate);
    }
}

// The common case in one read: a whole chunk named by a complete index, its size field and its
// data read together, the data straight into the caller's buffer where the back-end can split a
// read (otherwise both into the buffer and the data moved down over the size). Returns 1 when it
// did not apply (nothing moved but the cursor; the general path follows).
int32_t DeliverIndexedChunk(AviReader *r, AviStream *st, SampleRequest *request)
{
    while (st->pCurrent && st->pCurrent->nSize == 0) {
        st->pCurrent = st->pCurrent->pNext.load(std::memory_order_acquire);
        ++st->nSampleCounter;
    }
    const AviIndexNode *node = st->pCurrent;
    if (!node)
        return VANTOR_E_END_OF_STREAM;
    ByteStream *s = st->stream.get();
    const bool split = s->pOps->CursorReadSplit != nullptr;
    const int64_t sizeField = int64_t{node->nPosition} + 4;
    const uint64_t need = uint64_t{node->nSize} + 4;
    if ((split ? node->nSize : need) > request->nBufferSize ||
        sizeField + int64_t(need) > Available(s) || sizeField + int64_t(need) > r->nFileSize)
        return 1;
    if (SeekTo(s, st->nCursor, sizeField) < 0)
        return 1;
    uint8_t size[4];
    if (split) {
        if (s->pOps->CursorReadSplit(s->pInstance, st->nCursor, size, 4, request->pBuffer,
                                     node->nSize) != static_cast<int32_t>(need))
            return 1;
    } else {
        if (ReadExact(s, st->nCursor, request->pBuffer, static_cast<uint32_t>(need)) < 0)
            return 1;
        std::memcpy(size, request->pBuffer, 4);
    }
    // The size comes from the file; when it disagrees with the index the general path decides.
    if (Le32(size) != node->nSize)
        return 1;
    if (!split)
        std::memmove(request->pBuffer, request->pBuffer + 4, node->nSize);
    st->nNextReadPosition = sizeField + int64_t(need);
    st->pCurrent = node->pNext.load(std::memory_order_acquire);
    ++st->nSampleCounter;
    request->nLength = node->nSize;
    StampWholeChunk(st, node->nSize, request);
    st->nBytePosition += node->nSize;
    return VANTOR_OK;
}

int32_t ReadSampleOf(AviReader *r, AviStream *st, SampleRequest *request)
{
    if (st->nRemaining == 0 && r->bIndexComplete && st->dwSampleSize == 0) {
        const int32_t result = DeliverIndexedChunk(r, st, request);
        if (result <= 0)
            return result;
    }
    if (st->nRemaining == 0) {
        const int32_t result = r->bIndexComplete ? IndexNextChunk(r, st) : ScanNextChunk(r, st);
        if (result < 0)
            return result;
    }
    uint32_t count;
    if (st->dwSampleSize == 0) {
        count = st->nRemaining;
        if (count > request->nBufferSize) {
            request->nBufferSize = count;
            return VANTOR_E_BUFFER_TOO_SMALL;
        }
        StampWholeChunk(st, count, request);
    } else {
        count = std::min(st->nRemaining, kAviMaxPiece);
        if (count > request->nBufferSize) {
            request->nBufferSize = st->nRemaining;
            return VANTOR_E_BUFFER_TOO_SMALL;
        }
        const uint64_t sample = st->nBytePosition / st->dwSampleSize;
        request->nTime =
            Saturate32(st->nStartTime + uint64_t{AviTicksToMs(sample, st->dwScale, st->dwRate)});
        request->nDuration = AviTicksToMs(count / st->dwSampleSize, st->dwScale, st->dwRate);
    }
    if (const int32_t result = ReadExact(st->stream.get(), st->nCursor, request->pBuffer, count);
        result < 0)
        return result;
    st->nRemaining -= count;
    st->nBytePosition += count;
    request->nLength = count;
    return VANTOR_OK;
}

// -- position search ----------------------------------------------------------------------

enum SeekMode
{
    SEEK_NEXT_KEY = 1,
    SEEK_KEY_AT_OR_BEFORE = 2,
    SEEK_NEAREST_KEY = 3,
};

bool FindByFrame(AviStream *st, uint32_t time, int32_t mode, uint32_t count)
{
    const uint64_t frame = (uint64_t{time} * st->dwRate / st->dwScale + 500) / 1000;
    if (frame >= count)
        return false;
    const uint32_t n = static_cast<uint32_t>(frame);
    AviIndexNode *node = st->index.pHead.load(std::memory_order_acquire);
    AviIndexNode *before = node; // the head counts as a key frame
    uint32_t beforeFrame = 0;
    for (uint32_t i = 0; i < n; ++i) {
        node = node->pNext.load(std::memory_order_acquire);
        if (node->nFlags & kAviKeyFrame) {
            before = node;
            beforeFrame = i + 1;
        }
    }
    // First key frame at or after n (at: only for the nearest mode), or the last node.
    AviIndexNode *after = nullptr;
    uint32_t afterFrame = 0;
    AviIndexNode *last = node;
    uint32_t lastFrame = n;
    AviIndexNode *walk = node;
    uint32_t walkFrame = n;
    if (mode == SEEK_NEAREST_KEY && beforeFrame == n) {
        after = node;
        afterFrame = n;
    } else if (mode != SEEK_KEY_AT_OR_BEFORE) {
        while (walkFrame + 1 < count) {
            walk = walk->pNext.load(std::memory_order_acquire);
            ++walkFrame;
            last = walk;
            lastFrame = walkFrame;
            if (walk->nFlags & kAviKeyFrame) {
                after = walk;
                afterFrame = walkFrame;
                break;
            }
        }
    }
    AviIndexNode *chosen = before;
    uint32_t chosenFrame = beforeFrame;
    if (mode == SEEK_NEXT_KEY) {
        chosen = after ? after : last;
        chosenFrame = after ? afterFrame : lastFrame;
    } else if (mode == SEEK_NEAREST_KEY && after && afterFrame - n <= n - beforeFrame) {
        chosen = after;
        chosenFrame = afterFrame;
    }
    st->pFoundNode = chosen;
    st->nFoundFrame = chosenFrame;
    st->nFoundSample = 0;
    st->nFoundTime =
        Saturate32(st->nStartTime + uint64_t{AviTicksToMs(chosenFrame, st->dwScale, st->dwRate)});
    return true;
}

// Sample-size streams: the chunk holding the sample; reading resumes at the chunk's start, so
// the position found is the chunk's first sample.
bool FindBySample(AviStream *st, uint32_t time, uint32_t sampleSize, uint32_t count)
{
    // In integers: a time such as 0.12 s is not exact in binary and would fall a sample short.
    const unsigned __int128 sample =
        static_cast<unsigned __int128>(time) * st->dwRate / (uint64_t{st->dwScale} * 1000);
    const unsigned __int128 offset = sample * sampleSize;
    uint64_t chunkStart = 0;
    AviIndexNode *node = st->index.pHead.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < count && node; ++i) {
        if (offset < chunkStart + node->nSize) {
            st->pFoundNode = node;
            st->nFoundFrame = i;
            st->nFoundSample = chunkStart / sampleSize;
            st->nFoundTime = Saturate32(
                st->nStartTime + uint64_t{AviTicksToMs(st->nFoundSample, st->dwScale, st->dwRate)});
            return true;
        }
        chunkStart += node->nSize;
        node = node->pNext.load(std::memory_order_acquire);
    }
    return false;
}

bool FindPosition(AviStream *st, uint32_t time, int32_t mode)
{
    const uint32_t count = st->index.nCount.load(std::memory_order_acquire);
    if (count == 0)
        return false;
    const uint32_t sampleSize = st->dwSampleSize ? st->dwSampleSize : st->nByteSampleSize;
    const bool found =
        sampleSize ? FindBySample(st, time, sampleSize, count) : FindByFrame(st, time, mode, count);
    if (!found)
        return false;
    return int64_t{st->pFoundNode->nPosition} + st->pFoundNode->nSize <=
           Available(st->stream.get());
}

void CommitPosition(AviReader *r, AviStream *st)
{
    st->pCurrent = st->pFoundNode;
    st->nRemaining = 0;
    st->bPadPending = false;
    st->nNextReadPosition = st->pFoundNode->nPosition;
    SeekTo(st->stream.get(), st->nCursor, st->pFoundNode->nPosition);
    st->nSampleCounter = st->nFoundFrame;
    const uint32_t sampleSize = st->dwSampleSize ? st->dwSampleSize : st->nByteSampleSize;
    st->nBytePosition = st->nFoundSample * sampleSize;
    // The scan goes on inside the movi list that holds the node.
    if (st->pFoundNode->nPosition < r->nMoviEnd)
        st->nMoviEnd = r->nMoviEnd;
    else if (st->pFoundNode->nPosition >= st->nMoviEnd)
        st->nMoviEnd = r->nFileSize;
}

AviStream *Selected(AviReader *r, int32_t index)
{
    return index < 0 ? nullptr : r->streams[index];
}

// -- operations ---------------------------------------------------------------------------

void FreeStream(AviStream *st)
{
    if (!st)
        return;
    // The cursor goes before the clone closes with the stream record.
    if (st->stream && st->nCursor >= 0)
        st->stream->pOps->FreeCursor(st->stream->pInstance, st->nCursor);
    delete st;
}

void AviClose(void *instance)
{
    AviReader *r = Cast(instance);
    if (!r)
        return;
    for (uint32_t i = 0; i < r->nStreamCount; ++i)
        FreeStream(r->streams[i]);
    ByteStream *s = r->pStream;
    if (r->nIdx1Cursor >= 0)
        s->pOps->FreeCursor(s->pInstance, r->nIdx1Cursor);
    if (r->nMainCursor >= 0)
        s->pOps->FreeCursor(s->pInstance, r->nMainCursor);
    delete r;
}

int32_t AviOpen(ByteStream *stream, void **instance)
{
    *instance = nullptr;
    std::unique_ptr<AviReader, CloseWith<AviClose>> r(new (std::nothrow) AviReader{});
    if (!r)
        return VANTOR_E_OUT_OF_MEMORY;
    std::fill(std::begin(r->streamOfNumber), std::end(r->streamOfNumber), -1);
    r->pStream = stream;
    r->nFileSize = ByteStreamTotalSize(stream);
    r->nMainCursor = stream->pOps->NewCursor(stream->pInstance, 0);
    if (r->nMainCursor < 0)
        return r->nMainCursor;
    uint8_t head[12];
    if (r->nFileSize < 12 || SeekTo(stream, r->nMainCursor, 0) < 0 ||
        ReadExact(stream, r->nMainCursor, head, sizeof head) < 0 || Le32(head) != kRiff ||
        (Le32(head + 8) != kFormAvi && Le32(head + 8) != kFormAvix && Le32(head + 8) != kFormMenu))
        return VANTOR_E_STREAM_SYNTAX;
    r->bAvix = Le32(head + 8) == kFormAvix;
    *instance = r.release();
    return VANTOR_OK;
}

int32_t AviGetInfo(void *instance, MediaInfo *info)
{
    AviReader *r = Cast(instance);
    if (r->bParsed)
        return VANTOR_E_INVALID_ARG;
    r->bParsed = true;
    info->nMediaType = kAviMediaType;
    if (const int32_t result = AviParseHeaders(r, info); result < 0)
        return result;
    uint32_t duration = 0;
    uint32_t video = 0, audio = 0;
    for (uint32_t i = 0; i < r->nStreamCount; ++i) {
        AviStream *st = r->streams[i];
        st->nMoviEnd = r->nMoviEnd;
        if (r->bIndexComplete) {
            st->pCurrent = st->index.pHead.load(std::memory_order_relaxed);
        } else {
            st->nNextReadPosition = r->nMoviDataPosition;
            // Without a movi list there is nothing to scan.
            SeekTo(st->stream.get(), st->nCursor,
                   r->nMoviDataPosition ? r->nMoviDataPosition : r->nFileSize);
        }
        st->nDuration = AviTicksToMs(st->dwLength, st->dwScale, st->dwRate);
        duration = std::max(duration, st->nDuration);
        if (st->nKind == SAMPLE_KIND_VIDEO)
            info->video[video++].nDuration = st->nDuration;
        else
            info->audio[audio++].nDuration = st->nDuration;
    }
    info->nDuration = duration;
    info->nTextCount = 0;
    return VANTOR_OK;
}

// Index thread, without the source lock: scans on from the last indexed chunk and appends
// nodes; the reads meanwhile follow only nodes already linked. One call works for one slice, so
// that closing never waits on a whole file's scan.
int32_t AviMakeIndex(void *instance)
{
    AviReader *r = Cast(instance);
    if (r->bIndexComplete || r->nIdx1Position == 0 || r->nMoviDataPosition == 0)
        return VANTOR_E_END_OF_STREAM;
    ByteStream *s = r->pStream;
    if (!r->bScanStarted) {
        r->bScanStarted = true;
        // After the last chunk the cut idx1 named, so the idx1 itself is never read as chunks.
        int64_t start = r->nMoviDataPosition;
        for (uint32_t i = 0; i < r->nStreamCount; ++i) {
            const AviIndexNode *tail = r->streams[i]->index.pTail;
            if (tail)
                start =
                    std::max<int64_t>(start, tail->nPosition + 8 + tail->nSize + (tail->nSize & 1));
        }
        r->nScanMoviEnd = r->nMoviEnd;
        if (SeekTo(s, r->nMainCursor, std::min(start, r->nFileSize)) < 0)
            return VANTOR_E_END_OF_STREAM;
    }
    int64_t position = Tell(s, r->nMainCursor);
    if (position < 0)
        return VANTOR_E_END_OF_STREAM;
    const Deadline deadline = std::chrono::steady_clock::now() + kScanSlice;
    for (;;) {
        FoundChunk chunk{};
        const int32_t result = ScanForChunk(r, s, r->nMainCursor, &r->scanSpan, &position,
                                            &r->nScanMoviEnd, nullptr, deadline, &chunk);
        if (result < 0) {
            SeekTo(s, r->nMainCursor, std::min(position, r->nFileSize));
            return result == VANTOR_E_AGAIN ? VANTOR_E_NOT_YET : result;
        }
        if (const int32_t appended =
                AviAppendNode(&chunk.pOwner->index, kAviKeyFrame, chunk.nHeader, chunk.nSize);
            appended < 0)
            return appended;
        position = chunk.nHeader + 8 + chunk.nSize + (chunk.nSize & 1);
    }
}

int32_t AviReadSample(void *instance, SampleRequest *request)
{
    AviReader *r = Cast(instance);
    const int32_t index = request->nKind == SAMPLE_KIND_AUDIO   ? r->nSelectedAudio
                          : request->nKind == SAMPLE_KIND_VIDEO ? r->nSelectedVideo
                                                                : -1;
    AviStream *st = Selected(r, index);
    if (!st)
        return VANTOR_E_NO_STREAM;
    return ReadSampleOf(r, st, request);
}

// Finds the first stream's position, then the second's at the time the first found; moves
// video, then audio, only when every search succeeded. 1 on success, as the seeks answer.
int32_t FindAndCommit(AviReader *r, AviStream *first, AviStream *second, int32_t mode,
                      uint32_t *position)
{
    if (!first && !second)
        return 0;
    uint32_t time = *position;
    for (AviStream *st : {first, second}) {
        if (!st)
            continue;
        if (!FindPosition(st, time, mode))
            return 0;
        time = st->nFoundTime;
    }
    AviStream *video = Selected(r, r->nSelectedVideo);
    AviStream *audio = Selected(r, r->nSelectedAudio);
    if (video)
        CommitPosition(r, video);
    if (audio)
        CommitPosition(r, audio);
    *position = time;
    return 1;
}

// With precision the audio decides and video follows to the key frame at or before; without,
// video lands on the nearest key frame and audio follows.
int32_t AviSeek(void *instance, uint32_t *position, int32_t precise)
{
    AviReader *r = Cast(instance);
    AviStream *video = Selected(r, r->nSelectedVideo);
    AviStream *audio = Selected(r, r->nSelectedAudio);
    if (precise)
        return FindAndCommit(r, audio, video, SEEK_KEY_AT_OR_BEFORE, position);
    return FindAndCommit(r, video, audio, SEEK_NEAREST_KEY, position);
}

int32_t AviSeekToKeyFrame(void *instance, uint32_t *position, int32_t flag)
{
    AviReader *r = Cast(instance);
    return FindAndCommit(r, Selected(r, r->nSelectedVideo), Selected(r, r->nSelectedAudio),
                         flag ? SEEK_NEXT_KEY : SEEK_KEY_AT_OR_BEFORE, position);
}

} // namespace

uint32_t AviTicksToMs(uint64_t ticks, uint32_t dwScale, uint32_t dwRate)
{
    if (dwRate == 0)
        return 0;
    const unsigned __int128 ms = static_cast<unsigned __int128>(ticks) * dwScale * 1000 / dwRate;
    return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

const ReaderOps g_AviReaderOps = {
    .OpenOnStream = AviOpen,
    .OpenOnRequest = nullptr,
    .Close = AviClose,
    .GetInfo = AviGetInfo,
    .SetStartPosition = nullptr,
    .MakeIndex = AviMakeIndex,
    .ReadSample = AviReadSample,
    .Seek = AviSeek,
    .SeekToKeyFrame = AviSeekToKeyFrame,
    .BufferingReport = nullptr,
    .Control = nullptr,
};
