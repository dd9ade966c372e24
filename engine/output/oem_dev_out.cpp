#include "engine/output/oem_dev_out.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/output/jpeg_writer.h"
#include "engine/output/picture_convert.h"
#include "platform/trace.h"
#include "platform/wide_text.h"

namespace {

// The layouts tried for the frame, in order of preference.
constexpr uint32_t kLayoutOrder[] = {FOURCC_I420, FOURCC_YV12, FOURCC_YUY2,
                                     FOURCC_UYVY, FOURCC_NV12, FOURCC_YVU9};
constexpr uint32_t kMaxFourCC = 30;
// The RGB path's scratch picture follows the display rectangle; past this it draws nothing
// rather than allocate without bound.
constexpr int32_t kMaxDisplaySide = 8192;
constexpr int32_t kMaxPictureSide = 8192;

// Shared by the output and a waiting capture, so that an output closing during the wait
// leaves the capture something valid to look at.
struct CaptureState
{
    std::mutex lock;
    std::condition_variable served;
    // Tickets tell one request from the next: a capture that gave up must not take the
    // picture of the request after it, nor read while that one is written.
    std::atomic<uint64_t> requested{0}; // ticket to serve, 0 when none
    uint64_t servedTicket = 0;          // guarded by lock
    bool bClosed = false;               // guarded by lock
    int32_t nWidth = 0, nHeight = 0;
    // Written by the video task before servedTicket is set, read by the capture after it.
    std::vector<uint8_t> buffer;
};

// One capture at a time: their tickets and the buffer belong to a single waiter.
std::mutex g_CaptureCallLock;
uint64_t g_nNextTicket = 0; // guarded by g_CaptureCallLock

} // namespace

struct OemDevOut
{
    VideoRenderer *pRenderer = nullptr;
    VideoSurface *pWindow = nullptr;
    int32_t nWidth = 0, nHeight = 0;
    SurfaceRect source = {0, 0, 0, 0};
    uint32_t dwSurfaceFormat = 0;
    uint32_t m_dwNumFourCC = 0;
    uint32_t fourCC[kMaxFourCC] = {};
    std::shared_ptr<CaptureState> capture;
    // RGB path only.
    std::vector<uint8_t> dib;
    int32_t nDibWidth = 0, nDibHeight = 0;
    std::vector<uint8_t> m_pResizeBuf;
};

OemDevOut *g_pOemOutLarge = nullptr;
OemDevOut *g_pOemOutSmall = nullptr;
std::mutex g_OemOutLock;
std::atomic<int32_t> g_nOemSkipFrames{0};

namespace {

void Unregister(OemDevOut *out)
{
    std::lock_guard<std::mutex> guard(g_OemOutLock);
    if (g_pOemOutLarge == out)
        g_pOemOutLarge = nullptr;
    if (g_pOemOutSmall == out)
        g_pOemOutSmall = nullptr;
}

bool TakeSkippedFrame()
{
    int32_t left = g_nOemSkipFrames.load();
    while (left > 0)
        if (g_nOemSkipFrames.compare_exchange_weak(left, left - 1))
            return true;
    return false;
}

void ServeCapture(OemDevOut *out, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                  int32_t stride)
{
    CaptureState &state = *out->capture;
    const uint64_t ticket = state.requested.exchange(0);
    if (ticket == 0)
        return;
    YuvToBgr24(state.buffer.data(), state.nWidth, state.nHeight, state.nWidth * 3, pY, pU, pV,
               stride);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.servedTicket = ticket;
    }
    state.served.notify_all();
}

// The frame of a YVU9 surface keeps one chroma sample per 4 x 4 pixels: the mean of the
// four 4:2:0 samples it covers.
void WriteQuarterChroma(uint8_t *dst, int32_t pitch, const uint8_t *src, int32_t cstride,
                        int32_t w4, int32_t h4)
{
    for (int32_t j = 0; j < h4; ++j) {
        const uint8_t *a = src + static_cast<ptrdiff_t>(2 * j) * cstride;
        const uint8_t *b = a + cstride;
        uint8_t *d = dst + static_cast<ptrdiff_t>(j) * pitch;
        for (int32_t i = 0; i < w4; ++i)
            d[i] =
                static_cast<uint8_t>((a[2 * i] + a[2 * i + 1] + b[2 * i] + b[2 * i + 1] + 2) >> 2);
    }
}

