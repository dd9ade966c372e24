#include "engine/play/playback.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/core/vantor_errors.h"
#include "engine/output/ds_audio_out.h"
#include "engine/play/playback_tasks.h"
#include "engine/source/source_object.h"
#include "platform/tick_count.h"

namespace {

uint32_t LargestAudioSample(const MediaInfo &info)
{
    uint32_t largest = 0;
    for (uint32_t i = 0; i < info.nAudioCount && i < kMaxAudioStreams; ++i)
        largest = std::max(largest, info.audio[i].nMaxSampleSize);
    return std::max<uint32_t>(largest, 1);
}

uint32_t LargestTextSample(const MediaInfo &info)
{
    uint32_t largest = 0;
    for (uint32_t i = 0; i < info.nTextCount && i < kMaxTextStreams; ++i)
        largest = std::max(largest, info.text[i].nMaxSampleSize);
    return std::max<uint32_t>(largest, 1);
}

void DestroyVideoSlot(VideoSlot *slot)
{
    slot->decoder.reset();
    slot->renderer.reset();
    slot->queue.reset();
    slot->picture = VideoPicture{};
    slot->frame.clear();
    slot->bHavePicture = slot->bReady = slot->bEnded = slot->bDrained = false;
}

void DropVideo(Playback *pb, int32_t code)
{
    PlaybackSetError(pb, code);
    pb->bHasVideo = false;
    pb->bVideoEnded = true;
}

void DropAudio(Playback *pb, int32_t code)
{
    PlaybackSetError(pb, code);
    pb->bHasAudio = false;
    pb->bAudioEnded = true;
}

// Creates the slot's decoder from its first queued sample, or resets the one it has.
int32_t StartVideoDecoder(Playback *pb, int32_t index)
{
    VideoSlot &slot = pb->slots[index];
    if (slot.decoder) {
        ResetVideoDecoder(&slot);
        return VANTOR_OK;
    }
    QUEUED_SAMPLE first{};
    if (!slot.queue || !slot.queue->Peek(&first))
        return VANTOR_E_VIDEO_DECODER_INIT;
    VIDEO_STREAM_INFO &record = pb->info.video[index];
    VideoDecoder *created = nullptr;
    int32_t result = pb->pFactory->CreateVideo(record.nFourcc, &created);
    if (result != VANTOR_OK || created == nullptr)
        return result != VANTOR_OK ? result : VANTOR_E_UNSUPPORTED_VIDEO;
    VideoDecoderPtr decoder(created, {pb->pFactory->DestroyVideo});
    result = decoder->pOps->Init(decoder.get(), first.pData, first.nLength, &record);
    if (result != VANTOR_OK)
        return VANTOR_E_VIDEO_DECODER_INIT;
    decoder->bInitialised = 1;
    record.nOutputFormat = decoder->dwOutputFormat;
    record.nWidth = static_cast<uint32_t>(decoder->nWidth);
    record.nHeight = static_cast<uint32_t>(decoder->nHeight);
    slot.decoder = std::move(decoder);
    return VANTOR_OK;
}

int32_t StartRenderer(Playback *pb, int32_t index)
{
    VideoSlot &slot = pb->slots[index];
    if (slot.renderer)
        return VANTOR_OK;
    const VIDEO_STREAM_INFO &record = pb->info.video[index];
    VideoStreamFormat format{};
    format.dwFormat = slot.decoder->dwOutputFormat;
    format.nBitCount = slot.decoder->nBitCount;
    format.nWidth = slot.decoder->nWidth;
    format.nHeight = slot.decoder->nHeight;
    format.pExtra = record.byExtraData;
    format.dwExtraLen = std::min(record.nExtraDataLength, kMaxExtraData);
    VideoRenderer *created = nullptr;
    int32_t result = VideoRendererCreate(&format, &created);
    if (result != VANTOR_OK)
        return result;
    VideoRendererPtr renderer(created);
    VantorVideoOutConfig config = slot.config;
    config.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW | VIDEO_OUT_ASPECT | VIDEO_OUT_OPTION1 |
                    VIDEO_OUT_OPTION2;
    config.dwOption1 = 1;
    if (pb->bDecoderReset)
        config.dwOption2 = 1;
    if (!VideoRendererConfigure(renderer.get(), &config)) {
        // Whatever the renderer noted (no memory for the device output), the engine's error is
        // the failed video output.
        return VANTOR_E_VIDEO_OUTPUT_INIT;
    }
    slot.renderer = std::move(renderer);
    return VANTOR_OK;
}

int32_t StartAudio(Playback *pb)
{
    if (pb->audioDecoder) {
        ResetAudioDecoder(pb);
    } else {
        QUEUED_SAMPLE first{};
        if (!pb->audioQueue || !pb->audioQueue->Peek(&first))
            return VANTOR_E_AUDIO_DECODER_INIT;
        AUDIO_STREAM_INFO &record = pb->info.audio[0];
        AudioDecoder *created = nullptr;
        int32_t result = pb->pFactory->CreateAudio(record.nFormat, &created);
        if (result != VANTOR_OK || created == nullptr)
            return result != VANTOR_OK ? result : VANTOR_E_UNSUPPORTED_AUDIO;
        AudioDecoderPtr decoder(created, {pb->pFactory->DestroyAudio});
        decoder->nBitsPerSample = record.nBitsPerSample;
        decoder->nBitRateK = record.nBitRate / 1000;
        decoder->nPerSampleTime = record.nSampleTime;
        result = decoder->pOps->Init(decoder.get(), first.pData, first.nLength, &record);
        if (result != VANTOR_OK || decoder->nSampleRate == 0 || decoder->nChannels == 0 ||
            decoder->nChannels > 2 || decoder->nSamplesPerFrame == 0 ||
            decoder->nSamplesPerFrame > 65536)
            return VANTOR_E_AUDIO_DECODER_INIT;
        record.nSamplesPerFrame = decoder->nSamplesPerFrame;
        record.nOutputBlockSize =
            PcmAccumulator::CapacityFor(decoder->nSamplesPerFrame, decoder->nSampleRate);
        pb->audioDecoder = std::move(decoder);
        pb->decodeFrame.assign(static_cast<size_t>(pb->audioDecoder->nSamplesPerFrame) * 2, 0);
        ResetAudioDecoder(pb);
    }
    AudioDecoder *decoder = pb->audioDecoder.get();
    if (!pb->bAccumulatorCreated) {
        if (!pb->accumulator.Create(decoder->nSamplesPerFrame, decoder->nSampleRate,
                                    decoder->nChannels))
            return VANTOR_E_AUDIO_DECODER_INIT;
        pb->bAccumulatorCreated = true;
    } else {
        pb->accumulator.Clear();
    }
    if (!pb->audioOut) {
        AudioStreamFormat format{};
        format.nRate = static_cast<int32_t>(decoder->nSampleRate);
        format.nChannels = static_cast<int32_t>(decoder->nChannels);
        format.nBits = 16;
        format.nFrameBlock = static_cast<int32_t>(decoder->nSamplesPerFrame);
        pb->listener = std::make_unique<ClockListener>(pb->clock.get(), &pb->avSync);
        AudioOut *created = nullptr;
        int32_t result = AudioOutCreate(&format, pb->listener.get(), &created);
        if (result != VANTOR_OK)
            return result;
        AudioOutPtr out(created);
        VantorAudioParams params = pb->audioParams;
        params.dwMask = 0xFFFFFFFFu;
        if (AudioOutSelectDevice(out.get(), params.nOutputType) != VANTOR_OK)
            return VANTOR_E_AUDIO_OUTPUT_INIT;
        params.dwMask &= ~VANTOR_AUDIO_OUTPUT_TYPE; // the device was just chosen
        AudioOutSetParams(out.get(), &params);
        pb->audioOut = std::move(out);
    }
    return VANTOR_OK;
}

// Reads until the queue holds a sample or the kind ends.
void PrefillOne(Playback *pb, SampleQueue *queue, int32_t kind, uint32_t stream, bool *ended,
                std::unique_ptr<SampleQueue> *owner, bool video)
{
    while (!*ended && queue->Count() == 0 && pb->nState.load() != VS_STOPPING) {
        const ReadOutcome outcome = ReadIntoQueue(pb, owner, kind, stream, video);
        queue = owner->get();
        if (outcome == ReadOutcome::Ended)
            *ended = true;
        else if (outcome == ReadOutcome::NoSpace)
            break; // Again: the reader let the source lock go for a moment; read on
    }
}

} // namespace

