#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "engine/core/vantor_player_internal.h"
#include "engine/source/source_object.h"
#include "platform/auto_reset_event.h"
#include "platform/thread_util.h"
#include "platform/tick_count.h"

namespace {

// How long a source that delivers nothing is waited for before every check reports it.
constexpr uint32_t kBufferingLimitMs = 30000;

} // namespace

struct VantorPlayer
{
    VantorCallbacks callbacks{}; // copied at creation, not changed

    // The state words, guarded by stateLock; every accepted request also updates the mirror
    // in playback.nState that the tasks read.
    std::mutex stateLock;
    PLAYER_STATE_WORDS words;
    AutoResetEvent stateChanged;
    AutoResetEvent stopDone;

    // Written by the commands before they request Seeking or Stepping, read by the status
    // thread after it sees the state (single words).
    std::atomic<uint32_t> nSeekTarget{0};
    std::atomic<int32_t> nSeekMode{0};
    std::atomic<int32_t> nSeekPrecise{0};
    std::atomic<int32_t> nKeyFrame{0};
    std::atomic<uint32_t> nSeekWorking{0}; // copied from the target when Seeking is accepted

    // The open request, written by VantorPlay before it starts the status thread and read by
    // that thread only.
    std::wstring locator;
    std::wstring alternativeLocator;
    bool bHasAlternative = false;
    uintptr_t nStreamArgument = 0;
    uint32_t nStartPosition = 0;
    bool bPauseAtEnd = false;
    std::atomic<bool> bRewindAtEnd{false}; // read by state requests on any thread

    // The status thread's handle: started by VantorPlay, joined by VantorPlay, VantorStop and
    // VantorDestroy (the caller's thread).
    std::thread statusThread;

    Playback playback;
};