// Copies count samples from src into a row whose samples are step bytes apart.
void PutRow(uint8_t *dst, int32_t step, const uint8_t *src, int32_t count)
{
    if (step == 1) {
        std::memcpy(dst, src, count);
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        dst[i * step] = src[i];
}

// Writes the picture into the locked frame; false when the frame is too small for it.
bool WriteFrame(const OemDevOut *out, const SurfaceLock &lock, const uint8_t *pY, const uint8_t *pU,
                const uint8_t *pV, int32_t stride)
{
    const int32_t w = out->nWidth, h = out->nHeight;
    const int32_t cstride = stride / 2;
    const uint32_t format = out->dwSurfaceFormat;
    const bool packed = format == FOURCC_YUY2 || format == FOURCC_UYVY;
    // Luma samples per row: the packed layouts hold whole pixel pairs only.
    const int32_t lumaCount = packed ? w / 2 * 2 : w;
    if (!lock.pPlane[0] || !lock.pPlane[1] || !lock.pPlane[2] ||
        lock.nPlanePitch[0] < lumaCount * lock.nSampleStep[0] ||
        lock.nBytes < SurfaceFrameBytes(format, lock.nPitch, h))
        return false;
    for (int32_t r = 0; r < h; ++r)
        PutRow(lock.pPlane[0] + static_cast<ptrdiff_t>(r) * lock.nPlanePitch[0],
               lock.nSampleStep[0], pY + static_cast<ptrdiff_t>(r) * stride, lumaCount);
    const uint8_t *const chroma[2] = {pU, pV};
    if (format == FOURCC_YVU9) {
        for (int c = 0; c < 2; ++c)
            WriteQuarterChroma(lock.pPlane[1 + c], lock.nPlanePitch[1 + c], chroma[c], cstride,
                               w / 4, h / 4);
        return true;
    }
    // The packed layouts repeat each chroma row for the two luma rows it covers.
    const int32_t rows = packed ? h : h / 2;
    for (int c = 0; c < 2; ++c)
        for (int32_t r = 0; r < rows; ++r)
            PutRow(lock.pPlane[1 + c] + static_cast<ptrdiff_t>(r) * lock.nPlanePitch[1 + c],
                   lock.nSampleStep[1 + c],
                   chroma[c] + static_cast<ptrdiff_t>(packed ? r / 2 : r) * cstride, w / 2);
    return true;
}

int32_t PresentToFrame(OemDevOut *out, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                       int32_t stride)
{
    if (pU && pV)
        ServeCapture(out, pY, pU, pV, stride);
    const DisplayRect display = VideoRendererGetDisplayRect(out->pRenderer);
    SurfaceLock lock{};
    if (!out->pWindow->Lock(&lock))
        return 0;
    const bool written = pU && pV && WriteFrame(out, lock, pY, pU, pV, stride);
    out->pWindow->Unlock();
    if (!written)
        return 0;
    if (display.width == 0 || display.height == 0)
        return 1; // nothing to draw into
    const SurfaceRect destination = {display.x, display.y, display.width, display.height};
    return out->pWindow->Blt(out->source, destination) ? 1 : 0;
}

int32_t PresentRgb(OemDevOut *out, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                   int32_t stride)
{
    DisplayRect display = VideoRendererGetDisplayRect(out->pRenderer);
    if (display.width > kMaxDisplaySide || display.height > kMaxDisplaySide)
        display.width = display.height = 0;
    if (out->dib.empty() || out->nDibWidth != display.width || out->nDibHeight != display.height) {
        out->dib.clear();
        out->nDibWidth = display.width;
        out->nDibHeight = display.height;
        try {
            out->dib.assign(static_cast<size_t>(display.width) * display.height * 2, 0);
            out->m_pResizeBuf.resize(ScaleScratchBytes(display.width, display.height));
        } catch (const std::bad_alloc &) {
            out->dib.clear();
            out->nDibWidth = out->nDibHeight = 0;
        }
    }
    const bool drawable = !out->dib.empty();
    if (pU && pV && drawable)
        ScaleAndConvertRgb565(out->dib.data(), display.width, display.height, display.width * 2, pY,
                              pU, pV, out->nWidth, out->nHeight, stride, out->m_pResizeBuf.data());
    if (TakeSkippedFrame())
        return 1;
    if (drawable)
        out->pWindow->DrawRgb565({display.x, display.y, display.width, display.height},
                                 out->dib.data(), display.width * 2);
    if (pU && pV)
        ServeCapture(out, pY, pU, pV, stride);
    return 1;
}

void *OpenEntry(VideoRenderer *renderer, VideoSurface *window, int32_t width, int32_t height)
{
    return DevOutVideoOEMOpen(renderer, window, width, height);
}

void CloseEntry(void *device)
{
    DevOutVideoOEMClose(static_cast<OemDevOut *>(device));
}

int32_t PresentEntry(void *device, const uint8_t *pY, const uint8_t *pU, const uint8_t *pV,
                     int32_t stride)
{
    return DevOutVideoOEMPresent(static_cast<OemDevOut *>(device), pY, pU, pV, stride);
}

} // namespace

