#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

// A skin piece loaded once from the resources, ready to be copied, stretched or drawn with
// magenta transparent. An empty object draws nothing.
class CTavloBitmap
{
public:
    CTavloBitmap() = default;
    virtual ~CTavloBitmap() = default;

    bool Load(int nId);
    void Release();
    bool IsLoaded() const { return !m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    const QImage &Image() const { return m_image; }

    void Draw(QPainter &dc, int x, int y) const;
    // Copies the part rcSource of the bitmap to (x, y).
    void DrawPart(QPainter &dc, int x, int y, const QRect &rcSource) const;
    // Stretches the part rcSource (the whole bitmap when empty) over rcTarget.
    void Stretch(QPainter &dc, const QRect &rcTarget, const QRect &rcSource = QRect()) const;
    void DrawTransparent(QPainter &dc, int x, int y) const;

private:
    QImage m_image;
    QImage m_keyed; // the same with magenta keyed out, made at load
};
