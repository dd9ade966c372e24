// Feeds arbitrary bytes, behind a RIFF AVI head, to the AVI reader on a memory block: get info,
// index completion, reads of both kinds (retrying a too-small buffer as the probe does), seeks
// and key-frame seeks, then reads again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/avi_reader.h"
#include "engine/source/byte_stream.h"
#include "engine/source/file_back_end.h"
#include "fuzz/reader_drive.h"

namespace {

constexpr int kMaxReads = 512;
constexpr int kMaxIndexCalls = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 22))
        return 0;
    // The first 12 bytes are always a RIFF AVI head, so the fuzzer spends its time inside.
    std::vector<uint8_t> block = MemoryBlock("RIFF\0\0\0\0AVI ", 12, data, size);
    const uint64_t length = 12 + size;

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
            ReadSome(g_AviReaderOps, reader, SAMPLE_KIND_VIDEO, kMaxReads, length);
            ReadSome(g_AviReaderOps, reader, SAMPLE_KIND_AUDIO, kMaxReads, length);
            SeekAndRead(g_AviReaderOps, reader, info.nDuration, kMaxReads, length);
        }
        g_AviReaderOps.Close(reader);
    }
    ByteStreamClose(stream);
    return 0;
}
