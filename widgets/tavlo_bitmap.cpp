#include "widgets/tavlo_bitmap.h"

#include "widgets/skin_resources.h"

bool CTavloBitmap::Load(int nId)
{
    QImage image = LoadSkinImage(nId);
    if (image.isNull()) {
        Release();
        return false;
    }
    m_image = std::move(image);
    m_keyed = KeyOutMagenta(m_image);
    return true;
}

void CTavloBitmap::Release()
{
    m_image = QImage();
    m_keyed = QImage();
}

void CTavloBitmap::Draw(QPainter &dc, int x, int y) const
{
    if (IsLoaded())
        dc.drawImage(QPoint(x, y), m_image);
}

void CTavloBitmap::DrawPart(QPainter &dc, int x, int y, const QRect &rcSource) const
{
    if (IsLoaded())
        dc.drawImage(QPoint(x, y), m_image, rcSource);
}

void CTavloBitmap::Stretch(QPainter &dc, const QRect &rcTarget, const QRect &rcSource) const
{
    if (!IsLoaded() || rcTarget.isEmpty())
        return;
    dc.drawImage(rcTarget, m_image, rcSource.isNull() ? m_image.rect() : rcSource);
}

void CTavloBitmap::DrawTransparent(QPainter &dc, int x, int y) const
{
    if (IsLoaded())
        dc.drawImage(QPoint(x, y), m_keyed);
}
