#include "settings/page_layout.h"

#include <QGroupBox>
#include <QLabel>

#include "widgets/dialog_units.h"
#include "widgets/ui_font.h"

void InitSettingsPage(QWidget *page, const char *caption)
{
    page->setWindowTitle(QString::fromLatin1(caption));
    page->setFont(DialogFont());
    page->setFixedSize(DialogUnitsX(300), DialogUnitsY(191));
}

QGroupBox *AddPageGroup(QWidget *page, const char *text, int x, int y, int w, int h)
{
    auto *group = new QGroupBox(QString::fromLatin1(text), page);
    group->setGeometry(DialogRect(x, y, w, h));
    group->lower();
    return group;
}

QLabel *AddPageStatic(QWidget *page, const char *text, int x, int y, int w, int h)
{
    auto *label = new QLabel(QString::fromLatin1(text), page);
    label->setGeometry(DialogRect(x, y, w, h));
    return label;
}
