#include "engine/output/audio_out.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "engine/core/vantor_errors.h"
#include "engine/output/ds_audio_out.h"

namespace {

// Formats the output accepts: the sound-buffer device plays 100 Hz .. 200 kHz.
constexpr int32_t kMinRate = 100;
constexpr int32_t kMaxRate = 200000;
constexpr int32_t kMaxChannels = 8;
constexpr int32_t kMaxFrameBlock = 65536;
constexpr uint32_t kSpaceWaitMs = 1000;

struct AudioDeviceEntry
{
    int32_t nType;
    const AudioDeviceOps *pOps;
};

constexpr AudioDeviceEntry kAudioDevices[] = {
    {VANTOR_AUDIO_OUT_DSOUND, &g_DsAudioOutOps},
};

// The time of the block that became the oldest last in one played report.
struct NewestSync
{
    bool bSynced = false;
    int32_t nTime = 0;
};

void RememberSync(void *context, int32_t nTime)
{
    auto *sync = static_cast<NewestSync *>(context);
    sync->bSynced = true;
    sync->nTime = nTime;
}

// Applies the stored volume and mute to a device that has just been opened, so that a new
// device plays at the level the output already reports.
void ApplyLevels(AudioOut *out)
{
    out->pDevice->SetVolume(out->pDeviceState, out->dwVolume);
    if (out->nMute && out->pDevice->SetMute)
        out->pDevice->SetMute(out->pDeviceState, 1);
}

void CloseDevice(AudioOut *out)
{
    if (out->pDevice)
        out->pDevice->Close(out->pDeviceState);
    out->pDevice = nullptr;
    out->pDeviceState = nullptr;
    out->nDeviceType = 0;
}

void EmptyRing(AudioOut *out)
{
    std::lock_guard<std::mutex> ringLock(out->ringLock);
    AudioRingClear(&out->ring);
}

} // namespace

void AudioRingClear(AudioRing *ring)
{
    std::memset(ring, 0, sizeof *ring);
}

bool AudioRingPush(AudioRing *ring, uint32_t nFrames, int32_t nTime)
{
    if (ring->nCount >= AUDIO_RING_ENTRIES)
        return false;
    AudioRingEntry &entry = ring->entries[ring->nWrite];
    entry.nFrames = nFrames;
    if (entry.nTime == 0)
        entry.nTime = nTime;
    ring->nWrite = (ring->nWrite + 1) % AUDIO_RING_ENTRIES;
    ++ring->nCount;
    return true;
}

uint32_t AudioRingRetire(AudioRing *ring, uint32_t nFrames, void (*sync)(void *, int32_t),
                         void *context)
{
    if (ring->nCount == 0)
        return 0;
    const bool bWholeEntry = nFrames == 0;
    if (bWholeEntry)
        nFrames = ring->entries[ring->nRead].nFrames;
    while ((nFrames > 0 || bWholeEntry) && ring->nCount > 0) {
        AudioRingEntry &entry = ring->entries[ring->nRead];
        if (entry.nFrames > nFrames) {
            entry.nFrames -= nFrames;
            return nFrames;
        }
        nFrames -= entry.nFrames;
        entry = AudioRingEntry{};
        ring->nRead = (ring->nRead + 1) % AUDIO_RING_ENTRIES;
        --ring->nCount;
        if (ring->nCount > 0)
            sync(context, ring->entries[ring->nRead].nTime);
        if (bWholeEntry)
            return 0;
    }
    return 0;
}

int32_t AudioHeardTime(int32_t nEntryMs, uint32_t nPlayedFrames, uint32_t nDelayFrames,
                       int32_t nRate, int32_t nSpeedPercent)
{
    if (nRate <= 0)
        return nEntryMs;
    const int64_t played = static_cast<int64_t>(nPlayedFrames) * 1000 / nRate;
    const int64_t delay = static_cast<int64_t>(nDelayFrames) * 10 * nSpeedPercent / nRate;
    return static_cast<int32_t>(nEntryMs + played - delay);
}

