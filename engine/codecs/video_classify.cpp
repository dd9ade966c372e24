#include "engine/codecs/video_classify.h"

#include <cstddef>

namespace {

// Most significant bit first; reading past the end gives false from Read.
class BitReader
{
public:
    BitReader(const uint8_t *data, uint32_t length, uint32_t startByte = 0)
        : m_pData(data), m_nBits(uint64_t(length) * 8), m_nPos(uint64_t(startByte) * 8)
    {
    }
    bool Read(int count, uint32_t *value)
    {
        if (m_nPos + uint64_t(count) > m_nBits)
            return false;
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++m_nPos)
            v = v << 1 | ((m_pData[m_nPos >> 3] >> (7 - (m_nPos & 7))) & 1u);
        *value = v;
        return true;
    }
    bool Skip(int count)
    {
        m_nPos += uint64_t(count);
        return m_nPos <= m_nBits;
    }

private:
    const uint8_t *m_pData;
    uint64_t m_nBits;
    uint64_t m_nPos;
};

constexpr uint32_t kH263SourceFormatExtended = 7;
constexpr uint32_t kH263PictureIntra = 0;

// H.263 picture header, from its 22-bit start code: TR, PTYPE and, for the extended source
// format, PLUSPTYPE with the picture type in MPPTYPE.
int32_t ClassifyH263Header(const uint8_t *sample, uint32_t length, uint32_t at)
{
    BitReader bits(sample, length, at);
    uint32_t psc = 0, tr = 0, marker = 0, zero = 0, format = 0, type = 0;
    if (!bits.Read(22, &psc) || psc != 0x20 || !bits.Read(8, &tr) || !bits.Read(1, &marker) ||
        !bits.Read(1, &zero) || !bits.Skip(3) || !bits.Read(3, &format))
        return kClassifyNotSyncPoint;
    if (format != kH263SourceFormatExtended) {
        if (!bits.Read(1, &type))
            return kClassifyNotSyncPoint;
        return type == kH263PictureIntra ? kClassifySyncPoint : kClassifyNotSyncPoint;
    }
    uint32_t ufep = 0;
    if (!bits.Read(3, &ufep))
        return kClassifyNotSyncPoint;
    if (ufep == 1 && !bits.Skip(18)) // OPPTYPE
        return kClassifyNotSyncPoint;
    if (!bits.Read(3, &type))
        return kClassifyNotSyncPoint;
    return type == kH263PictureIntra ? kClassifySyncPoint : kClassifyNotSyncPoint;
}

constexpr uint8_t kVopStartCode = 0xB6;
constexpr uint32_t kVopIntra = 0;

constexpr int kNalIdrSlice = 5;
constexpr int kNalSei = 6;
constexpr uint32_t kSeiRecoveryPoint = 6;

// Reads the bytes of a NAL unit's payload with the emulation prevention bytes (00 00 03) taken
// out.
class RbspReader
{
public:
    RbspReader(const uint8_t *data, size_t length) : m_pData(data), m_nLength(length) {}
    bool Next(uint8_t *value)
    {
        if (m_nPos < m_nLength && m_nZeros >= 2 && m_pData[m_nPos] == 3) {
            ++m_nPos;
            m_nZeros = 0;
        }
        if (m_nPos >= m_nLength)
            return false;
        *value = m_pData[m_nPos++];
        m_nZeros = *value == 0 ? m_nZeros + 1 : 0;
        return true;
    }
    bool More() const { return m_nPos < m_nLength; }

private:
    const uint8_t *m_pData;
    size_t m_nLength;
    size_t m_nPos = 0;
    int m_nZeros = 0;
};

// SEI values: a run of 0xFF bytes, each adding 255, then the last byte.
bool ReadSeiValue(RbspReader &reader, uint32_t *value)
{
    uint32_t total = 0;
    uint8_t byte = 0;
    do {
        if (!reader.Next(&byte) || total > (1u << 24))
            return false;
        total += byte;
    } while (byte == 0xFF);
    *value = total;
    return true;
}

bool SeiHasRecoveryPoint(const uint8_t *payload, size_t length)
{
    RbspReader reader(payload, length);
    while (reader.More()) {
        uint32_t type = 0, size = 0;
        if (!ReadSeiValue(reader, &type) || !ReadSeiValue(reader, &size))
            return false;
        if (type == kSeiRecoveryPoint)
            return true;
        uint8_t skipped = 0;
        for (uint32_t i = 0; i < size; ++i) {
            if (!reader.Next(&skipped))
                return false;
        }
        // What remains may be only the stop bit byte.
        if (!reader.More())
            break;
    }
    return false;
}

// 1 when the NAL unit (header byte first) makes the sample a sync point.
bool NalIsSyncPoint(const uint8_t *nal, size_t length)
{
    if (length == 0)
        return false;
    const int type = nal[0] & 0x1F;
    if (type == kNalIdrSlice)
        return true;
    return type == kNalSei && SeiHasRecoveryPoint(nal + 1, length - 1);
}

// HEVC: the IRAP pictures (BLA, IDR, CRA and the reserved IRAP types), from the unit type in
// the first of the two header bytes.
constexpr int kHevcFirstIrap = 16;
constexpr int kHevcLastIrap = 23;

