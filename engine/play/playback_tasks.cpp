#include "engine/play/playback_tasks.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/core/vantor_errors.h"
#include "engine/output/ds_audio_out.h"
#include "engine/source/source_object.h"
#include "platform/thread_util.h"
#include "platform/tick_count.h"

namespace {

// A sample may grow its queue up to this; a larger one ends its stream.
constexpr uint32_t kLargestSampleCap = 32u << 20;
// The most one kind's queue holds, however large its samples: a bogus size must not take
// hundreds of megabytes.
constexpr uint64_t kQueueBytesCap = 64u << 20;
// The video task's pause when it has nothing to do.
constexpr int32_t kIdleWaitMs = 10;

void Sleep10ms()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool IsPlayingState(int32_t state)
{
    return state == VS_PLAYING || state == VS_END_WAIT;
}

void UpdateVideoEnded(Playback *pb)
{
    bool ended = pb->nSlots > 0;
    for (int32_t i = 0; i < pb->nSlots; ++i)
        ended = ended && pb->slots[i].bDrained && !pb->slots[i].bReady;
    if (ended)
        pb->bVideoEnded = true;
}

// Keeps a copy of the decoder's picture, which the next decode or reset may overwrite.
void KeepPicture(VideoSlot *slot, const VideoPicture &picture, int32_t width, int32_t height)
{
    const size_t lumaBytes = static_cast<size_t>(width) * height;
    const int32_t chromaWidth = width / 2, chromaHeight = height / 2;
    const size_t chromaBytes = static_cast<size_t>(chromaWidth) * chromaHeight;
    slot->frame.resize(lumaBytes + 2 * chromaBytes);
    uint8_t *y = slot->frame.data();
    uint8_t *u = y + lumaBytes;
    uint8_t *v = u + chromaBytes;
    const int32_t chromaStride = picture.nStride / 2;
    for (int32_t row = 0; row < height; ++row)
        std::memcpy(y + static_cast<size_t>(row) * width,
                    picture.pY + static_cast<ptrdiff_t>(row) * picture.nStride, width);
    for (int32_t row = 0; row < chromaHeight; ++row) {
        std::memcpy(u + static_cast<size_t>(row) * chromaWidth,
                    picture.pU + static_cast<ptrdiff_t>(row) * chromaStride, chromaWidth);
        std::memcpy(v + static_cast<size_t>(row) * chromaWidth,
                    picture.pV + static_cast<ptrdiff_t>(row) * chromaStride, chromaWidth);
    }
    slot->picture = VideoPicture{y, u, v, width};
}

// Releases the consumed part of the oldest sample, or puts the rest back.
void Consume(SampleQueue *queue, const QUEUED_SAMPLE &sample, uint32_t used, bool madeOutput)
{
    if (used < sample.nLength && (used > 0 || madeOutput))
        queue->PutBack(sample.pData + used, sample.nLength - used);
    else
        queue->Release(); // used up, or a decoder that takes nothing and gives nothing
}

} // namespace

int32_t PictureWaitMs(int32_t clockMs, int32_t pictureMs, int32_t ratePercent)
{
    const int64_t ahead = static_cast<int64_t>(pictureMs) - clockMs;
    if (ahead <= 0)
        return 0;
    if (ratePercent <= 0)
        return kMaxPictureWaitMs;
    // Clock ms to wall ms at the rate, rounded up so the picture is not shown a little early.
    const int64_t wall = (ahead * 100 + ratePercent - 1) / ratePercent;
    return static_cast<int32_t>(std::min<int64_t>(wall, kMaxPictureWaitMs));
}

std::unique_ptr<SampleQueue> MakeQueue(uint32_t largest, bool video)
{
    // Audio keeps three of its largest samples, video ten, 8-byte aligned with zero padding;
    // never more than the cap, which still holds two of the largest sample allowed.
    auto queue = std::make_unique<SampleQueue>();
    const uint64_t ring = std::max<uint64_t>(
        std::min<uint64_t>(static_cast<uint64_t>(largest) * (video ? 10 : 3), kQueueBytesCap),
        largest);
    if (ring > UINT32_MAX || !queue->Create(static_cast<uint32_t>(ring), largest, video ? 8 : 0))
        return nullptr;
    return queue;
}