namespace {

bool Request(VantorPlayer *player, VantorState request)
{
    STATE_REQUEST_RESULT result;
    {
        std::lock_guard<std::mutex> guard(player->stateLock);
        result = RequestState(&player->words, request, player->bRewindAtEnd.load());
        if (!result.bAccepted)
            return false;
        player->playback.nState.store(player->words.nState);
        if (result.bCopySeekTarget)
            player->nSeekWorking.store(player->nSeekTarget.load());
    }
    player->stateChanged.Set();
    player->playback.videoWake.Set(); // a task waiting for a picture's time sees the state
    if (result.bStopDone)
        player->stopDone.Set();
    return true;
}

PLAYER_STATE_WORDS Words(VantorPlayer *player)
{
    std::lock_guard<std::mutex> guard(player->stateLock);
    return player->words;
}

void Call(VantorCallback callback, void *userData)
{
    if (callback)
        callback(userData);
}

bool Buffered(Playback *pb)
{
    uint32_t report[5] = {};
    SourceBufferingReport(pb->source.get(), report);
    return report[0] >= 100;
}

// What the status thread keeps between passes.
struct StatusPass
{
    bool bStop = false;
    bool bFirstStartPending = false;
    uint32_t nBufferStartTick = 0;
};

void ActOnState(VantorPlayer *player, StatusPass *pass)
{
    Playback *pb = &player->playback;
    const PLAYER_STATE_WORDS words = Words(player);
    switch (words.nState) {
    case VS_OPENING:
        pb->nLastError = 0;
        player->nSeekTarget = 0;
        player->nSeekMode = 0;
        player->nSeekPrecise = 0;
        player->nKeyFrame = 0;
        {
            std::lock_guard<std::mutex> guard(pb->openLock);
            pb->info = MediaInfo{};
        }
        pass->bFirstStartPending = true;
        Request(player, VS_PREPARE);
        break;
    case VS_PREPARE: {
        SourceOpenRequest request{};
        request.szLocator = player->locator.c_str();
        request.szAlternativeLocator =
            player->bHasAlternative ? player->alternativeLocator.c_str() : nullptr;
        request.nStreamArgument = player->nStreamArgument;
        const int32_t result = PlaybackPrepare(pb, &request, player->nStartPosition);
        if (result != VANTOR_OK) {
            PlaybackSetError(pb, result);
            Request(player, VS_ENDING);
            break;
        }
        if (!player->bHasAlternative)
            player->nStreamArgument = request.nStreamArgument;
        Request(player, VS_BUFFER_START);
        break;
    }
    case VS_BUFFER_START:
        pass->nBufferStartTick = GetTickCount();
        pb->clock->Pause();
        AudioOutPauseDropping(pb->audioOut.get());
        if (Buffered(pb))
            Request(player, words.nPrevious == VS_PLAYING ? VS_RESUME : VS_START);
        else
            Request(player, VS_BUFFER_WAIT);
        break;
    case VS_BUFFER_WAIT:
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (Buffered(pb)) {
            Request(player, words.nPrevious == VS_PLAYING ? VS_RESUME : VS_START);
        } else {
            const uint32_t limit = std::max(kBufferingLimitMs, pb->info.nBufferingTime);
            if (GetTickCount() - pass->nBufferStartTick > limit)
                PlaybackSetError(pb, VANTOR_E_NO_DATA_RECEIVED);
        }
        break;
    case VS_START:
        if (!PlaybackStart(pb)) {
            Request(player, VS_ENDING);
            break;
        }
        Request(player, words.nNext);
        if (pass->bFirstStartPending) {
            pass->bFirstStartPending = false;
            Call(player->callbacks.pfnStarted, player->callbacks.pUserData);
            PlaybackStartTasks(pb);
        }
        break;
    case VS_RESUME:
        PlaybackResume(pb);
        Request(player, VS_PLAYING);
        break;
    case VS_PLAYING:
        if (pb->bAudioEnded && pb->bVideoEnded) {
            if (player->bPauseAtEnd)
                Request(player, VS_PAUSING);
            else if (player->bRewindAtEnd)
                Request(player, VS_END_WAIT);
            else if (!pb->bHasAudio || PlaybackAudioDrained(pb))
                Request(player, VS_ENDING);
        }
        break;
    case VS_PAUSING:
        PlaybackPause(pb);
        Request(player, VS_PAUSED);
        break;
    case VS_SEEKING:
        if (PlaybackSeek(pb, player->nSeekWorking.load(), player->nSeekMode.load(),
                         player->nSeekPrecise.load(), player->nKeyFrame.load())) {
            Request(player, Buffered(pb) ? VS_START : VS_BUFFER_START);
        } else {
            Request(player, words.nPrevious == VS_PLAYING ? VS_RESUME : VS_PAUSING);
        }
        break;
    case VS_STEPPING:
        PlaybackStep(pb);
        Request(player, VS_PAUSING);
        break;
    case VS_ENDING:
    case VS_STOPPING:
        pass->bStop = true;
        break;
    case VS_END_WAIT:
        if (PlaybackAudioDrained(pb)) {
            player->nSeekTarget = 0;
            player->nSeekPrecise = 0;
            player->nKeyFrame = 1;
            player->nSeekMode = pb->bHasVideo ? 3 : 1;
            if (!Request(player, VS_SEEKING))
                pass->bStop = true; // leaves without the ended callback
        }
        break;
    default:
        break;
    }
}

void StatusThreadMain(VantorPlayer *player)
{
    SetCurrentThreadName("Vantor Status");
    StatusPass pass;
    while (!pass.bStop) {
        player->stateChanged.Wait(100);
        ActOnState(player, &pass);
        if (Words(player).nState != VS_SEEKING)
            Call(player->callbacks.pfnStatus, player->callbacks.pUserData);
    }
    PlaybackClose(&player->playback);
    if (Words(player).nState == VS_ENDING)
        Call(player->callbacks.pfnEnded, player->callbacks.pUserData);
    if (!Request(player, VS_IDLE)) {
        // Left from another state (a rewind that could not be requested): end properly, so the
        // player returns to Idle and a later stop does not wait for ever.
        Request(player, VS_ENDING);
        Request(player, VS_IDLE);
    }
}

void JoinStatusThread(VantorPlayer *player)
{
    if (player->statusThread.joinable() &&
        player->statusThread.get_id() != std::this_thread::get_id())
        player->statusThread.join();
}

uint32_t Duration(VantorPlayer *player)
{
    std::lock_guard<std::mutex> guard(player->playback.openLock);
    return player->playback.info.nDuration;
}

bool HasSource(VantorPlayer *player)
{
    std::lock_guard<std::mutex> guard(player->playback.openLock);
    return player->playback.source != nullptr;
}

void InitStoredSettings(Playback *pb)
{
    // Every stored field is applied when an output is created. Without a record from the
    // caller the sound goes to the one device there is, at full volume.
    pb->audioParams.dwMask = 0xFFFFFFFFu;
    pb->audioParams.nOutputType = VANTOR_AUDIO_OUT_DSOUND;
    pb->audioParams.dwVolume = 0xFFFFFFFFu;
    for (VideoSlot &slot : pb->slots) {
        slot.config.dwOutputType = VIDEO_OUT_TYPE_OEM;
        slot.config.dwOption1 = 1;
    }
}

} // namespace

VantorPlayer *VantorCreateWithDecoders(const VantorCallbacks *callbacks,
                                       const DecoderFactory *factory)
{
    VantorPlayer *player = new (std::nothrow) VantorPlayer;
    if (!player)
        return nullptr;
    if (callbacks)
        player->callbacks = *callbacks;
    player->playback.pFactory = factory;
    InitStoredSettings(&player->playback);
    return player;
}

