#include "engine/source/avi_chunk_scan.h"

#include <array>
#include <cstring>

#include "engine/core/fourcc.h"

namespace {

constexpr uint32_t kRiff = MakeFourcc("RIFF");
constexpr uint32_t kList = MakeFourcc("LIST");
constexpr uint32_t kMovi = MakeFourcc("movi");
constexpr uint32_t kJunk = MakeFourcc("JUNK");
constexpr uint32_t kIdx1 = MakeFourcc("idx1");

constexpr std::array<bool, 256> kIdChar = [] {
    std::array<bool, 256> table{};
    for (int c = '0'; c <= '9'; ++c)
        table[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = table[c + ('a' - 'A')] = true;
    return table;
}();

bool IsDigit(uint32_t c)
{
    return c >= '0' && c <= '9';
}

uint32_t Char(uint32_t id, int i)
{
    return (id >> (8 * i)) & 0xFF;
}

uint32_t Le32(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool IsSearchedId(uint32_t id)
{
    return AviIsStreamChunkId(id) || id == kJunk || id == kIdx1 || AviIsStdIndexId(id);
}

} // namespace

bool AviIsStreamChunkId(uint32_t id)
{
    return IsDigit(Char(id, 0)) && IsDigit(Char(id, 1)) && !IsDigit(Char(id, 2)) &&
           !IsDigit(Char(id, 3));
}

uint32_t AviStreamNumberOf(uint32_t id)
{
    return (Char(id, 0) - '0') * 10 + (Char(id, 1) - '0');
}

bool AviIsStdIndexId(uint32_t id)
{
    return Char(id, 0) == 'i' && Char(id, 1) == 'x';
}

AviScanHit AviFindChunkHeader(const uint8_t *span, size_t length, int64_t spanPosition, bool atEnd)
{
    AviScanHit hit;
    // A header that starts at i but needs bytes past the span is looked at again in the next.
    auto resumeAt = [&](size_t i) {
        hit.kind = AviScanHit::None;
        hit.nResume = spanPosition + static_cast<int64_t>(atEnd ? length : i);
        return hit;
    };
    size_t i = 0;
    while (i + 4 <= length) {
        // Zeros (a preallocated tail, JUNK) a word at a time, other non-id bytes one by one.
        uint64_t word;
        while (i + 8 <= length && (std::memcpy(&word, span + i, 8), word == 0))
            i += 8;
        if (i + 4 > length)
            break;
        if (!kIdChar[span[i]]) {
            ++i;
            continue;
        }
        size_t run = 1;
        while (run < 4 && i + run < length && kIdChar[span[i + run]])
            ++run;
        if (run < 4) {
            if (i + run >= length)
                break; // the id may go on in the next span
            i += run + 1;
            continue;
        }
        const uint32_t id = Le32(span + i);
        if (id == kRiff || id == kList) {
            if (i + 12 > length)
                return resumeAt(i);
            if (id == kList && Le32(span + i + 8) == kMovi) {
                hit.kind = AviScanHit::MoviList;
                hit.nPosition = spanPosition + static_cast<int64_t>(i);
                hit.nId = id;
                hit.nSize = Le32(span + i + 4);
                hit.nResume = hit.nPosition + 12;
                return hit;
            }
            i += 12;
            continue;
        }
        if (IsSearchedId(id)) {
            if (i + 8 > length)
                return resumeAt(i);
            hit.kind = AviScanHit::Chunk;
            hit.nPosition = spanPosition + static_cast<int64_t>(i);
            hit.nId = id;
            hit.nSize = Le32(span + i + 4);
            return hit;
        }
        ++i;
    }
    return resumeAt(i);
}
