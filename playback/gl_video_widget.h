#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>

#include "engine/output/video_surface.h"
#include "playback/frame_exchange.h"
#include "playback/surface_geometry.h"

// A video window drawn with OpenGL: the screen output copies each I420 picture into a frame,
// and the GPU scales it and converts it with the converter's own factors.
class CGlVideoWidget : public QOpenGLWidget, protected QOpenGLFunctions, public VideoSurface
{
    Q_OBJECT
public:
    explicit CGlVideoWidget(QWidget *parent = nullptr);
    ~CGlVideoWidget() override;

    void GetSize(int32_t *width, int32_t *height) const override;
    void GetScreenPosition(int32_t *x, int32_t *y) const override;
    std::vector<uint32_t> AcceptedLayouts() const override { return {FOURCC_I420}; }
    bool CreateFrame(uint32_t fourcc, int32_t width, int32_t height) override;
    void ReleaseFrame() override;
    bool Lock(SurfaceLock *lock) override;
    void Unlock() override;
    bool Blt(const SurfaceRect &source, const SurfaceRect &destination) override;
    bool DrawRgb565(const SurfaceRect &, const uint8_t *, int32_t) override { return false; }

    // Window thread: pictures painted so far, each counted once.
    int PaintedPictures() const { return m_nPainted; }
    // Pictures given up unpainted because the window thread fell behind by more than the
    // frames that can wait.
    int GivenUpPictures() const { return m_nGivenUp.load(); }

signals:
    void PictureArrived();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Frame
    {
        int32_t nWidth = 0, nHeight = 0, nPitch = 0;
        std::vector<uint8_t> bytes;
        SurfaceRect source = {0, 0, 0, 0};
        SurfaceRect destination = {0, 0, 0, 0};
        uint64_t serial = 0;
    };
    void Upload(const Frame &frame);

    FrameExchange<Frame> m_Frames;
    SurfaceGeometry m_Geometry;
    std::atomic<int> m_nGivenUp{0}; // written by the video task
    // Video task only (the renderer's lock serialises frame creation, locks and blits).
    std::shared_ptr<Frame> m_pLocked;
    uint64_t m_nSerial = 0;

    // Window thread only.
    QOpenGLShaderProgram m_Program;
    QOpenGLBuffer m_Quad{QOpenGLBuffer::VertexBuffer};
    GLuint m_Textures[3] = {0, 0, 0};
    int32_t m_nTextureWidth = 0, m_nTextureHeight = 0;
    uint64_t m_nUploaded = 0;
    bool m_bReady = false;
    int m_nPainted = 0;
};
