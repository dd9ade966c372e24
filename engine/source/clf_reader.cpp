#include "engine/source/clf_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"

namespace {

ClfReader *Cast(void *instance)
{
    return static_cast<ClfReader *>(instance);
}

int64_t Tell(ByteStream *stream, int32_t cursor)
{
    return stream->pOps->Tell(stream->pInstance, cursor);
}

int32_t SeekTo(ByteStream *stream, int32_t cursor, int64_t position)
{
    return stream->pOps->Seek(stream->pInstance, cursor, position);
}

int32_t SkipBy(ByteStream *stream, int32_t cursor, int64_t offset)
{
    return stream->pOps->Skip(stream->pInstance, cursor, offset);
}

void FreeStream(ClfStream *s)
{
    if (!s)
        return;
    // The cursor goes before the clone closes with the stream record.
    if (s->stream && s->nCursor >= 0)
        s->stream->pOps->FreeCursor(s->stream->pInstance, s->nCursor);
    delete s;
}

void FreeStreams(ClfReader *reader)
{
    for (uint32_t i = 0; i < reader->nStreamCount; ++i) {
        FreeStream(reader->streams[i]);
        reader->streams[i] = nullptr;
    }
    reader->nStreamCount = 0;
    reader->pVideo = reader->pAudio = reader->pText = nullptr;
}

uint32_t TagOf(int32_t kind)
{
    switch (kind) {
    case SAMPLE_KIND_VIDEO:
        return CLF_TAG_VIDEO;
    case SAMPLE_KIND_AUDIO:
        return CLF_TAG_AUDIO;
    default:
        return CLF_TAG_TEXT;
    }
}

int32_t AddStream(ClfReader *reader, int32_t kind)
{
    auto *s = new (std::nothrow) ClfStream{};
    if (!s)
        return VANTOR_E_OUT_OF_MEMORY;
    s->nCursor = -1;
    s->nKind = kind;
    s->nTag = TagOf(kind);
    reader->streams[reader->nStreamCount++] = s;
    ByteStream *clone = nullptr;
    int32_t result = ByteStreamClone(reader->pStream, &clone);
    if (result < 0)
        return result;
    s->stream.reset(clone);
    s->nCursor = clone->pOps->NewCursor(clone->pInstance, 0);
    if (s->nCursor < 0)
        return s->nCursor;
    ClfStream **selected = kind == SAMPLE_KIND_VIDEO   ? &reader->pVideo
                           : kind == SAMPLE_KIND_AUDIO ? &reader->pAudio
                                                       : &reader->pText;
    if (!*selected)
        *selected = s;
    return VANTOR_OK;
}

// Reads the header fields in sequence; the first failure sticks, so one check per group does.
class HeaderParser
{
public:
    HeaderParser(ClfReader *reader) : m_pReader(reader) { reader->pStream->nLastError = 0; }

    uint32_t Word() { return ByteStreamReadBE32(m_pReader->pStream, m_pReader->nMainCursor); }

    bool Failed() const { return m_pReader->pStream->nLastError != 0; }

    int64_t Remaining() const
    {
        const int64_t at = Tell(m_pReader->pStream, m_pReader->nMainCursor);
        return at < 0 ? 0 : m_pReader->nFileSize - at;
    }

    // A count beyond what the records hold is a damaged or hostile header, not a big file.
    bool Count(uint32_t limit, uint32_t *count)
    {
        const uint32_t n = Word();
        if (Failed() || n > limit)
            return false;
        *count = n;
        return true;
    }

    bool ExtraData(uint8_t *destination, uint32_t *length)
    {
        if (Failed() || *length > kMaxExtraData || *length > Remaining())
            return false;
        if (*length == 0)
            return true;
        ByteStream *stream = m_pReader->pStream;
        const int32_t got = stream->pOps->CursorRead(stream->pInstance, m_pReader->nMainCursor,
                                                     destination, *length);
        return got == static_cast<int32_t>(*length);
    }

