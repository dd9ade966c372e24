#include "skin_art.h"

#include <algorithm>

#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPolygonF>
#include <QtMath>

namespace skin {
namespace {

QString g_regularFamily;
QString g_boldFamily;

QColor Mix(const QColor &a, const QColor &b, qreal t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor(qRound(a.red() + (b.red() - a.red()) * t),
                  qRound(a.green() + (b.green() - a.green()) * t),
                  qRound(a.blue() + (b.blue() - a.blue()) * t));
}

QPolygonF Triangle(qreal x0, qreal y0, qreal x1, qreal y1, bool right)
{
    if (right)
        return QPolygonF({QPointF(x0, y0), QPointF(x1, (y0 + y1) / 2), QPointF(x0, y1)});
    return QPolygonF({QPointF(x1, y0), QPointF(x0, (y0 + y1) / 2), QPointF(x1, y1)});
}

} // namespace

QColor WindowRow(int y)
{
    if (y < 62)
        return Mix(QColor(62, 67, 75), QColor(36, 39, 44), y / 61.0);
    if (y == 62)
        return QColor(18, 20, 23);
    if (y == 63)
        return QColor(74, 80, 88);
    return Mix(QColor(54, 54, 54), QColor(42, 42, 43), (y - 64) / 530.0);
}

QColor PanelRow(int y)
{
    if (y <= 0)
        return QColor(84, 90, 98);
    if (y == 1)
        return QColor(62, 67, 74);
    if (y >= 105)
        return QColor(18, 19, 21);
    return Mix(QColor(52, 56, 62), QColor(30, 32, 36), (y - 2) / 102.0);
}

QColor SeekPlate()
{
    return QColor(26, 28, 31);
}

bool LoadFonts(QString *error)
{
    const QString dir = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
    const int regular = QFontDatabase::addApplicationFont(dir + "DejaVuSansCondensed.ttf");
    const int bold = QFontDatabase::addApplicationFont(dir + "DejaVuSansCondensed-Bold.ttf");
    if (regular < 0 || bold < 0) {
        *error = QStringLiteral("DejaVu Sans Condensed not found in ") + dir +
                 QStringLiteral(" (Debian package fonts-dejavu-extra)");
        return false;
    }
    g_regularFamily = QFontDatabase::applicationFontFamilies(regular).value(0);
    g_boldFamily = QFontDatabase::applicationFontFamilies(bold).value(0);
    return true;
}

void DrawLabel(QPainter &p, const QRectF &rect, const QString &text, const QColor &colour,
               qreal pixelSize, bool bold, Qt::Alignment align)
{
    QFont font(bold ? g_boldFamily : g_regularFamily);
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoSubpixelAntialias | QFont::NoFontMerging));
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    // Align by the ink box so labels sit where they look centred, whatever the font's metrics.
    qreal x = rect.left() - ink.left();
    if (align & Qt::AlignHCenter)
        x = rect.center().x() - ink.center().x();
    else if (align & Qt::AlignRight)
        x = rect.right() - ink.right();
    qreal y = rect.center().y() - ink.center().y();
    if (align & Qt::AlignTop)
        y = rect.top() - ink.top();
    else if (align & Qt::AlignBottom)
        y = rect.bottom() - ink.bottom();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.translate(qRound(x), qRound(y));
    p.drawPath(path);
    p.restore();
}

QImage RampImage(int w, int h, const std::function<QColor(int)> &row)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const QRgb c = row(y).rgb();
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        std::fill(line, line + w, c);
    }
    return img;
}

QImage KeyToMagenta(const QImage &argb, const QColor &under)
{
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                dst[x] = kMagenta;
                continue;
            }
            const auto blend = [a](int c, int u) { return (c * a + u * (255 - a) + 127) / 255; };
            dst[x] = qRgb(blend(qRed(in[x]), under.red()), blend(qGreen(in[x]), under.green()),
                          blend(qBlue(in[x]), under.blue()));
        }
    }
    return out;
}

FrameLook LookOf(int frame)
{
    switch (frame) {
    case 1: // hover: lighter face, orange ring, white icon
        return {QColor(98, 105, 116), QColor(62, 67, 75), kOrange, QColor(255, 255, 255), 0};
    case 2: // pressed: sunken face, orange icon
        return {QColor(26, 28, 31), QColor(50, 54, 60), kOrange, kOrange, 1};
    case 3: // checked: orange face, dark icon
        return {QColor(255, 184, 56), QColor(222, 134, 0), QColor(120, 66, 0), QColor(40, 40, 40),
                0};
    case 4: // disabled: flat and dim
        return {QColor(44, 46, 50), QColor(44, 46, 50), QColor(36, 38, 42), QColor(84, 88, 94), 0};
    default:
        return {QColor(76, 82, 91), QColor(44, 48, 54), QColor(20, 22, 25), QColor(206, 212, 220),
                0};
    }
}

