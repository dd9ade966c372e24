#include "widgets/mem_bm.h"

#include "widgets/skin_resources.h"

bool CMemBm::Load(int nId)
{
    if (m_bLoaded)
        return true;
    QImage image = LoadSkinImage(nId);
    if (image.isNull())
        return false;
    m_image = std::move(image);
    m_dwWidth = static_cast<uint32_t>(m_image.width());
    m_dwHeight = static_cast<uint32_t>(m_image.height());
    m_dwBitsPerPixel = 24;
    m_bLoaded = true;
    return true;
}

void CMemBm::Release()
{
    m_image = QImage();
    m_dwWidth = m_dwHeight = m_dwBitsPerPixel = 0;
    m_bLoaded = false;
}

void CMemBm::CopyFrame(QPainter &dc, const QRect &rcSource, const QPoint &ptTarget) const
{
    if (!m_bLoaded)
        return;
    dc.drawImage(ptTarget, m_image, rcSource);
}
