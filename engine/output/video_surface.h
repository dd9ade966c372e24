#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the engine knows of a video window. The application implements it with an OpenGL
// widget (frames in a YUV layout, scaled and converted on the GPU) or a plain widget that
// accepts only RGB565 pictures; tests use MemorySurface.
//
// Every operation may be called from the engine's video task while the window thread runs,
// so implementations must not block on the window thread. A surface must outlive the device
// outputs opened on it: the renderer closes them before the window goes away.

constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// Frame layouts, with the planes as the device output writes them into a locked frame of
// pitch P for a picture of width W and height H:
//   I420  W x H luma at P; Cb, then Cr, (W/2) x (H/2) at P/2
//   YV12  as I420 with Cr before Cb
//   NV12  W x H luma at P; H/2 rows of W/2 (Cb, Cr) pairs at P
//   YUY2  H rows of W/2 (Y0, Cb, Y1, Cr) groups at P
//   UYVY  as YUY2 in the byte order Cb, Y0, Cr, Y1
//   YVU9  W x H luma at P; Cr, then Cb, (W/4) x (H/4) at P/4
constexpr uint32_t FOURCC_I420 = MakeFourCC('I', '4', '2', '0');
constexpr uint32_t FOURCC_YV12 = MakeFourCC('Y', 'V', '1', '2');
constexpr uint32_t FOURCC_YUY2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr uint32_t FOURCC_UYVY = MakeFourCC('U', 'Y', 'V', 'Y');
constexpr uint32_t FOURCC_NV12 = MakeFourCC('N', 'V', '1', '2');
constexpr uint32_t FOURCC_YVU9 = MakeFourCC('Y', 'V', 'U', '9');
// Not a frame layout: the surface format of an output that draws RGB565 pictures.
constexpr uint32_t FOURCC_RGBA = MakeFourCC('R', 'G', 'B', 'A');

// Bytes a frame of this layout needs; 0 for an unknown layout.
size_t SurfaceFrameBytes(uint32_t fourcc, int32_t pitch, int32_t height);

struct SurfaceRect
{
    int32_t x, y, width, height;
};

struct SurfaceLock
{
    uint8_t *pBits; // start of the frame
    int32_t nPitch; // bytes from one row of the first plane to the next
    size_t nBytes;  // size of the frame; nothing is written beyond it
    // Where the first luma, Cb and Cr samples go, the bytes from one row of each to the next,
    // and from one sample to the next in a row (1 in planes, 2 or 4 where interleaved).
    uint8_t *pPlane[3];
    int32_t nPlanePitch[3];
    int32_t nSampleStep[3];
};

// The lock of a frame of this layout and height; all planes null for an unknown layout.
SurfaceLock MakeSurfaceLock(uint32_t fourcc, uint8_t *bits, int32_t pitch, int32_t height,
                            size_t bytes);

class VideoSurface
{
public:
    virtual ~VideoSurface() = default;

    // Size of the drawing area in pixels and the screen position of its top-left pixel.
    virtual void GetSize(int32_t *width, int32_t *height) const = 0;
    virtual void GetScreenPosition(int32_t *x, int32_t *y) const = 0;

    // Frame layouts this surface can show; empty when it takes RGB565 pictures only.
    virtual std::vector<uint32_t> AcceptedLayouts() const = 0;

    // Makes the frame that pictures of width x height are written into. False when the layout
    // is not accepted or the frame cannot be had.
    virtual bool CreateFrame(uint32_t fourcc, int32_t width, int32_t height) = 0;
    virtual void ReleaseFrame() = 0;

    // Never waits: false when the frame is busy or missing.
    virtual bool Lock(SurfaceLock *lock) = 0;
    virtual void Unlock() = 0;

    // Shows the source rectangle of the frame last unlocked, scaled into the destination
    // rectangle (drawing-area coordinates). Never waits; false when it cannot be shown now.
    virtual bool Blt(const SurfaceRect &source, const SurfaceRect &destination) = 0;

    // The RGB path: copies destination.width x destination.height RGB565 pixels, rows
    // rowBytes apart, to the destination rectangle. Never waits.
    virtual bool DrawRgb565(const SurfaceRect &destination, const uint8_t *pixels,
                            int32_t rowBytes) = 0;
};
