#pragma once

// What the fuzz targets share: the memory block they hand the engine, and the drive of a
// reader's reads and seeks with the checks every reader must pass.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/reader_ops.h"

// A memory block of the file back-end: the 4-byte big-endian length, then head and data.
inline std::vector<uint8_t> MemoryBlock(const void *head, size_t headSize, const uint8_t *data,
                                        size_t size)
{
    const size_t length = headSize + size;
    std::vector<uint8_t> block(4 + length);
    block[0] = static_cast<uint8_t>(length >> 24);
    block[1] = static_cast<uint8_t>(length >> 16);
    block[2] = static_cast<uint8_t>(length >> 8);
    block[3] = static_cast<uint8_t>(length);
    if (headSize)
        std::memcpy(block.data() + 4, head, headSize);
    if (size)
        std::memcpy(block.data() + 4 + headSize, data, size);
    return block;
}

// Reads of one kind straight from the reader, retrying a too-small buffer as the probe does.
// A sample must fit the buffer and hold something; a size asked for must be larger than the
// buffer and no more than limit.
inline void ReadSome(const ReaderOps &ops, void *reader, int32_t kind, int maxReads, uint64_t limit)
{
    std::vector<uint8_t> buffer(64);
    for (int i = 0; i < maxReads; ++i) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        const int32_t result = ops.ReadSample(reader, &request);
        if (result == VANTOR_OK) {
            if (request.nLength > buffer.size() || request.nLength == 0)
                __builtin_trap(); // more than the buffer holds, or an empty sample
            continue;
        }
        if (result != VANTOR_E_BUFFER_TOO_SMALL)
            return;
        if (request.nBufferSize <= buffer.size() || request.nBufferSize > limit)
            __builtin_trap(); // asked for no more room, or for more than there can be
        buffer.resize(request.nBufferSize);
    }
}

// Seeks and key-frame seeks to the middle, the start, the end and beyond, each followed by reads.
inline void SeekAndRead(const ReaderOps &ops, void *reader, uint32_t duration, int maxReads,
                        uint64_t limit)
{
    for (uint32_t target : {duration / 2, 0u, duration, 0xFFFFFFFFu}) {
        uint32_t position = target;
        (void)ops.Seek(reader, &position, target & 1);
        ReadSome(ops, reader, SAMPLE_KIND_AUDIO, maxReads, limit);
        position = target;
        (void)ops.SeekToKeyFrame(reader, &position, target & 2);
        ReadSome(ops, reader, SAMPLE_KIND_VIDEO, maxReads, limit);
    }
}
