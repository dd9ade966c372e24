#include "playback/video_widget.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <cstdlib>
#include <cstring>

#include "playback/gl_video_widget.h"
#include "playback/soft_video_widget.h"

VideoBackend ChooseVideoBackend()
{
    const char *choice = std::getenv("ROADLOG_VIDEO");
    if (choice && std::strcmp(choice, "software") == 0)
        return VideoBackend::Software;
    const bool bForceGl = choice && std::strcmp(choice, "opengl") == 0;
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
    const auto *renderer =
        reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    context.doneCurrent();
    // A GL drawn by the processor (no GPU, as in a virtual machine) costs more than our own
    // scaler and converter: take the software path there unless asked otherwise.
    const bool bSoftwareGl = renderer && (std::strstr(renderer, "llvmpipe") ||
                                          std::strstr(renderer, "softpipe") ||
                                          std::strstr(renderer, "SwiftShader"));
    return bSoftwareGl && !bForceGl ? VideoBackend::Software : VideoBackend::OpenGL;
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
