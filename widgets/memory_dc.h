#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

class QPaintDevice;

namespace memory_dc_detail {
// Holds the off-screen picture; a base class so that it exists before the painter opens on it.
struct OffscreenImage
{
    QImage m_image;
};
} // namespace memory_dc_detail

// Double buffer: a painter on an off-screen picture of rcDraw, pre-filled with crBackground,
// whose coordinates are those of the target (the picture's origin is rcDraw's top-left corner).
// The destructor copies the picture to the target in one block, so nothing flickers.
// Construct it inside the target widget's paint event.
class CMemoryDC : private memory_dc_detail::OffscreenImage, public QPainter
{
public:
    CMemoryDC(QPaintDevice *pTarget, const QRect &rcDraw, const QColor &crBackground);
    ~CMemoryDC();

    CMemoryDC(const CMemoryDC &) = delete;
    CMemoryDC &operator=(const CMemoryDC &) = delete;

    const QRect &DrawRect() const { return m_rcDraw; }

private:
    QPaintDevice *m_pTarget;
    QRect m_rcDraw;
};
