#pragma once

#include <cstddef>
#include <cstdint>

// The search for chunk headers in an AVI file without a usable index, as a pure function over
// one span of bytes read from the file. The reader reads the spans, bounds the search and
// decides what a header found is worth; nothing here reads, allocates or keeps state.

// What one span held.
struct AviScanHit
{
    enum Kind
    {
        None,     // no header starts in the span before nResume
        Chunk,    // nId, nSize: a header with a chunk id of the kinds below
        MoviList, // a "LIST" of type "movi"; nSize is the list size
    };
    Kind kind = None;
    int64_t nPosition = 0; // of the header ("LIST" for a movi list)
    uint32_t nId = 0;
    uint32_t nSize = 0;
    // None: where the next span starts (a header cut by the span's end starts there again).
    // MoviList: just after the list type, where the chunks start.
    int64_t nResume = 0;
};

// Searches span[0..length), which lies at spanPosition in the file, for the first header whose
// id is four letters or digits and is two digits and two non-digits (a stream chunk), "JUNK",
// "idx1" or "ix" and a stream number (a standard index), with its 4-byte size in the span too.
// "RIFF" and "LIST" headers are stepped over with their form or list type, a "LIST movi" reported.
// Runs of zeros and other non-id bytes are passed in one step. atEnd: the span reaches the end of
// what may be searched, so a header cut by it is not waited for.
AviScanHit AviFindChunkHeader(const uint8_t *span, size_t length, int64_t spanPosition, bool atEnd);

// "NNxx": two digits, two non-digits.
bool AviIsStreamChunkId(uint32_t id);
uint32_t AviStreamNumberOf(uint32_t id);
// "ix" and the stream number: a standard index chunk.
bool AviIsStdIndexId(uint32_t id);
