#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/core/free_with.h"
#include "engine/output/vantor_audio_params.h"
#include "platform/auto_reset_event.h"

// The writer's side of the sound path. The audio task hands over blocks of 16-bit PCM with the
// time of their first frame; the output remembers each block in a ring and, as the device
// reports sound played, retires blocks and tells the playback clock which time is now audible.
//
// Lock order (never taken the other way round):
//   AudioOut::lock  ->  device lock (inside the device)  ->  AudioOut::ringLock
// The space event and the listener are leaves: nothing is locked from inside them.

// Where the output reports what has become audible. The playback clock implements it. Both
// calls come from the device's notification thread with the device lock held: they must be
// quick and must not call back into the output.
class AudioPlayedListener
{
public:
    // Time (ms) of the block that is audible now, after an older block was retired.
    virtual void AudioSync(int32_t nTimeMs) = 0;
    // Bytes of output-format sound the device has played since its last report.
    virtual void AudioBytesPlayed(uint32_t nBytes) = 0;

protected:
    ~AudioPlayedListener() = default;
};

// One written block: frames not yet played and the time of its first frame (0 = not set).
struct AudioRingEntry
{
    uint32_t nFrames;
    int32_t nTime;
};

constexpr int AUDIO_RING_ENTRIES = 100;

struct AudioRing
{
    AudioRingEntry entries[AUDIO_RING_ENTRIES];
    int32_t nWrite;
    int32_t nRead;
    int32_t nCount;
};

void AudioRingClear(AudioRing *ring);
// False when the ring is full.
bool AudioRingPush(AudioRing *ring, uint32_t nFrames, int32_t nTime);
// Retires nFrames played frames from the oldest entries (0 = the whole oldest entry). After each
// whole entry retired, when an entry is left, sync(context, time of that entry) is called.
// Returns the frames of the entry left oldest that this call played (0 when it ended on an
// entry's end).
uint32_t AudioRingRetire(AudioRing *ring, uint32_t nFrames, void (*sync)(void *, int32_t),
                         void *context);

// The time (ms) of the sound heard now: a block of time nEntryMs, nPlayedFrames of which the
// device has taken, while it still holds nDelayFrames device frames (its buffer and the sound
// server's) before they are heard; at nSpeedPercent each device frame carries speed / 100 of
// the block's frames.
int32_t AudioHeardTime(int32_t nEntryMs, uint32_t nPlayedFrames, uint32_t nDelayFrames,
                       int32_t nRate, int32_t nSpeedPercent);

// Bytes the device should hold (about 500 ms): c frames x channels x 2, where c is the smallest
// multiple of the frame block that is at least two blocks and at least half a second.
uint32_t AudioBufferTargetBytes(int32_t nRate, int32_t nChannels, int32_t nFrameBlock);

// The stream the decoder delivers.
struct AudioStreamFormat
{
    int32_t nRate;       // Hz
    int32_t nChannels;   // channels of the samples handed over
    int32_t nBits;       // from the stream record; samples handed over are 16-bit
    int32_t nFrameBlock; // samples per decoded frame (F)
};

// One block handed to AudioOutWrite: interleaved samples in pInterleaved, or (stereo only) two
// separate runs pLeft / pRight. The block is read, never kept.
struct AudioPcmBlock
{
    const int16_t *pInterleaved;
    const int16_t *pLeft;
    const int16_t *pRight;
    uint32_t nFrames;
    int32_t nTime; // ms of the first frame
};

// Writes nFrames frames of the block as interleaved output frames of outChannels channels into
// dst. Separate runs are interleaved; interleaved input with more channels than the output
// keeps its first channels; mono input for a stereo output is doubled.
void AudioConvertFrames(const AudioPcmBlock &block, uint32_t nFirstFrame, uint32_t nFrames,
                        int32_t nInChannels, int32_t nOutChannels, int16_t *dst);

struct AudioOut;

// One device behind the output. Every operation is called with the AudioOut lock held, from
// the writer's side (audio task, status or window thread); the device reports played sound
// through AudioOutPlayed from a thread of its own.
struct AudioDeviceOps
{
    // Opens the device for the output's rate, channels, buffer target and speed. 0 or error.
    int32_t (*Open)(AudioOut *out, void **device);
    // Closes and frees the device.
    void (*Close)(void *device);
    // Bytes the device can take now.
    uint32_t (*FreeSpace)(void *device);
    // Takes frames that fit (FreeSpace), converted to the output format.
    void (*Write)(void *device, const AudioPcmBlock *block, int32_t nInChannels);
    void (*Pause)(void *device);
    void (*Restart)(void *device);
    // Drops everything queued; the device is silent and empty afterwards.
    void (*Flush)(void *device);
    int32_t (*SetSpeed)(void *device, int32_t nPercent); // 1 applied, 0 refused
    int32_t (*SetVolume)(void *device, uint32_t dwWord); // 1 applied, 0 refused
    int32_t (*SetMute)(void *device, int32_t bOn);       // optional; 1 applied, 0 refused
};

