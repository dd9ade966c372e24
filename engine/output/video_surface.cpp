#include "engine/output/video_surface.h"

size_t SurfaceFrameBytes(uint32_t fourcc, int32_t pitch, int32_t height)
{
    if (pitch <= 0 || height <= 0)
        return 0;
    const size_t p = static_cast<size_t>(pitch), h = static_cast<size_t>(height);
    switch (fourcc) {
    case FOURCC_I420:
    case FOURCC_YV12:
        return p * h + 2 * (p / 2) * (h / 2);
    case FOURCC_NV12:
        return p * h + p * (h / 2);
    case FOURCC_YUY2:
    case FOURCC_UYVY:
        return p * h;
    case FOURCC_YVU9:
        return p * h + 2 * (p / 4) * (h / 4);
    default:
        return 0;
    }
}

SurfaceLock MakeSurfaceLock(uint32_t fourcc, uint8_t *bits, int32_t pitch, int32_t height,
                            size_t bytes)
{
    SurfaceLock lock = {bits, pitch, bytes, {nullptr, nullptr, nullptr}, {0, 0, 0}, {0, 0, 0}};
    if (!bits || SurfaceFrameBytes(fourcc, pitch, height) == 0)
        return lock;
    const size_t p = static_cast<size_t>(pitch), h = static_cast<size_t>(height);
    uint8_t *const after = bits + p * h; // first byte after the luma plane
    const auto set = [&](uint8_t *y, uint8_t *cb, uint8_t *cr, int32_t lumaPitch,
                         int32_t chromaPitch, int32_t lumaStep, int32_t chromaStep) {
        lock.pPlane[0] = y;
        lock.pPlane[1] = cb;
        lock.pPlane[2] = cr;
        lock.nPlanePitch[0] = lumaPitch;
        lock.nPlanePitch[1] = lock.nPlanePitch[2] = chromaPitch;
        lock.nSampleStep[0] = lumaStep;
        lock.nSampleStep[1] = lock.nSampleStep[2] = chromaStep;
    };
    switch (fourcc) {
    case FOURCC_I420:
        set(bits, after, after + (p / 2) * (h / 2), pitch, pitch / 2, 1, 1);
        break;
    case FOURCC_YV12:
        set(bits, after + (p / 2) * (h / 2), after, pitch, pitch / 2, 1, 1);
        break;
    case FOURCC_NV12:
        set(bits, after, after + 1, pitch, pitch, 1, 2);
        break;
    case FOURCC_YUY2:
        set(bits, bits + 1, bits + 3, pitch, pitch, 2, 4);
        break;
    case FOURCC_UYVY:
        set(bits + 1, bits, bits + 2, pitch, pitch, 2, 4);
        break;
    case FOURCC_YVU9:
        set(bits, after + (p / 4) * (h / 4), after, pitch, pitch / 4, 1, 1);
        break;
    }
    return lock;
}
