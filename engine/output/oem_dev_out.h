#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/output/video_renderer.h"
#include "engine/output/video_surface.h"

// The screen output: pictures go into a YUV frame of the window's surface, which scales and
// converts them; a surface with no YUV layout gets RGB565 pictures scaled and converted here.
// It also serves still-frame captures from the next picture it presents.
//
// Lock order: a renderer's lock, then g_OemOutLock, then an output's capture state; a capture
// takes its call lock, then g_OemOutLock (briefly), then the capture state, and never a
// renderer's lock, so a capture waiting for a picture cannot hold up the video task.
struct OemDevOut;

extern const VideoDevOutOps g_OemDevOutOps;

// The most recently opened output with a source wider than 640 pixels, and with 640 or fewer.
// Guarded by g_OemOutLock.
extern OemDevOut *g_pOemOutLarge;
extern OemDevOut *g_pOemOutSmall;
extern std::mutex g_OemOutLock;
// Presentations whose drawing the RGB path still skips; set by the window thread, counted
// down by the video task.
extern std::atomic<int32_t> g_nOemSkipFrames;

// How long a capture waits for the next picture before it gives up.
constexpr uint32_t kOemCaptureWaitMs = 2000;

// Video task (through the renderer, lock held).
OemDevOut *DevOutVideoOEMOpen(VideoRenderer *renderer, VideoSurface *window, int32_t width,
                              int32_t height);
int32_t DevOutVideoOEMPresent(OemDevOut *out, const uint8_t *pY, const uint8_t *pU,
                              const uint8_t *pV, int32_t stride);
void DevOutVideoOEMClose(OemDevOut *out);

// Window thread. Writes the next picture presented by the small (selector non-zero) or large
// output as a JPEG file; 1 written, 0 when there is no such output, no picture came within
// kOemCaptureWaitMs (paused with nothing pending, playback ended) or the file failed.
int32_t DevOutVideoOEMCapture(const wchar_t *path, int32_t selector);
// Window thread, after the two video windows were exchanged: the RGB path leaves the next 10
// pictures undrawn. Returns 1.
int32_t DevOutVideoOEMSkipFrames();

// What the output chose, for tests and traces.
uint32_t DevOutVideoOEMSurfaceFormat(const OemDevOut *out);
SurfaceRect DevOutVideoOEMSourceRect(const OemDevOut *out);
