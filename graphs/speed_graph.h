#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QImage>
#include <QWidget>

// The playing clip's speed over its length, with the playing position marked; a click asks to
// seek there. Drawn in the skin's colours on the dark list background.

struct SPEED_SAMPLE
{
    uint32_t nTimeMs;
    double dSpeedKmh;
};

// Geometry of the plot inside a widget of the given size: the time axis runs over
// [kGraphMargin, width - kGraphMargin), the speed axis from the bottom margin up. Pure.
constexpr int kGraphMargin = 6;
int SpeedGraphX(uint32_t timeMs, uint32_t durationMs, int width);
uint32_t SpeedGraphTimeAt(int x, uint32_t durationMs, int width);
int SpeedGraphY(double speedKmh, double topKmh, int height);
// The speed the plot's top stands for: the track's highest rounded up to 20 km/h, at least 40.
double SpeedGraphTop(const std::vector<SPEED_SAMPLE> &samples);

class CSpeedGraph : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 72;

    explicit CSpeedGraph(QWidget *parent = nullptr);

    // A new clip: its fixes' speeds and its length. No samples draws the axis only.
    void SetTrack(std::vector<SPEED_SAMPLE> samples, uint32_t durationMs);
    void SetPosition(uint32_t positionMs);
    uint32_t Position() const { return m_nPositionMs; }
    void SetSeekHandler(std::function<void(uint32_t positionMs)> onSeek)
    {
        m_onSeek = std::move(onSeek);
    }

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void RenderCurve();

    std::vector<SPEED_SAMPLE> m_samples;
    uint32_t m_nDurationMs = 0;
    uint32_t m_nPositionMs = 0;
    double m_dTopKmh = 40;
    QImage m_curve; // background and curve, drawn again only when the track or size changes
    std::function<void(uint32_t)> m_onSeek;
};

// Colours from the skin: the list's dark fill and grid, the panel's orange text.
inline const QColor kGraphFill(20, 20, 20);
inline const QColor kGraphGrid(32, 40, 48);
inline const QColor kGraphCurve(255, 164, 0);
inline const QColor kGraphMarker(164, 171, 178);
