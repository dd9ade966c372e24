#pragma once

#include <cstdint>

#include "engine/core/player_state.h"
#include "engine/core/vantor_errors.h"
#include "engine/output/vantor_audio_params.h"
#include "engine/output/video_out_config.h"

// The media engine's interface: a player is created with three callbacks, told what to play,
// then driven by commands that only record a request; a status thread per playback and the
// two presentation tasks do the work. Results are 1/0 (accepted/refused) unless stated; codes
// are the VANTOR_E_* values, 0 = success. A null player makes every operation return 0.

struct VantorPlayer;

using VantorCallback = void (*)(void *userData);

// Copied at creation. Callbacks run on the status thread; a null one is skipped. They must not
// call VantorStop (it waits for that thread).
struct VantorCallbacks
{
    VantorCallback pfnStarted; // once per open, when playback first starts
    VantorCallback pfnEnded;   // playback ended by itself (end of media or a failure)
    VantorCallback pfnStatus;  // after every pass of the status thread, except while seeking
    void *pReserved;
    void *pUserData;
};

struct VantorOpenParams
{
    const wchar_t *szLocator;            // path or URL, required
    const wchar_t *szAlternativeLocator; // or null: the bytes come from here
    uintptr_t nStreamArgument;           // handed to the byte stream; 0 for files
    uint32_t nStartPosition;             // ms
    int32_t bRewindAtEnd;                // rewind to the start and pause at the end
    int32_t bPauseAtEnd;                 // pause on the last picture at the end
    void *pStreamingOption;              // network sources only
    int32_t bDecoderReset;               // reset the video decoder after every picture
};

struct VantorStatus
{
    int32_t nState;
    int32_t nLastError;   // reading it clears it
    uint32_t nBufferFill; // percent; 0 without a source
    uint32_t nDownload;   // percent; 0 without a source
    uint32_t nPosition;   // ms, never more than the duration
    uint32_t nReport2, nReport3, nReport4;
};

struct VantorAudioInfo
{
    uint32_t nFormat;
    uint32_t nSampleRate;
    uint32_t nChannels;
    uint32_t nBitRate;
    uint32_t nExtraDataLength; // at most 512
    uint8_t byExtraData[512];
};

struct VantorVideoInfo
{
    uint32_t nFourcc;
    uint32_t nWidth;
    uint32_t nHeight;
    uint32_t nFrameRate; // thousandths of a frame per second
    uint32_t nExtraValue;
    uint32_t nExtraDataLength; // at most 512
    uint8_t byExtraData[512];
};

struct VantorTextInfo
{
    uint32_t nCodec;
    uint32_t nParam2;
    uint32_t nLastWord;
};

struct VantorMediaInfo
{
    uint32_t nMediaType;
    uint32_t nMediaFlags;
    uint32_t nDuration; // ms
    uint32_t nAudioCount, nVideoCount, nTextCount;
    VantorAudioInfo audio[2];
    VantorVideoInfo video[2];
    VantorTextInfo text[3];
};

VantorPlayer *VantorCreate(const VantorCallbacks *callbacks);
void VantorDestroy(VantorPlayer *player);
int32_t VantorPlay(VantorPlayer *player, const VantorOpenParams *params);
int32_t VantorStop(VantorPlayer *player);
int32_t VantorPause(VantorPlayer *player);
int32_t VantorResume(VantorPlayer *player);
int32_t VantorSeek(VantorPlayer *player, uint32_t positionMs, int32_t precise);
// type 1/2: forward by offset (precise / not); 3: key-frame resynchronisation here; 4: one
// picture forward while paused.
int32_t VantorTrick(VantorPlayer *player, uint32_t offsetMs, int32_t type);
int32_t VantorSetSpeed(VantorPlayer *player, int32_t percent);
int32_t VantorSetAudioParams(VantorPlayer *player, const VantorAudioParams *params);
int32_t VantorSetVideoOut(VantorPlayer *player, int32_t slot, const VantorVideoOutConfig *config);
int32_t VantorGetStatus(VantorPlayer *player, VantorStatus *status);

// The last picture of video slot 0 presented while sound drove the clock, the sound time heard
// at that moment and the clock it was presented against (all ms on the playback clock), for
// measuring sync over long runs.
struct VantorAvSync
{
    uint32_t nCount; // pictures compared since the current open; 0 = none yet
    int32_t nPictureMs;
    int32_t nHeardMs;
    int32_t nClockMs;
};
int32_t VantorGetAvSync(VantorPlayer *player, VantorAvSync *sync);
// Independent of any player. 0 or the code of the failing step.
int32_t VantorProbe(const wchar_t *locator, const wchar_t *alternativeLocator,
                    uintptr_t streamArgument, VantorMediaInfo *info, void *tagRecord);
// The next text sample of the playing source: 0 with *length bytes and *timeMs filled;
// VANTOR_E_INVALID_ARG, VANTOR_E_NO_STREAM, VANTOR_E_END_OF_STREAM, or
// VANTOR_E_BUFFER_TOO_SMALL with the size needed in *length (the sample can be read again).
int32_t VantorReadText(VantorPlayer *player, uint8_t *buffer, int32_t *length, uint32_t *timeMs);
