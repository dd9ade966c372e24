#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// One demo clip as the recorder writes it: a CLF file with MPEG-4 Part 2 video ("XVID"), AAC
// sound (format 0xFF: raw frames, AudioSpecificConfig as extra data) and the GPS text stream
// ("TRVX"); or the same pictures and sound in a RIFF AVI file, which has no GPS stream and may
// carry a second camera's pictures as a second video stream.
// Encoded with libavcodec in bit-exact, single-thread mode, so the same spec always gives the
// same bytes.

enum class ClipContainer
{
    Clf,
    Avi
};

struct DemoClipSpec
{
    std::string path;
    ClipContainer container = ClipContainer::Clf;
    time_t startUtc = 0;     // wall-clock time of the first picture
    uint32_t durationMs = 0; // of the video and sound
    int width = 640;
    int height = 360;
    int fps = 25;
    uint8_t tintU = 128, tintV = 128; // background colour of the picture
    // AVI only: a second video stream of this size (0 × 0: none), the same clock on the
    // opposite background colour, so the two cameras' pictures are told apart at a glance.
    int secondWidth = 0;
    int secondHeight = 0;
    // Text samples, sample i at i × 1000 ms; an empty one leaves its second without a sample
    // (an empty record would end every stream).
    std::vector<std::string> textSamples;
};

// Encodes and writes the clip; on failure the reason goes to *error and the result is false.
bool WriteDemoClip(const DemoClipSpec &spec, std::string *error);