    // A sample cannot be larger than the file; a bigger claim must not size a buffer.
    uint32_t SampleSize()
    {
        const uint32_t size = Word();
        return static_cast<uint32_t>(std::min<int64_t>(size, m_pReader->nFileSize));
    }

private:
    ClfReader *m_pReader;
};

int32_t ParseHeader(ClfReader *reader, MediaInfo *info)
{
    if (SeekTo(reader->pStream, reader->nMainCursor, 4) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    HeaderParser p(reader);
    info->nMediaType = kClfMediaType;
    info->nDuration = p.Word();

    if (!p.Count(kMaxVideoStreams, &info->nVideoCount))
        return VANTOR_E_STREAM_SYNTAX;
    for (uint32_t i = 0; i < info->nVideoCount; ++i) {
        VIDEO_STREAM_INFO &v = info->video[i];
        v.nFourcc = FourccFromBigEndianWord(p.Word());
        v.nWidth = p.Word();
        v.nHeight = p.Word();
        v.nFrameRate = p.Word();
        v.nExtraValue = p.Word();
        v.nDuration = p.Word();
        v.nMaxSampleSize = p.SampleSize();
        v.nExtraDataLength = p.Word();
        if (!p.ExtraData(v.byExtraData, &v.nExtraDataLength))
            return VANTOR_E_STREAM_SYNTAX;
    }

    if (!p.Count(kMaxAudioStreams, &info->nAudioCount))
        return VANTOR_E_STREAM_SYNTAX;
    for (uint32_t i = 0; i < info->nAudioCount; ++i) {
        AUDIO_STREAM_INFO &a = info->audio[i];
        a.nFormat = p.Word();
        a.nSampleRate = p.Word();
        a.nChannels = p.Word();
        a.nBitsPerSample = p.Word();
        a.nBitRate = p.Word();
        a.nDuration = p.Word();
        a.nMaxSampleSize = p.SampleSize();
        a.nExtraDataLength = p.Word();
        if (!p.ExtraData(a.byExtraData, &a.nExtraDataLength))
            return VANTOR_E_STREAM_SYNTAX;
    }

    if (!p.Count(kMaxTextStreams, &info->nTextCount))
        return VANTOR_E_STREAM_SYNTAX;
    for (uint32_t i = 0; i < info->nTextCount; ++i) {
        TEXT_STREAM_INFO &t = info->text[i];
        t.nCodec = FourccFromBigEndianWord(p.Word());
        t.nParam1 = p.Word();
        t.nParam2 = p.Word();
        t.nDuration = p.Word();
        t.nMaxSampleSize = p.SampleSize();
    }
    if (p.Failed() || SkipBy(reader->pStream, reader->nMainCursor, 4) < 0)
        return VANTOR_E_STREAM_SYNTAX;
    (void)p.Word();
    if (p.Failed())
        return VANTOR_E_STREAM_SYNTAX;
    reader->nDataStart = Tell(reader->pStream, reader->nMainCursor);
    return reader->nDataStart < 0 ? VANTOR_E_STREAM_SYNTAX : VANTOR_OK;
}

struct RecordHeader
{
    uint32_t nTag;
    uint32_t nTime;
    uint32_t nSize;
};

uint32_t BigEndianAt(const uint8_t *p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// One read for the whole record header: the cursors are unbuffered, and every record is walked
// past by each stream.
bool ReadRecordHeader(ByteStream *stream, int32_t cursor, RecordHeader *record)
{
    uint8_t bytes[kClfRecordHeaderSize];
    const int32_t got =
        stream->pOps->CursorRead(stream->pInstance, cursor, bytes, kClfRecordHeaderSize);
    if (got != static_cast<int32_t>(kClfRecordHeaderSize))
        return false;
    record->nTag = BigEndianAt(bytes);
    record->nTime = BigEndianAt(bytes + 4);
    record->nSize = BigEndianAt(bytes + 8);
    return true;
}

// Walks the data section with the main cursor for the first record of the stream's kind at or
// after *time; on success *time becomes that record's time.
bool FindRecord(ClfReader *reader, ClfStream *s, uint32_t *time)
{
    ByteStream *stream = reader->pStream;
    const int32_t cursor = reader->nMainCursor;
    if (SeekTo(stream, cursor, reader->nDataStart) < 0)
        return false;
    for (;;) {
        const int64_t at = Tell(stream, cursor);
        RecordHeader record;
        if (at < 0 || !ReadRecordHeader(stream, cursor, &record) || record.nSize == 0)
            return false;
        if (record.nTag == s->nTag && record.nTime >= *time) {
            s->nFoundPosition = at;
            *time = record.nTime;
            return true;
        }
        if (SkipBy(stream, cursor, record.nSize) < 0)
            return false;
    }
}

int32_t OpenOnStream(ByteStream *stream, void **instance)
{
    *instance = nullptr;
    std::unique_ptr<ClfReader> reader(new (std::nothrow) ClfReader{});
    if (!reader)
        return VANTOR_E_OUT_OF_MEMORY;
    reader->pStream = stream;
    reader->nMainCursor = stream->pOps->NewCursor(stream->pInstance, 0);
    if (reader->nMainCursor < 0)
        return reader->nMainCursor;
    uint8_t magic[4] = {};
    const int32_t got = stream->pOps->CursorRead(stream->pInstance, reader->nMainCursor, magic, 4);
    if (got != 4 || std::memcmp(magic, "CLF ", 4) != 0) {
        stream->pOps->FreeCursor(stream->pInstance, reader->nMainCursor);
        return VANTOR_E_STREAM_SYNTAX;
    }
    reader->nFileSize = ByteStreamTotalSize(stream);
    *instance = reader.release();
    return VANTOR_OK;
}

void Close(void *instance)
{
    ClfReader *reader = Cast(instance);
    if (!reader)
        return;
    FreeStreams(reader);
    reader->pStream->pOps->FreeCursor(reader->pStream->pInstance, reader->nMainCursor);
    delete reader;
}

int32_t GetInfo(void *instance, MediaInfo *info)
{
    ClfReader *reader = Cast(instance);
    FreeStreams(reader);
    int32_t result = ParseHeader(reader, info);
    if (result < 0)
        return result;
    const std::pair<uint32_t, int32_t> kinds[] = {{info->nVideoCount, SAMPLE_KIND_VIDEO},
                                                  {info->nAudioCount, SAMPLE_KIND_AUDIO},
                                                  {info->nTextCount, SAMPLE_KIND_TEXT}};
    for (const auto &[count, kind] : kinds) {
        for (uint32_t i = 0; i < count && result == VANTOR_OK; ++i)
            result = AddStream(reader, kind);
    }
    for (uint32_t i = 0; i < reader->nStreamCount && result == VANTOR_OK; ++i) {
        ClfStream *s = reader->streams[i];
        result = SeekTo(s->stream.get(), s->nCursor, reader->nDataStart);
        s->nFoundPosition = reader->nDataStart;
    }
    if (result < 0)
        FreeStreams(reader);
    return result;
}

int32_t ReadSample(void *instance, SampleRequest *request)
{
    ClfReader *reader = Cast(instance);
    ClfStream *s = request->nKind == SAMPLE_KIND_VIDEO   ? reader->pVideo
                   : request->nKind == SAMPLE_KIND_AUDIO ? reader->pAudio
                   : request->nKind == SAMPLE_KIND_TEXT  ? reader->pText
                                                         : nullptr;
    if (!s)
        return VANTOR_E_NO_STREAM;
    ByteStream *stream = s->stream.get();
    for (;;) {
        const int64_t at = Tell(stream, s->nCursor);
        RecordHeader record;
        if (at < 0)
            return VANTOR_E_END_OF_STREAM;
        // An ended stream stays at the record that ended it, so later reads end there too.
        if (!ReadRecordHeader(stream, s->nCursor, &record) || record.nSize == 0) {
            SeekTo(stream, s->nCursor, at);
            return VANTOR_E_END_OF_STREAM;
        }
        if (record.nTag != s->nTag) {
            if (SkipBy(stream, s->nCursor, record.nSize) < 0) {
                SeekTo(stream, s->nCursor, at);
                return VANTOR_E_END_OF_STREAM;
            }
            continue;
        }
        const int64_t left = reader->nFileSize - (at + kClfRecordHeaderSize);
        if (record.nSize > left) {
            SeekTo(stream, s->nCursor, at);
            return VANTOR_E_END_OF_STREAM; // truncated in the middle of this record
        }
        if (record.nSize > request->nBufferSize || !request->pBuffer) {
            // Back to the record, so a caller who retries with the size asked for gets it.
            request->nBufferSize = record.nSize;
            SeekTo(stream, s->nCursor, at);
            return VANTOR_E_BUFFER_TOO_SMALL;
        }
        const int32_t got =
            stream->pOps->CursorRead(stream->pInstance, s->nCursor, request->pBuffer, record.nSize);
        if (got < 0)
            return got;
        if (static_cast<uint32_t>(got) != record.nSize)
            return VANTOR_E_READ;
        request->nLength = record.nSize;
        request->nTime = record.nTime;
        request->nDuration = 0;
        return VANTOR_OK;
    }
}

int32_t Seek(void *instance, uint32_t *position, int32_t precise)
{
    ClfReader *reader = Cast(instance);
    uint32_t time = *position;
    ClfStream *first = precise ? reader->pAudio : reader->pVideo;
    ClfStream *second = precise ? reader->pVideo : reader->pAudio;
    if (first && !FindRecord(reader, first, &time))
        return 0;
    if (second && !FindRecord(reader, second, &time))
        return 0;
    for (ClfStream *s : {reader->pVideo, reader->pAudio}) {
        if (s && SeekTo(s->stream.get(), s->nCursor, s->nFoundPosition) < 0)
            return 0;
    }
    *position = time;
    return 1;
}

int32_t SeekToKeyFrame(void *instance, uint32_t *position, int32_t)
{
    return Seek(instance, position, 0);
}

} // namespace

const ReaderOps g_ClfReaderOps = {
    .OpenOnStream = OpenOnStream,
    .OpenOnRequest = nullptr,
    .Close = Close,
    .GetInfo = GetInfo,
    .SetStartPosition = nullptr,
    .MakeIndex = nullptr,
    .ReadSample = ReadSample,
    .Seek = Seek,
    .SeekToKeyFrame = SeekToKeyFrame,
    .BufferingReport = nullptr,
    .Control = nullptr,
};
