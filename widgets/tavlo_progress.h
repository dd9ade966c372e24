#pragma once

#include <array>
#include <cstdint>

#include <QColor>
#include <QWidget>

// Widths in pixels of the four segments of a usage bar nWidth pixels wide. The scale is
// total / width in whole units; when it is 0 (a total smaller than the width) nothing is drawn.
std::array<uint32_t, 4> UsageSegmentWidths(const std::array<uint32_t, 4> &amounts, uint32_t dwTotal,
                                           uint32_t dwWidth);

// The four-segment usage bar (RECORD, EVENT, MANUAL, MOTION), outlined in black.
class CTavloProgress : public QWidget
{
    Q_OBJECT
public:
    explicit CTavloProgress(QWidget *parent = nullptr);

    static const std::array<QColor, 4> &SegmentColours();

    // Amounts and total are written by the owner, then repainted.
    void SetAmounts(uint32_t dwRecord, uint32_t dwEvent, uint32_t dwManual, uint32_t dwMotion,
                    uint32_t dwTotal);

    std::array<uint32_t, 4> m_dwAmounts{};
    uint32_t m_dwTotal = 0;

protected:
    void paintEvent(QPaintEvent *e) override;
};
