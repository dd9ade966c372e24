// Feeds arbitrary bytes, behind a RIFF AVI head, to the AVI reader on a memory block: get info,
// index completion, reads of both kinds (retrying a too-small buffer as the probe does), seeks
// and key-frame seeks, then reads again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/avi_reader.h"
#include "engine/source/byte_stream.h"
#include "engine/source/file_back_end.h"

namespace {

constexpr int kMaxReads = 512;
constexpr int kMaxIndexCalls = 4;

void ReadSome(void *reader, int32_t kind, uint64_t limit)
{
    std::vector<uint8_t> buffer(64);
    for (int i = 0; i < kMaxReads; ++i) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        const int32_t result = g_AviReaderOps.ReadSample(reader, &request);
        if (result == VANTOR_OK) {
            if (request.nLength > buffer.size() || request.nLength == 0)
                __builtin_trap(); // more than the buffer holds, or an empty sample
            continue;
        }
        if (result != VANTOR_E_BUFFER_TOO_SMALL)
            return;
        if (request.nBufferSize <= buffer.size() || request.nBufferSize > limit)
            __builtin_trap(); // a size the file cannot hold
        buffer.resize(request.nBufferSize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 22))
        return 0;
    // The first 12 bytes are always a RIFF AVI head, so the fuzzer spends its time inside.
    std::vector<uint8_t> block(4 + 12 + size);
    const size_t length = 12 + size;
    block[0] = static_cast<uint8_t>(length >> 24);
    block[1] = static_cast<uint8_t>(length >> 16);
    block[2] = static_cast<uint8_t>(length >> 8);
    block[3] = static_cast<uint8_t>(length);
    std::memcpy(block.data() + 4, "RIFF\0\0\0\0AVI ", 12);
    if (size)
        std::memcpy(block.data() + 16, data, size);

    ByteStream *stream = nullptr;
    if (ByteStreamOpenWith(&g_FileBackEndOps, reinterpret_cast<const wchar_t *>(block.data()),
                           block.size(), &stream) != VANTOR_OK)
        return 0;
    void *reader = nullptr;
    if (g_AviReaderOps.OpenOnStream(stream, &reader) == VANTOR_OK) {
        MediaInfo info{};
        if (g_AviReaderOps.GetInfo(reader, &info) == VANTOR_OK) {
            if (info.nVideoCount > kMaxVideoStreams || info.nAudioCount > kMaxAudioStreams ||
                info.nTextCount != 0 || info.video[0].nExtraDataLength > kMaxExtraData ||
                info.audio[0].nExtraDataLength > kMaxExtraData)
                __builtin_trap();
            for (int i = 0; i < kMaxIndexCalls; ++i) {
                if (g_AviReaderOps.MakeIndex(reader) != VANTOR_E_NOT_YET)
                    break;
            }
            ReadSome(reader, SAMPLE_KIND_VIDEO, length);
            ReadSome(reader, SAMPLE_KIND_AUDIO, length);
            for (uint32_t target : {info.nDuration / 2, 0u, info.nDuration, 0xFFFFFFFFu}) {
                uint32_t position = target;
                (void)g_AviReaderOps.Seek(reader, &position, target & 1);
                ReadSome(reader, SAMPLE_KIND_AUDIO, length);
                position = target;
                (void)g_AviReaderOps.SeekToKeyFrame(reader, &position, target & 2);
                ReadSome(reader, SAMPLE_KIND_VIDEO, length);
            }
        }
        g_AviReaderOps.Close(reader);
    }
    ByteStreamClose(stream);
    return 0;
}
