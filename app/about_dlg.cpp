#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "widgets/dialog_units.h"
#include "widgets/ui_font.h"

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About Roadlog Viewer"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsX(170), DialogUnitsY(62));

    auto *name = new QLabel(VersionText(), this);
    name->setGeometry(DialogRect(10, 10, 150, 8));
    auto *note = new QLabel(QStringLiteral("Viewer for the recorder's memory card"), this);
    note->setGeometry(DialogRect(10, 25, 150, 8));

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setGeometry(DialogRect(113, 41, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
}

QString CAboutDlg::VersionText()
{
    return QStringLiteral("Roadlog Viewer Version " ROADLOG_VERSION);
}
