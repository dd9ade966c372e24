#include <vector>

#include <QTest>
#include <gtest/gtest.h>

#include "graphs/speed_graph.h"

namespace {

TEST(SpeedGraphGeometry, TimeAndPixelAgree)
{
    struct Case
    {
        uint32_t time, duration;
        int width, x;
    };
    const Case cases[] = {
        {0, 60000, 212, kGraphMargin},               // start at the left margin
        {60000, 60000, 212, 212 - kGraphMargin - 1}, // end on the last plot column
        {30000, 60000, 212, kGraphMargin + 99},
        {90000, 60000, 212, 212 - kGraphMargin - 1}, // past the end stays on the end
        {5000, 0, 212, kGraphMargin},                // no length yet
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SpeedGraphX(c.time, c.duration, c.width), c.x) << c.time;
        if (c.duration && c.time <= c.duration) {
            // The time a click on that column asks for lies within one column of it.
            const uint32_t back = SpeedGraphTimeAt(c.x, c.duration, c.width);
            EXPECT_NEAR(double(back), double(c.time), double(c.duration) / 199 + 1) << c.time;
        }
    }
    EXPECT_EQ(SpeedGraphTimeAt(-50, 60000, 212), 0u);
    EXPECT_EQ(SpeedGraphTimeAt(5000, 60000, 212), 60000u);
    EXPECT_EQ(SpeedGraphY(0, 40, 72), 72 - 1 - kGraphMargin);
    EXPECT_EQ(SpeedGraphY(40, 40, 72), kGraphMargin);
    EXPECT_EQ(SpeedGraphY(500, 40, 72), kGraphMargin); // clipped at the top
    EXPECT_EQ(SpeedGraphTop({}), 40.0);
    EXPECT_EQ(SpeedGraphTop({{0, 12}, {1000, 61.5}}), 80.0);
}

bool IsCurveColour(QRgb pixel)
{
    // Antialiased edges blend into the fill; the line's core is orange.
    return qRed(pixel) > 180 && qGreen(pixel) > 100 && qBlue(pixel) < 80;
}

TEST(SpeedGraph, DrawsTheSpeedAndThePositionAndSeeksOnClick)
{
    CSpeedGraph graph;
    graph.resize(212, CSpeedGraph::kHeight);
    // 0 km/h for the first half, 40 km/h (the plot's top) for the second.
    std::vector<SPEED_SAMPLE> samples;
    for (uint32_t s = 0; s <= 60; ++s)
        samples.push_back({s * 1000, s < 30 ? 0.0 : 40.0});
    graph.SetTrack(samples, 60000);
    graph.SetPosition(15000);
    const QImage image = graph.grab().toImage();
    const int h = CSpeedGraph::kHeight;
    const int early = SpeedGraphX(10000, 60000, 212), late = SpeedGraphX(50000, 60000, 212);
    EXPECT_TRUE(IsCurveColour(image.pixel(early, SpeedGraphY(0, 40, h))));
    EXPECT_TRUE(IsCurveColour(image.pixel(late, SpeedGraphY(40, 40, h))));
    EXPECT_FALSE(IsCurveColour(image.pixel(late, SpeedGraphY(0, 40, h))));
    EXPECT_EQ(image.pixelColor(late, h / 2 + 8), kGraphFill);
    const int marker = SpeedGraphX(15000, 60000, 212);
    EXPECT_EQ(image.pixelColor(marker, h / 2 + 8), kGraphMarker);
    EXPECT_EQ(image.pixelColor(marker + 3, h / 2 + 8), kGraphFill);

    std::vector<uint32_t> seeks;
    graph.SetSeekHandler([&](uint32_t ms) { seeks.push_back(ms); });
    QTest::mouseClick(&graph, Qt::LeftButton, {}, QPoint(late, h / 2));
    ASSERT_EQ(seeks.size(), 1u);
    EXPECT_EQ(seeks[0], SpeedGraphTimeAt(late, 60000, 212));
    EXPECT_EQ(graph.Position(), seeks[0]);
    QTest::mouseClick(&graph, Qt::RightButton, {}, QPoint(early, h / 2));
    EXPECT_EQ(seeks.size(), 1u) << "only a left click seeks";
}

} // namespace
