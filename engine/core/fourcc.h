#pragma once

#include <cstdint>
#include <string>

// The engine keeps a four-character code as its characters lie in memory, first character in
// the lowest byte (as AVI stores it and libavcodec's codec tags expect). Readers of big-endian
// containers turn the word they read around.
constexpr uint32_t MakeFourcc(const char (&code)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
}

// A code read as a big-endian word ("XVID" gives 0x58564944) in the engine's order.
constexpr uint32_t FourccFromBigEndianWord(uint32_t word)
{
    return (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
}

// The code with its ASCII letters a-z upper-cased, the form the decoder tables are keyed by.
constexpr uint32_t FourccUpperCase(uint32_t fourcc)
{
    uint32_t upper = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t c = (fourcc >> shift) & 0xFF;
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        upper |= c << shift;
    }
    return upper;
}
static_assert(FourccUpperCase(MakeFourcc("avc1")) == MakeFourcc("AVC1"));

// The four characters, for messages and the probe's output.
inline std::string FourccText(uint32_t fourcc)
{
    std::string text;
    for (int shift = 0; shift < 32; shift += 8)
        text += static_cast<char>((fourcc >> shift) & 0xFF);
    return text;
}
