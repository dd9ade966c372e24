#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "snaplet/snaplet_window.h"

namespace {

// A 640 x 480 picture: green, with a black 10 x 10 marker at (200, 200).
QString WritePicture(const QString &folder, const QString &name)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(qRgb(0, 160, 0));
    for (int y = 200; y < 210; ++y)
        for (int x = 200; x < 210; ++x)
            image.setPixel(x, y, qRgb(0, 0, 0));
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_TRUE(image.save(path, "JPEG", 95));
    return path;
}

bool IsGreen(QRgb c)
{
    return qGreen(c) > 120 && qRed(c) < 60 && qBlue(c) < 60;
}

bool IsBlack(QRgb c)
{
    return qGreen(c) < 50 && qRed(c) < 50 && qBlue(c) < 50;
}

bool IsWhite(QRgb c)
{
    return c == qRgb(255, 255, 255);
}

QImage Grab(CSnapletWindow &window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool StripHasText(const QImage &shot)
{
    for (int y = shot.height() - 40; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (!IsWhite(shot.pixel(x, y)) && qRed(shot.pixel(x, y)) > qGreen(shot.pixel(x, y)))
                return true; // magenta over white
    return false;
}

class SnapletTest : public ::testing::Test
{
protected:
    QTemporaryDir m_Dir;
};

} // namespace

TEST(SnapletZoom, StepsStayWithinFiftyAndFiveHundred)
{
    double zoom = 100;
    for (int i = 0; i < 10; ++i)
        zoom = ZoomInStep(zoom);
    EXPECT_EQ(zoom, 200);
    for (int i = 0; i < 30; ++i)
        zoom = ZoomInStep(zoom);
    EXPECT_EQ(zoom, 500);
    EXPECT_EQ(ZoomInStep(zoom), 500);
    zoom = 100;
    for (int i = 0; i < 6; ++i)
        zoom = ZoomOutStep(zoom);
    EXPECT_EQ(zoom, 50);
    EXPECT_EQ(DrawExtent(640, 150), 960);
    EXPECT_EQ(DrawExtent(333, 110), 366);
    EXPECT_EQ(ZoomText(100), QStringLiteral("Zoom:1.0"));
    EXPECT_EQ(ZoomText(150), QStringLiteral("Zoom:1.5"));
    EXPECT_EQ(ZoomText(59), QStringLiteral("Zoom:0.5"));
}

TEST(SnapletArguments, TheWholeTailIsOnePath)
{
    EXPECT_EQ(PathFromArguments({"Snaplet", "/tmp/my", "captures/shot", "1.jpg"}),
              QStringLiteral("/tmp/my captures/shot 1.jpg"));
    // The viewer passes the path as one argument.
    EXPECT_EQ(PathFromArguments({"Snaplet", "/tmp/my captures/shot 1.jpg"}),
              QStringLiteral("/tmp/my captures/shot 1.jpg"));
    EXPECT_EQ(PathFromArguments({"Snaplet"}), QString());
}

TEST_F(SnapletTest, OpensAnUnquotedPathWithSpaces)
{
    const QString path = WritePicture(m_Dir.path() + "/with space", "shot one.jpg");
    const QStringList words = path.split(QLatin1Char(' '));
    CSnapletWindow window(PathFromArguments(QStringList{"Snaplet"} + words));
    ASSERT_TRUE(window.HasPicture());
    EXPECT_EQ(window.ImageSize(), QSize(640, 480));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Snaplet"));
}

TEST_F(SnapletTest, ZoomedPictureIsDrawnAtItsSizeWithTheZoomText)
{
    CSnapletWindow window(WritePicture(m_Dir.path(), "a.jpg"));
    window.resize(1100, 900);
    const QImage atHundred = Grab(window);
    for (int i = 0; i < 5; ++i)
        window.OnCommand(CSnapletWindow::IDM_ZOOM_IN);
    EXPECT_EQ(window.Zoom(), 150);
    EXPECT_EQ(window.DrawSize(), QSize(960, 720));
    const QImage shot = Grab(window);
    EXPECT_TRUE(IsGreen(shot.pixel(955, 715)));
    EXPECT_TRUE(IsWhite(shot.pixel(965, 500)));
    EXPECT_TRUE(IsWhite(shot.pixel(500, 725)));
    // The marker at (200, 200) lands at (300, 300) and is 15 pixels wide.
    EXPECT_TRUE(IsBlack(shot.pixel(307, 307)));
    EXPECT_TRUE(IsGreen(shot.pixel(290, 290)));
    EXPECT_TRUE(StripHasText(shot));
    // The text follows the zoom: "Zoom:1.5" is not the "Zoom:1.0" drawn before.
    const QRect strip(0, 900 - 40, 1100, 40);
    EXPECT_NE(shot.copy(strip), atHundred.copy(strip));
    for (int i = 0; i < 5; ++i)
        window.OnCommand(CSnapletWindow::IDM_ZOOM_OUT);
    EXPECT_EQ(Grab(window).copy(strip), atHundred.copy(strip));
}

TEST_F(SnapletTest, DraggingMovesThePictureByTheMouseMovement)
{
    CSnapletWindow window(WritePicture(m_Dir.path(), "a.jpg"));
    window.resize(800, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(IsBlack(Grab(window).pixel(205, 205)));

    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(430, 290), window.mapToGlobal(QPointF(430, 290)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(430, 290));
    EXPECT_EQ(window.Offset(), QPoint(30, -10));

    const QImage shot = Grab(window);
    EXPECT_TRUE(IsBlack(shot.pixel(235, 195)));
    EXPECT_TRUE(IsGreen(shot.pixel(205, 205)));
    EXPECT_TRUE(IsWhite(shot.pixel(10, 10))); // uncovered on the left
}

TEST_F(SnapletTest, WheelZoomsAndInterpolationChoiceIsKept)
{
    CSnapletWindow window(WritePicture(m_Dir.path(), "a.jpg"));
    QWheelEvent down(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&window, &down);
    EXPECT_EQ(window.Zoom(), 90);
    QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&window, &up);
    QApplication::sendEvent(&window, &up);
    EXPECT_EQ(window.Zoom(), 110);

    window.OnCommand(CSnapletWindow::IDM_INTERPOLATION_FIRST + 5);
    EXPECT_EQ(window.Interpolation(), 5);
    window.LoadPicture(WritePicture(m_Dir.path(), "b.jpg"));
    EXPECT_EQ(window.Interpolation(), 5); // survives loading
    EXPECT_EQ(window.Zoom(), 100);        // loading resets the zoom
}

TEST_F(SnapletTest, NoPictureIsWhiteAndAnUnreadableOneShowsOnlyTheZoomText)
{
    CSnapletWindow empty(m_Dir.path() + "/missing.jpg");
    empty.resize(400, 300);
    EXPECT_FALSE(empty.HasPicture());
    EXPECT_FALSE(StripHasText(Grab(empty)));
    empty.OnCommand(CSnapletWindow::IDM_ZOOM_IN); // nothing to zoom
    EXPECT_EQ(empty.Zoom(), 100);

    const QString junk = m_Dir.path() + "/junk.jpg";
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture at all");
    file.close();
    CSnapletWindow unreadable(junk);
    unreadable.resize(400, 300);
    EXPECT_TRUE(unreadable.HasPicture());
    EXPECT_EQ(unreadable.ImageSize(), QSize(0, 0));
    const QImage shot = Grab(unreadable);
    EXPECT_TRUE(IsWhite(shot.pixel(100, 100)));
    EXPECT_TRUE(StripHasText(shot));
}

TEST_F(SnapletTest, ContextMenuOffersOpenFiltersAndZoom)
{
    CSnapletWindow window(QString{});
    QStringList titles;
    for (QAction *a : window.ContextMenu()->actions())
        titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(titles, (QStringList{"Open", "-", "InterpolationMode", "Zoom"}));
}
