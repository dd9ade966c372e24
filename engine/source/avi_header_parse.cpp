#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/core/fourcc.h"
#include "engine/source/avi_chunk_scan.h"
#include "engine/source/avi_reader_internal.h"

// The header parse of get info: a walk over the chunks up to the idx1, each chunk id handled
// by its entry in one table, then the OpenDML indexes.

namespace {

using namespace avi;

constexpr uint32_t kList = MakeFourcc("LIST");
constexpr uint32_t kHdrl = MakeFourcc("hdrl");
constexpr uint32_t kDmnu = MakeFourcc("DMNU");
constexpr uint32_t kStrl = MakeFourcc("strl");
constexpr uint32_t kMovi = MakeFourcc("movi");
constexpr uint32_t kAvih = MakeFourcc("avih");
constexpr uint32_t kStrh = MakeFourcc("strh");
constexpr uint32_t kStrf = MakeFourcc("strf");
constexpr uint32_t kIndx = MakeFourcc("indx");
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
        return ReadAt(m_pReader->pStream, m_pReader->nMainCursor, at, destination, count);
    }
    // Bytes of a chunk that the file really holds.
    uint32_t Held(int64_t data, uint32_t size) const
    {
        return static_cast<uint32_t>(std::clamp<int64_t>(m_pReader->nFileSize - data, 0, size));
    }
    // A leaf chunk's handler: below 0 fails get info, 1 ends the parse.
    using Handler = int32_t (HeaderParse::*)(int64_t data, uint32_t size);
    struct Entry
    {
        uint32_t nId;
        Handler handler;
    };
    static const Entry kHandlers[];

    int32_t OnMovi(int64_t typePosition, uint32_t listSize);
    int32_t OnMainHeader(int64_t data, uint32_t size);
    int32_t OnStreamHeader(int64_t data, uint32_t size);
    int32_t OnStreamFormat(int64_t data, uint32_t size);
    int32_t RegisterStream(int32_t kind, const StreamHeader &h);
    int32_t OnSuperIndex(int64_t data, uint32_t size);
    int32_t OnIdx1(int64_t data, uint32_t size);
    int32_t OnMenu(int64_t data, uint32_t size);

    AviReader *m_pReader;
    MediaInfo *m_pInfo;
    bool m_bPendingHeader = false;
    uint8_t m_pendingHeader[kStreamHeaderSize] = {};
    uint32_t m_nHeaderStreams = 0;      // strh chunks met: the chunk-id number of the next stream
    AviStream *m_pStrlStream = nullptr; // registered by the current strl
};

int32_t HeaderParse::OnMovi(int64_t typePosition, uint32_t listSize)
{
    AviReader *r = m_pReader;
    if (r->nMoviDataPosition)
        return VANTOR_OK;
    r->nMoviPosition = typePosition;
    // A list size never written (a recording cut short) reaches to the end of the file.
    r->nMoviEnd =
        listSize < 4 ? r->nFileSize : std::min(r->nFileSize, typePosition + int64_t{listSize});
    int64_t data = typePosition + 4;
    if (r->bOpenDml) {
        for (;;) {
            uint8_t head[8];
            if (data + 8 > r->nMoviEnd || Bytes(data, head, 8) < 0 || !AviIsStdIndexId(Le32(head)))
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
    ByteStream *clone = nullptr;
    if (int32_t result = ByteStreamClone(r->pStream, &clone); result < 0)
        return result;
    st->stream.reset(clone);
    st->nCursor = clone->pOps->NewCursor(clone->pInstance, 0);
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
        // A negative height is a top-down picture of that many rows.
        const int32_t height = static_cast<int32_t>(Le32(bih + 8));
        v.nHeight = height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height);
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

int32_t HeaderParse::OnSuperIndex(int64_t data, uint32_t size)
{
    AviStream *st = m_pStrlStream;
    const uint32_t held = Held(data, size);
    uint8_t head[24];
    if (!st || held < sizeof head || Bytes(data, head, sizeof head) < 0)
        return VANTOR_OK;
    const uint32_t subType = head[2];
    const uint32_t type = head[3];
    if (type != 0 || subType > 1)
        return VANTOR_OK;
    // The entries the chunk really holds, whatever the count says.
    const uint32_t count = std::min(Le32(head + 4), (held - 24) / 16);
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t{count} * 16);
        st->superIndex.resize(count);
    } catch (const std::bad_alloc &) {
        return VANTOR_OK;
    }
    if (count && Bytes(data + 24, bytes.data(), count * 16) < 0) {
        st->superIndex.clear();
        return VANTOR_OK;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *e = bytes.data() + size_t{i} * 16;
        st->superIndex[i] = {Le64(e), Le32(e + 8), Le32(e + 12)};
    }
    m_pReader->bOpenDml = true;
    return VANTOR_OK;
}

int32_t HeaderParse::OnMainHeader(int64_t data, uint32_t size)
{
    uint8_t field[4];
    if (Held(data, size) >= 4 && Bytes(data, field, 4) >= 0)
        m_pReader->dwMicroSecPerFrame = Le32(field);
    return VANTOR_OK;
}