void DrawFace(QPainter &p, const QRectF &box, Face face, int frame)
{
    const FrameLook look = LookOf(frame);
    // A flat face lies on the bar it sits on until the pointer or a check lifts it.
    if (face == Face::Flat && (frame == 0 || frame == 4))
        return;
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, look.faceTop);
    g.setColorAt(1, look.faceBottom);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(look.ring, frame == 1 || frame == 2 ? 1.6 : 1.0));
    p.setBrush(g);
    const QRectF r = box.adjusted(0.5, 0.5, -0.5, -0.5);
    if (face == Face::Circle) {
        p.drawEllipse(r);
    } else {
        const qreal radius = std::min<qreal>(5, std::min(r.width(), r.height()) / 3);
        p.drawRoundedRect(r, radius, radius);
    }
    p.restore();
}

QImage Strip(int fw, int h, const std::function<QColor(int)> &background, Face face,
             const QRectF &faceBox,
             const std::function<void(QPainter &, const FrameLook &, int frame)> &content)
{
    QImage img = RampImage(fw * 5, h, background);
    QPainter p(&img);
    for (int frame = 0; frame < 5; ++frame) {
        p.save();
        p.setClipRect(frame * fw, 0, fw, h);
        p.translate(frame * fw, 0);
        DrawFace(p, faceBox, face, frame);
        const FrameLook look = LookOf(frame);
        p.translate(look.shift, look.shift);
        content(p, look, frame);
        p.restore();
    }
    return img;
}

