// The about box, run modally as the application runs it.

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/about_dlg.h"

class AboutTest : public QObject
{
    Q_OBJECT
private slots:
    void aboutBox();
};

void AboutTest::aboutBox()
{
    QVERIFY(CAboutDlg::VersionText().endsWith(QStringLiteral(ROADLOG_VERSION)));
    CAboutDlg dlg;
    // The timer fires inside the dialog's own loop, once it runs.
    QTimer::singleShot(50, &dlg, [&dlg] { dlg.OkButton()->click(); });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
