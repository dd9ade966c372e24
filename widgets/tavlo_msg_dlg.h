#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The self-closing notification: one centred text and an OK button; it ends itself with OK
// three seconds after it is shown, so the user need not confirm. Run it with exec().
class CTavloMsgDlg : public QDialog
{
    Q_OBJECT
public:
    enum
    {
        IDD = 443,
        IDC_MESSAGE = 417,
        IDC_OK = 1005
    };
    static constexpr int CLOSE_AFTER_MS = 3000;

    explicit CTavloMsgDlg(QWidget *parent = nullptr);

    QString m_strMessage; // set by the caller before the dialog runs

    QLabel *MessageControl() const { return m_pMessage; }
    QPushButton *OkButton() const { return m_pOk; }

protected:
    void showEvent(QShowEvent *e) override;
    void timerEvent(QTimerEvent *e) override;
    void done(int nResult) override;

private:
    QLabel *m_pMessage;
    QPushButton *m_pOk;
    QBasicTimer m_closeTimer;
};

// Shows text in a fresh notification and returns when it has closed.
void ShowNotification(QWidget *parent, const QString &text);
