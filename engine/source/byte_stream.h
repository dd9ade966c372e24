#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/free_with.h"

// Operations of one byte-stream back-end, in the order every back-end provides them. Results are
// 0 or a negative engine code unless stated. A stream is used by one thread at a time (the
// source lock, or a reader's own clone), so back-ends take no lock of their own.
struct ByteStreamOps
{
    // Opens the resource; the new instance is owned by the caller and freed with Close.
    int32_t (*Open)(const wchar_t *locator, uintptr_t streamArgument, void **instance);
    // A second independent instance on the same resource, freed with Close.
    int32_t (*Clone)(void *instance, void **clone);
    void (*Close)(void *instance);
    // A cursor number (>= 0) or a negative code; bufferSize 0 means no read-ahead buffer.
    int32_t (*NewCursor)(void *instance, uint32_t bufferSize);
    void (*FreeCursor)(void *instance, int32_t cursor);
    int64_t (*TotalSize)(void *instance);
    // Optional: bytes available so far; null means everything is (the total size).
    int64_t (*AvailableSize)(void *instance);
    // Bytes read (>= 0) or a negative code.
    int32_t (*CursorRead)(void *instance, int32_t cursor, void *destination, uint32_t count);
    // Optional: reads headCount bytes into head and the bytes after them into body, in one
    // request where the back-end can, so a caller never moves data down over a header it read
    // with it. Bytes read in all (short only at the end of the stream) or a negative code.
    int32_t (*CursorReadSplit)(void *instance, int32_t cursor, void *head, uint32_t headCount,
                               void *body, uint32_t bodyCount);
    // Bytes written (>= 0) or a negative code.
    int32_t (*CursorWrite)(void *instance, int32_t cursor, const void *source, uint32_t count);
    int32_t (*Skip)(void *instance, int32_t cursor, int64_t offset);
    int32_t (*Seek)(void *instance, int32_t cursor, int64_t position);
    int32_t (*SeekFromEnd)(void *instance, int32_t cursor, int64_t offset);
    // The cursor's position, or a negative code.
    int64_t (*Tell)(void *instance, int32_t cursor);
    // Reading from a position of the stream's own that starts at 0; bytes read or a code.
    int32_t (*SequentialRead)(void *instance, void *destination, uint32_t count);
    int32_t (*SequentialSkip)(void *instance, int64_t offset);
    int64_t (*SequentialPosition)(void *instance);
    int32_t (*SequentialRewind)(void *instance);
};

// For back-ends: whether a skip of offset from here stays inside a stream of size bytes.
inline bool SkipStaysInside(int64_t here, int64_t offset, int64_t size)
{
    return offset > 0 ? offset <= size - here : offset >= -here;
}

struct ByteStream
{
    void *pInstance;
    uint8_t byScratch[8]; // integer reads land here
    int32_t nLastError;   // set by the integer reads when they fail; cleared only by callers
    const ByteStreamOps *pOps;
};

// Opens a byte stream, choosing the back-end by the locator's prefix: "http://" and "httpm://"
// use the network back-end (http_back_end.h); any other locator is a local file, or a memory
// block when streamArgument is non-zero (see file_back_end.h).
int32_t ByteStreamOpen(const wchar_t *locator, uintptr_t streamArgument, ByteStream **stream);
// Opens a stream on an explicit back-end; used by the opener above and by tests.
int32_t ByteStreamOpenWith(const ByteStreamOps *ops, const wchar_t *locator,
                           uintptr_t streamArgument, ByteStream **stream);
int32_t ByteStreamClone(ByteStream *stream, ByteStream **clone);
// Closes the back-end and frees the stream; null is ignored.
void ByteStreamClose(ByteStream *stream);
using ByteStreamPtr = std::unique_ptr<ByteStream, CloseWith<ByteStreamClose>>;

int64_t ByteStreamTotalSize(ByteStream *stream);
int64_t ByteStreamAvailableSize(ByteStream *stream);

// Integer reads at a cursor. On failure (a short read counts) they return 0 and leave the code
// in stream->nLastError, which they never clear: check it once after a group of reads.
uint32_t ByteStreamRead8(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadBE16(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadBE24(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadBE32(ByteStream *stream, int32_t cursor);
uint64_t ByteStreamReadBE64(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadLE16(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadLE24(ByteStream *stream, int32_t cursor);
uint32_t ByteStreamReadLE32(ByteStream *stream, int32_t cursor);
uint64_t ByteStreamReadLE64(ByteStream *stream, int32_t cursor);
