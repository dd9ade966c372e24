#include "widgets/memory_dc.h"

#include <QPaintDevice>

namespace {
QImage OffscreenFor(QPaintDevice *target, const QRect &rc)
{
    const qreal ratio = target ? target->devicePixelRatioF() : 1.0;
    QImage image(rc.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}
} // namespace

CMemoryDC::CMemoryDC(QPaintDevice *pTarget, const QRect &rcDraw, const QColor &crBackground)
    : OffscreenImage{OffscreenFor(pTarget, rcDraw)}, m_pTarget(pTarget), m_rcDraw(rcDraw)
{
    if (m_image.isNull())
        return; // nothing to draw on; the destructor copies nothing either
    m_image.fill(crBackground);
    begin(&m_image);
    translate(-rcDraw.topLeft());
}

CMemoryDC::~CMemoryDC()
{
    if (!isActive())
        return;
    end();
    if (!m_pTarget)
        return;
    QPainter screen(m_pTarget);
    screen.drawImage(m_rcDraw.topLeft(), m_image);
}