Playback *VantorPlayback(VantorPlayer *player)
{
    return player ? &player->playback : nullptr;
}

void VantorDestroy(VantorPlayer *player)
{
    if (!player)
        return;
    if (Words(player).nState != VS_IDLE)
        VantorStop(player);
    JoinStatusThread(player);
    if (player->playback.source)
        PlaybackClose(&player->playback);
    delete player;
}

int32_t VantorPlay(VantorPlayer *player, const VantorOpenParams *params)
{
    if (!player || !params || !params->szLocator)
        return 0;
    if (!Request(player, VS_OPENING)) {
        const VantorState state = Words(player).nState;
        if (state != VS_BUFFER_START && state != VS_PLAYING && state != VS_PAUSING &&
            state != VS_SEEKING)
            return 0;
        VantorStop(player);
        if (!Request(player, VS_OPENING))
            return 0;
    }
    // The previous status thread has requested Idle and is about to return.
    JoinStatusThread(player);
    player->locator = params->szLocator;
    player->bHasAlternative = params->szAlternativeLocator != nullptr;
    player->alternativeLocator = params->szAlternativeLocator ? params->szAlternativeLocator : L"";
    player->nStreamArgument = params->nStreamArgument;
    player->nStartPosition = params->nStartPosition;
    player->bPauseAtEnd = params->bPauseAtEnd != 0;
    player->bRewindAtEnd = params->bRewindAtEnd != 0;
    player->playback.bDecoderReset = params->bDecoderReset != 0;
    try {
        player->statusThread = std::thread(StatusThreadMain, player);
    } catch (const std::system_error &) {
        PlaybackSetError(&player->playback, VANTOR_E_THREAD);
        Request(player, VS_ENDING);
        Request(player, VS_IDLE);
        return 0;
    }
    return 1;
}

int32_t VantorStop(VantorPlayer *player)
{
    if (!player || !Request(player, VS_STOPPING))
        return 0;
    player->stopDone.Wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    JoinStatusThread(player);
    return 1;
}

int32_t VantorPause(VantorPlayer *player)
{
    return player && Request(player, VS_PAUSING) ? 1 : 0;
}

int32_t VantorResume(VantorPlayer *player)
{
    return player && Request(player, VS_RESUME) ? 1 : 0;
}

int32_t VantorSeek(VantorPlayer *player, uint32_t positionMs, int32_t precise)
{
    if (!player)
        return 0;
    player->nSeekTarget = std::min(positionMs, Duration(player));
    player->nSeekPrecise = precise;
    player->nSeekMode = 1;
    return Request(player, VS_SEEKING) ? 1 : 0;
}

int32_t VantorTrick(VantorPlayer *player, uint32_t offsetMs, int32_t type)
{
    if (!player)
        return 0;
    Playback *pb = &player->playback;
    const uint32_t position = static_cast<uint32_t>(PlaybackPosition(pb));
    if (type == 1 || type == 2) {
        const uint64_t target = static_cast<uint64_t>(position) + offsetMs;
        player->nSeekTarget = static_cast<uint32_t>(std::min<uint64_t>(target, Duration(player)));
        player->nSeekPrecise = type == 1 ? 1 : 0;
    } else if (!pb->bHasVideo || (type != 3 && type != 4)) {
        return 0;
    } else if (type == 3) {
        player->nSeekTarget = position;
        player->nSeekPrecise = 0;
    }
    player->nSeekMode = type;
    player->nKeyFrame = 1;
    return Request(player, type == 4 ? VS_STEPPING : VS_SEEKING) ? 1 : 0;
}

int32_t VantorSetSpeed(VantorPlayer *player, int32_t percent)
{
    if (!player)
        return 0;
    if (!HasSource(player))
        return 1;
    return PlaybackSetSpeed(&player->playback, percent);
}

int32_t VantorSetAudioParams(VantorPlayer *player, const VantorAudioParams *params)
{
    if (!player || !params)
        return 0;
    return PlaybackSetAudioParams(&player->playback, params);
}

int32_t VantorSetVideoOut(VantorPlayer *player, int32_t slot, const VantorVideoOutConfig *config)
{
    if (!player || !config || slot < 0 || slot >= static_cast<int32_t>(kMaxVideoStreams))
        return 0;
    return PlaybackSetVideoOut(&player->playback, slot, config);
}

int32_t VantorGetStatus(VantorPlayer *player, VantorStatus *status)
{
    if (!player || !status)
        return 0;
    Playback *pb = &player->playback;
    *status = VantorStatus{};
    status->nState = Words(player).nState;
    status->nLastError = pb->nLastError.exchange(0);
    {
        std::lock_guard<std::mutex> guard(pb->openLock);
        if (pb->source) {
            uint32_t report[5] = {};
            SourceBufferingReport(pb->source.get(), report);
            status->nBufferFill = report[0];
            status->nDownload = report[1];
            status->nReport2 = report[2];
            status->nReport3 = report[3];
            status->nReport4 = report[4];
        }
    }
    status->nPosition = static_cast<uint32_t>(PlaybackPosition(pb));
    return 1;
}

