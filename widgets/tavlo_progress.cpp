#include "widgets/tavlo_progress.h"

#include <QPainter>

#include "platform/trace.h"
#include "widgets/memory_dc.h"

std::array<uint32_t, 4> UsageSegmentWidths(const std::array<uint32_t, 4> &amounts, uint32_t dwTotal,
                                           uint32_t dwWidth)
{
    std::array<uint32_t, 4> widths{};
    if (dwWidth == 0)
        return widths;
    const uint32_t scale = dwTotal / dwWidth;
    if (scale == 0)
        return widths;
    for (size_t i = 0; i < amounts.size(); ++i)
        widths[i] = amounts[i] / scale;
    return widths;
}

CTavloProgress::CTavloProgress(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

const std::array<QColor, 4> &CTavloProgress::SegmentColours()
{
    static const std::array<QColor, 4> colours = {QColor(214, 165, 14), QColor(235, 111, 11),
                                                  QColor(200, 26, 26), QColor(153, 26, 201)};
    return colours;
}

void CTavloProgress::SetAmounts(uint32_t dwRecord, uint32_t dwEvent, uint32_t dwManual,
                                uint32_t dwMotion, uint32_t dwTotal)
{
    m_dwAmounts = {dwRecord, dwEvent, dwManual, dwMotion};
    m_dwTotal = dwTotal;
    update();
}

void CTavloProgress::paintEvent(QPaintEvent *)
{
    const QRect rc = rect();
    const auto widths =
        UsageSegmentWidths(m_dwAmounts, m_dwTotal, static_cast<uint32_t>(rc.width()));
    TraceA("rect.Width()=%d, %u, %u, %u, %u\r\n", rc.width(), widths[0], widths[1], widths[2],
           widths[3]);
    // The bar's ground is the drawing context's default background colour, white.
    CMemoryDC dc(this, rc, QColor(255, 255, 255));
    dc.setPen(Qt::black);
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(rc.adjusted(0, 0, -1, -1));
    // Segments are laid end to end; one that would run past the bar is cut at its edge.
    long long x = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        if (widths[i] == 0 || x >= rc.width())
            continue;
        const int w = static_cast<int>(std::min<long long>(widths[i], rc.width() - x));
        dc.fillRect(QRect(static_cast<int>(x), 0, w, rc.height()), SegmentColours()[i]);
        x += widths[i];
    }
}
