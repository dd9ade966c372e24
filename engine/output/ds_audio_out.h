#pragma once

#include "engine/output/audio_out.h"

// The sound-buffer device (output type 4): a looping buffer of about 500 ms in 50 ms periods,
// played by the system's sound device; a notification thread reclaims played periods and
// reports them to the output. Speed changes the playing frequency, so the pitch follows.
extern const AudioDeviceOps g_DsAudioOutOps;

// Frees what the sound system keeps for the calling thread (its error text). Threads the sound
// system did not start call it before they end, or that memory stays allocated for good.
void DsAudioOutThreadEnd();
