#pragma once

// Helpers the AVI reader's files share: little-endian fields, exact reads on a cursor, chunk
// id kinds.

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "engine/source/avi_reader.h"
#include "engine/source/byte_stream.h"

namespace avi {

constexpr uint32_t kRiff = MakeFourcc("RIFF");
constexpr uint32_t kFormAvi = MakeFourcc("AVI ");
constexpr uint32_t kFormAvix = MakeFourcc("AVIX");
constexpr uint32_t kFormMenu = MakeFourcc("MENU");
constexpr uint32_t kIdx1 = MakeFourcc("idx1");

inline int64_t Tell(ByteStream *s, int32_t cursor)
{
    return s->pOps->Tell(s->pInstance, cursor);
}

inline int32_t SeekTo(ByteStream *s, int32_t cursor, int64_t position)
{
    return s->pOps->Seek(s->pInstance, cursor, position);
}

inline int64_t Available(ByteStream *s)
{
    return ByteStreamAvailableSize(s);
}

// Exactly count bytes, or the stream's code (a short read is a read failure).
inline int32_t ReadExact(ByteStream *s, int32_t cursor, void *destination, uint32_t count)
{
    uint8_t *out = static_cast<uint8_t *>(destination);
    while (count) {
        const int32_t got = s->pOps->CursorRead(s->pInstance, cursor, out, count);
        if (got < 0)
            return got;
        if (got == 0)
            return VANTOR_E_READ;
        out += got;
        count -= static_cast<uint32_t>(got);
    }
    return VANTOR_OK;
}

inline int32_t ReadAt(ByteStream *s, int32_t cursor, int64_t at, void *destination, uint32_t count)
{
    const int32_t result = SeekTo(s, cursor, at);
    return result < 0 ? result : ReadExact(s, cursor, destination, count);
}

inline uint32_t Le16(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8;
}

inline uint32_t Le32(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint64_t Le64(const uint8_t *p)
{
    return Le32(p) | uint64_t{Le32(p + 4)} << 32;
}

inline uint32_t TypeOf(uint32_t id)
{
    return id >> 16;
}

constexpr uint32_t TwoCc(const char (&code)[3])
{
    return static_cast<uint8_t>(code[0]) | static_cast<uint32_t>(static_cast<uint8_t>(code[1]))
                                               << 8;
}

inline bool IsMediaType(uint32_t type)
{
    return type == TwoCc("wb") || type == TwoCc("db") || type == TwoCc("dc");
}

inline uint32_t Saturate32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

inline AviStream *StreamOfNumber(AviReader *r, uint32_t number)
{
    if (number >= std::size(r->streamOfNumber) || r->streamOfNumber[number] < 0)
        return nullptr;
    return r->streams[r->streamOfNumber[number]];
}

} // namespace avi
