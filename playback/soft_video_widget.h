#pragma once

#include <atomic>

#include <QImage>
#include <QRect>
#include <QWidget>

#include "engine/output/video_surface.h"
#include "playback/frame_exchange.h"
#include "playback/surface_geometry.h"

// A video window without OpenGL: it accepts no YUV layout, so the screen output scales and
// converts each picture to RGB565, and the widget paints that image.
class CSoftVideoWidget : public QWidget, public VideoSurface
{
    Q_OBJECT
public:
    explicit CSoftVideoWidget(QWidget *parent = nullptr);

    void GetSize(int32_t *width, int32_t *height) const override;
    void GetScreenPosition(int32_t *x, int32_t *y) const override;
    std::vector<uint32_t> AcceptedLayouts() const override { return {}; }
    bool CreateFrame(uint32_t, int32_t, int32_t) override { return false; }
    void ReleaseFrame() override {}
    bool Lock(SurfaceLock *) override { return false; }
    void Unlock() override {}
    bool Blt(const SurfaceRect &, const SurfaceRect &) override { return false; }
    bool DrawRgb565(const SurfaceRect &destination, const uint8_t *pixels,
                    int32_t rowBytes) override;

    // Window thread: pictures painted so far, each counted once.
    int PaintedPictures() const { return m_nPainted; }
    // Pictures given up unpainted because the window thread fell behind by more than the
    // frames that can wait.
    int GivenUpPictures() const { return m_nGivenUp.load(); }

signals:
    void PictureArrived();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Frame
    {
        QImage image;
        QRect target;
        QSize window; // the window's size the picture was scaled for
    };
    FrameExchange<Frame> m_Frames;
    SurfaceGeometry m_Geometry;
    int m_nPainted = 0;             // window thread
    std::atomic<int> m_nGivenUp{0}; // written by the video task
};
