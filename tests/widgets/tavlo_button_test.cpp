// The skinned button: which frame it shows after real pointer sequences, and which commands
// reach its owner.

#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QStringList>
#include <QTest>
#include <QToolTip>

#include "test_events.h"
#include "widgets/command_owner.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/tavlo_button.h"

namespace {

struct Owner : QWidget, CCommandOwner
{
    std::vector<int> m_commands;
    void OnCommand(int nId) override { m_commands.push_back(nId); }
};

} // namespace

class TavloButtonTest : public QObject
{
    Q_OBJECT
private slots:
    void framesAndCommands_data();
    void framesAndCommands();
    void frameRule_data();
    void frameRule();
    void stripSetsSizeAndMissingStripCreatesNothing();
    void tooltipText_data();
    void tooltipText();
    void tooltipShownWrapped();
};

void TavloButtonTest::framesAndCommands_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("commands");

    QTest::newRow("at rest") << "" << false << true << 0 << 0;
    QTest::newRow("pointer enters") << "enter" << false << true << 1 << 0;
    QTest::newRow("pointer enters and leaves") << "enter leave" << false << true << 0 << 0;
    QTest::newRow("pressed") << "enter press" << false << true << 2 << 0;
    QTest::newRow("pressed without an enter first") << "press" << false << true << 2 << 0;
    QTest::newRow("pressed and dragged off") << "enter press off" << false << true << 0 << 0;
    QTest::newRow("checked, pressed and dragged off")
        << "enter press off" << true << true << 3 << 0;
    QTest::newRow("dragged off and back on") << "enter press off on" << false << true << 2 << 0;
    QTest::newRow("released outside") << "enter press off release-off" << false << true << 0 << 0;
    QTest::newRow("click") << "enter press release" << false << true << 1 << 1;
    QTest::newRow("click then leave") << "enter press release leave" << false << true << 0 << 1;
    QTest::newRow("checked") << "" << true << true << 3 << 0;
    QTest::newRow("checked under the pointer") << "enter" << true << true << 1 << 0;
    QTest::newRow("checked and pressed") << "enter press" << true << true << 2 << 0;
    QTest::newRow("disabled wins over checked and hover") << "enter" << true << false << 4 << 0;
    QTest::newRow("disabled takes no click") << "enter press release" << false << false << 4 << 0;
    QTest::newRow("double click as press, release, double, release")
        << "press release double release" << false << true << 1 << 2;
    // The window system delivers the second click as a press followed by a double click.
    QTest::newRow("double click with its own press")
        << "press release press double release" << false << true << 1 << 2;
}

void TavloButtonTest::framesAndCommands()
{
    QFETCH(QString, steps);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);
    QFETCH(int, frame);
    QFETCH(int, commands);

    Owner owner;
    owner.resize(200, 100);
    auto *button = new CTavloButton(&owner);
    QVERIFY(button->LoadStrip(IDB_BTN_PLAY));
    QVERIFY(button->CreateAt(20, 10, &owner, 301));
    button->SetChecked(checked);
    button->setEnabled(enabled);
    owner.show();

    const QPoint inside(25, 28), outside(80, 28);
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
        if (step == "enter")
            Enter(button, inside);
        else if (step == "leave")
            Leave(button);
        else if (step == "press")
            Press(button, inside);
        else if (step == "double")
            DoubleClick(button, inside);
        else if (step == "off")
            DragTo(button, outside);
        else if (step == "on")
            DragTo(button, inside);
        else if (step == "release")
            Release(button, inside);
        else if (step == "release-off")
            Release(button, outside);
        else
            QFAIL(qPrintable("unknown step " + step));
    }

    // What is on screen is exactly that frame of the strip.
    const QImage shown = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage strip = LoadSkinImage(IDB_BTN_PLAY);
    const QImage expected = strip.copy(frame * 50, 0, 50, 56);
    QCOMPARE(button->CurrentFrame(), frame);
    QVERIFY2(shown == expected, "the painted frame differs from the strip's frame");
    QCOMPARE(int(owner.m_commands.size()), commands);
    for (int id : owner.m_commands)
        QCOMPARE(id, 301);
}

