#pragma once

#include <cstdint>

// The demo clips' moving picture: the recording's wall-clock time in big seven-segment digits,
// the position in the clip in seconds and hundredths below it, and colour bars that scroll a
// few pixels every frame, so a person sees at once that playback moves and where it is.

struct PicturePlanes
{
    uint8_t *y, *u, *v; // planar 4:2:0
    int yPitch, uPitch, vPitch;
    int width, height; // even
};

struct PictureClock
{
    int hour, minute, second;
    uint32_t positionMs; // time in the clip
    uint32_t frameIndex;
    uint8_t tintU, tintV; // background colour, one per category
};

void DrawTestPicture(const PicturePlanes &planes, const PictureClock &clock);
