#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QWidget;

// The settings pages are laid out in dialog units of a 300 x 191 page.
void InitSettingsPage(QWidget *page, const char *caption);
// A group box behind the controls it frames.
QGroupBox *AddPageGroup(QWidget *page, const char *text, int x, int y, int w, int h);
QLabel *AddPageStatic(QWidget *page, const char *text, int x, int y, int w, int h);
