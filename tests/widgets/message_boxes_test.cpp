// The notification dialog and the warning box, run modally as callers run them.

#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "test_events.h"
#include "widgets/tavlo_msg_dlg.h"
#include "widgets/warning_box.h"

namespace {

// Runs action on the modal window once it is up (polled, as the modal loop starts later).
void WhenModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        if (QWidget *w = QApplication::activeModalWidget(); w && w->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(w);
        }
    });
    poll->start(20);
}

} // namespace

class MessageBoxesTest : public QObject
{
    Q_OBJECT
private slots:
    void notificationClosesItselfAndCallerContinues();
    void notificationEndsByUser_data();
    void notificationEndsByUser();
    void notificationLayout();
    void warningBox();
};

void MessageBoxesTest::notificationClosesItselfAndCallerContinues()
{
    QElapsedTimer clock;
    clock.start();
    QString shown;
    WhenModal(
        [&shown](QWidget *w) { shown = static_cast<CTavloMsgDlg *>(w)->MessageControl()->text(); });
    CTavloMsgDlg dlg;
    dlg.m_strMessage = QStringLiteral("Unused Memory.");
    const int result = dlg.exec();
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(shown, QStringLiteral("Unused Memory."));
    QVERIFY2(elapsed >= 2990 && elapsed < 4500, qPrintable(QString::number(elapsed)));

    // The helper the callers use returns the same way.
    clock.restart();
    ShowNotification(nullptr, QStringLiteral("Unused Memory"));
    QVERIFY(clock.elapsed() >= 2990);
}

void MessageBoxesTest::notificationEndsByUser_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK button") << "ok" << int(QDialog::Accepted);
    QTest::newRow("Enter") << "enter" << int(QDialog::Accepted);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
}

void MessageBoxesTest::notificationEndsByUser()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    WhenModal([how](QWidget *w) {
        auto *dlg = static_cast<CTavloMsgDlg *>(w);
        if (how == "ok")
            dlg->OkButton()->click();
        else
            PressKey(dlg, how == "enter" ? Qt::Key_Return : Qt::Key_Escape);
    });
    QElapsedTimer clock;
    clock.start();
    CTavloMsgDlg dlg;
    dlg.m_strMessage = QStringLiteral("Time settings have been saved.");
    QCOMPARE(dlg.exec(), result);
    QVERIFY(clock.elapsed() < 2000);
}

void MessageBoxesTest::notificationLayout()
{
    CTavloMsgDlg dlg;
    dlg.m_strMessage = QString("A message longer than the control is wide ").repeated(6);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Notify"));
    QCOMPARE(dlg.size(), QSize(390, 121));
    QLabel *message = dlg.MessageControl();
    QCOMPARE(message->objectName(), QStringLiteral("417"));
    QCOMPARE(message->geometry(), QRect(10, 34, 369, 43));
    QCOMPARE(dlg.OkButton()->objectName(), QStringLiteral("1005"));
    QCOMPARE(dlg.OkButton()->geometry(), QRect(162, 87, 75, 22));
    // A long text wraps inside the control, which keeps its height (the rest is cut).
    QVERIFY(message->wordWrap());
    QVERIFY(message->heightForWidth(message->width()) > message->fontMetrics().height());
    QCOMPARE(message->height(), 43);
    QVERIFY(message->alignment() & Qt::AlignHCenter);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowSystemMenuHint));
    dlg.reject();
}

void MessageBoxesTest::warningBox()
{
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    ShowWarningBox(nullptr, QStringLiteral("Can not Play"));
    QCOMPARE(title, QStringLiteral("TavloPlayer"));
    QCOMPARE(text, QStringLiteral("Can not Play"));
    QCOMPARE(icon, QMessageBox::Warning);
}

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
