#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/source/byte_stream.h"
#include "engine/source/detect.h"
#include "engine/source/media_info.h"
#include "engine/source/reader_ops.h"

// What the player holds for one open source. The source lock is innermost: nothing else is
// locked while it is held, and reader operations take no lock of their own.
struct SourceObject
{
    ByteStreamPtr stream; // null for readers opened on the request
    void *pReader;        // owned through pOps->Close, which runs before the stream closes
    const ReaderOps *pOps;
    ReaderKind kind;
    std::mutex lock; // serialises read, seek, key-frame seek and control
    bool bHasAudio;  // written by get info before any reader thread starts
    bool bHasVideo;
    bool bHasText;
    std::thread indexThread;
    std::atomic<bool> bIndexStop;
    std::atomic<bool> bIndexDone;
    std::mutex indexWaitLock; // guards nothing but the index thread's sleeps
    std::condition_variable indexWake;
};

// Chooses the locator kind, opens the byte stream, detects the container and opens its reader.
// On success *source is the caller's, freed with SourceClose; on failure everything opened so
// far is closed and the code returned (0x80000010 no file, 0x80000018 URL not supported,
// 0x80000019 unsupported content, or the reader's own code). Writes the format hint and, when
// there is no alternative locator, the stream's total size into the request.
int32_t SourceOpen(SourceOpenRequest *request, SourceObject **source);

// Opens a local file (UTF-8 path) or any other locator SourceOpen takes, and reads its media
// information with the defaults applied.
// On failure *source is null and nothing stays open.
int32_t SourceOpenPath(const std::string &path, SourceObject **source, MediaInfo *info);

// Wraps a reader already opened on a stream (both then belong to the source).
int32_t SourceAttach(ByteStream *stream, ReaderKind kind, const ReaderOps *ops, void *reader,
                     SourceObject **source);

// The reader's media information with the defaults applied to the fields it left 0; starts the
// index thread when the reader has a make-index operation. Status thread.
int32_t SourceGetInfo(SourceObject *source, MediaInfo *info);

// Fills the fields a reader left 0; stream size (0 = unknown) bounds every largest sample.
void ApplyMediaInfoDefaults(MediaInfo *info, int64_t streamSize);

// 0, or 0x80000017 when the position cannot be reached.
int32_t SourceSetStartPosition(SourceObject *source, uint32_t *position);

// 0 with the sample, 0x80000057 without a stream of the kind, 0x80000052 when the reader used
// up its slice of work (ask again: the source lock was let go meanwhile), 0x80000054 for every
// other reader failure (the kind ends). readerResult, when given, receives the reader's own answer
// (for callers that can retry 0x80000051 with a bigger buffer).
int32_t SourceRead(SourceObject *source, SampleRequest *request, int32_t *readerResult = nullptr);

// 1 when the streams moved (position written back), 0 otherwise.
int32_t SourceSeek(SourceObject *source, uint32_t *position, int32_t precise);
int32_t SourceSeekToKeyFrame(SourceObject *source, uint32_t *position, int32_t flag);

// Buffer fill %, download %, three further words.
void SourceBufferingReport(SourceObject *source, uint32_t report[5]);
// The same computation for a stream without a reader report.
void BufferingFromStream(int64_t total, int64_t available, int64_t sequentialPosition,
                         uint32_t report[5]);

// 1 playback stops, 2 resumes, 3 pauses; other codes are ignored.
int32_t SourceControl(SourceObject *source, int32_t code);

// Ends the index thread, closes the reader and the stream, frees the source; null is ignored.
void SourceClose(SourceObject *source);
using SourcePtr = std::unique_ptr<SourceObject, CloseWith<SourceClose>>;
