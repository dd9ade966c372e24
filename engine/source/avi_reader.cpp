#include "engine/source/avi_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "engine/core/fourcc.h"

namespace {

constexpr uint32_t kRiff = MakeFourcc("RIFF");
constexpr uint32_t kList = MakeFourcc("LIST");
constexpr uint32_t kFormAvi = MakeFourcc("AVI ");
constexpr uint32_t kFormAvix = MakeFourcc("AVIX");
constexpr uint32_t kFormMenu = MakeFourcc("MENU");
constexpr uint32_t kHdrl = MakeFourcc("hdrl");
constexpr uint32_t kDmnu = MakeFourcc("DMNU");
constexpr uint32_t kStrl = MakeFourcc("strl");
constexpr uint32_t kMovi = MakeFourcc("movi");
constexpr uint32_t kAvih = MakeFourcc("avih");
constexpr uint32_t kStrh = MakeFourcc("strh");
constexpr uint32_t kStrf = MakeFourcc("strf");
constexpr uint32_t kIndx = MakeFourcc("indx");
constexpr uint32_t kIdx1 = MakeFourcc("idx1");
constexpr uint32_t kJunk = MakeFourcc("JUNK");
constexpr uint32_t kMenuChunk = MakeFourcc("MENU");
constexpr uint32_t kVids = MakeFourcc("vids");
constexpr uint32_t kAuds = MakeFourcc("auds");
constexpr uint32_t kXvid = MakeFourcc("XVID");
constexpr uint32_t kDxsb = MakeFourcc("DXSB");

constexpr uint32_t kIdx1ReadAhead = 4096;
constexpr uint32_t kStdIndexBatch = 10000;
constexpr uint32_t kMaxVideoSample = 1048576;
constexpr uint32_t kMaxAudioSample = 8192;
constexpr uint32_t kStreamHeaderSize = 48;
constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint32_t kWaveFormatSize = 16;
constexpr uint32_t kNodeBlock = 4096;
// The index thread works at full speed this long in one call, then yields after each chunk,
// and hands back after the slice so that closing never waits on a whole file's scan.
constexpr auto kIndexFullSpeed = std::chrono::milliseconds(100);
constexpr auto kIndexSlice = std::chrono::milliseconds(1000);

AviReader *Cast(void *instance)
{
    return static_cast<AviReader *>(instance);
}

// -- byte stream helpers ------------------------------------------------------------------

int64_t Tell(ByteStream *s, int32_t cursor)
{
    return s->pOps->Tell(s->pInstance, cursor);
}

int32_t SeekTo(ByteStream *s, int32_t cursor, int64_t position)
{
    return s->pOps->Seek(s->pInstance, cursor, position);
}

int64_t Available(ByteStream *s)
{
    return ByteStreamAvailableSize(s);
}

// Exactly count bytes, or the stream's code (a short read is a read failure).
int32_t ReadExact(ByteStream *s, int32_t cursor, void *destination, uint32_t count)
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

uint32_t Le16(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8;
}

uint32_t Le32(const uint8_t *p)
{
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t Le64(const uint8_t *p)
{
    return Le32(p) | uint64_t{Le32(p + 4)} << 32;
}

// -- chunk ids ----------------------------------------------------------------------------

bool IsDigit(uint32_t c)
{
    return c >= '0' && c <= '9';
}

bool IsAlnum(uint32_t c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

uint32_t Char(uint32_t id, int i)
{
    return (id >> (8 * i)) & 0xFF;
}

// "NNxx": two digits, two non-digits.
bool IsStreamChunkId(uint32_t id)
{
    return IsDigit(Char(id, 0)) && IsDigit(Char(id, 1)) && !IsDigit(Char(id, 2)) &&
           !IsDigit(Char(id, 3));
}

uint32_t StreamNumberOf(uint32_t id)
{
    return (Char(id, 0) - '0') * 10 + (Char(id, 1) - '0');
}

uint32_t TypeOf(uint32_t id)
{
    return id >> 16;
}

constexpr uint32_t TwoCc(const char (&code)[3])
{
    return static_cast<uint8_t>(code[0]) | static_cast<uint32_t>(static_cast<uint8_t>(code[1]))
                                                << 8;
}

bool IsMediaType(uint32_t type)
{
    return type == TwoCc("wb") || type == TwoCc("db") || type == TwoCc("dc");
}

bool IsStdIndexId(uint32_t id)
{
    return Char(id, 0) == 'i' && Char(id, 1) == 'x';
}

uint32_t Saturate32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// -- index lists --------------------------------------------------------------------------

// Appends at the tail; a position not after the tail's is dropped, which keeps the list in
// file order whatever an index claims. The node is complete before it is linked.
int32_t AppendNode(AviStream *s, uint32_t flags, int64_t position, uint32_t size)
{
    AviIndexList &list = s->index;
    if (position < 0 || position > UINT32_MAX)
        return VANTOR_OK;
    if (list.pTail && static_cast<uint32_t>(position) <= list.pTail->nPosition)
        return VANTOR_OK;
    if (list.blocks.empty() || list.nBlockUsed == kNodeBlock) {
        std::unique_ptr<AviIndexNode[]> block(new (std::nothrow) AviIndexNode[kNodeBlock]);
        if (!block)
            return VANTOR_E_OUT_OF_MEMORY;
        try {
            list.blocks.push_back(std::move(block));
        } catch (const std::bad_alloc &) {
            return VANTOR_E_OUT_OF_MEMORY;
        }
        list.nBlockUsed = 0;
    }
    AviIndexNode *node = &list.blocks.back()[list.nBlockUsed++];
    node->nFlags = flags;
    node->nPosition = static_cast<uint32_t>(position);
    node->nSize = size;
    node->pNext.store(nullptr, std::memory_order_relaxed);
    if (list.pTail)
        list.pTail->pNext.store(node, std::memory_order_release);
    else
        list.pHead.store(node, std::memory_order_release);
    list.pTail = node;
    list.nTotalBytes.store(list.nTotalBytes.load(std::memory_order_relaxed) + size,
                           std::memory_order_relaxed);
    list.nCount.store(list.nCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return VANTOR_OK;
}

AviStream *StreamOfNumber(AviReader *r, uint32_t number)
{
    if (number >= std::size(r->streamOfNumber) || r->streamOfNumber[number] < 0)
        return nullptr;
    return r->streams[r->streamOfNumber[number]];
}

// -- chunk search -------------------------------------------------------------------------

// Reads a cursor a byte at a time, from a small buffer of its own; Finish puts the cursor
// where the reading stopped.
class ByteWalker
{
public:
    ByteWalker(ByteStream *s, int32_t cursor, int64_t position, int64_t end)
        : m_pStream(s), m_nCursor(cursor), m_nPosition(position), m_nEnd(end)
    {
    }

    // 0 and the byte, or the stream's code.
    int32_t Next(uint8_t *byte)
    {
        if (m_nFill == m_nUsed) {
            if (m_nPosition >= m_nEnd)
                return VANTOR_E_READ;
            const uint32_t count =
                static_cast<uint32_t>(std::min<int64_t>(sizeof m_buffer, m_nEnd - m_nPosition));
            int32_t result = SeekTo(m_pStream, m_nCursor, m_nPosition);
            if (result >= 0)
                result = ReadExact(m_pStream, m_nCursor, m_buffer, count);
            if (result < 0)
                return result;
            m_nFill = count;
            m_nUsed = 0;
        }
        *byte = m_buffer[m_nUsed++];
        ++m_nPosition;
        return VANTOR_OK;
    }

    int64_t Position() const { return m_nPosition; }

    void MoveTo(int64_t position)
    {
        const int64_t bufferStart = m_nPosition - m_nUsed;
        if (position >= bufferStart && position <= bufferStart + m_nFill) {
            m_nUsed = static_cast<uint32_t>(position - bufferStart);
        } else {
            m_nFill = m_nUsed = 0;
        }
        m_nPosition = position;
    }

    int32_t Finish() { return SeekTo(m_pStream, m_nCursor, std::min(m_nPosition, m_nEnd)); }

private:
    ByteStream *m_pStream;
    int32_t m_nCursor;
    int64_t m_nPosition;
    int64_t m_nEnd;
    uint8_t m_buffer[256];
    uint32_t m_nFill = 0;
    uint32_t m_nUsed = 0;
};

struct ChunkHeader
{
    uint32_t nId;
    uint32_t nSize;
    int64_t nHeaderPosition;
};

// Finds the next chunk header from the cursor. On success the cursor stands at the chunk's
// data. A "LIST movi" passed on the way updates *moviEnd.
int32_t SearchChunkHeader(ByteStream *s, int32_t cursor, int64_t fileSize, int64_t *moviEnd,
                          ChunkHeader *found)
{
    const int64_t here = Tell(s, cursor);
    if (here < 0)
        return static_cast<int32_t>(here);
    const int64_t available = std::min(Available(s), fileSize);
    int64_t budget = available - here;
    if (budget <= 0)
        return VANTOR_E_END_OF_STREAM;
    ByteWalker walker(s, cursor, here, available);
    uint8_t window[4];
    uint32_t filled = 0;
    uint32_t zeros = 0;
    for (;;) {
        if (budget <= 0) {
            walker.MoveTo(walker.Position() - filled);
            walker.Finish();
            return VANTOR_E_END_OF_STREAM;
        }
        uint8_t byte = 0;
        const int32_t result = walker.Next(&byte);
        if (result < 0) {
            walker.Finish();
            return result;
        }
        if (byte == 0) {
            if (++zeros > kAviMaxZeroRun) {
                walker.Finish();
                return AVI_E_ZERO_RUN;
            }
        } else {
            zeros = 0;
        }
        if (IsAlnum(byte)) {
            window[filled++] = byte;
            budget -= 1;
        } else {
            filled = 0;
            budget -= 2;
        }
        if (filled < 4)
            continue;
        const uint32_t id = Le32(window);
        if (IsStreamChunkId(id) || id == kJunk || id == kIdx1 || IsStdIndexId(id))
            break;
        if (id == kRiff || id == kList) {
            // Size and form or list type; a movi list says how far its chunks reach.
            uint8_t head[8];
            uint32_t got = 0;
            for (; got < 8 && walker.Position() < available; ++got) {
                if (walker.Next(&head[got]) < 0)
                    break;
            }
            if (got == 8 && id == kList && Le32(head + 4) == kMovi)
                *moviEnd = Le32(head) < 4 ? fileSize
                                          : std::min(fileSize, walker.Position() - 4 +
                                                                   int64_t{Le32(head)});
            budget -= 8;
            filled = 0;
            continue;
        }
        std::memmove(window, window + 1, 3);
        filled = 3;
    }
    const int64_t headerPosition = walker.Position() - 4;
    if (available - walker.Position() < 4) {
        walker.MoveTo(headerPosition);
        walker.Finish();
        return VANTOR_E_NO_STREAM;
    }
    uint8_t sizeBytes[4];
    for (uint8_t &b : sizeBytes) {
        if (const int32_t result = walker.Next(&b); result < 0) {
            walker.Finish();
            return result;
        }
    }
    const uint32_t size = Le32(sizeBytes);
    if (available - walker.Position() < size) {
        walker.MoveTo(headerPosition);
        walker.Finish();
        return VANTOR_E_NO_STREAM;
    }
    found->nId = Le32(window);
    found->nSize = size;
    found->nHeaderPosition = headerPosition;
    return walker.Finish();
}

// The search's failures as the scan treats them: read and positioning failures are returned, a
// chunk that runs past the end of the data ends the stream (stepping on would read a cut index
// as chunks), and anything else steps one byte on. 1 means "search again".
int32_t SearchFailure(ByteStream *s, int32_t cursor, int64_t fileSize, int32_t result)
{
    if (result == VANTOR_E_READ || result == VANTOR_E_SEEK)
        return result;
    if (result == VANTOR_E_NO_STREAM || result == VANTOR_E_END_OF_STREAM)
        return VANTOR_E_END_OF_STREAM;
    const int64_t at = Tell(s, cursor);
    if (at < 0 || at >= fileSize)
        return VANTOR_E_END_OF_STREAM;
    return SeekTo(s, cursor, at + 1) < 0 ? VANTOR_E_END_OF_STREAM : 1;
}

// Past a chunk's data and its pad byte, never beyond the end.
int32_t SkipChunk(ByteStream *s, int32_t cursor, int64_t fileSize, const ChunkHeader &h)
{
    const int64_t next = h.nHeaderPosition + 8 + h.nSize + (h.nSize & 1);
    return SeekTo(s, cursor, std::min(next, fileSize));
}

enum class ScanStep
{
    Again,   // search on from where the cursor stands
    Deliver, // a chunk of a registered stream, data inside a movi list; cursor at its data
};

// What the scan does with a found header that is not a registered stream's media chunk.
ScanStep ClassifyChunk(AviReader *r, ByteStream *s, int32_t cursor, const ChunkHeader &h,
                       int64_t moviEnd, AviStream **owner)
{
    *owner = nullptr;
    if (IsStreamChunkId(h.nId)) {
        AviStream *stream = StreamOfNumber(r, StreamNumberOf(h.nId));
        if (!stream)
            return ScanStep::Again; // right after the header
        if (!IsMediaType(TypeOf(h.nId))) {
            SeekTo(s, cursor, h.nHeaderPosition + 1);
            return ScanStep::Again;
        }
        // Nothing outside a movi list is a sample (a cut idx1 holds look-alike headers).
        if (h.nHeaderPosition + 8 + int64_t{h.nSize} > moviEnd)
            return ScanStep::Again;
        *owner = stream;
        return ScanStep::Deliver;
    }
    if (IsStdIndexId(h.nId) || (h.nId == kIdx1 && !r->bAvix))
        SkipChunk(s, cursor, r->nFileSize, h);
    return ScanStep::Again;
}

// Finds this stream's next chunk with data; cursor then stands at the data.
int32_t ScanNextChunk(AviReader *r, AviStream *st)
{
    ByteStream *s = st->pStream;
    if (st->bPadPending) {
        st->bPadPending = false;
        const int64_t at = Tell(s, st->nCursor);
        if (at >= 0 && at < r->nFileSize)
            SeekTo(s, st->nCursor, at + 1);
    }
    for (;;) {
        ChunkHeader h{};
        int32_t result = SearchChunkHeader(s, st->nCursor, r->nFileSize, &st->nMoviEnd, &h);
        if (result < 0) {
            result = SearchFailure(s, st->nCursor, r->nFileSize, result);
            if (result < 0)
                return result;
            continue;
        }
        AviStream *owner = nullptr;
        if (ClassifyChunk(r, s, st->nCursor, h, st->nMoviEnd, &owner) == ScanStep::Again)
            continue;
        if (owner != st) {
            SkipChunk(s, st->nCursor, r->nFileSize, h);
            continue;
        }
        ++st->nSampleCounter;
        if (h.nSize == 0)
            continue;
        st->nRemaining = h.nSize;
        st->bPadPending = h.nSize & 1;
        st->nNextReadPosition = h.nHeaderPosition + 8 + h.nSize;
        return VANTOR_OK;
    }
}

// The next chunk from a complete index; cursor then stands at its data.
int32_t IndexNextChunk(AviReader *r, AviStream *st)
{
    ByteStream *s = st->pStream;
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
        request->nTime = Saturate32(st->nStartTime +
                                    uint64_t{AviTicksToMs(sample, st->dwScale, st->dwRate)});
        request->nDuration = AviTicksToMs(count / st->nByteSampleSize, st->dwScale, st->dwRate);
    } else {
        request->nTime = Saturate32(
            st->nStartTime +
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
    ByteStream *s = st->pStream;
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
        request->nTime = Saturate32(st->nStartTime +
                                    uint64_t{AviTicksToMs(sample, st->dwScale, st->dwRate)});
        request->nDuration = AviTicksToMs(count / st->dwSampleSize, st->dwScale, st->dwRate);
    }
    if (const int32_t result = ReadExact(st->pStream, st->nCursor, request->pBuffer, count);
        result < 0)
        return result;
    st->nRemaining -= count;
    st->nBytePosition += count;
    request->nLength = count;
    return VANTOR_OK;
}

// -- header parse -------------------------------------------------------------------------

struct StreamHeader
{
    uint32_t fccType;
    uint32_t dwScale, dwRate, dwStart, dwLength, dwSuggestedBufferSize, dwSampleSize;
};

StreamHeader ParseStreamHeader(const uint8_t *p)
{
    StreamHeader h{};
    h.fccType = Le32(p);
    h.dwScale = Le32(p + 20);
    h.dwRate = Le32(p + 24);
    h.dwStart = Le32(p + 28);
    h.dwLength = Le32(p + 32);
    h.dwSuggestedBufferSize = Le32(p + 36);
    h.dwSampleSize = Le32(p + 44);
    return h;
}

class HeaderParse
{
public:
    HeaderParse(AviReader *r, MediaInfo *info) : m_pReader(r), m_pInfo(info) {}

    int32_t Run();

private:
    int32_t Bytes(int64_t at, void *destination, uint32_t count)
    {
        int32_t result = SeekTo(m_pReader->pStream, m_pReader->nMainCursor, at);
        if (result >= 0)
            result = ReadExact(m_pReader->pStream, m_pReader->nMainCursor, destination, count);
        return result;
    }
    // Bytes of a chunk that the file really holds.
    uint32_t Held(int64_t data, uint32_t size) const
    {
        return static_cast<uint32_t>(std::clamp<int64_t>(m_pReader->nFileSize - data, 0, size));
    }
    int32_t OnMovi(int64_t typePosition, uint32_t listSize);
    int32_t OnStreamFormat(int64_t data, uint32_t size);
    int32_t RegisterStream(int32_t kind, const StreamHeader &h);
    void OnSuperIndex(int64_t data, uint32_t size);
    int32_t LoadIdx1(int64_t data, uint32_t size);

    AviReader *m_pReader;
    MediaInfo *m_pInfo;
    bool m_bPendingHeader = false;
    uint8_t m_pendingHeader[kStreamHeaderSize] = {};
    uint32_t m_nHeaderStreams = 0; // strh chunks met: the chunk-id number of the next stream
    AviStream *m_pStrlStream = nullptr; // registered by the current strl
};

int32_t HeaderParse::OnMovi(int64_t typePosition, uint32_t listSize)
{
    AviReader *r = m_pReader;
    if (r->nMoviDataPosition)
        return VANTOR_OK;
    r->nMoviPosition = typePosition;
    // A list size never written (a recording cut short) reaches to the end of the file.
    r->nMoviEnd = listSize < 4 ? r->nFileSize
                               : std::min(r->nFileSize, typePosition + int64_t{listSize});
    int64_t data = typePosition + 4;
    if (r->bOpenDml) {
        for (;;) {
            uint8_t head[8];
            if (data + 8 > r->nMoviEnd || Bytes(data, head, 8) < 0 || !IsStdIndexId(Le32(head)))
                break;
            const uint32_t size = Le32(head + 4);
            data += 8 + int64_t{size} + (size & 1);
        }
    }
    r->nMoviDataPosition = std::min(data, r->nFileSize);
    return VANTOR_OK;
}

int32_t HeaderParse::RegisterStream(int32_t kind, const StreamHeader &h)
{
    AviReader *r = m_pReader;
    auto *st = new (std::nothrow) AviStream{};
    if (!st)
        return VANTOR_E_OUT_OF_MEMORY;
    st->nKind = kind;
    st->nNumber = r->nStreamCount;
    r->streams[r->nStreamCount++] = st;
    if (int32_t result = ByteStreamClone(r->pStream, &st->pStream); result < 0)
        return result;
    st->nCursor = st->pStream->pOps->NewCursor(st->pStream->pInstance, 0);
    if (st->nCursor < 0)
        return st->nCursor;
    st->dwScale = h.dwScale;
    st->dwRate = h.dwRate;
    st->dwLength = h.dwLength;
    st->dwSampleSize = h.dwSampleSize;
    st->nStartTime = AviTicksToMs(h.dwStart, h.dwScale, h.dwRate);
    if (m_nHeaderStreams - 1 < std::size(r->streamOfNumber))
        r->streamOfNumber[m_nHeaderStreams - 1] = static_cast<int32_t>(st->nNumber);
    int32_t &selected = kind == SAMPLE_KIND_VIDEO ? r->nSelectedVideo : r->nSelectedAudio;
    if (selected < 0)
        selected = static_cast<int32_t>(st->nNumber);
    m_pStrlStream = st;
    return VANTOR_OK;
}

int32_t HeaderParse::OnStreamFormat(int64_t data, uint32_t size)
{
    if (!m_bPendingHeader)
        return VANTOR_E_STREAM_SYNTAX;
    m_bPendingHeader = false;
    AviReader *r = m_pReader;
    StreamHeader h = ParseStreamHeader(m_pendingHeader);
    const uint32_t held = Held(data, size);
    const bool room = r->nStreamCount < kAviMaxStreams;
    if (h.fccType == kVids && room && m_pInfo->nVideoCount < kMaxVideoStreams) {
        if (h.dwScale == 0 || h.dwRate == 0) {
            const bool known = r->dwMicroSecPerFrame != 0;
            h.dwRate = known ? 1000000 : 25;
            h.dwScale = known ? r->dwMicroSecPerFrame : 1;
        }
        uint8_t bih[kBitmapHeaderSize] = {};
        const uint32_t headerBytes = std::min(held, kBitmapHeaderSize);
        if (headerBytes && Bytes(data, bih, headerBytes) < 0)
            return VANTOR_E_STREAM_SYNTAX;
        const uint32_t fourcc = Le32(bih + 16);
        if (fourcc == kDxsb)
            return VANTOR_OK;
        VIDEO_STREAM_INFO &v = m_pInfo->video[m_pInfo->nVideoCount];
        v.nWidth = Le32(bih + 4);
        v.nHeight = Le32(bih + 8);
        v.nBitCount = Le16(bih + 14);
        v.nFourcc = fourcc;
        if (held > kBitmapHeaderSize && fourcc != kXvid) {
            // The record holds 512 bytes; longer codec data is cut.
            v.nExtraDataLength = std::min(held - kBitmapHeaderSize, kMaxExtraData);
            if (Bytes(data + kBitmapHeaderSize, v.byExtraData, v.nExtraDataLength) < 0)
                return VANTOR_E_STREAM_SYNTAX;
        }
        v.nFrameRate = Saturate32(uint64_t{h.dwRate} * 1000 / h.dwScale);
        v.nMaxSampleSize = std::min(h.dwSuggestedBufferSize, kMaxVideoSample);
        if (const int32_t result = RegisterStream(SAMPLE_KIND_VIDEO, h); result < 0)
            return result;
        m_pStrlStream->nFourcc = fourcc;
        ++m_pInfo->nVideoCount;
        return VANTOR_OK;
    }
    if (h.fccType == kAuds && room && m_pInfo->nAudioCount < kMaxAudioStreams) {
        if (h.dwScale == 0 || h.dwRate == 0) {
            h.dwRate = 25;
            h.dwScale = 1;
        }
        uint8_t wfx[kWaveFormatSize + 2] = {};
        const uint32_t headerBytes = std::min<uint32_t>(held, sizeof wfx);
        if (headerBytes && Bytes(data, wfx, headerBytes) < 0)
            return VANTOR_E_STREAM_SYNTAX;
        AUDIO_STREAM_INFO &a = m_pInfo->audio[m_pInfo->nAudioCount];
        a.nFormat = Le16(wfx);
        a.nChannels = Le16(wfx + 2);
        a.nSampleRate = Le32(wfx + 4);
        a.nBitRate = Saturate32(uint64_t{Le32(wfx + 8)} * 8);
        a.nBlockAlign = Le16(wfx + 12);
        a.nBitsPerSample = Le16(wfx + 14);
        if (held > kWaveFormatSize + 2) {
            const uint32_t cbSize = Le16(wfx + 16);
            if (cbSize && held - (kWaveFormatSize + 2) >= cbSize) {
                a.nExtraDataLength = std::min(cbSize, kMaxExtraData);
                if (Bytes(data + kWaveFormatSize + 2, a.byExtraData, a.nExtraDataLength) < 0)
                    return VANTOR_E_STREAM_SYNTAX;
            }
        }
        a.nMaxSampleSize = (h.dwSampleSize && h.dwSuggestedBufferSize > kAviMaxPiece)
                               ? kMaxAudioSample
                               : std::min(h.dwSuggestedBufferSize, kMaxAudioSample);
        a.nSampleTime = 1;
        if (const int32_t result = RegisterStream(SAMPLE_KIND_AUDIO, h); result < 0)
            return result;
        ++m_pInfo->nAudioCount;
    }
    return VANTOR_OK;
}

void HeaderParse::OnSuperIndex(int64_t data, uint32_t size)
{
    AviStream *st = m_pStrlStream;
    const uint32_t held = Held(data, size);
    uint8_t head[24];
    if (!st || held < sizeof head || Bytes(data, head, sizeof head) < 0)
        return;
    const uint32_t subType = head[2];
    const uint32_t type = head[3];
    if (type != 0 || subType > 1)
        return;
    // The entries the chunk really holds, whatever the count says.
    const uint32_t count = std::min(Le32(head + 4), (held - 24) / 16);
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t{count} * 16);
        st->superIndex.resize(count);
    } catch (const std::bad_alloc &) {
        return;
    }
    if (count && Bytes(data + 24, bytes.data(), count * 16) < 0) {
        st->superIndex.clear();
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *e = bytes.data() + size_t{i} * 16;
        st->superIndex[i] = {Le64(e), Le32(e + 8), Le32(e + 12)};
    }
    m_pReader->bOpenDml = true;
}

int32_t HeaderParse::LoadIdx1(int64_t data, uint32_t size)
{
    AviReader *r = m_pReader;
    r->nIdx1Position = data;
    if (r->bOpenDml)
        return VANTOR_OK;
    ByteStream *s = r->pStream;
    r->nIdx1Cursor = s->pOps->NewCursor(s->pInstance, kIdx1ReadAhead);
    if (r->nIdx1Cursor < 0)
        return r->nIdx1Cursor;
    const uint32_t held = Held(data, size);
    const bool complete = held == size;
    if (SeekTo(s, r->nIdx1Cursor, data) < 0)
        return VANTOR_OK;
    for (uint32_t left = held / 16; left; --left) {
        uint8_t e[16];
        if (ReadExact(s, r->nIdx1Cursor, e, 16) < 0)
            break;
        const uint32_t ckid = Le32(e);
        if (!IsDigit(Char(ckid, 0)) || !IsDigit(Char(ckid, 1)))
            continue;
        const uint32_t type = TypeOf(ckid);
        if (!IsMediaType(type) && type != TwoCc("sb"))
            continue;
        AviStream *st = StreamOfNumber(r, StreamNumberOf(ckid));
        if (!st)
            continue;
        // An offset that points outside the movi list names no chunk of it.
        const int64_t position = r->nMoviPosition + Le32(e + 8);
        if (position < r->nMoviPosition + 4 || position + 8 > r->nMoviEnd)
            continue;
        if (const int32_t result = AppendNode(st, Le32(e + 4), position, Le32(e + 12));
            result < 0)
            return result;
    }
    if (complete) {
        r->bIndexComplete = true;
        if (!r->bAvix) {
            for (uint32_t i = 0; i < r->nStreamCount; ++i) {
                AviStream *st = r->streams[i];
                st->nByteSampleSize = st->dwSampleSize;
                st->dwSampleSize = 0;
            }
        }
    }
    return VANTOR_OK;
}

int32_t HeaderParse::Run()
{
    AviReader *r = m_pReader;
    int64_t at = 12;
    uint32_t emptyHeaders = 0;
    for (;;) {
        // Over a download still arriving the headers up to the movi list are waited for (the
        // reads wait for their bytes): without them nothing plays. What follows the movi list,
        // the idx1, is taken only as far as it has arrived, or opening would wait for the file.
        const int64_t end = r->nMoviDataPosition ? std::min(Available(r->pStream), r->nFileSize)
                                                 : r->nFileSize;
        if (at >= end)
            break;
        uint8_t head[8];
        if (end - at < 8 || Bytes(at, head, 8) < 0)
            break;
        const uint32_t id = Le32(head);
        const uint32_t size = Le32(head + 4);
        const int64_t data = at + 8;
        const int64_t skip = data + size + (size & 1);
        at = skip;
        if (id == 0) {
            if (size == 0) {
                at = data;
                if (++emptyHeaders > kAviMaxZeroRun)
                    break;
            }
            continue;
        }
        if (id == kRiff || id == kList) {
            uint8_t form[4];
            if (end - data < 4 || Bytes(data, form, 4) < 0)
                break;
            const uint32_t type = Le32(form);
            const int64_t inside = data + 4;
            if (id == kRiff) {
                if (type != kFormAvi && type != kFormMenu && type != kFormAvix)
                    return VANTOR_E_STREAM_SYNTAX;
                r->bAvix = r->bAvix || type == kFormAvix;
                at = inside;
            } else if (type == kHdrl || type == kDmnu || (type == kStrl && !r->bMenu)) {
                if (type == kStrl)
                    m_pStrlStream = nullptr;
                at = inside;
            } else if (type == kMovi) {
                if (const int32_t result = OnMovi(data, size); result < 0)
                    return result;
                // A list too short to hold its type is stepped over by its type.
                at = std::max(skip, inside);
            } else {
                at = std::max(skip, inside);
            }
            continue;
        }
        if (id == kAvih) {
            uint8_t field[4];
            if (Held(data, size) >= 4 && Bytes(data, field, 4) >= 0)
                r->dwMicroSecPerFrame = Le32(field);
        } else if (id == kStrh) {
            std::memset(m_pendingHeader, 0, sizeof m_pendingHeader);
            const uint32_t count = std::min(Held(data, size), kStreamHeaderSize);
            if (count && Bytes(data, m_pendingHeader, count) < 0)
                return VANTOR_E_STREAM_SYNTAX;
            m_bPendingHeader = true;
            m_pStrlStream = nullptr;
            ++m_nHeaderStreams;
        } else if (id == kStrf) {
            if (const int32_t result = OnStreamFormat(data, size); result < 0)
                return result;
        } else if (id == kIndx) {
            OnSuperIndex(data, size);
        } else if (id == kIdx1) {
            return LoadIdx1(data, size);
        } else if (id == kMenuChunk) {
            r->bMenu = true;
        }
    }
    return VANTOR_OK;
}

// Standard index chunks named by the super indexes, in batches.
int32_t LoadOpenDmlIndexes(AviReader *r)
{
    ByteStream *s = r->pStream;
    std::vector<uint8_t> batch;
    for (uint32_t i = 0; i < r->nStreamCount; ++i) {
        AviStream *st = r->streams[i];
        // Every entry names an 8-byte chunk header at least: super entries that repeat one
        // index cannot make the load read more than the file could hold.
        int64_t entryBudget = r->nFileSize / 8;
        for (const AviSuperEntry &entry : st->superIndex) {
            if (entryBudget <= 0)
                break;
            const int64_t at = static_cast<uint32_t>(entry.qwOffset);
            uint8_t head[32];
            if (at + 32 > r->nFileSize || SeekTo(s, r->nMainCursor, at) < 0 ||
                ReadExact(s, r->nMainCursor, head, sizeof head) < 0)
                continue;
            if (Le32(head + 28) != 0)
                return VANTOR_E_INVALID_ARG;
            const uint32_t chunkId = Le32(head + 8 + 8);
            const uint32_t type = TypeOf(chunkId);
            if (type != TwoCc("db") && type != TwoCc("wb") && type != TwoCc("dc"))
                continue;
            const uint32_t chunkSize = Le32(head + 4);
            const int64_t held = std::min<int64_t>(r->nFileSize - (at + 32),
                                                   chunkSize < 24 ? 0 : chunkSize - 24);
            uint32_t left = static_cast<uint32_t>(
                std::min<int64_t>({Le32(head + 8 + 4), held / 8, entryBudget}));
            entryBudget -= left;
            const uint64_t base = static_cast<uint32_t>(Le64(head + 8 + 12));
            while (left) {
                const uint32_t n = std::min(left, kStdIndexBatch);
                try {
                    batch.resize(size_t{n} * 8);
                } catch (const std::bad_alloc &) {
                    return VANTOR_E_OUT_OF_MEMORY;
                }
                if (ReadExact(s, r->nMainCursor, batch.data(), n * 8) < 0)
                    break;
                for (uint32_t k = 0; k < n; ++k) {
                    const uint32_t offset = Le32(&batch[size_t{k} * 8]);
                    const uint32_t size = Le32(&batch[size_t{k} * 8 + 4]);
                    const int64_t position = static_cast<int64_t>(base) + offset - 8;
                    if (position < 0 || position + 8 > r->nFileSize)
                        continue;
                    const uint32_t flags = (size & 0x80000000u) ? 0 : kAviKeyFrame;
                    if (const int32_t result = AppendNode(st, flags, position, size & 0x7FFFFFFFu);
                        result < 0)
                        return result;
                }
                left -= n;
            }
        }
        st->superIndex.clear();
        st->superIndex.shrink_to_fit();
    }
    r->bIndexComplete = true;
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
    st->nFoundTime = Saturate32(st->nStartTime +
                                uint64_t{AviTicksToMs(chosenFrame, st->dwScale, st->dwRate)});
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
    const bool found = sampleSize ? FindBySample(st, time, sampleSize, count)
                                  : FindByFrame(st, time, mode, count);
    if (!found)
        return false;
    return int64_t{st->pFoundNode->nPosition} + st->pFoundNode->nSize <=
           Available(st->pStream);
}

void CommitPosition(AviReader *r, AviStream *st)
{
    st->pCurrent = st->pFoundNode;
    st->nRemaining = 0;
    st->bPadPending = false;
    st->nNextReadPosition = st->pFoundNode->nPosition;
    SeekTo(st->pStream, st->nCursor, st->pFoundNode->nPosition);
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
    if (st->pStream) {
        if (st->nCursor >= 0)
            st->pStream->pOps->FreeCursor(st->pStream->pInstance, st->nCursor);
        ByteStreamClose(st->pStream);
    }
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
    auto *r = new (std::nothrow) AviReader{};
    if (!r)
        return VANTOR_E_OUT_OF_MEMORY;
    std::fill(std::begin(r->streamOfNumber), std::end(r->streamOfNumber), -1);
    r->pStream = stream;
    r->nFileSize = ByteStreamTotalSize(stream);
    r->nMainCursor = stream->pOps->NewCursor(stream->pInstance, 0);
    if (r->nMainCursor < 0) {
        const int32_t result = r->nMainCursor;
        AviClose(r);
        return result;
    }
    uint8_t head[12];
    if (r->nFileSize < 12 || SeekTo(stream, r->nMainCursor, 0) < 0 ||
        ReadExact(stream, r->nMainCursor, head, sizeof head) < 0 || Le32(head) != kRiff ||
        (Le32(head + 8) != kFormAvi && Le32(head + 8) != kFormAvix &&
         Le32(head + 8) != kFormMenu)) {
        AviClose(r);
        return VANTOR_E_STREAM_SYNTAX;
    }
    r->bAvix = Le32(head + 8) == kFormAvix;
    *instance = r;
    return VANTOR_OK;
}

int32_t AviGetInfo(void *instance, MediaInfo *info)
{
    AviReader *r = Cast(instance);
    if (r->bParsed)
        return VANTOR_E_INVALID_ARG;
    r->bParsed = true;
    info->nMediaType = kAviMediaType;
    HeaderParse parse(r, info);
    if (const int32_t result = parse.Run(); result < 0)
        return result;
    if (r->bOpenDml) {
        if (const int32_t result = LoadOpenDmlIndexes(r); result < 0)
            return result;
    }
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
            SeekTo(st->pStream, st->nCursor, r->nMoviDataPosition ? r->nMoviDataPosition
                                                                  : r->nFileSize);
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
// nodes; the reads meanwhile follow only nodes already linked.
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
                start = std::max<int64_t>(start, int64_t{tail->nPosition} + 8 + tail->nSize +
                                                     (tail->nSize & 1));
        }
        r->nScanMoviEnd = r->nMoviEnd;
        if (SeekTo(s, r->nMainCursor, std::min(start, r->nFileSize)) < 0)
            return VANTOR_E_END_OF_STREAM;
    }
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
        const auto spent = std::chrono::steady_clock::now() - began;
        if (spent > kIndexSlice)
            return VANTOR_E_NOT_YET;
        ChunkHeader h{};
        int32_t result = SearchChunkHeader(s, r->nMainCursor, r->nFileSize, &r->nScanMoviEnd, &h);
        if (result < 0) {
            result = SearchFailure(s, r->nMainCursor, r->nFileSize, result);
            if (result < 0)
                return result;
            continue;
        }
        AviStream *owner = nullptr;
        if (ClassifyChunk(r, s, r->nMainCursor, h, r->nScanMoviEnd, &owner) == ScanStep::Again)
            continue;
        if (const int32_t appended = AppendNode(owner, kAviKeyFrame, h.nHeaderPosition, h.nSize);
            appended < 0)
            return appended;
        SkipChunk(s, r->nMainCursor, r->nFileSize, h);
        if (spent > kIndexFullSpeed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