void ClockListener::AudioSync(int32_t nTimeMs)
{
    m_pClock->AudioSync(nTimeMs);
    m_pSync->Audible(nTimeMs, GetTickCount());
}

void PlaybackSetError(Playback *pb, int32_t code)
{
    if (code != 0)
        pb->nLastError.store(code);
}

int32_t PlaybackPosition(Playback *pb)
{
    std::lock_guard<std::mutex> guard(pb->openLock);
    if (!pb->clock)
        return 0;
    const int32_t position = std::max(pb->clock->Position(), 0);
    return static_cast<int32_t>(
        std::min<uint32_t>(static_cast<uint32_t>(position), pb->info.nDuration));
}

int32_t PlaybackPrepare(Playback *pb, SourceOpenRequest *request, uint32_t startMs)
{
    SourceObject *opened = nullptr;
    int32_t result = SourceOpen(request, &opened);
    if (result != VANTOR_OK)
        return result;
    SourcePtr source(opened);
    MediaInfo info{};
    result = SourceGetInfo(source.get(), &info);
    if (result < 0)
        return result;
    // Nothing to play is the unsupported-file error, not a silent end.
    if (info.nAudioCount == 0 && info.nVideoCount == 0)
        return VANTOR_E_UNSUPPORTED_FILE;
    uint32_t position = startMs;
    // Playing from the start instead would show what the caller did not ask for.
    if (position != 0 && SourceSetStartPosition(source.get(), &position) != VANTOR_OK)
        return VANTOR_E_RANDOM_ACCESS;
    {
        std::lock_guard<std::mutex> guard(pb->openLock);
        pb->source = std::move(source);
        pb->info = info;
        pb->clock = std::make_unique<PlaybackClock>(static_cast<int32_t>(position));
    }
    pb->avSync.Reset();
    pb->nWorkingPosition = static_cast<int32_t>(position);
    pb->bHasAudio = info.nAudioCount != 0;
    pb->bHasVideo = info.nVideoCount != 0;
    pb->bHasText = info.nTextCount != 0;
    {
        std::lock_guard<std::mutex> guard(pb->videoLock);
        pb->nSlots = static_cast<int32_t>(std::min(info.nVideoCount, kMaxVideoStreams));
    }
    return VANTOR_OK;
}