uint32_t AudioBufferTargetBytes(int32_t nRate, int32_t nChannels, int32_t nFrameBlock)
{
    const int64_t block = nFrameBlock;
    const int64_t halfSecond = static_cast<int64_t>(nRate) * 500 / 1000;
    const int64_t blocks = std::max<int64_t>(2, (halfSecond + block - 1) / block);
    return static_cast<uint32_t>(blocks * block * nChannels * 2);
}

void AudioConvertFrames(const AudioPcmBlock &block, uint32_t nFirstFrame, uint32_t nFrames,
                        int32_t nInChannels, int32_t nOutChannels, int16_t *dst)
{
    if (block.pInterleaved == nullptr) {
        // Separate runs: left and right (a single run when only one channel is wanted).
        for (uint32_t i = 0; i < nFrames; ++i) {
            const uint32_t f = nFirstFrame + i;
            dst[i * nOutChannels] = block.pLeft[f];
            if (nOutChannels > 1)
                dst[i * nOutChannels + 1] = block.pRight[f];
        }
        return;
    }
    const int16_t *src = block.pInterleaved + static_cast<size_t>(nFirstFrame) * nInChannels;
    if (nInChannels == nOutChannels) {
        std::memcpy(dst, src, static_cast<size_t>(nFrames) * nOutChannels * sizeof(int16_t));
        return;
    }
    for (uint32_t i = 0; i < nFrames; ++i)
        for (int32_t c = 0; c < nOutChannels; ++c)
            dst[i * nOutChannels + c] = src[i * nInChannels + std::min(c, nInChannels - 1)];
}

const AudioDeviceOps *FindAudioDevice(int32_t nType)
{
    for (const AudioDeviceEntry &entry : kAudioDevices)
        if (entry.nType == nType)
            return entry.pOps;
    return nullptr;
}

int32_t AudioOutCreate(const AudioStreamFormat *format, AudioPlayedListener *clock, AudioOut **out)
{
    if (out == nullptr)
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    *out = nullptr;
    if (format == nullptr || format->nRate < kMinRate || format->nRate > kMaxRate ||
        format->nChannels < 1 || format->nChannels > kMaxChannels || format->nFrameBlock < 1 ||
        format->nFrameBlock > kMaxFrameBlock)
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    AudioOut *created = new (std::nothrow) AudioOut;
    if (created == nullptr)
        return VANTOR_E_OUT_OF_MEMORY;
    created->nInputRate = format->nRate;
    created->nInputChannels = format->nChannels;
    created->nOutputRate = format->nRate;
    // The device plays mono or stereo; wider streams keep their first two channels.
    created->nOutputChannels = std::min(format->nChannels, 2);
    created->nBits = format->nBits;
    created->nFrameBlock = format->nFrameBlock;
    created->pClock = clock;
    *out = created;
    return VANTOR_OK;
}

int32_t AudioOutBindDevice(AudioOut *out, int32_t nType, const AudioDeviceOps *ops)
{
    if (out == nullptr)
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    // A writer waiting for space holds the lock: let it try again first.
    out->spaceEvent.Set();
    std::lock_guard<std::mutex> lock(out->lock);
    CloseDevice(out);
    out->nBufferTarget =
        AudioBufferTargetBytes(out->nOutputRate, out->nOutputChannels, out->nFrameBlock);
    EmptyRing(out);
    if (ops == nullptr)
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    void *state = nullptr;
    const int32_t result = ops->Open(out, &state);
    if (result != VANTOR_OK)
        return result;
    out->pDevice = ops;
    out->pDeviceState = state;
    out->nDeviceType = nType;
    ApplyLevels(out);
    out->spaceEvent.Set();
    return VANTOR_OK;
}

int32_t AudioOutSelectDevice(AudioOut *out, int32_t nType)
{
    return AudioOutBindDevice(out, nType, FindAudioDevice(nType));
}

