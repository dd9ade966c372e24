#pragma once

#include <cstdint>

// One text sample of the playing clip as the player wrapper keeps it: at most 1024 bytes are
// stored and the rest of szText stays zero, so the text is always NUL-terminated.
struct TEXT_SAMPLE
{
    int32_t nTime; // ms on the playback clock
    char szText[2048];
};

constexpr uint32_t kMaxTextSamples = 1024;
constexpr uint32_t kMaxTextSampleBytes = 1024;
