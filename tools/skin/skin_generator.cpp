// Draws every skin bitmap of the viewer and writes them as PNG files with the resource file that
// maps each resource id to its file.
//
//   skin-generator DIR            write the files into DIR (app/resources/skin)
//   skin-generator --verify DIR   re-create the files in memory and compare them byte for byte

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRadialGradient>

#include "skin_art.h"

using namespace skin;

namespace {

struct SKIN_ITEM
{
    int nId;
    const char *szFile;
    int nWidth;
    int nHeight;
    std::function<QImage()> make;
};

// ---- pieces of the main window -------------------------------------------------------------

QImage TopLeft(int w, int h, int iconSize, qreal titleSize, bool subtitle)
{
    QImage img = RampImage(w, h, WindowRow);
    QPainter p(&img);
    const int top = (std::min(h, 46) - iconSize) / 2;
    DrawIcon(p, Icon::Lens, QRectF(12, top, iconSize, iconSize), kOrange);
    const int textLeft = 12 + iconSize + 8;
    if (subtitle) {
        DrawLabel(p, QRectF(textLeft, top - 1, w - textLeft, titleSize), "Roadlog",
                  QColor(232, 236, 242), titleSize, true, Qt::AlignLeft | Qt::AlignTop);
        DrawLabel(p, QRectF(textLeft + 1, top + iconSize - 9, w - textLeft, 9), "VIEWER",
                  QColor(113, 127, 146), 10, true, Qt::AlignLeft | Qt::AlignBottom);
    } else {
        DrawLabel(p, QRectF(textLeft, top, w - textLeft, iconSize), "Roadlog Viewer",
                  QColor(232, 236, 242), titleSize, true, Qt::AlignLeft | Qt::AlignVCenter);
    }
    return img;
}

QImage ListHeader()
{
    QImage img = RampImage(340, 31, [](int y) {
        if (y == 30)
            return kOrange;
        return QColor(44 - y / 2, 48 - y / 2, 54 - y / 2);
    });
    QPainter p(&img);
    const QColor text(170, 178, 188);
    // Columns line up with the rows of the list below it (text from x = 14, date centred in
    // 182..246, size from 258).
    DrawLabel(p, QRectF(14, 0, 150, 30), "File Name", text, 11, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    DrawLabel(p, QRectF(182, 0, 64, 30), "Date", text, 11, true);
    DrawLabel(p, QRectF(258, 0, 64, 30), "Size", text, 11, true, Qt::AlignLeft | Qt::AlignVCenter);
    p.fillRect(172, 8, 1, 15, QColor(70, 76, 84));
    p.fillRect(252, 8, 1, 15, QColor(70, 76, 84));
    return img;
}

QImage CategoryHeader()
{
    QImage img = RampImage(338, 62, [](int y) {
        if (y == 0)
            return WindowRow(76);
        if (y == 1)
            return QColor(40, 40, 40);
        if (y <= 40)
            return QColor(38 - y / 3, 41 - y / 3, 46 - y / 3);
        if (y == 41)
            return QColor(40, 40, 40);
        return QColor(16, 16, 16);
    });
    QPainter p(&img);
    p.fillRect(0, 1, 1, 61, QColor(40, 40, 40));
    DrawIcon(p, Icon::Film, QRectF(12, 11, 16, 20), kOrange);
    DrawLabel(p, QRectF(38, 2, 200, 39), "Recordings", QColor(226, 230, 236), 15, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    DrawLabel(p, QRectF(12, 44, 320, 14), "Choose a folder of the card", QColor(113, 127, 146), 10,
              false, Qt::AlignLeft | Qt::AlignVCenter);
    return img;
}

QImage SeekBarPlate()
{
    QImage argb(442, 27, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    QPainter p(&argb);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(68, 72, 80), 1));
    p.setBrush(SeekPlate());
    p.drawRoundedRect(QRectF(0.5, 0.5, 441, 26), 9, 9);
    p.end();
    return KeyToMagenta(argb, WindowRow(456));
}

QImage EmptyVideo()
{
    QImage img = RampImage(320, 35, [](int) { return QColor(16, 16, 16); });
    QPainter p(&img);
    DrawIcon(p, Icon::Lens, QRectF(40, 4, 28, 27), QColor(60, 64, 70));
    DrawLabel(p, QRectF(78, 0, 242, 35), "ROADLOG VIEWER", QColor(62, 66, 72), 22, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    return img;
}

QImage PanelEnd(bool left)
{
    QImage img = RampImage(5, 106, PanelRow);
    for (int y = 0; y < 106; ++y) {
        const QColor c = PanelRow(y);
        const int outer = left ? 0 : 4, inner = left ? 1 : 3;
        img.setPixel(outer, y, QColor(18, 19, 21).rgb());
        img.setPixel(inner, y, (left ? c.lighter(118) : c.darker(125)).rgb());
    }
    return img;
}

QImage PanelMark()
{
    QImage img = RampImage(20, 20, [](int y) { return PanelRow(10 + y); });
    QPainter p(&img);
    DrawIcon(p, Icon::Film, QRectF(3, 1, 14, 18), kOrange);
    return img;
}

QImage SmallVideo()
{
    QImage img = RampImage(186, 138, [](int) { return QColor(16, 16, 16); });
    QPainter p(&img);
    DrawIcon(p, Icon::Camera, QRectF(73, 42, 40, 32), QColor(52, 56, 62));
    DrawLabel(p, QRectF(0, 84, 186, 14), "SECOND CAMERA", QColor(58, 62, 68), 11, true);
    return img;
}

// ---- buttons ---------------------------------------------------------------------------------

QImage PanelButton(Icon icon)
{
    return Strip(
        50, 56, [](int y) { return PanelRow(46 + y); }, Face::Circle, QRectF(3, 6, 44, 44),
        [icon](QPainter &p, const FrameLook &look, int) {
            DrawIcon(p, icon, QRectF(16, 20, 18, 16), look.icon);
        });
}

QImage CaptionButton(Icon icon, int barRow)
{
    return Strip(
        26, 26, [barRow](int y) { return WindowRow(barRow + y); }, Face::Rounded,
        QRectF(1, 1, 24, 24),
        [icon](QPainter &p, const FrameLook &look, int) {
            DrawIcon(p, icon, QRectF(8, 8, 10, 10), look.icon);
        });
}

QImage WideCaptionButton(Icon icon, const char *label)
{
    return Strip(
        82, 26, [](int y) { return WindowRow(10 + y); }, Face::Rounded, QRectF(1, 1, 80, 24),
        [icon, label](QPainter &p, const FrameLook &look, int) {
            DrawIcon(p, icon, QRectF(9, 7, 12, 12), look.icon);
            DrawLabel(p, QRectF(26, 1, 52, 24), label, look.icon, 12, true,
                      Qt::AlignLeft | Qt::AlignVCenter);
        });
}

QImage ToolbarButton(int width, Icon icon, const char *label)
{
    return Strip(
        width, 40, [](int y) { return WindowRow(14 + y); }, Face::Flat, QRectF(2, 2, width - 4, 36),
        [icon, label, width](QPainter &p, const FrameLook &look, int frame) {
            // Resting toolbar icons take the accent colour so the bar reads at a glance.
            const QColor iconColour = frame == 0 ? kOrange : look.icon;
            DrawIcon(p, icon, QRectF(9, 11, 18, 18), iconColour);
            DrawLabel(p, QRectF(33, 0, width - 36, 40), label, look.icon, 11, true,
                      Qt::AlignLeft | Qt::AlignVCenter);
        });
}

QImage SpeedButton(int height, Icon icon)
{
    return Strip(
        14, height, [height](int y) { return PanelRow((height == 14 ? 14 : 18) + y); },
        Face::Rounded, QRectF(0, 0, 14, height),
        [icon, height](QPainter &p, const FrameLook &look, int) {
            if (height == 14)
                DrawIcon(p, icon, QRectF(3.5, 3.5, 7, 7), look.icon);
            else
                DrawIcon(p, icon, QRectF(3.5, 1.5, 7, 3), look.icon);
        });
}

QImage CategoryButton(int width, const char *label)
{
    return Strip(
        width, 35, [](int) { return QColor(16, 16, 16); }, Face::Rounded,
        QRectF(1, 2, width - 2, 31),
        [label, width](QPainter &p, const FrameLook &look, int) {
            DrawLabel(p, QRectF(0, 2, width, 31), label, look.icon, 13, true);
        });
}

QImage LockButton()
{
    return Strip(
        26, 26, [](int) { return QColor(224, 224, 224); }, Face::Rounded, QRectF(0, 0, 26, 26),
        [](QPainter &p, const FrameLook &look, int frame) {
            // Checked means unlocked: the shackle opens.
            DrawIcon(p, frame == 3 ? Icon::LockOpen : Icon::LockClosed, QRectF(7, 5, 12, 16),
                     look.icon);
        });
}

// ---- sliders and the switch ------------------------------------------------------------------

// A track of three equal columns: the top half is the empty groove, the bottom half the filled
// one. Only the two caps are rounded, so the middle column can be stretched.
QImage Track(int column, int rowHeight, const std::function<QColor(int)> &under, qreal grooveH)
{
    const int w = column * 3;
    QImage argb(w, rowHeight * 2, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    QPainter p(&argb);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int half = 0; half < 2; ++half) {
        const qreal top = half * rowHeight + (rowHeight - grooveH) / 2;
        const QRectF groove(1.5, top, w - 3, grooveH);
        QLinearGradient g(groove.topLeft(), groove.bottomLeft());
        if (half == 0) {
            g.setColorAt(0, QColor(8, 8, 9));
            g.setColorAt(1, QColor(22, 23, 26));
            p.setPen(QPen(QColor(74, 78, 86), 1));
        } else {
            g.setColorAt(0, QColor(255, 196, 80));
            g.setColorAt(1, QColor(226, 128, 0));
            p.setPen(QPen(QColor(150, 88, 0), 1));
        }
        p.setBrush(g);
        p.drawRoundedRect(groove, grooveH / 2, grooveH / 2);
    }
    p.end();
    QImage out(argb.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        const QColor u = under(y % rowHeight);
        for (int x = 0; x < w; ++x) {
            const QRgb s = argb.pixel(x, y);
            const int a = qAlpha(s);
            const auto blend = [a](int c, int b) { return (c * a + b * (255 - a) + 127) / 255; };
            const QColor c = QColor::fromRgba(s);
            out.setPixel(x, y,
                         qRgb(blend(c.red(), u.red()), blend(c.green(), u.green()),
                              blend(c.blue(), u.blue())));
        }
    }
    return out;
}

QImage Thumb(int w, int h, const QColor &under)
{
    QImage argb(w, h, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    QPainter p(&argb);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(w / 2.0, h / 2.0);
    const qreal radius = std::min(w, h) / 2.0 - 1;
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(176, 182, 190));
    p.setPen(QPen(kOrange, radius > 6 ? 2.0 : 1.5));
    p.setBrush(g);
    p.drawEllipse(centre, radius - 0.5, radius - 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(centre, radius / 3.2, radius / 3.2);
    p.end();
    return KeyToMagenta(argb, under);
}

QImage MuteSwitch()
{
    QImage img = RampImage(32, 14, [](int y) { return PanelRow(13 + y); });
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    // Left half: sound on, speaker with waves.
    DrawIcon(p, Icon::Speaker, QRectF(1.5, 2, 7, 10), QColor(214, 220, 228));
    p.setPen(QPen(kOrange, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 4, 6, 6), -60 * 16, 120 * 16);
    p.drawArc(QRectF(4, 1.5, 10.5, 11), -60 * 16, 120 * 16);
    // Right half: muted, dim speaker with a cross.
    DrawIcon(p, Icon::Speaker, QRectF(17.5, 2, 7, 10), QColor(110, 116, 124));
    p.setPen(QPen(QColor(214, 64, 52), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(26, 4.5), QPointF(30.5, 9.5));
    p.drawLine(QPointF(30.5, 4.5), QPointF(26, 9.5));
    return img;
}

// ---- list and map window ---------------------------------------------------------------------

QImage ScrollBarSkin()
{
    QImage img = RampImage(150, 128, [](int) { return QColor(30, 30, 30); });
    QPainter p(&img);
    for (int i = 0; i < 2; ++i) {
        const QRectF box(i * 16, 37, 16, 20);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(box, QColor(60, 36, 0));
        p.fillRect(box.adjusted(1, 1, -1, -1), kOrange);
        p.fillRect(QRectF(box.left() + 1, box.top() + 1, 14, 1), QColor(255, 200, 100));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const qreal cx = box.center().x();
        if (i == 0)
            p.drawPolygon(
                QPolygonF({QPointF(cx, 43), QPointF(cx + 4.5, 50), QPointF(cx - 4.5, 50)}));
        else
            p.drawPolygon(
                QPolygonF({QPointF(cx, 51), QPointF(cx + 4.5, 44), QPointF(cx - 4.5, 44)}));
    }
    p.end();
    for (int x = 1; x < 15; ++x)
        img.setPixel(x, 60, qRgb(80, 80, 80));
    return img;
}

QImage CheckBoxes()
{
    QImage argb(128, 16, QImage::Format_ARGB32_Premultiplied);
    argb.fill(Qt::transparent);
    QPainter p(&argb);
    for (int i = 0; i < 2; ++i) {
        p.fillRect(QRect(i * 16 + 2, 2, 12, 12), QColor(164, 171, 178));
        p.fillRect(QRect(i * 16 + 3, 3, 10, 10), QColor(20, 20, 20));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kOrange, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(21, 8), QPointF(23.5, 10.5), QPointF(27.5, 5)}));
    p.end();
    return KeyToMagenta(argb, QColor(20, 20, 20));
}

QImage MapBackground()
{
    QImage img = RampImage(346, 476, [](int y) {
        if (y < 30)
            return WindowRow(y + 7);
        return QColor(24, 26, 29);
    });
    QPainter p(&img);
    // Outer frame and the frame around the browser area (11, 31)-(335, 305).
    p.setPen(QColor(74, 80, 88));
    p.drawRect(0, 0, 345, 475);
    p.setPen(QColor(70, 74, 80));
    p.drawRect(10, 30, 325, 275);
    DrawIcon(p, Icon::Pin, QRectF(11, 7, 12, 16), kOrange);
    DrawLabel(p, QRectF(30, 0, 200, 30), "GPS Map", QColor(226, 230, 236), 13, true,
              Qt::AlignLeft | Qt::AlignVCenter);
    struct Row
    {
        int top;
        int bottom;
        Icon icon;
        const char *label;
    };
    const Row rows[] = {
        {317, 345, Icon::Speedo, "Running Speed"}, {346, 375, Icon::Clock, "Time"},
        {376, 405, Icon::Latitude, "Latitude"},    {406, 435, Icon::Longitude, "Longitude"},
        {436, 464, Icon::Compass, "Bearing"},
    };
    p.fillRect(10, 312, 326, 157, QColor(18, 19, 21));
    for (const Row &row : rows) {
        const int h = row.bottom - row.top;
        p.fillRect(11, row.top, 324, h, QColor(34, 36, 40));
        p.fillRect(11, row.top, 324, 1, QColor(52, 56, 62));
        p.fillRect(170, row.top + 3, 160, h - 6, QColor(12, 13, 15));
        p.setPen(QColor(46, 50, 56));
        p.drawRect(170, row.top + 3, 159, h - 7);
        const qreal mid = row.top + h / 2.0;
        DrawIcon(p, row.icon, QRectF(18, mid - 8, 16, 16), kOrange);
        DrawLabel(p, QRectF(42, row.top, 124, h), row.label, QColor(168, 176, 188), 12, true,
                  Qt::AlignLeft | Qt::AlignVCenter);
    }
    return img;
}

// ---- the table -------------------------------------------------------------------------------

std::vector<SKIN_ITEM> SkinTable()
{
    const auto panelBar = [](int w, int h) { return RampImage(w, h, PanelRow); };
    return {
        {130, "b130_fullscreen_bar.png", 1, 46, [] { return RampImage(1, 46, WindowRow); }},
        {131, "b131_prev_frame.png", 250, 56, [] { return PanelButton(Icon::PrevFrame); }},
        {132, "b132_next_clip.png", 250, 56, [] { return PanelButton(Icon::NextClip); }},
        {133, "b133_pause.png", 250, 56, [] { return PanelButton(Icon::Pause); }},
        {135, "b135_play.png", 250, 56, [] { return PanelButton(Icon::Play); }},
        {136, "b136_prev_clip.png", 250, 56, [] { return PanelButton(Icon::PrevClip); }},
        {138, "b138_next_frame.png", 250, 56, [] { return PanelButton(Icon::NextFrame); }},
        {139, "b139_fast_play.png", 250, 56, [] { return PanelButton(Icon::FastPlay); }},
        {140, "b140_minimise.png", 130, 26, [] { return CaptionButton(Icon::Minimise, 10); }},
        {141, "b141_close.png", 130, 26, [] { return CaptionButton(Icon::Close, 10); }},
        {142, "b142_open.png", 250, 56, [] { return PanelButton(Icon::Open); }},
        {143, "b143_speed_track.png", 15, 28,
         [] {
             return Track(
                 5, 14, [](int y) { return PanelRow(14 + y); }, 5);
         }},
        {145, "b145_full_screen.png", 540, 40,
         [] { return ToolbarButton(108, Icon::FullScreen, "Full Screen"); }},
        {146, "b146_capture.png", 540, 40,
         [] { return ToolbarButton(108, Icon::Camera, "Capture"); }},
        {147, "b147_settings.png", 540, 40,
         [] { return ToolbarButton(108, Icon::Gear, "Settings"); }},
        {148, "b148_gps.png", 540, 40, [] { return ToolbarButton(108, Icon::Pin, "GPS"); }},
        {149, "b149_change_screen.png", 720, 40,
         [] { return ToolbarButton(144, Icon::ChangeScreen, "Change Screen"); }},
        {154, "b154_small_thumb.png", 14, 14, [] { return Thumb(14, 14, PanelRow(21)); }},
        {155, "b155_seek_track.png", 24, 50,
         [] {
             return Track(
                 8, 25, [](int) { return SeekPlate(); }, 7);
         }},
        {156, "b156_seek_thumb.png", 20, 25, [] { return Thumb(20, 25, SeekPlate()); }},
        {157, "b157_restore.png", 410, 26,
         [] { return WideCaptionButton(Icon::Restore, "Restore"); }},
        {158, "b158_gps_small.png", 410, 26, [] { return WideCaptionButton(Icon::Pin, "GPS"); }},
        {165, "b165_record.png", 395, 35, [] { return CategoryButton(79, "Record"); }},
        {166, "b166_event.png", 395, 35, [] { return CategoryButton(79, "Event"); }},
        {173, "b173_top_left.png", 179, 62, [] { return TopLeft(179, 62, 30, 20, true); }},
        {175, "b175_volume_track.png", 15, 28,
         [] {
             return Track(
                 5, 14, [](int y) { return PanelRow(14 + y); }, 5);
         }},
        {176, "b176_mute_switch.png", 32, 14, MuteSwitch},
        {177, "b177_window_background.png", 1, 594, [] { return RampImage(1, 594, WindowRow); }},
        {178, "b178_manual.png", 395, 35, [] { return CategoryButton(79, "Manual"); }},
        {179, "b179_motion.png", 400, 35, [] { return CategoryButton(80, "Motion"); }},
        {180, "b180_list_header.png", 340, 31, ListHeader},
        {181, "b181_category_header.png", 338, 62, CategoryHeader},
        {182, "b182_seek_plate.png", 442, 27, SeekBarPlate},
        {184, "b184_empty_video.png", 320, 35, EmptyVideo},
        {187, "b187_top_left_full.png", 177, 41, [] { return TopLeft(177, 41, 24, 15, false); }},
        {188, "b188_panel_left.png", 5, 106, [] { return PanelEnd(true); }},
        {189, "b189_panel_middle.png", 1, 106, [panelBar] { return panelBar(1, 106); }},
        {190, "b190_panel_right.png", 5, 106, [] { return PanelEnd(false); }},
        {191, "b191_speed_up.png", 70, 14, [] { return SpeedButton(14, Icon::Plus); }},
        {192, "b192_speed_down.png", 70, 6, [] { return SpeedButton(6, Icon::Minus); }},
        {193, "b193_panel_mark.png", 20, 20, PanelMark},
        {194, "b194_small_video.png", 186, 138, SmallVideo},
        {196, "b196_scroll_bar.png", 150, 128, ScrollBarSkin},
        {197, "b197_check_boxes.png", 128, 16, CheckBoxes},
        {198, "b198_map_background.png", 346, 476, MapBackground},
        {448, "b448_time_lock.png", 130, 26, LockButton},
    };
}

QByteArray EncodePng(QImage img)
{
    img = img.convertToFormat(QImage::Format_RGB888);
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(0); // the PNG writer turns quality 0 into the strongest deflate level
    if (!writer.write(img))
        return {};
    return bytes;
}

QByteArray ResourceFile(const std::vector<SKIN_ITEM> &table)
{
    QByteArray qrc = "<!-- Written by skin-generator (tools/skin); do not edit. -->\n"
                     "<RCC>\n    <qresource prefix=\"/skin\">\n";
    for (const SKIN_ITEM &item : table)
        qrc += "        <file alias=\"" + QByteArray::number(item.nId) + "\">" + item.szFile +
               "</file>\n";
    qrc += "    </qresource>\n</RCC>\n";
    return qrc;
}

} // namespace

int main(int argc, char **argv)
{
    // Offscreen always, so the drawing does not depend on a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool verify = args.size() == 3 && args[1] == "--verify";
    if (!(args.size() == 2 || verify)) {
        std::fprintf(stderr, "usage: skin-generator [--verify] DIR\n");
        return 2;
    }
    const QDir dir(args.last());
    QString error;
    if (!LoadFonts(&error)) {
        std::fprintf(stderr, "skin-generator: %s\n", qPrintable(error));
        return 1;
    }
    if (!verify && !dir.mkpath(".")) {
        std::fprintf(stderr, "skin-generator: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }

    const std::vector<SKIN_ITEM> table = SkinTable();
    std::map<QString, QByteArray> files;
    for (const SKIN_ITEM &item : table) {
        const QImage img = item.make();
        if (img.width() != item.nWidth || img.height() != item.nHeight) {
            std::fprintf(stderr, "skin-generator: bitmap %d drawn %dx%d, table says %dx%d\n",
                         item.nId, img.width(), img.height(), item.nWidth, item.nHeight);
            return 1;
        }
        files[item.szFile] = EncodePng(img);
    }
    files["skin.qrc"] = ResourceFile(table);

    int mismatches = 0;
    for (const auto &[name, bytes] : files) {
        QFile file(dir.filePath(name));
        if (verify) {
            if (!file.open(QIODevice::ReadOnly) || file.readAll() != bytes) {
                std::fprintf(stderr, "skin-generator: %s differs from what the generator draws\n",
                             qPrintable(file.fileName()));
                ++mismatches;
            }
            continue;
        }
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "skin-generator: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    if (verify) {
        // A file that the table no longer names is stale artwork.
        for (const QString &name : dir.entryList({"*.png"}, QDir::Files)) {
            if (!files.count(name)) {
                std::fprintf(stderr, "skin-generator: %s is not in the table\n", qPrintable(name));
                ++mismatches;
            }
        }
    }
    return mismatches == 0 ? 0 : 1;
}
