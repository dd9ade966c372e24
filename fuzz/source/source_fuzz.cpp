// Feeds arbitrary bytes through detection, a source opened on a memory block, the reader's get
// info, reads of every kind (retrying a too-small buffer as the probe does) and seeks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/source/detect.h"
#include "engine/source/source_object.h"
#include "fuzz/reader_drive.h"

namespace {

constexpr int kMaxReads = 256;

void ReadSome(SourceObject *source, int32_t kind, uint64_t limit)
{
    std::vector<uint8_t> buffer(64);
    for (int i = 0; i < kMaxReads; ++i) {
        SampleRequest request{};
        request.pBuffer = buffer.data();
        request.nBufferSize = static_cast<uint32_t>(buffer.size());
        request.nKind = kind;
        int32_t readerResult = 0;
        if (SourceRead(source, &request, &readerResult) == VANTOR_OK) {
            if (request.nLength > buffer.size())
                __builtin_trap(); // delivered more than the buffer holds
            continue;
        }
        if (readerResult != VANTOR_E_BUFFER_TOO_SMALL)
            return;
        // The size asked for must be one the block can really hold.
        if (request.nBufferSize <= buffer.size() || request.nBufferSize > limit)
            __builtin_trap();
        buffer.resize(request.nBufferSize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)DetectContainer(data, size);
    if (size > (1u << 24))
        return 0;

    std::vector<uint8_t> block = MemoryBlock(nullptr, 0, data, size);

    SourceOpenRequest request{};
    request.szLocator = reinterpret_cast<const wchar_t *>(block.data());
    request.nStreamArgument = block.size();
    SourceObject *source = nullptr;
    if (SourceOpen(&request, &source) != VANTOR_OK)
        return 0;
    MediaInfo info{};
    if (SourceGetInfo(source, &info) == VANTOR_OK) {
        if (info.nVideoCount > kMaxVideoStreams || info.nAudioCount > kMaxAudioStreams ||
            info.nTextCount > kMaxTextStreams)
            __builtin_trap();
        for (int32_t kind : {SAMPLE_KIND_TEXT, SAMPLE_KIND_VIDEO, SAMPLE_KIND_AUDIO})
            ReadSome(source, kind, size);
        for (uint32_t target : {info.nDuration / 2, 0u, info.nDuration}) {
            uint32_t position = target;
            (void)SourceSeek(source, &position, target & 1);
            position = target;
            (void)SourceSeekToKeyFrame(source, &position, 0);
            ReadSome(source, SAMPLE_KIND_VIDEO, size);
        }
        uint32_t report[5];
        SourceBufferingReport(source, report);
    }
    SourceClose(source);
    return 0;
}