void TavloButtonTest::frameRule_data()
{
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("hover");
    QTest::addColumn<bool>("draggedOff");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<int>("frame");
    // The states that real pointer sequences reach only with timing the test cannot force.
    QTest::newRow("held, hover still on after drag off")
        << false << true << true << false << false << 0;
    QTest::newRow("held off, checked") << false << true << true << true << false << 3;
    QTest::newRow("pressed, no hover, checked") << true << false << false << true << false << 3;
    QTest::newRow("pressed, no hover") << true << false << false << false << false << 0;
    QTest::newRow("disabled while pressed") << true << true << false << false << true << 4;
}

void TavloButtonTest::frameRule()
{
    QFETCH(bool, pressed);
    QFETCH(bool, hover);
    QFETCH(bool, draggedOff);
    QFETCH(bool, checked);
    QFETCH(bool, disabled);
    QFETCH(int, frame);
    QCOMPARE(ButtonFrame({pressed, hover, draggedOff, checked, disabled}), frame);
}

void TavloButtonTest::stripSetsSizeAndMissingStripCreatesNothing()
{
    Owner owner;
    CTavloButton wide(&owner);
    QVERIFY(wide.LoadStrip(IDB_BTN_CHANGE_SCREEN));
    QVERIFY(wide.CreateAt(695, 14, &owner, 327));
    QCOMPARE(wide.geometry(), QRect(695, 14, 144, 40));
    wide.resize(300, 300); // the button keeps one frame's size
    QCOMPARE(wide.size(), QSize(144, 40));

    CTavloButton missing(&owner);
    QVERIFY(!missing.LoadStrip(9999));
    QVERIFY(!missing.CreateAt(0, 0, &owner, 1));
    QVERIFY(!missing.isVisible());
    // A failed reload empties a button that had a strip.
    QVERIFY(!wide.LoadStrip(9999));
    QVERIFY(!wide.CreateAt(0, 0, &owner, 327));
}

void TavloButtonTest::tooltipText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::newRow("short") << "Prev Movie" << 1;
    QTest::newRow("long sentence") << QString("Change Screen ").repeated(20).trimmed() << -1;
    QTest::newRow("one word wider than the limit") << QString("W").repeated(120) << -1;
}

void TavloButtonTest::tooltipText()
{
    QFETCH(QString, text);
    QFETCH(int, lines);
    const QFontMetrics metrics(QFont("DejaVu Sans", 10));
    const QString wrapped = WrapTooltipText(text, metrics, TOOLTIP_MAX_WIDTH);
    const QStringList split = wrapped.split('\n');
    if (lines > 0)
        QCOMPARE(int(split.size()), lines);
    else
        QVERIFY(split.size() > 1);
    for (const QString &line : split)
        QVERIFY2(metrics.horizontalAdvance(line) <= TOOLTIP_MAX_WIDTH, qPrintable(line));
    // Nothing of the text is lost, only spaces become line breaks.
    QCOMPARE(QString(wrapped).replace('\n', ' ').remove(' '), QString(text).remove(' '));

    CTavloButton button;
    QCOMPARE(button.SetTooltip(QString()), TAVLO_E_INVALIDARG);
    QCOMPARE(button.SetTooltip(text), 0);
    QCOMPARE(button.TooltipText(), text);
}

void TavloButtonTest::tooltipShownWrapped()
{
    Owner owner;
    owner.resize(300, 100);
    auto *button = new CTavloButton(&owner);
    QVERIFY(button->LoadStrip(IDB_BTN_OPEN));
    QVERIFY(button->CreateAt(0, 0, &owner, 307));
    const QString text = QString("Open the memory card of the recorder ").repeated(8).trimmed();
    QCOMPARE(button->SetTooltip(text), 0);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), button->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(button, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    const QStringList lines = QToolTip::text().split('\n');
    QVERIFY(lines.size() > 1);
    const QFontMetrics metrics(QToolTip::font());
    for (const QString &line : lines)
        QVERIFY(metrics.horizontalAdvance(line) <= TOOLTIP_MAX_WIDTH);
    QToolTip::hideText();
}

QTEST_MAIN(TavloButtonTest)
#include "tavlo_button_test.moc"
