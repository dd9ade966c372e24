#pragma once

#include <cstdint>

// The audio parameter record of the engine interface: a mask word selects which groups of the
// fields that follow are taken; the others are left as they are.
constexpr uint32_t VANTOR_AUDIO_OUTPUT_TYPE = 0x1;
constexpr uint32_t VANTOR_AUDIO_VOLUME = 0x2;
constexpr uint32_t VANTOR_AUDIO_MUTE = 0x4;
constexpr uint32_t VANTOR_AUDIO_OUTPUT_FORMAT = 0x8;
constexpr uint32_t VANTOR_AUDIO_EFFECT_PRESET = 0x10;
constexpr uint32_t VANTOR_AUDIO_EFFECT_RESET = 0x20;
constexpr uint32_t VANTOR_AUDIO_SWITCH_FIRST = 0x40; // 0x40 .. 0x400: one switch word each
constexpr int VANTOR_AUDIO_SWITCH_COUNT = 5;
constexpr uint32_t VANTOR_AUDIO_EXTRA_WORD = 0x800;

// Output types; only the sound-buffer device exists in this system.
constexpr int32_t VANTOR_AUDIO_OUT_WAVEOUT = 2;
constexpr int32_t VANTOR_AUDIO_OUT_DSOUND = 4;

struct VantorAudioParams
{
    uint32_t dwMask;
    int32_t nOutputType;     // 0x1
    uint32_t dwVolume;       // 0x2: low 16 bits left level, high 16 bits right, 0xFFFF = full
    int32_t nMute;           // 0x4: non-zero silences the output
    int32_t nOutputRate;     // 0x8: 0 leaves the format unchanged
    int32_t nOutputChannels; // 0x8: 0 leaves the format unchanged
    int32_t nEffectPreset;   // 0x10, stored only
    uint8_t bandLevels[10];  // 0x10, stored only
    int32_t nSwitch[VANTOR_AUDIO_SWITCH_COUNT]; // 0x40 .. 0x400, stored only
    int32_t nExtra;                             // 0x800, no effect
};
