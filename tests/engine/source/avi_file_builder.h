#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Small RIFF AVI files laid out by hand, every number little-endian as AVI stores it.
struct AviBytes
{
    std::vector<uint8_t> bytes;

    AviBytes &Id(const char *code)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(code[i]));
        return *this;
    }
    AviBytes &U16(uint32_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    AviBytes &U32(uint32_t v)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(v >> shift));
        return *this;
    }
    AviBytes &U64(uint64_t v)
    {
        return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32));
    }
    AviBytes &Fill(size_t count, uint8_t value = 0)
    {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
    AviBytes &Append(const std::vector<uint8_t> &more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    size_t Size() const { return bytes.size(); }
    void PatchU32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    // A chunk with its pad byte.
    AviBytes &Chunk(const char *id, const std::vector<uint8_t> &data)
    {
        Id(id).U32(static_cast<uint32_t>(data.size())).Append(data);
        if (data.size() & 1)
            bytes.push_back(0);
        return *this;
    }
};

struct AviTestStream
{
    const char *fccType; // "vids", "auds", "txts"
    const char *fccHandler;
    uint32_t dwScale, dwRate, dwStart, dwLength, dwSuggestedBufferSize, dwSampleSize;
    std::vector<uint8_t> format;     // the strf data
    std::vector<uint8_t> superIndex; // an "indx" chunk's data, or empty
};

struct AviTestChunk
{
    uint32_t nStream;
    const char *type; // "dc", "wb", "tx"
    uint32_t nSize;
    bool bKey;
};

inline std::vector<uint8_t> BitmapHeader(uint32_t width, uint32_t height, const char *fourcc,
                                         uint32_t extra = 0)
{
    AviBytes b;
    b.U32(40).U32(width).U32(height).U16(1).U16(24).Id(fourcc).U32(width * height * 3);
    b.Fill(16).Fill(extra, 0xEE);
    return b.bytes;
}

inline std::vector<uint8_t> WaveFormat(uint32_t tag, uint32_t channels, uint32_t rate,
                                       uint32_t bits, uint32_t extra = 0)
{
    AviBytes b;
    const uint32_t align = channels * bits / 8;
    b.U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits).U16(extra);
    b.Fill(extra, 0xAA);
    return b.bytes;
}

struct AviLayout
{
    uint32_t dwMicroSecPerFrame = 40000;
    std::vector<AviTestStream> streams;
    std::vector<AviTestChunk> chunks;
    bool bIdx1 = true;
    int64_t nIdx1OffsetBias = 0; // added to every idx1 offset
};

// Where the builder put things.
struct AviBuilt
{
    std::vector<uint8_t> bytes;
    size_t nMoviType = 0;             // the "movi" fourcc
    std::vector<size_t> chunkHeaders; // of every movi chunk, in order
    size_t nIdx1 = 0;                 // the idx1 header, 0 without one
};

// Chunk data is a counter pattern so that a misplaced read shows.
inline AviBuilt BuildAvi(const AviLayout &layout)
{
    AviBuilt built;
    AviBytes b;
    b.Id("RIFF").U32(0).Id("AVI ");
    b.Id("LIST");
    const size_t hdrlSize = b.Size();
    b.U32(0).Id("hdrl");
    b.Id("avih").U32(56).U32(layout.dwMicroSecPerFrame).Fill(52);
    for (const AviTestStream &s : layout.streams) {
        b.Id("LIST");
        const size_t strlSize = b.Size();
        b.U32(0).Id("strl");
        b.Id("strh").U32(56).Id(s.fccType).Id(s.fccHandler).U32(0).U16(0).U16(0).U32(0);
        b.U32(s.dwScale).U32(s.dwRate).U32(s.dwStart).U32(s.dwLength);
        b.U32(s.dwSuggestedBufferSize).U32(0).U32(s.dwSampleSize).Fill(8);
        b.Chunk("strf", s.format);
        if (!s.superIndex.empty())
            b.Chunk("indx", s.superIndex);
        b.PatchU32(strlSize, static_cast<uint32_t>(b.Size() - strlSize - 4));
    }
    b.PatchU32(hdrlSize, static_cast<uint32_t>(b.Size() - hdrlSize - 4));
    b.Id("LIST");
    const size_t moviSize = b.Size();
    b.U32(0);
    built.nMoviType = b.Size();
    b.Id("movi");
    uint8_t counter = 1;
    for (const AviTestChunk &c : layout.chunks) {
        built.chunkHeaders.push_back(b.Size());
        char id[5] = {static_cast<char>('0' + c.nStream / 10),
                      static_cast<char>('0' + c.nStream % 10), c.type[0], c.type[1], 0};
        std::vector<uint8_t> data(c.nSize);
        for (uint8_t &x : data)
            x = counter++;
        b.Chunk(id, data);
    }
    b.PatchU32(moviSize, static_cast<uint32_t>(b.Size() - moviSize - 4));
    if (layout.bIdx1) {
        built.nIdx1 = b.Size();
        b.Id("idx1").U32(static_cast<uint32_t>(16 * layout.chunks.size()));
        for (size_t i = 0; i < layout.chunks.size(); ++i) {
            const AviTestChunk &c = layout.chunks[i];
            char id[5] = {static_cast<char>('0' + c.nStream / 10),
                          static_cast<char>('0' + c.nStream % 10), c.type[0], c.type[1], 0};
            b.Id(id).U32(c.bKey ? 0x10 : 0);
            b.U32(static_cast<uint32_t>(built.chunkHeaders[i] - built.nMoviType +
                                        layout.nIdx1OffsetBias));
            b.U32(c.nSize);
        }
    }
    b.PatchU32(4, static_cast<uint32_t>(b.Size() - 8));
    built.bytes = std::move(b.bytes);
    return built;
}

