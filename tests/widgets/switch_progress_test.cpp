// The mute switch and the usage bar: what they draw and when the owner hears of a click.

#include <QImage>
#include <QTest>

#include "test_events.h"
#include "widgets/command_owner.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_progress.h"
#include "widgets/tavlo_switch.h"

namespace {

QImage Grab(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage SwitchHalf(int state)
{
    const QImage bitmap = LoadSkinImage(IDB_MUTE_SWITCH);
    return bitmap.copy(state ? 0 : 16, 0, 16, 14);
}

// Records, at the moment of the command, what the switch shows.
struct SwitchOwner : QWidget, CCommandOwner
{
    CTavloSwitch *m_pSwitch = nullptr;
    std::vector<std::pair<int, QImage>> m_seen;
    void OnCommand(int nId) override { m_seen.push_back({nId, Grab(m_pSwitch)}); }
};

} // namespace

class SwitchProgressTest : public QObject
{
    Q_OBJECT
private slots:
    void switchFlipsBeforeOwnerHears_data();
    void switchFlipsBeforeOwnerHears();
    void usageSegments_data();
    void usageSegments();
    void usageBarPixels();
};

void SwitchProgressTest::switchFlipsBeforeOwnerHears_data()
{
    QTest::addColumn<int>("start");
    QTest::newRow("on to off") << 1;
    QTest::newRow("off to on") << 0;
}

void SwitchProgressTest::switchFlipsBeforeOwnerHears()
{
    QFETCH(int, start);
    SwitchOwner owner;
    owner.m_pSwitch = new CTavloSwitch(&owner, 438);
    owner.m_pSwitch->SetBitmap(IDB_MUTE_SWITCH);
    owner.m_pSwitch->setGeometry(544, 491, 16, 14);
    owner.m_pSwitch->SetState(start);
    owner.resize(600, 520);
    owner.show();
    QCOMPARE(Grab(owner.m_pSwitch), SwitchHalf(start));

    Press(owner.m_pSwitch, QPoint(8, 7));
    Release(owner.m_pSwitch, QPoint(8, 7));
    QCOMPARE(int(owner.m_seen.size()), 1);
    QCOMPARE(owner.m_seen[0].first, 438);
    QCOMPARE(owner.m_pSwitch->GetState(), 1 - start);
    QVERIFY2(owner.m_seen[0].second == SwitchHalf(1 - start),
             "the owner saw the old picture at the command");
}

void SwitchProgressTest::usageSegments_data()
{
    QTest::addColumn<QList<uint>>("amounts");
    QTest::addColumn<uint>("total");
    QTest::addColumn<uint>("width");
    QTest::addColumn<QList<uint>>("widths");
    QTest::newRow("memory page example")
        << QList<uint>{1000, 0, 500, 0} << 4000u << 400u << QList<uint>{100, 0, 50, 0};
    QTest::newRow("scale truncates")
        << QList<uint>{1000, 999, 7, 1} << 4399u << 400u << QList<uint>{100, 99, 0, 0};
    QTest::newRow("total below the width draws nothing")
        << QList<uint>{300, 10, 10, 10} << 399u << 400u << QList<uint>{0, 0, 0, 0};
    QTest::newRow("no total") << QList<uint>{5, 5, 5, 5} << 0u << 400u << QList<uint>{0, 0, 0, 0};
    QTest::newRow("no width") << QList<uint>{5, 5, 5, 5} << 4000u << 0u << QList<uint>{0, 0, 0, 0};
}

void SwitchProgressTest::usageSegments()
{
    QFETCH(QList<uint>, amounts);
    QFETCH(uint, total);
    QFETCH(uint, width);
    QFETCH(QList<uint>, widths);
    const auto got =
        UsageSegmentWidths({amounts[0], amounts[1], amounts[2], amounts[3]}, total, width);
    QCOMPARE((QList<uint>{got[0], got[1], got[2], got[3]}), widths);
}

void SwitchProgressTest::usageBarPixels()
{
    CTavloProgress bar;
    bar.resize(400, 20);
    bar.SetAmounts(1000, 0, 500, 0, 4000);
    bar.show();
    const QImage shown = Grab(&bar);
    const auto &colours = CTavloProgress::SegmentColours();
    struct Span
    {
        int from;
        int to;
        QRgb colour;
    };
    // RECORD 0..100, EVENT nothing, MANUAL 100..150, then the bar's ground.
    const Span spans[] = {
        {0, 100, colours[0].rgb()}, {100, 150, colours[2].rgb()}, {150, 399, qRgb(255, 255, 255)}};
    for (const Span &span : spans) {
        for (int x = span.from; x < span.to; ++x) {
            for (int y : {1, 10, 18})
                QCOMPARE(shown.pixel(x, y), span.colour);
        }
    }
    // Segments cover the full height; past them the black outline shows.
    QCOMPARE(shown.pixel(50, 0), colours[0].rgb());
    QCOMPARE(shown.pixel(120, 19), colours[2].rgb());
    QCOMPARE(shown.pixel(200, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(200, 19), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(399, 10), qRgb(0, 0, 0));

    // Amounts over the total are cut at the bar's edge instead of running past it.
    bar.SetAmounts(8000, 0, 0, 0, 4000);
    const QImage over = Grab(&bar);
    QCOMPARE(over.pixel(399, 10), colours[0].rgb());
}

QTEST_MAIN(SwitchProgressTest)
#include "switch_progress_test.moc"