bool PlaybackStart(Playback *pb)
{
    pb->bAudioEnded = !pb->bHasAudio;
    pb->bVideoEnded = !pb->bHasVideo;
    pb->bTextEnded = !pb->bHasText;

    // Pre-fill: the audio queue first, then one video queue per stream.
    {
        std::lock_guard<std::mutex> guard(pb->audioLock);
        pb->bAudioReadEnded = !pb->bHasAudio;
        if (pb->bHasAudio) {
            if (pb->audioQueue)
                pb->audioQueue->Flush();
            else
                pb->audioQueue = MakeQueue(LargestAudioSample(pb->info), false);
            if (!pb->audioQueue) {
                DropAudio(pb, VANTOR_E_OUT_OF_MEMORY);
            } else {
                bool ended = false;
                PrefillOne(pb, pb->audioQueue.get(), SAMPLE_KIND_AUDIO, 0, &ended, &pb->audioQueue,
                           false);
                if (ended && pb->audioQueue->Count() == 0)
                    pb->bAudioEnded = true;
                pb->bAudioReadEnded = ended;
            }
        }
    }
    {
        std::lock_guard<std::mutex> guard(pb->videoLock);
        for (int32_t i = 0; pb->bHasVideo && i < pb->nSlots; ++i) {
            VideoSlot &slot = pb->slots[i];
            slot.bReady = false;
            slot.bEnded = false;
            slot.bDrained = false;
            if (slot.queue)
                slot.queue->Flush();
            else
                slot.queue =
                    MakeQueue(std::max<uint32_t>(pb->info.video[i].nMaxSampleSize, 1), true);
            if (!slot.queue) {
                DropVideo(pb, VANTOR_E_OUT_OF_MEMORY);
                break;
            }
            PrefillOne(pb, slot.queue.get(), SAMPLE_KIND_VIDEO, static_cast<uint32_t>(i),
                       &slot.bEnded, &slot.queue, true);
        }
        bool allEnded = true;
        for (int32_t i = 0; i < pb->nSlots; ++i)
            allEnded = allEnded && pb->slots[i].bEnded && pb->slots[i].queue &&
                       pb->slots[i].queue->Count() == 0;
        if (pb->bHasVideo && allEnded)
            pb->bVideoEnded = true;
    }
    if (pb->nState.load() == VS_STOPPING || (pb->bAudioEnded && pb->bVideoEnded))
        return false;

    {
        std::lock_guard<std::mutex> guard(pb->videoLock);
        for (int32_t i = 0; pb->bHasVideo && !pb->bVideoEnded && i < pb->nSlots; ++i) {
            int32_t result = StartVideoDecoder(pb, i);
            if (result == VANTOR_OK)
                result = StartRenderer(pb, i);
            if (result != VANTOR_OK) {
                DropVideo(pb, result);
                break;
            }
        }
        if (pb->bHasText && !pb->textDecoder) {
            TextDecoder *created = nullptr;
            const int32_t result = pb->pFactory->CreateText(pb->info.text[0].nCodec, &created);
            if (result == VANTOR_OK && created) {
                pb->textDecoder = TextDecoderPtr(created, {pb->pFactory->DestroyText});
                pb->textBuffer.assign(LargestTextSample(pb->info), 0);
            } else {
                // Dropped for this open: the next Start neither retries nor records it again.
                PlaybackSetError(pb, VANTOR_E_TEXT_DECODER_INIT);
                pb->bHasText = false;
                pb->bTextEnded = true;
            }
        }
        pb->bTextPending = false;
    }
    {
        std::lock_guard<std::mutex> guard(pb->audioLock);
        if (pb->bHasAudio && !pb->bAudioEnded) {
            const int32_t result = StartAudio(pb);
            if (result != VANTOR_OK)
                DropAudio(pb, result);
        }
    }
    return (pb->bHasAudio && !pb->bAudioEnded) || (pb->bHasVideo && !pb->bVideoEnded);
}

