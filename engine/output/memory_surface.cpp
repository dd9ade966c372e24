#include "engine/output/memory_surface.h"

#include <algorithm>
#include <cstring>

MemorySurface::MemorySurface(int32_t width, int32_t height, std::vector<uint32_t> layouts,
                             int32_t pitchPadding)
    : m_Layouts(std::move(layouts)), m_nPitchPadding(pitchPadding)
{
    SetSize(width, height);
}

void MemorySurface::SetSize(int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_nWidth = std::max(0, width);
    m_nHeight = std::max(0, height);
    m_Record.nWindowWidth = m_nWidth;
    m_Record.window.assign(static_cast<size_t>(m_nWidth) * m_nHeight, 0);
}

void MemorySurface::SetScreenPosition(int32_t x, int32_t y)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_nScreenX = x;
    m_nScreenY = y;
}

void MemorySurface::SetLockBusy(bool busy)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_bLockBusy = busy;
}

void MemorySurface::SetBltFails(bool fails)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_bBltFails = fails;
}

void MemorySurface::GetSize(int32_t *width, int32_t *height) const
{
    std::lock_guard<std::mutex> guard(m_Lock);
    *width = m_nWidth;
    *height = m_nHeight;
}

void MemorySurface::GetScreenPosition(int32_t *x, int32_t *y) const
{
    std::lock_guard<std::mutex> guard(m_Lock);
    *x = m_nScreenX;
    *y = m_nScreenY;
}

std::vector<uint32_t> MemorySurface::AcceptedLayouts() const
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Layouts;
}

bool MemorySurface::CreateFrame(uint32_t fourcc, int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    if (std::find(m_Layouts.begin(), m_Layouts.end(), fourcc) == m_Layouts.end())
        return false;
    const bool packed = fourcc == FOURCC_YUY2 || fourcc == FOURCC_UYVY;
    const int32_t pitch = ((packed ? 2 * width : width) + 3) / 4 * 4 + m_nPitchPadding;
    m_nFrameBytes = SurfaceFrameBytes(fourcc, pitch, height);
    m_nFrameHeight = height;
    m_Frame.assign(m_nFrameBytes + 2 * kGuard, kGuardByte);
    m_Record.dwFrameLayout = fourcc;
    m_Record.nFramePitch = pitch;
    m_Record.frame.clear();
    return true;
}

void MemorySurface::ReleaseFrame()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Frame.clear();
    m_nFrameBytes = 0;
}

bool MemorySurface::Lock(SurfaceLock *lock)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    if (m_bLockBusy || m_bLocked || m_Frame.empty())
        return false;
    m_bLocked = true;
    *lock = MakeSurfaceLock(m_Record.dwFrameLayout, m_Frame.data() + kGuard, m_Record.nFramePitch,
                            m_nFrameHeight, m_nFrameBytes);
    return true;
}

void MemorySurface::Unlock()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    if (!m_bLocked)
        return;
    m_bLocked = false;
    m_Record.frame.assign(m_Frame.begin() + kGuard, m_Frame.begin() + kGuard + m_nFrameBytes);
    const auto intact = [](auto first, auto last) {
        return std::all_of(first, last, [](uint8_t b) { return b == kGuardByte; });
    };
    m_Record.bFrameGuardsIntact = intact(m_Frame.begin(), m_Frame.begin() + kGuard) &&
                                  intact(m_Frame.end() - kGuard, m_Frame.end());
}

bool MemorySurface::Blt(const SurfaceRect &source, const SurfaceRect &destination)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    if (m_bBltFails)
        return false;
    ++m_Record.nBlts;
    m_Record.bltSource = source;
    m_Record.bltDestination = destination;
    return true;
}

bool MemorySurface::DrawRgb565(const SurfaceRect &d, const uint8_t *pixels, int32_t rowBytes)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    ++m_Record.nDraws;
    m_Record.drawDestination = d;
    for (int32_t r = 0; r < d.height; ++r) {
        const int32_t y = d.y + r;
        if (y < 0 || y >= m_nHeight)
            continue;
        for (int32_t c = 0; c < d.width; ++c) {
            const int32_t x = d.x + c;
            if (x < 0 || x >= m_nWidth)
                continue;
            const uint8_t *p = pixels + static_cast<ptrdiff_t>(r) * rowBytes + 2 * c;
            m_Record.window[static_cast<size_t>(y) * m_nWidth + x] =
                static_cast<uint16_t>(p[0] | p[1] << 8);
        }
    }
    return true;
}

MemorySurface::Record MemorySurface::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Record;
}
