#pragma once

#include <cstdint>

class VideoSurface;

// Mask bits of VantorVideoOutConfig: each selects the group of fields that is applied.
constexpr uint32_t VIDEO_OUT_TYPE = 0x1;
constexpr uint32_t VIDEO_OUT_WINDOW = 0x2;
constexpr uint32_t VIDEO_OUT_ASPECT = 0x4;
constexpr uint32_t VIDEO_OUT_OPTION1 = 0x8;
constexpr uint32_t VIDEO_OUT_OPTION2 = 0x10;
constexpr uint32_t VIDEO_OUT_SECONDARY_WINDOW = 0x10000;
constexpr uint32_t VIDEO_OUT_SECONDARY_ASPECT = 0x20000;
constexpr uint32_t VIDEO_OUT_OPTION3 = 0x40000;

// Output type of the screen output (OemDevOut).
constexpr uint32_t VIDEO_OUT_TYPE_OEM = 1;

// Configuration of one video output slot. The window is a VideoSurface here, so that field is
// a pointer; every other field is a 32-bit word in the recorder software's order.
struct VantorVideoOutConfig
{
    uint32_t dwMask;
    uint32_t dwOutputType;                // 0x1
    VideoSurface *pWindow;                // 0x2
    int32_t nX, nY, nWidth, nHeight;      // 0x2, screen coordinates; replaced by the window's own
    uint32_t dwAspectMode;                // 0x4: 0 fit, 1 source ratio, 2 fill, 3 4:3, 4 16:9,
                                          // 5 1.85:1, 6 2.35:1, other: the custom ratio
    uint32_t dwRatioWidth, dwRatioHeight; // 0x4
    uint32_t dwOrientation;               // 0x2: 0, 2, 4, 5 keep width and height
    uint32_t dwOrientation2;              // 0x2
    uint32_t dwReserved1[3];
    uint32_t dwOption1; // 0x8
    uint32_t dwOption2; // 0x10
    uint32_t dwReserved2[15];
    VideoSurface *pWindow2;                    // 0x10000
    int32_t nX2, nY2, nWidth2, nHeight2;       // 0x10000
    uint32_t dwAspectMode2;                    // 0x20000
    uint32_t dwRatioWidth2, dwRatioHeight2;    // 0x20000
    uint32_t dwOrientation2a, dwOrientation2b; // 0x10000
    uint32_t dwReserved3[3];
    uint32_t dwOption3; // 0x40000
};
