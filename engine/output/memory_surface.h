#pragma once

#include <mutex>
#include <vector>

#include "engine/output/video_surface.h"

// A video surface in memory, for tests and tools: it keeps its frame with guard bytes around
// it, records what was shown, and can be told to refuse locks or blits.
class MemorySurface : public VideoSurface
{
public:
    // layouts empty: the surface takes RGB565 pictures only. pitchPadding is added to the
    // shortest pitch, so writers that ignore the pitch show up.
    MemorySurface(int32_t width, int32_t height, std::vector<uint32_t> layouts,
                  int32_t pitchPadding = 24);

    void SetSize(int32_t width, int32_t height);
    void SetScreenPosition(int32_t x, int32_t y);
    void SetLockBusy(bool busy);
    void SetBltFails(bool fails);

    void GetSize(int32_t *width, int32_t *height) const override;
    void GetScreenPosition(int32_t *x, int32_t *y) const override;
    std::vector<uint32_t> AcceptedLayouts() const override;
    bool CreateFrame(uint32_t fourcc, int32_t width, int32_t height) override;
    void ReleaseFrame() override;
    bool Lock(SurfaceLock *lock) override;
    void Unlock() override;
    bool Blt(const SurfaceRect &source, const SurfaceRect &destination) override;
    bool DrawRgb565(const SurfaceRect &destination, const uint8_t *pixels,
                    int32_t rowBytes) override;

    // What was shown.
    struct Record
    {
        uint32_t dwFrameLayout = 0;
        int32_t nFramePitch = 0;
        std::vector<uint8_t> frame; // the frame as last unlocked, without the guards
        bool bFrameGuardsIntact = true;
        int32_t nBlts = 0;
        SurfaceRect bltSource = {0, 0, 0, 0};
        SurfaceRect bltDestination = {0, 0, 0, 0};
        int32_t nDraws = 0;
        SurfaceRect drawDestination = {0, 0, 0, 0};
        int32_t nWindowWidth = 0;
        std::vector<uint16_t> window; // RGB565 drawing area, row by row
    };
    Record Snapshot() const;

private:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0x5A;

    mutable std::mutex m_Lock;
    int32_t m_nWidth = 0, m_nHeight = 0;
    int32_t m_nScreenX = 0, m_nScreenY = 0;
    std::vector<uint32_t> m_Layouts;
    int32_t m_nPitchPadding;
    bool m_bLockBusy = false, m_bBltFails = false, m_bLocked = false;
    std::vector<uint8_t> m_Frame; // guard, frame, guard
    size_t m_nFrameBytes = 0;
    int32_t m_nFrameHeight = 0;
    Record m_Record;
};
