#include "playback/surface_geometry.h"

#include <QWidget>

void SurfaceGeometry::Update(const QWidget *widget)
{
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    m_nX = origin.x();
    m_nY = origin.y();
    m_nWidth = widget->width();
    m_nHeight = widget->height();
}

void SurfaceGeometry::GetSize(int32_t *width, int32_t *height) const
{
    *width = m_nWidth;
    *height = m_nHeight;
}

void SurfaceGeometry::GetScreenPosition(int32_t *x, int32_t *y) const
{
    *x = m_nX;
    *y = m_nY;
}
