#pragma once

#include <cstdint>

#include <QImage>
#include <QPainter>
#include <QRect>

// A button strip: one skin bitmap kept ready for block copies of its frames.
class CMemBm
{
public:
    CMemBm() = default;
    virtual ~CMemBm() = default;

    // Loads skin bitmap nId. A second load of a loaded object does nothing and succeeds;
    // a missing resource fails and leaves the object empty.
    bool Load(int nId);
    void Release();

    // Copies source rectangle rcSource of the bitmap to ptTarget, at the same size.
    void CopyFrame(QPainter &dc, const QRect &rcSource, const QPoint &ptTarget) const;

    bool IsLoaded() const { return m_bLoaded; }
    uint32_t Width() const { return m_dwWidth; }
    uint32_t Height() const { return m_dwHeight; }
    uint32_t BitsPerPixel() const { return m_dwBitsPerPixel; }
    const QImage &Image() const { return m_image; }

private:
    QImage m_image;
    uint32_t m_dwWidth = 0;
    uint32_t m_dwHeight = 0;
    uint32_t m_dwBitsPerPixel = 0;
    bool m_bLoaded = false;
};