int32_t AudioOutWrite(AudioOut *out, const AudioPcmBlock *block)
{
    if (out == nullptr || block == nullptr || block->nFrames == 0)
        return 0;
    if (block->pInterleaved == nullptr && (block->pLeft == nullptr || block->pRight == nullptr))
        return 0;
    const uint32_t drops = out->nDrops.load();
    ++out->nWriters;
    struct Leave
    {
        AudioOut *out;
        ~Leave() { --out->nWriters; }
    } leave{out};

    std::vector<int16_t> silence;
    AudioPcmBlock silent;
    bool timedOut = false; // the last wait was a whole second on a playing device
    for (;;) {
        bool pausedWhileWaiting = false;
        {
            std::lock_guard<std::mutex> lock(out->lock);
            if (out->nDrops.load() != drops)
                return 1; // a flush, dropping pause or close since the block came: dropped
            if (out->pDevice == nullptr)
                return 1; // no device: the sound is dropped, the picture plays on
            const AudioDeviceOps *ops = out->pDevice;
            void *device = out->pDeviceState;
            // A device without a mute of its own gets silence in place of the samples.
            const AudioPcmBlock *data = block;
            if (out->nMute && ops->SetMute == nullptr) {
                silence.assign(static_cast<size_t>(block->nFrames) * out->nInputChannels, 0);
                silent =
                    AudioPcmBlock{silence.data(), nullptr, nullptr, block->nFrames, block->nTime};
                data = &silent;
            }
            const uint64_t needBytes =
                static_cast<uint64_t>(block->nFrames) * out->nOutputChannels * 2;
            bool bRingFull;
            {
                std::lock_guard<std::mutex> ringLock(out->ringLock);
                bRingFull = out->ring.nCount >= AUDIO_RING_ENTRIES;
            }
            if (!bRingFull && ops->FreeSpace(device) >= needBytes) {
                // The entry goes in before the samples reach the device, so that a report of
                // played sound never finds its block missing from the ring.
                {
                    std::lock_guard<std::mutex> ringLock(out->ringLock);
                    AudioRingPush(&out->ring, block->nFrames, block->nTime);
                }
                ops->Write(device, data, out->nInputChannels);
                return 1;
            }
            if (timedOut && !out->bPaused) {
                // The device took nothing for a whole second: start it afresh, drop the block.
                EmptyRing(out);
                ops->Flush(device);
                return 1;
            }
            out->bWaiting = true;
            pausedWhileWaiting = out->bPaused;
        }
        // A wait that began on a paused device says nothing about a stuck one, even when the
        // restart comes just as it times out.
        timedOut = !out->spaceEvent.Wait(kSpaceWaitMs) && !pausedWhileWaiting;
        out->bWaiting = false;
    }
}

namespace {

// A waiting writer is woken to try again (room may have come meanwhile); the device operation
// runs under the lock, which no writer holds while it waits.
void WakeWriterAndCall(AudioOut *out, void (*AudioDeviceOps::*operation)(void *), bool paused)
{
    if (out == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(out->lock);
        out->bPaused = paused;
        if (out->pDevice)
            (out->pDevice->*operation)(out->pDeviceState);
    }
    out->spaceEvent.Set();
}

// Ends a writer's wait and drops its block.
void DropWaitingBlock(AudioOut *out)
{
    ++out->nDrops;
    out->spaceEvent.Set();
}

} // namespace

void AudioOutPause(AudioOut *out)
{
    WakeWriterAndCall(out, &AudioDeviceOps::Pause, true);
}

void AudioOutPauseDropping(AudioOut *out)
{
    if (out == nullptr)
        return;
    DropWaitingBlock(out);
    WakeWriterAndCall(out, &AudioDeviceOps::Pause, true);
}

void AudioOutRestart(AudioOut *out)
{
    WakeWriterAndCall(out, &AudioDeviceOps::Restart, false);
}

void AudioOutFlush(AudioOut *out)
{
    if (out == nullptr)
        return;
    DropWaitingBlock(out);
    std::lock_guard<std::mutex> lock(out->lock);
    EmptyRing(out);
    if (out->pDevice)
        out->pDevice->Flush(out->pDeviceState);
}

int32_t AudioOutIsDrained(AudioOut *out)
{
    if (out == nullptr)
        return 1;
    std::lock_guard<std::mutex> ringLock(out->ringLock);
    return out->ring.nCount == 0 ? 1 : 0;
}

