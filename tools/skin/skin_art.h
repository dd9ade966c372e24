#pragma once

// Drawing helpers of the skin generator: the shared colour ramps, the five-frame button looks,
// icons and path-filled labels. Everything here is deterministic: no font hinting, no
// sub-pixel text, so that the generator re-creates byte-identical files.

#include <functional>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

namespace skin {

inline constexpr QRgb kMagenta = 0xffff00ff;
inline const QColor kOrange(255, 160, 0);

// Colour of row y of the window background column (the caption band is rows 0..61).
QColor WindowRow(int y);
// Colour of row y (0..105) of the control panel.
QColor PanelRow(int y);
// Interior of the seek bar plate.
QColor SeekPlate();

// Loads the two label fonts from their files; false when a font file is missing.
bool LoadFonts(QString *error);

// A filled text outline, aligned inside rect. pixelSize is the em size.
void DrawLabel(QPainter &p, const QRectF &rect, const QString &text, const QColor &colour,
               qreal pixelSize, bool bold, Qt::Alignment align = Qt::AlignCenter);

// Fills a w x h image row by row from a colour ramp.
QImage RampImage(int w, int h, const std::function<QColor(int)> &row);

// Turns an ARGB drawing into a keyed 24-bit picture: pixels at least half covered are
// composited over `under`, the rest become magenta.
QImage KeyToMagenta(const QImage &argb, const QColor &under);

// The five looks of a button frame: 0 normal, 1 hover, 2 pressed, 3 checked, 4 disabled.
struct FrameLook
{
    QColor faceTop;
    QColor faceBottom;
    QColor ring;
    QColor icon;
    qreal shift; // the pressed face's content moves down and right
};
FrameLook LookOf(int frame);

enum class Face
{
    Circle,
    Rounded,
    Flat
};

// Draws one frame's face inside box with the look of `frame`.
void DrawFace(QPainter &p, const QRectF &box, Face face, int frame);

// A five-frame strip. background(y) gives the colour under the button at row y; content draws
// the icon and label of one frame inside (0, 0, fw, h), already shifted for pressed frames.
QImage Strip(int fw, int h, const std::function<QColor(int)> &background, Face face,
             const QRectF &faceBox,
             const std::function<void(QPainter &, const FrameLook &, int frame)> &content);

// Icons, each drawn to fit `box` in one colour.
enum class Icon
{
    Play,
    Pause,
    PrevClip,
    NextClip,
    PrevFrame,
    NextFrame,
    FastPlay,
    Open,
    Minimise,
    Close,
    Restore,
    Pin,
    FullScreen,
    Camera,
    Gear,
    ChangeScreen,
    Plus,
    Minus,
    LockClosed,
    LockOpen,
    Speaker,
    Clock,
    Latitude,
    Longitude,
    Compass,
    Speedo,
    Film,
    Lens,
};
void DrawIcon(QPainter &p, Icon icon, const QRectF &box, const QColor &colour);

} // namespace skin
