// The bitmap slider: geometry with the numbers of the seek and speed sliders, the messages a
// drag and the keys post, and what a disabled slider draws.

#include <QImage>
#include <QKeyEvent>
#include <QTest>

#include "test_events.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_slider.h"

using Message = MessageSink::Message;

namespace {

constexpr int kSeekId = 410;
constexpr int kSpeedId = 411;

// The seek slider as the main window builds it.
struct SeekFixture
{
    QWidget window;
    MessageSink sink;
    CTavloSlider *slider;

    SeekFixture(int minimum = 0, int maximum = 60000, int position = 30000)
    {
        window.resize(400, 60);
        slider = new CTavloSlider(&window, kSeekId);
        slider->setGeometry(0, 0, 303, 25);
        slider->SetTrackBitmap(IDB_SEEK_TRACK);
        slider->SetThumbBitmap(IDB_SEEK_THUMB);
        slider->m_nMinimum = minimum;
        slider->m_nMaximum = maximum;
        slider->SetPos(position);
        slider->SetNotifyWindow(&sink);
        window.show();
    }
};

} // namespace

class TavloSliderTest : public QObject
{
    Q_OBJECT
private slots:
    void thumbCentre_data();
    void thumbCentre();
    void valueAt_data();
    void valueAt();
    void pressOutsideThumbJumps();
    void pressOnThumbKeepsItUnderPointer();
    void keys_data();
    void keys();
    void disabledIgnoresInputAndDrawsEmptyTrack();
    void disablingDuringDragEndsIt();
    void singleValueRange();
    void postsToParentWithoutNotifyWindow();
};

void TavloSliderTest::thumbCentre_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("thumb");
    QTest::addColumn<int>("centre");
    QTest::newRow("seek half way") << 30000 << 0 << 60000 << 303 << 20 << 151;
    QTest::newRow("seek after the jump") << 50883 << 0 << 60000 << 303 << 20 << 249;
    QTest::newRow("seek at the start") << 0 << 0 << 60000 << 303 << 20 << 10;
    QTest::newRow("seek at the end") << 60000 << 0 << 60000 << 303 << 20 << 293;
    QTest::newRow("speed 100") << 100 << 50 << 150 << 102 << 14 << 51;
    QTest::newRow("speed 50") << 50 << 50 << 150 << 102 << 14 << 7;
    QTest::newRow("range of one value") << 0 << 0 << 0 << 303 << 20 << 10;
    QTest::newRow("wide range without overflow")
        << 2147483647 << -2147483647 - 1 << 2147483647 << 303 << 20 << 293;
}

void TavloSliderTest::thumbCentre()
{
    QFETCH(int, value);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, width);
    QFETCH(int, thumb);
    QFETCH(int, centre);
    QCOMPARE(SliderThumbCentre(value, minimum, maximum, width, thumb), centre);
}

void TavloSliderTest::valueAt_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("thumb");
    QTest::addColumn<int>("value");
    QTest::newRow("seek press at 250") << 250 << 0 << 60000 << 303 << 20 << 50883;
    QTest::newRow("seek at the left end") << 10 << 0 << 60000 << 303 << 20 << 0;
    QTest::newRow("seek at the right end") << 293 << 0 << 60000 << 303 << 20 << 60000;
    QTest::newRow("speed centre") << 51 << 50 << 150 << 102 << 14 << 100;
    QTest::newRow("range of one value") << 200 << 0 << 0 << 303 << 20 << 0;
    QTest::newRow("slider no wider than its thumb") << 5 << 0 << 100 << 14 << 14 << 0;
}

void TavloSliderTest::valueAt()
{
    QFETCH(int, x);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, width);
    QFETCH(int, thumb);
    QFETCH(int, value);
    QCOMPARE(SliderValueAt(x, minimum, maximum, width, thumb), value);
}