int32_t AudioOutSetSpeed(AudioOut *out, int32_t nPercent)
{
    if (out == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(out->lock);
    if (nPercent == out->nSpeed)
        return 1;
    if (out->pDevice == nullptr || !out->pDevice->SetSpeed(out->pDeviceState, nPercent))
        return 0;
    out->nSpeed = nPercent;
    out->nPlayingSpeed = nPercent;
    return 1;
}

int32_t AudioOutSetParams(AudioOut *out, const VantorAudioParams *params)
{
    if (out == nullptr || params == nullptr)
        return 0;
    const uint32_t mask = params->dwMask;
    int32_t applied = 1;
    if (mask & VANTOR_AUDIO_OUTPUT_TYPE) {
        if (AudioOutSelectDevice(out, params->nOutputType) != VANTOR_OK)
            applied = 0;
    }
    std::lock_guard<std::mutex> lock(out->lock);
    if (mask & VANTOR_AUDIO_VOLUME) {
        out->dwVolume = params->dwVolume;
        if (out->pDevice == nullptr || !out->pDevice->SetVolume(out->pDeviceState, out->dwVolume))
            applied = 0;
    }
    if (mask & VANTOR_AUDIO_MUTE) {
        out->nMute = params->nMute ? 1 : 0;
        if (out->pDevice == nullptr)
            applied = 0;
        else if (out->pDevice->SetMute && !out->pDevice->SetMute(out->pDeviceState, out->nMute))
            applied = 0;
    }
    if (mask & VANTOR_AUDIO_OUTPUT_FORMAT) {
        // The output always plays the decoder's own format; asking for another is not applied.
        const bool bLeaveAsIs = params->nOutputRate == 0 || params->nOutputChannels == 0 ||
                                (params->nOutputRate == out->nOutputRate &&
                                 params->nOutputChannels == out->nOutputChannels);
        if (!bLeaveAsIs)
            applied = 0;
    }
    if (mask & VANTOR_AUDIO_EFFECT_PRESET) {
        out->effects.nPreset = params->nEffectPreset;
        std::memcpy(out->effects.bandLevels, params->bandLevels, sizeof params->bandLevels);
    }
    for (int i = 0; i < VANTOR_AUDIO_SWITCH_COUNT; ++i)
        if (mask & (VANTOR_AUDIO_SWITCH_FIRST << i))
            out->effects.nSwitch[i] = params->nSwitch[i];
    return applied;
}

void AudioOutPlayed(AudioOut *out, uint32_t nBytes)
{
    if (out->pClock && nBytes > 0)
        out->pClock->AudioBytesPlayed(nBytes);
    {
        std::lock_guard<std::mutex> ringLock(out->ringLock);
        const uint32_t frameBytes = static_cast<uint32_t>(out->nOutputChannels) * 2;
        const uint32_t frames = nBytes / frameBytes;
        if (out->ring.nCount > 0 && (nBytes == 0 || frames > 0)) {
            // The clock is told what is heard now: the newest block's time, plus what of it the
            // device has taken, less what the device still holds. Blocks retired before it in
            // the same report are long past.
            NewestSync newest;
            const uint32_t played = AudioRingRetire(&out->ring, frames, RememberSync, &newest);
            if (newest.bSynced && out->pClock)
                out->pClock->AudioSync(AudioHeardTime(newest.nTime, played,
                                                      out->nDelayFrames.load(), out->nOutputRate,
                                                      out->nPlayingSpeed.load()));
        }
    }
    // Always signalled (not only when a writer waits) so that a writer that is just about to
    // wait cannot miss the wake-up and drop its block a second later.
    out->spaceEvent.Set();
}

void AudioOutClose(AudioOut *out)
{
    if (out == nullptr)
        return;
    DropWaitingBlock(out);
    while (out->nWriters.load() != 0) {
        out->spaceEvent.Set();
        std::this_thread::yield();
    }
    {
        std::lock_guard<std::mutex> lock(out->lock);
        CloseDevice(out);
    }
    delete out;
}
