#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/core/free_with.h"
#include "engine/output/video_out_config.h"

class VideoSurface;
struct VideoRenderer;

// One decoded picture as the video task hands it over. Width and height are the stream's.
struct VideoPicture
{
    uint8_t *pY;     // luma, one byte per pixel; null: nothing to present
    uint8_t *pU;     // Cb, half width and half height
    uint8_t *pV;     // Cr
    int32_t nStride; // luma row distance; chroma rows are nStride / 2 apart
};

// What the renderer is created from: the decoder's output picture.
struct VideoStreamFormat
{
    uint32_t dwFormat;
    int32_t nBitCount;
    int32_t nWidth;
    int32_t nHeight;
    const uint8_t *pExtra;
    uint32_t dwExtraLen;
};

constexpr uint32_t kVideoExtraDataMax = 512;

struct DisplayRect
{
    int32_t x, y, width, height;
};

// A device output behind the renderer. Every operation runs with the renderer's lock held.
struct VideoDevOutOps
{
    uint32_t dwOutputType;
    // Returns the device object, or null when the output cannot be opened.
    void *(*Open)(VideoRenderer *renderer, VideoSurface *window, int32_t width, int32_t height);
    void (*Close)(void *device);
    int32_t (*Notify)(void *device, int32_t value); // optional
    // 1 shown, 0 dropped.
    int32_t (*Present)(void *device, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                       int32_t stride);
};

// One per video slot; created when the slot's stream starts, closed when playback ends.
struct VideoRenderer
{
    uint32_t dwFormat = 0;
    int32_t nBitCount = 0;
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    std::vector<uint8_t> extra;

    // The lock is held while presenting, notifying and configuring; the video task and the
    // thread that configures (window or status thread) meet here.
    std::mutex lock;
    const VideoDevOutOps *pDevOps = nullptr; // guarded by lock
    void *pDevice = nullptr;                 // guarded by lock
    uint32_t dwOutputType = 0;               // guarded by lock
    int32_t nLastError = 0;                  // guarded by lock

    // Configuration, guarded by lock.
    VideoSurface *pWindow = nullptr;
    int32_t window[4] = {0, 0, 0, 0}; // left, top, width, height in screen coordinates
    uint32_t dwAspectMode = 0;
    uint32_t dwRatioWidth = 0, dwRatioHeight = 0;
    uint32_t dwOrientation = 0, dwOrientation2 = 0;
    uint32_t dwOption1 = 1, dwOption2 = 0, dwOption3 = 0;
    bool bOption3Set = false;
    VideoSurface *pWindow2 = nullptr;
    int32_t window2[4] = {0, 0, 0, 0};
    uint32_t dwAspectMode2 = 0, dwRatioWidth2 = 0, dwRatioHeight2 = 0;
    uint32_t dwOrientation2a = 0, dwOrientation2b = 0;

    DisplayRect display = {0, 0, 0, 0};
    bool bConfigChanged = false;
};

// Returns 0 and the renderer, or VANTOR_E_OUT_OF_MEMORY.
int32_t VideoRendererCreate(const VideoStreamFormat *format, VideoRenderer **renderer);
// Applies the selected groups; 1 when every one of them was applied, else 0 (the reason in
// nLastError: VANTOR_E_VIDEO_OUTPUT_INIT for an unknown output type, VANTOR_E_OUT_OF_MEMORY
// when the device output did not open).
int32_t VideoRendererConfigure(VideoRenderer *renderer, const VantorVideoOutConfig *config);
// The device output's result, or VANTOR_E_UNSUPPORTED_FUNCTION when none is open.
int32_t VideoRendererPresent(VideoRenderer *renderer, const VideoPicture *picture);
int32_t VideoRendererNotify(VideoRenderer *renderer, int32_t value);
// Refreshes the window rectangle from the window and works out the display rectangle inside
// it. Called by device outputs during present, with the lock held.
DisplayRect VideoRendererGetDisplayRect(VideoRenderer *renderer);
void VideoRendererClose(VideoRenderer *renderer);
using VideoRendererPtr = std::unique_ptr<VideoRenderer, CloseWith<VideoRendererClose>>;

// The fitting rule on its own.
struct DisplayArea
{
    uint32_t dwWindowWidth, dwWindowHeight;
    uint32_t dwSourceWidth, dwSourceHeight;
    uint32_t dwAspectMode, dwRatioWidth, dwRatioHeight;
    uint32_t dwOrientation;
};
DisplayRect ComputeDisplayRect(const DisplayArea &area);
