#include "engine/output/video_renderer.h"

#include <algorithm>
#include <new>

#include "engine/core/vantor_errors.h"
#include "engine/output/oem_dev_out.h"
#include "engine/output/video_surface.h"

namespace {

// Device outputs by output type.
constexpr const VideoDevOutOps *kDevOuts[] = {&g_OemDevOutOps};

const VideoDevOutOps *DevOutFor(uint32_t type)
{
    for (const VideoDevOutOps *ops : kDevOuts)
        if (ops->dwOutputType == type)
            return ops;
    return nullptr;
}

struct Ratio
{
    uint64_t f, e; // width : height
};

Ratio RatioFor(const DisplayArea &a)
{
    switch (a.dwAspectMode) {
    case 1:
        return {a.dwSourceWidth, a.dwSourceHeight};
    case 3:
        return {4, 3};
    case 4:
        return {16, 9};
    case 5:
        return {185, 100};
    case 6:
        return {235, 100};
    default:
        return {a.dwRatioWidth, a.dwRatioHeight};
    }
}

bool KeepsWindowShape(uint32_t orientation)
{
    return orientation == 0 || orientation == 2 || orientation == 4 || orientation == 5;
}

// Applies the device type under the renderer's lock: closes the current output, opens the
// new one with the window already stored.
bool ApplyOutputType(VideoRenderer *r, uint32_t type)
{
    if (r->pDevOps && r->pDevice)
        r->pDevOps->Close(r->pDevice);
    r->pDevOps = nullptr;
    r->pDevice = nullptr;
    r->dwOutputType = type;
    const VideoDevOutOps *ops = DevOutFor(type);
    if (!ops) {
        r->nLastError = VANTOR_E_VIDEO_OUTPUT_INIT;
        return false;
    }
    void *device = ops->Open(r, r->pWindow, r->nWidth, r->nHeight);
    if (!device) {
        r->nLastError = VANTOR_E_OUT_OF_MEMORY;
        return false;
    }
    r->pDevOps = ops;
    r->pDevice = device;
    return true;
}

} // namespace

DisplayRect ComputeDisplayRect(const DisplayArea &a)
{
    const bool keep = KeepsWindowShape(a.dwOrientation);
    const uint64_t areaWidth = keep ? a.dwWindowWidth : a.dwWindowHeight;
    const uint64_t areaHeight = keep ? a.dwWindowHeight : a.dwWindowWidth;
    uint64_t dw = areaWidth, dh = areaHeight;
    if (a.dwAspectMode == 0) {
        dw = std::min<uint64_t>(dw, a.dwSourceWidth);
        dh = std::min<uint64_t>(dh, a.dwSourceHeight);
    } else if (a.dwAspectMode != 2) {
        // 64-bit products: large custom ratios must not wrap into a rectangle wider than the
        // window.
        const Ratio ratio = RatioFor(a);
        if (ratio.e * dw > ratio.f * dh)
            dw = ratio.f * dh / ratio.e;
        else if (ratio.e * dw < ratio.f * dh)
            dh = ratio.e * dw / ratio.f;
    }
    // A strip much wider than high that would show less than 3/32 of the source area gets
    // the height that shows that much, as far as the window allows.
    const uint64_t sourceArea = static_cast<uint64_t>(a.dwSourceWidth) * a.dwSourceHeight;
    if (dw > 2 * dh && sourceArea > 0 && 32 * dw * dh < 3 * sourceArea)
        dh = std::min(areaHeight, (3 * sourceArea + 32 * dw - 1) / (32 * dw));
    dw &= ~uint64_t{15};
    dh &= ~uint64_t{15};
    return {static_cast<int32_t>((areaWidth - dw) / 2), static_cast<int32_t>((areaHeight - dh) / 2),
            static_cast<int32_t>(dw), static_cast<int32_t>(dh)};
}

int32_t VideoRendererCreate(const VideoStreamFormat *format, VideoRenderer **renderer)
{
    if (!renderer)
        return VANTOR_E_INVALID_ARG;
    *renderer = nullptr;
    if (!format)
        return VANTOR_E_INVALID_ARG;
    std::unique_ptr<VideoRenderer> r(new (std::nothrow) VideoRenderer);
    if (!r)
        return VANTOR_E_OUT_OF_MEMORY;
    r->dwFormat = format->dwFormat;
    r->nBitCount = format->nBitCount;
    r->nWidth = std::max(0, format->nWidth);
    r->nHeight = std::max(0, format->nHeight);
    if (format->pExtra && format->dwExtraLen > 0) {
        const uint32_t length = std::min(format->dwExtraLen, kVideoExtraDataMax);
        r->extra.assign(format->pExtra, format->pExtra + length);
    }
    *renderer = r.release();
    return VANTOR_OK;
}

