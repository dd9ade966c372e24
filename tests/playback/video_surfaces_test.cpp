// Both video windows show the same converted picture: grab them and compare pixels.
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QtTest>

#include "playback/soft_video_widget.h"
#include "playback/video_widget.h"
#include "tests/playback/video_side_by_side.h"

namespace {

struct Rgb
{
    int r, g, b;
};

Rgb At(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

QString Describe(Rgb c)
{
    return QString("(%1, %2, %3)").arg(c.r).arg(c.g).arg(c.b);
}

bool Near(Rgb a, Rgb b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// 160 x 120 picture shown in 320 x 240 windows: two window pixels per picture pixel.
constexpr int kViewWidth = 320, kViewHeight = 240;

} // namespace

class VideoSurfacesTest : public QObject
{
    Q_OBJECT

private slots:
    void softwareWindowShowsTheBars();
    void openGlWindowMatchesTheSoftwareWindow();
    void softwareChoiceByEnvironment();
    void softwareWindowPaintsEachPictureOfABurst();
};

void VideoSurfacesTest::softwareWindowShowsTheBars()
{
    CSideBySide view(160, 120, kViewWidth, kViewHeight, false);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.Start();
    QTRY_VERIFY(view.soft->PaintedPictures() > 0);
    const QImage shot = view.soft->grab().toImage();
    for (int bar = 0; bar < 8; ++bar) {
        const Rgb got = At(shot, bar * 40 + 20, 60);
        const Rgb want = {kBars[bar].r, kBars[bar].g, kBars[bar].b};
        // RGB565 keeps 5 and 6 bits; the factors in 1/64 steps add a little more.
        QVERIFY2(Near(got, want, 12),
                 qPrintable(QString("bar %1: %2").arg(bar).arg(Describe(got))));
    }
    QVERIFY(Near(At(shot, 2, 230), {0, 0, 0}, 4));
    QVERIFY(Near(At(shot, 317, 230), {255, 255, 255}, 8));
}

void VideoSurfacesTest::openGlWindowMatchesTheSoftwareWindow()
{
    if (ChooseVideoBackend() != VideoBackend::OpenGL)
        QSKIP("no OpenGL here");
    CSideBySide view(160, 120, kViewWidth, kViewHeight, true);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.Start();
    QTRY_VERIFY(view.soft->PaintedPictures() > 0 && view.gl->PaintedPictures() > 0);
    const QImage gl = view.gl->grabFramebuffer();
    const QImage soft = view.soft->grab().toImage();
    QCOMPARE(gl.size(), soft.size());
    // Inside the bars and along the ramp, away from the edges where the two scalers place
    // their samples differently.
    for (int bar = 0; bar < 8; ++bar)
        for (int y : {20, 100}) {
            const Rgb a = At(gl, bar * 40 + 20, y), b = At(soft, bar * 40 + 20, y);
            QVERIFY2(Near(a, b, 10), qPrintable(QString("bar %1 row %2: gl %3 soft %4")
                                                    .arg(bar)
                                                    .arg(y)
                                                    .arg(Describe(a), Describe(b))));
        }
    for (int x = 10; x < kViewWidth; x += 50) {
        const Rgb a = At(gl, x, 220), b = At(soft, x, 220);
        QVERIFY2(
            Near(a, b, 10),
            qPrintable(QString("ramp x %1: gl %2 soft %3").arg(x).arg(Describe(a), Describe(b))));
    }
}

void VideoSurfacesTest::softwareChoiceByEnvironment()
{
    qputenv("ROADLOG_VIDEO", "software");
    VideoSurface *surface = nullptr;
    std::unique_ptr<QWidget> widget(CreateVideoWidget(nullptr, &surface));
    qunsetenv("ROADLOG_VIDEO");
    QVERIFY(qobject_cast<CSoftVideoWidget *>(widget.get()) != nullptr);
    QVERIFY(surface != nullptr);
    QVERIFY(surface->AcceptedLayouts().empty());
}

void VideoSurfacesTest::softwareWindowPaintsEachPictureOfABurst()
{
    CSoftVideoWidget widget;
    widget.resize(64, 32);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
    const int before = widget.PaintedPictures();
    const std::vector<uint8_t> pixels(64 * 32 * 2, 0x55);
    const SurfaceRect rect{0, 0, 64, 32};
    // Two pictures before the window thread gets to paint (it was busy): both are painted,
    // one after the other, and the count does not grow with repaints of the same picture.
    QVERIFY(widget.DrawRgb565(rect, pixels.data(), 64 * 2));
    QVERIFY(widget.DrawRgb565(rect, pixels.data(), 64 * 2));
    QTRY_COMPARE(widget.PaintedPictures(), before + 2);
    widget.repaint();
    QCOMPARE(widget.PaintedPictures(), before + 2);
    QCOMPARE(widget.GivenUpPictures(), 0);
}

int main(int argc, char **argv)
{
    // Without a display the software window is still tested, offscreen.
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    VideoSurfacesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "video_surfaces_test.moc"
