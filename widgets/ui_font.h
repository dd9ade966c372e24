#pragma once

#include <QFont>
#include <QString>

// The skin's texts are laid out for Tahoma; where it is not installed DejaVu Sans Condensed,
// whose widths are close, takes its place.
QString SkinFontFamily();

// A font of the skin family, nPixelHeight pixels high, antialiased.
QFont SkinFont(int nPixelHeight, int nWeight = QFont::Normal);

// The dialogs' 8-point font.
QFont DialogFont();
