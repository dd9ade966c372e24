#pragma once

#include <QString>

class QWidget;

// The application title, the caption of every message box.
inline constexpr char APP_TITLE[] = "TavloPlayer";

// A modal message box with the warning icon and an OK button, captioned with the application
// title; returns when the user has closed it.
void ShowWarningBox(QWidget *parent, const QString &text);
