#include "engine/output/ds_audio_out.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include <SDL.h>

#include "engine/core/vantor_errors.h"
#include "engine/output/ds_sound_ring.h"
#include "platform/thread_util.h"

namespace {

constexpr auto kAfterEventSleep = std::chrono::milliseconds(10);

// The system's audio subsystem and one device opened on it; closing the device waits until its
// callback has returned.
class SdlAudioDevice
{
public:
    SdlAudioDevice() = default;
    SdlAudioDevice(const SdlAudioDevice &) = delete;
    SdlAudioDevice &operator=(const SdlAudioDevice &) = delete;
    ~SdlAudioDevice() { Close(); }

    bool Open(int32_t nRate, int32_t nChannels, SDL_AudioCallback callback, void *user)
    {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        m_bSubsystem = true;
        SDL_AudioSpec want{};
        want.freq = nRate;
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(nChannels);
        want.samples = CallbackFrames(nRate);
        want.callback = callback;
        want.userdata = user;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to the device, the callback sees our own format.
        m_Id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        m_nFrames = m_Id != 0 ? have.samples : 0;
        return m_Id != 0;
    }

    // Frames of sound still to be heard after a callback has filled the buffer: SDL hands the
    // buffer to the sound server, which it asks for a latency of one buffer (PulseAudio
    // reports about that for this stream: 8 ms queued and 1.4 ms in the sink for a 10.7 ms
    // buffer). SDL gives no figure of its own, so the one buffer is it.
    uint32_t DelayFrames() const { return m_nFrames; }

    void Start() { SDL_PauseAudioDevice(m_Id, 0); }

    void Close()
    {
        if (m_Id != 0)
            SDL_CloseAudioDevice(m_Id);
        m_Id = 0;
        if (m_bSubsystem)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_bSubsystem = false;
    }

private:
    // About 10 ms per callback, a power of two as devices prefer.
    static Uint16 CallbackFrames(int32_t nRate)
    {
        Uint16 frames = 64;
        while (frames < 4096 && frames < nRate / 100)
            frames = static_cast<Uint16>(frames * 2);
        return frames;
    }

    bool m_bSubsystem = false;
    SDL_AudioDeviceID m_Id = 0;
    uint32_t m_nFrames = 0; // of the device buffer, as opened
};

struct DsAudioOut
{
    DsAudioOut(AudioOut *owner, const DsPeriodFigures &figures)
        : pOwner(owner), nRate(owner->nOutputRate), nChannels(owner->nOutputChannels),
          ring(figures, owner->nOutputChannels)
    {
    }

    AudioOut *const pOwner;
    const int32_t nRate;
    const int32_t nChannels;

    // The device lock: shared by the device callback, the notification thread, write and
    // buffer re-creation. Guards every field down to the thread.
    std::mutex deviceLock;
    DsSoundRing ring;
    double dStep = 1.0; // buffer frames per device frame: playing frequency / rate
    DsVolumeState volume;
    float fGain = 1.0f;
    std::condition_variable positionEvent; // a period has ended, or stop
    bool bPositionSet = false;
    bool bStop = false;

    std::thread notifier; // started by open, joined by close
    // Declared last so it is closed first: no callback runs once the fields above go.
    SdlAudioDevice sdl;
};

DsAudioOut *Ds(void *device)
{
    return static_cast<DsAudioOut *>(device);
}

// SDL's audio thread: the play cursor.
void SDLCALL RenderCallback(void *user, Uint8 *stream, int len)
{
    DsAudioOut *ds = Ds(user);
    const uint32_t frames = static_cast<uint32_t>(len) / (static_cast<uint32_t>(ds->nChannels) * 2);
    std::lock_guard<std::mutex> lock(ds->deviceLock);
    if (ds->ring.Render(reinterpret_cast<int16_t *>(stream), frames, ds->dStep, ds->fGain)) {
        ds->bPositionSet = true;
        ds->positionEvent.notify_one();
    }
}

void NotificationThread(DsAudioOut *ds)
{
    SetCurrentThreadName("Vantor Sound");
    RaiseCurrentThreadPriority();
    // Periods end every 50 ms while playing; the timed wait also reclaims a short tail that
    // stopped before a period's end.
    const auto period = std::chrono::milliseconds(DS_PERIOD_MS);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(ds->deviceLock);
            ds->positionEvent.wait_for(lock, 2 * period,
                                       [ds] { return ds->bPositionSet || ds->bStop; });
            if (ds->bStop)
                return;
            ds->bPositionSet = false;
            const uint32_t played = ds->ring.Reclaim();
            // Nothing played is no news: a report of 0 bytes would retire a whole block.
            if (played > 0)
                AudioOutPlayed(ds->pOwner, played);
        }
        std::this_thread::sleep_for(kAfterEventSleep);
    }
}

