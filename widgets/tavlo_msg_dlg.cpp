#include "widgets/tavlo_msg_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimerEvent>

#include "widgets/dialog_units.h"
#include "widgets/ui_font.h"

CTavloMsgDlg::CTavloMsgDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Notify"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsX(260), DialogUnitsY(75));

    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QString::number(IDC_MESSAGE));
    m_pMessage->setGeometry(DialogRect(7, 21, 246, 27));
    m_pMessage->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_pMessage->setWordWrap(true);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QString::number(IDC_OK));
    m_pOk->setGeometry(DialogRect(108, 54, 50, 14));
    m_pOk->setDefault(true); // Enter ends the dialog with OK; Escape rejects it (QDialog)
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

void CTavloMsgDlg::showEvent(QShowEvent *e)
{
    if (!m_closeTimer.isActive()) {
        m_pMessage->setText(m_strMessage);
        // Precise: a coarse timer may fire up to 5 % early.
        m_closeTimer.start(CLOSE_AFTER_MS, Qt::PreciseTimer, this);
    }
    QDialog::showEvent(e);
}

void CTavloMsgDlg::timerEvent(QTimerEvent *e)
{
    if (e->timerId() == m_closeTimer.timerId()) {
        accept();
        return;
    }
    QDialog::timerEvent(e);
}

void CTavloMsgDlg::done(int nResult)
{
    m_closeTimer.stop();
    QDialog::done(nResult);
}

void ShowNotification(QWidget *parent, const QString &text)
{
    CTavloMsgDlg dlg(parent);
    dlg.m_strMessage = text;
    dlg.exec();
}