int32_t VantorGetAvSync(VantorPlayer *player, VantorAvSync *sync)
{
    if (!player || !sync)
        return 0;
    const AvSyncRecord::PRESENTED last = player->playback.avSync.Last();
    sync->nCount = last.nCount;
    sync->nPictureMs = last.nPictureMs;
    sync->nHeardMs = last.nHeardMs;
    sync->nClockMs = last.nClockMs;
    return 1;
}

int32_t VantorProbe(const wchar_t *locator, const wchar_t *alternativeLocator,
                    uintptr_t streamArgument, VantorMediaInfo *info, void *tagRecord)
{
    if (!locator || !info)
        return VANTOR_E_INVALID_ARG;
    *info = VantorMediaInfo{};
    SourceOpenRequest request{};
    request.szLocator = locator;
    request.szAlternativeLocator = alternativeLocator;
    request.nStreamArgument = streamArgument;
    SourceObject *opened = nullptr;
    int32_t result = SourceOpen(&request, &opened);
    if (result != VANTOR_OK)
        return result;
    SourcePtr source(opened);
    MediaInfo media{};
    media.pTagRecord = tagRecord;
    result = SourceGetInfo(source.get(), &media);
    source.reset();
    if (result < 0)
        return result;
    info->nMediaType = media.nMediaType;
    info->nMediaFlags = media.nMediaFlags;
    info->nDuration = media.nDuration;
    info->nAudioCount = std::min(media.nAudioCount, kMaxAudioStreams);
    info->nVideoCount = std::min(media.nVideoCount, kMaxVideoStreams);
    info->nTextCount = std::min(media.nTextCount, kMaxTextStreams);
    for (uint32_t i = 0; i < info->nAudioCount; ++i) {
        const AUDIO_STREAM_INFO &a = media.audio[i];
        VantorAudioInfo &out = info->audio[i];
        out.nFormat = a.nFormat;
        out.nSampleRate = a.nSampleRate;
        out.nChannels = a.nChannels;
        out.nBitRate = a.nBitRate;
        out.nExtraDataLength = std::min(a.nExtraDataLength, kMaxExtraData);
        std::memcpy(out.byExtraData, a.byExtraData, out.nExtraDataLength);
    }
    for (uint32_t i = 0; i < info->nVideoCount; ++i) {
        const VIDEO_STREAM_INFO &v = media.video[i];
        VantorVideoInfo &out = info->video[i];
        out.nFourcc = v.nFourcc;
        out.nWidth = v.nWidth;
        out.nHeight = v.nHeight;
        out.nFrameRate = v.nFrameRate;
        out.nExtraValue = v.nExtraValue;
        out.nExtraDataLength = std::min(v.nExtraDataLength, kMaxExtraData);
        std::memcpy(out.byExtraData, v.byExtraData, out.nExtraDataLength);
    }
    for (uint32_t i = 0; i < info->nTextCount; ++i) {
        info->text[i].nCodec = media.text[i].nCodec;
        info->text[i].nParam2 = media.text[i].nParam2;
        info->text[i].nLastWord = media.text[i].nLastWord;
    }
    return VANTOR_OK;
}

int32_t VantorReadText(VantorPlayer *player, uint8_t *buffer, int32_t *length, uint32_t *timeMs)
{
    if (!player)
        return 0;
    if (!buffer || !length || !timeMs || *length <= 0)
        return VANTOR_E_INVALID_ARG;
    Playback *pb = &player->playback;
    std::lock_guard<std::mutex> guard(pb->openLock);
    if (!pb->source)
        return VANTOR_E_NO_STREAM;
    SampleRequest request{};
    request.pBuffer = buffer;
    request.nBufferSize = static_cast<uint32_t>(*length);
    request.nKind = SAMPLE_KIND_TEXT;
    int32_t readerResult = 0;
    const int32_t result = SourceRead(pb->source.get(), &request, &readerResult);
    if (result == VANTOR_OK) {
        *length = static_cast<int32_t>(request.nLength);
        *timeMs = request.nTime;
        return VANTOR_OK;
    }
    if (readerResult == VANTOR_E_BUFFER_TOO_SMALL && request.nBufferSize > 0 &&
        request.nBufferSize <= INT32_MAX) {
        // Not the end of the stream: the caller may read this sample again with room for it.
        *length = static_cast<int32_t>(request.nBufferSize);
        return VANTOR_E_BUFFER_TOO_SMALL;
    }
    return result;
}