void PlaybackStartTasks(Playback *pb)
{
    if (pb->bTasksStarted)
        return;
    pb->bTasksStarted = true;
    pb->bStop = false;
    if (pb->bHasAudio) {
        pb->nAudioSeen = pb->nState.load();
        pb->audioTask = std::thread(AudioTaskMain, pb);
    }
    if (pb->bHasVideo) {
        pb->nVideoSeen = pb->nState.load();
        pb->videoTask = std::thread(VideoTaskMain, pb);
    }
}

void PlaybackResume(Playback *pb)
{
    SourceControl(pb->source.get(), 2);
    pb->clock->Start(!pb->bHasAudio || pb->bAudioEnded);
    AudioOutRestart(pb->audioOut.get());
}

void PlaybackPause(Playback *pb)
{
    SourceControl(pb->source.get(), 3);
    pb->clock->Pause();
    pb->avSync.Silence();
    // A block the audio task is writing waits for the restart and plays then.
    AudioOutPause(pb->audioOut.get());
}

bool PlaybackSeek(Playback *pb, uint32_t targetMs, int32_t mode, int32_t precise,
                  int32_t keyFrameFlag)
{
    // A write waiting for room on the device ends here, so the audio task can see the seek.
    pb->clock->Pause();
    pb->avSync.Silence();
    AudioOutPauseDropping(pb->audioOut.get());
    // The tasks touch queues and decoders only while they see a playing state; wait until both
    // have seen this one.
    auto idle = [pb](const std::thread &task, const std::atomic<int32_t> &seen) {
        return !task.joinable() || seen.load() == VS_SEEKING;
    };
    while (pb->nState.load() == VS_SEEKING &&
           !(idle(pb->audioTask, pb->nAudioSeen) && idle(pb->videoTask, pb->nVideoSeen)))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    pb->nWorkingPosition = static_cast<int32_t>(targetMs);
    uint32_t position = targetMs;
    const int32_t moved = (mode == 3 || mode == 4)
                              ? SourceSeekToKeyFrame(pb->source.get(), &position, keyFrameFlag)
                              : SourceSeek(pb->source.get(), &position, precise);
    if (!moved) {
        pb->nWorkingPosition = 0;
        return false;
    }
    pb->clock->SetPosition(static_cast<int32_t>(position));
    AudioOutFlush(pb->audioOut.get());
    std::lock_guard<std::mutex> guard(pb->videoLock);
    for (int32_t i = 0; i < pb->nSlots; ++i)
        if (pb->slots[i].renderer)
            VideoRendererNotify(pb->slots[i].renderer.get(), 0);
    return true;
}