// The device table bound for an output type, or nullptr when the type has no device.
const AudioDeviceOps *FindAudioDevice(int32_t nType);

// What the effect settings of the parameter record leave behind: stored, never applied.
struct AudioEffectStore
{
    int32_t nPreset;
    uint8_t bandLevels[10];
    int32_t nSwitch[VANTOR_AUDIO_SWITCH_COUNT];
};

struct AudioOut
{
    // Guarded by lock unless said otherwise. The device reads the format fields and the speed
    // only while being opened, under lock.
    int32_t nDeviceType = 0;
    const AudioDeviceOps *pDevice = nullptr;
    void *pDeviceState = nullptr;
    std::mutex lock; // held by write, pause, restart, flush, speed and parameter changes
    int32_t nInputRate = 0;
    int32_t nInputChannels = 0;
    int32_t nOutputRate = 0;
    int32_t nOutputChannels = 0;
    int32_t nBits = 0;
    int32_t nSpeed = 100;
    int32_t nFrameBlock = 0;
    uint32_t nBufferTarget = 0;

    // The ring is written by the writer (push) and the device thread (retire), so it has its
    // own lock, the innermost one.
    std::mutex ringLock;
    AudioRing ring{}; // guarded by ringLock

    // Device frames the device holds after taking them from its buffer (its own buffer and
    // the sound server's), set when it opens; and the speed they play at. Read by the device's
    // played reports.
    std::atomic<uint32_t> nDelayFrames{0};
    std::atomic<int32_t> nPlayingSpeed{100};

    AudioPlayedListener *pClock = nullptr; // set at creation, not changed afterwards
    AutoResetEvent spaceEvent;             // set whenever the device has freed space
    // A writer waits for room without lock, so that pause, volume and the other calls never
    // wait for it. These words are shared with it.
    std::atomic<bool> bWaiting{false}; // a writer waits for the space event
    std::atomic<uint32_t> nDrops{0};   // flushes, dropping pauses and closes so far: a
                                       // writer drops its block when this moved meanwhile
    std::atomic<int32_t> nWriters{0};  // writers inside AudioOutWrite; close waits for them
    bool bPaused = false;              // guarded by lock: a paused device takes no sound,
                                       // so waiting for it is no sign of a stuck device

    int32_t nMute = 0;
    uint32_t dwVolume = 0xFFFFFFFF;
    AudioEffectStore effects{};
};

// Result 0 and *out set, or VANTOR_E_OUT_OF_MEMORY / VANTOR_E_AUDIO_OUTPUT_INIT (a format the
// output cannot play). clock may be null. No device yet.
int32_t AudioOutCreate(const AudioStreamFormat *format, AudioPlayedListener *clock, AudioOut **out);
// Closes the current device and opens the one of the type (4 = sound buffer). 0 or
// VANTOR_E_AUDIO_OUTPUT_INIT when the type has no device or the device cannot open.
int32_t AudioOutSelectDevice(AudioOut *out, int32_t nType);
// The same with a device table given by the caller (a scripted device in tests).
int32_t AudioOutBindDevice(AudioOut *out, int32_t nType, const AudioDeviceOps *ops);
// 1 when the block was taken or dropped, 0 for an empty block. Waits while the device is full,
// without the output's lock: on a playing device up to 1000 ms, after which the device is reset
// and the block dropped; on a paused one until it restarts. A flush, a dropping pause or a
// close during the wait drops the block.
int32_t AudioOutWrite(AudioOut *out, const AudioPcmBlock *block);
void AudioOutPause(AudioOut *out);
// A pause that also ends a write waiting for room and drops its block, so the caller is not
// held up for the writer's second on a device that will not play until restarted.
void AudioOutPauseDropping(AudioOut *out);
void AudioOutRestart(AudioOut *out);
void AudioOutFlush(AudioOut *out);
int32_t AudioOutIsDrained(AudioOut *out);
// 1 applied, 0 refused (the speed stays as it was).
int32_t AudioOutSetSpeed(AudioOut *out, int32_t nPercent);
// 1 when every selected group was applied.
int32_t AudioOutSetParams(AudioOut *out, const VantorAudioParams *params);
// Called by the device (notification thread, device lock held) with the bytes it has played;
// 0 bytes means the whole oldest block.
void AudioOutPlayed(AudioOut *out, uint32_t nBytes);
// Wakes a waiting writer, closes the device and frees the output.
void AudioOutClose(AudioOut *out);

using AudioOutPtr = std::unique_ptr<AudioOut, CloseWith<AudioOutClose>>;