int32_t DsOpen(AudioOut *out, void **device)
{
    *device = nullptr;
    const DsPeriodFigures figures =
        DsPeriodFiguresFor(out->nOutputRate, out->nOutputChannels, out->nBufferTarget);
    std::unique_ptr<DsAudioOut> ds(new (std::nothrow) DsAudioOut(out, figures));
    if (ds == nullptr)
        return VANTOR_E_OUT_OF_MEMORY;
    const int32_t frequency = DsPlayingFrequency(out->nOutputRate, out->nSpeed);
    ds->dStep = frequency > 0 ? static_cast<double>(frequency) / out->nOutputRate : 1.0;
    if (!ds->sdl.Open(out->nOutputRate, out->nOutputChannels, RenderCallback, ds.get()))
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    out->nDelayFrames = ds->sdl.DelayFrames();
    out->nPlayingSpeed = out->nSpeed;
    try {
        ds->notifier = std::thread(NotificationThread, ds.get());
    } catch (const std::system_error &) {
        return VANTOR_E_AUDIO_OUTPUT_INIT;
    }
    ds->sdl.Start();
    *device = ds.release();
    return VANTOR_OK;
}

void DsClose(void *device)
{
    DsAudioOut *ds = Ds(device);
    if (ds == nullptr)
        return;
    // No wait for queued sound to play out: the player empties the output before it closes
    // it (a clip's end waits for the sound to drain first), so a wait would only hold up stop.
    {
        std::lock_guard<std::mutex> lock(ds->deviceLock);
        ds->ring.Pause();
        ds->bStop = true;
    }
    ds->positionEvent.notify_one();
    if (ds->notifier.joinable())
        ds->notifier.join();
    ds->sdl.Close();
    delete ds;
}

uint32_t DsFreeSpace(void *device)
{
    std::lock_guard<std::mutex> lock(Ds(device)->deviceLock);
    return Ds(device)->ring.FreeBytes();
}

void DsWrite(void *device, const AudioPcmBlock *block, int32_t nInChannels)
{
    std::lock_guard<std::mutex> lock(Ds(device)->deviceLock);
    Ds(device)->ring.Write(*block, nInChannels);
}

void DsPause(void *device)
{
    std::lock_guard<std::mutex> lock(Ds(device)->deviceLock);
    Ds(device)->ring.Pause();
}

void DsRestart(void *device)
{
    std::lock_guard<std::mutex> lock(Ds(device)->deviceLock);
    Ds(device)->ring.Restart();
}

void DsFlush(void *device)
{
    // The volume lives beside the buffer, so the new buffer keeps volume and mute.
    std::lock_guard<std::mutex> lock(Ds(device)->deviceLock);
    Ds(device)->ring.Reset();
}

int32_t DsSetSpeed(void *device, int32_t nPercent)
{
    DsAudioOut *ds = Ds(device);
    const int32_t frequency = DsPlayingFrequency(ds->nRate, nPercent);
    if (frequency < 0)
        return 0;
    std::lock_guard<std::mutex> lock(ds->deviceLock);
    ds->dStep = static_cast<double>(frequency) / ds->nRate;
    return 1;
}

int32_t DsSetVolume(void *device, uint32_t dwWord)
{
    DsAudioOut *ds = Ds(device);
    std::lock_guard<std::mutex> lock(ds->deviceLock);
    DsApplyVolume(&ds->volume, dwWord);
    ds->fGain = DsAttenuationGain(ds->volume.nAttenuation);
    return 1;
}

int32_t DsSetMute(void *device, int32_t bOn)
{
    DsAudioOut *ds = Ds(device);
    std::lock_guard<std::mutex> lock(ds->deviceLock);
    DsApplyMute(&ds->volume, bOn != 0);
    ds->fGain = DsAttenuationGain(ds->volume.nAttenuation);
    return 1;
}

} // namespace

const AudioDeviceOps g_DsAudioOutOps = {
    DsOpen,    DsClose, DsFreeSpace, DsWrite,     DsPause,
    DsRestart, DsFlush, DsSetSpeed,  DsSetVolume, DsSetMute,
};

void DsAudioOutThreadEnd()
{
    SDL_TLSCleanup();
}
