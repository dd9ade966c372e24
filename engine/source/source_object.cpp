#include "engine/source/source_object.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/core/fourcc.h"
#include "engine/core/vantor_errors.h"
#include "platform/thread_util.h"
#include "platform/wide_text.h"

namespace {

constexpr auto kIndexPause = std::chrono::milliseconds(1000);
constexpr auto kIndexYield = std::chrono::milliseconds(5);

uint32_t BoundedBy(uint64_t value, int64_t streamSize)
{
    if (streamSize > 0)
        value = std::min<uint64_t>(value, static_cast<uint64_t>(streamSize));
    return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

uint64_t AudioSampleSize(const AUDIO_STREAM_INFO &a)
{
    if (a.nBitRate)
        return uint64_t{a.nBitRate / 1000} * 125 / 2; // half a second
    return a.nSampleRate < 32772 ? a.nSampleRate / 4 : 8192;
}

uint64_t VideoSampleSize(const VIDEO_STREAM_INFO &v)
{
    const uint64_t pixels = uint64_t{v.nWidth} * v.nHeight;
    return pixels >= 2097154 ? 1048576 : pixels / 2;
}

uint64_t TextSampleSize(const TEXT_STREAM_INFO &t)
{
    return t.nParam1 ? uint64_t{t.nParam2} * 125 / t.nParam1 : 1024;
}

// Each make-index call works for one short slice; between slices the thread yields and sees the
// stop flag, so closing waits for one slice at most.
void IndexThreadMain(SourceObject *source)
{
    SetCurrentThreadName("ReaderMakeIndex");
    while (!source->bIndexStop.load()) {
        const int32_t result = source->pOps->MakeIndex(source->pReader);
        if (result < 0 && result != VANTOR_E_NOT_YET)
            break;
        std::unique_lock<std::mutex> guard(source->indexWaitLock);
        source->indexWake.wait_for(guard, result == VANTOR_E_NOT_YET ? kIndexYield : kIndexPause,
                                   [source] { return source->bIndexStop.load(); });
    }
    source->bIndexDone.store(true);
}

void StopIndexThread(SourceObject *source)
{
    if (!source->indexThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(source->indexWaitLock);
        source->bIndexStop.store(true);
    }
    source->indexWake.notify_all();
    source->indexThread.join();
}

// Reads the detection window; a short file gives what it has.
size_t ReadHead(ByteStream *stream, uint8_t *head, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const int32_t got = stream->pOps->SequentialRead(stream->pInstance, head + done,
                                                         static_cast<uint32_t>(size - done));
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    stream->pOps->SequentialRewind(stream->pInstance);
    return done;
}

int32_t OpenSession(SourceOpenRequest *request, SourceObject **source)
{
    const ReaderEntry &entry = ReaderFor(ReaderKind::Rtsp);
    if (!entry.pOps->OpenOnRequest)
        return VANTOR_E_UNSUPPORTED_FILE;
    void *reader = nullptr;
    const int32_t result = entry.pOps->OpenOnRequest(request, &reader);
    if (result < 0)
        return result;
    return SourceAttach(nullptr, entry.kind, entry.pOps, reader, source);
}

} // namespace

void ApplyMediaInfoDefaults(MediaInfo *info, int64_t streamSize)
{
    if (info->nBufferingTime == 0)
        info->nBufferingTime = 1000;
    for (uint32_t i = 0; i < std::min(info->nAudioCount, kMaxAudioStreams); ++i) {
        AUDIO_STREAM_INFO &a = info->audio[i];
        if (a.nMaxSampleSize == 0)
            a.nMaxSampleSize = BoundedBy(AudioSampleSize(a), streamSize);
        if (a.nDuration == 0)
            a.nDuration = info->nDuration;
    }
    for (uint32_t i = 0; i < std::min(info->nVideoCount, kMaxVideoStreams); ++i) {
        VIDEO_STREAM_INFO &v = info->video[i];
        if (v.nMaxSampleSize == 0)
            v.nMaxSampleSize = BoundedBy(VideoSampleSize(v), streamSize);
        if (v.nDuration == 0)
            v.nDuration = info->nDuration;
        v.nFourcc = FourccUpperCase(v.nFourcc);
    }
    for (uint32_t i = 0; i < std::min(info->nTextCount, kMaxTextStreams); ++i) {
        TEXT_STREAM_INFO &t = info->text[i];
        if (t.nMaxSampleSize == 0)
            t.nMaxSampleSize = BoundedBy(TextSampleSize(t), streamSize);
        if (t.nDuration == 0)
            t.nDuration = info->nDuration;
    }
}

int32_t SourceAttach(ByteStream *stream, ReaderKind kind, const ReaderOps *ops, void *reader,
                     SourceObject **source)
{
    ByteStreamPtr owned(stream);
    *source = new (std::nothrow) SourceObject{};
    if (!*source) {
        ops->Close(reader); // before its stream closes
        return VANTOR_E_OUT_OF_MEMORY;
    }
    (*source)->stream = std::move(owned);
    (*source)->pReader = reader;
    (*source)->pOps = ops;
    (*source)->kind = kind;
    return VANTOR_OK;
}

int32_t SourceOpen(SourceOpenRequest *request, SourceObject **source)
{
    *source = nullptr;
    if (!request || !request->szLocator)
        return VANTOR_E_INVALID_ARG;
    const bool hasAlternative = request->szAlternativeLocator != nullptr;
    // Without an alternative locator a non-zero argument makes the locator a memory block, which
    // has no name to look at.
    const bool locatorIsBlock = !hasAlternative && request->nStreamArgument != 0;
    if (!locatorIsBlock && IsSessionLocator(request->szLocator, hasAlternative))
        return OpenSession(request, source);

    ByteStream *opened = nullptr;
    int32_t result =
        ByteStreamOpen(hasAlternative ? request->szAlternativeLocator : request->szLocator,
                       request->nStreamArgument, &opened);
    if (result < 0)
        return result;
    ByteStreamPtr stream(opened);
    request->nFormatHint = locatorIsBlock ? 0 : FormatHintOf(request->szLocator);

    uint8_t head[kDetectWindow];
    const size_t got = ReadHead(stream.get(), head, sizeof head);
    const ReaderEntry &entry = ReaderFor(DetectContainer(head, got));
    if (!entry.pOps)
        return VANTOR_E_UNSUPPORTED_FILE;
    if (!hasAlternative)
        request->nStreamArgument = static_cast<uintptr_t>(ByteStreamTotalSize(stream.get()));

    void *reader = nullptr;
    result = entry.pOps->OpenOnStream(stream.get(), &reader);
    if (result < 0)
        return result;
    return SourceAttach(stream.release(), entry.kind, entry.pOps, reader, source);
}

int32_t SourceOpenPath(const std::string &path, SourceObject **source, MediaInfo *info)
{
    const std::wstring locator = Utf8ToWide(path);
    SourceOpenRequest request{};
    request.szLocator = locator.c_str();
    int32_t result = SourceOpen(&request, source);
    if (result == VANTOR_OK) {
        result = SourceGetInfo(*source, info);
        if (result < 0) {
            SourceClose(*source);
            *source = nullptr;
        }
    }
    return result;
}

int32_t SourceGetInfo(SourceObject *source, MediaInfo *info)
{
    void *tags = info->pTagRecord;
    std::memset(info, 0, sizeof *info);
    info->pTagRecord = tags;
    const int32_t result = source->pOps->GetInfo(source->pReader, info);
    if (result < 0)
        return result;
    ApplyMediaInfoDefaults(info, source->stream ? ByteStreamTotalSize(source->stream.get()) : 0);
    source->bHasAudio = info->nAudioCount != 0;
    source->bHasVideo = info->nVideoCount != 0;
    source->bHasText = info->nTextCount != 0;
    if (source->pOps->MakeIndex && !source->indexThread.joinable()) {
        source->bIndexStop.store(false);
        source->bIndexDone.store(false);
        try {
            source->indexThread = std::thread(IndexThreadMain, source);
        } catch (const std::system_error &) {
            return VANTOR_E_THREAD;
        }
    }
    return VANTOR_OK;
}

int32_t SourceSetStartPosition(SourceObject *source, uint32_t *position)
{
    if (source->pOps->SetStartPosition) {
        std::lock_guard<std::mutex> guard(source->lock);
        return source->pOps->SetStartPosition(source->pReader, position);
    }
    if (*position == 0)
        return VANTOR_OK;
    return SourceSeek(source, position, 0) ? VANTOR_OK : VANTOR_E_RANDOM_ACCESS;
}

int32_t SourceRead(SourceObject *source, SampleRequest *request, int32_t *readerResult)
{
    const bool present[] = {source->bHasAudio, source->bHasVideo, source->bHasText};
    if (request->nKind >= SAMPLE_KIND_AUDIO && request->nKind <= SAMPLE_KIND_TEXT &&
        !present[request->nKind - 1]) {
        if (readerResult)
            *readerResult = VANTOR_E_NO_STREAM;
        return VANTOR_E_NO_STREAM;
    }
    int32_t result;
    {
        std::lock_guard<std::mutex> guard(source->lock);
        result = source->pOps->ReadSample(source->pReader, request);
    }
    if (readerResult)
        *readerResult = result;
    if (result == VANTOR_OK || result == VANTOR_E_AGAIN)
        return result;
    return VANTOR_E_END_OF_STREAM;
}

int32_t SourceSeek(SourceObject *source, uint32_t *position, int32_t precise)
{
    std::lock_guard<std::mutex> guard(source->lock);
    if (!source->pOps->Seek)
        return 0;
    return source->pOps->Seek(source->pReader, position, precise) ? 1 : 0;
}

int32_t SourceSeekToKeyFrame(SourceObject *source, uint32_t *position, int32_t flag)
{
    std::lock_guard<std::mutex> guard(source->lock);
    int32_t moved = 0;
    if (source->pOps->SeekToKeyFrame)
        moved = source->pOps->SeekToKeyFrame(source->pReader, position, flag);
    else if (source->pOps->Seek)
        moved = source->pOps->Seek(source->pReader, position, 0);
    return moved ? 1 : 0;
}

void BufferingFromStream(int64_t total, int64_t available, int64_t sequentialPosition,
                         uint32_t report[5])
{
    std::fill(report, report + 5, 0);
    if (total <= 0 || available >= total) {
        report[0] = report[1] = 100;
        return;
    }
    available = std::max<int64_t>(available, 0);
    report[1] = static_cast<uint32_t>(available * 100 / total);
    // Less than ten bytes missing leaves no tenth to divide by: as good as complete.
    const int64_t tenthMissing = (total - available) / 10;
    if (tenthMissing == 0) {
        report[0] = 100;
        return;
    }
    const int64_t ahead = std::max<int64_t>(available - sequentialPosition, 0);
    report[0] = static_cast<uint32_t>(std::min<int64_t>(ahead * 100 / tenthMissing, 100));
}

void SourceBufferingReport(SourceObject *source, uint32_t report[5])
{
    if (source->pOps->BufferingReport) {
        std::fill(report, report + 5, 0);
        std::lock_guard<std::mutex> guard(source->lock);
        source->pOps->BufferingReport(source->pReader, report);
        return;
    }
    if (!source->stream) {
        BufferingFromStream(0, 0, 0, report);
        return;
    }
    // The sequential position moves with the reader's reads, on another thread: it is read
    // only from a stream still arriving, whose back-end keeps it in one atomic word.
    ByteStream *stream = source->stream.get();
    const int64_t total = ByteStreamTotalSize(stream);
    const int64_t available = ByteStreamAvailableSize(stream);
    BufferingFromStream(total, available,
                        available < total ? stream->pOps->SequentialPosition(stream->pInstance) : 0,
                        report);
}

int32_t SourceControl(SourceObject *source, int32_t code)
{
    if (code < 1 || code > 3 || !source->pOps->Control)
        return VANTOR_OK;
    std::lock_guard<std::mutex> guard(source->lock);
    return source->pOps->Control(source->pReader, code);
}

void SourceClose(SourceObject *source)
{
    if (!source)
        return;
    StopIndexThread(source);
    source->pOps->Close(source->pReader);
    source->stream.reset();
    delete source;
}