ReadOutcome ReadIntoQueue(Playback *pb, std::unique_ptr<SampleQueue> *queue, int32_t kind,
                          uint32_t stream, bool video)
{
    uint8_t *space = nullptr;
    uint32_t capacity = 0;
    if (!(*queue)->TakeWriteSpace(&space, &capacity))
        return ReadOutcome::NoSpace;
    SampleRequest request{};
    request.pBuffer = space;
    request.nBufferSize = capacity;
    request.nKind = kind;
    request.nStream = stream;
    int32_t readerResult = 0;
    const int32_t result = SourceRead(pb->source.get(), &request, &readerResult);
    if (result == VANTOR_OK) {
        (*queue)->Commit(request.nLength, static_cast<int32_t>(request.nTime),
                         static_cast<int32_t>(request.nDuration));
        return ReadOutcome::Read;
    }
    if (result == VANTOR_E_AGAIN)
        return ReadOutcome::Again;
    if (readerResult != VANTOR_E_BUFFER_TOO_SMALL || request.nBufferSize <= capacity ||
        request.nBufferSize > kLargestSampleCap)
        return ReadOutcome::Ended;
    // The sample is larger than the stream said; the reader stays on it. Grow the queue once
    // everything in it has been decoded.
    if ((*queue)->Count() != 0)
        return ReadOutcome::NoSpace;
    auto grown = MakeQueue(request.nBufferSize, video);
    if (!grown)
        return ReadOutcome::Ended;
    *queue = std::move(grown);
    return ReadOutcome::NoSpace;
}

void ResetVideoDecoder(VideoSlot *slot)
{
    VideoDecoder *decoder = slot->decoder.get();
    if (!decoder)
        return;
    decoder->pOps->Reset(decoder);
    decoder->bWaitingForSync = 1;
    decoder->bSyncSeen = 0;
}

void ResetAudioDecoder(Playback *pb)
{
    AudioDecoder *decoder = pb->audioDecoder.get();
    if (!decoder)
        return;
    decoder->pOps->Reset(decoder);
    decoder->bRestart = 1;
    decoder->nSamplesSinceBase = 0;
    pb->nLastAudioTime = -1;
}

void SlotRead(Playback *pb, int32_t index)
{
    VideoSlot &slot = pb->slots[index];
    if (slot.bEnded || !slot.queue)
        return;
    if (ReadIntoQueue(pb, &slot.queue, SAMPLE_KIND_VIDEO, static_cast<uint32_t>(index), true) ==
        ReadOutcome::Ended)
        slot.bEnded = true;
}

bool SlotDecode(Playback *pb, int32_t index)
{
    VideoSlot &slot = pb->slots[index];
    VideoDecoder *decoder = slot.decoder.get();
    if (slot.bReady || !decoder || !slot.queue)
        return false;
    QUEUED_SAMPLE sample{};
    VideoPicture picture{};
    int32_t pictureMs = 0;
    uint32_t used = 0;
    if (!slot.queue->Peek(&sample)) {
        if (!slot.bEnded || slot.bDrained)
            return false;
        // End of the stream: collect what the decoder still holds.
        decoder->pOps->Decode(decoder, nullptr, 0, 0, &picture, &pictureMs, &used);
        if (!picture.pY) {
            slot.bDrained = true;
            UpdateVideoEnded(pb);
            return false;
        }
    } else {
        while (decoder->bWaitingForSync && decoder->pOps->Classify) {
            const int32_t kind = decoder->pOps->Classify(decoder, sample.pData, sample.nLength);
            bool skip = false;
            if (kind == 1) {
                decoder->bSyncSeen = 1;
                decoder->bWaitingForSync = 0;
            } else if (kind == 2) {
                skip = !decoder->bSyncSeen;
            } else if (kind == 3) {
                skip = true;
            } else {
                decoder->bWaitingForSync = 0;
            }
            if (!skip)
                break;
            slot.queue->Release();
            if (!slot.queue->Peek(&sample))
                return true;
        }
        const int32_t result = decoder->pOps->Decode(decoder, sample.pData, sample.nLength,
                                                     sample.nTime, &picture, &pictureMs, &used);
        if (result < 0)
            used = sample.nLength;
        Consume(slot.queue.get(), sample, std::min(used, sample.nLength), picture.pY != nullptr);
        if (!picture.pY)
            return true;
    }
    KeepPicture(&slot, picture, decoder->nWidth, decoder->nHeight);
    slot.nPictureMs = pictureMs;
    slot.bHavePicture = true;
    // Pictures before a seek target are decoded but not shown.
    slot.bReady = pictureMs >= pb->nWorkingPosition.load();
    return true;
}

