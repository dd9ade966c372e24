// Draws the viewer's desktop icon: the skin's lens mark on a rounded plate of the caption's
// colours. Writes the PNG sizes and an SVG drawn from the same numbers, so the three agree.
//
//   app-icon DIR     write roadlog-viewer-48.png, roadlog-viewer-256.png, roadlog-viewer.svg

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include "skin_art.h"

using namespace skin;

namespace {

// In units of the icon's side.
constexpr qreal kPlateInset = 8.0 / 256;
constexpr qreal kPlateRadius = 44.0 / 256;
constexpr qreal kLensSize = 176.0 / 256;
const QColor kPlateTop(62, 67, 75);
const QColor kPlateBottom(28, 31, 35);

QImage DrawIconImage(int side)
{
    QImage img(side, side, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient plate(0, 0, 0, side);
    plate.setColorAt(0, kPlateTop);
    plate.setColorAt(1, kPlateBottom);
    const qreal inset = side * kPlateInset;
    p.setPen(Qt::NoPen);
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), side * kPlateRadius,
                      side * kPlateRadius);
    const qreal lens = side * kLensSize;
    DrawIcon(p, Icon::Lens, QRectF((side - lens) / 2, (side - lens) / 2, lens, lens), kOrange);
    return img;
}

QString Hex(const QColor &c)
{
    return c.name(QColor::HexRgb);
}

// The lens of DrawIcon(Icon::Lens) in SVG terms: the ring as a stroked circle between the
// outer and inner radius, then the glass, the centre and the glint.
QByteArray IconSvg()
{
    const qreal side = 256, c = side / 2, s = side * kLensSize, inset = side * kPlateInset;
    const QString svg =
        QStringLiteral(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
            "viewBox=\"0 0 256 256\">\n"
            "  <defs>\n"
            "    <linearGradient id=\"plate\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
            "      <stop offset=\"0\" stop-color=\"%1\"/>\n"
            "      <stop offset=\"1\" stop-color=\"%2\"/>\n"
            "    </linearGradient>\n"
            "  </defs>\n"
            "  <rect x=\"%3\" y=\"%3\" width=\"%4\" height=\"%4\" rx=\"%5\" "
            "fill=\"url(#plate)\"/>\n"
            "  <circle cx=\"%6\" cy=\"%6\" r=\"%7\" fill=\"none\" stroke=\"%8\" "
            "stroke-width=\"%9\"/>\n"
            "  <circle cx=\"%6\" cy=\"%6\" r=\"%10\" fill=\"%11\"/>\n"
            "  <circle cx=\"%6\" cy=\"%6\" r=\"%12\" fill=\"%8\"/>\n"
            "  <circle cx=\"%13\" cy=\"%14\" r=\"%15\" fill=\"#ffffff\" fill-opacity=\"0.78\"/>\n"
            "</svg>\n")
            .arg(Hex(kPlateTop), Hex(kPlateBottom))
            .arg(inset)
            .arg(side - 2 * inset)
            .arg(side * kPlateRadius)
            .arg(c)
            .arg(s * 0.43)
            .arg(Hex(kOrange))
            .arg(s * 0.14)
            .arg(s * 0.27)
            .arg(Hex(kOrange.darker(160)))
            .arg(s * 0.12)
            .arg(c - s * 0.12)
            .arg(c - s * 0.13)
            .arg(s * 0.06);
    return svg.toUtf8();
}

bool WriteFile(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "app-icon: cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: app-icon DIR\n");
        return 2;
    }
    const QDir dir(app.arguments().last());
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "app-icon: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }
    for (int side : {48, 256}) {
        const QString name = QStringLiteral("roadlog-viewer-%1.png").arg(side);
        if (!DrawIconImage(side).save(dir.filePath(name), "PNG")) {
            std::fprintf(stderr, "app-icon: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return WriteFile(dir, QStringLiteral("roadlog-viewer.svg"), IconSvg()) ? 0 : 1;
}