bool PlaybackStep(Playback *pb)
{
    if (!pb->bHasVideo || pb->bVideoEnded)
        return false;
    int32_t pictureMs = 0;
    bool shown = false;
    {
        std::lock_guard<std::mutex> guard(pb->videoLock);
        for (int32_t i = 0; i < pb->nSlots; ++i) {
            VideoSlot &slot = pb->slots[i];
            slot.bReady = false;
            // One more picture: samples that bring none (skipped before a key frame) do not
            // count as a step.
            for (int tries = 0; tries < 64 && !slot.bReady && !slot.bDrained; ++tries) {
                if (!slot.bEnded)
                    SlotRead(pb, i);
                SlotDecode(pb, i);
            }
            SlotPresent(pb, i, true);
            if (i == 0 && slot.bReady) {
                pictureMs = slot.nPictureMs;
                shown = true;
            }
        }
    }
    if (!shown)
        return false;
    pb->clock->AudioSync(pictureMs);
    if (pb->bHasAudio && !pb->bAudioEnded) {
        std::lock_guard<std::mutex> guard(pb->audioLock);
        DiscardAudioUntil(pb, pictureMs);
    }
    AudioOutFlush(pb->audioOut.get());
    return true;
}

bool PlaybackAudioDrained(Playback *pb)
{
    if (!pb->audioOut)
        return true;
    return AudioOutIsDrained(pb->audioOut.get()) != 0;
}