int32_t SlotPresent(Playback *pb, int32_t index, bool forced)
{
    VideoSlot &slot = pb->slots[index];
    if (!slot.renderer || !slot.bHavePicture)
        return 0;
    if (forced) {
        if (slot.bReady || slot.bDrained) {
            VideoRendererPresent(slot.renderer.get(), &slot.picture);
            if (pb->pfnPresented)
                pb->pfnPresented(pb->pPresentedContext, index, slot.nPictureMs, true);
        }
        return 0;
    }
    if (!slot.bReady)
        return 0;
    const int32_t clockMs = pb->clock->Position();
    const int32_t wait = PictureWaitMs(clockMs, slot.nPictureMs, pb->clock->Rate());
    if (wait > 0)
        return wait;
    VideoRendererPresent(slot.renderer.get(), &slot.picture);
    if (pb->pfnPresented)
        pb->pfnPresented(pb->pPresentedContext, index, slot.nPictureMs, false);
    if (index == 0 && pb->bHasAudio && !pb->bAudioEnded)
        pb->avSync.Presented(slot.nPictureMs, clockMs, GetTickCount(), pb->clock->Rate());
    if (pb->bDecoderReset)
        ResetVideoDecoder(&slot);
    slot.bReady = false;
    UpdateVideoEnded(pb);
    return 0;
}

void TextStep(Playback *pb)
{
    if (!pb->textDecoder)
        return;
    if (pb->bTextPending) {
        if (pb->clock->Position() >= pb->pendingText.nTime) {
            pb->shownText = pb->pendingText;
            ++pb->nTextShown;
            pb->bTextPending = false;
        }
        return;
    }
    if (pb->bTextEnded)
        return;
    SampleRequest request{};
    request.pBuffer = pb->textBuffer.data();
    request.nBufferSize = static_cast<uint32_t>(pb->textBuffer.size());
    request.nKind = SAMPLE_KIND_TEXT;
    int32_t readerResult = 0;
    if (const int32_t result = SourceRead(pb->source.get(), &request, &readerResult);
        result != VANTOR_OK) {
        if (result == VANTOR_E_AGAIN)
            return; // on the next pass
        if (readerResult == VANTOR_E_BUFFER_TOO_SMALL &&
            request.nBufferSize > pb->textBuffer.size() && request.nBufferSize <= kLargestSampleCap)
            pb->textBuffer.resize(request.nBufferSize); // read it again on the next pass
        else
            pb->bTextEnded = true;
        return;
    }
    TEXT_LAYOUT layout;
    if (pb->pFactory->DecodeText(pb->textDecoder.get(), request.pBuffer, request.nLength,
                                 static_cast<int32_t>(request.nTime), &layout) == VANTOR_OK) {
        layout.nTime = static_cast<int32_t>(request.nTime);
        pb->pendingText = std::move(layout);
        pb->bTextPending = true;
    }
}

bool AudioDecodeOne(Playback *pb)
{
    AudioDecoder *decoder = pb->audioDecoder.get();
    if (!decoder || !pb->audioQueue || !pb->accumulator.HasRoomForFrame())
        return false;
    QUEUED_SAMPLE sample{};
    if (!pb->audioQueue->Peek(&sample))
        return false;
    if (decoder->bRestart || (decoder->nPerSampleTime && sample.nTime != pb->nLastAudioTime)) {
        decoder->nTimeBase = sample.nTime;
        decoder->nSamplesSinceBase = 0;
        decoder->bRestart = 0;
    }
    pb->nLastAudioTime = sample.nTime;
    uint32_t produced = 0, used = 0;
    const int32_t result = decoder->pOps->Decode(decoder, sample.pData, sample.nLength,
                                                 pb->decodeFrame.data(), &produced, &used);
    if (result < 0) {
        used = sample.nLength;
        produced = 0;
    }
    used = std::min(used, sample.nLength);
    produced = std::min(produced, decoder->nSamplesPerFrame);
    Consume(pb->audioQueue.get(), sample, used, produced != 0);
    decoder->nBytesConsumed += used;
    if (produced == 0)
        return true;
    const int32_t timeMs = decoder->nTimeBase + static_cast<int32_t>(decoder->nSamplesSinceBase *
                                                                     1000 / decoder->nSampleRate);
    decoder->nSamplesSinceBase += produced;
    // Sound before a seek target is decoded but not played.
    if (timeMs >= pb->nWorkingPosition.load())
        pb->accumulator.Append(pb->decodeFrame.data(), produced, timeMs);
    return true;
}

