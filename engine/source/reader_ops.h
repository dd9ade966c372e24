#pragma once

#include <cstdint>

#include "engine/source/byte_stream.h"
#include "engine/source/media_info.h"

// What the player asks a source to open. The source keeps no pointer into it.
struct SourceOpenRequest
{
    const wchar_t *szLocator;            // path or URL; with a non-zero stream argument and no
                                         // alternative locator, the address of a memory block
    const wchar_t *szAlternativeLocator; // or null: the stream comes from here, the name rules
                                         // still look at the locator
    uintptr_t nStreamArgument;           // in: 0 for files, a block's capacity; out: total size
    int32_t nFormatHint;                 // out: 337 EVRC, 336 QCELP, 0 none
};

// One container reader. Every operation runs under the source lock except MakeIndex, which the
// index thread calls without it. Results are 0 or a negative engine code unless stated; an
// absent optional operation is null and callers skip it.
struct ReaderOps
{
    // Checks the signature and creates the instance; the stream stays the source's.
    int32_t (*OpenOnStream)(ByteStream *stream, void **instance);
    // For readers that need no byte stream (network sessions).
    int32_t (*OpenOnRequest)(SourceOpenRequest *request, void **instance);
    // Frees everything the reader owns, its cloned streams included.
    void (*Close)(void *instance);
    int32_t (*GetInfo)(void *instance, MediaInfo *info);
    // Optional: moves every stream to the position (ms, in/out).
    int32_t (*SetStartPosition)(void *instance, uint32_t *position);
    // Optional, index thread: 0x80000054 when done, 0x80000053 to be called again later.
    int32_t (*MakeIndex)(void *instance);
    // 0, 0x80000051 with request->nBufferSize set to the size needed, 0x80000053 not yet,
    // 0x80000054 at the end, other negative codes on failure.
    int32_t (*ReadSample)(void *instance, SampleRequest *request);
    // Returns 1 when the streams moved (position written back), 0 on failure.
    int32_t (*Seek)(void *instance, uint32_t *position, int32_t precise);
    // Optional: as Seek, landing on key frames.
    int32_t (*SeekToKeyFrame)(void *instance, uint32_t *position, int32_t flag);
    // Optional: buffer fill %, download % and three further words.
    int32_t (*BufferingReport)(void *instance, uint32_t report[5]);
    // Optional: 1 playback stops, 2 resumes, 3 pauses.
    int32_t (*Control)(void *instance, int32_t code);
};