void PlaybackClose(Playback *pb)
{
    if (pb->source)
        SourceControl(pb->source.get(), 1);
    pb->bStop = true;
    pb->videoWake.Set();
    AudioOutFlush(pb->audioOut.get());
    if (pb->audioTask.joinable())
        pb->audioTask.join();
    if (pb->videoTask.joinable())
        pb->videoTask.join();
    pb->bTasksStarted = false;
    pb->nAudioSeen = VS_IDLE;
    pb->nVideoSeen = VS_IDLE;
    {
        std::lock_guard<std::mutex> guard(pb->videoLock);
        for (VideoSlot &slot : pb->slots)
            DestroyVideoSlot(&slot);
        pb->nSlots = 0;
        pb->textDecoder.reset();
        pb->textBuffer.clear();
        pb->bTextPending = false;
    }
    AudioOutPtr out;
    {
        std::lock_guard<std::mutex> guard(pb->audioLock);
        pb->audioDecoder.reset();
        out = std::move(pb->audioOut);
        pb->audioQueue.reset();
        pb->accumulator = PcmAccumulator();
        pb->bAccumulatorCreated = false;
    }
    // Closing joins the device's threads: not under the lock that volume and speed calls take.
    out.reset();
    pb->listener.reset();
    SourcePtr source;
    {
        std::lock_guard<std::mutex> guard(pb->openLock);
        source = std::move(pb->source);
        pb->clock.reset();
    }
    source.reset();
    pb->bHasAudio = pb->bHasVideo = pb->bHasText = false;
    DsAudioOutThreadEnd(); // the sound device was opened and closed on this thread
}

int32_t PlaybackSetAudioParams(Playback *pb, const VantorAudioParams *params)
{
    std::lock_guard<std::mutex> guard(pb->audioLock);
    VantorAudioParams &stored = pb->audioParams;
    const uint32_t mask = params->dwMask;
    if (mask & VANTOR_AUDIO_OUTPUT_TYPE)
        stored.nOutputType = params->nOutputType;
    if (mask & VANTOR_AUDIO_VOLUME)
        stored.dwVolume = params->dwVolume;
    if (mask & VANTOR_AUDIO_MUTE)
        stored.nMute = params->nMute;
    if (mask & VANTOR_AUDIO_OUTPUT_FORMAT) {
        stored.nOutputRate = params->nOutputRate;
        stored.nOutputChannels = params->nOutputChannels;
    }
    if (mask & VANTOR_AUDIO_EFFECT_PRESET) {
        stored.nEffectPreset = params->nEffectPreset;
        std::memcpy(stored.bandLevels, params->bandLevels, sizeof stored.bandLevels);
    }
    for (int i = 0; i < VANTOR_AUDIO_SWITCH_COUNT; ++i)
        if (mask & (VANTOR_AUDIO_SWITCH_FIRST << i))
            stored.nSwitch[i] = params->nSwitch[i];
    if (mask & VANTOR_AUDIO_EXTRA_WORD)
        stored.nExtra = params->nExtra;
    if (!pb->audioOut)
        return 0;
    return AudioOutSetParams(pb->audioOut.get(), params);
}

int32_t PlaybackSetVideoOut(Playback *pb, int32_t slot, const VantorVideoOutConfig *config)
{
    std::lock_guard<std::mutex> guard(pb->videoLock);
    VantorVideoOutConfig &stored = pb->slots[slot].config;
    stored.dwOutputType = config->dwOutputType;
    stored.pWindow = config->pWindow;
    stored.nX = config->nX;
    stored.nY = config->nY;
    stored.nWidth = config->nWidth;
    stored.nHeight = config->nHeight;
    stored.dwAspectMode = config->dwAspectMode;
    stored.dwRatioWidth = config->dwRatioWidth;
    stored.dwRatioHeight = config->dwRatioHeight;
    stored.dwOrientation = config->dwOrientation;
    stored.dwOrientation2 = config->dwOrientation2;
    stored.dwOption1 = config->dwOption1;
    if (!pb->slots[slot].renderer)
        return 0;
    return VideoRendererConfigure(pb->slots[slot].renderer.get(), config);
}

int32_t PlaybackSetSpeed(Playback *pb, int32_t percent)
{
    {
        std::lock_guard<std::mutex> guard(pb->audioLock);
        if (pb->audioOut && !AudioOutSetSpeed(pb->audioOut.get(), percent))
            return 0;
    }
    std::lock_guard<std::mutex> guard(pb->openLock);
    if (pb->clock)
        pb->clock->SetRate(percent);
    pb->videoWake.Set(); // a picture waited for at the old rate is due at another time
    return 1;
}