const VideoDevOutOps g_OemDevOutOps = {VIDEO_OUT_TYPE_OEM, OpenEntry, CloseEntry, nullptr,
                                       PresentEntry};

OemDevOut *DevOutVideoOEMOpen(VideoRenderer *renderer, VideoSurface *window, int32_t width,
                              int32_t height)
{
    // Larger pictures than any stream the engine reads would only ask for huge buffers.
    if (!window || width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return nullptr;
    std::unique_ptr<OemDevOut> out(new (std::nothrow) OemDevOut);
    if (!out)
        return nullptr;
    out->pRenderer = renderer;
    out->pWindow = window;
    out->nWidth = width;
    out->nHeight = height;
    out->source = {0, 0, width & ~7, height & ~7};
    const std::vector<uint32_t> layouts = window->AcceptedLayouts();
    out->m_dwNumFourCC = std::min<uint32_t>(static_cast<uint32_t>(layouts.size()), kMaxFourCC);
    std::copy_n(layouts.begin(), out->m_dwNumFourCC, out->fourCC);
    for (uint32_t layout : kLayoutOrder)
        if (window->CreateFrame(layout, width, height)) {
            out->dwSurfaceFormat = layout;
            break;
        }
    if (out->dwSurfaceFormat == 0)
        out->dwSurfaceFormat = FOURCC_RGBA; // no YUV frame: scale and convert here
    try {
        out->capture = std::make_shared<CaptureState>();
        out->capture->nWidth = width;
        out->capture->nHeight = height;
        out->capture->buffer.assign(static_cast<size_t>(width) * height * 3, 0);
    } catch (const std::bad_alloc &) {
        if (out->dwSurfaceFormat != FOURCC_RGBA)
            window->ReleaseFrame();
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(g_OemOutLock);
        (width > 640 ? g_pOemOutLarge : g_pOemOutSmall) = out.get();
    }
    TraceA("OemDevOut: %dx%d, surface %.4s\n", width, height,
           reinterpret_cast<const char *>(&out->dwSurfaceFormat));
    return out.release();
}

int32_t DevOutVideoOEMPresent(OemDevOut *out, const uint8_t *pY, const uint8_t *pU,
                              const uint8_t *pV, int32_t stride)
{
    if (!out || !pY)
        return 0;
    if (out->dwSurfaceFormat == FOURCC_RGBA)
        return PresentRgb(out, pY, pU, pV, stride);
    return PresentToFrame(out, pY, pU, pV, stride);
}

void DevOutVideoOEMClose(OemDevOut *out)
{
    if (!out)
        return;
    Unregister(out);
    if (out->dwSurfaceFormat != FOURCC_RGBA)
        out->pWindow->ReleaseFrame();
    {
        std::lock_guard<std::mutex> guard(out->capture->lock);
        out->capture->bClosed = true;
    }
    out->capture->served.notify_all();
    delete out;
}

int32_t DevOutVideoOEMCapture(const wchar_t *path, int32_t selector)
{
    if (!path)
        return 0;
    std::lock_guard<std::mutex> one(g_CaptureCallLock);
    std::shared_ptr<CaptureState> state;
    {
        std::lock_guard<std::mutex> guard(g_OemOutLock);
        OemDevOut *out = selector ? g_pOemOutSmall : g_pOemOutLarge;
        if (!out)
            return 0;
        state = out->capture;
    }
    const uint64_t ticket = ++g_nNextTicket;
    {
        std::unique_lock<std::mutex> lock(state->lock);
        state->requested.store(ticket);
        const bool served =
            state->served.wait_for(lock, std::chrono::milliseconds(kOemCaptureWaitMs),
                                   [&] { return state->servedTicket == ticket || state->bClosed; });
        if (!served || state->servedTicket != ticket) {
            // A request taken by the video task just now is still served into the buffer;
            // the ticket keeps that picture from being taken by a later capture.
            uint64_t expected = ticket;
            state->requested.compare_exchange_strong(expected, 0);
            TraceA("DevOutVideoOEMCapture: no picture\n");
            return 0;
        }
    }
    return WriteBgr24Jpeg(WideToUtf8(path), state->buffer.data(), state->nWidth, state->nHeight,
                          state->nWidth * 3)
               ? 1
               : 0;
}

int32_t DevOutVideoOEMSkipFrames()
{
    int32_t expected = 0;
    g_nOemSkipFrames.compare_exchange_strong(expected, 10);
    return 1;
}

uint32_t DevOutVideoOEMSurfaceFormat(const OemDevOut *out)
{
    return out ? out->dwSurfaceFormat : 0;
}

SurfaceRect DevOutVideoOEMSourceRect(const OemDevOut *out)
{
    return out ? out->source : SurfaceRect{0, 0, 0, 0};
}
