#include "engine/source/byte_stream.h"

#include <cwchar>
#include <memory>
#include <new>

#include "engine/core/vantor_errors.h"
#include "engine/source/file_back_end.h"
#include "engine/source/http_back_end.h"

namespace {

// Back-ends chosen by locator prefix; a null table means the back-end is not built in.
struct BackEndEntry
{
    const wchar_t *szPrefix;
    const ByteStreamOps *pOps;
};

constexpr BackEndEntry kPrefixedBackEnds[] = {
    {L"http://", &g_HttpBackEndOps},
    {L"httpm://", &g_HttpBackEndOps},
};

bool StartsWith(const wchar_t *text, const wchar_t *prefix)
{
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

uint64_t ReadUnsigned(ByteStream *stream, int32_t cursor, uint32_t bytes, bool bigEndian)
{
    const int32_t got =
        stream->pOps->CursorRead(stream->pInstance, cursor, stream->byScratch, bytes);
    if (got < 0) {
        stream->nLastError = got;
        return 0;
    }
    if (static_cast<uint32_t>(got) != bytes) {
        stream->nLastError = VANTOR_E_READ;
        return 0;
    }
    uint64_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        const uint32_t at = bigEndian ? i : bytes - 1 - i;
        value = (value << 8) | stream->byScratch[at];
    }
    return value;
}

} // namespace

int32_t ByteStreamOpenWith(const ByteStreamOps *ops, const wchar_t *locator,
                           uintptr_t streamArgument, ByteStream **stream)
{
    *stream = nullptr;
    std::unique_ptr<ByteStream> created(new (std::nothrow) ByteStream{});
    if (!created)
        return VANTOR_E_OUT_OF_MEMORY;
    created->pOps = ops;
    const int32_t result = ops->Open(locator, streamArgument, &created->pInstance);
    if (result < 0)
        return result;
    *stream = created.release();
    return VANTOR_OK;
}

int32_t ByteStreamOpen(const wchar_t *locator, uintptr_t streamArgument, ByteStream **stream)
{
    *stream = nullptr;
    if (!locator)
        return VANTOR_E_INVALID_ARG;
    // A non-zero argument means the locator points at a memory block, not at text: reading it
    // as a wide string could run past the block.
    if (streamArgument == 0) {
        for (const BackEndEntry &entry : kPrefixedBackEnds) {
            if (StartsWith(locator, entry.szPrefix)) {
                if (!entry.pOps)
                    return VANTOR_E_UNSUPPORTED_URL;
                return ByteStreamOpenWith(entry.pOps, locator, streamArgument, stream);
            }
        }
    }
    return ByteStreamOpenWith(&g_FileBackEndOps, locator, streamArgument, stream);
}

int32_t ByteStreamClone(ByteStream *stream, ByteStream **clone)
{
    *clone = nullptr;
    std::unique_ptr<ByteStream> created(new (std::nothrow) ByteStream{});
    if (!created)
        return VANTOR_E_OUT_OF_MEMORY;
    created->pOps = stream->pOps;
    const int32_t result = stream->pOps->Clone(stream->pInstance, &created->pInstance);
    if (result < 0)
        return result;
    *clone = created.release();
    return VANTOR_OK;
}

void ByteStreamClose(ByteStream *stream)
{
    if (!stream)
        return;
    if (stream->pInstance)
        stream->pOps->Close(stream->pInstance);
    delete stream;
}

int64_t ByteStreamTotalSize(ByteStream *stream)
{
    return stream->pOps->TotalSize(stream->pInstance);
}

int64_t ByteStreamAvailableSize(ByteStream *stream)
{
    if (stream->pOps->AvailableSize)
        return stream->pOps->AvailableSize(stream->pInstance);
    return stream->pOps->TotalSize(stream->pInstance);
}

uint32_t ByteStreamRead8(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 1, true));
}

uint32_t ByteStreamReadBE16(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 2, true));
}

uint32_t ByteStreamReadBE24(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 3, true));
}

uint32_t ByteStreamReadBE32(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 4, true));
}

uint64_t ByteStreamReadBE64(ByteStream *stream, int32_t cursor)
{
    return ReadUnsigned(stream, cursor, 8, true);
}

uint32_t ByteStreamReadLE16(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 2, false));
}

uint32_t ByteStreamReadLE24(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 3, false));
}

uint32_t ByteStreamReadLE32(ByteStream *stream, int32_t cursor)
{
    return static_cast<uint32_t>(ReadUnsigned(stream, cursor, 4, false));
}

uint64_t ByteStreamReadLE64(ByteStream *stream, int32_t cursor)
{
    return ReadUnsigned(stream, cursor, 8, false);
}
