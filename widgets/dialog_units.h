#pragma once

#include <QRect>

// Dialog layouts are given in dialog units of the 8-point dialog font, whose base units are
// fixed here at 6 x 13 pixels: x = du * 6 / 4, y = du * 13 / 8.
constexpr int DialogUnitsX(int du)
{
    return du * 6 / 4;
}
constexpr int DialogUnitsY(int du)
{
    return du * 13 / 8;
}

// A rectangle given as x, y, width, height in dialog units, in pixels.
inline QRect DialogRect(int x, int y, int w, int h)
{
    return QRect(DialogUnitsX(x), DialogUnitsY(y), DialogUnitsX(w), DialogUnitsY(h));
}
