#pragma once

#include <atomic>
#include <cstdint>

class QWidget;

// A widget's size and screen position as the video task reads them: updated on the window
// thread whenever the widget is shown, moved, resized or painted.
class SurfaceGeometry
{
public:
    void Update(const QWidget *widget);
    void GetSize(int32_t *width, int32_t *height) const;
    void GetScreenPosition(int32_t *x, int32_t *y) const;

private:
    std::atomic<int32_t> m_nX{0}, m_nY{0}, m_nWidth{0}, m_nHeight{0};
};
