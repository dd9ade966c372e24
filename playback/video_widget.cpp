#include "playback/video_widget.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

#include <cstdlib>
#include <cstring>

#include "playback/gl_video_widget.h"
#include "playback/soft_video_widget.h"

VideoBackend ChooseVideoBackend()
{
    const char *choice = std::getenv("ROADLOG_VIDEO");
    if (choice && std::strcmp(choice, "software") == 0)
        return VideoBackend::Software;
    // These platforms make GL contexts (through the X display when there is one) but cannot
    // show a GL widget.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return VideoBackend::Software;
    QOpenGLContext context;
    if (!context.create())
        return VideoBackend::Software;
    QOffscreenSurface probe;
    probe.setFormat(context.format());
    probe.create();
    if (!probe.isValid() || !context.makeCurrent(&probe))
        return VideoBackend::Software;
    context.doneCurrent();
    return VideoBackend::OpenGL;
}

QWidget *CreateVideoWidget(QWidget *parent, VideoSurface **surface)
{
    if (ChooseVideoBackend() == VideoBackend::OpenGL) {
        auto *widget = new CGlVideoWidget(parent);
        *surface = widget;
        return widget;
    }
    auto *widget = new CSoftVideoWidget(parent);
    *surface = widget;
    return widget;
}