void DrawIcon(QPainter &p, Icon icon, const QRectF &b, const QColor &c)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const qreal l = b.left(), t = b.top(), r = b.right(), bt = b.bottom();
    const qreal w = b.width(), h = b.height(), cx = b.center().x(), cy = b.center().y();
    const qreal s = std::min(w, h);
    QPen line(c, std::max<qreal>(1.2, s / 9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (icon) {
    case Icon::Play:
        p.drawPolygon(Triangle(l + w * 0.18, t, r - w * 0.05, bt, true));
        break;
    case Icon::Pause:
        p.drawRoundedRect(QRectF(l + w * 0.15, t, w * 0.25, h), 1, 1);
        p.drawRoundedRect(QRectF(r - w * 0.40, t, w * 0.25, h), 1, 1);
        break;
    case Icon::PrevClip:
        p.drawRect(QRectF(l, t, w * 0.14, h));
        p.drawPolygon(Triangle(l + w * 0.14, t, l + w * 0.57, bt, false));
        p.drawPolygon(Triangle(l + w * 0.57, t, r, bt, false));
        break;
    case Icon::NextClip:
        p.drawPolygon(Triangle(l, t, l + w * 0.43, bt, true));
        p.drawPolygon(Triangle(l + w * 0.43, t, r - w * 0.14, bt, true));
        p.drawRect(QRectF(r - w * 0.14, t, w * 0.14, h));
        break;
    case Icon::PrevFrame:
        p.drawPolygon(Triangle(l + w * 0.10, t, l + w * 0.66, bt, false));
        p.drawRect(QRectF(r - w * 0.24, t, w * 0.14, h));
        break;
    case Icon::NextFrame:
        p.drawRect(QRectF(l + w * 0.10, t, w * 0.14, h));
        p.drawPolygon(Triangle(l + w * 0.34, t, r - w * 0.10, bt, true));
        break;
    case Icon::FastPlay:
        p.drawPolygon(Triangle(l, t, cx, bt, true));
        p.drawPolygon(Triangle(cx, t, r, bt, true));
        break;
    case Icon::Open: {
        // A folder with its lid lifted.
        QPainterPath back;
        back.moveTo(l, t + h * 0.12);
        back.lineTo(l + w * 0.38, t + h * 0.12);
        back.lineTo(l + w * 0.48, t + h * 0.26);
        back.lineTo(r - w * 0.06, t + h * 0.26);
        back.lineTo(r - w * 0.06, bt);
        back.lineTo(l, bt);
        back.closeSubpath();
        p.setBrush(c.darker(135));
        p.drawPath(back);
        QPainterPath front;
        front.moveTo(l + w * 0.16, t + h * 0.42);
        front.lineTo(r, t + h * 0.42);
        front.lineTo(r - w * 0.16, bt);
        front.lineTo(l, bt);
        front.closeSubpath();
        p.setBrush(c);
        p.drawPath(front);
        break;
    }
    case Icon::Minimise:
        p.drawRect(QRectF(l + w * 0.15, bt - h * 0.22, w * 0.70, h * 0.18));
        break;
    case Icon::Close:
        p.setPen(line);
        p.drawLine(QPointF(l + w * 0.18, t + h * 0.18), QPointF(r - w * 0.18, bt - h * 0.18));
        p.drawLine(QPointF(r - w * 0.18, t + h * 0.18), QPointF(l + w * 0.18, bt - h * 0.18));
        break;
    case Icon::Restore:
        p.setPen(QPen(c, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(l + w * 0.30, t + 0.6, w * 0.66, h * 0.58));
        p.setBrush(c);
        p.drawRect(QRectF(l + 0.6, t + h * 0.40, w * 0.62, h * 0.56));
        break;
    case Icon::Pin: {
        QPainterPath pin;
        const qreal rad = s * 0.34;
        pin.addEllipse(QPointF(cx, t + rad + 0.5), rad, rad);
        QPainterPath tip;
        tip.moveTo(cx - rad * 0.86, t + rad * 1.45);
        tip.lineTo(cx, bt);
        tip.lineTo(cx + rad * 0.86, t + rad * 1.45);
        tip.closeSubpath();
        pin = pin.united(tip);
        QPainterPath hole;
        hole.addEllipse(QPointF(cx, t + rad + 0.5), rad * 0.42, rad * 0.42);
        p.drawPath(pin.subtracted(hole));
        break;
    }
    case Icon::FullScreen: {
        p.setPen(line);
        const qreal k = s * 0.32;
        const QPointF corners[4] = {{l, t}, {r, t}, {r, bt}, {l, bt}};
        for (int i = 0; i < 4; ++i) {
            const qreal dx = i == 0 || i == 3 ? 1 : -1, dy = i < 2 ? 1 : -1;
            const QPointF o = corners[i];
            p.drawLine(o, o + QPointF(dx * k, 0));
            p.drawLine(o, o + QPointF(0, dy * k));
            p.drawLine(o, o + QPointF(dx * k * 1.1, dy * k * 1.1));
        }
        break;
    }
    case Icon::Camera: {
        QPainterPath body;
        body.addRoundedRect(QRectF(l, t + h * 0.22, w, h * 0.78), 2, 2);
        body.addRect(QRectF(l + w * 0.32, t + h * 0.06, w * 0.36, h * 0.2));
        QPainterPath lens;
        lens.addEllipse(QPointF(cx, t + h * 0.60), s * 0.27, s * 0.27);
        QPainterPath inner;
        inner.addEllipse(QPointF(cx, t + h * 0.60), s * 0.15, s * 0.15);
        p.drawPath(body.subtracted(lens).united(inner));
        break;
    }
    case Icon::Gear: {
        QPainterPath gear;
        const int teeth = 8;
        const qreal ro = s * 0.5, ri = s * 0.36;
        for (int i = 0; i < teeth * 4; ++i) {
            const qreal a = (i / (teeth * 4.0)) * 2 * M_PI;
            const qreal rr = (i % 4 == 0 || i % 4 == 1) ? ro : ri;
            const QPointF pt(cx + rr * qCos(a), cy + rr * qSin(a));
            if (i == 0)
                gear.moveTo(pt);
            else
                gear.lineTo(pt);
        }
        gear.closeSubpath();
        QPainterPath hole;
        hole.addEllipse(QPointF(cx, cy), s * 0.15, s * 0.15);
        p.drawPath(gear.subtracted(hole));
        break;
    }
    case Icon::ChangeScreen: {
        p.setPen(QPen(c, 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(l + 0.6, t + 0.6, w * 0.62, h * 0.58));
        p.setBrush(c);
        p.drawRect(QRectF(l + w * 0.48, t + h * 0.52, w * 0.5, h * 0.46));
        break;
    }
    case Icon::Plus:
        p.drawRect(QRectF(l, cy - h * 0.12, w, h * 0.24));
        p.drawRect(QRectF(cx - w * 0.12, t, w * 0.24, h));
        break;
    case Icon::Minus:
        p.drawRect(QRectF(l, cy - std::max<qreal>(1, h * 0.14), w, std::max<qreal>(2, h * 0.28)));
        break;
    case Icon::LockClosed:
    case Icon::LockOpen: {
        QPainterPath bodyPath;
        bodyPath.addRoundedRect(QRectF(l, t + h * 0.45, w, h * 0.55), 1.5, 1.5);
        QPainterPath hole;
        hole.addEllipse(QPointF(cx, t + h * 0.68), s * 0.09, s * 0.09);
        p.drawPath(bodyPath.subtracted(hole));
        p.setPen(QPen(c, std::max<qreal>(1.4, s / 8)));
        p.setBrush(Qt::NoBrush);
        const qreal sw = w * 0.56;
        const qreal shackleLeft = icon == Icon::LockOpen ? cx : cx - sw / 2;
        QRectF arc(shackleLeft, t + 0.8, sw, h * 0.6);
        p.drawArc(arc, 0, 180 * 16);
        p.drawLine(QPointF(arc.right(), arc.center().y()), QPointF(arc.right(), t + h * 0.46));
        if (icon == Icon::LockClosed)
            p.drawLine(QPointF(arc.left(), arc.center().y()), QPointF(arc.left(), t + h * 0.46));
        break;
    }
    case Icon::Speaker: {
        QPainterPath sp;
        sp.moveTo(l, cy - h * 0.2);
        sp.lineTo(l + w * 0.25, cy - h * 0.2);
        sp.lineTo(l + w * 0.55, t);
        sp.lineTo(l + w * 0.55, bt);
        sp.lineTo(l + w * 0.25, cy + h * 0.2);
        sp.lineTo(l, cy + h * 0.2);
        sp.closeSubpath();
        p.drawPath(sp);
        break;
    }
    case Icon::Clock:
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(b.adjusted(1, 1, -1, -1));
        p.drawLine(QPointF(cx, cy), QPointF(cx, t + h * 0.22));
        p.drawLine(QPointF(cx, cy), QPointF(r - w * 0.25, cy));
        break;
    case Icon::Latitude:
    case Icon::Longitude: {
        p.setPen(QPen(c, 1.3));
        p.setBrush(Qt::NoBrush);
        const QRectF g = b.adjusted(1, 1, -1, -1);
        p.drawEllipse(g);
        if (icon == Icon::Latitude) {
            p.setPen(QPen(c, 2.2));
            p.drawLine(QPointF(g.left() + 1, cy), QPointF(g.right() - 1, cy));
            p.setPen(QPen(c, 1.1));
            p.drawLine(QPointF(g.left() + 3, t + h * 0.28), QPointF(g.right() - 3, t + h * 0.28));
            p.drawLine(QPointF(g.left() + 3, bt - h * 0.28), QPointF(g.right() - 3, bt - h * 0.28));
        } else {
            p.setPen(QPen(c, 2.2));
            p.drawLine(QPointF(cx, g.top() + 1), QPointF(cx, g.bottom() - 1));
            p.setPen(QPen(c, 1.1));
            p.drawEllipse(QRectF(cx - w * 0.22, g.top(), w * 0.44, g.height()));
        }
        break;
    }
    case Icon::Compass: {
        p.setPen(QPen(c, 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(b.adjusted(1, 1, -1, -1));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(QPolygonF(
            {QPointF(cx, t + 3), QPointF(cx + s * 0.16, cy), QPointF(cx - s * 0.16, cy)}));
        p.setBrush(c.darker(170));
        p.drawPolygon(QPolygonF(
            {QPointF(cx, bt - 3), QPointF(cx + s * 0.16, cy), QPointF(cx - s * 0.16, cy)}));
        break;
    }
    case Icon::Speedo: {
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        const QRectF dial = b.adjusted(1, 2, -1, h * 0.5);
        p.drawArc(dial, 0, 180 * 16);
        p.drawLine(QPointF(cx, dial.center().y()),
                   QPointF(cx + w * 0.28, dial.center().y() - h * 0.32));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(cx, dial.center().y()), s * 0.1, s * 0.1);
        break;
    }
    case Icon::Film: {
        QPainterPath film;
        film.addRoundedRect(b, 2, 2);
        for (int i = 0; i < 4; ++i) {
            const qreal y = t + h * (0.1 + i * 0.22);
            film.addRect(QRectF(l + w * 0.08, y, w * 0.14, h * 0.12));
            film.addRect(QRectF(r - w * 0.22, y, w * 0.14, h * 0.12));
        }
        film.addRect(QRectF(l + w * 0.32, t + h * 0.14, w * 0.36, h * 0.72));
        film.setFillRule(Qt::OddEvenFill);
        p.drawPath(film);
        break;
    }
    case Icon::Lens: {
        // The recorder's lens: a ring, the glass and a glint.
        QPainterPath ring;
        ring.addEllipse(QPointF(cx, cy), s * 0.5, s * 0.5);
        QPainterPath inner;
        inner.addEllipse(QPointF(cx, cy), s * 0.36, s * 0.36);
        p.drawPath(ring.subtracted(inner));
        p.setBrush(c.darker(160));
        p.drawEllipse(QPointF(cx, cy), s * 0.27, s * 0.27);
        p.setBrush(c);
        p.drawEllipse(QPointF(cx, cy), s * 0.12, s * 0.12);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QPointF(cx - s * 0.12, cy - s * 0.13), s * 0.06, s * 0.06);
        break;
    }
    }
    p.restore();
}

} // namespace skin
