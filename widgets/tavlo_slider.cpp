#include "widgets/tavlo_slider.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "widgets/memory_dc.h"
#include "widgets/skin_resources.h"
#include "widgets/window_message.h"

int SliderThumbCentre(int nValue, int nMinimum, int nMaximum, int nWidth, int nThumbWidth)
{
    const int half = nThumbWidth / 2;
    if (nMaximum == nMinimum)
        return half;
    const double ratio = (double(nValue) - nMinimum) / (double(nMaximum) - nMinimum);
    return half + static_cast<int>(std::trunc(ratio * (nWidth - nThumbWidth)));
}

int SliderValueAt(int x, int nMinimum, int nMaximum, int nWidth, int nThumbWidth)
{
    if (nWidth <= nThumbWidth)
        return nMinimum;
    const double v = nMinimum + (double(x) - nThumbWidth / 2) / (nWidth - nThumbWidth) *
                                    (double(nMaximum) - nMinimum);
    // The value lies within the range unless x does; keep it representable either way.
    return static_cast<int>(std::trunc(std::clamp(v, -2147483648.0, 2147483647.0)));
}

CTavloSlider::CTavloSlider(QWidget *parent, int nControlId)
    : QWidget(parent), m_nControlId(nControlId)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::ClickFocus);
}

CTavloSlider::~CTavloSlider() = default;

bool CTavloSlider::SetTrackBitmap(int nId)
{
    m_track = LoadSkinImage(nId);
    m_nWidth = width();
    m_nHeight = height();
    update();
    return !m_track.isNull();
}

bool CTavloSlider::SetThumbBitmap(int nId)
{
    const QImage thumb = LoadSkinImage(nId);
    m_thumb = thumb.isNull() ? QImage() : KeyOutMagenta(thumb);
    m_nThumbWidth = m_thumb.width();
    m_nThumbHeight = m_thumb.height();
    update();
    return !m_thumb.isNull();
}

QSize CTavloSlider::sizeHint() const
{
    return QSize(m_nWidth, m_nHeight);
}

void CTavloSlider::resizeEvent(QResizeEvent *e)
{
    // The owner moves and sizes the slider; the geometry follows its client size.
    m_nWidth = width();
    m_nHeight = height();
    QWidget::resizeEvent(e);
}

int CTavloSlider::ThumbCentre() const
{
    return SliderThumbCentre(m_nPosition, m_nMinimum, m_nMaximum, m_nWidth, m_nThumbWidth);
}

void CTavloSlider::SetPos(int nValue)
{
    m_nPosition = std::max(std::min(nValue, m_nMaximum), m_nMinimum);
    update();
}

void CTavloSlider::SetEnabled(bool bEnabled)
{
    m_bEnabled = bEnabled;
    if (!bEnabled && m_bDragging) {
        m_bDragging = false;
        if (mouseGrabber() == this)
            releaseMouse();
    }
    update();
}

void CTavloSlider::Post(int nMessage)
{
    QObject *target = m_pNotify ? m_pNotify.data() : parent();
    if (target)
        QCoreApplication::postEvent(target,
                                    new CWindowMessage(nMessage, m_nControlId, m_nPosition));
}

void CTavloSlider::MoveTo(int x)
{
    const int half = m_nThumbWidth / 2;
    const int target = std::clamp(x - m_nGrabOffset, half, std::max(half, m_nWidth - half));
    if (target == ThumbCentre())
        return;
    const int value = SliderValueAt(target, m_nMinimum, m_nMaximum, m_nWidth, m_nThumbWidth);
    m_nPosition = std::max(std::min(value, m_nMaximum), m_nMinimum);
    update();
    Post(WM_SLIDER_MOVING);
}

void CTavloSlider::mousePressEvent(QMouseEvent *e)
{
    if (!m_bEnabled || e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_bDragging = true;
    const int x = e->position().toPoint().x();
    const int d = x - ThumbCentre();
    // Outside the thumb the thumb jumps to the pointer; on it, it stays under the pointer.
    m_nGrabOffset = std::abs(d) > m_nThumbWidth / 2 ? 0 : d;
    MoveTo(x);
    update();
}

void CTavloSlider::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_bDragging || !m_bEnabled)
        return;
    MoveTo(e->position().toPoint().x());
}

void CTavloSlider::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_bEnabled || e->button() != Qt::LeftButton)
        return;
    m_bDragging = false;
    update();
    Post(WM_SLIDER_CHANGED);
}

void CTavloSlider::keyPressEvent(QKeyEvent *e)
{
    if (!m_bEnabled) {
        QWidget::keyPressEvent(e);
        return;
    }
    // In 64 bits so that a step past either end of a full range cannot overflow.
    long long value = m_nPosition;
    switch (e->key()) {
    case Qt::Key_PageUp:
        value -= m_nPage;
        break;
    case Qt::Key_PageDown:
        value += m_nPage;
        break;
    case Qt::Key_End:
        value = m_nMaximum;
        break;
    case Qt::Key_Home:
        value = m_nMinimum;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        value -= 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        value += 1;
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    SetPos(static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX)));
    Post(WM_SLIDER_CHANGED);
}

void CTavloSlider::focusInEvent(QFocusEvent *e)
{
    update();
    QWidget::focusInEvent(e);
}

void CTavloSlider::focusOutEvent(QFocusEvent *e)
{
    update();
    QWidget::focusOutEvent(e);
}

void CTavloSlider::paintEvent(QPaintEvent *)
{
    CMemoryDC dc(this, rect(), palette().color(backgroundRole()));
    if (!m_track.isNull()) {
        const int cw = m_track.width() / 3;
        const int rh = m_track.height() / 2;
        const int h = m_nHeight;
        dc.drawImage(QPoint(0, 0), m_track, QRect(0, 0, cw, h));
        dc.drawImage(QRect(cw, 0, m_nWidth - 2 * cw, h), m_track, QRect(cw, 0, cw, h));
        dc.drawImage(QPoint(m_nWidth - cw, 0), m_track, QRect(2 * cw, 0, cw, h));
        if (m_bEnabled) {
            const int fill = ThumbCentre() - m_nThumbWidth / 2;
            dc.drawImage(QPoint(0, 0), m_track, QRect(0, rh, cw, h));
            if (fill > 0)
                dc.drawImage(QRect(cw, 0, fill, h), m_track, QRect(cw, rh, cw, h));
        }
    }
    if (m_bEnabled && !m_thumb.isNull())
        dc.drawImage(QPoint(ThumbCentre() - m_nThumbWidth / 2, 0), m_thumb);
}
