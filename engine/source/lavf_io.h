#pragma once

// The bridge between libavformat's I/O context and our byte streams: the read and seek
// callbacks over the stream's sequential position, and the opening of a demuxer through them.
// Everything runs on the thread that holds the source lock (or on a reader's own clone).

#include <cstdint>

struct AVInputFormat;
struct ByteStream;
namespace lavf {
struct Demuxer;
}

// Size of the buffer each I/O context reads the stream in.
constexpr int kLavfIoBufferSize = 32768;

// The I/O context's read callback; opaque is the ByteStream. Bytes read, AVERROR_EOF at the
// stream's end (nothing more to read, or the position at the total size), else AVERROR(EIO).
int LavfIoRead(void *opaque, uint8_t *buffer, int size);
// The seek callback: the new position, the total size for AVSEEK_SIZE (AVERROR(ENOSYS) when
// unknown), AVERROR(EINVAL) for a target before 0 or past the end or an unknown whence,
// AVERROR(EIO) when the stream cannot move there.
int64_t LavfIoSeek(void *opaque, int64_t offset, int whence);

// An I/O context over the stream in d->pIo, reading through the callbacks above; the stream
// stays the caller's. 0, or 0x80000001 when no memory is left.
int32_t LavfOpenIo(lavf::Demuxer *d, ByteStream *stream);

// Whether the demuxer is one the elementary-audio probe may end in: MPEG audio or AMR.
bool LavfIsElementaryAudio(const AVInputFormat *format);

// Opens a demuxer on the stream: the given one (by format or by name), or with neither what the
// elementary-audio probe finds, which must be MPEG audio or AMR. The I/O context, packets and
// input end up in d, owned there. 0 or a negative engine code: unsupported when the demuxer is
// missing or the probe finds something else, a syntax error when the header does not open.
int32_t LavfOpenDemuxer(lavf::Demuxer *d, ByteStream *stream, const char *demuxer,
                        const AVInputFormat *format = nullptr);
