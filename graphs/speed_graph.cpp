#include "graphs/speed_graph.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

int SpeedGraphX(uint32_t timeMs, uint32_t durationMs, int width)
{
    const int span = std::max(1, width - 2 * kGraphMargin);
    if (durationMs == 0)
        return kGraphMargin;
    timeMs = std::min(timeMs, durationMs);
    return kGraphMargin + int(int64_t(timeMs) * (span - 1) / durationMs);
}

uint32_t SpeedGraphTimeAt(int x, uint32_t durationMs, int width)
{
    const int span = std::max(2, width - 2 * kGraphMargin);
    const int offset = std::clamp(x - kGraphMargin, 0, span - 1);
    return uint32_t(int64_t(offset) * durationMs / (span - 1));
}

int SpeedGraphY(double speedKmh, double topKmh, int height)
{
    const int bottom = height - 1 - kGraphMargin, top = kGraphMargin;
    const double share = topKmh > 0 ? std::clamp(speedKmh / topKmh, 0.0, 1.0) : 0.0;
    return bottom - int(std::lround(share * (bottom - top)));
}

double SpeedGraphTop(const std::vector<SPEED_SAMPLE> &samples)
{
    double highest = 0;
    for (const SPEED_SAMPLE &s : samples)
        highest = std::max(highest, s.dSpeedKmh);
    return std::max(40.0, std::ceil(highest / 20.0) * 20.0);
}

CSpeedGraph::CSpeedGraph(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Speed over the clip; click to go there"));
}

void CSpeedGraph::SetTrack(std::vector<SPEED_SAMPLE> samples, uint32_t durationMs)
{
    m_samples = std::move(samples);
    m_nDurationMs = durationMs;
    // A track longer than the clip's header says still fits.
    for (const SPEED_SAMPLE &s : m_samples)
        m_nDurationMs = std::max(m_nDurationMs, s.nTimeMs);
    m_dTopKmh = SpeedGraphTop(m_samples);
    m_nPositionMs = 0;
    RenderCurve();
    update();
}

void CSpeedGraph::SetPosition(uint32_t positionMs)
{
    if (positionMs == m_nPositionMs)
        return;
    const int before = SpeedGraphX(m_nPositionMs, m_nDurationMs, width());
    m_nPositionMs = positionMs;
    const int after = SpeedGraphX(m_nPositionMs, m_nDurationMs, width());
    update(QRect(std::min(before, after) - 2, 0, std::abs(after - before) + 5, height()));
}

void CSpeedGraph::resizeEvent(QResizeEvent *)
{
    RenderCurve();
}

void CSpeedGraph::RenderCurve()
{
    const int w = width(), h = height();
    if (w <= 0 || h <= 0)
        return;
    m_curve = QImage(w, h, QImage::Format_RGB32);
    m_curve.fill(kGraphFill);
    QPainter dc(&m_curve);
    // Grid every 20 km/h.
    for (int kmh = 20; kmh < int(m_dTopKmh); kmh += 20)
        dc.fillRect(kGraphMargin, SpeedGraphY(kmh, m_dTopKmh, h), w - 2 * kGraphMargin, 1,
                    kGraphGrid);
    dc.fillRect(kGraphMargin, SpeedGraphY(0, m_dTopKmh, h), w - 2 * kGraphMargin, 1, kGraphGrid);
    dc.setPen(kGraphMarker);
    dc.drawText(QRect(kGraphMargin + 2, 0, w, h), Qt::AlignLeft | Qt::AlignTop,
                QStringLiteral("%1 km/h").arg(int(m_dTopKmh)));
    if (m_samples.empty() || m_nDurationMs == 0) {
        dc.drawText(QRect(0, 0, w, h), Qt::AlignCenter, tr("No GPS speed in this clip"));
        return;
    }
    QPainterPath path;
    for (size_t i = 0; i < m_samples.size(); ++i) {
        const QPointF p(SpeedGraphX(m_samples[i].nTimeMs, m_nDurationMs, w),
                        SpeedGraphY(m_samples[i].dSpeedKmh, m_dTopKmh, h));
        i == 0 ? path.moveTo(p) : path.lineTo(p);
    }
    dc.setRenderHint(QPainter::Antialiasing);
    dc.setPen(QPen(kGraphCurve, 1.5));
    dc.drawPath(path);
}

void CSpeedGraph::paintEvent(QPaintEvent *)
{
    QPainter dc(this);
    if (m_curve.size() != size())
        RenderCurve();
    dc.drawImage(0, 0, m_curve);
    if (m_nDurationMs == 0)
        return;
    const int x = SpeedGraphX(m_nPositionMs, m_nDurationMs, width());
    dc.fillRect(x, kGraphMargin / 2, 1, height() - kGraphMargin, kGraphMarker);
}

void CSpeedGraph::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || m_nDurationMs == 0)
        return;
    const uint32_t at = SpeedGraphTimeAt(int(e->position().x()), m_nDurationMs, width());
    SetPosition(at);
    if (m_onSeek)
        m_onSeek(at);
}