void TavloSliderTest::pressOutsideThumbJumps()
{
    SeekFixture f;
    QCOMPARE(f.slider->ThumbCentre(), 151);
    Press(f.slider, QPoint(250, 12));
    QCOMPARE(f.slider->GetPos(), 50883);
    QCOMPARE(f.slider->ThumbCentre(), 249);
    QCOMPARE(f.sink.Take(), (std::vector<Message>{{WM_SLIDER_MOVING, kSeekId, 50883}}));

    // The thumb is drawn centred at 249: its middle column is the thumb's middle column.
    const QImage shown = f.slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage thumb = LoadSkinImage(IDB_SEEK_THUMB);
    for (int y = 4; y < 21; ++y)
        QCOMPARE(shown.pixel(249, y), thumb.pixel(10, y));

    Release(f.slider, QPoint(250, 12));
    QCOMPARE(f.sink.Take(), (std::vector<Message>{{WM_SLIDER_CHANGED, kSeekId, 50883}}));
    QVERIFY(!f.slider->IsDragging());
}

void TavloSliderTest::pressOnThumbKeepsItUnderPointer()
{
    SeekFixture f;
    // 4 pixels right of the centre: the thumb does not move under the press.
    Press(f.slider, QPoint(155, 12));
    QCOMPARE(f.slider->GetPos(), 30000);
    QVERIFY(f.sink.Take().empty());
    // Dragging by 10 pixels aims the centre at 161, keeping the grab offset; pixel to value
    // and back truncate twice, so it is drawn at 160 (as the jump above lands at 249).
    DragTo(f.slider, QPoint(165, 12));
    QCOMPARE(f.slider->GetPos(), SliderValueAt(161, 0, 60000, 303, 20));
    QCOMPARE(f.slider->ThumbCentre(), 160);
    QCOMPARE(f.sink.Take(),
             (std::vector<Message>{{WM_SLIDER_MOVING, kSeekId, f.slider->GetPos()}}));
    // A move that aims at the pixel where the thumb already is posts nothing; past the end
    // the thumb stops at the end.
    DragTo(f.slider, QPoint(164, 20));
    QVERIFY(f.sink.Take().empty());
    DragTo(f.slider, QPoint(1000, 12));
    QCOMPARE(f.slider->GetPos(), 60000);
    Release(f.slider, QPoint(1000, 12));
    const auto posted = f.sink.Take();
    QCOMPARE(posted.back(), (Message{WM_SLIDER_CHANGED, kSeekId, 60000}));
}

void TavloSliderTest::keys_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("position");
    QTest::newRow("Home") << 100 << int(Qt::Key_Home) << 50;
    QTest::newRow("End") << 100 << int(Qt::Key_End) << 150;
    QTest::newRow("Page Up from 60 stops at the minimum") << 60 << int(Qt::Key_PageUp) << 50;
    QTest::newRow("Page Down from 100") << 100 << int(Qt::Key_PageDown) << 120;
    QTest::newRow("Page Down from 140 stops at the maximum") << 140 << int(Qt::Key_PageDown) << 150;
    QTest::newRow("Right at the maximum stays") << 150 << int(Qt::Key_Right) << 150;
    QTest::newRow("Down") << 100 << int(Qt::Key_Down) << 101;
    QTest::newRow("Left at the minimum stays") << 50 << int(Qt::Key_Left) << 50;
    QTest::newRow("Up") << 100 << int(Qt::Key_Up) << 99;
}

void TavloSliderTest::keys()
{
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, position);
    QWidget window;
    MessageSink sink;
    auto *slider = new CTavloSlider(&window, kSpeedId);
    slider->setGeometry(242, 492, 102, 14);
    slider->SetTrackBitmap(IDB_SPEED_TRACK);
    slider->SetThumbBitmap(IDB_SMALL_THUMB);
    slider->m_nMinimum = 50;
    slider->m_nMaximum = 150;
    slider->SetPos(start);
    slider->SetNotifyWindow(&sink);
    QCOMPARE(slider->ThumbCentre(), SliderThumbCentre(start, 50, 150, 102, 14));
    PressKey(slider, key);
    QCOMPARE(slider->GetPos(), position);
    // Every key posts a change, even one that left the position where it was.
    QCOMPARE(sink.Take(), (std::vector<Message>{{WM_SLIDER_CHANGED, kSpeedId, position}}));
}

