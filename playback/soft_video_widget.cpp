#include "playback/soft_video_widget.h"

#include <cstring>

#include <QPainter>
#include <QRegion>

CSoftVideoWidget::CSoftVideoWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    std::vector<std::shared_ptr<Frame>> frames(kVideoFrames);
    for (auto &frame : frames)
        frame = std::make_shared<Frame>();
    m_Frames.Reset(std::move(frames));
    // Queued: the signal comes from the video task and the repaint belongs to this thread.
    connect(this, &CSoftVideoWidget::PictureArrived, this, qOverload<>(&QWidget::update),
            Qt::QueuedConnection);
}

void CSoftVideoWidget::GetSize(int32_t *width, int32_t *height) const
{
    m_Geometry.GetSize(width, height);
}

void CSoftVideoWidget::GetScreenPosition(int32_t *x, int32_t *y) const
{
    m_Geometry.GetScreenPosition(x, y);
}

bool CSoftVideoWidget::DrawRgb565(const SurfaceRect &d, const uint8_t *pixels, int32_t rowBytes)
{
    if (!pixels || d.width <= 0 || d.height <= 0)
        return false;
    std::shared_ptr<Frame> frame = m_Frames.Back();
    if (frame->image.width() != d.width || frame->image.height() != d.height)
        frame->image = QImage(d.width, d.height, QImage::Format_RGB16);
    if (frame->image.isNull())
        return false;
    for (int32_t r = 0; r < d.height; ++r)
        std::memcpy(frame->image.scanLine(r), pixels + static_cast<ptrdiff_t>(r) * rowBytes,
                    static_cast<size_t>(d.width) * 2);
    frame->target = QRect(d.x, d.y, d.width, d.height);
    int32_t windowWidth = 0, windowHeight = 0;
    m_Geometry.GetSize(&windowWidth, &windowHeight);
    frame->window = QSize(windowWidth, windowHeight);
    if (!m_Frames.Publish())
        ++m_nGivenUp;
    emit PictureArrived();
    return true;
}

void CSoftVideoWidget::paintEvent(QPaintEvent *)
{
    m_Geometry.Update(this);
    QPainter painter(this);
    bool fresh = false;
    const std::shared_ptr<Frame> frame = m_Frames.Next(&fresh);
    // Pictures that came while this one waited are painted each in turn.
    if (m_Frames.Waiting())
        update();
    QRegion border(rect());
    if (frame && !frame->image.isNull()) {
        // A picture scaled for another size (the windows traded places while paused, or the
        // window was resized) is fitted to this one until the next picture comes.
        QRect target = frame->target;
        if (frame->window != size() && !frame->window.isEmpty()) {
            target = QRect(QPoint(), frame->image.size().scaled(size(), Qt::KeepAspectRatio));
            target.moveCenter(rect().center());
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, frame->image);
        } else {
            painter.drawImage(target.topLeft(), frame->image);
        }
        border -= target;
        if (fresh)
            ++m_nPainted;
    }
    for (const QRect &r : border)
        painter.fillRect(r, Qt::black);
}

void CSoftVideoWidget::resizeEvent(QResizeEvent *event)
{
    m_Geometry.Update(this);
    QWidget::resizeEvent(event);
}

void CSoftVideoWidget::moveEvent(QMoveEvent *event)
{
    m_Geometry.Update(this);
    QWidget::moveEvent(event);
}

void CSoftVideoWidget::showEvent(QShowEvent *event)
{
    m_Geometry.Update(this);
    QWidget::showEvent(event);
}
