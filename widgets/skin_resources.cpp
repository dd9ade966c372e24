#include "widgets/skin_resources.h"

#include <algorithm>

#include <QDir>

// Outside any namespace, as the resource system requires; referencing the initialiser also
// keeps the resource object in the link of every program using this static library.
static void InitSkinResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)done;
}

QString SkinResourcePath(int nId)
{
    return QStringLiteral(":/skin/%1").arg(nId);
}

QImage LoadSkinImage(int nId)
{
    InitSkinResources();
    QImage image(SkinResourcePath(nId));
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

std::vector<int> SkinResourceIds()
{
    InitSkinResources();
    std::vector<int> ids;
    for (const QString &name : QDir(QStringLiteral(":/skin")).entryList(QDir::Files)) {
        bool ok = false;
        const int id = name.toInt(&ok);
        if (ok)
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

QImage KeyOutMagenta(const QImage &image)
{
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((line[x] & 0x00ffffff) == 0x00ff00ff)
                line[x] = 0;
        }
    }
    return keyed;
}
