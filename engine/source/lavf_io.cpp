#include "engine/source/lavf_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

#include "engine/core/vantor_errors.h"
#include "engine/source/lavf_reader_internal.h"

namespace {

// The demuxers the elementary-audio probe may end in.
constexpr const char *kElementaryAudioDemuxers[] = {"mp3", "amr", "amrnb", "amrwb"};

} // namespace

int LavfIoRead(void *opaque, uint8_t *buffer, int size)
{
    auto *stream = static_cast<ByteStream *>(opaque);
    const int32_t got =
        stream->pOps->SequentialRead(stream->pInstance, buffer, static_cast<uint32_t>(size));
    if (got > 0)
        return got;
    const int64_t total = ByteStreamTotalSize(stream);
    if (got == 0 || stream->pOps->SequentialPosition(stream->pInstance) >= total)
        return AVERROR_EOF;
    return AVERROR(EIO);
}

int64_t LavfIoSeek(void *opaque, int64_t offset, int whence)
{
    auto *stream = static_cast<ByteStream *>(opaque);
    const int64_t total = ByteStreamTotalSize(stream);
    if (whence & AVSEEK_SIZE)
        return total >= 0 ? total : AVERROR(ENOSYS);
    const int64_t here = stream->pOps->SequentialPosition(stream->pInstance);
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = here + offset;
        break;
    case SEEK_END:
        target = total + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0 || target > total)
        return AVERROR(EINVAL);
    if (stream->pOps->SequentialSkip(stream->pInstance, target - here) < 0)
        return AVERROR(EIO);
    return target;
}

int32_t LavfOpenIo(lavf::Demuxer *d, ByteStream *stream)
{
    auto *buffer = static_cast<uint8_t *>(av_malloc(kLavfIoBufferSize));
    if (!buffer)
        return VANTOR_E_OUT_OF_MEMORY;
    AVIOContext *io =
        avio_alloc_context(buffer, kLavfIoBufferSize, 0, stream, LavfIoRead, nullptr, LavfIoSeek);
    if (!io) {
        av_free(buffer);
        return VANTOR_E_OUT_OF_MEMORY;
    }
    d->pIo.reset(io);
    return VANTOR_OK;
}

bool LavfIsElementaryAudio(const AVInputFormat *format)
{
    if (!format)
        return false;
    for (const char *name : kElementaryAudioDemuxers) {
        if (std::strcmp(format->name, name) == 0)
            return true;
    }
    return false;
}

int32_t LavfOpenDemuxer(lavf::Demuxer *d, ByteStream *stream, const char *demuxer,
                        const AVInputFormat *format)
{
    if (const int32_t result = LavfOpenIo(d, stream); result < 0)
        return result;
    AVIOContext *io = d->pIo.get();
    if (!lavf::AllocatePackets(d))
        return VANTOR_E_OUT_OF_MEMORY;

    if (!format && demuxer) {
        format = av_find_input_format(demuxer);
        if (!format)
            return VANTOR_E_UNSUPPORTED_FILE;
    } else if (!format) {
        const int score = av_probe_input_buffer2(io, &format, "", nullptr, 0, 0);
        if (score < 0 || !LavfIsElementaryAudio(format))
            return VANTOR_E_UNSUPPORTED_FILE;
    }
    AVFormatContext *input = avformat_alloc_context();
    if (!input)
        return VANTOR_E_OUT_OF_MEMORY;
    input->pb = io;
    // While a download is under way, reading the end for a duration would wait for all of it.
    if (ByteStreamAvailableSize(stream) < ByteStreamTotalSize(stream))
        input->skip_estimate_duration_from_pts = 1;
    // On failure libavformat frees the context itself.
    const int result = avformat_open_input(&input, "", format, nullptr);
    // A damaged header can give any code, memory among them: it is the file's syntax.
    if (result < 0)
        return VANTOR_E_STREAM_SYNTAX;
    d->pInput.reset(input);
    return VANTOR_OK;
}
