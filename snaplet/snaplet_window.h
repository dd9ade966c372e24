#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class QMenu;

// Zoom steps of 10 % within 50..500 %; a step past a limit keeps the zoom.
double ZoomInStep(double zoom);
double ZoomOutStep(double zoom);
// The size a side is drawn at for a zoom in percent, cut to an integer.
int DrawExtent(int imageExtent, double zoom);
// "Zoom:1.5" for 150 %: the zoom in tenths, cut, shown with one decimal.
QString ZoomText(double zoom);
// The program's arguments after its name joined with spaces: the whole tail is one path, so an
// unquoted path with spaces works.
QString PathFromArguments(const QStringList &arguments);

// The one window of the picture viewer: the picture at its offset and zoom on white, the zoom
// text over it, dragging to pan, the wheel and the context menu to zoom, open and choose the
// scaling filter.
class CSnapletWindow : public QWidget
{
    Q_OBJECT

public:
    enum Command
    {
        IDM_ABOUT = 104,
        IDM_EXIT = 105,
        IDM_INTERPOLATION_FIRST = 0x8005, // .. 0x800C, modes 0..7
        IDM_INTERPOLATION_LAST = 0x800C,
        IDM_ZOOM_IN = 0x8010,
        IDM_ZOOM_OUT = 0x8011,
        IDM_OPEN = 0x8013,
    };

    explicit CSnapletWindow(const QString &path, QWidget *parent = nullptr);

    void LoadPicture(const QString &path);
    void OnCommand(int id);

    double Zoom() const { return m_dZoom; }
    QPoint Offset() const { return QPoint(m_nOffsetX, m_nOffsetY); }
    QSize DrawSize() const { return QSize(m_nDrawWidth, m_nDrawHeight); }
    QSize ImageSize() const { return QSize(m_nImageWidth, m_nImageHeight); }
    int Interpolation() const { return m_nInterpolation; }
    bool HasPicture() const { return m_bLoaded; }
    QMenu *ContextMenu() const { return m_pMenu; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void BuildMenu();
    void ApplyZoom(double zoom);
    void OpenDialog();
    void ShowAbout();

    QImage m_Image;         // the picture shown; null when none could be read
    bool m_bLoaded = false; // a path was loaded (even when it was not a readable picture)
    double m_dZoom = 100.0;
    int m_nOffsetX = 0;
    int m_nOffsetY = 0;
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    int m_nDrawWidth = 0;
    int m_nDrawHeight = 0;
    int m_nInterpolation = 0;
    bool m_bDragging = false;
    QPoint m_Drag;
    QMenu *m_pMenu = nullptr; // owned by the window
};
