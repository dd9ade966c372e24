#include "playback/video_widget.h"

#include <cstdlib>
#include <cstring>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include "playback/gl_video_widget.h"
#include "playback/soft_video_widget.h"

namespace {

enum class GlKind
{
    Unusable,
    Rasteriser, // drawn by the processor
    Gpu,
};

GlKind ProbeGl()
{
    QOpenGLContext context;
    if (!context.create())
        return GlKind::Unusable;
    QOffscreenSurface probe;
    probe.setFormat(context.format());
    probe.create();
    if (!probe.isValid() || !context.makeCurrent(&probe))
        return GlKind::Unusable;
    const auto *renderer =
        reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    context.doneCurrent();
    const bool bSoftwareGl =
        renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
                     std::strstr(renderer, "SwiftShader"));
    return bSoftwareGl ? GlKind::Rasteriser : GlKind::Gpu;
}

} // namespace

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
    // The GL stack does not change while the program runs: it is probed once, not for every
    // video window.
    static const GlKind gl = ProbeGl();
    if (gl == GlKind::Unusable)
        return VideoBackend::Software;
    // A GL drawn by the processor (no GPU, as in a virtual machine) costs more than our own
    // scaler and converter: take the software path there unless asked otherwise.
    return gl == GlKind::Rasteriser && !bForceGl ? VideoBackend::Software : VideoBackend::OpenGL;
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

namespace {

template <class Count> int VideoWidgetCount(const QWidget *widget, Count count)
{
    if (const auto *gl = qobject_cast<const CGlVideoWidget *>(widget))
        return count(*gl);
    if (const auto *soft = qobject_cast<const CSoftVideoWidget *>(widget))
        return count(*soft);
    return 0;
}

} // namespace

int PaintedPictures(const QWidget *videoWidget)
{
    return VideoWidgetCount(videoWidget, [](const auto &w) { return w.PaintedPictures(); });
}

int GivenUpPictures(const QWidget *videoWidget)
{
    return VideoWidgetCount(videoWidget, [](const auto &w) { return w.GivenUpPictures(); });
}
