#pragma once

#include <atomic>
#include <thread>

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "engine/output/video_renderer.h"
#include "playback/gl_video_widget.h"
#include "playback/soft_video_widget.h"
#include "tests/engine/output/test_picture.h"

// The OpenGL window beside the software window, each fed by its own renderer with the same
// test picture from a thread of its own, as the engine's video task would.
class CSideBySide : public QWidget
{
public:
    CSideBySide(int32_t pictureWidth, int32_t pictureHeight, int viewWidth, int viewHeight,
                bool withOpenGL)
        : m_Picture(MakeTestPicture(pictureWidth, pictureHeight))
    {
        auto *row = new QHBoxLayout(this);
        if (withOpenGL) {
            gl = new CGlVideoWidget;
            row->addLayout(
                Column("OpenGL surface (I420, GPU conversion)", gl, viewWidth, viewHeight));
        }
        soft = new CSoftVideoWidget;
        row->addLayout(Column("Software surface (RGB565)", soft, viewWidth, viewHeight));
        setStyleSheet("background: #303030; color: white;");
    }

    ~CSideBySide() override { Stop(); }

    // Starts the renderers once the windows exist, then presents every 20 ms.
    void Start()
    {
        if (gl)
            m_Renderers[0] = Open(gl);
        m_Renderers[1] = Open(soft);
        m_Task = std::thread([this] {
            while (!m_bStop) {
                const VideoPicture frame = {m_Picture.Y(), m_Picture.U(), m_Picture.V(),
                                            m_Picture.nStride};
                for (VideoRenderer *r : m_Renderers)
                    if (r)
                        VideoRendererPresent(r, &frame);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }

    void Stop()
    {
        m_bStop = true;
        if (m_Task.joinable())
            m_Task.join();
        for (VideoRenderer *&r : m_Renderers) {
            VideoRendererClose(r);
            r = nullptr;
        }
    }

    CGlVideoWidget *gl = nullptr;
    CSoftVideoWidget *soft = nullptr;

private:
    static QVBoxLayout *Column(const char *title, QWidget *view, int w, int h)
    {
        auto *column = new QVBoxLayout;
        column->addWidget(new QLabel(title));
        view->setFixedSize(w, h);
        column->addWidget(view);
        return column;
    }

    VideoRenderer *Open(VideoSurface *surface)
    {
        const VideoStreamFormat format = {FOURCC_I420,       12,      m_Picture.nWidth,
                                          m_Picture.nHeight, nullptr, 0};
        VideoRenderer *renderer = nullptr;
        VideoRendererCreate(&format, &renderer);
        VantorVideoOutConfig c{};
        c.dwMask = VIDEO_OUT_TYPE | VIDEO_OUT_WINDOW | VIDEO_OUT_ASPECT;
        c.dwOutputType = VIDEO_OUT_TYPE_OEM;
        c.pWindow = surface;
        c.dwAspectMode = 1;
        VideoRendererConfigure(renderer, &c);
        return renderer;
    }

    TestPicture m_Picture;
    VideoRenderer *m_Renderers[2] = {nullptr, nullptr};
    std::atomic<bool> m_bStop{false};
    std::thread m_Task;
};