void TavloSliderTest::disabledIgnoresInputAndDrawsEmptyTrack()
{
    SeekFixture f;
    const QImage track = LoadSkinImage(IDB_SEEK_TRACK);
    const int cw = track.width() / 3;
    const auto emptyAt = [&](int x, int y) {
        const int sx = x < cw ? x : (x >= 303 - cw ? x - (303 - cw) + 2 * cw : cw + cw / 2);
        return track.pixel(sx, y);
    };
    // Enabled, the left part is filled and the thumb is there: the check below can fail.
    QImage shown = f.slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(shown.pixel(cw + 10, 12) != emptyAt(cw + 10, 12));
    QVERIFY(shown.pixel(151, 12) != emptyAt(151, 12));

    f.slider->SetEnabled(false);
    Press(f.slider, QPoint(250, 12));
    Release(f.slider, QPoint(250, 12));
    PressKey(f.slider, Qt::Key_End);
    QCOMPARE(f.slider->GetPos(), 30000);
    QVERIFY(f.sink.Take().empty());

    shown = f.slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 303; ++x) {
            if (shown.pixel(x, y) != emptyAt(x, y))
                QFAIL(qPrintable(QString("pixel (%1, %2) is not the empty track").arg(x).arg(y)));
        }
    }
}

void TavloSliderTest::disablingDuringDragEndsIt()
{
    SeekFixture f;
    Press(f.slider, QPoint(200, 12));
    f.sink.Take();
    f.slider->SetEnabled(false);
    QVERIFY(!f.slider->IsDragging());
    const int position = f.slider->GetPos();
    DragTo(f.slider, QPoint(280, 12));
    Release(f.slider, QPoint(280, 12));
    QCOMPARE(f.slider->GetPos(), position);
    QVERIFY(f.sink.Take().empty());
}

void TavloSliderTest::singleValueRange()
{
    // A clip shorter than a second: the range is 0..0.
    SeekFixture f(0, 0, 0);
    QCOMPARE(f.slider->ThumbCentre(), 10);
    Press(f.slider, QPoint(250, 12));
    QCOMPARE(f.slider->GetPos(), 0);
    Release(f.slider, QPoint(250, 12));
    const auto posted = f.sink.Take();
    QVERIFY(!posted.empty());
    for (const Message &m : posted)
        QCOMPARE(m.lParam, intptr_t(0));
}

namespace {
// A parent window that records the slider messages it receives.
struct ParentWindow : QWidget
{
    std::vector<Message> m_messages;
    bool event(QEvent *e) override
    {
        if (auto *m = dynamic_cast<CWindowMessage *>(e)) {
            m_messages.push_back({m->Message(), m->WParam(), m->LParam()});
            return true;
        }
        return QWidget::event(e);
    }
};
} // namespace

void TavloSliderTest::postsToParentWithoutNotifyWindow()
{
    ParentWindow window;
    auto *slider = new CTavloSlider(&window, 412);
    slider->setGeometry(567, 492, 72, 14);
    slider->SetTrackBitmap(IDB_VOLUME_TRACK);
    slider->SetThumbBitmap(IDB_SMALL_THUMB);
    slider->SetPos(50);
    PressKey(slider, Qt::Key_Right);
    QVERIFY(window.m_messages.empty()); // posted, not sent
    QCoreApplication::sendPostedEvents(&window);
    QCOMPARE(window.m_messages, (std::vector<Message>{{WM_SLIDER_CHANGED, 412, 51}}));
}

QTEST_MAIN(TavloSliderTest)
#include "tavlo_slider_test.moc"