int32_t VideoRendererConfigure(VideoRenderer *r, const VantorVideoOutConfig *c)
{
    if (!r || !c)
        return 0;
    std::lock_guard<std::mutex> guard(r->lock);
    const uint32_t mask = c->dwMask;
    bool applied = true;
    if (mask & VIDEO_OUT_OPTION3) {
        r->dwOption3 = c->dwOption3;
        r->bOption3Set = true;
    }
    if (mask & VIDEO_OUT_SECONDARY_WINDOW) {
        r->pWindow2 = c->pWindow2;
        r->window2[0] = c->nX2;
        r->window2[1] = c->nY2;
        r->window2[2] = c->nWidth2;
        r->window2[3] = c->nHeight2;
        r->dwOrientation2a = c->dwOrientation2a;
        r->dwOrientation2b = c->dwOrientation2b;
    }
    if (mask & VIDEO_OUT_SECONDARY_ASPECT) {
        r->dwAspectMode2 = c->dwAspectMode2;
        r->dwRatioWidth2 = c->dwRatioWidth2;
        r->dwRatioHeight2 = c->dwRatioHeight2;
    }
    if (mask & VIDEO_OUT_OPTION1)
        r->dwOption1 = c->dwOption1;
    if (mask & VIDEO_OUT_WINDOW) {
        r->pWindow = c->pWindow;
        r->window[0] = c->nX;
        r->window[1] = c->nY;
        r->window[2] = c->nWidth;
        r->window[3] = c->nHeight;
        r->dwOrientation = c->dwOrientation;
        r->dwOrientation2 = c->dwOrientation2;
    }
    if (mask & VIDEO_OUT_ASPECT) {
        r->dwAspectMode = c->dwAspectMode;
        r->dwRatioWidth = c->dwRatioWidth;
        r->dwRatioHeight = c->dwRatioHeight;
    }
    if (mask & VIDEO_OUT_OPTION2)
        r->dwOption2 = c->dwOption2;
    // Last, so that a new device output opens with the window and the aspect already set.
    if (mask & VIDEO_OUT_TYPE)
        applied = ApplyOutputType(r, c->dwOutputType);
    if (mask)
        r->bConfigChanged = true;
    return applied ? 1 : 0;
}

int32_t VideoRendererPresent(VideoRenderer *r, const VideoPicture *picture)
{
    if (!r)
        return VANTOR_E_INVALID_ARG;
    std::lock_guard<std::mutex> guard(r->lock);
    if (!r->pDevOps || !r->pDevice)
        return VANTOR_E_UNSUPPORTED_FUNCTION;
    if (!picture || !picture->pY)
        return 0;
    return r->pDevOps->Present(r->pDevice, picture->pY, picture->pU, picture->pV, picture->nStride);
}

int32_t VideoRendererNotify(VideoRenderer *r, int32_t value)
{
    if (!r)
        return 0;
    std::lock_guard<std::mutex> guard(r->lock);
    if (!r->pDevOps || !r->pDevice || !r->pDevOps->Notify)
        return 0;
    return r->pDevOps->Notify(r->pDevice, value);
}

DisplayRect VideoRendererGetDisplayRect(VideoRenderer *r)
{
    if (!r)
        return {0, 0, 0, 0};
    if (r->pWindow) {
        r->pWindow->GetScreenPosition(&r->window[0], &r->window[1]);
        r->pWindow->GetSize(&r->window[2], &r->window[3]);
    }
    const DisplayArea area = {static_cast<uint32_t>(std::max(0, r->window[2])),
                              static_cast<uint32_t>(std::max(0, r->window[3])),
                              static_cast<uint32_t>(r->nWidth),
                              static_cast<uint32_t>(r->nHeight),
                              r->dwAspectMode,
                              r->dwRatioWidth,
                              r->dwRatioHeight,
                              r->dwOrientation};
    r->display = ComputeDisplayRect(area);
    return r->display;
}

void VideoRendererClose(VideoRenderer *r)
{
    if (!r)
        return;
    {
        std::lock_guard<std::mutex> guard(r->lock);
        if (r->pDevOps && r->pDevice)
            r->pDevOps->Close(r->pDevice);
        r->pDevOps = nullptr;
        r->pDevice = nullptr;
    }
    delete r;
}