void DiscardAudioUntil(Playback *pb, int32_t timeMs)
{
    pb->nWorkingPosition = timeMs;
    pb->accumulator.Clear();
    AudioDecoder *decoder = pb->audioDecoder.get();
    if (!decoder || !pb->audioQueue)
        return;
    for (int guard = 0; guard < 4096; ++guard) {
        if (pb->audioQueue->Count() == 0) {
            if (pb->bAudioReadEnded || ReadIntoQueue(pb, &pb->audioQueue, SAMPLE_KIND_AUDIO, 0,
                                                     false) == ReadOutcome::Ended) {
                pb->bAudioReadEnded = true;
                break;
            }
            continue;
        }
        const int32_t next =
            decoder->bRestart
                ? -1
                : decoder->nTimeBase + static_cast<int32_t>(decoder->nSamplesSinceBase * 1000 /
                                                            decoder->nSampleRate);
        if (next >= timeMs)
            break;
        AudioDecodeOne(pb);
        pb->accumulator.Clear();
    }
}

void AudioTaskMain(Playback *pb)
{
    SetCurrentThreadName("Vantor Audio Task");
    RaiseCurrentThreadPriority();
    std::vector<int16_t> block;
    while (!pb->bStop.load()) {
        const int32_t state = pb->nState.load();
        pb->nAudioSeen = state;
        if (!IsPlayingState(state)) {
            Sleep10ms();
            continue;
        }
        AudioOut *out = nullptr;
        AudioPcmBlock pcm{};
        bool last = false;
        {
            std::lock_guard<std::mutex> guard(pb->audioLock);
            out = pb->audioOut.get();
            if (pb->accumulator.Offers()) {
                pb->accumulator.Interleave(&block);
                pcm = AudioPcmBlock{block.data(), nullptr, nullptr, pb->accumulator.Count(),
                                    pb->accumulator.FirstTime()};
                last = pb->accumulator.EndMark();
                pb->accumulator.Clear();
            }
        }
        if (pcm.nFrames)
            AudioOutWrite(out, &pcm); // may wait for room, without the audio lock
        bool decoded;
        {
            std::lock_guard<std::mutex> guard(pb->audioLock);
            decoded = AudioDecodeOne(pb);
            if (!pb->bAudioReadEnded && ReadIntoQueue(pb, &pb->audioQueue, SAMPLE_KIND_AUDIO, 0,
                                                      false) == ReadOutcome::Ended)
                pb->bAudioReadEnded = true;
            // The stream ends once its last sound has gone to the output.
            if (pb->bAudioReadEnded && pb->audioQueue->Count() == 0) {
                if (last || pb->accumulator.Count() == 0) {
                    pb->bAudioEnded = true;
                    pb->clock->AudioEnded();
                } else
                    pb->accumulator.SetEndMark();
            }
        }
        if (!decoded && !pcm.nFrames)
            Sleep10ms();
    }
    pb->nAudioSeen = VS_IDLE;
    DsAudioOutThreadEnd();
}

void VideoTaskMain(Playback *pb)
{
    SetCurrentThreadName("Vantor Video Task");
    RaiseCurrentThreadPriority();
    while (!pb->bStop.load()) {
        const int32_t state = pb->nState.load();
        pb->nVideoSeen = state;
        int32_t waitMs = kIdleWaitMs;
        if (IsPlayingState(state)) {
            std::lock_guard<std::mutex> guard(pb->videoLock);
            TextStep(pb);
            int32_t due = 0; // the soonest wait for a picture not yet due
            bool busy = false;
            for (int32_t i = 0; i < pb->nSlots; ++i) {
                const int32_t slotWait = SlotPresent(pb, i, false);
                if (slotWait > 0 && (due == 0 || slotWait < due))
                    due = slotWait;
                // Pictures before a seek target are decoded one after the other, without a
                // pause between them.
                busy = SlotDecode(pb, i) || busy;
                SlotRead(pb, i);
            }
            // A picture still to come is waited for to the millisecond; with nothing decoded
            // and nothing due, the task idles for a moment.
            waitMs = due > 0 ? due : busy ? 0 : kIdleWaitMs;
        } else if (state == VS_PAUSED) {
            std::lock_guard<std::mutex> guard(pb->videoLock);
            TextStep(pb);
            for (int32_t i = 0; i < pb->nSlots; ++i) {
                SlotRead(pb, i);
                SlotDecode(pb, i);
                SlotPresent(pb, i, true);
            }
        } else if (state == VS_RESUME || state == VS_PAUSING) {
            // The status thread leaves the slots alone in these states: show the picture again.
            std::lock_guard<std::mutex> guard(pb->videoLock);
            for (int32_t i = 0; i < pb->nSlots; ++i)
                SlotPresent(pb, i, true);
            pb->bTextPending = false;
        }
        // A state change (pause, seek, stop) or a speed change ends the wait early.
        if (waitMs > 0)
            pb->videoWake.Wait(static_cast<uint32_t>(waitMs));
    }
    pb->nVideoSeen = VS_IDLE;
}