bool HevcNalIsSyncPoint(const uint8_t *nal, size_t length)
{
    if (length < 2)
        return false;
    const int type = (nal[0] >> 1) & 0x3F;
    return type >= kHevcFirstIrap && type <= kHevcLastIrap;
}

// Position of the next 00 00 01 at or after from, or length.
size_t FindStartCode(const uint8_t *data, size_t length, size_t from)
{
    for (size_t i = from; i + 3 <= length; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return length;
}

bool StartsWithStartCode(const uint8_t *data, size_t length)
{
    return (length >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) ||
           (length >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1);
}

// Length-prefixed NAL units; false when a length runs past the end.
template <class Visit>
bool ForEachPrefixedNal(const uint8_t *data, size_t length, int lengthSize, Visit visit)
{
    size_t pos = 0;
    while (pos + size_t(lengthSize) <= length) {
        size_t size = 0;
        for (int i = 0; i < lengthSize; ++i)
            size = size << 8 | data[pos + size_t(i)];
        pos += size_t(lengthSize);
        if (size > length - pos)
            return false;
        if (visit(data + pos, size))
            return true;
        pos += size;
    }
    return pos == length;
}

// Whether 4-byte lengths tile the sample exactly: a length-prefixed sample from a container that
// gave no avcC record.
bool TilesAsPrefixed(const uint8_t *data, size_t length)
{
    return length > 4 &&
           ForEachPrefixedNal(data, length, 4, [](const uint8_t *, size_t) { return false; });
}

// Whether any NAL unit of the sample, as visit judges it, is a sync point.
template <class Visit>
int32_t ClassifyNalSample(const uint8_t *sample, uint32_t length, int lengthSize, Visit visit)
{
    if (!sample || length == 0)
        return kClassifyNotSyncPoint;
    if (lengthSize == 0 && !StartsWithStartCode(sample, length) && TilesAsPrefixed(sample, length))
        lengthSize = 4;
    if (lengthSize == 1 || lengthSize == 2 || lengthSize == 4) {
        bool sync = false;
        ForEachPrefixedNal(sample, length, lengthSize, [&](const uint8_t *nal, size_t size) {
            sync = visit(nal, size);
            return sync;
        });
        return sync ? kClassifySyncPoint : kClassifyNotSyncPoint;
    }
    size_t start = FindStartCode(sample, length, 0);
    while (start < length) {
        const size_t nal = start + 3;
        size_t next = FindStartCode(sample, length, nal);
        size_t end = next;
        // A four-byte start code leaves a zero byte before the next three-byte one.
        while (end > nal && sample[end - 1] == 0)
            --end;
        if (visit(sample + nal, end - nal))
            return kClassifySyncPoint;
        start = next;
    }
    return kClassifyNotSyncPoint;
}

} // namespace


int32_t ClassifyMpeg4Sample(const uint8_t *sample, uint32_t length)
{
    if (!sample)
        return kClassifyNotSyncPoint;
    for (uint32_t i = 0; i + 4 < length; ++i) {
        if (sample[i] == 0 && sample[i + 1] == 0 && sample[i + 2] == 1 &&
            sample[i + 3] == kVopStartCode) {
            const uint32_t codingType = sample[i + 4] >> 6;
            return codingType == kVopIntra ? kClassifySyncPoint : kClassifyNotSyncPoint;
        }
    }
    // Short video header (H.263 baseline): the picture start code opens the sample.
    for (uint32_t i = 0; i + 3 <= length; ++i) {
        if (sample[i] == 0 && sample[i + 1] == 0 && (sample[i + 2] & 0xFC) == 0x80)
            return ClassifyH263Header(sample, length, i);
    }
    return kClassifyNotSyncPoint;
}

int32_t ClassifyMsMpeg4Sample(const uint8_t *sample, uint32_t length)
{
    if (!sample || length == 0)
        return kClassifyNotSyncPoint;
    return (sample[0] >> 6) == 0 ? kClassifySyncPoint : kClassifyNotSyncPoint;
}


int32_t ClassifyH264Sample(const uint8_t *sample, uint32_t length, int lengthSize)
{
    return ClassifyNalSample(sample, length, lengthSize, NalIsSyncPoint);
}

int32_t ClassifyHevcSample(const uint8_t *sample, uint32_t length, int lengthSize)
{
    return ClassifyNalSample(sample, length, lengthSize, HevcNalIsSyncPoint);
}

int HevcLengthSizeFromExtraData(const uint8_t *extra, uint32_t length)
{
    // hvcC: 22 bytes of profile and format fields, then lengthSizeMinusOne in the low two bits
    // of byte 21. Parameter sets in Annex B form start with a start code instead.
    if (!extra || length < 23 || StartsWithStartCode(extra, length))
        return 0;
    const int size = (extra[21] & 3) + 1;
    return size == 3 ? 0 : size;
}

int H264LengthSizeFromExtraData(const uint8_t *extra, uint32_t length)
{
    // avcC: configurationVersion 1, profile, compatibility, level, then 6 reserved bits and
    // lengthSizeMinusOne.
    if (!extra || length < 7 || extra[0] != 1)
        return 0;
    const int size = (extra[4] & 3) + 1;
    return size == 3 ? 0 : size;
}
