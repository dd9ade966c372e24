#pragma once

#include <QDialog>

class QPushButton;

// The about box: the viewer's name and version with an OK button.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ID_APP_ABOUT = 57664; // the command that shows it

    explicit CAboutDlg(QWidget *parent = nullptr);

    static QString VersionText();
    QPushButton *OkButton() const { return m_pOk; }

private:
    QPushButton *m_pOk;
};
