#include "widgets/warning_box.h"

#include <QMessageBox>

void ShowWarningBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(APP_TITLE), text, QMessageBox::Ok,
                    parent);
    box.exec();
}
