// Feeds arbitrary bytes to one of the readers over libavformat (the first byte chooses which) on
// a memory block: get info, reads of both kinds (retrying a too-small buffer as the probe does),
// seeks of every mode, then reads again.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/byte_stream.h"
#include "engine/source/file_back_end.h"
#include "engine/source/lavf_reader.h"
#include "fuzz/reader_drive.h"

namespace {

constexpr int kMaxReads = 256;
// libavformat may assemble packets from several pieces, never anything near this.
constexpr uint32_t kLargestSample = 64u << 20;

const ReaderOps *const kReaders[] = {
    &g_Mp4ReaderOps,
    &g_AsfReaderOps,
    &g_FlvReaderOps,
    &g_ProgramStreamReaderOps,
    &g_OggReaderOps,
    &g_RealMediaReaderOps,
    &g_TransportStreamReaderOps,
    &g_WaveReaderOps,
    &g_QcelpReaderOps,
    &g_JpegReaderOps,
    &g_ElementaryAudioReaderOps,
};

} // namespace

// libavformat's complaints about damaged input would cost more than the runs themselves.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    const ReaderOps *ops = kReaders[data[0] % std::size(kReaders)];
    std::vector<uint8_t> block = MemoryBlock(nullptr, 0, data + 1, size - 1);

    ByteStream *stream = nullptr;
    if (ByteStreamOpenWith(&g_FileBackEndOps, reinterpret_cast<const wchar_t *>(block.data()),
                           block.size(), &stream) != VANTOR_OK)
        return 0;
    void *reader = nullptr;
    if (ops->OpenOnStream(stream, &reader) == VANTOR_OK) {
        MediaInfo info{};
        if (ops->GetInfo(reader, &info) == VANTOR_OK) {
            if (info.nVideoCount > kMaxVideoStreams || info.nAudioCount > kMaxAudioStreams ||
                info.nTextCount != 0)
                __builtin_trap();
            for (uint32_t i = 0; i < info.nVideoCount; ++i)
                if (info.video[i].nExtraDataLength > kMaxExtraData)
                    __builtin_trap();
            for (uint32_t i = 0; i < info.nAudioCount; ++i)
                if (info.audio[i].nExtraDataLength > kMaxExtraData)
                    __builtin_trap();
            ReadSome(*ops, reader, SAMPLE_KIND_VIDEO, kMaxReads, kLargestSample);
            ReadSome(*ops, reader, SAMPLE_KIND_AUDIO, kMaxReads, kLargestSample);
            SeekAndRead(*ops, reader, info.nDuration, kMaxReads, kLargestSample);
        }
        ops->Close(reader);
    }
    ByteStreamClose(stream);
    return 0;
}