inline AviTestStream VideoStream(uint32_t scale, uint32_t rate, uint32_t length,
                                 const char *fourcc = "MJPG")
{
    return {"vids", fourcc, scale, rate, 0, length, 0, 0, BitmapHeader(64, 48, fourcc), {}};
}

inline AviTestStream PcmStream(uint32_t rate, uint32_t length)
{
    // 16-bit stereo: 4-byte samples, counted in samples at the sample rate.
    return {"auds", "\1\0\0\0", 1, rate, 0, length, 0, 4, WaveFormat(1, 2, rate, 16), {}};
}

// An OpenDML file: 25 fps video (chunks of 10 + i % 7 bytes, a key frame every third) and
// 8 kHz 16-bit stereo PCM (1280 bytes a frame), no idx1. Each stream's super index names a
// standard index chunk at the end of the file; the video one claims claimedEntries entries.
inline std::vector<uint8_t> OpenDmlTestClip(uint32_t frames, uint32_t claimedEntries = 0)
{
    AviLayout layout;
    layout.bIdx1 = false;
    AviBytes super;
    super.U16(4).bytes.insert(super.bytes.end(), {0, 0}); // sub type 0, index of indexes
    super.U32(1).Id("00dc").Fill(12).U64(0).U32(0).U32(frames);
    AviTestStream video = VideoStream(1, 25, frames);
    video.superIndex = super.bytes;
    AviTestStream audio = PcmStream(8000, frames * 320);
    super.bytes[8] = '0';
    super.bytes[9] = '1';
    super.bytes[10] = 'w';
    super.bytes[11] = 'b';
    audio.superIndex = super.bytes;
    layout.streams = {video, audio};
    for (uint32_t i = 0; i < frames; ++i) {
        layout.chunks.push_back({0, "dc", 10 + i % 7, i % 3 == 0});
        layout.chunks.push_back({1, "wb", 1280, true});
    }
    AviBuilt built = BuildAvi(layout);
    AviBytes tail;
    tail.bytes = std::move(built.bytes);
    for (uint32_t stream = 0; stream < 2; ++stream) {
        const size_t ixAt = tail.Size();
        // The super entry's qwOffset, in this stream's "indx" chunk.
        size_t found = 0;
        for (size_t i = 0, seen = 0; i + 4 < ixAt; ++i) {
            if (std::equal(tail.bytes.begin() + i, tail.bytes.begin() + i + 4, "indx") &&
                seen++ == stream)
                found = i;
        }
        tail.PatchU32(found + 8 + 24, static_cast<uint32_t>(ixAt));
        tail.Id(stream ? "ix01" : "ix00").U32(24 + frames * 8).U16(2);
        tail.bytes.insert(tail.bytes.end(), {0, 1}); // sub type 0, index of chunks
        tail.U32(stream == 0 && claimedEntries ? claimedEntries : frames);
        tail.Id(stream ? "01wb" : "00dc").U64(0).U32(0);
        for (uint32_t i = 0; i < frames; ++i) {
            const AviTestChunk &c = layout.chunks[2 * i + stream];
            tail.U32(static_cast<uint32_t>(built.chunkHeaders[2 * i + stream] + 8));
            tail.U32(c.nSize | (c.bKey ? 0 : 0x80000000u));
        }
    }
    tail.PatchU32(4, static_cast<uint32_t>(tail.Size() - 8));
    return tail.bytes;
}
