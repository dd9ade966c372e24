// The skin bitmaps: each id the windows use loads from the resources at its layout size, and
// the pieces that rely on the magenta key or on the track layout have it.

#include <set>

#include <QImage>
#include <QPainter>
#include <QTest>

#include "widgets/mem_bm.h"
#include "widgets/memory_dc.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_bitmap.h"

class SkinTest : public QObject
{
    Q_OBJECT
private slots:
    void bitmapSizes_data();
    void bitmapSizes();
    void resourcesHoldNothingElse();
    void magentaKey_data();
    void magentaKey();
    void memBmLoadsOnce();
    void memoryDcCopiesAtItsOrigin();
};

namespace {
struct SkinSize
{
    int id;
    int w;
    int h;
};
// Sizes as the window layouts place them (strips are five frames wide).
const SkinSize kSizes[] = {
    {177, 1, 594},
    {130, 1, 46},
    {173, 179, 62},
    {180, 340, 31},
    {181, 338, 62},
    {182, 442, 27},
    {184, 320, 35},
    {187, 177, 41},
    {188, 5, 106},
    {189, 1, 106},
    {190, 5, 106},
    {193, 20, 20},
    {194, 186, 138},
    {136, 250, 56},
    {135, 250, 56},
    {133, 250, 56},
    {132, 250, 56},
    {131, 250, 56},
    {138, 250, 56},
    {139, 250, 56},
    {142, 250, 56},
    {140, 130, 26},
    {141, 130, 26},
    {157, 410, 26},
    {158, 410, 26},
    {191, 70, 14},
    {192, 70, 6},
    {145, 540, 40},
    {146, 540, 40},
    {147, 540, 40},
    {148, 540, 40},
    {149, 720, 40},
    {165, 395, 35},
    {166, 395, 35},
    {178, 395, 35},
    {179, 400, 35},
    // Tracks: three equal columns, two rows of the slider's height (25 seek, 14 speed/volume).
    {155, 24, 50},
    {143, 15, 28},
    {175, 15, 28},
    // Thumbs: 20 wide on the seek slider, 14 on the others.
    {156, 20, 25},
    {154, 14, 14},
    {176, 32, 14}, // mute switch: two 16 x 14 halves
    {196, 150, 128},
    {197, 128, 16},  // list scroll bar and check boxes
    {198, 346, 476}, // map window background
    {448, 130, 26},  // time-setting lock strip
};
} // namespace

void SkinTest::bitmapSizes_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    for (const SkinSize &s : kSizes)
        QTest::newRow(qPrintable(QString::number(s.id))) << s.id << QSize(s.w, s.h);
}

void SkinTest::bitmapSizes()
{
    QFETCH(int, id);
    QFETCH(QSize, size);
    CTavloBitmap bitmap;
    QVERIFY(bitmap.Load(id));
    QCOMPARE(QSize(bitmap.Width(), bitmap.Height()), size);
    // Stored as 24-bit pictures: no alpha to lean on, transparency is the magenta key.
    QVERIFY(!QImage(SkinResourcePath(id)).hasAlphaChannel());
}

void SkinTest::resourcesHoldNothingElse()
{
    std::set<int> expected;
    for (const SkinSize &s : kSizes)
        expected.insert(s.id);
    const std::vector<int> ids = SkinResourceIds();
    QCOMPARE(std::set<int>(ids.begin(), ids.end()), expected);
    CTavloBitmap missing;
    QVERIFY(!missing.Load(12345));
    QVERIFY(!missing.IsLoaded());
}

void SkinTest::magentaKey_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QPoint>("corner");
    QTest::addColumn<QPoint>("inside");
    QTest::newRow("seek thumb") << 156 << QPoint(0, 0) << QPoint(10, 12);
    QTest::newRow("small thumb") << 154 << QPoint(0, 0) << QPoint(7, 7);
    QTest::newRow("seek plate") << 182 << QPoint(0, 0) << QPoint(221, 13);
    QTest::newRow("check boxes") << 197 << QPoint(0, 0) << QPoint(8, 8);
}

void SkinTest::magentaKey()
{
    QFETCH(int, id);
    QFETCH(QPoint, corner);
    QFETCH(QPoint, inside);
    const QImage image = LoadSkinImage(id);
    QCOMPARE(image.pixel(corner), qRgb(255, 0, 255));
    QVERIFY(image.pixel(inside) != qRgb(255, 0, 255));
    const QImage keyed = KeyOutMagenta(image);
    QCOMPARE(qAlpha(keyed.pixel(corner)), 0);
    QCOMPARE(qAlpha(keyed.pixel(inside)), 255);
}

void SkinTest::memBmLoadsOnce()
{
    CMemBm strip;
    QVERIFY(!strip.Load(12345));
    QVERIFY(!strip.IsLoaded());
    QVERIFY(strip.Load(135));
    QCOMPARE(strip.Width(), 250u);
    // A second load keeps the first bitmap.
    QVERIFY(strip.Load(149));
    QCOMPARE(strip.Width(), 250u);
    strip.Release();
    QVERIFY(!strip.IsLoaded());
    QCOMPARE(strip.Height(), 0u);
}

void SkinTest::memoryDcCopiesAtItsOrigin()
{
    QImage target(40, 30, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        // Drawing in target coordinates lands at the same place; the rest of the rectangle
        // gets the background colour, and nothing outside it is touched.
        CMemoryDC dc(&target, QRect(10, 5, 20, 20), Qt::blue);
        dc.fillRect(QRect(12, 7, 3, 3), Qt::red);
        QCOMPARE(target.pixel(12, 7), qRgb(0, 0, 0)); // nothing on the target before the copy
    }
    QCOMPARE(target.pixel(12, 7), qRgb(255, 0, 0));
    QCOMPARE(target.pixel(11, 6), qRgb(0, 0, 255));
    QCOMPARE(target.pixel(9, 5), qRgb(0, 0, 0));
    QCOMPARE(target.pixel(30, 25), qRgb(0, 0, 0));
}

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
