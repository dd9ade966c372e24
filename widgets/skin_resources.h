#pragma once

#include <vector>

#include <QImage>
#include <QString>

// The skin bitmaps live in the program's resources under ":/skin/<id>".
QString SkinResourcePath(int nId);

// The bitmap of a resource id as a 24-bit image; a null image when there is none.
QImage LoadSkinImage(int nId);

// Every resource id of the skin, ascending.
std::vector<int> SkinResourceIds();

// A copy in which magenta RGB(255, 0, 255) is transparent: how keyed skin pieces are drawn.
QImage KeyOutMagenta(const QImage &image);
