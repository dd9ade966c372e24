#pragma once

// Damaged copies of a clean AVI clip, the kinds a power cut or a full card leaves behind, with
// the samples each copy still holds whole. Long stretches of zeros are holes of a sparse file
// (ftruncate past the end), so a 5 GiB clip costs a few kilobytes of disk.

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace damaged_avi {

inline uint32_t Le32(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void PutLe32(std::vector<uint8_t> *bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t Fourcc(const char *code)
{
    return Le32(reinterpret_cast<const uint8_t *>(code));
}

struct Chunk
{
    size_t nHeader; // position of the chunk header in the clean file
    uint32_t nId;
    uint32_t nSize;
    bool bKey; // from the clean file's idx1
    uint32_t StreamNumber() const { return (nId & 0xFF) * 10 + ((nId >> 8) & 0xFF) - '0' * 11; }
};

// The clean clip taken apart: where its movi list and idx1 are, and every movi chunk.
struct CleanAvi
{
    std::vector<uint8_t> bytes;
    size_t nMoviSizeField = 0;
    size_t nMoviType = 0;
    size_t nIdx1 = 0;
    size_t nHdrl = 0; // the "LIST" of the header list
    std::vector<Chunk> chunks;

    std::vector<uint8_t> DataOf(const Chunk &c) const
    {
        return {bytes.begin() + c.nHeader + 8, bytes.begin() + c.nHeader + 8 + c.nSize};
    }
};

inline CleanAvi ParseClean(std::vector<uint8_t> bytes)
{
    CleanAvi clip;
    clip.bytes = std::move(bytes);
    const std::vector<uint8_t> &b = clip.bytes;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t id = Le32(&b[at]);
        const uint32_t size = Le32(&b[at + 4]);
        if (id == Fourcc("LIST") && Le32(&b[at + 8]) == Fourcc("hdrl"))
            clip.nHdrl = at;
        if (id == Fourcc("LIST") && Le32(&b[at + 8]) == Fourcc("movi")) {
            clip.nMoviSizeField = at + 4;
            clip.nMoviType = at + 8;
            for (size_t c = at + 12; c + 8 <= at + 8 + size;) {
                const uint32_t cs = Le32(&b[c + 4]);
                const bool media = b[c] >= '0' && b[c] <= '9' && b[c + 1] >= '0' &&
                                   b[c + 1] <= '9' && (b[c + 2] == 'd' || b[c + 2] == 'w');
                if (media)
                    clip.chunks.push_back({c, Le32(&b[c]), cs, false});
                c += 8 + cs + (cs & 1);
            }
        }
        if (id == Fourcc("idx1")) {
            clip.nIdx1 = at;
            for (size_t e = 0; e < size / 16 && e < clip.chunks.size(); ++e)
                clip.chunks[e].bKey = Le32(&b[at + 8 + e * 16 + 4]) & 0x10;
        }
        at += 8 + size + (size & 1);
    }
    if (!clip.nMoviType || !clip.nIdx1 || clip.chunks.empty() || !clip.nHdrl)
        throw std::runtime_error("not the clean AVI clip expected");
    return clip;
}

// A damaged file and the chunks of the clean clip it still holds whole, in file order.
struct DamagedClip
{
    std::vector<uint8_t> head; // written at 0
    struct Piece
    {
        uint64_t nAt;
        std::vector<uint8_t> bytes;
    };
    std::vector<Piece> pieces; // written further on, over the holes
    uint64_t nTotalSize = 0;   // the file is cut or extended (sparse) to this
    std::vector<Chunk> intact;

    void Write(const std::string &path) const
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot create " + path);
        bool ok = ::pwrite(fd, head.data(), head.size(), 0) == ssize_t(head.size());
        for (const Piece &p : pieces)
            ok = ok && ::pwrite(fd, p.bytes.data(), p.bytes.size(), off_t(p.nAt)) ==
                           ssize_t(p.bytes.size());
        ok = ok && ::ftruncate(fd, off_t(nTotalSize)) == 0;
        ::close(fd);
        if (!ok)
            throw std::runtime_error("cannot write " + path);
    }
};

// The clip as a recorder cut off before its index: no idx1, movi and RIFF sizes as given.
inline DamagedClip WithoutIdx1(const CleanAvi &clip, uint32_t moviSize)
{
    DamagedClip d;
    d.head.assign(clip.bytes.begin(), clip.bytes.begin() + clip.nIdx1);
    PutLe32(&d.head, clip.nMoviSizeField, moviSize);
    PutLe32(&d.head, 4, moviSize ? uint32_t(d.head.size() - 8) : 0);
    d.nTotalSize = d.head.size();
    d.intact = clip.chunks;
    return d;
}

// Power cut on a preallocated file: sizes never written, 200 MB of zeros after the last chunk.
inline DamagedClip ZeroTail(const CleanAvi &clip)
{
    DamagedClip d = WithoutIdx1(clip, 0);
    d.nTotalSize += 200u << 20;
    return d;
}

// The movi size of an earlier update: it ends at the middle chunk, the rest follows unnamed.
inline DamagedClip StaleMoviSize(const CleanAvi &clip)
{
    const Chunk &middle = clip.chunks[clip.chunks.size() / 2];
    return WithoutIdx1(clip, uint32_t(middle.nHeader - clip.nMoviType));
}

// The last video chunk half written: the file ends in the middle of its data.
inline DamagedClip ChunkCutInHalf(const CleanAvi &clip)
{
    DamagedClip d = WithoutIdx1(clip, uint32_t(clip.nIdx1 - clip.nMoviType));
    size_t last = clip.chunks.size() - 1;
    while (clip.chunks[last].StreamNumber() != 0)
        --last;
    const Chunk &cut = clip.chunks[last];
    d.head.resize(cut.nHeader + 8 + cut.nSize / 2);
    d.nTotalSize = d.head.size();
    d.intact.assign(clip.chunks.begin(), clip.chunks.begin() + long(last));
    return d;
}

// A whole idx1 whose second half names chunks past the end of the file.
inline DamagedClip Idx1PastTheEnd(const CleanAvi &clip)
{
    DamagedClip d;
    d.head = clip.bytes;
    const uint32_t entries = Le32(&d.head[clip.nIdx1 + 4]) / 16;
    for (uint32_t e = entries / 2; e < entries; ++e) {
        const size_t offset = clip.nIdx1 + 8 + size_t{e} * 16 + 8;
        PutLe32(&d.head, offset, Le32(&d.head[offset]) + 0x40000000u);
    }
    d.nTotalSize = d.head.size();
    d.intact = clip.chunks;
    return d;
}

// One video chunk in the middle claims 32 MB (no idx1 to say otherwise); only it is lost.
inline DamagedClip HugeChunkSizeInTheMiddle(const CleanAvi &clip)
{
    DamagedClip d = WithoutIdx1(clip, uint32_t(clip.nIdx1 - clip.nMoviType));
    size_t bad = clip.chunks.size() / 2;
    while (clip.chunks[bad].StreamNumber() != 0)
        ++bad;
    PutLe32(&d.head, clip.chunks[bad].nHeader + 4, 32u << 20);
    d.intact.erase(d.intact.begin() + long(bad));
    return d;
}

// The same chunks as an OpenDML clip of 5 GiB: a first RIFF "AVI " that ends at 4 GiB holds
// the first half, a second RIFF "AVIX" starting there holds the rest after a gigabyte of JUNK,
// so its chunks and standard index lie past 4 GiB. Each stream's super index names its two
// standard indexes.
constexpr uint64_t kGiB = uint64_t{1} << 30;

inline DamagedClip OpenDml5GiB(const CleanAvi &clip)
{
    struct Bytes
    {
        std::vector<uint8_t> b;
        Bytes &U8(uint8_t v)
        {
            b.push_back(v);
            return *this;
        }
        Bytes &U16(uint32_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
        Bytes &U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
        Bytes &U64(uint64_t v) { return U32(uint32_t(v)).U32(uint32_t(v >> 32)); }
        Bytes &Id(const char *c) { return U32(Fourcc(c)); }
        Bytes &Raw(const uint8_t *p, size_t n)
        {
            b.insert(b.end(), p, p + n);
            return *this;
        }
        void Patch(size_t at, uint32_t v) { PutLe32(&b, at, v); }
    };
    const std::vector<uint8_t> &src = clip.bytes;
    const size_t half = clip.chunks.size() / 2;
    const uint32_t streams = 2;

    // The movi lists and their standard indexes (positions known once the lists are placed).
    auto movi = [&](size_t from, size_t to, uint64_t listAt, Bytes *out,
                    std::vector<uint64_t> *indexAt) {
        out->Id("LIST").U32(0).Id("movi");
        std::vector<std::vector<std::pair<uint32_t, uint32_t>>> entries(streams);
        for (size_t i = from; i < to; ++i) {
            const Chunk &c = clip.chunks[i];
            const uint64_t header = listAt + out->b.size();
            out->Raw(&src[c.nHeader], 8 + c.nSize);
            if (c.nSize & 1)
                out->U8(0);
            entries[c.StreamNumber()].push_back(
                {uint32_t(header + 8 - listAt), c.nSize | (c.bKey ? 0 : 0x80000000u)});
        }
        for (uint32_t s = 0; s < streams; ++s) {
            indexAt->push_back(listAt + out->b.size());
            const char id[5] = {'i', 'x', '0', char('0' + s), 0};
            const char chunkId[5] = {'0', char('0' + s), s == 0 ? 'd' : 'w', s == 0 ? 'c' : 'b', 0};
            out->Id(id).U32(24 + 8 * uint32_t(entries[s].size()));
            out->U16(2).U8(0).U8(1).U32(uint32_t(entries[s].size())).Id(chunkId);
            out->U64(listAt).U32(0);
            for (auto [offset, size] : entries[s])
                out->U32(offset).U32(size);
        }
        out->Patch(4, uint32_t(out->b.size() - 8));
    };

    Bytes head;
    head.Id("RIFF").U32(0xFFFFFFF8u).Id("AVI ");
    head.Id("LIST").U32(0).Id("hdrl");
    // avih and each strl's strh and strf from the clean file; then the super index.
    std::vector<size_t> superAt;
    const uint32_t hdrlSize = Le32(&src[clip.nHdrl + 4]);
    for (size_t at = clip.nHdrl + 12; at + 8 <= clip.nHdrl + 8 + hdrlSize;) {
        const uint32_t id = Le32(&src[at]);
        const uint32_t size = Le32(&src[at + 4]);
        if (id == Fourcc("avih")) {
            head.Raw(&src[at], 8 + size);
        } else if (id == Fourcc("LIST") && Le32(&src[at + 8]) == Fourcc("strl")) {
            const size_t strl = head.b.size();
            head.Id("LIST").U32(0).Id("strl");
            for (size_t in = at + 12; in + 8 <= at + 8 + size;) {
                const uint32_t inId = Le32(&src[in]);
                const uint32_t inSize = Le32(&src[in + 4]);
                if (inId == Fourcc("strh") || inId == Fourcc("strf")) {
                    head.Raw(&src[in], 8 + inSize);
                    if (inSize & 1)
                        head.U8(0);
                }
                in += 8 + inSize + (inSize & 1);
            }
            const uint32_t s = uint32_t(superAt.size());
            const char chunkId[5] = {'0', char('0' + s), s == 0 ? 'd' : 'w', s == 0 ? 'c' : 'b', 0};
            head.Id("indx")
                .U32(24 + 2 * 16)
                .U16(4)
                .U8(0)
                .U8(0)
                .U32(2)
                .Id(chunkId)
                .U32(0)
                .U32(0)
                .U32(0);
            superAt.push_back(head.b.size());
            head.b.resize(head.b.size() + 2 * 16);
            head.Patch(strl + 4, uint32_t(head.b.size() - strl - 8));
        }
        at += 8 + size + (size & 1);
    }
    head.Patch(16, uint32_t(head.b.size() - 20));

    std::vector<uint64_t> firstIndex, secondIndex;
    Bytes firstMovi;
    const uint64_t firstMoviAt = head.b.size();
    movi(0, half, firstMoviAt, &firstMovi, &firstIndex);
    head.Raw(firstMovi.b.data(), firstMovi.b.size());
    // JUNK to the end of the first RIFF, at 4 GiB.
    const uint64_t riffEnd = 8 + uint64_t{0xFFFFFFF8u};
    head.Id("JUNK").U32(uint32_t(riffEnd - head.b.size() - 8));

    Bytes second;
    second.Id("RIFF").U32(0).Id("AVIX").Id("JUNK").U32(uint32_t(kGiB));
    const uint64_t secondMoviAt = riffEnd + second.b.size() + kGiB;
    Bytes secondMovi;
    movi(half, clip.chunks.size(), secondMoviAt, &secondMovi, &secondIndex);
    second.Patch(4, uint32_t(kGiB + 12 + secondMovi.b.size()));

    for (uint32_t s = 0; s < streams; ++s) {
        const uint64_t at[2] = {firstIndex[s], secondIndex[s]};
        for (int k = 0; k < 2; ++k) {
            Bytes e;
            e.U64(at[k]).U32(0).U32(0);
            std::memcpy(&head.b[superAt[s] + size_t(k) * 16], e.b.data(), 16);
        }
    }

    DamagedClip d;
    d.head = std::move(head.b);
    d.pieces.push_back({riffEnd, std::move(second.b)});
    d.pieces.push_back({secondMoviAt, std::move(secondMovi.b)});
    d.nTotalSize = secondMoviAt + d.pieces.back().bytes.size();
    d.intact = clip.chunks;
    return d;
}

} // namespace damaged_avi
