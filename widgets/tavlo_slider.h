#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

// Geometry of a bitmap slider of width nWidth with a thumb nThumbWidth wide. Halves are integer
// halves; the ratios are taken in floating point and truncated toward zero.
// A range of one value (maximum == minimum) keeps the thumb at the left end; a slider no wider
// than its thumb maps every pixel to the minimum.
int SliderThumbCentre(int nValue, int nMinimum, int nMaximum, int nWidth, int nThumbWidth);
int SliderValueAt(int x, int nMinimum, int nMaximum, int nWidth, int nThumbWidth);

// The skinned slider: a three-column track (empty top half, filled bottom half) and a thumb
// drawn with magenta transparent. Posts WM_SLIDER_MOVING while dragging and WM_SLIDER_CHANGED on
// release and after keys to its notify window (the parent unless set), with wParam = control id
// and lParam = position. Its own enabled flag, not the widget's, decides whether it reacts.
class CTavloSlider : public QWidget
{
    Q_OBJECT
public:
    explicit CTavloSlider(QWidget *parent = nullptr, int nControlId = 0);
    ~CTavloSlider() override;

    bool SetTrackBitmap(int nId);
    bool SetThumbBitmap(int nId);
    void SetPos(int nValue);
    void SetEnabled(bool bEnabled);
    void SetNotifyWindow(QObject *pWindow) { m_pNotify = pWindow; }
    void SetControlId(int nId) { m_nControlId = nId; }

    int m_nMaximum = 100; // written by the owner
    int m_nMinimum = 0;   // written by the owner
    int m_nPage = 20;

    int GetPos() const { return m_nPosition; }
    bool IsSliderEnabled() const { return m_bEnabled; }
    bool IsDragging() const { return m_bDragging; }
    int ControlId() const { return m_nControlId; }
    int ThumbCentre() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void MoveTo(int x);
    void Post(int nMessage);

    QPointer<QObject> m_pNotify;
    int m_nControlId;
    int m_nPosition = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nThumbWidth = 0;
    int m_nThumbHeight = 0;
    int m_nGrabOffset = 0;
    bool m_bDragging = false;
    bool m_bEnabled = true;
    QImage m_track;
    QImage m_thumb; // magenta keyed out
};