int32_t HeaderParse::OnStreamHeader(int64_t data, uint32_t size)
{
    std::memset(m_pendingHeader, 0, sizeof m_pendingHeader);
    const uint32_t count = std::min(Held(data, size), kStreamHeaderSize);
    if (count && Bytes(data, m_pendingHeader, count) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    m_bPendingHeader = true;
    m_pStrlStream = nullptr;
    ++m_nHeaderStreams;
    return VANTOR_OK;
}

int32_t HeaderParse::OnMenu(int64_t, uint32_t)
{
    m_pReader->bMenu = true;
    return VANTOR_OK;
}

// Loads the entries and ends the parse. The index is complete only when the whole idx1 is
// there and every entry of a registered stream names a chunk inside the file: an index that
// names chunks the file does not hold would hide the ones it does behind them, so such a file
// is read by scanning.
int32_t HeaderParse::OnIdx1(int64_t data, uint32_t size)
{
    AviReader *r = m_pReader;
    r->nIdx1Position = data;
    if (r->bOpenDml)
        return 1;
    ByteStream *s = r->pStream;
    r->nIdx1Cursor = s->pOps->NewCursor(s->pInstance, kIdx1ReadAhead);
    if (r->nIdx1Cursor < 0)
        return r->nIdx1Cursor;
    const uint32_t held = Held(data, size);
    bool complete = held == size;
    if (SeekTo(s, r->nIdx1Cursor, data) < 0)
        return 1;
    for (uint32_t left = held / 16; left; --left) {
        uint8_t e[16];
        if (ReadExact(s, r->nIdx1Cursor, e, 16) < 0) {
            complete = false;
            break;
        }
        const uint32_t ckid = Le32(e);
        const auto digit = [ckid](int i) {
            const uint32_t c = (ckid >> (8 * i)) & 0xFF;
            return c >= '0' && c <= '9';
        };
        if (!digit(0) || !digit(1))
            continue;
        const uint32_t type = TypeOf(ckid);
        if (!IsMediaType(type) && type != TwoCc("sb"))
            continue;
        AviStream *st = StreamOfNumber(r, AviStreamNumberOf(ckid));
        if (!st)
            continue;
        // An offset that points outside the movi list names no chunk of it.
        const int64_t position = r->nMoviPosition + Le32(e + 8);
        if (position < r->nMoviPosition + 4 || position + 8 > r->nMoviEnd) {
            complete = false;
            continue;
        }
        if (const int32_t result = AviAppendNode(&st->index, Le32(e + 4), position, Le32(e + 12));
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
    return 1;
}

const HeaderParse::Entry HeaderParse::kHandlers[] = {
    {kAvih, &HeaderParse::OnMainHeader},   {kStrh, &HeaderParse::OnStreamHeader},
    {kStrf, &HeaderParse::OnStreamFormat}, {kIndx, &HeaderParse::OnSuperIndex},
    {kIdx1, &HeaderParse::OnIdx1},         {kMenuChunk, &HeaderParse::OnMenu},
};

int32_t HeaderParse::Run()
{
    AviReader *r = m_pReader;
    int64_t at = 12;
    uint32_t emptyHeaders = 0;
    for (;;) {
        // Over a download still arriving the headers up to the movi list are waited for (the
        // reads wait for their bytes): without them nothing plays. What follows the movi list,
        // the idx1, is taken only as far as it has arrived, or opening would wait for the file.
        const int64_t end =
            r->nMoviDataPosition ? std::min(Available(r->pStream), r->nFileSize) : r->nFileSize;
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
        for (const Entry &entry : kHandlers) {
            if (entry.nId != id)
                continue;
            const int32_t result = (this->*entry.handler)(data, size);
            if (result != 0)
                return result < 0 ? result : VANTOR_OK;
            break;
        }
    }
    return VANTOR_OK;
}

// Standard index chunks named by the super indexes, in batches. Offsets are 64-bit: an OpenDML
// clip goes on past 4 GiB.
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
            if (entry.qwOffset > uint64_t(r->nFileSize))
                continue;
            const int64_t at = static_cast<int64_t>(entry.qwOffset);
            uint8_t head[32];
            if (at + 32 > r->nFileSize || ReadAt(s, r->nMainCursor, at, head, sizeof head) < 0)
                continue;
            if (Le32(head + 28) != 0)
                return VANTOR_E_INVALID_ARG;
            const uint32_t chunkId = Le32(head + 8 + 8);
            const uint32_t type = TypeOf(chunkId);
            if (type != TwoCc("db") && type != TwoCc("wb") && type != TwoCc("dc"))
                continue;
            const uint32_t chunkSize = Le32(head + 4);
            const int64_t held =
                std::min<int64_t>(r->nFileSize - (at + 32), chunkSize < 24 ? 0 : chunkSize - 24);
            uint32_t left = static_cast<uint32_t>(
                std::min<int64_t>({Le32(head + 8 + 4), held / 8, entryBudget}));
            entryBudget -= left;
            const uint64_t base = Le64(head + 8 + 12);
            if (base > uint64_t(r->nFileSize))
                continue;
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
                    if (const int32_t result =
                            AviAppendNode(&st->index, flags, position, size & 0x7FFFFFFFu);
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

} // namespace

int32_t AviParseHeaders(AviReader *r, MediaInfo *info)
{
    HeaderParse parse(r, info);
    if (const int32_t result = parse.Run(); result < 0)
        return result;
    if (r->bOpenDml)
        return LoadOpenDmlIndexes(r);
    return VANTOR_OK;
}
